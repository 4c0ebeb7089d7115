// PS/2 scan code set 2 to front-panel key events (see keyboard_decoder.h).
#include "frontpanel/keyboard_decoder.h"

#include <array>
#include <cstddef>

namespace {

// A key of a layout: its scan code and its code unshifted and shifted.
struct layout_key {
    uint8_t scan;
    uint16_t plain, shifted;
};

// Keys every layout shares: function keys, editing keys, modifiers, locks
// and the numeric keypad cluster (unshifted: navigation; shifted: digits).
const layout_key COMMON_KEYS[] = {
    {0x05, 256, 256}, {0x06, 257, 257}, {0x04, 258, 258}, {0x0C, 259, 259}, {0x03, 260, 260},
    {0x0B, 261, 261}, {0x83, 262, 262}, {0x0A, 263, 263}, {0x01, 264, 264}, {0x09, 265, 265},
    {0x78, 266, 266}, {0x07, 267, 267}, {0x0D, 9, 9},     {0x5A, 10, 10},   {0x66, 8, 8},
    {0x76, 27, 27},   {0x14, 268, 268}, {0x11, 269, 269}, {0x12, 270, 270}, {0x59, 273, 273},
    {0x58, 274, 274}, {0x77, 275, 275}, {0x7E, 276, 276}, {0x69, 280, 49},  {0x6B, 284, 52},
    {0x6C, 279, 55},  {0x70, 277, 48},  {0x71, 278, 46},  {0x72, 286, 50},  {0x74, 285, 54},
    {0x75, 283, 56},  {0x7A, 282, 51},  {0x7D, 281, 57},  {0x73, 53, 53},   {0x79, 43, 43},
    {0x7B, 45, 45},   {0x7C, 42, 42},
};

// The character keys of "ENUS".
const layout_key ENUS_KEYS[] = {
    {0x0E, 96, 126}, {0x15, 113, 81}, {0x16, 49, 33},  {0x1A, 122, 90}, {0x1B, 115, 83},
    {0x1C, 97, 65},  {0x1D, 119, 87}, {0x1E, 50, 64},  {0x21, 99, 67},  {0x22, 120, 88},
    {0x23, 100, 68}, {0x24, 101, 69}, {0x25, 52, 36},  {0x26, 51, 35},  {0x29, 32, 32},
    {0x2A, 118, 86}, {0x2B, 102, 70}, {0x2C, 116, 84}, {0x2D, 114, 82}, {0x2E, 53, 37},
    {0x31, 110, 78}, {0x32, 98, 66},  {0x33, 104, 72}, {0x34, 103, 71}, {0x35, 121, 89},
    {0x36, 54, 94},  {0x3A, 109, 77}, {0x3B, 106, 74}, {0x3C, 117, 85}, {0x3D, 55, 38},
    {0x3E, 56, 42},  {0x41, 44, 60},  {0x42, 107, 75}, {0x43, 105, 73}, {0x44, 111, 79},
    {0x45, 48, 41},  {0x46, 57, 40},  {0x49, 46, 62},  {0x4A, 47, 63},  {0x4B, 108, 76},
    {0x4C, 59, 58},  {0x4D, 112, 80}, {0x4E, 45, 95},  {0x52, 39, 34},  {0x54, 91, 123},
    {0x55, 61, 43},  {0x5B, 93, 125}, {0x5D, 92, 124},
};

// Where "FRCA" differs from "ENUS".
const layout_key FRCA_CHANGES[] = {
    {0x0E, 35, 124}, {0x1E, 50, 34},   {0x26, 51, 47},   {0x36, 54, 63},
    {0x41, 44, 39},  {0x49, 46, 46},   {0x4A, 233, 201}, {0x52, 96, 96},
    {0x54, 94, 94},  {0x5B, 184, 168}, {0x5D, 60, 62},   {0x73, 0, 53},
};

// "FRCA" with the right Alt (AltGr) held.
const layout_key FRCA_ALTGR[] = {
    {0x0E, 92, 0},  {0x16, 177, 0}, {0x1E, 64, 0},  {0x25, 162, 0}, {0x26, 163, 0}, {0x2E, 164, 0},
    {0x36, 172, 0}, {0x3D, 166, 0}, {0x3E, 178, 0}, {0x41, 175, 0}, {0x44, 167, 0}, {0x45, 188, 0},
    {0x46, 179, 0}, {0x49, 173, 0}, {0x4A, 180, 0}, {0x4C, 126, 0}, {0x4D, 182, 0}, {0x4E, 189, 0},
    {0x52, 123, 0}, {0x54, 91, 0},  {0x55, 190, 0}, {0x5B, 93, 0},  {0x5D, 125, 0},
};

// Keys after the 0xE0 prefix.
struct extended_key {
    uint8_t scan;
    uint16_t code;
    bool keypad;
};
const extended_key EXTENDED_KEYS[] = {
    {0x11, 272, false}, {0x14, 271, false}, {0x1F, 287, false}, {0x27, 288, false},
    {0x2F, 289, false}, {0x4A, 47, true},   {0x5A, 10, true},   {0x69, 280, false},
    {0x6B, 284, false}, {0x6C, 279, false}, {0x70, 277, false}, {0x71, 278, false},
    {0x72, 286, false}, {0x74, 285, false}, {0x75, 283, false}, {0x7A, 282, false},
    {0x7C, 290, false}, {0x7D, 281, false},
};

typedef std::array<uint16_t, PS2_SCAN_CODES> scan_table;

enum layout_table { ENUS_PLAIN, ENUS_SHIFTED, FRCA_PLAIN, FRCA_SHIFTED, FRCA_ALTGR_TABLE, TABLES };

template <size_t N> void fill(scan_table& plain, scan_table* shifted, const layout_key (&keys)[N]) {
    for (const layout_key& key : keys) {
        plain[key.scan] = key.plain;
        if (shifted) (*shifted)[key.scan] = key.shifted;
    }
}

// The five tables of 132 codes indexed by scan code (0: no key).
const std::array<scan_table, TABLES>& tables() {
    static const std::array<scan_table, TABLES> built = [] {
        std::array<scan_table, TABLES> t{};
        fill(t[ENUS_PLAIN], &t[ENUS_SHIFTED], COMMON_KEYS);
        fill(t[ENUS_PLAIN], &t[ENUS_SHIFTED], ENUS_KEYS);
        t[FRCA_PLAIN] = t[ENUS_PLAIN];
        t[FRCA_SHIFTED] = t[ENUS_SHIFTED];
        fill(t[FRCA_PLAIN], &t[FRCA_SHIFTED], FRCA_CHANGES);
        fill(t[FRCA_ALTGR_TABLE], nullptr, FRCA_ALTGR);
        return t;
    }();
    return built;
}

bool keypad_cluster(uint8_t scan) {
    return scan == 0x69 || scan == 0x6B || scan == 0x6C || (scan >= 0x70 && scan <= 0x75) ||
           scan == 0x77 || (scan >= 0x79 && scan <= 0x7E);
}

// Dead keys: their spacing character and the letters they compose.
enum dead_key : uint8_t { DEAD_ACUTE, DEAD_CIRCUMFLEX, DEAD_GRAVE, DEAD_DIAERESIS, DEAD_CEDILLA };
const uint16_t DEAD_SPACING[] = {180, 94, 96, 168, 184};

struct composed_letter {
    uint8_t letter;
    uint8_t with[5]; // acute, circumflex, grave, diaeresis, cedilla (0: none)
};
const composed_letter COMPOSED[] = {
    {'A', {193, 194, 192, 196, 0}}, {'C', {0, 0, 0, 0, 199}},       {'E', {201, 202, 200, 203, 0}},
    {'I', {205, 206, 204, 207, 0}}, {'O', {211, 212, 210, 214, 0}}, {'U', {218, 219, 217, 220, 0}},
    {'Y', {221, 0, 0, 159, 0}},     {'a', {225, 226, 224, 228, 0}}, {'c', {0, 0, 0, 0, 231}},
    {'e', {233, 234, 232, 235, 0}}, {'i', {237, 238, 236, 239, 0}}, {'o', {243, 244, 242, 246, 0}},
    {'u', {250, 251, 249, 252, 0}}, {'y', {253, 0, 0, 255, 0}},
};

uint16_t composed(uint16_t letter, uint8_t dead) {
    for (const composed_letter& row : COMPOSED)
        if (row.letter == letter) return row.with[dead];
    return 0;
}

// The telephone keypad's letters: the Latin-1 ranges each digit carries.
struct keypad_range {
    uint16_t first, last;
    int digit;
};
const keypad_range KEYPAD_RANGES[] = {
    {'A', 'C', 2}, {192, 197, 2}, {'D', 'F', 3}, {200, 203, 3}, {'G', 'I', 4},
    {204, 207, 4}, {'J', 'L', 5}, {'M', 'O', 6}, {210, 214, 6}, {'P', 'S', 7},
    {'T', 'V', 8}, {217, 220, 8}, {'W', 'Z', 9}, {159, 159, 9}, {' ', ' ', 0},
};

} // namespace

