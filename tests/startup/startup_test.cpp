#include "startup/startup.h"

#include "comm/comm_task.h"
#include "console/monitor_task.h"
#include "display/display_task.h"
#include "ntcip/schedule/schedule_task.h"
#include "peripherals/peripheral_task.h"
#include "platform/board/bus.h"
#include "platform/monitor/monitor.h"
#include "platform/monitor/monitor_host.h"
#include "runtime/bootloader_image.h"
#include "runtime/post_office.h"
#include "runtime/watchdog_task.h"
#include "store/database.h"
#include "store/filesystem.h"
#include "store/objects.h"
#include "tests/support/firmware_fixture.h"

#include <string>
#include <vector>

namespace {

using test_support::ConsoleText;

bool Shows(const std::string& text) {
    return ConsoleText().find(text) != std::string::npos;
}

class Startup : public test_support::FirmwareFixture {};

TEST_F(Startup, PrintsTheBannerAndTheStartUpLines) {
    const char* lines[] = {
        "Booting J6-VMS ver ",
        " - Detecting Hardware\t\t\t\t\t[ OK ]\n\tTZR CAN Product Board\n",
        " - Is Bootloader Current?\t\t\t\t[ OK ]\n",
        " - Initialize J6 Platform Specific Items\t\t[ OK ]\n",
        " - Initialize QK Product Specific Items\t\t\t[ OK ]\n",
        "Launching Thread(s) at ",
    };
    size_t at = 0;
    for (const char* line : lines) {
        size_t found = ConsoleText().find(line, at);
        ASSERT_NE(std::string::npos, found) << line << "\n--- console:\n" << ConsoleText();
        at = found;
    }
    for (const char* failure : {"tx_byte_pool_create", "tx_event_flags_create", "tx_mutex_create",
                                "Please standby", "need to restart", "Error"})
        EXPECT_FALSE(Shows(failure)) << ConsoleText();
    EXPECT_EQ(2, product_board_id());
    EXPECT_EQ(FS_MEDIA_ID, TheSystemMedia().id); // "system drive" is open
    EXPECT_EQ(&watchdog_enabled, TheSystemMedia().watchdog_hook);
}

struct task_probe {
    const char* name;
    CTaskBase* (*task)();
};

const task_probe TASKS[] = {
    {"Watchdog", [] { return static_cast<CTaskBase*>(&TheWatchdogTask()); }},
    {"Database", [] { return TheDatabase().Task(); }},
    {"Display", [] { return static_cast<CTaskBase*>(&TheDisplay()); }},
    {"Schedule", [] { return static_cast<CTaskBase*>(&TheScheduleTask()); }},
    {"Peripheral", [] { return static_cast<CTaskBase*>(&ThePeripheralTask()); }},
    {"Monitor", [] { return static_cast<CTaskBase*>(&TheMonitorTask()); }},
    {"Communication", [] { return static_cast<CTaskBase*>(&the_comm_task()); }},
};

TEST_F(Startup, EveryTaskStepsOncePerPeriod) {
    tx_thread_sleep(1100); // past every task's first tick
    std::vector<uint32_t> before;
    for (const task_probe& t : TASKS) {
        ASSERT_NE(nullptr, t.task()) << t.name;
        EXPECT_EQ(CTaskBase::CREATED, t.task()->State()) << t.name;
        before.push_back(t.task()->Runs());
    }
    const uint32_t seconds = 30;
    tx_thread_sleep(seconds * 100);
    for (size_t i = 0; i < before.size(); i++) {
        CTaskBase* task = TASKS[i].task();
        double expected = seconds * 100.0 / task->Period();
        EXPECT_NEAR(expected, task->Runs() - before[i], 1.0) << TASKS[i].name;
    }
}

// The tasks are created in the order Watchdog, Database, Display, Schedule,
// Peripheral, Monitor, Communication: their threads first run by priority
// (Watchdog 1, the five at priority 2 in their creation order, Database 4).
class StartOrder : public test_support::FirmwareFixture {
  protected:
    void Prepare() override {
        host::set_switch_hook([](uint64_t, const char* thread) {
            for (const task_probe& t : TASKS)
                if (std::string(thread) == t.name && !Started(t.name))
                    first_runs().push_back(t.name);
        });
    }
    static std::vector<std::string>& first_runs() {
        static std::vector<std::string> names;
        return names;
    }
    static bool Started(const char* name) {
        for (const std::string& n : first_runs())
            if (n == name) return true;
        return false;
    }
};

TEST_F(StartOrder, TasksFirstRunInTheirCreationOrderByPriority) {
    tx_thread_sleep(1);
    host::set_switch_hook(nullptr);
    EXPECT_EQ((std::vector<std::string>{"Watchdog", "Display", "Schedule", "Peripheral", "Monitor",
                                        "Communication", "Database"}),
              first_runs());
}

TEST_F(Startup, TheCommunicationTaskAnswersAPing) {
    tx_thread_sleep(1100);
    letter_s ping(LETTER_PING), answer;
    ULONG before = tx_time_get();
    ASSERT_EQ(1, the_post_office().send_and_wait(ping, answer));
    EXPECT_EQ(LETTER_PING_ANSWER, answer.code());
    EXPECT_EQ(1u, tx_time_get() - before);
}

TEST_F(Startup, SubscribersAreAttachedInTheirOrder) {
    post_office& office = the_post_office();
    EXPECT_EQ(&the_comm_task().Mail(), office.slot(0));
    EXPECT_EQ(&TheDisplay().Mail(), office.slot(1));
    EXPECT_EQ(&TheScheduleTask().Mail(), office.slot(2));
    EXPECT_EQ(&ThePeripheralTask().Mail(), office.slot(3));
    EXPECT_EQ(&TheMonitorTask().Mail(), office.slot(4));
    EXPECT_EQ(&TheWatchdogTask().Mail(), office.slot(5));
    EXPECT_EQ(TheDatabase().Mail(), office.slot(6));
    EXPECT_EQ(nullptr, office.slot(7));
}

TEST_F(Startup, TheMonitorReportsSystemEvents) {
    tx_thread_sleep(300);
    test_support::ClearConsole();
    the_post_office().post(LETTER_DEFRAG_RESTART_REQUESTED);
    tx_thread_sleep(20);
    EXPECT_TRUE(Shows("System Defragmentation Restart Requested\n")) << ConsoleText();
}

TEST_F(Startup, TerminateLettersStopEveryTaskButTheWatchdog) {
    tx_thread_sleep(1100);
    for (uint32_t code : {44u, 37u, 53u, 68u, 60u, 72u, 97u})
        the_post_office().post(code);
    tx_thread_sleep(300); // every task has had a step to read its letter
    std::vector<uint32_t> before;
    for (const task_probe& t : TASKS)
        before.push_back(t.task()->Runs());
    tx_thread_sleep(1000);
    for (size_t i = 0; i < before.size(); i++) {
        bool watchdog = TASKS[i].task() == &TheWatchdogTask();
        EXPECT_EQ(watchdog, TASKS[i].task()->Runs() > before[i]) << TASKS[i].name;
    }
    UINT state = 0;
    tx_thread_info_get(ThePeripheralTask().Thread(), nullptr, &state, nullptr);
    EXPECT_NE(TX_TERMINATED, state); // the peripheral task only stops its timer
    tx_thread_info_get(TheDisplay().Thread(), nullptr, &state, nullptr);
    EXPECT_EQ(TX_TERMINATED, state);
}

TEST_F(Startup, ASuspendLetterStopsATaskUntilItIsResumed) {
    tx_thread_sleep(1100);
    the_post_office().post(LETTER_SCHEDULE_SUSPEND);
    tx_thread_sleep(100);
    EXPECT_TRUE(Shows("Suspending schedule task\n")) << ConsoleText();
    uint32_t runs = TheScheduleTask().Runs();
    tx_thread_sleep(500);
    EXPECT_EQ(runs, TheScheduleTask().Runs());
    TheScheduleTask().Resume();
    tx_thread_sleep(500);
    EXPECT_NEAR(runs + 10.0, TheScheduleTask().Runs(), 1.0);
}

TEST_F(Startup, TheWatchdogKeepsTheSupervisionBook) {
    tx_thread_sleep(1100);
    CWatchdogTask& wd = TheWatchdogTask();
    for (const char* name : {"Display", "Schedule", "Monitor", "Peripheral", "Communication"})
        EXPECT_TRUE(wd.IsSupervised(name)) << name;
    EXPECT_FALSE(wd.IsSupervised("Database"));
    EXPECT_EQ(CWatchdogTask::COMMUNICATION, CWatchdogTask::TaskIndex("Communication"));
    EXPECT_EQ(0u, CWatchdogTask::TaskIndex("Nobody"));
    EXPECT_STREQ("Peripheral", CWatchdogTask::TaskName(CWatchdogTask::PERIPHERAL));

    letter_s query(LETTER_COMM_SUPERVISED_QUERY), answer;
    ASSERT_EQ(1, the_post_office().send_and_wait(query, answer));
    EXPECT_EQ(LETTER_COMM_SUPERVISED_ANSWER, answer.code());
    EXPECT_EQ(1u, answer.get_u32(0));

    the_post_office().post(LETTER_COMM_SUSPEND); // the task stops its supervision first
    tx_thread_sleep(300);
    EXPECT_FALSE(wd.IsSupervised("Communication"));
    ASSERT_EQ(1, the_post_office().send_and_wait(query, answer));
    EXPECT_EQ(0u, answer.get_u32(0));
}

// A start nobody asked for is a power-up and counts as a possible watchdog
// failure; the restarts asked for (1, and 4 with defragmentation) are warm
// starts, 2 the start without traps.
TEST_F(Startup, StartCauseCountsUnrequestedRestarts) {
    struct {
        uint32_t sw_reset;
        uint32_t added;
        start_cause cause;
    } cases[] = {{1, 0, START_WARM}, {0, 1, START_COLD}, {2, 0, START_QUIET}, {4, 0, START_WARM}};
    for (auto c : cases) {
        db_set(obj::dmsSWReset, c.sw_reset, DB_NO_VALIDATE);
        uint32_t count = db_get(obj::watchdogFailureCount);
        record_start_cause();
        EXPECT_EQ(count + c.added, db_get(obj::watchdogFailureCount)) << c.sw_reset;
        EXPECT_EQ(c.cause, current_start_cause()) << c.sw_reset;
        EXPECT_EQ(0u, db_get(obj::dmsSWReset));
    }
}

TEST(BootloaderDate, DayNumbers) {
    struct {
        const char* date;
        int day;
    } cases[] = {
        {"Sep  8 2006", 2446},  {"Sep  7 2006", 2445}, {"Jan 01 2000", 1},
        {"Dec 31 2030", 11322}, {"xxx 10 2006", 2169}, {"Sep", 0},
        {nullptr, 0},
    };
    for (auto c : cases)
        EXPECT_EQ(c.day, bootloader_day_number(c.date)) << (c.date ? c.date : "null");
}

TEST_F(Startup, CurrentBootMonitorPassesTheBootLoaderCheck) {
    test_support::ClearConsole();
    EXPECT_EQ(0, check_bootloader_date("Sep  8 2006"));
    EXPECT_EQ(" - Is Bootloader Current?\t\t\t\t[ OK ]\n", ConsoleText());
    EXPECT_EQ(nullptr, mon_tfsstat(BOOTLOADER_FILE_NAME));
}

TEST_F(Startup, OldBootMonitorGetsTheBuiltInBootLoaderAndRestarts) {
    std::vector<int> restarts;
    host::monitor_set_restart_callback([&](int code) { restarts.push_back(code); });
    test_support::ClearConsole();
    EXPECT_EQ(1, check_bootloader_date("Sep  7 2006"));
    EXPECT_EQ(" - Is Bootloader Current?\t\t\t\t[FAIL]\nPlease standby for system restart...\n",
              ConsoleText());
    TFSHDR* file = mon_tfsstat(BOOTLOADER_FILE_NAME);
    ASSERT_NE(nullptr, file);
    EXPECT_EQ(BOOTLOADER_INFLATED_BYTES, tfs_file_size(file));
    EXPECT_EQ(std::vector<int>{1}, restarts);
}

// Board ids and their names.
class BoardId : public test_support::FirmwareFixture, public ::testing::WithParamInterface<int> {
  protected:
    void Configure(host::HostOptions& options) override { options.board_id = GetParam(); }
};

TEST_P(BoardId, DetectionPrintsTheBoardName) {
    const char* names[] = {"TZR Product Board I",
                           "TZR Product Board II",
                           "TZR CAN Product Board",
                           "QR Product Board",
                           "TZR Product Board II with Datakey",
                           "QN Product Board with MM Fiber",
                           "QN Product Board with SM Fiber"};
    int id = GetParam();
    std::string expected = std::string(" - Detecting Hardware\t\t\t\t\t[ OK ]\n\t") +
                           (id < 7 ? names[id] : "Unknown Product Board") + "\n";
    EXPECT_TRUE(Shows(expected)) << ConsoleText();
    EXPECT_EQ(id, product_board_id());
}

INSTANTIATE_TEST_SUITE_P(Ids, BoardId, ::testing::Values(0, 5, 6, 7, 15));

// A character typed at the console during start-up sets the trace level.
class TraceLevelAtStart : public test_support::FirmwareFixture,
                          public ::testing::WithParamInterface<std::pair<std::string, int>> {
  protected:
    void Prepare() override { host::monitor_console_input(GetParam().first); }
};

TEST_P(TraceLevelAtStart, OnlyOneTurnsTracingOn) {
    EXPECT_EQ(GetParam().second, TheMonitorTask().TraceLevel());
    tx_thread_sleep(300);
    EXPECT_EQ(GetParam().second == 1, Shows("Watchdog Task Start...\n")) << ConsoleText();
}

INSTANTIATE_TEST_SUITE_P(Typed, TraceLevelAtStart,
                         ::testing::Values(std::make_pair(std::string(""), 0),
                                           std::make_pair(std::string("1"), 1),
                                           std::make_pair(std::string("2"), 0),
                                           std::make_pair(std::string("5"), 0),
                                           std::make_pair(std::string("x"), 0)));

} // namespace

