// The front panel's entry screens (see entry_screens.h).
#include "frontpanel/screens/entry_screens.h"

#include "comm/modem_task.h"
#include "display/message_codes.h"
#include "display/module_types.h"
#include "frontpanel/keyboard_decoder.h"
#include "frontpanel/lcd.h"
#include "frontpanel/manager.h"
#include "ntcip/clock/calendar.h"
#include "peripherals/peripheral_task.h"
#include "runtime/interrupt.h"
#include "runtime/version.h"
#include "store/database.h"
#include "store/objects.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

// --- what the screens read -------------------------------------------------------------

enum control_mode : uint8_t {
    CONTROL_LOCAL = 2,
    CONTROL_CENTRAL_OVERRIDE = 5,
};

// dmsSignType values.
enum sign_kind : uint32_t {
    SIGN_CHARACTER = 4,
    SIGN_CHARACTER_PORTABLE = 132,
    SIGN_LINE = 5,
    SIGN_LINE_PORTABLE = 133,
};

// Bits of a module type's flags byte.
const uint8_t MODULE_FLAG_PIXEL_TEST = 0x02;
const uint8_t MODULE_FLAG_ZORV = 0x04;

const uint32_t FEATURE_SIGNAL_PAGE = 0x20;           // halvFeatureSet: the cellular signal page
const uint32_t SPECIAL_FEATURE_RAM_DATABASE = 0x800; // halvSpecialFeatureSet
const uint32_t PIXEL_TEST_RUNNING = 3;               // pixelTestActivation
const uint32_t TEST_PATTERN_NONE = 1;                // halvObj1_1

bool local_mode() {
    return db_get(obj::dmsControlMode) == CONTROL_LOCAL;
}

const module_type_record& sign_module() {
    return find_module_type(db_get(obj::halvModuleID));
}

// A line of text built for one row.
struct line {
    char text[LCD_COLUMNS + 1] = {};
    void Set(const char* format, ...) __attribute__((format(printf, 2, 3)));
};

void line::Set(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
}

// --- the splash screen -------------------------------------------------------------------

const char* const SPLASH_LEGEND[] = {
    "||                VMS                |||",
    "||                         ETHERNET <-||",
    "|--> MODEM                    POWER <--|",
    "---> LAPTOP                    BUSY <---",
};

// The hourglass corner by the animation counter.
void draw_hourglass(CLCD& lcd, uint8_t counter) {
    switch (counter) {
    case 4:
        lcd.DrawIcon(LCD_ICON_HOURGLASS1);
        break;
    case 3:
        lcd.DrawIcon(LCD_ICON_HOURGLASS2);
        break;
    case 2:
        lcd.DrawIcon(LCD_ICON_HOURGLASS3);
        break;
    default:
        lcd.ClearIcon(232);
        break;
    }
}

// --- the login screen's lines ------------------------------------------------------------

const menu_text INVALID_PASSWORD = {"     INVALID PASSWORD     ", "  MOT DE PASSE INVALIDE   "};
const menu_text PASSWORD_PROMPT = {"PASSWORD: %s", "M.D.PASSE:%s"};
const menu_text SWITCH_TO_LOCAL = {"SWITCH TO LOCAL MODE TO LOGIN",
                                   "SWITCH TO LOCAL MODE TO LOGIN"};
const menu_text RAM_DATABASE = {"RAM DATABASE", "RAM DATABASE"};

struct mode_text {
    uint32_t mode;
    menu_text text;
};
const mode_text LOGGED_OUT_TEXTS[] = {
    {CONTROL_LOCAL, {"LOCAL MODE - LOGGED OUT", "MODE LOCAL - SESSION FERMEE"}},
    {CONTROL_CENTRAL_OVERRIDE, {"REMOTE OVERRIDE - LOGGED OUT", "PRISE DE CONTROLE A DISTANCE"}},
};
const menu_text REMOTE_LOGGED_OUT = {"REMOTE MODE - LOGGED OUT",
                                     "MODE A DISTANCE - SESSION FERMEE"};

