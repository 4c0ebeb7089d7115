// The web's file manager: built-in files by exact name, the message list page
// and its paging form, and the peripheral that stands for it.
#include "web/file_manager.h"

#include "display/multi_to_text.h"
#include "peripherals/factory.h"
#include "peripherals/peripheral_ids.h"
#include "runtime/console.h"
#include "runtime/gp_buffer.h"
#include "runtime/utilities.h"
#include "store/database.h"
#include "store/objects.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <zlib.h>

const char* const CFile_Manager::LIST_PAGE = "list.html";

namespace {

const char* const NAME = "FILE MANAGER";
const uint16_t POLL_PERIOD = 5;
const char* const STALE_LIST_NAME = "prelist.html";

const uint32_t MSG_STATUS_VALID = 4;                             // changeableMsgStatus
const uint32_t SIGN_TYPES_WITHOUT_GRAPHIC_MESSAGES[] = {4, 132}; // dmsSignType
const char* const GRAPHIC_MESSAGE_TAG = "[ms11,g,";
const unsigned MULTI_BYTES = 4096;     // a stored MULTI text read for the list
const unsigned LIST_TEXT_BYTES = 300;  // a message's plain text on the list
const unsigned BUTTON_BYTES = 128;     // one paging button, room for two 20-digit numbers
const unsigned PAGE_NUMBER_DIGITS = 9; // a page number past these is no number

const char* const LIST_HEAD =
    "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\">\n"
    "<html>\n<head>\n<title>Halvenmark, Inc.</title>\n"
    "<meta http-equiv=\"Expires\" content=\"-1\">\n"
    "<meta http-equiv=\"Pragma\" content=\"NO-CACHE\">\n"
    "<link rel=\"stylesheet\" type=\"text/css\" href=\"halvstyle.css\">\n"
    "<script type=\"text/javascript\">\n"
    "function load_page(input) {\n"
    "    document.getElementById(\"pos\").action = \"list.html?page=\" + input;\n"
    "}\n"
    "</script>\n</head>\n<body>\n"
    "<script type=\"text/javascript\">\n"
    "window.onload = function() { var f = document.getElementById(\"pos\"); if (f) f.reset(); };\n"
    "</script>\n"
    "<div class=\"imagearea\">HALVENMARK</div>\n"
    "<div class=\"linkarea\"><a href=\"message.html\">Messaging</a></div>\n"
    "<div class=\"titlearea\">Message List</div>\n"
    "<font face=\"Courier New\">\n";
const char* const LIST_END = "</form><form><input type=\"button\" value=\"Reload Page\" "
                             "onClick=\"window.location.href=window.location.href\"></form></body>"
                             "<head><meta http-equiv=\"Expires\" content=\"-1\">"
                             "<meta http-equiv=\"Pragma\" content=\"NO-CACHE\"></head></html>\n";

// ---- paging buttons: five cases, tested in order, as one table ----

enum class paging_when : uint8_t { FIRST_PAGE, LAST_PAGE, NEAR_START, NEAR_END, MIDDLE };
enum class paging_range : uint8_t { HEAD, TAIL, AROUND };
enum class paging_button : uint8_t { OFF, ON, IF_MANY };

struct paging_case {
    paging_when when;
    paging_range range; // the numbered buttons
    paging_button first, last;
};
const paging_case PAGING_CASES[] = {
    {paging_when::FIRST_PAGE, paging_range::HEAD, paging_button::OFF, paging_button::IF_MANY},
    {paging_when::LAST_PAGE, paging_range::TAIL, paging_button::IF_MANY, paging_button::OFF},
    {paging_when::NEAR_START, paging_range::HEAD, paging_button::ON, paging_button::IF_MANY},
    {paging_when::NEAR_END, paging_range::TAIL, paging_button::IF_MANY, paging_button::ON},
    {paging_when::MIDDLE, paging_range::AROUND, paging_button::ON, paging_button::ON},
};
const long BUTTONS = 5; // numbered buttons at most

bool applies(paging_when when, long c, long n) {
    switch (when) {
    case paging_when::FIRST_PAGE:
        return c == 0;
    case paging_when::LAST_PAGE:
        return c == n - 1;
    case paging_when::NEAR_START:
        return c < BUTTONS - 1;
    case paging_when::NEAR_END:
        return n - 1 < c + BUTTONS - 1;
    case paging_when::MIDDLE:
        break;
    }
    return true;
}

void range_of(paging_range range, long c, long n, long* from, long* to) {
    switch (range) {
    case paging_range::HEAD:
        *from = 0;
        *to = n < BUTTONS ? n : BUTTONS;
        return;
    case paging_range::TAIL:
        *from = n < BUTTONS ? 0 : n - BUTTONS;
        *to = n;
        return;
    case paging_range::AROUND:
        *from = c - BUTTONS / 2;
        *to = c + BUTTONS / 2 + 1;
        return;
    }
}

bool enabled(paging_button button, long n) {
    return button == paging_button::ON || (button == paging_button::IF_MANY && n > 1);
}

const char* disabled_text(bool on) {
    return on ? "" : "disabled=\"disabled\"";
}

// ---- text into a bounded buffer ----

class PageText {
  public:
    PageText(char* out, size_t size) : out_(out), size_(size) {
        if (size_) out_[0] = '\0';
    }
    // Appends the whole text when it fits (its NUL included). -> false when not.
    bool Add(const char* text) { return Add(text, std::strlen(text)); }
    bool Add(const char* text, size_t n) {
        if (used_ + n >= size_) return false;
        std::memcpy(out_ + used_, text, n);
        used_ += n;
        out_[used_] = '\0';
        return true;
    }
    bool AddEscaped(const char* text) {
        return web_append_escaped(reinterpret_cast<const uint8_t*>(text), std::strlen(text), out_,
                                  size_, &used_);
    }
    char* End() { return out_ + used_; }
    size_t Remaining() const { return size_ - used_; }
    void Grow(size_t n) { used_ += n; }
    void Truncate(size_t at) {
        used_ = at;
        out_[used_] = '\0';
    }
    size_t Used() const { return used_; }

