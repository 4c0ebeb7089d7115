// Bitmap files in flash that messages show through the private graphic tag
// "[ms11,g,x,y,name]". A file stays while a valid message of any memory
// type (permanent, changeable or volatile) names it; the clean-ups after a
// message changed and after a memory clear delete the others. A tag names a
// file when its name, with or without the "Bitmaps/" directory, starts with
// the file's name without it (the renderer looks a name up as given, then
// under "Bitmaps/").
//
// Every scan is bounded by the text's length and the tag's closing bracket,
// and files are deleted only after the walk over the files is over. The
// scans share one text buffer under the display lock.
#include "display/display_task.h"

#include "runtime/console.h"
#include "store/database.h"
#include "store/objects.h"

#include <cstdio>
#include <cstring>

namespace {

const char BITMAP_DIRECTORY[] = "Bitmaps/";
const char BITMAP_DIRECTORY_PATH[] = "./Bitmaps/";
const uint32_t DIRECTORY_LENGTH = sizeof BITMAP_DIRECTORY - 1;
const unsigned DOOMED_PER_PASS = 32;
const unsigned MAX_PASSES = 16;

// The message rows searched for each memory type, in order.
struct searched_rows {
    uint32_t memory_type;
    DbObject status, multi;
    unsigned first, end;
};
const searched_rows SEARCHED[] = {
    {MSG_MEMORY_PERMANENT, obj::permanentMsgStatus, obj::permanentMsgMultiString, 0,
     BUILT_IN_PERMANENT_MESSAGES},
    {MSG_MEMORY_PERMANENT, obj::changeableMsgStatus, obj::changeableMsgMultiString, CHANGEABLE_ROWS,
     CHANGEABLE_STORAGE_ROWS},
    {MSG_MEMORY_CHANGEABLE, obj::changeableMsgStatus, obj::changeableMsgMultiString, 0,
     CHANGEABLE_ROWS},
    {MSG_MEMORY_VOLATILE, obj::volatileMsgStatus, obj::volatileMsgMultiString, 0, VOLATILE_ROWS},
};
const uint32_t SEARCHED_TYPES[] = {MSG_MEMORY_PERMANENT, MSG_MEMORY_CHANGEABLE,
                                   MSG_MEMORY_VOLATILE};

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// A name without a leading "Bitmaps/".
const char* without_directory(const char* name, uint32_t* length) {
    if (*length >= DIRECTORY_LENGTH &&
        std::strncmp(name, BITMAP_DIRECTORY, DIRECTORY_LENGTH) == 0) {
        *length -= DIRECTORY_LENGTH;
        return name + DIRECTORY_LENGTH;
    }
    return name;
}

// Reads a graphic tag whose body starts at `at` (after "["), up to `close`
// (its "]" or the text's end). -> the position of its name, or -1.
int32_t graphic_name(const char* text, uint32_t at, uint32_t close) {
    if (close - at < 2 || lower(text[at]) != 'm' || lower(text[at + 1]) != 's') return -1;
    at += 2;
    uint32_t number = 0;
    while (at < close && text[at] >= '0' && text[at] <= '9' && number < 1000)
        number = number * 10 + uint32_t(text[at++] - '0');
    if (number != 11) return -1;
    if (at < close && text[at] == ',') ++at;
    if (at >= close || lower(text[at]) != 'g') return -1;
    ++at;
    if (at < close && lower(text[at]) == 'p') return -1; // "gpo": an output, not a graphic
    for (int comma = 0; comma < 3; ++comma) {            // "g," and the two fields
        while (at < close && text[at] != ',')
            ++at;
        if (at >= close) return -1;
        ++at;
    }
    return int32_t(at);
}

// The names of files to delete once a walk is over.
struct doomed_files {
    char names[DOOMED_PER_PASS][FS_PATH_MAX + 1];
    unsigned count = 0;
    bool more = false; // a further file waits for the next pass
    void Add(const char* directory, const char* name) {
        if (count == DOOMED_PER_PASS) {
            more = true;
            return;
        }
        const int n = std::snprintf(names[count], sizeof names[count], "%s%s", directory, name);
        if (n > 0 && size_t(n) < sizeof names[count]) ++count;
    }
    void DeleteAll(CFileSystem_Driver& driver, FS_MEDIA* media) {
        for (unsigned i = 0; i < count; ++i) {
            trace_printf("    removing unused bitmap:%s\n", names[i]);
            driver.DeleteFile(media, names[i]); // a failure is retried by the next clean-up
        }
    }
};

bool referenced_by_any_message(const char* name) {
    for (uint32_t type : SEARCHED_TYPES)
        if (CDisplay::IsBitmapReferenced(type, name)) return true;
    return false;
}

bool is_bitmap_file(const char* name) {
    const char* dot = std::strrchr(name, '.');
    return dot && std::strncmp(dot, ".bmp", 4) == 0;
}

} // namespace

