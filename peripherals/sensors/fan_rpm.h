// CFanRPM: a fan-speed sensor, a CAN board that measures one intake fan
// (ids 730-745, "RPM SENSOR 01" to "RPM SENSOR 16"; even ids the first fan
// of a primary/secondary pair, odd ids the second). It runs the intake fan
// and filter diagnostics:
// - while the intake fan control (510) has its fan on and this sensor's fan
//   is the one running (a pair runs one fan at a time), a speed below
//   1000 RPM for more than ten readings in a row is a fan failure: its bit of
//   fanFailures (trap 15 on the first failure), 0x0400 and its row of the
//   climate-control table; 1000 RPM or more clears it;
// - a test request on its row (test activation 3) runs a diagnostic of
//   180 s whose result is the row's verdict (of a pair, one sensor at a time);
//   while the fan power sense (749) reports the fans switched by hand, the
//   request is answered "CLIMATE CONTROL IS NOT ELECTRONICALLY CONTROLLED".
//
// Requests: ten reads, then an identify, repeating. A sensor silent for 80
// polls is in COMM ERROR with speed 0 and auxiliary value 1 (not a fan
// failure); the driver is set up again at 20, 40 and 60 silent polls.
#pragma once

#include "peripherals/can/can_board.h"
#include "peripherals/peripheral_ids.h"

#include <cstdint>

class CClimatePoint;
using CFanIO = CClimatePoint;

class CFanRPM : public CCanBoard {
  public:
    enum : uint8_t { DIAGNOSTIC_IDLE = 2, DIAGNOSTIC_RUNNING = 3, DIAGNOSTIC_DONE = 4 };
    static constexpr uint16_t LOW_SPEED = 1000;
    static constexpr uint8_t LOW_READINGS = 10;
    static constexpr uint32_t DIAGNOSTIC_SECONDS = 180;
    static constexpr uint8_t IDENTIFY_EVERY = 10;
    static constexpr uint16_t INTAKE_FAN = 510, POWER_SENSE = 749;
    static constexpr uint16_t FIRST_ID = 730;

    CFanRPM(uint16_t id, uint8_t bus_code, uint32_t can_id, uint8_t channel);
    ~CFanRPM() override;

    bool Init() override;
    void Poll() override;
    uint32_t BusCode() const override { return 0; }

    uint8_t GetDiagnosticState() const { return diagnostic_state_; }
    uint16_t Speed() const { return speed_; }
    uint16_t BoardValue() const { return board_value_; }
    bool FailureReported() const { return failure_reported_ != 0; }
    bool Monitored() const { return monitored_ != 0; }
    uint8_t LowSpeedCountdown() const { return low_countdown_; }
    int32_t ClimateRow() const { return climate_row_; }
    int32_t FanBit() const { return fan_bit_; }
    int AuxRow() const { return aux_row_; }

    static const char* IdToName(uint16_t id) { return periph_id_to_name(id); }
    static uint16_t NameToId(const char* name) { return periph_name_to_id(name); }

  protected:
    void OnReply(const can_packet& reply) override;
    void OnSilenceLimit() override;

  private:
    void OnReading();
    void ReadPowerSense();
    void Diagnose(CFanIO& fan);
    void EndDiagnostic();
    bool MayStartDiagnostic(CFanIO& fan);
    void FollowFan(const CFanIO& fan);
    void CountSpeed(bool report);
    bool FirstOfPair() const { return (Id() - FIRST_ID) % 2 == 0; }
    void AnswerTest(uint8_t activation, const char* result);

    uint8_t failure_reported_ = 0;
    int aux_row_ = -1;
    uint16_t board_value_ = 0;
    uint16_t speed_ = 0;
    uint8_t request_counter_ = IDENTIFY_EVERY;
    uint8_t monitored_ = 0;
    uint8_t low_countdown_ = LOW_READINGS;
    int32_t climate_row_ = NO_ROW;
    int32_t fan_bit_ = NO_ROW;
    uint8_t diagnostic_state_ = DIAGNOSTIC_IDLE;
    uint32_t deadline_ = 0;
    uint8_t last_result_ = 0; // 0 passed, 1 failed
};
