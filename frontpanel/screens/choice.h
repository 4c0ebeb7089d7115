// CLCD_SimpleMenuBase: the base of screens that offer a numbered list of
// fixed choices (a baud rate, a protocol, start or stop a schedule, the
// version and status pages...): up to 100 choices, six to a page from row 2,
// picked with the digit keys 1-6 and paged with the arrow keys.
//
// A choice is a row {value, text, target menu}: the value means what the
// screen makes of it, the text is an {English, French} pair and the target
// is the menu opened after the choice (0: back to the parent, which gets the
// re-entry key and so keeps its page). Screens keep their choices in tables
// of rows and add them with AddChoices; a later screen adds rows, not
// classes. A screen reacts to a choice in OnSelect and may show a mark after
// a choice (the current setting) in DrawChoiceSuffix.
#pragma once

#include "frontpanel/menu.h"

#include <cstddef>
#include <cstdint>

struct choice_row {
    uint32_t value;
    menu_text text;
    int32_t target = MENU_PARENT;
};

class CLCD_SimpleMenuBase : public CMenuItem {
  public:
    static constexpr size_t MAX_CHOICES = 100;
    static constexpr uint8_t ROWS_PER_PAGE = 6;
    static constexpr uint8_t FIRST_ROW = 2;

    explicit CLCD_SimpleMenuBase(int32_t id, menu_text title = {"", ""}, uint32_t rights = 0);

    // Appends while fewer than the capacity (100) are held; a 101st is dropped.
    void AddChoice(const choice_row* choice);
    template <size_t N> void AddChoices(const choice_row (&choices)[N]) {
        for (const choice_row& choice : choices)
            AddChoice(&choice);
    }
    void ClearChoices();
    // The first choice with that value. -> false (out null) when none.
    bool FindChoice(uint32_t value, const choice_row** choice) const;

    void OnEnter(CLCD_Manager& manager) override;
    bool OnKey(CLCD_Manager& manager, uint16_t* key) override;
    void Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) override;

    // A choice was picked (before its target menu is opened).
    virtual void OnSelect(CLCD_Manager& manager, const choice_row& choice);
    // A short value after choice `index` on `row` (justify 4, right).
    virtual void DrawChoiceSuffix(CLCD_Manager& manager, CLCD& lcd, size_t index, uint8_t row,
                                  uint8_t justify);

    // The choices of `page` from row 2 and the scroll marks.
    void DrawPage(CLCD_Manager& manager, CLCD& lcd, uint8_t page);

    size_t ChoiceCount() const { return count_; }
    const choice_row* Choice(size_t index) const {
        return index < count_ ? choices_[index] : nullptr;
    }
    size_t SelectedIndex() const { return selected_; }
    uint8_t Page() const { return page_; }
    uint8_t RowsDrawn() const { return rows_drawn_; }

  protected:
    // A longer list: the screen's own room for `capacity` choices replaces
    // the base's 100 (the held choices are dropped).
    void UseChoiceStorage(const choice_row** storage, size_t capacity);

    // 0: a choice only calls OnSelect and the screen stays.
    uint8_t activate_target_ = 1;
    // 1: rows numbered through the whole list (page 2 starts at 7).
    uint8_t continuous_numbering_ = 0;
    // 1: rows without a number.
    uint8_t no_numbering_ = 0;

  private:
    uint8_t LastPage() const;
    bool Select(CLCD_Manager& manager, uint8_t digit);

    const choice_row* own_choices_[MAX_CHOICES] = {};
    const choice_row** choices_ = own_choices_;
    size_t capacity_ = MAX_CHOICES;
    size_t count_ = 0;
    uint8_t page_ = 0;
    uint8_t rows_drawn_ = 0;
    size_t selected_ = 0;
};