// The first row of `rows` whose key is `key`, else `other`.
template <size_t N>
const menu_text& text_of(const mode_text (&rows)[N], uint32_t key, const menu_text& other) {
    for (const mode_text& row : rows)
        if (row.mode == key) return row.text;
    return other;
}

// Message sources (dmsMsgSourceMode) and the fail-safe reasons of source 1.
const mode_text SOURCE_TEXTS[] = {
    {2, {" SRC:LOCAL", "SOURCE:LOCALE"}},
    {3, {" SRC:EXTERAL", "SOURCE:EXTERNE"}},
    {4, {" SRC:COM1", "SOURCE:COM1"}},
    {5, {" SRC:COM2", "SOURCE:COM2"}},
    {6, {" SRC:COM3", "SOURCE:COM3"}},
    {7, {" SRC:COM4", "SOURCE:COM4"}},
    {8, {" SRC:CENTRAL", "SOURCE:CENTRALE"}},
    {9, {" SRC:SCHEDULE", "SOURCE:HORAIRE"}},
    {10, {" SRC:POWER RECOVERY", "SOURCE:RETABLISSEMENT ALIM"}},
    {11, {" SRC:RESET", "SOURCE:REDEMARRAGE"}},
    {12, {" SRC:COMM LOSS", "SOURCE:PERTE DE COMMUNICATION"}},
    {13, {" SRC:POWER LOSS", "SOURCE:PERTE D'ALIMENTATION"}},
    {14, {" SRC:END DURATION", "SOURCE:FIN DE DUREE"}},
};
const uint32_t SOURCE_FAIL_SAFE = 1;
const mode_text FAIL_SAFE_TEXTS[] = {
    {3, {" SRC:MAX PIXEL ERROR", "SOURCE:MAX ERREURS DE PIXEL"}},
    {4, {" SRC:LEGIBILITY ERROR", "SOURCE:ERREUR LISIBILITE"}},
    {5, {" SRC:MAX TEMP", "SOURCE:TEMPERATURE MAX"}},
    {6, {" SRC:EMERGENCY", "SOURCE:URGENCE"}},
};
const menu_text FAIL_SAFE_OTHER = {" SRC:OTHER", "SOURCE:AUTRE"};
const menu_text NO_TEXT = {"", ""};

// The running message by its memory type: the word and how the number shows.
enum number_shown : uint8_t { NUMBER_NONE, NUMBER_PLAIN, NUMBER_PERMANENT };
struct memory_text {
    uint8_t memory_type;
    menu_text word;
    number_shown number;
};
const memory_text MEMORY_TEXTS[] = {
    {MSG_MEMORY_PERMANENT, {"PERMANENT", "PERMANENT"}, NUMBER_PERMANENT},
    {MSG_MEMORY_CHANGEABLE, {"CHANGEABLE", "MODIFIABLE"}, NUMBER_PLAIN},
    {MSG_MEMORY_VOLATILE, {"VOLATILE", "VOLATILE"}, NUMBER_PLAIN},
    {MSG_MEMORY_CURRENT_BUFFER, {"CURRENT BUFFER", "COURANT"}, NUMBER_NONE},
    {MSG_MEMORY_SCHEDULE, {"SCHEDULE", "HORAIRE"}, NUMBER_NONE},
    {MSG_MEMORY_BLANK, {"BLANK", "AU NOIR"}, NUMBER_NONE},
};
const memory_text MEMORY_OTHER = {0, {"OTHER", "AUTRE"}, NUMBER_PLAIN};
// Permanent messages are listed on the panel after the 498 first changeable ones.
const int PERMANENT_LIST_OFFSET = 498;

const memory_text& memory_text_of(uint8_t memory_type) {
    for (const memory_text& row : MEMORY_TEXTS)
        if (row.memory_type == memory_type) return row;
    return MEMORY_OTHER;
}

