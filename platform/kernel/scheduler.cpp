// The simulated processor: ready queues, dispatch, the idle loop, the one
// timeline of expiries and the two clocks.
#include "platform/kernel/core.h"

#include <pthread.h>
#include <sched.h>
#include <sys/mman.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kernel {

Kernel& K() {
    // Never destroyed: parked host threads may touch it while the process exits.
    static Kernel* kernel = new Kernel;
    return *kernel;
}

void register_object(const void* cb, Object* o) {
    K().live[cb] = o;
}

void unregister_object(const void* cb, Object* o) {
    K().live.erase(cb);
    K().graveyard.push_back(o);
}

// The kernel thread whose host thread this is (null on other host threads).
static thread_local Tcb* t_self = nullptr;
// This host thread holds the processor (runs a thread, the idle loop, a
// handler or start-up).
static thread_local bool t_holds = false;

// A kernel thread holds the processor and calls from its own host thread. A
// host thread outside the kernel that calls a service by mistake is treated
// as outside every thread: it can neither wait nor be switched away.
bool in_thread() {
    Kernel& k = K();
    return k.ctx == Ctx::Thread && k.current && k.current == t_self;
}
bool in_isr() {
    return K().ctx == Ctx::Isr;
}

void make_ready(Tcb* t) {
    Kernel& k = K();
    t->state = TX_READY;
    k.ready[t->priority].push_back(&t->ready_link);
    k.ready_bits |= 1u << t->priority;
}

static void make_ready_front(Tcb* t) {
    Kernel& k = K();
    t->state = TX_READY;
    k.ready[t->priority].push_front(&t->ready_link);
    k.ready_bits |= 1u << t->priority;
}

void unready(Tcb* t) {
    Kernel& k = K();
    Queue::remove(&t->ready_link);
    if (k.ready[t->priority].empty()) k.ready_bits &= ~(1u << t->priority);
}

static Tcb* best_ready() {
    Kernel& k = K();
    if (!k.ready_bits) return nullptr;
    return tcb_of_link(k.ready[__builtin_ctz(k.ready_bits)].front());
}

// ---- clock ---------------------------------------------------------------

static bool real_clock() {
    return K().config.clock == host::ClockMode::Real;
}

static uint64_t real_ticks_now() {
    Kernel& k = K();
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - k.real_start).count();
    return static_cast<uint64_t>(seconds * k.config.speed * 100.0);
}

static std::chrono::steady_clock::time_point real_time_of_tick(uint64_t tick) {
    Kernel& k = K();
    double seconds = static_cast<double>(tick) / (100.0 * k.config.speed);
    return k.real_start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                              std::chrono::duration<double>(seconds));
}

static void set_now(uint64_t t) {
    K().now = t;
    K().now_atomic.store(t, std::memory_order_relaxed);
}

void arm(TimerNode* n, uint64_t expiry) {
    Kernel& k = K();
    if (n->armed) disarm(n);
    n->expiry = expiry;
    n->seq = ++k.seq;
    n->armed = true;
    k.timeline.insert(TimerKey{expiry, n->seq, n});
}

void disarm(TimerNode* n) {
    if (!n->armed) return;
    K().timeline.erase(TimerKey{n->expiry, n->seq, n});
    n->armed = false;
}

void run_in(Ctx c, Lock& lk, const std::function<void()>& fn) {
    Kernel& k = K();
    Ctx saved_ctx = k.ctx;
    bool saved_mask = k.masked;
    k.ctx = c;
    k.masked = false;
    lk.unlock();
    fn();
    lk.lock();
    k.ctx = saved_ctx;
    k.masked = saved_mask;
}

static UINT timeout_status(WaitKind kind) {
    switch (kind) {
    case WaitKind::Semaphore:
        return TX_NO_INSTANCE;
    case WaitKind::Mutex:
        return TX_NOT_AVAILABLE;
    case WaitKind::Flags:
        return TX_NO_EVENTS;
    case WaitKind::Pool:
        return TX_NO_MEMORY;
    default:
        return TX_SUCCESS;
    }
}

