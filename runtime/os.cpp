// The OS layer: kernel services with the program's own status and options.
#include "runtime/os.h"

#include <cstddef>

namespace {

// A kernel status mapped to os_status; statuses not listed give `other`.
struct StatusMap {
    UINT kernel;
    os_status os;
};

template <std::size_t N>
os_status map_status(UINT status, const StatusMap (&table)[N], os_status other = OS_ERROR) {
    if (status == TX_SUCCESS) return OS_OK;
    for (const StatusMap& entry : table)
        if (entry.kernel == status) return entry.os;
    return other;
}

const StatusMap kNoMap[] = {{TX_SUCCESS, OS_OK}};
const StatusMap kAllocateMap[] = {
    {TX_DELETED, OS_DELETED}, {TX_NO_MEMORY, OS_NO_MEMORY}, {TX_WAIT_ABORTED, OS_WAIT_ABORTED}};
const StatusMap kGroupCreateMap[] = {{TX_GROUP_ERROR, OS_OBJECT_ERROR}};
const StatusMap kCallerMap[] = {{TX_CALLER_ERROR, OS_CALLER_ERROR}};
const StatusMap kFlagsGetMap[] = {{TX_DELETED, OS_DELETED},
                                  {TX_WAIT_ERROR, OS_WAIT_ERROR},
                                  {TX_NO_EVENTS, OS_NO_EVENTS},
                                  {TX_WAIT_ABORTED, OS_WAIT_ABORTED}};
const StatusMap kSemaphoreCreateMap[] = {{TX_SEMAPHORE_ERROR, OS_SEMAPHORE_ERROR}};
const StatusMap kSemaphoreGetMap[] = {
    {TX_DELETED, OS_DELETED}, {TX_WAIT_ERROR, OS_WAIT_ERROR}, {TX_NO_INSTANCE, OS_NO_INSTANCE}};
const StatusMap kMutexCreateMap[] = {{TX_MUTEX_ERROR, OS_OBJECT_ERROR}};
const StatusMap kMutexGetMap[] = {{TX_DELETED, OS_DELETED},
                                  {TX_WAIT_ABORTED, OS_WAIT_ABORTED},
                                  {TX_NOT_AVAILABLE, OS_NOT_AVAILABLE}};
const StatusMap kMutexPutMap[] = {{TX_NOT_OWNED, OS_NOT_OWNED}};

// os_event_option -> kernel option; false for a value outside 1..4.
bool os_event_option_map(uint32_t option, UINT* kernel_option) {
    static const UINT kOptions[] = {TX_AND, TX_AND_CLEAR, TX_OR, TX_OR_CLEAR};
    if (option < OS_EVENT_AND || option > OS_EVENT_OR_CLEAR) return false;
    *kernel_option = kOptions[option - OS_EVENT_AND];
    return true;
}

// 0/1 -> kernel auto-activation; false for any other value.
bool os_auto_activate_map(uint32_t auto_activate, UINT* kernel_value) {
    if (auto_activate > 1) return false;
    *kernel_value = auto_activate ? TX_AUTO_ACTIVATE : TX_NO_ACTIVATE;
    return true;
}

} // namespace

os_status os_byte_pool_create(TX_BYTE_POOL* pool, const char* name, void* start, uint32_t size) {
    return map_status(tx_byte_pool_create(pool, name, start, size), kNoMap);
}

os_status os_byte_allocate(TX_BYTE_POOL* pool, void** block, uint32_t size, uint32_t wait) {
    return map_status(tx_byte_allocate(pool, block, size, wait), kAllocateMap);
}

os_status os_byte_release(void* block) {
    return map_status(tx_byte_release(block), kNoMap);
}

os_status os_byte_pool_info(TX_BYTE_POOL* pool, const char** name, uint32_t* total_size,
                            uint32_t* available, uint32_t* fragments) {
    ULONG size = 0, free_bytes = 0, count = 0;
    UINT status = tx_byte_pool_info_get(pool, name, &free_bytes, &count);
    if (status == TX_SUCCESS) status = tx_byte_pool_size_get(pool, &size);
    if (status != TX_SUCCESS) return OS_ERROR;
    if (total_size) *total_size = size;
    if (available) *available = free_bytes;
    if (fragments) *fragments = count;
    return OS_OK;
}

