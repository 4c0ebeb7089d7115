// HTTP server add-on: the request parser, the server thread and its
// responses, over the stack's TCP sockets.
#include "platform/netstack/http_server.h"

#include "platform/netstack/internal.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <strings.h>
#include <vector>

namespace {

const ULONG SERVER_WORK = 0x1;
const UINT LISTEN_QUEUE = 4;
const ULONG HTTP_WINDOW = 1400;

struct status_text {
    UINT code;
    const char* reason;
};
const status_text STATUS_TEXTS[] = {
    {200, "OK"},
    {400, "Bad Request"},
    {401, "Unauthorized"},
    {404, "Not Found"},
    {411, "Length Required"},
    {413, "Payload Too Large"},
    {431, "Request Header Fields Too Large"},
    {500, "Internal Server Error"},
    {501, "Not Implemented"},
};

const char* reason_of(UINT code) {
    for (const status_text& s : STATUS_TEXTS)
        if (s.code == code) return s.reason;
    return "Error";
}

struct content_type {
    const char* extension;
    const char* type;
};
const content_type CONTENT_TYPES[] = {
    {".html", "text/html"},     {".htm", "text/html"},  {".css", "text/css"},
    {".js", "text/javascript"}, {".txt", "text/plain"}, {".xml", "text/xml"},
    {".png", "image/png"},      {".gif", "image/gif"},  {".jpg", "image/jpeg"},
    {".bmp", "image/bmp"},
};

bool ends_with_nocase(const char* text, const char* tail) {
    size_t n = std::strlen(text), m = std::strlen(tail);
    if (m > n) return false;
    for (size_t i = 0; i < m; i++)
        if (std::tolower(uint8_t(text[n - m + i])) != tail[i]) return false;
    return true;
}

const char* type_of(const char* name) {
    for (const content_type& c : CONTENT_TYPES)
        if (ends_with_nocase(name, c.extension)) return c.type;
    return "application/octet-stream";
}

struct method_row {
    const char* name;
    UINT type;
};
const method_row METHODS[] = {{"GET", NX_HTTP_SERVER_GET_REQUEST},
                              {"POST", NX_HTTP_SERVER_POST_REQUEST}};

// ---- the parser ----

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Percent-decode `in` (n bytes) into out (size with its NUL). A path that
// does not fit, holds a control byte, a backslash or a ".." segment is
// refused.
bool decode_path(const char* in, size_t n, char* out, size_t size) {
    size_t o = 0;
    for (size_t i = 0; i < n; i++) {
        char c = in[i];
        if (c == '%') {
            if (i + 2 >= n) return false;
            int hi = hex_value(in[i + 1]), lo = hex_value(in[i + 2]);
            if (hi < 0 || lo < 0) return false;
            c = char(hi << 4 | lo);
            i += 2;
        }
        if (uint8_t(c) < 0x20 || c == 0x7F || c == '\\' || o + 1 >= size) return false;
        out[o++] = c;
    }
    out[o] = '\0';
    for (const char* p = out; (p = std::strstr(p, "..")) != nullptr; p += 2) {
        bool starts = p == out || p[-1] == '/';
        bool ends = p[2] == '\0' || p[2] == '/';
        if (starts && ends) return false;
    }
    return out[0] == '/';
}

bool copy_bounded(const char* in, size_t n, char* out, size_t size) {
    if (n + 1 > size) return false;
    std::memcpy(out, in, n);
    out[n] = '\0';
    return true;
}

// The request line "METHOD TARGET HTTP/1.x". -> 0 or the refusing status.
UINT parse_request_line(const char* line, size_t n, nx_http_head* out) {
    const char* end = line + n;
    const char* sp1 = std::find(line, end, ' ');
    if (sp1 == end) return 400;
    const char* target = sp1 + 1;
    const char* sp2 = std::find(target, end, ' ');
    if (sp2 == end) return 400;
    const char* version = sp2 + 1;
    size_t version_length = size_t(end - version);
    if (version_length != 8 ||
        (std::strncmp(version, "HTTP/1.0", 8) != 0 && std::strncmp(version, "HTTP/1.1", 8) != 0))
        return 400;
    if (target == sp2 || *target != '/') return 400;
    const char* question = std::find(target, sp2, '?');
    if (!decode_path(target, size_t(question - target), out->path, sizeof out->path)) return 404;
    if (question != sp2 &&
        !copy_bounded(question + 1, size_t(sp2 - question - 1), out->query, sizeof out->query))
        return 404;
    for (const method_row& m : METHODS)
        if (size_t(sp1 - line) == std::strlen(m.name) &&
            std::strncmp(line, m.name, size_t(sp1 - line)) == 0)
            out->type = m.type;
    return out->type ? 0 : 501;
}

bool name_is(const char* line, size_t n, const char* name) {
    size_t m = std::strlen(name);
    if (n <= m || line[m] != ':') return false;
    for (size_t i = 0; i < m; i++)
        if (std::tolower(uint8_t(line[i])) != name[i]) return false;
    return true;
}

// The value of a header line after its colon, without surrounding blanks.
void value_of(const char* line, size_t n, size_t name_length, const char** value, size_t* length) {
    const char* v = line + name_length + 1;
    const char* end = line + n;
    while (v < end && (*v == ' ' || *v == '\t'))
        v++;
    while (end > v && (end[-1] == ' ' || end[-1] == '\t'))
        end--;
    *value = v;
    *length = size_t(end - v);
}

UINT parse_content_length(const char* v, size_t n, nx_http_head* out) {
    if (n == 0 || n > 9) return 400;
    ULONG value = 0;
    for (size_t i = 0; i < n; i++) {
        if (!std::isdigit(uint8_t(v[i]))) return 400;
        value = value * 10 + ULONG(v[i] - '0');
    }
    if (out->has_body_length && out->content_length != value) return 400;
    out->content_length = value;
    out->has_body_length = true;
    return 0;
}

UINT parse_header_line(const char* line, size_t n, nx_http_head* out) {
    const char* v = nullptr;
    size_t length = 0;
    if (name_is(line, n, "content-length")) {
        value_of(line, n, 14, &v, &length);
        return parse_content_length(v, length, out);
    }
    if (name_is(line, n, "transfer-encoding")) return 411;
    if (name_is(line, n, "authorization")) {
        value_of(line, n, 13, &v, &length);
        if (length > 6 && strncasecmp(v, "Basic ", 6) == 0)
            copy_bounded(v + 6, length - 6, out->authorization, sizeof out->authorization);
    }
    return 0;
}

// ---- Basic credentials ----

int base64_value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

// Standard base64 (padding optional) into out; false when malformed or too long.
bool base64_into(const char* text, char* out, size_t size, size_t* count) {
    uint32_t bits = 0;
    int held = 0;
    size_t o = 0;
    for (const char* p = text; *p && *p != '='; p++) {
        int v = base64_value(*p);
        if (v < 0) return false;
        bits = bits << 6 | uint32_t(v);
        held += 6;
        if (held >= 8) {
            held -= 8;
            if (o >= size) return false;
            out[o++] = char((bits >> held) & 0xFF);
        }
    }
    *count = o;
    return true;
}

} // namespace

