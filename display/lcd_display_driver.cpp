#include "display/lcd_display_driver.h"

#include "display/disp/frame.h"

#include <cstring>
#include <new>

CLCDDisplayDriver::~CLCDDisplayDriver() {
    FreeBuffer();
}

int CLCDDisplayDriver::Configure(uint32_t rows, uint32_t columns, uint32_t module_type_id) {
    module_type_id_ = module_type_id;
    return Resize(rows, columns);
}

int CLCDDisplayDriver::Resize(uint32_t rows, uint32_t columns) {
    FreeBuffer();
    height_ = rows;
    width_ = columns;
    if (rows == 0 || columns == 0) return 0;
    uint32_t bytes = rows * ((columns + 7) / 8);
    bitmap_ = new (std::nothrow) uint8_t[bytes];
    if (!bitmap_) return 0;
    std::memset(bitmap_, 0, bytes);
    bitmap_bytes_ = bytes;
    return 1;
}

void CLCDDisplayDriver::FreeBuffer() {
    delete[] bitmap_;
    bitmap_ = nullptr;
    bitmap_bytes_ = 0;
}

int CLCDDisplayDriver::OutputFrame(CSurface* surface, int a, int b) {
    (void)a;
    (void)b;
    return ConvertFrame(surface);
}

void CLCDDisplayDriver::SetDot(uint32_t x, uint32_t y, bool lit) {
    uint8_t& byte = bitmap_[y * BytesPerRow() + x / 8];
    const uint8_t bit = uint8_t(0x80 >> (x % 8));
    byte = lit ? uint8_t(byte | bit) : uint8_t(byte & ~bit);
}

bool CLCDDisplayDriver::Dot(uint32_t x, uint32_t y) const {
    if (!bitmap_ || x >= width_ || y >= height_) return false;
    return (bitmap_[y * BytesPerRow() + x / 8] & (0x80 >> (x % 8))) != 0;
}

int CLCDDisplayDriver::DrawFrame(const disp::frame* frame) {
    if (!frame || !bitmap_ || view_ == 0) return 0;
    const uint32_t rows = frame->height() < height_ ? frame->height() : height_;
    const uint32_t columns = frame->width() < width_ ? frame->width() : width_;
    for (uint32_t y = 0; y < rows; ++y)
        for (uint32_t x = 0; x < columns; ++x) {
            disp::pixel p{uint16_t(x), uint16_t(y)};
            SetDot(x, y, frame->get_pixel(p) && p.value != 0);
        }
    ++frames_drawn_;
    return 1;
}

int CLCDDisplayDriver::ConvertFrame(const CSurface* surface) {
    if (!surface || !bitmap_) return 0;
    const uint32_t rows = uint32_t(surface->GetHeight()) < height_ ? surface->GetHeight() : height_;
    const uint32_t columns = uint32_t(surface->GetWidth()) < width_ ? surface->GetWidth() : width_;
    for (uint32_t y = 0; y < rows; ++y)
        for (uint32_t x = 0; x < columns; ++x)
            SetDot(x, y, surface->GetPixel(int(x), int(y)) != 0);
    return 1;
}
