// The front-panel manager (see manager.h): creation, the poll with its panel
// states, menu activation, login, the indicators and the cursor.
#include "frontpanel/manager.h"

#include "comm/agents/ntcip_agents.h"
#include "comm/drivers/serial_driver.h"
#include "comm/net/servers.h"
#include "peripherals/factory.h"
#include "runtime/console.h"
#include "runtime/letter_codes.h"
#include "runtime/os.h"
#include "runtime/post_office.h"
#include "store/database.h"
#include "store/objects.h"

#include <cstring>

namespace {

const uint8_t PANEL_PORT = 1;
const uint32_t LANGUAGE_FRENCH_SETTING = 2;
const uint32_t FEATURE_WEB_LCD = 0x10;
const uint32_t POWER_SOURCE_AC_LINE = 4;
const uint8_t PROBES = 4;
const uint8_t REVISION_REQUEST_POLLS = 61;
const uint8_t STATUS_REQUEST_POLLS = 30;
const uint8_t COMM_TIMEOUT_POLLS = 60;
const uint8_t BLINK_PERIOD = 8;
const uint8_t BLINK_HALF = 4;
const uint8_t POWER_BLANK = 7;
const uint32_t FIRST_COMMUNITY_LEVEL = 4;
const uint32_t USER_COMMUNITIES = 100;
const uint8_t CURSOR_ON = 0xFF;
const uint8_t PARSE_NORMAL_STATE = 0;

// Letter 127's values for the front panel.
const uint32_t EVENT_POWER_BLINK = 2;
const uint32_t EVENT_POWER_STEADY = 3;
const uint32_t EVENT_POWER_STEADY_TOO = 4;

enum panel_state : uint8_t {
    PANEL_PROBE = 0,
    PANEL_INITIALISE = 2,
    PANEL_SETTLE = 3,
    PANEL_RUN = 4,
    PANEL_REINITIALISE = 5,
    PANEL_MODE_CHANGE = 6,
    PANEL_SPLASH = 8,
};

// What an indicator's state draws: an icon, the clear of an icon place, or
// nothing (a step of an animation).
enum indicator_action : uint8_t { DRAW_ICON, CLEAR_PLACE, NOTHING };

} // namespace

// --- creation -------------------------------------------------------------------------

CPeripheral* Create_LCDManager(const PeripheralRecord& record, const PeripheralParameters&) {
    CSerialDriver* serial = static_cast<CSerialDriver*>(AcquirePortDriver(PANEL_PORT));
    CLCD_Manager* manager = new CLCD_Manager(record.id);
    manager->SetListSlot(record.list_slot);
    manager->SetPollPeriod(1);
    manager->SetCountdown(0);
    manager->SetListed(0);
    if (!manager->Init(serial)) {
        delete manager;
        ReleasePortDriver(PANEL_PORT);
        return nullptr;
    }
    manager->SetEnabled(1);
    return manager;
}

CLCD_Manager::CLCD_Manager(uint16_t id)
    : CFrontPanelPeripheral(PERIPHERAL_CLASS_LCD_MANAGER, id),
      class_factory(PERIPHERAL_CLASS_LCD_MANAGER), mirror_(new CTCP_Server) {
    SetLanguage();
    build_menus(*this, MENU_TABLE, MENU_TABLE_COUNT);
    if (common_menu_init(*this, MENU_TABLE, MENU_TABLE_COUNT) != 0)
        console_printf("common menu init failed\n");
    current_ = start_menu_;
}

// The manager owns every menu it built.
CLCD_Manager::~CLCD_Manager() {
    for (size_t i = 0; i < menu_count_; ++i)
        delete menus_[i];
    delete mirror_;
}

bool CLCD_Manager::Init(CSerialDriver* serial) {
    serial_ = serial;
    if (lcd_.Init(serial, this) != 0) {
        m_byState = STATE_INIT_ERROR;
        return false;
    }
    os_status rc = os_mutex_create(&sign_image_mutex_, "LCDDisplayDriver Mutex", 1);
    if (rc != OS_OK)
        console_printf("CLCD_Manager::Init: error creating lcd display driver mutex:%d\n", int(rc));
    sign_image_mutex_ready_ = rc == OS_OK;
    m_byState = STATE_READING;
    return true;
}

const char* CLCD_Manager::IdToName(uint16_t id) {
    return id == ID_LCD01 ? "LCD01" : id == ID_LCD02 ? "LCD02" : nullptr;
}

