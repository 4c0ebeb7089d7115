// Power supplies: the power status table's rows, maps and trap 4 on the whole
// firmware; the supplies' names; a pixel test board of the simulated field
// (kind ptb) measuring its six voltages into the table, with a supply
// watching one of its channels; the board's two collectors of result frames.
#include "comm/agents/trap_raise.h"
#include "peripherals/factory.h"
#include "peripherals/io/pixel_test_board.h"
#include "peripherals/peripheral_task.h"
#include "peripherals/pl_iterator.h"
#include "peripherals/power/power_supply.h"
#include "peripherals/power/power_supply_table.h"
#include "platform/field/field.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/support/firmware_fixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

const uint32_t POWER_BIT = 0x0004;
const uint32_t SHORT_ERROR_STATUS_OID[] = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 9, 7, 1, 0};

struct RaisedTrap {
    uint32_t count;
    uint32_t short_error_status; // the third binding's value
    bool third_is_short_error_status;
};
std::vector<RaisedTrap> power_traps;

void watch_power_traps(uint32_t generic, uint32_t specific, uint32_t count,
                       const trap_varbind* varbinds) {
    if (generic != TRAP_ENTERPRISE_SPECIFIC || specific != 4) return;
    RaisedTrap trap{count, 0, false};
    if (count == 3) {
        std::memcpy(&trap.short_error_status, varbinds[2].value, 4);
        trap.third_is_short_error_status =
            varbinds[2].name_length == 14 && std::memcmp(varbinds[2].name, SHORT_ERROR_STATUS_OID,
                                                         sizeof SHORT_ERROR_STATUS_OID) == 0;
    }
    power_traps.push_back(trap);
}

std::string text(const DbObject& object) {
    const char* t = db_get_string(object);
    return t ? t : "";
}

std::string failure_map() {
    uint8_t bytes[40] = {};
    uint32_t length = 0;
    db_get_string_copy(obj::dmsPowerFailureStatusMap, bytes, sizeof bytes, &length);
    std::string hex;
    char part[4];
    for (uint32_t i = 0; i < length; ++i) {
        std::snprintf(part, sizeof part, "%02X", bytes[i]);
        hex += part;
    }
    return hex;
}

uint32_t zuduz_byte1() {
    uint8_t bytes[3] = {0xFF, 0xFF};
    db_get_string_copy(obj::zuduzPowerStatus, bytes, sizeof bytes);
    return bytes[0] == 0 ? bytes[1] : 0x100u | bytes[1];
}

class PowerTable : public test_support::FirmwareFixture {
  protected:
    void SetUp() override {
        FirmwareFixture::SetUp();
        tx_thread_sleep(100);
        power_traps.clear();
        set_trap_sink(watch_power_traps);
    }
    void TearDown() override {
        set_trap_sink(nullptr);
        FirmwareFixture::TearDown();
    }
    static CPowerSupplyTable& Table() { return ThePowerSupplyTable(); }
    static uint16_t Add(const char* name, uint8_t type = CPowerSupplyTable::TYPE_SUPPLY) {
        uint16_t handle = 0;
        EXPECT_EQ(1, Table().RegisterPowerSupply(&handle, name, "POWER SUPPLY PASS", type));
        return handle;
    }
    static uint32_t ShortPower() { return db_get(obj::shortErrorStatus) & POWER_BIT; }
};

