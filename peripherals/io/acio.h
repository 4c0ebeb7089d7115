// ACIO (class 0x1E, id 490): an AC I/O board on the CAN sensor bus, and
// CAuxIOBidirect (class 0x1F, ids 470-478): an auxiliary I/O port of 1 to 9
// consecutive output points on such a board, whose auxiliary I/O value says
// which one point is driven (0: none).
//
// The sign's stored list and auto-detection never create them (their ids
// have no class); Create_ACIO ("CANID,BUS") and Create_AuxIOBidirect
// ("POINT,BOARD,WIDTH") build them for whoever asks.
//
// The board: identify until a board with the peripheral id 490 answers, then
// a read every poll, or the output image when a bridge changed it. Every
// request carries 0x20 in its byte 5. Points 24-39 are outputs (read back 1
// while on), points 40-63 inputs (0 while a contact is made); byte 5 of the
// image thus never holds an output. Replies are handled in the board's poll
// on the peripheral task's thread, where each input report ('@') reaches the
// listeners' event handlers. A board silent for 80 polls is in COMM ERROR
// from the next poll (and again every 81 polls); the driver of the local
// sensor bus is initialised again at 20, 40 and 60 silent polls and when
// the board is given up, at most ten times until the next reply.
#pragma once

#include "peripherals/io/can_io_board.h"
#include "peripherals/io/point_peripheral.h"
#include "peripherals/peripheral_ids.h"

#include <cstdint>

class ACIO : public CCanIOBoard {
  public:
    enum : uint8_t { PHASE_IDENTIFY = 1, PHASE_RUN = 6 };
    enum : uint8_t { REQUEST_IDENTIFY = 1, REQUEST_RUN = 7 };
    static constexpr uint16_t BOARD_ID = 490;
    static constexpr uint8_t SILENT_POLLS_LIMIT = 80;
    static constexpr uint8_t REINITS_BEFORE_REPLY = 10;
    static constexpr uint8_t REQUEST_BYTE5 = 0x20;

    ACIO(uint16_t id, uint8_t bus_code, uint32_t can_id);

    // Registers the device. -> true (READING).
    bool Init() override;
    void Poll() override;
    uint32_t BusCode() const override { return 0; }

    uint8_t Phase() const { return phase_; }
    uint8_t Request() const { return request_; }
    // Puts the board into `phase` (tests: a phase it never takes itself).
    void SetPhase(uint8_t phase) { phase_ = phase; }

    // io_board
    uint8_t BoardKind() const override { return IO_BOARD_ACIO; }
    bool Polling() const override { return request_ == REQUEST_RUN; }

  protected:
    void OnReply(const can_packet& reply) override;

  private:
    void Restart();
    void SendNextRequest();
    void Supervise();
    // One reinitialisation of the bus driver, when the bus and the bound allow.
    void Reinitialise();

    uint8_t phase_ = PHASE_IDENTIFY;
    uint8_t request_ = REQUEST_IDENTIFY;
};

class CAuxIOBidirect : public CPointPeripheral {
  public:
    static constexpr uint16_t FIRST_ID = 470, LAST_ID = 478;
    static constexpr uint32_t MAX_WIDTH = 9;
    // Mode bit 0: value n drives point n, and the width drives point 0.
    static constexpr uint32_t MODE_OFFSET = 0x1;
    // Polls of a polling board before the port reads back its outputs.
    static constexpr uint8_t READ_BACK_POLLS = 2;

    CAuxIOBidirect(uint16_t id, uint32_t first_point, uint32_t board_id, uint32_t width,
                   uint32_t mode = 0);

    // Joins the board, claims the output points and a digital row of the
    // auxiliary I/O table. -> false (INIT ERROR) for a width outside 1-9 or
    // points the board refuses.
    bool Init() override;
    void Poll() override;

    uint32_t Width() const { return width_; }
    uint32_t Commanded() const { return commanded_; }
    bool ReadBackPending() const { return read_back_pending_ != 0; }

  private:
    uint32_t DesiredBits(uint32_t value) const;
    // The value the output points show; -> false when none is on.
    bool ValueOf(uint32_t bits, uint32_t* value) const;
    void ReadBack();

    uint32_t mode_;
    uint32_t width_;
    uint32_t first_point_, board_id_;
    uint32_t commanded_ = 0;
    uint8_t read_back_pending_ = 1;
    uint8_t read_back_countdown_ = READ_BACK_POLLS;
};

// "CANID,BUS" (hexadecimal) for id 490. -> null when refused.
CPeripheral* Create_ACIO(const PeripheralRecord& record, const PeripheralParameters& values);
// "POINT,BOARD,WIDTH" (hexadecimal) for ids 470-478. -> null when refused.
CPeripheral* Create_AuxIOBidirect(const PeripheralRecord& record,
                                  const PeripheralParameters& values);
