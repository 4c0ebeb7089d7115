// The front panel's peripheral-add wizards: see peripheral_add.h.
#include "frontpanel/screens/peripheral_add.h"

#include "display/display_task.h"
#include "frontpanel/manager.h"
#include "peripherals/io/bridge.h"
#include "peripherals/io/dcio.h"
#include "peripherals/peripheral_task.h"
#include "peripherals/pl_iterator.h"
#include "runtime/console.h"
#include "store/database.h"
#include "store/objects.h"

#include <cstdio>
#include <cstring>
#include <iterator>

// --- the target boards and their pins ---------------------------------------------------

const pin_rule_row PIN_RULES[TARGET_KINDS] = {
    {TARGET_TCB, ">0,<21", "VALID FROM 1->20", ">0,<9", "VALID FROM 1->8"},
    {TARGET_DCIO_IN, ">0,<25", "VALID FROM 1->24", ">0,<4", "VALID FROM 1->3"},
    {TARGET_DCIO_OUT, ">0,<17", "VALID FROM 1->16", "=1,=2,=3,=17,=18,=19,=20,=21,=22,=23,=24",
     "VALID FROM 1->3 OR 17->24"},
    {TARGET_DCIO_OTHER, ">0,<17", "VALID FROM 1->16", ">0,<4", "VALID FROM 1->3"},
    {TARGET_MINI, "=1", "MUST BE 1", ">0,<3", "VALID FROM 1->2"},
    {TARGET_NINE_PIN, ">0,<10", "VALID FROM 1->9", ">0,<10", "VALID FROM 1->9"},
};

const pin_point_row PIN_POINTS[TARGET_KINDS] = {
    {TARGET_TCB, {16, 23, 31}, {8, 39, 39}, false, 0},
    {TARGET_DCIO_IN, {16, 23, 31}, {3, 39, 31}, false, 0},
    {TARGET_DCIO_OUT, {16, 23, 31}, {3, 39, 31}, false, 0},
    {TARGET_DCIO_OTHER, {16, 23, 31}, {3, 39, 31}, false, 0},
    {TARGET_MINI, {0, 31, 31}, {0, 23, 23}, false, 0},
    {TARGET_NINE_PIN, {0, 0, 0}, {0, 0, 0}, true, 40},
};

const uint8_t TARGET_CLASSES[3] = {PERIPHERAL_CLASS_DCIO, PERIPHERAL_CLASS_MINI_DCIO,
                                   PERIPHERAL_CLASS_ACIO};

namespace {

const uint16_t TCB_ID = 55;
const uint16_t INTAKE_FANS_ID = 510;

struct direction_kind {
    uint8_t code;
    add_target_kind kind;
};
const direction_kind PORT3_KINDS[] = {
    {DCIO::PORT_INPUT, TARGET_DCIO_IN},
    {DCIO::PORT_OUTPUT, TARGET_DCIO_OUT},
};

} // namespace

add_target_kind target_kind_of(uint8_t class_code, uint16_t id, uint8_t port3_direction) {
    if (class_code == PERIPHERAL_CLASS_MINI_DCIO) return TARGET_MINI;
    if (class_code == PERIPHERAL_CLASS_ACIO) return TARGET_NINE_PIN;
    if (id == TCB_ID) return TARGET_TCB;
    for (const direction_kind& d : PORT3_KINDS)
        if (d.code == port3_direction) return d.kind;
    return TARGET_DCIO_OTHER;
}

uint32_t pin_to_point(add_target_kind target, bool input, uint32_t pin) {
    const pin_point_row& row = PIN_POINTS[target];
    if (row.mirrored) return uint32_t(row.mirror_offset - int32_t(pin));
    const pin_span& span = input ? row.input : row.output;
    return uint32_t(int32_t(pin) + (pin <= span.split ? span.low : span.high));
}

// --- the plan of a finished wizard ----------------------------------------------------------

void add_plan::Add(uint16_t id, std::initializer_list<uint32_t> fields) {
    if (count >= MAX_ENTRIES) {
        too_long = true;
        return;
    }
    add_entry& entry = entries[count++];
    entry.id = id;
    size_t at = 0;
    entry.parameters[0] = 0;
    for (uint32_t field : fields) {
        int n = std::snprintf(entry.parameters + at, sizeof entry.parameters - at, "%s%X",
                              at ? "," : "", unsigned(field));
        at += size_t(n > 0 ? n : 0);
        if (at >= sizeof entry.parameters) at = sizeof entry.parameters - 1;
    }
    if (at > pl_iterator::PARAMETERS_MAX) too_long = true;
}

