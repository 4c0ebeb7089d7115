// Pixel diagnostics of a face: the failed pixels in error frames, the face cut
// into module rectangles with a failed-pixel count each, and the face's pixel
// test. The base keeps the life cycle, the "Diag Mutex" that orders the
// busy/idle changes and the clearing of error frames, and the module records;
// subclasses own the error frames and talk to the hardware (diag_6120: the
// modules report over the display bus; diag_3110: the light test with pixel
// test boards).
//
// States: NEW/DETACHED -> attach -> ATTACHED -> lock -> BUSY -> unlock ->
// IDLE -> lock ... -> detach -> DETACHED. Every refusal is a false return and
// changes nothing; nothing is printed here.
#pragma once

#include "display/disp/face.h"
#include "display/disp/frame.h"
#include "platform/kernel/kernel.h"

#include <cstdint>

namespace disp {

class bus;
class face;
struct packet;

const uint32_t MODULE_STATUS_BYTES = 32;

// The index of the module record holding pixel (x, y) of a face (module lines
// from the top, modules of a line from the left); false outside every module.
bool module_of(const face_config& config, uint32_t x, uint32_t y, uint32_t& index);

// One module rectangle of a face (corners inclusive, face coordinates).
class module {
  public:
    enum : uint8_t { NEW = 0, RELEASED = 1, READY = 2 };

    module();
    virtual ~module() = default;
    module(const module&) = delete;
    module& operator=(const module&) = delete;

    bool init(const pixel& top_left, const pixel& bottom_right, const frame* own_errors,
              const frame* second_errors);
    bool release();
    // Failed pixels of the rectangle: set in the own error frame or, failing
    // that, in the second one; each pixel counted once.
    bool count_errors();
    bool position(uint8_t& column, uint8_t& row) const;

    uint8_t status[MODULE_STATUS_BYTES]; // telemetry block for the module dump
    pixel top_left, bottom_right;
    uint8_t state = NEW;
    uint16_t failed_pixels = 0;
    const frame* own_errors = nullptr;
    const frame* second_errors = nullptr;
};

class diagnostics {
  public:
    enum : uint8_t { NEW = 0, DETACHED = 1, ATTACHED = 2, IDLE = 3, BUSY = 4 };

    diagnostics();
    virtual ~diagnostics();
    diagnostics(const diagnostics&) = delete;
    diagnostics& operator=(const diagnostics&) = delete;

    // Builds the module records of the face's record (module lines from the
    // top, modules of a line from the left).
    virtual bool attach(face* owner);
    virtual bool detach();
    // The base turns an attached or idle diagnostics busy.
    virtual bool start_test(uint32_t argument);
    virtual bool return_to_idle() { return unlock(); }
    // Once per display tick.
    virtual void step() {}
    virtual bool on_packet(const packet& received);
    virtual bool clear_errors() { return clear_frame(own_errors_); }
    virtual bool clear_second_errors() { return clear_frame(second_errors_); }
    virtual bool first_module(uint16_t* index, module** record);
    virtual bool next_module(uint16_t* index, module** record);
    virtual bool ready() { return ready_ != 0; }
    virtual bool finished() { return finished_ != 0; }

    bool lock();
    bool unlock();
    // Recounts the failed pixels of the module records whose pixels may have
    // changed since their last count; the others keep their counts.
    void count_module_errors();
    // Changes whenever a pixel of either error frame may have changed: a
    // mark, a clearing, another second frame, or a lit count that moved.
    uint32_t errors_stamp();

    uint8_t state() const { return state_; }
    bus* connected_bus() const { return bus_; }
    void set_bus(bus* connected) { bus_ = connected; }
    face* owner() const { return face_; }
    face_config* config() const { return config_; }
    frame* own_errors() const { return own_errors_; }
    frame* second_errors() const { return second_errors_; }
    void set_second_errors(frame* errors) {
        second_errors_ = errors;
        note_errors_changed();
    }
    module& module_at(uint16_t index) { return modules_[index]; }

  protected:
    bool clear_frame(frame* errors);
    // A writer of an error frame says what it changed: one pixel (its module
    // is counted again) or anything (every module is).
    void note_error_at(uint32_t x, uint32_t y);
    void note_errors_changed();

    bus* bus_ = nullptr;
    uint8_t state_ = NEW;
    face* face_ = nullptr;
    face_config* config_ = nullptr;
    TX_MUTEX mutex_;
    bool mutex_created_ = false;
    uint8_t ready_ = 1;
    uint8_t finished_ = 1;
    frame* own_errors_ = nullptr; // set by the subclass to a frame it owns
    uint8_t spare_ = 0;
    frame* second_errors_ = nullptr;
    module modules_[FACE_MODULES_MAX];

  private:
    // Notices writes that bypassed note_error_at (the lit counts moved).
    void follow_lit_counts();

    bool stale_[FACE_MODULES_MAX] = {}; // to be counted again
    uint32_t stamp_ = 0;
    uint32_t own_lit_ = 0, second_lit_ = 0;
};

// Walks the failed (non-zero) pixels of a frame row by row, each row left to
// right, in coordinates shifted by the offsets.
class pixel_error_iterator {
  public:
    enum : uint8_t { RELEASED = 1, READY = 2 };

    pixel_error_iterator(const frame* errors, uint16_t x_offset, uint16_t y_offset);
    virtual ~pixel_error_iterator() = default;

    void first();
    void advance();
    bool valid() const;
    void reset();
    const pixel& current() const { return current_; }

  private:
    void search();

    uint8_t state_ = READY;
    const frame* frame_;
    pixel current_;
    pixel search_start_;
    pixel top_left_, bottom_right_;
    uint16_t x_offset_, y_offset_;
    bool found_ = false;
};

} // namespace disp
