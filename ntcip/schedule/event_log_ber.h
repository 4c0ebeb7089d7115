// The event log's value writer: a forward-writing BER cursor over a fixed
// buffer and one writer per SNMP type. eventLogValue holds the logged
// object's value as a whole tag-length-content encoding, as a varbind
// carries it.
//
// It is deliberately apart from the agent's message codec (comm/snmp/asn1.h):
// it writes forwards into the caller's buffer, holds no state beyond the
// cursor the caller owns, and shares nothing with the codec.
//
// The cursor never takes more than capacity - 1 bytes (511 of the log's 512).
// Every writer returns an OR of the BER_* flags; 0 is success.
#pragma once

#include <cstdint>

constexpr int BER_OK = 0;
constexpr int BER_FULL = 1;    // a byte could not be added, or nothing fitted at all
constexpr int BER_NO_BACK = 2; // the cursor could not move back
constexpr int BER_MISSING = 4; // a missing writer, buffer or value
constexpr int BER_CUT = 8;     // the content was cut to fit

constexpr uint8_t BER_TAG_INTEGER = 0x02;
constexpr uint8_t BER_TAG_OCTETS = 0x04;
constexpr uint8_t BER_TAG_NULL = 0x05;
constexpr uint8_t BER_TAG_OID = 0x06;
constexpr uint8_t BER_TAG_IPADDRESS = 0x40;
constexpr uint8_t BER_TAG_COUNTER = 0x41;
constexpr uint8_t BER_TAG_GAUGE = 0x42;
constexpr uint8_t BER_TAG_TIMETICKS = 0x43;

struct ber_writer {
    uint8_t* start;
    uint8_t* position;
    uint32_t used;
    uint32_t capacity;
};

// Cursor at the buffer's start. BER_MISSING for a null writer or buffer or
// a capacity of 0.
int ber_writer_init(ber_writer* w, uint8_t* buffer, uint32_t capacity);
// One byte forwards; BER_FULL (unchanged) when capacity - 1 bytes are used.
int ber_writer_advance(ber_writer* w);
// One byte back; BER_NO_BACK (unchanged) at the start.
int ber_writer_back(ber_writer* w);
// The longest content a tag and its length octets still leave room for
// (length octets counted as 1 below 128, 3 up to 32767, 4 beyond); 0 when
// fewer than 3 bytes are free.
uint32_t ber_writer_room(const ber_writer* w);

// 04, length, bytes; a content longer than the room is cut to it (BER_CUT).
int ber_put_octets(ber_writer* w, const uint8_t* bytes, uint32_t length);
// 05 00.
int ber_put_null(ber_writer* w);
// 06, one length octet, the sub-identifiers in base 128. Fewer than two
// sub-identifiers are written as 0.0, as the agent answers such a value.
// Only whole sub-identifiers are written: those that do not fit the room
// (or 127 content octets) are left off (BER_CUT).
int ber_put_oid(ber_writer* w, const uint32_t* subids, uint32_t count);
// 40 04 and the four bytes in order.
int ber_put_ipaddress(ber_writer* w, const uint8_t* address);
// 02, length, the shortest two's-complement form.
int ber_put_integer(ber_writer* w, int32_t value);
// The tag, length, the value as an unsigned integer (a leading 00 when the
// top bit of its first significant byte is set).
int ber_put_unsigned(ber_writer* w, uint32_t value, uint8_t tag);
int ber_put_counter(ber_writer* w, uint32_t value);
int ber_put_gauge(ber_writer* w, uint32_t value);
int ber_put_timeticks(ber_writer* w, uint32_t value);
