// The front-panel manager in the booted firmware: the panel comes up on
// serial port 1 (bytes read at the far end of the port, the panel's bytes put
// into its input), its reports switch the control mode with traps, keys
// reach the current menu, rights choose what a user may enter, the time-outs
// log out and mark the panel. Every menu of the table is built from a
// recording screen registered before the boot, so that the framework is seen
// without the real screens.
#include "comm/agents/trap_raise.h"
#include "console/monitor_task.h"
#include "frontpanel/manager.h"
#include "peripherals/peripheral_task.h"
#include "platform/board/board.h"
#include "platform/field/field.h"
#include "runtime/post_office.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/support/firmware_fixture.h"
#include "tests/support/kernel_fixture.h"

#include <gtest/gtest.h>

#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace {

typedef std::vector<uint8_t> Bytes;

const ULONG POLL = 50; // ticks between two passes of the peripheral task

// A screen that records what the manager asks of it; a container takes
// children like the real one.
class RecordingScreen : public CMenuItem {
  public:
    explicit RecordingScreen(int32_t id) : CMenuItem(id) {}
    void OnEnter(CLCD_Manager& manager) override {
        ++enters;
        CMenuItem::OnEnter(manager);
    }
    bool OnKey(CLCD_Manager& manager, uint16_t* key) override {
        keys.push_back(*key);
        // A text field moves the multi-tap walk on, as the text editor does.
        if (walks_letters) ++manager.multitap_index;
        return key_event_code(*key) != KEY_ESCAPE && handles;
    }
    void Draw(CLCD_Manager&, CLCD& lcd, uint8_t phase) override {
        ++draws[phase % 3];
        if (phase == DRAW_FULL) lcd.PrintLine(1, LCD_CENTRE, "SCREEN %d", int(id_));
    }
    bool AddChild(CMenuItem* child) override {
        child->SetParent(this);
        children.push_back(child);
        return true;
    }

    std::vector<uint16_t> keys;
    std::vector<CMenuItem*> children;
    int enters = 0;
    int draws[3] = {};
    bool handles = true;
    bool walks_letters = false;
};

menu_factory_record records[160];

// Every type of the table builds a recording screen.
void register_recording_screens() {
    std::set<uint32_t> types;
    size_t n = 0;
    for (size_t i = 0; i < MENU_TABLE_COUNT; ++i)
        if (types.insert(MENU_TABLE[i].type).second) {
            records[n] = {MENU_TABLE[i].type, menu_create<RecordingScreen>};
            class_factory::Register(&records[n++]);
        }
}

std::mutex sent_mutex;
Bytes sent; // what the sign sent on serial port 1

// The panel's traps: switch positions 6 and 7, central 13, local 14.
std::vector<uint32_t> traps;
void record_trap(uint32_t generic, uint32_t specific, uint32_t count, const trap_varbind*) {
    const bool panel = specific == 6 || specific == 7 || specific == 13 || specific == 14;
    if (generic == TRAP_ENTERPRISE_SPECIFIC && panel && count == 2) traps.push_back(specific);
}

int count_of(const Bytes& bytes, const Bytes& part) {
    int n = 0;
    for (size_t i = 0; i + part.size() <= bytes.size(); ++i)
        if (std::equal(part.begin(), part.end(), bytes.begin() + long(i))) ++n;
    return n;
}