UINT nx_http_parse_head(const char* head, ULONG length, nx_http_head* out) {
    *out = nx_http_head{};
    const char* end = head + length;
    const char* line = head;
    bool first = true;
    while (line < end) {
        const char* nl = std::find(line, end, '\n');
        size_t n = size_t(nl - line);
        if (n > 0 && line[n - 1] == '\r') n--;
        if (n == 0) break; // the blank line ends the head
        if (std::memchr(line, '\0', n)) return 400;
        UINT rc = first ? parse_request_line(line, n, out) : parse_header_line(line, n, out);
        if (rc) return rc;
        first = false;
        line = nl == end ? end : nl + 1;
    }
    if (first) return 400;
    if (out->type == NX_HTTP_SERVER_POST_REQUEST && !out->has_body_length) return 411;
    if (out->content_length > NX_HTTP_MAX_BODY) return 413;
    return 0;
}

bool nx_http_basic_decode(const char* base64, char* name, ULONG name_size, char* password,
                          ULONG password_size) {
    char decoded[NX_HTTP_MAX_RESOURCE];
    size_t count = 0;
    if (!base64_into(base64, decoded, sizeof decoded - 1, &count)) return false;
    const char* colon = static_cast<const char*>(std::memchr(decoded, ':', count));
    if (!colon || std::memchr(decoded, '\0', count)) return false;
    size_t name_length = size_t(colon - decoded);
    return copy_bounded(decoded, name_length, name, name_size) &&
           copy_bounded(colon + 1, count - name_length - 1, password, password_size);
}

