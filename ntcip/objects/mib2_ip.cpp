// MIB-II ip group (1.3.6.1.2.1.4): the forwarding settings and counters, the
// one address row and the one route row (both named by index 1, not by the
// address), and the address-to-media table, which is always empty.
#include "ntcip/objects/mib2.h"

#include "store/database.h"

#include <atomic>

namespace {

using namespace mibdef;

std::atomic<bool> g_network_config_changed{false};

// The interface address, mask and gateway: written, then the new network
// configuration is pending until the sign restarts.
int write_network(mib_request& request, uint32_t row) {
    int result = db_set(mib_row_object(request.row, row), request.ctx.set_value.integer,
                        request.ctx.write_flags);
    if (result == DB_OK) set_network_config_changed(true);
    return result;
}
constexpr mib_hooks kNetwork = {nullptr, nullptr, write_network};

constexpr uint16_t ROWS = 1;

constexpr auto kRows = under(
    {1, 3, 6, 1, 2, 1, 4},
    {
        scalar({1, 0}, MIB_INTEGER, obj::ipForwarding).rw().list({1, 2}),
        scalar({2, 0}, MIB_INTEGER, obj::ipDefaultTTL).rw(),
        scalar({3, 0}, MIB_COUNTER, obj::ipInReceives),
        scalar({4, 0}, MIB_COUNTER, obj::ipInHdrErrors),
        scalar({5, 0}, MIB_COUNTER, obj::ipInAddrErrors),
        scalar({6, 0}, MIB_COUNTER, obj::ipForwDatagrams),
        scalar({7, 0}, MIB_COUNTER, obj::ipInUnknownProtos),
        scalar({8, 0}, MIB_COUNTER, obj::ipInDiscards),
        scalar({9, 0}, MIB_COUNTER, obj::ipInDelivers),
        scalar({10, 0}, MIB_COUNTER, obj::ipOutRequests),
        scalar({11, 0}, MIB_COUNTER, obj::ipOutDiscards),
        scalar({12, 0}, MIB_COUNTER, obj::ipOutNoRoutes),
        scalar({13, 0}, MIB_INTEGER, obj::ipReasmTimeout),
        scalar({14, 0}, MIB_COUNTER, obj::ipReasmReqds),
        scalar({15, 0}, MIB_COUNTER, obj::ipReasmOKs),
        scalar({16, 0}, MIB_COUNTER, obj::ipReasmFails),
        scalar({17, 0}, MIB_COUNTER, obj::ipFragOKs),
        scalar({18, 0}, MIB_COUNTER, obj::ipFragFails),
        scalar({19, 0}, MIB_COUNTER, obj::ipFragCreates),
        // ipAddrTable
        column({20, 1, 1, 255}, MIB_IPADDRESS, obj::ipAdEntAddr, ROWS).config().hooked(&kNetwork),
        column({20, 1, 2, 255}, MIB_INTEGER, obj::ipAdEntIfIndex, ROWS),
        column({20, 1, 3, 255}, MIB_IPADDRESS, obj::ipAdEntNetMask, ROWS)
            .config()
            .hooked(&kNetwork),
        column({20, 1, 4, 255}, MIB_INTEGER, obj::ipAdEntBcastAddr, ROWS),
        column({20, 1, 5, 255}, MIB_INTEGER, obj::ipAdEntReasmMaxSize, ROWS).range(0, 65535),
        // ipRouteTable
        column({21, 1, 1, 255}, MIB_IPADDRESS, obj::ipRouteDest, ROWS).rw().hooked(&kNetwork),
        column({21, 1, 2, 255}, MIB_INTEGER, obj::ipRouteIfIndex, ROWS).rw(),
        column({21, 1, 3, 255}, MIB_INTEGER, obj::ipRouteMetric1, ROWS).rw(),
        column({21, 1, 4, 255}, MIB_INTEGER, obj::ipRouteMetric2, ROWS).rw(),
        column({21, 1, 5, 255}, MIB_INTEGER, obj::ipRouteMetric3, ROWS).rw(),
        column({21, 1, 6, 255}, MIB_INTEGER, obj::ipRouteMetric4, ROWS).rw(),
        column({21, 1, 7, 255}, MIB_IPADDRESS, obj::ipRouteNextHop, ROWS).rw(),
        column({21, 1, 8, 255}, MIB_INTEGER, obj::ipRouteType, ROWS).rw().list({1, 2, 3, 4}),
        column({21, 1, 9, 255}, MIB_INTEGER, obj::ipRouteProto, ROWS).range(1, 14),
        column({21, 1, 10, 255}, MIB_INTEGER, obj::ipRouteAge, ROWS).rw(),
        column({21, 1, 11, 255}, MIB_IPADDRESS, obj::ipRouteMask, ROWS).rw(),
        column({21, 1, 12, 255}, MIB_INTEGER, obj::ipRouteMetric5, ROWS).rw(),
        column({21, 1, 13, 255}, MIB_OBJECTID, obj::ipRouteInfo, ROWS),
        // ipNetToMediaTable: no instances
        empty({22, 1, 1, 255}, MIB_INTEGER, 2).rw(),
        empty({22, 1, 2, 255}, MIB_OCTETSTR, 2).rw(),
        empty({22, 1, 3, 255}, MIB_IPADDRESS, 2).rw(),
        empty({22, 1, 4, 255}, MIB_INTEGER, 2).rw(),
        scalar({23, 0}, MIB_COUNTER, obj::ipRoutingDiscards),
    });

} // namespace

const mib_table mib2_ip_table = table(kRows);

bool network_config_changed() {
    return g_network_config_changed.load();
}

void set_network_config_changed(bool on) {
    g_network_config_changed.store(on);
}