static void fire(TimerNode* n, Lock& lk) {
    switch (n->kind) {
    case TimerNode::Timeout: {
        Tcb* t = static_cast<Tcb*>(n->owner);
        end_wait(t, timeout_status(t->wait));
        break;
    }
    case TimerNode::App:
        app_timer_expired(static_cast<AppTimer*>(n->owner), lk);
        break;
    case TimerNode::Device: {
        DeviceEvent* e = static_cast<DeviceEvent*>(n->owner);
        K().device_events.erase(e->id);
        std::function<void()> handler = std::move(e->handler);
        delete e;
        if (handler) run_in(Ctx::Isr, lk, handler);
        break;
    }
    }
}

// Let time pass up to `target`, firing every expiry due on the way in order.
static void run_due(Lock& lk, uint64_t target) {
    Kernel& k = K();
    while (!k.timeline.empty()) {
        TimerKey key = *k.timeline.begin();
        if (key.expiry > target) break;
        k.timeline.erase(k.timeline.begin());
        key.node->armed = false;
        if (key.expiry > k.now) set_now(key.expiry);
        fire(key.node, lk);
    }
    if (target > k.now) set_now(target);
}

// Ticks that passed while the current thread ran use up its time slice.
static void account_slice(uint64_t ticks) {
    Kernel& k = K();
    Tcb* t = k.current;
    if (!t || t->time_slice == 0 || ticks == 0) return;
    if (ticks >= t->slice_left) {
        t->slice_left = t->time_slice;
        k.yield_requested = true;
    } else {
        t->slice_left -= static_cast<ULONG>(ticks);
    }
}

// Interrupts raised meanwhile and, on the real clock, the ticks that came.
static void take_interrupts(Lock& lk) {
    Kernel& k = K();
    do {
        while (!k.masked && !k.pending_irqs.empty()) {
            std::function<void()> fn = std::move(k.pending_irqs.front());
            k.pending_irqs.pop_front();
            run_in(Ctx::Isr, lk, fn);
        }
        if (real_clock()) {
            uint64_t before = k.now;
            uint64_t target = real_ticks_now();
            if (target > before) {
                run_due(lk, target);
                account_slice(target - before);
            }
        } else if (!k.timeline.empty() && k.timeline.begin()->expiry <= k.now) {
            run_due(lk, k.now); // overdue: device events set in the past, ticks under the lock
        }
    } while (!k.masked && !k.pending_irqs.empty());
}

static const char* state_name(UINT state) {
    switch (state) {
    case TX_READY:
        return "ready";
    case TX_COMPLETED:
        return "completed";
    case TX_TERMINATED:
        return "terminated";
    case TX_SUSPENDED:
        return "suspended";
    case TX_SLEEP:
        return "sleeping";
    case TX_EVENT_FLAG:
        return "waiting for event flags";
    case TX_SEMAPHORE_SUSP:
        return "waiting for a semaphore";
    case TX_MUTEX_SUSP:
        return "waiting for a mutex";
    case TX_BYTE_MEMORY:
        return "waiting for pool memory";
    default:
        return "?";
    }
}

// Virtual clock, every thread waits for ever and nothing is due: only a host
// thread can still raise an interrupt. Say so once on standard error when that
// lasts, which is how a deadlocked test shows what it waits for.
static void wait_while_stalled(Lock& lk) {
    Kernel& k = K();
    if (k.idle_cv.wait_for(lk, std::chrono::seconds(5)) == std::cv_status::no_timeout) return;
    if (!k.timeline.empty() || !k.pending_irqs.empty() || k.host_activity > 0) return;
    std::fprintf(stderr, "kernel: tick %llu: every thread waits and nothing is due:\n",
                 static_cast<unsigned long long>(k.now));
    for (Tcb* t : k.threads) {
        const char* on = t->waiting_on && t->waiting_on->name ? t->waiting_on->name : "";
        std::fprintf(stderr, "  %-24s priority %2u  %s %s\n", t->name ? t->name : "?", t->priority,
                     state_name(t->state), on);
    }
    k.idle_cv.wait(lk);
}

