// The front panel's system screens: see system.h.
#include "frontpanel/screens/system.h"

#include "frontpanel/lcd.h"
#include "frontpanel/manager.h"
#include "frontpanel/services.h"
#include "frontpanel/screens/number_entry.h"
#include "ntcip/clock/calendar.h"
#include "ntcip/clock/clock.h"
#include "store/database.h"

#include <cstdio>
#include <cstring>
#include <iterator>

// --- the tables --------------------------------------------------------------------------

const time_zone_row TIME_ZONES[4] = {
    {{"EASTERN", "EST"}, -18000},
    {{"CENTRAL", "CENTRE"}, -21600},
    {{"MOUNTAIN", "MONTAGNE"}, -25200},
    {{"PACIFIC", "PACIFIQUE"}, -28800},
};

const daylight_saving_row DAYLIGHT_SAVING_MODES[2] = {
    {{"DISABLE", "DESACTIVE"}, 2},
    {{"ENABLE", "ACTIVE"}, 3},
};

const reset_choice RESET_CHOICES[8] = {
    {{"CANCEL", "ANNULER"}, RESET_NOTHING, obj::halvObj2_3, 0},
    {{"RESET ONLY", "REDEMARRER"}, RESET_WRITE, obj::dmsSWReset, 1},
    {{"CLEAR MEMORY", "VIDER LA MEMOIRE"}, RESET_WRITE, obj::halvObj2_3, 2},
    {{"RESTORE FACTORY DEFAULTS", "PARAMETRES PAR DEFAUT"}, RESET_WRITE, obj::halvObj2_3, 6},
    {{"BOOT FROM FLASH", "REDEMARRER A PARTIR DE LA FLASH"}, RESET_WRITE, obj::halvObj2_3, 4},
    {{"BOOT FROM CONFIG", "REDEMARRER A PARTIR DE LA CONFIG"}, RESET_WRITE, obj::halvObj2_3, 5},
    {{"RESET LCD CONTRAST", "REINITIALISER LE CONTRASTE DE L'ACL"},
     RESET_CONTRAST,
     obj::halvObj2_3,
     DEFAULT_CONTRAST},
    {{"BOOT FROM SCRIPT", "REDEMARRER A PARTIR DU SCRIPT"}, RESET_WRITE, obj::halvObj2_3, 7},
};

const trap_row TRAP_ROWS[16] = {
    {"1) MAX TEMP REACHED", 0, 0x01},
    {"2) DOOR OPENED", 0, 0x02},
    {"3) POWER SUPPLY FAILURE", 0, 0x04},
    {"4) LOCAL SERIAL PORT CONNECTED", 0, 0x10},
    {"5) LOCAL SERIAL PORT DISCONNECTED", 0, 0x20},
    {"6) REACTIVATE TEMP REACHED", 0, 0x40},
    {"1) UPS RUNNING OFF BATTERY POWER", 0, 0x80},
    {"2) UPS RUNNING OFF AC POWER", 1, 0x01},
    {"3) CONTROLLER IN CENTRAL MODE", 1, 0x08},
    {"4) CONTROLLER IN LOCAL MODE", 1, 0x10},
    {"5) FAN FAILURES", 1, 0x20},
    {"6) PIXEL FAILURES", 1, 0x40},
    {"1) EVENT LOG 9/10 FULL", 1, 0x80},
    {"2) UPS BATTERY LOW", 2, 0x01},
    {"3) COLD START", 2, 0x02},
    {"4) WARM START", 2, 0x04},
};

const char* const BEACON_TYPE_NAMES[14] = {
    "OTHER",
    "NONE",
    "ONE BEACON",
    "TWO SYNC FLASH",
    "TWO OPPOSITE FLASH",
    "FOUR SYNC FLASH",
    "FOUR ALTERNATE ROW FLASH",
    "FOUR ALTERNATE COLUMN FLASH",
    "FOUR ALTERNATE DIAGONAL FLASH",
    "FOUR NO SYNC FLASH",
    "ONE BEACON STROBE",
    "TWO BEACON STROBE",
    "FOUR BEACON STROBE",
    nullptr,
};

