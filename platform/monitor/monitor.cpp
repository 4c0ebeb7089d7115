// The boot monitor's services (monitor.h) and their host side (monitor_host.h).
#include "platform/monitor/monitor.h"

#include "platform/board/board.h"
#include "platform/board/bus.h"
#include "platform/board/onchip.h"
#include "platform/kernel/host.h"
#include "platform/monitor/commands.h"
#include "platform/monitor/monitor_host.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <mutex>
#include <poll.h>
#include <sstream>
#include <unistd.h>
#include <vector>

namespace monitor {

Monitor& the_monitor() {
    static Monitor m;
    return m;
}

namespace {

// Every service but the strobe runs between the firmware's lock callbacks.
class ServiceLock {
  public:
    ServiceLock() : unlock_(the_monitor().unlock) {
        if (the_monitor().lock != nullptr) the_monitor().lock();
    }
    ~ServiceLock() {
        if (unlock_ != nullptr) unlock_();
    }

  private:
    void (*unlock_)();
};

// The callers inside the putchar hook now, by kernel thread (null outside a
// thread): output of the hook itself goes out raw instead of recursing. Every
// kernel thread runs on the one processor host thread, so a host thread-local
// flag would also divert the output of a thread that preempted the hook.
std::mutex hook_callers_m;
std::vector<const void*> hook_callers;

bool enter_putchar_hook() {
    const void* me = tx_in_non_thread_context() ? nullptr : tx_thread_identify();
    std::lock_guard<std::mutex> lock(hook_callers_m);
    if (std::find(hook_callers.begin(), hook_callers.end(), me) != hook_callers.end()) return false;
    hook_callers.push_back(me);
    return true;
}

void leave_putchar_hook() {
    const void* me = tx_in_non_thread_context() ? nullptr : tx_thread_identify();
    std::lock_guard<std::mutex> lock(hook_callers_m);
    auto it = std::find(hook_callers.begin(), hook_callers.end(), me);
    if (it != hook_callers.end()) hook_callers.erase(it);
}

} // namespace

// ---- Console --------------------------------------------------------------------

void Monitor::RawOutput(const char* text, size_t n) {
    std::lock_guard<std::mutex> lock(console_m);
    if (capture) {
        captured.append(text, n);
        return;
    }
    if (fwrite(text, 1, n, stdout) != n) return;
    fflush(stdout);
}

void Monitor::Output(const char* text, size_t n) {
    int (*hook)(int) = putchar_hook;
    if (hook == nullptr || !enter_putchar_hook()) {
        RawOutput(text, n);
        return;
    }
    for (size_t i = 0; i < n; ++i)
        hook(uint8_t(text[i]));
    leave_putchar_hook();
}

void Monitor::Printf(const char* fmt, ...) {
    char buf[1024];
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    if (n > 0) Output(buf, std::min<size_t>(size_t(n), sizeof buf - 1));
}

bool Monitor::CharWaiting() {
    {
        std::lock_guard<std::mutex> lock(console_m);
        if (!input.empty()) return true;
        if (stdin_closed) return false;
    }
    struct pollfd p = {0, POLLIN, 0};
    if (poll(&p, 1, 0) <= 0) return false;
    char c;
    ssize_t n = read(0, &c, 1);
    std::lock_guard<std::mutex> lock(console_m);
    if (n == 1) {
        input.push_back(c);
        return true;
    }
    stdin_closed = true;
    return false;
}

int Monitor::GetChar() {
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(console_m);
            if (!input.empty()) {
                char c = input.front();
                input.pop_front();
                return uint8_t(c);
            }
            if (stdin_closed) return -1;
        }
        struct pollfd p = {0, POLLIN, 0};
        if (poll(&p, 1, -1) < 0) return -1;
        CharWaiting();
    }
}

// ---- Restart and watchdog ---------------------------------------------------------

void Monitor::Restart(int code) {
    // The boot monitor reads the UART0 scratch register at restart: bit 0 asks
    // it to defragment the flash file system.
    if (bus_read8(BUS_UART0_SCRATCH) & 1) flash.RequestDefrag();
    WatchdogStop();
    std::function<void(int)> callback = restart_callback;
    if (callback) {
        callback(code);
        return;
    }
    fflush(stdout);
    fflush(stderr);
    host::board_stop();
    flash.Unmount();
    ExecSelf();
}

