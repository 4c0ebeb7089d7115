#include "display/surface_adapter.h"

#include "display/surface.h"

#include <cstring>

namespace {

// The surface's colours for the two bits of a 2-bit pixel.
const uint32_t FIRST_COLOUR = 0x7C00;
const uint32_t SECOND_COLOUR = 0x0370;

bool inside(const CSurface& s, const disp::pixel& p) {
    return p.x < s.GetWidth() && p.y < s.GetHeight();
}

} // namespace

bool surface_adapter::create(uint16_t height, uint16_t width, uint32_t value, uint32_t bits) {
    (void)value;
    (void)bits;
    height_ = height;
    width_ = width;
    return true;
}

bool surface_adapter::get_pixel(disp::pixel& p) const {
    if (!inside(*surface_, p)) return false;
    uint32_t colour = surface_->GetPixel(p.x, p.y);
    switch (surface_->GetBitsPerPixel()) {
    case 1:
        p.value = colour != 0 ? 1 : 0;
        return true;
    case 2:
        p.value = ((colour & FIRST_COLOUR) ? 1u : 0u) | ((colour & SECOND_COLOUR) ? 2u : 0u);
        return true;
    case 15:
        p.value = colour >> 16 | (colour & 0xFFFF) << 16;
        return true;
    default:
        return false;
    }
}

bool surface_adapter::set_pixel(disp::pixel& p) {
    if (!inside(*surface_, p)) return false;
    switch (surface_->GetBitsPerPixel()) {
    case 1:
    case 15:
        surface_->SetPixel(p.x, p.y, int32_t(p.value));
        return true;
    case 2:
        surface_->SetPixel(p.x, p.y,
                           int32_t((p.value & 2)   ? SECOND_COLOUR
                                   : (p.value & 1) ? FIRST_COLOUR
                                                   : 0));
        return true;
    default:
        return false;
    }
}

bool surface_adapter::read_bytes(uint32_t& position, uint8_t* destination, uint32_t count,
                                 uint32_t& count_read) const {
    count_read = 0;
    if (!destination) return false;
    switch (surface_->GetBitsPerPixel()) {
    case 1:
    case 2:
        return read_packed(position, destination, count, count_read);
    case 15:
        return read_colour(position, destination, count, count_read);
    default:
        return false;
    }
}

// Byte i of the frame is byte i ^ 1 of the surface: each pixel's two bytes
// change places.
bool surface_adapter::read_colour(uint32_t& position, uint8_t* destination, uint32_t count,
                                  uint32_t& count_read) const {
    const uint8_t* bytes = surface_->GetBuffer();
    uint32_t size = surface_->GetSize() & ~1u;
    if (!bytes || position >= size) return false;
    std::memset(destination, 0, count);
    uint32_t n = count < size - position ? count : size - position;
    for (uint32_t i = 0; i < n; ++i)
        destination[i] = bytes[(position + i) ^ 1];
    position += n;
    count_read = n;
    return true;
}

// Pixels in index order from `position`, least significant bits first, until
// `count` bytes are full or the surface ends.
bool surface_adapter::read_packed(uint32_t& position, uint8_t* destination, uint32_t count,
                                  uint32_t& count_read) const {
    std::memset(destination, 0, count);
    const uint32_t bits = uint32_t(surface_->GetBitsPerPixel());
    const uint32_t width = uint32_t(surface_->GetWidth());
    const uint32_t pixels = width * uint32_t(surface_->GetHeight());
    uint32_t bit = 0;
    while (bit < 8 * count && position < pixels) {
        disp::pixel p(uint16_t(position % width), uint16_t(position / width));
        get_pixel(p);
        destination[bit / 8] |= uint8_t(p.value << (bit % 8));
        bit += bits;
        ++position;
    }
    count_read = (bit + 7) / 8;
    return true;
}

uint32_t surface_adapter::lit_count() const {
    return surface_->CountLit();
}

uint32_t surface_adapter::bits_per_pixel() const {
    return uint32_t(surface_->GetBitsPerPixel());
}

void surface_adapter::refresh() {
    pixels_ = surface_->GetBuffer();
    byte_count_ = surface_->GetSize();
}
