// CLCDDisplayDriver: the front panel's view of the sign image, a one-bit
// bitmap of rows x ceil(columns / 8) bytes that the panel's sign-image screen
// draws on the LCD. The display task
// embeds it and sizes it to the face at every display configuration; the
// front panel reads the bitmap.
//
// It lives with the display, the layer that embeds it; the front panel, a
// layer above, reaches it through the display task.
#pragma once

#include "display/display_driver.h"

#include <cstdint>

namespace disp {
class frame;
}

// What the front-panel manager (peripheral 70) shows the display task: its
// sign-image view byte, non-zero while the panel shows the sign image.
class front_panel_view {
  public:
    virtual ~front_panel_view() = default;
    virtual uint8_t SignImageView() const = 0;
};

class CLCDDisplayDriver : public display_driver {
  public:
    CLCDDisplayDriver() = default;
    ~CLCDDisplayDriver() override;

    const char* Name() override { return "LCD"; }
    // The configure operation of the panel view: Resize.
    int Configure(uint32_t rows, uint32_t columns, uint32_t module_type_id) override;
    // A new zeroed bitmap for rows x columns dots; 0 when memory is short (no
    // bitmap then) or a side is 0.
    int Resize(uint32_t rows, uint32_t columns);
    void FreeBuffer();

    void SetBrightness(uint8_t level) override { brightness_ = level; }
    uint8_t GetBrightness() override { return brightness_; }
    // The surface packed into the bitmap (as ConvertFrame).
    int OutputFrame(CSurface* surface, int a, int b) override;

    // The panel's view byte, handed over before each frame is drawn.
    void SetView(uint8_t view) { view_ = view; }
    uint8_t View() const { return view_; }
    // A frame packed into the bitmap (lit pixels set), clipped to the
    // bitmap; nothing while the view byte is 0. -> 1 drawn.
    int DrawFrame(const disp::frame* frame);
    // A preview surface packed into the bitmap, clipped. -> 1 drawn.
    int ConvertFrame(const CSurface* surface);
    // Dot (x, y) of the bitmap: rows top to bottom, the leftmost dot of a
    // byte in its most significant bit.
    bool Dot(uint32_t x, uint32_t y) const;
    // Frames drawn so far.
    uint32_t FramesDrawn() const { return frames_drawn_; }

    const uint8_t* Bitmap() const { return bitmap_; }
    uint32_t BitmapBytes() const { return bitmap_bytes_; }
    uint32_t BytesPerRow() const { return (width_ + 7) / 8; }

  private:
    uint8_t* bitmap_ = nullptr;
    uint32_t bitmap_bytes_ = 0;
    void SetDot(uint32_t x, uint32_t y, bool lit);

    uint8_t brightness_ = 0;
    uint8_t view_ = 0;
    uint32_t frames_drawn_ = 0;
};
