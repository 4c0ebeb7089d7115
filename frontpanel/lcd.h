// The front panel's graphic LCD module, driven over the front-panel serial
// link (UART1). The module is 240 x 64 pixels, used as 8 rows of 40
// characters of 6 x 8 pixels, with bitmaps, rectangles, pixels and 8 x 8
// indicator icons on the same surface, a backlight, a local-control lamp and
// a busy mark. Every command is a byte string that begins with 0xFE; text goes
// out as plain bytes in the module's character set. Each byte sent is also
// copied into the web-LCD mirror's transmit ring when a mirror is attached.
//
// Escaping: after the command's first byte (0xFE), a data byte 0xFE or 0xFF
// travels as 0xFF, byte XOR 0x20, unless the panel reported a revision 1-6
// (those panels take every byte raw). Text bytes are never escaped.
//
// Writers of whole commands and texts hold the write-in-progress mark so that
// the bytes of one never interleave with another's; a writer that finds the
// mark taken tries ten times, giving the processor up in between, and then
// drops its output with a warning.
#pragma once

#include "platform/kernel/kernel.h"

#include <atomic>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <initializer_list>

class CSerialDriver;
class CTCP_Server;

// What the driver asks of the front-panel manager that owns it.
class CLCDOwner {
  public:
    virtual ~CLCDOwner() = default;
    // Non-zero while the panel is being re-initialised: bitmaps stop short.
    virtual uint8_t ReinitCountdown() const = 0;
};

enum lcd_justify : uint8_t {
    LCD_LEFT = 2,
    LCD_CENTRE = 3,
    LCD_RIGHT = 4,
};

enum lcd_geometry : uint8_t {
    LCD_COLUMNS = 40,
    LCD_ROWS = 8,
    LCD_WIDTH_DOTS = 240,
    LCD_HEIGHT_DOTS = 64,
};

// The command letters (each follows 0xFE) and how many argument bytes each
// carries. 'd' (bitmap) carries four and then its data; 'A' (a tunnelled CAN
// frame) carries 11 or 13.
enum lcd_command : uint8_t {
    LCD_CLEAR = 'X',
    LCD_CURSOR = 'G',
    LCD_CONTRAST = 'P',
    LCD_BACKLIGHT_ON = 'B',
    LCD_BACKLIGHT_OFF = 'F',
    LCD_LAMP_ON = 'V',
    LCD_LAMP_OFF = 'W',
    LCD_RECT = 'r',
    LCD_FILL_RECT = 'x',
    LCD_DRAW_COLOUR = 'c',
    LCD_PIXEL = 'p',
    LCD_BITMAP = 'd',
    LCD_KEEP_ALIVE = 0x40,
    LCD_BUSY_OFF = ';',
    LCD_BUSY_ON = '<',
    LCD_PROBE = '6',
    LCD_REQUEST_REVISION = '7',
    LCD_REQUEST_STATUS = '9',
    LCD_ACTIVITY = 'Y',
    LCD_CAN_FRAME = 'A',
};

const uint8_t LCD_COMMAND = 0xFE;
const uint8_t LCD_ESCAPE = 0xFF;
const uint8_t LCD_ESCAPE_XOR = 0x20;

struct lcd_command_row {
    uint8_t letter;
    uint8_t arguments;
    const char* name;
};
// Every command the driver sends, with its argument count.
extern const lcd_command_row LCD_COMMANDS[];
extern const size_t LCD_COMMAND_COUNT;
const lcd_command_row* lcd_find_command(uint8_t letter);

// The module's character for each Latin-1 code 0x80-0xFF (0: none).
extern const uint8_t LCD_CHARACTER_MAP[128];

