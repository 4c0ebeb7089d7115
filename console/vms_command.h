// The boot-monitor command "vms" (also "VMS") of the firmware: the trace
// level (vms -t N), a status summary (vms -s) and debug operations on tasks,
// peripherals, modems, display modules, the flash and the network stack
// (vms -d ...). All its output goes through console_printf. The table is
// added to the monitor at start-up.
#pragma once

#include "platform/monitor/monitor.h"

// -> 0 done, -2 parameter error (the monitor then shows the usage).
int vms_command(int argc, char* argv[]);
monCommand* vms_command_table();
