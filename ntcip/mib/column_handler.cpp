// The generic handler of the registry's rows: it reads a row's column
// descriptor (catalogue object, index form, value form, write policy, hooks)
// and serves the object from the store; and the conversions between a
// varbind and the values the handlers stage and answer.
#include "ntcip/mib/mib_table.h"

#include "platform/monitor/monitor.h"
#include "store/database.h"

#include <cstring>

namespace {

uint32_t row_of_two(const mib_column& c, uint32_t i, uint32_t j) {
    switch (c.formula) {
    case mib_formula::first:
        return i - 1;
    case mib_formula::second:
        return j - 1;
    case mib_formula::flat:
    default:
        return (i - 1) * c.max2 + (j - 1);
    }
}

// The row number the instance names, or -1.
int instance_row(mib_request& request) {
    const mib_column& c = request.row.column;
    if (c.hooks != nullptr && c.hooks->instance != nullptr) return c.hooks->instance(request);
    const uint32_t L = request.row.oid_length;
    switch (c.index) {
    case mib_index::scalar:
        return header_scalar(request.row, request.name, *request.length);
    case mib_index::one:
        if (header_generic(request, c.max1) != 0) return -1;
        return int(request.name[L - 1] - 1);
    case mib_index::two: {
        const uint32_t maxima[2] = {c.max1, c.max2};
        if (header_table(request, maxima, 2) != 0) return -1;
        return int(row_of_two(c, request.name[L - 1], request.name[L]));
    }
    case mib_index::custom:
    default:
        return -1;
    }
}

int store_write(mib_request& request, uint32_t row) {
    return mib_write_object(request, mib_row_object(request.row, row), request.ctx.write_flags);
}

void write(mib_request& request, uint32_t row) {
    const mib_column& c = request.row.column;
    if (c.write == mib_write::none) return;
    if (c.write == mib_write::generr) {
        *request.error_status = 5;
        return;
    }
    int result = c.hooks != nullptr && c.hooks->write != nullptr ? c.hooks->write(request, row)
                                                                 : store_write(request, row);
    if (result == DB_OK) {
        // The journal's records of this write are in flash before the answer.
        mon_tfsctrl(TFS_CTRL_SYNC, 0, 0);
        return;
    }
    // What the store did not keep is never acknowledged: genErr, unless the
    // column reports a refused value as badValue.
    *request.error_status = c.write == mib_write::report && result == DB_REFUSED ? 3 : 5;
}

uintptr_t* answer(mib_request& request, uint32_t row) {
    const mib_column& c = request.row.column;
    if (c.hooks != nullptr && c.hooks->read != nullptr && c.hooks->read(request, row))
        return &request.varbind.handler_result;
    return mib_answer_object(request, mib_row_object(request.row, row), c.value);
}

uint32_t load_native(const uint8_t* bytes) {
    uint32_t v = 0;
    std::memcpy(&v, bytes, 4);
    return v;
}

uint32_t load_be(const uint8_t* bytes, uint32_t count) {
    uint32_t v = 0;
    for (uint32_t i = 0; i < count && i < 4; ++i)
        v = v << 8 | bytes[i];
    return v;
}

} // namespace

uint16_t mib_syntax_of(uint8_t type) {
    switch (type) {
    case MIB_OBJECTID:
        return SNMP_OBJECTID;
    case MIB_OCTETSTR:
        return SNMP_OCTETSTR;
    case MIB_IPADDRESS_OLD:
    case MIB_IPADDRESS:
        return SNMP_IPADDR;
    case MIB_COUNTER:
        return SNMP_COUNTER;
    case MIB_GAUGE:
        return SNMP_GAUGE;
    case MIB_TIMETICKS:
        return SNMP_TIMETICKS;
    case MIB_OPAQUE:
        return SNMP_OPAQUE;
    case MIB_INTEGER:
    default:
        return SNMP_INTEGER;
    }
}

namespace {

int no_instance(mib_request&) {
    return -1;
}

int index_instance(mib_request& request) {
    if (header_generic(request, request.row.column.max1) != 0) return -1;
    return int(request.name[request.row.oid_length - 1] - 1);
}

} // namespace

bool mib_read_index(mib_request& request, uint32_t row) {
    mib_answer_integer(request, row + 1);
    return true;
}

const mib_hooks mib_empty_hooks = {no_instance, nullptr, nullptr};
const mib_hooks mib_index_hooks = {index_instance, mib_read_index, nullptr};

DbObject mib_row_object(const mib_variable& row, uint32_t r) {
    return row.column.object.row(r);
}

uintptr_t* mib_column_handler(mib_request& request) {
    int row = instance_row(request);
    if (row < 0) return nullptr;
    const DbObject& object = request.row.column.object;
    if (request.row.column.index != mib_index::custom && uint32_t(row) >= object.rows &&
        object.rows != 0)
        return nullptr; // a maximum beyond the catalogue's rows names nothing
    if (request.checking_only()) return &request.varbind.handler_result;
    if (request.committing()) write(request, uint32_t(row));
    return answer(request, uint32_t(row));
}

uintptr_t* mib_answer_integer(mib_request& request, uint32_t value) {
    request.varbind.handler_result = value;
    return &request.varbind.handler_result;
}

