#include "display/surface.h"

#include <cstring>
#include <new>

namespace {

// The largest buffer a surface takes (far beyond any sign or preview).
const uint64_t MAX_SURFACE_BYTES = 16u << 20;

bool supported_depth(int bits) {
    return bits == 1 || bits == 2 || bits == 8 || bits == 15;
}

uint32_t le16(const uint8_t* p) {
    return p[0] | uint32_t(p[1]) << 8;
}
uint32_t le32(const uint8_t* p) {
    return le16(p) | le16(p + 2) << 16;
}

// colour15 from 8-bit blue, green and red: the top five bits of each.
int32_t colour15(uint8_t blue, uint8_t green, uint8_t red) {
    return (red >> 3) | (green >> 3) << 5 | (blue >> 3) << 10;
}

} // namespace

CSurface::CSurface() = default;

CSurface::~CSurface() {
    Destroy();
}

uint8_t* CSurface::Create(int height, int width, int bitsPerPixel) {
    if (allocated_ && buffer_ && bitsPerPixel == bits_per_pixel_ && width == width_ &&
        height == height_)
        return buffer_;
    Destroy();
    if (!supported_depth(bitsPerPixel) || width <= 0 || height <= 0) return nullptr;
    uint64_t bytes = uint64_t(width) * uint64_t(height) * BytesPerPixel(bitsPerPixel);
    if (bytes > MAX_SURFACE_BYTES) return nullptr;
    buffer_ = new (std::nothrow) uint8_t[bytes];
    if (!buffer_) return nullptr;
    std::memset(buffer_, 0, bytes);
    size_ = uint32_t(bytes);
    bits_per_pixel_ = uint8_t(bitsPerPixel);
    width_ = width;
    height_ = height;
    allocated_ = 1;
    return buffer_;
}

void CSurface::Destroy() {
    if (!allocated_) return;
    size_ = 0;
    allocated_ = 0;
    delete[] buffer_;
    buffer_ = nullptr;
}

void CSurface::Clear() {
    if (allocated_ && keep_content_ == 0) std::memset(buffer_, 0, size_);
}

void CSurface::Store(uint8_t* at, int32_t colour) const {
    uint32_t c = uint32_t(colour);
    switch (bits_per_pixel_) {
    case 1:
        *at = c != 0;
        break;
    case 2:
        *at = uint8_t(((c & 0x001F) ? 1 : 0) | ((c & 0x03E0) ? 2 : 0));
        break;
    case 8:
        *at = uint8_t(c);
        break;
    default:
        at[0] = uint8_t(c >> 8);
        at[1] = uint8_t(c);
        break;
    }
}

uint32_t CSurface::GetPixel(int x, int y) const {
    if (!allocated_ || !Inside(x, y)) return 0;
    const uint8_t* at = buffer_ + (size_t(y) * width_ + x) * BytesPerPixel(bits_per_pixel_);
    switch (bits_per_pixel_) {
    case 1:
        return *at ? 0x7C00 : 0;
    case 2:
        return ((*at & 1) ? 0x7C00u : 0u) | ((*at & 2) ? 0x0370u : 0u);
    case 8:
        return *at;
    default:
        return (uint32_t(at[0]) << 8 | at[1]) << 16;
    }
}

uint32_t CSurface::CountLit() const {
    if (!allocated_) return 0;
    const size_t pixels = size_t(width_) * size_t(height_);
    const int step = BytesPerPixel(bits_per_pixel_);
    // The bits GetPixel reads of a pixel's first byte; 15-bit pixels read two bytes.
    const uint8_t mask = bits_per_pixel_ == 2 ? 0x03 : 0xFF;
    const bool two_bytes = bits_per_pixel_ != 1 && bits_per_pixel_ != 2 && bits_per_pixel_ != 8;
    uint32_t lit = 0;
    const uint8_t* at = buffer_;
    if (!two_bytes) { // one byte a pixel: a plain loop the compiler vectorises
        for (size_t i = 0; i < pixels; ++i)
            lit += (at[i] & mask) != 0;
        return lit;
    }
    for (size_t i = 0; i < pixels; ++i, at += step)
        if (at[0] != 0 || at[1] != 0) ++lit;
    return lit;
}

