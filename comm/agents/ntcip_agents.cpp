#include "comm/agents/ntcip_agents.h"

#include "comm/drivers/serial_driver.h"
#include "comm/net/servers.h"
#include "comm/network.h"
#include "ntcip/objects/mib2.h"
#include "runtime/console.h"
#include "store/database.h"
#include "store/objects.h"

#include <cstring>

namespace {

const uint32_t LOCK_WORD_PORTS = 16;
const uint16_t ETHERNET_AGENT_PORT = 161;
const uint16_t ETHERNET_TRAP_PORT = 162;
const uint16_t SERIAL_AGENT_PORT = 1161;
const uint16_t SERIAL_TRAP_PORT = 1162;
const uint32_t DISPATCH_STACK_BYTES = 2048;
const uint8_t CCP_PORT = 0, TCP_PORT = 4, UDP_PORT = 5;
const uint32_t WAKE_GROUPS = 4;
const uint8_t RDI_MODE = 14;

struct agent_table {
    agent_row rows[AGENT_ROWS];
    uint8_t count = 0;
    CNTCIP* instances[AGENT_ROWS];
    uint8_t instance_count = 0;
    uint32_t lock_word = 0;
    void* drivers[PORT_DRIVERS] = {};
    CSerialDriver* port0_driver = nullptr; // the serial driver an agent is bound to
    CTCP_Server* port4_server = nullptr;   // the TCP server an agent is bound to
    CUDP_Server* port5_server = nullptr;
    CModemDriver* ccp_modem = nullptr;
    bool last_carrier = false;
    uint32_t carrier_changes = 0; // of the CCP driver, as seen last
    uint8_t ccp_status = 0;
    bool snmp_ready = false;
    TX_MUTEX mutex; // "NTCIP PORT MUTEX": lock word, table and bindings
    bool mutex_ready = false;
    TX_EVENT_FLAGS_GROUP* wake_groups[WAKE_GROUPS] = {};
};

CJ6SerialDriver serial_drivers[2];

agent_table& table() {
    static agent_table t = [] {
        agent_table fresh;
        fresh.drivers[0] = &serial_drivers[0];
        fresh.drivers[1] = &serial_drivers[1];
        return fresh;
    }();
    return t;
}

// The table's lock: a recursive kernel mutex, taken only on a thread (at
// start-up nothing else runs).
class TableLock {
  public:
    TableLock() {
        agent_table& t = table();
        if (!t.mutex_ready) {
            t.mutex_ready = tx_mutex_create(&t.mutex, "NTCIP PORT MUTEX", TX_INHERIT) == TX_SUCCESS;
        }
        held_ = t.mutex_ready && tx_thread_identify() != nullptr &&
                tx_mutex_get(&t.mutex, TX_WAIT_FOREVER) == TX_SUCCESS;
    }
    ~TableLock() {
        if (held_) tx_mutex_put(&table().mutex);
    }
    TableLock(const TableLock&) = delete;
    TableLock& operator=(const TableLock&) = delete;

