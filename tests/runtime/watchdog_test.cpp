// The watchdog task in the whole firmware on the virtual clock: supervision of
// the tasks, the hardware watchdog and its holds, and the controlled reset.
#include "display/display_task.h"
#include "platform/monitor/monitor.h"
#include "platform/monitor/monitor_host.h"
#include "runtime/post_office.h"
#include "runtime/watchdog_task.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/support/firmware_fixture.h"

#include <atomic>

namespace {

using test_support::ConsoleText;

std::atomic<int> g_restarts{0};
std::atomic<int> g_restart_code{99};
std::atomic<uint64_t> g_restart_tick{0};

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        n++;
    return n;
}

class Watchdog : public test_support::FirmwareFixture {
  protected:
    void Prepare() override {
        g_restarts = 0;
        g_restart_code = 99;
        host::monitor_set_restart_callback([](int code) {
            if (g_restarts++ == 0) {
                g_restart_code = code;
                g_restart_tick = host::clock_ticks();
            }
        });
    }
    void TearDown() override {
        host::monitor_set_restart_callback(nullptr);
        test_support::FirmwareFixture::TearDown();
    }
    // The system is up and every task has sent its start letter.
    void Boot() {
        tx_thread_sleep(1500);
        ASSERT_TRUE(TheWatchdogTask().IsSupervised("Display"));
        ASSERT_TRUE(host::monitor_watchdog_enabled());
    }
    static const TFSHDR* ConfigFile() { return mon_tfsstat("CONFIG.XML"); }
};

const uint32_t PASS_TICKS = 50;
const uint32_t SUPERVISION_TICKS = CWatchdogTask::SUPERVISION_RELOAD * PASS_TICKS;

TEST_F(Watchdog, AHungTaskIsReportedAndTheHardwareWatchdogRestartsTheBoard) {
    Boot();
    tx_thread_suspend(TheDisplay().Thread()); // hangs: no alive letter, no stop letter
    tx_thread_sleep(SUPERVISION_TICKS - 2 * PASS_TICKS);
    EXPECT_EQ(0u, Count(ConsoleText(), "wdt failure Display\n"));
    EXPECT_EQ(0, g_restarts);
    uint64_t before = host::clock_ticks();
    tx_thread_sleep(4 * PASS_TICKS + MON_WDT_TIMEOUT_TICKS);
    EXPECT_GE(Count(ConsoleText(), "wdt failure Display\n"), 2u); // again in every pass
    EXPECT_GT(g_restarts.load(), 0);
    EXPECT_EQ(host::MONITOR_RESTART_WATCHDOG, g_restart_code);
    EXPECT_GT(g_restart_tick.load(), before);
}

TEST_F(Watchdog, AStopLetterEndsTheReportsAndStrobingResumes) {
    Boot();
    tx_thread_suspend(TheDisplay().Thread());
    while (Count(ConsoleText(), "wdt failure Display\n") == 0)
        tx_thread_sleep(PASS_TICKS);
    the_post_office().post(LETTER_DISPLAY_STOP);
    tx_thread_sleep(PASS_TICKS + 10);
    size_t reports = Count(ConsoleText(), "wdt failure Display\n");
    tx_thread_sleep(4 * MON_WDT_TIMEOUT_TICKS);
    EXPECT_EQ(reports, Count(ConsoleText(), "wdt failure Display\n"));
    EXPECT_EQ(0, g_restarts);
}

TEST_F(Watchdog, ASuspendedTaskIsNotCountedAsFailed) {
    Boot();
    the_post_office().post(LETTER_DISPLAY_SUSPEND); // the task sends its stop letter
    tx_thread_sleep(2 * SUPERVISION_TICKS);
    EXPECT_FALSE(TheWatchdogTask().IsSupervised("Display"));
    EXPECT_EQ(std::string::npos, ConsoleText().find("wdt failure"));
    EXPECT_EQ(0, g_restarts);
}

