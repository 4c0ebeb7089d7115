// The communication port screens of the front panel: see ports.h.
#include "frontpanel/screens/ports.h"

#include "comm/agents/ntcip_agents.h"
#include "frontpanel/lcd.h"
#include "frontpanel/manager.h"
#include "frontpanel/screens/number_entry.h"
#include "ntcip/clock/calendar.h"
#include "runtime/console.h"
#include "store/database.h"

#include <cstdio>
#include <ctime>
#include <iterator>

// --- the port each screen serves ----------------------------------------------------------

namespace {

struct port_container {
    int32_t menu;
    uint8_t port;
};
const port_container PORT_CONTAINERS[] = {{97, PORT_CENTRAL}, {124, PORT_ETHERNET}};

bool row_lists(const menu_row& row, int32_t id) {
    for (size_t i = 0; i < MENU_MAX_LISTED && row.children[i] != 0; ++i)
        if (row.children[i] == id) return true;
    return false;
}

} // namespace

bool port_of_menu(int32_t id, uint8_t* port) {
    for (const port_container& container : PORT_CONTAINERS) {
        const menu_row* row = menu_table_row(container.menu);
        if (row == nullptr || !row_lists(*row, id)) continue;
        if (port) *port = container.port;
        return true;
    }
    return false;
}

// --- the choice lists ------------------------------------------------------------------------

namespace {

const choice_row SERIAL_SPEEDS[] = {
    {2400, {"2400", "2400"}},    {4800, {"4800", "4800"}},       {9600, {"9600", "9600"}},
    {19200, {"19200", "19200"}}, {28800, {"28800", "28800"}},    {38400, {"38400", "38400"}},
    {57600, {"57600", "57600"}}, {115200, {"115200", "115200"}},
};
// By position: the value indexes ETHERNET_LINK_MODES.
const choice_row ETHERNET_SPEEDS[] = {
    {0, {"AUTO", "AUTO"}},         {1, {"10 HALF", "10 HALF"}},   {2, {"10 FULL", "10 FULL"}},
    {3, {"100 HALF", "100 HALF"}}, {4, {"100 FULL", "100 FULL"}},
};
const choice_row CENTRAL_PROTOCOLS[] = {{2, {"PMPP", "PMPP"}},
                                        {4, {"PPP", "PPP"}},
                                        {PROTOCOL_RADIO, {"M/A COM RADIO", "M/A COM RADIO"}}};
const choice_row SERIAL_PROTOCOLS[] = {{2, {"PMPP", "PMPP"}}, {4, {"PPP", "PPP"}}};
// Port 1 may run a power supply's protocol, set elsewhere; the list names it.
const choice_row POWER_SUPPLY_PROTOCOLS[] = {
    {6, {"POWERCOM", "POWERCOM"}},      {7, {"MINUTEMAN", "MINUTEMAN"}},
    {12, {"CLARY", "CLARY"}},           {18, {"ALPHA 2000", "ALPHA 2000"}},
    {19, {"ALPHA 3500", "ALPHA 3500"}}, {20, {"TRIPPLITE", "TRIPPLITE"}},
};
const choice_row ETHERNET_PROTOCOLS[] = {
    {9, {"PMPP TCP/IP", "PMPP TCP/IP"}},
    {10, {"PPP TCP/IP", "PPP TCP/IP"}},
    {11, {"TCP/IP AND UDP/IP", "TCP/IP AND UDP/IP"}},
};
const choice_row HANDSHAKES[] = {
    {0, {"NONE", "NONE"}},
    {1, {"RTS TOGGLE", "RTS TOGGLE"}},
    {2, {"RTS/DTR SET", "RTS/DTR SET"}},
    {3, {"RTS SHAKE/DTR SET", "RTS SHAKE/DTR SET"}},
    {7, {"RTS SHAKE RS232E", "RTS SHAKE RS232E"}},
    {8, {"RTS SHAKE/NO DCD", "RTS SHAKE/NO DCD"}},
};
const choice_row SERIAL_TRAPS[] = {{0, {"DISABLE", "DESACTIVE"}}, {1, {"ENABLE", "ACTIVE"}}};
const choice_row ETHERNET_TRAPS[] = {
    {0, {"DISABLE", "DESACTIVE"}},
    {3, {"ENABLE PUSH OVER UDP", "UDP"}},
    {2, {"ENABLE PUSH OVER TCP", "TCP"}},
    {4, {"ENABLE SOFTWARE PULL OVER TCP", "SERVEUR TCP"}},
};

template <size_t N>
constexpr port_choice_set set_of(uint8_t first, uint8_t last, const choice_row (&choices)[N],
                                 port_follow_up follow_up) {
    return {first, last, choices, N, follow_up, nullptr, 0, false};
}

const port_choice_set BAUD_SETS[] = {
    {0, 3, SERIAL_SPEEDS, std::size(SERIAL_SPEEDS), FOLLOW_NOTHING, nullptr, 0, true},
    set_of(PORT_ETHERNET, PORT_ETHERNET, ETHERNET_SPEEDS, FOLLOW_LINK_RESTART),
};
const port_choice_set PROTOCOL_SETS[] = {
    set_of(PORT_CENTRAL, PORT_CENTRAL, CENTRAL_PROTOCOLS, FOLLOW_RECONFIGURE),
    {1, 1, SERIAL_PROTOCOLS, std::size(SERIAL_PROTOCOLS), FOLLOW_RECONFIGURE,
     POWER_SUPPLY_PROTOCOLS, std::size(POWER_SUPPLY_PROTOCOLS), false},
    set_of(2, 3, SERIAL_PROTOCOLS, FOLLOW_RECONFIGURE),
    set_of(PORT_ETHERNET, PORT_ETHERNET, ETHERNET_PROTOCOLS, FOLLOW_RECONFIGURE),
};
const port_choice_set HANDSHAKE_SETS[] = {
    set_of(0, PORT_ETHERNET, HANDSHAKES, FOLLOW_RECONFIGURE),
};
const port_choice_set TRAP_SETS[] = {
    set_of(0, 3, SERIAL_TRAPS, FOLLOW_RECONFIGURE),
    set_of(PORT_ETHERNET, PORT_ETHERNET, ETHERNET_TRAPS, FOLLOW_RECONFIGURE),
};

const menu_text OTHER = {"OTHER", "AUTRE"};
const menu_text OTHER_ENGLISH = {"OTHER", "OTHER"};

} // namespace

