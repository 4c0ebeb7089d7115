// The customer subtrees "fdot" (1.3.6.1.4.1.1206.3.6), "quorvel"
// (1.3.6.1.4.1.1206.3.16), "panynj" (1.3.6.1.4.1.1206.3.32) and "zuduz"
// (1.3.6.1.4.1.1206.3.35): central
// systems of some agencies poll the sign through these. Most rows are second
// names of NTCIP and private objects (the same catalogue object with the
// row's own check and set mask); the rest are plain storage or small views
// of the sign's readings.
#pragma once

#include "ntcip/mib/mib_table.h"

// fdot 11: the power-supply report and table, operating limits, the no-poll
// guard, and the request source of the running message.
extern const mib_table fdot_table;
// quorvel 1.1: configuration (shut-off temperature, pixel-failure limit,
// restart command, plain storage).
extern const mib_table quorvel_config_table;
// quorvel 1.2: status (temperatures, climate control, light levels,
// daylight saving, plain-storage tables).
extern const mib_table quorvel_status_table;
// panynj 1: blanking limits, the blanked message, the request source, the
// refused-community counter, the legibility ratio and the status text.
extern const mib_table panynj_table;

// zuduz: the customer's fan requests, the fans' state, the climate failures
// and the power status (ntcip/objects/zuduz.cpp).
extern const mib_table zuduz_table;

// Stored codes that these subtrees serve translated: a row hooked with
// customer_map_hooks and one of these tags answers the mapped value of its
// catalogue object.
enum customer_map : uint32_t {
    MAP_FDOT_SOURCE,   // request source: 5 (temperature blank) -> 3, 7 -> 4, else 1
    MAP_PANYNJ_SOURCE, // request source: 4 (legibility blank) -> 2, 5 -> 3, else 1
    MAP_SUPPLY_TYPE,   // power-supply type: 6 -> 2, 5 -> 4, else 1
    MAP_SUPPLY_STATE,  // power-supply state: 2 (no error) -> 0, else 1
    MAP_SUPPLY_OK,     // power-supply state: 2 (no error) -> 1, else 0
    MAP_INVERTED,      // an on state: 0 -> 1, else 0
    MAP_DAYLIGHT,      // the clock's daylight-saving flag 1 or 2 -> 0 or 1
};
uint32_t customer_mapped(customer_map which, uint32_t stored);
extern const mib_hooks customer_map_hooks;
