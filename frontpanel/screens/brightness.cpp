// The front panel's brightness, temperature and threshold screens: see
// brightness.h.
#include "frontpanel/screens/brightness.h"

#include "frontpanel/lcd.h"
#include "frontpanel/manager.h"
#include "frontpanel/services.h"
#include "store/database.h"

#include <cstdio>
#include <cstring>
#include <iterator>

uint32_t brightness_percent(uint32_t level) {
    const uint32_t FULL = 255;
    return (level * 100 + FULL - 1) / FULL;
}

// --- brightness control -----------------------------------------------------------------------

namespace {

// dmsIllumControl values.
const uint32_t ILLUM_AUTOMATIC = 2;
const uint32_t ILLUM_MANUAL = 4;
const uint32_t ILLUM_MANUAL_LAST = 6;

bool manual_mode() {
    uint32_t control = db_get(obj::dmsIllumControl);
    return control >= ILLUM_MANUAL && control <= ILLUM_MANUAL_LAST;
}

// The texts of a mode, and where the French text's pointer at the Up key
// goes (the English text names the key).
struct mode_texts {
    menu_text mode;
    menu_text hint;
    uint8_t arrow_x;   // French
    uint8_t cleared_x; // French: the other mode's arrow place
};
const mode_texts AUTOMATIC_TEXTS = {
    {"AUTOMATIC DIMMING", "REGLAGE AUTOMATIQUE"},
    {"PRESS UP ARROW FOR MANUAL DIMMING", "POUR LUMINOSITE MANUELLE"},
    36,
    24};
const mode_texts MANUAL_TEXTS = {
    {"MANUAL DIMMING", "REGLAGE MANUEL"},
    {"PRESS UP ARROW FOR AUTOMATIC DIMMING", "POUR LUMINOSITE AUTOMATIQUE"},
    24,
    36};
const uint8_t ARROW_Y = 40;

// The percentage entry on row 8: its text, and the column of the number.
struct entry_text {
    const char* text;
    uint8_t number_column;
};
const entry_text ENTRY_TEXTS[2] = {{"ENTER PERCENTAGE:", 30}, {"ENTRER LE POURCENTAGE:", 33}};
const uint8_t ENTRY_ROW = 8;
const uint8_t ENTRY_CURSOR_COLUMN = 29;

// The status rows by the limit reason (halvObj5_13); 1 none.
struct limit_text {
    uint32_t reason;
    const char* text;
};
const limit_text LIMIT_TEXTS[] = {
    {2, "LIMITED DUE TO TEMPERATURE"},
    {3, "LIMITED DUE TO PIXELS ON"},
};
const uint32_t LIMIT_NONE = 1;

} // namespace

CLCD_BrightnessControl::CLCD_BrightnessControl(int32_t id) : CMenuItem(id) {}

void CLCD_BrightnessControl::OnEnter(CLCD_Manager&) {
    percentage_ = 0;
}

bool CLCD_BrightnessControl::OnKey(CLCD_Manager& manager, uint16_t* key) {
    uint16_t code = key_event_code(*key);
    if (manual_mode()) {
        if (manager.EditNumber(&percentage_, 100, key, true)) return true;
        if (code == KEY_ENTER) {
            // Enter with nothing typed writes nothing.
            if (percentage_ != 0)
                db_set(obj::dmsIllumManLevel,
                       percentage_ * db_get(obj::dmsIllumNumBrightLevels) / 100, DB_NOTIFY);
            percentage_ = 0;
            refresh_ = STATUS_DRAWS - 1;
            manager.RequestRedraw(DRAW_PARTIAL);
            return true;
        }
    }
    if (code == KEY_UP) {
        bool automatic = db_get(obj::dmsIllumControl) == ILLUM_AUTOMATIC;
        db_set(obj::dmsIllumControl, automatic ? ILLUM_MANUAL : ILLUM_AUTOMATIC, DB_NOTIFY);
        manager.RequestRedraw(DRAW_FULL);
        return true;
    }
    return false;
}

