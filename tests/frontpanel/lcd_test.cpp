// The front panel's LCD driver: the bytes it sends for each operation, read
// by a byte sink and by the panel model that the host's panel picture and
// emulator use.
#include "frontpanel/lcd.h"

#include "comm/drivers/serial_driver.h"
#include "comm/net/servers.h"
#include "console/monitor_task.h"
#include "platform/field/panel_lcd.h"
#include "tests/support/kernel_fixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

typedef std::vector<uint8_t> Bytes;

Bytes bytes_of(const std::string& text) {
    return Bytes(text.begin(), text.end());
}
Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The serial port: keeps every byte and hands it on to a panel when one is
// attached.
class ByteSink : public CSerialDriver {
  public:
    bool WriteByte(uint8_t byte) override {
        sent.push_back(byte);
        if (panel) panel->Feed(&byte, 1);
        if (on_byte) on_byte();
        return true;
    }
    bool ReadByte(int* out) override {
        *out = -1;
        return false;
    }
    bool Open(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) override { return true; }
    bool SetBaudRate(uint32_t) override { return true; }

    Bytes sent;
    field::PanelLcd* panel = nullptr;
    std::function<void()> on_byte;
};

class MirrorSink : public CTCP_Server {
  public:
    bool WriteByte(uint8_t byte) override {
        sent.push_back(byte);
        return true;
    }
    Bytes sent;
};

class Owner : public CLCDOwner {
  public:
    uint8_t ReinitCountdown() const override { return countdown; }
    uint8_t countdown = 0;
};

class LcdDriver : public test_support::KernelFixture {
  protected:
    void SetUp() override {
        KernelFixture::SetUp();
        ASSERT_EQ(0u, lcd.Init(&port, &owner));
        lcd.AttachMirror(&mirror);
        TheMonitorTask().SetTraceLevel(1);
        Sent(); // the busy mark's reset at Init
    }
    // What was sent since the last call.
    Bytes Sent() {
        Bytes out = port.sent;
        port.sent.clear();
        return out;
    }

    ByteSink port;
    MirrorSink mirror;
    Owner owner;
    CLCD lcd;
};

const Bytes RIGHT_ARROW_HEADER = {0xFE, 0x64, 0xE8, 0x38, 0xEF, 0x3F};

TEST_F(LcdDriver, DataBytesAreEscapedUnlessThePanelReportedAnOldRevision) {
    struct Case {
        uint8_t first, second;
        Bytes data;
    } cases[] = {
        {0, 0, {0x00, 0x04, 0x02, 0xFF, 0xDF, 0x02, 0x04, 0x00, 0x00}},
        {7, 9, {0x00, 0x04, 0x02, 0xFF, 0xDF, 0x02, 0x04, 0x00, 0x00}},
        {3, 0, {0x00, 0x04, 0x02, 0xFF, 0x02, 0x04, 0x00, 0x00}},
        {0, 6, {0x00, 0x04, 0x02, 0xFF, 0x02, 0x04, 0x00, 0x00}},
    };
    for (const Case& c : cases) {
        lcd.SetRevisions(c.first, c.second);
        EXPECT_EQ(0, lcd.DrawIcon(LCD_ICON_RIGHT_ARROW));
        EXPECT_EQ(RIGHT_ARROW_HEADER + c.data, Sent()) << int(c.first) << "/" << int(c.second);
    }
    lcd.SetRevisions(0, 0);
    const uint8_t command_bytes[] = {0xFE, 0x41, 0xFE, 0x18};
    lcd.WriteCommand(command_bytes, sizeof command_bytes);
    EXPECT_EQ((Bytes{0xFE, 0x41, 0xFF, 0xDE, 0x18}), Sent());
}