void Monitor::ExecSelf() {
    const std::vector<std::string>& args = host::host_options().argv;
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    if (argv.empty()) argv.push_back(const_cast<char*>("sign-controller"));
    argv.push_back(nullptr);
    execv("/proc/self/exe", argv.data());
    std::fprintf(stderr, "monitor: restart failed: cannot execute the program again: %s\n",
                 std::strerror(errno));
    _exit(3);
}

void Monitor::WatchdogArm() {
    // Called with watchdog_m held.
    if (watchdog_event != 0) host::cancel_device_event(watchdog_event);
    uint64_t id = 0;
    uint64_t generation = ++watchdog_generation;
    id = host::schedule_device_event(host::clock_ticks() + MON_WDT_TIMEOUT_TICKS,
                                     [this, generation] { WatchdogExpired(generation); });
    watchdog_event = id;
}

void Monitor::WatchdogControl(int command) {
    std::lock_guard<std::mutex> lock(watchdog_m);
    if (command == MON_WDT_STROBE) {
        if (watchdog_on) WatchdogArm();
        return;
    }
    if (command == MON_WDT_DISABLE) {
        watchdog_on = false;
        if (watchdog_event != 0) host::cancel_device_event(watchdog_event);
        watchdog_event = 0;
        ++watchdog_generation;
        return;
    }
    if (!watchdog_on) {
        watchdog_on = true;
        WatchdogArm();
    }
}

void Monitor::WatchdogStop() {
    WatchdogControl(MON_WDT_DISABLE);
}

void Monitor::WatchdogExpired(uint64_t generation) {
    {
        std::lock_guard<std::mutex> lock(watchdog_m);
        if (!watchdog_on || generation != watchdog_generation) return;
        watchdog_on = false;
        watchdog_event = 0;
    }
    std::fprintf(stderr, "monitor: watchdog expired: restarting the board\n");
    Restart(host::MONITOR_RESTART_WATCHDOG);
}

} // namespace monitor

using monitor::the_monitor;

// ---- Connection ------------------------------------------------------------------------

int monConnect(uint32_t entry, void (*lock)(), void (*unlock)()) {
    if (entry != board::kMonitorEntry || (lock == nullptr) != (unlock == nullptr)) return -1;
    the_monitor().lock = lock;
    the_monitor().unlock = unlock;
    return 0;
}

// ---- Console ---------------------------------------------------------------------------

int mon_getchar() {
    monitor::ServiceLock lock;
    return the_monitor().GetChar();
}

int mon_putchar(char c) {
    monitor::ServiceLock lock;
    the_monitor().Output(&c, 1);
    return uint8_t(c);
}

int mon_gotachar() {
    monitor::ServiceLock lock;
    return the_monitor().CharWaiting() ? 1 : 0;
}

int mon_printf(const char* fmt, ...) {
    if (fmt == nullptr) return 0;
    monitor::ServiceLock lock;
    char buf[1024];
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    if (n <= 0) return 0;
    n = std::min(n, int(sizeof buf) - 1);
    the_monitor().Output(buf, size_t(n));
    return n;
}

int mon_com(int request, void* arg1, void*, void*) {
    monitor::ServiceLock lock;
    if (request != MON_COM_SET_PUTCHAR_HOOK) return -1;
    the_monitor().putchar_hook = reinterpret_cast<int (*)(int)>(arg1);
    return 0;
}

// ---- Restart, identity, board ------------------------------------------------------------

void mon_restart(int code) {
    monitor::ServiceLock lock;
    the_monitor().Restart(code);
}

const char* mon_builddate() {
    return __DATE__;
}
const char* mon_version() {
    return "Sign controller board monitor 1.0";
}
int mon_boardtemp() {
    monitor::ServiceLock lock;
    return board::board_temperature();
}

// ---- Environment ----------------------------------------------------------------------------

char* mon_getenv(const char* name) {
    monitor::ServiceLock lock;
    return the_monitor().env.Get(name);
}

int mon_setenv(const char* name, const char* value) {
    monitor::ServiceLock lock;
    return the_monitor().env.Set(name, value) ? 0 : -1;
}

// ---- Commands -------------------------------------------------------------------------------