size_t trap_mask_length(const uint8_t (&mask)[TRAP_MASK_BYTES]) {
    size_t length = TRAP_MASK_BYTES;
    while (length > 0 && mask[length - 1] == 0)
        --length;
    return length;
}

namespace {

const menu_text ZONE_TITLE = {"TIMEZONE", "FUSEAU HORAIRE"};
const menu_text DST_TITLE = {"DST", "HEURE AVANCEE"};
const menu_text DATE_LABEL = {"DATE:", "DATE:"};
const menu_text TIME_LABEL = {"TIME:", "HEURE:"};
const menu_text CANCEL_HINT = {"OR PRESS ESCAPE TO CANCEL", "OU SUR ESCAPE POUR ANNULER"};
const menu_text INVALID_DATE = {"INVALID DATE", "DATE INVALIDE"};

const uint8_t DATE_ROW = 4;
const uint8_t TIME_ROW = 5;
const uint8_t FIELD_COLUMN = 18;
const uint8_t MESSAGE_ROW = 6;

const menu_text PASSWORD_LABEL = {"PASSWORD:", "M.D.PASSE:"};
const menu_text CONFIRM_LABEL = {"CONFIRM", "CONFIRMER"};
const menu_text TOO_SHORT = {"ENTER AT LEAST 6 CHARACTERS", "ENTRER AU MOINS 6 CARACTERES"};
const menu_text NOT_UNIQUE = {"CANNOT ENTER NON-UNIQUE PASSWORD", "MOT DE PASSE NON DISPONIBLE"};
const menu_text CONTINUE_HINT = {"PRESS ENTER TO CONTINUE", "APPUYER SUR ENTER POUR CONTINUER"};
const uint8_t NEW_ROW = 3;
const uint8_t CONFIRM_ROW = 6;
const uint8_t PASSWORD_COLUMN = 11;

const uint8_t TRAP_FIRST_ROW = 2;
const uint8_t TRAP_SCROLL_X = 232;

const int32_t ADMIN_LEVEL = 3; // the first level whose password is a community

bool is_erase(uint16_t key) {
    uint16_t code = key_event_code(key);
    return code == KEY_BACKSPACE || code == KEY_LEFT;
}

// The length of the leading run of `text` made of characters in `set`.
size_t leading_run(const char* text, const char* set) {
    return std::strspn(text, set);
}

} // namespace

// --- the date and time screen --------------------------------------------------------------

CLCD_DateTime::CLCD_DateTime() : CLCD_SimpleWizardBaseMenu(MENU_ID, {"", ""}, RIGHT_DATE_TIME) {}

void CLCD_DateTime::OnEnter(CLCD_Manager& manager) {
    // The field's form flag is 1 for English, the manager's language 1 for French.
    uint8_t form = manager.French() ? CEditable::FORM_FRENCH : CEditable::FORM_ENGLISH;
    time_.Reset(form);
    date_.Reset(form);
    focus_ = FOCUS_DATE;
    refused_ = 0;
    MarkDone(false);
}

bool CLCD_DateTime::DateKey(CLCD_Manager& manager, uint16_t code, bool erase) {
    if (erase) {
        date_.HandleKey(KEY_BACKSPACE);
        return true;
    }
    if (date_.HandleKey(char(code))) {
        if (date_.IsComplete()) focus_ = FOCUS_TIME;
        return true;
    }
    if (!date_.IsComplete()) return false;
    focus_ = FOCUS_TIME;
    return TimeKey(manager, code, false);
}

bool CLCD_DateTime::TimeKey(CLCD_Manager&, uint16_t code, bool erase) {
    if (erase) {
        if (!time_.HandleKey(KEY_BACKSPACE)) {
            focus_ = FOCUS_DATE;
            date_.HandleKey(KEY_BACKSPACE);
        }
        return true;
    }
    if (time_.HandleKey(char(code))) return true;
    if (code != KEY_ENTER) return false;
    if (time_.IsComplete()) {
        // A date that does not exist is refused: the step stays, nothing is written.
        if (date_.IsRealDate())
            MarkDone(true);
        else
            refused_ = 1;
    }
    focus_ = FOCUS_DATE;
    date_.HandleKey(KEY_ENTER);
    return true;
}

