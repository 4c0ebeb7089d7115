// The display engine's long-lived objects, one of each for the life of the
// program: the registry, the renderer's frame engine, the two buses with
// their streams and the faces' diagnostics. The display configuration wires
// them to the display task's faces; start-up starts the registry.
#pragma once

#include "display/disp/bus.h"
#include "display/disp/bus_6120.h"
#include "display/disp/core.h"
#include "display/disp/diag_3110.h"
#include "display/disp/diag_6120.h"
#include "display/render_adapter.h"

struct display_engine {
    display_engine();

    disp::core registry;
    render_adapter renderer;
    disp::null_bus null_bus;
    disp::stream null_stream;
    disp::bus_6120 bus_6120;
    disp::stream_6120 stream_6120;
    disp::diag_6120 diag_6120[2]; // [0] the primary face's, [1] the mirror's
    disp::diag_3110 diag_3110;
};

display_engine& TheDisplayEngine();
