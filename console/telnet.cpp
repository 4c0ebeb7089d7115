#include "console/telnet.h"

#include "runtime/os.h"

namespace {

// The one server's state (one instance exists, inside the monitor task).
struct server_state {
    uint8_t state = CTelnetServer::CONSTRUCTED;
    NX_IP* ip = nullptr;
    NX_PACKET_POOL* pool = nullptr;
    TX_BYTE_POOL* stacks = nullptr;
    NX_TELNET_SERVER server{};
    telnet_hook_fn hook = nullptr;
};

server_state& server() {
    static server_state s;
    return s;
}

int call_hook(int event, UINT connection, const uint8_t* data, uint32_t length, const char** reply,
              uint32_t* reply_length) {
    *reply = nullptr;
    *reply_length = 0;
    telnet_hook_fn hook = server().hook;
    return hook ? hook(event, connection, data, length, reply, reply_length) : 0;
}

void telnet_new_connection(NX_TELNET_SERVER* s, UINT connection) {
    const char* reply;
    uint32_t length;
    if (call_hook(CTelnetServer::EVENT_NEW, connection, nullptr, 0, &reply, &length) != 0 ||
        !reply || length == 0)
        return;
    NX_PACKET* packet = nullptr;
    if (nx_packet_allocate(server().pool, &packet, NX_TCP_PACKET, NX_NO_WAIT) != NX_SUCCESS) return;
    if (nx_packet_data_append(packet, reply, length, server().pool, NX_NO_WAIT) != NX_SUCCESS ||
        nx_telnet_server_packet_send(s, connection, packet, NX_NO_WAIT) != NX_SUCCESS)
        nx_packet_release(packet);
}

// The received packet carries the reply back.
void telnet_receive_data(NX_TELNET_SERVER* s, UINT connection, NX_PACKET* packet) {
    const char* reply;
    uint32_t length;
    int rc = call_hook(CTelnetServer::EVENT_DATA, connection, packet->prepend_ptr, packet->length,
                       &reply, &length);
    if (rc != 0 || !reply || length == 0) {
        nx_packet_release(packet);
        return;
    }
    packet->length = 0;
    packet->prepend_ptr = packet->data_start + NX_TCP_PACKET;
    packet->append_ptr = packet->prepend_ptr;
    if (nx_packet_data_append(packet, reply, length, server().pool, NX_NO_WAIT) != NX_SUCCESS ||
        nx_telnet_server_packet_send(s, connection, packet, CTelnetServer::SEND_WAIT) != NX_SUCCESS)
        nx_packet_release(packet);
}

void telnet_connection_end(NX_TELNET_SERVER* s, UINT connection) {
    (void)s;
    const char* reply;
    uint32_t length;
    call_hook(CTelnetServer::EVENT_END, connection, nullptr, 0, &reply, &length);
}

} // namespace

int telnet_encode_text(const char* text, uint32_t length, char* out, uint32_t size) {
    uint32_t used = 0;
    for (uint32_t i = 0; i < length; i++) {
        const uint8_t byte = static_cast<uint8_t>(text[i]);
        const bool doubled = byte == '\n' || byte == NX_TELNET_IAC;
        if (used + (doubled ? 2 : 1) > size) return -1;
        if (byte == '\n') out[used++] = '\r';
        if (byte == NX_TELNET_IAC) out[used++] = static_cast<char>(NX_TELNET_IAC);
        out[used++] = static_cast<char>(byte);
    }
    return static_cast<int>(used);
}

CTelnetServer::CTelnetServer(NX_IP* ip, NX_PACKET_POOL* pool, TX_BYTE_POOL* stacks) {
    server_state& s = server();
    s.ip = ip;
    s.pool = pool;
    s.stacks = stacks;
    s.state = CONSTRUCTED;
}

CTelnetServer::~CTelnetServer() {
    Stop();
    Delete();
}

uint8_t CTelnetServer::State() const {
    return server().state;
}

void CTelnetServer::SetEventHook(telnet_hook_fn hook) {
    server().hook = hook;
}

int CTelnetServer::Create() {
    server_state& s = server();
    if (s.state != CONSTRUCTED && s.state != DELETED) return 0;
    void* stack = nullptr;
    if (!s.stacks || os_byte_allocate(s.stacks, &stack, STACK_BYTES, OS_NO_WAIT) != OS_OK) return 0;
    if (nx_telnet_server_create(&s.server, "Server", s.ip, stack, STACK_BYTES,
                                telnet_new_connection, telnet_receive_data,
                                telnet_connection_end) != NX_SUCCESS) {
        os_byte_release(stack);
        return 0;
    }
    s.state = CREATED;
    return 1;
}

