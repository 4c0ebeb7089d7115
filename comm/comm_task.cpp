#include "comm/comm_task.h"

#include "comm/agents/trap_delivery.h"
#include "comm/drivers/ethernet_mac.h"
#include "comm/network.h"
#include "comm/web_server_link.h"
#include "display/display_entries.h"
#include "peripherals/front_panel_link.h"
#include "runtime/console.h"
#include "runtime/interrupt.h"
#include "runtime/letter_codes.h"
#include "runtime/os.h"
#include "runtime/pools.h"
#include "runtime/task_table.h"
#include "runtime/watchdog_task.h"
#include "store/database.h"
#include "store/objects.h"

namespace {

const uint32_t CCP_ROW = 0, ETHERNET_ROW = 4;
const uint8_t CCP_PORT = 0, TCP_PORT = 4, UDP_PORT = 5, TRAP_PORT = 6;
const uint8_t CCP_PPP_MODES[] = {4, 5}; // every other CCP mode carries PMPP

const char* const ETHERNET_AGENTS[] = {"ethernet_pmpp", "ethernet_ppp", "ethernet_tcp",
                                       "ethernet_udp"};

// Bits of the "database" event-flag group the step takes.
const ULONG FILE_TRANSFER_BIT = 0x8000000;
const ULONG COMM_LOSS_TIME_BIT = 0x8000;
const uint32_t FILE_TRANSFER_RECEIVE = 6; // halvObj4_1: a block is waiting

// Port reconfiguration requests of halvObj2_17_6.
const uint32_t PORT_RECONFIGURE = 3, PORT_RECONFIGURE_LATER = 4, PORT_RECONFIGURED = 1;

// The CCP port's special mode 14 and the settings it forces while it holds.
const uint8_t CCP_SPECIAL_MODE = 14;
struct ccp_mode_settings {
    bool set_speed;
    uint32_t speed;
    uint32_t flow_control;
    uint32_t graphic_block_size;
    uint32_t graphic_max_size;
};
const ccp_mode_settings ENTER_SPECIAL_MODE = {true, 9600, 2, 400, 25200};
const ccp_mode_settings LEAVE_SPECIAL_MODE = {false, 0, 0, 1023, 64449};

const uint32_t GRAPHIC_ROWS = 50;
const uint32_t GRAPHIC_NOT_USED = 1, GRAPHIC_IN_USE = 5, GRAPHIC_NOT_USED_REQUEST = 9;
const uint8_t SOURCE_MODE_LOCAL = 2, REQUEST_SOURCE_LOCAL = 2;
const uint8_t MEMORY_BLANK = 7, PRIORITY_HIGHEST = 255;
const uint16_t DURATION_ENDLESS = 0xFFFF;

// The community rule of halvSpecialFeatureSet: row 0 follows bits 0x20 and
// 0x40, in this order; turning 0x20 on also makes local time the global time.
const char DEFAULT_COMMUNITY[] = "meadow";
const uint32_t LOCAL_TIME_FEATURE = 0x20, COMMUNITY_FEATURE = 0x40;
struct community_rule {
    uint32_t bit;
    bool turned_on;
    uint32_t access_mask;
};
const community_rule COMMUNITY_RULES[] = {
    {LOCAL_TIME_FEATURE, true, 0xFFFFFFFFu},
    {LOCAL_TIME_FEATURE, false, 0},
    {COMMUNITY_FEATURE, true, 0xFFFFFFFFu},
    {COMMUNITY_FEATURE, false, 0},
};

const uint32_t WEB_SERVER_FEATURE = 0x02;
const uint32_t DHCP_MODE = 2;
const uint32_t IF_OPER_UP = 1, IF_OPER_DOWN = 2; // ifOperStatus
const ULONG PHY_CHECK_AFTER_TICKS = 500;

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
// Letter 97 suspends the threads of the agent objects below this one.
const uint32_t SUSPENDED_AGENT_OBJECTS = 8;

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

// Runs `use` with the port driver held, as every user of a port does; a
// port that cannot be taken is skipped.
template <typename Server, typename Use> void with_port(uint8_t port, Use use) {
    Server* server = static_cast<Server*>(AcquirePortDriver(port));
    if (!server) return;
    use(*server);
    ReleasePortDriver(port);
}

bool take_database_event(ULONG bit) {
    ULONG actual = 0;
    return os_event_flags_get(&database_event_flags(), bit, OS_EVENT_OR_CLEAR, &actual,
                              OS_NO_WAIT) == OS_OK;
}

void suspend_if_created(TX_THREAD& thread) {
    if (thread.kernel_object) tx_thread_suspend(&thread);
}

} // namespace

