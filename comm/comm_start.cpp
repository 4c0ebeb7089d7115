// The communication task's network start-up: the interface's identity from
// the boot monitor's environment, the link mode, the Ethernet IP instance,
// the address by DHCP or the static one, the servers and clients, and the
// agents' binding; and the DHCP client's start and bind callback.
#include "comm/comm_task.h"

#include "comm/agents/trap_delivery.h"

#include "comm/drivers/ethernet_mac.h"
#include "comm/modem_task.h"
#include "comm/network.h"
#include "comm/web_server_link.h"
#include "platform/monitor/monitor.h"
#include "runtime/console.h"
#include "runtime/letter_codes.h"
#include "runtime/os.h"
#include "runtime/pools.h"
#include "runtime/watchdog_task.h"
#include "store/database.h"
#include "store/objects.h"

#include <cstdio>

namespace {

const uint32_t CELLULAR_MODEM_FEATURE = 0x20, SNTP_FEATURE = 0x40, ICMP_FEATURE = 0x04;
const uint32_t DHCP_MODE = 2;
const uint32_t DHCP_START_MASK = 0xFFFFFF00u;
const uint32_t ETHERNET_ROW = 4;
const char* const ETHERNET_AGENTS[] = {"ethernet_pmpp", "ethernet_ppp", "ethernet_tcp",
                                       "ethernet_udp"};

// The link modes of halvCommConfigFlowControl row 4 that fix the duplex;
// their speed is 100 Mbit/s when ifSpeed says so, else 10. Any other mode
// negotiates.
const uint32_t IF_SPEED_100M = 838860800; // 0x32000000
struct link_mode_row {
    uint32_t mode;
    uint32_t duplex;
};
const link_mode_row FIXED_LINK_MODES[] = {{5, EMAC_DUPLEX_HALF}, {6, EMAC_DUPLEX_FULL}};

// The addresses of the environment: where each goes and what a missing or
// malformed text does.
const uint32_t DEFAULT_GATEWAY = 0xAC10C00Eu; // 172.16.192.14
struct address_rule {
    uint32_t* global;
    const DbObject* object;
    bool default_when_absent; // else an absent text is malformed
    const char* warning;
};
const address_rule IP_RULE = {&net_ip_address, &obj::ipAdEntAddr, false,
                              "Warning: Misformed IP addr - Using Default\n\r"};
const address_rule GATEWAY_RULE = {&net_gateway_address, &obj::ipRouteDest, true,
                                   "Warning: Misformed GIP addr - No Gateway\n\r"};
const address_rule MASK_RULE = {&net_subnet_mask, &obj::ipAdEntNetMask, false,
                                "Warning: Misformed Net Mask addr - Using Default\n\r"};

void apply_address(const address_rule& rule, const char* text) {
    uint32_t address = DEFAULT_GATEWAY;
    if (!(text == nullptr && rule.default_when_absent) && !parse_dotted_address(text, &address)) {
        console_printf("%s", rule.warning);
        return;
    }
    *rule.global = address;
    db_set(*rule.object, address, 0);
}

void apply_mac(const char* text) {
    uint8_t mac[6];
    if (!parse_mac_address(text, mac)) {
        console_printf("Warning: Invalid MAC Address - Using Default\n\r");
        return;
    }
    emac_set_mac_address(mac);
    db_set_string(obj::ifPhysAddress, mac, sizeof mac, 0);
}

void parse_environment() {
    comm_task::ParseNetworkAddresses(mon_getenv("ETHERADD"), mon_getenv("IPADD"),
                                     mon_getenv("NETMASK"), mon_getenv("GIPADD"));
}

const uint32_t LINK_WAITS = 14;
const ULONG LINK_WAIT_TICKS = 100;
const ULONG ADDRESS_WAIT_TICKS = 100000;

// The web server's thread stack, taken through a memory cursor.
const uint32_t WEB_SERVER_MEMORY_BYTES = 16384;
alignas(8) uint8_t web_server_memory[WEB_SERVER_MEMORY_BYTES];
web_server_entries web_entries{};

void start_web_server() {
    if (!web_entries.create) return;
    uint8_t* cursor = web_server_memory;
    web_entries.create(&ethernet_ip(), &cursor, &netx_packet_pool()); // and starts it
}

void print_address(const char* label, uint32_t a) {
    console_printf("%s %x:%d.%d.%d.%d\n", label, a, a >> 24, (a >> 16) & 0xFF, (a >> 8) & 0xFF,
                   a & 0xFF);
}

void set_env_address(const char* name, uint32_t a) {
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", a >> 24, (a >> 16) & 0xFF, (a >> 8) & 0xFF,
                  a & 0xFF);
    mon_setenv(name, text);
}

} // namespace

emac_link_mode comm_task::LinkModeFor(uint32_t mode, uint32_t if_speed) {
    for (const link_mode_row& row : FIXED_LINK_MODES)
        if (row.mode == mode)
            return {if_speed == IF_SPEED_100M ? EMAC_SPEED_100 : EMAC_SPEED_10, row.duplex};
    return {EMAC_SPEED_AUTO, EMAC_DUPLEX_AUTO};
}

bool comm_task::SntpWanted(uint32_t ntp_address, uint32_t features) {
    return ntp_address != 0 && (features & SNTP_FEATURE);
}

int comm_task::ParseNetworkAddresses(const char* mac, const char* ip, const char* mask,
                                     const char* gateway) {
    apply_mac(mac);
    apply_address(IP_RULE, ip);
    apply_address(GATEWAY_RULE, gateway);
    apply_address(MASK_RULE, mask);
    return 1;
}

