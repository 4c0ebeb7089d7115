// Fan-speed sensors on the simulated field: the intake fan (510) on a DC I/O
// board drives the fan whose speed board 42520 reads (follows=io1.24: 0 RPM
// while the output is off). Low-speed failures with trap 15, the timed
// diagnostic, the power sense, a primary/secondary pair and silence.
#include "comm/agents/trap_raise.h"
#include "peripherals/climate.h"
#include "peripherals/io/climate_point.h"
#include "peripherals/io/dcio.h"
#include "peripherals/io/input_state.h"
#include "peripherals/peripheral_task.h"
#include "peripherals/sensors/fan_rpm.h"
#include "platform/field/field.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/peripherals/sensor_fixture.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using sensor_test::PASS;

const uint32_t CLIMATE_BIT = 0x0400;
const char* const PASSED = "INTAKE FAN AND FILTER DIAGNOSTICS PASSED";
const char* const FAILED = "INTAKE FAN AND FILTER DIAGNOSTICS FAILED";
int fan_traps = 0;

// The fan power sense (749) with its input as the test sets it.
class PowerSense : public CPeripheral, public io_input_state {
  public:
    PowerSense() : CPeripheral(PERIPHERAL_CLASS_IO_BASED, CFanRPM::POWER_SENSE) {}
    void Poll() override {}
    uint8_t InputState() const override { return input; }
    uint8_t input = 1;
};

std::string text(const DbObject& o) {
    const char* t = db_get_string(o);
    return t ? t : "";
}

class FanSpeed : public sensor_test::SensorFixture {
  protected:
    std::string FieldLines() const override {
        return "can dcio io1 42230\n"
               "can rpm fan1 42520 rpm=900 follows=io1.24\n"
               "can rpm fan2 42521 rpm=1500\n";
    }
    void SetUp() override {
        SensorFixture::SetUp();
        tx_thread_sleep(CClimateControl::WARM_UP_CALLS * PASS);
        fan_traps = 0;
        set_trap_sink([](uint32_t generic, uint32_t specific, uint32_t, const trap_varbind*) {
            if (generic == TRAP_ENTERPRISE_SPECIFIC && specific == 15) ++fan_traps;
        });
        if (FanPairs())
            db_set(obj::halvSpecialFeatureSet, db_get(obj::halvSpecialFeatureSet) | 0x10,
                   DB_NOTIFY);
        board_ = Install<DCIO>(50, PERIPHERAL_CLASS_DCIO, "42230,FF,F0,F0,F0,1", 0);
        ASSERT_NE(nullptr, board_);
        fan_ = Install<CFanIO>(510, PERIPHERAL_CLASS_FAN_CONTROL, "18,32", 1);
        ASSERT_NE(nullptr, fan_);
    }
    void TearDown() override {
        set_trap_sink(nullptr);
        SensorFixture::TearDown();
    }
    virtual bool FanPairs() const { return false; }
    CFanRPM* Sensor(uint16_t id, const char* parameters, uint16_t slot) {
        return Install<CFanRPM>(id, PERIPHERAL_CLASS_FAN_RPM, parameters, slot);
    }
    // One poll of the board, the fan and each sensor, with the replies.
    void Poll(std::initializer_list<CPeripheral*> sensors, ULONG ticks = sensor_test::REPLY_TICKS) {
        board_->Poll();
        fan_->Poll();
        for (CPeripheral* s : sensors)
            s->Poll();
        tx_thread_sleep(ticks);
    }
    // The intake fans' request bit on (or back to auto) for the fan's polls
    // (past its start-up delay of 10 polls).
    void IntakeFans(uint8_t command) {
        ThePeripheralTask().Climate().SetTimedCommand(0, command, 3600);
        tx_thread_sleep(PASS + 10);
        for (int i = 0; i < CFanIO::STARTUP_POLLS + 2; ++i)
            Poll({});
    }
    static uint32_t ClimateBit() { return db_get(obj::shortErrorStatus) & CLIMATE_BIT; }
    static std::string FanFailures() {
        uint32_t n = 0;
        const char* p = db_get_string(obj::fanFailures, &n);
        return std::string(p ? p : "", n);
    }
    static std::string Row(const DbObject& column, const CFanRPM& s) {
        return text(column.row(unsigned(s.ClimateRow())));
    }
    static uint32_t RowValue(const DbObject& column, const CFanRPM& s) {
        return db_get(column.row(unsigned(s.ClimateRow())));
    }
    DCIO* board_ = nullptr;
    CFanIO* fan_ = nullptr;
};

