#include "platform/netstack/reactor.h"

#include <cstdio>

#include <arpa/inet.h>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <set>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace netstack {
namespace {

const size_t READ_CHUNK = 4096;
const size_t WRITE_QUEUE_LIMIT = 256 * 1024;
const int POLL_MS = 500;

enum class kind { listener, connecting, stream, datagram };

struct entry {
    kind what;
    std::function<void(int, uint32_t, uint16_t)> accepted;
    std::function<void(int)> connected;
    stream_hooks hooks;
    std::function<void(bytes, uint32_t, uint16_t)> datagram;
    bytes out;          // stream bytes the socket did not take yet
    bool ended = false; // stream: end or error reported
};

class reactor {
  public:
    static reactor& get() {
        static reactor* r = new reactor; // lives for the whole process
        return *r;
    }

    void add(int fd, entry e) {
        std::lock_guard<std::mutex> lk(m_);
        entries_[fd] = std::move(e);
        poke();
    }

    // A poll keeps every file it waits on open until it returns: closed
    // during the I/O thread's poll, a socket would keep its port a moment
    // longer, and binding the port again at once would fail. The socket is
    // closed once the thread polls without it.
    void remove(int fd) {
        std::unique_lock<std::mutex> lk(m_);
        if (!entries_.erase(fd)) return poke();
        if (std::this_thread::get_id() != io_thread_) {
            const uint64_t polling = polls_;
            poke();
            next_poll_.wait(lk, [&] { return polls_ != polling; });
        }
        close(fd);
        poke();
    }

    bool write(int fd, const uint8_t* data, size_t size) {
        std::lock_guard<std::mutex> lk(m_);
        auto it = entries_.find(fd);
        if (it == entries_.end() || it->second.what != kind::stream || it->second.ended)
            return false;
        entry& e = it->second;
        if (e.out.size() + size > WRITE_QUEUE_LIMIT) return false;
        e.out.insert(e.out.end(), data, data + size);
        flush(fd, e);
        poke();
        return true;
    }

    void poke() {
        char c = 1;
        ssize_t n = ::write(wake_[1], &c, 1);
        (void)n;
    }

  private:
    reactor() {
        if (pipe(wake_) == 0) {
            make_nonblocking(wake_[0]);
            make_nonblocking(wake_[1]);
        }
        std::thread io([this] { loop(); });
        io_thread_ = io.get_id();
        io.detach();
    }

    // Called with the lock held.
    void flush(int fd, entry& e) {
        while (!e.out.empty()) {
            ssize_t n = send(fd, e.out.data(), e.out.size(), MSG_NOSIGNAL);
            if (n > 0) {
                e.out.erase(e.out.begin(), e.out.begin() + n);
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
            e.out.clear(); // the peer is gone: the reader side reports the end
            return;
        }
    }

    void loop() {
        std::vector<pollfd> fds;
        for (;;) {
            fds.clear();
            fds.push_back({wake_[0], POLLIN, 0});
            {
                std::lock_guard<std::mutex> lk(m_);
                polls_++; // the previous poll has returned
                next_poll_.notify_all();
                for (auto& [fd, e] : entries_) {
                    short events = 0;
                    if (e.what == kind::connecting) events = POLLOUT;
                    if (e.what == kind::listener || e.what == kind::datagram) events = POLLIN;
                    if (e.what == kind::stream) {
                        if (!e.ended && (!e.hooks.can_read || e.hooks.can_read())) events |= POLLIN;
                        if (!e.out.empty()) events |= POLLOUT;
                    }
                    if (events) fds.push_back({fd, events, 0});
                }
            }
            if (poll(fds.data(), fds.size(), POLL_MS) <= 0) continue;
            if (fds[0].revents) {
                char drain[64];
                while (read(wake_[0], drain, sizeof drain) > 0) {
                }
            }
            for (size_t i = 1; i < fds.size(); i++)
                if (fds[i].revents) serve(fds[i].fd, fds[i].revents);
        }
    }

    // One ready socket: the system call runs under the lock, the callback after it.
    void serve(int fd, short revents) {
        std::function<void()> report;
        {
            std::lock_guard<std::mutex> lk(m_);
            auto it = entries_.find(fd);
            if (it == entries_.end()) return;
            entry& e = it->second;
            switch (e.what) {
            case kind::listener:
                report = accept_one(fd, e);
                break;
            case kind::connecting:
                report = finish_connect(fd, e);
                break;
            case kind::stream:
                if (revents & POLLOUT) flush(fd, e);
                if (revents & (POLLIN | POLLHUP | POLLERR)) report = read_stream(fd, e);
                break;
            case kind::datagram:
                report = read_datagram(fd, e);
                break;
            }
        }
        if (report) report();
    }

    std::function<void()> accept_one(int fd, entry& e) {
        sockaddr_in peer{};
        socklen_t len = sizeof peer;
        int conn = accept(fd, reinterpret_cast<sockaddr*>(&peer), &len);
        if (conn < 0) return nullptr;
        make_nonblocking(conn);
        auto cb = e.accepted;
        uint32_t ip = ntohl(peer.sin_addr.s_addr);
        uint16_t port = ntohs(peer.sin_port);
        return [cb, conn, ip, port] { cb(conn, ip, port); };
    }

    std::function<void()> finish_connect(int fd, entry& e) {
        int error = 0;
        socklen_t len = sizeof error;
        if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0) error = errno;
        auto cb = e.connected;
        entries_.erase(fd); // the socket is watched again as a stream once connected
        return [cb, error] { cb(error); };
    }

