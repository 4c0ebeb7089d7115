// CClimateControl: what the peripheral task asks of the sign's fans and
// heaters. Eight demand sources each give a 5-bit demand (bit k asks for
// output channel k); the demands are ORed and each channel's override state
// (auto, forced on, forced off) decides its output; the outputs become five
// request bits of the task's flag word, which the fan and heater points
// (peripherals/io/climate_point.h) follow at their polls.
//
//   channel  demand bit  output              request bit  state codes (auto, on, off)
//   0        0x01        intake fans         0x800000     4, 5, 6
//   1        0x02        face fans           0x400000     7, 8, 9
//   2        0x04        pixel fans          0x200000     10, 11, 12
//   3        0x08        heater              0x80000      13, 14, 15
//   4        0x10        maintenance heater  0x40000      16, 17, 18
//
// The sources, called in this order: the operator's timed override (front
// panel output test: command 1 auto, 2 on, 3 off for a duration in seconds),
// the burn-in test patterns (halvObj1_1 25, 30, 31: everything on, flag-word
// bit 0x100000), the sign-housing temperature (cooling above the start
// threshold, heating below 5 C until 8 C), the humidity of the sign (heating
// from 95 % until below 91 %), the customer's fan objects (zuduzFanControl1
// and 2: a request runs for 180 s from its last change, then both read 2
// again), the NTCIP fan test (fanTestActivation 3 marks every fan row of the
// climate table for its self test until the fans end them), the maintenance
// heater (halvObj2_20, at most 57600 update calls a request), and one that
// never asks for anything.
//
// After a re-initialisation (at start and after every reload of the
// peripheral list) the first 24 update calls leave the request bits clear;
// the counts here are update calls, one or two a pass of the task.
//
// Everything runs on the peripheral task's thread, the front panel's output
// test screens included.
#pragma once

#include <atomic>
#include <cstdint>

class CClimateControl {
  public:
    static constexpr unsigned CHANNELS = 5;
    static constexpr unsigned SOURCES = 8;
    static constexpr uint8_t WARM_UP_CALLS = 24;
    enum : uint8_t { COMMAND_AUTO = 1, COMMAND_ON = 2, COMMAND_OFF = 3 };
    enum : uint8_t { CHANNEL_AUTO = 0, CHANNEL_ON = 1, CHANNEL_OFF = 2 };
    enum : uint8_t {
        DEMAND_INTAKE = 0x01,
        DEMAND_FACE = 0x02,
        DEMAND_PIXEL = 0x04,
        DEMAND_HEATER = 0x08,
        DEMAND_MAINTENANCE_HEATER = 0x10,
    };
    // The flag-word bits written here.
    static constexpr uint32_t REQUEST_BITS = 0x800000 | 0x400000 | 0x200000 | 0x80000 | 0x40000;
    static constexpr uint32_t FLAG_BURN_IN = 0x100000;

    explicit CClimateControl(std::atomic<uint32_t>& flag_word);

    // One update call; with `reinitialise` every source starts again.
    void UpdateClimateOutputs(bool reinitialise);
    void ClimateStep() { UpdateClimateOutputs(false); }
    // A customer fan request is pending (a second update call in a pass
    // without housing temperatures).
    static bool CustomerRequestActive();

    // The front panel's output test: command 1 auto, 2 on, 3 off, for
    // `seconds` (channels 0-4; anything else is ignored).
    void SetTimedCommand(unsigned channel, uint8_t command, uint32_t seconds);
    uint8_t TimedCommand(unsigned channel) const;
    uint32_t TimedDuration(unsigned channel) const;
    // CHANNEL_AUTO, _ON or _OFF, and the same as the state code 4-18.
    uint8_t ChannelState(unsigned channel) const;
    uint8_t ChannelStateCode(unsigned channel) const;
    uint8_t UpdateCount() const { return update_count_; }
    // The maintenance heater's remaining budget (update calls).
    uint16_t MaintenanceBudget() const { return heater_budget_; }

  private:
    using Source = uint8_t (CClimateControl::*)(bool reinitialise);
    static const Source SOURCE_ORDER[SOURCES];
    struct Transition;
    static const Transition TRANSITIONS[];

    uint8_t TimedOutputTest(bool reinitialise);
    uint8_t DiagnosticModeDemand(bool reinitialise);
    uint8_t TemperatureClimateControl(bool reinitialise);
    uint8_t HumidityClimateControl(bool reinitialise);
    uint8_t ZuduzFanDemand(bool reinitialise);
    uint8_t FanTestDemand(bool reinitialise);
    uint8_t MaintenanceHeaterDemand(bool reinitialise);
    uint8_t NoDemand(bool reinitialise);

    // The hysteresis sources (burn-in, temperature, humidity) share one
    // table of transitions {source, from, condition, demand, to, flags}.
    uint8_t FollowTransitions(uint8_t source, bool reinitialise);
    void TimedChannel(unsigned k, uint32_t now);
    void ResetCustomerRequest();
    void MaintenanceIdle(uint32_t m, int8_t housing_max);
    void MaintenanceHeating(uint32_t m, int8_t housing_max);
    void WriteRequestBits(uint32_t bits);

    std::atomic<uint32_t>& flags_;
    uint8_t update_count_ = 0;

    // Timed override per channel.
    uint8_t commands_[CHANNELS] = {COMMAND_AUTO, COMMAND_AUTO, COMMAND_AUTO, COMMAND_AUTO,
                                   COMMAND_AUTO};
    uint32_t durations_[CHANNELS] = {};
    uint32_t expiries_[CHANNELS] = {};
    uint8_t channel_states_[CHANNELS] = {};
    uint8_t timed_demand_ = 0;

    // The hysteresis sources: state and demand, by source number.
    uint8_t hysteresis_state_[3] = {};
    uint8_t hysteresis_demand_[3] = {};

    uint8_t customer_state_ = 0;
    uint8_t customer_demand_ = 0;
    uint32_t customer_expiry_ = 0;

    uint8_t fan_test_state_ = 0;
    uint8_t fan_test_demand_ = 0;

    uint8_t heater_state_ = 1; // the maintenance heater's: 1 start
    uint8_t heater_demand_ = 0;
    uint8_t heater_start_count_ = 0;
    uint16_t heater_budget_ = 0;
};
