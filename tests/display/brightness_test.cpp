// Brightness control from its edges: a whole firmware on the virtual clock
// (10 display steps a second); the illumination objects are written as a
// central system or the peripheral task writes them, the display steps, and
// the status objects, the driver's level and the sign picture are read back.
// The central system's view goes through the in-process SNMP agent.
#include "display/brightness.h"
#include "display/display_task.h"
#include "display/render.h"
#include "peripherals/temperature_limit.h"
#include "platform/field/field.h"
#include "runtime/os.h"
#include "runtime/pools.h"
#include "tests/comm/agent_caller.h"
#include "tests/display/activation_fixture.h"
#include "tests/support/png_reader.h"

#include <array>
#include <string>
#include <vector>

namespace {

using namespace display_test;
using test_support::ConsoleText;

const ULONG STEP = 10; // ticks of one display step at 10 frames a second
const uint32_t N = DB_NOTIFY;

using Level = std::array<uint16_t, 3>; // light output, photocell down, photocell up

Bytes Table(const std::vector<Level>& levels, uint8_t count = 0) {
    Bytes t{count ? count : uint8_t(levels.size())};
    for (const Level& level : levels)
        for (uint16_t v : level) {
            t.push_back(uint8_t(v >> 8));
            t.push_back(uint8_t(v));
        }
    return t;
}

// n levels in contiguous bands of `width` readings from 1; the outputs rise
// by `rise`; the last band ends at `last_up` when given.
Bytes Bands(uint32_t n, uint16_t width, uint16_t rise, uint16_t last_up = 0) {
    std::vector<Level> levels;
    for (uint32_t i = 0; i < n; ++i)
        levels.push_back(
            Level{uint16_t(100 + rise * i), uint16_t(width * i + 1), uint16_t(width * i + width)});
    if (last_up) levels.back()[2] = last_up;
    return Table(levels);
}

Bytes Builtin(bool eight) {
    uint32_t length = 0;
    const uint8_t* t = builtin_brightness_table(eight, length);
    return Bytes(t, t + length);
}

brightness_control& Control() {
    return TheDisplay().Brightness();
}

// The curve built from a table that reached the store unchecked (as a
// restore writes it).
void BuildCurve(const Bytes& table) {
    ASSERT_EQ(DB_OK, db_set_string(obj::dmsIllumBrightnessValues, table.data(),
                                   uint32_t(table.size()), DB_NO_VALIDATE));
    TheDisplay().ComputeBrightnessCurve();
}

class Brightness : public Activation {
  protected:
    void TearDown() override {
        set_temperature_brightness_limit(TEMPERATURE_LIMIT_NONE);
        Activation::TearDown();
    }
    static uint8_t DriverLevel() { return TheDisplay().SignDriver().GetBrightness(); }
};

// --- the built-in tables -------------------------------------------------------------------

TEST(BrightnessTables, TheBuiltInTablesAreValidContiguousAndRising) {
    for (bool eight : {false, true}) {
        SCOPED_TRACE(eight ? "8 levels" : "248 levels");
        const Bytes t = Builtin(eight);
        ASSERT_EQ(eight ? 49u : 1489u, t.size());
        const uint32_t n = t[0];
        ASSERT_EQ(t.size(), 6 * n + 1);
        auto at = [&](uint32_t level, uint32_t field) {
            return uint32_t(t[1 + 6 * level + 2 * field] << 8 | t[2 + 6 * level + 2 * field]);
        };
        EXPECT_EQ(1u, at(0, 1)) << "the first band starts at 1";
        EXPECT_EQ(65535u, at(n - 1, 0)) << "full output last";
        EXPECT_EQ(65535u, at(n - 1, 2)) << "the last band reaches the top";
        for (uint32_t i = 1; i < n; ++i) {
            EXPECT_EQ(at(i - 1, 2) + 1, at(i, 1)) << "contiguous at level " << i;
            EXPECT_LE(at(i, 1), at(i, 2));
            EXPECT_GT(at(i, 0), at(i - 1, 0)) << "rising output at level " << i;
        }
    }
    const Bytes full = Builtin(false);
    EXPECT_EQ(0xF8, full[0]);
    EXPECT_EQ(Bytes({0x01, 0x08, 0x00, 0x01, 0x00, 0x01}),
              Bytes(full.begin() + 1, full.begin() + 7))
        << "264 for level 1, band 1..1";
    EXPECT_EQ(Bytes({0xFE, 0xF5, 0x01, 0x8D, 0x01, 0x8E}), // 247 x 264.25, 397..398
              Bytes(full.begin() + 1 + 246 * 6, full.begin() + 7 + 246 * 6));
}

// --- the curve ------------------------------------------------------------------------------

TEST_F(Brightness, TheCurveFollowsAValidTableAndReplacesAnInvalidOne) {
    struct Case {
        const char* what;
        Bytes table;
        uint32_t error;
        int32_t rows;
        Bytes stored; // the table the store holds afterwards
    };
    const Bytes gap = Table({{10, 0, 100}, {200, 102, 300}});
    const Bytes seven = Bands(7, 10, 1000), eight = Bands(8, 36, 3600, 65535);
    const Bytes many = Bands(128, 10, 500);
    Bytes short_by_one = seven;
    short_by_one.pop_back();
    const Case cases[] = {
        {"a photocell gap", gap, 3, 248, Builtin(false)},
        {"7 levels are used as they are", seven, 2, 7, seven},
        {"8 levels are spread over 253 rows", eight, 2, 253, eight},
        {"128 levels are used as they are", many, 2, 128, many},
        {"no levels", Table({}, 0), 6, 248, Builtin(false)},
        {"a length other than 6n + 1", short_by_one, 6, 248, Builtin(false)},
        {"a band upside down", Table({{10, 50, 40}}), 6, 248, Builtin(false)},
        {"the factory placeholder", Bytes{'0'}, 6, 248, Builtin(false)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BuildCurve(c.table);
        EXPECT_EQ(c.error, db_get(obj::dmsIllumBrightnessValuesError));
        EXPECT_EQ(c.rows, Control().RowCount());
        EXPECT_EQ(c.stored, Value(obj::dmsIllumBrightnessValues));
    }
    // The reason stays until the built-in table's own letter builds the
    // curve again, which finds it valid.
    tx_thread_sleep(2 * STEP);
    EXPECT_EQ(2u, db_get(obj::dmsIllumBrightnessValuesError));
    EXPECT_EQ(248, Control().RowCount());
}

// 8 levels, outputs 100 + 3600 i, lower bounds 36 i + 1: level i moves to
// row 36 i and the rows between rise evenly; each band ends where the next
// starts, and the last keeps the table's upper bound.
TEST_F(Brightness, AnEightLevelTableIsInterpolatedAndKeepsItsTopBand) {
    BuildCurve(Bands(8, 36, 3600, 65535));
    ASSERT_EQ(253, Control().RowCount());
    struct {
        int32_t row;
        uint16_t output, lower, upper;
    } const rows[] = {
        {0, 100, 1, 1},     {1, 200, 2, 2},         {18, 1900, 19, 19},
        {36, 3700, 37, 37}, {251, 25200, 252, 252}, {252, 25300, 253, 65535},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE("row " + std::to_string(r.row));
        EXPECT_EQ(r.output, Control().Row(r.row).output);
        EXPECT_EQ(r.lower, Control().Row(r.row).lower);
        EXPECT_EQ(r.upper, Control().Row(r.row).upper);
    }
    // Light far above the interpolated bands still finds the top level.
    db_set(obj::dmsIllumControl, ILLUM_PHOTOCELL, N);
    db_set(obj::dmsIllumPhotocellLevelStatus, 40000, N);
    tx_thread_sleep(STEP);
    EXPECT_EQ(252, Control().CurrentRow());
    EXPECT_EQ(25300u, db_get(obj::dmsIllumLightOutputStatus));
    EXPECT_EQ(light_output_to_level(25300), db_get(obj::dmsIllumBrightLevelStatus));
}

TEST_F(Brightness, FeatureBitEightSwapsTheBuiltInTable) {
    db_set(obj::halvSpecialFeatureSet, FEATURE_EIGHT_LEVEL_TABLE, N);
    tx_thread_sleep(2 * STEP);
    EXPECT_EQ(Builtin(true), Value(obj::dmsIllumBrightnessValues));
    EXPECT_EQ(2u, db_get(obj::dmsIllumBrightnessValuesError));
    EXPECT_EQ(253, Control().RowCount());
    db_set(obj::halvSpecialFeatureSet, 0, N);
    tx_thread_sleep(2 * STEP);
    EXPECT_EQ(Builtin(false), Value(obj::dmsIllumBrightnessValues));
    EXPECT_EQ(248, Control().RowCount());
}

// --- the level by mode ------------------------------------------------------------------------

// Each case on the built-in 248-level curve: the settings written as a
// central system (or the light sensors) writes them, then one step.
TEST_F(Brightness, EachModeGivesItsLevel) {
    struct Case {
        const char* what;
        uint32_t mode, manual, reading, features;
        uint8_t temperature_limit;
        uint32_t level, output, limitation;
    };
    const Case cases[] = {
        {"photocell in the dark", 2, 0, 0, 0, 100, 1, 257, 1},
        {"photocell in the dark, half output", 2, 0, 0, 1, 100, 128, 32767, 1},
        {"photocell at 100", 2, 0, 100, 0, 100, 73, 18761, 1}, // band 100..101, level 71
        {"photocell above every band but the last", 2, 0, 60000, 0, 100, 255, 65535, 1},
        {"manual 200", 4, 200, 0, 0, 100, 200, 51400, 1},
        {"manual 0", 4, 0, 0, 0, 100, 1, 257, 1},
        {"manual direct 90", 5, 90, 0, 0, 100, 90, 23130, 1},
        {"manual 200 at the temperature limit 50", 4, 200, 0, 0, 50, 100, 25700, 2},
        {"manual indexed 0", 6, 0, 0, 0, 100, 1, 0, 1},
        {"manual indexed 1", 6, 1, 0, 0, 100, 2, 264, 1},
        {"manual indexed past the last row", 6, 250, 0, 0, 100, 255, 65535, 1},
        {"manual indexed past the last row, limit 50", 6, 250, 0, 0, 50, 128, 32767, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        set_temperature_brightness_limit(c.temperature_limit);
        db_set(obj::halvSpecialFeatureSet, c.features, N);
        db_set(obj::dmsIllumManLevel, c.manual, N);
        db_set(obj::dmsIllumPhotocellLevelStatus, c.reading, N);
        db_set(obj::dmsIllumControl, c.mode, N);
        tx_thread_sleep(STEP);
        EXPECT_EQ(c.level, db_get(obj::dmsIllumBrightLevelStatus));
        EXPECT_EQ(c.output, db_get(obj::dmsIllumLightOutputStatus));
        EXPECT_EQ(c.limitation, db_get(obj::halvObj5_13));
        EXPECT_EQ(c.level, DriverLevel());
        if (c.mode == 2) {
            EXPECT_EQ(c.level, db_get(obj::dmsIllumManLevel)) << "photocell records its level";
        }
    }
}

TEST_F(Brightness, TimerModeHandsLevelFiveToTheDriverAndWritesNoStatus) {
    db_set(obj::dmsIllumBrightLevelStatus, 77, 0);
    db_set(obj::dmsIllumLightOutputStatus, 7777, 0);
    db_set(obj::dmsIllumControl, ILLUM_TIMER, N);
    tx_thread_sleep(STEP);
    EXPECT_EQ(5u, DriverLevel());
    EXPECT_EQ(77u, db_get(obj::dmsIllumBrightLevelStatus));
    EXPECT_EQ(7777u, db_get(obj::dmsIllumLightOutputStatus));
    db_set(obj::dmsIllumControl, ILLUM_OTHER, N);
    db_set(obj::dmsIllumManLevel, 33, N);
    tx_thread_sleep(STEP);
    EXPECT_EQ(5u, DriverLevel()) << "mode other changes nothing";
}

// The photocell moves the current row only when the reading leaves its band;
// a reading below every band changes nothing.
TEST_F(Brightness, ThePhotocellSearchesFromTheCurrentRow) {
    BuildCurve(Table({{1000, 10, 19}, {2000, 20, 29}, {3000, 30, 39}}));
    db_set(obj::dmsIllumControl, ILLUM_PHOTOCELL, N);
    struct {
        uint32_t reading;
        int32_t row;
        uint32_t output;
        const char* line; // printed, or ""
    } const steps[] = {
        {35, 2, 3000, "Sensor Value Up, New Bright Value = 0xc\n"},
        {31, 2, 3000, ""},
        {21, 1, 2000, "Sensor Value Down, New Bright Value = 0x8\n"},
        {5, 1, 2000, ""}, // below every band
        {29, 1, 2000, ""},
        {500, 1, 2000, ""}, // above every band
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.reading);
        test_support::ClearConsole();
        db_set(obj::dmsIllumPhotocellLevelStatus, s.reading, N);
        tx_thread_sleep(STEP);
        EXPECT_EQ(s.row, Control().CurrentRow());
        EXPECT_EQ(s.output, db_get(obj::dmsIllumLightOutputStatus));
        if (*s.line) {
            EXPECT_NE(std::string::npos, ConsoleText().find(s.line)) << ConsoleText();
        }
    }
}

// --- the temperature limit -------------------------------------------------------------------

namespace limit_thread {
uint8_t percent = 0;
void entry(ULONG) {
    set_temperature_brightness_limit(percent);
}
} // namespace limit_thread

// The peripheral task changes its limit on its own thread; the update waits
// for the display lock and runs at once after it.
TEST_F(Brightness, TheTemperatureLimitUpdatesFromThePeripheralThreadUnderTheDisplayLock) {
    db_set(obj::dmsIllumManLevel, 200, N);
    db_set(obj::dmsIllumControl, ILLUM_MANUAL, N);
    tx_thread_sleep(STEP);
    ASSERT_EQ(200u, db_get(obj::dmsIllumBrightLevelStatus));

    static TX_THREAD thread;
    void* stack = nullptr;
    ASSERT_EQ(OS_OK, os_byte_allocate(&thread_stack_pool(), &stack, 4096, OS_NO_WAIT));
    limit_thread::percent = 50;
    {
        display_guard guard(TheDisplay().Lock());
        ASSERT_TRUE(guard.held());
        ASSERT_EQ(TX_SUCCESS, tx_thread_create(&thread, "limit", limit_thread::entry, 0, stack,
                                               4096, 2, 2, 0, TX_AUTO_START));
        tx_thread_sleep(3);
        EXPECT_EQ(50u, temperature_brightness_limit());
        EXPECT_EQ(200u, db_get(obj::dmsIllumBrightLevelStatus)) << "waits for the lock";
    }
    tx_thread_sleep(1);
    EXPECT_EQ(100u, db_get(obj::dmsIllumBrightLevelStatus));
    EXPECT_EQ(2u, db_get(obj::halvObj5_13));
    EXPECT_FALSE(set_temperature_brightness_limit(50)) << "no change, no update";
}

// --- the ceiling ------------------------------------------------------------------------------

// The share of lit pixels of the primary face's frame against the ceiling
// table (row 0's threshold is 40 % by default; on battery with feature bit
// 0x200, row 0 allows 100 % below 40 % lit and row 1 40 % below 100 % lit).
TEST_F(Brightness, TheCeilingFollowsTheShareOfLitPixels) {
    struct Case {
        const char* what;
        uint32_t lit_percent, features, power_source;
        int32_t ceiling;
    };
    const Case cases[] = {
        {"every pixel lit", 100, 0, 1, 102},
        {"10 % lit", 10, 0, 1, 255},
        {"nothing lit", 0, 0, 1, 255},
        {"power table on mains", 100, 0x200, 1, 255},
        {"power table on battery, every pixel lit", 100, 0x200, 7, 2},
        {"power table on battery, half lit", 50, 0x200, 7, 102},
        {"power table on battery, 10 % lit", 10, 0x200, 7, 255},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        db_set(obj::halvSpecialFeatureSet, c.features, 0);
        db_set(obj::powerSource, c.power_source, 0);
        display_guard guard(TheDisplay().Lock());
        CSurface& surface = TheRender().GetSurface();
        surface.Fill(0);
        const int pixels = surface.GetWidth() * surface.GetHeight();
        const int lit = (pixels * int(c.lit_percent) + 99) / 100;
        for (int i = 0; i < lit; ++i)
            surface.SetPixel(i % surface.GetWidth(), i / surface.GetWidth(), 0x1F);
        EXPECT_EQ(c.ceiling, TheDisplay().ComputeBrightnessLimit(TheDisplay().Face(0)));
    }
}

class BrightnessCeiling : public Brightness {
  protected:
    void SetUp() override {
        Brightness::SetUp();
        db_set(obj::dmsIllumManLevel, 255, N);
        db_set(obj::dmsIllumControl, ILLUM_MANUAL, N);
        Show(1, "A");
        db_set(obj::halvObj2_30_4, 2, N); // the ceiling on
        tx_thread_sleep(3 * STEP);
        ASSERT_EQ(255, TheDisplay().BrightnessCeiling());
    }
    void Show(unsigned number, const std::string& multi) {
        ASSERT_EQ(MSG_STATUS_VALID, Store(number, multi));
        ASSERT_EQ(ACTIVATE_ERROR_NONE,
                  Activate(Code(65535, 255, 3, uint16_t(number), Crc(number))));
    }
    // Ticks from the start of the message just activated until the applied
    // ceiling is `ceiling`, counted tick by tick.
    static ULONG TicksUntil(int32_t ceiling) {
        while (TheDisplay().DisplayState() == DISPLAY_START_MESSAGE)
            tx_thread_sleep(1);
        const ULONG started = tx_time_get();
        for (ULONG waited = 0; waited < 10 * STEP; ++waited) {
            if (TheDisplay().BrightnessCeiling() == ceiling) return tx_time_get() - started;
            tx_thread_sleep(1);
        }
        return 0xFFFF;
    }
};

// A full page lowers the ceiling at the next step; a dim page of the same
// message cannot raise it; a new message raises it two steps after it started.
TEST_F(BrightnessCeiling, FallsAtOnceAndRisesOnlyAfterANewMessage) {
    Show(2, "[pt10o0][cr1,1,112,48,9][np]d");
    EXPECT_EQ(STEP, TicksUntil(102));
    EXPECT_NE(std::string::npos, ConsoleText().find("set max dimming to 102\n"));
    EXPECT_EQ(102u, db_get(obj::dmsIllumBrightLevelStatus));
    EXPECT_EQ(3u, db_get(obj::halvObj5_13)) << "limited by the ceiling";
    bool dim_page_seen = false;
    for (int step = 0; step < 30; ++step) {
        tx_thread_sleep(STEP);
        dim_page_seen = dim_page_seen || TheRender().GetSurface().GetPixel(100, 40) == 0;
        EXPECT_EQ(102, TheDisplay().BrightnessCeiling()) << "step " << step;
    }
    EXPECT_TRUE(dim_page_seen);
    Show(3, "A");
    EXPECT_EQ(2 * STEP, TicksUntil(255));
    EXPECT_EQ(255u, db_get(obj::dmsIllumBrightLevelStatus));
    EXPECT_EQ(1u, db_get(obj::halvObj5_13));
}

// --- a central system's view ------------------------------------------------------------------

const std::vector<uint32_t> ILLUM = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 7};
std::vector<uint32_t> illum(uint32_t object) {
    std::vector<uint32_t> name = ILLUM;
    name.push_back(object);
    name.push_back(0);
    return name;
}
const uint32_t CONTROL = 1, LEVEL_STATUS = 5, MANUAL_LEVEL = 6, TABLE = 7, TABLE_ERROR = 8,
               LIGHT_OUTPUT = 9;
std::vector<uint32_t> message_column(uint32_t column, uint32_t number) {
    return {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 5, 8, 1, column, 3, number};
}
const std::vector<uint32_t> ACTIVATE = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 6, 3, 0};

