// UDP sockets over host datagram sockets bound to the instance's address.
#include "platform/kernel/host.h"
#include "platform/netstack/internal.h"
#include "platform/netstack/link_stack.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace netstack;

namespace {

typedef std::shared_ptr<udp_impl> udp_ptr;

udp_ptr* holder(NX_UDP_SOCKET* socket) {
    return socket ? static_cast<udp_ptr*>(socket->impl) : nullptr;
}

udp_impl* impl_of(NX_UDP_SOCKET* socket) {
    udp_ptr* h = holder(socket);
    return h ? h->get() : nullptr;
}

void on_datagram(const udp_ptr& sp, int fd, udp_impl::datagram d) {
    if (!sp->alive || sp->fd != fd) return;
    if (sp->received.size() >= sp->queue_max) {
        sp->ip->udp_dropped++;
        return;
    }
    sp->received.push_back(std::move(d));
    sp->ip->udp_received++;
    tx_event_flags_set(&sp->events, EV_DATA, TX_OR);
    if (sp->notify) {
        defer(sp->ip, [sp] {
            if (sp->alive && sp->notify) sp->notify(sp->socket);
        });
    }
}

// Datagrams the processor takes itself from a watched socket at one look:
// the rest wait for the next look, so that one busy port cannot hold the
// processor.
const int DATAGRAMS_PER_LOOK = 16;

// The processor found the socket readable (interrupt context): the
// datagrams waiting are read whole into the socket's queue, all of them in
// one system call.
void take_datagrams(const udp_ptr& sp, int fd) {
    static uint8_t buffers[DATAGRAMS_PER_LOOK][65536]; // only the processor runs interrupt handlers
    static sockaddr_in peers[DATAGRAMS_PER_LOOK];
    mmsghdr messages[DATAGRAMS_PER_LOOK] = {};
    iovec vectors[DATAGRAMS_PER_LOOK];
    for (int i = 0; i < DATAGRAMS_PER_LOOK; i++) {
        vectors[i] = {buffers[i], sizeof buffers[i]};
        messages[i].msg_hdr.msg_iov = &vectors[i];
        messages[i].msg_hdr.msg_iovlen = 1;
        messages[i].msg_hdr.msg_name = &peers[i];
        messages[i].msg_hdr.msg_namelen = sizeof peers[i];
    }
    int count = recvmmsg(fd, messages, DATAGRAMS_PER_LOOK, MSG_DONTWAIT, nullptr);
    for (int i = 0; i < count && sp->alive && sp->fd == fd; i++) {
        const uint8_t* data = buffers[i];
        on_datagram(sp, fd,
                    {bytes(data, data + messages[i].msg_len), ntohl(peers[i].sin_addr.s_addr),
                     ntohs(peers[i].sin_port)});
    }
}

// Datagrams reach the processor without a host thread between: the
// processor watches the socket itself where the kernel offers it (the real
// clock), else the reactor reads them and raises an interrupt each.
void watch(const udp_ptr& sp, int fd) {
    if (host::watch_while_idle(fd, [sp, fd] { take_datagrams(sp, fd); })) {
        sp->watched_by_processor = true;
        return;
    }
    watch_datagram(fd, [sp, fd](bytes data, uint32_t from_ip, uint16_t from_port) {
        udp_impl::datagram d{std::move(data), from_ip, from_port};
        to_kernel([sp, fd, d] { on_datagram(sp, fd, d); });
    });
}

// Answers to datagrams that still wait in the socket's queue are held, and
// leave with the answer to the last of them in one system call: a manager
// with several requests in flight is woken once for all the answers. They
// leave at the latest when the reader comes back to wait, or when the
// kernel's threads at that work wait or give way (hold_output).
const size_t HELD_MAX = 32;

// Sockets with held datagrams (only the processor touches them).
std::vector<udp_ptr>& holding() {
    static std::vector<udp_ptr> sockets;
    return sockets;
}

// The held datagrams of one socket leave, all in one system call where the
// host takes them; a datagram the host refuses is counted invalid (it was
// counted sent when held) and the rest go on. -> whether the last one left.
bool send_held(udp_impl& s) {
    mmsghdr messages[HELD_MAX] = {};
    iovec vectors[HELD_MAX];
    sockaddr_in to[HELD_MAX] = {};
    for (size_t i = 0; i < s.held_count; i++) {
        const udp_impl::datagram& d = s.held[i];
        vectors[i] = {const_cast<uint8_t*>(d.data.data()), d.data.size()};
        to[i].sin_family = AF_INET;
        to[i].sin_addr.s_addr = htonl(d.ip);
        to[i].sin_port = htons(d.port);
        messages[i].msg_hdr.msg_iov = &vectors[i];
        messages[i].msg_hdr.msg_iovlen = 1;
        messages[i].msg_hdr.msg_name = &to[i];
        messages[i].msg_hdr.msg_namelen = sizeof to[i];
    }
    bool last_left = true;
    for (size_t done = 0; done < s.held_count;) {
        int n = s.fd < 0 ? -1
                         : sendmmsg(s.fd, messages + done,
                                    static_cast<unsigned>(s.held_count - done), 0);
        last_left = n > 0;
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else {
            s.ip->udp_invalid++;
            s.ip->udp_sent--;
            done++;
        }
    }
    s.held_count = 0;
    return last_left;
}

void send_all_held() {
    std::vector<udp_ptr> sockets;
    sockets.swap(holding());
    for (const udp_ptr& sp : sockets)
        send_held(*sp);
}

// The datagram joins the socket's held ones (counted sent); false when the
// kernel does not let output wait here (outside a thread).
bool hold_datagram(const udp_ptr& sp, const NX_PACKET* packet, ULONG ip_address, UINT port) {
    udp_impl& s = *sp;
    if (s.held_count == HELD_MAX) send_held(s);
    if (!host::hold_output(s.reader_priority, send_all_held)) return false;
    if (s.held_count == 0) holding().push_back(sp);
    if (s.held.size() == s.held_count) s.held.emplace_back();
    udp_impl::datagram& d = s.held[s.held_count++];
    d.data.assign(packet->prepend_ptr, packet->prepend_ptr + packet->length);
    d.ip = static_cast<uint32_t>(ip_address);
    d.port = static_cast<uint16_t>(port);
    s.ip->udp_sent++;
    return true;
}

} // namespace

