// Handlers of the MULTI tags. Every read stays inside [tag, end).
#include "display/multi_tags.h"

#include "runtime/console.h"

#include <cstdio>
#include <cstring>

namespace {

const int OK = MULTI_OK;
const int BAD_TAG = MULTI_UNSUPPORTED_TAG;
const int BAD_VALUE = MULTI_UNSUPPORTED_TAG_VALUE;

// Walks the characters of one tag.
struct tag_reader {
    const char* p;
    const char* end;

    bool done() const { return p >= end; }
    char peek() const { return p < end ? *p : '\0'; }
    char lower() const {
        char c = peek();
        return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
    }
    size_t left() const { return size_t(end - p); }
    void skip(size_t n = 1) { p = n < left() ? p + n : end; }
    // Skips one character when it is `c`.
    bool accept(char c) {
        if (peek() != c) return false;
        ++p;
        return true;
    }
    bool accept_letter(char c) {
        if (lower() != c) return false;
        ++p;
        return true;
    }
    // A decimal number with an optional leading minus; false when no digit.
    // Magnitudes saturate well above every limit a tag checks.
    bool number(int32_t& value) {
        const char* start = p;
        bool negative = accept('-');
        int32_t v = 0;
        const char* digits = p;
        while (p < end && *p >= '0' && *p <= '9') {
            if (v < 10000000) v = v * 10 + (*p - '0');
            ++p;
        }
        if (p == digits) {
            p = start;
            value = 0;
            return false;
        }
        value = negative ? -v : v;
        return true;
    }
    // Exactly four hexadecimal digits of either case.
    bool hex4(uint32_t& value) {
        if (left() < 4) return false;
        value = 0;
        for (int i = 0; i < 4; ++i) {
            int d = hex_digit(p[i]);
            if (d < 0) return false;
            value = value * 16 + uint32_t(d);
        }
        p += 4;
        return true;
    }
    static int hex_digit(char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    }
};

tag_reader after(const char* tag, const char* end, size_t name_length) {
    tag_reader r{tag, end};
    r.skip(name_length);
    return r;
}

bool in_range(int32_t v, int32_t low, int32_t high) {
    return v >= low && v <= high;
}

// Classic colour numbers a sign of each colour class accepts for [pb] / [cf].
bool classic_colour_allowed(uint32_t colour_class, int32_t n) {
    switch (colour_class) {
    case 2:
        return n == 0 || n == 1 || n == 3 || n == 9;
    case 3:
        return in_range(n, 0, 255);
    default:
        return n == 0 || n == 1 || n == 9;
    }
}

// Three numbers R, G, B (any one separator character between them) as colour15.
int read_rgb(tag_reader& r, uint32_t& colour) {
    int32_t c[3];
    for (int i = 0; i < 3; ++i) {
        if (i > 0) r.skip();
        if (!r.number(c[i]) || !in_range(c[i], 0, 255)) return BAD_VALUE;
    }
    colour = multi_rgb_to_rgb15(uint32_t(c[0]), uint32_t(c[1]), uint32_t(c[2]));
    return OK;
}

// [pb] / [cf] forms: nothing (the default), N (classic) or R,G,B.
int read_colour(CMULTIParser& parser, tag_reader& r, uint32_t default_colour, uint32_t& colour) {
    if (r.done()) {
        colour = default_colour;
        return OK;
    }
    tag_reader first = r;
    int32_t n;
    if (!r.number(n)) return BAD_VALUE;
    if (r.done()) {
        if (!in_range(n, 0, 255) || !classic_colour_allowed(parser.Sign().colour_class, n))
            return BAD_VALUE;
        colour = multi_color_to_rgb15(n);
        return OK;
    }
    r = first;
    return read_rgb(r, colour);
}

msg_line& current_line(CMessage& m) {
    return m.CurrentLine();
}

// Restores a justification of 1 left by [ms11,xy] to its saved value.
void restore_line_justification(CMessage& m) {
    uint8_t& lj = m.line_justification[m.WindowIndex()];
    if (lj == 1 && m.saved_line_justification != 0) {
        lj = uint8_t(m.saved_line_justification);
        m.saved_line_justification = 0;
    }
}

void restore_page_justification(CMessage& m) {
    uint8_t& pj = m.page_justification[m.WindowIndex()];
    if (pj == 1 && m.saved_page_justification != 0) {
        pj = uint8_t(m.saved_page_justification);
        m.saved_page_justification = 0;
    }
}

bool character_matrix(const multi_sign& s) {
    return multi_is_character_matrix(s.sign_type);
}
bool fixed_rows(const multi_sign& s) {
    return multi_is_character_matrix(s.sign_type) || multi_is_line_matrix(s.sign_type);
}
bool aligned(uint32_t value, uint32_t cell) {
    return cell != 0 && value % cell == 0;
}

} // namespace

