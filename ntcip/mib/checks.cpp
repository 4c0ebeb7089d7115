// Name comparison, the OID form of the store, the syntax check and the
// instance checks of the registry's handlers.
#include "ntcip/mib/mib_table.h"

#include <cstring>

int snmp_oid_compare(const uint32_t* a, uint32_t a_length, const uint32_t* b, uint32_t b_length) {
    uint32_t n = a_length < b_length ? a_length : b_length;
    for (uint32_t i = 0; i < n; ++i) {
        if (a[i] < b[i]) return -1;
        if (a[i] > b[i]) return 1;
    }
    if (a_length < b_length) return -1;
    return a_length > b_length ? 1 : 0;
}

int snmp_oid_ncompare(const uint32_t* a, uint32_t a_length, const uint32_t* b, uint32_t b_length,
                      uint32_t n) {
    if (a_length < n) return a_length >= b_length ? 1 : -1;
    uint32_t m = b_length < n ? b_length : n;
    for (uint32_t i = 0; i < m; ++i) {
        if (a[i] < b[i]) return -1;
        if (a[i] > b[i]) return 1;
    }
    return b_length < n ? 1 : 0;
}

void oid_to_octets(uint8_t* bytes, const uint32_t* subids, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        bytes[4 * i] = uint8_t(subids[i] >> 24);
        bytes[4 * i + 1] = uint8_t(subids[i] >> 16);
        bytes[4 * i + 2] = uint8_t(subids[i] >> 8);
        bytes[4 * i + 3] = uint8_t(subids[i]);
    }
    bytes[4 * count] = 0;
}

uint32_t octets_to_oid(uint32_t* subids, uint32_t capacity, const uint8_t* bytes,
                       uint32_t byte_length) {
    uint32_t n = byte_length / 4 < capacity ? byte_length / 4 : capacity;
    for (uint32_t i = 0; i < n; ++i) {
        const uint8_t* g = bytes + 4 * i;
        subids[i] = uint32_t(g[0]) << 24 | uint32_t(g[1]) << 16 | uint32_t(g[2]) << 8 | g[3];
    }
    return n;
}

int check_syntax_match(uint32_t syntax, uint8_t type) {
    struct Pair {
        uint32_t syntax;
        uint8_t type;
    };
    static const Pair kPairs[] = {
        {SNMP_INTEGER, MIB_INTEGER},   {SNMP_UINTEGER, MIB_INTEGER},
        {SNMP_OCTETSTR, MIB_OCTETSTR}, {SNMP_OBJECTID, MIB_OBJECTID},
        {SNMP_IPADDR, MIB_IPADDRESS},  {SNMP_COUNTER, MIB_COUNTER},
        {SNMP_GAUGE, MIB_GAUGE},       {SNMP_TIMETICKS, MIB_TIMETICKS},
        {SNMP_OPAQUE, MIB_OPAQUE},
    };
    for (const Pair& p : kPairs)
        if (p.syntax == syntax && p.type == type) return 1;
    return 0;
}

int header_scalar(const mib_variable& row, const uint32_t* name, uint32_t length) {
    return snmp_oid_compare(name, length, row.oid, row.oid_length) == 0 ? 0 : -1;
}

namespace {

bool under_column(const mib_variable& row, const uint32_t* name, uint32_t length) {
    uint32_t column = row.oid_length - 1u;
    return length >= column && std::memcmp(name, row.oid, column * sizeof(uint32_t)) == 0;
}

} // namespace

int header_generic(mib_request& request, uint32_t maximum) {
    const mib_variable& row = request.row;
    const uint32_t L = row.oid_length;
    const uint32_t* name = request.name;
    if (*request.length != L || !under_column(row, name, L) || name[L - 1] == 0) return -1;
    if (name[L - 1] > maximum) {
        if (request.mode == MIB_GETNEXT) request.ctx.roll_flag = 1;
        return -1;
    }
    return 0;
}

int header_table(mib_request& request, const uint32_t* maxima, uint32_t n) {
    const mib_variable& row = request.row;
    const uint32_t column = row.oid_length - 1u;
    const uint32_t* name = request.name;
    if (*request.length != column + n || !under_column(row, name, *request.length)) return -1;
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t index = name[column + i];
        if (index > maxima[i]) {
            request.ctx.rollover_count = uint8_t(n - i);
            return -1;
        }
        if (index == 0) return -1; // rows are numbered from 1
    }
    return 0;
}
