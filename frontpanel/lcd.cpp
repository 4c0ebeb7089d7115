// The front panel's LCD module driver (see lcd.h).
#include "frontpanel/lcd.h"

#include "comm/drivers/serial_driver.h"
#include "comm/net/servers.h"
#include "runtime/console.h"
#include "runtime/os.h"

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <iterator>

const lcd_command_row LCD_COMMANDS[] = {
    {LCD_CLEAR, 0, "clear"},
    {LCD_CURSOR, 2, "cursor"},
    {LCD_CONTRAST, 1, "contrast"},
    {LCD_BACKLIGHT_ON, 1, "backlight on"},
    {LCD_BACKLIGHT_OFF, 0, "backlight off"},
    {LCD_LAMP_ON, 0, "lamp on"},
    {LCD_LAMP_OFF, 0, "lamp off"},
    {LCD_RECT, 5, "rectangle"},
    {LCD_FILL_RECT, 5, "filled rectangle"},
    {LCD_DRAW_COLOUR, 1, "drawing colour"},
    {LCD_PIXEL, 2, "pixel"},
    {LCD_BITMAP, 4, "bitmap"},
    {LCD_KEEP_ALIVE, 0, "keep-alive"},
    {LCD_BUSY_OFF, 0, "busy off"},
    {LCD_BUSY_ON, 0, "busy on"},
    {LCD_PROBE, 0, "probe"},
    {LCD_REQUEST_REVISION, 0, "revision request"},
    {LCD_REQUEST_STATUS, 0, "status request"},
    {LCD_ACTIVITY, 0, "activity"},
    {LCD_CAN_FRAME, 13, "CAN frame"},
};
const size_t LCD_COMMAND_COUNT = sizeof LCD_COMMANDS / sizeof LCD_COMMANDS[0];

const lcd_command_row* lcd_find_command(uint8_t letter) {
    for (const lcd_command_row& row : LCD_COMMANDS)
        if (row.letter == letter) return &row;
    return nullptr;
}

const uint8_t LCD_CHARACTER_MAP[128] = {
    0x20, 0x20, 0x27, 0x9F, 0x22, 0x20, 0x20, 0x20, 0x5E, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20,
    0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x22, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20,
    0x20, 0x21, 0x9B, 0x9C, 0x6F, 0x9D, 0x7C, 0x53, 0x20, 0x20, 0x20, 0x22, 0x20, 0x20, 0x20, 0x2D,
    0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x2E, 0x2E, 0x27, 0x27, 0x22, 0x20, 0x20, 0x20, 0x3F,
    0x41, 0x41, 0x41, 0x41, 0x8E, 0x8F, 0x92, 0x80, 0x45, 0x90, 0x45, 0x45, 0x49, 0x49, 0x49, 0x49,
    0x44, 0x4E, 0x4F, 0x4F, 0x4F, 0x4F, 0x4F, 0x78, 0x30, 0x55, 0x55, 0x55, 0x55, 0x59, 0x20, 0x20,
    0x85, 0x61, 0x83, 0x61, 0x84, 0x86, 0x92, 0x63, 0x8A, 0x82, 0x88, 0x89, 0x8D, 0x69, 0x8C, 0x8B,
    0x6F, 0x6E, 0x95, 0x6F, 0x93, 0x6F, 0x94, 0x2F, 0x30, 0x97, 0x75, 0x96, 0x9A, 0x79, 0x00, 0x00,
};

