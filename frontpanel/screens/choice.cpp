// The choice list base (see choice.h).
#include "frontpanel/screens/choice.h"

#include "frontpanel/lcd.h"
#include "frontpanel/manager.h"
#include "frontpanel/services.h"

#include <cstdio>

CLCD_SimpleMenuBase::CLCD_SimpleMenuBase(int32_t id, menu_text title, uint32_t rights)
    : CMenuItem(id, title, rights) {}

void CLCD_SimpleMenuBase::AddChoice(const choice_row* choice) {
    if (choice != nullptr && count_ < capacity_) choices_[count_++] = choice;
}

void CLCD_SimpleMenuBase::ClearChoices() {
    for (size_t i = 0; i < capacity_; ++i)
        choices_[i] = nullptr;
    count_ = 0;
    page_ = 0;
}

void CLCD_SimpleMenuBase::UseChoiceStorage(const choice_row** storage, size_t capacity) {
    if (storage == nullptr || capacity == 0) return;
    choices_ = storage;
    capacity_ = capacity;
    ClearChoices();
}

bool CLCD_SimpleMenuBase::FindChoice(uint32_t value, const choice_row** choice) const {
    if (choice) *choice = nullptr;
    for (size_t i = 0; i < count_; i++) {
        if (choices_[i]->value != value) continue;
        if (choice) *choice = choices_[i];
        return true;
    }
    return false;
}

void CLCD_SimpleMenuBase::OnEnter(CLCD_Manager&) {
    page_ = 0;
}

void CLCD_SimpleMenuBase::OnSelect(CLCD_Manager&, const choice_row&) {}

void CLCD_SimpleMenuBase::DrawChoiceSuffix(CLCD_Manager&, CLCD&, size_t, uint8_t, uint8_t) {}

uint8_t CLCD_SimpleMenuBase::LastPage() const {
    return count_ == 0 ? 0 : uint8_t((count_ - 1) / ROWS_PER_PAGE);
}

void CLCD_SimpleMenuBase::Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) {
    if (phase != DRAW_FULL && phase != DRAW_PARTIAL) return;
    lcd.PrintLine(1, LCD_CENTRE, "%s", Title(manager.French()));
    DrawPage(manager, lcd, page_);
}

void CLCD_SimpleMenuBase::DrawPage(CLCD_Manager& manager, CLCD& lcd, uint8_t page) {
    if (count_ == 0) return;
    bool french = manager.French();
    rows_drawn_ = 0;
    for (uint8_t i = 0; i < ROWS_PER_PAGE; i++) {
        size_t index = size_t(page) * ROWS_PER_PAGE + i;
        uint8_t row = uint8_t(FIRST_ROW + i);
        if (index >= count_) {
            lcd.ClearToEndOfLine(row, 1);
            continue;
        }
        char prefix[8] = "";
        if (!no_numbering_)
            std::snprintf(prefix, sizeof prefix, "%d) ",
                          int(continuous_numbering_ ? index + 1 : size_t(i) + 1));
        lcd.PrintAt(row, 1, LCD_LEFT, "%s%s", prefix, choices_[index]->text.Of(french));
        DrawChoiceSuffix(manager, lcd, index, row, LCD_RIGHT);
        rows_drawn_++;
    }
    draw_scroll_marks(lcd, page > 0, page < LastPage());
}

bool CLCD_SimpleMenuBase::Select(CLCD_Manager& manager, uint8_t digit) {
    if (digit > rows_drawn_) return true;
    size_t index = size_t(digit - 1) + size_t(page_) * ROWS_PER_PAGE;
    if (index >= count_) return true;
    selected_ = index;
    const choice_row& choice = *choices_[index];
    OnSelect(manager, choice);
    if (activate_target_) manager.ActivateMenu(choice.target, this, choice.target == MENU_PARENT);
    return true;
}

bool CLCD_SimpleMenuBase::OnKey(CLCD_Manager& manager, uint16_t* key) {
    if (key == nullptr) return false;
    uint16_t code = key_event_code(*key);
    if (code >= '1' && code <= '6') return Select(manager, uint8_t(code - '0'));
    return page_on_key(manager, code, page_, LastPage());
}
