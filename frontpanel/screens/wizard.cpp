// The wizard base of the front panel: see wizard.h.
#include "frontpanel/screens/wizard.h"

#include "frontpanel/lcd.h"
#include "frontpanel/manager.h"
#include "frontpanel/restriction.h"
#include "frontpanel/services.h"
#include "runtime/console.h"
#include "store/database.h"
#include "store/objects.h"

#include <cstdio>
#include <cstring>

namespace {

const uint8_t RESTRICTION_ROW = 2;
const uint8_t VALUE_ROW = 4;
const uint8_t PROMPT_COLUMN = 10;
const uint8_t FOOTER_ROW = 8;
const uint8_t FULL = DRAW_FULL;
const uint8_t PARTIAL = DRAW_PARTIAL;

const char* or_empty(const char* text) {
    return text ? text : "";
}
uint8_t length_of(const char* text) {
    return text ? uint8_t(std::strlen(text)) : 0;
}

bool is_digit_code(uint16_t code) {
    return code >= '0' && code <= '9';
}
// Keys that end the integer part of a decimal.
bool enters_point(uint16_t code) {
    return code == KEY_ENTER || code == KEY_RIGHT || code == '.' || code == KEY_DELETE;
}

uint8_t rows_per_page(const wizard_step& step) {
    return step.rows_per_page ? step.rows_per_page : 6;
}

} // namespace

bool is_erase_key(uint16_t key) {
    uint16_t code = key_event_code(key);
    return code == KEY_BACKSPACE || (code == KEY_LEFT && (key & KEY_EVENT_KEYPAD));
}

// --- the kinds of step -------------------------------------------------------------

struct CLCD_SimpleWizardBase::kind_row {
    bool (CLCD_SimpleWizardBase::*key)(CLCD_Manager&, wizard_step&, uint16_t*);
    void (CLCD_SimpleWizardBase::*draw)(CLCD_Manager&, CLCD&, wizard_step&, uint8_t);
};

const CLCD_SimpleWizardBase::kind_row CLCD_SimpleWizardBase::KINDS[STEP_KINDS] = {
    {&CLCD_SimpleWizardBase::KeyNumber, &CLCD_SimpleWizardBase::DrawNumber},
    {&CLCD_SimpleWizardBase::KeyDecimal, &CLCD_SimpleWizardBase::DrawDecimal},
    {&CLCD_SimpleWizardBase::KeyText, &CLCD_SimpleWizardBase::DrawText},
    {&CLCD_SimpleWizardBase::KeyList, &CLCD_SimpleWizardBase::DrawList},
    {&CLCD_SimpleWizardBase::KeyItem, &CLCD_SimpleWizardBase::DrawItem},
};

CLCD_SimpleWizardBase::CLCD_SimpleWizardBase(int32_t id, menu_text title, uint32_t rights)
    : CMenuItem(id, title, rights) {}

CLCD_SimpleWizardBaseMenu::CLCD_SimpleWizardBaseMenu(int32_t id, menu_text title, uint32_t rights)
    : CMenuItem(id, title, rights) {
    step.kind = STEP_ITEM;
    step.item = this;
    step.after_key = AFTER_KEY_WHEN_DONE;
}

// --- steps -------------------------------------------------------------------------------

bool CLCD_SimpleWizardBase::AddStep(wizard_step* step) {
    if (!step || count_ >= MAX_STEPS) {
        console_printf("CLCD_SimpleWizardBase::AddStep: no room for step %u\n",
                       static_cast<unsigned>(count_));
        return false;
    }
    step->index = uint8_t(count_);
    steps_[count_++] = step;
    return true;
}

bool CLCD_SimpleWizardBase::RemoveStep(wizard_step* step) {
    for (uint32_t i = 0; i < count_; ++i) {
        if (steps_[i] != step) continue;
        step->index = 0;
        for (uint32_t j = i + 1; j < count_; ++j)
            steps_[j - 1] = steps_[j];
        steps_[--count_] = nullptr;
        if (current_ >= count_) current_ = count_ ? count_ - 1 : 0;
        return true;
    }
    return false;
}

void CLCD_SimpleWizardBase::ClearSteps() {
    for (uint32_t i = 0; i < count_; ++i)
        steps_[i]->index = 0;
    std::memset(steps_, 0, sizeof steps_);
    count_ = 0;
    current_ = 0;
}

bool CLCD_SimpleWizardBase::FindStep(const wizard_step* step) const {
    for (uint32_t i = 0; i < count_; ++i)
        if (steps_[i] == step) return true;
    return false;
}

// --- moving between steps ----------------------------------------------------------------