TEST_F(PowerTable, ARemovedRowIsFilledByTheLaterOnesAndTheirUpdatesFollow) {
    const uint16_t first = Add("POWERSUPPLY01"), second = Add("POWERSUPPLY02"),
                   third = Add("SURGE", CPowerSupplyTable::TYPE_SURGE);
    EXPECT_EQ(3u, db_get(obj::dmsPowerNumRows));
    EXPECT_EQ("00", failure_map());
    Table().SetPowerSupplyError(third, 3, "SURGE FAILED");
    Table().UnRegisterPowerSupply(first);
    Table().UnRegisterPowerSupply(first); // once only: the handle is gone

    EXPECT_EQ(2u, db_get(obj::dmsPowerNumRows));
    EXPECT_EQ(2u, Table().Count());
    EXPECT_EQ("POWERSUPPLY02", text(obj::dmsPowerDescription.row(0)));
    EXPECT_EQ("SURGE", text(obj::dmsPowerDescription.row(1)));
    EXPECT_EQ("SURGE FAILED", text(obj::dmsPowerMfrStatus.row(1)));
    EXPECT_EQ(3u, db_get(obj::dmsPowerStatus.row(1)));
    EXPECT_EQ(1u, db_get(obj::dmsPowerType.row(1)));
    EXPECT_EQ("02", failure_map()) << "the failed row moved to row 1";
    EXPECT_EQ("", text(obj::dmsPowerDescription.row(2)));
    EXPECT_EQ("", text(obj::dmsPowerMfrStatus.row(2)));
    EXPECT_EQ(2u, db_get(obj::dmsPowerStatus.row(2)));
    EXPECT_EQ(0u, db_get(obj::dmsPowerType.row(2)));

    Table().SetPowerSupplyVoltage(second, 1190);
    Table().SetPowerSupplyVoltage(third, 2400);
    Table().ClearPowerSupplyError(third, "SURGE PASSED");
    EXPECT_EQ(1190u, db_get(obj::dmsPowerVoltage.row(0)));
    EXPECT_EQ(2400u, db_get(obj::dmsPowerVoltage.row(1)));
    EXPECT_EQ("SURGE PASSED", text(obj::dmsPowerMfrStatus.row(1)));
    EXPECT_EQ(0u, db_get(obj::dmsPowerVoltage.row(2)));
    EXPECT_EQ(0, Table().RowOf(second));
    EXPECT_EQ(1, Table().RowOf(third));
    EXPECT_EQ(-1, Table().RowOf(first));
}

TEST_F(PowerTable, HandlesWrapFrom65535To1) {
    const uint16_t early = Add("EARLY");
    Table().Reset(65533);
    EXPECT_EQ(-1, Table().RowOf(early));
    EXPECT_EQ(0u, db_get(obj::dmsPowerNumRows));
    const uint16_t a = Add("A"), b = Add("B"), c = Add("C");
    EXPECT_EQ(65534, a);
    EXPECT_EQ(65535, b);
    EXPECT_EQ(1, c) << "never 0";
    EXPECT_EQ(1, Table().RowOf(b));
    EXPECT_EQ(2, Table().RowOf(c));
}

// Failures and clears as a script: after each step the map, the power bit,
// zuduzPowerStatus byte 1 and the traps raised so far.
TEST_F(PowerTable, OneTrapAFailureEpisodeAndTheMapsFollowTheRows) {
    const uint16_t a = Add("POWERSUPPLY01"), b = Add("POWERSUPPLY02"),
                   surge = Add("SURGE", CPowerSupplyTable::TYPE_SURGE);
    const uint16_t module = Add("MODULE 3", 2);
    struct Step {
        const char* what;
        uint16_t handle;
        bool fail;
        const char* map;
        uint32_t power_bit, zuduz;
        size_t traps;
    };
    const Step steps[] = {
        {"a fails", a, true, "01", POWER_BIT, 0x01, 1},
        {"b fails too: no second trap", b, true, "03", POWER_BIT, 0x01, 1},
        {"a clears: b keeps the latch", a, false, "02", POWER_BIT, 0x01, 1},
        {"b clears: all clear", b, false, "00", 0, 0, 1},
        {"a fails again: a new episode", a, true, "01", POWER_BIT, 0x01, 2},
        {"a clears", a, false, "00", 0, 0, 2},
        {"a module's comm error: no trap", module, true, "08", POWER_BIT, 0x20, 2},
        {"the surge input fails: traps", surge, true, "0C", POWER_BIT, 0x21, 3},
        {"the surge input clears", surge, false, "08", POWER_BIT, 0x20, 3},
        {"the module clears", module, false, "00", 0, 0, 3},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        if (s.fail)
            Table().SetPowerSupplyError(s.handle, 3,
                                        s.handle == module ? "COMM ERROR" : "POWER SUPPLY FAIL");
        else
            Table().ClearPowerSupplyError(s.handle, "POWER SUPPLY PASS");
        EXPECT_EQ(s.map, failure_map());
        EXPECT_EQ(s.power_bit, ShortPower());
        EXPECT_EQ(s.zuduz, zuduz_byte1());
        EXPECT_EQ(s.traps, power_traps.size());
    }
    // Each trap: sysLocation, globalTime and shortErrorStatus as it was
    // before the power bit was set.
    ASSERT_EQ(3u, power_traps.size());
    for (const RaisedTrap& trap : power_traps) {
        EXPECT_EQ(3u, trap.count);
        EXPECT_TRUE(trap.third_is_short_error_status);
    }
    EXPECT_EQ(0u, power_traps[0].short_error_status & POWER_BIT);
    EXPECT_EQ(POWER_BIT, power_traps[2].short_error_status & POWER_BIT)
        << "the module's row had set it already";
}