namespace netstack {

UINT receive_datagram(NX_UDP_SOCKET* socket, std::deque<udp_impl::datagram>& queue,
                      TX_EVENT_FLAGS_GROUP* events, NX_PACKET** packet, ULONG wait) {
    ULONG start = tx_time_get();
    for (;;) {
        bool has;
        {
            CInterruptLock lock;
            has = !queue.empty();
        }
        if (has) {
            NX_PACKET* p = nullptr;
            UINT rc = nx_packet_allocate(socket->ip->default_pool, &p, NX_UDP_PACKET, NX_NO_WAIT);
            if (rc != NX_SUCCESS) return NX_NO_PACKET;
            CInterruptLock lock;
            udp_impl::datagram d = std::move(queue.front());
            queue.pop_front();
            size_t room = p->data_end - p->append_ptr;
            // A datagram longer than a packet gives the packet's room of its
            // first bytes (counted invalid): a reader that frames its
            // datagrams sees from their header that the rest is missing, and
            // can answer the sender.
            size_t n = d.data.size();
            if (n > room) {
                ip_impl* ipi = ip_of(socket->ip);
                if (ipi) ipi->udp_invalid++;
                n = room;
                p->cut = 1;
            }
            std::copy(d.data.begin(), d.data.begin() + static_cast<std::ptrdiff_t>(n),
                      p->append_ptr);
            p->append_ptr += n;
            p->length = static_cast<ULONG>(n);
            p->source_ip = d.ip;
            p->source_port = d.port;
            *packet = p;
            return NX_SUCCESS;
        }
        UINT rc = wait_events(events, EV_DATA, remaining(wait, start), NX_NO_PACKET);
        if (rc != NX_SUCCESS) return rc;
    }
}

} // namespace netstack

UINT nx_udp_socket_create(NX_IP* ip, NX_UDP_SOCKET* socket, const char* name, ULONG type_of_service,
                          ULONG fragment, UINT time_to_live, ULONG queue_maximum) {
    (void)type_of_service;
    (void)fragment;
    (void)time_to_live;
    ip_impl* ipi = ip_of(ip);
    if (!ipi || !socket) return NX_PTR_ERROR;
    if (ipi->link) return link_udp_create(ip, socket, name, queue_maximum);
    udp_ptr sp = std::make_shared<udp_impl>();
    if (tx_event_flags_create(&sp->events, name) != TX_SUCCESS) return NX_NOT_CREATED;
    *socket = NX_UDP_SOCKET{};
    socket->name = name;
    socket->ip = ip;
    sp->socket = socket;
    sp->ip = ipi;
    sp->queue_max = queue_maximum;
    socket->impl = new udp_ptr(sp);
    return NX_SUCCESS;
}

UINT nx_udp_socket_delete(NX_UDP_SOCKET* socket) {
    if (is_link_udp(socket)) return link_udp_delete(socket);
    udp_impl* s = impl_of(socket);
    if (!s) return NX_PTR_ERROR;
    if (s->fd >= 0) return NX_STILL_BOUND;
    s->alive = false;
    tx_event_flags_delete(&s->events);
    delete holder(socket);
    socket->impl = nullptr;
    return NX_SUCCESS;
}

