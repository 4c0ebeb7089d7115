// The sub-menu container, the choice list and the manager's screen services,
// each on a front-panel manager of its own whose LCD bytes go to a panel
// model: paging, digits, rights, suffixes, text and number fields, wrapped
// text, message activation and saving, password uniqueness, and the version
// and status lists.
#include "frontpanel/manager.h"
#include "frontpanel/screens/choice.h"
#include "frontpanel/screens/container.h"
#include "frontpanel/screens/entry_screens.h"
#include "frontpanel/services.h"
#include "comm/drivers/serial_driver.h"
#include "display/message_codes.h"
#include "platform/field/panel_lcd.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/frontpanel/panel_port.h"
#include "tests/support/firmware_fixture.h"
#include "tests/support/kernel_fixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// Serial port 1 as far as the LCD driver sees it: the bytes go to a panel.
using test_support::PanelPort;

// A leaf screen that remembers the keys it got.
class Leaf : public CMenuItem {
  public:
    Leaf(int32_t id, const char* title, uint32_t rights = 0)
        : CMenuItem(id, {title, title}, rights) {}
    bool OnKey(CLCD_Manager&, uint16_t* key) override {
        keys.push_back(key_event_code(*key));
        return false;
    }
    void Draw(CLCD_Manager&, CLCD&, uint8_t) override {}
    void DrawSuffix(CLCD_Manager&, CLCD& lcd, uint8_t row, uint8_t justify) override {
        lcd.Print(row, justify, "%s", "VALUE");
    }
    std::vector<uint16_t> keys;
};

class ScreenBases : public test_support::FirmwareFixture {
  protected:
    // A manager of its own (id 71), logged in at `level`. Like the panel's,
    // it lives as long as the program (its menus are never released).
    CLCD_Manager& Bench(int32_t level = 1) {
        if (bench_ == nullptr) {
            bench_ = new CLCD_Manager(CLCD_Manager::ID_LCD02);
            EXPECT_TRUE(bench_->Init(&port_));
            bench_->Login(level);
        }
        return *bench_;
    }
    // A leaf the manager can find (ids from 900).
    Leaf* AddLeaf(const std::string& title, uint32_t rights = 0) {
        titles_.emplace_back(new std::string(title));
        const char* kept = titles_.back()->c_str();
        leaves_.emplace_back(new Leaf(900 + int32_t(leaves_.size()), kept, rights));
        Bench().AddMenu(leaves_.back().get());
        return leaves_.back().get();
    }
    bool Key(CMenuItem& item, uint16_t code) {
        uint16_t key = key_event(code, KEY_EVENT_KEYPAD);
        return item.OnKey(Bench(), &key);
    }
    std::string Row(int row) { return port_.panel.Screen().TextRow(row); }
    bool Dot(int x, int y) { return port_.panel.Screen().Dot(x, y); }
    bool DownArrow() { return Dot(234 + 3, 32); }
    bool UpArrow() { return Dot(234 + 3, 24); }

    static PanelPort port_;
    static CLCD_Manager* bench_;
    std::vector<std::unique_ptr<Leaf>> leaves_;
    std::vector<std::unique_ptr<std::string>> titles_;
};

PanelPort ScreenBases::port_;
CLCD_Manager* ScreenBases::bench_ = nullptr;

