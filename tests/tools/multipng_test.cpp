// multipng from the outside: a MULTI text in, one PNG a page out, read back
// and compared by where the lit pixels stand.
#include "tests/support/png_reader.h"
#include "tests/tools/tool_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

using test_support::Picture;
using test_support::ReadPng;

// The lit pixels' bounding box.
struct Box {
    int left = 1 << 20, top = 1 << 20, right = -1, bottom = -1;
};

Box LitBox(const Picture& p) {
    Box box;
    for (int y = 0; y < p.height; ++y) {
        for (int x = 0; x < p.width; ++x) {
            if (!p.Lit(x, y)) continue;
            box.left = std::min(box.left, x);
            box.right = std::max(box.right, x);
            box.top = std::min(box.top, y);
            box.bottom = std::max(box.bottom, y);
        }
    }
    return box;
}

class Multipng : public tools_test::ToolTest {
  protected:
    Multipng() : ToolTest("multipng") {}
    // Draws `text` on a 48 x 144 sign; the lit box of page 1.
    Box Drawn(const std::string& text) {
        std::string out = dir_ + "/page.png";
        auto result = Tool({"--size", "48x144", text, out});
        EXPECT_EQ(0, result.status) << result.output;
        Picture picture;
        EXPECT_TRUE(ReadPng(out, picture));
        EXPECT_EQ(144, picture.width);
        EXPECT_EQ(48, picture.height);
        return LitBox(picture);
    }
};

TEST_F(Multipng, CentresBothWays) {
    Box first = Drawn("[jp2][jl2]HELLO");
    Box last = Drawn("[jp4][jl4]HELLO");
    Box centre = Drawn("[jp3][jl3]HELLO");
    ASSERT_GE(first.right, first.left) << "something is drawn";
    EXPECT_EQ(first.right - first.left, centre.right - centre.left);
    EXPECT_EQ(first.left + (last.left - first.left) / 2, centre.left);
    EXPECT_EQ(first.top + (last.top - first.top) / 2, centre.top);
    EXPECT_LT(first.left, centre.left);
    EXPECT_LT(centre.left, last.left);
}

TEST_F(Multipng, OnePicturePerPage) {
    auto result = Tool({"[jl2]ONE[np][jl4]TWO[np]THREE", dir_ + "/msg.png"});
    ASSERT_EQ(0, result.status) << result.output;
    Picture one, two, three;
    ASSERT_TRUE(ReadPng(dir_ + "/msg.png", one));
    ASSERT_TRUE(ReadPng(dir_ + "/msg-2.png", two));
    ASSERT_TRUE(ReadPng(dir_ + "/msg-3.png", three));
    EXPECT_FALSE(fs::exists(dir_ + "/msg-4.png"));
    EXPECT_LT(LitBox(one).left, LitBox(two).left) << "page 2 right justified";
}

// Character (4) and line (5) matrix signs draw text in the default font's
// character size, as a full matrix (6) does.
TEST_F(Multipng, CharacterAndLineMatrixSignsDrawText) {
    for (const char* type : {"4", "5", "6"}) {
        SCOPED_TRACE(type);
        const std::string out = dir_ + "/type" + type + ".png";
        auto result = Tool({"--size", "48x144", "--sign-type", type, "HELLO", out});
        ASSERT_EQ(0, result.status) << result.output;
        Picture picture;
        ASSERT_TRUE(ReadPng(out, picture));
        Box box = LitBox(picture);
        EXPECT_GE(box.right - box.left, 15) << "five characters drawn";
    }
}

TEST_F(Multipng, RefusalsAndUsage) {
    // The refusal's dmsMultiSyntaxError value, its name and its position.
    const struct {
        const char* text;
        const char* said;
    } refusals[] = {
        {"[jl9]X", "multipng: MULTI error 4 (unsupportedTagValue) at 1\n"},
        {"BAD[xx]", "multipng: MULTI error 3 (unsupportedTag) at 4\n"},
    };
    for (const auto& r : refusals) {
        auto refused = Tool({r.text, dir_ + "/x.png"});
        EXPECT_EQ(1, refused.status) << r.text;
        EXPECT_NE(std::string::npos, refused.output.find(r.said)) << refused.output;
        EXPECT_FALSE(fs::exists(dir_ + "/x.png"));
    }
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"ONE"},
        {"--size", "48", "A", "a.png"},
        {"--size", "0x10", "A", "a.png"},
        {"--sign-type", "x", "A", "a.png"},
        {"--colour", "A", "a.png"},
        {"A", "a.png", "extra"},
    };
    for (const auto& args : bad)
        EXPECT_EQ(2, Tool(args).status) << (args.empty() ? "" : args[0]);
}

} // namespace