namespace {

// The flash check at start-up: deleted space above 500,000 bytes forces a
// restart with defragmentation only when the free space is below 2,000,000.
class FlashSpace : public test_support::FirmwareFixture,
                   public ::testing::WithParamInterface<long> {
  protected:
    void Prepare() override {
        std::vector<unsigned char> junk(600000, 0x55);
        ASSERT_EQ(0,
                  mon_tfsadd("junk", nullptr, nullptr, junk.data(), static_cast<int>(junk.size())));
        ASSERT_EQ(0, mon_tfsunlink("junk"));
        // Fill the flash so that exactly the wanted free space is left.
        long target = GetParam();
        long filler_bytes = mon_tfsctrl(TFS_CTRL_FREESPACE, 0, 0) - target -
                            static_cast<long>(monitor::FlashFs::kHeaderSize);
        ASSERT_GT(filler_bytes, 0);
        std::vector<unsigned char> filler(filler_bytes, 0x55);
        ASSERT_EQ(0, mon_tfsadd("filler", nullptr, nullptr, filler.data(),
                                static_cast<int>(filler.size())));
        ASSERT_EQ(target, mon_tfsctrl(TFS_CTRL_FREESPACE, 0, 0));
        host::monitor_set_restart_callback([](int code) { restarts().push_back(code); });
    }
    static std::vector<int>& restarts() {
        static std::vector<int> codes;
        return codes;
    }
};

TEST_P(FlashSpace, DefragmentsOnlyBelowTwoMillionFreeBytes) {
    bool short_of_space = GetParam() < 2000000;
    EXPECT_EQ(short_of_space, Shows("\t need to restart to defragment the flash drive\n"))
        << ConsoleText();
    EXPECT_EQ(short_of_space, restarts() == std::vector<int>{0});
    EXPECT_EQ(short_of_space, (bus_read8(BUS_UART0_SCRATCH) & 1) != 0);
}

INSTANTIATE_TEST_SUITE_P(Free, FlashSpace,
                         ::testing::Values(2000000L, 2000000L - monitor::FlashFs::kAlign));

} // namespace

