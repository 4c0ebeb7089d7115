// The worker thread of the serial links: one thread serves up to ten links
// of one kind (the PMPP links, the PPP links). A link's receive notification
// sets its bit in the worker's event group; the worker wakes, and for each
// link whose bit was set, or whose time-out flag its timer raised, runs the
// link kind's pass, then yields the processor.
#pragma once

#include "platform/kernel/kernel.h"

#include <cstdint>

const uint32_t LINK_WORKER_LINKS = 10;
const ULONG LINK_WORKER_STACK_BYTES = 5120;

// A link's comm time-out: a one-shot kernel timer whose expiry raises the
// flag and wakes the worker, which then runs the link's pass in time-out form.
struct link_timer {
    TX_TIMER timer;
    volatile uint8_t timeout_flag;
    volatile uint8_t active;
};

// The texts a worker prints when its creation fails (printf formats with
// the status, and for the allocation the status, pointer and size).
struct link_worker_texts {
    const char* thread_name;
    const char* events_name;
    const char* allocation_failed;
    const char* thread_failed;
    const char* events_failed;
    const char* table_full;
};

struct link_worker {
    const link_worker_texts* texts;
    void (*serve)(void* link); // one pass over one link
    link_timer* (*timer_of)(void* link);
    void* links[LINK_WORKER_LINKS];
    TX_EVENT_FLAGS_GROUP events;
    TX_THREAD thread;
    uint8_t state;  // 0/1 not created, 2 stack ready, 3 running
    uint8_t number; // among the workers, for the timers' expiry
};

// Creates the worker's thread and event group on the first call.
void link_worker_start(link_worker& worker, UINT priority);
// Enters a link. -> its table entry (its wake bit is 1 << entry), or -1
// when the table is full (printed).
int link_worker_register(link_worker& worker, void* link);
// The timer of the link at `entry` ("... Comm Timeout"), not running.
// -> the kernel's status.
UINT link_timer_create(link_worker& worker, int entry, const char* name);
// Runs the timer once for `ticks` / stops it and clears its flag.
void link_timer_start(link_timer& timer, ULONG ticks);
void link_timer_stop(link_timer& timer);
