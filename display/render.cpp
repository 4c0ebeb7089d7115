// The renderer: the element callback of the MULTI parser, its actions by
// element kind, graphics, fields and the time formatter.
#include "display/render.h"

#include "runtime/console.h"
#include "display/fonts/ntcip_font.h"
#include "ntcip/clock/calendar.h"
#include "platform/monitor/monitor.h"
#include "store/database.h"
#include "store/objects.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

const uint32_t FIELD_BUFFER = 50; // bytes of a field's text, NUL included
const uint32_t FONT_ROWS = 20;
const uint32_t FIELD_ROWS = 11; // rows of the statMulti tables
const float MILES_PER_KILOMETRE = 0.6214f;

// The text an element produces, and where it lies in the MULTI text.
struct element_text {
    char buffer[256];
    const char* text = nullptr;
    uint32_t count = 0;
    uint32_t position = 0;

    void Set(const char* from, uint32_t n) {
        n = std::min<uint32_t>(n, sizeof(buffer) - 1);
        std::memcpy(buffer, from, n);
        buffer[n] = '\0';
        text = buffer;
        count = n;
    }
    void Format(uint32_t length) {
        text = buffer;
        count = std::min<uint32_t>(length, FIELD_BUFFER - 1);
    }
};

// The element's own format text (built by the parser from its field table:
// one integer conversion) applied to a value, bounded by the field buffer.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
void print_value(element_text& out, const char* format, int value) {
    int n = std::snprintf(out.buffer, FIELD_BUFFER, format, value);
    out.Format(n < 0 ? 0 : uint32_t(n));
}
#pragma GCC diagnostic pop

int32_t miles_of(int32_t kilometres) {
    return int32_t(float(kilometres) * MILES_PER_KILOMETRE);
}

bool starts_page(uint32_t kind) {
    return (kind >= 1 && kind <= 9) || (kind >= 11 && kind <= 16) || (kind >= 19 && kind <= 22);
}

} // namespace

bool font_row_of(uint32_t number, uint32_t& row) {
    if (number >= 1 && number <= FONT_ROWS && db_get(obj::fontNumber.row(number - 1)) == number) {
        row = number - 1;
        return true;
    }
    for (uint32_t r = 0; r < FONT_ROWS; ++r) {
        if (db_get(obj::fontNumber.row(r)) == number) {
            row = r;
            return true;
        }
    }
    return false;
}

