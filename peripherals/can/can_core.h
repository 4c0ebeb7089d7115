// can_core: the registry of CAN buses and devices. It binds each device to
// the registered bus of its bus name (whichever registers first) and hands
// every frame a bus accepted to each device of that bus that accepts it, so
// one frame can reach several devices. Its lists change with external
// interrupts masked, since the receive path walks them in interrupt context.
#pragma once

#include "peripherals/can/can_bus.h"
#include "peripherals/can/can_device.h"

class can_core {
  public:
    static constexpr unsigned MAX_BUSES = 4;
    static constexpr unsigned MAX_DEVICES = 300;

    can_core() = default;
    virtual ~can_core() = default;
    can_core(const can_core&) = delete;
    can_core& operator=(const can_core&) = delete;

    // Refused for a null or nameless bus, or a name already registered.
    bool RegisterBus(can_bus* bus);
    // Refused for a null or nameless device, or a name already registered.
    bool RegisterDevice(can_device* device);
    // -> false when no registered device has that name.
    bool UnregisterDevice(can_device* device);
    // Interrupt context: the frame to every device of the bus that accepts it.
    void Dispatch(const can_bus* bus, const can_packet& packet);

    can_bus* FindBus(const char* name) const;
    unsigned DeviceCount() const { return device_count_; }

  private:
    int DeviceIndex(const char* name) const;

    can_bus* buses_[MAX_BUSES] = {};
    unsigned bus_count_ = 0;
    can_device* devices_[MAX_DEVICES] = {};
    unsigned device_count_ = 0;
};
