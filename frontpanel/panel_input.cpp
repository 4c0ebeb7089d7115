// The panel's byte stream (see manager.h): keypad keys, panel reports after
// 0xFF, the PS/2 keyboard's bytes between FF BD and ED, and tunnelled CAN
// frames after FF B8. One parser, its states and the reports as tables;
// the web-LCD mirror's viewer has a parser state of its own and may send
// only keypad and keyboard bytes.
#include "frontpanel/manager.h"

#include "comm/agents/trap_raise.h"
#include "display/display_entries.h"
#include "platform/monitor/monitor.h"
#include "runtime/console.h"
#include "runtime/os.h"
#include "store/database.h"
#include "store/objects.h"

#include <cstdio>
#include <cstring>

namespace {

enum parser_state : uint8_t {
    PARSE_NORMAL = 0,
    PARSE_REPORT = 1,
    PARSE_TUNNEL = 5,
    PARSE_LOCK_STATE = 6,
    PARSE_KEYBOARD = 7,
};

const uint8_t REPORT_PREFIX = 0xFF;
const uint8_t KEYBOARD_END = 0xED;
const uint8_t KEYPAD_KEYS = 16;
const uint8_t KEYPAD_RIGHT = 0x0C;
const uint8_t REINIT_POLLS = 20;
const uint32_t TRAP_CENTRAL_MODE = 13;
const uint32_t TRAP_LOCAL_MODE = 14;
const uint32_t TRAP_SWITCH_TO_2 = 6;
const uint32_t TRAP_SWITCH_TO_1 = 7;
const uint8_t TUNNEL_ESCAPE = 0xFE;
const uint8_t TUNNEL_XOR = 0x20;
const uint8_t CAN_DATA_MAX = 8;
// The control panel's part designation, as the module table shows it.
const char PANEL_MODEL[] = "HFP-240 - CONTROL PANEL";
const unsigned PANEL_MODULE_ROW = 3;

// The sixteen keypad keys: the letters each key walks through when pressed
// again (the first entry is the key itself), or the one key code of a key
// without letters. Only keys with letters keep the multi-tap bit.
const struct {
    const char* taps;
    uint16_t code;
} KEYPAD[KEYPAD_KEYS] = {
    {nullptr, KEY_ESCAPE},
    {"7PQRS7pqrs", 0},
    {"4GHI4ghi", 0},
    {"1$.&=%*+-\\@:^?!~#()", 0},
    {"0 ", 0},
    {"8TUV8tuv", 0},
    {"5JKL5jkl", 0},
    {"2ABC2abc", 0},
    {nullptr, KEY_ENTER},
    {"9WXYZ9wxyz", 0},
    {"6MNO6mno", 0},
    {"3DEF3def", 0},
    {nullptr, KEY_RIGHT},
    {nullptr, KEY_LEFT},
    {nullptr, KEY_DOWN},
    {nullptr, KEY_UP},
};

uint8_t tap_count(uint8_t key) {
    return KEYPAD[key].taps ? uint8_t(std::strlen(KEYPAD[key].taps)) : 1;
}

// Entry `index` of a key's list: the keypad bit on the first entry.
uint16_t tap_event(uint8_t key, uint8_t index, bool again) {
    const uint16_t code = KEYPAD[key].taps ? uint8_t(KEYPAD[key].taps[index]) : KEYPAD[key].code;
    uint16_t bits = index == 0 ? KEY_EVENT_KEYPAD : 0;
    if (again && KEYPAD[key].taps) bits |= KEY_EVENT_MULTITAP;
    return key_event(code, bits);
}

// Function keys of the PS/2 keyboard that open a menu (F4 opens the editor
// on the first free message; F1 and F5 do nothing).
const struct {
    uint16_t code;
    int32_t menu;
} SHORTCUTS[] = {
    {KEY_F1 + 1, MENU_RUN_MESSAGE},    {KEY_F1 + 2, MENU_BLANK_DISPLAY},
    {KEY_F1 + 5, MENU_DELETE_MESSAGE}, {KEY_F1 + 6, MENU_QUICK_SCHEDULE},
    {KEY_F1 + 7, MENU_BRIGHTNESS},     {KEY_F1 + 8, MENU_DIAGNOSTICS},
    {KEY_F1 + 9, MENU_CONFIGURATION},  {KEY_F1 + 10, MENU_MESSAGE_CONTROL},
    {KEY_F1 + 11, MENU_MAIN},
};
const uint16_t KEY_F4 = KEY_F1 + 3;
const uint8_t QUICK_MESSAGES = 8;

// Ctrl+F1 to Ctrl+F8: a run of graphics, one page each, of the sign's size.
const char* const QUICK_GRAPHICS[QUICK_MESSAGES][4] = {
    {"ChevronLeft3", "Blank", "ChevronLeft1", "ChevronLeft2"},
    {"ChevronRight3", "Blank", "ChevronRight1", "ChevronRight2"},
    {"ArrowLeft3", "Blank", "ArrowLeft1", "ArrowLeft2"},
    {"ArrowRight3", "Blank", "ArrowRight1", "ArrowRight2"},
    {"ArrowDouble3", "Blank", "ArrowDouble1", "ArrowDouble2"},
    {"ArrowDouble3", "Blank", nullptr, nullptr},
    {"ArrowLeft3", "Blank", nullptr, nullptr},
    {"ArrowRight3", "Blank", nullptr, nullptr},
};
const uint16_t QUICK_ROW = 499; // changeable message 500
const uint32_t QUICK_SETTLE_TICKS = 20;
const uint8_t STATUS_NOT_USED = 1, STATUS_MODIFYING = 2, STATUS_VALID = 4;
const uint8_t REQUEST_MODIFY = 6, REQUEST_VALIDATE = 7, REQUEST_NOT_USED = 8;

// Character-matrix signs (types 4 and 132) have the smaller graphics.
const char* quick_graphic_size() {
    const uint32_t type = db_get(obj::dmsSignType);
    return type == 4 || type == 132 ? "21x40" : "27x48";
}

// -> the MULTI text of quick message n.
uint32_t quick_message_text(uint8_t n, char* text, size_t size) {
    int length = std::snprintf(text, size, "[pt6o0]");
    for (const char* graphic : QUICK_GRAPHICS[n]) {
        if (graphic == nullptr) break;
        length += std::snprintf(text + length, size - size_t(length), "%s[ms11,g,0,0,%s_%s.bmp]",
                                length > 7 ? "[np]" : "", graphic, quick_graphic_size());
    }
    return uint32_t(length);
}

panel_can_frame_fn can_frame_handler = nullptr;

} // namespace

