// The sign configuration screens driven from the panel's keypad: the sign's
// size, matrix type, module type, features, colour depth, frame rate, CAN
// line and line lengths, each checked in the store, through the MIB and in
// the sign picture, and the rows of the number entries as a table.
#include "display/display_task.h"
#include "display/module_types.h"
#include "display/render.h"
#include "frontpanel/manager.h"
#include "frontpanel/screens/sign_config.h"
#include "platform/field/field.h"
#include "platform/monitor/monitor_host.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/comm/agent_caller.h"
#include "tests/frontpanel/panel_navigation.h"
#include "tests/support/firmware_fixture.h"
#include "tests/support/png_reader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

namespace {

using test_support::PanelSession;

const std::vector<uint32_t> SIGN_WIDTH_PIXELS = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 2, 4, 0};
const std::vector<uint32_t> SIGN_HEIGHT_PIXELS = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 2, 3, 0};
const uint8_t ESCAPE = field::PANEL_KEY_ESCAPE;
const uint8_t DOWN = field::PANEL_KEY_DOWN;
const uint32_t MODULE_16X16 = 30;

const char* const CONFIGURE_DISPLAY[] = {"CONFIGURATION", "SYSTEM CONFIGURATION",
                                         "CONFIGURE DISPLAY"};

// --- the width typed at the panel, across a restart ---------------------------------------

// The first boot runs in a child that ends at its restart: an operator logs
// in and types the width; a central system reads it back.
int type_width_at_the_panel() {
    PanelSession panel;
    if (!panel.WaitForRow(8, "LOGGED OUT", 40)) return 1;
    panel.Send({0xFF, 0xB3});
    panel.KeypadDigits("1234", true);
    for (const char* title : CONFIGURE_DISPLAY)
        if (!test_support::open_listed(panel, title)) return 2;
    if (!test_support::open_listed(panel, "DISPLAY PIXEL WIDTH")) return 3;
    panel.KeypadDigits("144", true);
    if (agent_test::AgentCaller().GetInteger(SIGN_WIDTH_PIXELS) != 144) return 4;
    if (!panel.WaitForRow(1, "CONFIGURE DISPLAY")) return 5;
    PanelSession::Polls(4); // the journal has the value
    return 0;
}

TEST(SignWidthAtThePanel, ReachesTheCentralSystemAndSizesThePictureAfterARestart) {
    char pattern[] = "/tmp/sign-width-XXXXXX";
    const std::string dir = mkdtemp(pattern);
    ASSERT_EQ(0, test_support::BootInChild(dir, type_width_at_the_panel, 1));

    std::string error;
    auto prepare = [] { host::monitor_set_restart_callback([](int) {}); };
    ASSERT_TRUE(test_support::BootFirmware(dir, prepare, 0, error)) << error;
    tx_thread_sleep(1500);
    EXPECT_EQ(144u, db_get(obj::vmsSignWidthPixels));
    ASSERT_TRUE(host::sign_picture_flush());
    test_support::Picture picture;
    ASSERT_TRUE(test_support::ReadPng(dir + "/sign.png", picture));
    EXPECT_EQ(144, picture.width);
    EXPECT_EQ(48, picture.height);
    host::field_stop();
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}

// --- the screens --------------------------------------------------------------------------------

class SignConfigScreens : public test_support::PanelNavigation {
  protected:
    void OpenDisplayList() {
        LogIn("1234");
        OpenPath({CONFIGURE_DISPLAY[0], CONFIGURE_DISPLAY[1], CONFIGURE_DISPLAY[2]});
        ASSERT_TRUE(Shows(1, "CONFIGURE DISPLAY")) << Screen();
    }
    void OpenSpecialFeatures() {
        LogIn("1234");
        OpenPath(
            {"CONFIGURATION", "SYSTEM CONFIGURATION", "CONFIGURE OPTIONS", "SPECIAL FEATURES"});
        ASSERT_TRUE(Shows(1, "SPECIAL FEATURES")) << Screen();
    }
    // A store write the display configures itself after.
    void Configure(const DbObject& object, uint32_t value) {
        Panel(); // attached before the login screen is drawn
        ASSERT_EQ(0, db_set(object, value, DB_NOTIFY));
        tx_thread_sleep(300);
    }
    void French() {
        db_set(obj::halvLanguage, 2, DB_NOTIFY);
        PanelSession::Manager()->SetLanguage();
        PanelSession::Manager()->RequestRedraw(DRAW_FULL);
    }
};

