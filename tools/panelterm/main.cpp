// panelterm: the sign's front-panel module in a terminal.
//
//   panelterm [--rev N] [--watch] LINK
//
// LINK is the panel's serial line: a pseudo-terminal path (state/uart1 of a
// running sign-controller), tcp:HOST:PORT (a UART served on TCP) or, with
// --watch, the web-LCD mirror's TCP port. The LCD command stream is decoded by
// the panel model the sign's own picture uses; the screen shows the 8 rows of
// 40 characters each between two frame characters, an indicator line (icons,
// local lamp, busy mark, backlight, revision) and, on Alt-v, the 240 x 64
// dots in braille. The panel answers the probe and the revision request with
// 0xFF 0xA0+N (--rev N, default 7) and sends the heartbeat 0xFF 0xFF every
// 10 s. With --watch it answers nothing, sends only keys, and reads the
// stream as a panel of revision N would.
//
// Keys: digits, Enter, Esc and the arrows are the keypad; letters, F1-F12,
// Ctrl, Tab, Backspace and punctuation go out as the PS/2 keyboard; Alt-l
// local, Alt-c central, Alt-m mode toggle, Alt-1/Alt-2 panel switch, Alt-i
// panel re-initialised, Alt-v dots, Alt-q quit. When LINK goes away (a
// restarting sign) the panel opens it again; a link in a state directory that
// no sign holds any more is not opened (it may lead to another sign's pty).
#include "frontpanel/lcd.h"
#include "platform/field/panel_lcd.h"
#include "tools/tool_help.h"

#include <arpa/inet.h>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <curses.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <string>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

const int HEARTBEAT_MS = 10000;
const int REOPEN_MS = 500;
const int ALT_KEYS_TIMEOUT_MS = 25;
const char FRAME = '|';

struct Options {
    std::string link;
    int revision = 7;
    bool watch = false;
};

long long now_ms() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (long long)t.tv_sec * 1000 + t.tv_nsec / 1000000;
}

// ---- the link ----

int open_tcp(const std::string& spec) {
    size_t colon = spec.rfind(':');
    if (colon == std::string::npos || colon < 4) return -1;
    std::string host = spec.substr(4, colon - 4), port = spec.substr(colon + 1);
    addrinfo hints{}, *found = nullptr;
    hints.ai_socktype = SOCK_STREAM;
    if (getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0) return -1;
    int fd = -1;
    for (addrinfo* a = found; a && fd < 0; a = a->ai_next) {
        fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, 0);
        if (fd >= 0 && connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
            close(fd);
            fd = -1;
        }
    }
    freeaddrinfo(found);
    return fd;
}

// A link in a sign's state directory (one with a `lock` file) is the sign's
// only while a sign-controller holds that lock: a link a killed sign left
// behind may point at a pty number the host has given to another program
// since, another sign among them.
bool left_by_a_stopped_sign(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return false;
    const size_t slash = path.rfind('/');
    const std::string lock = (slash == std::string::npos ? "" : path.substr(0, slash + 1)) + "lock";
    int fd = open(lock.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false; // not a sign's state directory
    const bool nobody_holds_it = flock(fd, LOCK_SH | LOCK_NB) == 0;
    close(fd);
    return nobody_holds_it;
}

int open_pty(const std::string& path) {
    if (left_by_a_stopped_sign(path)) return -1;
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return -1;
    termios t{};
    if (tcgetattr(fd, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(fd, TCSANOW, &t);
    }
    return fd;
}

int open_link(const std::string& link) {
    return link.rfind("tcp:", 0) == 0 ? open_tcp(link) : open_pty(link);
}

class Link {
  public:
    explicit Link(std::string spec) : spec_(std::move(spec)) {}
    ~Link() { Close(); }
    bool Open() {
        if (fd_ < 0) fd_ = open_link(spec_);
        return fd_ >= 0;
    }
    void Close() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }
    int Fd() const { return fd_; }
    void Send(const uint8_t* data, size_t size) {
        while (fd_ >= 0 && size > 0) {
            ssize_t n = write(fd_, data, size);
            if (n <= 0) return Close();
            data += n;
            size -= size_t(n);
        }
    }
    void Send(const std::vector<uint8_t>& bytes) { Send(bytes.data(), bytes.size()); }

  private:
    std::string spec_;
    int fd_ = -1;
};

// ---- the screen ----

// The indicator icons the dots show at their places.
std::string icons_shown(const field::PanelScreen& screen) {
    std::string shown;
    for (const lcd_icon_row& icon : LCD_ICONS) {
        bool same = true;
        for (int y = 0; y < 8 && same; y++)
            for (int x = 0; x < 8 && same; x++)
                same = screen.Dot(icon.x + x, icon.y + y) == bool(icon.bits[y] & (0x80 >> x));
        if (same) shown += std::string(shown.empty() ? "" : " ") + icon.name;
    }
    return shown.empty() ? "-" : shown;
}

// 2 x 4 dots a braille character (U+2800 + dot bits).
std::string braille(const field::PanelScreen& screen, int cx, int cy) {
    static const int BIT[4][2] = {{0x01, 0x08}, {0x02, 0x10}, {0x04, 0x20}, {0x40, 0x80}};
    int bits = 0;
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 2; x++)
            if (screen.Dot(cx * 2 + x, cy * 4 + y)) bits |= BIT[y][x];
    unsigned code = 0x2800u + unsigned(bits);
    return {char(0xE0 | (code >> 12)), char(0x80 | ((code >> 6) & 0x3F)),
            char(0x80 | (code & 0x3F))};
}

