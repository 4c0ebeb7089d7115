// The front panel's screen services: the shared tools of every screen. The
// manager's members (CLCD_Manager::EditText, EditNumber, DrawNumber,
// DrawDecimal, DrawWrappedText, the message operations and the password
// test, declared in frontpanel/manager.h and defined in services.cpp) apply
// the rules below to the manager's cursor, redraw request and multi-tap
// state; the rules themselves are free of the manager so that each can be
// checked on its own: a text field's multi-tap editing, a number field's
// digits with its maximum (or wrapping round it), the text of a decimal being
// typed, the keypad's letter groups under which two passwords count as the
// same, and the scroll marks of a paged list.
//
// Key event words are the panel's (frontpanel/menu.h): bits 3-15 the key
// code, bit 0 keypad, bit 1 multi-tap replace, bit 2 Ctrl.
#pragma once

#include <cstddef>
#include <cstdint>

class CLCD;
class CLCD_Manager;

// What an edit made of a key.
enum edit_outcome : uint8_t {
    EDIT_NOT_HANDLED, // the key is not the field's: the screen or the manager may act on it
    EDIT_KEPT,        // the key is the field's, the value stays (a digit past the maximum)
    EDIT_CHANGED,     // the value changed
};

// Backspace, or Left from the keypad, removes the last character; with the
// multi-tap bit the key's character replaces the last one; any other
// character 32-255 is appended while the text is shorter than size - 1.
edit_outcome edit_text_key(char* buffer, size_t size, uint16_t event);

// Backspace, or Left from the keypad, drops the last digit; a digit is
// appended unless the result would pass `maximum` (0: no maximum) or the
// number's range (then the key is kept). With `wrap` the value keeps only as
// many of its last digits as let it stay within the maximum.
edit_outcome edit_number_key(uint32_t& value, uint32_t maximum, uint16_t event, bool wrap);

// The text of a decimal being typed ("12 ." before the point, "12.05 " after
// it, the fraction with as many digits as were typed), cut to 15 characters
// and padded with blanks to 15. -> the column offset of the cursor in it.
const size_t DECIMAL_TEXT_LENGTH = 15;
size_t format_decimal(char (&text)[DECIMAL_TEXT_LENGTH + 1], uint32_t integer,
                      uint8_t integer_digits, uint32_t fraction, uint8_t fraction_digits,
                      bool point_entered);

// The keypad's letter group of a character ('2' for any of "2abcABC"), 0 for
// a character on no key.
char keypad_group_char(char character);
// Same length and, place by place, the same letter group.
bool keypad_equal(const char* a, const char* b);

// Paging of a list: Up and Page Up go a page back, Down and Page Down a
// page on, Home to the first page and End to the last; never past either.
bool is_paging_key(uint16_t code);
uint8_t turn_page(uint16_t code, uint8_t page, uint8_t last_page);
// A list's paging key: the page moves (a partial redraw is requested when it
// changes). -> false for a key that does not page.
bool page_on_key(CLCD_Manager& manager, uint16_t code, uint8_t& page, uint8_t last_page);

// The scroll marks of a paged list at x 234: an up arrow at y 24 while pages
// lie above, a down arrow at y 32 while pages lie below; each cell is
// cleared otherwise.
void draw_scroll_marks(CLCD& lcd, bool more_above, bool more_below);
// The same marks at another x (the trap list draws them at 232).
void draw_scroll_marks_at(CLCD& lcd, uint8_t x, bool more_above, bool more_below);
// The 8 x 8 up arrow of the scroll marks, drawn at (x, y) (a screen's pointer
// at the Up key).
void draw_up_arrow(CLCD& lcd, uint8_t x, uint8_t y);
