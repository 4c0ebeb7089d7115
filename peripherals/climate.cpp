// Climate control demands and outputs (see climate.h).
#include "peripherals/climate.h"

#include "peripherals/peripheral_task.h"

#include "store/database.h"
#include "store/objects.h"

namespace {

// The request bit of each channel in the task's flag word.
const uint32_t REQUEST_BIT[CClimateControl::CHANNELS] = {
    CPeripheralTask::FLAG_INTAKE_FANS, CPeripheralTask::FLAG_FACE_FANS,
    CPeripheralTask::FLAG_PIXEL_FANS, CPeripheralTask::FLAG_HEATER,
    CPeripheralTask::FLAG_MAINTENANCE_HEATER};
static_assert(CClimateControl::FLAG_BURN_IN == CPeripheralTask::FLAG_BURN_IN,
              "the burn-in bit of the flag word");
const uint8_t FIRST_STATE_CODE = 4, STATE_CODES_PER_CHANNEL = 3;

const uint8_t DEMAND_COOLING = 0x07, DEMAND_HEATING = 0x0A, DEMAND_CUSTOMER_HEATING = 0x1A,
              DEMAND_EVERYTHING = 0x1F;

// Sources that follow the transition table.
enum : uint8_t { SOURCE_BURN_IN = 0, SOURCE_TEMPERATURE = 1, SOURCE_HUMIDITY = 2 };
enum : uint8_t { IDLE = 0, ACTIVE = 1, COOLING = 2, HEATING = 3, BOTH = 4 };

// halvObj1_1: the burn-in test patterns ("ON/OFF DIMMING BURN", "ALL ON/OFF
// BURN", "ALL ON 100% BURN").
const uint32_t PATTERN_DIMMING_BURN = 25, PATTERN_ON_OFF_BURN = 30, PATTERN_ALL_ON_BURN = 31;
bool burn_in_pattern(uint32_t m) {
    return m == PATTERN_DIMMING_BURN || m == PATTERN_ON_OFF_BURN || m == PATTERN_ALL_ON_BURN;
}

// Cooling thresholds: the product's providers give 0 in this sign, on mains
// and on battery alike (halvObj2_30_4 2 with powerSource 7).
struct CoolingThresholds {
    int8_t start, stop;
};
const CoolingThresholds MAINS_COOLING = {0, 0}, BATTERY_COOLING = {0, 0};
const uint32_t BATTERY_CONDITION = 2, POWER_BATTERY = 7;

const int8_t HEATING_START_BELOW = 5, HEATING_STOP_AT = 8;
const uint32_t HUMID_AT = 95, DRY_BELOW = 91;

const uint32_t CUSTOMER_RUN_SECONDS = 180;
const uint32_t CUSTOMER_REQUESTED = 1, CUSTOMER_IDLE = 2;

const uint32_t FAN_TEST_NONE = 2, FAN_TEST_RUNNING = 3;
const uint32_t FAN_ROW_TYPES[] = {2, 3};
const unsigned CLIMATE_ROWS_MAX = 32;

const uint8_t HEATER_START = 1, HEATER_IDLE = 2, HEATER_HEATING = 3, HEATER_FORCED = 4;
const uint8_t HEATER_START_CALLS = 24;
const uint16_t HEATER_BUDGET = 57600;
const uint32_t HEATER_REQUESTED = 1, HEATER_DONE = 2;
const int8_t HEATER_START_BELOW = 20, HEATER_STOP_AT = 26;

// What the hysteresis sources look at, read once per call.
struct Readings {
    uint32_t pattern;
    int8_t housing_min, housing_max;
    uint32_t humidity;
    CoolingThresholds cooling;
};

Readings read_inputs() {
    Readings r;
    r.pattern = db_get(obj::halvObj1_1);
    r.housing_min = int8_t(db_get(obj::tempMinSignHousing));
    r.housing_max = int8_t(db_get(obj::tempMaxSignHousing));
    r.humidity = db_get(obj::halvObj5_7);
    const bool battery = db_get(obj::halvObj2_30_4) == BATTERY_CONDITION &&
                         db_get(obj::powerSource) == POWER_BATTERY;
    r.cooling = battery ? BATTERY_COOLING : MAINS_COOLING;
    return r;
}

// A reading of 0 is no reading.
enum Condition : uint8_t {
    BURN_IN_PATTERN,
    NO_BURN_IN_PATTERN,
    HOUSING_HOT,
    HOUSING_COOLED,
    HOUSING_COLD,
    HOUSING_WARMED,
    SIGN_HUMID,
    SIGN_DRY,
};

bool holds(Condition c, const Readings& r) {
    switch (c) {
    case BURN_IN_PATTERN:
        return burn_in_pattern(r.pattern);
    case NO_BURN_IN_PATTERN:
        return !burn_in_pattern(r.pattern);
    case HOUSING_HOT:
        return r.housing_max != 0 && r.housing_max >= r.cooling.start;
    case HOUSING_COOLED:
        return r.housing_max != 0 && r.housing_max <= r.cooling.stop;
    case HOUSING_COLD:
        return r.housing_min != 0 && r.housing_min < HEATING_START_BELOW;
    case HOUSING_WARMED:
        return r.housing_min != 0 && r.housing_min >= HEATING_STOP_AT;
    case SIGN_HUMID:
        return r.humidity != 0 && r.humidity >= HUMID_AT;
    case SIGN_DRY:
        return r.humidity != 0 && r.humidity < DRY_BELOW;
    }
    return false;
}

void put(const DbObject& object, uint32_t value) {
    db_set(object, value, DB_NOTIFY);
}

} // namespace

