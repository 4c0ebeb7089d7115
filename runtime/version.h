// The firmware's identity: the start-up banner prints it and the module
// table's default rows show it.
#pragma once

// The maker's name, as the module table shows it.
extern const char* const FIRMWARE_MAKER;
extern const char* const FIRMWARE_PART_NUMBER;
// The four version fields ("2", "0", "4", "1") and the suffix after them.
extern const char* const kFirmwareVersionFields[4];
extern const char* const FIRMWARE_VERSION_SUFFIX;
extern const char* const kBootLoaderPartNumber;
