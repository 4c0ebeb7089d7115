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
    // Drawing the sign image on the panel comes with the front panel's screens.
    int OutputFrame(CSurface* surface, int a, int b) override;

    const uint8_t* Bitmap() const { return bitmap_; }
    uint32_t BitmapBytes() const { return bitmap_bytes_; }
    uint32_t BytesPerRow() const { return (width_ + 7) / 8; }

  private:
    uint8_t* bitmap_ = nullptr;
    uint32_t bitmap_bytes_ = 0;
    uint8_t brightness_ = 0;
};
