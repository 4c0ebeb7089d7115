// The display's entries for the SNMP agent, the web pages, the schedule and
// the peripherals. Each runs on the caller's thread under the display lock.
#pragma once

#include "display/message_codes.h"
#include "store/objects.h"

#include <cstdint>

// Activates dmsActivateMessage at once on the caller's thread and records
// the outcome in dmsActivateMsgError and its companions. -> true when the
// activation failed (dmsActivateMsgError other than none).
bool activate_message();
// Runs the message-table sweep (after a SET of a dmsMessageStatus instance).
void validate_message();
// Checks a MULTI text as validation checks a message row's, without writing
// any row; dmsMultiSyntaxError and its companions tell the outcome. -> valid.
bool check_multi(const char* text, uint32_t length);
// Runs the graphic table's status requests (after a SET of a dmsGraphicStatus instance).
void store_graphic();
// Serves dmsMemoryMgmt and the memory-clear command.
void clear_memory();
// Writes the serial number object's text into a module row's version text
// ("SN: 1234", "SN: ----" for 0), as the module table shows the serial numbers.
void show_serial_number(const DbObject& version_text, const DbObject& serial);

// The display's activation request slots: rows 0 to 6 of activationRequestState,
// activationRequestSource and activationRequestCode. Row 6 carries the ordinary
// requests (schedule, recovery messages, front panel, communication loss).
const uint8_t ACTIVATION_SLOT_ORDINARY = 6;
const uint8_t ACTIVATION_SLOTS = 7;
// Writes one request into `slot`: the source mode the display shows the
// message with (dmsMsgSourceMode), the source byte, then the 12-byte code, each
// with notification; the code's write wakes the display task (letter 91),
// which activates the lowest occupied slot in its next step. A slot outside
// the table is not written.
void request_activation(uint8_t slot, uint8_t source_mode, uint8_t source,
                        const CMsgActivationCode& code);