namespace {

// The texts of the common steps.
const char* const ADDRESS_ENTRIES[] = {"DEFAULT (RECOMMENDED)", "SPECIFY", nullptr};
const char* const LOCATION_ENTRIES[] = {"ON CONTROLLER'S LOCAL SENSORS", "ON LOCAL CONTROL PANEL",
                                        nullptr};
const uint8_t LOCATION_BUS[] = {2, 4};
const char* const DIRECTION_ENTRIES[] = {"SWITCH 5 ON (TB5 AND TB8 INPUT)",
                                         "SWITCH 5 OFF (TB5 AND TB8 OUTPUT)", nullptr};
const char* const NO_YES[] = {"NO", "YES", nullptr};
const uint8_t PORT_IN = DCIO::PORT_INPUT, PORT_OUT = DCIO::PORT_OUTPUT;

uint32_t mask_of(uint32_t first_point, uint32_t points) {
    uint32_t mask = 0;
    for (uint32_t k = 0; k < points; ++k)
        dcio_point_mask(first_point + k, mask, false);
    return mask;
}

// --- the layouts ---

void layout_point_board(const add_answers& a, add_plan& plan) {
    plan.Add(a.id, {a.point, a.board});
}

void layout_sensor(const add_answers& a, add_plan& plan) {
    plan.Add(a.id, {a.can_id, a.bus});
}

void layout_dcio(const add_answers& a, add_plan& plan) {
    if (a.id >= 590 && a.id <= 595) return plan.Add(a.id, {a.can_id, a.bus});
    plan.Add(a.id, {a.can_id, PORT_IN, PORT_IN, PORT_OUT, a.direction_output ? PORT_OUT : PORT_IN,
                    a.bus});
}

// Flashing: 0 alternate (two points), 1 sync; dimming: 1 beacon dimming.
void layout_beacon(const add_answers& a, add_plan& plan) {
    if (a.id != 700) return layout_point_board(a, plan);
    const bool alternate = a.list[0] == 0;
    plan.Add(a.id, {a.board, mask_of(a.point, alternate ? 2 : 1), 5, 5, alternate ? 6u : 5u,
                    a.list[1] == 1 ? 1u : 0u});
}

void layout_airflow(const add_answers& a, add_plan& plan) {
    for (uint32_t k = 0; k < a.count; ++k)
        plan.Add(uint16_t(710 + k), {a.board, mask_of(a.point + k, 1), 0});
    if (!a.intake_fans) plan.Add(720, {a.board, mask_of(a.extra_point, 1), 0});
}

void layout_rpm(const add_answers& a, add_plan& plan) {
    for (uint32_t k = 0; k < a.count; ++k)
        plan.Add(uint16_t(730 + k), {0x42521 + k, 1, 0});
    if (!a.intake_fans) plan.Add(749, {a.board, mask_of(a.point, 1), 0});
}

// Switch answers: extras 0 inputs, 1 activation input, 2 event, 3 delay,
// 4 slot offset, 5 momentary.
enum switch_choice : uint8_t { SWITCH_BINARY = 0, SWITCH_BCD = 1, SWITCH_BLANK = 2 };
const uint16_t SWITCH_IDS[2][2] = {{560, 570}, {650, 580}}; // [choice][activation input]

bool switch_activation(const add_answers& a) {
    return a.list[1] == 1;
}

void layout_switch(const add_answers& a, add_plan& plan) {
    if (a.choice == SWITCH_BLANK) return plan.Add(640, {a.point, a.board});
    const bool activation = switch_activation(a);
    const uint16_t id = SWITCH_IDS[a.choice == SWITCH_BCD][activation];
    const uint32_t inputs = a.number[0];
    const uint32_t momentary = a.list[5] == 1;
    if (activation) return plan.Add(id, {a.point, a.board, inputs});
    console_printf("Selection is %d\n", int(momentary));
    if (a.choice == SWITCH_BCD) return plan.Add(id, {a.point, a.board, inputs, 0, 0, 0, momentary});
    plan.Add(id, {a.point, a.board, inputs, a.list[2], a.number[3], a.number[4], momentary});
}

void layout_misc_io(const add_answers& a, add_plan& plan) {
    const uint32_t points = a.id == 671 ? a.number[0] : 2;
    plan.Add(a.id, {a.board, mask_of(a.point, points), 1});
}

void layout_overheight(const add_answers& a, add_plan& plan) {
    plan.Add(a.id, {a.point, a.board, a.list[0], a.id == 501 ? a.number[1] : 0});
}

void layout_aux_io(const add_answers& a, add_plan& plan) {
    const uint32_t width = a.number[0];
    plan.Add(a.id, {a.point + 1 - width, a.board, width});
}

void layout_power_supply(const add_answers&, add_plan& plan) {
    plan.remove_first = 100;
    plan.remove_last = 135;
}

// --- the conditions ---

bool without_intake_fans(const add_answers& a) {
    return !a.intake_fans;
}
bool beacon_gen2(const add_answers& a) {
    return a.id == 700;
}
bool switch_counts_inputs(const add_answers& a) {
    return a.choice != SWITCH_BLANK;
}
bool switch_asks_more(const add_answers& a) {
    return a.choice != SWITCH_BLANK && !switch_activation(a);
}
bool switch_binary_asks_more(const add_answers& a) {
    return a.choice == SWITCH_BINARY && !switch_activation(a);
}
bool misc_current_message(const add_answers& a) {
    return a.id == 671;
}
bool overheight_2(const add_answers& a) {
    return a.id == 501;
}
bool no_switch_live(const add_answers&) {
    for (uint16_t id : {560, 570, 650, 580, 640})
        if (ThePeripheralTask().Exists(id)) return false;
    return true;
}
bool small_modules(const add_answers&) {
    return CDisplay::ClassifyModuleType(db_get(obj::halvModuleID)) < 4;
}

// --- the choices ---

const add_choice LIGHT[] = {
    {"AMBIENT", 1, 0x42004, 0x42000, VARIANT_PLAIN},
    {"FRONT", 2, 0x42005, 0x42000, VARIANT_PLAIN},
    {"REAR", 3, 0x42001, 0x42000, VARIANT_PLAIN},
    {"LIGHT LINE 1", 150, 0x42001, 0x42000, VARIANT_PLAIN},
    {"LUX LIGHT LINE 1", 156, 0x55, 0x42010, VARIANT_PLAIN},
};
const add_choice TEMPERATURE[] = {
    {"EXTERNAL (AMBIENT)", 12, 0x42101, 0x42100, VARIANT_PLAIN},
    {"INTERNAL (SIGN1)", 13, 0x42105, 0x42100, VARIANT_PLAIN},
    {"INTERNAL (SIGN2)", 14, 0x42106, 0x42100, VARIANT_PLAIN},
    {"INTERNAL (SIGN3)", 15, 0x42107, 0x42100, VARIANT_PLAIN},
    {"INTERNAL (CABINET)", 11, 0x42108, 0x42100, VARIANT_PLAIN},
};
const add_choice HUMIDITY[] = {
    {"AMBIENT", 630, 0x42901, 0x42900, VARIANT_PLAIN},
    {"SIGN1", 631, 0x42905, 0x42900, VARIANT_PLAIN},
    {"SIGN2", 633, 0x42906, 0x42900, VARIANT_PLAIN},
    {"SIGN3", 634, 0x42907, 0x42900, VARIANT_PLAIN},
    {"CABINET", 632, 0x42908, 0x42900, VARIANT_PLAIN},
};
const add_choice DCIO_BOARDS[] = {
    {"DC I/O 1", 50, 0x42201, 0, VARIANT_DCIO},
    {"DC I/O 2", 51, 0x42202, 0, VARIANT_DCIO},
    {"DC I/O 3", 52, 0x42203, 0, VARIANT_DCIO},
    {"DC I/O 4", 53, 0x42204, 0, VARIANT_DCIO},
    {"DC I/O 5", 54, 0x42205, 0, VARIANT_DCIO},
    {"DC I/O 6", 56, 0x42206, 0, VARIANT_DCIO},
    {"TCB I/O 1", 55, 0x42201, 0, VARIANT_TCB},
    {"MINI DC I/O 1", 590, 0x42221, 0, VARIANT_MINI},
    {"MINI DC I/O 2", 591, 0x42222, 0, VARIANT_MINI},
    {"MINI DC I/O 3", 592, 0x42223, 0, VARIANT_MINI},
    {"MINI DC I/O 4", 593, 0x42224, 0, VARIANT_MINI},
    {"MINI DC I/O 5", 594, 0x42225, 0, VARIANT_MINI},
    {"MINI DC I/O 6", 595, 0x42226, 0, VARIANT_MINI},
};
const add_choice PTB[] = {
    {"PIXEL TEST BOARD1", 750, 0x42B01, 0, VARIANT_PLAIN},
    {"PIXEL TEST BOARD2", 751, 0x42B02, 0, VARIANT_PLAIN},
    {"PIXEL TEST BOARD3", 752, 0x42B03, 0, VARIANT_PLAIN},
    {"PIXEL TEST BOARD4", 753, 0x42B04, 0, VARIANT_PLAIN},
};
const add_choice ACIO_BOARDS[] = {{"AC I/O 1", 490, 0x42601, 0, VARIANT_PLAIN}};
const add_choice FANS[] = {{"INTAKE FANS", 510}, {"PIXEL FANS", 518}, {"FRONT FANS", 526}};
const add_choice FAN_STATUS[] = {
    {"INTAKE FAN STATUS", 514}, {"PIXEL FAN STATUS", 522}, {"FRONT FAN STATUS", 530}};
const add_choice GPO[] = {
    {"GP OUTPUT 1", 660}, {"GP OUTPUT 2", 661},  {"GP OUTPUT 3", 662}, {"GP OUTPUT 4", 663},
    {"GP OUTPUT 5", 664}, {"GP OUTPUT 6", 665},  {"GP OUTPUT 7", 666}, {"GP OUTPUT 8", 667},
    {"GP OUTPUT 9", 668}, {"GP OUTPUT 10", 669},
};
const add_choice DOORS[] = {
    {"DOOR SWITCH 1", 30}, {"DOOR SWITCH 2", 31}, {"DOOR SWITCH 3", 32}, {"DOOR SWITCH 4", 33},
    {"DOOR SWITCH 5", 34}, {"DOOR SWITCH 6", 35}, {"DOOR SWITCH 7", 36}, {"DOOR SWITCH 8", 37},
};
const add_choice HEATERS[] = {{"HEATERS", 534}, {"MAINTENANCE HEATERS", 542}};
const add_choice HEATER_STATUS[] = {{"HEATERS STATUS RELAY", 538},
                                    {"MAINTENACE HEATERS STATUS RELAY", 546}};
const add_choice SWITCH_INDICATOR[] = {{"BLANK INDICATOR 1", 641, 0, 0, VARIANT_PLAIN, false}};
const add_choice BEACONS[] = {{"BEACON GEN1", 40}, {"BEACON GEN2", 700}};
const add_choice SWITCHES[] = {
    {"BINARY", 560, 0, 0, VARIANT_PLAIN, false},
    {"BINARY COUNT DECIMAL (BCD)", 650, 0, 0, VARIANT_PLAIN, false},
    {"BLANK DISPLAY BUTTON", 640, 0, 0, VARIANT_PLAIN, false},
};
const add_choice MISC_IO[] = {{"FAULT/OK LED", 670}, {"CURRENT MESSAGE", 671}};
const add_choice OVERHEIGHT[] = {{"OVERHEIGHT 1", 500}, {"OVERHEIGHT 2", 501}};
const add_choice AUX_PORTS[] = {
    {"AUX I/O PORT 1", 470}, {"AUX I/O PORT 2", 471}, {"AUX I/O PORT 3", 472},
    {"AUX I/O PORT 4", 473}, {"AUX I/O PORT 5", 474}, {"AUX I/O PORT 6", 475},
    {"AUX I/O PORT 7", 476}, {"AUX I/O PORT 8", 477}, {"AUX I/O PORT 9", 478},
};

// --- the extra steps ---

const char* const FLASHING[] = {"ALTERNATE FLASH", "SYNC FLASH", nullptr};
const char* const DIMMING[] = {"NO DIMMING", "BEACON DIMMING", nullptr};
const add_extra_step BEACON_STEPS[] = {
    {STEP_LIST, "CHOOSE FLASHING OPERATION", nullptr, nullptr, nullptr, FLASHING, beacon_gen2},
    {STEP_LIST, "CHOOSE DIMMING OPERATION", nullptr, nullptr, nullptr, DIMMING, beacon_gen2},
};
const add_extra_step AIRFLOW_STEPS[] = {
    {STEP_NUMBER, "CHOOSE POWER SENSE INPUT", "NUMBER", nullptr, nullptr, nullptr,
     without_intake_fans, true, true},
};
const char* const EVENTS[] = {"ACTIVATE BY TRANSITION", "ACTIVATE BY PRIORITY", nullptr};
const add_extra_step SWITCH_STEPS[] = {
    {STEP_NUMBER, "HOW MANY INPUTS", "NUMBER", ">0,<9", nullptr, nullptr, switch_counts_inputs},
    {STEP_LIST, "USE ACTIVATION INPUT", nullptr, nullptr, nullptr, NO_YES, switch_asks_more},
    {STEP_LIST, "USE ACTIVATION EVENT", nullptr, nullptr, nullptr, EVENTS, switch_binary_asks_more},
    {STEP_NUMBER, "DELAY BEFORE BLANK", "SECONDS", nullptr, nullptr, nullptr,
     switch_binary_asks_more},
    {STEP_NUMBER, "MESSAGE SLOT OFFSET", "NUMBER UP TO 30", "<31", "SLOT 1 = OFFSET OF 0", nullptr,
     switch_binary_asks_more},
    {STEP_LIST, "USE MOMENTARY SWITCH", nullptr, nullptr, nullptr, NO_YES, switch_asks_more},
};
const add_extra_step MISC_IO_STEPS[] = {
    {STEP_NUMBER, "HOW MANY OUTPUTS", "NUMBER", ">0,<9", nullptr, nullptr, misc_current_message},
};
const char* const POLARITY[] = {"NORMALLY CLOSED", "NORMALLY OPEN", nullptr};
const add_extra_step OVERHEIGHT_STEPS[] = {
    {STEP_LIST, "CHOOSE CONTACT POLARITY", nullptr, nullptr, nullptr, POLARITY, nullptr},
    {STEP_NUMBER, "CHOOSE MESSAGE SLOT", "NUMBER", "<501", "USE ZERO FOR EMERGENCY", nullptr,
     overheight_2, true},
};
const add_extra_step AUX_IO_STEPS[] = {
    {STEP_NUMBER, "PORT WIDTH", "NUMBER", ">0,<10", nullptr, nullptr, nullptr, true},
};

template <size_t N> constexpr size_t count_of(const add_choice (&)[N]) {
    return N;
}
template <size_t N> constexpr size_t steps_of(const add_extra_step (&)[N]) {
    return N;
}

const char* const LIGHT_FRENCH = "AJOUTER CAPTEUR DE LUMINOSITE";

} // namespace

