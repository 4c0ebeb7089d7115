// The real-time kernel of the controller board, as the firmware sees it.
//
// One simulated processor: exactly one kernel thread runs at a time, chosen by
// priority (0 highest, FIFO within a priority, round-robin by time slice).
// The tick is 10 ms (100 per second). Control blocks are owned by the caller
// and must outlive the kernel object; their contents are private to the kernel.
#pragma once

#include <cstdint>

typedef unsigned int UINT;
typedef uint32_t ULONG;
typedef unsigned char UCHAR;

// Kernel status values.
enum : UINT {
    TX_SUCCESS = 0,
    TX_DELETED = 1,
    TX_NO_MEMORY = 2,
    TX_POOL_ERROR = 3,
    TX_PTR_ERROR = 4,
    TX_WAIT_ERROR = 5,
    TX_SIZE_ERROR = 6,
    TX_GROUP_ERROR = 7,
    TX_NO_EVENTS = 8,
    TX_OPTION_ERROR = 9,
    TX_SEMAPHORE_ERROR = 10,
    TX_NO_INSTANCE = 11,
    TX_THREAD_ERROR = 12,
    TX_PRIORITY_ERROR = 13,
    TX_START_ERROR = 14,
    TX_DELETE_ERROR = 15,
    TX_RESUME_ERROR = 16,
    TX_CALLER_ERROR = 17,
    TX_SUSPEND_ERROR = 18,
    TX_TIMER_ERROR = 19,
    TX_TICK_ERROR = 20,
    TX_ACTIVATE_ERROR = 21,
    TX_THRESH_ERROR = 22,
    TX_SUSPEND_LIFTED = 23,
    TX_WAIT_ABORTED = 24,
    TX_WAIT_ABORT_ERROR = 25,
    TX_MUTEX_ERROR = 26,
    TX_NOT_AVAILABLE = 27,
    TX_NOT_OWNED = 28,
    TX_INHERIT_ERROR = 29,
};

// Waits, in ticks.
const ULONG TX_NO_WAIT = 0;
const ULONG TX_WAIT_FOREVER = 0xFFFFFFFFu;

// Event-flag options.
enum : UINT { TX_OR = 0, TX_OR_CLEAR = 1, TX_AND = 2, TX_AND_CLEAR = 3 };

// Thread and timer start options, mutex inheritance.
enum : UINT { TX_DONT_START = 0, TX_AUTO_START = 1 };
enum : UINT { TX_NO_ACTIVATE = 0, TX_AUTO_ACTIVATE = 1 };
enum : UINT { TX_NO_INHERIT = 0, TX_INHERIT = 1 };

const UINT TX_MAX_PRIORITIES = 32;

// Control blocks: storage owned by the caller, contents private to the kernel.
struct TX_THREAD {
    void* kernel_object;
    const char* name;
};
struct TX_MUTEX {
    void* kernel_object;
    const char* name;
};
struct TX_SEMAPHORE {
    void* kernel_object;
    const char* name;
};
struct TX_EVENT_FLAGS_GROUP {
    void* kernel_object;
    const char* name;
};
struct TX_TIMER {
    void* kernel_object;
    const char* name;
};
struct TX_BYTE_POOL {
    void* kernel_object;
    const char* name;
};

typedef void (*tx_entry_fn)(ULONG input);

// Contexts. Any wait other than TX_NO_WAIT asked outside a thread (timer
// expiry, interrupt handler, start-up) fails at once with TX_WAIT_ERROR;
// tx_thread_sleep there gives TX_CALLER_ERROR. Deletes are refused with
// TX_CALLER_ERROR in timer and interrupt context, creates in interrupt
// context. Every service called from a thread is a preemption point.
// Waiters of semaphores, event flags and pools are served in arrival order.

// Start: calls tx_application_define once with the first free address of
// board RAM, then schedules threads; does not return.
void tx_kernel_enter();
// Supplied by the firmware.
void tx_application_define(void* first_unused_memory);

// Threads.
UINT tx_thread_create(TX_THREAD* thread, const char* name, tx_entry_fn entry, ULONG input,
                      void* stack, ULONG stack_size, UINT priority, UINT preempt_threshold,
                      ULONG time_slice, UINT auto_start);
UINT tx_thread_delete(TX_THREAD* thread);
UINT tx_thread_suspend(TX_THREAD* thread);
UINT tx_thread_resume(TX_THREAD* thread);
UINT tx_thread_terminate(TX_THREAD* thread);
UINT tx_thread_sleep(ULONG ticks);
void tx_thread_relinquish();
UINT tx_thread_wait_abort(TX_THREAD* thread);
UINT tx_thread_priority_change(TX_THREAD* thread, UINT new_priority, UINT* old_priority);
UINT tx_thread_preemption_change(TX_THREAD* thread, UINT new_threshold, UINT* old_threshold);
UINT tx_thread_time_slice_change(TX_THREAD* thread, ULONG new_slice, ULONG* old_slice);
// The calling thread, or null outside a thread (start-up, timer, interrupt).
TX_THREAD* tx_thread_identify();
// State values reported by tx_thread_info_get.
enum : UINT {
    TX_READY = 0,
    TX_COMPLETED = 1,
    TX_TERMINATED = 2,
    TX_SUSPENDED = 3,
    TX_SLEEP = 4,
    TX_EVENT_FLAG = 7,
    TX_SEMAPHORE_SUSP = 6,
    TX_MUTEX_SUSP = 13,
    TX_BYTE_MEMORY = 9
};
UINT tx_thread_info_get(TX_THREAD* thread, const char** name, UINT* state, UINT* priority);

