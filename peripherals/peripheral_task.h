// CPeripheralTask: the "Peripheral" task (priority 2, a pass every 50 ticks).
// It owns the live peripheral registry, creates the fixed peripherals when
// its thread starts and, in every pass: posts the restart letter that a write
// of dmsSWReset asks for (once per run), keeps the first serial port at a
// speed the port knows, serves its letters, then polls every enabled
// peripheral that is due.
//
// Letters served here: 93 (a configuration object changed: the configuration
// file is made due and asked to save), 94/95 (the configuration-file writer
// off/on), 92/36 (Ethernet address or configuration changed: "monrc" is
// rewritten and the controller restarts), 60 (terminate) and 120 (controlled
// reset, answered with 67), 89/90 (a central write of the local time
// differential or the time zone, handed to the clock), 23 (a lamp test
// requested: taken up at once, the trigger set back to 2). The sensors, boards, front panel and
// climate outputs add their letters and steps as they come.
#pragma once

#include "peripherals/pl_mediator.h"
#include "runtime/mail_task.h"

class CPeripheralTask : public CMailTask {
  public:
    explicit CPeripheralTask(post_office& office);
    // The registry and the fixed peripherals, on the task's thread.
    void Initialize() override;
    // One pass.
    uint32_t Run() override;
    void HandleLetter(const letter_s& letter) override;
    void TerminateSelf() override;

    // The live peripheral with that id, or null (any thread).
    CPeripheral* GetPeripheral(uint16_t id);
    // The live peripheral whose id is the low 16 bits of `id` (any thread;
    // the registry's mutex is awaited at most 500 ticks). -> false (null)
    // when it is not installed.
    bool Find(uint32_t id, CPeripheral** out) { return registry_.Find(uint16_t(id), out); }
    bool Exists(uint32_t id) { return Find(id, nullptr); }
    // The status line (slot 8) of that peripheral; nothing when it is not live.
    void PrintPeripheralStatus(uint16_t id);
    pl_mediator& Registry() { return registry_; }

    static const char* IdToName(uint16_t id) { return periph_id_to_name(id); }
    static uint8_t IdToClass(uint16_t id) { return periph_id_to_class(id); }
    static uint16_t NameToId(const char* name) { return periph_name_to_id(name); }

    // Spreads the polls of a new temperature, light or humidity sensor that
    // would share its pass with a live sensor of the same CAN id nibble
    // (called by the factories right after the sensor's Init).
    void StaggerSensorPolls(CPeripheral* peripheral, unsigned depth);

  private:
    struct LetterAction {
        uint32_t code;
        void (CPeripheralTask::*handle)(const letter_s& letter);
    };
    static const LetterAction LETTER_ACTIONS[];

    bool CreateFixedPeripheral(uint16_t id, const char* parameters);
    void PostRestartRequest();
    void KeepPortSpeed();
    void PollPeripherals();
    void RecordPeripheralStatus(uint16_t list_slot, uint8_t error_code);
    void UpdateCommErrorStatus();
    struct CommErrorWatch {
        uint8_t class_code;
        uint16_t excepted_id;
    };
    static const CommErrorWatch COMM_ERROR_WATCHES[];
    static bool CommErrorWatched(uint8_t class_code, uint16_t id);

    void OnControlledReset(const letter_s& letter);
    void OnConfigChanged(const letter_s& letter);
    void OnConfigWriterHold(const letter_s& letter);
    void OnConfigWriterRelease(const letter_s& letter);
    void OnEthernetAddressChanged(const letter_s& letter);
    void OnNetworkConfigChanged(const letter_s& letter);
    void OnLocalTimeDifferential(const letter_s& letter);
    void OnStandardTimeZone(const letter_s& letter);
    void OnLampTest(const letter_s& letter);
    void OnShutOffTemperature(const letter_s& letter);
    // Rewrites "monrc", prints `text` and asks for the controlled restart.
    void RewriteMonrcAndRestart(const char* text);

    pl_factory factories_;
    pl_mediator registry_;
    bool restart_request_seen_ = false; // the dmsSWReset letter goes out once per run
};

CPeripheralTask& ThePeripheralTask();