class FrontPanel : public test_support::FirmwareFixture {
  protected:
    void Prepare() override { register_recording_screens(); }
    void SetUp() override {
        FirmwareFixture::SetUp();
        board::uart_attach_peer(1, [](const uint8_t* data, size_t size) {
            std::lock_guard<std::mutex> lock(sent_mutex);
            sent.insert(sent.end(), data, data + size);
        });
        traps.clear();
        set_trap_sink(record_trap);
        CPeripheral* p = nullptr;
        for (int i = 0; i < 20 && !ThePeripheralTask().Registry().Find(70, &p); ++i)
            tx_thread_sleep(1);
        ASSERT_NE(nullptr, p);
        manager = static_cast<CLCD_Manager*>(p);
        // Act between two passes of the task (its passes start at tick 10).
        tx_thread_sleep(35 - tx_time_get() % POLL);
        Sent();
    }
    void TearDown() override {
        set_trap_sink(nullptr);
        board::uart_attach_peer(1, nullptr);
        FirmwareFixture::TearDown();
    }
    // What the sign sent since the last call.
    Bytes Sent() {
        tx_thread_sleep(2); // the UART's last bytes
        std::lock_guard<std::mutex> lock(sent_mutex);
        Bytes out;
        out.swap(sent);
        return out;
    }
    void Polls(int n) { tx_thread_sleep(POLL * ULONG(n)); }
    // The panel's bytes, taken at the next pass.
    void Panel(const Bytes& bytes) {
        host::panel_send(bytes);
        Polls(1);
    }
    // Up and running on the login screen.
    void BringUp() {
        Panel({0xFF, 0xA7});
        Polls(6);
        ASSERT_EQ(MENU_LOGIN, Current());
    }
    int32_t Current() { return manager->CurrentMenu() ? manager->CurrentMenu()->Id() : 0; }
    RecordingScreen& Screen(int32_t id) {
        return *static_cast<RecordingScreen*>(manager->FindMenu(id, nullptr));
    }

    CLCD_Manager* manager = nullptr;
};

const Bytes PROBE = {0xFE, '6'}, KEEP_ALIVE = {0xFE, '@'}, REVISION_REQUEST = {0xFE, '7'},
            STATUS_REQUEST = {0xFE, '9'}, LAMP_ON = {0xFE, 'V'}, LAMP_OFF = {0xFE, 'W'};

TEST_F(FrontPanel, ProbesOnEveryPollUntilThePanelAnswersAndAgainAfterItReinitialises) {
    Polls(2);
    Bytes probing = Sent();
    EXPECT_EQ(2, count_of(probing, PROBE));
    EXPECT_EQ(2, count_of(probing, KEEP_ALIVE));

    Panel({0xFF, 0xA7});
    Polls(1);
    Bytes initialised = Sent();
    EXPECT_EQ(1, count_of(initialised, REVISION_REQUEST));
    EXPECT_EQ(1, count_of(initialised, STATUS_REQUEST));
    EXPECT_EQ(1, count_of(initialised, LAMP_OFF)) << "central control";
    EXPECT_EQ(0, count_of(initialised, PROBE));
    EXPECT_EQ(7, manager->FirstRevision());
    EXPECT_STREQ(" 7", db_get_string(obj::moduleVersion.row(3)));
    EXPECT_STREQ("HFP-240 - CONTROL PANEL", db_get_string(obj::moduleModel.row(3)));

    Polls(6);
    ASSERT_EQ(MENU_LOGIN, Current());
    Panel({0xFF, 0xA7}); // the answer to a revision request: the second revision
    EXPECT_STREQ("7/7", db_get_string(obj::moduleVersion.row(3)));
    Sent();
    Panel({0xFF, 0xB0});
    Polls(19);
    EXPECT_EQ(0, count_of(Sent(), PROBE)) << "the panel is left alone for 20 polls";
    Polls(2);
    EXPECT_GE(count_of(Sent(), PROBE), 1);
    EXPECT_EQ(MENU_SPLASH, Current());
}