const char* const HELP[] = {
    "keypad: numeric keypad 0-9, Enter Esc arrows   keyboard: letters digits F1-F12 Ctrl Tab",
    "Alt-l local  Alt-c central  Alt-m mode  Alt-1/2 switch  Alt-i reinit  Alt-v dots  Alt-q quit",
};
const int HELP_ROW = 10, DOTS_ROW = 13;

void draw(field::PanelLcd& model, const Options& options, bool connected, bool dots) {
    field::PanelScreen screen = model.Screen();
    erase();
    mvprintw(0, 0, "front panel on %s%s%s", options.link.c_str(), options.watch ? " (watch)" : "",
             connected ? ""
             : left_by_a_stopped_sign(options.link)
                 ? " - no sign runs there: a link left by a stopped sign"
                 : " - waiting for the link");
    for (int row = 1; row <= field::PANEL_ROWS; row++) {
        std::string line(1, FRAME);
        for (int column = 0; column < field::PANEL_COLUMNS; column++)
            line += field::panel_character_text(screen.text[row - 1][column]);
        line += FRAME;
        mvaddstr(row, 0, line.c_str());
    }
    mvprintw(9, 0, "icons: %s | lamp %s | %s | backlight %s %u | rev %u/%u",
             icons_shown(screen).c_str(), screen.lamp ? "LOCAL" : "central",
             screen.busy ? "BUSY" : "idle", screen.backlight ? "on" : "off",
             unsigned(screen.backlight_level), unsigned(screen.first_revision),
             unsigned(screen.second_revision));
    for (int i = 0; i < 2; i++)
        mvaddstr(HELP_ROW + i, 0, HELP[i]);
    if (dots)
        for (int cy = 0; cy < field::PANEL_HEIGHT / 4; cy++) {
            std::string line;
            for (int cx = 0; cx < field::PANEL_WIDTH / 2; cx++)
                line += braille(screen, cx, cy);
            mvaddstr(DOTS_ROW + cy, 0, line.c_str());
        }
    refresh();
}

// ---- keys ----

struct AltAction {
    int key;
    uint8_t report; // 0: a host action
};
const AltAction ALT_KEYS[] = {
    {'l', field::PANEL_LOCAL},    {'c', field::PANEL_CENTRAL},  {'m', field::PANEL_MODE_TOGGLE},
    {'1', field::PANEL_SWITCH_1}, {'2', field::PANEL_SWITCH_2}, {'i', field::PANEL_REINITIALISED},
};

struct KeypadKey {
    int key;
    uint8_t byte;
};
const KeypadKey KEYPAD_KEYS[] = {
    {'\n', field::PANEL_KEY_ENTER},      {'\r', field::PANEL_KEY_ENTER},
    {KEY_ENTER, field::PANEL_KEY_ENTER}, {27, field::PANEL_KEY_ESCAPE},
    {KEY_UP, field::PANEL_KEY_UP},       {KEY_DOWN, field::PANEL_KEY_DOWN},
    {KEY_LEFT, field::PANEL_KEY_LEFT},   {KEY_RIGHT, field::PANEL_KEY_RIGHT},
};

// The numeric keypad's digits are the panel's keypad. In application keypad
// mode (which keypad() asks of the terminal) they arrive as ESC O p to ESC O
// y, or as the curses keys the terminal description names for some of them.
const KeypadKey KEYPAD_DIGITS[] = {
    {KEY_A1, '7'}, {KEY_A3, '9'}, {KEY_B2, '5'}, {KEY_C1, '1'}, {KEY_C3, '3'},
};
const int APPLICATION_KEYPAD_ZERO = 'p', APPLICATION_KEYPAD_ENTER = 'M';

std::vector<uint8_t> application_keypad_bytes(int key) {
    if (key >= APPLICATION_KEYPAD_ZERO && key <= APPLICATION_KEYPAD_ZERO + 9)
        return {field::panel_keypad_digit(char('0' + key - APPLICATION_KEYPAD_ZERO))};
    if (key == APPLICATION_KEYPAD_ENTER) return {field::PANEL_KEY_ENTER};
    return {};
}

const uint8_t LOCK_CTRL = 0x01, LOCK_SHIFT = 0x04;
const uint8_t SCAN_BACKSPACE = 0x66, SCAN_TAB = 0x0D;

