// multipng from the outside: a MULTI text in, one PNG a page out, read back
// and compared by where the lit pixels stand.
#include "tests/tools/tool_fixture.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// A picture as the PNG writer stores it: 8-bit RGB, filter 0 on every row.
struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    bool Lit(int x, int y) const {
        const uint8_t* p = &rgb[(size_t(y) * width + x) * 3];
        return p[0] || p[1] || p[2];
    }
};

uint32_t be32(const std::string& s, size_t at) {
    return uint32_t(uint8_t(s[at])) << 24 | uint32_t(uint8_t(s[at + 1])) << 16 |
           uint32_t(uint8_t(s[at + 2])) << 8 | uint8_t(s[at + 3]);
}

bool ReadPng(const std::string& path, Picture& picture) {
    std::ifstream in(path, std::ios::binary);
    std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (file.size() < 8 || file.compare(1, 3, "PNG") != 0) return false;
    std::string deflated;
    for (size_t at = 8; at + 12 <= file.size();) {
        uint32_t length = be32(file, at);
        std::string type = file.substr(at + 4, 4);
        if (type == "IHDR") {
            picture.width = int(be32(file, at + 8));
            picture.height = int(be32(file, at + 12));
        } else if (type == "IDAT") {
            deflated += file.substr(at + 8, length);
        }
        at += 12 + length;
    }
    size_t row = size_t(picture.width) * 3 + 1;
    std::vector<uint8_t> raw(row * size_t(picture.height));
    uLongf size = uLongf(raw.size());
    if (uncompress(raw.data(), &size, reinterpret_cast<const Bytef*>(deflated.data()),
                   uLong(deflated.size())) != Z_OK ||
        size != raw.size())
        return false;
    for (int y = 0; y < picture.height; ++y)
        picture.rgb.insert(picture.rgb.end(), raw.begin() + long(row * size_t(y)) + 1,
                           raw.begin() + long(row * size_t(y + 1)));
    return true;
}

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

TEST_F(Multipng, RefusalsAndUsage) {
    auto refused = Tool({"[jl9]X", dir_ + "/x.png"});
    EXPECT_EQ(1, refused.status);
    EXPECT_NE(std::string::npos, refused.output.find("multipng: MULTI error 4 at 1\n"))
        << refused.output;
    EXPECT_FALSE(fs::exists(dir_ + "/x.png"));
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