bool multi_is_character_matrix(uint32_t sign_type) {
    return sign_type == 4 || sign_type == 132;
}
bool multi_is_line_matrix(uint32_t sign_type) {
    return sign_type == 5 || sign_type == 133;
}

uint32_t multi_hex_value(const char* from, const char* end) {
    uint32_t value = 0;
    for (const char* p = from; p < end; ++p) {
        int digit = (*p >= '0' && *p <= '9')   ? *p - '0'
                    : (*p >= 'A' && *p <= 'F') ? *p - 'A' + 10
                                               : 0;
        value = (value << 4) | uint32_t(digit);
    }
    return value;
}

// --- colours and flashing ----------------------------------------------------

int multi_tag_cb(CMULTIParser& parser, const char* tag, const char* end, CMessage& m) {
    tag_reader r = after(tag, end, 2);
    if (r.done()) {
        m.text_background = -1;
        return OK;
    }
    int32_t n;
    if (!r.number(n)) return BAD_VALUE;
    // Any other number is a colour the classic table does not know: black.
    if (parser.Sign().colour_class == 1 && n != 0 && n != 9) return BAD_VALUE;
    m.text_background = int32_t(multi_color_to_rgb15(n));
    return OK;
}

int multi_tag_pb(CMULTIParser& parser, const char* tag, const char* end, CMessage& m) {
    tag_reader r = after(tag, end, 2);
    uint32_t colour;
    int result = read_colour(parser, r, m.defaults.page_background, colour);
    if (result == OK) m.page_background = colour;
    return result;
}

int multi_tag_cf(CMULTIParser& parser, const char* tag, const char* end, CMessage& m) {
    tag_reader r = after(tag, end, 2);
    uint32_t colour;
    int result = read_colour(parser, r, m.defaults.foreground, colour);
    if (result == OK) m.foreground = colour;
    return result;
}

namespace {
// One flash time after its letter: the number, or the default when none.
bool flash_time(tag_reader& r, uint8_t default_time, uint8_t& time) {
    int32_t n;
    if (!r.number(n)) {
        time = default_time;
        return true;
    }
    if (!in_range(n, 0, 99)) return false;
    time = uint8_t(n);
    return true;
}
} // namespace

int multi_tag_fl(CMULTIParser& parser, const char* tag, const char* end, CMessage& m) {
    tag_reader r = after(tag, end, 2);
    const message_defaults& d = m.defaults;
    if (r.done()) {
        m.flash_on_time = d.flash_on;
        m.flash_off_time = d.flash_off;
        m.flash_mode = (d.flash_on == 0 || d.flash_off == 0) ? 0 : 1;
    } else {
        char first = r.lower();
        if (first != 't' && first != 'o') return BAD_VALUE;
        r.skip();
        char second = first == 't' ? 'o' : 't';
        uint8_t& first_time = first == 't' ? m.flash_on_time : m.flash_off_time;
        uint8_t& second_time = first == 't' ? m.flash_off_time : m.flash_on_time;
        uint8_t first_default = first == 't' ? d.flash_on : d.flash_off;
        uint8_t second_default = first == 't' ? d.flash_off : d.flash_on;
        if (!flash_time(r, first_default, first_time)) return BAD_VALUE;
        if (r.accept_letter(second) && !flash_time(r, second_default, second_time))
            return BAD_VALUE;
        m.flash_mode = first == 't' ? 1 : 2;
    }
    if (!m.measure_pass) parser.StepFlash(m);
    return OK;
}