// In state `from`, the first row whose condition holds sets the demand,
// the state and the flag-word bits.
struct CClimateControl::Transition {
    uint8_t source;
    uint8_t from;
    Condition when;
    uint8_t demand;
    uint8_t to;
    uint32_t set_flags, clear_flags;
};

const CClimateControl::Transition CClimateControl::TRANSITIONS[] = {
    {SOURCE_BURN_IN, IDLE, BURN_IN_PATTERN, DEMAND_EVERYTHING, ACTIVE, FLAG_BURN_IN, 0},
    {SOURCE_BURN_IN, ACTIVE, NO_BURN_IN_PATTERN, 0, IDLE, 0, FLAG_BURN_IN},
    {SOURCE_TEMPERATURE, IDLE, HOUSING_HOT, DEMAND_COOLING, COOLING, 0, 0},
    {SOURCE_TEMPERATURE, IDLE, HOUSING_COLD, DEMAND_HEATING, HEATING, 0, 0},
    {SOURCE_TEMPERATURE, COOLING, HOUSING_COOLED, 0, IDLE, 0, 0},
    {SOURCE_TEMPERATURE, HEATING, HOUSING_WARMED, 0, IDLE, 0, 0},
    {SOURCE_HUMIDITY, IDLE, SIGN_HUMID, DEMAND_HEATING, HEATING, 0, 0},
    {SOURCE_HUMIDITY, HEATING, SIGN_DRY, 0, IDLE, 0, 0},
};

const CClimateControl::Source CClimateControl::SOURCE_ORDER[SOURCES] = {
    &CClimateControl::TimedOutputTest,
    &CClimateControl::DiagnosticModeDemand,
    &CClimateControl::TemperatureClimateControl,
    &CClimateControl::HumidityClimateControl,
    &CClimateControl::ZuduzFanDemand,
    &CClimateControl::FanTestDemand,
    &CClimateControl::MaintenanceHeaterDemand,
    &CClimateControl::NoDemand,
};

CClimateControl::CClimateControl(std::atomic<uint32_t>& flag_word) : flags_(flag_word) {}