void CLCD_BrightnessControl::DrawMode(CLCD_Manager& manager, CLCD& lcd) {
    bool french = manager.French();
    bool automatic = db_get(obj::dmsIllumControl) == ILLUM_AUTOMATIC;
    const mode_texts& texts = automatic ? AUTOMATIC_TEXTS : MANUAL_TEXTS;
    lcd.Print(1, LCD_CENTRE, "%s", Title(french));
    if (automatic)
        manager.SetCursor(false, -1, -1);
    else
        manager.SetCursor(true, ENTRY_ROW, ENTRY_CURSOR_COLUMN);
    lcd.Print(3, LCD_CENTRE, "%s", texts.mode.Of(french));
    lcd.Print(6, LCD_CENTRE, "%s", texts.hint.Of(french));
    if (!french) return;
    lcd.FillRect(0, texts.cleared_x, ARROW_Y, uint8_t(texts.cleared_x + 6), ARROW_Y + 8);
    draw_up_arrow(lcd, texts.arrow_x, ARROW_Y);
}

void CLCD_BrightnessControl::DrawEntry(CLCD_Manager& manager, CLCD& lcd) {
    const entry_text& entry = ENTRY_TEXTS[manager.French() ? 1 : 0];
    uint8_t column = uint8_t(entry.number_column - std::strlen(entry.text) - 1);
    lcd.PrintRowCol(ENTRY_ROW, column, "%s", entry.text);
    manager.DrawNumber(ENTRY_ROW, entry.number_column, int32_t(percentage_), 2, true);
}

void CLCD_BrightnessControl::DrawStatus(CLCD& lcd) {
    uint32_t level = brightness_percent(db_get(obj::dmsIllumBrightLevelStatus));
    uint32_t reason = db_get(obj::halvObj5_13);
    if (reason == LIMIT_NONE) {
        lcd.PrintLine(4, LCD_CENTRE, "DIMMING LEVEL:%3u%%", level);
        lcd.ClearLine(5);
        return;
    }
    uint32_t desired = brightness_percent(db_get(obj::halvObj5_12));
    lcd.PrintLine(4, LCD_CENTRE, "DIMMING LEVEL:%3u%% (DESIRED %u%%)", level, desired);
    for (const limit_text& limit : LIMIT_TEXTS)
        if (limit.reason == reason) lcd.PrintLine(5, LCD_CENTRE, "%s", limit.text);
}

void CLCD_BrightnessControl::Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) {
    if (phase == DRAW_FULL) DrawMode(manager, lcd);
    if ((phase == DRAW_FULL || phase == DRAW_PARTIAL) && manual_mode()) DrawEntry(manager, lcd);
    // A cleared screen shows the status rows at once; else every eleventh draw.
    if (refresh_++ >= STATUS_DRAWS || phase == DRAW_FULL) {
        refresh_ = 0;
        DrawStatus(lcd);
    }
}

// --- master brightness, critical temperature, legibility --------------------------------------

const number_entry_row BRIGHTNESS_ROWS[1] = {
    number_entry_row(83, {"BRIGHTNESS", "LUMINOSITE"}, {">= 1 AND <= 100", ">= 1 ET <= 100"}, 1,
                     100, obj::halvIllumBrightnessScaler)
        .Suffix("%u")
        .Footer({"ENTER % OF MAXIMUM BRIGHTNESS", "ENTRER % DE LUMINOSITE MAXIMALE"}),
};

namespace {

// The panel may switch the over-temperature protection off (0) but not set
// a shut-off temperature: its limits are 0 to 0.
const char* const CRITICAL_TEMPERATURE_RULE = "<=0";

void critical_temperature_suffix(const number_wizard_row& row, bool changed, char* text,
                                 size_t size) {
    uint32_t value = db_get(row.object);
    const char* mark = changed ? "*" : " ";
    if (value == 0)
        std::snprintf(text, size, "DISABLED%s", mark);
    else
        std::snprintf(text, size, "%u%s ", value, changed ? "*" : "");
}

void legibility_suffix(const number_wizard_row& row, bool, char* text, size_t size) {
    uint32_t value = db_get(row.object);
    if (value == 0)
        std::snprintf(text, size, "DISABLED ");
    else
        std::snprintf(text, size, "%u%% ", value);
}

} // namespace

const number_wizard_row THRESHOLD_ROWS[2] = {
    {77,
     {"CELSIUS", "CELSIUS"},
     CRITICAL_TEMPERATURE_RULE,
     nullptr,
     obj::halvShutOffTemp,
     nullptr,
     critical_temperature_suffix},
    {78,
     {"PERCENT", "PERCENT"},
     "<101",
     nullptr,
     obj::halvLegibilityRatioThreshold,
     nullptr,
     legibility_suffix},
};

// --- failed-pixel threshold -------------------------------------------------------------------

