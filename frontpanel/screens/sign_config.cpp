// The front panel's sign configuration screens: see sign_config.h.
#include "frontpanel/screens/sign_config.h"

#include "display/display_entries.h"
#include "display/display_task.h"
#include "display/module_types.h"
#include "display/render.h"
#include "frontpanel/lcd.h"
#include "frontpanel/manager.h"
#include "frontpanel/services.h"
#include "store/database.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

// --- what the screens read ------------------------------------------------------------------

face_geometry primary_face_geometry() {
    CDisplay& display = TheDisplay();
    if (display.FaceCount() == 0) return {0, 0, 0};
    const face_config& face = display.FaceConfig(0);
    return {face.width, face.module_width, face.line_count};
}

uint32_t modules_across(const face_geometry& face) {
    return face.module_width == 0 ? 0 : face.width / face.module_width;
}

bool list_continues_on_second_entry(wizard_step& step, uint32_t* index) {
    if (step.selected != 1) return false;
    *index = step.index + 1u;
    return true;
}

uint32_t line_height_in_modules(uint32_t height, uint32_t module_height) {
    if (module_height == 0) return height;
    return (height + module_height - 1) / module_height * module_height;
}

namespace {

const module_type_record& current_module() {
    return find_module_type(db_get(obj::halvModuleID));
}

// --- a list shown six a page ------------------------------------------------------------------

const uint8_t FIRST_ROW = 2;
const uint8_t FEATURE_SCROLL_X = 232;

} // namespace

void CLCD_PagedRows::OnEnter(CLCD_Manager&) {
    page_ = 0;
    rows_shown_ = 0;
}

uint8_t CLCD_PagedRows::PageCount() const {
    size_t count = EntryCount();
    return uint8_t(count == 0 ? 1 : (count + ROWS_PER_PAGE - 1) / ROWS_PER_PAGE);
}

void CLCD_PagedRows::Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) {
    bool french = manager.French();
    if (phase == DRAW_FULL) lcd.Print(1, LCD_CENTRE, "%s", Title(french));
    if (phase != DRAW_FULL && phase != DRAW_PARTIAL) return;
    rows_shown_ = 0;
    for (uint8_t i = 0; i < ROWS_PER_PAGE; ++i) {
        uint8_t row = uint8_t(FIRST_ROW + i);
        size_t index = size_t(page_) * ROWS_PER_PAGE + i;
        if (index >= EntryCount()) {
            lcd.ClearLine(row);
            continue;
        }
        char text[LCD_COLUMNS + 1] = "";
        const char* mark = "";
        Entry(index, french, text, sizeof text, &mark);
        lcd.PrintAt(row, 1, LCD_LEFT, "%d) %s", i + 1, text);
        if (mark[0]) lcd.Print(row, LCD_RIGHT, "%s", mark);
        ++rows_shown_;
    }
    if (scroll_marks_)
        draw_scroll_marks_at(lcd, FEATURE_SCROLL_X, page_ > 0, page_ + 1 < PageCount());
}

bool CLCD_PagedRows::OnKey(CLCD_Manager& manager, uint16_t* key) {
    uint16_t code = key_event_code(*key);
    if (code >= '1' && code < '1' + ROWS_PER_PAGE) {
        uint8_t digit = uint8_t(code - '0');
        // A digit naming no shown row is swallowed.
        if (digit <= rows_shown_) Pick(manager, size_t(page_) * ROWS_PER_PAGE + digit - 1);
        return true;
    }
    if (code == KEY_UP || code == KEY_DOWN) {
        if (code == KEY_UP && page_ > 0)
            --page_;
        else if (code == KEY_DOWN && page_ + 1 < PageCount())
            ++page_;
        manager.RequestRedraw(DRAW_PARTIAL);
        return true;
    }
    return false;
}

// --- module type ------------------------------------------------------------------------------

size_t CLCD_ModuleType::EntryCount() const {
    return installed_module_type_count();
}

void CLCD_ModuleType::Entry(size_t index, bool, char* text, size_t size, const char**) {
    std::snprintf(text, size, "%s", installed_module_types()[index].model_name);
}

void CLCD_ModuleType::Pick(CLCD_Manager& manager, size_t index) {
    db_set(obj::halvModuleID, installed_module_types()[index].id, DB_NOTIFY);
    manager.ActivateMenu(MENU_PARENT, this, true);
}

