// Fans and heaters on a DC I/O board of the simulated field: the climate
// rows they register, switching and the fan-status object, the verdict of a
// status point, the self test, the primary/secondary fan pair, and a status
// point whose set-up fails.
#include "comm/agents/trap_raise.h"
#include "peripherals/climate.h"
#include "peripherals/factory.h"
#include "peripherals/io/climate_point.h"
#include "peripherals/io/dcio.h"
#include "peripherals/peripheral_task.h"
#include "platform/field/field.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/support/firmware_fixture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <initializer_list>
#include <memory>
#include <string>

namespace {

const uint32_t CLIMATE_BIT = 0x0400;
int fan_traps = 0;

// A live peripheral that only stands for an id (a flow sensor).
class Placeholder : public CPeripheral {
  public:
    explicit Placeholder(uint16_t id) : CPeripheral(PERIPHERAL_CLASS_IO_BASED, id) {}
    void Poll() override {}
};

std::string text(const DbObject& o) {
    const char* t = db_get_string(o);
    return t ? t : "";
}

class FanPoints : public test_support::FirmwareFixture {
  protected:
    void Configure(host::HostOptions& options) override {
        options.field_file = options.state_dir + "/field.txt";
        // Port 24-31 outputs; the running contacts 32 and 33 follow the fans.
        std::ofstream(options.field_file) << "can dcio io1 42230 open=32-55 tie=32:24,33:25\n";
    }
    void SetUp() override {
        FirmwareFixture::SetUp();
        tx_thread_sleep(200 + CClimateControl::WARM_UP_CALLS * 50); // past the climate's warm-up
        fan_traps = 0;
        set_trap_sink([](uint32_t generic, uint32_t specific, uint32_t, const trap_varbind*) {
            if (generic == TRAP_ENTERPRISE_SPECIFIC && specific == 15) ++fan_traps;
        });
        board_ = static_cast<DCIO*>(Create(50, "42230,FF,F0,F0,F0,1"));
        ASSERT_NE(nullptr, board_);
        Adopt(board_);
    }
    void TearDown() override {
        set_trap_sink(nullptr);
        FirmwareFixture::TearDown();
    }
    static CPeripheral* Create(uint16_t id, const char* parameters, uint16_t slot = 0) {
        PeripheralRecord record{slot, id, periph_id_to_class(id), parameters};
        pl_factory factories;
        periph_register_factories(factories);
        CPeripheral* created = nullptr;
        factories.Create(record, &created);
        return created;
    }
    // Live (the points find each other there), polled by the test alone.
    static void Adopt(CPeripheral* p) {
        ASSERT_TRUE(ThePeripheralTask().Registry().Adopt(p));
        p->SetEnabled(0);
    }
    static CClimatePoint* Point(uint16_t id, const char* parameters, uint16_t slot) {
        CPeripheral* p = Create(id, parameters, slot);
        if (p != nullptr) Adopt(p);
        return static_cast<CClimatePoint*>(p);
    }
    // `count` polls of the board and then of each point.
    void Polls(int count, std::initializer_list<CPeripheral*> points, ULONG ticks = 5) {
        for (int i = 0; i < count; ++i) {
            board_->Poll();
            tx_thread_sleep(2);
            for (CPeripheral* p : points)
                p->Poll();
            tx_thread_sleep(ticks - 2);
        }
    }
    // The outputs the sign drove on the board, "24,25" ("" none).
    static std::string Outputs() {
        const std::string line = host::field_command("get io1");
        const size_t at = line.find("outputs=");
        if (at == std::string::npos) return "?";
        const size_t end = line.find_first_of(" \n", at);
        const std::string value = line.substr(at + 8, end - at - 8);
        return value == "none" ? "" : value;
    }
    static void Force(unsigned channel, uint8_t command) {
        ThePeripheralTask().Climate().SetTimedCommand(channel, command, 3600);
        tx_thread_sleep(60); // the task's next pass
    }
    static uint32_t ClimateBit() { return db_get(obj::shortErrorStatus) & CLIMATE_BIT; }
    static std::string FanFailures() {
        uint32_t n = 0;
        const char* p = db_get_string(obj::fanFailures, &n);
        return std::string(p ? p : "", n);
    }
    DCIO* board_ = nullptr;
};

TEST_F(FanPoints, AnIntakeFanBesideAFlowSensorRegistersNoRow) {
    Adopt(new Placeholder(710));
    CClimatePoint* beside = Point(510, "18,32", 1);
    ASSERT_NE(nullptr, beside);
    EXPECT_EQ(PERIPHERAL_CLASS_FAN_CONTROL, beside->ClassCode());
    EXPECT_EQ(CPeripheral::STATE_READING, beside->State());
    Polls(11, {beside}); // the set-up at the 10th poll, VALID from the 11th
    EXPECT_EQ(CPeripheral::STATE_VALID, beside->State());
    EXPECT_EQ(NO_ROW, beside->GetClimateRow());
    EXPECT_EQ(0u, db_get(obj::climateCtrlRowCount));
}

TEST_F(FanPoints, AnIntakeFanWithoutItsStatusIsNotMonitored) {
    CClimatePoint* alone = Point(510, "18,32", 1);
    ASSERT_NE(nullptr, alone);
    Polls(10, {alone});
    const int32_t row = alone->GetClimateRow();
    ASSERT_NE(NO_ROW, row);
    EXPECT_EQ("INTAKE FAN1 CONTROL", text(obj::climateCtrlDescription.row(unsigned(row))));
    EXPECT_EQ(2u, db_get(obj::climateCtrlType.row(unsigned(row))));
    EXPECT_EQ(4u, db_get(obj::climateCtrlError.row(unsigned(row))));
    EXPECT_EQ("FANS NOT MONITORED", text(obj::climateCtrlStatusText.row(unsigned(row))));
    // A test of an unmonitored fan is refused without switching.
    db_set(obj::climateCtrlTestActivation.row(unsigned(row)), 3, DB_NOTIFY);
    Polls(1, {alone});
    EXPECT_EQ(2u, db_get(obj::climateCtrlTestActivation.row(unsigned(row))));
    EXPECT_EQ("CLIMATE CONTROL IS NOT MONITORED",
              text(obj::climateCtrlResultText.row(unsigned(row))));
    EXPECT_FALSE(alone->IsCommandedOn());
    EXPECT_EQ(CClimatePoint::TEST_IDLE, alone->TestState());
}

TEST_F(FanPoints, AStatusPointJudgesItsFanAndSwitchingWritesTheFanStatus) {
    CClimatePoint* fan = Point(518, "18,32", 1);
    CClimatePoint* status = Point(522, "20,32", 2);
    ASSERT_NE(nullptr, fan);
    ASSERT_NE(nullptr, status);
    EXPECT_EQ(PERIPHERAL_CLASS_FAN_STATUS, status->ClassCode());
    EXPECT_FALSE(status->IsControl());
    EXPECT_NE(NO_ROW, status->FanBit());
    Polls(10, {fan, status});
    const int32_t row = fan->GetClimateRow();
    ASSERT_NE(NO_ROW, row);
    EXPECT_EQ(row, status->MonitoredRow());
    EXPECT_EQ(3u, db_get(obj::climateCtrlType.row(unsigned(row))));
    EXPECT_EQ(2u, db_get(obj::climateCtrlError.row(unsigned(row))));
    EXPECT_EQ(2u, db_get(obj::zuduzFanStatus1));

    Force(2, CClimateControl::COMMAND_ON); // the pixel fans
    Polls(2, {fan, status});
    EXPECT_TRUE(fan->IsCommandedOn());
    EXPECT_EQ(1u, db_get(obj::zuduzFanStatus1));
    EXPECT_EQ("24", Outputs());
    Polls(100, {fan, status}); // settled: the running contact is made
    EXPECT_TRUE(fan->IsOn());
    EXPECT_EQ(1, status->Verdict());
    EXPECT_EQ("FANS PASSED", text(obj::climateCtrlStatusText.row(unsigned(row))));
    EXPECT_EQ(1u, db_get(obj::climateCtrlOnStatus.row(unsigned(row))));

    // The contact stays open while the fan runs: failed, trap 15 once.
    ASSERT_EQ("ok\n", host::field_command("set io1 tie=none"));
    Polls(3, {fan, status});
    EXPECT_EQ(0, status->Verdict());
    EXPECT_EQ("FANS FAILED", text(obj::climateCtrlStatusText.row(unsigned(row))));
    EXPECT_EQ(3u, db_get(obj::climateCtrlError.row(unsigned(row))));
    EXPECT_EQ(CLIMATE_BIT, ClimateBit());
    EXPECT_EQ(std::string(1, '\x01'), FanFailures());
    EXPECT_EQ(1, fan_traps);

    Force(2, CClimateControl::COMMAND_OFF);
    Polls(12, {fan, status}); // the fan off and settled: an open contact is right
    EXPECT_EQ(2u, db_get(obj::zuduzFanStatus1));
    EXPECT_EQ("", Outputs());
    EXPECT_EQ("FANS PASSED", text(obj::climateCtrlStatusText.row(unsigned(row))));
    EXPECT_EQ(0u, ClimateBit());
    EXPECT_EQ(1, fan_traps);
    Force(2, CClimateControl::COMMAND_AUTO);
}

// The fan test runs a self test of 180 s on every fan row; it ends at the
// first poll after T + 180 and the status point writes the verdict then.
TEST_F(FanPoints, ASelfTestRuns180SecondsAndAPairTakesTurns) {
    db_set(obj::halvSpecialFeatureSet, db_get(obj::halvSpecialFeatureSet) | 0x10, DB_NOTIFY);
    CClimatePoint* fan = Point(526, "18,32", 1);
    CClimatePoint* status = Point(530, "20,32", 2);
    ASSERT_NE(nullptr, fan);
    ASSERT_NE(nullptr, status);
    EXPECT_TRUE(fan->DrivesPair());
    Polls(10, {fan, status});
    const int32_t row = fan->GetClimateRow();
    ASSERT_NE(NO_ROW, row);

    db_set(obj::fanTestActivation, 3, DB_NOTIFY);
    tx_thread_sleep(60);
    Polls(1, {fan, status});
    ASSERT_EQ(CClimatePoint::TEST_RUNNING, fan->TestState());
    const uint32_t end = fan->TestEnd();
    EXPECT_EQ(CClimatePoint::TEST_RUNNING, status->TestState());
    Polls(1, {fan, status});
    EXPECT_EQ("24-25", Outputs()); // both fans of the pair
    bool ended = false;
    while (!ended) {
        const uint32_t before = db_get_time();
        Polls(1, {fan, status}, 50);
        ended = fan->TestState() == CClimatePoint::TEST_IDLE;
        if (ended) {
            EXPECT_GT(db_get_time(), end);
        } else {
            ASSERT_LE(before, end + 1);
        }
    }
    EXPECT_GE(end + 2, db_get_time());
    EXPECT_EQ(2u, db_get(obj::climateCtrlTestActivation.row(unsigned(row))));
    Polls(1, {fan, status});
    EXPECT_EQ(CClimatePoint::TEST_IDLE, status->TestState());
    EXPECT_EQ("FANS PASSED", text(obj::climateCtrlStatusText.row(unsigned(row))));
    tx_thread_sleep(60);
    EXPECT_EQ(2u, db_get(obj::fanTestActivation));

    // Outside a test one fan of the pair runs, taking turns every 28,800
    // polls (counted from the poll that switches it on), every 120 while a
    // burn-in pattern runs.
    Force(1, CClimateControl::COMMAND_ON);
    Polls(2, {fan});
    EXPECT_EQ("24", Outputs());
    EXPECT_EQ(CClimatePoint::ALTERNATE_POLLS - 2, fan->AlternationCountdown());
    Force(1, CClimateControl::COMMAND_AUTO);
    Polls(1, {fan});
    EXPECT_EQ(0u, fan->AlternationCountdown());
    db_set(obj::halvObj1_1, 31, DB_NOTIFY);
    tx_thread_sleep(60);
    Polls(2, {fan});
    EXPECT_EQ("25", Outputs()); // the secondary's turn
    EXPECT_EQ(CClimatePoint::ALTERNATE_POLLS_BURN_IN - 2, fan->AlternationCountdown());
    const std::string turns[] = {"24", "25", "24"};
    for (const std::string& expected : turns) {
        Polls(CClimatePoint::ALTERNATE_POLLS_BURN_IN, {fan}, 3);
        EXPECT_EQ(expected, Outputs());
    }
    db_set(obj::halvObj1_1, 1, DB_NOTIFY);
}

// A status point whose points are refused says "CONFIGURATION ERROR" with
// its fan bit and 0x0400, and takes both with it when it is deleted.
TEST_F(FanPoints, AStatusPointThatCannotStartLeavesNoFailureBehind) {
    CClimatePoint* fan = Point(510, "18,32", 1);
    ASSERT_NE(nullptr, fan);
    fan_traps = 0;
    EXPECT_EQ(nullptr, Create(514, "18,32", 2)); // the fan's own output point
    EXPECT_EQ(1, fan_traps);
    EXPECT_EQ(0u, ClimateBit());
    EXPECT_EQ(std::string(1, '\0'), FanFailures());
    EXPECT_EQ(nullptr, Create(514, "20,33", 2));    // no board 51: no fan point at all
    EXPECT_EQ(nullptr, Create(538, "20,33", 2));    // a heater's set-up fails on it
    EXPECT_EQ(nullptr, Create(514, "38,32", 2));    // no point 56 on the board
    CClimatePoint* heater = Point(534, "19,32", 3); // heaters register type 7
    ASSERT_NE(nullptr, heater);
    EXPECT_EQ(PERIPHERAL_CLASS_HEATER_CONTROL, heater->ClassCode());
    Polls(10, {fan, heater});
    ASSERT_NE(NO_ROW, heater->GetClimateRow());
    EXPECT_EQ(7u, db_get(obj::climateCtrlType.row(unsigned(heater->GetClimateRow()))));
    EXPECT_EQ("HEATER PASSED",
              text(obj::climateCtrlStatusText.row(unsigned(heater->GetClimateRow()))));
}

} // namespace

