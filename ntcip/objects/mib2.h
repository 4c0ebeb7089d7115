// MIB-II objects of the "cls b" subtree (1.3.6.1.2.1): the tables of the
// system, interfaces, at, ip, Ethernet statistics, LAPB, RS-232 and snmp
// groups, the address-translation cache the agents fill, and the pending
// network-configuration flag that SETs of the interface address, mask and
// gateway raise.
#pragma once

#include "ntcip/mib/mib_table.h"

extern const mib_table mib2_system_table;
extern const mib_table mib2_interfaces_table;
extern const mib_table mib2_at_table;
extern const mib_table mib2_ip_table;
extern const mib_table mib2_dot3_table;
extern const mib_table mib2_lapb_table;
extern const mib_table mib2_rs232_table;
extern const mib_table mib2_snmp_table;

// Address-translation cache: entry n (0..4) := {IPv4 address, a in the top
// byte; 6-byte physical address}. Other n are ignored.
constexpr uint32_t AT_CACHE_ENTRIES = 5;
void at_cache_set(uint32_t n, uint32_t address, const uint8_t physical[6]);

// Set by SETs of ipAdEntAddr, ipAdEntNetMask and ipRouteDest; the software
// reset publishes the Ethernet configuration change while it is set.
bool network_config_changed();
void set_network_config_changed(bool on);
