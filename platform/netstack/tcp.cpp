// TCP sockets over host stream sockets: server sockets take connections from
// one host listener per port, clients connect from the instance's address.
#include "platform/netstack/internal.h"
#include "platform/netstack/link_stack.h"

#include <arpa/inet.h>
#include <cerrno>
#include <mutex>
#include <vector>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace netstack;

namespace {

const size_t RECEIVE_LIMIT = 64 * 1024; // host reads pause above this many queued bytes
const int LISTEN_BACKLOG = 8;

typedef std::shared_ptr<tcp_impl> tcp_ptr;

tcp_ptr* holder(NX_TCP_SOCKET* socket) {
    return socket ? static_cast<tcp_ptr*>(socket->impl) : nullptr;
}

tcp_impl* impl_of(NX_TCP_SOCKET* socket) {
    tcp_ptr* h = holder(socket);
    return h ? h->get() : nullptr;
}

void on_data(const tcp_ptr& sp, int fd, const bytes& data) {
    if (!sp->alive || sp->fd != fd) return;
    sp->received.insert(sp->received.end(), data.begin(), data.end());
    sp->queued = sp->received.size();
    sp->ip->tcp_received++;
    tx_event_flags_set(&sp->events, EV_DATA, TX_OR);
    if (sp->receive_notify) {
        defer(sp->ip, [sp] {
            if (sp->alive && sp->receive_notify) sp->receive_notify(sp->socket);
        });
    }
}

void on_closed(const tcp_ptr& sp, int fd) {
    if (!sp->alive || sp->fd != fd) return;
    sp->peer_closed = true;
    if (sp->socket->state == NX_TCP_ESTABLISHED) sp->socket->state = NX_TCP_CLOSE_WAIT;
    tx_event_flags_set(&sp->events, EV_CLOSED | EV_DATA, TX_OR);
    if (sp->disconnect) {
        defer(sp->ip, [sp] {
            if (sp->alive && sp->disconnect) sp->disconnect(sp->socket);
        });
    }
}

// Start reading a connected host socket into the socket's receive queue.
void attach_stream(const tcp_ptr& sp, int fd) {
    sp->fd = fd;
    sp->peer_closed = false;
    sp->received.clear();
    sp->queued = 0;
    stream_hooks hooks;
    hooks.data = [sp, fd](bytes data) { to_kernel([sp, fd, data] { on_data(sp, fd, data); }); };
    hooks.closed = [sp, fd] { to_kernel([sp, fd] { on_closed(sp, fd); }); };
    hooks.can_read = [sp] { return sp->queued.load() < RECEIVE_LIMIT; };
    watch_stream(fd, hooks);
}

void set_peer(tcp_impl* s, int fd) {
    sockaddr_in peer{};
    socklen_t len = sizeof peer;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &len) == 0) {
        s->peer_ip = ntohl(peer.sin_addr.s_addr);
        s->peer_port = ntohs(peer.sin_port);
    }
}

// A connection reaches the socket in the port's listening place (kernel context).
void give_connection(const std::shared_ptr<listener_impl>& l, NX_TCP_SOCKET* socket,
                     const listener_impl::pending& conn) {
    tcp_ptr sp = *holder(socket);
    l->socket = nullptr;
    socket->state = NX_TCP_SYN_RECEIVED;
    sp->peer_ip = conn.ip;
    sp->peer_port = conn.port;
    attach_stream(sp, conn.fd);
    tx_event_flags_set(&sp->events, EV_ACCEPT, TX_OR);
    if (l->notify) {
        nx_tcp_listen_fn notify = l->notify;
        UINT port = l->port;
        defer(l->ip, [sp, notify, port] {
            if (sp->alive) notify(sp->socket, port);
        });
    }
}