TEST_F(FanSpeed, ElevenLowReadingsFailTheFanOnceAndAGoodOneClearsIt) {
    CFanRPM* sensor = Sensor(730, "42520,1", 2);
    ASSERT_NE(nullptr, sensor);
    EXPECT_EQ("RPM SENSOR 01", Row(obj::climateCtrlDescription, *sensor));
    EXPECT_EQ(PASSED, Row(obj::climateCtrlStatusText, *sensor));
    EXPECT_EQ(2u, RowValue(obj::climateCtrlType, *sensor));
    for (int i = 0; i < 20; ++i) // the fan is off: 0 RPM, not watched
        Poll({sensor});
    EXPECT_EQ(CPeripheral::STATE_VALID, sensor->State());
    EXPECT_EQ(0, sensor->Speed());
    EXPECT_FALSE(sensor->Monitored());
    EXPECT_EQ(CFanRPM::LOW_READINGS, sensor->LowSpeedCountdown());

    IntakeFans(CClimateControl::COMMAND_ON);
    ASSERT_TRUE(fan_->IsCommandedOn());
    int polls = 0;
    while (sensor->LowSpeedCountdown() != 0 && polls++ < 30)
        Poll({sensor});
    EXPECT_EQ(900, sensor->Speed());
    EXPECT_TRUE(sensor->Monitored());
    EXPECT_FALSE(sensor->FailureReported()) << "ten low readings";
    EXPECT_EQ(0u, ClimateBit());
    while (!sensor->FailureReported() && polls++ < 30)
        Poll({sensor});
    EXPECT_TRUE(sensor->FailureReported()) << "the eleventh";
    EXPECT_EQ(FAILED, Row(obj::climateCtrlStatusText, *sensor));
    EXPECT_EQ(3u, RowValue(obj::climateCtrlError, *sensor));
    EXPECT_EQ(CLIMATE_BIT, ClimateBit());
    EXPECT_EQ(std::string(1, char(1 << sensor->FanBit())), FanFailures());
    EXPECT_EQ(0u, db_get(obj::auxIOPortValue.row(unsigned(sensor->AuxRow()))));
    for (int i = 0; i < 5; ++i)
        Poll({sensor});
    EXPECT_EQ(1, fan_traps);

    ASSERT_EQ("ok\n", host::field_command("set fan1 rpm=1000"));
    for (int i = 0; i < 3; ++i)
        Poll({sensor});
    EXPECT_FALSE(sensor->FailureReported());
    EXPECT_EQ(PASSED, Row(obj::climateCtrlStatusText, *sensor));
    EXPECT_EQ(0u, ClimateBit());
    EXPECT_EQ(std::string(1, '\0'), FanFailures());
    EXPECT_EQ(CFanRPM::LOW_READINGS, sensor->LowSpeedCountdown());
    EXPECT_EQ(1u, db_get(obj::auxIOPortValue.row(unsigned(sensor->AuxRow()))));
    IntakeFans(CClimateControl::COMMAND_AUTO);
}

// A test request runs 180 s; it ends at the first reading past the deadline
// with the result of the readings during the test.
TEST_F(FanSpeed, TheDiagnosticJudgesTheReadingsOf180Seconds) {
    CFanRPM* sensor = Sensor(730, "42520,1", 2);
    ASSERT_NE(nullptr, sensor);
    IntakeFans(CClimateControl::COMMAND_ON);
    const DbObject test = obj::climateCtrlTestActivation.row(unsigned(sensor->ClimateRow()));
    db_set(test, 3, DB_NOTIFY);
    for (int i = 0; i < 3; ++i)
        Poll({sensor});
    ASSERT_EQ(CFanRPM::DIAGNOSTIC_RUNNING, sensor->GetDiagnosticState());
    EXPECT_EQ(1u, RowValue(obj::climateCtrlOnStatus, *sensor));
    const uint32_t start = db_get_time();
    while (sensor->GetDiagnosticState() == CFanRPM::DIAGNOSTIC_RUNNING &&
           db_get_time() < start + 200)
        Poll({sensor}, 100);
    EXPECT_GT(db_get_time(), start + CFanRPM::DIAGNOSTIC_SECONDS);
    EXPECT_LE(db_get_time(), start + CFanRPM::DIAGNOSTIC_SECONDS + 4); // the next reading
    EXPECT_EQ(2u, db_get(test));
    EXPECT_EQ(FAILED, Row(obj::climateCtrlStatusText, *sensor));
    EXPECT_TRUE(sensor->FailureReported());
    EXPECT_EQ(1, fan_traps);

    ASSERT_EQ("ok\n", host::field_command("set fan1 rpm=1800"));
    db_set(test, 3, DB_NOTIFY);
    for (int i = 0; i < 200 && db_get(test) != 2; ++i)
        Poll({sensor}, 100);
    EXPECT_EQ(PASSED, Row(obj::climateCtrlStatusText, *sensor));
    EXPECT_FALSE(sensor->FailureReported());
    EXPECT_EQ(0u, ClimateBit());
    IntakeFans(CClimateControl::COMMAND_AUTO);
}