// Brightness modes by dmsIllumControl.
enum brightness_mode : uint8_t { BRIGHTNESS_AUTO, BRIGHTNESS_MANUAL, BRIGHTNESS_OTHER };
struct illum_row {
    uint32_t first, last;
    brightness_mode mode;
    menu_text word;
};
const illum_row ILLUM_MODES[] = {
    {1, 1, BRIGHTNESS_OTHER, {"OTHER", "AUTRE"}},
    {3, 3, BRIGHTNESS_OTHER, {"TIMER", "TEMPORISATEUR"}},
    {4, 6, BRIGHTNESS_MANUAL, {"MANUAL", "MANUEL"}},
};
const illum_row ILLUM_AUTO = {0, 0, BRIGHTNESS_AUTO, {"AUTO", "AUTO"}};

const illum_row& illum_mode_of(uint32_t control) {
    for (const illum_row& row : ILLUM_MODES)
        if (control >= row.first && control <= row.last) return row;
    return ILLUM_AUTO;
}

// The rotating status line, one page per call.
void page_identification(line& out, bool) {
    firmware_identification(out.text, sizeof out.text);
}

void page_legibility(line& out, bool french) {
    out.Set("%s:%3d%%", french ? "LISIBILITE" : "SIGN LEGIBILITY", int(db_get(obj::panynjObj1_6)));
}

void page_message(line& out, bool french) {
    if (db_get(obj::halvObj1_1) != TEST_PATTERN_NONE)
        return out.Set("%s", french ? "MOTIFS DE TEST" : "TEST PATTERN MODE");
    if ((sign_module().FlagsByte() & MODULE_FLAG_PIXEL_TEST) &&
        db_get(obj::pixelTestActivation) == PIXEL_TEST_RUNNING)
        return out.Set("%s", french ? "PIXEL TEST EN COURS" : "PIXEL TEST ACTIVE");
    uint8_t bytes[CMsgIDCode::kLength + 1] = {};
    uint32_t length = 0;
    db_get_string_copy(obj::dmsMsgTableSource, bytes, sizeof bytes, &length);
    CMsgIDCode code;
    code.Decode(bytes, length);
    const memory_text& memory = memory_text_of(code.m_memoryType);
    int number = code.m_messageNumber;
    switch (memory.number) {
    case NUMBER_PERMANENT:
        return out.Set("MSG:%s %d (%d)", memory.word.Of(french), number,
                       number + PERMANENT_LIST_OFFSET);
    case NUMBER_PLAIN:
        return out.Set("MSG:%s %d", memory.word.Of(french), number);
    case NUMBER_NONE:
        return out.Set("MSG:%s", memory.word.Of(french));
    }
}

void page_source(line& out, bool french) {
    uint32_t source = db_get(obj::dmsMsgSourceMode);
    const menu_text& text =
        source == SOURCE_FAIL_SAFE
            ? text_of(FAIL_SAFE_TEXTS, db_get(obj::panynjObj1_4), FAIL_SAFE_OTHER)
            : text_of(SOURCE_TEXTS, source, NO_TEXT);
    out.Set("%s", text.Of(french));
}

void page_brightness(line& out, bool french) {
    const illum_row& mode = illum_mode_of(db_get(obj::dmsIllumControl));
    uint32_t level = mode.mode == BRIGHTNESS_MANUAL ? db_get(obj::dmsIllumManLevel)
                                                    : db_get(obj::dmsIllumBrightLevelStatus);
    const uint32_t FULL = 255;
    if (level > FULL) level = FULL;
    out.Set("%s %s:%3d%%", french ? "LUMINOSITE" : "BRIGHTNESS", mode.word.Of(french),
            int((level * 100 + FULL - 1) / FULL));
}

void page_signal(line& out, bool french) {
    const char* quality = nullptr;
    if (cellular_modem_task == nullptr ||
        !cellular_modem_task->GetSignalQualityText(french, &quality) || quality == nullptr)
        quality = french ? "NON TROUVE" : "NOT FOUND";
    out.Set("%s:%s", french ? "INT SIGNAL" : "SIGNAL STR", quality);
}

using status_page_fn = void (*)(line& out, bool french);
const status_page_fn STATUS_PAGES[] = {page_identification, page_legibility, page_message,
                                       page_source,         page_brightness, page_signal};
const uint8_t LAST_PAGE_WITHOUT_SIGNAL = 4;
const uint8_t LAST_PAGE_WITH_SIGNAL = 5;