void on_connection(const std::shared_ptr<listener_impl>& l, listener_impl::pending conn) {
    if (l->alive && l->socket && l->socket->state == NX_TCP_LISTEN_STATE) {
        give_connection(l, l->socket, conn);
    } else if (l->alive && l->waiting.size() < l->queue_max) {
        l->waiting.push_back(conn);
    } else {
        close(conn.fd); // refused: no place and the queue is full
        l->ip->tcp_dropped++;
    }
}

// Close the host connection of a socket and forget what it received.
void drop_connection(tcp_impl* s) {
    CInterruptLock lock;
    forget(s->fd);
    s->fd = -1;
    s->received.clear();
    s->queued = 0;
    s->peer_closed = false;
}

// The client socket's host connection is up: it reads from now on.
UINT established(NX_TCP_SOCKET* socket, const tcp_ptr& sp, int fd) {
    socket->state = NX_TCP_ESTABLISHED;
    set_peer(sp.get(), fd);
    attach_stream(sp, fd);
    return NX_SUCCESS;
}

// A connect in progress on `fd`: the I/O thread reports its end; the wait
// may run out or be aborted, which gives the connect up.
UINT wait_connected(NX_TCP_SOCKET* socket, const tcp_ptr& sp, int fd, ULONG wait) {
    tcp_impl* s = sp.get();
    {
        CInterruptLock lock;
        s->fd = fd;
        s->connect_error = -1;
        socket->state = NX_TCP_SYN_SENT;
    }
    watch_connect(fd, [sp, fd](int error) {
        to_kernel([sp, fd, error] {
            if (!sp->alive || sp->fd != fd) {
                close(fd); // the connect was given up meanwhile
                return;
            }
            sp->connect_error = error;
            tx_event_flags_set(&sp->events, EV_CONNECTED, TX_OR);
        });
    });
    ULONG start = tx_time_get();
    for (;;) {
        int error;
        {
            CInterruptLock lock;
            error = s->connect_error;
        }
        if (error == 0) return established(socket, sp, fd);
        UINT rc = error > 0 ? NX_NOT_CONNECTED
                            : wait_events(&s->events, EV_CONNECTED, remaining(wait, start),
                                          NX_NOT_CONNECTED);
        if (rc != NX_SUCCESS) {
            {
                CInterruptLock lock;
                s->fd = -1;
                socket->state = NX_TCP_CLOSED;
            }
            forget(fd); // closes it unless the finished connect already left the watch
            if (error > 0) close(fd);
            return rc;
        }
    }
}

} // namespace

namespace netstack {

UINT accept_connection(NX_TCP_SOCKET* socket, TX_EVENT_FLAGS_GROUP* events,
                       const std::function<bool()>& peer_closed, ULONG wait) {
    ULONG start = tx_time_get();
    for (;;) {
        {
            CInterruptLock lock;
            if (socket->state == NX_TCP_SYN_RECEIVED) {
                socket->state = peer_closed() ? NX_TCP_CLOSE_WAIT : NX_TCP_ESTABLISHED;
                return NX_SUCCESS;
            }
            if (socket->state == NX_TCP_ESTABLISHED) return NX_SUCCESS;
            if (socket->state != NX_TCP_LISTEN_STATE) return NX_NOT_LISTEN_STATE;
        }
        UINT rc = wait_events(events, EV_ACCEPT, remaining(wait, start), NX_NOT_CONNECTED);
        if (rc != NX_SUCCESS) return rc;
    }
}

} // namespace netstack

UINT nx_tcp_socket_create(NX_IP* ip, NX_TCP_SOCKET* socket, const char* name, ULONG type_of_service,
                          ULONG fragment, UINT time_to_live, ULONG window, nx_tcp_notify_fn urgent,
                          nx_tcp_notify_fn disconnect) {
    (void)type_of_service;
    (void)fragment;
    (void)time_to_live;
    (void)urgent;
    ip_impl* ipi = ip_of(ip);
    if (!ipi || !socket) return NX_PTR_ERROR;
    if (ipi->link) return link_tcp_create(ip, socket, name, window, disconnect);
    return create_tcp_record<tcp_impl>(ip, ipi, socket, name, window, disconnect);
}

