// The message branch of the front panel (see messages.h).
#include "frontpanel/screens/messages.h"

#include "display/message_rows.h"
#include "display/multi_to_text.h"
#include "frontpanel/keyboard_decoder.h"
#include "frontpanel/lcd.h"
#include "frontpanel/manager.h"
#include "frontpanel/services.h"
#include "runtime/utilities.h"
#include "store/database.h"
#include "store/objects.h"

#include <cctype>
#include <cstring>

namespace {

const int32_t MENU_DELETE_CONFIRM = 26;
const int32_t MENU_PREVIEW_LIST = 29;
const int32_t MENU_PREVIEW = 30;
const uint16_t UNTIL_REPLACED = 65535;
const uint32_t PERMANENT_LIST_OFFSET = 498; // list 501 = permanent message 3
const int32_t FIRST_ROW = 2;
const uint8_t PROMPT_ROW = 8;
const uint8_t PROMPT_COLUMN = 8;
// Character-matrix signs leave out messages that draw a maker graphic.
const uint32_t SIGN_TYPE_CHARACTER_MATRIX = 4;
const uint32_t SIGN_TYPE_PORTABLE_CHARACTER_MATRIX = 132;
const char GRAPHIC_TAG[] = "[ms11,g,";

// Scratch of the list building, used on the peripheral task's thread only:
// the message text being read and the sort texts of every listed row.
char message_text[2501];
char sort_texts[LIST_NUMBER_LAST][CLCD_MessageList::SORT_BYTES];

const char* read_multi(int32_t row) {
    db_get_string_copy(obj::changeableMsgMultiString.row(uint32_t(row)), message_text,
                       sizeof message_text);
    message_text[sizeof message_text - 1] = '\0';
    return message_text;
}

void readable_text(int32_t row, char* text, size_t size) {
    multi_to_text(read_multi(row), text, size);
}

bool character_matrix_sign() {
    uint32_t type = db_get(obj::dmsSignType);
    return type == SIGN_TYPE_CHARACTER_MATRIX || type == SIGN_TYPE_PORTABLE_CHARACTER_MATRIX;
}

} // namespace

bool list_number_message(int32_t number, uint32_t& memory_type, uint32_t& message) {
    if (number < 1 || number > LIST_NUMBER_LAST) return false;
    if (number > LIST_CHANGEABLE_LAST) {
        memory_type = PENDING_PERMANENT;
        message = uint32_t(number) - PERMANENT_LIST_OFFSET;
    } else {
        memory_type = PENDING_CHANGEABLE;
        message = uint32_t(number);
    }
    return true;
}

void blank_sign(CLCD_Manager& manager) {
    manager.SetPendingActivation(PENDING_BLANK_OTHER, 1);
    manager.ActivateMessage(UNTIL_REPLACED);
}

// --- the list -----------------------------------------------------------------------------

// The preview list has no French words of its own; it shows the English verb.
const message_list_use MESSAGE_LIST_USES[3] = {
    {MENU_RUN_MESSAGE, {"RUN", "AFFICHER"}, MENU_RUN_OPTIONS, LIST_NUMBER_LAST},
    {MENU_PREVIEW_LIST, {"PREVIEW", "APERCU"}, MENU_PREVIEW, LIST_NUMBER_LAST},
    {MENU_DELETE_MESSAGE, {"DELETE", "SUPPRIMER"}, MENU_DELETE_CONFIRM, LIST_CHANGEABLE_LAST},
};

namespace {

const message_list_use& use_of(int32_t id) {
    for (const message_list_use& use : MESSAGE_LIST_USES)
        if (use.menu_id == id) return use;
    return MESSAGE_LIST_USES[0];
}

} // namespace

CLCD_MessageList::CLCD_MessageList(int32_t id) : CMenuItem(id), use_(&use_of(id)) {}

bool CLCD_MessageList::HasRights(CLCD_Manager& manager) {
    CMenuItem* target = manager.FindMenu(use_->target, nullptr);
    return target != nullptr ? target->HasRights(manager) : CMenuItem::HasRights(manager);
}

bool CLCD_MessageList::Listed(int32_t row) const {
    if (db_get(obj::changeableMsgStatus.row(uint32_t(row))) != MSG_STATUS_VALID) return false;
    const char* text = read_multi(row);
    if (text[0] == '\0') return false;
    return !(character_matrix_sign() && std::strstr(text, GRAPHIC_TAG) != nullptr);
}

