// Auto-detection of CAN boards: the peripheral task starts one probe per bus
// code, lets the replies gather for a pass, then turns every responder that
// a row of the auto-detect table knows into a stored peripheral.
//
// The probe itself belongs to the CAN stack: CPeripheralDetector is what the
// task needs of it, and create_peripheral_detector builds one on the CAN
// registry (null while no CAN stack is part of the firmware, and then
// detection finds nothing).
#pragma once

#include <cstdint>

class CPeripheralDetector {
  public:
    virtual ~CPeripheralDetector() = default;
    // Starts a probe on the bus of `bus_code` (named `bus_name`): records the
    // boards that answer from identifiers in [low, high] to the `count`
    // group identifiers. -> true while active.
    virtual bool Probe(uint8_t bus_code, const char* bus_name, uint32_t low, uint32_t high,
                       const uint32_t* identifiers, unsigned count) = 0;
    // Ends the probe. -> true while still active (false: stopped).
    virtual bool Stop() = 0;
    // The responders in reply order (identifier, channel); false while active
    // or at the end.
    virtual bool First(uint32_t* identifier, uint8_t* channel) = 0;
    virtual bool Next(uint32_t* identifier, uint8_t* channel) = 0;
};

// A new detector on the CAN registry, or null when none can be built.
// Defined by the CAN stack.
CPeripheralDetector* create_peripheral_detector();

// One row of the auto-detect table: the peripheral id of the board kind found
// at a CAN identifier (or its alternate, 0 = none), the third field of its
// creation string (0 = none) and the channel it must answer on.
struct auto_detect_row {
    uint16_t id;
    uint32_t can_id;
    uint32_t alternate;
    uint16_t third;
    uint8_t channel;
};

// The 54 rows in table order, and the probe set.
extern const auto_detect_row AUTO_DETECT_ROWS[];
extern const unsigned AUTO_DETECT_ROW_COUNT;
extern const uint8_t AUTO_DETECT_BUS_CODES[3];
extern const uint32_t AUTO_DETECT_PROBE_IDS[9];
const uint32_t AUTO_DETECT_RANGE_LOW = 0x42000;
const uint32_t AUTO_DETECT_RANGE_HIGH = 0x5AFFF;

// Stores (pl_iterator::Add) every table row that a stopped detector's
// responders match, with the creation string "%X,%X" (CAN identifier, bus
// code) or "%X,%X,%X" (with the third field). An id already stored is kept.
void add_detected_peripherals(CPeripheralDetector& detector, uint8_t bus_code);
