// CTemperature: one temperature sensor, a board on a CAN network (or, for the
// controller board's own sensor, the boot monitor's reading). It keeps its row
// of the temperature sensor table current (reading, status, thresholds, the
// failure, warning and critical maps), mirrors the reading into an analog
// auxiliary I/O row, and raises warnings and critical states against
// thresholds derived from the shut-off temperature halvShutOffTemp.
//
// Three repeating timers watch it: every 120 s an identify request is due,
// every 100 s without a frame (bus code 2 only) the controller's driver is
// initialised again, and after 400 s without a frame the sensor is in COMM
// ERROR with reading 0. Every frame restarts the last two. The timers only
// raise flags; the poll, on the peripheral task's thread, acts on them.
#pragma once

#include "peripherals/can/can_board.h"
#include "peripherals/peripheral_ids.h"
#include "peripherals/peripheral_event.h"
#include "runtime/timer_scheduler.h"

#include <cstdint>

// The sensors by id.
enum : uint16_t {
    TEMP_CONTROLLER = 10, // the controller board (readings from the boot monitor)
    TEMP_CABINET = 11,
    TEMP_AMBIENT = 12,
    TEMP_SIGN1 = 13,
    TEMP_SIGN2 = 14,
    TEMP_SIGN3 = 15,
    TEMP_SIGN_MODULES = 16, // named only: no class builds it
};

class CTemperature : public CCanBoard {
  public:
    // Timer arguments and periods (ticks).
    enum : uint32_t { TIMER_IDENTIFY = 0, TIMER_RECOVERY = 1, TIMER_SILENCE = 2 };
    static constexpr uint32_t IDENTIFY_PERIOD = 12000;
    static constexpr uint32_t RECOVERY_PERIOD = 10000;
    static constexpr uint32_t SILENCE_PERIOD = 40000;
    static constexpr uint16_t POLL_PERIOD = 10;
    static constexpr unsigned TABLE_ROWS = 6;

    CTemperature(uint16_t id, uint8_t bus_code, uint32_t can_id, uint8_t channel);
    // Removes the timers, the table row and the auxiliary row (the base
    // unregisters the device).
    ~CTemperature() override;

    bool Init() override;
    void Poll() override;
    // Timer context: only raises flags for the poll.
    void OnTimer(uint32_t argument) override;
    // The core binds the device: the sensor identifies itself at once.
    void SetBus(can_bus* bus) override;
    uint32_t BusCode() const override { return 0; }
    // A change of the shut-off temperature (forwarded by the peripheral task).
    void ForwardLetter(const letter_s& letter) override;
    // Thresholds of the row from halvShutOffTemp (called when it changes).
    void UpdateShutOffLimits();

    int8_t Temperature() const { return temperature_; }
    int TableRow() const { return table_row_; }
    int AuxRow() const { return aux_row_; }

    static const char* IdToName(uint16_t id);
    static uint16_t NameToId(const char* name);

  protected:
    void OnReply(const can_packet& reply) override;

  private:
    void RegisterTableRow();
    void UnregisterTableRow();
    bool RegisterAuxRow();
    void AddTimers();
    void RestartSilenceTimers();
    void ServiceTimerFlags();
    void GoSilent();
    void TakeReading(int8_t degrees);
    void CheckThresholds();
    void ClearAlarms();
    // A board on a CAN network: it is asked for readings, and a listed one
    // keeps its auxiliary row in its list slot (the controller board's own
    // sensor and the named-only sign-modules sensor do neither).
    bool IsCanBoard() const { return Id() != TEMP_CONTROLLER && Id() != TEMP_SIGN_MODULES; }

    int8_t temperature_ = 0;
    int aux_row_ = -1;
    int table_row_ = -1;
    uint32_t timer_ids_[3] = {};
    uint8_t table_attempted_ = 0;
    volatile uint8_t identify_due_ = 0;
    volatile uint8_t silence_due_ = 0;
    // Active threshold checks: high warning, low warning, high critical, low critical.
    uint8_t alarm_active_[4] = {};
};

// The creation function of class 0x26 (peripherals/factory.h) takes the CAN
// identifier, bus code and channel of the creation string; a bus code 0
// becomes 4 for the cabinet sensor.
