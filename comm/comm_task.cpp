#include "comm/comm_task.h"

#include "runtime/console.h"
#include "comm/network.h"
#include "runtime/task_table.h"
#include "store/database.h"
#include "store/objects.h"

namespace {

const uint32_t ETHERNET_ROW = 4;
const uint8_t TCP_PORT = 4, UDP_PORT = 5, TRAP_PORT = 6;

const char* const ETHERNET_AGENTS[] = {"ethernet_pmpp", "ethernet_ppp", "ethernet_tcp",
                                       "ethernet_udp"};

struct agent_plan {
    uint32_t element;
    const char* name;
};
// The agents created at start-up; the serial and framed-link agents come
// with their links.
const agent_plan AGENT_PLAN[] = {
    {comm_task::ETHERNET_TCP_AGENT, "ethernet_tcp"},
    {comm_task::ETHERNET_UDP_AGENT, "ethernet_udp"},
};

void push_timeouts() {
    uint32_t timeout = db_get(obj::halvCommConfigInnerCharTimeout.row(ETHERNET_ROW));
    comm_task& task = the_comm_task();
    CNTCIP::SetEthernetTimeout(&task.Agent(comm_task::ETHERNET_TCP_AGENT), "ethernet_tcp", timeout);
    CNTCIP::SetEthernetTimeout(&task.Agent(comm_task::ETHERNET_UDP_AGENT), "ethernet_udp", timeout);
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
    for (const char* name : ETHERNET_AGENTS)
        CNTCIP::Configure(name, PORT_NONE);
    OpenServers();
    RebuildChannels();
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
    uint8_t protocol = static_cast<uint8_t>(db_get(obj::halvCommConfigProtocol.row(ETHERNET_ROW)));
    with_port<CUDP_Server>(UDP_PORT, [&](CUDP_Server& s) { s.channel = protocol; });
    with_port<CTCP_Server>(TCP_PORT, [&](CTCP_Server& s) { s.channel = protocol; });
    ConfigureEthernetChannels(protocol);
}

// PMPP (9) and PPP (10) frames on Ethernet come with their links; every other
// protocol carries SNMP over TCP and UDP.
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
    int created = 1;
    if (first_call) {
        first_call = false;
        if (!cursor || !*cursor) {
            console_printf("Error: Initializing NTCIP Objects\n");
            return 0;
        }
        comm_task& task = the_comm_task();
        for (const agent_plan& plan : AGENT_PLAN)
            if (!CNTCIP::CreateEthernetAgent(&task.Agent(plan.element), cursor, plan.name))
                created = 0;
        task.RebuildChannels();
    }
    push_timeouts();
    return created;
}

comm_task& the_comm_task() {
    static comm_task task(the_post_office());
    return task;
}
