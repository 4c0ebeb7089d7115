// The built-in fonts: every metric of the table, glyph lookup in the font
// image, and loading through the general-purpose buffer pool.
#include "display/fonts/mirel_font.h"
#include "runtime/gp_buffer.h"
#include "runtime/pools.h"
#include "tests/support/kernel_fixture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

// A built-in font inflated into a vector and read through the image reader.
class ImageFont : public CMirelFontBase {
  public:
    explicit ImageFont(uint32_t row) : bytes(CMirelFont::BLOCK_BYTES) {
        length = builtin_font_inflate(row, bytes.data(), uint32_t(bytes.size()));
        bound = length != 0 && Bind(bytes.data(), length);
    }
    const char* GetName() override { return "image"; }
    std::vector<uint8_t> bytes;
    uint32_t length = 0;
    bool bound = false;
};

struct Metrics {
    const char* name;
    int height, char_spacing, line_spacing, glyphs, first, last, min_width, max_width;
};

const Metrics TABLE[BUILTIN_FONT_COUNT] = {
    {"07X04_1_CP1252.FNT", 7, 1, 1, 222, 32, 255, 1, 7},
    {"07X06_2_CP1252.FNT", 7, 1, 1, 222, 32, 255, 1, 9},
    {"FW11X7_2_CP1252.FNT", 11, 2, 2, 222, 32, 255, 7, 7},
    {"FW07X5_1_NEMA4.FNT", 7, 1, 1, 222, 32, 255, 5, 5},
    {"08X04_1_CP1252.FNT", 8, 1, 1, 222, 32, 255, 1, 6},
    {"08X06_2_CP1252.FNT", 8, 1, 1, 222, 32, 255, 1, 9},
    {"FW14X8_2_CP1252.FNT", 14, 2, 2, 222, 32, 255, 8, 8},
    {"07GRAPH.FNT", 7, 0, 0, 94, 32, 125, 1, 32},
    {"11X07_2.FNT", 11, 2, 2, 224, 32, 255, 2, 10},
    {"11X09_3.FNT", 11, 2, 2, 224, 32, 255, 3, 11},
    {"14X08_2.FNT", 14, 4, 6, 224, 32, 255, 2, 12},
    {"14X10_3.FNT", 14, 3, 3, 224, 32, 255, 3, 15},
    {"16X08_2.FNT", 16, 3, 3, 224, 32, 255, 2, 12},
    {"16X10_3.FNT", 16, 3, 3, 224, 32, 255, 3, 14},
    {"09X06_2_CP1252.FNT", 9, 1, 1, 218, 32, 255, 2, 12},
    {"09X05_1_CP1252.FNT", 9, 1, 1, 220, 9, 255, 1, 11},
    {"09X08_3_CP1252.FNT", 9, 1, 1, 217, 32, 255, 2, 14},
    {"07X08_3_CP1252.FNT", 7, 1, 1, 217, 32, 255, 2, 14},
    {"08X08_3_CP1252.FNT", 8, 1, 1, 217, 32, 255, 2, 13},
    {"24x15_3_CP1252.FNT", 24, 2, 2, 222, 32, 255, 1, 21},
};

// A glyph's pixels as rows of '#' and '.', for comparing glyphs.
std::string picture(CFontBase& font, uint32_t code) {
    std::string s;
    for (uint32_t row = 0; row < font.GetHeight(); ++row) {
        for (uint32_t col = 0; col < font.GetCharWidth(code); ++col)
            s += font.GetPixel(code, col, row) ? '#' : '.';
        s += '\n';
    }
    return s;
}

} // namespace

TEST(BuiltinFonts, EveryMetricOfTheTableHolds) {
    for (uint32_t row = 0; row < BUILTIN_FONT_COUNT; ++row) {
        const Metrics& m = TABLE[row];
        SCOPED_TRACE(m.name);
        EXPECT_STREQ(m.name, builtin_font_table[row].name);
        ImageFont font(row);
        ASSERT_TRUE(font.bound);
        EXPECT_EQ(m.height, font.GetHeight());
        EXPECT_EQ(m.char_spacing, font.GetCharSpacing());
        EXPECT_EQ(m.line_spacing, font.GetLineSpacing());
        int glyphs = 0, first = 256, last = -1, narrowest = 256, widest = 0;
        uint32_t total = 0;
        for (uint32_t code = 0; code < 256; ++code) {
            uint32_t count = font.bytes[fnt_file::COUNTS + code];
            total += count;
            EXPECT_EQ(0u, count % font.BytesPerColumn()) << code;
            int w = font.GetCharWidth(code);
            if (w == 0) continue;
            ++glyphs;
            first = std::min<int>(first, code);
            last = std::max<int>(last, code);
            narrowest = std::min(narrowest, w);
            widest = std::max(widest, w);
        }
        EXPECT_EQ(m.glyphs, glyphs);
        EXPECT_EQ(m.first, first);
        EXPECT_EQ(m.last, last);
        EXPECT_EQ(m.min_width, narrowest);
        EXPECT_EQ(m.max_width, widest);
        EXPECT_EQ(fnt_file::GLYPHS + total, font.length); // 432 + the sum of the counts
    }
}