int multi_tag_fl_end(CMULTIParser&, const char* tag, const char* end, CMessage& m) {
    if (end - tag != 3) return BAD_VALUE;
    m.flash_mode = 0;
    return OK;
}

// --- fonts, justification, spacing, pages -----------------------------------

int multi_tag_fo(CMULTIParser& parser, const char* tag, const char* end, CMessage& m) {
    tag_reader r = after(tag, end, 2);
    int32_t number = 0;
    bool given = r.number(number);
    if (!given) number = m.defaults.font;
    if (given && number == 0 && (parser.Sign().special_features & 0x20)) number = 1;
    if (!in_range(number, 1, 20)) return BAD_VALUE;
    uint32_t version = 0;
    bool versioned = false;
    if (given && r.accept(',')) {
        if (!r.hex4(version)) return BAD_VALUE;
        versioned = true;
    }
    if (!r.done()) return BAD_VALUE;
    multi_font_row row;
    if (!parser.Source().FindFont(uint32_t(number), row)) return MULTI_FONT_NOT_DEFINED;
    if (versioned && version != row.version_id) {
        console_printf("Font Version ID does not match font.\n");
        return MULTI_FONT_VERSION_ID;
    }
    if (row.status != 4 && row.status != 5 && row.status != 11) {
        console_printf("Font not ready for use  status = %d\n", row.status);
        return MULTI_FONT_NOT_DEFINED;
    }
    // The message keeps the font number; the renderer finds its row.
    m.font = uint8_t(number);
    m.current_font.SetRow(row.row);
    return OK;
}

namespace {
// [jl] / [jp]: nothing (the default) or exactly one digit in 1..highest.
bool justification(const char* tag, const char* end, uint8_t default_value, int highest,
                   uint8_t& value) {
    if (end - tag == 2) {
        value = default_value;
        return true;
    }
    if (end - tag != 3 || tag[2] < '1' || tag[2] > char('0' + highest)) return false;
    value = uint8_t(tag[2] - '0');
    return true;
}
} // namespace

int multi_tag_jl(CMULTIParser&, const char* tag, const char* end, CMessage& m) {
    uint8_t value;
    if (!justification(tag, end, m.defaults.justification_line, 5, value)) return BAD_VALUE;
    m.line_justification[m.WindowIndex()] = value;
    return OK;
}

int multi_tag_jp(CMULTIParser&, const char* tag, const char* end, CMessage& m) {
    uint8_t value;
    if (!justification(tag, end, m.defaults.justification_page, 4, value)) return BAD_VALUE;
    unsigned w = m.WindowIndex();
    if (m.page_justification_given[w] && m.page_justification[w] != value)
        return MULTI_TAG_CONFLICT;
    m.page_justification[w] = value;
    return OK;
}

int multi_tag_sc(CMULTIParser&, const char* tag, const char* end, CMessage& m) {
    tag_reader r = after(tag, end, 2);
    int32_t n = 0;
    if (!r.done() && (!r.number(n) || !in_range(n, 0, 99))) return BAD_VALUE;
    if (!r.done()) return BAD_VALUE;
    m.char_spacing = n;
    current_line(m).char_spacing = uint8_t(n);
    return OK;
}

int multi_tag_sc_end(CMULTIParser&, const char* tag, const char* end, CMessage& m) {
    if (end - tag != 3) return BAD_VALUE;
    m.char_spacing = -1;
    current_line(m).char_spacing = 255;
    return OK;
}