TEST_F(SignConfigScreens, TheNumberRowsAcceptTheirRangesOnly) {
    Panel();
    struct Case {
        int32_t id;
        uint32_t value;
        bool accepted;
    } cases[] = {
        {52, 0, false},
        {52, 1, true},
        {52, 512, true},
        {52, 513, false}, // width
        {53, 0, false},
        {53, 72, true}, // height: at most 9 lines of the 8-pixel modules
        {53, 73, false},
        {53, 255, false},
        {53, 256, false},
        {56, 0, false},
        {56, 1, true},
        {56, 256, true},
        {56, 257, false}, // address
        {61, 0, false},
        {61, 1, true},
        {61, 5, true},
        {61, 6, false}, // bits per colour
        {62, 0, false},
        {62, 1, true},
        {62, 10, true},
        {62, 11, false}, // frames
        // Pixels per CAN line on 8-pixel modules: 255 modules at most.
        {63, 0, true},
        {63, 2047, true},
        {63, 2048, false},
        {63, 0xFFFFFFFFu, false},
        // Lines of the 112-pixel face: 14 modules at most.
        {85, 0, true},
        {85, 14, true},
        {85, 15, false},
        {93, 14, true},
    };
    for (const Case& c : cases) {
        const number_entry_row* row =
            number_entry_find(SIGN_CONFIG_ROWS, std::size(SIGN_CONFIG_ROWS), c.id);
        ASSERT_NE(nullptr, row) << c.id;
        EXPECT_EQ(c.accepted, number_entry_accepts(*row, c.value)) << c.id << " " << c.value;
    }
    // A face or module without a width has no modules across: no division by zero.
    EXPECT_EQ(0u, modules_across({112, 0, 6}));
    EXPECT_EQ(0u, modules_across({0, 8, 0}));
    EXPECT_EQ(14u, modules_across({112, 8, 6}));
}

TEST_F(SignConfigScreens, AWidthChangeResetsFrameRateAndColourDepthAndAHeightChangeDoesNot) {
    // A sign large enough that the frame rate setting counts (above 24000
    // pixels), of 16-pixel modules.
    Configure(obj::halvModuleID, MODULE_16X16);
    Configure(obj::vmsSignWidthPixels, 208);
    Configure(obj::vmsSignHeightPixels, 128);
    db_set(obj::halvObj2_22, 3, DB_NOTIFY);
    db_set(obj::halvObj2_23, 3, DB_NOTIFY);
    OpenDisplayList();

    Open("DISPLAY PIXEL HEIGHT");
    Digits("256", true);
    EXPECT_TRUE(Shows(6, "INVALID ENTRY"));
    Key(ESCAPE);
    ASSERT_TRUE(Shows(1, "CONFIGURE DISPLAY"));
    Open("DISPLAY PIXEL HEIGHT");
    Digits("144", true);
    EXPECT_TRUE(ShowsAfter("DISPLAY PIXEL HEIGHT", "144")) << Screen();
    EXPECT_EQ(144u, agent_test::AgentCaller().GetInteger(SIGN_HEIGHT_PIXELS));
    EXPECT_EQ(3u, db_get(obj::halvObj2_22));
    EXPECT_EQ(3u, db_get(obj::halvObj2_23));

    Open("DISPLAY PIXEL WIDTH");
    Digits("176", true);
    EXPECT_TRUE(ShowsAfter("DISPLAY PIXEL WIDTH", "176")) << Screen();
    EXPECT_EQ(176u, db_get(obj::vmsSignWidthPixels));
    EXPECT_EQ(0u, db_get(obj::halvObj2_23));
    // Back to the default rate, which the display limits to 5 at this size.
    EXPECT_EQ(5u, db_get(obj::halvObj2_22));
}

