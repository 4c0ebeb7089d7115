// Start-up of the firmware: construction of the long-lived objects in the
// boot order, attachment of the task subscribers, and tx_application_define,
// which carves the pools, connects the boot monitor, checks the boot loader
// and the flash, starts the threads and prepares the object store before any
// thread runs. Every step that can fail prints its line and start-up goes on.
#include "startup/startup.h"

#include "comm/agents/trap_delivery.h"
#include "comm/comm_task.h"
#include "comm/drivers/ethernet_mac.h"
#include "comm/web_server_link.h"
#include "runtime/console.h"
#include "console/monitor_task.h"
#include "console/vms_command.h"
#include "display/display_engine.h"
#include "display/display_task.h"
#include "display/module_types.h"
#include "display/render.h"
#include "frontpanel/can_tunnel.h"
#include "frontpanel/lcd_view.h"
#include "ntcip/clock/calendar.h"
#include "ntcip/clock/clock.h"
#include "ntcip/mib/mib.h"
#include "ntcip/schedule/event_log.h"
#include "ntcip/schedule/schedule_task.h"
#include "peripherals/critical_temperature.h"
#include "peripherals/peripheral_task.h"
#include "peripherals/power/power_supply_table.h"
#include "platform/board/bus.h"
#include "platform/monitor/monitor.h"
#include "runtime/bootloader_image.h"
#include "runtime/gp_buffer.h"
#include "runtime/interrupt.h"
#include "runtime/job_queue.h"
#include "runtime/os.h"
#include "runtime/pools.h"
#include "runtime/post_office.h"
#include "runtime/timer_scheduler.h"
#include "runtime/utilities.h"
#include "runtime/version.h"
#include "runtime/watchdog_task.h"
#include "store/config_file.h"
#include "store/database.h"
#include "store/journal.h"
#include "store/filesystem.h"
#include "store/script_file.h"
#include "store/validate.h"
#include "store/objects.h"
#include "web/web_server.h"

#include <cstdio>
#include <cstring>
#include <zlib.h>