// The indicator icons: 8 x 8 bitmaps, pixel rows from the top, most
// significant bit leftmost, and the rectangles that clear them.
enum lcd_icon : uint8_t {
    LCD_ICON_LT,
    LCD_ICON_C,
    LCD_ICON_LOCK,
    LCD_ICON_R,
    LCD_ICON_ARROWS,
    LCD_ICON_FLAG,
    LCD_ICON_SIGNAL0,
    LCD_ICON_SIGNAL1,
    LCD_ICON_SIGNAL2,
    LCD_ICON_SIGNAL3,
    LCD_ICON_SIGNAL4,
    LCD_ICON_SIGNAL5,
    LCD_ICON_HOURGLASS1,
    LCD_ICON_HOURGLASS2,
    LCD_ICON_HOURGLASS3,
    LCD_ICON_RIGHT_ARROW, // the login screen's pointer at the Right key
    LCD_ICON_COUNT,
};

struct lcd_icon_row {
    lcd_icon icon;
    uint8_t x, y;
    uint8_t bits[8];
    const char* name;
};
extern const lcd_icon_row LCD_ICONS[LCD_ICON_COUNT];

struct lcd_rect {
    uint8_t x1, y1, x2, y2;
};
// The clears of the icon places, by the x they clear from (0, 8, 16, 216, 224, 232).
bool lcd_icon_clear_rect(uint8_t x, lcd_rect& rect);

class CLCD {
  public:
    CLCD() = default;
    CLCD(const CLCD&) = delete;
    CLCD& operator=(const CLCD&) = delete;

    // Stores both, creates the busy mark's mutex and semaphore and turns the
    // mark off. -> 0; 1 when either is null; 3 when a kernel object cannot be
    // created.
    uint32_t Init(CSerialDriver* serial, CLCDOwner* owner);
    void AttachMirror(CTCP_Server* mirror) { mirror_ = mirror; }

    // Commands.
    void Clear();
    void SendCursor();
    void SetContrast(uint8_t value) { Command(LCD_CONTRAST, {value}); }
    void BacklightOn(uint8_t value) { Command(LCD_BACKLIGHT_ON, {value}); }
    void BacklightOff() { Command(LCD_BACKLIGHT_OFF); }
    void SetLocalIndicator() { Command(LCD_LAMP_ON); }
    void ClearLocalIndicator() { Command(LCD_LAMP_OFF); }
    void DrawRect(uint8_t colour, uint8_t x1, uint8_t y1, uint8_t x2, uint8_t y2) {
        Command(LCD_RECT, {colour, x1, y1, x2, y2});
    }
    void FillRect(uint8_t colour, uint8_t x1, uint8_t y1, uint8_t x2, uint8_t y2) {
        Command(LCD_FILL_RECT, {colour, x1, y1, x2, y2});
    }
    void SetDrawColour(uint8_t colour) { Command(LCD_DRAW_COLOUR, {colour}); }
    void PutPixel(uint8_t x, uint8_t y) { Command(LCD_PIXEL, {x, y}); }
    void SendKeepAlive() { Command(LCD_KEEP_ALIVE); }
    void Probe() { Command(LCD_PROBE); }
    void RequestRevision() { Command(LCD_REQUEST_REVISION); }
    void RequestStatus() { Command(LCD_REQUEST_STATUS); }
    void SignalActivity() { Command(LCD_ACTIVITY); }

    // A whole command: tried ten times while another write is in progress,
    // then dropped with a warning.
    void WriteCommand(const uint8_t* bytes, size_t length);
    // -> 1 written; 0 refused while another write is in progress.
    int WriteBytes(const uint8_t* bytes, size_t length);
    void WriteDataByte(uint8_t byte);
    void WriteRawByte(uint8_t byte);

