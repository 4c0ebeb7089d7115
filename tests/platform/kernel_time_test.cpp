// Timers, byte pools, interrupts, the contexts outside threads, and
// determinism.
#include "tests/platform/kernel_test_util.h"

#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

using namespace kernel_test;

namespace {

class KernelTime : public KernelTest {};

void LogExpiry(ULONG id) {
    Log(std::to_string(id) + "@" + std::to_string(tx_time_get()));
}

TEST_F(KernelTime, TimerFirstExpiryAndRescheduleComeAtTheRightTicks) {
    TX_TIMER periodic, once;
    ASSERT_EQ(tx_timer_create(&periodic, "p", LogExpiry, 1, 5, 10, TX_AUTO_ACTIVATE), TX_SUCCESS);
    ASSERT_EQ(tx_timer_create(&once, "o", LogExpiry, 2, 12, 0, TX_AUTO_ACTIVATE), TX_SUCCESS);
    tx_thread_sleep(30);
    EXPECT_EQ(Events(), (Trace{"1@5", "2@12", "1@15", "1@25"}));
    UINT active = 9;
    ULONG remaining = 0, reschedule = 0;
    EXPECT_EQ(tx_timer_info_get(&periodic, nullptr, &active, &remaining, &reschedule), TX_SUCCESS);
    EXPECT_EQ(active, 1u);
    EXPECT_EQ(remaining, 5u);
    EXPECT_EQ(reschedule, 10u);
    EXPECT_EQ(tx_timer_info_get(&once, nullptr, &active, nullptr, nullptr), TX_SUCCESS);
    EXPECT_EQ(active, 0u);
}

TEST_F(KernelTime, TimerDeactivateActivateAndChange) {
    TX_TIMER t;
    ASSERT_EQ(tx_timer_create(&t, "t", LogExpiry, 1, 10, 10, TX_NO_ACTIVATE), TX_SUCCESS);
    tx_thread_sleep(5);
    EXPECT_EQ(tx_timer_activate(&t), TX_SUCCESS); // due at 15
    EXPECT_EQ(tx_timer_activate(&t), TX_ACTIVATE_ERROR);
    tx_thread_sleep(12);                            // 17
    EXPECT_EQ(tx_timer_deactivate(&t), TX_SUCCESS); // 8 ticks were left
    tx_thread_sleep(100);                           // 117
    EXPECT_EQ(tx_timer_activate(&t), TX_SUCCESS);   // resumes: due at 125
    tx_thread_sleep(10);                            // 127
    EXPECT_EQ(tx_timer_deactivate(&t), TX_SUCCESS);
    EXPECT_EQ(tx_timer_change(&t, 3, 7), TX_SUCCESS);
    EXPECT_EQ(tx_timer_activate(&t), TX_SUCCESS); // the new initial: 130, then 137
    tx_thread_sleep(10);
    EXPECT_EQ(Events(), (Trace{"1@15", "1@125", "1@130", "1@137"}));
    EXPECT_EQ(tx_timer_change(&t, 0, 7), TX_TICK_ERROR);
}

TEST_F(KernelTime, TimerRefusesInitialZeroAndBadActivation) {
    TX_TIMER t;
    EXPECT_EQ(tx_timer_create(&t, "t", LogExpiry, 0, 0, 10, TX_AUTO_ACTIVATE), TX_TICK_ERROR);
    EXPECT_EQ(tx_timer_create(&t, "t", LogExpiry, 0, 1, 10, 2), TX_ACTIVATE_ERROR);
    EXPECT_EQ(tx_timer_create(&t, "t", nullptr, 0, 1, 10, 0), TX_PTR_ERROR);
    EXPECT_EQ(tx_timer_activate(&t), TX_TIMER_ERROR); // nothing was created
    ASSERT_EQ(tx_timer_create(&t, "t", LogExpiry, 0, 1, 10, 0), TX_SUCCESS);
    EXPECT_EQ(tx_timer_delete(&t), TX_SUCCESS);
    EXPECT_EQ(tx_timer_delete(&t), TX_TIMER_ERROR);
}

// What the services answer outside a thread: the timer expiry probes them.
TX_SEMAPHORE g_semaphore;
TX_MUTEX g_mutex;
TX_EVENT_FLAGS_GROUP g_group;
TX_BYTE_POOL g_pool;

void ProbeServices(ULONG) {
    ULONG actual;
    void* block;
    Log("identify " + std::to_string(tx_thread_identify() == nullptr));
    Log("non-thread " + std::to_string(tx_in_non_thread_context()));
    Log("sem wait " + std::to_string(tx_semaphore_get(&g_semaphore, 10)));
    Log("sem no wait " + std::to_string(tx_semaphore_get(&g_semaphore, TX_NO_WAIT)));
    Log("flags wait " + std::to_string(tx_event_flags_get(&g_group, 1, TX_OR, &actual, 5)));
    Log("mutex wait " + std::to_string(tx_mutex_get(&g_mutex, TX_WAIT_FOREVER)));
    Log("pool wait " + std::to_string(tx_byte_allocate(&g_pool, &block, 16, 1)));
    Log("sleep " + std::to_string(tx_thread_sleep(1)));
    Log("delete " + std::to_string(tx_semaphore_delete(&g_semaphore)));
}

void CreateProbedObjects() {
    tx_semaphore_create(&g_semaphore, "s", 1);
    tx_mutex_create(&g_mutex, "m", TX_NO_INHERIT);
    tx_event_flags_create(&g_group, "g");
    tx_byte_pool_create(&g_pool, "p", host::board_ram_address(0x400000), 4096);
}

const Trace kOutsideAThread = {
    "identify 1",
    "non-thread 1",
    "sem wait " + std::to_string(TX_WAIT_ERROR),
    "sem no wait 0",
    "flags wait " + std::to_string(TX_WAIT_ERROR),
    "mutex wait " + std::to_string(TX_WAIT_ERROR),
    "pool wait " + std::to_string(TX_WAIT_ERROR),
    "sleep " + std::to_string(TX_CALLER_ERROR),
};

TEST_F(KernelTime, WaitingServicesFailAtOnceInTimerContext) {
    CreateProbedObjects();
    TX_TIMER t;
    ASSERT_EQ(tx_timer_create(&t, "t", ProbeServices, 0, 3, 0, TX_AUTO_ACTIVATE), TX_SUCCESS);
    tx_thread_sleep(5);
    Trace expected = kOutsideAThread;
    expected.push_back("delete " + std::to_string(TX_CALLER_ERROR));
    EXPECT_EQ(Events(), expected);
}

TEST_F(KernelTime, WaitingServicesFailAtOnceInInterruptContext) {
    CreateProbedObjects();
    host::raise_interrupt([] { ProbeServices(0); });
    tx_thread_sleep(1);
    Trace expected = kOutsideAThread;
    expected[5] = "mutex wait " + std::to_string(TX_CALLER_ERROR); // no mutexes in a handler
    expected.push_back("delete " + std::to_string(TX_CALLER_ERROR));
    EXPECT_EQ(Events(), expected);
}

TEST_F(KernelTime, WaitingServicesFailAtOnceInStartUp) {
    Restart([](void* first_free) {
        EXPECT_EQ(first_free, host::board_ram_address(host::kFirstFreeOffset));
        CreateProbedObjects();
        ProbeServices(0);
    });
    Trace expected = kOutsideAThread;
    expected.push_back("delete 0");
    EXPECT_EQ(Events(), expected);
}

TEST_F(KernelTime, InterruptWaitsForTheLockAndWakesAThread) {
    ASSERT_EQ(tx_semaphore_create(&g_semaphore, "s", 0), TX_SUCCESS);
    UINT posture = tx_interrupt_mask();
    EXPECT_EQ(tx_interrupt_mask(), 1u); // nested
    host::raise_interrupt([] {
        Log("handler");
        tx_semaphore_put(&g_semaphore);
    });
    tx_thread_relinquish();
    tx_interrupt_restore(1);
    Log("still masked");
    tx_interrupt_restore(posture); // the handler runs here
    Log("unmasked");
    EXPECT_EQ(tx_semaphore_get(&g_semaphore, TX_NO_WAIT), TX_SUCCESS);
    EXPECT_EQ(Events(), (Trace{"still masked", "handler", "unmasked"}));
}

TEST_F(KernelTime, InterruptFromAHostThreadWakesTheWaitingFirmware) {
    ASSERT_EQ(tx_semaphore_create(&g_semaphore, "s", 0), TX_SUCCESS);
    host::host_activity_begin(); // keeps the virtual clock from jumping meanwhile
    std::thread device([] {
        host::raise_interrupt([] { tx_semaphore_put(&g_semaphore); });
        host::host_activity_end();
    });
    EXPECT_EQ(tx_semaphore_get(&g_semaphore, 1000), TX_SUCCESS);
    EXPECT_EQ(tx_time_get(), 0u);
    device.join();
}

// Logs the tick of every wake by the periodic timer's flag (read without a
// preemption point, so that the log shows when the thread ran).
void TimerWatcher(ULONG) {
    for (;;) {
        ULONG actual = 0;
        tx_event_flags_get(&g_group, 0x1, TX_OR_CLEAR, &actual, TX_WAIT_FOREVER);
        Log(std::to_string(host::clock_ticks()));
    }
}

TEST_F(KernelTime, AfterAHostPauseThreadsRunBetweenTheExpiriesTheClockCatchesUp) {
    ASSERT_EQ(tx_event_flags_create(&g_group, "g"), TX_SUCCESS);
    TX_TIMER t;
    ASSERT_EQ(tx_timer_create(
                  &t, "t", [](ULONG) { tx_event_flags_set(&g_group, 0x1, TX_OR); }, 0, 10, 10,
                  TX_AUTO_ACTIVATE),
              TX_SUCCESS);
    Spawn("watcher", 5, TimerWatcher);
    tx_thread_sleep(5);
    host::hold_processor(40); // the host stopped the processor: the clock shows 45
    tx_thread_sleep(60);
    EXPECT_EQ(tx_time_get(), 65u);
    // One wake per expiry, at its tick, not one wake for four expiries at 45.
    EXPECT_EQ(Events(), (Trace{"10", "20", "30", "40", "50", "60"}));
}

TEST_F(KernelTime, DeviceEventRunsInInterruptContextAtItsTick) {
    ASSERT_EQ(tx_event_flags_create(&g_group, "g"), TX_SUCCESS);
    host::schedule_device_event(250, [] {
        Log("event " + std::to_string(tx_thread_identify() == nullptr) + " @" +
            std::to_string(host::clock_ticks()));
        tx_event_flags_set(&g_group, 0x8, TX_OR);
    });
    uint64_t cancelled = host::schedule_device_event(100, [] { Log("cancelled"); });
    host::cancel_device_event(cancelled);
    ULONG actual = 0;
    EXPECT_EQ(tx_event_flags_get(&g_group, 0x8, TX_OR, &actual, TX_WAIT_FOREVER), TX_SUCCESS);
    EXPECT_EQ(tx_time_get(), 250u);
    EXPECT_EQ(Events(), (Trace{"event 1 @250"}));
}

TEST_F(KernelTime, TickCountWrapsAndCanBeSet) {
    tx_time_set(0xFFFFFFFE);
    tx_thread_sleep(3);
    EXPECT_EQ(tx_time_get(), 1u);
    EXPECT_EQ(host::clock_ticks(), 3u); // the platform clock is not moved
}

// ---- byte pools -----------------------------------------------------------

class KernelPools : public KernelTest {
  protected:
    void SetUp() override {
        KernelTest::SetUp();
        ASSERT_EQ(tx_byte_pool_create(&g_pool, "pool", host::board_ram_address(0x200000), 1024),
                  TX_SUCCESS);
    }
    ULONG Available() {
        ULONG available = 0;
        tx_byte_pool_info_get(&g_pool, nullptr, &available, nullptr);
        return available;
    }
    ULONG Fragments() {
        ULONG fragments = 0;
        tx_byte_pool_info_get(&g_pool, nullptr, nullptr, &fragments);
        return fragments;
    }
};

TEST_F(KernelPools, AllocationsComeFromBoardRamBelow4GB) {
    void* block = nullptr;
    ASSERT_EQ(tx_byte_allocate(&g_pool, &block, 100, TX_NO_WAIT), TX_SUCCESS);
    uintptr_t address = reinterpret_cast<uintptr_t>(block);
    EXPECT_LT(address, 0x100000000ull);
    EXPECT_EQ(address % 8, 0u);
    EXPECT_GE(static_cast<uint8_t*>(block), host::board_ram_base() + 0x200000);
    EXPECT_LT(static_cast<uint8_t*>(block) + 100, host::board_ram_base() + 0x200000 + 1024);
}

TEST_F(KernelPools, AccountingFragmentsAndMerging) {
    const ULONG whole = Available();
    EXPECT_EQ(Fragments(), 1u);
    EXPECT_GT(whole, 1000u - 64);
    void *a, *b, *c;
    ASSERT_EQ(tx_byte_allocate(&g_pool, &a, 100, TX_NO_WAIT), TX_SUCCESS);
    ASSERT_EQ(tx_byte_allocate(&g_pool, &b, 100, TX_NO_WAIT), TX_SUCCESS);
    ASSERT_EQ(tx_byte_allocate(&g_pool, &c, 100, TX_NO_WAIT), TX_SUCCESS);
    EXPECT_EQ(Fragments(), 4u);
    EXPECT_LE(Available(), whole - 300);
    std::memset(a, 0xAA, 100); // the blocks do not overlap the pool's own records
    std::memset(b, 0xBB, 100);
    std::memset(c, 0xCC, 100);
    EXPECT_EQ(tx_byte_release(b), TX_SUCCESS);
    EXPECT_EQ(Fragments(), 4u); // a hole between a and c
    EXPECT_EQ(tx_byte_release(a), TX_SUCCESS);
    EXPECT_EQ(Fragments(), 3u); // a and b merged
    void* again;
    ASSERT_EQ(tx_byte_allocate(&g_pool, &again, 150, TX_NO_WAIT), TX_SUCCESS);
    EXPECT_EQ(again, a); // first fit
    EXPECT_EQ(tx_byte_release(again), TX_SUCCESS);
    EXPECT_EQ(tx_byte_release(c), TX_SUCCESS);
    EXPECT_EQ(Fragments(), 1u);
    EXPECT_EQ(Available(), whole);
}

TEST_F(KernelPools, NoMemoryWithoutWaiting) {
    void* big;
    ASSERT_EQ(tx_byte_allocate(&g_pool, &big, 900, TX_NO_WAIT), TX_SUCCESS);
    void* more;
    EXPECT_EQ(tx_byte_allocate(&g_pool, &more, 200, TX_NO_WAIT), TX_NO_MEMORY);
    EXPECT_EQ(tx_time_get(), 0u);
    EXPECT_EQ(tx_byte_allocate(&g_pool, &more, 200, 20), TX_NO_MEMORY); // a wait runs out
    EXPECT_EQ(tx_time_get(), 20u);
    EXPECT_EQ(tx_byte_allocate(&g_pool, &more, 0, TX_NO_WAIT), TX_SIZE_ERROR);
    EXPECT_EQ(tx_byte_allocate(&g_pool, &more, 5000, TX_NO_WAIT), TX_SIZE_ERROR);
}

TEST_F(KernelPools, WaitingAllocationIsServedByARelease) {
    static void* big;
    ASSERT_EQ(tx_byte_allocate(&g_pool, &big, 900, TX_NO_WAIT), TX_SUCCESS);
    Spawn("releaser", 5, [](ULONG) {
        tx_thread_sleep(7);
        tx_byte_release(big);
    });
    void* block = nullptr;
    EXPECT_EQ(tx_byte_allocate(&g_pool, &block, 500, TX_WAIT_FOREVER), TX_SUCCESS);
    EXPECT_EQ(tx_time_get(), 7u);
    EXPECT_NE(block, nullptr);
}

TEST_F(KernelPools, ReleaseRefusesWhatIsNotAnAllocatedBlock) {
    void* block;
    ASSERT_EQ(tx_byte_allocate(&g_pool, &block, 64, TX_NO_WAIT), TX_SUCCESS);
    int local = 0;
    EXPECT_EQ(tx_byte_release(nullptr), TX_PTR_ERROR);
    EXPECT_EQ(tx_byte_release(&local), TX_PTR_ERROR);
    EXPECT_EQ(tx_byte_release(static_cast<uint8_t*>(block) + 8), TX_PTR_ERROR);
    EXPECT_EQ(tx_byte_release(block), TX_SUCCESS);
    EXPECT_EQ(tx_byte_release(block), TX_PTR_ERROR); // twice
}

TEST_F(KernelPools, CreateRefusesBadArguments) {
    TX_BYTE_POOL p;
    EXPECT_EQ(tx_byte_pool_create(&g_pool, "again", host::board_ram_address(0x300000), 1024),
              TX_POOL_ERROR);
    EXPECT_EQ(tx_byte_pool_create(&p, "p", nullptr, 1024), TX_PTR_ERROR);
    EXPECT_EQ(tx_byte_pool_create(&p, "p", host::board_ram_address(0x300000), 16), TX_SIZE_ERROR);
    ULONG size = 0;
    EXPECT_EQ(tx_byte_pool_size_get(&g_pool, &size), TX_SUCCESS);
    EXPECT_EQ(size, 1024u);
}

// ---- determinism ----------------------------------------------------------

void Scenario() {
    Restart();
    host::set_switch_hook(
        [](uint64_t tick, const char* name) { Log(std::to_string(tick) + ":" + name); });
    tx_semaphore_create(&g_semaphore, "s", 0);
    tx_event_flags_create(&g_group, "g");
    static TX_TIMER timer;
    tx_timer_create(
        &timer, "t", [](ULONG) { tx_event_flags_set(&g_group, 1, TX_OR); }, 0, 7, 7,
        TX_AUTO_ACTIVATE);
    for (ULONG i = 0; i < 4; ++i) {
        Spawn(
            "worker", 3 + i % 2,
            [](ULONG id) {
                for (int n = 0; n < 20; ++n) {
                    ULONG actual;
                    tx_event_flags_get(&g_group, 1, TX_OR_CLEAR, &actual, 3 + id);
                    tx_semaphore_put(&g_semaphore);
                    host::busy_ticks(id % 2);
                    tx_thread_sleep(1 + id);
                }
            },
            TX_AUTO_START, -1, 1, i);
    }
    Spawn("consumer", 2, [](ULONG) {
        for (;;)
            tx_semaphore_get(&g_semaphore, TX_WAIT_FOREVER);
    });
    tx_thread_sleep(500);
    host::set_switch_hook(nullptr);
}

TEST_F(KernelTime, TwoRunsOfTheSameScenarioGiveTheSameTrace) {
    Scenario();
    Trace first = Events();
    Scenario();
    EXPECT_GT(first.size(), 200u);
    EXPECT_EQ(first, Events());
}

} // namespace

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>