#define CHOICES(list) list, count_of(list), nullptr, nullptr
#define COUNT(rule, footer) nullptr, 0, rule, footer
#define EXTRAS(list) list, steps_of(list)
#define NO_EXTRAS nullptr, 0

const add_screen_row ADD_SCREENS[] = {
    // type, menu id, kind, step 0, address, direction, location, targets, targets asked,
    // extras, layout, visible, French step titles
    {TYPE_ADD_LIGHT, 153, ADD_CAN_BOARD, CHOICES(LIGHT), true, false, true, false, nullptr,
     NO_EXTRAS, layout_sensor, nullptr, LIGHT_FRENCH},
    {TYPE_ADD_TEMPERATURE, 154, ADD_CAN_BOARD, CHOICES(TEMPERATURE), true, false, true, false,
     nullptr, NO_EXTRAS, layout_sensor, nullptr, nullptr},
    {TYPE_ADD_HUMIDITY, 173, ADD_CAN_BOARD, CHOICES(HUMIDITY), true, false, true, false, nullptr,
     NO_EXTRAS, layout_sensor, nullptr, nullptr},
    {TYPE_ADD_DCIO, 164, ADD_CAN_BOARD, CHOICES(DCIO_BOARDS), false, true, true, false, nullptr,
     NO_EXTRAS, layout_dcio, nullptr, nullptr},
    {TYPE_ADD_PTB, 174, ADD_CAN_BOARD, CHOICES(PTB), false, false, false, false, nullptr, NO_EXTRAS,
     layout_sensor, nullptr, nullptr},
    {TYPE_ADD_ACIO, 184, ADD_CAN_BOARD, CHOICES(ACIO_BOARDS), false, false, true, false, nullptr,
     NO_EXTRAS, layout_sensor, nullptr, nullptr},
    {TYPE_ADD_FANS, 155, ADD_IO_OUTPUT, CHOICES(FANS), false, false, false, true, nullptr,
     NO_EXTRAS, layout_point_board, nullptr, nullptr},
    {TYPE_ADD_FAN_AIRFLOW, 157, ADD_IO_INPUT, COUNT(">0,<11", "FROM 1->10"), false, false, false,
     true, nullptr, EXTRAS(AIRFLOW_STEPS), layout_airflow, nullptr, nullptr},
    {TYPE_ADD_FAN_STATUS, 158, ADD_IO_INPUT, CHOICES(FAN_STATUS), false, false, false, true,
     nullptr, NO_EXTRAS, layout_point_board, nullptr, nullptr},
    {TYPE_ADD_FAN_RPM, 159, ADD_IO_INPUT, COUNT(">0,<17", "FROM 1->16"), false, false, false, true,
     without_intake_fans, NO_EXTRAS, layout_rpm, nullptr, nullptr},
    {TYPE_ADD_SWITCH, 170, ADD_IO_INPUT, CHOICES(SWITCHES), false, false, false, true, nullptr,
     EXTRAS(SWITCH_STEPS), layout_switch, no_switch_live, nullptr},
    {TYPE_ADD_MISC_IO, 177, ADD_IO_OUTPUT, CHOICES(MISC_IO), false, false, false, true, nullptr,
     EXTRAS(MISC_IO_STEPS), layout_misc_io, nullptr, nullptr},
    {TYPE_ADD_GPO, 175, ADD_IO_OUTPUT, CHOICES(GPO), false, false, false, true, nullptr, NO_EXTRAS,
     layout_point_board, nullptr, nullptr},
    {TYPE_ADD_POWER_SUPPLY, 166, ADD_IO_INPUT, COUNT(">0,<49", "FROM 1->48"), false, false, false,
     false, nullptr, NO_EXTRAS, layout_power_supply, small_modules, nullptr},
    {TYPE_ADD_BEACON, 167, ADD_IO_OUTPUT, CHOICES(BEACONS), false, false, false, true, nullptr,
     EXTRAS(BEACON_STEPS), layout_beacon, nullptr, nullptr},
    {TYPE_ADD_DOOR_SENSOR, 165, ADD_IO_INPUT, CHOICES(DOORS), false, false, false, true, nullptr,
     NO_EXTRAS, layout_point_board, nullptr, nullptr},
    {TYPE_ADD_HEATERS, 162, ADD_IO_OUTPUT, CHOICES(HEATERS), false, false, false, true, nullptr,
     NO_EXTRAS, layout_point_board, nullptr, nullptr},
    {TYPE_ADD_HEATER_STATUS, 163, ADD_IO_INPUT, CHOICES(HEATER_STATUS), false, false, false, true,
     nullptr, NO_EXTRAS, layout_point_board, nullptr, nullptr},
    {TYPE_ADD_OVERHEIGHT, 169, ADD_IO_INPUT, CHOICES(OVERHEIGHT), false, false, false, true,
     nullptr, EXTRAS(OVERHEIGHT_STEPS), layout_overheight, nullptr, nullptr},
    {TYPE_ADD_SWITCH_INDICATOR, 171, ADD_IO_OUTPUT, CHOICES(SWITCH_INDICATOR), false, false, false,
     true, nullptr, NO_EXTRAS, layout_point_board, nullptr, nullptr},
    {TYPE_ADD_AUX_IO, 185, ADD_IO_OUTPUT, CHOICES(AUX_PORTS), false, false, false, true, nullptr,
     EXTRAS(AUX_IO_STEPS), layout_aux_io, nullptr, nullptr},
};
const size_t ADD_SCREEN_COUNT = std::size(ADD_SCREENS);

