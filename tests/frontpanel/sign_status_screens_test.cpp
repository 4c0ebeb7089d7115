// The panel screens a technician under the sign uses to see what it shows
// and what is wrong with it, driven from the keypad: the test patterns (the
// code in the MIB, the sign picture), the sign image and its MULTI text, the
// error status lists over fixture peripherals and stored status tables, and
// the pixel test with its map, list and clear.
#include "display/disp/face.h"
#include "display/display_task.h"
#include "display/message_codes.h"
#include "display/message_rows.h"
#include "frontpanel/lcd.h"
#include "frontpanel/lcd_view.h"
#include "frontpanel/manager.h"
#include "frontpanel/screens/current_display.h"
#include "frontpanel/screens/errors.h"
#include "frontpanel/screens/pixel_test.h"
#include "frontpanel/screens/test_pattern.h"
#include "peripherals/factory.h"
#include "peripherals/peripheral_task.h"
#include "platform/field/field.h"
#include "platform/field/panel_lcd.h"
#include "platform/monitor/monitor.h"
#include "runtime/peripheral.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/comm/agent_net_util.h"
#include "tests/comm/agent_test_util.h"
#include "tests/frontpanel/panel_navigation.h"
#include "tests/support/png_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

using test_support::PanelSession;
using test_support::RectCommand;
using Bytes = std::vector<uint8_t>;

const ULONG SECOND = 100;

// halvObj1_1 as a central system reads it.
uint32_t test_code_over_snmp() {
    agent_test::CapturingAgent agent;
    auto pdu = agent.AskPdu(
        agent_test::request(0xA0, agent_test::ADMIN, {1, 3, 6, 1, 4, 1, 1206, 3, 11, 1, 1, 0}, 1));
    if (!pdu || pdu->error_status != 0) return 0xFFFFFFFF;
    const snmp_varbind& varbind = pdu->varbinds[0];
    uint32_t value = 0;
    std::memcpy(&value, varbind.value, std::min<size_t>(varbind.value_length, sizeof value));
    return value;
}

void place_string(const DbObject& object, const std::string& text) {
    db_set_string(object, text.data(), uint32_t(text.size()), DB_NO_VALIDATE);
}

class SignStatusScreens : public test_support::PanelNavigation {
  protected:
    void AtMainMenu() {
        LogIn("1234");
        ASSERT_TRUE(Shows(1, "MAIN MENU")) << Screen();
    }
    void Keys(const Bytes& keys) {
        for (uint8_t key : keys)
            Panel().Send({key});
    }
    test_support::Picture SignPicture() { return PanelNavigation::SignPicture(2 * SECOND); }
    test_support::Picture PanelPicture() {
        PanelSession::Polls(1);
        EXPECT_TRUE(host::panel_picture_flush());
        test_support::Picture picture;
        EXPECT_TRUE(test_support::ReadPng(StateDir() + "/panel.png", picture));
        return picture;
    }
    // A dot of the panel picture (dark on light).
    static bool Dot(const test_support::Picture& picture, int x, int y) {
        const uint8_t* p = &picture.rgb[(size_t(y) * picture.width + x) * 3];
        return p[0] + p[1] + p[2] < 3 * 128;
    }
    static int DotsIn(const test_support::Picture& picture, int x1, int y1, int x2, int y2) {
        int dots = 0;
        for (int y = y1; y <= y2; ++y)
            for (int x = x1; x <= x2; ++x)
                dots += Dot(picture, x, y);
        return dots;
    }
    // Changeable message 1 stored valid and put on the sign by the panel.
    void Run(const std::string& multi) {
        place_string(obj::changeableMsgMultiString.row(0), multi);
        db_set(obj::changeableMsgStatus.row(0), MSG_STATUS_VALID, DB_NO_VALIDATE);
        CLCD_Manager& manager = *PanelSession::Manager();
        manager.SetPendingActivation(PENDING_CHANGEABLE, 1);
        manager.ActivateMessage(DURATION_UNTIL_REPLACED);
        tx_thread_sleep(SECOND);
    }
    bool Blank(int row) { return Panel().Row(row).find_first_not_of(' ') == std::string::npos; }
    CMenuItem* Menu(int32_t id) { return PanelSession::Manager()->FindMenu(id, nullptr); }
};

// --- test patterns ---------------------------------------------------------------------------

TEST(TestPatternTable, EveryCodeHasOnePositionAndTheUnnamedHaveNone) {
    for (size_t i = 0; i < TEST_PATTERN_COUNT; ++i)
        EXPECT_EQ(int(i), test_pattern_position(TEST_PATTERNS[i].code)) << TEST_PATTERNS[i].name;
    for (uint32_t code : {0u, 7u, 29u, 37u, 255u})
        EXPECT_EQ(-1, test_pattern_position(code)) << code;
}

