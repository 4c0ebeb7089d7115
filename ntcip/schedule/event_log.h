// CEventLogging: the sign's event log. A central system configures up to 60
// rows of what to watch (eventLogConfigTable: an object, a condition, the
// object whose value to log, a class) and reads back what happened
// (eventLogTable: 16 classes of up to 255 rows, each the configuration row,
// the global time and the BER encoding of the logged value).
//
// Twice a second the schedule task runs one pass (Service): every row whose
// action is "log" is evaluated against the current value of its watched
// object, read through the MIB registry exactly as an SNMP GET reads it, so
// any object the agent serves can be watched. A row that fires appends to
// its class; a full class drops its oldest row; the first class that becomes
// nearly full (90 % of its limit) raises enterprise trap 17 once, latched in
// fdotObj11_10 until no class is nearly full.
//
// Row states (last value, timing of a condition, armed flag) live only in
// memory: after a restart an onChange row records its first value without
// logging. For the first 59 passes after start, rows watching objects that
// settle only after start-up (door, temperatures, fans) are not evaluated.
//
// The internal GETs use one request record and context in static storage
// (far larger than the schedule task's 4096-byte stack); the engine runs on
// the schedule task's thread only (and once at start-up before the threads),
// so the record is never shared.
#pragma once

#include <cstdint>

// --- the communication task's side --------------------------------------------
// The nearly-full trap goes out through raise_trap (comm/agents/trap_raise.h).
// The poll-time supervision is a hand-over of its own: one function pointer,
// replaced where that supervision lives; tests install their own.
struct event_log_links {
    // True while no central request came within the configured poll time
    // (fdotDmsMaxPollTime): nothing is logged then. Default: never.
    bool (*max_poll_time_exceeded)();
};
event_log_links& the_event_log_links();

class CEventLogging {
  public:
    static constexpr uint32_t CONFIG_ROWS = 60;
    static constexpr uint32_t CLASSES = 16;
    static constexpr uint32_t ROWS_PER_CLASS = 255;
    static constexpr uint32_t MAX_OID = 40;       // working buffers of stored OIDs
    static constexpr uint32_t VALUE_BUFFER = 512; // encoded value of one event
    static constexpr uint8_t STARTUP_PASSES = 60; // countdown of the start-up suppression
    static constexpr uint32_t NEARLY_FULL_TRAP = 17;

    CEventLogging();
    virtual ~CEventLogging() = default;

    // One pass: Process, then CheckLogFull.
    void Service();
    // Evaluates every configuration row once.
    void Process();
    // Appends an event of configuration row `config_row` (1..60) to its class.
    void Log(uint32_t config_row);
    // The 0-based row of class `class_index` (0..15) for a new event, or -1
    // when the class can hold none (limit 0).
    int AllocateRow(uint32_t class_index);
    // Moves the rows of a class whose first row is empty up to row 1.
    void ShiftClass(uint32_t class_index);
    // Clears the rows of a class not newer than its eventClassClearTime.
    void ClearClassByTime(uint32_t class_index);
    // Cuts every class holding more rows than its limit to its newest rows.
    void TrimAll();
    // Raises the nearly-full trap once and keeps its latch.
    void CheckLogFull();
    // The value of the object a stored OID (4 big-endian bytes per
    // sub-identifier) names: numbers as they are, byte values as their
    // CRC-16. *error is 0 when a value was read, 1 otherwise.
    uint32_t processPppPDU(const uint8_t* oid, uint32_t length, uint8_t* error);

    // The schedule task's letters: a clear-time change (6..21) and a limit
    // change (22). -> true when the letter was one of these.
    bool HandleLetter(uint32_t code);

    struct row_state {
        uint32_t prior; // last value seen (onChange)
        uint32_t last;  // global time of the previous evaluation, 0 none
        uint32_t accum; // seconds the condition has held (or since the last periodic event)
        uint8_t armed;  // onChange: first value not seen yet; others: may log
    };
    const row_state& State(uint32_t config_row) const {
        return rows_[(config_row - 1) % CONFIG_ROWS];
    }

  private:
    void ClearRow(uint32_t class_index, uint32_t row);
    void CopyRow(uint32_t class_index, uint32_t from, uint32_t to);
    bool RowEmpty(uint32_t class_index, uint32_t row) const;

    row_state rows_[CONFIG_ROWS];
    uint8_t countdown_;
};
