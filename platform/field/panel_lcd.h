// The front-panel module on serial port 1, as the host simulates it: one
// decoder of the controller's LCD command stream and the panel's own side of
// the link. It serves the panel emulator (tools/panelterm), the in-process
// tests (as the far end of the UART1 model) and the panel picture (panel.png).
//
// Controller to panel: 0xFE, a command letter and its arguments (a fixed count
// per letter; the bitmap 'd' is followed by (width rounded up to 8) / 8 x height
// data bytes from its rectangle; a tunnelled CAN frame 'A' carries 13 bytes when
// its second byte has bit 0x08 set, else 11). After the letter, 0xFF, b stands
// for b XOR 0x20, unless the panel reported a revision 1-6 (those panels take
// every byte raw). Any other byte is text in the module's character set,
// drawn at the cursor, which then advances (past column 40 to the next row).
//
// The screen: 8 rows of 40 characters over 240 x 64 dots, one 6 x 8 cell per
// character, in the project's own character set (ASCII at 0x20-0x7F and the
// accented letters at 0x80-0x9F; codes below 0x20 and from 0xA0 up draw blank).
//
// Panel to controller: keypad bytes 0x00-0x0F, reports 0xFF code (0xA0 + rev
// revision, 0xB0-0xB9, 0xFF heartbeat) and PS/2 keys as 0xFF 0xBD, the lock
// state (keyboard flag bits: Ctrl 0x01, Alt 0x02, Shift 0x04, right Ctrl 0x08,
// AltGr 0x10, right Shift 0x20, Caps 0x40, Num 0x80), the set-2 make and break
// codes, 0xED.
//
// Host code only; the firmware never includes it.
#pragma once

#include "platform/board/can_controller.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace field {

const int PANEL_COLUMNS = 40;
const int PANEL_ROWS = 8;
const int PANEL_WIDTH = 240;
const int PANEL_HEIGHT = 64;
const int PANEL_CELL_WIDTH = 6;
const int PANEL_CELL_HEIGHT = 8;

// The 6 x 8 cell of a module character: eight pixel rows from the top, most
// significant bit leftmost (bits 7-2).
const uint8_t* panel_glyph(uint8_t code);
// The character a person reads for a module code (UTF-8; " " where none).
std::string panel_character_text(uint8_t code);

// What the panel shows and its lamps.
struct PanelScreen {
    uint8_t text[PANEL_ROWS][PANEL_COLUMNS];
    uint8_t dots[PANEL_HEIGHT][PANEL_WIDTH / 8]; // a bit per dot, most significant leftmost
    int column = 1, row = 1;                     // the module's cursor
    bool lamp = false, busy = false, backlight = false;
    uint8_t backlight_level = 0, contrast = 0;
    uint8_t first_revision = 0, second_revision = 0; // as the panel reported them
    uint32_t keep_alives = 0, status_requests = 0, activity = 0, can_frames = 0;

    PanelScreen();
    bool Dot(int x, int y) const;
    std::string TextRow(int row) const; // module codes of row 1-8
};

class PanelLcd {
  public:
    typedef std::function<void(const uint8_t*, size_t)> Sink;

    PanelLcd();
    // Bytes from the controller, cut anywhere.
    void Feed(const uint8_t* data, size_t size);
    void Feed(const std::vector<uint8_t>& bytes) { Feed(bytes.data(), bytes.size()); }
    // Bytes the panel sent to the controller: its revision reports decide
    // whether data bytes arrive escaped.
    void NoteSent(const uint8_t* data, size_t size);
    // A panel that answers: probe and revision requests get 0xFF 0xA0+revision
    // through `reply` (which NoteSent sees too). Without one the model only
    // watches the stream.
    void Answer(uint8_t revision, Sink reply);
    // Tunnelled CAN frames (the bytes after 0xFE 'A', unescaped), handed over
    // after the model's lock is released.
    void OnCanFrame(std::function<void(const std::vector<uint8_t>&)> sink);
    void Reset();

    PanelScreen Screen();
    // Counts every change of the dots; Changes() every change at all.
    uint64_t DotChanges();
    uint64_t Changes();
    // The dots as a picture: dark on a light screen, 8-bit RGB, 240 x 64.
    std::vector<uint8_t> Rgb();

