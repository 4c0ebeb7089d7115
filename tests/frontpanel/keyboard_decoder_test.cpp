// The PS/2 keyboard decoder: scan code set 2 in both layouts to key events.
#include "frontpanel/keyboard_decoder.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

typedef std::vector<uint16_t> Events;

const uint16_t KP = KEY_EVENT_KEYPAD, CTRL = KEY_EVENT_CTRL;

Events drain(keyboard_decoder& decoder) {
    Events events;
    uint16_t event = 0;
    while (decoder.PopEvent(&event))
        events.push_back(event);
    return events;
}

struct Case {
    const char* what;
    uint32_t locale;
    uint8_t flags; // the panel's lock-state byte
    std::vector<uint8_t> bytes;
    Events events; // as key_event(code, bits)
};

TEST(KeyboardDecoder, TurnsScanCodesIntoKeyEventsInBothLayouts) {
    const Case cases[] = {
        {"letter", LOCALE_ENUS, 0, {0x1C, 0xF0, 0x1C}, {key_event('a')}},
        {"shifted letter", LOCALE_ENUS, KBD_LEFT_SHIFT, {0x1C}, {key_event('A')}},
        {"shifted digit", LOCALE_ENUS, KBD_RIGHT_SHIFT, {0x16}, {key_event('!')}},
        {"caps lock", LOCALE_ENUS, KBD_CAPS_LOCK, {0x1C}, {key_event('A')}},
        {"caps lock and shift",
         LOCALE_ENUS,
         KBD_CAPS_LOCK | KBD_LEFT_SHIFT,
         {0x1C},
         {key_event('a')}},
        {"French shifted key", LOCALE_FRCA, KBD_LEFT_SHIFT, {0x26}, {key_event('/')}},
        {"French e acute key", LOCALE_FRCA, 0, {0x4A}, {key_event(233)}},
        {"AltGr", LOCALE_FRCA, KBD_RIGHT_ALT, {0x1E}, {key_event('@')}},
        {"AltGr pound", LOCALE_FRCA, KBD_RIGHT_ALT, {0x26}, {key_event(163)}},
        {"AltGr only in French", LOCALE_ENUS, KBD_RIGHT_ALT, {0x1E}, {key_event('2')}},
        {"circumflex on shifted e", LOCALE_FRCA, KBD_LEFT_SHIFT, {0x54, 0x24}, {key_event(202)}},
        {"cedilla on c", LOCALE_FRCA, 0, {0x5B, 0x21}, {key_event(231)}},
        {"diaeresis on shifted dead key",
         LOCALE_FRCA,
         KBD_LEFT_SHIFT,
         {0x5B, 0x24},
         {key_event(203)}},
        {"dead key then space", LOCALE_FRCA, 0, {0x5B, 0x29}, {key_event(184)}},
        {"dead key then a letter it cannot carry",
         LOCALE_FRCA,
         0,
         {0x54, 0x1D},
         {key_event(94), key_event('w')}},
        {"two dead keys", LOCALE_FRCA, 0, {0x54, 0x52}, {key_event(94), key_event(96)}},
        {"dead key cancelled by backspace", LOCALE_FRCA, 0, {0x54, 0x66}, {}},
        {"no dead keys in English", LOCALE_ENUS, 0, {0x54, 0x24}, {key_event('['), key_event('e')}},
        {"F1, F7, F12",
         LOCALE_ENUS,
         0,
         {0x05, 0x83, 0x07},
         {key_event(KEY_F1), key_event(262), key_event(KEY_F12)}},
        {"extended arrows",
         LOCALE_ENUS,
         0,
         {0xE0, 0x75, 0xE0, 0x6B},
         {key_event(KEY_UP), key_event(KEY_LEFT)}},
        {"extended release gives nothing", LOCALE_ENUS, 0, {0xE0, 0xF0, 0x75}, {}},
        {"keypad Enter and slash",
         LOCALE_ENUS,
         0,
         {0xE0, 0x5A, 0xE0, 0x4A},
         {key_event(KEY_ENTER, KP), key_event('/', KP)}},
        {"keypad 8 without Num Lock", LOCALE_ENUS, 0, {0x75}, {key_event(KEY_UP, KP)}},
        {"keypad 8, Num Lock on", LOCALE_ENUS, KBD_NUM_LOCK, {0x75}, {key_event(KEY_UP, KP)}},
        {"keypad 8, Num Lock and Shift",
         LOCALE_ENUS,
         KBD_NUM_LOCK | KBD_LEFT_SHIFT,
         {0x75},
         {key_event('8', KP)}},
        {"Ctrl held", LOCALE_ENUS, KBD_LEFT_CTRL, {0x05}, {key_event(KEY_F1, CTRL)}},
        {"Ctrl pressed, then F1",
         LOCALE_ENUS,
         0,
         {0x14, 0x05},
         {key_event(KEY_LEFT_CTRL, CTRL), key_event(KEY_F1, CTRL)}},
        {"Ctrl released", LOCALE_ENUS, KBD_LEFT_CTRL, {0xF0, 0x14, 0x05}, {key_event(KEY_F1)}},
        {"right Ctrl",
         LOCALE_ENUS,
         0,
         {0xE0, 0x14, 0x1C},
         {key_event(KEY_RIGHT_CTRL, CTRL), key_event('a', CTRL)}},
        {"a break without its make", LOCALE_ENUS, 0, {0xF0, 0x1C}, {}},
        {"unknown scan codes", LOCALE_ENUS, 0, {0x02, 0x90, 0xE0, 0x13, 0x1C}, {key_event('a')}},
        {"a fifth event is lost",
         LOCALE_ENUS,
         0,
         {0x1C, 0x32, 0x21, 0x23, 0x24},
         {key_event('a'), key_event('b'), key_event('c'), key_event('d')}},
    };
    for (const Case& c : cases) {
        keyboard_decoder decoder;
        ASSERT_EQ(1, decoder.SetLocale(c.locale));
        decoder.SetLowFlags(c.flags);
        for (uint8_t byte : c.bytes)
            decoder.Translate(byte);
        EXPECT_EQ(c.events, drain(decoder)) << c.what;
    }
}