// A reload of the peripherals removes the failing supply's row: the latch
// goes with it, so a later failure is reported.
TEST_F(PowerTable, ARemovedFailingRowLetsTheNextFailureTrap) {
    const uint16_t a = Add("POWERSUPPLY01");
    Table().SetPowerSupplyError(a, 3, "POWER SUPPLY FAIL");
    EXPECT_TRUE(Table().TrapLatched());
    Table().UnRegisterPowerSupply(a);
    EXPECT_FALSE(Table().TrapLatched());
    EXPECT_EQ(0u, ShortPower());
    EXPECT_EQ("", failure_map());
    const uint16_t again = Add("POWERSUPPLY01");
    Table().SetPowerSupplyError(again, 3, "POWER SUPPLY FAIL");
    EXPECT_EQ(2u, power_traps.size());
}

TEST_F(PowerTable, AFullTableRefusesAndUnknownHandlesChangeNothing) {
    for (unsigned i = 0; i < CPowerSupplyTable::MAX_ROWS; ++i)
        Add("P");
    uint16_t handle = 77;
    EXPECT_EQ(0, Table().RegisterPowerSupply(&handle, "ONE TOO MANY", "", 6));
    EXPECT_EQ(77, handle);
    EXPECT_EQ(255u, db_get(obj::dmsPowerNumRows));
    EXPECT_EQ(32u, failure_map().size() / 2);
    Table().SetPowerSupplyError(0, 3, "NOBODY");
    Table().SetPowerSupplyError(999, 3, "NOBODY");
    EXPECT_EQ(0u, ShortPower());
    EXPECT_TRUE(power_traps.empty());
}

TEST(PowerSupplyNames, OnlyTheSupplysOwnNamesAndIds) {
    const struct {
        const char* name;
        uint16_t id;
    } names[] = {{"POWERSUPPLY01", 100}, {"POWERSUPPLY35", 134}, {"GEN4 PS 01", 136},
                 {"GEN4 PS 14", 149},    {"POWERSUPPLY00", 0},   {"POWERSUPPLY36", 0},
                 {"POWERSUPPLY1", 0},    {"GEN4 PS 15", 0},      {"PIXELTESTBRD1", 0},
                 {"powersupply01", 0}};
    for (const auto& n : names)
        EXPECT_EQ(n.id, CPowerSupply::NameToId(n.name)) << n.name;
    EXPECT_STREQ("POWERSUPPLY01", CPowerSupply::IdToName(100));
    EXPECT_STREQ("POWERSUPPLY35", CPowerSupply::IdToName(135));
    EXPECT_EQ(nullptr, CPowerSupply::IdToName(99));
    EXPECT_EQ(nullptr, CPowerSupply::IdToName(150));
    EXPECT_EQ(750, CPixelTestBoard::NameToId("PIXELTESTBRD1"));
    EXPECT_EQ(0, CPixelTestBoard::NameToId("PIXELTESTBRD5"));
}

