#include "peripherals/factory.h"

#include "ntcip/clock/clock.h"
#include "peripherals/peripheral_task.h"
#include "runtime/console.h"
#include "store/config_file.h"
#include "store/directory_file.h"
#include "store/monrc_file.h"
#include "store/script_file.h"

#include <cstdlib>

namespace {

// The clock and the file objects build themselves from the record alone.
template <CPeripheral* (*Build)(const PeripheralRecord&)>
CPeripheral* create_plain(const PeripheralRecord& record, const PeripheralParameters&) {
    return Build(record);
}

// The sign's creation rows, in the order they are added: {class, function,
// poll period, listed, parses its creation string, countdown 0, staggered}.
const pl_factory_row FACTORY_ROWS[] = {
    {PERIPHERAL_CLASS_BEACON, Create_Beacon, 2, 1, true, false, false},
    {PERIPHERAL_CLASS_BEACON_IO, Create_BeaconIO, 2, 1, true, false, false},
    {PERIPHERAL_CLASS_CLOCK, create_plain<CClock::Create>, 1, 0, false, false, false},
    {PERIPHERAL_CLASS_DCIO, Create_DCIO, 2, 1, true, false, false},
    {PERIPHERAL_CLASS_DOOR, Create_DoorSensor, 2, 1, true, false, false},
    {PERIPHERAL_CLASS_FAN_CONTROL, Create_FanIO, 2, 1, true, false, false},
    {PERIPHERAL_CLASS_FAN_STATUS, Create_FanIO, 2, 1, true, false, false},
    {PERIPHERAL_CLASS_FAN_RPM, Create_FanRPM, 10, 1, true, false, false},
    {PERIPHERAL_CLASS_CONFIG_FILE, create_plain<CFile_Config::Create>, 600, 0, false, true, false},
    {PERIPHERAL_CLASS_DIRECTORY_FILE, create_plain<CFile_Directory::Create>, 1, 0, false, true,
     false},
    {PERIPHERAL_CLASS_MONRC_FILE, create_plain<CFile_Monrc::Create>, 1, 0, false, true, false},
    {PERIPHERAL_CLASS_FILE_MANAGER, Create_FileManager, 5, 0, false, true, false},
    {PERIPHERAL_CLASS_SCRIPT_FILE, create_plain<CFile_Script::Create>, 1, 0, false, true, false},
    {PERIPHERAL_CLASS_GP_OUTPUT, Create_GeneralPurposeOutput, 2, 1, true, false, false},
    {PERIPHERAL_CLASS_HEATER_CONTROL, Create_HeaterIO, 2, 1, true, false, false},
    {PERIPHERAL_CLASS_HEATER_STATUS, Create_HeaterIO, 2, 1, true, false, false},
    {PERIPHERAL_CLASS_HUMIDITY, Create_Humidity, 10, 1, true, false, true},
    {PERIPHERAL_CLASS_IO_BASED, Create_IOBasedPeripheral, 2, 1, true, false, false},
    {PERIPHERAL_CLASS_LCD_MANAGER, Create_LCDManager, 1, 0, false, false, false},
    {PERIPHERAL_CLASS_LIGHT, Create_Light, 10, 1, true, false, true},
    {PERIPHERAL_CLASS_MODEM, Create_Modem, 2, 1, false, false, false},
    {PERIPHERAL_CLASS_MINI_DCIO, Create_MiniDCIO, 2, 1, true, false, false},
    {PERIPHERAL_CLASS_OVERHEIGHT, Create_OverheightDetector, 2, 1, true, false, false},
    {PERIPHERAL_CLASS_POWER_SUPPLY, Create_PowerSupply, 2, 1, true, false, false},
    {PERIPHERAL_CLASS_PIXEL_TEST_BOARD, Create_PixelTestBoard, 10, 1, true, false, false},
    {PERIPHERAL_CLASS_TEMPERATURE, Create_Temperature, 10, 1, true, false, true},
};

} // namespace

bool pl_factory::Add(const pl_factory_row* row) {
    if (row == nullptr || count_ >= CAPACITY) return false;
    rows_[count_++] = row;
    return true;
}

const pl_factory_row* pl_factory::RowOf(uint8_t class_code) const {
    for (unsigned i = 0; i < count_; ++i)
        if (rows_[i]->class_code == class_code) return rows_[i];
    return nullptr;
}

bool pl_factory::Create(const PeripheralRecord& record, CPeripheral** out) const {
    *out = nullptr;
    const pl_factory_row* row = RowOf(record.class_code);
    if (row == nullptr) return false;
    PeripheralParameters values;
    if (row->takes_parameters && !CPeripheral::ParseParameters(record.parameters, &values)) {
        console_printf("creation string of %s refused: %s\n", periph_id_to_name(record.id),
                       record.parameters);
        return false;
    }
    *out = row->create(record, values);
    return *out != nullptr;
}

void periph_register_factories(pl_factory& factories) {
    for (const pl_factory_row& row : FACTORY_ROWS)
        factories.Add(&row);
}

const pl_factory_row* periph_factory_row(uint8_t class_code) {
    for (const pl_factory_row& row : FACTORY_ROWS)
        if (row.class_code == class_code) return &row;
    return nullptr;
}

CPeripheral* periph_finish_creation(CPeripheral* p, const PeripheralRecord& record,
                                    bool keep_failed) {
    const pl_factory_row* row = periph_factory_row(p->ClassCode());
    const uint16_t period = row ? row->poll_period : 1;
    p->SetPollPeriod(period);
    p->SetCountdown(row && row->countdown_zero ? 0 : uint16_t(std::rand() % period));
    p->SetListSlot(record.list_slot);
    p->SetListed(row ? row->listed : 0);
    if (!p->Init() && !keep_failed) {
        delete p;
        return nullptr;
    }
    if (row && row->staggered) ThePeripheralTask().StaggerSensorPolls(p, 0);
    p->SetEnabled(1);
    return p;
}
