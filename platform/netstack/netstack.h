// The network stack of the controller, as the firmware sees it: packet pools,
// IP instances, UDP and TCP sockets (server and client).
//
// On the host the Ethernet IP instance maps onto host sockets: a UDP socket or
// a TCP server bound to port P listens on the instance's address (127.0.0.1
// when that address is not one of this host's) at port P + the --port-offset
// host option; TCP clients connect from that address to the address and port
// they name. Every blocking call waits on the kernel (virtual clock in tests)
// and ends early with NX_WAIT_ABORTED when the thread's wait is aborted
// (tx_thread_wait_abort).
//
// Control blocks are owned by the caller and must outlive the stack object;
// fields marked private belong to the stack. Packets hold one buffer each:
// data from prepend_ptr to append_ptr, length bytes.
#pragma once

#include "platform/kernel/kernel.h"

#include <cstdint>
#include <functional>

// Status values of the stack's services.
enum : UINT {
    NX_SUCCESS = 0x00,
    NX_NO_PACKET = 0x01,
    NX_UNDERFLOW = 0x02,
    NX_OVERFLOW = 0x03,
    NX_NO_MAPPING = 0x04,
    NX_DELETED = 0x05,
    NX_POOL_ERROR = 0x06,
    NX_PTR_ERROR = 0x07,
    NX_WAIT_ERROR = 0x08,
    NX_SIZE_ERROR = 0x09,
    NX_OPTION_ERROR = 0x0A,
    NX_DELETE_ERROR = 0x10,
    NX_CALLER_ERROR = 0x11,
    NX_INVALID_PACKET = 0x12,
    NX_INVALID_SOCKET = 0x13,
    NX_NOT_ENABLED = 0x14,
    NX_ALREADY_ENABLED = 0x15,
    NX_ENTRY_NOT_FOUND = 0x16,
    NX_NO_MORE_ENTRIES = 0x17,
    NX_WAIT_ABORTED = 0x1A,
    NX_IP_INTERNAL_ERROR = 0x20,
    NX_IP_ADDRESS_ERROR = 0x21,
    NX_ALREADY_BOUND = 0x22,
    NX_PORT_UNAVAILABLE = 0x23,
    NX_NOT_BOUND = 0x24,
    NX_RESERVED_CODE0 = 0x25,
    NX_SOCKET_UNBOUND = 0x26,
    NX_NOT_CREATED = 0x27,
    NX_SOCKETS_BOUND = 0x28,
    NX_NO_RESPONSE = 0x29,
    NX_POOL_DELETED = 0x30,
    NX_ALREADY_RELEASED = 0x31,
    NX_MAX_LISTEN = 0x33,
    NX_DUPLICATE_LISTEN = 0x34,
    NX_NOT_CLOSED = 0x35,
    NX_NOT_LISTEN_STATE = 0x36,
    NX_IN_PROGRESS = 0x37,
    NX_NOT_CONNECTED = 0x38,
    NX_WINDOW_OVERFLOW = 0x39,
    NX_ALREADY_SUSPENDED = 0x40,
    NX_DISCONNECT_FAILED = 0x41,
    NX_STILL_BOUND = 0x42,
    NX_NOT_SUCCESSFUL = 0x43,
    NX_UNHANDLED_COMMAND = 0x44,
    NX_NO_FREE_PORTS = 0x45,
    NX_INVALID_PORT = 0x46,
    NX_INVALID_RELISTEN = 0x47,
    NX_CONNECTION_PENDING = 0x48,
    NX_TX_QUEUE_DEPTH = 0x49,
    NX_NOT_IMPLEMENTED = 0x4A,
};

// Waits, in ticks.
const ULONG NX_NO_WAIT = 0;
const ULONG NX_WAIT_FOREVER = 0xFFFFFFFFu;

// Header room kept in front of the data of a packet allocated for each use.
enum : ULONG {
    NX_RECEIVE_PACKET = 0,
    NX_PHYSICAL_HEADER = 16,
    NX_IP_PACKET = 36,
    NX_UDP_PACKET = 44,
    NX_TCP_PACKET = 56,
};

// IP status bits of nx_ip_status_check.
enum : ULONG {
    NX_IP_INITIALIZE_DONE = 0x0001,
    NX_IP_ADDRESS_RESOLVED = 0x0002,
    NX_IP_LINK_ENABLED = 0x0004,
    NX_IP_ARP_ENABLED = 0x0008,
    NX_IP_UDP_ENABLED = 0x0010,
    NX_IP_TCP_ENABLED = 0x0020,
    NX_IP_IGMP_ENABLED = 0x0040,
    NX_IP_RARP_COMPLETE = 0x0080,
};

const UINT NX_ANY_PORT = 0;
const ULONG NX_IP_LOOPBACK = 0x7F000001u;

