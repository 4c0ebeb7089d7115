// The simulated processor: ready queues, dispatch, the idle loop, the one
// timeline of expiries and the two clocks.
#include "platform/kernel/core.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace kernel {

static Kernel* new_kernel() {
    Kernel* k = new Kernel;
    k->wake_fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    return k;
}

Kernel& K() {
    // Never destroyed: host threads may raise interrupts while the process exits.
    static Kernel* kernel = new_kernel();
    return *kernel;
}

void register_object(const void* cb, Object* o) {
    K().live[cb] = o;
}

void unregister_object(const void* cb, Object* o) {
    K().live.erase(cb);
    K().graveyard.push_back(o);
}

// This host thread is the processor (runs threads, the idle loop, handlers
// and start-up).
static thread_local bool t_processor = false;

// A kernel thread runs and the call comes from the processor thread. A host
// thread outside the kernel that calls a service by mistake is treated as
// outside every thread: it can neither wait nor be switched away.
bool in_thread() {
    Kernel& k = K();
    return k.ctx == Ctx::Thread && k.current && t_processor;
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
    double seconds = static_cast<double>(tick + k.ticks_given_up) / (100.0 * k.config.speed);
    return k.real_start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                              std::chrono::duration<double>(seconds));
}

// The host's coarse monotonic clock (the time of its last own tick), in
// nanoseconds: cheap to read, never ahead of the precise clock.
static int64_t coarse_ns() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// How far the coarse clock falls behind the precise one while the host
// ticks (its resolution), or -1 when it cannot be used.
static int64_t coarse_lag_ns() {
    static const int64_t lag = [] {
        timespec ts{};
        if (clock_getres(CLOCK_MONOTONIC_COARSE, &ts) != 0) return int64_t{-1};
        return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
    }();
    return lag;
}

// Reading the precise host clock costs up to a few hundred nanoseconds on a
// virtual machine, and a busy processor looks at every service call. Once
// the clock has caught up, the coarse clock tells cheaply that the next tick
// cannot have come yet. A host late with its own ticks only moves our tick to
// a later service call, or to the idle loop, which reads the precise clock.
static bool tick_may_be_due() {
    Kernel& k = K();
    if (!real_clock() || k.quiet_until_ns == 0 || coarse_lag_ns() < 0) return true;
    return coarse_ns() + coarse_lag_ns() >= k.quiet_until_ns;
}

// The clock is where it should be: note when its next tick comes.
static void note_next_tick() {
    Kernel& k = K();
    if (!real_clock()) return;
    k.quiet_until_ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                           real_time_of_tick(k.now + 1).time_since_epoch())
                           .count();
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

// How far the processor's clock may fall behind the clock it follows (a host
// pause, a loaded host, a --speed the firmware cannot keep up with): ten
// seconds, and on the real clock no more than one second of host time. Time
// beyond it is given up, as a halted processor's tick would be: the simulated
// clock slews instead of jumping past a pause.
const uint64_t kMaxLagTicks = 1000;
const double kMaxLagHostSeconds = 1.0;

static uint64_t max_lag() {
    if (!real_clock()) return kMaxLagTicks;
    auto host_bound = static_cast<uint64_t>(K().config.speed * 100.0 * kMaxLagHostSeconds) + 1;
    return std::min(kMaxLagTicks, host_bound);
}

// The tick the processor's clock should have reached: the real clock's, or on
// the virtual clock the ticks the host kept the processor away.
static uint64_t clock_target() {
    Kernel& k = K();
    if (!real_clock()) return k.now + k.held_ticks;
    uint64_t real = real_ticks_now();
    return real > k.ticks_given_up ? real - k.ticks_given_up : 0;
}

static void look_at_watches();

// Bring the processor's clock one step towards its target: to the first tick
// with expiries due (all of that tick fire), or to the target when none is
// due on the way. Threads made ready run before the next step, so a pause
// replays in order and a healthy firmware strobes its watchdog on the way.
// False when the clock is where it should be.
static bool catch_up(Lock& lk) {
    Kernel& k = K();
    uint64_t target = clock_target();
    if (target <= k.now) {
        note_next_tick();
        return false;
    }
    k.quiet_until_ns = 0;
    if (target - k.now > max_lag()) {
        uint64_t lost = target - k.now - max_lag();
        if (real_clock())
            k.ticks_given_up += lost;
        else
            k.held_ticks -= lost;
        target -= lost;
    }
    if (real_clock()) look_at_watches();
    uint64_t before = k.now;
    uint64_t step = target;
    if (!k.timeline.empty()) step = std::min(step, std::max(before, k.timeline.begin()->expiry));
    if (!real_clock()) k.held_ticks -= step - before;
    run_due(lk, step);
    account_slice(step - before);
    return true;
}