// The firmware's fonts are exactly their readable glyph sources: every glyph
// of every source file, and no glyph that is not in a source.
TEST(BuiltinFonts, ImagesMatchTheGlyphSources) {
    for (uint32_t row = 0; row < BUILTIN_FONT_COUNT; ++row) {
        std::string name = builtin_font_table[row].name;
        SCOPED_TRACE(name);
        std::ifstream in(std::string(TEST_SOURCE_DIR) + "/../display/fonts/glyphs/" + name +
                         ".txt");
        ASSERT_TRUE(in.good());
        std::map<uint32_t, std::string> source;
        std::string line;
        int code = -1;
        while (std::getline(in, line)) {
            if (line.rfind("glyph ", 0) == 0)
                code = std::stoi(line.substr(6));
            else if (code >= 0 && !line.empty() && (line[0] == '#' || line[0] == '.'))
                source[uint32_t(code)] += line + "\n";
        }
        ImageFont font(row);
        for (uint32_t c = 0; c < 256; ++c) {
            if (font.GetCharWidth(c) == 0) {
                EXPECT_EQ(0u, source.count(c)) << c;
                continue;
            }
            EXPECT_EQ(source[c], picture(font, c)) << c;
        }
    }
}

// Letters and digits are drawn, and no two of them look alike.
TEST(BuiltinFonts, LettersAndDigitsAreDistinctGlyphs) {
    const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (uint32_t row = 0; row < BUILTIN_FONT_COUNT; ++row) {
        if (row == 7) continue; // the graphics font has bars on the digits
        SCOPED_TRACE(builtin_font_table[row].name);
        ImageFont font(row);
        std::set<std::string> seen;
        for (char c : alphabet) {
            std::string p = picture(font, uint8_t(c));
            EXPECT_NE(std::string::npos, p.find('#')) << c;
            EXPECT_TRUE(seen.insert(p).second) << c << " looks like another glyph";
        }
    }
}

// The graphics font's bars are solid and as wide as their code says.
TEST(BuiltinFonts, GraphicsFontBars) {
    ImageFont font(7);
    for (uint32_t w = 1; w <= 32; ++w) {
        ASSERT_EQ(w, font.GetCharWidth(32 + w));
        for (uint32_t row = 0; row < 7; ++row)
            for (uint32_t col = 0; col < w; ++col)
                EXPECT_EQ(1, font.GetPixel(32 + w, col, row));
    }
}

// Pixel lookup in the column-major image, hand-built.
TEST(MirelFontBase, GlyphLookupInTheImage) {
    std::vector<uint8_t> image(fnt_file::GLYPHS, 0);
    image[fnt_file::HEIGHT] = 9; // two bytes a column
    image[fnt_file::LINE_SPACING] = 3;
    image[fnt_file::CHAR_SPACING] = 2;
    image[fnt_file::COUNTS + 'A'] = 4; // two columns
    image[fnt_file::COUNTS + 'B'] = 2; // one column
    // 'A': column 0 = rows 0 and 8, column 1 = row 7; 'B': row 1.
    image.insert(image.end(), {0x01, 0x01, 0x80, 0x00, 0x02, 0x00});
    struct Probe : CMirelFontBase {
        const char* GetName() override { return nullptr; }
    } font;
    ASSERT_EQ(1, font.Bind(image.data(), image.size()));
    EXPECT_EQ(9, font.GetHeight());
    EXPECT_EQ(3, font.GetLineSpacing());
    EXPECT_EQ(2, font.GetCharSpacing());
    EXPECT_EQ(0, font.GetStatus());
    struct {
        uint32_t code, col, row;
        int lit;
    } probes[] = {
        {'A', 0, 0, 1}, {'A', 0, 8, 1}, {'A', 0, 1, 0}, {'A', 1, 7, 1},
        {'A', 1, 8, 0}, {'A', 2, 0, 0}, // beyond the width
        {'A', 0, 9, 0},                 // beyond the height
        {'B', 0, 1, 1}, {'B', 0, 0, 0}, {'C', 0, 0, 0}, {300, 0, 0, 0},
    };
    for (auto& p : probes)
        EXPECT_EQ(p.lit, font.GetPixel(p.code, p.col, p.row))
            << p.code << " " << p.col << "," << p.row;
    EXPECT_EQ(2, font.GetCharWidth('A'));
    EXPECT_EQ(1, font.GetCharWidth('B'));
    EXPECT_EQ(0, font.GetCharWidth('C'));
    EXPECT_EQ(0, font.GetCharWidth(256));

    // An image whose counts claim more glyph bytes than it holds is refused.
    EXPECT_EQ(0, font.Bind(image.data(), image.size() - 1));
    EXPECT_FALSE(font.IsBound());
    EXPECT_EQ(0, font.GetHeight());
    EXPECT_EQ(0, font.GetPixel('A', 0, 0));
    EXPECT_EQ(0, font.Bind(image.data(), 100));
}

