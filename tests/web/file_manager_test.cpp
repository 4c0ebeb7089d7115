// The web's file manager: the built-in files as the project wrote them, the
// message list page through a browser's requests, its paging form, and the
// peripheral that stands for the file manager.
#include "ntcip/mib/oid_text.h"
#include "peripherals/factory.h"
#include "peripherals/peripheral_task.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/support/kernel_fixture.h"
#include "tests/web/web_test_util.h"
#include "web/file_manager.h"
#include "web/page_store.h"
#include "web/web_tags.h"

#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>
#include <zlib.h>

using namespace web_test;

namespace {

// ---- paging buttons ----

// The buttons of a paging form in order: "First", page numbers, "Last", each
// followed by "!" when disabled.
std::string Buttons(const std::string& form) {
    static const std::regex button(
        "<input type=\"submit\" value=\"([^\"]*)\" onClick=\"load_page\\((-?[0-9]+)\\);\" "
        "(disabled=\"disabled\")?/>");
    std::string out;
    for (std::sregex_iterator i(form.begin(), form.end(), button), end; i != end; ++i)
        out += (out.empty() ? "" : " ") + (*i)[1].str() + ((*i)[3].matched ? "!" : "");
    return out;
}

std::string PagingForm(unsigned current, unsigned count) {
    std::vector<char> text(2000, '\0');
    size_t n = CFile_Manager::BuildPagingButtons(current, count, text.data(), text.size());
    EXPECT_EQ(std::strlen(text.data()), n);
    return std::string(text.data(), n);
}

TEST(PagingButtons, EachCaseShowsItsRangeAndEnablesItsEnds) {
    const struct {
        unsigned current, count;
        const char* buttons;
    } cases[] = {
        {6, 12, "First 4 5 6! 7 8 Last"},     // the middle: two either side
        {0, 1, "First! 0! Last!"},            // the only page
        {0, 12, "First! 0! 1 2 3 4 Last"},    // the first page
        {11, 12, "First 7 8 9 10 11! Last!"}, // the last page
        {2, 12, "First 0 1 2! 3 4 Last"},     // near the start
        {9, 12, "First 7 8 9! 10 11 Last"},   // near the end
        {1, 3, "First 0 1! 2 Last"},          // fewer pages than buttons
        {2, 3, "First 0 1 2! Last!"},
        {5, 9, "First 4 5! 6 7 8 Last"}, // near the end of a shorter list
        {4, 9, "First 2 3 4! 5 6 Last"}, // just before it: the middle
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.buttons, Buttons(PagingForm(c.current, c.count)))
            << c.current << " of " << c.count;
}

TEST(PagingButtons, TheFormPostsToTheListAndLastLoadsTheLastPage) {
    std::string form = PagingForm(6, 12);
    EXPECT_EQ(0u, form.find("<form id=\"pos\" method=\"post\" action=\"list.html\"><input "
                            "type=\"hidden\" name=\"first\" id=\"msg_first\" value=\"1\"/>"));
    EXPECT_NE(std::string::npos, form.find("value=\"Last\" onClick=\"load_page(11);\""));
    EXPECT_NE(std::string::npos, form.find("value=\"7\" onClick=\"load_page(7);\""));
}

TEST(PagingButtons, NothingIsWrittenPastTheRemainingSizeAndOnlyWholeButtons) {
    const std::string whole = PagingForm(6, 12);
    for (size_t size = 0; size <= whole.size() + 1; size++) {
        std::vector<char> text(whole.size() + 16, '#');
        size_t n = CFile_Manager::BuildPagingButtons(6, 12, text.data(), size);
        ASSERT_LE(n + (size ? 1 : 0), size) << size;
        if (size) {
            EXPECT_EQ(n, std::strlen(text.data())) << size;
        }
        for (size_t i = size; i < text.size(); i++)
            ASSERT_EQ('#', text[i]) << "byte " << i << " written with " << size << " bytes";
        std::string shown(text.data(), n);
        EXPECT_EQ(0u, whole.find(shown.substr(0, shown.find("<input type=\"submit\""))));
        EXPECT_TRUE(n == 0 || shown.back() == '>') << shown;
    }
}

// ---- built-in files ----

std::string ReadFile(const std::string& name) {
    std::ifstream in(std::string(TEST_SOURCE_DIR) + "/../web/pages/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A page as the project wrote it, with the shared parts it includes
// (a line `<!--#include NAME-->`) put in their places.
std::string ReadSource(const std::string& name) {
    std::istringstream lines(ReadFile(name));
    std::string text, line;
    const std::string open = "<!--#include ", close = "-->";
    while (std::getline(lines, line)) {
        bool include = line.rfind(open, 0) == 0 && line.size() > open.size() + close.size() &&
                       line.compare(line.size() - close.size(), close.size(), close) == 0;
        text += include ? ReadFile(line.substr(open.size(), line.size() - open.size() - close.size()))
                        : line + "\n";
    }
    return text;
}

TEST(BuiltinFiles, EveryFileInflatesToWhatTheProjectWrote) {
    std::set<std::string> names;
    std::vector<char> out(CFile_Manager::BUFFER_BYTES);
    for (const builtin_file& file : builtin_file_table) {
        SCOPED_TRACE(file.name);
        names.insert(file.name);
        ASSERT_GE(file.length, 2u);
        EXPECT_EQ(0x78, file.stream[0]);
        EXPECT_EQ(0xDA, file.stream[1]);
        uint32_t length = 0;
        ASSERT_TRUE(CFile_Manager::Inflate(file, out.data(), uint32_t(out.size()), &length));
        std::string source = ReadSource(file.name);
        ASSERT_FALSE(source.empty());
        EXPECT_EQ(source, std::string(out.data(), length));
    }
    EXPECT_EQ((std::set<std::string>{"preindex.html", "premessage.html", "prediag.html",
                                     "preview.html", "prequick.html", "halvstyle.css"}),
              names);
}

TEST(BuiltinFiles, AStreamThatDoesNotInflateProducesNothingAndSaysSo) {
    test_support::CaptureConsole();
    test_support::ClearConsole();
    const uint8_t broken[] = {0x78, 0xDA, 0x01, 0x02, 0x03, 0x04};
    std::vector<char> out(64, '#');
    uint32_t length = 99;
    EXPECT_FALSE(CFile_Manager::Inflate({"prebroken.html", broken, sizeof broken}, out.data(),
                                        uint32_t(out.size()), &length));
    EXPECT_EQ(0u, length);
    // A sound stream into a buffer too small for it is refused the same way.
    EXPECT_FALSE(CFile_Manager::Inflate(builtin_file_table[0], out.data(), 64, &length));
    EXPECT_NE(std::string::npos,
              test_support::ConsoleText().find("prebroken.html does not inflate"))
        << test_support::ConsoleText();
    EXPECT_NE(std::string::npos,
              test_support::ConsoleText().find("preindex.html does not inflate"));
}

TEST(BuiltinFiles, NamesAreLookedUpExactlyInAnyLetterCase) {
    std::vector<char> out(CFile_Manager::BUFFER_BYTES);
    const struct {
        const char* name;
        int built;
    } cases[] = {{"preindex.html", 1},
                 {"PREINDEX.HTML", 1},
                 {"halvstyle.css", 1},
                 {"preindex.htmlX", 0},
                 {"preindex.htm", 0},
                 {"pre", 0},
                 {"", 0},
                 {"index.html", 0},
                 {"prelist.html", 0}};
    for (const auto& c : cases) {
        uint32_t length = 0;
        EXPECT_EQ(c.built, CFile_Manager::BuildPage(c.name, nullptr, out.data(),
                                                    uint32_t(out.size()), &length))
            << c.name;
        EXPECT_EQ(c.built != 0, length > 0) << c.name;
    }
}

// ---- the sign: the list page and the built-in pages through the web server ----

const uint16_t TYPE_WITHOUT_GRAPHIC_MESSAGES = 132;

class FileManagerSign : public WebSign {
  protected:
    // A valid changeable message in `row` (number row + 1).
    static void StoreValid(uint16_t row, const std::string& multi) {
        db_set_string(obj::changeableMsgMultiString.row(row), multi.data(), uint32_t(multi.size()),
                      DB_NO_VALIDATE);
        db_set(obj::changeableMsgStatus.row(row), 4, DB_NO_VALIDATE);
    }
    // 23 valid messages in the odd rows 1-45 (numbers 2, 4, ..., 46), and
    // two that are not valid between them.
    static void StoreTwentyThree() {
        for (uint16_t i = 0; i < 23; i++)
            StoreValid(uint16_t(2 * i + 1), "MSG " + std::to_string(2 * i + 2));
        db_set(obj::changeableMsgStatus.row(2), 5, DB_NO_VALIDATE);
        db_set(obj::changeableMsgStatus.row(4), 2, DB_NO_VALIDATE);
    }
    // The message numbers of the run links, in order.
    static std::vector<int> Links(const std::string& page) {
        static const std::regex link("<a href=\"message.html\\?run=([0-9]+)\">([0-9]+)\\) ");
        std::vector<int> out;
        for (std::sregex_iterator i(page.begin(), page.end(), link), end; i != end; ++i) {
            EXPECT_EQ((*i)[1].str(), (*i)[2].str());
            out.push_back(std::stoi((*i)[1].str()));
        }
        return out;
    }
    static std::vector<int> Numbers(int first, int count) {
        std::vector<int> out;
        for (int i = 0; i < count; i++)
            out.push_back(first + 2 * i);
        return out;
    }
    Reply List(const std::string& query = "") {
        return query.empty() ? Ask(Get("/list.html", Credentials("", ADMIN)))
                             : Ask(Post("/list.html?" + query, "first=1"));
    }
};

TEST_F(FileManagerSign, TheListShowsTenValidMessagesAPageAndClampsThePageItIsAskedFor) {
    StoreTwentyThree();
    Reply first = List();
    ASSERT_EQ(200, first.status) << first.head;
    EXPECT_EQ(Numbers(2, 10), Links(first.body));
    EXPECT_NE(std::string::npos,
              first.body.find("<a href=\"message.html?run=2\">2) MSG 2</a><br />"));
    EXPECT_EQ("First! 0! 1 2 Last", Buttons(first.body));
    const struct {
        const char* query;
        std::vector<int> numbers;
    } cases[] = {
        {"page=1", Numbers(22, 10)}, {"page=2", Numbers(42, 3)},
        {"page=99", Numbers(42, 3)}, {"page=0", Numbers(2, 10)},
        {"PAGE=2", Numbers(42, 3)},  {"page=abc", Numbers(2, 10)},
        {"page=-1", Numbers(2, 10)}, {"page=2x", Numbers(2, 10)},
        {"page=", Numbers(2, 10)},   {"page=99999999999999", Numbers(42, 3)},
        {"other=2", Numbers(2, 10)},
    };
    for (const auto& c : cases) {
        Reply page = List(c.query);
        EXPECT_EQ(200, page.status) << c.query;
        EXPECT_EQ(c.numbers, Links(page.body)) << c.query;
    }
    EXPECT_EQ("First 0 1 2! Last!", Buttons(List("page=99").body));
}

TEST_F(FileManagerSign, GraphicMessagesAreLeftOutOnSignsThatCannotShowThem) {
    StoreValid(0, "PLAIN");
    StoreValid(1, "[ms11,g,3]GRAPHIC");
    db_set(obj::dmsSignType, 6, DB_NO_VALIDATE);
    EXPECT_EQ((std::vector<int>{1, 2}), Links(List().body));
    db_set(obj::dmsSignType, TYPE_WITHOUT_GRAPHIC_MESSAGES, DB_NO_VALIDATE);
    EXPECT_EQ((std::vector<int>{1}), Links(List().body));
}

TEST_F(FileManagerSign, MessageTextsAreEscapedOnTheList) {
    StoreValid(4, "<script>alert(1)</script> & \"x\"");
    Reply page = List();
    EXPECT_EQ((std::vector<int>{5}), Links(page.body));
    EXPECT_EQ(std::string::npos, page.body.find("<script>alert"));
    EXPECT_NE(std::string::npos, page.body.find("&lt;script&gt;alert(1)&lt;/script&gt; &amp; "
                                                "&quot;x&quot;</a>"))
        << page.body;
}

TEST_F(FileManagerSign, AnEmptyListIsOnePageWithoutEntries) {
    Reply page = List("page=3");
    ASSERT_EQ(200, page.status);
    EXPECT_TRUE(Links(page.body).empty());
    EXPECT_EQ("First! 0! Last!", Buttons(page.body));
    EXPECT_NE(std::string::npos, page.body.find("<title>Halvenmark, Inc.</title>"));
    EXPECT_NE(std::string::npos, page.body.find("halvstyle.css"));
    EXPECT_NE(std::string::npos, page.body.find("</form><form><input type=\"button\" "
                                                "value=\"Reload Page\""));
}

TEST_F(FileManagerSign, PrelistProducesAndDeletesNothing) {
    StoreValid(0, "KEPT");
    ASSERT_EQ(200, List().status);
    const uint8_t* before = nullptr;
    uint32_t before_length = 0;
    ASSERT_TRUE(TheWebPageStore().Find("list.html", &before, &before_length));
    std::string kept(reinterpret_cast<const char*>(before), before_length);
    EXPECT_EQ(1, CFile_Manager::Serve(TheWebPageStore(), "prelist.html", nullptr));
    const uint8_t* after = nullptr;
    uint32_t after_length = 0;
    ASSERT_TRUE(TheWebPageStore().Find("list.html", &after, &after_length));
    EXPECT_EQ(kept, std::string(reinterpret_cast<const char*>(after), after_length));
    EXPECT_FALSE(TheWebPageStore().Find("prelist.html", &after, &after_length));
}

// Every page comes from its built-in template, with every tag replaced, and
// the style sheet as written.
TEST_F(FileManagerSign, EveryPageIsServedFromItsBuiltInTemplate) {
    const struct {
        const char* path;
        const char* title;
    } pages[] = {{"/", "Sign Status"},
                 {"/message.html", "Messaging"},
                 {"/diag.html", "Diagnostics"},
                 {"/view.html", "Current Message"},
                 {"/QUICK.HTML", "Quick Message"}};
    for (const auto& p : pages) {
        Reply page = Ask(Get(p.path, Credentials("", ADMIN)));
        ASSERT_EQ(200, page.status) << p.path;
        EXPECT_NE(std::string::npos, page.body.find("<title>Halvenmark, Inc.</title>")) << p.path;
        EXPECT_NE(std::string::npos,
                  page.body.find(std::string("class=\"titlearea\">") + p.title + "<"))
            << p.path;
        EXPECT_EQ(std::string::npos, page.body.find("$%")) << p.path;
    }
    Reply css = Ask(Get("/halvstyle.css", Credentials("", ADMIN)));
    EXPECT_EQ(200, css.status);
    EXPECT_EQ(ReadSource("halvstyle.css"), css.body);
    EXPECT_NE(std::string::npos, css.head.find("text/css"));
}

// Every tag of the built-in templates names an object the sign serves, read
// with its type's getter.
TEST_F(FileManagerSign, EveryTagOfTheBuiltInPagesNamesAnObjectOfTheSign) {
    std::vector<char> out(CFile_Manager::BUFFER_BYTES);
    int tags = 0;
    for (const builtin_file& file : builtin_file_table) {
        uint32_t length = 0;
        ASSERT_TRUE(CFile_Manager::Inflate(file, out.data(), uint32_t(out.size()), &length));
        std::string text(out.data(), length);
        for (size_t at = text.find("$%"); at != std::string::npos; at = text.find("$%", at + 2)) {
            const char* tag_text = text.c_str() + at + 2;
            size_t end = text.find("#$", at);
            ASSERT_NE(std::string::npos, end) << file.name << " at " << at;
            static web_tag tag;
            std::memset(&tag, 0, sizeof tag);
            size_t consumed = 0;
            ASSERT_TRUE(web_split_tag(tag_text, end - at - 2, text.c_str() + end, &tag, &consumed))
                << file.name << ": " << text.substr(at, end - at);
            uint32_t value = 0;
            uint8_t bytes[WEB_TAG_OCTETS];
            uint32_t n = 0;
            std::string type = tag.type;
            int read =
                type == "str" || type == "STR"
                    ? snmp_get_octets_by_oid_text(tag.oid, uint32_t(std::strlen(tag.oid)), bytes,
                                                  sizeof bytes, &n)
                : type == "ip"
                    ? snmp_get_integer_by_oid_text2(tag.oid, uint32_t(std::strlen(tag.oid)), &value)
                    : snmp_get_integer_by_oid_text(tag.oid, uint32_t(std::strlen(tag.oid)), &value);
            EXPECT_EQ(1, read) << file.name << ": " << tag.oid << "," << tag.type;
            tags++;
        }
    }
    EXPECT_GT(tags, 60);
}

TEST_F(FileManagerSign, TheFileManagerIsAValidPeripheralOfItsOwnIdOnly) {
    tx_thread_sleep(100);
    CPeripheral* found = nullptr;
    ASSERT_TRUE(ThePeripheralTask().Find(PERIPHERAL_ID_FILE_MANAGER, &found));
    EXPECT_EQ(PERIPHERAL_CLASS_FILE_MANAGER, found->ClassCode());
    EXPECT_TRUE(found->IsValid());
    EXPECT_EQ(1, found->Enabled());
    EXPECT_EQ(5, found->PollPeriod());
    EXPECT_STREQ("FILE MANAGER", CFile_Manager::IdToName(0));
    EXPECT_EQ(PERIPHERAL_ID_FILE_MANAGER, CFile_Manager::NameToId("FILE MANAGER"));
    EXPECT_EQ(0, CFile_Manager::NameToId("file manager"));
    EXPECT_EQ(0, CFile_Manager::NameToId(nullptr));
    PeripheralParameters none;
    EXPECT_EQ(nullptr, Create_FileManager({7, 303, PERIPHERAL_CLASS_FILE_MANAGER, nullptr}, none));
    CPeripheral* made = Create_FileManager({7, 304, PERIPHERAL_CLASS_FILE_MANAGER, nullptr}, none);
    ASSERT_NE(nullptr, made);
    EXPECT_EQ(7, made->ListSlot());
    EXPECT_EQ(0, made->Countdown());
    delete made;
}

} // namespace
