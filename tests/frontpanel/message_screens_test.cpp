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
    test_support::Picture SignPicture() {
        tx_thread_sleep(200);
        EXPECT_TRUE(host::sign_picture_flush());
        test_support::Picture picture;
        EXPECT_TRUE(test_support::ReadPng(StateDir() + "/sign.png", picture));
        return picture;
    }
};

TEST_F(MessageScreens, RunContinuousFromTheKeypadRequestsTheMessageLikeACentralOne) {
    Store(6, "HELLO");
    AtMainMenu();
    EXPECT_TRUE(SignPicture().Dark());

    Keys({KEY_1, KEY_1, KEY_7, field::PANEL_KEY_ENTER});
    ASSERT_TRUE(Shows(1, "RUN MESSAGE OPTIONS")) << Screen();
    Keys({KEY_1});
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
    // answers in the row itself: the request is seen in the manager's record.
    const Bytes idle(12, 0);
    db_set_string(obj::activationRequestCode.row(PANEL_ROW), idle.data(), 12, 0);
    Open("START SCHEDULE");
    Open("CONFIRM");
    EXPECT_EQ(6u, PanelSession::Manager()->pending_kind);
    EXPECT_EQ(1u, PanelSession::Manager()->pending_number);
    EXPECT_NE(idle, request_code());
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