const lcd_icon_row LCD_ICONS[LCD_ICON_COUNT] = {
    {LCD_ICON_LT, 0, 0, {0x00, 0x40, 0x4E, 0x44, 0x44, 0x74, 0x04, 0x00}, "LT"},
    {LCD_ICON_C, 8, 0, {0x00, 0x1C, 0x3C, 0x30, 0x30, 0x3C, 0x1C, 0x00}, "C"},
    {LCD_ICON_LOCK, 8, 0, {0x7E, 0xC3, 0xC3, 0x3C, 0x7E, 0x66, 0x7E, 0x00}, "lock"},
    {LCD_ICON_R, 8, 0, {0x00, 0x78, 0x44, 0x78, 0x48, 0x44, 0x44, 0x00}, "R"},
    {LCD_ICON_ARROWS, 16, 0, {0x00, 0x04, 0x22, 0x4F, 0xF2, 0x44, 0x20, 0x00}, "arrows"},
    {LCD_ICON_FLAG, 216, 0, {0x04, 0x4E, 0x55, 0x44, 0x44, 0x40, 0x78, 0x00}, "flag"},
    {LCD_ICON_SIGNAL0, 224, 0, {0x0C, 0x1F, 0x3C, 0x5F, 0x8C, 0x80, 0x80, 0x00}, "antenna"},
    {LCD_ICON_SIGNAL1, 224, 0, {0x00, 0x18, 0x7E, 0x7E, 0x7E, 0x7E, 0x7E, 0x00}, "signal 1"},
    {LCD_ICON_SIGNAL2, 224, 0, {0x00, 0x18, 0x66, 0x7E, 0x7E, 0x7E, 0x7E, 0x00}, "signal 2"},
    {LCD_ICON_SIGNAL3, 224, 0, {0x00, 0x18, 0x66, 0x42, 0x7E, 0x7E, 0x7E, 0x00}, "signal 3"},
    {LCD_ICON_SIGNAL4, 224, 0, {0x00, 0x18, 0x66, 0x42, 0x42, 0x7E, 0x7E, 0x00}, "signal 4"},
    {LCD_ICON_SIGNAL5, 224, 0, {0x00, 0x18, 0x66, 0x42, 0x42, 0x42, 0x7E, 0x00}, "signal 5"},
    {LCD_ICON_HOURGLASS1, 232, 0, {0x7E, 0x7E, 0x3C, 0x18, 0x24, 0x42, 0x7E, 0x00}, "hourglass 1"},
    {LCD_ICON_HOURGLASS2, 232, 0, {0x7E, 0x42, 0x3C, 0x18, 0x24, 0x7E, 0x7E, 0x00}, "hourglass 2"},
    {LCD_ICON_HOURGLASS3, 232, 0, {0x7E, 0x42, 0x24, 0x18, 0x3C, 0x7E, 0x7E, 0x00}, "hourglass 3"},
    {LCD_ICON_RIGHT_ARROW,
     232,
     56,
     {0x00, 0x04, 0x02, 0xFF, 0x02, 0x04, 0x00, 0x00},
     "right arrow"},
};

namespace {

// Each icon's own 8 x 8 dots, corners included: a clear never reaches the
// text beside it or the row below.
const lcd_rect ICON_CLEARS[] = {
    {0, 0, 7, 7},     {8, 0, 15, 7},    {16, 0, 23, 7},
    {216, 0, 223, 7}, {224, 0, 231, 7}, {232, 0, 239, 7},
};
// Text columns of row 1 under the icons (dots 0-23 and 216-239).
const uint8_t LEFT_ICON_COLUMNS_END = 4, RIGHT_ICON_COLUMNS_START = 37;

const uint8_t BACKSPACE_LIMIT = 5;
const ULONG CLEAR_SETTLE_TICKS = 7;

bool row_valid(uint8_t row) {
    return row >= 1 && row <= LCD_ROWS;
}

} // namespace

bool lcd_icon_clear_rect(uint8_t x, lcd_rect& rect) {
    for (const lcd_rect& r : ICON_CLEARS)
        if (r.x1 == x) {
            rect = r;
            return true;
        }
    return false;
}

namespace {

const uint8_t CELL_DOTS = 6; // a text column's width

// The icon place that starts at x. -> its index, or -1.
int icon_place(uint8_t x) {
    for (size_t i = 0; i < std::size(ICON_CLEARS); ++i)
        if (ICON_CLEARS[i].x1 == x) return int(i);
    return -1;
}

} // namespace

