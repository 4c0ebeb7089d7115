// The number entry screen of the front panel: see number_entry.h.
#include "frontpanel/screens/number_entry.h"

#include "frontpanel/lcd.h"
#include "frontpanel/manager.h"
#include "store/database.h"

#include <cstdio>
#include <cstring>

namespace {

const menu_text DEFAULT_PROMPT = {"VALUE", "VALEUR"};
const menu_text DEFAULT_RESTRICTION = {"NONE", "AUCUNE"};

const uint8_t RESTRICTION_ROW = 2;
const uint8_t VALUE_ROW = 4;
const uint8_t ERROR_ROW = 6;
const uint8_t PROMPT_COLUMN = 10;

menu_text or_default(const menu_text& text, const menu_text& fallback) {
    return text.english || text.french ? text : fallback;
}

// Each language on its own: a null text takes the fallback's.
menu_text each_or_default(const menu_text& text, const menu_text& fallback) {
    return {text.english ? text.english : fallback.english,
            text.french ? text.french : fallback.french};
}

} // namespace

const menu_text ENTRY_SAVE_HINT = {"PRESS ENTER TO SAVE", "APPUYER SUR ENTER POUR ENREGISTRER"};
const menu_text ENTRY_INVALID = {"INVALID ENTRY", "ENTREE INVALIDE"};

bool number_entry_accepts(const number_entry_row& row, uint32_t value) {
    if (value < row.minimum || value > row.maximum) return false;
    return !row.check || row.check(row, value);
}

int number_entry_store(const number_entry_row& row, uint32_t value) {
    if (row.store) return row.store(row, value);
    return db_set(row.object, value, DB_NOTIFY);
}

const number_entry_row* number_entry_find(const number_entry_row* rows, size_t count, int32_t id) {
    for (size_t i = 0; i < count; ++i)
        if (rows[i].id == id) return &rows[i];
    return nullptr;
}

CLCD_SimpleNumberEntry::CLCD_SimpleNumberEntry(const number_entry_row& row)
    : CMenuItem(row.id), row_(row), prompt_(or_default(row.prompt, DEFAULT_PROMPT)),
      restriction_(or_default(row.restriction, DEFAULT_RESTRICTION)),
      line8_(each_or_default(row.line8, ENTRY_SAVE_HINT)), error_(ENTRY_INVALID) {}

void CLCD_SimpleNumberEntry::OnEnter(CLCD_Manager&) {
    value_ = 0;
    error_pending_ = 0;
}

bool CLCD_SimpleNumberEntry::Validate(CLCD_Manager&) {
    return number_entry_accepts(row_, value_);
}

bool CLCD_SimpleNumberEntry::Store(CLCD_Manager&) {
    return number_entry_store(row_, value_) == 0;
}

void CLCD_SimpleNumberEntry::Refuse(CLCD_Manager& manager) {
    error_pending_ = 1;
    manager.RequestRedraw(DRAW_PARTIAL);
}

bool CLCD_SimpleNumberEntry::OnKey(CLCD_Manager& manager, uint16_t* key) {
    if (manager.EditNumber(&value_, MAXIMUM_TYPED, key, false)) return true;
    if (key_event_code(*key) != KEY_ENTER) return false;
    // A refused value stays on the screen for correction; nothing is stored.
    if (!Validate(manager) || !Store(manager)) {
        Refuse(manager);
        return false;
    }
    manager.ActivateMenu(row_.target, this, row_.target == MENU_PARENT);
    return true;
}

void CLCD_SimpleNumberEntry::Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) {
    bool french = manager.French();
    const char* prompt = prompt_.Of(french);
    uint8_t column = uint8_t(std::strlen(prompt) + PROMPT_COLUMN + 2);
    if (phase == DRAW_FULL) {
        lcd.Print(1, LCD_CENTRE, "%s", Title(french));
        char restriction[LCD_COLUMNS + 1] = "";
        if (row_.restriction_by) row_.restriction_by(row_, french, restriction, sizeof restriction);
        lcd.Print(RESTRICTION_ROW, LCD_CENTRE, "RESTRICTIONS:%s",
                  restriction[0] ? restriction : restriction_.Of(french));
        manager.SetCursor(true, VALUE_ROW, column);
        lcd.PrintLine(7, LCD_CENTRE, "%s", row_.line7.Of(french));
        lcd.PrintLine(8, LCD_CENTRE, "%s", line8_.Of(french));
    }
    if (phase != DRAW_FULL && phase != DRAW_PARTIAL) return;
    lcd.ClearLine(VALUE_ROW);
    lcd.PrintRowCol(VALUE_ROW, PROMPT_COLUMN, "%s:", prompt);
    manager.DrawNumber(VALUE_ROW, column, int32_t(value_), 3, true);
    if (refresh_period_) {
        // The error line has been up for its five polls.
        refresh_period_ = 0;
        manager.refresh_period = 0;
        lcd.ClearLine(ERROR_ROW);
    }
    if (error_pending_) {
        lcd.PrintLine(ERROR_ROW, LCD_CENTRE, "%s", error_.Of(french));
        refresh_period_ = ERROR_POLLS;
        manager.refresh_period = ERROR_POLLS;
        error_pending_ = 0;
    }
}

void CLCD_SimpleNumberEntry::DrawSuffix(CLCD_Manager& manager, CLCD& lcd, uint8_t row,
                                        uint8_t justify) {
    char text[LCD_COLUMNS + 1] = "";
    if (row_.suffix)
        row_.suffix(row_, manager.French(), text, sizeof text);
    else if (row_.suffix_format)
        std::snprintf(text, sizeof text, row_.suffix_format, db_get(row_.object));
    if (text[0]) lcd.Print(row, justify, "%s", text);
}
