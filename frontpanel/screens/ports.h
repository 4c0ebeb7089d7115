// The front panel's communication port screens: the speed, protocol,
// handshaking, traps, inter-character time-out and counters of a port, and
// the RDI settings of the central port's PMPP agent.
//
// One set of screens serves every port: each screen is bound to the port of
// the container that lists it (CENTRAL CONTROL PORT, menu 97: port 0, the
// serial central port; ETHERNET CONTROL PORT, menu 124: port 4, Ethernet) and
// reads and writes that row of the per-port tables. The communication task
// applies a change: the screens write the port reconfiguration request
// (halvObj2_17_6 := 4) and the task rebuilds the agents and channels; a new
// serial speed reaches it through the store's change letter, a new Ethernet
// link mode through a restart.
//
// What a choice writes and what follows the write are data: each choice list
// is a row {factory type, per-port object, ports, choices, follow-up} of
// PORT_CHOICE_LISTS, so that a new list is a row, not a class.
//
//   69  baud rate      serial: rs232PortInSpeed; Ethernet: ifSpeed and duplex, restart
//   70  protocol       halvCommConfigProtocol, then reconfigure
//   71  handshaking    halvCommConfigFlowControl, then reconfigure
//   72  traps          halvCommConfigTraps, then reconfigure
//   73  time-out       halvCommConfigInnerCharTimeout (number entry), then reconfigure
//   74  status         the counters of the agents the port's protocol runs
//   67  RDI OPTIONS    a container shown only while port 0 runs the radio protocol
//   68  RDI settings   logical id, ACK2 time-out and retries, handed to the agent at once
#pragma once

#include "frontpanel/menu.h"
#include "frontpanel/screens/choice.h"
#include "frontpanel/screens/container.h"
#include "frontpanel/screens/network.h"
#include "frontpanel/screens/wizard.h"
#include "store/objects.h"

#include <cstddef>
#include <cstdint>

const uint8_t PORT_CENTRAL = 0;
const uint8_t PORT_ETHERNET = 4;
const uint8_t PORT_COUNT = 5;
const uint8_t PORT_RECONFIGURE_REQUEST = 4; // halvObj2_17_6
const uint8_t PROTOCOL_RADIO = 14;          // the central port's RDI radio protocol

// The port a port screen serves: that of the container listing it (menu 97:
// 0, menu 124: 4). -> false when no port container lists the menu.
bool port_of_menu(int32_t id, uint8_t* port);

// What follows the write of a choice.
enum port_follow_up : uint8_t {
    FOLLOW_NOTHING = 0,      // the store's change letter tells the communication task
    FOLLOW_RECONFIGURE = 1,  // halvObj2_17_6 := 4
    FOLLOW_LINK_RESTART = 2, // the choice picks an Ethernet link mode; the controller restarts
};

// The choices of one list for a range of ports.
struct port_choice_set {
    uint8_t first_port;
    uint8_t last_port;
    const choice_row* choices;
    size_t count;
    port_follow_up follow_up;
    // Codes shown in the parent list only (never offered), or null.
    const choice_row* shown_only;
    size_t shown_only_count;
    // The parent list shows the stored number itself (a serial speed), not
    // the text of its choice.
    bool shows_number;
};

// One choice list of the port screens.
struct port_choice_list {
    uint32_t type;
    DbObject column; // the per-port table the choice is written to
    const port_choice_set* sets;
    size_t set_count;
    menu_text no_match; // shown when the stored code matches no choice; {null, null}: nothing
};
extern const port_choice_list PORT_CHOICE_LISTS[4];
const port_choice_list* port_choice_list_of(uint32_t type);
// The set of a list that serves a port, or null.
const port_choice_set* port_choice_set_of(const port_choice_list& list, uint8_t port);

// An Ethernet link mode: ifSpeed (0: unchanged) and the duplex code of row 4
// of halvCommConfigFlowControl (4 auto, 5 half, 6 full).
struct ethernet_link_mode {
    uint32_t speed;
    uint8_t duplex;
};
const uint32_t IF_SPEED_10M = 83886080u;
const uint32_t IF_SPEED_100M = 838860800u;
const uint8_t DUPLEX_AUTO = 4;
extern const ethernet_link_mode ETHERNET_LINK_MODES[5]; // by choice value

// The protocol agents of a port, by name (null: none).
struct port_agents {
    uint8_t port;
    const char* pmpp;
    const char* ppp;
    const char* tcp;
    const char* udp;
};
extern const port_agents PORT_AGENTS[PORT_COUNT];
// The agents a protocol code runs on a port (at most two). -> their count.
size_t agents_of_protocol(uint8_t port, uint32_t protocol, const char* names[2]);

// A choice list bound to a port: baud rate, protocol, handshaking, traps.
class CLCD_ComConfigPortChoice : public CLCD_SimpleMenuBase {
  public:
    CLCD_ComConfigPortChoice(int32_t id, const port_choice_list& list);

    // Binds the screen to a port and lists that port's choices.
    void BindPort(uint8_t port);
    uint8_t Port() const { return port_; }

    void OnSelect(CLCD_Manager& manager, const choice_row& choice) override;
    void DrawSuffix(CLCD_Manager& manager, CLCD& lcd, uint8_t row, uint8_t justify) override;

  private:
    // The text of the stored setting, or null.
    const char* StoredText(bool french) const;

    const port_choice_list& list_;
    const port_choice_set* set_ = nullptr;
    uint8_t port_ = 0;
};

// The counters of the port's agents (and, on port 2, the last caller); a
// read-only list redrawn every five polls.
class CLCD_ComConfigPort_Status : public CLCD_SimpleMenuBase {
  public:
    explicit CLCD_ComConfigPort_Status(int32_t id);
    void BindPort(uint8_t port);
    void DrawChoiceSuffix(CLCD_Manager& manager, CLCD& lcd, size_t index, uint8_t row,
                          uint8_t justify) override;

  private:
    void DrawCallerSuffix(CLCD_Manager& manager, CLCD& lcd, uint32_t kind, uint8_t row,
                          uint8_t justify);
    uint8_t port_ = 0;
};

// RDI OPTIONS: a container visible only while port 0 runs the radio
// protocol; leaving it for a menu outside it after a new controller address
// was entered makes the controller write its start-up script and restart.
class CLCD_RDIOptions : public CLCD_RestartingContainer {
  public:
    explicit CLCD_RDIOptions(int32_t id);
    bool HasRights(CLCD_Manager& manager) override;
};

// The RDI parameters in three number steps, handed to the PMPP agent of the
// central port at once.
class CLCD_RDISettings : public CLCD_SimpleWizardBase {
  public:
    explicit CLCD_RDISettings(int32_t id);
    void DrawSuffix(CLCD_Manager& manager, CLCD& lcd, uint8_t row, uint8_t justify) override;

  protected:
    void Finish(CLCD_Manager& manager) override;

  private:
    wizard_step steps_[3];
};

// The factory records of the port screens.
extern const menu_family PORT_SCREENS;