void CLCD_ModuleType::DrawSuffix(CLCD_Manager&, CLCD& lcd, uint8_t row, uint8_t justify) {
    lcd.Print(row, justify, "%s", current_module().model_name);
}

// --- special features -------------------------------------------------------------------------

const special_feature_row SPECIAL_FEATURES[11] = {
    {"DEFAULT 50 PERCENT DIMMING", 0x1},
    {"PERM MSG1 PRIORITY 50", 0x2},
    {"USE 8 DIMMING LEVELS", 0x8},
    {"USE PRIMARY SECONDARY FANS", 0x10},
    {"ZIZO DAV SOFTWARE SUPPORT", 0x20},
    {"RUROV AZA SOFTWARE SUPPORT", 0x40},
    {"GEN4 TEST MODE", 0x80},
    {"USE LEGACY UPS SUPPORT", 0x200},
    {"USE SCHEDULED FILE CLEANUP", 0x400},
    {"USE VOLATILE DATABASE", 0x800},
    {"USE NO SUCH NAME ON SENSORS", 0x1000},
};

CLCD_SpecialFeatureConfig::CLCD_SpecialFeatureConfig(int32_t id) : CLCD_PagedRows(id) {
    scroll_marks_ = true;
}

size_t CLCD_SpecialFeatureConfig::EntryCount() const {
    return std::size(SPECIAL_FEATURES);
}

void CLCD_SpecialFeatureConfig::Entry(size_t index, bool, char* text, size_t size,
                                      const char** mark) {
    const special_feature_row& feature = SPECIAL_FEATURES[index];
    std::snprintf(text, size, "%s", feature.text);
    *mark = (db_get(obj::halvSpecialFeatureSet) & feature.bit) ? "ON" : "OFF";
}

void CLCD_SpecialFeatureConfig::Pick(CLCD_Manager& manager, size_t index) {
    uint32_t features = db_get(obj::halvSpecialFeatureSet) ^ SPECIAL_FEATURES[index].bit;
    db_set(obj::halvSpecialFeatureSet, features, DB_NOTIFY);
    manager.RequestRedraw(DRAW_PARTIAL);
}

bool CLCD_SpecialFeatureConfig::OnKey(CLCD_Manager& manager, uint16_t* key) {
    if (key_event_code(*key) == KEY_ESCAPE) {
        manager.ActivateMenu(MENU_PARENT, this, true);
        return true;
    }
    return CLCD_PagedRows::OnKey(manager, key);
}

// --- matrix type ------------------------------------------------------------------------------

namespace {

struct matrix_row {
    uint32_t type; // dmsSignType
    menu_text name;
};
const matrix_row MATRIX_TYPES[] = {
    {MATRIX_FULL, {"FULL", "PLEINE"}},
    {MATRIX_LINE, {"LINE", "LIGNE"}},
    {MATRIX_CHAR, {"CHAR", "CARACTERE"}},
};
const menu_text MATRIX_TITLE = {"DISPLAY TYPE", "TYPE DE MATRICE"};
const menu_text LINE_HEIGHT_TITLE = {"LINE HEIGHT", "HAUTEUR D'UNE LIGNE"};
const menu_text LINE_HEIGHT_PROMPT = {"HEIGHT", "HAUTEUR"};

// The suffix of each dmsSignType (portable types 132-134 as their fixed kind).
struct matrix_suffix {
    uint32_t type, portable;
    menu_text format;
};
const matrix_suffix MATRIX_SUFFIXES[] = {
    {MATRIX_CHAR, 132, {"CHAR %dX%d", "CARACTERE %dX%d"}},
    {MATRIX_LINE, 133, {"LINE %d HIGH", "HAUTEUR DE LA LIGNE %d"}},
    {MATRIX_FULL, 134, {"FULL", "PLEINE"}},
};
const menu_text MATRIX_OTHER = {"OTHER", "AUTRE"};

} // namespace

CLCD_MatrixType::CLCD_MatrixType(int32_t id) : CLCD_SimpleWizardBase(id) {
    list_.kind = STEP_LIST;
    list_.entries = entries_;
    list_.callback = list_continues_on_second_entry; // only LINE asks for a height
    height_.kind = STEP_NUMBER;
    AddStep(&list_);
    AddStep(&height_);
}