int mon_addcommand(struct monCommand* table, const char*) {
    if (table == nullptr) return -1;
    monitor::ServiceLock lock;
    the_monitor().commands.AddTable(table);
    return 0;
}

int mon_docommand(const char* line, int verbose) {
    if (line == nullptr) return -1;
    if (verbose) the_monitor().Printf("%s\n", line);
    // Commands the firmware added run without the monitor lock held, so that
    // they may use the services (and wait on the firmware's own tasks).
    return the_monitor().commands.Run(line);
}

// ---- GPIO, DCR, UART ------------------------------------------------------------------------

int mon_gpio_set(int port, int bit) {
    if (port != 0 || bit < 0 || bit > 31) return -1;
    monitor::ServiceLock lock;
    board::gpio_write_outputs(1u << bit, 0);
    return 0;
}

int mon_gpio_clr(int port, int bit) {
    if (port != 0 || bit < 0 || bit > 31) return -1;
    monitor::ServiceLock lock;
    board::gpio_write_outputs(0, 1u << bit);
    return 0;
}

int mon_gpio_write(int port, uint32_t set_mask, uint32_t clear_mask) {
    if (port != 0) return -1;
    monitor::ServiceLock lock;
    board::gpio_write_outputs(set_mask, clear_mask);
    return 0;
}

uint32_t mon_gpio_read(int port) {
    if (port != 0) return 0;
    monitor::ServiceLock lock;
    return board::gpio_inputs();
}

uint32_t mon_gpio_outputs(int port) {
    if (port != 0) return 0;
    monitor::ServiceLock lock;
    return board::gpio_outputs();
}

uint32_t mon_dcrread(uint32_t dcrn) {
    monitor::ServiceLock lock;
    return dcr_read(dcrn);
}

void mon_dcrwrite(uint32_t dcrn, uint32_t value) {
    monitor::ServiceLock lock;
    dcr_write(dcrn, value);
}

int mon_uart_setup(int port, int baud, int databits, uint32_t options) {
    if ((port != 0 && port != 1) || baud <= 0) return -1;
    monitor::ServiceLock lock;
    board::UartSetup setup;
    setup.done = true;
    setup.baud = baud;
    setup.databits = databits;
    setup.options = options;
    board::record_uart_setup(port, setup);
    return 0;
}

// ---- Real-time clock -------------------------------------------------------------------------
// The board clock is the clock/NV device's counter, read as a UTC calendar date.

int mon_rtcread(struct mon_tm* tm) {
    if (tm == nullptr) return -1;
    monitor::ServiceLock lock;
    time_t t = time_t(board::rtc_seconds());
    struct tm out;
    gmtime_r(&t, &out);
    *tm = mon_tm{out.tm_sec,  out.tm_min,  out.tm_hour,
                 out.tm_mday, out.tm_mon,  out.tm_year,
                 out.tm_wday, out.tm_yday, 0};
    return 0;
}

int mon_rtcwrite(const struct mon_tm* tm) {
    if (tm == nullptr) return -1;
    struct Range {
        int32_t value, low, high;
    } ranges[] = {{tm->tm_sec, 0, 59},  {tm->tm_min, 0, 59}, {tm->tm_hour, 0, 23},
                  {tm->tm_mday, 1, 31}, {tm->tm_mon, 0, 11}, {tm->tm_year, 70, 206}};
    for (const Range& r : ranges)
        if (r.value < r.low || r.value > r.high) return -1;
    struct tm in = {};
    in.tm_sec = tm->tm_sec;
    in.tm_min = tm->tm_min;
    in.tm_hour = tm->tm_hour;
    in.tm_mday = tm->tm_mday;
    in.tm_mon = tm->tm_mon;
    in.tm_year = tm->tm_year;
    int64_t seconds = int64_t(timegm(&in));
    if (seconds < 0) return -1;
    monitor::ServiceLock lock;
    board::set_rtc_seconds(uint64_t(seconds));
    return 0;
}

// ---- Watchdog --------------------------------------------------------------------------------

int mon_wdtctrl(int command) {
    if (command == MON_WDT_STROBE) return mon_wdtstrobe();
    monitor::ServiceLock lock;
    the_monitor().WatchdogControl(command);
    return 0;
}