uint32_t CLCD::Init(CSerialDriver* serial, CLCDOwner* owner) {
    if (!serial || !owner) return 1;
    serial_ = serial;
    owner_ = owner;
    if (!busy_ready_) {
        if (os_mutex_create(&busy_mutex_, "lcd", 0) != OS_OK) return 3;
        if (os_semaphore_create(&busy_units_, "lcd", BUSY_UNITS) != OS_OK) {
            os_mutex_delete(&busy_mutex_);
            return 3;
        }
        busy_ready_ = true;
    }
    Command(LCD_BUSY_OFF);
    return 0;
}

// ---- bytes ----

// Bytes written while the write mark is held wait in the output buffer.
void CLCD::WriteRawByte(uint8_t byte) {
    if (mirror_) mirror_->WriteByte(byte);
    if (!serial_) return;
    if (write_in_progress_.load() == 0) {
        serial_->WriteByte(byte);
        return;
    }
    if (output_count_ == OUTPUT_BYTES) FlushOutput();
    output_[output_count_++] = byte;
}

void CLCD::FlushOutput() {
    if (output_count_ == 0) return;
    if (serial_) serial_->Write(output_, uint32_t(output_count_));
    output_count_ = 0;
}

bool CLCD::EscapesData() const {
    auto raw_panel = [](uint8_t revision) { return revision >= 1 && revision <= 6; };
    return !raw_panel(revision_first_) && !raw_panel(revision_second_);
}

void CLCD::WriteDataByte(uint8_t byte) {
    if (EscapesData() && (byte == LCD_COMMAND || byte == LCD_ESCAPE)) {
        WriteRawByte(LCD_ESCAPE);
        WriteRawByte(byte ^ LCD_ESCAPE_XOR);
        return;
    }
    WriteRawByte(byte);
}

// The write-in-progress mark, taken atomically: several threads write (the
// busy mark from other tasks, the sign image from the display task). Between
// tries the writer sleeps a tick so that the holder can finish.
bool CLCD::TakeWriteMark(const char* writer) {
    for (int attempt = 0; attempt < WRITE_TRIES; attempt++) {
        if (write_in_progress_.exchange(1) == 0) return true;
        if (attempt + 1 < WRITE_TRIES) os_sleep(1);
    }
    trace_printf("%s: Warning Write Failed\n", writer);
    return false;
}

int CLCD::WriteBytes(const uint8_t* bytes, size_t length) {
    if (write_in_progress_.exchange(1) != 0) return 0;
    for (size_t i = 0; i < length; i++)
        i == 0 ? WriteRawByte(bytes[i]) : WriteDataByte(bytes[i]);
    ReleaseWriteMark();
    return 1;
}

void CLCD::WriteCommand(const uint8_t* bytes, size_t length) {
    for (int attempt = 0; attempt < WRITE_TRIES; attempt++) {
        if (WriteBytes(bytes, length)) return;
        if (attempt + 1 < WRITE_TRIES) os_sleep(1);
    }
    trace_printf("CLCD::WriteCommand: Warning Write Failed\n");
}

// A command of the table with exactly its argument count.
void CLCD::Command(uint8_t letter, std::initializer_list<uint8_t> arguments) {
    const lcd_command_row* row = lcd_find_command(letter);
    uint8_t bytes[8] = {LCD_COMMAND, letter};
    if (!row || arguments.size() != row->arguments || arguments.size() + 2 > sizeof bytes) return;
    size_t length = 2;
    for (uint8_t argument : arguments)
        bytes[length++] = argument;
    WriteCommand(bytes, length);
}

// ---- commands ----

void CLCD::Clear() {
    Command(LCD_CLEAR);
    std::memset(top_row_text_, ' ', sizeof top_row_text_);
    std::fill(std::begin(shown_icons_), std::end(shown_icons_), uint8_t(LCD_ICON_COUNT));
    top_row_wiped = 1;
    os_sleep(CLEAR_SETTLE_TICKS);
}

void CLCD::SendCursor() {
    Command(LCD_CURSOR, {column_, row_});
}

// ---- text ----

