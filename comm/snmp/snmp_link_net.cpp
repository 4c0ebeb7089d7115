// The net drivers of the PPP and PMPP agents (one mechanism, a row of
// differences per link kind), their dispatch entries, the TCP thread of the
// link's IP network and the link drivers of the link IP instances.
#include "comm/snmp/snmp_link_net.h"
#include "comm/links/pmpp.h"
#include "comm/links/pmpp_rdi.h"
#include "comm/links/ppp.h"
#include "comm/snmp/snmp_agent.h"
#include "runtime/console.h"
#include "store/database.h"
#include "store/objects.h"

#include <cstring>

namespace {

const ULONG IP_STACK_BYTES = 2048;
const ULONG ARP_CACHE_BYTES = 1024;
const ULONG TCP_STACK_BYTES = 2048;
const UINT IP_PRIORITY = 2;
const UINT TCP_PRIORITY = 3;
const ULONG LINK_MASK = 0xFFFF0000u;
const ULONG IDLE_TICKS = 50;
const ULONG ACCEPT_TICKS = 500;
const ULONG DISCONNECT_TICKS = 4;
const UINT UDP_QUEUE = 30;
const ULONG TCP_WINDOW = 1000;
const uint8_t IPI_IP = 0x21;
const uint8_t IPI_SNMP = 0xC1;
const uint8_t LAYER_UDP = 1;
const uint8_t LAYER_TCP = 2;
const uint32_t UDP_IP_HEADERS = 28;
const uint32_t TOO_BIG_ROOM = 300;
const ULONG CONNECTED_EVENT = 0x1;

// The packets of the link instances: one holds a datagram of the longest link MTU.
const ULONG LINK_PACKET_PAYLOAD = PMPP_FRAME_BYTES + 64;
const ULONG LINK_PACKETS = 24;

NX_PACKET_POOL& link_pool() {
    static NX_PACKET_POOL pool;
    static bool created = false;
    alignas(8) static uint8_t memory[LINK_PACKETS * (LINK_PACKET_PAYLOAD + 64)];
    if (!created) {
        created = nx_packet_pool_create(&pool, "SNMP link packets", LINK_PACKET_PAYLOAD, memory,
                                        sizeof memory) == NX_SUCCESS;
        nx_link_driver_carries_ip(_nx_ppp_driver);
        nx_link_driver_carries_ip(_nx_pmpp_driver);
    }
    return pool;
}

// What differs between the PPP and the PMPP driver.
struct link_kind {
    const char* driver;  // the name its messages begin with
    const char* ip_name; // of the link IP instance
    nx_link_driver_fn link_driver;
    int (*create)(snmp_agent* agent);
    uint8_t (*last_ipi)(snmp_agent* agent);
    void (*send_direct)(snmp_agent* agent, const uint8_t* data, uint32_t length);
    bool tcp_not_connected_said; // the driver tells when a TCP response finds no connection
    uint32_t mtu;
    // Whether a datagram of this message goes out in one frame (null: always).
    bool (*one_frame)(const uint8_t* message, uint32_t length);
    // Whether the message goes out whole in one frame of the link itself.
    bool (*direct_fits)(snmp_agent* agent, const uint8_t* message, uint32_t length);
};

// ---- PPP ----

ppp_link* ppp_of(snmp_agent* agent) {
    return static_cast<ppp_link*>(agent->link);
}

int ppp_link_create(snmp_agent* agent) {
    NX_IP* ip = agent->net ? &agent->net->ip : nullptr;
    if (ppp_create(ppp_of(agent), "SNMP OVER PPP", ip, agent, 3, nullptr, nullptr) != 0)
        console_printf("snmp_ppp_net_drv PPP create for SNMP failed\n");
    return 0;
}

uint8_t ppp_last_ipi(snmp_agent* agent) {
    return ppp_of(agent)->framing;
}

void ppp_send_direct(snmp_agent* agent, const uint8_t* data, uint32_t length) {
    ntcip_packet_send(agent, ppp_of(agent), data, length);
}

bool ppp_direct_fits(snmp_agent* agent, const uint8_t* data, uint32_t length) {
    return ppp_frame_bytes(ppp_of(agent), PPP_SNMP, data, length) <= PPP_FRAME_BYTES;
}

// ---- PMPP ----

pmpp_link* pmpp_of(snmp_agent* agent) {
    return static_cast<pmpp_link*>(agent->link);
}

int pmpp_link_create(snmp_agent* agent) {
    pmpp_link* link = pmpp_of(agent);
    link->held_length = 0;
    NX_IP* ip = agent->net ? &agent->net->ip : nullptr;
    int rc = pmpp_create(link, "SNMP OVER pmpp", ip, agent, 3, nullptr, nullptr, nullptr);
    if (rc != 0) console_printf("snmp_pmpp_net_drv pmpp create for SNMP failed\n");
    return rc;
}

uint8_t pmpp_last_ipi(snmp_agent* agent) {
    return pmpp_of(agent)->ipi;
}

void pmpp_send_direct(snmp_agent* agent, const uint8_t* data, uint32_t length) {
    pmpp_link* link = pmpp_of(agent);
    if (link->rdi_flag)
        rdi_send_blocks(agent, link, data, length);
    else
        ntcip_pmpp_packet_send(agent, link, data, length);
    TheDatabase().IncCounter(obj::snmpOutPkts);
}

// The PMPP link sends a datagram in frames of its transmit buffer, escaped:
// the message's own escapes and the headers' worst case must leave room.
bool pmpp_one_frame(const uint8_t* message, uint32_t length) {
    const uint32_t FRAME_OVERHEAD = 2 + 4 + 4 + 10; // flags, address to IPI, FCS, sending margin
    uint32_t raw = FRAME_OVERHEAD + 2 * UDP_IP_HEADERS;
    for (uint32_t i = 0; i < length; i++)
        raw += message[i] == 0x7D || message[i] == 0x7E ? 2 : 1;
    return raw <= PMPP_FRAME_BYTES;
}

// A frame of the link itself: flag, address field, control and IPI, the
// escaped message, FCS and flag, with the header's worst case of escapes.
// The block transfer mode cuts a response into blocks of its own.
bool pmpp_direct_fits(snmp_agent* agent, const uint8_t* data, uint32_t length) {
    const uint32_t FRAME_OVERHEAD = 1 + 4 + 2 + 4 + 1;
    pmpp_link* link = pmpp_of(agent);
    if (link->rdi_flag) return true;
    uint32_t raw = FRAME_OVERHEAD;
    for (uint32_t i = 0; i < length; i++)
        raw += data[i] == 0x7D || data[i] == 0x7E ? 2 : 1;
    return raw <= link->max_frame;
}

const link_kind PPP_KIND = {"snmp_ppp_net_drv",
                            "PPP over SNMP/IP",
                            _nx_ppp_driver,
                            ppp_link_create,
                            ppp_last_ipi,
                            ppp_send_direct,
                            false,
                            PPP_MTU,
                            nullptr,
                            ppp_direct_fits};
const link_kind PMPP_KIND = {"snmp_pmpp_net_drv",
                             "PMPP over SNMP/IP",
                             _nx_pmpp_driver,
                             pmpp_link_create,
                             pmpp_last_ipi,
                             pmpp_send_direct,
                             true,
                             PMPP_FRAME_BYTES,
                             pmpp_one_frame,
                             pmpp_direct_fits};

// ---- The TCP thread and the socket callbacks ----

snmp_agent* agent_of(NX_TCP_SOCKET* socket) {
    return static_cast<snmp_agent*>(socket->user_data);
}

void tcp_listen_callback(NX_TCP_SOCKET* socket, UINT) {
    tx_thread_resume(&agent_of(socket)->net->tcp_thread);
}

void tcp_disconnect_callback(NX_TCP_SOCKET* socket) {
    snmp_link_net* net = agent_of(socket)->net;
    if (net->connected != 1) return;
    net->connected = 0;
    tx_thread_wait_abort(&net->tcp_thread);
    if (net->dispatch_thread) tx_thread_wait_abort(net->dispatch_thread);
}

// Accepts one connection at a time; while it lasts the TCP dispatch thread
// reads it. When it ends the listen on 161 is armed again (on both links).
void tcp_thread_entry(ULONG agent_number) {
    snmp_agent* agent = snmp_agent_by_number(agent_number);
    snmp_link_net* net = agent->net;
    for (;;) {
        if (nx_tcp_server_socket_accept(&net->tcp, ACCEPT_TICKS) != NX_SUCCESS) {
            tx_thread_sleep(1);
            continue;
        }
        net->connected = 1;
        tx_event_flags_set(&net->events, CONNECTED_EVENT, TX_OR);
        while (net->connected == 1)
            tx_thread_sleep(IDLE_TICKS);
        nx_tcp_socket_disconnect(&net->tcp, DISCONNECT_TICKS);
        nx_tcp_server_socket_unaccept(&net->tcp);
        net->connected = 0;
        net->rearmed = 1;
        if (net->relisten_ip)
            nx_tcp_server_socket_relisten(net->relisten_ip, SNMP_LINK_PORT, &net->tcp);
    }
}

// ---- The driver commands ----

int create(const link_kind& kind, snmp_agent* agent, uint8_t* memory, uint32_t* used) {
    *used = 0;
    snmp_link_net* net = agent->net;
    int rc = kind.create(agent);
    if (rc != 0 || !net) return rc;
    link_pool();
    ULONG address = ULONG(agent->address[0]) << 24 | agent->address[1] << 16 |
                    agent->address[2] << 8 | agent->address[3];
    UINT status = nx_ip_create(&net->ip, kind.ip_name, address, LINK_MASK, &link_pool(),
                               kind.link_driver, memory, IP_STACK_BYTES, IP_PRIORITY);
    if (status != NX_SUCCESS) {
        console_printf("snmp_pmpp_net_drv: nx_ip_create failed:0x%02X\n", status);
        return int(status);
    }
    net->ip_created = true;
    tx_event_flags_create(&net->events, "SNMP link events");
    status = nx_arp_enable(&net->ip, memory + IP_STACK_BYTES, ARP_CACHE_BYTES);
    if (status != NX_SUCCESS) {
        console_printf("snmp_pmpp_net_drv: nx_arp_enable failed:0x%02X\n", status);
        return int(status);
    }
    if ((status = nx_icmp_enable(&net->ip)) != NX_SUCCESS)
        console_printf("snmp_pmpp_net_drv: nx_icmp_enable failed:0x%02X\n", status);
    if ((status = nx_udp_enable(&net->ip)) != NX_SUCCESS)
        console_printf("snmp_pmpp_net_drv: nx_udp_enable failed:0x%02X\n", status);
    uint8_t* tcp_stack = memory + IP_STACK_BYTES + ARP_CACHE_BYTES;
    std::memset(tcp_stack, 0xEF, TCP_STACK_BYTES);
    status =
        tx_thread_create(&net->tcp_thread, "tcp thread", tcp_thread_entry, snmp_agent_number(agent),
                         tcp_stack, TCP_STACK_BYTES, TCP_PRIORITY, TCP_PRIORITY, 1, TX_AUTO_START);
    if (status != TX_SUCCESS)
        console_printf("tcp_thread_initialize: tx_thread_create error 0x%02X!\n", status);
    UINT tcp = nx_tcp_enable(&net->ip);
    if (tcp != NX_SUCCESS) console_printf("snmp_pmpp_net_drv: nx_tcp_enable failed:0x%02X\n", tcp);
    *used = SNMP_LINK_NET_BYTES;
    return 0;
}

int open(snmp_agent* agent) {
    snmp_link_net* net = agent->net;
    UINT rc =
        nx_udp_socket_create(&net->ip, &net->udp, "UDP IP Socket", 0x100000, 0, 128, UDP_QUEUE);
    if (rc != NX_SUCCESS)
        console_printf("snmp_pmpp_net_drv: nx_udp_socket_create failed:0x%02X\n", rc);
    rc = nx_udp_socket_bind(&net->udp, SNMP_LINK_PORT, NX_WAIT_FOREVER);
    if (rc != NX_SUCCESS)
        console_printf("snmp_pmpp_net_drv: nx_udp_socket_bind failed:0x%02X\n", rc);
    rc = nx_tcp_socket_create(&net->ip, &net->tcp, "TCP IP Socket", 0, 0, 128, TCP_WINDOW, nullptr,
                              tcp_disconnect_callback);
    if (rc != NX_SUCCESS)
        console_printf("snmp_pmpp_net_drv: nx_tcp_socket_create failed:0x%02X\n", rc);
    net->tcp.user_data = agent;
    net->relisten_ip = &net->ip;
    net->rearmed = 0;
    net->dispatch_thread = &agent->dispatch[1];
    rc = nx_tcp_server_socket_listen(&net->ip, SNMP_LINK_PORT, &net->tcp, 1, tcp_listen_callback);
    if (rc != NX_SUCCESS)
        console_printf("snmp_pmpp_net_drv: nx_tcp_server_socket_listen failed:0x%02X\n", rc);
    return 0;
}

// Copies the packet's data out (at most the buffer) and releases it.
uint32_t copy_out(NX_PACKET* packet, uint8_t* buffer, uint32_t room) {
    ULONG copied = 0;
    nx_packet_data_retrieve(packet, buffer, room, &copied);
    nx_packet_release(packet);
    return uint32_t(copied);
}

int receive(snmp_agent* agent, uint32_t transport, uint8_t* buffer, uint32_t* length) {
    snmp_link_net* net = agent->net;
    NX_PACKET* packet = nullptr;
    uint32_t room = *length ? *length : SNMP_MESSAGE_BUFFER;
    if (transport == 0) {
        if (nx_udp_socket_receive(&net->udp, &packet, NX_WAIT_FOREVER) != NX_SUCCESS) return 1;
        snmp_way_back way{LAYER_UDP, uint32_t(packet->source_ip), uint16_t(packet->source_port)};
        *length = copy_out(packet, buffer, room);
        net->way[0] = net->last = way;
        return 0;
    }
    if (transport != 1) return 1;
    if (net->connected != 1) { // idle until a connection is accepted (at most 50 ticks)
        ULONG actual = 0;
        tx_event_flags_get(&net->events, CONNECTED_EVENT, TX_OR_CLEAR, &actual, IDLE_TICKS);
        return 1;
    }
    UINT rc = nx_tcp_socket_receive(&net->tcp, &packet, NX_WAIT_FOREVER);
    if (rc != NX_SUCCESS) { // the connection ended: the TCP thread closes it at once
        if (net->connected) {
            net->connected = 0;
            tx_thread_wait_abort(&net->tcp_thread);
        }
        return int(rc);
    }
    ULONG peer_ip = 0, peer_port = 0;
    nx_tcp_socket_peer_info_get(&net->tcp, &peer_ip, &peer_port);
    *length = copy_out(packet, buffer, room);
    net->way[1] = net->last = snmp_way_back{LAYER_TCP, uint32_t(peer_ip), uint16_t(peer_port)};
    return 0;
}

// A packet of the link pool holding the message; null when none can be had.
NX_PACKET* message_packet(const link_kind& kind, const uint8_t* data, uint32_t length,
                          ULONG header) {
    NX_PACKET* packet = nullptr;
    UINT rc = nx_packet_allocate(&link_pool(), &packet, header, NX_WAIT_FOREVER);
    if (rc != NX_SUCCESS) {
        console_printf("%s: nx_packet_allocate failed:0x%02X\n", kind.driver, rc);
        return nullptr;
    }
    if (nx_packet_data_append(packet, data, length, &link_pool(), NX_NO_WAIT) != NX_SUCCESS) {
        console_printf("%s: response of %u bytes does not fit a packet\n", kind.driver,
                       unsigned(length));
        nx_packet_release(packet);
        return nullptr;
    }
    return packet;
}

// Whether a message goes out in one datagram of the link's IP network.
bool datagram_fits(const link_kind& kind, const uint8_t* data, uint32_t length) {
    uint32_t limit = kind.mtu - UDP_IP_HEADERS;
    if (limit > LINK_PACKET_PAYLOAD - NX_TCP_PACKET) limit = LINK_PACKET_PAYLOAD - NX_TCP_PACKET;
    return length <= limit && (!kind.one_frame || kind.one_frame(data, length));
}

// A response longer than one datagram of the link (or one packet) is
// answered tooBig instead. -> false when not even that can be built.
bool fit(const link_kind& kind, const uint8_t*& data, uint32_t& length) {
    if (datagram_fits(kind, data, length)) return true;
    static uint8_t too_big[TOO_BIG_ROOM];
    uint32_t answer = pmpp_too_big_answer(data, length, too_big, sizeof too_big);
    if (answer == 0) {
        console_printf("%s: response of %u bytes does not fit a datagram\n", kind.driver,
                       unsigned(length));
        return false;
    }
    TheDatabase().IncCounter(obj::snmpOutTooBigs);
    data = too_big;
    length = answer;
    return true;
}

void send_ip(const link_kind& kind, snmp_agent* agent, const snmp_way_back& way,
             const uint8_t* data, uint32_t length) {
    snmp_link_net* net = agent->net;
    if (!fit(kind, data, length)) return;
    if (way.layer == LAYER_UDP) {
        NX_PACKET* packet = message_packet(kind, data, length, NX_UDP_PACKET);
        if (!packet) return;
        UINT rc = nx_udp_socket_send(&net->udp, packet, way.peer_ip, way.peer_port);
        if (rc == NX_SUCCESS) {
            TheDatabase().IncCounter(obj::snmpOutPkts);
            return;
        }
        console_printf("%s: nx_udp_socket_send failed:0x%02X\n", kind.driver, rc);
        nx_packet_release(packet);
        return;
    }
    if (way.layer == LAYER_TCP) {
        if (net->connected != 1) {
            if (kind.tcp_not_connected_said)
                console_printf("%s: unable to tx over tcp, not connected\n", kind.driver);
            return;
        }
        NX_PACKET* packet = message_packet(kind, data, length, NX_TCP_PACKET);
        if (!packet) return;
        UINT rc = nx_tcp_socket_send(&net->tcp, packet, NX_WAIT_FOREVER);
        if (rc == NX_SUCCESS) return;
        console_printf("%s: nx_tcp_socket_send failed:0x%02X\n", kind.driver, rc);
        nx_packet_release(packet);
        return;
    }
    console_printf("%s: invalid snmp_ip_layer\n", kind.driver);
}

// A dispatch thread answers over the link's IP network by the way its own
// request came; anything else (the link's worker) follows the link's last IPI.
// -> the IPI of the answer; transport: the dispatch thread's, or -1.
uint8_t answer_ipi(const link_kind& kind, snmp_agent* agent, int* transport) {
    TX_THREAD* self = tx_thread_identify();
    *transport = self == &agent->dispatch[0] ? 0 : self == &agent->dispatch[1] ? 1 : -1;
    return *transport >= 0 && agent->net ? IPI_IP : kind.last_ipi(agent);
}

// Whether the response goes out whole the way send() would take.
bool fits(const link_kind& kind, snmp_agent* agent, const uint8_t* data, uint32_t length) {
    int transport = -1;
    uint8_t ipi = answer_ipi(kind, agent, &transport);
    if (ipi == IPI_SNMP) return kind.direct_fits(agent, data, length);
    return ipi != IPI_IP || datagram_fits(kind, data, length);
}

int send(const link_kind& kind, snmp_agent* agent, const uint8_t* data, uint32_t length) {
    snmp_link_net* net = agent->net;
    int transport = -1;
    uint8_t ipi = answer_ipi(kind, agent, &transport);
    if (ipi == IPI_SNMP)
        kind.send_direct(agent, data, length);
    else if (ipi == IPI_IP && net)
        send_ip(kind, agent, transport >= 0 ? net->way[transport] : net->last, data, length);
    else
        console_printf("%s: invalid IPI specified\n", kind.driver);
    return 0;
}

int net_driver(const link_kind& kind, snmp_agent* agent, uint32_t transport, uint32_t command,
               void* arg1, void* arg2) {
    switch (command) {
    case SNMP_DRIVER_CREATE:
        return create(kind, agent, static_cast<uint8_t*>(arg1), static_cast<uint32_t*>(arg2));
    case SNMP_DRIVER_OPEN:
        return agent->net ? open(agent) : 1;
    case SNMP_DRIVER_RECEIVE:
        if (!agent->net) {
            tx_thread_sleep(IDLE_TICKS);
            return 1;
        }
        return receive(agent, transport, static_cast<uint8_t*>(arg1), static_cast<uint32_t*>(arg2));
    case SNMP_DRIVER_SEND:
        return send(kind, agent, static_cast<const uint8_t*>(arg1), *static_cast<uint32_t*>(arg2));
    case SNMP_DRIVER_FITS:
        return fits(kind, agent, static_cast<const uint8_t*>(arg1), *static_cast<uint32_t*>(arg2))
                   ? 0
                   : 1;
    case SNMP_DRIVER_DELETE: {
        UINT rc = agent->net ? nx_udp_socket_delete(&agent->net->udp) : NX_SUCCESS;
        if (rc != NX_SUCCESS && &kind == &PPP_KIND)
            console_printf("snmp_ppp_net_drv: nx_udp_socket_delete failed:0x%02X\n", rc);
        return 0;
    }
    default:
        return 0;
    }
}

// ---- Dispatch ----

// Waits until the link's IP instance has its link enabled.
void wait_for_link(snmp_agent* agent) {
    ULONG actual = 0;
    nx_ip_status_check(&agent->net->ip, NX_IP_LINK_ENABLED, &actual, NX_WAIT_FOREVER);
}

void serve(snmp_agent* agent, uint32_t transport) {
    for (;;) {
        wait_for_link(agent);
        uint32_t length = SNMP_MESSAGE_BUFFER;
        if (agent->driver(agent, transport, SNMP_DRIVER_RECEIVE, agent->receive_buffer, &length) ==
            0)
            snmp_message_process(agent, agent->receive_buffer, length);
    }
}

// ---- The link drivers ----

struct link_ops {
    void* (*find)(NX_IP* ip);
    ULONG mtu;
    void (*mark_up)(void* link, bool up);
    void (*send)(void* link, const uint8_t* datagram, uint32_t length);
};

template <class Link> Link* find_link(NX_IP* ip, Link* (*in_table)(uint32_t)) {
    for (uint32_t i = 0; i < 10; i++)
        if (Link* link = in_table(i))
            if (link->ip == ip) return link;
    return nullptr;
}

void link_driver(const link_ops& ops, NX_IP_DRIVER* request) {
    void* link = ops.find(request->ip);
    switch (request->command) {
    case NX_LINK_INITIALIZE:
        if (!link) {
            request->status = NX_IP_INTERNAL_ERROR;
            return;
        }
        request->ip->mtu = ops.mtu;
        request->ip->address_mapping_needed = 0;
        request->ip->link_up = 0;
        request->status = NX_SUCCESS;
        return;
    case NX_LINK_ENABLE:
    case NX_LINK_DISABLE: {
        bool up = request->command == NX_LINK_ENABLE;
        request->ip->link_up = up;
        if (link && ops.mark_up) ops.mark_up(link, up);
        request->status = NX_SUCCESS;
        return;
    }
    case NX_LINK_GET_STATUS:
        if (request->return_ptr) *request->return_ptr = request->ip->link_up;
        request->status = NX_SUCCESS;
        return;
    case NX_LINK_PACKET_SEND:
    case NX_LINK_PACKET_BROADCAST:
        if (link && request->packet)
            ops.send(link, request->packet->prepend_ptr, request->packet->length);
        if (request->packet) nx_packet_transmit_release(request->packet);
        request->status = NX_SUCCESS;
        return;
    default:
        request->status = NX_UNHANDLED_COMMAND;
    }
}

const link_ops PPP_OPS = {
    [](NX_IP* ip) -> void* { return find_link<ppp_link>(ip, ppp_worker_link); },
    PPP_MTU,
    nullptr, // the link is up once IPCP has opened
    [](void* link, const uint8_t* d, uint32_t n) {
        ppp_ip_send(static_cast<ppp_link*>(link), d, n);
    },
};
const link_ops PMPP_OPS = {
    [](NX_IP* ip) -> void* { return find_link<pmpp_link>(ip, pmpp_worker_link); },
    PMPP_FRAME_BYTES,
    [](void* link, bool up) { static_cast<pmpp_link*>(link)->up = up; },
    [](void* link, const uint8_t* d, uint32_t n) {
        pmpp_ip_send(static_cast<pmpp_link*>(link), d, n);
    },
};

} // namespace