class CentralBrightness : public agent_test::FirmwareWithAgent {
  protected:
    // Changeable message 1 stored, validated and activated over SNMP.
    void ShowMessage(const std::string& multi) {
        using agent_test::AgentCaller;
        ASSERT_EQ(0u, Set(message_column(9, 1), AgentCaller::Integer(6)));
        ASSERT_EQ(0u, Set(message_column(3, 1), snmp_test::tlv(0x04, snmp_test::text(multi))));
        ASSERT_EQ(0u, Set(message_column(9, 1), AgentCaller::Integer(7)));
        ASSERT_EQ(4u, GetInteger(message_column(9, 1)));
        const uint32_t crc = GetInteger(message_column(5, 1));
        Bytes code = Code(65535, 255, 3, 1, uint16_t(crc));
        ASSERT_EQ(0u, Set(ACTIVATE, snmp_test::tlv(0x04, code)));
    }
};

TEST_F(CentralBrightness, ANewSignReportsTheBuiltInTableAndFollowsAManualLevel) {
    const Bytes table = GetOctets(illum(TABLE));
    EXPECT_EQ(1489u, table.size());
    ASSERT_FALSE(table.empty());
    EXPECT_EQ(0xF8, table[0]);
    EXPECT_EQ(Builtin(false), table);
    EXPECT_EQ(2u, GetInteger(illum(TABLE_ERROR)));

    ShowMessage("[cr1,1,112,48,9]");
    ASSERT_EQ(0u, Set(illum(CONTROL), agent_test::AgentCaller::Integer(ILLUM_MANUAL)));
    ASSERT_EQ(0u, Set(illum(MANUAL_LEVEL), agent_test::AgentCaller::Integer(200)));
    tx_thread_sleep(3 * STEP);
    EXPECT_EQ(200u, GetInteger(illum(LEVEL_STATUS)));
    EXPECT_EQ(51400u, GetInteger(illum(LIGHT_OUTPUT)));
    ASSERT_TRUE(host::sign_picture_flush());
    test_support::Picture picture;
    ASSERT_TRUE(test_support::ReadPng(StateDir() + "/sign.png", picture));
    EXPECT_FALSE(picture.Dark());
    EXPECT_EQ("78", picture.text["brightness"]);
}

