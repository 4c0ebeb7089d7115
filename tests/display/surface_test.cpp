// Surfaces: storage at each depth, the drawing operations with clipping, and
// Windows bitmaps read from fixture files made with ImageMagick.
#include "display/surface.h"
#include "store/database.h"
#include "store/objects.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> fixture(const std::string& name) {
    std::ifstream in(std::string(TEST_SOURCE_DIR) + "/display/fixtures/" + name, std::ios::binary);
    EXPECT_TRUE(in.good()) << name;
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Pixels of the surface that are not 0, as "x,y" texts.
int lit_pixels(const CSurface& s) {
    int n = 0;
    for (int y = 0; y < s.GetHeight(); ++y)
        for (int x = 0; x < s.GetWidth(); ++x)
            n += s.GetPixel(x, y) != 0;
    return n;
}

} // namespace

// What a colour stores at each depth and what GetPixel gives back.
TEST(Surface, PixelStorageAtEachDepth) {
    struct Case {
        int bits;
        int32_t colour;
        std::vector<uint8_t> stored;
        uint32_t read;
    } cases[] = {
        {1, 0x7FFF, {1}, 0x7C00},
        {1, 0, {0}, 0},
        {1, 0x10000, {1}, 0x7C00},
        {2, 0x0010, {1}, 0x7C00},
        {2, 0x0020, {2}, 0x0370},
        {2, 0x7C00, {0}, 0},
        {2, 0x03FF, {3}, 0x7F70},
        {8, 0x1234, {0x34}, 0x34},
        {15, 0x7FFF, {0x7F, 0xFF}, 0x7FFF0000},
        {15, 0x12345, {0x23, 0x45}, 0x23450000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bits << " bits, colour " << c.colour);
        CSurface s;
        ASSERT_NE(nullptr, s.Create(2, 3, c.bits));
        EXPECT_EQ(uint32_t(6 * CSurface::BytesPerPixel(c.bits)), s.GetSize());
        s.SetPixel(2, 1, c.colour);
        std::vector<uint8_t> last(s.GetBuffer() + s.GetSize() - c.stored.size(),
                                  s.GetBuffer() + s.GetSize());
        EXPECT_EQ(c.stored, last);
        EXPECT_EQ(c.read, s.GetPixel(2, 1));
        EXPECT_EQ(0u, s.GetPixel(1, 1));
        EXPECT_EQ(uint32_t(lit_pixels(s)), s.CountLit()) << "the one-pass count reads alike";
        // A 2-bit pixel's unused high bits are not light.
        s.GetBuffer()[0] = c.bits == 2 ? 0xFC : s.GetBuffer()[0];
        EXPECT_EQ(uint32_t(lit_pixels(s)), s.CountLit());
    }
}

TEST(Surface, CreateKeepsOrReplacesTheBuffer) {
    CSurface s;
    EXPECT_FALSE(s.IsAllocated());
    EXPECT_EQ(0u, s.GetSize());
    uint8_t* first = s.Create(4, 5, 8);
    ASSERT_NE(nullptr, first);
    s.SetPixel(1, 1, 9);
    EXPECT_EQ(first, s.Create(4, 5, 8)); // same size and depth: the picture stays
    EXPECT_EQ(9u, s.GetPixel(1, 1));
    ASSERT_NE(nullptr, s.Create(4, 5, 15)); // a new depth: zeroed
    EXPECT_EQ(0u, s.GetPixel(1, 1));
    EXPECT_EQ(40u, s.GetSize());
    ASSERT_NE(nullptr, s.Create(5, 5, 15));
    EXPECT_EQ(50u, s.GetSize());

    for (int bad : {0, 3, 4, 16, 24})
        EXPECT_EQ(nullptr, s.Create(2, 2, bad)) << bad;
    EXPECT_FALSE(s.IsAllocated());
    EXPECT_EQ(nullptr, s.Create(0, 5, 1));
    EXPECT_EQ(nullptr, s.Create(5, -1, 1));
    EXPECT_EQ(nullptr, s.Create(100000, 100000, 15)); // refused, not attempted
    s.SetPixel(0, 0, 1);                              // no buffer: ignored
    EXPECT_EQ(0u, s.GetPixel(0, 0));
    s.Destroy();
    EXPECT_EQ(0u, s.GetSize());
}

