// The link IP instances on lwIP (see link_stack.h for the design).
#include "platform/netstack/link_stack.h"
#include "platform/netstack/internal.h"

// The stack's options declare its core lock's functions without C linkage.
extern "C" {
#include "lwip/ip4.h"
#include "lwip/netif.h"
#include "lwip/pbuf.h"
#include "lwip/tcp.h"
#include "lwip/tcpip.h"
#include "lwip/udp.h"
}

#include <algorithm>
#include <mutex>
#include <type_traits>
#include <vector>

namespace netstack {

struct link_net {
    ip_impl* ip = nullptr;
    struct netif netif {};
    // Per port: the socket in the listening place and the connections that wait.
    std::map<UINT, std::shared_ptr<struct link_listener>> listeners;
    std::map<UINT, struct tcp_pcb*> listen_pcbs; // lwIP side, under the core lock
};

namespace {

// ---- The lwIP side and the kernel side --------------------------------------------

typedef std::vector<std::function<void()>> actions;
thread_local actions* collecting = nullptr;

// Hand `fn` to the kernel: after the core lock is released (a kernel thread
// entered lwIP), or as an interrupt (lwIP's own thread).
void to_firmware(std::function<void()> fn) {
    if (collecting)
        collecting->push_back(std::move(fn));
    else
        to_kernel(std::move(fn));
}

void start_lwip() {
    static std::once_flag once;
    std::call_once(once, [] { tcpip_init(nullptr, nullptr); });
}

// Run `fn` inside lwIP, then what it reported.
template <class F> auto locked(F fn) -> decltype(fn()) {
    start_lwip();
    actions after;
    actions* outer = collecting;
    collecting = &after;
    struct finish {
        actions& after;
        actions* outer;
        ~finish() {
            UNLOCK_TCPIP_CORE();
            collecting = outer;
            for (auto& action : after)
                action();
        }
    };
    LOCK_TCPIP_CORE();
    finish done{after, outer};
    return fn();
}

// A link reaches one peer: no address but the link's own is on it, so no
// route ever picks another link by its subnet. What has no socket bound to
// a link yet (a connection's first answer, ICMP) leaves by the default
// netif, which is the link the datagram in hand came from.
const ULONG POINT_TO_POINT = 0xFFFFFFFFu;

ip4_addr_t lwip_address(ULONG address) {
    ip4_addr_t a;
    ip4_addr_set_u32(&a, lwip_htonl(address));
    return a;
}

ULONG host_order(const ip_addr_t* address) {
    return lwip_ntohl(ip4_addr_get_u32(ip_2_ip4(address)));
}

link_net* net_of(NX_IP* ip) {
    ip_impl* impl = ip_of(ip);
    return impl ? impl->link : nullptr;
}

// ---- Datagrams to and from the link --------------------------------------------------

// On the instance's IP thread: the datagram goes to the link driver in a packet.
void send_to_driver(ip_impl* ip, const bytes& datagram) {
    NX_PACKET* packet = nullptr;
    if (nx_packet_allocate(ip->ip->default_pool, &packet, NX_IP_PACKET, NX_NO_WAIT) != NX_SUCCESS) {
        ip->udp_dropped++;
        return;
    }
    if (nx_packet_data_append(packet, datagram.data(), ULONG(datagram.size()), nullptr,
                              NX_NO_WAIT) != NX_SUCCESS) {
        nx_packet_release(packet); // longer than a packet of the instance's pool
        ip->udp_dropped++;
        return;
    }
    NX_IP_DRIVER request{};
    request.command = NX_LINK_PACKET_SEND;
    request.packet = packet;
    request.ip = ip->ip;
    ip->driver(&request);
}

err_t netif_output(struct netif* netif, struct pbuf* p, const ip4_addr_t*) {
    link_net* net = static_cast<link_net*>(netif->state);
    bytes datagram(p->tot_len);
    pbuf_copy_partial(p, datagram.data(), p->tot_len, 0);
    ip_impl* ip = net->ip;
    to_firmware([ip, datagram] { defer(ip, [ip, datagram] { send_to_driver(ip, datagram); }); });
    return ERR_OK;
}

err_t netif_setup(struct netif* netif) {
    netif->name[0] = 's';
    netif->name[1] = 'l';
    netif->mtu = 1500;
    netif->output = netif_output;
    netif->flags = NETIF_FLAG_LINK_UP;
    return ERR_OK;
}

// ---- UDP --------------------------------------------------------------------------------

struct link_udp {
    NX_UDP_SOCKET* socket = nullptr;
    ip_impl* ip = nullptr;
    TX_EVENT_FLAGS_GROUP events{};
    nx_udp_notify_fn notify = nullptr;
    std::deque<udp_impl::datagram> received;
    ULONG queue_max = 0;
    struct udp_pcb* pcb = nullptr; // lwIP side
    bool alive = true;
};
typedef std::shared_ptr<link_udp> udp_ptr;

udp_ptr* udp_holder(NX_UDP_SOCKET* socket) {
    return socket ? static_cast<udp_ptr*>(socket->impl) : nullptr;
}

link_udp* udp_of(NX_UDP_SOCKET* socket) {
    udp_ptr* h = udp_holder(socket);
    return h ? h->get() : nullptr;
}

void datagram_arrived(const udp_ptr& sp, const udp_impl::datagram& d) {
    CInterruptLock lock;
    if (!sp->alive || !sp->pcb) return;
    if (sp->received.size() >= sp->queue_max) {
        sp->ip->udp_dropped++;
        return;
    }
    sp->received.push_back(d);
    sp->ip->udp_received++;
    tx_event_flags_set(&sp->events, EV_DATA, TX_OR);
    if (sp->notify) {
        defer(sp->ip, [sp] {
            if (sp->alive && sp->notify) sp->notify(sp->socket);
        });
    }
}

void udp_received(void* arg, struct udp_pcb*, struct pbuf* p, const ip_addr_t* address,
                  u16_t port) {
    udp_ptr sp = *static_cast<udp_ptr*>(arg);
    udp_impl::datagram d{bytes(p->tot_len), host_order(address), port};
    pbuf_copy_partial(p, d.data.data(), p->tot_len, 0);
    pbuf_free(p);
    to_firmware([sp, d] { datagram_arrived(sp, d); });
}

// ---- TCP --------------------------------------------------------------------------------

// One connection on a link: lwIP's side (the pcb, under the core lock) and
// the kernel's (what it received, whether the peer closed, the socket that
// holds it).
struct link_conn {
    struct tcp_pcb* pcb = nullptr;
    std::deque<uint8_t> received;
    bool peer_closed = false;
    NX_TCP_SOCKET* owner = nullptr;
    uint32_t peer_ip = 0;
    uint16_t peer_port = 0;
};
typedef std::shared_ptr<link_conn> conn_ptr;

struct link_tcp {
    NX_TCP_SOCKET* socket = nullptr;
    ip_impl* ip = nullptr;
    TX_EVENT_FLAGS_GROUP events{};
    nx_tcp_notify_fn disconnect = nullptr;
    nx_tcp_notify_fn receive_notify = nullptr;
    conn_ptr conn;
    std::shared_ptr<struct link_listener> listener;
    bool alive = true;
};
typedef std::shared_ptr<link_tcp> tcp_ptr;

tcp_ptr* tcp_holder(NX_TCP_SOCKET* socket) {
    return socket ? static_cast<tcp_ptr*>(socket->impl) : nullptr;
}

link_tcp* tcp_of(NX_TCP_SOCKET* socket) {
    tcp_ptr* h = tcp_holder(socket);
    return h ? h->get() : nullptr;
}

} // namespace

struct link_listener {
    link_net* net = nullptr;
    UINT port = 0;
    UINT queue_max = 0;
    std::deque<conn_ptr> waiting;
    NX_TCP_SOCKET* socket = nullptr;
    nx_tcp_listen_fn notify = nullptr;
    bool alive = true;
};

namespace {

// Forget the pcb on lwIP's side and close it (inside lwIP).
void close_pcb(const conn_ptr& conn) {
    struct tcp_pcb* pcb = conn->pcb;
    if (!pcb) return;
    conn->pcb = nullptr;
    delete static_cast<conn_ptr*>(pcb->callback_arg);
    tcp_arg(pcb, nullptr);
    tcp_recv(pcb, nullptr);
    tcp_err(pcb, nullptr);
    if (tcp_close(pcb) != ERR_OK) tcp_abort(pcb);
}

void conn_closed(const conn_ptr& conn) {
    CInterruptLock lock;
    conn->peer_closed = true;
    NX_TCP_SOCKET* socket = conn->owner;
    link_tcp* s = tcp_of(socket);
    if (!s || s->conn != conn) return;
    if (socket->state == NX_TCP_ESTABLISHED) socket->state = NX_TCP_CLOSE_WAIT;
    tx_event_flags_set(&s->events, EV_CLOSED | EV_DATA, TX_OR);
    if (s->disconnect) {
        tcp_ptr sp = *tcp_holder(socket);
        defer(s->ip, [sp] {
            if (sp->alive && sp->disconnect) sp->disconnect(sp->socket);
        });
    }
}

void conn_data(const conn_ptr& conn, const bytes& data) {
    CInterruptLock lock;
    conn->received.insert(conn->received.end(), data.begin(), data.end());
    link_tcp* s = tcp_of(conn->owner);
    if (!s || s->conn != conn) return;
    s->ip->tcp_received++;
    tx_event_flags_set(&s->events, EV_DATA, TX_OR);
    if (s->receive_notify) {
        tcp_ptr sp = *tcp_holder(conn->owner);
        defer(s->ip, [sp] {
            if (sp->alive && sp->receive_notify) sp->receive_notify(sp->socket);
        });
    }
}

err_t conn_received(void* arg, struct tcp_pcb* pcb, struct pbuf* p, err_t) {
    conn_ptr conn = *static_cast<conn_ptr*>(arg);
    if (!p) {
        to_firmware([conn] { conn_closed(conn); });
        return ERR_OK;
    }
    bytes data(p->tot_len);
    pbuf_copy_partial(p, data.data(), p->tot_len, 0);
    tcp_recved(pcb, p->tot_len);
    pbuf_free(p);
    to_firmware([conn, data] { conn_data(conn, data); });
    return ERR_OK;
}

// The pcb is gone (reset or aborted): lwIP freed it.
void conn_error(void* arg, err_t) {
    conn_ptr* holder = static_cast<conn_ptr*>(arg);
    conn_ptr conn = *holder;
    conn->pcb = nullptr;
    delete holder;
    to_firmware([conn] { conn_closed(conn); });
}

// A connection reaches the socket in the port's listening place (kernel side).
void give_connection(const std::shared_ptr<link_listener>& l, NX_TCP_SOCKET* socket,
                     const conn_ptr& conn) {
    tcp_ptr sp = *tcp_holder(socket);
    l->socket = nullptr;
    socket->state = NX_TCP_SYN_RECEIVED;
    conn->owner = socket;
    sp->conn = conn;
    tx_event_flags_set(
        &sp->events, conn->received.empty() ? ULONG(EV_ACCEPT) : ULONG(EV_ACCEPT | EV_DATA), TX_OR);
    if (l->notify) {
        nx_tcp_listen_fn notify = l->notify;
        UINT port = l->port;
        defer(l->net->ip, [sp, notify, port] {
            if (sp->alive) notify(sp->socket, port);
        });
    }
}

void refuse(ip_impl* ip, const conn_ptr& conn) {
    ip->tcp_dropped++;
    defer(ip, [conn] { locked([conn] { close_pcb(conn); }); });
}

void connection_arrived(const std::shared_ptr<link_listener>& l, const conn_ptr& conn) {
    CInterruptLock lock;
    if (l->alive && l->socket && l->socket->state == NX_TCP_LISTEN_STATE)
        give_connection(l, l->socket, conn);
    else if (l->alive && l->waiting.size() < l->queue_max)
        l->waiting.push_back(conn);
    else
        refuse(l->net->ip, conn);
}

err_t conn_accepted(void* arg, struct tcp_pcb* pcb, err_t err) {
    if (err != ERR_OK || !pcb) return ERR_VAL;
    std::shared_ptr<link_listener> l = *static_cast<std::shared_ptr<link_listener>*>(arg);
    tcp_bind_netif(pcb, &l->net->netif);
    conn_ptr conn = std::make_shared<link_conn>();
    conn->pcb = pcb;
    conn->peer_ip = host_order(&pcb->remote_ip);
    conn->peer_port = pcb->remote_port;
    tcp_arg(pcb, new conn_ptr(conn));
    tcp_recv(pcb, conn_received);
    tcp_err(pcb, conn_error);
    to_firmware([l, conn] { connection_arrived(l, conn); });
    return ERR_OK;
}

// Detach the socket's connection and close it inside lwIP.
void drop_connection(link_tcp* s) {
    conn_ptr conn;
    {
        CInterruptLock lock;
        conn.swap(s->conn);
        if (conn) conn->owner = nullptr;
    }
    if (!conn) return;
    locked([conn] { close_pcb(conn); });
}

// A received-data packet from `source` (the receive window at most).
UINT take_bytes(NX_TCP_SOCKET* socket, std::deque<uint8_t>& source, NX_PACKET** packet) {
    NX_PACKET* p = nullptr;
    if (nx_packet_allocate(socket->ip->default_pool, &p, NX_TCP_PACKET, NX_NO_WAIT) != NX_SUCCESS)
        return NX_NO_PACKET;
    CInterruptLock lock;
    size_t n = std::min<size_t>(source.size(), p->data_end - p->append_ptr);
    if (socket->window) n = std::min<size_t>(n, socket->window);
    std::copy(source.begin(), source.begin() + n, p->append_ptr);
    source.erase(source.begin(), source.begin() + n);
    p->append_ptr += n;
    p->length = ULONG(n);
    *packet = p;
    return NX_SUCCESS;
}

nx_link_driver_fn carriers[8];

} // namespace

// ---- Instances --------------------------------------------------------------------------

bool link_driver_carries_ip(nx_link_driver_fn driver) {
    CInterruptLock lock;
    return driver &&
           std::find(std::begin(carriers), std::end(carriers), driver) != std::end(carriers);
}

bool is_link_ip(const NX_IP* ip) {
    return ip && ip->impl && static_cast<ip_impl*>(ip->impl)->link;
}

bool link_ip_attach(ip_impl* ip) {
    link_net* net = new link_net;
    net->ip = ip;
    ip4_addr_t address = lwip_address(ip->ip->address), mask = lwip_address(POINT_TO_POINT),
               gateway = lwip_address(0);
    bool added = locked([&] {
        if (!netif_add(&net->netif, &address, &mask, &gateway, net, netif_setup, ip_input))
            return false;
        netif_set_up(&net->netif);
        return true;
    });
    if (!added) {
        delete net;
        return false;
    }
    ip->link = net;
    return true;
}

void link_ip_address_set(ip_impl* ip) {
    link_net* net = ip->link;
    ip4_addr_t address = lwip_address(ip->ip->address);
    locked([&] { netif_set_ipaddr(&net->netif, &address); });
}

void link_ip_initialized(ip_impl* ip) {
    link_net* net = ip->link;
    ULONG mtu = ip->ip->mtu;
    if (mtu) locked([&] { net->netif.mtu = u16_t(std::min<ULONG>(mtu, 0xFFFF)); });
}

void link_ip_input(ip_impl* ip, const uint8_t* datagram, ULONG length) {
    link_net* net = ip->link;
    if (length == 0 || length > 0xFFFF) return;
    locked([&] {
        struct pbuf* p = pbuf_alloc(PBUF_RAW, u16_t(length), PBUF_RAM);
        if (!p) return;
        pbuf_take(p, datagram, u16_t(length));
        netif_set_default(&net->netif); // what answers before it is bound leaves by this link
        if (net->netif.input(p, &net->netif) != ERR_OK) pbuf_free(p);
    });
}

// ---- UDP --------------------------------------------------------------------------------

bool is_link_udp(const NX_UDP_SOCKET* socket) {
    return socket && is_link_ip(socket->ip);
}

UINT link_udp_create(NX_IP* ip, NX_UDP_SOCKET* socket, const char* name, ULONG queue_maximum) {
    udp_ptr sp = std::make_shared<link_udp>();
    if (tx_event_flags_create(&sp->events, name) != TX_SUCCESS) return NX_NOT_CREATED;
    *socket = NX_UDP_SOCKET{};
    socket->name = name;
    socket->ip = ip;
    sp->socket = socket;
    sp->ip = ip_of(ip);
    sp->queue_max = queue_maximum;
    socket->impl = new udp_ptr(sp);
    return NX_SUCCESS;
}

UINT link_udp_delete(NX_UDP_SOCKET* socket) {
    link_udp* s = udp_of(socket);
    if (!s) return NX_PTR_ERROR;
    if (s->pcb) return NX_STILL_BOUND;
    s->alive = false;
    tx_event_flags_delete(&s->events);
    delete udp_holder(socket);
    socket->impl = nullptr;
    return NX_SUCCESS;
}

// Bound to the instance's netif, with reuse so that every link may bind the
// same port.
UINT link_udp_bind(NX_UDP_SOCKET* socket, UINT port) {
    link_udp* s = udp_of(socket);
    if (!s) return NX_PTR_ERROR;
    if (s->pcb) return NX_ALREADY_BOUND;
    if (port > 0xFFFF) return NX_INVALID_PORT;
    link_net* net = s->ip->link;
    udp_ptr* holder = udp_holder(socket);
    UINT rc = locked([&]() -> UINT {
        struct udp_pcb* pcb = udp_new();
        if (!pcb) return NX_IP_INTERNAL_ERROR;
        ip_set_option(pcb, SOF_REUSEADDR);
        udp_bind_netif(pcb, &net->netif);
        if (udp_bind(pcb, IP4_ADDR_ANY, u16_t(port)) != ERR_OK) {
            udp_remove(pcb);
            return NX_PORT_UNAVAILABLE;
        }
        udp_recv(pcb, udp_received, holder);
        s->pcb = pcb;
        socket->port = pcb->local_port;
        return NX_SUCCESS;
    });
    return rc;
}

UINT link_udp_unbind(NX_UDP_SOCKET* socket) {
    link_udp* s = udp_of(socket);
    if (!s) return NX_PTR_ERROR;
    if (!s->pcb) return NX_NOT_BOUND;
    locked([s] {
        udp_remove(s->pcb);
        s->pcb = nullptr;
    });
    CInterruptLock lock;
    s->received.clear();
    socket->port = 0;
    return NX_SUCCESS;
}

UINT link_udp_send(NX_UDP_SOCKET* socket, NX_PACKET* packet, ULONG ip_address, UINT port) {
    link_udp* s = udp_of(socket);
    if (!s || !packet) return NX_PTR_ERROR;
    if (!packet->allocated) return NX_INVALID_PACKET;
    if (!s->pcb) return NX_NOT_BOUND;
    if (packet->length > 0xFFFF - 28) return NX_SIZE_ERROR;
    ip_addr_t to;
    ip_addr_copy_from_ip4(to, lwip_address(ip_address));
    err_t err = locked([&]() -> err_t {
        struct pbuf* p = pbuf_alloc(PBUF_TRANSPORT, u16_t(packet->length), PBUF_RAM);
        if (!p) return ERR_MEM;
        pbuf_take(p, packet->prepend_ptr, u16_t(packet->length));
        err_t e = udp_sendto(s->pcb, p, &to, u16_t(port));
        pbuf_free(p);
        return e;
    });
    if (err != ERR_OK) {
        s->ip->udp_invalid++;
        return NX_NOT_SUCCESSFUL;
    }
    s->ip->udp_sent++;
    nx_packet_transmit_release(packet);
    return NX_SUCCESS;
}

UINT link_udp_receive(NX_UDP_SOCKET* socket, NX_PACKET** packet, ULONG wait) {
    link_udp* s = udp_of(socket);
    if (!s || !packet) return NX_PTR_ERROR;
    *packet = nullptr;
    if (!s->pcb) return NX_NOT_BOUND;
    return receive_datagram(socket, s->received, &s->events, packet, wait);
}

UINT link_udp_receive_notify(NX_UDP_SOCKET* socket, nx_udp_notify_fn notify) {
    link_udp* s = udp_of(socket);
    if (!s) return NX_PTR_ERROR;
    s->notify = notify;
    return NX_SUCCESS;
}

// ---- TCP --------------------------------------------------------------------------------

bool is_link_tcp(const NX_TCP_SOCKET* socket) {
    return socket && is_link_ip(socket->ip);
}

UINT link_tcp_create(NX_IP* ip, NX_TCP_SOCKET* socket, const char* name, ULONG window,
                     nx_tcp_notify_fn disconnect) {
    return create_tcp_record<link_tcp>(ip, ip_of(ip), socket, name, window, disconnect);
}

UINT link_tcp_delete(NX_TCP_SOCKET* socket) {
    link_tcp* s = tcp_of(socket);
    if (!s) return NX_PTR_ERROR;
    if (socket->state != NX_TCP_CLOSED) return NX_NOT_CLOSED;
    return delete_tcp_record(socket, s, [](link_tcp* r) { drop_connection(r); });
}

UINT link_tcp_receive_notify(NX_TCP_SOCKET* socket, nx_tcp_notify_fn notify) {
    link_tcp* s = tcp_of(socket);
    if (!s) return NX_PTR_ERROR;
    s->receive_notify = notify;
    return NX_SUCCESS;
}

// One lwIP listener per link and port, bound to the link's netif: reuse is
// on while binding and after (every link may take the port) and off while
// the listen starts (lwIP then looks for no other listener of the address).
UINT link_tcp_listen(NX_IP* ip, UINT port, NX_TCP_SOCKET* socket, UINT queue,
                     nx_tcp_listen_fn listen) {
    link_net* net = net_of(ip);
    link_tcp* s = tcp_of(socket);
    if (!net || !s) return NX_PTR_ERROR;
    if (UINT refusal = listen_refusal(net->listeners, port, socket)) return refusal;
    auto l = std::make_shared<link_listener>();
    l->net = net;
    l->port = port;
    l->queue_max = queue;
    l->notify = listen;
    auto* arg = new std::shared_ptr<link_listener>(l);
    UINT rc = locked([&]() -> UINT {
        struct tcp_pcb* pcb = tcp_new();
        if (!pcb) return NX_IP_INTERNAL_ERROR;
        ip_set_option(pcb, SOF_REUSEADDR);
        tcp_bind_netif(pcb, &net->netif);
        if (tcp_bind(pcb, IP4_ADDR_ANY, u16_t(port)) != ERR_OK) {
            tcp_abort(pcb);
            return NX_PORT_UNAVAILABLE;
        }
        ip_reset_option(pcb, SOF_REUSEADDR);
        struct tcp_pcb* listening =
            tcp_listen_with_backlog(pcb, u8_t(std::min<UINT>(queue + 1, 255)));
        if (!listening) {
            tcp_abort(pcb);
            return NX_PORT_UNAVAILABLE;
        }
        tcp_bind_netif(listening, &net->netif);
        ip_set_option(listening, SOF_REUSEADDR); // the next link's bind passes it
        tcp_arg(listening, arg);
        tcp_accept(listening, conn_accepted);
        net->listen_pcbs[port] = listening;
        return NX_SUCCESS;
    });
    if (rc != NX_SUCCESS) {
        delete arg;
        return rc;
    }
    take_listening_place(net->listeners, l, port, socket, s);
    return NX_SUCCESS;
}

UINT link_tcp_accept(NX_TCP_SOCKET* socket, ULONG wait) {
    link_tcp* s = tcp_of(socket);
    if (!s) return NX_PTR_ERROR;
    return accept_connection(
        socket, &s->events, [s] { return s->conn && s->conn->peer_closed; }, wait);
}

UINT link_tcp_relisten(NX_IP* ip, UINT port, NX_TCP_SOCKET* socket) {
    link_net* net = net_of(ip);
    link_tcp* s = tcp_of(socket);
    if (!net || !s) return NX_PTR_ERROR;
    return relisten_place(net->listeners, port, socket, s, give_connection);
}

UINT link_tcp_unaccept(NX_TCP_SOCKET* socket) {
    link_tcp* s = tcp_of(socket);
    if (!s) return NX_PTR_ERROR;
    return unaccept_socket(socket, s, [](link_tcp* r) { drop_connection(r); });
}

UINT link_tcp_unlisten(NX_IP* ip, UINT port) {
    link_net* net = net_of(ip);
    if (!net) return NX_PTR_ERROR;
    auto it = net->listeners.find(port);
    if (it == net->listeners.end()) return NX_ENTRY_NOT_FOUND;
    std::shared_ptr<link_listener> l = it->second;
    net->listeners.erase(it);
    std::deque<conn_ptr> waiting;
    {
        CInterruptLock lock;
        retire_listener(*l);
        waiting.swap(l->waiting);
    }
    locked([&] {
        auto pcb = net->listen_pcbs.find(port);
        if (pcb != net->listen_pcbs.end()) {
            delete static_cast<std::shared_ptr<link_listener>*>(pcb->second->callback_arg);
            tcp_arg(pcb->second, nullptr);
            tcp_close(pcb->second);
            net->listen_pcbs.erase(pcb);
        }
        for (const conn_ptr& conn : waiting)
            close_pcb(conn);
    });
    return NX_SUCCESS;
}

UINT link_tcp_disconnect(NX_TCP_SOCKET* socket) {
    link_tcp* s = tcp_of(socket);
    if (!s) return NX_PTR_ERROR;
    if (!s->conn) return NX_NOT_CONNECTED;
    drop_connection(s);
    socket->state = NX_TCP_CLOSED;
    return NX_SUCCESS;
}

UINT link_tcp_send(NX_TCP_SOCKET* socket, NX_PACKET* packet) {
    link_tcp* s = tcp_of(socket);
    if (!s || !packet) return NX_PTR_ERROR;
    if (!packet->allocated) return NX_INVALID_PACKET;
    conn_ptr conn = s->conn;
    if (!conn || conn->peer_closed ||
        (socket->state != NX_TCP_ESTABLISHED && socket->state != NX_TCP_CLOSE_WAIT))
        return NX_NOT_CONNECTED;
    UINT rc = locked([&]() -> UINT {
        if (!conn->pcb) return NX_NOT_CONNECTED;
        if (packet->length > tcp_sndbuf(conn->pcb)) return NX_TX_QUEUE_DEPTH;
        if (tcp_write(conn->pcb, packet->prepend_ptr, u16_t(packet->length), TCP_WRITE_FLAG_COPY) !=
            ERR_OK)
            return NX_TX_QUEUE_DEPTH;
        tcp_output(conn->pcb);
        return NX_SUCCESS;
    });
    if (rc != NX_SUCCESS) return rc;
    s->ip->tcp_sent++;
    nx_packet_transmit_release(packet);
    return NX_SUCCESS;
}

UINT link_tcp_receive(NX_TCP_SOCKET* socket, NX_PACKET** packet, ULONG wait) {
    link_tcp* s = tcp_of(socket);
    if (!s || !packet) return NX_PTR_ERROR;
    *packet = nullptr;
    ULONG start = tx_time_get();
    for (;;) {
        conn_ptr conn;
        bool has_data = false, closed = true;
        {
            CInterruptLock lock;
            conn = s->conn;
            if (conn) {
                has_data = !conn->received.empty();
                closed = conn->peer_closed;
            }
        }
        if (has_data) return take_bytes(socket, conn->received, packet);
        if (closed) return NX_NOT_CONNECTED;
        UINT rc =
            wait_events(&s->events, EV_DATA | EV_CLOSED, remaining(wait, start), NX_NO_PACKET);
        if (rc != NX_SUCCESS) return rc;
    }
}

UINT link_tcp_peer_info(NX_TCP_SOCKET* socket, ULONG* peer_ip, ULONG* peer_port) {
    link_tcp* s = tcp_of(socket);
    if (!s || !peer_ip || !peer_port) return NX_PTR_ERROR;
    if (!s->conn) return NX_NOT_CONNECTED;
    *peer_ip = s->conn->peer_ip;
    *peer_port = s->conn->peer_port;
    return NX_SUCCESS;
}

} // namespace netstack

using namespace netstack;

void nx_link_driver_carries_ip(nx_link_driver_fn driver) {
    CInterruptLock lock;
    if (link_driver_carries_ip(driver)) return;
    for (nx_link_driver_fn& slot : carriers) {
        if (slot) continue;
        slot = driver;
        return;
    }
}

void nx_link_datagram_receive(NX_IP* ip, const uint8_t* datagram, ULONG length) {
    ip_impl* impl = ip_of(ip);
    if (!impl || !impl->link || !datagram) return;
    link_ip_input(impl, datagram, length);
}
