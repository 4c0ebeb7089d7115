// The framing the serial links share (PMPP and PPP): frames between 7E
// flags, 7D escapes (the escaped byte XOR 0x20), and the receive step's
// assembly of the raw frame byte by byte. The FCS-16 is pmpp_fcs
// (comm/links/pmpp.h).
#pragma once

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
