#include "runtime/pools.h"

#include "runtime/console.h"
#include "runtime/os.h"

TX_BYTE_POOL& thread_stack_pool() {
    static TX_BYTE_POOL pool;
    return pool;
}

TX_BYTE_POOL& dynamic_database_pool() {
    static TX_BYTE_POOL pool;
    return pool;
}

TX_EVENT_FLAGS_GROUP& database_event_flags() {
    static TX_EVENT_FLAGS_GROUP group;
    return group;
}

namespace {

void create_pool(TX_BYTE_POOL& pool, const char* name, uint8_t** cursor, uint32_t size,
                 const char* fail_line) {
    if (os_byte_pool_create(&pool, name, *cursor, size) != OS_OK) console_printf("%s", fail_line);
    *cursor += size;
}

} // namespace

void create_shared_kernel_objects(uint8_t** cursor) {
    create_pool(thread_stack_pool(), "thread stacks", cursor, THREAD_STACKS_POOL_BYTES,
                " - tx_byte_pool_create: thread_stacks\t\t\t[FAIL]\n");
    create_pool(dynamic_database_pool(), "dynamic database", cursor, DYNAMIC_DATABASE_POOL_BYTES,
                " - tx_byte_pool_create: dynamic_database\t\t[FAIL]\n");
    if (os_event_flags_create(&database_event_flags(), "database") != OS_OK)
        console_printf(" - tx_event_flags_create: database\t\t\t[FAIL]\n");
}
