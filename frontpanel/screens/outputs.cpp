// The output test screens: see outputs.h.
#include "frontpanel/screens/outputs.h"

#include "display/display_task.h"
#include "frontpanel/manager.h"
#include "peripherals/climate.h"
#include "peripherals/io/climate_point.h"
#include "peripherals/peripheral_ids.h"
#include "peripherals/peripheral_task.h"
#include "store/database.h"
#include "store/objects.h"

#include <cstdio>
#include <iterator>

namespace {

struct climate_channel_row {
    uint16_t id;
    unsigned channel;
};
const climate_channel_row CLIMATE_CHANNELS[] = {
    {526, 1}, // FRONT FANS
    {518, 2}, // PIXEL FANS
    {534, 3}, // HEATERS
    {542, 4}, // MAINTENANCE HEATERS
};

const char* const TURN_ON = "TURN ON";
const char* const TURN_OFF = "TURN OFF";
const char* const RESTORE = "RESTORE NORMAL OPERATION";

// What a chosen answer asks of the timed-output table.
struct action_row {
    const char* const* text;
    uint8_t command;
};
const action_row ACTIONS[] = {
    {&TURN_ON, CClimateControl::COMMAND_ON},
    {&TURN_OFF, CClimateControl::COMMAND_OFF},
    {&RESTORE, CClimateControl::COMMAND_AUTO},
};

const uint8_t FAN_AND_HEATER_CLASSES[] = {PERIPHERAL_CLASS_FAN_CONTROL,
                                          PERIPHERAL_CLASS_HEATER_CONTROL};
const uint8_t AUX_PORT_CLASSES[] = {PERIPHERAL_CLASS_AUX_IO_PORT};

const int HEATER_OFF_TEMPERATURE = 25;
const char* const SAVE_HINT = "PRESS ENTER TO SAVE";
const uint32_t MODULE_CLASS_INVERTED_OUTPUTS = 2; // CDisplay::ClassifyModuleType
const uint32_t SECONDS_PER_MINUTE = 60;

} // namespace

unsigned climate_channel_of(uint16_t id) {
    for (const climate_channel_row& row : CLIMATE_CHANNELS)
        if (row.id == id) return row.channel;
    return 0;
}

void output_candidates::Build(const uint8_t* class_codes, size_t class_count) {
    count = 0;
    for (const char*& name : names)
        name = nullptr;
    pl_mediator& registry = ThePeripheralTask().Registry();
    for (size_t c = 0; c < class_count; ++c) {
        unsigned cursor = 0;
        CPeripheral* p = nullptr;
        for (bool more = registry.First(class_codes[c], &cursor, &p); more && count < CAPACITY;
             more = registry.Next(class_codes[c], &cursor, &p)) {
            ids[count] = p->Id();
            classes[count] = p->ClassCode();
            names[count++] = CPeripheralTask::IdToName(p->Id());
        }
    }
}

// --- fan and heater test ---------------------------------------------------------------

CLCD_TestFansHeaters::CLCD_TestFansHeaters(int32_t id) : CLCD_SimpleWizardBase(id) {
    choose_.kind = STEP_LIST;
    choose_.entries = candidates_.names;
    action_.kind = STEP_LIST;
    action_.entries = action_entries_;
    minutes_.kind = STEP_NUMBER;
    minutes_.title = "FOR HOW LONG";
    minutes_.prompt = "MINUTES";
    minutes_.rule = "<501";
    minutes_.rule_text = "<501";
    AddStep(&choose_);
    AddStep(&action_);
    AddStep(&minutes_);
}

namespace {
// Offered while there is something to drive (the wizard's own list is built
// at entry, so that asking never changes a list being answered).
bool offers_any(const uint8_t* class_codes, size_t class_count) {
    output_candidates probe;
    probe.Build(class_codes, class_count);
    return probe.count > 0;
}
} // namespace

bool CLCD_TestFansHeaters::HasRights(CLCD_Manager& manager) {
    return CLCD_SimpleWizardBase::HasRights(manager) &&
           offers_any(FAN_AND_HEATER_CLASSES, std::size(FAN_AND_HEATER_CLASSES));
}

void CLCD_TestFansHeaters::OnEnter(CLCD_Manager& manager) {
    CLCD_SimpleWizardBase::OnEnter(manager);
    choose_.title = Title(manager.French());
    action_.title = choose_.title;
    minutes_.value = 0;
    footer_[0] = '\0';
    candidates_.Build(FAN_AND_HEATER_CLASSES, std::size(FAN_AND_HEATER_CLASSES));
}

uint16_t CLCD_TestFansHeaters::ChosenId() const {
    return choose_.selected < candidates_.count ? candidates_.ids[choose_.selected] : 0;
}

