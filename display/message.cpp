// The message record and its defaults.
#include "display/message.h"

#include "display/surface.h"

#include <cstring>

// ---------------------------------------------------------------------------

void msg_moving_text::Reset() {
    *this = msg_moving_text{};
    offset = MOVING_TEXT_NOT_STARTED;
}

message_defaults::message_defaults()
    : foreground(0), text_background(-1), page_background(0), foreground_rgb{},
      foreground_rgb_length(0), background_rgb{}, background_rgb_length(0), flash_on(0),
      flash_off(0), page_on(0), page_off(0), font(0), justification_line(0), justification_page(0) {
}

message_defaults::~message_defaults() {}

void message_defaults::ConvertColour(uint32_t colour_scheme) {
    if (colour_scheme == 4) {
        foreground = multi_rgb_to_rgb15(foreground_rgb[0], foreground_rgb[1], foreground_rgb[2]);
        page_background =
            multi_rgb_to_rgb15(background_rgb[0], background_rgb[1], background_rgb[2]);
    } else {
        foreground = multi_color_to_rgb15(foreground_rgb[0]);
        page_background = multi_color_to_rgb15(background_rgb[0]);
    }
    text_background = -1;
}

// ---------------------------------------------------------------------------

CMessage::CMessage() {
    Construct(nullptr);
}

// Bound to a surface: the construction's reset clears it (unless the
// surface keeps its content).
CMessage::CMessage(CSurface* bound_surface) {
    Construct(bound_surface);
}

void CMessage::Construct(CSurface* bound_surface) {
    page_background = 0;
    page_on_time = page_off_time = 0;
    off_time_given = 0;
    saved_line_justification = saved_page_justification = 0;
    char_spacing = -1;
    font = 0;
    foreground = 0;
    text_background = -1;
    flash_mode = 0;
    flash_on_time = flash_off_time = 0;
    next_page_position = page_start_position = 0;
    new_line_pending = 0;
    measure_pass = 0;
    moving_text_open = 0;
    current_font.SetRow(0);
    field_index = 0;
    pages_shown = 0;
    measured_spacing = drawn_spacing = 0;
    surface = bound_surface;
    text_length = 0;
    std::memset(text, 0, sizeof(text));
    line_chars_used_ = 0;
    line_chars_owner_ = nullptr;
    for (auto& moving : moving_texts)
        moving.Reset();
    std::memset(lines, 0, sizeof(lines));
    std::memset(windows, 0, sizeof(windows));
    Reset(0);
}

CMessage::~CMessage() {}

void CMessage::Reset(int mode) {
    moving_text_open = 0;
    foreground = 0x7FE0;
    text_background = -1;
    char_spacing = -1;
    page_background = 0;
    line_index = window_index = moving_index = rectangle_index = 0;
    error_position = 0;
    page_started = 0;
    element = multi_element{};
    for (auto& moving : moving_texts)
        moving.Reset();
    for (auto& window_lines : lines) {
        for (auto& line : window_lines) {
            uint8_t hint = line.spacing_hint;
            line = msg_line{};
            line.char_spacing = 255;
            if (mode != 1) line.spacing_hint = hint;
        }
    }
    ReleaseLineChars();
    for (unsigned w = 0; w < MESSAGE_WINDOWS; ++w) {
        line_justification[w] = defaults.justification_line;
        page_justification[w] = defaults.justification_page;
        page_justification_given[w] = 0;
    }
    std::memset(rectangles, 0, sizeof(rectangles));
    current_x = current_y = 0;
    moving_x = moving_y = 0;
    if (mode == 0) {
        flash_index = 0;
        std::memset(flash, 0, sizeof(flash));
    }
    if (surface) surface->Clear();
}

void CMessage::ApplyDefaults() {
    foreground = defaults.foreground;
    text_background = defaults.text_background;
    page_background = defaults.page_background;
    font = defaults.font;
    flash_on_time = defaults.flash_on;
    flash_off_time = defaults.flash_off;
    page_on_time = defaults.page_on;
    page_off_time = defaults.page_off;
    page_justification[0] = defaults.justification_page;
    line_justification[0] = defaults.justification_line;
}

unsigned CMessage::WindowIndex() const {
    return window_index < MESSAGE_WINDOWS ? window_index : MESSAGE_WINDOWS - 1;
}

unsigned CMessage::LineIndex() const {
    return line_index < MESSAGE_LINES ? line_index : MESSAGE_LINES - 1;
}

msg_window& CMessage::CurrentWindow() {
    return windows[WindowIndex()];
}

msg_line& CMessage::CurrentLine() {
    return lines[WindowIndex()][LineIndex()];
}

msg_line& CMessage::Line(unsigned window, unsigned line) {
    return lines[window < MESSAGE_WINDOWS ? window : MESSAGE_WINDOWS - 1]
                [line < MESSAGE_LINES ? line : MESSAGE_LINES - 1];
}

msg_moving_text& CMessage::CurrentMovingText() {
    return moving_texts[moving_index < MESSAGE_MOVING_TEXTS ? moving_index
                                                            : MESSAGE_MOVING_TEXTS - 1];
}

bool CMessage::AppendLineChar(unsigned window, unsigned line_number, uint8_t code, uint8_t width) {
    msg_line& line = Line(window, line_number);
    if (line_chars_used_ >= MESSAGE_LINE_CHARS) return false;
    if (line.chars_count == 0) {
        line.chars_first = uint16_t(line_chars_used_);
        line_chars_owner_ = &line;
    } else if (line_chars_owner_ != &line) {
        return false; // another line was appended to since
    }
    line_chars_[line_chars_used_++] = msg_line_char{code, width, 0};
    ++line.chars_count;
    return true;
}

msg_line_char* CMessage::LineChars(unsigned window, unsigned line_number) {
    return &line_chars_[Line(window, line_number).chars_first];
}

void CMessage::ReleaseLineChars() {
    for (auto& window_lines : lines) {
        for (auto& line : window_lines)
            line.chars_first = line.chars_count = 0;
    }
    line_chars_used_ = 0;
    line_chars_owner_ = nullptr;
}

// ---------------------------------------------------------------------------

void save_page_attributes(const CMessage& message, page_attribute_snapshot& snapshot) {
    snapshot.flash_mode = message.flash_mode;
    std::memcpy(snapshot.line_justification, message.line_justification,
                sizeof(snapshot.line_justification));
    std::memcpy(snapshot.page_justification, message.page_justification,
                sizeof(snapshot.page_justification));
    snapshot.font = message.font;
    snapshot.font_row = message.current_font.GetRow();
    snapshot.foreground = message.foreground;
    snapshot.text_background = message.text_background;
    snapshot.char_spacing = message.char_spacing;
    snapshot.page_background = message.page_background;
}

void restore_page_attributes(CMessage& message, const page_attribute_snapshot& snapshot) {
    message.flash_mode = snapshot.flash_mode;
    std::memcpy(message.line_justification, snapshot.line_justification,
                sizeof(snapshot.line_justification));
    std::memcpy(message.page_justification, snapshot.page_justification,
                sizeof(snapshot.page_justification));
    std::memset(message.page_justification_given, 0, sizeof(message.page_justification_given));
    message.font = snapshot.font;
    message.current_font.SetRow(snapshot.font_row);
    message.foreground = snapshot.foreground;
    message.text_background = snapshot.text_background;
    message.char_spacing = snapshot.char_spacing;
    message.page_background = snapshot.page_background;
}