bool CLCD_DateTime::OnKey(CLCD_Manager& manager, uint16_t* key) {
    uint16_t code = key_event_code(*key);
    bool erase = is_erase(*key);
    if (!erase && code > 0xFF) return false;
    if (!erase) refused_ = 0;
    bool handled =
        focus_ == FOCUS_DATE ? DateKey(manager, code, erase) : TimeKey(manager, code, erase);
    if (handled) manager.RequestRedraw(DRAW_PARTIAL);
    return handled;
}

void CLCD_DateTime::PlaceCursor(CLCD_Manager& manager, const char* text, uint8_t row,
                                const char* leading) {
    manager.SetCursor(true, row, int32_t(FIELD_COLUMN + leading_run(text, leading)));
}

void CLCD_DateTime::Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) {
    bool french = manager.French();
    if (phase == DRAW_FULL) {
        lcd.Print(1, LCD_CENTRE, "%s", Title(french));
        lcd.PrintRowCol(DATE_ROW, 12, "%s", DATE_LABEL.Of(french));
        lcd.PrintRowCol(TIME_ROW, french ? 11 : 12, "%s", TIME_LABEL.Of(french));
        manager.SetCursor(true, -1, -1);
    }
    if (phase != DRAW_FULL && phase != DRAW_PARTIAL) return;
    char date[16], time[16];
    date_.Format(date, sizeof date);
    time_.Format(time, sizeof time);
    lcd.PrintRowCol(DATE_ROW, FIELD_COLUMN, "%s", date);
    lcd.PrintRowCol(TIME_ROW, FIELD_COLUMN, "%s", time);
    if (refused_)
        lcd.PrintLine(MESSAGE_ROW, LCD_CENTRE, "%s", INVALID_DATE.Of(french));
    else
        lcd.ClearLine(MESSAGE_ROW);
    if (focus_ == FOCUS_DATE) {
        PlaceCursor(manager, date, DATE_ROW, "0123456789/");
    } else if (!time_.IsComplete()) {
        PlaceCursor(manager, time, TIME_ROW, "0123456789: ");
    } else {
        manager.SetCursor(false, -1, -1);
        lcd.PrintLine(7, LCD_CENTRE, "%s", ENTRY_SAVE_HINT.Of(french));
        lcd.PrintLine(8, LCD_CENTRE, "%s", CANCEL_HINT.Of(french));
        return;
    }
    lcd.ClearLine(7);
    lcd.ClearLine(8);
}

// --- the date and time wizard ----------------------------------------------------------------

uint32_t utc_of_local_standard_time(const struct tm& local, int32_t offset) {
    return tm_to_seconds(local) - uint32_t(offset);
}

CLCD_DateTimeWiz::CLCD_DateTimeWiz(int32_t id) : CLCD_SimpleWizardBase(id) {
    zone_.kind = STEP_LIST;
    zone_.entries = zone_names_;
    daylight_saving_.kind = STEP_LIST;
    daylight_saving_.entries = mode_names_;
    AddStep(&zone_);
    AddStep(&daylight_saving_);
    AddStep(&date_time_.step);
}

void CLCD_DateTimeWiz::OnEnter(CLCD_Manager& manager) {
    date_time_.SetTitle(TitleText());
    date_time_.SetRightsMask(RightsMask());
    CLCD_SimpleWizardBase::OnEnter(manager);
    bool french = manager.French();
    zone_.title = ZONE_TITLE.Of(french);
    daylight_saving_.title = DST_TITLE.Of(french);
    for (size_t i = 0; i < std::size(TIME_ZONES); ++i)
        zone_names_[i] = TIME_ZONES[i].name.Of(french);
    for (size_t i = 0; i < std::size(DAYLIGHT_SAVING_MODES); ++i)
        mode_names_[i] = DAYLIGHT_SAVING_MODES[i].name.Of(french);
}

