// Every host program answers --help with its usage on standard output and
// status 0, as sign-controller does; a wrong command line keeps status 2.
#include "tests/support/host_process.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

using test_support::BesideTests;
using test_support::RunProcess;

TEST(ToolHelp, HelpIsAnAnswerNotARefusal) {
    const char* const programs[] = {"sign-controller", "flashtool", "multipng", "panelterm",
                                    "fontsheet"};
    const std::string dir = testing::TempDir();
    int ran = 0;
    for (const char* program : programs) {
        if (!std::filesystem::exists(BesideTests(program))) continue;
        ++ran;
        const std::string out = dir + "/help_" + program + ".txt";
        auto help = RunProcess({BesideTests(program), "--help"}, out);
        EXPECT_EQ(0, help.status) << program << "\n" << help.output;
        EXPECT_EQ(0u, help.output.find(std::string("usage: ") + program)) << help.output;
        auto wrong = RunProcess({BesideTests(program), "--no-such-option", "a", "b"}, out);
        EXPECT_EQ(2, wrong.status) << program << "\n" << wrong.output;
        std::filesystem::remove(out);
    }
    if (!ran) GTEST_SKIP() << "no program built";
}

} // namespace