UINT nx_udp_socket_bind(NX_UDP_SOCKET* socket, UINT port, ULONG wait) {
    (void)wait;
    if (is_link_udp(socket)) return link_udp_bind(socket, port);
    udp_impl* s = impl_of(socket);
    if (!s) return NX_PTR_ERROR;
    if (s->fd >= 0) return NX_ALREADY_BOUND;
    if (port > 0xFFFF) return NX_INVALID_PORT;
    if (port != NX_ANY_PORT && s->ip->udp_ports.count(port)) return NX_PORT_UNAVAILABLE;
    int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) return NX_IP_INTERNAL_ERROR;
    make_nonblocking(fd);
    uint16_t host_port = port ? static_cast<uint16_t>(nx_ip_host_port(port)) : 0;
    int bound = !port       ? bind_address(fd, s->ip->host_address, host_port)
                : host_port ? bind_server_address(fd, "UDP", s->ip->host_address, host_port)
                            : -1; // the offset puts it outside the host's ports
    if (bound != 0) {
        close(fd);
        return NX_PORT_UNAVAILABLE;
    }
    if (port == NX_ANY_PORT) {
        sockaddr_in a{};
        socklen_t len = sizeof a;
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
    }
    udp_ptr sp = *holder(socket);
    s->fd = fd;
    socket->port = port;
    s->ip->udp_ports[port] = sp;
    watch(sp, fd);
    return NX_SUCCESS;
}

UINT nx_udp_socket_unbind(NX_UDP_SOCKET* socket) {
    if (is_link_udp(socket)) return link_udp_unbind(socket);
    udp_impl* s = impl_of(socket);
    if (!s) return NX_PTR_ERROR;
    if (s->fd < 0) return NX_NOT_BOUND;
    send_held(*s);
    if (s->watched_by_processor) {
        host::unwatch_while_idle(s->fd);
        close(s->fd);
        s->watched_by_processor = false;
    } else {
        forget(s->fd);
    }
    CInterruptLock lock;
    s->ip->udp_ports.erase(socket->port);
    s->fd = -1;
    s->received.clear();
    socket->port = 0;
    return NX_SUCCESS;
}

UINT nx_udp_socket_send(NX_UDP_SOCKET* socket, NX_PACKET* packet, ULONG ip_address, UINT port) {
    if (is_link_udp(socket)) return link_udp_send(socket, packet, ip_address, port);
    udp_impl* s = impl_of(socket);
    if (!s || !packet) return NX_PTR_ERROR;
    if (!packet->allocated) return NX_INVALID_PACKET;
    if (s->fd < 0) return NX_NOT_BOUND;
    const bool more_waiting = !s->received.empty();
    if ((more_waiting || s->held_count > 0) &&
        hold_datagram(*holder(socket), packet, ip_address, port)) {
        if (!more_waiting && !send_held(*s)) return NX_NOT_SUCCESSFUL;
        nx_packet_transmit_release(packet);
        return NX_SUCCESS;
    }
    send_held(*s); // what was held leaves first
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(ip_address);
    to.sin_port = htons(static_cast<uint16_t>(port));
    ssize_t n = sendto(s->fd, packet->prepend_ptr, packet->length, 0,
                       reinterpret_cast<sockaddr*>(&to), sizeof to);
    if (n < 0) {
        s->ip->udp_invalid++;
        return NX_NOT_SUCCESSFUL;
    }
    s->ip->udp_sent++;
    nx_packet_transmit_release(packet);
    return NX_SUCCESS;
}

UINT nx_udp_socket_receive(NX_UDP_SOCKET* socket, NX_PACKET** packet, ULONG wait) {
    if (is_link_udp(socket)) return link_udp_receive(socket, packet, wait);
    udp_impl* s = impl_of(socket);
    if (!s || !packet) return NX_PTR_ERROR;
    *packet = nullptr;
    if (s->fd < 0) return NX_NOT_BOUND;
    s->reader_priority = host::current_priority();
    if (s->received.empty()) send_held(*s); // the reader waits: the answers leave
    return receive_datagram(socket, s->received, &s->events, packet, wait);
}

UINT nx_udp_socket_receive_notify(NX_UDP_SOCKET* socket, nx_udp_notify_fn notify) {
    if (is_link_udp(socket)) return link_udp_receive_notify(socket, notify);
    udp_impl* s = impl_of(socket);
    if (!s) return NX_PTR_ERROR;
    s->notify = notify;
    return NX_SUCCESS;
}

UINT nx_udp_source_extract(NX_PACKET* packet, ULONG* ip_address, UINT* port) {
    if (!packet || !ip_address || !port) return NX_PTR_ERROR;
    *ip_address = packet->source_ip;
    *port = packet->source_port;
    return NX_SUCCESS;
}

UINT nx_udp_info_get(NX_IP* ip, ULONG* packets_sent, ULONG* packets_received,
                     ULONG* invalid_packets, ULONG* packets_dropped) {
    ip_impl* ipi = ip_of(ip);
    if (!ipi) return NX_PTR_ERROR;
    if (packets_sent) *packets_sent = ipi->udp_sent;
    if (packets_received) *packets_received = ipi->udp_received;
    if (invalid_packets) *invalid_packets = ipi->udp_invalid;
    if (packets_dropped) *packets_dropped = ipi->udp_dropped;
    return NX_SUCCESS;
}