// A size the display would leave out is refused at the entry, which says
// why; the sign stays lit. A sign taller than the LCD says so on CURRENT
// DISPLAY instead of an empty screen.
TEST_F(SignConfigScreens, ASizeTheDisplayCannotTakeIsRefusedWithItsReason) {
    Configure(obj::vmsSignWidthPixels, 288); // 36 modules of 8 pixels across
    OpenDisplayList();
    Open("DISPLAY PIXEL HEIGHT");
    EXPECT_TRUE(Panel().WaitForRow(2, "RESTRICTIONS:<= 72 (9 MODULE LINES)")) << Screen();
    Digits("80", true);
    EXPECT_TRUE(Shows(6, "INVALID ENTRY"));
    EXPECT_EQ(48u, db_get(obj::vmsSignHeightPixels));
    Key(ESCAPE);
    Open("DISPLAY PIXEL HEIGHT");
    Digits("72", true);
    EXPECT_TRUE(ShowsAfter("DISPLAY PIXEL HEIGHT", "72")) << Screen();
    const test_support::Picture picture = SignPicture();
    EXPECT_EQ(288, picture.width) << "the display took the face";
    EXPECT_EQ(72, picture.height);

    Open("DISPLAY PIXEL WIDTH");
    EXPECT_TRUE(Panel().WaitForRow(2, "RESTRICTIONS:<= 512 (64 MODULES WIDE)")) << Screen();
    for (int i = 0; i < 4; ++i) // the entry, then up to the main menu
        Key(ESCAPE);
    ASSERT_TRUE(Shows(1, "MAIN MENU")) << Screen();
    // Set from elsewhere, a size whose face the display leaves out.
    Configure(obj::vmsSignHeightPixels, 80);
    Open("CURRENT DISPLAY");
    EXPECT_TRUE(Shows(4, "TOO LARGE TO DISPLAY")) << Screen();
}

TEST_F(SignConfigScreens, ALineHeightIsRaisedToWholeModules) {
    Configure(obj::halvModuleID, MODULE_16X16);
    OpenDisplayList();
    struct Case {
        const char* typed;
        uint32_t stored;
    } cases[] = {{"20", 32}, {"16", 16}, {"0", 0}};
    for (const Case& c : cases) {
        Open("DISPLAY TYPE");
        ASSERT_TRUE(Shows(1, "DISPLAY TYPE"));
        Open("LINE");
        ASSERT_TRUE(Shows(1, "LINE HEIGHT")) << Screen();
        Digits(c.typed, true);
        ASSERT_TRUE(Shows(1, "CONFIGURE DISPLAY")) << c.typed;
        EXPECT_EQ(5u, db_get(obj::dmsSignType)) << c.typed;
        EXPECT_EQ(c.stored, db_get(obj::vmsCharacterHeightPixels)) << c.typed;
        EXPECT_EQ(0u, db_get(obj::vmsCharacterWidthPixels)) << c.typed;
    }
    // CHAR takes the module's size, FULL none; neither asks for a height.
    Open("DISPLAY TYPE");
    Open("CHAR");
    ASSERT_TRUE(Shows(1, "CONFIGURE DISPLAY"));
    EXPECT_EQ(4u, db_get(obj::dmsSignType));
    EXPECT_EQ(16u, db_get(obj::vmsCharacterHeightPixels));
    EXPECT_EQ(16u, db_get(obj::vmsCharacterWidthPixels));
    Open("DISPLAY TYPE");
    Open("FULL");
    ASSERT_TRUE(Shows(1, "CONFIGURE DISPLAY"));
    EXPECT_EQ(6u, db_get(obj::dmsSignType));
    EXPECT_EQ(0u, db_get(obj::vmsCharacterHeightPixels));
}

