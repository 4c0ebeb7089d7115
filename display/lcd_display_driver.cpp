#include "display/lcd_display_driver.h"

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
    (void)surface;
    (void)a;
    (void)b;
    return bitmap_ ? 1 : 0;
}