int keyboard_decoder::SetLocale(uint32_t locale) {
    if (locale != LOCALE_ENUS && locale != LOCALE_FRCA) return 0;
    locale_ = locale;
    return 1;
}

uint16_t keyboard_decoder::ToUpper(uint16_t c) {
    if ((c >= 'a' && c <= 'z') || (c >= 224 && c <= 254 && c != 247)) return uint16_t(c - 32);
    return c == 255 ? 175 : c;
}

uint16_t keyboard_decoder::ToLower(uint16_t c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 192 && c <= 222 && c != 215)) return uint16_t(c + 32);
    return c == 175 ? 255 : c;
}

int keyboard_decoder::KeypadDigit(uint16_t character) {
    uint16_t c = ToUpper(character);
    for (const keypad_range& range : KEYPAD_RANGES)
        if (c >= range.first && c <= range.last) return range.digit;
    if (c >= '0' && c <= '9') return c - '0';
    return c >= 32 ? 1 : -1;
}

int keyboard_decoder::PushEvent(uint16_t event) {
    if (queue_length_ >= QUEUE_LENGTH) return 0;
    queue_[queue_length_++] = event;
    return 1;
}

int keyboard_decoder::PopEvent(uint16_t* event) {
    if (queue_length_ == 0 || !event) return 0;
    *event = queue_[0];
    for (uint8_t i = 1; i < queue_length_; i++)
        queue_[i - 1] = queue_[i];
    queue_length_--;
    return 1;
}

