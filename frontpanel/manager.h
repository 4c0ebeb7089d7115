// CLCD_Manager: the front panel. It is the peripheral LCD01 (id 70, class
// 0x1A; the name table also knows LCD02 = 71) that the peripheral task polls
// on every pass, so the panel, its byte parser, the keyboard decoder and every
// screen run on the peripheral task's thread. It owns the LCD module driver
// (CLCD) on serial port 1, the PS/2 keyboard decoder, the web-LCD mirror's
// TCP server and every menu item, built once from the menu table.
//
// Poll brings the panel up (a table of panel states to steps: probe,
// initialise, splash, run, re-initialise, mode change), reads the panel's
// bytes (frontpanel/panel_input.cpp), redraws the current menu and the
// cursor, keeps the six status indicators (a table of {kind, state -> icon,
// next state}), counts the communication and inactivity time-outs and logs
// the user out. Screens call back into the manager for menu activation,
// login, redraw requests, the cursor and the screen services (editing,
// aligned drawing, message operations; frontpanel/services.cpp).
//
// Other tasks reach the panel only through SetIndicator, NotifyCommActivity
// and the busy mark (peripherals/front_panel_link.h); each stores a byte that
// Poll reads in the same or a later pass.
#pragma once

#include "display/lcd_display_driver.h"
#include "frontpanel/keyboard_decoder.h"
#include "frontpanel/lcd.h"
#include "frontpanel/menu.h"
#include "peripherals/front_panel_link.h"
#include "platform/kernel/kernel.h"

#include <cstddef>
#include <cstdint>

class CSerialDriver;
class CTCP_Server;
struct letter_s;

// The six status indicators.
enum indicator_kind : uint8_t {
    INDICATOR_MODEM_LINK = 1,   // modem: 4 ring, 3 connected, 1 idle
    INDICATOR_PANEL_SWITCH = 2, // panel switch reports: 1, 2
    INDICATOR_KEY = 3,          // a key was pressed: 1 starts the hourglass
    INDICATOR_POWER = 4,        // power source
    INDICATOR_ETHERNET = 5,     // Ethernet link: 1 up, 2 down
    INDICATOR_ACTIVITY = 6,     // communication activity: 1 starts the arrows
    INDICATOR_KINDS = 6,
};

// dmsControlMode values the panel reads and writes.
enum control_mode : uint32_t {
    CONTROL_LOCAL = 2,
    CONTROL_CENTRAL = 4,
    CONTROL_CENTRAL_OVERRIDE = 5,
};

// Pending activation kinds (the message the run screens activate).
enum pending_kind : uint32_t {
    PENDING_PERMANENT = 2,
    PENDING_CHANGEABLE = 3,
    PENDING_VOLATILE = 4,
    PENDING_BLANK = 6,
    PENDING_BLANK_OTHER = 7,
};

// The message editor record, shared by the message screens.
struct message_editor_record {
    static constexpr size_t TEXT_BYTES = 1024;
    static constexpr size_t OWNER_BYTES = 41;
    char text[TEXT_BYTES] = {};
    uint32_t length = 0;
    uint16_t save_slot = 0; // changeable message 1-500, 0 none
    uint8_t page = 1;
    uint8_t priority = 255;
    uint8_t mode = 'P';
    uint8_t mode_extra = 0;
    uint8_t beacon = 0;
    char owner[OWNER_BYTES] = {};
};

// A tunnelled CAN frame of the remote control panel's network, handed over
// whole by the panel parser (the tunnel driver installs itself here).
using panel_can_frame_fn = void (*)(uint32_t identifier, uint8_t length, const uint8_t* data);