os_status os_event_flags_create(TX_EVENT_FLAGS_GROUP* group, const char* name) {
    return map_status(tx_event_flags_create(group, name), kGroupCreateMap);
}

os_status os_event_flags_delete(TX_EVENT_FLAGS_GROUP* group) {
    return map_status(tx_event_flags_delete(group), kCallerMap);
}

os_status os_event_flags_get(TX_EVENT_FLAGS_GROUP* group, uint32_t requested, uint32_t option,
                             uint32_t* actual, uint32_t wait) {
    UINT kernel_option;
    if (!os_event_option_map(option, &kernel_option)) return OS_ERROR;
    return map_status(tx_event_flags_get(group, requested, kernel_option, actual, wait),
                      kFlagsGetMap);
}

os_status os_event_flags_set(TX_EVENT_FLAGS_GROUP* group, uint32_t flags, uint32_t option) {
    UINT kernel_option;
    if (!os_event_option_map(option, &kernel_option)) return OS_ERROR;
    return map_status(tx_event_flags_set(group, flags, kernel_option), kNoMap);
}

os_status os_semaphore_create(TX_SEMAPHORE* semaphore, const char* name, uint32_t initial_count) {
    return map_status(tx_semaphore_create(semaphore, name, initial_count), kSemaphoreCreateMap);
}

os_status os_semaphore_get(TX_SEMAPHORE* semaphore, uint32_t wait) {
    return map_status(tx_semaphore_get(semaphore, wait), kSemaphoreGetMap);
}

os_status os_semaphore_put(TX_SEMAPHORE* semaphore) {
    return map_status(tx_semaphore_put(semaphore), kNoMap, OS_SEMAPHORE_ERROR);
}

os_status os_semaphore_info(TX_SEMAPHORE* semaphore, const char** name, uint32_t* count) {
    return map_status(tx_semaphore_info_get(semaphore, name, count), kNoMap, OS_SEMAPHORE_ERROR);
}

os_status os_mutex_create(TX_MUTEX* mutex, const char* name, uint32_t inherit) {
    return map_status(tx_mutex_create(mutex, name, inherit), kMutexCreateMap);
}

os_status os_mutex_delete(TX_MUTEX* mutex) {
    return map_status(tx_mutex_delete(mutex), kCallerMap);
}

os_status os_mutex_get(TX_MUTEX* mutex, uint32_t wait) {
    return map_status(tx_mutex_get(mutex, wait), kMutexGetMap);
}

os_status os_mutex_put(TX_MUTEX* mutex) {
    return map_status(tx_mutex_put(mutex), kMutexPutMap);
}

os_status os_timer_create(TX_TIMER* timer, const char* name, os_timer_fn expiry,
                          uint32_t initial_ticks, uint32_t reschedule_ticks, uint32_t auto_activate,
                          uint32_t input) {
    UINT activate;
    if (!os_auto_activate_map(auto_activate, &activate)) return OS_ERROR;
    return map_status(
        tx_timer_create(timer, name, expiry, input, initial_ticks, reschedule_ticks, activate),
        kNoMap);
}

os_status os_timer_activate(TX_TIMER* timer) {
    return map_status(tx_timer_activate(timer), kNoMap);
}

os_status os_timer_deactivate(TX_TIMER* timer) {
    return map_status(tx_timer_deactivate(timer), kNoMap);
}

os_status os_timer_change(TX_TIMER* timer, uint32_t initial_ticks, uint32_t reschedule_ticks,
                          uint32_t* previous_reschedule) {
    ULONG previous = 0;
    UINT info = tx_timer_info_get(timer, nullptr, nullptr, nullptr, &previous);
    if (previous_reschedule && info == TX_SUCCESS) *previous_reschedule = previous;
    return map_status(tx_timer_change(timer, initial_ticks, reschedule_ticks), kNoMap);
}

os_status os_timer_delete(TX_TIMER* timer) {
    return map_status(tx_timer_delete(timer), kNoMap);
}

os_status os_thread_name(const char** name) {
    TX_THREAD* self = tx_thread_identify();
    if (!self) return OS_CALLER_ERROR;
    if (name) *name = self->name;
    return OS_OK;
}

os_status os_sleep(uint32_t ticks) {
    return tx_thread_sleep(ticks) == TX_SUCCESS ? OS_OK : OS_CALLER_ERROR;
}
