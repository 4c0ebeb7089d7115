// The peripheral-add wizards driven from the panel's keypad, with the stored
// list and the live registry checked after the keys; the creation strings of
// every add screen, each loaded back into a live peripheral by its class's
// factory; the pin rules and points of the target boards at their edges.
#include "frontpanel/manager.h"
#include "frontpanel/restriction.h"
#include "frontpanel/screens/peripheral_add.h"
#include "peripherals/factory.h"
#include "peripherals/peripheral_task.h"
#include "peripherals/pl_iterator.h"
#include "platform/field/panel_lcd.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/comm/agent_net_util.h"
#include "tests/comm/agent_test_util.h"
#include "tests/frontpanel/panel_navigation.h"
#include "tests/support/panel_session.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using test_support::PanelSession;

const uint16_t BOARD = 50; // a DC I/O board whose port 3 drives outputs
const char* const BOARD_PARAMETERS = "42201,F0,F0,FF,FF,2";

// halvPeripheralParameters of a stored id as a central system reads it.
std::string stored_parameters(uint16_t id) {
    uint16_t slot = 0;
    if (!pl_iterator().FindSlot(id, &slot)) return "(not stored)";
    agent_test::CapturingAgent agent;
    auto pdu = agent.AskPdu(agent_test::request(
        0xA0, agent_test::ADMIN, {1, 3, 6, 1, 4, 1, 1206, 3, 11, 2, 15, 3, 1, 3, slot + 1u}, 1));
    if (!pdu || pdu->error_status != 0) return "(refused)";
    const snmp_varbind& varbind = pdu->varbinds[0];
    return std::string(varbind.value, varbind.value + varbind.value_length);
}

size_t stored_count() {
    pl_iterator list;
    pl_entry entry;
    size_t n = 0;
    while (list.Next(&entry))
        ++n;
    return n;
}

// The peripheral task has reloaded the list and `id` is live. -> found.
CPeripheral* live(uint16_t id) {
    CPeripheral* found = nullptr;
    for (int pass = 0; pass < 20 && !ThePeripheralTask().Find(id, &found); ++pass)
        PanelSession::Polls(1);
    return found;
}

class PeripheralAdd : public test_support::PanelNavigation {
  protected:
    // A live DC I/O board to attach points to.
    void AddBoard() {
        ASSERT_TRUE(pl_iterator().Add(BOARD, "%s", BOARD_PARAMETERS));
        ASSERT_NE(nullptr, live(BOARD));
    }
    // Opens a screen that no sub-menu lists, from the current menu.
    void OpenScreen(int32_t id) {
        CLCD_Manager* manager = PanelSession::Manager();
        CMenuItem* screen = manager->FindMenu(id, nullptr);
        ASSERT_NE(nullptr, screen);
        screen->SetParent(manager->CurrentMenu());
        ASSERT_TRUE(manager->ActivateMenu(id, manager->CurrentMenu(), false));
        PanelSession::Polls(1);
    }
};

TEST_F(PeripheralAdd, AmbientLightOnTheLocalSensorsIsStoredAndCreated) {
    LogIn("1234");
    OpenPath({"CONFIGURATION", "PERIPHERAL CONFIGURATION", "ADD PERIPHERALS"});
    EXPECT_EQ(std::string::npos, Screen().find("ADD FANS")) << "no I/O board is live" << Screen();
    OpenPath({"ADD LIGHT", "AMBIENT"});
    EXPECT_TRUE(Shows(1, "SENSOR ADDRESS")) << Screen();
    OpenPath({"DEFAULT (RECOMMENDED)", "ON CONTROLLER'S LOCAL SENSORS"});
    EXPECT_EQ("42004,2", stored_parameters(1));

    CPeripheral* sensor = live(1);
    ASSERT_NE(nullptr, sensor);
    EXPECT_EQ(PERIPHERAL_CLASS_LIGHT, sensor->ClassCode());
    for (int pass = 0; pass < 1000 && sensor->State() != CPeripheral::STATE_COMM_ERROR; ++pass)
        PanelSession::Polls(1);
    EXPECT_EQ(CPeripheral::STATE_COMM_ERROR, sensor->State()) << "no board answers";

    // Back at the list the sensor is marked and cannot be added twice.
    Open("ADD LIGHT");
    EXPECT_TRUE(Shows(2, "1) AMBIENT (ADDED)")) << Screen();
    const size_t stored = stored_count();
    Digits("1");
    EXPECT_TRUE(Shows(1, "ADD LIGHT")) << "refused at step 0" << Screen();
    EXPECT_EQ(stored, stored_count());
}

