// SCRIPT.XML: the armed run, the default script, the accepted text and
// bounded reading of hostile scripts.
#include "tests/store/config_fixture.h"

#include "runtime/letter_codes.h"
#include "store/script_file.h"

#include <algorithm>
#include <vector>

using namespace config_test;

namespace {

const std::string kDefault = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n"
                             "<SCRIPT product=\"Tessalon\" version=\"1.0\">\r\n"
                             "\t<OBJ oid=\"1.3.6.1.4.1.1206.3.11.2.8.0\" int=\"2\"/>\r\n"
                             "\t<OBJ oid=\"1.3.6.1.4.1.1206.4.2.3.6.1.0\" int=\"5\"/>\r\n"
                             "\t<OBJ oid=\"1.3.6.1.4.1.1206.4.2.3.6.1.0\" int=\"4\"/>\r\n"
                             "\t<OBJ oid=\"1.3.6.1.4.1.1206.3.11.2.8.0\" int=\"1\"/>\r\n"
                             "</SCRIPT>\r\n";
const std::string kObj2_8 = "1.3.6.1.4.1.1206.3.11.2.8.0";

class ScriptFileTest : public ConfigFixture {
  protected:
    int Parse(const std::string& text) {
        return CFile_Script::Parse(reinterpret_cast<const uint8_t*>(text.data()),
                                   uint32_t(text.size()));
    }
    // A script of the given elements (each a full line without its CR LF).
    static std::string Script(const std::string& elements) {
        return "<?xml version=\"1.0\"?>\r\n<SCRIPT>\r\n" + elements + "</SCRIPT>\r\n";
    }
    static std::string Set2_8(const std::string& value) {
        return "<OBJ oid=\"" + kObj2_8 + "\" int=\"" + value + "\"/>\r\n";
    }
    void Arm() { ASSERT_EQ(0, db_set(obj::halvScriptControl, 1, 0)); }
};

TEST_F(ScriptFileTest, DefaultScriptInflatesTo305Bytes) {
    std::vector<uint8_t> buffer(CFile_Script::BUFFER_BYTES);
    uint32_t n = CFile_Script::DefaultScript(buffer.data(), uint32_t(buffer.size()));
    EXPECT_EQ(305u, n);
    EXPECT_EQ(kDefault, std::string(buffer.begin(), buffer.begin() + n));
    EXPECT_EQ(0u, CFile_Script::DefaultScript(buffer.data(), 100));
}

TEST_F(ScriptFileTest, UnarmedStartLeavesTheScriptAlone) {
    db_set(obj::halvScriptControl, 0, 0);
    PutFile("SCRIPT.XML", "not a script");
    EXPECT_EQ(0, CFile_Script::Run(Media(), Driver()));
    EXPECT_EQ("not a script", FileText("SCRIPT.XML"));
    EXPECT_EQ(0u, TheGPBuffer().Outstanding());
}

// First armed start without a file: the default is written in the first
// attempt and applied in the second; the arming bit is cleared.
TEST_F(ScriptFileTest, ArmedStartWritesAndAppliesTheDefault) {
    Arm();
    db_set(obj::halvObj2_8, 3, 0);
    db_set(obj::dmsControlMode, 2, DB_NO_VALIDATE);
    letters.Take();
    EXPECT_EQ(1, CFile_Script::Run(Media(), Driver()));
    EXPECT_EQ(kDefault, FileText("SCRIPT.XML"));
    EXPECT_EQ(1u, db_get(obj::halvObj2_8));
    EXPECT_NE(2u, db_get(obj::dmsControlMode)); // set as the agent sets it (validated)
    EXPECT_EQ(0u, db_get(obj::halvScriptControl) & 1);
    std::vector<uint32_t> posted = letters.Take();
    EXPECT_NE(posted.end(),
              std::find(posted.begin(), posted.end(), uint32_t(LETTER_COUNT_PERMANENT_MESSAGES)));
    const std::string& shown = test_support::ConsoleText();
    size_t written = shown.find(" - Writing SCRIPT.XML\t\t\t\t\t[ OK ]\n");
    size_t detected = shown.find(" - Detected Script File\t\t\t\t\t");
    EXPECT_NE(std::string::npos, written);
    EXPECT_LT(written, detected);
    EXPECT_EQ(0u, TheGPBuffer().Outstanding());
    // Runs once: the next start does nothing.
    db_set(obj::halvObj2_8, 3, 0);
    EXPECT_EQ(0, CFile_Script::Run(Media(), Driver()));
    EXPECT_EQ(3u, db_get(obj::halvObj2_8));
}

// A script without its end tag applies its elements, is then removed and
// replaced by the default, which runs.
TEST_F(ScriptFileTest, CorruptScriptIsReplacedByTheDefault) {
    Arm();
    PutFile("SCRIPT.XML", "<SCRIPT>\r\n" + Set2_8("7"));
    EXPECT_EQ(1, CFile_Script::Run(Media(), Driver()));
    EXPECT_EQ(kDefault, FileText("SCRIPT.XML"));
    EXPECT_EQ(1u, db_get(obj::halvObj2_8));
    EXPECT_NE(std::string::npos, test_support::ConsoleText().find("[FAIL]\n\tFile was corrupt\n"));
}

TEST_F(ScriptFileTest, WithoutABufferNothingRunsAndTheBitStays) {
    Arm();
    void* hog = nullptr;
    ASSERT_EQ(1, TheGPBuffer().Allocate(&hog, GP_BUFFER_BYTES - 0x30000));
    EXPECT_EQ(0, CFile_Script::Run(Media(), Driver()));
    EXPECT_EQ(1u, db_get(obj::halvScriptControl) & 1);
    EXPECT_EQ(0, CFile_Script::WriteDefault(Media(), Driver()));
    EXPECT_FALSE(HasFile("SCRIPT.XML"));
    TheGPBuffer().Release(hog);
}

struct TextCase {
    std::string text;
    int result;        // 0 or 11
    uint32_t obj2_8;   // value of halvObj2_8 afterwards (starts at 9)
    const char* shown; // a diagnostic line, or null
};

TEST_F(ScriptFileTest, AcceptedAndRefusedText) {
    const std::string oid = "oid=\"" + kObj2_8 + "\"";
    const TextCase cases[] = {
        {Script(Set2_8("3")), 0, 3, nullptr},
        {"<script a=b>\r\n<obj OID=\"" + kObj2_8 + "\"\tINT=\"4\"/>  \t\r\n</Script>", 0, 4,
         nullptr}, // any case, tab
        {"<SCRIPT>junk<OBJ " + oid + " int=\" -2x\"/>\r\n</SCRIPT>", 0, 254, nullptr}, // as atoi
        {Script("<OBJ  " + oid + " int=\"5\"/>\r\n"), 11, 9, nullptr},                 // two blanks
        {Script("<OBJ " + oid + " int=\"5\"/>\n"), 11, 5, nullptr},   // LF without CR
        {Script("<OBJ int=\"5\" " + oid + "/>\r\n"), 11, 9, nullptr}, // value before oid
        {"<SCRIPT>\r\n" + Set2_8("6"), 11, 6, "\nInvalid Script Tag Handler \n"}, // no end tag
        {Script("<OBJX " + oid + "/>\r\n"), 11, 9, nullptr},
        {Script("<FOO/>\r\n"), 11, 9, "\nNo token found\n"},
        {"<?xml version=\"1.0\"\r\n<SCRIPT></SCRIPT>", 11, 9, "\nInvalid Header\n"},
        {"<?xml ? >\r\n<SCRIPT></SCRIPT>", 11, 9, "\nInvalid Header\n"},
        {Script("<OBJ oid=1.3 int=\"5\"/>\r\n"), 11, 9, "\nBad OID \n"},
        {Script("<OBJ " + oid + " str=abc/>\r\n"), 11, 9, "\nStore OID Failed!\n"},
        {Script("<OBJ oid=\"" + std::string(100, '1') + "\" int=\"5\"/>\r\n"), 11, 9, nullptr},
        {Script("<OBJ oid=\"" + std::string(99, '1') + "\" int=\"5\"/>\r\n"), 0, 9, nullptr},
        {Script("<OBJ " + oid + " str=\"" + std::string(251, 's') + "\"/>\r\n"), 11, 9, nullptr},
        {Script("<OBJ " + oid + " str=\"" + std::string(250, 's') + "\"/>\r\n"), 0, 9, nullptr},
        {Script("<OBJ oid=\"9.9\" int=\"5\" " + oid + " int=\"8\"/>\r\n"), 0, 8, nullptr},
        {"", 11, 9, nullptr},
        {"SCRIPT", 11, 9, nullptr},
    };
    for (const TextCase& c : cases) {
        db_set(obj::halvObj2_8, 9, 0);
        test_support::ClearConsole();
        EXPECT_EQ(c.result, Parse(c.text)) << c.text;
        EXPECT_EQ(c.obj2_8, db_get(obj::halvObj2_8)) << c.text;
        if (c.shown) {
            EXPECT_NE(std::string::npos, test_support::ConsoleText().find(c.shown)) << c.text;
        }
    }
}

// A base64 value reaches the object setter only when it decodes; text that
// is not base64 sets nothing.
TEST_F(ScriptFileTest, Base64ValuesAreStoredOnlyWhenTheyDecode) {
    struct Octets : CScriptObjectSink {
        std::vector<std::string> set;
        int SetInteger(const char*, uint32_t, int32_t) override { return -1; }
        int SetOctets(const char*, uint32_t, const uint8_t* bytes, uint32_t count) override {
            set.emplace_back(reinterpret_cast<const char*>(bytes), count);
            return 1;
        }
    } sink;
    CFile_Script::BindObjectSink(&sink);
    const struct {
        const char* text;
        bool stored;
    } cases[] = {
        {"c2lnbg==", true},  {"!!!!", false},      {"c2lnbg", false},
        {"c2=nbg==", false}, {"c2lu Zw==", false}, {"c2lnbnM=", true},
    };
    for (const auto& c : cases) {
        sink.set.clear();
        Parse(
            Script("<OBJ oid=\"1.3.6.1.2.1.1.4.0\" base64=\"" + std::string(c.text) + "\"/>\r\n"));
        EXPECT_EQ(c.stored ? 1u : 0u, sink.set.size()) << c.text;
    }
    CFile_Script::BindObjectSink(nullptr);
}

// Random bytes and mutations of the default script: no crash and no read or
// write outside the bytes (checked by the sanitizers).
TEST_F(ScriptFileTest, FuzzedScriptsAreReadInBounds) {
    srand(13);
    const char alphabet[] = "<>/?\"= \t\r\nOBJoidintSCRIPTstrbase64=1.3";
    for (int round = 0; round < 3000; ++round) {
        std::string text = round % 3 ? kDefault : std::string();
        if (text.empty())
            for (int k = rand() % 80; k > 0; --k)
                text += alphabet[rand() % (sizeof alphabet - 1)];
        for (int k = rand() % 6; k > 0 && !text.empty(); --k) {
            size_t at = rand() % text.size();
            switch (rand() % 3) {
            case 0:
                text[at] = alphabet[rand() % (sizeof alphabet - 1)];
                break;
            case 1:
                text.erase(at, 1 + rand() % 20);
                break;
            default:
                text.insert(at, std::string(rand() % 300, alphabet[rand() % 10]));
                break;
            }
        }
        if (rand() % 4 == 0) text.resize(rand() % (text.size() + 1));
        std::vector<uint8_t> exact(text.begin(), text.end()); // no slack after the bytes
        int result = CFile_Script::Parse(exact.data(), uint32_t(exact.size()));
        ASSERT_TRUE(result == 0 || result == 11);
    }
}

TEST_F(ScriptFileTest, FactoryEntries) {
    EXPECT_STREQ("SCRIPT FILE", CFile_Script::GetName(0));
    EXPECT_EQ(303, CFile_Script::GetType("SCRIPT FILE"));
    EXPECT_EQ(0, CFile_Script::GetType("CONFIG FILE"));
    EXPECT_EQ(nullptr, CFile_Script::Create({PERIPHERAL_FIXED_SLOT, 301, 0x12, nullptr}));
    CPeripheral* p = CFile_Script::Create({PERIPHERAL_FIXED_SLOT, 303, 0x12, nullptr});
    ASSERT_NE(nullptr, p);
    EXPECT_EQ(0x12, p->ClassCode());
    EXPECT_EQ(1, p->PollPeriod());
    EXPECT_FALSE(p->IsValid());
    p->Poll();
    EXPECT_TRUE(p->IsValid());
    delete p;
}

} // namespace
