// The attach and detach of the two hardware diagnostics: each owns one error
// frame of its face's size, made at attach and destroyed at detach.
#include "display/disp/diag_3110.h"
#include "display/disp/diag_6120.h"
#include "display/disp/face.h"
#include "runtime/console.h"

namespace disp {

namespace {

// The base attach, then the error frame; without the frame the diagnostics
// fall back to detached.
bool attach_with_frame(diagnostics& diag, face* owner, frame& errors, uint32_t bits) {
    if (!diag.diagnostics::attach(owner)) return false;
    const face_config* config = owner->config();
    if (errors.create(config->height, config->width, 0, bits)) return true;
    diag.diagnostics::detach();
    return false;
}

} // namespace

bool diag_6120::attach(face* owner) {
    if (!attach_with_frame(*this, owner, errors_, 1)) return false;
    console_printf("registering isr for qk-6120\n");
    return true;
}

bool diag_6120::detach() {
    if (!diagnostics::detach()) return false;
    errors_.destroy();
    return true;
}

bool diag_3110::attach(face* owner) {
    return attach_with_frame(*this, owner, test_frame_, 2);
}

bool diag_3110::detach() {
    if (!diagnostics::detach()) return false;
    test_frame_.destroy();
    return true;
}

} // namespace disp
