// Row format of the registry's object tables, and the builders the object
// groups (ntcip/objects/) write their tables with.
//
// A row is data: its OID (a scalar ends in 0, a table column in the
// placeholder 255), its value type, access, value check, set-permission mask
// and index count, and a column descriptor that says where the value lives:
// the catalogue object (obj::name; row r of a table column is
// object.row(r)), how an instance names a row (scalar; one index up to a
// maximum; two indexes with maxima and a row formula), the value's form, the
// write policy and, for what the descriptor cannot say, optional hooks. One
// generic handler (mib_column_handler) interprets the descriptor; a row may
// name a handler of its own instead.
//
// A group writes its rows with OIDs below its own prefix and lets `under`
// prepend the prefix:
//
//   constexpr auto kRows = mibdef::under({1, 3, 6, 1, 2, 1}, {
//       mibdef::scalar({1, 1, 0}, MIB_OCTETSTR, obj::sysDescr).len(0, 255),
//       mibdef::column({2, 2, 1, 7, 255}, MIB_INTEGER, obj::ifAdminStatus, 1)
//           .rw().list({1, 2, 3}),
//   });
//
// Rows of one table are sorted by OID; a registered subtree takes the tables
// of its groups in order (ntcip/mib/subtrees.cpp).
#pragma once

#include "ntcip/mib/mib.h"
#include "store/objects.h"

#include <array>
#include <cstddef>
#include <initializer_list>

constexpr uint32_t MIB_ROW_OID_MAX = 20;
constexpr uint32_t MIB_CHECK_VALUES = 20;
constexpr uint32_t MIB_PLACEHOLDER = 255;

// Value check of a row's SET value.
enum mib_check_size : uint8_t {
    MIB_CHECK_SIGNED = 2,   // ranges compared signed
    MIB_CHECK_LENGTH = 3,   // the first pair bounds the value's length
    MIB_CHECK_UNSIGNED = 4, // ranges or list compared unsigned
};
enum mib_check_kind : uint8_t {
    MIB_CHECK_RANGES = 1, // count pairs [minimum, maximum]
    MIB_CHECK_LIST = 2,   // count allowed values
};
struct mib_value_check {
    uint8_t size;
    uint8_t kind;
    uint8_t count; // 0: no value check
    uint32_t values[MIB_CHECK_VALUES];
};

// How an instance names a row of the column's catalogue object.
enum class mib_index : uint8_t {
    scalar, // instance .0, row 0
    one,    // one index 1..max1: row index - 1
    two,    // two indexes 1..max1, 1..max2: row by the formula
    custom, // the instance hook decides (max1 to max3: the maxima of its indexes)
};
// Row of a two-index instance (i, j).
enum class mib_formula : uint8_t {
    flat,   // (i - 1) * max2 + (j - 1)
    first,  // i - 1
    second, // j - 1
};
// What the catalogue object holds and how it is answered.
enum class mib_value : uint8_t {
    unsigned_int, // integer of the object's width, zero-extended
    signed_int,   // integer of the object's width, sign-extended
    octets,       // dynamic object, its bytes
    oid,          // dynamic object holding an OID as 4 big-endian bytes per sub-identifier
    ip_address,   // 4-byte integer, a.b.c.d with a in the top byte
};
// What a SET in the commit pass does.
enum class mib_write : uint8_t {
    none,   // nothing is written; the answer shows the stored value
    notify, // written with the request's store flags; a refusal becomes genErr
    report, // written; a refusal becomes the error status (3 badValue, 5 genErr)
    generr, // nothing is written; the error status becomes genErr
};

struct mib_request;

// Hooks for the special cases of a column; each may be null.
struct mib_hooks {
    // Instance check in place of the index form's: the row number, or -1
    // (no instance). May rewrite the name for GETNEXT.
    int (*instance)(mib_request& request);
    // Answers the value in place of the catalogue object: true when answered
    // (through mib_answer_integer / mib_answer_bytes).
    bool (*read)(mib_request& request, uint32_t row);
    // Writes in place of the policy's store write: the store's result (0, 3, 5).
    int (*write)(mib_request& request, uint32_t row);
};

struct mib_column {
    DbObject object;        // catalogue object (a table column: all its rows)
    mib_index index;        // instance form
    uint16_t max1;          // first index maximum
    uint16_t max2;          // second index maximum
    uint16_t max3;          // third index maximum (a custom row of three indexes)
    mib_formula formula;    // row of a two-index instance
    mib_value value;        // value form
    mib_write write;        // write policy
    const mib_hooks* hooks; // special cases, or null
    uint32_t tag;           // selector for the hooks of a group
};

using mib_handler = uintptr_t* (*)(mib_request& request);

