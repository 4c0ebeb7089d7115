// The run and schedule screens (see run.h).
#include "frontpanel/screens/run.h"

#include "frontpanel/keyboard_decoder.h"
#include "frontpanel/lcd.h"
#include "frontpanel/manager.h"
#include "store/database.h"
#include "store/objects.h"

namespace {

const uint16_t UNTIL_REPLACED = 65535;
const int32_t MENU_RUN_DURATION = 24;
const int32_t MENU_SCHEDULE_START = 37;
const int32_t MENU_SCHEDULE_STOP = 38;
const uint32_t MEMORY_SCHEDULE = 6;
const uint32_t MEMORY_BLANK = 7;
// dmsMsgSourceMode while the time-base schedule drives the sign.
const uint32_t SOURCE_TIMEBASE_SCHEDULER = 9;

const menu_text RUN_OPTION_ROWS[] = {
    {"1) RUN CONTINUOUS", "1) AFFICHAGE CONTINU"},
    {"2) RUN DURATION", "2) AFFICHAGE DUREE DEFINIE"},
    {"3) DO NOT RUN", "3) NE PAS AFFICHER"},
    {"4) GO BACK", "4) RETOUR"},
};

// The prompt of the duration and the column of the minutes.
struct duration_layout {
    const char* label;
    const char* hint;
    uint8_t column;
};
const duration_layout DURATION_LAYOUT[2] = {
    {"DURATION:", "ENTER DURATION IN MINUTES", 24},
    {"DUREE:", "ENTRER LA DUREE EN MINUTES", 21},
};
const uint8_t DURATION_ROW = 4;
const uint8_t DURATION_LABEL_COLUMN = 14;

const choice_row CONFIRM_CHOICES[] = {
    {1, {"CONFIRM", "CONFIRMER"}, MENU_PARENT},
    {0, {"CANCEL", "ANNULER"}, MENU_PARENT},
};

} // namespace

// --- run options --------------------------------------------------------------------------

CLCD_RunOptions::CLCD_RunOptions(int32_t id) : CMenuItem(id) {}

bool CLCD_RunOptions::OnKey(CLCD_Manager& manager, uint16_t* key) {
    if (key == nullptr) return false;
    switch (key_event_code(*key)) {
    case '1':
        manager.ActivateMessage(UNTIL_REPLACED);
        manager.ActivateMenu(MENU_MESSAGE_CONTROL, this, false);
        return true;
    case '2':
        manager.ActivateMenu(MENU_RUN_DURATION, this, false);
        return true;
    case '3':
        manager.ActivateMenu(MENU_MESSAGE_CONTROL, this, false);
        return true;
    case '4':
        manager.ActivateMenu(MENU_PARENT, this, false);
        return true;
    default:
        return false;
    }
}

void CLCD_RunOptions::Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) {
    if (phase != DRAW_FULL) return;
    const bool french = manager.French();
    lcd.Print(1, LCD_CENTRE, "%s", Title(french));
    uint8_t row = 2;
    for (const menu_text& text : RUN_OPTION_ROWS)
        lcd.PrintLine(row++, LCD_LEFT, "%s", text.Of(french));
}

// --- run duration -------------------------------------------------------------------------

CLCD_RunDuration::CLCD_RunDuration(int32_t id) : CMenuItem(id) {}

void CLCD_RunDuration::OnEnter(CLCD_Manager&) {
    minutes_ = 0;
}

bool CLCD_RunDuration::OnKey(CLCD_Manager& manager, uint16_t* key) {
    if (key == nullptr) return false;
    if (manager.EditNumber(&minutes_, MAX_MINUTES, key, true)) return true;
    if (key_event_code(*key) != KEY_ENTER) return false;
    // No duration typed yet: the key is the screen's and nothing runs.
    if (minutes_ == 0) return true;
    manager.ActivateMessage(uint16_t(minutes_));
    manager.ActivateMenu(MENU_MESSAGE_CONTROL, this, false);
    return true;
}

void CLCD_RunDuration::Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) {
    if (phase == DRAW_PERIODIC) return;
    const bool french = manager.French();
    const duration_layout& layout = DURATION_LAYOUT[french ? 1 : 0];
    if (phase == DRAW_FULL) {
        lcd.Print(1, LCD_CENTRE, "%s", Title(french));
        lcd.PrintRowCol(DURATION_ROW, DURATION_LABEL_COLUMN, "%s", layout.label);
        lcd.Print(8, LCD_CENTRE, "%s", layout.hint);
        manager.SetCursor(true, DURATION_ROW, layout.column);
    }
    manager.DrawNumber(DURATION_ROW, layout.column, int32_t(minutes_), 4, true);
}

// --- the schedule -------------------------------------------------------------------------

const schedule_action SCHEDULE_ACTIONS[2] = {
    {MENU_SCHEDULE_START, false, MEMORY_SCHEDULE},
    {MENU_SCHEDULE_STOP, true, MEMORY_BLANK},
};

namespace {

const schedule_action& action_of(int32_t id) {
    for (const schedule_action& action : SCHEDULE_ACTIONS)
        if (action.menu_id == id) return action;
    return SCHEDULE_ACTIONS[0];
}

} // namespace

CLCD_ScheduleAction::CLCD_ScheduleAction(int32_t id)
    : CLCD_SimpleMenuBase(id), action_(&action_of(id)) {
    AddChoices(CONFIRM_CHOICES);
}

bool CLCD_ScheduleAction::HasRights(CLCD_Manager& manager) {
    const bool scheduled = db_get(obj::dmsMsgSourceMode) == SOURCE_TIMEBASE_SCHEDULER;
    return CLCD_SimpleMenuBase::HasRights(manager) && scheduled == action_->while_scheduled;
}

void CLCD_ScheduleAction::OnSelect(CLCD_Manager& manager, const choice_row& choice) {
    if (choice.value == 0) return;
    manager.SetPendingActivation(action_->memory_type, 1);
    manager.ActivateMessage(UNTIL_REPLACED);
}

namespace {

const menu_factory_record RUN_SCREEN_RECORDS[] = {
    {TYPE_RUN_OPTIONS, menu_create<CLCD_RunOptions>},
    {TYPE_RUN_DURATION, menu_create<CLCD_RunDuration>},
    {TYPE_SCHEDULE_START, menu_create<CLCD_ScheduleAction>},
    {TYPE_SCHEDULE_STOP, menu_create<CLCD_ScheduleAction>},
};

} // namespace

extern const menu_family RUN_SCREENS = menu_family_of(RUN_SCREEN_RECORDS);