// ---- Packets and packet pools ----------------------------------------------------

struct NX_PACKET_POOL;

struct NX_PACKET {
    NX_PACKET_POOL* pool; // the pool the packet came from
    NX_PACKET* next;      // the free list; while taken, its holder's queue link
    uint8_t* data_start;  // first byte of the packet's buffer
    uint8_t* data_end;    // one past the last byte of the buffer
    uint8_t* prepend_ptr; // first byte of the data
    uint8_t* append_ptr;  // one past the last byte of the data
    ULONG length;         // bytes of data
    ULONG source_ip;      // UDP: the sender's address (host order)
    UINT source_port;     // UDP: the sender's port
    uint8_t cut;          // UDP: 1 when the datagram was longer than the packet
    uint8_t allocated;    // private: 1 while taken from the pool
};

struct NX_PACKET_POOL {
    const char* name;
    ULONG payload_size;  // bytes of each packet's buffer
    ULONG total_packets; // packets carved from the memory area
    ULONG free_packets;
    ULONG empty_requests;    // allocations that found the pool empty
    ULONG empty_suspensions; // of those, the ones that waited
    ULONG invalid_releases;  // releases of packets not taken from the pool
    NX_PACKET* free_list;    // private
    void* impl;              // private
};

// Carve packets of `payload_size` bytes from `memory` (each takes the payload
// plus a packet record). NX_SIZE_ERROR when not even one packet fits.
UINT nx_packet_pool_create(NX_PACKET_POOL* pool, const char* name, ULONG payload_size, void* memory,
                           ULONG memory_size);
UINT nx_packet_pool_delete(NX_PACKET_POOL* pool);
// Take a packet with `packet_type` bytes of header room (NX_TCP_PACKET, ...).
// NX_NO_PACKET when none came within the wait; waiting is refused outside a
// thread (NX_WAIT_ERROR).
UINT nx_packet_allocate(NX_PACKET_POOL* pool, NX_PACKET** packet, ULONG packet_type, ULONG wait);
// Give a packet back. NX_PTR_ERROR for null, NX_ALREADY_RELEASED (counted as
// an invalid release) for a packet that is not taken.
UINT nx_packet_release(NX_PACKET* packet);
UINT nx_packet_transmit_release(NX_PACKET* packet);
// Append bytes after the data. NX_OVERFLOW when they do not fit the buffer
// (nothing appended); `pool` and `wait` are accepted for chained growth,
// which this stack does not do.
UINT nx_packet_data_append(NX_PACKET* packet, const void* data, ULONG size, NX_PACKET_POOL* pool,
                           ULONG wait);
// Copy at most `size` bytes of the data into `buffer`; *copied = bytes copied.
UINT nx_packet_data_retrieve(NX_PACKET* packet, void* buffer, ULONG size, ULONG* copied);
UINT nx_packet_pool_info_get(NX_PACKET_POOL* pool, ULONG* total_packets, ULONG* free_packets,
                             ULONG* empty_requests, ULONG* empty_suspensions,
                             ULONG* invalid_releases);

// ---- IP instances -------------------------------------------------------------------

struct NX_IP;
typedef void (*nx_link_driver_fn)(void* driver_request);

struct NX_IP {
    const char* name;
    ULONG address; // host order
    ULONG mask;
    NX_PACKET_POOL* default_pool;
    ULONG status; // NX_IP_* bits
    TX_THREAD thread;
    void* impl; // private
    // Kept by the link driver at its initialise and enable requests.
    ULONG mtu;
    ULONG physical_msw, physical_lsw; // the interface's hardware address
    UINT address_mapping_needed;
    UINT link_up;
};

// A request to the link driver (the driver entry given to nx_ip_create).
enum : UINT {
    NX_LINK_PACKET_SEND = 0,
    NX_LINK_INITIALIZE = 1,
    NX_LINK_ENABLE = 2,
    NX_LINK_DISABLE = 3,
    NX_LINK_PACKET_BROADCAST = 4,
    NX_LINK_ARP_SEND = 5,
    NX_LINK_ARP_RESPONSE_SEND = 6,
    NX_LINK_RARP_SEND = 7,
    NX_LINK_MULTICAST_JOIN = 8,
    NX_LINK_MULTICAST_LEAVE = 9,
    NX_LINK_GET_STATUS = 10,
};
struct NX_IP_DRIVER {
    UINT command;
    UINT status;
    ULONG physical_msw; // destination hardware address: high 16 bits
    ULONG physical_lsw; // and low 32 bits
    NX_PACKET* packet;
    ULONG* return_ptr;
    NX_IP* ip;
};

