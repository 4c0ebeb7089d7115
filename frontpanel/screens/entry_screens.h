// The front panel's entry screens: the start-up banner (splash), the home
// screen that shows the sign's state to anybody and takes the password
// (login), the main menu a logged-in operator reaches, the screen shown
// instead of a menu the operator has no rights for, and the version and
// status lists of the diagnostics menu. Every text has an English and a
// French form; the manager's language picks one.
//
// A password is checked in this order: the administrator community name
// (level 3), the panel's administrator password halvLCDAdminPassword
// (level 1), the panel's operator password halvLCDPassword (level 2), the
// user community names (level 4 + row). A community name is compared
// character by character; a keypad key matches every letter of its key. The
// two panel passwords are numbers, compared as digit strings: an empty
// entry matches none of them.
#pragma once

#include "frontpanel/lcd.h"
#include "frontpanel/menu.h"
#include "frontpanel/screens/choice.h"
#include "frontpanel/screens/container.h"

#include <cstddef>
#include <cstdint>

// The start-up banner: the legend of the panel's lamps and the firmware's
// identification, with the hourglass turning while the panel comes up.
class CLCD_SplashScreen : public CMenuItem {
  public:
    explicit CLCD_SplashScreen(int32_t id = MENU_SPLASH);
    bool OnKey(CLCD_Manager& manager, uint16_t* key) override;
    void Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) override;

  private:
    uint8_t animation_ = 8;
};

class CLCD_Login : public CMenuItem {
  public:
    static constexpr size_t ENTRY_LENGTH = 16;
    static constexpr uint8_t ERROR_DRAWS = 4;
    static constexpr uint8_t STATUS_PAGE_DRAWS = 8;

    explicit CLCD_Login(int32_t id = MENU_LOGIN);
    void OnEnter(CLCD_Manager& manager) override;
    void OnActivated(CLCD_Manager& manager) override;
    void OnLeave(CLCD_Manager& manager, int32_t next_id) override;
    bool OnKey(CLCD_Manager& manager, uint16_t* key) override;
    void Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) override;

    // The typed entry against a stored text: a key without the keypad bit
    // must be the same character; a keypad key matches any character of its
    // key; the text ends with the entry.
    bool MatchText(const char* text) const;
    // The typed entry as a digit string against the number's digits; an
    // empty entry, or a character that is no digit, matches nothing.
    bool MatchNumber(uint32_t number) const;
    // -> the user level the entry gives, -1 for none.
    int32_t CheckPassword() const;

    size_t EntryLength() const { return length_; }
    bool ErrorShown() const { return error_shown_ != 0; }

  private:
    bool OnLocalKey(CLCD_Manager& manager, uint16_t event);
    void Reset();
    void DrawStatusLine(CLCD_Manager& manager, CLCD& lcd, uint8_t phase);
    void DrawPasswordLine(CLCD_Manager& manager, CLCD& lcd);
    void DrawSwitchToLocal(CLCD_Manager& manager, CLCD& lcd);
    void DrawLine(CLCD& lcd, uint8_t row, const char* text, bool force);

    uint16_t entry_[ENTRY_LENGTH] = {};
    uint8_t length_ = 0;
    uint8_t error_shown_ = 0;
    uint8_t error_countdown_ = 0;
    uint8_t status_page_ = 0;
    uint8_t status_countdown_ = 0;
    uint8_t saved_right_is_navigation_ = 0;
    uint8_t password_line_shown_ = 0;
    // What the periodic rows last showed.
    char drawn_[LCD_ROWS][LCD_COLUMNS + 1] = {};
};

// The main menu: a container whose Escape logs the user out.
class CLCD_MainMenu : public CLCD_MenuItemEx {
  public:
    explicit CLCD_MainMenu(int32_t id = MENU_MAIN);
    bool OnKey(CLCD_Manager& manager, uint16_t* key) override;
    void Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) override;
};

// Shown instead of a menu the user has no rights for; Enter (or Escape)
// returns to the menu that asked.
class CLCD_InsufficientRights : public CMenuItem {
  public:
    explicit CLCD_InsufficientRights(int32_t id = MENU_INSUFFICIENT_RIGHTS);
    bool OnKey(CLCD_Manager& manager, uint16_t* key) override;
    void Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) override;
};

// The modules the sign knows (moduleModel) with their versions.
class CLCD_VersionInfo : public CLCD_SimpleMenuBase {
  public:
    static constexpr size_t MODULE_ROWS = 8;
    // A module name keeps 24 characters and its terminator.
    static constexpr size_t NAME_BYTES = 25;

    explicit CLCD_VersionInfo(int32_t id = 6);
    void OnEnter(CLCD_Manager& manager) override;
    void DrawChoiceSuffix(CLCD_Manager& manager, CLCD& lcd, size_t index, uint8_t row,
                          uint8_t justify) override;

  private:
    char names_[MODULE_ROWS][NAME_BYTES] = {};
    choice_row rows_[MODULE_ROWS] = {};
};

// The controller's counters: watchdog failures, uptime, modem signal,
// Ethernet interrupts, flash database use.
class CLCD_StatusInfo : public CLCD_SimpleMenuBase {
  public:
    explicit CLCD_StatusInfo(int32_t id = 7);
    void DrawChoiceSuffix(CLCD_Manager& manager, CLCD& lcd, size_t index, uint8_t row,
                          uint8_t justify) override;
};

// The login screen's clock line for local time `seconds`: "01:05:09 PM
// 12/11/2026" in English (12-hour clock), "13:05:09 12/11/2026" in French.
void format_panel_time(char* text, size_t size, uint32_t seconds, bool french);

// The firmware's identification as the banner and the login screen show it.
void firmware_identification(char* text, size_t size);

extern const menu_family ENTRY_SCREENS;
