// The stored peripheral list's maintenance screens: see peripheral_maint.h.
#include "frontpanel/screens/peripheral_maint.h"

#include "frontpanel/lcd.h"
#include "frontpanel/manager.h"
#include "peripherals/peripheral_task.h"
#include "peripherals/pl_iterator.h"
#include "runtime/letter_codes.h"
#include "runtime/post_office.h"
#include "store/database.h"
#include "store/objects.h"

namespace {

const char* const CONFIRM = "CONFIRM";
const char* const CANCEL = "CANCEL";
const uint8_t CONFIRM_CHOICE = 0;
const uint8_t LOAD_ERROR_BIT = 0x01; // halvPeripheralStatus
const uint8_t NOTICE_ROW = 8;
const menu_text GONE = {"PERIPHERAL NO LONGER STORED", "PERIPHERIQUE ABSENT"};

const uint32_t DETECTION_COMPLETE = 1; // the task's event value
const char* const DOTS[4] = {"   ", ".  ", ".. ", "..."};

void fill_confirm(const char** entries) {
    entries[0] = CONFIRM; // both languages
    entries[1] = CANCEL;
    entries[2] = nullptr;
}

// Calls `visit(slot, id)` for every used stored slot, in slot order.
template <class Visit> void for_each_stored(Visit visit) {
    for (uint16_t slot = 0; slot < pl_iterator::SLOTS; ++slot) {
        uint32_t id = db_get(obj::halvPeripheralID.row(slot));
        if (id != 0) visit(slot, uint16_t(id));
    }
}

bool load_failed(uint16_t slot) {
    return (db_get(obj::halvPeripheralStatus.row(slot)) & LOAD_ERROR_BIT) != 0;
}

} // namespace

// --- delete one ------------------------------------------------------------------------

CLCD_PeripheralDelete::CLCD_PeripheralDelete(int32_t id) : CLCD_SimpleWizardBase(id) {
    choose_.kind = STEP_LIST;
    choose_.entries = names_;
    confirm_.kind = STEP_LIST;
    confirm_.entries = confirm_entries_;
    AddStep(&choose_);
    AddStep(&confirm_);
}

void CLCD_PeripheralDelete::OnEnter(CLCD_Manager& manager) {
    CLCD_SimpleWizardBase::OnEnter(manager);
    choose_.title = Title(manager.French());
    confirm_.title = choose_.title;
    fill_confirm(confirm_entries_);
    gone_notice_ = 0;
    Rebuild();
}

void CLCD_PeripheralDelete::Rebuild() {
    count_ = 0;
    for (const char*& name : names_)
        name = nullptr;
    for_each_stored([this](uint16_t, uint16_t id) {
        if (count_ == TABLE_SIZE) return;
        ids_[count_] = id;
        names_[count_++] = CPeripheralTask::IdToName(id);
    });
}

void CLCD_PeripheralDelete::StepActivated(CLCD_Manager& manager, wizard_step& step) {
    CLCD_SimpleWizardBase::StepActivated(manager, step);
    if (&step == &choose_) Rebuild();
}

uint16_t CLCD_PeripheralDelete::ChosenStoredId() const {
    if (choose_.selected >= count_) return 0;
    uint16_t id = ids_[choose_.selected];
    uint16_t slot = 0;
    return pl_iterator().FindSlot(id, &slot) ? id : 0;
}

bool CLCD_PeripheralDelete::NextStep(CLCD_Manager& manager, wizard_step& step, uint32_t* index) {
    gone_notice_ = 0;
    bool confirming = &step == &confirm_ && confirm_.selected == CONFIRM_CHOICE;
    if ((&step == &choose_ || confirming) && ChosenStoredId() == 0) {
        gone_notice_ = 1; // back to the rebuilt list, nothing removed
        *index = choose_.index;
        return true;
    }
    return CLCD_SimpleWizardBase::NextStep(manager, step, index);
}

void CLCD_PeripheralDelete::Finish(CLCD_Manager&) {
    if (confirm_.selected != CONFIRM_CHOICE) return;
    if (uint16_t id = ChosenStoredId()) pl_iterator().Remove(id);
}

void CLCD_PeripheralDelete::Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) {
    CLCD_SimpleWizardBase::Draw(manager, lcd, phase);
    if (gone_notice_ && phase == DRAW_FULL)
        lcd.PrintLine(NOTICE_ROW, LCD_CENTRE, "%s", GONE.Of(manager.French()));
}

// --- delete all ------------------------------------------------------------------------

CLCD_PeripheralDeleteAll::CLCD_PeripheralDeleteAll(int32_t id) : CLCD_OneListWizard(id, {"", ""}) {}

void CLCD_PeripheralDeleteAll::OnEnter(CLCD_Manager& manager) {
    CLCD_OneListWizard::OnEnter(manager);
    list_.title = Title(manager.French());
}

void CLCD_PeripheralDeleteAll::FillEntries(bool) {
    fill_confirm(entries_);
}

void CLCD_PeripheralDeleteAll::Finish(CLCD_Manager&) {
    if (list_.selected == CONFIRM_CHOICE) pl_iterator().Clear();
}

// --- init errors -----------------------------------------------------------------------

CLCD_PeripheralErrors::CLCD_PeripheralErrors(int32_t id) : CLCD_OneListWizard(id, {"", ""}) {}

