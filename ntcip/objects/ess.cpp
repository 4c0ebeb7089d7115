// Location objects of the "ess" subtree (1.3.6.1.4.1.1206.4.2.5): read-only
// copies of the configured position (millionths of a degree; 90000001 and
// 180000001 mean no position) that the run-time defaults take at start, so a
// new position shows after the next start.
#include "ntcip/objects/protocol.h"

namespace {

using namespace mibdef;

constexpr auto kEssRows =
    under({1, 3, 6, 1, 4, 1, 1206, 4, 2, 5, 2, 2},
          {
              scalar({1, 0}, MIB_INTEGER, obj::essLatitude)
                  .srange(-90000000, 90000001)
                  .as(mib_value::signed_int),
              scalar({2, 0}, MIB_INTEGER, obj::essLongitude)
                  .srange(-180000000, 180000001)
                  .as(mib_value::signed_int),
              scalar({4, 0}, MIB_INTEGER, obj::essVehicleBearing).range(0, 361),
          });

} // namespace

const mib_table ess_location_table = table(kEssRows);
