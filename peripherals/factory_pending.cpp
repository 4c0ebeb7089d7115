// Creation functions of the classes that are not part of the firmware yet.
// Each refuses, so that loading reports its stored entries as load failures.
// A class that comes defines its own function and removes its line here.
#include "peripherals/factory.h"

#define PERIPHERAL_CLASS_PENDING(function)                                                         \
    CPeripheral* function(const PeripheralRecord& record, const PeripheralParameters&) {           \
        return periph_create_pending(record);                                                      \
    }

PERIPHERAL_CLASS_PENDING(Create_Beacon)
PERIPHERAL_CLASS_PENDING(Create_BeaconIO)
PERIPHERAL_CLASS_PENDING(Create_FanIO)
PERIPHERAL_CLASS_PENDING(Create_FanRPM)
PERIPHERAL_CLASS_PENDING(Create_GeneralPurposeOutput)
PERIPHERAL_CLASS_PENDING(Create_HeaterIO)
PERIPHERAL_CLASS_PENDING(Create_IOBasedPeripheral)
PERIPHERAL_CLASS_PENDING(Create_LCDManager)
PERIPHERAL_CLASS_PENDING(Create_PowerSupply)
PERIPHERAL_CLASS_PENDING(Create_PixelTestBoard)
