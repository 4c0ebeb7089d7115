// The "Database" task: created on its pool, run once per second from tick
// 200, answering its maintenance letters.
#include "tests/store/store_fixture.h"

#include <cstdio>

using namespace store_test;
using test_support::ClearConsole;
using test_support::ConsoleText;

namespace {

class DatabaseTaskTest : public StoreFixture {};

TEST_F(DatabaseTaskTest, RunsOncePerSecondAndAnswersItsLetters) {
    CDataBase& store = TheDatabase();
    store.Subscribe();
    ASSERT_TRUE(store.Start(thread_stack_pool()));
    CTaskBase& task = *store.Task();
    EXPECT_STREQ("Database", task.Name());
    EXPECT_EQ(8192u, task.StackSize());
    EXPECT_EQ(4u, task.Priority());
    EXPECT_EQ(200u, task.FirstTick());
    EXPECT_EQ(100u, task.Period());
    tx_thread_sleep(199);
    EXPECT_EQ(0u, task.Runs());
    tx_thread_sleep(1000);
    uint32_t runs = task.Runs();
    EXPECT_GE(runs, 9u);
    EXPECT_LE(runs, 11u);

    ClearConsole();
    the_post_office().post(LETTER_DATABASE_SUSPEND);
    tx_thread_sleep(300);
    EXPECT_NE(std::string::npos, ConsoleText().find("Suspending database task\n"));
    EXPECT_LE(task.Runs(), runs + 2);
    // A suspended thread cannot take its own resume letter: it is resumed
    // from outside (the maintenance console).
    task.Resume();
    uint32_t resumed = task.Runs();
    tx_thread_sleep(300);
    EXPECT_GE(task.Runs(), resumed + 2);
    // The stack report: the host runs the thread on a stack of its own, so
    // the board stack is marked here as a deep call would have left it.
    task.Stack()[8192 - 300] = 0;
    ClearConsole();
    the_post_office().post(LETTER_DATABASE_STACK);
    tx_thread_sleep(100);
    const unsigned start = unsigned(reinterpret_cast<uintptr_t>(task.Stack()));
    char line[120];
    std::snprintf(line, sizeof line,
                  "Database Stack Used: 300/8192. 0x%08X-0x%08X Current:0x%08X\n", start,
                  start + 8192, start + 8192 - 300);
    EXPECT_NE(std::string::npos, ConsoleText().find(line)) << ConsoleText();
    EXPECT_GE(task.Runs(), resumed + 3);
}

} // namespace
