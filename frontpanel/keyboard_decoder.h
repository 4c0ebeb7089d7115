// The PS/2 keyboard that can be plugged into the front panel. The panel
// forwards the keyboard's raw bytes (scan code set 2: a make code, 0xF0 before
// a break, 0xE0 before an extended key); the decoder keeps the modifier and
// lock state, applies the "ENUS" (US English) or "FRCA" (Canadian French)
// layout with Shift, Caps/Num Lock and AltGr, composes French accented
// letters from dead keys and queues up to four key events for the manager.
//
// Key event: key code in bits 3-15, bit 2 while Ctrl is held, bit 0 for keys
// of the numeric keypad cluster. Key codes: 8 Backspace, 9 Tab, 10 Enter,
// 27 Esc, 32-255 Latin-1 characters, 256-290 the keys of `keyboard_key`.
//
// Everything runs on the peripheral task's thread: no locking.
#pragma once

#include <cstdint>

enum keyboard_key : uint16_t {
    KEY_BACKSPACE = 8,
    KEY_TAB = 9,
    KEY_ENTER = 10,
    KEY_ESCAPE = 27,
    KEY_SPACE = 32,
    KEY_F1 = 256, // F1-F12: 256-267
    KEY_F12 = 267,
    KEY_LEFT_CTRL = 268,
    KEY_LEFT_ALT = 269,
    KEY_LEFT_SHIFT = 270,
    KEY_RIGHT_CTRL = 271,
    KEY_RIGHT_ALT = 272,
    KEY_RIGHT_SHIFT = 273,
    KEY_CAPS_LOCK = 274,
    KEY_NUM_LOCK = 275,
    KEY_SCROLL_LOCK = 276,
    KEY_INSERT = 277,
    KEY_DELETE = 278,
    KEY_HOME = 279,
    KEY_END = 280,
    KEY_PAGE_UP = 281,
    KEY_PAGE_DOWN = 282,
    KEY_UP = 283,
    KEY_LEFT = 284,
    KEY_RIGHT = 285,
    KEY_DOWN = 286,
    KEY_LEFT_WINDOWS = 287,
    KEY_RIGHT_WINDOWS = 288,
    KEY_MENU = 289,
    KEY_PRINT_SCREEN = 290,
};

enum keyboard_flag : uint16_t {
    KBD_LEFT_CTRL = 0x0001,
    KBD_LEFT_ALT = 0x0002,
    KBD_LEFT_SHIFT = 0x0004,
    KBD_RIGHT_CTRL = 0x0008,
    KBD_RIGHT_ALT = 0x0010,
    KBD_RIGHT_SHIFT = 0x0020,
    KBD_CAPS_LOCK = 0x0040,
    KBD_NUM_LOCK = 0x0080,
    KBD_SCROLL_LOCK = 0x0100,
    KBD_BREAK_PENDING = 0x0200,
    KBD_EXTENDED_PENDING = 0x0400,
};

enum keyboard_event_bit : uint16_t {
    KEY_EVENT_KEYPAD = 0x0001,
    KEY_EVENT_CTRL = 0x0004,
};
const int KEY_EVENT_SHIFT = 3;

inline uint16_t key_event(uint16_t code, uint16_t bits = 0) {
    return uint16_t(code << KEY_EVENT_SHIFT | bits);
}
inline uint16_t key_event_code(uint16_t event) {
    return uint16_t(event >> KEY_EVENT_SHIFT);
}

const uint32_t LOCALE_ENUS = 0x454E5553; // "ENUS"
const uint32_t LOCALE_FRCA = 0x46524341; // "FRCA"

const uint8_t PS2_BREAK = 0xF0;
const uint8_t PS2_EXTENDED = 0xE0;
const uint8_t PS2_SCAN_CODES = 132;

class keyboard_decoder {
  public:
    // -> 1 for "ENUS" or "FRCA"; 0 (unchanged) for anything else.
    int SetLocale(uint32_t locale);
    uint32_t Locale() const { return locale_; }
    // One keyboard byte. -> 1 consumed (prefix, make or break), 0 not a key.
    int Translate(uint8_t byte);
    // -> 0 when empty, else 1 with the oldest event.
    int PopEvent(uint16_t* event);
    // -> 0 (dropped) when four are queued, else 1.
    int PushEvent(uint16_t event);

    uint16_t Flags() const { return flags_; }
    // The panel's lock-state byte replaces the low eight bits (modifiers,
    // Caps and Num Lock) before a keyboard stream.
    void SetLowFlags(uint8_t state) { flags_ = uint16_t((flags_ & 0xFF00) | state); }

    // Latin-1 helpers of the login screen.
    static uint16_t ToUpper(uint16_t character);
    static uint16_t ToLower(uint16_t character);
    // The digit of the telephone-keypad key that carries the character; -1
    // below 32.
    static int KeypadDigit(uint16_t character);

    static const uint8_t QUEUE_LENGTH = 4;
    static const uint8_t NO_DEAD_KEY = 255;

  private:
    bool Shift() const { return flags_ & (KBD_LEFT_SHIFT | KBD_RIGHT_SHIFT); }
    bool Ctrl() const { return flags_ & (KBD_LEFT_CTRL | KBD_RIGHT_CTRL); }
    uint16_t LayoutCode(uint8_t scan) const;
    void UpdateModifiers(uint16_t code, bool make);
    void Compose(uint16_t event);
    int DeadKeyOf(uint16_t code) const;
    void PushCode(uint16_t code);
    int Refuse();

    uint32_t locale_ = LOCALE_ENUS;
    uint16_t flags_ = 0;
    uint8_t dead_key_ = NO_DEAD_KEY;
    uint8_t queue_length_ = 0;
    uint16_t queue_[QUEUE_LENGTH] = {};
};
