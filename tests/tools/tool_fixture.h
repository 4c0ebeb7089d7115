// A host tool built beside the test programs, run in a temporary directory
// of its own that is removed after the test.
#pragma once

#include "tests/support/host_process.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

namespace tools_test {

class ToolTest : public ::testing::Test {
  protected:
    explicit ToolTest(const char* program) : program_(program) {}
    void SetUp() override {
        if (!std::filesystem::exists(test_support::BesideTests(program_)))
            GTEST_SKIP() << program_ << " is not built";
        std::string pattern = std::string("/tmp/") + program_ + "_test_XXXXXX";
        dir_ = mkdtemp(&pattern[0]);
    }
    void TearDown() override {
        if (!dir_.empty()) std::filesystem::remove_all(dir_);
    }
    // Runs the tool with `args`: its exit status and output.
    test_support::ProcessResult Tool(std::vector<std::string> args) {
        args.insert(args.begin(), test_support::BesideTests(program_));
        return test_support::RunProcess(args, dir_ + "/tool.txt");
    }

    const char* program_;
    std::string dir_;
};

} // namespace tools_test