uint16_t CLCD_Manager::NameToId(const char* name) {
    if (name == nullptr) return 0;
    if (std::strcmp(name, "LCD01") == 0) return ID_LCD01;
    if (std::strcmp(name, "LCD02") == 0) return ID_LCD02;
    return 0;
}

void CLCD_Manager::SetLanguage() {
    const bool french = db_get(obj::halvLanguage) == LANGUAGE_FRENCH_SETTING;
    language_ = french ? 1 : 0;
    keyboard_.SetLocale(french ? LOCALE_FRCA : LOCALE_ENUS);
}

uint8_t CLCD_Manager::SignImageView() const {
    if (!sign_image_mutex_ready_) return sign_image;
    os_mutex_get(&sign_image_mutex_, OS_WAIT_FOREVER);
    const uint8_t view = sign_image;
    os_mutex_put(&sign_image_mutex_);
    return view;
}

// --- the poll --------------------------------------------------------------------------

struct CLCD_Manager::poll_step_row {
    uint8_t state;
    void (CLCD_Manager::*step)();
};

void CLCD_Manager::Poll() {
    if (m_byState < STATE_READING) {
        console_printf("exit state < created\n");
        return;
    }
    ReadPanelBytes();
    StepRefresh();
    StepPowerIndicator();
    RunPanelState();
    StepBacklight();
    StepCommActivity();
    lcd_.SendKeepAlive();
    RefreshIndicators(lcd_.top_row_wiped != 0);
    lcd_.top_row_wiped = 0;
    StepStatusRequest();
    StepCommTimeout();
    StepInactivity();
    os_sleep(1);
}

void CLCD_Manager::ReadPanelBytes() {
    int byte = 0;
    while (serial_ != nullptr && serial_->ReadByte(&byte))
        ProcessPanelByte(uint8_t(byte));
    if (mirror_active_) {
        while (mirror_->FlushTx() == CTCP_Server::FLUSH_MAX) {
        }
        WatchMirrorConnection();
        uint8_t mirrored = 0;
        while (mirror_->ReadByte(&mirrored))
            ProcessMirrorByte(mirrored);
    }
    if (inject_escape_) {
        inject_escape_ = 0;
        injecting_ = true;
        ProcessPanelByte(0x00);
        injecting_ = false;
    }
}

// A new viewer, or none: the mirror's parser starts afresh, and a login the
// viewer before held ends with its connection.
void CLCD_Manager::WatchMirrorConnection() {
    const uint32_t connection = mirror_->ConnectionNumber();
    if (connection == mirror_connection_) return;
    mirror_connection_ = connection;
    mirror_parser_state_ = PARSE_NORMAL_STATE;
    mirror_resume_state_ = PARSE_NORMAL_STATE;
    if (session_source_ == SOURCE_MIRROR) Logout();
}

// A refresh period N redraws the screen in part every N + 1 polls.
void CLCD_Manager::StepRefresh() {
    if (refresh_period == 0) return;
    if (refresh_counter_ < refresh_period) {
        ++refresh_counter_;
        return;
    }
    RequestRedraw(DRAW_PARTIAL);
    refresh_counter_ = 0;
}

void CLCD_Manager::StepPowerIndicator() {
    if (!power_blinking_) {
        indicators_[INDICATOR_POWER] = db_get(obj::powerSource) == POWER_SOURCE_AC_LINE ? 1 : 2;
        blink_counter_ = 0;
        return;
    }
    if (blink_counter_ == 0) {
        blink_counter_ = BLINK_PERIOD;
        return;
    }
    --blink_counter_;
    if (blink_counter_ == BLINK_HALF) indicators_[INDICATOR_POWER] = 2;
    if (blink_counter_ == 0) indicators_[INDICATOR_POWER] = POWER_BLANK;
}

void CLCD_Manager::RunPanelState() {
    static const poll_step_row STEPS[] = {
        {PANEL_PROBE, &CLCD_Manager::StepProbe},
        {PANEL_INITIALISE, &CLCD_Manager::StepInitialise},
        {PANEL_SETTLE, &CLCD_Manager::StepSettle},
        {PANEL_SPLASH, &CLCD_Manager::StepSplash},
        {PANEL_RUN, &CLCD_Manager::StepRun},
        {PANEL_REINITIALISE, &CLCD_Manager::StepReinitialise},
        {PANEL_MODE_CHANGE, &CLCD_Manager::StepModeChange},
    };
    for (const poll_step_row& row : STEPS)
        if (row.state == panel_state_) {
            (this->*row.step)();
            return;
        }
    StepProbe(); // any other state probes
}