#undef CHOICES
#undef COUNT
#undef EXTRAS
#undef NO_EXTRAS

const add_screen_row* add_screen_row_of(uint32_t type) {
    for (const add_screen_row& row : ADD_SCREENS)
        if (row.type == type) return &row;
    return nullptr;
}

// --- the wizard -------------------------------------------------------------------------------

namespace {

const char* const TARGET_TITLE = "ATTACH TO WHICH TARGET";
const char* const PIN_TITLE = "CHOOSE CONTROL PIN";
const char* const ADDRESS_TITLE = "SENSOR ADDRESS";

} // namespace

CLCD_PeripheralAdd::CLCD_PeripheralAdd(int32_t id, const add_screen_row& row)
    : CLCD_SimpleWizardBase(id, {"", ""}, RIGHT_PERIPHERALS), row_(row) {
    FillChoices();
    BuildSteps();
}

void CLCD_PeripheralAdd::FillChoices() {
    const size_t n = row_.choice_count < MAX_CHOICES ? row_.choice_count : MAX_CHOICES;
    for (size_t i = 0; i < n; ++i) {
        const add_choice& choice = row_.choices[i];
        choice_names_[i] = choice.name;
        if (choice.free_id_rule)
            std::snprintf(rule_texts_[i], sizeof rule_texts_[i], "?%u", unsigned(choice.id));
        choice_rules_[i] = rule_texts_[i];
    }
}

