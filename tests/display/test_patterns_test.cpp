// Test patterns from their edges: a whole firmware on the virtual clock (a
// monochrome sign of 112 x 48 pixels, 10 display steps a second); the display
// test code halvObj1_1 is written as an operator writes it, and the sign
// surface, the modules' picture, the illumination objects and the driver's
// level are read back step by step.
#include "display/display_task.h"
#include "display/render.h"
#include "platform/field/field.h"
#include "tests/display/activation_fixture.h"

#include <set>
#include <string>
#include <vector>

namespace {

using namespace display_test;

const ULONG STEP = 10; // ticks of one display step at 10 frames a second
const uint32_t N = DB_NOTIFY;
const uint32_t RED = 0x001F;

class TestPatterns : public Activation {
  protected:
    static void SetTestCode(uint32_t code) { db_set(obj::halvObj1_1, code, N); }
    static const CSurface& Surface() { return TheRender().GetSurface(); }
    static uint32_t Pixel(int x, int y) { return Surface().GetPixel(x, y) >> 16; }
    // Rows of the surface from `top`, their first `width` pixels: '.' dark, 'X' lit.
    static std::vector<std::string> Rows(int top, int count, int width) {
        std::vector<std::string> rows;
        for (int y = top; y < top + count; ++y) {
            std::string row;
            for (int x = 0; x < width; ++x)
                row += Pixel(x, y) ? 'X' : '.';
            rows.push_back(row);
        }
        return rows;
    }
    // The surface's distinct colours.
    static std::set<uint32_t> Colours() {
        std::set<uint32_t> colours;
        for (int y = 0; y < Surface().GetHeight(); ++y)
            for (int x = 0; x < Surface().GetWidth(); ++x)
                colours.insert(Pixel(x, y));
        return colours;
    }
    // Every LED of the modules' picture lit / dark.
    static bool PictureAll(bool lit) {
        host::SignPicture picture = host::sign_picture();
        if (picture.levels.empty()) return false;
        for (int y = 0; y < picture.height; ++y)
            for (int x = 0; x < picture.width; ++x)
                if ((picture.Led(x, y)[0] != 0) != lit) return false;
        return true;
    }
    void Show(unsigned number, const std::string& multi) {
        ASSERT_EQ(MSG_STATUS_VALID, Store(number, multi));
        ASSERT_EQ(ACTIVATE_ERROR_NONE,
                  Activate(Code(65535, 255, 3, uint16_t(number), Crc(number))));
    }
    void Blank() { ASSERT_EQ(ACTIVATE_ERROR_NONE, Activate(Code(65535, 255, 7, 1, 0))); }
};

// What a pattern showed and for how many steps.
template <typename T> struct run {
    T value;
    int steps;
};
template <typename T, typename F> std::vector<run<T>> Watch(int steps, F sample) {
    std::vector<run<T>> runs;
    for (int i = 0; i < steps; ++i) {
        tx_thread_sleep(STEP);
        T value = sample();
        if (runs.empty() || !(runs.back().value == value)) runs.push_back({value, 0});
        ++runs.back().steps;
    }
    return runs;
}

// The test ends with code 1: the sign shows what it showed before.
TEST_F(TestPatterns, CodeFifteenLightsTheWholeSignAndCodeOneReturnsToTheMessage) {
    struct Case {
        const char* what;
        bool message; // a message, else a blank
    };
    for (const Case c : {Case{"after a blank", false}, Case{"after a message", true}}) {
        SCOPED_TRACE(c.what);
        if (c.message)
            Show(1, "HELLO");
        else
            Blank();
        tx_thread_sleep(3 * STEP);
        const host::SignPicture before = host::sign_picture();
        EXPECT_EQ(!c.message, PictureAll(false));
        SetTestCode(15);
        tx_thread_sleep(3 * STEP);
        EXPECT_EQ(DISPLAY_TEST_PATTERN, TheDisplay().DisplayState());
        EXPECT_TRUE(PictureAll(true)) << "every LED lit";
        SetTestCode(1);
        tx_thread_sleep(3 * STEP);
        EXPECT_NE(DISPLAY_TEST_PATTERN, TheDisplay().DisplayState());
        EXPECT_EQ(before.levels, host::sign_picture().levels);
    }
}

// On a single-colour module the cycle shows red only and every step moves
// the phase: code 3 lights every eighth column from the phase, one second a
// phase, and after phase 7 starts again at column 0.
TEST_F(TestPatterns, EveryEighthColumnWalksAcrossTheSignInRed) {
    SetTestCode(3);
    auto first_lit_column = [] {
        for (int x = 0; x < Surface().GetWidth(); ++x)
            if (Pixel(x, 0)) return x;
        return -1;
    };
    bool phase_seven_checked = false;
    auto runs = Watch<int>(200, [&] {
        EXPECT_EQ(std::set<uint32_t>({0, RED}), Colours());
        const int phase = first_lit_column();
        for (int x = 0; x < Surface().GetWidth(); ++x)
            EXPECT_EQ(x % 8 == phase, Pixel(x, 47) != 0) << "column " << x;
        if (phase == 7) {
            EXPECT_EQ(std::string(7, '.') + "X" + std::string(7, '.') + "X" + std::string(7, '.') +
                          "X",
                      Rows(0, 1, 24)[0]);
            phase_seven_checked = true;
        }
        return phase;
    });
    runs.erase(runs.begin()); // a part of the first step
    ASSERT_GE(runs.size(), 15u);
    for (size_t i = 0; i + 1 < runs.size(); ++i) {
        EXPECT_EQ(10, runs[i].steps) << "run " << i;
        EXPECT_EQ((runs[i].value + 1) % 8, runs[i + 1].value) << "run " << i;
    }
    EXPECT_TRUE(phase_seven_checked);
}

// On a full-colour module (type 72) each step shows the next colour, and the
// phase moves after blue.
TEST_F(TestPatterns, AFullColourModuleCyclesRedGreenBlueBeforeThePhaseMoves) {
    db_set(obj::halvModuleID, 72, N);
    tx_thread_sleep(3 * STEP); // the display configuration is loaded again
    SetTestCode(3);
    auto runs = Watch<std::pair<int, uint32_t>>(100, [] {
        for (int x = 0; x < Surface().GetWidth(); ++x)
            if (Pixel(x, 0)) return std::make_pair(x, Pixel(x, 0));
        return std::make_pair(-1, 0u);
    });
    runs.erase(runs.begin());
    ASSERT_GE(runs.size(), 6u);
    const uint32_t next_colour[][2] = {{0x001F, 0x03E0}, {0x03E0, 0x7C00}, {0x7C00, 0x001F}};
    for (size_t i = 0; i + 1 < runs.size(); ++i) {
        SCOPED_TRACE("run " + std::to_string(i));
        EXPECT_EQ(10, runs[i].steps);
        const auto [phase, colour] = runs[i].value;
        for (const auto& step : next_colour)
            if (step[0] == colour) {
                EXPECT_EQ(step[1], runs[i + 1].value.second);
            }
        EXPECT_EQ(colour == 0x7C00 ? (phase + 1) % 8 : phase, runs[i + 1].value.first);
    }
}

// Code 2 on a single-colour module: red, off, red, ... three seconds each.
TEST_F(TestPatterns, CodeTwoAlternatesRedAndOffEveryThreeSeconds) {
    SetTestCode(2);
    auto runs = Watch<std::set<uint32_t>>(130, [] { return Colours(); });
    runs.erase(runs.begin());
    ASSERT_GE(runs.size(), 4u);
    for (size_t i = 0; i + 1 < runs.size(); ++i) {
        EXPECT_EQ(30, runs[i].steps) << "run " << i;
        EXPECT_EQ(1u, runs[i].value.size()) << "a whole sign of one colour";
        EXPECT_NE(runs[i].value, runs[i + 1].value);
    }
    const std::set<uint32_t> red = {RED}, off = {0};
    EXPECT_TRUE(runs[0].value == red || runs[0].value == off);
}

// The bright patterns take manual-direct control at full level (a tenth for
// 12-14) and give the saved mode back when the test moves on; a bright
// pattern after a bright one keeps the first saved values.
TEST_F(TestPatterns, BrightPatternsSaveAndRestoreTheIllumination) {
    db_set(obj::dmsIllumManLevel, 200, N);
    db_set(obj::dmsIllumControl, 4, N);
    struct {
        uint32_t code, mode, level;
    } const steps[] = {
        {8, 5, 255}, {18, 4, 200}, {8, 5, 255}, {15, 5, 255}, {12, 5, 25}, {1, 4, 200},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE("code " + std::to_string(s.code));
        SetTestCode(s.code);
        tx_thread_sleep(2 * STEP);
        EXPECT_EQ(s.mode, db_get(obj::dmsIllumControl));
        EXPECT_EQ(s.level, db_get(obj::dmsIllumManLevel));
    }
    EXPECT_EQ(200u, db_get(obj::dmsIllumBrightLevelStatus)) << "the manual level again";
}

TEST_F(TestPatterns, CodeOneSetsTheBeaconsAsTheCurrentMessageHasThem) {
    for (uint32_t beacon : {0u, 1u}) {
        SCOPED_TRACE("beacon " + std::to_string(beacon));
        SetTestCode(5);
        tx_thread_sleep(2 * STEP);
        EXPECT_TRUE(TheDisplay().BeaconOn()) << "a test turns the beacons on";
        db_set(obj::currentBufferMsgBeacon, beacon, N);
        SetTestCode(1);
        tx_thread_sleep(2 * STEP);
        EXPECT_EQ(beacon != 0, TheDisplay().BeaconOn());
    }
}

TEST_F(TestPatterns, ACodeAboveThirtySixDrawsABlackSign) {
    Show(1, "[cr1,1,112,48,9]");
    tx_thread_sleep(3 * STEP);
    ASSERT_TRUE(PictureAll(true));
    for (uint32_t code : {37u, 200u, 255u, 0u}) {
        SCOPED_TRACE(code);
        SetTestCode(code);
        tx_thread_sleep(3 * STEP);
        EXPECT_EQ(DISPLAY_TEST_PATTERN, TheDisplay().DisplayState());
        EXPECT_EQ(std::set<uint32_t>({0}), Colours());
        EXPECT_TRUE(PictureAll(false));
    }
}

// --- drawn patterns ---------------------------------------------------------------------------

// A font whose glyphs are solid blocks three pixels high, one pixel wide but
// for "B" (2) and "1" (3); one pixel between characters and between lines.
void PutTestFont() {
    const uint32_t F = DB_NO_VALIDATE;
    db_set(obj::fontNumber.row(0), 1, F);
    db_set(obj::fontHeight.row(0), 3, F);
    db_set(obj::fontCharSpacing.row(0), 1, F);
    db_set(obj::fontLineSpacing.row(0), 1, F);
    for (uint32_t code = 33; code < 256; ++code) {
        const uint32_t width = code == 'B' ? 2 : code == '1' ? 3 : 1;
        db_set(obj::characterWidth.row(code - 1), width, F);
        const std::string bits((width * 3 + 7) / 8, '\xFF');
        db_set_string(obj::characterBitmap.row(code - 1), bits.data(), uint32_t(bits.size()), F);
    }
}

struct DrawnCase {
    const char* what;
    uint32_t code;
    int top;
    std::vector<std::string> rows;
};

TEST_F(TestPatterns, DrawnPatternsMatchTheirPictures) {
    PutTestFont();
    const DrawnCase cases[] = {
        {"glyph grid, first two cells",
         11,
         0,
         {"............", ".XXXX..XXXX.", ".XXXXX.XXXXX", "..X.XX..X.XX", ".XXXXX.XXXXX",
          ".XXXX..XXXX.", "............", "............", "............", ".XXXX..XXXX."}},
        {"letter rows: A, B, C ..., a text row every four pixels",
         5,
         0,
         {"X.XX.X.X.X.X", "X.XX.X.X.X.X", "X.XX.X.X.X.X", "............", "X.XX.X.X.X.X"}},
        {"digit rows: 1 then 2",
         6,
         0,
         {"XXX.XXX.XXX.", "XXX.XXX.XXX.", "XXX.XXX.XXX.", "............", "X.X.X.X.X.X.",
          "X.X.X.X.X.X.", "X.X.X.X.X.X."}},
        {"digit rows: the tenth is A, the eleventh B",
         6,
         36,
         {"X.X.X.X.X.X.", "X.X.X.X.X.X.", "X.X.X.X.X.X.", "............", "XX.XX.XX.XX.",
          "XX.XX.XX.XX."}},
        {"odd rows", 18, 0, {"............", "XXXXXXXXXXXX", "............", "XXXXXXXXXXXX"}},
        {"even rows", 19, 0, {"XXXXXXXXXXXX", "............", "XXXXXXXXXXXX"}},
        {"odd columns", 20, 0, {".X.X.X.X.X.X", ".X.X.X.X.X.X"}},
        {"even columns", 21, 0, {"X.X.X.X.X.X.", "X.X.X.X.X.X."}},
        {"checkerboard odd", 22, 0, {".X.X.X.X.X.X", "X.X.X.X.X.X."}},
        {"checkerboard even", 23, 0, {"X.X.X.X.X.X.", ".X.X.X.X.X.X"}},
    };
    for (const DrawnCase& c : cases) {
        SCOPED_TRACE(c.what);
        SetTestCode(c.code);
        tx_thread_sleep(2 * STEP);
        EXPECT_EQ(c.rows, Rows(c.top, int(c.rows.size()), 12));
    }
    // Each text row holds as many characters as fit: the last, at column
    // 111, ends at the sign's edge.
    SetTestCode(5);
    tx_thread_sleep(2 * STEP);
    EXPECT_EQ("X.X", Rows(0, 1, 112)[0].substr(109));
    EXPECT_EQ(std::set<uint32_t>({0, RED}), Colours());
}

// On a line-matrix sign the digit rows follow the character height.
TEST_F(TestPatterns, DigitRowsOfALineMatrixSignAdvanceByTheCharacterHeight) {
    PutTestFont();
    db_set(obj::dmsSignType, 5, DB_NO_VALIDATE);
    db_set(obj::vmsCharacterHeightPixels, 8, DB_NO_VALIDATE);
    SetTestCode(6);
    tx_thread_sleep(2 * STEP);
    EXPECT_EQ(std::vector<std::string>({"XXX.XXX.", "XXX.XXX.", "XXX.XXX.", "........", "........",
                                        "........", "........", "........", "X.X.X.X."}),
              Rows(0, 9, 8));
}

// --- patterns that drive the level themselves ------------------------------------------------

// While codes 9, 10, 25 and 35 run, a change of the illumination settings
// leaves the level alone; other codes follow it.
TEST_F(TestPatterns, SomePatternsHoldOffTheBrightnessUpdate) {
    struct {
        uint32_t code;
        bool held;
    } const cases[] = {{9, true}, {10, true}, {25, true}, {35, true}, {8, false}, {3, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE("code " + std::to_string(c.code));
        SetTestCode(c.code);
        tx_thread_sleep(2 * STEP);
        db_set(obj::dmsIllumControl, 4, N);
        db_set(obj::dmsIllumManLevel, 123, N);
        tx_thread_sleep(2 * STEP);
        EXPECT_EQ(!c.held, 123u == db_get(obj::dmsIllumBrightLevelStatus));
        SetTestCode(1);
        db_set(obj::dmsIllumManLevel, 99, N);
        tx_thread_sleep(2 * STEP);
        ASSERT_EQ(99u, db_get(obj::dmsIllumBrightLevelStatus));
    }
}

// Code 10's stage cycle: three seconds at a tenth of the scaled level, then
// three at the full scaled level; with the scaler at 150 % the full level
// (382) reaches the driver as the highest level, never wrapped to a dim one.
TEST_F(TestPatterns, ADirectLevelAboveTheTopIsHeldAtTheTop) {
    db_set(obj::halvIllumBrightnessScaler, 150, N);
    SetTestCode(10);
    auto runs = Watch<uint8_t>(80, [] { return TheDisplay().SignDriver().GetBrightness(); });
    std::vector<uint8_t> levels;
    for (const auto& r : runs)
        levels.push_back(r.value);
    EXPECT_EQ(std::vector<uint8_t>({38, 255}),
              std::vector<uint8_t>(levels.end() - 2, levels.end()));
    EXPECT_EQ(100, host::sign_picture().brightness);
}

// The dimming sweep: the whole sign blinks every two steps while its level
// rises by one every four steps.
TEST_F(TestPatterns, TheDimmingSweepBlinksWhileTheLevelRises) {
    SetTestCode(25);
    tx_thread_sleep(STEP);
    std::vector<uint8_t> levels;
    std::vector<bool> lit;
    for (int step = 0; step < 16; ++step) {
        tx_thread_sleep(STEP);
        levels.push_back(TheDisplay().SignDriver().GetBrightness());
        lit.push_back(Pixel(0, 0) != 0);
    }
    for (size_t i = 4; i < levels.size(); ++i) {
        EXPECT_EQ(levels[i - 4] + 1, levels[i]) << "step " << i;
        EXPECT_EQ(lit[i - 4], lit[i]);
        EXPECT_NE(lit[i - 2], lit[i]) << "blinks every two steps";
    }
}

} // namespace
