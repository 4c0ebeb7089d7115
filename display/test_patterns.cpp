// Test patterns: what the sign shows while the display test code
// (halvObj1_1) is not 1. Once a display tick the page sequencing clears the
// sign surface and draws the pattern of the code: whole-sign colours, lines,
// columns, checkerboards, a glyph grid, rows of letters and digits, and
// brightness sweeps. A pattern steps through the colours of the module type
// and through phases at its own pace; the bright patterns put the
// illumination in manual-direct mode at full (or a tenth of full) level and
// give the saved mode back when the test moves on.
//
// Every code is a row of one table: its phases and ticks per step, its step
// kind, its bright kind, its first colour step, its phase rule, what it draws
// and whether the brightness is updated after drawing.
#include "display/display_task.h"

#include "display/fonts/ntcip_font.h"
#include "display/render.h"
#include "runtime/console.h"
#include "store/database.h"
#include "store/objects.h"

namespace {

const uint32_t N = DB_NOTIFY;
const uint32_t TEST_CODE_MESSAGE = 1;
const int32_t BLACK = 0;
const int32_t RED = 0x001F, GREEN = 0x03E0, BLUE = 0x7C00, WHITE = 0x7FFF;
const uint32_t MAX_LEVEL = 255;

// Colour steps: red, green, blue, off, every colour of the module.
enum : uint32_t { STEP_RED = 0, STEP_GREEN = 1, STEP_BLUE = 2, STEP_OFF = 3, STEP_ALL = 4 };

int32_t all_colours(uint32_t colours) {
    return colours == 2 ? 0x03FF : colours == 3 ? WHITE : RED;
}

int32_t colour_of_step(uint32_t step, uint32_t colours) {
    static const int32_t STEPS[] = {RED, GREEN, BLUE, BLACK};
    if (step < 4) return STEPS[step];
    return step == STEP_ALL ? all_colours(colours) : RED;
}

// How the colour step and the phase advance at each step of a pattern.
enum class step_kind : uint8_t {
    cycle,        // each colour of the module in turn, then the next phase
    sequence,     // red, green, blue as present, off, red, ...
    hold,         // all colours; the phase advances
    fixed_colour, // the code's own colour, phase 0
    blink,        // all colours and off alternate; the phase advances on off
};

// What a bright pattern does to the illumination.
enum class bright_kind : uint8_t { none, full, tenth };

// Ticks per step: multiples of the frame rate, or a fixed count of ticks.
struct pace {
    uint8_t phases;  // S
    uint8_t count;   // T in units of `unit`
    bool per_second; // true: count x frames a second; false: count ticks
};
const pace EVERY_SECOND_8 = {8, 1, true}, EVERY_SECOND_3 = {3, 1, true},
           EVERY_3_SECONDS = {1, 3, true}, EVERY_2_TICKS = {1, 2, false};

// The sequencer: one instance for the program.
struct sequencer {
    uint32_t last_code = TEST_CODE_MESSAGE;
    uint32_t ticks = 0, ticks_per_step = 0, phases = 1;
    uint32_t step = 0, phase = 0, stage = 0;
    uint32_t reported_failures = 0;
    bool first_call_done = false;
    bool test_started = false;
    uint8_t saved_mode = 0, saved_level = 0; // saved_mode non-zero while saved
    bool full_brightness = false;
};

sequencer& the_sequencer() {
    static sequencer q;
    return q;
}

// Everything a painter may touch, gathered once per tick.
struct pattern_run {
    CDisplay& display;
    CSurface& surface;
    CMessage& message;
    display_driver* driver;
    sequencer& q;
    uint32_t colours; // of the module type: 1, 2 or 3
    int32_t colour;
    uint32_t levels, scaler; // dmsIllumNumBrightLevels, halvIllumBrightnessScaler
    uint32_t& display_state;
    uint8_t& beacon_on;
    const uint8_t* custom_colour; // red, blue, green
};

// A level straight to the driver, clamped to what the driver can take.
void drive(pattern_run& r, uint32_t level) {
    if (r.driver) r.driver->SetBrightness(uint8_t(level > MAX_LEVEL ? MAX_LEVEL : level));
}

// --- painters ------------------------------------------------------------------------------

void draw_nothing(pattern_run&) {}

void fill(pattern_run& r) {
    r.surface.Fill(r.colour);
}

void every_eighth_column(pattern_run& r) {
    for (int x = int(r.q.phase); x < r.surface.GetWidth(); x += 8)
        r.surface.DrawVLine(x, r.colour);
}

void every_eighth_row(pattern_run& r) {
    for (int y = int(r.q.phase); y < r.surface.GetHeight(); y += 8)
        r.surface.DrawHLine(y, r.colour);
}

void every_other_row(pattern_run& r, int first) {
    for (int y = first; y < r.surface.GetHeight(); y += 2)
        r.surface.DrawHLine(y, r.colour);
}
void odd_rows(pattern_run& r) {
    every_other_row(r, 1);
}
void even_rows(pattern_run& r) {
    every_other_row(r, 0);
}

void every_other_column(pattern_run& r, int first) {
    for (int x = first; x < r.surface.GetWidth(); x += 2)
        r.surface.DrawVLine(x, r.colour);
}
void odd_columns(pattern_run& r) {
    every_other_column(r, 1);
}
void even_columns(pattern_run& r) {
    every_other_column(r, 0);
}

void checkerboard(pattern_run& r, int parity) {
    for (int y = 0; y < r.surface.GetHeight(); ++y)
        for (int x = 0; x < r.surface.GetWidth(); ++x)
            if ((x + y) % 2 == parity) r.surface.SetPixel(x, y, r.colour);
}
void checkerboard_even(pattern_run& r) {
    checkerboard(r, 0);
}
void checkerboard_odd(pattern_run& r) {
    checkerboard(r, 1);
}

// The glyph of the grid, one cell of 6 columns by 8 rows.
const char* const GLYPH[] = {
    "......", ".XXXX.", ".XXXXX", "..X.XX", ".XXXXX", ".XXXX.", "......", "......",
};
const int CELL_WIDTH = 6, CELL_HEIGHT = 8;

void glyph_grid(pattern_run& r) {
    const int width = r.surface.GetWidth(), height = r.surface.GetHeight();
    for (int top = 0; top < height; top += CELL_HEIGHT)
        for (int left = 0; left < width; left += CELL_WIDTH)
            for (int y = 0; y < CELL_HEIGHT; ++y)
                for (int x = 0; x < CELL_WIDTH; ++x)
                    if (GLYPH[y][x] == 'X') r.surface.SetPixel(left + x, top + y, r.colour);
}

// --- text rows --------------------------------------------------------------------------------

const uint32_t ROW_TEXT_MAX = 255;
// Sign types whose digit rows advance by the character height.
const uint32_t FIXED_ROW_SIGN_TYPES[] = {4, 5, 132, 133};

// The characters of text row `k`.
using row_text = uint32_t (*)(uint32_t k, char* text);

// "A" to "Z", then "a" onwards.
uint32_t alphabet_row(uint32_t, char* text) {
    uint32_t n = 0;
    for (int c = 'A'; c <= 'Z'; ++c)
        text[n++] = char(c);
    for (int c = 'a'; c <= 0xFF && n < ROW_TEXT_MAX; ++c)
        text[n++] = char(c);
    return n;
}

// Row k repeats one character: "1" to "9", then "A" onwards.
uint32_t digit_row(uint32_t k, char* text) {
    const uint32_t code = k < 9 ? '1' + k : 'A' + (k - 9);
    if (code > 0xFF) return 0;
    for (uint32_t n = 0; n < ROW_TEXT_MAX; ++n)
        text[n] = char(code);
    return ROW_TEXT_MAX;
}

bool fixed_row_sign(uint32_t sign_type) {
    for (uint32_t type : FIXED_ROW_SIGN_TYPES)
        if (type == sign_type) return true;
    return false;
}

// Text rows in the message's font inside its current window (the whole
// surface when the window is empty), each row as many characters as fit.
void text_rows(pattern_run& r, row_text make_row, bool digits) {
    CMessage& m = r.message;
    const int32_t colour = r.colour == BLACK ? WHITE : r.colour;
    m.foreground = uint32_t(colour);
    m.text_background = -1;
    m.page_background = 0;
    r.surface.SetForeground(colour);
    r.surface.SetBackground(-1);
    CNTCIPFont font(m.current_font.GetRow());
    uint32_t row = 0;
    if (font_row_of(m.font, row)) font.SetRow(row);
    const uint32_t sign_type = db_get(obj::dmsSignType);
    uint32_t advance = uint32_t(font.GetHeight()) + font.GetLineSpacing();
    if (digits && fixed_row_sign(sign_type)) advance = db_get(obj::vmsCharacterHeightPixels);
    if (font.GetHeight() == 0 || advance == 0) return;
    const msg_window& w = m.CurrentWindow();
    text_clip clip{0, 0, r.surface.GetWidth(), r.surface.GetHeight()};
    if (w.right > w.left && w.bottom > w.top)
        clip = text_clip{int32_t(w.left), int32_t(w.top), int32_t(w.right), int32_t(w.bottom)};
    const bool matrix = multi_is_character_matrix(sign_type);
    char text[ROW_TEXT_MAX];
    uint32_t k = 0;
    for (int32_t y = clip.top; y < clip.bottom; y += int32_t(advance), ++k) {
        uint32_t count = make_row(k, text);
        int32_t previous = 0;
        uint8_t first = 1, spacing_hint = 0;
        text_run run{&font, text, count, font.GetCharSpacing(), &previous, &first, matrix};
        text_extent extent = CSurface::MeasureText(run, clip.left, clip.right, spacing_hint, true);
        if (extent.overflow) run.count = extent.overflow_index;
        first = 1;
        r.surface.DrawText(run, clip.left, y, clip, false);
    }
}

void alphabet_rows(pattern_run& r) {
    text_rows(r, alphabet_row, false);
}

void digit_rows(pattern_run& r) {
    text_rows(r, digit_row, true);
}

// --- the bright patterns ----------------------------------------------------------------------

// Code 1: the test ends and the message starts again.
void end_test(pattern_run& r) {
    r.display_state = DISPLAY_START_MESSAGE;
    r.display.UpdateBrightness(false);
    r.surface.Fill(BLACK);
    r.beacon_on = db_get(obj::currentBufferMsgBeacon) != 0 ? 1 : 0;
    r.q.test_started = false;
}

// Code 7: a tenth of the scaled full level.
void fill_at_a_tenth(pattern_run& r) {
    fill(r);
    drive(r, r.levels * r.scaler / 1000);
}

// Code 9: the level rises a tenth every two steps, ten times.
void fill_rising(pattern_run& r) {
    fill(r);
    if (r.q.phase > 20) r.q.phase = 0;
    drive(r, r.levels * r.scaler / 1000 * (r.q.phase / 2));
}

// Codes 25 and 35: the sign blinks while its level rises by one every two
// steps; each change of the failed pixels found meanwhile is reported with
// the level at which it appeared.
void dimming_sweep(pattern_run& r) {
    fill(r);
    const uint32_t failures = db_get(obj::messageFailureCount);
    if (failures == 0) {
        r.q.reported_failures = 0;
    } else if (failures != r.q.reported_failures) {
        r.q.reported_failures = failures;
        trace_printf("dimming sweep: level %u, %u failed pixels\n", unsigned(r.q.phase),
                     unsigned(failures));
    }
    if (r.q.phase > r.levels * r.scaler / 100) r.q.phase = 0;
    drive(r, r.q.phase);
}

// Code 32: the front panel's colour, five bits of each component.
void fill_custom(pattern_run& r) {
    const uint8_t* c = r.custom_colour;
    r.surface.Fill(int32_t(c[0] / 8 + (c[2] / 8) * 32 + (c[1] / 8) * 1024));
}

// --- code 10: the stage cycle --------------------------------------------------------------

void stage_columns(pattern_run& r) {
    every_eighth_column(r);
    r.display.UpdateBrightness(false);
}
void stage_rows(pattern_run& r) {
    every_eighth_row(r);
    r.display.UpdateBrightness(false);
}
void stage_alphabet(pattern_run& r) {
    r.colour = all_colours(r.colours);
    alphabet_rows(r);
    r.display.UpdateBrightness(false);
}
void stage_digits(pattern_run& r) {
    r.colour = all_colours(r.colours);
    digit_rows(r);
    r.display.UpdateBrightness(false);
}
void stage_dim(pattern_run& r) {
    fill(r);
    drive(r, r.levels * r.scaler / 1000);
    r.q.full_brightness = false;
}
void stage_full(pattern_run& r) {
    fill(r);
    if (r.q.full_brightness) drive(r, r.levels * r.scaler / 100);
    r.q.full_brightness = true;
}

struct stage_row {
    uint32_t stage;
    pace timing;
    uint32_t next;
    void (*draw)(pattern_run&);
};
const stage_row STAGES[] = {
    {3, EVERY_SECOND_8, 4, stage_columns}, {4, EVERY_SECOND_8, 6, stage_rows},
    {5, {2, 1, true}, 3, stage_alphabet},  {6, {2, 1, true}, 7, stage_digits},
    {7, EVERY_3_SECONDS, 8, stage_dim},    {8, EVERY_3_SECONDS, 5, stage_full},
};
const uint32_t FIRST_STAGE = 7;

const stage_row* stage_of(uint32_t stage) {
    for (const stage_row& row : STAGES)
        if (row.stage == stage) return &row;
    return nullptr;
}

pace stage_timing(uint32_t stage) {
    const stage_row* row = stage_of(stage);
    return row ? row->timing : EVERY_SECOND_8;
}

void stage_cycle(pattern_run& r) {
    if (r.q.phase >= r.q.phases) {
        r.q.step = STEP_RED;
        r.colour = RED;
        r.q.phase = 0;
        if (const stage_row* row = stage_of(r.q.stage)) r.q.stage = row->next;
    }
    const stage_row* row = stage_of(r.q.stage);
    if (!row) {
        r.q.stage = FIRST_STAGE;
        return;
    }
    row->draw(r);
}

// --- the code table -------------------------------------------------------------------------

const uint8_t KEEP_PHASE = 0xFF;

struct pattern_row {
    uint8_t first, last; // codes
    pace timing;         // code 10: by stage
    step_kind step;
    bright_kind bright;
    uint8_t first_step;  // colour step when the code starts
    uint8_t phase_limit; // a phase above it becomes 0 before drawing; KEEP_PHASE: kept
    void (*draw)(pattern_run&);
    bool update; // the brightness is updated after drawing
};

using S = step_kind;
using B = bright_kind;
const pattern_row PATTERNS[] = {
    {0, 0, EVERY_SECOND_8, S::cycle, B::none, STEP_RED, 0, draw_nothing, false},
    {1, 1, EVERY_SECOND_8, S::cycle, B::none, STEP_RED, 0, end_test, false},
    {2, 2, EVERY_3_SECONDS, S::sequence, B::full, STEP_RED, 0, fill, true},
    {3, 3, EVERY_SECOND_8, S::cycle, B::none, STEP_RED, 7, every_eighth_column, true},
    {4, 4, EVERY_SECOND_8, S::cycle, B::none, STEP_RED, 7, every_eighth_row, true},
    {5, 5, EVERY_SECOND_3, S::hold, B::none, STEP_ALL, 0, alphabet_rows, true},
    {6, 6, EVERY_SECOND_3, S::hold, B::none, STEP_ALL, 0, digit_rows, true},
    {7, 7, EVERY_3_SECONDS, S::cycle, B::none, STEP_RED, KEEP_PHASE, fill_at_a_tenth, false},
    {8, 8, EVERY_3_SECONDS, S::cycle, B::full, STEP_RED, KEEP_PHASE, fill, true},
    {9, 9, EVERY_3_SECONDS, S::cycle, B::none, STEP_RED, KEEP_PHASE, fill_rising, false},
    {10, 10, EVERY_SECOND_8, S::cycle, B::none, STEP_RED, KEEP_PHASE, stage_cycle, false},
    {11, 11, EVERY_3_SECONDS, S::cycle, B::none, STEP_RED, 0, glyph_grid, true},
    {12, 12, EVERY_3_SECONDS, S::fixed_colour, B::tenth, STEP_RED, KEEP_PHASE, fill, true},
    {13, 13, EVERY_3_SECONDS, S::fixed_colour, B::tenth, STEP_GREEN, KEEP_PHASE, fill, true},
    {14, 14, EVERY_3_SECONDS, S::fixed_colour, B::tenth, STEP_BLUE, KEEP_PHASE, fill, true},
    {15, 15, EVERY_3_SECONDS, S::fixed_colour, B::full, STEP_RED, KEEP_PHASE, fill, true},
    {16, 16, EVERY_3_SECONDS, S::fixed_colour, B::full, STEP_GREEN, KEEP_PHASE, fill, true},
    {17, 17, EVERY_3_SECONDS, S::fixed_colour, B::full, STEP_BLUE, KEEP_PHASE, fill, true},
    {18, 18, EVERY_3_SECONDS, S::cycle, B::none, STEP_RED, 0, odd_rows, true},
    {19, 19, EVERY_3_SECONDS, S::cycle, B::none, STEP_RED, 0, even_rows, true},
    {20, 20, EVERY_3_SECONDS, S::cycle, B::none, STEP_RED, 0, odd_columns, true},
    {21, 21, EVERY_3_SECONDS, S::cycle, B::none, STEP_RED, 0, even_columns, true},
    {22, 22, EVERY_3_SECONDS, S::cycle, B::none, STEP_RED, 0, checkerboard_odd, true},
    {23, 23, EVERY_3_SECONDS, S::cycle, B::none, STEP_RED, 0, checkerboard_even, true},
    {24, 24, EVERY_3_SECONDS, S::hold, B::none, STEP_RED, KEEP_PHASE, draw_nothing, false},
    {25, 25, EVERY_2_TICKS, S::blink, B::full, STEP_ALL, KEEP_PHASE, dimming_sweep, false},
    {26, 28, EVERY_3_SECONDS, S::cycle, B::none, STEP_RED, 0, draw_nothing, false},
    {29, 29, EVERY_SECOND_8, S::cycle, B::none, STEP_RED, 0, draw_nothing, false},
    {30, 30, EVERY_SECOND_3, S::blink, B::full, STEP_ALL, 0, fill, true},
    {31, 31, EVERY_SECOND_3, S::hold, B::full, STEP_ALL, 0, fill, true},
    {32, 32, EVERY_3_SECONDS, S::cycle, B::full, STEP_RED, 0, fill_custom, true},
    {33, 33, EVERY_SECOND_8, S::cycle, B::none, STEP_RED, KEEP_PHASE, draw_nothing, false},
    {34, 34, EVERY_3_SECONDS, S::cycle, B::none, STEP_RED, KEEP_PHASE, draw_nothing, false},
    {35, 35, EVERY_2_TICKS, S::blink, B::full, STEP_ALL, KEEP_PHASE, dimming_sweep, false},
    {36, 36, EVERY_3_SECONDS, S::hold, B::none, STEP_RED, KEEP_PHASE, draw_nothing, false},
};
// Any other code: a black sign.
const pattern_row OTHER_CODES = {37,       255, EVERY_SECOND_8, S::cycle, B::none,
                                 STEP_RED, 0,   draw_nothing,   false};
const uint32_t STAGE_CYCLE_CODE = 10;

const pattern_row& pattern_of(uint32_t code) {
    for (const pattern_row& row : PATTERNS)
        if (code >= row.first && code <= row.last) return row;
    return OTHER_CODES;
}

uint32_t ticks_of(const pace& timing, uint32_t frames_per_second) {
    const uint32_t ticks = timing.per_second ? timing.count * frames_per_second : timing.count;
    return ticks == 0 ? 1 : ticks;
}

void advance(sequencer& q, const pattern_row& row, uint32_t colours) {
    switch (row.step) {
    case S::cycle:
        if (++q.step >= colours) {
            q.step = STEP_RED;
            ++q.phase;
        }
        break;
    case S::sequence:
        ++q.step;
        if (q.step == colours)
            q.step = STEP_OFF;
        else if (q.step > colours)
            q.step = STEP_RED;
        break;
    case S::hold:
        ++q.phase;
        q.step = STEP_ALL;
        break;
    case S::fixed_colour:
        q.phase = 0;
        q.step = row.first_step;
        break;
    case S::blink:
        if (q.step == STEP_ALL) {
            q.step = STEP_OFF;
            ++q.phase;
        } else {
            q.step = STEP_ALL;
        }
        break;
    }
}

bool is_bright(uint32_t code) {
    return pattern_of(code).bright != B::none;
}

// A new code: the illumination saved by a bright pattern comes back, a
// bright pattern saves it (once) and takes manual-direct control at its
// level, and the colour steps start again.
void start_code(pattern_run& r, uint32_t code, const pattern_row& row) {
    sequencer& q = r.q;
    if (is_bright(q.last_code) && q.saved_mode != 0) {
        db_set(obj::dmsIllumControl, q.saved_mode, N);
        db_set(obj::dmsIllumManLevel, q.saved_level, N);
        q.saved_mode = 0;
    }
    if (row.bright != B::none) {
        if (q.saved_mode == 0) {
            q.saved_mode = uint8_t(db_get(obj::dmsIllumControl));
            q.saved_level = uint8_t(db_get(obj::dmsIllumManLevel));
        }
        const uint32_t level = row.bright == B::tenth ? r.levels / 10 : r.levels;
        db_set(obj::dmsIllumControl, ILLUM_MANUAL_DIRECT, N);
        db_set(obj::dmsIllumManLevel, level, N);
        drive(r, level * r.scaler / 100);
    }
    q.step = row.first_step;
    q.last_code = code;
}

} // namespace

