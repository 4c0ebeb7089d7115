// The cellular-modem screens of the front panel: see modem.h.
#include "frontpanel/screens/modem.h"

#include "comm/modem_task.h"
#include "frontpanel/lcd.h"
#include "frontpanel/manager.h"
#include "runtime/os.h"
#include "store/database.h"

#include <cstdio>
#include <cstring>
#include <iterator>

// --- the link to the modem task ---------------------------------------------------------------

namespace {

class task_link : public modem_link {
  public:
    TX_EVENT_FLAGS_GROUP* Events() override {
        return cellular_modem_task ? &cellular_modem_task->Events() : nullptr;
    }
    const char* Model() override { return task() ? task()->Model() : ""; }
    const char* Esn() override { return task() ? task()->Identity() : ""; }
    const char* PhoneNumber() override { return task() ? task()->PhoneNumber() : ""; }
    uint8_t Carrier() override { return task() ? task()->Carrier() : 0; }
    const char* CarrierName() override { return task() ? task()->GetCarrierName() : "Unknown"; }
    bool SignalQuality(bool french, const char** text) override {
        return task() && task()->GetSignalQualityText(french, text) != 0;
    }

  private:
    static CModemTask* task() { return cellular_modem_task; }
};

task_link modem_task_link;
modem_link* installed_link = nullptr;

} // namespace

modem_link& the_modem_link() {
    return installed_link ? *installed_link : modem_task_link;
}

void install_modem_link(modem_link* link) {
    installed_link = link;
}

// --- the modem screen's texts
// ---------------------------------------------------------------------

