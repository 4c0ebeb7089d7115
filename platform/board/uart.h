// The two on-chip 16550 UARTs: UART0 at 0xEF600300 (UIC0 source 0x80000000),
// the CCP serial port, and UART1 at 0xEF600400 (0x40000000), the front-panel
// link. Registers (byte offsets): 0 RBR/THR (DLL with LCR bit 7), 1 IER (DLM),
// 2 IIR/FCR, 3 LCR, 4 MCR, 5 LSR, 6 MSR, 7 scratch (UART0's bit 0 asks the
// monitor to defragment its flash at the next restart).
//
// Both FIFOs hold 16 bytes. Bytes from the line wait in a host queue and fill
// the receive FIFO as the firmware empties it; bytes written to the transmit
// FIFO leave for the line in one load, after the writer lets go of the
// processor, and the holding register then reads empty again. Bytes pass
// unpaced: the baud rate is recorded, not simulated.
//
// The interrupt output is a level on the UART's UIC0 source, active while an
// enabled condition is pending (line status, received data, holding register
// empty, modem status, in that priority).
#pragma once

#include "platform/board/board.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

namespace board {

const uint32_t UART_FIFO_BYTES = 16;

class Uart16550 : public BusDevice {
  public:
    enum : uint32_t { kWindow = 8 };
    Uart16550(int port, uint32_t uic_mask) : port_(port), uic_mask_(uic_mask) {}

    uint32_t Read(uint32_t offset, int width) override;
    void Write(uint32_t offset, int width, uint32_t value) override;

    // Interrupt context (the line thread raises these as host events).
    void LineReceive(const std::vector<uint8_t>& bytes);
    // A modem input set (it stops following the peer) or following it again.
    void SetModemInput(UartInput line, bool level);
    void FollowPeer();
    ModemOutputs Outputs();
    // The peer of the line came or went (DCD, CTS and DSR follow it unless set).
    void SetPeerPresent(bool present);
    // The monitor's set-up service: line settings; with option 0x1000 the
    // received-data interrupt and the UIC0 source are enabled.
    void Setup(const UartSetup& setup);
    // Every load sent to the line goes to the sink (called without locks held).
    void SetLineSink(std::function<void(const uint8_t*, size_t)> sink);
    void SetPeer(std::function<void(const uint8_t*, size_t)> peer);
    void SetObserver(std::function<void(bool sent, const uint8_t*, size_t)> observer);
    size_t QueuedInput();
    std::vector<uint32_t> LoadSizes();
    void Reset(bool keep_scratch);

  private:
    uint8_t ReadRegister(uint32_t reg);
    void WriteRegister(uint32_t reg, uint8_t value);
    uint8_t Msr() const;
    bool InputLevel(UartInput line) const;
    uint8_t Iir() const;
    void Refill();
    void ModemChanged(uint8_t before);
    void Drain();
    void Update(std::unique_lock<std::mutex>& lock);

    const int port_;
    const uint32_t uic_mask_;
    std::mutex m_;
    std::deque<uint8_t> line_in_; // from the line, waiting for room in the FIFO
    std::deque<uint8_t> rx_;      // receive FIFO
    std::vector<uint8_t> tx_;     // transmit FIFO
    bool drain_queued_ = false;
    bool thre_pending_ = false;
    uint8_t ier_ = 0, lcr_ = 0, mcr_ = 0, lsr_errors_ = 0, msr_deltas_ = 0, scratch_ = 0;
    uint8_t dll_ = 0, dlm_ = 0;
    bool fifo_on_ = false;
    bool peer_present_ = false;
    bool level_[UART_INPUTS] = {};  // inputs set by a test or the control socket
    bool forced_[UART_INPUTS] = {}; // set rather than following the peer
    std::function<void(const uint8_t*, size_t)> sink_, peer_;
    std::function<void(bool, const uint8_t*, size_t)> observer_;
    std::vector<uint32_t> loads_;
    bool last_irq_ = false;
};

// The model of UART `port` (0 or 1), null for any other.
Uart16550* uart_model(int port);

} // namespace board
