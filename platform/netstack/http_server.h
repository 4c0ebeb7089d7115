// The HTTP server add-on of the network stack: one server thread on a TCP
// port of an IP instance serves up to NX_HTTP_MAX_CONNECTIONS connections at
// once, one request per connection (every response says "Connection: close").
// It never waits on one client: a slow or silent client delays nobody else's
// request, and connections beyond the slots wait in the listen queue.
//
// The add-on owns the protocol: HTTP/1.0 and HTTP/1.1 requests, GET and POST
// (any other method 501), a request head of at most 8 KB (431 beyond), a
// body of at most NX_HTTP_MAX_BODY bytes announced by Content-Length (413
// beyond, 411 without a length), Basic authentication (401 with the realm the
// firmware names), percent-decoded paths (one that climbs with ".." or holds
// a control byte or a backslash is 404), 404 for a file the firmware does not
// serve, and the content type by the name's extension. A client whose request
// head has not arrived within NX_HTTP_HEAD_TIMEOUT ticks, or whose whole
// request has not within NX_HTTP_CLIENT_TIMEOUT, is dropped unanswered; so is
// one that takes no response bytes for NX_HTTP_SEND_TIMEOUT. After the
// response the connection is closed once the client closed first, or after
// NX_HTTP_LINGER ticks.
//
// The firmware supplies two callbacks, which run on the server's thread:
// - authenticate (request type, resource, out name, out password, out realm):
//   NX_HTTP_BASIC_AUTHENTICATE asks for Basic credentials; the password must
//   then match (an empty password matches nothing), and the user name only
//   when the callback names one. Any other result lets the request through.
// - request (request type, resource, request): may rewrite the resource in
//   place (at most NX_HTTP_MAX_RESOURCE bytes with its NUL) and returns
//   NX_SUCCESS, after which the server sends the file named by the resource
//   (less its leading '/') from the file interface; or it answers itself with
//   nx_http_server_response_status_send and returns NX_HTTP_CALLBACK_COMPLETED.
// Files come only from the file interface handed over at creation, never
// from the flash file system directly.
#pragma once

#include "platform/netstack/netstack.h"

#include <cstdint>

enum : UINT {
    NX_HTTP_ERROR = 0xE0,
    NX_HTTP_NOT_FOUND = 0xE2,
    NX_HTTP_ALREADY_STARTED = 0xE6,
    NX_HTTP_NOT_STARTED = 0xE7,
    NX_HTTP_CALLBACK_COMPLETED = 0xE8,
    NX_HTTP_DATA_END = 0xE9,
    NX_HTTP_BASIC_AUTHENTICATE = 0xE4, // 228
};

// Request types handed to the callbacks.
enum : UINT {
    NX_HTTP_SERVER_GET_REQUEST = 1,
    NX_HTTP_SERVER_POST_REQUEST = 2,
};

const UINT NX_HTTP_SERVER_PORT = 80;
const UINT NX_HTTP_SERVER_PRIORITY = 16;
const ULONG NX_HTTP_MAX_HEADER = 8192;    // request line and header fields
const ULONG NX_HTTP_MAX_BODY = 16384;     // what the server reads of a body
const ULONG NX_HTTP_MAX_RESOURCE = 256;   // the resource buffer, NUL included
const UINT NX_HTTP_MAX_CONNECTIONS = 8;   // connections served at once
const ULONG NX_HTTP_HEAD_TIMEOUT = 200;   // ticks to receive a request's head
const ULONG NX_HTTP_CLIENT_TIMEOUT = 500; // ticks to receive a whole request
const ULONG NX_HTTP_SEND_TIMEOUT = 1000;  // ticks a response may wait for the client to read
const ULONG NX_HTTP_LINGER = 200;         // ticks the client has to close after the response

struct NX_HTTP_SERVER;
struct NX_HTTP_REQUEST; // the request being served (opaque)

typedef UINT (*nx_http_authenticate_fn)(NX_HTTP_SERVER* server, UINT request_type, char* resource,
                                        const char** name, const char** password,
                                        const char** realm);
typedef UINT (*nx_http_request_fn)(NX_HTTP_SERVER* server, UINT request_type, char* resource,
                                   NX_HTTP_REQUEST* request);

// The files the server may send, named without the leading '/'.
struct NX_HTTP_FILES {
    void* context;
    // NX_SUCCESS with the file's size, or NX_HTTP_NOT_FOUND.
    UINT (*size)(void* context, const char* name, ULONG* size);
    // Up to `count` bytes of the file from `offset`; *actual bytes copied.
    UINT(*read)
    (void* context, const char* name, ULONG offset, uint8_t* buffer, ULONG count, ULONG* actual);
};

struct NX_HTTP_SERVER {
    const char* name;
    NX_IP* ip;
    UINT port;
    TX_THREAD thread;
    void* impl; // private
};

// Create the server stopped, its thread ("HTTP Server Thread") on `stack`.
UINT nx_http_server_create(NX_HTTP_SERVER* server, const char* name, NX_IP* ip,
                           const NX_HTTP_FILES* files, void* stack, ULONG stack_size,
                           NX_PACKET_POOL* pool, nx_http_authenticate_fn authenticate,
                           nx_http_request_fn request);
// The listening port (taken at the next start).
UINT nx_http_server_port_set(NX_HTTP_SERVER* server, UINT port);
UINT nx_http_server_start(NX_HTTP_SERVER* server);
// Stops listening and drops every connection being served.
UINT nx_http_server_stop(NX_HTTP_SERVER* server);

// The request's Content-Length (0 without a body).
ULONG nx_http_server_content_length_get(NX_HTTP_REQUEST* request);
// Up to `size` body bytes from `offset`: NX_SUCCESS with *actual, or
// NX_HTTP_DATA_END at or past the end.
UINT nx_http_server_content_get(NX_HTTP_SERVER* server, NX_HTTP_REQUEST* request, ULONG offset,
                                char* buffer, ULONG size, ULONG* actual);
// The `index`-th parameter of the URL's query (items after '?' between '&'),
// NUL-terminated into `buffer`: NX_HTTP_NOT_FOUND past the last, NX_SIZE_ERROR
// when it does not fit (nothing copied).
UINT nx_http_server_param_get(NX_HTTP_REQUEST* request, UINT index, char* buffer, ULONG size);
// Answer the request being served with a short page of `status` (400, 404,
// 413, 500, ...); the callback then returns NX_HTTP_CALLBACK_COMPLETED.
// Only from the request callback.
UINT nx_http_server_response_status_send(NX_HTTP_SERVER* server, UINT status);

// The request parser alone, for the server and for tests: a whole request
// head (up to and including its blank line) into its parts. -> 0 when the
// head is well formed, else the status that refuses it (400, 411, 413, 501).
struct nx_http_head {
    UINT type = 0;                        // NX_HTTP_SERVER_GET_REQUEST or _POST_REQUEST
    char path[NX_HTTP_MAX_RESOURCE] = {}; // percent-decoded, starts with '/'
    char query[NX_HTTP_MAX_RESOURCE] = {};
    char authorization[NX_HTTP_MAX_RESOURCE] = {}; // the Basic credentials' base64 text
    ULONG content_length = 0;
    bool has_body_length = false;
};
UINT nx_http_parse_head(const char* head, ULONG length, nx_http_head* out);
// Decode Basic credentials "name:password" (base64) into the two buffers.
bool nx_http_basic_decode(const char* base64, char* name, ULONG name_size, char* password,
                          ULONG password_size);