UINT nx_tcp_socket_delete(NX_TCP_SOCKET* socket) {
    if (is_link_tcp(socket)) return link_tcp_delete(socket);
    tcp_impl* s = impl_of(socket);
    if (!s) return NX_PTR_ERROR;
    if (socket->state != NX_TCP_CLOSED || s->bound) return NX_NOT_CLOSED;
    return delete_tcp_record(socket, s, [](tcp_impl* r) { drop_connection(r); });
}

UINT nx_tcp_socket_receive_notify(NX_TCP_SOCKET* socket, nx_tcp_notify_fn notify) {
    if (is_link_tcp(socket)) return link_tcp_receive_notify(socket, notify);
    tcp_impl* s = impl_of(socket);
    if (!s) return NX_PTR_ERROR;
    s->receive_notify = notify;
    return NX_SUCCESS;
}

UINT nx_tcp_server_socket_listen(NX_IP* ip, UINT port, NX_TCP_SOCKET* socket, UINT queue,
                                 nx_tcp_listen_fn listen_fn) {
    if (is_link_ip(ip)) return link_tcp_listen(ip, port, socket, queue, listen_fn);
    ip_impl* ipi = ip_of(ip);
    tcp_impl* s = impl_of(socket);
    if (!ipi || !s) return NX_PTR_ERROR;
    if (UINT refusal = listen_refusal(ipi->listeners, port, socket)) return refusal;
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return NX_IP_INTERNAL_ERROR;
    make_nonblocking(fd);
    if (nx_ip_host_port(port) == 0 ||
        bind_server_address(fd, "TCP", ipi->host_address,
                            static_cast<uint16_t>(nx_ip_host_port(port))) != 0 ||
        ::listen(fd, LISTEN_BACKLOG) != 0) {
        close(fd);
        return NX_PORT_UNAVAILABLE;
    }
    auto l = std::make_shared<listener_impl>();
    l->ip = ipi;
    l->port = port;
    l->fd = fd;
    l->queue_max = queue;
    l->notify = listen_fn;
    take_listening_place(ipi->listeners, l, port, socket, s);
    watch_listener(fd, [l](int conn, uint32_t peer_ip, uint16_t peer_port) {
        listener_impl::pending p{conn, peer_ip, peer_port};
        to_kernel([l, p] { on_connection(l, p); });
    });
    return NX_SUCCESS;
}

UINT nx_tcp_server_socket_accept(NX_TCP_SOCKET* socket, ULONG wait) {
    if (is_link_tcp(socket)) return link_tcp_accept(socket, wait);
    tcp_impl* s = impl_of(socket);
    if (!s) return NX_PTR_ERROR;
    return accept_connection(
        socket, &s->events, [s] { return s->peer_closed; }, wait);
}

UINT nx_tcp_server_socket_relisten(NX_IP* ip, UINT port, NX_TCP_SOCKET* socket) {
    if (is_link_ip(ip)) return link_tcp_relisten(ip, port, socket);
    ip_impl* ipi = ip_of(ip);
    tcp_impl* s = impl_of(socket);
    if (!ipi || !s) return NX_PTR_ERROR;
    return relisten_place(ipi->listeners, port, socket, s, give_connection);
}

UINT nx_tcp_server_socket_unaccept(NX_TCP_SOCKET* socket) {
    if (is_link_tcp(socket)) return link_tcp_unaccept(socket);
    tcp_impl* s = impl_of(socket);
    if (!s) return NX_PTR_ERROR;
    return unaccept_socket(socket, s, [](tcp_impl* r) { drop_connection(r); });
}