namespace {

// --- fields ----------------------------------------------------------------------

void field_time(CMessage& m, element_text& out) {
    struct tm calendar {};
    seconds_to_tm(db_get(obj::controllerLocalTime), &calendar);
    uint32_t n = CRender::FormatTimeField(out.buffer, FIELD_BUFFER, m.element.format, calendar);
    if (n == 0) n = uint32_t(std::strlen(out.buffer));
    out.Format(n);
    // Names and am/pm in capitals, but for the field that asks for lower case.
    if (m.element.field_code == 13) return;
    for (uint32_t i = 0; i < out.count; ++i) {
        if (out.buffer[i] >= 'a' && out.buffer[i] <= 'z') out.buffer[i] = char(out.buffer[i] - 32);
    }
}

int32_t ambient_celsius() {
    return int8_t(db_get(obj::tempMaxAmbient));
}

void field_celsius(CMessage& m, element_text& out) {
    print_value(out, m.element.format, ambient_celsius());
}

void field_fahrenheit(CMessage& m, element_text& out) {
    print_value(out, m.element.format, ambient_celsius() * 9 / 5 + 32);
}

void field_mph(CMessage& m, element_text& out) {
    print_value(out, m.element.format, miles_of(int32_t(db_get(obj::dmsCurrentSpeed))));
}

void field_kph(CMessage& m, element_text& out) {
    print_value(out, m.element.format, int32_t(db_get(obj::dmsCurrentSpeed)));
}

// A detector outside the speed table gives an empty text.
void field_detector(CMessage& m, element_text& out) {
    const multi_element& e = m.element;
    if (e.detector < 1 || e.detector > obj::halvObj5_10_1_2.rows) {
        out.Set("", 0);
        return;
    }
    int32_t speed = int32_t(db_get(obj::halvObj5_10_1_2.row(e.detector - 1u)));
    print_value(out, e.format, e.unit == 1 ? miles_of(speed) : speed);
}

// Part of the private text object: from the start offset, the character
// count or up to the end; a start outside the text gives an empty text.
void private_text(CMessage& m, element_text& out) {
    CDataBase& store = TheDatabase();
    store.Lock();
    uint32_t length = 0;
    const char* all = db_get_string(obj::halvObj6_2, &length);
    int32_t start = m.element.start;
    uint32_t count = m.element.length;
    if (start < 0 || uint32_t(start) >= length)
        out.Set("", 0);
    else
        out.Set(all + start, std::min<uint32_t>(count, length - uint32_t(start)));
    store.Unlock();
}

// Kinds 3-7 in the drawing pass: the field's code and text go to the next
// row of the statMulti tables.
void record_field(CMessage& m, const element_text& out) {
    uint32_t row = std::min<uint32_t>(m.field_index, FIELD_ROWS - 1);
    db_set(obj::statMultiFieldCode.row(row), m.element.field_code, DB_NOTIFY);
    db_set_string(obj::statMultiCurrentFieldValue.row(row), out.text, out.count, DB_NOTIFY);
    if (m.field_index < FIELD_ROWS - 1) ++m.field_index;
}

// --- graphics --------------------------------------------------------------------

// The graphic row carrying a number whose status allows drawing.
bool graphic_row_of(uint32_t number, uint32_t& row) {
    for (uint32_t r = 0; r < obj::dmsGraphicNumber.rows; ++r) {
        if (db_get(obj::dmsGraphicNumber.row(r)) != number) continue;
        uint32_t status = db_get(obj::dmsGraphicStatus.row(r));
        row = r;
        return status == 4 || status == 5 || status == 6;
    }
    return false;
}

// Reads the bitmap bytes of one graphic: its 63 blocks of block-size bytes
// each, a window of bytes at a time. Bytes a block does not hold read as 0.
class graphic_blocks {
  public:
    graphic_blocks(uint32_t row, uint32_t block_size) : row_(row), block_size_(block_size) {}
    uint8_t Byte(uint32_t block, uint32_t offset) {
        if (block >= obj::kGraphicBlocksPerGraphic || offset >= block_size_) return 0;
        if (block != block_ || offset < base_ || offset >= base_ + WINDOW) Load(block, offset);
        return window_[offset - base_];
    }

