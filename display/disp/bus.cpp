#include "display/disp/bus.h"

namespace disp {

bus::bus(bool delete_on_removal) {
    this->delete_on_removal = delete_on_removal ? 1 : 0;
}

bool bus::attach(const char* name, stream* framer) {
    if (state_ >= ATTACHED || !name || !framer) return false;
    name_ = name;
    stream_ = framer;
    spare_ = 0;
    state_ = ATTACHED;
    return true;
}

bool bus::detach() {
    if (state_ < ATTACHED) return false;
    state_ = DETACHED;
    return true;
}

bool bus::control(uint32_t a, uint32_t b, uint32_t c) {
    (void)a;
    (void)b;
    (void)c;
    return is_attached();
}

} // namespace disp
