#include "comm/net/servers.h"

#include "comm/agents/ntcip_agents.h"
#include "comm/links/snmp_ethernet.h"
#include "runtime/console.h"
#include "runtime/letter_codes.h"
#include "runtime/os.h"
#include "runtime/pools.h"
#include "runtime/post_office.h"
#include "store/database.h"
#include "store/objects.h"

#include <cstring>

void tcp_slot_serve(uint32_t slot);

namespace {

const ULONG SLOT_STACK_BYTES = 2048;
const UINT SLOT_PRIORITY = 3;
const ULONG TCP_WINDOW = 1000;
const ULONG UDP_QUEUE = 1000;
const ULONG DISCONNECT_TICKS = 4;
const uint8_t TEXT_DATAGRAM_MARK = 13;
const uint32_t TEXT_DATAGRAM_HEADER = 8;
const char* const TCP_NAMES[2] = {"tcp thread", "tcp mutex"};
const char* const UDP_NAMES[2] = {"udp thread", "udp mutex"};

struct tcp_slot {
    NX_TCP_SOCKET socket;
    TX_THREAD thread;
    NX_IP* ip;
    bool free;
    UINT port;
    volatile bool connected;
    CTCP_Server* owner;
};

struct udp_slot {
    NX_UDP_SOCKET socket;
    TX_THREAD thread;
    bool free;
    UINT port;
    CUDP_Server* owner;
};

struct server_pools {
    tcp_slot tcp[TCP_SLOTS];
    udp_slot udp[UDP_SLOTS];
    NX_PACKET_POOL* tcp_packets = nullptr;
    NX_PACKET_POOL* udp_packets = nullptr;
    TX_MUTEX tcp_mutex{};
    TX_MUTEX udp_mutex{};
    bool tcp_ready = false;
    bool udp_ready = false;
};

server_pools& pools() {
    static server_pools p;
    return p;
}

// The link of the agent that carries a channel's SNMP messages.
ethernet_link* snmp_link(const char* agent_name) {
    int row = FindAgent(agent_name);
    if (row == AGENT_NOT_FOUND) return nullptr;
    CNTCIP* agent = AgentRow(row)->agent;
    return agent ? &agent->ethernet : nullptr;
}

ethernet_source tcp_source(CTCP_Server* server, uint32_t slot) {
    ethernet_source source;
    source.server = server;
    source.slot = static_cast<uint8_t>(slot);
    return source;
}

bool create_slot_thread(TX_THREAD* thread, const char* name, tx_entry_fn entry, uint32_t slot,
                        const char* failure) {
    void* stack = nullptr;
    if (os_byte_allocate(&thread_stack_pool(), &stack, SLOT_STACK_BYTES, OS_NO_WAIT) != OS_OK) {
        console_printf(failure, static_cast<unsigned>(TX_NO_MEMORY));
        return false;
    }
    std::memset(stack, 0xEF, SLOT_STACK_BYTES);
    UINT rc = tx_thread_create(thread, name, entry, slot, stack, SLOT_STACK_BYTES, SLOT_PRIORITY,
                               SLOT_PRIORITY, 1, TX_DONT_START);
    if (rc != TX_SUCCESS) {
        console_printf(failure, rc);
        os_byte_release(stack);
        return false;
    }
    return true;
}

void tcp_listen_callback(NX_TCP_SOCKET* socket, UINT port) {
    (void)socket;
    (void)port;
}

// A new connection: the SNMP framer starts again; a PPP channel's session
// starts again from LCP, so that each connection authenticates for itself.
void restart_stream(CTCP_Server* server, uint32_t slot) {
    if (server->channel == CHANNEL_PPP) {
        int row = FindAgent("ethernet_ppp");
        CNTCIP* agent = row == AGENT_NOT_FOUND ? nullptr : AgentRow(row)->agent;
        if (agent) ppp_session_restart(&agent->ppp, SESSION_ACTIVE);
        return;
    }
    if (server->channel != CHANNEL_SNMP) return;
    ethernet_stream_restart(snmp_link("ethernet_tcp"), tcp_source(server, slot));
}

void tcp_thread_entry(ULONG input) {
    tcp_slot_serve(static_cast<uint32_t>(input));
}

void udp_thread_entry(ULONG input) {
    udp_slot& slot = pools().udp[input];
    for (;;)
        if (!slot.owner->Receive(static_cast<uint32_t>(input))) tx_thread_sleep(1);
}

// A text that came cut (longer than a packet) is not stored: a part of it
// would show as if it were the whole.
void store_text_datagram(const NX_PACKET* packet) {
    if (packet->cut || packet->length <= TEXT_DATAGRAM_HEADER ||
        packet->prepend_ptr[0] != TEXT_DATAGRAM_MARK)
        return;
    db_set_string(obj::halvObj6_2, packet->prepend_ptr + TEXT_DATAGRAM_HEADER,
                  packet->length - TEXT_DATAGRAM_HEADER, DB_NOTIFY);
}

bool send_packet_tcp(NX_TCP_SOCKET* socket, const uint8_t* data, uint32_t length) {
    NX_PACKET* packet = nullptr;
    if (nx_packet_allocate(pools().tcp_packets, &packet, NX_TCP_PACKET, NX_WAIT_FOREVER) !=
        NX_SUCCESS)
        return false;
    if (nx_packet_data_append(packet, data, length, pools().tcp_packets, NX_WAIT_FOREVER) !=
            NX_SUCCESS ||
        nx_tcp_socket_send(socket, packet, NX_WAIT_FOREVER) != NX_SUCCESS) {
        nx_packet_release(packet);
        return false;
    }
    return true;
}

// Each slot gets its thread ("tcp thread" / "udp thread", not started) and
// its socket; a slot that misses either stays out of use. Then the pool's
// mutex ("tcp mutex" / "udp mutex"). -> the mutex creation's status.
template <typename Slot, size_t N, typename Socket>
UINT init_pool(Slot (&slots)[N], TX_MUTEX& mutex, bool& ready, const char* const names[2],
               tx_entry_fn entry, const char* thread_failure, Socket create_socket) {
    for (uint32_t i = 0; i < N; i++) {
        Slot& slot = slots[i];
        slot.free = create_slot_thread(&slot.thread, names[0], entry, i, thread_failure) &&
                    create_socket(slot);
    }
    UINT rc = tx_mutex_create(&mutex, names[1], TX_NO_INHERIT);
    ready = rc == TX_SUCCESS;
    return rc;
}

// Under the pool's mutex: the first free slot is taken for the port and
// bound; a slot whose bind fails stays taken and the next is tried. -> 0
// when a slot now serves the port, 1 when none could.
template <typename Slot, size_t N, typename Owner, typename Bind>
int take_slot(Slot (&slots)[N], TX_MUTEX& mutex, bool ready, UINT port, Owner* owner, Bind bind) {
    if (!ready) return 1;
    tx_mutex_get(&mutex, TX_WAIT_FOREVER);
    int result = 1;
    for (Slot& slot : slots) {
        if (!slot.free) continue;
        slot.free = false;
        slot.port = port;
        slot.owner = owner;
        if (!bind(slot)) continue;
        tx_thread_resume(&slot.thread);
        result = 0;
        break;
    }
    tx_mutex_put(&mutex);
    return result;
}

} // namespace

