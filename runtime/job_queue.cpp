#include "runtime/job_queue.h"

#include "runtime/os.h"

namespace {

const uint32_t JOB_STACK_BYTES = 1024;

TX_EVENT_FLAGS_GROUP& job_events() {
    static TX_EVENT_FLAGS_GROUP group;
    return group;
}

TX_THREAD& job_thread() {
    static TX_THREAD thread;
    return thread;
}

void job_queue_thread(ULONG) {
    the_job_queue().serve();
}

} // namespace

job_queue::~job_queue() {
    jobs_.clear();
}

int job_queue::start() {
    static uint8_t stack[JOB_STACK_BYTES];
    if (state_ == 2 || !jobs_.init()) return 0;
    if (os_event_flags_create(&job_events(), "job events") != OS_OK) {
        jobs_.clear();
        return 0;
    }
    if (tx_thread_create(&job_thread(), "job queue", job_queue_thread, 0, stack, sizeof stack, 0, 0,
                         1, TX_AUTO_START) != TX_SUCCESS) {
        os_event_flags_delete(&job_events());
        jobs_.clear();
        return 0;
    }
    state_ = 2;
    return 1;
}

int job_queue::queue(job* work) {
    if (state_ != 2 || !work) return 0;
    {
        CInterruptLock masked;
        if (work->queued) return 0; // already waiting: linking it twice would break the list
        work->queued = 1;
        jobs_.push_back(work);
    }
    os_event_flags_set(&job_events(), WORK_FLAG, OS_EVENT_OR);
    return 1;
}

void job_queue::stop() {
    if (state_ == 2) os_event_flags_set(&job_events(), STOP_FLAG, OS_EVENT_OR);
}

job* job_queue::take() {
    CInterruptLock masked;
    job* head = static_cast<job*>(jobs_.head());
    if (head) {
        jobs_.remove(head);
        head->queued = 0;
    }
    return head;
}

void job_queue::serve() {
    for (;;) {
        uint32_t actual = 0;
        os_event_flags_get(&job_events(), WORK_FLAG | STOP_FLAG, OS_EVENT_OR_CLEAR, &actual,
                           OS_WAIT_FOREVER);
        if (actual & WORK_FLAG)
            while (job* work = take())
                work->run();
        if (actual & STOP_FLAG) {
            state_ = 0;
            os_event_flags_delete(&job_events());
            jobs_.clear();
            tx_thread_terminate(&job_thread()); // ends this thread
            return;
        }
    }
}

job_queue& the_job_queue() {
    static job_queue queue;
    return queue;
}