// What a link driver hands up from its interrupt handlers (the packet's data
// starts at the IP, ARP or RARP header). On the host the instance's own
// traffic runs on host sockets: these count the packet, show it to the
// observer below and release it.
void _nx_ip_packet_deferred_receive(NX_IP* ip, NX_PACKET* packet);
void _nx_arp_packet_deferred_receive(NX_IP* ip, NX_PACKET* packet);
void _nx_rarp_packet_deferred_receive(NX_IP* ip, NX_PACKET* packet);
enum nx_link_kind { NX_LINK_IP, NX_LINK_ARP, NX_LINK_RARP };
// Host, for tests: shown every packet a link driver hands up, before it is
// released (interrupt context). Null: none.
void nx_link_receive_observer(std::function<void(nx_link_kind, const NX_PACKET&)> observer);

// Host: instances created with `driver` carry their own IP traffic inside the
// link's frames (PPP, PMPP) instead of host sockets: IP, ICMP echo, UDP and
// TCP run in the process, and every socket of such an instance is bound to
// it. Registered once, before the instances are created.
void nx_link_driver_carries_ip(nx_link_driver_fn driver);
// What a serial link hands up: one whole IP datagram (copied; it may be
// longer than a packet of the pool).
void nx_link_datagram_receive(NX_IP* ip, const uint8_t* datagram, ULONG length);

// Create an IP instance with its helper thread ("IP thread", on `stack` at
// `priority`), which runs the sockets' callbacks (listen, disconnect, receive
// notification). `driver`, when given, is the link driver: the IP thread
// initialises and enables it first, as on the board; the Ethernet instance's
// own traffic is carried by host sockets all the same.
UINT nx_ip_create(NX_IP* ip, const char* name, ULONG address, ULONG mask, NX_PACKET_POOL* pool,
                  nx_link_driver_fn driver, void* stack, ULONG stack_size, UINT priority);
UINT nx_ip_delete(NX_IP* ip);
UINT nx_ip_address_get(NX_IP* ip, ULONG* address, ULONG* mask);
UINT nx_ip_address_set(NX_IP* ip, ULONG address, ULONG mask);
// Wait until every bit of `needed` is in the instance's status. NX_NOT_SUCCESSFUL
// when the wait runs out.
UINT nx_ip_status_check(NX_IP* ip, ULONG needed, ULONG* actual, ULONG wait);
UINT nx_arp_enable(NX_IP* ip, void* cache, ULONG cache_size);
UINT nx_icmp_enable(NX_IP* ip);
UINT nx_udp_enable(NX_IP* ip);
UINT nx_tcp_enable(NX_IP* ip);
// Counters of the instance (unused out-pointers may be null).
UINT nx_ip_info_get(NX_IP* ip, ULONG* packets_sent, ULONG* packets_received, ULONG* packets_dropped,
                    ULONG* icmp_received);
UINT nx_icmp_info_get(NX_IP* ip, ULONG* pings_sent, ULONG* ping_timeouts, ULONG* ping_responses);
UINT nx_arp_info_get(NX_IP* ip, ULONG* requests_sent, ULONG* requests_received,
                     ULONG* responses_sent, ULONG* responses_received, ULONG* dynamic_entries,
                     ULONG* static_entries, ULONG* aged_entries, ULONG* invalid_messages);
// Dynamic ARP entry `index` (from 0): NX_ENTRY_NOT_FOUND past the last. The
// host instance resolves nothing and has none.
UINT nx_arp_dynamic_entry_get(NX_IP* ip, ULONG index, ULONG* ip_address, uint8_t hardware[6]);
// The host port a firmware port of this instance is bound to (port + offset);
// 0 when the offset puts it outside 1..65535 (the bind is then refused).
UINT nx_ip_host_port(UINT port);

// Whether this board may use its network hardware at all (on the host: yes,
// unless a test says otherwise through the host options).
bool nx_network_available();

// ---- UDP ------------------------------------------------------------------------------

struct NX_UDP_SOCKET;
typedef void (*nx_udp_notify_fn)(NX_UDP_SOCKET* socket);

struct NX_UDP_SOCKET {
    const char* name;
    NX_IP* ip;
    UINT port; // bound port, 0 when unbound
    void* user_data;
    void* impl; // private
};

UINT nx_udp_socket_create(NX_IP* ip, NX_UDP_SOCKET* socket, const char* name, ULONG type_of_service,
                          ULONG fragment, UINT time_to_live, ULONG queue_maximum);