// Four probes; a panel that reports its revision meanwhile moves on at once,
// one that never answers is initialised all the same.
void CLCD_Manager::StepProbe() {
    lcd_.Probe();
    if (++probe_counter_ < PROBES) return;
    probe_counter_ = 0;
    panel_state_ = PANEL_INITIALISE;
}

void CLCD_Manager::StepInitialise() {
    lcd_.RequestRevision();
    lcd_.RequestStatus();
    SetLocalIndicator(db_get(obj::dmsControlMode) == CONTROL_LOCAL);
    if (current_ != nullptr) {
        current_->OnEnter(*this);
        current_->OnActivated(*this);
        current_->Draw(*this, lcd_, DRAW_FULL);
    }
    indicators_[INDICATOR_POWER] = 1;
    panel_state_ = PANEL_SETTLE;
}

void CLCD_Manager::StepSettle() {
    panel_state_ = PANEL_SPLASH;
}

// The splash shows for three polls once per manager; then the login screen.
void CLCD_Manager::StepSplash() {
    if (splash_countdown_ > 0) {
        if (current_ != nullptr) current_->Draw(*this, lcd_, DRAW_PERIODIC);
        --splash_countdown_;
        return;
    }
    if (CMenuItem* login = FindMenu(MENU_LOGIN, nullptr)) {
        current_ = login;
        login->OnEnter(*this);
        login->OnActivated(*this);
        lcd_.Clear();
        login->Draw(*this, lcd_, DRAW_FULL);
    }
    redraw_ = 0;
    panel_state_ = PANEL_RUN;
}

void CLCD_Manager::StepRun() {
    if (reinit_countdown_ != 0) {
        panel_state_ = PANEL_REINITIALISE;
        return;
    }
    if (revision_second_ == 0 && ++revision_counter_ >= REVISION_REQUEST_POLLS) {
        revision_counter_ = 0;
        lcd_.RequestRevision();
    }
    if (mode_change_request_) {
        panel_state_ = PANEL_MODE_CHANGE;
        return;
    }
    DrawCurrent();
    DrawCursor();
}

void CLCD_Manager::DrawCurrent() {
    const uint8_t phase = redraw_;
    if (phase == DRAW_FULL) lcd_.Clear();
    if (current_ != nullptr) current_->Draw(*this, lcd_, phase);
    if (phase == DRAW_FULL && notice_ != nullptr) {
        lcd_.PrintLine(8, LCD_CENTRE, "%s", notice_);
        notice_ = nullptr;
    }
    // The clear took the cursor away: draw it again.
    if (phase == DRAW_FULL && cursor_visible_) --drawn_cursor_column_;
    redraw_ = 0;
}

// The cursor is an underline below its character cell.
void CLCD_Manager::DrawCursor() {
    if (!cursor_visible_ && !drawn_cursor_visible_) return;
    if (cursor_visible_ == drawn_cursor_visible_ && cursor_row_ == drawn_cursor_row_ &&
        cursor_column_ == drawn_cursor_column_)
        return;
    auto underline = [this](uint8_t colour, uint32_t row, uint32_t column) {
        lcd_.FillRect(colour, uint8_t(6 * column - 6), uint8_t(8 * row - 1),
                      uint8_t(6 * column - 1), uint8_t(8 * row));
    };
    if (drawn_cursor_visible_) underline(0, drawn_cursor_row_, drawn_cursor_column_);
    if (cursor_visible_) underline(CURSOR_ON, cursor_row_, cursor_column_);
    drawn_cursor_visible_ = cursor_visible_;
    drawn_cursor_row_ = cursor_row_;
    drawn_cursor_column_ = cursor_column_;
}

// After the panel re-initialised itself: log out and bring it up again.
void CLCD_Manager::StepReinitialise() {
    if (reinit_countdown_ > 0 && --reinit_countdown_ > 0) return;
    Logout();
    current_ = start_menu_;
    probe_counter_ = 0;
    panel_state_ = PANEL_PROBE;
}

