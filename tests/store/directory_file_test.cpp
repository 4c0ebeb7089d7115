// The directory-listing file: the pattern and its CRC, matching, and the
// fixed-width lines.
#include "tests/store/config_fixture.h"

#include "runtime/utilities.h"
#include "store/directory_file.h"

#include <cstring>
#include <vector>

using namespace config_test;

namespace {

uint32_t g_now = 0;
long now() {
    return long(g_now);
}

class DirectoryFileTest : public ConfigFixture {
  protected:
    void SetPattern(const std::string& pattern, int crc_delta = 0) {
        db_set_string(obj::halvObj4_5, pattern.data(), uint32_t(pattern.size()), 0);
        db_set(obj::halvObj4_6,
               uint16_t(crc16(pattern.data(), pattern.size(), 0xFFFF, 0) + crc_delta), 0);
    }
    std::string Listing() {
        std::vector<uint8_t> buffer(CFile_Directory::BUFFER_BYTES);
        uint32_t length = 0;
        EXPECT_EQ(0, CFile_Directory::Build(buffer.data(), uint32_t(buffer.size()), &length));
        return std::string(buffer.begin(), buffer.begin() + length);
    }
    static std::string Line(const char* name, uint32_t size, const char* time) {
        char sz[9];
        snprintf(sz, sizeof sz, "%08X", unsigned(size));
        return "00000080" + std::string(28, '0') + time + sz + name + "\r\n";
    }
};

TEST_F(DirectoryFileTest, FixedWidthLines) {
    PutFile("data.bin", std::string(1234, 'x'));
    g_now = 1700000000; // 2023-11-14 22:13:20
    ASSERT_EQ(0, mon_tfsctrl(TFS_CTRL_TIMEFUNCS, long(&now), 0));
    PutFile("later.txt", "abc");
    SetPattern("*");
    EXPECT_EQ(std::string("00000080") + std::string(28, '0') + "19700101000000" + "000004D2" +
                  "data.bin\r\n" + Line("later.txt", 3, "20231114221320"),
              Listing());
}

TEST_F(DirectoryFileTest, WrongCrcIsRefusedAndEmptyPatternListsNothing) {
    PutFile("data.bin", "1");
    PutFile("//SD/<dir>", "the last listing");
    SetPattern("*", 1);
    std::vector<uint8_t> buffer(CFile_Directory::BUFFER_BYTES);
    uint32_t length = 99;
    EXPECT_EQ(CFile_Directory::PATTERN_CRC_BAD,
              CFile_Directory::Build(buffer.data(), uint32_t(buffer.size()), &length));
    EXPECT_EQ(0u, length);
    EXPECT_EQ(0, CFile_Directory::Write(Media(), Driver()));
    EXPECT_EQ("the last listing", FileText("//SD/<dir>")) << "nothing written";
    SetPattern("");
    EXPECT_EQ("", Listing());
}

TEST_F(DirectoryFileTest, GraphicsDirectoryPattern) {
    for (const char* name :
         {"./Bitmaps/a.bmp", "./Bitmaps/b.txt", "./Other/c.bmp", "./BitmapsOld/d.bmp", "e.bmp",
          "./Bitmaps/sub/g.bmp", "./Bitmaps/f.bmp"})
        PutFile(name, "12");
    SetPattern("./Bitmaps/*.bmp");
    EXPECT_EQ(Line("./Bitmaps/a.bmp", 2, "19700101000000") +
                  Line("./Bitmaps/f.bmp", 2, "19700101000000"),
              Listing());
}

TEST_F(DirectoryFileTest, MatchRules) {
    const struct {
        const char* pattern;
        const char* name;
        bool match;
    } cases[] = {
        {"*", "anything", true},   {"*.bmp", "a.bmp", true},      {"*.bmp", "dir/a.bmp", true},
        {"*.bmp", "a.BMP", false}, {"*.bmp", "a.bmp.txt", false}, {"*.txt", "a.bmp.txt", true},
        {"*.bmp", "noext", false}, {"*x", "noext", true},         {"a.bmp", "a.bmp", true},
        {"a.bmp", "b.bmp", false}, {"d/a.bmp", "d/a.bmp", true},  {"d/a.bmp", "e/a.bmp", false},
        {"d/*", "d/x", true},      {"d/*", "dd/x", false},        {"", "", true},
        {"", "x", false},          {"d/*", "d/e/x", false},       {"d/*.bmp", "d/e/a.bmp", false},
        {"d/e/*", "d/e/x", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.match, CFile_Directory::Match(c.pattern, uint32_t(strlen(c.pattern)), c.name))
            << c.pattern << " " << c.name;
    // Only the first 150 bytes of the pattern count.
    std::string longer = std::string(150, 'n') + "tail";
    EXPECT_TRUE(CFile_Directory::Match(longer.c_str(), uint32_t(longer.size()),
                                       std::string(150, 'n').c_str()));
}

TEST_F(DirectoryFileTest, WriteStoresTheListing) {
    PutFile("one", "1");
    SetPattern("one");
    EXPECT_EQ(1, CFile_Directory::Write(Media(), Driver()));
    EXPECT_EQ(Line("one", 1, "19700101000000"), FileText("//SD/<dir>"));
    EXPECT_EQ(0u, TheGPBuffer().Outstanding());
}

// A listing longer than the buffer keeps whole lines only.
TEST_F(DirectoryFileTest, ListingIsCutAtWholeLines) {
    for (int i = 0; i < 5; ++i)
        PutFile(("f" + std::to_string(i)).c_str(), "1");
    SetPattern("*");
    const uint32_t line = uint32_t(Line("f0", 1, "19700101000000").size());
    std::vector<uint8_t> buffer(line * 3 + line / 2);
    uint32_t length = 0;
    EXPECT_EQ(0, CFile_Directory::Build(buffer.data(), uint32_t(buffer.size()), &length));
    EXPECT_EQ(3 * line, length);
}

TEST_F(DirectoryFileTest, FactoryEntries) {
    EXPECT_STREQ("DIRECTORY FILE", CFile_Directory::GetName(0));
    EXPECT_EQ(300, CFile_Directory::GetType("DIRECTORY FILE"));
    EXPECT_EQ(nullptr, CFile_Directory::Create({0, 301, 0x0F, nullptr}));
    CPeripheral* p = CFile_Directory::Create({0, 300, 0x0F, nullptr});
    ASSERT_NE(nullptr, p);
    EXPECT_EQ(0x0F, p->ClassCode());
    delete p;
}

} // namespace
