// The message screens driven from the panel's keypad: the list, run options,
// run duration, blank, delete and the schedule, each checked in the panel's
// activation request row, the sign picture and the MIB.
#include "display/display_entries.h"
#include "display/message_codes.h"
#include "display/message_rows.h"
#include "frontpanel/lcd.h"
#include "frontpanel/manager.h"
#include "frontpanel/screens/messages.h"
#include "platform/field/field.h"
#include "platform/field/panel_lcd.h"
#include "runtime/os.h"
#include "runtime/pools.h"
#include "runtime/post_office.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/comm/agent_net_util.h"
#include "tests/comm/agent_test_util.h"
#include "tests/frontpanel/panel_navigation.h"
#include "tests/support/png_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using test_support::PanelSession;
using Bytes = std::vector<uint8_t>;

const uint8_t KEY_1 = 0x03; // the keypad's "1" key
const uint8_t KEY_7 = 0x01; // the keypad's "7" key
const uint8_t PANEL_ROW = 6;

Bytes stored_bytes(const DbObject& object) {
    uint8_t bytes[64] = {};
    uint32_t length = db_get_string_copy(object, bytes, sizeof bytes);
    return Bytes(bytes, bytes + length);
}

Bytes request_code() {
    return stored_bytes(obj::activationRequestCode.row(PANEL_ROW));
}

Bytes code_of(uint16_t duration, uint8_t type, uint16_t number, uint16_t crc) {
    return {uint8_t(duration >> 8),
            uint8_t(duration),
            0xFF,
            type,
            uint8_t(number >> 8),
            uint8_t(number),
            uint8_t(crc >> 8),
            uint8_t(crc),
            0,
            0,
            0,
            0};
}

// dmsMsgTableSource as a central system reads it over SNMP.
Bytes table_source_over_snmp() {
    agent_test::CapturingAgent agent;
    auto pdu = agent.AskPdu(agent_test::request(0xA0, agent_test::ADMIN,
                                                {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 6, 5, 0}, 1));
    if (!pdu || pdu->error_status != 0) return {};
    const snmp_varbind& varbind = pdu->varbinds[0];
    return Bytes(varbind.value, varbind.value + varbind.value_length);
}

// Row 6 of the activation requests as it stood each time its code was written
// with notification, the write that wakes the display: a thread above the
// peripheral task's takes the snapshot as the letter is posted, before the
// display can act on the request or answer in the row.
struct row_snapshot {
    uint32_t state;
    uint32_t source;
    Bytes code;
    bool operator==(const row_snapshot& o) const {
        return state == o.state && source == o.source && code == o.code;
    }
};

std::ostream& operator<<(std::ostream& out, const row_snapshot& s) {
    out << "{state " << s.state << ", source " << s.source << ", code";
    for (uint8_t byte : s.code)
        out << ' ' << std::hex << int(byte) << std::dec;
    return out << '}';
}

class RequestWatch {
  public:
    static constexpr UINT PRIORITY = 1; // above the peripheral task (2)

    RequestWatch() : mail_(the_post_office(), &group_, 0x1, &thread_) {
        static const uint32_t codes[] = {LETTER_ACTIVATION_REQUEST, 0};
        active_ = this;
        os_event_flags_create(&group_, "request watch");
        EXPECT_EQ(1, mail_.attach(codes));
        void* stack = nullptr;
        EXPECT_EQ(OS_OK, os_byte_allocate(&thread_stack_pool(), &stack, STACK, OS_NO_WAIT));
        EXPECT_EQ(TX_SUCCESS, tx_thread_create(&thread_, "request watch", Entry, 0, stack, STACK,
                                               PRIORITY, PRIORITY, 0, TX_AUTO_START));
        tx_thread_sleep(1);
    }
    ~RequestWatch() {
        tx_thread_terminate(&thread_);
        mail_.detach();
        active_ = nullptr;
    }
    std::vector<row_snapshot> seen;

