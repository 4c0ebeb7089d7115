#include "peripherals/temperature_limit.h"

#include "display/display_task.h"

namespace {

// One byte, written by the peripheral task and read by the display task; a
// byte is read and written whole.
uint8_t g_limit = TEMPERATURE_LIMIT_NONE;

} // namespace

uint8_t temperature_brightness_limit() {
    return g_limit;
}

// The update runs on the caller's (the peripheral task's) thread; it takes
// the display lock, as the display thread uses the same curve and state.
bool set_temperature_brightness_limit(uint8_t percent) {
    if (percent == g_limit) return false;
    g_limit = percent;
    TheDisplay().UpdateBrightness(true);
    return true;
}