TEST_F(PeripheralAdd, AFullListRefusesWithALineAndChangesNothing) {
    pl_iterator list;
    for (uint16_t id = 2000; list.Add(id, "0"); ++id) {
    }
    const size_t stored = stored_count();
    EXPECT_EQ(size_t(pl_iterator::SLOTS), stored);
    LogIn("1234");
    OpenPath({"CONFIGURATION", "PERIPHERAL CONFIGURATION", "ADD PERIPHERALS", "ADD TEMP",
              "INTERNAL (SIGN1)", "DEFAULT (RECOMMENDED)", "ON CONTROLLER'S LOCAL SENSORS"});
    EXPECT_EQ(stored, stored_count());
    EXPECT_FALSE(pl_iterator().Contains(13));
    EXPECT_TRUE(Shows(1, "ADD PERIPHERALS")) << Screen();
}

// The beacon's flashing and dimming steps are asked for the second
// generation (700) only; the pin rule of an output screen on a board whose
// port 3 drives outputs takes 1-3 and 17-24.
TEST_F(PeripheralAdd, TheBeaconsExtraStepsComeWithGenerationTwoOnly) {
    AddBoard();
    LogIn("1234");
    OpenScreen(167);
    Open("BEACON GEN2");
    EXPECT_TRUE(Shows(1, "ATTACH TO WHICH TARGET")) << Screen();
    Open("DC I/O 1");
    EXPECT_TRUE(Shows(8, "VALID FROM 1->3 OR 17->24")) << Screen();
    Digits("4", true);
    EXPECT_TRUE(Shows(1, "CHOOSE CONTROL PIN")) << "pin 4 refused" << Screen();
    Key(field::PANEL_KEY_LEFT);
    Digits("17", true);
    EXPECT_TRUE(Shows(1, "CHOOSE FLASHING OPERATION")) << Screen();
    Open("ALTERNATE FLASH");
    EXPECT_TRUE(Shows(1, "CHOOSE DIMMING OPERATION")) << Screen();
    Open("BEACON DIMMING");
    EXPECT_EQ("32,3000000,5,5,6,1", stored_parameters(700)) << "points 48 and 49";

    OpenScreen(167);
    Open("BEACON GEN1");
    Open("DC I/O 1");
    Digits("3", true);
    EXPECT_EQ("2A,32", stored_parameters(40)) << "stored right after the pin" << Screen();
    EXPECT_EQ(std::string::npos, Screen().find("FLASHING"));
}

// --- creation strings -------------------------------------------------------------------

struct expected_entry {
    uint16_t id;
    const char* parameters;
};

struct layout_case {
    uint32_t type;
    add_answers answers;
    uint32_t pin; // on BOARD (port 3 outputs)
    std::vector<expected_entry> entries;
    bool loads; // the stored list can create the id (150, 156, 490 and 470-478 have no class)
};