int multi_tag_nl(CMULTIParser& parser, const char* tag, const char* end, CMessage& m) {
    restore_line_justification(m);
    tag_reader r = after(tag, end, 2);
    msg_line& line = current_line(m);
    int32_t n = 0;
    bool given = r.number(n);
    if (given && !in_range(n, 0, 99)) return BAD_VALUE;
    if (fixed_rows(parser.Sign())) {
        line.line_spacing = 0;
    } else if (given) {
        line.line_spacing = uint8_t(n);
    } else {
        multi_font_row font;
        uint32_t font_spacing = parser.Source().FindFont(m.font, font) ? font.line_spacing : 0;
        uint32_t spacing = (line.spacing_hint + font_spacing + 1) / 2;
        line.line_spacing = uint8_t(spacing > 127 ? 127 : spacing);
    }
    return r.done() ? OK : BAD_VALUE;
}

int multi_tag_np(CMULTIParser&, const char* tag, const char* end, CMessage& m) {
    restore_line_justification(m);
    restore_page_justification(m);
    return end - tag == 2 ? OK : BAD_VALUE;
}

int multi_tag_pt(CMULTIParser&, const char* tag, const char* end, CMessage& m) {
    tag_reader r = after(tag, end, 2);
    int32_t on;
    if (r.number(on)) {
        if (!in_range(on, 0, 255)) return BAD_VALUE;
        m.page_on_time = uint8_t(on);
    } else if (r.done()) {
        m.page_on_time = 0;
    } else if (r.lower() == 'o') {
        m.page_on_time = m.defaults.page_on;
    }
    if (r.accept_letter('o')) {
        int32_t off;
        if (r.number(off)) {
            if (!in_range(off, 0, 255)) return BAD_VALUE;
            m.page_off_time = uint8_t(off);
            m.off_time_given = 1;
        } else {
            m.page_off_time = m.defaults.page_off;
        }
    }
    return r.done() ? OK : BAD_VALUE;
}

// --- content -----------------------------------------------------------------

namespace {

struct field_row {
    uint8_t number;
    uint8_t kind;
    const char* format; // printf-style, formatted once with the digit count
    uint8_t code;
};

// Fields 3-6 get "%%%dd" with 2 or 3 digits; 7 depends on the digit count too.
const field_row field_table[] = {
    {1, MULTI_ELEMENT_TIME, "%%#I:%%M", 1},
    {2, MULTI_ELEMENT_TIME, "%%H:%%M", 2},
    {3, MULTI_ELEMENT_TEMP_C, "%%%dd", 3},
    {4, MULTI_ELEMENT_TEMP_F, "%%%dd", 4},
    {5, MULTI_ELEMENT_SPEED_KPH, "%%%dd", 5},
    {6, MULTI_ELEMENT_SPEED_MPH, "%%%dd", 6},
    {7, MULTI_ELEMENT_TIME, nullptr, 7},
    {8, MULTI_ELEMENT_TIME, "%%d", 8},
    {9, MULTI_ELEMENT_TIME, "%%m", 9},
    {10, MULTI_ELEMENT_TIME, "%%y", 10},
    {11, MULTI_ELEMENT_TIME, "%%Y", 11},
    {12, MULTI_ELEMENT_TIME, "%%#I:%%M %%P", 12},
    {13, MULTI_ELEMENT_TIME, "%%#I:%%M %%p", 13},
};

struct temperature_field {
    uint8_t first; // Celsius field; the next number is Fahrenheit
    multi_temperature source;
};
const temperature_field temperature_fields[] = {
    {92, MULTI_TEMP_MIN_CABINET},
    {94, MULTI_TEMP_MAX_CABINET},
    {96, MULTI_TEMP_MIN_HOUSING},
    {98, MULTI_TEMP_MAX_HOUSING},
};

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
void format_field(multi_element& e, const char* format, int digits) {
    std::snprintf(e.format, sizeof(e.format), format, digits);
}
#pragma GCC diagnostic pop

int temperature_field_element(CMULTIParser& parser, int32_t x, multi_element& e) {
    for (const auto& t : temperature_fields) {
        if (x != t.first && x != t.first + 1) continue;
        int32_t value = parser.Source().Temperature(t.source);
        bool fahrenheit = x == t.first + 1;
        if (fahrenheit) value = value * 9 / 5 + 32;
        e.kind = fahrenheit ? MULTI_ELEMENT_TEMP_F : MULTI_ELEMENT_TEMP_C;
        std::snprintf(e.format, sizeof(e.format), "%d", int(value));
        e.field_code = 0;
        return OK;
    }
    return BAD_VALUE;
}

} // namespace

