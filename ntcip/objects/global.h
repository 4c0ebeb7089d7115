// NTCIP global objects of the "global" subtree (1.3.6.1.4.1.1206.4.2.6), and
// the auxiliary I/O table that the older "auxio" subtree (1.3.6.1.4.1.1206.2.1.1)
// serves from the same descriptors.
#pragma once

#include "ntcip/mib/mib_table.h"

// Group 1, global configuration: the set ID, the module count, the base
// standards and the eight-row module table.
extern const mib_table global_config_table;
// Group 2, database management: the transaction objects are stored and read
// back; nothing acts on them.
extern const mib_table global_db_table;
// Group 3, time management, in three tables by OID order: global time and
// the daylight-saving value; the time-base schedule (schedule entries, day
// plans and their status); the local time differential, the standard time
// zone, the controller's local time and the daylight-saving table (whose
// rows a walk passes over).
extern const mib_table global_time_table;
extern const mib_table global_timebase_table;
extern const mib_table global_time_zone_table;
// Group 4, event log: the report scalars, the configuration table, the log
// of 16 classes and the class table (ntcip/objects/global_event_log.cpp).
extern const mib_table global_event_log_table;
// Group 5, security: the privileged community and the 100 user communities
// with their access masks (the rows the community check reads).
extern const mib_table global_security_table;
// Group 7, auxiliary I/O: the port counts and the port table.
extern const mib_table global_auxio_table;
// The same port table under the "auxio" subtree (no last-commanded column).
extern const mib_table auxio_table;
