// render_adapter: the frame engine of the sign's faces. The renderer draws the
// sign image into its surface; the adapter hands that surface out as the
// face's frame (a surface_adapter) with the renderer's three frame attribute
// bytes, and on every display tick of the face named "primary" runs the
// display task's per-frame work (the page sequencing and the countdown of the
// message's duration). Other faces show the same image and run nothing.
#pragma once

#include "display/disp/face.h"
#include "display/disp/frame_engine.h"
#include "display/surface_adapter.h"

class CRender;

class render_adapter : public disp::frame_engine {
  public:
    // `primary_tick` runs once per tick of the primary face (null: nothing).
    render_adapter(CRender& renderer, void (*primary_tick)());

    // Keeps the face and sizes the surface view to its record; the engine's
    // state stays as it is.
    bool start(disp::face* owner) override;
    bool stop() override;
    void on_tick(uint32_t argument) override;
    // The surface view with the display mode's low byte and the page's on and
    // off times as its attribute bytes.
    bool next_frame(disp::frame** out) override;

    disp::face* attached_face() const { return face_; }

  private:
    surface_adapter surface_;
    CRender* renderer_;
    disp::face* face_ = nullptr;
    void (*primary_tick_)();
};