UINT nx_tcp_server_socket_unlisten(NX_IP* ip, UINT port) {
    if (is_link_ip(ip)) return link_tcp_unlisten(ip, port);
    ip_impl* ipi = ip_of(ip);
    if (!ipi) return NX_PTR_ERROR;
    auto it = ipi->listeners.find(port);
    if (it == ipi->listeners.end()) return NX_ENTRY_NOT_FOUND;
    std::shared_ptr<listener_impl> l = it->second;
    ipi->listeners.erase(it);
    forget(l->fd);
    CInterruptLock lock;
    retire_listener(*l);
    for (const listener_impl::pending& p : l->waiting)
        close(p.fd);
    l->waiting.clear();
    return NX_SUCCESS;
}

UINT nx_tcp_client_socket_bind(NX_TCP_SOCKET* socket, UINT port, ULONG wait) {
    (void)wait;
    tcp_impl* s = impl_of(socket);
    if (!s) return NX_PTR_ERROR;
    if (s->bound) return NX_ALREADY_BOUND;
    s->bound = true;
    s->bound_port = port;
    socket->port = port;
    return NX_SUCCESS;
}

UINT nx_tcp_client_socket_unbind(NX_TCP_SOCKET* socket) {
    tcp_impl* s = impl_of(socket);
    if (!s) return NX_PTR_ERROR;
    if (!s->bound) return NX_NOT_BOUND;
    if (socket->state != NX_TCP_CLOSED) return NX_NOT_CLOSED;
    s->bound = false;
    socket->port = 0;
    return NX_SUCCESS;
}

namespace {

struct tcp_redirect {
    uint32_t ip;
    uint16_t port;
    uint32_t host_ip;
    uint16_t host_port;
};
std::mutex g_redirect_lock;
std::vector<tcp_redirect> g_redirects;

// Where a connection to ip:port really goes.
void redirected(ULONG& ip, UINT& port) {
    std::lock_guard<std::mutex> hold(g_redirect_lock);
    for (const tcp_redirect& r : g_redirects)
        if (r.ip == ip && r.port == port) {
            ip = r.host_ip;
            port = r.host_port;
            return;
        }
}

} // namespace

void host::netstack_redirect_tcp(uint32_t ip, uint16_t port, uint32_t host_ip, uint16_t host_port) {
    std::lock_guard<std::mutex> hold(g_redirect_lock);
    for (size_t i = 0; i < g_redirects.size(); i++)
        if (g_redirects[i].ip == ip && g_redirects[i].port == port)
            g_redirects.erase(g_redirects.begin() + long(i));
    if (host_port) g_redirects.push_back({ip, port, host_ip, host_port});
}

UINT nx_tcp_client_socket_connect(NX_TCP_SOCKET* socket, ULONG server_ip, UINT server_port,
                                  ULONG wait) {
    if (is_link_tcp(socket)) return NX_NOT_IMPLEMENTED; // a link's instance only serves
    redirected(server_ip, server_port);
    tcp_impl* s = impl_of(socket);
    if (!s) return NX_PTR_ERROR;
    if (!s->bound) return NX_NOT_BOUND;
    if (socket->state != NX_TCP_CLOSED) return NX_NOT_CLOSED;
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return NX_IP_INTERNAL_ERROR;
    make_nonblocking(fd);
    uint16_t local = s->bound_port ? static_cast<uint16_t>(nx_ip_host_port(s->bound_port)) : 0;
    if ((s->bound_port && local == 0) || bind_address(fd, s->ip->host_address, local) != 0) {
        close(fd);
        return NX_PORT_UNAVAILABLE;
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(server_ip);
    to.sin_port = htons(static_cast<uint16_t>(server_port));
    if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0)
        return established(socket, *holder(socket), fd);
    if (errno != EINPROGRESS) {
        close(fd);
        return NX_NOT_CONNECTED;
    }
    return wait_connected(socket, *holder(socket), fd, wait);
}

UINT nx_tcp_socket_disconnect(NX_TCP_SOCKET* socket, ULONG wait) {
    (void)wait;
    if (is_link_tcp(socket)) return link_tcp_disconnect(socket);
    tcp_impl* s = impl_of(socket);
    if (!s) return NX_PTR_ERROR;
    if (s->fd < 0) return NX_NOT_CONNECTED;
    drop_connection(s);
    socket->state = NX_TCP_CLOSED;
    return NX_SUCCESS;
}

