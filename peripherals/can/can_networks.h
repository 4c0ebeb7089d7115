// The sign's CAN networks: the core, the controller board's driver, the
// stand-in driver of the remote control panel's network, the three buses and
// the bus codes that name them. The objects live for the whole program.
//
// Bus codes: 1 and 2 the local sensor network ("CAN J6 Driver"; boards with
// code 2 also ask for the driver to be initialised again when they fall
// silent), 4 the control panel's network ("CAN Control Panel Driver"), 8 the
// controller network ("J6 CONTROLLER BUS"); any other code the local one.
#pragma once

#include "peripherals/can/can_core.h"
#include "peripherals/can/can_j6_driver.h"

#include <cstdint>

extern const char* const CAN_BUS_LOCAL;      // "CAN J6 Driver"
extern const char* const CAN_BUS_PANEL;      // "CAN Control Panel Driver"
extern const char* const CAN_BUS_CONTROLLER; // "J6 CONTROLLER BUS"

const uint8_t CAN_CODE_LOCAL = 1;
const uint8_t CAN_CODE_LOCAL_REINIT = 2; // the bit that asks for reinitialisation
const uint8_t CAN_CODE_PANEL = 4;
const uint8_t CAN_CODE_CONTROLLER = 8;

// The bus name of a bus code.
const char* can_bus_name_from_code(uint8_t code);

can_core& the_can_core();
CCANJ6Driver& the_can_j6_driver();
// The driver of the control panel's network: the front panel's CAN tunnel
// once installed, else a stand-in that refuses every send.
can_driver& the_panel_can_driver();
// Installs the panel network's driver (the front panel's tunnel, a layer
// above); it takes effect when the buses are registered. Null restores the
// stand-in.
void can_set_panel_driver(can_driver* driver);
can_bus& the_local_can_bus();
can_bus& the_panel_can_bus();
can_bus& the_controller_can_bus();

// Names each bus, attaches it to its driver and registers it with the core,
// in the order local, panel, controller. Once per program run; later calls
// do nothing.
void can_register_buses();