  private:
    bool held_;
};

void clear_rows(agent_table& t) {
    for (agent_row& row : t.rows)
        row = agent_row{nullptr, PORT_NONE, AGENT_UNUSED};
    t.count = 0;
    t.instance_count = 0;
}

// ---- Callbacks of the links ----

bool idle_send_frame(const ethernet_source&, const uint8_t*, uint32_t) {
    return false;
}
bool idle_frame(const uint8_t*, uint32_t) {
    return false;
}
void idle_write(uint8_t) {}
bool idle_read(uint8_t*) {
    return false;
}

bool tcp_send_frame(const ethernet_source& to, const uint8_t* data, uint32_t length) {
    CTCP_Server* server = table().port4_server;
    return server && to.server == server && server->SendOn(to.slot, data, length);
}

bool udp_send_frame(const ethernet_source& to, const uint8_t* data, uint32_t length) {
    CUDP_Server* server = table().port5_server;
    return server && to.server == server &&
           server->SendTo(to.slot, to.peer_ip, to.peer_port, data, length);
}

// Framed links on Ethernet: the whole frame to the connection or sender seen last.
bool tcp_send_link_frame(const uint8_t* data, uint32_t length) {
    CTCP_Server* server = table().port4_server;
    return server && server->Send(data, length);
}

bool udp_send_link_frame(const uint8_t* data, uint32_t length) {
    CUDP_Server* server = table().port5_server;
    return server && server->Send(data, length);
}

// The link callbacks of one agent type, as one row.
struct link_callbacks {
    pmpp_byte_fn write_byte;
    pmpp_read_fn read_byte;
    pmpp_frame_fn send_frame;
};
const link_callbacks IDLE = {idle_write, idle_read, idle_frame};
const link_callbacks ON_CCP = {ccp_write_byte, ccp_read_byte, idle_frame};
const link_callbacks ON_TCP = {idle_write, idle_read, tcp_send_link_frame};
const link_callbacks ON_UDP = {idle_write, idle_read, udp_send_link_frame};

void install(CNTCIP* agent, uint8_t type, const link_callbacks& c) {
    if (type == AGENT_PMPP) {
        agent->pmpp.write_byte = c.write_byte;
        agent->pmpp.read_byte = c.read_byte;
        agent->pmpp.send_frame = c.send_frame;
    } else if (type == AGENT_PPP) {
        agent->ppp.write_byte = c.write_byte;
        agent->ppp.read_byte = c.read_byte;
        agent->ppp.send_frame = c.send_frame;
    } else {
        agent->ethernet.send_frame = idle_send_frame;
        agent->ethernet.write_byte = nullptr;
    }
}

uint32_t wake_group_number(TX_EVENT_FLAGS_GROUP* group) {
    agent_table& t = table();
    for (uint32_t i = 0; i < WAKE_GROUPS; i++) {
        if (t.wake_groups[i] == group) return i;
        if (!t.wake_groups[i]) {
            t.wake_groups[i] = group;
            return i;
        }
    }
    return WAKE_GROUPS;
}

// The worker wake of the agent's framed link.
void wake_of(CNTCIP* agent, uint8_t type, uint32_t& group, uint32_t& flags) {
    TX_EVENT_FLAGS_GROUP* g = type == AGENT_PMPP ? agent->pmpp.wake_group : agent->ppp.wake_group;
    flags = type == AGENT_PMPP ? agent->pmpp.wake_flag : agent->ppp.wake_flag;
    group = wake_group_number(g);
}

// Step 2 of a binding change: the old port is released and forgotten.
void release_old_port(agent_row& row) {
    if (row.port == PORT_NONE) return;
    if (!ReleasePortDriver(row.port)) {
        console_printf("CNTCIP::Configure: error releasing driver\n");
        return;
    }
    agent_table& t = table();
    if (row.port == CCP_PORT) {
        if (t.port0_driver) t.port0_driver->SetRxCallback(nullptr, 0, 0);
        t.port0_driver = nullptr;
    }
    if (row.port == TCP_PORT) {
        if (t.port4_server) t.port4_server->SetRxCallback(nullptr, 0, 0);
        t.port4_server = nullptr;
    }
    if (row.port == UDP_PORT) t.port5_server = nullptr;
}

void invalid_port(agent_row& row, uint8_t port, const char* text) {
    console_printf(text, port);
    install(row.agent, row.type, IDLE);
}

// Step 6: the link callbacks by agent type and port.
void bind_framed(agent_row& row, uint8_t port, void* driver, bool rdi) {
    agent_table& t = table();
    const char* invalid = row.type == AGENT_PMPP
                              ? "CNTCIP::Configure: error invalid port setting:%d\n"
                              : "CNTICIP::Configure: error invalid port setting:%d\n";
    uint32_t group = 0, flags = 0;
    wake_of(row.agent, row.type, group, flags);
    if (port == CCP_PORT) {
        t.port0_driver = static_cast<CSerialDriver*>(driver);
        install(row.agent, row.type, ON_CCP);
        t.port0_driver->SetRxCallback(link_wake_worker, group, flags);
        if (row.type == AGENT_PMPP) row.agent->pmpp.rdi_flag = rdi;
    } else if (port == TCP_PORT) {
        t.port4_server = static_cast<CTCP_Server*>(driver);
        install(row.agent, row.type, ON_TCP);
        t.port4_server->SetRxCallback(link_wake_worker, group, flags);
    } else if (port == UDP_PORT) {
        t.port5_server = static_cast<CUDP_Server*>(driver);
        install(row.agent, row.type, ON_UDP);
    } else {
        invalid_port(row, port, invalid);
    }
}

void bind_ethernet(agent_row& row, uint8_t port, void* driver) {
    CNTCIP* agent = row.agent;
    if (port == TCP_PORT) {
        table().port4_server = static_cast<CTCP_Server*>(driver);
        agent->ethernet.send_frame = tcp_send_frame;
        agent->ethernet.write_byte = nullptr;
        agent->response_limit = ETHERNET_TX_BYTES;
        return;
    }
    if (port == UDP_PORT) {
        table().port5_server = static_cast<CUDP_Server*>(driver);
        agent->ethernet.send_frame = udp_send_frame;
        agent->ethernet.write_byte = nullptr;
        agent->response_limit = UDP_SEND_MAX;
        return;
    }
    invalid_port(row, port, "CNTCIP::Configure: error invalid port setting:%d\n");
}

// The row of a named agent, or null.
agent_row* row_named(const char* name) {
    int index = FindAgent(name);
    return index == AGENT_NOT_FOUND ? nullptr : &table().rows[index];
}

int create_serial_agent(CNTCIP* agent, uint8_t** cursor, const char* name, uint8_t type) {
    if (!agent || !cursor || !*cursor) return 0;
    CNTCIP::InitSNMP();
    bool pmpp = type == AGENT_PMPP;
    agent->link = pmpp ? static_cast<void*>(&agent->pmpp) : static_cast<void*>(&agent->ppp);
    agent->pmpp.station_address = uint16_t(db_get(obj::halvhdlcAddress));
    agent->net = &agent->link_net;
    uint32_t used = 0;
    if (snmp_agent_create(agent, name, SERIAL_AGENT_PORT, SERIAL_TRAP_PORT,
                          TheNTCIP_IP().local_bytes, *cursor, &used, DISPATCH_STACK_BYTES,
                          snmp_process, snmp_nonrequest_stub,
                          pmpp ? snmp_pmpp_net_drv : snmp_ppp_net_drv, ppp_udp_ip_thread_entry,
                          snmp_tcp_dispatch_entry) != 0)
        return 0;
    *cursor += used;
    if (pmpp) {
        agent->pmpp.bytes_dropped = agent->pmpp.bytes_invalid = 0;
        agent->pmpp.frames_sent = agent->pmpp.frames_received = 0;
    } else {
        agent->ppp.bytes_dropped = agent->ppp.bytes_invalid = 0;
        agent->ppp.frames_sent = agent->ppp.frames_received = 0;
    }
    install(agent, type, IDLE);
    return CNTCIP::InsertAgent(agent, type);
}

// halvCommConfigFlowControl row 0 to the CCP port's option and flow words.
struct ccp_row {
    uint8_t flow_control;
    uint32_t options;
    uint32_t flow;
};
const ccp_row CCP_ROWS[] = {
    {1, 0x1821, 0}, {2, 0x5221, 0}, {3, 0x5421, 0}, {7, 0x5021, 1}, {8, 0x5421, 2},
};
const ccp_line_options CCP_OTHER = {0x3121, 0};
const uint32_t FRONT_PANEL_OPTIONS = 0x3121;
const uint32_t FRONT_PANEL_BAUD = 19200;
const uint32_t CCP_RING_BYTES = 2000;
const uint32_t FRONT_PANEL_RING_BYTES = 4000;

} // namespace