TEST_F(SignStatusScreens, TestPatternsLightTheSignAndNoneGivesItBack) {
    AtMainMenu();
    EXPECT_TRUE(SignPicture().Dark());
    OpenPath({"DIAGNOSTICS", "TEST PATTERNS"});
    ASSERT_TRUE(Shows(1, "TEST PATTERNS")) << Screen();
    Open("ALL ON 100%");
    ASSERT_TRUE(Shows(1, "DIAGNOSTICS")) << Screen();
    EXPECT_EQ(8u, test_code_over_snmp());
    EXPECT_NE(std::string::npos, Panel().Row(2).find("ALL ON 100%")) << Screen();
    const test_support::Picture lit = SignPicture();
    for (int y = 0; y < lit.height; ++y)
        for (int x = 0; x < lit.width; ++x)
            ASSERT_TRUE(lit.Lit(x, y)) << x << "," << y;

    Open("TEST PATTERNS");
    Open("NONE");
    EXPECT_EQ(1u, test_code_over_snmp());
    EXPECT_TRUE(SignPicture().Dark()) << "no message was on the sign";
}

TEST_F(SignStatusScreens, ColorTestAsksRedGreenBlueAndHandsTheColourOver) {
    AtMainMenu();
    OpenPath({"DIAGNOSTICS", "TEST PATTERNS"});
    Keys({field::PANEL_KEY_DOWN, field::PANEL_KEY_DOWN, field::PANEL_KEY_DOWN});
    Open("COLOR TEST");
    ASSERT_TRUE(Shows(1, "ENTER RED VALUE")) << Screen();
    Digits("255", true);
    ASSERT_TRUE(Shows(1, "ENTER GREEN VALUE")) << Screen();
    Digits("0", true);
    ASSERT_TRUE(Shows(1, "ENTER BLUE VALUE")) << Screen();
    Digits("300", true);
    ASSERT_TRUE(Shows(1, "DIAGNOSTICS")) << Screen();
    EXPECT_EQ(32u, test_code_over_snmp());
    EXPECT_TRUE(Shows(2, "COLOR R:255 G:0 B:44")) << Screen();
    const uint8_t* colour = static_cast<CLCD_TestPattern*>(Menu(5))->Colour();
    EXPECT_EQ(Bytes({255, 0, 44}), Bytes(colour, colour + 3)) << "each value modulo 256";
    EXPECT_TRUE(SignPicture().Lit(0, 0)) << "the sign takes the colour";
}

TEST_F(SignStatusScreens, TheDiagnosticsEntryNamesThePatternThatIsOn) {
    AtMainMenu();
    Open("DIAGNOSTICS");
    const struct {
        uint32_t code;
        const char* shown;
    } cases[] = {{10, "AUTO TEST"}, {7, "OTHER"}, {1, "NONE"}, {17, "ALL ON BLUE 100 PERCENT"}};
    for (const auto& c : cases) {
        db_set(obj::halvObj1_1, c.code, DB_NO_VALIDATE);
        PanelSession::Manager()->RequestRedraw(DRAW_FULL);
        EXPECT_TRUE(Shows(2, c.shown)) << c.code << Screen();
    }
    db_set(obj::halvObj1_1, 1, DB_NO_VALIDATE);
}

// --- the sign image and its MULTI text --------------------------------------------------------

TEST_F(SignStatusScreens, CurrentDisplayShowsTheSignInsideItsFrameUntilLeft) {
    AtMainMenu();
    Run("HELLO");
    Open("CURRENT DISPLAY");
    tx_thread_sleep(3 * SECOND);
    CLCD_Manager& manager = *PanelSession::Manager();
    EXPECT_EQ(1, manager.SignImageView());
    const test_support::Picture panel = PanelPicture();
    EXPECT_TRUE(Dot(panel, 63, 7) && Dot(panel, 176, 56) && Dot(panel, 63, 56)) << "the frame";
    EXPECT_GT(DotsIn(panel, 64, 8, 175, 55), 20) << "the text";
    EXPECT_EQ(0, DotsIn(panel, 0, 8, 61, 55)) << "nothing beside the frame";

    Key(field::PANEL_KEY_ESCAPE);
    ASSERT_TRUE(Shows(1, "MAIN MENU")) << Screen();
    EXPECT_EQ(0, manager.SignImageView());
    const uint32_t drawn = TheSignImageDriver().FramesDrawn();
    tx_thread_sleep(3 * SECOND);
    EXPECT_EQ(drawn, TheSignImageDriver().FramesDrawn());
}

