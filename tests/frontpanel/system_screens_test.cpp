// The system screens driven from the panel: trap configuration, the date and
// time wizard, the password, reset options and beacon type, each checked in
// the store (and through the MIB) after the keys.
#include "console/monitor_task.h"
#include "frontpanel/manager.h"
#include "frontpanel/screens/system.h"
#include "ntcip/clock/calendar.h"
#include "platform/field/panel_lcd.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/support/firmware_fixture.h"
#include "tests/support/panel_session.h"
#include "tests/comm/agent_net_util.h"
#include "tests/comm/agent_test_util.h"
#include "tests/frontpanel/panel_navigation.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

using test_support::PanelSession;

const std::vector<uint8_t> LOCAL = {0xFF, 0xB3};
const std::vector<uint8_t> ESCAPE = {field::PANEL_KEY_ESCAPE};
const std::vector<uint8_t> DOWN = {field::PANEL_KEY_DOWN};
const std::vector<uint8_t> ENTER = {field::PANEL_KEY_ENTER};

// An SNMP GET through the sign's agent: the value's octets, or nothing when
// the agent does not answer (an unknown community) or refuses.
bool snmp_get(const std::string& community, const std::vector<uint32_t>& name,
              std::vector<uint8_t>& value) {
    agent_test::CapturingAgent agent;
    auto pdu = agent.AskPdu(agent_test::request(0xA0, community, name, 1));
    if (!pdu || pdu->error_status != 0) return false;
    const snmp_varbind& varbind = pdu->varbinds[0];
    value.assign(varbind.value, varbind.value + varbind.value_length);
    return true;
}

// halvTrapsEnterpriseSpecific as a central system reads it.
std::vector<uint8_t> trap_mask() {
    std::vector<uint8_t> value;
    EXPECT_TRUE(snmp_get(agent_test::ADMIN, {1, 3, 6, 1, 4, 1, 1206, 3, 11, 2, 16, 2, 0}, value));
    return value;
}

// The UTC of a local standard time in the zone `offset` seconds east of UTC.
uint32_t utc_of(int year, int month, int day, int hour, int minute, int32_t offset) {
    struct tm local = {};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    return tm_to_seconds(local) - uint32_t(offset);
}

// The clock ran on for a few seconds after the time was set.
void expect_near(uint32_t expected, uint32_t global_time) {
    EXPECT_GE(global_time, expected);
    EXPECT_LE(global_time, expected + 5);
}

// A telnet operator's new connection and one typed line: the console's reply.
std::string TelnetLine(const std::string& line) {
    const char* reply = nullptr;
    uint32_t length = 0;
    TheMonitorTask().OnTelnetEvent(CTelnetServer::EVENT_NEW, 0, nullptr, 0, &reply, &length);
    TheMonitorTask().OnTelnetEvent(CTelnetServer::EVENT_DATA, 0,
                                   reinterpret_cast<const uint8_t*>(line.data()),
                                   uint32_t(line.size()), &reply, &length);
    std::string text = reply ? std::string(reply, length) : std::string();
    size_t stars = text.find_first_not_of('*');
    return stars == std::string::npos ? "" : text.substr(stars);
}

std::string stored_text(const DbObject& object) {
    char text[64] = {};
    db_get_string_copy(object, text, sizeof text);
    return text;
}

class SystemScreens : public test_support::PanelNavigation {
  protected:
    // The rows of the trap list that read ON, on the current page.
    std::vector<char> RowsOn() {
        std::vector<char> on;
        for (int row = 2; row <= 7; ++row) {
            std::string text = Panel().Row(row);
            if (text.size() >= 38 && text.substr(35, 3) == " ON") on.push_back(text[0]);
        }
        return on;
    }
};

TEST_F(SystemScreens, TrapRowsToggleTheirBitsOfTheStoredMask) {
    EXPECT_EQ((std::vector<uint8_t>{0xC5, 0x21, 0x02}), trap_mask());
    LogIn("1234");
    OpenPath({"CONFIGURATION", "SYSTEM CONFIGURATION", "CONFIGURE OPTIONS", "TRAP CONFIGURATION"});
    ASSERT_TRUE(Shows(1, "TRAP CONFIGURATION"));
    EXPECT_TRUE(Shows(3, "2) DOOR OPENED                     OFF"));

    Panel().KeypadDigits("2", false);
    PanelSession::Polls(1);
    EXPECT_TRUE(Shows(3, "2) DOOR OPENED                      ON"));
    EXPECT_EQ((std::vector<uint8_t>{0xC7, 0x21, 0x02}), trap_mask());

    // Every row off, page by page: the mask is stored empty.
    const char* firsts[TRAP_PAGES] = {"1) MAX TEMP", "1) UPS RUNNING OFF BATTERY", "1) EVENT LOG"};
    for (const char* first : firsts) {
        ASSERT_TRUE(Shows(2, first));
        PanelSession::Polls(2);
        for (char row : RowsOn())
            Panel().KeypadDigits(std::string(1, row), false);
        PanelSession::Polls(4);
        EXPECT_TRUE(RowsOn().empty()) << first;
        Panel().Send(DOWN);
    }
    EXPECT_TRUE(trap_mask().empty());

    // Only "3) COLD START", on the last page; digits naming no row change nothing.
    ASSERT_TRUE(Shows(4, "3) COLD START"));
    Panel().KeypadDigits("356", false);
    PanelSession::Polls(1);
    EXPECT_EQ((std::vector<uint8_t>{0x00, 0x00, 0x02}), trap_mask());

    Panel().Send(ESCAPE);
    PanelSession::Polls(1);
    EXPECT_TRUE(Shows(1, "CONFIGURE OPTIONS"));
}

