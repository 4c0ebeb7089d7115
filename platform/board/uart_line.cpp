// The host end of a UART's line (see uart_line.h).
#include "platform/board/uart_line.h"

#include "platform/kernel/host.h"
#include "platform/netstack/reactor.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <sstream>

namespace board {

namespace {

const size_t READ_CHUNK = 4096;
const long INPUT_LIMIT = 64 * 1024;      // bytes waiting for the UART before the line pauses
const size_t OUTPUT_LIMIT = 1024 * 1024; // bytes waiting for a slow reader; more are dropped
const int PAUSE_MS = 20;

void close_fd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

std::string errno_text() {
    return std::strerror(errno);
}

} // namespace

bool UartLine::Start(int port, Uart16550* uart, const std::string& state_dir,
                     const std::string& spec, int port_offset, std::string& error) {
    Stop();
    port_ = port;
    uart_ = uart;
    stop_ = false;
    wake_fd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    bool ok;
    if (spec.empty() || spec == "pty") {
        ok = OpenPty(state_dir, error);
    } else {
        ok = OpenTcp(std::stoi(spec.substr(4)) + port_offset, error);
    }
    if (ok) ok = OpenControl(state_dir, error);
    if (!ok) {
        Stop();
        return false;
    }
    uart_->SetLineSink([this](const uint8_t* data, size_t size) { Send(data, size); });
    thread_ = std::thread([this] { Run(); });
    return true;
}

void UartLine::Stop() {
    if (thread_.joinable()) {
        stop_ = true;
        uint64_t one = 1;
        if (::write(wake_fd_, &one, sizeof one) < 0) {
        }
        thread_.join();
    }
    if (uart_) uart_->SetLineSink(nullptr);
    close_fd(data_fd_);
    close_fd(pty_slave_);
    close_fd(listen_fd_);
    close_fd(control_fd_);
    close_fd(wake_fd_);
    for (int& fd : clients_)
        close_fd(fd);
    clients_.clear();
    client_text_.clear();
    if (!link_path_.empty()) ::unlink(link_path_.c_str());
    if (!control_path_.empty()) ::unlink(control_path_.c_str());
    link_path_.clear();
    control_path_.clear();
    std::lock_guard<std::mutex> lock(out_m_);
    out_.clear();
}

// A raw pseudo-terminal whose slave the state directory links as uartN.
bool UartLine::OpenPty(const std::string& state_dir, std::string& error) {
    data_fd_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (data_fd_ < 0 || ::grantpt(data_fd_) != 0 || ::unlockpt(data_fd_) != 0) {
        error = "uart" + std::to_string(port_) + ": no pseudo-terminal: " + errno_text();
        return false;
    }
    const char* slave = ::ptsname(data_fd_);
    name_ = slave ? slave : "";
    pty_slave_ = ::open(name_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (pty_slave_ >= 0) {
        termios t{};
        if (::tcgetattr(pty_slave_, &t) == 0) {
            ::cfmakeraw(&t);
            ::tcsetattr(pty_slave_, TCSANOW, &t);
        }
    }
    link_path_ = state_dir + "/uart" + std::to_string(port_);
    ::unlink(link_path_.c_str());
    if (::symlink(name_.c_str(), link_path_.c_str()) != 0) {
        error =
            "uart" + std::to_string(port_) + ": cannot link " + link_path_ + ": " + errno_text();
        link_path_.clear();
        return false;
    }
    uart_->SetPeerPresent(true);
    return true;
}

bool UartLine::OpenTcp(int tcp_port, std::string& error) {
    name_ = "tcp:" + std::to_string(tcp_port);
    listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    int yes = 1;
    ::setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(tcp_port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (tcp_port < 1 || tcp_port > 65535 ||
        ::bind(listen_fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(listen_fd_, 1) != 0) {
        const int failure = errno;
        error = "uart" + std::to_string(port_) + ": cannot listen on TCP port " +
                std::to_string(tcp_port) + ": " + std::strerror(failure) + "; " +
                netstack::port_remedy(failure);
        return false;
    }
    uart_->SetPeerPresent(false);
    return true;
}

bool UartLine::OpenControl(const std::string& state_dir, std::string& error) {
    std::string path = state_dir + "/uart" + std::to_string(port_) + ".ctl";
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    if (path.size() >= sizeof a.sun_path) {
        error = "uart" + std::to_string(port_) + ": the control socket's path is too long: " + path;
        return false;
    }
    std::strcpy(a.sun_path, path.c_str());
    ::unlink(path.c_str());
    control_fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (::bind(control_fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(control_fd_, 4) != 0) {
        error = "uart" + std::to_string(port_) + ": cannot open " + path + ": " + errno_text();
        return false;
    }
    control_path_ = path;
    return true;
}

// The UART's loads (processor side): queued for the line thread.
// The line thread is woken only for the first bytes: while bytes wait, it
// already polls for room to write them.
void UartLine::Send(const uint8_t* data, size_t size) {
    {
        std::lock_guard<std::mutex> lock(out_m_);
        if (out_.size() + size > OUTPUT_LIMIT) return;
        const bool waiting = !out_.empty();
        out_.insert(out_.end(), data, data + size);
        if (waiting) return;
    }
    uint64_t one = 1;
    if (::write(wake_fd_, &one, sizeof one) < 0) {
    }
}

void UartLine::Deliver(std::vector<uint8_t> bytes) {
    in_flight_ += long(bytes.size());
    Uart16550* uart = uart_;
    host::raise_interrupt([this, uart, bytes] {
        uart->LineReceive(bytes);
        in_flight_ -= long(bytes.size());
    });
}

void UartLine::Run() {
    for (;;) {
        if (stop_) return;
        std::vector<pollfd> fds;
        fds.push_back({wake_fd_, POLLIN, 0});
        bool paused = in_flight_ + long(uart_->QueuedInput()) > INPUT_LIMIT;
        bool pending;
        {
            std::lock_guard<std::mutex> lock(out_m_);
            pending = !out_.empty();
        }
        short data_events = short((paused ? 0 : POLLIN) | (pending ? POLLOUT : 0));
        fds.push_back({data_fd_, data_events, 0});
        fds.push_back({listen_fd_, POLLIN, 0});
        fds.push_back({control_fd_, POLLIN, 0});
        for (int fd : clients_)
            fds.push_back({fd, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), paused ? PAUSE_MS : -1) < 0 && errno != EINTR) return;
        if (stop_) return;
        if (fds[0].revents) {
            uint64_t n;
            if (::read(wake_fd_, &n, sizeof n) < 0) {
            }
        }
        if (data_fd_ >= 0 && fds[1].revents & (POLLIN | POLLERR | POLLHUP)) ReadLine();
        if (data_fd_ >= 0 && fds[1].revents & POLLOUT) WriteLine();
        if (data_fd_ < 0) {
            std::lock_guard<std::mutex> lock(out_m_);
            out_.clear(); // nobody on the line: the bytes are gone
        }
        if (fds[2].revents & POLLIN) Accept();
        for (size_t i = fds.size() - 4; i-- > 0;)
            if (fds[4 + i].revents) ServeControl(i);
        if (fds[3].revents & POLLIN) {
            int fd = ::accept4(control_fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd >= 0) {
                clients_.push_back(fd);
                client_text_.emplace_back();
            }
        }
    }
}

void UartLine::ReadLine() {
    uint8_t buffer[READ_CHUNK];
    ssize_t n = ::read(data_fd_, buffer, sizeof buffer);
    if (n > 0) {
        Deliver(std::vector<uint8_t>(buffer, buffer + n));
        return;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    // A pseudo-terminal whose slave we hold never ends; a TCP peer can.
    if (listen_fd_ >= 0) DropPeer();
}

void UartLine::WriteLine() {
    std::lock_guard<std::mutex> lock(out_m_);
    if (out_.empty()) return;
    ssize_t n = ::send(data_fd_, out_.data(), out_.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && errno == ENOTSOCK) n = ::write(data_fd_, out_.data(), out_.size());
    if (n > 0) out_.erase(out_.begin(), out_.begin() + n);
}

// One peer at a time: a second connection is closed at once.
void UartLine::Accept() {
    int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    if (data_fd_ >= 0) {
        ::close(fd);
        return;
    }
    data_fd_ = fd;
    {
        std::lock_guard<std::mutex> lock(out_m_);
        out_.clear();
    }
    Uart16550* uart = uart_;
    host::raise_interrupt([uart] { uart->SetPeerPresent(true); });
}

void UartLine::DropPeer() {
    close_fd(data_fd_);
    Uart16550* uart = uart_;
    host::raise_interrupt([uart] { uart->SetPeerPresent(false); });
}

void UartLine::ServeControl(size_t index) {
    char buffer[512];
    ssize_t n = ::read(clients_[index], buffer, sizeof buffer);
    if (n <= 0) {
        if (n < 0 && errno == EAGAIN) return;
        close_fd(clients_[index]);
        clients_.erase(clients_.begin() + long(index));
        client_text_.erase(client_text_.begin() + long(index));
        return;
    }
    std::string& text = client_text_[index];
    text.append(buffer, size_t(n));
    size_t end;
    while ((end = text.find('\n')) != std::string::npos) {
        std::string reply = Command(text.substr(0, end)) + "\n";
        text.erase(0, end + 1);
        if (::send(clients_[index], reply.data(), reply.size(), MSG_NOSIGNAL) < 0) {
        }
    }
    if (text.size() > sizeof buffer) text.clear();
}

// One control command: the reply's text (its last line ok or error: ...).
std::string UartLine::Command(const std::string& line) {
    std::istringstream in(line);
    std::string word, level, extra;
    in >> word >> level >> extra;
    std::transform(word.begin(), word.end(), word.begin(), ::toupper);
    Uart16550* uart = uart_;
    if (word == "AUTO" && level.empty()) {
        host::raise_interrupt([uart] { uart->FollowPeer(); });
        return "ok";
    }
    if (word == "STATUS" && level.empty()) {
        ModemOutputs out = uart->Outputs();
        return std::string("DTR ") + (out.dtr ? "1" : "0") + " RTS " + (out.rts ? "1" : "0") +
               "\nok";
    }
    static const char* const NAMES[UART_INPUTS] = {"DCD", "RI", "CTS", "DSR"};
    for (int i = 0; i < UART_INPUTS; ++i) {
        if (word != NAMES[i]) continue;
        if ((level != "0" && level != "1") || !extra.empty())
            return "error: " + word + " takes 0 or 1";
        UartInput input = UartInput(i);
        bool on = level == "1";
        host::raise_interrupt([uart, input, on] { uart->SetModemInput(input, on); });
        return "ok";
    }
    return "error: unknown command (DCD, RI, CTS, DSR 0|1; AUTO; STATUS)";
}

} // namespace board
