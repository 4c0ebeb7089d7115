// The peripheral task's temperature brightness limit: a percentage of the
// light output the sign may give while it is too hot; 100 normally, lowered
// (to 50, or to 0 in the shut-off state) by the peripheral task's climate
// control. The display reads it at every brightness update and never writes
// it; each change is followed by a brightness update that restarts the
// photocell search.
#pragma once

#include <cstdint>

const uint8_t TEMPERATURE_LIMIT_NONE = 100;

// The limit in force (any thread).
uint8_t temperature_brightness_limit();
// Sets the limit; a change updates the brightness at once. -> true when it changed.
bool set_temperature_brightness_limit(uint8_t percent);