void CSurface::SetPixel(int x, int y, int32_t colour) {
    if (!allocated_ || !Inside(x, y)) return;
    Store(buffer_ + (size_t(y) * width_ + x) * BytesPerPixel(bits_per_pixel_), colour);
}

void CSurface::Fill(int32_t colour) {
    if (colour != 0 && surface_simulation_mode()) return;
    FillRect(0, 0, width_, height_, colour);
}

void CSurface::DrawHLine(int y, int32_t colour) {
    FillRect(0, y, width_, 1, colour);
}

void CSurface::DrawVLine(int x, int32_t colour) {
    FillRect(x, 0, 1, height_, colour);
}

void CSurface::FillRect(int x, int y, int columns, int rows, int32_t colour) {
    if (!allocated_ || columns <= 0 || rows <= 0) return;
    // Clip in 64 bits: x + columns may exceed the int range.
    int64_t x0 = x < 0 ? 0 : x, y0 = y < 0 ? 0 : y;
    int64_t x1 = int64_t(x) + columns, y1 = int64_t(y) + rows;
    if (x1 > width_) x1 = width_;
    if (y1 > height_) y1 = height_;
    if (x0 >= x1 || y0 >= y1) return;
    // The colour's bytes once; every pixel of the rectangle gets a copy.
    const int bpp = BytesPerPixel(bits_per_pixel_);
    uint8_t pixel[2] = {0, 0};
    Store(pixel, colour);
    const size_t run = size_t(x1 - x0) * bpp;
    for (int64_t row = y0; row < y1; ++row) {
        uint8_t* at = buffer_ + (size_t(row) * width_ + size_t(x0)) * bpp;
        if (bpp == 1 || pixel[0] == pixel[1]) {
            std::memset(at, pixel[0], run);
            continue;
        }
        for (size_t i = 0; i < run; i += 2) {
            at[i] = pixel[0];
            at[i + 1] = pixel[1];
        }
    }
}

// A Windows bitmap (BMP): a 14-byte file header and an info header of 40
// bytes or more (the later 108- and 124-byte forms extend it), little-endian
// fields, the palette right after the info header, rows stored bottom-up and
// padded to 4 bytes. Everything read from the file is checked against its
// size first.
int CSurface::DrawBitmap(const uint8_t* image, uint32_t size, int x, int y, int /*flag*/) {
    const uint32_t FILE_HEADER = 14, INFO_MIN = 40;
    if (!image || size < FILE_HEADER + INFO_MIN || image[0] != 'B' || image[1] != 'M') return 0;
    const uint32_t info_size = le32(image + FILE_HEADER);
    if (info_size < INFO_MIN || info_size > size - FILE_HEADER) return 0;
    const uint32_t INFO_END = FILE_HEADER + info_size, PALETTE = INFO_END;
    uint32_t offset = le32(image + 10);
    int32_t width = int32_t(le32(image + 18));
    int32_t height = int32_t(le32(image + 22));
    uint32_t bits = le16(image + 28);
    uint32_t compression = le32(image + 30);
    if ((bits != 24 && bits != 8) || compression != 0) return 0;
    if (width <= 0 || height <= 0 || offset < INFO_END) return 0;
    uint64_t stride = (uint64_t(width) * bits + 31) / 32 * 4;
    if (uint64_t(offset) + stride * uint64_t(height) > size) return 0;
    // Palette entries present between the header and the pixels (at most 256).
    uint32_t entries = (offset - PALETTE) / 4;
    if (entries > 256) entries = 256;
    for (int32_t row = 0; row < height; ++row) {
        int64_t dy = int64_t(y) + height - 1 - row;
        if (dy < 0 || dy >= height_) continue;
        const uint8_t* line = image + offset + stride * uint64_t(row);
        for (int32_t col = 0; col < width; ++col) {
            int64_t dx = int64_t(x) + col;
            if (dx < 0 || dx >= width_) continue;
            int32_t colour = 0;
            if (bits == 24) {
                const uint8_t* p = line + 3 * size_t(col);
                colour = colour15(p[0], p[1], p[2]);
            } else if (line[col] < entries) {
                const uint8_t* p = image + PALETTE + 4 * line[col];
                colour = colour15(p[0], p[1], p[2]);
            }
            SetPixel(int(dx), int(dy), colour);
        }
    }
    return 1;
}
