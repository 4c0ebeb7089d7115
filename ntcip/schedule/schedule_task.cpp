#include "ntcip/schedule/schedule_task.h"

#include "comm/agents/ntcip_agents.h"
#include "comm/agents/trap_delivery.h"
#include "display/display_entries.h"
#include "display/message_codes.h"
#include "ntcip/clock/clock.h"
#include "runtime/letter_codes.h"
#include "runtime/os.h"
#include "runtime/pools.h"
#include "runtime/task_table.h"
#include "store/database.h"
#include "store/objects.h"

#include <atomic>

namespace {

// "database" bit set when halvRemoteIPAddress or halvRemoteIPPort changes.
const uint32_t CENTRAL_CLIENT_SETTINGS_BIT = 0x80000;
// The source byte of the requests of this task (request source 2).
const uint8_t SCHEDULE_REQUEST_SOURCE = 2;
const uint8_t REQUEST_PRIORITY = 255;
const uint8_t LOOPBACK[4] = {127, 0, 0, 1};
const uint16_t BLANK_SCHEDULE_NUMBER = 255;
const uint8_t MESSAGE_VALID = 4;

std::atomic<schedule_request_observer> g_observer{nullptr};

} // namespace

void set_schedule_request_observer(schedule_request_observer observer) {
    g_observer = observer;
}

void schedule_request(uint8_t source_mode, uint16_t duration, uint8_t memory_type, uint16_t number,
                      uint16_t crc) {
    CMsgActivationCode code;
    code.Set(duration, REQUEST_PRIORITY, memory_type, number, crc, LOOPBACK);
    schedule_request_observer observer = g_observer.load();
    if (observer) observer(source_mode, code);
    request_activation(ACTIVATION_SLOT_ORDINARY, source_mode, SCHEDULE_REQUEST_SOURCE, code);
}

CScheduleTask::CScheduleTask(post_office& office) : CMailTask(task_row_of(TASK_SCHEDULE), office) {}

void CScheduleTask::Initialize() {
    CheckResetType(1);
    enabled_ = 1;
}

uint32_t CScheduleTask::Run() {
    CTaskBase::Run();
    ServiceEventLog();
    if (!enabled_) return uint32_t(-1);
    ReconfigureCentralClients();
    DrainMailbox(mail_);
    UpdateLocalDate();
    if (first_pass_)
        first_pass_ = 0;
    else
        EvaluateSchedule();
    return 0;
}

void CScheduleTask::HandleLetter(const letter_s& letter) {
    if (event_log_.HandleLetter(letter.code())) return; // clear times, class limits
    switch (letter.code()) {
    case LETTER_TRAP_CONNECTION_OPENED:
        trap_port_connected_ = 1;
        break;
    case LETTER_TRAP_CONNECTION_CLOSED:
        trap_port_connected_ = 0;
        break;
    case LETTER_SCHEDULED_MESSAGE_ACTIVATED:
        StartScheduling();
        break;
    default:
        break;
    }
}

void CScheduleTask::ServiceEventLog() {
    event_log_.Service();
}

int CScheduleTask::StartScheduling() {
    db_set_string(obj::scheduleMsgMultiString, nullptr, 0, DB_NOTIFY);
    db_set_string(obj::scheduleMsgOwner, nullptr, 0, DB_NOTIFY);
    db_set(obj::scheduleMsgCRC, 0, DB_NOTIFY);
    db_set(obj::scheduleMsgBeacon, 0, DB_NOTIFY);
    db_set(obj::scheduleMsgPixelService, 0, DB_NOTIFY);
    db_set(obj::scheduleMsgStatus, MESSAGE_VALID, DB_NOTIFY);
    schedule_request(SOURCE_TIMEBASE_SCHEDULER, 0xFFFF, MSG_MEMORY_BLANK, BLANK_SCHEDULE_NUMBER, 0);
    return 1;
}

// The central host's record takes the new address and port, and the TCP
// and UDP trap clients are aimed there.
void CScheduleTask::ReconfigureCentralClients() {
    uint32_t actual = 0;
    if (os_event_flags_get(&database_event_flags(), CENTRAL_CLIENT_SETTINGS_BIT, OS_EVENT_OR_CLEAR,
                           &actual, OS_NO_WAIT) != OS_OK)
        return;
    CNTCIP_IP& central = TheNTCIP_IP();
    central.SetCentralAddress(db_get(obj::halvRemoteIPAddress));
    central.central_trap_port = uint16_t(db_get(obj::halvRemoteIPPort));
    AimTrapClients();
}

// Without a clock, or before its first reading, the previous date stays.
void CScheduleTask::UpdateLocalDate() {
    CClock* clock = find_clock();
    if (clock) clock->GetLocalDate(&date_);
}

CScheduleTask& TheScheduleTask() {
    static CScheduleTask task(the_post_office());
    return task;
}
