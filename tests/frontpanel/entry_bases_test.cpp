// The number entry, the address entry and the wizard base driven from the
// panel, as screens of test rows standing in the menus of the display
// configuration list.
#include "frontpanel/screens/address_entry.h"
#include "frontpanel/screens/number_entry.h"
#include "frontpanel/screens/wizard.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/frontpanel/panel_navigation.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using test_support::PanelSession;

const uint8_t ESCAPE = field::PANEL_KEY_ESCAPE;
const uint8_t ENTER = field::PANEL_KEY_ENTER;
const uint8_t LEFT = field::PANEL_KEY_LEFT;
const uint8_t RIGHT = field::PANEL_KEY_RIGHT;
const uint8_t DOWN = field::PANEL_KEY_DOWN;
const uint8_t UP = field::PANEL_KEY_UP;

// --- the test screens ---------------------------------------------------------------------

// Menu 52 (DISPLAY PIXEL WIDTH) asks for a port.
const number_entry_row NUMBER_ROWS[] = {
    number_entry_row(52, {"PORT", "PORT"}, {"1-65535", "1-65535"}, 1, 65535, obj::halvHostHttpPort)
        .Suffix("%u"),
};

bool always(const address_entry_row&) {
    return true;
}

// Menu 53 (DISPLAY PIXEL HEIGHT) asks for an address; menu 57 (DISPLAY
// ACCESS) shows one it may not change.
const address_entry_row ADDRESS_ROWS[] = {
    address_entry_row(53, obj::halvNTPIPAddress).Suffix(ADDRESS_SUFFIX_STORED),
    address_entry_row(57, obj::halvRemoteIPAddress).ReadOnlyWhen(always),
};

// An item embedded in a wizard: it takes the digit 5 only.
class FiveKey : public CMenuItem {
  public:
    FiveKey() : CMenuItem(900) {}
    bool OnKey(CLCD_Manager&, uint16_t* key) override { return key_event_code(*key) == '5'; }
    void Draw(CLCD_Manager&, CLCD& lcd, uint8_t phase) override {
        if (phase == DRAW_FULL) lcd.Print(4, LCD_CENTRE, "PRESS 5");
    }
};

struct wizard_result {
    int finishes = 0;
    uint8_t selected = 0;
    uint32_t number = 0, integer = 0, fraction = 0;
    std::string text;
} g_result;

// Menu 50 (DISPLAY TYPE): a list (ALPHA skips to the text), a number, a
// decimal, a text, and the embedded item.
class TestWizard : public CLCD_SimpleWizardBase {
  public:
    explicit TestWizard(int32_t id) : CLCD_SimpleWizardBase(id) {
        list_.kind = STEP_LIST;
        list_.title = "PICK";
        list_.entries = ENTRIES;
        list_.entry_rules = RULES;
        list_.callback = [](wizard_step& step, uint32_t* index) {
            *index = step.selected == 0 ? 3 : *index + 1;
            return true;
        };
        number_.kind = STEP_NUMBER;
        number_.title = "NUMBER";
        number_.prompt = "PORT";
        number_.rule = ">0,<65536";
        number_.rule_text = "1-65535";
        decimal_.kind = STEP_DECIMAL;
        decimal_.title = "DECIMAL";
        decimal_.prompt = "LEVEL";
        decimal_.rule = "<=100";
        decimal_.rule_text = "0-100";
        text_.kind = STEP_TEXT;
        text_.title = "TEXT";
        text_.prompt = "NAME";
        text_.text = name_;
        text_.width = sizeof name_;
        text_.rows = 1;
        item_.kind = STEP_ITEM;
        item_.item = &five_;
        item_.after_key = AFTER_KEY_ADVANCE;
        for (wizard_step* step : {&list_, &number_, &decimal_, &text_, &item_})
            AddStep(step);
    }

