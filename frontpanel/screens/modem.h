// The front panel's cellular-modem screens: the modem activation mode (a
// switch that restarts the controller), the modem screen that asks the
// cellular-modem task to detect the modem and to activate it, and the three
// carrier wizards that collect what each carrier needs.
//
//   201 CLCD_ModemActivationEnable  DISABLE / ENABLE, then restart
//   202 CLCD_ModemActivation        detect -> offer -> carrier wizard -> activate
//   203 Verizon, 204 AT&T, 205 Sprint: text steps, handed back to 202
//
// The screen talks to the modem task through its "Modem Events" group: it
// sets a request bit (0x001 detect, 0x008 activate) and reads the reports bit
// by bit. A report that arrives while no request of the screen is pending is
// dropped. The task's own outcome decides: its time-outs arrive as the
// "timed out" report. Only a task silent far longer than its longest
// dialogue makes the screen show "TIMED OUT" by itself, and a report that
// comes after that still shows.
#pragma once

#include "frontpanel/menu.h"
#include "frontpanel/screens/network.h"
#include "frontpanel/screens/wizard.h"
#include "platform/kernel/kernel.h"

#include <cstddef>
#include <cstdint>

const uint32_t MODEM_FEATURE = 0x20; // bit of halvFeatureSet

// Requests and reports of "Modem Events".
enum modem_event : uint32_t {
    MODEM_REQUEST_DETECT = 0x001,
    MODEM_NONE = 0x002,
    MODEM_FOUND = 0x004,
    MODEM_REQUEST_ACTIVATE = 0x008,
    MODEM_WEAK_SIGNAL = 0x010,
    MODEM_ACTIVATED = 0x020,
    MODEM_TIMED_OUT = 0x040,
    MODEM_NOT_SUPPORTED = 0x100,
    MODEM_REFUSED_DATA = 0x200,
};
const uint32_t MODEM_REPORTS = MODEM_NONE | MODEM_FOUND | MODEM_WEAK_SIGNAL | MODEM_ACTIVATED |
                               MODEM_TIMED_OUT | MODEM_NOT_SUPPORTED | MODEM_REFUSED_DATA;

// What the screens use of the cellular-modem task. The default link is the
// task the network start-up created; tests install a double.
class modem_link {
  public:
    virtual ~modem_link() = default;
    // The task's "Modem Events" group; null while there is no modem task.
    virtual TX_EVENT_FLAGS_GROUP* Events() = 0;
    virtual const char* Model() = 0;
    virtual const char* Esn() = 0;
    virtual const char* PhoneNumber() = 0;
    virtual uint8_t Carrier() = 0;
    virtual const char* CarrierName() = 0;
    // -> false without a reading; else the signal's quality word.
    virtual bool SignalQuality(bool french, const char** text) = 0;
};
modem_link& the_modem_link();
// Null restores the modem task's link.
void install_modem_link(modem_link* link);

// The longest text the panel takes for a modem setting, and the longest the
// modem task reads of one.
const size_t MODEM_TEXT_CHARACTERS = 30;
const size_t MODEM_SETTING_CHARACTERS = 63;

enum modem_screen_state : uint8_t {
    MODEM_STATE_NONE = 0,
    MODEM_STATE_DETECTING = 1,
    MODEM_STATE_FOUND = 2,
    MODEM_STATE_ACTIVATED_OFFER = 3,
    MODEM_STATE_ACTIVATING = 4,
    MODEM_STATE_SUCCESS = 5,
    MODEM_STATE_NO_MODEM = 6,
    MODEM_STATE_TIMED_OUT = 7,
    MODEM_STATE_WEAK_SIGNAL = 8,
    MODEM_STATE_NOT_SUPPORTED = 9,
    MODEM_STATE_REFUSED_DATA = 10,
};

class CLCD_ModemActivation : public CMenuItem {
  public:
    static const int32_t MENU_ID = 202;
    // Polls of the manager (half a second each) after which a silent task
    // is shown as timed out. The task's identity dialogue takes at most about
    // a minute (a signal reading may run ahead of it); an activation waits up
    // to two minutes per provisioning reply, for as many replies as the
    // carrier sends, so its limit is a safety net of half an hour.
    static const uint32_t DETECT_POLLS = 360;
    static const uint32_t ACTIVATE_POLLS = 3600;

    explicit CLCD_ModemActivation(int32_t id);
    bool HasRights(CLCD_Manager& manager) override;
    void OnActivated(CLCD_Manager& manager) override;
    bool OnKey(CLCD_Manager& manager, uint16_t* key) override;
    void Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) override;

    // A carrier wizard hands its outcome over: activating, or refused data.
    void SetPendingState(uint8_t state) { pending_state_ = state; }
    uint8_t State() const { return state_; }

  private:
    void Request(uint32_t request, uint32_t polls);
    void ReadReports();
    void DrawState(CLCD_Manager& manager, CLCD& lcd);
    bool OfferKey(CLCD_Manager& manager, uint16_t code);

    uint8_t state_ = MODEM_STATE_NONE;
    uint8_t pending_state_ = MODEM_STATE_NONE;
    uint8_t drawn_state_ = MODEM_STATE_NONE;
    uint8_t dots_ = 0;
    uint32_t request_ = 0; // the request awaiting its report, 0 none
    uint32_t polls_left_ = 0;
};

// The modem activation mode: the switch also sets the addressing and the
// SNMP port the mode needs, and restarts the controller.
class CLCD_ModemActivationEnable : public CLCD_FeatureEnable {
  public:
    explicit CLCD_ModemActivationEnable(int32_t id);

  protected:
    void Finish(CLCD_Manager& manager) override;
};

// A carrier wizard: one text step per setting, written to the modem task's
// objects, then the activation is handed to the modem screen.
struct modem_setting_row {
    const char* prompt;
    const DbObject* object;
    const char* fixed; // written in place of a typed text (no step), or null
};
struct modem_carrier_row {
    uint32_t type;
    const modem_setting_row* settings;
    size_t count;
    bool carriage_return; // each text is stored with a CR after it
};
extern const modem_carrier_row MODEM_CARRIERS[3];

class CLCD_ModemCarrierWizard : public CLCD_SimpleWizardBase {
  public:
    static const size_t MAX_SETTINGS = 3;

    CLCD_ModemCarrierWizard(int32_t id, const modem_carrier_row& carrier);
    void OnEnter(CLCD_Manager& manager) override;
    const char* Text(size_t step) const { return step < MAX_SETTINGS ? texts_[step] : ""; }

  protected:
    void Finish(CLCD_Manager& manager) override;

  private:
    bool Fits() const;

    const modem_carrier_row& carrier_;
    wizard_step steps_[MAX_SETTINGS];
    char texts_[MAX_SETTINGS][MODEM_TEXT_CHARACTERS + 1] = {};
};

// The factory records of the modem screens.
extern const menu_family MODEM_SCREENS;
