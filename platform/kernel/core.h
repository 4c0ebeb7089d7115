// Internal state of the simulated processor shared by the kernel's units.
// Not for use outside platform/kernel.
//
// The processor is one host thread: every kernel thread is an execution
// context (context.h) with a stack of its own, and only the processor thread
// ever runs kernel or firmware code. A switch keeps the host mutex (Kernel::m)
// held from the thread that leaves to the one that resumes; the mutex only
// keeps out host threads that call in by mistake or schedule device events.
// While no thread is ready, the idle loop runs inline on the context that gave
// up the processor. Host events reach the processor as interrupts through a
// lock-free queue and one wake of the sleeping idle loop (an eventfd).
// Interrupt handlers and timer expiries run on the processor with the host
// mutex released, with `ctx` telling the services where they are called from.
#pragma once

#include "platform/kernel/context.h"
#include "platform/kernel/host.h"
#include "platform/kernel/kernel.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <poll.h>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace kernel {

using Lock = std::unique_lock<std::mutex>;

// Where the processor is executing.
enum class Ctx { Startup, Thread, Timer, Isr, Idle };

// A doubly linked intrusive queue link.
struct Link {
    Link* prev = nullptr;
    Link* next = nullptr;
    void* owner = nullptr;
    bool linked() const { return prev != nullptr; }
};

// A FIFO of objects that embed a Link as their first member.
class Queue {
  public:
    Queue() { reset(); }
    Queue(const Queue&) = delete;
    Queue& operator=(const Queue&) = delete;
    void reset() { head_.prev = head_.next = &head_; }
    bool empty() const { return head_.next == &head_; }
    void push_back(Link* l) { insert(l, head_.prev, &head_); }
    void push_front(Link* l) { insert(l, &head_, head_.next); }
    Link* front() const { return empty() ? nullptr : head_.next; }
    Link* next_of(Link* l) const { return l->next == &head_ ? nullptr : l->next; }
    static void remove(Link* l) {
        l->prev->next = l->next;
        l->next->prev = l->prev;
        l->prev = l->next = nullptr;
    }
    size_t size() const {
        size_t n = 0;
        for (Link* l = head_.next; l != &head_; l = l->next)
            ++n;
        return n;
    }

  private:
    static void insert(Link* l, Link* before, Link* after) {
        l->prev = before;
        l->next = after;
        before->next = l;
        after->prev = l;
    }
    Link head_;
};

struct Tcb;

// An entry of the one timeline: application timers, wait timeouts and device
// events, ordered by expiry tick and then by arming order.
struct TimerNode {
    enum Kind { App, Timeout, Device } kind;
    void* owner = nullptr; // the Tcb, AppTimer or DeviceEvent
    bool armed = false;
    uint64_t expiry = 0;
    uint64_t seq = 0;
};

struct TimerKey {
    uint64_t expiry;
    uint64_t seq;
    TimerNode* node;
    bool operator<(const TimerKey& o) const {
        return expiry != o.expiry ? expiry < o.expiry : seq < o.seq;
    }
};

// What a waiting thread waits on.
enum class WaitKind { None, Sleep, Suspended, Semaphore, Mutex, Flags, Pool, Idle };

// Kernel objects are registered by control-block address, so that a control
// block left uninitialised or reused after delete is recognised.
enum class ObjType { Thread, Mutex, Semaphore, Flags, Timer, Pool };

struct Object {
    ObjType type;
    const char* name = nullptr;
    Queue waiters; // threads waiting on this object (FIFO)
    explicit Object(ObjType t) : type(t) {}
    virtual ~Object() = default;
};

struct Mutex;

