// The web application: the server's life cycle, its two callbacks, page
// expansion and form posts.
#include "web/web_server.h"

#include "runtime/console.h"
#include "runtime/gp_buffer.h"
#include "runtime/utilities.h"
#include "store/database.h"
#include "store/filesystem.h"
#include "store/objects.h"
#include "web/file_manager.h"
#include "web/page_store.h"
#include "web/web_tags.h"

#include <cstdio>
#include <cstring>

namespace {

const uint32_t WEB_SERVER_FEATURE = 0x02;
const char* const REALM = "Halvenmark";
const char* const TEMPLATE_PREFIX = "pre";
const unsigned PAGE_NAME_BYTES = 64;
const unsigned LIST_PARAMETERS = 10;
const unsigned PARAMETER_BYTES = 30;

// Pages produced from templates; the style sheet and the message list come
// from the file manager.
const char* const TEMPLATE_PAGES[] = {"index.html", "message.html", "diag.html", "view.html",
                                      "quick.html"};
const char* const STYLE_SHEET = "halvstyle.css";
const char* const LIST_PAGE = "list.html";

NX_HTTP_SERVER http_server;
bool server_created = false;
uint8_t server_running = 0;
char password_buffer[50];

bool is_template_page(const char* name) {
    for (const char* page : TEMPLATE_PAGES)
        if (util_stricmp(name, page) == 0) return true;
    return false;
}

// A block of the general-purpose pool, given back when it goes out of scope.
class PoolBlock {
  public:
    PoolBlock() { TheGPBuffer().Allocate(reinterpret_cast<void**>(&bytes_), WEB_PAGE_BLOCK_BYTES); }
    ~PoolBlock() {
        if (bytes_) TheGPBuffer().Release(bytes_);
    }
    PoolBlock(const PoolBlock&) = delete;
    PoolBlock& operator=(const PoolBlock&) = delete;
    char* get() const { return bytes_; }

