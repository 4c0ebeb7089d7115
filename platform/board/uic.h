// The universal interrupt controller UIC0 (DCRs 0xC0..0xC8).
// Status bits latch from the source inputs (edge or level, by the trigger and
// polarity registers); a written 1 clears a status bit unless its level source
// is still active. While status & enable & ~critical is not 0 the external
// interrupt is requested: the installed handler runs in interrupt context
// through the kernel.
#pragma once

#include "platform/board/board.h"

#include <functional>
#include <mutex>
#include <vector>

namespace board {

class Uic0 : public DcrDevice {
  public:
    uint32_t ReadDcr(uint32_t dcrn) override;
    void WriteDcr(uint32_t dcrn, uint32_t value) override;

    void SetInput(uint32_t mask, bool active);
    void Pulse(uint32_t mask);
    void SetHandler(void (*handler)());
    void Reset();
    // Called (without the controller's lock) after each write of the enable
    // register, with the enabled sources; kept across Reset.
    void OnEnableChange(std::function<void(uint32_t enabled)> observer);

  private:
    uint32_t Requesting() const { return sr_ & er_ & ~cr_; }
    void RequestLocked(std::unique_lock<std::mutex>& lock);
    void Deliver();
    uint32_t ActiveLevels() const;
    void NotifyEnable(uint32_t enabled);

    std::mutex m_;
    uint32_t sr_ = 0, er_ = 0, cr_ = 0, pr_ = 0xFFFFFFFFu, tr_ = 0;
    uint32_t inputs_ = 0;     // source lines as driven (1 = active)
    bool queued_ = false;     // an interrupt is on its way to the processor
    bool in_handler_ = false; // the firmware's vector is running
    uint32_t news_ = 0;       // sources raised since the vector started
    void (*handler_)() = nullptr;
    std::vector<std::function<void(uint32_t)>> enable_observers_;
};

Uic0& uic0();

} // namespace board
