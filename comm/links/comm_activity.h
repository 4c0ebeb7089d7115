// The communication-activity registry: every link that receives central
// traffic (PPP, PMPP, SNMP over Ethernet) registers once for a bit of its own
// and reports activity per byte or frame taken, and idleness per empty wait.
// The activity reports drive nothing; the front panel's activity arrows are
// lit by CommLED_NotifyPanel.
#pragma once

#include <cstdint>

// 1 << (registrations so far) for the first 32 links, then 0 with a console
// line "CommLED_RegisterAgent: error".
uint32_t CommLED_RegisterAgent();
// A link's activity report: on = 1 for traffic, 0 for an empty wait.
void CommLED_Activity(uint32_t bit, int on);

// Central traffic for the front panel's activity arrows: `bytes` received;
// the panel is told each time the count reaches `every` (one count shared by
// the links): PPP every byte, PMPP and SNMP over Ethernet every 51.
void CommLED_NotifyPanel(uint32_t bytes, uint32_t every);
const uint32_t PANEL_NOTIFY_EVERY_BYTE = 1;
const uint32_t PANEL_NOTIFY_BYTES = 51;