  protected:
    void Finish(CLCD_Manager&) override {
        ++g_result.finishes;
        g_result.selected = list_.selected;
        g_result.number = number_.value;
        g_result.integer = decimal_.value;
        g_result.fraction = decimal_.fraction;
        g_result.text = name_;
    }

  private:
    static constexpr const char* const ENTRIES[] = {"ALPHA", "BETA", "GAMMA", "D",
                                                    "E",     "F",    "G",     nullptr};
    static constexpr const char* const RULES[] = {nullptr, "?30",   nullptr, nullptr,
                                                  nullptr, nullptr, nullptr};
    wizard_step list_, number_, decimal_, text_, item_;
    char name_[9] = {};
    FiveKey five_;
};

const menu_factory_record TEST_SCREENS[] = {
    {TYPE_SIGN_WIDTH, number_entry_create<NUMBER_ROWS>},
    {TYPE_SIGN_HEIGHT, address_entry_create<ADDRESS_ROWS>},
    {TYPE_SIGN_ACCESS, address_entry_create<ADDRESS_ROWS>},
    {TYPE_MATRIX_TYPE, menu_create<TestWizard>},
};

class EntryBases : public test_support::PanelNavigation {
  protected:
    void Prepare() override {
        PanelNavigation::Prepare();
        for (const menu_factory_record& record : TEST_SCREENS)
            class_factory::Register(&record);
    }
    void OpenDisplayList() {
        LogIn("1234");
        OpenPath({"CONFIGURATION", "SYSTEM CONFIGURATION", "CONFIGURE DISPLAY"});
    }
};

TEST_F(EntryBases, ANumberPastItsRangeIsRefusedOnTheScreenAndNothingIsStored) {
    OpenDisplayList();
    EXPECT_TRUE(Shows(5, "80")) << "the stored value after the title" << Screen();
    Open("DISPLAY PIXEL WIDTH");
    EXPECT_TRUE(Shows(2, "RESTRICTIONS:1-65535"));
    EXPECT_TRUE(Shows(8, "PRESS ENTER TO SAVE"));

    // Digits past 2147483647 are ignored one by one.
    Digits("99999999999");
    EXPECT_TRUE(Shows(4, "PORT: 999999999 ")) << Screen();
    for (int i = 0; i < 5; ++i)
        Key(LEFT);
    Digits("0", true); // 99990: past the range
    EXPECT_TRUE(Shows(6, "INVALID ENTRY"));
    EXPECT_EQ(80u, db_get(obj::halvHostHttpPort));
    PanelSession::Polls(6);
    EXPECT_EQ(std::string::npos, Panel().Row(6).find("INVALID")) << "the error line went";
    EXPECT_TRUE(Shows(4, "PORT: 99990")) << "the value stays for correction";

    for (int i = 0; i < 5; ++i)
        Key(LEFT);
    Digits("8080", true);
    EXPECT_EQ(8080u, db_get(obj::halvHostHttpPort));
    EXPECT_TRUE(Shows(1, "CONFIGURE DISPLAY"));
    EXPECT_TRUE(Shows(5, "8080"));
}

TEST_F(EntryBases, AnAddressAdvancesByItselfAndRefusesAnOctetPast255) {
    OpenDisplayList();
    Open("DISPLAY PIXEL HEIGHT");
    EXPECT_TRUE(Shows(2, "CURRENT:0.0.0.0")) << Screen();
    Digits("192");
    Digits("256"); // 25, then on to the third octet
    EXPECT_TRUE(Shows(4, "192.25 .0  .0  ")) << Screen();
    Digits("0");
    Key(RIGHT);
    Digits("7");
    EXPECT_TRUE(Shows(4, "192.25 .0  .7  "));
    // Backspace at the start of an octet reaches into the one before.
    Key(LEFT);
    Key(LEFT);
    Digits("1", true);
    EXPECT_EQ(0xC0190100u, db_get(obj::halvNTPIPAddress)) << "192.25.1.0";
    EXPECT_TRUE(Shows(1, "CONFIGURE DISPLAY"));
    EXPECT_TRUE(Shows(4, "192.25.1.0")) << Screen();
}

