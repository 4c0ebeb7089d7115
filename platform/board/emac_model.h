// The on-chip Ethernet MAC EMAC0 (registers from 0xEF600800), with its
// memory-access layer (mal_model.h) and the PHY (phy_model.h) behind its
// station management register. Its wire is a frame port: tests put frames
// on it and see what the MAC sent. The EMAC's own interrupt is UIC0 source
// 0x00010000 (status & enable).
//
// Registers (32 bits, offsets from 0xEF600800): 0x00 mode 0 (0x80000000
// receive idle, 0x40000000 transmit idle, 0x20000000 soft reset, 0x10000000
// transmit enable, 0x08000000 receive enable), 0x04 mode 1, 0x08 transmit
// mode 0 (0x80000000 sends channel 0's descriptor), 0x10 receive mode
// (0x00400000 own address, 0x00100000 broadcast, 0x00080000 every multicast),
// 0x14 interrupt status (write 1 to clear), 0x18 its enable, 0x1C/0x20 own
// address high (bytes 0-1) and low (bytes 2-5), 0x40..0x4C group hash,
// 0x58 inter-packet gap, 0x5C station management (read: register | 0x1000,
// write: value << 16 | register | 0x2000, PHY address in bits 5-9; 0x8000
// operation complete, 0x4000 PHY error, read data in the upper 16 bits),
// 0x60 transmit request threshold, 0x64 receive watermarks.
#pragma once

#include "platform/board/board.h"
#include "platform/board/ethernet_registers.h"
#include "platform/board/mal_model.h"
#include "platform/board/phy_model.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace board {

struct EmacRegisters {
    uint32_t mode0 = 0, mode1 = 0, receive_mode = 0, status = 0, status_enable = 0;
    uint32_t address_high = 0, address_low = 0, group_hash[4] = {};
    uint32_t gap = 0, threshold = 0, watermarks = 0;
    uint32_t soft_resets = 0;
    std::vector<uint32_t> mode1_writes; // every value written to mode 1, in order
};

class Emac0 : public BusDevice {
  public:
    static const uint32_t kWindow = EMAC0_WINDOW;
    Emac0(Mal& mal, Dp83843& phy) : mal_(mal), phy_(phy) {}
    uint32_t Read(uint32_t offset, int width) override;
    void Write(uint32_t offset, int width, uint32_t value) override;

    void Reset();
    // A frame off the wire (interrupt context): filtered by the receive mode.
    void WireReceive(const std::vector<uint8_t>& frame, uint16_t status);
    void RaiseStatus(uint32_t bits);
    void HoldBusy(bool held);           // the idle bits stay clear
    void StallManagement(bool stalled); // management cycles never complete
    EmacRegisters Registers();

  private:
    uint32_t Word(uint32_t offset);
    void SetWord(uint32_t offset, uint32_t value, std::unique_lock<std::mutex>& lock);
    void Manage(uint32_t command);
    bool Accepts(const std::vector<uint8_t>& frame);
    void Update(std::unique_lock<std::mutex>& lock);

    Mal& mal_;
    Dp83843& phy_;
    std::mutex m_;
    EmacRegisters r_;
    uint32_t station_ = 0x8000;
    uint32_t words_[kWindow / 4] = {};
    bool busy_ = false, stalled_ = false;
};

// ---- The board's Ethernet port, for the host program and tests ----
void ethernet_start(const std::string& host_interface); // board_start
void ethernet_stop();
// The cable: 1 plugged, 0 pulled, -1 the host interface's carrier (the default).
void ethernet_set_cable(int plugged);
void ethernet_set_partner(const PhyPartner& partner);
void phy_set_answering(bool answering);
// A frame arrives on the wire (any thread); status bits as the MAL reports them.
void ethernet_wire_receive(const std::vector<uint8_t>& frame, uint16_t status = 0);
// Frames the MAC has put on the wire since the start, and their holding.
std::vector<std::vector<uint8_t>> ethernet_wire_sent();
void ethernet_hold_transmit(bool held);
void emac_hold_busy(bool held);
void emac_stall_management(bool stalled);
void emac_raise_status(uint32_t bits);
void mal_raise_system_error(uint32_t esr);
void mal_raise_descriptor_error(bool receive);
EmacRegisters emac_registers();
MalState mal_state();
PhyRegisters phy_registers();

} // namespace board
