// Application timers: expiry functions run in timer context.
#include "platform/kernel/core.h"

namespace kernel {

void app_timer_expired(AppTimer* t, Lock& lk) {
    if (t->reschedule) arm(&t->node, K().now + t->reschedule);
    tx_entry_fn fn = t->expiry_fn;
    ULONG input = t->input;
    run_in(Ctx::Timer, lk, [fn, input] { fn(input); });
}

} // namespace kernel

using namespace kernel;

UINT tx_timer_create(TX_TIMER* timer, const char* name, tx_entry_fn expiry, ULONG input,
                     ULONG initial_ticks, ULONG reschedule_ticks, UINT auto_activate) {
    Lock lk(K().m);
    if (in_isr()) return TX_CALLER_ERROR;
    if (!timer || K().live.count(timer)) return TX_TIMER_ERROR;
    if (!expiry) return TX_PTR_ERROR;
    if (initial_ticks == 0) return TX_TICK_ERROR;
    if (auto_activate > TX_AUTO_ACTIVATE) return TX_ACTIVATE_ERROR;
    AppTimer* t = new AppTimer;
    t->name = name;
    t->expiry_fn = expiry;
    t->input = input;
    t->initial = initial_ticks;
    t->reschedule = reschedule_ticks;
    timer->kernel_object = t;
    timer->name = name;
    register_object(timer, t);
    if (auto_activate) arm(&t->node, K().now + initial_ticks);
    return TX_SUCCESS;
}

UINT tx_timer_delete(TX_TIMER* timer) {
    Lock lk(K().m);
    if (K().ctx == Ctx::Isr || K().ctx == Ctx::Timer) return TX_CALLER_ERROR;
    AppTimer* t = find<AppTimer>(timer, ObjType::Timer);
    if (!t) return TX_TIMER_ERROR;
    disarm(&t->node);
    unregister_object(timer, t);
    timer->kernel_object = nullptr;
    return TX_SUCCESS;
}

UINT tx_timer_activate(TX_TIMER* timer) {
    Lock lk(K().m);
    AppTimer* t = find<AppTimer>(timer, ObjType::Timer);
    if (!t) return TX_TIMER_ERROR;
    if (t->node.armed) return TX_ACTIVATE_ERROR;
    ULONG ticks = t->saved_remaining ? t->saved_remaining : t->initial;
    t->saved_remaining = 0;
    arm(&t->node, K().now + ticks);
    preempt_point(lk);
    return TX_SUCCESS;
}

UINT tx_timer_deactivate(TX_TIMER* timer) {
    Lock lk(K().m);
    AppTimer* t = find<AppTimer>(timer, ObjType::Timer);
    if (!t) return TX_TIMER_ERROR;
    if (t->node.armed) {
        uint64_t left = t->node.expiry > K().now ? t->node.expiry - K().now : 1;
        t->saved_remaining = static_cast<ULONG>(left);
        disarm(&t->node);
    }
    return TX_SUCCESS;
}

// The new values apply from the next activation; a running count goes on,
// and its reschedule takes the new period.
UINT tx_timer_change(TX_TIMER* timer, ULONG initial_ticks, ULONG reschedule_ticks) {
    Lock lk(K().m);
    AppTimer* t = find<AppTimer>(timer, ObjType::Timer);
    if (!t) return TX_TIMER_ERROR;
    if (initial_ticks == 0) return TX_TICK_ERROR;
    t->initial = initial_ticks;
    t->reschedule = reschedule_ticks;
    t->saved_remaining = 0;
    return TX_SUCCESS;
}

UINT tx_timer_info_get(TX_TIMER* timer, const char** name, UINT* active, ULONG* remaining_ticks,
                       ULONG* reschedule_ticks) {
    Lock lk(K().m);
    AppTimer* t = find<AppTimer>(timer, ObjType::Timer);
    if (!t) return TX_TIMER_ERROR;
    if (name) *name = t->name;
    if (active) *active = t->node.armed ? 1 : 0;
    if (remaining_ticks)
        *remaining_ticks = t->node.armed ? static_cast<ULONG>(t->node.expiry - K().now)
                                         : (t->saved_remaining ? t->saved_remaining : t->initial);
    if (reschedule_ticks) *reschedule_ticks = t->reschedule;
    return TX_SUCCESS;
}
