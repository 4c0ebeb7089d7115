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
        for (const Client& c : clients_) {
            short events = !c.ended && c.out.size() < OUTPUT_HELD_MAX ? POLLIN : 0;
            if (!c.out.empty()) events |= POLLOUT;
            fds.push_back({c.fd, events, 0});
        }
        if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) return;
        if (stop_) return;
        for (size_t i = clients_.size(); i-- > 0;) {
            if (!fds[2 + i].revents || Handle(clients_[i], fds[2 + i].revents)) continue;
            close_fd(clients_[i].fd);
            clients_.erase(clients_.begin() + long(i));
        }
        if (fds[1].revents & POLLIN) {
            int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd >= 0) clients_.push_back({fd, "", "", false, false});
        }
    }
}

// A client that has sent its last line still gets every reply before it is
// closed. -> false when the client is done or gone.
bool FieldControl::Handle(Client& client, short ready) {
    if ((ready & POLLOUT) && !Flush(client)) return false;
    if (!client.ended && (ready & (POLLIN | POLLHUP | POLLERR))) {
        if (!Serve(client)) return false;
        if (!Flush(client)) return false;
    } else if (ready & (POLLHUP | POLLERR)) {
        return false;
    }
    return !(client.ended && client.out.empty());
}

// Sends what the socket takes now; the rest waits for the next POLLOUT.
// -> false when the client is gone.
bool FieldControl::Flush(Client& client) {
    while (!client.out.empty()) {
        ssize_t n = ::send(client.fd, client.out.data(), client.out.size(), MSG_NOSIGNAL);
        if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
        client.out.erase(0, size_t(n));
    }
    return true;
}

// Each whole line is answered in turn, every reply kept until the client
// has taken it; a line past the limit is refused once and the rest of it
// dropped, however long it runs.
bool FieldControl::Serve(Client& client) {
    char buffer[4096];
    ssize_t n = ::read(client.fd, buffer, sizeof buffer);
    if (n < 0) return errno == EAGAIN || errno == EINTR;
    client.text.append(buffer, size_t(n));
    if (n == 0) { // the last line may end without its newline
        client.ended = true;
        if (!client.text.empty()) client.text += '\n';
    }
    size_t end;
    while ((end = client.text.find('\n')) != std::string::npos) {
        std::string line = client.text.substr(0, end);
        client.text.erase(0, end + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (client.discarding) {
            client.discarding = false;
            continue;
        }
        client.out += OnProcessor(line);
        if (stop_) return false;
    }
    if (client.text.size() > FIELD_COMMAND_MAX) {
        if (!client.discarding) client.out += can_field_too_long();
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
