// The front-panel module's model (see panel_lcd.h).
#include "platform/field/panel_lcd.h"

#include <algorithm>
#include <cstring>

namespace field {

namespace {

const uint8_t COMMAND = 0xFE;
const uint8_t ESCAPE = 0xFF;
const uint8_t ESCAPE_XOR = 0x20;
const uint8_t CAN_EXTENDED_BIT = 0x08;
const size_t CAN_STANDARD_BYTES = 11, CAN_EXTENDED_BYTES = 13;

// The command letters the panel knows and their argument counts.
struct command_row {
    uint8_t letter;
    uint8_t arguments;
};
const command_row COMMANDS[] = {
    {'X', 0}, {'G', 2}, {'P', 1}, {'B', 1}, {'F', 0}, {'V', 0},  {'W', 0},
    {'r', 5}, {'x', 5}, {'c', 1}, {'p', 2}, {'d', 4}, {0x40, 0}, {';', 0},
    {'<', 0}, {'6', 0}, {'7', 0}, {'9', 0}, {'Y', 0}, {'A', 2},
};

const command_row* find_command(uint8_t letter) {
    for (const command_row& row : COMMANDS)
        if (row.letter == letter) return &row;
    return nullptr;
}

const uint8_t LIT[3] = {0x24, 0x30, 0x24};
const uint8_t UNLIT[3] = {0xB8, 0xCC, 0x8C};

} // namespace

PanelScreen::PanelScreen() {
    std::memset(text, ' ', sizeof text);
    std::memset(dots, 0, sizeof dots);
}

bool PanelScreen::Dot(int x, int y) const {
    if (x < 0 || y < 0 || x >= PANEL_WIDTH || y >= PANEL_HEIGHT) return false;
    return dots[y][x / 8] & (0x80 >> (x % 8));
}

std::string PanelScreen::TextRow(int r) const {
    if (r < 1 || r > PANEL_ROWS) return std::string();
    return std::string(reinterpret_cast<const char*>(text[r - 1]), PANEL_COLUMNS);
}

PanelLcd::PanelLcd() = default;

void PanelLcd::Reset() {
    std::lock_guard<std::mutex> lock(m_);
    screen_ = PanelScreen();
    state_ = State::Text;
    escape_ = false;
    args_.clear();
    last_sent_ = 0;
    revisions_reported_ = 0;
    pending_can_.clear();
    draw_colour_ = true;
    changes_++;
    dot_changes_++;
}

void PanelLcd::Answer(uint8_t revision, Sink reply) {
    std::lock_guard<std::mutex> lock(m_);
    revision_ = uint8_t(revision & 0x0F);
    reply_ = std::move(reply);
}

void PanelLcd::OnCanFrame(std::function<void(const std::vector<uint8_t>&)> sink) {
    std::lock_guard<std::mutex> lock(m_);
    can_sink_ = std::move(sink);
}

PanelScreen PanelLcd::Screen() {
    std::lock_guard<std::mutex> lock(m_);
    return screen_;
}

uint64_t PanelLcd::DotChanges() {
    std::lock_guard<std::mutex> lock(m_);
    return dot_changes_;
}

uint64_t PanelLcd::Changes() {
    std::lock_guard<std::mutex> lock(m_);
    return changes_;
}

std::vector<uint8_t> PanelLcd::Rgb() {
    PanelScreen screen = Screen();
    std::vector<uint8_t> rgb;
    rgb.reserve(size_t(PANEL_WIDTH) * PANEL_HEIGHT * 3);
    for (int y = 0; y < PANEL_HEIGHT; y++)
        for (int x = 0; x < PANEL_WIDTH; x++) {
            const uint8_t* colour = screen.Dot(x, y) ? LIT : UNLIT;
            rgb.insert(rgb.end(), colour, colour + 3);
        }
    return rgb;
}

// Panels of revision 1-6 take every byte raw.
bool PanelLcd::Raw() const {
    auto raw = [](uint8_t revision) { return revision >= 1 && revision <= 6; };
    return raw(screen_.first_revision) || raw(screen_.second_revision);
}

void PanelLcd::NoteSent(const uint8_t* data, size_t size) {
    std::lock_guard<std::mutex> lock(m_);
    for (size_t i = 0; i < size; i++) {
        uint8_t byte = data[i];
        bool report = last_sent_ == ESCAPE;
        last_sent_ = report ? 0 : byte;
        if (!report || (byte & 0xF0) != PANEL_REVISION) continue;
        uint8_t revision = byte & 0x0F;
        if (revisions_reported_++ == 0)
            screen_.first_revision = revision;
        else
            screen_.second_revision = revision;
        changes_++;
    }
}

void PanelLcd::Feed(const uint8_t* data, size_t size) {
    std::vector<std::vector<uint8_t>> replies, frames;
    Sink reply;
    std::function<void(const std::vector<uint8_t>&)> can_sink;
    {
        std::lock_guard<std::mutex> lock(m_);
        uint64_t dots_before = dot_changes_;
        for (size_t i = 0; i < size; i++)
            Byte(data[i]);
        if (dot_changes_ != dots_before) dot_changes_ = dots_before + 1;
        replies.swap(pending_replies_);
        frames.swap(pending_can_);
        reply = reply_;
        can_sink = can_sink_;
    }
    // Outside the lock: a sink may read the screen.
    for (const std::vector<uint8_t>& frame : frames)
        can_sink(frame);
    for (const std::vector<uint8_t>& bytes : replies) {
        NoteSent(bytes.data(), bytes.size());
        if (reply) reply(bytes.data(), bytes.size());
    }
}

void PanelLcd::Byte(uint8_t byte) {
    bool escaped = !Raw();
    if (state_ == State::Text) {
        if (byte == COMMAND)
            state_ = State::Letter;
        else if (byte != ESCAPE)
            DrawText(byte);
        return;
    }
    if (escaped && byte == COMMAND) { // a command cut short: the next one begins
        escape_ = false;
        state_ = State::Letter;
        return;
    }
    if (escaped && !escape_ && byte == ESCAPE) {
        escape_ = true;
        return;
    }
    if (escape_) byte ^= ESCAPE_XOR;
    escape_ = false;
    if (state_ == State::Letter) {
        const command_row* command = find_command(byte);
        state_ = State::Arguments;
        letter_ = byte;
        args_.clear();
        expected_ = command ? command->arguments : 0;
        if (!command) state_ = State::Text;
        if (command && expected_ == 0) Execute();
        return;
    }
    if (state_ == State::BitmapData) return BitmapByte(byte);
    Argument(byte);
}

void PanelLcd::Argument(uint8_t byte) {
    args_.push_back(byte);
    if (letter_ == 'A' && args_.size() == 2)
        expected_ = (byte & CAN_EXTENDED_BIT) ? CAN_EXTENDED_BYTES : CAN_STANDARD_BYTES;
    if (args_.size() >= expected_) Execute();
}

void PanelLcd::SetDot(int x, int y, bool on) {
    if (x < 0 || y < 0 || x >= PANEL_WIDTH || y >= PANEL_HEIGHT) return;
    uint8_t& cell = screen_.dots[y][x / 8];
    uint8_t bit = uint8_t(0x80 >> (x % 8));
    uint8_t next = on ? uint8_t(cell | bit) : uint8_t(cell & ~bit);
    if (next == cell) return;
    cell = next;
    dot_changes_++;
}

void PanelLcd::Rectangle(bool filled, bool on, int x1, int y1, int x2, int y2) {
    if (x1 > x2) std::swap(x1, x2);
    if (y1 > y2) std::swap(y1, y2);
    for (int y = y1; y <= y2; y++)
        for (int x = x1; x <= x2; x++)
            if (filled || y == y1 || y == y2 || x == x1 || x == x2) SetDot(x, y, on);
    if (!filled) return;
    // Characters whose whole cell the rectangle covers are gone.
    for (int r = 0; r < PANEL_ROWS; r++)
        for (int c = 0; c < PANEL_COLUMNS; c++) {
            int cx = c * PANEL_CELL_WIDTH, cy = r * PANEL_CELL_HEIGHT;
            if (cx >= x1 && cx + PANEL_CELL_WIDTH - 1 <= x2 && cy >= y1 &&
                cy + PANEL_CELL_HEIGHT - 1 <= y2)
                screen_.text[r][c] = ' ';
        }
}

void PanelLcd::DrawText(uint8_t code) {
    int column = screen_.column, row = screen_.row;
    if (column >= 1 && column <= PANEL_COLUMNS && row >= 1 && row <= PANEL_ROWS) {
        screen_.text[row - 1][column - 1] = code;
        const uint8_t* glyph = panel_glyph(code);
        int x0 = (column - 1) * PANEL_CELL_WIDTH, y0 = (row - 1) * PANEL_CELL_HEIGHT;
        for (int y = 0; y < PANEL_CELL_HEIGHT; y++)
            for (int x = 0; x < PANEL_CELL_WIDTH; x++)
                SetDot(x0 + x, y0 + y, glyph[y] & (0x80 >> x));
    }
    screen_.column = column + 1;
    if (screen_.column > PANEL_COLUMNS) {
        screen_.column = 1;
        screen_.row = row >= PANEL_ROWS ? 1 : row + 1;
    }
    changes_++;
}

void PanelLcd::BitmapByte(uint8_t byte) {
    int x1 = args_[0], y1 = args_[1], x2 = args_[2];
    int row_bytes = (x2 - x1 + 1 + 7) / 8;
    int x0 = x1 + int(bitmap_index_ % size_t(row_bytes)) * 8;
    int y = y1 + int(bitmap_index_ / size_t(row_bytes));
    for (int bit = 0; bit < 8; bit++)
        if (x0 + bit <= x2) SetDot(x0 + bit, y, byte & (0x80 >> bit));
    bitmap_index_++;
    changes_++;
    if (--bitmap_left_ == 0) state_ = State::Text;
}

void PanelLcd::Reply(const std::vector<uint8_t>& bytes) {
    if (reply_) pending_replies_.push_back(bytes);
}

void PanelLcd::Execute() {
    state_ = State::Text;
    changes_++;
    const std::vector<uint8_t>& a = args_;
    bool on = !a.empty() && a[0] != 0;
    switch (letter_) {
    case 'X':
        screen_.column = screen_.row = 1;
        std::memset(screen_.text, ' ', sizeof screen_.text);
        return Rectangle(true, false, 0, 0, PANEL_WIDTH - 1, PANEL_HEIGHT - 1);
    case 'G':
        screen_.column = a[0];
        screen_.row = a[1];
        return;
    case 'P':
        screen_.contrast = a[0];
        return;
    case 'B':
        screen_.backlight = true;
        screen_.backlight_level = a[0];
        return;
    case 'F':
        screen_.backlight = false;
        return;
    case 'V':
    case 'W':
        screen_.lamp = letter_ == 'V';
        return;
    case 'r':
    case 'x':
        return Rectangle(letter_ == 'x', on, a[1], a[2], a[3], a[4]);
    case 'c':
        draw_colour_ = on;
        return;
    case 'p':
        return SetDot(a[0], a[1], draw_colour_);
    case 'd': {
        int width = a[2] - a[0] + 1, height = a[3] - a[1] + 1;
        if (width <= 0 || height <= 0) return;
        bitmap_left_ = size_t((width + 7) / 8) * size_t(height);
        bitmap_index_ = 0;
        state_ = State::BitmapData;
        return;
    }
    case 0x40:
        screen_.keep_alives++;
        return;
    case ';':
    case '<':
        screen_.busy = letter_ == '<';
        return;
    case '6':
    case '7':
        return Reply({PANEL_REPORT, uint8_t(PANEL_REVISION | revision_)});
    case '9':
        screen_.status_requests++;
        return;
    case 'Y':
        screen_.activity++;
        return;
    case 'A':
        screen_.can_frames++;
        if (can_sink_) pending_can_.push_back(a);
        return;
    }
}

// ---- the panel's side ----

uint8_t panel_keypad_digit(char digit) {
    static const uint8_t KEYPAD[10] = {0x04, 0x03, 0x07, 0x0B, 0x02, 0x06, 0x0A, 0x01, 0x05, 0x09};
    return digit >= '0' && digit <= '9' ? KEYPAD[digit - '0'] : 0xFF;
}

std::vector<uint8_t> panel_report_bytes(uint8_t report) {
    return {PANEL_REPORT, report};
}

std::vector<uint8_t> panel_keyboard_key(uint8_t lock, uint8_t scan, bool extended) {
    std::vector<uint8_t> bytes = {PANEL_REPORT, PANEL_KEYBOARD, lock};
    if (extended) bytes.push_back(0xE0);
    bytes.push_back(scan);
    if (extended) bytes.push_back(0xE0);
    bytes.insert(bytes.end(), {0xF0, scan, PANEL_KEYBOARD_END});
    return bytes;
}

namespace {

// A US keyboard's character keys: scan code, unshifted, shifted.
struct us_key {
    uint8_t scan;
    char plain, shifted;
};
const us_key US_KEYS[] = {
    {0x0E, '`', '~'}, {0x15, 'q', 'Q'}, {0x16, '1', '!'},  {0x1A, 'z', 'Z'},  {0x1B, 's', 'S'},
    {0x1C, 'a', 'A'}, {0x1D, 'w', 'W'}, {0x1E, '2', '@'},  {0x21, 'c', 'C'},  {0x22, 'x', 'X'},
    {0x23, 'd', 'D'}, {0x24, 'e', 'E'}, {0x25, '4', '$'},  {0x26, '3', '#'},  {0x29, ' ', ' '},
    {0x2A, 'v', 'V'}, {0x2B, 'f', 'F'}, {0x2C, 't', 'T'},  {0x2D, 'r', 'R'},  {0x2E, '5', '%'},
    {0x31, 'n', 'N'}, {0x32, 'b', 'B'}, {0x33, 'h', 'H'},  {0x34, 'g', 'G'},  {0x35, 'y', 'Y'},
    {0x36, '6', '^'}, {0x3A, 'm', 'M'}, {0x3B, 'j', 'J'},  {0x3C, 'u', 'U'},  {0x3D, '7', '&'},
    {0x3E, '8', '*'}, {0x41, ',', '<'}, {0x42, 'k', 'K'},  {0x43, 'i', 'I'},  {0x44, 'o', 'O'},
    {0x45, '0', ')'}, {0x46, '9', '('}, {0x49, '.', '>'},  {0x4A, '/', '?'},  {0x4B, 'l', 'L'},
    {0x4C, ';', ':'}, {0x4D, 'p', 'P'}, {0x4E, '-', '_'},  {0x52, '\'', '"'}, {0x54, '[', '{'},
    {0x55, '=', '+'}, {0x5B, ']', '}'}, {0x5D, '\\', '|'},
};

const uint8_t FUNCTION_KEYS[12] = {0x05, 0x06, 0x04, 0x0C, 0x03, 0x0B,
                                   0x83, 0x0A, 0x01, 0x09, 0x78, 0x07};

} // namespace

bool ps2_key_for_character(char c, Ps2Key& key) {
    for (const us_key& k : US_KEYS)
        if (k.plain == c || k.shifted == c) {
            key = Ps2Key{k.scan, k.plain != c, false};
            return true;
        }
    return false;
}

bool ps2_function_key(int n, Ps2Key& key) {
    if (n < 1 || n > 12) return false;
    key = Ps2Key{FUNCTION_KEYS[n - 1], false, false};
    return true;
}

PanelLcd& panel_picture_model() {
    static PanelLcd model;
    return model;
}

} // namespace field

