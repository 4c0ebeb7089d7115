// Display buses: the receive paths from the display modules back to the
// controller. A bus reads the bytes the modules send, its stream cuts them
// into packets, and the registry (disp::core) hands every packet to the faces
// connected to that bus. Frames for the sign never travel over a bus.
//
// null_bus is the bus of signs whose modules report nothing: always attached,
// its plain stream takes bytes and throws them away.
#pragma once

#include "runtime/list.h"

#include <cstdint>

namespace disp {

class core;

// One packet a stream has cut from the received bytes.
struct packet {
    const uint8_t* payload = nullptr;
    uint32_t length = 0;
};

// The plain stream: accepts and discards bytes, never holds a packet.
class stream {
  public:
    stream() = default;
    virtual ~stream() = default;
    stream(const stream&) = delete;
    stream& operator=(const stream&) = delete;

    virtual bool push(const uint8_t* bytes, uint32_t count) {
        (void)bytes;
        (void)count;
        return true;
    }
    virtual bool next_packet(packet* out) {
        (void)out;
        return false;
    }
};

// A bus is a node of the registry's bus list; its key plays no part.
class bus : public impl::node {
  public:
    enum : uint8_t { NEW = 0, DETACHED = 1, ATTACHED = 2 };

    explicit bus(bool delete_on_removal = false);

    // Refused when already attached or for a null name or stream.
    virtual bool attach(const char* name, stream* framer);
    virtual bool detach();
    virtual bool is_attached() const { return state_ >= ATTACHED; }
    // Kept for the bus interface; nothing asks a bus for it.
    virtual bool control(uint32_t a, uint32_t b, uint32_t c);
    // The receive step: read bytes, cut packets, broadcast them.
    virtual void service() = 0;

    uint8_t state() const { return state_; }
    const char* name() const { return name_; }
    stream* framer() const { return stream_; }
    core* registry() const { return registry_; }
    void set_registry(core* registry) { registry_ = registry; }

  protected:
    uint8_t state_ = NEW;
    core* registry_ = nullptr;
    const char* name_ = nullptr;
    stream* stream_ = nullptr;
    uint32_t spare_ = 0;
};

class null_bus : public bus {
  public:
    null_bus() = default;
    bool is_attached() const override { return true; }
    bool control(uint32_t, uint32_t, uint32_t) override { return true; }
    void service() override {}
};

} // namespace disp
