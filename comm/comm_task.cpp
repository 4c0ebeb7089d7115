#include "comm/comm_task.h"

#include "comm/agents/trap_delivery.h"
#include "runtime/console.h"
#include "comm/network.h"
#include "runtime/task_table.h"
#include "store/database.h"
#include "store/objects.h"

namespace {

const uint32_t CCP_ROW = 0, ETHERNET_ROW = 4;
const uint8_t CCP_PORT = 0, TCP_PORT = 4, UDP_PORT = 5, TRAP_PORT = 6;
const uint8_t CCP_PPP_MODES[] = {4, 5}; // every other CCP mode carries PMPP

const char* const ETHERNET_AGENTS[] = {"ethernet_pmpp", "ethernet_ppp", "ethernet_tcp",
                                       "ethernet_udp"};

enum agent_kind : uint8_t { KIND_PMPP, KIND_PPP, KIND_ETHERNET };
struct agent_plan {
    uint32_t element;
    const char* name;
    agent_kind kind;
    uint32_t timeout_row;
};
// The six agents, in the order they are created, and the row of
// halvCommConfigInnerCharTimeout their link's timeout comes from.
const agent_plan AGENT_PLAN[] = {
    {comm_task::CCP_PMPP_AGENT, "ccp_pmpp", KIND_PMPP, CCP_ROW},
    {comm_task::CCP_PPP_AGENT, "ccp_ppp", KIND_PPP, CCP_ROW},
    {comm_task::ETHERNET_PMPP_AGENT, "ethernet_pmpp", KIND_PMPP, ETHERNET_ROW},
    {comm_task::ETHERNET_PPP_AGENT, "ethernet_ppp", KIND_PPP, ETHERNET_ROW},
    {comm_task::ETHERNET_TCP_AGENT, "ethernet_tcp", KIND_ETHERNET, ETHERNET_ROW},
    {comm_task::ETHERNET_UDP_AGENT, "ethernet_udp", KIND_ETHERNET, ETHERNET_ROW},
};

int create_agent(const agent_plan& plan, uint8_t** cursor) {
    CNTCIP* agent = &the_comm_task().Agent(plan.element);
    switch (plan.kind) {
    case KIND_PMPP:
        return CNTCIP::CreatePMPPAgent(agent, cursor, plan.name);
    case KIND_PPP:
        return CNTCIP::CreatePPPAgent(agent, cursor, plan.name, nullptr);
    default:
        return CNTCIP::CreateEthernetAgent(agent, cursor, plan.name);
    }
}

void push_timeouts() {
    for (const agent_plan& plan : AGENT_PLAN) {
        CNTCIP* agent = &the_comm_task().Agent(plan.element);
        uint32_t timeout = db_get(obj::halvCommConfigInnerCharTimeout.row(plan.timeout_row));
        if (plan.kind == KIND_PMPP)
            CNTCIP::SetPMPPTimeout(agent, plan.name, timeout);
        else if (plan.kind == KIND_PPP)
            CNTCIP::SetPPPTimeout(agent, plan.name, timeout);
        else
            CNTCIP::SetEthernetTimeout(agent, plan.name, timeout);
        if (plan.element == comm_task::CCP_PMPP_AGENT)
            CNTCIP::SetRDIParameters(agent, plan.name, db_get(obj::halvObj2_17_4),
                                     db_get(obj::halvObj2_17_5), db_get(obj::halvRemoteIPAddress),
                                     db_get(obj::halvObj2_17_3));
    }
}

// Runs `open` with the port driver held, as every user of a port does.
template <typename Server, typename Open> void with_port(uint8_t port, Open open) {
    Server* server = static_cast<Server*>(AcquirePortDriver(port));
    if (!server) return;
    open(*server);
    ReleasePortDriver(port);
}

} // namespace

comm_task::comm_task(post_office& office) : CMailTask(task_row_of(TASK_COMMUNICATION), office) {
    SetPortDriver(TCP_PORT, &ntcip_tcp_);
    SetPortDriver(UDP_PORT, &ntcip_udp_);
    SetPortDriver(TRAP_PORT, &trap_tcp_);
    snmp_activity_flag = 1;
}

void comm_task::HandleLetter(const letter_s& letter) {
    if (letter.code() == LETTER_PING) {
        letter_s answer(LETTER_PING_ANSWER);
        Mail().office().reply(letter, answer);
    }
    // Port, channel, DHCP, feature and community letters come with the communication subsystem.
}