TEST_F(Watchdog, HoldsNestAndTheTwoHundredFirstIsRefusedAtOnce) {
    Boot();
    CWatchdogTask& w = TheWatchdogTask();
    EXPECT_EQ(1, w.DisableWatchdog());
    EXPECT_EQ(1, w.DisableWatchdog());
    EXPECT_FALSE(host::monitor_watchdog_enabled());
    EXPECT_EQ(1, w.EnableWatchdog());
    EXPECT_FALSE(host::monitor_watchdog_enabled()); // one hold is still outstanding
    EXPECT_EQ(1, w.EnableWatchdog());
    EXPECT_TRUE(host::monitor_watchdog_enabled());
    EXPECT_EQ(0, w.EnableWatchdog()); // nothing to release: the count stays right
    EXPECT_EQ(0u, w.HoldsOutstanding());

    for (uint32_t i = 0; i < CWatchdogTask::HOLD_LIMIT; i++)
        ASSERT_EQ(1, w.DisableWatchdog());
    uint32_t now = tx_time_get();
    EXPECT_EQ(0, w.DisableWatchdog()); // refused without waiting for a release
    EXPECT_EQ(now, tx_time_get());
    tx_thread_sleep(10 * PASS_TICKS); // the task's supervision pass still gets the mutex
    EXPECT_EQ(CWatchdogTask::HOLD_LIMIT, w.HoldsOutstanding());
    for (uint32_t i = 0; i < CWatchdogTask::HOLD_LIMIT; i++)
        w.EnableWatchdog();
    EXPECT_TRUE(host::monitor_watchdog_enabled());
    EXPECT_EQ(0, g_restarts);
}

TEST_F(Watchdog, HoldAndReleaseLettersAndTheCommunicationQuery) {
    Boot();
    the_post_office().post(LETTER_WATCHDOG_HOLD);
    tx_thread_sleep(PASS_TICKS + 1);
    EXPECT_FALSE(host::monitor_watchdog_enabled());
    tx_thread_sleep(4 * MON_WDT_TIMEOUT_TICKS); // held off: no restart
    EXPECT_EQ(0, g_restarts);
    the_post_office().post(LETTER_WATCHDOG_RELEASE);
    tx_thread_sleep(PASS_TICKS + 1);
    EXPECT_TRUE(host::monitor_watchdog_enabled());

    letter_s query(LETTER_COMM_SUPERVISED_QUERY), answer;
    ASSERT_EQ(1, the_post_office().send_and_wait(query, answer));
    EXPECT_EQ(LETTER_COMM_SUPERVISED_ANSWER, answer.code());
    EXPECT_EQ(1u, answer.get_u32(0));
}

TEST_F(Watchdog, RequestedRestartTerminatesTheTasksSavesTheConfigurationAndRestarts) {
    Boot();
    EXPECT_TRUE(restart_flags() & RESTART_SAVE_CONFIG); // as start-up leaves it
    const TFSHDR* before = ConfigFile();
    // The request as a central system makes it: the peripheral task's next
    // pass turns it into the restart letter.
    ASSERT_EQ(DB_OK, db_set(obj::dmsSWReset, 1, DB_NOTIFY));
    uint64_t asked = host::clock_ticks();
    tx_thread_sleep(4000);
    ASSERT_GT(g_restarts.load(), 0);
    // Every task stopped at once, so the reset did not wait the 20 passes.
    EXPECT_LT(g_restart_tick.load() - asked, 12 * PASS_TICKS + 2 * MON_WDT_TIMEOUT_TICKS + 100);
    UINT state = 0;
    tx_thread_info_get(TheDisplay().Thread(), nullptr, &state, nullptr);
    EXPECT_EQ(TX_TERMINATED, state);
    EXPECT_NE(std::string::npos, ConsoleText().find("Please Stand by for System Reset...\n"));
    const TFSHDR* after = ConfigFile();
    ASSERT_NE(nullptr, after);
    EXPECT_NE(before, after);               // written again
    EXPECT_EQ(1u, db_get(obj::dmsSWReset)); // the next start counts no watchdog failure
}

TEST_F(Watchdog, ShutdownResetSkipsTheNoticeAndAClearedFlagSkipsTheConfiguration) {
    Boot();
    restart_flags() &= static_cast<uint8_t>(~RESTART_SAVE_CONFIG); // as after a memory clear
    const TFSHDR* before = ConfigFile();
    the_post_office().post(LETTER_SHUTDOWN_RESET);
    tx_thread_sleep(4000);
    ASSERT_GT(g_restarts.load(), 0);
    EXPECT_EQ(std::string::npos, ConsoleText().find("Please Stand by for System Reset..."));
    EXPECT_EQ(before, ConfigFile());
    EXPECT_EQ(CWatchdogTask::REASON_SHUTDOWN, TheWatchdogTask().ResetReason());
}

TEST_F(Watchdog, DefragmentationRestartPrintsTheNotice) {
    Boot();
    the_post_office().post(LETTER_DEFRAG_RESTART_REQUESTED);
    tx_thread_sleep(4000);
    ASSERT_GT(g_restarts.load(), 0);
    EXPECT_NE(std::string::npos, ConsoleText().find("Please Stand by for System Reset...\n"));
    EXPECT_EQ(CWatchdogTask::REASON_DEFRAG, TheWatchdogTask().ResetReason());
}

} // namespace