TEST_F(EntryBases, AReadOnlyAddressShowsTheNoticeAndOnlyEscapeActs) {
    db_set(obj::halvRemoteIPAddress, 0x0A000001, DB_NOTIFY);
    OpenDisplayList();
    Open("DISPLAY ACCESS");
    EXPECT_TRUE(Shows(4, "UNABLE TO MODIFY DUE TO ETHERNET MODE"));
    EXPECT_TRUE(Shows(6, "(PRESS ESC TO CONTINUE)"));
    Digits("1", true);
    EXPECT_EQ(0x0A000001u, db_get(obj::halvRemoteIPAddress));
    Key(ESCAPE);
    EXPECT_TRUE(Shows(1, "CONFIGURE DISPLAY"));
}

TEST_F(EntryBases, AWizardGoesBackAlongThePathTakenAndFinishesAfterItsLastStep) {
    g_result = wizard_result();
    db_set(obj::halvPeripheralID.row(7), 30, 0); // listed, not created
    OpenDisplayList();
    Open("DISPLAY TYPE");
    EXPECT_TRUE(Shows(1, "PICK"));
    EXPECT_TRUE(Shows(3, "2) BETA (ADDED)"));
    Digits("2"); // not free: nothing happens
    EXPECT_TRUE(Shows(1, "PICK"));
    Key(DOWN);
    EXPECT_TRUE(Shows(2, "1) G")) << "entry 7 on page 2";
    Key(UP);

    // ALPHA skips to the text; Escape returns to the list, not the number.
    Open("ALPHA");
    EXPECT_TRUE(Shows(1, "TEXT"));
    Key(ESCAPE);
    EXPECT_TRUE(Shows(1, "PICK"));

    // GAMMA goes through the number and the decimal, each held to its rule.
    Open("GAMMA");
    EXPECT_TRUE(Shows(2, "RESTRICTIONS:1-65535"));
    Digits("0", true);
    Digits("70000", true);
    EXPECT_TRUE(Shows(1, "NUMBER")) << "0 and 70000 stay";
    for (int i = 0; i < 5; ++i)
        Key(LEFT);
    Digits("8080", true);
    EXPECT_TRUE(Shows(1, "DECIMAL"));
    Digits("100", true); // Enter puts the point
    Digits("5", true);
    EXPECT_TRUE(Shows(4, "LEVEL:100.5")) << "100.5 stays" << Screen();
    Key(LEFT);
    Digits("0", true);
    EXPECT_TRUE(Shows(1, "TEXT")) << "100.0 passes" << Screen();
    Key(ESCAPE);
    EXPECT_TRUE(Shows(1, "DECIMAL")) << "back along the path taken";
    Key(ENTER);
    EXPECT_TRUE(Shows(1, "TEXT"));
    Digits("12", true);
    EXPECT_TRUE(Shows(4, "PRESS 5"));
    Key(ESCAPE); // the item does not take Escape: back to the text
    EXPECT_TRUE(Shows(1, "TEXT"));
    Key(ENTER);
    EXPECT_EQ(0, g_result.finishes);
    Digits("5");
    EXPECT_TRUE(Shows(1, "CONFIGURE DISPLAY"));
    EXPECT_EQ(1, g_result.finishes);
    EXPECT_EQ(2, g_result.selected);
    EXPECT_EQ(8080u, g_result.number);
    EXPECT_EQ(100u, g_result.integer);
    EXPECT_EQ(0u, g_result.fraction);
    EXPECT_EQ("12", g_result.text);

    // Escape on the first step leaves without finishing.
    Open("DISPLAY TYPE");
    EXPECT_TRUE(Shows(1, "PICK"));
    Key(ESCAPE);
    EXPECT_TRUE(Shows(1, "CONFIGURE DISPLAY"));
    EXPECT_EQ(1, g_result.finishes);
}

} // namespace
