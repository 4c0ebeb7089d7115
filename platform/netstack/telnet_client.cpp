// Telnet client add-on: one TCP connection whose data pass unchanged (the
// modem ports it reaches speak plain text).
#include "platform/netstack/telnet_addon.h"

UINT nx_telnet_client_create(NX_TELNET_CLIENT* client, const char* name, NX_IP* ip, ULONG window) {
    if (!client || !ip) return NX_PTR_ERROR;
    *client = NX_TELNET_CLIENT{};
    client->name = name;
    client->ip = ip;
    UINT rc = nx_tcp_socket_create(ip, &client->socket, name, 0, 0, 128, window, nullptr, nullptr);
    if (rc != NX_SUCCESS) return rc;
    return nx_tcp_client_socket_bind(&client->socket, NX_ANY_PORT, NX_NO_WAIT);
}

UINT nx_telnet_client_delete(NX_TELNET_CLIENT* client) {
    if (!client || !client->ip) return NX_PTR_ERROR;
    if (client->connected) nx_telnet_client_disconnect(client, NX_NO_WAIT);
    nx_tcp_client_socket_unbind(&client->socket);
    UINT rc = nx_tcp_socket_delete(&client->socket);
    client->ip = nullptr;
    return rc;
}

UINT nx_telnet_client_connect(NX_TELNET_CLIENT* client, ULONG server_ip, UINT server_port,
                              ULONG wait) {
    if (!client || !client->ip) return NX_PTR_ERROR;
    if (client->connected) return NX_NOT_CLOSED;
    UINT rc = nx_tcp_client_socket_connect(&client->socket, server_ip, server_port, wait);
    if (rc == NX_SUCCESS) client->connected = 1;
    return rc;
}

UINT nx_telnet_client_disconnect(NX_TELNET_CLIENT* client, ULONG wait) {
    if (!client || !client->ip) return NX_PTR_ERROR;
    if (!client->connected) return NX_TELNET_NOT_CONNECTED;
    client->connected = 0;
    UINT rc = nx_tcp_socket_disconnect(&client->socket, wait);
    return rc == NX_NOT_CONNECTED ? NX_TELNET_NOT_CONNECTED : rc;
}

UINT nx_telnet_client_packet_send(NX_TELNET_CLIENT* client, NX_PACKET* packet, ULONG wait) {
    if (!client || !client->ip) return NX_PTR_ERROR;
    if (!client->connected) return NX_TELNET_NOT_CONNECTED;
    return nx_tcp_socket_send(&client->socket, packet, wait);
}

UINT nx_telnet_client_packet_receive(NX_TELNET_CLIENT* client, NX_PACKET** packet, ULONG wait) {
    if (!client || !client->ip) return NX_PTR_ERROR;
    if (!client->connected) return NX_TELNET_NOT_CONNECTED;
    return nx_tcp_socket_receive(&client->socket, packet, wait);
}
