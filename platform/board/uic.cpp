// UIC0 (see uic.h).
#include "platform/board/uic.h"

#include "platform/board/bus.h"
#include "platform/kernel/host.h"

namespace board {

Uic0& uic0() {
    static Uic0 u;
    return u;
}

// Level-triggered sources whose input is active.
uint32_t Uic0::ActiveLevels() const {
    return inputs_ & ~tr_;
}

uint32_t Uic0::ReadDcr(uint32_t dcrn) {
    std::lock_guard<std::mutex> lock(m_);
    switch (dcrn) {
    case DCR_UIC0_SR:
        return sr_;
    case DCR_UIC0_ER:
        return er_;
    case DCR_UIC0_CR:
        return cr_;
    case DCR_UIC0_PR:
        return pr_;
    case DCR_UIC0_TR:
        return tr_;
    case DCR_UIC0_MSR:
        return sr_ & er_;
    default:
        return 0;
    }
}

void Uic0::WriteDcr(uint32_t dcrn, uint32_t value) {
    std::unique_lock<std::mutex> lock(m_);
    switch (dcrn) {
    case DCR_UIC0_SR:
        sr_ &= ~value;
        sr_ |= ActiveLevels(); // a level still active stays pending
        break;
    case DCR_UIC0_ER:
        er_ = value;
        RequestLocked(lock);
        if (lock.owns_lock()) lock.unlock();
        NotifyEnable(value);
        return;
    case DCR_UIC0_CR:
        cr_ = value;
        break;
    case DCR_UIC0_PR:
        pr_ = value;
        break;
    case DCR_UIC0_TR:
        tr_ = value;
        sr_ |= ActiveLevels();
        break;
    default:
        return;
    }
    RequestLocked(lock);
}

void Uic0::SetInput(uint32_t mask, bool active) {
    std::unique_lock<std::mutex> lock(m_);
    uint32_t rising = active ? mask & ~inputs_ : 0;
    inputs_ = active ? inputs_ | mask : inputs_ & ~mask;
    sr_ |= (rising & tr_) | ActiveLevels();
    news_ |= rising;
    RequestLocked(lock);
}

void Uic0::Pulse(uint32_t mask) {
    std::unique_lock<std::mutex> lock(m_);
    sr_ |= mask;
    news_ |= mask;
    RequestLocked(lock);
}

void Uic0::OnEnableChange(std::function<void(uint32_t enabled)> observer) {
    std::lock_guard<std::mutex> lock(m_);
    enable_observers_.push_back(std::move(observer));
}

// The observers run without the lock: they may drive source inputs.
void Uic0::NotifyEnable(uint32_t enabled) {
    std::vector<std::function<void(uint32_t)>> observers;
    {
        std::lock_guard<std::mutex> lock(m_);
        observers = enable_observers_;
    }
    for (auto& observer : observers)
        observer(enabled);
}

void Uic0::SetHandler(void (*handler)()) {
    std::unique_lock<std::mutex> lock(m_);
    handler_ = handler;
    RequestLocked(lock);
}

void Uic0::Reset() {
    std::lock_guard<std::mutex> lock(m_);
    sr_ = er_ = cr_ = tr_ = inputs_ = 0;
    pr_ = 0xFFFFFFFFu;
    handler_ = nullptr;
}

void Uic0::RequestLocked(std::unique_lock<std::mutex>& lock) {
    if (queued_ || in_handler_ || handler_ == nullptr || Requesting() == 0) return;
    queued_ = true;
    lock.unlock();
    host::raise_interrupt([this] { Deliver(); });
}

// Interrupt context: run the firmware's vector. A source raised while it ran
// asks again at once; a level source that is merely still active asks again a
// tick later, so that a stuck source cannot hold the processor for ever.
void Uic0::Deliver() {
    void (*handler)();
    {
        std::lock_guard<std::mutex> lock(m_);
        queued_ = false;
        handler = handler_;
        if (handler == nullptr || Requesting() == 0) return;
        in_handler_ = true;
        news_ = 0;
    }
    handler();
    std::unique_lock<std::mutex> lock(m_);
    in_handler_ = false;
    if (Requesting() == 0 || queued_) return;
    if (news_ & Requesting()) {
        RequestLocked(lock);
        return;
    }
    queued_ = true;
    lock.unlock();
    host::schedule_device_event(host::clock_ticks() + 1, [this] { Deliver(); });
}

} // namespace board

void board_set_external_interrupt_handler(void (*handler)()) {
    board::uic0().SetHandler(handler);
}
