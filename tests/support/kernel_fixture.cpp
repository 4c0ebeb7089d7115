#include "tests/support/kernel_fixture.h"

#include "console/console_output.h"
#include "runtime/os.h"
#include "runtime/pools.h"
#include "runtime/timer_scheduler.h"

namespace test_support {

namespace {

std::string& console_buffer() {
    static std::string text;
    return text;
}

void capture(const char* text) {
    console_buffer() += text;
}

} // namespace

const std::string& ConsoleText() {
    return console_buffer();
}
void ClearConsole() {
    console_buffer().clear();
}
void CaptureConsole() {
    console_set_host_sink(capture);
}

namespace {
uint8_t* g_free_ram = nullptr;
}

uint8_t* FreeRam() {
    return g_free_ram;
}

void define_pools(void* first_unused) {
    uint8_t* cursor = static_cast<uint8_t*>(first_unused);
    create_shared_kernel_objects(&cursor);
    g_free_ram = cursor;
    global_timer_scheduler() = timer_scheduler_tx_rtos::instance();
}

void KernelFixture::SetUp() {
    CaptureConsole();
    host::KernelConfig config;
    config.clock = host::ClockMode::Virtual;
    host::kernel_configure(config);
    host::kernel_start_for_test(define_pools, TestPriority());
}

} // namespace test_support