// ---- the server ----

struct NX_HTTP_REQUEST {
    nx_http_head head;
    std::vector<char> body;
};

namespace {

struct http_impl {
    NX_HTTP_SERVER* server = nullptr;
    NX_HTTP_FILES files{};
    NX_PACKET_POOL* pool = nullptr;
    nx_http_authenticate_fn authenticate = nullptr;
    nx_http_request_fn request = nullptr;
    TX_EVENT_FLAGS_GROUP events{};
    NX_TCP_SOCKET socket{};
    bool socket_made = false;
    bool listening = false;
    bool started = false;
    UINT listen_port = 0;
    bool answered = false; // the callback sent its own response
    std::vector<char> head;
};

http_impl* impl_of(NX_HTTP_SERVER* server) {
    return server ? static_cast<http_impl*>(server->impl) : nullptr;
}

std::vector<http_impl*>& servers() {
    static auto* table = new std::vector<http_impl*>; // outlives every server
    return *table;
}

void poke(NX_TCP_SOCKET* socket) {
    http_impl* h = static_cast<http_impl*>(socket->user_data);
    if (h) tx_event_flags_set(&h->events, SERVER_WORK, TX_OR);
}

void poke_listen(NX_TCP_SOCKET* socket, UINT) {
    poke(socket);
}

// Send bytes in packets of the pool; a full send queue is waited for until
// the deadline. -> false when the connection is gone.
bool send_all(http_impl* h, const uint8_t* bytes, ULONG size, ULONG deadline) {
    while (size > 0) {
        NX_PACKET* packet = nullptr;
        if (nx_packet_allocate(h->pool, &packet, NX_TCP_PACKET, NX_NO_WAIT) != NX_SUCCESS) {
            if (int32_t(tx_time_get() - deadline) >= 0) return false;
            tx_thread_sleep(1);
            continue;
        }
        ULONG room = ULONG(packet->data_end - packet->append_ptr);
        ULONG n = std::min(size, room);
        nx_packet_data_append(packet, bytes, n, h->pool, NX_NO_WAIT);
        UINT rc;
        while ((rc = nx_tcp_socket_send(&h->socket, packet, NX_NO_WAIT)) == NX_TX_QUEUE_DEPTH &&
               int32_t(tx_time_get() - deadline) < 0)
            tx_thread_sleep(1);
        if (rc != NX_SUCCESS) {
            nx_packet_release(packet);
            return false;
        }
        bytes += n;
        size -= n;
    }
    return true;
}

ULONG send_deadline() {
    return tx_time_get() + 10 * NX_HTTP_CLIENT_TIMEOUT;
}

void send_text(http_impl* h, const char* text) {
    send_all(h, reinterpret_cast<const uint8_t*>(text), ULONG(std::strlen(text)), send_deadline());
}

void send_head(http_impl* h, UINT status, const char* type, ULONG length, const char* extra) {
    char head[512];
    std::snprintf(head, sizeof head,
                  "HTTP/1.0 %u %s\r\nContent-Type: %s\r\nContent-Length: %lu\r\n"
                  "Cache-Control: no-cache\r\n%sConnection: close\r\n\r\n",
                  status, reason_of(status), type, (unsigned long)length, extra);
    send_text(h, head);
}

void send_status(http_impl* h, UINT status, const char* extra = "") {
    char body[128];
    std::snprintf(body, sizeof body, "<html><body><h1>%u %s</h1></body></html>\n", status,
                  reason_of(status));
    send_head(h, status, "text/html", ULONG(std::strlen(body)), extra);
    send_text(h, body);
}

void send_file(http_impl* h, const char* resource) {
    const char* name = resource[0] == '/' ? resource + 1 : resource;
    ULONG size = 0;
    if (!h->files.size || h->files.size(h->files.context, name, &size) != NX_SUCCESS) {
        send_status(h, 404);
        return;
    }
    send_head(h, 200, type_of(name), size, "");
    uint8_t chunk[1024];
    ULONG deadline = send_deadline();
    for (ULONG offset = 0; offset < size;) {
        ULONG actual = 0;
        ULONG want = std::min<ULONG>(sizeof chunk, size - offset);
        if (h->files.read(h->files.context, name, offset, chunk, want, &actual) != NX_SUCCESS ||
            actual == 0 || !send_all(h, chunk, actual, deadline))
            return;
        offset += actual;
    }
}

// Take what arrived into `into` until `done` holds, the limit is passed or
// the deadline comes. -> NX_SUCCESS, NX_NO_PACKET (deadline), NX_NOT_CONNECTED.
template <typename Done>
UINT receive_until(http_impl* h, std::vector<char>& into, size_t limit, ULONG deadline, Done done) {
    while (!done() && into.size() <= limit) {
        int32_t left = int32_t(deadline - tx_time_get());
        if (left <= 0) return NX_NO_PACKET;
        NX_PACKET* packet = nullptr;
        UINT rc = nx_tcp_socket_receive(&h->socket, &packet, ULONG(left));
        if (rc != NX_SUCCESS) return rc;
        into.insert(into.end(), packet->prepend_ptr, packet->append_ptr);
        nx_packet_release(packet);
    }
    return NX_SUCCESS;
}

// Whatever the client already sent is read and dropped, so that closing
// does not reset a connection whose response is still on its way.
void drain(http_impl* h) {
    for (int i = 0; i < 64; i++) {
        NX_PACKET* packet = nullptr;
        if (nx_tcp_socket_receive(&h->socket, &packet, NX_NO_WAIT) != NX_SUCCESS) return;
        nx_packet_release(packet);
    }
}

// After the response the client closes once it has read the whole body
// (Content-Length, Connection: close); the server waits for that, at most
// NX_HTTP_LINGER ticks, so that closing first never cuts the response short
// or resets it. What the client still sends is dropped.
void linger(http_impl* h) {
    ULONG deadline = tx_time_get() + NX_HTTP_LINGER;
    for (;;) {
        int32_t left = int32_t(deadline - tx_time_get());
        NX_PACKET* packet = nullptr;
        if (left <= 0 || nx_tcp_socket_receive(&h->socket, &packet, ULONG(left)) != NX_SUCCESS)
            return;
        nx_packet_release(packet);
    }
}

size_t head_end(const std::vector<char>& bytes) {
    for (size_t i = 0; i + 1 < bytes.size(); i++) {
        if (bytes[i] == '\n' && bytes[i + 1] == '\n') return i + 2;
        if (i + 3 < bytes.size() && std::memcmp(&bytes[i], "\r\n\r\n", 4) == 0) return i + 4;
    }
    return 0;
}

bool authorised(http_impl* h, NX_HTTP_REQUEST& r) {
    if (!h->authenticate) return true;
    const char* name = "";
    const char* password = "";
    const char* realm = "";
    UINT rc = h->authenticate(h->server, r.head.type, r.head.path, &name, &password, &realm);
    if (rc != NX_HTTP_BASIC_AUTHENTICATE) return true;
    char given_name[NX_HTTP_MAX_RESOURCE], given_password[NX_HTTP_MAX_RESOURCE];
    bool ok = r.head.authorization[0] &&
              nx_http_basic_decode(r.head.authorization, given_name, sizeof given_name,
                                   given_password, sizeof given_password) &&
              password && password[0] && std::strcmp(password, given_password) == 0 &&
              (!name || !name[0] || std::strcmp(name, given_name) == 0);
    if (ok) return true;
    char challenge[160];
    std::snprintf(challenge, sizeof challenge, "WWW-Authenticate: Basic realm=\"%.100s\"\r\n",
                  realm ? realm : "");
    send_status(h, 401, challenge);
    return false;
}

void answer(http_impl* h, NX_HTTP_REQUEST& r) {
    if (!authorised(h, r)) return;
    char resource[NX_HTTP_MAX_RESOURCE];
    std::memcpy(resource, r.head.path, sizeof resource);
    h->answered = false;
    UINT rc = h->request ? h->request(h->server, r.head.type, resource, &r) : NX_SUCCESS;
    if (rc == NX_HTTP_CALLBACK_COMPLETED || h->answered) return;
    resource[sizeof resource - 1] = '\0';
    send_file(h, resource);
}

// One connection: read its request and answer it. -> false when it was
// dropped unanswered.
bool serve(http_impl* h) {
    ULONG deadline = tx_time_get() + NX_HTTP_CLIENT_TIMEOUT;
    std::vector<char>& bytes = h->head;
    bytes.clear();
    UINT rc =
        receive_until(h, bytes, NX_HTTP_MAX_HEADER, deadline, [&] { return head_end(bytes) != 0; });
    size_t end = head_end(bytes);
    if (rc == NX_SUCCESS && (end == 0 || end > NX_HTTP_MAX_HEADER)) {
        drain(h);
        send_status(h, 431);
        return true;
    }
    if (rc != NX_SUCCESS) return false; // stalled or gone: dropped unanswered
    NX_HTTP_REQUEST request;
    UINT refused = nx_http_parse_head(bytes.data(), ULONG(end), &request.head);
    if (refused) {
        drain(h);
        send_status(h, refused);
        return true;
    }
    request.body.assign(bytes.begin() + long(end), bytes.end());
    ULONG want = request.head.content_length;
    rc =
        receive_until(h, request.body, want, deadline, [&] { return request.body.size() >= want; });
    if (rc != NX_SUCCESS) return false;
    request.body.resize(want);
    answer(h, request);
    return true;
}

void keep_listening(http_impl* h) {
    if (!h->started || h->socket.state != NX_TCP_CLOSED) return;
    UINT rc = h->listening
                  ? nx_tcp_server_socket_relisten(h->server->ip, h->listen_port, &h->socket)
                  : nx_tcp_server_socket_listen(h->server->ip, h->listen_port, &h->socket,
                                                LISTEN_QUEUE, poke_listen);
    if (rc == NX_SUCCESS || rc == NX_CONNECTION_PENDING) h->listening = true;
    if (rc == NX_CONNECTION_PENDING) tx_event_flags_set(&h->events, SERVER_WORK, TX_OR);
}

void close_connection(http_impl* h) {
    nx_tcp_socket_disconnect(&h->socket, NX_NO_WAIT);
    nx_tcp_server_socket_unaccept(&h->socket);
}

void server_thread(ULONG index) {
    http_impl* h = servers()[index];
    for (;;) {
        ULONG actual = 0;
        tx_event_flags_get(&h->events, SERVER_WORK, TX_OR_CLEAR, &actual, TX_WAIT_FOREVER);
        if (h->started && h->socket.state == NX_TCP_SYN_RECEIVED &&
            nx_tcp_server_socket_accept(&h->socket, NX_NO_WAIT) == NX_SUCCESS) {
            if (serve(h)) linger(h);
            close_connection(h);
        }
        keep_listening(h);
    }
}

} // namespace

