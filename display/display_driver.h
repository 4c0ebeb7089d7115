// display_driver: the display task's frame-output interface. The renderer's
// surface is handed to the active driver once per display tick. The sign's
// driver (CJ6DisplayDriver) drives the LED modules through the display EPLD;
// the front panel's view of the sign image is the other implementation.
#pragma once

#include "display/surface.h"

#include <cstdint>

class display_driver {
  public:
    display_driver() = default;
    virtual ~display_driver() = default;
    display_driver(const display_driver&) = delete;
    display_driver& operator=(const display_driver&) = delete;

    virtual void SetRealTimeDiagnostics(uint32_t value) { real_time_diagnostics_ = value; }
    virtual int MaxFrameRate() { return 120; }
    virtual void SetBrightness(uint8_t level) = 0;
    virtual uint8_t GetBrightness() = 0;
    virtual const char* Name() { return "DEFAULT"; }
    // Stores the geometry and module type. -> 1 configured, 0 failed (the
    // base configures nothing).
    virtual int Configure(uint32_t height, uint32_t width, uint32_t module_type_id) {
        height_ = height;
        width_ = width;
        module_type_id_ = module_type_id;
        return 0;
    }
    virtual int OutputFrame(CSurface* surface, int a, int b) = 0;
    virtual uint32_t Height() { return height_; }
    virtual uint32_t Width() { return width_; }

  protected:
    uint32_t height_ = 0;
    uint32_t width_ = 0;
    uint32_t module_type_id_ = 0; // of the loaded EPLD image
    uint32_t real_time_diagnostics_ = 0;
};