void local_time_line(line& out, bool french) {
    format_panel_time(out.text, sizeof out.text, db_get(obj::controllerLocalTime), french);
}

// Row 1: the sign's kind, size and colour.
void sign_line(line& out, bool french) {
    uint32_t type = db_get(obj::dmsSignType);
    int height = int(db_get(obj::vmsSignHeightPixels));
    int width = int(db_get(obj::vmsSignWidthPixels));
    char size[LCD_COLUMNS + 1];
    if (type == SIGN_CHARACTER || type == SIGN_CHARACTER_PORTABLE) {
        std::snprintf(size, sizeof size, "%s %dX%d ", french ? "MATRICE DE CARACTERES" : "VMS CHAR",
                      height, width);
    } else if (type == SIGN_LINE || type == SIGN_LINE_PORTABLE) {
        int character_height = int(db_get(obj::vmsCharacterHeightPixels));
        const char* word = french ? "MATRICE DE LIGNES" : "VMS LINE";
        if (character_height == 0)
            std::snprintf(size, sizeof size, "%s 0-%dX%d ", word, character_height, width);
        else
            std::snprintf(size, sizeof size, "%s %d-%dX%d ", word, height / character_height,
                          character_height, width);
    } else {
        std::snprintf(size, sizeof size, "%s %dX%d ", french ? "PLEINE MATRICE" : "VMS FULL",
                      height, width);
    }
    const module_type_record& module = sign_module();
    const char* colour =
        module.colour_class == MODULE_COLOUR_RED_GREEN ? (french ? "TROIS COULEURS" : "TRI COLOR")
        : module.colour_class == MODULE_COLOUR_FULL    ? (french ? "EN COULEURS" : "FULL COLOR")
        : (module.FlagsByte() & MODULE_FLAG_ZORV)      ? "MONO ZORV"
                                                       : "MONO";
    out.Set("%s%s", size, colour);
}

// --- passwords -----------------------------------------------------------------------------

// The character a key event stands for, and the keypad digit it gives.
char event_character(uint16_t event) {
    return char(key_event_code(event));
}

bool stored_text(const DbObject& object, char (&text)[256]) {
    db_get_string_copy(object, text, sizeof text);
    return text[0] != 0;
}

// --- the status information ----------------------------------------------------------------

const choice_row STATUS_CHOICES[] = {
    {0, {"WATCHDOG COUNT", "WATCHDOG COUNT"}},
    {1, {"UPTIME", "UPTIME"}},
    {2, {"MODEM SIGNAL STRENGTH", "MODEM SIGNAL STRENGTH"}},
    {3, {"ETHERNET JOB COUNT", "ETHERNET JOB COUNT"}},
    {4, {"FLASH DATABASE USAGE", "FLASH DATABASE USAGE"}},
};

void status_watchdog(line& out, bool) {
    out.Set("%d", int(db_get(obj::watchdogFailureCount)));
}

void status_uptime(line& out, bool french) {
    uint32_t seconds = 0;
    ThePeripheralTask().GetUptimeSeconds(&seconds);
    out.Set("%3d %s %02d:%02d.%02d", int(seconds / 86400), french ? "JOURS" : "DAYS",
            int(seconds / 3600 % 24), int(seconds / 60 % 60), int(seconds % 60));
}

void status_modem(line& out, bool) {
    out.Set("%ddB", int(db_get_signed(obj::modemRssi)));
}

void status_ethernet(line& out, bool) {
    out.Set("%d", int(isr_count_ethernet()));
}

void status_flash(line& out, bool) {
    out.Set("%d%%", int(TheDatabase().FlashUsedPercent()));
}

const status_page_fn STATUS_VALUES[] = {status_watchdog, status_uptime, status_modem,
                                        status_ethernet, status_flash};

} // namespace

void format_panel_time(char* text, size_t size, uint32_t seconds, bool french) {
    struct tm date {};
    seconds_to_tm(seconds, &date);
    int hour = date.tm_hour;
    const char* half_day = "";
    if (!french) {
        half_day = hour >= 12 ? "PM " : "AM ";
        hour = hour % 12 == 0 ? 12 : hour % 12;
    }
    std::snprintf(text, size, "%02d:%02d:%02d %s%02d/%02d/%d", hour, date.tm_min, date.tm_sec,
                  half_day, date.tm_mon + 1, date.tm_mday, date.tm_year + 1900);
}

