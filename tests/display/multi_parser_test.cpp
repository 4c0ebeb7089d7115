// The MULTI parser and its tags, driven through Validate (the measuring pass
// of every page) and ParsePage (both passes) with a recording callback.
#include "console/monitor_task.h"
#include "display/multi_tags.h"
#include "multi_fake.h"
#include "tests/support/kernel_fixture.h"

#include <gtest/gtest.h>

using multi_test::Bench;

namespace {

struct Case {
    const char* text;
    int result;
    uint32_t position;    // checked when the result is not 2
    const char* elements; // recorded by Validate; null: not checked
};

class MultiParser : public test_support::KernelFixture {
  protected:
    Bench bench;
    void RunTable(const Case* cases, size_t count) {
        for (size_t i = 0; i < count; ++i) {
            const Case& c = cases[i];
            SCOPED_TRACE(c.text);
            EXPECT_EQ(c.result, bench.Validate(c.text));
            if (c.result != MULTI_OK) {
                EXPECT_EQ(c.position, bench.message.error_position);
            }
            if (c.elements) {
                EXPECT_EQ(c.elements, bench.recorder.Joined());
            }
        }
    }
};

#define RUN_TABLE(table) RunTable(table, sizeof(table) / sizeof(table[0]))

TEST_F(MultiParser, TextBracketsPagesAndUnknownTags) {
    static const Case cases[] = {
        {"[[abc]]", 2, 0, "T:[abc@2 T:]@7 14 15"},
        {"abc]", 3, 3, ""},
        {"[nl", 3, 1, ""},
        {"[x]", 3, 1, ""},
        {"[]", 3, 1, ""},
        {"ab[nl[x]", 3, 3, "T:ab@1"},
        {"page1[np]", 2, 0, "T:page1@1 14 15 17 14 15"},
        {"A[nl]B", 2, 0, "T:A@1 14 16 T:B@6 14 15"},
        {"[NL]", 2, 0, "14 16 14 15"},
        {"[JP3]A", 2, 0, "T:A@6 14 15"},
        {"[/MS]", 3, 1, ""},
        {"[/Ms]", 3, 1, ""},
        {"[/ms]", 2, 0, "14 15"},
        {"[/ms1]", 4, 1, ""},
        {"[/FL][/SC]", 2, 0, nullptr},
        {"[/fl3]", 4, 1, nullptr},
        {"[/sc1]", 4, 1, nullptr},
        {"1[np]2[np]3[np]4[np]5[np]6", 2, 0, nullptr},
        {"1[np]2[np]3[np]4[np]5[np]6[np]7", 12, 30, nullptr},
        {"1[np]2[np]3[np]4[np]5[np]6[np]", 12, 30, nullptr},
        {"[np3]", 4, 1, ""},
        {"A[np]B[NP]C", 2, 0, "T:A@1 14 15 17 T:B@6 14 15 17 T:C@11 14 15"},
    };
    RUN_TABLE(cases);
}

TEST_F(MultiParser, FontsJustificationSpacingAndPageTimes) {
    static const Case cases[] = {
        {"[fo21]", 4, 1, ""},
        {"[fo0]", 4, 1, ""},
        {"[fo9]", 6, 1, ""},
        {"[fo3]", 6, 1, ""},
        {"[fo2,BEEE]", 13, 1, ""},
        {"[fo2,BEEF]A", 2, 0, nullptr},
        {"[fo2,beef]", 2, 0, nullptr},
        {"[fo2,BEE]", 4, 1, nullptr},
        {"[fo2x]", 4, 1, nullptr},
        {"[fo]", 2, 0, nullptr},
        {"[jl03]", 4, 1, ""},
        {"[jl6]", 4, 1, ""},
        {"[jl5]", 2, 0, nullptr},
        {"A[jl2]B", 2, 0, "T:A@1 14 T:B@7 14 15"},
        {"[jp2]A[jp4]", 11, 7, nullptr},
        {"[jp2]A[jp2]", 2, 0, nullptr},
        {"[jp5]", 4, 1, nullptr},
        {"[jp2]A[tr1,1,50,16][jp4]B", 2, 0, "T:A@6 14 15 21 T:B@25 14 15"},
        {"[sc100]", 4, 1, nullptr},
        {"[sc5x]", 4, 1, nullptr},
        {"[sc-1]", 4, 1, nullptr},
        {"[sc5]A[/sc]", 2, 0, nullptr},
        {"[nl100]", 4, 1, nullptr},
        {"[nl5x]", 4, 1, nullptr},
        {"[pt256]", 4, 1, nullptr},
        {"[pt5o7x]", 4, 1, nullptr},
        {"[pt5o256]", 4, 1, nullptr},
        {"[flt100]", 4, 1, nullptr},
        {"[flt5o100]", 4, 1, nullptr},
        {"[flx]", 4, 1, nullptr},
        {"[flt5o3]A[/fl]", 2, 0, nullptr},
    };
    RUN_TABLE(cases);
}

TEST_F(MultiParser, ColoursRectanglesAndWindows) {
    static const Case cases[] = {
        {"[pb1]A", 2, 0, nullptr},           {"A[pb1]", 11, 2, nullptr},
        {"[g5][pb1]", 11, 5, nullptr},       {"[cr1,1,5,5,1][pb1]", 11, 14, nullptr},
        {"[pb300]", 4, 1, nullptr},          {"[pb1,2,300]", 4, 1, nullptr},
        {"[cb300]", 2, 0, nullptr}, // only a monochrome sign limits [cb]
        {"[pb255,128,0]", 2, 0, nullptr},    {"[cf1,2]", 4, 1, nullptr},
        {"[cf-1]", 4, 1, nullptr},           {"[cf][cb][cb4]", 2, 0, nullptr},
        {"[cr1,1,0,0,1]", 2, 0, "20 14 15"}, {"[cr0,1,5,5,1]", 4, 1, ""},
        {"[cr1,1,5,5,300]", 4, 1, ""},       {"[cr1,1,113,1,1]", 4, 1, ""},
        {"[cr1,1,112,32,1]", 2, 0, nullptr}, {"[cr1,1,5,5]", 4, 1, ""},
        {"[cr1,1,-5,5,1]", 4, 1, ""},        {"[tr1,1,0,0]", 2, 0, "15 21 14 15"},
        {"[tr0,1,5,5]", 4, 1, nullptr},      {"[tr1,1,113,5]", 4, 1, nullptr},
        {"[tr1,1,5]", 4, 1, nullptr},
    };
    RUN_TABLE(cases);
}

TEST_F(MultiParser, ContentTags) {
    bench.source.bitmaps.insert("pic.bmp");
    static const Case cases[] = {
        {"[hc41]", 2, 0, "C:41 14 15"},
        {"[hc141]", 2, 0, "C:41 14 15"},
        {"[HC4a]", 2, 0, "C:40 14 15"},
        {"[hc]", 2, 0, "C:00 14 15"},
        {"[g5,93,1]", 2, 0, "G:5,1234,93,1 14 15"},
        {"[g5,94,1]", 4, 1, ""},
        {"[g5,1,23]", 2, 0, nullptr},
        {"[g5,1,24]", 4, 1, nullptr},
        {"[g5,0,1]", 4, 1, nullptr},
        {"[g5]", 2, 0, "G:5,1234,1,1 14 15"},
        {"[g5,1,1,1234]", 2, 0, nullptr},
        {"[g5,1,1,1235]", 14, 1, nullptr},
        {"[g5,1,1,1234x]", 4, 1, nullptr},
        {"[g5,3]", 4, 1, nullptr},
        {"[g9]", 15, 1, nullptr},
        {"[g6]", 15, 1, nullptr},
        {"[g300]", 4, 1, ""},
        {"[g261]", 4, 1, ""},
        {"[f3,2]", 2, 0, "F4:%2d#3 14 15"},
        {"[f3]", 2, 0, "F4:%3d#3 14 15"},
        {"[f4,2]", 2, 0, "F5:%2d#4 14 15"},
        {"[f5]", 2, 0, "F7:%3d#5 14 15"},
        {"[f6]", 2, 0, "F6:%3d#6 14 15"},
        {"[f1]", 2, 0, "F3:%#I:%M#1 14 15"},
        {"[f2]", 2, 0, "F3:%H:%M#2 14 15"},
        {"[f7]", 2, 0, "F3:%a#7 14 15"},
        {"[f7,4]", 2, 0, "F3:%A#7 14 15"},
        {"[f13]", 2, 0, "F3:%#I:%M %p#13 14 15"},
        {"[f92]", 2, 0, "F4:-5#0 14 15"},
        {"[f93]", 2, 0, "F5:23#0 14 15"},
        {"[f99]", 2, 0, "F5:86#0 14 15"},
        {"[f3,100]", 4, 1, ""},
        {"[f]", 4, 1, ""},
        {"[f14]", 4, 1, ""},
        {"[f91]", 4, 1, ""},
        {"[f1,2,34]", 4, 1, ""},
        {"[f1,2,3]", 2, 0, nullptr},
        {"[mvcl30,2,5,SLOW]", 2, 0, "12 T:SLOW@13 11 14 15"},
        {"[mvcr30,2,5,A[nl]B]", 2, 0, "12 T:A@13 14 16 T:B@18 11 14 15"},
        {"[mvll30,2,5,A]", 2, 0, nullptr},
        {"[mvl0l30,2,5,A]", 3, 1, nullptr}, // a pause of 0 leaves "0" where "l" or "r" belongs
        {"[mvl7l30,2,5,A]", 2, 0, nullptr},
        {"[mvcl113,2,5,A]", 2, 0, nullptr}, // wider than the sign
        {"[mvcl30,300,5,A]", 2, 0, nullptr},
        {"[mvcl30,2,300,A]", 2, 0, nullptr},
        {"[mvl300l30,2,5,A]", 2, 0, nullptr},
        {"[mvcl-1,2,5,A]", 4, 1, nullptr},
        {"[mvcl30,-2,5,A]", 4, 1, nullptr},
        {"[mvcl70000,2,5,A]", 4, 1, nullptr},
        {"[mvxl30,2,5,A]", 3, 1, nullptr},
        {"[mvcx30,2,5,A]", 3, 1, nullptr},
        {"[mvcl30,2]", 3, 1, nullptr},
        {"[jl5][mvcl30,2,5,A]", 11, 6, nullptr},
        {"[ms11,r,-1,5]", 4, 1, ""},
        {"[ms11,r,0,5]", 2, 0, "R:0,5 14 15"},
        {"[ms11,r0,300]", 4, 1, ""},
        {"[ms11,spm,1,3]", 2, 0, "S:%3d,1,1 14 15"},
        {"[ms11,spk,4,2]", 2, 0, "S:%2d,2,4 14 15"},
        {"[ms11,spm,5,3]", 4, 1, ""},
        {"[ms11,spm,0,3]", 4, 1, ""},
        {"[ms11,spm,1,99]", 4, 1, ""},
        {"[ms11,spm,1,0]", 4, 1, ""},
        {"[ms11,spx,1,3]", 3, 1, ""},
        {"[ms11,spM,1,3]", 3, 1, ""},
        {"[ms5,whatever]", 2, 0, "14 15"},
        {"[ms]", 2, 0, nullptr},
        {"[ms11,zz]", 3, 1, nullptr},
        {"[ms11]", 3, 1, nullptr},
        {"[ms11,name,Exit 5]", 2, 0, "14 15"},
        {"[ms11,sc,3]", 2, 0, nullptr},
        {"[ms11,xy,5,9]", 2, 0, "18 14 15"},
        {"[ms11,xy,0,1]", 4, 1, nullptr},
        {"[ms11,xy,113,1]", 4, 1, nullptr},
        {"[ms11,xy,112,32]", 2, 0, nullptr},
        {"[ms11,xy,1,33]", 4, 1, nullptr},
        {"[ms11,cf,255,0,0][ms11,cb,0,0,255]", 2, 0, nullptr},
        {"[ms11,cf,256,0,0]", 4, 1, nullptr},
        {"[ms11,g,1,1,pic.bmp]", 2, 0, "B:Bitmaps/pic.bmp,1,1 14 15"},
        {"[ms11,g,1,1,none.bmp]", 4, 1, ""},
        {"[ms11,g]", 2, 0, "14 15"},
        {"[ms11,gpo,3,1]", 2, 0, "14 15"},
    };
    RUN_TABLE(cases);
    EXPECT_TRUE(bench.source.outputs.empty()) << "no output is set while validating";
}

TEST_F(MultiParser, ValuesTheTagsLeaveInTheMessage) {
    CMessage& m = bench.message;
    ASSERT_TRUE(bench.Page("[fo2]A"));
    EXPECT_EQ(2, m.font) << "the font number, not its table row";
    EXPECT_EQ(5u, m.current_font.GetRow());

    ASSERT_TRUE(bench.Page("[pt5o7][pt30]"));
    EXPECT_EQ(30, m.page_on_time);
    EXPECT_EQ(7, m.page_off_time) << "[ptX] leaves the off time";
    ASSERT_TRUE(bench.Page("[pt]"));
    EXPECT_EQ(0, m.page_on_time);
    ASSERT_TRUE(bench.Page("[pt9o9][pto]"));
    EXPECT_EQ(30, m.page_on_time);
    EXPECT_EQ(0, m.page_off_time);
    ASSERT_TRUE(bench.Page("[po5o7]"));
    EXPECT_EQ(5, m.page_on_time);
    EXPECT_EQ(7, m.page_off_time);

    ASSERT_TRUE(bench.Page("[flo3t6]"));
    EXPECT_EQ(2, m.flash_mode);
    EXPECT_EQ(6, m.flash_on_time);
    EXPECT_EQ(3, m.flash_off_time);
    ASSERT_TRUE(bench.Page("[flt2]"));
    EXPECT_EQ(1, m.flash_mode);
    EXPECT_EQ(5, m.flash_off_time) << "a missing time takes its default";

    ASSERT_TRUE(bench.Page("[pb255,128,0][cf1][cb9]"));
    EXPECT_EQ(31u | (16u << 5), m.page_background);
    EXPECT_EQ(31u, m.foreground);
    EXPECT_EQ(895, m.text_background);

    ASSERT_TRUE(bench.Page("[cr2,3,0,5,255,0,0]"));
    const msg_rectangle& r = m.rectangles[0];
    EXPECT_EQ((std::vector<uint32_t>{2, 3, 5, 111, 31}),
              (std::vector<uint32_t>{r.x, r.y, r.height, r.width, r.colour}));

    ASSERT_TRUE(bench.Page("[tr11,9,20,0]"));
    const msg_window& w = m.windows[1];
    EXPECT_EQ((std::vector<uint32_t>{10, 8, 30, 32}),
              (std::vector<uint32_t>{w.left, w.top, w.right, w.bottom}));

    EXPECT_EQ(MULTI_UNSUPPORTED_TAG, bench.Validate("[mvl3r40,7,15,A]x]"));
    ASSERT_TRUE(bench.Page("[mvl3r40,7,15,A]"));
    const msg_moving_text& mv = m.moving_texts[0];
    EXPECT_EQ(4, mv.mode);
    EXPECT_EQ(3, mv.pause_length);
    EXPECT_EQ(40, mv.width);
    EXPECT_EQ(7, mv.step);
    EXPECT_EQ(15, mv.frames_per_step) << "1.5 s at 10 frames per second";
    ASSERT_TRUE(bench.Page("[mvl999r40,300,99999999,A]"));
    EXPECT_EQ((std::vector<int>{255, 255, 255}),
              (std::vector<int>{mv.pause_length, mv.step, mv.frames_per_step}))
        << "values past a byte saturate";

    ASSERT_TRUE(bench.Page("[ms11,xy,5,9]"));
    EXPECT_EQ(4, m.lines[0][0].start_x);
    EXPECT_EQ(8, m.lines[0][0].top);
    EXPECT_EQ(1, m.line_justification[0]);
    EXPECT_EQ(3u, m.saved_line_justification);
    ASSERT_TRUE(bench.Page("[ms11,xy,5,9]A[nl]"));
    EXPECT_EQ(3, m.line_justification[0]) << "[nl] gives the justification back";

    ASSERT_TRUE(bench.Page("A[nl5]B[nl]"));
    EXPECT_EQ(5, m.lines[0][0].line_spacing);
    EXPECT_EQ(1, m.lines[0][1].line_spacing) << "half the font's line spacing of 2";
}

TEST_F(MultiParser, SignKindsChangeTheChecks) {
    multi_sign& sign = bench.source.sign;
    sign = multi_sign{120, 28, 5, 7, 4, 60, 5, 1, 0}; // character matrix, monochrome
    static const Case character_matrix[] = {
        {"[tr1,1,10,0]", 2, 0, nullptr},  {"[tr2,1,10,0]", 4, 1, nullptr},
        {"[tr1,2,10,0]", 4, 1, nullptr},  {"[ms11,g,1,1,pic.bmp]", 4, 1, nullptr},
        {"[ms11,xy,1,8]", 2, 0, nullptr}, {"[ms11,xy,1,9]", 4, 1, nullptr},
        {"[pb3]", 4, 1, nullptr},         {"[pb9]", 2, 0, nullptr},
        {"[cb3]", 4, 1, nullptr},         {"[cb9]", 2, 0, nullptr},
    };
    RUN_TABLE(character_matrix);
    ASSERT_TRUE(bench.Page("[mvcl30,7,5,A]"));
    EXPECT_EQ(5, bench.message.moving_texts[0].step) << "rounded to the module width";

    sign.colour_class = 2;
    EXPECT_EQ(MULTI_OK, bench.Validate("[pb3]"));
    EXPECT_EQ(MULTI_UNSUPPORTED_TAG_VALUE, bench.Validate("[pb2]"));
    sign.char_width = sign.char_height = 0;
    EXPECT_EQ(MULTI_UNSUPPORTED_TAG_VALUE, bench.Validate("[tr1,1,10,0]"));

    sign.special_features = 0x20;
    EXPECT_EQ(MULTI_OK, bench.Validate("[fo0]"));
    EXPECT_EQ(1, bench.message.font);
}

TEST_F(MultiParser, ConsoleReportsFontFaults) {
    test_support::ClearConsole();
    EXPECT_EQ(MULTI_FONT_VERSION_ID, bench.Validate("[fo1,1235]"));
    EXPECT_NE(std::string::npos,
              test_support::ConsoleText().find("Font Version ID does not match font.\n"));
    EXPECT_EQ(MULTI_FONT_NOT_DEFINED, bench.Validate("[fo3]"));
    EXPECT_NE(std::string::npos,
              test_support::ConsoleText().find("Font not ready for use  status = 1\n"));
}

TEST_F(MultiParser, BothPassesOfAPage) {
    EXPECT_TRUE(bench.Page("A[nl]B"));
    EXPECT_EQ("T:A@1 14 16 T:B@6 14 15 17 T:A@1 16 T:B@6", bench.recorder.Joined());
    EXPECT_EQ(6u, bench.message.next_page_position);

    EXPECT_TRUE(bench.Page("A[np]B", 2));
    EXPECT_EQ("T:B@6 14 15 17 T:B@6", bench.recorder.Joined());
    EXPECT_TRUE(bench.Page("A[np]B", 1));
    EXPECT_EQ("T:A@1 14 15 17 T:A@1", bench.recorder.Joined());
    EXPECT_EQ(5u, bench.message.next_page_position);
    bench.recorder.seen.clear();
    EXPECT_TRUE(bench.parser.NextPage(&bench.message));
    EXPECT_EQ("T:B@6 14 15 17 T:B@6", bench.recorder.Joined());
    EXPECT_EQ(1, bench.message.pages_shown);
    EXPECT_FALSE(bench.parser.NextPage(&bench.message)) << "no third page";
    EXPECT_EQ(0, bench.message.pages_shown);

    // The drawing pass starts from the attributes the page started with.
    bench.source.fonts[2] = multi_font_row{5, 0xBEEF, 4, 0};
    std::vector<int> fonts;
    bench.recorder.hook = [&](CMessage& m) {
        if (m.element.kind == MULTI_ELEMENT_TEXT) fonts.push_back(m.font);
        return MULTI_OK;
    };
    EXPECT_TRUE(bench.Page("A[fo2]B"));
    EXPECT_EQ((std::vector<int>{1, 2, 1, 2}), fonts);

    bench.recorder.hook = nullptr;
    EXPECT_FALSE(bench.Page("ab]"));
    EXPECT_EQ(2u, bench.message.error_position);
    EXPECT_FALSE(bench.Page(""));
}

TEST_F(MultiParser, OutputTagsActOnlyWhenShown) {
    EXPECT_TRUE(bench.Page("[ms11,gpo,3,1][ms11,gpo,10,0][ms11,gpo,11,1][ms11,gpo,2,5]"));
    ASSERT_EQ(4u, bench.source.outputs.size()) << "both passes; 11 and 5 ignored";
    EXPECT_EQ(std::make_pair(3u, true), bench.source.outputs[0]);
    EXPECT_EQ(std::make_pair(10u, false), bench.source.outputs[1]);
}

TEST_F(MultiParser, PageCountsAndPageStarts) {
    CMULTIParser& p = bench.parser;
    struct {
        const char* text;
        int pages;
    } counts[] = {{"page1[np]", 2}, {"[[np]]", 2}, {"a[NP]b[Np]c", 3}, {"abc", 1}, {"[np", 1}};
    for (const auto& c : counts)
        EXPECT_EQ(c.pages, p.CountPages(c.text, uint32_t(strlen(c.text)))) << c.text;
    EXPECT_EQ(0, p.CountPages("", 0));
    EXPECT_EQ(0, p.CountPages(nullptr, 5));
    std::string many;
    for (int i = 0; i < 600; ++i)
        many += "[np]";
    EXPECT_EQ(255, p.CountPages(many.data(), uint32_t(many.size())));

    // An escaped "[np]" still starts a page for ParsePage.
    bench.Page("A[[np]]B", 2);
    EXPECT_EQ(6u, bench.message.page_start_position);
    EXPECT_FALSE(bench.Page("A[np]B", 3));
}

TEST_F(MultiParser, TheCallbackCanStopThePage) {
    Bench& b = bench;
    // A refusal without a position of its own points at what ended the run.
    b.recorder.hook = [](CMessage& m) {
        return m.element.kind == MULTI_ELEMENT_TEXT ? MULTI_TEXT_TOO_BIG : MULTI_OK;
    };
    EXPECT_EQ(MULTI_TEXT_TOO_BIG, b.Validate("ABC[nl]"));
    EXPECT_EQ(3u, b.message.error_position);
    EXPECT_EQ(MULTI_TEXT_TOO_BIG, b.Validate("ABC"));
    EXPECT_EQ(3u, b.message.error_position);
    EXPECT_EQ(MULTI_TEXT_TOO_BIG, b.Validate("AB[[C"));
    EXPECT_EQ(2u, b.message.error_position);
    // The renderer's own position is kept.
    b.recorder.hook = [](CMessage& m) {
        if (m.element.kind != MULTI_ELEMENT_TEXT) return int(MULTI_OK);
        m.error_position = m.element.position + 1;
        return int(MULTI_TEXT_TOO_BIG);
    };
    EXPECT_EQ(MULTI_TEXT_TOO_BIG, b.Validate("xABC[nl]"));
    EXPECT_EQ(2u, b.message.error_position);
    // Refusals of content elements are not lost.
    b.recorder.hook = [](CMessage& m) {
        return m.element.kind == MULTI_ELEMENT_CHARACTER ? MULTI_FONT_NOT_DEFINED : MULTI_OK;
    };
    EXPECT_EQ(MULTI_FONT_NOT_DEFINED, b.Validate("A[hc41]"));
    EXPECT_EQ(2u, b.message.error_position);
}

TEST_F(MultiParser, TouchingPartsFailOnlyOnTheLastPage) {
    bool touch = false;
    bench.recorder.hook = [&](CMessage& m) {
        if (m.element.kind == MULTI_ELEMENT_TEXT)
            touch = std::string(m.element.text, m.element.count) == "A";
        if (m.element.kind == MULTI_ELEMENT_LINE_END && touch) {
            msg_line& l = m.lines[0][0];
            l.left_x = 0;
            l.left_width = 10;
            l.centre_x = 10;
            l.centre_width = 5;
        }
        return MULTI_OK;
    };
    EXPECT_EQ(MULTI_OK, bench.Validate("A[np]B"));
    EXPECT_EQ(MULTI_TEXT_TOO_BIG, bench.Validate("B[np]A"));
    EXPECT_EQ(MULTI_TEXT_TOO_BIG, bench.Validate("A"));
}

TEST_F(MultiParser, TooTallPagesAndTooLongTexts) {
    bench.recorder.hook = [](CMessage& m) {
        if (m.element.kind == MULTI_ELEMENT_LINE_END) {
            m.windows[0].bottom = 32;
            m.CurrentLine().top = 20;
            m.CurrentLine().height = 13;
        }
        return MULTI_OK;
    };
    TheMonitorTask().SetTraceLevel(1);
    test_support::ClearConsole();
    EXPECT_EQ(MULTI_TEXT_TOO_BIG, bench.Validate("A"));
    EXPECT_NE(std::string::npos,
              test_support::ConsoleText().find("CMultiParser::Validate: Error Message too tall\n"));
    bench.recorder.hook = nullptr;
    std::string longest(MULTI_MAX_TEXT, 'a');
    EXPECT_EQ(MULTI_OK, bench.Validate(longest));
    EXPECT_EQ(MULTI_TEXT_TOO_BIG, bench.Validate(longest + "a"));
    EXPECT_EQ(MULTI_OK, bench.Validate(""));
}

TEST_F(MultiParser, FlashRegionShowsOnAndOffForItsTimes) {
    ASSERT_TRUE(bench.Page("[flt5o5]A"));
    std::string phases;
    for (int frame = 0; frame < 20; ++frame) {
        bench.message.flash_mode = 0; // the display task restores the page's attributes
        ASSERT_TRUE(bench.parser.ReparsePage(&bench.message));
        phases += bench.message.flash[0].phase == 2 ? '+' : '-';
    }
    // The first frame was drawn by Page() itself.
    EXPECT_EQ("++++-----+++++-----+", phases);
}

} // namespace

namespace {

TEST_F(MultiParser, PagesShownAgainAndAgainStartFresh) {
    const std::string text = "[jp3]A[np][jp2]B";
    bench.Page(text);
    for (int round = 0; round < 2; ++round) {
        for (uint32_t page = 1; page <= 2; ++page) {
            EXPECT_TRUE(bench.parser.ParsePage(&bench.recorder, multi_test::Recorder::Callback,
                                               &bench.message, page))
                << "round " << round << " page " << page;
        }
    }
}

} // namespace
