// can_device: a node on a CAN network, embedded by every CAN peripheral. The
// core binds it to the bus of its bus name; frames from that bus that it
// accepts (its identifier or range, plus the reply offset, on its channel)
// are queued in interrupt context, and the peripheral drains the queue in
// its poll with external interrupts masked around each pop.
#pragma once

#include "peripherals/can/can_packet.h"
#include "runtime/list.h"

#include <cstdint>

class can_bus;

class can_device {
  public:
    static constexpr unsigned QUEUE_CAPACITY = 10;

    can_device() = default;
    virtual ~can_device() = default;
    can_device(const can_device&) = delete;
    can_device& operator=(const can_device&) = delete;

    // Called by the core when it binds the device to a bus.
    virtual void SetBus(can_bus* bus) { bus_ = bus; }
    // Called by the core when the device is unregistered: the bus pointer stays.
    virtual void ClearBus() {}
    // The frame is meant for this device (interrupt context).
    virtual bool Accepts(const can_packet& packet) const;
    // Queues an accepted frame when OnPacket takes it (interrupt context).
    virtual void Receive(const can_packet& packet);
    // Hook for subclasses: false refuses the frame.
    virtual bool OnPacket(const can_packet&) { return true; }

    // -> true when the bus took the frame; false (a transmit failure) without
    // a bus or when the bus refused it.
    bool Send(const can_packet& packet);
    // Asks the bus to initialise its driver again.
    void Reinit();
    // The oldest queued frame, popped with external interrupts masked.
    bool Pop(can_packet* out);
    void PrintCounters() const;

    const char* DeviceName() const { return name_; }
    void SetDeviceName(const char* name) { name_ = name; }
    const char* BusName() const { return bus_name_; }
    void SetBusName(const char* name) { bus_name_ = name; }
    can_bus* Bus() const { return bus_; }
    uint32_t DeviceId() const { return id_; }
    void SetDeviceId(uint32_t id) { id_ = id; }
    void SetRange(uint32_t low, uint32_t high) {
        range_low_ = low;
        range_high_ = high;
    }
    uint8_t Channel() const { return channel_; }
    void SetChannel(uint8_t channel) { channel_ = channel; }
    uint8_t DeviceBusCode() const { return bus_code_; }
    void SetDeviceBusCode(uint8_t code) { bus_code_ = code; }
    unsigned Queued() const { return unsigned(queue_.size()); }

    uint32_t packets_sent = 0;
    uint32_t packets_received = 0;
    uint32_t packets_dropped = 0;
    uint32_t packets_invalid = 0;
    uint32_t transmit_failures = 0;

  protected:
    // The identifier a frame names after the reply offset is taken off.
    uint32_t RequestIdOf(const can_packet& packet) const {
        return reply_offset_ ? packet.identifier - CAN_REPLY_OFFSET : packet.identifier;
    }
    bool InRange(uint32_t id) const { return id == id_ || (id >= range_low_ && id <= range_high_); }

  private:
    const char* name_ = nullptr;
    const char* bus_name_ = nullptr;
    uint8_t channel_ = 0;
    uint8_t bus_code_ = 0;
    uint8_t reply_offset_ = 1;
    uint32_t id_ = 0;
    uint32_t range_low_ = 0;
    uint32_t range_high_ = 0;
    impl::fifo<can_packet, QUEUE_CAPACITY> queue_;
    can_bus* bus_ = nullptr;
};
