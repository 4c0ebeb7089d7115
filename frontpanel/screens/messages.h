// The message branch of the front panel: the "MESSAGE CONTROL" sub-menu, the
// list of stored messages through which an operator picks one to run,
// preview or delete, and the blank and delete confirmations.
//
//   21  CLCD_MessageControl  the sub-menu; its key 4 (create) first finds a
//                            free changeable row for the editor
//   22, 29, 25 CLCD_MessageList  one class, a row per use (MESSAGE_LIST_USES):
//                            run, preview, delete
//   27  CLCD_MessageBlank    1 blanks the sign, 2 goes back
//   26  CLCD_MessageDeleteC  1 frees the chosen row (and blanks the sign when
//                            it is the message on show), 2 or Esc goes back
//
// The panel numbers the messages of the changeable columns of the message
// table 1-550 (row = number - 1): 1-500 are changeable messages 1-500,
// 501-550 are permanent messages 3-52, which the sign keeps in the changeable
// rows 500-549. No screen activates a message itself: a choice becomes the
// manager's pending activation and the run screens (run.h) call
// CLCD_Manager::ActivateMessage.
#pragma once

#include "frontpanel/menu.h"
#include "frontpanel/screens/container.h"

#include <cstddef>
#include <cstdint>

// --- the panel's message numbering ------------------------------------------------------

const int32_t LIST_CHANGEABLE_LAST = 500;
const int32_t LIST_NUMBER_LAST = 550;
// List number -> memory type and message number: 1-500 changeable (3, n),
// 501-550 permanent (2, n - 498). -> false for a number outside 1-550.
bool list_number_message(int32_t number, uint32_t& memory_type, uint32_t& message);

// --- the list -----------------------------------------------------------------------------

// One use of the message list: the verb of its prompt, the screen its Enter
// opens and how many rows of the table it lists (also the largest number the
// operator can type). Title and rights are the menu table's.
struct message_list_use {
    int32_t menu_id;
    menu_text verb;
    int32_t target;
    int32_t scan_rows;
};
extern const message_list_use MESSAGE_LIST_USES[3];

class CLCD_MessageList : public CMenuItem {
  public:
    static constexpr uint8_t ROWS_PER_PAGE = 6;
    static constexpr size_t TEXT_BYTES = 22;  // a row's readable text
    static constexpr size_t SORT_BYTES = 24;  // the text the list is sorted by
    static constexpr uint8_t DIGIT_DRAWS = 3; // redraws before a typed number takes effect

    explicit CLCD_MessageList(int32_t id);

    // Builds the list of valid messages, sorted by their readable text, and
    // shows the first page.
    void OnEnter(CLCD_Manager& manager) override;
    bool OnKey(CLCD_Manager& manager, uint16_t* key) override;
    void Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) override;
    // Offered only to an operator who may open the target screen.
    bool HasRights(CLCD_Manager& manager) override;

    int32_t MatchingCount() const { return matching_count_; }
    int32_t MatchingRow(int32_t i) const { return i < matching_count_ ? matching_[i] : -1; }
    int32_t PageItems() const { return items_; }
    int32_t PageNumber(int32_t i) const { return i < items_ ? numbers_[i] : 0; }
    uint32_t Selected() const { return selected_; }
    uint32_t ScrollFlags() const { return scroll_; }
    const message_list_use& Use() const { return *use_; }

  private:
    enum page_mode : uint8_t { PAGE_FIRST, PAGE_LAST, PAGE_PREVIOUS, PAGE_NEXT, PAGE_OF_ROW };

    bool Listed(int32_t row) const;
    void SortMatching();
    void ShowPage(int32_t row, page_mode mode);
    void FillPage(int32_t page);
    int32_t PageOf(int32_t row) const; // -1 when not listed
    int32_t LastPage() const { return matching_count_ > 0 ? (matching_count_ - 1) / 6 : 0; }
    // Shows the page of the typed number. -> true when it is listed there.
    bool Locate();
    // The typed number becomes the pending activation when it is listed.
    bool TakeSelected(CLCD_Manager& manager);
    bool JumpToLetter(uint16_t code);
    bool PageKey(CLCD_Manager& manager, uint16_t code);
    void DrawPrompt(CLCD_Manager& manager, CLCD& lcd);
    void DrawRows(CLCD_Manager& manager, CLCD& lcd);

    const message_list_use* use_;
    char texts_[ROWS_PER_PAGE][TEXT_BYTES] = {};
    int32_t numbers_[ROWS_PER_PAGE] = {};
    int32_t items_ = 0;
    int32_t page_ = 0;
    uint32_t selected_ = 0;
    int32_t countdown_ = 0;
    uint32_t scroll_ = 0;
    uint8_t refused_ = 0; // the typed number is not listed: said on row 8
    int32_t matching_[LIST_NUMBER_LAST] = {};
    int32_t matching_count_ = 0;
};

// --- the sub-menu and the confirmations ----------------------------------------------------

class CLCD_MessageControl : public CLCD_MenuItemEx {
  public:
    explicit CLCD_MessageControl(int32_t id = MENU_MESSAGE_CONTROL);
    // Key 4 (create a message): the first free changeable row becomes the
    // editor's save slot; with none the no-free-slot screen is asked for.
    bool OnKey(CLCD_Manager& manager, uint16_t* key) override;
};

class CLCD_MessageBlank : public CMenuItem {
  public:
    explicit CLCD_MessageBlank(int32_t id = MENU_BLANK_DISPLAY);
    bool OnKey(CLCD_Manager& manager, uint16_t* key) override;
    void Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) override;
};

class CLCD_MessageDeleteC : public CMenuItem {
  public:
    explicit CLCD_MessageDeleteC(int32_t id);
    bool OnKey(CLCD_Manager& manager, uint16_t* key) override;
    void Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) override;
};

// Blanks the sign through the manager: memory type 7, number 1, until
// replaced.
void blank_sign(CLCD_Manager& manager);

extern const menu_family MESSAGE_SCREENS;
