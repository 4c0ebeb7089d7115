// The climate control of the peripheral task on the whole firmware: the
// demands of the burn-in patterns, humidity, the housing temperature, the
// customer's fan objects, the fan test and the maintenance heater, the
// operator's timed overrides, and the warm-up after a reload of the list,
// read as the five request bits of the task's flag word.
#include "peripherals/climate.h"
#include "peripherals/peripheral_task.h"
#include "peripherals/sensors/temperature.h"
#include "platform/field/field.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/peripherals/sensor_fixture.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

namespace {

using sensor_test::PASS;

const uint32_t INTAKE = CPeripheralTask::FLAG_INTAKE_FANS, FACE = CPeripheralTask::FLAG_FACE_FANS,
               PIXEL = CPeripheralTask::FLAG_PIXEL_FANS, HEATER = CPeripheralTask::FLAG_HEATER,
               MAINTENANCE = CPeripheralTask::FLAG_MAINTENANCE_HEATER;
const uint32_t FANS = INTAKE | FACE | PIXEL;
const uint32_t ALL = FANS | HEATER | MAINTENANCE;
const ULONG SECOND = 100;

uint32_t requests() {
    return ThePeripheralTask().FlagWord() & CClimateControl::REQUEST_BITS;
}

CClimateControl& climate() {
    return ThePeripheralTask().Climate();
}

// A peripheral holding one fan row of the climate table, as a fan does.
class FanRow : public CPeripheral {
  public:
    FanRow() : CPeripheral(0x0B, 999) { RegisterClimateCtrl(&row, "TEST FAN", "FANS PASSED", 3); }
    ~FanRow() override { UnregisterClimateCtrl(&row); }
    void Poll() override {}
    int32_t row = NO_ROW;
};

class Climate : public sensor_test::SensorFixture {
  protected:
    std::string FieldLines() const override { return "can temperature sign1 42105 temp=30\n"; }
    void SetUp() override {
        SensorFixture::SetUp();
        tx_thread_sleep(CClimateControl::WARM_UP_CALLS * PASS); // the start's warm-up
    }
    // The peripheral list is edited and reloaded: the climate control starts again.
    static void Reload() {
        db_set(obj::peripheralConfigState, 1, DB_NOTIFY);
        db_set(obj::peripheralConfigState, 2, DB_NOTIFY);
    }
    struct Step {
        const char* what;
        std::function<void()> act;
        ULONG ticks; // let the task run this long, then read the bits
        uint32_t bits;
    };
    static void Run(const Step* steps, size_t count) {
        for (size_t i = 0; i < count; ++i) {
            SCOPED_TRACE(steps[i].what);
            steps[i].act();
            tx_thread_sleep(steps[i].ticks);
            EXPECT_EQ(steps[i].bits, requests());
        }
    }
};

TEST_F(Climate, TheBurnInPatternTurnsEverythingOnAfterTheWarmUp) {
    db_set(obj::halvObj1_1, 31, DB_NOTIFY);
    Reload();
    // The reload's pass makes the re-initialising call and its own, and each
    // later pass one: the 25th call, in the 24th pass, computes the bits.
    unsigned clear_passes = 0;
    for (; clear_passes < 40 && requests() == 0; ++clear_passes)
        tx_thread_sleep(PASS);
    EXPECT_EQ(24u, clear_passes);
    EXPECT_EQ(ALL, requests());
    EXPECT_TRUE(ThePeripheralTask().FlagWord() & CClimateControl::FLAG_BURN_IN);

    // A channel forced off stays off; the pattern ended, the demand drops.
    climate().SetTimedCommand(4, CClimateControl::COMMAND_OFF, 600);
    tx_thread_sleep(PASS);
    EXPECT_EQ(ALL & ~MAINTENANCE, requests());
    db_set(obj::halvObj1_1, 1, DB_NOTIFY);
    tx_thread_sleep(PASS);
    EXPECT_EQ(0u, requests());
    EXPECT_FALSE(ThePeripheralTask().FlagWord() & CClimateControl::FLAG_BURN_IN);
    climate().SetTimedCommand(4, CClimateControl::COMMAND_AUTO, 0);
}

TEST_F(Climate, HumidityOverridesCustomerRequestsAndTheMaintenanceHeater) {
    auto set = [](const DbObject& o, uint32_t v) { return [o, v] { db_set(o, v, DB_NOTIFY); }; };
    auto command = [](unsigned channel, uint8_t c, uint32_t seconds) {
        return [=] { climate().SetTimedCommand(channel, c, seconds); };
    };
    auto nothing = [] {};
    // The housing sensor is not polled: no temperature, no temperature demand.
    const Step steps[] = {
        {"humidity 95 % heats", set(obj::halvObj5_7, 95), PASS, FACE | HEATER},
        {"92 % keeps heating", set(obj::halvObj5_7, 92), PASS, FACE | HEATER},
        {"90 % stops", set(obj::halvObj5_7, 90), PASS, 0},
        {"95 % again", set(obj::halvObj5_7, 95), PASS, FACE | HEATER},
        {"the heater forced off for 60 s", command(3, CClimateControl::COMMAND_OFF, 60), PASS,
         FACE},
        {"still off after 59 s", nothing, 58 * SECOND, FACE},
        {"back to auto after 60 s", nothing, 3 * SECOND, FACE | HEATER},
        {"dry again", set(obj::halvObj5_7, 50), PASS, 0},
        {"pixel fans forced on", command(2, CClimateControl::COMMAND_ON, 30), PASS, PIXEL},
        {"ended by command 1 at once", command(2, CClimateControl::COMMAND_AUTO, 0), PASS, 0},
        {"customer request 1 runs the fans", set(obj::zuduzFanControl1, 1), PASS, FANS},
        {"for 180 s", nothing, 175 * SECOND, FANS},
        {"then both objects read 2", nothing, 10 * SECOND, 0},
        {"customer request 2 heats", set(obj::zuduzFanControl2, 1), PASS,
         FACE | HEATER | MAINTENANCE},
        {"request 1 with it: everything", set(obj::zuduzFanControl1, 1), PASS, ALL},
        {"request 2 withdrawn ends both", set(obj::zuduzFanControl2, 2), PASS, 0},
        {"fan test without fan rows runs nothing", set(obj::fanTestActivation, 3), 2 * PASS, 0},
        {"maintenance heater below 20 C", set(obj::halvObj2_20, 1), PASS, MAINTENANCE},
        {"withdrawn", set(obj::halvObj2_20, 2), PASS, 0},
    };
    Run(steps, sizeof steps / sizeof steps[0]);
    EXPECT_EQ(CClimateControl::COMMAND_AUTO, climate().TimedCommand(3));
    EXPECT_EQ(13, climate().ChannelStateCode(3)); // auto
    EXPECT_EQ(2u, db_get(obj::zuduzFanControl1));
    EXPECT_EQ(2u, db_get(obj::zuduzFanControl2));
    EXPECT_EQ(2u, db_get(obj::fanTestActivation));
}

// A reload during heating: the humidity demand stays 0 until the humidity
// next reaches 95 %.
TEST_F(Climate, AReloadForgetsTheHumidityDemand) {
    db_set(obj::halvObj5_7, 96, DB_NOTIFY);
    tx_thread_sleep(PASS);
    ASSERT_EQ(FACE | HEATER, requests());
    db_set(obj::halvObj5_7, 93, DB_NOTIFY);
    Reload();
    tx_thread_sleep(30 * PASS);
    EXPECT_EQ(0u, requests());
    db_set(obj::halvObj5_7, 95, DB_NOTIFY);
    tx_thread_sleep(PASS);
    EXPECT_EQ(FACE | HEATER, requests());
}

TEST_F(Climate, TheFanTestMarksTheFanRowsUntilTheFansEndThem) {
    FanRow fan;
    ASSERT_NE(NO_ROW, fan.row);
    const DbObject test = obj::climateCtrlTestActivation.row(unsigned(fan.row));
    db_set(obj::fanTestActivation, 3, DB_NOTIFY);
    tx_thread_sleep(PASS);
    EXPECT_EQ(3u, db_get(test));
    EXPECT_EQ(FANS, requests());
    tx_thread_sleep(4 * PASS);
    EXPECT_EQ(3u, db_get(obj::fanTestActivation));
    db_set(test, 2, DB_NOTIFY); // the fan ends its row's test
    tx_thread_sleep(PASS);
    EXPECT_EQ(2u, db_get(obj::fanTestActivation));
    EXPECT_EQ(0u, requests());
}

// The housing's temperature: cooling above 0 C, heating below 5 C until 8 C;
// a maintenance-heater request at 22 C waits for 19 C and heats up to 26 C.
TEST_F(Climate, TheHousingTemperatureCoolsAndHeats) {
    CTemperature* sign1 =
        Install<CTemperature>(TEMP_SIGN1, PERIPHERAL_CLASS_TEMPERATURE, "42105,1", 1);
    ASSERT_NE(nullptr, sign1);
    auto reading = [sign1](int degrees) {
        return [sign1, degrees] {
            ASSERT_EQ("ok\n", host::field_command("set sign1 temp=" + std::to_string(degrees)));
            Polls(*sign1, 2);
        };
    };
    auto heater = [](uint32_t v) { return [v] { db_set(obj::halvObj2_20, v, DB_NOTIFY); }; };
    const Step steps[] = {
        {"30 C cools", reading(30), PASS, FANS},
        {"-3 C: cooling ends, heating starts", reading(-3), 2 * PASS, FACE | HEATER},
        {"7 C still heats", reading(7), PASS, FACE | HEATER},
        {"8 C stops heating", reading(8), 2 * PASS, FANS},
        {"maintenance request at 22 C", reading(22), PASS, FANS},
        {"   waits", heater(1), 2 * PASS, FANS},
        {"19 C heats", reading(19), PASS, FANS | MAINTENANCE},
        {"25 C keeps heating", reading(25), PASS, FANS | MAINTENANCE},
        {"26 C stops", reading(26), PASS, FANS},
    };
    Run(steps, sizeof steps / sizeof steps[0]);
    EXPECT_EQ(1u, db_get(obj::halvObj2_20)); // the request stands
    EXPECT_NE(0u, climate().MaintenanceBudget());
}

} // namespace