void CClimateControl::UpdateClimateOutputs(bool reinitialise) {
    if (reinitialise) {
        update_count_ = 0;
        for (Source source : SOURCE_ORDER)
            (this->*source)(true);
        WriteRequestBits(0);
    }
    if (update_count_ < WARM_UP_CALLS) {
        ++update_count_;
        return;
    }
    uint8_t demand = 0;
    for (Source source : SOURCE_ORDER)
        demand |= (this->*source)(false);
    uint32_t bits = 0;
    for (unsigned k = 0; k < CHANNELS; ++k) {
        const uint8_t state = channel_states_[k];
        if (state == CHANNEL_ON || (state == CHANNEL_AUTO && (demand & (1u << k))))
            bits |= REQUEST_BIT[k];
    }
    WriteRequestBits(bits);
}

void CClimateControl::WriteRequestBits(uint32_t bits) {
    flags_.fetch_and(~REQUEST_BITS);
    flags_.fetch_or(bits);
}

bool CClimateControl::CustomerRequestActive() {
    return db_get(obj::zuduzFanControl1) == CUSTOMER_REQUESTED ||
           db_get(obj::zuduzFanControl2) == CUSTOMER_REQUESTED;
}

// --- the operator's timed override ----------------------------------------------------

void CClimateControl::SetTimedCommand(unsigned channel, uint8_t command, uint32_t seconds) {
    if (channel >= CHANNELS || command < COMMAND_AUTO || command > COMMAND_OFF) return;
    commands_[channel] = command;
    durations_[channel] = seconds;
}

uint8_t CClimateControl::TimedCommand(unsigned channel) const {
    return channel < CHANNELS ? commands_[channel] : 0;
}

uint32_t CClimateControl::TimedDuration(unsigned channel) const {
    return channel < CHANNELS ? durations_[channel] : 0;
}

uint8_t CClimateControl::ChannelState(unsigned channel) const {
    return channel < CHANNELS ? channel_states_[channel] : 0;
}

uint8_t CClimateControl::ChannelStateCode(unsigned channel) const {
    return channel < CHANNELS ? uint8_t(FIRST_STATE_CODE + STATE_CODES_PER_CHANNEL * channel +
                                        channel_states_[channel])
                              : 0;
}

// The commands keep their values over a re-initialisation: one left at 2 or
// 3 starts a new override at the next update.
uint8_t CClimateControl::TimedOutputTest(bool reinitialise) {
    if (reinitialise) {
        for (unsigned k = 0; k < CHANNELS; ++k) {
            channel_states_[k] = CHANNEL_AUTO;
            expiries_[k] = 0;
        }
        return timed_demand_ = 0;
    }
    const uint32_t now = db_get_time();
    for (unsigned k = 0; k < CHANNELS; ++k)
        TimedChannel(k, now);
    return timed_demand_;
}

void CClimateControl::TimedChannel(unsigned k, uint32_t now) {
    const uint8_t bit = uint8_t(1u << k);
    uint8_t& state = channel_states_[k];
    const uint8_t command = commands_[k];
    auto go = [&](uint8_t to, bool on) {
        state = to;
        timed_demand_ = uint8_t(on ? timed_demand_ | bit : timed_demand_ & ~bit);
    };
    if (state == CHANNEL_AUTO) {
        if (command == COMMAND_ON) go(CHANNEL_ON, true);
        if (command == COMMAND_OFF) go(CHANNEL_OFF, false);
        if (command == COMMAND_ON || command == COMMAND_OFF) expiries_[k] = now + durations_[k];
        return;
    }
    if (command == COMMAND_AUTO) go(CHANNEL_AUTO, false);
    if (state == CHANNEL_ON && command == COMMAND_OFF) go(CHANNEL_OFF, false);
    if (state == CHANNEL_OFF && command == COMMAND_ON) {
        go(CHANNEL_ON, true);
        expiries_[k] = now + durations_[k];
    }
    if (now > expiries_[k]) {
        go(CHANNEL_AUTO, false);
        commands_[k] = COMMAND_AUTO;
    }
}

// --- burn-in, temperature and humidity --------------------------------------------------

