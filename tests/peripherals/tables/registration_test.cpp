// The registration tables as peripherals use them: rows handed out by count
// and given back, maps and counts kept, a freed row taken again; the fan bits
// with their trap and the climate bit of shortErrorStatus; sensor failures;
// auxiliary I/O rows, fixed and listed.
#include "comm/agents/trap_raise.h"
#include "peripherals/peripheral_ids.h"
#include "peripherals/peripheral_task.h"
#include "peripherals/tables/registration.h"
#include "store/database.h"
#include "store/objects.h"
#include "store/short_error_status.h"
#include "tests/support/firmware_fixture.h"

#include <string>

namespace {

int g_fan_traps = 0;

void count_fan_traps(uint32_t generic, uint32_t specific, uint32_t count, const trap_varbind*) {
    if (generic == TRAP_ENTERPRISE_SPECIFIC && specific == TRAP_FAN_FAILURE && count == 2)
        ++g_fan_traps;
}

class Unit : public CPeripheral {
  public:
    Unit() : CPeripheral(PERIPHERAL_CLASS_BEACON, 40) {}
    void Poll() override {}
};

class Registration : public test_support::FirmwareFixture {
  protected:
    void SetUp() override {
        test_support::FirmwareFixture::SetUp();
        tx_thread_sleep(100);
        // The factory list's light sensor gives its rows back.
        ThePeripheralTask().Registry().Unload();
        registration_reset();
        g_fan_traps = 0;
        set_trap_sink(count_fan_traps);
    }
    void TearDown() override {
        set_trap_sink(nullptr);
        test_support::FirmwareFixture::TearDown();
    }
    static std::string Map(const DbObject& map) {
        uint32_t length = 0;
        const char* bytes = db_get_string(map, &length);
        return std::string(bytes ? bytes : "", length);
    }
    Unit unit;
};

TEST_F(Registration, ClimateRowsAreHandedOutByCountAndAFreedRowComesBack) {
    int32_t rows[3] = {NO_ROW, NO_ROW, NO_ROW};
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(unit.RegisterClimateCtrl(&rows[i], "FAN", "FANS PASSED", 2));
        EXPECT_EQ(i, rows[i]);
    }
    int32_t held = rows[1];
    EXPECT_TRUE(unit.RegisterClimateCtrl(&held, "X", "Y", 3)); // held already: unchanged
    EXPECT_EQ(1, held);
    EXPECT_EQ(3u, db_get(obj::climateCtrlRowCount));
    EXPECT_EQ(std::string(1, '\0'), Map(obj::climateCtrlErrorMap));
    EXPECT_STREQ("FANS PASSED", db_get_string(obj::climateCtrlStatusText.row(2)));

    unit.SetClimateFailure(rows[2], "FAN FAILED");
    EXPECT_EQ(std::string(1, '\x04'), Map(obj::climateCtrlErrorMap));
    EXPECT_TRUE(short_error_is_set(SHORT_ERROR_CLIMATE));
    unit.UnregisterClimateCtrl(&rows[2]);
    EXPECT_EQ(NO_ROW, rows[2]);
    EXPECT_EQ(2u, db_get(obj::climateCtrlRowCount));
    EXPECT_EQ(std::string(1, '\0'), Map(obj::climateCtrlErrorMap));
    EXPECT_EQ(1u, db_get(obj::climateCtrlType.row(2)));
    EXPECT_FALSE(short_error_is_set(SHORT_ERROR_CLIMATE));

    int32_t fourth = NO_ROW;
    ASSERT_TRUE(unit.RegisterClimateCtrl(&fourth, "HEATER", "HEATER PASSED", 7));
    EXPECT_EQ(2, fourth);
    EXPECT_EQ(3u, db_get(obj::climateCtrlRowCount));
    unit.SetClimateFailure(fourth, "HEATER FAILED");
    EXPECT_EQ(std::string(1, '\x01'), Map(obj::zuduzClimateFailures)); // the first heater row
    EXPECT_EQ(-1, unit.GetClimateCtrlError(NO_ROW));
}

