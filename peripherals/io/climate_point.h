// CClimatePoint: the sign's fans and heaters, each switched by an output
// point of a DC I/O board and each watched, when wired so, by an input point
// whose contact is made (reads 0) while the device runs. CFanIO (intake,
// pixel and face fans) and CHeaterIO (heater, maintenance heater) are this
// one class; a row of KINDS says how a fan and a heater differ (texts,
// failure reporting, the fan-status object, the primary/secondary pair) and
// a row of OUTPUTS what each control id drives (its request bit of the
// peripheral task's flag word and its climate-control row type).
//
// Two roles, by id:
// - a control point (510, 518, 526: fans; 534, 542: heaters) follows its
//   request bit, owns a row of the NTCIP climate-control table (from its
//   first set-up, 10 polls after creation) and runs the row's self test of
//   180 s when the row's test activation is 3. An intake fan registers no row
//   while a flow sensor (710-719, 850-863) is live, and marks its row "FANS
//   NOT MONITORED" while its status point is missing. With bit 0x10 of
//   halvSpecialFeatureSet a fan control drives a primary fan on its point
//   and a secondary on the next, one at a time, taking turns every 28,800
//   polls (120 while the burn-in flag is set); both run during a test.
// - a status point (the control's id + 4) judges, once its control has
//   settled (10 polls after each switch, 100 after creation or a test),
//   whether the device does what it was told, and writes the verdict into
//   the control's row: fans through their fan-failure bit (trap 15 on the
//   first failure), heaters through the row alone.
//
// Creation string: the point (24-55), the DC I/O board's peripheral id.
// Everything runs on the peripheral task's thread.
#pragma once

#include "peripherals/io/point_peripheral.h"

#include <cstdint>

// How a fan and a heater differ.
struct climate_point_kind {
    const char* passed;
    const char* failed;
    uint8_t control_class, status_class;
    bool fan; // fan-failure bit, zuduzFanStatus1, the pair feature, aux 0 in COMM ERROR,
              // no point made without its board
};

// What a control id drives (its status is the id + 4).
struct climate_output {
    uint16_t first_id, last_id;
    const climate_point_kind* kind;
    uint32_t request_bit; // in the peripheral task's flag word
    uint8_t row_type;     // climateCtrlType of its row
    bool intake;          // no row beside a flow sensor; "FANS NOT MONITORED"
};

class CClimatePoint : public CPointPeripheral {
  public:
    enum : uint8_t { TEST_IDLE = 2, TEST_RUNNING = 3, TEST_DONE = 4 };
    enum : uint8_t { SELECT_PRIMARY = 0, SELECT_SECONDARY = 1, SELECT_BOTH = 2 };
    static constexpr uint8_t STARTUP_POLLS = 10;
    static constexpr uint8_t SETTLE_AFTER_SWITCH = 10, SETTLE_AFTER_TEST = 100;
    static constexpr uint32_t TEST_SECONDS = 180;
    static constexpr uint16_t ALTERNATE_POLLS = 28800, ALTERNATE_POLLS_BURN_IN = 120;
    static constexpr uint8_t STATUS_RETRIES = 3;
    static constexpr uint32_t FEATURE_FAN_PAIRS = 0x10; // halvSpecialFeatureSet

    // The row of `id` as a control, or its status's control (null: neither).
    static const climate_output* OutputOf(uint16_t id, bool* is_control);
    // The class code of an id: a control's or a status's class of its kind.
    static uint8_t ClassOf(uint16_t id);

    CClimatePoint(uint16_t id, uint32_t point, uint32_t board_id);
    ~CClimatePoint() override;

    bool Init() override;
    void Poll() override;

    // Control points: switch the device (and the fan pair) on or off.
    void Switch(bool on);
    bool IsControl() const { return control_; }
    bool IsFan() const { return kind_->fan; }
    bool IsCommandedOn() const { return commanded_on_ != 0; }
    // The point as the board reports it (a pair: either fan).
    bool IsOn() const;
    bool IsSettled() const { return settle_ == 0; }
    int32_t GetClimateRow() const { return climate_row_; }
    int32_t MonitoredRow() const { return monitored_row_; }
    int32_t FanBit() const { return fan_bit_; }
    uint8_t TestState() const { return test_state_; }
    uint32_t TestEnd() const { return test_end_; }
    uint8_t Verdict() const { return verdict_; }
    // The primary/secondary selector (the fan-speed sensors set it).
    uint8_t FanSelection() const { return selection_; }
    void SetFanSelection(uint8_t selection) { selection_ = selection; }
    uint16_t AlternationCountdown() const { return alternation_; }
    bool DrivesPair() const { return pair_; }

  private:
    bool Configure();
    bool ConfigurationError();
    void FirstSetUp();
    void SetUpControlRow();
    void SetUpStatus();
    void OnBoardCommError();
    void PollControl();
    void PollStatus();
    void JudgeRunning();
    void ReportVerdict();
    void ReportFailure(int32_t row, const char* text);
    void ClearFailure(int32_t row, const char* text);
    CClimatePoint* Partner() const;
    uint32_t PointValue(bool on);

    const climate_output* output_;
    const climate_point_kind* kind_;
    bool control_;
    uint32_t point_, board_id_;
    uint8_t settle_ = SETTLE_AFTER_TEST;
    uint8_t startup_delay_ = STARTUP_POLLS;
    uint8_t verdict_ = 1;
    uint8_t selection_ = SELECT_PRIMARY;
    uint16_t alternation_ = 0;
    int32_t fan_bit_ = NO_ROW;
    int32_t climate_row_ = NO_ROW;
    int32_t monitored_row_ = NO_ROW;
    uint8_t test_state_ = TEST_IDLE;
    uint32_t test_end_ = 0;
    uint8_t commanded_on_ = 0;
    uint32_t serial_ = 0;
    uint8_t retries_ = 0;
    bool pair_ = false;
};

// The sign's names for the two kinds.
using CFanIO = CClimatePoint;
using CHeaterIO = CClimatePoint;
