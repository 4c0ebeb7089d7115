// DCIO: a DC I/O board, a CAN board with 32 digital points in four ports of
// eight (points 24-55 as the sign numbers them); each port is wired as
// inputs (code F0) or outputs (FF). The board peripheral keeps the protocol
// state, the images of the points and the table of the point peripherals
// listening to it; the point peripherals reach the points through their
// bridges (bridge.h), never by talking to the board themselves.
//
// The request sequence: identify; then, depending on the board and its
// revision, a configuration reset, the port configuration, the beacon and
// trigger configuration; then run: a read every poll (the output image
// instead when a bridge changed it, a keep-alive now and then for boards
// that drive beacons). Any change of the listener table starts the sequence
// again from identify.
//
// Replies are queued by the CAN receive path and handled in the board's poll
// on the peripheral task's thread; each input report ('@') is handed to the
// listeners' event handlers there, so that they write their objects, traps
// and request rows on that one thread.
#pragma once

#include "peripherals/io/can_io_board.h"
#include "peripherals/peripheral_ids.h"

#include <cstdint>

// A listener that configures beacon outputs on the board (the beacon I/O
// peripheral): its port selector, port mask and three configuration bytes,
// and its keep-alive byte.
class dcio_beacon_listener {
  public:
    virtual ~dcio_beacon_listener() = default;
    virtual void BeaconConfiguration(uint8_t bytes[5], uint8_t* keep_alive) const = 0;
};

class DCIO : public CCanIOBoard {
  public:
    enum : uint8_t { PORT_INPUT = 0xF0, PORT_OUTPUT = 0xFF };
    // The reply awaited.
    enum : uint8_t {
        PHASE_IDENTIFY = 1,
        PHASE_RESET = 2,
        PHASE_PORTS = 3,
        PHASE_LISTENERS = 4,
        PHASE_TRIGGERS = 5,
        PHASE_RUN = 6,
    };
    // The next request.
    enum : uint8_t {
        REQUEST_IDENTIFY = 1,
        REQUEST_RESET = 2,
        REQUEST_PORTS = 3,
        REQUEST_LISTENERS = 4,
        REQUEST_TRIGGERS = 5,
        REQUEST_RUN = 7,
        REQUEST_WAIT = 8,
    };
    static constexpr unsigned PORTS = 4;
    static constexpr uint8_t RESET_WAIT_POLLS = 10;
    static constexpr uint8_t KEEP_ALIVE_POLLS = 10;
    static constexpr uint8_t REINITS_BEFORE_REPLY = 10;

    DCIO(uint8_t class_code, uint16_t id, uint8_t bus_code, uint32_t can_id, uint8_t channel,
         const uint8_t ports[PORTS]);

    // Registers the device; the port codes must each be F0 or FF (otherwise
    // INIT ERROR and false).
    bool Init() override;
    void Poll() override;
    uint32_t BusCode() const override { return 0; }

    // The port's direction code (0 for a port past 3).
    uint8_t GetPortDirection(unsigned port) const { return port < PORTS ? ports_[port] : 0; }
    uint8_t Phase() const { return phase_; }
    uint8_t Request() const { return request_; }
    bool IsMini() const { return ClassCode() == PERIPHERAL_CLASS_MINI_DCIO; }

    // io_board
    uint8_t BoardKind() const override { return IO_BOARD_DCIO; }
    uint8_t* TriggerMask(uint8_t kind) override;
    bool Polling() const override { return request_ == REQUEST_RUN; }

    static const char* IdToName(uint16_t id);
    static uint16_t NameToId(const char* name);

  protected:
    void OnReply(const can_packet& reply) override;

  private:
    void Restart();
    void SendNextRequest();
    bool ConfiguresListeners() const;
    // -> true when a beacon listener's configuration was sent.
    bool SendBeaconConfiguration();
    // -> true when a trigger mask was sent; false once every step is done.
    bool SendTriggerMask();
    void SendRunRequest();
    void EndPortConfiguration();
    void Supervise();
    void NotifyListeners();

    uint8_t phase_ = PHASE_IDENTIFY;
    uint8_t request_ = REQUEST_IDENTIFY;
    uint8_t wait_ = 0;
    uint8_t triggers_[IO_TRIGGER_KINDS][IO_IMAGE_BYTES] = {};
    uint8_t next_listener_ = 0;
    uint8_t trigger_step_ = 0;
    uint8_t ports_[PORTS] = {};
    uint8_t config_pending_ = 0;
    uint8_t keep_alive_ = 0;
};
