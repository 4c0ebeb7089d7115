// Reading a built-in font image, and inflating one from the built-in table.
#include "store/builtin_fonts.h"

#include <cstring>
#include <zlib.h>

int CBuiltinFontImage::Bind(const uint8_t* image, size_t length) {
    Unbind();
    if (!image || length < fnt_file::GLYPHS) return 0;
    // The offsets are 16-bit: an image whose glyphs exceed that, or whose
    // glyph bytes run past its end, is refused.
    uint32_t total = 0;
    for (uint32_t code = 0; code < fnt_file::CODES; ++code)
        total += image[fnt_file::COUNTS + code];
    if (total > 0xFFFF || fnt_file::GLYPHS + total > length) return 0;
    image_ = image;
    header_ = image + fnt_file::PREFIX_BYTES;
    glyphs_ = image + fnt_file::GLYPHS;
    offsets_[0] = 0;
    for (uint32_t k = 1; k <= fnt_file::CODES; ++k)
        offsets_[k] = uint16_t(offsets_[k - 1] + image[fnt_file::COUNTS + k - 1]);
    return 1;
}

void CBuiltinFontImage::Unbind() {
    image_ = header_ = glyphs_ = nullptr;
    std::memset(offsets_, 0, sizeof offsets_);
}

uint8_t CBuiltinFontImage::GetHeight() const {
    return image_ ? image_[fnt_file::HEIGHT] : 0;
}
uint8_t CBuiltinFontImage::GetLineSpacing() const {
    return image_ ? image_[fnt_file::LINE_SPACING] : 0;
}
uint8_t CBuiltinFontImage::GetCharSpacing() const {
    return image_ ? image_[fnt_file::CHAR_SPACING] : 0;
}

uint32_t CBuiltinFontImage::BytesPerColumn() const {
    return image_ ? (image_[fnt_file::HEIGHT] + 7u) / 8u : 0;
}

uint8_t CBuiltinFontImage::GetCharWidth(uint32_t code) const {
    uint32_t per_column = BytesPerColumn();
    if (per_column == 0 || code >= fnt_file::CODES) return 0;
    return uint8_t(image_[fnt_file::COUNTS + code] / per_column);
}

int CBuiltinFontImage::GetPixel(uint32_t code, uint32_t column, uint32_t row) const {
    if (column >= GetCharWidth(code) || row >= GetHeight()) return 0;
    const uint8_t* glyph = glyphs_ + offsets_[code];
    return (glyph[column * BytesPerColumn() + row / 8] >> (row % 8)) & 1;
}

uint32_t builtin_font_inflate(uint32_t row, uint8_t* out, uint32_t capacity) {
    if (row >= BUILTIN_FONT_COUNT || !out) return 0;
    const builtin_font& font = builtin_font_table[row];
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return 0;
    z.next_in = const_cast<Bytef*>(font.stream);
    z.avail_in = font.compressed_length;
    z.next_out = out;
    z.avail_out = capacity;
    int result = inflate(&z, Z_FINISH);
    uint32_t length = uint32_t(z.total_out);
    inflateEnd(&z);
    return result == Z_STREAM_END ? length : 0;
}
