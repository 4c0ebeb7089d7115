// The peripherals' road to the sign: rows of the display's activation
// requests (activationRequestState, activationRequestSource and
// activationRequestCode). The overheight detectors use rows 0 and 1, the
// over-temperature protection row 2, the switches row 6; the display task
// activates the lowest row whose code is not all zero.
//
// One writer serves them all: it writes the state and source bytes of the
// row and then the 12 code bytes, each with notification, so that the last
// write wakes the display task. A withdrawal writes 12 zero bytes.
#pragma once

#include <cstdint>

enum : uint8_t {
    ACTIVATION_ROW_OVERHEIGHT1 = 0,
    ACTIVATION_ROW_OVERHEIGHT2 = 1,
    ACTIVATION_ROW_OVER_TEMPERATURE = 2,
    ACTIVATION_ROW_SWITCHES = 6,
};
const uint32_t ACTIVATION_CODE_BYTES = 12;

// Requests the 12-byte `code` in `row`. -> false (nothing written) for a row
// outside the table or a null code.
bool write_activation_row(uint8_t row, const uint8_t* code, uint8_t state, uint8_t source);
// Withdraws the request of `row`. -> false for a row outside the table.
bool clear_activation_row(uint8_t row);
// True while `row` holds a request (12 bytes, not all zero).
bool activation_row_occupied(uint8_t row);
