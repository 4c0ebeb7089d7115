// The auxiliary-I/O row list of a stored-list slot, kept as text in
// halvPeripheralAuxIOTableIndex.
#include "runtime/peripheral.h"
#include "store/database.h"
#include "store/objects.h"

namespace {

const unsigned ROW_TEXT_SIZE = 256;

} // namespace

void CPeripheral::LoadAuxIORows(uint16_t list_slot, AuxIORows* rows) {
    *rows = AuxIORows{};
    if (list_slot >= obj::halvPeripheralAuxIOTableIndex.rows) return;
    char text[ROW_TEXT_SIZE];
    db_get_string_copy(obj::halvPeripheralAuxIOTableIndex.row(list_slot), text, sizeof text);
    ParseAuxIORows(text, rows);
}

void CPeripheral::SaveAuxIORows(uint16_t list_slot, const AuxIORows& rows) {
    if (list_slot >= obj::halvPeripheralAuxIOTableIndex.rows) return;
    char text[ROW_TEXT_SIZE];
    FormatAuxIORows(rows, text, sizeof text);
    db_set_text(obj::halvPeripheralAuxIOTableIndex.row(list_slot), text, DB_NOTIFY);
}