CNTCIP::CNTCIP() {
    std::memset(static_cast<snmp_agent*>(this), 0, sizeof(snmp_agent));
    std::memset(static_cast<void*>(&ethernet), 0, sizeof ethernet);
    std::memset(static_cast<void*>(&pmpp), 0, sizeof pmpp);
    std::memset(static_cast<void*>(&ppp), 0, sizeof ppp);
    agent_table& t = table();
    if (t.instance_count == 0) clear_rows(t);
    if (t.instance_count < AGENT_ROWS) t.instances[t.instance_count++] = this;
}

void CNTCIP::InitSNMP() {
    if (table().snmp_ready) return;
    table().snmp_ready = true;
    snmp_entry();
}

int CNTCIP::CreateEthernetAgent(CNTCIP* agent, uint8_t** cursor, const char* name) {
    if (!agent || !cursor || !*cursor) return 0;
    InitSNMP();
    agent->link = &agent->ethernet;
    install(agent, AGENT_ETHERNET, IDLE);
    uint32_t used = 0;
    if (snmp_agent_create(agent, name, ETHERNET_AGENT_PORT, ETHERNET_TRAP_PORT,
                          TheNTCIP_IP().local_bytes, *cursor, &used, 0, snmp_process,
                          snmp_nonrequest_stub, snmp_ethernet_net_drv, nullptr, nullptr) != 0)
        return 0;
    *cursor += used;
    install(agent, AGENT_ETHERNET, IDLE);
    return InsertAgent(agent, AGENT_ETHERNET);
}

