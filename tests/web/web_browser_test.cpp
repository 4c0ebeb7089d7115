// The built-in pages in a real browser: Debian's chromium, headless, driven
// through chromium-driver (tests/web/browser_pages.py) against the whole
// firmware on the virtual clock. The status page shows the sign, Run puts a
// message on the sign, Blank (confirmed) blanks it, the quick message stores
// message 500, the test pattern turns on, and in local mode the pages refuse.
// A screenshot of each page is written beside the test's log
// (Testing/Temporary/web_pages/).
#include "display/display_entries.h"
#include "ntcip/mib/oid_text.h"
#include "platform/field/field.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/support/host_process.h"
#include "tests/support/png_reader.h"
#include "tests/web/web_test_util.h"

#include <filesystem>
#include <map>

using namespace web_test;

namespace {

const char* const PYTHON = "/usr/bin/python3";
const uint32_t LOCAL_MODE = 2;
const uint32_t MSG_MODIFY_REQ = 6, MSG_VALIDATE_REQ = 7, MSG_VALID = 4;

// Testing/Temporary/web_pages/TEST beside CTest's log (or in the current
// folder when the test runs on its own).
std::string Shots() {
    std::filesystem::path dir = std::filesystem::current_path() / "Testing" / "Temporary";
    if (!std::filesystem::is_directory(dir)) dir = std::filesystem::current_path();
    return (dir / "web_pages" / ::testing::UnitTest::GetInstance()->current_test_info()->name())
        .string();
}

std::string Text(const DbObject& object) {
    uint32_t n = 0;
    const char* text = db_get_string(object, &n);
    return std::string(text ? text : "", n);
}

std::string Hex(const DbObject& object) {
    uint32_t n = 0;
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(db_get_string(object, &n));
    std::string out;
    for (uint32_t i = 0; i < n && i < 3; i++) {
        char two[4];
        std::snprintf(two, sizeof two, "%s%02X", i ? " " : "", bytes[i]);
        out += two;
    }
    return out;
}

class BrowserPages : public WebSign {
  protected:
    void SetUp() override {
        if (std::string why = WhyNot(); !why.empty()) GTEST_SKIP() << why;
        WebSign::SetUp();
    }
    static std::string WhyNot() {
        using test_support::run_command;
        if (run_command("command -v chromium").empty()) return "chromium is not installed";
        if (run_command("command -v chromedriver").empty())
            return "chromium-driver is not installed";
        if (run_command(std::string(PYTHON) + " -c 'import selenium' 2>&1 && echo yes")
                .find("yes") == std::string::npos)
            return "python3-selenium is not installed";
        return "";
    }
    // The steps in one browser: step name -> the line of what it saw.
    std::map<std::string, std::string> Browse(const std::vector<std::string>& steps) {
        std::string script = std::string(TEST_SOURCE_DIR) + "/web/browser_pages.py";
        std::string command = std::string("timeout 120 ") + PYTHON + " " + script +
                              " http://127.0.0.1:" + std::to_string(agent_test::host_port(80)) +
                              " " + ADMIN + " '" + Shots() + "'";
        for (const std::string& step : steps)
            command += " '" + step + "'";
        command += " 2>&1";
        std::string output;
        Serve([&] { output = test_support::run_command(command); });
        std::map<std::string, std::string> seen;
        for (const std::string& line : test_support::Lines(output)) {
            size_t tab = line.find('\t');
            if (tab != std::string::npos) seen[line.substr(0, tab)] = line.substr(tab + 1);
        }
        EXPECT_FALSE(seen.empty()) << output;
        std::cout << "browser: " << output << "screenshots in " << Shots() << "\n";
        return seen;
    }
    static void StoreValid(uint16_t number, const std::string& multi) {
        DbObject status = obj::changeableMsgStatus.row(number - 1);
        db_set(status, MSG_MODIFY_REQ, DB_NOTIFY);
        validate_message();
        db_set_string(obj::changeableMsgMultiString.row(number - 1), multi.data(),
                      uint32_t(multi.size()), DB_NOTIFY);
        db_set(status, MSG_VALIDATE_REQ, DB_NOTIFY);
        validate_message();
        ASSERT_EQ(MSG_VALID, db_get(status));
    }
    bool SignLit() {
        tx_thread_sleep(100);
        test_support::Picture picture;
        return host::sign_picture_flush() &&
               test_support::ReadPng(StateDir() + "/sign.png", picture) && !picture.Dark();
    }
};

TEST_F(BrowserPages, AnOperatorReadsTheStatusRunsStoresAndTestsThroughThePages) {
    StoreValid(7, "SEVEN");
    StoreValid(3, "THREE");
    EXPECT_FALSE(SignLit());
    auto seen = Browse({"index", "show:view.html", "show:list.html", "run:7"});
    const std::string& index = seen["index"];
    EXPECT_NE(std::string::npos, index.find("\"control_mode\": \"Central (4)\"")) << index;
    EXPECT_NE(std::string::npos, index.find("\"model\": \"" + Text(obj::moduleModel.row(6)) + "\""))
        << index;
    EXPECT_NE(std::string::npos,
              index.find("\"firmware\": \"" + Text(obj::moduleVersion.row(0)) + "\""))
        << index;
    EXPECT_NE(std::string::npos, index.find("\"tags_left\": false")) << index;
    EXPECT_NE(std::string::npos, seen["show"].find("Message List")) << seen["show"];
    EXPECT_NE(std::string::npos, seen["run"].find("\"alert\": \"\"")) << seen["run"];
    tx_thread_sleep(100);
    EXPECT_EQ("03 00 07", Hex(obj::dmsMsgTableSource));
    EXPECT_TRUE(SignLit());

    seen = Browse({"quick:QUICK|LINE:PAGE|TWO", "diag_on"});
    EXPECT_NE(std::string::npos, seen["quick"].find("\"prefilled\": \"500\"")) << seen["quick"];
    EXPECT_EQ("QUICK[nl]LINE[np]PAGE[nl]TWO", Text(obj::changeableMsgMultiString.row(499)));
    EXPECT_EQ("HTTP User", Text(obj::changeableMsgOwner.row(499)));
    EXPECT_EQ(MSG_VALID, db_get(obj::changeableMsgStatus.row(499)));
    EXPECT_EQ(10u, db_get(obj::halvObj1_1));
    EXPECT_NE(std::string::npos, seen["diag_on"].find("On (pattern 10)")) << seen["diag_on"];
}

TEST_F(BrowserPages, BlankAsksFirstAndInLocalModeThePagesRefuse) {
    StoreValid(3, "THREE");
    const char* run_by_number = "1.3.6.1.4.1.1206.3.11.2.27.0";
    ASSERT_EQ(1, snmp_set_integer_by_oid_text(run_by_number, uint32_t(std::strlen(run_by_number)),
                                              0x30003, OID_TEXT_NOTIFY, 0xFFFFFFFFu));
    tx_thread_sleep(100);
    ASSERT_EQ("03 00 03", Hex(obj::dmsMsgTableSource));
    auto seen = Browse({"blank"});
    EXPECT_NE(std::string::npos, seen["blank"].find("\"confirm\": \"Blank Sign?\""))
        << seen["blank"];
    tx_thread_sleep(100);
    EXPECT_EQ("07 00 01", Hex(obj::dmsMsgTableSource));

    db_set(obj::dmsControlMode, LOCAL_MODE, DB_NO_VALIDATE);
    seen = Browse({"run:3", "quick:REFUSED:TEXT", "blank"});
    for (const char* step : {"run", "quick"})
        EXPECT_NE(std::string::npos, seen[step].find("\"alert\": \"sign in local mode\""))
            << seen[step];
    EXPECT_NE(std::string::npos, seen["blank"].find("\"confirm\": \"sign in local mode\""))
        << seen["blank"];
    tx_thread_sleep(100);
    EXPECT_EQ("07 00 01", Hex(obj::dmsMsgTableSource));
    EXPECT_EQ("", Text(obj::changeableMsgMultiString.row(499)));
}

// The diagnostics page counts the up time in whole seconds, and a quick
// message the sign cannot show is refused on the page it leads to.
TEST_F(BrowserPages, TheUpTimeIsInSecondsAndARefusedQuickMessageIsShown) {
    tx_thread_sleep(12000); // up a little over two minutes
    auto seen = Browse({"show:diag.html", "quick:[jl9]BAD:"});
    EXPECT_NE(std::string::npos, seen["show"].find("0 days 0 h 2 min")) << seen["show"];
    EXPECT_NE(std::string::npos, seen["quick"].find("Quick message refused")) << seen["quick"];
    EXPECT_NE(std::string::npos, seen["quick"].find("\"prefilled\": \"500\"")) << seen["quick"];
}

} // namespace
