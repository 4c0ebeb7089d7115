#include "comm/net/clients.h"

#include "runtime/console.h"
#include "runtime/os.h"
#include "runtime/pools.h"

#include <cstring>

namespace {

const ULONG UDP_CLIENT_QUEUE = 1000;
const ULONG TCP_CLIENT_WINDOW = 1000;
const UINT TCP_CLIENT_PRIORITY = 3;
const UINT TIME_TO_LIVE = 128;

// Thread inputs are 32 bits: the client thread finds its client by number.
const uint32_t TCP_CLIENTS_MAX = 4;
tcp_client* g_clients[TCP_CLIENTS_MAX] = {};

ULONG client_number(tcp_client* client) {
    CInterruptLock lock;
    for (uint32_t i = 0; i < TCP_CLIENTS_MAX; i++) {
        if (g_clients[i] == client) return i;
        if (!g_clients[i]) {
            g_clients[i] = client;
            return i;
        }
    }
    return TCP_CLIENTS_MAX;
}

void tcp_client_disconnected(NX_TCP_SOCKET* socket) {
    tcp_client* client = static_cast<tcp_client*>(socket->user_data);
    if (!client || client->state == TCP_CLIENT_IDLE) return;
    client->peer_closed = 1;
    tx_thread_wait_abort(&client->thread);
}

void idle(tcp_client* c) {
    c->peer_closed = 0;
    if (!c->pending) tx_thread_suspend(&c->thread);
    if (c->pending) c->state = TCP_CLIENT_CONNECTING;
}

// A connect that fails, refused or otherwise, is tried again after a pause:
// starting over at once would keep this thread (priority 3) busy while the
// host refuses.
void connecting(tcp_client* c) {
    if (c->peer_closed) {
        c->state = TCP_CLIENT_IDLE;
        return;
    }
    ULONG start = tx_time_get();
    UINT rc = nx_tcp_client_socket_connect(&c->socket, c->server_address, c->server_port,
                                           TCP_CLIENT_WAIT_TICKS);
    if (rc == NX_SUCCESS) {
        c->state = TCP_CLIENT_CONNECTED;
        return;
    }
    if (rc == NX_NOT_CONNECTED && tx_time_get() - start >= TCP_CLIENT_WAIT_TICKS) {
        trace_printf(
            "tcp_client_thread_entry: nx_tcp_client_socket_connect connection timed out!\n");
        return;
    }
    console_printf("tcp_client_thread_entry: nx_tcp_client_socket_connect failed:0x%02X\n", rc);
    tx_thread_sleep(TCP_CLIENT_RETRY_TICKS);
    c->state = TCP_CLIENT_IDLE;
}

void connected(tcp_client* c) {
    if (c->peer_closed || c->socket.state == NX_TCP_CLOSED) c->state = TCP_CLIENT_DISCONNECTING;
    if (tx_semaphore_get(&c->transmit, TCP_CLIENT_LINGER_WAIT) == TX_SUCCESS) {
        NX_PACKET* packet = c->queued;
        c->queued = nullptr;
        UINT rc = packet ? nx_tcp_socket_send(&c->socket, packet, TCP_CLIENT_WAIT_TICKS)
                         : UINT(NX_SUCCESS);
        if (rc != NX_SUCCESS) {
            console_printf("tcp_client_thread_entry: nx_tcp_socket_send failure:0x%02X\n", rc);
            nx_packet_release(packet);
        }
        c->pending = 0;
        c->linger = TCP_CLIENT_LINGER;
    } else if (c->linger > 0) {
        c->linger--;
    } else {
        c->state = TCP_CLIENT_DISCONNECTING;
    }
}

void disconnecting(tcp_client* c) {
    if (c->socket.state != NX_TCP_CLOSED) {
        UINT rc = nx_tcp_socket_disconnect(&c->socket, TCP_CLIENT_WAIT_TICKS);
        if (rc != NX_SUCCESS && rc != NX_WAIT_ABORTED)
            console_printf("tcp_client_thread_entry: nx_tcp_socket_disconnect failure:0x%02X\n",
                           rc);
    }
    c->state = TCP_CLIENT_IDLE;
}

void tcp_client_thread_entry(ULONG input) {
    if (input >= TCP_CLIENTS_MAX) return;
    tcp_client* c = g_clients[input];
    typedef void (*step_fn)(tcp_client*);
    static const step_fn STEPS[] = {idle, connecting, connected, disconnecting};
    for (;;)
        STEPS[c->state % 4](c);
}

} // namespace

void udp_client_initialize(udp_client* client, NX_IP* ip, NX_PACKET_POOL* pool) {
    client->ip = ip;
    client->pool = pool;
    UINT rc = nx_udp_socket_create(ip, &client->socket, "udp client socket", 0, 1, TIME_TO_LIVE,
                                   UDP_CLIENT_QUEUE);
    client->created = rc == NX_SUCCESS;
    if (!client->created)
        console_printf("udp_client_initialize: nx_udp_socket_create failed:0x%X\n", rc);
}

void udp_client_configure(udp_client* client, UINT local_port, uint32_t address, uint32_t port) {
    client->destination_address = address;
    client->destination_port = port;
    if (!client->created) return;
    nx_udp_socket_unbind(&client->socket);
    UINT rc = nx_udp_socket_bind(&client->socket, local_port, NX_NO_WAIT);
    if (rc != NX_SUCCESS)
        console_printf("udp_client_configure: nx_udp_socket_bind failed:0x%X\n", rc);
}

