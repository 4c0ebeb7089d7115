// Random and mutated MULTI texts: the parser, its tags and the plain-text view
// never read outside the text, and every result is a MULTI error value with a
// position inside the text. Bounded in iterations and time.
#include "display/multi_to_text.h"
#include "multi_fake.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <random>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define POISON(p, n) ((void)(p), (void)(n))
#define UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace {

const char* const seeds[] = {
    "[jp3][fo2]CLOSED[nl]AHEAD",
    "[cf1]LEFT[jl4]RIGHT[np][pt30o5][g5,2,2]EXIT[nl2][f1] [f3,2]",
    "[mvcl30,2,5,SLOW [hc41]]][[x]][np][tr1,1,50,16][cr1,1,10,10,255,0,0]",
    "[flt5o3]A[/fl][sc2]B[/sc][ms11,xy,5,9]C[ms11,r,0,5][ms11,spm,1,3]",
    "[ms11,g,1,1,pic.bmp][ms11,gpo,3,1][ms11,name,DETOUR][pb1,2,3][cb4]",
    "[mvlr3l40,7,15,A[nl]B][jl5]FULL[np][np][np]",
    "[fo2,BEEF][fo0][f92][f99][f7,4][g5,93,1,1234][ms11,cf,255,0,0]",
};

const char alphabet[] = "[]][[,,0123456789abcdefghijklmnopqrstuvwxyzABCF/-  \x01\xff";
const char* const fragments[] = {"[",      "]",   "[[",  "]]", "[np]", "[nl",   "[mv",
                                 "[ms11,", "[fo", "[g",  "[f", "[cr",  "[tr",   "[jp",
                                 "[fl",    "[pt", "[hc", ",",  "-1",   "99999", "255"};

std::string mutate(std::mt19937& rng, std::string text) {
    auto pick = [&](size_t n) { return size_t(rng() % (n ? n : 1)); };
    int edits = 1 + int(rng() % 6);
    for (int i = 0; i < edits; ++i) {
        size_t at = pick(text.size() + 1);
        switch (rng() % 5) {
        case 0:
            if (!text.empty()) text[pick(text.size())] = char(rng());
            break;
        case 1:
            text.insert(at, 1, alphabet[pick(sizeof(alphabet) - 1)]);
            break;
        case 2:
            if (!text.empty()) text.erase(pick(text.size()), 1 + pick(4));
            break;
        case 3:
            text.insert(at, fragments[pick(sizeof(fragments) / sizeof(fragments[0]))]);
            break;
        default:
            text = text.substr(0, at) + std::string(seeds[pick(7)]).substr(pick(20));
            break;
        }
    }
    if (text.size() > MULTI_MAX_TEXT + 10) text.resize(MULTI_MAX_TEXT + 10);
    return text;
}

std::string random_text(std::mt19937& rng) {
    std::string text;
    size_t length = rng() % 120;
    for (size_t i = 0; i < length; ++i) {
        if (rng() % 4 == 0)
            text += fragments[rng() % (sizeof(fragments) / sizeof(fragments[0]))];
        else
            text += alphabet[rng() % (sizeof(alphabet) - 1)];
    }
    return text;
}

bool known_result(int r) {
    return (r >= 0 && r <= 15) || r == 99;
}

TEST(MultiFuzz, RandomAndMutatedTexts) {
    multi_test::Bench bench;
    bench.source.bitmaps.insert("pic.bmp");
    const char* low = nullptr;
    const char* high = nullptr;
    bench.recorder.hook = [&](CMessage& m) {
        if (m.element.kind == MULTI_ELEMENT_TEXT) {
            EXPECT_GE(m.element.text, low);
            EXPECT_LE(m.element.text + m.element.count, high);
        }
        return MULTI_OK;
    };
    std::mt19937 rng(20261210);
    auto started = std::chrono::steady_clock::now();
    int runs = 0;
    for (; runs < 20000; ++runs) {
        if (std::chrono::steady_clock::now() - started > std::chrono::seconds(4)) break;
        std::string text = runs % 3 == 0 ? random_text(rng) : mutate(rng, seeds[runs % 7]);
        bench.source.sign.sign_type = (runs % 5 == 0) ? 4 : 6;
        // Validation reads the caller's text: a heap block of exactly its size,
        // so a read one byte past it already meets the sanitizer.
        std::unique_ptr<char[]> exact(new char[text.empty() ? 1 : text.size()]);
        std::memcpy(exact.get(), text.data(), text.size());
        low = exact.get();
        high = exact.get() + text.size();
        bench.PrepareWindow();
        int r = bench.parser.Validate(&bench.recorder, multi_test::Recorder::Callback,
                                      &bench.message, exact.get(), uint32_t(text.size()));
        ASSERT_TRUE(known_result(r)) << r << " for " << text;
        if (r != MULTI_OK) {
            ASSERT_LE(bench.message.error_position, text.size()) << text;
        }

        // Display: both passes over every page of the message's own copy,
        // with the bytes after the text poisoned.
        if (text.size() > MULTI_MAX_TEXT) continue;
        bench.parser.SetText(&bench.recorder, multi_test::Recorder::Callback, &bench.message,
                             text.data(), uint32_t(text.size()));
        CMessage& m = bench.message;
        low = m.text;
        high = m.text + m.text_length;
        POISON(m.text + m.text_length, MULTI_MAX_TEXT - m.text_length);
        uint8_t pages = bench.parser.CountPages(m.text, m.text_length);
        bench.parser.ParsePage(&bench.recorder, multi_test::Recorder::Callback, &m, 1);
        for (int page = 1; page < pages && page < 8; ++page)
            bench.parser.NextPage(&m);
        bench.parser.ReparsePage(&m);
        UNPOISON(m.text, MULTI_MAX_TEXT);

        // The plain-text view reads up to the NUL: a block of the text and its NUL.
        std::unique_ptr<char[]> terminated(new char[text.size() + 1]);
        std::memcpy(terminated.get(), text.c_str(), text.size() + 1);
        char view[24];
        multi_to_text(terminated.get(), view, 1 + runs % sizeof(view));
        ASSERT_LT(std::strlen(view), sizeof(view));
    }
    EXPECT_GT(runs, 1000);
}

} // namespace
