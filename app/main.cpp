// sign-controller: the field controller's firmware as one host program.
// Parses the host options, prepares the state directory, builds the board and
// the boot monitor and the field (display modules, sign picture), starts the
// kernel on the real clock and enters the firmware.
#include "comm/modem_task.h"
#include "console/console_output.h"
#include "platform/board/board.h"
#include "platform/field/field.h"
#include "platform/host_options.h"
#include "platform/kernel/host.h"
#include "platform/monitor/monitor_host.h"
#include "platform/netstack/internal.h"
#include "startup/startup.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/file.h>
#include <system_error>
#include <thread>
#include <unistd.h>

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

// One program per state directory: the lock is held for the program's whole
// life (and given up at a restart's re-execution, which takes it again).
// A predecessor that was just killed may still hold it for a moment.
const auto kLockWait = std::chrono::seconds(3);

bool lock_state_directory(const std::string& dir) {
    const std::string path = dir + "/lock";
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        std::fprintf(stderr, "sign-controller: cannot open %s: %s\n", path.c_str(),
                     std::strerror(errno));
        return false;
    }
    const auto give_up = std::chrono::steady_clock::now() + kLockWait;
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (std::chrono::steady_clock::now() >= give_up) {
            char holder[32] = {};
            ssize_t n = pread(fd, holder, sizeof holder - 1, 0);
            holder[n > 0 ? n : 0] = 0;
            std::fprintf(stderr,
                         "sign-controller: the state directory %s is in use by another "
                         "sign-controller (process %s); not started\n",
                         dir.c_str(), holder[0] ? holder : "?");
            close(fd);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const std::string pid = std::to_string(getpid());
    if (ftruncate(fd, 0) != 0 || pwrite(fd, pid.data(), pid.size(), 0) < 0) {
        // The number is only for the message above; the lock is what counts.
    }
    return true; // fd stays open: the lock lasts as long as the program
}

// The links and sockets the program puts into the state directory name a
// pseudo-terminal or a socket that only this process serves: none may
// outlive it, or a tool following an old link reaches whatever took the pty
// number next (another sign). They go at every end: a normal exit, SIGINT,
// SIGTERM, SIGHUP, a refused port. Kept as fixed buffers for the signal handler.
const char* const kStateLinks[] = {"uart0", "uart1", "uart0.ctl", "uart1.ctl", "field.ctl"};
const int kStateLinkCount = int(sizeof kStateLinks / sizeof kStateLinks[0]);
char state_link_paths[kStateLinkCount][PATH_MAX];

void remove_state_links() {
    for (int i = 0; i < kStateLinkCount; ++i)
        if (state_link_paths[i][0]) unlink(state_link_paths[i]);
}

void end_on_signal(int signal) {
    remove_state_links();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void remove_state_links_at_exit(const std::string& dir) {
    for (int i = 0; i < kStateLinkCount; ++i)
        std::snprintf(state_link_paths[i], PATH_MAX, "%s/%s", dir.c_str(), kStateLinks[i]);
    std::atexit(remove_state_links);
    struct sigaction action = {};
    action.sa_handler = end_on_signal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
}

// A server port the sign cannot take (another program holds it, or it needs
// root): the sign would answer nothing there, or another program would get
// part of its requests, so it does not run at all.
void refuse_to_run(const std::string& line) {
    std::fflush(stdout);
    std::fprintf(stderr, "sign-controller: %s; not started\n", line.c_str());
    remove_state_links();
    _exit(1);
}

// Where each serial port's line is, and its control socket.
std::string describe_cell_modem(const host::HostOptions& options) {
    uint32_t ip = options.cell_modem_ip;
    return std::to_string(ip >> 24) + "." + std::to_string((ip >> 16) & 0xFF) + "." +
           std::to_string((ip >> 8) & 0xFF) + "." + std::to_string(ip & 0xFF) + ":" +
           std::to_string(options.cell_modem_port);
}

void print_uart_lines(const host::HostOptions& options) {
    for (int port = 0; port < 2; ++port) {
        std::string name = board::uart_line_name(port);
        std::string base = options.state_dir + "/uart" + std::to_string(port);
        if (name.compare(0, 4, "tcp:") == 0)
            std::printf("sign-controller: uart%d on TCP 127.0.0.1:%s, modem lines %s.ctl\n", port,
                        name.c_str() + 4, base.c_str());
        else
            std::printf("sign-controller: uart%d %s (linked as %s), modem lines %s.ctl\n", port,
                        name.c_str(), base.c_str(), base.c_str());
    }
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
    // Nothing of the state directory (clock, environment, flash) is touched
    // before the lock is held.
    if (!lock_state_directory(options.state_dir)) return 1;
    remove_state_links_at_exit(options.state_dir);
    netstack::on_server_port_refused(refuse_to_run);
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
    if (!host::field_start(options, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    std::printf("sign-controller: sign picture %s\n", host::sign_picture_path().c_str());
    std::printf("sign-controller: front panel picture %s\n", host::panel_picture_path().c_str());
    std::printf("sign-controller: field control %s, CAN frames logged in %s\n",
                host::field_control_path().c_str(), host::can_log_path().c_str());
    print_uart_lines(options);
    if (options.cell_modem_port) {
        host::netstack_redirect_tcp(CModemTask::LAN_ADDRESS, CModemTask::COMMAND_PORT,
                                    options.cell_modem_ip, options.cell_modem_port);
        std::printf("sign-controller: cellular modem command port at the program on %s\n",
                    describe_cell_modem(options).c_str());
    }
    std::fflush(stdout);
    // A missing image is created; one that is there but does not mount is
    // left as it is for flashtool: a sign without its flash would
    // acknowledge settings it cannot keep.
    if (!host::monitor_start(options, error)) {
        std::fprintf(stderr, "sign-controller: flash: %s; not started\n", error.c_str());
        return 1;
    }
    return firmware_main(argc, argv);
}
