// The simulated processor: priorities, preemption, time slices, waits and
// the virtual clock.
#include "tests/platform/kernel_test_util.h"

#include <chrono>

using namespace kernel_test;

namespace {

class KernelScheduling : public KernelTest {};

TEST_F(KernelScheduling, HigherPriorityRunsFirst) {
    Spawn("low", 20, [](ULONG) { Log("low"); });
    Spawn("high", 10, [](ULONG) { Log("high"); });
    Spawn("mid", 15, [](ULONG) { Log("mid"); });
    EXPECT_TRUE(Events().empty()); // the test body (priority 0) still runs
    tx_thread_sleep(1);
    EXPECT_EQ(Events(), (Trace{"high", "mid", "low"}));
}

TEST_F(KernelScheduling, WokenHigherPriorityPreemptsAtTheNextKernelCall) {
    Spawn("high", 5, [](ULONG) {
        tx_thread_sleep(3);
        Log("high@" + std::to_string(tx_time_get()));
    });
    Spawn("low", 10, [](ULONG) {
        for (int i = 0; i < 5; ++i) {
            Log("low@" + std::to_string(tx_time_get()));
            host::busy_ticks(1);
        }
    });
    tx_thread_sleep(100);
    EXPECT_EQ(Events(), (Trace{"low@0", "low@1", "low@2", "high@3", "low@3", "low@4"}));
}

TEST_F(KernelScheduling, ResumingHigherPriorityThreadPreemptsAtOnce) {
    static TX_THREAD* high;
    high = Spawn(
        "high", 5, [](ULONG) { Log("high"); }, TX_DONT_START);
    Spawn("low", 10, [](ULONG) {
        Log("low before");
        tx_thread_resume(high);
        Log("low after");
    });
    tx_thread_sleep(1);
    EXPECT_EQ(Events(), (Trace{"low before", "high", "low after"}));
}

TEST_F(KernelScheduling, PreemptionThresholdKeepsMidPriorityOut) {
    static TX_THREAD* mid;
    mid = Spawn(
        "mid", 8, [](ULONG) { Log("mid"); }, TX_DONT_START);
    // "low" has priority 10 but lets only priorities above 5 preempt it.
    Spawn(
        "low", 10,
        [](ULONG) {
            tx_thread_resume(mid);
            Log("low");
        },
        TX_AUTO_START, 5);
    tx_thread_sleep(1);
    EXPECT_EQ(Events(), (Trace{"low", "mid"}));
}

// Each thread logs the tick and computes for one tick, three times.
void Worker(ULONG id) {
    for (int i = 0; i < 3; ++i) {
        Log(std::string(1, static_cast<char>('A' + id)) + std::to_string(tx_time_get()));
        host::busy_ticks(1);
    }
}

TEST_F(KernelScheduling, EqualPrioritiesRoundRobinByTimeSlice) {
    struct Case {
        ULONG slice;
        Trace expected;
    } cases[] = {
        {2, {"A0", "A1", "B2", "B3", "A4", "B5"}},
        {1, {"A0", "B1", "A2", "B3", "A4", "B5"}},
        {0, {"A0", "A1", "A2", "B3", "B4", "B5"}}, // no slice: runs until it waits
    };
    for (const Case& c : cases) {
        Restart();
        Spawn("A", 10, Worker, TX_AUTO_START, 10, c.slice, 0);
        Spawn("B", 10, Worker, TX_AUTO_START, 10, c.slice, 1);
        tx_thread_sleep(100);
        EXPECT_EQ(Events(), c.expected) << "slice " << c.slice;
    }
}

TEST_F(KernelScheduling, RelinquishHandsOverToEqualPriorityOnly) {
    Spawn("A", 10, [](ULONG) {
        Log("A1");
        tx_thread_relinquish();
        Log("A2");
    });
    Spawn("B", 10, [](ULONG) { Log("B"); });
    Spawn("C", 12, [](ULONG) { Log("C"); });
    tx_thread_sleep(1);
    EXPECT_EQ(Events(), (Trace{"A1", "B", "A2", "C"}));
}

TEST_F(KernelScheduling, SleepOfADayWakesAtTheRightTickQuickly) {
    const ULONG day = 24 * 60 * 60 * 100;
    TX_TIMER second;
    static int expiries;
    expiries = 0;
    ASSERT_EQ(tx_timer_create(
                  &second, "second", [](ULONG) { ++expiries; }, 0, 100, 100, TX_AUTO_ACTIVATE),
              TX_SUCCESS);
    auto start = std::chrono::steady_clock::now();
    ULONG before = tx_time_get();
    EXPECT_EQ(tx_thread_sleep(day), TX_SUCCESS);
    EXPECT_EQ(tx_time_get() - before, day);
    EXPECT_EQ(expiries, 24 * 60 * 60);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST_F(KernelScheduling, TimeStandsStillWhileAThreadCanRun) {
    Spawn("spinner", 5, [](ULONG) {
        for (int i = 0; i < 1000; ++i)
            tx_thread_relinquish();
        Log("t=" + std::to_string(tx_time_get()));
    });
    tx_thread_sleep(1);
    EXPECT_EQ(Events(), (Trace{"t=0"}));
}

TEST_F(KernelScheduling, SuspendAndResume) {
    static TX_THREAD* worker;
    worker = Spawn("worker", 5, [](ULONG) {
        for (;;) {
            Log("tick " + std::to_string(tx_time_get()));
            tx_thread_sleep(10);
        }
    });
    tx_thread_sleep(15);                              // runs at 0 and 10
    EXPECT_EQ(tx_thread_suspend(worker), TX_SUCCESS); // while it sleeps: takes effect at wake
    tx_thread_sleep(30);
    EXPECT_EQ(Events(), (Trace{"tick 0", "tick 10"}));
    UINT state = 0;
    tx_thread_info_get(worker, nullptr, &state, nullptr);
    EXPECT_EQ(state, TX_SUSPENDED);
    EXPECT_EQ(tx_thread_resume(worker), TX_SUCCESS);
    tx_thread_sleep(1);
    EXPECT_EQ(Events().back(), "tick 45");
    EXPECT_EQ(tx_thread_resume(worker), TX_RESUME_ERROR); // not suspended: it sleeps
    // Suspension asked during a wait and lifted before it ends.
    EXPECT_EQ(tx_thread_suspend(worker), TX_SUCCESS);
    EXPECT_EQ(tx_thread_resume(worker), TX_SUSPEND_LIFTED);
    tx_thread_sleep(10);
    EXPECT_EQ(Events().back(), "tick 55");
}

TEST_F(KernelScheduling, TerminateDeleteAndCompletion) {
    TX_THREAD* done = Spawn("done", 5, [](ULONG) {});
    TX_THREAD* sleeper = Spawn("sleeper", 5, [](ULONG) { tx_thread_sleep(TX_WAIT_FOREVER); });
    tx_thread_sleep(1);
    UINT state = 0;
    tx_thread_info_get(done, nullptr, &state, nullptr);
    EXPECT_EQ(state, TX_COMPLETED);
    EXPECT_EQ(tx_thread_delete(sleeper), TX_DELETE_ERROR);
    EXPECT_EQ(tx_thread_terminate(sleeper), TX_SUCCESS);
    tx_thread_info_get(sleeper, nullptr, &state, nullptr);
    EXPECT_EQ(state, TX_TERMINATED);
    EXPECT_EQ(tx_thread_delete(sleeper), TX_SUCCESS);
    EXPECT_EQ(tx_thread_delete(done), TX_SUCCESS);
    EXPECT_EQ(tx_thread_delete(done), TX_THREAD_ERROR);
}

TEST_F(KernelScheduling, SelfTerminationReleasesHeldMutex) {
    static TX_MUTEX lock;
    ASSERT_EQ(tx_mutex_create(&lock, "lock", TX_INHERIT), TX_SUCCESS);
    Spawn("holder", 5, [](ULONG) {
        tx_mutex_get(&lock, TX_WAIT_FOREVER);
        tx_thread_terminate(tx_thread_identify());
        Log("not reached");
    });
    tx_thread_sleep(1);
    EXPECT_EQ(tx_mutex_get(&lock, TX_NO_WAIT), TX_SUCCESS);
    EXPECT_TRUE(Events().empty());
}

TEST_F(KernelScheduling, CreateRefusesBadArguments) {
    static TX_THREAD t;
    static uint8_t stack[1024];
    tx_entry_fn entry = [](ULONG) {};
    struct Case {
        TX_THREAD* cb;
        tx_entry_fn entry;
        void* stack;
        ULONG size;
        UINT priority, threshold, start;
        UINT expected;
    } cases[] = {
        {nullptr, entry, stack, 1024, 5, 5, 1, TX_THREAD_ERROR},
        {&t, nullptr, stack, 1024, 5, 5, 1, TX_PTR_ERROR},
        {&t, entry, nullptr, 1024, 5, 5, 1, TX_PTR_ERROR},
        {&t, entry, stack, 100, 5, 5, 1, TX_SIZE_ERROR},
        {&t, entry, stack, 1024, 32, 32, 1, TX_PRIORITY_ERROR},
        {&t, entry, stack, 1024, 5, 6, 1, TX_THRESH_ERROR},
        {&t, entry, stack, 1024, 5, 5, 2, TX_START_ERROR},
    };
    for (const Case& c : cases)
        EXPECT_EQ(tx_thread_create(c.cb, "t", c.entry, 0, c.stack, c.size, c.priority, c.threshold,
                                   0, c.start),
                  c.expected);
    EXPECT_EQ(tx_thread_create(&t, "t", entry, 0, stack, 1024, 5, 5, 0, 0), TX_SUCCESS);
    EXPECT_EQ(tx_thread_create(&t, "t", entry, 0, stack, 1024, 5, 5, 0, 0), TX_THREAD_ERROR);
}

TEST_F(KernelScheduling, IdentifyNamesTheCallingThread) {
    TX_THREAD* self = tx_thread_identify();
    ASSERT_NE(self, nullptr);
    EXPECT_STREQ(self->name, "test");
    Spawn("named", 5, [](ULONG) { Log(tx_thread_identify()->name); });
    tx_thread_sleep(1);
    EXPECT_EQ(Events(), (Trace{"named"}));
}

TEST_F(KernelScheduling, PriorityChangeTakesEffectAtOnce) {
    static TX_THREAD* other;
    other = Spawn(
        "other", 10, [](ULONG) { Log("other"); }, TX_DONT_START);
    Spawn("self", 8, [](ULONG) {
        tx_thread_resume(other);
        Log("self before");
        UINT old = 0;
        tx_thread_priority_change(tx_thread_identify(), 12, &old);
        Log("self after " + std::to_string(old));
    });
    tx_thread_sleep(1);
    EXPECT_EQ(Events(), (Trace{"self before", "other", "self after 8"}));
}

} // namespace

namespace {

TEST_F(KernelScheduling, ThreadsCreatedAtStartUpRunByPriorityAroundTheTestBody) {
    Restart(
        [](void*) {
            Log("define");
            Spawn("urgent", 1, [](ULONG) { Log("urgent"); });
            Spawn("later", 9, [](ULONG) { Log("later"); });
        },
        5);
    Log("test body");
    tx_thread_sleep(1);
    EXPECT_EQ(Events(), (Trace{"define", "urgent", "test body", "later"}));
}

} // namespace

namespace {

TEST_F(KernelScheduling, RunUntilIdleLetsEveryReadyThreadRunWithoutTimePassing) {
    Spawn("low", 30, [](ULONG) {
        Log("low");
        tx_thread_sleep(5);
        Log("low again");
    });
    Spawn("mid", 12, [](ULONG) { Log("mid"); });
    host::run_until_idle();
    EXPECT_EQ(Events(), (Trace{"mid", "low"}));
    EXPECT_EQ(tx_time_get(), 0u);
    host::run_until_idle(); // nothing to run: returns at once
    EXPECT_EQ(tx_time_get(), 0u);
}

} // namespace

namespace {

void LogFlush() {
    Log("flush");
}

// Output host code held back leaves once the threads at that work wait or
// give way to a lower priority: not while a peer or the named reader runs,
// once however often it was named, and never held outside a thread.
TEST_F(KernelScheduling, HeldOutputLeavesWhenTheThreadsAtThatWorkGiveWay) {
    Spawn("worker", 10, [](ULONG) {
        EXPECT_TRUE(host::hold_output(12, LogFlush));
        EXPECT_TRUE(host::hold_output(0, LogFlush));
        Log("held");
        tx_thread_relinquish();
        Log("worker again");
    });
    Spawn("peer", 10, [](ULONG) { Log("peer"); });
    Spawn("reader", 12, [](ULONG) { Log("reader"); });
    Spawn("low", 20, [](ULONG) { Log("low"); });
    tx_thread_sleep(1);
    EXPECT_EQ(Events(), (Trace{"held", "peer", "worker again", "reader", "flush", "low"}));
    host::raise_interrupt([] { Log(host::hold_output(0, LogFlush) ? "held" : "refused"); });
    tx_thread_sleep(1);
    EXPECT_EQ(Events().back(), "refused");
    EXPECT_EQ(Events().size(), 7u); // and nothing flushed again
}

} // namespace