// A Shell sort with the gaps 3 and 1 by readable text, case-insensitive.
void CLCD_MessageList::SortMatching() {
    for (int32_t i = 0; i < matching_count_; ++i)
        readable_text(matching_[i], sort_texts[i], SORT_BYTES);
    char held_text[SORT_BYTES];
    for (int32_t gap : {3, 1}) {
        for (int32_t i = gap; i < matching_count_; ++i) {
            const int32_t held = matching_[i];
            std::memcpy(held_text, sort_texts[i], SORT_BYTES);
            int32_t j = i;
            for (; j >= gap && util_stricmp(sort_texts[j - gap], held_text) > 0; j -= gap) {
                matching_[j] = matching_[j - gap];
                std::memcpy(sort_texts[j], sort_texts[j - gap], SORT_BYTES);
            }
            matching_[j] = held;
            std::memcpy(sort_texts[j], held_text, SORT_BYTES);
        }
    }
}

void CLCD_MessageList::OnEnter(CLCD_Manager&) {
    std::memset(texts_, 0, sizeof texts_);
    std::memset(numbers_, 0, sizeof numbers_);
    items_ = page_ = countdown_ = 0;
    selected_ = scroll_ = refused_ = 0;
    matching_count_ = 0;
    for (int32_t row = 0; row < use_->scan_rows; ++row)
        if (Listed(row)) matching_[matching_count_++] = row;
    SortMatching();
    ShowPage(0, PAGE_FIRST);
}

int32_t CLCD_MessageList::PageOf(int32_t row) const {
    for (int32_t i = 0; i < matching_count_; ++i)
        if (matching_[i] == row) return i / ROWS_PER_PAGE;
    return -1;
}

void CLCD_MessageList::FillPage(int32_t page) {
    page_ = page;
    items_ = 0;
    for (int32_t position = 0; position < ROWS_PER_PAGE; ++position) {
        const int32_t entry = page * ROWS_PER_PAGE + position;
        if (entry >= matching_count_) break;
        numbers_[position] = matching_[entry] + 1;
        readable_text(matching_[entry], texts_[position], TEXT_BYTES);
        ++items_;
    }
    scroll_ = (page_ > 0 ? 1u : 0u) | (matching_count_ > 0 && page_ != LastPage() ? 2u : 0u);
}

void CLCD_MessageList::ShowPage(int32_t row, page_mode mode) {
    if (row < 0) row = 0;
    if (row > use_->scan_rows - 1) row = use_->scan_rows - 1;
    int32_t page = 0;
    switch (mode) {
    case PAGE_FIRST:
        break;
    case PAGE_LAST:
        page = LastPage();
        break;
    case PAGE_PREVIOUS:
    case PAGE_NEXT:
    case PAGE_OF_ROW:
        page = PageOf(row);
        if (page < 0) return;
        if (mode == PAGE_PREVIOUS && page > 0) --page;
        if (mode == PAGE_NEXT && page < LastPage()) ++page;
        break;
    }
    FillPage(page);
}

bool CLCD_MessageList::Locate() {
    ShowPage(int32_t(selected_) - 1, PAGE_OF_ROW);
    for (int32_t i = 0; i < items_; ++i)
        if (numbers_[i] == int32_t(selected_)) return true;
    return false;
}

// A number that is not listed (0, or no valid message) is refused on the
// screen and nothing is asked of the sign.
bool CLCD_MessageList::TakeSelected(CLCD_Manager& manager) {
    uint32_t memory_type = 0, message = 0;
    if (!Locate() || !list_number_message(int32_t(selected_), memory_type, message)) {
        refused_ = 1;
        return false;
    }
    refused_ = 0;
    manager.SetPendingActivation(memory_type, message);
    return true;
}

bool CLCD_MessageList::JumpToLetter(uint16_t code) {
    if (code > 0xFF || !std::isalpha(code)) return false;
    const int wanted = std::toupper(code);
    char text[SORT_BYTES];
    for (int32_t i = 0; i < matching_count_; ++i) {
        readable_text(matching_[i], text, sizeof text);
        if (std::toupper(static_cast<unsigned char>(text[0])) == wanted) {
            FillPage(i / ROWS_PER_PAGE);
            return true;
        }
    }
    return true;
}