void CLCD_Manager::SetCanFrameHandler(panel_can_frame_fn handler) {
    can_frame_handler = handler;
}

// --- the parser ------------------------------------------------------------------------

struct CLCD_Manager::parser_row {
    uint8_t state;
    void (CLCD_Manager::*parse)(uint8_t byte);
};

struct CLCD_Manager::report_row {
    uint8_t first, last;
    void (CLCD_Manager::*report)(uint8_t byte);
    bool from_mirror; // a mirror's viewer may send it
};

void CLCD_Manager::ProcessPanelByte(uint8_t byte) {
    if (!from_mirror_) {
        comm_timeout_ = 0;
        m_byState = STATE_VALID;
    }
    static const parser_row PARSERS[] = {
        {PARSE_REPORT, &CLCD_Manager::ParseReport},
        {PARSE_TUNNEL, &CLCD_Manager::ParseTunnel},
        {PARSE_LOCK_STATE, &CLCD_Manager::ParseLockState},
        {PARSE_KEYBOARD, &CLCD_Manager::ParseKeyboard},
    };
    for (const parser_row& row : PARSERS)
        if (row.state == parser_state_) {
            (this->*row.parse)(byte);
            return;
        }
    ParseNormal(byte);
}

void CLCD_Manager::ProcessMirrorByte(uint8_t byte) {
    ++mirror_bytes_;
    std::swap(parser_state_, mirror_parser_state_);
    std::swap(resume_state_, mirror_resume_state_);
    from_mirror_ = true;
    ProcessPanelByte(byte);
    from_mirror_ = false;
    std::swap(parser_state_, mirror_parser_state_);
    std::swap(resume_state_, mirror_resume_state_);
}

void CLCD_Manager::ParseNormal(uint8_t byte) {
    if (byte == REPORT_PREFIX)
        parser_state_ = PARSE_REPORT;
    else if (byte < KEYPAD_KEYS)
        KeypadKey(byte);
}

