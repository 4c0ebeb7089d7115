// Power supplies (see power_supply.h).
#include "peripherals/power/power_supply.h"

#include "peripherals/factory.h"
#include "peripherals/io/pixel_test_board.h"
#include "peripherals/power/power_supply_table.h"
#include "runtime/console.h"

#include <cstring>

uint8_t CPowerSupply::live_ = 0;

namespace {

const uint16_t LAST_NAMED_ID = 149;
const uint16_t REPEATED_NAME_ID = 135; // named "POWERSUPPLY35" like 134
const char* const PASS_TEXT = "POWER SUPPLY PASS";
const char* const FAIL_TEXT = "POWER SUPPLY FAIL";
const char* const COMM_ERROR_TEXT = "COMM ERROR";
const char* const CONFIGURATION_ERROR_TEXT = "CONFIGURATION ERROR";

} // namespace

const bridge_kind* CPowerSupply::BridgeFor(uint32_t board_id) {
    if (board_id > 0xFFFF) return nullptr;
    switch (periph_id_to_class(uint16_t(board_id))) {
    case PERIPHERAL_CLASS_DCIO:
    case PERIPHERAL_CLASS_MINI_DCIO:
        return &DCIO_BRIDGE;
    case PERIPHERAL_CLASS_PIXEL_TEST_BOARD:
        return &PTB_BRIDGE;
    default:
        return nullptr;
    }
}

const char* CPowerSupply::IdToName(uint16_t id) {
    return id >= FIRST_ID && id <= LAST_NAMED_ID ? periph_id_to_name(id) : nullptr;
}

uint16_t CPowerSupply::NameToId(const char* name) {
    const uint16_t id = name != nullptr ? periph_name_to_id(name) : 0;
    return IdToName(id) != nullptr && id != REPEATED_NAME_ID ? id : 0;
}

CPowerSupply::CPowerSupply(uint16_t id, uint32_t point, uint32_t board_id)
    : CPointPeripheral(PERIPHERAL_CLASS_POWER_SUPPLY, id,
                       BridgeFor(board_id) ? *BridgeFor(board_id) : DCIO_BRIDGE),
      point_(point), board_id_(board_id), instance_(++live_) {}

CPowerSupply::~CPowerSupply() {
    --live_;
    ThePowerSupplyTable().UnRegisterPowerSupply(handle_);
    handle_ = 0;
}

uint32_t CPowerSupply::PointMask() const {
    uint32_t mask = 0;
    if (BridgeFor(board_id_) == &PTB_BRIDGE)
        ptb_point_mask(point_, mask, true);
    else
        dcio_point_mask(point_, mask, true);
    return mask;
}

// A pixel test board measures six channels, points 1 to 6: a point past them
// could never fail.
bool CPowerSupply::PointOnBoard() const {
    if (BridgeFor(board_id_) != &PTB_BRIDGE) return true;
    return point_ >= 1 && point_ <= CPixelTestBoard::CHANNELS;
}

// The row shows why the supply cannot be watched; the supply stays, in INIT ERROR.
bool CPowerSupply::ConfigurationError() {
    ThePowerSupplyTable().SetPowerSupplyError(handle_, CPowerSupplyTable::STATUS_FAILED,
                                              CONFIGURATION_ERROR_TEXT);
    ThePowerSupplyTable().SetPowerSupplyVoltage(handle_, 0);
    return InitError();
}

// A board that is not live, or of a class no supply can watch, is never
// touched: the supply reports a configuration error instead.
bool CPowerSupply::Init() {
    const char* name = periph_id_to_name(Id());
    if (!ThePowerSupplyTable().RegisterPowerSupply(&handle_, name, PASS_TEXT,
                                                   CPowerSupplyTable::TYPE_SUPPLY))
        console_printf("Failed to register %s in Power Supply Table\n", name);
    if (BridgeFor(board_id_) == nullptr) {
        console_printf("Create_PowerSupply:Invalid Target type\n");
        return ConfigurationError();
    }
    if (!AttachBoard(board_id_)) {
        console_printf("%s: board %u is not live\n", name, unsigned(board_id_));
        return ConfigurationError();
    }
    if (!PointOnBoard()) {
        console_printf("%s: point %u is not one of the board's channels\n", name, unsigned(point_));
        return ConfigurationError();
    }
    if (RegisterPoints(PointMask(), 0) == 0) return ConfigurationError();
    if (!ClaimDigitalInputRow()) {
        trace_printf("Failed to register AuxIO\n");
        return ConfigurationError();
    }
    condition_ = CONDITION_PASS;
    SetAuxValue(1);
    m_byState = STATE_READING;
    return true;
}

void CPowerSupply::Poll() {
    if (m_byState < STATE_READING) return;
    if (start_delay_ > 0) {
        --start_delay_;
        return;
    }
    CPowerSupplyTable& table = ThePowerSupplyTable();
    if (BoardInCommError()) {
        m_byState = STATE_COMM_ERROR;
        condition_ = CONDITION_FAIL;
        SetAuxValue(0);
        table.SetPowerSupplyError(handle_, CPowerSupplyTable::STATUS_FAILED, COMM_ERROR_TEXT);
        table.SetPowerSupplyVoltage(handle_, 0);
        return;
    }
    m_byState = Bridge().Board()->BoardPeripheral().State();
    const bool contact_active = Bridge().Get(Serial(), 0) != 0;
    if (condition_ == CONDITION_PASS && contact_active) {
        SetAuxValue(0);
        table.SetPowerSupplyError(handle_, CPowerSupplyTable::STATUS_FAILED, FAIL_TEXT);
        table.SetPowerSupplyVoltage(handle_, 0);
        condition_ = CONDITION_FAIL;
    } else if (condition_ == CONDITION_FAIL && !contact_active) {
        SetAuxValue(1);
        table.ClearPowerSupplyError(handle_, PASS_TEXT);
        condition_ = CONDITION_PASS;
    }
}

// Point, board id. A supply whose Init failed stays live in INIT ERROR, its
// row showing the configuration error.
CPeripheral* Create_PowerSupply(const PeripheralRecord& record,
                                const PeripheralParameters& values) {
    return periph_finish_creation(new CPowerSupply(record.id, values.value[0], values.value[1]),
                                  record, true);
}
