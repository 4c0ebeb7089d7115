// Sign control objects (1.3.6.1.4.1.1206.4.2.3.6): control mode, software
// reset, message activation, the messages of power recovery, reset,
// communication loss, power loss and end of duration, memory management,
// the activation and MULTI error reports and the pixel-service schedule.
//
// Most objects are plain stores. The decisions:
//   - dmsControlMode: the store accepts only local -> centralOverride; its
//     refusal is the request's error (badValue).
//   - dmsSWReset: a pending network configuration (an address, mask or
//     gateway SET) is announced to the peripheral task before the reset
//     value is stored.
//   - dmsActivateMessage: the code is stored without notification (the
//     agent then runs the activation at once); a GET answers the code of the
//     last successful activation.
//   - dmsMemoryMgmt: a committed SET runs the display's memory management.
#include "ntcip/objects/mib2.h"
#include "ntcip/objects/sign_groups.h"

#include "display/display_entries.h"
#include "runtime/letter_codes.h"
#include "runtime/post_office.h"
#include "store/database.h"

namespace {

using namespace mibdef;

constexpr uint32_t CONTROL_MODE_MASK = 0x00040000;
constexpr uint32_t RESET_MASK = 0x00020000;
constexpr uint32_t ACTIVATION_MASK = 0x00800000;
constexpr uint32_t RECOVERY_MASK = 0x20000000;
constexpr uint32_t MEMORY_MASK = 0x00400000;
constexpr uint32_t PIXEL_SERVICE_MASK = 0x08000000;
constexpr uint32_t ACTIVATION_CODE_BYTES = 12;
constexpr uint32_t MESSAGE_ID_BYTES = 5;
constexpr uint32_t MINUTES_PER_DAY = 1440;

int write_reset(mib_request& request, uint32_t) {
    if (network_config_changed()) the_post_office().post(LETTER_NETWORK_CONFIG_CHANGED);
    return mib_write_object(request, obj::dmsSWReset, request.ctx.write_flags);
}

// The written code goes to the activation object without notification; the
// SET's own answer is that code, a GET's the last activated one.
int write_activation(mib_request& request, uint32_t) {
    return mib_write_object(request, obj::dmsActivateMessage, request.ctx.write_flags & ~DB_NOTIFY);
}
bool read_activation(mib_request& request, uint32_t) {
    if (!request.committing()) return false;
    mib_answer_object(request, obj::dmsActivateMessage, mib_value::octets);
    return true;
}

void (*g_memory_entry)() = clear_memory;

// Only a committed SET runs the memory management: a GET, a walk or a write
// the store refused never clears anything.
int write_memory_management(mib_request& request, uint32_t) {
    int result = mib_write_object(request, obj::dmsMemoryMgmt, request.ctx.write_flags);
    if (result == DB_OK) g_memory_entry();
    return result;
}

constexpr mib_hooks kReset = {nullptr, nullptr, write_reset};
constexpr mib_hooks kActivation = {nullptr, read_activation, write_activation};
constexpr mib_hooks kMemoryManagement = {nullptr, nullptr, write_memory_management};

constexpr mib_variable message_id(uint32_t x, const DbObject& o) {
    return scalar({x, 0}, MIB_OCTETSTR, o)
        .rw()
        .len(MESSAGE_ID_BYTES, MESSAGE_ID_BYTES)
        .mask(RECOVERY_MASK);
}

constexpr auto kRows = under(
    {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 6},
    {
        scalar({1, 0}, MIB_INTEGER, obj::dmsControlMode)
            .rw()
            .list({1, 2, 3, 4, 5, 6})
            .mask(CONTROL_MODE_MASK)
            .writes(mib_write::report),
        scalar({2, 0}, MIB_INTEGER, obj::dmsSWReset)
            .rw()
            .range(0, 1)
            .mask(RESET_MASK)
            .hooked(&kReset),
        scalar({3, 0}, MIB_OCTETSTR, obj::savedActivateMessage)
            .rw()
            .len(ACTIVATION_CODE_BYTES, ACTIVATION_CODE_BYTES)
            .mask(ACTIVATION_MASK)
            .hooked(&kActivation),
        scalar({4, 0}, MIB_INTEGER, obj::dmsMessageTimeRemaining)
            .rw()
            .range(0, 65535)
            .mask(ACTIVATION_MASK),
        scalar({5, 0}, MIB_OCTETSTR, obj::dmsMsgTableSource),
        scalar({6, 0}, MIB_IPADDRESS, obj::dmsMsgRequesterID),
        scalar({7, 0}, MIB_INTEGER, obj::dmsMsgSourceMode),
        message_id(8, obj::dmsShortPowerRecoveryMessage),
        message_id(9, obj::dmsLongPowerRecoveryMessage),
        scalar({10, 0}, MIB_INTEGER, obj::dmsShortPowerLossTime)
            .rw()
            .range(0, 65535)
            .mask(RECOVERY_MASK),
        message_id(11, obj::dmsResetMessage),
        message_id(12, obj::dmsCommunicationsLossMessage),
        scalar({13, 0}, MIB_INTEGER, obj::dmsTimeCommLoss).rw().range(0, 65535).mask(RECOVERY_MASK),
        message_id(14, obj::dmsPowerLossMessage),
        message_id(15, obj::dmsEndDurationMessage),
        scalar({16, 0}, MIB_INTEGER, obj::dmsMemoryMgmt)
            .rw()
            .list({1, 2, 3, 4})
            .mask(MEMORY_MASK)
            .hooked(&kMemoryManagement),
        scalar({17, 0}, MIB_INTEGER, obj::dmsActivateMsgError),
        scalar({18, 0}, MIB_INTEGER, obj::dmsMultiSyntaxError),
        scalar({19, 0}, MIB_INTEGER, obj::dmsMultiSyntaxErrorPosition),
        scalar({20, 0}, MIB_OCTETSTR, obj::dmsMultiOtherErrorDescription),
        scalar({21, 0}, MIB_INTEGER, obj::vmsPixelServiceDuration)
            .rw()
            .range(0, 65535)
            .mask(PIXEL_SERVICE_MASK),
        scalar({22, 0}, MIB_INTEGER, obj::vmsPixelServiceFrequency)
            .rw()
            .range(0, MINUTES_PER_DAY)
            .mask(PIXEL_SERVICE_MASK),
        scalar({23, 0}, MIB_INTEGER, obj::vmsPixelServiceTime)
            .rw()
            .range(0, MINUTES_PER_DAY)
            .mask(PIXEL_SERVICE_MASK),
        scalar({24, 0}, MIB_OCTETSTR, obj::dmsActivateErrorMsgCode),
        scalar({25, 0}, MIB_INTEGER, obj::dmsActivateMessageState),
    });

} // namespace

const mib_table sign_control_table = table(kRows);

void sign_control_set_memory_entry(void (*entry)()) {
    g_memory_entry = entry != nullptr ? entry : clear_memory;
}

void sign_control_clear_memory() {
    g_memory_entry();
}