namespace {

// What a row of a state shows.
enum modem_field : uint8_t {
    FIELD_TEXT = 0,    // the text alone
    FIELD_DOTS = 1,    // the text with the turning dots
    FIELD_MODEL = 2,   // "%s" of the model
    FIELD_ESN = 3,     // "%s" of the ESN
    FIELD_NETWORK = 4, // the carrier, and the telephone number from column 20
    FIELD_SIGNAL = 5,  // the signal quality, when there is a reading
};

struct modem_row {
    uint8_t row;
    uint8_t justify;
    modem_field field;
    menu_text text;
};

const menu_text MODEL = {"MODEM: %s", "MODEM: %s"};
const menu_text ESN = {"ESN: %s", "ESN: %s"};
const menu_text NETWORK = {"NETWORK: %.9s", "RESEAU: %.9s"};
const menu_text PHONE = {"PHONE#: %s", "TELEPHONE#: %s"};
const menu_text SIGNAL = {"SIGNAL: %s", "SIGNAL: %s"};
const menu_text ANY_KEY = {"(PRESS ANY KEY TO CONTINUE)",
                           "(APPUYEZ SUR UNE TOUCHE POUR CONTINUER)"};
const menu_text EXIT = {"2) EXIT MENU", "2) QUITTER"};

const modem_row IDENTITY_ROWS[] = {
    {2, LCD_LEFT, FIELD_MODEL, MODEL},
    {3, LCD_LEFT, FIELD_ESN, ESN},
    {4, LCD_LEFT, FIELD_NETWORK, NETWORK},
    {5, LCD_LEFT, FIELD_SIGNAL, SIGNAL},
};

struct modem_state_rows {
    uint8_t state;
    bool identity; // rows 2-5 show the modem's identity
    modem_row rows[3];
};

const modem_state_rows STATE_ROWS[] = {
    {MODEM_STATE_DETECTING,
     false,
     {{4, LCD_CENTRE, FIELD_DOTS, {"DETECTING MODEM%s", "DETECTION DU MODEM%s"}}}},
    {MODEM_STATE_FOUND,
     true,
     {{6, LCD_LEFT, FIELD_TEXT, {"1) ACTIVATE MODEM", "1) ACTIVER LE MODEM"}},
      {7, LCD_LEFT, FIELD_TEXT, EXIT}}},
    {MODEM_STATE_ACTIVATED_OFFER,
     true,
     {{6, LCD_LEFT, FIELD_TEXT, {"1) EXIT MENU", "1) QUITTER"}}}},
    {MODEM_STATE_ACTIVATING,
     false,
     {{4, LCD_CENTRE, FIELD_DOTS, {"ACTIVATING MODEM%s", "ACTIVATION MODEM%s"}},
      {6,
       LCD_CENTRE,
       FIELD_TEXT,
       {"(THIS MAY TAKE SEVERAL MINUTES)", "(CECI PEUT PRENDRE QUELQUES MINUTES)"}}}},
    {MODEM_STATE_SUCCESS,
     false,
     {{4, LCD_CENTRE, FIELD_TEXT, {"SUCCESS", "ACTIVATION REUSSIE"}},
      {6, LCD_CENTRE, FIELD_TEXT, {"(PLEASE CYCLE SIGN POWER", "(ETEINDRE ET RALLUMER LE PANNEAU"}},
      {7,
       LCD_CENTRE,
       FIELD_TEXT,
       {"BEFORE USING REMOTE COMMUNICATION)", "AVANT D'UTILISER LA COMM A DISTANCE)"}}}},
    {MODEM_STATE_NO_MODEM,
     false,
     {{4, LCD_CENTRE, FIELD_TEXT, {"NO MODEM FOUND", "AUCUN MODEM DETECTE"}},
      {6, LCD_LEFT, FIELD_TEXT, {"1) DETECT MODEM", "1) DETECTER MODEM"}},
      {7, LCD_LEFT, FIELD_TEXT, EXIT}}},
    {MODEM_STATE_TIMED_OUT,
     false,
     {{4, LCD_CENTRE, FIELD_TEXT, {"TIMED OUT", "DELAI ECOULE"}},
      {6, LCD_CENTRE, FIELD_TEXT, ANY_KEY}}},
    {MODEM_STATE_WEAK_SIGNAL,
     false,
     {{4,
       LCD_CENTRE,
       FIELD_TEXT,
       {"INSUFFICENT SIGNAL STRENGTH", "INTENSITE DU SIGNAL INSUFFISANTE"}},
      {6, LCD_CENTRE, FIELD_TEXT, ANY_KEY}}},
    {MODEM_STATE_NOT_SUPPORTED,
     false,
     {{4, LCD_CENTRE, FIELD_TEXT, {"NOT SUPPORTED", "NON SUPPORTE"}},
      {6, LCD_CENTRE, FIELD_TEXT, ANY_KEY}}},
    {MODEM_STATE_REFUSED_DATA,
     false,
     {{4,
       LCD_CENTRE,
       FIELD_TEXT,
       {"INVALID COMMAND OR USER DATA", "COMMANDE OU DONNEES INVALIDES"}},
      {6, LCD_CENTRE, FIELD_TEXT, ANY_KEY}}},
};

// The reports in reading order with the state each leads to; a later report
// read in the same pass wins.
struct modem_report {
    uint32_t bit;
    uint8_t state;
};
const modem_report REPORTS[] = {
    {MODEM_FOUND, MODEM_STATE_FOUND},
    {MODEM_WEAK_SIGNAL, MODEM_STATE_WEAK_SIGNAL},
    {MODEM_NONE, MODEM_STATE_NO_MODEM},
    {MODEM_TIMED_OUT, MODEM_STATE_TIMED_OUT},
    {MODEM_NOT_SUPPORTED, MODEM_STATE_NOT_SUPPORTED},
    {MODEM_REFUSED_DATA, MODEM_STATE_REFUSED_DATA},
    {MODEM_ACTIVATED, MODEM_STATE_SUCCESS},
};

// The carrier indexes that have a wizard, and its menu.
struct carrier_menu {
    uint8_t carrier;
    int32_t menu;
};
const carrier_menu CARRIER_MENUS[] = {{1, 203}, {2, 205}, {6, 204}};

const char* const DOTS[4] = {"   ", ".  ", ".. ", "..."};
const uint8_t PHONE_COLUMN = 20;

const modem_state_rows* rows_of(uint8_t state) {
    for (const modem_state_rows& rows : STATE_ROWS)
        if (rows.state == state) return &rows;
    return nullptr;
}

bool is_digit_key(uint16_t code, char digit) {
    return code == uint16_t(digit);
}

} // namespace

// --- the modem screen
// --------------------------------------------------------------------------------

CLCD_ModemActivation::CLCD_ModemActivation(int32_t id) : CMenuItem(id) {}

bool CLCD_ModemActivation::HasRights(CLCD_Manager& manager) {
    return CMenuItem::HasRights(manager) && (db_get(obj::halvFeatureSet) & MODEM_FEATURE) != 0;
}

