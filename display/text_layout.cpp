// Text layout: measuring and drawing runs of text on a surface, placing the
// line segments of a line and the lines of a window, full justification and
// moving text. The measuring pass fills the message's line records; the
// drawing pass draws each run where the measuring pass placed it.
#include "runtime/console.h"
#include "display/fonts/font_base.h"
#include "display/fonts/ntcip_font.h"
#include "display/render.h"

#include <algorithm>

namespace {

// Character spacing of a run and the spacing before its first character.
struct run_spacing {
    int32_t each; // between the run's characters
    int32_t lead; // before its first character
};

run_spacing spacing_of(const text_run& run) {
    int32_t own = run.spacing >= 0 ? run.spacing : run.font->GetCharSpacing();
    int32_t lead = run.spacing == -1 ? (*run.previous + own + 1) / 2 : own;
    *run.previous = own;
    if (run.character_matrix) return run_spacing{0, 0};
    return run_spacing{own, lead};
}

// Rounds down to a multiple of `cell` (toward minus infinity); unchanged for
// a cell of 0.
int32_t floor_to(int32_t value, int32_t cell) {
    if (cell <= 0) return value;
    int32_t q = value / cell;
    if (value % cell != 0 && value < 0) --q;
    return q * cell;
}

uint8_t font_height_of_number(uint8_t number) {
    CNTCIPFont font(uint32_t(number) - 1);
    return font.GetHeight();
}

} // namespace

// --- the surface ---------------------------------------------------------------

text_extent CSurface::MeasureText(const text_run& run, int32_t x, int32_t window_width,
                                  uint8_t& spacing_hint, bool check_overflow) {
    CFontBase& font = *run.font;
    text_extent extent{x, font.GetHeight(), 0, false, 0};
    bool new_line = run.new_line_pending && *run.new_line_pending;
    if (new_line) spacing_hint = 0;
    spacing_hint = std::max(spacing_hint, font.GetLineSpacing());
    run_spacing spacing = spacing_of(run);
    for (uint32_t i = 0; i < run.count; ++i) {
        int32_t width = font.GetCharWidth(uint8_t(run.text[i]));
        if (i == 0 && new_line) {
            *run.new_line_pending = 0;
            new_line = false;
            extent.x += width;
        } else if (i == 0) {
            extent.lead = spacing.lead;
            extent.x += spacing.lead + width;
        } else {
            extent.x += spacing.each + width;
        }
        if (check_overflow && extent.x > window_width) {
            extent.overflow = true;
            extent.overflow_index = i;
            break;
        }
    }
    return extent;
}

int32_t CSurface::DrawText(const text_run& run, int32_t x, int32_t y, const text_clip& clip,
                           bool off_phase, const placed_chars* placed) {
    CFontBase& font = *run.font;
    run_spacing spacing = spacing_of(run);
    bool paint = !surface_simulation_mode();
    int32_t height = font.GetHeight();
    int32_t rows = std::min(height, clip.bottom - y);
    bool refused = false;
    font_glyph glyph;
    for (uint32_t i = 0; i < run.count; ++i) {
        uint8_t code = uint8_t(run.text[i]);
        int32_t gap = i == 0 ? spacing.lead : spacing.each;
        if (run.new_line_pending && *run.new_line_pending) {
            gap = 0;
            *run.new_line_pending = 0;
        }
        if (placed) {
            if (*placed->next >= placed->count) break;
            x = placed->chars[(*placed->next)++].x;
            gap = 0;
        }
        bool whole = font.LoadGlyph(code, uint8_t(height), glyph);
        int32_t width = glyph.width;
        if (paint && gap != 0 && background_ != -1) {
            int32_t from = std::max(x, clip.left), to = std::min(x + gap, clip.right);
            if (from < to) FillRect(from, y, to - from, rows, background_);
        }
        int32_t left = x + gap;
        for (int32_t c = 0; paint && c < width && left + c < clip.right; ++c) {
            for (int32_t r = 0; r < rows; ++r) {
                bool lit = !off_phase && (whole ? glyph.Pixel(c, r) : font.GetPixel(code, c, r));
                if (left + c < clip.left) {
                    refused = refused || lit;
                    continue;
                }
                if (lit)
                    SetPixel(left + c, y + r, foreground_);
                else if (background_ != -1)
                    SetPixel(left + c, y + r, background_);
            }
        }
        if (!placed) x = left + width;
    }
    if (refused) trace_printf("error1\r");
    return x;
}

// --- line segments, lines and windows ------------------------------------------------