const port_choice_list PORT_CHOICE_LISTS[4] = {
    {TYPE_PORT_BAUD, obj::rs232PortInSpeed, BAUD_SETS, std::size(BAUD_SETS), {nullptr, nullptr}},
    {TYPE_PORT_PROTOCOL, obj::halvCommConfigProtocol, PROTOCOL_SETS, std::size(PROTOCOL_SETS),
     OTHER_ENGLISH},
    {TYPE_PORT_HANDSHAKING, obj::halvCommConfigFlowControl, HANDSHAKE_SETS,
     std::size(HANDSHAKE_SETS), OTHER_ENGLISH},
    {TYPE_PORT_TRAPS, obj::halvCommConfigTraps, TRAP_SETS, std::size(TRAP_SETS), OTHER},
};

const ethernet_link_mode ETHERNET_LINK_MODES[5] = {
    {0, DUPLEX_AUTO}, {IF_SPEED_10M, 5}, {IF_SPEED_10M, 6}, {IF_SPEED_100M, 5}, {IF_SPEED_100M, 6},
};

const port_choice_list* port_choice_list_of(uint32_t type) {
    for (const port_choice_list& list : PORT_CHOICE_LISTS)
        if (list.type == type) return &list;
    return nullptr;
}

const port_choice_set* port_choice_set_of(const port_choice_list& list, uint8_t port) {
    for (size_t i = 0; i < list.set_count; ++i)
        if (port >= list.sets[i].first_port && port <= list.sets[i].last_port) return &list.sets[i];
    return nullptr;
}

// --- the choice screen ---------------------------------------------------------------------------

namespace {

void request_reconfiguration() {
    db_set(obj::halvObj2_17_6, PORT_RECONFIGURE_REQUEST, DB_NOTIFY);
}

void apply_link_mode(uint32_t value) {
    if (value >= std::size(ETHERNET_LINK_MODES)) return;
    const ethernet_link_mode& mode = ETHERNET_LINK_MODES[value];
    if (mode.speed != 0) db_set(obj::ifSpeed, mode.speed, DB_NOTIFY);
    db_set(obj::halvCommConfigFlowControl.row(PORT_ETHERNET), mode.duplex, DB_NOTIFY);
    db_set(obj::dmsSWReset, 1, DB_NOTIFY);
}

// The choice value of the stored Ethernet link mode, or -1.
int32_t stored_link_mode() {
    uint32_t duplex = db_get(obj::halvCommConfigFlowControl.row(PORT_ETHERNET));
    if (duplex == DUPLEX_AUTO) return 0;
    uint32_t speed = db_get(obj::ifSpeed);
    for (size_t i = 1; i < std::size(ETHERNET_LINK_MODES); ++i)
        if (ETHERNET_LINK_MODES[i].speed == speed && ETHERNET_LINK_MODES[i].duplex == duplex)
            return int32_t(i);
    return -1;
}

const choice_row* find_in(const choice_row* rows, size_t count, uint32_t value) {
    for (size_t i = 0; i < count; ++i)
        if (rows[i].value == value) return &rows[i];
    return nullptr;
}

} // namespace