TEST_F(SignStatusScreens, AWideSignShowsItsTwoPartsWithLeftAndRight) {
    db_set(obj::vmsSignWidthPixels, 300, DB_NOTIFY);
    tx_thread_sleep(4 * SECOND);
    AtMainMenu();
    Run("[jl2]HELLO");
    Open("CURRENT DISPLAY");
    tx_thread_sleep(3 * SECOND);
    const test_support::Picture left = PanelPicture();
    Key(field::PANEL_KEY_RIGHT);
    tx_thread_sleep(3 * SECOND);
    EXPECT_EQ(2, PanelSession::Manager()->SignImageView());
    const test_support::Picture right = PanelPicture();
    EXPECT_NE(left.rgb, right.rgb);
    EXPECT_GT(DotsIn(left, 1, 8, 60, 55), DotsIn(right, 1, 8, 60, 55)) << "HELLO starts left";
    Key(field::PANEL_KEY_LEFT);
    tx_thread_sleep(3 * SECOND);
    EXPECT_EQ(1, PanelSession::Manager()->SignImageView());
}

TEST_F(SignStatusScreens, TheMultiTextIsShownInRowsOfThirtyEightSixAPage) {
    AtMainMenu();
    Run("HELLO");
    Open("CURRENT DISPLAY");
    Key(field::PANEL_KEY_ENTER);
    ASSERT_TRUE(Shows(1, "MULTI MESSAGE STRING")) << Screen();
    EXPECT_TRUE(Shows(2, "HELLO")) << Screen();
    EXPECT_EQ(0, PanelSession::Manager()->SignImageView());

    // Longer texts, as the sign would hold them.
    std::string text;
    for (int i = 0; i < 300; ++i)
        text += char('A' + i / 38);
    place_string(obj::currentBufferMsgMultiString, text);
    PanelSession::Manager()->RequestRedraw(DRAW_FULL);
    EXPECT_TRUE(Shows(7, std::string(38, 'F'))) << Screen();
    EXPECT_TRUE(Shows(8, "(MORE)")) << Screen();
    Key(field::PANEL_KEY_DOWN);
    EXPECT_TRUE(Shows(2, std::string(38, 'G'))) << Screen();
    EXPECT_TRUE(Shows(3, std::string(300 - 7 * 38, 'H'))) << Screen();
    EXPECT_TRUE(Blank(4)) << Screen();
    Key(field::PANEL_KEY_DOWN);
    EXPECT_TRUE(Shows(2, std::string(38, 'G'))) << "no page after the last" << Screen();

    // A blank sign has no text: the title alone, and Down stays on page 1.
    CMsgIDCode blank;
    blank.Set(7, 1, 0);
    db_set_string(obj::dmsMsgTableSource, blank.Encoded(), CMsgIDCode::kLength, DB_NO_VALIDATE);
    Key(field::PANEL_KEY_DOWN);
    PanelSession::Manager()->RequestRedraw(DRAW_FULL);
    PanelSession::Polls(2);
    for (int row = 2; row <= 7; ++row)
        EXPECT_TRUE(Blank(row)) << row << Screen();
    EXPECT_EQ(1, static_cast<CLCD_CurrentMultiString*>(Menu(20))->Page());
    Key(field::PANEL_KEY_ESCAPE);
    EXPECT_TRUE(Shows(1, "CURRENT DISPLAY") || PanelSession::Manager()->CurrentMenu() == Menu(19));
}