TEST_F(LcdDriver, TextIsPositionedAndMappedAsThePanelExpects) {
    struct Case {
        const char* what;
        std::function<void(CLCD&)> act;
        Bytes expected;
    } cases[] = {
        {"centred title",
         [](CLCD& l) { l.Print(1, LCD_CENTRE, "%s", "** WELCOME TO THE MAIN MENU **"); },
         Bytes{0xFE, 0x47, 0x06, 0x01} + bytes_of("** WELCOME TO THE MAIN MENU **")},
        {"left", [](CLCD& l) { l.Print(3, LCD_LEFT, "ab%d", 7); },
         Bytes{0xFE, 0x47, 1, 3} + bytes_of("ab7")},
        {"right", [](CLCD& l) { l.Print(8, LCD_RIGHT, "xyz"); },
         Bytes{0xFE, 0x47, 37, 8} + bytes_of("xyz")},
        {"Latin-1 letters", [](CLCD& l) { l.SendString("\xE9\xC0\xE7\xA3"); },
         Bytes{0x82, 0x41, 0x63, 0x9C}},
        {"control bytes skipped",
         [](CLCD& l) {
             l.SendString("A\x01\x07\x1B\x7F\xFE\xFF"
                          "B");
         },
         bytes_of("AB")},
        {"new line on row 8",
         [](CLCD& l) {
             l.SetCursor(5, 8, false);
             l.SendString("\n");
         },
         Bytes{0xFE, 0x47, 5, 1}},
        {"carriage return",
         [](CLCD& l) {
             l.SetCursor(9, 2, false);
             l.SendString("a\rb");
         },
         Bytes{'a', 0xFE, 0x47, 1, 2, 'b'}},
        {"row outside 1-8 keeps the cursor",
         [](CLCD& l) {
             l.SetCursor(4, 4, false);
             l.SetCursor(2, 9, true);
             l.SendCursor();
         },
         Bytes{0xFE, 0x47, 4, 4}},
        {"print at column 30 keeps 10 of 15",
         [](CLCD& l) { l.PrintAt(2, 30, LCD_LEFT, "%s", "ABCDEFGHIJKLMNO"); },
         Bytes{0xFE, 0x47, 30, 2} + bytes_of("ABCDEFGHIJ")},
        {"print at, centred in the width", [](CLCD& l) { l.PrintAt(2, 30, LCD_CENTRE, "ab"); },
         Bytes{0xFE, 0x47, 30, 2} + bytes_of("    ab    ")},
        {"print at, right", [](CLCD& l) { l.PrintAt(2, 34, LCD_RIGHT, "ab"); },
         Bytes{0xFE, 0x47, 34, 2} + bytes_of("    ab")},
        {"print at, unknown justify sends nothing", [](CLCD& l) { l.PrintAt(2, 34, 7, "ab"); },
         Bytes{0xFE, 0x47, 34, 2}},
    };
    for (const Case& c : cases) {
        c.act(lcd);
        EXPECT_EQ(c.expected, Sent()) << c.what;
    }
}

TEST_F(LcdDriver, PrintLineAlwaysSendsFortyCharacters) {
    struct Case {
        uint8_t justify;
        const char* text;
        std::string line;
    } cases[] = {
        {LCD_LEFT, "abc", "abc" + std::string(37, ' ')},
        {LCD_CENTRE, "abcd", std::string(18, ' ') + "abcd" + std::string(18, ' ')},
        {LCD_RIGHT, "abcd", std::string(32, ' ') + "abcd" + std::string(4, ' ')},
        {LCD_CENTRE, "0123456789012345678901234567890123456789XYZ",
         " 012345678901234567890123456789012345678"},
    };
    for (const Case& c : cases) {
        lcd.PrintLine(4, c.justify, "%s", c.text);
        EXPECT_EQ((Bytes{0xFE, 0x47, 1, 4} + bytes_of(c.line)), Sent()) << c.text;
    }
    lcd.PrintLine(9, LCD_LEFT, "x");
    EXPECT_TRUE(Sent().empty());
}

TEST_F(LcdDriver, ATextTooLongForTheBufferIsDroppedWithAWarning) {
    std::string long_text(250, 'x');
    test_support::ClearConsole();
    lcd.Print(2, LCD_LEFT, "%s", long_text.c_str());
    lcd.PrintRowCol(2, 1, "%s", long_text.c_str());
    EXPECT_TRUE(Sent().empty());
    EXPECT_NE(std::string::npos, test_support::ConsoleText().find("CLCD::Print: Warning"));
    lcd.Print(2, LCD_LEFT, "%s", std::string(199, 'y').c_str());
    EXPECT_EQ(4u + 199u, Sent().size());
}

TEST_F(LcdDriver, BitmapsSendWholeBytesARowAndStopWhileThePanelIsReinitialised) {
    const uint8_t data[] = {0xC0, 0x40, 0x80, 0x00};
    EXPECT_EQ(0, lcd.Bitmap(3, 10, 10, 2, data));
    EXPECT_EQ((Bytes{0xFE, 0x64, 3, 10, 12, 11, 0xC0, 0x40, 0x80, 0x00}), Sent());
    owner.countdown = 20;
    EXPECT_EQ(2, lcd.Bitmap(3, 10, 10, 2, data));
    EXPECT_EQ((Bytes{0xFE, 0x64, 3, 10, 12, 11}), Sent());
    EXPECT_EQ(2, lcd.Bitmap(3, 10, 0, 2, data));
    EXPECT_TRUE(Sent().empty());
}

