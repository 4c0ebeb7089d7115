// The communication-activity registry: every link that receives central
// traffic (PPP, PMPP, SNMP over Ethernet) registers once for a bit of its own
// and reports activity per byte or frame taken, and idleness per empty wait.
// Nothing is driven by the reports yet; the registry only hands out the bits.
#pragma once

#include <cstdint>

// 1 << (registrations so far) for the first 32 links, then 0 with a console
// line "CommLED_RegisterAgent: error".
uint32_t CommLED_RegisterAgent();
// A link's activity report: on = 1 for traffic, 0 for an empty wait.
void CommLED_Activity(uint32_t bit, int on);