int multi_tag_f(CMULTIParser& parser, const char* tag, const char* end, CMessage& m) {
    tag_reader r = after(tag, end, 1);
    size_t length = r.left();
    if (length == 0 || length >= 6) return BAD_VALUE;
    int32_t x, y = 0;
    if (!r.number(x)) return BAD_VALUE;
    if (length >= 3) {
        r.skip();
        r.number(y);
        if (!in_range(y, 0, 99)) return BAD_VALUE;
    }
    multi_element& e = m.element;
    for (const auto& row : field_table) {
        if (row.number != x) continue;
        e.kind = row.kind;
        e.field_code = row.code;
        if (row.format == nullptr)
            format_field(e, y < 4 ? "%%a" : "%%A", 0);
        else
            format_field(e, row.format, y == 2 ? 2 : 3);
        return OK;
    }
    return temperature_field_element(parser, x, e);
}

int multi_tag_g(CMULTIParser& parser, const char* tag, const char* end, CMessage& m) {
    tag_reader r = after(tag, end, 1);
    int32_t n, x = 1, y = 1;
    if (!r.number(n) || !in_range(n, 0, 255)) return BAD_VALUE;
    bool position = r.accept(',');
    if (position && (!r.number(x) || !r.accept(',') || !r.number(y))) return BAD_VALUE;
    uint32_t id = 0;
    bool versioned = position && r.accept(',');
    if (versioned && !r.hex4(id)) return BAD_VALUE;
    multi_graphic_row row;
    if (!parser.Source().FindGraphic(uint32_t(n), row) ||
        (row.status != 4 && row.status != 5 && row.status != 6))
        return MULTI_GRAPHIC_NOT_DEFINED;
    if (versioned && id != row.id) return MULTI_GRAPHIC_ID;
    const multi_sign& sign = parser.Sign();
    if (x < 1 || y < 1 || int64_t(x) + row.width - 1 > sign.width ||
        int64_t(y) + row.height - 1 > sign.height || !r.done())
        return BAD_VALUE;
    multi_element& e = m.element;
    e.kind = MULTI_ELEMENT_GRAPHIC;
    e.graphic_number = uint8_t(n);
    e.graphic_id = row.id;
    e.x = x;
    e.y = y;
    return OK;
}

int multi_tag_hc(CMULTIParser&, const char* tag, const char* end, CMessage& m) {
    m.element.kind = MULTI_ELEMENT_CHARACTER;
    m.element.character = uint8_t(multi_hex_value(tag + 2, end));
    return OK;
}