TEST_F(FrontPanel, APanelThatNeverAnswersIsInitialisedAfterFourProbesAndMarkedAfterSixtyPolls) {
    TheMonitorTask().SetTraceLevel(1);
    Polls(5);
    Bytes first = Sent();
    EXPECT_EQ(4, count_of(first, PROBE));
    EXPECT_EQ(1, count_of(first, REVISION_REQUEST));
    Polls(5);
    EXPECT_EQ(MENU_LOGIN, Current()) << "splash, then the login screen";
    EXPECT_GE(Screen(MENU_SPLASH).draws[DRAW_PERIODIC], 3);

    Polls(48);
    EXPECT_EQ(CPeripheral::STATE_READING, manager->State());
    EXPECT_EQ(std::string::npos, test_support::ConsoleText().find("Warning: Comm Timeout"));
    Polls(2);
    EXPECT_EQ(CPeripheral::STATE_COMM_ERROR, manager->State());
    Polls(5);
    const std::string& console = test_support::ConsoleText();
    const size_t warning = console.find("Warning: Comm Timeout 70\n");
    EXPECT_NE(std::string::npos, warning);
    EXPECT_EQ(std::string::npos, console.find("Warning: Comm Timeout", warning + 1))
        << "once per outage";

    Panel({0xFF, 0xFF}); // the panel's heartbeat
    EXPECT_EQ(CPeripheral::STATE_VALID, manager->State());
}

TEST_F(FrontPanel, TheModeReportsSwitchControlWithTheirTraps) {
    BringUp();
    Sent();
    Panel({0xFF, 0xB3});
    EXPECT_EQ(1, count_of(Sent(), LAMP_ON));
    EXPECT_EQ(2u, db_get(obj::dmsControlMode));
    Panel({0xFF, 0xB4});
    EXPECT_EQ(4u, db_get(obj::dmsControlMode));
    EXPECT_GE(count_of(Sent(), LAMP_OFF), 1);
    Panel({0xFF, 0xB9});
    EXPECT_EQ(2u, db_get(obj::dmsControlMode));
    Panel({0xFF, 0xB9});
    EXPECT_EQ(4u, db_get(obj::dmsControlMode));
    EXPECT_EQ((std::vector<uint32_t>{14, 13, 14, 13}), traps);
    EXPECT_EQ(MENU_LOGIN, Current()) << "central control logs out";
}

TEST_F(FrontPanel, ThePanelSwitchTrapsOnlyWhenItMovesBetweenKnownPositions) {
    const struct {
        uint8_t report;
        uint8_t indicator;
        std::vector<uint32_t> traps;
    } steps[] = {
        {0xB1, 1, {}}, {0xB1, 1, {}}, {0xB2, 2, {6}}, {0xB2, 2, {6}}, {0xB1, 1, {6, 7}},
    };
    for (const auto& step : steps) {
        Panel({0xFF, step.report});
        EXPECT_EQ(step.indicator, manager->IndicatorState(INDICATOR_PANEL_SWITCH));
        EXPECT_EQ(step.traps, traps) << std::hex << int(step.report);
    }
}

TEST_F(FrontPanel, RightsComeFromTheLoginLevel) {
    db_set(obj::communityNameAccessMask.row(1), 0x00800200, DB_NOTIFY);
    const struct {
        int32_t level;
        uint32_t rights;
    } levels[] = {{0, RIGHTS_ALL}, {1, RIGHTS_ALL},
                  {2, 0x00F80000}, {3, RIGHTS_ALL},
                  {5, 0x00800200}, {103, db_get(obj::communityNameAccessMask.row(99))},
                  {104, 0},        {-1, 0}};
    for (const auto& l : levels)
        EXPECT_EQ(l.rights, CLCD_Manager::RightsOfLevel(l.level)) << l.level;
}

