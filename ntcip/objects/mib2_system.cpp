// MIB-II system group (1.3.6.1.2.1.1): the sign's description, identity,
// up-time, contact, name and location.
#include "ntcip/objects/mib2.h"

#include "platform/kernel/kernel.h"

namespace {

using namespace mibdef;

// Whole seconds since start (not hundredths).
bool read_up_time(mib_request& request, uint32_t) {
    mib_answer_integer(request, uint32_t(tx_time_get() / 100));
    return true;
}
constexpr mib_hooks kUpTime = {nullptr, read_up_time, nullptr};

constexpr auto kRows = under({1, 3, 6, 1, 2, 1, 1},
                             {
                                 scalar({1, 0}, MIB_OCTETSTR, obj::sysDescr).len(0, 255),
                                 scalar({2, 0}, MIB_OBJECTID, obj::sysObjectID),
                                 scalar({3, 0}, MIB_TIMETICKS, obj::sysUpTime).hooked(&kUpTime),
                                 scalar({4, 0}, MIB_OCTETSTR, obj::sysContact).rw().len(0, 255),
                                 scalar({5, 0}, MIB_OCTETSTR, obj::sysName).rw().len(0, 255),
                                 scalar({6, 0}, MIB_OCTETSTR, obj::sysLocation).rw().len(0, 255),
                                 scalar({7, 0}, MIB_INTEGER, obj::sysServices).range(0, 127),
                             });

} // namespace

const mib_table mib2_system_table = table(kRows);