void CLCD_ModemActivation::Request(uint32_t request, uint32_t polls) {
    TX_EVENT_FLAGS_GROUP* events = the_modem_link().Events();
    if (events == nullptr) {
        // No modem task runs (the mode takes effect at the next start).
        request_ = 0;
        state_ = MODEM_STATE_NO_MODEM;
        return;
    }
    // Reports left from an earlier request must not answer this one.
    os_event_flags_set(events, ~MODEM_REPORTS, OS_EVENT_AND);
    request_ = request;
    polls_left_ = polls;
    os_event_flags_set(events, request, OS_EVENT_OR);
}

void CLCD_ModemActivation::OnActivated(CLCD_Manager& manager) {
    CMenuItem::OnActivated(manager);
    dots_ = 0;
    state_ = MODEM_STATE_DETECTING;
    drawn_state_ = MODEM_STATE_NONE;
    uint8_t pending = pending_state_;
    pending_state_ = MODEM_STATE_NONE;
    if (pending == MODEM_STATE_ACTIVATING) {
        state_ = MODEM_STATE_ACTIVATING;
        Request(MODEM_REQUEST_ACTIVATE, ACTIVATE_POLLS);
    } else if (pending != MODEM_STATE_NONE) {
        request_ = 0;
        state_ = pending; // a carrier wizard refused its data: nothing is asked
    } else {
        Request(MODEM_REQUEST_DETECT, DETECT_POLLS);
    }
}

void CLCD_ModemActivation::ReadReports() {
    TX_EVENT_FLAGS_GROUP* events = the_modem_link().Events();
    if (events == nullptr) return;
    uint8_t reported = MODEM_STATE_NONE;
    for (const modem_report& report : REPORTS) {
        ULONG actual = 0;
        if (os_event_flags_get(events, report.bit, OS_EVENT_AND_CLEAR, &actual, OS_NO_WAIT) ==
            OS_OK)
            reported = report.state;
    }
    if (request_ == 0) return; // nobody asked: the report is dropped
    if (reported != MODEM_STATE_NONE) {
        state_ = reported;
        request_ = 0;
        return;
    }
    if (polls_left_ == 0 || --polls_left_ > 0) return;
    // The task has been silent longer than its longest dialogue: the screen
    // says so, but the request stays open and a later report still shows.
    if (state_ == MODEM_STATE_DETECTING || state_ == MODEM_STATE_ACTIVATING)
        state_ = MODEM_STATE_TIMED_OUT;
}

void CLCD_ModemActivation::DrawState(CLCD_Manager& manager, CLCD& lcd) {
    bool french = manager.French();
    modem_link& modem = the_modem_link();
    const modem_state_rows* rows = rows_of(state_);
    if (rows == nullptr) return;
    for (uint8_t row = 2; row <= 7; ++row)
        lcd.ClearLine(row);
    if (rows->identity) {
        lcd.PrintAt(2, 1, LCD_LEFT, MODEL.Of(french), modem.Model());
        lcd.PrintAt(3, 1, LCD_LEFT, ESN.Of(french), modem.Esn());
        lcd.PrintAt(4, 1, LCD_LEFT, NETWORK.Of(french), modem.CarrierName());
        lcd.PrintAt(4, PHONE_COLUMN, LCD_LEFT, PHONE.Of(french), modem.PhoneNumber());
        const char* quality = nullptr;
        if (modem.SignalQuality(french, &quality) && quality)
            lcd.PrintAt(5, 1, LCD_LEFT, SIGNAL.Of(french), quality);
    }
    for (const modem_row& row : rows->rows) {
        if (row.row == 0) continue;
        if (row.field == FIELD_DOTS)
            lcd.Print(row.row, row.justify, row.text.Of(french), DOTS[dots_]);
        else
            lcd.Print(row.row, row.justify, "%s", row.text.Of(french));
    }
}

void CLCD_ModemActivation::Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) {
    if (phase == DRAW_FULL) lcd.Print(1, LCD_CENTRE, "%s", Title(manager.French()));
    ReadReports();
    dots_ = uint8_t((dots_ + 1) % std::size(DOTS));
    bool turning = state_ == MODEM_STATE_DETECTING || state_ == MODEM_STATE_ACTIVATING;
    if (phase == DRAW_FULL || drawn_state_ != state_ || turning) DrawState(manager, lcd);
    drawn_state_ = state_;
}