CLCD_ComConfigPortChoice::CLCD_ComConfigPortChoice(int32_t id, const port_choice_list& list)
    : CLCD_SimpleMenuBase(id), list_(list) {}

void CLCD_ComConfigPortChoice::BindPort(uint8_t port) {
    port_ = port;
    set_ = port_choice_set_of(list_, port);
    ClearChoices();
    if (set_ == nullptr) return;
    for (size_t i = 0; i < set_->count; ++i)
        AddChoice(&set_->choices[i]);
}

void CLCD_ComConfigPortChoice::OnSelect(CLCD_Manager&, const choice_row& choice) {
    if (set_ == nullptr) return;
    switch (set_->follow_up) {
    case FOLLOW_LINK_RESTART:
        apply_link_mode(choice.value);
        break;
    case FOLLOW_RECONFIGURE:
        db_set(list_.column.row(port_), choice.value, DB_NOTIFY);
        request_reconfiguration();
        break;
    case FOLLOW_NOTHING:
        db_set(list_.column.row(port_), choice.value, DB_NOTIFY);
        break;
    }
}

const char* CLCD_ComConfigPortChoice::StoredText(bool french) const {
    if (set_ == nullptr) return nullptr;
    const choice_row* found = nullptr;
    if (set_->follow_up == FOLLOW_LINK_RESTART) {
        int32_t mode = stored_link_mode();
        if (mode >= 0) found = find_in(set_->choices, set_->count, uint32_t(mode));
    } else {
        uint32_t stored = db_get(list_.column.row(port_));
        found = find_in(set_->choices, set_->count, stored);
        if (!found && set_->shown_only)
            found = find_in(set_->shown_only, set_->shown_only_count, stored);
    }
    if (found) return found->text.Of(french);
    return list_.no_match.english ? list_.no_match.Of(french) : nullptr;
}

void CLCD_ComConfigPortChoice::DrawSuffix(CLCD_Manager& manager, CLCD& lcd, uint8_t row,
                                          uint8_t justify) {
    if (set_ != nullptr && set_->shows_number) {
        lcd.Print(row, justify, "%d", int(db_get(list_.column.row(port_))));
        return;
    }
    const char* text = StoredText(manager.French());
    if (text) lcd.Print(row, justify, "%s", text);
}

// --- the time-out ------------------------------------------------------------------------------

namespace {

int store_timeout(const number_entry_row& row, uint32_t value) {
    int result = db_set(row.object, value, DB_NOTIFY);
    request_reconfiguration();
    return result;
}

void timeout_suffix(const number_entry_row& row, bool french, char* text, size_t size) {
    uint32_t stored = db_get(row.object);
    if (stored == 0)
        std::snprintf(text, size, "%s", french ? "DEFAUT" : "DEFAULT");
    else
        std::snprintf(text, size, "%ums", unsigned(stored));
}

constexpr number_entry_row timeout_row(int32_t id, uint8_t port) {
    return number_entry_row(id, {"MILLISECONDS", "MILLISECONDES"}, {"< 32768ms", "< 32768ms"}, 0,
                            32767, obj::halvCommConfigInnerCharTimeout.row(port))
        .StoreBy(store_timeout)
        .SuffixBy(timeout_suffix);
}

const number_entry_row TIMEOUT_ROWS[] = {
    timeout_row(102, PORT_CENTRAL),
    timeout_row(128, PORT_ETHERNET),
};

} // namespace

// --- the status list
// -------------------------------------------------------------------------------

const port_agents PORT_AGENTS[PORT_COUNT] = {
    {0, "ccp_pmpp", "ccp_ppp", nullptr, nullptr},
    {1, "aux_pmpp", "aux_ppp", nullptr, nullptr},
    {2, "modem_pmpp", "modem_ppp", nullptr, nullptr},
    {3, "laptop_pmpp", "laptop_ppp", nullptr, nullptr},
    {4, "ethernet_pmpp", "ethernet_ppp", "ethernet_tcp", "ethernet_udp"},
};