UINT nx_tcp_socket_send(NX_TCP_SOCKET* socket, NX_PACKET* packet, ULONG wait) {
    (void)wait;
    if (is_link_tcp(socket)) return link_tcp_send(socket, packet);
    tcp_impl* s = impl_of(socket);
    if (!s || !packet) return NX_PTR_ERROR;
    if (!packet->allocated) return NX_INVALID_PACKET;
    if (s->fd < 0 || s->peer_closed ||
        (socket->state != NX_TCP_ESTABLISHED && socket->state != NX_TCP_CLOSE_WAIT))
        return NX_NOT_CONNECTED;
    if (!stream_write(s->fd, packet->prepend_ptr, packet->length)) return NX_TX_QUEUE_DEPTH;
    s->ip->tcp_sent++;
    nx_packet_transmit_release(packet);
    return NX_SUCCESS;
}

UINT nx_tcp_socket_receive(NX_TCP_SOCKET* socket, NX_PACKET** packet, ULONG wait) {
    if (is_link_tcp(socket)) return link_tcp_receive(socket, packet, wait);
    tcp_impl* s = impl_of(socket);
    if (!s || !packet) return NX_PTR_ERROR;
    *packet = nullptr;
    ULONG start = tx_time_get();
    for (;;) {
        bool has_data, closed;
        {
            CInterruptLock lock;
            has_data = !s->received.empty();
            closed = s->peer_closed || s->fd < 0;
        }
        if (has_data) {
            NX_PACKET* p = nullptr;
            UINT rc = nx_packet_allocate(socket->ip->default_pool, &p, NX_TCP_PACKET, NX_NO_WAIT);
            if (rc != NX_SUCCESS) return NX_NO_PACKET;
            {
                CInterruptLock lock;
                size_t n = std::min<size_t>(s->received.size(), p->data_end - p->append_ptr);
                if (socket->window) n = std::min<size_t>(n, socket->window);
                std::copy(s->received.begin(), s->received.begin() + n, p->append_ptr);
                s->received.erase(s->received.begin(), s->received.begin() + n);
                s->queued = s->received.size();
                p->append_ptr += n;
                p->length = static_cast<ULONG>(n);
            }
            wake(); // reading may go on if it paused
            *packet = p;
            return NX_SUCCESS;
        }
        if (closed) return NX_NOT_CONNECTED;
        UINT rc =
            wait_events(&s->events, EV_DATA | EV_CLOSED, remaining(wait, start), NX_NO_PACKET);
        if (rc != NX_SUCCESS) return rc;
    }
}

UINT nx_tcp_socket_peer_info_get(NX_TCP_SOCKET* socket, ULONG* peer_ip, ULONG* peer_port) {
    if (is_link_tcp(socket)) return link_tcp_peer_info(socket, peer_ip, peer_port);
    tcp_impl* s = impl_of(socket);
    if (!s || !peer_ip || !peer_port) return NX_PTR_ERROR;
    if (s->fd < 0) return NX_NOT_CONNECTED;
    *peer_ip = s->peer_ip;
    *peer_port = s->peer_port;
    return NX_SUCCESS;
}

UINT nx_tcp_info_get(NX_IP* ip, ULONG* packets_sent, ULONG* packets_received,
                     ULONG* invalid_packets, ULONG* packets_dropped) {
    ip_impl* ipi = ip_of(ip);
    if (!ipi) return NX_PTR_ERROR;
    if (packets_sent) *packets_sent = ipi->tcp_sent;
    if (packets_received) *packets_received = ipi->tcp_received;
    if (invalid_packets) *invalid_packets = ipi->tcp_invalid;
    if (packets_dropped) *packets_dropped = ipi->tcp_dropped;
    return NX_SUCCESS;
}
