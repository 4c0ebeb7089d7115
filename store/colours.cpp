// The classic colour numbers as colour15 and 24-bit colour.
#include "store/colours.h"

namespace {

// Classic colour numbers 0-9 as colour15 and as 24-bit colour.
const uint32_t classic_rgb15[] = {0, 31, 799, 992, 25344, 31744, 24600, 32767, 415, 895};
const uint32_t classic_rgb24[] = {0,        248,      49400,    63488, 0xC0C000,
                                  0xF80000, 0xC000C0, 0xFFFFFF, 24824, 55807};
const uint32_t classic_count = sizeof(classic_rgb15) / sizeof(classic_rgb15[0]);

} // namespace

uint32_t multi_color_to_rgb15(int colour) {
    return colour >= 0 && uint32_t(colour) < classic_count ? classic_rgb15[colour] : 0;
}

bool multi_module_is_amber(uint32_t module_id) {
    return module_id == 11 || module_id == 12 || (module_id >= 98 && module_id <= 101);
}

uint32_t multi_color_to_rgb24(int colour, uint32_t module_id) {
    if (multi_module_is_amber(module_id)) {
        switch (colour) {
        case 1:
            return 248;
        case 8:
            return 65535;
        case 9:
            return 65280;
        default:
            return 0;
        }
    }
    return colour >= 0 && uint32_t(colour) < classic_count ? classic_rgb24[colour] : 0;
}

uint32_t multi_rgb_to_rgb15(uint32_t red, uint32_t green, uint32_t blue) {
    return ((red & 0xFF) >> 3) | (((green & 0xFF) >> 3) << 5) | (((blue & 0xFF) >> 3) << 10);
}
