// Creation functions of the classes that are not part of the firmware yet.
// Each refuses, so that loading reports its stored entries as load failures.
// A class that comes defines its own function and removes its line here.
#include "peripherals/factory.h"

#define PERIPHERAL_CLASS_PENDING(function)                                                         \
    CPeripheral* function(const PeripheralRecord& record, const PeripheralParameters&) {           \
        return periph_create_pending(record);                                                      \
    }

PERIPHERAL_CLASS_PENDING(Create_FileManager)