int CNTCIP::CreatePMPPAgent(CNTCIP* agent, uint8_t** cursor, const char* name) {
    return create_serial_agent(agent, cursor, name, AGENT_PMPP);
}

int CNTCIP::CreatePPPAgent(CNTCIP* agent, uint8_t** cursor, const char* name, const char* options) {
    if (agent) agent->ppp.chap_enable = options && std::strcmp(options, "nchap") == 0 ? 0 : 1;
    return create_serial_agent(agent, cursor, name, AGENT_PPP);
}

int CNTCIP::InsertAgent(CNTCIP* agent, uint8_t type) {
    TableLock lock;
    agent_table& t = table();
    if (t.count >= AGENT_ROWS) return 0;
    t.rows[t.count++] = agent_row{agent, PORT_NONE, type};
    return 1;
}

int CNTCIP::Configure(const char* name, uint8_t port) {
    TableLock lock;
    agent_row* row = row_named(name);
    if (!row) return 0;
    // The old binding goes first; a refused new port leaves the agent
    // unbound, so that a later unbinding releases nothing another user holds.
    release_old_port(*row);
    row->port = PORT_NONE;
    if (port == PORT_NONE) {
        if (row->type != AGENT_PMPP && row->type != AGENT_PPP && row->type != AGENT_ETHERNET) {
            console_printf("CNTCIP::Configure: error invalid protocol type\n");
            return 0;
        }
        install(row->agent, row->type, IDLE);
        return 1;
    }
    void* driver = AcquirePortDriver(port);
    if (!driver) {
        console_printf("CNTCIP::Configure: error unable to attain driver:%d\n", port);
        install(row->agent, row->type, IDLE);
        return 0;
    }
    row->port = port;
    row->agent->pmpp.rdi_flag = 0;
    switch (row->type) {
    case AGENT_PMPP:
    case AGENT_PPP:
        bind_framed(*row, port, driver,
                    db_get(obj::halvCommConfigProtocol.row(CCP_PORT)) == RDI_MODE);
        return 1;
    case AGENT_ETHERNET:
        bind_ethernet(*row, port, driver);
        return 1;
    default:
        console_printf("CNTICP::Configure: error unknown protocol type\n");
        return 0;
    }
}

int CNTCIP::SetEthernetTimeout(CNTCIP* agent, const char* name, uint32_t setting) {
    if (agent) agent->timeout_setting = setting;
    agent_row* row = row_named(name);
    if (row && row->agent) ethernet_set_timeout(&row->agent->ethernet, setting);
    return 1;
}

int CNTCIP::SetPMPPTimeout(CNTCIP* agent, const char* name, uint32_t timeout) {
    if (agent) agent->timeout_setting = timeout;
    agent_row* row = row_named(name);
    if (row && row->agent) pmpp_set_timeout(&row->agent->pmpp, timeout);
    return 1;
}

int CNTCIP::SetPPPTimeout(CNTCIP* agent, const char* name, uint32_t timeout) {
    if (agent) agent->timeout_setting = timeout;
    agent_row* row = row_named(name);
    if (row && row->agent) ppp_set_timeout(&row->agent->ppp, timeout);
    return 1;
}

int CNTCIP::SetRDIParameters(CNTCIP* agent, const char* name, uint32_t ack_timeout,
                             uint32_t retries, uint32_t remote_address, uint32_t remote_lid) {
    if (agent) agent->timeout_setting = ack_timeout;
    agent_row* row = row_named(name);
    if (row && row->agent)
        pmpp_set_rdi_parameters(&row->agent->pmpp, ack_timeout, retries, remote_address,
                                remote_lid);
    return 1;
}

