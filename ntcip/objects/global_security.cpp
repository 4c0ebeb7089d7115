// Security objects (1.3.6.1.4.1.1206.4.2.6.5): the privileged community and
// the user communities with their access masks. They are the very objects
// the community check of every request reads, so a renamed or emptied user
// row takes effect at the next request. The agent withholds them from every
// request not made with the privileged community.
#include "ntcip/objects/global.h"

namespace {

using namespace mibdef;

constexpr uint16_t USERS = 100;

constexpr auto kRows =
    under({1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 5},
          {
              scalar({1, 0}, MIB_OCTETSTR, obj::communityNameAdmin).rw().len(8, 16),
              scalar({2, 0}, MIB_INTEGER, obj::communityNamesMax).range(1, 255),
              // The stored byte of the row (r + 1 from the defaults), not the index.
              column({3, 1, 1, 255}, MIB_INTEGER, obj::communityNameIndex, USERS).range(1, 255),
              column({3, 1, 2, 255}, MIB_OCTETSTR, obj::communityNameUser, USERS).rw().len(6, 16),
              column({3, 1, 3, 255}, MIB_GAUGE, obj::communityNameAccessMask, USERS)
                  .rw()
                  .range(0, 0xFFFFFFFFu),
          });

} // namespace

const mib_table global_security_table = table(kRows);
