#include "runtime/version.h"

const char* const FIRMWARE_MAKER = "Halvenmark, Inc.";
const char* const FIRMWARE_PART_NUMBER = "J6-VMS";
const char* const kFirmwareVersionFields[4] = {"2", "0", "4", "1"};
const char* const FIRMWARE_VERSION_SUFFIX = "";
const char* const kBootLoaderPartNumber = "TZR-5100-BL";