void firmware_identification(char* text, size_t size) {
    std::snprintf(text, size, "%s v%s.%s.%s.%s%s", FIRMWARE_PART_NUMBER, kFirmwareVersionFields[0],
                  kFirmwareVersionFields[1], kFirmwareVersionFields[2], kFirmwareVersionFields[3],
                  FIRMWARE_VERSION_SUFFIX);
}

// --- CLCD_SplashScreen -----------------------------------------------------------------

CLCD_SplashScreen::CLCD_SplashScreen(int32_t id)
    : CMenuItem(id, {"HALVENMARK TESSALON", "HALVENMARK TESSALON"}) {}

bool CLCD_SplashScreen::OnKey(CLCD_Manager&, uint16_t*) {
    return true;
}

void CLCD_SplashScreen::Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) {
    draw_hourglass(lcd, animation_);
    animation_--;
    if (phase != DRAW_FULL) return;
    lcd.Print(1, LCD_CENTRE, "%s", Title(manager.French()));
    lcd.DrawIcon(LCD_ICON_LT);
    lcd.DrawIcon(LCD_ICON_LOCK);
    lcd.DrawIcon(LCD_ICON_FLAG);
    uint8_t row = 2;
    for (const char* legend : SPLASH_LEGEND)
        lcd.Print(row++, LCD_LEFT, "%s", legend);
    lcd.ClearLine(6);
    lcd.ClearLine(7);
    line identification;
    firmware_identification(identification.text, sizeof identification.text);
    lcd.Print(8, LCD_CENTRE, "%s", identification.text);
}

// --- CLCD_Login ------------------------------------------------------------------------

CLCD_Login::CLCD_Login(int32_t id) : CMenuItem(id) {}

void CLCD_Login::Reset() {
    length_ = 0;
    error_shown_ = 0;
    error_countdown_ = 0;
    status_page_ = 0;
    status_countdown_ = 0;
}

void CLCD_Login::OnEnter(CLCD_Manager&) {
    Reset();
}

void CLCD_Login::OnActivated(CLCD_Manager& manager) {
    CMenuItem::OnActivated(manager);
    saved_right_is_navigation_ = manager.right_is_navigation;
    manager.right_is_navigation = 1;
}

void CLCD_Login::OnLeave(CLCD_Manager& manager, int32_t next_id) {
    manager.right_is_navigation = saved_right_is_navigation_;
    CMenuItem::OnLeave(manager, next_id);
}

bool CLCD_Login::MatchText(const char* text) const {
    if (text == nullptr || std::strlen(text) != length_) return false;
    for (size_t i = 0; i < length_; i++) {
        char typed = event_character(entry_[i]);
        bool same = (entry_[i] & KEY_EVENT_KEYPAD)
                        ? keyboard_decoder::KeypadDigit(uint8_t(typed)) ==
                              keyboard_decoder::KeypadDigit(uint8_t(text[i]))
                        : typed == text[i];
        if (!same) return false;
    }
    return true;
}

bool CLCD_Login::MatchNumber(uint32_t number) const {
    if (length_ == 0) return false;
    char digits[ENTRY_LENGTH + 1] = {};
    for (size_t i = 0; i < length_; i++) {
        uint16_t code = key_event_code(entry_[i]);
        int digit =
            (entry_[i] & KEY_EVENT_KEYPAD) ? keyboard_decoder::KeypadDigit(code) : int(code) - '0';
        if (digit < 0 || digit > 9) return false;
        digits[i] = char('0' + digit);
    }
    char stored[16];
    std::snprintf(stored, sizeof stored, "%u", number);
    return std::strcmp(digits, stored) == 0;
}

