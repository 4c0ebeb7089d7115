// The factory list: one creation row per class code. Whatever creates a
// peripheral (the peripheral task's fixed ones, the stored list, the front
// panel's wizards) hands a creation record to pl_factory::Create, which runs
// the creation function of the record's class.
//
// A creation function builds its object from the record (and the creation
// string's values, parsed once by the factory for classes that take them)
// and hands it to periph_finish_creation, which applies what every class
// shares: the row's poll period and listed flag, a random first countdown,
// the list slot, the class's Init, the staggering of sensor polls, enabling.
#pragma once

#include "peripherals/peripheral_ids.h"
#include "runtime/peripheral.h"

#include <cstdint>

using periph_create_fn = CPeripheral* (*)(const PeripheralRecord& record,
                                          const PeripheralParameters& values);

struct pl_factory_row {
    uint8_t class_code;
    periph_create_fn create;
    uint16_t poll_period;  // passes between polls
    uint8_t listed;        // shown in the front panel's peripheral view
    bool takes_parameters; // the creation string is parsed into values
    bool countdown_zero;   // the first countdown is 0, not random
    bool staggered;        // sensor polls are spread (temperature, light, humidity)
};

class pl_factory {
  public:
    static constexpr unsigned CAPACITY = 32;
    // Appends a row. -> false for a null row or a full list.
    bool Add(const pl_factory_row* row);
    // The first row of the record's class runs. -> true with the new object;
    // false (null) when no row has the class, the creation string is refused
    // or the class refused the record.
    bool Create(const PeripheralRecord& record, CPeripheral** out) const;
    const pl_factory_row* RowOf(uint8_t class_code) const;
    unsigned Count() const { return count_; }
    const pl_factory_row* Row(unsigned i) const { return i < count_ ? rows_[i] : nullptr; }

  private:
    const pl_factory_row* rows_[CAPACITY] = {};
    unsigned count_ = 0;
};

// Adds the sign's 26 creation rows in their order.
void periph_register_factories(pl_factory& factories);
// The row of a class code in the sign's table, or null.
const pl_factory_row* periph_factory_row(uint8_t class_code);

// The steps every creation function ends with (see above). -> the object, or
// null when its Init failed (the object is deleted), unless `keep_failed`:
// then it is enabled and kept, in the state its Init left.
CPeripheral* periph_finish_creation(CPeripheral* peripheral, const PeripheralRecord& record,
                                    bool keep_failed = false);

// The creation functions of the sign's classes, one per factory row.
CPeripheral* Create_Beacon(const PeripheralRecord& record, const PeripheralParameters& values);
CPeripheral* Create_BeaconIO(const PeripheralRecord& record, const PeripheralParameters& values);
CPeripheral* Create_DCIO(const PeripheralRecord& record, const PeripheralParameters& values);
CPeripheral* Create_DoorSensor(const PeripheralRecord& record, const PeripheralParameters& values);
CPeripheral* Create_FanIO(const PeripheralRecord& record, const PeripheralParameters& values);
CPeripheral* Create_FanRPM(const PeripheralRecord& record, const PeripheralParameters& values);
CPeripheral* Create_FileManager(const PeripheralRecord& record, const PeripheralParameters& values);
CPeripheral* Create_GeneralPurposeOutput(const PeripheralRecord& record,
                                         const PeripheralParameters& values);
CPeripheral* Create_HeaterIO(const PeripheralRecord& record, const PeripheralParameters& values);
CPeripheral* Create_Humidity(const PeripheralRecord& record, const PeripheralParameters& values);
CPeripheral* Create_IOBasedPeripheral(const PeripheralRecord& record,
                                      const PeripheralParameters& values);
CPeripheral* Create_LCDManager(const PeripheralRecord& record, const PeripheralParameters& values);
CPeripheral* Create_Light(const PeripheralRecord& record, const PeripheralParameters& values);
// The dial-up modem reads its own creation string (its second field is text).
CPeripheral* Create_Modem(const PeripheralRecord& record, const PeripheralParameters& values);
CPeripheral* Create_MiniDCIO(const PeripheralRecord& record, const PeripheralParameters& values);
CPeripheral* Create_OverheightDetector(const PeripheralRecord& record,
                                       const PeripheralParameters& values);
CPeripheral* Create_PowerSupply(const PeripheralRecord& record, const PeripheralParameters& values);
CPeripheral* Create_PixelTestBoard(const PeripheralRecord& record,
                                   const PeripheralParameters& values);
CPeripheral* Create_Temperature(const PeripheralRecord& record, const PeripheralParameters& values);
