#include "runtime/mail_task.h"

#include "runtime/os.h"
#include "runtime/pools.h"
#include "tests/support/kernel_fixture.h"

#include <vector>

namespace {

const uint32_t NO_OTHER_LETTERS[] = {0};
const task_profile PROBE_PROFILE = {
    "Probe Task",
    0,
    205,
    206,
    207,
    201,
    202,
    203,
    204,
    "Probe Stack Used: %d/%d. 0x%08X-0x%08X Current:0x%08X\n",
    "Suspending probe task\n",
    "Resuming probe task\n",
};

task_row probe_row(uint32_t period, uint32_t first_tick) {
    return {"Probe", "probe", 2048, 3, 0, first_tick, period, PROBE_PROFILE, NO_OTHER_LETTERS};
}

// A task of the common life cycle whose period the test chooses.
class CProbeTask : public CMailTask {
  public:
    CProbeTask(uint32_t period, uint32_t first_tick = 1)
        : CMailTask(probe_row(period, first_tick), the_post_office()) {}
    void HandleLetter(const letter_s& letter) override { others.push_back(letter.code()); }
    void SetExpirations(uint32_t n) { timer_expirations_ = n; }
    std::vector<uint32_t> others;
};

// Collects the supervision letters the probe sends.
const uint32_t WATCH_CODES[] = {205, 206, 207, 0};
struct watcher {
    TX_EVENT_FLAGS_GROUP group{};
    subscriber mail{the_post_office(), &group, 1, nullptr};
    watcher() { mail.attach(WATCH_CODES); }
    std::vector<uint32_t> drain() {
        std::vector<uint32_t> codes;
        letter_s* l = nullptr;
        while (mail.receive(&l)) {
            codes.push_back(l->code());
            mail.release(l);
        }
        return codes;
    }
};

class TaskBase : public test_support::KernelFixture {
  protected:
    int Start(CProbeTask& task) {
        task.Subscribe();
        return task.Start(thread_stack_pool());
    }
    void Delete(CProbeTask& task) {
        tx_thread_terminate(task.Thread());
        tx_thread_delete(task.Thread());
        os_timer_delete(task.Timer());
        os_event_flags_delete(task.Flags());
        task.Mail().detach();
    }
};

TEST_F(TaskBase, RunsOncePerPeriodAfterItsFirstTick) {
    struct {
        uint32_t period;
        uint8_t runs_per_second;
    } cases[] = {{10, 10}, {50, 2}, {100, 1}};
    for (auto c : cases) {
        CProbeTask task(c.period, 1);
        ASSERT_EQ(1, Start(task));
        EXPECT_EQ(CTaskBase::CREATED, task.State());
        EXPECT_EQ(c.runs_per_second, task.RunsPerSecond());
        tx_thread_sleep(1000); // 10 seconds
        // The first expiry starts the thread; every later one is a run.
        EXPECT_NEAR(10.0 * c.runs_per_second, task.Runs(), 1.0) << c.period;
        uint32_t seconds = 0;
        task.GetUptimeSeconds(&seconds);
        EXPECT_NEAR(10.0, seconds, 1.0);
        Delete(task);
    }
}

TEST_F(TaskBase, PeriodAboveASecondHasNoUptime) {
    CProbeTask task(200);
    ASSERT_EQ(1, Start(task));
    EXPECT_EQ(0, task.RunsPerSecond());
    uint32_t seconds = 12345;
    task.GetUptimeSeconds(&seconds);
    EXPECT_EQ(12345u, seconds);
    struct tm calendar = {};
    calendar.tm_year = 77;
    task.GetUptime(&calendar);
    EXPECT_EQ(77, calendar.tm_year);
}

TEST_F(TaskBase, UptimeOfAYearIsYearOneDayZero) {
    CProbeTask task(100);
    ASSERT_EQ(1, Start(task));
    task.SetExpirations(31536000u + 86400u * 2 + 3600u * 5 + 60u * 7 + 9u);
    struct tm calendar = {};
    calendar.tm_mday = 17;
    task.GetUptime(&calendar);
    EXPECT_EQ(1, calendar.tm_year);
    EXPECT_EQ(2, calendar.tm_yday);
    EXPECT_EQ(5, calendar.tm_hour);
    EXPECT_EQ(7, calendar.tm_min);
    EXPECT_EQ(9, calendar.tm_sec);
    EXPECT_EQ(17, calendar.tm_mday); // other fields untouched
}

TEST_F(TaskBase, StackReportCountsFromTheFirstTouchedByte) {
    CProbeTask task(10);
    ASSERT_EQ(1, Start(task));
    test_support::ClearConsole();
    EXPECT_EQ(-1, task.StackUsed());
    task.ReportStack();
    EXPECT_EQ("", test_support::ConsoleText()); // untouched: nothing to report
    task.Stack()[2047] = 0;
    EXPECT_EQ(1, task.StackUsed());
    task.Stack()[0] = 0;
    EXPECT_EQ(2048, task.StackUsed());
    task.ReportStack();
    EXPECT_NE(std::string::npos,
              test_support::ConsoleText().find("Probe Stack Used: 2048/2048. 0x"));
}

TEST_F(TaskBase, SupervisedTaskSendsStartThenAliveEveryPeriod) {
    watcher w;
    CProbeTask task(10, 5);
    ASSERT_EQ(1, Start(task));
    tx_thread_sleep(6); // first tick: start
    EXPECT_EQ((std::vector<uint32_t>{205, 206}), w.drain());
    tx_thread_sleep(30);
    EXPECT_EQ((std::vector<uint32_t>{206, 206, 206}), w.drain());
}

TEST_F(TaskBase, MaintenanceLettersSuspendAndTerminate) {
    watcher w;
    CProbeTask task(10);
    ASSERT_EQ(1, Start(task));
    tx_thread_sleep(50);
    w.drain();
    test_support::ClearConsole();
    the_post_office().post(202); // suspend
    the_post_office().post(210); // not the task's: ignored by the post office
    tx_thread_sleep(20);
    EXPECT_NE(std::string::npos, test_support::ConsoleText().find("Suspending probe task\n"));
    std::vector<uint32_t> letters = w.drain();
    ASSERT_FALSE(letters.empty());
    EXPECT_EQ(207u, letters.back()); // stop
    uint32_t runs = task.Runs();
    tx_thread_sleep(100);
    EXPECT_EQ(runs, task.Runs());

    task.Resume();
    tx_thread_sleep(100);
    EXPECT_NEAR(runs + 10.0, task.Runs(), 1.0);
    the_post_office().post(201); // terminate
    tx_thread_sleep(20);
    EXPECT_EQ(207u, w.drain().back());
    UINT state = 0;
    tx_thread_info_get(task.Thread(), nullptr, &state, nullptr);
    EXPECT_EQ(TX_TERMINATED, state);
}

TEST_F(TaskBase, OtherLettersReachTheTaskHandler) {
    CProbeTask task(10);
    ASSERT_EQ(1, Start(task));
    EXPECT_EQ(0, task.Subscribe()); // already attached by Start
    tx_thread_sleep(20);
    letter_s l(203); // resume of a running task: nothing to do but print
    the_post_office().dispatch(l);
    tx_thread_sleep(20);
    EXPECT_TRUE(task.others.empty());
    EXPECT_NE(std::string::npos, test_support::ConsoleText().find("Resuming probe task\n"));
}

TEST_F(TaskBase, FailedCreationGivesTheStackBackAndStartsNothing) {
    TX_BYTE_POOL tiny{};
    static uint8_t ram[1024];
    ASSERT_EQ(OS_OK, os_byte_pool_create(&tiny, "tiny", ram, sizeof ram));
    CProbeTask task(10);
    test_support::ClearConsole();
    EXPECT_EQ(0, task.Start(tiny));
    EXPECT_NE(std::string::npos, test_support::ConsoleText().find("Probe Allocation Error:"))
        << test_support::ConsoleText();
    EXPECT_EQ(CTaskBase::CONSTRUCTED, task.State());

    // A second creation finds its flag group already made: the stack goes back.
    ASSERT_EQ(1, Start(task));
    const char* name;
    uint32_t total, before, after, fragments;
    os_byte_pool_info(&thread_stack_pool(), &name, &total, &before, &fragments);
    test_support::ClearConsole();
    EXPECT_EQ(0, task.Start(thread_stack_pool()));
    EXPECT_NE(std::string::npos, test_support::ConsoleText().find("Probe Creation Error:"));
    os_byte_pool_info(&thread_stack_pool(), &name, &total, &after, &fragments);
    EXPECT_EQ(before, after);
}

// A task that keeps its period (as the display task does) and whose step
// `slow_step` takes `slow_ticks` before its late-step check.
class CPacedProbe : public CProbeTask {
  public:
    CPacedProbe(uint32_t slow_step, uint32_t slow_ticks)
        : CProbeTask(10, 10), slow_step_(slow_step), slow_ticks_(slow_ticks) {}
    uint32_t Run() override {
        CTaskBase::Run();
        if (Runs() == slow_step_) tx_thread_sleep(slow_ticks_);
        CheckLateStep();
        return 0;
    }

  private:
    uint32_t slow_step_, slow_ticks_;
};

// A step that ends after the next period was due is late once: the timer
// starts again on the period from that step, and the expiry that came during
// the slow step does not run a second step in the same tick ("ticks:0").
TEST_F(TaskBase, ALateStepIsCountedOnceAndThePeriodResumesFromIt) {
    const struct {
        uint32_t slow_ticks;
        const char* warning;
    } cases[] = {{12, "warning Probe ticks:22, desired 10\n"},
                 {25, "warning Probe ticks:35, desired 10\n"}};
    for (const auto& c : cases) {
        CPacedProbe task(5, c.slow_ticks);
        ASSERT_EQ(1, Start(task));
        tx_thread_sleep(45); // steps 1 to 3 in time
        const uint16_t late_before = task.LateSteps();
        test_support::ClearConsole();
        tx_thread_sleep(200);
        EXPECT_EQ(late_before + 1, task.LateSteps()) << test_support::ConsoleText();
        EXPECT_EQ(c.warning, test_support::ConsoleText());
        Delete(task);
    }
}

} // namespace