namespace {

// More than 1,000 headers in the flash ask for a defragmentation, but only
// while some of them are deleted ones: 1,001 live files alone would restart
// the sign for ever, as a defragmentation cannot reduce them.
class FlashHeaders : public test_support::FirmwareFixture,
                     public ::testing::WithParamInterface<bool> {
  protected:
    void Configure(host::HostOptions& options) override { options.flash_size = 1u << 20; }
    void Prepare() override {
        const unsigned char byte = 1;
        for (int i = 0; i < 1001; i++)
            ASSERT_EQ(0, mon_tfsadd(("f" + std::to_string(i)).c_str(), nullptr, nullptr, &byte, 1));
        if (GetParam()) {
            ASSERT_EQ(0, mon_tfsunlink("f0"));
        }
        host::monitor_set_restart_callback([](int code) { restarts().push_back(code); });
    }
    static std::vector<int>& restarts() {
        static std::vector<int> codes;
        return codes;
    }
};

TEST_P(FlashHeaders, DefragmentOnlyWhenDeletedHeadersCanBeReclaimed) {
    bool some_deleted = GetParam();
    EXPECT_EQ(some_deleted, Shows("\t need to restart to defragment the flash drive\n"))
        << ConsoleText();
    EXPECT_EQ(some_deleted, restarts() == std::vector<int>{0});
}

INSTANTIATE_TEST_SUITE_P(Deleted, FlashHeaders, ::testing::Bool());

} // namespace
