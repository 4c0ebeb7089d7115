// The board's light-to-frequency input on UIC0 source 0x2: edges at the
// rate the field sets, counted only while the source is enabled. Each edge is
// its own pulse of the source, delivered after the interrupt of the edge
// before it, so that a dispatcher that counts one edge an interrupt sees
// them all. When the source is enabled the edges start afresh: edge k comes
// k / HZ seconds later on the kernel clock.
#pragma once

#include <cstdint>

namespace board {

const uint32_t FREQUENCY_UIC_SOURCE = 0x00000002u;
const uint32_t FREQUENCY_MAX_HZ = 100000;

// The input's rate in edges a second (0 none; at most FREQUENCY_MAX_HZ).
void frequency_input_set(uint32_t hz);
uint32_t frequency_input();

} // namespace board