// The control mode changed: central (or central override) ends a login.
void CLCD_Manager::StepModeChange() {
    mode_change_request_ = 0;
    const uint32_t mode = db_get(obj::dmsControlMode);
    if (mode == CONTROL_CENTRAL || mode == CONTROL_CENTRAL_OVERRIDE) Logout();
    RequestRedraw(DRAW_FULL);
    panel_state_ = PANEL_RUN;
}

void CLCD_Manager::StepBacklight() {
    if (backlight_enabled) {
        backlight_was_enabled_ = 1;
    } else if (backlight_was_enabled_) {
        backlight_was_enabled_ = 0;
        lcd_.BacklightOff();
    }
}

void CLCD_Manager::StepCommActivity() {
    if (!comm_activity_request_) return;
    comm_activity_request_ = 0;
    lcd_.SignalActivity();
    indicators_[INDICATOR_ACTIVITY] = 1;
}

void CLCD_Manager::StepStatusRequest() {
    if (++status_counter_ < STATUS_REQUEST_POLLS) return;
    status_counter_ = 0;
    lcd_.RequestStatus();
}

// Sixty polls without a byte from the panel: COMM ERROR, logged once per
// outage; the next byte makes the panel VALID again.
void CLCD_Manager::StepCommTimeout() {
    if (comm_timeout_ < COMM_TIMEOUT_POLLS) ++comm_timeout_;
    if (comm_timeout_ != COMM_TIMEOUT_POLLS) return;
    trace_printf("Warning: Comm Timeout %d\n", int(id_));
    comm_timeout_ = COMM_TIMEOUT_POLLS + 1;
    m_byState = STATE_COMM_ERROR;
}

void CLCD_Manager::StepInactivity() {
    if (session_source_ == SOURCE_NONE || inactivity_ == 0) return;
    if (--inactivity_ == 0) Logout();
}

// --- menus -----------------------------------------------------------------------------

bool CLCD_Manager::AddMenu(CMenuItem* item) {
    if (item == nullptr || menu_count_ >= MENU_CAPACITY) return false;
    menus_[menu_count_++] = item;
    return true;
}

CMenuItem* CLCD_Manager::FindMenu(int32_t id, CMenuItem* asking) {
    if (id == MENU_PARENT) return asking != nullptr ? asking->Parent() : nullptr;
    for (size_t i = 0; i < menu_count_; ++i)
        if (menus_[i]->Id() == id) return menus_[i];
    return nullptr;
}

bool CLCD_Manager::ActivateMenu(int32_t id, CMenuItem* asking, bool reentry) {
    if (id < 0) return false;
    CMenuItem* found = FindMenu(id, asking);
    if (found == nullptr) {
        console_printf("failed to find the desired menu:%d!\n", int(id));
        return false;
    }
    CMenuItem* target = found;
    if ((found->RightsMask() & rights_) != found->RightsMask()) {
        target = FindMenu(MENU_INSUFFICIENT_RIGHTS, nullptr);
        // Without its screen a forbidden menu is never entered.
        if (target == nullptr) {
            console_printf("failed to find the desired menu:%d!\n", int(MENU_INSUFFICIENT_RIGHTS));
            return false;
        }
    }
    last_key_ = NO_KEY;
    if (id == MENU_RUN_OPTIONS || id == MENU_NO_FREE_SLOT) found->SetParent(asking);
    if (asking != nullptr) asking->OnLeave(*this, id);
    if (target != found) target->SetParent(asking);
    cursor_visible_ = 0;
    current_ = target;
    EnterMenu(target, reentry);
    return true;
}

void CLCD_Manager::EnterMenu(CMenuItem* item, bool reentry) {
    if (reentry) {
        uint16_t key = key_event(KEY_REENTRY);
        item->OnKey(*this, &key);
    } else {
        item->OnEnter(*this);
    }
    item->OnActivated(*this);
    RequestRedraw(DRAW_FULL);
}

void CLCD_Manager::RequestRedraw(uint8_t kind) {
    if (kind != DRAW_FULL && kind != DRAW_PARTIAL) return;
    if (redraw_ != DRAW_FULL) redraw_ = kind;
}

void CLCD_Manager::SetCursor(bool visible, int32_t row, int32_t column) {
    cursor_visible_ = visible ? 1 : 0;
    SetCursorPos(row, column, 7);
}

void CLCD_Manager::SetCursorPos(int32_t row, int32_t column, uint32_t height) {
    if (row >= 0) cursor_row_ = uint32_t(row);
    if (column >= 0) cursor_column_ = uint32_t(column);
    cursor_height = height;
}

