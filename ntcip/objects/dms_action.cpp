// Action table objects (1.3.6.1.4.1.1206.4.2.3.8): the 255 actions a day-plan
// event may name, each the 5-octet message ID code of the message the
// time-base schedule runs. A code is stored as written; the schedule task
// checks it against the message table when an event selects it.
#include "ntcip/objects/sign_groups.h"

namespace {

using namespace mibdef;

const uint32_t SCHEDULE_SET_MASK = 0x00080000;
const uint16_t ACTIONS = obj::dmsActionMsgCode.rows;

constexpr auto kRows =
    under({1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 8},
          {
              scalar({1, 0}, MIB_INTEGER, obj::numActionTableEntries).range(0, 255),
              index_column({2, 1, 1, MIB_PLACEHOLDER}, ACTIONS).range(1, 255),
              column({2, 1, 2, MIB_PLACEHOLDER}, MIB_OCTETSTR, obj::dmsActionMsgCode, ACTIONS)
                  .rw()
                  .len(5, 5)
                  .mask(SCHEDULE_SET_MASK),
          });

} // namespace

const mib_table dms_action_table = table(kRows);
