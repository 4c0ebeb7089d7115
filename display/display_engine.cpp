#include "display/display_engine.h"

#include "display/display_task.h"
#include "display/render.h"

namespace {

void primary_face_tick() {
    TheDisplay().OnPrimaryFaceTick();
}

} // namespace

display_engine::display_engine() : renderer(TheRender(), primary_face_tick) {}

// Never destroyed: the registry's lists hold the display task's faces, and
// no order of static destruction would leave both sides intact.
display_engine& TheDisplayEngine() {
    static display_engine* engine = new display_engine;
    return *engine;
}
