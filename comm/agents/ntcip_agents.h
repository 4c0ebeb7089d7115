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
// The agent table (12 rows, creation order) finds an agent by name. The lock
// word, the table and the port bindings change under one mutex, since the
// communication task and the peripheral task (modem, front panel) both bind.
#pragma once

#include "comm/drivers/modem_driver.h"
#include "comm/links/pmpp.h"
#include "comm/links/ppp.h"
#include "comm/snmp/snmp_link_net.h"
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
    // A PMPP agent (port 1161 / trap port 1162, station address from
    // halvhdlcAddress); a PPP agent (CHAP on unless the options are "nchap").
    static int CreatePMPPAgent(CNTCIP* agent, uint8_t** cursor, const char* name);
    static int CreatePPPAgent(CNTCIP* agent, uint8_t** cursor, const char* name,
                              const char* options);
    // Appends {agent, port 100, type}. -> 1, or 0 when the table is full.
    static int InsertAgent(CNTCIP* agent, uint8_t type);
    // Binds the named agent to a port (or unbinds it with port 100). -> 1 done, 0 refused.
    static int Configure(const char* name, uint8_t port);
    // Each stores the first value and pushes the values into the named
    // agent's link (when the agent exists and has that link). -> 1.
    static int SetEthernetTimeout(CNTCIP* agent, const char* name, uint32_t setting);
    static int SetPMPPTimeout(CNTCIP* agent, const char* name, uint32_t timeout);
    static int SetPPPTimeout(CNTCIP* agent, const char* name, uint32_t timeout);
    static int SetRDIParameters(CNTCIP* agent, const char* name, uint32_t ack_timeout,
                                uint32_t retries, uint32_t remote_address, uint32_t remote_lid);
    // Link statistics by selector: 1 frames received, 2 frames sent, 3 bytes
    // dropped, 4 bytes invalid; 0 for an unknown agent or selector.
    static uint32_t GetAgentStatistic(const char* name, uint32_t selector);
    static uint32_t GetRxCount(const char* name) { return GetAgentStatistic(name, 1); }
    static uint32_t GetTxCount(const char* name) { return GetAgentStatistic(name, 2); }
    static uint32_t GetBytesDropped(const char* name) { return GetAgentStatistic(name, 3); }
    static uint32_t GetBytesInvalid(const char* name) { return GetAgentStatistic(name, 4); }
    // The PMPP station address of every recorded agent.
    static void SetStationAddress(uint16_t address);
    // The dial-up modem on the CCP port (port 0 only); unlinking takes the
    // "ccp_ppp" link down.
    static int LinkExternalModem(uint32_t port, CModemDriver* modem);
    static int UnlinkModem(CModemDriver* modem);
    // Every agent's own address := the local address of CNTCIP_IP.
    static void ConfigureIPAddresses();

    // Traps (comm/agents/trap_delivery.cpp): queue one trap under the
    // enable settings (any thread); one delivery pass (communication task).
    static void SendTrap(uint32_t generic, uint32_t specific, uint32_t count,
                         const struct trap_varbind* varbinds);
    static void ProcessTraps();
    static void ProcessTrapsEthernet();
    static void ProcessPPPTrapsCCP();

    ethernet_link ethernet;
    pmpp_link pmpp;
    ppp_link ppp;
    snmp_link_net link_net{}; // the IP network of a PPP or PMPP agent's link
    uint32_t timeout_setting = 0;
};

// The dial-up modem linked to the CCP port, or null.
CModemDriver* CcpModem();

// The link callbacks the binding installs on the CCP port (port 0): bytes
// from and to the serial driver bound there, with the modem's carrier watch.
bool ccp_read_byte(uint8_t* byte);
void ccp_write_byte(uint8_t byte);
// The receive callback of a serial driver or TCP server bound to a link:
// wakes the link's worker (argument 1 names its event group, argument 2 the flags).
void link_wake_worker(uint32_t group, uint32_t flags);
// Bit 0: the CCP port has carrier (kept while a modem is linked).
uint8_t CcpLinkStatus();

struct agent_row {
    CNTCIP* agent;
    uint8_t port;
    uint8_t type;
};

// The CCP port's option word and flow word for halvCommConfigFlowControl
// row 0 and the CCP mode (mode 14: the driver writes even parity itself).
struct ccp_line_options {
    uint32_t options;
    uint32_t flow;
};
ccp_line_options CcpLineOptions(uint8_t flow_control, uint8_t mode);

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
// The drivers behind the port numbers: the serial drivers of ports 0 and 1
// are this unit's, the servers of 4 to 6 the communication task's.
void SetPortDriver(uint32_t port, void* driver);
class CJ6SerialDriver;
CJ6SerialDriver& SerialPortDriver(uint32_t port); // port 0 or 1
// Opens the CCP port with the configured line settings (and, the first
// time, the front-panel port). -> the CCP port's Open result.
bool OpenSerialPorts(bool first);

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
