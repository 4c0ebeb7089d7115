// The display task's maintenance letters and sign settings on a booted
// firmware: the message-row lock and its automatic return, the permanent
// message count, the font status requests, the font set of the sign type,
// the failed-pixel resets, the module dump, the sign's dimensions and the
// feature bit that resets the first user community.
#include "display/disp/diagnostics.h"
#include "display/display_task.h"
#include "runtime/letter_codes.h"
#include "runtime/post_office.h"
#include "runtime/watchdog_task.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/support/firmware_fixture.h"

#include <string>

namespace {

const ULONG STEP = 10; // the display task's period
const uint32_t QUIET = DB_NO_VALIDATE;
const uint32_t AS_AN_OPERATOR = DB_NOTIFY | DB_NO_VALIDATE;

size_t count_of(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

class Maintenance : public test_support::FirmwareFixture {
  protected:
    void SetUp() override {
        FirmwareFixture::SetUp();
        tx_thread_sleep(200); // the display task takes its first steps
    }
    static void Steps(ULONG n) { tx_thread_sleep(n * STEP); }
    static void Post(uint32_t code) {
        the_post_office().post(code);
        Steps(2);
    }
};

// --- the message-row lock ----------------------------------------------------

TEST_F(Maintenance, TheUnlockedRowsLockAgainAfterTheirTimeOrAtOnceOutOfLocalModes) {
    CDisplay& display = TheDisplay();
    ASSERT_EQ(DB_OK, db_set(obj::dmsControlMode, 2, QUIET));
    ASSERT_EQ(DB_OK, db_set(obj::halvObj2_8, 2, AS_AN_OPERATOR));
    Steps(2);
    EXPECT_EQ(550u, db_get(obj::dmsMaxChangeableMsg));
    // The test thread outranks the display: the countdown runs only here.
    const uint32_t left = display.AutoLockCountdown(); // 9000 less the steps taken since
    ASSERT_GT(left, 8990u);
    ASSERT_LE(left, 9000u);
    for (uint32_t step = 1; step < left; ++step)
        display.AutoLock();
    EXPECT_EQ(1u, display.AutoLockCountdown());
    EXPECT_EQ(2u, db_get(obj::halvObj2_8));
    test_support::ClearConsole();
    display.AutoLock();
    EXPECT_EQ(1u, db_get(obj::halvObj2_8));
    EXPECT_EQ(500u, db_get(obj::dmsMaxChangeableMsg));
    EXPECT_NE(std::string::npos,
              test_support::ConsoleText().find(
                  "CDisplay::StateMachine_MessageHandler::auto locking config objects\n"));

    // Open in local mode, then central: the lock is back in the same step.
    ASSERT_EQ(DB_OK, db_set(obj::halvObj2_8, 2, AS_AN_OPERATOR));
    Steps(2);
    ASSERT_EQ(550u, db_get(obj::dmsMaxChangeableMsg));
    ASSERT_EQ(DB_OK, db_set(obj::dmsControlMode, 4, QUIET));
    display.AutoLock();
    EXPECT_EQ(1u, db_get(obj::halvObj2_8));
    EXPECT_EQ(500u, db_get(obj::dmsMaxChangeableMsg));
}

TEST_F(Maintenance, OpeningTheRowsInCentralModeLeavesTheLimitAndStartsTheCountdown) {
    ASSERT_EQ(DB_OK, db_set(obj::dmsControlMode, 4, QUIET));
    ASSERT_EQ(500u, db_get(obj::dmsMaxChangeableMsg));
    ASSERT_EQ(DB_OK, db_set(obj::halvObj2_8, 2, AS_AN_OPERATOR));
    Steps(3);
    EXPECT_EQ(500u, db_get(obj::dmsMaxChangeableMsg));
    EXPECT_EQ(2u, db_get(obj::halvObj2_8));
    EXPECT_GT(TheDisplay().AutoLockCountdown(), 8990u);
    // Locked again by hand: the countdown stops.
    ASSERT_EQ(DB_OK, db_set(obj::halvObj2_8, 1, AS_AN_OPERATOR));
    Steps(2);
    EXPECT_EQ(0u, TheDisplay().AutoLockCountdown());
}

TEST_F(Maintenance, ThePermanentCountIsTwoPlusTheValidStoredRows) {
    Post(LETTER_COUNT_PERMANENT_MESSAGES);
    EXPECT_EQ(2u, db_get(obj::dmsNumPermanentMsg));
    for (unsigned row = 500; row < 550; ++row)
        ASSERT_EQ(DB_OK, db_set(obj::changeableMsgStatus.row(row), 4, QUIET));
    ASSERT_EQ(DB_OK, db_set(obj::changeableMsgStatus.row(499), 4, QUIET)); // not a permanent row
    Post(LETTER_COUNT_PERMANENT_MESSAGES);
    EXPECT_EQ(52u, db_get(obj::dmsNumPermanentMsg));
    ASSERT_EQ(DB_OK, db_set(obj::changeableMsgStatus.row(520), 5, QUIET));
    Post(LETTER_COUNT_PERMANENT_MESSAGES);
    EXPECT_EQ(51u, db_get(obj::dmsNumPermanentMsg));
}

// --- fonts ---------------------------------------------------------------------

// The blank sign itself hands in-use fonts back as ready for use at every
// step, so the statuses the letter leaves alone are shown with others.
TEST_F(Maintenance, FontRequestsBecomeTheirStatesInOneLetter) {
    const struct {
        uint32_t row, before, after;
    } cases[] = {{0, 7, 2}, {1, 8, 4}, {2, 9, 1}, {3, 10, 11}, {4, 11, 11}, {5, 6, 6}, {6, 3, 3}};
    ASSERT_EQ(DB_OK, db_set(obj::fontVersionID.row(1), 0, QUIET));
    TheDatabase().ComputeFontCRC(1);
    const uint32_t version = db_get(obj::fontVersionID.row(1));
    ASSERT_EQ(DB_OK, db_set(obj::fontVersionID.row(1), version ^ 0x5A5A, QUIET));
    for (const auto& c : cases)
        ASSERT_EQ(DB_OK, db_set(obj::fontStatus.row(c.row), c.before, QUIET));
    Post(LETTER_FONT_STATUS_REQUEST);
    for (const auto& c : cases)
        EXPECT_EQ(c.after, db_get(obj::fontStatus.row(c.row))) << "font row " << c.row;
    EXPECT_EQ(version, db_get(obj::fontVersionID.row(1)));
}

// A character-matrix sign, fixed (4) or portable (132), holds the one
// character-matrix font; any other type all 20 built-in fonts.
TEST_F(Maintenance, TheSignTypeChoosesTheFontSet) {
    const struct {
        uint32_t type, fonts, first_height;
    } cases[] = {{4, 1, 7}, {6, 20, 7}, {132, 1, 7}};
    for (const auto& c : cases) {
        ASSERT_EQ(DB_OK, db_set(obj::fontHeight.row(0), 9, QUIET));
        ASSERT_EQ(DB_OK, db_set(obj::dmsSignType, c.type, AS_AN_OPERATOR));
        // The new face settings restart the display's timer after its first
        // tick (1.5 s): the steps go on after that pause.
        tx_thread_sleep(200);
        EXPECT_EQ(c.fonts, db_get(obj::numFonts)) << c.type;
        EXPECT_EQ(c.first_height, db_get(obj::fontHeight.row(0))) << c.type;
    }
    uint32_t length = 0;
    const char* name = db_get_string(obj::fontName.row(0), &length);
    EXPECT_NE(0u, length) << (name ? name : "");
}

// --- failed-pixel records ------------------------------------------------------------

TEST_F(Maintenance, APixelErrorStaysWhileTheOtherDetectionTypeStillCounts) {
    const struct {
        uint32_t first, second;
        DbObject first_count, second_count;
        uint32_t first_rows;
    } cases[] = {
        {LETTER_CLEAR_PIXEL_TEST_FAILURES, LETTER_CLEAR_DISPLAY_FAILURES,
         obj::pixelTestFailureCount, obj::messageFailureCount, 500},
        {LETTER_CLEAR_DISPLAY_FAILURES, LETTER_CLEAR_PIXEL_TEST_FAILURES, obj::messageFailureCount,
         obj::pixelTestFailureCount, 1000},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(DB_OK, db_set(obj::pixelTestFailureCount, 3, QUIET));
        ASSERT_EQ(DB_OK, db_set(obj::messageFailureCount, 2, QUIET));
        ASSERT_EQ(DB_OK, db_change_bits(obj::shortErrorStatus, 0x20, 0, QUIET));
        for (uint32_t k : {c.first_rows, c.first_rows + 499}) {
            ASSERT_EQ(DB_OK, db_set(obj::pixelFailureXLocation.row(k), 40, QUIET));
            ASSERT_EQ(DB_OK, db_set(obj::pixelFailureStatus.row(k), 3, QUIET));
        }
        Post(c.first);
        EXPECT_EQ(0u, db_get(c.first_count));
        EXPECT_NE(0u, db_get(c.second_count));
        EXPECT_EQ(0x20u, db_get(obj::shortErrorStatus) & 0x20);
        for (uint32_t k : {c.first_rows, c.first_rows + 499}) {
            EXPECT_EQ(1u, db_get(obj::pixelFailureXLocation.row(k)));
            EXPECT_EQ(1u, db_get(obj::pixelFailureYLocation.row(k)));
            EXPECT_EQ(0u, db_get(obj::pixelFailureStatus.row(k)));
        }
        Post(c.second);
        EXPECT_EQ(0u, db_get(obj::shortErrorStatus) & 0x20);
    }
}

// --- module dump --------------------------------------------------------------------

TEST_F(Maintenance, TheModuleDumpPrintsEachModuleWithTheWatchdogHeld) {
    CDisplay& display = TheDisplay();
    ASSERT_GE(display.FaceCount(), 1u);
    face_config& face = display.FaceConfig(0);
    ASSERT_NE(nullptr, face.diagnostics);
    const uint32_t modules = face.total_modules;
    ASSERT_GE(modules, 1u);
    const uint8_t status[disp::MODULE_STATUS_BYTES] = {
        3,    4,    10,   11,   12,   5,    20,   30,   0x01, 0x02, 0,    0, 0x00,
        0x7B, 0x00, 0x7C, 0x00, 0x2A, 0x00, 0x2B, 0x00, 0x2C, 6,    0xF6, 0, 1};
    std::copy(status, status + sizeof status, face.diagnostics->module_at(0).status);

    test_support::ClearConsole();
    letter_s letter(LETTER_MODULE_DUMP);
    letter.count = 1;
    letter.data[0] = 0;
    the_post_office().dispatch(letter);
    bool held = false;
    for (int tick = 0; tick < 40 && !held; ++tick) {
        tx_thread_sleep(1);
        held = TheWatchdogTask().HoldsOutstanding() > 0;
    }
    EXPECT_TRUE(held);
    tx_thread_sleep(ULONG(modules) * 10 + 3 * STEP);
    EXPECT_EQ(0u, TheWatchdogTask().HoldsOutstanding());
    const std::string shown = test_support::ConsoleText();
    EXPECT_NE(std::string::npos,
              shown.find("mod:A101 type:258 rev:3 ps:5 Temp:-10 mA:10,11,12 "
                         "Vmn,mx,a,c:20,30,5,6\n\tVps1,2:12.3,12.4 Vled1->3:4.2,4.3,4.4 quick\n\n"))
        << shown;
    EXPECT_EQ(size_t(modules), count_of(shown, "mod:A"));

    test_support::ClearConsole();
    letter.data[0] = uint8_t(display.FaceCount());
    the_post_office().dispatch(letter);
    Steps(2);
    EXPECT_EQ("face does not exist\n", test_support::ConsoleText());
}

// --- sign settings ---------------------------------------------------------------------

TEST_F(Maintenance, TheOuterSizeFollowsPixelsPitchesAndBorders) {
    const struct {
        uint32_t type, height, width, character_height, character_width, pitch;
        uint32_t mm_high, mm_wide, vertical_border, horizontal_border;
    } cases[] = {
        {4, 14, 100, 7, 5, 66, 1839, 10328, 305, 610},
        {6, 48, 112, 0, 0, 8, 994, 1506, 305, 305},
        {5, 14, 100, 7, 0, 44, 44 * 14 + 229 * 3, 44 * 100 + 1220, 229, 610},
        {4, 14, 100, 0, 0, 66, 66 * 14 + 305 * 2, 66 * 102 + 1220, 305, 610},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(DB_OK, db_set(obj::dmsSignType, c.type, QUIET));
        ASSERT_EQ(DB_OK, db_set(obj::vmsSignHeightPixels, c.height, QUIET));
        ASSERT_EQ(DB_OK, db_set(obj::vmsSignWidthPixels, c.width, QUIET));
        ASSERT_EQ(DB_OK, db_set(obj::vmsCharacterHeightPixels, c.character_height, QUIET));
        ASSERT_EQ(DB_OK, db_set(obj::vmsCharacterWidthPixels, c.character_width, QUIET));
        ASSERT_EQ(DB_OK, db_set(obj::vmsHorizontalPitch, c.pitch, QUIET));
        ASSERT_EQ(DB_OK, db_set(obj::vmsVerticalPitch, c.pitch, QUIET));
        CDisplay::UpdateSignDimensions();
        EXPECT_EQ(c.mm_high, db_get(obj::dmsSignHeight)) << c.type << " " << c.height;
        EXPECT_EQ(c.mm_wide, db_get(obj::dmsSignWidth)) << c.type << " " << c.height;
        EXPECT_EQ(c.vertical_border, db_get(obj::dmsVerticalBorder));
        EXPECT_EQ(c.horizontal_border, db_get(obj::dmsHorizontalBorder));
    }
}

TEST_F(Maintenance, TheSignSizeIsWholeCharacters) {
    const struct {
        uint32_t type, height, width, character_height, character_width;
        uint32_t stored_height, stored_width, stored_ch, stored_cw;
    } cases[] = {
        {5, 50, 100, 7, 5, 56, 100, 7, 0},
        {4, 14, 98, 7, 5, 14, 100, 7, 5},
        {6, 48, 112, 8, 8, 48, 112, 0, 0},
        {6, 48, 112, 0, 0, 48, 112, 0, 0}, // no character size: the pixels as given
    };
    for (const auto& c : cases) {
        ASSERT_EQ(DB_OK, db_set(obj::dmsSignType, c.type, QUIET));
        CDisplay::SetSignSize(db_get(obj::halvModuleID), c.height, c.width, c.character_height,
                              c.character_width);
        EXPECT_EQ(c.stored_height, db_get(obj::vmsSignHeightPixels)) << c.type;
        EXPECT_EQ(c.stored_width, db_get(obj::vmsSignWidthPixels)) << c.type;
        EXPECT_EQ(c.stored_ch, db_get(obj::vmsCharacterHeightPixels)) << c.type;
        EXPECT_EQ(c.stored_cw, db_get(obj::vmsCharacterWidthPixels)) << c.type;
    }
}

TEST_F(Maintenance, TurningTheFeatureBitOnTwiceResetsTheCommunityOnce) {
    const DbObject user = obj::communityNameUser.row(0);
    const DbObject mask = obj::communityNameAccessMask.row(0);
    auto name = [&] {
        uint32_t n = 0;
        const char* p = db_get_string(user, &n);
        return std::string(p, n);
    };
    const uint32_t features = db_get(obj::halvSpecialFeatureSet) & ~0x20u;
    ASSERT_EQ(DB_OK, db_set(obj::halvSpecialFeatureSet, features, AS_AN_OPERATOR));
    Steps(2);
    ASSERT_EQ(DB_OK, db_set_text(user, "orchard", QUIET));
    ASSERT_EQ(DB_OK, db_set(obj::halvSpecialFeatureSet, features | 0x20, AS_AN_OPERATOR));
    Steps(2);
    EXPECT_EQ("meadow", name());
    EXPECT_EQ(0xFFFFFFFFu, db_get(mask));

    ASSERT_EQ(DB_OK, db_set_text(user, "orchard", QUIET));
    ASSERT_EQ(DB_OK, db_set(obj::halvSpecialFeatureSet, features | 0x20 | 0x4, AS_AN_OPERATOR));
    Steps(2);
    EXPECT_EQ("orchard", name());

    ASSERT_EQ(DB_OK, db_set(obj::halvSpecialFeatureSet, features, AS_AN_OPERATOR));
    Steps(2);
    EXPECT_EQ("meadow", name());
    EXPECT_EQ(0u, db_get(mask));
}

} // namespace
