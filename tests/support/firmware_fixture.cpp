#include "tests/support/firmware_fixture.h"

#include "platform/board/board.h"
#include "platform/field/field.h"
#include "platform/monitor/monitor_host.h"
#include "startup/startup.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

namespace test_support {

bool BootFirmware(const std::string& state_dir, const std::function<void()>& prepare, UINT priority,
                  std::string& error) {
    // The firmware's long-lived objects (the store with its images, the
    // tasks, the peripheral list, the panel's manager) are built once and
    // live as long as the program, as on the sign, whose restart starts the
    // program again. A second boot here would reuse them: the store's images
    // would still hold block addresses in the previous boot's dynamic pool.
    static bool booted = false;
    if (booted) {
        error = "the firmware boots once per process: run one firmware test per process "
                "(ctest does), or boot again in a child (BootInChild)";
        return false;
    }
    booted = true;
    CaptureConsole();
    ClearConsole();
    host::HostOptions& options = host::host_options();
    options.state_dir = state_dir;
    host::KernelConfig config;
    config.clock = host::ClockMode::Virtual;
    host::kernel_configure(config);
    if (!host::board_start(options, error) || !host::field_start(options, error) ||
        !host::monitor_start(options, error))
        return false;
    host::monitor_console_capture(true);
    if (prepare) prepare();
    firmware_construct();
    host::kernel_start_for_test(tx_application_define, priority);
    return true;
}

bool BootAfterPowerOff(const std::string& state_dir, const std::function<void()>& before_cut,
                       uint32_t off_seconds, std::string& error) {
    pid_t child = fork();
    if (child < 0) {
        error = "cannot fork the first boot";
        return false;
    }
    if (child == 0) {
        std::string ignored;
        if (!BootFirmware(
                state_dir, [] { host::monitor_set_restart_callback([](int) {}); }, 0, ignored))
            _exit(99);
        if (before_cut) before_cut();
        _exit(0);
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        error = "the first boot failed";
        return false;
    }
    if (!host::board_power_off(state_dir, off_seconds)) {
        error = "no board clock in " + state_dir;
        return false;
    }
    return BootFirmware(
        state_dir, [] { host::monitor_set_restart_callback([](int) {}); }, 0, error);
}

int BootInChild(const std::string& state_dir, const std::function<int()>& body,
                ULONG settle_ticks) {
    pid_t child = fork();
    if (child == 0) {
        std::string error;
        auto prepare = [] { host::monitor_set_restart_callback([](int) { _exit(0); }); };
        if (!BootFirmware(state_dir, prepare, 0, error)) _exit(BOOT_IN_CHILD_FAILED);
        tx_thread_sleep(settle_ticks);
        _exit(body());
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return 255;
    return WEXITSTATUS(status);
}

void FirmwareFixture::SetUp() {
    char pattern[] = "/tmp/sign-test-XXXXXX";
    const char* dir = mkdtemp(pattern);
    ASSERT_NE(nullptr, dir);
    state_dir_ = dir;
    host::host_options().state_dir = state_dir_;
    Configure(host::host_options());
    std::string error;
    ASSERT_TRUE(BootFirmware(
        state_dir_, [this] { Prepare(); }, TestPriority(), error))
        << error;
}

void FirmwareFixture::TearDown() {
    host::field_stop();
    std::error_code ignored;
    std::filesystem::remove_all(state_dir_, ignored);
}

namespace {
std::atomic<int> g_restarts{0};
}

void RestartCountingFixture::Prepare() {
    g_restarts = 0;
    host::monitor_set_restart_callback([](int) { g_restarts++; });
}

void RestartCountingFixture::TearDown() {
    host::monitor_set_restart_callback(nullptr);
    FirmwareFixture::TearDown();
}

int RestartCountingFixture::Restarts() {
    return g_restarts.load();
}

} // namespace test_support