namespace {

// A status point made before its control sets itself up again every 10
// polls, three times at most; a heater's failure is reported in its row and
// zuduzClimateFailures, without a fan bit or trap.
TEST_F(FanPoints, AHeaterStatusMadeFirstFindsItsControlAndReportsAFailure) {
    CClimatePoint* status = Point(538, "21,32", 2);
    ASSERT_NE(nullptr, status);
    EXPECT_EQ(PERIPHERAL_CLASS_HEATER_STATUS, status->ClassCode());
    EXPECT_EQ(NO_ROW, status->FanBit());
    Polls(15, {status});
    CClimatePoint* heater = Point(534, "19,32", 1);
    ASSERT_NE(nullptr, heater);
    Polls(15, {heater, status});
    const int32_t row = heater->GetClimateRow();
    ASSERT_NE(NO_ROW, row);
    EXPECT_EQ(row, status->MonitoredRow());

    Force(3, CClimateControl::COMMAND_ON);
    Polls(100, {heater, status});
    EXPECT_TRUE(heater->IsOn());
    EXPECT_EQ("HEATER PASSED", text(obj::climateCtrlStatusText.row(unsigned(row))));
    ASSERT_EQ("ok\n", host::field_command("set io1 tie=none"));
    Polls(3, {heater, status});
    EXPECT_EQ("HEATER FAILED", text(obj::climateCtrlStatusText.row(unsigned(row))));
    EXPECT_EQ(std::string(1, '\x01'), text(obj::zuduzClimateFailures));
    EXPECT_EQ(CLIMATE_BIT, ClimateBit());
    EXPECT_EQ(0, fan_traps);
    Force(3, CClimateControl::COMMAND_AUTO);
}

// Made after its control, the status point never retries; one whose control
// never comes gives up after three.
TEST_F(FanPoints, AStatusPointWithoutItsControlGivesUp) {
    CClimatePoint* status = Point(530, "20,32", 2);
    ASSERT_NE(nullptr, status);
    Polls(60, {status});
    EXPECT_EQ(NO_ROW, status->MonitoredRow());
    CClimatePoint* fan = Point(526, "18,32", 1);
    ASSERT_NE(nullptr, fan);
    Polls(30, {fan, status});
    EXPECT_NE(NO_ROW, fan->GetClimateRow());
    EXPECT_EQ(NO_ROW, status->MonitoredRow());
}

} // namespace