// A bitmap longer than the driver's output block: every byte, escaped ones
// split across block edges included, goes out once and in order.
TEST_F(LcdDriver, ALongBitmapKeepsEveryEscapedByteAcrossBlocks) {
    uint8_t data[8 * 20];
    for (size_t i = 0; i < sizeof data; i++)
        data[i] = i % 3 == 0 ? LCD_COMMAND : i % 3 == 1 ? LCD_ESCAPE : uint8_t(i);
    EXPECT_EQ(0, lcd.Bitmap(0, 0, 64, 20, data));
    Bytes want = {LCD_COMMAND, 0x64, 0, 0, 63, 19};
    for (uint8_t byte : data) {
        if (byte == LCD_COMMAND || byte == LCD_ESCAPE)
            want.insert(want.end(), {LCD_ESCAPE, uint8_t(byte ^ LCD_ESCAPE_XOR)});
        else
            want.push_back(byte);
    }
    EXPECT_EQ(want, Sent());
    EXPECT_EQ(want, mirror.sent);
}

TEST_F(LcdDriver, TheBusyMarkGoesOffOnlyWhenEveryUnitIsBack) {
    const Bytes on = {0xFE, '<'}, off = {0xFE, ';'};
    lcd.SetBusy();
    lcd.SetBusy();
    EXPECT_EQ(on + on, Sent());
    lcd.ClearBusy();
    EXPECT_TRUE(Sent().empty());
    lcd.ClearBusy();
    EXPECT_EQ(off, Sent());

    // 201 takes: the last finds no unit and sends nothing; 201 returns end
    // with the mark off, and a return too many does not keep it from going
    // off the next time.
    for (int i = 0; i < 201; i++)
        lcd.SetBusy();
    EXPECT_EQ(400u, Sent().size());
    for (int i = 0; i < 201; i++)
        lcd.ClearBusy();
    EXPECT_EQ(off, Sent());
    lcd.ClearBusy();
    lcd.SetBusy();
    lcd.ClearBusy();
    EXPECT_EQ(on + off, Sent());
}

TEST_F(LcdDriver, AWriterThatFindsAnotherWritingGivesUpAfterTenTriesWithItsWarning) {
    // Every byte of the text tries to draw a bitmap and a command in the
    // middle of it (as another thread would): both are refused.
    int nested = 0;
    port.on_byte = [&] {
        if (nested++ > 0) return;
        const uint8_t data[8] = {};
        EXPECT_EQ(2, lcd.Bitmap(0, 0, 8, 8, data));
        lcd.SendKeepAlive();
    };
    test_support::ClearConsole();
    ULONG before = tx_time_get();
    lcd.SendString("ab");
    EXPECT_EQ(bytes_of("ab"), Sent());
    const std::string& console = test_support::ConsoleText();
    EXPECT_NE(std::string::npos, console.find("CLCD::Bitmap: Warning Write Failed"));
    EXPECT_NE(std::string::npos, console.find("CLCD::WriteCommand: Warning Write Failed"));
    EXPECT_GE(tx_time_get() - before, 9u) << "the tries give the processor up";
    port.on_byte = nullptr;
    lcd.SendKeepAlive();
    EXPECT_EQ((Bytes{0xFE, 0x40}), Sent());
}

TEST_F(LcdDriver, TheMirrorGetsEveryByteThePanelGets) {
    lcd.Print(1, LCD_CENTRE, "MENU");
    lcd.DrawIcon(LCD_ICON_RIGHT_ARROW);
    lcd.SetLocalIndicator();
    Bytes sent = Sent();
    EXPECT_FALSE(sent.empty());
    EXPECT_EQ(sent, mirror.sent);
}

TEST_F(LcdDriver, InitRefusesAMissingPortOrOwner) {
    CLCD other;
    EXPECT_EQ(1u, other.Init(nullptr, &owner));
    EXPECT_EQ(1u, other.Init(&port, nullptr));
    EXPECT_NE(0u, other.SetBusy());
}

// ---- the round trip: everything the driver sends, read by the panel model ----

bool glyph_at(const field::PanelScreen& screen, uint8_t code, int column, int row) {
    const uint8_t* glyph = field::panel_glyph(code);
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 6; x++)
            if (screen.Dot((column - 1) * 6 + x, (row - 1) * 8 + y) != bool(glyph[y] & (0x80 >> x)))
                return false;
    return true;
}

bool icon_at(const field::PanelScreen& screen, const lcd_icon_row& icon) {
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 8; x++)
            if (screen.Dot(icon.x + x, icon.y + y) != bool(icon.bits[y] & (0x80 >> x)))
                return false;
    return true;
}

