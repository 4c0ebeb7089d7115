#include "console/vms_command.h"

#include "comm/comm_task.h"
#include "runtime/console.h"
#include "console/monitor_task.h"
#include "comm/network.h"
#include "display/display_task.h"
#include "ntcip/schedule/schedule_task.h"
#include "runtime/peripheral.h"
#include "peripherals/can/can_networks.h"
#include "peripherals/peripheral_task.h"
#include "runtime/interrupt.h"
#include "runtime/os.h"
#include "runtime/pools.h"
#include "runtime/post_office.h"
#include "runtime/task_table.h"
#include "runtime/utilities.h"
#include "runtime/watchdog_task.h"

#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

const char* VMS_HELP[] = {"VMS Functions.",
                          "-[s:d:t] operation [args]...",
                          "-s status",
                          "-d debug",
                          "-t trace",
                          "Operations:",
                          " set {friendly MIB Name}, get {friendly MIB Name }, save, restore",
                          nullptr};

const char* const DEBUG = "vms -d";
const char* const ETHERNET = "ethernet";
const char* const PERIPHERAL = "peripheral";
const char* const COMMANDS = "commands";
const uint16_t LAST_PERIPHERAL_ID = 0x35F;
const uint16_t PANEL_LCD_ID = 70;

// The words of the command line; a word missing from the line reads as "".
struct words {
    int argc;
    char** argv;
    const char* operator[](int i) const { return i < argc && argv[i] ? argv[i] : ""; }
    uint32_t hex(int i) const { return hex_to_u32((*this)[i]); }
};

// ---- live peripherals ----------------------------------------------------------------

const uint8_t MODEM_CLASS = 32;

CPeripheral* live_peripheral(uint32_t id) {
    CPeripheral* p = nullptr;
    if (id > 0xFFFF || !ThePeripheralTask().Find(static_cast<uint16_t>(id), &p)) return nullptr;
    return p;
}

const char* peripheral_name(uint32_t id) {
    return CPeripheralTask::IdToName(static_cast<uint16_t>(id));
}

// ---- trace and status --------------------------------------------------------------------

int set_trace(const char* level_text) {
    int level = static_cast<int>(strtoul(level_text, nullptr, 10) & 0xFF);
    CMonitorTask& monitor = TheMonitorTask();
    if (!monitor.SetTraceLevel(level)) return MON_CMD_PARAM_ERROR;
    console_printf("new level:%d\n", monitor.TraceLevel());
    return MON_CMD_SUCCESS;
}

void print_pool_usage(const char* format, TX_BYTE_POOL& pool) {
    uint32_t total = 0, available = 0, fragments = 0;
    if (os_byte_pool_info(&pool, nullptr, &total, &available, &fragments) != OS_OK) return;
    console_printf(format, total - available, total);
}

void print_can_counters(const char* format, const can_driver& driver) {
    console_printf(format, int(driver.frames_received), int(driver.frames_sent),
                   int(driver.errors));
}

int print_status() {
    struct tm uptime = {};
    TheMonitorTask().GetUptime(&uptime);
    console_printf("-Uptime(y/d/h/m/s) = %d/%d/%02d/%02d/%02d\n", uptime.tm_year, uptime.tm_yday,
                   uptime.tm_hour, uptime.tm_min, uptime.tm_sec);
    console_printf("-Display:%d, Peripheral:%d, Schedule:%d, Comm:%d\n", TheDisplay().Runs(),
                   ThePeripheralTask().Runs(), TheScheduleTask().Runs(), the_comm_task().Runs());
    console_printf("\t Display Timer Reschedule Events:%d\n", TheDisplay().LateSteps());
    console_printf("-Interrupts RX:%d, Ether:%d\n", isr_count_all(), isr_count_ethernet());
    print_pool_usage("-byte_pool_0 usage:0x%X of 0x%X\n", thread_stack_pool());
    print_pool_usage("-dyn db usage:0x%X of 0x%X\n", dynamic_database_pool());
    print_can_counters("-J6 CAN\tRX:%d\tTX:%d\tErr:%d\n", the_can_j6_driver());
    print_can_counters("-Panel CAN\tRX:%d\tTX:%d\tErr:%d\n", the_panel_can_driver());
    return MON_CMD_SUCCESS;
}

