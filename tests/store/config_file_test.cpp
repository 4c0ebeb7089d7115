// CONFIG.XML: writing, reading back, corrupt files, the backup, the save flag
// and the file peripheral's factory entries.
#include "tests/store/config_fixture.h"

#include "runtime/letter_codes.h"
#include "store/config_file.h"
#include "store/config_objects.h"
#include "store/monrc_file.h"

#include <algorithm>
#include <cstring>
#include <vector>

using namespace config_test;

namespace {

const char* const kHeading = "<!-- CONFIG.XML J6 V2.0 -->\n";

uint32_t RowCount(const ConfigObject& c) {
    return c.rows ? c.rows : 1u;
}

// A value of the entry's width that differs from its default.
uint32_t OtherValue(const ConfigObject& c, unsigned row) {
    uint32_t mask = c.object.width == 4 ? 0xFFFFFFFFu : (1u << (8 * c.object.width)) - 1;
    uint32_t v = (c.default_value + 1 + row) & mask;
    return v == (c.default_value & mask) ? (v + 1) & mask : v;
}

std::string RowText(const ConfigObject& c, unsigned row) {
    return "v" + std::to_string(c.object.offset % 1000) + "/" + std::to_string(row);
}

class ConfigFileTest : public ConfigFixture {
  protected:
    std::string BuildText() {
        std::vector<uint8_t> buffer(CFile_Config::BUFFER_BYTES);
        uint32_t length = 0;
        EXPECT_EQ(0, CFile_Config::Build(buffer.data(), uint32_t(buffer.size()), &length));
        return std::string(reinterpret_cast<char*>(buffer.data()), length);
    }
    // Every row of every entry: its default, or an empty string.
    void SetAllDefault() {
        TheDatabase().SetValidateOn(false);
        for (size_t i = 0; i < CONFIG_OBJECT_COUNT; ++i) {
            const ConfigObject& c = config_objects()[i];
            for (unsigned r = 0; r < RowCount(c); ++r) {
                if (c.object.is_dynamic())
                    db_set_string(c.object.row(r), nullptr, 0, 0);
                else
                    db_set(c.object.row(r), c.default_value, 0);
            }
        }
        TheDatabase().SetValidateOn(true);
    }
    // Every row of every entry away from its default (validation off, as
    // during the store's start-up).
    void SetAllOther() {
        TheDatabase().SetValidateOn(false);
        for (size_t i = 0; i < CONFIG_OBJECT_COUNT; ++i) {
            const ConfigObject& c = config_objects()[i];
            for (unsigned r = 0; r < RowCount(c); ++r) {
                if (c.object.is_dynamic())
                    ASSERT_EQ(0, db_set_text(c.object.row(r), RowText(c, r).c_str(), 0));
                else
                    ASSERT_EQ(0, db_set(c.object.row(r), OtherValue(c, r), 0));
            }
        }
    }
    // Rows that do not hold the values of SetAllOther.
    std::vector<std::string> RowsNotOther() {
        std::vector<std::string> wrong;
        for (size_t i = 0; i < CONFIG_OBJECT_COUNT; ++i) {
            const ConfigObject& c = config_objects()[i];
            for (unsigned r = 0; r < RowCount(c); ++r) {
                bool same = c.object.is_dynamic() ? Str(c.object.row(r)) == RowText(c, r)
                                                  : db_get(c.object.row(r)) == OtherValue(c, r);
                if (!same) wrong.push_back(std::string(c.name) + "/" + std::to_string(r));
            }
        }
        return wrong;
    }
    int ParseText(const std::string& text) {
        return CFile_Config::ParseFile(reinterpret_cast<const uint8_t*>(text.data()),
                                       uint32_t(text.size()));
    }
    std::vector<uint8_t> NvCopy() {
        const uint8_t* nv = TheDatabase().NvImage();
        return std::vector<uint8_t>(nv, nv + CDataBase::NV_IMAGE_BYTES);
    }
};

TEST_F(ConfigFileTest, DefaultsWriteOnlyTheHeading) {
    SetAllDefault();
    EXPECT_EQ(kHeading, BuildText());
    EXPECT_EQ(28u, std::strlen(kHeading));
}

TEST_F(ConfigFileTest, RowLinesIntegersStringsAndNegativeValues) {
    SetAllDefault();
    db_set(obj::dstBeginMonth.row(3), 5, 0);
    db_set(obj::controllerStandardTimeZone, uint32_t(-3600), 0);
    db_set_string(obj::chapName, "a\nb", 3, 0);
    db_set(obj::halvPeripheralID.row(17), 90, 0);
    EXPECT_EQ(std::string(kHeading) + "chapName[0][0000]:0003,a\nb\n" +
                  "dstBeginMonth[0][0003]:XXXX,5\n" +
                  "controllerStandardTimeZone[0000]:XXXX,FFFFF1F0\n" +
                  "halvPeripheralID[0][0011]:XXXX,5A\n",
              BuildText());
}

// A change of a configuration object posts letter 93; the peripheral's poll
// then writes the file (removing the backup) and clears the save flag.
TEST_F(ConfigFileTest, ChangeRequestsSaveAndPollWritesFile) {
    PutFile("CONFIG.BAK", "old");
    letters.Take();
    ASSERT_EQ(0, db_set(obj::vmsSignHeightPixels, 64, DB_NOTIFY));
    std::vector<uint32_t> posted = letters.Take();
    EXPECT_NE(posted.end(),
              std::find(posted.begin(), posted.end(), uint32_t(LETTER_CONFIG_OBJECT_CHANGED)));

    CFile_Config config;
    config.Poll();
    EXPECT_FALSE(HasFile("CONFIG.XML")); // not asked
    CFile_Config::RequestSave();
    config.Poll();
    EXPECT_EQ(0, CFile_Config::SaveFlag());
    std::string text = FileText("CONFIG.XML");
    EXPECT_EQ(0u, text.find(kHeading));
    EXPECT_NE(std::string::npos, text.find("\nvmsSignHeightPixels[0000]:XXXX,40\n"));
    EXPECT_FALSE(HasFile("CONFIG.BAK"));
    EXPECT_NE(std::string::npos,
              test_support::ConsoleText().find(" - Writing CONFIG.XML\t\t\t\t\t[ OK ]\n"));
}

// Without a pool buffer the save fails and the flag stays for the next poll.
TEST_F(ConfigFileTest, FailedSaveKeepsTheFlag) {
    void* hog = nullptr;
    ASSERT_EQ(1, TheGPBuffer().Allocate(&hog, GP_BUFFER_BYTES - 0x30000));
    CFile_Config config;
    CFile_Config::RequestSave();
    config.Poll();
    EXPECT_EQ(1, CFile_Config::SaveFlag());
    EXPECT_FALSE(HasFile("CONFIG.XML"));
    EXPECT_NE(std::string::npos,
              test_support::ConsoleText().find(" - Writing CONFIG.XML\t\t\t\t\t[FAIL]\n"));
    TheGPBuffer().Release(hog);
    config.Poll();
    EXPECT_EQ(0, CFile_Config::SaveFlag());
    EXPECT_TRUE(HasFile("CONFIG.XML"));
}

// Every row of the 70 objects survives a save, a loss of the image and a restore.
TEST_F(ConfigFileTest, RestoreBringsBackEveryConfigurationObject) {
    SetAllOther();
    ASSERT_EQ(1, CFile_Config::Save(Media(), Driver()));
    SetAllDefault();
    ASSERT_FALSE(RowsNotOther().empty());
    letters.Take();
    TheDatabase().SetValidateOn(false);
    EXPECT_EQ(1, CFile_Config::Restore(Media(), Driver()));
    EXPECT_EQ(std::vector<std::string>(), RowsNotOther());
    EXPECT_EQ(2u, db_get(obj::peripheralConfigState));
    std::vector<uint32_t> posted = letters.Take();
    for (uint32_t code :
         {uint32_t(LETTER_COUNT_PERMANENT_MESSAGES), uint32_t(LETTER_SIGN_TYPE_CHANGED)})
        EXPECT_NE(posted.end(), std::find(posted.begin(), posted.end(), code)) << code;
    EXPECT_NE(std::string::npos,
              test_support::ConsoleText().find(" - Restore Config File\t\t\t\t\t"));
    EXPECT_NE(std::string::npos, test_support::ConsoleText().find("restoring module id\n[ OK ]\n"));
    EXPECT_EQ(0u, TheGPBuffer().Outstanding());
}

TEST_F(ConfigFileTest, RestoreFallsBackToTheBackup) {
    PutFile("CONFIG.BAK", std::string(kHeading) + "halvModTimeout[0000]:XXXX,1F\n");
    EXPECT_EQ(1, CFile_Config::Restore(Media(), Driver()));
    EXPECT_EQ(0x1Fu, db_get(obj::halvModTimeout));
}

TEST_F(ConfigFileTest, RestoreWithoutAFileWritesAFreshOne) {
    db_set(obj::halvModTimeout, 33, 0);
    EXPECT_EQ(0, CFile_Config::Restore(Media(), Driver()));
    EXPECT_NE(std::string::npos,
              test_support::ConsoleText().find("[FAIL]\n\tFile Does Not Exist\n"));
    EXPECT_NE(std::string::npos, FileText("CONFIG.XML").find("halvModTimeout[0000]:XXXX,21\n"));
    EXPECT_EQ(0u, TheGPBuffer().Outstanding());
}

// A driver whose reads fail.
class FailingReads : public CFileSystem_DriverTFS {
  public:
    int ReadFile(FS_FILE*, void*, uint32_t, uint32_t*) override { return FS_ERROR; }
};

TEST_F(ConfigFileTest, FailedReadGivesNothingAndReleasesTheBuffer) {
    PutFile("CONFIG.XML", std::string(kHeading) + "halvModTimeout[0000]:XXXX,1F\n");
    FailingReads failing;
    EXPECT_EQ(0, CFile_Config::Restore(Media(), &failing));
    EXPECT_EQ(10u, db_get(obj::halvModTimeout));
    EXPECT_EQ(0u, TheGPBuffer().Outstanding());
    EXPECT_TRUE(HasFile("CONFIG.XML"));
}

// Corrupt files are removed and change nothing; the values in the store stay.
TEST_F(ConfigFileTest, CorruptFilesAreRemovedAndChangeNothing) {
    const std::string good = "halvModTimeout[0000]:XXXX,1F\n";
    const std::string cases[] = {
        "<CFG>\n" + good,
        "<!-- CONFIG.XML WIN32 V2.0 -->\n" + good,
        "<!-- short",
    };
    for (const std::string& text : cases) {
        PutFile("CONFIG.XML", text);
        test_support::ClearConsole();
        std::vector<uint8_t> before = NvCopy();
        EXPECT_EQ(0, CFile_Config::Restore(Media(), Driver())) << text.substr(0, 40);
        EXPECT_TRUE(before == NvCopy()) << text.substr(0, 40);
        EXPECT_FALSE(HasFile("CONFIG.XML"));
        EXPECT_NE(std::string::npos, test_support::ConsoleText().find("\tFile was corrupt\n"));
        EXPECT_EQ(2u, db_get(obj::peripheralConfigState));
    }
    EXPECT_EQ(0u, TheGPBuffer().Outstanding());
}

struct LineCase {
    const char* text; // one file (version 2 unless it has no heading)
    DbObject object;
    uint32_t expected;
};

TEST_F(ConfigFileTest, LinesSetTheirRows) {
    const std::string h = kHeading;
    const LineCase cases[] = {
        {"dstBeginMonth[0][0003]:XXXX,E\n", obj::dstBeginMonth.row(3), 14},
        {"dmsSignHeight[0000]:XXXX,216\r\n", obj::dmsSignHeight, 0x216}, // CR LF
        {"halvPeripheralID[0][00FE]:XXXX,5A\n", obj::halvPeripheralID.row(254), 90},
        {"controllerStandardTimeZone[0000]:XXXX,FFFFF1F0\n", obj::controllerStandardTimeZone,
         uint32_t(-3600)},
        {"rs232PortInSpeed[0][0004]:XXXX,4B00\n", obj::rs232PortInSpeed.row(4), 19200},
    };
    TheDatabase().SetValidateOn(false);
    for (const LineCase& c : cases) {
        EXPECT_EQ(0, ParseText(h + c.text)) << c.text;
        EXPECT_EQ(c.expected, db_get(c.object)) << c.text;
    }
    EXPECT_EQ(0, ParseText("dmsSignWidth[0000]:3F0\r\nchapName[0][0000]:secret\r\n")); // v1
    EXPECT_EQ(0x3F0u, db_get(obj::dmsSignWidth));
    EXPECT_EQ("secret", Str(obj::chapName));
    EXPECT_EQ(0, ParseText(h + "chapSecret[0][0000]:0005,a\nb\r\n\n" +
                           "halvCommConfigParameters[0][0004]:0002,xy\r\n"));
    EXPECT_EQ("a\nb\r\n", Str(obj::chapSecret));
    EXPECT_EQ("xy", Str(obj::halvCommConfigParameters.row(4)));
}

// Rows outside the entry's range, unknown names and malformed lines are
// refused one by one; the rest of the file applies.
TEST_F(ConfigFileTest, BadLinesAreRefusedAlone) {
    TheDatabase().SetValidateOn(false);
    std::vector<uint8_t> before = NvCopy();
    const std::string text = std::string(kHeading) + "halvPeripheralID[0][FFFF]:XXXX,1\n" +
                             "halvPeripheralID[0][00FF]:XXXX,1\n" +
                             "halvCommConfigParameters[0][0005]:0001,z\n" +
                             "noSuchObject[0000]:XXXX,1\n" + "dmsSignHeightX[0000]:XXXX,1\n" +
                             "dmsSignHeight(0000):XXXX,1\n" + "dmsSignHeight[0000]:XXXX,\n" +
                             "dmsSignHeight[0000]:216\n" + "no colon here\n";
    EXPECT_EQ(0, ParseText(text + "halvModTimeout[0000]:XXXX,2A\n"));
    EXPECT_EQ(0x2Au, db_get(obj::halvModTimeout));
    std::vector<uint8_t> after = NvCopy();
    const uint32_t t = obj::halvModTimeout.offset;
    std::fill(after.begin() + t, after.begin() + t + 2, 0);
    std::fill(before.begin() + t, before.begin() + t + 2, 0);
    EXPECT_TRUE(before == after);
    EXPECT_NE(std::string::npos,
              test_support::ConsoleText().find(
                  "CFile_Config::Parse: failed to restore:halvPeripheralID[0][FFFF]:XXXX,1"));
    EXPECT_NE(std::string::npos, test_support::ConsoleText().find(
                                     "CFile_Config::Parse: failed to restore:noSuchObject"));
}

// Every string the agent accepts is written whole and read back, however
// long its line.
TEST_F(ConfigFileTest, StringsOfEveryAcceptedLengthAreWrittenAndReadBack) {
    SetAllDefault();
    const struct {
        DbObject object;
        std::string value;
    } rows[] = {
        {obj::chapSecret, std::string(2000, 's')},
        {obj::chapName, std::string(250, 'k')},
        {obj::halvCallbackNumber, std::string(300, '7')},
        {obj::halvPeripheralAuxIOTableIndex.row(254), std::string(255, '\x01')},
    };
    for (const auto& r : rows)
        ASSERT_EQ(DB_OK, db_set_string(r.object, r.value.data(), uint32_t(r.value.size()), 0));
    const std::string text = BuildText();
    SetAllDefault();
    EXPECT_EQ(0, ParseText(text));
    for (const auto& r : rows)
        EXPECT_EQ(r.value, Str(r.object)) << r.object.offset;
}

// A line that cannot be read is skipped with a console message; the lines
// before and after it are applied and the file is kept.
TEST_F(ConfigFileTest, AnUnreadableLineIsSkippedAndTheRestApplied) {
    const std::string before = "halvModTimeout[0000]:XXXX,1F\n";
    const std::string after = "dmsSignHeight[0000]:XXXX,216\n";
    const std::string cases[] = {
        std::string(kHeading) + before + std::string(300, 'A') + "\n" + after,     // overlong
        std::string(kHeading) + before + "chapName[0][0000]:0190,short\n" + after, // bad count
        std::string(kHeading) + before + "chapName[0][0000]:0003,abcdef\n" + after,
        before + "dmsSignWidth[0000]:" + std::string(250, '1') + "\n" + after, // version 1
    };
    for (const std::string& text : cases) {
        SCOPED_TRACE(text.substr(0, 60));
        PutFile("CONFIG.XML", text);
        db_set(obj::halvModTimeout, 1, 0);
        db_set(obj::dmsSignHeight, 1, 0);
        test_support::ClearConsole();
        TheDatabase().SetValidateOn(false);
        EXPECT_EQ(1, CFile_Config::Restore(Media(), Driver()));
        EXPECT_EQ(0x1Fu, db_get(obj::halvModTimeout));
        EXPECT_EQ(0x216u, db_get(obj::dmsSignHeight));
        EXPECT_TRUE(HasFile("CONFIG.XML"));
        EXPECT_NE(std::string::npos, test_support::ConsoleText().find("skipped"))
            << test_support::ConsoleText();
    }
    // A counted string longer than the line buffer is a line like any other.
    EXPECT_EQ(0, ParseText(std::string(kHeading) + "chapName[0][0000]:0190," +
                           std::string(400, 's') + "\n"));
    EXPECT_EQ(std::string(400, 's'), Str(obj::chapName));
    EXPECT_EQ(0u, TheGPBuffer().Outstanding());
}

TEST_F(ConfigFileTest, BuildRefusesASmallBuffer) {
    uint8_t small[40];
    uint32_t length = 99;
    db_set(obj::halvModTimeout, 3, 0);
    db_set(obj::halvModuleID, 3, 0);
    EXPECT_EQ(2, CFile_Config::Build(small, sizeof small, &length));
    EXPECT_EQ(0u, length);
    EXPECT_EQ(1, CFile_Config::Build(nullptr, 10, &length));
}

// Random and truncated lines: no crash, nothing written outside the
// configuration rows, a corrupt file changes nothing, and an entry whose name
// the text does not hold keeps its values.
TEST_F(ConfigFileTest, FuzzedFilesStayInsideTheirRows) {
    TheDatabase().SetValidateOn(false);
    SetAllOther();
    TheDatabase().SetValidateOn(false);
    std::vector<std::pair<uint32_t, uint32_t>> ranges; // [first, end) of every entry
    for (size_t i = 0; i < CONFIG_OBJECT_COUNT; ++i) {
        const ConfigObject& c = config_objects()[i];
        ranges.push_back({c.object.offset, c.last + c.object.width});
    }
    auto inside = [&](uint32_t offset) {
        for (auto& r : ranges)
            if (offset >= r.first && offset < r.second) return true;
        return false;
    };
    srand(8);
    int applied = 0;
    const char alphabet[] = "0123456789ABCDEFX[]:,\n\r<!- abcdefghijklmnop";
    for (int round = 0; round < 400; ++round) {
        std::string text = round % 2 ? kHeading : "";
        int lines = rand() % 6;
        for (int l = 0; l < lines; ++l) {
            const ConfigObject& c = config_objects()[rand() % CONFIG_OBJECT_COUNT];
            const uint32_t rows = (c.last - c.object.offset) / c.object.width + 1;
            char head[24];
            snprintf(head, sizeof head, "[%04X]:", rand() % 4 ? rand() % (rows + 2) : rand());
            std::string line = c.name + std::string(head);
            uint32_t n = rand() % 12;
            snprintf(head, sizeof head, c.object.is_dynamic() ? "%04X," : "XXXX,", n);
            line += head;
            if (c.object.is_dynamic())
                for (uint32_t k = 0; k < n; ++k)
                    line += alphabet[rand() % (sizeof alphabet - 1)];
            else
                line += std::to_string(rand());
            if (rand() % 4 == 0) line.resize(rand() % (line.size() + 1)); // truncated
            for (int k = rand() % 3; k > 0; --k)                          // random bytes
                line.insert(line.begin() + rand() % (line.size() + 1),
                            alphabet[rand() % (sizeof alphabet - 1)]);
            text += line + (rand() % 5 ? "\n" : "");
        }
        if (rand() % 8 == 0) text += std::string(rand() % 400, alphabet[rand() % 10]);
        std::vector<uint8_t> before = NvCopy();
        int result = ParseText(text);
        std::vector<uint8_t> after = NvCopy();
        for (uint32_t i = 0; i < after.size(); ++i)
            if (before[i] != after[i] && (result != 0 || !inside(i)))
                FAIL() << "byte " << i << " changed, result " << result << ": " << text;
        for (size_t i = 0; i < CONFIG_OBJECT_COUNT; ++i) {
            const ConfigObject& c = config_objects()[i];
            if (text.find(c.name) != std::string::npos) continue;
            for (unsigned r = 0; r < RowCount(c); ++r) {
                if (c.object.is_dynamic())
                    ASSERT_EQ(RowText(c, r), Str(c.object.row(r))) << text;
                else
                    ASSERT_EQ(OtherValue(c, r), db_get(c.object.row(r))) << text;
            }
        }
        if (result == 0 && before != after) ++applied;
        // Refresh the rows the text changed.
        SetAllOther();
        TheDatabase().SetValidateOn(false);
    }
    EXPECT_GT(applied, 40); // the generator reaches the stored rows
}

TEST_F(ConfigFileTest, FactoryEntries) {
    EXPECT_STREQ("CONFIG FILE", CFile_Config::GetName(7));
    EXPECT_EQ(301, CFile_Config::GetType("CONFIG FILE"));
    EXPECT_EQ(0, CFile_Config::GetType("MONRC FILE"));
    EXPECT_EQ(nullptr, CFile_Config::Create({3, 302, 0x0E, nullptr}));
    CPeripheral* p = CFile_Config::Create({3, 301, 0x0E, nullptr});
    ASSERT_NE(nullptr, p);
    EXPECT_EQ(0x0E, p->ClassCode());
    EXPECT_EQ(301, p->Id());
    EXPECT_EQ(3, p->ListSlot());
    EXPECT_EQ(600, p->PollPeriod());
    EXPECT_EQ(0, p->Countdown());
    EXPECT_EQ(1, p->Enabled());
    const char* text = nullptr;
    EXPECT_TRUE(p->GetStateText(&text));
    EXPECT_STREQ("VALID", text);
    EXPECT_STREQ("", p->CanBusName());
    p->PrintStatus();
    EXPECT_NE(std::string::npos,
              test_support::ConsoleText().find("CONFIG FILE is currently enabled\n"));
    TakeBits();
    delete p;
    EXPECT_EQ(0x40u, TakeBits() & 0x40u); // a peripheral went away

    // The state texts and error codes of the base.
    const struct {
        uint8_t state;
        const char* text;
        uint8_t error;
    } states[] = {{0, "SETTING UP", 0}, {1, "INIT ERROR", 1}, {3, "COMM ERROR", 2},
                  {4, "UNKNOWN", 0},    {5, "READING", 0},    {7, "UNKNOWN", 0}};
    CFile_Monrc monrc;
    for (const auto& s : states) {
        monrc.SetState(s.state);
        EXPECT_FALSE(monrc.GetStateText(&text));
        EXPECT_STREQ(s.text, text);
        EXPECT_EQ(s.error, monrc.GetErrorCode());
    }
    EXPECT_STREQ("UNKNOWN", periph_id_to_name(16));
}

} // namespace

// The table retypes no factory value: each integer entry's default, unless the
// file keeps its own, is what a full factory reset writes into its first row.
TEST_F(ConfigFileTest, EveryIntegerDefaultIsTheFactoryValue) {
    for (size_t i = 0; i < CONFIG_OBJECT_COUNT; ++i) {
        const ConfigObject& c = config_objects()[i];
        if (c.object.is_dynamic() || c.own_default) continue;
        EXPECT_EQ(db_get(c.object), c.default_value) << c.name;
    }
}