add_answers with(uint8_t choice, uint16_t id, uint32_t can_id, uint8_t bus = 2) {
    add_answers a;
    a.choice = choice;
    a.id = id;
    a.can_id = can_id;
    a.bus = bus;
    return a;
}
add_answers counted(uint32_t count, bool intake_fans = false) {
    add_answers a;
    a.count = count;
    a.intake_fans = intake_fans;
    return a;
}
add_answers extras(add_answers a, std::vector<uint8_t> lists, std::vector<uint32_t> numbers,
                   uint32_t extra_point = 0) {
    for (size_t i = 0; i < lists.size(); ++i)
        a.list[i] = lists[i];
    for (size_t i = 0; i < numbers.size(); ++i)
        a.number[i] = numbers[i];
    a.extra_point = extra_point;
    return a;
}

std::vector<layout_case> layout_cases() {
    add_answers dcio_off = with(2, 52, 0x42203);
    dcio_off.direction_output = 1;
    return {
        {TYPE_ADD_LIGHT, with(1, 2, 0x42005), 0, {{2, "42005,2"}}, true},
        {TYPE_ADD_LIGHT, with(4, 156, 0x42013, 4), 0, {{156, "42013,4"}}, false},
        {TYPE_ADD_TEMPERATURE, with(0, 12, 0x42101, 4), 0, {{12, "42101,4"}}, true},
        {TYPE_ADD_HUMIDITY, with(4, 632, 0x42909), 0, {{632, "42909,2"}}, true},
        {TYPE_ADD_PTB, with(1, 751, 0x42B02), 0, {{751, "42B02,2"}}, true},
        {TYPE_ADD_DCIO, dcio_off, 0, {{52, "42203,F0,F0,FF,FF,2"}}, true},
        {TYPE_ADD_DCIO, with(6, 55, 0x42201), 0, {{55, "42201,F0,F0,FF,F0,2"}}, true},
        {TYPE_ADD_DCIO, with(8, 591, 0x42222, 4), 0, {{591, "42222,4"}}, true},
        {TYPE_ADD_ACIO, with(0, 490, 0x42601), 0, {{490, "42601,2"}}, false},
        {TYPE_ADD_FANS, with(1, 518, 0), 2, {{518, "29,32"}}, true},
        {TYPE_ADD_FAN_STATUS, with(0, 514, 0), 1, {{514, "18,32"}}, true},
        {TYPE_ADD_HEATERS, with(0, 534, 0), 1, {{534, "28,32"}}, true},
        {TYPE_ADD_HEATER_STATUS, with(0, 538, 0), 7, {{538, "1E,32"}}, true},
        {TYPE_ADD_GPO, with(0, 660, 0), 3, {{660, "2A,32"}}, true},
        {TYPE_ADD_DOOR_SENSOR, with(0, 30, 0), 4, {{30, "1B,32"}}, true},
        {TYPE_ADD_SWITCH_INDICATOR, with(0, 641, 0), 2, {{641, "29,32"}}, true},
        {TYPE_ADD_FAN_AIRFLOW,
         extras(counted(3), {}, {9}, 32),
         5,
         {{710, "32,10,0"}, {711, "32,20,0"}, {712, "32,40,0"}, {720, "32,100,0"}},
         true},
        {TYPE_ADD_FAN_AIRFLOW, counted(1, true), 5, {{710, "32,10,0"}}, true},
        {TYPE_ADD_FAN_RPM,
         counted(2),
         1,
         {{730, "42521,1,0"}, {731, "42522,1,0"}, {749, "32,1,0"}},
         true},
        {TYPE_ADD_FAN_RPM, counted(1, true), 0, {{730, "42521,1,0"}}, true},
        {TYPE_ADD_SWITCH,
         extras(with(0, 560, 0), {0, 0, 1, 0, 0, 1}, {4, 0, 0, 10, 2}),
         1,
         {{560, "18,32,4,1,A,2,1"}},
         true},
        {TYPE_ADD_SWITCH, extras(with(1, 650, 0), {0, 1}, {4}), 1, {{580, "18,32,4"}}, true},
        {TYPE_ADD_SWITCH,
         extras(with(1, 650, 0), {0, 0, 0, 0, 0, 1}, {8}),
         1,
         {{650, "18,32,8,0,0,0,1"}},
         true},
        {TYPE_ADD_SWITCH, with(2, 640, 0), 1, {{640, "18,32"}}, true},
        {TYPE_ADD_MISC_IO, extras(with(1, 671, 0), {}, {3}), 1, {{671, "32,70000,1"}}, true},
        {TYPE_ADD_MISC_IO, with(0, 670, 0), 2, {{670, "32,60000,1"}}, true},
        {TYPE_ADD_OVERHEIGHT,
         extras(with(1, 501, 0), {1}, {0, 300}),
         2,
         {{501, "19,32,1,12C"}},
         true},
        {TYPE_ADD_OVERHEIGHT,
         extras(with(0, 500, 0), {0}, {0, 300}),
         2,
         {{500, "19,32,0,0"}},
         true},
        {TYPE_ADD_BEACON, with(0, 40, 0), 1, {{40, "28,32"}}, true},
        {TYPE_ADD_BEACON,
         extras(with(1, 700, 0), {1, 0}, {}),
         1,
         {{700, "32,10000,5,5,5,0"}},
         true},
        {TYPE_ADD_AUX_IO, extras(with(0, 470, 0), {}, {3}), 3, {{470, "28,32,3"}}, false},
    };
}

