// Peripheral ids and class codes. Every peripheral of the sign is named by a
// 16-bit id; one table of id ranges says which class builds an id (its class
// code, 0 for ids that are only named) and how the id is named, so that the
// front panel, the console and the web pages show a peripheral by the same
// upper-case name an operator types back ("TEMPSIGN1", "DOOR SWITCH 1").
// periph_id_to_class, periph_id_to_name and periph_name_to_id (declared with
// the peripheral base in runtime/peripheral.h) are defined over that table.
#pragma once

#include "runtime/peripheral.h"

#include <cstdint>

// Class codes (the kind of class that builds an id).
enum : uint8_t {
    PERIPHERAL_CLASS_BEACON = 0x03,
    PERIPHERAL_CLASS_DCIO = 0x08,
    PERIPHERAL_CLASS_DOOR = 0x0A,
    PERIPHERAL_CLASS_FAN_CONTROL = 0x0B,
    PERIPHERAL_CLASS_FAN_STATUS = 0x0C,
    PERIPHERAL_CLASS_FAN_RPM = 0x0D,
    PERIPHERAL_CLASS_FILE_MANAGER = 0x11,
    PERIPHERAL_CLASS_GP_OUTPUT = 0x13,
    PERIPHERAL_CLASS_BEACON_IO = 0x14,
    PERIPHERAL_CLASS_HEATER_CONTROL = 0x15,
    PERIPHERAL_CLASS_HEATER_STATUS = 0x16,
    PERIPHERAL_CLASS_HUMIDITY = 0x17,
    PERIPHERAL_CLASS_IO_BASED = 0x18,
    PERIPHERAL_CLASS_LCD_MANAGER = 0x1A,
    PERIPHERAL_CLASS_LIGHT = 0x1B,
    PERIPHERAL_CLASS_MINI_DCIO = 0x1D,
    PERIPHERAL_CLASS_ACIO = 0x1E,        // created by its own function only
    PERIPHERAL_CLASS_AUX_IO_PORT = 0x1F, // created by its own function only
    PERIPHERAL_CLASS_MODEM = 0x20,
    PERIPHERAL_CLASS_OVERHEIGHT = 0x21,
    PERIPHERAL_CLASS_POWER_SUPPLY = 0x22,
    PERIPHERAL_CLASS_TEMPERATURE = 0x26,
    PERIPHERAL_CLASS_PIXEL_TEST_BOARD = 0x2A,
};

// Ids the framework itself names.
const uint16_t PERIPHERAL_ID_LCD_MANAGER = 70;
const uint16_t PERIPHERAL_ID_TEMP_CONTROLLER = 10;
const uint16_t PERIPHERAL_ID_FILE_MANAGER = 304;
const uint16_t PERIPHERAL_ID_INTERNAL_MODEM = 91;
const uint16_t PERIPHERAL_ID_EXTERNAL_MODEM = 620;
// The stored entry that auto-detection removes when it ends.
const uint16_t PERIPHERAL_ID_LIGHT_LINE = 150;

// The longest peripheral name, with its NUL.
const unsigned PERIPHERAL_NAME_SIZE = 32;