int multi_tag_cr(CMULTIParser& parser, const char* tag, const char* end, CMessage& m) {
    tag_reader r = after(tag, end, 2);
    int32_t v[7];
    int count = 0;
    while (count < 7) {
        if (!r.number(v[count])) return BAD_VALUE;
        ++count;
        if (r.done()) break;
        r.skip();
    }
    if (!r.done() || (count != 5 && count != 7)) return BAD_VALUE;
    for (int i = 0; i < count; ++i) {
        if (v[i] < 0 || (i >= 4 && v[i] > 255)) return BAD_VALUE;
    }
    const multi_sign& sign = parser.Sign();
    int64_t x = v[0], y = v[1], w = v[2], h = v[3];
    if (x < 1 || y < 1) return BAD_VALUE;
    if (w == 0) w = int64_t(sign.width) - x + 1;
    if (h == 0) h = int64_t(sign.height) - y + 1;
    if (w < 1 || h < 1 || x + w - 1 > sign.width || y + h - 1 > sign.height) return BAD_VALUE;
    uint32_t colour;
    if (count == 5) {
        colour = multi_color_to_rgb15(v[4]);
    } else if (multi_module_is_amber(sign.module_id)) {
        colour = (v[4] > 0 && v[5] > 0) ? 992 : v[4] > 0 ? 31 : 0;
    } else {
        colour = multi_rgb_to_rgb15(uint32_t(v[4]), uint32_t(v[5]), uint32_t(v[6]));
    }
    if (m.measure_pass && m.rectangle_index < MESSAGE_RECTANGLES) {
        m.rectangles[m.rectangle_index++] =
            msg_rectangle{uint32_t(x), uint32_t(y), uint32_t(h), uint32_t(w), colour};
    }
    m.element.kind = MULTI_ELEMENT_RECTANGLE;
    return OK;
}

int multi_tag_tr(CMULTIParser& parser, const char* tag, const char* end, CMessage& m) {
    tag_reader r = after(tag, end, 2);
    int32_t v[4];
    for (int i = 0; i < 4; ++i) {
        if (i > 0 && !r.accept(',')) return BAD_VALUE;
        if (!r.number(v[i])) return BAD_VALUE;
    }
    if (!r.done()) return BAD_VALUE;
    const multi_sign& sign = parser.Sign();
    int64_t x = v[0], y = v[1], w = v[2], h = v[3];
    if (x < 1 || y < 1 || w < 0 || h < 0) return BAD_VALUE;
    if (w == 0) w = int64_t(sign.width) - x + 1;
    if (h == 0) h = int64_t(sign.height) - y + 1;
    if (x + w - 1 > sign.width || y + h - 1 > sign.height) return BAD_VALUE;
    if (character_matrix(sign) && (!aligned(uint32_t(x - 1), sign.char_width) ||
                                   !aligned(uint32_t(x - 1 + w), sign.char_width)))
        return BAD_VALUE;
    if (fixed_rows(sign) && (!aligned(uint32_t(y - 1), sign.char_height) ||
                             !aligned(uint32_t(y - 1 + h), sign.char_height)))
        return BAD_VALUE;
    m.CurrentWindow() =
        msg_window{uint32_t(x - 1), uint32_t(y - 1), uint32_t(x - 1 + w), uint32_t(y - 1 + h)};
    return OK;
}

// --- moving text -------------------------------------------------------------

namespace {
// The line record member that the window's line justification selects.
void add_moving_width(CMessage& m, msg_line& line, int32_t width) {
    switch (m.line_justification[m.WindowIndex()]) {
    case 1:
        line.start_x = int16_t(line.start_x + width);
        break;
    case 2:
        line.left_width = uint16_t(line.left_width + width);
        break;
    case 3:
        line.centre_width = uint16_t(line.centre_width + width);
        break;
    case 4:
        line.right_width = uint16_t(line.right_width + width);
        break;
    default:
        break;
    }
}
} // namespace

