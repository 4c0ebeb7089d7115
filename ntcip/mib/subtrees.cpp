// The 11 registered subtrees, in list order (ascending root OID), each with
// the tables of its object groups. A subtree whose groups are not served yet
// has no tables; the lookup passes over it.
#include "ntcip/mib/registry.h"
#include "ntcip/objects/customer.h"
#include "ntcip/objects/fonts_graphics.h"
#include "ntcip/objects/global.h"
#include "ntcip/objects/mib2.h"
#include "ntcip/objects/private.h"
#include "ntcip/objects/protocol.h"
#include "ntcip/objects/sign_groups.h"
#include "ntcip/objects/sign_status.h"

#include <initializer_list>

namespace {

constexpr mib_subtree_oid oid(std::initializer_list<uint32_t> prefix,
                              std::initializer_list<uint32_t> rest = {}) {
    mib_subtree_oid o{};
    for (uint32_t s : prefix)
        o.sub[o.length++] = s;
    for (uint32_t s : rest)
        o.sub[o.length++] = s;
    return o;
}

#define MIB2 1, 3, 6, 1, 2, 1
#define NTCIP 1, 3, 6, 1, 4, 1, 1206

const mib_table* const kClassB[] = {
    &mib2_system_table, &mib2_interfaces_table, &mib2_at_table,    &mib2_ip_table,
    &mib2_dot3_table,   &mib2_lapb_table,       &mib2_rs232_table, &mib2_snmp_table,
};

const mib_table* const kAuxIO[] = {&auxio_table};
const mib_table* const kFdot[] = {&fdot_table};
const mib_table* const kQuorvel[] = {&quorvel_config_table, &quorvel_status_table};
const mib_table* const kPanynj[] = {&panynj_table};
const mib_table* const kZuduz[] = {&zuduz_table};
// The private groups in OID order: halv 1, the halv 2 scalars around the
// configuration groups, then halv 3, 5, 6, 9 and 11.
const mib_table* const kHalv[] = {
    &halv_test_pattern_table,   &halv_config_table,   &halv_peripheral_table,
    &halv_traps_table,          &halv_ports_table,    &halv_switch_message_table,
    &halv_config_network_table, &halv_tuning_table,   &halv_line_length_table,
    &halv_config_flash_table,   &halv_dialback_table, &halv_file_transfer_table,
    &halv_status_table,         &halv_text_table,     &halv_caller_id_table,
    &halv_results_table,
};
const mib_table* const kProtocol[] = {&protocol_table};
// The sign's groups in OID order (1 to 10).
const mib_table* const kDms[] = {
    &dms_sign_cfg_table, &vms_cfg_table,      &dms_font_table,       &multi_cfg_table,
    &dms_message_table,  &sign_control_table, &dms_illum_table,      &dms_action_table,
    &dms_status_table,   &dms_error_table,    &dms_power_temp_table, &dms_graphic_table,
};
// The private groups in OID order.
const mib_table* const kEss[] = {&ess_location_table};
const mib_table* const kGlobal[] = {
    &global_config_table,   &global_db_table,        &global_time_table,
    &global_timebase_table, &global_time_zone_table, &global_event_log_table,
    &global_security_table, &global_auxio_table,
};

template <size_t N> constexpr uint8_t count_of(const mib_table* const (&)[N]) {
    return uint8_t(N);
}

mib_subtree g_subtrees[MIB_SUBTREES] = {
    {"cls b", oid({MIB2}), oid({MIB2}, {1, 1, 0}), oid({MIB2}, {11, 31}), kClassB,
     count_of(kClassB), nullptr, 0, nullptr, nullptr},
    {"auxio", oid({NTCIP}, {2, 1, 1}), oid({NTCIP}, {2, 1, 1, 1, 0}),
     oid({NTCIP}, {2, 1, 1, 3, 1, 7}), kAuxIO, count_of(kAuxIO), nullptr, 0, nullptr, nullptr},
    {"fdot", oid({NTCIP}, {3, 6}), oid({NTCIP}, {3, 6, 11, 1, 0}), oid({NTCIP}, {3, 6, 11, 13}),
     kFdot, count_of(kFdot), nullptr, 0, nullptr, nullptr},
    {"halv", oid({NTCIP}, {3, 11}), oid({NTCIP}, {3, 11, 1, 1, 0}), oid({NTCIP}, {3, 11, 11, 7, 0}),
     kHalv, count_of(kHalv), nullptr, 0, nullptr, nullptr},
    {"quorvel", oid({NTCIP}, {3, 16}), oid({NTCIP}, {3, 16, 1, 1, 1, 0}),
     oid({NTCIP}, {3, 16, 1, 3}), kQuorvel, count_of(kQuorvel), nullptr, 0, nullptr, nullptr},
    {"panynj", oid({NTCIP}, {3, 32}), oid({NTCIP}, {3, 32, 1, 1, 0}), oid({NTCIP}, {3, 32, 1, 8}),
     kPanynj, count_of(kPanynj), nullptr, 0, nullptr, nullptr},
    {"zuduz", oid({NTCIP}, {3, 35}), oid({NTCIP}, {3, 35, 1, 0}), oid({NTCIP}, {3, 35, 5, 0}),
     kZuduz, count_of(kZuduz), nullptr, 0, nullptr, nullptr},
    // The end lies past snmpMaxPacketSize (.7.1.1.0), the subtree's last object.
    {"protocol", oid({NTCIP}, {4, 1}), oid({NTCIP}, {4, 1, 1, 1, 1, 0}),
     oid({NTCIP}, {4, 1, 7, 1, 2}), kProtocol, count_of(kProtocol), nullptr, 0, nullptr, nullptr},
    {"dms", oid({NTCIP}, {4, 2, 3}), oid({NTCIP}, {4, 2, 3, 1, 1, 0}),
     oid({NTCIP}, {4, 2, 3, 10, 7, 1, 4}), kDms, count_of(kDms), nullptr, 0, nullptr, nullptr},
    {"ess", oid({NTCIP}, {4, 2, 5}), oid({NTCIP}, {4, 2, 5, 2, 2, 1, 0}),
     oid({NTCIP}, {4, 2, 5, 3}), kEss, count_of(kEss), nullptr, 0, nullptr, nullptr},
    {"global", oid({NTCIP}, {4, 2, 6}), oid({NTCIP}, {4, 2, 6, 1, 1, 0}),
     oid({NTCIP}, {4, 2, 6, 7, 3, 1, 8}), kGlobal, count_of(kGlobal), nullptr, 0, nullptr, nullptr},
};

#undef MIB2
#undef NTCIP

} // namespace

mib_subtree* mib_subtree_records() {
    return g_subtrees;
}
