// The display's entries for the SNMP agent, the web pages, the schedule and
// the peripherals. Until message activation exists, activate_message reports
// "no activation" (dmsActivateMsgError := other) and the others do nothing.
#pragma once

// Activates dmsActivateMessage at once on the caller's thread under the
// display's activation mutex and records the outcome in dmsActivateMsgError
// and its companions. -> true when the activation failed (error other than none).
bool activate_message();
// Runs the message-table validation walk (after a SET of a dmsMessageStatus instance).
void validate_message();
// Runs the graphic store step (after a SET of a dmsGraphicStatus instance).
void store_graphic();
// Serves dmsMemoryMgmt and the memory-clear command.
void clear_memory();
