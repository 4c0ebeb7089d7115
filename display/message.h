// One message being checked or shown: its MULTI text, the text attributes in
// force at the current point of the text, the layout records that the MULTI
// parser and the renderer fill while they walk a page, and the element that
// the parser hands to the renderer. Fixed-size records throughout: a message
// allocates nothing after construction.
#pragma once

#include "display/fonts/ntcip_font.h"
#include "store/colours.h"

#include <cstdint>

class CSurface;

const uint32_t MULTI_MAX_TEXT = 2500; // bytes of MULTI text a message holds
const unsigned MESSAGE_WINDOWS = 12;  // window 0 (whole sign) + 11 [tr] windows
const unsigned MESSAGE_LINES = 20;    // line records per window
const unsigned MESSAGE_MOVING_TEXTS = 20;
const unsigned MESSAGE_RECTANGLES = 20;
const unsigned MESSAGE_FLASH_REGIONS = 25;
const unsigned MESSAGE_LINE_CHARS = 2500; // characters kept for full justification per page
const uint32_t MOVING_TEXT_NOT_STARTED = 0xFFFFFF;

// The default background / foreground objects as colour15 (front-panel preview).
uint32_t multi_default_background_rgb15();
uint32_t multi_default_foreground_rgb15();

// Kinds of the element the parser hands to the renderer.
enum multi_element_kind : uint32_t {
    MULTI_ELEMENT_NONE = 0,
    MULTI_ELEMENT_TEXT = 1,            // run of text characters
    MULTI_ELEMENT_PRIVATE_TEXT = 2,    // [ms11,r,a,b]: part of halvObj6_2
    MULTI_ELEMENT_TIME = 3,            // [f1] [f2] [f7]..[f13]
    MULTI_ELEMENT_TEMP_C = 4,          // [f3] [f92] [f94] [f96] [f98]
    MULTI_ELEMENT_TEMP_F = 5,          // [f4] [f93] [f95] [f97] [f99]
    MULTI_ELEMENT_SPEED_MPH = 6,       // [f6]
    MULTI_ELEMENT_SPEED_KPH = 7,       // [f5]
    MULTI_ELEMENT_BITMAP = 8,          // [ms11,g,x,y,file]
    MULTI_ELEMENT_GRAPHIC = 9,         // [g]
    MULTI_ELEMENT_LINE_START = 10,     // never sent
    MULTI_ELEMENT_MOVING_END = 11,     // bracket closing [mv]
    MULTI_ELEMENT_MOVING_START = 12,   // [mv]
    MULTI_ELEMENT_CHARACTER = 13,      // [hc]
    MULTI_ELEMENT_LINE_END = 14,       // measuring pass only
    MULTI_ELEMENT_WINDOW_END = 15,     // measuring pass only
    MULTI_ELEMENT_NEW_LINE = 16,       // [nl]
    MULTI_ELEMENT_PAGE_END = 17,       // measuring pass only
    MULTI_ELEMENT_POSITION = 18,       // [ms11,xy]
    MULTI_ELEMENT_UNUSED = 19,         // never sent
    MULTI_ELEMENT_RECTANGLE = 20,      // [cr]
    MULTI_ELEMENT_TEXT_RECTANGLE = 21, // [tr]
    MULTI_ELEMENT_SPEED_DETECTOR = 22, // [ms11,spm..] / [ms11,spk..]
};

const unsigned MULTI_FORMAT_SIZE = 16;
const unsigned MULTI_PATH_SIZE = 152;

// The current element and its payload. Fields not used by a kind stay 0.
struct multi_element {
    uint32_t kind;
    const char* text;               // 1: first character, inside the message's text
    uint32_t count;                 // 1: characters
    uint32_t position;              // 1: 1-based text position of the first character
    int16_t start;                  // 2: start offset in halvObj6_2
    uint8_t length;                 // 2: characters
    char format[MULTI_FORMAT_SIZE]; // 3-7, 22: format text (or value text for f92-f99)
    uint16_t field_code;            // 3-7
    char path[MULTI_PATH_SIZE];     // 8: bitmap file path
    int32_t x, y;                   // 8, 9: 1-based position
    uint8_t graphic_number;         // 9
    uint16_t graphic_id;            // 9
    uint8_t character;              // 13
    uint16_t unit;                  // 22: 1 miles per hour, 2 kilometres per hour
    uint16_t detector;              // 22: 1-based detector number
    uint16_t digits;                // 22
};

// Line records: one per line of each window.
struct msg_line {
    int16_t left_x, centre_x, right_x;
    int16_t start_x;
    uint16_t left_width, centre_width, right_width;
    int16_t top;
    uint16_t height;
    uint16_t full_counter;         // next character drawn under full justification
    uint8_t char_spacing;          // [sc] value of the line, 255 = none
    uint8_t line_spacing : 7;      // pixels to the next line, from [nl]
    uint8_t has_moving : 1;        // set by [mv]
    uint8_t spacing_hint;          // largest font line spacing on the line
    uint8_t run_justification : 3; // justification of the line's last run; 0 none
    uint8_t centre_lead : 5;       // spacing before the centre segment's first character
    uint16_t chars_first;          // characters kept for full justification: first
    uint16_t chars_count;          //   index in the message's character list, and count
};

struct msg_window {
    uint32_t left, top, right, bottom; // 0-based pixels, right and bottom exclusive
};

