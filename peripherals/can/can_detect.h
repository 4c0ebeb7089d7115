// can_detect: one probe of auto-detection on one CAN network. It registers as
// a device on the bus of its bus code, sends an identify request to every
// group identifier of the probe set and records each board that answers
// (reply identifier - 128, and the channel), once per board. It is the
// peripheral task's detector: the auto-detect table then turns the
// responders into stored peripherals.
#pragma once

#include "peripherals/auto_detect.h"
#include "peripherals/can/can_core.h"

#include <cstdint>

class can_detect : public can_device, public CPeripheralDetector {
  public:
    static constexpr unsigned MAX_RESPONDERS = 128;

    explicit can_detect(can_core& core);
    ~can_detect() override;

    // Registers with the core and sends the identify request to each of the
    // `count` identifiers. -> the active flag: false when already active,
    // `ids` is null or the registration was refused.
    bool Probe(uint8_t bus_code, const char* bus_name, uint32_t range_low, uint32_t range_high,
               const uint32_t* ids, unsigned count) override;
    // Unregisters. -> the active flag (false: stopped).
    bool Stop() override;
    // Walk the responders in reply order; false while active or at the end.
    bool First(uint32_t* id, uint8_t* channel) override;
    bool Next(uint32_t* id, uint8_t* channel) override;
    // A responder with that identifier answered on that channel.
    bool Answered(uint32_t id, uint8_t channel) const;

    bool Accepts(const can_packet& packet) const override;
    void Receive(const can_packet& packet) override { Collect(packet); }
    // Records a new responder (interrupt context).
    void Collect(const can_packet& packet);

    uint8_t Active() const { return active_; }
    unsigned ResponderCount() const { return responder_count_; }

  private:
    can_core& core_;
    uint8_t active_ = 0;
    char name_[25] = {};
    uint32_t responder_ids_[MAX_RESPONDERS] = {};
    uint8_t responder_channels_[MAX_RESPONDERS] = {};
    unsigned responder_count_ = 0;
    unsigned cursor_ = 0;
};