int multi_tag_mv(CMULTIParser& parser, const char* tag, const char*& end, CMessage& m) {
    uint8_t justification = m.line_justification[m.WindowIndex()];
    msg_line& line = current_line(m);
    if (justification == 5 ||
        (line.run_justification != 0 && line.run_justification != justification))
        return MULTI_TAG_CONFLICT;
    tag_reader r = after(tag, end, 2);
    uint8_t mode;
    int32_t pause = 0;
    if (r.accept_letter('c')) {
        mode = 1;
    } else if (r.accept_letter('l')) {
        mode = 3;
        // The pause's digits are stepped over only when it is not 0, so that
        // in [mvl0l...] the "0" stands where the direction letter belongs.
        const char* digits = r.p;
        r.number(pause);
        if (pause == 0) r.p = digits;
        if (pause < 0) return BAD_VALUE;
        if (pause > 255) pause = 255;
    } else {
        return BAD_TAG;
    }
    if (r.accept_letter('r'))
        mode = uint8_t(mode + 1);
    else if (!r.accept_letter('l'))
        return BAD_TAG;
    int32_t width = 0, step = 0, rate = 0;
    r.number(width);
    if (!r.accept(',')) return BAD_TAG;
    r.number(step);
    if (!r.accept(',')) return BAD_TAG;
    r.number(rate);
    const multi_sign& sign = parser.Sign();
    // A width wider than the sign and steps or rates past a byte are taken
    // (the step and the frames per step saturate); negative values and widths
    // beyond what the line's widths can hold are refused.
    if (!in_range(width, 0, UINT16_MAX) || step < 0 || rate < 0) return BAD_VALUE;
    if (step > 255) step = 255;
    if (character_matrix(sign) && sign.module_width != 0) {
        int32_t module = int32_t(sign.module_width);
        int32_t rounded = step + module / 2;
        step = rounded - rounded % module;
        if (step == 0) step = module;
        if (step > 255) step = 255 - 255 % module;
    }
    int64_t frames = int64_t(rate) * parser.FrameRate() / 10;
    line.has_moving = 1;
    msg_moving_text& moving = m.CurrentMovingText();
    moving.mode = mode;
    moving.pause_length = uint8_t(pause);
    moving.width = width;
    moving.step = uint8_t(step);
    moving.frames_per_step = uint8_t(frames > 255 ? 255 : frames);
    add_moving_width(m, line, width);
    end = r.p;
    m.moving_text_open = 1;
    return OK;
}

// --- maker-specific tags -------------------------------------------------------