// ---- debug: threads -----------------------------------------------------------------------

int debug_thread(const words& w) {
    bool stack = util_stricmp(w[3], "stack") == 0;
    bool suspend = util_stricmp(w[3], "suspend") == 0;
    if (!stack && !suspend) {
        console_printf("%s thread stack X    (X=name)\n", DEBUG);
        console_printf("%s thread suspend X  (X=name)\n", DEBUG);
        return MON_CMD_SUCCESS;
    }
    for (unsigned task = 0; task < TASK_COUNT; task++) {
        const task_row& row = task_row_of(static_cast<task_index>(task));
        if (util_stricmp(w[4], row.command_name) == 0)
            the_post_office().post(stack ? row.life.stack_letter : row.life.suspend_letter);
    }
    return MON_CMD_SUCCESS;
}

// ---- debug: peripherals and modems -----------------------------------------------------------

void print_peripheral_list() {
    TheWatchdogTask().DisableWatchdog(); // the walk over every id is long
    console_printf("%ss:\n", PERIPHERAL);
    for (uint32_t id = 0; id <= LAST_PERIPHERAL_ID; id++) {
        CPeripheral* p = live_peripheral(id);
        if (!p) continue;
        const char* state = "";
        p->GetStateText(&state);
        console_printf("-%s(0x%04X) state=%s \n", peripheral_name(id), id, state ? state : "");
    }
    TheWatchdogTask().EnableWatchdog();
    (void)PANEL_LCD_ID; // the panel's busy mark comes with the front-panel manager
    console_printf("%s\n", COMMANDS);
    console_printf("%s %s enable X   (X=id)\n", DEBUG, PERIPHERAL);
    console_printf("%s %s disable X  (X=id)\n", DEBUG, PERIPHERAL);
    console_printf("%s %s freq X Y   (X=id,Y=new freq)\n", DEBUG, PERIPHERAL);
    console_printf("%s %s stat X     (X=id)\n", DEBUG, PERIPHERAL);
}

int debug_peripheral(const words& w) {
    const char* action = w[3];
    uint32_t id = w.hex(4);
    uint16_t id16 = static_cast<uint16_t>(id);
    pl_mediator& registry = ThePeripheralTask().Registry();
    bool live = id <= 0xFFFF;
    if (!strcmp(action, "enable")) {
        if (!live || !registry.Enable(id16)) return MON_CMD_PARAM_ERROR;
        console_printf("Enabled:%s\n", peripheral_name(id));
    } else if (!strcmp(action, "disable")) {
        if (!live || !registry.Disable(id16)) return MON_CMD_PARAM_ERROR;
        console_printf("Disabled:%s\n", peripheral_name(id));
    } else if (!strcmp(action, "freq")) {
        uint16_t previous = 0;
        uint32_t period = w.hex(5);
        if (!live || !registry.SetPollPeriod(id16, static_cast<uint16_t>(period), &previous))
            return MON_CMD_PARAM_ERROR;
        console_printf("%s old:%d, new:%d\n", peripheral_name(id), previous, period);
    } else if (!strcmp(action, "stat")) {
        if (live) ThePeripheralTask().PrintPeripheralStatus(id16);
    } else {
        print_peripheral_list();
    }
    return MON_CMD_SUCCESS;
}

// The modem drivers (command lines, escape to command mode) come with the
// cellular-modem task; until then the words are checked and announced.
int debug_modem(const words& w) {
    CPeripheral* p = live_peripheral(w.hex(3));
    if (!p) {
        console_printf("%s modem X AT    (X=id)\n", DEBUG);
        console_printf("%s modem X +++   (X=id)\n", DEBUG);
        return MON_CMD_SUCCESS;
    }
    if (p->ClassCode() != MODEM_CLASS) return MON_CMD_SUCCESS;
    const char* word = w[4];
    if (!strncmp(word, "AT", 2)) {
        console_printf("send %s to %s\n", word, peripheral_name(w.hex(3)));
    } else if (!strcmp(word, "+++")) {
        console_printf("try enter cmd mode\n");
    } else {
        return MON_CMD_PARAM_ERROR;
    }
    return MON_CMD_SUCCESS;
}

