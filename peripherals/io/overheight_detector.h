// COverheightDetector: a vehicle-height sensor on an input point of a DC I/O
// board. When it trips, the sign is asked for an emergency message through
// activation request row 0 (OVERHEIGHT01, id 500) or 1 (OVERHEIGHT02, 501),
// ahead of every ordinary request; when it releases, the request is
// withdrawn. The message is halvEmergencyMessage, or the changeable message
// the detector names.
//
// Creation string: the point (24-55), the board's peripheral id, the invert
// flag (non-zero: active while the point reads 0), the changeable message
// number (0: halvEmergencyMessage; otherwise 1 to 550).
#pragma once

#include "peripherals/io/point_peripheral.h"

#include <cstdint>

class COverheightDetector : public CPointPeripheral {
  public:
    enum : uint8_t { DETECTOR_IDLE = 1, DETECTOR_TRIPPED = 2 };
    static constexpr uint16_t FIRST_ID = 500;
    static constexpr uint16_t MAX_MESSAGE_NUMBER = 550;

    COverheightDetector(uint16_t id, uint32_t point, uint32_t board_id, uint8_t invert,
                        uint32_t message_number);
    // A tripped detector withdraws its request.
    ~COverheightDetector() override;

    bool Init() override;
    void Poll() override;
    void OnEvent(uint32_t) override;

    // Writes the emergency request into `slot`. -> false (console line) when
    // halvEmergencyMessage is not a 5-byte message ID code.
    static bool ActivateEmergencyMessage(uint8_t slot, uint16_t message_number);
    static void ClearEmergencyRequest(uint8_t slot);

    uint8_t DetectorState() const { return detector_state_; }

  private:
    // Row 0 for OVERHEIGHT01, 1 for OVERHEIGHT02.
    uint8_t Slot() const { return uint8_t(Id() - FIRST_ID); }

    uint32_t point_, board_id_, message_number_;
    uint8_t invert_;
    uint8_t detector_state_ = DETECTOR_IDLE;
};