bool CLCD_ModemActivation::OfferKey(CLCD_Manager& manager, uint16_t code) {
    if (!is_digit_key(code, '1')) {
        if (is_digit_key(code, '2')) manager.ActivateMenu(MENU_PARENT, this, true);
        return is_digit_key(code, '2');
    }
    uint8_t carrier = the_modem_link().Carrier();
    for (const carrier_menu& menu : CARRIER_MENUS) {
        if (menu.carrier != carrier) continue;
        manager.ActivateMenu(menu.menu, this, false);
        return true;
    }
    state_ = MODEM_STATE_NOT_SUPPORTED;
    manager.RequestRedraw(DRAW_FULL);
    return true;
}

bool CLCD_ModemActivation::OnKey(CLCD_Manager& manager, uint16_t* key) {
    uint16_t code = key_event_code(*key);
    if (state_ == MODEM_STATE_NO_MODEM) {
        if (is_digit_key(code, '1')) {
            state_ = MODEM_STATE_DETECTING;
            Request(MODEM_REQUEST_DETECT, DETECT_POLLS);
            manager.RequestRedraw(DRAW_FULL);
            return true;
        }
        if (is_digit_key(code, '2')) {
            manager.ActivateMenu(MENU_PARENT, this, true);
            return true;
        }
        return false;
    }
    if (state_ > MODEM_STATE_NO_MODEM) {
        state_ = MODEM_STATE_FOUND; // any key acknowledges the message
    } else if (state_ == MODEM_STATE_SUCCESS) {
        state_ = MODEM_STATE_ACTIVATED_OFFER;
    } else if (state_ >= MODEM_STATE_ACTIVATING) {
        return true; // activating: keys wait
    } else if (drawn_state_ == MODEM_STATE_FOUND) {
        return OfferKey(manager, code);
    } else if (drawn_state_ == MODEM_STATE_ACTIVATED_OFFER) {
        if (!is_digit_key(code, '1')) return false;
        manager.ActivateMenu(MENU_PARENT, this, true);
        return true;
    }
    manager.RequestRedraw(DRAW_FULL);
    return true;
}

// --- the activation mode
// ------------------------------------------------------------------------------

namespace {

// What the mode needs besides its bit: the Ethernet mode and the SNMP port.
struct modem_mode_settings {
    uint32_t ethernet_mode;
    uint32_t snmp_port;
};
const modem_mode_settings MODE_SETTINGS[2] = {{1, 161}, {2, 3001}}; // disabled, enabled

const feature_enable_row MODEM_ENABLE = {TYPE_MODEM_ACTIVATION_ENABLE, MODEM_FEATURE, false};

} // namespace

CLCD_ModemActivationEnable::CLCD_ModemActivationEnable(int32_t id)
    : CLCD_FeatureEnable(id, MODEM_ENABLE) {}

void CLCD_ModemActivationEnable::Finish(CLCD_Manager& manager) {
    CLCD_FeatureEnable::Finish(manager);
    const modem_mode_settings& settings = MODE_SETTINGS[list_.selected == 1 ? 1 : 0];
    db_set(obj::halvEthernetMode, settings.ethernet_mode, DB_NOTIFY);
    db_set(obj::halvHostIPPort, settings.snmp_port, DB_NOTIFY);
    db_set(obj::dmsSWReset, 1, DB_NOTIFY);
}

// --- the carrier wizards
// ---------------------------------------------------------------------------------

namespace {

const char VERIZON_SPC[] = "735190";

const modem_setting_row ATT_SETTINGS[] = {
    {"APN", &obj::modemApn, nullptr},
    {"USER ID", &obj::modemUserId, nullptr},
    {"USER PASSWORD", &obj::modemPassword, nullptr},
};
const modem_setting_row SPRINT_SETTINGS[] = {
    {"MSL", &obj::modemProvisionSpc, nullptr},
    {"MDN", &obj::modemProvisionArg2, nullptr},
    {"MSID", &obj::modemProvisionArg3, nullptr},
};
const modem_setting_row VERIZON_SETTINGS[] = {
    {nullptr, &obj::modemProvisionSpc, VERIZON_SPC},
    {"MDN", &obj::modemProvisionArg2, nullptr},
    {"MSID", &obj::modemProvisionArg3, nullptr},
};

const char CARRIER_TITLE[] = "MODEM CONFIGURATION";
const char CARRIER_FOOTER[] = "PRESS ENTER TO SAVE";
const char CARRIAGE_RETURN = 0x0D;

} // namespace

