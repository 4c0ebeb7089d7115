// The README's recipe for a central system's first message runs as written,
// against a running sign on the ports of this test: the shell block under its
// marker, with only the sign's address changed. Then the message runs, and a
// run by number (the private .2.27.0) answers the number set.
#include "tests/support/running_sign.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

using test_support::RunningSign;

const char* const MARKER = "<!-- The block below runs as a test (tests/app/readme_recipe_test.cpp)";
const std::string README_ADDRESS = "127.0.0.1:3161"; // the agent after `make run`
const std::string MESSAGE = "1.3.6.1.4.1.1206.4.2.3.5.8.1.";
const std::string SOURCE = "1.3.6.1.4.1.1206.4.2.3.6.5.0"; // dmsMsgTableSource
const std::string BY_NUMBER = "1.3.6.1.4.1.1206.3.11.2.27.0";

// The indented lines that follow the marker, without their indent.
std::string recipe_block(const std::string& readme) {
    std::istringstream in(readme);
    std::string line, block;
    bool after_marker = false;
    while (std::getline(in, line)) {
        if (!after_marker) {
            after_marker = line.rfind(MARKER, 0) == 0;
            continue;
        }
        if (line.empty() && block.empty()) continue;
        if (line.rfind("    ", 0) != 0) break;
        block += line.substr(4) + "\n";
    }
    return block;
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

class ReadmeRecipe : public test_support::RunningSignTest {};

TEST_F(ReadmeRecipe, TheMessageRecipePutsItsMessageOnTheSign) {
    std::ifstream in(TEST_SOURCE_DIR "/../README.md");
    std::stringstream readme;
    readme << in.rdbuf();
    const std::string block = recipe_block(readme.str());
    ASSERT_NE(std::string::npos, block.find(README_ADDRESS)) << block;
    const std::string script =
        replaced(block, README_ADDRESS, "127.0.0.1:" + std::to_string(sign_.SnmpPort()));
    const std::string file = sign_.StateDir() + "/../recipe.sh";
    std::ofstream(file) << "set -e\n" << script;
    const std::string out = test_support::run_command("bash " + file + "; echo \"status $?\"");
    EXPECT_NE(std::string::npos, out.find("status 0\n")) << script << "\n" << out;

    EXPECT_EQ("4", sign_.Get(MESSAGE + "9.3.1")); // valid
    const int crc = std::stoi(sign_.Get(MESSAGE + "5.3.1"));
    char expected[32];
    std::snprintf(expected, sizeof expected, "03 00 01 %02X %02X", crc >> 8, crc & 0xFF);
    EXPECT_EQ(expected, sign_.GetWhen(SOURCE, expected, 5));

    // A run by number of message 2 answers 2, not the message still on display.
    EXPECT_EQ(std::string::npos, sign_.Set(MESSAGE + "9.3.2", "i", "6").find("Error"));
    EXPECT_EQ(std::string::npos, sign_.Set(MESSAGE + "3.3.2", "s", "TWO").find("Error"));
    EXPECT_EQ(std::string::npos, sign_.Set(MESSAGE + "9.3.2", "i", "7").find("Error"));
    const std::string answer = sign_.Set(BY_NUMBER, "i", "196610");
    EXPECT_NE(std::string::npos, answer.find("INTEGER: 196610")) << answer;
    EXPECT_EQ("196610", sign_.GetWhen(BY_NUMBER, "196610", 5));
}

} // namespace
