// Raising an NTCIP trap: the one call every part of the firmware makes, with
// the trap varbind record the trap queue keeps, and the builder of the two
// varbinds most traps carry (sysLocation and globalTime).
//
// raise_trap hands each trap to CNTCIP::SendTrap, which applies the
// trap-enable settings and queues it for delivery (comm/agents/
// trap_delivery.h). A watcher installed with set_trap_sink sees every raised
// trap as well, whatever the settings (tests watch the raisers there).
#pragma once

#include <cstdint>

const uint32_t TRAP_NAME_MAX = 40;  // sub-identifiers of a varbind name
const uint32_t TRAP_VALUE_MAX = 20; // value bytes a queued varbind keeps
const uint32_t TRAP_VARBINDS_MAX = 10;

enum trap_generic : uint32_t {
    TRAP_COLD_START = 0,
    TRAP_WARM_START = 1,
    TRAP_ENTERPRISE_SPECIFIC = 6,
};

// One varbind of a trap: name, snmp_syntax, value (a 32-bit number for
// INTEGER, Counter, Gauge and TimeTicks; the bytes for OCTET STRING).
struct trap_varbind {
    uint32_t name[TRAP_NAME_MAX];
    uint32_t name_length;
    uint8_t type;
    uint32_t value_length;
    uint8_t value[TRAP_VALUE_MAX];
};

// Raises one trap: generic number, specific number (enterprise-specific
// traps), up to TRAP_VARBINDS_MAX varbinds. Callable from any thread.
void raise_trap(uint32_t generic, uint32_t specific, uint32_t count, const trap_varbind* varbinds);

using trap_sink = void (*)(uint32_t generic, uint32_t specific, uint32_t count,
                           const trap_varbind* varbinds);
// Installs the watcher of raised traps (null: none). -> the one installed before.
trap_sink set_trap_sink(trap_sink sink);

// The two varbinds of the sign's enterprise-specific traps: sysLocation
// (OCTET STRING, the stored text as far as a varbind keeps it) and globalTime
// (Counter, the seconds given). -> 2.
uint32_t location_time_varbinds(trap_varbind out[2], uint32_t global_time);

// The sign's enterprise-specific trap: sysLocation and globalTime (now), and
// `extra` as a third binding when given. Callable from any thread.
void raise_sign_trap(uint32_t specific, const trap_varbind* extra = nullptr);