struct Tcb : Object {
    Link ready_link; // ready queue or object wait queue
    TX_THREAD* cb = nullptr;
    tx_entry_fn entry = nullptr;
    ULONG input = 0;
    UINT base_priority = 0; // as set by create / priority change
    UINT priority = 0;      // effective (with inheritance)
    UINT threshold = 0;     // preemption threshold as set
    ULONG time_slice = 0;
    ULONG slice_left = 0;
    UINT state = TX_SUSPENDED;    // TX_* state values
    bool suspend_pending = false; // suspended while waiting: takes effect when the wait ends
    bool saved_masked = false;    // interrupt posture while not running
    bool dead = false;            // completed or terminated: never runs again
    ULONG stack_size = 0;
    // The current wait.
    WaitKind wait = WaitKind::None;
    Object* waiting_on = nullptr;
    UINT wait_status = TX_SUCCESS;
    TimerNode timeout{TimerNode::Timeout};
    ULONG flags_requested = 0;
    UINT flags_option = 0;
    ULONG flags_actual = 0;
    ULONG pool_size = 0;
    void* pool_block = nullptr;
    std::vector<Mutex*> owned; // mutexes held
    Context context;           // registers and stack while not running
    Tcb() : Object(ObjType::Thread) {
        ready_link.owner = this;
        timeout.owner = this;
    }
    UINT effective_threshold() const { return threshold < priority ? threshold : priority; }
};

inline Tcb* tcb_of_link(Link* l) {
    return l ? static_cast<Tcb*>(l->owner) : nullptr;
}

struct Mutex : Object {
    Tcb* owner = nullptr;
    bool owned_outside_thread = false; // taken (no wait) in start-up or timer context
    ULONG count = 0;
    bool inherit = false;
    Mutex() : Object(ObjType::Mutex) {}
};

struct Semaphore : Object {
    ULONG count = 0;
    Semaphore() : Object(ObjType::Semaphore) {}
};

struct Flags : Object {
    ULONG flags = 0;
    Flags() : Object(ObjType::Flags) {}
};

struct AppTimer : Object {
    TimerNode node{TimerNode::App};
    tx_entry_fn expiry_fn = nullptr;
    ULONG input = 0;
    ULONG initial = 0;
    ULONG reschedule = 0;
    ULONG saved_remaining = 0; // left when deactivated mid-count; 0 = start from initial
    AppTimer() : Object(ObjType::Timer) { node.owner = this; }
};

struct DeviceEvent {
    TimerNode node{TimerNode::Device};
    uint64_t id = 0;
    std::function<void()> handler;
    DeviceEvent() { node.owner = this; }
};

struct Pool : Object {
    uint8_t* start = nullptr;
    ULONG size = 0;         // usable bytes after alignment
    ULONG created_size = 0; // as asked for at creation
    bool checked = false;   // in board RAM: free blocks are poisoned for AddressSanitizer
    std::set<uint32_t> free_blocks;           // offsets of the free blocks, ascending
    std::unordered_set<uint32_t> used_blocks; // offsets of the allocated blocks
    Pool() : Object(ObjType::Pool) {}
};

// An interrupt raised by a host thread, queued without a lock.
struct IrqNode {
    std::function<void()> handler;
    IrqNode* next = nullptr;
};

struct Kernel {
    std::mutex m;
    host::KernelConfig config;
    bool configured = false;
    uint8_t* ram = nullptr;
    size_t ram_size = 0;

    // Clock.
    uint64_t now = 0; // ticks since start
    std::atomic<uint64_t> now_atomic{0};
    uint32_t time_offset = 0; // tx_time_set adjustment
    std::chrono::steady_clock::time_point real_start;
    uint64_t ticks_given_up = 0; // real clock: lag beyond the catch-up bound, never replayed
    uint64_t held_ticks = 0;     // virtual clock: ticks the host kept the processor away
    int64_t quiet_until_ns = 0;  // real clock: host time (monotonic) of the next tick, 0 unknown

    // Processor.
    Ctx ctx = Ctx::Startup;
    Tcb* current = nullptr;
    Context native;             // the processor thread's own stack (when no thread adopted it)
    Context* running = nullptr; // the context executing now
    bool masked = false;
    Queue ready[TX_MAX_PRIORITIES];
    uint32_t ready_bits = 0;
    bool yield_requested = false; // time slice ran out

