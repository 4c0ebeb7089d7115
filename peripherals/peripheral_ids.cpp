#include "peripherals/peripheral_ids.h"

#include <cstdio>
#include <cstring>

namespace {

// One row per run of ids named alike. An id's name is `pattern` formatted
// with `number` + (id - first). The rows stand in the order in which the
// classes' name parsers are asked (the first class that knows a name wins);
// `parsed` 0 marks a name given to an id that is never read back.
struct IdRange {
    uint16_t first, last;
    uint8_t class_code; // 0: named only, nothing builds it
    const char* pattern;
    uint16_t number;
    bool parsed;
};

const IdRange ID_RANGES[] = {
    // beacon
    {40, 40, PERIPHERAL_CLASS_BEACON, "BEACON01", 0, true},
    // clock
    {90, 90, PERIPHERAL_CLASS_CLOCK, "CLOCK01", 0, true},
    // door sensors
    {30, 37, PERIPHERAL_CLASS_DOOR, "DOOR SWITCH %u", 1, true},
    // beacons on I/O points
    {700, 701, PERIPHERAL_CLASS_BEACON_IO, "GEN2 BEACON%u", 1, true},
    // humidity sensors
    {630, 630, PERIPHERAL_CLASS_HUMIDITY, "HUMIDITY AMBIENT1", 0, true},
    {631, 631, PERIPHERAL_CLASS_HUMIDITY, "HUMIDITY SIGN1", 0, true},
    {632, 632, PERIPHERAL_CLASS_HUMIDITY, "HUMIDITY CABINET1", 0, true},
    {633, 634, PERIPHERAL_CLASS_HUMIDITY, "HUMIDITY SIGN%u", 2, true},
    // light sensors
    {1, 1, PERIPHERAL_CLASS_LIGHT, "LGHTAMBIENT", 0, true},
    {2, 2, PERIPHERAL_CLASS_LIGHT, "LGHTFRONT", 0, true},
    {3, 3, PERIPHERAL_CLASS_LIGHT, "LGHTREAR", 0, true},
    {150, 150, 0, "LGHTLINE1", 0, true},
    {156, 156, 0, "LUXLGHTLINE1", 0, true},
    // front-panel manager
    {70, 71, PERIPHERAL_CLASS_LCD_MANAGER, "LCD%02u", 1, true},
    // DC I/O boards
    {50, 54, PERIPHERAL_CLASS_DCIO, "DC I/O %u", 1, true},
    {55, 55, PERIPHERAL_CLASS_DCIO, "TCB 01", 0, true},
    {56, 56, 0, "DC I/O 6", 0, true},
    {590, 595, PERIPHERAL_CLASS_MINI_DCIO, "MINI DC I/O %u", 1, true},
    // I/O-based peripherals
    {75, 76, PERIPHERAL_CLASS_IO_BASED, "SURGE SUPPRESSOR%u", 1, true},
    {77, 80, 0, "SURGE SUPPRESSOR%u", 3, true},
    {560, 560, PERIPHERAL_CLASS_IO_BASED, "SWITCH BINARY1", 0, true},
    {570, 570, PERIPHERAL_CLASS_IO_BASED, "SWITCH BINARY ACT1", 0, true},
    {580, 580, PERIPHERAL_CLASS_IO_BASED, "SWITCH BCD ACT1", 0, true},
    {640, 640, PERIPHERAL_CLASS_IO_BASED, "BLANK SWITCH", 0, true},
    {641, 641, PERIPHERAL_CLASS_IO_BASED, "BLANK INDICATOR", 0, true},
    {650, 650, PERIPHERAL_CLASS_IO_BASED, "SWITCH BCD1", 0, true},
    {670, 670, PERIPHERAL_CLASS_IO_BASED, "IO FAULT/OK LED", 0, true},
    {671, 671, PERIPHERAL_CLASS_IO_BASED, "CURRENT MESSAGE", 0, true},
    {710, 719, PERIPHERAL_CLASS_IO_BASED, "FLOW SENSOR%u", 1, true},
    {720, 720, PERIPHERAL_CLASS_IO_BASED, "FLOW POWER SENSE", 0, true},
    {749, 749, PERIPHERAL_CLASS_IO_BASED, "RPM POWER SENSE", 0, true},
    {850, 863, 0, "FLOW SENSOR%u", 11, true},
    // fan points
    {508, 509, 0, "INTAKE FAN%u CONTROL", 5, true},
    {510, 510, PERIPHERAL_CLASS_FAN_CONTROL, "INTAKE FAN1 CONTROL", 0, true},
    {511, 513, 0, "INTAKE FAN%u CONTROL", 2, true},
    {514, 514, PERIPHERAL_CLASS_FAN_STATUS, "INTAKE FAN1 STATUS", 0, true},
    {518, 518, PERIPHERAL_CLASS_FAN_CONTROL, "PIXEL FAN1 CONTROL", 0, true},
    {522, 522, PERIPHERAL_CLASS_FAN_STATUS, "PIXEL FAN1 STATUS", 0, true},
    {526, 526, PERIPHERAL_CLASS_FAN_CONTROL, "FACE FAN1 CONTROL", 0, true},
    {530, 530, PERIPHERAL_CLASS_FAN_STATUS, "FACE FAN1 STATUS", 0, true},
    // fan speed sensors
    {730, 745, PERIPHERAL_CLASS_FAN_RPM, "RPM SENSOR %02u", 1, true},
    {810, 841, 0, "RPM SENSOR %02u", 17, true},
    // file objects
    {300, 300, PERIPHERAL_CLASS_DIRECTORY_FILE, "DIRECTORY FILE", 0, true},
    {301, 301, PERIPHERAL_CLASS_CONFIG_FILE, "CONFIG FILE", 0, true},
    {302, 302, PERIPHERAL_CLASS_MONRC_FILE, "MONRC FILE", 0, true},
    {304, 304, PERIPHERAL_CLASS_FILE_MANAGER, "FILE MANAGER", 0, true},
    {303, 303, PERIPHERAL_CLASS_SCRIPT_FILE, "SCRIPT FILE", 0, true},
    // heater points
    {534, 534, PERIPHERAL_CLASS_HEATER_CONTROL, "HEATER1 CONTROL", 0, true},
    {538, 538, PERIPHERAL_CLASS_HEATER_STATUS, "HEATER1 STATUS", 0, true},
    {542, 542, PERIPHERAL_CLASS_HEATER_CONTROL, "MAINTENANCE HEATER1 CONTROL", 0, true},
    {546, 546, PERIPHERAL_CLASS_HEATER_STATUS, "MAINTENANCE HEATER1 STATUS", 0, true},
    // temperature sensors
    {10, 10, PERIPHERAL_CLASS_TEMPERATURE, "TEMPCONTROLLER", 0, true},
    {11, 11, PERIPHERAL_CLASS_TEMPERATURE, "TEMPCABINET", 0, true},
    {12, 12, PERIPHERAL_CLASS_TEMPERATURE, "TEMPAMBIENT", 0, true},
    {13, 15, PERIPHERAL_CLASS_TEMPERATURE, "TEMPSIGN%u", 1, true},
    {16, 16, 0, "TEMPSIGNMODS", 0, true},
    // overheight detectors
    {500, 501, PERIPHERAL_CLASS_OVERHEIGHT, "OVERHEIGHT%02u", 1, true},
    // general-purpose outputs
    {660, 669, PERIPHERAL_CLASS_GP_OUTPUT, "GP OUTPUT%02u", 1, true},
    // dial-up modems
    {91, 91, PERIPHERAL_CLASS_MODEM, "INTERNAL DIALUP MODEM", 0, true},
    {620, 620, PERIPHERAL_CLASS_MODEM, "EXTERNAL DIALUP MODEM", 0, true},
    // power supplies: 135 shows the last name, which names 134 only
    {100, 134, PERIPHERAL_CLASS_POWER_SUPPLY, "POWERSUPPLY%02u", 1, true},
    {135, 135, PERIPHERAL_CLASS_POWER_SUPPLY, "POWERSUPPLY35", 0, false},
    {136, 149, 0, "GEN4 PS %02u", 1, true},
    // pixel test boards
    {750, 753, PERIPHERAL_CLASS_PIXEL_TEST_BOARD, "PIXELTESTBRD%u", 1, true},
};

const IdRange* range_of(uint16_t id) {
    for (const IdRange& r : ID_RANGES)
        if (id >= r.first && id <= r.last) return &r;
    return nullptr;
}

void format_name(const IdRange& r, uint16_t id, char (&name)[PERIPHERAL_NAME_SIZE]) {
    std::snprintf(name, sizeof name, r.pattern, unsigned(r.number + (id - r.first)));
}

// Every name of the table, formatted once: the texts handed out stay valid.
const unsigned NAMED_IDS = 864;
struct NameTable {
    char name[NAMED_IDS][PERIPHERAL_NAME_SIZE] = {};
    NameTable() {
        for (const IdRange& r : ID_RANGES)
            for (unsigned id = r.first; id <= r.last && id < NAMED_IDS; ++id)
                format_name(r, uint16_t(id), name[id]);
    }
};

const NameTable& names() {
    static const NameTable table;
    return table;
}

} // namespace

uint8_t periph_id_to_class(uint16_t id) {
    const IdRange* r = range_of(id);
    return r ? r->class_code : 0;
}

const char* periph_id_to_name(uint16_t id) {
    const IdRange* r = range_of(id);
    if (r == nullptr || r->class_code == 0 || id >= NAMED_IDS) return "UNKNOWN";
    return names().name[id];
}

uint16_t periph_name_to_id(const char* name) {
    if (name == nullptr) return 0;
    for (const IdRange& r : ID_RANGES) {
        if (!r.parsed) continue;
        for (unsigned id = r.first; id <= r.last; ++id)
            if (std::strcmp(names().name[id], name) == 0) return uint16_t(id);
    }
    return 0;
}
