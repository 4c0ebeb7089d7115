// The critical-temperature limits of the sign's temperature sensors: the
// range in which the over-temperature shut-off (halvShutOffTemp) may be set,
// from the central system and from the front panel alike.
#pragma once

#include <cstdint>

// The sensors report signed 8-bit degrees (-128 to 127). The shut-off limit
// is 0 (off) or a degree above zero that they can report: 0 to 127. A byte of
// 128..255 would be read by the sensors as a negative degree and blank the
// sign at once, so it lies outside the limits.
int32_t GetCriticalTempLow();
int32_t GetCriticalTempHigh();
