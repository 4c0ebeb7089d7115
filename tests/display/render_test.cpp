// The renderer from its edges: MULTI text in, the sign's pixels out. Test
// font 1 (row 0): height 5, character spacing 1, glyphs 3 wide ('I' 1,
// 'W' 5), each a solid block; the sign is 32 x 16, full matrix, left and top
// justified by default, foreground amber ('#').
#include "platform/monitor/monitor.h"
#include "platform/monitor/monitor_host.h"
#include "tests/display/render_fixture.h"

#include <gtest/gtest.h>

#include "ntcip/clock/calendar.h"

#include <cstring>
#include <fstream>
#include <iterator>

namespace {

using render_test::FLAGS;
using render_test::RenderFixture;
using render_test::TestFont;
using Rows = std::vector<std::string>;

struct PageCase {
    const char* text;
    int first_row;  // of the first line
    int second_row; // of the second line, -1 none
};

class Render : public RenderFixture {
  protected:
    // The first column of the picture: lit where the case's lines stand.
    void ExpectLines(const PageCase& c) {
        SCOPED_TRACE(c.text);
        ASSERT_TRUE(Show(c.text));
        std::string column;
        for (const auto& row : Picture())
            column += row[0];
        std::string expected(column.size(), '.');
        for (int line : {c.first_row, c.second_row}) {
            if (line >= 0) expected.replace(size_t(line), 5, "#####");
        }
        EXPECT_EQ(expected, column);
    }
};

// Row `y` of the picture after drawing `text`; every row of the line is the same.
struct LineCase {
    const char* text;
    int y;
    const char* row;
};

TEST_F(Render, LineJustificationSpacingAndWindows) {
    AddFont({1, 2, 5, 3, 0, 3, {}});
    const LineCase cases[] = {
        {"AB", 0, "###.###........................."},
        {"[jl3]AB", 0, "............###.###............."},
        {"[jl4]AB", 0, ".........................###.###"},
        {"[jl2]AB[jl4]CD", 0, "###.###.................###.###."},
        // Full justification: 4 characters with 7 free pixels get gaps 2, 2, 3;
        // with 8 free pixels 3, 2, 3.
        {"[tr1,1,19,5][jl5]ABCD", 0, "###..###..###...###............."},
        {"[tr1,1,20,5][jl5]ABCD", 0, "###...###..###...###............"},
        // A full-justified line of one character stands at the window's left.
        {"[tr5,1,20,5][jl5]A", 0, "....###........................."},
        // Spacing 1 then 3: 2 between the runs, 3 inside the second.
        {"[fo1]AB[fo2]CD", 0, "###.###..###...###.............."},
        {"[sc3]AB[/sc]CD", 0, "###...###..###.###.............."},
        {"[sc0]AB", 0, "######.........................."},
        // Windows: each starts its own line; the second is right justified.
        {"[tr1,1,16,16]AB[tr17,1,16,16][jl4]CD", 0, "###.###..................###.###"},
        {"[tr1,7,16,10]AB", 6, "###.###........................."},
        // A run placed left of its window draws none of its pixels.
        {"[tr11,1,10,5][jl1]AB", 0, "................................"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        ASSERT_TRUE(Show(c.text));
        Rows picture = Picture();
        for (int y = c.y; y < c.y + 5; ++y)
            EXPECT_EQ(c.row, picture[y]) << "row " << y;
        EXPECT_EQ(std::string(32, '.'), picture[c.y + 5]);
    }
}

TEST_F(Render, CentredRightSegmentKeepsItsLeadingSpacing) {
    // "CD" right justified after left text keeps its leading spacing inside
    // its width: it ends one column before the edge.
    ASSERT_TRUE(Show("[jl2]A[jl4]CD"));
    EXPECT_EQ("###.....................###.###.", Picture()[0]);
    // Runs of one centred segment with different fonts are centred as one.
    AddFont({1, 2, 5, 1, 0, 5, {}});
    ASSERT_TRUE(Show("[jl3]A[fo2]B"));
    EXPECT_EQ("...........###.#####............", Picture()[0]);
}

TEST_F(Render, PageJustificationAndLineSpacing) {
    AddFont({1, 2, 5, 1, 3, 3, {}}); // line spacing 3
    const PageCase cases[] = {
        {"AB", 0, -1},     {"[jp3]AB", 5, -1},    {"[jp4]AB", 11, -1}, {"[jp3]AB[nl]CD", 3, 8},
        {"A[nl2]B", 0, 7}, {"[fo2]A[nl]B", 0, 8}, // half the font's and the line's spacing: 3
        {"A[nl]", 0, -1},
    };
    for (const auto& c : cases)
        ExpectLines(c);
}

TEST_F(Render, LineMatrixRowsStandOnTheirCells) {
    Sign(32, 24, 5, 0, 8);
    const PageCase cases[] = {
        {"AB", 3, -1},                               // on the bottom of the first 8-pixel row
        {"AB[nl]CD", 3, 11},     {"[jp3]AB", 8, -1}, // middle, rounded down to a row
        {"[jp3]AB[nl]CD", 0, 8}, {"[jp4]AB", 16, -1},
    };
    for (const auto& c : cases)
        ExpectLines(c);
}

TEST_F(Render, ADownloadedGlyphShowsAtOnce) {
    ASSERT_TRUE(Show("AB"));
    EXPECT_EQ("###.###.........................", Picture()[0]);
    ASSERT_EQ(DB_OK, db_set(obj::characterWidth.row('A' - 1), 5, FLAGS));
    ASSERT_EQ(DB_OK,
              db_set_string(obj::characterBitmap.row('A' - 1), "\xAA\xAA\xAA\xAA", 4, FLAGS));
    ASSERT_TRUE(Show("AB"));
    EXPECT_EQ((Rows{"#.#.#.###", ".#.#..###"}), Band(0, 2, 9));
}

TEST_F(Render, CharacterMatrixCentresOnModuleColumns) {
    // 5-pixel modules (an unlisted module type); "AB" is 10 wide in a 36-pixel
    // sign: the centred start 13 is moved to the module column at 10.
    Sign(36, 7, 4, 5, 7);
    ASSERT_EQ(DB_OK, db_set(obj::halvModuleID, 1, FLAGS));
    AddFont({0, 1, 7, 1, 0, 5, {}});
    ASSERT_TRUE(Show("[jl3]AB"));
    EXPECT_EQ("..........##########................", Picture()[0]) << "no spacing either";
}

TEST_F(Render, ColourRectanglesBackgroundsAndFlashing) {
    const std::map<uint32_t, char> legend{{31, 'r'}, {992, 'g'}};
    ASSERT_TRUE(Show("[cr2,2,3,2,1]"));
    EXPECT_EQ((Rows{"......", ".rrr..", ".rrr..", "......"}), Band(0, 4, 6, legend));
    // Page background and a text background under glyphs and spacing.
    ASSERT_TRUE(Show("[pb3][cb1]AB"));
    EXPECT_EQ("###r###ggggggggggggggggggggggggg", Picture(legend)[0]);
    EXPECT_EQ(std::string(32, 'g'), Picture(legend)[5]);
    // Off phase first: only the background is painted, then the text shows.
    ASSERT_TRUE(Show("[cb1][flo5t5]AB[/fl]"));
    EXPECT_EQ("rrrrrrr.........................", Picture(legend)[0]);
    bool shown = false;
    for (int frame = 0; frame < 12 && !shown; ++frame) {
        ASSERT_EQ(1, render.ReparsePage(&parser, message.get()));
        shown = Picture(legend)[0] == "###r###.........................";
    }
    EXPECT_TRUE(shown) << "the on phase follows";
    // Simulation control mode: the page is blanked, nothing lit is drawn.
    ASSERT_EQ(DB_OK, db_set(obj::dmsControlMode, 6, FLAGS));
    ASSERT_TRUE(Show("[pb3][cb1]AB"));
    EXPECT_EQ(std::string(32, '.'), Picture(legend)[0]);
}

// --- moving text ---------------------------------------------------------------

struct MovingCase {
    const char* text;
    std::vector<std::string> frames; // the box's columns, frame after frame
};

TEST_F(Render, MovingTextStepsInItsFourModes) {
    const MovingCase cases[] = {
        // Circular to the left: "WI" (8 wide with its leading spacing) in a
        // 16-pixel box, 2 pixels a frame, copies side by side.
        {"[mvcl16,2,1,WI]",
         {"####.#.#####.#.#", "##.#.#####.#.###", ".#.#####.#.#####", ".#####.#.#####.#",
          "####.#.#####.#.#"}},
        // Circular to the right.
        {"[mvcr16,2,1,WI]", {"#.#####.#.#####.", "#.#.#####.#.####", "###.#.#####.#.##"}},
        // Linear to the left: "WIAB" (16 wide) in an 8-pixel box: starts at
        // the box's left, moves until its end reaches the box's right, pauses
        // a frame and starts again.
        {"[mvl1l8,2,1,WIAB]",
         {".#####.#", "####.#.#", "##.#.###", ".#.###.#", ".###.###", ".###.###", ".#####.#",
          "####.#.#"}},
        // Linear to the right: starts with its end in the box, moves right
        // until its start reaches the box's left, then starts again.
        {"[mvl1r8,2,1,WIAB]",
         {".###.###", ".#.###.#", "##.#.###", "####.#.#", ".#####.#", ".###.###"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        ASSERT_TRUE(Show(c.text));
        size_t width = c.frames[0].size();
        for (size_t f = 0; f < c.frames.size(); ++f) {
            if (f > 0) {
                ASSERT_EQ(1, render.ReparsePage(&parser, message.get()));
            }
            EXPECT_EQ(c.frames[f], Band(0, 1, width)[0]) << "frame " << f + 1;
            EXPECT_EQ(std::string(32 - width, '.'), Picture()[0].substr(width)) << "clipped";
        }
    }
}

TEST_F(Render, EmptyMovingTextDrawsNothing) {
    ASSERT_TRUE(Show("[mvcl16,1,5,]A"));
    for (int frame = 0; frame < 3; ++frame)
        ASSERT_EQ(1, render.ReparsePage(&parser, message.get()));
    EXPECT_EQ("................###.............", Picture()[0]) << "the text after the box";
}

// --- graphics and bitmaps ------------------------------------------------------------

struct GraphicCase {
    const char* name;
    uint32_t type, width, height, block_size;
    std::vector<std::string> blocks;
    std::string transparent;
    const char* text;
    Rows expected; // the top-left corner of the sign
};

TEST_F(Render, GraphicsOfEachTypeWithTransparency) {
    const std::map<uint32_t, char> legend{{31, 'r'}, {992, 'g'}, {31744, 'b'}};
    const GraphicCase cases[] = {
        {"1 bit", 1, 4, 2, 1, {"\xA5"}, "", "[g1,3,2]", {".....", "..#.#", "...#."}},
        {"1 bit, clear bits in the text background",
         1,
         4,
         2,
         1,
         {"\xA5"},
         "",
         "[cb1][g1,1,1]",
         {"#r#r", "r#r#"}},
        {"1 bit, clear bits transparent",
         1,
         4,
         2,
         1,
         {"\xA5"},
         std::string(1, '\0'),
         "[cb1][g1,1,1]",
         {"#.#.", ".#.#"}},
        {"1 bit, set bits transparent",
         1,
         4,
         2,
         1,
         {"\xA5"},
         "\x01",
         "[cb1][g1,1,1]",
         {".r.r", "r.r."}},
        {"1 bit, 8 pixels a block",
         1,
         4,
         4,
         1,
         {"\xF0\x0F", "\x81"},
         "",
         "[g1,1,1]",
         {"####", "....", "#...", "...#"}},
        {"8 bits, one colour",
         2,
         3,
         1,
         4,
         {std::string("\0\x05\x07", 3)},
         "\x05",
         "[cb1][g1,1,1]",
         {"r.#"}},
        {"classic colours", 3, 3, 1, 3, {std::string("\x01\x03\0", 3)}, "", "[g1,1,1]", {"rg."}},
        {"24-bit colour, two pixels a block",
         4,
         3,
         1,
         6,
         {std::string("\0\0\xFF\xFF\0\0", 6), std::string("\0\xFF\0", 3)},
         "",
         "[g1,1,1]",
         {"rbg"}},
        {"24-bit colour, red transparent",
         4,
         3,
         1,
         6,
         {std::string("\0\0\xFF\xFF\0\0", 6), std::string("\0\xFF\0", 3)},
         std::string("\xFF\0\0", 3),
         "[g1,1,1]",
         {".bg"}},
        {"bytes a block does not hold read as 0",
         2,
         4,
         1,
         4,
         {"\x01\x01"},
         "",
         "[g1,1,1]",
         {"##.."}},
        {"blocks of no pixel draw nothing",
         4,
         3,
         1,
         2,
         {"\xFF\xFF", "\xFF\xFF"},
         "",
         "[g1,1,1]",
         {"..."}},
        {"block size 0 draws nothing", 2, 3, 1, 0, {"\x01\x01\x01"}, "", "[g1,1,1]", {"..."}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(DB_OK, db_set(obj::dmsGraphicBlockSize, c.block_size, FLAGS));
        AddGraphic(0, 1, c.type, c.width, c.height, c.blocks, c.transparent);
        ASSERT_TRUE(Show(c.text));
        EXPECT_EQ(c.expected, Band(0, int(c.expected.size()), c.expected[0].size(), legend));
    }
}

TEST_F(Render, GraphicReadsOnlyItsOwnBlocks) {
    // 64 one-byte pixels need 64 blocks; a graphic has 63. The block after
    // them belongs to the next graphic row and is not read.
    ASSERT_EQ(DB_OK, db_set(obj::dmsGraphicBlockSize, 1, FLAGS));
    AddGraphic(0, 1, 2, 8, 8, std::vector<std::string>(63, "\x01"));
    AddGraphic(1, 2, 2, 1, 1, {"\x01"});
    ASSERT_TRUE(Show("[g1,1,1]"));
    Rows band = Band(0, 8, 8);
    EXPECT_EQ("#######.", band[7]);
    EXPECT_EQ("########", band[6]);
}

TEST_F(Render, GraphicAndFontStatusesInUseAfterDrawing) {
    ASSERT_EQ(DB_OK, db_set(obj::dmsGraphicBlockSize, 1, FLAGS));
    AddGraphic(0, 1, 1, 8, 1, {"\xFF"}, "", 4);
    AddGraphic(1, 2, 1, 8, 1, {"\xFF"}, "", 6);
    AddGraphic(2, 3, 1, 8, 1, {"\xFF"}, "", 2);
    const std::string text = "[pb1][g1,1,1][g2,1,2]A";
    ASSERT_EQ(MULTI_OK, Validate(text));
    EXPECT_EQ(4u, db_get(obj::dmsGraphicStatus.row(0))) << "measuring changes nothing";
    EXPECT_EQ(4u, db_get(obj::fontStatus.row(0)));
    ASSERT_TRUE(Show(text));
    EXPECT_EQ(5u, db_get(obj::dmsGraphicStatus.row(0)));
    EXPECT_EQ(6u, db_get(obj::dmsGraphicStatus.row(1))) << "permanent stays permanent";
    EXPECT_EQ(5u, db_get(obj::fontStatus.row(0)));
    // A page that starts with a graphic is filled with its background first.
    EXPECT_EQ((Rows{"########r", "########r", "###rrrrrr", "###rrrrrr", "###rrrrrr", "rrrrrrrrr"}),
              Band(0, 6, 9, {{31, 'r'}}));
    EXPECT_EQ(MULTI_GRAPHIC_NOT_DEFINED, Validate("AB[g3,1,1]")) << "status not ready";
    EXPECT_EQ(MULTI_GRAPHIC_NOT_DEFINED, Validate("[g9]")) << "no such graphic";
}

TEST_F(Render, BitmapFileDrawnAtItsPosition) {
    host::host_options().flash_size = 512 * 1024;
    std::string error;
    ASSERT_TRUE(host::monitor_start(host::host_options(), error)) << error;
    std::ifstream in(std::string(TEST_SOURCE_DIR) + "/display/fixtures/red_3x2.bmp",
                     std::ios::binary);
    std::string bmp((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GE(mon_tfsadd("Bitmaps/red.bmp", "", "",
                         reinterpret_cast<const unsigned char*>(bmp.data()), int(bmp.size())),
              0);
    ASSERT_TRUE(Show("[ms11,g,2,1,red.bmp]"));
    EXPECT_EQ((Rows{"......", "..rrr.", "..rrr.", "......"}), Band(0, 4, 6, {{31, 'r'}}));
    host::monitor_stop();
}

// --- fields ----------------------------------------------------------------------

TEST_F(Render, FieldsShowTheirValuesAndAreRecorded) {
    Sign(400, 16, 6);
    struct tm when {};
    when.tm_year = 2026 - 1900;
    when.tm_mon = 11;
    when.tm_mday = 10; // a Thursday
    when.tm_hour = 9;
    when.tm_min = 5;
    ASSERT_EQ(DB_OK, db_set(obj::controllerLocalTime, tm_to_seconds(when), FLAGS));
    ASSERT_EQ(DB_OK, db_set(obj::tempMaxAmbient, 0xFB, FLAGS)); // -5 degrees Celsius
    ASSERT_EQ(DB_OK, db_set(obj::dmsCurrentSpeed, 100, FLAGS)); // km/h
    ASSERT_TRUE(Show("[f3,2] [f4,2] [f5,3] [f6,2] [f7] [f1] [f13] [f12]"));
    const std::pair<uint32_t, std::string> expected[] = {
        {3, "-5"},  {4, "23"},    {5, "100"},       {6, "62"},
        {7, "THU"}, {1, " 9:05"}, {13, " 9:05 am"}, {12, " 9:05 AM"},
    };
    for (uint32_t row = 0; row < 8; ++row) {
        SCOPED_TRACE(row);
        EXPECT_EQ(expected[row].first, db_get(obj::statMultiFieldCode.row(row)));
        uint32_t length = 0;
        const char* value = db_get_string(obj::statMultiCurrentFieldValue.row(row), &length);
        EXPECT_EQ(expected[row].second, std::string(value, length));
    }
    EXPECT_EQ(8u, db_get(obj::statMultiFieldRows));
    // "-5", a blank, "23".
    EXPECT_EQ("###.###.....###.###", Picture()[0].substr(0, 19));
}

TEST_F(Render, SpeedOfADetectorAndPrivateText) {
    ASSERT_EQ(DB_OK, db_set(obj::halvObj5_10_1_2.row(1), 100, FLAGS));
    ASSERT_EQ(DB_OK, db_set_string(obj::halvObj6_2, "HELLO", 5, FLAGS));
    const LineCase cases[] = {
        {"[ms11,spk,2,3]", 0, "###.###.###....................."},
        {"[ms11,spm,2,3]", 0, "....###.###....................."}, // " 62"
        {"[ms11,r,1,2]", 0, "###.###........................."},
        {"[ms11,r,3,9]", 0, "###.###........................."},  // to the end
        {"[ms11,r,9,2]A", 0, "###............................."}, // past the end: empty
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        ASSERT_TRUE(Show(c.text));
        EXPECT_EQ(c.row, Picture()[c.y]);
    }
}

TEST(RenderTimeField, ConversionsFlagsAndBounds) {
    struct tm t {};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 0;
    t.tm_mday = 4; // Sunday
    t.tm_yday = 3;
    t.tm_wday = 0;
    t.tm_hour = 13;
    t.tm_min = 7;
    t.tm_sec = 9;
    const std::pair<const char*, const char*> cases[] = {
        {"%a %A %b %B", "Sun Sunday Jan January"},
        {"%c", "Sun Jan 04 13:07:09 2026"},
        {"%x|%X", "Sun Jan 04 2026|13:07:09"},
        {"%d %H %I %j %m %M %S %y %Y %w", "04 13 01 004 01 07 09 26 2026 0"},
        {"%#d %#H %#I %#j %#m %#M %#S %#y", "4 13  1 4 1 7 9 26"},
        {"%p %P %Z%%", "pm PM %"},
        {"%U %W", "01 00"},
        {"at %H%q:%M", "at 13"}, // an unknown conversion ends the text
    };
    for (const auto& c : cases) {
        char buffer[50];
        uint32_t n = CRender::FormatTimeField(buffer, sizeof(buffer), c.first, t);
        EXPECT_EQ(c.second, std::string(buffer)) << c.first;
        EXPECT_EQ(std::strlen(c.second), n) << c.first;
    }
    char small[6];
    EXPECT_EQ(0u, CRender::FormatTimeField(small, sizeof(small), "%A", t)) << "did not fit";
    EXPECT_STREQ("Sunda", small);
}

// --- refusals --------------------------------------------------------------------

struct RefusalCase {
    const char* text;
    int error;
    uint32_t position;
};

TEST_F(Render, RefusalsCarryTheirPositions) {
    const RefusalCase cases[] = {
        {"WWWWWW", MULTI_TEXT_TOO_BIG, 6},         // the sixth W does not fit
        {"[jl2]AB WWWWW", MULTI_TEXT_TOO_BIG, 12}, // at the fourth W
        {"A[nl]B[nl]C[nl]D", MULTI_TEXT_TOO_BIG, 16},
        {"[jl2]AB[jl5]CD", MULTI_TAG_CONFLICT, 14},
        {"[jl5]AB[jl2]CD", MULTI_TAG_CONFLICT, 14},
        {"[jl9]X", MULTI_UNSUPPORTED_TAG_VALUE, 1},
        // An element without a position of its own whose first character
        // does not fit.
        {"[tr1,1,2,5][hc41]", MULTI_TEXT_TOO_BIG, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(c.error, Validate(c.text));
        EXPECT_EQ(c.position, ErrorPosition());
        EXPECT_FALSE(Show(c.text)) << "the page is not drawn either";
    }
    EXPECT_NE(std::string::npos,
              test_support::ConsoleText().find("CRender:OnFieldFound Error Message too long at 6"));
    EXPECT_NE(std::string::npos, test_support::ConsoleText().find(
                                     "CRender:OnFieldFound Error Message too tall at 16"));
}

TEST_F(Render, MatrixSignsRefuseFullJustificationAndTallFonts) {
    Sign(40, 14, 4, 5, 7);
    AddFont({0, 1, 7, 0, 0, 5, {}});
    EXPECT_EQ(MULTI_UNSUPPORTED_TAG, Validate("[jl5]AB"));
    EXPECT_EQ(7u, ErrorPosition());
    Sign(40, 16, 5, 0, 4); // rows of 4 pixels, font of 7
    EXPECT_EQ(MULTI_TEXT_TOO_BIG, Validate("AB"));
    EXPECT_EQ(2u, ErrorPosition());
}

// Runs another message through the renderer before each element whose text
// begins with 'C': as a validation on the agent's thread and a preview on
// the front panel's would, between the runs of the message being drawn.
struct Interleaved {
    CRender* render;
    CMessage* other;
    CSurface preview;

    static int Callback(void* context, CMessage* m) {
        auto& self = *static_cast<Interleaved*>(context);
        const multi_element& e = m->element;
        if (e.kind == MULTI_ELEMENT_TEXT && e.text[0] == 'C') {
            static const char text[] = "[fo1]W[fo2]W";
            CMULTIParser p;
            self.render->ParseMessage(&p, self.other, text, sizeof(text) - 1);
            self.render->SetText(&p, self.other, text, sizeof(text) - 1);
            self.render->ParsePage(&p, self.other, 1);
        }
        return CRender::OnFieldFoundThunk(self.render, m);
    }
};

TEST_F(Render, OtherMessagesBetweenRunsLeaveTheSpacingAlone) {
    AddFont({1, 2, 5, 3, 0, 3, {}});
    const std::string text = "[jl3][fo1]AB[fo2]CD";
    std::unique_ptr<CMessage> other(new CMessage);
    Interleaved context{&render, other.get(), {}};
    context.preview.Create(16, 32, 15);
    other->surface = &context.preview;
    ASSERT_EQ(MULTI_OK, parser.Validate(&context, Interleaved::Callback, message.get(), text.data(),
                                        uint32_t(text.size())));
    render.SetText(&parser, message.get(), text.data(), uint32_t(text.size()));
    ASSERT_TRUE(parser.ParsePage(&context, Interleaved::Callback, message.get(), 1));
    // Measured 18 wide and centred at 7, drawn with 2 pixels between the runs.
    EXPECT_EQ(".......###.###..###...###.......", Picture()[0]);
}

} // namespace