// ---- interrupts and the idle sleep -------------------------------------------

// Move what host threads queued to the processor's FIFO, oldest first.
static void collect_irqs() {
    Kernel& k = K();
    IrqNode* list = k.irq_head.exchange(nullptr, std::memory_order_acquire);
    IrqNode* oldest_first = nullptr;
    while (list) {
        IrqNode* next = list->next;
        list->next = oldest_first;
        oldest_first = list;
        list = next;
    }
    while (oldest_first) {
        IrqNode* next = oldest_first->next;
        k.pending_irqs.push_back(std::move(oldest_first->handler));
        delete oldest_first;
        oldest_first = next;
    }
}

static bool irqs_pending() {
    Kernel& k = K();
    return !k.pending_irqs.empty() || k.irq_head.load(std::memory_order_acquire) != nullptr;
}

// Run the oldest pending interrupt; false when none is pending.
static bool run_one_irq(Lock& lk) {
    Kernel& k = K();
    if (k.pending_irqs.empty() && k.irq_head.load(std::memory_order_relaxed)) collect_irqs();
    if (k.pending_irqs.empty()) return false;
    std::function<void()> fn = std::move(k.pending_irqs.front());
    k.pending_irqs.pop_front();
    run_in(Ctx::Isr, lk, fn);
    return true;
}

// Host side: something the idle processor must look at happened.
static void wake_processor() {
    Kernel& k = K();
    k.wakes.fetch_add(1);
    if (k.sleeping.load()) {
        uint64_t one = 1;
        ssize_t n = write(k.wake_fd, &one, sizeof one);
        (void)n;
    }
}

// The watched sockets not yet queued, after the eventfd at index 0 (with
// `wake`) or from index 0. Caller holds the host mutex.
static void gather_watches(bool wake) {
    Kernel& k = K();
    k.idle_pollfds.clear();
    if (wake) k.idle_pollfds.push_back({k.wake_fd, POLLIN, 0});
    for (const Kernel::IdleWatch& w : k.idle_watches)
        if (!w.queued->load()) k.idle_pollfds.push_back({w.fd, POLLIN, 0});
}

// Queue the handler of every watched socket ppoll found readable (entries of
// idle_pollfds from `first` on). Caller holds the host mutex.
static bool queue_ready_watches(size_t first) {
    Kernel& k = K();
    bool queued = false;
    for (size_t i = first; i < k.idle_pollfds.size(); i++) {
        if (!k.idle_pollfds[i].revents) continue;
        for (const Kernel::IdleWatch& w : k.idle_watches) {
            if (w.fd != k.idle_pollfds[i].fd || w.queued->exchange(true)) continue;
            std::function<void()> ready = w.ready;
            std::shared_ptr<std::atomic<bool>> flag = w.queued;
            k.pending_irqs.push_back([ready, flag] {
                ready();
                flag->store(false);
            });
            queued = true;
        }
    }
    return queued;
}

// A tick of the real clock passed: take what the watched sockets hold even
// while threads keep the processor busy (at most once a host millisecond,
// however high the speed).
static void look_at_watches() {
    Kernel& k = K();
    if (k.idle_watches.empty()) return;
    static std::chrono::steady_clock::time_point last_look;
    const auto now = std::chrono::steady_clock::now();
    if (now - last_look < std::chrono::milliseconds(1)) return;
    last_look = now;
    gather_watches(false);
    if (!k.idle_pollfds.empty() && poll(k.idle_pollfds.data(), k.idle_pollfds.size(), 0) > 0)
        queue_ready_watches(0);
}

// Sleep until a host thread wakes the processor, a watched socket is
// readable or `timeout_ns` passes (< 0: no limit), unless a wake came after
// `seen_wakes` was read. The host mutex is released meanwhile. True when
// woken.
static bool idle_sleep(Lock& lk, uint64_t seen_wakes, int64_t timeout_ns) {
    Kernel& k = K();
    bool woken = true;
    k.sleeping.store(true);
    if (k.wakes.load() == seen_wakes) {
        gather_watches(true);
        std::vector<pollfd> fds;
        fds.swap(k.idle_pollfds); // host threads may watch meanwhile
        lk.unlock();
        timespec ts{static_cast<time_t>(timeout_ns / 1000000000),
                    static_cast<long>(timeout_ns % 1000000000)};
        woken = ppoll(fds.data(), fds.size(), timeout_ns < 0 ? nullptr : &ts, nullptr) > 0;
        if (fds[0].revents) {
            uint64_t count;
            ssize_t n = read(k.wake_fd, &count, sizeof count);
            (void)n;
        }
        lk.lock();
        fds.swap(k.idle_pollfds);
        if (woken) queue_ready_watches(1);
    }
    k.sleeping.store(false);
    return woken;
}

