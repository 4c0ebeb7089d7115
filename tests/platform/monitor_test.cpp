// The boot monitor's services as the firmware calls them: connection and
// lock, watchdog, restart, environment and monrc, command lines, console, RTC.
#include "platform/board/board.h"
#include "platform/board/bus.h"
#include "platform/kernel/host.h"
#include "platform/monitor/monitor.h"
#include "platform/monitor/monitor_host.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

int g_locks = 0;
int g_unlocks = 0;
void count_lock() {
    ++g_locks;
}
void count_unlock() {
    ++g_unlocks;
}

class MonitorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/monitor_test_XXXXXX";
        options_.state_dir = mkdtemp(tmpl);
        options_.flash_size = 512 * 1024;
        host::KernelConfig config;
        config.clock = host::ClockMode::Virtual;
        host::kernel_configure(config);
        host::kernel_start_for_test(nullptr, 0);
        host::monitor_set_restart_callback([this](int code) { restarts_.push_back(code); });
        Start();
        host::monitor_console_capture(true);
    }
    void TearDown() override {
        host::monitor_stop();
        host::board_stop();
        std::filesystem::remove_all(options_.state_dir);
    }
    void Start() {
        std::string error;
        ASSERT_TRUE(host::board_start(options_, error)) << error;
        ASSERT_TRUE(host::monitor_start(options_, error)) << error;
    }
    // What the board keeps over a restart stays; RAM state goes.
    void Restart() {
        host::monitor_stop();
        host::board_stop();
        Start();
    }
    static void Put(const char* name, const std::string& text, const char* flags = "") {
        ASSERT_EQ(0, mon_tfsadd(name, nullptr, flags,
                                reinterpret_cast<const unsigned char*>(text.data()),
                                int(text.size())));
    }
    std::string Run(const char* line, int expect = MON_CMD_SUCCESS) {
        host::monitor_console_take();
        EXPECT_EQ(expect, mon_docommand(line, 0)) << line;
        return host::monitor_console_take();
    }

    host::HostOptions options_;
    std::vector<int> restarts_;
};

TEST_F(MonitorTest, SecondConnectionWrapsEveryServiceButTheStrobeInTheLock) {
    EXPECT_EQ(-1, monConnect(0x12345678, nullptr, nullptr));
    ASSERT_EQ(0, monConnect(bus_read32(BUS_MONITOR_ENTRY), nullptr, nullptr));
    g_locks = g_unlocks = 0;
    mon_tfsctrl(TFS_CTRL_FREESPACE, 0, 0);
    EXPECT_EQ(0, g_locks);
    EXPECT_EQ(-1, monConnect(bus_read32(BUS_MONITOR_ENTRY), count_lock, nullptr));
    ASSERT_EQ(0, monConnect(bus_read32(BUS_MONITOR_ENTRY), count_lock, count_unlock));
    // Each service takes the lock and gives it back.
    static mon_tm tm;
    static uint8_t byte = 0x5A;
    const struct {
        const char* name;
        void (*call)();
    } services[] = {
        {"tfsctrl", [] { mon_tfsctrl(TFS_CTRL_FREESPACE, 0, 0); }},
        {"tfsadd", [] { mon_tfsadd("F", nullptr, nullptr, &byte, 1); }},
        {"tfsstat", [] { mon_tfsstat("F"); }},
        {"tfsnext", [] { mon_tfsnext(nullptr); }},
        {"tfsipmod", [] { mon_tfsipmod("F", &byte, 0, 1); }},
        {"tfsunlink", [] { mon_tfsunlink("F"); }},
        {"getenv", [] { mon_getenv("IPADD"); }},
        {"setenv", [] { mon_setenv("GIPADD", "127.0.0.1"); }},
        {"gotachar", [] { mon_gotachar(); }},
        {"putchar", [] { mon_putchar('x'); }},
        {"printf", [] { mon_printf("x"); }},
        {"rtcread", [] { mon_rtcread(&tm); }},
        {"rtcwrite", [] { mon_rtcwrite(&tm); }},
        {"gpio_set", [] { mon_gpio_set(0, 1); }},
        {"gpio_clr", [] { mon_gpio_clr(0, 1); }},
        {"dcrread", [] { mon_dcrread(0xC2); }},
        {"dcrwrite", [] { mon_dcrwrite(0xC2, mon_dcrread(0xC2)); }},
        {"uart_setup", [] { mon_uart_setup(0, 9600, 8, 0); }},
        {"boardtemp", [] { mon_boardtemp(); }},
        {"wdtctrl", [] { mon_wdtctrl(MON_WDT_ENABLE); }},
    };
    for (const auto& service : services) {
        int before = g_locks;
        service.call();
        EXPECT_LT(before, g_locks) << service.name;
        EXPECT_EQ(g_locks, g_unlocks) << service.name;
    }
    int before = g_locks;
    mon_wdtstrobe();
    mon_wdtctrl(MON_WDT_STROBE);
    EXPECT_EQ(before, g_locks);
    mon_wdtctrl(MON_WDT_DISABLE);
}

