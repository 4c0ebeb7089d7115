// The message record: reset, defaults and the colour tables.
#include "display/message.h"
#include "display/surface.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

TEST(MultiColours, ClassicColourTables) {
    const uint32_t rgb15[] = {0, 31, 799, 992, 25344, 31744, 24600, 32767, 415, 895, 0};
    const uint32_t rgb24[] = {0,        248,      49400, 63488, 0xC0C000, 0xF80000,
                              0xC000C0, 0xFFFFFF, 24824, 55807, 0};
    for (int c = 0; c <= 10; ++c) {
        EXPECT_EQ(rgb15[c], multi_color_to_rgb15(c)) << c;
        EXPECT_EQ(rgb24[c], multi_color_to_rgb24(c, 60)) << c;
    }
    EXPECT_EQ(0u, multi_color_to_rgb15(-1));
    EXPECT_EQ(0u, multi_color_to_rgb24(-1, 60));
    // Amber-only module types.
    for (uint32_t module : {11u, 12u, 98u, 101u}) {
        EXPECT_EQ(248u, multi_color_to_rgb24(1, module));
        EXPECT_EQ(0u, multi_color_to_rgb24(2, module));
        EXPECT_EQ(65535u, multi_color_to_rgb24(8, module));
        EXPECT_EQ(65280u, multi_color_to_rgb24(9, module));
    }
}

TEST(MultiColours, DefaultsConvertByColourScheme) {
    message_defaults d;
    d.foreground_rgb[0] = 0xFF;
    d.background_rgb[0] = 0;
    d.ConvertColour(4);
    EXPECT_EQ(31u, d.foreground);
    EXPECT_EQ(0u, d.page_background);
    EXPECT_EQ(-1, d.text_background);
    d.foreground_rgb[0] = 9;
    d.background_rgb[0] = 1;
    d.ConvertColour(1);
    EXPECT_EQ(895u, d.foreground);
    EXPECT_EQ(31u, d.page_background);
}

TEST(MultiMessage, ResetAndDefaults) {
    auto m = std::make_unique<CMessage>();
    EXPECT_EQ(0u, m->text_length);
    EXPECT_EQ(0x7FE0u, m->foreground) << "until the defaults are applied";
    m->defaults.foreground = 895;
    m->defaults.font = 2;
    m->defaults.justification_line = 4;
    m->defaults.justification_page = 2;
    m->ApplyDefaults();
    EXPECT_EQ(895u, m->foreground);
    EXPECT_EQ(2, m->font);
    EXPECT_EQ(4, m->line_justification[0]);

    m->flash[3] = msg_flash{2, 7};
    m->flash_index = 4;
    m->lines[1][2].spacing_hint = 9;
    m->lines[1][2].height = 5;
    m->Reset(1);
    EXPECT_EQ(2u, m->flash[3].phase) << "mode 1 keeps the flash records";
    EXPECT_EQ(7, m->flash[3].frames_left);
    EXPECT_EQ(0, m->lines[1][2].spacing_hint);
    EXPECT_EQ(0, m->lines[1][2].height);
    EXPECT_EQ(255, m->lines[1][2].char_spacing);
    EXPECT_EQ(4, m->line_justification[7]);
    EXPECT_EQ(2, m->page_justification[7]);
    EXPECT_EQ(MOVING_TEXT_NOT_STARTED, m->moving_texts[5].offset);
    m->lines[1][2].spacing_hint = 9;
    m->Reset(0);
    EXPECT_EQ(0u, m->flash[3].phase);
    EXPECT_EQ(0u, m->flash_index);
    EXPECT_EQ(9, m->lines[1][2].spacing_hint);
    EXPECT_EQ(2, m->font) << "reset leaves the font";
}

TEST(MultiMessage, IndexesAndCharacterListsStayInTheirRecords) {
    auto m = std::make_unique<CMessage>();
    m->window_index = 40;
    m->line_index = 99;
    m->moving_index = 1000;
    EXPECT_EQ(&m->lines[MESSAGE_WINDOWS - 1][MESSAGE_LINES - 1], &m->CurrentLine());
    EXPECT_EQ(&m->windows[MESSAGE_WINDOWS - 1], &m->CurrentWindow());
    EXPECT_EQ(&m->moving_texts[MESSAGE_MOVING_TEXTS - 1], &m->CurrentMovingText());

    EXPECT_TRUE(m->AppendLineChar(0, 0, 'A', 5));
    EXPECT_TRUE(m->AppendLineChar(0, 0, 'B', 6));
    EXPECT_TRUE(m->AppendLineChar(0, 1, 'C', 7));
    EXPECT_FALSE(m->AppendLineChar(0, 0, 'D', 5)) << "line 0 is closed once line 1 began";
    EXPECT_EQ(2, m->lines[0][0].chars_count);
    EXPECT_EQ('B', m->LineChars(0, 0)[1].code);
    EXPECT_EQ('C', m->LineChars(0, 1)[0].code);
    unsigned appended = 3;
    while (m->AppendLineChar(0, 1, 'x', 1))
        ++appended;
    EXPECT_EQ(MESSAGE_LINE_CHARS, appended);
    m->ReleaseLineChars();
    EXPECT_EQ(0, m->lines[0][1].chars_count);
    EXPECT_TRUE(m->AppendLineChar(3, 4, 'E', 5));
}

TEST(MultiMessage, PageAttributeSnapshot) {
    auto m = std::make_unique<CMessage>();
    m->flash_mode = 1;
    m->font = 3;
    m->current_font.SetRow(7);
    m->foreground = 31;
    m->line_justification[2] = 5;
    page_attribute_snapshot snapshot;
    save_page_attributes(*m, snapshot);
    m->flash_mode = 0;
    m->font = 1;
    m->current_font.SetRow(0);
    m->foreground = 0;
    m->line_justification[2] = 2;
    m->page_justification_given[4] = 1;
    restore_page_attributes(*m, snapshot);
    EXPECT_EQ(1, m->flash_mode);
    EXPECT_EQ(3, m->font);
    EXPECT_EQ(7u, m->current_font.GetRow());
    EXPECT_EQ(31u, m->foreground);
    EXPECT_EQ(5, m->line_justification[2]);
    EXPECT_EQ(0, m->page_justification_given[4]);
}

} // namespace

namespace {

TEST(MultiMessage, ResetClearsItsSurfaceUnlessTheSurfaceKeepsItsContent) {
    CSurface surface;
    ASSERT_NE(nullptr, surface.Create(8, 8, 15));
    surface.SetPixel(2, 3, 31);
    surface.SetKeepContent(1);
    auto kept = std::make_unique<CMessage>(&surface);
    EXPECT_NE(0u, surface.GetPixel(2, 3)) << "validation's scratch message keeps the picture";
    surface.SetKeepContent(0);
    kept->Reset(0);
    EXPECT_EQ(0u, surface.GetPixel(2, 3));
    EXPECT_EQ(&surface, kept->surface);
    EXPECT_EQ(0u, kept->text_length);
}

} // namespace
