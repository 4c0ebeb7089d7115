// The sign on the front panel's 240 x 64-dot LCD.
//
// frame_to_bitmap packs a display frame, dot by dot, into a one-bit bitmap
// (row after row, ceil(columns / 8) bytes a row, the leftmost dot of a byte
// in its most significant bit); the pixel-test map uses it as well.
//
// CLCDDisplayDriver is the panel's view of the display driver: the display
// task hands it every nineteenth frame while the panel shows the sign image,
// and it draws the frame framed by lines:
//   - a sign narrower than 240 dots centred, inside a rectangle one dot
//     outside the image;
//   - a sign exactly 240 dots wide across the LCD, between two lines;
//   - a wider sign by halves: view mode 2 its right part, any other mode its
//     left part, sent one row at a time so every command stays short.
// A sign taller than 64 rows is never drawn: the LCD says "TOO LARGE TO
// DISPLAY". The message preview uses a second instance for ConvertFrame
// alone (a preview surface of 1, 2, 8 or 15 bits a pixel into the bitmap).
//
// The bitmap is sized by Resize (the display's configuration); a frame of
// another size is copied only where both overlap, so a size change between
// two frames never reads or writes past either buffer.
#pragma once

#include "display/lcd_display_driver.h"

#include <cstdint>

class CLCD;
class CLCD_Manager;
class CSurface;

namespace disp {
class frame;
}

class frame_to_bitmap {
  public:
    frame_to_bitmap() = default;
    virtual ~frame_to_bitmap();
    frame_to_bitmap(const frame_to_bitmap&) = delete;
    frame_to_bitmap& operator=(const frame_to_bitmap&) = delete;

    // -> 1 with the frame's lit dots set in the bitmap handed out, 0 for no
    // frame or no memory.
    int Convert(const disp::frame* frame, const uint8_t** out);
    // A bitmap of the frame's size (kept, not cleared, when it has one).
    int Prepare(const disp::frame* frame);
    void Clear();

    uint16_t Rows() const { return rows_; }
    uint16_t Columns() const { return columns_; }
    uint16_t BytesPerRow() const { return bytes_per_row_; }

  private:
    uint8_t* bitmap_ = nullptr;
    uint16_t rows_ = 0;
    uint16_t columns_ = 0;
    uint16_t bytes_per_row_ = 0;
};

class CLCDDisplayDriver : public front_panel_image {
  public:
    static constexpr uint32_t LCD_WIDTH = 240;
    static constexpr uint32_t LCD_HEIGHT = 64;

    CLCDDisplayDriver() = default;
    ~CLCDDisplayDriver() override;

    const char* Name() override { return "DEFAULT"; }
    int Configure(uint32_t rows, uint32_t columns, uint32_t module_type_id) override;
    void SetBrightness(uint8_t level) override { stored_ = level; }
    uint8_t GetBrightness() override { return stored_; }
    int OutputFrame(CSurface*, int, int) override { return 0; }

    // A zeroed bitmap of rows x ceil(columns / 8) bytes; the same size keeps
    // the one there is. -> 1 (no bitmap after a failed allocation).
    int Resize(uint32_t rows, uint32_t columns) override;
    void FreeBuffer();
    // 1 the left part, 2 the right part of a sign wider than the LCD.
    void SetViewMode(uint8_t mode) override { view_mode_ = mode; }
    uint8_t ViewMode() const { return view_mode_; }
    // The surface's lit dots (by its depth) into the bitmap.
    int ConvertFrame(const CSurface* surface) override;
    // The frame's lit dots into the bitmap where both overlap (the pixel-test
    // map sizes the view from its frame first).
    void CopyFrame(const disp::frame* frame);
    // Draws the frame on the panel while it shows the sign image. -> 0.
    int DrawFrame(const disp::frame* frame) override;
    // The picture of the bitmap on the panel's LCD, with the frame lines,
    // at the layout of the driver's size (also the preview's).
    void DrawBitmap(CLCD& lcd, uint8_t half);

    // The manager to draw through (tests; else found as peripheral 70).
    void SetManager(CLCD_Manager* manager) { manager_ = manager; }
    bool Drawing() const { return drawing_ != 0; }
    uint32_t FramesDrawn() const { return frames_drawn_; }
    bool Dot(uint32_t x, uint32_t y) const;
    const uint8_t* Bitmap() const { return bitmap_; }
    uint32_t BitmapBytes() const { return bitmap_ ? rows_ * bytes_per_row_ : 0; }
    uint32_t BytesPerRow() const { return bytes_per_row_; }
    uint32_t Rows() const { return rows_; }
    uint32_t Columns() const { return columns_; }
    uint8_t Top() const;

  private:
    bool FindManager();
    void DrawNarrow(CLCD& lcd, uint8_t y);
    void DrawFull(CLCD& lcd, uint8_t y);
    void DrawLeftHalf(CLCD& lcd, uint8_t y);
    void DrawRightHalf(CLCD& lcd, uint8_t y);

    volatile uint8_t drawing_ = 0;
    uint8_t stored_ = 0;
    uint8_t* bitmap_ = nullptr;
    CLCD_Manager* manager_ = nullptr;
    uint8_t view_mode_ = 0;
    uint32_t rows_ = 0;
    uint32_t columns_ = 0;
    uint32_t bytes_per_row_ = 0;
    uint32_t frames_drawn_ = 0;
};

// The display task's instance, handed to the display by the start-up.
CLCDDisplayDriver& TheSignImageDriver();
