// The OS layer: free functions over the kernel that translate kernel status
// values into the program's own os_status and take the program's own option
// values. It keeps no state and never blocks on its own.
#pragma once

#include "platform/kernel/kernel.h"

#include <cstdint>

enum os_status : uint32_t {
    OS_OK = 0,
    OS_OBJECT_ERROR = 1,
    OS_SEMAPHORE_ERROR = 2,
    OS_ERROR = 3,
    OS_DELETED = 4,
    OS_WAIT_ERROR = 5,
    OS_NOT_AVAILABLE = 6,
    OS_NOT_OWNED = 7,
    OS_CALLER_ERROR = 8,
    OS_WAIT_ABORTED = 9,
    OS_NO_INSTANCE = 10,
    OS_NO_EVENTS = 11,
    OS_NO_MEMORY = 12,
};

enum os_event_option : uint32_t {
    OS_EVENT_AND = 1,
    OS_EVENT_AND_CLEAR = 2,
    OS_EVENT_OR = 3,
    OS_EVENT_OR_CLEAR = 4,
};

const uint32_t OS_NO_WAIT = 0;
const uint32_t OS_WAIT_FOREVER = 0xFFFFFFFFu;

typedef void (*os_timer_fn)(ULONG input);

os_status os_byte_pool_create(TX_BYTE_POOL* pool, const char* name, void* start, uint32_t size);
os_status os_byte_allocate(TX_BYTE_POOL* pool, void** block, uint32_t size, uint32_t wait);
os_status os_byte_release(void* block);
os_status os_byte_pool_info(TX_BYTE_POOL* pool, const char** name, uint32_t* total_size,
                            uint32_t* available, uint32_t* fragments);

os_status os_event_flags_create(TX_EVENT_FLAGS_GROUP* group, const char* name);
os_status os_event_flags_delete(TX_EVENT_FLAGS_GROUP* group);
os_status os_event_flags_get(TX_EVENT_FLAGS_GROUP* group, uint32_t requested, uint32_t option,
                             uint32_t* actual, uint32_t wait);
os_status os_event_flags_set(TX_EVENT_FLAGS_GROUP* group, uint32_t flags, uint32_t option);

os_status os_semaphore_create(TX_SEMAPHORE* semaphore, const char* name, uint32_t initial_count);
os_status os_semaphore_get(TX_SEMAPHORE* semaphore, uint32_t wait);
os_status os_semaphore_put(TX_SEMAPHORE* semaphore);
os_status os_semaphore_info(TX_SEMAPHORE* semaphore, const char** name, uint32_t* count);

os_status os_mutex_create(TX_MUTEX* mutex, const char* name, uint32_t inherit);
os_status os_mutex_delete(TX_MUTEX* mutex);
os_status os_mutex_get(TX_MUTEX* mutex, uint32_t wait);
os_status os_mutex_put(TX_MUTEX* mutex);

// The expiry function receives the given input (0 unless one is given).
os_status os_timer_create(TX_TIMER* timer, const char* name, os_timer_fn expiry,
                          uint32_t initial_ticks, uint32_t reschedule_ticks, uint32_t auto_activate,
                          uint32_t input = 0);
os_status os_timer_activate(TX_TIMER* timer);
os_status os_timer_deactivate(TX_TIMER* timer);
os_status os_timer_change(TX_TIMER* timer, uint32_t initial_ticks, uint32_t reschedule_ticks,
                          uint32_t* previous_reschedule);
os_status os_timer_delete(TX_TIMER* timer);

os_status os_thread_name(const char** name);
os_status os_sleep(uint32_t ticks);