TEST_F(FrontPanel, AMenuWhoseRightsLackOneBitShowsTheRefusalAndEscapeReturnsToTheAsker) {
    BringUp();
    db_set(obj::communityNameAccessMask.row(1), RIGHT_MESSAGE_RUN | RIGHT_PERIPHERALS, DB_NOTIFY);
    ASSERT_TRUE(manager->Login(5));
    Polls(1);
    EXPECT_EQ(MENU_MAIN, Current());
    CMenuItem* main_menu = manager->CurrentMenu();

    EXPECT_TRUE(manager->ActivateMenu(22, main_menu, false)); // run: held
    EXPECT_EQ(22, Current());
    manager->ActivateMenu(MENU_MAIN, manager->CurrentMenu(), false);
    EXPECT_TRUE(manager->ActivateMenu(28, main_menu, false)); // create: not held
    EXPECT_EQ(MENU_INSUFFICIENT_RIGHTS, Current());
    EXPECT_EQ(main_menu, manager->CurrentMenu()->Parent());
    EXPECT_EQ(0, Screen(28).enters);

    Screen(MENU_MAIN).keys.clear();
    Panel({0x00}); // Escape
    EXPECT_EQ(MENU_MAIN, Current());
    ASSERT_FALSE(Screen(MENU_MAIN).keys.empty());
    EXPECT_EQ(key_event(KEY_REENTRY), Screen(MENU_MAIN).keys.back()) << "re-entered, not entered";
}

TEST_F(FrontPanel, IdZeroWithoutAParentLogsAndChangesNothing) {
    BringUp();
    CMenuItem* login = manager->CurrentMenu();
    ASSERT_EQ(nullptr, login->Parent());
    test_support::ClearConsole();
    EXPECT_FALSE(manager->ActivateMenu(MENU_PARENT, login, false));
    EXPECT_EQ(login, manager->CurrentMenu());
    EXPECT_NE(std::string::npos,
              test_support::ConsoleText().find("failed to find the desired menu:0!"));
    EXPECT_FALSE(manager->ActivateMenu(-5, login, false));
    EXPECT_EQ(login, manager->CurrentMenu());
}

TEST_F(FrontPanel, TheTableBuildsEveryMenuAndWiresItsTree) {
    EXPECT_EQ(MENU_TABLE_COUNT, manager->MenuCount());
    EXPECT_EQ(manager->FindMenu(MENU_SPLASH, nullptr), manager->StartMenu());
    // The later of two containers listing a child is its parent.
    EXPECT_EQ(129, manager->FindMenu(130, nullptr)->Parent()->Id());
    EXPECT_EQ(138, manager->FindMenu(10, nullptr)->Parent()->Id());
    EXPECT_EQ(151, manager->FindMenu(186, nullptr)->Parent()->Id());
    EXPECT_EQ(33, manager->FindMenu(33, nullptr)->Parent()->Id());
    EXPECT_EQ(25, manager->FindMenu(26, nullptr)->Parent()->Id());
    EXPECT_EQ(std::string("** WELCOME TO THE MAIN MENU **"),
              manager->FindMenu(MENU_MAIN, nullptr)->Title(false));
    EXPECT_EQ(std::string("PREVIEW A MESSAGE"), manager->FindMenu(29, nullptr)->Title(true))
        << "no French title: the English one";
    EXPECT_EQ(uint8_t(4), manager->FindMenu(97, nullptr)->RefreshPeriod());

    // Run options take whoever asks as their parent.
    manager->Login(0);
    CMenuItem* run = manager->FindMenu(22, nullptr);
    manager->ActivateMenu(MENU_RUN_OPTIONS, run, false);
    EXPECT_EQ(run, manager->FindMenu(MENU_RUN_OPTIONS, nullptr)->Parent());
    manager->ActivateMenu(33, manager->CurrentMenu(), false);
    manager->ActivateMenu(MENU_PARENT, manager->CurrentMenu(), true);
    EXPECT_EQ(33, Current()) << "its own parent";
}

