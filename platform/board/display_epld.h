// The display EPLD at 0xF0400000 and DMA channel 0 that feeds it from the
// frame area.
//
// The EPLD is configured by passive serial on GPIO port 0: a low pulse on
// nCONFIG clears it (nSTATUS and CONF_DONE low, nothing shown); when nCONFIG
// is high again nSTATUS rises and every rising DCLK edge shifts in the DATA
// bit, least significant bit of each byte first. It takes any image: after
// kImageBytes bytes CONF_DONE rises and the EPLD is configured. Configured, it
// reports its version and the frame format code, keeps the mode, brightness,
// width, height and refresh code written to it, and shows what the DMA brings
// it on the sign's modules (the output sink); unconfigured, its registers read
// 0 and it shows nothing.
//
// The DMA completes a transfer at once when it is started (unless held): it
// reads count x 2 bytes from the frame area and hands them to the EPLD; a
// source or count outside the frame area is refused with the channel's error
// bit.
#pragma once

#include "platform/board/bus.h"
#include "platform/board/onchip.h"
#include "platform/board/reg16.h"

#include <functional>

namespace board {

class DisplayEpld : public Reg16Device, public GpioListener {
  public:
    static const uint32_t kWindow = 0x10;
    static const uint32_t kImageBytes = 98023;
    static const uint8_t kVersion = 12;

    void Reset();
    void SetSink(std::function<void(const DisplayOutput&)> sink);
    void SetFormatCode(uint8_t code);
    void SetFaults(const EpldFaults& faults);
    void LoseConfiguration();
    EpldState State();
    // A completed transfer's bytes for the modules.
    void ShowFrame(const uint8_t* frame, uint32_t bytes);

    void OutputsChanged(uint32_t before, uint32_t after) override;
    void Write(uint32_t offset, int width, uint32_t value) override;

  protected:
    uint16_t Reg(uint32_t reg) override;
    void SetReg(uint32_t reg, uint16_t value) override;

  private:
    void ClearLocked();
    void ClockInLocked(bool data);
    DisplayOutput OutputLocked() const;
    void Emit(const DisplayOutput& output);

    EpldFaults faults_;
    EpldFaults active_faults_; // those of the load in progress
    uint8_t format_code_ = 0;
    bool ncfg_high_ = false;
    bool nstatus_ = false;
    bool conf_done_ = false;
    uint32_t loads_ = 0;
    uint64_t bits_ = 0;
    uint32_t bytes_ = 0;
    uint8_t shift_ = 0;
    uint8_t head_[sizeof(EpldState::head)] = {};
    bool control_changed_ = false;
    uint16_t control_ = 0, width_ = 0, height_ = 0, refresh_ = 0;
    std::mutex sink_m_;
    std::function<void(const DisplayOutput&)> sink_;
};

class DmaChannel0 : public DcrDevice {
  public:
    explicit DmaChannel0(DisplayEpld& epld) : epld_(epld) {}
    void Reset();
    void Hold(bool held);
    uint32_t Completed();

    uint32_t ReadDcr(uint32_t dcrn) override;
    void WriteDcr(uint32_t dcrn, uint32_t value) override;

  private:
    void Complete(std::unique_lock<std::mutex>& lock);

    DisplayEpld& epld_;
    std::mutex m_;
    uint32_t cr_ = 0, ct_ = 0, sa_ = 0, sr_ = DMA_SR_TERMINAL_COUNT0;
    bool held_ = false, pending_ = false;
    uint32_t completed_ = 0;
};

} // namespace board
