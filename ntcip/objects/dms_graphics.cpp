// Graphic objects (1.3.6.1.4.1.1206.4.2.3.10): the graphic limits and count,
// the graphic table (50 graphics) and the bitmap table (63 blocks of 1023
// octets a graphic). A block instance is graphic.block; block b of graphic g
// is row 63 * (g - 1) + (b - 1) of the store's block column, and an index of
// 0 or above its maximum names no instance, never a neighbouring graphic's
// block.
//
// The store's validation decides every write (attributes and blocks only
// while the graphic is modifying, numbers unique, sizes within the sign,
// status requests as the status table allows); the display's graphic store,
// which the agent runs after a status SET, carries the requests out.
#include "ntcip/objects/fonts_graphics.h"

#include "runtime/os.h"
#include "runtime/pools.h"
#include "store/database.h"
#include "store/graphic_count.h"

namespace {

using namespace mibdef;

constexpr uint16_t GRAPHICS = obj::kGraphicRows;
constexpr uint16_t BLOCKS = obj::kGraphicBlocksPerGraphic;
constexpr uint32_t GRAPHIC_READY_FOR_USE = 4;
constexpr uint32_t GRAPHIC_NOT_USED_REQ = 9;

enum BitmapIndex : uint32_t { GRAPHIC_INDEX, BLOCK_INDEX };

void erase_blocks(uint32_t graphic) {
    for (uint32_t b = 0; b < BLOCKS; ++b)
        db_set_string(obj::dmsGraphicBlockBitmap.row(graphic * BLOCKS + b), nullptr, 0,
                      DB_NOTIFY | DB_NO_VALIDATE);
}

// What is left of the pool that holds the blocks (and every other string);
// the start-up value stands in should the pool not answer.
bool read_free_memory(mib_request& request, uint32_t) {
    uint32_t available = 0;
    if (os_byte_pool_info(&dynamic_database_pool(), nullptr, nullptr, &available, nullptr) != OS_OK)
        return false;
    mib_answer_integer(request, available);
    return true;
}

// A new height or width makes the stored bitmap meaningless: its blocks go.
int write_size(mib_request& request, uint32_t graphic) {
    const DbObject size = mib_row_object(request.row, graphic);
    const uint32_t before = db_get(size);
    const int result = db_set(size, request.ctx.set_value.integer, request.ctx.write_flags);
    if (result == DB_OK && db_get(size) != before) erase_blocks(graphic);
    return result;
}

// A status request; a ready graphic asked to go loses its blocks at once.
// The count follows the statuses as they now are.
int write_status(mib_request& request, uint32_t graphic) {
    const DbObject status = obj::dmsGraphicStatus.row(graphic);
    const uint32_t before = db_get(status);
    const uint32_t wanted = request.ctx.set_value.integer;
    const int result = db_set(status, wanted, request.ctx.write_flags);
    if (result == DB_OK && before == GRAPHIC_READY_FOR_USE && wanted == GRAPHIC_NOT_USED_REQ)
        erase_blocks(graphic);
    RecountReadyGraphics(TheDatabase(), true);
    return result;
}

bool read_bitmap_index(mib_request& request, uint32_t row) {
    const bool graphic = request.row.column.tag == GRAPHIC_INDEX;
    mib_answer_integer(request, graphic ? row / BLOCKS + 1 : row % BLOCKS + 1);
    return true;
}

constexpr mib_hooks kFreeMemory = {nullptr, read_free_memory, nullptr};
constexpr mib_hooks kSize = {nullptr, nullptr, write_size};
constexpr mib_hooks kStatus = {nullptr, nullptr, write_status};
constexpr mib_hooks kBitmapIndex = {nullptr, read_bitmap_index, nullptr};

// A writable graphic column: refusals of the store are reported.
constexpr mib_variable graphic(uint32_t c, uint8_t type, const DbObject& o) {
    return column({6, 1, c, MIB_PLACEHOLDER}, type, o, GRAPHICS).rw().writes(mib_write::report);
}
constexpr mib_variable block(uint32_t c, uint8_t type) {
    return column2({7, 1, c, MIB_PLACEHOLDER}, type, obj::dmsGraphicBlockBitmap, GRAPHICS, BLOCKS);
}

constexpr auto kRows =
    under({1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 10},
          {
              scalar({1, 0}, MIB_INTEGER, obj::dmsGraphicMaxEntries),
              scalar({2, 0}, MIB_INTEGER, obj::dmsGraphicNumEntries),
              scalar({3, 0}, MIB_INTEGER, obj::dmsGraphicMaxSize),
              scalar({4, 0}, MIB_COUNTER, obj::availableGraphicMemory).hooked(&kFreeMemory),
              scalar({5, 0}, MIB_INTEGER, obj::dmsGraphicBlockSize),
              index_column({6, 1, 1, MIB_PLACEHOLDER}, GRAPHICS).srange(1, 255),
              graphic(2, MIB_INTEGER, obj::dmsGraphicNumber).srange(1, 255),
              graphic(3, MIB_OCTETSTR, obj::dmsGraphicName).len(0, 64),
              graphic(4, MIB_INTEGER, obj::dmsGraphicHeight).srange(0, 255).hooked(&kSize),
              graphic(5, MIB_INTEGER, obj::dmsGraphicWidth).srange(0, 65535).hooked(&kSize),
              graphic(6, MIB_INTEGER, obj::dmsGraphicType).list({1, 2, 3, 4}),
              column({6, 1, 7, MIB_PLACEHOLDER}, MIB_INTEGER, obj::dmsGraphicID, GRAPHICS)
                  .srange(0, 65535),
              graphic(8, MIB_INTEGER, obj::dmsGraphicTransparentEnabled).srange(0, 1),
              graphic(9, MIB_OCTETSTR, obj::dmsGraphicTransparentColor).len(1, 3),
              graphic(10, MIB_INTEGER, obj::dmsGraphicStatus)
                  .list({1, 2, 3, 4, 5, 6, 7, 8, 9})
                  .hooked(&kStatus),
              block(1, MIB_INTEGER).srange(1, 255).hooked(&kBitmapIndex, GRAPHIC_INDEX),
              block(2, MIB_INTEGER).srange(1, 255).hooked(&kBitmapIndex, BLOCK_INDEX),
              block(3, MIB_OCTETSTR).rw().writes(mib_write::report),
          });

} // namespace

const mib_table dms_graphic_table = table(kRows);
