// The front panel's view of the sign image, as the display task sees it: a
// display driver the panel owns (frontpanel/lcd_view.h), handed to the
// display task once the panel exists. The display sizes it at every display
// configuration, gives it every nineteenth frame of the primary face while
// the panel shows the sign image, and draws message previews through it.
//
// It lives with the display, the layer that calls it; the front panel, a
// layer above, implements it.
#pragma once

#include "display/display_driver.h"

#include <cstdint>

class CSurface;
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

class front_panel_image : public display_driver {
  public:
    // A one-bit image of rows x columns dots.
    virtual int Resize(uint32_t rows, uint32_t columns) = 0;
    // The panel's view byte, handed over before each frame is drawn.
    virtual void SetViewMode(uint8_t mode) = 0;
    virtual int DrawFrame(const disp::frame* frame) = 0;
    // A preview surface packed into the image.
    virtual int ConvertFrame(const CSurface* surface) = 0;
};
