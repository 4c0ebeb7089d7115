// Font objects (1.3.6.1.4.1.1206.4.2.3.3): the font count and limits, the
// font table (20 fonts) and the character table (255 characters a font).
// A character instance is font.character; character k of font f is row
// 255 * (f - 1) + (k - 1) of the store's character columns, and an index of
// 0 or above its maximum names no instance, never a neighbouring font's row.
//
// The store's validation decides every write (the font's status gates its
// definition; the status itself moves only as the status table allows) and
// posts a status change to the display, which carries the request out.
#include "ntcip/objects/fonts_graphics.h"

#include "runtime/console.h"
#include "store/database.h"

namespace {

using namespace mibdef;

constexpr uint16_t FONTS = obj::kFontRows;
constexpr uint16_t CHARACTERS = obj::kCharactersPerFont;
constexpr uint32_t FONT_MASK = 0x80000000;
constexpr uint32_t SIGN_TYPE_VMS_CHAR = 4;
constexpr uint32_t SIGN_TYPE_PORTABLE_VMS_CHAR = 132;

// A character-matrix sign has one font, whatever was counted at start.
bool read_num_fonts(mib_request& request, uint32_t) {
    const uint32_t type = db_get(obj::dmsSignType);
    if (type != SIGN_TYPE_VMS_CHAR && type != SIGN_TYPE_PORTABLE_VMS_CHAR) return false;
    mib_answer_integer(request, 1);
    return true;
}

// The version ID always answers for the font as it is stored now (a font of
// height 0 keeps the ID it has).
bool read_version_id(mib_request&, uint32_t font) {
    TheDatabase().ComputeFontCRC(font);
    return false;
}

// A new height invalidates every glyph: the font's 255 characters are
// cleared (width 0, no bitmap).
int write_height(mib_request& request, uint32_t font) {
    const DbObject height = obj::fontHeight.row(font);
    const uint32_t flags = request.ctx.write_flags;
    const uint32_t before = db_get(height);
    const int result = db_set(height, request.ctx.set_value.integer, flags);
    if (result != DB_OK || db_get(height) == before) return result;
    trace_printf("Font %d Height changed\n", int(font));
    for (uint32_t k = 0; k < CHARACTERS; ++k) {
        db_set(obj::characterWidth.row(font * CHARACTERS + k), 0, flags);
        db_set_string(obj::characterBitmap.row(font * CHARACTERS + k), nullptr, 0, flags);
    }
    return result;
}

bool read_character_number(mib_request& request, uint32_t row) {
    mib_answer_integer(request, row % CHARACTERS + 1);
    return true;
}

constexpr mib_hooks kNumFonts = {nullptr, read_num_fonts, nullptr};
constexpr mib_hooks kVersionID = {nullptr, read_version_id, nullptr};
constexpr mib_hooks kHeight = {nullptr, nullptr, write_height};
constexpr mib_hooks kCharacterNumber = {nullptr, read_character_number, nullptr};

// A writable font column: refusals of the store are reported.
constexpr mib_variable font(uint32_t c, uint8_t type, const DbObject& o) {
    return column({2, 1, c, MIB_PLACEHOLDER}, type, o, FONTS)
        .rw()
        .mask(FONT_MASK)
        .writes(mib_write::report);
}
constexpr mib_variable character(uint32_t c, uint8_t type, const DbObject& o) {
    return column2({4, 1, c, MIB_PLACEHOLDER}, type, o, FONTS, CHARACTERS);
}

constexpr auto kRows = under(
    {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 3},
    {
        scalar({1, 0}, MIB_INTEGER, obj::numFonts).hooked(&kNumFonts),
        index_column({2, 1, 1, MIB_PLACEHOLDER}, FONTS).range(1, 255),
        font(2, MIB_INTEGER, obj::fontNumber).range(1, 255),
        font(3, MIB_OCTETSTR, obj::fontName).len(0, 64),
        font(4, MIB_INTEGER, obj::fontHeight).range(0, 255).hooked(&kHeight),
        font(5, MIB_INTEGER, obj::fontCharSpacing).range(0, 255),
        font(6, MIB_INTEGER, obj::fontLineSpacing).range(0, 255),
        column({2, 1, 7, MIB_PLACEHOLDER}, MIB_INTEGER, obj::fontVersionID, FONTS)
            .range(0, 65535)
            .hooked(&kVersionID),
        column({2, 1, 8, MIB_PLACEHOLDER}, MIB_INTEGER, obj::fontStatus, FONTS)
            .rw()
            .range(1, 11)
            .writes(mib_write::report),
        scalar({3, 0}, MIB_INTEGER, obj::maxFontCharacters),
        character(1, MIB_INTEGER, obj::characterWidth).range(1, 65535).hooked(&kCharacterNumber),
        character(2, MIB_INTEGER, obj::characterWidth)
            .rw()
            .range(0, 255)
            .mask(FONT_MASK)
            .writes(mib_write::report),
        character(3, MIB_OCTETSTR, obj::characterBitmap)
            .rw()
            .mask(FONT_MASK)
            .writes(mib_write::report),
        scalar({5, 0}, MIB_INTEGER, obj::fontMaxCharacterSize),
    });

} // namespace

const mib_table dms_font_table = table(kRows);
