// Objects of the "protocol" subtree (1.3.6.1.4.1.1206.4.1) and the location
// objects of the "ess" subtree (1.3.6.1.4.1.1206.4.2.5).
#pragma once

#include "ntcip/mib/mib_table.h"

// CHAP name and secret of the PPP link, the PMPP link scalar and group
// addresses, and the largest SNMP message.
extern const mib_table protocol_table;
// Latitude, longitude and bearing: the configured position, copied at start.
extern const mib_table ess_location_table;