int32_t CLCD_Login::CheckPassword() const {
    const int32_t LEVEL_COMMUNITY_ADMIN = 3, LEVEL_PANEL_ADMIN = 1, LEVEL_PANEL_OPERATOR = 2,
                  LEVEL_FIRST_USER = 4;
    char text[256];
    if (stored_text(obj::communityNameAdmin, text) && MatchText(text)) return LEVEL_COMMUNITY_ADMIN;
    if (MatchNumber(db_get(obj::halvLCDAdminPassword))) return LEVEL_PANEL_ADMIN;
    if (MatchNumber(db_get(obj::halvLCDPassword))) return LEVEL_PANEL_OPERATOR;
    for (uint16_t row = 0; row < obj::communityNameUser.rows; row++)
        if (stored_text(obj::communityNameUser.row(row), text) && MatchText(text))
            return LEVEL_FIRST_USER + row;
    return -1;
}

bool CLCD_Login::OnLocalKey(CLCD_Manager& manager, uint16_t event) {
    uint16_t code = key_event_code(event);
    if (code == KEY_BACKSPACE || code == KEY_LEFT) {
        if (length_ > 0) length_--;
    } else if (code == KEY_ESCAPE) {
        length_ = 0;
    } else if (code >= 32 && code <= 255) {
        if (length_ >= ENTRY_LENGTH) return true;
        entry_[length_++] = event;
    } else if (code == KEY_ENTER) {
        int32_t level = CheckPassword();
        if (level >= 0) {
            manager.Login(level);
            return true;
        }
        error_shown_ = 1;
        error_countdown_ = ERROR_DRAWS;
    } else {
        return false;
    }
    manager.RequestRedraw(2);
    return true;
}

bool CLCD_Login::OnKey(CLCD_Manager& manager, uint16_t* key) {
    if (key == nullptr) return false;
    uint16_t code = key_event_code(*key);
    if (code >= KEY_F1 && code <= KEY_F12) return true;
    if (error_shown_) {
        OnEnter(manager);
        manager.RequestRedraw(2);
        return true;
    }
    if (local_mode()) {
        if (OnLocalKey(manager, *key)) return true;
    } else if (code == KEY_RIGHT) {
        CMenuItem* display = manager.FindMenu(19, nullptr);
        if (display != nullptr) display->SetParent(this);
        manager.ActivateMenu(19, this, false);
        return true;
    }
    if (code == KEY_DOWN || code == KEY_UP) {
        manager.Lcd().SetContrast(code == KEY_DOWN ? 0 : 1);
        return true;
    }
    return false;
}

void CLCD_Login::DrawStatusLine(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) {
    if (phase == DRAW_FULL) status_countdown_ = 0;
    if (status_countdown_ > 0) {
        status_countdown_--;
        return;
    }
    line status;
    STATUS_PAGES[status_page_](status, manager.French());
    lcd.PrintAt(7, 1, LCD_CENTRE, "%s", status.text);
    status_countdown_ = STATUS_PAGE_DRAWS;
    uint8_t last = (db_get(obj::halvFeatureSet) & FEATURE_SIGNAL_PAGE) ? LAST_PAGE_WITH_SIGNAL
                                                                       : LAST_PAGE_WITHOUT_SIGNAL;
    status_page_ = status_page_ >= last ? 0 : uint8_t(status_page_ + 1);
}

void CLCD_Login::DrawSwitchToLocal(CLCD_Manager& manager, CLCD& lcd) {
    lcd.Print(4, LCD_CENTRE, "%s", manager.Text(SWITCH_TO_LOCAL));
    manager.SetCursor(false, -1, -1);
    lcd.DrawIcon(LCD_ICON_RIGHT_ARROW);
}

