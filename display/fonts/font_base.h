// The one font interface that text is drawn through. Two kinds serve it: a
// row of the NTCIP font table in the object store (CNTCIPFont) and a font
// built into the firmware (CMirelFont).
#pragma once

#include <cstdint>

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
};
