// CLight: one light sensor of the sign, a board on a CAN network. The front
// sensor (LGHTFRONT) may instead be the controller's own light-to-frequency
// input: when no board answers its first five probe polls, it counts the
// input's pulses in windows of 25 ticks and averages the latest 120 windows.
//
// A board's '@' reply gives the raw reading (bytes 3-4) and the light level
// (bytes 5-6); boards of the line group (0x42010-0x4201F) are scaled by the
// percentage of halvObj2_37. The level goes into the sensor's photocell row
// and its analog auxiliary I/O row; the peripheral task takes the levels of
// sensors 1-3 for the photocell level that drives brightness.
//
// Silence (no reply, or no counted window) is watched by the CAN-board silence
// supervisor: the driver is set up again at 20, 40 and 60 silent polls (bus
// code bit 0x2, at most ten times in the sensor's life), and after 80 the
// sensor is in COMM ERROR with its readings 0, once per silence.
#pragma once

#include "peripherals/can/can_board.h"
#include "peripherals/peripheral_ids.h"
#include "platform/kernel/kernel.h"

#include <cstdint>

enum : uint16_t { LIGHT_AMBIENT = 1, LIGHT_FRONT = 2, LIGHT_REAR = 3 };

// The moving average of the frequency input: the mean of the latest
// CAPACITY window counts.
class frequency_average {
  public:
    static constexpr unsigned CAPACITY = 120;
    // Adds one window's count (its low 16 bits). -> the new average.
    uint16_t Add(uint32_t count);
    uint16_t Level() const { return level_; }
    unsigned Stored() const { return stored_; }
    void Clear();

  private:
    uint16_t samples_[CAPACITY] = {};
    unsigned stored_ = 0;
    unsigned oldest_ = 0;
    uint32_t sum_ = 0;
    uint16_t level_ = 0;
};

class CLight : public CCanBoard {
  public:
    enum : uint8_t { MODE_CAN_BOARD = 0, MODE_FREQUENCY = 1 };
    static constexpr uint8_t PROBE_POLLS = 5;
    static constexpr uint8_t IDENTIFY_EVERY = 10; // requests between identifies
    static constexpr uint32_t WINDOW_TICKS = 25;
    static constexpr uint16_t SILENCE_LIMIT = 80;

    CLight(uint16_t id, uint8_t bus_code, uint32_t can_id, uint8_t channel);
    // Stops the frequency input, removes the device and the rows.
    ~CLight() override;

    bool Init() override;
    void Poll() override;
    uint32_t BusCode() const override { return Channel(); }

    // The raw reading (front panel) and the light level (peripheral task).
    uint16_t GetReading() const { return reading_; }
    uint16_t GetLevel() const { return level_; }
    uint16_t BoardValue() const { return board_value_; }
    uint8_t Mode() const { return mode_; }
    bool ModeDecided() const { return mode_decided_ != 0; }
    int TableRow() const { return table_row_; }
    int AuxRow() const { return aux_row_; }
    const frequency_average& Average() const { return average_; }

    static const char* IdToName(uint16_t id);
    static uint16_t NameToId(const char* name);

  protected:
    void OnReply(const can_packet& reply) override;
    void OnSilenceLimit() override;

  private:
    bool RegisterAuxRow();
    void DecideMode();
    void PollBoard();
    void PollFrequencyInput();
    bool StartFrequencyInput();
    void StopFrequencyInput();
    void StartWindow();
    void WindowExpired();
    static void OnWindowTimer(ULONG input);
    void TakeLevel(uint16_t reading, uint16_t level);
    void RestoreRowStatus();

    frequency_average average_;
    TX_TIMER frequency_timer_ = {};
    uint8_t timer_created_ = 0;
    volatile uint8_t window_counted_ = 0;
    uint16_t reading_ = 0;
    uint16_t level_ = 0;
    uint16_t board_value_ = 0;
    int aux_row_ = -1;
    int table_row_ = -1;
    uint8_t mode_ = MODE_CAN_BOARD;
    uint8_t probes_left_ = PROBE_POLLS;
    uint8_t mode_decided_ = 0;
    uint8_t request_counter_ = IDENTIFY_EVERY;
};
