// The front panel's system screens: the controller's date, time, time zone
// and daylight-saving rule; the password of the logged-in level; the
// restarts and resets; which enterprise-specific traps are sent; the sign's
// beacon type.
//
//   54  CLCD_DateTimeWiz  zone list, daylight-saving list, then the date and
//                         time typed on one screen (CLCD_DateTime, 55)
//   210 CLCD_Password     new password twice, at least 6 characters, unique
//                         under the keypad's letter groups
//   193 CLCD_Reset        one list: each choice writes its object and value
//   70  CLCD_TrapConfig   three pages of trap rows, digits toggle them
//   197 CLCD_BeaconType   one list of the thirteen beacon types
//
// What each choice does is a table (zones, daylight-saving modes, reset
// choices, trap rows, beacon names), so the screens hold no ladder of cases.
#pragma once

#include "frontpanel/fields.h"
#include "frontpanel/menu.h"
#include "frontpanel/screens/wizard.h"
#include "store/objects.h"

#include <cstddef>
#include <cstdint>
#include <ctime>

// --- the tables --------------------------------------------------------------------------

struct time_zone_row {
    menu_text name;
    int32_t offset; // standard time, seconds east of UTC
};
extern const time_zone_row TIME_ZONES[4];

struct daylight_saving_row {
    menu_text name;
    uint8_t mode; // globalDaylightSaving
};
extern const daylight_saving_row DAYLIGHT_SAVING_MODES[2];

enum reset_action : uint8_t {
    RESET_NOTHING = 0,
    RESET_WRITE = 1,    // writes the object; the display task restarts the controller
    RESET_CONTRAST = 2, // the panel's contrast back to its default
};
struct reset_choice {
    menu_text name;
    reset_action action;
    DbObject object;
    uint8_t value;
};
extern const reset_choice RESET_CHOICES[8];
const uint8_t DEFAULT_CONTRAST = 16;

// One enterprise-specific trap: the text listed, and its bit of the trap
// mask (bit b of byte k enables specific trap 8k + b + 2).
struct trap_row {
    const char* text;
    uint8_t byte;
    uint8_t bit;
};
const size_t TRAP_ROWS_PER_PAGE = 6;
const size_t TRAP_PAGES = 3;
extern const trap_row TRAP_ROWS[16];
const size_t TRAP_MASK_BYTES = 8;
// The stored length of a mask: up to its last non-zero byte (0 when clear).
size_t trap_mask_length(const uint8_t (&mask)[TRAP_MASK_BYTES]);

// The beacon types in code order (code = index + 1).
extern const char* const BEACON_TYPE_NAMES[14]; // ends with a null
const uint8_t BEACON_TYPE_COUNT = 13;

// --- the date and time ------------------------------------------------------------------

// The date and the time typed on one screen, as the last step of the date
// and time wizard. Enter with a complete time and a date that exists raises
// the step's done flag; a date that does not exist (29 February of a common
// year) is refused on the screen and the step stays.
class CLCD_DateTime : public CLCD_SimpleWizardBaseMenu {
  public:
    static const int32_t MENU_ID = 55;

    CLCD_DateTime();
    void OnEnter(CLCD_Manager& manager) override;
    bool OnKey(CLCD_Manager& manager, uint16_t* key) override;
    void Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) override;

    const CDateField& Date() const { return date_; }
    const CTimeField& Time() const { return time_; }

  private:
    enum focus_field : uint8_t { FOCUS_DATE = 0, FOCUS_TIME = 1 };

    bool DateKey(CLCD_Manager& manager, uint16_t code, bool erase);
    bool TimeKey(CLCD_Manager& manager, uint16_t code, bool erase);
    void PlaceCursor(CLCD_Manager& manager, const char* text, uint8_t row, const char* leading);

    CTimeField time_;
    CDateField date_;
    uint8_t focus_ = FOCUS_DATE;
    uint8_t refused_ = 0;
};

