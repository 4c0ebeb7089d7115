#include "tests/support/firmware_fixture.h"

#include "platform/board/board.h"
#include "platform/monitor/monitor_host.h"
#include "runtime/startup.h"

#include <cstdlib>
#include <filesystem>

namespace test_support {

void FirmwareFixture::SetUp() {
    CaptureConsole();
    ClearConsole();
    char pattern[] = "/tmp/sign-test-XXXXXX";
    const char* dir = mkdtemp(pattern);
    ASSERT_NE(nullptr, dir);
    state_dir_ = dir;

    host::HostOptions& options = host::host_options();
    options.state_dir = state_dir_;
    Configure(options);
    host::KernelConfig config;
    config.clock = host::ClockMode::Virtual;
    host::kernel_configure(config);
    std::string error;
    ASSERT_TRUE(host::board_start(options, error)) << error;
    ASSERT_TRUE(host::monitor_start(options, error)) << error;
    host::monitor_console_capture(true);
    Prepare();
    firmware_construct();
    host::kernel_start_for_test(tx_application_define, TestPriority());
}

void FirmwareFixture::TearDown() {
    std::error_code ignored;
    std::filesystem::remove_all(state_dir_, ignored);
}

} // namespace test_support
