// The NTCIP agents, the numbered port drivers and the binding between them.
//
// An NTCIP agent is one CNTCIP object: an SNMP agent record (filled by
// snmp_agent_create) with a link of its own. An agent carries traffic only
// while CNTCIP::Configure binds it to a port driver:
//
//   port 0  serial driver of UART 0 (the CCP port)   4  TCP server: NTCIP port and 14001
//   port 1  serial driver of UART 1 (front panel)    5  UDP server: NTCIP port and 3002
//   ports 2, 3  no driver                             6  TCP server: 162 (trap connection)
//
// A 32-bit lock word holds one bit per port; a set bit means some user holds
// the port (AcquirePortDriver / ReleasePortDriver). Port 100 means no port.
// The agent table (12 rows, creation order) finds an agent by name.
#pragma once

#include "comm/links/snmp_ethernet.h"
#include "comm/snmp/snmp_agent.h"

#include <cstdint>

const uint8_t PORT_NONE = 100;
const uint32_t PORT_DRIVERS = 7;
const uint32_t AGENT_ROWS = 12;
const int AGENT_NOT_FOUND = 255;

enum agent_type : uint8_t {
    AGENT_UNUSED = 0,
    AGENT_PMPP = 1,
    AGENT_PPP = 2,
    AGENT_ETHERNET = 3,
};

class CNTCIP : public snmp_agent {
  public:
    CNTCIP();
    virtual ~CNTCIP() = default;
    CNTCIP(const CNTCIP&) = delete;
    CNTCIP& operator=(const CNTCIP&) = delete;

    // The first call runs snmp_entry.
    static void InitSNMP();
    // An SNMP-over-Ethernet agent on port 161 / trap port 162, its memory
    // carved at *cursor. -> the result of InsertAgent, or 0 when creation failed.
    static int CreateEthernetAgent(CNTCIP* agent, uint8_t** cursor, const char* name);
    // Appends {agent, port 100, type}. -> 1, or 0 when the table is full.
    static int InsertAgent(CNTCIP* agent, uint8_t type);
    // Binds the named agent to a port (or unbinds it with port 100). -> 1 done, 0 refused.
    static int Configure(const char* name, uint8_t port);
    // Stores the setting and pushes it into the named Ethernet agent's link. -> 1.
    static int SetEthernetTimeout(CNTCIP* agent, const char* name, uint32_t setting);

    ethernet_link ethernet;
    uint32_t timeout_setting = 0;
};

struct agent_row {
    CNTCIP* agent;
    uint8_t port;
    uint8_t type;
};

// Index of the first row whose agent has this name, or AGENT_NOT_FOUND.
int FindAgent(const char* name);
agent_row* AgentRow(int index);
uint32_t AgentCount();

// The table entry of `port` (null for 2, 3 and 7 up) with its lock bit now
// set; null when the bit was already set or the port is out of range.
void* AcquirePortDriver(uint32_t port);
// Clears the bit (set or not): true for ports 0 to 15, false above.
bool ReleasePortDriver(uint32_t port);
uint32_t PortLockWord();
// The drivers behind the port numbers, fixed by the communication task.
void SetPortDriver(uint32_t port, void* driver);

// The agents' shared IP endpoint: local address and ports, central host.
class CNTCIP_IP {
  public:
    CNTCIP_IP();
    virtual ~CNTCIP_IP() = default;
    void SetLocalAddress(uint32_t address);
    void SetCentralAddress(uint32_t address);

    uint8_t local_bytes[4];
    uint32_t local_address;
    uint16_t local_port;
    uint16_t local_trap_port;
    uint8_t central_bytes[4];
    uint32_t central_address;
    uint16_t central_trap_port;
};
CNTCIP_IP& TheNTCIP_IP();

// The resolution of row `row` of the auxiliary I/O port table; 0 for a row
// outside the table.
uint8_t GetAuxIOPortResolution(uint32_t row);
bool AuxIOPortRowExists(uint32_t row);

// Trap-on-poll queries of the serial agents: no trap queue yet, so always
// "off" and "empty".
bool IsTrapOnPollOff(snmp_agent* agent);
bool IsTrapBufferEmpty(snmp_agent* agent);