// The answers that make sense for the output as it is now and as the table
// holds it.
void CLCD_TestFansHeaters::OfferActions(CLCD_Manager&) {
    CClimatePoint* point =
        dynamic_cast<CClimatePoint*>(ThePeripheralTask().GetPeripheral(ChosenId()));
    bool on = point != nullptr && point->IsOn();
    if (CDisplay::ClassifyModuleType(db_get(obj::halvModuleID)) == MODULE_CLASS_INVERTED_OUTPUTS)
        on = !on;
    unsigned channel = climate_channel_of(ChosenId());
    switch (ThePeripheralTask().Climate().TimedCommand(channel)) {
    case CClimateControl::COMMAND_ON:
        action_entries_[0] = RESTORE;
        action_entries_[1] = TURN_OFF;
        break;
    case CClimateControl::COMMAND_OFF:
        action_entries_[0] = RESTORE;
        action_entries_[1] = TURN_ON;
        break;
    default:
        action_entries_[0] = on ? TURN_OFF : TURN_ON;
        action_entries_[1] = nullptr;
        break;
    }
    action_entries_[2] = nullptr;
}

void CLCD_TestFansHeaters::StepActivated(CLCD_Manager& manager, wizard_step& step) {
    CLCD_SimpleWizardBase::StepActivated(manager, step);
    if (&step == &action_) OfferActions(manager);
    if (&step != &minutes_) return;
    bool heater = choose_.selected < candidates_.count &&
                  candidates_.classes[choose_.selected] == PERIPHERAL_CLASS_HEATER_CONTROL;
    if (heater)
        std::snprintf(footer_, sizeof footer_, "OFF WHEN SIGN TEMP >= %d", HEATER_OFF_TEMPERATURE);
    else
        std::snprintf(footer_, sizeof footer_, "%s", SAVE_HINT);
    minutes_.footer = footer_;
}

bool CLCD_TestFansHeaters::NextStep(CLCD_Manager& manager, wizard_step& step, uint32_t* index) {
    // Restoring normal operation needs no duration.
    if (&step == &action_ && action_.selected_entry == RESTORE) return false;
    return CLCD_SimpleWizardBase::NextStep(manager, step, index);
}

void CLCD_TestFansHeaters::Finish(CLCD_Manager&) {
    for (const action_row& action : ACTIONS) {
        if (*action.text != action_.selected_entry) continue;
        ThePeripheralTask().Climate().SetTimedCommand(
            climate_channel_of(ChosenId()), action.command, minutes_.value * SECONDS_PER_MINUTE);
        return;
    }
}

// --- aux I/O port control --------------------------------------------------------------

CLCD_AuxIOPortControl::CLCD_AuxIOPortControl(int32_t id) : CLCD_SimpleWizardBase(id) {
    choose_.kind = STEP_LIST;
    choose_.entries = candidates_.names;
    state_.kind = STEP_NUMBER;
    state_.title = "SET STATE";
    state_.prompt = "VALID FROM 0->9";
    state_.rule = "<10";
    state_.rule_text = "<10";
    state_.footer = SAVE_HINT;
    AddStep(&choose_);
    AddStep(&state_);
}

bool CLCD_AuxIOPortControl::HasRights(CLCD_Manager& manager) {
    return CLCD_SimpleWizardBase::HasRights(manager) &&
           offers_any(AUX_PORT_CLASSES, std::size(AUX_PORT_CLASSES));
}

void CLCD_AuxIOPortControl::OnEnter(CLCD_Manager& manager) {
    CLCD_SimpleWizardBase::OnEnter(manager);
    choose_.title = Title(manager.French());
    state_.value = 0;
    candidates_.Build(AUX_PORT_CLASSES, std::size(AUX_PORT_CLASSES));
}

void CLCD_AuxIOPortControl::Finish(CLCD_Manager&) {
    if (choose_.selected >= candidates_.count) return;
    CPeripheral* p = ThePeripheralTask().GetPeripheral(candidates_.ids[choose_.selected]);
    CPointPeripheral* port = dynamic_cast<CPointPeripheral*>(p);
    if (port == nullptr) return;
    int32_t row = port->AuxRow(0);
    if (row >= 0 && uint32_t(row) < obj::auxIOPortValue.rows)
        db_set(obj::auxIOPortValue.row(uint32_t(row)), state_.value, DB_NOTIFY);
}

// --- factory records -------------------------------------------------------------------

namespace {
const menu_factory_record OUTPUT_RECORDS[] = {
    {TYPE_TEST_FANS_HEATERS, menu_create<CLCD_TestFansHeaters>},
    {TYPE_AUX_IO_CONTROL, menu_create<CLCD_AuxIOPortControl>},
};
} // namespace

const menu_family OUTPUT_SCREENS = menu_family_of(OUTPUT_RECORDS);