bool CLCD_SimpleWizardBase::NextStep(CLCD_Manager&, wizard_step&, uint32_t* index) {
    if (*index + 1 >= count_) return false;
    ++*index;
    return true;
}

void CLCD_SimpleWizardBase::StepActivated(CLCD_Manager& manager, wizard_step& step) {
    if (step.kind == STEP_ITEM && step.item) step.item->OnActivated(manager);
}

void CLCD_SimpleWizardBase::StepLeave(CLCD_Manager& manager, wizard_step& step) {
    if (step.kind == STEP_ITEM && step.item) step.item->OnLeave(manager, Id());
}

void CLCD_SimpleWizardBase::AfterStepMove(CLCD_Manager& manager) {
    manager.SetCursor(false, -1, -1);
    manager.RequestRedraw(FULL);
    page_ = 0;
}

bool CLCD_SimpleWizardBase::StepForward(CLCD_Manager& manager) {
    if (!count_) return false;
    uint32_t old = current_;
    uint32_t index = current_;
    wizard_step& step = *steps_[old];
    bool moved = step.callback ? step.callback(step, &index) : NextStep(manager, step, &index);
    if (!moved || index >= count_) return false;
    current_ = index;
    wizard_step& next = *steps_[current_];
    StepActivated(manager, next);
    next.back_link = uint8_t(old);
    StepLeave(manager, step);
    AfterStepMove(manager);
    return true;
}

bool CLCD_SimpleWizardBase::StepBack(CLCD_Manager& manager) {
    if (!count_ || current_ == 0) return false;
    wizard_step& step = *steps_[current_];
    StepLeave(manager, step);
    current_ = step.back_link < count_ ? step.back_link : 0;
    StepActivated(manager, *steps_[current_]);
    AfterStepMove(manager);
    return true;
}

void CLCD_SimpleWizardBase::ReturnToParent(CLCD_Manager& manager) {
    manager.ActivateMenu(MENU_PARENT, this, true);
}

void CLCD_SimpleWizardBase::Complete(CLCD_Manager& manager) {
    if (StepForward(manager)) return;
    Finish(manager);
    ReturnToParent(manager);
}

// --- checks --------------------------------------------------------------------------------

bool CLCD_SimpleWizardBase::ValidateNumberStep(const wizard_step& step) {
    return restriction_rule::Parse(step.rule).AcceptsNumber(step.value);
}

bool CLCD_SimpleWizardBase::ValidateStep(const wizard_step& step) {
    return restriction_rule::Parse(step.rule).AcceptsDecimal(step.value, step.fraction);
}

bool CLCD_SimpleWizardBase::CheckPeripheralFree(const wizard_step& step, uint32_t entry) {
    if (!step.entry_rules || !step.entry_rules[entry]) return true;
    uint32_t id = restriction_rule::Parse(step.entry_rules[entry]).peripheral_id;
    if (id == 0) return true;
    for (uint16_t row = 0; row < obj::halvPeripheralID.rows; ++row)
        if (db_get(obj::halvPeripheralID.row(row)) == id) return false;
    return true;
}

// --- keys ------------------------------------------------------------------------------------

void CLCD_SimpleWizardBase::OnEnter(CLCD_Manager& manager) {
    current_ = 0;
    selection_count_ = 0;
    page_ = 0;
    rows_drawn_ = 0;
    for (uint32_t i = 0; i < count_; ++i) {
        wizard_step& step = *steps_[i];
        if (step.kind == STEP_ITEM && step.item) step.item->OnEnter(manager);
        if (step.kind == STEP_DECIMAL) {
            step.point_entered = 0;
            step.integer_digits = 0;
            step.fraction_digits = 0;
        }
    }
}

bool CLCD_SimpleWizardBase::OnKey(CLCD_Manager& manager, uint16_t* key) {
    if (!count_) return false;
    wizard_step& step = *steps_[current_];
    if (key_event_code(*key) == KEY_ESCAPE && step.kind != STEP_ITEM) return StepBack(manager);
    if (step.kind >= STEP_KINDS) return false;
    const kind_row& kind = KINDS[step.kind];
    return (this->*kind.key)(manager, step, key);
}

void CLCD_SimpleWizardBase::OnEvent(CLCD_Manager& manager, const letter_s& letter) {
    wizard_step* step = CurrentStep();
    if (step && step->kind == STEP_ITEM && step->item) step->item->OnEvent(manager, letter);
}

