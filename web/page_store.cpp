// The web's page store over blocks of the general-purpose buffer pool.
#include "web/page_store.h"

#include "runtime/gp_buffer.h"
#include "runtime/utilities.h"

#include <cstring>

namespace {

struct kept_name {
    const char* name;
    bool served;
};
const kept_name KEPT_NAMES[] = {
    {"index.html", true},    {"message.html", true},   {"diag.html", true},
    {"view.html", true},     {"quick.html", true},     {"list.html", true},
    {"halvstyle.css", true}, {"preindex.html", false}, {"premessage.html", false},
    {"prediag.html", false}, {"preview.html", false},  {"prequick.html", false},
};

UINT file_size(void* context, const char* name, ULONG* size) {
    auto* store = static_cast<CWebPageStore*>(context);
    const uint8_t* bytes = nullptr;
    uint32_t length = 0;
    if (!CWebPageStore::Served(name) || !store->Find(name, &bytes, &length))
        return NX_HTTP_NOT_FOUND;
    *size = length;
    return NX_SUCCESS;
}

UINT file_read(void* context, const char* name, ULONG offset, uint8_t* buffer, ULONG count,
               ULONG* actual) {
    auto* store = static_cast<CWebPageStore*>(context);
    const uint8_t* bytes = nullptr;
    uint32_t length = 0;
    *actual = 0;
    if (!CWebPageStore::Served(name) || !store->Find(name, &bytes, &length))
        return NX_HTTP_NOT_FOUND;
    if (offset >= length) return NX_HTTP_DATA_END;
    ULONG n = count < length - offset ? count : length - offset;
    std::memcpy(buffer, bytes + offset, n);
    *actual = n;
    return NX_SUCCESS;
}

} // namespace

static_assert(sizeof KEPT_NAMES / sizeof KEPT_NAMES[0] == 12, "one entry per kept name");

int CWebPageStore::IndexOf(const char* name) {
    if (!name) return -1;
    for (int i = 0; i < int(sizeof KEPT_NAMES / sizeof KEPT_NAMES[0]); i++)
        if (util_stricmp(name, KEPT_NAMES[i].name) == 0) return i;
    return -1;
}

bool CWebPageStore::Served(const char* name) {
    int i = IndexOf(name);
    return i >= 0 && KEPT_NAMES[i].served;
}

bool CWebPageStore::Kept(const char* name) {
    return IndexOf(name) >= 0;
}

bool CWebPageStore::Put(const char* name, const void* bytes, uint32_t length) {
    int i = IndexOf(name);
    if (i < 0 || (length && !bytes)) return false;
    void* block = nullptr;
    if (!TheGPBuffer().Allocate(&block, length ? length : 1)) return false;
    if (length) std::memcpy(block, bytes, length);
    Remove(name);
    entries_[i] = entry{static_cast<uint8_t*>(block), length, true};
    return true;
}

bool CWebPageStore::Find(const char* name, const uint8_t** bytes, uint32_t* length) const {
    int i = IndexOf(name);
    if (i < 0 || !entries_[i].held) return false;
    *bytes = entries_[i].bytes;
    *length = entries_[i].length;
    return true;
}

void CWebPageStore::Remove(const char* name) {
    int i = IndexOf(name);
    if (i < 0 || !entries_[i].held) return;
    TheGPBuffer().Release(entries_[i].bytes);
    entries_[i] = entry{};
}

const NX_HTTP_FILES& CWebPageStore::Files() {
    files_ = NX_HTTP_FILES{this, file_size, file_read};
    return files_;
}

CWebPageStore& TheWebPageStore() {
    static CWebPageStore store;
    return store;
}
