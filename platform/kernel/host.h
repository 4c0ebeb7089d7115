// Host side of the kernel: what the host program, the device models and the
// tests use to run the simulated processor. Firmware code never includes this.
#pragma once

#include "platform/kernel/kernel.h"

#include <cstddef>
#include <cstdint>
#include <functional>

namespace host {

enum class ClockMode { Real, Virtual };

struct KernelConfig {
    ClockMode clock = ClockMode::Virtual;
    double speed = 1.0;                 // real clock only: simulated seconds per host second
    size_t board_ram_bytes = 32u << 20; // mapped below 4 GB
};

// Prepare the kernel (board RAM, clock). Called once per process before start.
void kernel_configure(const KernelConfig& config);

// Board RAM: one block below 4 GB. A board address (offset from the start of
// RAM, as the firmware's fixed addresses are) to a host pointer.
uint8_t* board_ram_base();
size_t board_ram_size();
void* board_ram_address(uint32_t board_offset);

// Tests: run `define` in start-up context (as tx_application_define would be
// run, with the first free address), then adopt the calling host thread as a
// kernel thread named "test" at `priority`, and return. From then on the test
// body runs as a kernel thread: tx_thread_sleep(n) lets n ticks of virtual time
// pass while the firmware runs.
// Calling it again in the same process starts afresh: every object of the
// previous run is forgotten (its threads never run again), time is 0 and board
// RAM is cleared.
void kernel_start_for_test(void (*define)(void* first_unused), UINT priority = 0);

// The first free address handed to tx_application_define is board RAM base +
// this offset.
const uint32_t kFirstFreeOffset = 0x100000;

// Test helpers, called from a kernel thread (the test body):
// let `ticks` ticks pass while the firmware runs (the caller sleeps);
void run_for_ticks(ULONG ticks);
// let every thread that can run now run until all of them wait, without
// letting time pass (interrupts raised meanwhile are taken);
void run_until_idle();
// keep the processor busy for `ticks` ticks of virtual time, as a long
// computation would: expiries fire, time slices run out and the caller is
// preempted or round-robined as on the board (virtual clock only).
void busy_ticks(ULONG ticks);
// the host kept the processor from running for `ticks` ticks of clock time,
// as a stopped (Ctrl-Z) or overloaded host does on the real clock: the clock
// has moved on, and the kernel catches up tick by tick with the threads
// running in between, as it does on the real clock (virtual clock only; the
// catch-up is bounded by ten seconds, the rest is given up);
void hold_processor(ULONG ticks);
// Observe every dispatch: called with the tick and the thread's name each time
// a thread is given the processor. The hook must not call the kernel.
void set_switch_hook(std::function<void(uint64_t tick, const char* thread)> hook);

// Host program: the same start with the firmware's tx_application_define;
// the calling thread then idles for ever (tx_kernel_enter does this).

// The current time in ticks as the one clock of the platform sees it
// (the same value as tx_time_get without tx_time_set's adjustment, callable
// from any host thread). On the real clock it follows the host clock scaled
// by the speed, less any lag given up after a host pause.
uint64_t clock_ticks();

// Device models and host I/O threads.
//
// Raise an interrupt: `handler` runs in interrupt context, with the processor,
// as soon as the interrupt lock is free. Callable from any host thread or from
// kernel context; never dropped.
void raise_interrupt(std::function<void()> handler);

// A host socket the processor watches itself, so that what arrives on it
// reaches the firmware without a hand-over between host threads: the idle
// sleep includes `fd`, and on the real clock each tick looks at it too (a busy
// processor takes it within a tick). When `fd` is readable, `ready` runs once
// in interrupt context and must take what it wants without blocking; the fd
// is watched again after it returns. Only on the real clock: false on the
// virtual clock (the caller then watches the socket from a host thread, so
// that the clock stands still while it is pending).
bool watch_while_idle(int fd, std::function<void()> ready);
// Called before the fd is closed, from a kernel thread or start-up.
void unwatch_while_idle(int fd);

// Host output the processor may hold back while the threads at work go on,
// so that what they produce leaves in one system call: `flush` runs once,
// with the processor (no kernel service, nothing that blocks), before the
// processor goes idle or is given to a thread of lower priority than both
// the caller and `priority` (the reader at the far end of the work). The
// same `flush` named again before it ran runs once. Callable from a kernel
// thread only: false elsewhere, and the caller sends at once.
bool hold_output(UINT priority, void (*flush)());
// The calling kernel thread's priority (the lowest value on a host thread or
// outside a thread).
UINT current_priority();

// A device event at an absolute tick: the virtual clock jumps to it when every
// thread waits; `handler` runs in interrupt context. Returns an id to cancel.
uint64_t schedule_device_event(uint64_t at_tick, std::function<void()> handler);
void cancel_device_event(uint64_t id);

// Outside-world activity pending on the host (sockets, pseudo-terminals): while
// any is outstanding the virtual clock does not jump ahead, so that a host
// client gets its answer before simulated time moves on.
void host_activity_begin();
void host_activity_end();

} // namespace host
