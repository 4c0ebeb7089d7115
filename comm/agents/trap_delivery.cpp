#include "comm/agents/trap_delivery.h"

#include "comm/agents/ntcip_agents.h"
#include "comm/agents/trap_message.h"
#include "comm/net/clients.h"
#include "comm/net/servers.h"
#include "ntcip/schedule/schedule_task.h"
#include "runtime/console.h"
#include "store/database.h"
#include "store/objects.h"

#include <cstring>

namespace {

const uint32_t CCP_ROW = 0, ETHERNET_ROW = 4, PORT_ROWS = 5;
const uint8_t CCP_PORT = 0, TRAP_PORT = 6;
const uint32_t SPECIFIC_FIRST = 2, SPECIFIC_LAST = 20;
const uint32_t GENERIC_LAST = TRAP_ENTERPRISE_SPECIFIC;
const uint32_t ETHERNET_PACING = 2; // passes skipped after a UDP trap or a link down
const uint32_t SECONDS_PER_MINUTE = 60;
const uint32_t UDP_DRAIN_BYTES = 1500;

// The dial-back's counts, in passes of the communication task (2 s each).
const int32_t CCP_WAIT_AT_START = 15;
const int32_t CONNECT_ESCAPE_PASS = 237;
const int32_t CONNECT_HANG_UP_PASS = 240;
const int32_t LINK_DOWN_WAIT = 5;
const int32_t AFTER_TRAP_WAIT = 60;
const uint8_t AFTER_TRAP_HANG_UP = 20; // passes the call stays up after the last trap
const uint8_t HANG_UP_ESCAPE = 4;
const uint32_t PASSES_PER_MINUTE = 30;
const uint8_t UNLIMITED_ATTEMPTS = 255;
const uint8_t CARRIER = 0x01;

struct delivery_state {
    uint32_t last_queued = 0; // global time of the last queued trap
    uint32_t ethernet_pacing = 0;
    int32_t ccp_wait = CCP_WAIT_AT_START;
    int32_t ccp_connect = 0;
    int32_t ccp_dials = 0;
    uint32_t ccp_last_seen = 0;
    uint8_t ccp_hang_up = 0;
};

delivery_state& state() {
    static delivery_state s;
    return s;
}

bool link_up_stand_in() {
    return true;
}
bool no_comm_loss() {
    return false;
}
bool (*g_link_up)() = link_up_stand_in;
bool (*g_poll_time_loss)() = no_comm_loss;

uint8_t row_of(const DbObject& column, uint32_t row) {
    return uint8_t(db_get(column.row(row)));
}

bool some_port_has_a_trap_mode() {
    for (uint32_t row = 0; row < PORT_ROWS; row++) {
        uint8_t mode = row_of(obj::halvCommConfigTraps, row);
        if (mode >= TRAP_MODE_CCP && mode <= TRAP_MODE_PORT) return true;
    }
    return false;
}

bool enterprise_bit(uint32_t specific) {
    uint8_t bitmap[8] = {};
    uint32_t length = db_get_string_copy(obj::halvTrapsEnterpriseSpecific, bitmap, sizeof bitmap);
    uint32_t bit = specific - SPECIFIC_FIRST;
    return bit / 8 < length && (bitmap[bit / 8] >> (bit % 8)) & 1;
}

agent_row* row_named(const char* name) {
    return AgentRow(FindAgent(name));
}

// One record to the agent's transport, with the agent's other messages kept
// out of its transmit buffer meanwhile.
void send_record(snmp_agent* agent, uint32_t transport, const trap_record& record) {
    const CNTCIP_IP& ip = TheNTCIP_IP();
    tx_semaphore_get(&agent->semaphore, TX_WAIT_FOREVER);
    snmp_trap_record(agent, transport, ip.central_trap_port, ip.local_bytes, record);
    tx_semaphore_put(&agent->semaphore);
}

bool pop_and_send(snmp_agent* agent, uint32_t transport) {
    trap_record record;
    if (!TheTrapBuffer().Pop(record)) return false;
    send_record(agent, transport, record);
    return true;
}

// The Ethernet transport of each trap mode of row 4, and whether it is ready.
struct ethernet_mode {
    uint8_t mode;
    uint32_t transport;
    bool needs_central_host;
};
const ethernet_mode ETHERNET_MODES[] = {
    {TRAP_MODE_TCP, TRAP_TRANSPORT_TCP, true},
    {TRAP_MODE_UDP, TRAP_TRANSPORT_UDP, true},
    {TRAP_MODE_PORT, TRAP_TRANSPORT_PORT, false},
};

bool transport_ready(uint32_t transport) {
    switch (transport) {
    case TRAP_TRANSPORT_TCP:
        return !tcp_client_busy(&TrapTcpClient());
    case TRAP_TRANSPORT_PORT:
        return TheScheduleTask().TrapPortConnected() != 0;
    default:
        return true;
    }
}

// ---- The CCP port over PPP ----

void ppp_send_when_open(CNTCIP* agent, const char* trace) {
    if (agent->ppp.ipcp_state != PPP_IPCP_OPENED) return;
    trace_printf("%s", trace);
    pop_and_send(agent, TRAP_TRANSPORT_LINK);
}

void ccp_call_up(CNTCIP* agent, CModemDriver* modem) {
    delivery_state& s = state();
    s.ccp_dials = 0;
    if (agent->ppp.ipcp_state == PPP_IPCP_OPENED) {
        ppp_send_when_open(agent, "CNTCIP::ProcessPPPTrapsCCP: ppp link up, send trap\n");
        s.ccp_hang_up = AFTER_TRAP_HANG_UP;
        s.ccp_wait = AFTER_TRAP_WAIT;
        return;
    }
    if (s.ccp_connect == CONNECT_ESCAPE_PASS) {
        trace_printf("CNTCIP::ProcessPPPTrapsCCP: establish ppp connection timed out\n");
        modem->Escape();
        s.ccp_connect++;
    } else if (s.ccp_connect >= CONNECT_HANG_UP_PASS) {
        modem->HangUp();
        s.ccp_connect = 0;
    } else {
        s.ccp_connect++;
    }
}

void ccp_dial_back(CNTCIP* agent, CModemDriver* modem) {
    delivery_state& s = state();
    s.ccp_connect = 0;
    if (s.ccp_wait > 0) {
        if (s.ccp_wait == LINK_DOWN_WAIT) ppp_link_down(&agent->ppp);
        s.ccp_wait--;
        return;
    }
    char number[64] = {};
    if (db_get_string_copy(obj::halvCallbackNumber, number, sizeof number) == 0) return;
    uint8_t limit = uint8_t(db_get(obj::halvCallbackMaxAttempts));
    if (limit != UNLIMITED_ATTEMPTS) {
        if (s.ccp_dials >= limit) return;
        s.ccp_dials++;
    }
    trace_printf("CNTCIP::ProcessPPPTrapsCCP: attempting callback...\n");
    ppp_link_sequencer_restart(&agent->ppp);
    modem->Dial(number);
    s.ccp_wait = int32_t(db_get(obj::halvCallbackMinTimeBetweenAttempts) * PASSES_PER_MINUTE);
}

// After the last trap the call stays up a while, escapes, and hangs up.
void ccp_idle_call(CModemDriver* modem, bool carrier) {
    delivery_state& s = state();
    if (!carrier) {
        s.ccp_hang_up = 0;
    } else if (s.ccp_hang_up > 0) {
        if (s.ccp_hang_up == HANG_UP_ESCAPE) modem->Escape();
        if (s.ccp_hang_up == 1) modem->HangUp();
        s.ccp_hang_up--;
    }
    if (s.ccp_wait > 0) s.ccp_wait--;
}

void ccp_over_ppp() {
    agent_row* row = row_named("ccp_ppp");
    if (!row || !row->agent) return;
    CNTCIP* agent = row->agent;
    CModemDriver* modem = CcpModem();
    bool pending = !TheTrapBuffer().IsEmpty();
    bool carrier = CcpLinkStatus() & CARRIER;
    delivery_state& s = state();
    if (pending && modem) {
        if (s.last_queued != s.ccp_last_seen) {
            s.ccp_last_seen = s.last_queued;
            s.ccp_dials = 0;
        }
        if (carrier)
            ccp_call_up(agent, modem);
        else
            ccp_dial_back(agent, modem);
    } else if (pending) {
        ppp_send_when_open(agent, "CNTCIP::ProcessTrapsCCP: ccp_ppp link up, send trap\n");
    } else if (modem) {
        ccp_idle_call(modem, carrier);
    }
}

void ccp_over_rdi() {
    if (db_get(obj::halvRemoteIPAddress) == 0 || db_get(obj::halvRemoteIPPort) == 0 ||
        db_get(obj::halvObj2_17_3) == 0)
        return;
    agent_row* row = row_named("ccp_pmpp");
    if (!row || !row->agent || TheTrapBuffer().IsEmpty()) return;
    trace_printf("CNTCIP::ProcessPPPTrapsModem: RDI Protocol, send trap\n");
    pop_and_send(row->agent, TRAP_TRANSPORT_LINK);
}

} // namespace

