// The restart recovery, once after every start on the schedule task's thread:
// the traps that tell the central system how the sign came up, and the
// message configured for the case: after a power-up the short or long
// power-recovery message by the length of the outage, after a restart the
// reset message. A recovery message that names the current buffer shows the
// message of before the outage again, its remaining time shortened by the
// outage (a volatile message did not survive it: the sign is blanked).
#include "ntcip/schedule/schedule_task.h"

#include "comm/agents/trap_raise.h"
#include "display/message_codes.h"
#include "ntcip/clock/clock.h"
#include "runtime/console.h"
#include "store/database.h"
#include "store/objects.h"

#include <atomic>

namespace {

std::atomic<uint8_t> g_start_cause{START_WARM};

// The peripheral task polls the clock meanwhile; its first reading gives the outage.
const ULONG CLOCK_READING_TICKS = 40;
const uint32_t TRAP_COLD_START_SIGN = 19;
const uint32_t TRAP_WARM_START_SIGN = 20;
const uint32_t LONG_POWER_LOSS_SOURCE = 7; // panynjObj1_4 until the display takes the request
const uint16_t UNLIMITED = 0xFFFF;

struct recovery_choice {
    DbObject message;
    uint8_t source_mode;
};

void send_start_traps(uint32_t generic, uint32_t specific, const trap_varbind* varbinds) {
    raise_trap(generic, 0, 0, nullptr);
    raise_trap(TRAP_ENTERPRISE_SPECIFIC, specific, 2, varbinds);
}

uint32_t outage_seconds() {
    CClock* clock = find_clock();
    uint32_t seconds = 0;
    if (!clock) {
        console_printf("CScheduleTask::CheckResetType: error finding clock\n");
        return 0;
    }
    return clock->GetPowerLossDuration(&seconds) ? seconds : 0;
}

recovery_choice power_recovery(uint32_t outage) {
    const uint32_t short_loss = db_get(obj::dmsShortPowerLossTime);
    if (short_loss != 0 && int32_t(outage) < int32_t(short_loss))
        return {obj::dmsShortPowerRecoveryMessage, CScheduleTask::SOURCE_POWER_RECOVERY};
    db_set(obj::panynjObj1_4, LONG_POWER_LOSS_SOURCE, DB_NOTIFY);
    return {obj::dmsLongPowerRecoveryMessage, CScheduleTask::SOURCE_POWER_RECOVERY};
}

// The message shown before the outage, its time shortened by the outage.
void restore_current_buffer(uint8_t source_mode, uint32_t outage) {
    uint8_t bytes[CMsgActivationCode::kLength + 1];
    uint32_t length = 0;
    db_get_string_copy(obj::savedActivateMessage, bytes, sizeof bytes, &length);
    CMsgActivationCode saved;
    if (!saved.Decode(bytes, length)) return;
    const uint32_t outage_minutes = outage / 60;
    uint32_t remaining = db_get(obj::dmsMessageTimeRemaining);
    bool blank = false;
    if (remaining != UNLIMITED) {
        if (remaining > outage_minutes)
            remaining -= outage_minutes;
        else
            blank = true;
    }
    if (saved.m_memoryType == MSG_MEMORY_VOLATILE) blank = true;
    if (blank)
        schedule_request(source_mode, UNLIMITED, kBlankMemoryType, kBlankMessageNumber,
                         kBlankMessageCRC);
    else
        schedule_request(source_mode, uint16_t(remaining), saved.m_memoryType,
                         saved.m_messageNumber, saved.m_messageCRC);
}

} // namespace

start_cause start_cause_of_reset(uint32_t sw_reset) {
    switch (sw_reset) {
    case 0:
        return START_COLD;
    case 2:
        return START_QUIET;
    default:
        return START_WARM;
    }
}

void set_start_cause(start_cause cause) {
    g_start_cause = cause;
}

start_cause current_start_cause() {
    return start_cause(g_start_cause.load());
}

void CScheduleTask::CheckResetType(int send_traps) {
    trap_varbind varbinds[2];
    location_time_varbinds(varbinds, db_get_time());
    const uint32_t test_mode = db_get(obj::halvObj1_1);
    tx_thread_sleep(CLOCK_READING_TICKS);
    const uint32_t outage = outage_seconds();

    recovery_choice choice{obj::dmsResetMessage, SOURCE_RESET};
    switch (current_start_cause()) {
    case START_COLD:
        if (send_traps == 1) send_start_traps(TRAP_COLD_START, TRAP_COLD_START_SIGN, varbinds);
        choice = power_recovery(outage);
        break;
    case START_QUIET:
        break;
    case START_WARM:
    default:
        if (send_traps == 1) send_start_traps(TRAP_WARM_START, TRAP_WARM_START_SIGN, varbinds);
        break;
    }

    uint8_t bytes[CMsgIDCode::kLength + 1];
    uint32_t length = 0;
    db_get_string_copy(choice.message, bytes, sizeof bytes, &length);
    CMsgIDCode message;
    if (!message.Decode(bytes, length))
        console_printf("CScheduleTask::CheckResetType: error null pointer\n");
    else if (message.m_memoryType == MSG_MEMORY_CURRENT_BUFFER)
        restore_current_buffer(choice.source_mode, outage);
    else
        schedule_request(choice.source_mode, UNLIMITED, message.m_memoryType,
                         message.m_messageNumber, message.m_messageCRC);

    if (test_mode != 1) db_set(obj::halvObj1_1, test_mode, DB_NOTIFY);
}