// The drawing operations on an 8 x 6 surface of every depth, clipped at
// every edge; lit pixels read back as the colour stored at that depth.
TEST(Surface, DrawingOperationsClip) {
    struct Case {
        const char* what;
        void (*draw)(CSurface&);
        int lit;
        int x, y; // one pixel that must be lit
    } cases[] = {
        {"fill", [](CSurface& s) { s.Fill(1); }, 48, 7, 5},
        {"row", [](CSurface& s) { s.DrawHLine(2, 1); }, 8, 7, 2},
        {"row below", [](CSurface& s) { s.DrawHLine(6, 1); }, 0, -1, -1},
        {"row above", [](CSurface& s) { s.DrawHLine(-1, 1); }, 0, -1, -1},
        {"column", [](CSurface& s) { s.DrawVLine(7, 1); }, 6, 7, 0},
        {"column right", [](CSurface& s) { s.DrawVLine(8, 1); }, 0, -1, -1},
        {"rect", [](CSurface& s) { s.FillRect(1, 1, 3, 2, 1); }, 6, 3, 2},
        {"rect over corner", [](CSurface& s) { s.FillRect(6, 4, 5, 5, 1); }, 4, 7, 5},
        {"rect left top", [](CSurface& s) { s.FillRect(-2, -3, 4, 4, 1); }, 2, 1, 0},
        {"rect huge", [](CSurface& s) { s.FillRect(-5, -5, 0x7FFFFFFF, 0x7FFFFFFF, 1); }, 48, 0, 0},
        {"rect empty", [](CSurface& s) { s.FillRect(1, 1, 0, 3, 1); }, 0, -1, -1},
        {"rect negative", [](CSurface& s) { s.FillRect(3, 3, -2, 2, 1); }, 0, -1, -1},
        {"pixels outside",
         [](CSurface& s) {
             s.SetPixel(-1, 0, 1);
             s.SetPixel(8, 0, 1);
             s.SetPixel(0, 6, 1);
         },
         0, -1, -1},
    };
    const struct {
        int bits;
        uint32_t read;
    } depths[] = {{1, 0x7C00}, {2, 0x7C00}, {8, 0x01}, {15, 0x00010000}};
    for (auto& depth : depths) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << c.what << " at " << depth.bits << " bits");
            CSurface s;
            ASSERT_NE(nullptr, s.Create(6, 8, depth.bits));
            c.draw(s);
            EXPECT_EQ(c.lit, lit_pixels(s));
            if (c.x >= 0) {
                EXPECT_EQ(depth.read, s.GetPixel(c.x, c.y));
            }
        }
    }
}

TEST(Surface, ClearHonoursKeepContent) {
    CSurface s;
    ASSERT_NE(nullptr, s.Create(2, 2, 8));
    s.Fill(0x55);
    s.SetKeepContent(1);
    s.Clear();
    EXPECT_EQ(4, lit_pixels(s));
    s.SetKeepContent(0);
    s.Clear();
    EXPECT_EQ(0, lit_pixels(s));
}

// In simulation control mode a lit fill does nothing; a fill with 0 blanks.
TEST(Surface, FillInSimulationMode) {
    ASSERT_EQ(DB_OK, db_set(obj::dmsControlMode, 6, DB_NO_VALIDATE | DB_NO_JOURNAL));
    CSurface s;
    ASSERT_NE(nullptr, s.Create(2, 3, 15));
    s.SetPixel(0, 0, 0x1F);
    s.Fill(0x7FFF);
    EXPECT_EQ(1, lit_pixels(s));
    s.Fill(0);
    EXPECT_EQ(0, lit_pixels(s));
    s.DrawHLine(1, 0x7FFF); // only Fill is suppressed
    EXPECT_EQ(3, lit_pixels(s));
    ASSERT_EQ(DB_OK, db_set(obj::dmsControlMode, 4, DB_NO_VALIDATE | DB_NO_JOURNAL));
    s.Fill(0x7FFF);
    EXPECT_EQ(6, lit_pixels(s));
}

