// A font row (0..19) of the NTCIP font table in the object store. Every read
// goes to the store, so a font downloaded by the central system is drawn at
// once.
#pragma once

#include "display/fonts/font_base.h"

#include <cstdint>

class CNTCIPFont : public CFontBase {
  public:
    explicit CNTCIPFont(uint32_t row = 0) : row_(row) {}
    void SetRow(uint32_t row) { row_ = row; }
    uint32_t GetRow() const { return row_; }

    uint8_t GetHeight() override;
    // 0 for code 0 and codes above 255.
    uint8_t GetCharWidth(uint32_t code) override;
    int GetPixel(uint32_t code, uint32_t column, uint32_t row) override;
    uint8_t GetCharSpacing() override;
    // 0 on character- and line-matrix signs.
    uint8_t GetLineSpacing() override;
    const char* GetName() override { return nullptr; }
    uint8_t GetStatus() override;
    // The width and the bitmap in one read each.
    bool LoadGlyph(uint32_t code, uint8_t height, font_glyph& glyph) override;

  private:
    uint32_t row_;
};
