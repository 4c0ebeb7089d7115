#include "display/fonts/font_base.h"

#include <cstring>

bool CFontBase::LoadGlyph(uint32_t code, uint8_t height, font_glyph& glyph) {
    glyph.width = GetCharWidth(code);
    glyph.height = height;
    uint32_t pixels = uint32_t(glyph.width) * height;
    if (pixels > font_glyph::MAX_BYTES * 8) return false;
    std::memset(glyph.bits, 0, (pixels + 7) / 8);
    for (uint32_t row = 0; row < height; ++row) {
        for (uint32_t column = 0; column < glyph.width; ++column) {
            if (!GetPixel(code, column, row)) continue;
            uint32_t bit = row * glyph.width + column;
            glyph.bits[bit / 8] |= uint8_t(0x80 >> (bit % 8));
        }
    }
    return true;
}