bool TrapEnabled(uint32_t generic, uint32_t specific) {
    if (!some_port_has_a_trap_mode()) return false;
    uint32_t mask = db_get(obj::halvTrapsGeneric);
    bool enabled = false;
    if (generic < GENERIC_LAST) {
        enabled = (mask >> generic) & 1;
    } else if (generic == GENERIC_LAST) {
        if (specific < SPECIFIC_FIRST || specific > SPECIFIC_LAST) {
            console_printf("CNTCIP::SendTrap: unknown enterprise specific trap type\n");
            return false;
        }
        enabled = ((mask >> GENERIC_LAST) & 1) && enterprise_bit(specific);
    } else {
        console_printf("CNTCIP::SendTrap: unknown generic trap type\n");
        return false;
    }
    if (db_get(obj::fdotObj11_6) == 1 && g_poll_time_loss()) return false;
    return enabled;
}

void CNTCIP::SendTrap(uint32_t generic, uint32_t specific, uint32_t count,
                      const trap_varbind* varbinds) {
    if (!TrapEnabled(generic, specific)) return;
    uint32_t minutes = db_get(obj::halvTrapsExpirationDuration);
    uint32_t now = db_get_time();
    uint32_t expiry = minutes == 0 ? 0 : now + SECONDS_PER_MINUTE * minutes;
    static trap_record record; // one raiser at a time fills it
    static TX_MUTEX lock;
    static bool lock_ready = tx_mutex_create(&lock, "Trap Record Mutex", TX_INHERIT) == TX_SUCCESS;
    bool held =
        lock_ready && tx_thread_identify() && tx_mutex_get(&lock, TX_WAIT_FOREVER) == TX_SUCCESS;
    CTrapBuffer::Fill(record, generic, specific, count, varbinds, expiry);
    TheTrapBuffer().Push(record);
    if (held) tx_mutex_put(&lock);
    state().last_queued = now;
}

