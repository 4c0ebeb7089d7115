// Temperature sensors on the whole firmware with a simulated CAN field: the
// thresholds that follow the shut-off temperature and the warning and
// critical bits they raise, and a sensor whose board falls silent.
#include "peripherals/can/can_networks.h"
#include "peripherals/factory.h"
#include "peripherals/peripheral_task.h"
#include "peripherals/sensors/temperature.h"
#include "platform/field/field.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/support/firmware_fixture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

const uint32_t WARNING_BIT = 0x0200, CRITICAL_BIT = 0x0800, COMM_ERROR_BIT = 0x0008;

class TemperatureSensor : public test_support::FirmwareFixture {
  protected:
    void Configure(host::HostOptions& options) override {
        options.field_file = options.state_dir + "/field.txt";
        std::ofstream(options.field_file) << "can temperature sign1 42105 temp=30\n";
    }
    // The peripheral task has brought the buses up.
    void SetUp() override {
        FirmwareFixture::SetUp();
        tx_thread_sleep(START_TICKS);
    }
    static const ULONG START_TICKS = 200;
    static CTemperature* Create(uint16_t id, const char* parameters, uint16_t slot = 1) {
        PeripheralRecord record{slot, id, PERIPHERAL_CLASS_TEMPERATURE, parameters};
        pl_factory factories;
        periph_register_factories(factories);
        CPeripheral* created = nullptr;
        factories.Create(record, &created);
        return static_cast<CTemperature*>(created);
    }
    // The board reads `degrees`; two polls send the read and take its reply.
    static void Reading(CTemperature& sensor, int degrees) {
        ASSERT_EQ("ok\n", host::field_command("set sign1 temp=" + std::to_string(degrees)));
        for (int i = 0; i < 2; ++i) {
            sensor.Poll();
            tx_thread_sleep(5);
        }
    }
    static bool MapBit(const DbObject& map, int row) {
        uint8_t bytes[4] = {};
        uint32_t length = 0;
        db_get_string_copy(map, bytes, sizeof bytes, &length);
        return length > uint32_t(row / 8) && (bytes[row / 8] & (1u << (row % 8)));
    }
};