void CRender::LayoutLines(CMessage& m) {
    multi_sign sign;
    multi_store_source().ReadSign(sign);
    bool cm = multi_is_character_matrix(sign.sign_type);
    msg_line& line = m.CurrentLine();
    const msg_window& window = m.CurrentWindow();
    uint8_t& justification = m.line_justification[m.WindowIndex()];
    if (line.height == 0) line.height = font_height_of_number(m.font);
    line.char_spacing = 255;
    int32_t width = int32_t(window.right) - int32_t(window.left);
    int32_t module = cm ? int32_t(sign.module_width) : 0;
    if (int32_t(line.left_width) + line.centre_width + line.right_width > width) justification = 2;
    switch (justification) {
    case 1:
    case 5:
        break;
    case 3:
        line.centre_x = int16_t(
            floor_to(int32_t(window.left) + (width - int32_t(line.centre_width)) / 2, module));
        if (line.left_width == 0) line.start_x = line.centre_x;
        break;
    case 4:
        line.right_x = int16_t(floor_to(int32_t(window.right) - int32_t(line.right_width), module));
        if (line.left_width == 0 && line.centre_width == 0) line.start_x = line.right_x;
        break;
    default:
        justification = 2;
        line.left_x = int16_t(window.left);
        line.start_x = line.left_x;
        break;
    }
}

void CRender::LayoutPage(CMessage& m) {
    multi_sign sign;
    multi_store_source().ReadSign(sign);
    unsigned w = m.WindowIndex();
    msg_line* lines = m.lines[w];
    const msg_window& window = m.windows[w];
    unsigned last = m.LineIndex();
    int32_t total = 0;
    for (unsigned l = 0; l < MESSAGE_LINES; ++l)
        total += lines[l].height + lines[l].line_spacing;
    int32_t top = int32_t(window.top), bottom = int32_t(window.bottom);
    int32_t middle = top + ((bottom - top) - total) / 2;
    uint8_t justification = m.page_justification[w];
    bool fixed_rows =
        multi_is_character_matrix(sign.sign_type) || multi_is_line_matrix(sign.sign_type);
    int32_t row = int32_t(sign.char_height);
    if (!fixed_rows || row == 0) {
        switch (justification) {
        case 1:
        case 3:
            lines[0].top = int16_t(middle);
            break;
        case 4:
            lines[0].top = int16_t(bottom - total);
            break;
        case 5:
            return;
        default:
            lines[0].top = int16_t(top);
            break;
        }
        for (unsigned k = 1; k <= last; ++k)
            lines[k].top =
                int16_t(lines[k - 1].top + lines[k - 1].height + lines[k - 1].line_spacing);
        return;
    }
    // Fixed rows of the character height.
    switch (justification) {
    case 1:
    case 5:
        return;
    case 3:
    case 4:
        lines[0].top = int16_t(floor_to(justification == 3 ? middle : bottom - total, row));
        for (unsigned k = 1; k <= last; ++k)
            lines[k].top = int16_t(lines[k - 1].top + row);
        return;
    default:
        // Each line stands on the bottom of its row.
        for (unsigned k = 0; k <= last; ++k)
            lines[k].top = int16_t(top + int32_t(k + 1) * row - lines[k].height);
        return;
    }
}

namespace {

// Leaves the current line (an empty one keeps the current font's height),
// advances `index` while below `limit` and puts the cursor at the start of
// the line then current.
void advance_line(CMessage& m, uint32_t& index, uint32_t limit) {
    msg_line& line = m.CurrentLine();
    if (line.height == 0) line.height = font_height_of_number(m.font);
    if (index < limit - 1) ++index;
    m.current_x = m.CurrentLine().start_x;
    m.current_y = m.CurrentLine().top;
}

} // namespace

void CRender::NewLine(CMessage& m) {
    advance_line(m, m.line_index, MESSAGE_LINES);
}

// A new window keeps the line index.
void CRender::NextWindow(CMessage& m) {
    advance_line(m, m.window_index, MESSAGE_WINDOWS);
}

// --- runs of text ------------------------------------------------------------------

