#include "tests/support/host_process.h"
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/file.h>
#include <netinet/in.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

namespace test_support {

std::string BesideTests(const char* program) {
    namespace fs = std::filesystem;
    return (fs::read_symlink("/proc/self/exe").parent_path() / program).string();
}

bool HostProcess::Start(const std::vector<std::string>& args, const std::string& output_file) {
    Kill();
    output_file_ = output_file;
    int pipe_fds[2];
    if (args.empty() || pipe(pipe_fds) != 0) return false;
    pid_ = fork();
    if (pid_ == 0) {
        dup2(pipe_fds[0], 0);
        int fd = open(output_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, 1);
        dup2(fd, 2);
        close(pipe_fds[1]);
        std::vector<std::string> copy = args;
        std::vector<char*> argv;
        for (std::string& a : copy)
            argv.push_back(&a[0]);
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(pipe_fds[0]);
    input_ = pipe_fds[1];
    status_ = -1;
    return pid_ > 0;
}

void HostProcess::Type(const std::string& text) {
    if (input_ < 0) return;
    ssize_t n = write(input_, text.data(), text.size());
    (void)n;
}

void HostProcess::CloseInput() {
    if (input_ >= 0) close(input_);
    input_ = -1;
}

int HostProcess::Wait(double seconds) {
    auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        int status = 0;
        if (pid_ > 0 && waitpid(pid_, &status, WNOHANG) == pid_) {
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            pid_ = -1;
        }
        if (pid_ <= 0 || std::chrono::steady_clock::now() >= until) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return pid_ > 0 ? -1 : status_;
}

bool HostProcess::Running() {
    return Wait(0) == -1 && pid_ > 0;
}

void HostProcess::Signal(int signal) {
    if (pid_ > 0) kill(pid_, signal);
}

void HostProcess::Kill() {
    CloseInput();
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    pid_ = -1;
}

std::string HostProcess::Output() const {
    std::ifstream in(output_file_, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

ProcessResult RunProcess(const std::vector<std::string>& args, const std::string& output_file,
                         double seconds) {
    HostProcess process;
    process.Start(args, output_file);
    process.CloseInput();
    int status = process.Wait(seconds);
    return {status, process.Output()};
}

namespace {

bool port_free(int type, int port) {
    int fd = socket(AF_INET, type, 0);
    if (fd < 0) return false;
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(fd);
    return ok;
}

// 2101: the TCP line of UART0 in the serial tests; 1062: the central
// system's trap receiver in the trap tests.
const int SIGN_PORTS[] = {23, 80, 123, 161, 162, 1062, 2101, 3002, 14001, 15002};

// Claims `port` for this process with a lock on a file named by it; the lock
// lasts as long as the process, so test processes started at the same moment
// never choose overlapping ports. A port already bound on the host is refused.
bool claim_port(int port, std::vector<int>& claims) {
    std::string path = "/tmp/sign-test-ports/" + std::to_string(port);
    int fd = open(path.c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 || !port_free(SOCK_STREAM, port) ||
        !port_free(SOCK_DGRAM, port)) {
        close(fd);
        return false;
    }
    claims.push_back(fd);
    return true;
}

bool claim_offset(int offset) {
    std::vector<int> claims;
    for (int port : SIGN_PORTS)
        if (!claim_port(port + offset, claims)) {
            for (int fd : claims)
                close(fd);
            return false;
        }
    return true; // the claims stay open until the process ends
}

} // namespace

int FreePortOffset() {
    static int chosen = 0;
    if (chosen) return chosen;
    const int FIRST = 1000, COUNT = 16000; // every port stays below 32768
    int start = int(getpid() % COUNT);
    mkdir("/tmp/sign-test-ports", 0777);
    for (int i = 0; i < COUNT && !chosen; i += 7)
        if (claim_offset(FIRST + (start + i) % COUNT)) chosen = FIRST + (start + i) % COUNT;
    if (!chosen) chosen = FIRST + start;
    return chosen;
}

std::string run_command(const std::string& command) {
    std::string out;
    FILE* p = popen((command + " 2>&1").c_str(), "r");
    if (!p) return out;
    char buffer[512];
    while (fgets(buffer, sizeof buffer, p))
        out += buffer;
    pclose(p);
    return out;
}

bool netsnmp_tools_installed() {
    return run_command("command -v snmpget").find("snmpget") != std::string::npos;
}

std::vector<std::string> Lines(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace test_support
