// disp::core, the registry of the display engine: the faces and buses of the
// configured sign. It connects each face to the bus its record names and
// hands every packet a bus decodes to the faces on that bus, in the order
// the faces were added.
//
// Everything but broadcast runs on the display task's thread (start-up and
// the display configuration). broadcast may run in the display bus's receive
// interrupt, so every change of the face and bus lists, and every connection
// change, is made with the interrupt lock held: an interrupt never walks a
// list halfway through a change. Each such section is a few pointer writes.
#pragma once

#include "display/disp/bus.h"
#include "display/disp/face.h"
#include "runtime/list.h"

#include <cstdint>

namespace disp {

class core {
  public:
    enum : uint8_t { NEW = 0, STOPPED = 1, STARTED = 2 };

    core() = default;
    virtual ~core() = default;
    core(const core&) = delete;
    core& operator=(const core&) = delete;

    bool start();
    // Disconnects every face and empties both lists.
    bool stop();
    // An attached bus of a new name; connects the registered faces naming it.
    bool add_bus(bus* added);
    // The registered bus of that name; its faces stay registered, disconnected.
    bool remove_bus(bus* removed);
    // An attached face of a new name; connected at once when its bus is
    // registered, else when the bus comes.
    bool add_face(face* added);
    bool remove_face(face* removed);
    // A packet decoded by `from`, to every face that names that bus.
    bool broadcast(const packet& received, const bus* from);

    uint8_t state() const { return state_; }
    const impl::list& faces() const { return faces_; }
    const impl::list& buses() const { return buses_; }
    face* find_face(const char* face_name) const;
    bus* find_bus(const char* bus_name) const;

  private:
    impl::list faces_;
    impl::list buses_;
    uint8_t state_ = NEW;
};

} // namespace disp
