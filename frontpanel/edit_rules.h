// The rules behind the front panel's editing and drawing services, kept free
// of the manager so that each can be checked on its own: a text field's
// multi-tap editing, a number field's digits with its maximum (or wrapping
// round it), the text of a decimal being typed, and the keypad's letter
// groups under which two passwords count as the same.
//
// Key event words are the panel's (bits 3-15 the key code, bit 0 keypad,
// bit 1 multi-tap replace, bit 2 Ctrl).
#pragma once

#include <cstddef>
#include <cstdint>

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
