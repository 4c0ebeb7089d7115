// Frames: each format's byte layout, lit-pixel counting and byte transfer.
#include "display/disp/frame.h"

#include <gtest/gtest.h>

#include <vector>

using disp::frame;
using disp::pixel;

namespace {

std::vector<uint8_t> bytes_of(const frame& f) {
    return std::vector<uint8_t>(f.bytes(), f.bytes() + f.size_bytes());
}

uint32_t value_at(const frame& f, uint16_t x, uint16_t y) {
    pixel p(x, y, 0xDEAD);
    EXPECT_TRUE(f.get_pixel(p));
    return p.value;
}

bool set(frame& f, uint16_t x, uint16_t y, uint32_t v) {
    pixel p(x, y, v);
    return f.set_pixel(p);
}

} // namespace

// A fresh frame: byte size, fill pattern and lit count per format.
TEST(Frame, CreateSizesFillAndLitCount) {
    struct Case {
        uint32_t bits;
        uint16_t h, w;
        uint32_t value;
        uint32_t bytes;
        std::vector<uint8_t> first; // leading bytes of the buffer
        uint32_t lit;
    } cases[] = {
        {1, 10, 10, 1, 13, {0xFF, 0xFF}, 100},
        {1, 10, 10, 0, 13, {0x00, 0x00}, 0},
        {2, 3, 5, 2, 4, {0xAA, 0xAA, 0xAA, 0xAA}, 15},
        {2, 1, 4, 0, 1, {0x00}, 0},
        {3, 2, 4, 5, 3, {0x6D, 0xDB, 0xB6}, 8}, // 101 repeated from bit 0
        {3, 1, 1, 7, 1, {0x07}, 1},
        {15, 2, 3, 0x1234, 12, {0x34, 0x12, 0x34, 0x12}, 6},
        {24, 1, 2, 0x010203, 6, {0x03, 0x02, 0x01, 0x03, 0x02, 0x01}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bits << " bits, value " << c.value);
        frame f;
        ASSERT_TRUE(f.create(c.h, c.w, c.value, c.bits));
        EXPECT_EQ(c.bytes, f.size_bytes());
        EXPECT_EQ(c.lit, f.lit_count());
        EXPECT_EQ(c.bits, f.bits_per_pixel());
        EXPECT_EQ(c.h, f.height());
        EXPECT_EQ(c.w, f.width());
        std::vector<uint8_t> got = bytes_of(f);
        got.resize(c.first.size());
        EXPECT_EQ(c.first, got);
        EXPECT_EQ(c.value, value_at(f, uint16_t(c.w - 1), uint16_t(c.h - 1)));
    }
}