struct mib_variable {
    uint32_t oid[MIB_ROW_OID_MAX];
    uint8_t oid_length;
    uint8_t type;        // mib_type
    uint8_t access;      // mib_access
    uint8_t index_count; // 0 scalar; 1, 2; 3 or more: GETNEXT hands the name over as it came
    uint32_t set_mask;   // rights a community needs to SET; 0 none
    mib_value_check check;
    mib_column column;
    mib_handler handler; // null: mib_column_handler

    // --- builders (each returns a changed copy) ---
    constexpr mib_variable rw() const { return with_access(MIB_READ_WRITE); }
    constexpr mib_variable config() const { return with_access(MIB_CONFIG); }
    constexpr mib_variable with_access(uint8_t a) const {
        mib_variable v = *this;
        v.access = a;
        return v;
    }
    constexpr mib_variable range(uint32_t lo, uint32_t hi) const {
        return pair(MIB_CHECK_UNSIGNED, lo, hi);
    }
    constexpr mib_variable srange(int32_t lo, int32_t hi) const {
        return pair(MIB_CHECK_SIGNED, uint32_t(lo), uint32_t(hi));
    }
    constexpr mib_variable len(uint32_t lo, uint32_t hi) const {
        return pair(MIB_CHECK_LENGTH, lo, hi);
    }
    // One more [lo, hi] pair of the same kind (at most 10 pairs).
    constexpr mib_variable pair(uint8_t size, uint32_t lo, uint32_t hi) const {
        mib_variable v = *this;
        v.check.size = size;
        v.check.kind = MIB_CHECK_RANGES;
        v.check.values[2 * v.check.count] = lo;
        v.check.values[2 * v.check.count + 1] = hi;
        v.check.count++;
        return v;
    }
    constexpr mib_variable list(std::initializer_list<uint32_t> values) const {
        mib_variable v = *this;
        v.check.size = MIB_CHECK_UNSIGNED;
        v.check.kind = MIB_CHECK_LIST;
        v.check.count = 0;
        for (uint32_t x : values)
            v.check.values[v.check.count++] = x;
        return v;
    }
    constexpr mib_variable mask(uint32_t m) const {
        mib_variable v = *this;
        v.set_mask = m;
        return v;
    }
    constexpr mib_variable writes(mib_write w) const {
        mib_variable v = *this;
        v.column.write = w;
        return v;
    }
    constexpr mib_variable as(mib_value form) const {
        mib_variable v = *this;
        v.column.value = form;
        return v;
    }
    constexpr mib_variable hooked(const mib_hooks* hooks, uint32_t tag = 0) const {
        mib_variable v = *this;
        v.column.hooks = hooks;
        v.column.tag = tag;
        return v;
    }
    constexpr mib_variable indexes(uint8_t n) const {
        mib_variable v = *this;
        v.index_count = n;
        return v;
    }
    constexpr mib_variable handled_by(mib_handler h) const {
        mib_variable v = *this;
        v.handler = h;
        return v;
    }
};

// One table of a group: rows sorted by OID.
struct mib_table {
    const mib_variable* rows;
    uint16_t count;
};

// A handler call: the lookup hands every handler one of these.
struct mib_request {
    mib_context& ctx;
    const mib_variable& row;
    uint8_t access;         // the row copy's access (lowered for a refused SET)
    uint32_t* name;         // rewritable
    uint32_t* length;       // in/out
    int mode;               // MIB_GETNEXT, MIB_GET, MIB_SET
    uint32_t* value_length; // out: bytes of an octet value
    snmp_varbind& varbind;
    uint32_t* error_status; // a handler's report (3 badValue, 5 genErr)

    // True in the validation pass of a SET: check the instance only, leave
    // the varbind as received.
    bool checking_only() const { return ctx.request_mode == MIB_SET && ctx.set_phase == 0; }
    // True when a SET is to be written now.
    bool committing() const { return mode == MIB_SET && ctx.set_phase == 1; }
};

// The generic handler: instance by the index form, write by the policy,
// answer by the value form.
uintptr_t* mib_column_handler(mib_request& request);

// Answers for handlers and hooks: the integer, or a copy of the bytes in the
// varbind's value (at most SNMP_MAX_VALUE); both return the result word.
uintptr_t* mib_answer_integer(mib_request& request, uint32_t value);
uintptr_t* mib_answer_bytes(mib_request& request, const void* bytes, uint32_t length);
// Writes the staged SET value into the store object in the row's value form
// with the given store flags. -> the store's result (0, 3, 5).
int mib_write_object(mib_request& request, const DbObject& object, uint32_t flags);
// Answers the store object in the given value form, as the generic handler does.
uintptr_t* mib_answer_object(mib_request& request, const DbObject& object, mib_value form);
// The catalogue object of the column's row r (row 0 for a scalar).
DbObject mib_row_object(const mib_variable& row, uint32_t r);