TEST(CurrentDisplayIndicators, TheWidestTallSignsHideTheMostIndicators) {
    const struct {
        uint32_t width, height;
        int mode;
    } cases[] = {{288, 48, -1}, {240, 64, 3}, {225, 49, 3}, {224, 64, 2},
                 {209, 64, 2},  {193, 64, 1}, {192, 64, 0}, {112, 64, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(c.mode, indicator_mode_for_sign(c.width, c.height)) << c.width << "x" << c.height;
}

// The idle countdown runs only outside local control; whichever way the
// screen is left, the sign image goes off.
TEST_F(SignStatusScreens, OutsideLocalControlTheSignImageCountsDownAndLeaves) {
    db_set(obj::fdotObj11_11, 10, DB_NO_VALIDATE);
    AtMainMenu();
    Open("CURRENT DISPLAY");
    auto* screen = static_cast<CLCD_CurrentDisplay*>(Menu(19));
    ASSERT_EQ(screen, PanelSession::Manager()->CurrentMenu());
    const uint16_t full = screen->Countdown();
    EXPECT_EQ(20, full);
    PanelSession::Polls(4);
    EXPECT_EQ(full, screen->Countdown()) << "local control keeps it";
    db_set(obj::dmsControlMode, CONTROL_CENTRAL, DB_NO_VALIDATE);
    PanelSession::Polls(4);
    EXPECT_LT(screen->Countdown(), full);
    EXPECT_EQ(1, PanelSession::Manager()->SignImageView());
    PanelSession::Polls(20);
    EXPECT_NE(screen, PanelSession::Manager()->CurrentMenu());
    EXPECT_EQ(0, PanelSession::Manager()->SignImageView());
}

// --- error status -----------------------------------------------------------------------------

// A peripheral that has lost touch with its board.
class SilentDevice : public CPeripheral {
  public:
    explicit SilentDevice(uint16_t id) : CPeripheral(periph_id_to_class(id), id) {
        SetState(STATE_COMM_ERROR);
    }
    void Poll() override { SetState(STATE_COMM_ERROR); }
};

void adopt_silent(uint16_t id) {
    ASSERT_TRUE(ThePeripheralTask().Registry().Adopt(new SilentDevice(id))) << id;
}

void place_column(const DbObject& column, const std::vector<std::string>& texts) {
    for (size_t i = 0; i < texts.size(); ++i)
        place_string(column.row(unsigned(i)), texts[i]);
}

void place_map(const DbObject& map, const Bytes& bytes) {
    db_set_string(map, bytes.data(), uint32_t(bytes.size()), DB_NO_VALIDATE);
}

class ErrorScreens : public SignStatusScreens {
  protected:
    // Opens the error screen through the system errors group.
    void OpenErrorScreen(uint16_t bits, const char* title) {
        db_set(obj::shortErrorStatus, bits, DB_NO_VALIDATE);
        PanelSession::Manager()->ActivateMenu(MENU_MAIN, nullptr, false);
        ASSERT_TRUE(Shows(1, "MAIN MENU")) << Screen();
        OpenPath({"*** SYSTEM ERRORS ***", title});
        ASSERT_TRUE(Shows(1, title)) << Screen();
    }
};

TEST_F(ErrorScreens, EachBitShowsItsScreenWithTheFailingItems) {
    AtMainMenu();
    adopt_silent(12); // a temperature sensor
    // The stored status tables and objects the screens read.
    db_set(obj::dmsPowerNumRows, 3, DB_NO_VALIDATE);
    place_column(obj::dmsPowerDescription, {"PS A", "PS B", "PS C"});
    place_column(obj::dmsPowerMfrStatus, {"FAIL", "PASS", "NO AC"});
    place_map(obj::dmsPowerFailureStatusMap, {0x05});
    db_set(obj::photocellRowCount, 2, DB_NO_VALIDATE);
    place_column(obj::photocellDescription, {"FRONT", "REAR"});
    place_map(obj::photocellFailureMap, {0x02});
    db_set(obj::humiditySensorRowCount, 1, DB_NO_VALIDATE);
    place_column(obj::humiditySensorDescription, {"CABINET"});
    place_map(obj::humiditySensorFailureMap, {0x01});
    db_set(obj::climateCtrlRowCount, 2, DB_NO_VALIDATE);
    place_column(obj::climateCtrlDescription, {"FRONT FANS", "HEATERS"});
    place_map(obj::climateCtrlErrorMap, {0x02});
    db_set(obj::tempSensorRowCount, 2, DB_NO_VALIDATE);
    place_column(obj::tempSensorDescription, {"CABINET", "SIGN"});
    place_map(obj::tempSensorWarningMap, {0x03});
    place_map(obj::tempSensorCriticalMap, {0x02});
    db_set(obj::tempSensorHighCritical.row(0), 50, DB_NO_VALIDATE);
    db_set(obj::tempSensorHighCritical.row(1), 70, DB_NO_VALIDATE);
    db_set(obj::tempSensorCurrent.row(1), 72, DB_NO_VALIDATE);
    db_set(obj::halvShutOffTemp, 60, DB_NO_VALIDATE);
    db_set(obj::dmsStatDoorOpen, 0x05, DB_NO_VALIDATE);
    db_set(obj::dmsActivateMsgError, 8, DB_NO_VALIDATE);
    db_set(obj::controllerErrorStatus, 0x12, DB_NO_VALIDATE);

    const struct {
        uint16_t bit;
        const char* title;
        std::vector<std::pair<int, std::string>> rows;
    } cases[] = {
        {0x0001, "OTHER ERROR STATUS", {{2, "NO EXTENDED STATUS"}}},
        {0x0002, "COMM ERROR STATUS", {{3, "COMM LOST WITH CENTRAL..."}, {6, "(GMT)"}}},
        {0x0004, "POWER SUPPLY ERROR STATUS", {{2, "1) PS A - FAIL"}, {3, "2) PS C - NO AC"}}},
        {0x0008, "ATTACHED DEVICE ERROR STATUS", {{2, "TEMPAMBIENT COMM ERRORS"}}},
        {0x0040, "PHOTOCELL ERROR STATUS", {{2, "1) REAR -- COMM ERROR"}}},
        {0x0080, "MESSAGE ERROR STATUS", {{3, "SYNTAX MULTI ERROR"}}},
        {0x0100, "CONTROLLER ERROR STATUS", {{2, "PROM ERROR"}, {3, "DISPLAY INTERFACE ERROR"}}},
        {0x0800, "TEMPERATURE WARNING STATUS", {{2, "1) SIGN - CRITICAL AT 72C"}}},
        {0x0400, "CLIMATE ERROR STATUS", {{2, "HEATERS FAILURE"}}},
        {0x2000, "DOOR OPEN STATUS", {{2, "DOOR 1 OPEN"}, {3, "DOOR 3 OPEN"}}},
        {0x4000, "HUMIDITY WARNING STATUS", {{2, " 1) CABINET   SENSOR FAILURE"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        OpenErrorScreen(c.bit, c.title);
        for (const auto& row : c.rows)
            EXPECT_TRUE(Shows(row.first, row.second)) << Screen();
        EXPECT_TRUE(Blank(int(c.rows.back().first) + 1)) << Screen();
    }
}

TEST_F(ErrorScreens, NoBitOffersNoScreenAndEmptyListsSaySo) {
    AtMainMenu();
    db_set(obj::shortErrorStatus, 0, DB_NO_VALIDATE);
    PanelSession::Manager()->RequestRedraw(DRAW_FULL);
    PanelSession::Polls(2);
    EXPECT_EQ(std::string::npos, Screen().find("SYSTEM ERRORS")) << Screen();
    for (int id = 139; id <= 149; ++id)
        EXPECT_FALSE(Menu(id)->HasRights(*PanelSession::Manager())) << id;

    // With one bit set the group offers that screen alone.
    OpenErrorScreen(0x0004, "POWER SUPPLY ERROR STATUS");
    Key(field::PANEL_KEY_ESCAPE);
    ASSERT_TRUE(Shows(1, "*** SYSTEM ERRORS ***")) << Screen();
    EXPECT_TRUE(Shows(2, "1) POWER SUPPLY ERROR STATUS")) << Screen();
    EXPECT_TRUE(Blank(3)) << Screen();

    const struct {
        uint16_t bit;
        const char* title;
        int row;
        const char* text;
    } cases[] = {
        {0x0004, "POWER SUPPLY ERROR STATUS", 2, "ALL POWER SUPPLIES PASSED"},
        {0x0040, "PHOTOCELL ERROR STATUS", 2, "NO PHOTOCELL ERRORS"},
        {0x0400, "CLIMATE ERROR STATUS", 3, "NO CLIMATE CONTROL WARNINGS"},
        {0x4000, "HUMIDITY WARNING STATUS", 2, "NO HUMIDITY WARNINGS"},
        {0x0200, "TEMPERATURE WARNING STATUS", 2, "1) SHUTDOWN TEMP SET AT 0C"},
    };
    db_set(obj::halvShutOffTemp, 0, DB_NO_VALIDATE);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        OpenErrorScreen(c.bit, c.title);
        EXPECT_TRUE(Shows(c.row, c.text)) << Screen();
    }
    // The door screen lists doors only while the door bit is set.
    db_set(obj::dmsStatDoorOpen, 0x05, DB_NO_VALIDATE);
    OpenErrorScreen(0x2000, "DOOR OPEN STATUS");
    db_set(obj::shortErrorStatus, 0x0001, DB_NO_VALIDATE);
    PanelSession::Manager()->RequestRedraw(DRAW_FULL);
    EXPECT_TRUE(Shows(2, "NO DOORS OPEN")) << Screen();
}

// Counts come from the store: a count larger than its table lists the rows
// the table has and nothing more; a message error outside the texts shows none.
TEST_F(ErrorScreens, StoredCountsNeverWalkPastTheirTables) {
    AtMainMenu();
    db_set(obj::photocellRowCount, 200, DB_NO_VALIDATE);
    place_column(obj::photocellDescription, {"L0", "L1", "L2", "L3", "L4", "L5"});
    place_map(obj::photocellFailureMap, Bytes(25, 0xFF));
    OpenErrorScreen(0x0040, "PHOTOCELL ERROR STATUS");
    EXPECT_TRUE(Shows(7, "6) L5 -- COMM ERROR")) << Screen();
    EXPECT_TRUE(Blank(8)) << "no further page" << Screen();
    Key(field::PANEL_KEY_DOWN);
    EXPECT_TRUE(Shows(2, "1) L0 -- COMM ERROR")) << Screen();

    db_set(obj::dmsActivateMsgError, 200, DB_NO_VALIDATE);
    OpenErrorScreen(0x0080, "MESSAGE ERROR STATUS");
    for (int row = 2; row <= 8; ++row)
        EXPECT_TRUE(Blank(row)) << row << Screen();
}

TEST_F(ErrorScreens, FrenchScreensSpeakFrench) {
    AtMainMenu();
    db_set(obj::halvLanguage, 2, DB_NO_VALIDATE);
    PanelSession::Manager()->SetLanguage();
    db_set(obj::dmsActivateMsgError, 8, DB_NO_VALIDATE);
    db_set(obj::shortErrorStatus, 0x2080, DB_NO_VALIDATE);
    db_set(obj::dmsStatDoorOpen, 0, DB_NO_VALIDATE);
    const struct {
        int32_t menu;
        const char* title;
        int row;
        const char* text;
    } cases[] = {{144, "ERREUR DE MESSAGE", 3, "ERREUR DE SYNTAXE MULTI"},
                 {148, "PORTE OUVERTE", 2, "AUCUNE PORTE OUVERTE"}};
    for (const auto& c : cases) {
        PanelSession::Manager()->ActivateMenu(c.menu, Menu(138), false);
        EXPECT_TRUE(Shows(1, c.title)) << Screen();
        EXPECT_TRUE(Shows(c.row, c.text)) << Screen();
    }
}

TEST_F(ErrorScreens, NineSilentDevicesArePagedSixAndThree) {
    AtMainMenu();
    for (uint16_t door = 30; door <= 37; ++door)
        adopt_silent(door);
    adopt_silent(12);
    OpenErrorScreen(0x0008, "ATTACHED DEVICE ERROR STATUS");
    EXPECT_TRUE(Shows(2, "DOOR SWITCH 1 COMM ERRORS")) << Screen();
    EXPECT_TRUE(Shows(7, "DOOR SWITCH 6 COMM ERRORS")) << Screen();
    EXPECT_TRUE(Shows(8, "(MORE)")) << Screen();
    Key(field::PANEL_KEY_DOWN);
    EXPECT_TRUE(Shows(2, "DOOR SWITCH 7 COMM ERRORS")) << Screen();
    EXPECT_TRUE(Shows(4, "TEMPAMBIENT COMM ERRORS")) << Screen();
    EXPECT_TRUE(Blank(5) && Blank(8)) << Screen();
    Key(field::PANEL_KEY_DOWN);
    EXPECT_TRUE(Shows(4, "TEMPAMBIENT COMM ERRORS")) << "no page after the last" << Screen();
    Key(field::PANEL_KEY_UP);
    EXPECT_TRUE(Shows(2, "DOOR SWITCH 1 COMM ERRORS")) << Screen();
}

// --- the pixel test ------------------------------------------------------------------------------

class PixelTestScreens : public SignStatusScreens {};

// A sign of 8 x 18 LEDs on three modules of 8 x 8 (a frame 24 wide) with a
// pixel test board that reads the modules' light, and one dead LED: column
// 3, row 2 (from 0).
class PixelTestedSign : public SignStatusScreens {
  protected:
    void Configure(host::HostOptions& options) override {
        options.field_file = options.state_dir + "/field.txt";
        std::ofstream(options.field_file)
            << "display module 8x8\ndisplay failed 3 2\ncan ptb ptb1 42B01\n";
    }
    void Prepare() override {
        SignStatusScreens::Prepare();
        const std::string config = "<!-- CONFIG.XML J6 V2.0 -->\n"
                                   "vmsSignHeightPixels[0000]:XXXX,8\n"
                                   "vmsSignWidthPixels[0000]:XXXX,18\n";
        ASSERT_EQ(0, mon_tfsadd("CONFIG.XML", nullptr, nullptr,
                                reinterpret_cast<const unsigned char*>(config.data()),
                                int(config.size())));
    }
    void AddBoard() {
        PeripheralRecord record{PERIPHERAL_FIXED_SLOT, 750, periph_id_to_class(750), "42B01,1"};
        pl_factory factories;
        periph_register_factories(factories);
        CPeripheral* board = nullptr;
        ASSERT_TRUE(factories.Create(record, &board));
        ASSERT_TRUE(ThePeripheralTask().Registry().Adopt(board));
        tx_thread_sleep(2 * SECOND);
    }
    // -> false when the test did not end within two virtual minutes.
    bool TestEnds() {
        for (int waited = 0; waited < 1200; ++waited) {
            tx_thread_sleep(SECOND / 10);
            if (db_get(obj::pixelTestActivation) != 3) return true;
        }
        return false;
    }
};

TEST_F(PixelTestedSign, StartedFromThePanelTheTestIsMappedListedAndCleared) {
    AtMainMenu();
    AddBoard();
    ASSERT_EQ(24u, TheDisplay().FaceConfig(0).width);
    OpenPath({"DIAGNOSTICS", "PIXEL TEST ACTIVATION"});
    ASSERT_TRUE(Shows(2, "1) CONFIRM")) << Screen();
    Digits("1");
    EXPECT_EQ(3u, db_get(obj::pixelTestActivation));
    ASSERT_TRUE(Shows(1, "PIXEL TEST RESULTS")) << Screen();
    EXPECT_TRUE(Shows(2, "RUNNING... PLEASE WAIT")) << Screen();
    ASSERT_TRUE(TestEnds());
    EXPECT_EQ(2u, db_get(obj::pixelTestActivation));
    ASSERT_EQ(1u, db_get(obj::dmsPixelFailureTestRows));

    EXPECT_TRUE(Shows(2, "1) PIXEL TEST RESULTS BITMAP")) << Screen();
    Panel().ClearSent();
    Open("PIXEL TEST RESULTS BITMAP");
    EXPECT_TRUE(Shows(8, "1 ERRORS!")) << Screen();
    // The frame's 24 columns, not the configured 18, centred.
    EXPECT_TRUE(Panel().SentContains(RectCommand(107, 27, 132, 36)));
    const test_support::Picture map = PanelPicture();
    EXPECT_TRUE(Dot(map, 108 + 3, 28 + 2)) << "the dead LED";
    EXPECT_EQ(1, DotsIn(map, 108, 28, 131, 35)) << "and nothing else";

    Key(field::PANEL_KEY_ENTER);
    ASSERT_TRUE(Shows(1, "PIXEL TEST RESULTS LIST")) << Screen();
    EXPECT_TRUE(Shows(2, "1) [4,3] module:[1,1]")) << Screen();
    EXPECT_TRUE(Blank(3)) << Screen();
    Key(field::PANEL_KEY_ESCAPE);
    ASSERT_TRUE(Shows(1, "PIXEL TEST RESULTS BITMAP")) << "back to the map" << Screen();

    Key(field::PANEL_KEY_ESCAPE);
    ASSERT_TRUE(Shows(1, "PIXEL TEST RESULTS")) << Screen();
    Open("CLEAR PIXEL TEST RESULTS");
    Digits("1");
    EXPECT_TRUE(Shows(1, "PIXEL TEST RESULTS")) << Screen();
    tx_thread_sleep(SECOND);
    EXPECT_EQ(0u, db_get(obj::dmsPixelFailureTestRows));
    Open("PIXEL TEST RESULTS BITMAP");
    EXPECT_TRUE(Shows(8, "NO ERRORS!")) << Screen();
    EXPECT_EQ(0, DotsIn(PanelPicture(), 108, 28, 131, 35)) << "an empty map";
    Key(field::PANEL_KEY_ESCAPE);
    Open("PIXEL TEST RESULTS LIST");
    EXPECT_TRUE(Shows(2, "1) NO ERROR")) << Screen();
}

TEST_F(PixelTestScreens, CancelStartsNothing) {
    AtMainMenu();
    OpenPath({"DIAGNOSTICS", "PIXEL TEST ACTIVATION"});
    const uint32_t before = db_get(obj::pixelTestActivation);
    Open("CANCEL");
    EXPECT_TRUE(Shows(1, "DIAGNOSTICS")) << Screen();
    EXPECT_EQ(before, db_get(obj::pixelTestActivation));
}

// Failure rows as the display stores them: at most 500 are listed, each
// with its module and what is wrong with it.
TEST_F(PixelTestScreens, TheListNamesModulesAndStatusesOfAtMostFiveHundredRows) {
    AtMainMenu();
    const face_config& face = TheDisplay().FaceConfig(0);
    ASSERT_GT(face.module_width, 0);
    const struct {
        uint32_t x, y, status;
        const char* suffix;
    } rows[] = {{17, 9, 4, "STUCK OFF"}, {1, 1, 5, "STUCK ON"},      {2, 2, 20, "STUCK OFF"},
                {3, 3, 7, "STUCK ON"},   {4, 4, 9, "UNKNOWN ERROR"}, {5, 5, 6, "STUCK OFF"}};
    for (uint32_t i = 0; i < 600; ++i) {
        db_set(obj::pixelFailureXLocation.row(500 + i), i < 6 ? rows[i].x : 1, DB_NO_VALIDATE);
        db_set(obj::pixelFailureYLocation.row(500 + i), i < 6 ? rows[i].y : 1, DB_NO_VALIDATE);
        db_set(obj::pixelFailureStatus.row(500 + i), i < 6 ? rows[i].status : 0, DB_NO_VALIDATE);
    }
    db_set(obj::dmsPixelFailureTestRows, 600, DB_NO_VALIDATE);
    OpenPath({"DIAGNOSTICS", "PIXEL TEST RESULTS", "PIXEL TEST RESULTS LIST"});
    ASSERT_TRUE(Shows(1, "PIXEL TEST RESULTS LIST")) << Screen();
    auto* list = static_cast<CLCD_PixelTestResultsList*>(Menu(11));
    EXPECT_EQ(500u, list->ChoiceCount());
    const std::string first = "[17,9] module:[" + std::to_string(16 / face.module_width + 1) + "," +
                              std::to_string(8 / face.module_height + 1) + "]";
    EXPECT_TRUE(Shows(2, first)) << Screen();
    for (int i = 0; i < 6; ++i) {
        EXPECT_NE(std::string::npos, Panel().Row(2 + i).find(rows[i].suffix)) << Screen();
    }
}

// The map takes its size from the failure frame: a configured size changed
// since the test neither moves the map nor reads past the frame; a sign too
// tall for the LCD is named, with the error count still on row 8.
TEST_F(PixelTestScreens, TheMapFollowsTheFrameNotTheConfiguredSize) {
    AtMainMenu();
    db_set(obj::dmsPixelFailureTestRows, 2, DB_NO_VALIDATE);
    db_set(obj::vmsSignWidthPixels, 200, DB_NO_VALIDATE);
    Panel().ClearSent();
    OpenPath({"DIAGNOSTICS", "PIXEL TEST RESULTS", "PIXEL TEST RESULTS BITMAP"});
    EXPECT_TRUE(Shows(8, "2 ERRORS!")) << Screen();
    EXPECT_TRUE(Panel().SentContains(RectCommand(63, 7, 176, 56)));

    db_set(obj::vmsSignHeightPixels, 80, DB_NO_VALIDATE);
    PanelSession::Manager()->RequestRedraw(DRAW_FULL);
    EXPECT_TRUE(Shows(4, "TOO LARGE TO DISPLAY")) << Screen();
    EXPECT_TRUE(Shows(8, "2 ERRORS!")) << Screen();
    db_set(obj::vmsSignHeightPixels, 48, DB_NO_VALIDATE);
    db_set(obj::vmsSignWidthPixels, 112, DB_NO_VALIDATE);
}

// Under the system errors the map and the list appear only while the test
// found failures, the clear screen only while the sign reports a pixel error.
TEST_F(PixelTestScreens, TheSystemErrorsOfferTheResultsOnlyWhileThereAreAny) {
    AtMainMenu();
    db_set(obj::shortErrorStatus, 0x0001, DB_NO_VALIDATE);
    CLCD_Manager& manager = *PanelSession::Manager();
    Menu(138)->HasRights(manager); // makes the group the parent of its children
    static_cast<CLCD_MenuItemEx*>(Menu(138))->CountVisibleChildren(manager);
    EXPECT_FALSE(Menu(10)->HasRights(manager));
    EXPECT_FALSE(Menu(11)->HasRights(manager));
    db_set(obj::dmsPixelFailureTestRows, 1, DB_NO_VALIDATE);
    EXPECT_TRUE(Menu(10)->HasRights(manager));
    EXPECT_TRUE(Menu(11)->HasRights(manager));
    static_cast<CLCD_MenuItemEx*>(Menu(9))->CountVisibleChildren(manager);
    db_set(obj::dmsPixelFailureTestRows, 0, DB_NO_VALIDATE);
    EXPECT_TRUE(Menu(10)->HasRights(manager)) << "always under the results group";
    EXPECT_TRUE(Menu(12)->HasRights(manager));
}

} // namespace