void CLCD::SetCursor(uint8_t column, uint8_t row, bool send) {
    if (!row_valid(row)) return;
    column_ = column;
    row_ = row;
    if (send) SendCursor();
}

void CLCD::AdvanceRow() {
    row_ = row_ >= LCD_ROWS ? 1 : uint8_t(row_ + 1);
}

void CLCD::NewLine() {
    AdvanceRow();
    SendCursor();
}

void CLCD::CarriageReturn() {
    column_ = 1;
    SendCursor();
}

void CLCD::Backspace(uint8_t limit) {
    if (!TakeWriteMark("CLCD::Backspace")) return;
    EmitBackspace(limit);
    ReleaseWriteMark();
}

// The cursor command inside a text that already holds the write mark.
void CLCD::EmitCursor() {
    WriteRawByte(LCD_COMMAND);
    WriteDataByte(LCD_CURSOR);
    WriteDataByte(column_);
    WriteDataByte(row_);
}

void CLCD::EmitBackspace(uint8_t limit) {
    if (column_ != limit) WriteRawByte(' ');
    WriteRawByte(' ');
    EmitCursor();
}

void CLCD::EmitTextByte(uint8_t byte) {
    if (byte >= 0x20 && byte <= 0x7E) return WriteRawByte(byte);
    if (byte >= 0x80 && byte <= 0xFD) return WriteRawByte(LCD_CHARACTER_MAP[byte - 0x80]);
    switch (byte) {
    case '\n':
        AdvanceRow();
        return EmitCursor();
    case '\r':
        column_ = 1;
        return EmitCursor();
    case '\b':
        return EmitBackspace(BACKSPACE_LIMIT);
    default:
        return; // other control bytes, 0x7F, 0xFE and 0xFF have no character
    }
}

void CLCD::EmitText(const char* text) {
    for (const char* p = text; *p; p++)
        EmitTextByte(uint8_t(*p));
}

void CLCD::SendString(const char* text) {
    if (!text || !TakeWriteMark("CLCD::SendString")) return;
    MarkIconsOverwritten(std::strlen(text));
    NoteTopRowText(text);
    EmitText(text);
    ReleaseWriteMark();
}

// Text on row 1 over an icon's place erases the icon: the manager then
// draws every indicator again.
void CLCD::MarkIconsOverwritten(size_t length) {
    if (row_ != 1 || length == 0) return;
    if (column_ <= LEFT_ICON_COLUMNS_END || column_ + length > RIGHT_ICON_COLUMNS_START)
        top_row_wiped = 1;
}

void CLCD::SendChar(char character) {
    char text[2] = {character, 0};
    SendString(text);
}

void CLCD::ClearLine(uint8_t row) {
    if (!row_valid(row)) return;
    char blanks[LCD_COLUMNS + 1];
    std::memset(blanks, ' ', LCD_COLUMNS);
    blanks[LCD_COLUMNS] = 0;
    SendFormatted(row, 1, blanks);
    if (row == 1) top_row_wiped = 1;
}

void CLCD::ClearToEndOfLine(uint8_t row, uint8_t column) {
    if (!row_valid(row) || column > LCD_COLUMNS) return;
    char blanks[LCD_COLUMNS + 1] = {};
    std::memset(blanks, ' ', size_t(LCD_COLUMNS - column));
    SendFormatted(row, column, blanks);
}

// Positions (when the row is valid) and sends the text.
void CLCD::SendFormatted(uint8_t row, uint8_t column, const char* text) {
    SetCursor(column, row, true);
    SendString(text);
}

// Formats into the text buffer; a text that would not fit is dropped with a
// warning.
bool CLCD::Format(char (&text)[TEXT_BYTES], const char* writer, const char* format, va_list args) {
    std::memset(text, 0, sizeof text);
    int length = format ? std::vsnprintf(text, sizeof text, format, args) : -1;
    if (length >= 0 && size_t(length) < sizeof text) return true;
    trace_printf("%s: Warning Text Too Long\n", writer);
    return false;
}

