#include "display/disp/face.h"

#include "display/disp/bus.h"
#include "display/disp/diagnostics.h"
#include "display/disp/frame_engine.h"

#include <cstring>

face_config::face_config()
    : face_id(0), height(0), width(0), x_origin(0), y_origin(0), frame_rate(0), bits_per_pixel(0),
      colour_class(0), line_count(0), total_modules(0), module_type_id(0), module_class(0),
      module_height(0), module_width(0), flags(0), spare(0), diagnostics(nullptr), engine(nullptr) {
    std::strcpy(face_name, BUS_NULL);
    std::strcpy(bus_name, BUS_NULL);
    std::memset(modules_per_line, 0, sizeof modules_per_line);
}

namespace {

// `size` rounded up to whole modules, an empty side one module; 0 when the
// result no longer fits 16 bits.
uint16_t whole_modules(uint16_t size, uint8_t module) {
    uint32_t rounded = size == 0 ? module : (uint32_t(size) + module - 1) / module * module;
    return rounded > 0xFFFF ? 0 : uint16_t(rounded);
}

} // namespace

int face_config::Normalize() {
    if (module_height == 0 || module_width == 0) return 0;
    uint16_t rounded_height = whole_modules(height, module_height);
    uint16_t rounded_width = whole_modules(width, module_width);
    if (rounded_height == 0 || rounded_width == 0) return 0;
    height = rounded_height;
    width = rounded_width;
    uint32_t lines = height / module_height;
    line_count = uint8_t(lines > 0xFF ? 0xFF : lines);
    return 1;
}

void face_config::CountModules() {
    total_modules = 0;
    for (uint8_t modules : modules_per_line)
        total_modules = uint16_t(total_modules + modules);
}

namespace disp {

namespace {

bool has_sizes(const face_config& c) {
    return c.diagnostics && c.engine && c.height && c.width && c.module_height && c.module_width &&
           c.bits_per_pixel;
}

// The lines the height holds, not the line count byte, so that a tall face
// cannot pass for a short one.
bool within_module_limits(const face_config& c) {
    return c.height / c.module_height <= FACE_MODULE_LINES && c.total_modules <= FACE_MODULES_MAX;
}

bool consistent(const face_config& c) {
    if (c.height / c.module_height != c.line_count) return false;
    uint32_t full_line = c.width / c.module_width;
    for (uint8_t modules : c.modules_per_line)
        if (modules > full_line) return false;
    return true;
}

} // namespace

bool validate_face_geometry(const face_config& config) {
    return has_sizes(config) && within_module_limits(config) && consistent(config);
}

face::face() {
    delete_on_removal = 1;
}

bool face::attach(face_config* config) {
    if (!config || state_ >= ATTACHED || !validate_face_geometry(*config)) return false;
    config_ = config;
    config->engine->start(this);
    config->diagnostics->attach(this);
    state_ = ATTACHED;
    return true;
}

bool face::detach() {
    if (state_ < ATTACHED) return false;
    if (state_ == CONNECTED) disconnect();
    config_->diagnostics->detach();
    config_->engine->stop();
    state_ = DETACHED;
    return true;
}

bool face::connect(bus* to) {
    if (state_ != ATTACHED && state_ != DISCONNECTED) return false;
    bus_ = to;
    config_->diagnostics->set_bus(to);
    state_ = CONNECTED;
    return true;
}

bool face::disconnect() {
    if (state_ != CONNECTED) return false;
    config_->diagnostics->set_bus(nullptr);
    bus_ = nullptr;
    state_ = DISCONNECTED;
    return true;
}

void face::tick(uint32_t argument) {
    if (state_ < ATTACHED) return;
    config_->engine->on_tick(argument);
    config_->diagnostics->step();
}

bool face::forward(const packet& received) {
    return config_ && config_->diagnostics->on_packet(received);
}

bool face::start_pixel_test(uint32_t argument) {
    if (!config_) return false;
    config_->diagnostics->clear_errors();
    return config_->diagnostics->start_test(argument);
}

bool face::stop_pixel_test() {
    return config_ && config_->diagnostics->return_to_idle();
}

bool face::stop_diagnostics() {
    return config_ && config_->diagnostics->clear_errors();
}

bool face::clear_test_results() {
    return config_ && config_->diagnostics->clear_second_errors();
}

} // namespace disp