// No thread is ready: run one step of the idle loop.
static void idle_step(Lock& lk) {
    Kernel& k = K();
    if (!k.pending_irqs.empty()) {
        std::function<void()> fn = std::move(k.pending_irqs.front());
        k.pending_irqs.pop_front();
        run_in(Ctx::Isr, lk, fn);
        return;
    }
    if (!k.idle_waiters.waiters.empty()) { // before time moves on
        while (Link* l = k.idle_waiters.waiters.front())
            end_wait(tcb_of_link(l), TX_SUCCESS);
        return;
    }
    if (real_clock()) {
        uint64_t target = real_ticks_now();
        if (target > k.now) {
            run_due(lk, target);
            return;
        }
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        if (!k.timeline.empty())
            deadline = std::min(deadline, real_time_of_tick(k.timeline.begin()->expiry));
        k.idle_cv.wait_until(lk, deadline);
        return;
    }
    if (k.host_activity > 0) {
        k.idle_cv.wait(lk);
        return;
    }
    if (k.timeline.empty()) {
        wait_while_stalled(lk);
        return;
    }
    run_due(lk, k.timeline.begin()->expiry);
}

// The host core every kernel thread runs on, when they are pinned to one: a
// hand-over between threads of one core is a direct host context switch,
// without the cross-core wake-up latency, and the firmware uses one core as it
// would use its one processor.
static bool g_pinned = false;
static cpu_set_t g_core;

static void pin_calling_thread() {
    if (!K().config.one_host_core) return;
    if (!g_pinned) {
        int cpu = sched_getcpu();
        CPU_ZERO(&g_core);
        CPU_SET(cpu < 0 ? 0 : cpu, &g_core);
    }
    g_pinned = pthread_setaffinity_np(pthread_self(), sizeof g_core, &g_core) == 0;
}

// Wait until the processor is handed to `self`. Unpinned, spin for a short
// while first: a hand-over usually comes back within microseconds (a reply,
// a ping-pong), and spinning saves the host's cross-core wake-up latency.
static void wait_for_processor(Tcb* self) {
    if (!g_pinned) {
        const auto spin_until = std::chrono::steady_clock::now() + std::chrono::microseconds(50);
        for (unsigned i = 1;; ++i) {
            if (sem_trywait(&self->run) == 0) return;
#if defined(__x86_64__) || defined(__i386__)
            __builtin_ia32_pause();
#endif
            if (i % 64 == 0 && std::chrono::steady_clock::now() >= spin_until) break;
        }
    }
    while (sem_wait(&self->run) != 0) {
    }
}

[[noreturn]] static void park_forever(Lock& lk) {
    lk.unlock();
    sem_t never;
    sem_init(&never, 0, 0);
    for (;;)
        sem_wait(&never);
}

// Hand the processor to the best ready thread (running the idle loop inline
// while none is ready). `self` is the caller's thread (null when the caller
// is not a kernel thread); it returns once `self` holds the processor again,
// at once after the hand-over when `self` is null or `leaving` is set, and
// never when `self` died.
static void switch_away(Tcb* self, Lock& lk, bool leaving = false) {
    Kernel& k = K();
    if (self) self->saved_masked = k.masked;
    for (;;) {
        Tcb* next = best_ready();
        if (!next) {
            k.current = nullptr;
            k.ctx = Ctx::Idle;
            k.masked = false;
            idle_step(lk);
            continue;
        }
        unready(next);
        k.current = next;
        k.ctx = Ctx::Thread;
        k.masked = next->saved_masked;
        k.yield_requested = false;
        if (next->slice_left == 0) next->slice_left = next->time_slice;
        if (k.switch_hook) k.switch_hook(k.now, next->name);
        if (next == self) return;
        t_holds = false;
        sem_post(&next->run);
        if (!self || leaving) return;
        if (self->dead) park_forever(lk);
        lk.unlock();
        wait_for_processor(self);
        t_holds = true;
        lk.lock();
        return;
    }
}