// Every add screen's answers, as the examples give them: the entries stored,
// and each creation string built into a live peripheral by its class.
TEST_F(PeripheralAdd, EveryScreensCreationStringLoadsIntoItsClass) {
    AddBoard();
    ASSERT_TRUE(pl_iterator().Remove(2)); // the factory's front light sensor makes way
    for (int pass = 0; pass < 20 && ThePeripheralTask().Exists(2); ++pass)
        PanelSession::Polls(1);
    pl_factory factories;
    periph_register_factories(factories);
    for (const layout_case& c : layout_cases()) {
        const add_screen_row* row = add_screen_row_of(c.type);
        ASSERT_NE(nullptr, row) << c.type;
        add_answers answers = c.answers;
        answers.board = BOARD;
        answers.point = pin_to_point(TARGET_DCIO_OUT, row->kind == ADD_IO_INPUT, c.pin);
        add_plan plan;
        CLCD_PeripheralAdd::Plan(*row, answers, plan);
        ASSERT_EQ(c.entries.size(), plan.count) << "type " << c.type;
        for (size_t i = 0; i < plan.count; ++i) {
            const add_entry& entry = plan.entries[i];
            EXPECT_EQ(c.entries[i].id, entry.id) << "type " << c.type;
            EXPECT_STREQ(c.entries[i].parameters, entry.parameters) << "id " << entry.id;
            if (!c.loads) continue;
            PeripheralRecord record{1, entry.id, periph_id_to_class(entry.id), entry.parameters};
            CPeripheral* created = nullptr;
            EXPECT_TRUE(factories.Create(record, &created)) << entry.id << " " << entry.parameters;
            delete created;
        }
    }
    add_plan removal;
    CLCD_PeripheralAdd::Plan(*add_screen_row_of(TYPE_ADD_POWER_SUPPLY), counted(4), removal);
    EXPECT_EQ(0u, removal.count);
    EXPECT_EQ(100u, removal.remove_first);
    EXPECT_EQ(135u, removal.remove_last);
}