int CRender::MeasureRun(CMessage& m, const multi_sign& sign, const char* text, uint32_t count,
                        uint32_t position) {
    msg_line& line = m.CurrentLine();
    bool cm = multi_is_character_matrix(sign.sign_type);
    int32_t given = line.char_spacing != 255 ? line.char_spacing : m.char_spacing;
    if (m.moving_text_open) {
        msg_moving_text& moving = m.CurrentMovingText();
        text_run run{&m.current_font, text, count, given, &m.measured_spacing, nullptr, cm};
        m.moving_x = m.moving_y = 0;
        text_extent extent = CSurface::MeasureText(run, 0, 0, line.spacing_hint, false);
        moving.text_width += uint32_t(extent.x);
        line.height = uint16_t(std::max<uint32_t>(line.height, extent.height));
        moving.clip_height = std::max<int32_t>(moving.clip_height, int32_t(extent.height));
        return MULTI_OK;
    }
    const msg_window& window = m.CurrentWindow();
    text_run run{&m.current_font, text, count, given, &m.measured_spacing, &m.new_line_pending, cm};
    text_extent extent = CSurface::MeasureText(
        run, m.current_x, int32_t(window.right) - int32_t(window.left), line.spacing_hint, true);
    m.current_x = extent.x;
    switch (m.line_justification[m.WindowIndex()]) {
    case 2:
        line.left_width = uint16_t(extent.x);
        if (line.centre_width != 0 || line.right_width != 0) {
            m.error_position = 0;
            return MULTI_TAG_CONFLICT;
        }
        break;
    case 3: {
        // The spacing before the segment's first character is not part of
        // the segment: drawing starts the segment at its own x.
        int32_t lead = 0;
        if (!cm && line.centre_width == 0) {
            lead = std::min(extent.lead, 31);
            line.centre_lead = uint8_t(lead) & 31;
        } else if (!cm) {
            lead = line.centre_lead;
        }
        line.centre_width = uint16_t(extent.x - line.left_width - lead);
        if (line.right_width != 0) {
            m.error_position = 0;
            return MULTI_TAG_CONFLICT;
        }
        break;
    }
    case 4: {
        int32_t kept = line.centre_width != 0 && !cm ? line.centre_lead : 0;
        line.right_width = uint16_t(extent.x - line.left_width - line.centre_width - kept);
        break;
    }
    default:
        break;
    }
    line.height = uint16_t(std::max<uint32_t>(line.height, extent.height));
    if (extent.overflow) {
        uint32_t at = position + extent.overflow_index;
        console_printf("CRender:OnFieldFound Error Message too long at %d\n", int(at));
        m.error_position = at;
        return MULTI_TEXT_TOO_BIG;
    }
    return MULTI_OK;
}

namespace {

// The run is drawn in its off phase when the flash record stepped last is
// not in its on phase.
bool flash_off_phase(const CMessage& m) {
    if (m.flash_mode == 0 || m.flash_index == 0) return false;
    unsigned last = std::min<unsigned>(m.flash_index, MESSAGE_FLASH_REGIONS) - 1;
    return m.flash[last].phase != 2;
}

text_clip clip_of(const msg_window& w) {
    return text_clip{int32_t(w.left), int32_t(w.top), int32_t(w.right), int32_t(w.bottom)};
}

} // namespace

void CRender::DrawRun(CMessage& m, const multi_sign& sign, const char* text, uint32_t count) {
    msg_line& line = m.CurrentLine();
    uint8_t justification = m.line_justification[m.WindowIndex()];
    int32_t x = m.current_x;
    if (justification == 3 && x < line.centre_x) {
        x = line.centre_x;
        m.new_line_pending = 1;
    } else if (justification == 4 && x < line.right_x) {
        x = line.right_x;
        m.new_line_pending = 1;
    }
    int32_t y = m.current_y + line.height - m.current_font.GetHeight();
    int32_t given = line.char_spacing != 255 ? line.char_spacing : m.char_spacing;
    text_run run{&m.current_font,
                 text,
                 count,
                 given,
                 &m.drawn_spacing,
                 &m.new_line_pending,
                 multi_is_character_matrix(sign.sign_type)};
    text_clip clip = clip_of(m.CurrentWindow());
    if (justification == 5) {
        placed_chars placed{m.LineChars(m.WindowIndex(), m.LineIndex()), line.chars_count,
                            &line.full_counter};
        m.surface->DrawText(run, x, y, clip, flash_off_phase(m), &placed);
        return;
    }
    m.current_x = m.surface->DrawText(run, x, y, clip, flash_off_phase(m));
}

// Full justification: the line's characters spread over the window's width,
// the first at its left and the last at its right; the free pixels go to the
// gaps evenly, the remainder one at a time to the last gap, the first, the
// second-to-last, the second, and so on. A line of one character has no gap
// to spread: it stands at the window's left.
void CRender::SpreadFullLine(CMessage& m) {
    msg_line& line = m.CurrentLine();
    const msg_window& window = m.CurrentWindow();
    uint32_t n = line.chars_count;
    if (n == 0) return;
    msg_line_char* chars = m.LineChars(m.WindowIndex(), m.LineIndex());
    chars[0].x = int16_t(window.left);
    if (n == 1) return;
    int32_t used = 0;
    for (uint32_t i = 0; i < n; ++i)
        used += chars[i].width;
    int32_t free_pixels = int32_t(window.right) - int32_t(window.left) - used;
    uint32_t gaps = n - 1;
    int32_t base = free_pixels / int32_t(gaps);
    int32_t extra = free_pixels % int32_t(gaps);
    for (uint32_t g = 0; g < gaps; ++g) {
        // Extra pixels: last gap, first, second-to-last, second, ...
        uint32_t rank = g < gaps - 1 - g ? 2 * g + 1 : 2 * (gaps - 1 - g);
        int32_t gap = base + (int32_t(rank) < extra ? 1 : 0);
        chars[g + 1].x = int16_t(chars[g].x + chars[g].width + gap);
    }
}

