// The NTCIP font table filled from the built-in fonts, and the fonts' version
// identifiers.
#include "store/fonts.h"

#include "runtime/console.h"
#include "runtime/utilities.h"
#include "store/builtin_fonts.h"
#include "store/database.h"
#include "store/objects.h"

#include <cstring>

namespace {

const uint32_t FONT_ROWS = CDataBase::FONT_ROWS;
const uint32_t CODES = 255; // characters 1..255 of a font row
const uint32_t GLYPH_BUFFER_BYTES = 100;
const uint32_t SPECIAL_GLYPHS_FEATURE = 0x20;

const char* const BUILTIN_FILES[FONT_ROWS] = {
    "07X04_1_CP1252.FNT", "07X06_2_CP1252.FNT", "FW11X7_2_CP1252.FNT", "FW07X5_1_NEMA4.FNT",
    "08X04_1_CP1252.FNT", "08X06_2_CP1252.FNT", "FW14X8_2_CP1252.FNT", "07GRAPH.FNT",
    "11X07_2.FNT",        "11X09_3.FNT",        "14X08_2.FNT",         "14X10_3.FNT",
    "16X08_2.FNT",        "16X10_3.FNT",        "09X06_2_CP1252.FNT",  "09X05_1_CP1252.FNT",
    "09X08_3_CP1252.FNT", "07X08_3_CP1252.FNT", "08X08_3_CP1252.FNT",  "24x15_3_CP1252.FNT",
};

// The glyphs that replace characters 97..106 of rows 0 and 1 when the special
// glyph feature is on: width, then as many bitmap bytes as the width.
struct SpecialGlyph {
    uint8_t width;
    uint8_t bits[6];
};
const SpecialGlyph SPECIAL_GLYPHS[2][10] = {
    {{5, {0x01, 0x05, 0xF1, 0x10, 0x00}},
     {5, {0x01, 0x11, 0xF4, 0x10, 0x00}},
     {5, {0x23, 0xAA, 0x42, 0x10, 0x00}},
     {5, {0x01, 0x08, 0x4A, 0xB8, 0x80}},
     {5, {0x03, 0xC6, 0x54, 0xC0, 0x00}},
     {5, {0x00, 0x65, 0x4C, 0x78, 0x00}},
     {5, {0x04, 0x12, 0x51, 0xBC, 0x00}},
     {5, {0x07, 0xB1, 0x49, 0x04, 0x00}},
     {4, {0x4A, 0x40, 0x00, 0x00}},
     {5, {0x22, 0xA3, 0x15, 0x10, 0x00}}},
    {{6, {0x00, 0x41, 0xBF, 0xFC, 0x61, 0x00}},
     {6, {0x00, 0x86, 0x3F, 0xFD, 0x82, 0x00}},
     {6, {0x31, 0xEF, 0xCC, 0x30, 0xC3, 0x00}},
     {6, {0x30, 0xC3, 0x0C, 0xFD, 0xE3, 0x00}},
     {6, {0x3C, 0x71, 0xCD, 0x63, 0x08, 0x00}},
     {6, {0x04, 0x31, 0xAC, 0xE3, 0x8F, 0x00}},
     {6, {0x83, 0x06, 0x0D, 0x1C, 0x73, 0xC0}},
     {6, {0xF3, 0x8E, 0x2C, 0x18, 0x30, 0x40}},
     {4, {0x4A, 0x40, 0x00, 0x00}},
     {5, {0x22, 0xA3, 0x15, 0x10, 0x00}}},
};
const uint32_t FIRST_SPECIAL = 97;

// A font load's writes are not validated (the font's status rules would
// refuse them), each on its own: another thread's writes meanwhile still are.
const uint32_t LOAD_FLAGS = DB_NOTIFY | DB_NO_VALIDATE;

DbObject char_width(uint32_t row, uint32_t code) {
    return obj::characterWidth.row(CODES * row + code - 1);
}
DbObject char_bitmap(uint32_t row, uint32_t code) {
    return obj::characterBitmap.row(CODES * row + code - 1);
}

// Character c of the font as a packed row-major bitmap (most significant bit
// first). Glyphs of more than 800 pixels do not fit the glyph buffer and are
// stored empty (no built-in glyph comes near: the largest has 504 pixels).
void install_character(CDataBase& store, const CBuiltinFontImage& font, uint32_t row,
                       uint32_t code) {
    uint32_t w = font.GetCharWidth(code), h = font.GetHeight();
    SetInteger(store, char_width(row, code), w, LOAD_FLAGS);
    uint32_t bytes = (w * h + 7) / 8;
    if (w == 0 || bytes > GLYPH_BUFFER_BYTES) {
        SetString(store, char_bitmap(row, code), nullptr, 0, LOAD_FLAGS);
        return;
    }
    uint8_t glyph[GLYPH_BUFFER_BYTES] = {};
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            uint32_t bit = y * w + x;
            if (font.GetPixel(code, x, y)) glyph[bit / 8] |= uint8_t(0x80u >> (bit % 8));
        }
    }
    SetString(store, char_bitmap(row, code), glyph, bytes, LOAD_FLAGS);
}

void install_special_glyphs(CDataBase& store, uint32_t row) {
    for (uint32_t i = 0; i < 10; ++i) {
        const SpecialGlyph& g = SPECIAL_GLYPHS[row][i];
        SetString(store, char_bitmap(row, FIRST_SPECIAL + i), g.bits, g.width, LOAD_FLAGS);
        SetInteger(store, char_width(row, FIRST_SPECIAL + i), g.width, LOAD_FLAGS);
    }
}

} // namespace

