// The front-panel module's model: what it answers, how it reads frames and
// bad input, and the bytes it makes for the panel's keys.
#include "platform/field/panel_lcd.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

typedef std::vector<uint8_t> Bytes;

TEST(PanelModel, AnswersProbeAndRevisionRequestsWithItsRevision) {
    field::PanelLcd panel;
    Bytes replies;
    panel.Answer(7, [&](const uint8_t* data, size_t size) {
        replies.insert(replies.end(), data, data + size);
    });
    panel.Feed(Bytes{0xFE, '6', 0xFE, '7'});
    EXPECT_EQ((Bytes{0xFF, 0xA7, 0xFF, 0xA7}), replies);
    field::PanelScreen screen = panel.Screen();
    EXPECT_EQ(7, screen.first_revision);
    EXPECT_EQ(7, screen.second_revision);

    field::PanelLcd watcher; // without a reply sink it only watches
    watcher.Feed(Bytes{0xFE, '6'});
    EXPECT_EQ(0, watcher.Screen().first_revision);
}

TEST(PanelModel, TunnelledFramesTakeTheirLengthFromTheirIdentifierForm) {
    field::PanelLcd panel;
    std::vector<Bytes> frames;
    panel.OnCanFrame([&](const Bytes& frame) { frames.push_back(frame); });
    Bytes extended = {0xFE, 'A', 0x00, 0x3B, 0x60, 0x20, 0x08, 1,   2,
                      3,    4,   5,    6,    0xFF, 0xDE, 0xFF, 0xDF};
    Bytes standard = {0xFE, 'A', 0x12, 0x30, 0x02, 'x', 'y', 0, 0, 0, 0, 0, 0};
    panel.Feed(extended);
    panel.Feed(standard);
    panel.Feed(Bytes{'O', 'K'});
    ASSERT_EQ(2u, frames.size());
    EXPECT_EQ((Bytes{0x00, 0x3B, 0x60, 0x20, 0x08, 1, 2, 3, 4, 5, 6, 0xFE, 0xFF}), frames[0]);
    EXPECT_EQ(11u, frames[1].size());
    EXPECT_EQ("OK", panel.Screen().TextRow(1).substr(0, 2)) << "the text after the frames";
}

TEST(PanelModel, BadInputIsReadWithoutHarm) {
    field::PanelLcd panel;
    const Bytes hostile[] = {
        {0xFE, 'G', 200, 77, 'a', 'b'},             // a cursor off the screen
        {0xFE, 'd', 10, 10, 5, 5},                  // a bitmap with its edges crossed
        {0xFE, 'd', 230, 60, 255, 255, 0xFF, 0xDF}, // a bitmap beyond the dots, cut short
        {0xFE, 'x', 0xFF, 250, 70, 0, 0},           // a rectangle beyond the dots
        {0xFE, 'Q', 'Z'},                           // an unknown command
        {0xFE, 'r', 0xFF, 0xFE, 'p', 3, 3},         // a command cut by the next one
        {0xFF, 0xFF, 0x01, 0x1F},                   // stray bytes
    };
    for (const Bytes& bytes : hostile)
        panel.Feed(bytes);
    panel.Feed(Bytes{0xFE, 'G', 1, 2, 'k'});
    EXPECT_EQ('k', char(panel.Screen().text[1][0]));
}

TEST(PanelModel, AnOldPanelTakesDataBytesRaw) {
    field::PanelLcd panel;
    const Bytes report = {0xFF, 0xA4};
    panel.NoteSent(report.data(), report.size());
    panel.Feed(Bytes{0xFE, 'd', 0, 8, 7, 8, 0xFF, 'z'});
    field::PanelScreen screen = panel.Screen();
    EXPECT_TRUE(screen.Dot(7, 8));
    EXPECT_EQ('z', char(screen.text[0][0]));
}

TEST(PanelModel, MakesThePanelsKeyBytes) {
    EXPECT_EQ(0x03, field::panel_keypad_digit('1'));
    EXPECT_EQ(0x04, field::panel_keypad_digit('0'));
    EXPECT_EQ(0xFF, field::panel_keypad_digit('x'));
    field::Ps2Key key{};
    ASSERT_TRUE(field::ps2_function_key(1, key));
    EXPECT_EQ((Bytes{0xFF, 0xBD, 0x00, 0x05, 0xF0, 0x05, 0xED}),
              field::panel_keyboard_key(0, key.scan));
    EXPECT_FALSE(field::ps2_function_key(13, key));
    ASSERT_TRUE(field::ps2_key_for_character('A', key));
    EXPECT_EQ(0x1C, key.scan);
    EXPECT_TRUE(key.shift);
    EXPECT_FALSE(field::ps2_key_for_character('\x01', key));
    EXPECT_EQ((Bytes{0xFF, 0xBD, 0x00, 0xE0, 0x75, 0xE0, 0xF0, 0x75, 0xED}),
              field::panel_keyboard_key(0, 0x75, true));
    EXPECT_EQ((Bytes{0xFF, 0xB3}), field::panel_report_bytes(field::PANEL_LOCAL));
}

TEST(PanelModel, CharacterSetCoversTextAndAccentedLetters) {
    for (int code = 0x21; code < 0x7F; code++) {
        const uint8_t* glyph = field::panel_glyph(uint8_t(code));
        int lit = 0;
        for (int y = 0; y < 8; y++)
            lit += glyph[y] != 0;
        EXPECT_GT(lit, 0) << code;
        for (int y = 0; y < 8; y++)
            EXPECT_EQ(0, glyph[y] & 0x07) << code << ": the sixth column stays blank";
    }
    EXPECT_EQ("\xC3\xA9", field::panel_character_text(0x82));
    EXPECT_EQ("A", field::panel_character_text('A'));
    EXPECT_EQ(" ", field::panel_character_text(0xC0));
}

} // namespace
