// Random MULTI texts built from the tags the renderer acts on, with values at
// and past their limits, on full-, line- and character-matrix signs: every
// text is refused with a position inside it or drawn for a few frames, and
// nothing is read or written outside its record. Bounded in texts and time.
#include "tests/display/render_fixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>

namespace {

using render_test::FLAGS;

// Tag patterns; each %d takes a value from `numbers`.
const char* const pieces[] = {
    "[jl%d]",
    "[jp%d]",
    "[nl%d]",
    "[nl]",
    "[tr%d,%d,%d,%d]",
    "[mvcl%d,%d,%d,",
    "[mvcr%d,%d,%d,",
    "[mvl%dl%d,%d,%d,",
    "[mvl%dr%d,%d,%d,",
    "]",
    "[fo%d]",
    "[sc%d]",
    "[/sc]",
    "[g%d,%d,%d]",
    "[cr%d,%d,%d,%d,%d]",
    "[f%d,%d]",
    "[hc%d]",
    "[ms11,r,%d,%d]",
    "[ms11,spm,%d,%d]",
    "[flt%do%d]",
    "[/fl]",
    "[cb%d]",
    "[pb%d]",
    "[np]",
    "[ms11,xy,%d,%d]",
    "WIDE TEXT",
    "A",
    "IW",
    "",
};
// Mostly values a sign takes, some at or past the limits.
const int numbers[] = {1, 1, 1, 2, 2, 2, 3, 4, 5, 8, 1, 2, 3, 0, 7, 16, 31, 33, 255, -1, 99999};

std::string random_text(std::mt19937& rng) {
    std::string text;
    int count = 1 + int(rng() % 8);
    for (int i = 0; i < count; ++i) {
        const char* piece = pieces[rng() % (sizeof(pieces) / sizeof(pieces[0]))];
        for (const char* p = piece; *p; ++p) {
            if (p[0] == '%' && p[1] == 'd') {
                text += std::to_string(numbers[rng() % (sizeof(numbers) / sizeof(numbers[0]))]);
                ++p;
            } else {
                text += *p;
            }
        }
    }
    return text;
}

class RenderFuzz : public render_test::RenderFixture {};

TEST_F(RenderFuzz, RandomTextsAreRefusedInsideTheTextOrDrawn) {
    AddFont({1, 2, 8, 3, 2, 4, {{'W', 7}}});
    ASSERT_EQ(DB_OK, db_set(obj::dmsGraphicBlockSize, 3, FLAGS));
    AddGraphic(0, 1, 1, 8, 4, {"\xF0\x0F\xAA", "\x55"}, "\x01");
    AddGraphic(1, 2, 4, 3, 3, {"\x01\x02\x03", std::string(1, '\0')}, "", 6);
    AddGraphic(2, 3, 2, 33, 2, {"\x01\x02\x03"});
    struct SignKind {
        uint32_t width, height, type, char_width, char_height;
    };
    const SignKind signs[] = {{32, 16, 6, 0, 0}, {32, 16, 5, 0, 8}, {35, 14, 4, 5, 7}};
    std::mt19937 rng(20);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int drawn = 0, refused = 0;
    for (int i = 0; i < 3000 && std::chrono::steady_clock::now() < deadline; ++i) {
        const SignKind& s = signs[i % 3];
        Sign(s.width, s.height, s.type, s.char_width, s.char_height);
        std::string text = random_text(rng);
        SCOPED_TRACE(text);
        int result = Validate(text);
        if (result != MULTI_OK) {
            ++refused;
            EXPECT_TRUE((result >= 3 && result <= 15) || result == MULTI_OTHER) << result;
            EXPECT_LE(ErrorPosition(), text.size());
            continue;
        }
        ++drawn;
        render.SetText(&parser, message.get(), text.data(), uint32_t(text.size()));
        uint32_t pages = render.PageCount(&parser, text.data(), uint32_t(text.size()));
        for (uint32_t page = 1; page <= pages; ++page) {
            render.ParsePage(&parser, message.get(), page);
            for (int frame = 0; frame < 3; ++frame)
                render.ReparsePage(&parser, message.get());
        }
    }
    EXPECT_GT(drawn, 100);
    EXPECT_GT(refused, 100);
}

} // namespace
