// CPowerSupply: one of the sign's power supplies (ids 100-135,
// "POWERSUPPLY01" to "POWERSUPPLY35"), whose fail contact is wired to an input
// point of a DC I/O board or to a voltage channel of a pixel test board. It
// owns one row of the power status table (CPowerSupplyTable) and one digital
// input row of the auxiliary I/O table, and reports through them: "POWER
// SUPPLY PASS", "POWER SUPPLY FAIL" (status 3, voltage 0), "COMM ERROR" while
// its board is unreachable, "CONFIGURATION ERROR" when it cannot watch its
// point. A supply whose board is missing or of the wrong kind is kept in INIT
// ERROR and never touches a board.
//
// Creation string: the point on the board (a DC I/O point 24-55; on a pixel
// test board the voltage channel's number 1-6, any other a configuration
// error), the board's peripheral id.
// The first 10 polls after creation change nothing, so that the boards have
// answered before the contact is judged.
#pragma once

#include "peripherals/io/point_peripheral.h"

#include <cstdint>

class CPowerSupply : public CPointPeripheral {
  public:
    static constexpr uint16_t FIRST_ID = 100;
    static constexpr uint8_t START_DELAY_POLLS = 10;
    enum : uint8_t { CONDITION_PASS = 1, CONDITION_FAIL = 2 };

    // The board's class (by its id) picks the bridge: DC I/O or pixel test board.
    CPowerSupply(uint16_t id, uint32_t point, uint32_t board_id);
    ~CPowerSupply() override;

    bool Init() override;
    void Poll() override;

    uint16_t Handle() const { return handle_; }
    uint8_t Condition() const { return condition_; }
    static uint8_t LiveCount() { return live_; }

    // 100-135 to "POWERSUPPLY01".."POWERSUPPLY35" (135 the last name again),
    // 136-149 to "GEN4 PS 01".."GEN4 PS 14"; null otherwise.
    static const char* IdToName(uint16_t id);
    // Exactly those names back; 0 for anything else.
    static uint16_t NameToId(const char* name);

    // The bridge of a board id's class; null for a class no supply can watch.
    static const bridge_kind* BridgeFor(uint32_t board_id);

  private:
    bool ConfigurationError();
    uint32_t PointMask() const;
    bool PointOnBoard() const;

    static uint8_t live_;
    uint32_t point_, board_id_;
    uint32_t instance_;
    uint16_t handle_ = 0;
    uint8_t condition_ = CONDITION_PASS;
    uint8_t start_delay_ = START_DELAY_POLLS;
};
