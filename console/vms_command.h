// The boot-monitor command table of the firmware: "vms" and "VMS". The
// console subsystem gives the command its operations (trace level, status,
// debug); the table is added to the monitor at start-up.
#pragma once

#include "platform/monitor/monitor.h"

monCommand* vms_command_table();