// A report ends where the parser was (a keyboard stream goes on after it);
// an unknown report, or one the mirror may not send, returns it to normal.
void CLCD_Manager::ParseReport(uint8_t byte) {
    static const report_row REPORTS[] = {
        {0xA0, 0xAF, &CLCD_Manager::ReportRevision, false},
        {0xB0, 0xB0, &CLCD_Manager::ReportReinitialised, false},
        {0xB1, 0xB2, &CLCD_Manager::ReportSwitch, false},
        {0xB3, 0xB3, &CLCD_Manager::ReportLocal, false},
        {0xB4, 0xB4, &CLCD_Manager::ReportCentral, false},
        {0xB5, 0xB5, &CLCD_Manager::ReportReset, false},
        {0xB8, 0xB8, &CLCD_Manager::ReportTunnel, false},
        {0xB9, 0xB9, &CLCD_Manager::ReportToggle, false},
        {0xBD, 0xBD, &CLCD_Manager::ReportKeyboard, true},
    };
    parser_state_ = PARSE_NORMAL;
    const uint8_t resume = resume_state_;
    resume_state_ = PARSE_NORMAL;
    for (const report_row& row : REPORTS)
        if (byte >= row.first && byte <= row.last) {
            if (from_mirror_ && !row.from_mirror) return;
            parser_state_ = resume;
            (this->*row.report)(byte);
            return;
        }
}

void CLCD_Manager::ParseTunnel(uint8_t byte) {
    FeedCanTunnelByte(byte);
}

void CLCD_Manager::ParseLockState(uint8_t byte) {
    keyboard_.SetLowFlags(byte);
    parser_state_ = PARSE_KEYBOARD;
}

void CLCD_Manager::ParseKeyboard(uint8_t byte) {
    if (byte == KEYBOARD_END) {
        parser_state_ = PARSE_NORMAL;
    } else if (byte == REPORT_PREFIX) {
        resume_state_ = PARSE_KEYBOARD;
        parser_state_ = PARSE_REPORT;
    } else if (keyboard_.Translate(byte)) {
        KeyboardKeys();
    }
}

// --- reports ---------------------------------------------------------------------------

// The first revision reported while probing brings the panel up; a later
// one is the panel's second revision.
void CLCD_Manager::ReportRevision(uint8_t byte) {
    const uint8_t revision = byte & 0x0F;
    char version[16];
    if (panel_state_ == 0) {
        revision_first_ = revision;
        revision_ = revision;
        db_set_text(obj::moduleModel.row(PANEL_MODULE_ROW), PANEL_MODEL, DB_NOTIFY);
        std::snprintf(version, sizeof version, "%2d", revision);
        panel_state_ = 2;
    } else {
        revision_second_ = revision;
        std::snprintf(version, sizeof version, "%d/%d", revision_first_, revision_second_);
    }
    lcd_.SetRevisions(revision_first_, revision_second_);
    db_set_text(obj::moduleVersion.row(PANEL_MODULE_ROW), version, DB_NOTIFY);
}

void CLCD_Manager::ReportReinitialised(uint8_t) {
    sign_image = 0;
    reinit_countdown_ = REINIT_POLLS;
}

// The panel switch: a trap when it moves from one known position to the
// other, none for the first report.
void CLCD_Manager::ReportSwitch(uint8_t byte) {
    const bool first_position = byte == 0xB1;
    SetIndicator(INDICATOR_PANEL_SWITCH, first_position ? 1 : 2);
    const char position = first_position ? '3' : '1';
    if (switch_latch_ == position) return;
    if (switch_latch_ != '2') raise_sign_trap(first_position ? TRAP_SWITCH_TO_1 : TRAP_SWITCH_TO_2);
    switch_latch_ = position;
}

void CLCD_Manager::ReportLocal(uint8_t) {
    RequestRedraw(DRAW_FULL);
    EnterLocalMode();
}

void CLCD_Manager::ReportCentral(uint8_t) {
    RequestRedraw(DRAW_FULL);
    EnterCentralMode();
}

void CLCD_Manager::ReportReset(uint8_t) {
    mon_wdtctrl(1);
    mon_restart(0);
}

void CLCD_Manager::ReportTunnel(uint8_t) {
    parser_state_ = PARSE_TUNNEL;
}

void CLCD_Manager::ReportToggle(uint8_t) {
    RequestRedraw(DRAW_FULL);
    const uint32_t mode = db_get(obj::dmsControlMode);
    if (mode == CONTROL_LOCAL || mode == CONTROL_CENTRAL_OVERRIDE)
        EnterCentralMode();
    else
        EnterLocalMode();
}

void CLCD_Manager::ReportKeyboard(uint8_t) {
    parser_state_ = PARSE_LOCK_STATE;
}