// Instance checks: 0 (or the row number) when the name is an instance, -1 otherwise.
// Scalar: the name equals the row's OID.
int header_scalar(const mib_variable& row, const uint32_t* name, uint32_t length);
// One index 1..maximum (GETNEXT: any name not above the column's maximum
// instance; a name above it sets the context's roll flag).
int header_generic(mib_request& request, uint32_t maximum);
// n indexes, each 1..its maximum; an index above its maximum sets the
// context's roll-over count to n - (its position from 0).
int header_table(mib_request& request, const uint32_t* maxima, uint32_t n);

// Hooks of a table that exists but never has an instance.
extern const mib_hooks mib_empty_hooks;
// Hooks of a column that answers its own index (1..the column's max1), no
// stored object.
extern const mib_hooks mib_index_hooks;
// The read hook of such a column: answers row + 1.
bool mib_read_index(mib_request& request, uint32_t row);

namespace mibdef {

constexpr DbObject no_object = DbObject{0, 0, DbImage::V, 0, DbKind::Integer};

constexpr mib_value default_form(uint8_t type, const DbObject& object) {
    return type == MIB_OBJECTID    ? mib_value::oid
           : type == MIB_IPADDRESS ? mib_value::ip_address
           : (type == MIB_OCTETSTR || type == MIB_OPAQUE || object.kind == DbKind::Dynamic)
               ? mib_value::octets
               : mib_value::unsigned_int;
}

constexpr mib_variable make(std::initializer_list<uint32_t> oid, uint8_t type, const DbObject& o,
                            mib_index index, uint8_t index_count, uint16_t max1, uint16_t max2,
                            mib_formula formula) {
    mib_variable v{};
    for (uint32_t s : oid)
        v.oid[v.oid_length++] = s;
    v.type = type;
    v.access = MIB_READ_ONLY;
    v.index_count = index_count;
    v.column.object = o;
    v.column.index = index;
    v.column.max1 = max1;
    v.column.max2 = max2;
    v.column.formula = formula;
    v.column.value = default_form(type, o);
    v.column.write = mib_write::notify;
    return v;
}

// A scalar (OID ending in 0).
constexpr mib_variable scalar(std::initializer_list<uint32_t> oid, uint8_t type,
                              const DbObject& o) {
    return make(oid, type, o, mib_index::scalar, 0, 0, 0, mib_formula::first);
}
// A column of a one-index table (OID ending in the placeholder 255).
constexpr mib_variable column(std::initializer_list<uint32_t> oid, uint8_t type, const DbObject& o,
                              uint16_t max) {
    return make(oid, type, o, mib_index::one, 1, max, 0, mib_formula::first);
}
// A column of a two-index table.
constexpr mib_variable column2(std::initializer_list<uint32_t> oid, uint8_t type, const DbObject& o,
                               uint16_t max1, uint16_t max2,
                               mib_formula formula = mib_formula::flat) {
    return make(oid, type, o, mib_index::two, 2, max1, max2, formula);
}
// A row whose instances only its hooks know (index count as the registry
// should treat it when rewriting GETNEXT names).
constexpr mib_variable custom(std::initializer_list<uint32_t> oid, uint8_t type,
                              const mib_hooks* hooks, uint8_t index_count, uint32_t tag = 0) {
    return make(oid, type, no_object, mib_index::custom, index_count, 0, 0, mib_formula::first)
        .hooked(hooks, tag);
}

// A column of a table that never has an instance.
constexpr mib_variable empty(std::initializer_list<uint32_t> oid, uint8_t type,
                             uint8_t index_count) {
    return custom(oid, type, &mib_empty_hooks, index_count);
}

// A column of a one-index table (1..max) whose value is the index itself.
constexpr mib_variable index_column(std::initializer_list<uint32_t> oid, uint16_t max) {
    return make(oid, MIB_INTEGER, no_object, mib_index::custom, 1, max, 0, mib_formula::first)
        .hooked(&mib_index_hooks);
}

// The rows with `prefix` put in front of each OID.
template <size_t N>
constexpr std::array<mib_variable, N> under(std::initializer_list<uint32_t> prefix,
                                            const mib_variable (&rows)[N]) {
    std::array<mib_variable, N> out{};
    for (size_t i = 0; i < N; ++i) {
        mib_variable v = rows[i];
        v.oid_length = 0;
        for (uint32_t s : prefix)
            v.oid[v.oid_length++] = s;
        for (uint32_t k = 0; k < rows[i].oid_length; ++k)
            v.oid[v.oid_length++] = rows[i].oid[k];
        out[i] = v;
    }
    return out;
}

template <size_t N> constexpr mib_table table(const std::array<mib_variable, N>& rows) {
    return mib_table{rows.data(), uint16_t(N)};
}

} // namespace mibdef
