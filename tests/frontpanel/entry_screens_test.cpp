// The panel's entry screens driven from the panel: the login screen in
// central and local mode, passwords and rights, the main menu, French, and
// the picture of the panel.
#include "frontpanel/manager.h"
#include "display/message_codes.h"
#include "frontpanel/screens/container.h"
#include "frontpanel/screens/entry_screens.h"
#include "ntcip/clock/calendar.h"
#include "platform/field/field.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/support/firmware_fixture.h"
#include "tests/support/panel_session.h"
#include "tests/support/png_reader.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

using test_support::PanelSession;
using test_support::TextAt;

// Screens that other parts of the panel build, standing in so that the main
// menu has its usual rows: message control (a container of the message
// screens), the current display, brightness control and a configuration
// screen.
class StandIn : public CMenuItem {
  public:
    explicit StandIn(int32_t id) : CMenuItem(id) {}
    bool OnKey(CLCD_Manager&, uint16_t*) override { return false; }
    void Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) override {
        if (phase == DRAW_FULL) lcd.Print(1, LCD_CENTRE, "%s", Title(manager.French()));
    }
};

const menu_factory_record STAND_INS[] = {
    {TYPE_MESSAGE_CONTROL, menu_create<CLCD_MenuItemEx>},
    {TYPE_MESSAGE_LIST, menu_create<StandIn>},
    {TYPE_CURRENT_DISPLAY, menu_create<StandIn>},
    {TYPE_BRIGHTNESS_CONTROL, menu_create<StandIn>},
    {TYPE_MODULE_TYPE, menu_create<StandIn>},
};

std::string padded(const std::string& text, size_t width) {
    return text + std::string(width - text.size(), ' ');
}

const std::vector<uint8_t> LOCAL = {0xFF, 0xB3};

class EntryScreens : public test_support::FirmwareFixture {
  protected:
    void Prepare() override {
        for (const menu_factory_record& record : STAND_INS)
            class_factory::Register(&record);
    }
    // The panel attached and the login screen up.
    PanelSession& Panel() {
        if (!panel_) {
            panel_.reset(new PanelSession);
            EXPECT_TRUE(panel_->WaitForRow(8, "LOGGED OUT", 40) ||
                        panel_->WaitForRow(8, "SESSION FERMEE", 1))
                << panel_->Row(8);
        }
        return *panel_;
    }
    // Local mode, the password typed on the keypad and Enter; the screen
    // that follows is up.
    void LogIn(const std::string& digits) {
        Panel().Send(LOCAL);
        EXPECT_TRUE(Panel().WaitForRow(4, "________________")) << Panel().Row(4);
        Panel().ClearSent();
        Panel().KeypadDigits(digits, true);
        for (int i = 0; i < 8 && PanelSession::Manager()->UserLevel() < 0; i++)
            PanelSession::Polls(1);
        PanelSession::Polls(2);
    }
    std::unique_ptr<PanelSession> panel_;
};

TEST_F(EntryScreens, CentralModeAsksForLocalModeAndTheFactoryPasswordReachesTheMainMenu) {
    PanelSession& panel = Panel();
    EXPECT_NE(std::string::npos, panel.Row(8).find("REMOTE MODE - LOGGED OUT"));
    EXPECT_TRUE(panel.WaitForRow(4, "SWITCH TO LOCAL MODE TO LOGIN")) << panel.Row(4);

    panel.Send(LOCAL);
    EXPECT_TRUE(panel.WaitForRow(4, "PASSWORD: ________________"));
    EXPECT_TRUE(panel.SentContains(TextAt(7, 4, "PASSWORD: ________________")));
    EXPECT_NE(std::string::npos, panel.Row(8).find("LOCAL MODE - LOGGED OUT"));

    panel.ClearSent();
    panel.Send({0x03, 0x07, 0x0B, 0x02, 0x08}); // 1 2 3 4 Enter
    EXPECT_TRUE(panel.WaitForRow(1, "** WELCOME TO THE MAIN MENU **"));
    EXPECT_TRUE(panel.SentContains(TextAt(6, 1, "** WELCOME TO THE MAIN MENU **")));
    EXPECT_TRUE(panel.SentContains(TextAt(1, 2, padded("1) MESSAGE CONTROL", 39))));
    EXPECT_TRUE(panel.SentContains({0xFE, 0x78, 0x00, 0xEA, 0x18, 0xF1, 0x1F}));
    EXPECT_TRUE(panel.SentContains({0xFE, 0x78, 0x00, 0xEA, 0x20, 0xF1, 0x28}));
    EXPECT_EQ(1, PanelSession::Manager()->UserLevel());
    EXPECT_NE(std::string::npos, panel.Row(8).find("LOCAL MODE - CANCEL TO LOGOUT"));

    // The panel picture shows the main menu too.
    ASSERT_TRUE(host::panel_picture_flush());
    test_support::Picture picture;
    ASSERT_TRUE(test_support::ReadPng(host::panel_picture_path(), picture));
    EXPECT_EQ(240, picture.width);
    EXPECT_NE(std::string::npos,
              field::panel_picture_model().Screen().TextRow(1).find("WELCOME TO THE MAIN MENU"));
}

