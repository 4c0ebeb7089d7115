// The light-to-frequency input (see frequency_input.h).
#include "platform/board/frequency_input.h"

#include "platform/board/bus.h"
#include "platform/board/uic.h"
#include "platform/kernel/host.h"

#include <algorithm>
#include <mutex>

namespace board {

namespace {

const uint64_t TICKS_PER_SECOND = 100;

class FrequencyInput {
  public:
    void Set(uint32_t hz) {
        std::lock_guard<std::mutex> lock(m_);
        if (!observing_) {
            uic0().OnEnableChange([this](uint32_t enabled) { EnableChanged(enabled); });
            observing_ = true;
        }
        hz_ = std::min(hz, FREQUENCY_MAX_HZ);
        enabled_ = (uic0().ReadDcr(DCR_UIC0_ER) & FREQUENCY_UIC_SOURCE) != 0;
        Restart();
    }
    uint32_t Hz() {
        std::lock_guard<std::mutex> lock(m_);
        return hz_;
    }

  private:
    void EnableChanged(uint32_t enabled) {
        std::lock_guard<std::mutex> lock(m_);
        bool on = (enabled & FREQUENCY_UIC_SOURCE) != 0;
        if (on == enabled_) return;
        enabled_ = on;
        Restart();
    }
    void Restart() {
        ++generation_; // a pending edge event of the old rate finds it changed and does nothing
        if (!enabled_ || hz_ == 0) return;
        origin_ = host::clock_ticks();
        count_ = 0;
        ScheduleNext();
    }
    // The tick at which the next edge is due.
    void ScheduleNext() {
        uint64_t next = origin_ + ((count_ + 1) * TICKS_PER_SECOND + hz_ - 1) / hz_;
        uint64_t generation = generation_;
        host::schedule_device_event(next, [this, generation] { Due(generation); });
    }
    void Due(uint64_t generation) {
        uint64_t edges;
        {
            std::lock_guard<std::mutex> lock(m_);
            if (generation != generation_) return;
            uint64_t due = (host::clock_ticks() - origin_) * hz_ / TICKS_PER_SECOND;
            // A tick the host was late for brings no more than one tick's worth.
            edges = std::min<uint64_t>(due - count_, FREQUENCY_MAX_HZ / TICKS_PER_SECOND);
            count_ = due;
            ScheduleNext();
        }
        Edge(generation, edges);
    }
    // One edge now, the next after the interrupt this one raises.
    void Edge(uint64_t generation, uint64_t left) {
        {
            std::lock_guard<std::mutex> lock(m_);
            if (generation != generation_ || !enabled_ || left == 0) return;
        }
        uic0().Pulse(FREQUENCY_UIC_SOURCE);
        if (left > 1)
            host::raise_interrupt([this, generation, left] { Edge(generation, left - 1); });
    }

    std::mutex m_;
    bool observing_ = false;
    bool enabled_ = false;
    uint32_t hz_ = 0;
    uint64_t origin_ = 0, count_ = 0, generation_ = 0;
};

FrequencyInput& input() {
    static FrequencyInput f;
    return f;
}

} // namespace

void frequency_input_set(uint32_t hz) {
    input().Set(hz);
}

uint32_t frequency_input() {
    return input().Hz();
}

} // namespace board
