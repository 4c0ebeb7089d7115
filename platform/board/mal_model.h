// The memory-access layer that moves the EMAC's frames between the wire and
// descriptor rings in board RAM (DCRs 0x180..0x1E0, and the word at DCR 0xAA
// the set-up writes). Channel 0 each way: a descriptor is 8 bytes, big-endian
// (u16 control/status, u16 length, u32 buffer address); the receive ring's
// buffers hold 16 * RCBS0 bytes. Its five interrupt lines reach UIC0 as level
// sources 0x00200000 (system error) to 0x00020000 (receive descriptor error).
#pragma once

#include "platform/board/board.h"
#include "platform/board/ethernet_registers.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace board {

struct MalState {
    uint32_t cfg = 0, esr = 0, ier = 0, tx_active = 0, rx_active = 0;
    uint32_t tx_eob = 0, tx_de = 0, rx_eob = 0, rx_de = 0;
    uint32_t tx_table = 0, rx_table = 0, rx_buffer_size = 0, plb_word = 0;
    uint32_t rx_index = 0, tx_index = 0;
    uint32_t resets = 0;  // MAL resets (configuration bit 0x80000000)
    uint32_t dropped = 0; // frames the receive channel could not take
};

class Mal : public DcrDevice {
  public:
    uint32_t ReadDcr(uint32_t dcrn) override;
    void WriteDcr(uint32_t dcrn, uint32_t value) override;

    void Reset();
    // From the EMAC: a frame off the wire with its status bits; false when dropped.
    bool Receive(const std::vector<uint8_t>& frame, uint16_t status);
    // From the EMAC: channel 0 has a frame to send; it leaves a tick later
    // (or when a hold ends) through `sink`.
    void StartTransmit();
    void SetTransmitSink(std::function<void(const std::vector<uint8_t>&)> sink);
    void HoldTransmit(bool held);
    // Faults, for tests.
    void RaiseSystemError(uint32_t esr);
    void RaiseDescriptorError(bool receive);
    MalState State();

  private:
    uint32_t Register(uint32_t dcrn);
    void CompleteTransmit();
    void Update(std::unique_lock<std::mutex>& lock);

    std::mutex m_;
    MalState s_;
    bool held_ = false, pending_ = false, scheduled_ = false;
    std::function<void(const std::vector<uint8_t>&)> sink_;
};

} // namespace board