void preempt_point(Lock& lk) {
    Kernel& k = K();
    if (!in_thread() || k.masked) return;
    Tcb* self = k.current;
    take_interrupts(lk);
    if (self->state != TX_READY) { // an interrupt or expiry suspended or ended it
        switch_away(self, lk);
        return;
    }
    Tcb* best = best_ready();
    bool slice_over = k.yield_requested;
    k.yield_requested = false;
    if (best && best->priority < self->effective_threshold()) {
        make_ready_front(self);
        switch_away(self, lk);
    } else if (slice_over && best && best->priority == self->priority) {
        make_ready(self);
        switch_away(self, lk);
    }
}

void yield_to_peer(Lock& lk) {
    Kernel& k = K();
    Tcb* self = k.current;
    take_interrupts(lk);
    if (self->state != TX_READY) {
        switch_away(self, lk);
        return;
    }
    Tcb* best = best_ready();
    if (best && best->priority <= self->priority) {
        make_ready(self);
        switch_away(self, lk);
    }
}

static UINT wait_state(WaitKind kind) {
    switch (kind) {
    case WaitKind::Sleep:
    case WaitKind::Idle:
        return TX_SLEEP;
    case WaitKind::Semaphore:
        return TX_SEMAPHORE_SUSP;
    case WaitKind::Mutex:
        return TX_MUTEX_SUSP;
    case WaitKind::Flags:
        return TX_EVENT_FLAG;
    case WaitKind::Pool:
        return TX_BYTE_MEMORY;
    default:
        return TX_SUSPENDED;
    }
}

UINT block(Lock& lk, WaitKind kind, Object* on, ULONG wait) {
    Kernel& k = K();
    Tcb* self = k.current;
    self->state = wait_state(kind);
    self->wait_status = TX_SUCCESS;
    self->slice_left = 0;
    if (kind != WaitKind::Suspended) {
        self->wait = kind;
        self->waiting_on = on;
    }
    if (on) on->waiters.push_back(&self->ready_link);
    if (wait != TX_WAIT_FOREVER && kind != WaitKind::Suspended) arm(&self->timeout, k.now + wait);
    if (kind == WaitKind::Mutex) {
        Mutex* m = static_cast<Mutex*>(on);
        if (m->inherit && m->owner) update_priority(m->owner);
    }
    switch_away(self, lk);
    return self->wait_status;
}

void end_wait(Tcb* t, UINT status) {
    Object* on = t->waiting_on;
    WaitKind kind = t->wait;
    if (on && t->ready_link.linked()) Queue::remove(&t->ready_link);
    disarm(&t->timeout);
    t->wait = WaitKind::None;
    t->waiting_on = nullptr;
    t->wait_status = status;
    if (t->suspend_pending) {
        t->suspend_pending = false;
        t->state = TX_SUSPENDED;
    } else {
        make_ready(t);
    }
    if (kind == WaitKind::Mutex && on) {
        Mutex* m = static_cast<Mutex*>(on);
        if (m->inherit && m->owner && m->owner != t) update_priority(m->owner);
    }
}

void update_priority(Tcb* t) {
    UINT p = t->base_priority;
    for (Mutex* m : t->owned) {
        if (!m->inherit) continue;
        for (Link* l = m->waiters.front(); l; l = m->waiters.next_of(l)) {
            UINT wp = tcb_of_link(l)->priority;
            if (wp < p) p = wp;
        }
    }
    if (p == t->priority) return;
    bool queued_ready = t->wait == WaitKind::None && t->ready_link.linked();
    if (queued_ready) unready(t);
    t->priority = p;
    if (queued_ready) make_ready(t);
    if (t->wait == WaitKind::Mutex) {
        Mutex* m = static_cast<Mutex*>(t->waiting_on);
        if (m->inherit && m->owner) update_priority(m->owner);
    }
}