uint8_t CClimateControl::FollowTransitions(uint8_t source, bool reinitialise) {
    uint8_t& state = hysteresis_state_[source];
    uint8_t& demand = hysteresis_demand_[source];
    if (reinitialise) {
        if (source == SOURCE_BURN_IN) flags_.fetch_and(~FLAG_BURN_IN);
        state = IDLE;
        return demand = 0;
    }
    const Readings readings = read_inputs();
    for (const Transition& t : TRANSITIONS) {
        if (t.source != source || t.from != state || !holds(t.when, readings)) continue;
        demand = t.demand;
        state = t.to;
        flags_.fetch_and(~t.clear_flags);
        flags_.fetch_or(t.set_flags);
        break;
    }
    return demand;
}

uint8_t CClimateControl::DiagnosticModeDemand(bool reinitialise) {
    return FollowTransitions(SOURCE_BURN_IN, reinitialise);
}

uint8_t CClimateControl::TemperatureClimateControl(bool reinitialise) {
    return FollowTransitions(SOURCE_TEMPERATURE, reinitialise);
}

uint8_t CClimateControl::HumidityClimateControl(bool reinitialise) {
    return FollowTransitions(SOURCE_HUMIDITY, reinitialise);
}

// --- the customer's fan objects ---------------------------------------------------------

void CClimateControl::ResetCustomerRequest() {
    put(obj::zuduzFanControl1, CUSTOMER_IDLE);
    put(obj::zuduzFanControl2, CUSTOMER_IDLE);
    customer_state_ = IDLE;
    customer_demand_ = 0;
}

uint8_t CClimateControl::ZuduzFanDemand(bool reinitialise) {
    if (reinitialise) {
        ResetCustomerRequest();
        customer_expiry_ = 0;
        return 0;
    }
    const bool a = db_get(obj::zuduzFanControl1) == CUSTOMER_REQUESTED;
    const bool b = db_get(obj::zuduzFanControl2) == CUSTOMER_REQUESTED;
    const bool a_idle = db_get(obj::zuduzFanControl1) == CUSTOMER_IDLE;
    const bool b_idle = db_get(obj::zuduzFanControl2) == CUSTOMER_IDLE;
    const uint32_t now = db_get_time();
    auto run = [&](uint8_t to, uint8_t demand) {
        customer_expiry_ = now + CUSTOMER_RUN_SECONDS;
        customer_state_ = to;
        customer_demand_ |= demand;
    };
    auto stop = [&]() {
        customer_state_ = IDLE;
        customer_demand_ = 0;
    };
    switch (customer_state_) {
    case IDLE:
        if (a && b) run(BOTH, DEMAND_EVERYTHING);
        if (a) run(COOLING, DEMAND_COOLING);
        if (b) run(HEATING, DEMAND_CUSTOMER_HEATING);
        return customer_demand_;
    case COOLING:
    case HEATING: {
        const bool cooling = customer_state_ == COOLING;
        if (cooling ? a_idle : b_idle) stop();
        if (cooling ? b : a) run(BOTH, DEMAND_EVERYTHING);
        break;
    }
    case BOTH:
        if (a_idle || b_idle) ResetCustomerRequest();
        break;
    default:
        stop();
        return 0;
    }
    if (now > customer_expiry_) ResetCustomerRequest();
    return customer_demand_;
}

// --- the NTCIP fan test ------------------------------------------------------------------

namespace {

bool fan_row(uint32_t row) {
    const uint32_t type = db_get(obj::climateCtrlType.row(row));
    for (uint32_t t : FAN_ROW_TYPES)
        if (type == t) return true;
    return false;
}

uint32_t climate_rows() {
    const uint32_t count = db_get(obj::climateCtrlRowCount);
    return count < CLIMATE_ROWS_MAX ? count : CLIMATE_ROWS_MAX;
}

} // namespace