UINT nx_http_server_create(NX_HTTP_SERVER* server, const char* name, NX_IP* ip,
                           const NX_HTTP_FILES* files, void* stack, ULONG stack_size,
                           NX_PACKET_POOL* pool, nx_http_authenticate_fn authenticate,
                           nx_http_request_fn request) {
    if (!server || !ip || !stack || !pool || !netstack::ip_of(ip)) return NX_PTR_ERROR;
    http_impl* h = new http_impl;
    h->server = server;
    if (files) h->files = *files;
    h->pool = pool;
    h->authenticate = authenticate;
    h->request = request;
    *server = NX_HTTP_SERVER{};
    server->name = name;
    server->ip = ip;
    server->port = NX_HTTP_SERVER_PORT;
    if (tx_event_flags_create(&h->events, name) != TX_SUCCESS) {
        delete h;
        return NX_HTTP_ERROR;
    }
    servers().push_back(h);
    ULONG index = ULONG(servers().size() - 1);
    if (tx_thread_create(&server->thread, "HTTP Server Thread", server_thread, index, stack,
                         stack_size, NX_HTTP_SERVER_PRIORITY, NX_HTTP_SERVER_PRIORITY, 0,
                         TX_AUTO_START) != TX_SUCCESS) {
        tx_event_flags_delete(&h->events);
        servers()[index] = nullptr;
        delete h;
        return NX_HTTP_ERROR;
    }
    server->impl = h;
    return NX_SUCCESS;
}