int32_t CDisplay::FindGraphicTag(const char* text, uint32_t length, uint32_t from,
                                 uint32_t* name_length) {
    if (!text) return -1;
    for (uint32_t i = from; i < length; ++i) {
        if (text[i] != '[') continue;
        if (i + 1 < length && text[i + 1] == '[') { // an escaped bracket
            ++i;
            continue;
        }
        uint32_t close = i + 1;
        while (close < length && text[close] != ']')
            ++close;
        const int32_t name = graphic_name(text, i + 1, close);
        if (name >= 0) {
            if (name_length) *name_length = close - uint32_t(name);
            return name;
        }
        i = close;
    }
    return -1;
}

bool CDisplay::IsBitmapReferenced(uint32_t memory_type, const char* name) {
    static char text[MULTI_MAX_TEXT + 1];
    if (!name) return false;
    uint32_t file_length = uint32_t(std::strlen(name));
    const char* file = without_directory(name, &file_length);
    if (file_length == 0) return false;
    display_guard guard(TheDisplay().Lock());
    for (const searched_rows& rows : SEARCHED) {
        if (rows.memory_type != memory_type) continue;
        for (unsigned row = rows.first; row < rows.end; ++row) {
            if (db_get(rows.status.row(row)) != MSG_STATUS_VALID) continue;
            uint32_t length = db_get_string_copy(rows.multi.row(row), text, sizeof text);
            uint32_t tag_length = 0;
            for (int32_t at = FindGraphicTag(text, length, 0, &tag_length); at >= 0;
                 at = FindGraphicTag(text, length, uint32_t(at) + 1, &tag_length)) {
                const char* tag = without_directory(text + at, &tag_length);
                if (tag_length >= file_length && std::strncmp(tag, file, file_length) == 0)
                    return true;
            }
        }
    }
    return false;
}

int CDisplay::PurgeBitmapDirectory(CFileSystem_Driver& driver, FS_MEDIA* media) {
    static FS_LOCAL_PATH record;
    static doomed_files doomed;
    char name[FS_PATH_MAX + 1];
    display_guard guard(TheDisplay().Lock());
    int result = FS_OK;
    for (unsigned pass = 0; pass < MAX_PASSES; ++pass) {
        result = driver.SetLocalPath(media, &record, BITMAP_DIRECTORY_PATH);
        if (result != FS_OK) return result;
        doomed.count = 0;
        doomed.more = false;
        for (int rc = driver.FirstEntry(media, name); rc == FS_OK;
             rc = driver.NextEntry(media, name)) {
            if (std::strstr(name, ".bmp") && !referenced_by_any_message(name))
                doomed.Add(BITMAP_DIRECTORY, name);
        }
        result = driver.ClearLocalPath(media);
        doomed.DeleteAll(driver, media);
        if (!doomed.more) break;
    }
    return result;
}

void CDisplay::RemoveUnusedBitmaps() {
    static doomed_files doomed;
    display_guard guard(TheDisplay().Lock());
    for (unsigned pass = 0; pass < MAX_PASSES; ++pass) {
        doomed.count = 0;
        doomed.more = false;
        for (TFSHDR* h = mon_tfsnext(nullptr); h; h = mon_tfsnext(h)) {
            const char* name = tfs_file_name(h);
            if (is_bitmap_file(name) && !referenced_by_any_message(name)) doomed.Add("", name);
        }
        doomed.DeleteAll(TheFileSystem(), &TheSystemMedia());
        if (!doomed.more) break;
    }
}