// ---- debug: network -------------------------------------------------------------------------

void print_traffic(const char* name, UINT (*info)(NX_IP*, ULONG*, ULONG*, ULONG*, ULONG*)) {
    ULONG sent = 0, received = 0, invalid = 0, dropped = 0;
    if (info(&ethernet_ip(), &sent, &received, &invalid, &dropped) != NX_SUCCESS) return;
    console_printf("%s TX:%d, RX:%d, Invalid:%d, Dropped:%d\n", name, sent, received, invalid,
                   dropped);
}

void ethernet_icmp(const words&) {
    ULONG pings = 0, timeouts = 0, responses = 0, icmp_received = 0;
    if (nx_icmp_info_get(&ethernet_ip(), &pings, &timeouts, &responses) != NX_SUCCESS ||
        nx_ip_info_get(&ethernet_ip(), nullptr, nullptr, nullptr, &icmp_received) != NX_SUCCESS)
        return;
    console_printf("%s TX:%d, RX:%d, Timeout:%d, Replies:%d\n", "icmp", pings, icmp_received,
                   timeouts, responses);
}

void ethernet_pool(const words&) {
    ULONG total = 0, free_packets = 0, requests = 0, suspensions = 0, invalid = 0;
    if (nx_packet_pool_info_get(&netx_packet_pool(), &total, &free_packets, &requests, &suspensions,
                                &invalid) != NX_SUCCESS)
        return;
    console_printf("Main: %d of %d Free, Req:%d, Susp:%d, Invalid:%d\n", free_packets, total,
                   requests, suspensions, invalid);
    // The Ethernet driver's own pool comes with the Ethernet driver.
}

void print_arp_stat() {
    ULONG v[8] = {};
    if (nx_arp_info_get(&ethernet_ip(), &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7]) !=
        NX_SUCCESS)
        return;
    console_printf(" requests sent:%d\n requests received:%d\n responses sent:%d\n responses "
                   "received:%d\n",
                   v[0], v[1], v[2], v[3]);
    console_printf(" dynamic entries:%d\n static entries:%d\n aged entries:%d\n dropped msg:%d\n",
                   v[4], v[5], v[6], v[7]);
}

void print_arp_list() {
    ULONG dynamic_entries = 0;
    if (nx_arp_info_get(&ethernet_ip(), nullptr, nullptr, nullptr, nullptr, &dynamic_entries,
                        nullptr, nullptr, nullptr) != NX_SUCCESS)
        return;
    console_printf("Dynamic ARP Table:\n");
    for (ULONG i = 0; i < dynamic_entries; i++) {
        ULONG address = 0;
        uint8_t hw[6] = {};
        if (nx_arp_dynamic_entry_get(&ethernet_ip(), i, &address, hw) != NX_SUCCESS) break;
        console_printf(" %d.%d.%d.%d =", address >> 24, address >> 16 & 0xFF, address >> 8 & 0xFF,
                       address & 0xFF);
        console_printf(" %X-%X-%X-%X-%X-%X\n", hw[0], hw[1], hw[2], hw[3], hw[4], hw[5]);
    }
}

void ethernet_tcp(const words&) {
    print_traffic("tcp", nx_tcp_info_get);
}

void ethernet_udp(const words&) {
    print_traffic("udp", nx_udp_info_get);
}

void ethernet_mac_reset(const words&) {
    // The Ethernet MAC's speed and duplex are applied again by its driver.
    console_printf("reset %s\n", ETHERNET);
}

void ethernet_dhcp(const words& w) {
    if (!strcmp(w[4], "renew"))
        the_post_office().post(LETTER_DHCP_RENEW);
    else
        console_printf("%s dhcp renew\n", DEBUG);
}