    // Text.
    void SendString(const char* text);
    void SendChar(char character);
    void SetCursor(uint8_t column, uint8_t row, bool send);
    uint8_t GetColumn() const { return column_; }
    uint8_t GetRow() const { return row_; }
    void NewLine();
    void CarriageReturn();
    void Backspace(uint8_t limit);
    void ClearLine(uint8_t row);
    void ClearToEndOfLine(uint8_t row, uint8_t column);
    void PrintRowCol(uint8_t row, uint8_t column, const char* format, ...)
        __attribute__((format(printf, 4, 5)));
    void PrintAt(uint8_t row, uint8_t column, uint8_t justify, const char* format, ...)
        __attribute__((format(printf, 5, 6)));
    void PrintLine(uint8_t row, uint8_t justify, const char* format, ...)
        __attribute__((format(printf, 4, 5)));
    void Print(uint8_t row, uint8_t justify, const char* format, ...)
        __attribute__((format(printf, 4, 5)));

    // -> 0 sent; 2 not sent or cut short (another write, a re-initialisation).
    int Bitmap(uint8_t x, uint8_t y, uint8_t width, uint8_t height, const uint8_t* data);
    // The icons of the indicator row (and the login screen's arrow).
    int DrawIcon(lcd_icon icon);
    // Clears the icon place that starts at x (0, 8, 16, 216, 224 or 232);
    // the row-1 text under it comes back, and an icon shown beside it that
    // the text reached is drawn again.
    void ClearIcon(uint8_t x);

    // The busy mark: each SetBusy takes a unit and shows the mark; the mark
    // goes off when the last unit returns. -> 0 or the mutex's status.
    uint32_t SetBusy();
    uint32_t ClearBusy();

    // The panel's revision reports (0 = not yet reported).
    void SetRevisions(uint8_t first, uint8_t second) {
        revision_first_ = first;
        revision_second_ = second;
    }
    uint8_t FirstRevision() const { return revision_first_; }
    uint8_t SecondRevision() const { return revision_second_; }

    // Set by Clear and by any text written over an icon's place on row 1;
    // the manager reads and resets it.
    uint8_t top_row_wiped = 0;

    static const uint32_t BUSY_UNITS = 200;
    static const size_t TEXT_BYTES = 200;
    static const int WRITE_TRIES = 10;

  private:
    void Command(uint8_t letter, std::initializer_list<uint8_t> arguments = {});
    bool TakeWriteMark(const char* writer);
    void ReleaseWriteMark() {
        FlushOutput();
        write_in_progress_.store(0);
    }
    void FlushOutput();
    bool EscapesData() const;
    void EmitCursor();
    void MarkIconsOverwritten(size_t length);
    void NoteTopRowText(const char* text);
    void RestoreTextUnder(const lcd_rect& place);
    void RedrawIconsTouching(uint32_t first_dot, uint32_t last_dot);
    void EmitText(const char* text);
    void EmitTextByte(uint8_t byte);
    void AdvanceRow();
    void EmitBackspace(uint8_t limit);
    bool Format(char (&text)[TEXT_BYTES], const char* writer, const char* format, va_list args);
    void SendFormatted(uint8_t row, uint8_t column, const char* text);

    uint8_t column_ = 1, row_ = 1;
    // What row 1 holds in text (as sent), and the icon shown in each icon
    // place (LCD_ICON_COUNT: none).
    char top_row_text_[LCD_COLUMNS] = {};
    uint8_t shown_icons_[6] = {LCD_ICON_COUNT, LCD_ICON_COUNT, LCD_ICON_COUNT,
                               LCD_ICON_COUNT, LCD_ICON_COUNT, LCD_ICON_COUNT};
    std::atomic<uint8_t> write_in_progress_{0};
    // The port's bytes of the write in progress, sent as one block when it
    // ends or the buffer is full (a byte at a time costs an interrupt each).
    static const size_t OUTPUT_BYTES = 64;
    uint8_t output_[OUTPUT_BYTES] = {};
    size_t output_count_ = 0;
    CSerialDriver* serial_ = nullptr;
    CTCP_Server* mirror_ = nullptr;
    CLCDOwner* owner_ = nullptr;
    uint8_t revision_first_ = 0, revision_second_ = 0;
    TX_MUTEX busy_mutex_{};
    TX_SEMAPHORE busy_units_{};
    bool busy_ready_ = false;
};
