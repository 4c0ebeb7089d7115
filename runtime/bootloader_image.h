// The built-in boot-loader image (zlib stream) and its inflated size.
#pragma once

#include <cstdint>

extern const uint8_t BOOTLOADER_IMAGE[];
extern const uint32_t BOOTLOADER_IMAGE_BYTES;
extern const uint32_t BOOTLOADER_INFLATED_BYTES;
