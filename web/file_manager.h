// CFile_Manager ("FILE MANAGER", peripheral 304): produces the files the web
// pages need into the web's page store, on the web application's request:
//   - the built-in files (the five page templates and the style sheet),
//     inflated from the firmware's table of built-in files (web/builtin_files.h),
//     looked up by their exact name (any letter case);
//   - list.html, the message list: ten valid changeable messages a page as
//     links to message.html?run=N with their text (HTML-escaped), and a form
//     of paging buttons. The page comes from the query "page=P": a value that
//     is not a number is page 0, and a page past the last is the last.
// As a peripheral it stands in the peripheral list, always VALID, and does
// nothing more.
#pragma once

#include "runtime/peripheral.h"
#include "web/builtin_files.h"
#include "web/page_store.h"
#include "web/web_tags.h"

#include <cstddef>
#include <cstdint>

class CFile_Manager : public CPeripheral {
  public:
    static constexpr uint32_t BUFFER_BYTES = 0x40000;
    static constexpr unsigned MESSAGES = 550; // changeable message rows
    static constexpr unsigned PER_PAGE = 10;  // list entries a page
    static const char* const LIST_PAGE;       // "list.html"

    CFile_Manager();
    // Reports the object valid.
    void Poll() override;

    // Produces the file `name` into `store`: a built-in file, or list.html at
    // the page `query` names (none: the first). -> 0 when no buffer could be
    // had, else 1 (also when nothing was produced).
    static int Serve(CWebPageStore& store, const char* name, const web_key_value* query);
    // Builds the file `name` into `out` (`size` bytes). -> 1 built (its length
    // in *length), 0 for a name it does not know or a file that does not
    // inflate.
    static int BuildPage(const char* name, const web_key_value* query, char* out, uint32_t size,
                         uint32_t* length);
    // Inflates one built-in file into `out`. -> false (with a console line)
    // when its stream does not inflate into `size` bytes.
    static bool Inflate(const builtin_file& file, char* out, uint32_t size, uint32_t* length);
    // The rows (0-549) of the changeable messages the list shows, in row
    // order: the valid ones, less those holding "[ms11,g," on a sign of type
    // 4 or 132. `list` holds MESSAGES entries.
    static void CollectListMessages(uint16_t* list, unsigned* count);
    // Appends the paging form of page `current` of `count` to `out`, the form
    // and each button only when it fits in `remaining` bytes (its NUL included).
    // -> the bytes appended.
    static size_t BuildPagingButtons(unsigned current, unsigned count, char* out, size_t remaining);

    // Factory entries.
    static const char* IdToName(uint16_t id);
    static uint16_t NameToId(const char* name);
};