void CLCD_PeripheralAdd::Append(slot which) {
    AddStep(&slots_[which]);
}

void CLCD_PeripheralAdd::BuildSteps() {
    wizard_step& first = slots_[SLOT_FIRST];
    if (row_.choices) {
        first.kind = STEP_LIST;
        first.entries = choice_names_;
        first.entry_rules = choice_rules_;
    } else {
        first.kind = STEP_NUMBER;
        first.prompt = "HOW MANY";
        first.rule = row_.count_rule;
        first.footer = row_.count_footer;
    }
    Append(SLOT_FIRST);
    auto list = [this](slot which, const char* const* entries) {
        slots_[which].kind = STEP_LIST;
        slots_[which].entries = entries;
        Append(which);
    };
    if (row_.address) {
        list(SLOT_ADDRESS_LIST, ADDRESS_ENTRIES);
        wizard_step& number = slots_[SLOT_ADDRESS_NUMBER];
        number.prompt = "ADDRESS";
        number.rule = "<17";
        number.footer = "PRESS ENTER TO SAVE";
        Append(SLOT_ADDRESS_NUMBER);
    }
    if (row_.direction) list(SLOT_DIRECTION, DIRECTION_ENTRIES);
    if (row_.location) list(SLOT_LOCATION, LOCATION_ENTRIES);
    if (row_.targets) {
        list(SLOT_TARGET, target_names_);
        slots_[SLOT_PIN].prompt = "NUMBER";
        Append(SLOT_PIN);
    }
    for (size_t i = 0; i < row_.extra_count && i < MAX_EXTRAS; ++i) {
        const add_extra_step& extra = row_.extras[i];
        wizard_step& step = slots_[SLOT_EXTRA + i];
        step.kind = extra.kind;
        step.prompt = extra.prompt;
        step.rule = extra.rule;
        step.footer = extra.footer;
        step.entries = extra.entries;
        AddStep(&step);
    }
}

