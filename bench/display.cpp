// Display hardware figures: one whole EPLD load (the built-in image for
// module type 72 shifted bit by bit through GPIO port 0 into the board's EPLD
// model), and one frame of a 48 x 112 sign converted and sent by DMA.
#include <benchmark/benchmark.h>

#include "console/console_output.h"
#include "display/epld.h"
#include "display/j6_display_driver.h"
#include "display/module_types.h"
#include "platform/board/board.h"
#include "platform/host_options.h"
#include "platform/kernel/host.h"

#include <cstdlib>
#include <string>
#include <vector>
#include <zlib.h>

namespace {

struct Bench {
    std::vector<uint8_t> image = std::vector<uint8_t>(EPLD_IMAGE_BYTES);

    Bench() {
        console_set_host_sink([](const char*) {});
        host::KernelConfig config;
        config.clock = host::ClockMode::Virtual;
        host::kernel_configure(config);
        host::kernel_start_for_test(nullptr, 0);
        char dir[] = "/tmp/display-bench-XXXXXX";
        host::host_options().state_dir = mkdtemp(dir);
        std::string error;
        host::board_start(host::host_options(), error);
        install_module_type_table();
        const module_type_record& row = find_module_type(72);
        uLongf size = image.size();
        uncompress(image.data(), &size, row.epld_image, row.epld_size);
    }
};

Bench& bench() {
    static Bench b;
    return b;
}

void BM_EpldLoad(benchmark::State& state) {
    Bench& b = bench();
    for (auto _ : state)
        if (!ProgramEPLD(b.image.data(), uint32_t(b.image.size())))
            state.SkipWithError("the EPLD refused the image");
    state.counters["bits"] = double(board::epld_state().bits);
}
BENCHMARK(BM_EpldLoad)->Unit(benchmark::kMillisecond);

void BM_FrameFormat1(benchmark::State& state) {
    bench();
    board::epld_set_format_code(1);
    int32_t ceiling = 255;
    CJ6DisplayDriver driver(&ceiling);
    CSurface surface;
    surface.Create(48, 112, 15);
    for (auto _ : state)
        driver.TransferFrame(&surface, false);
}
BENCHMARK(BM_FrameFormat1)->Unit(benchmark::kMicrosecond);

} // namespace