// A central system's invalid table is refused by the store and never
// reaches the curve.
TEST_F(CentralBrightness, AnInvalidTableFromACentralSystemIsRefusedAndTheCurveStays) {
    const Bytes gap = Table({{10, 0, 100}, {200, 102, 300}});
    EXPECT_EQ(5u, Set(illum(TABLE), snmp_test::tlv(0x04, gap)));
    EXPECT_EQ(3u, GetInteger(illum(TABLE_ERROR)));
    tx_thread_sleep(2 * STEP);
    EXPECT_EQ(Builtin(false), GetOctets(illum(TABLE)));
    EXPECT_EQ(248, Control().RowCount());
    const Bytes two = Table({{10, 0, 100}, {200, 90, 300}});
    EXPECT_EQ(0u, Set(illum(TABLE), snmp_test::tlv(0x04, two)));
    tx_thread_sleep(2 * STEP);
    EXPECT_EQ(2, Control().RowCount());
    EXPECT_EQ(2u, GetInteger(illum(TABLE_ERROR)));
}

// A technician's test pattern over SNMP: after a blank, code 15 in the
// display test code (halvObj1_1) lights every LED, code 1 brings the blank
// sign back.
TEST_F(CentralBrightness, TestCodeFifteenOverSnmpLightsEveryLedAndCodeOneReturns) {
    const std::vector<uint32_t> TEST_CODE = {1, 3, 6, 1, 4, 1, 1206, 3, 11, 1, 1, 0};
    auto every_led = [](bool lit) {
        const host::SignPicture picture = host::sign_picture();
        if (picture.levels.empty()) return false;
        for (int y = 0; y < picture.height; ++y)
            for (int x = 0; x < picture.width; ++x)
                if ((picture.Led(x, y)[0] != 0) != lit) return false;
        return true;
    };
    ASSERT_EQ(0u, Set(ACTIVATE, snmp_test::tlv(0x04, Code(65535, 255, 7, 1, 0))));
    tx_thread_sleep(3 * STEP);
    EXPECT_TRUE(every_led(false));
    ASSERT_EQ(0u, Set(TEST_CODE, agent_test::AgentCaller::Integer(15)));
    tx_thread_sleep(3 * STEP);
    EXPECT_TRUE(every_led(true));
    ASSERT_EQ(0u, Set(TEST_CODE, agent_test::AgentCaller::Integer(1)));
    tx_thread_sleep(3 * STEP);
    EXPECT_TRUE(every_led(false));
}

} // namespace