namespace {

TEST_F(KernelPools, ReleasedBlocksInBoardRamArePoisoned) {
    void *a, *b;
    ASSERT_EQ(tx_byte_allocate(&g_pool, &a, 64, TX_NO_WAIT), TX_SUCCESS);
    ASSERT_EQ(tx_byte_allocate(&g_pool, &b, 64, TX_NO_WAIT), TX_SUCCESS);
    EXPECT_FALSE(__asan_address_is_poisoned(static_cast<uint8_t*>(a) + 63));
    tx_byte_release(a);
    EXPECT_TRUE(__asan_address_is_poisoned(a));
    tx_byte_release(b);
    EXPECT_TRUE(__asan_address_is_poisoned(static_cast<uint8_t*>(b) + 10));
    ASSERT_EQ(tx_byte_allocate(&g_pool, &a, 200, TX_NO_WAIT), TX_SUCCESS);
    EXPECT_EQ(__asan_region_is_poisoned(a, 200), nullptr);
    tx_byte_pool_delete(&g_pool);
    EXPECT_EQ(__asan_region_is_poisoned(host::board_ram_address(0x200000), 1024), nullptr);
}

} // namespace
#endif

namespace {

TEST_F(KernelTime, AHostThreadOutsideTheKernelCannotWaitOrSwitch) {
    ASSERT_EQ(tx_semaphore_create(&g_semaphore, "s", 0), TX_SUCCESS);
    UINT status = 0;
    static TX_THREAD dummy;
    TX_THREAD* identified = &dummy;
    std::thread outsider([&] {
        status = tx_semaphore_get(&g_semaphore, TX_WAIT_FOREVER);
        identified = tx_thread_identify();
    });
    outsider.join();
    EXPECT_EQ(status, TX_WAIT_ERROR);
    EXPECT_EQ(identified, nullptr);
    EXPECT_EQ(tx_thread_identify()->name, std::string("test"));
}

TEST(KernelRealClock, TicksFollowTheHostClockScaledBySpeed) {
    host::KernelConfig config;
    config.clock = host::ClockMode::Real;
    config.speed = 50.0; // 5,000 ticks per host second
    host::kernel_configure(config);
    Restart();
    static ULONG fired_at;
    fired_at = 0;
    TX_TIMER t;
    ASSERT_EQ(tx_timer_create(
                  &t, "t", [](ULONG) { fired_at = tx_time_get(); }, 0, 100, 0, TX_AUTO_ACTIVATE),
              TX_SUCCESS);
    const uint64_t clock_before = host::clock_ticks();
    auto start = std::chrono::steady_clock::now();
    ULONG before = tx_time_get();
    EXPECT_EQ(tx_thread_sleep(200), TX_SUCCESS); // 40 ms of host time
    double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(tx_time_get() - before, 200u);
    EXPECT_GE(elapsed, 0.035);
    // However long the host took, the clock catches up with it at the speed:
    // a clock at 100 ticks per host second never does (the bound is a safety
    // net only).
    const double due = 0.95 * 5000 * elapsed;
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (double(host::clock_ticks() - clock_before) < due &&
           std::chrono::steady_clock::now() < limit)
        tx_thread_relinquish();
    EXPECT_GE(double(host::clock_ticks() - clock_before), due);
    EXPECT_GE(fired_at, 100u);
    EXPECT_LT(fired_at, 150u);
}

// A socket the processor watches itself: on the real clock what arrives is
// taken in interrupt context both while the processor idles and while a
// thread keeps it busy; on the virtual clock the kernel declines, so that the
// caller's host thread keeps the clock standing while a datagram is pending.
TEST(KernelRealClock, AWatchedSocketIsTakenIdleOrBusy) {
    host::KernelConfig config;
    config.clock = host::ClockMode::Real;
    host::kernel_configure(config);
    Restart();
    int fds[2];
    ASSERT_EQ(0, socketpair(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK, 0, fds));
    static TX_EVENT_FLAGS_GROUP taken;
    static int taken_count, from_thread;
    taken_count = from_thread = 0;
    ASSERT_EQ(TX_SUCCESS, tx_event_flags_create(&taken, "taken"));
    const int reader = fds[0];
    ASSERT_TRUE(host::watch_while_idle(reader, [reader] {
        char c;
        while (recv(reader, &c, 1, MSG_DONTWAIT) == 1)
            taken_count++;
        if (!tx_in_non_thread_context()) from_thread++;
        tx_event_flags_set(&taken, 1, TX_OR);
    }));
    auto send_later = [&](int ms) {
        return std::thread([&, ms] {
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            EXPECT_EQ(1, send(fds[1], "x", 1, 0));
        });
    };

    std::thread idle_case = send_later(20);
    ULONG actual = 0;
    EXPECT_EQ(TX_SUCCESS, tx_event_flags_get(&taken, 1, TX_OR_CLEAR, &actual, 3000));
    idle_case.join();
    EXPECT_EQ(1, taken_count);

    // Busy: the thread never waits, yet the datagram is taken (the bound is
    // a safety net only).
    std::thread busy_case = send_later(20);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (taken_count < 2 && std::chrono::steady_clock::now() < until)
        tx_thread_relinquish();
    busy_case.join();
    EXPECT_EQ(2, taken_count);
    EXPECT_EQ(0, from_thread);

    host::unwatch_while_idle(reader);
    EXPECT_EQ(1, send(fds[1], "x", 1, 0));
    tx_thread_sleep(5);
    EXPECT_EQ(2, taken_count); // no longer watched
    close(fds[0]);
    close(fds[1]);
}

TEST_F(KernelTime, TheVirtualClockLeavesSocketsToTheirHostThreads) {
    EXPECT_FALSE(host::watch_while_idle(0, [] {}));
}

} // namespace

