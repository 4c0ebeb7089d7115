// The timer scheduler: one kernel timer multiplexed over any number of timed
// callbacks (timer_event records). Records fire in the kernel's timer context.
#pragma once

#include "platform/kernel/kernel.h"

#include <cstddef>
#include <cstdint>
#include <list>

// A timed record. Owned by its caller while it is in the scheduler; remove()
// destroys it, the expiry of a one-shot record does not.
class timer_event {
  public:
    virtual ~timer_event() = default;
    // Runs in timer context: must not wait.
    virtual void fire() = 0;
    virtual void set(uint32_t now, uint32_t ticks) {
        expiry = now + ticks;
        period = ticks;
    }

    uint32_t expiry = 0; // kernel tick at which the record is due
    uint32_t period = 0; // the delay given when added or last set
    uint8_t repeat = 0;
    uint32_t id = 0;
};

class timer_scheduler {
  public:
    virtual ~timer_scheduler() = default;
    // -> the new id (first 1, never reused), 0 for a null record or no lock.
    virtual uint32_t add(timer_event* event, uint32_t ticks, bool repeat) = 0;
    // -> 1 when a record had that id (it is destroyed), else 0.
    virtual int remove(uint32_t id) = 0;
    // -> 1 for a repeating record (expiry = now + period), 0 otherwise.
    virtual int restart(uint32_t id) = 0;
    // -> 1 when found: the record's set(now, argument).
    virtual int command(uint32_t id, uint32_t argument) = 0;
};

class timer_scheduler_tx_rtos : public timer_scheduler {
  public:
    // Created on the first call: mutex "Scheduler" (inheritance) and the
    // kernel timer "Scheduler" (100 ticks, not activated).
    static timer_scheduler_tx_rtos* instance();

    uint32_t add(timer_event* event, uint32_t ticks, bool repeat) override;
    int remove(uint32_t id) override;
    int restart(uint32_t id) override;
    int command(uint32_t id, uint32_t argument) override;

    // Ticks to the nearest expiry (0 when one is due), 0x7FFFFFFF with no records.
    uint32_t next_expiry(uint32_t now) const;
    void reprogram(uint32_t now);
    size_t size() const;

    // The kernel timer's expiry function (timer context).
    static void expiry(ULONG input);

  private:
    timer_scheduler_tx_rtos();
    bool lock();
    void unlock(bool locked);
    std::list<timer_event*>::iterator find(uint32_t id);
    void fire_due(uint32_t now);

    std::list<timer_event*> records_;
    TX_MUTEX mutex_{};
    TX_TIMER timer_{};
    uint32_t counter_ = 0;
};

// The scheduler the system uses (set by start-up; null before).
timer_scheduler*& global_timer_scheduler();