  private:
    char* bytes_ = nullptr;
};

// A file of the flash file system read whole into `out` (at most size - 1
// bytes, NUL-terminated). -> false when it is not there, cannot be read or
// does not fit.
bool read_flash_file(const char* name, char* out, uint32_t size, uint32_t* length) {
    CFileSystem_Driver& fs = TheFileSystem();
    FS_FILE file;
    if (fs.OpenFile(&TheSystemMedia(), &file, name, FS_FLAG_READ) != FS_OK) return false;
    uint32_t count = 0, extra = 0;
    char probe;
    int rc = fs.ReadFile(&file, out, size - 1, &count);
    bool whole = (rc == FS_OK || rc == FS_END_OF_FILE) &&
                 (count < size - 1 || fs.ReadFile(&file, &probe, 1, &extra) != FS_OK || extra == 0);
    fs.CloseFile(&file);
    if (!whole) return false;
    out[count] = '\0';
    *length = count;
    return true;
}

bool flash_has(const char* name) {
    FS_FILE file;
    if (TheFileSystem().OpenFile(&TheSystemMedia(), &file, name, FS_FLAG_READ) != FS_OK)
        return false;
    TheFileSystem().CloseFile(&file);
    return true;
}

// The template's text into `out`: the flash file wins over the store's copy.
bool load_template(const char* name, char* out, uint32_t size, uint32_t* length) {
    if (read_flash_file(name, out, size, length)) return true;
    const uint8_t* bytes = nullptr;
    uint32_t n = 0;
    if (!TheWebPageStore().Find(name, &bytes, &n) || n >= size) return false;
    std::memcpy(out, bytes, n);
    out[n] = '\0';
    *length = n;
    return true;
}

const char* find_in(const char* text, const char* end, const char* what) {
    size_t n = std::strlen(what);
    for (const char* p = text; p + n <= end; p++)
        if (std::memcmp(p, what, n) == 0) return p;
    return nullptr;
}

// Copies the template into the page with every tag replaced. -> false when
// the page does not fit its block.
bool expand(const char* in, uint32_t length, char* page, uint32_t size, size_t* used) {
    static web_tag tag; // the server thread's one record (2 KB kept off its stack)
    const char* end = in + length;
    *used = 0;
    page[0] = '\0';
    for (const char* p = in; p < end;) {
        const char* open = find_in(p, end, "$%");
        const char* stop = open ? open : end;
        if (*used + size_t(stop - p) >= size) return false;
        std::memcpy(page + *used, p, size_t(stop - p));
        *used += size_t(stop - p);
        page[*used] = '\0';
        if (!open) break;
        std::memset(&tag, 0, sizeof tag);
        const char* text = open + 2;
        web_resolve_tag(text, size_t(end - text), &tag);
        if (!web_write_tag(tag, page, size, used)) return false;
        const char* close = find_in(text, end, "#$");
        p = close ? close + 2 : end;
    }
    return true;
}

// The style sheet: a copy in flash wins over the built-in one.
void produce_style_sheet() {
    PoolBlock block;
    uint32_t length = 0;
    if (block.get() && read_flash_file(STYLE_SHEET, block.get(), WEB_PAGE_BLOCK_BYTES, &length))
        TheWebPageStore().Put(STYLE_SHEET, block.get(), length);
    else
        CFile_Manager::Serve(TheWebPageStore(), STYLE_SHEET, nullptr);
}

// The page name of a resource: without its leading '/', "/" being
// index.html. -> false when it does not fit.
bool page_name_of(const char* resource, char* name, size_t size) {
    const char* page = std::strcmp(resource, "/") == 0 ? "index.html"
                       : resource[0] == '/'            ? resource + 1
                                                       : resource;
    if (std::strlen(page) + 1 > size) return false;
    std::strcpy(name, page);
    return true;
}

void post_list(NX_HTTP_REQUEST* request) {
    web_key_value pairs[LIST_PARAMETERS];
    std::memset(pairs, 0, sizeof pairs);
    for (UINT n = 0; n < LIST_PARAMETERS; n++) {
        char parameter[PARAMETER_BYTES];
        if (nx_http_server_param_get(request, n, parameter, sizeof parameter) != NX_SUCCESS)
            continue;
        web_split_key_value(parameter, std::strlen(parameter), &pairs[n]);
        trace_printf("Found key=%s, value=%s\n", pairs[n].key, pairs[n].value);
    }
    CFile_Manager::Serve(TheWebPageStore(), LIST_PAGE, &pairs[0]);
}

const uint32_t CONTROL_MODE_LOCAL = 2;
const UINT STATUS_REFUSED_LOCAL = 403;

// The body (at most WEB_BODY_BYTES) into its fields. -> 0, or the refusing status.
UINT post_body(NX_HTTP_SERVER* server, NX_HTTP_REQUEST* request) {
    ULONG length = nx_http_server_content_length_get(request);
    if (length == 0) return 0;
    if (length > WEB_BODY_BYTES) return 413;
    char body[WEB_BODY_BYTES + 1];
    std::memset(body, 0, sizeof body);
    ULONG offset = 0, actual = 0;
    while (offset < WEB_BODY_BYTES &&
           nx_http_server_content_get(server, request, offset, body + offset,
                                      WEB_BODY_BYTES - offset, &actual) == NX_SUCCESS &&
           actual > 0)
        offset += actual;
    // The server refuses what the pages refuse: in local control the panel
    // has the sign, and nothing of such a post is written.
    if (db_get(obj::dmsControlMode) == CONTROL_MODE_LOCAL && web_post_needs_central(body, offset)) {
        console_printf("web: post refused, sign in local mode\n");
        return STATUS_REFUSED_LOCAL;
    }
    web_post_fields(body, offset);
    return 0;
}

UINT answer_status(NX_HTTP_SERVER* server, int status) {
    if (status == 0) return NX_SUCCESS;
    nx_http_server_response_status_send(server, UINT(status));
    return NX_HTTP_CALLBACK_COMPLETED;
}

UINT post(NX_HTTP_SERVER* server, char* resource, NX_HTTP_REQUEST* request) {
    trace_printf("--Post Request\n");
    if (util_stricmp(resource, "/list.html") == 0) {
        post_list(request);
        return NX_SUCCESS;
    }
    char page[PAGE_NAME_BYTES];
    if (!page_name_of(resource, page, sizeof page) || !is_template_page(page))
        return answer_status(server, 404); // nothing is written for a page that is not there
    UINT refused = post_body(server, request);
    if (refused) return answer_status(server, int(refused));
    return answer_status(server, web_get_page(resource, NX_HTTP_MAX_RESOURCE));
}

} // namespace

