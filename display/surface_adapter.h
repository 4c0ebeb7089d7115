// surface_adapter: the renderer's surface seen as a display-engine frame. Its
// pixels are the surface's pixels, read and written through the surface, so
// the display engine reads the sign image the renderer drew without a copy.
//
// Pixel values by the surface's depth: 1 bit: 0 or 1 (lit); 2 bits: bit 0 for
// the first colour (0x7C00), bit 1 for the second (0x0370); 15 bits: the
// colour. Other depths are refused. As frame bytes a 15-bit surface reads low
// byte first (the surface keeps the high byte first) and a 1- or 2-bit surface
// reads packed like a 1- or 2-bit frame.
#pragma once

#include "display/disp/frame.h"

#include <cstdint>

class CSurface;

class surface_adapter : public disp::frame {
  public:
    explicit surface_adapter(CSurface* surface) : surface_(surface) {}

    // Records the size; the pixels stay the surface's.
    bool create(uint16_t height, uint16_t width, uint32_t value, uint32_t bits) override;
    bool destroy() override { return true; }
    bool get_pixel(disp::pixel& p) const override;
    bool set_pixel(disp::pixel& p) override;
    // 15 bits: `position` counts bytes; 1 and 2 bits: it counts pixels, and a
    // read at the end gives 0 bytes.
    bool read_bytes(uint32_t& position, uint8_t* destination, uint32_t count,
                    uint32_t& count_read) const override;
    // Counted over the surface on each call.
    uint32_t lit_count() const override;
    uint32_t bits_per_pixel() const override;
    uint32_t height() const override { return height_; }
    uint32_t width() const override { return width_; }

    // Takes the surface's buffer and size as they are now.
    void refresh();
    const uint8_t* pixel_bytes() const { return pixels_; }
    uint32_t pixel_byte_count() const { return byte_count_; }

  private:
    bool read_packed(uint32_t& position, uint8_t* destination, uint32_t count,
                     uint32_t& count_read) const;
    bool read_colour(uint32_t& position, uint8_t* destination, uint32_t count,
                     uint32_t& count_read) const;

    uint16_t height_ = 0;
    uint16_t width_ = 0;
    const uint8_t* pixels_ = nullptr;
    uint32_t byte_count_ = 0;
    CSurface* surface_;
};