// --- control mode ----------------------------------------------------------------------

void CLCD_Manager::BacklightOnKey() {
    if (backlight_enabled) lcd_.BacklightOn(backlight_minutes);
}

// Local control from the panel; the user still logs in on the login screen.
void CLCD_Manager::EnterLocalMode() {
    raise_sign_trap(TRAP_LOCAL_MODE);
    BacklightOnKey();
    lcd_.SetLocalIndicator();
    ReloadInactivity();
    db_set(obj::dmsControlMode, CONTROL_LOCAL, DB_NOTIFY | DB_NO_VALIDATE);
}

void CLCD_Manager::EnterCentralMode() {
    if (sign_image_mutex_ready_) os_mutex_get(&sign_image_mutex_, OS_WAIT_FOREVER);
    sign_image = 0;
    if (sign_image_mutex_ready_) os_mutex_put(&sign_image_mutex_);
    BacklightOnKey();
    lcd_.ClearLocalIndicator();
    db_set(obj::dmsControlMode, CONTROL_CENTRAL, DB_NOTIFY | DB_NO_VALIDATE);
    raise_sign_trap(TRAP_CENTRAL_MODE);
    Logout();
}

// --- keys ------------------------------------------------------------------------------

// An Escape a screen injects acts for whoever holds the login.
CLCD_Manager::key_source CLCD_Manager::KeySource() const {
    if (injecting_) return session_source_ != SOURCE_NONE ? session_source_ : SOURCE_PANEL;
    return from_mirror_ ? SOURCE_MIRROR : SOURCE_PANEL;
}

// Keys act for the source holding the login; with nobody logged in, for
// every source on the logged-out screens.
bool CLCD_Manager::KeysAct() const {
    return session_source_ == SOURCE_NONE || session_source_ == KeySource();
}

bool CLCD_Manager::SourceLoggedIn() const {
    return LoggedIn() && session_source_ == KeySource();
}

void CLCD_Manager::KeyActivity() {
    indicators_[INDICATOR_KEY] = 1;
    BacklightOnKey();
    if (LoggedIn()) ReloadInactivity();
}

// The same key again walks through its letters (the index moves on only
// when a text field took the last one); Right only ends such a walk unless
// the screen uses it to navigate.
void CLCD_Manager::KeypadKey(uint8_t key) {
    if (!KeysAct()) return;
    KeyActivity();
    uint16_t event;
    if (key == last_key_) {
        if (multitap_index >= tap_count(key)) multitap_index = 0;
        event = tap_event(key, multitap_index, true);
    } else {
        if (key == KEYPAD_RIGHT && !right_is_navigation) {
            last_key_ = NO_KEY;
            return;
        }
        event = tap_event(key, 0, false);
        multitap_index = 0;
    }
    last_key_ = key;
    DeliverKey(event);
}

// The current menu first; an Escape it leaves goes back to its parent.
bool CLCD_Manager::DeliverKey(uint16_t event) {
    uint16_t key = event;
    if (current_ != nullptr && current_->OnKey(*this, &key)) return true;
    if (key_event_code(event) != KEY_ESCAPE) return false;
    ActivateMenu(MENU_PARENT, current_, true);
    return true;
}

// Shortcuts and quick messages need a login of the source that typed them.
void CLCD_Manager::KeyboardKeys() {
    uint16_t event = 0;
    if (!KeysAct()) {
        while (keyboard_.PopEvent(&event)) {
        }
        return;
    }
    last_key_ = NO_KEY;
    KeyActivity();
    while (keyboard_.PopEvent(&event)) {
        if (DeliverKey(event)) continue;
        if (!SourceLoggedIn()) continue;
        const uint16_t code = key_event_code(event);
        if (event & KEY_EVENT_CTRL) {
            if (code >= KEY_F1 && code < KEY_F1 + QUICK_MESSAGES && !QuickMessage(code - KEY_F1))
                return; // the rest waits for the next keyboard byte
            continue;
        }
        ShortcutKey(code);
    }
}

void CLCD_Manager::ShortcutKey(uint16_t code) {
    if (code == KEY_F4) {
        EditFirstFreeMessage();
        return;
    }
    for (const auto& shortcut : SHORTCUTS)
        if (shortcut.code == code) {
            ActivateMenu(shortcut.menu, current_, false);
            return;
        }
}