// Letter 125 (a file was stored): no built menu reloads a file yet.
void CLCD_Manager::MarkMenusForReload() {}

// --- login -----------------------------------------------------------------------------

uint32_t CLCD_Manager::RightsOfLevel(int32_t level) {
    if (level < 0) return 0;
    if (level == 2) return RIGHTS_OPERATOR;
    if (uint32_t(level) < FIRST_COMMUNITY_LEVEL) return RIGHTS_ALL;
    const uint32_t row = uint32_t(level) - FIRST_COMMUNITY_LEVEL;
    return row < USER_COMMUNITIES ? db_get(obj::communityNameAccessMask.row(row)) : 0;
}

void CLCD_Manager::ReloadInactivity() {
    inactivity_ = 2 * db_get(obj::fdotObj11_11);
}

bool CLCD_Manager::Login(int32_t level) {
    if (level < 0) return false;
    user_level_ = level;
    rights_ = RightsOfLevel(level);
    session_source_ = KeySource();
    ReloadInactivity();
    ActivateMenu(MENU_MAIN, FindMenu(MENU_LOGIN, nullptr), false);
    lcd_.SetLocalIndicator();
    return true;
}

void CLCD_Manager::Logout() {
    user_level_ = -1;
    rights_ = 0;
    session_source_ = SOURCE_NONE;
    inactivity_ = 0;
    if (db_get(obj::dmsControlMode) != CONTROL_CENTRAL_OVERRIDE)
        db_set(obj::dmsControlMode, CONTROL_CENTRAL, DB_NOTIFY | DB_NO_VALIDATE);
    ActivateMenu(MENU_LOGIN, current_, false);
    lcd_.ClearLocalIndicator();
}

// --- what other tasks call -------------------------------------------------------------

uint8_t CLCD_Manager::IndicatorState(uint8_t kind) const {
    return kind >= 1 && kind <= INDICATOR_KINDS ? indicators_[kind] : 0;
}

// A connected modem's lock stays until the modem goes idle.
void CLCD_Manager::SetIndicator(uint8_t kind, uint8_t state) {
    if (kind < 1 || kind > INDICATOR_KINDS) return;
    if (kind == INDICATOR_MODEM_LINK && indicators_[kind] == 3 && state != 1) return;
    indicators_[kind] = state;
}

void CLCD_Manager::NotifyCommActivity() {
    comm_activity_request_ = 1;
}

void CLCD_Manager::ForwardLetter(const letter_s& letter) {
    OnEvent(letter);
}

void CLCD_Manager::OnEvent(const letter_s& letter) {
    if (letter.count == 2) {
        const uint32_t value = letter.get_u32(4);
        if (value == EVENT_POWER_BLINK) {
            power_blinking_ = 1;
            blink_counter_ = BLINK_PERIOD;
        } else if (value == EVENT_POWER_STEADY || value == EVENT_POWER_STEADY_TOO) {
            power_blinking_ = 0;
            blink_counter_ = 0;
        }
    }
    if (current_ != nullptr) current_->OnEvent(*this, letter);
}

void CLCD_Manager::SetLocalIndicator(bool on) {
    if (on)
        lcd_.SetLocalIndicator();
    else
        lcd_.ClearLocalIndicator();
}

void CLCD_Manager::SetBusy() {
    lcd_.SetBusy();
}

void CLCD_Manager::ClearBusy() {
    lcd_.ClearBusy();
}

void CLCD_Manager::ClearScreen() {
    lcd_.Clear();
}

void CLCD_Manager::SetBacklight(bool on, uint32_t seconds) {
    if (!on) {
        lcd_.BacklightOff();
        return;
    }
    const uint32_t minutes = (seconds + 59) / 60;
    lcd_.BacklightOn(uint8_t(minutes > 255 ? 255 : minutes));
}

void CLCD_Manager::PrintLine(uint8_t row, const char* text, uint8_t justify) {
    lcd_.PrintLine(row, justify, "%s", text);
}

void CLCD_Manager::SetBacklightPermission(bool allowed) {
    backlight_enabled = allowed ? 1 : 0;
}

void CLCD_Manager::RequestRefresh() {
    mode_change_request_ = 1;
}

void CLCD_Manager::StartWebLCD() {
    if (mirror_active_ || !(db_get(obj::halvFeatureSet) & FEATURE_WEB_LCD)) return;
    if (!mirror_->Open(MIRROR_PORT, MIRROR_RING_BYTES)) return;
    lcd_.AttachMirror(mirror_);
    mirror_active_ = 1;
}

