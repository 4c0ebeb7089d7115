#include "comm/agents/trap_raise.h"

#include "comm/agents/ntcip_agents.h"
#include "comm/snmp/snmp.h"
#include "store/database.h"
#include "store/objects.h"

#include <atomic>
#include <cstring>

namespace {

std::atomic<trap_sink> g_sink{nullptr};

const uint32_t SYS_LOCATION_OID[] = {1, 3, 6, 1, 2, 1, 1, 6, 0};
const uint32_t GLOBAL_TIME_OID[] = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 3, 1, 0};

template <size_t N> void set_name(trap_varbind& v, const uint32_t (&oid)[N]) {
    static_assert(N <= TRAP_NAME_MAX, "a trap varbind name has at most 40 sub-identifiers");
    std::memcpy(v.name, oid, sizeof oid);
    v.name_length = N;
}

} // namespace

void raise_trap(uint32_t generic, uint32_t specific, uint32_t count, const trap_varbind* varbinds) {
    if (count > TRAP_VARBINDS_MAX) count = TRAP_VARBINDS_MAX;
    trap_sink sink = g_sink.load();
    if (sink) sink(generic, specific, count, varbinds);
    CNTCIP::SendTrap(generic, specific, count, varbinds);
}

trap_sink set_trap_sink(trap_sink sink) {
    return g_sink.exchange(sink);
}

uint32_t location_time_varbinds(trap_varbind out[2], uint32_t global_time) {
    std::memset(out, 0, 2 * sizeof(trap_varbind));
    set_name(out[0], SYS_LOCATION_OID);
    out[0].type = SNMP_OCTETSTR;
    char text[TRAP_VALUE_MAX + 1];
    out[0].value_length = db_get_string_copy(obj::sysLocation, text, sizeof text);
    std::memcpy(out[0].value, text, out[0].value_length);
    set_name(out[1], GLOBAL_TIME_OID);
    out[1].type = SNMP_COUNTER;
    out[1].value_length = 4;
    std::memcpy(out[1].value, &global_time, 4);
    return 2;
}

void raise_sign_trap(uint32_t specific, const trap_varbind* extra) {
    trap_varbind varbinds[3];
    uint32_t count = location_time_varbinds(varbinds, db_get_time());
    if (extra) varbinds[count++] = *extra;
    raise_trap(TRAP_ENTERPRISE_SPECIFIC, specific, count, varbinds);
}