// 24-bit bitmap: rows of 12 bytes (9 and 3 of padding), stored bottom-up.
TEST(Surface, DrawsATrueColourBitmap) {
    std::vector<uint8_t> bmp = fixture("rgb_3x2.bmp");
    ASSERT_EQ(54u + 2 * 12, bmp.size());
    CSurface s;
    ASSERT_NE(nullptr, s.Create(4, 5, 15));
    ASSERT_EQ(1, s.DrawBitmap(bmp.data(), uint32_t(bmp.size()), 1, 2));
    struct {
        int x, y;
        uint32_t colour;
    } expected[] = {
        {1, 2, 0x001F}, {2, 2, 0x03E0}, {3, 2, 0x7C00}, // red, green, blue
        {1, 3, 0x7FFF}, {2, 3, 0},      {3, 3, 0},      // white, black, black
        {0, 2, 0},      {4, 2, 0},      {1, 1, 0},
    };
    for (auto& e : expected)
        EXPECT_EQ(e.colour << 16, s.GetPixel(e.x, e.y)) << e.x << "," << e.y;

    // On a 1-bit surface every non-black pixel lights; past the edges it clips.
    CSurface mono;
    ASSERT_NE(nullptr, mono.Create(2, 2, 1));
    ASSERT_EQ(1, mono.DrawBitmap(bmp.data(), uint32_t(bmp.size()), -1, 0));
    EXPECT_EQ(0x7C00u, mono.GetPixel(0, 0)); // green
    EXPECT_EQ(0x7C00u, mono.GetPixel(1, 0)); // blue
    EXPECT_EQ(0u, mono.GetPixel(0, 1));      // black
    CSurface red;
    ASSERT_NE(nullptr, red.Create(2, 3, 15));
    std::vector<uint8_t> all_red = fixture("red_3x2.bmp");
    ASSERT_EQ(1, red.DrawBitmap(all_red.data(), uint32_t(all_red.size()), 0, 0));
    EXPECT_EQ(0x001Fu << 16, red.GetPixel(2, 1));
}

TEST(Surface, DrawsAPaletteBitmap) {
    std::vector<uint8_t> bmp = fixture("palette8_40x2.bmp");
    CSurface s;
    ASSERT_NE(nullptr, s.Create(2, 40, 15));
    ASSERT_EQ(1, s.DrawBitmap(bmp.data(), uint32_t(bmp.size()), 0, 0));
    // A gradient from blue (index 39, on the left) to red (index 0).
    EXPECT_EQ(0x7C00u << 16, s.GetPixel(0, 0));
    EXPECT_EQ(0x7C00u << 16, s.GetPixel(0, 1));
    EXPECT_EQ(0x540Au << 16, s.GetPixel(13, 1)); // blue 0xAA, red 0x55
    EXPECT_EQ(0x001Fu << 16, s.GetPixel(39, 1));
}

// The later 108- and 124-byte info headers: the palette follows the header,
// wherever that ends, and the file draws as its 40-byte form does.
TEST(Surface, PaletteBitmapsWithLongerInfoHeadersDrawTheSame) {
    const std::vector<uint8_t> bmp = fixture("palette8_40x2.bmp");
    CSurface reference;
    ASSERT_NE(nullptr, reference.Create(2, 40, 15));
    ASSERT_EQ(1, reference.DrawBitmap(bmp.data(), uint32_t(bmp.size()), 0, 0));
    for (uint8_t header : {108, 124}) {
        SCOPED_TRACE(int(header));
        std::vector<uint8_t> longer = bmp;
        longer.insert(longer.begin() + 54, header - 40, 0);
        longer[14] = header;
        const unsigned offset = (bmp[10] | bmp[11] << 8) + header - 40; // pixels move too
        longer[10] = uint8_t(offset);
        longer[11] = uint8_t(offset >> 8);
        CSurface s;
        ASSERT_NE(nullptr, s.Create(2, 40, 15));
        ASSERT_EQ(1, s.DrawBitmap(longer.data(), uint32_t(longer.size()), 0, 0));
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 40; ++x)
                ASSERT_EQ(reference.GetPixel(x, y), s.GetPixel(x, y)) << x << "," << y;
    }
}

