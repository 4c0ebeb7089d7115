// The communication task's watch over the central system, once a step with
// the global time now: activity, the poll-time supervision, the
// communication-loss action and the heartbeat reset.
#include "comm/comm_task.h"

#include "comm/snmp/snmp_agent.h"
#include "display/display_entries.h"
#include "runtime/console.h"
#include "store/short_error_status.h"
#include "store/database.h"
#include "store/objects.h"

namespace {

const uint32_t CONTROL_MODE_LOCAL = 2;
const uint32_t COMMUNICATIONS_ERROR = 0x02; // shortErrorStatus
const uint8_t SOURCE_MODE_COMM_LOSS = 12;
const uint8_t REQUEST_SOURCE_CENTRAL = 2;
const uint8_t MEMORY_CURRENT_BUFFER = 5;
const uint16_t DURATION_ENDLESS = 0xFFFF;
const uint8_t PRIORITY_HIGHEST = 255;
const uint8_t OWN_ADDRESS[4] = {127, 0, 0, 1};

bool local_control() {
    return db_get(obj::dmsControlMode) == CONTROL_MODE_LOCAL;
}

bool comm_error_set() {
    return db_get(obj::shortErrorStatus) & COMMUNICATIONS_ERROR;
}

} // namespace

void comm_task::LoadCommLossTimeout() {
    comm_loss_minutes_ = db_get(obj::dmsTimeCommLoss);
}

void comm_task::RecordCommActivity(uint32_t now) {
    if (snmp_activity_flag != 1) return;
    last_comm_timestamp_ = now;
    snmp_activity_flag = 0;
}

void comm_task::CheckCommLossTimeout(uint32_t now) {
    if (db_get(obj::fdotObj11_6) == 0) {
        max_poll_time_exceeded_ = 0;
        return;
    }
    max_poll_time_exceeded_ = now - last_comm_timestamp_ >= db_get(obj::fdotDmsMaxPollTime) * 60;
}

void comm_task::CheckCommLossAction(uint32_t now) {
    if (comm_loss_minutes_ == 0) return;
    if (local_control()) {
        last_comm_timestamp_ = now; // time in local control is never silence
        return;
    }
    if (now - last_comm_timestamp_ < comm_loss_minutes_ * 60) {
        short_error_change(0, COMMUNICATIONS_ERROR);
        return;
    }
    if (comm_error_set()) return; // requested once per silent period
    ActivateCommLossMessage();
    short_error_change(COMMUNICATIONS_ERROR, 0);
}

void comm_task::ActivateCommLossMessage() {
    if (db_get(obj::dmsTimeCommLoss) == 0 || local_control()) return;
    uint32_t length = 0;
    const char* stored = db_get_string(obj::dmsCommunicationsLossMessage, &length);
    CMsgIDCode id;
    if (!id.Decode(reinterpret_cast<const uint8_t*>(stored), length)) return;
    uint16_t duration = id.m_memoryType == MEMORY_CURRENT_BUFFER
                            ? uint16_t(db_get(obj::dmsMessageTimeRemaining))
                            : DURATION_ENDLESS;
    CMsgActivationCode code;
    code.Set(duration, PRIORITY_HIGHEST, id.m_memoryType, id.m_messageNumber, id.m_messageCRC,
             OWN_ADDRESS);
    request_activation(ACTIVATION_SLOT_ORDINARY, SOURCE_MODE_COMM_LOSS, REQUEST_SOURCE_CENTRAL,
                       code);
}

uint32_t comm_task::GetHeartbeatGap() const {
    return saved_global_time_ > last_comm_timestamp_ ? saved_global_time_ - last_comm_timestamp_
                                                     : last_comm_timestamp_ - saved_global_time_;
}

void comm_task::CheckHeartbeatReset(uint32_t now) {
    uint32_t threshold = db_get(obj::halvHeartBeatThreshold);
    if (threshold == 0) return;
    if (now % 10 == 0)
        trace_printf("savedGlobalTime = %d, last_comm_timestamp = %d, time_now = %d, "
                     "last_comm_timestamp - savedGlobalTime = %d, _GetNV(halvHeartBeatThreshold) "
                     "= %d\n ",
                     saved_global_time_, last_comm_timestamp_, now, GetHeartbeatGap(), threshold);
    uint32_t gap;
    if (comm_error_set()) {
        trace_printf("Comm Loss, don't reset\n");
        saved_global_time_ = now;
        gap = GetHeartbeatGap();
        if (gap >= threshold) gap = threshold / 2;
    } else {
        gap = GetHeartbeatGap();
    }
    if (gap < threshold || saved_global_time_ == 0) return;
    trace_printf(
        "Reset controller ->time_now = %d, savedGlobalTime = %d, last_comm_timestamp = %d, "
        "(last_comm_timestamp - savedGlobalTime) = %d,halvHeartBeatThreshold = %d \n",
        now, saved_global_time_, last_comm_timestamp_, gap, threshold);
    saved_global_time_ = 0;
    db_set(obj::panynjObj1_4, 0, DB_NOTIFY);
    db_set(obj::dmsMsgSourceMode, 1, DB_NOTIFY);
    db_set(obj::dmsSWReset, 1, DB_NOTIFY);
}