// The life of one TCP slot: accept, serve the connection, listen again.
void tcp_slot_serve(uint32_t index) {
    tcp_slot& slot = pools().tcp[index];
    for (;;) {
        UINT rc = nx_tcp_server_socket_accept(&slot.socket, NX_WAIT_FOREVER);
        if (rc == NX_SUCCESS) {
            CTCP_Server* server = slot.owner;
            slot.connected = true;
            server->active_slot_ = index;
            server->connections_.fetch_add(1, std::memory_order_acq_rel);
            restart_stream(server, index);
            if (slot.port == TRAP_CONNECTION_PORT)
                the_post_office().post(LETTER_TRAP_CONNECTION_OPENED);
            while (slot.connected)
                if (!server->Receive(index)) slot.connected = false;
            if (slot.port == TRAP_CONNECTION_PORT)
                the_post_office().post(LETTER_TRAP_CONNECTION_CLOSED);
            if (server->active_slot_ == index) server->active_slot_ = TCP_SLOTS;
            server->connections_.fetch_add(1, std::memory_order_acq_rel);
        }
        nx_tcp_socket_disconnect(&slot.socket, DISCONNECT_TICKS);
        nx_tcp_server_socket_unaccept(&slot.socket);
        tx_mutex_get(&pools().tcp_mutex, TX_WAIT_FOREVER);
        UINT relisten = nx_tcp_server_socket_relisten(slot.ip, slot.port, &slot.socket);
        tx_mutex_put(&pools().tcp_mutex);
        if (relisten != NX_SUCCESS && relisten != NX_CONNECTION_PENDING) tx_thread_sleep(1);
    }
}