struct msg_moving_text {
    int32_t x, y, clip_height, width;
    uint8_t mode;         // 1 circular left, 2 circular right, 3 linear left, 4 linear right
    uint8_t pause_length; // frames
    uint8_t step;         // pixels
    uint8_t frames_per_step;
    uint32_t text_width;
    uint32_t offset; // MOVING_TEXT_NOT_STARTED until the first step
    uint8_t pause_counter, frame_counter, started;
    void Reset();
};

struct msg_rectangle {
    uint32_t x, y, height, width, colour; // x, y 1-based
};

struct msg_flash {
    uint32_t phase; // 2 on, 1 off, 0 not yet started
    uint8_t frames_left;
};

// A character kept for full justification.
struct msg_line_char {
    uint8_t code;
    uint8_t width;
    int16_t x;
};

// The sign's default attributes, read from the NTCIP default objects.
class message_defaults {
  public:
    message_defaults();
    virtual ~message_defaults();
    // Reads the default objects from the object store and converts the colours.
    void Load();
    // Turns the stored colour bytes into the three colour members; colour
    // scheme 4 is 24-bit colour, anything else classic colour numbers.
    void ConvertColour(uint32_t colour_scheme);

    uint32_t foreground;
    int32_t text_background; // always -1
    uint32_t page_background;
    uint8_t foreground_rgb[3];
    uint8_t foreground_rgb_length;
    uint8_t background_rgb[3];
    uint8_t background_rgb_length;
    uint8_t flash_on, flash_off, page_on, page_off, font, justification_line, justification_page;
};

class CMessage {
  public:
    CMessage();
    explicit CMessage(CSurface* surface);
    virtual ~CMessage();

    // Mode 0 also restarts flashing; mode 1 keeps the flash records and
    // clears each line's spacing hint.
    void Reset(int mode);
    void ApplyDefaults();

    // Bounded access to the current records (indexes are clamped, so a
    // renderer that runs past a limit never leaves the records).
    msg_window& CurrentWindow();
    msg_line& CurrentLine();
    msg_line& Line(unsigned window, unsigned line);
    msg_moving_text& CurrentMovingText();
    unsigned WindowIndex() const;
    unsigned LineIndex() const;

    // Characters of full-justified lines (renderer's working list). Appends go
    // to the line given; false when the list is full or the line is not the
    // last one appended to. Released at the start of every parse of a page.
    bool AppendLineChar(unsigned window, unsigned line, uint8_t code, uint8_t width);
    msg_line_char* LineChars(unsigned window, unsigned line); // chars_count entries
    void ReleaseLineChars();

    uint32_t page_background;
    uint8_t page_on_time, page_off_time;
    uint8_t off_time_given;
    uint8_t page_justification[MESSAGE_WINDOWS];
    uint8_t page_justification_given[MESSAGE_WINDOWS];
    uint8_t line_justification[MESSAGE_WINDOWS];
    uint32_t saved_line_justification; // before [ms11,xy]; 0 none saved
    uint32_t saved_page_justification;
    int32_t char_spacing; // -1: the font's own
    uint8_t font;         // font number (1-based) in use
    uint32_t foreground;
    int32_t text_background; // -1: none
    uint8_t flash_mode;      // 0 none, 1 on first, 2 off first
    uint8_t flash_on_time, flash_off_time;
    message_defaults defaults;
    char text[MULTI_MAX_TEXT]; // not NUL-terminated
    uint32_t text_length;
    uint32_t next_page_position;
    uint32_t page_start_position;
    uint8_t new_line_pending;
    uint8_t measure_pass;
    uint8_t moving_text_open;
    CNTCIPFont current_font; // bound to the current font's table row (by [fo] and the renderer)
    uint8_t page_started;
    uint32_t line_index, window_index, moving_index, flash_index, rectangle_index;
    uint16_t field_index;
    msg_moving_text moving_texts[MESSAGE_MOVING_TEXTS];
    msg_line lines[MESSAGE_WINDOWS][MESSAGE_LINES];
    msg_rectangle rectangles[MESSAGE_RECTANGLES];
    msg_flash flash[MESSAGE_FLASH_REGIONS];
    uint32_t error_position;
    // Character spacing of the previous run, one for each pass, so that what
    // is measured is what is drawn whatever other messages do meanwhile.
    int32_t measured_spacing, drawn_spacing;
    uint8_t pages_shown;
    CSurface* surface;
    int32_t current_x, current_y;
    uint32_t moving_x, moving_y;
    msg_window windows[MESSAGE_WINDOWS];
    multi_element element;

  private:
    void Construct(CSurface* surface);
    msg_line_char line_chars_[MESSAGE_LINE_CHARS];
    uint32_t line_chars_used_;
    const msg_line* line_chars_owner_;
};

// The attributes in force at the start of a page.
struct page_attribute_snapshot {
    uint8_t flash_mode;
    uint8_t line_justification[MESSAGE_WINDOWS];
    uint8_t page_justification[MESSAGE_WINDOWS];
    uint8_t font;
    uint32_t font_row; // the table row current_font is bound to
    uint32_t foreground;
    int32_t text_background;
    int32_t char_spacing;
    uint32_t page_background;
};
// The parser's passes and the display task's frames both start a page from it.
void save_page_attributes(const CMessage& message, page_attribute_snapshot& snapshot);
void restore_page_attributes(CMessage& message, const page_attribute_snapshot& snapshot);