  private:
    enum class State { Text, Letter, Arguments, BitmapData };
    void Byte(uint8_t byte);
    void Argument(uint8_t byte);
    void Execute();
    void DrawText(uint8_t code);
    void BitmapByte(uint8_t byte);
    void SetDot(int x, int y, bool on);
    void Rectangle(bool filled, bool on, int x1, int y1, int x2, int y2);
    void Reply(const std::vector<uint8_t>& bytes);
    bool Raw() const;

    std::mutex m_;
    PanelScreen screen_;
    State state_ = State::Text;
    bool escape_ = false;
    uint8_t letter_ = 0;
    size_t expected_ = 0;
    std::vector<uint8_t> args_;
    size_t bitmap_left_ = 0, bitmap_index_ = 0;
    bool draw_colour_ = true;
    uint8_t last_sent_ = 0;
    uint8_t revision_ = 0;
    int revisions_reported_ = 0;
    Sink reply_;
    std::function<void(const std::vector<uint8_t>&)> can_sink_;
    uint64_t dot_changes_ = 0, changes_ = 0;
    std::vector<std::vector<uint8_t>> pending_replies_;
    std::vector<std::vector<uint8_t>> pending_can_;
};

// ---- the panel's side of the link ----

const uint8_t PANEL_REPORT = 0xFF;
const uint8_t PANEL_KEYBOARD = 0xBD;
const uint8_t PANEL_KEYBOARD_END = 0xED;

enum panel_report : uint8_t {
    PANEL_REVISION = 0xA0, // + revision 0-15
    PANEL_REINITIALISED = 0xB0,
    PANEL_SWITCH_1 = 0xB1,
    PANEL_SWITCH_2 = 0xB2,
    PANEL_LOCAL = 0xB3,
    PANEL_CENTRAL = 0xB4,
    PANEL_RESET = 0xB5,
    PANEL_CAN_FRAME = 0xB8,
    PANEL_MODE_TOGGLE = 0xB9,
    PANEL_HEARTBEAT = 0xFF,
};

enum panel_keypad : uint8_t {
    PANEL_KEY_ESCAPE = 0x00,
    PANEL_KEY_ENTER = 0x08,
    PANEL_KEY_RIGHT = 0x0C,
    PANEL_KEY_LEFT = 0x0D,
    PANEL_KEY_DOWN = 0x0E,
    PANEL_KEY_UP = 0x0F,
};

// The tunnel of the remote control panel's CAN network. A frame the sign
// sent as 0xFE 'A' (its bytes after the letter) as a CAN frame (false when
// too short); and a frame from the panel's network as the panel reports it:
// 0xFF 0xB8, SIDH SIDL [EID8 EID0] (the chip's register layout), the length
// and its data bytes, each 0xFE as 0xFE 0xDE.
const uint8_t TUNNEL_ESCAPE = 0xFE;
bool panel_tunnel_frame(const std::vector<uint8_t>& args, board::CanFrame& frame);
std::vector<uint8_t> panel_can_report(const board::CanFrame& frame);

// The keypad byte of a digit '0'-'9' (0xFF for anything else).
uint8_t panel_keypad_digit(char digit);
std::vector<uint8_t> panel_report_bytes(uint8_t report);
// One key of the PS/2 keyboard: 0xFF 0xBD lock, make, break, 0xED. An extended
// key's codes carry 0xE0.
std::vector<uint8_t> panel_keyboard_key(uint8_t lock, uint8_t scan, bool extended = false);

// Keys of a US keyboard in scan code set 2.
struct Ps2Key {
    uint8_t scan;
    bool shift;
    bool extended;
};
// The key that types a printable ASCII character (false when none).
bool ps2_key_for_character(char c, Ps2Key& key);
// The key of F1-F12 (n = 1-12).
bool ps2_function_key(int n, Ps2Key& key);

// The model the panel picture is drawn from: everything UART1 sends, and the
// revision reports it receives.
PanelLcd& panel_picture_model();

} // namespace field
