// Ethernet statistics (1.3.6.1.2.1.10.7): one row for the Ethernet port, and
// the collision table, which is always empty.
#include "ntcip/objects/mib2.h"

namespace {

using namespace mibdef;

constexpr uint16_t ROWS = 1;

constexpr auto kRows =
    under({1, 3, 6, 1, 2, 1, 10, 7},
          {
              column({2, 1, 1, 255}, MIB_INTEGER, obj::dot3StatsIndex, ROWS),
              column({2, 1, 2, 255}, MIB_COUNTER, obj::dot3StatsAlignmentErrors, ROWS),
              column({2, 1, 3, 255}, MIB_COUNTER, obj::dot3StatsFCSErrors, ROWS),
              column({2, 1, 4, 255}, MIB_COUNTER, obj::dot3StatsSingleCollisionFrames, ROWS),
              column({2, 1, 5, 255}, MIB_COUNTER, obj::dot3StatsMultipleCollisionFrames, ROWS),
              column({2, 1, 6, 255}, MIB_COUNTER, obj::dot3StatsSQETestErrors, ROWS),
              column({2, 1, 7, 255}, MIB_COUNTER, obj::dot3StatsDeferredTransmissions, ROWS),
              column({2, 1, 8, 255}, MIB_COUNTER, obj::dot3StatsLateCollisions, ROWS),
              column({2, 1, 9, 255}, MIB_COUNTER, obj::dot3StatsExcessiveCollisions, ROWS),
              column({2, 1, 10, 255}, MIB_COUNTER, obj::dot3StatsInternalMacTransmitErrors, ROWS),
              column({2, 1, 11, 255}, MIB_COUNTER, obj::dot3StatsCarrierSenseErrors, ROWS),
              column({2, 1, 13, 255}, MIB_COUNTER, obj::dot3StatsFrameTooLongs, ROWS),
              column({2, 1, 16, 255}, MIB_COUNTER, obj::dot3StatsInternalMacReceiveErrors, ROWS),
              column({2, 1, 17, 255}, MIB_OBJECTID, obj::dot3StatsEtherChipSet, ROWS),
              // dot3CollTable (two indexes)
              empty({5, 1, 3, 255}, MIB_COUNTER, 2),
          });

} // namespace

const mib_table mib2_dot3_table = table(kRows);