TEST_F(FrontPanel, KeypadKeysWalkTheirLettersOnlyInATextField) {
    BringUp();
    manager->Login(0);
    Polls(1);
    RecordingScreen& screen = Screen(MENU_MAIN);
    const uint16_t TWO = 0x07, RIGHT = 0x0C;

    screen.keys.clear();
    Panel({TWO, TWO, TWO}); // a number field: the index stays
    EXPECT_EQ((std::vector<uint16_t>{key_event('2', KEY_EVENT_KEYPAD),
                                     key_event('2', KEY_EVENT_KEYPAD | KEY_EVENT_MULTITAP),
                                     key_event('2', KEY_EVENT_KEYPAD | KEY_EVENT_MULTITAP)}),
              screen.keys);

    screen.walks_letters = true;
    screen.keys.clear();
    Panel({RIGHT, TWO, TWO, TWO, RIGHT, TWO});
    EXPECT_EQ((std::vector<uint16_t>{
                  key_event('2', KEY_EVENT_KEYPAD), key_event('A', KEY_EVENT_MULTITAP),
                  key_event('B', KEY_EVENT_MULTITAP), key_event('2', KEY_EVENT_KEYPAD)}),
              screen.keys)
        << "Right only ends the walk";

    screen.keys.clear();
    Panel(Bytes(11, 0x09)); // the 9 key: ten entries, then round again
    ASSERT_EQ(11u, screen.keys.size());
    EXPECT_EQ(key_event('z', KEY_EVENT_MULTITAP), screen.keys[9]);
    EXPECT_EQ(key_event('9', KEY_EVENT_KEYPAD | KEY_EVENT_MULTITAP), screen.keys[10]);

    manager->right_is_navigation = 1;
    screen.keys.clear();
    Panel({RIGHT, RIGHT});
    EXPECT_EQ((std::vector<uint16_t>{key_event(KEY_RIGHT, KEY_EVENT_KEYPAD),
                                     key_event(KEY_RIGHT, KEY_EVENT_KEYPAD)}),
              screen.keys)
        << "a navigation key never carries the multi-tap bit";
}

// A keyboard key through the panel: lock state, make, break, end.
Bytes keyboard_key(uint8_t lock, uint8_t scan) {
    return field::panel_keyboard_key(lock, scan);
}
const uint8_t CTRL = 0x01;

TEST_F(FrontPanel, FunctionKeysOpenTheirMenusWithinTheUsersRights) {
    BringUp();
    manager->Login(2);
    Polls(1);
    Screen(MENU_MAIN).handles = false;
    field::Ps2Key f9;
    ASSERT_TRUE(field::ps2_function_key(9, f9));
    Panel(keyboard_key(CTRL, f9.scan));
    EXPECT_EQ(MENU_MAIN, Current()) << "Ctrl+F9 does nothing";
    Panel(keyboard_key(0, f9.scan));
    EXPECT_EQ(MENU_DIAGNOSTICS, Current());

    Screen(MENU_DIAGNOSTICS).handles = false;
    field::Ps2Key f10;
    ASSERT_TRUE(field::ps2_function_key(10, f10));
    Panel(keyboard_key(0, f10.scan));
    EXPECT_EQ(MENU_CONFIGURATION, Current()) << "a container needs no rights of its own";
    Screen(MENU_CONFIGURATION).handles = false;
    field::Ps2Key f3;
    ASSERT_TRUE(field::ps2_function_key(3, f3));
    Panel(keyboard_key(0, f3.scan));
    EXPECT_EQ(27, Current()) << "blank display: level 2 may run messages";
}

TEST_F(FrontPanel, ReportsResumeWhereTheyStopped) {
    BringUp();
    manager->Login(0);
    Polls(1);
    RecordingScreen& screen = Screen(MENU_MAIN);
    screen.keys.clear();

    host::panel_send({0xFF});
    Polls(1);
    Panel({0xB3}); // the report's second byte in the next poll
    EXPECT_EQ(2u, db_get(obj::dmsControlMode));

    manager->Login(0);
    Polls(1);
    Screen(MENU_MAIN).keys.clear();
    field::Ps2Key a;
    ASSERT_TRUE(field::ps2_key_for_character('a', a));
    // A report in the middle of a keyboard packet; the packet goes on.
    Panel({0xFF, 0xBD, 0x00, a.scan, 0xFF, 0xB4, 0xF0, a.scan, 0xED});
    EXPECT_EQ(4u, db_get(obj::dmsControlMode));
    EXPECT_EQ(MENU_LOGIN, Current());

    RecordingScreen& login = Screen(MENU_LOGIN);
    login.keys.clear();
    Panel({0xFF, 0x42, 0x03, 0xFF, 0xFF, 0x03}); // unknown reports, each followed by a key
    EXPECT_EQ((std::vector<uint16_t>{key_event('1', KEY_EVENT_KEYPAD),
                                     key_event('1', KEY_EVENT_KEYPAD | KEY_EVENT_MULTITAP)}),
              login.keys);
}

