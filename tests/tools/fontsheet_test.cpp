// fontsheet from the outside: the picture of one font row or of all, and the
// refusal of a row that names no built-in font.
#include "tests/support/host_process.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using test_support::BesideTests;

class Fontsheet : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!fs::exists(BesideTests("fontsheet"))) GTEST_SKIP() << "fontsheet is not built";
        char pattern[] = "/tmp/fontsheet_test_XXXXXX";
        dir_ = mkdtemp(pattern);
    }
    void TearDown() override {
        if (!dir_.empty()) fs::remove_all(dir_);
    }
    test_support::ProcessResult Tool(std::vector<std::string> args) {
        args.insert(args.begin(), BesideTests("fontsheet"));
        return test_support::RunProcess(args, dir_ + "/tool.txt");
    }
    std::string dir_;
};

TEST_F(Fontsheet, ARowThatNamesNoFontIsRefusedAndWritesNothing) {
    const std::string out = dir_ + "/sheet.png";
    for (const char* row : {"20", "-1", "abc", "", "3x", "99999999999999999999"}) {
        test_support::ProcessResult r = Tool({out, row});
        EXPECT_EQ(2, r.status) << "'" << row << "'\n" << r.output;
        EXPECT_NE(std::string::npos, r.output.find("ROW must be a font row from 0 to 19"))
            << r.output;
        EXPECT_FALSE(fs::exists(out)) << row;
    }
    EXPECT_EQ(2, Tool({out, "1", "extra"}).status);
}

TEST_F(Fontsheet, TheLastRowMakesAPicture) {
    const std::string out = dir_ + "/sheet.png";
    test_support::ProcessResult r = Tool({out, "19"});
    EXPECT_EQ(0, r.status) << r.output;
    EXPECT_NE(std::string::npos, r.output.find("1 fonts written")) << r.output;
    std::ifstream png(out, std::ios::binary);
    char signature[8] = {};
    png.read(signature, sizeof signature);
    EXPECT_EQ(std::string("\x89PNG\r\n\x1a\n", 8), std::string(signature, 8));
}

} // namespace