bool silent_interface_watch::Step(uint8_t interrupt_seen, uint32_t interrupt_count) {
    if (!interrupt_seen) return false;
    if (interrupt_count != last_count) {
        last_count = interrupt_count;
        silent_steps = 0;
        soft_resets = 0;
        return false;
    }
    if (++silent_steps < SILENT_STEPS) return false;
    silent_steps = 0;
    return ++soft_resets < SOFT_RESETS;
}

bool transfer_guard::Step(bool active) {
    if (!active || runs > STEPS) return false;
    if (runs < STEPS) {
        runs++;
        return false;
    }
    runs++; // on to one past the limit: the guard fires once
    return true;
}

const comm_task::letter_action comm_task::LETTER_ACTIONS[] = {
    {LETTER_PORT_CONFIG_CHANGED, &comm_task::OnPortReconfiguration},
    {LETTER_CHANNEL_SETTINGS_CHANGED, &comm_task::OnChannelSettings},
    {LETTER_DHCP_RENEW, &comm_task::OnDhcpRenew},
    {LETTER_FEATURE_BITS_CHANGED, &comm_task::OnFeatureBits},
    {LETTER_PING, &comm_task::OnPing},
    {LETTER_SPECIAL_FEATURE_BITS_CHANGED, &comm_task::OnSpecialFeatureBits},
    {LETTER_CONTROLLED_RESET_ACK, nullptr}, // a late answer to letter 120: nothing to do
};

comm_task::comm_task(post_office& office) : CMailTask(task_row_of(TASK_COMMUNICATION), office) {
    SetPortDriver(TCP_PORT, &ntcip_tcp_);
    SetPortDriver(UDP_PORT, &ntcip_udp_);
    SetPortDriver(TRAP_PORT, &trap_tcp_);
    snmp_activity_flag = 1; // the first step records a communication time
}

uint32_t comm_task::Run() {
    CTaskBase::Run();
    if (transfer_guard_.Step(transfer_.Active())) db_set(obj::halvObj4_1, 0, DB_NOTIFY);
    TakeDatabaseEvents();
    DrainMailbox(mail_);
    ProcessPortReconfiguration();
    uint32_t now = db_get_time();
    RecordCommActivity(now);
    CheckCommLossTimeout(now);
    CheckCommLossAction(now);
    CheckHeartbeatReset(now);
    if (sntp_enabled_) sntp_.TaskStep(db_get(obj::halvNTPPollTime));
    DrainTrapUdpClient();
    CheckEthernetLink();
    CNTCIP::ProcessTraps();
    return 0;
}

void comm_task::TakeDatabaseEvents() {
    if (take_database_event(FILE_TRANSFER_BIT) && db_get(obj::halvObj4_1) == FILE_TRANSFER_RECEIVE)
        EventHandlerFileTransfer(true);
    if (take_database_event(COMM_LOSS_TIME_BIT)) LoadCommLossTimeout();
}

void comm_task::EventHandlerFileTransfer(bool database_event) {
    transfer_guard_.runs = 0;
    transfer_.Step(database_event);
}

