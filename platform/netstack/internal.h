// Private records of the network stack. Kernel-side state (queues, socket
// states) changes only with the processor held: in interrupt handlers raised
// by the host I/O thread, or in thread code under the interrupt lock.
#pragma once

#include "platform/netstack/netstack.h"
#include "platform/netstack/reactor.h"

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <memory>

namespace netstack {

// Event bits of a socket's flag group.
enum : ULONG {
    EV_DATA = 0x1,      // bytes or a datagram arrived
    EV_CONNECTED = 0x2, // a connect finished (either way)
    EV_CLOSED = 0x4,    // the peer closed
    EV_ACCEPT = 0x8,    // a connection reached the listening socket
};

struct ip_impl;
struct link_net;

struct listener_impl {
    ip_impl* ip = nullptr;
    UINT port = 0;
    int fd = -1;
    UINT queue_max = 0;
    struct pending {
        int fd;
        uint32_t ip;
        uint16_t port;
    };
    std::deque<pending> waiting;     // connections no socket has taken yet
    NX_TCP_SOCKET* socket = nullptr; // the socket in the listening place
    nx_tcp_listen_fn notify = nullptr;
    bool alive = true;
};

struct tcp_impl {
    NX_TCP_SOCKET* socket = nullptr;
    ip_impl* ip = nullptr;
    TX_EVENT_FLAGS_GROUP events{};
    nx_tcp_notify_fn disconnect = nullptr;
    nx_tcp_notify_fn receive_notify = nullptr;
    std::deque<uint8_t> received;
    std::atomic<size_t> queued{0}; // bytes in `received`, read by the I/O thread
    int fd = -1;
    bool peer_closed = false;
    int connect_error = -1; // -1 while a connect runs
    uint32_t peer_ip = 0;
    uint16_t peer_port = 0;
    UINT bound_port = 0;
    bool bound = false;
    std::shared_ptr<listener_impl> listener; // while listening or accepted from one
    bool alive = true;
};

struct udp_impl {
    NX_UDP_SOCKET* socket = nullptr;
    ip_impl* ip = nullptr;
    TX_EVENT_FLAGS_GROUP events{};
    nx_udp_notify_fn notify = nullptr;
    struct datagram {
        bytes data;
        uint32_t ip;
        uint16_t port;
    };
    std::deque<datagram> received;
    // Datagrams sent while the threads at work go on, held until they wait
    // and then sent in one system call (count of the room used; the buffers
    // keep their size for the next ones).
    std::vector<datagram> held;
    size_t held_count = 0;
    UINT reader_priority = 0; // of the thread that last waited for a datagram
    ULONG queue_max = 0;
    int fd = -1;
    bool watched_by_processor = false; // else by the reactor
    bool alive = true;
};

struct ip_impl {
    NX_IP* ip = nullptr;
    uint32_t host_address = NX_IP_LOOPBACK; // where host sockets bind
    uint32_t gateway = 0;
    TX_EVENT_FLAGS_GROUP events{};
    std::deque<std::function<void()>> deferred; // callbacks for the IP thread
    std::map<UINT, std::shared_ptr<listener_impl>> listeners;
    std::map<UINT, std::shared_ptr<udp_impl>> udp_ports;
    // A serial link's instance: its netif and link driver (link_stack.h).
    link_net* link = nullptr;
    nx_link_driver_fn driver = nullptr;
    ULONG tcp_sent = 0, tcp_received = 0, tcp_invalid = 0, tcp_dropped = 0;
    ULONG udp_sent = 0, udp_received = 0, udp_invalid = 0, udp_dropped = 0;
};

ip_impl* ip_of(NX_IP* ip);
// Run `fn` on the IP thread (callable from an interrupt handler or a thread).
void defer(ip_impl* ip, std::function<void()> fn);
// Hand `fn` to the kernel as an interrupt; the clock stands still until it ran.
void to_kernel(std::function<void()> fn);
// Wait on a flag group with the stack's statuses: NX_SUCCESS, `timeout_status`
// when the wait ran out, NX_WAIT_ABORTED when aborted. Outside a thread the
// wait is refused (NX_WAIT_ERROR) unless it is NX_NO_WAIT.
UINT wait_events(TX_EVENT_FLAGS_GROUP* group, ULONG bits, ULONG wait, UINT timeout_status);
// The carrier of the host interface named by --ethernet; without one, the
// host-socket network has a link while the instance has an address.
bool link_up(NX_IP* ip);
// Ticks left of a wait of `wait` ticks that began at tick `start`.
ULONG remaining(ULONG wait, ULONG start);
// The next datagram of `queue` in a packet of the socket's pool, waiting on
// `events` (EV_DATA) for one (udp.cpp; host and link sockets alike).
UINT receive_datagram(NX_UDP_SOCKET* socket, std::deque<udp_impl::datagram>& queue,
                      TX_EVENT_FLAGS_GROUP* events, NX_PACKET** packet, ULONG wait);
// A closed server socket takes the port's listening place again, or at once
// the first connection waiting there (`give` hands it over): the relisten of
// host and link sockets alike. `s` is the socket's record, `listeners` its
// instance's listeners by port.
template <class Listeners, class Socket, class Give>
UINT relisten_place(Listeners& listeners, UINT port, NX_TCP_SOCKET* socket, Socket* s, Give give) {
    auto it = listeners.find(port);
    if (it == listeners.end()) return NX_NOT_ENABLED;
    if (socket->state != NX_TCP_CLOSED) return NX_NOT_CLOSED;
    auto l = it->second;
    CInterruptLock lock;
    if (l->socket && l->socket != socket) return NX_INVALID_RELISTEN;
    s->listener = l;
    socket->port = port;
    if (!l->waiting.empty()) {
        auto conn = l->waiting.front();
        l->waiting.pop_front();
        give(l, socket, conn);
        return NX_CONNECTION_PENDING;
    }
    l->socket = socket;
    socket->state = NX_TCP_LISTEN_STATE;
    return NX_SUCCESS;
}
// The TCP socket records of host and link sockets share their life cycle:
// these templates serve both (`Record` is tcp_impl or the link's record, kept
// in `socket->impl` as a std::shared_ptr<Record>).

// Creates the socket's record: its event group and the socket's fields.
template <class Record>
UINT create_tcp_record(NX_IP* ip, ip_impl* ipi, NX_TCP_SOCKET* socket, const char* name,
                       ULONG window, nx_tcp_notify_fn disconnect) {
    auto sp = std::make_shared<Record>();
    if (tx_event_flags_create(&sp->events, name) != TX_SUCCESS) return NX_NOT_CREATED;
    *socket = NX_TCP_SOCKET{};
    socket->name = name;
    socket->ip = ip;
    socket->state = NX_TCP_CLOSED;
    socket->window = window;
    sp->socket = socket;
    sp->ip = ipi;
    sp->disconnect = disconnect;
    socket->impl = new std::shared_ptr<Record>(sp);
    return NX_SUCCESS;
}
// Ends the record's life: no host event acts on it any more, `drop` closes
// its connection, then its event group and holder go.
template <class Record, class Drop>
UINT delete_tcp_record(NX_TCP_SOCKET* socket, Record* s, Drop drop) {
    {
        CInterruptLock lock;
        s->alive = false;
    }
    drop(s);
    tx_event_flags_delete(&s->events);
    delete static_cast<std::shared_ptr<Record>*>(socket->impl);
    socket->impl = nullptr;
    return NX_SUCCESS;
}
// Why a listen on `port` is refused (NX_SUCCESS when it is not).
template <class Listeners>
UINT listen_refusal(const Listeners& listeners, UINT port, const NX_TCP_SOCKET* socket) {
    if (port == 0 || port > 0xFFFF) return NX_INVALID_PORT;
    if (socket->state != NX_TCP_CLOSED) return NX_NOT_CLOSED;
    if (listeners.count(port)) return NX_DUPLICATE_LISTEN;
    return NX_SUCCESS;
}
// The socket takes the new listener's listening place on `port`.
template <class Listeners, class Listener, class Record>
void take_listening_place(Listeners& listeners, const std::shared_ptr<Listener>& l, UINT port,
                          NX_TCP_SOCKET* socket, Record* s) {
    CInterruptLock lock;
    listeners[port] = l;
    l->socket = socket;
    s->listener = l;
    socket->port = port;
    socket->state = NX_TCP_LISTEN_STATE;
}
// A server socket gives up its connection (`drop`) and its listening place.
template <class Record, class Drop>
UINT unaccept_socket(NX_TCP_SOCKET* socket, Record* s, Drop drop) {
    drop(s);
    CInterruptLock lock;
    if (s->listener && s->listener->socket == socket) s->listener->socket = nullptr;
    s->listener.reset();
    socket->state = NX_TCP_CLOSED;
    return NX_SUCCESS;
}
// A listener that is going: nothing more reaches it and its socket is closed
// (call under the interrupt lock).
template <class Listener> void retire_listener(Listener& l) {
    l.alive = false;
    if (l.socket) {
        l.socket->state = NX_TCP_CLOSED;
        l.socket = nullptr;
    }
}
// A server socket's accept: a connection given to it completes (in
// CLOSE_WAIT when `peer_closed` says the peer already went), else it waits
// on `events` (EV_ACCEPT) (tcp.cpp; host and link sockets alike).
UINT accept_connection(NX_TCP_SOCKET* socket, TX_EVENT_FLAGS_GROUP* events,
                       const std::function<bool()>& peer_closed, ULONG wait);

} // namespace netstack

namespace host {

// Connections the sign opens to `ip`:`port` (equipment on its LAN, such as
// the cellular modem's command port) go to `host_ip`:`host_port` on the host
// instead, where a local program plays that equipment. Port 0 removes it.
void netstack_redirect_tcp(uint32_t ip, uint16_t port, uint32_t host_ip, uint16_t host_port);

} // namespace host
