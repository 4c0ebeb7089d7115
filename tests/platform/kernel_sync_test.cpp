// Mutexes, semaphores, event flags and waits.
#include "tests/platform/kernel_test_util.h"

using namespace kernel_test;

namespace {

class KernelSync : public KernelTest {};

UINT PriorityOf(TX_THREAD* t) {
    UINT priority = 0;
    tx_thread_info_get(t, nullptr, nullptr, &priority);
    return priority;
}

UINT StateOf(TX_THREAD* t) {
    UINT state = 0;
    tx_thread_info_get(t, nullptr, &state, nullptr);
    return state;
}

TX_MUTEX g_mutex;

void HoldMutexTenTicks(ULONG) {
    tx_mutex_get(&g_mutex, TX_WAIT_FOREVER);
    tx_thread_sleep(10);
    Log("low releases");
    tx_mutex_put(&g_mutex);
}

void WantMutex(ULONG) {
    tx_thread_sleep(1);
    tx_mutex_get(&g_mutex, TX_WAIT_FOREVER);
    Log("high got it");
    tx_mutex_put(&g_mutex);
}

TEST_F(KernelSync, PriorityInheritanceLiftsTheOwner) {
    for (UINT inherit : {TX_INHERIT, TX_NO_INHERIT}) {
        Restart();
        ASSERT_EQ(tx_mutex_create(&g_mutex, "m", inherit), TX_SUCCESS);
        TX_THREAD* low = Spawn("low", 20, HoldMutexTenTicks);
        Spawn("high", 5, WantMutex);
        tx_thread_sleep(2); // high now waits for the mutex
        EXPECT_EQ(PriorityOf(low), inherit ? 5u : 20u);
        // A mid-priority thread that computes from tick 2 to 30 starves an
        // owner that was not lifted.
        Spawn("mid", 10, [](ULONG) {
            host::busy_ticks(28);
            Log("mid done");
        });
        tx_thread_sleep(40);
        Trace expected = inherit ? Trace{"low releases", "high got it", "mid done"}
                                 : Trace{"mid done", "low releases", "high got it"};
        EXPECT_EQ(Events(), expected) << "inherit " << inherit;
        EXPECT_EQ(PriorityOf(low), 20u);
    }
}

TEST_F(KernelSync, InheritedPriorityFallsBackWhenTheWaiterGivesUp) {
    ASSERT_EQ(tx_mutex_create(&g_mutex, "m", TX_INHERIT), TX_SUCCESS);
    TX_THREAD* low = Spawn("low", 20, HoldMutexTenTicks);
    Spawn("high", 5, [](ULONG) {
        tx_thread_sleep(1);
        Log(std::to_string(tx_mutex_get(&g_mutex, 3)));
    });
    tx_thread_sleep(2);
    EXPECT_EQ(PriorityOf(low), 5u);
    tx_thread_sleep(3); // high's wait ran out at tick 4
    EXPECT_EQ(Events(), (Trace{std::to_string(TX_NOT_AVAILABLE)}));
    EXPECT_EQ(PriorityOf(low), 20u);
}

TEST_F(KernelSync, RecursiveMutexNeedsAsManyPutsAsGets) {
    ASSERT_EQ(tx_mutex_create(&g_mutex, "m", TX_NO_INHERIT), TX_SUCCESS);
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(tx_mutex_get(&g_mutex, TX_NO_WAIT), TX_SUCCESS);
    TX_THREAD* other = Spawn("other", 5, [](ULONG) {
        Log(std::to_string(tx_mutex_get(&g_mutex, TX_NO_WAIT)));
        tx_mutex_get(&g_mutex, TX_WAIT_FOREVER);
        Log("other owns it");
        tx_mutex_put(&g_mutex);
    });
    tx_thread_sleep(1);
    EXPECT_EQ(Events(), (Trace{std::to_string(TX_NOT_AVAILABLE)}));
    EXPECT_EQ(tx_mutex_put(&g_mutex), TX_SUCCESS);
    EXPECT_EQ(tx_mutex_put(&g_mutex), TX_SUCCESS);
    EXPECT_EQ(StateOf(other), TX_MUTEX_SUSP);
    EXPECT_EQ(tx_mutex_put(&g_mutex), TX_SUCCESS);
    EXPECT_EQ(StateOf(other), TX_READY);
    EXPECT_EQ(tx_mutex_put(&g_mutex), TX_NOT_OWNED);
    tx_thread_sleep(1);
    EXPECT_EQ(Events().back(), "other owns it");
}

TEST_F(KernelSync, MutexPutByANonOwnerIsRefused) {
    ASSERT_EQ(tx_mutex_create(&g_mutex, "m", TX_NO_INHERIT), TX_SUCCESS);
    EXPECT_EQ(tx_mutex_put(&g_mutex), TX_NOT_OWNED);
    ASSERT_EQ(tx_mutex_get(&g_mutex, TX_NO_WAIT), TX_SUCCESS);
    Spawn("other", 5, [](ULONG) { Log(std::to_string(tx_mutex_put(&g_mutex))); });
    tx_thread_sleep(1);
    EXPECT_EQ(Events(), (Trace{std::to_string(TX_NOT_OWNED)}));
}

TEST_F(KernelSync, MutexGoesToTheHighestPriorityWaiter) {
    ASSERT_EQ(tx_mutex_create(&g_mutex, "m", TX_NO_INHERIT), TX_SUCCESS);
    ASSERT_EQ(tx_mutex_get(&g_mutex, TX_NO_WAIT), TX_SUCCESS);
    auto waiter = [](ULONG) {
        tx_mutex_get(&g_mutex, TX_WAIT_FOREVER);
        Log(tx_thread_identify()->name);
        tx_mutex_put(&g_mutex);
    };
    Spawn("w20", 20, waiter);
    Spawn("w10", 10, waiter);
    Spawn("w15", 15, waiter);
    tx_thread_sleep(1);
    tx_mutex_put(&g_mutex);
    tx_thread_sleep(1);
    EXPECT_EQ(Events(), (Trace{"w10", "w15", "w20"}));
}

TX_SEMAPHORE g_semaphore;

void TakeSemaphore(ULONG wait) {
    UINT status = tx_semaphore_get(&g_semaphore, wait);
    Log(std::string(tx_thread_identify()->name) + " " + std::to_string(status) + " @" +
        std::to_string(tx_time_get()));
}

TEST_F(KernelSync, SemaphoreCountsAndWakesInArrivalOrder) {
    ASSERT_EQ(tx_semaphore_create(&g_semaphore, "s", 1), TX_SUCCESS);
    Spawn("a", 10, TakeSemaphore, TX_AUTO_START, -1, 0, TX_WAIT_FOREVER); // takes the count
    Spawn("b", 10, TakeSemaphore, TX_AUTO_START, -1, 0, TX_WAIT_FOREVER);
    Spawn("c", 5, TakeSemaphore, TX_AUTO_START, -1, 0, TX_WAIT_FOREVER);
    Spawn("d", 10, TakeSemaphore, TX_AUTO_START, -1, 0, 7);
    tx_thread_sleep(1);
    EXPECT_EQ(Events(), (Trace{"c 0 @0"}));
    tx_semaphore_put(&g_semaphore);
    tx_semaphore_put(&g_semaphore);
    tx_thread_sleep(10);
    EXPECT_EQ(Events(),
              (Trace{"c 0 @0", "a 0 @1", "b 0 @1", "d " + std::to_string(TX_NO_INSTANCE) + " @7"}));
    ULONG count = 99;
    const char* name = nullptr;
    EXPECT_EQ(tx_semaphore_info_get(&g_semaphore, &name, &count), TX_SUCCESS);
    EXPECT_EQ(count, 0u);
    EXPECT_STREQ(name, "s");
}

TEST_F(KernelSync, WaitAbortEndsAWaitWithWaitAborted) {
    ASSERT_EQ(tx_semaphore_create(&g_semaphore, "s", 0), TX_SUCCESS);
    TX_THREAD* waiter = Spawn("waiter", 5, TakeSemaphore, TX_AUTO_START, -1, 0, TX_WAIT_FOREVER);
    TX_THREAD* sleeper = Spawn("sleeper", 5, [](ULONG) {
        UINT status = tx_thread_sleep(1000);
        Log("slept " + std::to_string(status) + " @" + std::to_string(tx_time_get()));
    });
    tx_thread_sleep(3);
    EXPECT_EQ(tx_thread_wait_abort(waiter), TX_SUCCESS);
    EXPECT_EQ(tx_thread_wait_abort(sleeper), TX_SUCCESS);
    tx_thread_sleep(1);
    EXPECT_EQ(Events(), (Trace{"waiter 24 @3", "slept 24 @3"}));
    EXPECT_EQ(tx_thread_wait_abort(waiter), TX_WAIT_ABORT_ERROR); // completed, not waiting
}

TEST_F(KernelSync, DeletingAnObjectWakesItsWaitersWithDeleted) {
    static TX_EVENT_FLAGS_GROUP group;
    ASSERT_EQ(tx_semaphore_create(&g_semaphore, "s", 0), TX_SUCCESS);
    ASSERT_EQ(tx_mutex_create(&g_mutex, "m", TX_INHERIT), TX_SUCCESS);
    ASSERT_EQ(tx_event_flags_create(&group, "g"), TX_SUCCESS);
    ASSERT_EQ(tx_mutex_get(&g_mutex, TX_NO_WAIT), TX_SUCCESS);
    Spawn("s", 5, [](ULONG) {
        Log("s " + std::to_string(tx_semaphore_get(&g_semaphore, TX_WAIT_FOREVER)));
    });
    Spawn("m", 5,
          [](ULONG) { Log("m " + std::to_string(tx_mutex_get(&g_mutex, TX_WAIT_FOREVER))); });
    Spawn("f", 5, [](ULONG) {
        ULONG actual;
        Log("f " + std::to_string(tx_event_flags_get(&group, 1, TX_OR, &actual, TX_WAIT_FOREVER)));
    });
    tx_thread_sleep(1);
    EXPECT_EQ(tx_semaphore_delete(&g_semaphore), TX_SUCCESS);
    EXPECT_EQ(tx_mutex_delete(&g_mutex), TX_SUCCESS);
    EXPECT_EQ(tx_event_flags_delete(&group), TX_SUCCESS);
    tx_thread_sleep(1);
    EXPECT_EQ(Events(), (Trace{"s 1", "m 1", "f 1"}));
    EXPECT_EQ(tx_semaphore_get(&g_semaphore, TX_NO_WAIT), TX_SEMAPHORE_ERROR);
    EXPECT_EQ(tx_mutex_put(&g_mutex), TX_MUTEX_ERROR);
    EXPECT_EQ(tx_event_flags_set(&group, 1, TX_OR), TX_GROUP_ERROR);
    // The control blocks can be used again.
    EXPECT_EQ(tx_semaphore_create(&g_semaphore, "s", 0), TX_SUCCESS);
}

TEST_F(KernelSync, ObjectsCreatedTwiceOrNeverAreRefused) {
    TX_SEMAPHORE s{};
    TX_MUTEX m{};
    TX_EVENT_FLAGS_GROUP g{};
    EXPECT_EQ(tx_semaphore_get(&s, TX_NO_WAIT), TX_SEMAPHORE_ERROR);
    EXPECT_EQ(tx_mutex_get(&m, TX_NO_WAIT), TX_MUTEX_ERROR);
    EXPECT_EQ(tx_mutex_create(&m, "m", 2), TX_INHERIT_ERROR);
    ASSERT_EQ(tx_semaphore_create(&s, "s", 0), TX_SUCCESS);
    ASSERT_EQ(tx_mutex_create(&m, "m", 0), TX_SUCCESS);
    ASSERT_EQ(tx_event_flags_create(&g, "g"), TX_SUCCESS);
    EXPECT_EQ(tx_semaphore_create(&s, "s", 0), TX_SEMAPHORE_ERROR);
    EXPECT_EQ(tx_mutex_create(&m, "m", 0), TX_MUTEX_ERROR);
    EXPECT_EQ(tx_event_flags_create(&g, "g"), TX_GROUP_ERROR);
    EXPECT_EQ(tx_event_flags_create(nullptr, "g"), TX_GROUP_ERROR);
}

TX_EVENT_FLAGS_GROUP g_group;

TEST_F(KernelSync, EventFlagOptions) {
    struct Case {
        ULONG present;
        ULONG requested;
        UINT option;
        UINT status;
        ULONG left; // flags afterwards
    } cases[] = {
        {0x5, 0x1, TX_OR, TX_SUCCESS, 0x5},        {0x5, 0x3, TX_OR, TX_SUCCESS, 0x5},
        {0x5, 0x2, TX_OR, TX_NO_EVENTS, 0x5},      {0x5, 0x3, TX_OR_CLEAR, TX_SUCCESS, 0x4},
        {0x5, 0x5, TX_AND, TX_SUCCESS, 0x5},       {0x5, 0x3, TX_AND, TX_NO_EVENTS, 0x5},
        {0x7, 0x3, TX_AND_CLEAR, TX_SUCCESS, 0x4}, {0x5, 0x3, TX_AND_CLEAR, TX_NO_EVENTS, 0x5},
        {0x5, 0x1, 4, TX_OPTION_ERROR, 0x5},
    };
    for (const Case& c : cases) {
        TX_EVENT_FLAGS_GROUP group{};
        ASSERT_EQ(tx_event_flags_create(&group, "g"), TX_SUCCESS);
        tx_event_flags_set(&group, c.present, TX_OR);
        ULONG actual = 0;
        EXPECT_EQ(tx_event_flags_get(&group, c.requested, c.option, &actual, TX_NO_WAIT), c.status)
            << std::hex << c.present << " " << c.requested << " " << c.option;
        if (c.status == TX_SUCCESS) {
            EXPECT_EQ(actual, c.present);
        }
        ULONG left = 0;
        tx_event_flags_get(&group, 0xFFFFFFFF, TX_OR, &left, TX_NO_WAIT);
        EXPECT_EQ(left, c.left);
        tx_event_flags_delete(&group);
    }
}

TEST_F(KernelSync, EventFlagSetAndKeepsOnlyTheGivenBits) {
    ASSERT_EQ(tx_event_flags_create(&g_group, "g"), TX_SUCCESS);
    tx_event_flags_set(&g_group, 0xF0F0, TX_OR);
    EXPECT_EQ(tx_event_flags_set(&g_group, 0x00FF, TX_AND), TX_SUCCESS);
    ULONG actual = 0;
    tx_event_flags_get(&g_group, 0xFFFFFFFF, TX_OR, &actual, TX_NO_WAIT);
    EXPECT_EQ(actual, 0x00F0u);
    EXPECT_EQ(tx_event_flags_set(&g_group, 1, TX_OR_CLEAR), TX_OPTION_ERROR);
}

TEST_F(KernelSync, EventFlagWaitersWakeWhenTheirConditionHolds) {
    ASSERT_EQ(tx_event_flags_create(&g_group, "g"), TX_SUCCESS);
    auto waiter = [](ULONG option) {
        ULONG actual = 0;
        UINT status = tx_event_flags_get(&g_group, 0x3, static_cast<UINT>(option), &actual, 50);
        Log(std::string(tx_thread_identify()->name) + " " + std::to_string(status) + " " +
            std::to_string(actual) + " @" + std::to_string(tx_time_get()));
    };
    Spawn("and", 5, waiter, TX_AUTO_START, -1, 0, TX_AND_CLEAR);
    Spawn("or", 5, waiter, TX_AUTO_START, -1, 0, TX_OR);
    tx_thread_sleep(10);
    tx_event_flags_set(&g_group, 0x1, TX_OR); // wakes "or" only
    tx_thread_sleep(10);
    tx_event_flags_set(&g_group, 0x2, TX_OR); // wakes "and", which clears both bits
    tx_thread_sleep(1);
    EXPECT_EQ(Events(), (Trace{"or 0 1 @10", "and 0 3 @20"}));
    ULONG left = 0;
    EXPECT_EQ(tx_event_flags_get(&g_group, 0x3, TX_OR, &left, TX_NO_WAIT), TX_NO_EVENTS);
}

TEST_F(KernelSync, EventFlagWaitRunsOut) {
    ASSERT_EQ(tx_event_flags_create(&g_group, "g"), TX_SUCCESS);
    ULONG actual = 0;
    EXPECT_EQ(tx_event_flags_get(&g_group, 0x1, TX_OR, &actual, 25), TX_NO_EVENTS);
    EXPECT_EQ(tx_time_get(), 25u);
}

} // namespace
