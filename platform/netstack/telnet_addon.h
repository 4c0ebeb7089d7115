// The Telnet add-ons of the network stack.
//
// Server: listens on the telnet port (23, moved by --port-offset) of an IP
// instance and serves up to NX_TELNET_MAX_CLIENTS connections on its own
// thread. It offers to echo and to suppress go-ahead, so that a stock telnet
// client sends each typed character at once; option negotiation is answered
// and taken out of the data, and a carriage return's following line feed or
// NUL is dropped (a typed Enter arrives as one carriage return). The three
// callbacks run on the server's thread; the receive callback owns the packet.
// A connection may carry a deadline: when it passes, the server closes the
// connection as if the peer had (the end callback runs) and its slot takes
// the next connection.
//
// Client: one TCP connection to a server; data pass through unchanged.
#pragma once

#include "platform/netstack/netstack.h"

enum : UINT {
    NX_TELNET_NOT_CONNECTED = 0xF3,
    NX_TELNET_INVALID_PARAMETER = 0xF4,
    NX_TELNET_NOT_STARTED = 0xF5,
    NX_TELNET_ALREADY_STARTED = 0xF6,
};

const UINT NX_TELNET_SERVER_PORT = 23;
const UINT NX_TELNET_MAX_CLIENTS = 4;
const UINT NX_TELNET_SERVER_PRIORITY = 16;

// Telnet commands and options used in negotiation.
enum : uint8_t {
    NX_TELNET_IAC = 255,
    NX_TELNET_DONT = 254,
    NX_TELNET_DO = 253,
    NX_TELNET_WONT = 252,
    NX_TELNET_WILL = 251,
    NX_TELNET_SB = 250,
    NX_TELNET_SE = 240,
    NX_TELNET_ECHO = 1,
    NX_TELNET_SGA = 3,
};

struct NX_TELNET_SERVER;
typedef void (*nx_telnet_connection_fn)(NX_TELNET_SERVER* server, UINT connection);
typedef void (*nx_telnet_receive_fn)(NX_TELNET_SERVER* server, UINT connection, NX_PACKET* packet);

struct NX_TELNET_SERVER {
    const char* name;
    NX_IP* ip;
    TX_THREAD thread;
    void* impl; // private
};

UINT nx_telnet_server_create(NX_TELNET_SERVER* server, const char* name, NX_IP* ip, void* stack,
                             ULONG stack_size, nx_telnet_connection_fn new_connection,
                             nx_telnet_receive_fn receive_data,
                             nx_telnet_connection_fn connection_end);
UINT nx_telnet_server_start(NX_TELNET_SERVER* server);
UINT nx_telnet_server_stop(NX_TELNET_SERVER* server);
UINT nx_telnet_server_delete(NX_TELNET_SERVER* server);
// Send a packet on a connection; on success the stack owns it.
UINT nx_telnet_server_packet_send(NX_TELNET_SERVER* server, UINT connection, NX_PACKET* packet,
                                  ULONG wait);
UINT nx_telnet_server_disconnect(NX_TELNET_SERVER* server, UINT connection);
// Close an open connection `ticks` from now (0: no deadline); a later call
// replaces the deadline.
UINT nx_telnet_server_deadline_set(NX_TELNET_SERVER* server, UINT connection, ULONG ticks);
// The pool of the server's IP instance.
NX_PACKET_POOL* nx_telnet_server_pool(NX_TELNET_SERVER* server);

struct NX_TELNET_CLIENT {
    const char* name;
    NX_IP* ip;
    NX_TCP_SOCKET socket;
    UINT connected;
};

UINT nx_telnet_client_create(NX_TELNET_CLIENT* client, const char* name, NX_IP* ip, ULONG window);
UINT nx_telnet_client_delete(NX_TELNET_CLIENT* client);
UINT nx_telnet_client_connect(NX_TELNET_CLIENT* client, ULONG server_ip, UINT server_port,
                              ULONG wait);
// NX_TELNET_NOT_CONNECTED when there is no connection.
UINT nx_telnet_client_disconnect(NX_TELNET_CLIENT* client, ULONG wait);
UINT nx_telnet_client_packet_send(NX_TELNET_CLIENT* client, NX_PACKET* packet, ULONG wait);
UINT nx_telnet_client_packet_receive(NX_TELNET_CLIENT* client, NX_PACKET** packet, ULONG wait);