void CDisplay::DrawTestPattern(uint32_t code) {
    sequencer& q = the_sequencer();
    const uint32_t fps = render_in_use_ ? render_in_use_->frames_per_second : 0;
    if (!q.first_call_done) q.ticks_per_step = fps;
    q.first_call_done = true;
    frame_mark_copy_ = 1;
    CRender& render = render_in_use_ ? *render_in_use_ : TheRender();
    render.display_mode = 1;

    const pattern_row& row = pattern_of(code);
    const pace timing = code == STAGE_CYCLE_CODE ? stage_timing(q.stage) : row.timing;
    q.phases = timing.phases;
    q.ticks_per_step = ticks_of(timing, fps);
    const uint32_t colours = find_module_type(db_get(obj::halvModuleID)).colour_class;
    pattern_run r{*this,
                  render.GetSurface(),
                  message_,
                  active_driver_,
                  q,
                  colours,
                  0,
                  db_get(obj::dmsIllumNumBrightLevels),
                  db_get(obj::halvIllumBrightnessScaler),
                  display_state_,
                  beacon_on_,
                  custom_test_colour_};
    if (code == q.last_code) {
        if (++q.ticks >= q.ticks_per_step) {
            q.ticks = 0;
            advance(q, row, colours);
        }
    } else {
        start_code(r, code, row);
    }
    r.colour = colour_of_step(q.step, colours);
    if (code != TEST_CODE_MESSAGE && !q.test_started) {
        beacon_on_ = 1;
        q.test_started = true;
    }
    if (row.phase_limit != KEEP_PHASE && q.phase > row.phase_limit) q.phase = 0;
    row.draw(r);
    if (row.update) UpdateBrightness(false);
}