  private:
    char* out_;
    size_t size_;
    size_t used_ = 0;
};

// ---- the message list ----

bool hides_graphic_messages() {
    uint32_t type = db_get(obj::dmsSignType);
    for (uint32_t t : SIGN_TYPES_WITHOUT_GRAPHIC_MESSAGES)
        if (type == t) return true;
    return false;
}

// The list's page of the query: its value when the key is "page" and the
// value is a decimal number, else 0; past the last page, the last.
unsigned page_of(const web_key_value* query, unsigned pages) {
    if (!query || util_stricmp(query->key, "page") != 0) return 0;
    const char* value = query->value;
    size_t n = std::strlen(value);
    if (n == 0 || std::strspn(value, "0123456789") != n) return 0;
    unsigned long page = n > PAGE_NUMBER_DIGITS ? pages : std::strtoul(value, nullptr, 10);
    return page < pages ? unsigned(page) : pages - 1;
}

// One entry: "<a href="message.html?run=N">N) text</a><br />".
void add_entry(PageText& page, uint16_t row) {
    static char multi[MULTI_BYTES]; // the web server's thread alone builds pages
    static char text[LIST_TEXT_BYTES + 1];
    db_get_string_copy(obj::changeableMsgMultiString.row(row), multi, sizeof multi);
    multi_to_text(multi, text, sizeof text);
    char link[64];
    std::snprintf(link, sizeof link, "<a href=\"message.html?run=%d\">%d) ", row + 1, row + 1);
    size_t start = page.Used();
    if (!(page.Add(link) && page.AddEscaped(text) && page.Add("</a><br />\n")))
        page.Truncate(start); // an entry that does not fit is left out
}

int build_list(const web_key_value* query, char* out, uint32_t size, uint32_t* length) {
    static uint16_t list[CFile_Manager::MESSAGES];
    unsigned count = 0;
    CFile_Manager::CollectListMessages(list, &count);
    unsigned pages = (count + CFile_Manager::PER_PAGE - 1) / CFile_Manager::PER_PAGE;
    if (pages == 0) pages = 1; // an empty list is one empty page
    unsigned page_number = page_of(query, pages);
    PageText page(out, size);
    page.Add(LIST_HEAD);
    for (unsigned i = page_number * CFile_Manager::PER_PAGE;
         i < count && i < (page_number + 1) * CFile_Manager::PER_PAGE; i++)
        add_entry(page, list[i]);
    page.Add("</font>\n");
    page.Grow(CFile_Manager::BuildPagingButtons(page_number, pages, page.End(), page.Remaining()));
    page.Add(LIST_END);
    *length = uint32_t(page.Used());
    return 1;
}

const builtin_file* builtin_named(const char* name) {
    for (const builtin_file& file : builtin_file_table)
        if (util_stricmp(file.name, name) == 0) return &file;
    return nullptr;
}

} // namespace

