// can_detect: one probe of auto-detection on one CAN network. It registers as
// a device on the bus of its bus code, sends an identify request to every
// group identifier of the probe set and records each board that answers
// (reply identifier - 128, and the channel), once per board. The auto-detect
// table then turns the responders into stored peripherals.
#pragma once

#include "peripherals/can/can_core.h"

#include <cstdint>

class can_detect : public can_device {
  public:
    static const unsigned MAX_RESPONDERS = 128;

    explicit can_detect(can_core& core);
    ~can_detect() override;

    // Registers with the core and sends the identify request to each of the
    // `count` identifiers. -> the active flag: 0 when already active, `ids`
    // is null or the registration was refused.
    uint8_t Probe(uint8_t bus_code, const char* bus_name, uint32_t range_low, uint32_t range_high,
                  const uint32_t* ids, unsigned count);
    // Unregisters. -> the active flag (0: stopped).
    uint8_t Stop();
    // Walk the responders in reply order; false while active or at the end.
    bool First(uint32_t* id, uint8_t* channel);
    bool Next(uint32_t* id, uint8_t* channel);
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

// The probe set: bus codes probed, the group identifiers each probe is sent
// to, the range of identifiers a probe records.
extern const uint8_t CAN_PROBE_BUS_CODES[3];
extern const uint32_t CAN_PROBE_IDS[9];
const uint32_t CAN_PROBE_RANGE_LOW = 0x42000;
const uint32_t CAN_PROBE_RANGE_HIGH = 0x5AFFF;

// One row of the auto-detect table: the peripheral found at a CAN identifier
// (or its alternate), the third creation field (0 none) and the channel the
// board must have answered on.
struct can_detect_row {
    uint16_t peripheral_id;
    uint32_t can_id;
    uint32_t alternate_id;
    uint16_t third_field;
    uint8_t channel;
};
extern const can_detect_row CAN_DETECT_TABLE[54];

// For every table row that a responder of `detector` matches (the CAN id, or
// else the alternate), `store` gets the row's peripheral id and its creation
// text: "%X,%X" (identifier, bus code), or "%X,%X,%X" with the third field.
void can_detected_peripherals(const can_detect& detector, uint8_t bus_code,
                              void (*store)(uint16_t id, const char* text, void* context),
                              void* context);

// Auto-detection as the peripheral task runs it, one step a pass: asked for
// while idle, it probes every bus code of the probe set (one detector each),
// lets the replies gather for one pass, then stops the detectors and hands
// each table match to `store` (the first detector first, so that a board
// heard through bus codes 1 and 2 is stored with code 1 when the store
// refuses an id it holds already).
class can_auto_detect {
  public:
    enum : uint8_t { IDLE = 1, START = 2, PROBING = 3, COLLECT = 4 };
    typedef void (*store_fn)(uint16_t id, const char* text, void* context);

    explicit can_auto_detect(can_core& core) : core_(core) {}
    ~can_auto_detect();
    // -> false (ignored) while a detection runs.
    bool Request();
    // One pass. -> true on the pass that finished a detection.
    bool Step(store_fn store, void* context);
    uint8_t State() const { return state_; }

  private:
    static const unsigned PROBES = 3;
    void Release();

    can_core& core_;
    uint8_t state_ = IDLE;
    can_detect* detectors_[PROBES] = {};
};
