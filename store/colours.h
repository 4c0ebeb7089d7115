// The sign's colour numbers: classic NTCIP colours as colour15 and 24-bit
// colour, for the store's defaults (monochromeColor) and the display's
// renderer alike.
#pragma once

#include <cstdint>

// Classic NTCIP colour numbers to colour15 (red bits 0-4, green 5-9, blue
// 10-14) and to 24-bit colour (red low byte, blue high byte).
uint32_t multi_color_to_rgb15(int colour);
uint32_t multi_color_to_rgb24(int colour, uint32_t module_id);
// Three 8-bit components to colour15 (top five bits of each).
uint32_t multi_rgb_to_rgb15(uint32_t red, uint32_t green, uint32_t blue);
// Module types whose pixels are amber only.
bool multi_module_is_amber(uint32_t module_id);