TEST_F(TemperatureSensor, ThresholdsFollowTheShutOffTemperature) {
    struct Step {
        int degrees;
        bool warning, critical;
    };
    struct Case {
        int shut_off;
        int high_warning, high_critical; // of the new row
        std::vector<Step> steps;
    };
    const Case cases[] = {
        {85,
         82,
         85,
         {{30, 0, 0},
          {83, 1, 0},
          {79, 1, 0},
          {78, 0, 0},
          {86, 1, 1},
          {82, 1, 1},
          {81, 1, 0},
          {78, 0, 0},
          {-41, 1, 0},
          {-37, 1, 0},
          {-36, 0, 0}}},
        {70, 67, 70, {{68, 1, 0}, {71, 1, 1}, {66, 1, 0}, {63, 0, 0}}},
        {0, 127, 127, {{100, 0, 0}, {-100, 0, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("shut-off " + std::to_string(c.shut_off));
        db_set(obj::halvShutOffTemp, uint8_t(c.shut_off), DB_NO_VALIDATE);
        CTemperature* sensor = Create(TEMP_SIGN1, "42105,1");
        ASSERT_NE(nullptr, sensor);
        const int row = sensor->TableRow();
        ASSERT_EQ(1, row); // after the controller board's own sensor
        EXPECT_EQ(c.high_warning, db_get_signed(obj::tempSensorHighWarning.row(row)));
        EXPECT_EQ(c.high_critical, db_get_signed(obj::tempSensorHighCritical.row(row)));
        for (const Step& s : c.steps) {
            Reading(*sensor, s.degrees);
            SCOPED_TRACE(s.degrees);
            EXPECT_EQ(s.degrees, db_get_signed(obj::tempSensorCurrent.row(row)));
            EXPECT_EQ(s.warning, MapBit(obj::tempSensorWarningMap, row));
            EXPECT_EQ(s.critical, MapBit(obj::tempSensorCriticalMap, row));
            EXPECT_EQ(s.warning, (db_get(obj::shortErrorStatus) & WARNING_BIT) != 0);
            EXPECT_EQ(s.critical, (db_get(obj::shortErrorStatus) & CRITICAL_BIT) != 0);
        }
        EXPECT_EQ(CPeripheral::STATE_VALID, sensor->State());
        sensor->UpdateShutOffLimits();
        int expected_high = c.shut_off == 0 ? -3 : c.shut_off;
        EXPECT_EQ(expected_high, db_get_signed(obj::tempSensorHighCritical.row(row)));
        EXPECT_EQ(c.shut_off == 0 ? -3 : c.shut_off - 3,
                  db_get_signed(obj::tempSensorHighWarning.row(row)));
        delete sensor;
        EXPECT_EQ(1u, db_get(obj::tempSensorRowCount));
        EXPECT_EQ(0u, db_get(obj::tempSensorStatus.row(row)));
        EXPECT_EQ(0u, db_get(obj::shortErrorStatus) & (WARNING_BIT | CRITICAL_BIT));
    }
}

// The controller board's sensor holds row 0 from the start; with the table
// full a sensor runs without a row and still reads into its auxiliary row.
TEST_F(TemperatureSensor, WithTheTableFullASensorStillReads) {
    EXPECT_EQ(1u, db_get(obj::tempSensorRowCount));
    EXPECT_STREQ("TEMPCONTROLLER", db_get_string(obj::tempSensorDescription.row(0)));
    db_set(obj::tempSensorRowCount, CTemperature::TABLE_ROWS, 0);
    CTemperature* sensor = Create(TEMP_SIGN1, "42105,1");
    ASSERT_NE(nullptr, sensor);
    EXPECT_EQ(-1, sensor->TableRow());
    Reading(*sensor, 44);
    EXPECT_EQ(44, sensor->Temperature());
    EXPECT_EQ(CPeripheral::STATE_VALID, sensor->State());
    EXPECT_EQ(44u, db_get(obj::auxIOPortValue.row(unsigned(sensor->AuxRow()))));
    EXPECT_STREQ("TEMPSIGN1",
                 db_get_string(obj::auxIOPortDescription.row(unsigned(sensor->AuxRow()))));
    delete sensor;
    EXPECT_EQ(CTemperature::TABLE_ROWS, db_get(obj::tempSensorRowCount));
}

TEST_F(TemperatureSensor, TheCabinetSensorWithoutABusCodeIsOnTheControlPanelNetwork) {
    CTemperature* cabinet = Create(TEMP_CABINET, "42108,0");
    ASSERT_NE(nullptr, cabinet);
    EXPECT_STREQ(CAN_BUS_PANEL, cabinet->CanBusName());
    EXPECT_STREQ("TEMPCABINET", cabinet->DeviceName());
    delete cabinet;
    for (const char* bad : {"42108,100", "42108,1,100", "20000000,1", "1,2,3,4,5,6,7,8,9"})
        EXPECT_EQ(nullptr, Create(TEMP_SIGN1, bad)) << bad;
}

// The sign creates the controller board's sensor itself; it reads the boot
// monitor's board temperature, sends nothing, and never falls silent.
TEST_F(TemperatureSensor, TheControllerSensorReadsTheBoardTemperature) {
    ASSERT_EQ("ok\n", host::field_command("set board temperature=41"));
    CPeripheral* controller = ThePeripheralTask().GetPeripheral(TEMP_CONTROLLER);
    ASSERT_NE(nullptr, controller);
    tx_thread_sleep(600);
    EXPECT_EQ(41, db_get_signed(obj::tempSensorCurrent.row(0)));
    EXPECT_EQ(CPeripheral::STATE_VALID, controller->State());
    ASSERT_EQ("ok\n", host::field_command("set board temperature=-12"));
    tx_thread_sleep(45000);
    EXPECT_EQ(-12, db_get_signed(obj::tempSensorCurrent.row(0)));
    EXPECT_EQ(CPeripheral::STATE_VALID, controller->State());
    EXPECT_EQ(0u, static_cast<CTemperature*>(controller)->packets_sent);
}

// A board on bus code 2 falls silent: the chip is set up again every 100 s,
// and after 400 s the sensor is in COMM ERROR with its row failed.
TEST_F(TemperatureSensor, ASilentBoardOnBusCodeTwo) {
    ASSERT_EQ("ok\n", host::field_command("set sign1 silent=1"));
    CTemperature* sensor = Create(TEMP_SIGN1, "42105,2");
    ASSERT_NE(nullptr, sensor);
    ASSERT_TRUE(ThePeripheralTask().Registry().Adopt(sensor));
    const uint32_t setups = the_can_j6_driver().Chip().SetUps();
    tx_thread_sleep(9400);
    EXPECT_EQ(setups, the_can_j6_driver().Chip().SetUps());
    tx_thread_sleep(1200);
    EXPECT_EQ(setups + 1, the_can_j6_driver().Chip().SetUps());
    EXPECT_EQ(CPeripheral::STATE_READING, sensor->State());
    tx_thread_sleep(30000);
    EXPECT_EQ(CPeripheral::STATE_COMM_ERROR, sensor->State());
    EXPECT_EQ(3u, db_get(obj::tempSensorStatus.row(1)));
    EXPECT_TRUE(MapBit(obj::tempSensorFailureMap, 1));
    EXPECT_EQ(2u, db_get(obj::halvPeripheralStatus.row(1))); // row 0: the factory light sensor
    EXPECT_TRUE(db_get(obj::shortErrorStatus) & COMM_ERROR_BIT);

    ASSERT_EQ("ok\n", host::field_command("set sign1 silent=0"));
    tx_thread_sleep(1100);
    EXPECT_EQ(CPeripheral::STATE_VALID, sensor->State());
    EXPECT_EQ(2u, db_get(obj::tempSensorStatus.row(1)));
    EXPECT_EQ(30, db_get_signed(obj::tempSensorCurrent.row(1)));
}

TEST_F(TemperatureSensor, AChangedShutOffTemperatureReachesTheSignSensors) {
    CTemperature* sensor = Create(TEMP_SIGN1, "42105,1");
    ASSERT_NE(nullptr, sensor);
    ASSERT_TRUE(ThePeripheralTask().Registry().Adopt(sensor));
    const unsigned row = unsigned(sensor->TableRow());
    EXPECT_EQ(75, db_get_signed(obj::tempSensorHighCritical.row(row))); // the factory shut-off
    ASSERT_EQ(DB_OK, db_set(obj::halvShutOffTemp, 70, DB_NOTIFY));
    tx_thread_sleep(100);
    EXPECT_EQ(67, db_get_signed(obj::tempSensorHighWarning.row(row)));
    EXPECT_EQ(70, db_get_signed(obj::tempSensorHighCritical.row(row)));
    EXPECT_EQ(-40, db_get_signed(obj::tempSensorLowWarning.row(row)));
}

} // namespace
