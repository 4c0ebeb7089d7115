// Sign settings kept consistent with the sign's construction: the outer
// dimensions in millimetres from the pixel counts, pitches and borders, the
// pixel and character sizes the front panel sets, the default colour scheme
// of the module type, the bits-per-colour setting, and the reset of the first
// user community and the character-matrix font when feature bit 0x20
// changes. Each runs on its caller's thread.
#include "display/display_task.h"

#include "runtime/console.h"
#include "runtime/letter_codes.h"
#include "store/database.h"
#include "store/fonts.h"
#include "store/objects.h"

namespace {

// dmsSignType values.
enum : uint32_t {
    SIGN_CHARACTER = 4,
    SIGN_LINE = 5,
    SIGN_PORTABLE_CHARACTER = 132,
};

const uint32_t NARROW_VERTICAL_PITCH = 44;
const uint32_t NARROW_VERTICAL_BORDER = 229, BORDER = 305, CHARACTER_SIGN_SIDE_BORDER = 610;

// Lines of characters plus one, for the borders between and around them.
uint32_t border_rows(uint32_t height, uint32_t character_height) {
    return character_height ? height / character_height + 1 : 2;
}

// Up to a multiple of `step` (at least 1), kept to 16 bits.
uint32_t round_up(uint32_t value, uint32_t step) {
    if (step == 0) step = 1;
    const uint64_t rounded = (uint64_t(value) + step - 1) / step * step;
    return uint32_t(rounded & 0xFFFF);
}

// The default colours of a colour scheme, by the module type's colour count.
struct colour_defaults {
    uint8_t colours_from, colours_to;
    uint32_t scheme;
    uint8_t background[3], foreground[3];
    uint32_t bytes;
};
const colour_defaults COLOUR_DEFAULTS[] = {
    {1, 2, 3, {0}, {9}, 1},                 // colorClassic
    {3, 3, 4, {0, 0, 0}, {255, 217, 0}, 3}, // color24bit
};

const uint32_t FEATURE_SPECIAL_GLYPHS = 0x20; // halvSpecialFeatureSet
const char FIRST_USER_COMMUNITY[] = "meadow";
const char* const CHARACTER_MATRIX_FONT = "FW07X5_1_NEMA4.FNT";

} // namespace

void CDisplay::UpdateSignDimensions() {
    const uint32_t type = db_get(obj::dmsSignType);
    const bool character_or_line = type == SIGN_CHARACTER || type == SIGN_LINE;
    const uint32_t pv = db_get(obj::vmsVerticalPitch), ph = db_get(obj::vmsHorizontalPitch);
    uint32_t bv = BORDER, bh = BORDER;
    if (character_or_line) {
        bv = pv == NARROW_VERTICAL_PITCH ? NARROW_VERTICAL_BORDER : BORDER;
        bh = CHARACTER_SIGN_SIDE_BORDER;
    }
    db_set(obj::dmsVerticalBorder, bv, DB_NOTIFY);
    db_set(obj::dmsHorizontalBorder, bh, DB_NOTIFY);

    const uint32_t h = db_get(obj::vmsSignHeightPixels), w = db_get(obj::vmsSignWidthPixels);
    const uint32_t ch = db_get(obj::vmsCharacterHeightPixels);
    const uint32_t cw = db_get(obj::vmsCharacterWidthPixels);
    uint32_t width = ph * w + 2 * bh, height = pv * h + 2 * bv;
    if (character_or_line) height = pv * h + bv * border_rows(h, ch);
    if (type == SIGN_CHARACTER) {
        const uint32_t gaps = cw ? (w / cw) * 2 - 2 : 2; // two columns between characters
        width = ph * (w + gaps) + 2 * bh;
    }
    db_set(obj::dmsSignWidth, width, DB_NOTIFY);
    db_set(obj::dmsSignHeight, height, DB_NOTIFY);
}

void CDisplay::SetSignSize(uint32_t module_type, uint32_t height, uint32_t width,
                           uint32_t character_height, uint32_t character_width) {
    const uint32_t type = db_get(obj::dmsSignType);
    uint32_t ch = 0, cw = 0;
    if (type == SIGN_LINE) ch = character_height;
    if (type == SIGN_CHARACTER) {
        ch = character_height;
        cw = character_width;
    }
    db_set(obj::vmsCharacterHeightPixels, ch, DB_NOTIFY);
    db_set(obj::vmsCharacterWidthPixels, cw, DB_NOTIFY);
    db_set(obj::halvModuleID, module_type, DB_NOTIFY);
    db_set(obj::vmsSignHeightPixels, round_up(height, character_height), DB_NOTIFY);
    db_set(obj::vmsSignWidthPixels, round_up(width, character_width), DB_NOTIFY);
}

void CDisplay::ReconfigureColor() {
    console_printf("reconfigure the color settings\n");
    const uint8_t colours = find_module_type(db_get(obj::halvModuleID)).colour_class;
    for (const colour_defaults& d : COLOUR_DEFAULTS) {
        if (colours < d.colours_from || colours > d.colours_to) continue;
        if (db_get(obj::dmsColorScheme) == d.scheme) return;
        db_set(obj::dmsColorScheme, d.scheme, DB_NOTIFY);
        db_set_string(obj::defaultBackgroundRGB, d.background, d.bytes, DB_NOTIFY);
        db_set_string(obj::defaultForegroundRGB, d.foreground, d.bytes, DB_NOTIFY);
        return;
    }
}

bool CDisplay::CharacterMatrixSign() {
    const uint32_t type = db_get(obj::dmsSignType);
    return type == SIGN_CHARACTER || type == SIGN_PORTABLE_CHARACTER;
}

void CDisplay::LoadCharacterMatrixFont() {
    display_guard guard(lock_);
    LoadFontFile(TheDatabase(), CHARACTER_MATRIX_FONT, 0);
}

void CDisplay::SetBitsPerColor(uint8_t bits) {
    bits_per_color_ = bits;
    db_set(obj::halvObj2_23, bits, 0);
}

void CDisplay::ResetCommunityAndFonts() {
    const uint32_t feature = db_get(obj::halvSpecialFeatureSet) & FEATURE_SPECIAL_GLYPHS;
    if (feature == community_feature_) return;
    PostLetter(LETTER_DISPLAY_STOP);
    if (CharacterMatrixSign()) LoadCharacterMatrixFont();
    db_set_text(obj::communityNameUser.row(0), FIRST_USER_COMMUNITY, DB_NOTIFY);
    db_set(obj::communityNameAccessMask.row(0), feature ? 0xFFFFFFFFu : 0u, DB_NOTIFY);
    PostLetter(LETTER_DISPLAY_START);
    community_feature_ = feature;
}

int CDisplay::ClimateQuery(CDisplay* display, int32_t temperature) {
    (void)display;
    (void)temperature;
    return 0;
}