  private:
    static constexpr ULONG STACK = 8192;
    static void Entry(ULONG) {
        for (;;) {
            ULONG actual = 0;
            tx_event_flags_get(&active_->group_, 0x1, TX_OR_CLEAR, &actual, TX_WAIT_FOREVER);
            letter_s* letter = nullptr;
            while (active_->mail_.receive(&letter)) {
                active_->seen.push_back({db_get(obj::activationRequestState.row(PANEL_ROW)),
                                         db_get(obj::activationRequestSource.row(PANEL_ROW)),
                                         request_code()});
                active_->mail_.release(letter);
            }
        }
    }
    static RequestWatch* active_;
    TX_EVENT_FLAGS_GROUP group_{};
    TX_THREAD thread_{};
    subscriber mail_;
};
RequestWatch* RequestWatch::active_ = nullptr;

// The panel's request as the display finds it: state 2 (local), source 2.
row_snapshot panel_request(uint16_t duration, uint8_t type, uint16_t number, uint16_t crc) {
    return {2, 2, code_of(duration, type, number, crc)};
}

class MessageScreens : public test_support::PanelNavigation {
  protected:
    // A changeable-column row stored and validated as a central system does.
    void Store(unsigned row, const std::string& multi) {
        DbObject status = obj::changeableMsgStatus.row(row);
        db_set(status, MSG_STATUS_MODIFY_REQ, DB_NOTIFY);
        validate_message();
        db_set_string(obj::changeableMsgMultiString.row(row), multi.data(), uint32_t(multi.size()),
                      DB_NOTIFY);
        db_set(status, MSG_STATUS_VALIDATE_REQ, DB_NOTIFY);
        validate_message();
        ASSERT_EQ(uint32_t(MSG_STATUS_VALID), db_get(status)) << multi;
    }
    // A row the list should see as valid, written straight into the store.
    void Place(unsigned row, const std::string& multi) {
        db_set_string(obj::changeableMsgMultiString.row(row), multi.data(), uint32_t(multi.size()),
                      DB_NO_VALIDATE);
        db_set(obj::changeableMsgStatus.row(row), MSG_STATUS_VALID, DB_NO_VALIDATE);
    }
    uint16_t Crc(unsigned row) { return uint16_t(db_get(obj::changeableMsgCRC.row(row))); }
    // Logged in at the main menu.
    void AtMainMenu() {
        LogIn("1234");
        ASSERT_TRUE(Shows(1, "MAIN MENU"));
    }
    void Keys(const Bytes& keys) {
        for (uint8_t key : keys)
            Panel().Send({key});
    }
    void OpenMessageList(const char* title) {
        AtMainMenu();
        OpenPath({"MESSAGE CONTROL", title});
        ASSERT_TRUE(Shows(1, title)) << Screen();
    }
    // A character typed on the panel's PS/2 keyboard (Shift for capitals).
    void Type(char c) {
        field::Ps2Key key{};
        ASSERT_TRUE(field::ps2_key_for_character(c, key)) << c;
        Panel().Send(field::panel_keyboard_key(key.shift ? SHIFT : 0, key.scan, key.extended));
    }
    static constexpr uint8_t SHIFT = 0x04;
};