TEST_F(SignConfigScreens, TheDisplayListShowsEachSettingInBothLanguages) {
    OpenDisplayList();
    struct Case {
        DbObject object;
        uint32_t value;
        const char* title;
        const char* english;
        const char* french;
    } cases[] = {
        {obj::dmsSignType, 6, "DISPLAY TYPE", "FULL", "PLEINE"},
        {obj::dmsSignType, 134, "DISPLAY TYPE", "FULL", "PLEINE"},
        {obj::dmsSignType, 7, "DISPLAY TYPE", "OTHER", "AUTRE"},
        {obj::dmsSignAccess, 2, "DISPLAY ACCESS", "WALK-IN", "WALK-IN"},
        {obj::dmsSignAccess, 12, "DISPLAY ACCESS", "ACCESS", "ACCESS"}, // a combination: nothing
        {obj::halvhdlcAddress, 200, "DISPLAY ADDRESS", "200", "200"},
        {obj::halvModuleID, 9999, "MODULE TYPE", "UNKNOWN", "UNKNOWN"},
    };
    auto title_of = [](const char* english, bool french) {
        std::string title = english;
        if (!french) return title;
        if (title == "DISPLAY TYPE") return std::string("TYPE DE MATRICE");
        if (title == "DISPLAY ADDRESS") return std::string("ADRESSE DE L'ENSEIGNE");
        if (title == "MODULE TYPE") return std::string("TYPE DE MODULE");
        return title;
    };
    for (bool french : {false, true}) {
        if (french) French();
        for (const Case& c : cases) {
            db_set(c.object, c.value, DB_NO_VALIDATE);
            PanelSession::Manager()->RequestRedraw(DRAW_FULL);
            EXPECT_TRUE(ShowsAfter(title_of(c.title, french), french ? c.french : c.english))
                << c.title << " " << c.value << Screen();
        }
    }
    // A line sign and a character sign give their sizes.
    db_set(obj::dmsSignType, 5, DB_NO_VALIDATE);
    db_set(obj::vmsCharacterHeightPixels, 32, DB_NO_VALIDATE);
    PanelSession::Manager()->RequestRedraw(DRAW_FULL);
    // The long suffix covers the end of the title.
    EXPECT_TRUE(Shows(3, "2) TYPE DE MATRICHAUTEUR DE LA LIGNE 32")) << Screen();
    db_set(obj::dmsSignType, 132, DB_NO_VALIDATE);
    db_set(obj::vmsCharacterWidthPixels, 5, DB_NO_VALIDATE);
    db_set(obj::vmsCharacterHeightPixels, 7, DB_NO_VALIDATE);
    PanelSession::Manager()->RequestRedraw(DRAW_FULL);
    EXPECT_TRUE(Shows(3, "CARACTERE 7X5")) << Screen();
}

TEST_F(SignConfigScreens, AccessAndAddressAreStoredFromTheirScreens) {
    OpenDisplayList();
    Open("DISPLAY ACCESS");
    Open("REAR");
    EXPECT_EQ(4u, db_get(obj::dmsSignAccess));
    EXPECT_TRUE(ShowsAfter("DISPLAY ACCESS", "REAR")) << Screen();

    Open("DISPLAY ADDRESS");
    EXPECT_TRUE(Shows(2, "RESTRICTIONS:MIN 1, MAX 256"));
    Digits("257", true);
    EXPECT_TRUE(Shows(6, "INVALID ENTRY"));
    EXPECT_EQ(1u, db_get(obj::halvhdlcAddress));
    Key(ESCAPE);
    Open("DISPLAY ADDRESS");
    Digits("42", true);
    EXPECT_EQ(42u, db_get(obj::halvhdlcAddress));
    EXPECT_TRUE(ShowsAfter("DISPLAY ADDRESS", "42"));
}