TEST(PeripheralAddRows, EveryScreenIsARowOfItsOwnTypeAndMenu) {
    for (size_t i = 0; i < ADD_SCREEN_COUNT; ++i) {
        const add_screen_row& row = ADD_SCREENS[i];
        EXPECT_EQ(&row, add_screen_row_of(row.type)) << "type " << row.type << " twice";
        EXPECT_TRUE(row.choices || row.count_rule) << row.type;
        EXPECT_LE(row.choice_count, CLCD_PeripheralAdd::MAX_CHOICES) << row.type;
        EXPECT_LE(row.extra_count, CLCD_PeripheralAdd::MAX_EXTRAS) << row.type;
        EXPECT_EQ(row.kind != ADD_CAN_BOARD && row.type != TYPE_ADD_POWER_SUPPLY, row.targets)
            << row.type;
    }
    EXPECT_EQ(21u, ADD_SCREEN_COUNT);

    // A creation string longer than the list keeps (80) marks the plan, and
    // the wizard then stores nothing.
    add_plan plan;
    plan.Add(1, {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF,
                 0xFFFFFFFF, 0xFFFFFFFF});
    EXPECT_FALSE(plan.too_long) << "80 characters fit";
    plan.Add(2, {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF,
                 0xFFFFFFFF, 0xFFFFFFFF, 0xF});
    EXPECT_TRUE(plan.too_long);
}

// --- pins ------------------------------------------------------------------------------------

TEST(PeripheralAddPins, RulesAndPointsAtTheEdgesOfEachTarget) {
    struct {
        add_target_kind target;
        bool input;
        uint32_t pin;
        bool accepted;
        uint32_t point;
    } cases[] = {
        {TARGET_TCB, true, 16, true, 39},        {TARGET_TCB, true, 17, true, 48},
        {TARGET_TCB, true, 20, true, 51},        {TARGET_TCB, true, 21, false, 0},
        {TARGET_TCB, false, 1, true, 40},        {TARGET_TCB, false, 8, true, 47},
        {TARGET_TCB, false, 9, false, 0},        {TARGET_DCIO_OUT, false, 3, true, 42},
        {TARGET_DCIO_OUT, false, 4, false, 0},   {TARGET_DCIO_OUT, false, 16, false, 0},
        {TARGET_DCIO_OUT, false, 17, true, 48},  {TARGET_DCIO_OUT, false, 24, true, 55},
        {TARGET_DCIO_OUT, true, 16, true, 39},   {TARGET_DCIO_OUT, true, 17, false, 0},
        {TARGET_DCIO_IN, true, 24, true, 55},    {TARGET_DCIO_IN, false, 4, false, 0},
        {TARGET_DCIO_OTHER, true, 17, false, 0}, {TARGET_MINI, true, 1, true, 32},
        {TARGET_MINI, true, 2, false, 0},        {TARGET_MINI, false, 2, true, 25},
        {TARGET_MINI, false, 3, false, 0},       {TARGET_NINE_PIN, true, 1, true, 39},
        {TARGET_NINE_PIN, false, 9, true, 31},   {TARGET_NINE_PIN, true, 10, false, 0},
        {TARGET_TCB, true, 0, false, 0},
    };
    for (const auto& c : cases) {
        const pin_rule_row& rule = PIN_RULES[c.target];
        EXPECT_EQ(c.target, rule.target);
        const char* text = c.input ? rule.input_rule : rule.output_rule;
        EXPECT_EQ(c.accepted, restriction_rule::Parse(text).AcceptsNumber(c.pin))
            << "target " << int(c.target) << (c.input ? " input " : " output ") << c.pin;
        if (c.accepted) {
            EXPECT_EQ(c.point, pin_to_point(c.target, c.input, c.pin)) << c.pin;
        }
    }
    EXPECT_EQ(TARGET_TCB, target_kind_of(PERIPHERAL_CLASS_DCIO, 55, 0xFF));
    EXPECT_EQ(TARGET_DCIO_OUT, target_kind_of(PERIPHERAL_CLASS_DCIO, 50, 0xFF));
    EXPECT_EQ(TARGET_DCIO_IN, target_kind_of(PERIPHERAL_CLASS_DCIO, 50, 0xF0));
    EXPECT_EQ(TARGET_DCIO_OTHER, target_kind_of(PERIPHERAL_CLASS_DCIO, 50, 0x0F));
    EXPECT_EQ(TARGET_MINI, target_kind_of(PERIPHERAL_CLASS_MINI_DCIO, 590, 0));
}

} // namespace
