#include "runtime/timer_scheduler.h"

#include <vector>

namespace {

const uint32_t NO_RECORDS = 0x7FFFFFFF;

// Remaining ticks of a record at `now`; a record already due counts 0. The
// difference is taken modulo 2^32, so that the wrap of the tick count (after
// 497 days) neither fires a record early nor pushes it back by 2^32 ticks.
uint32_t remaining(const timer_event* e, uint32_t now) {
    int32_t ahead = static_cast<int32_t>(e->expiry - now);
    return ahead > 0 ? static_cast<uint32_t>(ahead) : 0;
}

} // namespace

timer_scheduler*& global_timer_scheduler() {
    static timer_scheduler* scheduler = nullptr;
    return scheduler;
}

timer_scheduler_tx_rtos* timer_scheduler_tx_rtos::instance() {
    static timer_scheduler_tx_rtos* scheduler = new timer_scheduler_tx_rtos();
    return scheduler;
}

timer_scheduler_tx_rtos::timer_scheduler_tx_rtos() {
    tx_mutex_create(&mutex_, "Scheduler", TX_INHERIT);
    tx_timer_create(&timer_, "Scheduler", &timer_scheduler_tx_rtos::expiry, 0, 100, 100,
                    TX_NO_ACTIVATE);
}

// Thread callers are serialised by the mutex; the timer context goes on
// without it. The list itself is changed with the interrupt lock held, so the
// expiry never sees it half-changed.
bool timer_scheduler_tx_rtos::lock() {
    if (!tx_thread_identify()) return true;
    return tx_mutex_get(&mutex_, TX_WAIT_FOREVER) == TX_SUCCESS;
}

void timer_scheduler_tx_rtos::unlock(bool locked) {
    if (locked && tx_thread_identify()) tx_mutex_put(&mutex_);
}

std::list<timer_event*>::iterator timer_scheduler_tx_rtos::find(uint32_t id) {
    for (auto it = records_.begin(); it != records_.end(); ++it)
        if ((*it)->id == id) return it;
    return records_.end();
}

uint32_t timer_scheduler_tx_rtos::add(timer_event* event, uint32_t ticks, bool repeat) {
    if (!event || !lock()) return 0;
    uint32_t id;
    {
        CInterruptLock masked;
        uint32_t now = tx_time_get();
        id = ++counter_;
        event->id = id;
        event->expiry = now + ticks;
        event->period = ticks;
        event->repeat = repeat ? 1 : 0;
        records_.push_back(event);
        reprogram(now);
    }
    unlock(true);
    return id;
}

int timer_scheduler_tx_rtos::remove(uint32_t id) {
    if (!lock()) return 0;
    timer_event* removed = nullptr;
    {
        CInterruptLock masked;
        auto it = find(id);
        if (it != records_.end()) {
            removed = *it;
            records_.erase(it);
            if (records_.empty())
                tx_timer_deactivate(&timer_);
            else
                reprogram(tx_time_get());
        }
    }
    unlock(true);
    delete removed;
    return removed != nullptr;
}

int timer_scheduler_tx_rtos::restart(uint32_t id) {
    if (!lock()) return 0;
    int done = 0;
    {
        CInterruptLock masked;
        auto it = find(id);
        if (it != records_.end() && (*it)->repeat) {
            uint32_t now = tx_time_get();
            (*it)->expiry = now + (*it)->period;
            reprogram(now);
            done = 1;
        }
    }
    unlock(true);
    return done;
}

int timer_scheduler_tx_rtos::command(uint32_t id, uint32_t argument) {
    if (!lock()) return 0;
    int done = 0;
    {
        CInterruptLock masked;
        auto it = find(id);
        if (it != records_.end()) {
            uint32_t now = tx_time_get();
            (*it)->set(now, argument);
            reprogram(now);
            done = 1;
        }
    }
    unlock(true);
    return done;
}

uint32_t timer_scheduler_tx_rtos::next_expiry(uint32_t now) const {
    uint32_t nearest = NO_RECORDS;
    for (const timer_event* e : records_)
        if (remaining(e, now) < nearest) nearest = remaining(e, now);
    return nearest;
}

void timer_scheduler_tx_rtos::reprogram(uint32_t now) {
    uint32_t delay = next_expiry(now);
    // The kernel timer takes no 0 ticks: a record already due fires on the next tick.
    if (delay == 0) delay = 1;
    tx_timer_deactivate(&timer_);
    tx_timer_change(&timer_, delay, delay);
    tx_timer_activate(&timer_);
}

size_t timer_scheduler_tx_rtos::size() const {
    CInterruptLock masked;
    return records_.size();
}

// Fire every record due at `now`. The ids are gathered first, so that a fire
// operation may add, remove or restart records without upsetting the walk.
void timer_scheduler_tx_rtos::fire_due(uint32_t now) {
    std::vector<uint32_t> due;
    for (const timer_event* e : records_)
        if (remaining(e, now) == 0) due.push_back(e->id);
    for (uint32_t id : due) {
        auto it = find(id);
        if (it == records_.end()) continue;
        timer_event* e = *it;
        e->fire();
        it = find(id);
        if (it == records_.end()) continue;
        if (e->repeat)
            e->expiry = now + e->period;
        else
            records_.erase(it);
    }
}

void timer_scheduler_tx_rtos::expiry(ULONG) {
    timer_scheduler_tx_rtos* self = instance();
    CInterruptLock masked;
    uint32_t now = tx_time_get();
    self->fire_due(now);
    if (self->records_.empty())
        tx_timer_deactivate(&self->timer_);
    else
        self->reprogram(now);
}
