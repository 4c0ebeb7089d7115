// Value validation: one table of rules per kind of write. A rule covers the
// rows of one column; it may first require the row's status to be one of a
// set of values (the row-state gate) and then run its own check, which may
// also write related objects (with notify and without validation).
#include "store/validate.h"

#include "runtime/console.h"
#include "store/database.h"
#include "store/objects.h"

#include <initializer_list>

using namespace obj;

namespace {

ValidationServices g_services;

// A set of small values (0..15) as a bit mask.
constexpr uint16_t S(unsigned v) {
    return uint16_t(1u << v);
}
bool in_set(uint16_t set, uint32_t v) {
    return v < 16 && (set & S(v)) != 0;
}

const uint32_t NOTIFY_NO_VALIDATE = DB_NOTIFY | DB_NO_VALIDATE; // flags 9

struct Rule;

struct Ctx {
    CDataBase& db;
    uint8_t* image;
    uint32_t offset;
    unsigned width;
    uint32_t value;       // integer writes
    const uint8_t* bytes; // string writes
    uint32_t length;
    uint32_t row;    // row of the rule's gate (table row)
    uint32_t status; // that row's status (when the rule has a gate)
    const Rule& rule;
};

typedef int (*Check)(Ctx&);

struct Rule {
    DbImage image;
    DbObject column;
    uint16_t per_row;       // column rows per table row (characters 255, blocks 63)
    const DbObject* status; // the table's status column, or null: no gate
    uint16_t allowed;       // statuses that let the write through the gate
    const char* refusal;    // console line of a gate refusal, or null
    Check check;            // null: the gate alone
};

// ---- reading and writing other objects --------------------------------------------

void put(Ctx& c, const DbObject& o, uint32_t v, uint32_t flags = NOTIFY_NO_VALIDATE) {
    SetInteger(c.db, o, v, flags);
}

void put_all_rows(Ctx& c, const DbObject& o, uint32_t v) {
    for (unsigned r = 0; r < o.rows; ++r)
        put(c, o.row(r), v);
}

bool value_used_by_other_row(Ctx& c, const DbObject& column) {
    for (unsigned r = 0; r < column.rows; ++r)
        if (r != c.row && GetInteger(c.db, column.row(r)) == c.value) return true;
    return false;
}

int colour_class(Ctx& c) {
    uint32_t module = GetInteger(c.db, halvModuleID);
    return g_services.module_colour_class ? g_services.module_colour_class(module) : 1;
}

bool colour_allowed(int cls, uint32_t v) {
    static const uint16_t kClass2 = S(0) | S(1) | S(3) | S(9);
    static const uint16_t kClass3 = 0x3FF; // 0..9
    static const uint16_t kOther = S(0) | S(1) | S(9);
    return in_set(cls == 2 ? kClass2 : cls == 3 ? kClass3 : kOther, v);
}

// ---- status transitions --------------------------------------------------------------

// Message status v (1..8): the current statuses from which it is accepted.
const uint16_t kMessageFrom[9] = {
    0,
    S(8),
    S(6),
    S(7),
    S(3),
    S(3),
    S(1) | S(2) | S(4) | S(5),
    S(2),
    S(1) | S(2) | S(4) | S(5) | S(8),
};

int message_status(Ctx& c, bool print) {
    uint32_t current = GetInteger(c.db, c.rule.column.row(c.row));
    if (current < 1 || current > 8) current = 1;
    int r = 0;
    if (c.value < 1 || c.value > 8)
        r = DB_REFUSED5;
    else if (!in_set(kMessageFrom[c.value], current))
        r = DB_REFUSED;
    if (r && print)
        console_printf("Vol MsgStatus%u error\n",
                       c.value >= 1 && c.value <= 8 ? unsigned(c.value) : 9u);
    return r;
}

int volatile_message_status(Ctx& c) {
    return message_status(c, true);
}
int changeable_message_status(Ctx& c) {
    return message_status(c, false);
}

// Font status c (0..11): the new statuses accepted from it.
const uint16_t kFontTo[12] = {
    0, S(7) | S(9) | S(10), S(7) | S(8) | S(9) | S(10), S(9), S(7) | S(8) | S(9), 0, 0, 0, 0, 0,
    0, S(7) | S(9) | S(10),
};
// Graphic status c (0..4): the new statuses accepted from it.
const uint16_t kGraphicTo[5] = {0, S(7) | S(9), S(7) | S(8) | S(9), S(9), S(7) | S(8) | S(9)};

int font_status(Ctx& c) {
    uint32_t current = GetInteger(c.db, c.rule.column.row(c.row));
    return current < 12 && in_set(kFontTo[current], c.value) ? DB_OK : DB_REFUSED;
}

int graphic_status(Ctx& c) {
    uint32_t current = GetInteger(c.db, c.rule.column.row(c.row));
    return current < 5 && in_set(kGraphicTo[current], c.value) ? DB_OK : DB_REFUSED;
}

// ---- integer checks ------------------------------------------------------------------

int climate_test_activation(Ctx& c) {
    return c.value == 4 ? DB_REFUSED : DB_OK;
}

int control_mode(Ctx& c) {
    return GetInteger(c.db, dmsControlMode) == 2 && c.value == 5 ? DB_OK : DB_REFUSED;
}

int daylight_saving(Ctx& c) {
    if (c.value == 1) return DB_REFUSED5;
    if (c.value == 20) return GetInteger(c.db, dstBeginMonth.row(0)) > 13 ? DB_REFUSED5 : DB_OK;
    put_all_rows(c, dstBeginMonth, c.value == 2 ? 14 : 15);
    return DB_OK;
}

// Only row 1 holds the rule in force: its begin month chooses between the
// table (1) and no daylight saving (14); the other rows are only stored.
int dst_begin_month(Ctx& c) {
    if (c.value < 1 || c.value > 14) return DB_REFUSED;
    if (c.row == 0) put(c, globalDaylightSaving, c.value == 14 ? 2 : 1);
    return DB_OK;
}

int shutoff_temp(Ctx& c) {
    if (c.value != 0) {
        int32_t v = int8_t(uint8_t(c.value));
        int32_t low = g_services.critical_temp_low ? g_services.critical_temp_low() : 0;
        int32_t high = g_services.critical_temp_high ? g_services.critical_temp_high() : 0;
        if (v < low || v > high) return DB_REFUSED;
    }
    put(c, halvShutOffTemp, c.value);
    return DB_OK;
}

int font_number(Ctx& c) {
    return c.status == 11 && value_used_by_other_row(c, fontNumber) ? DB_REFUSED : DB_OK;
}

bool sign_type_in(Ctx& c, std::initializer_list<uint32_t> types) {
    uint32_t t = GetInteger(c.db, dmsSignType);
    for (uint32_t x : types)
        if (t == x) return true;
    return false;
}

int font_height(Ctx& c) {
    const DbObject& limit =
        sign_type_in(c, {4, 5, 132, 133}) ? vmsCharacterHeightPixels : vmsSignHeightPixels;
    return c.value > GetInteger(c.db, limit) ? DB_REFUSED : DB_OK;
}

int font_char_spacing(Ctx& c) {
    if (!sign_type_in(c, {5, 6, 133, 134})) return DB_OK;
    return c.value > GetInteger(c.db, vmsSignWidthPixels) ? DB_REFUSED : DB_OK;
}

int character_width(Ctx& c) {
    uint32_t sign_width = GetInteger(c.db, vmsSignWidthPixels);
    uint32_t limit = sign_width;
    if (sign_type_in(c, {4, 132})) {
        trace_printf("Char Charwidth val = %d  sign width %d\n", int(c.value), int(sign_width));
        limit = GetInteger(c.db, vmsCharacterWidthPixels);
    } else {
        trace_printf("Charwidth val = %d  sign width %d\n", int(c.value), int(sign_width));
    }
    return c.value > limit ? DB_REFUSED : DB_OK;
}

int graphic_number(Ctx& c) {
    return value_used_by_other_row(c, dmsGraphicNumber) ? DB_REFUSED : DB_OK;
}

int graphic_height(Ctx& c) {
    return c.value > GetInteger(c.db, vmsSignHeightPixels) ? DB_REFUSED : DB_OK;
}
int graphic_width(Ctx& c) {
    return c.value > GetInteger(c.db, vmsSignWidthPixels) ? DB_REFUSED : DB_OK;
}

// The colour index objects and their RGB mirrors.
struct ColourPair {
    DbObject index, rgb;
};
const ColourPair kColourPairs[] = {{defaultBackground, defaultBackgroundRGB},
                                   {defaultForeground, defaultForegroundRGB}};

const ColourPair& pair_of_index(uint32_t offset) {
    return offset == defaultForeground.offset ? kColourPairs[1] : kColourPairs[0];
}
const ColourPair& pair_of_rgb(uint32_t offset) {
    return offset == defaultForegroundRGB.offset ? kColourPairs[1] : kColourPairs[0];
}

int default_colour(Ctx& c) {
    if (GetInteger(c.db, dmsColorScheme) != 3) return DB_REFUSED5;
    if (!colour_allowed(colour_class(c), c.value)) return DB_REFUSED5;
    const DbObject& rgb = pair_of_index(c.offset).rgb;
    uint8_t byte = uint8_t(c.value);
    SetString(c.db, rgb, &byte, 1, NOTIFY_NO_VALIDATE);
    return DB_OK;
}

// ---- string checks -------------------------------------------------------------------

uint32_t be16(const uint8_t* p) {
    return uint32_t(p[0]) << 8 | p[1];
}

int brightness_error(Ctx& c, uint32_t error) {
    put(c, dmsIllumBrightnessValuesError, error, DB_NOTIFY);
    return error == 2 ? DB_OK : DB_REFUSED5;
}

int brightness_table(Ctx& c) {
    if (c.length == 0) return brightness_error(c, 6); // no count byte to read
    uint32_t n = c.bytes[0];
    if (n == 0 || c.length != 6 * n + 1) return brightness_error(c, 6);
    uint32_t max = GetInteger(c.db, dmsIllumMaxPhotocellLevel);
    uint32_t previous_up = 0;
    for (uint32_t i = 0; i < n; ++i) {
        const uint8_t* entry = c.bytes + 1 + 6 * i;
        uint32_t down = be16(entry + 2), up = be16(entry + 4);
        if (i > 0 && down > previous_up + 1) return brightness_error(c, 3);
        if (down > max || up > max || down > up) return brightness_error(c, 6);
        previous_up = up;
    }
    return brightness_error(c, 2);
}

// Subtrees whose objects may not be logged by an event configuration.
const uint32_t kProtectedLogSubtrees[2][11] = {
    {1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 5},
    {1, 3, 6, 1, 4, 1, 1206, 4, 1, 1, 1},
};

bool in_protected_subtree(const uint32_t* subids, unsigned count) {
    if (count < 11) return false;
    for (const auto& prefix : kProtectedLogSubtrees) {
        bool equal = true;
        for (unsigned i = 0; i < 11 && equal; ++i)
            equal = subids[i] == prefix[i];
        if (equal) return true;
    }
    return false;
}

int oid_check(Ctx& c) {
    bool log = c.rule.column.offset == eventConfigLogOID.offset;
    uint32_t bit = log ? CDataBase::OID_CHECK_LOG : CDataBase::OID_CHECK_COMPARE;
    const DbObject status = eventConfigStatus.row(c.row);
    unsigned count = c.length / 4;
    bool refused = false;
    if (count >= 3) {
        uint32_t subids[VALIDATE_MAX_OID_SUBIDS];
        refused = count > VALIDATE_MAX_OID_SUBIDS;
        for (unsigned i = 0; i < count && !refused; ++i) {
            const uint8_t* p = c.bytes + 4 * i;
            subids[i] = uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
        }
        if (!refused && g_services.oid_lookup) refused = g_services.oid_lookup(subids, count) != 0;
        if (!refused && log) refused = in_protected_subtree(subids, count);
    }
    if (refused) {
        c.db.SetOidCheckWord(c.db.OidCheckWord() | bit);
        put(c, status, 4, DB_NOTIFY);
        return DB_REFUSED;
    }
    c.db.SetOidCheckWord(c.db.OidCheckWord() & ~bit);
    if (c.db.OidCheckWord() == 0)
        put(c, status, GetInteger(c.db, eventConfigAction.row(c.row)) == 3 ? 3 : 2, DB_NOTIFY);
    return DB_OK;
}

// Module types whose 24-bit colour has no blue.
const uint16_t kNoBlueModules[] = {1,   2,   3,   4,   5,   6,   7,   8,   11,  13,  14,
                                   15,  21,  22,  23,  24,  27,  98,  99,  100, 101, 102,
                                   103, 104, 105, 118, 126, 127, 128, 154, 169};

int colour_rgb(Ctx& c) {
    const DbObject& index = pair_of_rgb(c.offset).index;
    uint32_t scheme = GetInteger(c.db, dmsColorScheme);
    if (scheme == 4) {
        if (c.length != 3) return DB_REFUSED5;
        uint32_t module = GetInteger(c.db, halvModuleID);
        for (uint16_t m : kNoBlueModules)
            if (m == module && c.bytes[2] != 0) return DB_REFUSED5;
        return DB_OK;
    }
    if (c.length == 0) return DB_REFUSED5; // no first byte to read
    uint32_t first = c.bytes[0];
    if (scheme == 1) {
        if (first > 1) return DB_REFUSED5;
        put(c, index, first == 1 ? 9 : 0);
        return DB_OK;
    }
    if (c.length != 1) return DB_REFUSED5;
    if (scheme == 2) {
        put(c, index, first == 0 ? 0 : 9);
        return DB_OK;
    }
    if (!colour_allowed(colour_class(c), first)) return DB_REFUSED5;
    put(c, index, first);
    return DB_OK;
}

// ---- the rule tables -----------------------------------------------------------------

const DbImage V = DbImage::V;
const DbImage NV = DbImage::NV;
const uint16_t MODIFYING = S(2);
const uint16_t MODIFYING_OR_VALIDATING = S(2) | S(3);
const uint16_t FONT_EDITABLE = S(2) | S(11); // modifying or unmanaged

const Rule kIntegerRules[] = {
    {V, dmsClimateCtrlTestActivation, 1, nullptr, 0, nullptr, climate_test_activation},
    {V, dmsControlMode, 1, nullptr, 0, nullptr, control_mode},
    {V, volatileMsgCRC, 1, &volatileMsgStatus, MODIFYING_OR_VALIDATING, "Vol MsgStatus error\n",
     nullptr},
    {V, volatileMsgBeacon, 1, &volatileMsgStatus, MODIFYING, "Vol MsgBeacon error\n", nullptr},
    {V, volatileMsgPixelService, 1, &volatileMsgStatus, MODIFYING, "Vol MsgPixelSer error\n",
     nullptr},
    {V, volatileMsgRunTimePriority, 1, &volatileMsgStatus, MODIFYING, "Vol MsgRTP error\n",
     nullptr},
    {V, volatileMsgStatus, 1, nullptr, 0, nullptr, volatile_message_status},
    {NV, changeableMsgCRC, 1, &changeableMsgStatus, MODIFYING_OR_VALIDATING, nullptr, nullptr},
    {NV, changeableMsgBeacon, 1, &changeableMsgStatus, MODIFYING, nullptr, nullptr},
    {NV, changeableMsgPixelService, 1, &changeableMsgStatus, MODIFYING, nullptr, nullptr},
    {NV, changeableMsgRunTimePriority, 1, &changeableMsgStatus, MODIFYING, nullptr, nullptr},
    {NV, changeableMsgStatus, 1, nullptr, 0, nullptr, changeable_message_status},
    {NV, globalDaylightSaving, 1, nullptr, 0, nullptr, daylight_saving},
    {NV, dstBeginMonth, 1, nullptr, 0, nullptr, dst_begin_month},
    {NV, halvShutOffTemp, 1, nullptr, 0, nullptr, shutoff_temp},
    {NV, fontNumber, 1, &fontStatus, FONT_EDITABLE, nullptr, font_number},
    {NV, fontHeight, 1, &fontStatus, FONT_EDITABLE, nullptr, font_height},
    {NV, fontCharSpacing, 1, &fontStatus, FONT_EDITABLE, nullptr, font_char_spacing},
    {NV, fontLineSpacing, 1, &fontStatus, FONT_EDITABLE, nullptr, nullptr},
    {NV, fontStatus, 1, nullptr, 0, nullptr, font_status},
    {NV, characterWidth, kCharactersPerFont, &fontStatus, FONT_EDITABLE, nullptr, character_width},
    {NV, dmsGraphicNumber, 1, &dmsGraphicStatus, MODIFYING, nullptr, graphic_number},
    {NV, dmsGraphicHeight, 1, &dmsGraphicStatus, MODIFYING, nullptr, graphic_height},
    {NV, dmsGraphicWidth, 1, &dmsGraphicStatus, MODIFYING, nullptr, graphic_width},
    {NV, dmsGraphicType, 1, &dmsGraphicStatus, MODIFYING, nullptr, nullptr},
    {NV, dmsGraphicTransparentEnabled, 1, &dmsGraphicStatus, MODIFYING, nullptr, nullptr},
    {NV, dmsGraphicStatus, 1, nullptr, 0, nullptr, graphic_status},
    {NV, defaultBackground, 1, nullptr, 0, nullptr, default_colour},
    {NV, defaultForeground, 1, nullptr, 0, nullptr, default_colour},
};

const Rule kStringRules[] = {
    {V, volatileMsgMultiString, 1, &volatileMsgStatus, MODIFYING, "Vol MsgString error\n", nullptr},
    {V, volatileMsgOwner, 1, &volatileMsgStatus, MODIFYING, "Vol MsgOwner error\n", nullptr},
    {NV, changeableMsgMultiString, 1, &changeableMsgStatus, MODIFYING, nullptr, nullptr},
    {NV, changeableMsgOwner, 1, &changeableMsgStatus, MODIFYING, nullptr, nullptr},
    {NV, dmsIllumBrightnessValues, 1, nullptr, 0, nullptr, brightness_table},
    {NV, fontName, 1, &fontStatus, FONT_EDITABLE, nullptr, nullptr},
    {NV, characterBitmap, kCharactersPerFont, &fontStatus, FONT_EDITABLE, nullptr, nullptr},
    {NV, dmsGraphicName, 1, &dmsGraphicStatus, MODIFYING, nullptr, nullptr},
    {NV, dmsGraphicTransparentColor, 1, &dmsGraphicStatus, MODIFYING, nullptr, nullptr},
    {NV, dmsGraphicBlockBitmap, 63, &dmsGraphicStatus, MODIFYING, nullptr, nullptr},
    {NV, eventConfigCompareOID, 1, nullptr, 0, nullptr, oid_check},
    {NV, eventConfigLogOID, 1, nullptr, 0, nullptr, oid_check},
    {NV, defaultBackgroundRGB, 1, nullptr, 0, nullptr, colour_rgb},
    {NV, defaultForegroundRGB, 1, nullptr, 0, nullptr, colour_rgb},
};

template <size_t N>
const Rule* find_rule(const Rule (&rules)[N], bool is_volatile, uint32_t offset) {
    DbImage image = is_volatile ? V : NV;
    for (const Rule& r : rules) {
        uint32_t last = r.column.row(r.column.rows - 1u).offset;
        if (r.image == image && offset >= r.column.offset && offset <= last) return &r;
    }
    return nullptr;
}

int apply(Ctx& c) {
    const Rule& r = c.rule;
    c.row = (c.offset - r.column.offset) / r.column.width / r.per_row;
    if (r.status) {
        c.status = GetInteger(c.db, r.status->row(c.row));
        if (!in_set(r.allowed, c.status)) {
            if (r.refusal) console_printf("%s", r.refusal);
            return DB_REFUSED5;
        }
    }
    return r.check ? r.check(c) : DB_OK;
}

} // namespace

void set_validation_services(const ValidationServices& services) {
    g_services = services;
}

int CDataBase::ValidateInteger(uint32_t offset, unsigned width, uint32_t value, uint8_t* image) {
    if (!ValidatesCaller() || !image) return DB_OK;
    const Rule* rule = find_rule(kIntegerRules, IsVolatile(image), offset);
    if (!rule) return DB_OK;
    Ctx c{*this, image, offset, width, value, nullptr, 0, 0, 0, *rule};
    return apply(c);
}

int CDataBase::ValidateString(uint32_t offset, unsigned width, const void* bytes, uint32_t length,
                              uint8_t* image) {
    if (!ValidatesCaller() || !image) return DB_OK;
    const Rule* rule = find_rule(kStringRules, IsVolatile(image), offset);
    if (!rule) return DB_OK;
    Ctx c{*this, image, offset, width, 0, static_cast<const uint8_t*>(bytes), length, 0, 0, *rule};
    return apply(c);
}
