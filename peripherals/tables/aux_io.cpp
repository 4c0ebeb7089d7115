// Auxiliary I/O ports (the 136-row auxiliary I/O table: rows 0-111 digital,
// 112-135 analog, types and numbers preset by the store's defaults).
//
// Fixed peripherals take the next fixed row of their type while no listed
// peripheral has registered; the first registration of a stored or free row
// ends that phase for good, so that a fixed port never lands on a row a
// listed peripheral keeps across restarts.
#include "peripherals/tables/registration.h"
#include "runtime/console.h"
#include "runtime/peripheral.h"
#include "store/database.h"
#include "store/objects.h"

#include <cstdio>
#include <cstring>

namespace {

enum : uint8_t { PORT_OTHER = 1, PORT_ANALOG = 2, PORT_DIGITAL = 3 };
enum : uint8_t { DIRECTION_OUTPUT = 1, DIRECTION_INPUT = 2, DIRECTION_BOTH = 3 };

const char* const UNUSED = "UNUSED";
const unsigned DESCRIPTION_SIZE = 100;

bool g_listed_phase = false;
unsigned g_next_digital = 0;
unsigned g_next_analog = AUX_IO_FIRST_ANALOG_ROW;

bool valid(int32_t row) {
    return row >= 0 && unsigned(row) < AUX_IO_ROWS;
}

bool is_unused(unsigned row) {
    const char* d = db_get_string(obj::auxIOPortDescription.row(row));
    return d != nullptr && std::strcmp(d, UNUSED) == 0;
}

void write_row(unsigned row, uint8_t direction, uint8_t resolution) {
    db_set(obj::auxIOPortResolution.row(row), resolution, DB_NOTIFY);
    db_set(obj::auxIOPortValue.row(row), 0, DB_NOTIFY);
    db_set(obj::auxIOPortDirection.row(row), direction, DB_NOTIFY);
    db_set(obj::auxIOPortLastCommand.row(row), 0, DB_NOTIFY);
}

// The next fixed row of the type. -> false for a type that has none.
bool next_fixed_row(uint8_t port_type, int32_t* row) {
    unsigned* next = port_type == PORT_DIGITAL  ? &g_next_digital
                     : port_type == PORT_ANALOG ? &g_next_analog
                                                : nullptr;
    if (next == nullptr) {
        console_printf(port_type == PORT_OTHER ? "Attempted to register other port type\n"
                                               : "Invalid port type registration attempt\n");
        return false;
    }
    const unsigned end = port_type == PORT_DIGITAL ? AUX_IO_FIRST_ANALOG_ROW : AUX_IO_ROWS;
    if (*next >= end) return false;
    *row = int32_t((*next)++);
    return true;
}

// The first row of the type whose description is "UNUSED".
bool free_row(uint8_t port_type, int32_t* row) {
    for (unsigned r = 0; r < AUX_IO_ROWS; ++r)
        if (db_get(obj::auxIOPortType.row(r)) == port_type && is_unused(r)) {
            *row = int32_t(r);
            return true;
        }
    return false;
}

} // namespace

void aux_io_reset() {
    g_listed_phase = false;
    g_next_digital = 0;
    g_next_analog = AUX_IO_FIRST_ANALOG_ROW;
}

bool CPeripheral::RegisterAuxIO(int32_t* row, uint8_t port_type, uint8_t direction,
                                uint8_t resolution, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const bool result = RegisterAuxIOv(row, port_type, direction, resolution, format, args);
    va_end(args);
    return result;
}

bool CPeripheral::RegisterAuxIOv(int32_t* row, uint8_t port_type, uint8_t direction,
                                 uint8_t resolution, const char* format, va_list args) {
    char description[DESCRIPTION_SIZE];
    std::vsnprintf(description, sizeof description, format ? format : "", args);
    if (*row == AUX_IO_NEXT_FIXED_ROW) {
        if (g_listed_phase) {
            console_printf("ERROR: Hardcoded peripheral tried to register after db peripherals\n");
            return false;
        }
        if (!next_fixed_row(port_type, row)) return false;
        db_set_text(obj::auxIOPortDescription.row(*row), description, DB_NOTIFY);
    } else {
        g_listed_phase = true;
        if (*row == NO_ROW && !free_row(port_type, row)) return false;
        if (!valid(*row)) return false;
        if (is_unused(unsigned(*row)))
            db_set_text(obj::auxIOPortDescription.row(*row), description, DB_NOTIFY);
    }
    write_row(unsigned(*row), direction, resolution);
    return true;
}

void CPeripheral::UnregisterAuxIO(int32_t row) {
    if (!valid(row)) return;
    db_set_text(obj::auxIOPortDescription.row(row), UNUSED, DB_NOTIFY);
    write_row(unsigned(row), 0, 0);
}

bool CPeripheral::SetAuxIOValue(int32_t row, uint32_t value) {
    if (!valid(row)) return false;
    db_set(obj::auxIOPortValue.row(row), value, DB_NOTIFY);
    const uint32_t direction = db_get(obj::auxIOPortDirection.row(row));
    if (direction != DIRECTION_OUTPUT && direction != DIRECTION_BOTH) return false;
    db_set(obj::auxIOPortLastCommand.row(row), value, DB_NOTIFY);
    return true;
}