TEST_F(MessageScreens, RunContinuousFromTheKeypadRequestsTheMessageLikeACentralOne) {
    Store(6, "HELLO");
    AtMainMenu();
    EXPECT_TRUE(SignPicture().Dark());

    Keys({KEY_1, KEY_1, KEY_7, field::PANEL_KEY_ENTER});
    ASSERT_TRUE(Shows(1, "RUN MESSAGE OPTIONS")) << Screen();
    // State and source are in the row before the code that wakes the
    // display is written, and the code is written once.
    db_set(obj::activationRequestState.row(PANEL_ROW), 1, DB_NO_VALIDATE);
    db_set(obj::activationRequestSource.row(PANEL_ROW), 6, DB_NO_VALIDATE);
    RequestWatch watch;
    Keys({KEY_1});
    EXPECT_EQ(std::vector<row_snapshot>{panel_request(65535, 3, 7, Crc(6))}, watch.seen);
    EXPECT_EQ(2u, db_get(obj::activationRequestState.row(PANEL_ROW)));
    EXPECT_EQ(2u, db_get(obj::activationRequestSource.row(PANEL_ROW)));
    EXPECT_EQ(code_of(65535, 3, 7, Crc(6)), request_code());
    EXPECT_TRUE(Shows(1, "MESSAGE CONTROL"));

    EXPECT_FALSE(SignPicture().Dark());
    const Bytes source = {3, 0, 7, uint8_t(Crc(6) >> 8), uint8_t(Crc(6))};
    EXPECT_EQ(source, table_source_over_snmp());

    // The home screen's status line names the message and its source.
    PanelSession::Manager()->Logout();
    PanelSession::Manager()->ActivateMenu(MENU_LOGIN, nullptr, false);
    std::string seen;
    for (int poll = 0; poll < 50; ++poll, PanelSession::Polls(1))
        seen += Panel().Row(7) + "|";
    EXPECT_NE(std::string::npos, seen.find("MSG:CHANGEABLE 7")) << seen;
    EXPECT_NE(std::string::npos, seen.find(" SRC:LOCAL")) << seen;
}

TEST_F(MessageScreens, RunDurationTakesOneToNineThousandNineHundredNinetyNineMinutes) {
    Store(6, "HELLO");
    OpenMessageList("RUN SAVED MESSAGE");
    Digits("7", true);
    Keys({0x05 /* 8: no option */, 0x07 /* 2: duration */});
    ASSERT_TRUE(Shows(1, "RUN MESSAGE DURATION")) << Screen();
    const Bytes before = request_code();
    Panel().Send({field::PANEL_KEY_ENTER});
    EXPECT_TRUE(Shows(1, "RUN MESSAGE DURATION")) << "0 minutes is refused";
    EXPECT_EQ(before, request_code());

    Digits("15");
    EXPECT_TRUE(Shows(4, "DURATION: 15"));
    Panel().Send({field::PANEL_KEY_ENTER});
    EXPECT_EQ(code_of(15, 3, 7, Crc(6)), request_code());
    EXPECT_TRUE(Shows(1, "MESSAGE CONTROL"));
}

TEST_F(MessageScreens, BlankDarkensTheSignWithABlankRequest) {
    Store(6, "HELLO");
    OpenMessageList("RUN SAVED MESSAGE");
    Digits("7", true);
    Keys({KEY_1});
    EXPECT_FALSE(SignPicture().Dark());

    // 03 0B 03 from the main menu: message control, blank display, confirm.
    Panel().Send({field::PANEL_KEY_ESCAPE});
    ASSERT_TRUE(Shows(1, "MAIN MENU")) << Screen();
    Keys({KEY_1, 0x0B});
    ASSERT_TRUE(Shows(1, "BLANK DISPLAY")) << Screen();
    EXPECT_TRUE(Shows(2, "1) CONFIRM"));
    Keys({KEY_1});
    EXPECT_EQ(code_of(65535, 7, 1, 0), request_code());
    EXPECT_TRUE(SignPicture().Dark());
}

TEST_F(MessageScreens, DeletingTheRunningMessageFreesItsRowAndBlanksTheSign) {
    Store(6, "HELLO");
    Store(7, "OTHER");
    OpenMessageList("RUN SAVED MESSAGE");
    Digits("7", true);
    Keys({KEY_1});

    Open("DELETE MESSAGE");
    Digits("7", true);
    ASSERT_TRUE(Shows(1, "DELETE CONFIRMATION")) << Screen();
    EXPECT_TRUE(Shows(2, "1) DELETE MESSAGE 7"));
    EXPECT_TRUE(Shows(6, "MESSAGE IS RUNNING"));
    Keys({KEY_1});
    EXPECT_TRUE(Shows(1, "MESSAGE CONTROL"));
    tx_thread_sleep(100);
    EXPECT_EQ(uint32_t(MSG_STATUS_NOT_USED), db_get(obj::changeableMsgStatus.row(6)));
    EXPECT_EQ(code_of(65535, 7, 1, 0), request_code());
    EXPECT_EQ(uint32_t(MSG_STATUS_VALID), db_get(obj::changeableMsgStatus.row(7)));

    // Escape (or 2) keeps the message.
    Open("DELETE MESSAGE");
    Digits("8", true);
    ASSERT_TRUE(Shows(1, "DELETE CONFIRMATION"));
    EXPECT_FALSE(Shows(6, "MESSAGE IS RUNNING"));
    Panel().Send({field::PANEL_KEY_ESCAPE});
    tx_thread_sleep(100);
    EXPECT_EQ(uint32_t(MSG_STATUS_VALID), db_get(obj::changeableMsgStatus.row(7)));
}

