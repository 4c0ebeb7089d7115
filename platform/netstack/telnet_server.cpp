// Telnet server add-on: a thread of its own serving up to
// NX_TELNET_MAX_CLIENTS connections on the telnet port of an IP instance.
#include "platform/netstack/internal.h"
#include "platform/netstack/telnet_addon.h"

#include <algorithm>
#include <vector>

namespace {

const ULONG SERVER_WORK = 0x1;
const ULONG TELNET_WINDOW = 1024;

enum class parse : uint8_t { data, iac, option, sub, sub_iac };

struct connection {
    NX_TCP_SOCKET socket{};
    bool open = false; // accepted and not yet ended
    parse state = parse::data;
    uint8_t command = 0;
    bool after_cr = false;
    bool echo_refused = false;
    bool sga_asked = false;
    bool timed = false; // a deadline is set
    ULONG deadline = 0; // the tick the connection is closed at
};

struct telnet_impl {
    NX_TELNET_SERVER* server = nullptr;
    TX_EVENT_FLAGS_GROUP events{};
    nx_telnet_connection_fn new_connection = nullptr;
    nx_telnet_receive_fn receive = nullptr;
    nx_telnet_connection_fn end = nullptr;
    connection conns[NX_TELNET_MAX_CLIENTS];
    bool sockets_made = false;
    bool listening = false; // the port's listener exists
    bool started = false;
};

telnet_impl* impl_of(NX_TELNET_SERVER* server) {
    return server ? static_cast<telnet_impl*>(server->impl) : nullptr;
}

// The thread's input is an index (host records may lie above 4 GB).
std::vector<telnet_impl*>& servers() {
    static auto* table = new std::vector<telnet_impl*>; // outlives every server
    return *table;
}

void poke(NX_TCP_SOCKET* socket) {
    telnet_impl* t = static_cast<telnet_impl*>(socket->user_data);
    if (t) tx_event_flags_set(&t->events, SERVER_WORK, TX_OR);
}

void poke_listen(NX_TCP_SOCKET* socket, UINT port) {
    (void)port;
    poke(socket);
}

void send_bytes(connection& c, NX_PACKET_POOL* pool, const uint8_t* bytes, ULONG size) {
    NX_PACKET* packet = nullptr;
    if (nx_packet_allocate(pool, &packet, NX_TCP_PACKET, NX_NO_WAIT) != NX_SUCCESS) return;
    if (nx_packet_data_append(packet, bytes, size, pool, NX_NO_WAIT) != NX_SUCCESS ||
        nx_tcp_socket_send(&c.socket, packet, NX_NO_WAIT) != NX_SUCCESS)
        nx_packet_release(packet);
}

void send_option(connection& c, NX_PACKET_POOL* pool, uint8_t command, uint8_t option) {
    const uint8_t reply[3] = {NX_TELNET_IAC, command, option};
    send_bytes(c, pool, reply, sizeof reply);
}

// The server offers to echo and to suppress go-ahead: a stock client then
// sends every character as it is typed. Requests are answered once; an
// acknowledgement is never answered.
void answer_option(connection& c, NX_PACKET_POOL* pool, uint8_t command, uint8_t option) {
    bool ours = option == NX_TELNET_ECHO || option == NX_TELNET_SGA;
    switch (command) {
    case NX_TELNET_DO:
        if (!ours) send_option(c, pool, NX_TELNET_WONT, option);
        break;
    case NX_TELNET_DONT:
        if (option == NX_TELNET_ECHO && !c.echo_refused) {
            c.echo_refused = true;
            send_option(c, pool, NX_TELNET_WONT, option);
        }
        break;
    case NX_TELNET_WILL:
        if (option != NX_TELNET_SGA)
            send_option(c, pool, NX_TELNET_DONT, option);
        else if (!c.sga_asked)
            send_option(c, pool, NX_TELNET_DO, option);
        c.sga_asked = c.sga_asked || option == NX_TELNET_SGA;
        break;
    default: // WONT: nothing was asked of the client but go-ahead suppression
        break;
    }
}

// Take the commands out of the packet's data in place; a carriage return's
// line feed or NUL is dropped.
void filter(connection& c, NX_PACKET_POOL* pool, NX_PACKET* packet) {
    uint8_t* out = packet->prepend_ptr;
    for (uint8_t* in = packet->prepend_ptr; in < packet->append_ptr; in++) {
        uint8_t b = *in;
        switch (c.state) {
        case parse::data:
            if (b == NX_TELNET_IAC) {
                c.state = parse::iac;
            } else if (c.after_cr && (b == 0 || b == '\n')) {
                c.after_cr = false;
            } else {
                *out++ = b;
                c.after_cr = b == '\r';
            }
            break;
        case parse::iac:
            c.state = parse::data;
            if (b == NX_TELNET_IAC) {
                *out++ = b;
                c.after_cr = false;
            } else if (b >= NX_TELNET_WILL && b <= NX_TELNET_DONT) {
                c.command = b;
                c.state = parse::option;
            } else if (b == NX_TELNET_SB) {
                c.state = parse::sub;
            }
            break;
        case parse::option:
            answer_option(c, pool, c.command, b);
            c.state = parse::data;
            break;
        case parse::sub:
            if (b == NX_TELNET_IAC) c.state = parse::sub_iac;
            break;
        case parse::sub_iac:
            c.state = b == NX_TELNET_SE ? parse::data : parse::sub;
            break;
        }
    }
    packet->append_ptr = out;
    packet->length = static_cast<ULONG>(out - packet->prepend_ptr);
}

// Keep one closed connection in the port's listening place.
void keep_listening(telnet_impl* t, NX_IP* ip) {
    for (connection& c : t->conns)
        if (c.socket.state == NX_TCP_LISTEN_STATE) return;
    for (connection& c : t->conns) {
        if (c.open || c.socket.state != NX_TCP_CLOSED) continue;
        UINT rc = t->listening ? nx_tcp_server_socket_relisten(ip, NX_TELNET_SERVER_PORT, &c.socket)
                               : nx_tcp_server_socket_listen(ip, NX_TELNET_SERVER_PORT, &c.socket,
                                                             NX_TELNET_MAX_CLIENTS, poke_listen);
        if (rc == NX_SUCCESS || rc == NX_CONNECTION_PENDING) t->listening = true;
        if (rc == NX_CONNECTION_PENDING) tx_event_flags_set(&t->events, SERVER_WORK, TX_OR);
        return;
    }
}

void open_connection(telnet_impl* t, UINT index, NX_PACKET_POOL* pool) {
    connection& c = t->conns[index];
    if (nx_tcp_server_socket_accept(&c.socket, NX_NO_WAIT) != NX_SUCCESS) return;
    c.open = true;
    c.state = parse::data;
    c.after_cr = c.echo_refused = c.sga_asked = c.timed = false;
    const uint8_t offer[] = {NX_TELNET_IAC, NX_TELNET_WILL, NX_TELNET_ECHO,
                             NX_TELNET_IAC, NX_TELNET_WILL, NX_TELNET_SGA};
    send_bytes(c, pool, offer, sizeof offer);
    if (t->new_connection) t->new_connection(t->server, index);
}

void close_connection(telnet_impl* t, UINT index) {
    connection& c = t->conns[index];
    nx_tcp_socket_disconnect(&c.socket, NX_NO_WAIT);
    nx_tcp_server_socket_unaccept(&c.socket);
    bool was_open = c.open;
    c.open = false;
    if (was_open && t->end) t->end(t->server, index);
}

void serve_connection(telnet_impl* t, UINT index, NX_PACKET_POOL* pool) {
    connection& c = t->conns[index];
    for (;;) {
        NX_PACKET* packet = nullptr;
        UINT rc = nx_tcp_socket_receive(&c.socket, &packet, NX_NO_WAIT);
        if (rc == NX_NOT_CONNECTED) {
            close_connection(t, index);
            return;
        }
        if (rc != NX_SUCCESS) return;
        filter(c, pool, packet);
        if (packet->length == 0 || !t->receive)
            nx_packet_release(packet);
        else
            t->receive(t->server, index, packet);
        if (!c.open) return; // the callback ended the connection
    }
}

bool expired(const connection& c) {
    return c.open && c.timed && int32_t(tx_time_get() - c.deadline) >= 0;
}

// Ticks until the nearest deadline of an open connection; forever when none.
ULONG next_wait(telnet_impl* t) {
    ULONG wait = TX_WAIT_FOREVER;
    for (const connection& c : t->conns) {
        if (!c.open || !c.timed) continue;
        int32_t left = int32_t(c.deadline - tx_time_get());
        wait = std::min(wait, left > 0 ? ULONG(left) : ULONG(1));
    }
    return wait;
}

void server_thread(ULONG index) {
    telnet_impl* t = servers()[index];
    NX_IP* ip = t->server->ip;
    for (;;) {
        ULONG actual = 0;
        tx_event_flags_get(&t->events, SERVER_WORK, TX_OR_CLEAR, &actual, next_wait(t));
        for (UINT i = 0; i < NX_TELNET_MAX_CLIENTS; i++) {
            if (t->conns[i].socket.state == NX_TCP_SYN_RECEIVED)
                open_connection(t, i, ip->default_pool);
            if (t->conns[i].open) serve_connection(t, i, ip->default_pool);
            if (expired(t->conns[i])) close_connection(t, i);
        }
        if (t->started) keep_listening(t, ip);
    }
}

} // namespace

