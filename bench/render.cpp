// Rendering speed: a three-page message in three built-in fonts on a
// full-matrix 144 x 48 sign, both passes of each page as the display task
// draws them, over the object store at its factory defaults.
#include <benchmark/benchmark.h>

#include "bench/bench_sign.h"
#include "display/multi_parser.h"
#include "display/render.h"
#include "store/database.h"
#include "store/objects.h"

#include <chrono>
#include <string>

namespace {

const char typical[] = "[jp3][fo1][jl3]ROAD WORK[nl][fo2]NEXT 5 KM[np]"
                       "[fo3][jl2]LEFT LANE[nl][jl4]CLOSED[np]"
                       "[fo2][jl3]EXPECT[nl][fo3]DELAYS[nl][fo1]USE ROUTE 9";

// The sign at its factory defaults with the built-in fonts, once per process.
void start_sign() {
    static bool started = [] {
        if (!bench::start_sign_at_defaults()) return false;
        const uint32_t flags = DB_NO_VALIDATE | DB_NO_JOURNAL;
        db_set(obj::vmsSignHeightPixels, 48, flags);
        db_set(obj::vmsSignWidthPixels, 144, flags);
        db_set(obj::dmsSignType, 6, flags);
        return true;
    }();
    (void)started;
}

void BM_RenderThreePages(benchmark::State& state) {
    start_sign();
    static CRender render;
    static CMessage message(&render.GetSurface());
    CMULTIParser parser;
    render.CreateSurface(48, 144, 15);
    if (render.ParseMessage(&parser, &message, typical, sizeof(typical) - 1) != MULTI_OK)
        state.SkipWithError("the message is refused");
    render.SetText(&parser, &message, typical, sizeof(typical) - 1);
    uint64_t pages = 0;
    auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        for (uint32_t page = 1; page <= 3; ++page) {
            if (!render.ParsePage(&parser, &message, page)) state.SkipWithError("page failed");
            ++pages;
        }
    }
    std::chrono::duration<double, std::micro> spent = std::chrono::steady_clock::now() - start;
    state.counters["page_us"] = pages ? spent.count() / double(pages) : 0.0;
}
BENCHMARK(BM_RenderThreePages);

} // namespace
