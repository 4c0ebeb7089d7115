// The job queue: deferred work items run one after another on the "job queue"
// thread at priority 0. Nothing in the firmware queues work today, so the
// thread waits for the whole run; queue() is there for a future producer.
#pragma once

#include "platform/kernel/kernel.h"
#include "runtime/list.h"

#include <cstdint>

class job : public impl::node {
  public:
    virtual void run() {}
    uint8_t queued = 0;
};

class job_queue {
  public:
    enum : uint32_t { WORK_FLAG = 0x1, STOP_FLAG = 0x2 };
    job_queue() = default;
    virtual ~job_queue();

    // "job events" then the thread "job queue" (priority 0, slice 1). -> 1;
    // 0 when already started or the list or the thread cannot be made.
    int start();
    // Link the job at the back (interrupts masked) and wake the thread. -> 1.
    int queue(job* work);
    // Ask the thread to end.
    void stop();
    bool started() const { return state_ == 2; }

    // The thread's body (entry job_queue_thread).
    void serve();

  private:
    job* take();
    uint8_t state_ = 0;
    impl::list jobs_;
};

job_queue& the_job_queue();