int CTelnetServer::Start() {
    server_state& s = server();
    if (s.state < CREATED || nx_telnet_server_start(&s.server) != NX_SUCCESS) return 0;
    s.state = STARTED;
    return 1;
}

int CTelnetServer::Stop() {
    server_state& s = server();
    if (s.state != STARTED || nx_telnet_server_stop(&s.server) != NX_SUCCESS) return 0;
    s.state = STOPPED;
    return 1;
}

int CTelnetServer::Delete() {
    server_state& s = server();
    if (s.state < CREATED || nx_telnet_server_delete(&s.server) != NX_SUCCESS) return 0;
    s.state = DELETED;
    return 1;
}

int CTelnetServer::Send(UINT connection, const void* bytes, uint32_t length) {
    server_state& s = server();
    NX_PACKET* packet = nullptr;
    if (nx_packet_allocate(s.pool, &packet, NX_TCP_PACKET, NX_NO_WAIT) != NX_SUCCESS) return 1;
    if (nx_packet_data_append(packet, bytes, length, s.pool, NX_NO_WAIT) == NX_SUCCESS &&
        nx_telnet_server_packet_send(&s.server, connection, packet, NX_NO_WAIT) == NX_SUCCESS)
        return 1;
    nx_packet_release(packet);
    return 0;
}

int CTelnetServer::SetDeadline(UINT connection, ULONG ticks) {
    server_state& s = server();
    if (s.state < CREATED) return 0;
    return nx_telnet_server_deadline_set(&s.server, connection, ticks) == NX_SUCCESS ? 1 : 0;
}

CTelnetClient::CTelnetClient(NX_IP* ip, NX_PACKET_POOL* pool) : ip_(ip), pool_(pool) {}

CTelnetClient::~CTelnetClient() {
    Disconnect();
    Delete();
}

int CTelnetClient::Create() {
    if (state_ >= CREATED) return 0;
    if (nx_telnet_client_create(&client_, "Client", ip_, WINDOW) != NX_SUCCESS) return 0;
    state_ = CREATED;
    return 1;
}

int CTelnetClient::Connect(ULONG server_ip, UINT port) {
    if (state_ == CONNECTED) return 0;
    if (state_ < CREATED && !Create()) return 0;
    if (nx_telnet_client_connect(&client_, server_ip, port, WAIT) != NX_SUCCESS) return 0;
    state_ = CONNECTED;
    return 1;
}

int CTelnetClient::Disconnect() {
    if (state_ != CONNECTED) return 0;
    UINT rc = nx_telnet_client_disconnect(&client_, WAIT);
    if (rc != NX_SUCCESS && rc != NX_TELNET_NOT_CONNECTED) return 0;
    state_ = DISCONNECTED;
    return 1;
}

int CTelnetClient::Send(const void* bytes, uint32_t length) {
    if (state_ != CONNECTED) return 0;
    NX_PACKET* packet = nullptr;
    if (nx_packet_allocate(pool_, &packet, NX_TCP_PACKET, NX_WAIT_FOREVER) != NX_SUCCESS) return 0;
    if (nx_packet_data_append(packet, bytes, length, pool_, WAIT) == NX_SUCCESS &&
        nx_telnet_client_packet_send(&client_, packet, WAIT) == NX_SUCCESS)
        return 1;
    nx_packet_release(packet);
    return 0;
}

int CTelnetClient::Receive(void* buffer, uint32_t size, uint32_t* length, ULONG wait) {
    if (state_ != CONNECTED || !buffer || !length) return 0;
    NX_PACKET* packet = nullptr;
    if (nx_telnet_client_packet_receive(&client_, &packet, wait) != NX_SUCCESS) return 0;
    ULONG copied = 0;
    nx_packet_data_retrieve(packet, buffer, size, &copied);
    nx_packet_release(packet);
    *length = copied;
    return 1;
}

int CTelnetClient::Delete() {
    if (state_ < CREATED) return 0;
    if (state_ == CONNECTED) Disconnect();
    nx_telnet_client_delete(&client_);
    state_ = DELETED;
    return 1;
}
