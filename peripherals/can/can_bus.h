// can_bus: a named CAN network bound to a controller driver. Sends are
// serialised by the bus's mutex (named after the bus); received frames come
// from the driver in interrupt context and go to the core's devices when the
// bus accepts their identifier. The bus kinds differ only by the identifiers
// they accept: one row each of a table.
#pragma once

#include "peripherals/can/can_packet.h"
#include "platform/kernel/kernel.h"

#include <cstdint>

class can_core;
class can_device;
class can_driver;

// Kind codes and accepted identifiers [low, high) of the bus kinds.
struct can_bus_kind {
    uint8_t kind;
    uint32_t low;
    uint32_t high; // exclusive
};

class can_bus {
  public:
    can_bus();
    virtual ~can_bus() = default;
    can_bus(const can_bus&) = delete;
    can_bus& operator=(const can_bus&) = delete;

    // Names the bus, creates its mutex, joins the driver's listeners and
    // initialises the driver. Refused for a null name or driver, when already
    // attached, or when the mutex cannot be made.
    virtual bool Attach(const char* name, can_driver* driver);
    // -> true when the driver took the frame (sent counted), else a send failure.
    virtual bool Send(const can_packet* packet, const can_device* device);
    virtual bool Read(can_packet* packet);
    // A frame from the driver (interrupt context).
    virtual void OnDriverPacket(const can_packet& packet);
    virtual bool Detach();
    // Initialises the driver again under the bus's mutex.
    virtual void Reinit();
    virtual uint8_t Kind() const { return kind_->kind; }
    virtual bool AcceptsId(const can_packet& packet) const;

    const char* Name() const { return name_; }
    bool Attached() const { return attached_ != 0; }
    can_core* Core() const { return core_; }
    void SetCore(can_core* core) { core_ = core; }
    can_driver* Driver() const { return driver_; }

    uint32_t frames_sent = 0;
    uint32_t frames_received = 0;
    uint32_t frames_refused = 0;
    uint32_t send_failures = 0;
    uint32_t reinitialisations = 0;

  protected:
    explicit can_bus(const can_bus_kind& kind) : kind_(&kind) {}

  private:
    void ZeroCounters();

    const can_bus_kind* kind_;
    const char* name_ = nullptr;
    can_core* core_ = nullptr;
    can_driver* driver_ = nullptr;
    TX_MUTEX mutex_{};
    uint8_t attached_ = 0;
};

// The local sensor networks: identifiers 0x42000 to 0x5AFFF.
class sensor_bus : public can_bus {
  public:
    sensor_bus();
};

// The controller network: identifiers 0x5B000 to 0x5BFFE.
class controller_bus : public can_bus {
  public:
    controller_bus();
};
