// The point-peripheral base (see point_peripheral.h).
#include "peripherals/io/point_peripheral.h"

#include "runtime/console.h"

CPointPeripheral::CPointPeripheral(uint8_t class_code, uint16_t id, const bridge_kind& kind)
    : CPeripheral(class_code, id), bridge_(kind) {}

CPointPeripheral::~CPointPeripheral() {
    for (int32_t& row : aux_rows_) {
        UnregisterAuxIO(row);
        row = NO_ROW;
    }
    for (uint32_t& serial : serials_) {
        if (serial != 0) bridge_.UnRegister(serial);
        serial = 0;
    }
}

bool CPointPeripheral::AttachBoard(uint32_t board_id) {
    if (board_id > 0xFFFF || !bridge_.Init(uint16_t(board_id), this)) return InitError();
    return true;
}

uint32_t CPointPeripheral::RegisterPoints(uint32_t point_mask, uint8_t write_access,
                                          uint32_t trigger_mask, uint8_t trigger_kind,
                                          uint8_t read_only_override) {
    unsigned slot = 0;
    while (slot < MAX_SETS && serials_[slot] != 0)
        ++slot;
    if (point_mask == 0 || slot == MAX_SETS) {
        console_printf("%s: no point of the board to register\n", periph_id_to_name(Id()));
        InitError();
        return 0;
    }
    interface_cfg set(point_mask, write_access, trigger_mask, trigger_kind);
    set.read_only_override = read_only_override;
    serials_[slot] = bridge_.Register(set);
    if (serials_[slot] == 0) InitError();
    return serials_[slot];
}

uint32_t CPointPeripheral::RegisterInputPoint(uint32_t point) {
    uint32_t mask = 0;
    dcio_point_mask(point, mask, true);
    return RegisterPoints(mask, 0);
}

bool CPointPeripheral::ClaimAuxRow(unsigned index, uint8_t port_type, uint8_t direction,
                                   uint8_t resolution) {
    if (index >= MAX_AUX_ROWS) return InitError();
    const bool listed = ListSlot() != PERIPHERAL_FIXED_SLOT;
    AuxIORows rows;
    if (listed) LoadAuxIORows(ListSlot(), &rows);
    int32_t row = rows.At(index);
    if (!RegisterAuxIO(&row, port_type, direction, resolution, "%s", periph_id_to_name(Id()))) {
        console_printf("failed to register %s in aux io table\n", periph_id_to_name(Id()));
        return InitError();
    }
    aux_rows_[index] = row;
    if (listed) {
        while (rows.count <= index && rows.Push(NO_ROW)) {
        }
        rows.row[index] = row;
        SaveAuxIORows(ListSlot(), rows);
    }
    return true;
}

bool CPointPeripheral::BoardInCommError() {
    io_board* board = bridge_.Board();
    return board == nullptr || board->BoardPeripheral().State() == STATE_COMM_ERROR;
}
