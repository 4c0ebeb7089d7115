#include "display/render_adapter.h"

#include "display/render.h"

#include <cstring>

render_adapter::render_adapter(CRender& renderer, void (*primary_tick)())
    : surface_(&renderer.GetSurface()), renderer_(&renderer), primary_tick_(primary_tick) {}

bool render_adapter::start(disp::face* owner) {
    face_ = owner;
    const face_config* config = owner ? owner->config() : nullptr;
    if (config) surface_.create(config->height, config->width, 0, config->bits_per_pixel);
    return true;
}

bool render_adapter::stop() {
    face_ = nullptr;
    surface_.destroy();
    return true;
}

void render_adapter::on_tick(uint32_t argument) {
    (void)argument;
    if (!face_ || !face_->config() || std::strcmp(face_->config()->face_name, FACE_PRIMARY) != 0)
        return;
    if (primary_tick_) primary_tick_();
}

bool render_adapter::next_frame(disp::frame** out) {
    if (!out) return false;
    surface_.attribute[0] = uint8_t(renderer_->display_mode);
    surface_.attribute[1] = renderer_->page_on_time;
    surface_.attribute[2] = renderer_->page_off_time;
    surface_.refresh();
    *out = &surface_;
    return true;
}
