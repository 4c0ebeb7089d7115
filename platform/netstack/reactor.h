// The host side of the network stack: one host I/O thread that waits on every
// host socket of the stack (poll) and hands what happened to the kernel as
// interrupts. Every call here is non-blocking; the callbacks run on the I/O
// thread without any lock held and must only raise interrupts (or note
// atomics), never call the kernel directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace netstack {

typedef std::vector<uint8_t> bytes;

struct stream_hooks {
    std::function<void(bytes)> data; // bytes received
    std::function<void()> closed;    // end of stream or error
    std::function<bool()> can_read;  // false pauses reading (receive queue full)
};

// A listening stream socket: every accepted connection (non-blocking) goes to `accepted`.
void watch_listener(int fd, std::function<void(int fd, uint32_t ip, uint16_t port)> accepted);
// A connection in progress: `done` gets 0 or the errno of the failure; a
// connected socket must then be watched as a stream.
void watch_connect(int fd, std::function<void(int error)> done);
void watch_stream(int fd, stream_hooks hooks);
void watch_datagram(int fd, std::function<void(bytes, uint32_t ip, uint16_t port)> datagram);
// Queue bytes for a stream (sent at once when the socket takes them).
// false when the socket is not watched, failed, or its queue is full.
bool stream_write(int fd, const uint8_t* data, size_t size);
// Stop watching and close the socket.
void forget(int fd);
// Look at the sockets again (a paused stream may read again).
void wake();

// Host socket helpers.
int make_nonblocking(int fd);
// 0 or errno: bind `fd` to address:port (host order; port already offset).
int bind_address(int fd, uint32_t address, uint16_t port);
// Bind `fd` for a server port of the sign and tell the person running the
// program where it listens (or why it cannot). -> 0 or errno.
int bind_server_address(int fd, const char* protocol, uint32_t address, uint16_t port);
// What the person running the program can do about a port it cannot bind
// (errno of the failure): one phrase naming --port-offset or root.
const char* port_remedy(int error);
// What happens when a server port cannot be bound the first time: `refused`
// gets one line (the port, the reason, the remedy) and may end the program.
// Without it, and for a port bound before, the failure is printed and the
// caller gets the error.
void on_server_port_refused(std::function<void(const std::string& line)> refused);

} // namespace netstack