  private:
    static constexpr uint32_t WINDOW = 256;
    void Load(uint32_t block, uint32_t offset) {
        block_ = block;
        base_ = offset;
        std::memset(window_, 0, sizeof(window_));
        CDataBase& store = TheDatabase();
        store.Lock();
        uint32_t length = 0;
        const char* bytes = db_get_string(
            obj::dmsGraphicBlockBitmap.row(row_ * obj::kGraphicBlocksPerGraphic + block), &length);
        if (offset < length)
            std::memcpy(window_, bytes + offset, std::min<uint32_t>(WINDOW, length - offset));
        store.Unlock();
    }
    uint32_t row_, block_size_;
    uint32_t block_ = 0xFFFFFFFFu, base_ = 0;
    uint8_t window_[WINDOW];
};

struct graphic_paint {
    int32_t foreground, background; // background -1: none
    bool transparent;
    uint8_t transparent_colour[3];
    uint32_t module_id;
};

const int32_t NO_PIXEL = -1;

// Pixel readers by graphic type: pixel `index` of block `block`; the colour
// to set or NO_PIXEL.
typedef int32_t (*pixel_reader)(graphic_blocks& blocks, uint32_t block, uint32_t index,
                                const graphic_paint& paint);

int32_t read_mono1(graphic_blocks& blocks, uint32_t block, uint32_t index,
                   const graphic_paint& paint) {
    bool set = (blocks.Byte(block, index / 8) >> (7 - index % 8)) & 1;
    uint8_t clear_colour = paint.transparent_colour[0];
    if (set) return paint.transparent && clear_colour == 1 ? NO_PIXEL : paint.foreground;
    if (paint.background == -1 || (paint.transparent && clear_colour == 0)) return NO_PIXEL;
    return paint.background;
}

int32_t read_mono8(graphic_blocks& blocks, uint32_t block, uint32_t index,
                   const graphic_paint& paint) {
    uint8_t value = blocks.Byte(block, index);
    if (paint.transparent && value == paint.transparent_colour[0]) return NO_PIXEL;
    if (value != 0) return paint.foreground;
    return paint.background;
}

int32_t read_classic(graphic_blocks& blocks, uint32_t block, uint32_t index,
                     const graphic_paint& paint) {
    uint8_t value = blocks.Byte(block, index);
    if (paint.transparent && value == paint.transparent_colour[0]) return NO_PIXEL;
    uint32_t rgb = multi_color_to_rgb24(value, paint.module_id);
    return int32_t(multi_rgb_to_rgb15(rgb & 0xFF, (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF));
}

int32_t read_rgb24(graphic_blocks& blocks, uint32_t block, uint32_t index,
                   const graphic_paint& paint) {
    uint8_t first = blocks.Byte(block, 3 * index), second = blocks.Byte(block, 3 * index + 1),
            third = blocks.Byte(block, 3 * index + 2);
    const uint8_t* tc = paint.transparent_colour;
    if (paint.transparent && tc[0] == third && tc[1] == second && tc[2] == first) return NO_PIXEL;
    return int32_t(multi_rgb_to_rgb15(third, second, first));
}

struct graphic_type {
    uint32_t bits_per_pixel;
    pixel_reader read;
};
// dmsGraphicType 1 monochrome 1 bit, 2 monochrome 8 bits, 3 classic colour, 4 24-bit colour.
const graphic_type graphic_types[] = {
    {1, read_mono1}, {8, read_mono8}, {8, read_classic}, {24, read_rgb24}};

void draw_graphic(CMessage& m) {
    const multi_element& e = m.element;
    uint32_t row;
    if (m.measure_pass || !m.surface || !graphic_row_of(e.graphic_number, row)) return;
    if (db_get(obj::dmsGraphicID.row(row)) != e.graphic_id) return;
    uint32_t type = db_get(obj::dmsGraphicType.row(row));
    if (type < 1 || type > 4) return;
    const graphic_type& kind = graphic_types[type - 1];
    uint32_t block_size = db_get(obj::dmsGraphicBlockSize);
    // Pixels a block holds; a block too small for one pixel draws nothing.
    uint32_t per_block = block_size * 8 / kind.bits_per_pixel;
    if (per_block == 0) return;
    uint32_t height = db_get(obj::dmsGraphicHeight.row(row));
    uint32_t width = db_get(obj::dmsGraphicWidth.row(row));
    graphic_paint paint{int32_t(m.foreground),
                        m.text_background,
                        db_get(obj::dmsGraphicTransparentEnabled.row(row)) != 0,
                        {0, 0, 0},
                        db_get(obj::halvModuleID)};
    uint8_t colour[4] = {};
    uint32_t length = 0;
    db_get_string_copy(obj::dmsGraphicTransparentColor.row(row), colour, sizeof(colour), &length);
    std::memcpy(paint.transparent_colour, colour, 3);
    graphic_blocks blocks(row, block_size);
    uint32_t pixels = width * height;
    for (uint32_t u = 0; u < pixels; ++u) {
        int32_t c = kind.read(blocks, u / per_block, u % per_block, paint);
        if (c != NO_PIXEL)
            m.surface->SetPixel(e.x - 1 + int32_t(u % width), e.y - 1 + int32_t(u / width), c);
    }
}

// --- actions by element kind -------------------------------------------------

typedef int (*kind_action)(CRender& render, CMessage& m, element_text& out);

int act_text(CRender&, CMessage& m, element_text& out) {
    out.text = m.element.text;
    out.count = m.element.count;
    out.position = m.element.position;
    return MULTI_OK;
}

int act_private_text(CRender&, CMessage& m, element_text& out) {
    private_text(m, out);
    return MULTI_OK;
}

// Fields of kinds 3-7.
template <void (*format)(CMessage&, element_text&)>
int act_field(CRender&, CMessage& m, element_text& out) {
    format(m, out);
    if (!m.measure_pass) record_field(m, out);
    return MULTI_OK;
}

int act_detector(CRender&, CMessage& m, element_text& out) {
    field_detector(m, out);
    return MULTI_OK;
}

int act_bitmap(CRender&, CMessage& m, element_text&) {
    const multi_element& e = m.element;
    if (m.measure_pass || !m.surface || e.path[0] == '\0') return MULTI_OK;
    TFSHDR* file = mon_tfsstat(e.path);
    if (file) m.surface->DrawBitmap(tfs_file_data(file), tfs_file_size(file), e.x, e.y);
    return MULTI_OK;
}

int act_graphic(CRender&, CMessage& m, element_text&) {
    uint32_t row;
    if (!graphic_row_of(m.element.graphic_number, row)) return MULTI_GRAPHIC_NOT_DEFINED;
    if (!m.measure_pass && db_get(obj::dmsGraphicStatus.row(row)) != 6)
        db_set(obj::dmsGraphicStatus.row(row), 5, DB_NOTIFY | DB_NO_VALIDATE);
    draw_graphic(m);
    return MULTI_OK;
}

int act_moving_end(CRender&, CMessage& m, element_text&) {
    if (m.moving_index < MESSAGE_MOVING_TEXTS - 1) ++m.moving_index;
    return MULTI_OK;
}

int act_moving_start(CRender& render, CMessage& m, element_text&) {
    render.BeginMovingText(m);
    return MULTI_OK;
}

int act_character(CRender&, CMessage& m, element_text& out) {
    char c = char(m.element.character);
    out.Set(&c, 1);
    return MULTI_OK;
}

int act_line_end(CRender& render, CMessage& m, element_text&) {
    render.LayoutLines(m);
    return MULTI_OK;
}

int act_window_end(CRender& render, CMessage& m, element_text&) {
    render.LayoutPage(m);
    return MULTI_OK;
}

int act_new_line(CRender& render, CMessage& m, element_text&) {
    m.new_line_pending = 1;
    render.NewLine(m);
    return MULTI_OK;
}

int act_page_end(CRender&, CMessage& m, element_text&) {
    m.new_line_pending = 1;
    m.page_started = 0;
    return MULTI_OK;
}

int act_rectangle(CRender&, CMessage& m, element_text&) {
    if (m.measure_pass || !m.surface) return MULTI_OK;
    const msg_rectangle& r =
        m.rectangles[std::min<uint32_t>(m.rectangle_index, MESSAGE_RECTANGLES - 1)];
    m.surface->FillRect(int(r.x) - 1, int(r.y) - 1, int(r.width), int(r.height), int32_t(r.colour));
    if (m.rectangle_index < MESSAGE_RECTANGLES - 1) ++m.rectangle_index;
    return MULTI_OK;
}

int act_text_rectangle(CRender& render, CMessage& m, element_text&) {
    m.new_line_pending = 1;
    render.NextWindow(m);
    return MULTI_OK;
}

int act_nothing(CRender&, CMessage&, element_text&) {
    return MULTI_OK;
}

// Indexed by multi_element_kind.
const kind_action kind_actions[] = {
    act_nothing,                 // 0 empty
    act_text,                    // 1 run of text
    act_private_text,            // 2 part of halvObj6_2
    act_field<field_time>,       // 3 time or date
    act_field<field_celsius>,    // 4 temperature, Celsius
    act_field<field_fahrenheit>, // 5 temperature, Fahrenheit
    act_field<field_mph>,        // 6 speed, miles per hour
    act_field<field_kph>,        // 7 speed, kilometres per hour
    act_bitmap,                  // 8 bitmap file
    act_graphic,                 // 9 graphic
    act_nothing,                 // 10
    act_moving_end,              // 11
    act_moving_start,            // 12
    act_character,               // 13 [hc]
    act_line_end,                // 14
    act_window_end,              // 15
    act_new_line,                // 16
    act_page_end,                // 17
    act_nothing,                 // 18 position setting
    act_nothing,                 // 19
    act_rectangle,               // 20
    act_text_rectangle,          // 21
    act_detector,                // 22 speed of a detector
};
const uint32_t KIND_COUNT = sizeof(kind_actions) / sizeof(kind_actions[0]);

} // namespace

// --- the renderer --------------------------------------------------------------

CRender::CRender() : display_mode(0), page_on_time(0), page_off_time(0), frames_per_second(10) {}

CRender::~CRender() {}

int CRender::CreateSurface(int height, int width, int bitsPerPixel) {
    surface_.Create(height, width, bitsPerPixel);
    return 1;
}

void CRender::Bind(CMULTIParser* parser) {
    parser->SetFrameRate(frames_per_second);
}

uint8_t CRender::SetText(CMULTIParser* parser, CMessage* message, const char* text,
                         uint32_t length) {
    if (!parser || !message) return 0;
    Bind(parser);
    parser->Source().LoadDefaults(message->defaults);
    parser->SetText(this, OnFieldFoundThunk, message, text, length);
    return 1;
}

uint8_t CRender::ParsePage(CMULTIParser* parser, CMessage* message, uint32_t page) {
    if (!parser) return 0;
    Bind(parser);
    return parser->ParsePage(this, OnFieldFoundThunk, message, page) ? 1 : 0;
}

uint8_t CRender::NextPage(CMULTIParser* parser, CMessage* message) {
    if (!parser) return 0;
    Bind(parser);
    return parser->NextPage(message) ? 1 : 0;
}

uint8_t CRender::ReparsePage(CMULTIParser* parser, CMessage* message) {
    if (!parser) return 0;
    Bind(parser);
    return parser->ReparsePage(message) ? 1 : 0;
}

void CRender::Reset(CMULTIParser* parser, CMessage* message) {
    if (parser) parser->Reset(message);
}

uint8_t CRender::PageCount(CMULTIParser* parser, const char* text, uint32_t length) {
    return parser ? parser->CountPages(text, length) : 0;
}

int CRender::ParseMessage(CMULTIParser* parser, CMessage* message, const char* text,
                          uint32_t length) {
    if (!parser) return MULTI_NOTHING;
    Bind(parser);
    return parser->Validate(this, OnFieldFoundThunk, message, text, length);
}

int CRender::OnFieldFoundThunk(void* context, CMessage* message) {
    return static_cast<CRender*>(context)->OnFieldFound(message);
}

int CRender::OnFieldFound(CMessage* message) {
    CMessage& m = *message;
    uint32_t kind = m.element.kind;
    if (starts_page(kind) && !m.page_started) {
        m.page_started = 1;
        StartPage(m);
    }
    element_text out;
    int result = kind < KIND_COUNT ? kind_actions[kind](*this, m, out) : MULTI_OK;
    if (result == MULTI_OK && out.text) result = TextPath(m, out.text, out.count, out.position);
    m.element = multi_element{};
    return result;
}

void CRender::StartPage(CMessage& m) {
    if (!m.measure_pass) {
        if (m.surface) m.surface->Fill(int32_t(m.page_background));
        m.drawn_spacing = 0;
        m.field_index = 0;
    } else {
        for (unsigned w = m.WindowIndex(); w < MESSAGE_WINDOWS; ++w) {
            for (msg_line& line : m.lines[w]) {
                line.left_x = line.centre_x = line.right_x = line.start_x = 0;
                line.left_width = line.centre_width = line.right_width = 0;
                line.top = 0;
                line.height = 0;
            }
        }
        for (msg_moving_text& moving : m.moving_texts)
            moving.text_width = 0;
        m.measured_spacing = 0;
    }
    m.line_index = 0;
    m.moving_index = 0;
    const msg_line& first = m.lines[m.WindowIndex()][0];
    m.current_x = first.start_x;
    m.current_y = first.top;
}

int CRender::TextPath(CMessage& m, const char* text, uint32_t count, uint32_t position) {
    multi_sign sign;
    multi_store_source().ReadSign(sign);
    bool character_matrix = multi_is_character_matrix(sign.sign_type);
    bool fixed_rows = character_matrix || multi_is_line_matrix(sign.sign_type);
    msg_line& line = m.CurrentLine();
    uint8_t recorded = line.run_justification;
    uint8_t justification = m.line_justification[m.WindowIndex()];
    bool full = justification == 5;
    if ((recorded != 0 && (recorded == 5) != full) ||
        (line.has_moving && (recorded == 5 || full)) || (full && m.moving_text_open)) {
        m.error_position = position + 1;
        return MULTI_TAG_CONFLICT;
    }
    if (full && character_matrix) {
        m.error_position = position + 1;
        return MULTI_UNSUPPORTED_TAG;
    }
    line.run_justification = justification & 7;

    uint32_t row;
    if (!font_row_of(m.font, row)) {
        m.error_position = position;
        return MULTI_FONT_NOT_DEFINED;
    }
    m.current_font.SetRow(row);
    CNTCIPFont& font = m.current_font;
    uint8_t height = font.GetHeight();
    if (fixed_rows && height > sign.char_height) {
        trace_printf("CRender::OnFieldFound: Error font height > line height at %d\n",
                     int(position + 1));
        m.error_position = position + 1;
        return MULTI_TEXT_TOO_BIG;
    }
    if (full && m.measure_pass) {
        for (uint32_t i = 0; i < count; ++i)
            m.AppendLineChar(m.WindowIndex(), m.LineIndex(), uint8_t(text[i]),
                             font.GetCharWidth(uint8_t(text[i])));
    } else if (full) {
        SpreadFullLine(m);
    }
    if (height == 0) return MULTI_FONT_NOT_DEFINED;

    if (!m.measure_pass) {
        if (db_get(obj::statMultiFieldRows) < m.field_index)
            db_set(obj::statMultiFieldRows, m.field_index, DB_NOTIFY);
        if (m.surface) {
            m.surface->SetForeground(int32_t(m.foreground));
            m.surface->SetBackground(m.text_background);
            if (m.moving_text_open)
                DrawMovingRun(m, sign, text, count);
            else
                DrawRun(m, sign, text, count);
        }
        if (font.GetStatus() == 4) db_set(obj::fontStatus.row(row), 5, DB_NOTIFY | DB_NO_VALIDATE);
        return MULTI_OK;
    }

    int result = MeasureRun(m, sign, text, count, position);
    if (result != MULTI_OK) return result;
    uint32_t total = 0;
    for (unsigned l = 0; l <= m.LineIndex(); ++l)
        total += m.lines[m.WindowIndex()][l].height;
    uint32_t limit = m.surface ? uint32_t(m.surface->GetHeight()) : sign.height;
    if (total > limit) {
        console_printf("CRender:OnFieldFound Error Message too tall at %d\n", int(position));
        m.error_position = position;
        return MULTI_TEXT_TOO_BIG;
    }
    return MULTI_OK;
}

// --- the time formatter ------------------------------------------------------------

namespace {

const char* const weekday_names[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                     "Thursday", "Friday", "Saturday"};
const char* const month_names[] = {"January",   "February", "March",    "April",
                                   "May",       "June",     "July",     "August",
                                   "September", "October",  "November", "December"};

enum conversion_kind : uint8_t {
    CONVERT_NUMBER,  // digits, "#" drops leading zeros
    CONVERT_HOUR12,  // digits, "#" gives a leading blank
    CONVERT_PLAIN,   // digits, "#" ignored
    CONVERT_WEEKDAY, // name, 3 letters or full
    CONVERT_MONTH,
    CONVERT_COMPOSITE, // another format
    CONVERT_TEXT,      // a fixed text chosen by the hour
    CONVERT_END,       // ends the formatting
};

struct conversion {
    char letter;
    conversion_kind kind;
    uint8_t digits_or_full; // digits, or 1 for a full name
    int (*value)(const struct tm&);
    const char* text; // composite format, or "am|pm" pair for texts
};

int hour24(const struct tm& t) {
    return t.tm_hour;
}
int hour12(const struct tm& t) {
    return t.tm_hour % 12 == 0 ? 12 : t.tm_hour % 12;
}
int day_of_year(const struct tm& t) {
    return t.tm_yday + 1;
}
int day_of_month(const struct tm& t) {
    return t.tm_mday;
}
int month(const struct tm& t) {
    return t.tm_mon + 1;
}
int minute(const struct tm& t) {
    return t.tm_min;
}
int second(const struct tm& t) {
    return t.tm_sec;
}
int weekday(const struct tm& t) {
    return t.tm_wday;
}
int week_sunday(const struct tm& t) {
    return (t.tm_yday + 7 - t.tm_wday) / 7;
}
int week_monday(const struct tm& t) {
    return (t.tm_yday + 7 - (t.tm_wday + 6) % 7) / 7;
}
int year2(const struct tm& t) {
    return (t.tm_year + 1900) % 100;
}
int year4(const struct tm& t) {
    return t.tm_year + 1900;
}

const conversion conversions[] = {
    {'a', CONVERT_WEEKDAY, 0, weekday, nullptr},
    {'A', CONVERT_WEEKDAY, 1, weekday, nullptr},
    {'b', CONVERT_MONTH, 0, month, nullptr},
    {'B', CONVERT_MONTH, 1, month, nullptr},
    {'c', CONVERT_COMPOSITE, 0, nullptr, "%a %b %d %H:%M:%S %Y"},
    {'d', CONVERT_NUMBER, 2, day_of_month, nullptr},
    {'H', CONVERT_NUMBER, 2, hour24, nullptr},
    {'I', CONVERT_HOUR12, 2, hour12, nullptr},
    {'j', CONVERT_NUMBER, 3, day_of_year, nullptr},
    {'m', CONVERT_NUMBER, 2, month, nullptr},
    {'M', CONVERT_NUMBER, 2, minute, nullptr},
    {'p', CONVERT_TEXT, 0, hour24, "am\0pm"},
    {'P', CONVERT_TEXT, 0, hour24, "AM\0PM"},
    {'S', CONVERT_NUMBER, 2, second, nullptr},
    {'U', CONVERT_NUMBER, 2, week_sunday, nullptr},
    {'W', CONVERT_NUMBER, 2, week_monday, nullptr},
    {'w', CONVERT_PLAIN, 1, weekday, nullptr},
    {'x', CONVERT_COMPOSITE, 0, nullptr, "%a %b %d %Y"},
    {'X', CONVERT_COMPOSITE, 0, nullptr, "%H:%M:%S"},
    {'y', CONVERT_NUMBER, 2, year2, nullptr},
    {'Y', CONVERT_PLAIN, 1, year4, nullptr},
    {'Z', CONVERT_TEXT, 0, nullptr, ""},
    {'%', CONVERT_TEXT, 0, nullptr, "%"},
};

const conversion* find_conversion(char letter) {
    for (const conversion& c : conversions) {
        if (c.letter == letter) return &c;
    }
    return nullptr;
}

// Appends to a bounded buffer; false once it is full.
struct bounded_text {
    char* buffer;
    uint32_t size;
    uint32_t length;

