// Kernel objects created at start-up and shared across subsystems: the byte
// pools carved from board RAM and the "database" event-flag group.
#pragma once

#include "platform/kernel/kernel.h"

#include <cstdint>

// "thread stacks": every task stack and the telnet server stack.
TX_BYTE_POOL& thread_stack_pool();
// "dynamic database": the blocks of the object store's dynamic objects.
TX_BYTE_POOL& dynamic_database_pool();
// "database": change-notification bits set by the object store, polled by tasks.
TX_EVENT_FLAGS_GROUP& database_event_flags();

const unsigned long THREAD_STACKS_POOL_BYTES = 0x30000;
const unsigned long DYNAMIC_DATABASE_POOL_BYTES = 0x200000;

// Carve "thread stacks" and "dynamic database" at the cursor (which advances
// past both) and create the "database" group; each failure prints its
// start-up "[FAIL]" line and start-up goes on.
void create_shared_kernel_objects(uint8_t** cursor);