// ---- thread life ------------------------------------------------------------

static void* thread_main(void* arg) {
    Tcb* t = static_cast<Tcb*>(arg);
    t_self = t;
    while (sem_wait(&t->run) != 0) {
    }
    t_holds = true;
    t->entry(t->input);
    Lock lk(K().m);
    t->state = TX_COMPLETED;
    t->dead = true;
    release_owned_mutexes(t);
    switch_away(t, lk, true);
    return nullptr;
}

bool spawn_host_thread(Tcb* t) {
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    if (g_pinned) pthread_attr_setaffinity_np(&attr, sizeof g_core, &g_core);
    pthread_t id;
    bool ok = pthread_create(&id, &attr, thread_main, t) == 0;
    pthread_attr_destroy(&attr);
    t->host_started = ok;
    return ok;
}

void give_up_processor(Tcb* self, Lock& lk) {
    switch_away(self, lk);
}

// ---- start ------------------------------------------------------------------

static void map_board_ram(size_t bytes) {
    Kernel& k = K();
    if (k.ram && k.ram_size == bytes) return;
    if (k.ram) munmap(k.ram, k.ram_size);
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT,
                   -1, 0);
    if (p == MAP_FAILED || reinterpret_cast<uintptr_t>(p) + bytes > 0x100000000ull) {
        std::fprintf(stderr, "kernel: cannot map %zu bytes of board RAM below 4 GB\n", bytes);
        std::abort();
    }
    k.ram = static_cast<uint8_t*>(p);
    k.ram_size = bytes;
}

static void configure_locked(const host::KernelConfig& config) {
    Kernel& k = K();
    k.config = config;
    if (k.config.speed <= 0) k.config.speed = 1.0;
    map_board_ram(config.board_ram_bytes);
    k.real_start = std::chrono::steady_clock::now();
    k.configured = true;
}

static void ensure_configured() {
    if (!K().configured) configure_locked(host::KernelConfig{});
}

// A second start in the same process (tests run one after another): forget
// every object of the previous run; its host threads stay parked for ever.
static void reset_locked() {
    Kernel& k = K();
    for (auto& entry : k.live)
        k.graveyard.push_back(entry.second);
    k.live.clear();
    k.threads.clear();
    for (Queue& q : k.ready)
        q.reset();
    k.ready_bits = 0;
    k.timeline.clear();
    for (auto& entry : k.device_events)
        delete entry.second;
    k.device_events.clear();
    k.pending_irqs.clear();
    k.idle_waiters.waiters.reset();
    k.host_activity = 0;
    k.yield_requested = false;
    k.current = nullptr;
    k.masked = false;
    k.time_offset = 0;
    set_now(0);
    k.real_start = std::chrono::steady_clock::now();
#if defined(__SANITIZE_ADDRESS__)
    ASAN_UNPOISON_MEMORY_REGION(k.ram, k.ram_size);
#endif
    std::memset(k.ram, 0, k.ram_size);
}

static void* prepare_start() {
    Lock lk(K().m);
    ensure_configured();
    if (K().started) reset_locked();
    K().started = true;
    K().ctx = Ctx::Startup;
    K().current = nullptr;
    t_holds = true;
    return K().ram + host::kFirstFreeOffset;
}

} // namespace kernel

using namespace kernel;

void tx_kernel_enter() {
    pin_calling_thread();
    tx_application_define(prepare_start());
    Lock lk(K().m);
    switch_away(nullptr, lk);
    park_forever(lk);
}

bool tx_in_non_thread_context() {
    Lock lk(K().m);
    return !in_thread();
}

// A host thread that does not hold the processor (a device model's I/O
// thread) cannot mask the processor's interrupts: its mask is no lock at all.
static bool foreign_host_thread() {
    return K().started && !t_holds;
}