void CNTCIP::ProcessTraps() {
    if (db_get(obj::halvTrapsExpirationDuration) != 0) TheTrapBuffer().DropExpired(db_get_time());
    ProcessTrapsEthernet();
    ProcessPPPTrapsCCP();
    // The auxiliary, modem and laptop ports never carry an agent: nothing to deliver there.
}

void CNTCIP::ProcessTrapsEthernet() {
    delivery_state& s = state();
    if (s.ethernet_pacing > 0) {
        s.ethernet_pacing--;
        return;
    }
    uint8_t mode = row_of(obj::halvCommConfigTraps, ETHERNET_ROW);
    const ethernet_mode* chosen = nullptr;
    for (const ethernet_mode& m : ETHERNET_MODES)
        if (m.mode == mode) chosen = &m;
    if (!chosen || row_of(obj::halvCommConfigProtocol, ETHERNET_ROW) != TRAP_ETHERNET_SNMP) return;
    const CNTCIP_IP& ip = TheNTCIP_IP();
    if (chosen->needs_central_host && (ip.central_trap_port == 0 || ip.central_address == 0))
        return;
    agent_row* row = row_named("ethernet_udp");
    if (!row || !row->agent || TheTrapBuffer().IsEmpty()) return;
    if (!g_link_up()) {
        s.ethernet_pacing = ETHERNET_PACING;
        return;
    }
    if (!transport_ready(chosen->transport)) return;
    pop_and_send(row->agent, chosen->transport);
    if (chosen->transport == TRAP_TRANSPORT_UDP) s.ethernet_pacing = ETHERNET_PACING;
}