// Step titles in the panel's language.
void CLCD_PeripheralAdd::TitleSteps(bool french) {
    const char* french_all = french ? row_.french_steps : nullptr;
    slots_[SLOT_FIRST].title = Title(french);
    slots_[SLOT_ADDRESS_LIST].title = french_all ? french_all : ADDRESS_TITLE;
    slots_[SLOT_ADDRESS_NUMBER].title = french_all ? french_all : ADDRESS_TITLE;
    slots_[SLOT_DIRECTION].title = "SELECT PORT DIRECTION";
    slots_[SLOT_LOCATION].title = french_all ? french_all : "LOCATION";
    slots_[SLOT_TARGET].title = TARGET_TITLE;
    slots_[SLOT_PIN].title = PIN_TITLE;
    for (size_t i = 0; i < row_.extra_count && i < MAX_EXTRAS; ++i)
        slots_[SLOT_EXTRA + i].title = row_.extras[i].title;
}

void CLCD_PeripheralAdd::OnEnter(CLCD_Manager& manager) {
    CLCD_SimpleWizardBase::OnEnter(manager);
    TitleSteps(manager.French());
    slots_[SLOT_PIN].value = 0;
    slots_[SLOT_ADDRESS_NUMBER].value = 0;
    if (!row_.choices) slots_[SLOT_FIRST].value = 0;
    for (size_t i = 0; i < row_.extra_count && i < MAX_EXTRAS; ++i)
        if (row_.extras[i].cleared_on_entry) slots_[SLOT_EXTRA + i].value = 0;
}