namespace {

void define_with_buffer_pool(void* first_unused) {
    test_support::define_pools(first_unused);
    uint8_t* cursor = static_cast<uint8_t*>(first_unused) + THREAD_STACKS_POOL_BYTES +
                      DYNAMIC_DATABASE_POOL_BYTES;
    TheGPBuffer().Create(&cursor, GP_BUFFER_BYTES);
}

class MirelFontTest : public ::testing::Test {
  protected:
    void SetUp() override {
        host::KernelConfig config;
        config.clock = host::ClockMode::Virtual;
        host::kernel_configure(config);
        host::kernel_start_for_test(define_with_buffer_pool);
        ASSERT_TRUE(TheGPBuffer().Created());
    }
};

} // namespace

TEST_F(MirelFontTest, LoadFindsTheFontByExactName) {
    uint32_t row = 99;
    EXPECT_EQ(1, CMirelFont::FindBuiltin("FW07X5_1_NEMA4.FNT", &row));
    EXPECT_EQ(3u, row);
    EXPECT_EQ(0, CMirelFont::FindBuiltin("fw07x5_1_nema4.fnt", &row)); // case matters
    EXPECT_EQ(0, CMirelFont::FindBuiltin(nullptr, &row));

    CMirelFont font;
    ASSERT_EQ(1, font.Load("FW07X5_1_NEMA4.FNT"));
    EXPECT_STREQ("FW07X5_1_NEMA4.FNT", font.GetName());
    EXPECT_EQ(7, font.GetHeight());
    EXPECT_EQ(1u, TheGPBuffer().Outstanding());
    for (uint32_t code = 32; code < 256; ++code) {
        int expected = code == 160 || code == 173 ? 0 : 5;
        EXPECT_EQ(expected, font.GetCharWidth(code)) << code;
    }
    font.Release();
    EXPECT_EQ(0u, TheGPBuffer().Outstanding());
    EXPECT_EQ(0, font.GetHeight());
}

TEST_F(MirelFontTest, UnknownNameLoadsRowZeroUnderThatName) {
    CMirelFont unknown, first;
    ASSERT_EQ(1, unknown.Load("NOSUCH.FNT"));
    ASSERT_EQ(1, first.Load("07X04_1_CP1252.FNT"));
    EXPECT_STREQ("NOSUCH.FNT", unknown.GetName());
    for (uint32_t code = 0; code < 256; ++code)
        ASSERT_EQ(picture(first, code), picture(unknown, code)) << code;
}

TEST_F(MirelFontTest, NameLengthAndPoolLimits) {
    CMirelFont font;
    EXPECT_EQ(0, font.Load(nullptr));
    EXPECT_EQ(0, font.Load(std::string(50, 'N').c_str()));
    EXPECT_EQ(0u, TheGPBuffer().Outstanding());
    EXPECT_EQ(1, font.Load(std::string(49, 'N').c_str()));
    // Loading again reuses the font's block.
    EXPECT_EQ(1, font.Load("24x15_3_CP1252.FNT"));
    EXPECT_EQ(24, font.GetHeight());
    EXPECT_EQ(1u, TheGPBuffer().Outstanding());

    // The pool holds a few 256 KB blocks; when none is free, Load refuses at once.
    std::vector<CMirelFont> fonts(20);
    int loaded = 0;
    for (CMirelFont& f : fonts)
        loaded += f.Load("07GRAPH.FNT");
    EXPECT_GT(loaded, 0);
    EXPECT_LT(loaded, 20);
    EXPECT_EQ(0, fonts.back().GetHeight());
}