void ethernet_arp(const words& w) {
    if (!strcmp(w[4], "stat")) {
        print_arp_stat();
    } else if (!strcmp(w[4], "list")) {
        print_arp_list();
    } else {
        console_printf("%s %s arp list\n", DEBUG, ETHERNET);
        console_printf("%s %s arp stat\n", DEBUG, ETHERNET);
    }
}

struct network_operation {
    const char* name;
    void (*run)(const words& w);
};

// In the order the usage lists them.
const network_operation NETWORK_OPERATIONS[] = {
    {"tcp", ethernet_tcp},   {"udp", ethernet_udp},         {"icmp", ethernet_icmp},
    {"pool", ethernet_pool}, {"reset", ethernet_mac_reset}, {"dhcp", ethernet_dhcp},
    {"arp", ethernet_arp},
};

int debug_ethernet(const words& w) {
    for (const network_operation& op : NETWORK_OPERATIONS) {
        if (!strcmp(w[3], op.name)) {
            op.run(w);
            return MON_CMD_SUCCESS;
        }
    }
    for (const network_operation& op : NETWORK_OPERATIONS)
        console_printf("%s %s %s\n", DEBUG, ETHERNET, op.name);
    return MON_CMD_SUCCESS;
}

// ---- debug: the rest ----------------------------------------------------------------------------

int debug_spi(const words&) {
    // The CAN sensor bus "CAN J6 Driver" resets itself once the CAN driver exists.
    console_printf("reset spi\n");
    return MON_CMD_SUCCESS;
}

int debug_prog(const words&) {
    the_post_office().post(LETTER_DISPLAY_NOP126);
    return MON_CMD_SUCCESS;
}

int debug_module(const words& w) {
    letter_s letter(LETTER_MODULE_DUMP);
    letter.count = 1;
    letter.data[0] = static_cast<uint8_t>(w.hex(3));
    the_post_office().dispatch(letter);
    return MON_CMD_SUCCESS;
}

int debug_defrag(const words&) {
    defrag_reset();
    return MON_CMD_SUCCESS;
}

void print_debug_usage() {
    console_printf("%s\n", COMMANDS);
    console_printf("%s spi\n", DEBUG);
    console_printf("%s module X\t\t(X=face number)\n", DEBUG);
    console_printf("%s modem X\t\t(X=id)\n", DEBUG);
    console_printf("%s thread\n", DEBUG);
    console_printf("%s %s\n", DEBUG, PERIPHERAL);
    console_printf("%s defrag\n", DEBUG);
    console_printf("%s %s\n", DEBUG, ETHERNET);
}

struct debug_operation {
    const char* name;
    int (*run)(const words& w);
};

const debug_operation DEBUG_OPERATIONS[] = {
    {"spi", debug_spi},       {"prog", debug_prog},         {"module", debug_module},
    {"modem", debug_modem},   {"thread", debug_thread},     {"peripheral", debug_peripheral},
    {"defrag", debug_defrag}, {"ethernet", debug_ethernet},
};

int run_debug(const words& w) {
    for (const debug_operation& op : DEBUG_OPERATIONS)
        if (!strcmp(w[2], op.name)) return op.run(w);
    print_debug_usage();
    return MON_CMD_SUCCESS;
}

} // namespace

int vms_command(int argc, char* argv[]) {
    words w{argc, argv};
    const char* option = w[1];
    if (argc < 2) {
        console_printf("\n");
        return MON_CMD_SUCCESS;
    }
    if (!strcmp(option, "trace") || !strcmp(option, "-t")) return set_trace(w[2]);
    if (!strcmp(option, "-s")) return print_status();
    if (!strcmp(option, "-d")) return run_debug(w);
    return MON_CMD_PARAM_ERROR;
}

monCommand* vms_command_table() {
    static monCommand table[] = {
        {"vms", vms_command, VMS_HELP, 0},
        {"VMS", vms_command, VMS_HELP, 0},
        {nullptr, nullptr, nullptr, 0},
    };
    return table;
}
