// Helpers of the console tests: an outside telnet peer on a host thread that
// holds the virtual clock while it talks, and the firmware-side wait for it.
#pragma once

#include "platform/kernel/host.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace console_test {

// Runs `script` on a host thread. With `hold_clock` the virtual clock stands
// still until the script ends; without it, the firmware side must keep time
// from jumping ahead (Settle does) while the script talks.
class Peer {
  public:
    explicit Peer(std::function<void()> script, bool hold_clock = true) {
        if (hold_clock) host::host_activity_begin();
        thread_ = std::thread([this, script, hold_clock] {
            script();
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            done_ = true;
            if (hold_clock) host::host_activity_end();
        });
    }
    ~Peer() { Join(); }
    void Join() {
        if (thread_.joinable()) thread_.join();
    }
    bool Done() const { return done_; }

  private:
    std::atomic<bool> done_{false};
    std::thread thread_;
};

// From a kernel thread: let the firmware run until `done` holds (at most
// about `seconds` of host time), one tick at a time.
inline bool Settle(const std::function<bool()>& done, double seconds = 10) {
    int rounds = static_cast<int>(seconds * 50);
    for (int i = 0; i < rounds; i++) {
        if (done()) return true;
        Peer hold([] { std::this_thread::sleep_for(std::chrono::milliseconds(20)); });
        tx_thread_sleep(1);
    }
    return done();
}

// A telnet client speaking raw bytes.
class Client {
  public:
    explicit Client(uint16_t port) {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        timeval tv{0, 100000};
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(port);
        for (int i = 0; i < 100; i++) {
            if (connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    ~Client() { Close(); }
    void Close() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }
    void Send(const std::string& bytes) { send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
    // One character at a time, as a person types.
    void Type(const std::string& keys) {
        for (char c : keys) {
            Send(std::string(1, c));
            std::this_thread::sleep_for(std::chrono::milliseconds(4));
        }
    }
    // The password, one character per block as the console wants it before
    // login: each character waits for its "*" echo, then Enter.
    bool TypePassword(const std::string& password) {
        for (char c : password) {
            Send(std::string(1, c));
            if (!WaitFor("*")) return false;
        }
        Send("\r");
        return true;
    }
    // Read until `text` appeared after the last match (at most `seconds`).
    bool WaitFor(const std::string& text, double seconds = 5) {
        auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        for (;;) {
            size_t at = received_.find(text, mark_);
            if (at != std::string::npos) {
                mark_ = at + text.size();
                return true;
            }
            if (std::chrono::steady_clock::now() > until) return false;
            char buffer[1024];
            ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
            if (n > 0) received_.append(buffer, n);
            if (n == 0) return false;
        }
    }
    // True when the peer closed the connection within `seconds` (what it
    // sent first is kept).
    bool ClosedWithin(double seconds) {
        auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < until) {
            char buffer[1024];
            ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
            if (n > 0) received_.append(buffer, n);
            if (n == 0) return true;
        }
        return false;
    }
    const std::string& Received() const { return received_; }

  private:
    int fd_ = -1;
    std::string received_;
    size_t mark_ = 0;
};

} // namespace console_test