int mon_wdtstrobe() {
    the_monitor().WatchdogControl(MON_WDT_STROBE);
    return 0;
}

// ---- Flash file system -----------------------------------------------------------------------

int mon_tfsadd(const char* name, const char* info, const char* flags, const unsigned char* src,
               int size) {
    monitor::ServiceLock lock;
    return the_monitor().flash.Add(name, info, flags, src, size);
}

int mon_tfsunlink(const char* name) {
    monitor::ServiceLock lock;
    return the_monitor().flash.Unlink(name);
}

TFSHDR* mon_tfsstat(const char* name) {
    monitor::ServiceLock lock;
    return the_monitor().flash.Stat(name);
}

TFSHDR* mon_tfsnext(TFSHDR* prev) {
    monitor::ServiceLock lock;
    return the_monitor().flash.Next(prev);
}

int mon_tfsipmod(const char* name, const unsigned char* data, int offset, int size) {
    monitor::ServiceLock lock;
    return the_monitor().flash.InPlaceModify(name, data, offset, size);
}

int mon_tfsopen(const char* name, long mode, char*) {
    monitor::ServiceLock lock;
    return the_monitor().flash.Open(name, mode);
}

int mon_tfsread(int fd, char* buf, int count) {
    monitor::ServiceLock lock;
    return the_monitor().flash.Read(fd, buf, count);
}

int mon_tfswrite(int fd, const char* buf, int count) {
    monitor::ServiceLock lock;
    return the_monitor().flash.Write(fd, buf, count);
}

int mon_tfsseek(int fd, int offset, int whence) {
    monitor::ServiceLock lock;
    return the_monitor().flash.Seek(fd, offset, whence);
}

int mon_tfsclose(int fd, const char* info) {
    monitor::ServiceLock lock;
    return the_monitor().flash.Close(fd, info);
}

long mon_tfsctrl(int request, long arg1, long arg2) {
    monitor::ServiceLock lock;
    return the_monitor().flash.Control(request, arg1, arg2);
}

// ---- Host side -------------------------------------------------------------------------------

namespace host {

bool monitor_start(const HostOptions& options, std::string& error) {
    monitor::Monitor& m = the_monitor();
    monitor_stop();
    m.state_dir = options.state_dir;
    m.env.Load(options.state_dir + "/environment");
    std::string report;
    int rc = m.flash.Mount(options.state_dir + "/flash.img", options.flash_size,
                           monitor::FlashFs::Access::ReadWrite, report);
    if (rc == TFS_OKAY) m.RunMonrc();
    m.env.FillDefaults();
    if (rc != TFS_OKAY) {
        // The reason, without the lines' own "flash: " prefix.
        error.clear();
        std::istringstream lines(report);
        for (std::string line; std::getline(lines, line);)
            error += (error.empty() ? "" : "; ") +
                     (line.rfind("flash: ", 0) == 0 ? line.substr(7) : line);
        if (error.empty()) error = "the flash image cannot be used";
        return false;
    }
    if (!report.empty()) std::fputs(report.c_str(), stderr); // what was found and repaired
    return true;
}

void monitor_stop() {
    monitor::Monitor& m = the_monitor();
    m.WatchdogStop();
    m.flash.Unmount();
    m.lock = nullptr;
    m.unlock = nullptr;
    m.putchar_hook = nullptr;
    m.commands.Reset();
    m.env.Clear();
}

void monitor_set_restart_callback(std::function<void(int code)> callback) {
    the_monitor().restart_callback = std::move(callback);
}

void monitor_console_capture(bool on) {
    std::lock_guard<std::mutex> lock(the_monitor().console_m);
    the_monitor().capture = on;
}

std::string monitor_console_take() {
    std::lock_guard<std::mutex> lock(the_monitor().console_m);
    std::string out;
    out.swap(the_monitor().captured);
    return out;
}

void monitor_console_input(const std::string& text) {
    std::lock_guard<std::mutex> lock(the_monitor().console_m);
    for (char c : text)
        the_monitor().input.push_back(c);
}

monitor::FlashFs& monitor_flash() {
    return the_monitor().flash;
}

bool monitor_watchdog_enabled() {
    std::lock_guard<std::mutex> lock(the_monitor().watchdog_m);
    return the_monitor().watchdog_on;
}

} // namespace host