UINT nx_telnet_server_create(NX_TELNET_SERVER* server, const char* name, NX_IP* ip, void* stack,
                             ULONG stack_size, nx_telnet_connection_fn new_connection,
                             nx_telnet_receive_fn receive_data,
                             nx_telnet_connection_fn connection_end) {
    if (!server || !ip || !stack || !netstack::ip_of(ip)) return NX_PTR_ERROR;
    telnet_impl* t = new telnet_impl;
    t->server = server;
    t->new_connection = new_connection;
    t->receive = receive_data;
    t->end = connection_end;
    *server = NX_TELNET_SERVER{};
    server->name = name;
    server->ip = ip;
    if (tx_event_flags_create(&t->events, name) != TX_SUCCESS) {
        delete t;
        return NX_TELNET_INVALID_PARAMETER;
    }
    servers().push_back(t);
    ULONG index = static_cast<ULONG>(servers().size() - 1);
    if (tx_thread_create(&server->thread, name, server_thread, index, stack, stack_size,
                         NX_TELNET_SERVER_PRIORITY, NX_TELNET_SERVER_PRIORITY, 0,
                         TX_DONT_START) != TX_SUCCESS) {
        tx_event_flags_delete(&t->events);
        servers()[index] = nullptr;
        delete t;
        return NX_TELNET_INVALID_PARAMETER;
    }
    server->impl = t;
    return NX_SUCCESS;
}

