// CCanIOBoard: what the CAN I/O boards (DC I/O and AC I/O) share: the images
// a bridge reads and writes, the claimed points, the listening bridges and
// the start of every reply (the board was heard).
#pragma once

#include "peripherals/can/can_board.h"
#include "peripherals/io/bridge.h"

#include <cstdint>

class CCanIOBoard : public CCanBoard, public io_board {
  public:
    static constexpr unsigned LISTENERS = 255;

    CCanIOBoard(uint8_t class_code, uint16_t id, uint8_t bus_code, uint32_t can_id, uint8_t channel)
        : CCanBoard(class_code, id, bus_code, can_id, channel) {}
    // The listeners' bridges let go of the board.
    ~CCanIOBoard() override { listeners_.LetGo(); }

    // io_board
    CPeripheral& BoardPeripheral() override { return *this; }
    const uint8_t* InputImage() const override { return last_input_.data; }
    const uint8_t* Directions() const override { return direction_map_; }
    uint8_t* OutputImage() override { return output_; }
    void MarkOutputsChanged() override { outputs_changed_ = 1; }
    uint8_t* ClaimedPoints() override { return claimed_; }
    void AddListener(io_bridge* bridge) override { listeners_.Add(bridge); }
    void RemoveListener(io_bridge* bridge) override { listeners_.Remove(bridge); }
    bool InputValid() const override { return input_valid_ != 0; }

  protected:
    // Every reply: the board is heard, its reinitialisations start again,
    // and a board not yet valid has answered at least once.
    void Heard() {
        silence_.Heard();
        reinits_ = 0;
        if (m_byState != STATE_VALID) m_byState = STATE_READING2;
    }

    can_packet last_input_;
    uint8_t reinits_ = 0;
    uint8_t direction_map_[IO_IMAGE_BYTES] = {};
    uint8_t output_[IO_IMAGE_BYTES] = {};
    uint8_t claimed_[IO_IMAGE_BYTES] = {};
    io_listener_table<LISTENERS> listeners_;
    uint8_t input_valid_ = 0;
    uint8_t outputs_changed_ = 0;
};