TEST_F(MonitorTest, UnstrobedWatchdogRestartsTheBoard) {
    mon_wdtctrl(MON_WDT_ENABLE);
    for (int i = 0; i < 40; ++i) { // strobed every half second: no restart
        tx_thread_sleep(50);
        mon_wdtstrobe();
    }
    EXPECT_TRUE(restarts_.empty());
    mon_wdtctrl(MON_WDT_DISABLE); // disabled: no restart however long
    tx_thread_sleep(10 * MON_WDT_TIMEOUT_TICKS);
    EXPECT_TRUE(restarts_.empty());

    mon_wdtctrl(MON_WDT_ENABLE);
    tx_thread_sleep(MON_WDT_TIMEOUT_TICKS - 1);
    EXPECT_TRUE(restarts_.empty());
    tx_thread_sleep(2);
    ASSERT_EQ(1u, restarts_.size());
    EXPECT_EQ(host::MONITOR_RESTART_WATCHDOG, restarts_[0]);
    EXPECT_FALSE(host::monitor_watchdog_enabled());
    tx_thread_sleep(10 * MON_WDT_TIMEOUT_TICKS);
    EXPECT_EQ(1u, restarts_.size());
}

// The build date is a real date in the monitor's exact form ("Mmm dd yyyy",
// a day below 10 with a leading blank: the form the boot-loader check reads),
// and no later than the day this program was linked.
TEST_F(MonitorTest, BuildDateIsTheBuildDayInTheMonitorsForm) {
    const char* date = mon_builddate();
    std::tm day{};
    const char* end = strptime(date, "%b %e %Y", &day);
    ASSERT_TRUE(end != nullptr && *end == '\0') << date;
    char again[16];
    ASSERT_EQ(11u, std::strftime(again, sizeof again, "%b %e %Y", &day)) << date;
    EXPECT_STREQ(again, date);

    struct stat program {};
    ASSERT_EQ(0, stat("/proc/self/exe", &program));
    std::tm linked{};
    localtime_r(&program.st_mtime, &linked);
    EXPECT_LE(std::make_tuple(day.tm_year, day.tm_mon, day.tm_mday),
              std::make_tuple(linked.tm_year, linked.tm_mon, linked.tm_mday))
        << date;
}

TEST_F(MonitorTest, EnvironmentIsKeptAndRebuiltFromMonrc) {
    EXPECT_STREQ("127.0.0.1", mon_getenv("IPADD")); // defaults for the network variables
    EXPECT_NE(nullptr, mon_getenv("ETHERADD"));
    EXPECT_EQ(0, mon_setenv("GIPADD", "10.0.0.254"));
    EXPECT_EQ(-1, mon_setenv("BAD NAME", "x"));
    EXPECT_EQ(0, mon_setenv("EXTRA", "kept"));
    Put("monrc",
        "set IPADD 192.168.1.10\r\nset NETMASK 255.255.255.0\r\n"
        "set ETHERADD 00:50:C2:12:34:56\r\nreset\r\n",
        "e");
    Restart();
    EXPECT_TRUE(restarts_.empty()); // "reset" in monrc is not run
    EXPECT_STREQ("192.168.1.10", mon_getenv("IPADD"));
    EXPECT_STREQ("255.255.255.0", mon_getenv("NETMASK"));
    EXPECT_STREQ("10.0.0.254", mon_getenv("GIPADD"));
    EXPECT_STREQ("00:50:C2:12:34:56", mon_getenv("ETHERADD"));
    EXPECT_STREQ("kept", mon_getenv("EXTRA"));
    EXPECT_EQ(0, mon_setenv("EXTRA", nullptr));
    EXPECT_EQ(nullptr, mon_getenv("EXTRA"));
}

TEST_F(MonitorTest, TfsRemoveWithWildcardRemovesExactlyTheMatchingFiles) {
    for (const char* name :
         {"./Bitmaps/1.bmp", "./Bitmaps/22.bmp", "logo.bmp", "CONFIG.XML", "bmp.txt", "nv1.dat"})
        Put(name, name);
    Run("tfs rm *.bmp");
    std::vector<std::string> left;
    for (TFSHDR* h = mon_tfsnext(nullptr); h != nullptr; h = mon_tfsnext(h))
        left.push_back(tfs_file_name(h));
    EXPECT_EQ((std::vector<std::string>{"CONFIG.XML", "bmp.txt", "nv1.dat"}), left);
    Run("tfs rm CONFIG.XML nv?.dat");
    EXPECT_EQ(nullptr, mon_tfsstat("CONFIG.XML"));
    EXPECT_EQ(nullptr, mon_tfsstat("nv1.dat"));
    EXPECT_NE(nullptr, mon_tfsstat("bmp.txt"));
    EXPECT_GT(mon_tfsctrl(TFS_CTRL_DEADSPACE, 0, 0), 0);
}