std::vector<std::vector<uint32_t>> frames;
void record_frame(uint32_t identifier, uint8_t length, const uint8_t* data) {
    std::vector<uint32_t> frame = {identifier, length};
    for (uint8_t i = 0; i < length; ++i)
        frame.push_back(data[i]);
    frames.push_back(frame);
}

TEST_F(FrontPanel, TunnelledFramesReachTheTunnelAndOversizedOnesAreDropped) {
    BringUp();
    frames.clear();
    CLCD_Manager::SetCanFrameHandler(record_frame);
    RecordingScreen& login = Screen(MENU_LOGIN);
    login.keys.clear();

    // Standard identifier 0x123: SIDH 0x24, SIDL 0x60; two data bytes, the
    // second an escaped 0xFE.
    Panel({0xFF, 0xB8, 0x24, 0x60, 0x02, 0x11, 0xFE, 0xDE});
    // Extended identifier 0x42180: SIDH, SIDL with bit 3, EID8, EID0; none.
    Panel({0xFF, 0xB8, 0x00, 0x08 | 0x02, 0x10, 0x80, 0x00, 0x55});
    // Fifteen data bytes announced: read to the end and dropped; the key
    // after it is a key again.
    Bytes oversized = {0xFF, 0xB8, 0x24, 0x60, 15};
    oversized.insert(oversized.end(), 15, 0x03);
    oversized.push_back(0x03);
    Panel(oversized);

    ASSERT_EQ(2u, frames.size());
    EXPECT_EQ((std::vector<uint32_t>{0x123, 2, 0x11, 0xFE}), frames[0]);
    EXPECT_EQ((std::vector<uint32_t>{0x10840, 0}), frames[1]) << "length 0: the next byte ends it";
    EXPECT_EQ(1u, login.keys.size()) << "only the key after the dropped frame";
    CLCD_Manager::SetCanFrameHandler(nullptr);
}

TEST_F(FrontPanel, InactivityLogsOutAfterTwiceTheSettingInPollsAndZeroNever) {
    BringUp();
    db_set(obj::fdotObj11_11, 10, DB_NOTIFY);
    manager->Login(0);
    Polls(19);
    EXPECT_TRUE(manager->LoggedIn());
    Polls(2);
    EXPECT_FALSE(manager->LoggedIn());
    EXPECT_EQ(MENU_LOGIN, Current());

    db_set(obj::fdotObj11_11, 0, DB_NOTIFY);
    manager->Login(0);
    Polls(40);
    EXPECT_TRUE(manager->LoggedIn());

    // Long settings count in full: none wraps to a short time or to never.
    for (uint32_t seconds : {32768u, 32773u, 65535u}) {
        db_set(obj::fdotObj11_11, seconds, DB_NOTIFY);
        manager->Login(0);
        EXPECT_EQ(2 * seconds, manager->InactivityCountdown()) << seconds;
        Polls(15);
        EXPECT_TRUE(manager->LoggedIn()) << seconds;
    }
}

