#include "runtime/job_queue.h"

#include "tests/support/kernel_fixture.h"

#include <vector>

namespace {

std::vector<int> g_ran;

struct numbered_job : job {
    explicit numbered_job(int n) : n_(n) {}
    void run() override { g_ran.push_back(n_); }
    int n_;
};

class JobQueue : public test_support::KernelFixture {
  protected:
    UINT TestPriority() const override { return 5; }
};

TEST_F(JobQueue, RunsQueuedJobsInOrderAtTheHighestPriority) {
    job_queue& q = the_job_queue();
    numbered_job a(1), b(2);
    EXPECT_EQ(0, q.queue(&a)); // not started
    ASSERT_EQ(1, q.start());
    EXPECT_EQ(0, q.start());
    EXPECT_EQ(1, q.queue(&a));
    // The queue's thread outranks the test: the job has run on return.
    EXPECT_EQ(std::vector<int>{1}, g_ran);
    EXPECT_EQ(0, a.queued);
    EXPECT_EQ(1, q.queue(&b));
    EXPECT_EQ(1, q.queue(&a));
    EXPECT_EQ((std::vector<int>{1, 2, 1}), g_ran);
    q.stop();
    tx_thread_sleep(1);
    EXPECT_FALSE(q.started());
}

} // namespace