// --- indicators ------------------------------------------------------------------------

namespace {

// Each indicator's states and what they draw; a state not listed clears
// the indicator's place (the kind's last row).
const struct {
    uint8_t kind, first_state, last_state, action, what, next;
} INDICATORS[] = {
    {INDICATOR_MODEM_LINK, 2, 2, DRAW_ICON, LCD_ICON_C, 0},
    {INDICATOR_MODEM_LINK, 3, 3, DRAW_ICON, LCD_ICON_LOCK, 0},
    {INDICATOR_MODEM_LINK, 4, 4, DRAW_ICON, LCD_ICON_R, 1},
    {INDICATOR_MODEM_LINK, 0, 255, CLEAR_PLACE, 8, 0},
    {INDICATOR_PANEL_SWITCH, 2, 2, DRAW_ICON, LCD_ICON_LT, 0},
    {INDICATOR_PANEL_SWITCH, 0, 255, CLEAR_PLACE, 0, 0},
    {INDICATOR_KEY, 1, 1, DRAW_ICON, LCD_ICON_HOURGLASS1, 2},
    {INDICATOR_KEY, 2, 2, DRAW_ICON, LCD_ICON_HOURGLASS2, 3},
    {INDICATOR_KEY, 3, 3, DRAW_ICON, LCD_ICON_HOURGLASS3, 4},
    {INDICATOR_KEY, 4, 4, CLEAR_PLACE, 232, 5},
    {INDICATOR_KEY, 0, 255, CLEAR_PLACE, 232, 0},
    {INDICATOR_POWER, 0, 1, DRAW_ICON, LCD_ICON_SIGNAL0, 0},
    {INDICATOR_POWER, 2, 2, DRAW_ICON, LCD_ICON_SIGNAL1, 0},
    {INDICATOR_POWER, 3, 3, DRAW_ICON, LCD_ICON_SIGNAL2, 0},
    {INDICATOR_POWER, 4, 4, DRAW_ICON, LCD_ICON_SIGNAL3, 0},
    {INDICATOR_POWER, 5, 5, DRAW_ICON, LCD_ICON_SIGNAL4, 0},
    {INDICATOR_POWER, 6, 6, DRAW_ICON, LCD_ICON_SIGNAL5, 0},
    {INDICATOR_POWER, 0, 255, CLEAR_PLACE, 224, 0},
    {INDICATOR_ETHERNET, 1, 1, DRAW_ICON, LCD_ICON_FLAG, 0},
    {INDICATOR_ETHERNET, 0, 255, CLEAR_PLACE, 216, 0},
    {INDICATOR_ACTIVITY, 1, 1, DRAW_ICON, LCD_ICON_ARROWS, 2},
    {INDICATOR_ACTIVITY, 2, 2, NOTHING, 0, 3},
    {INDICATOR_ACTIVITY, 3, 3, NOTHING, 0, 4},
    {INDICATOR_ACTIVITY, 4, 4, CLEAR_PLACE, 16, 5},
    {INDICATOR_ACTIVITY, 0, 255, CLEAR_PLACE, 16, 0},
};

// The kinds each indicator mode draws.
const struct { uint8_t first, last; } INDICATOR_MODES[] = {{1, 6}, {1, 4}, {2, 3}, {1, 0}};

} // namespace

void CLCD_Manager::RefreshIndicators(bool force) {
    if (force) std::memset(drawn_indicators_, 0, sizeof drawn_indicators_);
    const uint8_t mode = indicator_mode < 4 ? indicator_mode : 0;
    for (uint8_t kind = INDICATOR_MODES[mode].first; kind <= INDICATOR_MODES[mode].last; ++kind)
        if (indicators_[kind] != drawn_indicators_[kind]) DrawIndicator(kind);
}

void CLCD_Manager::DrawIndicator(uint8_t kind) {
    const uint8_t state = indicators_[kind];
    for (const auto& row : INDICATORS) {
        if (row.kind != kind || state < row.first_state || state > row.last_state) continue;
        if (row.action == DRAW_ICON) lcd_.DrawIcon(lcd_icon(row.what));
        if (row.action == CLEAR_PLACE) lcd_.ClearIcon(row.what);
        drawn_indicators_[kind] = state;
        if (row.next != 0) indicators_[kind] = row.next;
        return;
    }
}
