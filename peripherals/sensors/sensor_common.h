// What the CAN sensors share beyond the CAN-board base.
//
// The analog input row a sensor keeps in the auxiliary I/O table: a listed
// sensor takes the row kept for its list slot (a new one the first
// time) and keeps it there, so that its input keeps its row across restarts.
#pragma once

#include "runtime/peripheral.h"

#include <cstdint>

// An input row of `port_type` (2 analog, 3 digital). -> false when the table
// refused the row (`*row` unchanged).
bool register_sensor_aux_row(CPeripheral& sensor, uint8_t resolution, const char* name, int* row,
                             uint8_t port_type = 2);

// A sensor's creation values (CAN identifier, bus code, channel); a refused
// creation string is reported on the console. -> false when refused.
bool sensor_board_values(const PeripheralRecord& record, const PeripheralParameters& values,
                         uint32_t* can_id, uint8_t* bus_code, uint8_t* channel);
