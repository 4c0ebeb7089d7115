#include "runtime/timer_scheduler.h"

#include "tests/support/kernel_fixture.h"

#include <vector>

namespace {

// Records the tick of every fire.
struct tick_log : timer_event {
    explicit tick_log(std::vector<ULONG>* ticks, bool* destroyed = nullptr)
        : ticks_(ticks), destroyed_(destroyed) {}
    ~tick_log() override {
        if (destroyed_) *destroyed_ = true;
    }
    void fire() override { ticks_->push_back(tx_time_get()); }
    std::vector<ULONG>* ticks_;
    bool* destroyed_;
};

class TimerScheduler : public test_support::KernelFixture {
  protected:
    timer_scheduler_tx_rtos& s = *timer_scheduler_tx_rtos::instance();
};

TEST_F(TimerScheduler, IdsCountFromOneAndAreNeverReused) {
    std::vector<ULONG> ticks;
    EXPECT_EQ(0u, s.add(nullptr, 10, false));
    uint32_t first = s.add(new tick_log(&ticks), 100, false);
    uint32_t second = s.add(new tick_log(&ticks), 100, false);
    EXPECT_EQ(1u, first);
    EXPECT_EQ(2u, second);
    EXPECT_EQ(1, s.remove(second));
    EXPECT_EQ(0, s.remove(second));
    EXPECT_EQ(3u, s.add(new tick_log(&ticks), 100, false));
    EXPECT_EQ(0, s.remove(99));
    EXPECT_EQ(0, s.command(99, 1));
}

TEST_F(TimerScheduler, RepeatingRecordFiresEveryPeriodUntilRemoved) {
    std::vector<ULONG> ticks;
    bool destroyed = false;
    ULONG start = tx_time_get();
    uint32_t id = s.add(new tick_log(&ticks, &destroyed), 30, true);
    tx_thread_sleep(95);
    ASSERT_EQ(3u, ticks.size());
    for (size_t i = 0; i < ticks.size(); i++)
        EXPECT_EQ(start + 30 * (i + 1), ticks[i]);
    EXPECT_EQ(1, s.remove(id));
    EXPECT_TRUE(destroyed);
    tx_thread_sleep(100);
    EXPECT_EQ(3u, ticks.size());
}

TEST_F(TimerScheduler, CommandMakesARecordFireOnTheNextTickAndEveryTick) {
    std::vector<ULONG> ticks;
    uint32_t id = s.add(new tick_log(&ticks), 30, true);
    tx_thread_sleep(5);
    ULONG now = tx_time_get();
    EXPECT_EQ(1, s.command(id, 1));
    tx_thread_sleep(3);
    EXPECT_EQ((std::vector<ULONG>{now + 1, now + 2, now + 3}), ticks);
    s.remove(id);
}

TEST_F(TimerScheduler, OneShotRecordsFireOnceAndLeaveTheList) {
    std::vector<ULONG> ticks;
    bool destroyed = false;
    tick_log* a = new tick_log(&ticks, &destroyed);
    tick_log* b = new tick_log(&ticks);
    ULONG start = tx_time_get();
    uint32_t id = s.add(a, 20, false);
    s.add(b, 20, false);
    EXPECT_EQ(0, s.restart(id)); // one-shot: nothing changes
    EXPECT_EQ(start + 20, a->expiry);
    tx_thread_sleep(50);
    EXPECT_EQ((std::vector<ULONG>{start + 20, start + 20}), ticks);
    EXPECT_EQ(0u, s.size());
    EXPECT_FALSE(destroyed); // the expiry leaves the record with its owner
    EXPECT_EQ(0, s.remove(id));
    delete a;
    delete b;
}

TEST_F(TimerScheduler, RestartPushesARepeatingRecordBack) {
    std::vector<ULONG> ticks;
    ULONG start = tx_time_get();
    uint32_t id = s.add(new tick_log(&ticks), 30, true);
    tx_thread_sleep(20);
    EXPECT_EQ(1, s.restart(id));
    tx_thread_sleep(25);
    EXPECT_TRUE(ticks.empty());
    tx_thread_sleep(10);
    EXPECT_EQ(std::vector<ULONG>{start + 50}, ticks);
    s.remove(id);
}

TEST_F(TimerScheduler, RemovingTheLastRecordStopsTheTimerAndAddStartsItAgain) {
    std::vector<ULONG> ticks;
    uint32_t id = s.add(new tick_log(&ticks), 10, true);
    EXPECT_EQ(1, s.remove(id));
    EXPECT_EQ(0x7FFFFFFFu, s.next_expiry(tx_time_get()));
    tx_thread_sleep(50);
    EXPECT_TRUE(ticks.empty());
    ULONG start = tx_time_get();
    tick_log once(&ticks);
    s.add(&once, 10, false);
    EXPECT_EQ(10u, s.next_expiry(start));
    tx_thread_sleep(15);
    EXPECT_EQ(std::vector<ULONG>{start + 10}, ticks);
}

// A record that removes itself when it fires (a user that gives up).
struct self_removing : timer_event {
    void fire() override { timer_scheduler_tx_rtos::instance()->remove(id); }
};

TEST_F(TimerScheduler, ARecordMayRemoveItselfWhileFiring) {
    std::vector<ULONG> ticks;
    s.add(new self_removing(), 10, true);
    s.add(new tick_log(&ticks), 10, true);
    tx_thread_sleep(25);
    EXPECT_EQ(1u, s.size());
    EXPECT_EQ(2u, ticks.size());
}

} // namespace

namespace {

// The tick count wraps after 497 days of uptime: records keep their delays
// across the wrap, neither firing early nor being pushed back by 2^32 ticks.
TEST_F(TimerScheduler, RecordsKeepTheirDelaysAcrossTheTickWrap) {
    std::vector<ULONG> repeating, one_shot;
    tx_time_set(0xFFFFFFF0u);
    uint32_t id = s.add(new tick_log(&repeating), 30, true); // due at 0x0E, after the wrap
    tick_log late(&one_shot);
    s.add(&late, 8, false); // due at 0xFFFFFFF8, before it
    tx_thread_sleep(29);
    EXPECT_EQ(std::vector<ULONG>{0xFFFFFFF8u}, one_shot);
    EXPECT_TRUE(repeating.empty());
    tx_thread_sleep(31);
    EXPECT_EQ((std::vector<ULONG>{0x0Eu, 0x2Cu}), repeating);
    s.remove(id);
}

} // namespace