TEST_F(SystemScreens, DateAndTimeAreStoredAsUtcOfTheChosenZone) {
    LogIn("1234");
    OpenPath({"CONFIGURATION", "SYSTEM CONFIGURATION", "SET DATE AND TIME"});
    EXPECT_TRUE(Shows(1, "TIMEZONE"));
    Open("EASTERN");
    EXPECT_TRUE(Shows(1, "DST"));
    Open("ENABLE");
    EXPECT_TRUE(Shows(4, "DATE: MM/DD/YYYY"));

    Panel().KeypadDigits("01152016", false);
    Panel().KeypadDigits("01057", false); // 1:05 PM
    PanelSession::Polls(1);
    EXPECT_TRUE(Shows(4, "01/15/2016"));
    EXPECT_TRUE(Shows(5, " 1:05P"));
    EXPECT_TRUE(Shows(7, "PRESS ENTER TO SAVE"));
    Panel().Send(ENTER);
    uint32_t after = db_get_time();

    expect_near(utc_of(2016, 1, 15, 13, 5, -18000), after);
    EXPECT_EQ(-18000, db_get_signed(obj::controllerStandardTimeZone));
    EXPECT_EQ(3u, db_get(obj::globalDaylightSaving));
    EXPECT_TRUE(Shows(1, "SYSTEM CONFIGURATION"));
}

TEST_F(SystemScreens, FrenchTakesTheTwentyFourHourClockAndALeapDay) {
    Panel();
    db_set(obj::halvLanguage, 2, DB_NOTIFY);
    PanelSession::Manager()->SetLanguage();
    db_set(obj::globalDaylightSaving, 3, DB_NOTIFY);
    LogIn("1234");
    OpenPath({"CONFIGURATION", "CONFIGURATION DE L'ENSEIGNE", "CHANGER LA DATE ET L'HEURE"});
    Open("PACIFIQUE");
    Open("DESACTIVE");
    EXPECT_TRUE(Shows(4, "DATE: AAAA/MM/JJ"));
    EXPECT_TRUE(Shows(5, "HEURE: HH:MM"));

    // A leap day, and 12:30 on the 24-hour clock.
    Panel().KeypadDigits("20240229", false);
    Panel().KeypadDigits("1230", true);
    uint32_t after = db_get_time();
    expect_near(utc_of(2024, 2, 29, 12, 30, -28800), after);
    EXPECT_EQ(2u, db_get(obj::globalDaylightSaving));
    EXPECT_EQ(-28800, db_get_signed(obj::controllerStandardTimeZone));
}

TEST_F(SystemScreens, AnEnglishTwentyNinthOfFebruaryInACommonYearStoresNothing) {
    LogIn("1234");
    OpenPath({"CONFIGURATION", "SYSTEM CONFIGURATION", "SET DATE AND TIME"});
    Open("CENTRAL");
    Open("DISABLE");
    uint32_t zone = db_get(obj::controllerStandardTimeZone);
    uint32_t mode = db_get(obj::globalDaylightSaving);
    Panel().KeypadDigits("02292023", false);
    Panel().KeypadDigits("10302", true); // 10:30 AM
    PanelSession::Polls(1);
    EXPECT_TRUE(Shows(6, "INVALID DATE")) << Panel().Row(6);
    EXPECT_TRUE(Shows(1, "SET DATE AND TIME"));
    EXPECT_EQ(zone, db_get(obj::controllerStandardTimeZone));
    EXPECT_EQ(mode, db_get(obj::globalDaylightSaving));
    uint32_t now = db_get_time();
    EXPECT_GT(now, 1700000000u) << "the clock kept the host's time";

    // Escape on the date goes back to the daylight-saving list.
    Panel().Send(ESCAPE);
    PanelSession::Polls(1);
    EXPECT_TRUE(Shows(1, "DST"));
}

