#include "display/disp/bus_6120.h"

#include "display/disp/core.h"
#include "platform/board/bus.h"

namespace disp {

bool bus_6120::attach_isr(const char* name, stream* framer, uint8_t mode) {
    mode_ = mode;
    if (!bus::attach(name, framer)) return false;
    if (mode_ == POLLED_MODE) {
        interrupt_dummy_.owner = this;
        return true;
    }
    logic_interrupt_.owner = this;
    isr_register(RECEIVE_SOURCE, &logic_interrupt_);
    dcr_write(DCR_UIC0_CR, dcr_read(DCR_UIC0_CR) & ~RECEIVE_SOURCE);
    dcr_write(DCR_UIC0_PR, dcr_read(DCR_UIC0_PR) | RECEIVE_SOURCE);
    dcr_write(DCR_UIC0_TR, dcr_read(DCR_UIC0_TR) & ~RECEIVE_SOURCE);
    dcr_write(DCR_UIC0_SR, RECEIVE_SOURCE);
    dcr_write(DCR_UIC0_ER, dcr_read(DCR_UIC0_ER) | RECEIVE_SOURCE);
    return true;
}

bool bus_6120::detach() {
    if (!bus::detach()) return false;
    if (mode_ == POLLED_MODE) {
        interrupt_dummy_.owner = nullptr;
        return true;
    }
    dcr_write(DCR_UIC0_ER, dcr_read(DCR_UIC0_ER) & ~RECEIVE_SOURCE);
    isr_unregister(RECEIVE_SOURCE);
    logic_interrupt_.owner = nullptr;
    return true;
}

} // namespace disp

// --- the receive step and the framer -------------------------------------------

namespace disp {

namespace {

const uint8_t FLAG = 0x7E;
const uint8_t ESCAPE = 0x7F;
const uint8_t FRAME_TYPE = 1;
const uint8_t LONG_LENGTH = 0x80;
const uint32_t LENGTH_BYTES_MAX = 4;

} // namespace

static uint32_t log_dropped = 0;

receive_log_fifo& receive_log() {
    static receive_log_fifo log;
    return log;
}

uint32_t receive_log_dropped() {
    return log_dropped;
}

void bus_6120::service() {
    uint32_t waiting = bus_read8(FPGA_WAITING);
    if (waiting > sizeof received_) waiting = sizeof received_;
    last_read_ = waiting;
    for (uint32_t i = 0; i < waiting; ++i) {
        bus_write8(FPGA_STATUS, FPGA_NEXT_BYTE);
        received_[i] = bus_read8(FPGA_DATA);
        if (!receive_log().push(received_[i])) ++log_dropped;
    }
    if (!registry_ || !stream_ || waiting == 0) return;
    stream_->push(received_, waiting);
    packet received;
    if (stream_->next_packet(&received)) registry_->broadcast(received, this);
}

bool stream_6120::push(const uint8_t* bytes, uint32_t count) {
    if (!bytes || count == 0) return false;
    for (uint32_t i = 0; i < count; ++i)
        if (!queue_.push(bytes[i])) ++dropped_;
    return true;
}

bool stream_6120::next_packet(packet* out) {
    uint8_t b = 0;
    while (queue_.pop(&b))
        if (step(b)) {
            if (out) *out = current_;
            return true;
        }
    return false;
}

// A flag right after a flag as sent opens the frame again; a flag after data
// closes it. Whether the last byte was a flag is kept apart from its value, so
// that data 7E sent escaped before the closing flag still closes the frame.
bool stream_6120::step(uint8_t b) {
    if (flags_ & DELIVERED) {
        hunt();
        flags_ &= ~DELIVERED;
    }
    const bool escaped = (flags_ & ESCAPE_PENDING) != 0;
    flags_ &= ~ESCAPE_PENDING;
    if (held_ == 0 && b != FLAG) return false;
    const bool after_flag = held_ != 0 && !escaped && last_is_flag_;
    if (b == FLAG && after_flag) hunt();
    if (held_ >= FRAME_BYTES) { // a frame too long for the buffer is dropped
        hunt();
        return false;
    }
    if (b == FLAG && !escaped && held_ != 0) {
        frame_[held_++] = b;
        if (check_frame()) {
            flags_ |= DELIVERED;
            return true;
        }
        hunt();
        return false;
    }
    if (b == ESCAPE && !escaped) {
        flags_ |= ESCAPE_PENDING;
        return false;
    }
    frame_[held_++] = escaped ? uint8_t(b ^ 0x20) : b;
    last_is_flag_ = b == FLAG && !escaped;
    return false;
}

// Flags at both ends, type 1, a length form 00-7F or 81-84, the payload ending
// before the checksum, the checksum the 8-bit sum of everything before it.
bool stream_6120::check_frame() {
    const uint32_t n = held_;
    if (n < 5) return false;
    uint8_t sum = 0;
    for (uint32_t i = 0; i + 2 < n; ++i)
        sum = uint8_t(sum + frame_[i]);
    if (sum != frame_[n - 2] || frame_[1] != FRAME_TYPE) return false;
    uint64_t length = frame_[2];
    uint32_t start = 3;
    if (frame_[2] >= LONG_LENGTH) {
        const uint32_t k = frame_[2] & 0x7Fu;
        if (k < 1 || k > LENGTH_BYTES_MAX || 3 + k > n - 2) return false;
        length = 0;
        for (uint32_t i = 0; i < k; ++i)
            length = length << 8 | frame_[3 + i];
        start = 3 + k;
    }
    // 64-bit arithmetic: a length near 2^32 cannot wrap past the checksum.
    if (uint64_t(start) + length > uint64_t(n - 2)) return false;
    current_.payload = &frame_[start];
    current_.length = uint32_t(length);
    return true;
}

} // namespace disp
