// The web application: a browser reads the sign's status and runs or blanks
// messages through a few pages, served by the network stack's HTTP server
// add-on on `halvHostHttpPort`.
//
// Every request is authenticated (Basic, realm "Halvenmark"): any user name,
// the privileged community `communityNameAdmin` as the password. A GET of a
// page expands its template ("pre" + the page's name: a file of that name in
// flash, else the built-in one) by replacing each server tag with its
// object's value (web/web_tags.h), keeps the page in the page store and lets
// the server send it. A POST to a page writes every "$*" form field of its
// body (at most WEB_BODY_BYTES, 413 beyond) into its object and produces the
// page again; a POST to list.html rebuilds the message list at the page its
// query names. A page whose expansion overflows its block is answered with
// 500 and not kept. Names other than the seven pages are 404 and never read.
#pragma once

#include "platform/netstack/http_server.h"

#include <cstddef>
#include <cstdint>

const uint32_t WEB_SERVER_STACK_BYTES = 16384;
const uint32_t WEB_PAGE_BLOCK_BYTES = 0x40000;
const uint32_t WEB_BODY_BYTES = 1800;

// At Ethernet start-up: creates the server on the instance with a stack
// taken at the memory cursor (advanced by WEB_SERVER_STACK_BYTES in every
// case), sets its port and starts it (on the host a maintainer reaches the
// pages at once); then, when bit 0x2 of halvFeatureSet is set, clears the
// bit and stops the server again.
void web_server_create(NX_IP* ip, uint8_t** memory_cursor, NX_PACKET_POOL* pool);
// Starts (on non-zero) or stops the server when that changes its state.
void web_server_enable(int on);
// Whether the server was last asked to run.
bool web_server_running();

// The add-on's two callbacks.
UINT web_authenticate(NX_HTTP_SERVER* server, UINT request_type, char* resource, const char** name,
                      const char** password, const char** realm);
UINT web_request_notify(NX_HTTP_SERVER* server, UINT request_type, char* resource,
                        NX_HTTP_REQUEST* request);

// Produces the page `resource` names ("/" is index.html) into the page store
// and rewrites the resource (a buffer of `size` bytes) to the page's name.
// -> 0 (the server sends what the store holds under the resource, if
// anything), or 500 when the page did not fit its block.
int web_get_page(char* resource, size_t size);
// Makes the template exist: in flash, in the page store, or extracted there
// from the built-in files. -> true when one exists.
bool web_ensure_template(const char* name);
