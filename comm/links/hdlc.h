// The framing the serial links share (PMPP and PPP): frames between 7E
// flags, 7D escapes (the escaped byte XOR 0x20), and the receive step's
// assembly of the raw frame byte by byte. The FCS-16 is pmpp_fcs
// (comm/links/pmpp.h).
#pragma once

#include "platform/kernel/kernel.h"

#include <cstdint>

const uint8_t HDLC_FLAG = 0x7E;
const uint8_t HDLC_ESCAPE = 0x7D;
const uint8_t HDLC_ESCAPE_XOR = 0x20;

// Unescapes raw frame bytes [from, to) into `out`. -> the length.
uint32_t hdlc_unescape(const uint8_t* raw, uint32_t from, uint32_t to, uint8_t* out);

// What one received byte did to the raw frame being assembled.
enum hdlc_byte : uint8_t {
    HDLC_STORED,    // stored; the frame goes on
    HDLC_OUTSIDE,   // not a flag and no frame open: the byte is outside a frame
    HDLC_OVERRUN,   // the frame outgrew its buffer: dropped, the next flag starts afresh
    HDLC_RESTARTED, // a flag after a flag: it opens the frame
    HDLC_CLOSED,    // a closing flag: the frame is [0, store_index]
};

// Assembles `byte` into `frame` (capacity bytes) at `store_index`. The
// index never leaves the buffer; on HDLC_CLOSED it stays on the flag.
hdlc_byte hdlc_store(uint8_t* frame, uint32_t capacity, uint16_t& store_index, uint8_t byte);

// The raw frame [0, length) unescaped into `plain` without its flags. -> the
// plain length without the FCS, or -1 when the FCS is bad or fewer than
// `minimum` plain bytes (FCS included) arrived.
int32_t hdlc_frame_check(const uint8_t* frame, uint32_t length, uint8_t* plain, uint32_t minimum);

// What the two links share of their receive state ({ring, head, tail, count}
// filled from the UART's interrupt, bytes_invalid, outside_byte) is handled
// by these, whatever the link.

// Takes the oldest byte of the link's receive ring. -> false when it is empty.
template <uint32_t RingBytes, class Link> bool hdlc_ring_take(Link* link, uint8_t* byte) {
    CInterruptLock masked;
    if (link->count == 0) return false;
    *byte = link->ring[link->tail];
    link->tail = uint16_t((link->tail + 1) % RingBytes);
    link->count--;
    return true;
}

// A byte the frame store refused (HDLC_OUTSIDE or HDLC_OVERRUN): counted as
// invalid; one outside a frame also goes to the link's outside-byte handler.
template <class Link> void hdlc_refused(Link* link, hdlc_byte what, uint8_t byte) {
    link->bytes_invalid++;
    if (what == HDLC_OUTSIDE && link->outside_byte) link->outside_byte(byte);
}
