// The sign's private configuration scalars (1.3.6.1.4.1.1206.3.11.2): display
// thresholds and modes, network and port settings, serial numbers, feature
// sets, a message activation by number, the flash usage figures and two
// commands (memory clear, configuration unlock). Most are stored and read
// back; the hooks below do what a plain store cannot:
//   - the configuration unlock (.2.8) switches the write override of every
//     configuration row of the registry (2 on, 1 off);
//   - the activation by number (.2.27) requests a message through the
//     display's ordinary request slot and reads the message on display;
//   - the serial numbers (.2.28, .2.29) also rewrite the module table's
//     version texts of the controller (module 2) and the sign (module 7);
//   - the flash figures (.2.34, .2.35) are computed at each read.
#include "ntcip/objects/private.h"

#include "display/display_entries.h"
#include "display/display_task.h"
#include "comm/links/pmpp.h"
#include "display/message_codes.h"
#include "ntcip/mib/oid_text.h"
#include "platform/monitor/monitor.h"
#include "runtime/console.h"
#include "store/database.h"

#include <cstdio>
#include <cstring>

namespace {

using namespace mibdef;

constexpr uint32_t CONFIG_UNLOCK = 2;
constexpr uint32_t CONFIG_LOCK = 1;

// Module table rows (from 0) whose version texts show the serial numbers.
constexpr uint32_t CONTROLLER_MODULE_ROW = 1;
constexpr uint32_t SIGN_MODULE_ROW = 6;

// --- configuration unlock -------------------------------------------------------------

int write_unlock(mib_request& request, uint32_t) {
    const uint32_t value = request.ctx.set_value.integer;
    const int result = db_set(obj::halvObj2_8, value, request.ctx.write_flags);
    if (value == CONFIG_UNLOCK) mib_set_write_override(true);
    if (value == CONFIG_LOCK) mib_set_write_override(false);
    return result;
}

// --- activation by number -------------------------------------------------------------

// The message on display: memory type in bits 16-23, number in bits 0-15.
bool read_current_message(mib_request& request, uint32_t) {
    uint8_t code[CMsgIDCode::kLength + 1] = {};
    uint32_t length = 0;
    db_get_string_copy(obj::dmsMsgTableSource, code, sizeof code, &length);
    const uint32_t message = uint32_t(code[0]) << 16 | uint32_t(code[1]) << 8 | code[2];
    trace_printf("\nReturn current message %X\n", message);
    mib_answer_integer(request, message);
    return true;
}

// A number above 4095 carries the memory type in bits 16-23 and the message
// number in bits 0-15; a smaller one the type in bits 8-15 and the number in
// bits 0-7.
int write_activation(mib_request& request, uint32_t) {
    const uint32_t value = request.ctx.set_value.integer;
    const bool wide = value > 4095;
    const uint8_t memory_type = uint8_t(wide ? value >> 16 : value >> 8);
    const uint16_t number = uint16_t(wide ? value & 0xFFFF : value & 0xFF);

    char crc_name[64];
    std::snprintf(crc_name, sizeof crc_name, "1.3.6.1.4.1.1206.4.2.3.5.8.1.5.%u.%u",
                  unsigned(memory_type), unsigned(number));
    uint32_t crc = 0;
    if (snmp_get_integer_by_oid_text(crc_name, uint32_t(std::strlen(crc_name)), &crc) != 1) crc = 0;

    static const uint8_t kLoopback[4] = {127, 0, 0, 1};
    CMsgActivationCode code;
    code.Set(65535, 255, memory_type, number, uint16_t(crc), kLoopback);
    console_printf("Activate message %d:%d\n", int(memory_type), int(number));
    request_activation(ACTIVATION_SLOT_ORDINARY, SOURCE_MODE_LOCAL, REQUEST_SOURCE_ORDINARY, code);
    return DB_OK;
}

// --- serial numbers -------------------------------------------------------------------

int write_serial(mib_request& request, uint32_t) {
    const DbObject& serial = request.row.column.object;
    const int result = db_set(serial, request.ctx.set_value.integer, request.ctx.write_flags);
    show_serial_number(obj::moduleVersion.row(request.row.column.tag), serial);
    return result;
}

// --- flash figures --------------------------------------------------------------------

uint32_t flash_space(int request) {
    const long bytes = mon_tfsctrl(request, 0, 0);
    return bytes > 0 ? uint32_t(bytes) : 0;
}

bool read_dead_space(mib_request& request, uint32_t) {
    const uint32_t dead = flash_space(TFS_CTRL_DEADSPACE);
    const uint32_t available = flash_space(TFS_CTRL_FREESPACE);
    const uint32_t percent = flash_dead_percent(dead, available);
    trace_printf("Dead: %d, Av: %d, Per: %d\n", int(dead), int(available), int(percent));
    db_set(obj::halvObj2_34, percent, 0);
    mib_answer_integer(request, percent);
    return true;
}

bool read_journal_use(mib_request& request, uint32_t) {
    const unsigned percent = TheDatabase().FlashUsedPercent();
    trace_printf("DB %%: %d\n", int(percent));
    mib_answer_integer(request, percent);
    return true;
}

constexpr mib_hooks kUnlock = {nullptr, nullptr, write_unlock};
constexpr mib_hooks kActivation = {halv_scalar_instance, read_current_message, write_activation};
constexpr mib_hooks kSerial = {nullptr, nullptr, write_serial};
constexpr mib_hooks kDeadSpace = {nullptr, read_dead_space, nullptr};
constexpr mib_hooks kJournalUse = {halv_scalar_instance, read_journal_use, nullptr};

constexpr mib_variable number(std::initializer_list<uint32_t> oid, const DbObject& o) {
    return scalar(oid, MIB_INTEGER, o);
}
constexpr mib_variable setting(std::initializer_list<uint32_t> oid, const DbObject& o,
                               uint32_t mask) {
    return scalar(oid, MIB_INTEGER, o).rw().mask(mask);
}
constexpr mib_variable network(uint32_t x, const DbObject& o) {
    return setting({21, x, 0}, o, HALV_MASK_COMMUNICATION);
}

constexpr auto kConfigRows = under(
    {1, 3, 6, 1, 4, 1, 1206, 3, 11, 2},
    {
        setting({3, 0}, obj::halvObj2_3, HALV_MASK_MESSAGES).range(1, 8),
        setting({4, 0}, obj::halvShutOffTemp, HALV_MASK_DISPLAY)
            .range(0, 255)
            .writes(mib_write::report),
        scalar({5, 0}, MIB_OCTETSTR, obj::halvEmergencyMessage)
            .rw()
            .len(5, 5)
            .mask(HALV_MASK_MESSAGE_CODES),
        setting({8, 0}, obj::halvObj2_8, HALV_MASK_COMMUNICATION).range(1, 2).hooked(&kUnlock),
        setting({9, 0}, obj::halvModuleID, HALV_MASK_COMMUNICATION).range(0, 65535),
        setting({10, 0}, obj::halvEnableRealTimePixelDiagnostics, HALV_MASK_DISPLAY).range(0, 255),
        setting({11, 0}, obj::halvhdlcAddress, HALV_MASK_COMMUNICATION)
            .range(1, 62)
            .range(64, PMPP_ADDRESS_MAX), // what the link's address field carries
        setting({12, 0}, obj::halvLCDAdminPassword, 0),
        number({13, 0}, obj::panynjObj1_6).range(0, 100),
        setting({14, 0}, obj::halvLegibilityRatioThreshold, HALV_MASK_DISPLAY).range(0, 100),
    });

constexpr auto kNetworkRows =
    under({1, 3, 6, 1, 4, 1, 1206, 3, 11, 2},
          {
              setting({20, 0}, obj::halvObj2_20, HALV_MASK_DIAGNOSTICS).range(1, 2),
              scalar({21, 1, 0}, MIB_IPADDRESS, obj::halvRemoteIPAddress)
                  .rw()
                  .mask(HALV_MASK_COMMUNICATION),
              network(2, obj::halvRemoteIPPort).range(1, 65535),
              network(3, obj::halvHostIPPort).range(1, 65535),
              network(4, obj::halvEthernetMode).range(1, 2),
              network(5, obj::halvHostHttpPort).range(1, 65535),
              network(6, obj::halvNTPIPAddress),
              scalar({21, 7, 0}, MIB_OCTETSTR, obj::halvObj2_21_7)
                  .rw()
                  .len(0, 50)
                  .mask(HALV_MASK_COMMUNICATION),
              network(8, obj::halvNTPPollTime).range(1, 65535),
              setting({22, 0}, obj::halvObj2_22, 0).range(0, 10),
              setting({23, 0}, obj::halvObj2_23, 0).range(0, 255),
              setting({24, 0}, obj::halvCANBaudRate, 0).range(1, 7),
              setting({25, 0}, obj::halvCANMaxLineLength, 0).range(0, 63),
              number({26, 0}, obj::halvFeatureSet).range(1, 3),
              custom({27, 0}, MIB_INTEGER, &kActivation, 0).rw().range(1, 524287),
              setting({28, 0}, obj::halvControllerSerialNum, 0)
                  .range(0, 2147483647)
                  .hooked(&kSerial, CONTROLLER_MODULE_ROW),
              setting({29, 0}, obj::halvSignSerialNum, 0)
                  .range(0, 2147483647)
                  .hooked(&kSerial, SIGN_MODULE_ROW),
          });

constexpr auto kFlashRows =
    under({1, 3, 6, 1, 4, 1, 1206, 3, 11, 2},
          {
              setting({33, 0}, obj::halvSpecialFeatureSet, 0),
              number({34, 0}, obj::halvObj2_34).range(0, 100).hooked(&kDeadSpace),
              custom({35, 0}, MIB_INTEGER, &kJournalUse, 0).range(0, 100),
              number({36, 0}, obj::halvModTimeout).range(0, 65535).mask(HALV_MASK_OPTIONS),
              setting({37, 0}, obj::halvObj2_37, HALV_MASK_OPTIONS).range(1, 255),
              setting({38, 0}, obj::halvHeartBeatThreshold, HALV_MASK_OPTIONS).range(0, 65535),
          });

} // namespace

int halv_scalar_instance(mib_request& request) {
    return header_scalar(request.row, request.name, *request.length);
}

uint32_t flash_dead_percent(uint32_t dead, uint32_t available) {
    const uint64_t total = uint64_t(dead) + available;
    return total == 0 ? 0 : uint32_t(uint64_t(dead) * 100 / total);
}

const mib_table halv_config_table = table(kConfigRows);
const mib_table halv_config_network_table = table(kNetworkRows);
const mib_table halv_config_flash_table = table(kFlashRows);