UINT tx_interrupt_mask() {
    Lock lk(K().m);
    if (foreign_host_thread()) return 0;
    UINT previous = K().masked ? 1 : 0;
    K().masked = true;
    return previous;
}

void tx_interrupt_restore(UINT previous_posture) {
    Lock lk(K().m);
    if (foreign_host_thread()) return;
    K().masked = previous_posture != 0;
    preempt_point(lk);
}

ULONG tx_time_get() {
    Lock lk(K().m);
    preempt_point(lk);
    return static_cast<ULONG>(K().now) + K().time_offset;
}

void tx_time_set(ULONG ticks) {
    Lock lk(K().m);
    K().time_offset = ticks - static_cast<ULONG>(K().now);
}

namespace host {

void kernel_configure(const KernelConfig& config) {
    Lock lk(K().m);
    configure_locked(config);
}

uint8_t* board_ram_base() {
    Lock lk(K().m);
    ensure_configured();
    return K().ram;
}

size_t board_ram_size() {
    Lock lk(K().m);
    ensure_configured();
    return K().ram_size;
}

void* board_ram_address(uint32_t board_offset) {
    Lock lk(K().m);
    ensure_configured();
    return board_offset < K().ram_size ? K().ram + board_offset : nullptr;
}

void kernel_start_for_test(void (*define)(void* first_unused), UINT priority) {
    void* first_free = prepare_start();
    if (define) define(first_free);
    static TX_THREAD test_thread;
    pin_calling_thread();
    Lock lk(K().m);
    Tcb* t =
        adopt_calling_thread(&test_thread, "test", priority < TX_MAX_PRIORITIES ? priority : 0);
    t_self = t;
    K().current = t;
    K().ctx = Ctx::Thread;
    K().masked = false;
    t->slice_left = 0;
    preempt_point(lk);
}

uint64_t clock_ticks() {
    if (real_clock() && K().configured) return real_ticks_now();
    return K().now_atomic.load(std::memory_order_relaxed);
}

void raise_interrupt(std::function<void()> handler) {
    Lock lk(K().m);
    K().pending_irqs.push_back(std::move(handler));
    K().idle_cv.notify_all();
}

uint64_t schedule_device_event(uint64_t at_tick, std::function<void()> handler) {
    Lock lk(K().m);
    DeviceEvent* e = new DeviceEvent;
    e->id = K().next_device_id++;
    e->handler = std::move(handler);
    K().device_events[e->id] = e;
    arm(&e->node, at_tick);
    K().idle_cv.notify_all();
    return e->id;
}

void cancel_device_event(uint64_t id) {
    Lock lk(K().m);
    auto it = K().device_events.find(id);
    if (it == K().device_events.end()) return;
    disarm(&it->second->node);
    delete it->second;
    K().device_events.erase(it);
}

void host_activity_begin() {
    Lock lk(K().m);
    ++K().host_activity;
}

void host_activity_end() {
    Lock lk(K().m);
    if (K().host_activity > 0) --K().host_activity;
    K().idle_cv.notify_all();
}

void busy_ticks(ULONG ticks) {
    Lock lk(K().m);
    if (!in_thread()) return;
    for (ULONG i = 0; i < ticks; ++i) {
        if (real_clock()) {
            preempt_point(lk);
        } else if (K().masked) {
            set_now(K().now + 1); // expiries wait for the lock's release
        } else {
            run_due(lk, K().now + 1);
            account_slice(1);
            preempt_point(lk);
        }
    }
}

void run_for_ticks(ULONG ticks) {
    tx_thread_sleep(ticks);
}

void run_until_idle() {
    Lock lk(K().m);
    if (!in_thread()) return;
    block(lk, WaitKind::Idle, &K().idle_waiters, TX_WAIT_FOREVER);
}

void set_switch_hook(std::function<void(uint64_t tick, const char* thread)> hook) {
    Lock lk(K().m);
    K().switch_hook = std::move(hook);
}

} // namespace host