namespace {

int ms_bitmap(CMULTIParser& parser, tag_reader& r, CMessage& m) {
    if (character_matrix(parser.Sign())) return BAD_VALUE;
    int32_t x = 0, y = 0;
    if (!r.accept(',')) return OK;
    r.number(x);
    if (!r.accept(',')) return OK;
    r.number(y);
    if (!r.accept(',')) return OK;
    uint32_t length = uint32_t(r.left());
    if (length + 8 > 151) return BAD_VALUE;
    multi_element& e = m.element;
    if (!parser.Source().FindBitmap(r.p, length, e.path, sizeof(e.path))) {
        e.path[0] = '\0';
        return BAD_VALUE;
    }
    e.kind = MULTI_ELEMENT_BITMAP;
    e.x = x;
    e.y = y;
    return OK;
}

int ms_position(CMULTIParser& parser, tag_reader& r, CMessage& m) {
    const multi_sign& sign = parser.Sign();
    msg_line& line = current_line(m);
    r.accept(',');
    int32_t x = 0, y = 0;
    r.number(x);
    int64_t top = line.top;
    if (r.accept(',')) {
        r.number(y);
        top = int64_t(y) - 1;
    }
    if (fixed_rows(sign) && !(top >= 0 && aligned(uint32_t(top), sign.char_height)))
        return BAD_VALUE;
    if (x - 1 < 0 || x - 1 > int64_t(sign.width) - 1 || top < 0 || top > int64_t(sign.height) - 1)
        return BAD_VALUE;
    line.start_x = int16_t(x - 1);
    line.top = int16_t(top);
    unsigned w = m.WindowIndex();
    if (m.line_justification[w] != 1) m.saved_line_justification = m.line_justification[w];
    if (m.page_justification[w] != 1) m.saved_page_justification = m.page_justification[w];
    m.current_x = x - 1;
    m.current_y = int32_t(top);
    m.line_justification[w] = 1;
    m.page_justification[w] = 1;
    m.element.kind = MULTI_ELEMENT_POSITION;
    return OK;
}

int ms_output(CMULTIParser& parser, tag_reader& r) {
    int32_t n, v;
    if (!r.accept(',') || !r.number(n) || !r.accept(',') || !r.number(v)) return OK;
    if (!in_range(n, 1, 10) || (v != 0 && v != 1)) return OK;
    if (!parser.Validating()) parser.Source().SetOutput(uint32_t(n), v == 1);
    return OK;
}

int ms_colour(tag_reader& r, uint32_t& colour) {
    r.accept(',');
    return read_rgb(r, colour);
}

int ms_private_text(CMULTIParser& parser, tag_reader& r, CMessage& m) {
    r.accept(',');
    int32_t start = 0, length = 0;
    r.number(start);
    r.skip();
    r.number(length);
    // A negative start would read before the text object.
    if (!in_range(start, 0, 32767) || !in_range(length, 0, 255)) return BAD_VALUE;
    m.element.kind = MULTI_ELEMENT_PRIVATE_TEXT;
    m.element.start = int16_t(start);
    m.element.length = uint8_t(length);
    parser.SetLineHasContent();
    return OK;
}

const int32_t SPEED_MAX_DIGITS = 9;

int ms_speed(CMULTIParser& parser, tag_reader& r, CMessage& m) {
    uint16_t unit;
    if (r.accept('m'))
        unit = 1;
    else if (r.accept('k'))
        unit = 2;
    else
        return BAD_TAG;
    int32_t detector = 0, digits = 0;
    r.skip();
    r.number(detector);
    r.skip();
    r.number(digits);
    if (!in_range(detector, 1, int32_t(parser.Source().SpeedDetectors())) ||
        !in_range(digits, 1, SPEED_MAX_DIGITS))
        return BAD_VALUE;
    multi_element& e = m.element;
    e.kind = MULTI_ELEMENT_SPEED_DETECTOR;
    format_field(e, "%%%dd", digits);
    e.unit = unit;
    e.detector = uint16_t(detector);
    e.digits = uint16_t(digits);
    parser.SetLineHasContent();
    return OK;
}

bool starts_with(const tag_reader& r, const char* word) {
    size_t n = std::strlen(word);
    if (r.left() < n) return false;
    for (size_t i = 0; i < n; ++i) {
        char c = r.p[i];
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        if (c != word[i]) return false;
    }
    return true;
}

} // namespace

int multi_tag_ms(CMULTIParser& parser, const char* tag, const char* end, CMessage& m) {
    tag_reader r = after(tag, end, 2);
    int32_t n = 0;
    if (!r.number(n) || n != 11) return OK;
    r.accept(',');
    if (starts_with(r, "gpo")) {
        r.skip(3);
        return ms_output(parser, r);
    }
    if (starts_with(r, "g") && !starts_with(r, "gp")) {
        r.skip();
        return ms_bitmap(parser, r, m);
    }
    if (starts_with(r, "xy")) {
        r.skip(2);
        return ms_position(parser, r, m);
    }
    if (starts_with(r, "sc") || starts_with(r, "name")) return OK;
    if (starts_with(r, "cf")) {
        r.skip(2);
        return ms_colour(r, m.foreground);
    }
    if (starts_with(r, "cb")) {
        r.skip(2);
        uint32_t colour;
        int result = ms_colour(r, colour);
        if (result == OK) m.text_background = int32_t(colour);
        return result;
    }
    if (starts_with(r, "r")) {
        r.skip();
        return ms_private_text(parser, r, m);
    }
    if (starts_with(r, "sp")) {
        r.skip(2);
        return ms_speed(parser, r, m);
    }
    return BAD_TAG;
}

int multi_tag_ms_end(CMULTIParser&, const char* tag, const char* end, CMessage&) {
    return end - tag == 3 ? OK : BAD_VALUE;
}
