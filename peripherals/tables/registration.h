// The registration tables: the NTCIP tables whose rows peripherals claim in
// Init and give back in their destructors (climate control, photocell,
// humidity, temperature), the fan-failure bits and the auxiliary I/O ports.
// The operations are members of CPeripheral (runtime/peripheral.h); this
// header gives the tables' sizes and the module state for tests.
#pragma once

#include "runtime/peripheral.h"

#include <cstdint>

const unsigned AUX_IO_ROWS = 136;
const unsigned AUX_IO_FIRST_ANALOG_ROW = 112;
const unsigned CLIMATE_ROWS = 32;
const unsigned PHOTOCELL_ROWS = 6;
const unsigned HUMIDITY_ROWS = 6;
const unsigned TEMPERATURE_ROWS = 6;
const unsigned FAN_BITS = 64;

// The enterprise-specific trap of the first fan failure.
const uint32_t TRAP_FAN_FAILURE = 15;

// Back to the state of a fresh start: fixed auxiliary-I/O phase, next fixed
// rows 0 and 112, no fan bits out (the tables themselves are the store's).
void registration_reset();
void aux_io_reset(); // the auxiliary-I/O part of it
