// Many threads doing random (seeded) kernel work: the kernel neither crashes
// nor stalls, and the same seed gives the same trace.
#include "tests/platform/kernel_test_util.h"

using namespace kernel_test;

namespace {

TX_SEMAPHORE g_sem;
TX_MUTEX g_mutexes[2];
TX_EVENT_FLAGS_GROUP g_flags;
TX_BYTE_POOL g_pool;
TX_TIMER g_timer;
TX_THREAD* g_workers[8];
const int kWorkers = 8;
uint32_t g_seed;

struct Rng {
    uint32_t state;
    uint32_t Next(uint32_t n) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % n;
    }
};

void Note(ULONG id, const char* what, UINT status) {
    Log(std::to_string(tx_time_get()) + " " + std::to_string(id) + " " + what + " " +
        std::to_string(status));
}

void Worker(ULONG id) {
    Rng rng{static_cast<uint32_t>(id * 7919 + 1) ^ g_seed};
    void* blocks[4] = {};
    ULONG held[2] = {0, 0};
    for (int step = 0; step < 150; ++step) {
        uint32_t m = rng.Next(2);
        switch (rng.Next(13)) {
        case 0:
            Note(id, "sleep", tx_thread_sleep(rng.Next(5)));
            break;
        case 1:
            Note(id, "sem get", tx_semaphore_get(&g_sem, rng.Next(4)));
            break;
        case 2:
            Note(id, "sem put", tx_semaphore_put(&g_sem));
            break;
        case 3: {
            UINT s = tx_mutex_get(&g_mutexes[m], rng.Next(6));
            if (s == TX_SUCCESS) ++held[m];
            Note(id, "mutex get", s);
            break;
        }
        case 4:
            if (held[m]) {
                --held[m];
                Note(id, "mutex put", tx_mutex_put(&g_mutexes[m]));
            }
            break;
        case 5: {
            ULONG actual = 0;
            UINT s =
                tx_event_flags_get(&g_flags, 1u << rng.Next(4), rng.Next(4), &actual, rng.Next(5));
            Note(id, "flags get", s);
            break;
        }
        case 6:
            Note(id, "flags set", tx_event_flags_set(&g_flags, 1u << rng.Next(4), TX_OR));
            break;
        case 7: {
            int slot = static_cast<int>(rng.Next(4));
            if (blocks[slot]) {
                Note(id, "release", tx_byte_release(blocks[slot]));
                blocks[slot] = nullptr;
            } else {
                Note(id, "allocate",
                     tx_byte_allocate(&g_pool, &blocks[slot], 16 + rng.Next(400), rng.Next(3)));
            }
            break;
        }
        case 8:
            host::busy_ticks(rng.Next(3));
            break;
        case 9: {
            TX_THREAD* other = g_workers[rng.Next(kWorkers)];
            Note(id, "abort", tx_thread_wait_abort(other));
            break;
        }
        case 10: {
            TX_THREAD* other = g_workers[rng.Next(kWorkers)];
            if (other != tx_thread_identify()) {
                Note(id, "suspend", tx_thread_suspend(other));
                Note(id, "resume", tx_thread_resume(other));
            }
            break;
        }
        case 12:
            host::raise_interrupt([] { tx_semaphore_put(&g_sem); });
            break;
        case 11: {
            UINT old = 0;
            Note(id, "priority",
                 tx_thread_priority_change(tx_thread_identify(), 4 + rng.Next(4), &old));
            break;
        }
        }
    }
    for (int i = 0; i < 2; ++i)
        while (held[i]--)
            tx_mutex_put(&g_mutexes[i]);
    for (void* b : blocks)
        if (b) tx_byte_release(b);
    Note(id, "done", 0);
}

void Define(void*) {
    tx_semaphore_create(&g_sem, "sem", 1);
    tx_mutex_create(&g_mutexes[0], "m0", TX_INHERIT);
    tx_mutex_create(&g_mutexes[1], "m1", TX_NO_INHERIT);
    tx_event_flags_create(&g_flags, "flags");
    tx_byte_pool_create(&g_pool, "pool", host::board_ram_address(0x300000), 2048);
    tx_timer_create(
        &g_timer, "tick", [](ULONG) { tx_event_flags_set(&g_flags, 0x3, TX_OR); }, 0, 3, 3,
        TX_AUTO_ACTIVATE);
    for (ULONG i = 0; i < kWorkers; ++i)
        g_workers[i] = Spawn("worker", 4 + i % 4, Worker, TX_AUTO_START, -1, i % 3, i);
}

Trace RunOnce() {
    Restart(Define, 0);
    tx_thread_sleep(2000);
    ULONG available = 0, fragments = 0;
    tx_byte_pool_info_get(&g_pool, nullptr, &available, &fragments);
    EXPECT_EQ(fragments, 1u); // everything was given back and merged
    EXPECT_EQ(tx_mutex_get(&g_mutexes[0], TX_NO_WAIT), TX_SUCCESS);
    EXPECT_EQ(tx_mutex_get(&g_mutexes[1], TX_NO_WAIT), TX_SUCCESS);
    return Events();
}

TEST(KernelStress, RandomWorkIsSafeAndRepeatable) {
    host::KernelConfig config;
    config.clock = host::ClockMode::Virtual;
    host::kernel_configure(config);
    for (g_seed = 0; g_seed < 10; ++g_seed) {
        Trace first = RunOnce();
        Trace second = RunOnce();
        EXPECT_EQ(first, second) << "seed " << g_seed;
        int done = 0;
        for (const std::string& e : first)
            done += e.find(" done ") != std::string::npos;
        EXPECT_EQ(done, kWorkers) << "seed " << g_seed;
    }
}

} // namespace

namespace {

TEST(KernelStress, RandomWorkOnTheRealClockIsSafe) {
    host::KernelConfig config;
    config.clock = host::ClockMode::Real;
    // 2,000 ticks per host second: the workers get a whole host second to
    // finish even on a loaded machine, where host threads wait their turn.
    config.speed = 20.0;
    host::kernel_configure(config);
    for (g_seed = 0; g_seed < 3; ++g_seed) {
        Trace trace = RunOnce();
        int done = 0;
        for (const std::string& e : trace)
            done += e.find(" done ") != std::string::npos;
        EXPECT_EQ(done, kWorkers) << "seed " << g_seed;
    }
}

} // namespace
