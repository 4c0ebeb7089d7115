// The fonts built into the firmware: the factory font images that the store
// installs into the NTCIP font table and that the display draws through its
// font interface (display/fonts/mirel_font.h). Each is kept as a
// zlib-compressed font image and inflated into a block of the general-purpose
// buffer pool while it is in use.
//
// Font image (offsets from the start of the inflated image):
//   0    144  prefix: signature and description (not read)
//   144  16   font name, NUL-padded
//   160  1    height in pixels
//   161  1    line spacing
//   162  1    character spacing
//   163  13   not read
//   176  256  glyph byte count of each code 0..255 (0: no glyph)
//   432  ...  glyph bitmaps in code order; a glyph is column-major, each column
//             (height + 7) / 8 bytes, bit 0 of the first byte the top row.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fnt_file {
const uint32_t PREFIX_BYTES = 144;
const uint32_t NAME = 144;
const uint32_t NAME_BYTES = 16;
const uint32_t HEIGHT = 160;
const uint32_t LINE_SPACING = 161;
const uint32_t CHAR_SPACING = 162;
const uint32_t COUNTS = 176;
const uint32_t GLYPHS = 432;
const uint32_t CODES = 256;
} // namespace fnt_file

// Reads a font image held in memory.
class CBuiltinFontImage {
  public:
    uint8_t GetHeight() const;
    // Width in pixels of a code's glyph; 0 when it has none.
    uint8_t GetCharWidth(uint32_t code) const;
    // 1 when pixel (column, row) of the code's glyph is lit, else 0.
    int GetPixel(uint32_t code, uint32_t column, uint32_t row) const;
    uint8_t GetCharSpacing() const;
    uint8_t GetLineSpacing() const;

    // Binds an image of `length` bytes (not copied). 1 bound; 0 when the
    // image is shorter than its header and glyph counts say (nothing bound).
    int Bind(const uint8_t* image, size_t length);
    void Unbind();
    bool IsBound() const { return image_ != nullptr; }
    const uint8_t* Image() const { return image_; }
    // Bytes of one glyph column.
    uint32_t BytesPerColumn() const;

  protected:
    const uint8_t* image_ = nullptr;
    const uint8_t* header_ = nullptr;
    const uint8_t* glyphs_ = nullptr;
    uint16_t offsets_[fnt_file::CODES + 1] = {};
};

// One of the 20 built-in fonts, by name, inflated into a buffer-pool block.
class CBuiltinFont : public CBuiltinFontImage {
  public:
    static const uint32_t NAME_CHARS = 50;
    static const uint32_t BLOCK_BYTES = 256 * 1024;

    CBuiltinFont();
    ~CBuiltinFont();
    CBuiltinFont(const CBuiltinFont&) = delete;
    CBuiltinFont& operator=(const CBuiltinFont&) = delete;

    // 1 loaded, 0 refused (null name or 50 characters or more, no free block,
    // inflate error). A name not in the table loads row 0 under that name.
    int Load(const char* name);
    // Returns the block to the buffer pool.
    void Release();
    const char* GetName() const { return name_; }

    // The first built-in row whose name equals `name` exactly: 1 found.
    static int FindBuiltin(const char* name, uint32_t* row);

  private:
    char name_[NAME_CHARS] = {};
    uint8_t* block_ = nullptr;
};

// The built-in table (generated at build time from display/fonts/glyphs/).
struct builtin_font {
    const char* name;
    const uint8_t* stream; // zlib stream of the font image
    uint32_t compressed_length;
};
const uint32_t BUILTIN_FONT_COUNT = 20;
extern const builtin_font builtin_font_table[BUILTIN_FONT_COUNT];

// Inflates a built-in row's image into `out` (at most `capacity` bytes).
// Returns the image length, or 0 on an inflate error or a bad row.
uint32_t builtin_font_inflate(uint32_t row, uint8_t* out, uint32_t capacity);