TEST_F(FrontPanel, CommunicationActivityAndTheLinkLightTheirIndicators) {
    BringUp();
    Sent();
    front_panel_notify_comm_activity();
    Polls(1);
    EXPECT_EQ(1, count_of(Sent(), {0xFE, 'Y'}));
    front_panel_set_indicator(FRONT_PANEL_ETHERNET_INDICATOR, ETHERNET_LINK_UP);
    EXPECT_EQ(1u, manager->IndicatorState(INDICATOR_ETHERNET));
    Polls(4);
    EXPECT_EQ(5u, manager->IndicatorState(INDICATOR_ACTIVITY)) << "the arrows went idle";

    // A connected modem's lock stays until the modem is idle.
    manager->SetIndicator(INDICATOR_MODEM_LINK, 3);
    manager->SetIndicator(INDICATOR_MODEM_LINK, 4);
    EXPECT_EQ(3u, manager->IndicatorState(INDICATOR_MODEM_LINK));
    manager->SetIndicator(INDICATOR_MODEM_LINK, 1);
    EXPECT_EQ(1u, manager->IndicatorState(INDICATOR_MODEM_LINK));
}

TEST_F(FrontPanel, ThePowerIndicatorBlinksOnLetterAndFollowsThePowerSource) {
    BringUp();
    letter_s blink(LETTER_FORWARD_TO_PERIPHERAL);
    blink.count = 2;
    blink.put_u32(0, 70);
    blink.put_u32(4, 2);
    manager->ForwardLetter(blink);
    std::set<uint8_t> seen;
    for (int i = 0; i < 10; ++i) {
        Polls(1);
        seen.insert(manager->IndicatorState(INDICATOR_POWER));
    }
    EXPECT_EQ(1u, seen.count(2));
    EXPECT_EQ(1u, seen.count(7)) << "blank every other half period";
    blink.put_u32(4, 3);
    manager->ForwardLetter(blink);
    Polls(1);
    EXPECT_EQ(db_get(obj::powerSource) == 4 ? 1u : 2u, manager->IndicatorState(INDICATOR_POWER));
}

TEST_F(FrontPanel, ACentralControlModeWrittenElsewhereEndsALogin) {
    BringUp();
    db_set(obj::dmsControlMode, 2, DB_NOTIFY | DB_NO_VALIDATE);
    manager->Login(0);
    Polls(2);
    EXPECT_TRUE(manager->LoggedIn()) << "local control keeps the user";
    db_set(obj::dmsControlMode, 4, DB_NOTIFY | DB_NO_VALIDATE);
    Polls(2);
    EXPECT_FALSE(manager->LoggedIn());
    EXPECT_EQ(MENU_LOGIN, Current());
}

TEST_F(FrontPanel, TheCursorIsAnUnderlineMovedByEraseAndDrawAndScreensRefreshByTheirPeriod) {
    BringUp();
    manager->Login(0);
    Polls(1);
    Sent();
    manager->SetCursor(true, 2, 3);
    Polls(1);
    // Colour 0xFF travels escaped (FF DF) to a revision-7 panel.
    EXPECT_EQ(1, count_of(Sent(), {0xFE, 'x', 0xFF, 0xDF, 12, 15, 17, 16}));
    manager->SetCursor(true, 8, 1);
    Polls(1);
    Bytes moved = Sent();
    EXPECT_EQ(1, count_of(moved, {0xFE, 'x', 0x00, 12, 15, 17, 16})) << "erased";
    EXPECT_EQ(1, count_of(moved, {0xFE, 'x', 0xFF, 0xDF, 0, 63, 5, 64})) << "drawn";
    Polls(2);
    EXPECT_EQ(0, count_of(Sent(), {0xFE, 'x'})) << "unchanged: not drawn again";

    // Menu 97's refresh period 4: a partial redraw every fifth poll.
    RecordingScreen& port = Screen(97);
    manager->ActivateMenu(97, manager->CurrentMenu(), false);
    Polls(1);
    const int before = port.draws[DRAW_PARTIAL];
    Polls(10);
    EXPECT_EQ(before + 2, port.draws[DRAW_PARTIAL]);
    EXPECT_GE(port.draws[DRAW_PERIODIC], 7);
}

} // namespace
