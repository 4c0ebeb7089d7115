// Customer subtree zuduz (1.3.6.1.4.1.1206.3.35): a central system asks for
// fan runs and reads back the fans, the climate failures and the power
// status. A fan row stores the request (1 requested, 2 idle) that the
// peripheral task's climate control serves and sets back to 2; a GET of it
// answers the fans' state as a fan control last switched them (1 on, 2 off),
// while a GETNEXT and the response to a SET answer the stored request.
#include "ntcip/objects/customer.h"

#include "store/database.h"

namespace {

using namespace mibdef;

constexpr uint32_t FAN_REQUEST_MASK = 0x100000;

// The fan state a GET of a request row answers, by the row's tag.
const DbObject FAN_STATES[] = {obj::zuduzFanStatus1, obj::zuduzFanStatus2};

bool read_fan(mib_request& request, uint32_t row) {
    if (request.mode != MIB_GET) return false;
    mib_answer_integer(request, db_get(FAN_STATES[request.row.column.tag]));
    (void)row;
    return true;
}

const mib_hooks zuduz_fan_hooks = {nullptr, read_fan, nullptr};

constexpr auto kRows = under({1, 3, 6, 1, 4, 1, 1206, 3, 35},
                             {
                                 scalar({1, 0}, MIB_INTEGER, obj::zuduzFanControl1)
                                     .rw()
                                     .range(1, 2)
                                     .mask(FAN_REQUEST_MASK)
                                     .hooked(&zuduz_fan_hooks, 0),
                                 scalar({2, 0}, MIB_OCTETSTR, obj::zuduzClimateFailures).len(0, 1),
                                 scalar({3, 0}, MIB_INTEGER, obj::zuduzFanControl2)
                                     .rw()
                                     .range(1, 2)
                                     .mask(FAN_REQUEST_MASK)
                                     .hooked(&zuduz_fan_hooks, 1),
                                 scalar({4, 0}, MIB_OCTETSTR, obj::zuduzPowerStatus).len(0, 2),
                             });

} // namespace

const mib_table zuduz_table = table(kRows);
