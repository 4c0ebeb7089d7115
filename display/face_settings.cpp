// Face settings after every display configuration: the faces' geometry and
// frame rate from the sign-size objects, the display task's refresh rate,
// the module lines of a face, its diagnostic result slots, and the texts by
// which the module table describes the sign (model designation, serial
// numbers).
#include "display/display_task.h"

#include "display/display_entries.h"

#include "display/disp/diag_index_registrar.h"
#include "display/render.h"
#include "runtime/console.h"
#include "runtime/os.h"
#include "store/database.h"
#include "store/objects.h"

#include <cstdio>

namespace {

const uint32_t DEFAULT_FRAME_RATE = 10;
const uint32_t TICKS_A_SECOND = 100;

// The largest frame rate of a sign of that many pixels.
struct rate_limit {
    uint32_t pixels_above;
    uint32_t rate;
};
const rate_limit RATE_LIMITS[] = {{65000, 2}, {24000, 5}};

// --- model designation ---------------------------------------------------------------

struct model_series {
    uint16_t first, last; // module type ids
    uint8_t series;       // 1..5
    const char* suffix;
};
const model_series MODEL_SERIES[] = {
    {0, 0, 1, " "},       {1, 8, 1, "A"},        {9, 12, 1, "RA"},    {13, 16, 1, "RG"},
    {17, 20, 1, "RGB"},   {21, 24, 2, "A"},      {25, 26, 1, " "},    {27, 27, 1, "RG"},
    {28, 57, 4, "A"},     {58, 63, 4, "RG"},     {64, 65, 4, "A"},    {66, 69, 4, "RG"},
    {70, 71, 4, "A"},     {72, 93, 4, "RGB"},    {94, 97, 2, "RGB"},  {98, 101, 2, "RA"},
    {102, 105, 2, "RG"},  {106, 106, 1, "A"},    {107, 108, 1, " "},  {109, 114, 3, "A"},
    {115, 115, 1, " "},   {116, 117, 5, "W"},    {118, 118, 2, "A"},  {119, 119, 2, "RGB"},
    {120, 125, 3, "A"},   {126, 128, 1, "A"},    {129, 153, 1, " "},  {154, 154, 2, "A"},
    {155, 155, 2, "RGB"}, {156, 168, 1, " "},    {169, 169, 2, "RG"}, {170, 171, 1, " "},
    {172, 172, 2, "RGB"}, {173, 0xFFFF, 1, " "},
};

const model_series& series_of(uint32_t module_type) {
    for (const model_series& row : MODEL_SERIES)
        if (module_type >= row.first && module_type <= row.last) return row;
    return MODEL_SERIES[0];
}

// Series 2 prefixes by dmsSignAccess.
struct access_prefix {
    uint32_t access;
    const char* prefix;
};
const access_prefix SERIES_2_PREFIXES[] = {{2, "QM-20X0"}, {4, "QM-21X0"}, {8, "QM-24X0"}};

// The numbers a designation is made of.
struct sign_numbers {
    int32_t height, width, char_height, char_width, pitch, q;
};
enum number_kind : uint8_t { H, W, CH, LINES, CHARS, PITCH, Q, NONE };

int32_t number_of(const sign_numbers& n, number_kind kind) {
    switch (kind) {
    case H:
        return n.height;
    case W:
        return n.width;
    case CH:
        return n.char_height;
    case LINES:
        return n.height / n.char_height;
    case CHARS:
        return n.width / n.char_width;
    case PITCH:
        return n.pitch;
    case Q:
        return n.q;
    default:
        return 0;
    }
}

// The middle of a designation, between the prefix and the suffix.
struct designation_format {
    const char* format;
    number_kind numbers[4];
};
const designation_format CHARACTERS = {"%d-%d-%d", {LINES, CHARS, PITCH, NONE}};
const designation_format LINES_OF = {"%d-%dx%d-%d", {LINES, CH, W, PITCH}};
const designation_format MATRIX = {"%dx%d-%d", {H, W, PITCH, NONE}};
const designation_format CHARACTERS_Q = {"%d-%d-%d", {LINES, CHARS, Q, NONE}};
const designation_format LINES_OF_Q = {"%d-%dx%d-%d", {LINES, Q, CH, W}};
const designation_format MATRIX_Q = {"%dx%d-%d", {H, W, Q, NONE}};
const designation_format FIXED = {"X-18", {NONE, NONE, NONE, NONE}};

// By series (1 to 5) and sign type: character (4), line (5), other.
const designation_format* const DESIGNATIONS[5][3] = {
    {&CHARACTERS, &LINES_OF, &MATRIX},
    {&CHARACTERS, &LINES_OF, &MATRIX},
    {&CHARACTERS_Q, &LINES_OF_Q, &MATRIX_Q},
    {&MATRIX, &MATRIX, &MATRIX},
    {&FIXED, &FIXED, &FIXED},
};

const uint32_t SIGN_CHARACTER = 4, SIGN_LINE = 5;

const char* prefix_of(uint8_t series, uint32_t pitch) {
    switch (series) {
    case 2: {
        const uint32_t access = db_get(obj::dmsSignAccess);
        for (const access_prefix& row : SERIES_2_PREFIXES)
            if (row.access == access)
                return access != 8 || pitch == 66 || pitch == 44 || pitch == 20 ? row.prefix
                                                                                : "QM-23X0";
        return "QM-2XX0";
    }
    case 3:
        return pitch == 44 ? "QR-4100" : "QR-4000";
    case 4:
        return "QK-3XXX";
    case 5:
        return "QP-5XXX";
    default:
        return "QM-1000";
    }
}

} // namespace