void CLCD_DateTimeWiz::Finish(CLCD_Manager&) {
    const time_zone_row& zone = TIME_ZONES[zone_.selected % std::size(TIME_ZONES)];
    const daylight_saving_row& mode =
        DAYLIGHT_SAVING_MODES[daylight_saving_.selected % std::size(DAYLIGHT_SAVING_MODES)];
    const CDateField& date = date_time_.Date();
    const CTimeField& time = date_time_.Time();
    if (!date.IsRealDate() || !time.IsComplete()) return; // never stores a time that does not exist
    db_set(obj::controllerStandardTimeZone, uint32_t(zone.offset), DB_NOTIFY);
    db_set(obj::globalDaylightSaving, mode.mode, DB_NOTIFY);
    struct tm local = {};
    local.tm_year = date.Year() - 1900;
    local.tm_mon = date.Month() - 1;
    local.tm_mday = date.Day();
    local.tm_hour = time.Hour24();
    local.tm_min = time.Minute();
    uint32_t utc = utc_of_local_standard_time(local, zone.offset);
    // The clock's next pass treats the time as entered in local daylight time.
    if (CClock* clock = find_clock()) clock->SetLocalTimeEntered();
    db_set_time(utc, DB_NOTIFY | DB_NO_TIME_WARNING);
}

// --- the password -----------------------------------------------------------------------------

bool password_object_of_level(int32_t level, DbObject& object) {
    if (level == ADMIN_LEVEL) {
        object = obj::communityNameAdmin;
        return true;
    }
    if (level > ADMIN_LEVEL && uint32_t(level - ADMIN_LEVEL - 1) < obj::communityNameUser.rows) {
        object = obj::communityNameUser.row(uint32_t(level - ADMIN_LEVEL - 1));
        return true;
    }
    return false;
}

CLCD_Password::CLCD_Password(int32_t id) : CMenuItem(id, {"", ""}, RIGHT_PASSWORD) {}

bool CLCD_Password::HasRights(CLCD_Manager& manager) {
    // Levels 0-2 log in with the panel's own passwords, which this screen does not change.
    return CMenuItem::HasRights(manager) && manager.UserLevel() >= ADMIN_LEVEL;
}

void CLCD_Password::OnEnter(CLCD_Manager&) {
    state_ = STATE_ENTERING;
    new_password_[0] = '\0';
    confirmation_[0] = '\0';
}

bool CLCD_Password::KeyEntering(CLCD_Manager& manager, uint16_t* key) {
    if (manager.EditText(new_password_, PASSWORD_BYTES, key)) return true;
    uint16_t code = key_event_code(*key);
    if (code == KEY_ENTER) {
        if (std::strlen(new_password_) >= MINIMUM_LENGTH) {
            state_ = STATE_CONFIRMING;
            manager.RequestRedraw(DRAW_PARTIAL);
        }
        return true;
    }
    if (code == KEY_LEFT) {
        size_t length = std::strlen(new_password_);
        if (length == 0) return false;
        new_password_[length - 1] = '\0';
        manager.RequestRedraw(DRAW_PARTIAL);
        return true;
    }
    return false;
}

bool CLCD_Password::KeyConfirming(CLCD_Manager& manager, uint16_t* key) {
    if (is_erase(*key) && confirmation_[0] == '\0') {
        state_ = STATE_ENTERING;
        manager.RequestRedraw(DRAW_PARTIAL);
        return true;
    }
    if (manager.EditText(confirmation_, PASSWORD_BYTES, key)) return true;
    if (key_event_code(*key) != KEY_ENTER) return false;
    if (std::strcmp(new_password_, confirmation_) == 0) Save(manager);
    return true;
}

void CLCD_Password::Save(CLCD_Manager& manager) {
    DbObject target{};
    if (password_object_of_level(manager.UserLevel(), target)) {
        char current[PASSWORD_BYTES * 4] = {};
        db_get_string_copy(target, current, sizeof current);
        // Re-entering the current password stores nothing.
        if (!CLCD_Manager::KeypadEqual(current, new_password_)) {
            if (!manager.IsPasswordUnique(new_password_)) {
                OnEnter(manager);
                manager.RequestRedraw(DRAW_FULL);
                error_ = 1;
                return;
            }
            db_set_string(target, new_password_, uint32_t(std::strlen(new_password_)), DB_NOTIFY);
        }
    }
    manager.ActivateMenu(MENU_PARENT, this, true);
}

bool CLCD_Password::OnKey(CLCD_Manager& manager, uint16_t* key) {
    return state_ == STATE_ENTERING ? KeyEntering(manager, key) : KeyConfirming(manager, key);
}