// --- moving text ---------------------------------------------------------------

void CRender::BeginMovingText(CMessage& m) {
    msg_moving_text& moving = m.CurrentMovingText();
    moving.x = m.current_x;
    moving.y = m.current_y;
    moving.clip_height = 255;
    m.current_x += moving.width;
    // An empty moving text has nothing to step through.
    if (m.measure_pass || moving.text_width == 0) return;
    int32_t text_width = int32_t(moving.text_width);
    int32_t offset = int32_t(moving.offset);
    bool started = moving.offset != MOVING_TEXT_NOT_STARTED;
    int32_t cursor_x = moving.x;
    auto frame_step = [&]() {
        if (++moving.frame_counter < moving.frames_per_step) return false;
        moving.frame_counter = 0;
        return true;
    };
    switch (moving.mode) {
    case 1:
        if (frame_step() || !started) {
            moving.frame_counter = 0;
            if (!started) offset = 0;
            offset = (offset + moving.step) % text_width;
        }
        cursor_x = moving.x - offset;
        break;
    case 2:
        if (frame_step() || !started) {
            moving.frame_counter = 0;
            if (!started) offset = text_width - moving.width + 1;
            offset = (offset - moving.step) % text_width;
        }
        cursor_x = moving.x - offset;
        break;
    case 3:
        if (!started) {
            moving.pause_counter = 0;
            offset = moving.width;
        } else if (offset < text_width) {
            if (frame_step()) offset += moving.step;
        } else if (moving.pause_counter++ >= moving.pause_length) {
            moving.pause_counter = 0;
            offset = moving.width;
        }
        cursor_x = moving.x + moving.width - offset;
        break;
    case 4:
        if (!started) {
            offset = text_width - moving.width;
        } else if (offset < 2) {
            if (++moving.frame_counter >= moving.pause_length) {
                moving.frame_counter = 0;
                moving.pause_counter = 0;
                offset = text_width - moving.width;
            }
        } else if (frame_step()) {
            offset -= moving.step;
        }
        cursor_x = moving.x - offset;
        break;
    default:
        break;
    }
    moving.offset = uint32_t(offset);
    moving.started = 1;
    m.moving_x = uint32_t(cursor_x);
    m.moving_y = uint32_t(m.current_y);
}

void CRender::DrawMovingRun(CMessage& m, const multi_sign& sign, const char* text, uint32_t count) {
    msg_moving_text& moving = m.CurrentMovingText();
    if (moving.text_width == 0) return;
    msg_line& line = m.CurrentLine();
    const msg_window& window = m.CurrentWindow();
    int32_t y = int32_t(m.moving_y) + line.height - m.current_font.GetHeight();
    text_clip clip{std::max(int32_t(window.left), moving.x),
                   std::max(int32_t(window.top), moving.y),
                   std::min(moving.x + moving.width, int32_t(window.right)),
                   std::min(moving.y + moving.clip_height, int32_t(window.bottom))};
    int32_t given = line.char_spacing != 255 ? line.char_spacing : m.char_spacing;
    bool off = flash_off_phase(m);
    int32_t start = int32_t(m.moving_x);
    auto draw_at = [&](int32_t x) {
        // Each copy spaces its first character as the run's first copy did.
        int32_t previous = m.drawn_spacing;
        text_run run{&m.current_font,
                     text,
                     count,
                     given,
                     &previous,
                     nullptr,
                     multi_is_character_matrix(sign.sign_type)};
        int32_t reached = m.surface->DrawText(run, x, y, clip, off);
        return std::make_pair(reached, previous);
    };
    int32_t text_width = int32_t(moving.text_width);
    if (moving.mode == 1 || moving.mode == 2) {
        int32_t span = moving.width - moving.step;
        int32_t copies = span / text_width + 1 + (span % text_width != 0 ? 1 : 0);
        copies = std::max(copies, 1);
        int32_t base = moving.mode == 1 ? start : start - text_width;
        std::pair<int32_t, int32_t> last{start, m.drawn_spacing};
        for (int32_t k = copies - 1; k >= 0; --k) {
            auto drawn = draw_at(base + k * text_width);
            if (k == 0) last = drawn;
        }
        m.moving_x = uint32_t(start + (last.first - base));
        m.drawn_spacing = last.second;
        return;
    }
    auto drawn = draw_at(start);
    m.moving_x = uint32_t(drawn.first);
    m.drawn_spacing = drawn.second;
}