TEST(KeyboardDecoder, KeepsModifierAndLockStateAndRefusesWhatIsNoKey) {
    keyboard_decoder decoder;
    EXPECT_EQ(1, decoder.Translate(0x12));
    EXPECT_TRUE(decoder.Flags() & KBD_LEFT_SHIFT);
    decoder.Translate(0xF0);
    decoder.Translate(0x12);
    EXPECT_FALSE(decoder.Flags() & KBD_LEFT_SHIFT);
    decoder.Translate(0x58);
    decoder.Translate(0xF0);
    decoder.Translate(0x58);
    EXPECT_TRUE(decoder.Flags() & KBD_CAPS_LOCK) << "a lock toggles on its make only";
    decoder.Translate(0x58);
    EXPECT_FALSE(decoder.Flags() & KBD_CAPS_LOCK);

    EXPECT_EQ(1, decoder.Translate(0xF0));
    EXPECT_EQ(0, decoder.Translate(0x84));
    EXPECT_FALSE(decoder.Flags() & KBD_BREAK_PENDING) << "no prefix stays pending";
    EXPECT_EQ(0, decoder.Translate(0x00));

    EXPECT_EQ(0, decoder.SetLocale(0x44454445));
    EXPECT_EQ(LOCALE_ENUS, decoder.Locale());
    EXPECT_EQ(1, decoder.SetLocale(LOCALE_FRCA));
    EXPECT_EQ(LOCALE_FRCA, decoder.Locale());
    // "FRCA" has no key on keypad 5 unshifted.
    decoder.SetLowFlags(0);
    EXPECT_EQ(0, decoder.Translate(0x73));
}

TEST(KeyboardDecoder, CharacterHelpersFollowLatin1AndTheTelephoneKeypad) {
    struct Row {
        uint16_t c, upper, lower;
        int digit;
    } rows[] = {
        {'a', 'A', 'a', 2}, {'Z', 'Z', 'z', 9}, {233, 201, 233, 3}, {201, 201, 233, 3},
        {247, 247, 247, 1}, {215, 215, 215, 1}, {255, 175, 255, 1}, {175, 175, 255, 1},
        {' ', ' ', ' ', 0}, {'7', '7', '7', 7}, {'s', 'S', 's', 7}, {159, 159, 159, 9},
        {'#', '#', '#', 1}, {10, 10, 10, -1},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(r.upper, keyboard_decoder::ToUpper(r.c)) << r.c;
        EXPECT_EQ(r.lower, keyboard_decoder::ToLower(r.c)) << r.c;
        EXPECT_EQ(r.digit, keyboard_decoder::KeypadDigit(r.c)) << r.c;
    }
}

} // namespace
