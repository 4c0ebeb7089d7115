// CScheduleTask: the "Schedule" task. Every period it runs one pass: the
// event log's service, the re-aiming of the central host after its address
// or port changed, its letters, the local date from the clock, and (from the
// second pass on) the evaluation of the time-base schedule, which asks the
// display for the message the schedule calls for while the sign's source mode
// is the time-base scheduler. Its first step, before the pass loop, is the
// restart recovery: the start-up traps and the power-recovery or reset
// message (restart_recovery.cpp).
//
// Scheduling is entered from outside: when any source activates the schedule
// message (memory type 6), the display posts LETTER_SCHEDULED_MESSAGE_ACTIVATED
// and the task asks for a blank message with the scheduler's source mode;
// once the display shows it, dmsMsgSourceMode is 9 and every pass evaluates.
#pragma once

#include "ntcip/schedule/event_log.h"
#include "runtime/mail_task.h"

#include <cstdint>
#include <ctime>

// How this start came about, from dmsSWReset as start-up found it.
enum start_cause : uint8_t {
    START_COLD = 0,  // nobody asked for it: a power-up (coldStart trap, recovery message)
    START_WARM = 1,  // a requested restart (warmStart trap, reset message)
    START_QUIET = 2, // a restart without traps (reset message)
};
// dmsSWReset 0 (no request) is a power-up, 2 the start without traps, any
// other value a requested restart.
start_cause start_cause_of_reset(uint32_t sw_reset);
// Kept once by start-up before the tasks run; read by the restart recovery.
void set_start_cause(start_cause cause);
start_cause current_start_cause();

class CScheduleTask : public CMailTask {
  public:
    // NTCIP source modes of the schedule's requests.
    static const uint8_t SOURCE_TIMEBASE_SCHEDULER = 9;
    static const uint8_t SOURCE_POWER_RECOVERY = 10;
    static const uint8_t SOURCE_RESET = 11;

    explicit CScheduleTask(post_office& office);

    // First step: the restart recovery with its traps, then enabled.
    void Initialize() override;
    // One pass. -> 0, or -1 before the first step has run.
    uint32_t Run() override;
    void HandleLetter(const letter_s& letter) override;

    // One pass of the event log's service (at start-up and in every period).
    void ServiceEventLog();
    // The blank request with the scheduler's source mode. -> 1.
    int StartScheduling();
    // The time-base schedule at the pass's local date (schedule_evaluation.cpp).
    void EvaluateSchedule();
    // Traps by start-up cause and the recovery or reset message; the traps
    // only when send_traps is 1 (restart_recovery.cpp).
    void CheckResetType(int send_traps);

    CEventLogging& EventLog() { return event_log_; }

    // Set while a central system holds the trap connection on TCP 162.
    uint8_t TrapPortConnected() const { return trap_port_connected_; }
    const struct tm& LocalDate() const { return date_; }

  private:
    void ReconfigureCentralClients();
    void UpdateLocalDate();
    // Entry and event choice, and the request of the chosen action's message.
    bool RequestAction(uint32_t action);

    uint8_t enabled_ = 0;
    struct tm date_ = {};
    uint8_t first_pass_ = 1;
    // Each makes the blank request of "nothing scheduled" happen once: the
    // entry latch when no entry matches, the event latch when an entry
    // matches but no event is due. Set again by a match.
    uint8_t entry_latch_ = 1;
    uint8_t event_latch_ = 1;
    uint8_t trap_port_connected_ = 0;
    CEventLogging event_log_;
};

CScheduleTask& TheScheduleTask();

// The schedule's request: writes `code` into the display's ordinary request
// slot with the given source mode and the schedule's source byte.
void schedule_request(uint8_t source_mode, uint16_t duration, uint8_t memory_type, uint16_t number,
                      uint16_t crc);

class CMsgActivationCode;
// Where a test watches the schedule's requests as they are made (the display
// takes them out of the slot at once); null: nobody watches.
using schedule_request_observer = void (*)(uint8_t source_mode, const CMsgActivationCode& code);
void set_schedule_request_observer(schedule_request_observer observer);
