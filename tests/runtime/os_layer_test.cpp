// The OS layer: status mapping, option mapping and refusals.
#include "runtime/os.h"
#include "tests/platform/kernel_test_util.h"

using namespace kernel_test;

namespace {

class OsLayer : public KernelTest {};

TX_EVENT_FLAGS_GROUP g_group;
TX_MUTEX g_mutex;
TX_SEMAPHORE g_semaphore;
TX_TIMER g_timer;
TX_BYTE_POOL g_pool;

TEST_F(OsLayer, EventFlagOptionsOutsideOneToFourAreRefusedBeforeTheKernel) {
    ASSERT_EQ(os_event_flags_create(&g_group, "g"), OS_OK);
    ASSERT_EQ(os_event_flags_set(&g_group, 0x5, OS_EVENT_OR), OS_OK);
    for (uint32_t option : {0u, 5u, 0xFFFFFFFFu}) {
        uint32_t actual = 0xDEAD;
        EXPECT_EQ(os_event_flags_get(&g_group, 0x1, option, &actual, OS_NO_WAIT), OS_ERROR);
        EXPECT_EQ(actual, 0xDEADu);
        EXPECT_EQ(os_event_flags_set(&g_group, 0x0, option), OS_ERROR);
    }
    uint32_t actual = 0;
    EXPECT_EQ(os_event_flags_get(&g_group, 0x5, OS_EVENT_AND, &actual, OS_NO_WAIT), OS_OK);
    EXPECT_EQ(actual, 0x5u); // untouched
}

TEST_F(OsLayer, EventFlagOptionsMapToTheKernel) {
    struct Case {
        uint32_t option;
        uint32_t requested;
        os_status status;
        uint32_t left;
    } cases[] = {
        {OS_EVENT_AND, 0x3, OS_NO_EVENTS, 0x5}, {OS_EVENT_AND, 0x5, OS_OK, 0x5},
        {OS_EVENT_AND_CLEAR, 0x5, OS_OK, 0x0},  {OS_EVENT_OR, 0x3, OS_OK, 0x5},
        {OS_EVENT_OR_CLEAR, 0x3, OS_OK, 0x4},   {OS_EVENT_OR, 0x2, OS_NO_EVENTS, 0x5},
    };
    for (const Case& c : cases) {
        TX_EVENT_FLAGS_GROUP group{};
        ASSERT_EQ(os_event_flags_create(&group, "g"), OS_OK);
        os_event_flags_set(&group, 0x5, OS_EVENT_OR);
        uint32_t actual = 0;
        EXPECT_EQ(os_event_flags_get(&group, c.requested, c.option, &actual, OS_NO_WAIT), c.status)
            << c.option;
        uint32_t left = 0;
        os_event_flags_get(&group, 0xFFFFFFFF, OS_EVENT_OR, &left, OS_NO_WAIT);
        EXPECT_EQ(left, c.left) << c.option;
        // A set with AND keeps only the given bits: it is how bits are cleared.
        os_event_flags_set(&group, 0x1, OS_EVENT_AND);
        left = 0;
        os_event_flags_get(&group, 0xFFFFFFFF, OS_EVENT_OR, &left, OS_NO_WAIT);
        EXPECT_EQ(left, c.left & 0x1);
        EXPECT_EQ(os_event_flags_delete(&group), OS_OK);
    }
}

TEST_F(OsLayer, TimerAutoActivationOtherThanZeroOrOneCreatesNothing) {
    os_timer_fn expiry = [](ULONG) {};
    EXPECT_EQ(os_timer_create(&g_timer, "t", expiry, 10, 10, 2), OS_ERROR);
    EXPECT_EQ(os_timer_activate(&g_timer), OS_ERROR); // no such timer
    EXPECT_EQ(os_timer_create(&g_timer, "t", expiry, 10, 10, 1), OS_OK);
    EXPECT_EQ(os_timer_create(&g_timer, "t", expiry, 0, 10, 0), OS_ERROR); // already there
}

TEST_F(OsLayer, TimerExpiryAlwaysGetsInputZeroAndRunsOnTime) {
    static ULONG seen_input;
    static ULONG seen_tick;
    seen_input = 99;
    ASSERT_EQ(os_timer_create(
                  &g_timer, "t",
                  [](ULONG input) {
                      seen_input = input;
                      seen_tick = tx_time_get();
                  },
                  30, 0, 1),
              OS_OK);
    os_sleep(40);
    EXPECT_EQ(seen_input, 0u);
    EXPECT_EQ(seen_tick, 30u);
}

TEST_F(OsLayer, TimerChangeReturnsThePreviousRescheduleEvenWhenRefused) {
    ASSERT_EQ(os_timer_create(
                  &g_timer, "t", [](ULONG) {}, 5, 50, 0),
              OS_OK);
    uint32_t previous = 0;
    EXPECT_EQ(os_timer_change(&g_timer, 0, 70, &previous), OS_ERROR); // initial 0 refused
    EXPECT_EQ(previous, 50u);
    EXPECT_EQ(os_timer_change(&g_timer, 10, 70, &previous), OS_OK);
    EXPECT_EQ(previous, 50u);
    EXPECT_EQ(os_timer_change(&g_timer, 10, 90, &previous), OS_OK);
    EXPECT_EQ(previous, 70u);
    EXPECT_EQ(os_timer_deactivate(&g_timer), OS_OK);
    EXPECT_EQ(os_timer_delete(&g_timer), OS_OK);
    EXPECT_EQ(os_timer_delete(&g_timer), OS_ERROR);
}

TEST_F(OsLayer, ThreadNameOutsideAThreadIsACallerError) {
    const char* name = nullptr;
    EXPECT_EQ(os_thread_name(&name), OS_OK);
    EXPECT_STREQ(name, "test");
    static os_status from_timer, from_interrupt;
    from_timer = from_interrupt = OS_OK;
    ASSERT_EQ(os_timer_create(
                  &g_timer, "t",
                  [](ULONG) {
                      const char* n;
                      from_timer = os_thread_name(&n);
                  },
                  1, 0, 1),
              OS_OK);
    host::raise_interrupt([] {
        const char* n;
        from_interrupt = os_thread_name(&n);
    });
    os_sleep(2);
    EXPECT_EQ(from_timer, OS_CALLER_ERROR);
    EXPECT_EQ(from_interrupt, OS_CALLER_ERROR);
}

TEST_F(OsLayer, SleepOutsideAThreadIsACallerError) {
    static os_status status;
    status = OS_OK;
    host::raise_interrupt([] { status = os_sleep(1); });
    EXPECT_EQ(os_sleep(1), OS_OK);
    EXPECT_EQ(status, OS_CALLER_ERROR);
}

TEST_F(OsLayer, MutexStatuses) {
    ASSERT_EQ(os_mutex_create(&g_mutex, "m", 1), OS_OK);
    EXPECT_EQ(os_mutex_create(&g_mutex, "m", 1), OS_OBJECT_ERROR);
    EXPECT_EQ(os_mutex_put(&g_mutex), OS_NOT_OWNED);
    Spawn("holder", 5, [](ULONG) {
        os_mutex_get(&g_mutex, OS_WAIT_FOREVER);
        os_sleep(OS_WAIT_FOREVER);
    });
    os_sleep(1);
    ULONG before = tx_time_get();
    EXPECT_EQ(os_mutex_get(&g_mutex, OS_NO_WAIT), OS_NOT_AVAILABLE); // at once
    EXPECT_EQ(tx_time_get(), before);
    EXPECT_EQ(os_mutex_get(&g_mutex, 5), OS_NOT_AVAILABLE);
    EXPECT_EQ(tx_time_get(), before + 5);
    static os_status waited;
    Spawn("waiter", 3, [](ULONG) { waited = os_mutex_get(&g_mutex, OS_WAIT_FOREVER); });
    os_sleep(1);
    EXPECT_EQ(os_mutex_delete(&g_mutex), OS_OK);
    os_sleep(1);
    EXPECT_EQ(waited, OS_DELETED);
    EXPECT_EQ(os_mutex_get(&g_mutex, OS_NO_WAIT), OS_ERROR);
}

TEST_F(OsLayer, DeleteFromATimerIsACallerError) {
    static os_status flags_status, mutex_status;
    ASSERT_EQ(os_event_flags_create(&g_group, "g"), OS_OK);
    ASSERT_EQ(os_mutex_create(&g_mutex, "m", 0), OS_OK);
    ASSERT_EQ(os_timer_create(
                  &g_timer, "t",
                  [](ULONG) {
                      flags_status = os_event_flags_delete(&g_group);
                      mutex_status = os_mutex_delete(&g_mutex);
                  },
                  1, 0, 1),
              OS_OK);
    os_sleep(2);
    EXPECT_EQ(flags_status, OS_CALLER_ERROR);
    EXPECT_EQ(mutex_status, OS_CALLER_ERROR);
}

TEST_F(OsLayer, WaitsAndTheirEndings) {
    ASSERT_EQ(os_semaphore_create(&g_semaphore, "s", 0), OS_OK);
    ASSERT_EQ(os_event_flags_create(&g_group, "g"), OS_OK);
    EXPECT_EQ(os_semaphore_create(&g_semaphore, "s", 0), OS_SEMAPHORE_ERROR);
    EXPECT_EQ(os_event_flags_create(&g_group, "g"), OS_OBJECT_ERROR);
    EXPECT_EQ(os_semaphore_get(&g_semaphore, 3), OS_NO_INSTANCE);
    uint32_t actual;
    EXPECT_EQ(os_event_flags_get(&g_group, 1, OS_EVENT_OR, &actual, 3), OS_NO_EVENTS);
    static os_status from_timer[2];
    ASSERT_EQ(os_timer_create(
                  &g_timer, "t",
                  [](ULONG) {
                      uint32_t a;
                      from_timer[0] = os_semaphore_get(&g_semaphore, 1);
                      from_timer[1] = os_event_flags_get(&g_group, 1, OS_EVENT_OR, &a, 1);
                  },
                  1, 0, 1),
              OS_OK);
    os_sleep(2);
    EXPECT_EQ(from_timer[0], OS_WAIT_ERROR);
    EXPECT_EQ(from_timer[1], OS_WAIT_ERROR);
    static os_status aborted;
    TX_THREAD* waiter = Spawn("waiter", 5, [](ULONG) {
        uint32_t a;
        aborted = os_event_flags_get(&g_group, 1, OS_EVENT_OR, &a, OS_WAIT_FOREVER);
    });
    os_sleep(1);
    tx_thread_wait_abort(waiter);
    os_sleep(1);
    EXPECT_EQ(aborted, OS_WAIT_ABORTED);
    static os_status deleted;
    Spawn("sem waiter", 5,
          [](ULONG) { deleted = os_semaphore_get(&g_semaphore, OS_WAIT_FOREVER); });
    os_sleep(1);
    tx_semaphore_delete(&g_semaphore);
    os_sleep(1);
    EXPECT_EQ(deleted, OS_DELETED);
    EXPECT_EQ(os_semaphore_put(&g_semaphore), OS_SEMAPHORE_ERROR);
    uint32_t count;
    EXPECT_EQ(os_semaphore_info(&g_semaphore, nullptr, &count), OS_SEMAPHORE_ERROR);
}

TEST_F(OsLayer, BytePoolStatusesAndInfo) {
    void* start = host::board_ram_address(0x200000);
    ASSERT_EQ(os_byte_pool_create(&g_pool, "pool", start, 4096), OS_OK);
    EXPECT_EQ(os_byte_pool_create(&g_pool, "pool", start, 4096), OS_ERROR);
    const char* name = nullptr;
    uint32_t total = 0, available = 0, fragments = 0;
    ASSERT_EQ(os_byte_pool_info(&g_pool, &name, &total, &available, &fragments), OS_OK);
    EXPECT_STREQ(name, "pool");
    EXPECT_EQ(total, 4096u);
    EXPECT_EQ(fragments, 1u);
    void* block = nullptr;
    EXPECT_EQ(os_byte_allocate(&g_pool, &block, 5000, OS_NO_WAIT),
              OS_ERROR); // larger than the pool
    EXPECT_EQ(os_byte_allocate(&g_pool, &block, 4000, OS_NO_WAIT), OS_OK);
    void* more = nullptr;
    EXPECT_EQ(os_byte_allocate(&g_pool, &more, 200, OS_NO_WAIT), OS_NO_MEMORY);
    EXPECT_EQ(os_byte_release(block), OS_OK);
    EXPECT_EQ(os_byte_release(block), OS_ERROR);
    TX_BYTE_POOL never{};
    EXPECT_EQ(os_byte_pool_info(&never, &name, &total, &available, &fragments), OS_ERROR);
    static os_status waited;
    ASSERT_EQ(os_byte_allocate(&g_pool, &block, 4000, OS_NO_WAIT), OS_OK);
    Spawn("waiter", 5, [](ULONG) {
        void* b;
        waited = os_byte_allocate(&g_pool, &b, 4000, OS_WAIT_FOREVER);
    });
    os_sleep(1);
    tx_byte_pool_delete(&g_pool);
    os_sleep(1);
    EXPECT_EQ(waited, OS_DELETED);
}

} // namespace
