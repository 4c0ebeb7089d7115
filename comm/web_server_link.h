// The web server as the communication task drives it: created at Ethernet
// start-up (which on the host also starts it, so that a maintainer reaches
// the pages at once, and stops it again while bit 0x2 of halvFeatureSet is
// set), stopped by letter 110 when that bit is set.
// The web application sits above the communication task: start-up installs
// its two entries here; until then (and in builds without it) nothing runs.
#pragma once

#include "platform/netstack/netstack.h"

#include <cstdint>

struct web_server_entries {
    void (*create)(NX_IP* ip, uint8_t** memory_cursor, NX_PACKET_POOL* pool);
    void (*enable)(int on);
};
void set_web_server_entries(const web_server_entries& entries);
const web_server_entries& installed_web_server_entries();
