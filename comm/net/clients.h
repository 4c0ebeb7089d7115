// The UDP and TCP clients: datagrams and short TCP messages to one fixed
// remote endpoint on the Ethernet IP instance. The communication task owns
// one of each for traps to the central host (TrapUdpClient, TrapTcpClient).
//
// The TCP client keeps one message at a time: a message queued while idle
// makes its thread ("tcp client thread", priority 3) connect, send it, keep
// the connection about ten seconds for further messages (ten empty waits of
// one second each after the last one) and close it. A second message while
// one is pending is refused as busy. A connect that fails is tried again a
// second later, so that a host that refuses never keeps the thread busy.
#pragma once

#include "platform/netstack/netstack.h"

#include <cstdint>

struct udp_client {
    NX_UDP_SOCKET socket;
    NX_IP* ip;
    uint32_t destination_address;
    uint32_t destination_port;
    NX_PACKET_POOL* pool;
    uint32_t sender_address; // of the last datagram received
    uint32_t sender_port;
    bool created;
};

enum tcp_client_state : uint32_t {
    TCP_CLIENT_IDLE = 0,
    TCP_CLIENT_CONNECTING = 1,
    TCP_CLIENT_CONNECTED = 2,
    TCP_CLIENT_DISCONNECTING = 3,
};

struct tcp_client {
    NX_TCP_SOCKET socket;
    TX_THREAD thread;
    NX_IP* ip;
    uint32_t server_address;
    uint32_t server_port;
    NX_PACKET* queued;
    NX_PACKET_POOL* pool;
    volatile uint32_t state;
    TX_SEMAPHORE transmit; // "transmit semaphore": one count per queued message
    volatile uint32_t peer_closed;
    volatile uint32_t pending; // 1 while a message waits to be sent
    uint8_t linger;
    bool created;
};

const ULONG TCP_CLIENT_STACK_BYTES = 2048;
const ULONG TCP_CLIENT_WAIT_TICKS = 6000;
const ULONG TCP_CLIENT_LINGER_WAIT = 100; // one empty wait of the connection
const uint8_t TCP_CLIENT_LINGER = 10;     // empty waits before the close
const ULONG TCP_CLIENT_RETRY_TICKS = 100; // after a failed connect

void udp_client_initialize(udp_client* client, NX_IP* ip, NX_PACKET_POOL* pool);
void udp_client_configure(udp_client* client, UINT local_port, uint32_t address, uint32_t port);
void udp_client_send_data(udp_client* client, const uint8_t* data, uint32_t length);
// One datagram within `wait` ticks, cut to `maximum` bytes. -> its length, 0 when none.
uint32_t udp_client_receive(udp_client* client, uint8_t* buffer, uint32_t maximum, ULONG wait);

// Creates the thread (its stack from "thread stacks"), the socket and the semaphore.
void tcp_client_initialize(tcp_client* client, NX_IP* ip, NX_PACKET_POOL* pool);
// Aims the client; takes effect at the next connection.
void tcp_client_bind(tcp_client* client, UINT local_port, uint32_t address, uint32_t port);
void tcp_client_send_data(tcp_client* client, const uint8_t* data, uint32_t length);
inline bool tcp_client_busy(const tcp_client* client) {
    return client->pending != 0;
}

// The communication task's trap clients.
udp_client& TrapUdpClient();
tcp_client& TrapTcpClient();