namespace {

// The timer scheduler's way: from its own expiry, deactivate the timer, change
// it to the next delay and activate it again.
TX_TIMER g_reprogrammed;
int g_next_delay;

void Reprogram(ULONG) {
    static const ULONG delays[] = {3, 1, 7};
    int& next = g_next_delay;
    Log(std::to_string(tx_time_get()));
    if (next == 3) {
        tx_timer_deactivate(&g_reprogrammed);
        return;
    }
    ULONG d = delays[next++];
    tx_timer_deactivate(&g_reprogrammed);
    tx_timer_change(&g_reprogrammed, d, d);
    tx_timer_activate(&g_reprogrammed);
}

TEST_F(KernelTime, TimerReprogrammedFromItsOwnExpiry) {
    g_next_delay = 0;
    ASSERT_EQ(tx_timer_create(&g_reprogrammed, "s", Reprogram, 0, 100, 100, TX_AUTO_ACTIVATE),
              TX_SUCCESS);
    tx_thread_sleep(300);
    EXPECT_EQ(Events(), (Trace{"100", "103", "104", "111"}));
}

} // namespace

namespace {

TEST_F(KernelTime, AHostThreadOutsideTheKernelCannotMaskInterrupts) {
    UINT posture = tx_interrupt_mask();
    std::thread outsider([] {
        UINT p = tx_interrupt_mask();
        tx_interrupt_restore(p);
        tx_interrupt_restore(0); // must not end the kernel thread's lock
    });
    outsider.join();
    host::raise_interrupt([] { Log("handler"); });
    tx_thread_relinquish();
    EXPECT_TRUE(Events().empty()); // still masked
    tx_interrupt_restore(posture);
    EXPECT_EQ(Events(), (Trace{"handler"}));
}

} // namespace