void CLCD::PrintRowCol(uint8_t row, uint8_t column, const char* format, ...) {
    char text[TEXT_BYTES];
    va_list args;
    va_start(args, format);
    bool fits = Format(text, "CLCD::PrintRowCol", format, args);
    va_end(args);
    if (!fits) return;
    SendFormatted(row, column, text);
}

void CLCD::Print(uint8_t row, uint8_t justify, const char* format, ...) {
    char text[TEXT_BYTES];
    va_list args;
    va_start(args, format);
    bool fits = Format(text, "CLCD::Print", format, args);
    va_end(args);
    if (!fits) return;
    uint8_t length = uint8_t(std::strlen(text));
    const uint8_t columns[] = {1, uint8_t(uint8_t(42 - length) / 2), uint8_t(40 - length)};
    if (justify >= LCD_LEFT && justify <= LCD_RIGHT)
        SetCursor(columns[justify - LCD_LEFT], row, true);
    SendString(text);
}

void CLCD::PrintAt(uint8_t row, uint8_t column, uint8_t justify, const char* format, ...) {
    char text[TEXT_BYTES];
    va_list args;
    va_start(args, format);
    bool fits = Format(text, "CLCD::PrintAt", format, args);
    va_end(args);
    if (!fits) return;
    int width = column < LCD_COLUMNS ? LCD_COLUMNS - column : 0;
    int length = int(std::strlen(text));
    char field[TEXT_BYTES] = {};
    if (length > width)
        std::snprintf(field, sizeof field, "%.*s", width, text);
    else if (justify == LCD_LEFT)
        std::snprintf(field, sizeof field, "%-*s", width, text);
    else if (justify == LCD_CENTRE) {
        std::memset(field, ' ', size_t(width));
        std::memcpy(field + (width / 2 - length / 2), text, size_t(length));
    } else if (justify == LCD_RIGHT)
        std::snprintf(field, sizeof field, "%*s", width, text);
    SendFormatted(row, column, field);
}

void CLCD::PrintLine(uint8_t row, uint8_t justify, const char* format, ...) {
    if (!row_valid(row)) return;
    char text[TEXT_BYTES];
    va_list args;
    va_start(args, format);
    bool fits = Format(text, "CLCD::PrintLine", format, args);
    va_end(args);
    if (!fits) return;
    int length = int(std::strlen(text));
    char line[TEXT_BYTES] = {};
    if (justify == LCD_CENTRE)
        std::snprintf(line, sizeof line, "%*.40s", (length + LCD_COLUMNS) / 2, text);
    else if (justify == LCD_RIGHT)
        std::snprintf(line, sizeof line, "%*.40s", length < LCD_COLUMNS ? LCD_COLUMNS - length : 0,
                      text);
    else
        std::snprintf(line, sizeof line, "%.40s", text);
    size_t filled = std::strlen(line);
    if (filled > LCD_COLUMNS) filled = LCD_COLUMNS;
    std::memset(line + filled, ' ', LCD_COLUMNS - filled);
    line[LCD_COLUMNS] = 0;
    SendFormatted(row, 1, line);
}

// ---- bitmaps and icons ----

int CLCD::Bitmap(uint8_t x, uint8_t y, uint8_t width, uint8_t height, const uint8_t* data) {
    if (width == 0 || height == 0 || !data) return 2;
    if (!TakeWriteMark("CLCD::Bitmap")) return 2;
    WriteRawByte(LCD_COMMAND);
    WriteRawByte(LCD_BITMAP);
    for (uint8_t edge : {x, y, uint8_t(x + width - 1), uint8_t(y + height - 1)})
        WriteDataByte(edge);
    size_t bytes = size_t((width + 7) / 8) * height;
    int result = 0;
    for (size_t i = 0; i < bytes; i++) {
        if (owner_ && owner_->ReinitCountdown() != 0) {
            result = 2;
            break;
        }
        WriteDataByte(data[i]);
    }
    ReleaseWriteMark();
    return result;
}

