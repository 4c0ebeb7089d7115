// Protocol objects (1.3.6.1.4.1.1206.4.1): CHAP (the agent withholds it from
// every request not made with the privileged community), the PMPP link
// scalar and group-address table, and the SNMP configuration. The
// group-address table shows each stored address twice: as written, and as
// the HDLC address octet.
#include "ntcip/objects/protocol.h"

#include "store/database.h"

namespace {

using namespace mibdef;

constexpr uint16_t CHAP_SECRETS = 1;
constexpr uint16_t GROUP_ADDRESSES = 10;
constexpr uint32_t PMPP_LINK_MASK = 0x04000000;
constexpr uint32_t PMPP_HDLC_MASK = 0x02000000;
constexpr uint32_t PMPP_ADDRESS_BITS = 63;

// The HDLC address octet of a group address (0: no address).
uint32_t pmpp_hdlc_of(uint32_t address) {
    if (int32_t(address) <= 0) return 0;
    return (address & PMPP_ADDRESS_BITS) << 2 | 3;
}

// The address an HDLC octet names; an even octet other than 0 names none.
bool pmpp_address_of_hdlc(uint32_t octet, uint32_t* address) {
    if (octet != 0 && (octet & 1) == 0) return false;
    *address = (octet >> 2) & PMPP_ADDRESS_BITS;
    return true;
}

bool read_hdlc(mib_request& request, uint32_t row) {
    mib_answer_integer(request, pmpp_hdlc_of(db_get(obj::pmppGroupAddress.row(row))));
    return true;
}

int write_hdlc(mib_request& request, uint32_t row) {
    uint32_t address = 0;
    if (!pmpp_address_of_hdlc(request.ctx.set_value.integer, &address)) return DB_REFUSED;
    return db_set(obj::pmppGroupAddress.row(row), address, request.ctx.write_flags);
}

constexpr mib_hooks kHdlcColumn = {nullptr, read_hdlc, write_hdlc};

// Sorted by OID: the SNMP configuration (.7) comes after the PMPP rows (.2).
constexpr auto kRows =
    under({1, 3, 6, 1, 4, 1, 1206, 4, 1},
          {
              scalar({1, 1, 1, 0}, MIB_INTEGER, obj::chapNumberOfSecrets).range(0, 255),
              column({1, 1, 2, 1, 1, 255}, MIB_OCTETSTR, obj::chapName, CHAP_SECRETS).rw(),
              column({1, 1, 2, 1, 2, 255}, MIB_OCTETSTR, obj::chapSecret, CHAP_SECRETS).rw(),
              scalar({2, 2, 1, 0}, MIB_INTEGER, obj::pmppObj2_2_1)
                  .rw()
                  .range(0, 65535)
                  .mask(PMPP_LINK_MASK),
              scalar({2, 3, 1, 0}, MIB_INTEGER, obj::pmppGroupAddressCount).range(1, 255),
              index_column({2, 3, 2, 1, 1, 255}, GROUP_ADDRESSES).range(1, 255),
              column({2, 3, 2, 1, 2, 255}, MIB_INTEGER, obj::pmppGroupAddress, GROUP_ADDRESSES)
                  .rw()
                  .range(0, 0xFFFFFFFFu)
                  .mask(PMPP_HDLC_MASK)
                  .writes(mib_write::report)
                  .hooked(&kHdlcColumn),
              column({2, 3, 2, 1, 3, 255}, MIB_INTEGER, obj::pmppGroupAddress, GROUP_ADDRESSES)
                  .rw()
                  .range(0, 62),
              scalar({7, 1, 1, 0}, MIB_INTEGER, obj::snmpMaxPacketSize).range(484, 65535),
          });

} // namespace

const mib_table protocol_table = table(kRows);