TEST_F(MessageScreens, TheScheduleIsStartedOnlyWhileItDoesNotDriveTheSign) {
    AtMainMenu();
    db_set(obj::dmsMsgSourceMode, 9, DB_NO_VALIDATE);
    OpenPath({"MESSAGE CONTROL", "QUICK SCHEDULE"});
    EXPECT_TRUE(Shows(2, "1) STOP SCHEDULE")) << Screen();
    EXPECT_FALSE(Shows(3, "START SCHEDULE"));

    Panel().Send({field::PANEL_KEY_ESCAPE});
    db_set(obj::dmsMsgSourceMode, 2, DB_NO_VALIDATE);
    Open("QUICK SCHEDULE");
    Open("START SCHEDULE");
    Open("CANCEL");
    EXPECT_NE(code_of(65535, 6, 1, 0), request_code());
    // The display takes the schedule's request within the same poll and
    // answers in the row itself: the request is seen in the manager's record
    // and in the row as the confirmation wrote it.
    const Bytes idle(12, 0);
    db_set_string(obj::activationRequestCode.row(PANEL_ROW), idle.data(), 12, 0);
    Open("START SCHEDULE");
    RequestWatch watch;
    Open("CONFIRM");
    EXPECT_EQ(6u, PanelSession::Manager()->pending_kind);
    EXPECT_EQ(1u, PanelSession::Manager()->pending_number);
    EXPECT_NE(idle, request_code());
    ASSERT_FALSE(watch.seen.empty());
    EXPECT_EQ(panel_request(65535, 6, 1, 0), watch.seen.front());
}

TEST_F(MessageScreens, ListNumbersAboveFiveHundredArePermanentMessages) {
    Store(3, "ALPHA");
    Place(500, "PERMANENT THREE");
    OpenMessageList("RUN SAVED MESSAGE");
    EXPECT_TRUE(Shows(2, " 004) ALPHA"));
    EXPECT_TRUE(Shows(3, " 501) PERMANENT THREE"));
    Digits("501", true);
    ASSERT_TRUE(Shows(1, "RUN MESSAGE OPTIONS")) << Screen();
    Keys({KEY_1});
    EXPECT_EQ(code_of(65535, 2, 3, Crc(500)), request_code());

    // The delete list offers changeable messages only.
    Open("DELETE MESSAGE");
    EXPECT_TRUE(Shows(2, " 004) ALPHA"));
    EXPECT_FALSE(Shows(3, "501)"));
}

// A number that names no listed message is refused on the screen and asks
// nothing of the sign, whether typed with Enter or left to take effect.
TEST_F(MessageScreens, ANumberThatIsNotListedIsRefusedAndNothingIsRequested) {
    Store(6, "HELLO");
    OpenMessageList("RUN SAVED MESSAGE");
    const Bytes before = request_code();
    for (const char* typed : {"9", "0", "550"}) {
        Digits(typed, true);
        EXPECT_TRUE(Shows(8, "NOT IN THE LIST")) << typed;
        EXPECT_TRUE(Shows(1, "RUN SAVED MESSAGE")) << typed;
        PanelSession::Polls(5);
        for (int i = 0; i < 3; ++i)
            Panel().Send({field::PANEL_KEY_LEFT});
    }
    EXPECT_EQ(before, request_code());
}

