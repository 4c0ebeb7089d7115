// Shared fixtures of the test programs.
//
// KernelFixture: the kernel on the virtual clock, the "thread stacks" and
// "dynamic database" pools over board RAM, the "database" event flags and the
// timer scheduler; the test body runs as a kernel thread (priority 0 by
// default), and tx_thread_sleep(n) lets n ticks of virtual time pass.
//
// Console output (console_printf / trace_printf) is captured for every
// fixture: ConsoleText() holds everything shown since the test began.
#pragma once

#include "platform/kernel/host.h"

#include <gtest/gtest.h>

#include <string>

namespace test_support {

// Everything the console showed since the last ClearConsole().
const std::string& ConsoleText();
void ClearConsole();
// Install the capturing console sink (every fixture does it).
void CaptureConsole();

// Board RAM carved by the light fixture for the two pools.
void define_pools(void* first_unused);
// The first board RAM address after the light fixture's pools.
uint8_t* FreeRam();

class KernelFixture : public ::testing::Test {
  protected:
    void SetUp() override;
    // Priority of the test body's kernel thread.
    virtual UINT TestPriority() const { return 0; }
};

} // namespace test_support
