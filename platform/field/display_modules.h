// The sign's LED display modules, on the far side of the display EPLD: they
// take what the EPLD puts out, decode each frame of its format back to one
// drive level per LED colour, and keep the sign's picture.
//
// Field file lines (kind "display"):
//   display format N                      frame format code the EPLD reports (0..255; 0)
//   display module HxW mono|red-green|full  module rows x columns and LED colours (8x8 mono)
//   display scale N                       picture pixels per LED, each way (1..16; 1)
#pragma once

#include "platform/board/board.h"
#include "platform/field/field.h"

#include <mutex>
#include <string>
#include <vector>

namespace field {

enum class LedColours : uint8_t { Mono, RedGreen, Full };

struct DisplaySettings {
    uint8_t format = 0;
    int module_height = 8;
    int module_width = 8;
    LedColours colours = LedColours::Mono;
    int scale = 1;
};

bool display_field_line(const std::vector<std::string>& args, std::string& reason);

class DisplayModules {
  public:
    void Reset();
    DisplaySettings Settings();
    void SetSettings(const DisplaySettings& settings);
    // What the EPLD puts out (the board's display output sink).
    void Show(const board::DisplayOutput& output);
    host::SignPicture Picture();
    uint64_t Changes();
    // The picture as a person sees it: scale x scale picture pixels per LED in
    // the LED's colour (one-colour modules are amber), 8-bit RGB.
    std::vector<uint8_t> Rgb(const host::SignPicture& picture, int& width, int& height);

  private:
    // What one decoded frame depended on: the display refreshes the same
    // frame step after step, and a frame equal to the last one decoded takes
    // the last decoding's LEDs.
    struct DecodedFrame {
        uint8_t format = 0, mode = 0;
        uint16_t width = 0, height = 0;
        int module_height = 0, module_width = 0;
        LedColours colours = LedColours::Mono;
        std::vector<uint8_t> frame;
        bool valid = false;
        int picture_width = 0, picture_height = 0;
        std::vector<uint8_t> levels;
        bool Matches(const board::DisplayOutput& output, const DisplaySettings& settings) const;
    };

    void Decode(const board::DisplayOutput& output, host::SignPicture& next);
    void DecodeOnce(const board::DisplayOutput& output, host::SignPicture& next);

    std::mutex m_;
    DisplaySettings settings_;
    host::SignPicture picture_;
    DecodedFrame last_;
};

DisplayModules& display_modules();

} // namespace field
