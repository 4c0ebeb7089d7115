// Thread services.
#include "platform/kernel/core.h"

namespace kernel {

const ULONG kMinimumStack = 200;

static Tcb* new_tcb(TX_THREAD* cb, const char* name, UINT priority) {
    Tcb* t = new Tcb;
    t->cb = cb;
    t->name = name;
    t->base_priority = t->priority = t->threshold = priority;
    cb->kernel_object = t;
    cb->name = name;
    register_object(cb, t);
    K().threads.push_back(t);
    return t;
}

Tcb* adopt_calling_thread(TX_THREAD* cb, const char* name, UINT priority) {
    Tcb* t = new_tcb(cb, name, priority);
    t->state = TX_READY;
    return t;
}

static bool waiting(const Tcb* t) {
    return t->wait != WaitKind::None;
}

// Take a thread out of whatever it waits on or of its ready queue.
static void detach(Tcb* t) {
    if (waiting(t)) {
        t->suspend_pending = false;
        end_wait(t, TX_WAIT_ABORTED);
    }
    if (t->state == TX_READY && t->ready_link.linked()) unready(t);
}

} // namespace kernel

using namespace kernel;

UINT tx_thread_create(TX_THREAD* thread, const char* name, tx_entry_fn entry, ULONG input,
                      void* stack, ULONG stack_size, UINT priority, UINT preempt_threshold,
                      ULONG time_slice, UINT auto_start) {
    Lock lk(K().m);
    if (in_isr()) return TX_CALLER_ERROR;
    if (!thread || K().live.count(thread)) return TX_THREAD_ERROR;
    if (!entry || !stack) return TX_PTR_ERROR;
    if (stack_size < kMinimumStack) return TX_SIZE_ERROR;
    if (priority >= TX_MAX_PRIORITIES) return TX_PRIORITY_ERROR;
    if (preempt_threshold > priority) return TX_THRESH_ERROR;
    if (auto_start > TX_AUTO_START) return TX_START_ERROR;
    Tcb* t = new_tcb(thread, name, priority);
    t->entry = entry;
    t->input = input;
    t->threshold = preempt_threshold;
    t->time_slice = time_slice;
    t->stack_size = stack_size;
    t->state = TX_SUSPENDED;
    if (!make_thread_context(t)) {
        t->dead = true;
        t->state = TX_TERMINATED;
        return TX_THREAD_ERROR;
    }
    if (auto_start) make_ready(t);
    preempt_point(lk);
    return TX_SUCCESS;
}

UINT tx_thread_delete(TX_THREAD* thread) {
    Lock lk(K().m);
    if (K().ctx == Ctx::Isr || K().ctx == Ctx::Timer) return TX_CALLER_ERROR;
    Tcb* t = find<Tcb>(thread, ObjType::Thread);
    if (!t) return TX_THREAD_ERROR;
    if (!t->dead) return TX_DELETE_ERROR;
    auto& threads = K().threads;
    for (size_t i = 0; i < threads.size(); ++i)
        if (threads[i] == t) threads.erase(threads.begin() + static_cast<long>(i));
    if (K().running != &t->context) context_free(&t->context);
    unregister_object(thread, t);
    thread->kernel_object = nullptr;
    return TX_SUCCESS;
}

UINT tx_thread_suspend(TX_THREAD* thread) {
    Lock lk(K().m);
    Tcb* t = find<Tcb>(thread, ObjType::Thread);
    if (!t) return TX_THREAD_ERROR;
    if (t->dead) return TX_SUSPEND_ERROR;
    if (waiting(t)) {
        t->suspend_pending = true;
    } else if (t->state == TX_READY) {
        if (t->ready_link.linked()) unready(t);
        t->state = TX_SUSPENDED;
        if (t == K().current && in_thread()) {
            block(lk, WaitKind::Suspended, nullptr, TX_WAIT_FOREVER);
            return TX_SUCCESS;
        }
    }
    preempt_point(lk);
    return TX_SUCCESS;
}