TEST_F(SignConfigScreens, TheModuleTypeListPagesAndSwallowsDigitsPastItsRows) {
    const size_t count = installed_module_type_count();
    ASSERT_GT(count, 6u);
    const size_t last_page = (count - 1) / 6;
    const size_t last_rows = count - last_page * 6;
    OpenDisplayList();
    Open("MODULE TYPE");
    ASSERT_TRUE(Shows(2, std::string("1) ") + installed_module_types()[0].model_name));
    for (size_t page = 0; page < last_page + 2; ++page) // past the last page: stays
        Key(DOWN);
    const module_type_record& first = installed_module_types()[last_page * 6];
    ASSERT_TRUE(Shows(2, std::string("1) ") + first.model_name)) << Screen();
    if (last_rows < 6) {
        Digits(std::to_string(last_rows + 1));
        EXPECT_TRUE(Shows(1, "MODULE TYPE")) << "a digit past the rows is swallowed";
        EXPECT_EQ(28u, db_get(obj::halvModuleID));
    }
    Digits("1");
    EXPECT_TRUE(Shows(1, "CONFIGURE DISPLAY"));
    EXPECT_EQ(first.id, db_get(obj::halvModuleID));
    EXPECT_TRUE(ShowsAfter("MODULE TYPE", first.model_name)) << Screen();
}

TEST_F(SignConfigScreens, SpecialFeatureDigitsToggleTheirBits) {
    OpenSpecialFeatures();
    Open("HALV SPECIAL FEATURES");
    ASSERT_TRUE(Shows(2, "1) DEFAULT 50 PERCENT DIMMING"));
    EXPECT_TRUE(Shows(4, "OFF"));
    Digits("3");
    EXPECT_TRUE(Shows(4, "ON")) << Screen();
    EXPECT_EQ(0x8u, db_get(obj::halvSpecialFeatureSet));
    Key(DOWN);
    ASSERT_TRUE(Shows(6, "5) USE NO SUCH NAME ON SENSORS")) << Screen();
    Digits("56"); // 6 names no row of the second page
    EXPECT_TRUE(Shows(6, "ON"));
    EXPECT_EQ(0x1008u, db_get(obj::halvSpecialFeatureSet));
    Digits("3"); // USE SCHEDULED FILE CLEANUP
    Key(ESCAPE);
    EXPECT_TRUE(Shows(1, "SPECIAL FEATURES"));
    EXPECT_EQ(0x1408u, db_get(obj::halvSpecialFeatureSet));
}

TEST_F(SignConfigScreens, BitsPerColourAndFrameRateReachTheDisplay) {
    OpenSpecialFeatures();
    Open("NUMBER FRAMES/SECOND");
    EXPECT_TRUE(Shows(2, "RESTRICTIONS:>= 1 AND <= 10"));
    Digits("11", true);
    EXPECT_TRUE(Shows(6, "INVALID ENTRY"));
    Key(ESCAPE);
    Open("NUMBER FRAMES/SECOND");
    Digits("7", true);
    EXPECT_EQ(7u, TheRender().frames_per_second);
    EXPECT_EQ(7u, db_get(obj::halvObj2_22));
    EXPECT_TRUE(ShowsAfter("NUMBER FRAMES/SECOND", "7")) << Screen();

    Open("NUMBER BITS/COLOR");
    EXPECT_TRUE(Shows(2, "RESTRICTIONS:>= 1 AND <= 5"));
    Digits("3", true);
    EXPECT_EQ(3u, TheDisplay().BitsPerColor() & 0x7);
    EXPECT_EQ(3u, db_get(obj::halvObj2_23));
    EXPECT_TRUE(ShowsAfter("NUMBER BITS/COLOR", "3")) << Screen();
}