void CLCD_MatrixType::OnEnter(CLCD_Manager& manager) {
    CLCD_SimpleWizardBase::OnEnter(manager);
    bool french = manager.French();
    height_.value = 0;
    list_.title = MATRIX_TITLE.Of(french);
    for (size_t i = 0; i < std::size(MATRIX_TYPES); ++i)
        entries_[i] = MATRIX_TYPES[i].name.Of(french);
    height_.title = LINE_HEIGHT_TITLE.Of(french);
    height_.prompt = LINE_HEIGHT_PROMPT.Of(french);
}

void CLCD_MatrixType::Finish(CLCD_Manager&) {
    if (list_.selected >= std::size(MATRIX_TYPES)) return;
    uint32_t type = MATRIX_TYPES[list_.selected].type;
    const module_type_record& module = current_module();
    uint32_t height = 0, width = 0;
    if (type == MATRIX_LINE) height = line_height_in_modules(height_.value, module.module_height);
    if (type == MATRIX_CHAR) {
        height = module.module_height;
        width = module.module_width;
    }
    db_set(obj::dmsSignType, type, DB_NOTIFY);
    db_set(obj::vmsCharacterHeightPixels, height, DB_NOTIFY);
    db_set(obj::vmsCharacterWidthPixels, width, DB_NOTIFY);
}

void CLCD_MatrixType::DrawSuffix(CLCD_Manager& manager, CLCD& lcd, uint8_t row, uint8_t justify) {
    uint32_t type = db_get(obj::dmsSignType);
    const char* format = MATRIX_OTHER.Of(manager.French());
    for (const matrix_suffix& suffix : MATRIX_SUFFIXES)
        if (type == suffix.type || type == suffix.portable)
            format = suffix.format.Of(manager.French());
    char text[LCD_COLUMNS + 1];
    // A format without numbers ignores them.
    int first = int(db_get(obj::vmsCharacterHeightPixels));
    int second = int(db_get(obj::vmsCharacterWidthPixels));
    std::snprintf(text, sizeof text, format, first, second);
    lcd.Print(row, justify, "%s", text);
}

// --- sign access ------------------------------------------------------------------------------

namespace {

struct access_row {
    const char* name;
    uint32_t code; // dmsSignAccess
};
const access_row SIGN_ACCESS[] = {{"OTHER", 1}, {"WALK-IN", 2}, {"REAR", 4}, {"FRONT", 8}};

} // namespace

CLCD_SignAccess::CLCD_SignAccess(int32_t id)
    : CLCD_OneListWizard(id, {"DISPLAY ACCESS", "DISPLAY ACCESS"}) {}

void CLCD_SignAccess::FillEntries(bool) {
    for (size_t i = 0; i < std::size(SIGN_ACCESS); ++i)
        entries_[i] = SIGN_ACCESS[i].name;
    entries_[std::size(SIGN_ACCESS)] = nullptr;
}

void CLCD_SignAccess::Finish(CLCD_Manager&) {
    if (list_.selected >= std::size(SIGN_ACCESS)) return;
    db_set(obj::dmsSignAccess, SIGN_ACCESS[list_.selected].code, DB_NOTIFY);
    TheDisplay().ApplyFaceSettings();
}

void CLCD_SignAccess::DrawSuffix(CLCD_Manager&, CLCD& lcd, uint8_t row, uint8_t justify) {
    // A combination of bits names no single side: nothing is shown.
    uint32_t code = db_get(obj::dmsSignAccess);
    for (const access_row& access : SIGN_ACCESS)
        if (access.code == code) lcd.Print(row, justify, "%s", access.name);
}

// --- one-number wizards -----------------------------------------------------------------------

namespace {
const char* const SAVE_FOOTER = "PRESS ENTER TO SAVE";
} // namespace

CLCD_NumberWizard::CLCD_NumberWizard(const number_wizard_row& row)
    : CLCD_SimpleWizardBase(row.id), row_(row) {
    step_.kind = STEP_NUMBER;
    step_.rule = row.rule;
    step_.rule_text = row.rule_text;
    step_.footer = SAVE_FOOTER;
    AddStep(&step_);
}

void CLCD_NumberWizard::OnEnter(CLCD_Manager& manager) {
    CLCD_SimpleWizardBase::OnEnter(manager);
    bool french = manager.French();
    step_.value = 0;
    step_.title = Title(french);
    step_.prompt = row_.prompt.Of(french);
}