TEST_F(MonitorTest, TfsListAndCatShowTheFlash) {
    Put("SCRIPT.XML", "<SCRIPT></SCRIPT>");
    Put("monrc", "set IPADD 127.0.0.1\r\n", "e");
    std::string ls = Run("tfs ls");
    EXPECT_NE(std::string::npos, ls.find("SCRIPT.XML"));
    EXPECT_NE(std::string::npos, ls.find("monrc"));
    EXPECT_NE(std::string::npos, ls.find("2 file(s)"));
    EXPECT_EQ(std::string::npos, Run("tfs ls *.XML").find("monrc"));
    EXPECT_EQ("<SCRIPT></SCRIPT>", Run("tfs cat SCRIPT.XML"));
    EXPECT_NE(std::string::npos, Run("tfs cat none", MON_CMD_FAILURE).find("not found"));
    EXPECT_NE(std::string::npos, Run("tfs bogus", MON_CMD_PARAM_ERROR).find("Usage: tfs"));
}

int g_vms_calls = 0;
int vms_command(int argc, char* argv[]) {
    ++g_vms_calls;
    if (argc < 2) return MON_CMD_PARAM_ERROR;
    mon_printf("vms %s\n", argv[1]);
    return MON_CMD_SUCCESS;
}
const char* vms_help[] = {"Sign controller commands", "trace N", "status", nullptr};
monCommand vms_table[] = {{"vms", vms_command, vms_help, 0},
                          {"VMS", vms_command, vms_help, 0},
                          {nullptr, nullptr, nullptr, 0}};

TEST_F(MonitorTest, CommandLinesRunBuiltInAndAddedCommands) {
    ASSERT_EQ(0, mon_addcommand(vms_table, nullptr));
    EXPECT_EQ("vms status\n", Run("VMS status"));
    EXPECT_EQ("vms quoted word\n", Run("vms \"quoted word\""));
    std::string usage = Run("vms", MON_CMD_PARAM_ERROR);
    EXPECT_NE(std::string::npos, usage.find("Usage: vms trace N"));
    EXPECT_NE(std::string::npos, Run("help").find("Sign controller commands"));
    EXPECT_NE(std::string::npos, Run("nonsense", -1).find("Command not found"));
    EXPECT_EQ(-1, mon_docommand("   ", 0));

    Run("set NETMASK 255.255.0.0");
    EXPECT_STREQ("255.255.0.0", mon_getenv("NETMASK"));
    EXPECT_NE(std::string::npos, Run("set").find("NETMASK = 255.255.0.0"));
    Run("etheraddr set 00:50:c2:aa:bb:cc");
    EXPECT_STREQ("00:50:C2:AA:BB:CC", mon_getenv("ETHERADD"));
    Run("etheraddr set 00:50:c2", MON_CMD_PARAM_ERROR);
    EXPECT_STREQ("00:50:C2:AA:BB:CC", mon_getenv("ETHERADD"));

    Run("reset");
    EXPECT_EQ((std::vector<int>{0}), restarts_);
}

std::string g_hooked;
int hook(int c) {
    g_hooked += char(c);
    return 0;
}

int echo_hook(int c) {
    return mon_putchar(char(c));
}

TEST_F(MonitorTest, ConsoleCharactersAndOutputHook) {
    EXPECT_EQ(0, mon_gotachar());
    host::monitor_console_input("1x");
    EXPECT_EQ(1, mon_gotachar());
    EXPECT_EQ('1', mon_getchar());
    EXPECT_EQ('x', mon_getchar());
    EXPECT_EQ(0, mon_gotachar());

    mon_printf("plain %d\n", 1);
    EXPECT_EQ("plain 1\n", host::monitor_console_take());
    g_hooked.clear();
    EXPECT_EQ(0,
              mon_com(MON_COM_SET_PUTCHAR_HOOK, reinterpret_cast<void*>(&hook), nullptr, nullptr));
    Put("a.txt", "hello");
    mon_docommand("tfs cat a.txt", 0);
    EXPECT_EQ("hello", g_hooked);
    EXPECT_EQ("", host::monitor_console_take());
    EXPECT_EQ(-1, mon_com(12345, nullptr, nullptr, nullptr));

    // A hook that prints through the monitor again reaches the console once.
    EXPECT_EQ(0, mon_com(MON_COM_SET_PUTCHAR_HOOK, reinterpret_cast<void*>(&echo_hook), nullptr,
                         nullptr));
    mon_printf("ok");
    EXPECT_EQ("ok", host::monitor_console_take());
}

