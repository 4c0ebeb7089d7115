// Factory and run-time defaults as data: each group of objects is a table of
// (object, value) rows applied in order by one loop. A row covers every row
// of its catalogue object (a whole table column) or the single object.
#pragma once

#include "store/database.h"
#include "store/objects.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

struct DefaultValue {
    enum Kind : uint8_t {
        Integer,  // `value` into every row
        Counting, // `value` + row into every row (index columns)
        Bytes,    // `bytes`/`length` into every row of a dynamic object
        Shared,   // as Bytes, every row pointing at the store's one shared block
    };

    DbObject object;
    Kind kind;
    bool full_reset_only; // skipped by a partial reset (memory clear)
    uint32_t value;
    const void* bytes;
    uint32_t length;
    uint32_t flags; // set flags of the write, DB_NOTIFY unless a row says otherwise
};

// One table of factory values, as SetDefaults applies it.
struct DefaultTable {
    const DefaultValue* values;
    size_t count;
};

namespace defaults {

// Rows `first` .. `first + count - 1` of a table column.
constexpr DbObject rows(const DbObject& column, unsigned first, unsigned count) {
    return DbObject{column.offset + column.width * first, column.width, column.image,
                    static_cast<uint16_t>(count), column.kind};
}

constexpr DefaultValue set(const DbObject& o, uint32_t value, uint32_t flags = DB_NOTIFY) {
    return DefaultValue{o, DefaultValue::Integer, false, value, nullptr, 0, flags};
}
// A signed value, kept in two's complement in the object's width.
constexpr DefaultValue set_signed(const DbObject& o, int32_t value) {
    uint32_t mask = o.width >= 4 ? 0xFFFFFFFFu : (1u << (8 * o.width)) - 1;
    return set(o, static_cast<uint32_t>(value) & mask);
}
constexpr DefaultValue count_from(const DbObject& o, uint32_t first_value) {
    return DefaultValue{o, DefaultValue::Counting, false, first_value, nullptr, 0, DB_NOTIFY};
}
constexpr DefaultValue bytes(const DbObject& o, const void* b, uint32_t n,
                             uint32_t flags = DB_NOTIFY) {
    return DefaultValue{o, DefaultValue::Bytes, false, 0, b, n, flags};
}
// A long value held by many rows: one block of the pool serves them all.
constexpr DefaultValue shared(const DbObject& o, const void* b, uint32_t n) {
    return DefaultValue{o, DefaultValue::Shared, false, 0, b, n, DB_NOTIFY};
}
constexpr DefaultValue text(const DbObject& o, std::string_view t) {
    return bytes(o, t.data(), static_cast<uint32_t>(t.size()));
}
constexpr DefaultValue empty(const DbObject& o, uint32_t flags = DB_NOTIFY) {
    return bytes(o, nullptr, 0, flags);
}
// Marks a row as written by a full reset only.
constexpr DefaultValue full_reset(DefaultValue d) {
    d.full_reset_only = true;
    return d;
}

// An OID as its stored form: 32-bit big-endian sub-identifiers.
template <uint32_t... Ids> struct Oid {
    static constexpr std::array<uint8_t, 4 * sizeof...(Ids)> make() {
        std::array<uint8_t, 4 * sizeof...(Ids)> out{};
        const uint32_t ids[] = {Ids...};
        for (size_t i = 0; i < sizeof...(Ids); ++i)
            for (size_t b = 0; b < 4; ++b)
                out[4 * i + b] = static_cast<uint8_t>(ids[i] >> (24 - 8 * b));
        return out;
    }
    static constexpr std::array<uint8_t, 4 * sizeof...(Ids)> value = make();
};
template <uint32_t... Ids> constexpr DefaultValue oid(const DbObject& o) {
    return bytes(o, Oid<Ids...>::value.data(), static_cast<uint32_t>(Oid<Ids...>::value.size()));
}

// Writes the rows of `table` in order. `partial` 1 skips the full-reset rows.
// Returns the number of writes the store refused (each is traced).
unsigned apply(CDataBase& store, const DefaultValue* table, size_t count, int partial = 0);

template <size_t N> constexpr DefaultTable table(const DefaultValue (&values)[N]) {
    return DefaultTable{values, N};
}
template <size_t N>
unsigned apply(CDataBase& store, const DefaultValue (&table)[N], int partial = 0) {
    return apply(store, table, N, partial);
}

} // namespace defaults