bool CLCD_PeripheralAdd::HasRights(CLCD_Manager& manager) {
    if (!CMenuItem::HasRights(manager)) return false;
    if (row_.visible && !row_.visible(Answers())) return false;
    if (!row_.targets) return true;
    for (uint8_t class_code : TARGET_CLASSES) {
        unsigned cursor = 0;
        CPeripheral* board = nullptr;
        if (ThePeripheralTask().Registry().First(class_code, &cursor, &board)) return true;
    }
    return false;
}

size_t CLCD_PeripheralAdd::SlotOf(const wizard_step& step) const {
    return size_t(&step - slots_);
}

bool CLCD_PeripheralAdd::Asked(const wizard_step& step) const {
    const size_t slot = SlotOf(step);
    const add_answers answers = Answers();
    switch (slot) {
    case SLOT_ADDRESS_NUMBER:
        return slots_[SLOT_ADDRESS_LIST].selected == 1;
    case SLOT_DIRECTION:
        return row_.choices[answers.choice].variant == VARIANT_DCIO;
    case SLOT_TARGET:
    case SLOT_PIN:
        return !row_.targets_asked || row_.targets_asked(answers);
    default:
        break;
    }
    if (slot < SLOT_EXTRA) return true;
    const add_extra_step& extra = row_.extras[slot - SLOT_EXTRA];
    if (extra.pin && row_.targets_asked && !row_.targets_asked(answers)) return false;
    return !extra.asked || extra.asked(answers);
}

// The steps were added in slot order: the first held slot past the current
// position that is asked comes next.
bool CLCD_PeripheralAdd::NextStep(CLCD_Manager&, wizard_step&, uint32_t* index) {
    for (wizard_step& step : slots_)
        if (FindStep(&step) && step.index > *index && Asked(step)) {
            *index = step.index;
            return true;
        }
    return false;
}

void CLCD_PeripheralAdd::BuildTargets() {
    target_count_ = 0;
    for (uint8_t class_code : TARGET_CLASSES) {
        unsigned cursor = 0;
        CPeripheral* board = nullptr;
        pl_mediator& registry = ThePeripheralTask().Registry();
        for (bool found = registry.First(class_code, &cursor, &board);
             found && target_count_ < MAX_TARGETS;
             found = registry.Next(class_code, &cursor, &board)) {
            const DCIO* dcio = dynamic_cast<const DCIO*>(board);
            const uint8_t port3 = dcio ? dcio->GetPortDirection(3) : 0;
            const char* name = periph_id_to_name(board->Id());
            target_names_[target_count_] = name ? name : "BOARD";
            target_ids_[target_count_] = board->Id();
            target_kinds_[target_count_] = target_kind_of(class_code, board->Id(), port3);
            ++target_count_;
        }
    }
    target_names_[target_count_] = nullptr;
}

void CLCD_PeripheralAdd::SetPinRule(wizard_step& step) {
    const uint8_t chosen = slots_[SLOT_TARGET].selected;
    if (chosen < target_count_) {
        chosen_target_ = target_ids_[chosen];
        chosen_kind_ = target_kinds_[chosen];
    }
    const pin_rule_row& rule = PIN_RULES[chosen_kind_];
    const bool input = row_.kind == ADD_IO_INPUT;
    step.rule = input ? rule.input_rule : rule.output_rule;
    step.footer = input ? rule.input_footer : rule.output_footer;
}

void CLCD_PeripheralAdd::StepActivated(CLCD_Manager& manager, wizard_step& step) {
    CLCD_SimpleWizardBase::StepActivated(manager, step);
    const size_t slot = SlotOf(step);
    if (slot == SLOT_TARGET) BuildTargets();
    if (slot == SLOT_PIN || (slot >= SLOT_EXTRA && row_.extras[slot - SLOT_EXTRA].pin))
        SetPinRule(step);
}

uint32_t CLCD_PeripheralAdd::PointOf(uint32_t pin) const {
    return pin_to_point(chosen_kind_, row_.kind == ADD_IO_INPUT, pin);
}

add_answers CLCD_PeripheralAdd::Answers() const {
    add_answers a;
    const wizard_step& first = slots_[SLOT_FIRST];
    if (row_.choices) {
        a.choice = first.selected < row_.choice_count ? first.selected : 0;
        const add_choice& choice = row_.choices[a.choice];
        a.id = choice.id;
        a.can_id = choice.can_id;
        if (row_.address && slots_[SLOT_ADDRESS_LIST].selected == 1)
            a.can_id = choice.address_base + slots_[SLOT_ADDRESS_NUMBER].value;
    } else {
        a.count = first.value;
    }
    if (row_.location) a.bus = LOCATION_BUS[slots_[SLOT_LOCATION].selected & 1];
    a.direction_output = slots_[SLOT_DIRECTION].selected == 1;
    a.board = chosen_target_;
    a.point = PointOf(slots_[SLOT_PIN].value);
    for (size_t i = 0; i < row_.extra_count && i < MAX_EXTRAS; ++i) {
        const wizard_step& step = slots_[SLOT_EXTRA + i];
        a.list[i] = step.selected;
        a.number[i] = step.value;
        if (row_.extras[i].pin) a.extra_point = PointOf(step.value);
    }
    a.intake_fans = ThePeripheralTask().Exists(INTAKE_FANS_ID);
    return a;
}