void CLCD_Login::DrawPasswordLine(CLCD_Manager& manager, CLCD& lcd) {
    const uint8_t ROW = 4, COLUMN = 7, FIRST_MASK_COLUMN = 17;
    if (!local_mode()) {
        if (password_line_shown_) {
            password_line_shown_ = 0;
            length_ = 0;
            lcd.ClearLine(ROW);
        }
        return DrawSwitchToLocal(manager, lcd);
    }
    char mask[ENTRY_LENGTH + 1] = {};
    for (size_t i = 0; i < ENTRY_LENGTH; i++)
        mask[i] = i < length_ ? '*' : '_';
    if (!password_line_shown_) {
        manager.SetCursor(true, ROW, FIRST_MASK_COLUMN);
        lcd.PrintRowCol(ROW, COLUMN, manager.Text(PASSWORD_PROMPT), mask);
        lcd.FillRect(0, 232, 56, 239, 63);
        password_line_shown_ = 1;
        return;
    }
    if (length_ < ENTRY_LENGTH)
        manager.SetCursor(true, ROW, FIRST_MASK_COLUMN + length_);
    else
        manager.SetCursor(false, -1, -1);
    lcd.PrintRowCol(ROW, COLUMN, manager.Text(PASSWORD_PROMPT), mask);
}

// A line of the periodic rows goes out when its text differs from what this
// screen last drew there, and on every full or partial draw: the clock changes
// once a second, the other lines seldom, and the panel link stays quiet in
// between.
void CLCD_Login::DrawLine(CLCD& lcd, uint8_t row, const char* text, bool force) {
    char(&drawn)[LCD_COLUMNS + 1] = drawn_[row - 1];
    if (!force && std::strncmp(drawn, text, LCD_COLUMNS) == 0) return;
    std::snprintf(drawn, sizeof drawn, "%s", text);
    if (text[0] != 0)
        lcd.PrintAt(row, 1, LCD_CENTRE, "%s", text);
    else
        lcd.ClearLine(row);
}

void CLCD_Login::Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) {
    if (error_countdown_ > 0 && --error_countdown_ == 0) {
        OnEnter(manager);
        phase = DRAW_PARTIAL;
    }
    bool french = manager.French();
    bool force = phase != DRAW_PERIODIC;
    line time;
    local_time_line(time, french);
    DrawLine(lcd, 6, time.text, force);
    DrawStatusLine(manager, lcd, phase);
    DrawLine(lcd, 8,
             text_of(LOGGED_OUT_TEXTS, db_get(obj::dmsControlMode), REMOTE_LOGGED_OUT).Of(french),
             force);
    bool ram_database = db_get(obj::halvSpecialFeatureSet) & SPECIAL_FEATURE_RAM_DATABASE;
    DrawLine(lcd, 2, ram_database ? manager.Text(RAM_DATABASE) : "", force);
    if (phase == DRAW_PERIODIC) return;
    if (error_shown_) {
        manager.SetCursor(false, -1, -1);
        lcd.PrintRowCol(4, 7, "%s", manager.Text(INVALID_PASSWORD));
        return;
    }
    if (phase == DRAW_FULL) {
        line sign;
        sign_line(sign, french);
        lcd.PrintAt(1, 1, LCD_CENTRE, "%s", sign.text);
    }
    DrawPasswordLine(manager, lcd);
}

// --- CLCD_MainMenu ---------------------------------------------------------------------

CLCD_MainMenu::CLCD_MainMenu(int32_t id)
    : CLCD_MenuItemEx(id, {"** WELCOME TO THE MAIN MENU **", "** BIENVENUE AU MENU PRINCIPAL **"}) {
    refresh_period_ = 1;
}

bool CLCD_MainMenu::OnKey(CLCD_Manager& manager, uint16_t* key) {
    if (key != nullptr && key_event_code(*key) == KEY_ESCAPE) {
        manager.Logout();
        return true;
    }
    return CLCD_MenuItemEx::OnKey(manager, key);
}

void CLCD_MainMenu::Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) {
    if (phase == DRAW_FULL) DrawTitle(manager, lcd);
    if (phase != DRAW_FULL && phase != DRAW_PARTIAL) return;
    DrawPage(manager, lcd, FIRST_ROW, 1);
    if (phase == DRAW_FULL)
        lcd.Print(FOOTER_ROW, LCD_CENTRE, "%s",
                  manager.French() ? "MODE LOCAL - ESC POUR FERMER LA SESSION"
                                   : "LOCAL MODE - CANCEL TO LOGOUT");
}

// --- CLCD_InsufficientRights -------------------------------------------------------------

CLCD_InsufficientRights::CLCD_InsufficientRights(int32_t id)
    : CMenuItem(id, {"INSUFFICIENT RIGHTS", "DROITS INSUFFISANT"}) {}