int keyboard_decoder::Refuse() {
    flags_ &= uint16_t(~KBD_BREAK_PENDING);
    return 0;
}

// The layout's code for a scan code below 132, with Shift, the case
// inverter (Caps Lock for the main block, Num Lock for the keypad) and AltGr.
uint16_t keyboard_decoder::LayoutCode(uint8_t scan) const {
    bool main_block = scan < 0x69;
    bool inverter = flags_ & (main_block ? KBD_CAPS_LOCK : KBD_NUM_LOCK);
    bool shifted = main_block ? Shift() : (inverter && Shift());
    bool french = locale_ == LOCALE_FRCA;
    if (french && (flags_ & KBD_RIGHT_ALT) && tables()[FRCA_ALTGR_TABLE][scan] != 0)
        return tables()[FRCA_ALTGR_TABLE][scan];
    int table = (french ? FRCA_PLAIN : ENUS_PLAIN) + (shifted ? 1 : 0);
    uint16_t code = tables()[table][scan];
    if (inverter) code = Shift() ? ToLower(code) : ToUpper(code);
    return code;
}

void keyboard_decoder::UpdateModifiers(uint16_t code, bool make) {
    if (code < KEY_LEFT_CTRL || code > KEY_SCROLL_LOCK) return;
    uint16_t bit = uint16_t(1u << (code - KEY_LEFT_CTRL));
    bool lock = code >= KEY_CAPS_LOCK;
    if (make)
        flags_ = lock ? uint16_t(flags_ ^ bit) : uint16_t(flags_ | bit);
    else if (!lock)
        flags_ &= uint16_t(~bit);
}

int keyboard_decoder::Translate(uint8_t byte) {
    if (byte == PS2_BREAK) return flags_ |= KBD_BREAK_PENDING, 1;
    if (byte == PS2_EXTENDED) return flags_ |= KBD_EXTENDED_PENDING, 1;
    uint16_t code = 0;
    bool keypad = false;
    if (flags_ & KBD_EXTENDED_PENDING) {
        flags_ &= uint16_t(~KBD_EXTENDED_PENDING);
        for (const extended_key& key : EXTENDED_KEYS)
            if (key.scan == byte) code = key.code, keypad = key.keypad;
    } else if (byte < PS2_SCAN_CODES) {
        code = LayoutCode(byte);
        keypad = keypad_cluster(byte);
    }
    if (code == 0) return Refuse();
    bool make = !(flags_ & KBD_BREAK_PENDING);
    UpdateModifiers(code, make);
    if (!make) return Refuse(), 1;
    Compose(
        key_event(code, uint16_t((Ctrl() ? KEY_EVENT_CTRL : 0) | (keypad ? KEY_EVENT_KEYPAD : 0))));
    return 1;
}

// -> the dead key the code is in "FRCA", or -1.
int keyboard_decoder::DeadKeyOf(uint16_t code) const {
    switch (code) {
    case 180:
        return DEAD_ACUTE;
    case 94:
        return DEAD_CIRCUMFLEX;
    case 96:
        return DEAD_GRAVE;
    case 168:
    case 184:
        return Shift() ? DEAD_DIAERESIS : DEAD_CEDILLA;
    default:
        return -1;
    }
}

void keyboard_decoder::PushCode(uint16_t code) {
    PushEvent(key_event(code, Ctrl() ? KEY_EVENT_CTRL : 0));
}

void keyboard_decoder::Compose(uint16_t event) {
    uint16_t code = key_event_code(event);
    if (locale_ != LOCALE_FRCA || code > 255) return (void)PushEvent(event);
    int dead = DeadKeyOf(code);
    uint8_t pending = dead_key_;
    if (dead >= 0) {
        if (pending == NO_DEAD_KEY) return (void)(dead_key_ = uint8_t(dead));
        PushCode(DEAD_SPACING[pending]);
        PushCode(DEAD_SPACING[dead]);
        dead_key_ = NO_DEAD_KEY;
        return;
    }
    if (pending == NO_DEAD_KEY) return (void)PushEvent(event);
    dead_key_ = NO_DEAD_KEY;
    if (code == KEY_BACKSPACE) return;
    if (uint16_t letter = composed(code, pending)) return PushCode(letter);
    PushCode(DEAD_SPACING[pending]);
    if (code != KEY_SPACE) PushEvent(event);
}