namespace {

// A board that stops answering puts its fan controls and its heater in COMM
// ERROR with that text in each one's row; the board's return clears them.
// The fan controls report through the fan failures without a fan bit: the
// row applies on its own, and the first failure raises the fan trap.
TEST_F(FanPoints, ASilentBoardIsACommErrorOfItsFansAndHeater) {
    struct Case {
        uint16_t id;
        const char* parameters;
        const char* passed;
        CClimatePoint* point;
    } cases[] = {
        {510, "18,32", "FANS PASSED", nullptr}, // intake
        {518, "19,32", "FANS PASSED", nullptr}, // pixel
        {526, "1A,32", "FANS PASSED", nullptr}, // face
        {542, "1B,32", "HEATER PASSED", nullptr},
    };
    for (Case& c : cases) {
        c.point = Point(c.id, c.parameters, 1);
        ASSERT_NE(nullptr, c.point) << c.id;
    }
    auto poll = [&](int count) {
        for (int i = 0; i < count; ++i)
            Polls(1, {cases[0].point, cases[1].point, cases[2].point, cases[3].point});
    };
    poll(11);
    for (const Case& c : cases) {
        ASSERT_NE(NO_ROW, c.point->GetClimateRow()) << c.id;
        EXPECT_EQ(CPeripheral::STATE_VALID, c.point->State()) << c.id;
    }
    ASSERT_EQ("ok\n", host::field_command("set io1 silent=1"));
    poll(81);
    ASSERT_EQ(CPeripheral::STATE_COMM_ERROR, board_->State());
    for (const Case& c : cases) {
        const unsigned row = unsigned(c.point->GetClimateRow());
        EXPECT_EQ(CPeripheral::STATE_COMM_ERROR, c.point->State()) << c.id;
        EXPECT_EQ("COMM ERROR", text(obj::climateCtrlStatusText.row(row))) << c.id;
        EXPECT_EQ(3u, db_get(obj::climateCtrlError.row(row))) << c.id;
    }
    EXPECT_EQ(CLIMATE_BIT, ClimateBit());
    EXPECT_EQ(1, fan_traps);
    ASSERT_EQ("ok\n", host::field_command("set io1 silent=0"));
    poll(6);
    for (const Case& c : cases) {
        EXPECT_EQ(CPeripheral::STATE_VALID, c.point->State()) << c.id;
        EXPECT_EQ(c.passed,
                  text(obj::climateCtrlStatusText.row(unsigned(c.point->GetClimateRow()))))
            << c.id;
    }
    EXPECT_EQ(0u, ClimateBit());
}

} // namespace
