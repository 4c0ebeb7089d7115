// The byte layouts in which the display EPLD takes a frame, by the frame
// format code it reports: one table of band layouts and byte encoders, and
// one conversion loop that writes a surface into the frame area by them.
#pragma once

#include "display/surface.h"

#include <cstdint>

struct j6_frame_target {
    uint8_t* area;         // the frame area
    uint32_t capacity;     // its size: writes stop there
    uint8_t colour_class;  // of the module type (formats 2 and 3)
    uint8_t epld_mode;     // bit 0x10: on/off bytes (formats 2 and 3)
    uint8_t module_height; // format 11: modules of 7 or 8 rows take two bytes a pixel
};

struct j6_frame_result {
    uint32_t bytes;        // bytes written (or passed over) from the area's start
    int32_t stored_height; // the height the layout's bands cover, -1 when it keeps the surface's
    uint32_t needed;       // the bytes the layout takes: past the area's size the frame is cut
};

// Converts `surface` into the frame area in the layout of `format_code`; a
// blank frame carries zeros where the layout says so. Pixels are read only
// inside the surface and bytes written only inside the area.
j6_frame_result j6_convert_frame(const CSurface& surface, uint8_t format_code, bool blank,
                                 const j6_frame_target& target);

// j6_convert_frame that remembers its last frame: when the surface's pixels,
// the format and the target are those of the last call and the area still
// holds the bytes that call wrote, the conversion is not done again.
class j6_frame_converter {
  public:
    j6_frame_converter() = default;
    ~j6_frame_converter();
    j6_frame_converter(const j6_frame_converter&) = delete;
    j6_frame_converter& operator=(const j6_frame_converter&) = delete;

    j6_frame_result convert(const CSurface& surface, uint8_t format_code, bool blank,
                            const j6_frame_target& target);

  private:
    struct key {
        uint8_t format_code;
        bool blank;
        j6_frame_target target;
        int width, height, bits_per_pixel;
        uint32_t size;
    };
    // A copy of bytes kept to compare with.
    struct copy {
        uint8_t* bytes = nullptr;
        uint32_t size = 0, capacity = 0;
        bool take(const uint8_t* from, uint32_t count);
        bool same(const uint8_t* as) const;
    };
    bool same(const CSurface& surface, const key& k) const;
    void remember(const CSurface& surface, const key& k, const j6_frame_result& result);

    bool known_ = false;
    key key_ = {};
    j6_frame_result result_ = {0, -1, 0};
    copy pixels_, area_;
};

// Mode bit of the on/off variants of formats 2 and 3.
const uint8_t EPLD_MODE_ON_OFF = 0x10;
