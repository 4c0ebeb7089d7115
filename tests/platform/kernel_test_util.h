// Helpers of the kernel tests: a fresh kernel on the virtual clock per test,
// threads spawned from plain functions, and an event log to compare.
#pragma once

#include "platform/kernel/host.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kernel_test {

using Trace = std::vector<std::string>;

inline Trace& Events() {
    static Trace events;
    return events;
}

inline void Log(const std::string& event) {
    Events().push_back(event);
}

const int kMaxThreads = 16;
const ULONG kStackBytes = 1024;

struct ThreadSlots {
    TX_THREAD cb[kMaxThreads];
    uint8_t stack[kMaxThreads][kStackBytes];
    int used = 0;
};

inline ThreadSlots& Slots() {
    static ThreadSlots slots;
    return slots;
}

// Create a thread; the threshold defaults to its priority (none).
inline TX_THREAD* Spawn(const char* name, UINT priority, tx_entry_fn entry,
                        UINT start = TX_AUTO_START, int threshold = -1, ULONG slice = 0,
                        ULONG input = 0) {
    ThreadSlots& s = Slots();
    if (s.used >= kMaxThreads) {
        ADD_FAILURE() << "too many threads";
        return nullptr;
    }
    int i = s.used++;
    UINT t = threshold < 0 ? priority : static_cast<UINT>(threshold);
    UINT status = tx_thread_create(&s.cb[i], name, entry, input, s.stack[i], kStackBytes, priority,
                                   t, slice, start);
    EXPECT_EQ(status, TX_SUCCESS) << name;
    return &s.cb[i];
}

// Start (or start afresh) the kernel with the test body as thread "test".
inline void Restart(void (*define)(void*) = nullptr, UINT priority = 0) {
    Events().clear();
    Slots().used = 0;
    host::set_switch_hook(nullptr);
    host::kernel_start_for_test(define, priority);
}

class KernelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        host::KernelConfig config;
        config.clock = host::ClockMode::Virtual;
        host::kernel_configure(config);
        Restart();
    }
};

} // namespace kernel_test
