// CPeripheralTask: the "Peripheral" task (priority 2, a pass every 50 ticks).
// It owns the factory list and the live peripheral registry, creates the
// fixed peripherals and loads the stored peripheral list when its thread
// starts and, in every pass: posts the restart letter that a write of
// dmsSWReset asks for (once per run), keeps the first serial port at a speed
// the port knows, reloads the stored list after a finished edit, serves its
// letters (one table, LETTER_ACTIONS), takes one step of CAN auto-detection,
// then polls every enabled peripheral that is due and records its status,
// and derives the sign's temperatures, over-temperature protection and
// photocell level from the sensors (CSignTemperatures) and the climate
// outputs (CClimateControl: a second update in a pass with a housing
// temperature or a customer fan request; a re-initialisation at start and
// after each reload of the list).
//
// The front panel (peripheral 70) is reached through CFrontPanelPeripheral;
// its actions are skipped while it is not live. Letter 87 (the shut-off
// temperature changed) is forwarded through the letter slot to the sign
// housing's temperature sensors 13-15, which take up their new limits there.
#pragma once

#include "peripherals/auto_detect.h"
#include "peripherals/climate.h"
#include "peripherals/factory.h"
#include "peripherals/pl_iterator.h"
#include "peripherals/pl_mediator.h"
#include "peripherals/sign_temperatures.h"
#include "runtime/mail_task.h"

#include <atomic>

class CFrontPanelPeripheral;

class CPeripheralTask : public CMailTask {
  public:
    // Bits of the flag word (the top byte is the power state).
    enum : uint32_t {
        FLAG_INTAKE_FANS = 0x800000,
        FLAG_FACE_FANS = 0x400000,
        FLAG_PIXEL_FANS = 0x200000,
        FLAG_BURN_IN = 0x100000,
        FLAG_HEATER = 0x80000,
        FLAG_MAINTENANCE_HEATER = 0x40000,
        FLAG_SHUTDOWN = 0x20000,
    };
    enum : uint8_t { POWER_RUNNING = 1, POWER_SHUTDOWN = 2 };
    enum : uint8_t { DETECT_IDLE = 1, DETECT_START = 2, DETECT_PROBING = 3, DETECT_COLLECT = 4 };
    static constexpr unsigned DETECTORS = 3;

    explicit CPeripheralTask(post_office& office);
    // The factories, the registry, the fixed peripherals and the stored list,
    // on the task's thread.
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
    // 4 "CAN Control Panel Driver", 8 "J6 CONTROLLER BUS", else "CAN J6 Driver".
    static const char* BusNameFromCode(uint8_t bus_code);

    // Spreads the polls of a new temperature, light or humidity sensor that
    // would share its pass with a live sensor of the same CAN id nibble
    // (called by the factories right after the sensor's Init).
    void StaggerSensorPolls(CPeripheral* peripheral, unsigned depth);
    // The error code of a poll into the slot's halvPeripheralStatus (not for
    // fixed peripherals), then the communication-error bit.
    void RecordPeripheralStatus(uint16_t id, uint16_t list_slot, uint8_t error_code);
    // Bit 0x0008 of shortErrorStatus: set while a monitored board is in
    // communication error.
    void UpdateCommErrorStatus();
    // Enable / disable every list-created peripheral (the fixed ones keep).
    void EnableAll();
    void DisableAll();
    // Unload, load the stored list, count the list-created peripherals.
    void LoadPeripherals();

    // General-purpose-output request word: bit n-1 asks for output n (n 1-32;
    // the word keeps outputs 1-16). Display task; no lock.
    void SetGpoRequest(uint32_t n);
    void ClearGpoRequest(uint32_t n);
    uint16_t GpoRequest() const { return gpo_request_; }
    uint32_t FlagWord() const { return flags_word_; }
    uint8_t AutoDetectState() const { return detect_state_; }
    // Sign temperatures, over-temperature protection and photocell level.
    CSignTemperatures& SignTemperatures() { return temperatures_; }
    // The fans' and heaters' demands and request bits (flag word).
    CClimateControl& Climate() { return climate_; }

  private:
    struct LetterAction {
        uint32_t code;
        void (CPeripheralTask::*handle)(const letter_s& letter);
    };
    static const LetterAction LETTER_ACTIONS[];

    bool CreateFixedPeripheral(uint16_t id, const char* parameters);
    void PostRestartRequest();
    void KeepPortSpeed();
    void ProcessDatabaseFlags();
    void PollPeripherals();
    void AutoDetect();
    void StartDetection();
    void CollectDetection();
    // The live front-panel manager, or null.
    CFrontPanelPeripheral* Panel();
    void PanelAction(void (CFrontPanelPeripheral::*action)());
    void SetAllEnabled(uint8_t flag, bool list_created_only, uint16_t except_id);
    void ShowStopReason();
    void StopFor(uint8_t reason);

    void OnNothing(const letter_s& letter);
    void OnPanelHold(const letter_s& letter);
    void OnRestartRequested(const letter_s& letter);
    void OnPowerLoss(const letter_s& letter);
    void OnShutdown(const letter_s& letter);
    void OnModemEvent(const letter_s& letter);
    void OnShutoffTemperature(const letter_s& letter);
    void OnCommunicationStarted(const letter_s& letter);
    void OnBusyMark(const letter_s& letter);
    void OnPixelTest(const letter_s& letter);
    void OnPeripheralsEnable(const letter_s& letter);
    void OnPeripheralStatus(const letter_s& letter);
    void OnAutoDetect(const letter_s& letter);
    void OnFileStored(const letter_s& letter);
    void OnForwardToPeripheral(const letter_s& letter);
    void OnForwardToClass(const letter_s& letter);
    void OnControlledReset(const letter_s& letter);
    void OnConfigChanged(const letter_s& letter);
    void OnConfigWriterHold(const letter_s& letter);
    void OnConfigWriterRelease(const letter_s& letter);
    void OnEthernetAddressChanged(const letter_s& letter);
    void OnNetworkConfigChanged(const letter_s& letter);
    void OnLocalTimeDifferential(const letter_s& letter);
    void OnStandardTimeZone(const letter_s& letter);
    void OnLampTest(const letter_s& letter);
    // Rewrites "monrc", prints `text` and asks for the controlled restart.
    void RewriteMonrcAndRestart(const char* text);

    pl_factory factories_;
    pl_mediator registry_;
    pl_iterator load_cursor_;
    CSignTemperatures temperatures_;
    std::atomic<uint32_t> flags_word_{0};
    CClimateControl climate_{flags_word_};
    std::atomic<uint16_t> gpo_request_{0};
    uint8_t detect_state_ = DETECT_IDLE;
    CPeripheralDetector* detectors_[DETECTORS] = {};
    uint8_t stop_reason_ = 0;
    uint8_t panel_hold_ = 0;            // bits 0 and 1, letters 1-4
    bool panel_hold_letter_ = false;    // one of letters 1-4 came in this pass
    bool restart_request_seen_ = false; // the dmsSWReset letter goes out once per run
    // Between the pixel test's start and end letters a list reload waits: the
    // test uses the pixel test boards all along.
    bool pixel_test_running_ = false;
    bool reload_waiting_ = false;
};

CPeripheralTask& ThePeripheralTask();