bool CLCD_InsufficientRights::OnKey(CLCD_Manager& manager, uint16_t* key) {
    if (key == nullptr || key_event_code(*key) != KEY_ENTER) return false;
    manager.ActivateMenu(MENU_PARENT, this, false);
    return true;
}

void CLCD_InsufficientRights::Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) {
    if (phase != DRAW_FULL) return;
    const menu_text LINES[] = {
        {"YOU DO NOT HAVE RIGHTS", "VOUS N'AVEZ PAS LE DROIT"},
        {"TO ACCESS THIS MENU", "D'ACCEDER \xC0 CE MENU"},
    };
    lcd.Print(1, LCD_CENTRE, "%s", Title(manager.French()));
    lcd.Print(4, LCD_CENTRE, "%s", manager.Text(LINES[0]));
    lcd.Print(5, LCD_CENTRE, "%s", manager.Text(LINES[1]));
    lcd.Print(8, LCD_CENTRE, "%s",
              manager.French() ? "PRESSEZ ENTER OU CANCEL" : "PRESS ENTER OR CANCEL TO GO BACK");
}

// --- CLCD_VersionInfo ------------------------------------------------------------------

CLCD_VersionInfo::CLCD_VersionInfo(int32_t id)
    : CLCD_SimpleMenuBase(id, {"VERSION INFO", "INFORMATIONS SUR LA VERSION"}, RIGHT_DIAGNOSTICS) {
    refresh_period_ = 4;
}

void CLCD_VersionInfo::OnEnter(CLCD_Manager& manager) {
    CLCD_SimpleMenuBase::OnEnter(manager);
    ClearChoices();
    for (uint32_t row = 0; row < MODULE_ROWS; row++) {
        if (db_get_string_copy(obj::moduleModel.row(row), names_[row], NAME_BYTES) == 0) continue;
        rows_[row] = {row, {names_[row], names_[row]}};
        AddChoice(&rows_[row]);
    }
}

void CLCD_VersionInfo::DrawChoiceSuffix(CLCD_Manager&, CLCD& lcd, size_t index, uint8_t row,
                                        uint8_t justify) {
    const choice_row* choice = Choice(index);
    if (choice == nullptr) return;
    char version[NAME_BYTES] = {};
    db_get_string_copy(obj::moduleVersion.row(choice->value), version, sizeof version);
    lcd.Print(row, justify, "%s", version[0] ? version : "?");
}

// --- CLCD_StatusInfo -------------------------------------------------------------------

CLCD_StatusInfo::CLCD_StatusInfo(int32_t id)
    : CLCD_SimpleMenuBase(id, {"STATUS INFO", ""}, RIGHT_DIAGNOSTICS) {
    refresh_period_ = 4;
    AddChoices(STATUS_CHOICES);
}

void CLCD_StatusInfo::DrawChoiceSuffix(CLCD_Manager& manager, CLCD& lcd, size_t index, uint8_t row,
                                       uint8_t justify) {
    const choice_row* choice = Choice(index);
    if (choice == nullptr || choice->value >= sizeof STATUS_VALUES / sizeof STATUS_VALUES[0])
        return;
    line value;
    STATUS_VALUES[choice->value](value, manager.French());
    lcd.Print(row, justify, "%s", value.text);
}

// --- the family ------------------------------------------------------------------------

namespace {

const menu_factory_record ENTRY_SCREEN_RECORDS[] = {
    {TYPE_SPLASH, menu_create<CLCD_SplashScreen>},
    {TYPE_LOGIN, menu_create<CLCD_Login>},
    {TYPE_MAIN_MENU, menu_create<CLCD_MainMenu>},
    {TYPE_VERSION_INFO, menu_create<CLCD_VersionInfo>},
    {TYPE_STATUS_INFO, menu_create<CLCD_StatusInfo>},
    {TYPE_INSUFFICIENT_RIGHTS, menu_create<CLCD_InsufficientRights>},
};

} // namespace

extern const menu_family ENTRY_SCREENS = menu_family_of(ENTRY_SCREEN_RECORDS);