TEST_F(EntryScreens, AWrongOrEmptyPasswordLogsNobodyInAndEscapeOnTheMainMenuLogsOut) {
    PanelSession& panel = Panel();
    panel.Send(LOCAL);
    ASSERT_TRUE(panel.WaitForRow(4, "PASSWORD: ________________"));
    panel.KeypadDigits("999", true);
    ASSERT_TRUE(panel.WaitForRow(4, "     INVALID PASSWORD     ", 4)) << panel.Row(4);
    EXPECT_EQ(-1, PanelSession::Manager()->UserLevel());
    PanelSession::Polls(2);
    EXPECT_NE(std::string::npos, panel.Row(4).find("INVALID PASSWORD")) << "still shown";
    EXPECT_TRUE(panel.WaitForRow(4, "PASSWORD: ________________", 3)) << "gone after four draws";

    db_set(obj::halvLCDAdminPassword, 0, DB_NOTIFY);
    panel.KeypadDigits("", true);
    EXPECT_TRUE(panel.WaitForRow(4, "INVALID PASSWORD", 4)) << "an empty entry matches no number";
    EXPECT_EQ(-1, PanelSession::Manager()->UserLevel());
    ASSERT_TRUE(panel.WaitForRow(4, "PASSWORD: ________________", 6));

    panel.KeypadDigits("0", true);
    EXPECT_TRUE(panel.WaitForRow(1, "** WELCOME TO THE MAIN MENU **", 4)) << "the digits of 0";
    EXPECT_EQ(1, PanelSession::Manager()->UserLevel());
    EXPECT_EQ(2u, db_get(obj::dmsControlMode));
    panel.Send({field::PANEL_KEY_ESCAPE});
    EXPECT_TRUE(panel.WaitForRow(4, "SWITCH TO LOCAL MODE TO LOGIN", 4));
    EXPECT_EQ(-1, PanelSession::Manager()->UserLevel());
    EXPECT_EQ(4u, db_get(obj::dmsControlMode));
}

TEST_F(EntryScreens, TheOperatorLevelSeesOnlyItsMenusAndAnEmptyConfiguration) {
    PanelSession& panel = Panel();
    LogIn("4321");
    ASSERT_EQ(2, PanelSession::Manager()->UserLevel());
    EXPECT_NE(std::string::npos, panel.Row(2).find("1) MESSAGE CONTROL"));
    EXPECT_NE(std::string::npos, panel.Row(3).find("2) DIAGNOSTICS"));
    EXPECT_NE(std::string::npos, panel.Row(4).find("3) BRIGHTNESS CONTROL"));
    EXPECT_NE(std::string::npos, panel.Row(5).find("4) CURRENT DISPLAY"));
    EXPECT_EQ(std::string(40, ' '), panel.Row(6)) << "configuration, errors and password hidden";

    panel.Send({0xFF, 0xBD, 0x00, 0x09, 0xF0, 0x09, 0xED}); // F10
    EXPECT_TRUE(panel.WaitForRow(1, "CONFIGURATION", 4));
    EXPECT_NE(std::string::npos, panel.Row(2).find("1) NO MENUS AVAILABLE"));

    // Escape goes back; the administrator level sees configuration.
    panel.Send({field::PANEL_KEY_ESCAPE});
    EXPECT_TRUE(panel.WaitForRow(1, "** WELCOME TO THE MAIN MENU **", 4));
    panel.Send({field::PANEL_KEY_ESCAPE});
    EXPECT_TRUE(panel.WaitForRow(4, "SWITCH TO LOCAL MODE TO LOGIN", 4));
    LogIn("1234");
    EXPECT_NE(std::string::npos, panel.Row(5).find("4) CONFIGURATION"));
}

