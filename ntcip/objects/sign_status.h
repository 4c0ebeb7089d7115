// The sign's status objects of the "dms" subtree (1.3.6.1.4.1.1206.4.2.3.9):
// what a central system polls to learn the sign's health. The display and
// the peripherals keep the values in the store; these rows serve them, and
// write only the test triggers, the climate-control test and type, the
// speed limit and the fuel threshold.
#pragma once

#include "ntcip/mib/mib_table.h"

// 9.1 to 9.6: the MULTI field table of the shown message, the speeds, the
// watchdog failure count and the open doors.
extern const mib_table dms_status_table;
// 9.7: the error summary, the test triggers, the pixel failure and pixel
// status tables and the power, climate-control, light, humidity and
// temperature tables with their row counts and status maps.
extern const mib_table dms_error_table;
// 9.8 and 9.9: the power figures and the temperature summary (the zone
// temperatures can be hidden while no sensor of their zone is live).
extern const mib_table dms_power_temp_table;