UINT tcp_thread_initialize(NX_IP* ip, NX_PACKET_POOL* pool) {
    server_pools& p = pools();
    p.tcp_packets = pool;
    return init_pool(
        p.tcp, p.tcp_mutex, p.tcp_ready, TCP_NAMES, tcp_thread_entry,
        "tcp_thread_initialize: tx_thread_create error 0x%02X!\n", [ip](tcp_slot& slot) {
            UINT created = nx_tcp_socket_create(ip, &slot.socket, "tcp thread socket", 0, 1, 128,
                                                TCP_WINDOW, nullptr, nullptr);
            if (created != NX_SUCCESS)
                console_printf("tcp_thread_initialize: nx_tcp_socket_create error 0x%02X!\n",
                               created);
            slot.ip = ip;
            return created == NX_SUCCESS;
        });
}

int tcp_server_listen(UINT port, CTCP_Server* server) {
    server_pools& p = pools();
    return take_slot(p.tcp, p.tcp_mutex, p.tcp_ready, port, server, [port](tcp_slot& slot) {
        UINT rc = nx_tcp_server_socket_listen(slot.ip, port, &slot.socket, 1, tcp_listen_callback);
        if (rc != NX_SUCCESS) console_printf("nx_tcp_server_socket_listen error:0x%02X\n", rc);
        return rc == NX_SUCCESS;
    });
}

uint32_t tcp_free_slots() {
    uint32_t count = 0;
    for (const tcp_slot& slot : pools().tcp)
        count += slot.free ? 1 : 0;
    return count;
}

bool CTCP_Server::Open(UINT port, uint32_t ring_size) {
    if (ring_size != 0 && rx_.bytes == nullptr) {
        rx_.bytes = new uint8_t[ring_size];
        tx_.bytes = new uint8_t[ring_size];
        rx_.size = tx_.size = ring_size;
    }
    return tcp_server_listen(port, this) == 0;
}

bool CTCP_Server::byte_ring::Push(uint8_t byte) {
    const uint32_t h = head.load(std::memory_order_relaxed);
    const uint32_t next = (h + 1) % size;
    if (next == tail.load(std::memory_order_acquire)) return false;
    bytes[h] = byte;
    head.store(next, std::memory_order_release);
    return true;
}

bool CTCP_Server::byte_ring::Pop(uint8_t* byte) {
    const uint32_t t = tail.load(std::memory_order_relaxed);
    if (t == head.load(std::memory_order_acquire)) return false;
    *byte = bytes[t];
    tail.store((t + 1) % size, std::memory_order_release);
    return true;
}