UINT nx_http_server_port_set(NX_HTTP_SERVER* server, UINT port) {
    if (!impl_of(server)) return NX_PTR_ERROR;
    if (port == 0 || port > 0xFFFF) return NX_INVALID_PORT;
    server->port = port;
    return NX_SUCCESS;
}

UINT nx_http_server_start(NX_HTTP_SERVER* server) {
    http_impl* h = impl_of(server);
    if (!h) return NX_PTR_ERROR;
    if (h->started) return NX_HTTP_ALREADY_STARTED;
    if (!h->socket_made) {
        if (nx_tcp_socket_create(server->ip, &h->socket, server->name, 0, 0, 128, HTTP_WINDOW,
                                 nullptr, poke) != NX_SUCCESS)
            return NX_HTTP_ERROR;
        h->socket.user_data = h;
        nx_tcp_socket_receive_notify(&h->socket, poke);
        h->socket_made = true;
    }
    h->started = true;
    h->listening = false;
    h->listen_port = server->port;
    keep_listening(h);
    return h->listening ? NX_SUCCESS : NX_PORT_UNAVAILABLE;
}

UINT nx_http_server_stop(NX_HTTP_SERVER* server) {
    http_impl* h = impl_of(server);
    if (!h) return NX_PTR_ERROR;
    if (!h->started) return NX_HTTP_NOT_STARTED;
    h->started = false;
    tx_thread_wait_abort(&server->thread); // a request being read ends now
    close_connection(h);
    if (h->listening) nx_tcp_server_socket_unlisten(server->ip, h->listen_port);
    h->listening = false;
    return NX_SUCCESS;
}