bool CLCD_SimpleWizardBase::KeyNumber(CLCD_Manager& manager, wizard_step& step, uint16_t* key) {
    if (manager.EditNumber(&step.value, 0, key, false)) return true;
    if (key_event_code(*key) != KEY_ENTER) return false;
    // A value its rule refuses stays on the screen, under the rule's text.
    if (ValidateNumberStep(step)) Complete(manager);
    return true;
}

bool CLCD_SimpleWizardBase::KeyDecimal(CLCD_Manager& manager, wizard_step& step, uint16_t* key) {
    uint16_t code = key_event_code(*key);
    if (!step.point_entered) {
        if (manager.EditNumber(&step.value, 0, key, false)) {
            if (is_digit_code(code) && step.integer_digits < 10)
                ++step.integer_digits;
            else if (is_erase_key(*key))
                step.integer_digits = step.value == 0 ? 0 : uint8_t(step.integer_digits - 1);
            return true;
        }
        if (!enters_point(code)) return false;
        step.point_entered = 1;
        step.fraction = 0;
        step.fraction_digits = 0;
        manager.RequestRedraw(PARTIAL);
        return true;
    }
    if (manager.EditNumber(&step.fraction, 0, key, false)) {
        if (is_digit_code(code) && step.fraction_digits < 9)
            ++step.fraction_digits;
        else if (is_erase_key(*key) && step.fraction_digits == 0)
            step.point_entered = 0;
        else if (is_erase_key(*key))
            --step.fraction_digits;
        return true;
    }
    if (code != KEY_ENTER) return false;
    if (ValidateStep(step)) Complete(manager);
    return true;
}

bool CLCD_SimpleWizardBase::KeyText(CLCD_Manager& manager, wizard_step& step, uint16_t* key) {
    if (manager.EditText(step.text, step.width * step.rows, key)) return true;
    if (key_event_code(*key) != KEY_ENTER) return false;
    trace_printf(current_ + 1 >= count_ ? "goto menu parent request\n" : "load next wizard item\n");
    Complete(manager);
    return true;
}

uint32_t CLCD_SimpleWizardBase::LastPage(const wizard_step& step) const {
    return selection_count_ ? (selection_count_ - 1) / rows_per_page(step) : 0;
}

bool CLCD_SimpleWizardBase::KeyList(CLCD_Manager& manager, wizard_step& step, uint16_t* key) {
    uint16_t code = key_event_code(*key);
    uint8_t r = rows_per_page(step);
    if (code >= '1' && code <= '0' + r) {
        uint32_t digit = code - '0';
        uint32_t entry = digit - 1 + uint32_t(r) * page_;
        if (digit <= rows_drawn_ && entry < selection_count_ && CheckPeripheralFree(step, entry)) {
            step.selected = uint8_t(entry);
            step.selected_entry = step.entries[entry];
            Complete(manager);
        }
        return true;
    }
    return page_on_key(manager, code, page_, uint8_t(LastPage(step)));
}

bool CLCD_SimpleWizardBase::KeyItem(CLCD_Manager& manager, wizard_step& step, uint16_t* key) {
    if (!step.item) return false;
    if (!step.item->OnKey(manager, key))
        return key_event_code(*key) == KEY_ESCAPE ? StepBack(manager) : false;
    switch (step.after_key) {
    case AFTER_KEY_ADVANCE:
        Complete(manager);
        break;
    case AFTER_KEY_PARENT:
        ReturnToParent(manager);
        break;
    case AFTER_KEY_WHEN_DONE:
        if (step.done) {
            step.done = 0;
            Complete(manager);
        }
        break;
    default:
        break;
    }
    return true;
}

// --- drawing -------------------------------------------------------------------------------

void CLCD_SimpleWizardBase::Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) {
    wizard_step* step = CurrentStep();
    if (!step || step->kind >= STEP_KINDS) return;
    const kind_row& kind = KINDS[step->kind];
    (this->*kind.draw)(manager, lcd, *step, phase);
}

void CLCD_SimpleWizardBase::DrawNumber(CLCD_Manager& manager, CLCD& lcd, wizard_step& step,
                                       uint8_t phase) {
    uint8_t column = uint8_t(length_of(step.prompt) + PROMPT_COLUMN + 1);
    if (phase == FULL) {
        if (step.title) lcd.Print(1, LCD_CENTRE, "%s", step.title);
        lcd.Print(RESTRICTION_ROW, LCD_CENTRE, "RESTRICTIONS:%s", or_empty(step.rule_text));
        manager.SetCursor(true, VALUE_ROW, column);
        if (step.footer) lcd.Print(FOOTER_ROW, LCD_CENTRE, "%s", step.footer);
    }
    if (phase != FULL && phase != PARTIAL) return;
    lcd.ClearLine(VALUE_ROW);
    if (!step.prompt) return;
    lcd.PrintRowCol(VALUE_ROW, PROMPT_COLUMN, "%s:", step.prompt);
    manager.DrawNumber(VALUE_ROW, column, int32_t(step.value), 3, true);
}