// Interrupts raised meanwhile and the clock's catch-up.
static void take_interrupts(Lock& lk) {
    Kernel& k = K();
    do {
        while (!k.masked && run_one_irq(lk)) {
        }
        bool moved = tick_may_be_due() && catch_up(lk);
        if (!moved && !k.timeline.empty() && k.timeline.begin()->expiry <= k.now)
            run_due(lk, k.now); // overdue: device events set in the past, ticks under the lock
    } while (!k.masked && irqs_pending());
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
static void wait_while_stalled(Lock& lk, uint64_t seen_wakes) {
    Kernel& k = K();
    if (idle_sleep(lk, seen_wakes, 5000000000LL)) return;
    if (!k.timeline.empty() || irqs_pending() || k.host_activity.load() > 0) return;
    std::fprintf(stderr, "kernel: tick %llu: every thread waits and nothing is due:\n",
                 static_cast<unsigned long long>(k.now));
    for (Tcb* t : k.threads) {
        const char* on = t->waiting_on && t->waiting_on->name ? t->waiting_on->name : "";
        std::fprintf(stderr, "  %-24s priority %2u  %s %s\n", t->name ? t->name : "?", t->priority,
                     state_name(t->state), on);
    }
    idle_sleep(lk, seen_wakes, -1);
}

// Real clock: sleep until the next expiry is due (a second at most) or a host
// event comes.
static void sleep_until_due(Lock& lk, uint64_t seen_wakes) {
    Kernel& k = K();
    auto now = std::chrono::steady_clock::now();
    auto deadline = now + std::chrono::seconds(1);
    if (!k.timeline.empty())
        deadline = std::min(deadline, real_time_of_tick(k.timeline.begin()->expiry));
    if (deadline <= now) return;
    int64_t ns = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - now).count();
    idle_sleep(lk, seen_wakes, ns);
}

// No thread is ready: run one step of the idle loop. The virtual clock jumps
// only when no interrupt and no host activity is pending.
static void idle_step(Lock& lk) {
    Kernel& k = K();
    uint64_t seen_wakes = k.wakes.load();
    if (run_one_irq(lk)) return;
    if (!k.idle_waiters.waiters.empty()) { // before time moves on
        while (Link* l = k.idle_waiters.waiters.front())
            end_wait(tcb_of_link(l), TX_SUCCESS);
        return;
    }
    if (catch_up(lk)) return;
    if (real_clock()) {
        sleep_until_due(lk, seen_wakes);
        return;
    }
    if (k.host_activity.load() > 0) {
        idle_sleep(lk, seen_wakes, -1);
        return;
    }
    if (k.timeline.empty()) {
        wait_while_stalled(lk, seen_wakes);
        return;
    }
    run_due(lk, k.timeline.begin()->expiry);
}

// Run the output flushes held back: the threads that held them wait or give
// way to lower priorities.
static void release_output() {
    Kernel& k = K();
    std::vector<void (*)()> flushes;
    flushes.swap(k.held_output);
    for (void (*flush)() : flushes)
        flush();
    flushes.clear();
    if (k.held_output.empty()) k.held_output.swap(flushes); // keeps its room
}

[[noreturn]] static void park_forever(Lock& lk) {
    lk.unlock();
    for (;;)
        pause();
}