ULONG nx_http_server_content_length_get(NX_HTTP_REQUEST* request) {
    return request ? request->head.content_length : 0;
}

UINT nx_http_server_content_get(NX_HTTP_SERVER*, NX_HTTP_REQUEST* request, ULONG offset,
                                char* buffer, ULONG size, ULONG* actual) {
    if (!request || !buffer || !actual) return NX_PTR_ERROR;
    *actual = 0;
    if (offset >= request->body.size()) return NX_HTTP_DATA_END;
    ULONG n = std::min<ULONG>(size, ULONG(request->body.size() - offset));
    std::memcpy(buffer, request->body.data() + offset, n);
    *actual = n;
    return NX_SUCCESS;
}

UINT nx_http_server_param_get(NX_HTTP_REQUEST* request, UINT index, char* buffer, ULONG size) {
    if (!request || !buffer || size == 0) return NX_PTR_ERROR;
    const char* p = request->head.query;
    const char* end = p + std::strlen(p);
    if (p == end) return NX_HTTP_NOT_FOUND;
    for (UINT i = 0; i < index; i++) {
        p = std::find(p, end, '&');
        if (p == end) return NX_HTTP_NOT_FOUND;
        p++;
    }
    const char* stop = std::find(p, end, '&');
    return copy_bounded(p, size_t(stop - p), buffer, size) ? NX_SUCCESS : NX_SIZE_ERROR;
}

UINT nx_http_server_response_status_send(NX_HTTP_SERVER* server, UINT status) {
    http_impl* h = impl_of(server);
    if (!h) return NX_PTR_ERROR;
    send_status(h, status);
    h->answered = true;
    return NX_SUCCESS;
}