CFile_Manager::CFile_Manager()
    : CPeripheral(PERIPHERAL_CLASS_FILE_MANAGER, PERIPHERAL_ID_FILE_MANAGER) {}

void CFile_Manager::Poll() {
    m_byState = STATE_VALID;
}

const char* CFile_Manager::IdToName(uint16_t) {
    return NAME;
}

uint16_t CFile_Manager::NameToId(const char* name) {
    return name != nullptr && std::strcmp(name, NAME) == 0 ? PERIPHERAL_ID_FILE_MANAGER : 0;
}

CPeripheral* Create_FileManager(const PeripheralRecord& record, const PeripheralParameters&) {
    return create_file_peripheral<CFile_Manager>(record, PERIPHERAL_ID_FILE_MANAGER, POLL_PERIOD);
}

int CFile_Manager::Serve(CWebPageStore& store, const char* name, const web_key_value* query) {
    if (!name) return 1;
    void* block = nullptr;
    if (!TheGPBuffer().Allocate(&block, BUFFER_BYTES)) return 0;
    char* bytes = static_cast<char*>(block);
    uint32_t length = 0;
    if (BuildPage(name, query, bytes, BUFFER_BYTES, &length)) {
        if (util_stricmp(name, LIST_PAGE) == 0 || util_stricmp(name, STALE_LIST_NAME) == 0)
            store.Remove(LIST_PAGE);
        store.Put(name, bytes, length);
    }
    TheGPBuffer().Release(block);
    return 1;
}

int CFile_Manager::BuildPage(const char* name, const web_key_value* query, char* out, uint32_t size,
                             uint32_t* length) {
    *length = 0;
    if (!name || !out || size == 0) return 0;
    if (util_stricmp(name, LIST_PAGE) == 0) return build_list(query, out, size, length);
    const builtin_file* file = builtin_named(name);
    return file && Inflate(*file, out, size, length) ? 1 : 0;
}

bool CFile_Manager::Inflate(const builtin_file& file, char* out, uint32_t size, uint32_t* length) {
    uLongf inflated = size;
    int rc = uncompress(reinterpret_cast<Bytef*>(out), &inflated, file.stream, file.length);
    if (rc != Z_OK) {
        console_printf("CFile_Manager::BuildPage: %s does not inflate (%d)\n", file.name, rc);
        *length = 0;
        return false;
    }
    *length = uint32_t(inflated);
    return true;
}

void CFile_Manager::CollectListMessages(uint16_t* list, unsigned* count) {
    static char multi[MULTI_BYTES];
    *count = 0;
    bool hide_graphics = hides_graphic_messages();
    for (uint16_t row = 0; row < MESSAGES; row++) {
        if (db_get(obj::changeableMsgStatus.row(row)) != MSG_STATUS_VALID) continue;
        if (hide_graphics) {
            db_get_string_copy(obj::changeableMsgMultiString.row(row), multi, sizeof multi);
            if (std::strstr(multi, GRAPHIC_MESSAGE_TAG)) continue;
        }
        list[(*count)++] = row;
    }
}

size_t CFile_Manager::BuildPagingButtons(unsigned current, unsigned count, char* out,
                                         size_t remaining) {
    PageText text(out, remaining);
    text.Add("<form id=\"pos\" method=\"post\" action=\"list.html\">"
             "<input type=\"hidden\" name=\"first\" id=\"msg_first\" value=\"1\"/>");
    const long c = long(current), n = long(count);
    const paging_case* chosen = &PAGING_CASES[0];
    for (const paging_case& row : PAGING_CASES) {
        chosen = &row;
        if (applies(row.when, c, n)) break;
    }
    long from = 0, to = 0;
    range_of(chosen->range, c, n, &from, &to);
    char button[BUTTON_BYTES];
    std::snprintf(button, sizeof button,
                  "<input type=\"submit\" value=\"First\" onClick=\"load_page(0);\" %s/>",
                  disabled_text(enabled(chosen->first, n)));
    text.Add(button);
    for (long i = from; i < to; i++) {
        std::snprintf(button, sizeof button,
                      "<input type=\"submit\" value=\"%ld\" onClick=\"load_page(%ld);\" %s/>", i, i,
                      disabled_text(i != c));
        text.Add(button);
    }
    std::snprintf(button, sizeof button,
                  "<input type=\"submit\" value=\"Last\" onClick=\"load_page(%ld);\" %s/>", n - 1,
                  disabled_text(enabled(chosen->last, n)));
    text.Add(button);
    return text.Used();
}
