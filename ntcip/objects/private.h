// The maker-private "halv" subtree (1.3.6.1.4.1.1206.3.11): the sign's own
// settings and status values that no NTCIP standard covers. One table per
// stretch of OIDs; the subtree lists them in OID order (ntcip/mib/subtrees.cpp).
#pragma once

#include "ntcip/mib/mib_table.h"

#include <cstdint>

// Set-permission bits (community rights) of the private rows.
constexpr uint32_t HALV_MASK_OPTIONS = 0x00001000;       // display and option configuration
constexpr uint32_t HALV_MASK_DIAGNOSTICS = 0x00100000;   // test patterns, diagnostics
constexpr uint32_t HALV_MASK_MESSAGES = 0x00400000;      // message and memory commands
constexpr uint32_t HALV_MASK_COMMUNICATION = 0x02000000; // ports, network, peripherals
constexpr uint32_t HALV_MASK_DISPLAY = 0x08000000;       // display thresholds and modes
constexpr uint32_t HALV_MASK_MESSAGE_CODES = 0x20000000; // stored message codes

// The instance check of a scalar row served by hooks alone.
int halv_scalar_instance(mib_request& request);

// halv 1: the test-pattern selector and the failed pixels' detail, types 2
// and 3 (ntcip/objects/private_diagnostics.cpp).
extern const mib_table halv_test_pattern_table;

// halv 2 scalars (ntcip/objects/private_config.cpp) in three stretches
// around the configuration groups: .2.3 to .2.14, .2.20 to .2.29 and .2.33
// to .2.38. The configuration unlock, the activation by number, the serial
// numbers and the flash figures act beyond storing.
extern const mib_table halv_config_table;
extern const mib_table halv_config_network_table;
extern const mib_table halv_config_flash_table;

// Configuration groups of halv 2 (ntcip/objects/private_groups.cpp): the
// stored peripheral list (.2.15), trap enables (.2.16), communication ports
// (.2.17), switch messages (.2.18), tuning values (.2.30) and line lengths
// (.2.32).
extern const mib_table halv_peripheral_table;
extern const mib_table halv_traps_table;
extern const mib_table halv_ports_table;
extern const mib_table halv_switch_message_table;
extern const mib_table halv_tuning_table;
extern const mib_table halv_line_length_table;

// halv 3 dial-back settings and halv 9 caller ID (ntcip/objects/private_dialback.cpp).
extern const mib_table halv_dialback_table;
extern const mib_table halv_caller_id_table;

// halv 5 status figures, halv 6 network text and halv 11 diagnostic result
// registry (ntcip/objects/private_diagnostics.cpp).
extern const mib_table halv_status_table;
extern const mib_table halv_text_table;
extern const mib_table halv_results_table;

// The flash file system's dead space in percent of dead and available
// space; 0 when it reports neither.
uint32_t flash_dead_percent(uint32_t dead, uint32_t available);

// halv 4: the six file-transfer objects (ntcip/objects/private_file_transfer.cpp);
// a committed SET of the state object (halvObj4_1) runs the file-transfer step.
extern const mib_table halv_file_transfer_table;