void CLCD_NumberWizard::Finish(CLCD_Manager&) {
    changed_ = 1;
    if (row_.finish)
        row_.finish(row_, step_.value);
    else
        db_set(row_.object, step_.value, DB_NOTIFY);
}

void CLCD_NumberWizard::DrawSuffix(CLCD_Manager&, CLCD& lcd, uint8_t row, uint8_t justify) {
    char text[LCD_COLUMNS + 1] = "";
    if (row_.suffix)
        row_.suffix(row_, changed_ != 0, text, sizeof text);
    else
        std::snprintf(text, sizeof text, "%u", db_get(row_.object));
    if (text[0]) lcd.Print(row, justify, "%s", text);
}

namespace {

// The serial number, then the module table's text of the controller (row 1)
// or the sign (row 6).
void store_controller_serial(const number_wizard_row& row, uint32_t value) {
    db_set(row.object, value, DB_NOTIFY);
    show_serial_number(obj::moduleVersion.row(1), row.object);
}
void store_sign_serial(const number_wizard_row& row, uint32_t value) {
    db_set(row.object, value, DB_NOTIFY);
    show_serial_number(obj::moduleVersion.row(6), row.object);
}

const menu_text VALUE_PROMPT = {"VALUE", "VALUE"};

const number_wizard_row SERIAL_NUMBER_ROWS[] = {
    {80, VALUE_PROMPT, nullptr, nullptr, obj::halvControllerSerialNum, store_controller_serial,
     nullptr},
    {81, VALUE_PROMPT, nullptr, nullptr, obj::halvSignSerialNum, store_sign_serial, nullptr},
};

// --- number entries ---------------------------------------------------------------------------

const menu_text ZERO_RESTORES = {"ZERO RESTORES DEFAULTS", ""};
constexpr menu_text MODULES_FOOTER = {"ENTER NUMBER OF MODULES FOR LINE", nullptr};
const menu_text NO_VALID_VALUE = {"NO MODULES", "AUCUN MODULE"};

// The sign's size: the edited side typed, the other as stored, rounded to the
// module; a width change puts frame rate and bits per colour back to their
// defaults (0), which fit any size.
void store_size(uint32_t height, uint32_t width) {
    const module_type_record& module = current_module();
    CDisplay::SetSignSize(db_get(obj::halvModuleID), height, width, module.module_height,
                          module.module_width);
}
void apply_sign_size() {
    TheDisplay().ApplyFaceSettings();
    CDisplay::UpdateSignDimensions();
}
int store_width(const number_entry_row&, uint32_t value) {
    store_size(db_get(obj::vmsSignHeightPixels), value);
    db_set(obj::halvObj2_22, 0, DB_NOTIFY);
    db_set(obj::halvObj2_23, 0, DB_NOTIFY);
    apply_sign_size();
    return 0;
}
int store_height(const number_entry_row&, uint32_t value) {
    store_size(value, db_get(obj::vmsSignWidthPixels));
    apply_sign_size();
    return 0;
}

// What the display takes for a face of the current module type: at most
// FACE_MODULE_LINES lines of at most FACE_LINE_MODULES_MAX modules, and
// FACE_MODULES_MAX modules in all. A size entry is bounded by these with the
// other side as stored; beyond them the display leaves the face out.
uint32_t whole_modules_of(uint32_t pixels, uint32_t module) {
    return module == 0 ? 0 : (pixels + module - 1) / module;
}
struct size_bound {
    uint32_t largest; // pixels
    uint32_t modules; // modules down (height) or across (width)
};
size_bound size_bound_of(const number_entry_row& row) {
    const module_type_record& module = current_module();
    const bool height = row.object.offset == obj::vmsSignHeightPixels.offset;
    const uint32_t own = height ? module.module_height : module.module_width;
    const uint32_t other =
        height ? whole_modules_of(db_get(obj::vmsSignWidthPixels), module.module_width)
               : whole_modules_of(db_get(obj::vmsSignHeightPixels), module.module_height);
    uint32_t modules = height ? FACE_MODULE_LINES : FACE_LINE_MODULES_MAX;
    if (other != 0) modules = std::min(modules, FACE_MODULES_MAX / other);
    return {std::min(row.maximum, modules * own), modules};
}
bool size_fits(const number_entry_row& row, uint32_t value) {
    return value <= size_bound_of(row).largest;
}
void size_restriction(const number_entry_row& row, bool french, char* text, size_t size) {
    const size_bound bound = size_bound_of(row);
    const bool height = row.object.offset == obj::vmsSignHeightPixels.offset;
    static const menu_text WHY[] = {{"<= %u (%u MODULES WIDE)", "<= %u (LARGEUR %u MODULES)"},
                                    {"<= %u (%u MODULE LINES)", "<= %u (%u LIGNES DE MODULES)"}};
    std::snprintf(text, size, WHY[height ? 1 : 0].Of(french), unsigned(bound.largest),
                  unsigned(bound.modules));
}

const uint32_t BITS_MASK = 0x7;
int store_bits_per_colour(const number_entry_row&, uint32_t value) {
    CDisplay& display = TheDisplay();
    display.SetBitsPerColor(uint8_t((display.BitsPerColor() & ~BITS_MASK) | value));
    return 0;
}
void bits_per_colour_suffix(const number_entry_row&, bool, char* text, size_t size) {
    std::snprintf(text, size, "%u", unsigned(TheDisplay().BitsPerColor() & BITS_MASK));
}

int store_frame_rate(const number_entry_row&, uint32_t value) {
    TheDisplay().SetRefreshRate(value);
    return 0;
}
void frame_rate_suffix(const number_entry_row&, bool, char* text, size_t size) {
    std::snprintf(text, size, "%u", unsigned(TheRender().frames_per_second));
}

// Pixels per CAN line are kept as whole modules in one byte: a quotient that
// does not fit, or a module without a width, is refused.
const uint32_t CAN_LINE_MODULES_MAX = 255;
bool can_line_fits(const number_entry_row&, uint32_t value) {
    uint32_t module_width = current_module().module_width;
    return module_width != 0 && value / module_width <= CAN_LINE_MODULES_MAX;
}
int store_can_line(const number_entry_row& row, uint32_t value) {
    uint32_t module_width = current_module().module_width;
    if (module_width == 0) return 3;
    db_set(row.object, value / module_width, DB_NOTIFY);
    db_set(obj::halvObj2_22, 0, DB_NOTIFY);
    db_set(obj::halvObj2_23, 0, DB_NOTIFY);
    TheDisplay().ApplyFaceSettings();
    return 0;
}
void can_line_restriction(const number_entry_row&, bool french, char* text, size_t size) {
    uint32_t module_width = current_module().module_width;
    if (module_width == 0)
        std::snprintf(text, size, "%s", NO_VALID_VALUE.Of(french));
    else
        std::snprintf(text, size, "<= %u", (CAN_LINE_MODULES_MAX + 1) * module_width - 1);
}
void can_line_suffix(const number_entry_row& row, bool, char* text, size_t size) {
    uint32_t modules = db_get(row.object);
    if (modules == 0)
        std::snprintf(text, size, "DEFAULT");
    else
        std::snprintf(text, size, "%u", modules * current_module().module_width);
}

// A line holds at most the modules across the face; a face without a width
// or module width offers no valid value.
bool line_length_fits(const number_entry_row&, uint32_t value) {
    uint32_t across = modules_across(primary_face_geometry());
    return across != 0 && value <= across;
}
// Both languages show the bound.
void line_length_restriction(const number_entry_row&, bool french, char* text, size_t size) {
    uint32_t across = modules_across(primary_face_geometry());
    if (across == 0)
        std::snprintf(text, size, "%s", NO_VALID_VALUE.Of(french));
    else
        std::snprintf(text, size, "<= %u", across);
}
void line_length_suffix(const number_entry_row& row, bool, char* text, size_t size) {
    uint32_t modules = db_get(row.object);
    if (modules == 0)
        std::snprintf(text, size, "DEFAULT");
    else
        std::snprintf(text, size, "%u", modules);
}

constexpr menu_text MODULES_PROMPT = {"MODULES", "MODULES"};
constexpr number_entry_row line_length(int32_t id) {
    return number_entry_row(id, MODULES_PROMPT, {}, 0, 255,
                            obj::halvLineLength.row(unsigned(id - MENU_FIRST_LINE_LENGTH)))
        .Check(line_length_fits)
        .RestrictionBy(line_length_restriction)
        .SuffixBy(line_length_suffix)
        .Footer(MODULES_FOOTER);
}

} // namespace