uint8_t CClimateControl::FanTestDemand(bool reinitialise) {
    if (reinitialise) {
        put(obj::fanTestActivation, FAN_TEST_NONE);
        fan_test_state_ = IDLE;
        return fan_test_demand_ = 0;
    }
    if (fan_test_state_ == IDLE) {
        if (db_get(obj::fanTestActivation) != FAN_TEST_RUNNING) return fan_test_demand_;
        unsigned marked = 0;
        for (uint32_t r = 0; r < climate_rows(); ++r)
            if (fan_row(r)) {
                put(obj::climateCtrlTestActivation.row(r), FAN_TEST_RUNNING);
                ++marked;
            }
        if (marked == 0) {
            put(obj::fanTestActivation, FAN_TEST_NONE);
            return fan_test_demand_;
        }
        fan_test_state_ = ACTIVE;
        return fan_test_demand_ |= DEMAND_COOLING;
    }
    unsigned running = 0;
    for (uint32_t r = 0; r < climate_rows(); ++r)
        if (fan_row(r) && db_get(obj::climateCtrlTestActivation.row(r)) == FAN_TEST_RUNNING)
            ++running;
    if (running == 0) {
        put(obj::fanTestActivation, FAN_TEST_NONE);
        fan_test_state_ = IDLE;
        fan_test_demand_ = 0;
    }
    return fan_test_demand_;
}

// --- the maintenance heater ---------------------------------------------------------------

uint8_t CClimateControl::MaintenanceHeaterDemand(bool reinitialise) {
    if (reinitialise) {
        heater_start_count_ = 0;
        heater_budget_ = 0;
        heater_state_ = HEATER_START;
        return heater_demand_ = 0;
    }
    if (heater_start_count_ <= HEATER_START_CALLS) {
        ++heater_start_count_;
        return heater_demand_;
    }
    const uint32_t m = db_get(obj::halvObj1_1);
    const int8_t housing_max = int8_t(db_get(obj::tempMaxSignHousing));
    if (heater_state_ != HEATER_IDLE && heater_state_ != HEATER_HEATING &&
        heater_state_ != HEATER_FORCED) {
        heater_state_ = HEATER_IDLE;
        heater_demand_ = 0;
    }
    if (heater_state_ == HEATER_IDLE)
        MaintenanceIdle(m, housing_max);
    else if (heater_state_ == HEATER_HEATING)
        MaintenanceHeating(m, housing_max);
    else if (!burn_in_pattern(m)) {
        heater_demand_ &= uint8_t(~DEMAND_MAINTENANCE_HEATER);
        heater_state_ = HEATER_IDLE;
    }
    return heater_demand_;
}

void CClimateControl::MaintenanceIdle(uint32_t m, int8_t housing_max) {
    if (burn_in_pattern(m)) {
        heater_budget_ = 0;
        heater_demand_ |= DEMAND_MAINTENANCE_HEATER;
        heater_state_ = HEATER_FORCED;
        return;
    }
    if (db_get(obj::halvObj2_20) != HEATER_REQUESTED) return;
    if (heater_budget_ == 0) {
        heater_budget_ = HEATER_BUDGET;
    } else if (--heater_budget_ == 0) {
        put(obj::halvObj2_20, HEATER_DONE);
        return;
    }
    if (housing_max < HEATER_START_BELOW) {
        heater_demand_ |= DEMAND_MAINTENANCE_HEATER;
        heater_state_ = HEATER_HEATING;
    }
}

void CClimateControl::MaintenanceHeating(uint32_t m, int8_t housing_max) {
    if (burn_in_pattern(m)) {
        heater_budget_ = 0;
        heater_demand_ |= DEMAND_MAINTENANCE_HEATER;
        heater_state_ = HEATER_FORCED;
        return;
    }
    auto stop = [&]() {
        heater_demand_ &= uint8_t(~DEMAND_MAINTENANCE_HEATER);
        heater_state_ = HEATER_IDLE;
    };
    if (db_get(obj::halvObj2_20) == HEATER_DONE) {
        heater_budget_ = 0;
        stop();
    } else if (housing_max < HEATER_STOP_AT) {
        if (heater_budget_ != 0) --heater_budget_;
        if (heater_budget_ != 0) return;
        put(obj::halvObj2_20, HEATER_DONE);
        stop();
    } else {
        stop();
    }
}

uint8_t CClimateControl::NoDemand(bool) {
    return 0;
}