namespace {

const char* const THRESHOLD_CHOICES[] = {"DISABLE", "ENABLE", nullptr};
const uint32_t PIXEL_THRESHOLD_DISABLED = 0xFFFFFFFFu;

} // namespace

CLCD_FailedPixelThreshold::CLCD_FailedPixelThreshold(int32_t id) : CLCD_SimpleWizardBase(id) {
    list_.kind = STEP_LIST;
    list_.title = "FAILED PIXEL THRESHOLD";
    list_.entries = THRESHOLD_CHOICES;
    list_.callback = list_continues_on_second_entry; // only ENABLE asks for a count
    pixels_.kind = STEP_NUMBER;
    pixels_.title = "FAILED PIXEL THRESHOLD";
    pixels_.prompt = "PIXELS";
    pixels_.rule = ">0,<65536";
    pixels_.rule_text = ">=1 AND <= 65535";
    pixels_.footer = "PRESS ENTER TO SAVE";
    AddStep(&list_);
    AddStep(&pixels_);
}

void CLCD_FailedPixelThreshold::OnEnter(CLCD_Manager& manager) {
    pixels_.value = 0;
    CLCD_SimpleWizardBase::OnEnter(manager);
}

void CLCD_FailedPixelThreshold::Finish(CLCD_Manager&) {
    bool enable = list_.selected == 1;
    db_set(obj::fdotMaxNumPixelFailure, enable ? pixels_.value : PIXEL_THRESHOLD_DISABLED,
           DB_NOTIFY);
}

void CLCD_FailedPixelThreshold::DrawSuffix(CLCD_Manager&, CLCD& lcd, uint8_t row, uint8_t justify) {
    uint32_t value = db_get(obj::fdotMaxNumPixelFailure);
    if (value < PIXEL_THRESHOLD_DISABLED)
        lcd.Print(row, justify, "%u ", value);
    else
        lcd.Print(row, justify, "DISABLED ");
}

// --- default font -----------------------------------------------------------------------------

CLCD_MessageDefaults_Font::CLCD_MessageDefaults_Font(int32_t id) : CLCD_SimpleMenuBase(id) {}

void CLCD_MessageDefaults_Font::OnEnter(CLCD_Manager& manager) {
    CLCD_SimpleMenuBase::OnEnter(manager);
    ClearChoices();
    uint32_t sign_height = db_get(obj::vmsSignHeightPixels);
    for (uint16_t i = 0; i < FONT_ROWS; ++i) {
        uint32_t height = db_get(obj::fontHeight.row(i));
        if (height == 0 || height > sign_height) continue;
        db_get_string_copy(obj::fontName.row(i), names_[i], NAME_BYTES);
        choices_[i] = {uint32_t(i) + 1, {names_[i], names_[i]}};
        AddChoice(&choices_[i]);
    }
}

void CLCD_MessageDefaults_Font::OnSelect(CLCD_Manager&, const choice_row& choice) {
    db_set(obj::defaultFont, choice.value, DB_NOTIFY);
}

void CLCD_MessageDefaults_Font::DrawSuffix(CLCD_Manager&, CLCD& lcd, uint8_t row, uint8_t justify) {
    // 0 and rows past the table name no font: nothing is shown.
    uint32_t font = db_get(obj::defaultFont);
    if (font == 0 || font > FONT_ROWS) return;
    char name[NAME_BYTES] = {};
    db_get_string_copy(obj::fontName.row(font - 1), name, sizeof name);
    lcd.Print(row, justify, "%s", name);
}

// --- the family -------------------------------------------------------------------------------

namespace {

const menu_factory_record BRIGHTNESS_RECORDS[] = {
    {TYPE_BRIGHTNESS_CONTROL, menu_create<CLCD_BrightnessControl>},
    {TYPE_MASTER_BRIGHTNESS, number_entry_create<BRIGHTNESS_ROWS>},
    {TYPE_CRITICAL_TEMPERATURE, number_wizard_create<THRESHOLD_ROWS>},
    {TYPE_LEGIBILITY_THRESHOLD, number_wizard_create<THRESHOLD_ROWS>},
    {TYPE_FAILED_PIXEL_THRESHOLD, menu_create<CLCD_FailedPixelThreshold>},
    {TYPE_DEFAULT_FONT, menu_create<CLCD_MessageDefaults_Font>},
};

} // namespace

const menu_family BRIGHTNESS_SCREENS = menu_family_of(BRIGHTNESS_RECORDS);
