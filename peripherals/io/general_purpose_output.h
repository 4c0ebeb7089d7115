// CGeneralPurposeOutput: one output point of a DC I/O board that messages
// switch (ids 660-669, "GP OUTPUT01" to "GP OUTPUT10", class 0x13). The
// display task sets and clears bits of the peripheral task's general-purpose
// output request word as it renders messages; output n (id 659 + n) follows
// bit n - 1 at its next poll. Its auxiliary I/O row (value and last command)
// shows the point as the board last reported it, so it reads 0 until the
// board confirms the output. Creation string: the point (24-55), the board's
// peripheral id; a board that is not live creates nothing.
#pragma once

#include "peripherals/io/output_point.h"

#include <cstdint>

class CGeneralPurposeOutput : public COutputPoint {
  public:
    static constexpr uint16_t FIRST_ID = 660;

    CGeneralPurposeOutput(uint16_t id, uint32_t point, uint32_t board_id);
    bool Init() override;
    void Poll() override;

    void SetOutput(bool on);
    bool IsCommandedOn() const { return commanded_on_ != 0; }

  private:
    uint32_t point_, board_id_;
    uint8_t commanded_on_ = 0;
};