TEST_F(MonitorTest, RealTimeClockCountsUtcApartFromTheGlobalTimeCounter) {
    const uint32_t counter = board::clock_seconds();
    mon_tm t = {0, 30, 12, 15, 5, 124, 0, 0, 0}; // 2024-06-15 12:30:00 UTC
    ASSERT_EQ(0, mon_rtcwrite(&t));
    EXPECT_EQ(1718454600u, board::rtc_seconds());
    EXPECT_EQ(counter, board::clock_seconds());
    tx_thread_sleep(100 * 90);
    mon_tm now = {};
    ASSERT_EQ(0, mon_rtcread(&now));
    EXPECT_EQ(30, now.tm_sec);
    EXPECT_EQ(31, now.tm_min);
    EXPECT_EQ(6, now.tm_wday); // a Saturday
    EXPECT_EQ(166, now.tm_yday);
    mon_tm bad = t;
    bad.tm_mon = 12;
    EXPECT_EQ(-1, mon_rtcwrite(&bad));
    EXPECT_EQ(-1, mon_rtcwrite(nullptr));
}

TEST_F(MonitorTest, DefragmentRequestThroughTheUartScratchBit) {
    Put("a", std::string(5000, 'a'));
    Put("b", "b");
    mon_tfsunlink("a");
    long dead = mon_tfsctrl(TFS_CTRL_DEADSPACE, 0, 0);
    EXPECT_GT(dead, 5000);
    mon_restart(0); // no request: the deleted space stays
    Restart();
    EXPECT_EQ(dead, mon_tfsctrl(TFS_CTRL_DEADSPACE, 0, 0));
    bus_write8(BUS_UART0_SCRATCH, bus_read8(BUS_UART0_SCRATCH) | 1);
    mon_restart(0);
    EXPECT_EQ((std::vector<int>{0, 0}), restarts_);
    Restart();
    EXPECT_EQ(0, mon_tfsctrl(TFS_CTRL_DEADSPACE, 0, 0));
    EXPECT_NE(nullptr, mon_tfsstat("b"));
    EXPECT_EQ(1, mon_tfsctrl(TFS_CTRL_HEADERS, reinterpret_cast<long>("//SF/"), 0));
}

TEST_F(MonitorTest, GpioAndUartSetupAreRecordedForTheDeviceModels) {
    std::vector<uint32_t> changes;
    board::gpio_on_output_change([&](uint32_t, uint32_t after) { changes.push_back(after); });
    EXPECT_EQ(0, mon_gpio_set(0, 18));
    EXPECT_EQ(0x40000u, mon_gpio_outputs(0));
    EXPECT_EQ(0, mon_gpio_clr(0, 18));
    EXPECT_EQ(-1, mon_gpio_set(1, 0));
    EXPECT_EQ(-1, mon_gpio_set(0, 32));
    EXPECT_EQ((std::vector<uint32_t>{0x40000u, 0u}), changes);
    board::gpio_set_inputs(0x00800000u, 0x00800000u);
    EXPECT_EQ(0x00800000u, mon_gpio_read(0));

    EXPECT_EQ(0, mon_uart_setup(1, 9600, 8, 0x1000));
    board::UartSetup s = board::uart_setup(1);
    EXPECT_TRUE(s.done);
    EXPECT_EQ(9600, s.baud);
    EXPECT_EQ(0x1000u, s.options);
    EXPECT_EQ(-1, mon_uart_setup(2, 9600, 8, 0));
    board::set_board_temperature(-12);
    EXPECT_EQ(-12, mon_boardtemp());
}

} // namespace

namespace {

// Without a restart callback the monitor re-executes the program with the
// command line it was started with.
TEST(MonitorRestart, ReExecutesTheProgramWithItsCommandLine) {
    char tmpl[] = "/tmp/monitor_exec_XXXXXX";
    std::string dir = mkdtemp(tmpl);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        host::HostOptions& options = host::host_options();
        options.state_dir = dir;
        options.flash_size = 128 * 1024;
        // The test program itself, running no test: exit status 0.
        options.argv = {"test_platform", "--gtest_filter=-*"};
        std::string error;
        if (!host::board_start(options, error) || !host::monitor_start(options, error)) _exit(5);
        if (freopen("/dev/null", "w", stdout) == nullptr) _exit(6);
        mon_restart(0);
        _exit(7); // the restart came back
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status));
    std::filesystem::remove_all(dir);
}

} // namespace