namespace {

enum agent_kind : uint8_t { RUNS_NONE = 0, RUNS_PMPP = 1, RUNS_PPP = 2, RUNS_TCP_UDP = 3 };
struct protocol_agents {
    uint8_t protocol;
    agent_kind kind;
};
const protocol_agents PROTOCOL_AGENTS[] = {
    {2, RUNS_PMPP}, {3, RUNS_PMPP}, {9, RUNS_PMPP},     {4, RUNS_PPP},
    {5, RUNS_PPP},  {10, RUNS_PPP}, {11, RUNS_TCP_UDP},
};

// Rows of the status list: the value is the agents' statistic selector, or
// one of the caller rows.
const uint32_t CALLER_NUMBER = 100, CALLER_TIME = 101;
const uint8_t CALLER_PORT = 2;
const choice_row STATUS_ROWS[] = {
    {1, {"COMM RX CNT", "NOMBRE DE COMM RECU"}},
    {2, {"COMM TX CNT", "NOMBRE DE COMM TRANSMIS"}},
    {3, {"COMM BYTES DROPPED", "NOMBRE D'OCTETS PERDU"}},
    {4, {"COMM BYTES INVALID", "NOMBRE D'OCTETS INVALIDE"}},
};
const choice_row CALLER_ROWS[] = {
    {CALLER_NUMBER, {"CALLER ID NUMBER", "NUMERO D'APPELANT"}},
    {CALLER_TIME, {"CALLER ID TIME", "HEURE DE L'APPEL"}},
};
const menu_text NO_CALLER = {"N/A ", "ND  "};
const uint8_t STATUS_REFRESH = 4;

} // namespace

size_t agents_of_protocol(uint8_t port, uint32_t protocol, const char* names[2]) {
    if (port >= PORT_COUNT) return 0;
    const port_agents& agents = PORT_AGENTS[port];
    for (const protocol_agents& row : PROTOCOL_AGENTS) {
        if (row.protocol != protocol) continue;
        switch (row.kind) {
        case RUNS_PMPP:
            names[0] = agents.pmpp;
            return agents.pmpp ? 1 : 0;
        case RUNS_PPP:
            names[0] = agents.ppp;
            return agents.ppp ? 1 : 0;
        case RUNS_TCP_UDP:
            if (!agents.tcp || !agents.udp) return 0;
            names[0] = agents.tcp;
            names[1] = agents.udp;
            return 2;
        case RUNS_NONE:
            return 0;
        }
    }
    return 0;
}

CLCD_ComConfigPort_Status::CLCD_ComConfigPort_Status(int32_t id) : CLCD_SimpleMenuBase(id) {
    activate_target_ = 0;
    refresh_period_ = STATUS_REFRESH;
}

void CLCD_ComConfigPort_Status::BindPort(uint8_t port) {
    port_ = port;
    ClearChoices();
    AddChoices(STATUS_ROWS);
    if (port == CALLER_PORT) AddChoices(CALLER_ROWS);
}

void CLCD_ComConfigPort_Status::DrawCallerSuffix(CLCD_Manager& manager, CLCD& lcd, uint32_t kind,
                                                 uint8_t row, uint8_t justify) {
    char number[48] = {};
    db_get_string_copy(obj::halvObj9_1, number, sizeof number);
    if (number[0] == '\0') {
        lcd.Print(row, justify, "%s", NO_CALLER.Of(manager.French()));
        return;
    }
    if (kind == CALLER_NUMBER) {
        lcd.Print(row, justify, "%s ", number);
        return;
    }
    uint32_t offset = db_get(obj::globalTime) - db_get(obj::controllerLocalTime);
    uint32_t logged = db_get(obj::halvObj9_2);
    console_printf("logged caller gmtime:%d, local offset:%d\n", int(logged), int(offset));
    struct tm calendar = {};
    seconds_to_tm(logged - offset, &calendar);
    char text[24];
    std::strftime(text, sizeof text, "%m/%d/%y %H:%M", &calendar);
    lcd.Print(row, justify, "%s ", text);
}

void CLCD_ComConfigPort_Status::DrawChoiceSuffix(CLCD_Manager& manager, CLCD& lcd, size_t index,
                                                 uint8_t row, uint8_t justify) {
    const choice_row* choice = Choice(index);
    if (choice == nullptr) return;
    if (choice->value >= CALLER_NUMBER) {
        DrawCallerSuffix(manager, lcd, choice->value, row, justify);
        return;
    }
    const char* names[2] = {};
    size_t count = agents_of_protocol(port_, db_get(obj::halvCommConfigProtocol.row(port_)), names);
    uint32_t total = 0;
    for (size_t i = 0; i < count; ++i)
        total += CNTCIP::GetAgentStatistic(names[i], choice->value);
    lcd.Print(row, justify, "%u ", unsigned(total));
}