TEST_F(SignConfigScreens, PixelsPerCanLineAreStoredAsWholeModulesThatFitAByte) {
    Configure(obj::halvModuleID, MODULE_16X16);
    OpenSpecialFeatures();
    EXPECT_TRUE(ShowsAfter("MAXIMUM PIXELS PER CAN LINE", "DEFAULT"));
    struct Case {
        const char* typed;
        bool accepted;
        uint32_t stored;
        const char* shown;
    } cases[] = {
        {"100", true, 6, "96"},
        {"5000", false, 6, nullptr}, // 312 modules do not fit the byte
        {"4095", true, 255, "4080"},
        {"0", true, 0, "DEFAULT"},
    };
    for (const Case& c : cases) {
        Open("MAXIMUM PIXELS PER CAN LINE");
        ASSERT_TRUE(Shows(2, "RESTRICTIONS:<= 4095")) << Screen();
        EXPECT_TRUE(Shows(7, "ZERO RESTORES DEFAULTS"));
        Digits(c.typed, true);
        if (!c.accepted) {
            EXPECT_TRUE(Shows(6, "INVALID ENTRY")) << c.typed;
            Key(ESCAPE);
        }
        ASSERT_TRUE(Shows(1, "SPECIAL FEATURES")) << c.typed;
        EXPECT_EQ(c.stored, db_get(obj::halvCANMaxLineLength)) << c.typed;
        if (c.shown) {
            EXPECT_TRUE(ShowsAfter("MAXIMUM PIXELS PER CAN LINE", c.shown)) << c.typed;
        }
    }
}

TEST_F(SignConfigScreens, LineLengthsShowTheFacesLinesAndHoldNoMoreModulesThanItsWidth) {
    OpenSpecialFeatures();
    Open("LINE LENGTHS");
    ASSERT_TRUE(Shows(7, "6) LINE 6 LENGTH")) << Screen();
    EXPECT_TRUE(ShowsAfter("LINE 2 LENGTH", "DEFAULT"));
    Key(DOWN);
    PanelSession::Polls(1);
    EXPECT_EQ(0, RowOf("LINE 7 LENGTH")) << "the 48-pixel face has 6 lines of 8" << Screen();

    Open("LINE 2 LENGTH");
    EXPECT_TRUE(Shows(2, "RESTRICTIONS:<= 14")) << Screen();
    EXPECT_TRUE(Shows(8, "ENTER NUMBER OF MODULES FOR LINE"));
    Digits("15", true);
    EXPECT_TRUE(Shows(6, "INVALID ENTRY"));
    EXPECT_EQ(0u, db_get(obj::halvLineLength.row(1)));
    Key(ESCAPE);
    Open("LINE 2 LENGTH");
    Digits("10", true);
    EXPECT_EQ(10u, db_get(obj::halvLineLength.row(1)));
    EXPECT_TRUE(ShowsAfter("LINE 2 LENGTH", "10")) << Screen();
}

TEST_F(SignConfigScreens, SerialNumbersAreStoredWithTheModuleTablesText) {
    LogIn("1234");
    OpenPath({"CONFIGURATION", "SYSTEM CONFIGURATION"});
    struct Case {
        const char* title;
        const char* typed;
        DbObject serial;
        DbObject text;
        const char* expected;
    } cases[] = {
        {"CONTROLLER SERIAL NUMBER", "1234", obj::halvControllerSerialNum,
         obj::moduleVersion.row(1), "SN: 1234"},
        {"CONTROLLER SERIAL NUMBER", "0", obj::halvControllerSerialNum, obj::moduleVersion.row(1),
         "SN: ----"},
        {"DISPLAY SERIAL NUMBER", "987654", obj::halvSignSerialNum, obj::moduleVersion.row(6),
         "SN: 987654"},
    };
    for (const Case& c : cases) {
        Open(c.title);
        ASSERT_TRUE(Shows(8, "PRESS ENTER TO SAVE")) << Screen();
        Digits(c.typed, true);
        ASSERT_TRUE(Shows(1, "SYSTEM CONFIGURATION"));
        EXPECT_EQ(uint32_t(std::stoul(c.typed)), db_get(c.serial)) << c.typed;
        char text[32] = {};
        db_get_string_copy(c.text, text, sizeof text);
        EXPECT_STREQ(c.expected, text);
        EXPECT_TRUE(ShowsAfter(c.title, c.typed));
    }
}

} // namespace
