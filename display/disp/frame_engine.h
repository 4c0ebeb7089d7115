// disp::frame_engine: what produces a face's frames. The face starts it when
// it attaches, ticks it once per display tick and stops it when it detaches;
// the display task asks it for the next frame. The base produces nothing; the
// renderer's render_adapter is the frame engine of every face of the sign.
#pragma once

#include <cstdint>

namespace disp {

class face;
class frame;

class frame_engine {
  public:
    enum : uint8_t { NEW = 0, STOPPED = 1, STARTED = 2 };

    frame_engine() = default;
    virtual ~frame_engine() = default;
    frame_engine(const frame_engine&) = delete;
    frame_engine& operator=(const frame_engine&) = delete;

    // From a state below STARTED with a face only.
    virtual bool start(face* owner) {
        if (state_ >= STARTED || !owner) return false;
        state_ = STARTED;
        return true;
    }
    virtual bool stop() {
        if (state_ < STARTED) return false;
        state_ = STOPPED;
        return true;
    }
    virtual void on_tick(uint32_t argument) { (void)argument; }
    // The frame to show next; false when the engine has none.
    virtual bool next_frame(frame** out) {
        (void)out;
        return false;
    }

    uint8_t state() const { return state_; }

  protected:
    uint8_t state_ = NEW;
};

} // namespace disp
