// The event log's forward BER writer.
#include "ntcip/schedule/event_log_ber.h"

namespace {

constexpr uint32_t OID_AREA = 160;         // content octets of one OID at most
constexpr uint32_t SHORT_LENGTH_MAX = 127; // the one length octet of an OID

// Bytes the cursor may still take.
uint32_t free_bytes(const ber_writer* w) {
    return w->used + 1 < w->capacity ? w->capacity - 1 - w->used : 0;
}

int put_byte(ber_writer* w, uint8_t byte) {
    if (free_bytes(w) == 0) return BER_FULL;
    *w->position = byte;
    return ber_writer_advance(w);
}

int put_bytes(ber_writer* w, const uint8_t* bytes, uint32_t count) {
    int result = BER_OK;
    for (uint32_t i = 0; i < count && result == BER_OK; ++i)
        result = put_byte(w, bytes[i]);
    return result;
}

// Short form below 128, else 0x80 + n and the n octets the length needs.
int put_length(ber_writer* w, uint32_t length) {
    if (length < 0x80) return put_byte(w, uint8_t(length));
    uint8_t octets[4];
    uint32_t n = 0;
    for (uint32_t rest = length; rest != 0; rest >>= 8)
        ++n;
    for (uint32_t i = 0; i < n; ++i)
        octets[i] = uint8_t(length >> (8 * (n - 1 - i)));
    return put_byte(w, uint8_t(0x80 | n)) | put_bytes(w, octets, n);
}

// A whole tag-length-content of a short content, or nothing (BER_FULL).
int put_small(ber_writer* w, uint8_t tag, const uint8_t* content, uint32_t length) {
    if (w == nullptr || w->start == nullptr) return BER_MISSING;
    if (free_bytes(w) < 2 + length) return BER_FULL;
    return put_byte(w, tag) | put_byte(w, uint8_t(length)) | put_bytes(w, content, length);
}

// Base 128, most significant group first, bit 0x80 on all but the last.
uint32_t base128(uint64_t value, uint8_t* out) {
    uint8_t groups[10];
    uint32_t n = 0;
    do {
        groups[n++] = uint8_t(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    for (uint32_t i = 0; i < n; ++i)
        out[i] = uint8_t(groups[n - 1 - i] | (i + 1 < n ? 0x80 : 0));
    return n;
}

bool missing(const ber_writer* w) {
    return w == nullptr || w->start == nullptr || w->position == nullptr;
}

} // namespace

int ber_writer_init(ber_writer* w, uint8_t* buffer, uint32_t capacity) {
    if (w == nullptr || buffer == nullptr || capacity == 0) return BER_MISSING;
    w->start = buffer;
    w->position = buffer;
    w->used = 0;
    w->capacity = capacity;
    return BER_OK;
}

int ber_writer_advance(ber_writer* w) {
    if (missing(w)) return BER_MISSING;
    if (free_bytes(w) == 0) return BER_FULL;
    ++w->position;
    ++w->used;
    return BER_OK;
}

int ber_writer_back(ber_writer* w) {
    if (missing(w)) return BER_MISSING;
    if (w->used == 0) return BER_NO_BACK;
    --w->position;
    --w->used;
    return BER_OK;
}

uint32_t ber_writer_room(const ber_writer* w) {
    if (missing(w)) return 0;
    const int64_t free = free_bytes(w);
    if (free < 3) return 0;
    // {length octets counted, shortest content, longest content}
    const int64_t bands[3][3] = {{1, 0, 0x7F}, {3, 0x80, 0x7FFF}, {4, 0x8000, 0x7FFFFF}};
    int64_t room = 0;
    for (const auto& band : bands) {
        int64_t longest = free - 1 - band[0];
        if (longest > band[2]) longest = band[2];
        if (longest >= band[1] && longest > room) room = longest;
    }
    return uint32_t(room);
}

int ber_put_octets(ber_writer* w, const uint8_t* bytes, uint32_t length) {
    if (missing(w) || (bytes == nullptr && length != 0)) return BER_MISSING;
    const uint32_t room = ber_writer_room(w);
    if (room == 0) return BER_FULL;
    int result = BER_OK;
    if (length > room) {
        length = room;
        result |= BER_CUT;
    }
    return result | put_byte(w, BER_TAG_OCTETS) | put_length(w, length) |
           put_bytes(w, bytes, length);
}

int ber_put_null(ber_writer* w) {
    return put_small(w, BER_TAG_NULL, nullptr, 0);
}

int ber_put_oid(ber_writer* w, const uint32_t* subids, uint32_t count) {
    if (missing(w) || (subids == nullptr && count != 0)) return BER_MISSING;
    uint32_t limit = ber_writer_room(w);
    if (limit == 0) return BER_FULL;
    if (limit > SHORT_LENGTH_MAX) limit = SHORT_LENGTH_MAX;
    const uint32_t zero[2] = {0, 0};
    if (count < 2) {
        subids = zero;
        count = 2;
    }
    uint8_t content[OID_AREA];
    uint32_t length = 0;
    int result = BER_OK;
    for (uint32_t i = 1; i < count; ++i) {
        uint8_t octets[10];
        uint64_t value = i == 1 ? uint64_t(subids[0]) * 40 + subids[1] : subids[i];
        uint32_t n = base128(value, octets);
        if (length + n > limit) {
            result |= BER_CUT;
            break;
        }
        for (uint32_t k = 0; k < n; ++k)
            content[length++] = octets[k];
    }
    return result | put_byte(w, BER_TAG_OID) | put_byte(w, uint8_t(length)) |
           put_bytes(w, content, length);
}

int ber_put_ipaddress(ber_writer* w, const uint8_t* address) {
    if (address == nullptr) return BER_MISSING;
    return put_small(w, BER_TAG_IPADDRESS, address, 4);
}

int ber_put_integer(ber_writer* w, int32_t value) {
    uint8_t bytes[4];
    uint32_t n = 0;
    const uint32_t sign = value < 0 ? 0xFFFFFFFFu : 0;
    uint32_t rest = uint32_t(value);
    // Take bytes from the least significant until the rest is all sign and
    // the last byte taken carries the sign in its top bit.
    do {
        bytes[n++] = uint8_t(rest);
        rest = n < 4 ? (rest >> 8) | (sign << 24) : sign;
    } while (n < 4 && (rest != sign || ((bytes[n - 1] & 0x80) != 0) != (sign != 0)));
    uint8_t content[4];
    for (uint32_t i = 0; i < n; ++i)
        content[i] = bytes[n - 1 - i];
    return put_small(w, BER_TAG_INTEGER, content, n);
}

int ber_put_unsigned(ber_writer* w, uint32_t value, uint8_t tag) {
    uint8_t content[5];
    uint32_t n = 0;
    uint32_t significant = 1;
    while (significant < 4 && (value >> (8 * significant)) != 0)
        ++significant;
    if ((value >> (8 * (significant - 1))) & 0x80) content[n++] = 0;
    for (uint32_t i = significant; i > 0; --i)
        content[n++] = uint8_t(value >> (8 * (i - 1)));
    return put_small(w, tag, content, n);
}

int ber_put_counter(ber_writer* w, uint32_t value) {
    return ber_put_unsigned(w, value, BER_TAG_COUNTER);
}

int ber_put_gauge(ber_writer* w, uint32_t value) {
    return ber_put_unsigned(w, value, BER_TAG_GAUGE);
}

int ber_put_timeticks(ber_writer* w, uint32_t value) {
    return ber_put_unsigned(w, value, BER_TAG_TIMETICKS);
}