// ---- a pixel test board of the field --------------------------------------------------

const ULONG PTB_POLL = 500;             // ten passes
const ULONG MEASUREMENT = 3 * PTB_POLL; // identify, measure, results

class PixelTestBoardPower : public PowerTable {
  protected:
    void Configure(host::HostOptions& options) override {
        options.field_file = options.state_dir + "/field.txt";
        std::ofstream(options.field_file) << "can ptb ptb1 42B01\n";
    }
    // The board and POWERSUPPLY04 on its channel 3, stored as a central
    // system stores them; the list reloads.
    void StoreBoardAndSupply() {
        pl_iterator list;
        ASSERT_TRUE(list.Add(750, "42B01,1"));
        ASSERT_TRUE(list.Add(103, "4,2EE"));
        tx_thread_sleep(100);
        ASSERT_NE(nullptr, Supply());
        ASSERT_NE(nullptr, Board());
    }
    static CPeripheral* Live(uint16_t id) {
        CPeripheral* p = nullptr;
        ThePeripheralTask().Registry().Find(id, &p);
        return p;
    }
    static CPowerSupply* Supply() { return dynamic_cast<CPowerSupply*>(Live(103)); }
    static CPixelTestBoard* Board() { return dynamic_cast<CPixelTestBoard*>(Live(750)); }
    static int32_t SupplyRow() {
        for (uint32_t r = 0; r < db_get(obj::dmsPowerNumRows); ++r)
            if (text(obj::dmsPowerDescription.row(r)) == "POWERSUPPLY04") return int32_t(r);
        return -1;
    }
};

TEST_F(PixelTestBoardPower, AChannelsVoltageReachesItsSupplysRowAndTenLowReadingsFailIt) {
    ASSERT_EQ("ok\n", host::field_command("set ptb1 v3=120 v0=20"));
    StoreBoardAndSupply();
    const int32_t row = SupplyRow();
    ASSERT_GE(row, 0);
    EXPECT_EQ("POWER SUPPLY PASS", text(obj::dmsPowerMfrStatus.row(unsigned(row))));
    tx_thread_sleep(2 * MEASUREMENT);
    EXPECT_EQ(CPeripheral::STATE_VALID, Board()->State());
    EXPECT_EQ(1200u, db_get(obj::dmsPowerVoltage.row(unsigned(row))));
    EXPECT_EQ(120, Board()->Voltage(3));
    EXPECT_EQ(20, Board()->Voltage(0));

    ASSERT_EQ("ok\n", host::field_command("set ptb1 v3=30"));
    tx_thread_sleep(8 * MEASUREMENT);
    EXPECT_EQ("POWER SUPPLY PASS", text(obj::dmsPowerMfrStatus.row(unsigned(row))))
        << "nine low readings at most";
    EXPECT_EQ(1200u, db_get(obj::dmsPowerVoltage.row(unsigned(row)))) << "low ones are not written";
    tx_thread_sleep(2 * MEASUREMENT + 4 * 50);
    EXPECT_EQ("POWER SUPPLY FAIL", text(obj::dmsPowerMfrStatus.row(unsigned(row))));
    EXPECT_EQ(3u, db_get(obj::dmsPowerStatus.row(unsigned(row))));
    EXPECT_EQ(0u, db_get(obj::dmsPowerVoltage.row(unsigned(row))));
    EXPECT_EQ(POWER_BIT, ShortPower());
    EXPECT_EQ(0x01u, zuduz_byte1());
    ASSERT_EQ(1u, power_traps.size());
    EXPECT_EQ(3u, power_traps[0].count);
    EXPECT_TRUE(power_traps[0].third_is_short_error_status);
    EXPECT_EQ(0u, power_traps[0].short_error_status & POWER_BIT);
    EXPECT_EQ(0u, db_get(obj::auxIOPortValue.row(unsigned(Supply()->AuxRow()))));

    ASSERT_EQ("ok\n", host::field_command("set ptb1 v3=31"));
    tx_thread_sleep(MEASUREMENT + 4 * 50);
    EXPECT_EQ("POWER SUPPLY PASS", text(obj::dmsPowerMfrStatus.row(unsigned(row))));
    EXPECT_EQ(310u, db_get(obj::dmsPowerVoltage.row(unsigned(row))));
    EXPECT_EQ(0u, ShortPower());
    EXPECT_EQ(1u, db_get(obj::auxIOPortValue.row(unsigned(Supply()->AuxRow()))));
}