uint32_t CNTCIP::GetAgentStatistic(const char* name, uint32_t selector) {
    agent_row* row = row_named(name);
    if (!row || !row->agent || selector < 1 || selector > 4) return 0;
    const uint32_t* words; // frames received, frames sent, bytes dropped, bytes invalid
    uint32_t values[4];
    CNTCIP* a = row->agent;
    switch (row->type) {
    case AGENT_PMPP:
        values[0] = a->pmpp.frames_received, values[1] = a->pmpp.frames_sent;
        values[2] = a->pmpp.bytes_dropped, values[3] = a->pmpp.bytes_invalid;
        break;
    case AGENT_PPP:
        values[0] = a->ppp.frames_received, values[1] = a->ppp.frames_sent;
        values[2] = a->ppp.bytes_dropped, values[3] = a->ppp.bytes_invalid;
        break;
    case AGENT_ETHERNET:
        values[0] = a->ethernet.frames_received, values[1] = a->ethernet.frames_sent;
        values[2] = a->ethernet.bytes_dropped, values[3] = a->ethernet.bytes_invalid;
        break;
    default:
        return 0;
    }
    words = values;
    return words[selector - 1];
}

void CNTCIP::SetStationAddress(uint16_t address) {
    agent_table& t = table();
    for (uint8_t i = 0; i < t.instance_count; i++)
        t.instances[i]->pmpp.station_address = address;
}

int CNTCIP::LinkExternalModem(uint32_t port, CModemDriver* modem) {
    TableLock lock;
    if (port != CCP_PORT) {
        console_printf("CNTCIP::LinkExternalModem: error unknown comm port setting\n");
        return 0;
    }
    table().ccp_modem = modem;
    return 0;
}

namespace {
// The "ccp_ppp" agent's link, when that agent exists.
ppp_link* ccp_ppp_link() {
    agent_row* row = row_named("ccp_ppp");
    return row && row->agent && row->agent->ppp.id == PPP_LINK_ID ? &row->agent->ppp : nullptr;
}
} // namespace

int CNTCIP::UnlinkModem(CModemDriver* modem) {
    TableLock lock;
    if (!modem || table().ccp_modem != modem) return 0;
    if (ppp_link* link = ccp_ppp_link()) ppp_link_down(link);
    table().ccp_modem = nullptr;
    return 0;
}

CModemDriver* CcpModem() {
    return table().ccp_modem;
}

void CNTCIP::ConfigureIPAddresses() {
    agent_table& t = table();
    const CNTCIP_IP& ip = TheNTCIP_IP();
    ULONG address = 0, mask = 0;
    if (nx_ip_address_get(&ethernet_ip(), &address, &mask) != NX_SUCCESS) mask = 0xFFFF0000u;
    for (uint8_t i = 0; i < t.count; i++) {
        CNTCIP* agent = t.rows[i].agent;
        if (!agent) continue;
        std::memcpy(agent->address, ip.local_bytes, 4);
        snmp_link_net_address_set(agent, ip.local_address, mask);
        if (t.rows[i].type == AGENT_PPP)
            ppp_ip_address_set(&agent->ppp, ip.local_address, ip.central_address);
    }
    // Entry 0 of the address-translation table: this sign's address and MAC.
    uint8_t mac[6 + 1] = {}; // the copy ends in a NUL
    db_get_string_copy(obj::ifPhysAddress, mac, sizeof mac);
    at_cache_set(0, ip.local_address, mac);
}

namespace {
// The CCP's carrier watch, with or without a modem: a change (counted by
// the driver's interrupt, or seen in the level) ends the PPP session on the
// line, so that the next caller or cable peer authenticates again. -> the
// carrier now.
bool watch_ccp_carrier(agent_table& t, CSerialDriver* driver) {
    uint32_t changes = driver->CarrierChanges();
    bool carrier = driver->IsDCD();
    bool changed = changes != t.carrier_changes || carrier != t.last_carrier;
    t.carrier_changes = changes;
    t.last_carrier = carrier;
    if (changed)
        if (ppp_link* link = ccp_ppp_link()) ppp_session_restart(link, SESSION_PASSIVE);
    return carrier;
}
} // namespace

bool ccp_read_byte(uint8_t* byte) {
    agent_table& t = table();
    CSerialDriver* driver = t.port0_driver;
    if (!driver) return false;
    int value = -1;
    CModemDriver* modem = t.ccp_modem;
    bool carrier = watch_ccp_carrier(t, driver);
    if (!modem) {
        bool got = driver->ReadByte(&value);
        if (got) *byte = uint8_t(value);
        return got;
    }
    bool got = false;
    while (driver->ReadByte(&value)) {
        if (carrier) {
            *byte = uint8_t(value);
            got = true;
            break;
        }
        modem->PushResponseByte(uint8_t(value));
        if (modem->IsBufferAlmostFull()) break;
    }
    t.ccp_status = driver->IsDCD() ? uint8_t(t.ccp_status | 1) : uint8_t(t.ccp_status & ~1);
    return got;
}