void show_serial_number(const DbObject& version_text, const DbObject& serial) {
    char buffer[24];
    const uint32_t number = db_get(serial);
    if (number == 0)
        std::snprintf(buffer, sizeof buffer, "SN: ----");
    else
        std::snprintf(buffer, sizeof buffer, "SN: %lu", static_cast<unsigned long>(number));
    db_set_text(version_text, buffer, DB_NOTIFY);
}

namespace {

// The eight pictures of a single face, in this order.
struct result_slot_row {
    const char* name;
    uint8_t kind;
};
const result_slot_row RESULT_SLOTS[] = {
    {"Current Display", disp::RESULT_CURRENT_DISPLAY},
    {"Message Page 1 with Pixel Errors", 2},
    {"Message Page 2 with Pixel Errors", 3},
    {"Message Page 3 with Pixel Errors", 4},
    {"Message Page 4 with Pixel Errors", 5},
    {"Message Page 5 with Pixel Errors", 6},
    {"Message Page 6 with Pixel Errors", 7},
    {"Pixel Test Results", disp::RESULT_PIXEL_TEST},
};
// Colour mode of the pixel test results by colour class 1..3.
const uint8_t PIXEL_TEST_COLOUR_MODES[] = {1, 3, 4};

} // namespace

void CDisplay::ApplyFaceSettings() {
    for (uint32_t i = 0; i < face_count_ && i < MAX_FACES; ++i)
        ApplyFaceGeometry(&face_configs_[i]);
    if (face_count_ != 0) SetRefreshRate(face_configs_[0].frame_rate);
    BuildSerialNumberText();
}

int CDisplay::ApplyFaceGeometry(face_config* config) {
    if (!config) return 0;
    uint32_t rate = db_get(obj::halvObj2_22);
    if (rate == 0) rate = DEFAULT_FRAME_RATE;
    config->width = uint16_t(db_get(obj::vmsSignWidthPixels));
    config->height = uint16_t(db_get(obj::vmsSignHeightPixels));
    const uint32_t pixels = uint32_t(config->width) * config->height;
    uint32_t limited = DEFAULT_FRAME_RATE;
    for (const rate_limit& limit : RATE_LIMITS)
        if (pixels > limit.pixels_above) {
            limited = rate < limit.rate ? rate : limit.rate;
            break;
        }
    config->frame_rate = uint8_t(limited);
    console_printf("FPS = %d\n", int(limited));
    return 1;
}

