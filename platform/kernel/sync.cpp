// Mutexes, counting semaphores and event-flag groups.
#include "platform/kernel/core.h"

namespace kernel {

static bool deletes_refused() {
    return K().ctx == Ctx::Isr || K().ctx == Ctx::Timer;
}

// A wait asked where waiting is impossible (timer, interrupt, start-up).
static bool wait_refused(ULONG wait) {
    return wait != TX_NO_WAIT && !in_thread();
}

static void wake_all(Object* o, UINT status) {
    while (Link* l = o->waiters.front())
        end_wait(tcb_of_link(l), status);
}

// Mutex waiters are served highest priority first, FIFO among equals.
static Tcb* best_waiter(Mutex* m) {
    Tcb* best = nullptr;
    for (Link* l = m->waiters.front(); l; l = m->waiters.next_of(l)) {
        Tcb* t = tcb_of_link(l);
        if (!best || t->priority < best->priority) best = t;
    }
    return best;
}

static void drop_owned(Tcb* owner, Mutex* m) {
    auto& owned = owner->owned;
    for (size_t i = 0; i < owned.size(); ++i)
        if (owned[i] == m) owned.erase(owned.begin() + static_cast<long>(i));
}

void mutex_release(Mutex* m) {
    Tcb* previous = m->owner;
    if (previous) drop_owned(previous, m);
    m->owner = nullptr;
    m->owned_outside_thread = false;
    m->count = 0;
    if (Tcb* next = best_waiter(m)) {
        m->owner = next;
        m->count = 1;
        next->owned.push_back(m);
        end_wait(next, TX_SUCCESS);
        update_priority(next);
    }
    if (previous) update_priority(previous);
}

void release_owned_mutexes(Tcb* t) {
    while (!t->owned.empty())
        mutex_release(t->owned.front());
}

} // namespace kernel

using namespace kernel;

// ---- mutexes ----------------------------------------------------------------

UINT tx_mutex_create(TX_MUTEX* mutex, const char* name, UINT inherit) {
    Lock lk(K().m);
    if (in_isr()) return TX_CALLER_ERROR;
    if (!mutex || K().live.count(mutex)) return TX_MUTEX_ERROR;
    if (inherit > TX_INHERIT) return TX_INHERIT_ERROR;
    Mutex* m = new Mutex;
    m->name = name;
    m->inherit = inherit == TX_INHERIT;
    mutex->kernel_object = m;
    mutex->name = name;
    register_object(mutex, m);
    return TX_SUCCESS;
}

UINT tx_mutex_delete(TX_MUTEX* mutex) {
    Lock lk(K().m);
    if (deletes_refused()) return TX_CALLER_ERROR;
    Mutex* m = find<Mutex>(mutex, ObjType::Mutex);
    if (!m) return TX_MUTEX_ERROR;
    Tcb* owner = m->owner;
    if (owner) drop_owned(owner, m);
    m->owner = nullptr;
    wake_all(m, TX_DELETED);
    if (owner) update_priority(owner);
    unregister_object(mutex, m);
    mutex->kernel_object = nullptr;
    preempt_point(lk);
    return TX_SUCCESS;
}

UINT tx_mutex_get(TX_MUTEX* mutex, ULONG wait) {
    Lock lk(K().m);
    if (in_isr()) return TX_CALLER_ERROR;
    Mutex* m = find<Mutex>(mutex, ObjType::Mutex);
    if (!m) return TX_MUTEX_ERROR;
    if (wait_refused(wait)) return TX_WAIT_ERROR;
    Tcb* self = in_thread() ? K().current : nullptr;
    bool free = !m->owner && !m->owned_outside_thread;
    if (free) {
        m->count = 1;
        m->owner = self;
        m->owned_outside_thread = !self;
        if (self) self->owned.push_back(m);
        preempt_point(lk);
        return TX_SUCCESS;
    }
    bool mine = self ? m->owner == self : m->owned_outside_thread;
    if (mine) {
        ++m->count;
        preempt_point(lk);
        return TX_SUCCESS;
    }
    if (wait == TX_NO_WAIT) return TX_NOT_AVAILABLE;
    return block(lk, WaitKind::Mutex, m, wait);
}

UINT tx_mutex_put(TX_MUTEX* mutex) {
    Lock lk(K().m);
    if (in_isr()) return TX_CALLER_ERROR;
    Mutex* m = find<Mutex>(mutex, ObjType::Mutex);
    if (!m) return TX_MUTEX_ERROR;
    Tcb* self = in_thread() ? K().current : nullptr;
    bool mine = self ? m->owner == self : m->owned_outside_thread;
    if (m->count == 0 || !mine) return TX_NOT_OWNED;
    if (--m->count > 0) return TX_SUCCESS;
    mutex_release(m);
    preempt_point(lk);
    return TX_SUCCESS;
}

// ---- semaphores -------------------------------------------------------------

UINT tx_semaphore_create(TX_SEMAPHORE* semaphore, const char* name, ULONG initial_count) {
    Lock lk(K().m);
    if (in_isr()) return TX_CALLER_ERROR;
    if (!semaphore || K().live.count(semaphore)) return TX_SEMAPHORE_ERROR;
    Semaphore* s = new Semaphore;
    s->name = name;
    s->count = initial_count;
    semaphore->kernel_object = s;
    semaphore->name = name;
    register_object(semaphore, s);
    return TX_SUCCESS;
}

