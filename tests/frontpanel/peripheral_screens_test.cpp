// The peripheral screens driven from the panel over a simulated field (a DC
// I/O board, two temperature sensors, one of them silent): the live view with
// its readings, details, rights and paging past a full table; delete, delete
// all and the init errors on the stored list; auto-detection; the fan and
// heater test through the climate control's timed outputs.
#include "frontpanel/manager.h"
#include "peripherals/climate.h"
#include "peripherals/io/climate_point.h"
#include "peripherals/peripheral_task.h"
#include "peripherals/pl_iterator.h"
#include "platform/field/field.h"
#include "platform/field/panel_lcd.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/frontpanel/panel_navigation.h"
#include "tests/support/panel_session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

namespace {

using test_support::PanelSession;

const uint8_t ESCAPE = field::PANEL_KEY_ESCAPE;
const uint8_t ENTER = field::PANEL_KEY_ENTER;
const uint8_t DOWN = field::PANEL_KEY_DOWN;
const uint8_t LEFT = field::PANEL_KEY_LEFT;

const uint16_t BOARD = 50;          // DC I/O 1: port 0 outputs, ports 1-3 inputs
const uint16_t SIGN_SENSOR = 13;    // TEMPSIGN1
const uint16_t AMBIENT_SENSOR = 12; // reads -5 C
const uint16_t FACE_FANS = 526;     // on point 24
const uint16_t HEATER = 534;        // on point 25
const uint16_t SUPPLY = 100;        // fail contact on point 33

// A live peripheral that only takes a place in the registry.
class Placeholder : public CPeripheral {
  public:
    explicit Placeholder(uint16_t id) : CPeripheral(0x2A, id) {
        SetListed(1);
        SetState(STATE_VALID);
    }
    void Poll() override {}
};

std::vector<uint16_t> stored_ids() {
    std::vector<uint16_t> ids;
    for (uint16_t slot = 0; slot < pl_iterator::SLOTS; ++slot)
        if (uint32_t id = db_get(obj::halvPeripheralID.row(slot))) ids.push_back(uint16_t(id));
    return ids;
}

bool live(uint16_t id) {
    return ThePeripheralTask().GetPeripheral(id) != nullptr;
}

// The output points the sign drives on the field board ("24,25", "" none).
std::string outputs() {
    const std::string line = host::field_command("get io1");
    const size_t at = line.find("outputs=");
    if (at == std::string::npos) return "?";
    const std::string value = line.substr(at + 8, line.find_first_of(" \n", at) - at - 8);
    return value == "none" ? "" : value;
}

class PeripheralScreens : public test_support::PanelNavigation {
  protected:
    void Configure(host::HostOptions& options) override {
        options.field_file = options.state_dir + "/field.txt";
        std::ofstream(options.field_file) << "can dcio io1 42230 closed=33\n"
                                             "can temperature sign1 42105 temp=0\n"
                                             "can temperature ambient 42106 temp=-5\n";
    }
    void SetUp() override {
        PanelNavigation::SetUp();
        Panel();
        pl_iterator list;
        ASSERT_TRUE(list.Add(BOARD, "42230,FF,F0,F0,F0,1"));
        ASSERT_TRUE(list.Add(SIGN_SENSOR, "42105"));
        ASSERT_TRUE(list.Add(AMBIENT_SENSOR, "42106"));
        ASSERT_TRUE(list.Add(FACE_FANS, "18,32"));
        ASSERT_TRUE(list.Add(HEATER, "19,32"));
        ASSERT_TRUE(list.Add(SUPPLY, "21,32"));
        // The boards answer, the sensors read, the climate control warms up.
        PanelSession::Polls(CClimateControl::WARM_UP_CALLS + 20);
    }
    // Waits for `text` anywhere on `row`.
    bool RowHas(int row, const std::string& text, int polls = 20) {
        for (int poll = 0; poll < polls; ++poll) {
            if (Panel().Row(row).find(text) != std::string::npos) return true;
            PanelSession::Polls(1);
        }
        return false;
    }
    void OpenView() {
        LogIn("1234");
        OpenPath({"CONFIGURATION", "PERIPHERAL CONFIGURATION", "VIEW PERIPHERALS"});
        ASSERT_TRUE(Shows(1, "VIEW PERIPHERALS")) << Screen();
    }
};

// --- the view --------------------------------------------------------------------------

TEST_F(PeripheralScreens, TheViewListsTheLiveBoardsWithTheirReadingsAndDetails) {
    OpenView();
    // The registry's order (fixed peripherals first), each row's reading at
    // the right; the panel itself and the file objects are not listed.
    struct shown {
        int row;
        const char* name;
        const char* reading;
    };
    const shown PAGE_1[] = {
        {2, "1) TEMPCONTROLLER ADDR:0", "C/ "},
        {3, "2) LGHTFRONT ADDR:2", "READING"}, // no board answers: its state
        {4, "3) DC I/O 1", "OK"},
        {5, "4) TEMPSIGN1 ADDR:5", "  0C/ 32F"},
        {6, "5) TEMPAMBIENT ADDR:6", " -5C/ 23F"},
        {7, "6) FACE FAN1 CONTROL", "OFF"},
    };
    EXPECT_TRUE(RowHas(6, "-5C")) << Screen();
    for (const shown& s : PAGE_1) {
        std::string row = Panel().Row(s.row);
        EXPECT_EQ(0u, row.find(s.name)) << s.name << Screen();
        EXPECT_NE(std::string::npos, row.find(s.reading, 26)) << s.name << Screen();
    }
    EXPECT_TRUE(Shows(8, "(MORE)"));
    EXPECT_EQ(std::string::npos, Screen().find("LCD01"));

    // Page 2: two rows, the rest cleared; Down there does nothing.
    Key(DOWN);
    ASSERT_TRUE(RowHas(2, "1) HEATER1 CONTROL")) << Screen();
    EXPECT_EQ(0u, Panel().Row(3).find("2) POWERSUPPLY01"));
    EXPECT_NE(std::string::npos, Panel().Row(3).find("PASS", 26));
    for (int row = 4; row <= 8; ++row)
        EXPECT_EQ(std::string(40, ' '), Panel().Row(row)) << row;
    ASSERT_EQ("ok\n", host::field_command("set io1 open=33"));
    PanelSession::Polls(4);
    Key(DOWN); // the last page: no redraw, the readings stay as drawn
    EXPECT_NE(std::string::npos, Panel().Row(3).find("PASS", 26));
    Key(field::PANEL_KEY_UP);
    Key(DOWN);
    EXPECT_TRUE(RowHas(3, "FAIL")) << Screen();
    EXPECT_TRUE(RowHas(3, "2) POWERSUPPLY01"));

    // Digits past the page's rows do nothing; a supply has no extended info.
    Digits("3");
    EXPECT_TRUE(Shows(1, "VIEW PERIPHERALS"));
    Digits("2");
    EXPECT_TRUE(RowHas(1, "POWERSUPPLY01"));
    EXPECT_TRUE(Shows(2, "REVISION:0"));
    EXPECT_TRUE(RowHas(4, "NO EXTENDED INFO"));

    // A temperature sensor: its board revision and its network; the board's
    // switch 5 from its port 3 set as inputs.
    Key(ESCAPE);
    EXPECT_TRUE(Shows(1, "VIEW PERIPHERALS"));
    Key(field::PANEL_KEY_UP);
    Digits("4");
    EXPECT_TRUE(RowHas(1, "TEMPSIGN1"));
    EXPECT_TRUE(Shows(2, "REVISION:1"));
    EXPECT_TRUE(Shows(3, " ON J6 LOCAL SENSOR CAN NETWORK"));
    Key(ESCAPE);
    Digits("3");
    EXPECT_TRUE(RowHas(1, "DC I/O 1"));
    EXPECT_TRUE(Shows(4, "SWITCH 5 ON (TB5 AND TB8 INPUT)"));

    // Escape on the detail goes back to the list, Escape on the list to the parent.
    Key(ESCAPE);
    EXPECT_TRUE(Shows(1, "VIEW PERIPHERALS"));
    Key(ESCAPE);
    EXPECT_TRUE(Shows(1, "PERIPHERAL CONFIGURATION"));
}

// A long sensor name with its address: the reading keeps a blank after the
// address and never covers it.
class LongSensorName : public test_support::PanelNavigation {
  protected:
    void Configure(host::HostOptions& options) override {
        options.field_file = options.state_dir + "/field.txt";
        std::ofstream(options.field_file) << "can humidity cabinet 42907 rh=45\n";
    }
};

TEST_F(LongSensorName, TheReadingLeavesTheSensorAddressShown) {
    Panel();
    pl_iterator list;
    ASSERT_TRUE(list.Add(632, "42907,1")); // HUMIDITY CABINET1 on the J6 network
    PanelSession::Polls(20);
    LogIn("1234");
    OpenPath({"CONFIGURATION", "PERIPHERAL CONFIGURATION", "VIEW PERIPHERALS"});
    ASSERT_TRUE(Shows(1, "VIEW PERIPHERALS")) << Screen();
    int row = 0;
    for (int poll = 0; poll < 20 && row == 0; ++poll) {
        PanelSession::Polls(1);
        for (int r = 2; r <= 7; ++r)
            if (Panel().Row(r).find("HUMIDITY CABINET1 ADDR:7 ") == 3 &&
                Panel().Row(r).find("45%RH") != std::string::npos)
                row = r;
    }
    EXPECT_NE(0, row) << Screen();
}

TEST_F(PeripheralScreens, UnderDiagnosticsTheViewNeedsOnlyTheDiagnosticsRight) {
    LogIn("4321"); // the operator level: diagnostics, no peripherals right
    Open("DIAGNOSTICS");
    Open("VIEW PERIPHERALS");
    EXPECT_TRUE(Shows(1, "VIEW PERIPHERALS")) << Screen();
    EXPECT_TRUE(RowHas(2, "1) TEMPCONTROLLER")) << Screen();
    // Back at the main menu, configuration (and the view under it) stays hidden.
    Key(ESCAPE);
    Key(ESCAPE);
    EXPECT_TRUE(RowHas(1, "WELCOME TO THE MAIN MENU")) << Screen();
    EXPECT_EQ(std::string::npos, Screen().find("CONFIGURATION")) << Screen();
}

TEST_F(PeripheralScreens, AFullTableEndsWithARowMoreNotShown) {
    // More listed peripherals than the view's table holds.
    for (uint16_t id = 2000; ThePeripheralTask().Registry().Count() < pl_mediator::CAPACITY; ++id) {
        Placeholder* p = new Placeholder(id);
        if (!ThePeripheralTask().Registry().Adopt(p)) {
            delete p;
            break;
        }
    }
    OpenView();
    for (int page = 0; page < 42; ++page)
        Key(DOWN);
    // 255 peripherals: the last page shows three and the notice.
    EXPECT_TRUE(RowHas(4, "3) UNKNOWN")) << Screen();
    EXPECT_TRUE(RowHas(5, "MORE NOT SHOWN")) << Screen();
    EXPECT_EQ(std::string::npos, Panel().Row(5).find("4)"));
    EXPECT_EQ(std::string(40, ' '), Panel().Row(6));
    EXPECT_EQ(std::string(40, ' '), Panel().Row(8)) << "no (MORE) on the last page";
    Key(DOWN);
    Digits("4"); // the notice is no peripheral
    EXPECT_TRUE(RowHas(5, "MORE NOT SHOWN"));
    EXPECT_TRUE(Shows(1, "VIEW PERIPHERALS"));
}

TEST_F(PeripheralScreens, APeripheralGoneSinceTheDrawingIsNotShown) {
    OpenView();
    EXPECT_TRUE(RowHas(7, "6) FACE FAN1 CONTROL"));
    // The list is reloaded without the fans behind the screen's back.
    ASSERT_TRUE(pl_iterator().Remove(FACE_FANS));
    PanelSession::Polls(1);
    ASSERT_FALSE(live(FACE_FANS));
    Digits("6");
    EXPECT_TRUE(Shows(8, "PERIPHERAL NO LONGER PRESENT")) << Screen();
    EXPECT_TRUE(Shows(1, "VIEW PERIPHERALS"));
    EXPECT_TRUE(RowHas(7, "6) HEATER1 CONTROL")) << "the list is rebuilt";

    // Gone while its detail page is open: back to the list, saying so.
    Digits("6");
    EXPECT_TRUE(RowHas(1, "HEATER1 CONTROL"));
    ASSERT_TRUE(pl_iterator().Remove(HEATER));
    PanelSession::Polls(2);
    ASSERT_FALSE(live(HEATER));
    EXPECT_TRUE(Shows(1, "VIEW PERIPHERALS")) << Screen();
    EXPECT_TRUE(Shows(8, "PERIPHERAL NO LONGER PRESENT")) << Screen();
}

// --- the stored list -------------------------------------------------------------------

TEST_F(PeripheralScreens, DeleteRemovesExactlyTheConfirmedEntry) {
    LogIn("1234");
    OpenPath({"CONFIGURATION", "PERIPHERAL CONFIGURATION", "DELETE PERIPHERALS"});
    ASSERT_TRUE(Shows(1, "DELETE PERIPHERALS")) << Screen();
    EXPECT_TRUE(RowHas(2, "1) LGHTFRONT")) << "stored by default";
    EXPECT_TRUE(RowHas(3, "2) DC I/O 1"));
    EXPECT_TRUE(RowHas(7, "6) HEATER1 CONTROL"));

    // Cancel changes nothing.
    const std::vector<uint16_t> before = stored_ids();
    Open("TEMPAMBIENT");
    Open("CANCEL");
    EXPECT_TRUE(Shows(1, "PERIPHERAL CONFIGURATION"));
    EXPECT_EQ(before, stored_ids());

    Open("DELETE PERIPHERALS");
    Open("TEMPAMBIENT");
    EXPECT_TRUE(RowHas(2, "1) CONFIRM"));
    Open("CONFIRM");
    EXPECT_TRUE(Shows(1, "PERIPHERAL CONFIGURATION"));
    std::vector<uint16_t> expected = before;
    expected.erase(std::find(expected.begin(), expected.end(), AMBIENT_SENSOR));
    EXPECT_EQ(expected, stored_ids());
    PanelSession::Polls(1);
    EXPECT_FALSE(live(AMBIENT_SENSOR)) << "the task dropped the live one";
    EXPECT_TRUE(live(SIGN_SENSOR));
}

TEST_F(PeripheralScreens, EveryEntryOfAFullStoredListCanBeDeleted) {
    pl_iterator list;
    for (uint16_t id = 3000; list.Add(id, "0"); ++id) {
    }
    std::vector<uint16_t> expected = stored_ids();
    ASSERT_EQ(size_t(pl_iterator::SLOTS), expected.size());
    LogIn("1234");
    OpenPath({"CONFIGURATION", "PERIPHERAL CONFIGURATION", "DELETE PERIPHERALS"});
    for (int page = 0; page < 42; ++page)
        Key(DOWN);
    // The last page: entries 253-255.
    EXPECT_TRUE(RowHas(4, "3) UNKNOWN")) << Screen();
    EXPECT_EQ(std::string(40, ' '), Panel().Row(5));
    Digits("3");
    Open("CONFIRM");
    expected.pop_back();
    EXPECT_EQ(expected, stored_ids());
}

TEST_F(PeripheralScreens, AnEntryRemovedElsewhereIsNotDeletedAgain) {
    db_set(obj::halvLanguage, 2, DB_NOTIFY);
    PanelSession::Manager()->SetLanguage();
    LogIn("1234");
    OpenPath({"CONFIGURATION", "CONFIGURATION DES PERIPHERIQUES", "SUPPRESSION DE PERIPHERIQUES"});
    Key(DOWN);
    Open("POWERSUPPLY01");
    EXPECT_TRUE(RowHas(2, "1) CONFIRM")) << "the same words in French";
    EXPECT_TRUE(RowHas(3, "2) CANCEL"));
    // A central system removes it, and stores another in the freed slot.
    ASSERT_TRUE(pl_iterator().Remove(SUPPLY));
    ASSERT_TRUE(pl_iterator().Add(101, "22,32"));
    const std::vector<uint16_t> edited = stored_ids();
    Open("CONFIRM");
    EXPECT_TRUE(Shows(8, "PERIPHERIQUE ABSENT")) << Screen();
    EXPECT_TRUE(Shows(1, "SUPPRESSION DE PERIPHERIQUES")) << "back on the rebuilt list";
    Key(DOWN);
    EXPECT_TRUE(RowHas(2, "1) POWERSUPPLY02")) << Screen();
    EXPECT_EQ(edited, stored_ids());
}

TEST_F(PeripheralScreens, DeleteAllEmptiesTheStoredList) {
    LogIn("1234");
    OpenPath({"CONFIGURATION", "PERIPHERAL CONFIGURATION", "DELETE ALL PERIPHERALS"});
    Open("CANCEL");
    EXPECT_EQ(7u, stored_ids().size());
    Open("DELETE ALL PERIPHERALS");
    Open("CONFIRM");
    EXPECT_TRUE(stored_ids().empty());
    PanelSession::Polls(1);
    EXPECT_FALSE(live(BOARD));
    EXPECT_FALSE(live(SIGN_SENSOR));
}

TEST_F(PeripheralScreens, InitErrorsListTheEntriesTheFactoryRefused) {
    LogIn("1234");
    OpenPath({"CONFIGURATION", "PERIPHERAL CONFIGURATION"});
    EXPECT_EQ(std::string::npos, Screen().find("PERIPHERAL INIT ERRORS")) << Screen();
    // An intake fan on a board that is not stored cannot be built.
    ASSERT_TRUE(pl_iterator().Add(510, "18,33"));
    PanelSession::Polls(2);
    ASSERT_FALSE(live(510));
    Open("PERIPHERAL INIT ERRORS");
    EXPECT_TRUE(Shows(1, "PERIPHERAL INIT ERRORS")) << Screen();
    EXPECT_TRUE(RowHas(2, "1) INTAKE FAN1 CONTROL"));
    EXPECT_EQ(std::string(40, ' '), Panel().Row(3));
    Open("INTAKE FAN1 CONTROL");
    EXPECT_TRUE(Shows(1, "PERIPHERAL CONFIGURATION"));
    EXPECT_EQ(8u, stored_ids().size()) << "choosing changes nothing";
}

TEST_F(PeripheralScreens, AutoDetectEmptiesTheListAndStoresWhatItFinds) {
    LogIn("1234");
    OpenPath({"CONFIGURATION", "PERIPHERAL CONFIGURATION", "PERIPHERAL AUTO DETECT"});
    ASSERT_TRUE(Shows(2, "1) CONFIRM")) << Screen();
    EXPECT_TRUE(Shows(3, "2) CANCEL"));
    Key(ESCAPE);
    EXPECT_TRUE(Shows(1, "PERIPHERAL CONFIGURATION"));
    EXPECT_EQ(7u, stored_ids().size());

    Open("PERIPHERAL AUTO DETECT");
    Digits("1");
    EXPECT_TRUE(RowHas(4, "DETECTING, PLEASE WAIT")) << Screen();
    Digits("2"); // swallowed while the task detects
    EXPECT_TRUE(Shows(4, "COMPLETE")) << Screen();
    EXPECT_TRUE(Shows(8, "PRESS ENTER TO CONTINUE"));
    // The list was emptied first: the fans (no board answers for them) are
    // gone, and the field's boards were found and stored afresh.
    const std::vector<uint16_t> found = stored_ids();
    EXPECT_FALSE(found.empty());
    EXPECT_EQ(found.end(), std::find(found.begin(), found.end(), FACE_FANS));
    Key(ENTER);
    EXPECT_TRUE(Shows(1, "PERIPHERAL CONFIGURATION"));
}

// --- the output test -------------------------------------------------------------------

TEST_F(PeripheralScreens, FanTestForcesTheFansThroughTheTimedOutputs) {
    CClimateControl& climate = ThePeripheralTask().Climate();
    // DIAGNOSTICS lists the fan test on its second page.
    auto fan_test_page = [this] {
        if (RowOf("RUN FANS / HEATERS") != 0) return;
        Key(DOWN);
        PanelSession::Polls(1);
    };
    auto open_fan_test = [&] {
        fan_test_page();
        Open("RUN FANS / HEATERS");
    };
    EXPECT_EQ("", outputs()) << "at 0 C fans and heaters rest";
    LogIn("1234");
    Open("DIAGNOSTICS");
    fan_test_page();
    EXPECT_EQ(std::string::npos, Screen().find("AUX I/O PORT CONTROL")) << "no port to drive";
    Open("RUN FANS / HEATERS");
    EXPECT_TRUE(Shows(1, "RUN FANS / HEATERS")) << Screen();
    EXPECT_TRUE(RowHas(2, "1) FACE FAN1 CONTROL"));
    EXPECT_TRUE(RowHas(3, "2) HEATER1 CONTROL"));
    Open("FACE FAN1 CONTROL");
    ASSERT_TRUE(RowHas(2, "1) TURN ON")) << Screen();
    Open("TURN ON");
    EXPECT_TRUE(Shows(1, "FOR HOW LONG")) << Screen();
    EXPECT_TRUE(Shows(8, "PRESS ENTER TO SAVE"));

    // 501 minutes is refused; 10 are written with the command "on".
    Digits("501", true);
    EXPECT_TRUE(Shows(1, "FOR HOW LONG"));
    EXPECT_EQ(CClimateControl::COMMAND_AUTO, climate.TimedCommand(1));
    for (int i = 0; i < 3; ++i)
        Key(LEFT);
    Digits("10", true);
    EXPECT_TRUE(Shows(1, "DIAGNOSTICS")) << Screen();
    EXPECT_EQ(CClimateControl::COMMAND_ON, climate.TimedCommand(1));
    EXPECT_EQ(600u, climate.TimedDuration(1));
    PanelSession::Polls(4);
    EXPECT_EQ("24", outputs()) << "the climate logic switched the fans";

    // Forced on: restore at once, without minutes.
    open_fan_test();
    Open("FACE FAN1 CONTROL");
    EXPECT_TRUE(RowHas(2, "1) RESTORE NORMAL OPERATION")) << Screen();
    EXPECT_TRUE(RowHas(3, "2) TURN OFF"));
    Open("RESTORE NORMAL OPERATION");
    EXPECT_TRUE(Shows(1, "DIAGNOSTICS")) << Screen();
    EXPECT_EQ(CClimateControl::COMMAND_AUTO, climate.TimedCommand(1));
    PanelSession::Polls(4);
    EXPECT_EQ("", outputs());

    // A heater's minutes say when the sign turns it off.
    open_fan_test();
    Open("HEATER1 CONTROL");
    Open("TURN ON");
    EXPECT_TRUE(Shows(8, "OFF WHEN SIGN TEMP >= 25")) << Screen();
}

} // namespace
