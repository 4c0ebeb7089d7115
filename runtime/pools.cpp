#include "runtime/pools.h"

TX_BYTE_POOL& thread_stack_pool()
{
    static TX_BYTE_POOL pool;
    return pool;
}

TX_BYTE_POOL& dynamic_database_pool()
{
    static TX_BYTE_POOL pool;
    return pool;
}

TX_EVENT_FLAGS_GROUP& database_event_flags()
{
    static TX_EVENT_FLAGS_GROUP group;
    return group;
}