int mib_write_object(mib_request& request, const DbObject& object, uint32_t flags) {
    const mib_value form = request.row.column.value;
    const mib_set_value& v = request.ctx.set_value;
    if (form == mib_value::octets || form == mib_value::oid)
        return db_set_string(object, v.bytes, v.length, flags);
    return db_set(object, v.integer, flags);
}

uintptr_t* mib_answer_object(mib_request& request, const DbObject& object, mib_value form) {
    switch (form) {
    case mib_value::signed_int:
        return mib_answer_integer(request, uint32_t(db_get_signed(object)));
    case mib_value::octets:
    case mib_value::oid: {
        uint32_t n = db_get_string_copy(object, request.varbind.value, SNMP_MAX_VALUE);
        request.varbind.handler_result = reinterpret_cast<uintptr_t>(request.varbind.value);
        *request.value_length = n;
        return &request.varbind.handler_result;
    }
    case mib_value::unsigned_int:
    case mib_value::ip_address:
    default:
        return mib_answer_integer(request, db_get(object));
    }
}

uintptr_t* mib_answer_bytes(mib_request& request, const void* bytes, uint32_t length) {
    uint32_t n = length < SNMP_MAX_VALUE ? length : SNMP_MAX_VALUE;
    if (n > 0) std::memmove(request.varbind.value, bytes, n);
    request.varbind.handler_result = reinterpret_cast<uintptr_t>(request.varbind.value);
    *request.value_length = n;
    return &request.varbind.handler_result;
}

int mib_stage_value(mib_context& ctx, const snmp_varbind& varbind) {
    mib_set_value& v = ctx.set_value;
    v.integer = 0;
    v.above_signed = false;
    v.length = 0;
    v.bytes[0] = 0;
    switch (varbind.syntax) {
    case SNMP_INTEGER:
    case SNMP_UINTEGER:
    case SNMP_COUNTER:
    case SNMP_GAUGE:
    case SNMP_TIMETICKS:
        v.integer = load_native(varbind.value);
        v.length = 4;
        v.above_signed = v.integer > 0x7FFFFFFFu && varbind.syntax != SNMP_INTEGER;
        return 1;
    case SNMP_IPADDR:
    case SNMP_OCTETSTR:
    case SNMP_OPAQUE:
        if (varbind.value_length > MIB_SET_VALUE_MAX) return 0;
        if (varbind.syntax == SNMP_IPADDR && varbind.value_length != 4) return 0;
        std::memcpy(v.bytes, varbind.value, varbind.value_length);
        v.length = varbind.value_length;
        v.bytes[v.length] = 0;
        if (varbind.syntax == SNMP_IPADDR) v.integer = load_be(v.bytes, v.length);
        return 1;
    case SNMP_OBJECTID: {
        uint32_t count = varbind.value_length / 4;
        if (4 * count > MIB_SET_VALUE_MAX - 4) return 0;
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t subid = load_native(varbind.value + 4 * i);
            oid_to_octets(v.bytes + 4 * i, &subid, 1);
        }
        v.length = 4 * count;
        v.bytes[v.length] = 0;
        return 1;
    }
    default:
        return 1;
    }
}

void mib_answer_varbind(snmp_varbind& varbind, uint8_t type, uint32_t value_length) {
    const bool unsigned_integer = type == MIB_INTEGER && varbind.syntax == SNMP_UINTEGER;
    varbind.syntax = unsigned_integer ? uint16_t(SNMP_UINTEGER) : mib_syntax_of(type);
    const uintptr_t result = varbind.handler_result;
    switch (type) {
    case MIB_OCTETSTR:
    case MIB_OPAQUE: {
        uint32_t n = value_length < SNMP_MAX_VALUE ? value_length : SNMP_MAX_VALUE;
        const uint8_t* bytes = reinterpret_cast<const uint8_t*>(result);
        if (n > 0 && bytes != varbind.value) std::memmove(varbind.value, bytes, n);
        varbind.value_length = n;
        return;
    }
    case MIB_OBJECTID: {
        const uint8_t* bytes = reinterpret_cast<const uint8_t*>(result);
        uint32_t subids[SNMP_MAX_OID];
        uint32_t n = octets_to_oid(subids, SNMP_MAX_OID, bytes, value_length);
        if (n < 2) { // not an OID the codec can encode: 0.0
            subids[0] = subids[1] = 0;
            n = 2;
        }
        std::memcpy(varbind.value, subids, 4 * n);
        varbind.value_length = 4 * n; // the codec's length: 4 bytes per sub-identifier
        return;
    }
    case MIB_IPADDRESS_OLD:
    case MIB_IPADDRESS: {
        uint32_t a = uint32_t(result);
        const uint8_t bytes[4] = {uint8_t(a >> 24), uint8_t(a >> 16), uint8_t(a >> 8), uint8_t(a)};
        std::memcpy(varbind.value, bytes, 4);
        varbind.value_length = 4;
        return;
    }
    default: {
        uint32_t number = uint32_t(result);
        std::memcpy(varbind.value, &number, 4);
        varbind.value_length = 4;
        return;
    }
    }
}
