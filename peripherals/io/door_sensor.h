// CDoorSensor: one cabinet door contact on an input point of a DC I/O board,
// made while the door is shut. It keeps the door's bit of dmsStatDoorOpen,
// the door bit of shortErrorStatus (set while any door is open) and of the
// customer status word, mirrors the contact into its auxiliary I/O row, and
// raises trap 3 when a door opens. A board that stops answering counts as an
// open door (without a trap) until a report shows the door shut.
//
// Ids 30-37 ("DOOR SWITCH 1" to 8). Creation string: the point (24-55), the
// board's peripheral id. Door numbers follow the order of construction: the
// n-th live door sensor at its Init is door n (bit n - 1 of dmsStatDoorOpen).
#pragma once

#include "peripherals/io/point_peripheral.h"

#include <cstdint>

class CDoorSensor : public CPointPeripheral {
  public:
    enum : uint8_t { DOOR_CLOSED = 1, DOOR_OPEN = 2, DOOR_UNKNOWN = 3 };
    static constexpr uint32_t TRAP_DOOR_OPEN = 3;
    static constexpr uint32_t SHORT_ERROR_DOOR_OPEN = 0x2000;
    static constexpr uint32_t STATUS_WORD_DOOR_OPEN = 0x2;

    CDoorSensor(uint16_t id, uint32_t point, uint32_t board_id);
    ~CDoorSensor() override;

    bool Init() override;
    void Poll() override;
    // An input report of the board (peripheral task).
    void OnEvent(uint32_t) override;

    uint8_t DoorState() const { return door_state_; }
    uint8_t DoorNumber() const { return door_number_; }
    static uint8_t Count() { return count_; }

  private:
    uint32_t DoorBit() const;
    void Opened();
    void Closed();

    static uint8_t count_;
    uint32_t point_, board_id_;
    uint8_t door_state_ = DOOR_UNKNOWN;
    uint8_t door_number_ = 0;
};
