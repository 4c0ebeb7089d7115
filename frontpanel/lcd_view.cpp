// The sign on the front panel's LCD (see lcd_view.h).
#include "frontpanel/lcd_view.h"

#include "display/disp/frame.h"
#include "display/surface.h"
#include "frontpanel/lcd.h"
#include "frontpanel/manager.h"
#include "peripherals/peripheral_task.h"
#include "runtime/console.h"
#include "runtime/os.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

const uint32_t MUTEX_WAIT_TICKS = 100;
const uint8_t LINE_COLOUR = 1;
const uint8_t TOO_LARGE_ROW = 4;
const uint32_t HALF_WIDTH = 232; // the right part: its last 232 + columns mod 8 dots

uint32_t bytes_per_row_of(uint32_t columns) {
    return (columns + 7) / 8;
}

// Whether a surface's dot is lit, by its depth; an unknown depth is dark.
struct depth_row {
    int bits;
    uint32_t bytes;   // per pixel
    uint8_t lit_mask; // of each byte
};
const depth_row DEPTHS[] = {
    {1, 1, 0xFF},
    {2, 1, 0x03},
    {8, 1, 0xFF},
    {15, 2, 0xFF},
};

const depth_row* depth_of(int bits) {
    for (const depth_row& row : DEPTHS)
        if (row.bits == bits) return &row;
    return nullptr;
}

} // namespace

// --- frame_to_bitmap ------------------------------------------------------------------------

frame_to_bitmap::~frame_to_bitmap() {
    delete[] bitmap_;
}

void frame_to_bitmap::Clear() {
    if (bitmap_) std::memset(bitmap_, 0, size_t(rows_) * bytes_per_row_);
}

int frame_to_bitmap::Prepare(const disp::frame* frame) {
    const uint16_t rows = uint16_t(frame->height()), columns = uint16_t(frame->width());
    if (bitmap_ && rows == rows_ && columns == columns_) return 1;
    delete[] bitmap_;
    rows_ = rows;
    columns_ = columns;
    bytes_per_row_ = uint16_t(bytes_per_row_of(columns));
    bitmap_ = new (std::nothrow) uint8_t[size_t(rows) * bytes_per_row_];
    Clear();
    return bitmap_ != nullptr;
}

int frame_to_bitmap::Convert(const disp::frame* frame, const uint8_t** out) {
    if (!frame || !Prepare(frame)) return 0;
    for (uint16_t row = 0; row < rows_; ++row)
        for (uint16_t column = 0; column < columns_; ++column) {
            disp::pixel p{column, row};
            if (frame->get_pixel(p) && p.value > 0)
                bitmap_[row * bytes_per_row_ + column / 8] |= uint8_t(0x80 >> (column % 8));
        }
    if (out) *out = bitmap_;
    return 1;
}

// --- CLCDDisplayDriver -------------------------------------------------------------------------

CLCDDisplayDriver::~CLCDDisplayDriver() {
    FreeBuffer();
}

int CLCDDisplayDriver::Configure(uint32_t rows, uint32_t columns, uint32_t module_type_id) {
    module_type_id_ = module_type_id;
    return Resize(rows, columns);
}

int CLCDDisplayDriver::Resize(uint32_t rows, uint32_t columns) {
    if (rows == rows_ && columns == columns_) return 1;
    FreeBuffer();
    rows_ = height_ = rows;
    columns_ = width_ = columns;
    bytes_per_row_ = bytes_per_row_of(columns);
    const size_t bytes = size_t(rows) * bytes_per_row_;
    if (bytes == 0) return 1;
    bitmap_ = new (std::nothrow) uint8_t[bytes];
    if (bitmap_) std::memset(bitmap_, 0, bytes);
    return 1;
}

void CLCDDisplayDriver::FreeBuffer() {
    delete[] bitmap_;
    bitmap_ = nullptr;
}

bool CLCDDisplayDriver::Dot(uint32_t x, uint32_t y) const {
    if (!bitmap_ || x >= columns_ || y >= rows_) return false;
    return (bitmap_[y * bytes_per_row_ + x / 8] & (0x80 >> (x % 8))) != 0;
}

int CLCDDisplayDriver::ConvertFrame(const CSurface* surface) {
    if (!bitmap_) return 0;
    std::memset(bitmap_, 0, size_t(rows_) * bytes_per_row_);
    const depth_row* depth = surface ? depth_of(surface->GetBitsPerPixel()) : nullptr;
    if (!depth || !surface->GetBuffer()) return 0;
    // Only the dots the surface has: a surface of another size is clipped.
    const uint32_t rows = std::min(rows_, uint32_t(surface->GetHeight()));
    const uint32_t columns = std::min(columns_, uint32_t(surface->GetWidth()));
    const uint32_t stride = uint32_t(surface->GetWidth());
    const uint8_t* pixels = surface->GetBuffer();
    for (uint32_t r = 0; r < rows; ++r)
        for (uint32_t c = 0; c < columns; ++c) {
            const uint8_t* pixel = pixels + (r * stride + c) * depth->bytes;
            bool lit = false;
            for (uint32_t b = 0; b < depth->bytes; ++b)
                lit = lit || (pixel[b] & depth->lit_mask) != 0;
            if (lit) bitmap_[r * bytes_per_row_ + c / 8] |= uint8_t(0x80 >> (c % 8));
        }
    return 1;
}

bool CLCDDisplayDriver::FindManager() {
    if (manager_) return true;
    CPeripheral* found = nullptr;
    if (ThePeripheralTask().Find(CLCD_Manager::ID_LCD01, &found))
        manager_ = dynamic_cast<CLCD_Manager*>(found);
    return manager_ != nullptr;
}