// Quick message n goes into changeable message 500 and the run options
// screen opens on it. The text is checked before the row is touched, so a
// text the sign cannot show leaves message 500 as it was; a refusal is
// shown on the panel. -> false when the message row could not be prepared.
bool CLCD_Manager::QuickMessage(uint8_t n) {
    char text[512];
    const uint32_t length = quick_message_text(n, text, sizeof text);
    if (!check_multi(text, length)) {
        console_printf("Quick message %d refused: MULTI error %u\n", int(n + 1),
                       unsigned(db_get(obj::dmsMultiSyntaxError)));
        return QuickMessageRefused();
    }
    if (db_get(obj::changeableMsgStatus.row(QUICK_ROW)) != STATUS_NOT_USED &&
        !RequestMessageStatus(QUICK_ROW, REQUEST_NOT_USED, STATUS_NOT_USED)) {
        console_printf("Failed to free changeable 500\n");
        return QuickMessageRefused();
    }
    if (!RequestMessageStatus(QUICK_ROW, REQUEST_MODIFY, STATUS_MODIFYING)) {
        console_printf("Failed to modify changeable 500\n");
        return QuickMessageRefused();
    }
    db_set_string(obj::changeableMsgMultiString.row(QUICK_ROW), text, length, DB_NOTIFY);
    db_set(obj::changeableMsgRunTimePriority.row(QUICK_ROW), 255, DB_NOTIFY);
    if (!RequestMessageStatus(QUICK_ROW, REQUEST_VALIDATE, STATUS_VALID)) {
        console_printf("Failed to validate changeable 500\n");
        return QuickMessageRefused();
    }
    os_sleep(QUICK_SETTLE_TICKS);
    SetPendingActivation(PENDING_CHANGEABLE, QUICK_ROW + 1);
    ActivateMenu(MENU_RUN_OPTIONS, current_, false);
    return true;
}

bool CLCD_Manager::QuickMessageRefused() {
    static const menu_text REFUSED = {"QUICK MESSAGE REFUSED", "MESSAGE RAPIDE REFUSE"};
    PostNotice(Text(REFUSED));
    RequestRedraw(DRAW_FULL);
    return false;
}

// --- the CAN tunnel --------------------------------------------------------------------

// 0xFE escapes the next byte (XOR 0x20); a lone 0xFE is dropped.
void CLCD_Manager::FeedCanTunnelByte(uint8_t byte) {
    if (tunnel_previous_ == TUNNEL_ESCAPE)
        TunnelByte(byte ^ TUNNEL_XOR);
    else if (byte != TUNNEL_ESCAPE)
        TunnelByte(byte);
    tunnel_previous_ = byte;
}

// SIDH, SIDL (bit 3: extended), EID8, EID0, DLC, data. A frame announcing
// more than 8 data bytes is read to its end and dropped.
void CLCD_Manager::TunnelByte(uint8_t byte) {
    switch (tunnel_state_) {
    case 2: {
        const uint32_t standard = tunnel_identifier_ << 3 | (byte >> 5 & 7);
        const bool extended = byte & 0x08;
        tunnel_identifier_ = extended ? (standard << 3 | (byte & 7)) : standard;
        tunnel_state_ = extended ? 3 : 5;
        return;
    }
    case 3:
        tunnel_identifier_ = tunnel_identifier_ << 8 | byte;
        tunnel_state_ = 4;
        return;
    case 4:
        tunnel_identifier_ = tunnel_identifier_ << 7 | byte >> 1;
        tunnel_state_ = 5;
        return;
    case 5:
        tunnel_length_ = byte;
        tunnel_count_ = 0;
        std::memset(tunnel_data_, 0, sizeof tunnel_data_);
        tunnel_state_ = 6;
        return;
    case 6:
        TunnelData(byte);
        return;
    default:
        tunnel_identifier_ = byte;
        tunnel_state_ = 2;
        return;
    }
}

void CLCD_Manager::TunnelData(uint8_t byte) {
    if (tunnel_count_ < tunnel_length_) {
        if (tunnel_count_ < CAN_DATA_MAX) tunnel_data_[tunnel_count_] = byte;
        ++tunnel_count_;
    }
    if (tunnel_count_ < tunnel_length_) return;
    if (tunnel_length_ <= CAN_DATA_MAX && can_frame_handler != nullptr)
        can_frame_handler(tunnel_identifier_, tunnel_length_, tunnel_data_);
    tunnel_state_ = 1;
    parser_state_ = PARSE_NORMAL;
}
