// Rendering speed: a three-page message in three built-in fonts on a
// full-matrix 144 x 48 sign, both passes of each page as the display task
// draws them, over the object store at its factory defaults.
#include <benchmark/benchmark.h>

#include "display/multi_parser.h"
#include "display/render.h"
#include "platform/board/board.h"
#include "platform/host_options.h"
#include "platform/kernel/host.h"
#include "runtime/gp_buffer.h"
#include "runtime/pools.h"
#include "store/database.h"
#include "store/objects.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

const char typical[] = "[jp3][fo1][jl3]ROAD WORK[nl][fo2]NEXT 5 KM[np]"
                       "[fo3][jl2]LEFT LANE[nl][jl4]CLOSED[np]"
                       "[fo2][jl3]EXPECT[nl][fo3]DELAYS[nl][fo1]USE ROUTE 9";

void define_pools(void* first_unused) {
    uint8_t* cursor = static_cast<uint8_t*>(first_unused);
    create_shared_kernel_objects(&cursor);
    TheGPBuffer().Create(&cursor, GP_BUFFER_BYTES);
}

// The kernel, the board (over a scratch state directory) and the store at
// factory defaults with the built-in fonts, once per process.
void start_sign() {
    static bool started = [] {
        char pattern[] = "/tmp/bench_render_XXXXXX";
        if (!mkdtemp(pattern)) return false;
        host::host_options().state_dir = pattern;
        std::string error;
        if (!host::board_start(host::host_options(), error)) return false;
        std::atexit([] {
            host::board_stop();
            std::error_code ignored;
            std::filesystem::remove_all(host::host_options().state_dir, ignored);
        });
        host::KernelConfig config;
        config.clock = host::ClockMode::Virtual;
        host::kernel_configure(config);
        host::kernel_start_for_test(define_pools, 0);
        TheDatabase().SetDefaults(0);
        TheDatabase().InitVolatile();
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