// A full ring is said once per overflow, and the bytes that overflow
// dropped once it is over; DroppedBytes counts them all.
bool CTCP_Server::WriteByte(uint8_t byte) {
    if (tx_.bytes == nullptr) return false;
    if (!tx_.Push(byte)) {
        if (overflow_dropped_ == 0) console_printf("CTCP_Server::WriteByte: transmit ring full\n");
        ++overflow_dropped_;
        ++dropped_;
    } else if (overflow_dropped_ != 0) {
        console_printf("CTCP_Server::WriteByte: %u bytes dropped\n", unsigned(overflow_dropped_));
        overflow_dropped_ = 0;
    }
    return true;
}

int CTCP_Server::ReadByte(uint8_t* byte) {
    return rx_.bytes != nullptr && rx_.Pop(byte) ? 1 : 0;
}

uint32_t CTCP_Server::FlushTx() {
    if (tx_.bytes == nullptr) return 0;
    uint8_t piece[FLUSH_MAX];
    uint32_t count = 0;
    while (count < FLUSH_MAX && tx_.Pop(&piece[count]))
        ++count;
    if (count > 0) Send(piece, count);
    return count;
}

// The viewer's bytes of the web-LCD mirror; a full ring drops the rest.
void CTCP_Server::feed_ring(const NX_PACKET* packet) {
    for (ULONG i = 0; i < packet->length; i++)
        if (!rx_.Push(packet->prepend_ptr[i])) break;
}

bool CTCP_Server::Receive(uint32_t index) {
    tcp_slot& slot = pools().tcp[index % TCP_SLOTS];
    NX_PACKET* packet = nullptr;
    UINT rc = nx_tcp_socket_receive(&slot.socket, &packet, TCP_IDLE_TICKS);
    // A mirror's viewer may only watch: silence does not end its connection.
    if (rc != NX_SUCCESS) return rx_.bytes != nullptr && rc == NX_NO_PACKET;
    if (rx_.bytes != nullptr) feed_ring(packet);
    if (slot.port != TRAP_CONNECTION_PORT && channel == CHANNEL_SNMP)
        ethernet_bytes_receive(snmp_link("ethernet_tcp"), tcp_source(this, index),
                               packet->prepend_ptr, packet->length);
    if (slot.port != TRAP_CONNECTION_PORT && (channel == CHANNEL_PMPP || channel == CHANNEL_PPP))
        feed_link(packet);
    nx_packet_release(packet);
    return true;
}

// PMPP or PPP frames in the stream: each byte to the link of "ethernet_pmpp"
// or "ethernet_ppp", then the receive notification wakes its worker.
void CTCP_Server::feed_link(const NX_PACKET* packet) {
    bool pmpp = channel == CHANNEL_PMPP;
    int row = FindAgent(pmpp ? "ethernet_pmpp" : "ethernet_ppp");
    if (row == AGENT_NOT_FOUND || !AgentRow(row)->agent) return;
    CNTCIP* agent = AgentRow(row)->agent;
    for (ULONG i = 0; i < packet->length; i++) {
        if (pmpp)
            _nx_pmpp_byte_receive(&agent->pmpp, packet->prepend_ptr[i]);
        else
            ppp_byte_receive(&agent->ppp, packet->prepend_ptr[i]);
    }
    if (notify_) notify_(notify_args_[0], notify_args_[1]);
}

bool CTCP_Server::Send(const uint8_t* data, uint32_t length) {
    uint32_t slot = active_slot_;
    if (slot >= TCP_SLOTS) return false;
    return SendOn(slot, data, length);
}

bool CTCP_Server::SendOn(uint32_t index, const uint8_t* data, uint32_t length) {
    if (index >= TCP_SLOTS || !pools().tcp_packets) return false;
    tcp_slot& slot = pools().tcp[index];
    if (slot.owner != this || !slot.connected) return false;
    for (uint32_t sent = 0; sent < length;) {
        uint32_t piece = length - sent < TCP_SEND_MAX ? length - sent : TCP_SEND_MAX;
        if (!send_packet_tcp(&slot.socket, data + sent, piece)) return false;
        sent += piece;
    }
    return true;
}