int LoadFontFile(CDataBase& store, const char* name, uint32_t row) {
    if (row >= FONT_ROWS) return 0;
    CBuiltinFont font;
    if (!font.Load(name)) return 0;
    SetInteger(store, obj::fontNumber.row(row), row + 1, LOAD_FLAGS);
    SetInteger(store, obj::fontHeight.row(row), font.GetHeight(), LOAD_FLAGS);
    SetInteger(store, obj::fontCharSpacing.row(row), font.GetCharSpacing(), LOAD_FLAGS);
    SetInteger(store, obj::fontLineSpacing.row(row), font.GetLineSpacing(), LOAD_FLAGS);
    SetString(store, obj::fontName.row(row), font.GetName(), uint32_t(std::strlen(font.GetName())),
              LOAD_FLAGS);
    for (uint32_t code = 1; code <= CODES; ++code)
        install_character(store, font, row, code);
    if ((GetInteger(store, obj::halvSpecialFeatureSet) & SPECIAL_GLYPHS_FEATURE) && row <= 1)
        install_special_glyphs(store, row);
    store.ComputeFontCRC(row);
    font.Release();
    return 1;
}

void LoadBuiltInFonts(CDataBase& store) {
    for (uint32_t row = 0; row < FONT_ROWS; ++row)
        LoadFontFile(store, BUILTIN_FILES[row], row);
}

void InstallDefaultFonts(CDataBase& store) {
    uint32_t type = GetInteger(store, obj::dmsSignType);
    if (type == 4 || type == 132) {
        SetInteger(store, obj::numFonts, 1, DB_NOTIFY);
        LoadFontFile(store, "FW07X5_1_NEMA4.FNT", 0);
        return;
    }
    console_printf("#1 QK Series\n");
    if (store.IsFlashMode()) {
        console_printf("#1 LoadFont\n");
        LoadBuiltInFonts(store);
    }
}

void FontNop(CDataBase&, uint32_t) {}

namespace {

void crc_add(crc16_state& crc, uint32_t value, uint32_t bytes) {
    for (uint32_t i = bytes; i-- > 0;) {
        uint8_t byte = uint8_t(value >> (8 * i));
        crc16_update(&crc, &byte, 1);
    }
}

// A length or quantity as the octet encoding rules write it: below 128 one
// byte; else 0x80 | the count of the big-endian bytes that follow.
void crc_add_length(crc16_state& crc, uint32_t length) {
    if (length < 0x80) return crc_add(crc, length, 1);
    uint32_t bytes = length > 0xFFFF ? 3 : length > 0xFF ? 2 : 1;
    crc_add(crc, 0x80 | bytes, 1);
    crc_add(crc, length, bytes);
}

// A SEQUENCE OF's quantity: its own length (one byte), then the count in
// as few big-endian bytes as it takes (at least one).
void crc_add_quantity(crc16_state& crc, uint32_t count) {
    uint32_t bytes = count > 0xFFFF ? 3 : count > 0xFF ? 2 : 1;
    crc_add(crc, bytes, 1);
    crc_add(crc, count, bytes);
}

} // namespace

// The version ID as NTCIP 1203 defines it: the CRC-16 of the font's
// information in the octet encoding rules, complemented and byte-swapped:
//   fontNumber, fontHeight, fontCharSpacing, fontLineSpacing (1 byte each),
//   the quantity of defined characters (width not 0), then for each of them
//   in ascending order characterNumber (2 bytes), characterWidth (1 byte) and
//   characterBitmap (its length, then its bytes).
void CDataBase::ComputeFontCRC(unsigned row) {
    if (row >= FONT_ROWS || GetInteger(*this, obj::fontHeight.row(row)) == 0) return;
    crc16_state crc{};
    crc16_init(&crc, 0xFFFF);
    const DbObject header[] = {obj::fontNumber, obj::fontHeight, obj::fontCharSpacing,
                               obj::fontLineSpacing};
    for (const DbObject& o : header)
        crc_add(crc, GetInteger(*this, o.row(row)), 1);
    uint32_t defined = 0;
    for (uint32_t code = 1; code <= CODES; ++code)
        defined += GetInteger(*this, char_width(row, code)) != 0 ? 1 : 0;
    crc_add_quantity(crc, defined);
    for (uint32_t code = 1; code <= CODES; ++code) {
        uint32_t width = GetInteger(*this, char_width(row, code));
        if (width == 0) continue;
        crc_add(crc, code, 2);
        crc_add(crc, width, 1);
        Lock();
        uint32_t length = 0;
        const char* bytes = GetString(*this, char_bitmap(row, code), &length);
        crc_add_length(crc, length);
        if (length) crc16_update(&crc, bytes, length);
        Unlock();
    }
    uint16_t id = 0xFFFF;
    crc16_get(&crc, &id, CRC16_COMPLEMENT | CRC16_SWAP);
    crc16_finish(&crc);
    SetInteger(*this, obj::fontVersionID.row(row), id, DB_NOTIFY);
}

// No operation of this system raises a font's change count (FontNop is
// empty), so in practice there is nothing to do here.
void CDataBase::FontChangeService() {
    static uint32_t seen[FONT_ROWS];
    for (uint32_t row = 0; row < FONT_ROWS; ++row) {
        uint32_t& count = FontChangeCount(row);
        if (count == 0) continue;
        if (GetInteger(*this, obj::fontStatus.row(row)) == 11 && count == seen[row]) {
            ComputeFontCRC(row);
            count = 0;
        }
        seen[row] = count;
    }
}
