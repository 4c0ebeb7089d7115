// shortErrorStatus is one status word with many writers (the display's
// message, pixel and controller bits, the communication-loss bit, the
// peripherals' climate, light, humidity, temperature and communication bits).
// Every change of a bit goes through this one helper, which sets or clears
// the mask under the store's lock, so that no writer loses another's change;
// an unchanged word is not rewritten.
#pragma once

#include <cstdint>

// Bits of shortErrorStatus.
enum : uint32_t {
    SHORT_ERROR_COMMUNICATIONS = 0x0002,
    SHORT_ERROR_PERIPHERAL_COMM = 0x0008,
    SHORT_ERROR_PIXEL = 0x0020,
    SHORT_ERROR_PHOTOCELL = 0x0040,
    SHORT_ERROR_MESSAGE = 0x0080,
    SHORT_ERROR_TEMPERATURE_WARNING = 0x0200,
    SHORT_ERROR_CLIMATE = 0x0400,
    SHORT_ERROR_CRITICAL_TEMPERATURE = 0x0800,
    SHORT_ERROR_HUMIDITY = 0x4000,
};

// Sets the bits of `set_mask`, then clears those of `clear_mask` (with
// notification). Callable from any thread.
void short_error_change(uint32_t set_mask, uint32_t clear_mask);
inline void short_error_set(uint32_t mask) {
    short_error_change(mask, 0);
}
inline void short_error_clear(uint32_t mask) {
    short_error_change(0, mask);
}
// Sets the mask when `on`, else clears it.
inline void short_error_put(uint32_t mask, bool on) {
    short_error_change(on ? mask : 0, on ? 0 : mask);
}
bool short_error_is_set(uint32_t mask);