UINT nx_udp_socket_delete(NX_UDP_SOCKET* socket); // NX_STILL_BOUND while bound
// NX_PORT_UNAVAILABLE when another socket holds the port.
UINT nx_udp_socket_bind(NX_UDP_SOCKET* socket, UINT port, ULONG wait);
UINT nx_udp_socket_unbind(NX_UDP_SOCKET* socket);
// Send the packet's data to address:port. On success the stack owns the
// packet; on failure the caller keeps it.
UINT nx_udp_socket_send(NX_UDP_SOCKET* socket, NX_PACKET* packet, ULONG ip_address, UINT port);
// The next datagram (source in the packet); NX_NO_PACKET when none within the wait.
// A datagram longer than a packet comes cut to the packet's room (counted invalid).
UINT nx_udp_socket_receive(NX_UDP_SOCKET* socket, NX_PACKET** packet, ULONG wait);
UINT nx_udp_socket_receive_notify(NX_UDP_SOCKET* socket, nx_udp_notify_fn notify);
UINT nx_udp_source_extract(NX_PACKET* packet, ULONG* ip_address, UINT* port);
UINT nx_udp_info_get(NX_IP* ip, ULONG* packets_sent, ULONG* packets_received,
                     ULONG* invalid_packets, ULONG* packets_dropped);

// ---- TCP ------------------------------------------------------------------------------

// Socket states.
enum : UINT {
    NX_TCP_CLOSED = 1,
    NX_TCP_LISTEN_STATE = 2,
    NX_TCP_SYN_SENT = 3,
    NX_TCP_SYN_RECEIVED = 4,
    NX_TCP_ESTABLISHED = 5,
    NX_TCP_CLOSE_WAIT = 6,
};

struct NX_TCP_SOCKET;
typedef void (*nx_tcp_notify_fn)(NX_TCP_SOCKET* socket);
typedef void (*nx_tcp_listen_fn)(NX_TCP_SOCKET* socket, UINT port);

struct NX_TCP_SOCKET {
    const char* name;
    NX_IP* ip;
    UINT state;   // NX_TCP_*
    UINT port;    // local port (listen port for a server socket)
    ULONG window; // receive window: the largest packet handed to a reader
    void* user_data;
    void* impl; // private
};

UINT nx_tcp_socket_create(NX_IP* ip, NX_TCP_SOCKET* socket, const char* name, ULONG type_of_service,
                          ULONG fragment, UINT time_to_live, ULONG window, nx_tcp_notify_fn urgent,
                          nx_tcp_notify_fn disconnect);
UINT nx_tcp_socket_delete(NX_TCP_SOCKET* socket); // NX_NOT_CLOSED while connected or listening
UINT nx_tcp_socket_receive_notify(NX_TCP_SOCKET* socket, nx_tcp_notify_fn notify);
// Server: listen on `port` with `socket`; up to `queue` further connections
// wait for a relisten. `listen` runs on the IP thread when a connection
// reaches the socket; accept then completes it.
UINT nx_tcp_server_socket_listen(NX_IP* ip, UINT port, NX_TCP_SOCKET* socket, UINT queue,
                                 nx_tcp_listen_fn listen);
UINT nx_tcp_server_socket_accept(NX_TCP_SOCKET* socket, ULONG wait);
// A closed socket takes the port's listening place again: NX_CONNECTION_PENDING
// when a queued connection already reached it.
UINT nx_tcp_server_socket_relisten(NX_IP* ip, UINT port, NX_TCP_SOCKET* socket);
UINT nx_tcp_server_socket_unaccept(NX_TCP_SOCKET* socket);
UINT nx_tcp_server_socket_unlisten(NX_IP* ip, UINT port);
// Client: bind to a local port (NX_ANY_PORT: any), then connect.
UINT nx_tcp_client_socket_bind(NX_TCP_SOCKET* socket, UINT port, ULONG wait);
UINT nx_tcp_client_socket_unbind(NX_TCP_SOCKET* socket);
// NX_NOT_CONNECTED when the wait runs out or the peer refuses.
UINT nx_tcp_client_socket_connect(NX_TCP_SOCKET* socket, ULONG server_ip, UINT server_port,
                                  ULONG wait);
// Close the connection (also one the peer already closed). NX_NOT_CONNECTED
// when there is none.
UINT nx_tcp_socket_disconnect(NX_TCP_SOCKET* socket, ULONG wait);
// Send the packet's data. On success the stack owns the packet; on failure
// (NX_NOT_CONNECTED, NX_TX_QUEUE_DEPTH) the caller keeps it.
UINT nx_tcp_socket_send(NX_TCP_SOCKET* socket, NX_PACKET* packet, ULONG wait);
// Received data, at most the window (and one packet buffer) at a time.
// NX_NO_PACKET when nothing came within the wait; NX_NOT_CONNECTED when the
// peer closed and everything was read.
UINT nx_tcp_socket_receive(NX_TCP_SOCKET* socket, NX_PACKET** packet, ULONG wait);
UINT nx_tcp_socket_peer_info_get(NX_TCP_SOCKET* socket, ULONG* peer_ip, ULONG* peer_port);
UINT nx_tcp_info_get(NX_IP* ip, ULONG* packets_sent, ULONG* packets_received,
                     ULONG* invalid_packets, ULONG* packets_dropped);