// A silent board is given up after 30 polls, its mutex released, and its
// supplies report COMM ERROR until it answers again. A supply's first ten
// polls change nothing.
TEST_F(PixelTestBoardPower, ASilentBoardsSuppliesReportCommError) {
    ASSERT_EQ("ok\n", host::field_command("set ptb1 silent=1"));
    StoreBoardAndSupply();
    const int32_t row = SupplyRow();
    tx_thread_sleep(PTB_POLL);
    EXPECT_TRUE(Board()->PollerHoldsMutex());
    tx_thread_sleep(30 * PTB_POLL);
    EXPECT_EQ(CPeripheral::STATE_COMM_ERROR, Board()->State());
    EXPECT_FALSE(Board()->PollerHoldsMutex());
    EXPECT_NE(std::string::npos,
              test_support::ConsoleText().find("released mutex during comm timeout\n"));
    tx_thread_sleep(4 * 50);
    EXPECT_EQ("COMM ERROR", text(obj::dmsPowerMfrStatus.row(unsigned(row))));
    EXPECT_EQ(3u, db_get(obj::dmsPowerStatus.row(unsigned(row))));
    EXPECT_EQ(0u, db_get(obj::dmsPowerVoltage.row(unsigned(row))));
    EXPECT_EQ(CPeripheral::STATE_COMM_ERROR, Supply()->State());

    PeripheralRecord record{PERIPHERAL_FIXED_SLOT, 104, periph_id_to_class(104), "5,2EE"};
    pl_factory factories;
    periph_register_factories(factories);
    CPeripheral* created = nullptr;
    ASSERT_TRUE(factories.Create(record, &created));
    std::unique_ptr<CPeripheral> late(created);
    late->SetEnabled(0); // polled here only
    const int32_t late_row =
        ThePowerSupplyTable().RowOf(static_cast<CPowerSupply*>(created)->Handle());
    for (int poll = 0; poll < 10; ++poll)
        late->Poll();
    EXPECT_EQ("POWER SUPPLY PASS", text(obj::dmsPowerMfrStatus.row(unsigned(late_row))));
    EXPECT_EQ(CPeripheral::STATE_READING, late->State());
    late->Poll();
    EXPECT_EQ("COMM ERROR", text(obj::dmsPowerMfrStatus.row(unsigned(late_row))));
    late.reset();

    ASSERT_EQ("ok\n", host::field_command("set ptb1 silent=0"));
    tx_thread_sleep(3 * MEASUREMENT);
    EXPECT_EQ("POWER SUPPLY PASS", text(obj::dmsPowerMfrStatus.row(unsigned(row))));
    EXPECT_EQ(CPeripheral::STATE_VALID, Supply()->State());
}

// A supply stored before its board, or on a board of the wrong kind, is kept
// in INIT ERROR with a configuration error and never reads a board.
TEST_F(PixelTestBoardPower, ASupplyWithoutItsBoardShowsAConfigurationError) {
    pl_iterator list;
    ASSERT_TRUE(list.Add(103, "4,2EE")); // no board 750
    ASSERT_TRUE(list.Add(104, "18,2"));  // 2: the front light sensor
    tx_thread_sleep(100 + 12 * 100);
    for (uint16_t id : {uint16_t(103), uint16_t(104)}) {
        SCOPED_TRACE(id);
        CPeripheral* supply = Live(id);
        ASSERT_NE(nullptr, supply);
        EXPECT_EQ(CPeripheral::STATE_INIT_ERROR, supply->State());
    }
    EXPECT_EQ(2u, db_get(obj::dmsPowerNumRows));
    for (unsigned row = 0; row < 2; ++row) {
        EXPECT_EQ("CONFIGURATION ERROR", text(obj::dmsPowerMfrStatus.row(row)));
        EXPECT_EQ(3u, db_get(obj::dmsPowerStatus.row(row)));
    }
    EXPECT_NE(std::string::npos,
              test_support::ConsoleText().find("Create_PowerSupply:Invalid Target type\n"));
}