const number_entry_row SIGN_CONFIG_ROWS[15] = {
    number_entry_row(52, {"WIDTH", "LARGEUR"}, {}, 1, 512, obj::vmsSignWidthPixels)
        .Check(size_fits)
        .RestrictionBy(size_restriction)
        .StoreBy(store_width)
        .Suffix("%u"),
    number_entry_row(53, {"HEIGHT", "HAUTEUR"}, {}, 1, 255, obj::vmsSignHeightPixels)
        .Check(size_fits)
        .RestrictionBy(size_restriction)
        .StoreBy(store_height)
        .Suffix("%u"),
    number_entry_row(56, {"ADDRESS", "ADRESSE"}, {"MIN 1, MAX 256", "MIN 1, MAX 256"}, 1, 256,
                     obj::halvhdlcAddress)
        .Suffix("%u"),
    number_entry_row(61, {"BITS", "BITS"}, {">= 1 AND <= 5", ">= 1 AND <= 5"}, 1, 5,
                     obj::halvObj2_23)
        .StoreBy(store_bits_per_colour)
        .SuffixBy(bits_per_colour_suffix),
    number_entry_row(62, {"FRAMES", "FRAMES"}, {">= 1 AND <= 10", ">= 1 AND <= 10"}, 1, 10,
                     obj::halvObj2_22)
        .StoreBy(store_frame_rate)
        .SuffixBy(frame_rate_suffix),
    number_entry_row(63, {"PIXELS", "PIXELS"}, {}, 0, 0xFFFFFFFFu, obj::halvCANMaxLineLength)
        .Check(can_line_fits)
        .StoreBy(store_can_line)
        .RestrictionBy(can_line_restriction)
        .SuffixBy(can_line_suffix)
        .Hint(ZERO_RESTORES),
    line_length(85),
    line_length(86),
    line_length(87),
    line_length(88),
    line_length(89),
    line_length(90),
    line_length(91),
    line_length(92),
    line_length(93),
};