UINT tx_semaphore_delete(TX_SEMAPHORE* semaphore) {
    Lock lk(K().m);
    if (deletes_refused()) return TX_CALLER_ERROR;
    Semaphore* s = find<Semaphore>(semaphore, ObjType::Semaphore);
    if (!s) return TX_SEMAPHORE_ERROR;
    wake_all(s, TX_DELETED);
    unregister_object(semaphore, s);
    semaphore->kernel_object = nullptr;
    preempt_point(lk);
    return TX_SUCCESS;
}

UINT tx_semaphore_get(TX_SEMAPHORE* semaphore, ULONG wait) {
    Lock lk(K().m);
    Semaphore* s = find<Semaphore>(semaphore, ObjType::Semaphore);
    if (!s) return TX_SEMAPHORE_ERROR;
    if (wait_refused(wait)) return TX_WAIT_ERROR;
    if (s->count > 0) {
        --s->count;
        preempt_point(lk);
        return TX_SUCCESS;
    }
    if (wait == TX_NO_WAIT) return TX_NO_INSTANCE;
    return block(lk, WaitKind::Semaphore, s, wait);
}

UINT tx_semaphore_put(TX_SEMAPHORE* semaphore) {
    Lock lk(K().m);
    Semaphore* s = find<Semaphore>(semaphore, ObjType::Semaphore);
    if (!s) return TX_SEMAPHORE_ERROR;
    if (Link* l = s->waiters.front()) {
        end_wait(tcb_of_link(l), TX_SUCCESS);
    } else {
        if (s->count == 0xFFFFFFFFu) return TX_SEMAPHORE_ERROR; // would wrap to 0
        ++s->count;
    }
    preempt_point(lk);
    return TX_SUCCESS;
}

UINT tx_semaphore_info_get(TX_SEMAPHORE* semaphore, const char** name, ULONG* current_value) {
    Lock lk(K().m);
    Semaphore* s = find<Semaphore>(semaphore, ObjType::Semaphore);
    if (!s) return TX_SEMAPHORE_ERROR;
    if (name) *name = s->name;
    if (current_value) *current_value = s->count;
    return TX_SUCCESS;
}

// ---- event flags ------------------------------------------------------------

static bool flags_satisfied(ULONG flags, ULONG requested, UINT option) {
    bool all = option == TX_AND || option == TX_AND_CLEAR;
    return all ? (flags & requested) == requested : (flags & requested) != 0;
}

static bool clears(UINT option) {
    return option == TX_OR_CLEAR || option == TX_AND_CLEAR;
}

UINT tx_event_flags_create(TX_EVENT_FLAGS_GROUP* group, const char* name) {
    Lock lk(K().m);
    if (in_isr()) return TX_CALLER_ERROR;
    if (!group || K().live.count(group)) return TX_GROUP_ERROR;
    Flags* f = new Flags;
    f->name = name;
    group->kernel_object = f;
    group->name = name;
    register_object(group, f);
    return TX_SUCCESS;
}

UINT tx_event_flags_delete(TX_EVENT_FLAGS_GROUP* group) {
    Lock lk(K().m);
    if (deletes_refused()) return TX_CALLER_ERROR;
    Flags* f = find<Flags>(group, ObjType::Flags);
    if (!f) return TX_GROUP_ERROR;
    wake_all(f, TX_DELETED);
    unregister_object(group, f);
    group->kernel_object = nullptr;
    preempt_point(lk);
    return TX_SUCCESS;
}

UINT tx_event_flags_get(TX_EVENT_FLAGS_GROUP* group, ULONG requested, UINT option, ULONG* actual,
                        ULONG wait) {
    Lock lk(K().m);
    Flags* f = find<Flags>(group, ObjType::Flags);
    if (!f) return TX_GROUP_ERROR;
    if (!actual) return TX_PTR_ERROR;
    if (option > TX_AND_CLEAR) return TX_OPTION_ERROR;
    if (wait_refused(wait)) return TX_WAIT_ERROR;
    if (flags_satisfied(f->flags, requested, option)) {
        *actual = f->flags;
        if (clears(option)) f->flags &= ~requested;
        preempt_point(lk);
        return TX_SUCCESS;
    }
    if (wait == TX_NO_WAIT) return TX_NO_EVENTS;
    Tcb* self = K().current;
    self->flags_requested = requested;
    self->flags_option = option;
    UINT status = block(lk, WaitKind::Flags, f, wait);
    if (status == TX_SUCCESS) *actual = self->flags_actual;
    return status;
}

UINT tx_event_flags_set(TX_EVENT_FLAGS_GROUP* group, ULONG flags, UINT option) {
    Lock lk(K().m);
    Flags* f = find<Flags>(group, ObjType::Flags);
    if (!f) return TX_GROUP_ERROR;
    if (option != TX_OR && option != TX_AND) return TX_OPTION_ERROR;
    f->flags = option == TX_OR ? (f->flags | flags) : (f->flags & flags);
    Link* l = f->waiters.front();
    while (l) {
        Link* next = f->waiters.next_of(l);
        Tcb* t = tcb_of_link(l);
        if (flags_satisfied(f->flags, t->flags_requested, t->flags_option)) {
            t->flags_actual = f->flags;
            if (clears(t->flags_option)) f->flags &= ~t->flags_requested;
            end_wait(t, TX_SUCCESS);
        }
        l = next;
    }
    preempt_point(lk);
    return TX_SUCCESS;
}
