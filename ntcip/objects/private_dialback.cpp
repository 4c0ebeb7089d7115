// The dial-back settings of the CCP port (1.3.6.1.4.1.1206.3.11.3), read by
// the trap delivery's modem dial-back, and the caller-ID record of the
// dial-up modem (1.3.6.1.4.1.1206.3.11.9), which only the modem driver writes.
#include "ntcip/objects/private.h"

namespace {

using namespace mibdef;

constexpr auto kDialbackRows =
    under({1, 3, 6, 1, 4, 1, 1206, 3, 11, 3},
          {
              scalar({1, 0}, MIB_OCTETSTR, obj::halvCallbackNumber)
                  .rw()
                  .len(0, 25)
                  .mask(HALV_MASK_COMMUNICATION),
              scalar({2, 0}, MIB_INTEGER, obj::halvCallbackMinTimeBetweenAttempts)
                  .rw()
                  .range(5, 65535)
                  .mask(HALV_MASK_COMMUNICATION),
              scalar({3, 0}, MIB_INTEGER, obj::halvCallbackMaxAttempts)
                  .rw()
                  .range(0, 255)
                  .mask(HALV_MASK_COMMUNICATION),
          });

constexpr auto kCallerIdRows = under({1, 3, 6, 1, 4, 1, 1206, 3, 11, 9},
                                     {
                                         scalar({1, 0}, MIB_OCTETSTR, obj::halvObj9_1).len(0, 25),
                                         scalar({2, 0}, MIB_COUNTER, obj::halvObj9_2),
                                         scalar({3, 0}, MIB_OCTETSTR, obj::halvObj9_3).len(0, 80),
                                     });

} // namespace

const mib_table halv_dialback_table = table(kDialbackRows);
const mib_table halv_caller_id_table = table(kCallerIdRows);
