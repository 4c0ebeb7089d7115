// PNG pictures for a person to look at: the sign face, the font sheet, a
// rendered message. One writer of 8-bit RGB pictures, each pixel given as
// three bytes (red, green, blue) row by row, with optional text chunks (for
// example the brightness a picture was shown at). Host code only: tools and
// the platform's display model use it; the firmware never writes pictures.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace host {

struct PngText {
    std::string keyword, text;
};

// The whole PNG file for a width x height picture; empty when the size is
// not positive or the pixel buffer is shorter than width * height * 3.
std::string png_encode_rgb(int width, int height, const std::vector<uint8_t>& rgb,
                           const std::vector<PngText>& texts = {});

// Writes the picture to a temporary file beside `path` and renames it over
// `path`, so that a reader never sees half a picture. True on success.
bool png_write_rgb(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb,
                   const std::vector<PngText>& texts = {});

} // namespace host