class CLCD_Manager : public CFrontPanelPeripheral,
                     public class_factory,
                     public front_panel_view,
                     private CLCDOwner {
  public:
    static constexpr size_t MENU_CAPACITY = 205;
    static constexpr uint16_t ID_LCD01 = 70;
    static constexpr uint16_t ID_LCD02 = 71;
    static constexpr uint16_t MIRROR_PORT = 15002;
    static constexpr uint32_t MIRROR_RING_BYTES = 4000;
    static constexpr uint8_t NO_KEY = 255;

    // Builds every menu from the table and wires them; the current menu is
    // the start menu (1).
    explicit CLCD_Manager(uint16_t id);
    ~CLCD_Manager() override;

    // Stores the driver of serial port 1 and starts the LCD driver. -> false
    // (state INIT ERROR) when the driver refuses.
    bool Init(CSerialDriver* serial);

    // "LCD01" (70), "LCD02" (71), else null; the reverse gives 0 for others.
    static const char* IdToName(uint16_t id);
    static uint16_t NameToId(const char* name);

    // --- the peripheral ---------------------------------------------------------------
    void Poll() override;
    void ForwardLetter(const letter_s& letter) override; // letter 127: OnEvent
    using CPeripheral::OnEvent;
    // Letter 127: value 2 blinks the power indicator, 3 and 4 stop it; the
    // current menu sees every such letter.
    void OnEvent(const letter_s& letter);

    // --- what other tasks call ------------------------------------------------------------
    void SetIndicator(uint8_t kind, uint8_t state) override;
    void NotifyCommActivity() override;
    void SetLocalIndicator(bool on) override;
    void SetBusy() override;
    void ClearBusy() override;
    void ClearScreen() override;
    void SetBacklight(bool on, uint32_t seconds) override;
    void PrintLine(uint8_t row, const char* text, uint8_t justify) override;
    void SetBacklightPermission(bool allowed) override;
    void RequestRefresh() override; // the control mode changed
    void StartWebLCD() override;
    void MarkMenusForReload() override;

    // --- menus ------------------------------------------------------------------------------
    // Id 0 with an asking item: the asking item's parent; else the first
    // built menu with that id, or null.
    CMenuItem* FindMenu(int32_t id, CMenuItem* asking);
    // Makes a menu current: a menu whose rights the user lacks is replaced
    // by the insufficient-rights screen (-1) with the asking item as its
    // parent; 23 and 192 take the asking item as parent. With re-entry the
    // item gets KEY_REENTRY instead of OnEnter. -> false (nothing changed,
    // logged) for a negative id or a menu not found.
    bool ActivateMenu(int32_t id, CMenuItem* asking, bool reentry);
    // Appends a built menu. -> false when the array is full.
    bool AddMenu(CMenuItem* item);
    size_t MenuCount() const { return menu_count_; }
    CMenuItem* MenuAt(size_t i) const { return i < menu_count_ ? menus_[i] : nullptr; }
    CMenuItem* CurrentMenu() const { return current_; }
    CMenuItem* StartMenu() const { return start_menu_; }
    void SetStartMenu(CMenuItem* item) { start_menu_ = item; }
    // 1 full, 2 partial; a pending full redraw is never lowered to partial.
    void RequestRedraw(uint8_t kind);
    // The underline cursor (rows 1-8, columns 1-40); a negative row or
    // column keeps the stored one.
    void SetCursor(bool visible, int32_t row, int32_t column);
    void SetCursorPos(int32_t row, int32_t column, uint32_t height);
    // A screen asks for an Escape as if the keypad's Escape key was pressed.
    void InjectEscape() { inject_escape_ = 1; }

    // --- login ------------------------------------------------------------------------------
    // Levels 0, 1, 3 hold every right; 2 RIGHTS_OPERATOR; 4 and up row
    // level-4 of communityNameAccessMask. -> false for a negative level.
    // The login belongs to the source whose keys entered it (the panel, or
    // the mirror's connection of the moment): while it lasts only that
    // source's keys act; with nobody logged in, keys act only on the screens
    // of the logged-out panel, and no shortcut or quick message runs.
    bool Login(int32_t level);
    void Logout();
    static uint32_t RightsOfLevel(int32_t level);
    int32_t UserLevel() const { return user_level_; }
    bool LoggedIn() const { return user_level_ >= 0; }
    uint32_t Rights() const { return rights_; }

    // --- language ---------------------------------------------------------------------------
    // halvLanguage 2: French and the "FRCA" keyboard; else English, "ENUS".
    void SetLanguage();
    bool French() const { return language_ == 1; }
    const char* Text(const menu_text& text) const { return text.Of(French()); }

    // --- the panel link (frontpanel/panel_input.cpp) -------------------------------------------
    void ProcessPanelByte(uint8_t byte);
    // A byte from the web-LCD mirror: keypad and keyboard bytes only.
    void ProcessMirrorByte(uint8_t byte);
    void EnterLocalMode();
    void EnterCentralMode();
    void FeedCanTunnelByte(uint8_t byte);
    static void SetCanFrameHandler(panel_can_frame_fn handler);

    // --- what the screens share ---------------------------------------------------------------
    CLCD& Lcd() { return lcd_; }
    keyboard_decoder& Keyboard() { return keyboard_; }
    message_editor_record editor;
    uint8_t screen_state[12] = {};
    // Right is delivered to the screen as a key (else it only ends a
    // multi-tap sequence).
    uint8_t right_is_navigation = 0;
    uint8_t multitap_index = 0;
    // 0 every indicator drawn, 1 kinds 1-4, 2 kinds 2-3, 3 none.
    uint8_t indicator_mode = 0;
    uint8_t backlight_enabled = 1;
    uint8_t backlight_minutes = 10;
    uint8_t refresh_period = 0;
    // The sign image on the panel: written under SignImageMutex.
    uint8_t sign_image = 0;
    TX_MUTEX& SignImageMutex() { return sign_image_mutex_; }
    bool SignImageMutexReady() const { return sign_image_mutex_ready_; }
    // The display task's read of the sign-image flag, under the mutex.
    uint8_t SignImageView() const override;
    uint32_t pending_kind = 0;
    uint32_t pending_number = 0;
    // The message number typed in Save As whose row was in use.
    uint32_t replace_candidate = 0;
    // A one-line note for row 8, drawn after the next full redraw of
    // whichever screen is current then (a save that failed).
    void PostNotice(const char* text) { notice_ = text; }
    uint32_t cursor_height = 7;

    uint8_t PanelState() const { return panel_state_; }
    uint8_t ParserState() const { return parser_state_; }
    uint8_t IndicatorState(uint8_t kind) const;
    uint8_t FirstRevision() const { return revision_first_; }
    uint8_t SecondRevision() const { return revision_second_; }
    bool MirrorActive() const { return mirror_active_ != 0; }
    uint32_t MirrorBytesTaken() const { return mirror_bytes_; }
    uint32_t InactivityCountdown() const { return inactivity_; }
    // Who holds the login.
    enum key_source : uint8_t { SOURCE_NONE, SOURCE_PANEL, SOURCE_MIRROR };
    key_source SessionSource() const { return session_source_; }

    // --- screen services (frontpanel/services.cpp) --------------------------------------------
    // Editing and drawing; each requests a partial redraw when it changes
    // something.
    bool EditText(char* buffer, size_t size, uint16_t* key);
    bool EditNumber(uint32_t* value, uint32_t maximum, uint16_t* key, bool wrap);
    void DrawNumber(uint8_t row, uint8_t column, int32_t value, uint8_t width, bool place_cursor);
    void DrawDecimal(uint8_t row, uint8_t column, uint32_t integer, uint8_t integer_digits,
                     uint32_t fraction, uint8_t fraction_digits, bool point_entered,
                     bool place_cursor);
    void DrawWrappedText(uint8_t row, uint8_t column, const char* text, uint8_t width, uint8_t rows,
                         bool place_cursor);
    // Messages.
    void SetPendingActivation(uint32_t kind, uint32_t number) {
        pending_kind = kind;
        pending_number = number;
    }
    void SetPendingActivationIfValid(uint32_t ignored, int32_t kind, uint32_t number);
    bool ActivateMessage(uint16_t duration);
    bool SaveEditedMessage();
    // Writes `request` into row `row` of changeableMsgStatus and waits for
    // `expected`. -> false on error or time-out.
    bool RequestMessageStatus(uint16_t row, uint8_t request, uint8_t expected);
    // The first free changeable row becomes the save slot and the editor
    // opens (F4). -> false when no row is free.
    bool EditFirstFreeMessage();
    bool IsMessageDisplayed(uint8_t memory_type, uint16_t number);
    // Passwords under the keypad's letter groups.
    bool IsPasswordUnique(const char* text);
    static bool KeypadEqual(const char* a, const char* b);
    static char KeypadGroupChar(char character);

  private:
    struct poll_step_row;

    // CLCDOwner.
    uint8_t ReinitCountdown() const override { return reinit_countdown_; }

    // Poll steps.
    void ReadPanelBytes();
    void StepRefresh();
    void StepPowerIndicator();
    void RunPanelState();
    void StepProbe();
    void StepInitialise();
    void StepSettle();
    void StepSplash();
    void StepRun();
    void StepReinitialise();
    void StepModeChange();
    void DrawCurrent();
    void DrawCursor();
    void StepBacklight();
    void StepCommActivity();
    void StepStatusRequest();
    void StepCommTimeout();
    void StepInactivity();
    void RefreshIndicators(bool force);
    void DrawIndicator(uint8_t kind);
    void EnterMenu(CMenuItem* item, bool reentry);
    void ReloadInactivity();

    // Panel input steps (panel_input.cpp).
    struct parser_row;
    struct report_row;
    void ParseNormal(uint8_t byte);
    void ParseReport(uint8_t byte);
    void ParseTunnel(uint8_t byte);
    void ParseLockState(uint8_t byte);
    void ParseKeyboard(uint8_t byte);
    void ReportRevision(uint8_t byte);
    void ReportReinitialised(uint8_t byte);
    void ReportSwitch(uint8_t byte);
    void ReportLocal(uint8_t byte);
    void ReportCentral(uint8_t byte);
    void ReportReset(uint8_t byte);
    void ReportTunnel(uint8_t byte);
    void ReportToggle(uint8_t byte);
    void ReportKeyboard(uint8_t byte);
    void KeyActivity();
    key_source KeySource() const;
    bool KeysAct() const;
    bool SourceLoggedIn() const;
    void WatchMirrorConnection();
    void KeypadKey(uint8_t key);
    bool DeliverKey(uint16_t event);
    void KeyboardKeys();
    void ShortcutKey(uint16_t code);
    bool QuickMessage(uint8_t n);
    bool QuickMessageRefused();
    void TunnelByte(uint8_t byte);
    void TunnelData(uint8_t byte);
    void BacklightOnKey();

    CLCD lcd_;
    keyboard_decoder keyboard_;
    CTCP_Server* mirror_ = nullptr;
    CSerialDriver* serial_ = nullptr;
    mutable TX_MUTEX sign_image_mutex_{};
    bool sign_image_mutex_ready_ = false;

    CMenuItem* menus_[MENU_CAPACITY] = {};
    size_t menu_count_ = 0;
    CMenuItem* current_ = nullptr;
    CMenuItem* start_menu_ = nullptr;

    uint32_t language_ = 0;
    int32_t user_level_ = -1;
    uint32_t rights_ = 0;

    uint8_t panel_state_ = 0;
    uint8_t reinit_countdown_ = 0;
    volatile uint8_t mode_change_request_ = 0;
    volatile uint8_t comm_activity_request_ = 0;
    uint8_t inject_escape_ = 0;
    const char* notice_ = nullptr;
    uint8_t power_blinking_ = 0;
    uint8_t blink_counter_ = 0;
    uint8_t last_key_ = NO_KEY;
    uint8_t redraw_ = 1;
    uint8_t cursor_visible_ = 0;
    uint32_t cursor_row_ = 1, cursor_column_ = 1;
    uint8_t drawn_cursor_visible_ = 0;
    uint32_t drawn_cursor_row_ = 0xFFFFFFFFu, drawn_cursor_column_ = 0xFFFFFFFFu;
    uint8_t mirror_active_ = 0;
    uint8_t refresh_counter_ = 0;
    uint32_t inactivity_ = 0;
    uint8_t revision_first_ = 0, revision_second_ = 0;
    uint8_t parser_state_ = 0;
    uint8_t resume_state_ = 0; // where a report inside a keyboard stream returns
    uint8_t mirror_parser_state_ = 0, mirror_resume_state_ = 0;
    bool from_mirror_ = false;
    bool injecting_ = false;
    key_source session_source_ = SOURCE_NONE;
    uint32_t mirror_connection_ = 0;
    uint32_t mirror_bytes_ = 0;
    uint8_t comm_timeout_ = 0;
    uint8_t splash_countdown_ = 3;
    uint8_t backlight_was_enabled_ = 0;

    volatile uint8_t indicators_[INDICATOR_KINDS + 1] = {0, 1, 1, 5, 7, 2, 5};
    uint8_t drawn_indicators_[INDICATOR_KINDS + 1] = {};
    uint8_t probe_counter_ = 0;
    uint8_t revision_counter_ = 0;
    uint8_t status_counter_ = 0;
    char switch_latch_ = '2';

    // The tunnel parser.
    uint8_t tunnel_previous_ = 0;
    uint8_t tunnel_state_ = 1;
    uint32_t tunnel_identifier_ = 0;
    uint8_t tunnel_length_ = 0;
    uint8_t tunnel_count_ = 0;
    uint8_t tunnel_data_[8] = {};
};