    // Timeline.
    std::set<TimerKey> timeline;
    uint64_t seq = 0;
    std::unordered_map<uint64_t, DeviceEvent*> device_events;
    uint64_t next_device_id = 1;

    // Interrupts raised and not yet run: host threads push onto `irq_head`
    // (newest first); the processor moves them, oldest first, to `pending_irqs`.
    std::atomic<IrqNode*> irq_head{nullptr};
    std::deque<std::function<void()>> pending_irqs;
    std::atomic<int> host_activity{0};
    // The idle processor's sleep: host threads count a wake and, when it
    // sleeps, write the eventfd.
    int wake_fd = -1;
    std::atomic<bool> sleeping{false};
    std::atomic<uint64_t> wakes{0};
    // Host sockets the processor watches itself on the real clock (idle sleep
    // and each tick), each with its handler and whether that is queued.
    struct IdleWatch {
        int fd;
        std::function<void()> ready;
        std::shared_ptr<std::atomic<bool>> queued;
    };
    std::vector<IdleWatch> idle_watches;
    std::vector<pollfd> idle_pollfds; // scratch of the idle sleep

    // Output held back by host code (hold_output): the flushes to run and
    // the lowest priority (highest value) that keeps them waiting.
    std::vector<void (*)()> held_output;
    UINT held_output_priority = 0;

    // Live objects by control-block address.
    std::unordered_map<const void*, Object*> live;
    std::vector<Object*> graveyard;       // deleted objects (a stale control block may name them)
    std::vector<Tcb*> threads;            // created threads in creation order
    Object idle_waiters{ObjType::Thread}; // threads waiting until every other thread waits

    std::function<void(uint64_t, const char*)> switch_hook;
    bool started = false;
};

Kernel& K();

// Helpers shared by the units (caller holds K().m).
template <class T> T* find(const void* cb, ObjType type) {
    if (!cb) return nullptr;
    auto it = K().live.find(cb);
    if (it == K().live.end() || it->second->type != type) return nullptr;
    return static_cast<T*>(it->second);
}
void register_object(const void* cb, Object* o);
void unregister_object(const void* cb, Object* o);

bool in_thread();        // the caller is a kernel thread (not timer, interrupt, start-up)
bool in_isr();           // interrupt context
void make_ready(Tcb* t); // append to its ready queue
void unready(Tcb* t);    // remove from its ready queue
// Block the calling thread on `on` (null for sleep/suspend) with `kind`; the
// timeout `wait` in ticks (TX_WAIT_FOREVER none). Returns the wait status.
UINT block(Lock& lk, WaitKind kind, Object* on, ULONG wait);
// End a wait with a status; the thread becomes ready (or suspended).
void end_wait(Tcb* t, UINT status);
// Preemption point at the end of a service called from a thread.
void preempt_point(Lock& lk);
// Relinquish: hand over to a ready thread of the same or higher priority.
void yield_to_peer(Lock& lk);
// The calling thread ended: hand over the processor for good (never returns).
void give_up_processor(Tcb* self, Lock& lk);
// Threads: the context of a new kernel thread (its stack at least `stack_size`
// plus what host code needs); the calling host thread made the kernel thread
// `name` (tests' body).
bool make_thread_context(Tcb* t);
Tcb* adopt_calling_thread(TX_THREAD* cb, const char* name, UINT priority);
// Priority inheritance: recompute a thread's effective priority.
void update_priority(Tcb* t);
// Release every mutex a dying thread holds.
void release_owned_mutexes(Tcb* t);
// The timeline.
void arm(TimerNode* n, uint64_t expiry);
void disarm(TimerNode* n);
// Run an application timer's expiry (called from tick processing).
void app_timer_expired(AppTimer* t, Lock& lk);
// Run `fn` in the given context with the host mutex released.
void run_in(Ctx c, Lock& lk, const std::function<void()>& fn);
// Give a mutex to its next waiter (or free it) after its owner let go.
void mutex_release(Mutex* m);
// Pool waiters may be satisfied after a release (pool unit).
void pool_retry_waiters(Pool* p);

} // namespace kernel
