// Customer subtree panynj (1.3.6.1.4.1.1206.3.32.1): the two blanking limits
// of the display (second names of fdotMaxNumPixelFailure and
// halvLegibilityRatioThreshold), the message running when the display blanked
// the sign, the request source of the running message, the count of requests
// refused for their community (the agent raises it), the legibility ratio and
// the display's status text.
#include "ntcip/objects/customer.h"

namespace {

using namespace mibdef;

constexpr uint32_t BLANKING_MASK = 0x08000000;

constexpr auto kRows =
    under({1, 3, 6, 1, 4, 1, 1206, 3, 32, 1},
          {
              scalar({1, 0}, MIB_INTEGER, obj::panynjObj1_1)
                  .rw()
                  .range(0, 0xFFFFFFFFu)
                  .mask(BLANKING_MASK),
              scalar({2, 0}, MIB_INTEGER, obj::panynjObj1_2).rw().range(0, 100).mask(BLANKING_MASK),
              scalar({3, 0}, MIB_OCTETSTR, obj::panynjObj1_3).len(5, 5),
              scalar({4, 0}, MIB_INTEGER, obj::panynjObj1_4)
                  .list({1, 2, 3})
                  .hooked(&customer_map_hooks, MAP_PANYNJ_SOURCE),
              scalar({5, 0}, MIB_COUNTER, obj::panynjObj1_5),
              scalar({6, 0}, MIB_INTEGER, obj::panynjObj1_6).range(0, 100),
              scalar({7, 0}, MIB_OCTETSTR, obj::panynjObj1_7).len(0, 50),
          });

} // namespace

const mib_table panynj_table = table(kRows);
