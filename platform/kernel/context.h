// Execution contexts of the simulated processor: every kernel thread runs on
// a stack of its own on the one processor host thread, and a switch saves and
// restores registers and the stack pointer in user space (a few instructions
// on x86-64; ucontext elsewhere). AddressSanitizer is told of every switch.
// Not for use outside platform/kernel.
#pragma once

#include <cstddef>
#include <cstdint>

#if !defined(__x86_64__)
#include <ucontext.h>
#endif

namespace kernel {

struct Context {
#if defined(__x86_64__)
    void* sp = nullptr; // saved stack pointer while not running
#else
    ucontext_t uc;
#endif
    // The stack mapping (null for the host thread's own stack), guard page first.
    uint8_t* mapping = nullptr;
    size_t mapping_size = 0;
    // Usable stack bounds, as AddressSanitizer needs them (learnt at the first
    // switch away for the host thread's own stack).
    const void* stack_bottom = nullptr;
    size_t stack_size = 0;
    void* fake_stack = nullptr; // AddressSanitizer's bookkeeping while switched away
};

// Prepare `c` to run `entry(arg)` on a new stack of at least `stack_bytes`
// with an inaccessible guard page below it. `entry` must never return.
bool context_make(Context* c, size_t stack_bytes, void (*entry)(void*), void* arg);
// Save the running context in `from` and resume `to`; returns when `from` is
// resumed. With `from_ends` set, `from` is never resumed.
void context_switch(Context* from, Context* to, bool from_ends = false);
// Release the stack of a context that will never run again (not the running one).
void context_free(Context* c);

} // namespace kernel
