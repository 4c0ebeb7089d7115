// The editing rules, paging and scroll marks of the screen services (see
// services.h); the manager's services are in services.cpp.
#include "frontpanel/services.h"

#include "frontpanel/keyboard_decoder.h"
#include "frontpanel/lcd.h"
#include "frontpanel/menu.h"

#include <cstdio>
#include <cstring>

namespace {

bool erases(uint16_t event) {
    uint16_t code = key_event_code(event);
    return code == KEY_BACKSPACE || (code == KEY_LEFT && (event & KEY_EVENT_KEYPAD));
}

bool is_character(uint16_t code) {
    return code >= 32 && code <= 255;
}

// The largest value a digit may still be appended to without passing the
// range of the number.
const uint32_t LARGEST_EXTENDABLE = 429496728;

// Keeps the last digits of `value` while it passes `maximum`: first as many
// as the maximum has, then one fewer, and so on.
uint32_t wrap_within(uint64_t value, uint32_t maximum) {
    uint64_t power = 10;
    while (power <= maximum)
        power *= 10;
    while (value > maximum && power >= 10) {
        value %= power;
        power /= 10;
    }
    return uint32_t(value);
}

// The ten letter groups of the keypad's keys; the first character names the
// group.
const char* const KEYPAD_GROUPS[] = {
    "1&.%*+-\\@:$^?~#()", "2abcABC", "3defDEF",   "4ghiGHI", "5jklJKL", "6mnoMNO",
    "7pqrsPQRS",          "8tuvTUV", "9wxyzWXZY", "0 ",
};

} // namespace

edit_outcome edit_text_key(char* buffer, size_t size, uint16_t event) {
    if (!buffer || size == 0) return EDIT_NOT_HANDLED;
    size_t length = strnlen(buffer, size - 1);
    uint16_t code = key_event_code(event);
    if (erases(event)) {
        if (length == 0) return EDIT_NOT_HANDLED;
        buffer[length - 1] = 0;
        return EDIT_CHANGED;
    }
    if (!is_character(code)) return EDIT_NOT_HANDLED;
    if ((event & KEY_EVENT_MULTITAP) && length > 0) {
        buffer[length - 1] = char(code);
    } else {
        if (length + 1 >= size) return EDIT_NOT_HANDLED;
        buffer[length++] = char(code);
    }
    buffer[length] = 0;
    return EDIT_CHANGED;
}

edit_outcome edit_number_key(uint32_t& value, uint32_t maximum, uint16_t event, bool wrap) {
    uint16_t code = key_event_code(event);
    if (erases(event)) {
        if (value == 0) return EDIT_KEPT;
        value /= 10;
        return EDIT_CHANGED;
    }
    if (code < '0' || code > '9') return EDIT_NOT_HANDLED;
    uint64_t typed = uint64_t(value) * 10 + (code - '0');
    if (wrap) {
        value = typed > maximum ? wrap_within(typed, maximum) : uint32_t(typed);
        return EDIT_CHANGED;
    }
    if ((maximum != 0 && typed > maximum) || value > LARGEST_EXTENDABLE) return EDIT_KEPT;
    value = uint32_t(typed);
    return EDIT_CHANGED;
}

size_t format_decimal(char (&text)[DECIMAL_TEXT_LENGTH + 1], uint32_t integer,
                      uint8_t integer_digits, uint32_t fraction, uint8_t fraction_digits,
                      bool point_entered) {
    char typed[48];
    if (!point_entered && integer_digits > 0)
        std::snprintf(typed, sizeof typed, "%u .", integer);
    else if (!point_entered)
        std::snprintf(typed, sizeof typed, " .");
    else if (fraction_digits == 0)
        std::snprintf(typed, sizeof typed, "%u. ", integer);
    else if (fraction_digits <= 6)
        std::snprintf(typed, sizeof typed, "%u.%0*u ", integer, int(fraction_digits), fraction);
    else
        std::snprintf(typed, sizeof typed, "%u.%u ", integer, fraction);
    size_t length = strnlen(typed, DECIMAL_TEXT_LENGTH);
    std::snprintf(text, sizeof text, "%-*.*s", int(DECIMAL_TEXT_LENGTH), int(length), typed);
    return point_entered ? length - 1 : length - 2;
}

char keypad_group_char(char character) {
    if (character == 0) return 0;
    for (const char* group : KEYPAD_GROUPS)
        if (std::strchr(group, character)) return group[0];
    return 0;
}

bool keypad_equal(const char* a, const char* b) {
    if (!a || !b) return a == b;
    size_t length = std::strlen(a);
    if (length != std::strlen(b)) return false;
    for (size_t i = 0; i < length; i++)
        if (keypad_group_char(a[i]) != keypad_group_char(b[i])) return false;
    return true;
}

// --- paging and scroll marks -----------------------------------------------------------

bool is_paging_key(uint16_t code) {
    switch (code) {
    case KEY_UP:
    case KEY_PAGE_UP:
    case KEY_DOWN:
    case KEY_PAGE_DOWN:
    case KEY_HOME:
    case KEY_END:
        return true;
    default:
        return false;
    }
}

uint8_t turn_page(uint16_t code, uint8_t page, uint8_t last_page) {
    switch (code) {
    case KEY_UP:
    case KEY_PAGE_UP:
        return page > 0 ? uint8_t(page - 1) : page;
    case KEY_DOWN:
    case KEY_PAGE_DOWN:
        return page < last_page ? uint8_t(page + 1) : page;
    case KEY_HOME:
        return 0;
    case KEY_END:
        return last_page;
    default:
        return page;
    }
}

namespace {

const uint8_t SCROLL_X = 234;
const uint8_t SCROLL_UP_Y = 24;
const uint8_t SCROLL_DOWN_Y = 32;
const uint8_t SCROLL_UP[8] = {0x10, 0x38, 0x54, 0x10, 0x10, 0x10, 0x10, 0x00};
const uint8_t SCROLL_DOWN[8] = {0x10, 0x10, 0x10, 0x10, 0x54, 0x38, 0x10, 0x00};

} // namespace

void draw_scroll_marks(CLCD& lcd, bool more_above, bool more_below) {
    draw_scroll_marks_at(lcd, SCROLL_X, more_above, more_below);
}

void draw_scroll_marks_at(CLCD& lcd, uint8_t x, bool more_above, bool more_below) {
    if (more_above)
        lcd.Bitmap(x, SCROLL_UP_Y, 8, 8, SCROLL_UP);
    else
        lcd.FillRect(0, x, SCROLL_UP_Y, uint8_t(x + 7), SCROLL_UP_Y + 7);
    if (more_below)
        lcd.Bitmap(x, SCROLL_DOWN_Y, 8, 8, SCROLL_DOWN);
    else
        lcd.FillRect(0, x, SCROLL_DOWN_Y, uint8_t(x + 7), SCROLL_DOWN_Y + 8);
}

void draw_up_arrow(CLCD& lcd, uint8_t x, uint8_t y) {
    lcd.Bitmap(x, y, 8, 8, SCROLL_UP);
}