bool CLCD_MessageList::PageKey(CLCD_Manager& manager, uint16_t code) {
    const int32_t shown = items_ > 0 ? numbers_[0] - 1 : 0;
    if (code == KEY_HOME)
        ShowPage(0, PAGE_FIRST);
    else if (code == KEY_END)
        ShowPage(0, PAGE_LAST);
    else if ((code == KEY_PAGE_UP || code == KEY_UP) && (scroll_ & 1))
        ShowPage(shown, PAGE_PREVIOUS);
    else if ((code == KEY_PAGE_DOWN || code == KEY_DOWN) && (scroll_ & 2))
        ShowPage(shown, PAGE_NEXT);
    else if (!is_paging_key(code))
        return false;
    manager.RequestRedraw(DRAW_PARTIAL);
    return true;
}

bool CLCD_MessageList::OnKey(CLCD_Manager& manager, uint16_t* key) {
    if (key == nullptr) return false;
    const uint16_t code = key_event_code(*key);
    if (code == KEY_REENTRY) return true;
    if (manager.EditNumber(&selected_, uint32_t(use_->scan_rows), key, true)) {
        countdown_ = DIGIT_DRAWS;
        refused_ = 0;
        return true;
    }
    if (JumpToLetter(code)) {
        manager.RequestRedraw(DRAW_PARTIAL);
        return true;
    }
    if (code == KEY_ENTER) {
        countdown_ = 0;
        if (TakeSelected(manager)) {
            manager.editor.save_slot = uint16_t(selected_);
            manager.ActivateMenu(use_->target, this, false);
        } else {
            manager.RequestRedraw(DRAW_PARTIAL);
        }
        return true;
    }
    return PageKey(manager, code);
}

void CLCD_MessageList::DrawPrompt(CLCD_Manager& manager, CLCD& lcd) {
    const bool french = manager.French();
    const char* verb = use_->verb.Of(french);
    if (refused_) {
        lcd.PrintAt(PROMPT_ROW, PROMPT_COLUMN, LCD_LEFT, "%-33s",
                    french ? "PAS DANS LA LISTE" : "NOT IN THE LIST");
        return;
    }
    lcd.PrintAt(PROMPT_ROW, PROMPT_COLUMN, LCD_LEFT,
                french ? "ENTER POUR %s:" : "PRESS ENTER TO %s:", verb);
    const uint8_t column = uint8_t(std::strlen(verb) + (french ? 21 : 25));
    manager.DrawNumber(PROMPT_ROW, column, int32_t(selected_), 3, true);
}

void CLCD_MessageList::DrawRows(CLCD_Manager& manager, CLCD& lcd) {
    if (matching_count_ == 0) {
        lcd.Print(4, LCD_CENTRE, "%s", manager.French() ? "AUCUN MESSAGE" : "NO MESSAGE");
        return;
    }
    for (int32_t position = 0; position < ROWS_PER_PAGE; ++position) {
        const uint8_t row = uint8_t(FIRST_ROW + position);
        if (position >= items_) {
            lcd.PrintAt(row, 1, LCD_LEFT, "%26s", "");
            continue;
        }
        const char mark = numbers_[position] == int32_t(selected_) ? '*' : ' ';
        lcd.PrintAt(row, 1, LCD_LEFT, "%c%03d) %-21s", mark, int(numbers_[position]),
                    texts_[position]);
    }
    draw_scroll_marks(lcd, (scroll_ & 1) != 0, (scroll_ & 2) != 0);
}

void CLCD_MessageList::Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) {
    if (phase == DRAW_PERIODIC) {
        if (countdown_ < 1 || --countdown_ > 0) return;
        TakeSelected(manager);
    }
    if (phase == DRAW_FULL) {
        lcd.Print(1, LCD_CENTRE, "%s", Title(manager.French()));
        manager.SetCursor(true, PROMPT_ROW, -1);
    }
    DrawPrompt(manager, lcd);
    DrawRows(manager, lcd);
}

// --- the sub-menu -------------------------------------------------------------------------

CLCD_MessageControl::CLCD_MessageControl(int32_t id) : CLCD_MenuItemEx(id) {}

