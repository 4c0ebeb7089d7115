#include "peripherals/sensors/sensor_common.h"

#include "peripherals/can/can_board.h"
#include "runtime/console.h"

namespace {

const uint8_t AUX_INPUT = 2;

} // namespace

bool register_sensor_aux_row(CPeripheral& sensor, uint8_t resolution, const char* name, int* row,
                             uint8_t port_type) {
    AuxIORows kept;
    CPeripheral::LoadAuxIORows(sensor.ListSlot(), &kept);
    int32_t taken = kept.At(0);
    if (!sensor.RegisterAuxIO(&taken, port_type, AUX_INPUT, resolution, "%s", name)) return false;
    *row = taken;
    if (kept.count != 0 && kept.row[0] == taken) return true; // kept already: no save
    if (kept.count == 0) kept.Push(taken);
    kept.row[0] = taken;
    CPeripheral::SaveAuxIORows(sensor.ListSlot(), kept);
    return true;
}

bool sensor_board_values(const PeripheralRecord& record, const PeripheralParameters& values,
                         uint32_t* can_id, uint8_t* bus_code, uint8_t* channel) {
    if (can_board_values(values, can_id, bus_code, channel)) return true;
    console_printf("creation string of %s refused: %s\n", periph_id_to_name(record.id),
                   record.parameters ? record.parameters : "");
    return false;
}
