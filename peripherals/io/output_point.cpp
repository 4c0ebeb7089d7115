// Output points (see output_point.h).
#include "peripherals/io/output_point.h"

bool COutputPoint::InitOutputs(uint32_t board_id, uint32_t point_mask) {
    return AttachBoard(board_id) && RegisterPoints(point_mask, 1) != 0 &&
           ClaimAuxRow(0, AUX_DIGITAL, AUX_OUTPUT, 1);
}

bool COutputPoint::InitOutput(uint32_t board_id, uint32_t point) {
    uint32_t mask = 0;
    dcio_point_mask(point, mask, true);
    return InitOutputs(board_id, mask);
}

void COutputPoint::FollowBoardState() {
    io_board* board = Bridge().Board();
    m_byState = board != nullptr ? board->BoardPeripheral().State() : uint8_t(STATE_COMM_ERROR);
}