int CLCD::DrawIcon(lcd_icon icon) {
    if (icon >= LCD_ICON_COUNT) return 2;
    const lcd_icon_row& row = LCD_ICONS[icon];
    const int place = row.y == 0 ? icon_place(row.x) : -1;
    if (place >= 0) shown_icons_[place] = uint8_t(icon);
    return Bitmap(row.x, row.y, 8, 8, row.bits);
}

void CLCD::ClearIcon(uint8_t x) {
    const int place = icon_place(x);
    if (place < 0) return;
    const lcd_rect& rect = ICON_CLEARS[place];
    FillRect(0, rect.x1, rect.y1, rect.x2, rect.y2);
    shown_icons_[place] = LCD_ICON_COUNT;
    RestoreTextUnder(rect);
}

// Row 1's text as it is sent from the cursor's column (up to a control byte).
void CLCD::NoteTopRowText(const char* text) {
    if (row_ != 1) return;
    for (uint32_t column = column_; *text && column >= 1 && column <= LCD_COLUMNS; ++column) {
        const uint8_t byte = uint8_t(*text++);
        if (byte < 0x20) return;
        top_row_text_[column - 1] = char(byte);
    }
}

// The characters of the cells a cleared place covered, blanks left out (the
// place may sit over a sign's image); then the icons those cells reached.
void CLCD::RestoreTextUnder(const lcd_rect& place) {
    const uint8_t first = uint8_t(place.x1 / CELL_DOTS + 1),
                  last = uint8_t(place.x2 / CELL_DOTS + 1);
    uint32_t low = 0xFFFF, high = 0;
    const uint8_t column = column_, row = row_;
    for (uint8_t c = first; c <= last && c <= LCD_COLUMNS; ++c) {
        const char character = top_row_text_[c - 1];
        if (character == ' ' || character == '\0' || !TakeWriteMark("CLCD::ClearIcon")) continue;
        column_ = c;
        row_ = 1;
        EmitCursor();
        EmitTextByte(uint8_t(character));
        ReleaseWriteMark();
        low = std::min<uint32_t>(low, uint32_t(c - 1) * CELL_DOTS);
        high = std::max<uint32_t>(high, uint32_t(c) * CELL_DOTS - 1);
    }
    if (high == 0) return;
    column_ = column;
    row_ = row;
    SendCursor();
    RedrawIconsTouching(low, high);
}

void CLCD::RedrawIconsTouching(uint32_t first_dot, uint32_t last_dot) {
    for (size_t i = 0; i < std::size(ICON_CLEARS); ++i) {
        if (shown_icons_[i] == LCD_ICON_COUNT) continue;
        if (ICON_CLEARS[i].x2 < first_dot || ICON_CLEARS[i].x1 > last_dot) continue;
        const lcd_icon_row& icon = LCD_ICONS[shown_icons_[i]];
        Bitmap(icon.x, icon.y, 8, 8, icon.bits);
    }
}

// ---- busy mark ----

uint32_t CLCD::SetBusy() {
    if (!busy_ready_) return OS_OBJECT_ERROR;
    os_status status = os_mutex_get(&busy_mutex_, OS_NO_WAIT);
    if (status != OS_OK) return status;
    if (os_semaphore_get(&busy_units_, OS_NO_WAIT) == OS_OK) Command(LCD_BUSY_ON);
    os_mutex_put(&busy_mutex_);
    return OS_OK;
}

// A unit is returned only while fewer than all are out of the semaphore, so
// that a ClearBusy without its SetBusy cannot push the count past 200 and
// keep the mark from ever going off again.
uint32_t CLCD::ClearBusy() {
    if (!busy_ready_) return OS_OBJECT_ERROR;
    os_status status = os_mutex_get(&busy_mutex_, OS_NO_WAIT);
    if (status != OS_OK) return status;
    uint32_t count = 0;
    os_semaphore_info(&busy_units_, nullptr, &count);
    if (count < BUSY_UNITS && os_semaphore_put(&busy_units_) == OS_OK && count + 1 == BUSY_UNITS)
        Command(LCD_BUSY_OFF);
    os_mutex_put(&busy_mutex_);
    return OS_OK;
}
