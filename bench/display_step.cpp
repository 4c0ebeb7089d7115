// The pixel work of one display step on the largest face that still runs at
// ten frames a second (a step every 10 ticks of 10 ms):
// 9 module lines of 64 modules of 7 x 5 pixels, 63 x 320 pixels (faces above
// 24,000 pixels drop to five frames a second). The frame is the renderer's
// surface seen through its adapter, as on the sign. The step recounts the
// modules, follows the failed-pixel list, blanks the failed pixels and marks
// their modules, counts the lit pixels before and after for the legibility
// ratio and offers the frame to the Current Display slot; healthy, and after
// a pixel test that found the top three quarters of the LEDs dead, reported
// over the bus as the modules do.
#include <benchmark/benchmark.h>

#include "console/console_output.h"
#include "display/disp/bus.h"
#include "display/disp/diag_6120.h"
#include "display/disp/face.h"
#include "display/disp/frame_engine.h"
#include "display/frame_output.h"
#include "display/surface.h"
#include "display/surface_adapter.h"
#include "platform/kernel/host.h"

#include <cstring>
#include <vector>

namespace {

const uint16_t HEIGHT = 63, WIDTH = 320;
const uint8_t MODULE_HEIGHT = 7, MODULE_WIDTH = 5, LINES = 9, MODULES_PER_LINE = 64;

struct Face {
    disp::frame_engine engine;
    disp::diag_6120 diagnostics;
    disp::face face;
    face_config config{};
    CSurface surface;
    surface_adapter picture{&surface};
    failed_pixel_list failed;
    blanked_frames blanked;
    shown_frame_memory shown;
    uint8_t module_map[576] = {};

    explicit Face(bool dead) {
        std::strncpy(config.face_name, "primary", sizeof config.face_name - 1);
        config.height = HEIGHT;
        config.width = WIDTH;
        config.bits_per_pixel = 15;
        config.module_height = MODULE_HEIGHT;
        config.module_width = MODULE_WIDTH;
        config.line_count = LINES;
        for (uint8_t& modules : config.modules_per_line)
            modules = MODULES_PER_LINE;
        config.CountModules();
        config.diagnostics = &diagnostics;
        config.engine = &engine;
        face.delete_on_removal = 0;
        face.attach(&config);
        surface.Create(HEIGHT, WIDTH, 15);
        surface.FillRect(0, 0, WIDTH, HEIGHT, 0x7C00);
        picture.create(HEIGHT, WIDTH, 0, 15);
        picture.refresh();
        if (dead) Report(HEIGHT * 3 / 4);
    }

    // The modules report every pixel above row `rows` failed.
    void Report(uint32_t rows) {
        std::vector<uint8_t> report = {0x01};
        for (uint32_t index = 0; index < 0x10000; ++index) {
            disp::pixel p = diagnostics.index_to_xy(uint16_t(index));
            if (p.x < WIDTH && p.y < rows) {
                report.push_back(uint8_t(index >> 8));
                report.push_back(uint8_t(index));
            }
        }
        disp::packet packet;
        packet.payload = report.data();
        packet.length = uint32_t(report.size());
        diagnostics.on_packet(packet);
    }

    void Step() {
        blanked.begin_step();
        diagnostics.step();
        std::memset(module_map, 0, sizeof module_map);
        failure_sources sources;
        sources.test[0] = diagnostics.own_errors();
        sources.stamp[0] = diagnostics.errors_stamp();
        sources.faces = 1;
        sources.width = WIDTH;
        sources.height = HEIGHT;
        auto blank = [this](const failed_pixel_list::failure& f) {
            uint32_t module = 0;
            if (disp::module_of(config, f.x, f.y, module))
                module_map[module / 8] |= uint8_t(1u << (module % 8));
            disp::pixel dark{f.x, f.y, 0};
            picture.set_pixel(dark);
        };
        disp::frame* frames[1] = {&picture};
        uint32_t lit = 0, now = 0;
        const bool blanking = diagnostics.own_errors()->lit_count() != 0;
        if (blanking) {
            if (!failed.follow(sources)) {
                lit = picture.lit_count();
                failed_pixel_list::walk(sources, blank);
            } else if (!blanked.unchanged(frames, 1, failed)) {
                lit = picture.lit_count();
                for (const failed_pixel_list::failure& f : failed)
                    blank(f);
                blanked.remember(frames, 1, failed, module_map);
            } else {
                blanked.lit_count(0, lit);
                std::memcpy(module_map, blanked.module_map(), sizeof module_map);
            }
        }
        uint64_t revision = 0;
        if (blanked.picture(0, &picture, revision))
            benchmark::DoNotOptimize(shown.same(revision, {1, 0, true, 320, {0, 0, 0}}));
        if (blanking && !blanked.lit_count(0, now)) now = picture.lit_count();
        benchmark::DoNotOptimize(lit == 0 ? 100 : now * 100 / lit);
    }
};

void Start() {
    static bool started = [] {
        console_set_host_sink([](const char*) {});
        host::KernelConfig config;
        config.clock = host::ClockMode::Virtual;
        host::kernel_configure(config);
        host::kernel_start_for_test(nullptr, 0);
        return true;
    }();
    (void)started;
}

void BM_DisplayStep(benchmark::State& state) {
    Start();
    Face face(state.range(0) != 0);
    face.Step(); // the first step after the test reads the error frame once
    for (auto _ : state)
        face.Step();
    state.counters["failed"] = double(face.diagnostics.own_errors()->lit_count());
}
BENCHMARK(BM_DisplayStep)->ArgName("dead")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

} // namespace