TEST_F(SystemScreens, APasswordMustBeLongUniqueAndTakesEffectAtOnce) {
    db_set_string(obj::communityNameAdmin, "135791", 6, DB_NOTIFY);
    db_set_string(obj::communityNameUser.row(0), "ad1ad1", 6, DB_NOTIFY);
    LogIn("135791");
    EXPECT_EQ(3, PanelSession::Manager()->UserLevel());
    Open("CHANGE PASSWORD");
    ASSERT_TRUE(Shows(1, "CHANGE PASSWORD"));

    // Five characters cannot be confirmed.
    // What is typed shows as one mask character each, never in clear.
    Panel().KeypadDigits("13579", true);
    EXPECT_TRUE(Shows(8, "ENTER AT LEAST 6 CHARACTERS"));
    EXPECT_TRUE(Shows(3, "PASSWORD: *****    ")) << Screen();
    Panel().KeypadDigits("6", false);
    EXPECT_TRUE(Shows(8, "PRESS ENTER TO CONTINUE"));
    EXPECT_EQ(std::string::npos, Screen().find("135796")) << Screen();
    Panel().Send(ENTER);
    EXPECT_TRUE(Shows(8, "ENTER AT LEAST 6 CHARACTERS")) << "the confirmation is empty";
    // Left on an empty confirmation goes back to the first entry; start again.
    for (int i = 0; i < 7; ++i)
        Panel().Send({field::PANEL_KEY_LEFT});
    EXPECT_TRUE(Shows(3, "PASSWORD:       "));

    // 231231 is "ad1ad1" under the keypad's letter groups: refused.
    Panel().KeypadDigits("231231", true);
    Panel().KeypadDigits("231231", true);
    PanelSession::Polls(1);
    EXPECT_TRUE(Shows(8, "CANNOT ENTER NON-UNIQUE PASSWORD")) << Panel().Row(8);
    EXPECT_EQ("135791", stored_text(obj::communityNameAdmin));

    // The current password again stores nothing and returns to the main menu.
    Panel().KeypadDigits("135791", true);
    Panel().KeypadDigits("135791", true);
    PanelSession::Polls(1);
    EXPECT_TRUE(Shows(1, "MAIN MENU"));
    EXPECT_EQ("135791", stored_text(obj::communityNameAdmin));

    Open("CHANGE PASSWORD");
    Panel().KeypadDigits("864208", true);
    Panel().KeypadDigits("864208", true);
    PanelSession::Polls(1);
    EXPECT_EQ("864208", stored_text(obj::communityNameAdmin));
    std::vector<uint8_t> description;
    EXPECT_TRUE(snmp_get("864208", agent_test::SYS_DESCR, description)) << "the agent's community";
    EXPECT_FALSE(snmp_get("135791", agent_test::SYS_DESCR, description));
    EXPECT_EQ(std::string("\r\nSUCCESS\r\nVMS>"), TelnetLine("864208\r"))
        << "the console's password";
}

TEST_F(SystemScreens, TheContrastChoiceAndCancelNeedNoRestart) {
    LogIn("1234");
    OpenPath({"CONFIGURATION", "RESET OPTIONS"});
    ASSERT_TRUE(Shows(1, "RESET OPTIONS"));
    Panel().Send(DOWN);
    PanelSession::Polls(1);
    Panel().ClearSent();
    Open("RESET LCD CONTRAST");
    EXPECT_TRUE(Panel().SentContains({0xFE, 0x50, 0x10}));
    EXPECT_TRUE(Shows(1, "CONFIGURATION"));
    Open("RESET OPTIONS");
    Open("CANCEL");
    PanelSession::Polls(20);
    EXPECT_EQ(0, Restarts());
    EXPECT_EQ(0u, db_get(obj::dmsSWReset));
}

// Every other choice writes its object and value, and the controller restarts.
class ResetChoices : public SystemScreens, public ::testing::WithParamInterface<const char*> {};

TEST_P(ResetChoices, RestartTheController) {
    LogIn("1234");
    OpenPath({"CONFIGURATION", "RESET OPTIONS"});
    std::string choice = GetParam();
    if (choice == "BOOT FROM SCRIPT") {
        Panel().Send(DOWN);
        PanelSession::Polls(1);
    }
    Open(choice);
    for (int i = 0; i < 60 && Restarts() == 0; ++i)
        PanelSession::Polls(1);
    EXPECT_EQ(1, Restarts()) << choice;
}

INSTANTIATE_TEST_SUITE_P(SystemScreens, ResetChoices,
                         ::testing::Values("RESET ONLY", "CLEAR MEMORY", "RESTORE FACTORY DEFAULTS",
                                           "BOOT FROM FLASH", "BOOT FROM CONFIG",
                                           "BOOT FROM SCRIPT"));

TEST_F(SystemScreens, BeaconTypeStoresTheCodeOfTheChosenName) {
    LogIn("1234");
    OpenPath({"CONFIGURATION", "SYSTEM CONFIGURATION", "CONFIGURE OPTIONS"});
    EXPECT_TRUE(Shows(7, "NONE")) << "the factory code 2";
    Open("BEACON TYPE");
    Panel().Send(DOWN);
    Panel().Send(DOWN);
    PanelSession::Polls(1);
    Open("FOUR BEACON STROBE");
    EXPECT_EQ(13u, db_get(obj::dmsBeaconType));
    EXPECT_TRUE(Shows(1, "CONFIGURE OPTIONS"));
    PanelSession::Polls(1);
    EXPECT_TRUE(Shows(7, "FOUR BEACON STROBE")) << Panel().Row(7);
}

} // namespace