void comm_task_file_transfer() {
    the_comm_task().EventHandlerFileTransfer(false);
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

// ---- letters ----

void comm_task::HandleLetter(const letter_s& letter) {
    for (const letter_action& action : LETTER_ACTIONS)
        if (action.code == letter.code()) {
            if (action.act) (this->*action.act)(letter);
            return;
        }
}

void comm_task::TerminateSelf() {
    // Only the threads an agent object has created: most of them never are.
    for (uint32_t i = 0; i < SUSPENDED_AGENT_OBJECTS; i++) {
        CNTCIP& agent = agents_[i];
        for (TX_THREAD& thread : agent.dispatch)
            suspend_if_created(thread);
        suspend_if_created(agent.ethernet.thread);
    }
    CTaskBase::TerminateSelf();
}

void comm_task::OnDhcpRenew(const letter_s&) {
    console_printf("calling nx_dhcp_force_renew\n");
    UINT rc = nx_dhcp_force_renew(&dhcp_client_);
    if (rc == NX_SUCCESS) return;
    console_printf("nx_dhcp_force_renew failed:%X, try to restart DHCP\n", rc);
    nx_dhcp_stop(&dhcp_client_);
    nx_dhcp_start(&dhcp_client_);
}

void comm_task::OnFeatureBits(const letter_s&) {
    uint32_t features = db_get(obj::halvFeatureSet);
    if (!(features & WEB_SERVER_FEATURE)) return;
    db_set(obj::halvFeatureSet, features & ~WEB_SERVER_FEATURE, 0);
    if (installed_web_server_entries().enable) installed_web_server_entries().enable(0);
}

void comm_task::OnPing(const letter_s& letter) {
    letter_s answer(LETTER_PING_ANSWER);
    Mail().office().reply(letter, answer);
}

// ---- ports and channels ----

void comm_task::ProcessPortReconfiguration() {
    uint32_t request = db_get(obj::halvObj2_17_6);
    if (request == PORT_RECONFIGURE) {
        ReinitNTCIP();
        db_set(obj::halvObj2_17_6, PORT_RECONFIGURED, 0);
    } else if (request == PORT_RECONFIGURE_LATER) {
        db_set(obj::halvObj2_17_6, PORT_RECONFIGURE, 0);
    }
}

void comm_task::ReinitNTCIP() {
    InitNTCIPObjects(nullptr);
    RebuildChannels();
}

void comm_task::RebuildChannels() {
    uint8_t ccp = static_cast<uint8_t>(db_get(obj::halvCommConfigProtocol.row(CCP_ROW)));
    bool ppp = false;
    for (uint8_t mode : CCP_PPP_MODES)
        ppp = ppp || ccp == mode;
    ConfigureCcpChannel(ppp ? CCP_CHANNEL_PPP : CCP_CHANNEL_PMPP);
    uint8_t protocol = static_cast<uint8_t>(db_get(obj::halvCommConfigProtocol.row(ETHERNET_ROW)));
    // A bound agent holds its server's port driver: the agents let go first,
    // so that the servers take the new protocol.
    for (const char* name : ETHERNET_AGENTS)
        CNTCIP::Configure(name, PORT_NONE);
    with_port<CUDP_Server>(UDP_PORT, [&](CUDP_Server& s) { s.channel = protocol; });
    with_port<CTCP_Server>(TCP_PORT, [&](CTCP_Server& s) { s.channel = protocol; });
    ConfigureEthernetChannels(protocol == CHANNEL_PMPP  ? ETHERNET_CHANNEL_PMPP
                              : protocol == CHANNEL_PPP ? ETHERNET_CHANNEL_PPP
                                                        : ETHERNET_CHANNEL_SNMP);
}

// The CCP port carries one of its two agents; entering or leaving mode 14
// changes the port's line and the graphic limits and clears the graphics.
void comm_task::ConfigureCcpChannel(uint8_t which) {
    uint8_t ccp = static_cast<uint8_t>(db_get(obj::halvCommConfigProtocol.row(CCP_ROW)));
    bool was_special = last_ccp_protocol_ == CCP_SPECIAL_MODE;
    bool is_special = ccp == CCP_SPECIAL_MODE;
    if (was_special != is_special) {
        const ccp_mode_settings& s = is_special ? ENTER_SPECIAL_MODE : LEAVE_SPECIAL_MODE;
        if (s.set_speed) db_set(obj::rs232PortInSpeed.row(CCP_ROW), s.speed, 0);
        db_set(obj::halvCommConfigFlowControl.row(CCP_ROW), s.flow_control, 0);
        db_set(obj::dmsGraphicBlockSize, s.graphic_block_size, 0);
        db_set(obj::dmsGraphicMaxSize, s.graphic_max_size, 0);
        ClearGraphicsForCcpMode();
    }
    last_ccp_protocol_ = ccp;
    CNTCIP::Configure("ccp_ppp", PORT_NONE);
    CNTCIP::Configure("ccp_pmpp", PORT_NONE);
    if (which & CCP_CHANNEL_PPP)
        CNTCIP::Configure("ccp_ppp", CCP_PORT);
    else if (which & CCP_CHANNEL_PMPP)
        CNTCIP::Configure("ccp_pmpp", CCP_PORT);
}

// A graphic in use is taken off the sign (a blank message through the
// ordinary request slot), then every used graphic is asked to be not used.
void comm_task::ClearGraphicsForCcpMode() {
    for (uint32_t row = 0; row < GRAPHIC_ROWS; row++) {
        uint32_t status = db_get(obj::dmsGraphicStatus.row(row));
        if (status == GRAPHIC_IN_USE) {
            const uint8_t no_address[4] = {};
            CMsgActivationCode blank;
            blank.Set(DURATION_ENDLESS, PRIORITY_HIGHEST, MEMORY_BLANK, 1, 0, no_address);
            request_activation(ACTIVATION_SLOT_ORDINARY, SOURCE_MODE_LOCAL, REQUEST_SOURCE_LOCAL,
                               blank);
        }
        if (status != GRAPHIC_NOT_USED)
            db_set(obj::dmsGraphicStatus.row(row), GRAPHIC_NOT_USED_REQUEST, DB_NOTIFY);
    }
}

// PMPP or PPP frames on Ethernet go to their agents' links on the TCP
// server; SNMP over TCP and UDP to the two Ethernet agents.
void comm_task::ConfigureEthernetChannels(uint8_t which) {
    for (const char* name : ETHERNET_AGENTS)
        CNTCIP::Configure(name, PORT_NONE);
    if (which & ETHERNET_CHANNEL_PMPP) {
        CNTCIP::Configure("ethernet_pmpp", TCP_PORT);
    } else if (which & ETHERNET_CHANNEL_PPP) {
        CNTCIP::Configure("ethernet_ppp", TCP_PORT);
    } else if (which & ETHERNET_CHANNEL_SNMP) {
        CNTCIP::Configure("ethernet_udp", UDP_PORT);
        CNTCIP::Configure("ethernet_tcp", TCP_PORT);
    }
}

void comm_task::ResetCommunityName() {
    uint32_t now_set = db_get(obj::halvSpecialFeatureSet);
    for (const community_rule& rule : COMMUNITY_RULES) {
        bool was = last_special_features_ & rule.bit, is = now_set & rule.bit;
        if (was == is || is != rule.turned_on) continue;
        if (rule.bit == LOCAL_TIME_FEATURE && rule.turned_on) {
            db_set_time(db_get(obj::controllerLocalTime), DB_NOTIFY | DB_NO_TIME_WARNING);
            db_set(obj::controllerStandardTimeZone, 0, DB_NOTIFY);
        }
        db_set_text(obj::communityNameUser.row(0), DEFAULT_COMMUNITY, DB_NOTIFY);
        db_set(obj::communityNameAccessMask.row(0), rule.access_mask, DB_NOTIFY);
    }
    last_special_features_ = now_set;
}

// ---- the link ----

void comm_task::CheckEthernetLink() {
    emac_link_monitor();
    // Until the IP thread has set the port up the monitor has not looked.
    if (emac().state >= EMAC_DISABLED) FollowLink(emac().link_up != 0);
    CheckPhy();
    if (silent_.Step(isr_ethernet_activity(), isr_count_ethernet())) {
        console_printf("Ethernet soft reset\n");
        emac_apply_speed_duplex();
    }
    // The front panel's link indicator.
    front_panel_set_indicator(FRONT_PANEL_ETHERNET_INDICATOR,
                              link_up_ ? ETHERNET_LINK_UP : ETHERNET_LINK_DOWN);
}

// The link as the driver's monitor sees it: shown on the console at the first
// look and at every change, kept in ifOperStatus, and a link that comes back
// in DHCP mode renews the lease.
void comm_task::FollowLink(bool up) {
    if (link_seen_ && up == link_up_) return;
    console_printf("Ethernet link %s\n", up ? "up" : "down");
    db_set(obj::ifOperStatus, up ? IF_OPER_UP : IF_OPER_DOWN, 0);
    if (up && link_was_up_ && db_get(obj::halvEthernetMode) == DHCP_MODE)
        PostLetter(LETTER_DHCP_RENEW);
    link_was_up_ = link_was_up_ || up;
    link_up_ = up;
    link_seen_ = true;
}

void comm_task::CheckPhy() {
    if (!emac().phy_fault || tx_time_get() <= PHY_CHECK_AFTER_TICKS) return;
    letter_s request(LETTER_CONTROLLED_RESET), reply;
    if (Mail().office().send_and_wait(request, reply) &&
        reply.code() == LETTER_CONTROLLED_RESET_ACK)
        ethernet_reset();
}

// ---- the agents ----

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