// Hand the processor to the best ready thread (running the idle loop inline
// while none is ready). `self` is the caller's thread (null when the caller
// is not a kernel thread); it returns once `self` holds the processor again,
// and never when `self` died or `self` is null. The host mutex stays held
// across the switch: the thread that resumes releases it.
static void switch_away(Tcb* self, Lock& lk) {
    Kernel& k = K();
    if (self) self->saved_masked = k.masked;
    for (;;) {
        Tcb* next = best_ready();
        if (!k.held_output.empty() && (!next || next->priority > k.held_output_priority))
            release_output();
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
        Context* from = k.running;
        k.running = &next->context;
        context_switch(from, &next->context, self && self->dead);
        if (!self) park_forever(lk); // the host thread's start-up stack is never resumed
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

// What host code (the C library, the sanitizers' frames) needs on a thread's
// stack beyond what the firmware configured for its own frames.
#if defined(__SANITIZE_ADDRESS__)
const size_t kHostStackMargin = 1u << 20;
#else
const size_t kHostStackMargin = 256u << 10;
#endif

// The first code of a kernel thread's context: the switch that started it
// left the host mutex held.
static void thread_main(void* arg) {
    Tcb* t = static_cast<Tcb*>(arg);
    K().m.unlock();
    t->entry(t->input);
    Lock lk(K().m);
    t->state = TX_COMPLETED;
    t->dead = true;
    release_owned_mutexes(t);
    switch_away(t, lk); // never returns
}

bool make_thread_context(Tcb* t) {
    return context_make(&t->context, t->stack_size + kHostStackMargin, thread_main, t);
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
    k.quiet_until_ns = 0;
    k.configured = true;
}

static void ensure_configured() {
    if (!K().configured) configure_locked(host::KernelConfig{});
}

// A second start in the same process (tests run one after another): forget
// every object of the previous run; its threads never run again.
static void reset_locked() {
    Kernel& k = K();
    for (Tcb* t : k.threads)
        if (&t->context != k.running) context_free(&t->context);
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
    collect_irqs();
    k.pending_irqs.clear();
    k.idle_waiters.waiters.reset();
    k.idle_watches.clear();
    k.held_output.clear();
    k.host_activity = 0;
    k.held_ticks = 0;
    k.ticks_given_up = 0;
    k.quiet_until_ns = 0;
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
    K().running = &K().native;
    t_processor = true;
    return K().ram + host::kFirstFreeOffset;
}

} // namespace kernel

using namespace kernel;

void tx_kernel_enter() {
    tx_application_define(prepare_start());
    Lock lk(K().m);
    switch_away(nullptr, lk); // never returns
}

bool tx_in_non_thread_context() {
    Lock lk(K().m);
    return !in_thread();
}

// A host thread that does not hold the processor (a device model's I/O
// thread) cannot mask the processor's interrupts: its mask is no lock at all.
static bool foreign_host_thread() {
    return K().started && !t_processor;
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
    Lock lk(K().m);
    Tcb* t =
        adopt_calling_thread(&test_thread, "test", priority < TX_MAX_PRIORITIES ? priority : 0);
    K().running = &t->context;
    K().current = t;
    K().ctx = Ctx::Thread;
    K().masked = false;
    t->slice_left = 0;
    preempt_point(lk);
}

uint64_t clock_ticks() {
    return K().now_atomic.load(std::memory_order_relaxed);
}

void raise_interrupt(std::function<void()> handler) {
    Kernel& k = K();
    IrqNode* node = new IrqNode{std::move(handler), k.irq_head.load(std::memory_order_relaxed)};
    while (!k.irq_head.compare_exchange_weak(node->next, node, std::memory_order_release,
                                             std::memory_order_relaxed)) {
    }
    wake_processor();
}

bool watch_while_idle(int fd, std::function<void()> ready) {
    Lock lk(K().m);
    if (!real_clock()) return false;
    K().idle_watches.push_back({fd, std::move(ready), std::make_shared<std::atomic<bool>>(false)});
    lk.unlock();
    wake_processor(); // an idle sleep in progress starts again with the socket
    return true;
}

void unwatch_while_idle(int fd) {
    Lock lk(K().m);
    std::vector<Kernel::IdleWatch>& watches = K().idle_watches;
    for (auto it = watches.begin(); it != watches.end();)
        it = it->fd == fd ? watches.erase(it) : std::next(it);
}

bool hold_output(UINT priority, void (*flush)()) {
    Lock lk(K().m);
    Kernel& k = K();
    if (!in_thread() || !flush) return false;
    UINT lowest = std::max(priority, k.current->priority);
    if (k.held_output.empty()) k.held_output_priority = lowest;
    k.held_output_priority = std::max(k.held_output_priority, lowest);
    if (std::find(k.held_output.begin(), k.held_output.end(), flush) == k.held_output.end())
        k.held_output.push_back(flush);
    return true;
}

UINT current_priority() {
    Lock lk(K().m);
    return in_thread() ? K().current->priority : 0;
}

uint64_t schedule_device_event(uint64_t at_tick, std::function<void()> handler) {
    Lock lk(K().m);
    DeviceEvent* e = new DeviceEvent;
    e->id = K().next_device_id++;
    e->handler = std::move(handler);
    K().device_events[e->id] = e;
    arm(&e->node, at_tick);
    wake_processor();
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
    K().host_activity.fetch_add(1);
}

void host_activity_end() {
    std::atomic<int>& n = K().host_activity;
    int seen = n.load();
    while (seen > 0 && !n.compare_exchange_weak(seen, seen - 1)) {
    }
    wake_processor();
}

void hold_processor(ULONG ticks) {
    Lock lk(K().m);
    if (real_clock()) return;
    K().held_ticks += ticks;
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
