// Value validation: the rules that the NTCIP row state machines and the
// sign's geometry impose on writes, kept as a table of rules (store/validate.cpp).
// The services that other subsystems provide to the rules are reached through
// hooks, so that the store does not depend on those subsystems; each owner
// installs its hook at start-up.
#pragma once

#include <cstdint>

struct ValidationServices {
    // Colour class of the display-module type `module_id` (halvModuleID).
    // Null: the default module record, class 1.
    int (*module_colour_class)(uint32_t module_id) = nullptr;
    // Critical temperature limits of the peripherals (signed). Null: 0 and 0.
    int32_t (*critical_temp_low)() = nullptr;
    int32_t (*critical_temp_high)() = nullptr;
    // Look-up of an OID for reading in the MIB registry: 0 when a readable
    // instance exists, non-zero otherwise. Null: every OID is readable.
    int (*oid_lookup)(const uint32_t* subids, unsigned count) = nullptr;
};

// Installs the hooks (a copy is kept); a default-constructed value removes them.
void set_validation_services(const ValidationServices& services);

// The most sub-identifiers an OID value may carry.
const unsigned VALIDATE_MAX_OID_SUBIDS = 128;
