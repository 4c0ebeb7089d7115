// The display EPLD and DMA channel 0 (see display_epld.h).
#include "platform/board/display_epld.h"

#include <cstring>

namespace board {

void DisplayEpld::Reset() {
    std::lock_guard<std::mutex> lock(m_);
    faults_ = active_faults_ = EpldFaults();
    format_code_ = 0;
    ncfg_high_ = false;
    loads_ = 0;
    ClearLocked();
    control_ = width_ = height_ = refresh_ = 0;
}

void DisplayEpld::SetSink(std::function<void(const DisplayOutput&)> sink) {
    std::lock_guard<std::mutex> lock(sink_m_);
    sink_ = std::move(sink);
}

void DisplayEpld::SetFormatCode(uint8_t code) {
    std::lock_guard<std::mutex> lock(m_);
    format_code_ = code;
}

void DisplayEpld::SetFaults(const EpldFaults& faults) {
    std::lock_guard<std::mutex> lock(m_);
    faults_ = faults;
}

// Unconfigured: both inputs low, the configuration counters from zero.
void DisplayEpld::ClearLocked() {
    nstatus_ = conf_done_ = false;
    bits_ = 0;
    bytes_ = 0;
    shift_ = 0;
    std::memset(head_, 0, sizeof head_);
    gpio_set_inputs(GPIO_EPLD_NSTATUS | GPIO_EPLD_CONF_DONE, 0);
}

void DisplayEpld::LoseConfiguration() {
    DisplayOutput dark;
    {
        std::lock_guard<std::mutex> lock(m_);
        conf_done_ = false;
        gpio_set_inputs(GPIO_EPLD_CONF_DONE, 0);
    }
    Emit(dark);
}

EpldState DisplayEpld::State() {
    std::lock_guard<std::mutex> lock(m_);
    EpldState s;
    s.configured = conf_done_;
    s.loads = loads_;
    s.bits = bits_;
    s.control = control_;
    s.width = width_;
    s.height = height_;
    s.refresh = refresh_;
    std::memcpy(s.head, head_, sizeof s.head);
    return s;
}

void DisplayEpld::OutputsChanged(uint32_t before, uint32_t after) {
    bool went_dark = false;
    {
        std::lock_guard<std::mutex> lock(m_);
        bool ncfg = (after & GPIO_EPLD_NCONFIG) != 0;
        if (ncfg != ncfg_high_) {
            ncfg_high_ = ncfg;
            if (!ncfg) { // held in reset
                went_dark = conf_done_;
                ClearLocked();
            } else { // a configuration begins
                ++loads_;
                active_faults_ = faults_.loads != 0 ? faults_ : EpldFaults();
                if (faults_.loads > 0) --faults_.loads;
                nstatus_ = true;
                gpio_set_inputs(GPIO_EPLD_NSTATUS, GPIO_EPLD_NSTATUS);
            }
        }
        bool rising = (after & GPIO_EPLD_DCLK) && !(before & GPIO_EPLD_DCLK);
        if (rising && ncfg_high_ && nstatus_ && !conf_done_)
            ClockInLocked((after & GPIO_EPLD_DATA) != 0);
    }
    if (went_dark) Emit(DisplayOutput());
}

// One bit of the image. Any image of the right length configures the EPLD;
// only its first bytes are kept, for a look at which image came.
void DisplayEpld::ClockInLocked(bool data) {
    if (data) shift_ |= uint8_t(1u << (bits_ % 8));
    ++bits_;
    if (bits_ % 8 != 0) return;
    if (bytes_ < sizeof head_) head_[bytes_] = shift_;
    shift_ = 0;
    long index = long(bytes_++);
    if (index == active_faults_.nstatus_low_at_byte) {
        nstatus_ = false;
        gpio_set_inputs(GPIO_EPLD_NSTATUS, 0);
        return;
    }
    if (bytes_ == kImageBytes && !active_faults_.conf_done_never) {
        conf_done_ = true;
        gpio_set_inputs(GPIO_EPLD_CONF_DONE, GPIO_EPLD_CONF_DONE);
    }
}

uint16_t DisplayEpld::Reg(uint32_t reg) {
    if (!conf_done_) return 0;
    switch (reg) {
    case EPLD_STATUS:
        return uint16_t((control_ & 0xFF00) | format_code_);
    case EPLD_VERSION:
        return kVersion;
    default:
        return 0;
    }
}

void DisplayEpld::SetReg(uint32_t reg, uint16_t value) {
    if (!conf_done_) return;
    uint16_t* target = reg == EPLD_CONTROL   ? &control_
                       : reg == EPLD_WIDTH   ? &width_
                       : reg == EPLD_HEIGHT  ? &height_
                       : reg == EPLD_REFRESH ? &refresh_
                                             : nullptr;
    if (target == nullptr) return;
    // A new mode or brightness reaches the modules at once (after the
    // write, outside the lock); the geometry comes with the next frame.
    if (reg == EPLD_CONTROL && *target != value) control_changed_ = true;
    *target = value;
}

void DisplayEpld::Write(uint32_t offset, int width, uint32_t value) {
    Reg16Device::Write(offset, width, value);
    DisplayOutput output;
    {
        std::lock_guard<std::mutex> lock(m_);
        if (!control_changed_) return;
        control_changed_ = false;
        output = OutputLocked();
    }
    Emit(output);
}

DisplayOutput DisplayEpld::OutputLocked() const {
    DisplayOutput out;
    out.lit = conf_done_;
    out.format = format_code_;
    out.mode = uint8_t(control_ >> 8);
    out.brightness = uint8_t(control_);
    out.width = width_;
    out.height = height_;
    return out;
}

void DisplayEpld::ShowFrame(const uint8_t* frame, uint32_t bytes) {
    DisplayOutput output;
    {
        std::lock_guard<std::mutex> lock(m_);
        if (!conf_done_) return; // nothing reaches the modules
        output = OutputLocked();
    }
    output.frame = frame;
    output.frame_bytes = bytes;
    Emit(output);
}

void DisplayEpld::Emit(const DisplayOutput& output) {
    std::lock_guard<std::mutex> lock(sink_m_);
    if (sink_) sink_(output);
}

// ---- DMA channel 0 ----

void DmaChannel0::Reset() {
    std::lock_guard<std::mutex> lock(m_);
    cr_ = ct_ = sa_ = 0;
    sr_ = DMA_SR_TERMINAL_COUNT0;
    held_ = pending_ = false;
    completed_ = 0;
}

uint32_t DmaChannel0::ReadDcr(uint32_t dcrn) {
    std::lock_guard<std::mutex> lock(m_);
    switch (dcrn) {
    case DCR_DMA0_CR0:
        return cr_;
    case DCR_DMA0_CT0:
        return ct_;
    case DCR_DMA0_SA0:
        return sa_;
    case DCR_DMA0_SR:
        return sr_;
    default:
        return 0;
    }
}

void DmaChannel0::WriteDcr(uint32_t dcrn, uint32_t value) {
    std::unique_lock<std::mutex> lock(m_);
    switch (dcrn) {
    case DCR_DMA0_CR0:
        cr_ = value;
        if (!(value & DMA_CR_ENABLE)) return;
        pending_ = true;
        if (!held_) Complete(lock);
        return;
    case DCR_DMA0_CT0:
        ct_ = value;
        return;
    case DCR_DMA0_SA0:
        sa_ = value;
        return;
    case DCR_DMA0_SR:
        sr_ &= ~value;
        return;
    default:
        return;
    }
}

// The pending transfer, from the frame area only.
void DmaChannel0::Complete(std::unique_lock<std::mutex>& lock) {
    pending_ = false;
    const uint8_t* area = board_frame_area();
    uint32_t area_address = uint32_t(reinterpret_cast<uintptr_t>(area));
    uint32_t bytes = ct_ * 2;
    if (area == nullptr || sa_ < area_address ||
        uint64_t(sa_ - area_address) + bytes > BOARD_FRAME_AREA_BYTES) {
        sr_ |= DMA_SR_ERROR0;
        return;
    }
    sr_ |= DMA_SR_TERMINAL_COUNT0;
    ++completed_;
    const uint8_t* from = area + (sa_ - area_address);
    lock.unlock();
    epld_.ShowFrame(from, bytes);
    lock.lock();
}

void DmaChannel0::Hold(bool held) {
    std::unique_lock<std::mutex> lock(m_);
    held_ = held;
    if (!held_ && pending_) Complete(lock);
}

uint32_t DmaChannel0::Completed() {
    std::lock_guard<std::mutex> lock(m_);
    return completed_;
}

} // namespace board