void CNTCIP::ProcessPPPTrapsCCP() {
    if (row_of(obj::halvCommConfigTraps, CCP_ROW) != TRAP_MODE_CCP) return;
    uint8_t protocol = row_of(obj::halvCommConfigProtocol, CCP_ROW);
    if (protocol == TRAP_CCP_PPP) ccp_over_ppp();
    if (protocol == TRAP_CCP_RDI) ccp_over_rdi();
}

bool IsTrapOnPollOff(snmp_agent* agent) {
    agent_row* row = agent ? row_named(agent->name) : nullptr;
    if (!row || row->agent != agent) return true;
    return !(row->port == CCP_PORT && row_of(obj::halvCommConfigTraps, CCP_ROW) == TRAP_MODE_CCP);
}

bool IsTrapBufferEmpty(snmp_agent* agent) {
    agent_row* row = agent ? row_named(agent->name) : nullptr;
    return !row || row->agent != agent || TheTrapBuffer().IsEmpty();
}

bool PopAgentTrap(snmp_agent* agent, trap_record& out) {
    agent_row* row = agent ? row_named(agent->name) : nullptr;
    return row && row->agent == agent && TheTrapBuffer().Pop(out);
}

bool AnswerPollWithTrap(snmp_agent* agent) {
    if (IsTrapOnPollOff(agent) || std::strncmp(agent->name, "ethernet", 8) == 0 ||
        IsTrapBufferEmpty(agent))
        return false;
    static trap_record record; // agents answer one request at a time each; the lock below
    static TX_MUTEX lock;
    static bool lock_ready = tx_mutex_create(&lock, "Trap Poll Mutex", TX_INHERIT) == TX_SUCCESS;
    if (!lock_ready || tx_mutex_get(&lock, TX_WAIT_FOREVER) != TX_SUCCESS) return false;
    bool popped = PopAgentTrap(agent, record);
    if (popped)
        snmp_trap_record(agent, TRAP_TRANSPORT_LINK, TRAP_DEFAULT_PORT, agent->address, record);
    tx_mutex_put(&lock);
    return popped;
}

// A trap longer than one send of the port is refused whole (a cut message
// is no trap) and counted with the messages too big to send.
void SendThroughTrapPort(const uint8_t* data, uint32_t length) {
    if (length > TCP_SEND_MAX) {
        console_printf("SendThroughTrapPort: trap of %u bytes too long, not sent\n",
                       static_cast<unsigned>(length));
        TheDatabase().IncCounter(obj::snmpOutTooBigs);
        return;
    }
    CTCP_Server* server = static_cast<CTCP_Server*>(AcquirePortDriver(TRAP_PORT));
    if (!server) return;
    server->Send(data, length);
    ReleasePortDriver(TRAP_PORT);
}

void StartTrapClients(NX_IP* ip, NX_PACKET_POOL* pool) {
    tcp_client_initialize(&TrapTcpClient(), ip, pool);
    udp_client_initialize(&TrapUdpClient(), ip, pool);
    AimTrapClients();
}

// On the host the trap connection's server holds TCP 162, so the TCP client
// connects from any local port; the UDP client sends from 162.
void AimTrapClients() {
    const CNTCIP_IP& ip = TheNTCIP_IP();
    tcp_client_bind(&TrapTcpClient(), NX_ANY_PORT, ip.central_address, ip.central_trap_port);
    udp_client_configure(&TrapUdpClient(), TRAP_DEFAULT_PORT, ip.central_address,
                         ip.central_trap_port);
}

void DrainTrapUdpClient() {
    static uint8_t buffer[UDP_DRAIN_BYTES];
    while (udp_client_receive(&TrapUdpClient(), buffer, sizeof buffer, NX_NO_WAIT) != 0) {
    }
}

void SetTrapLinkQuery(bool (*ethernet_link_up)()) {
    g_link_up = ethernet_link_up ? ethernet_link_up : link_up_stand_in;
}

void SetTrapCommLossQuery(bool (*poll_time_loss)()) {
    g_poll_time_loss = poll_time_loss ? poll_time_loss : no_comm_loss;
}

void ResetTrapDelivery() {
    state() = delivery_state{};
}
