// The display's own blanking rules and failed-pixel records, on the virtual
// clock: each rule blanks a running message once (saving its identity,
// printing why, raising trap 16) and stays quiet while its blank shows or a
// test pattern is on; failed pixels go into their rows and the bit map.
#include "comm/agents/trap_raise.h"
#include "display/disp/frame.h"
#include "tests/display/activation_fixture.h"

#include <string>
#include <vector>

namespace {

using namespace display_test;
using test_support::ConsoleText;

const ULONG STEP = 10;
uint32_t g_display_traps = 0;

class Blanking : public Activation {
  protected:
    void SetUp() override {
        g_display_traps = 0;
        set_trap_sink([](uint32_t generic, uint32_t specific, uint32_t, const trap_varbind*) {
            if (generic == TRAP_ENTERPRISE_SPECIFIC && specific == 16) ++g_display_traps;
        });
        Activation::SetUp();
        ASSERT_EQ(MSG_STATUS_VALID, Store(1, "HELLO"));
    }
    void TearDown() override {
        set_trap_sink(nullptr);
        Activation::TearDown();
    }
    // HELLO from the central system, every rule off.
    void ShowHello() {
        db_set(obj::halvLegibilityRatioThreshold, 0, DB_NO_VALIDATE);
        db_set(obj::fdotMaxNumPixelFailure, uint32_t(-1), DB_NO_VALIDATE);
        db_set(obj::pixelTestFailureCount, 0, 0);
        db_set(obj::messageFailureCount, 0, 0);
        ASSERT_EQ(ACTIVATE_ERROR_NONE, Activate(Code(65535, 255, 3, 1, Crc(1))));
        tx_thread_sleep(2 * STEP);
        ASSERT_EQ(SOURCE_MODE_CENTRAL, db_get(obj::dmsMsgSourceMode));
        db_set_string(obj::panynjObj1_3, nullptr, 0, 0);
        ClearConsole();
        g_display_traps = 0;
    }
    static void ClearConsole() { test_support::ClearConsole(); }
};

// Each row starts from HELLO on the sign; the legibility rule is asked with
// the row's ratio, the failed-pixel rule runs in the display's own steps.
TEST_F(Blanking, TheRulesAsATable) {
    struct Case {
        const char* what;
        uint32_t threshold, ratio;
        int32_t limit;
        uint32_t shown, tested;
        uint32_t test_code; // halvObj1_1
        uint32_t source;    // of the blank; 0: no blank
        const char* printed;
    };
    const Case cases[] = {
        {"threshold 0 never blanks", 0, 0, -1, 0, 0, 1, 0, nullptr},
        {"ratio at the threshold", 80, 80, -1, 0, 0, 1, 0, nullptr},
        {"ratio 79 under 80", 80, 79, -1, 0, 0, 1, 4,
         "Legiblity Threshold(80%) Exceeded! Blanking.. Current Ratio:79%\n"},
        {"limit -1 never blanks", 0, 100, -1, 900, 900, 1, 0, nullptr},
        {"10 failures under limit 10", 0, 100, 10, 10, 10, 1, 0, nullptr},
        {"11 pixel-test failures over limit 10", 0, 100, 10, 3, 11, 1, 3,
         "Max(10) Fail Pixels Exceeded! Blanking.. RT cnt:3 PT cnt:11\n"},
        {"11 message-display failures", 0, 100, 10, 11, 0, 1, 3,
         "Max(10) Fail Pixels Exceeded! Blanking.. RT cnt:11 PT cnt:0\n"},
        {"a test pattern stops both", 80, 10, 0, 5, 5, 5, 0, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ShowHello();
        db_set(obj::halvObj1_1, c.test_code, DB_NOTIFY);
        tx_thread_sleep(2 * STEP);
        db_set(obj::halvLegibilityRatioThreshold, c.threshold, DB_NO_VALIDATE);
        db_set(obj::fdotMaxNumPixelFailure, uint32_t(c.limit), DB_NO_VALIDATE);
        db_set(obj::messageFailureCount, c.shown, 0);
        db_set(obj::pixelTestFailureCount, c.tested, 0);
        db_set(obj::panynjObj1_6, c.ratio, 0);
        TheDisplay().CheckLegibility();
        tx_thread_sleep(3 * STEP); // the failed-pixel rule's steps; a blank is activated
        for (int again = 0; again < 3; ++again) { // while the blank shows: quiet
            db_set(obj::panynjObj1_6, c.ratio, 0);
            TheDisplay().CheckLegibility();
            tx_thread_sleep(STEP);
        }
        if (c.source == 0) {
            EXPECT_EQ(0u, g_display_traps);
            EXPECT_EQ(SOURCE_MODE_CENTRAL, db_get(obj::dmsMsgSourceMode));
            EXPECT_EQ(std::string::npos, ConsoleText().find("Exceeded"));
        } else {
            EXPECT_EQ(1u, g_display_traps) << "once";
            EXPECT_EQ(SOURCE_MODE_OTHER, db_get(obj::dmsMsgSourceMode));
            EXPECT_EQ(c.source, db_get(obj::panynjObj1_4));
            EXPECT_EQ(DISPLAY_BLANK, TheDisplay().DisplayState());
            EXPECT_EQ(Bytes({3, 0, 1, uint8_t(Crc(1) >> 8), uint8_t(Crc(1))}),
                      Value(obj::panynjObj1_3));
            const std::string console = ConsoleText();
            EXPECT_NE(std::string::npos, console.find(c.printed)) << console;
            EXPECT_EQ(console.find("Exceeded"), console.rfind("Exceeded")) << "printed once";
        }
        db_set(obj::halvObj1_1, 1, DB_NOTIFY);
    }
}

TEST_F(Blanking, AFailedPixelIsARowOfItsDetectionType) {
    struct Case {
        uint32_t type, entry;
        uint8_t colour_class;
        uint16_t x, y;
        uint32_t bits;
        unsigned row;
        uint32_t colour;
    };
    const Case cases[] = {
        {2, 0, 1, 0, 0, 0x5, 500, 5},          // column 0 is stored as 1
        {3, 499, 3, 9, 4, 0x7, 1499, 21},      // full colour: 1 + 4 + 16
        {1, 7, 2, 114, 55, 0x2, 7, 4},         // two colours: the second channel
        {2, 3, 1, 1, 1, 0x12345, 503, 0x2345}, // kept to 16 bits
    };
    for (const Case& c : cases) {
        TheDisplay().StorePixelError(c.type, c.entry, c.colour_class,
                                     disp::pixel(c.x, c.y, c.bits));
        EXPECT_EQ(c.x + 1u, db_get(obj::pixelFailureXLocation.row(c.row))) << c.row;
        EXPECT_EQ(c.y + 1u, db_get(obj::pixelFailureYLocation.row(c.row))) << c.row;
        EXPECT_EQ(20u, db_get(obj::pixelFailureStatus.row(c.row))) << c.row;
        EXPECT_EQ(c.colour, db_get(obj::pixelFailureColorStatus.row(c.row))) << c.row;
    }
    // Entries past a type's 500 rows and unknown types write nothing.
    db_set(obj::pixelFailureXLocation.row(0), 77, 0);
    TheDisplay().StorePixelError(1, 500, 1, disp::pixel(1, 1, 1));
    TheDisplay().StorePixelError(0, 0, 1, disp::pixel(1, 1, 1));
    TheDisplay().StorePixelError(4, 0, 1, disp::pixel(1, 1, 1));
    EXPECT_EQ(77u, db_get(obj::pixelFailureXLocation.row(0)));
    EXPECT_EQ(9u + 1, db_get(obj::pixelFailureXLocation.row(1499)));
}

TEST_F(Blanking, TheBitMapFillsElevenBlocksOfFourHundred) {
    struct Case {
        uint32_t length;
        std::vector<uint32_t> blocks; // written lengths; rows after stay untouched
    };
    const Case cases[] = {
        {4400, std::vector<uint32_t>(11, 400)},
        {5000, std::vector<uint32_t>(11, 400)}, // the tail is lost
        {800, {400, 400, 0}},
        {7, {7}},
    };
    static uint8_t bitmap[5000];
    for (uint32_t i = 0; i < sizeof bitmap; ++i)
        bitmap[i] = uint8_t(i);
    for (const Case& c : cases) {
        for (unsigned row = 0; row < 11; ++row)
            db_set_string(obj::pixelFailureBitmap.row(row), "untouched", 9, 0);
        CDisplay::StoreFailureBitmap(bitmap, c.length);
        for (unsigned row = 0; row < 11; ++row) {
            const Bytes v = Value(obj::pixelFailureBitmap.row(row));
            if (row >= c.blocks.size()) {
                EXPECT_EQ(9u, v.size()) << c.length << " row " << row;
                continue;
            }
            ASSERT_EQ(c.blocks[row], v.size()) << c.length << " row " << row;
            if (!v.empty()) {
                EXPECT_EQ(uint8_t(400 * row), v[0]);
            }
        }
    }
}

} // namespace
