// The one font interface that text is drawn through. Two kinds serve it: a
// row of the NTCIP font table in the object store (CNTCIPFont) and a font
// built into the firmware (CMirelFont).
#pragma once

#include <cstdint>

class CFontBase;

// One character's pixels, read from its font once and then drawn: row-major,
// packed, most significant bit first (pixel (column, row) is bit
// row * width + column), as the NTCIP font table stores them.
struct font_glyph {
    static const uint32_t MAX_BYTES = 1024; // up to 8192 pixels, e.g. 90 x 90
    uint8_t width = 0;
    uint8_t height = 0;
    uint8_t bits[MAX_BYTES + 1]; // one more for the NUL of a string copy

    int Pixel(uint32_t column, uint32_t row) const {
        uint32_t bit = row * width + column;
        return (bits[bit / 8] >> (7 - bit % 8)) & 1;
    }
};

class CFontBase {
  public:
    virtual ~CFontBase() = default;
    // Height in pixels.
    virtual uint8_t GetHeight() = 0;
    // Width in pixels of a character code; 0 when the code has no glyph.
    virtual uint8_t GetCharWidth(uint32_t code) = 0;
    // 1 when pixel (column, row) of the code's glyph is lit, else 0.
    virtual int GetPixel(uint32_t code, uint32_t column, uint32_t row) = 0;
    // Blank columns between characters.
    virtual uint8_t GetCharSpacing() = 0;
    // Blank rows between lines.
    virtual uint8_t GetLineSpacing() { return 0; }
    // The font's name, or null.
    virtual const char* GetName() = 0;
    virtual uint8_t GetStatus() { return 0; }
    // The code's glyph in one read of the font; false when it is larger than
    // a glyph record holds (the caller then reads it pixel by pixel). This
    // form reads it through GetPixel.
    virtual bool LoadGlyph(uint32_t code, uint8_t height, font_glyph& glyph);
};
