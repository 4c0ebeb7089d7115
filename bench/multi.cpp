// MULTI parsing speed: a typical three-page message with fonts, colours,
// justification and a field, validated (measuring pass of every page) and
// shown (both passes of each page), with a callback that takes every element.
#include "display/multi_parser.h"
#include "tests/display/multi_fake.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>

namespace {

const char typical[] = "[jp3][fo1][cf1]ROAD WORK[nl][jl2][cf9]NEXT [f3,2] KM[jl4]EXIT 5[np]"
                       "[pt30o5][fo2][cf3]DETOUR[nl][jl3]USE ROUTE 9[nl][flt5o5]SLOW[/fl][np]"
                       "[jp2][fo1][pb0][cf7]EXPECT[nl]DELAYS[nl][jl3][f2]";

int take(void*, CMessage* m) {
    m->element = multi_element{};
    return MULTI_OK;
}

struct Fixture {
    multi_test::FakeSource source;
    CMULTIParser parser{source};
    std::unique_ptr<CMessage> message{new CMessage};
    int context = 0;
    Fixture() {
        source.fonts[2] = multi_font_row{1, 0xBEEF, 4, 2};
        message->windows[0] = msg_window{0, 0, 112, 32};
        source.LoadDefaults(message->defaults);
    }
};

void BM_ValidateThreePages(benchmark::State& state) {
    Fixture f;
    for (auto _ : state) {
        int r = f.parser.Validate(&f.context, take, f.message.get(), typical, sizeof(typical) - 1);
        if (r != MULTI_OK) state.SkipWithError("validation failed");
    }
    state.counters["messages/s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ValidateThreePages);

void BM_ShowThreePages(benchmark::State& state) {
    Fixture f;
    f.parser.SetText(&f.context, take, f.message.get(), typical, sizeof(typical) - 1);
    for (auto _ : state) {
        for (uint32_t page = 1; page <= 3; ++page) {
            if (!f.parser.ParsePage(&f.context, take, f.message.get(), page))
                state.SkipWithError("page failed");
        }
    }
    state.counters["messages/s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ShowThreePages);

} // namespace
