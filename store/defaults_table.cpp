#include "store/defaults_table.h"

#include "runtime/console.h"

namespace defaults {

namespace {

int write_row(CDataBase& store, const DefaultValue& d, unsigned r) {
    const DbObject o = d.object.row(r);
    uint8_t* image = store.Image(o.image);
    switch (d.kind) {
    case DefaultValue::Counting:
        return SetInteger(store, o.offset, o.width, d.value + r, image, d.flags);
    case DefaultValue::Bytes:
        return SetString(store, o.offset, o.width, d.bytes, d.length, image, d.flags);
    case DefaultValue::Shared:
        return SetStringShared(store, o.offset, o.width, d.bytes, d.length, image, d.flags);
    case DefaultValue::Integer:
    default:
        return SetInteger(store, o.offset, o.width, d.value, image, d.flags);
    }
}

} // namespace

unsigned apply(CDataBase& store, const DefaultValue* table, size_t count, int partial) {
    unsigned refused = 0;
    for (size_t i = 0; i < count; ++i) {
        const DefaultValue& d = table[i];
        if (partial && d.full_reset_only) continue;
        for (unsigned r = 0; r < d.object.rows; ++r) {
            int result = write_row(store, d, r);
            if (result == DB_OK) continue;
            ++refused;
            trace_printf("DB Defaults: %s offset %u refused (%d)\n",
                         d.object.image == DbImage::V ? "V" : "NV",
                         unsigned(d.object.row(r).offset), result);
        }
    }
    return refused;
}

} // namespace defaults
