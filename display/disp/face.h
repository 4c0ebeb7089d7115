// Faces: one side of the sign. A face carries its geometry record
// (face_config, owned by the display task), the frame engine that produces
// its frames and the pixel diagnostics that keep its failed pixels. The
// registry connects a face to the bus its record names, so that what the
// modules report on that bus reaches the face's diagnostics.
//
// Face states: NEW -> attach -> ATTACHED -> connect -> CONNECTED;
// disconnect -> DISCONNECTED; detach -> DETACHED.
#pragma once

#include "runtime/list.h"

#include <cstdint>

namespace disp {
class bus;
class diagnostics;
class frame_engine;
struct packet;
} // namespace disp

const uint32_t FACE_NAME_SIZE = 12;
// A face is at most this many lines of modules, and this many modules.
const uint32_t FACE_MODULE_LINES = 9;
const uint32_t FACE_MODULES_MAX = 576;
// A line's module count is one byte.
const uint32_t FACE_LINE_MODULES_MAX = 255;

// The names of the sign's faces and buses.
inline constexpr char FACE_PRIMARY[] = "primary";
inline constexpr char FACE_MIRROR[] = "mirror";
inline constexpr char BUS_6120[] = "6120";
inline constexpr char BUS_NULL[] = "null";

// The geometry of one face. Both names read "null" and every number and
// pointer is 0 until the display configuration fills the record.
struct face_config {
    face_config();

    // Rounds height and width up to whole modules (an empty side becomes one
    // module) and sets the line count. 0 when the module size is unknown or
    // a rounded side no longer fits 16 bits.
    int Normalize();
    // total_modules := the sum of the modules-per-line entries.
    void CountModules();

    uint8_t face_id;
    char face_name[FACE_NAME_SIZE];              // "primary" or "mirror"
    char bus_name[FACE_NAME_SIZE];               // "6120" or "null"
    uint16_t height, width;                      // pixels
    uint16_t x_origin, y_origin;                 // of this face inside the frame
    uint8_t frame_rate;                          // frames per second
    uint8_t bits_per_pixel;                      // of the renderer's surface
    uint8_t colour_class;                        // MODULE_COLOUR_*
    uint8_t modules_per_line[FACE_MODULE_LINES]; // from the top
    uint8_t line_count;                          // height / module height
    uint16_t total_modules;
    uint16_t module_type_id;
    uint8_t module_class;
    uint8_t module_height, module_width;
    uint8_t flags; // 1 + bit 1 of the module type's flags byte
    uint8_t spare;
    disp::diagnostics* diagnostics;
    disp::frame_engine* engine;
};

namespace disp {

// True when the record names its diagnostics and frame engine, has a size,
// a module size and a depth, its line count matches the height, it has at
// most FACE_MODULE_LINES lines and FACE_MODULES_MAX modules, and no line holds
// more modules than the width.
bool validate_face_geometry(const face_config& config);

class face : public impl::node {
  public:
    enum : uint8_t { NEW = 0, DETACHED = 1, ATTACHED = 2, DISCONNECTED = 3, CONNECTED = 4 };

    // Removal from the registry deletes a face unless its owner clears
    // delete_on_removal (the display task does for the faces it embeds).
    face();
    ~face() override = default;

    // Starts the record's frame engine and attaches its diagnostics.
    bool attach(face_config* config);
    // Disconnects first when connected, then detaches the diagnostics and
    // stops the frame engine.
    bool detach();
    bool connect(bus* to);
    bool disconnect();
    // Once per display tick: the frame engine's tick, then the diagnostics' step.
    void tick(uint32_t argument);
    // A packet from the connected bus, for the diagnostics.
    virtual bool forward(const packet& received);

    bool start_pixel_test(uint32_t argument);
    bool stop_pixel_test();
    // Clear the diagnostics' own / second error frame.
    bool stop_diagnostics();
    bool clear_test_results();

    uint8_t state() const { return state_; }
    face_config* config() const { return config_; }
    bus* connected_bus() const { return bus_; }

  private:
    uint8_t state_ = NEW;
    face_config* config_ = nullptr;
    bus* bus_ = nullptr;
};

} // namespace disp