bool CLCD_PeripheralErrors::HasRights(CLCD_Manager& manager) {
    if (!CLCD_OneListWizard::HasRights(manager)) return false;
    bool any = false;
    for_each_stored([&any](uint16_t slot, uint16_t) { any = any || load_failed(slot); });
    return any;
}

void CLCD_PeripheralErrors::OnEnter(CLCD_Manager& manager) {
    CLCD_OneListWizard::OnEnter(manager);
    list_.title = Title(manager.French());
}

void CLCD_PeripheralErrors::FillEntries(bool) {
    for (const char*& entry : entries_)
        entry = nullptr;
    size_t count = 0;
    for_each_stored([this, &count](uint16_t slot, uint16_t id) {
        if (load_failed(slot) && count < CLCD_SimpleWizardBase::MAX_ENTRIES)
            entries_[count++] = CPeripheralTask::IdToName(id);
    });
}

void CLCD_PeripheralErrors::Finish(CLCD_Manager&) {}

// --- auto-detect -----------------------------------------------------------------------

CLCD_PeripheralAutoDetect::CLCD_PeripheralAutoDetect()
    : CLCD_SimpleWizardBaseMenu(MENU_ID, {"PERIPHERAL AUTO DETECT", ""}, RIGHT_PERIPHERALS) {}

void CLCD_PeripheralAutoDetect::Reset() {
    state_ = STATE_ASK;
    animation_ = 0;
    step.after_key = AFTER_KEY_NOTHING;
}

void CLCD_PeripheralAutoDetect::OnEnter(CLCD_Manager&) {
    Reset();
}

void CLCD_PeripheralAutoDetect::OnActivated(CLCD_Manager& manager) {
    CLCD_SimpleWizardBaseMenu::OnActivated(manager);
    Reset();
}

bool CLCD_PeripheralAutoDetect::OnKey(CLCD_Manager& manager, uint16_t* key) {
    uint16_t code = key_event_code(*key);
    switch (state_) {
    case STATE_ASK:
        if (code == '1') {
            // The task empties the stored list, then detects and stores.
            the_post_office().post(LETTER_PERIPHERAL_AUTODETECT);
            state_ = STATE_DETECTING;
        } else if (code == '2' || code == KEY_ESCAPE) {
            step.after_key = AFTER_KEY_PARENT;
            return true;
        }
        manager.RequestRedraw(DRAW_PARTIAL);
        return true;
    case STATE_DETECTING:
        return true;
    default:
        if (code != KEY_ENTER) return false;
        step.after_key = AFTER_KEY_ADVANCE;
        manager.RequestRedraw(DRAW_PARTIAL);
        return true;
    }
}

void CLCD_PeripheralAutoDetect::OnEvent(CLCD_Manager& manager, const letter_s& letter) {
    if (state_ != STATE_DETECTING || letter.count != 2) return;
    if (letter.get_u32(4) != DETECTION_COMPLETE) return;
    state_ = STATE_COMPLETE;
    manager.RequestRedraw(DRAW_PARTIAL);
}

void CLCD_PeripheralAutoDetect::Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) {
    if (phase == DRAW_FULL) lcd.Print(1, LCD_CENTRE, "%s", Title(manager.French()));
    animation_ = uint8_t((animation_ + 1) % 4);
    switch (state_) {
    case STATE_ASK:
        lcd.PrintAt(2, 1, LCD_LEFT, "1) %s", CONFIRM);
        lcd.PrintAt(3, 1, LCD_LEFT, "2) %s", CANCEL);
        break;
    case STATE_DETECTING:
        lcd.ClearLine(2);
        lcd.ClearLine(3);
        lcd.PrintLine(4, LCD_CENTRE, "DETECTING, PLEASE WAIT%s", DOTS[animation_]);
        break;
    default:
        lcd.PrintLine(4, LCD_CENTRE, "COMPLETE");
        lcd.PrintLine(8, LCD_CENTRE, "PRESS ENTER TO CONTINUE");
        break;
    }
}

CLCD_PeripheralAutoDetectWiz::CLCD_PeripheralAutoDetectWiz(int32_t id) : CLCD_SimpleWizardBase(id) {
    AddStep(&detect_.step);
}

void CLCD_PeripheralAutoDetectWiz::OnEnter(CLCD_Manager& manager) {
    detect_.SetTitle(TitleText());
    detect_.SetRightsMask(RightsMask());
    CLCD_SimpleWizardBase::OnEnter(manager);
}

void CLCD_PeripheralAutoDetectWiz::Finish(CLCD_Manager&) {}

// --- factory records -------------------------------------------------------------------

namespace {
const menu_factory_record PERIPHERAL_MAINT_RECORDS[] = {
    {TYPE_PERIPHERAL_DELETE, menu_create<CLCD_PeripheralDelete>},
    {TYPE_PERIPHERAL_DELETE_ALL, menu_create<CLCD_PeripheralDeleteAll>},
    {TYPE_PERIPHERAL_ERRORS, menu_create<CLCD_PeripheralErrors>},
    {TYPE_PERIPHERAL_AUTO_DETECT, menu_create<CLCD_PeripheralAutoDetectWiz>},
};
} // namespace

const menu_family PERIPHERAL_MAINT_SCREENS = menu_family_of(PERIPHERAL_MAINT_RECORDS);