    std::function<void()> read_stream(int fd, entry& e) {
        uint8_t buffer[READ_CHUNK];
        ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n > 0) {
            auto cb = e.hooks.data;
            bytes data(buffer, buffer + n);
            return [cb, data] { cb(data); };
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return nullptr;
        e.ended = true;
        e.out.clear();
        return e.hooks.closed;
    }

    std::function<void()> read_datagram(int fd, entry& e) {
        uint8_t buffer[65536];
        sockaddr_in peer{};
        socklen_t len = sizeof peer;
        ssize_t n =
            recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&peer), &len);
        if (n < 0) return nullptr;
        auto cb = e.datagram;
        bytes data(buffer, buffer + n);
        uint32_t ip = ntohl(peer.sin_addr.s_addr);
        uint16_t port = ntohs(peer.sin_port);
        return [cb, data, ip, port] { cb(data, ip, port); };
    }

    std::mutex m_;
    std::condition_variable next_poll_;
    uint64_t polls_ = 0; // poll sets built so far
    std::thread::id io_thread_;
    std::map<int, entry> entries_;
    int wake_[2] = {-1, -1};
};

} // namespace

void watch_listener(int fd, std::function<void(int, uint32_t, uint16_t)> accepted) {
    entry e;
    e.what = kind::listener;
    e.accepted = std::move(accepted);
    reactor::get().add(fd, std::move(e));
}

void watch_connect(int fd, std::function<void(int)> done) {
    entry e;
    e.what = kind::connecting;
    e.connected = std::move(done);
    reactor::get().add(fd, std::move(e));
}

void watch_stream(int fd, stream_hooks hooks) {
    entry e;
    e.what = kind::stream;
    e.hooks = std::move(hooks);
    reactor::get().add(fd, std::move(e));
}

void watch_datagram(int fd, std::function<void(bytes, uint32_t, uint16_t)> datagram) {
    entry e;
    e.what = kind::datagram;
    e.datagram = std::move(datagram);
    reactor::get().add(fd, std::move(e));
}

bool stream_write(int fd, const uint8_t* data, size_t size) {
    return reactor::get().write(fd, data, size);
}

void forget(int fd) {
    if (fd >= 0) reactor::get().remove(fd);
}

void wake() {
    reactor::get().poke();
}

int make_nonblocking(int fd) {
    int flags = fcntl(fd, F_GETFL, 0);
    fcntl(fd, F_SETFD, FD_CLOEXEC);
    return fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

int bind_address(int fd, uint32_t address, uint16_t port) {
    // A stream listener takes its port again at once after a restart (no
    // wait for old connections). A datagram socket never shares its port:
    // two owners of one UDP port would each get part of the requests.
    int type = 0;
    socklen_t size = sizeof type;
    if (getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &size) == 0 && type == SOCK_STREAM) {
        int one = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    }
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(address);
    a.sin_port = htons(port);
    return bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 ? 0 : errno;
}

namespace {

std::function<void(const std::string&)> port_refused;

// The server ports (protocol and port) bound once: a port the sign had
// already is not a refusal to start when binding it again fails later (a
// server opened again, on a new address).
std::mutex held_m;
std::set<std::pair<std::string, uint16_t>> held_once;

std::pair<std::string, uint16_t> held_key(const char* protocol, uint16_t port) {
    return {protocol, port};
}

void note_held(const char* protocol, uint16_t port) {
    std::lock_guard<std::mutex> lk(held_m);
    held_once.insert(held_key(protocol, port));
}

bool held_before(const char* protocol, uint16_t port) {
    std::lock_guard<std::mutex> lk(held_m);
    return held_once.count(held_key(protocol, port)) != 0;
}

std::string address_text(const char* protocol, uint32_t a, uint16_t port) {
    char text[64];
    std::snprintf(text, sizeof text, "%s %u.%u.%u.%u:%u", protocol, unsigned(a >> 24),
                  unsigned((a >> 16) & 255), unsigned((a >> 8) & 255), unsigned(a & 255),
                  unsigned(port));
    return text;
}

} // namespace

const char* port_remedy(int error) {
    switch (error) {
    case EACCES:
        return "ports below 1024 need root: run as root, or move every port with --port-offset N "
               "(3000 puts SNMP on 3161)";
    case EADDRINUSE:
        return "another program (or another sign) holds it: stop that one, or move every port "
               "with --port-offset N";
    default:
        return "move every port with --port-offset N, or run as root";
    }
}

void on_server_port_refused(std::function<void(const std::string& line)> refused) {
    port_refused = std::move(refused);
}

int bind_server_address(int fd, const char* protocol, uint32_t address, uint16_t port) {
    int error = bind_address(fd, address, port);
    const std::string where = address_text(protocol, address, port);
    if (error == 0) {
        note_held(protocol, port);
        std::printf("sign-controller: listening on %s\n", where.c_str());
    } else if (port_refused && !held_before(protocol, port)) {
        port_refused("cannot listen on " + where + ": " + std::strerror(error) + "; " +
                     port_remedy(error));
    } else {
        std::printf("sign-controller: cannot listen on %s: %s\n", where.c_str(),
                    std::strerror(error));
    }
    std::fflush(stdout);
    return error;
}

} // namespace netstack
