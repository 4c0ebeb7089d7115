// The renderer from its edges: MULTI text in, the sign's pixels out. Test
// font 1 (row 0): height 5, character spacing 1, glyphs 3 wide ('I' 1,
// 'W' 5), each a solid block; the sign is 32 x 16, full matrix, left and top
// justified by default, foreground amber ('#').
#include "tests/display/render_fixture.h"

#include <gtest/gtest.h>

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
}

} // namespace