std::string trimmed(const std::string& text) {
    size_t end = text.find_last_not_of(' ');
    return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

TEST_F(ScreenBases, AContainerListsItsVisibleChildrenSixAPageAndOpensThemByDigit) {
    CLCD_Manager& manager = Bench(2); // level 2 lacks the configuration right
    CLCD_MenuItemEx container(800, {"GROUP", "GROUPE"});
    manager.AddMenu(&container);
    std::vector<Leaf*> children;
    for (int i = 1; i <= 8; i++) {
        Leaf* leaf =
            AddLeaf("CHILD " + std::to_string(i), i == 3 ? uint32_t(RIGHT_CONFIGURATION) : 0u);
        children.push_back(leaf);
        ASSERT_TRUE(container.AddChild(leaf));
    }
    EXPECT_EQ(&container, children[0]->Parent());
    EXPECT_EQ(7, container.CountVisibleChildren(manager));

    container.Draw(manager, manager.Lcd(), DRAW_FULL);
    EXPECT_NE(std::string::npos, Row(1).find("GROUP"));
    EXPECT_EQ("1) CHILD 1", trimmed(Row(2)).substr(0, 10));
    EXPECT_EQ("2) CHILD 2", Row(3).substr(0, 10));
    EXPECT_EQ("3) CHILD 4", Row(4).substr(0, 10)) << "child 3 needs a right the user lacks";
    EXPECT_EQ("VALUE", trimmed(Row(2)).substr(trimmed(Row(2)).size() - 5)) << "the child's value";
    EXPECT_EQ("6) CHILD 7", Row(7).substr(0, 10));
    EXPECT_TRUE(DownArrow());
    EXPECT_FALSE(UpArrow());

    EXPECT_TRUE(Key(container, KEY_DOWN));
    container.Draw(manager, manager.Lcd(), DRAW_PARTIAL);
    EXPECT_EQ(1, container.Page());
    EXPECT_EQ("1) CHILD 8", Row(2).substr(0, 10));
    EXPECT_EQ(std::string(39, ' '), Row(3).substr(0, 39)) << "the rest of the page is cleared";
    EXPECT_TRUE(UpArrow());
    EXPECT_FALSE(DownArrow());
    EXPECT_TRUE(Key(container, KEY_DOWN)) << "consumed on the last page";
    EXPECT_EQ(1, container.Page());

    CMenuItem* before = manager.CurrentMenu();
    EXPECT_TRUE(Key(container, '2')) << "no second row: nothing opens";
    EXPECT_TRUE(Key(container, '7'));
    EXPECT_EQ(before, manager.CurrentMenu());
    EXPECT_FALSE(Key(container, KEY_ESCAPE)) << "Escape is the manager's";
    EXPECT_TRUE(Key(container, '1'));
    EXPECT_EQ(children[7], manager.CurrentMenu());
    EXPECT_EQ(&container, children[7]->Parent());

    EXPECT_TRUE(Key(container, KEY_HOME));
    EXPECT_EQ(0, container.Page());
    EXPECT_TRUE(Key(container, KEY_END));
    EXPECT_EQ(1, container.Page());
}

TEST_F(ScreenBases, AContainerHoldsThirtyChildrenAndShowsNoMenusWhenNoneIsVisible) {
    CLCD_Manager& manager = Bench(1);
    CLCD_MenuItemEx container(801, {"ALL", "ALL"});
    for (int i = 1; i <= 30; i++)
        ASSERT_TRUE(container.AddChild(AddLeaf("ITEM " + std::to_string(i))));
    test_support::ClearConsole();
    Leaf extra(899, "EXTRA");
    EXPECT_FALSE(container.AddChild(&extra));
    EXPECT_FALSE(container.AddChild(nullptr));
    EXPECT_EQ(30u, container.ChildCount());
    EXPECT_NE(std::string::npos,
              test_support::ConsoleText().find(
                  "Error: Add LCD Menu Failure, 30 selection, MAX_SUBMENUSIZE) = 30"));

    EXPECT_TRUE(Key(container, KEY_END));
    EXPECT_EQ(4, container.Page());
    container.Draw(manager, manager.Lcd(), DRAW_PARTIAL);
    EXPECT_EQ("1) ITEM 25", Row(2).substr(0, 10));
    EXPECT_EQ("6) ITEM 30", Row(7).substr(0, 10));
    EXPECT_FALSE(DownArrow());
    EXPECT_TRUE(Key(container, KEY_PAGE_UP));
    EXPECT_EQ(3, container.Page());

    // A container whose children are all beyond the user's rights.
    CLCD_MenuItemEx locked(802, {"LOCKED", "LOCKED"});
    locked.AddChild(AddLeaf("SECRET", RIGHT_CONFIGURATION));
    manager.Logout();
    manager.Login(2);
    EXPECT_FALSE(locked.HasRights(manager));
    locked.Draw(manager, manager.Lcd(), DRAW_FULL);
    EXPECT_EQ("1) NO MENUS AVAILABLE", Row(2).substr(0, 21));
    EXPECT_EQ(std::string(39, ' '), Row(3).substr(0, 39));
}

// A choice list of eight baud rates whose current one carries a mark.
class BaudChoices : public CLCD_SimpleMenuBase {
  public:
    static const choice_row ROWS[8];
    BaudChoices(int32_t id, bool stay) : CLCD_SimpleMenuBase(id, {"BAUD RATE", "DEBIT EN BAUDS"}) {
        AddChoices(ROWS);
        activate_target_ = stay ? 0 : 1;
    }
    void Number(bool continuous) { continuous_numbering_ = continuous; }
    void OnSelect(CLCD_Manager&, const choice_row& choice) override { chosen = choice.value; }
    void DrawChoiceSuffix(CLCD_Manager&, CLCD& lcd, size_t index, uint8_t row,
                          uint8_t justify) override {
        if (Choice(index)->value == current) lcd.Print(row, justify, "%s", "*");
    }
    uint32_t chosen = 0, current = 9600;
};
const choice_row BaudChoices::ROWS[8] = {
    {1200, {"1200", "1200"}},    {2400, {"2400", "2400"}},
    {4800, {"4800", "4800"}},    {9600, {"9600", "9600"}},
    {19200, {"19200", "19200"}}, {38400, {"38400", "38400"}},
    {57600, {"57600", "57600"}}, {115200, {"115200", "115200"}, 903},
};

TEST_F(ScreenBases, AChoiceListNumbersItsPagesCallsOnSelectAndReturnsToItsParent) {
    CLCD_Manager& manager = Bench(1);
    Leaf* parent = AddLeaf("PORT");
    for (int i = 0; i < 3; i++)
        AddLeaf("SPARE");
    BaudChoices choices(810, false);
    manager.AddMenu(&choices);
    choices.SetParent(parent);
    choices.OnEnter(manager);

    choices.Draw(manager, manager.Lcd(), DRAW_FULL);
    EXPECT_NE(std::string::npos, Row(1).find("BAUD RATE"));
    EXPECT_EQ("1) 1200", trimmed(Row(2)));
    EXPECT_EQ("4) 9600", trimmed(Row(5)).substr(0, 7));
    EXPECT_EQ('*', trimmed(Row(5)).back()) << "the current setting's mark";
    EXPECT_TRUE(DownArrow());

    EXPECT_TRUE(Key(choices, KEY_PAGE_DOWN));
    choices.Draw(manager, manager.Lcd(), DRAW_PARTIAL);
    EXPECT_EQ("1) 57600", trimmed(Row(2)));
    EXPECT_EQ("2) 115200", trimmed(Row(3)));
    EXPECT_EQ("", trimmed(Row(4)));
    EXPECT_FALSE(DownArrow());
    EXPECT_TRUE(UpArrow());
    EXPECT_TRUE(Key(choices, '3')) << "no third row";
    EXPECT_EQ(0u, choices.chosen);
    choices.Number(true);
    choices.Draw(manager, manager.Lcd(), DRAW_PARTIAL);
    EXPECT_EQ("7) 57600", trimmed(Row(2)));

    // Choice 7 has no target: back to the parent, which gets the re-entry key.
    EXPECT_TRUE(Key(choices, '1'));
    EXPECT_EQ(57600u, choices.chosen);
    EXPECT_EQ(6u, choices.SelectedIndex());
    EXPECT_EQ(parent, manager.CurrentMenu());
    ASSERT_FALSE(parent->keys.empty());
    EXPECT_EQ(KEY_REENTRY, parent->keys.back());

    // Choice 8 opens its target menu.
    manager.ActivateMenu(810, parent, false);
    Key(choices, KEY_END);
    choices.Draw(manager, manager.Lcd(), DRAW_PARTIAL);
    EXPECT_TRUE(Key(choices, '2'));
    EXPECT_EQ(903, manager.CurrentMenu()->Id());
}

TEST_F(ScreenBases, AChoiceListThatStaysOnlySelects) {
    CLCD_Manager& manager = Bench(1);
    BaudChoices choices(811, true);
    manager.AddMenu(&choices);
    manager.ActivateMenu(811, manager.CurrentMenu(), false);
    choices.Draw(manager, manager.Lcd(), DRAW_FULL);
    EXPECT_TRUE(Key(choices, '5'));
    EXPECT_EQ(19200u, choices.chosen);
    EXPECT_EQ(&choices, manager.CurrentMenu());
    const choice_row* found = nullptr;
    EXPECT_TRUE(choices.FindChoice(4800, &found));
    EXPECT_EQ(&BaudChoices::ROWS[2], found);
    EXPECT_FALSE(choices.FindChoice(300, &found));
    EXPECT_EQ(nullptr, found);
    choices.ClearChoices();
    EXPECT_EQ(0u, choices.ChoiceCount());
    for (int i = 0; i < 13; i++)
        choices.AddChoices(BaudChoices::ROWS);
    EXPECT_EQ(CLCD_SimpleMenuBase::MAX_CHOICES, choices.ChoiceCount()) << "the 101st is dropped";
}

TEST_F(ScreenBases, TheManagersFieldsEditDrawAndWrap) {
    CLCD_Manager& manager = Bench(1);
    char text[8] = {};
    uint16_t two = key_event('2', KEY_EVENT_KEYPAD), a = key_event('A', KEY_EVENT_MULTITAP);
    manager.multitap_index = 0;
    EXPECT_TRUE(manager.EditText(text, sizeof text, &two));
    EXPECT_TRUE(manager.EditText(text, sizeof text, &a));
    EXPECT_STREQ("A", text);
    EXPECT_EQ(2, manager.multitap_index) << "each accepted character walks the letters";
    uint16_t enter = key_event(KEY_ENTER);
    EXPECT_FALSE(manager.EditText(text, sizeof text, &enter));

    uint32_t value = 5;
    uint16_t seven = key_event('7', KEY_EVENT_KEYPAD), eight = key_event('8', KEY_EVENT_KEYPAD);
    EXPECT_TRUE(manager.EditNumber(&value, 59, &seven, true));
    EXPECT_TRUE(manager.EditNumber(&value, 59, &eight, true));
    EXPECT_EQ(8u, value);

    manager.DrawNumber(3, 5, 42, 6, true);
    EXPECT_EQ("42    |", Row(3).substr(4, 6) + "|");
    manager.DrawDecimal(4, 1, 12, 2, 5, 2, true, true);
    EXPECT_EQ("12.05 ", Row(4).substr(0, 6));
    manager.DrawWrappedText(5, 2, "ABCDEFGHIJ", 4, 2, true);
    EXPECT_EQ("ABCD", Row(5).substr(1, 4));
    EXPECT_EQ("EFGH", Row(6).substr(1, 4)) << "only width x rows characters";
    manager.DrawWrappedText(5, 2, "XY", 4, 2, false);
    EXPECT_EQ("XY  ", Row(5).substr(1, 4));
    EXPECT_EQ("    ", Row(6).substr(1, 4)) << "blank-padded rows";
}

TEST_F(ScreenBases, ActivateMessageRequestsRowSixWithTheMessagesCrc) {
    CLCD_Manager& manager = Bench(1);
    db_set(obj::changeableMsgCRC.row(6), 0xBEEF, DB_NO_VALIDATE);
    manager.SetPendingActivation(PENDING_CHANGEABLE, 7);
    EXPECT_TRUE(manager.ActivateMessage(30));
    uint8_t code[CMsgActivationCode::kLength] = {};
    uint32_t length = 0;
    db_get_string_copy(obj::activationRequestCode.row(6), code, sizeof code, &length);
    ASSERT_EQ(CMsgActivationCode::kLength, length);
    const uint8_t expected[] = {0, 30, 255, 3, 0, 7, 0xBE, 0xEF, 0, 0, 0, 0};
    EXPECT_EQ(0, memcmp(expected, code, sizeof code));
    EXPECT_EQ(2u, db_get(obj::activationRequestState.row(6)));
    EXPECT_EQ(2u, db_get(obj::activationRequestSource.row(6)));

    struct bad_case {
        uint32_t kind, number;
    } refused[] = {{PENDING_PERMANENT, 99},
                   {PENDING_CHANGEABLE, 0},
                   {PENDING_CHANGEABLE, 501},
                   {PENDING_VOLATILE, 5},
                   {9, 1}};
    for (const bad_case& c : refused) {
        manager.SetPendingActivation(c.kind, c.number);
        EXPECT_FALSE(manager.ActivateMessage(1)) << c.kind << "/" << c.number;
        db_get_string_copy(obj::activationRequestCode.row(6), code, sizeof code, &length);
        EXPECT_EQ(0, code[6] | code[7]) << "still requested, with CRC 0";
    }
    manager.SetPendingActivationIfValid(0, -1, 4);
    EXPECT_EQ(9u, manager.pending_kind) << "a negative kind changes nothing";
    manager.SetPendingActivation(PENDING_BLANK, 1);
    EXPECT_TRUE(manager.ActivateMessage(65535));
}

TEST_F(ScreenBases, SaveEditedMessageWalksTheStatusProtocolAndTheNewMessageIsPending) {
    CLCD_Manager& manager = Bench(1);
    tx_thread_sleep(1500); // the display task is up and sweeps the message table
    const char multi[] = "HELLO[nl]WORLD";
    std::strcpy(manager.editor.text, multi);
    manager.editor.length = uint32_t(sizeof multi - 1);
    std::strcpy(manager.editor.owner, "PANEL");
    manager.editor.save_slot = 12;
    manager.editor.beacon = 5;
    ASSERT_TRUE(manager.SaveEditedMessage()) << db_get(obj::changeableMsgStatus.row(11));
    EXPECT_EQ(4u, db_get(obj::changeableMsgStatus.row(11)));
    EXPECT_STREQ(multi, db_get_string(obj::changeableMsgMultiString.row(11)));
    EXPECT_EQ(1u, db_get(obj::changeableMsgBeacon.row(11)));
    EXPECT_NE(0u, db_get(obj::changeableMsgCRC.row(11)));
    EXPECT_EQ(uint32_t(PENDING_CHANGEABLE), manager.pending_kind);
    EXPECT_EQ(12u, manager.pending_number);

    // Saving again over the valid row frees it first.
    EXPECT_TRUE(manager.SaveEditedMessage());
    manager.editor.save_slot = 0;
    EXPECT_FALSE(manager.SaveEditedMessage()) << "no slot";

    CMsgIDCode shown;
    shown.Set(3, 12, 0x1234);
    db_set_string(obj::dmsMsgTableSource, shown.Encoded(), CMsgIDCode::kLength, DB_NO_VALIDATE);
    EXPECT_TRUE(manager.IsMessageDisplayed(3, 12));
    EXPECT_FALSE(manager.IsMessageDisplayed(3, 13));
    EXPECT_FALSE(manager.IsMessageDisplayed(2, 12));
}

TEST_F(ScreenBases, EditFirstFreeMessageTakesTheFirstUnusedRow) {
    CLCD_Manager& manager = Bench(1);
    db_set(obj::changeableMsgStatus.row(0), 4, DB_NO_VALIDATE);
    db_set(obj::changeableMsgStatus.row(1), 2, DB_NO_VALIDATE);
    manager.EditFirstFreeMessage();
    EXPECT_EQ(3u, manager.editor.save_slot);
    ASSERT_NE(nullptr, manager.CurrentMenu());
    EXPECT_EQ(MENU_MESSAGE_EDITOR, manager.CurrentMenu()->Id());
}

TEST_F(ScreenBases, APasswordMustDifferFromEveryCommunityUnderTheKeypadsLetters) {
    CLCD_Manager& manager = Bench(1);
    db_set_text(obj::communityNameAdmin, "admin", DB_NOTIFY);
    db_set_text(obj::communityNameUser.row(42), "Joe1", DB_NOTIFY);
    EXPECT_FALSE(manager.IsPasswordUnique("23646")) << "a-d-m-i-n on the keypad";
    EXPECT_FALSE(manager.IsPasswordUnique("kmd1"));
    EXPECT_TRUE(manager.IsPasswordUnique("kmd2"));
    EXPECT_TRUE(manager.IsPasswordUnique(""));
    db_set_text(obj::communityNameUser.row(7), "", DB_NOTIFY);
    EXPECT_FALSE(manager.IsPasswordUnique("")) << "an empty user row equals an empty text";
    EXPECT_TRUE(CLCD_Manager::KeypadEqual("joe1", "5631"));
    EXPECT_EQ('7', CLCD_Manager::KeypadGroupChar('s'));
}

TEST_F(ScreenBases, TheVersionListKeepsTwentyFourCharactersAndTheStatusListItsCounters) {
    CLCD_Manager& manager = Bench(1);
    for (uint16_t row = 0; row < 8; row++)
        db_set_text(obj::moduleModel.row(row), "", DB_NO_VALIDATE);
    db_set_text(obj::moduleModel.row(1), "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123", DB_NO_VALIDATE);
    db_set_text(obj::moduleVersion.row(1), "", DB_NO_VALIDATE);
    db_set_text(obj::moduleModel.row(4), "PANEL", DB_NO_VALIDATE);
    db_set_text(obj::moduleVersion.row(4), "7", DB_NO_VALIDATE);
    CLCD_VersionInfo versions;
    versions.OnEnter(manager);
    ASSERT_EQ(2u, versions.ChoiceCount());
    versions.Draw(manager, manager.Lcd(), DRAW_FULL);
    EXPECT_EQ("1) ABCDEFGHIJKLMNOPQRSTUVWX", Row(2).substr(0, 27));
    EXPECT_EQ('?', trimmed(Row(2)).back()) << "no version";
    EXPECT_EQ("2) PANEL", Row(3).substr(0, 8));
    EXPECT_EQ('7', trimmed(Row(3)).back());

    db_set(obj::watchdogFailureCount, 3, DB_NOTIFY);
    CLCD_StatusInfo status;
    status.Draw(manager, manager.Lcd(), DRAW_FULL);
    EXPECT_EQ("1) WATCHDOG COUNT", Row(2).substr(0, 17));
    EXPECT_EQ('3', trimmed(Row(2)).back());
    EXPECT_NE(std::string::npos, Row(3).find("DAYS"));
    EXPECT_EQ('%', trimmed(Row(6)).back());
}

} // namespace