TEST_F(Registration, FullTablesRefuseAndLeaveTheTablesAsTheyWere) {
    int32_t row = NO_ROW;
    for (unsigned i = 0; i < PHOTOCELL_ROWS; ++i, row = NO_ROW)
        ASSERT_TRUE(unit.RegisterLightRow(&row, "LGHTFRONT"));
    EXPECT_FALSE(unit.RegisterLightRow(&row, "ONE TOO MANY"));
    EXPECT_EQ(NO_ROW, row);
    EXPECT_EQ(PHOTOCELL_ROWS, db_get(obj::photocellRowCount));
    int32_t bit = NO_ROW;
    for (unsigned i = 0; i < FAN_BITS; ++i, bit = NO_ROW)
        ASSERT_TRUE(unit.AllocateFanBit(&bit));
    EXPECT_FALSE(unit.AllocateFanBit(&bit));
    int32_t last = int32_t(FAN_BITS - 1);
    unit.FreeFanBit(&last);
    EXPECT_EQ(NO_ROW, last);
    ASSERT_TRUE(unit.AllocateFanBit(&bit));
    EXPECT_EQ(int32_t(FAN_BITS - 1), bit);
}

// The trap goes out for the first failure only; the climate bit stays while a
// fan or a row has failed, and goes with a freed fan bit that had failed.
TEST_F(Registration, FanFailuresRaiseOneTrapAndKeepTheClimateBitWhileAnythingFailed) {
    int32_t fan_a = NO_ROW, fan_b = NO_ROW, row_a = NO_ROW, row_b = NO_ROW;
    ASSERT_TRUE(unit.AllocateFanBit(&fan_a));
    ASSERT_TRUE(unit.AllocateFanBit(&fan_b));
    ASSERT_TRUE(unit.RegisterClimateCtrl(&row_a, "FAN A", "FANS PASSED", 2));
    ASSERT_TRUE(unit.RegisterClimateCtrl(&row_b, "FAN B", "FANS PASSED", 2));
    unit.SetFanFailure(fan_a, row_a, "FAN FAILED");
    unit.SetFanFailure(fan_b, NO_ROW, "FAN FAILED");
    EXPECT_EQ(1, g_fan_traps);
    EXPECT_EQ(std::string(1, '\x03'), Map(obj::fanFailures).substr(0, 1));

    unit.ClearClimateFailure(row_a, "FANS PASSED"); // fan bits still set
    EXPECT_TRUE(short_error_is_set(SHORT_ERROR_CLIMATE));
    unit.ClearFanFailure(fan_a, NO_ROW, "FANS PASSED");
    EXPECT_TRUE(short_error_is_set(SHORT_ERROR_CLIMATE));
    unit.FreeFanBit(&fan_b); // the failed fan goes away
    EXPECT_FALSE(short_error_is_set(SHORT_ERROR_CLIMATE));

    unit.SetFanFailure(fan_a, row_b, "FAN FAILED");
    EXPECT_EQ(2, g_fan_traps);
    unit.SetFanFailure(NO_ROW, row_b, "NOT A FAN"); // -1 changes nothing
    EXPECT_EQ(2, g_fan_traps);
}