UINT tx_thread_resume(TX_THREAD* thread) {
    Lock lk(K().m);
    Tcb* t = find<Tcb>(thread, ObjType::Thread);
    if (!t) return TX_THREAD_ERROR;
    if (t->dead) return TX_RESUME_ERROR;
    if (waiting(t)) {
        if (!t->suspend_pending) return TX_RESUME_ERROR;
        t->suspend_pending = false;
        return TX_SUSPEND_LIFTED;
    }
    if (t->state != TX_SUSPENDED) return TX_RESUME_ERROR;
    make_ready(t);
    preempt_point(lk);
    return TX_SUCCESS;
}

UINT tx_thread_terminate(TX_THREAD* thread) {
    Lock lk(K().m);
    if (in_isr()) return TX_CALLER_ERROR;
    Tcb* t = find<Tcb>(thread, ObjType::Thread);
    if (!t) return TX_THREAD_ERROR;
    if (t->dead) return TX_SUCCESS;
    detach(t);
    if (t->state == TX_READY && t->ready_link.linked()) unready(t);
    t->state = TX_TERMINATED;
    t->dead = true;
    release_owned_mutexes(t);
    if (t == K().current && in_thread()) give_up_processor(t, lk); // does not return
    preempt_point(lk);
    return TX_SUCCESS;
}

UINT tx_thread_sleep(ULONG ticks) {
    Lock lk(K().m);
    if (!in_thread()) return TX_CALLER_ERROR;
    if (ticks == 0) {
        preempt_point(lk);
        return TX_SUCCESS;
    }
    return block(lk, WaitKind::Sleep, nullptr, ticks);
}

void tx_thread_relinquish() {
    Lock lk(K().m);
    if (in_thread() && !K().masked) yield_to_peer(lk);
}

UINT tx_thread_wait_abort(TX_THREAD* thread) {
    Lock lk(K().m);
    Tcb* t = find<Tcb>(thread, ObjType::Thread);
    if (!t) return TX_THREAD_ERROR;
    if (!waiting(t)) return TX_WAIT_ABORT_ERROR;
    end_wait(t, TX_WAIT_ABORTED);
    preempt_point(lk);
    return TX_SUCCESS;
}

UINT tx_thread_priority_change(TX_THREAD* thread, UINT new_priority, UINT* old_priority) {
    Lock lk(K().m);
    Tcb* t = find<Tcb>(thread, ObjType::Thread);
    if (!t) return TX_THREAD_ERROR;
    if (new_priority >= TX_MAX_PRIORITIES) return TX_PRIORITY_ERROR;
    if (!old_priority) return TX_PTR_ERROR;
    *old_priority = t->base_priority;
    t->base_priority = new_priority;
    t->threshold = new_priority;
    update_priority(t);
    preempt_point(lk);
    return TX_SUCCESS;
}

UINT tx_thread_preemption_change(TX_THREAD* thread, UINT new_threshold, UINT* old_threshold) {
    Lock lk(K().m);
    Tcb* t = find<Tcb>(thread, ObjType::Thread);
    if (!t) return TX_THREAD_ERROR;
    if (new_threshold > t->base_priority) return TX_THRESH_ERROR;
    if (!old_threshold) return TX_PTR_ERROR;
    *old_threshold = t->threshold;
    t->threshold = new_threshold;
    preempt_point(lk);
    return TX_SUCCESS;
}

UINT tx_thread_time_slice_change(TX_THREAD* thread, ULONG new_slice, ULONG* old_slice) {
    Lock lk(K().m);
    Tcb* t = find<Tcb>(thread, ObjType::Thread);
    if (!t) return TX_THREAD_ERROR;
    if (!old_slice) return TX_PTR_ERROR;
    *old_slice = t->time_slice;
    t->time_slice = new_slice;
    t->slice_left = new_slice;
    return TX_SUCCESS;
}

TX_THREAD* tx_thread_identify() {
    Lock lk(K().m);
    return in_thread() && K().current ? K().current->cb : nullptr;
}

UINT tx_thread_info_get(TX_THREAD* thread, const char** name, UINT* state, UINT* priority) {
    Lock lk(K().m);
    Tcb* t = find<Tcb>(thread, ObjType::Thread);
    if (!t) return TX_THREAD_ERROR;
    if (name) *name = t->name;
    if (state) *state = t->state;
    if (priority) *priority = t->priority;
    return TX_SUCCESS;
}