TEST_F(FanSpeed, APowerSenseOrAnUnreadySensorAnswersTheTestRequest) {
    CFanRPM* sensor = Sensor(730, "42520,1", 2);
    ASSERT_NE(nullptr, sensor);
    const DbObject test = obj::climateCtrlTestActivation.row(unsigned(sensor->ClimateRow()));
    sensor->SetState(CPeripheral::STATE_SETTING_UP);
    db_set(test, 3, DB_NOTIFY);
    sensor->Poll();
    EXPECT_EQ(4u, db_get(test));
    EXPECT_EQ("CLIMATE CONTROL IS IN AN ERROR STATE", Row(obj::climateCtrlResultText, *sensor));
    sensor->SetState(CPeripheral::STATE_READING);

    PowerSense* sense = new PowerSense;
    ASSERT_TRUE(ThePeripheralTask().Registry().Adopt(sense));
    db_set(test, 3, DB_NOTIFY);
    for (int i = 0; i < 3; ++i) // the fan is off, yet watched: switched by hand
        Poll({sensor});
    EXPECT_EQ(4u, db_get(test));
    EXPECT_EQ("CLIMATE CONTROL IS NOT ELECTRONICALLY CONTROLLED",
              Row(obj::climateCtrlResultText, *sensor));
    EXPECT_TRUE(sensor->Monitored());
    EXPECT_EQ(CFanRPM::DIAGNOSTIC_IDLE, sensor->GetDiagnosticState());
    for (int i = 0; i < 12; ++i)
        Poll({sensor});
    EXPECT_TRUE(sensor->FailureReported()); // 0 RPM while watched
    sense->input = 0;
    Poll({sensor});
    EXPECT_FALSE(sensor->Monitored());
}

// With the pair feature (bit 0x10 of halvSpecialFeatureSet) the intake fan
// drives a primary and a secondary fan.
class FanSpeedOfAPair : public FanSpeed {
  protected:
    bool FanPairs() const override { return true; }
};

// The even sensor watches the primary fan and the odd one the secondary; of
// a pair one sensor tests at a time.
TEST_F(FanSpeedOfAPair, EachSensorWatchesItsFanAndOneTestsAtATime) {
    ASSERT_TRUE(fan_->DrivesPair());
    CFanRPM* first = Sensor(730, "42520,1", 2);
    CFanRPM* second = Sensor(731, "42521,1", 3);
    ASSERT_NE(nullptr, first);
    ASSERT_NE(nullptr, second);
    IntakeFans(CClimateControl::COMMAND_ON);
    for (int i = 0; i < 3; ++i)
        Poll({first, second});
    ASSERT_TRUE(fan_->IsCommandedOn());
    const bool primary = fan_->FanSelection() == CFanIO::SELECT_SECONDARY; // its turn was taken
    EXPECT_EQ(primary, first->Monitored());
    EXPECT_EQ(!primary, second->Monitored());

    db_set(obj::climateCtrlTestActivation.row(unsigned(first->ClimateRow())), 3, DB_NOTIFY);
    db_set(obj::climateCtrlTestActivation.row(unsigned(second->ClimateRow())), 3, DB_NOTIFY);
    for (int i = 0; i < 3; ++i)
        Poll({first, second});
    EXPECT_EQ(CFanRPM::DIAGNOSTIC_RUNNING, first->GetDiagnosticState());
    EXPECT_EQ(CFanRPM::DIAGNOSTIC_IDLE, second->GetDiagnosticState());
    EXPECT_EQ(3u, db_get(obj::climateCtrlTestActivation.row(unsigned(second->ClimateRow()))));
    IntakeFans(CClimateControl::COMMAND_AUTO);
}

// 80 silent polls: COMM ERROR with speed 0 and the auxiliary value 1, no
// fan failure.
TEST_F(FanSpeed, ASilentSensorIsACommErrorNotAFanFailure) {
    CFanRPM* sensor = Sensor(731, "42521,1", 2);
    ASSERT_NE(nullptr, sensor);
    for (int i = 0; i < 3; ++i)
        Poll({sensor});
    EXPECT_EQ(1500, sensor->Speed());
    ASSERT_EQ("ok\n", host::field_command("set fan2 silent=1"));
    for (int i = 0; i < 100 && sensor->State() != CPeripheral::STATE_COMM_ERROR; ++i)
        Poll({sensor});
    EXPECT_EQ(CPeripheral::STATE_COMM_ERROR, sensor->State());
    EXPECT_EQ(0, sensor->Speed());
    EXPECT_EQ(1u, db_get(obj::auxIOPortValue.row(unsigned(sensor->AuxRow()))));
    EXPECT_FALSE(sensor->FailureReported());
    EXPECT_EQ(0u, ClimateBit());
}

} // namespace