// Copies the frame where it overlaps the bitmap: the bitmap keeps its own
// size whatever the frame's.
void CLCDDisplayDriver::CopyFrame(const disp::frame* frame) {
    frame_to_bitmap converter;
    const uint8_t* converted = nullptr;
    if (!converter.Convert(frame, &converted)) return;
    std::memset(bitmap_, 0, size_t(rows_) * bytes_per_row_);
    const uint32_t rows = std::min<uint32_t>(rows_, converter.Rows());
    const uint32_t bytes = std::min<uint32_t>(bytes_per_row_, converter.BytesPerRow());
    for (uint32_t r = 0; r < rows; ++r)
        std::memcpy(bitmap_ + r * bytes_per_row_, converted + r * converter.BytesPerRow(), bytes);
}

uint8_t CLCDDisplayDriver::Top() const {
    return rows_ <= LCD_HEIGHT ? uint8_t((LCD_HEIGHT - rows_) / 2) : 0;
}

int CLCDDisplayDriver::DrawFrame(const disp::frame* frame) {
    drawing_ = 1;
    ++frames_drawn_;
    if (!FindManager()) {
        drawing_ = 0;
        return 0;
    }
    CLCD& lcd = manager_->Lcd();
    if (rows_ > LCD_HEIGHT) {
        lcd.Print(TOO_LARGE_ROW, LCD_CENTRE, "%s", "TOO LARGE TO DISPLAY");
        drawing_ = 0;
        return 0;
    }
    if (rows_ == 0 || columns_ == 0 || !frame || !bitmap_ || manager_->SignImageView() == 0 ||
        !manager_->SignImageMutexReady() ||
        os_mutex_get(&manager_->SignImageMutex(), MUTEX_WAIT_TICKS) != OS_OK) {
        drawing_ = 0;
        return 0;
    }
    CopyFrame(frame);
    DrawBitmap(lcd, view_mode_ == 2 ? 1 : 0);
    os_mutex_put(&manager_->SignImageMutex());
    drawing_ = 0;
    return 0;
}

void CLCDDisplayDriver::DrawBitmap(CLCD& lcd, uint8_t half) {
    if (!bitmap_ || rows_ > LCD_HEIGHT) return;
    const uint8_t y = Top();
    if (columns_ < LCD_WIDTH)
        DrawNarrow(lcd, y);
    else if (columns_ == LCD_WIDTH)
        DrawFull(lcd, y);
    else if (half == 1)
        DrawRightHalf(lcd, y);
    else
        DrawLeftHalf(lcd, y);
}

void CLCDDisplayDriver::DrawNarrow(CLCD& lcd, uint8_t y) {
    const uint8_t x = uint8_t((LCD_WIDTH - columns_) / 2);
    lcd.DrawRect(LINE_COLOUR, uint8_t(x - 1), uint8_t(y - 1), uint8_t(x + columns_),
                 uint8_t(y + rows_));
    int result = lcd.Bitmap(x, y, uint8_t(columns_), uint8_t(rows_), bitmap_);
    if (result != 0) console_printf("LCD Error:%d\n", result);
}

void CLCDDisplayDriver::DrawFull(CLCD& lcd, uint8_t y) {
    lcd.DrawRect(LINE_COLOUR, 0, uint8_t(y - 1), LCD_WIDTH - 1, uint8_t(y - 1));
    lcd.DrawRect(LINE_COLOUR, 0, uint8_t(y + rows_), LCD_WIDTH - 1, uint8_t(y + rows_));
    int result = lcd.Bitmap(0, y, uint8_t(LCD_WIDTH), uint8_t(rows_), bitmap_);
    if (result != 0) console_printf("LCD Error:%d\n", result);
}

void CLCDDisplayDriver::DrawLeftHalf(CLCD& lcd, uint8_t y) {
    lcd.DrawRect(LINE_COLOUR, 1, uint8_t(y - 1), LCD_WIDTH - 1, uint8_t(y - 1));
    lcd.DrawRect(LINE_COLOUR, 1, uint8_t(y + rows_), LCD_WIDTH - 1, uint8_t(y + rows_));
    lcd.DrawRect(LINE_COLOUR, 0, uint8_t(y - 1), 0, uint8_t(y + rows_));
    for (uint32_t r = 0; r < rows_; ++r)
        lcd.Bitmap(1, uint8_t(y + r), LCD_WIDTH - 1, 1, bitmap_ + r * bytes_per_row_);
}

void CLCDDisplayDriver::DrawRightHalf(CLCD& lcd, uint8_t y) {
    const uint32_t m = columns_ % 8;
    const uint8_t last = uint8_t(m + HALF_WIDTH - 1);
    lcd.DrawRect(LINE_COLOUR, 0, uint8_t(y - 1), last, uint8_t(y - 1));
    lcd.DrawRect(LINE_COLOUR, 0, uint8_t(y + rows_), last, uint8_t(y + rows_));
    lcd.DrawRect(LINE_COLOUR, uint8_t(last + 1), uint8_t(y - 1), uint8_t(last + 1),
                 uint8_t(y + rows_));
    const uint32_t first_byte = (columns_ - HALF_WIDTH) / 8;
    for (uint32_t r = 0; r < rows_; ++r)
        lcd.Bitmap(0, uint8_t(y + r), uint8_t(m + HALF_WIDTH), 1,
                   bitmap_ + r * bytes_per_row_ + first_byte);
}

// --- the display task's instance -----------------------------------------------------------------

CLCDDisplayDriver& TheSignImageDriver() {
    static CLCDDisplayDriver driver;
    return driver;
}