void ccp_write_byte(uint8_t byte) {
    CSerialDriver* driver = table().port0_driver;
    if (driver) driver->WriteByte(byte);
}

void link_wake_worker(uint32_t group, uint32_t flags) {
    if (group < WAKE_GROUPS && table().wake_groups[group])
        tx_event_flags_set(table().wake_groups[group], flags, TX_OR);
}

uint8_t CcpLinkStatus() {
    return table().ccp_status;
}

ccp_line_options CcpLineOptions(uint8_t flow_control, uint8_t mode) {
    ccp_line_options chosen = CCP_OTHER;
    for (const ccp_row& row : CCP_ROWS)
        if (row.flow_control == flow_control) chosen = ccp_line_options{row.options, row.flow};
    if (mode == RDI_MODE)
        chosen.options = (chosen.options & ~SERIAL_NO_PARITY) | SERIAL_OWN_LINE_CONTROL;
    return chosen;
}

CJ6SerialDriver& SerialPortDriver(uint32_t port) {
    return serial_drivers[port & 1];
}

bool OpenSerialPorts(bool first) {
    uint8_t mode = uint8_t(db_get(obj::halvCommConfigProtocol.row(CCP_PORT)));
    ccp_line_options line =
        CcpLineOptions(uint8_t(db_get(obj::halvCommConfigFlowControl.row(CCP_PORT))), mode);
    bool opened = serial_drivers[0].Open(0, db_get(obj::rs232PortInSpeed.row(CCP_PORT)), 8,
                                         line.options, line.flow, CCP_RING_BYTES);
    if (first)
        serial_drivers[1].Open(1, FRONT_PANEL_BAUD, 8, FRONT_PANEL_OPTIONS, 0,
                               FRONT_PANEL_RING_BYTES);
    return opened;
}

int FindAgent(const char* name) {
    if (!name) return AGENT_NOT_FOUND;
    agent_table& t = table();
    for (uint8_t i = 0; i < t.count; i++)
        if (t.rows[i].agent && std::strncmp(t.rows[i].agent->name, name, SNMP_AGENT_NAME) == 0)
            return i;
    return AGENT_NOT_FOUND;
}

agent_row* AgentRow(int index) {
    if (index < 0 || index >= table().count) return nullptr;
    return &table().rows[index];
}

uint32_t AgentCount() {
    return table().count;
}

void* AcquirePortDriver(uint32_t port) {
    if (port >= PORT_DRIVERS) return nullptr;
    TableLock lock;
    agent_table& t = table();
    if (t.lock_word & (1u << port)) return nullptr;
    t.lock_word |= 1u << port;
    return t.drivers[port];
}

bool ReleasePortDriver(uint32_t port) {
    if (port >= LOCK_WORD_PORTS) return false;
    TableLock lock;
    table().lock_word &= ~(1u << port);
    return true;
}

uint32_t PortLockWord() {
    return table().lock_word;
}

void SetPortDriver(uint32_t port, void* driver) {
    if (port < PORT_DRIVERS) table().drivers[port] = driver;
}

CNTCIP_IP::CNTCIP_IP()
    : local_bytes{0, 0, 0, 0}, local_address(0), local_port(161),
      local_trap_port(162), central_bytes{0, 0, 0, 0}, central_address(0), central_trap_port(162) {}

namespace {
void split_address(uint32_t address, uint8_t bytes[4]) {
    for (int i = 0; i < 4; i++)
        bytes[i] = static_cast<uint8_t>(address >> (24 - 8 * i));
}
} // namespace

void CNTCIP_IP::SetLocalAddress(uint32_t address) {
    local_address = address;
    split_address(address, local_bytes);
}

void CNTCIP_IP::SetCentralAddress(uint32_t address) {
    central_address = address;
    split_address(address, central_bytes);
}

CNTCIP_IP& TheNTCIP_IP() {
    static CNTCIP_IP ip;
    return ip;
}

bool AuxIOPortRowExists(uint32_t row) {
    return row < obj::auxIOv2PortResolution.rows;
}

uint8_t GetAuxIOPortResolution(uint32_t row) {
    if (!AuxIOPortRowExists(row)) return 0;
    return static_cast<uint8_t>(db_get(obj::auxIOv2PortResolution.row(row)));
}