// Where one pixel's value lands in the buffer of a zeroed frame (4 x 2).
TEST(Frame, BitLayoutOfOnePixel) {
    struct Case {
        uint32_t bits;
        uint16_t x, y;
        uint32_t value;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {1, 0, 0, 1, {0x01}},
        {1, 3, 1, 1, {0x80}}, // pixel 7: most significant bit of byte 0
        {1, 1, 0, 9, {0x02}}, // any non-zero value stores 1
        {2, 0, 0, 3, {0x03, 0x00}},
        {2, 2, 0, 2, {0x20, 0x00}},
        {2, 1, 1, 1, {0x00, 0x04}}, // pixel 5: bits 2-3 of byte 1
        {3, 0, 0, 7, {0x07, 0x00, 0x00}},
        {3, 2, 0, 7, {0xC0, 0x01, 0x00}}, // bits 6-8 straddle bytes 0 and 1
        {3, 3, 1, 5, {0x00, 0x00, 0xA0}}, // pixel 7: bits 21-23
        {15, 1, 0, 0x7FFF, {0x00, 0x00, 0xFF, 0x7F, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {24, 0, 1, 0xABCDEF, {0,    0,    0,    0, 0, 0, 0, 0, 0, 0, 0, 0,
                              0xEF, 0xCD, 0xAB, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bits << " bits, pixel " << c.x << "," << c.y);
        frame f;
        ASSERT_TRUE(f.create(2, 4, 0, c.bits));
        ASSERT_TRUE(set(f, c.x, c.y, c.value));
        EXPECT_EQ(c.bytes, bytes_of(f));
        EXPECT_EQ(1u, f.lit_count());
    }
}

// A 3-bit pixel straddling two bytes leaves its neighbours' bits alone, and
// the last pixel of a frame whose bits end in the last byte stays inside it.
TEST(Frame, ThreeBitStraddleAndLastPixel) {
    frame f;
    ASSERT_TRUE(f.create(1, 8, 0, 3));
    for (uint16_t x = 0; x < 8; ++x)
        ASSERT_TRUE(set(f, x, 0, x));
    ASSERT_TRUE(set(f, 2, 0, 5)); // bits 6..8
    ASSERT_TRUE(set(f, 5, 0, 2)); // bits 15..17
    uint32_t expected[8] = {0, 1, 5, 3, 4, 2, 6, 7};
    for (uint16_t x = 0; x < 8; ++x)
        EXPECT_EQ(expected[x], value_at(f, x, 0)) << x;

    frame one;
    ASSERT_TRUE(one.create(1, 1, 0, 3));
    EXPECT_EQ(1u, one.size_bytes());
    ASSERT_TRUE(set(one, 0, 0, 6));
    EXPECT_EQ(6u, value_at(one, 0, 0));
    EXPECT_EQ(0x06, one.bytes()[0]);
}

// 2- and 3-bit frames refuse values beyond their range (nothing changes);
// 15- and 24-bit frames keep the low bits; init refuses out-of-range values.
TEST(Frame, ValueRanges) {
    struct Case {
        uint32_t bits, value;
        bool accepted;
        uint32_t stored;
    } cases[] = {
        {2, 3, true, 3},          {2, 4, false, 0},    {3, 7, true, 7},
        {3, 8, false, 0},         {1, 0x100, true, 1}, {15, 0x12345, true, 0x2345},
        {24, 0x1000000, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bits << " bits, value " << c.value);
        frame f;
        ASSERT_TRUE(f.create(1, 2, 0, c.bits));
        EXPECT_EQ(c.accepted, set(f, 1, 0, c.value));
        EXPECT_EQ(c.stored, value_at(f, 1, 0));
        EXPECT_EQ(c.stored ? 1u : 0u, f.lit_count());
        frame g;
        EXPECT_EQ(c.value <= (c.bits == 15 ? 0xFFFFu : (1u << c.bits) - 1),
                  g.create(1, 2, c.value, c.bits));
    }
}

TEST(Frame, LitCountFollowsTransitions) {
    frame f;
    ASSERT_TRUE(f.create(2, 2, 1, 1));
    EXPECT_EQ(4u, f.lit_count());
    ASSERT_TRUE(set(f, 0, 0, 0));
    ASSERT_TRUE(set(f, 0, 0, 0));
    EXPECT_EQ(3u, f.lit_count());
    ASSERT_TRUE(set(f, 0, 0, 1));
    EXPECT_EQ(4u, f.lit_count());

    frame rgb;
    ASSERT_TRUE(rgb.create(1, 1, 0, 24));
    ASSERT_TRUE(set(rgb, 0, 0, 0x010000));
    EXPECT_EQ(1u, rgb.lit_count());
    ASSERT_TRUE(set(rgb, 0, 0, 0x000001));
    EXPECT_EQ(1u, rgb.lit_count());
    ASSERT_TRUE(set(rgb, 0, 0, 0x010000));
    ASSERT_TRUE(set(rgb, 0, 0, 0));
    EXPECT_EQ(0u, rgb.lit_count());

    // Clear restores the initial value and reports whether nothing is lit.
    frame two;
    ASSERT_TRUE(two.create(2, 3, 0, 2));
    ASSERT_TRUE(set(two, 2, 1, 3));
    EXPECT_TRUE(two.clear());
    EXPECT_EQ(0u, value_at(two, 2, 1));
    frame lit;
    ASSERT_TRUE(lit.create(2, 3, 2, 2));
    ASSERT_TRUE(set(lit, 0, 0, 0));
    EXPECT_FALSE(lit.clear());
    EXPECT_EQ(6u, lit.lit_count());
}

TEST(Frame, RefusalsLeaveTheFrameUnchanged) {
    frame empty;
    pixel p(0, 0, 7);
    EXPECT_FALSE(empty.get_pixel(p));
    EXPECT_FALSE(empty.set_pixel(p));
    EXPECT_FALSE(empty.clear());
    EXPECT_FALSE(empty.destroy());
    EXPECT_EQ(0u, empty.lit_count());
    EXPECT_FALSE(empty.create(2, 2, 0, 4));
    EXPECT_FALSE(empty.create(2, 2, 0, 16));

    frame f;
    ASSERT_TRUE(f.create(3, 4, 0, 2));
    EXPECT_FALSE(f.create(5, 5, 1, 1)); // keeps the old state
    EXPECT_EQ(2u, f.bits_per_pixel());
    EXPECT_EQ(4u, f.width());
    pixel outside(4, 0, 0x55);
    EXPECT_FALSE(f.get_pixel(outside));
    EXPECT_EQ(0x55u, outside.value);
    pixel below(0, 3, 1);
    EXPECT_FALSE(f.get_pixel(below));
    EXPECT_FALSE(f.set_pixel(below));
    EXPECT_TRUE(f.destroy());
    EXPECT_EQ(0u, f.width());
    EXPECT_TRUE(f.create(1, 1, 1, 1));
}

TEST(Frame, CopyNeedsTheSameShape) {
    frame a, b, deeper, wider;
    ASSERT_TRUE(a.create(2, 4, 0, 2));
    ASSERT_TRUE(b.create(2, 4, 3, 2));
    ASSERT_TRUE(deeper.create(2, 4, 0, 3));
    ASSERT_TRUE(wider.create(2, 5, 0, 2));
    EXPECT_FALSE(a.copy(nullptr));
    EXPECT_FALSE(a.copy(&deeper));
    EXPECT_FALSE(a.copy(&wider));
    ASSERT_TRUE(a.copy(&b));
    EXPECT_EQ(bytes_of(b), bytes_of(a));
    EXPECT_EQ(0u, a.lit_count()); // bytes move, the count stays
}

TEST(Frame, ByteTransfer) {
    frame f;
    ASSERT_TRUE(f.create(10, 10, 1, 1));
    uint8_t out[40];
    uint32_t position = 0, got = 99;
    ASSERT_TRUE(f.read_bytes(position, out, sizeof out, got));
    EXPECT_EQ(13u, got);
    EXPECT_EQ(13u, position);
    EXPECT_EQ(0xFF, out[12]);
    EXPECT_EQ(0x00, out[13]);
    EXPECT_EQ(0x00, out[39]);
    EXPECT_FALSE(f.read_bytes(position, out, sizeof out, got));
    EXPECT_EQ(0u, got);
    position = 0;
    EXPECT_FALSE(f.read_bytes(position, nullptr, 4, got));

    // Chunked reads cover the frame exactly once.
    uint32_t total = 0;
    position = 0;
    while (f.read_bytes(position, out, 5, got))
        total += got;
    EXPECT_EQ(13u, total);

    const uint8_t zeros[13] = {};
    position = 10;
    EXPECT_FALSE(f.write_bytes(position, zeros, 4)); // 10 + 4 > 13
    EXPECT_EQ(10u, position);
    EXPECT_FALSE(f.write_bytes(position, nullptr, 1));
    EXPECT_TRUE(f.write_bytes(position, zeros, 3));
    EXPECT_EQ(13u, position);
    EXPECT_EQ(0u, value_at(f, 9, 9));
    EXPECT_EQ(100u, f.lit_count()); // bytes move, the count stays
    position = 0xFFFFFFF0u;
    EXPECT_FALSE(f.write_bytes(position, zeros, 0x20)); // no wrap-around
}