// The task's timer starts again after its first tick, then runs at the new
// period.
void CDisplay::SetRefreshRate(uint32_t frames_per_second) {
    if (frames_per_second == 0) return;
    if (frames_per_second > TICKS_A_SECOND) frames_per_second = TICKS_A_SECOND;
    TheRender().frames_per_second = uint8_t(frames_per_second);
    parser_.SetFrameRate(uint8_t(frames_per_second));
    trace_printf("SetRefreshRate to %d frames per second\n", int(frames_per_second));
    const uint32_t period = TICKS_A_SECOND / frames_per_second;
    db_set(obj::halvObj2_22, frames_per_second, DB_NOTIFY);
    uint32_t previous = 0;
    os_timer_deactivate(&timer_);
    if (os_timer_change(&timer_, row_.first_tick, period, &previous) == OS_OK) {
        row_.period = period;
        runs_per_second_ = uint8_t(TICKS_A_SECOND / period);
    }
    os_timer_activate(&timer_);
}

void CDisplay::BuildSerialNumberText() {
    const model_series& model = series_of(db_get(obj::halvModuleID));
    const uint32_t type = db_get(obj::dmsSignType);
    const bool character = type == SIGN_CHARACTER || type == SIGN_LINE;
    sign_numbers n{int32_t(db_get(obj::vmsSignHeightPixels)),
                   int32_t(db_get(obj::vmsSignWidthPixels)),
                   int32_t(db_get(obj::vmsCharacterHeightPixels)),
                   int32_t(db_get(obj::vmsCharacterWidthPixels)),
                   int32_t(db_get(obj::vmsHorizontalPitch)),
                   0};
    n.q = n.pitch == 44 ? 12 : 18;
    // A character or line sign without a character size counts 7 x 5
    // characters, so no designation divides by 0.
    if (character && n.char_height == 0) {
        n.char_height = 7;
        db_set(obj::vmsCharacterHeightPixels, 7, DB_NOTIFY);
    }
    if (n.char_width == 0) n.char_width = 5;
    const unsigned column = type == SIGN_CHARACTER ? 0 : type == SIGN_LINE ? 1 : 2;
    const designation_format& cell = *DESIGNATIONS[model.series - 1][column];
    char middle[48];
    std::snprintf(middle, sizeof middle, cell.format, number_of(n, cell.numbers[0]),
                  number_of(n, cell.numbers[1]), number_of(n, cell.numbers[2]),
                  number_of(n, cell.numbers[3]));
    char designation[96];
    std::snprintf(designation, sizeof designation, "%s-%s-%s",
                  prefix_of(model.series, uint32_t(n.pitch)), middle, model.suffix);
    db_set_text(obj::moduleModel.row(6), designation, DB_NOTIFY);
    show_serial_number(obj::moduleVersion.row(1), obj::halvControllerSerialNum);
    show_serial_number(obj::moduleVersion.row(6), obj::halvSignSerialNum);
}

bool CDisplay::ApplyLineLengths(face_config& config) {
    const uint32_t lines = config.module_height ? config.height / config.module_height : 0;
    const uint32_t full_line = config.module_width ? config.width / config.module_width : 0;
    bool fits = true;
    for (uint32_t line = 0; line < FACE_MODULE_LINES; ++line) {
        uint32_t count = 0;
        if (line < lines) {
            const DbObject entry = obj::halvLineLength.row(line);
            count = db_get(entry);
            if (count == 0) {
                count = full_line;
            } else if (count > full_line) {
                count = full_line;
                db_set(entry, count, DB_NOTIFY);
            }
        }
        fits = fits && count <= FACE_LINE_MODULES_MAX;
        config.modules_per_line[line] = uint8_t(count);
    }
    config.CountModules();
    return fits;
}

// The eight pictures of the only face; the slot of its pixel test results
// is kept for the display step.
void CDisplay::RegisterResultSlots(uint32_t face) {
    const face_config& config = face_configs_[face];
    const uint8_t number = uint8_t(face + 1);
    const uint8_t mode = config.bits_per_pixel == 1 ? 1 : 2;
    const uint8_t test_mode = config.colour_class >= 1 && config.colour_class <= 3
                                  ? PIXEL_TEST_COLOUR_MODES[config.colour_class - 1]
                                  : 1;
    for (const result_slot_row& row : RESULT_SLOTS) {
        const bool pixel_test = row.kind == disp::RESULT_PIXEL_TEST;
        unsigned slot = 0;
        if (disp::diag_index_registrar::Register(number, row.name, config.height, config.width,
                                                 pixel_test ? test_mode : mode, row.kind, slot) &&
            pixel_test)
            pixel_results_slot_[face] = int(slot);
    }
}
