// CPointPeripheral: what every peripheral that is a few points of an I/O
// board shares (doors, overheight detectors, and the beacons, fans, heaters,
// outputs and switches built the same way). It embeds the bridge to its
// board and, in its Init, joins the board, registers its point sets and
// claims its auxiliary I/O rows, keeping each row in the list slot's row list
// so that a port keeps its row across restarts. Any refusal leaves the
// peripheral in INIT ERROR (its factory then deletes it).
//
// Destruction order: the class's own clean-up (its destructor body), then
// here: the auxiliary rows are freed, the point sets unregistered, and last
// the bridge leaves the board's listener table.
#pragma once

#include "peripherals/io/bridge.h"
#include "runtime/peripheral.h"

#include <cstdint>

class CPointPeripheral : public CPeripheral {
  public:
    static constexpr unsigned MAX_SETS = 4;
    static constexpr unsigned MAX_AUX_ROWS = 4;

    ~CPointPeripheral() override;

    io_bridge& Bridge() { return bridge_; }
    const io_bridge& Bridge() const { return bridge_; }
    int32_t AuxRow(unsigned index = 0) const {
        return index < MAX_AUX_ROWS ? aux_rows_[index] : NO_ROW;
    }
    uint32_t Serial(unsigned index = 0) const { return index < MAX_SETS ? serials_[index] : 0; }

  protected:
    CPointPeripheral(uint8_t class_code, uint16_t id, const bridge_kind& kind = DCIO_BRIDGE);

    // Joins the board with that peripheral id. -> false (INIT ERROR) when none.
    bool AttachBoard(uint32_t board_id);
    // Registers a set of the points in `point_mask` (bit b = point 24 + b).
    // -> the serial; 0 (INIT ERROR, console line) for an empty mask or a
    // refusal by the bridge.
    uint32_t RegisterPoints(uint32_t point_mask, uint8_t write_access, uint32_t trigger_mask = 0,
                            uint8_t trigger_kind = 0, uint8_t read_only_override = 0);
    // One input point's set (the point through the DC I/O rule).
    uint32_t RegisterInputPoint(uint32_t point);
    // The index-th auxiliary row of the list slot (or a free one), named
    // after the peripheral, stored back. -> false (INIT ERROR) when refused.
    bool ClaimAuxRow(unsigned index, uint8_t port_type, uint8_t direction, uint8_t resolution);
    // The single digital input row most point peripherals show.
    bool ClaimDigitalInputRow() { return ClaimAuxRow(0, AUX_DIGITAL, AUX_INPUT, 1); }
    void SetAuxValue(uint32_t value, unsigned index = 0) { SetAuxIOValue(AuxRow(index), value); }
    // The board is unreachable (in COMM ERROR, or gone).
    bool BoardInCommError();
    bool InitError() {
        m_byState = STATE_INIT_ERROR;
        return false;
    }

    static constexpr uint8_t AUX_DIGITAL = 3, AUX_INPUT = 2, AUX_OUTPUT = 1;

  private:
    io_bridge bridge_;
    uint32_t serials_[MAX_SETS] = {};
    int32_t aux_rows_[MAX_AUX_ROWS] = {NO_ROW, NO_ROW, NO_ROW, NO_ROW};
};