const char* CLCD_Password::Hint(bool french) {
    size_t entered = std::strlen(new_password_);
    if (state_ == STATE_CONFIRMING) {
        bool short_text = entered < MINIMUM_LENGTH || std::strlen(confirmation_) < MINIMUM_LENGTH;
        return (short_text ? TOO_SHORT : CONTINUE_HINT).Of(french);
    }
    if (entered < MINIMUM_LENGTH && !error_) return TOO_SHORT.Of(french);
    if (entered == 0 && error_) {
        error_ = 0;
        return NOT_UNIQUE.Of(french);
    }
    return CONTINUE_HINT.Of(french);
}

void CLCD_Password::Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) {
    bool french = manager.French();
    if (phase == DRAW_FULL) {
        lcd.Print(1, LCD_CENTRE, "%s", Title(french));
        lcd.Print(NEW_ROW, LCD_LEFT, "%s", PASSWORD_LABEL.Of(french));
        lcd.Print(5, LCD_LEFT, "%s", CONFIRM_LABEL.Of(french));
        lcd.Print(CONFIRM_ROW, LCD_LEFT, "%s", PASSWORD_LABEL.Of(french));
        manager.SetCursor(true, NEW_ROW, 16);
    }
    if (phase != DRAW_FULL && phase != DRAW_PARTIAL) return;
    // A mask character per typed character, as on the login screen.
    auto masked = [&lcd](uint8_t row, const char* text) {
        char mask[PASSWORD_BYTES] = {};
        std::memset(mask, '*', strnlen(text, PASSWORD_BYTES - 1));
        lcd.PrintRowCol(row, PASSWORD_COLUMN, "%-16s", mask);
    };
    masked(NEW_ROW, new_password_);
    masked(CONFIRM_ROW, confirmation_);
    bool confirming = state_ == STATE_CONFIRMING;
    const char* text = confirming ? confirmation_ : new_password_;
    manager.SetCursor(true, confirming ? CONFIRM_ROW : NEW_ROW,
                      int32_t(PASSWORD_COLUMN + std::strlen(text)));
    lcd.PrintLine(8, LCD_CENTRE, "%s", Hint(french));
}

// --- one-list wizards: reset options and beacon type -------------------------------------------

CLCD_OneListWizard::CLCD_OneListWizard(int32_t id, menu_text title)
    : CLCD_SimpleWizardBase(id), list_title_(title) {
    list_.kind = STEP_LIST;
    list_.entries = entries_;
    AddStep(&list_);
}

void CLCD_OneListWizard::OnEnter(CLCD_Manager& manager) {
    CLCD_SimpleWizardBase::OnEnter(manager);
    bool french = manager.French();
    list_.title = list_title_.Of(french);
    FillEntries(french);
}

CLCD_Reset::CLCD_Reset(int32_t id)
    : CLCD_OneListWizard(id, {"RESET OPTIONS", "OPTIONS DE REDEMARAGE"}) {}

void CLCD_Reset::FillEntries(bool french) {
    for (size_t i = 0; i < std::size(RESET_CHOICES); ++i)
        entries_[i] = RESET_CHOICES[i].name.Of(french);
    entries_[std::size(RESET_CHOICES)] = nullptr;
}

void CLCD_Reset::Finish(CLCD_Manager& manager) {
    if (list_.selected >= std::size(RESET_CHOICES)) return;
    const reset_choice& choice = RESET_CHOICES[list_.selected];
    switch (choice.action) {
    case RESET_WRITE:
        db_set(choice.object, choice.value, DB_NOTIFY);
        break;
    case RESET_CONTRAST:
        manager.Lcd().SetContrast(choice.value);
        break;
    case RESET_NOTHING:
        break;
    }
}

CLCD_BeaconType::CLCD_BeaconType(int32_t id) : CLCD_OneListWizard(id, {"BEACON TYPE", ""}) {}

void CLCD_BeaconType::FillEntries(bool) {
    for (size_t i = 0; i < std::size(BEACON_TYPE_NAMES); ++i)
        entries_[i] = BEACON_TYPE_NAMES[i];
}

