// fontsheet from the outside: the picture of one font row or of all, and the
// refusal of a row that names no built-in font.
#include "tests/tools/tool_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

class Fontsheet : public tools_test::ToolTest {
  protected:
    Fontsheet() : ToolTest("fontsheet") {}
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