    bool Put(const char* text, uint32_t n) {
        for (uint32_t i = 0; i < n; ++i) {
            if (length + 1 >= size) return false;
            buffer[length++] = text[i];
        }
        return true;
    }
};

bool expand(bounded_text& out, const char* format, const struct tm& time);

bool convert(bounded_text& out, const conversion& c, bool drop_zeros, const struct tm& time) {
    char digits[16];
    switch (c.kind) {
    case CONVERT_WEEKDAY:
    case CONVERT_MONTH: {
        int index = c.kind == CONVERT_WEEKDAY ? c.value(time) : c.value(time) - 1;
        int count = c.kind == CONVERT_WEEKDAY ? 7 : 12;
        if (index < 0 || index >= count) index = 0;
        const char* name = c.kind == CONVERT_WEEKDAY ? weekday_names[index] : month_names[index];
        return out.Put(name, c.digits_or_full ? uint32_t(std::strlen(name)) : 3);
    }
    case CONVERT_COMPOSITE:
        return expand(out, c.text, time);
    case CONVERT_TEXT:
        if (c.value && c.value(time) >= 12) return out.Put(c.text + 3, 2);
        return out.Put(c.text, uint32_t(std::strlen(c.text)));
    default:
        break;
    }
    int value = c.value(time);
    int n;
    if (c.kind == CONVERT_HOUR12 && drop_zeros)
        n = std::snprintf(digits, sizeof(digits), "%*d", c.digits_or_full, value);
    else if (c.kind == CONVERT_NUMBER && drop_zeros)
        n = std::snprintf(digits, sizeof(digits), "%d", value);
    else
        n = std::snprintf(digits, sizeof(digits), "%0*d", c.digits_or_full, value);
    return out.Put(digits, uint32_t(n));
}

// False when the buffer filled or a conversion ended the formatting early
// (`ended` tells the two apart).
bool expand(bounded_text& out, const char* format, const struct tm& time) {
    for (const char* p = format; *p; ++p) {
        if (*p != '%') {
            if (!out.Put(p, 1)) return false;
            continue;
        }
        ++p;
        bool drop_zeros = *p == '#';
        if (drop_zeros) ++p;
        const conversion* c = *p ? find_conversion(*p) : nullptr;
        if (!c) return true; // an unknown conversion ends the formatting
        if (!convert(out, *c, drop_zeros, time)) return false;
    }
    return true;
}

} // namespace

uint32_t CRender::FormatTimeField(char* buffer, uint32_t size, const char* format,
                                  const struct tm& time) {
    if (!buffer || size == 0) return 0;
    bounded_text out{buffer, size, 0};
    bool complete = format ? expand(out, format, time) : true;
    buffer[out.length] = '\0';
    return complete ? out.length : 0;
}

CRender& TheRender() {
    static CRender render;
    return render;
}