// The bytes one key sends (empty: none). The PC's digit keys are the PS/2
// keyboard's: a digit typed twice is the digit twice, never a multi-tap.
std::vector<uint8_t> key_bytes(int key) {
    for (const KeypadKey& k : KEYPAD_DIGITS)
        if (k.key == key) return {field::panel_keypad_digit(char(k.byte))};
    for (const KeypadKey& k : KEYPAD_KEYS)
        if (k.key == key) return {k.byte};
    field::Ps2Key ps2{};
    if (key >= KEY_F(1) && key <= KEY_F(12) && field::ps2_function_key(key - KEY_F(0), ps2))
        return field::panel_keyboard_key(0, ps2.scan);
    if (key == KEY_BACKSPACE || key == 127 || key == 8)
        return field::panel_keyboard_key(0, SCAN_BACKSPACE);
    if (key == '\t') return field::panel_keyboard_key(0, SCAN_TAB);
    if (key >= 1 && key <= 26 && field::ps2_key_for_character(char('a' + key - 1), ps2))
        return field::panel_keyboard_key(LOCK_CTRL, ps2.scan);
    if (key >= 32 && key < 127 && field::ps2_key_for_character(char(key), ps2))
        return field::panel_keyboard_key(ps2.shift ? LOCK_SHIFT : 0, ps2.scan);
    return {};
}

class Terminal {
  public:
    Terminal(const Options& options) : options_(options), link_(options.link) {}

    int Run() {
        if (options_.watch) {
            // The mirror carries what the panel gets: read it as a panel of
            // the given revision would.
            std::vector<uint8_t> report =
                field::panel_report_bytes(uint8_t(field::PANEL_REVISION | options_.revision));
            model_.NoteSent(report.data(), report.size());
        } else {
            model_.Answer(uint8_t(options_.revision),
                          [this](const uint8_t* data, size_t size) { link_.Send(data, size); });
        }
        long long heartbeat = now_ms() + HEARTBEAT_MS, reopen = 0;
        draw(model_, options_, link_.Open(), dots_);
        while (!quit_) {
            if (link_.Fd() < 0 && now_ms() >= reopen) {
                reopen = now_ms() + REOPEN_MS;
                link_.Open();
                Redraw();
            }
            if (!options_.watch && now_ms() >= heartbeat) {
                heartbeat = now_ms() + HEARTBEAT_MS;
                link_.Send(field::panel_report_bytes(field::PANEL_HEARTBEAT));
            }
            Wait();
        }
        return 0;
    }

  private:
    void Redraw() { draw(model_, options_, link_.Fd() >= 0, dots_); }

    void Wait() {
        pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {link_.Fd(), POLLIN, 0}};
        int n = poll(fds, link_.Fd() >= 0 ? 2 : 1, 100);
        if (n <= 0) return;
        if (fds[0].revents & POLLIN) Keys();
        if (link_.Fd() >= 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) Receive();
    }

    void Receive() {
        uint8_t buffer[512];
        ssize_t n = read(link_.Fd(), buffer, sizeof buffer);
        if (n <= 0) {
            link_.Close();
        } else {
            model_.Feed(buffer, size_t(n));
        }
        Redraw();
    }

    void Keys() {
        for (int key = getch(); key != ERR; key = getch()) {
            if (key == 27) {
                int next = getch();
                if (next == 'O') {
                    std::vector<uint8_t> bytes = application_keypad_bytes(getch());
                    if (!bytes.empty()) link_.Send(bytes);
                    continue;
                }
                if (next != ERR) {
                    Alt(next);
                    continue;
                }
            }
            if (key == KEY_RESIZE) Redraw();
            std::vector<uint8_t> bytes = key_bytes(key);
            if (!bytes.empty()) link_.Send(bytes);
        }
    }

    void Alt(int key) {
        if (key == 'q') quit_ = true;
        if (key == 'v') {
            dots_ = !dots_;
            Redraw();
        }
        for (const AltAction& action : ALT_KEYS)
            if (action.key == key && !options_.watch)
                link_.Send(field::panel_report_bytes(action.report));
    }

    Options options_;
    Link link_;
    field::PanelLcd model_;
    bool dots_ = false;
    bool quit_ = false;
};

const char USAGE[] = "usage: panelterm [--rev N] [--watch] LINK\n"
                     "  LINK: a pseudo-terminal (state/uart1) or tcp:HOST:PORT\n";

bool parse(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        if (arg == "--watch")
            options.watch = true;
        else if (arg == "--rev" && i + 1 < argc) {
            char* end = nullptr;
            long revision = std::strtol(argv[++i], &end, 10);
            if (!end || *end || revision < 0 || revision > 15) return false;
            options.revision = int(revision);
        } else if (arg.rfind("--", 0) == 0 || !options.link.empty())
            return false;
        else
            options.link = arg;
    }
    return !options.link.empty();
}

} // namespace

int main(int argc, char** argv) {
    if (tools::help_asked(argc, argv)) return tools::usage_asked(USAGE);
    Options options;
    if (!parse(argc, argv, options)) return tools::usage_refused(USAGE);
    std::signal(SIGPIPE, SIG_IGN);
    std::setlocale(LC_ALL, "");
    setenv("ESCDELAY", std::to_string(ALT_KEYS_TIMEOUT_MS).c_str(), 0);
    initscr();
    raw();
    noecho();
    keypad(stdscr, TRUE);
    nodelay(stdscr, TRUE);
    curs_set(0);
    int status = Terminal(options).Run();
    endwin();
    return status;
}
