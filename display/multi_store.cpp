// The object-store side of MULTI: the default attributes, the sign's
// geometry and the font and graphic tables as the parser and its tags read them.
#include "display/multi_parser.h"

#include "platform/monitor/monitor.h"
#include "store/database.h"
#include "store/objects.h"

#include <cstdio>
#include <cstring>

namespace {

// Module width and colour class of the display module types (halvModuleID);
// any other id is the default type: 5-pixel modules, monochrome.
struct module_class {
    uint8_t id;
    uint8_t width;
    uint8_t colour_class;
};
const module_class module_classes[] = {
    {28, 8, 1},  {30, 16, 1}, {31, 16, 1}, {32, 8, 1},  {34, 8, 1},  {36, 8, 1}, {38, 8, 1},
    {40, 8, 1},  {42, 8, 1},  {44, 8, 1},  {46, 8, 1},  {48, 8, 1},  {50, 8, 1}, {52, 8, 1},
    {54, 8, 1},  {55, 8, 1},  {56, 8, 1},  {57, 8, 1},  {58, 8, 2},  {60, 8, 2}, {62, 8, 2},
    {64, 32, 2}, {65, 32, 2}, {66, 8, 2},  {68, 8, 2},  {72, 8, 3},  {76, 8, 3}, {78, 8, 3},
    {80, 8, 3},  {82, 8, 3},  {86, 16, 3}, {90, 16, 3}, {92, 16, 3},
};

void module_of(uint32_t id, uint32_t& width, uint32_t& colour_class) {
    width = 5;
    colour_class = 1;
    for (const auto& m : module_classes) {
        if (m.id == id) {
            width = m.width;
            colour_class = m.colour_class;
            return;
        }
    }
}

// First three bytes of a colour string and its length (at most 3).
void read_colour_bytes(const DbObject& object, uint8_t* rgb, uint8_t& length) {
    char bytes[4] = {};
    uint32_t full = 0;
    db_get_string_copy(object, bytes, sizeof(bytes), &full);
    std::memcpy(rgb, bytes, 3);
    length = uint8_t(full > 3 ? 3 : full);
}

void (*output_hook)(uint32_t, bool) = nullptr;

class CStoreMultiSource : public CMultiSource {
  public:
    void ReadSign(multi_sign& sign) override {
        sign.width = db_get(obj::vmsSignWidthPixels);
        sign.height = db_get(obj::vmsSignHeightPixels);
        sign.char_width = db_get(obj::vmsCharacterWidthPixels);
        sign.char_height = db_get(obj::vmsCharacterHeightPixels);
        sign.sign_type = db_get(obj::dmsSignType);
        sign.module_id = db_get(obj::halvModuleID);
        sign.special_features = db_get(obj::halvSpecialFeatureSet);
        module_of(sign.module_id, sign.module_width, sign.colour_class);
    }
    void LoadDefaults(message_defaults& defaults) override { defaults.Load(); }
    bool FindFont(uint32_t number, multi_font_row& row) override {
        for (uint32_t r = 0; r < obj::fontNumber.rows; ++r) {
            if (db_get(obj::fontNumber.row(r)) != number) continue;
            row.row = r;
            row.version_id = uint16_t(db_get(obj::fontVersionID.row(r)));
            row.status = uint8_t(db_get(obj::fontStatus.row(r)));
            row.line_spacing = uint8_t(db_get(obj::fontLineSpacing.row(r)));
            return true;
        }
        return false;
    }
    bool FindGraphic(uint32_t number, multi_graphic_row& row) override {
        for (uint32_t r = 0; r < obj::dmsGraphicNumber.rows; ++r) {
            if (db_get(obj::dmsGraphicNumber.row(r)) != number) continue;
            row.id = uint16_t(db_get(obj::dmsGraphicID.row(r)));
            row.status = uint8_t(db_get(obj::dmsGraphicStatus.row(r)));
            row.width = db_get(obj::dmsGraphicWidth.row(r));
            row.height = db_get(obj::dmsGraphicHeight.row(r));
            return true;
        }
        return false;
    }
    int32_t Temperature(multi_temperature which) override {
        static const DbObject objects[] = {obj::tempMinCtrlCabinet, obj::tempMaxCtrlCabinet,
                                           obj::tempMinSignHousing, obj::tempMaxSignHousing};
        return db_get_signed(objects[which]);
    }
    bool FindBitmap(const char* name, uint32_t length, char* path, uint32_t size) override {
        static const char* const prefixes[] = {"", "Bitmaps/"};
        for (const char* prefix : prefixes) {
            int n = std::snprintf(path, size, "%s%.*s", prefix, int(length), name);
            if (n < 0 || uint32_t(n) >= size) return false;
            if (mon_tfsstat(path)) return true;
        }
        return false;
    }
    void SetOutput(uint32_t number, bool on) override {
        if (output_hook) output_hook(number, on);
    }
    uint32_t SpeedDetectors() override { return obj::halvObj5_10_1_2.rows; }
};

uint32_t default_colour_rgb15(const DbObject& object) {
    uint8_t rgb[3];
    uint8_t length;
    read_colour_bytes(object, rgb, length);
    if (db_get(obj::dmsColorScheme) == 4) return multi_rgb_to_rgb15(rgb[0], rgb[1], rgb[2]);
    return multi_color_to_rgb15(rgb[0]);
}

} // namespace

CMultiSource& multi_store_source() {
    static CStoreMultiSource source;
    return source;
}

void multi_set_output_hook(void (*hook)(uint32_t number, bool on)) {
    output_hook = hook;
}

void message_defaults::Load() {
    flash_on = uint8_t(db_get(obj::defaultFlashOn));
    flash_off = uint8_t(db_get(obj::defaultFlashOff));
    font = uint8_t(db_get(obj::defaultFont));
    justification_line = uint8_t(db_get(obj::defaultJustificationLine));
    justification_page = uint8_t(db_get(obj::defaultJustificationPage));
    page_on = uint8_t(db_get(obj::defaultPageOnTime));
    page_off = uint8_t(db_get(obj::defaultPageOffTime));
    read_colour_bytes(obj::defaultForegroundRGB, foreground_rgb, foreground_rgb_length);
    read_colour_bytes(obj::defaultBackgroundRGB, background_rgb, background_rgb_length);
    ConvertColour(db_get(obj::dmsColorScheme));
}

uint32_t multi_default_background_rgb15() {
    return default_colour_rgb15(obj::defaultBackgroundRGB);
}

uint32_t multi_default_foreground_rgb15() {
    return default_colour_rgb15(obj::defaultForegroundRGB);
}
