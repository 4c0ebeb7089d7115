#include "display/fonts/ntcip_font.h"

#include "store/database.h"
#include "store/objects.h"

#include <cstring>

namespace {

const uint32_t FONT_ROWS = 20;
const uint32_t CODES_PER_ROW = 255;

// Character-matrix (4, 132) and line-matrix (5, 133) signs space their lines
// by the matrix, not by the font.
bool matrix_sign(uint32_t type) {
    return type == 4 || type == 5 || type == 132 || type == 133;
}

} // namespace

uint8_t CNTCIPFont::GetHeight() {
    return row_ < FONT_ROWS ? uint8_t(db_get(obj::fontHeight.row(row_))) : 0;
}

uint8_t CNTCIPFont::GetCharWidth(uint32_t code) {
    if (code == 0 || code > 255 || row_ >= FONT_ROWS) return 0;
    return uint8_t(db_get(obj::characterWidth.row(CODES_PER_ROW * row_ + code - 1)));
}

// The bitmap is row-major and packed, most significant bit first: pixel
// (column, row) is bit row * width + column. Bits beyond the stored bytes and
// columns beyond the width read as unlit. The byte is read under the store
// lock so that a concurrent write cannot free the bitmap under the reader.
int CNTCIPFont::GetPixel(uint32_t code, uint32_t column, uint32_t row) {
    uint32_t width = GetCharWidth(code);
    if (width == 0 || column >= width) return 0;
    uint64_t bit = uint64_t(row) * width + column;
    CDataBase& store = TheDatabase();
    store.Lock();
    uint32_t length = 0;
    const char* bits =
        db_get_string(obj::characterBitmap.row(CODES_PER_ROW * row_ + code - 1), &length);
    int lit = bit / 8 < length ? (uint8_t(bits[bit / 8]) >> (7 - bit % 8)) & 1 : 0;
    store.Unlock();
    return lit;
}

bool CNTCIPFont::LoadGlyph(uint32_t code, uint8_t height, font_glyph& glyph) {
    glyph.width = GetCharWidth(code);
    glyph.height = height;
    uint32_t bytes = (uint32_t(glyph.width) * height + 7) / 8;
    if (bytes > font_glyph::MAX_BYTES) return false;
    std::memset(glyph.bits, 0, bytes);
    if (glyph.width == 0) return true;
    // Bits beyond the stored bytes stay unlit.
    db_get_string_copy(obj::characterBitmap.row(CODES_PER_ROW * row_ + code - 1), glyph.bits,
                       bytes + 1);
    return true;
}

uint8_t CNTCIPFont::GetCharSpacing() {
    return row_ < FONT_ROWS ? uint8_t(db_get(obj::fontCharSpacing.row(row_))) : 0;
}

uint8_t CNTCIPFont::GetLineSpacing() {
    if (row_ >= FONT_ROWS || matrix_sign(db_get(obj::dmsSignType))) return 0;
    return uint8_t(db_get(obj::fontLineSpacing.row(row_)));
}

uint8_t CNTCIPFont::GetStatus() {
    return row_ < FONT_ROWS ? uint8_t(db_get(obj::fontStatus.row(row_))) : 0;
}
