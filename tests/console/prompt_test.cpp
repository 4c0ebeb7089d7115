// The console's line editor: echo, editing, the 50-character line, the
// bounded history and the cursor-key recall.
#include "console/prompt.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string g_shown;
std::vector<std::string> g_lines;

int Show(int c) {
    g_shown += static_cast<char>(c);
    return 0;
}

int RunLine(const char* line, int) {
    g_lines.push_back(line);
    return 0;
}

class Prompt : public ::testing::Test {
  protected:
    void SetUp() override {
        g_shown.clear();
        g_lines.clear();
    }
    void Type(const std::string& keys) {
        for (char c : keys)
            prompt_.ProcessChar(static_cast<unsigned char>(c));
    }
    CPrompt prompt_{Show, RunLine};
};

const std::string BS_ERASE = "\b \b";
const std::string UP = "\x1b[A";
const std::string DOWN = "\x1b[B";

TEST_F(Prompt, EchoesEditsAndRunsTheLineThenShowsThePrompt) {
    Type("tfs lxy\x7f\bs\r"); // DEL, as a terminal sends for backspace, too
    EXPECT_EQ("tfs lxy" + BS_ERASE + BS_ERASE + "s\r\nVMS>", g_shown);
    ASSERT_EQ(1u, g_lines.size());
    EXPECT_EQ("tfs ls", g_lines[0]);
    EXPECT_EQ(0u, prompt_.Length());
    Type("\b\n"); // backspace on an empty line writes nothing; an empty line still runs
    EXPECT_EQ(2u, g_lines.size());
    EXPECT_EQ("", g_lines[1]);
    EXPECT_EQ(1u, prompt_.HistoryCount()); // empty lines are not kept
}

TEST_F(Prompt, LineHoldsFiftyCharactersAndIgnoresTheRest) {
    Type(std::string(60, 'a'));
    EXPECT_EQ(50u, prompt_.Length());
    EXPECT_EQ(std::string(50, 'a'), g_shown);
    Type("\r");
    EXPECT_EQ(std::string(50, 'a'), g_lines.at(0));
}

TEST_F(Prompt, CursorKeysRecallTheNewestLineWhichLeavesTheHistory) {
    Type("help\rvms -s\r");
    g_shown.clear();
    Type("ab" + UP);
    EXPECT_EQ("ab" + BS_ERASE + BS_ERASE + "vms -s", g_shown);
    EXPECT_EQ("vms -s", std::string(prompt_.Line()));
    Type(DOWN);
    EXPECT_EQ("help", std::string(prompt_.Line()));
    EXPECT_EQ(0u, prompt_.HistoryCount());
    Type(UP); // empty history: the shown line is erased and nothing comes back
    EXPECT_EQ(0u, prompt_.Length());
    Type("\x1bX"); // any other key after ESC ends the escape and is dropped
    Type("q");
    EXPECT_EQ("q", std::string(prompt_.Line()));
}

TEST_F(Prompt, HistoryKeepsOnlyTheNewestLines) {
    for (unsigned i = 0; i < CPrompt::HISTORY_SIZE + 10; i++)
        Type("line" + std::to_string(i) + "\r");
    EXPECT_EQ(CPrompt::HISTORY_SIZE, prompt_.HistoryCount());
    char line[CPrompt::LINE_SIZE + 1];
    unsigned taken = 0;
    std::string newest;
    while (prompt_.PopHistory(line, sizeof line)) {
        if (taken++ == 0) newest = line;
    }
    EXPECT_EQ(CPrompt::HISTORY_SIZE, taken);
    EXPECT_EQ("line" + std::to_string(CPrompt::HISTORY_SIZE + 9), newest);
    EXPECT_EQ("line10", std::string(line)); // the oldest kept
}

TEST_F(Prompt, WithoutAWriteCallbackNothingHappens) {
    CPrompt silent(nullptr, RunLine);
    for (char c : std::string("help\r"))
        silent.ProcessChar(c);
    EXPECT_TRUE(g_lines.empty());
    EXPECT_EQ(0u, silent.Length());
}

} // namespace
