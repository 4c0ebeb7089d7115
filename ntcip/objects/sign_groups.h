// Sign object groups of the "dms" subtree (1.3.6.1.4.1.1206.4.2.3) that
// describe the sign and carry its messages: the sign and variable-message
// sign configuration, the MULTI defaults, the message table and the sign
// control objects.
#pragma once

#include "ntcip/mib/mib_table.h"

// Group 1, sign configuration: size, borders, access, type and beacons.
// Group 2, variable-message sign configuration: pixels, pitch and colour.
// Both are written only while the configuration unlock is on.
extern const mib_table dms_sign_cfg_table;
extern const mib_table vms_cfg_table;
// Group 4, MULTI configuration: the rendering defaults, the colour scheme,
// the supported tags and limits, and the defaults of the last activation.
extern const mib_table multi_cfg_table;
// Group 5, messages: the counts and sizes, and the message table named by
// memory type and message number.
extern const mib_table dms_message_table;
// Group 6, sign control: control mode, reset, activation, the messages of
// power recovery, reset, communication loss and end of duration, memory
// management and the activation error reports.
extern const mib_table sign_control_table;
// Group 8, the action table: the message ID codes the time-base schedule runs.
extern const mib_table dms_action_table;

// The display's memory management (clear_memory), run after every committed
// SET of dmsMemoryMgmt; a test may put a double in its place (null: the
// display's own again).
void sign_control_set_memory_entry(void (*entry)());
// Runs that memory management (for other rows that ask the display to clear).
void sign_control_clear_memory();