namespace {

const uint32_t FLASH_FREE_MINIMUM = 2000000;
const uint32_t FLASH_DEAD_MAXIMUM = 500000;
const long FLASH_HEADERS_MAXIMUM = 1000;
const uint32_t BOOTLOADER_BUFFER_BYTES = 300000;
const int TRACE_LEVEL_POLLS = 100;
const int TFS_TIME_TEXT_BYTES = 18; // "mm/dd/yyyy hh:mm\n" and its NUL

const char* const BOARD_NAMES[] = {
    "TZR Product Board I",
    "TZR Product Board II",
    "TZR CAN Product Board",
    "QR Product Board",
    "TZR Product Board II with Datakey",
    "QN Product Board with MM Fiber",
    "QN Product Board with SM Fiber",
};
const char* const UNKNOWN_BOARD = "Unknown Product Board";

const char* const MONTHS[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

struct startup_state {
    int argc = 0;
    char** argv = nullptr;
    uint8_t board_id = 0xFF;
    uint32_t local_time = 0;
};

startup_state& startup() {
    static startup_state state;
    return state;
}

TX_MUTEX& micromonitor_mutex() {
    static TX_MUTEX mutex;
    return mutex;
}

// The boot-monitor lock: only a thread can wait for the mutex; start-up and
// timer context run before any thread or cannot wait, and go on unlocked.
void monitor_lock() {
    if (tx_thread_identify()) tx_mutex_get(&micromonitor_mutex(), TX_WAIT_FOREVER);
}

void monitor_unlock() {
    if (tx_thread_identify()) tx_mutex_put(&micromonitor_mutex());
}

long tfs_get_time_hook() {
    return static_cast<long>(tfs_get_time());
}

char* tfs_format_time_hook(long seconds, char* buffer, int size) {
    return tfs_format_time(static_cast<uint32_t>(seconds), buffer, size);
}

// A typed hexadecimal digit 0..5 at the console sets the trace level.
void trace_level_from_console() {
    unsigned level = 0;
    for (int i = 0; i < TRACE_LEVEL_POLLS; i++) {
        if (!mon_gotachar()) continue;
        level = hex_digit_value(mon_getchar());
        break;
    }
    TheMonitorTask().SetTraceLevel(level > 5 ? 0 : static_cast<int>(level));
}

// Free space, then deleted space, then the header count of the flash. Many
// headers call for a defragmentation only while some are deleted ones: with
// more than the limit of live files the restart would reclaim nothing and
// come back here for ever.
bool flash_needs_defragmentation() {
    long free_bytes = mon_tfsctrl(TFS_CTRL_FREESPACE, 0, 0);
    long dead_bytes = mon_tfsctrl(TFS_CTRL_DEADSPACE, 0, 0);
    if (free_bytes < static_cast<long>(FLASH_FREE_MINIMUM) &&
        dead_bytes > static_cast<long>(FLASH_DEAD_MAXIMUM))
        return true;
    static const char device[] = "//SF/";
    return mon_tfsctrl(TFS_CTRL_HEADERS, reinterpret_cast<long>(device), 0) >
               FLASH_HEADERS_MAXIMUM &&
           dead_bytes > 0;
}

int install_bootloader() {
    static uint8_t image[BOOTLOADER_BUFFER_BYTES];
    uLongf size = sizeof image;
    if (uncompress(image, &size, BOOTLOADER_IMAGE, BOOTLOADER_IMAGE_BYTES) != Z_OK) return 0;
    if (mon_tfsadd(BOOTLOADER_FILE_NAME, nullptr, nullptr, image, static_cast<int>(size)) != 0)
        return 0;
    mon_restart(1);
    return 1;
}

// The display for the configured sign size and module type, with the
// module type's frame format.
void configure_display() {
    TheDisplay().LookupModuleType();
    uint32_t height = db_get(obj::vmsSignHeightPixels);
    uint32_t width = db_get(obj::vmsSignWidthPixels);
    const module_type_record& module = find_module_type(db_get(obj::halvModuleID));
    TheDisplay().ConfigureDisplay(height, width, module.frame_format);
    TheDisplay().AttachRenderer();
}

void clear_early_restart_counter() {
    CDatabase::StateMachine_BootCounter(TheDatabase(), 1);
}

void save_configuration() {
    CFile_Config::Save(&TheSystemMedia(), &TheFileSystem());
}

void start_tasks(TX_BYTE_POOL& stacks) {
    TheWatchdogTask().Start(stacks);
    TheDatabase().Start(stacks);
    TheDisplayEngine().registry.start();
    TheDisplay().AttachFrontPanelImage(&TheSignImageDriver());
    TheDisplay().Start(stacks);
    TheScheduleTask().Start(stacks);
    can_cp_driver_install();
    ThePeripheralTask().Start(stacks);
    TheMonitorTask().Start(stacks);
    the_comm_task().Start(stacks);
}

} // namespace

// ---- construction and main ----

static bool max_poll_time_exceeded() {
    return the_comm_task().MaxPollTimeExceeded();
}

// Traps wait on the Ethernet paths while the MAC driver sees no link.
static bool ethernet_link_up() {
    return emac().link_up != 0;
}

// The store's validation asks the peripherals for the range of the
// over-temperature shut-off.
static void install_validation_services() {
    ValidationServices services;
    services.critical_temp_low = GetCriticalTempLow;
    services.critical_temp_high = GetCriticalTempHigh;
    set_validation_services(services);
}

void firmware_construct() {
    set_restart_hooks({clear_early_restart_counter, save_configuration});
    set_web_server_entries({web_server_create, web_server_enable});
    the_event_log_links().max_poll_time_exceeded = max_poll_time_exceeded;
    SetTrapCommLossQuery(max_poll_time_exceeded);
    SetTrapLinkQuery(ethernet_link_up);
    // The boot order of the long-lived objects.
    the_post_office();
    TheDisplay();
    TheScheduleTask();
    ThePeripheralTask();
    TheMonitorTask();
    TheWatchdogTask();
    TheDatabase();
    the_comm_task();
    the_job_queue();
    TheRender();
    TheDisplayEngine();
    TheGPBuffer();
    ThePowerSupplyTable();

    // Subscribers, in the order the letters reach them.
    the_comm_task().Subscribe();
    TheDisplay().Subscribe();
    TheScheduleTask().Subscribe();
    ThePeripheralTask().Subscribe();
    TheMonitorTask().Subscribe();
    TheWatchdogTask().Subscribe();
    TheDatabase().Subscribe();
}

int firmware_main(int argc, char** argv) {
    startup().argc = argc;
    startup().argv = argv;
    firmware_construct();
    tx_kernel_enter();
    return 0;
}

// ---- the steps of tx_application_define ----

uint8_t detect_product_board() {
    uint8_t id = static_cast<uint8_t>((bus_read16(BUS_LOGIC_STATUS) >> 9) & 15);
    startup().board_id = id;
    console_printf(" - Detecting Hardware\t\t\t\t\t%s\n\t%s\n", "[ OK ]", product_board_name(id));
    return id;
}

const char* product_board_name(uint8_t id) {
    return id < sizeof BOARD_NAMES / sizeof BOARD_NAMES[0] ? BOARD_NAMES[id] : UNKNOWN_BOARD;
}

uint8_t product_board_id() {
    return startup().board_id;
}

int bootloader_day_number(const char* date) {
    if (!date || strnlen(date, 11) < 11) return 0;
    int year = 0;
    for (int i = 7; i < 11; i++)
        year = year * 10 + (date[i] >= '0' && date[i] <= '9' ? date[i] - '0' : 0);
    auto digit = [](char c) { return c >= '0' && c <= '9' ? c - '0' : 0; };
    int day = date[4] == ' ' ? digit(date[5]) : digit(date[4]) * 10 + digit(date[5]);
    int month = 0;
    for (int m = 0; m < 12; m++)
        if (strncmp(date, MONTHS[m], 3) == 0) month = m + 1;
    return 365 * year - 730000 + 31 * (month - 1) + day;
}

int check_bootloader_current() {
    return check_bootloader_date(mon_builddate());
}

int check_bootloader_date(const char* build_date) {
    console_printf(" - Is Bootloader Current?\t\t\t\t");
    if (bootloader_day_number(build_date) >= BOOTLOADER_CURRENT_DAY) {
        console_printf("[ OK ]\n");
        return 0;
    }
    console_printf("[FAIL]\n");
    console_printf("Please standby for system restart...\n");
    return install_bootloader();
}

// The Ethernet driver's packet pool and descriptor tables, in board RAM.
static void place_ethernet_memory(uint8_t** cursor) {
    uintptr_t at = (reinterpret_cast<uintptr_t>(*cursor) + 7u) & ~uintptr_t(7);
    emac_forget(); // a start in-process begins with a driver that has seen no request
    emac_set_packet_pool_address(uint32_t(at));
    *cursor = reinterpret_cast<uint8_t*>(at + EMAC_MEMORY_BYTES);
}

int init_platform_specific(uint8_t** cursor) {
    uint32_t entry = bus_read32(BUS_MONITOR_ENTRY);
    monConnect(entry, nullptr, nullptr);
    mon_addcommand(vms_command_table(), nullptr);
    mon_wdtctrl(MON_WDT_DISABLE); // the watchdog task enables it when it starts
    mon_tfsctrl(TFS_CTRL_TIMEFUNCS, reinterpret_cast<long>(&tfs_get_time_hook),
                reinterpret_cast<long>(&tfs_format_time_hook));
    trace_level_from_console();
    if (tx_mutex_create(&micromonitor_mutex(), "MicromonitorMutex", TX_INHERIT) != TX_SUCCESS)
        console_printf(" - tx_mutex_create: micromonitor\t\t\t[FAIL]\n");
    monConnect(entry, monitor_lock, monitor_unlock);
    check_bootloader_current();
    console_printf(" - Initialize J6 Platform Specific Items\t\t");
    TheGPBuffer().Create(cursor, GP_BUFFER_BYTES);
    place_ethernet_memory(cursor);
    // The DHCP client's memory and the "NetX" pool are placed with the network stack.
    TheSystemMedia().watchdog_hook = watchdog_enabled;
    if (flash_needs_defragmentation()) {
        console_printf("[FAIL]\n");
        console_printf("\t need to restart to defragment the flash drive\n");
        defrag_reset();
        return 1;
    }
    if (TheFileSystem().OpenMedia(&TheSystemMedia(), "system drive") != FS_OK) {
        console_printf("[FAIL]\n");
        return 1;
    }
    console_printf("[ OK ]\n");
    return 0;
}

int init_product_specific(uint8_t** cursor) {
    (void)cursor;
    console_printf(" - Initialize QK Product Specific Items\t\t\t");
    console_printf("[ OK ]\n");
    return 0;
}

// A start nobody asked for (dmsSWReset 0) is a power-up; it is also counted
// as a possible watchdog failure.
void record_start_cause() {
    const uint32_t sw_reset = db_get(obj::dmsSWReset);
    set_start_cause(start_cause_of_reset(sw_reset));
    if (sw_reset == 0) db_set(obj::watchdogFailureCount, db_get(obj::watchdogFailureCount) + 1, 0);
    db_set(obj::dmsSWReset, 0, DB_NOTIFY);
}

TX_BYTE_POOL& get_thread_stack_pool() {
    return thread_stack_pool();
}

// The flash file system's file times are the sign's local time, taken from
// the clock peripheral; without one (or before its first reading) the value
// last read (0 before any) is kept.
uint32_t tfs_get_time() {
    CClock* clock = find_clock();
    if (clock) clock->GetLocalTime(&startup().local_time);
    return startup().local_time;
}

char* tfs_format_time(uint32_t seconds, char* buffer, int size) {
    if (!buffer) return buffer;
    if (size < TFS_TIME_TEXT_BYTES || seconds == 0xFFFFFFFFu) {
        if (size > 0) buffer[0] = '\0';
        return buffer;
    }
    // Without a clock peripheral the buffer is left as it was.
    if (!find_clock()) return buffer;
    struct tm date = {};
    seconds_to_tm(seconds, &date);
    std::snprintf(buffer, size_t(size), "%02d/%02d/%04d %02d:%02d\n", date.tm_mon + 1, date.tm_mday,
                  date.tm_year + 1900, date.tm_hour, date.tm_min);
    return buffer;
}

void tx_application_define(void* first_unused_memory) {
    uint8_t* cursor = static_cast<uint8_t*>(first_unused_memory);
    console_printf("Booting %s ver %s.%s.%s.%s%s built %s at %s....\n", FIRMWARE_PART_NUMBER,
                   kFirmwareVersionFields[0], kFirmwareVersionFields[1], kFirmwareVersionFields[2],
                   kFirmwareVersionFields[3], FIRMWARE_VERSION_SUFFIX, __DATE__, __TIME__);
    create_shared_kernel_objects(&cursor);
    global_timer_scheduler() = timer_scheduler_tx_rtos::instance();
    detect_product_board();
    install_module_type_table();
    init_platform_specific(&cursor);
    the_job_queue().start();
    board_set_external_interrupt_handler(isr_dispatch_masked);
    start_tasks(thread_stack_pool());
    install_validation_services();
    TheDatabase().Init();
    init_mib();
    ThePowerSupplyTable().CreateMutex();
    configure_display();
    InitNTCIPObjects(&cursor);
    TheScheduleTask().ServiceEventLog();
    init_product_specific(&cursor);
    CFile_Script::Run(&TheSystemMedia(), &TheFileSystem());
    record_start_cause();
    db_set(obj::quorvelObj1_1_20_7, db_get(obj::quorvelObj1_1_20_7) | 1, DB_NOTIFY);
    console_printf("Launching Thread(s) at %d GMT, Please Wait...\n",
                   static_cast<int>(db_get_time()));
}