namespace field {

bool panel_tunnel_frame(const std::vector<uint8_t>& args, board::CanFrame& frame) {
    frame = board::CanFrame();
    if (args.size() < 2) return false;
    frame.extended = (args[1] & 0x08) != 0;
    const size_t header = frame.extended ? 4 : 2;
    if (args.size() < header + 1 + 8) return false;
    if (frame.extended) {
        frame.id = uint32_t(args[0]) << 21 | uint32_t(args[1] >> 5) << 18 |
                   uint32_t(args[1] & 7) << 15 | uint32_t(args[2]) << 7 | uint32_t(args[3] >> 1);
        frame.remote = (args[3] & 1) != 0;
    } else {
        frame.id = uint32_t(args[0]) << 3 | uint32_t(args[1] >> 5);
        frame.remote = (args[1] & 0x10) != 0;
    }
    frame.dlc = args[header] & 0x0F;
    std::copy(args.begin() + long(header) + 1, args.begin() + long(header) + 9, frame.data);
    return true;
}

std::vector<uint8_t> panel_can_report(const board::CanFrame& frame) {
    std::vector<uint8_t> raw;
    if (frame.extended) {
        raw = {uint8_t(frame.id >> 21),
               uint8_t((frame.id >> 18 & 7) << 5 | 0x08 | (frame.id >> 15 & 7)),
               uint8_t(frame.id >> 7), uint8_t((frame.id & 0x7F) << 1)};
    } else {
        raw = {uint8_t(frame.id >> 3), uint8_t((frame.id & 7) << 5)};
    }
    const uint8_t length = frame.dlc > 8 ? 8 : frame.dlc;
    raw.push_back(length);
    raw.insert(raw.end(), frame.data, frame.data + length);
    std::vector<uint8_t> bytes = {PANEL_REPORT, PANEL_CAN_FRAME};
    for (uint8_t byte : raw) {
        if (byte == TUNNEL_ESCAPE) {
            bytes.push_back(TUNNEL_ESCAPE);
            bytes.push_back(uint8_t(byte ^ 0x20));
        } else {
            bytes.push_back(byte);
        }
    }
    return bytes;
}

} // namespace field