// Mutexes (recursive for their owner). Waiters are served highest priority
// first. A thread that ends (completes or is terminated) gives back every
// mutex it holds. No mutex service in interrupt context (TX_CALLER_ERROR);
// in timer context or start-up a get without wait of a free mutex succeeds
// and is given back by a put from the same kind of context.
UINT tx_mutex_create(TX_MUTEX* mutex, const char* name, UINT inherit);
UINT tx_mutex_delete(TX_MUTEX* mutex);
UINT tx_mutex_get(TX_MUTEX* mutex, ULONG wait);
UINT tx_mutex_put(TX_MUTEX* mutex);

// Counting semaphores.
UINT tx_semaphore_create(TX_SEMAPHORE* semaphore, const char* name, ULONG initial_count);
UINT tx_semaphore_delete(TX_SEMAPHORE* semaphore);
UINT tx_semaphore_get(TX_SEMAPHORE* semaphore, ULONG wait);
UINT tx_semaphore_put(TX_SEMAPHORE* semaphore);
UINT tx_semaphore_info_get(TX_SEMAPHORE* semaphore, const char** name, ULONG* current_value);

// 32-bit event-flag groups.
UINT tx_event_flags_create(TX_EVENT_FLAGS_GROUP* group, const char* name);
UINT tx_event_flags_delete(TX_EVENT_FLAGS_GROUP* group);
UINT tx_event_flags_get(TX_EVENT_FLAGS_GROUP* group, ULONG requested, UINT option, ULONG* actual,
                        ULONG wait);
// TX_OR sets the given bits; TX_AND keeps only the given bits.
UINT tx_event_flags_set(TX_EVENT_FLAGS_GROUP* group, ULONG flags, UINT option);

// Application timers; expiry functions run in timer context. Initial ticks 0
// are refused (TX_TICK_ERROR). Reschedule 0 is a one-shot timer. Deactivate
// keeps the ticks left; activate goes on with them, or starts from the initial
// ticks after a change or an expiry. A change applies from the next activation
// (a running count goes on, then repeats with the new reschedule).
UINT tx_timer_create(TX_TIMER* timer, const char* name, tx_entry_fn expiry, ULONG input,
                     ULONG initial_ticks, ULONG reschedule_ticks, UINT auto_activate);
UINT tx_timer_delete(TX_TIMER* timer);
UINT tx_timer_activate(TX_TIMER* timer);
UINT tx_timer_deactivate(TX_TIMER* timer);
UINT tx_timer_change(TX_TIMER* timer, ULONG initial_ticks, ULONG reschedule_ticks);
UINT tx_timer_info_get(TX_TIMER* timer, const char** name, UINT* active, ULONG* remaining_ticks,
                       ULONG* reschedule_ticks);

// Byte pools over board RAM. Allocation from timer, interrupt or start-up
// context with a wait fails at once with TX_WAIT_ERROR.
UINT tx_byte_pool_create(TX_BYTE_POOL* pool, const char* name, void* start, ULONG size);
UINT tx_byte_pool_delete(TX_BYTE_POOL* pool);
UINT tx_byte_allocate(TX_BYTE_POOL* pool, void** memory, ULONG size, ULONG wait);
// TX_PTR_ERROR for anything but a block now allocated (twice, inside a block).
UINT tx_byte_release(void* memory);
// Available bytes: the data bytes of every free block; fragments: the number
// of blocks, allocated and free.
UINT tx_byte_pool_info_get(TX_BYTE_POOL* pool, const char** name, ULONG* available_bytes,
                           ULONG* fragments);
// The size the pool was created with.
UINT tx_byte_pool_size_get(TX_BYTE_POOL* pool, ULONG* size);

// The 32-bit tick count (wraps).
ULONG tx_time_get();
void tx_time_set(ULONG ticks);

// The interrupt lock: masks external interrupts, timer expiries and every other
// thread. Nestable: returns the previous posture, to be given back to restore.
// The posture belongs to the thread: a thread that waits while masked lets
// the others run and is masked again when it resumes.
UINT tx_interrupt_mask();
void tx_interrupt_restore(UINT previous_posture);

// RAII form of the interrupt lock for firmware code.
class CInterruptLock {
  public:
    CInterruptLock() : posture_(tx_interrupt_mask()) {}
    ~CInterruptLock() { tx_interrupt_restore(posture_); }
    CInterruptLock(const CInterruptLock&) = delete;
    CInterruptLock& operator=(const CInterruptLock&) = delete;

  private:
    UINT posture_;
};

// True in timer context, interrupt context or start-up (tx_application_define).
bool tx_in_non_thread_context();