void CTCP_Server::SetRxCallback(server_notify_fn function, uint32_t argument1, uint32_t argument2) {
    notify_ = function;
    notify_args_[0] = argument1;
    notify_args_[1] = argument2;
}

UINT udp_thread_initialize(NX_IP* ip, NX_PACKET_POOL* pool) {
    server_pools& p = pools();
    p.udp_packets = pool;
    return init_pool(
        p.udp, p.udp_mutex, p.udp_ready, UDP_NAMES, udp_thread_entry,
        "udp_thread_initialize: tx_thread_create error:0x%02X\n", [ip](udp_slot& slot) {
            UINT created =
                nx_udp_socket_create(ip, &slot.socket, "udp thread socket", 0, 1, 128, UDP_QUEUE);
            if (created != NX_SUCCESS)
                console_printf("udp_thread_initialize: nx_udp_socket_create error:0x%02X\n",
                               created);
            return created == NX_SUCCESS;
        });
}

int udp_thread_listen_setup(UINT port, CUDP_Server* server) {
    server_pools& p = pools();
    return take_slot(p.udp, p.udp_mutex, p.udp_ready, port, server, [port](udp_slot& slot) {
        UINT rc = nx_udp_socket_bind(&slot.socket, port, NX_NO_WAIT);
        if (rc != NX_SUCCESS)
            console_printf("udp_thread_listen_setup: nx_udp_socket_bind error:0x%02X\n", rc);
        return rc == NX_SUCCESS;
    });
}

int CUDP_Server::AddPort(UINT port) {
    return udp_thread_listen_setup(port, this);
}

bool CUDP_Server::Receive(uint32_t index) {
    udp_slot& slot = pools().udp[index % UDP_SLOTS];
    NX_PACKET* packet = nullptr;
    if (nx_udp_socket_receive(&slot.socket, &packet, NX_WAIT_FOREVER) != NX_SUCCESS) return false;
    if (slot.port == TEXT_DATAGRAM_PORT) {
        store_text_datagram(packet);
    } else {
        peer_ip_ = packet->source_ip;
        peer_port_ = static_cast<uint16_t>(packet->source_port);
        peer_slot_ = index;
        if (channel == CHANNEL_SNMP) {
            ethernet_source source;
            source.server = this;
            source.slot = static_cast<uint8_t>(index);
            source.datagram = true;
            source.peer_ip = packet->source_ip;
            source.peer_port = static_cast<uint16_t>(packet->source_port);
            ethernet_bytes_receive(snmp_link("ethernet_udp"), source, packet->prepend_ptr,
                                   packet->length);
        }
    }
    nx_packet_release(packet);
    return true;
}

bool CUDP_Server::Send(const uint8_t* data, uint32_t length) {
    return SendTo(peer_slot_, peer_ip_, peer_port_, data, length);
}

bool CUDP_Server::SendTo(uint32_t index, uint32_t address, uint16_t port, const uint8_t* data,
                         uint32_t length) {
    NX_PACKET_POOL* pool = pools().udp_packets;
    if (length > UDP_SEND_MAX || index >= UDP_SLOTS || !pool) return false;
    udp_slot& slot = pools().udp[index];
    if (slot.owner != this) return false;
    NX_PACKET* packet = nullptr;
    if (nx_packet_allocate(pool, &packet, NX_UDP_PACKET, NX_WAIT_FOREVER) != NX_SUCCESS)
        return false;
    if (nx_packet_data_append(packet, data, length, pool, NX_WAIT_FOREVER) != NX_SUCCESS ||
        nx_udp_socket_send(&slot.socket, packet, address, port) != NX_SUCCESS) {
        nx_packet_release(packet);
        return false;
    }
    return true;
}
