// COutputPoint: a point peripheral that drives one output point of a DC I/O
// board (a beacon lamp, a general-purpose output): the board joined, an
// output set of the point, a digital output row of the auxiliary I/O table
// named after the peripheral. Its poll copies the board's state first.
#pragma once

#include "peripherals/io/point_peripheral.h"

#include <cstdint>

class COutputPoint : public CPointPeripheral {
  protected:
    using CPointPeripheral::CPointPeripheral;

    // The board with that id, an output set of the points in `point_mask`
    // (bit b = point 24 + b), the output row. -> false (INIT ERROR) when
    // any is refused.
    bool InitOutputs(uint32_t board_id, uint32_t point_mask);
    // One DC I/O point (24-55).
    bool InitOutput(uint32_t board_id, uint32_t point);
    // The board's state becomes this peripheral's (COMM ERROR when it is gone).
    void FollowBoardState();
};
