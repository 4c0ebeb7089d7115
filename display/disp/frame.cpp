#include "display/disp/frame.h"

#include <cstring>
#include <new>

namespace disp {

// --- frame_state ----------------------------------------------------------

frame_state::~frame_state() {
    release();
}

bool frame_state::init(uint16_t height, uint16_t width, uint32_t value) {
    if (state_ == STATE_READY || value > max_value()) return false;
    uint32_t pixels = uint32_t(height) * width;
    height_ = height;
    width_ = width;
    initial_value_ = value;
    size_bytes_ = bytes_for(pixels);
    size_bits_ = bits_per_pixel_ <= 3 ? bits_per_pixel_ * pixels : 8 * size_bytes_;
    buffer_ = new (std::nothrow) uint8_t[size_bytes_ ? size_bytes_ : 1];
    if (!buffer_) return false;
    std::memset(buffer_, 0, size_bytes_);
    lit_count_ = 0;
    fill(value);
    state_ = STATE_READY;
    return true;
}

void frame_state::release() {
    delete[] buffer_;
    buffer_ = nullptr;
    state_ = STATE_NEW;
}

// The general fill: every pixel through the raw writer, counting lit pixels.
void frame_state::fill(uint32_t value) {
    uint32_t pixels = uint32_t(height_) * width_;
    for (uint32_t i = 0; i < pixels; ++i)
        write(i, value);
    lit_count_ = value ? pixels : 0;
}

bool frame_state::accept(uint32_t& value) const {
    return value <= max_value();
}

bool frame_state::get_pixel(pixel& p) const {
    if (!ready() || !inside(p)) return false;
    p.value = read(p.x + uint32_t(p.y) * width_);
    return true;
}

bool frame_state::set_pixel(pixel& p) {
    uint32_t value = p.value;
    if (!ready() || !inside(p) || !accept(value)) return false;
    uint32_t i = p.x + uint32_t(p.y) * width_;
    uint32_t old = read(i);
    write(i, value);
    if (old == 0 && value != 0) ++lit_count_;
    if (old != 0 && value == 0) --lit_count_;
    return true;
}

bool frame_state::clear() {
    if (!ready()) return false;
    for (uint16_t y = 0; y < height_; ++y) {
        for (uint16_t x = 0; x < width_; ++x) {
            pixel p(x, y, initial_value_);
            set_pixel(p);
        }
    }
    return lit_count_ == 0;
}

// --- formats --------------------------------------------------------------

uint32_t frame_1bit::read(uint32_t i) const {
    return (buffer_[i / 8] >> (i % 8)) & 1u;
}

void frame_1bit::write(uint32_t i, uint32_t value) {
    uint8_t bit = uint8_t(1u << (i % 8));
    buffer_[i / 8] = value ? uint8_t(buffer_[i / 8] | bit) : uint8_t(buffer_[i / 8] & ~bit);
}

void frame_1bit::fill(uint32_t value) {
    std::memset(buffer_, value ? 0xFF : 0x00, size_bytes_);
    lit_count_ = value ? uint32_t(height_) * width_ : 0;
}

bool frame_1bit::accept(uint32_t& value) const {
    value = value ? 1 : 0;
    return true;
}

uint32_t frame_2bit::read(uint32_t i) const {
    return (buffer_[i / 4] >> (2 * (i % 4))) & 3u;
}

void frame_2bit::write(uint32_t i, uint32_t value) {
    unsigned shift = 2 * (i % 4);
    buffer_[i / 4] = uint8_t((buffer_[i / 4] & ~(3u << shift)) | (value << shift));
}

void frame_2bit::fill(uint32_t value) {
    std::memset(buffer_, int(value * 0x55u), size_bytes_);
    lit_count_ = value ? uint32_t(height_) * width_ : 0;
}

// The three bits of pixel i live in the little-endian word of byte 3i / 8 and
// the next byte; the next byte is only touched when it exists (the last
// pixel's bits may end in the buffer's last byte).
uint32_t frame_3bit::read(uint32_t i) const {
    uint32_t bit = 3 * i, byte = bit / 8;
    uint32_t word = buffer_[byte];
    if (byte + 1 < size_bytes_) word |= uint32_t(buffer_[byte + 1]) << 8;
    return (word >> (bit % 8)) & 7u;
}

void frame_3bit::write(uint32_t i, uint32_t value) {
    uint32_t bit = 3 * i, byte = bit / 8;
    bool two = byte + 1 < size_bytes_;
    uint32_t word = buffer_[byte] | (two ? uint32_t(buffer_[byte + 1]) << 8 : 0);
    word = (word & ~(7u << (bit % 8))) | (value << (bit % 8));
    buffer_[byte] = uint8_t(word);
    if (two) buffer_[byte + 1] = uint8_t(word >> 8);
}

uint32_t frame_15bit::read(uint32_t i) const {
    return buffer_[2 * i] | uint32_t(buffer_[2 * i + 1]) << 8;
}

void frame_15bit::write(uint32_t i, uint32_t value) {
    buffer_[2 * i] = uint8_t(value);
    buffer_[2 * i + 1] = uint8_t(value >> 8);
}

bool frame_15bit::accept(uint32_t& value) const {
    value &= 0xFFFFu;
    return true;
}

uint32_t frame_24bit::read(uint32_t i) const {
    const uint8_t* b = buffer_ + 3 * i;
    return b[0] | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16;
}

void frame_24bit::write(uint32_t i, uint32_t value) {
    uint8_t* b = buffer_ + 3 * i;
    b[0] = uint8_t(value);
    b[1] = uint8_t(value >> 8);
    b[2] = uint8_t(value >> 16);
}

bool frame_24bit::accept(uint32_t& value) const {
    value &= 0xFFFFFFu;
    return true;
}

// --- frame ----------------------------------------------------------------

namespace {
frame_state* make_state(uint32_t bits) {
    switch (bits) {
    case 1:
        return new (std::nothrow) frame_1bit;
    case 2:
        return new (std::nothrow) frame_2bit;
    case 3:
        return new (std::nothrow) frame_3bit;
    case 15:
        return new (std::nothrow) frame_15bit;
    case 24:
        return new (std::nothrow) frame_24bit;
    default:
        return nullptr;
    }
}
} // namespace

frame::~frame() {
    delete state_;
}

bool frame::create(uint16_t height, uint16_t width, uint32_t value, uint32_t bits) {
    if (state_) return false;
    frame_state* state = make_state(bits);
    if (!state) return false;
    if (!state->init(height, width, value)) {
        delete state;
        return false;
    }
    state_ = state;
    return true;
}

bool frame::destroy() {
    if (!state_) return false;
    delete state_;
    state_ = nullptr;
    return true;
}

bool frame::get_pixel(pixel& p) const {
    return state_ && state_->get_pixel(p);
}
bool frame::set_pixel(pixel& p) {
    return state_ && state_->set_pixel(p);
}
bool frame::clear() {
    return state_ && state_->clear();
}

bool frame::copy(const frame* other) {
    if (!state_ || !other || !other->state_) return false;
    const frame_state& from = *other->state_;
    if (from.bits_per_pixel() != state_->bits_per_pixel() || from.height() != state_->height() ||
        from.width() != state_->width())
        return false;
    std::memcpy(state_->buffer(), from.buffer(), state_->size_bytes());
    return true;
}

bool frame::write_bytes(uint32_t& position, const uint8_t* source, uint32_t count) {
    if (!state_ || !source || position > state_->size_bytes() ||
        count > state_->size_bytes() - position)
        return false;
    std::memcpy(state_->buffer() + position, source, count);
    position += count;
    return true;
}

bool frame::read_bytes(uint32_t& position, uint8_t* destination, uint32_t count,
                       uint32_t& count_read) const {
    count_read = 0;
    if (!state_ || !destination || position >= state_->size_bytes()) return false;
    std::memset(destination, 0, count);
    uint32_t left = state_->size_bytes() - position;
    uint32_t n = count < left ? count : left;
    std::memcpy(destination, state_->buffer() + position, n);
    position += n;
    count_read = n;
    return true;
}

uint32_t frame::lit_count() const {
    return state_ ? state_->lit_count() : 0;
}
uint32_t frame::bits_per_pixel() const {
    return state_ ? state_->bits_per_pixel() : 0;
}
uint32_t frame::height() const {
    return state_ ? state_->height() : 0;
}
uint32_t frame::width() const {
    return state_ ? state_->width() : 0;
}
uint32_t frame::size_bytes() const {
    return state_ ? state_->size_bytes() : 0;
}
const uint8_t* frame::bytes() const {
    return state_ ? state_->buffer() : nullptr;
}

} // namespace disp
