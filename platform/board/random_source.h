// The board's random-number source, as the firmware sees it: bytes for the
// link's authentication challenges. On the host it reads the operating
// system's entropy (getrandom), so challenges are never repeated between runs
// or between programs started at the same moment.
#pragma once

#include <cstdint>

// Fills `out` with `count` random bytes.
void board_random_fill(uint8_t* out, uint32_t count);
