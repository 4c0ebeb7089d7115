// The configuration files in the firmware's start-up: without a journal the
// store restores "CONFIG.XML" (or writes a fresh one when there is none); an
// armed start runs "SCRIPT.XML" (the default one when it is missing or corrupt).
#include "platform/monitor/monitor.h"
#include "store/config_file.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/support/firmware_fixture.h"
#include "tests/support/kernel_fixture.h"

#include <string>

namespace {

const std::string kHeading = "<!-- CONFIG.XML J6 V2.0 -->\n";

std::string FileText(const char* name) {
    TFSHDR* h = mon_tfsstat(name);
    return h ? std::string(reinterpret_cast<const char*>(tfs_file_data(h)), tfs_file_size(h))
             : std::string();
}

std::string Str(const DbObject& o) {
    uint32_t n = 0;
    const char* p = db_get_string(o, &n);
    return std::string(p, n);
}

// No journal files in flash, a configuration file from an earlier run.
class ConfigAtStartup : public test_support::FirmwareFixture {
  protected:
    void Prepare() override {
        const std::string text =
            kHeading + "vmsSignHeightPixels[0000]:XXXX,40\n" +
            "halvPeripheralID[0][0002]:XXXX,5A\n" + "halvPeripheralParameters[0][0002]:0003,1,2\n" +
            "chapName[0][0000]:0003,a\nb\r\n" + "controllerStandardTimeZone[0000]:XXXX,FFFFF1F0\n";
        mon_tfsadd("CONFIG.XML", nullptr, "p", reinterpret_cast<const unsigned char*>(text.data()),
                   int(text.size()));
    }
};

TEST_F(ConfigAtStartup, StoreWithoutJournalRestoresTheFile) {
    EXPECT_EQ(64u, db_get(obj::vmsSignHeightPixels));
    EXPECT_EQ(90u, db_get(obj::halvPeripheralID.row(2)));
    EXPECT_EQ("1,2", Str(obj::halvPeripheralParameters.row(2)));
    EXPECT_EQ("a\nb", Str(obj::chapName)); // counted, then CR LF
    EXPECT_EQ(-3600, db_get_signed(obj::controllerStandardTimeZone));
    EXPECT_EQ(2u, db_get(obj::peripheralConfigState));
    EXPECT_NE(std::string::npos,
              test_support::ConsoleText().find(" - Restore Config File\t\t\t\t\t"));
}

class FirstStart : public test_support::FirmwareFixture {};

TEST_F(FirstStart, WritesAFreshConfigurationFile) {
    EXPECT_NE(std::string::npos,
              test_support::ConsoleText().find("[FAIL]\n\tFile Does Not Exist\n"));
    std::string text = FileText("CONFIG.XML");
    EXPECT_EQ(0u, text.find(kHeading));
    // A change and a save: the file follows the store.
    ASSERT_EQ(DB_OK, db_set(obj::vmsSignHeightPixels, 80, DB_NOTIFY));
    EXPECT_EQ(1, CFile_Config::Save(&TheSystemMedia(), &TheFileSystem()));
    EXPECT_NE(std::string::npos,
              FileText("CONFIG.XML").find("\nvmsSignHeightPixels[0000]:XXXX,50\n"));
}

// A first start arms the script (factory value of halvScriptControl): the
// default script is written and run once.
TEST_F(FirstStart, WritesAndRunsTheDefaultScript) {
    EXPECT_EQ(305u, FileText("SCRIPT.XML").size());
    EXPECT_EQ(0u,
              FileText("SCRIPT.XML").find("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n"));
    EXPECT_EQ(1u, db_get(obj::halvObj2_8));
    EXPECT_EQ(0u, db_get(obj::halvScriptControl) & 1);
    const std::string& shown = test_support::ConsoleText();
    size_t detected = shown.find(" - Detected Script File\t\t\t\t\t");
    ASSERT_NE(std::string::npos, detected) << shown;
    EXPECT_EQ(std::string::npos, shown.find("[FAIL]", detected)) << shown;
}

class CorruptScriptAtStartup : public test_support::FirmwareFixture {
  protected:
    void Prepare() override {
        const std::string text = "<SCRIPT>\r\n";
        mon_tfsadd("SCRIPT.XML", nullptr, nullptr,
                   reinterpret_cast<const unsigned char*>(text.data()), int(text.size()));
    }
};

TEST_F(CorruptScriptAtStartup, IsReplacedByTheDefault) {
    EXPECT_EQ(305u, FileText("SCRIPT.XML").size());
    EXPECT_NE(std::string::npos, test_support::ConsoleText().find("[FAIL]\n\tFile was corrupt\n"));
    EXPECT_EQ(1u, db_get(obj::halvObj2_8));
}

} // namespace