// A pixel test board measures channels 1 to 6: a supply on any other point
// could never fail, and is refused at its creation.
TEST_F(PixelTestBoardPower, ASupplyPastTheBoardsSixChannelsIsAConfigurationError) {
    pl_iterator list;
    ASSERT_TRUE(list.Add(750, "42B01,1"));
    ASSERT_TRUE(list.Add(105, "6,2EE"));
    ASSERT_TRUE(list.Add(106, "7,2EE"));
    ASSERT_TRUE(list.Add(107, "20,2EE")); // point 32
    tx_thread_sleep(100 + 12 * 100);
    const struct {
        uint16_t id;
        uint8_t state;
        const char* text;
    } cases[] = {
        {105, CPeripheral::STATE_VALID, "POWER SUPPLY PASS"},
        {106, CPeripheral::STATE_INIT_ERROR, "CONFIGURATION ERROR"},
        {107, CPeripheral::STATE_INIT_ERROR, "CONFIGURATION ERROR"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        CPeripheral* supply = Live(c.id);
        ASSERT_NE(nullptr, supply);
        EXPECT_EQ(c.state, supply->State());
        int32_t row = -1;
        for (uint32_t r = 0; r < db_get(obj::dmsPowerNumRows); ++r)
            if (text(obj::dmsPowerDescription.row(r)) == periph_id_to_name(c.id)) row = int32_t(r);
        ASSERT_GE(row, 0);
        EXPECT_EQ(c.text, text(obj::dmsPowerMfrStatus.row(unsigned(row))));
    }
    EXPECT_NE(std::string::npos,
              test_support::ConsoleText().find(
                  "POWERSUPPLY07: point 7 is not one of the board's channels\n"));
}

// The pixel test's collector: a short buffer is refused at once; three
// frames already queued give the readings without a sleep; frames numbered 0
// or 4 are not results.
TEST_F(PixelTestBoardPower, ReadResultsTakesFramesOneToThreeOnly) {
    CPixelTestBoard board(751);
    ASSERT_TRUE(board.Init());
    uint8_t buffer[192];
    std::memset(buffer, 0xAA, sizeof buffer);
    EXPECT_FALSE(board.ReadResults(buffer, 11));
    EXPECT_EQ(0xAA, buffer[0]) << "refused before touching the buffer";
    for (uint8_t number : {0, 3, 4, 2, 1}) {
        const uint8_t data[8] = {'@',
                                 number,
                                 1,
                                 0,
                                 uint8_t(10 * number),
                                 uint8_t(10 * number + 1),
                                 uint8_t(10 * number + 2),
                                 uint8_t(10 * number + 3)};
        board.Receive(can_packet(0x42B82, 0, 8, data));
    }
    const ULONG before = tx_time_get();
    ASSERT_TRUE(board.ReadResults(buffer, sizeof buffer));
    EXPECT_EQ(before, tx_time_get()) << "no sleep";
    const uint8_t expected[12] = {30, 31, 32, 33, 20, 21, 22, 23, 10, 11, 12, 13};
    EXPECT_EQ(0, std::memcmp(expected, buffer, sizeof expected));
    EXPECT_EQ(0, buffer[12]);
    EXPECT_FALSE(board.ReadResults(buffer, sizeof buffer));
    EXPECT_EQ(before + 30 * 2, tx_time_get()) << "30 sleeps of 2 ticks, then none came";
}

} // namespace