void CLCD_SimpleWizardBase::DrawDecimal(CLCD_Manager& manager, CLCD& lcd, wizard_step& step,
                                        uint8_t phase) {
    uint8_t column = uint8_t(length_of(step.prompt) + PROMPT_COLUMN + 1);
    if (phase == FULL) {
        if (step.title) lcd.Print(1, LCD_CENTRE, "%s", step.title);
        lcd.Print(RESTRICTION_ROW, LCD_CENTRE, "RESTRICTIONS: %s", or_empty(step.rule_text));
        manager.SetCursor(true, VALUE_ROW, column);
    }
    if (phase != FULL && phase != PARTIAL) return;
    const char* footer = step.point_entered ? step.footer_after_point : step.footer;
    lcd.PrintLine(FOOTER_ROW, LCD_CENTRE, "%s", or_empty(footer));
    lcd.ClearLine(VALUE_ROW);
    if (!step.prompt) return;
    lcd.PrintRowCol(VALUE_ROW, PROMPT_COLUMN, "%s:", step.prompt);
    manager.DrawDecimal(VALUE_ROW, column, step.value, step.integer_digits, step.fraction,
                        step.fraction_digits, step.point_entered != 0, true);
}

void CLCD_SimpleWizardBase::DrawText(CLCD_Manager& manager, CLCD& lcd, wizard_step& step,
                                     uint8_t phase) {
    uint8_t column = uint8_t(length_of(step.prompt) + 2);
    if (phase == FULL) {
        if (step.title) lcd.Print(1, LCD_CENTRE, "%s", step.title);
        manager.SetCursor(true, VALUE_ROW, column);
        if (step.footer) lcd.Print(FOOTER_ROW, LCD_CENTRE, "%s", step.footer);
    }
    if (phase != FULL && phase != PARTIAL) return;
    lcd.ClearLine(VALUE_ROW);
    if (step.prompt) lcd.PrintRowCol(VALUE_ROW, 1, "%s:", step.prompt);
    manager.DrawWrappedText(VALUE_ROW, column, or_empty(step.text), uint8_t(step.width),
                            uint8_t(step.rows), true);
}

void CLCD_SimpleWizardBase::DrawList(CLCD_Manager& manager, CLCD& lcd, wizard_step& step,
                                     uint8_t phase) {
    if (phase == FULL) {
        if (step.title) lcd.Print(1, LCD_CENTRE, "%s", step.title);
        if (step.subtitle) lcd.Print(2, LCD_LEFT, "%s", step.subtitle);
    }
    if (phase == FULL || phase == PARTIAL) DrawSelections(manager, lcd, page_);
}

void CLCD_SimpleWizardBase::DrawItem(CLCD_Manager& manager, CLCD& lcd, wizard_step& step,
                                     uint8_t phase) {
    if (step.item) step.item->Draw(manager, lcd, phase);
}

void CLCD_SimpleWizardBase::DrawSelections(CLCD_Manager& manager, CLCD& lcd, uint8_t page) {
    wizard_step* step = CurrentStep();
    if (!step || !step->entries) return;
    selection_count_ = 0;
    while (selection_count_ < MAX_ENTRIES && step->entries[selection_count_])
        ++selection_count_;
    if (!selection_count_) return;
    uint8_t r = rows_per_page(*step);
    rows_drawn_ = 0;
    for (uint8_t i = 0; i < r; ++i) {
        uint8_t row = uint8_t(step->first_row_offset + 2 + i);
        lcd.ClearToEndOfLine(row, 1);
        uint32_t entry = uint32_t(page) * r + i;
        if (entry >= selection_count_) continue;
        char prefix[12];
        if (step->numbering == NUMBERING_WIDE)
            std::snprintf(prefix, sizeof prefix, "%3d) ", i + 1);
        else
            std::snprintf(prefix, sizeof prefix, "%d) ", i + 1);
        const char* mark = "";
        if (!CheckPeripheralFree(*step, entry)) mark = manager.French() ? "(EXISTANT)" : "(ADDED)";
        lcd.PrintRowCol(row, 1, "%s%s %s", prefix, step->entries[entry], mark);
        ++rows_drawn_;
    }
    if (r < selection_count_) draw_scroll_marks(lcd, page > 0, page < LastPage(*step));
}