void comm_task::Initialize() {
    trace_printf("Initializing Ethernet\n");
    saved_global_time_ = 0;
    if (!ethernet_network_start()) return;
    tcp_thread_initialize(&ethernet_ip(), &netx_packet_pool());
    udp_thread_initialize(&ethernet_ip(), &netx_packet_pool());
    AimAgentsAtTheCentralHost();
    StartTrapClients(&ethernet_ip(), &netx_packet_pool());
    for (const char* name : ETHERNET_AGENTS)
        CNTCIP::Configure(name, PORT_NONE);
    OpenServers();
    RebuildChannels();
}

// The central host (traps go there) and the agents' own address.
void comm_task::AimAgentsAtTheCentralHost() {
    CNTCIP_IP& ip = TheNTCIP_IP();
    ip.SetCentralAddress(db_get(obj::halvRemoteIPAddress));
    ip.central_trap_port = static_cast<uint16_t>(db_get(obj::halvRemoteIPPort));
    ip.SetLocalAddress(ethernet_ip().address);
    CNTCIP::ConfigureIPAddresses();
}

uint32_t comm_task::Run() {
    CMailTask::Run();
    DrainTrapUdpClient();
    CNTCIP::ProcessTraps();
    return 0;
}

void comm_task::OpenServers() {
    UINT ntcip_port = db_get(obj::halvHostIPPort);
    with_port<CTCP_Server>(TCP_PORT, [&](CTCP_Server& s) {
        s.Open(ntcip_port, 0);
        s.Open(NTCIP_SECOND_PORT, 0);
    });
    with_port<CTCP_Server>(TRAP_PORT, [](CTCP_Server& s) { s.Open(TRAP_CONNECTION_PORT, 0); });
    with_port<CUDP_Server>(UDP_PORT, [&](CUDP_Server& s) {
        s.AddPort(ntcip_port);
        s.AddPort(TEXT_DATAGRAM_PORT);
    });
}

void comm_task::RebuildChannels() {
    uint8_t ccp = static_cast<uint8_t>(db_get(obj::halvCommConfigProtocol.row(CCP_ROW)));
    bool ppp = false;
    for (uint8_t mode : CCP_PPP_MODES)
        ppp = ppp || ccp == mode;
    ConfigureCcpChannel(ppp ? CCP_CHANNEL_PPP : CCP_CHANNEL_PMPP);
    uint8_t protocol = static_cast<uint8_t>(db_get(obj::halvCommConfigProtocol.row(ETHERNET_ROW)));
    with_port<CUDP_Server>(UDP_PORT, [&](CUDP_Server& s) { s.channel = protocol; });
    with_port<CTCP_Server>(TCP_PORT, [&](CTCP_Server& s) { s.channel = protocol; });
    ConfigureEthernetChannels(protocol);
}

// The CCP port carries one of its two agents.
void comm_task::ConfigureCcpChannel(uint8_t which) {
    CNTCIP::Configure("ccp_ppp", PORT_NONE);
    CNTCIP::Configure("ccp_pmpp", PORT_NONE);
    if (which & CCP_CHANNEL_PPP)
        CNTCIP::Configure("ccp_ppp", CCP_PORT);
    else if (which & CCP_CHANNEL_PMPP)
        CNTCIP::Configure("ccp_pmpp", CCP_PORT);
}

// PMPP (9) and PPP (10) frames on Ethernet go to their agents' links; every
// other protocol carries SNMP over TCP and UDP.
void comm_task::ConfigureEthernetChannels(uint8_t protocol) {
    for (const char* name : ETHERNET_AGENTS)
        CNTCIP::Configure(name, PORT_NONE);
    if (protocol == CHANNEL_PMPP) {
        CNTCIP::Configure("ethernet_pmpp", TCP_PORT);
    } else if (protocol == CHANNEL_PPP) {
        CNTCIP::Configure("ethernet_ppp", TCP_PORT);
    } else {
        CNTCIP::Configure("ethernet_udp", UDP_PORT);
        CNTCIP::Configure("ethernet_tcp", TCP_PORT);
    }
}

int InitNTCIPObjects(uint8_t** cursor) {
    static bool first_call = true;
    OpenSerialPorts(first_call);
    int created = 1;
    if (first_call) {
        first_call = false;
        if (!cursor || !*cursor) {
            console_printf("Error: Initializing NTCIP Objects\n");
            return 0;
        }
        for (const agent_plan& plan : AGENT_PLAN)
            if (!create_agent(plan, cursor)) created = 0;
        the_comm_task().RebuildChannels();
    }
    push_timeouts();
    return created;
}

comm_task& the_comm_task() {
    static comm_task task(the_post_office());
    return task;
}
