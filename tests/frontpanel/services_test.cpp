// The editing rules of the panel's text and number fields, decimals and the
// keypad's letter groups.
#include "frontpanel/menu.h"
#include "frontpanel/services.h"
#include "frontpanel/keyboard_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

uint16_t key(uint16_t code) {
    return key_event(code);
}
uint16_t keypad(uint16_t code) {
    return key_event(code, KEY_EVENT_KEYPAD);
}
uint16_t tap_again(uint16_t code) {
    return key_event(code, KEY_EVENT_MULTITAP);
}

struct text_case {
    const char* name;
    size_t size;
    std::vector<uint16_t> events;
    const char* text;
    edit_outcome last;
};

TEST(EditText, MultiTapReplacesAndOtherKeysAppendWithinTheSize) {
    const text_case cases[] = {
        {"one key three times",
         8,
         {keypad('2'), tap_again('A'), tap_again('B')},
         "B",
         EDIT_CHANGED},
        {"across keys",
         8,
         {keypad('2'), tap_again('A'), keypad('3'), tap_again('D')},
         "AD",
         EDIT_CHANGED},
        {"size 4 takes three",
         4,
         {key('a'), key('b'), key('c'), key('d')},
         "abc",
         EDIT_NOT_HANDLED},
        {"a full field still replaces",
         4,
         {key('a'), key('b'), key('c'), tap_again('x')},
         "abx",
         EDIT_CHANGED},
        {"backspace", 8, {key('a'), key('b'), key(KEY_BACKSPACE)}, "a", EDIT_CHANGED},
        {"keypad left erases", 8, {key('a'), keypad(KEY_LEFT)}, "", EDIT_CHANGED},
        {"keyboard left is not the field's", 8, {key('a'), key(KEY_LEFT)}, "a", EDIT_NOT_HANDLED},
        {"erasing nothing", 8, {key(KEY_BACKSPACE)}, "", EDIT_NOT_HANDLED},
        {"multi-tap on an empty field appends", 8, {tap_again('A')}, "A", EDIT_CHANGED},
        {"enter and function keys",
         8,
         {key('a'), key(KEY_ENTER), key(KEY_F1)},
         "a",
         EDIT_NOT_HANDLED},
        {"latin-1 letters", 8, {key(0xE9)}, "\xE9", EDIT_CHANGED},
    };
    for (const text_case& c : cases) {
        char buffer[16] = {};
        edit_outcome last = EDIT_NOT_HANDLED;
        for (uint16_t event : c.events)
            last = edit_text_key(buffer, c.size, event);
        EXPECT_EQ(std::string(c.text), buffer) << c.name;
        EXPECT_EQ(c.last, last) << c.name;
    }
    EXPECT_EQ(EDIT_NOT_HANDLED, edit_text_key(nullptr, 8, key('a')));
    char none[1] = {};
    EXPECT_EQ(EDIT_NOT_HANDLED, edit_text_key(none, 0, key('a')));
}

struct number_case {
    const char* name;
    uint32_t start, maximum;
    bool wrap;
    const char* typed; // digits, 'b' backspace, 'x' a letter
    uint32_t value;
    edit_outcome last;
};

TEST(EditNumber, DigitsStayWithinTheMaximumOrWrapRoundIt) {
    const number_case cases[] = {
        {"stops at the maximum", 0, 255, false, "256", 25, EDIT_KEPT},
        {"reaches the maximum", 0, 255, false, "255", 255, EDIT_CHANGED},
        {"no maximum", 0, 0, false, "123456", 123456, EDIT_CHANGED},
        {"the number's range", 429496728, 0, false, "9", 4294967289u, EDIT_CHANGED},
        {"past the number's range", 429496729, 0, false, "0", 429496729, EDIT_KEPT},
        {"wrap keeps the last digits", 5, 59, true, "7", 57, EDIT_CHANGED},
        {"wrap drops to one digit", 57, 59, true, "8", 8, EDIT_CHANGED},
        {"wrap to two digits", 0, 255, true, "2567", 67, EDIT_CHANGED},
        {"wrap with a large maximum", 4000000000u, 4100000000u, true, "5", 5, EDIT_CHANGED},
        {"backspace", 123, 0, false, "b", 12, EDIT_CHANGED},
        {"backspace at zero", 0, 0, false, "b", 0, EDIT_KEPT},
        {"a letter is not the field's", 12, 0, false, "x", 12, EDIT_NOT_HANDLED},
    };
    for (const number_case& c : cases) {
        uint32_t value = c.start;
        edit_outcome last = EDIT_NOT_HANDLED;
        for (const char* p = c.typed; *p; p++) {
            uint16_t event = *p == 'b' ? key(KEY_BACKSPACE) : keypad(uint16_t(*p));
            last = edit_number_key(value, c.maximum, event, c.wrap);
        }
        EXPECT_EQ(c.value, value) << c.name;
        EXPECT_EQ(c.last, last) << c.name;
    }
}

TEST(DrawDecimal, TheTextShowsTheTypedDigitsAndPlacesTheCursorAfterThem) {
    struct decimal_case {
        uint32_t integer;
        uint8_t integer_digits;
        uint32_t fraction;
        uint8_t fraction_digits;
        bool point;
        const char* text;
        size_t cursor;
    } cases[] = {
        {0, 0, 0, 0, false, " .", 0},
        {12, 2, 0, 0, false, "12 .", 2},
        {12, 2, 0, 0, true, "12. ", 3},
        {12, 2, 5, 2, true, "12.05 ", 5},
        {1, 1, 7, 1, true, "1.7 ", 3},
        {1, 1, 1234567, 7, true, "1.1234567 ", 9},
        {123456, 6, 123456789, 9, true, "123456.12345678", 14},
    };
    for (const decimal_case& c : cases) {
        char text[DECIMAL_TEXT_LENGTH + 1];
        size_t cursor = format_decimal(text, c.integer, c.integer_digits, c.fraction,
                                       c.fraction_digits, c.point);
        std::string expected = std::string(c.text) + std::string(15 - strlen(c.text), ' ');
        EXPECT_EQ(expected, text) << c.text;
        EXPECT_EQ(c.cursor, cursor) << c.text;
    }
}

TEST(KeypadEquality, PasswordsAreTheSameWhenEachCharacterIsOnTheSameKey) {
    EXPECT_EQ('2', keypad_group_char('b'));
    EXPECT_EQ('9', keypad_group_char('Y'));
    EXPECT_EQ('1', keypad_group_char('('));
    EXPECT_EQ('0', keypad_group_char(' '));
    EXPECT_EQ(0, keypad_group_char('='));
    EXPECT_TRUE(keypad_equal("abc", "2CB"));
    EXPECT_TRUE(keypad_equal("1234", "1adg"));
    EXPECT_FALSE(keypad_equal("1234", "12345"));
    EXPECT_FALSE(keypad_equal("abc", "abd"));
    EXPECT_TRUE(keypad_equal("=!", "[]")) << "characters on no key all fall together";
    EXPECT_TRUE(keypad_equal("", ""));
    EXPECT_FALSE(keypad_equal("", "a"));
}

} // namespace
