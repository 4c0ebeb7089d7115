#include "store/graphic_count.h"

#include "runtime/console.h"
#include "store/database.h"
#include "store/objects.h"

namespace {
const uint32_t GRAPHIC_READY_FOR_USE = 4;
const uint32_t GRAPHIC_IN_USE = 5;
const uint32_t GRAPHIC_PERMANENT = 6;

bool usable(uint32_t status) {
    return status == GRAPHIC_READY_FOR_USE || status == GRAPHIC_IN_USE ||
           status == GRAPHIC_PERMANENT;
}
} // namespace

uint32_t RecountReadyGraphics(CDataBase& store, bool trace) {
    store.Lock(); // one recount at a time: the last one written is the truth
    uint32_t count = 0;
    for (unsigned g = 0; g < obj::kGraphicRows; ++g) {
        count += usable(GetInteger(store, obj::dmsGraphicStatus.row(g)));
    }
    const uint32_t before = GetInteger(store, obj::dmsGraphicNumEntries);
    SetInteger(store, obj::dmsGraphicNumEntries, count, DB_NOTIFY | DB_NO_VALIDATE);
    store.Unlock();
    if (trace && count > before) trace_printf("Add - Num Graphics:%d\n", int(count));
    if (trace && count < before) trace_printf("Del - Num Graphics:%d\n", int(count));
    return count;
}
