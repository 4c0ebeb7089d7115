// can_packet: one CAN frame as the stack passes it around, copied by value.
// A copy carries the identifier, flags, length and the first `length` data
// bytes; the rest of the copy's data and its channel are zero. A length code
// above 8 (the controller reports 0 to 15) is clamped to 8, so no copy ever
// reads past the eight data bytes.
#pragma once

#include <cstdint>

const uint8_t CAN_DATA_BYTES = 8;
const uint8_t CAN_FLAG_REMOTE = 0x01;
// A board answers from its identifier plus this.
const uint32_t CAN_REPLY_OFFSET = 128;

struct can_packet {
    uint32_t identifier = 0;
    uint8_t flags = 0;
    uint8_t length = 0;
    uint8_t data[CAN_DATA_BYTES] = {};
    uint8_t channel = 0;

    can_packet() = default;
    // A frame of `length` bytes from `bytes` (null: zeros), length clamped to 8.
    can_packet(uint32_t id, uint8_t frame_flags, uint8_t frame_length, const uint8_t* bytes);
    can_packet(const can_packet& other) { *this = other; }
    can_packet& operator=(const can_packet& other);
};

// Length codes above 8 count as 8.
inline uint8_t can_clamp_length(uint8_t length) {
    return length > CAN_DATA_BYTES ? CAN_DATA_BYTES : length;
}