void draw_everything(CLCD& lcd) {
    lcd.Clear();
    lcd.Print(1, LCD_CENTRE, "MAIN MENU");
    lcd.PrintLine(2, LCD_LEFT, "1 Messages");
    lcd.ClearToEndOfLine(2, 3);
    lcd.PrintAt(3, 30, LCD_RIGHT, "r\xE9gl\xE9");
    lcd.PrintRowCol(4, 3, "%d%%", 42);
    lcd.SetCursor(40, 5, true);
    lcd.SendString("ZY"); // the cursor passes column 40 to the next row
    lcd.PrintRowCol(7, 1, "gone");
    lcd.ClearLine(7);
    lcd.DrawIcon(LCD_ICON_LOCK);
    lcd.DrawIcon(LCD_ICON_FLAG);
    lcd.DrawIcon(LCD_ICON_RIGHT_ARROW);
    lcd.DrawIcon(LCD_ICON_LT);
    lcd.ClearIcon(0);
    const uint8_t data[] = {0xFE, 0xFF, 0xFF, 0xFE};
    lcd.Bitmap(100, 40, 16, 2, data);
    lcd.SetDrawColour(0xFF);
    lcd.PutPixel(120, 30);
    lcd.FillRect(0xFF, 200, 50, 203, 53);
    lcd.DrawRect(0xFF, 150, 50, 153, 53);
    lcd.SetLocalIndicator();
    lcd.BacklightOn(10);
    lcd.SetContrast(16);
    lcd.SetBusy();
    lcd.SendKeepAlive();
    lcd.RequestStatus();
    lcd.SignalActivity();
    const uint8_t frame[] = {0xFE, 'A', 0x00, 0x3B, 0x60, 0x20, 0x08, 0xFE, 0xFF, 3, 4, 5, 6, 7, 8};
    lcd.WriteCommand(frame, sizeof frame);
    lcd.Print(8, LCD_LEFT, "END");
}

void expect_drawn(const field::PanelScreen& s) {
    EXPECT_EQ("               MAIN MENU                ", s.TextRow(1));
    EXPECT_EQ("1" + std::string(39, ' '), s.TextRow(2));
    EXPECT_EQ(std::string(34, ' ') + "r\x82gl\x82 ", s.TextRow(3));
    EXPECT_EQ("  42%", s.TextRow(4).substr(0, 5));
    EXPECT_EQ('Z', char(s.text[4][39]));
    EXPECT_EQ('Y', char(s.text[5][0])) << "the text went on at column 1 of the next row";
    EXPECT_EQ(std::string(40, ' '), s.TextRow(7));
    EXPECT_EQ("END", s.TextRow(8).substr(0, 3));
    EXPECT_TRUE(glyph_at(s, 'M', 16, 1));
    EXPECT_TRUE(glyph_at(s, 0x82, 36, 3));
    EXPECT_TRUE(icon_at(s, LCD_ICONS[LCD_ICON_LOCK]));
    EXPECT_TRUE(icon_at(s, LCD_ICONS[LCD_ICON_FLAG]));
    EXPECT_TRUE(icon_at(s, LCD_ICONS[LCD_ICON_RIGHT_ARROW]));
    for (int x = 0; x < 8; x++)
        EXPECT_FALSE(s.Dot(x, 2)) << "the LT icon was cleared";
    EXPECT_EQ(true, s.Dot(100, 40));
    EXPECT_EQ(false, s.Dot(107, 40));
    EXPECT_EQ(true, s.Dot(108, 40));
    EXPECT_EQ(true, s.Dot(115, 40));
    EXPECT_EQ(true, s.Dot(100, 41));
    EXPECT_EQ(false, s.Dot(115, 41));
    EXPECT_TRUE(s.Dot(120, 30));
    EXPECT_TRUE(s.Dot(201, 51));
    EXPECT_TRUE(s.Dot(150, 52));
    EXPECT_FALSE(s.Dot(151, 52)) << "an outline leaves its inside";
    EXPECT_TRUE(s.lamp);
    EXPECT_TRUE(s.backlight);
    EXPECT_EQ(10, s.backlight_level);
    EXPECT_EQ(16, s.contrast);
    EXPECT_TRUE(s.busy);
    EXPECT_EQ(1u, s.keep_alives);
    EXPECT_EQ(1u, s.status_requests);
    EXPECT_EQ(1u, s.activity);
    EXPECT_EQ(1u, s.can_frames);
}