TEST_F(EntryScreens, FrenchTitlesAndTheInsufficientRightsScreenWithItsAccent) {
    db_set(obj::halvLanguage, 2, DB_NOTIFY);
    db_set_text(obj::communityNameUser.row(0), "abc", DB_NOTIFY);
    db_set(obj::communityNameAccessMask.row(0), 0, DB_NOTIFY);
    PanelSession& panel = Panel();
    PanelSession::Manager()->SetLanguage();

    LogIn("1234");
    EXPECT_TRUE(panel.SentContains(TextAt(4, 1, "** BIENVENUE AU MENU PRINCIPAL **")));
    panel.Send({field::PANEL_KEY_ESCAPE});
    EXPECT_TRUE(panel.WaitForRow(4, "SWITCH TO LOCAL MODE TO LOGIN", 4));

    // Three presses of key 2 match "abc", a user whose mask holds no right.
    LogIn("222");
    ASSERT_EQ(4, PanelSession::Manager()->UserLevel());
    panel.ClearSent();
    panel.FunctionKey(2); // run a saved message: needs a right the user lacks
    EXPECT_TRUE(panel.WaitForRow(1, "DROITS INSUFFISANT", 4));
    EXPECT_TRUE(panel.SentContains({'D', '\'', 'A', 'C', 'C', 'E', 'D', 'E', 'R', ' ', 0x41, ' '}));
    panel.Send({field::PANEL_KEY_ENTER});
    // (the indicator icons of row 1 cover the title's first column)
    EXPECT_TRUE(panel.WaitForRow(1, "BIENVENUE AU MENU PRINCIPAL **", 4)) << panel.Row(1);
}

TEST(PanelTime, EnglishUsesTheTwelveHourClockAndFrenchTheTwentyFourHourOne) {
    struct time_case {
        int hour, minute, second;
        bool french;
        const char* text;
    } cases[] = {
        {13, 5, 9, false, "01:05:09 PM 12/11/2026"},   {13, 5, 9, true, "13:05:09 12/11/2026"},
        {0, 0, 0, false, "12:00:00 AM 12/11/2026"},    {12, 30, 0, false, "12:30:00 PM 12/11/2026"},
        {11, 59, 59, false, "11:59:59 AM 12/11/2026"},
    };
    for (const time_case& c : cases) {
        struct tm date {};
        date.tm_year = 2026 - 1900;
        date.tm_mon = 11;
        date.tm_mday = 11;
        date.tm_hour = c.hour;
        date.tm_min = c.minute;
        date.tm_sec = c.second;
        char text[41];
        format_panel_time(text, sizeof text, tm_to_seconds(date), c.french);
        EXPECT_STREQ(c.text, text);
    }
}

TEST_F(EntryScreens, TheStatusLineRotatesThroughTheSignsStateAndTheSignalPageOnlyWithTheModem) {
    PanelSession& panel = Panel();
    PanelSession::Polls(20); // the start-up messages are shown
    CMsgIDCode running;
    running.Set(MSG_MEMORY_CHANGEABLE, 7, 0x1234);
    db_set_string(obj::dmsMsgTableSource, running.Encoded(), CMsgIDCode::kLength, DB_NO_VALIDATE);
    db_set(obj::dmsMsgSourceMode, 2, DB_NO_VALIDATE);
    db_set(obj::halvFeatureSet, db_get(obj::halvFeatureSet) & ~0x20u, DB_NOTIFY);
    auto seen_in = [&](unsigned polls) {
        std::string seen;
        for (unsigned i = 0; i < polls; i++) {
            seen += panel.Row(7) + "|";
            PanelSession::Polls(1);
        }
        return seen;
    };
    std::string seen = seen_in(50);
    for (const char* page :
         {"SIGN LEGIBILITY:", "MSG:CHANGEABLE 7", " SRC:LOCAL", "BRIGHTNESS AUTO:"})
        EXPECT_NE(std::string::npos, seen.find(page)) << page << " in " << seen;
    EXPECT_EQ(std::string::npos, seen.find("SIGNAL STR"));
    std::string clock = panel.Row(6);
    EXPECT_TRUE(clock.find(" AM ") != std::string::npos || clock.find(" PM ") != std::string::npos)
        << clock;

    db_set(obj::halvFeatureSet, db_get(obj::halvFeatureSet) | 0x20u, DB_NOTIFY);
    EXPECT_NE(std::string::npos, seen_in(60).find("SIGNAL STR:NOT FOUND"));
}

} // namespace
