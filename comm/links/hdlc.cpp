#include "comm/links/hdlc.h"

#include "comm/links/pmpp.h"
#include "runtime/console.h"

uint32_t hdlc_unescape(const uint8_t* raw, uint32_t from, uint32_t to, uint8_t* out) {
    uint32_t n = 0;
    for (uint32_t i = from; i < to; i++) {
        uint8_t byte = raw[i];
        if (byte == HDLC_ESCAPE && i + 1 < to) byte = raw[++i] ^ HDLC_ESCAPE_XOR;
        out[n++] = byte;
    }
    return n;
}

hdlc_byte hdlc_store(uint8_t* frame, uint32_t capacity, uint16_t& store_index, uint8_t byte) {
    uint8_t previous = store_index ? frame[store_index - 1] : HDLC_ESCAPE;
    if (store_index == 0 && byte != HDLC_FLAG) return HDLC_OUTSIDE;
    hdlc_byte result = HDLC_STORED;
    if (byte == HDLC_FLAG && previous == HDLC_FLAG) {
        store_index = 0; // this flag opens the frame
        previous = HDLC_ESCAPE;
        result = HDLC_RESTARTED;
    }
    if (store_index >= capacity) return HDLC_OVERRUN;
    frame[store_index] = byte;
    if (byte == HDLC_FLAG && previous != HDLC_ESCAPE) return HDLC_CLOSED;
    store_index++;
    return result;
}

int32_t hdlc_frame_check(const uint8_t* frame, uint32_t length, uint8_t* plain, uint32_t minimum) {
    uint32_t n = hdlc_unescape(frame, 1, length - 1, plain);
    uint16_t residue = pmpp_fcs(PMPP_FCS_INITIAL, plain, n);
    if (n < minimum || residue != PMPP_FCS_GOOD) {
        trace_printf("Error CRC is not 0xF0B8: crc_value %04x, byte %02X\r\n", residue,
                     frame[length - 1]);
        return -1;
    }
    return int32_t(n - 2);
}
