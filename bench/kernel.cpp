// Kernel figures: thread switches per second (semaphore ping-pong between two
// threads) and host time for one simulated hour of the seven application
// tasks at their periods.
#include "platform/kernel/host.h"

#include <benchmark/benchmark.h>

#include <cstdint>

namespace {

TX_SEMAPHORE g_ping, g_pong;
TX_THREAD g_partner;
uint8_t g_partner_stack[4096];

void Partner(ULONG) {
    for (;;) {
        tx_semaphore_get(&g_ping, TX_WAIT_FOREVER);
        tx_semaphore_put(&g_pong);
    }
}

void StartKernel() {
    host::KernelConfig config;
    config.clock = host::ClockMode::Virtual;
    host::kernel_configure(config);
    host::kernel_start_for_test(nullptr, 0);
}

// Each round trip is two switches: to the partner and back.
void BM_SemaphorePingPong(benchmark::State& state) {
    StartKernel();
    tx_semaphore_create(&g_ping, "ping", 0);
    tx_semaphore_create(&g_pong, "pong", 0);
    tx_thread_create(&g_partner, "partner", Partner, 0, g_partner_stack, sizeof g_partner_stack, 1,
                     1, 0, TX_AUTO_START);
    for (auto _ : state) {
        tx_semaphore_put(&g_ping);
        tx_semaphore_get(&g_pong, TX_WAIT_FOREVER);
    }
    state.counters["switches/s"] = benchmark::Counter(2.0 * static_cast<double>(state.iterations()),
                                                      benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SemaphorePingPong)->UseRealTime();

// The application tasks as the task base runs them: a periodic timer sets flag
// 0x4 in the task's group; the thread waits for it and takes one step.
struct Task {
    const char* name;
    UINT priority;
    ULONG time_slice;
    ULONG first_tick;
    ULONG period;
    TX_THREAD thread;
    TX_TIMER timer;
    TX_EVENT_FLAGS_GROUP flags;
    uint8_t stack[2048];
    uint32_t steps;
};

Task g_tasks[] = {
    {"Watchdog", 1, 0, 1, 50, {}, {}, {}, {}, 0},
    {"Database", 4, 0, 200, 100, {}, {}, {}, {}, 0},
    {"Display", 2, 1, 150, 10, {}, {}, {}, {}, 0},
    {"Schedule", 2, 0, 100, 50, {}, {}, {}, {}, 0},
    {"Peripheral", 2, 0, 10, 50, {}, {}, {}, {}, 0},
    {"Monitor", 2, 0, 200, 10, {}, {}, {}, {}, 0},
    {"Communication", 2, 0, 1000, 200, {}, {}, {}, {}, 0},
};

void TaskTimer(ULONG index) {
    tx_event_flags_set(&g_tasks[index].flags, 0x4, TX_OR);
}

void TaskThread(ULONG index) {
    Task& task = g_tasks[index];
    for (;;) {
        ULONG actual;
        tx_event_flags_get(&task.flags, 0x4, TX_OR_CLEAR, &actual, TX_WAIT_FOREVER);
        ++task.steps;
    }
}

void DefineTasks(void*) {
    for (ULONG i = 0; i < sizeof g_tasks / sizeof g_tasks[0]; ++i) {
        Task& t = g_tasks[i];
        t.steps = 0;
        tx_event_flags_create(&t.flags, t.name);
        tx_thread_create(&t.thread, t.name, TaskThread, i, t.stack, sizeof t.stack, t.priority,
                         t.priority, t.time_slice, TX_AUTO_START);
        tx_timer_create(&t.timer, t.name, TaskTimer, i, t.first_tick, t.period, TX_AUTO_ACTIVATE);
    }
}

void BM_SimulatedHourOfSevenTasks(benchmark::State& state) {
    const ULONG hour = 60 * 60 * 100;
    uint64_t steps = 0;
    for (auto _ : state) {
        host::KernelConfig config;
        config.clock = host::ClockMode::Virtual;
        host::kernel_configure(config);
        host::kernel_start_for_test(DefineTasks, 0);
        tx_thread_sleep(hour);
        for (const Task& t : g_tasks)
            steps += t.steps;
    }
    state.counters["task steps/hour"] =
        benchmark::Counter(static_cast<double>(steps) / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_SimulatedHourOfSevenTasks)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

} // namespace
