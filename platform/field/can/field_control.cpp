// The field's control socket (see field_control.h).
#include "platform/field/can/field_control.h"

#include "platform/field/can/can_field.h"
#include "platform/kernel/host.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <future>
#include <memory>

namespace field {

namespace {

void close_fd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

void send_text(int fd, const std::string& text) {
    if (::send(fd, text.data(), text.size(), MSG_NOSIGNAL) < 0) {
    }
}

} // namespace

bool FieldControl::Start(const std::string& path, std::string& error) {
    Stop();
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    if (path.size() >= sizeof a.sun_path) {
        error = "field: the control socket's path is too long: " + path;
        return false;
    }
    std::strcpy(a.sun_path, path.c_str());
    ::unlink(path.c_str());
    listen_fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    wake_fd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (listen_fd_ < 0 || wake_fd_ < 0 ||
        ::bind(listen_fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(listen_fd_, 8) != 0) {
        error = "field: cannot open " + path + ": " + std::strerror(errno);
        Stop();
        return false;
    }
    path_ = path;
    stop_ = false;
    thread_ = std::thread([this] { Run(); });
    return true;
}

void FieldControl::Stop() {
    if (thread_.joinable()) {
        stop_ = true;
        uint64_t one = 1;
        if (::write(wake_fd_, &one, sizeof one) < 0) {
        }
        thread_.join();
    }
    for (Client& c : clients_)
        close_fd(c.fd);
    clients_.clear();
    close_fd(listen_fd_);
    close_fd(wake_fd_);
    if (!path_.empty()) ::unlink(path_.c_str());
    path_.clear();
}

void FieldControl::Run() {
    while (!stop_) {
        std::vector<pollfd> fds = {{wake_fd_, POLLIN, 0}, {listen_fd_, POLLIN, 0}};
        for (const Client& c : clients_)
            fds.push_back({c.fd, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) return;
        if (stop_) return;
        for (size_t i = clients_.size(); i-- > 0;) {
            if (!fds[2 + i].revents || Serve(clients_[i])) continue;
            close_fd(clients_[i].fd);
            clients_.erase(clients_.begin() + long(i));
        }
        if (fds[1].revents & POLLIN) {
            int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd >= 0) clients_.push_back({fd, "", false});
        }
    }
}

// Each whole line is answered in turn; a line past the limit is refused once
// and the rest of it dropped.
bool FieldControl::Serve(Client& client) {
    char buffer[1024];
    ssize_t n = ::read(client.fd, buffer, sizeof buffer);
    if (n < 0) return errno == EAGAIN || errno == EINTR;
    if (n == 0) return false;
    client.text.append(buffer, size_t(n));
    size_t end;
    while ((end = client.text.find('\n')) != std::string::npos) {
        std::string line = client.text.substr(0, end);
        client.text.erase(0, end + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (client.discarding) {
            client.discarding = false;
            continue;
        }
        send_text(client.fd, OnProcessor(line));
        if (stop_) return false;
    }
    if (client.text.size() > FIELD_COMMAND_MAX) {
        send_text(client.fd, can_field_too_long());
        client.text.clear();
        client.discarding = true;
    }
    return true;
}

// Runs the command as a host event and waits for its reply; the virtual
// clock stands still meanwhile.
std::string FieldControl::OnProcessor(const std::string& line) {
    auto reply = std::make_shared<std::promise<std::string>>();
    std::future<std::string> done = reply->get_future();
    host::host_activity_begin();
    host::raise_interrupt([line, reply] { reply->set_value(can_field_command(line)); });
    while (done.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready) {
        if (stop_) {
            host::host_activity_end();
            return "";
        }
    }
    host::host_activity_end();
    return done.get();
}

} // namespace field