void CLCD_BeaconType::Finish(CLCD_Manager&) {
    if (list_.selected < BEACON_TYPE_COUNT)
        db_set(obj::dmsBeaconType, list_.selected + 1u, DB_NOTIFY);
}

void CLCD_BeaconType::DrawSuffix(CLCD_Manager&, CLCD& lcd, uint8_t row, uint8_t justify) {
    uint32_t code = db_get(obj::dmsBeaconType);
    if (code >= 1 && code <= BEACON_TYPE_COUNT)
        lcd.Print(row, justify, "%s", BEACON_TYPE_NAMES[code - 1]);
}

// --- trap configuration
// ---------------------------------------------------------------------------

CLCD_TrapConfig::CLCD_TrapConfig(int32_t id) : CMenuItem(id, {"", ""}, RIGHT_CONFIGURATION) {}

void CLCD_TrapConfig::OnEnter(CLCD_Manager&) {
    uint8_t stored[TRAP_MASK_BYTES + 1] = {};
    db_get_string_copy(obj::halvTrapsEnterpriseSpecific, stored, sizeof stored);
    std::memcpy(mask_, stored, TRAP_MASK_BYTES);
    page_ = 0;
    page_count_ = TRAP_PAGES;
}

void CLCD_TrapConfig::Toggle(CLCD_Manager& manager, size_t row) {
    const trap_row& trap = TRAP_ROWS[row];
    mask_[trap.byte] ^= trap.bit;
    db_set_string(obj::halvTrapsEnterpriseSpecific, mask_, uint32_t(trap_mask_length(mask_)),
                  DB_NOTIFY);
    manager.RequestRedraw(DRAW_PARTIAL);
}

bool CLCD_TrapConfig::OnKey(CLCD_Manager& manager, uint16_t* key) {
    uint16_t code = key_event_code(*key);
    if (code >= '1' && code < '1' + TRAP_ROWS_PER_PAGE) {
        size_t row = page_ * TRAP_ROWS_PER_PAGE + (code - '1');
        if (row < std::size(TRAP_ROWS))
            Toggle(manager, row); // a digit naming no shown row is ignored
        return true;
    }
    if (code == KEY_UP || code == KEY_DOWN) {
        if (code == KEY_UP && page_ > 0)
            --page_;
        else if (code == KEY_DOWN && page_ + 1 < page_count_)
            ++page_;
        manager.RequestRedraw(DRAW_PARTIAL);
        return true;
    }
    if (code == KEY_ESCAPE) {
        manager.ActivateMenu(MENU_PARENT, this, true);
        return true;
    }
    return false;
}

void CLCD_TrapConfig::Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) {
    if (phase == DRAW_FULL) lcd.Print(1, LCD_CENTRE, "%s", Title(manager.French()));
    if (phase != DRAW_FULL && phase != DRAW_PARTIAL) return;
    for (size_t i = 0; i < TRAP_ROWS_PER_PAGE; ++i) {
        uint8_t row = uint8_t(TRAP_FIRST_ROW + i);
        size_t index = page_ * TRAP_ROWS_PER_PAGE + i;
        if (index >= std::size(TRAP_ROWS)) {
            lcd.ClearLine(row);
            continue;
        }
        const trap_row& trap = TRAP_ROWS[index];
        bool on = (mask_[trap.byte] & trap.bit) != 0;
        lcd.PrintAt(row, 1, LCD_LEFT, "%-35s%3s", trap.text, on ? "ON" : "OFF");
    }
    draw_scroll_marks_at(lcd, TRAP_SCROLL_X, page_ > 0, page_ + 1 < page_count_);
}

// --- factory records
// ---------------------------------------------------------------------------------

namespace {
const menu_factory_record SYSTEM_SCREEN_RECORDS[] = {
    {TYPE_DATE_TIME_WIZARD, menu_create<CLCD_DateTimeWiz>},
    {TYPE_PASSWORD, menu_create<CLCD_Password>},
    {TYPE_RESET, menu_create<CLCD_Reset>},
    {TYPE_TRAP_CONFIG, menu_create<CLCD_TrapConfig>},
    {TYPE_BEACON_TYPE, menu_create<CLCD_BeaconType>},
};
} // namespace

const menu_family SYSTEM_SCREENS = menu_family_of(SYSTEM_SCREEN_RECORDS);