TEST_F(Registration, SensorFailuresSetTheirBitsUntilTheLastRowClears) {
    int32_t first = NO_ROW, second = NO_ROW, temp = NO_ROW;
    ASSERT_TRUE(unit.RegisterHumidityRow(&first, "HUMIDITY SIGN1"));
    ASSERT_TRUE(unit.RegisterHumidityRow(&second, "HUMIDITY SIGN2"));
    unit.SetHumidityFailure(first);
    unit.SetHumidityFailure(second);
    EXPECT_EQ(3u, db_get(obj::humiditySensorStatus.row(1)));
    unit.ClearHumidityFailure(first);
    EXPECT_TRUE(short_error_is_set(SHORT_ERROR_HUMIDITY));
    unit.UnregisterHumidityRow(&second);
    EXPECT_FALSE(short_error_is_set(SHORT_ERROR_HUMIDITY));
    EXPECT_EQ(1u, db_get(obj::humiditySensorRowCount));

    ASSERT_TRUE(unit.RegisterTempRow(&temp, "TEMPSIGN1"));
    unit.SetTempWarning(temp);
    unit.SetTempCritical(temp);
    EXPECT_TRUE(short_error_is_set(SHORT_ERROR_TEMPERATURE_WARNING));
    EXPECT_TRUE(short_error_is_set(SHORT_ERROR_CRITICAL_TEMPERATURE));
    unit.UnregisterTempRow(&temp);
    EXPECT_FALSE(short_error_is_set(SHORT_ERROR_TEMPERATURE_WARNING));
    EXPECT_FALSE(short_error_is_set(SHORT_ERROR_CRITICAL_TEMPERATURE));
    unit.SetLightFailure(NO_ROW);
    EXPECT_FALSE(short_error_is_set(SHORT_ERROR_PHOTOCELL));
}

TEST_F(Registration, AuxiliaryPortsTakeFixedThenFreeRowsAndKeepAStoredDescription) {
    int32_t fixed_digital = AUX_IO_NEXT_FIXED_ROW, fixed_analog = AUX_IO_NEXT_FIXED_ROW;
    ASSERT_TRUE(unit.RegisterAuxIO(&fixed_digital, 3, 2, 1, "%s", "MODEM SIGNAL STRENGTH"));
    ASSERT_TRUE(unit.RegisterAuxIO(&fixed_analog, 2, 2, 8, "TEMP %d", 1));
    EXPECT_EQ(0, fixed_digital);
    EXPECT_EQ(int32_t(AUX_IO_FIRST_ANALOG_ROW), fixed_analog);
    int32_t other = AUX_IO_NEXT_FIXED_ROW;
    EXPECT_FALSE(unit.RegisterAuxIO(&other, 1, 2, 1, "OTHER"));

    int32_t free_digital = NO_ROW, free_analog = NO_ROW;
    ASSERT_TRUE(unit.RegisterAuxIO(&free_digital, 3, 1, 1, "DOOR"));
    ASSERT_TRUE(unit.RegisterAuxIO(&free_analog, 2, 2, 8, "LIGHT"));
    EXPECT_EQ(1, free_digital);
    EXPECT_EQ(int32_t(AUX_IO_FIRST_ANALOG_ROW + 1), free_analog);
    EXPECT_STREQ("DOOR", db_get_string(obj::auxIOPortDescription.row(1)));
    int32_t late_fixed = AUX_IO_NEXT_FIXED_ROW;
    EXPECT_FALSE(unit.RegisterAuxIO(&late_fixed, 3, 2, 1, "TOO LATE"));

    int32_t stored = 1; // a row kept for a list slot, its description still there
    ASSERT_TRUE(unit.RegisterAuxIO(&stored, 3, 3, 1, "RENAMED"));
    EXPECT_STREQ("DOOR", db_get_string(obj::auxIOPortDescription.row(1)));
    EXPECT_EQ(3u, db_get(obj::auxIOPortDirection.row(1)));
    EXPECT_TRUE(unit.SetAuxIOValue(1, 1));
    EXPECT_EQ(1u, db_get(obj::auxIOPortLastCommand.row(1)));
    EXPECT_FALSE(unit.SetAuxIOValue(fixed_analog, 7)); // an input
    EXPECT_EQ(7u, db_get(obj::auxIOPortValue.row(fixed_analog)));
    unit.UnregisterAuxIO(1);
    EXPECT_STREQ("UNUSED", db_get_string(obj::auxIOPortDescription.row(1)));
    int32_t out_of_range = 500;
    EXPECT_FALSE(unit.RegisterAuxIO(&out_of_range, 3, 2, 1, "X"));
}

} // namespace