// --- RDI
// ---------------------------------------------------------------------------------------------

namespace {

const char RDI_AGENT[] = "ccp_pmpp";

struct rdi_step_row {
    const char* title;
    const char* prompt;
    const char* rule;
    DbObject object;
};
const rdi_step_row RDI_STEPS[3] = {
    {"LOGICAL ID", "ID", "<65536", obj::halvObj2_17_3},
    {"ACK2 TIMEOUT", "MILLISECONDS", "<65536", obj::halvObj2_17_4},
    {"NUMBER OF RETRIES", "COUNT", "<5", obj::halvObj2_17_5},
};

} // namespace

CLCD_RDIOptions::CLCD_RDIOptions(int32_t id) : CLCD_RestartingContainer(id) {}

bool CLCD_RDIOptions::HasRights(CLCD_Manager& manager) {
    return CMenuItem::HasRights(manager) &&
           db_get(obj::halvCommConfigProtocol.row(PORT_CENTRAL)) == PROTOCOL_RADIO;
}

CLCD_RDISettings::CLCD_RDISettings(int32_t id) : CLCD_SimpleWizardBase(id) {
    for (size_t i = 0; i < std::size(steps_); ++i) {
        wizard_step& step = steps_[i];
        step.kind = STEP_NUMBER;
        step.title = RDI_STEPS[i].title;
        step.prompt = RDI_STEPS[i].prompt;
        step.rule = RDI_STEPS[i].rule;
        step.footer = "PRESS ENTER TO SAVE";
        AddStep(&step);
    }
}

void CLCD_RDISettings::Finish(CLCD_Manager&) {
    for (size_t i = 0; i < std::size(steps_); ++i)
        db_set(RDI_STEPS[i].object, steps_[i].value, DB_NOTIFY);
    CNTCIP::SetRDIParameters(nullptr, RDI_AGENT, db_get(obj::halvObj2_17_4),
                             db_get(obj::halvObj2_17_5), db_get(obj::halvRemoteIPAddress),
                             db_get(obj::halvObj2_17_3));
}

void CLCD_RDISettings::DrawSuffix(CLCD_Manager&, CLCD& lcd, uint8_t row, uint8_t justify) {
    lcd.Print(row, justify, "%d,%d,%d ", int(db_get(obj::halvObj2_17_3)),
              int(db_get(obj::halvObj2_17_4)), int(db_get(obj::halvObj2_17_5)));
}

// --- factory records
// -----------------------------------------------------------------------------------

namespace {

template <uint32_t Type> CMenuItem* create_port_choice(int32_t id, const menu_row&) {
    const port_choice_list* list = port_choice_list_of(Type);
    uint8_t port = 0;
    if (list == nullptr || !port_of_menu(id, &port)) return nullptr;
    auto* screen = new CLCD_ComConfigPortChoice(id, *list);
    screen->BindPort(port);
    return screen;
}

CMenuItem* create_port_status(int32_t id, const menu_row&) {
    uint8_t port = 0;
    if (!port_of_menu(id, &port)) return nullptr;
    auto* screen = new CLCD_ComConfigPort_Status(id);
    screen->BindPort(port);
    return screen;
}

const menu_factory_record PORT_SCREEN_RECORDS[] = {
    {TYPE_PORT_BAUD, create_port_choice<TYPE_PORT_BAUD>},
    {TYPE_PORT_PROTOCOL, create_port_choice<TYPE_PORT_PROTOCOL>},
    {TYPE_PORT_HANDSHAKING, create_port_choice<TYPE_PORT_HANDSHAKING>},
    {TYPE_PORT_TRAPS, create_port_choice<TYPE_PORT_TRAPS>},
    {TYPE_PORT_TIMEOUT, number_entry_create<TIMEOUT_ROWS>},
    {TYPE_PORT_STATUS, create_port_status},
    {TYPE_RDI_OPTIONS, menu_create<CLCD_RDIOptions>},
    {TYPE_RDI_SETTINGS, menu_create<CLCD_RDISettings>},
};

} // namespace

const menu_family PORT_SCREENS = menu_family_of(PORT_SCREEN_RECORDS);