TEST_F(MessageScreens, MessagesWithAMakerGraphicAreLeftOutOnCharacterMatrixSigns) {
    Place(0, "AAA[ms11,g,1]");
    Place(1, "BBB");
    struct sign_case {
        uint32_t type;
        bool listed;
    } cases[] = {{4, false}, {132, false}, {6, true}};
    AtMainMenu();
    for (const sign_case& c : cases) {
        db_set(obj::dmsSignType, c.type, DB_NO_VALIDATE);
        OpenPath({"MESSAGE CONTROL", "RUN SAVED MESSAGE"});
        EXPECT_TRUE(Shows(1, "RUN SAVED MESSAGE"));
        EXPECT_TRUE(Shows(c.listed ? 3 : 2, " 002) BBB")) << c.type << Screen();
        EXPECT_EQ(c.listed, Screen().find(" 001) ") != std::string::npos) << c.type << Screen();
        Panel().Send({field::PANEL_KEY_ESCAPE});
        Panel().Send({field::PANEL_KEY_ESCAPE});
    }
}

TEST_F(MessageScreens, TheListIsSortedPagedAndJumpsToATypedNumberOrALetter) {
    const char* texts[] = {"GOLF",  "ECHO",    "ALPHA", "DELTA",
                           "HOTEL", "CHARLIE", "BRAVO", "FOXTROT"};
    for (unsigned row = 0; row < 8; ++row)
        Place(row * 2, texts[row]);
    OpenMessageList("RUN SAVED MESSAGE");
    EXPECT_TRUE(Shows(2, " 005) ALPHA"));
    EXPECT_TRUE(Shows(7, " 015) FOXTROT"));
    // A typed number takes effect after three redraws: its page, marked.
    Digits("9");
    PanelSession::Polls(4);
    EXPECT_TRUE(Shows(3, "*009) HOTEL")) << Screen();
    Panel().Send({field::PANEL_KEY_UP});
    EXPECT_TRUE(Shows(2, " 005) ALPHA"));
    Panel().Send({field::PANEL_KEY_DOWN});
    EXPECT_TRUE(Shows(2, " 001) GOLF")) << Screen();
}

// Creating a message while every changeable row is in use (key 4 of the
// message control, or F4) says so and offers the delete list; once a row is
// free, creating takes it.
TEST_F(MessageScreens, WithEveryRowInUseCreatingAMessageOffersTheDeleteList) {
    for (unsigned row = 0; row < 500; ++row)
        db_set(obj::changeableMsgStatus.row(row), MSG_STATUS_VALID, DB_NO_VALIDATE);
    Place(6, "HELLO");
    AtMainMenu();
    Open("MESSAGE CONTROL");
    Digits("4");
    ASSERT_TRUE(Shows(1, "NO FREE MESSAGE SLOT")) << Screen();
    EXPECT_TRUE(Shows(2, "1) DELETE A MESSAGE"));
    EXPECT_TRUE(Shows(3, "2) GO BACK"));
    EXPECT_TRUE(Shows(5, "ALL 500 MESSAGES ARE IN USE"));
    Digits("2");
    ASSERT_TRUE(Shows(1, "MESSAGE CONTROL")) << "back to the screen that asked" << Screen();

    Panel().FunctionKey(4);
    ASSERT_TRUE(Shows(1, "NO FREE MESSAGE SLOT")) << Screen();
    Digits("1");
    ASSERT_TRUE(Shows(1, "DELETE MESSAGE")) << Screen();
    Digits("7", true);
    Digits("1");
    ASSERT_TRUE(Shows(1, "MESSAGE CONTROL")) << Screen();
    tx_thread_sleep(100);
    ASSERT_EQ(uint32_t(MSG_STATUS_NOT_USED), db_get(obj::changeableMsgStatus.row(6)));
    Digits("4");
    EXPECT_FALSE(Panel().WaitForRow(1, "NO FREE MESSAGE SLOT", 2)) << Screen();
    EXPECT_EQ(7u, PanelSession::Manager()->editor.save_slot);
}