class CLCD_DateTimeWiz : public CLCD_SimpleWizardBase {
  public:
    explicit CLCD_DateTimeWiz(int32_t id);
    void OnEnter(CLCD_Manager& manager) override;

    const CLCD_DateTime& DateTime() const { return date_time_; }

  protected:
    void Finish(CLCD_Manager& manager) override;

  private:
    wizard_step zone_;
    wizard_step daylight_saving_;
    CLCD_DateTime date_time_;
    const char* zone_names_[5] = {};
    const char* mode_names_[3] = {};
};

// The UTC of a local standard time typed for a zone (seconds east of UTC).
uint32_t utc_of_local_standard_time(const struct tm& local, int32_t offset);

// --- the password -------------------------------------------------------------------------

class CLCD_Password : public CMenuItem {
  public:
    static const size_t PASSWORD_BYTES = 17; // 16 characters and the terminator
    static const size_t MINIMUM_LENGTH = 6;

    explicit CLCD_Password(int32_t id);
    bool HasRights(CLCD_Manager& manager) override;
    void OnEnter(CLCD_Manager& manager) override;
    bool OnKey(CLCD_Manager& manager, uint16_t* key) override;
    void Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) override;

  private:
    enum password_state : uint8_t { STATE_ENTERING = 0, STATE_CONFIRMING = 1 };

    bool KeyEntering(CLCD_Manager& manager, uint16_t* key);
    bool KeyConfirming(CLCD_Manager& manager, uint16_t* key);
    void Save(CLCD_Manager& manager);
    const char* Hint(bool french);

    uint32_t state_ = STATE_ENTERING;
    char new_password_[PASSWORD_BYTES] = {};
    char confirmation_[PASSWORD_BYTES] = {};
    uint8_t error_ = 0;
};

// The object that holds the password of a login level: communityNameAdmin
// for level 3, row level - 4 of communityNameUser from level 4 on. -> false
// for the levels whose password is not a community.
bool password_object_of_level(int32_t level, DbObject& object);

// --- reset options and beacon type ----------------------------------------------------------

// A wizard of one list step whose choice Finish applies.
class CLCD_OneListWizard : public CLCD_SimpleWizardBase {
  public:
    CLCD_OneListWizard(int32_t id, menu_text title);
    void OnEnter(CLCD_Manager& manager) override;
    uint8_t Selected() const { return list_.selected; }

  protected:
    // The entry texts in the manager's language (ending with a null).
    virtual void FillEntries(bool french) = 0;

    wizard_step list_;
    menu_text list_title_;
    const char* entries_[CLCD_SimpleWizardBase::MAX_ENTRIES + 1] = {};
};

class CLCD_Reset : public CLCD_OneListWizard {
  public:
    explicit CLCD_Reset(int32_t id);

  protected:
    void FillEntries(bool french) override;
    void Finish(CLCD_Manager& manager) override;
};

class CLCD_BeaconType : public CLCD_OneListWizard {
  public:
    explicit CLCD_BeaconType(int32_t id);
    void DrawSuffix(CLCD_Manager& manager, CLCD& lcd, uint8_t row, uint8_t justify) override;

  protected:
    void FillEntries(bool french) override;
    void Finish(CLCD_Manager& manager) override;
};

// --- trap configuration ------------------------------------------------------------------------

class CLCD_TrapConfig : public CMenuItem {
  public:
    explicit CLCD_TrapConfig(int32_t id);
    void OnEnter(CLCD_Manager& manager) override;
    bool OnKey(CLCD_Manager& manager, uint16_t* key) override;
    void Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) override;

  private:
    void Toggle(CLCD_Manager& manager, size_t row);

    uint8_t page_ = 0;
    uint8_t page_count_ = TRAP_PAGES;
    uint8_t mask_[TRAP_MASK_BYTES] = {};
};

// The factory records of the system screens.
extern const menu_family SYSTEM_SCREENS;
