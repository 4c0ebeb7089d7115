#include "display/disp/diagnostics.h"

#include "display/disp/face.h"
#include "runtime/os.h"

#include <cstring>

namespace disp {

// --- module ----------------------------------------------------------------

module::module() {
    std::memset(status, 0, sizeof status);
    status[24] = 0xAA;
    status[26] = 0xAA;
}

bool module::init(const pixel& from, const pixel& to, const frame* own, const frame* second) {
    if (state == READY) return false;
    top_left = pixel(from.x, from.y);
    bottom_right = pixel(to.x, to.y);
    own_errors = own;
    second_errors = second;
    failed_pixels = 0;
    std::memset(status, 0, sizeof status);
    state = READY;
    return true;
}

bool module::release() {
    if (state != READY) return false;
    state = RELEASED;
    return true;
}

namespace {

bool failed_in(const frame* errors, uint16_t x, uint16_t y) {
    if (!errors) return false;
    pixel p(x, y);
    return errors->get_pixel(p) && p.value != 0;
}

} // namespace

bool module::count_errors() {
    if (state != READY) return false;
    uint32_t count = 0;
    for (uint32_t y = top_left.y; y <= bottom_right.y; ++y)
        for (uint32_t x = top_left.x; x <= bottom_right.x; ++x)
            if (failed_in(own_errors, uint16_t(x), uint16_t(y)) ||
                failed_in(second_errors, uint16_t(x), uint16_t(y)))
                ++count;
    failed_pixels = uint16_t(count);
    return true;
}

bool module::position(uint8_t& column, uint8_t& row) const {
    uint8_t w = uint8_t(bottom_right.x - top_left.x + 1);
    uint8_t h = uint8_t(bottom_right.y - top_left.y + 1);
    if (w == 0 || h == 0) return false;
    column = uint8_t((top_left.x + 1) / w);
    row = uint8_t((top_left.y + 1) / h);
    return true;
}

// --- diagnostics -----------------------------------------------------------

diagnostics::diagnostics() = default;

diagnostics::~diagnostics() {
    detach();
}

bool diagnostics::attach(face* owner) {
    if (state_ >= ATTACHED || !owner) return false;
    face_config* config = owner->config();
    if (!config || !validate_face_geometry(*config)) return false;
    if (os_mutex_create(&mutex_, "Diag Mutex", TX_INHERIT) != OS_OK) return false;
    mutex_created_ = true;
    face_ = owner;
    config_ = config;
    uint16_t index = 0;
    for (uint32_t line = 0; line < config->line_count; ++line) {
        for (uint32_t column = 0; column < config->modules_per_line[line]; ++column) {
            pixel from(uint16_t(column * config->module_width),
                       uint16_t(line * config->module_height));
            pixel to(uint16_t(from.x + config->module_width - 1),
                     uint16_t(from.y + config->module_height - 1));
            module& record = modules_[index++];
            record.init(from, to, own_errors_, second_errors_);
            record.status[1] = 3;
        }
    }
    note_errors_changed();
    state_ = ATTACHED;
    return true;
}

bool diagnostics::detach() {
    if (state_ < ATTACHED) return false;
    for (module& record : modules_)
        record.release();
    if (mutex_created_) os_mutex_delete(&mutex_);
    mutex_created_ = false;
    state_ = DETACHED;
    return true;
}

bool diagnostics::start_test(uint32_t argument) {
    (void)argument;
    return lock();
}

bool diagnostics::on_packet(const packet& received) {
    (void)received;
    return state_ >= ATTACHED;
}

bool diagnostics::lock() {
    if (state_ != ATTACHED && state_ != IDLE) return false;
    if (os_mutex_get(&mutex_, OS_WAIT_FOREVER) != OS_OK) return false;
    state_ = BUSY;
    os_mutex_put(&mutex_);
    return true;
}

bool diagnostics::unlock() {
    if (state_ < BUSY) return false;
    if (os_mutex_get(&mutex_, OS_WAIT_FOREVER) != OS_OK) return false;
    state_ = IDLE;
    os_mutex_put(&mutex_);
    return true;
}

bool diagnostics::clear_frame(frame* errors) {
    if (state_ < ATTACHED || !errors) return false;
    if (os_mutex_get(&mutex_, OS_WAIT_FOREVER) != OS_OK) return true;
    errors->clear();
    note_errors_changed();
    os_mutex_put(&mutex_);
    return true;
}

// A module's flag is taken before it is counted: a mark that lands during
// the count sets it again for the next one.
void diagnostics::count_module_errors() {
    uint16_t index = 0;
    module* record = nullptr;
    follow_lit_counts();
    if (!config_ || config_->total_modules == 0 || !first_module(&index, &record)) return;
    do {
        if (!stale_[index]) continue;
        stale_[index] = false;
        record->count_errors();
    } while (next_module(&index, &record));
}

uint32_t diagnostics::errors_stamp() {
    follow_lit_counts();
    return stamp_;
}

void diagnostics::note_error_at(uint32_t x, uint32_t y) {
    uint32_t index = 0;
    if (config_ && module_of(*config_, x, y, index)) stale_[index] = true;
    ++stamp_;
}

void diagnostics::note_errors_changed() {
    for (bool& stale : stale_)
        stale = true;
    ++stamp_;
}

void diagnostics::follow_lit_counts() {
    const uint32_t own = own_errors_ ? own_errors_->lit_count() : 0;
    const uint32_t second = second_errors_ ? second_errors_->lit_count() : 0;
    if (own == own_lit_ && second == second_lit_) return;
    own_lit_ = own;
    second_lit_ = second;
    note_errors_changed();
}

bool module_of(const face_config& config, uint32_t x, uint32_t y, uint32_t& index) {
    if (config.module_height == 0 || config.module_width == 0) return false;
    const uint32_t line = y / config.module_height;
    if (line >= FACE_MODULE_LINES) return false;
    index = x / config.module_width;
    for (uint32_t above = 0; above < line; ++above)
        index += config.modules_per_line[above];
    return index < FACE_MODULES_MAX;
}

bool diagnostics::first_module(uint16_t* index, module** record) {
    if (!index || !record) return false;
    *index = 0;
    *record = &modules_[0];
    return true;
}

bool diagnostics::next_module(uint16_t* index, module** record) {
    if (!index || !record || !config_) return false;
    if (*index < config_->total_modules) ++*index;
    if (*index >= config_->total_modules) return false;
    *record = &modules_[*index];
    return true;
}

// --- pixel_error_iterator ----------------------------------------------------

pixel_error_iterator::pixel_error_iterator(const frame* errors, uint16_t x_offset,
                                           uint16_t y_offset)
    : frame_(errors), x_offset_(x_offset), y_offset_(y_offset) {
    uint32_t width = errors ? errors->width() : 0;
    uint32_t height = errors ? errors->height() : 0;
    top_left_ = pixel(x_offset, y_offset);
    bottom_right_ = pixel(uint16_t(x_offset + width - 1), uint16_t(y_offset + height - 1));
}

void pixel_error_iterator::first() {
    search_start_ = top_left_;
    search();
}

void pixel_error_iterator::advance() {
    if (!found_) return;
    search();
}

bool pixel_error_iterator::valid() const {
    return state_ == READY && frame_ && found_;
}

void pixel_error_iterator::reset() {
    if (state_ != READY) return;
    frame_ = nullptr;
    found_ = false;
    state_ = RELEASED;
}

// From the search start, row by row, to the first failed pixel; the next
// search starts one to the right of it. Nothing left: the current pixel lies
// below the rectangle.
void pixel_error_iterator::search() {
    found_ = false;
    if (state_ != READY || !frame_) return;
    uint32_t width = frame_->width(), height = frame_->height();
    uint32_t i = uint32_t(search_start_.y - y_offset_) * width + (search_start_.x - x_offset_);
    for (; i < width * height; ++i) {
        pixel p(uint16_t(i % width), uint16_t(i / width));
        if (!frame_->get_pixel(p) || p.value == 0) continue;
        current_ = pixel(uint16_t(p.x + x_offset_), uint16_t(p.y + y_offset_), p.value);
        uint32_t next = i + 1;
        search_start_ =
            pixel(uint16_t(next % width + x_offset_), uint16_t(next / width + y_offset_));
        found_ = true;
        return;
    }
    current_ = pixel(top_left_.x, uint16_t(bottom_right_.y + 1));
    search_start_ = current_;
}

} // namespace disp