UINT nx_telnet_server_start(NX_TELNET_SERVER* server) {
    telnet_impl* t = impl_of(server);
    if (!t) return NX_PTR_ERROR;
    if (t->started) return NX_TELNET_ALREADY_STARTED;
    if (!t->sockets_made) {
        for (connection& c : t->conns) {
            if (nx_tcp_socket_create(server->ip, &c.socket, server->name, 0, 0, 128, TELNET_WINDOW,
                                     nullptr, poke) != NX_SUCCESS)
                return NX_TELNET_INVALID_PARAMETER;
            c.socket.user_data = t;
            nx_tcp_socket_receive_notify(&c.socket, poke);
        }
        t->sockets_made = true;
    }
    t->started = true;
    keep_listening(t, server->ip);
    tx_thread_resume(&server->thread);
    return t->listening ? NX_SUCCESS : NX_PORT_UNAVAILABLE;
}

UINT nx_telnet_server_stop(NX_TELNET_SERVER* server) {
    telnet_impl* t = impl_of(server);
    if (!t) return NX_PTR_ERROR;
    if (!t->started) return NX_TELNET_NOT_STARTED;
    t->started = false;
    tx_thread_suspend(&server->thread);
    for (UINT i = 0; i < NX_TELNET_MAX_CLIENTS; i++)
        close_connection(t, i);
    if (t->listening) nx_tcp_server_socket_unlisten(server->ip, NX_TELNET_SERVER_PORT);
    t->listening = false;
    return NX_SUCCESS;
}

UINT nx_telnet_server_delete(NX_TELNET_SERVER* server) {
    telnet_impl* t = impl_of(server);
    if (!t) return NX_PTR_ERROR;
    if (t->started) nx_telnet_server_stop(server);
    tx_thread_terminate(&server->thread);
    tx_thread_delete(&server->thread);
    if (t->sockets_made)
        for (connection& c : t->conns)
            nx_tcp_socket_delete(&c.socket);
    tx_event_flags_delete(&t->events);
    for (telnet_impl*& entry : servers())
        if (entry == t) entry = nullptr;
    server->impl = nullptr;
    delete t;
    return NX_SUCCESS;
}

UINT nx_telnet_server_packet_send(NX_TELNET_SERVER* server, UINT connection_index,
                                  NX_PACKET* packet, ULONG wait) {
    telnet_impl* t = impl_of(server);
    if (!t || !packet) return NX_PTR_ERROR;
    if (connection_index >= NX_TELNET_MAX_CLIENTS) return NX_TELNET_INVALID_PARAMETER;
    if (!t->conns[connection_index].open) return NX_TELNET_NOT_CONNECTED;
    return nx_tcp_socket_send(&t->conns[connection_index].socket, packet, wait);
}

UINT nx_telnet_server_deadline_set(NX_TELNET_SERVER* server, UINT connection_index, ULONG ticks) {
    telnet_impl* t = impl_of(server);
    if (!t) return NX_PTR_ERROR;
    if (connection_index >= NX_TELNET_MAX_CLIENTS) return NX_TELNET_INVALID_PARAMETER;
    connection& c = t->conns[connection_index];
    if (!c.open) return NX_TELNET_NOT_CONNECTED;
    c.timed = ticks != 0;
    c.deadline = tx_time_get() + ticks;
    tx_event_flags_set(&t->events, SERVER_WORK, TX_OR); // the thread's wait changes
    return NX_SUCCESS;
}

UINT nx_telnet_server_disconnect(NX_TELNET_SERVER* server, UINT connection_index) {
    telnet_impl* t = impl_of(server);
    if (!t) return NX_PTR_ERROR;
    if (connection_index >= NX_TELNET_MAX_CLIENTS) return NX_TELNET_INVALID_PARAMETER;
    if (!t->conns[connection_index].open) return NX_TELNET_NOT_CONNECTED;
    close_connection(t, connection_index);
    tx_event_flags_set(&t->events, SERVER_WORK, TX_OR); // listen again
    return NX_SUCCESS;
}

NX_PACKET_POOL* nx_telnet_server_pool(NX_TELNET_SERVER* server) {
    return server && server->ip ? server->ip->default_pool : nullptr;
}
