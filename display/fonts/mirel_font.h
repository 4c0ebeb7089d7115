// The fonts built into the firmware, drawn through the display's font
// interface. The images and their reader belong to the store, which installs
// them into the NTCIP font table (store/builtin_fonts.h); here they only gain
// the CFontBase face that text is drawn through.
#pragma once

#include "display/fonts/font_base.h"
#include "store/builtin_fonts.h"

// A font image reader seen as a CFontBase.
template <class Image> class CImageFont : public CFontBase, public Image {
  public:
    uint8_t GetHeight() override { return Image::GetHeight(); }
    uint8_t GetCharWidth(uint32_t code) override { return Image::GetCharWidth(code); }
    int GetPixel(uint32_t code, uint32_t column, uint32_t row) override {
        return Image::GetPixel(code, column, row);
    }
    uint8_t GetCharSpacing() override { return Image::GetCharSpacing(); }
    uint8_t GetLineSpacing() override { return Image::GetLineSpacing(); }
    uint8_t GetStatus() override { return 0; }
};

// Reads a font image held in memory (the caller names it).
using CMirelFontBase = CImageFont<CBuiltinFontImage>;

// One of the 20 built-in fonts, by name.
class CMirelFont : public CImageFont<CBuiltinFont> {
  public:
    const char* GetName() override { return CBuiltinFont::GetName(); }
};
