#include "runtime/console.h"
#include "console/monitor_task.h"
#include "tests/support/kernel_fixture.h"

#include <string>

namespace {

using test_support::ConsoleText;

class ConsoleOutput : public test_support::KernelFixture {};

TEST_F(ConsoleOutput, TraceShowsOnlyAtTraceLevelOne) {
    test_support::ClearConsole();
    console_printf("always %d\n", 1);
    trace_printf("hidden\n");
    EXPECT_EQ("always 1\n", ConsoleText());
    EXPECT_EQ(0, TheMonitorTask().SetTraceLevel(2));
    EXPECT_EQ(0, TheMonitorTask().TraceLevel());
    EXPECT_EQ(1, TheMonitorTask().SetTraceLevel(1));
    trace_printf("shown\n");
    EXPECT_EQ("always 1\nshown\n", ConsoleText());
}

TEST_F(ConsoleOutput, LongTextIsCutAt199Characters) {
    test_support::ClearConsole();
    std::string text(250, 'x');
    console_printf("%s", text.c_str());
    EXPECT_EQ(std::string(199, 'x'), ConsoleText());
}

} // namespace