void udp_client_send_data(udp_client* client, const uint8_t* data, uint32_t length) {
    if (!client->created) return;
    NX_PACKET* packet = nullptr;
    UINT rc = nx_packet_allocate(client->pool, &packet, NX_UDP_PACKET, NX_WAIT_FOREVER);
    if (rc != NX_SUCCESS) {
        console_printf("udp_client_send_data: nx_packet_allocate failed:%d\n", rc);
        return;
    }
    rc = nx_packet_data_append(packet, data, length, client->pool, NX_WAIT_FOREVER);
    if (rc != NX_SUCCESS) {
        console_printf("udp_client_send_data: nx_packet_data_append failed:%d\n", rc);
        nx_packet_release(packet);
        return;
    }
    rc = nx_udp_socket_send(&client->socket, packet, client->destination_address,
                            client->destination_port);
    if (rc != NX_SUCCESS) {
        console_printf("udp_client_send_data: nx_udp_socket_send failed:%d\n", rc);
        nx_packet_release(packet);
    }
}

uint32_t udp_client_receive(udp_client* client, uint8_t* buffer, uint32_t maximum, ULONG wait) {
    if (!client->created) return 0;
    NX_PACKET* packet = nullptr;
    if (nx_udp_socket_receive(&client->socket, &packet, wait) != NX_SUCCESS) return 0;
    client->sender_address = packet->source_ip;
    client->sender_port = packet->source_port;
    ULONG copied = 0;
    nx_packet_data_retrieve(packet, buffer, maximum, &copied);
    nx_packet_release(packet);
    return copied;
}

void tcp_client_initialize(tcp_client* client, NX_IP* ip, NX_PACKET_POOL* pool) {
    client->ip = ip;
    client->pool = pool;
    client->state = TCP_CLIENT_IDLE;
    client->peer_closed = client->pending = 0;
    client->linger = TCP_CLIENT_LINGER;
    client->queued = nullptr;
    UINT rc = nx_tcp_socket_create(ip, &client->socket, "tcp client socket", 0, 1, TIME_TO_LIVE,
                                   TCP_CLIENT_WINDOW, nullptr, tcp_client_disconnected);
    if (rc != NX_SUCCESS)
        console_printf("tcp_client_initialize: nx_tcp_socket_create error:0x%02X!\n", rc);
    client->socket.user_data = client;
    rc = tx_semaphore_create(&client->transmit, "transmit semaphore", 0);
    if (rc != TX_SUCCESS)
        console_printf("tcp_client_initialize: tx_semaphore_create failure:0x%02X!\n", rc);
    ULONG number = client_number(client);
    void* stack = nullptr;
    if (number >= TCP_CLIENTS_MAX ||
        os_byte_allocate(&thread_stack_pool(), &stack, TCP_CLIENT_STACK_BYTES, OS_NO_WAIT) !=
            OS_OK) {
        console_printf("tcp_client_initialize: tx_thread_create error:0x%02X!\n",
                       unsigned(TX_NO_MEMORY));
        return;
    }
    std::memset(stack, 0xEF, TCP_CLIENT_STACK_BYTES);
    rc = tx_thread_create(&client->thread, "tcp client thread", tcp_client_thread_entry, number,
                          stack, TCP_CLIENT_STACK_BYTES, TCP_CLIENT_PRIORITY, TCP_CLIENT_PRIORITY,
                          1, TX_AUTO_START);
    if (rc != TX_SUCCESS) {
        console_printf("tcp_client_initialize: tx_thread_create error:0x%02X!\n", rc);
        os_byte_release(stack);
        return;
    }
    client->created = true;
}

void tcp_client_bind(tcp_client* client, UINT local_port, uint32_t address, uint32_t port) {
    client->server_address = address;
    client->server_port = port;
    if (!client->ip) return; // not created yet: the start-up binds it
    nx_tcp_client_socket_unbind(&client->socket);
    UINT rc = nx_tcp_client_socket_bind(&client->socket, local_port, NX_NO_WAIT);
    if (rc != NX_SUCCESS)
        console_printf("tcp_thread_initialize: nx_tcp_client_socket_bind error:0x%02X\n", rc);
}

void tcp_client_send_data(tcp_client* client, const uint8_t* data, uint32_t length) {
    if (!client->created) return;
    if (client->pending) {
        console_printf("tcp_client_send_data: tcp client driver busy\n");
        return;
    }
    NX_PACKET* packet = nullptr;
    UINT rc = nx_packet_allocate(client->pool, &packet, NX_TCP_PACKET, TCP_CLIENT_WAIT_TICKS);
    if (rc != NX_SUCCESS) {
        console_printf("tcp_client_send_data: nx_packet_allocate failure:0x%02X!\n", rc);
        return;
    }
    rc = nx_packet_data_append(packet, data, length, client->pool, TCP_CLIENT_WAIT_TICKS);
    if (rc != NX_SUCCESS) {
        console_printf("tcp_client_send_data: nx_packet_data_append failure:0x%02X\n", rc);
        nx_packet_release(packet);
        return;
    }
    client->queued = packet;
    client->pending = 1;
    tx_semaphore_put(&client->transmit);
    tx_thread_resume(&client->thread);
}

udp_client& TrapUdpClient() {
    static udp_client client{};
    return client;
}

tcp_client& TrapTcpClient() {
    static tcp_client client{};
    return client;
}