// Files that are not drawn: other depths, truncated, top-down, bad sizes.
TEST(Surface, RefusesBitmapsItCannotTrust) {
    std::vector<uint8_t> good = fixture("rgb_3x2.bmp");
    auto patched = [&](size_t at, std::vector<uint8_t> bytes) {
        std::vector<uint8_t> copy = good;
        for (size_t i = 0; i < bytes.size(); ++i)
            copy[at + i] = bytes[i];
        return copy;
    };
    struct Case {
        const char* what;
        std::vector<uint8_t> file;
    } cases[] = {
        {"4 bits per pixel", fixture("palette_5x3.bmp")},
        {"16 bits per pixel", patched(28, {16, 0})},
        {"truncated", fixture("truncated_rgb_3x2.bmp")},
        {"top-down (negative height)", fixture("topdown_rgb_3x2.bmp")},
        {"height 0", patched(22, {0, 0, 0, 0})},
        {"width 0", patched(18, {0, 0, 0, 0})},
        {"huge height", patched(22, {0xFF, 0xFF, 0xFF, 0x7F})},
        {"huge width", patched(18, {0xFF, 0xFF, 0xFF, 0x3F})},
        {"pixels past the end", patched(10, {60, 0, 0, 0})},
        {"offset inside the header", patched(10, {10, 0, 0, 0})},
        {"compressed", patched(30, {1, 0, 0, 0})},
        {"not a bitmap", patched(0, {'X', 'Y'})},
        {"header only", std::vector<uint8_t>(good.begin(), good.begin() + 40)},
        {"12-byte core header", patched(14, {12, 0, 0, 0})},
        {"info header past the end", patched(14, {0xFF, 0xFF, 0, 0})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CSurface s;
        ASSERT_NE(nullptr, s.Create(4, 4, 15));
        EXPECT_EQ(0, s.DrawBitmap(c.file.data(), uint32_t(c.file.size()), 0, 0));
        EXPECT_EQ(0, lit_pixels(s));
    }
    CSurface s;
    ASSERT_NE(nullptr, s.Create(4, 4, 15));
    EXPECT_EQ(0, s.DrawBitmap(nullptr, 100, 0, 0));
    // The size given, not the file's own claims, bounds what is read.
    EXPECT_EQ(0, s.DrawBitmap(good.data(), uint32_t(good.size() - 1), 0, 0));
}

// An 8-bit file whose palette is shorter than its indexes reads black there.
TEST(Surface, ShortPaletteReadsBlack) {
    std::vector<uint8_t> bmp = fixture("palette8_40x2.bmp");
    // Move the pixels up to just after two palette entries.
    uint32_t offset = bmp[10] | bmp[11] << 8;
    std::vector<uint8_t> cut(bmp.begin(), bmp.begin() + 54 + 8);
    cut.insert(cut.end(), bmp.begin() + offset, bmp.end());
    cut[10] = 54 + 8;
    cut[11] = 0;
    CSurface s;
    ASSERT_NE(nullptr, s.Create(2, 40, 15));
    ASSERT_EQ(1, s.DrawBitmap(cut.data(), uint32_t(cut.size()), 0, 0));
    EXPECT_EQ(0x001Fu << 16, s.GetPixel(39, 0)); // index 0: inside
    EXPECT_EQ(0u, s.GetPixel(0, 1));             // index 39: beyond the two entries
}