void comm_task::InitEthernet() {
    saved_global_time_ = 0;
    LoadCommLossTimeout();
    os_event_flags_set(Flags(), TRANSFER_LOCK_FREE, OS_EVENT_OR);
    trace_printf("Initializing Ethernet\n");
    bool cellular = db_get(obj::halvFeatureSet) & CELLULAR_MODEM_FEATURE;
    if (cellular) console_printf("starting up ethernet modem interface thread\n");
    if (!nx_network_available()) return;
    // The front panel shows its busy mark from here to the end, once it exists.
    TheWatchdogTask().DisableWatchdog();
    bool started = StartNetwork();
    TheWatchdogTask().EnableWatchdog();
    // The modem's command port is reached through the Ethernet instance, so
    // the task follows the instance's creation.
    if (cellular && started && !cellular_modem_task)
        cellular_modem_task =
            new CModemTask(&thread_stack_pool(), &ethernet_ip(), &netx_packet_pool());
    if (started) PostLetter(LETTER_COMMUNICATION_STARTED);
}

// The start-up's steps with the watchdog held off. -> false when the
// network's memory could not be had (nothing else is started then).
bool comm_task::StartNetwork() {
    emac_link_mode link =
        LinkModeFor(db_get(obj::halvCommConfigFlowControl.row(ETHERNET_ROW)), db_get(obj::ifSpeed));
    emac_set_link_mode(link.speed, link.duplex, 0);
    parse_environment();
    net_ntp_server_address = db_get(obj::halvNTPIPAddress);
    bool dhcp = db_get(obj::halvEthernetMode) == DHCP_MODE;
    if (dhcp) {
        net_ip_address = 0;
        net_subnet_mask = DHCP_START_MASK;
    }
    bool icmp = db_get(obj::halvFeatureSet) & ICMP_FEATURE;
    if (ethernet_network_start(net_ip_address, net_subnet_mask, icmp) == NET_NO_MEMORY)
        return false;
    if (dhcp)
        dhcp_initialize(&ethernet_ip(), &dhcp_client_);
    else if (net_gateway_address != 0)
        nx_ip_gateway_address_set(&ethernet_ip(), net_gateway_address);
    AimAgentsAtTheCentralHost();
    StartServersAndClients();
    for (const char* name : ETHERNET_AGENTS)
        CNTCIP::Configure(name, PORT_NONE);
    start_web_server();
    OpenServers();
    RebuildChannels();
    return true;
}

void comm_task::AimAgentsAtTheCentralHost() {
    CNTCIP_IP& ip = TheNTCIP_IP();
    ip.SetCentralAddress(db_get(obj::halvRemoteIPAddress));
    ip.central_trap_port = static_cast<uint16_t>(db_get(obj::halvRemoteIPPort));
    ip.SetLocalAddress(net_ip_address);
    CNTCIP::ConfigureIPAddresses();
}

void comm_task::StartServersAndClients() {
    tcp_thread_initialize(&ethernet_ip(), &netx_packet_pool());
    udp_thread_initialize(&ethernet_ip(), &netx_packet_pool());
    StartTrapClients(&ethernet_ip(), &netx_packet_pool());
    sntp_enabled_ = SntpWanted(db_get(obj::halvNTPIPAddress), db_get(obj::halvFeatureSet));
    if (sntp_enabled_)
        sntp_.Start(&ethernet_ip(), &netx_packet_pool(), db_get(obj::halvNTPIPAddress));
}

void set_web_server_entries(const web_server_entries& entries) {
    web_entries = entries;
}

const web_server_entries& installed_web_server_entries() {
    return web_entries;
}

// ---- DHCP ----

int dhcp_initialize(NX_IP* ip, NX_DHCP* client) {
    ULONG actual = 0;
    bool link = false;
    for (uint32_t i = 0; i < LINK_WAITS && !link; i++)
        link = nx_ip_status_check(ip, NX_IP_LINK_ENABLED, &actual, LINK_WAIT_TICKS) == NX_SUCCESS;
    if (!link) return 0;
    UINT rc = nx_dhcp_create(client, ip, "DHCP Client");
    if (rc != NX_SUCCESS) {
        console_printf("nx_dhcp_create failed:0x%02X\n", rc);
        return 0;
    }
    nx_dhcp_state_change_notify(client, dhcp_state_changed);
    rc = nx_dhcp_start(client);
    if (rc != NX_SUCCESS) {
        nx_dhcp_delete(client);
        console_printf("nx_dhcp_start failed:0x%02X\n", rc);
        return 0;
    }
    rc = nx_ip_status_check(ip, NX_IP_ADDRESS_RESOLVED, &actual, ADDRESS_WAIT_TICKS);
    if (rc != NX_SUCCESS) {
        nx_dhcp_stop(client);
        nx_dhcp_delete(client);
        console_printf("nx_ip_status_check failed:0x%02X\n", rc);
        return 0;
    }
    console_printf("dhcp initialized ok\n");
    return 1;
}

void dhcp_state_changed(NX_DHCP* client, UINT new_state) {
    console_printf("dhcp_state_changed, new state:%d\n", new_state);
    if (new_state != NX_DHCP_STATE_BOUND) return;
    ULONG address = 0, mask = 0, gateway = 0;
    nx_ip_address_get(client->ip, &address, &mask);
    nx_ip_gateway_address_get(client->ip, &gateway);
    print_address("IP Address", address);
    print_address("Subnet", mask);
    print_address("Gateway", gateway);
    set_env_address("IPADD", address);
    set_env_address("NETMASK", mask);
    set_env_address("GIPADD", gateway);
    parse_environment();
}