const modem_carrier_row MODEM_CARRIERS[3] = {
    {TYPE_MODEM_ACTIVATION_VERIZON, VERIZON_SETTINGS, std::size(VERIZON_SETTINGS), false},
    {TYPE_MODEM_ACTIVATION_ATT, ATT_SETTINGS, std::size(ATT_SETTINGS), true},
    {TYPE_MODEM_ACTIVATION_SPRINT, SPRINT_SETTINGS, std::size(SPRINT_SETTINGS), false},
};

CLCD_ModemCarrierWizard::CLCD_ModemCarrierWizard(int32_t id, const modem_carrier_row& carrier)
    : CLCD_SimpleWizardBase(id), carrier_(carrier) {
    for (size_t i = 0; i < carrier.count && i < MAX_SETTINGS; ++i) {
        if (carrier.settings[i].fixed) continue;
        wizard_step& step = steps_[i];
        step.kind = STEP_TEXT;
        step.title = CARRIER_TITLE;
        step.prompt = carrier.settings[i].prompt;
        step.footer = CARRIER_FOOTER;
        step.text = texts_[i];
        step.width = MODEM_TEXT_CHARACTERS + 1;
        step.rows = 1;
        AddStep(&step);
    }
}

void CLCD_ModemCarrierWizard::OnEnter(CLCD_Manager& manager) {
    CLCD_SimpleWizardBase::OnEnter(manager);
    for (char* text : texts_)
        text[0] = '\0';
}

bool CLCD_ModemCarrierWizard::Fits() const {
    size_t terminator = carrier_.carriage_return ? 1 : 0;
    for (size_t i = 0; i < carrier_.count && i < MAX_SETTINGS; ++i) {
        const char* text = carrier_.settings[i].fixed ? carrier_.settings[i].fixed : texts_[i];
        if (std::strlen(text) + terminator > MODEM_SETTING_CHARACTERS) return false;
    }
    return true;
}

void CLCD_ModemCarrierWizard::Finish(CLCD_Manager& manager) {
    auto* screen = dynamic_cast<CLCD_ModemActivation*>(
        manager.FindMenu(CLCD_ModemActivation::MENU_ID, nullptr));
    if (!Fits()) {
        // Nothing is stored in part: the modem screen shows the refusal.
        if (screen) screen->SetPendingState(MODEM_STATE_REFUSED_DATA);
        return;
    }
    for (size_t i = 0; i < carrier_.count && i < MAX_SETTINGS; ++i) {
        const modem_setting_row& setting = carrier_.settings[i];
        char value[MODEM_SETTING_CHARACTERS + 1];
        std::snprintf(value, sizeof value, "%s", setting.fixed ? setting.fixed : texts_[i]);
        size_t length = std::strlen(value);
        if (carrier_.carriage_return) value[length++] = CARRIAGE_RETURN;
        db_set_string(*setting.object, value, uint32_t(length), DB_NOTIFY);
    }
    if (screen) screen->SetPendingState(MODEM_STATE_ACTIVATING);
}

// --- factory records
// -----------------------------------------------------------------------------------

namespace {

template <uint32_t Type> CMenuItem* create_carrier(int32_t id, const menu_row&) {
    for (const modem_carrier_row& carrier : MODEM_CARRIERS)
        if (carrier.type == Type) return new CLCD_ModemCarrierWizard(id, carrier);
    return nullptr;
}

const menu_factory_record MODEM_SCREEN_RECORDS[] = {
    {TYPE_MODEM_ACTIVATION_ENABLE, menu_create<CLCD_ModemActivationEnable>},
    {TYPE_MODEM_ACTIVATION, menu_create<CLCD_ModemActivation>},
    {TYPE_MODEM_ACTIVATION_VERIZON, create_carrier<TYPE_MODEM_ACTIVATION_VERIZON>},
    {TYPE_MODEM_ACTIVATION_ATT, create_carrier<TYPE_MODEM_ACTIVATION_ATT>},
    {TYPE_MODEM_ACTIVATION_SPRINT, create_carrier<TYPE_MODEM_ACTIVATION_SPRINT>},
};

} // namespace

const menu_family MODEM_SCREENS = menu_family_of(MODEM_SCREEN_RECORDS);
