// What the display step remembers between frames so that its work follows
// what changed: the failed pixels of the faces as a list, rebuilt only when an
// error frame changed, and the last picture given to the "Current Display"
// slot, stored again only when the picture or its slot changed.
#pragma once

#include "display/disp/frame.h"

#include <cstdint>

// The error frames a step blanks the faces by, and their change stamps.
struct failure_sources {
    static const uint32_t FACES = 2;
    const disp::frame* test[FACES] = {}; // own error frame of a finished pixel test
    const disp::frame* live[FACES] = {}; // second error frame, real-time diagnostics on
    uint32_t stamp[FACES] = {};
    uint32_t faces = 0;
    uint32_t width = 0, height = 0; // of the first face's frame

    bool operator==(const failure_sources& other) const;
};

// The failed pixels, row by row, each row left to right.
class failed_pixel_list {
  public:
    struct failure {
        uint16_t x, y;
        uint32_t test;      // the pixel test's value, all faces together
        uint8_t first_face; // blanked from this face on
    };

    failed_pixel_list() = default;
    ~failed_pixel_list() { delete[] list_; }
    failed_pixel_list(const failed_pixel_list&) = delete;
    failed_pixel_list& operator=(const failed_pixel_list&) = delete;

    // Rebuilds the list when the sources differ from the last ones; false
    // when it cannot hold them (no memory): the caller walks the frames.
    bool follow(const failure_sources& sources);
    const failure* begin() const { return list_; }
    const failure* end() const { return list_ + count_; }
    // Changes with every rebuild.
    uint32_t generation() const { return generation_; }

    // Calls visit(failure) for every failed pixel of the sources, in list
    // order, reading the frames.
    template <class Visit> static void walk(const failure_sources& sources, Visit visit);

  private:
    bool rebuild(const failure_sources& sources);

    failure_sources sources_;
    bool built_ = false;
    uint32_t generation_ = 0;
    failure* list_ = nullptr;
    uint32_t count_ = 0, capacity_ = 0;
};

// A face's frame as the step last saw it, and a revision that changes
// whenever the frame was found to differ from it: equal revisions mean equal
// pixels, so one compare a step serves every check of the frame.
class frame_picture {
  public:
    frame_picture() = default;
    ~frame_picture() { delete[] bytes_; }
    frame_picture(const frame_picture&) = delete;
    frame_picture& operator=(const frame_picture&) = delete;

    // Whether `frame` holds the picture's pixels.
    bool matches(const disp::frame& frame) const;
    // Compares `frame` with the picture and takes it anew when it differs;
    // false when its bytes cannot be read (the revision then changes too).
    bool follow(const disp::frame& frame);
    uint64_t revision() const { return revision_; }

  private:
    bool known_ = false;
    uint64_t revision_ = 0;
    uint32_t width_ = 0, height_ = 0, bits_ = 0;
    uint8_t* bytes_ = nullptr;
    uint32_t size_ = 0, capacity_ = 0;
};

// The faces' frames as the step saw them, each compared at most once a step
// unless the step wrote it since; and the frames and module map the last
// blanking left: while neither the frames nor the list changed, blanking
// again would change nothing.
class blanked_frames {
  public:
    static const uint32_t MAP_BYTES = 576;

    // A new step: every frame is compared again when next asked for.
    void begin_step() { checked_ = 0; }
    // The revision of face j's picture with `frame` as it is now; false when
    // the frame is missing or cannot be read.
    bool picture(uint32_t j, const disp::frame* frame, uint64_t& revision);

    bool unchanged(disp::frame* const* frames, uint32_t count, const failed_pixel_list& list);
    // After a blanking that wrote the frames: the frames as they are now and
    // the module map.
    void remember(disp::frame* const* frames, uint32_t count, const failed_pixel_list& list,
                  const uint8_t* map);
    const uint8_t* module_map() const { return map_; }
    // The lit pixels of face j's frame when this step found it as the last
    // blanking left it; false otherwise (the caller counts them).
    bool lit_count(uint32_t j, uint32_t& lit) const;

  private:
    frame_picture pictures_[failure_sources::FACES];
    uint32_t checked_ = 0; // bit j: face j compared in this step
    bool readable_[failure_sources::FACES] = {};

    bool known_ = false;
    uint32_t count_ = 0, generation_ = 0;
    uint64_t revisions_[failure_sources::FACES] = {};
    uint32_t lit_[failure_sources::FACES] = {};
    uint8_t map_[MAP_BYTES] = {};
};

// The picture and place of the last "Current Display" store.
class shown_frame_memory {
  public:
    struct place {
        unsigned slot, current;
        bool page_shown;
        uint32_t line_length;
        uint8_t attributes[3];
    };

    // True when the picture of that revision at `where` is what was stored
    // last; otherwise remembers them.
    bool same(uint64_t revision, const place& where);

  private:
    bool known_ = false;
    uint64_t revision_ = 0;
    place place_{};
};

template <class Visit> void failed_pixel_list::walk(const failure_sources& sources, Visit visit) {
    for (uint32_t y = 0; y < sources.height; ++y)
        for (uint32_t x = 0; x < sources.width; ++x) {
            failure f{uint16_t(x), uint16_t(y), 0, uint8_t(sources.faces)};
            uint32_t live = 0;
            for (uint32_t j = 0; j < sources.faces; ++j) {
                disp::pixel p{uint16_t(x), uint16_t(y)};
                if (sources.test[j] && sources.test[j]->get_pixel(p)) f.test |= p.value;
                p.value = 0;
                if (sources.live[j] && sources.live[j]->get_pixel(p)) live |= p.value;
                if (f.first_face == sources.faces && (f.test | live) != 0)
                    f.first_face = uint8_t(j);
            }
            if (f.first_face < sources.faces) visit(f);
        }
}