// --- line lengths -----------------------------------------------------------------------------

bool CLCD_LineLength::HasRights(CLCD_Manager& manager) {
    uint32_t line = uint32_t(Id() - MENU_FIRST_LINE_LENGTH);
    return CMenuItem::HasRights(manager) && line + 1 <= primary_face_geometry().line_count;
}

// --- the family -------------------------------------------------------------------------------

namespace {

CMenuItem* line_length_create(int32_t id, const menu_row&) {
    const number_entry_row* row =
        number_entry_find(SIGN_CONFIG_ROWS, std::size(SIGN_CONFIG_ROWS), id);
    return row ? new CLCD_LineLength(*row) : nullptr;
}

const menu_factory_record SIGN_CONFIG_RECORDS[] = {
    {TYPE_MODULE_TYPE, menu_create<CLCD_ModuleType>},
    {TYPE_MATRIX_TYPE, menu_create<CLCD_MatrixType>},
    {TYPE_SIGN_WIDTH, number_entry_create<SIGN_CONFIG_ROWS>},
    {TYPE_SIGN_HEIGHT, number_entry_create<SIGN_CONFIG_ROWS>},
    {TYPE_SIGN_ADDRESS, number_entry_create<SIGN_CONFIG_ROWS>},
    {TYPE_SIGN_ACCESS, menu_create<CLCD_SignAccess>},
    {TYPE_CONTROLLER_SERIAL, number_wizard_create<SERIAL_NUMBER_ROWS>},
    {TYPE_SIGN_SERIAL, number_wizard_create<SERIAL_NUMBER_ROWS>},
    {TYPE_SPECIAL_FEATURE_CONFIG, menu_create<CLCD_SpecialFeatureConfig>},
    {TYPE_BITS_PER_COLOUR, number_entry_create<SIGN_CONFIG_ROWS>},
    {TYPE_FRAMES_PER_SECOND, number_entry_create<SIGN_CONFIG_ROWS>},
    {TYPE_PIXELS_PER_CAN_LINE, number_entry_create<SIGN_CONFIG_ROWS>},
    {TYPE_LINE_LENGTH, line_length_create},
};

} // namespace

const menu_family SIGN_CONFIG_SCREENS = menu_family_of(SIGN_CONFIG_RECORDS);
