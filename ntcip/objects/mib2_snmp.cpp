// MIB-II snmp group (1.3.6.1.2.1.11): the counters the agent raises.
// snmpInTotalReqVars and snmpInTotalSetVars are not served; a SET of
// snmpEnableAuthenTraps is answered and not stored.
#include "ntcip/objects/mib2.h"

namespace {

using namespace mibdef;

constexpr auto kRows =
    under({1, 3, 6, 1, 2, 1, 11}, {
                                      scalar({1, 0}, MIB_COUNTER, obj::snmpInPkts),
                                      scalar({2, 0}, MIB_COUNTER, obj::snmpOutPkts),
                                      scalar({3, 0}, MIB_COUNTER, obj::snmpInBadVersions),
                                      scalar({4, 0}, MIB_COUNTER, obj::snmpInBadCommunityNames),
                                      scalar({5, 0}, MIB_COUNTER, obj::snmpInBadCommunityUses),
                                      scalar({6, 0}, MIB_COUNTER, obj::snmpInASNParseErrs),
                                      scalar({8, 0}, MIB_COUNTER, obj::snmpInTooBigs),
                                      scalar({9, 0}, MIB_COUNTER, obj::snmpInNoSuchNames),
                                      scalar({10, 0}, MIB_COUNTER, obj::snmpInBadValues),
                                      scalar({11, 0}, MIB_COUNTER, obj::snmpInReadOnlys),
                                      scalar({12, 0}, MIB_COUNTER, obj::snmpInGenErrs),
                                      scalar({15, 0}, MIB_COUNTER, obj::snmpInGetRequests),
                                      scalar({16, 0}, MIB_COUNTER, obj::snmpInGetNexts),
                                      scalar({17, 0}, MIB_COUNTER, obj::snmpInSetRequests),
                                      scalar({18, 0}, MIB_COUNTER, obj::snmpInGetResponses),
                                      scalar({19, 0}, MIB_COUNTER, obj::snmpInTraps),
                                      scalar({20, 0}, MIB_COUNTER, obj::snmpOutTooBigs),
                                      scalar({21, 0}, MIB_COUNTER, obj::snmpOutNoSuchNames),
                                      scalar({22, 0}, MIB_COUNTER, obj::snmpOutBadValues),
                                      scalar({24, 0}, MIB_COUNTER, obj::snmpOutGenErrs),
                                      scalar({25, 0}, MIB_COUNTER, obj::snmpOutGetRequests),
                                      scalar({26, 0}, MIB_COUNTER, obj::snmpOutGetNexts),
                                      scalar({27, 0}, MIB_COUNTER, obj::snmpOutSetRequests),
                                      scalar({28, 0}, MIB_COUNTER, obj::snmpOutGetResponses),
                                      scalar({29, 0}, MIB_COUNTER, obj::snmpOutTraps),
                                      scalar({30, 0}, MIB_INTEGER, obj::snmpEnableAuthenTraps)
                                          .rw()
                                          .list({1, 2})
                                          .writes(mib_write::none),
                                  });

} // namespace

const mib_table mib2_snmp_table = table(kRows);