// A letter shows the page of the first message, in the list's order, whose
// readable text (tags left out) begins with it in either case; the typed
// number stays the one Enter runs.
TEST_F(MessageScreens, ALetterJumpsToThePageOfTheFirstMessageThatBeginsWithIt) {
    const char* texts[] = {"GOLF",     "[jl3]echo", "ALPHA", "DELTA",  "HOTEL",
                           "[fo1]hat", "CHARLIE",   "BRAVO", "FOXTROT"};
    for (unsigned row = 0; row < 9; ++row)
        Place(row, texts[row]);
    // Sorted: ALPHA BRAVO CHARLIE DELTA echo FOXTROT | GOLF hat HOTEL.
    OpenMessageList("RUN SAVED MESSAGE");
    Digits("4");
    PanelSession::Polls(4);
    ASSERT_TRUE(Shows(5, "*004) DELTA")) << Screen();
    struct letter_case {
        char typed;
        int row;
        const char* shown; // the page's row that shows where the list went
    } cases[] = {
        {'h', 3, " 006) hat"},  {'A', 2, " 003) ALPHA"}, {'H', 3, " 006) hat"},
        {'e', 6, " 002) echo"}, {'z', 6, " 002) echo"}, // no such message: the page stays
        {'g', 2, " 001) GOLF"},
    };
    for (const letter_case& c : cases) {
        Type(c.typed);
        EXPECT_TRUE(Shows(c.row, c.shown)) << c.typed << Screen();
    }
    EXPECT_TRUE(Shows(8, "RUN: 4 ")) << Screen();
    Panel().Send({field::PANEL_KEY_ENTER});
    ASSERT_TRUE(Shows(1, "RUN MESSAGE OPTIONS")) << Screen();
    Keys({KEY_1});
    EXPECT_EQ(code_of(65535, 3, 4, Crc(3)), request_code());
}

TEST_F(MessageScreens, APreviewShowsTheMessagePageByPageWithTheFailedPixelsMarked) {
    Store(0, "AAA[np]BBB");
    db_set(obj::dmsPixelFailureTestRows, 1, DB_NO_VALIDATE);
    db_set(obj::pixelFailureXLocation.row(500), 5, DB_NO_VALIDATE);
    db_set(obj::pixelFailureYLocation.row(500), 3, DB_NO_VALIDATE);
    const uint32_t rows = db_get(obj::vmsSignHeightPixels);
    const uint32_t columns = db_get(obj::vmsSignWidthPixels);
    ASSERT_LT(columns, 240u);
    const uint8_t left = uint8_t((240 - columns) / 2), top = uint8_t((64 - rows) / 2);

    OpenMessageList("PREVIEW A MESSAGE");
    Digits("1", true);
    ASSERT_TRUE(Shows(1, "PREVIEW MESSAGE FRAME 1/2")) << Screen();
    auto panel_picture = [this] {
        PanelSession::Polls(1);
        EXPECT_TRUE(host::panel_picture_flush());
        test_support::Picture picture;
        EXPECT_TRUE(test_support::ReadPng(StateDir() + "/panel.png", picture));
        return picture.rgb;
    };
    const auto first = panel_picture();
    // The screen's own redraws mark the failed pixel: cleared, then set.
    Panel().ClearSent();
    PanelSession::Polls(15);
    const Bytes marked = {0xFE, 'p', uint8_t(left + 4), uint8_t(top + 2)};
    EXPECT_TRUE(Panel().SentContains(marked));
    EXPECT_TRUE(Panel().SentContains({0xFE, 'c', 0x00}));
    EXPECT_TRUE(Panel().SentContains({0xFE, 'c', LCD_ESCAPE, 0xFF ^ LCD_ESCAPE_XOR}));

    Panel().Send({field::PANEL_KEY_DOWN});
    ASSERT_TRUE(Shows(1, "PREVIEW MESSAGE FRAME 2/2")) << Screen();
    EXPECT_NE(first, panel_picture());
    Panel().Send({field::PANEL_KEY_ENTER});
    EXPECT_TRUE(Shows(1, "MESSAGE CONTROL"));
}

} // namespace
