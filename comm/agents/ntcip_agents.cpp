#include "comm/agents/ntcip_agents.h"

#include "comm/net/servers.h"
#include "runtime/console.h"
#include "store/database.h"
#include "store/objects.h"

#include <cstring>

namespace {

const uint32_t LOCK_WORD_PORTS = 16;
const uint16_t ETHERNET_AGENT_PORT = 161;
const uint16_t ETHERNET_TRAP_PORT = 162;

struct agent_table {
    agent_row rows[AGENT_ROWS];
    uint8_t count = 0;
    CNTCIP* instances[AGENT_ROWS];
    uint8_t instance_count = 0;
    uint32_t lock_word = 0;
    void* drivers[PORT_DRIVERS] = {};
    CTCP_Server* port4_server = nullptr; // the TCP server an agent is bound to
    CUDP_Server* port5_server = nullptr;
    bool snmp_ready = false;
};

agent_table& table() {
    static agent_table t;
    return t;
}

void clear_rows(agent_table& t) {
    for (agent_row& row : t.rows)
        row = agent_row{nullptr, PORT_NONE, AGENT_UNUSED};
    t.count = 0;
    t.instance_count = 0;
}

// The idle callbacks: a send that reports "not sent", no byte output.
bool idle_send_frame(const ethernet_source&, const uint8_t*, uint32_t) {
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

void idle_callbacks(CNTCIP* agent) {
    agent->ethernet.send_frame = idle_send_frame;
    agent->ethernet.write_byte = nullptr;
}

// Step 2 of a binding change: the old port is released and forgotten.
void release_old_port(agent_row& row) {
    if (row.port == PORT_NONE) return;
    if (!ReleasePortDriver(row.port)) {
        console_printf("CNTCIP::Configure: error releasing driver\n");
        return;
    }
    if (row.port == 4) {
        if (table().port4_server) table().port4_server->SetRxCallback(nullptr, 0, 0);
        table().port4_server = nullptr;
    }
    if (row.port == 5) table().port5_server = nullptr;
}

void bind_ethernet(CNTCIP* agent, uint8_t port, void* driver) {
    if (port == 4) {
        table().port4_server = static_cast<CTCP_Server*>(driver);
        agent->ethernet.send_frame = tcp_send_frame;
        agent->ethernet.write_byte = nullptr;
        agent->response_limit = ETHERNET_TX_BYTES;
        return;
    }
    if (port == 5) {
        table().port5_server = static_cast<CUDP_Server*>(driver);
        agent->ethernet.send_frame = udp_send_frame;
        agent->ethernet.write_byte = nullptr;
        agent->response_limit = UDP_SEND_MAX;
        return;
    }
    console_printf("CNTCIP::Configure: error invalid port setting:%d\n", port);
    idle_callbacks(agent);
}

} // namespace

CNTCIP::CNTCIP() {
    std::memset(static_cast<snmp_agent*>(this), 0, sizeof(snmp_agent));
    std::memset(static_cast<void*>(&ethernet), 0, sizeof ethernet);
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
    idle_callbacks(agent);
    uint32_t used = 0;
    if (snmp_agent_create(agent, name, ETHERNET_AGENT_PORT, ETHERNET_TRAP_PORT,
                          TheNTCIP_IP().local_bytes, *cursor, &used, 0, snmp_process,
                          snmp_nonrequest_stub, snmp_ethernet_net_drv, nullptr, nullptr) != 0)
        return 0;
    *cursor += used;
    idle_callbacks(agent);
    return InsertAgent(agent, AGENT_ETHERNET);
}

int CNTCIP::InsertAgent(CNTCIP* agent, uint8_t type) {
    agent_table& t = table();
    if (t.count >= AGENT_ROWS) return 0;
    t.rows[t.count++] = agent_row{agent, PORT_NONE, type};
    return 1;
}

int CNTCIP::Configure(const char* name, uint8_t port) {
    int index = FindAgent(name);
    if (index == AGENT_NOT_FOUND) return 0;
    agent_row& row = table().rows[index];
    release_old_port(row);
    if (port == PORT_NONE) {
        row.port = PORT_NONE;
        if (row.type != AGENT_ETHERNET) {
            console_printf("CNTCIP::Configure: error invalid protocol type\n");
            return 0;
        }
        idle_callbacks(row.agent);
        return 1;
    }
    void* driver = AcquirePortDriver(port);
    if (!driver) {
        console_printf("CNTCIP::Configure: error unable to attain driver:%d\n", port);
        return 0;
    }
    row.port = port;
    if (row.type != AGENT_ETHERNET) {
        console_printf("CNTICP::Configure: error unknown protocol type\n");
        return 0;
    }
    bind_ethernet(row.agent, port, driver);
    return 1;
}

int CNTCIP::SetEthernetTimeout(CNTCIP* agent, const char* name, uint32_t setting) {
    if (agent) agent->timeout_setting = setting;
    int index = FindAgent(name);
    if (index == AGENT_NOT_FOUND) return 1;
    agent_row& row = table().rows[index];
    if (row.type == AGENT_ETHERNET && row.agent)
        ethernet_set_timeout(&row.agent->ethernet, setting);
    return 1;
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
    CInterruptLock lock;
    agent_table& t = table();
    if (t.lock_word & (1u << port)) return nullptr;
    t.lock_word |= 1u << port;
    return t.drivers[port];
}

bool ReleasePortDriver(uint32_t port) {
    if (port >= LOCK_WORD_PORTS) return false;
    CInterruptLock lock;
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

bool IsTrapOnPollOff(snmp_agent* agent) {
    (void)agent;
    return true;
}

bool IsTrapBufferEmpty(snmp_agent* agent) {
    (void)agent;
    return true;
}
