// The whole firmware on the virtual clock while the host keeps the processor
// away (a stopped or overloaded host): the kernel catches up with the threads
// running in between, so a healthy firmware strobes its watchdog on the way
// and nothing restarts.
#include "platform/monitor/monitor_host.h"
#include "tests/support/firmware_fixture.h"

namespace {

class HostPause : public test_support::RestartCountingFixture {};

TEST_F(HostPause, TenSecondsAwayRestartNothingWhileTheFirmwareIsHealthy) {
    tx_thread_sleep(1500); // up: every task runs and the watchdog is on
    ASSERT_TRUE(host::monitor_watchdog_enabled());
    ULONG start = tx_time_get();
    for (int pause = 0; pause < 3; ++pause) {
        host::hold_processor(1000); // ten seconds, twice the watchdog's timeout
        tx_thread_sleep(1200);      // wakes after the catch-up
    }
    EXPECT_EQ(3u * 1200, tx_time_get() - start);
    EXPECT_EQ(0, Restarts());
    EXPECT_TRUE(host::monitor_watchdog_enabled());
}

} // namespace