bool CLCD_MessageControl::OnKey(CLCD_Manager& manager, uint16_t* key) {
    if (key != nullptr && key_event_code(*key) == '4') {
        manager.editor.save_slot = 0;
        for (uint32_t row = 0; row < uint32_t(LIST_CHANGEABLE_LAST); ++row)
            if (db_get(obj::changeableMsgStatus.row(row)) == MSG_STATUS_NOT_USED) {
                manager.editor.save_slot = uint16_t(row + 1);
                break;
            }
        if (manager.editor.save_slot == 0) {
            manager.ActivateMenu(MENU_NO_FREE_SLOT, this, false);
            return true;
        }
    }
    return CLCD_MenuItemEx::OnKey(manager, key);
}

// --- the confirmations --------------------------------------------------------------------

CLCD_MessageBlank::CLCD_MessageBlank(int32_t id) : CMenuItem(id) {}

bool CLCD_MessageBlank::OnKey(CLCD_Manager& manager, uint16_t* key) {
    if (key == nullptr) return false;
    const uint16_t code = key_event_code(*key);
    if (code != '1' && code != '2') return false;
    if (code == '1') blank_sign(manager);
    manager.ActivateMenu(MENU_MESSAGE_CONTROL, this, false);
    return true;
}

void CLCD_MessageBlank::Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) {
    if (phase != DRAW_FULL) return;
    const bool french = manager.French();
    lcd.Print(1, LCD_CENTRE, "%s", Title(french));
    lcd.PrintAt(2, 1, LCD_LEFT, "%s", french ? "1) CONFIRMER" : "1) CONFIRM");
    lcd.PrintAt(3, 1, LCD_LEFT, "%s", french ? "2) ANNULER" : "2) CANCEL");
}

CLCD_MessageDeleteC::CLCD_MessageDeleteC(int32_t id) : CMenuItem(id) {}

bool CLCD_MessageDeleteC::OnKey(CLCD_Manager& manager, uint16_t* key) {
    if (key == nullptr) return false;
    const uint16_t code = key_event_code(*key);
    if (code != '1' && code != '2' && code != KEY_ESCAPE) return false;
    const uint32_t number = manager.pending_number;
    if (code == '1' && manager.pending_kind == PENDING_CHANGEABLE && number >= 1 &&
        number <= uint32_t(LIST_CHANGEABLE_LAST)) {
        const bool running =
            manager.IsMessageDisplayed(uint8_t(manager.pending_kind), uint16_t(number));
        db_set(obj::changeableMsgStatus.row(number - 1), MSG_STATUS_NOT_USED_REQ, DB_NOTIFY);
        if (running) blank_sign(manager);
    }
    manager.ActivateMenu(MENU_MESSAGE_CONTROL, this, false);
    return true;
}

void CLCD_MessageDeleteC::Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) {
    if (phase == DRAW_PERIODIC) return;
    const bool french = manager.French();
    if (phase == DRAW_FULL) lcd.Print(1, LCD_CENTRE, "%s", Title(french));
    lcd.PrintAt(2, 1, LCD_LEFT, french ? "1) SUPPRIMER LE MESSAGE %d" : "1) DELETE MESSAGE %d",
                int(manager.pending_number));
    lcd.PrintAt(3, 1, LCD_LEFT, "%s", french ? "2) NE PAS SUPPRIMER" : "2) DO NOT DELETE");
    if (!manager.IsMessageDisplayed(uint8_t(manager.pending_kind),
                                    uint16_t(manager.pending_number)))
        return;
    lcd.Print(6, LCD_CENTRE, "%s", french ? "SUPPRIMER CE MESSAGE" : "MESSAGE IS RUNNING");
    lcd.Print(7, LCD_CENTRE, "%s",
              french ? "METTRA LE PANNEAU AU NOIR" : "THIS WILL BLANK DISPLAY");
}

namespace {

CMenuItem* create_list(int32_t id, const menu_row&) {
    return new CLCD_MessageList(id);
}

const menu_factory_record MESSAGE_SCREEN_RECORDS[] = {
    {TYPE_MESSAGE_CONTROL, menu_create<CLCD_MessageControl>},
    {TYPE_MESSAGE_LIST, create_list},
    {TYPE_MESSAGE_BLANK, menu_create<CLCD_MessageBlank>},
    {TYPE_MESSAGE_DELETE_CONFIRM, menu_create<CLCD_MessageDeleteC>},
};

} // namespace

extern const menu_family MESSAGE_SCREENS = menu_family_of(MESSAGE_SCREEN_RECORDS);