void web_server_create(NX_IP* ip, uint8_t** memory_cursor, NX_PACKET_POOL* pool) {
    UINT rc = nx_http_server_create(&http_server, "HTTP Server", ip, &TheWebPageStore().Files(),
                                    *memory_cursor, WEB_SERVER_STACK_BYTES, pool, web_authenticate,
                                    web_request_notify);
    if (rc != NX_SUCCESS) console_printf("nx_http_server_create failed:0x%02X\n", rc);
    server_created = rc == NX_SUCCESS;
    *memory_cursor += WEB_SERVER_STACK_BYTES;
    if (server_created) nx_http_server_port_set(&http_server, db_get(obj::halvHostHttpPort));
    web_server_enable(1); // on the host the pages are served from the start
    uint32_t features = db_get(obj::halvFeatureSet);
    if (features & WEB_SERVER_FEATURE) {
        db_set(obj::halvFeatureSet, features & ~WEB_SERVER_FEATURE, 0);
        web_server_enable(0);
    }
}

void web_server_enable(int on) {
    if (server_created && !server_running && on) {
        UINT rc = nx_http_server_start(&http_server);
        if (rc != NX_SUCCESS) console_printf("nx_http_server_start failed:0x%02X\n", rc);
    }
    if (server_created && server_running && !on) nx_http_server_stop(&http_server);
    server_running = on ? 1 : 0;
}

bool web_server_running() {
    return server_running != 0;
}

UINT web_authenticate(NX_HTTP_SERVER*, UINT, char*, const char** name, const char** password,
                      const char** realm) {
    std::memset(password_buffer, 0, sizeof password_buffer);
    uint32_t length = 0;
    db_get_string_copy(obj::communityNameAdmin, password_buffer, sizeof password_buffer - 1,
                       &length);
    password_buffer[sizeof password_buffer - 1] = '\0';
    *name = "";
    *password = password_buffer;
    *realm = REALM;
    return NX_HTTP_BASIC_AUTHENTICATE;
}

UINT web_request_notify(NX_HTTP_SERVER* server, UINT request_type, char* resource,
                        NX_HTTP_REQUEST* request) {
    if (request_type == NX_HTTP_SERVER_GET_REQUEST)
        return answer_status(server, web_get_page(resource, NX_HTTP_MAX_RESOURCE));
    if (request_type == NX_HTTP_SERVER_POST_REQUEST) return post(server, resource, request);
    return NX_SUCCESS;
}

bool web_ensure_template(const char* name) {
    const uint8_t* bytes = nullptr;
    uint32_t length = 0;
    if (flash_has(name) || TheWebPageStore().Find(name, &bytes, &length)) return true;
    CFile_Manager::Serve(TheWebPageStore(), name, nullptr);
    return TheWebPageStore().Find(name, &bytes, &length);
}

int web_get_page(char* resource, size_t size) {
    console_printf("get resource %s\n", resource);
    char page[PAGE_NAME_BYTES];
    if (!page_name_of(resource, page, sizeof page)) return 0;
    if (util_stricmp(page, STYLE_SHEET) == 0 || util_stricmp(page, LIST_PAGE) == 0) {
        trace_printf("Save %s to disk\n", page);
        if (util_stricmp(page, STYLE_SHEET) == 0)
            produce_style_sheet();
        else
            CFile_Manager::Serve(TheWebPageStore(), LIST_PAGE, nullptr);
        return 0;
    }
    str_tolower(page, std::strlen(page));
    if (!is_template_page(page)) return 0; // never looked for: the server finds nothing
    char template_name[PAGE_NAME_BYTES + 4];
    std::snprintf(template_name, sizeof template_name, "%s%s", TEMPLATE_PREFIX, page);
    trace_printf("get resource pre %s  %s\n", template_name, page);
    if (!web_ensure_template(template_name)) return 0;
    PoolBlock in, out;
    uint32_t length = 0;
    if (!in.get() || !out.get() ||
        !load_template(template_name, in.get(), WEB_PAGE_BLOCK_BYTES, &length))
        return 0;
    size_t used = 0;
    if (!expand(in.get(), length, out.get(), WEB_PAGE_BLOCK_BYTES, &used)) {
        console_printf("page %s does not fit %u bytes\n", page, unsigned(WEB_PAGE_BLOCK_BYTES));
        return 500;
    }
    trace_printf("Add the file  size %d\n", int(used));
    if (!TheWebPageStore().Put(page, out.get(), uint32_t(used))) return 0;
    std::snprintf(resource, size, "/%s", page);
    return 0;
}
