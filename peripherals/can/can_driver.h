// can_driver: the controller driver under every CAN bus. A driver delivers
// each received frame to the buses attached to it (its listeners, in attach
// order) and takes frames to send from them. The on-board controller's
// driver (CCANJ6Driver) and the stand-in of the control panel's network
// implement it.
#pragma once

#include "peripherals/can/can_packet.h"

#include <cstdint>

class can_bus;

class can_driver {
  public:
    static constexpr unsigned MAX_LISTENERS = 4;

    can_driver() = default;
    virtual ~can_driver() = default;
    can_driver(const can_driver&) = delete;
    can_driver& operator=(const can_driver&) = delete;

    // -> nonzero when the frame was taken. Bit 0 of flags asks for a remote frame.
    virtual int Send(uint32_t identifier, uint8_t flags, uint8_t length, const uint8_t* data,
                     uint8_t channel) = 0;
    // Polled receive: nothing in this system uses it (reception is interrupt
    // driven); -> nonzero when a frame was returned.
    virtual int Read(uint32_t* identifier, uint8_t* flags, uint8_t* length, uint8_t* data) = 0;
    // -> 1 ready, 0 refused. Every bus calls it with (0, 1, 100).
    virtual int Initialize(uint32_t a, uint32_t b, uint32_t c) = 0;

    // Refused for a null or nameless bus, a name already listed, or a full list.
    bool AddListener(can_bus* bus);
    // Hands a received frame (channel 0) to every listener and counts it.
    void Deliver(const can_packet& packet);

    uint32_t frames_sent = 0;
    uint32_t frames_received = 0;
    uint32_t errors = 0;

  private:
    can_bus* listeners_[MAX_LISTENERS] = {};
    unsigned listener_count_ = 0;
};
