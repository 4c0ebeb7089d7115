// MIB-II interfaces group (1.3.6.1.2.1.2): one interface, the Ethernet port.
#include "ntcip/objects/mib2.h"

namespace {

using namespace mibdef;

constexpr uint16_t ROWS = 1;

constexpr auto kRows =
    under({1, 3, 6, 1, 2, 1, 2},
          {
              scalar({1, 0}, MIB_INTEGER, obj::ifNumber),
              column({2, 1, 1, 255}, MIB_INTEGER, obj::ifIndex, ROWS),
              column({2, 1, 2, 255}, MIB_OCTETSTR, obj::ifDescr, ROWS),
              column({2, 1, 3, 255}, MIB_INTEGER, obj::ifType, ROWS).range(1, 32),
              column({2, 1, 4, 255}, MIB_INTEGER, obj::ifMtu, ROWS),
              column({2, 1, 5, 255}, MIB_GAUGE, obj::ifSpeed, ROWS).config(),
              column({2, 1, 6, 255}, MIB_OCTETSTR, obj::ifPhysAddress, ROWS).config().len(6, 6),
              column({2, 1, 7, 255}, MIB_INTEGER, obj::ifAdminStatus, ROWS).rw().list({1, 2, 3}),
              column({2, 1, 8, 255}, MIB_INTEGER, obj::ifOperStatus, ROWS).list({1, 2, 3}),
              column({2, 1, 9, 255}, MIB_TIMETICKS, obj::ifLastChange, ROWS),
              column({2, 1, 10, 255}, MIB_COUNTER, obj::ifInOctets, ROWS),
              column({2, 1, 11, 255}, MIB_COUNTER, obj::ifInUcastPkts, ROWS),
              column({2, 1, 12, 255}, MIB_COUNTER, obj::ifInNUcastPkts, ROWS),
              column({2, 1, 13, 255}, MIB_COUNTER, obj::ifInDiscards, ROWS),
              column({2, 1, 14, 255}, MIB_COUNTER, obj::ifInErrors, ROWS),
              column({2, 1, 15, 255}, MIB_COUNTER, obj::ifInUnknownProtos, ROWS),
              column({2, 1, 16, 255}, MIB_COUNTER, obj::ifOutOctets, ROWS),
              column({2, 1, 17, 255}, MIB_COUNTER, obj::ifOutUcastPkts, ROWS),
              column({2, 1, 18, 255}, MIB_COUNTER, obj::ifOutNUcastPkts, ROWS),
              column({2, 1, 19, 255}, MIB_COUNTER, obj::ifOutDiscards, ROWS),
              column({2, 1, 20, 255}, MIB_COUNTER, obj::ifOutErrors, ROWS),
              column({2, 1, 21, 255}, MIB_GAUGE, obj::ifOutQLen, ROWS),
              column({2, 1, 22, 255}, MIB_OBJECTID, obj::ifSpecific, ROWS),
          });

} // namespace

const mib_table mib2_interfaces_table = table(kRows);
