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
const UINT LISTEN_QUEUE = 8; // connections waiting for a free slot
const ULONG HTTP_WINDOW = 1400;

struct status_text {
    UINT code;
    const char* reason;
};
const status_text STATUS_TEXTS[] = {
    {200, "OK"},
    {400, "Bad Request"},
    {401, "Unauthorized"},
    {403, "Forbidden"},
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
//
// One thread serves every connection in progress, each in a slot of its own
// with its own socket: it reads what arrived, answers a complete request at
// once, sends what the socket takes and never waits on one client, so that a
// slow or silent client costs the others nothing. One free slot at a time
// holds the port's listening place; connections beyond the slots wait in the
// listen queue until a slot frees.

struct NX_HTTP_REQUEST {
    nx_http_head head;
    std::vector<char> body;
};

namespace {

enum class phase : uint8_t {
    idle,      // closed, or in the listening place
    reading,   // the request is arriving
    sending,   // the response is going out
    lingering, // sent: the client has a moment to close first
};

struct http_slot {
    NX_TCP_SOCKET socket{};
    phase step = phase::idle;
    ULONG started = 0;  // tick the connection was accepted
    ULONG deadline = 0; // tick the current phase ends
    std::vector<char> in;
    std::vector<uint8_t> out;
    size_t sent = 0;
    bool blocked = false; // the send queue was full: try again at the next tick
};

struct http_impl {
    NX_HTTP_SERVER* server = nullptr;
    NX_HTTP_FILES files{};
    NX_PACKET_POOL* pool = nullptr;
    nx_http_authenticate_fn authenticate = nullptr;
    nx_http_request_fn request = nullptr;
    TX_EVENT_FLAGS_GROUP events{};
    http_slot slots[NX_HTTP_MAX_CONNECTIONS];
    bool sockets_made = false;
    bool listening = false;
    bool started = false;
    UINT listen_port = 0;
    http_slot* answering = nullptr; // the slot whose request the callbacks serve
    bool answered = false;          // the callback queued its own response
};

http_impl* impl_of(NX_HTTP_SERVER* server) {
    return server ? static_cast<http_impl*>(server->impl) : nullptr;
}

std::vector<http_impl*>& servers() {
    static auto* table = new std::vector<http_impl*>; // outlives every server
    return *table;
}

bool passed(ULONG deadline) {
    return int32_t(tx_time_get() - deadline) >= 0;
}

void poke(NX_TCP_SOCKET* socket) {
    http_impl* h = static_cast<http_impl*>(socket->user_data);
    if (h) tx_event_flags_set(&h->events, SERVER_WORK, TX_OR);
}

void poke_listen(NX_TCP_SOCKET* socket, UINT) {
    poke(socket);
}

// ---- responses, queued into the slot and sent as the socket takes them ----

void queue_bytes(http_slot& s, const void* bytes, size_t size) {
    const uint8_t* b = static_cast<const uint8_t*>(bytes);
    s.out.insert(s.out.end(), b, b + size);
}

void queue_text(http_slot& s, const char* text) {
    queue_bytes(s, text, std::strlen(text));
}

void queue_head(http_slot& s, UINT status, const char* type, ULONG length, const char* extra) {
    char head[512];
    std::snprintf(head, sizeof head,
                  "HTTP/1.0 %u %s\r\nContent-Type: %s\r\nContent-Length: %lu\r\n"
                  "Cache-Control: no-cache\r\n%sConnection: close\r\n\r\n",
                  status, reason_of(status), type, (unsigned long)length, extra);
    queue_text(s, head);
}

void queue_status(http_slot& s, UINT status, const char* extra = "") {
    char body[128];
    std::snprintf(body, sizeof body, "<html><body><h1>%u %s</h1></body></html>\n", status,
                  reason_of(status));
    queue_head(s, status, "text/html", ULONG(std::strlen(body)), extra);
    queue_text(s, body);
}

// The whole file is taken at once: the firmware may replace a page for the
// next request while this one is still going out.
void queue_file(http_impl* h, http_slot& s, const char* resource) {
    const char* name = resource[0] == '/' ? resource + 1 : resource;
    ULONG size = 0;
    if (!h->files.size || h->files.size(h->files.context, name, &size) != NX_SUCCESS) {
        queue_status(s, 404);
        return;
    }
    std::vector<uint8_t> file(size);
    for (ULONG offset = 0; offset < size;) {
        ULONG actual = 0;
        if (h->files.read(h->files.context, name, offset, file.data() + offset, size - offset,
                          &actual) != NX_SUCCESS ||
            actual == 0) {
            queue_status(s, 500);
            return;
        }
        offset += actual;
    }
    queue_head(s, 200, type_of(name), size, "");
    queue_bytes(s, file.data(), file.size());
}

// Send what the socket takes now. -> false when the connection is gone.
bool pump(http_impl* h, http_slot& s) {
    s.blocked = false;
    while (s.sent < s.out.size()) {
        NX_PACKET* packet = nullptr;
        if (nx_packet_allocate(h->pool, &packet, NX_TCP_PACKET, NX_NO_WAIT) != NX_SUCCESS) {
            s.blocked = true;
            return true;
        }
        ULONG room = ULONG(packet->data_end - packet->append_ptr);
        ULONG n = ULONG(std::min<size_t>(s.out.size() - s.sent, room));
        nx_packet_data_append(packet, s.out.data() + s.sent, n, h->pool, NX_NO_WAIT);
        UINT rc = nx_tcp_socket_send(&s.socket, packet, NX_NO_WAIT);
        if (rc != NX_SUCCESS) nx_packet_release(packet);
        if (rc == NX_TX_QUEUE_DEPTH) {
            s.blocked = true;
            return true;
        }
        if (rc != NX_SUCCESS) return false;
        s.sent += n;
    }
    return true;
}

// ---- requests ----

size_t head_end(const std::vector<char>& bytes) {
    for (size_t i = 0; i + 1 < bytes.size(); i++) {
        if (bytes[i] == '\n' && bytes[i + 1] == '\n') return i + 2;
        if (i + 3 < bytes.size() && std::memcmp(&bytes[i], "\r\n\r\n", 4) == 0) return i + 4;
    }
    return 0;
}

bool authorised(http_impl* h, http_slot& s, NX_HTTP_REQUEST& r) {
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
    queue_status(s, 401, challenge);
    return false;
}

void answer(http_impl* h, http_slot& s, NX_HTTP_REQUEST& r) {
    if (!authorised(h, s, r)) return;
    char resource[NX_HTTP_MAX_RESOURCE];
    std::memcpy(resource, r.head.path, sizeof resource);
    h->answering = &s;
    h->answered = false;
    UINT rc = h->request ? h->request(h->server, r.head.type, resource, &r) : NX_SUCCESS;
    h->answering = nullptr;
    if (rc == NX_HTTP_CALLBACK_COMPLETED || h->answered) return;
    resource[sizeof resource - 1] = '\0';
    queue_file(h, s, resource);
}

void start_sending(http_slot& s) {
    s.step = phase::sending;
    s.deadline = tx_time_get() + NX_HTTP_SEND_TIMEOUT;
    s.in.clear();
}

// Judge what arrived: nothing yet, a refusal, or a whole request to answer.
// -> false when the client is to be dropped unanswered.
bool take_request(http_impl* h, http_slot& s) {
    size_t end = head_end(s.in);
    if (end == 0 || end > NX_HTTP_MAX_HEADER) {
        if (s.in.size() <= NX_HTTP_MAX_HEADER) return !passed(s.deadline);
        queue_status(s, 431);
        start_sending(s);
        return true;
    }
    NX_HTTP_REQUEST request;
    UINT refused = nx_http_parse_head(s.in.data(), ULONG(end), &request.head);
    if (refused) {
        queue_status(s, refused);
        start_sending(s);
        return true;
    }
    ULONG want = request.head.content_length;
    if (s.in.size() - end < want) {
        // The head is complete: the body has until the whole request's deadline.
        s.deadline = s.started + NX_HTTP_CLIENT_TIMEOUT;
        return !passed(s.deadline);
    }
    request.body.assign(s.in.begin() + long(end), s.in.begin() + long(end + want));
    answer(h, s, request);
    start_sending(s);
    return true;
}

// What arrived on the socket. -> false when the peer closed.
bool receive_into(http_slot& s, std::vector<char>* into) {
    for (;;) {
        NX_PACKET* packet = nullptr;
        UINT rc = nx_tcp_socket_receive(&s.socket, &packet, NX_NO_WAIT);
        if (rc == NX_NOT_CONNECTED) return false;
        if (rc != NX_SUCCESS) return true;
        if (into && into->size() <= NX_HTTP_MAX_HEADER + NX_HTTP_MAX_BODY)
            into->insert(into->end(), packet->prepend_ptr, packet->append_ptr);
        nx_packet_release(packet);
    }
}

void close_slot(http_slot& s) {
    nx_tcp_socket_disconnect(&s.socket, NX_NO_WAIT);
    nx_tcp_server_socket_unaccept(&s.socket);
    s.step = phase::idle;
    s.in.clear();
    s.out.clear();
    s.sent = 0;
    s.blocked = false;
}

// One slot's next step. -> false when the connection ends.
bool advance(http_impl* h, http_slot& s) {
    switch (s.step) {
    case phase::idle:
        if (s.socket.state != NX_TCP_SYN_RECEIVED ||
            nx_tcp_server_socket_accept(&s.socket, NX_NO_WAIT) != NX_SUCCESS)
            return true;
        s.step = phase::reading;
        s.started = tx_time_get();
        s.deadline = s.started + NX_HTTP_HEAD_TIMEOUT;
        s.in.clear();
        s.out.clear();
        s.sent = 0;
        return advance(h, s);
    case phase::reading:
        // A client that closed its side after a whole request is still answered.
        if (!receive_into(s, &s.in) && head_end(s.in) == 0) return false;
        return take_request(h, s) && (s.step == phase::reading || advance(h, s));
    case phase::sending:
        receive_into(s, nullptr); // what the client still sends is dropped
        if (!pump(h, s) || (s.blocked && passed(s.deadline))) return false;
        if (s.sent < s.out.size()) return true;
        // Closing at once would reset a response the client is still reading:
        // it closes first once it has the whole body (Connection: close).
        s.step = phase::lingering;
        s.deadline = tx_time_get() + NX_HTTP_LINGER;
        return advance(h, s);
    case phase::lingering:
        return receive_into(s, nullptr) && !passed(s.deadline);
    }
    return false;
}

// Ticks until the nearest deadline of a slot in progress; forever when none.
ULONG next_wait(http_impl* h) {
    ULONG wait = TX_WAIT_FOREVER;
    for (http_slot& s : h->slots) {
        if (s.step == phase::idle) continue;
        int32_t left = s.blocked ? 1 : int32_t(s.deadline - tx_time_get());
        ULONG ticks = left > 0 ? ULONG(left) : 1;
        wait = std::min(wait, ticks);
    }
    return wait;
}

// Keep one free slot in the port's listening place.
void keep_listening(http_impl* h) {
    if (!h->started) return;
    for (http_slot& s : h->slots)
        if (s.socket.state == NX_TCP_LISTEN_STATE) return;
    for (http_slot& s : h->slots) {
        if (s.step != phase::idle || s.socket.state != NX_TCP_CLOSED) continue;
        UINT rc = h->listening
                      ? nx_tcp_server_socket_relisten(h->server->ip, h->listen_port, &s.socket)
                      : nx_tcp_server_socket_listen(h->server->ip, h->listen_port, &s.socket,
                                                    LISTEN_QUEUE, poke_listen);
        if (rc == NX_SUCCESS || rc == NX_CONNECTION_PENDING) h->listening = true;
        if (rc == NX_CONNECTION_PENDING) tx_event_flags_set(&h->events, SERVER_WORK, TX_OR);
        return;
    }
}

void server_thread(ULONG index) {
    http_impl* h = servers()[index];
    for (;;) {
        ULONG actual = 0;
        tx_event_flags_get(&h->events, SERVER_WORK, TX_OR_CLEAR, &actual, next_wait(h));
        for (http_slot& s : h->slots)
            if (h->started && !advance(h, s)) close_slot(s);
        keep_listening(h);
    }
}

bool make_sockets(http_impl* h) {
    for (http_slot& s : h->slots) {
        if (nx_tcp_socket_create(h->server->ip, &s.socket, h->server->name, 0, 0, 128, HTTP_WINDOW,
                                 nullptr, poke) != NX_SUCCESS)
            return false;
        s.socket.user_data = h;
        nx_tcp_socket_receive_notify(&s.socket, poke);
    }
    return true;
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
    if (!h->sockets_made) {
        if (!make_sockets(h)) return NX_HTTP_ERROR;
        h->sockets_made = true;
    }
    for (http_slot& s : h->slots)
        close_slot(s); // whatever a stop left half-done
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
    for (http_slot& s : h->slots)
        close_slot(s);
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
    if (!h->answering) return NX_HTTP_NOT_STARTED; // only while a request is being answered
    queue_status(*h->answering, status);
    h->answered = true;
    return NX_SUCCESS;
}
