// MIB-II address-translation group (1.3.6.1.2.1.3): served from a small
// cache that the agents' address configuration fills. An instance is
// column.i.1.a.b.c.d (i the cache entry from 0, a.b.c.d its address); the
// table is reached only by GETNEXT, which walks the entries in use.
#include "ntcip/objects/mib2.h"

#include "runtime/console.h"
#include "platform/kernel/kernel.h"

#include <cstring>

namespace {

using namespace mibdef;

struct AtEntry {
    uint32_t address;
    uint8_t physical[6];
};

AtEntry g_cache[AT_CACHE_ENTRIES];
// Entries a walk shows: entry 0 (the sign's own address) and entry 1.
constexpr uint32_t AT_ENTRIES_IN_USE = 1;
constexpr uint32_t AT_INDEX_LENGTH = 6; // i.1.a.b.c.d

AtEntry entry(uint32_t i) {
    CInterruptLock guard;
    return g_cache[i];
}

// GETNEXT: the first entry i whose instance lies after the name; GET and
// SET never name an instance.
int header_at(mib_request& request) {
    const mib_variable& row = request.row;
    const uint32_t column = row.oid_length - 1u;
    uint32_t candidate[MIB_ROW_OID_MAX + 1];
    std::memcpy(candidate, row.oid, column * sizeof(uint32_t));
    uint32_t i = 0;
    if (request.mode == MIB_GETNEXT) {
        for (; i < AT_CACHE_ENTRIES; ++i) {
            candidate[column] = i;
            if (snmp_oid_compare(request.name, *request.length, candidate, column + 1) < 0) break;
        }
    }
    if (request.mode != MIB_GETNEXT || i > AT_ENTRIES_IN_USE) {
        console_printf("header_at.. index out of range\n");
        return -1;
    }
    const uint32_t a = entry(i).address;
    const uint32_t index[AT_INDEX_LENGTH] = {i,       1, a >> 24, (a >> 16) & 0xFF, (a >> 8) & 0xFF,
                                             a & 0xFF};
    std::memcpy(request.name, row.oid, column * sizeof(uint32_t));
    std::memcpy(request.name + column, index, sizeof index);
    *request.length = column + AT_INDEX_LENGTH;
    *request.value_length = 4;
    return int(i);
}

enum AtColumn : uint32_t { AT_IF_INDEX = 1, AT_PHYS_ADDRESS = 2, AT_NET_ADDRESS = 3 };

bool read_at(mib_request& request, uint32_t i) {
    const AtEntry e = entry(i);
    switch (request.row.column.tag) {
    case AT_PHYS_ADDRESS:
        mib_answer_bytes(request, e.physical, sizeof e.physical);
        break;
    case AT_NET_ADDRESS:
        mib_answer_integer(request, e.address);
        break;
    case AT_IF_INDEX:
    default:
        mib_answer_integer(request, i);
        break;
    }
    return true;
}

constexpr mib_hooks kAt = {header_at, read_at, nullptr};

// Each column OID ends in the placeholder 5; the lookup hands GETNEXT names
// over as they came (index count 6) and header_at steps them.
constexpr auto kRows =
    under({1, 3, 6, 1, 2, 1, 3, 1, 1},
          {
              custom({1, 5}, MIB_INTEGER, &kAt, AT_INDEX_LENGTH, AT_IF_INDEX)
                  .rw()
                  .writes(mib_write::none),
              custom({2, 5}, MIB_OCTETSTR, &kAt, AT_INDEX_LENGTH, AT_PHYS_ADDRESS)
                  .rw()
                  .writes(mib_write::none),
              custom({3, 5}, MIB_IPADDRESS, &kAt, AT_INDEX_LENGTH, AT_NET_ADDRESS)
                  .rw()
                  .writes(mib_write::none),
          });

} // namespace

const mib_table mib2_at_table = table(kRows);

void at_cache_set(uint32_t n, uint32_t address, const uint8_t physical[6]) {
    if (n >= AT_CACHE_ENTRIES) return;
    CInterruptLock guard;
    g_cache[n].address = address;
    if (physical != nullptr) std::memcpy(g_cache[n].physical, physical, 6);
}