int snmp_ppp_net_drv(snmp_agent* agent, uint32_t transport, uint32_t command, void* arg1,
                     void* arg2) {
    return net_driver(PPP_KIND, agent, transport, command, arg1, arg2);
}

int snmp_pmpp_net_drv(snmp_agent* agent, uint32_t transport, uint32_t command, void* arg1,
                      void* arg2) {
    return net_driver(PMPP_KIND, agent, transport, command, arg1, arg2);
}

void ppp_udp_ip_thread_entry(ULONG agent_number) {
    snmp_agent* agent = snmp_agent_by_number(agent_number);
    if (!agent || agent->driver(agent, 0, SNMP_DRIVER_OPEN, nullptr, nullptr) != 0) {
        console_printf("ppp_udp_ip_thread_entry: failed to create socket\n");
        return;
    }
    serve(agent, 0);
}

void snmp_tcp_dispatch_entry(ULONG agent_number) {
    snmp_agent* agent = snmp_agent_by_number(agent_number);
    tx_thread_sleep(IDLE_TICKS);
    if (agent && agent->net) serve(agent, 1);
}

void _nx_ppp_driver(void* request) {
    link_driver(PPP_OPS, static_cast<NX_IP_DRIVER*>(request));
}

void _nx_pmpp_driver(void* request) {
    link_driver(PMPP_OPS, static_cast<NX_IP_DRIVER*>(request));
}

void snmp_link_net_address_set(snmp_agent* agent, uint32_t address, uint32_t mask) {
    if (!agent->net || !agent->net->ip_created) return;
    nx_ip_address_set(&agent->net->ip, address, mask);
}
