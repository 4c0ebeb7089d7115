// Beacons: flashing lamps beside the sign that run while the displayed
// message asks for them (the display task's beacon request, also set by the
// test patterns that ask for beacons). Both kinds drive output points of a
// DC I/O board through their bridges and follow the request within one poll
// (two task passes); their status text is "      ON" or "     OFF", and the
// auxiliary I/O value of their output row shows what the board last reported.
//
// CBeacon (id 40, "BEACON01", class 3): one output point the controller
// switches. Creation string: the point (24-55), the board's peripheral id.
//
// CBeaconIO (ids 700-701, "GEN2 BEACON1/2", class 0x14): a pair of outputs
// on a board that flashes them itself; the controller switches the pair (3
// or 0) and gives the board its flash configuration: the port (3 for points
// 48-55, 2 for 40-47, else 0), that port's mask, three configuration bytes,
// and a fourth the board takes as its keep-alive request. Creation string:
// the board's peripheral id, a 32-bit point mask (bit b = point 24 + b), four
// configuration bytes.
#pragma once

#include "peripherals/io/dcio.h"
#include "peripherals/io/output_point.h"

#include <cstdint>

// What both kinds share: the outputs follow the beacon request (`on_value`
// while it is set, 0 otherwise), the read-back from the board's reports.
class CBeaconOutputs : public COutputPoint {
  public:
    void Poll() override;
    // An input report of the board: the read-back.
    void OnEvent(uint32_t) override;
    uint8_t ReadBack() const { return read_back_; }

  protected:
    CBeaconOutputs(uint8_t class_code, uint16_t id, uint32_t on_value);
    // The board, the output set of `point_mask`, the row; the outputs set.
    bool Start(uint32_t board_id, uint32_t point_mask);

  private:
    void FollowRequest();

    uint32_t on_value_;
    uint8_t read_back_ = 0;
};

class CBeacon : public CBeaconOutputs {
  public:
    CBeacon(uint16_t id, uint32_t point, uint32_t board_id);
    bool Init() override;

  private:
    uint32_t point_, board_id_;
};

class CBeaconIO : public CBeaconOutputs, public dcio_beacon_listener {
  public:
    CBeaconIO(uint16_t id, uint32_t board_id, uint32_t point_mask, const uint8_t configuration[4]);
    bool Init() override;
    // Selector, port mask, configuration bytes 0-2; byte 3 the keep-alive.
    void BeaconConfiguration(uint8_t bytes[5], uint8_t* keep_alive) const override;

    uint8_t PortSelector() const { return port_selector_; }
    uint8_t PortMask() const { return port_mask_; }

  private:
    uint32_t board_id_, point_mask_;
    uint8_t port_selector_ = 0, port_mask_ = 0;
    uint8_t configuration_[4] = {};
};
