// The graphic table's status requests: a graphic is opened for changes,
// made ready for use (its dmsGraphicID computed over its header fields and
// bitmap blocks), or freed. dmsGraphicNumEntries is recounted after every
// change of a status.
#include "display/display_task.h"

#include "runtime/console.h"
#include "runtime/utilities.h"
#include "store/database.h"
#include "store/graphic_count.h"
#include "store/objects.h"

namespace {

// NTCIP dmsGraphicStatus values.
enum : uint32_t {
    GRAPHIC_NOT_USED = 1,
    GRAPHIC_MODIFYING = 2,
    GRAPHIC_READY = 4,
    GRAPHIC_MODIFY_REQ = 7,
    GRAPHIC_READY_REQ = 8,
    GRAPHIC_NOT_USED_REQ = 9,
};

// dmsGraphicType values.
enum : uint32_t { GRAPHIC_MONO_1 = 1, GRAPHIC_MONO_8 = 2, GRAPHIC_CLASSIC = 3, GRAPHIC_RGB24 = 4 };

const unsigned GRAPHIC_ROWS = 50;
const unsigned BLOCKS_PER_GRAPHIC = 63;
const uint32_t STATUS_WRITE = DB_NOTIFY | DB_NO_VALIDATE;

// Bytes of the graphic's bitmap; 0 for a type outside 1-4.
uint32_t bitmap_bytes(uint32_t type, uint32_t height, uint32_t width) {
    uint32_t pixels = height * width;
    switch (type) {
    case GRAPHIC_MONO_1:
        return (pixels + 7) / 8;
    case GRAPHIC_MONO_8:
    case GRAPHIC_CLASSIC:
        return pixels;
    case GRAPHIC_RGB24:
        return pixels * 3;
    default:
        return 0;
    }
}

// Blocks the bitmap spans; 0 (header fields only) for an unknown type or a
// block size of 0.
uint32_t bitmap_blocks(unsigned row) {
    uint32_t size =
        bitmap_bytes(db_get(obj::dmsGraphicType.row(row)), db_get(obj::dmsGraphicHeight.row(row)),
                     db_get(obj::dmsGraphicWidth.row(row)));
    uint32_t block_size = db_get(obj::dmsGraphicBlockSize);
    return block_size == 0 ? 0 : (size + block_size - 1) / block_size;
}

void add_integer(crc16_state& state, uint32_t value, unsigned bytes) {
    for (unsigned i = bytes; i-- > 0;) {
        uint8_t byte = uint8_t(value >> (8 * i));
        crc16_update(&state, &byte, 1);
    }
}

uint16_t graphic_id(unsigned row, uint32_t blocks) {
    crc16_state state{};
    crc16_init(&state, 0xFFFF);
    add_integer(state, db_get(obj::dmsGraphicNumber.row(row)), 1);
    add_integer(state, db_get(obj::dmsGraphicHeight.row(row)), 2);
    add_integer(state, db_get(obj::dmsGraphicWidth.row(row)), 2);
    add_integer(state, db_get(obj::dmsGraphicType.row(row)), 1);
    add_integer(state, db_get(obj::dmsGraphicTransparentEnabled.row(row)), 1);
    uint8_t colour[4] = {};
    db_get_string_copy(obj::dmsGraphicTransparentColor.row(row), colour, sizeof colour);
    for (unsigned i = 0; i < 3; ++i) {
        console_printf("color:0x%0X\r", colour[i]);
        crc16_update(&state, &colour[i], 1);
    }
    static uint8_t block[CDataBase::MAX_NV_STRING + 1];
    for (uint32_t b = 0; b < blocks; ++b) {
        uint32_t length = db_get_string_copy(
            obj::dmsGraphicBlockBitmap.row(row * BLOCKS_PER_GRAPHIC + b), block, sizeof block);
        crc16_update(&state, block, length);
    }
    uint16_t id = 0;
    crc16_get(&state, &id, CRC16_COMPLEMENT | CRC16_SWAP);
    crc16_finish(&state);
    return id;
}

void make_ready(unsigned row) {
    uint32_t blocks = bitmap_blocks(row);
    if (blocks > BLOCKS_PER_GRAPHIC) {
        console_printf("StoreGraphic: graphic %u needs %u blocks, %u at most\n", row + 1,
                       unsigned(blocks), BLOCKS_PER_GRAPHIC);
        db_set(obj::dmsGraphicStatus.row(row), GRAPHIC_MODIFYING, STATUS_WRITE);
        return;
    }
    db_set(obj::dmsGraphicID.row(row), graphic_id(row, blocks), DB_NOTIFY);
    db_set(obj::dmsGraphicStatus.row(row), GRAPHIC_READY, STATUS_WRITE);
    RecountReadyGraphics(TheDatabase(), true);
}

void free_graphic(unsigned row) {
    db_set(obj::dmsGraphicStatus.row(row), GRAPHIC_NOT_USED, STATUS_WRITE);
    const DbObject cleared[] = {obj::dmsGraphicNumber, obj::dmsGraphicHeight, obj::dmsGraphicWidth,
                                obj::dmsGraphicID, obj::dmsGraphicTransparentEnabled};
    for (const DbObject& column : cleared)
        db_set(column.row(row), 0, STATUS_WRITE);
    db_set_string(obj::dmsGraphicName.row(row), nullptr, 0, STATUS_WRITE);
    const uint8_t no_colour = 0;
    db_set_string(obj::dmsGraphicTransparentColor.row(row), &no_colour, 1, STATUS_WRITE);
    for (unsigned b = 0; b < BLOCKS_PER_GRAPHIC; ++b)
        db_set_string(obj::dmsGraphicBlockBitmap.row(row * BLOCKS_PER_GRAPHIC + b), nullptr, 0,
                      STATUS_WRITE);
}

} // namespace

void CDisplay::StoreGraphic() {
    display_guard guard(lock_);
    for (unsigned row = 0; row < GRAPHIC_ROWS; ++row) {
        switch (db_get(obj::dmsGraphicStatus.row(row))) {
        case GRAPHIC_MODIFY_REQ:
            db_set(obj::dmsGraphicStatus.row(row), GRAPHIC_MODIFYING, STATUS_WRITE);
            break;
        case GRAPHIC_READY_REQ:
            make_ready(row);
            break;
        case GRAPHIC_NOT_USED_REQ:
            free_graphic(row);
            break;
        default:
            break;
        }
    }
    RecountReadyGraphics(TheDatabase(), true);
}