void CLCD_PeripheralAdd::Plan(const add_screen_row& row, const add_answers& answers,
                              add_plan& plan) {
    row.layout(answers, plan);
}

namespace {

void remove_range(uint16_t first, uint16_t last) {
    pl_iterator list;
    for (uint32_t id = first; id <= last; ++id)
        list.Remove(uint16_t(id));
}

size_t free_slots() {
    pl_iterator list;
    pl_entry entry;
    size_t n = 0;
    while (list.NextFree(&entry))
        ++n;
    return n;
}

// Every entry of the plan can be stored, or none is.
bool storable(const add_plan& plan, const char* screen) {
    if (plan.too_long) {
        console_printf("%s: creation string too long, nothing stored\n", screen);
        return false;
    }
    pl_iterator list;
    for (size_t i = 0; i < plan.count; ++i)
        if (list.Contains(plan.entries[i].id)) {
            console_printf("%s: peripheral %u already stored, nothing stored\n", screen,
                           unsigned(plan.entries[i].id));
            return false;
        }
    if (free_slots() < plan.count) {
        console_printf("%s: stored peripheral list full, nothing stored\n", screen);
        return false;
    }
    return true;
}

} // namespace

void CLCD_PeripheralAdd::Finish(CLCD_Manager&) {
    add_plan plan;
    Plan(row_, Answers(), plan);
    if (plan.remove_last) return remove_range(plan.remove_first, plan.remove_last);
    if (!storable(plan, Title(false))) return;
    pl_iterator list;
    for (size_t i = 0; i < plan.count; ++i)
        list.Add(plan.entries[i].id, "%s", plan.entries[i].parameters);
}

// --- factory records ---------------------------------------------------------------------------

namespace {

template <uint32_t TYPE> CMenuItem* create_add_screen(int32_t id, const menu_row&) {
    const add_screen_row* row = add_screen_row_of(TYPE);
    return row ? new CLCD_PeripheralAdd(id, *row) : nullptr;
}

const menu_factory_record PERIPHERAL_ADD_RECORDS[] = {
    {TYPE_ADD_LIGHT, create_add_screen<TYPE_ADD_LIGHT>},
    {TYPE_ADD_TEMPERATURE, create_add_screen<TYPE_ADD_TEMPERATURE>},
    {TYPE_ADD_FANS, create_add_screen<TYPE_ADD_FANS>},
    {TYPE_ADD_FAN_AIRFLOW, create_add_screen<TYPE_ADD_FAN_AIRFLOW>},
    {TYPE_ADD_FAN_RPM, create_add_screen<TYPE_ADD_FAN_RPM>},
    {TYPE_ADD_FAN_STATUS, create_add_screen<TYPE_ADD_FAN_STATUS>},
    {TYPE_ADD_HEATERS, create_add_screen<TYPE_ADD_HEATERS>},
    {TYPE_ADD_HEATER_STATUS, create_add_screen<TYPE_ADD_HEATER_STATUS>},
    {TYPE_ADD_DCIO, create_add_screen<TYPE_ADD_DCIO>},
    {TYPE_ADD_DOOR_SENSOR, create_add_screen<TYPE_ADD_DOOR_SENSOR>},
    {TYPE_ADD_POWER_SUPPLY, create_add_screen<TYPE_ADD_POWER_SUPPLY>},
    {TYPE_ADD_BEACON, create_add_screen<TYPE_ADD_BEACON>},
    {TYPE_ADD_OVERHEIGHT, create_add_screen<TYPE_ADD_OVERHEIGHT>},
    {TYPE_ADD_SWITCH, create_add_screen<TYPE_ADD_SWITCH>},
    {TYPE_ADD_SWITCH_INDICATOR, create_add_screen<TYPE_ADD_SWITCH_INDICATOR>},
    {TYPE_ADD_HUMIDITY, create_add_screen<TYPE_ADD_HUMIDITY>},
    {TYPE_ADD_PTB, create_add_screen<TYPE_ADD_PTB>},
    {TYPE_ADD_GPO, create_add_screen<TYPE_ADD_GPO>},
    {TYPE_ADD_MISC_IO, create_add_screen<TYPE_ADD_MISC_IO>},
    {TYPE_ADD_ACIO, create_add_screen<TYPE_ADD_ACIO>},
    {TYPE_ADD_AUX_IO, create_add_screen<TYPE_ADD_AUX_IO>},
};

} // namespace

const menu_family PERIPHERAL_ADD_SCREENS = menu_family_of(PERIPHERAL_ADD_RECORDS);