TEST_F(LcdDriver, ThePanelModelDrawsWhatTheDriverSendsForNewAndOldPanels) {
    for (uint8_t revision : {0, 7, 3}) {
        field::PanelLcd panel;
        std::vector<uint8_t> frame;
        panel.OnCanFrame([&](const std::vector<uint8_t>& f) { frame = f; });
        if (revision) {
            const uint8_t report[] = {0xFF, uint8_t(0xA0 | revision)};
            panel.NoteSent(report, sizeof report);
        }
        lcd.SetRevisions(revision, 0);
        lcd.ClearBusy();
        Sent();
        port.panel = &panel;
        draw_everything(lcd);
        port.panel = nullptr;
        SCOPED_TRACE(revision);
        expect_drawn(panel.Screen());
        EXPECT_EQ((Bytes{0x00, 0x3B, 0x60, 0x20, 0x08, 0xFE, 0xFF, 3, 4, 5, 6, 7, 8}), frame);

        // The same bytes cut anywhere draw the same.
        Bytes stream = Sent();
        for (size_t cut = 1; cut < stream.size(); cut += 7) {
            field::PanelLcd pieces;
            if (revision) {
                const uint8_t report[] = {0xFF, uint8_t(0xA0 | revision)};
                pieces.NoteSent(report, sizeof report);
            }
            pieces.Feed(stream.data(), cut);
            pieces.Feed(stream.data() + cut, stream.size() - cut);
            field::PanelScreen whole = panel.Screen(), cut_screen = pieces.Screen();
            ASSERT_EQ(0, std::memcmp(whole.dots, cut_screen.dots, sizeof whole.dots))
                << "cut at " << cut;
            ASSERT_EQ(0, std::memcmp(whole.text, cut_screen.text, sizeof whole.text));
        }
    }
}

// An icon's clear stays on its own 8 x 8 dots and gives back the row-1 text
// under it: the French title's first star, a sign's image below row 1, and
// an icon beside it that the restored text reached.
TEST_F(LcdDriver, AnIconsClearGivesBackWhatWasUnderIt) {
    field::PanelLcd model;
    lcd.Clear();
    lcd.Print(1, LCD_CENTRE, "%s", "** BIENVENUE AU MENU PRINCIPAL **"); // from column 4
    lcd.FillRect(0xFF, 0, 8, 239, 8);                                    // an image's top line
    model.Feed(Sent());
    const field::PanelScreen before = model.Screen();
    lcd.DrawIcon(LCD_ICON_ARROWS);
    lcd.DrawIcon(LCD_ICON_FLAG);
    for (uint8_t x : {0, 8, 16, 216, 224, 232})
        lcd.ClearIcon(x);
    model.Feed(Sent());
    const field::PanelScreen after = model.Screen();
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 240; ++x) {
            ASSERT_EQ(before.Dot(x, y), after.Dot(x, y)) << x << "," << y;
        }

    lcd.Clear();
    lcd.PrintRowCol(1, 1, "%s", "ABCDEF");
    lcd.DrawIcon(LCD_ICON_C);
    model.Feed(Sent());
    const field::PanelScreen with_c = model.Screen();
    lcd.DrawIcon(LCD_ICON_ARROWS);
    lcd.ClearIcon(16); // gives back C and D; C's cell reaches the C icon's place
    model.Feed(Sent());
    const field::PanelScreen restored = model.Screen();
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 24; ++x) {
            ASSERT_EQ(with_c.Dot(x, y), restored.Dot(x, y)) << x << "," << y;
        }
}

// Text written over an icon's place on row 1 marks the row wiped, so the
// manager draws the indicators again; text between them does not.
TEST_F(LcdDriver, TextOverAnIconsPlaceMarksTheTopRowWiped) {
    struct Case {
        const char* what;
        std::function<void(CLCD&)> write;
        bool wiped;
    } cases[] = {
        {"a full-width line", [](CLCD& l) { l.PrintLine(1, LCD_CENTRE, "%s", "STATUS"); }, true},
        {"from column 1", [](CLCD& l) { l.PrintRowCol(1, 1, "%s", "X"); }, true},
        {"up to column 37", [](CLCD& l) { l.PrintRowCol(1, 36, "%s", "AB"); }, true},
        {"a centred title", [](CLCD& l) { l.Print(1, LCD_CENTRE, "%s", "MAIN MENU"); }, false},
        {"columns 5 to 36", [](CLCD& l) { l.PrintRowCol(1, 5, "%32s", "x"); }, false},
        {"row 2", [](CLCD& l) { l.PrintLine(2, LCD_LEFT, "%s", "ROW TWO"); }, false},
    };
    for (const Case& c : cases) {
        lcd.top_row_wiped = 0;
        c.write(lcd);
        EXPECT_EQ(c.wiped, lcd.top_row_wiped != 0) << c.what;
    }
}

} // namespace
