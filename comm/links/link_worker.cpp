#include "comm/links/link_worker.h"

#include "runtime/console.h"
#include "runtime/os.h"
#include "runtime/pools.h"

#include <cstring>

namespace {

enum worker_state : uint8_t { WORKER_NOT_CREATED = 1, WORKER_STACK_READY = 2, WORKER_RUNNING = 3 };

// The workers by number: a thread's input is 32 bits, not a host pointer.
const uint32_t WORKERS_MAX = 4;
link_worker* workers[WORKERS_MAX];
uint32_t worker_count = 0;

void worker_entry(ULONG input) {
    link_worker& w = *workers[input % WORKERS_MAX];
    for (;;) {
        ULONG actual = 0;
        tx_event_flags_get(&w.events, 0xFFFFFFFFu, TX_OR, &actual, TX_WAIT_FOREVER);
        for (uint32_t entry = 0; entry < LINK_WORKER_LINKS; entry++) {
            void* link = w.links[entry];
            if (!link) continue;
            ULONG taken = 0;
            bool woken = tx_event_flags_get(&w.events, 1u << entry, TX_OR_CLEAR, &taken,
                                            TX_NO_WAIT) == TX_SUCCESS;
            if (!woken && !w.timer_of(link)->timeout_flag) continue;
            w.serve(link);
        }
        tx_thread_relinquish();
    }
}

} // namespace

void link_worker_start(link_worker& w, UINT priority) {
    if (w.state == WORKER_STACK_READY || w.state == WORKER_RUNNING) return;
    w.state = WORKER_NOT_CREATED;
    void* stack = nullptr;
    os_status status =
        os_byte_allocate(&thread_stack_pool(), &stack, LINK_WORKER_STACK_BYTES, OS_NO_WAIT);
    if (status != OS_OK) {
        console_printf(w.texts->allocation_failed, int(status), 0u, int(LINK_WORKER_STACK_BYTES));
        return;
    }
    std::memset(stack, 0xEF, LINK_WORKER_STACK_BYTES);
    w.state = WORKER_STACK_READY;
    UINT rc = tx_event_flags_create(&w.events, w.texts->events_name);
    if (rc != TX_SUCCESS) console_printf(w.texts->events_failed, rc);
    if (worker_count >= WORKERS_MAX) return;
    w.number = uint8_t(worker_count);
    workers[worker_count] = &w;
    rc = tx_thread_create(&w.thread, w.texts->thread_name, worker_entry, worker_count++, stack,
                          LINK_WORKER_STACK_BYTES, priority, priority, 0, TX_AUTO_START);
    if (rc != TX_SUCCESS) {
        console_printf(w.texts->thread_failed, rc);
        return;
    }
    w.state = WORKER_RUNNING;
}

int link_worker_register(link_worker& w, void* link) {
    for (uint32_t entry = 0; entry < LINK_WORKER_LINKS; entry++) {
        if (w.links[entry]) continue;
        w.links[entry] = link;
        return int(entry);
    }
    console_printf("%s", w.texts->table_full);
    return -1;
}

namespace {
// The expiry: the flag up, the timer marked stopped, the worker woken.
void timer_expired(ULONG input) {
    link_worker* w = workers[(input >> 8) % WORKERS_MAX];
    void* link = w ? w->links[(input & 0xFF) % LINK_WORKER_LINKS] : nullptr;
    if (!link) return;
    link_timer& timer = *w->timer_of(link);
    timer.timeout_flag = 1;
    tx_timer_deactivate(&timer.timer);
    timer.active = 0;
    tx_thread_wait_abort(&w->thread);
}
} // namespace

UINT link_timer_create(link_worker& w, int entry, const char* name) {
    link_timer& timer = *w.timer_of(w.links[entry]);
    timer.timeout_flag = timer.active = 0;
    return tx_timer_create(&timer.timer, name, timer_expired, ULONG(w.number) << 8 | ULONG(entry),
                           100, 0, TX_NO_ACTIVATE);
}

void link_timer_start(link_timer& timer, ULONG ticks) {
    tx_timer_deactivate(&timer.timer);
    timer.timeout_flag = 0;
    tx_timer_change(&timer.timer, ticks, 0);
    tx_timer_activate(&timer.timer);
    timer.active = 1;
}

void link_timer_stop(link_timer& timer) {
    tx_timer_deactivate(&timer.timer);
    timer.timeout_flag = timer.active = 0;
}
