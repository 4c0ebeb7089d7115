// sign-controller: the field controller's firmware as one host program.
// Parses the host options, prepares the state directory, builds the board and
// the boot monitor, starts the kernel on the real clock and enters the firmware.
#include "console/console_output.h"
#include "platform/board/board.h"
#include "platform/host_options.h"
#include "platform/kernel/host.h"
#include "platform/monitor/monitor_host.h"
#include "runtime/startup.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

void copy_console_to_stderr(const char* text) {
    std::fputs(text, stderr);
}

void print_notice(const char* text) {
    std::printf("sign-controller: %s", text);
    std::fflush(stdout);
}

bool wants_help(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) return true;
    return false;
}

// Create the state directory and make its path absolute, so that a restart
// (re-execution) and every file inside it are found the same way.
bool prepare_state_directory(host::HostOptions& options) {
    std::error_code ec;
    std::filesystem::create_directories(options.state_dir, ec);
    if (ec) {
        std::fprintf(stderr, "sign-controller: cannot create the state directory %s: %s\n",
                     options.state_dir.c_str(), ec.message().c_str());
        return false;
    }
    options.state_dir =
        std::filesystem::absolute(options.state_dir, ec).lexically_normal().string();
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (wants_help(argc, argv)) {
        std::fputs(host::host_options_usage(), stdout);
        return 0;
    }
    host::HostOptions& options = host::host_options();
    std::string error;
    if (!host::parse_host_options(argc, argv, options, error)) {
        std::fprintf(stderr, "sign-controller: %s\n%s", error.c_str(), host::host_options_usage());
        return 2;
    }
    if (!prepare_state_directory(options)) return 1;
    std::printf("sign-controller: state directory %s\n", options.state_dir.c_str());
    std::fflush(stdout);

    host::KernelConfig config;
    config.clock = host::ClockMode::Real;
    config.speed = options.speed;
    host::kernel_configure(config);
    if (options.console_log) console_set_host_sink(copy_console_to_stderr);
    console_set_notice_sink(print_notice);

    if (!host::board_start(options, error)) {
        std::fprintf(stderr, "sign-controller: board: %s\n", error.c_str());
        return 1;
    }
    if (!host::monitor_start(options, error))
        std::fprintf(stderr, "sign-controller: flash: %s (running without flash)\n", error.c_str());
    return firmware_main(argc, argv);
}
