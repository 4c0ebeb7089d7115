// The file-system driver over the boot monitor's flash file system, its path
// helpers and the file functions of the HTTP server.
#include "store/filesystem.h"

#include "runtime/gp_buffer.h"
#include "runtime/watchdog_task.h"

#include <cstring>

namespace {

struct FlagPair {
    uint32_t driver;
    uint32_t tfs;
    char letter; // 0: not a flag of a whole-file write
};

// In the order of the whole-file write's letters.
const FlagPair kFlags[] = {
    {FS_FLAG_P, TFS_FLAG_P, 'p'},
    {FS_FLAG_EXEC, TFS_FLAG_EXEC, 'e'},
    {FS_FLAG_EXEC_BIN, TFS_FLAG_EXEC_BIN, 'E'},
    {FS_FLAG_L, TFS_FLAG_L, 'l'},
    {FS_FLAG_BRUN, TFS_FLAG_BRUN, 'b'},
    {FS_FLAG_IN_PLACE, TFS_FLAG_IPMOD, 'i'},
    {FS_FLAG_C, TFS_FLAG_C, 'c'},
    {FS_FLAG_MEMORY_READ, TFS_FLAG_V, 'v'},
    {FS_FLAG_READ, TFS_RDONLY, 0},
    {FS_FLAG_WRITE, TFS_APPEND, 0},
};

const uint32_t kMinFileBuffer = 16;

const char* thread_name() {
    if (tx_in_non_thread_context()) return nullptr;
    TX_THREAD* t = tx_thread_identify();
    return t ? t->name : nullptr;
}

bool same_name(const char* a, const char* b) {
    return a && b && std::strcmp(a, b) == 0;
}

// The media mutex, taken without waiting; start-up code runs alone and
// passes without it.
class MediaLock {
  public:
    explicit MediaLock(FS_MEDIA* media) : media_(media) {
        if (tx_in_non_thread_context()) {
            ok_ = true;
            return;
        }
        held_ = ok_ = tx_mutex_get(&media->mutex, TX_NO_WAIT) == TX_SUCCESS;
    }
    ~MediaLock() {
        if (held_) tx_mutex_put(&media_->mutex);
    }
    MediaLock(const MediaLock&) = delete;
    MediaLock& operator=(const MediaLock&) = delete;
    bool ok() const { return ok_; }

  private:
    FS_MEDIA* media_;
    bool held_ = false;
    bool ok_ = false;
};

bool media_open(const FS_MEDIA* media) {
    return media && media->id == FS_MEDIA_ID;
}
bool file_open(const FS_FILE* file) {
    return file && file->id == FS_FILE_ID && media_open(file->media);
}

uint8_t* take_buffer(FS_MEDIA* media) {
    void* block = nullptr;
    uint32_t size = media->buffer_size > kMinFileBuffer ? media->buffer_size : kMinFileBuffer;
    TheGPBuffer().Allocate(&block, size);
    return static_cast<uint8_t*>(block);
}

void give_buffer(FS_FILE* file) {
    if (file->buffer) TheGPBuffer().Release(file->buffer);
    file->buffer = nullptr;
}

// Result of a file-system call on an open file.
int map_io(int rc) {
    switch (rc) {
    case TFSERR_WRITEFULL:
        return FS_NO_ROOM;
    case TFSERR_RDONLY:
        return FS_NOT_PERMITTED;
    case TFSERR_BADARG:
        return FS_BAD_ARGUMENT;
    default:
        return rc >= 0 ? FS_OK : FS_ERROR;
    }
}

int map_add(int rc) {
    switch (rc) {
    case 0:
        return FS_OK;
    case TFSERR_FILEEXISTS:
        return FS_EXISTS;
    case TFSERR_BADARG:
        return FS_BAD_ARGUMENT;
    case TFSERR_CORRUPT:
        return FS_CORRUPT;
    case TFSERR_FLASHFULL:
        return FS_NO_ROOM;
    default:
        return FS_ERROR;
    }
}

// Copies with every `from` turned into `to`; false when it does not fit.
bool copy_replacing(const char* in, char* out, size_t size, char from, char to) {
    size_t n = std::strlen(in);
    if (n >= size) return false;
    for (size_t i = 0; i <= n; ++i)
        out[i] = in[i] == from ? to : in[i];
    return true;
}

} // namespace

// ---- flags and paths -------------------------------------------------------------

uint32_t fs_driver_flags(uint32_t tfs_flags) {
    uint32_t out = 0;
    for (const FlagPair& f : kFlags)
        if (tfs_flags & f.tfs) out |= f.driver;
    return out;
}

uint32_t fs_tfs_flags(uint32_t driver_flags) {
    uint32_t out = 0;
    for (const FlagPair& f : kFlags)
        if (driver_flags & f.driver) out |= f.tfs;
    return out;
}

void fs_flag_letters(uint32_t driver_flags, char* out) {
    for (const FlagPair& f : kFlags)
        if (f.letter && (driver_flags & f.driver)) *out++ = f.letter;
    *out = 0;
}

int fs_path_to_tfs(const char* path, char* out, unsigned size) {
    if (!path || !out || !copy_replacing(path, out, size, '/', '\\')) return FS_NAME_TOO_LONG;
    char* last = std::strrchr(out, '\\');
    if (!last) {
        out[0] = 0;
        return FS_NO_DIRECTORY;
    }
    last[1] = 0;
    return FS_OK;
}

int fs_basename(const char* path, char* out, unsigned size) {
    if (!path || !out) return FS_NAME_TOO_LONG;
    const char* a = std::strrchr(path, '\\');
    const char* b = std::strrchr(path, '/');
    const char* last = a > b ? a : b;
    const char* base = last ? last + 1 : path;
    if (std::strlen(base) >= size) return FS_NAME_TOO_LONG;
    std::strcpy(out, base);
    return FS_OK;
}

int fs_current_directory(FS_MEDIA* media, FS_LOCAL_PATH** record, unsigned mode) {
    if (!media || !record) return FS_NOT_FOUND;
    if (mode & 1) {
        const char* name = thread_name();
        for (FS_LOCAL_PATH* r = media->paths; r; r = r->next)
            if (same_name(r->thread_name, name)) {
                *record = r;
                return FS_OK;
            }
    }
    if (mode & 2) {
        *record = &media->default_path;
        return FS_OK;
    }
    return FS_NOT_FOUND;
}

// ---- the base driver ---------------------------------------------------------------

int CFileSystem_Driver::WriteFile(FS_MEDIA*, uint32_t, const char*, uint32_t, const void*,
                                  uint32_t) {
    return 0;
}
int CFileSystem_Driver::ReadAttributes(FS_MEDIA*, const char*, uint32_t*) {
    return 0;
}
int CFileSystem_Driver::Unsupported(FS_MEDIA*) {
    return 0;
}
int CFileSystem_Driver::CreateFile(FS_MEDIA*, FS_FILE*, const char*, uint32_t) {
    return 0;
}
int CFileSystem_Driver::DeleteFile(FS_MEDIA*, const char*) {
    return 0;
}
int CFileSystem_Driver::OpenFile(FS_MEDIA*, FS_FILE*, const char*, uint32_t) {
    return 0;
}
int CFileSystem_Driver::CloseFile(FS_FILE*) {
    return 0;
}
int CFileSystem_Driver::SeekFile(FS_FILE*, uint32_t) {
    return 0;
}
int CFileSystem_Driver::ReadFile(FS_FILE*, void*, uint32_t, uint32_t*) {
    return 0;
}
int CFileSystem_Driver::WriteOpenFile(FS_FILE*, const void*, uint32_t) {
    return 0;
}
int CFileSystem_Driver::ClearLocalPath(FS_MEDIA*) {
    return 0;
}
int CFileSystem_Driver::GetLocalPath(FS_MEDIA*, char**) {
    return 0;
}
int CFileSystem_Driver::SetLocalPath(FS_MEDIA*, FS_LOCAL_PATH*, const char*) {
    return 0;
}
int CFileSystem_Driver::FirstEntry(FS_MEDIA*, char*) {
    return 0;
}
int CFileSystem_Driver::FirstFullEntry(FS_MEDIA*, char*, uint32_t*, uint32_t*, uint32_t*, uint32_t*,
                                       uint32_t*) {
    return 0;
}
int CFileSystem_Driver::NextEntry(FS_MEDIA*, char*) {
    return 0;
}
int CFileSystem_Driver::NextDirEntry(FS_MEDIA*, char*, uint32_t*, uint32_t*, uint32_t*, uint32_t*,
                                     uint32_t*) {
    return 0;
}
int CFileSystem_Driver::OpenMedia(FS_MEDIA*, const char*) {
    return 0;
}
int CFileSystem_Driver::CloseMedia(FS_MEDIA*) {
    return 0;
}
int CFileSystem_Driver::GetSpace(FS_MEDIA*, uint32_t* free_bytes, uint32_t* total_bytes) {
    if (free_bytes) *free_bytes = 0x7FFFFFFF;
    if (total_bytes) *total_bytes = 0x7FFFFFFF;
    return 0;
}
int CFileSystem_Driver::RestartForDefrag(FS_MEDIA*) {
    return 0;
}

int CFileSystem_Driver::SetFileBufferSize(FS_MEDIA* media, uint32_t size) {
    if (!media_open(media)) return FS_NOT_OPEN_MEDIA;
    media->buffer_size = size;
    return FS_OK;
}

int CFileSystem_Driver::GetFileBufferSize(FS_MEDIA* media, uint32_t* size) {
    if (!media_open(media)) return FS_NOT_OPEN_MEDIA;
    if (size) *size = media->buffer_size;
    return FS_OK;
}

// A file of the current directory by name: the name's file part is compared
// with each entry's, from the first full entry on.
int CFileSystem_Driver::DirectoryInformation(FS_MEDIA* media, const char* name,
                                             uint32_t* attributes, uint32_t* size, uint32_t* time1,
                                             uint32_t* time2, uint32_t* time3) {
    if (!media_open(media)) return FS_NOT_OPEN_MEDIA;
    if (!name) return FS_NOT_FOUND;
    char dir[FS_PATH_MAX + 1], wanted[FS_PATH_MAX + 1], entry[TFS_NAMESIZE + 1];
    if (std::strlen(name) > FS_PATH_MAX) return FS_NAME_TOO_LONG;
    if (fs_path_to_tfs(name, dir, sizeof dir) == FS_OK) {
        FS_LOCAL_PATH* record = nullptr;
        if (fs_current_directory(media, &record, 3) != FS_OK) return FS_MEDIA_FAILURE;
        if (std::strcmp(dir, record->path) != 0) return FS_BAD_ARGUMENT;
    }
    fs_basename(name, wanted, sizeof wanted);
    int rc = FirstFullEntry(media, entry, attributes, size, time1, time2, time3);
    while (rc == FS_OK) {
        if (std::strcmp(entry, wanted) == 0) return FS_OK;
        rc = NextDirEntry(media, entry, attributes, size, time1, time2, time3);
    }
    return rc;
}

// ---- the TFS driver -----------------------------------------------------------------

int CFileSystem_DriverTFS::WriteFile(FS_MEDIA* media, uint32_t, const char* name, uint32_t flags,
                                     const void* bytes, uint32_t length) {
    if (!media_open(media)) return FS_NOT_OPEN_MEDIA;
    if (!name) return FS_BAD_ARGUMENT;
    char letters[16];
    fs_flag_letters(flags, letters);
    MediaLock lock(media);
    if (!lock.ok()) return FS_BUSY;
    long free_bytes = mon_tfsctrl(TFS_CTRL_FREESPACE, 0, 0);
    if (free_bytes < long(length)) {
        // A restart defragments the flash: worth it only when the deleted
        // space makes up the rest, else it would restart again and again.
        long dead = mon_tfsctrl(TFS_CTRL_DEADSPACE, 0, 0);
        if (free_bytes >= 0 && dead >= 0 && free_bytes + dead >= long(length)) defrag_reset();
        return FS_NO_ROOM;
    }
    FS_LOCAL_PATH* record = nullptr;
    fs_current_directory(media, &record, 3);
    char path[FS_PATH_MAX + 1];
    if (!copy_replacing(record->path, path, sizeof path, '\\', '/') ||
        std::strlen(path) + std::strlen(name) > FS_PATH_MAX)
        return FS_NAME_TOO_LONG;
    std::strcat(path, name);
    int rc = mon_tfsadd(path, "", letters, static_cast<const unsigned char*>(bytes), int(length));
    if (media->watchdog_hook)
        mon_wdtctrl(media->watchdog_hook() ? MON_WDT_ENABLE : MON_WDT_DISABLE);
    return map_add(rc);
}

int CFileSystem_DriverTFS::ReadAttributes(FS_MEDIA* media, const char* name, uint32_t* attributes) {
    if (!media_open(media)) return FS_NOT_OPEN_MEDIA;
    MediaLock lock(media);
    if (!lock.ok()) return FS_BUSY;
    TFSHDR* h = name ? mon_tfsstat(name) : nullptr;
    if (!h) return FS_NOT_FOUND;
    if (attributes) *attributes = fs_driver_flags(tfs_file_flags(h));
    return FS_OK;
}

int CFileSystem_DriverTFS::Unsupported(FS_MEDIA*) {
    return FS_MEDIA_FAILURE;
}

int CFileSystem_DriverTFS::CreateFile(FS_MEDIA* media, FS_FILE* file, const char* name,
                                      uint32_t mode) {
    if (!media_open(media)) return FS_NOT_OPEN_MEDIA;
    if (!file || !name) return FS_BAD_ARGUMENT;
    if (std::strlen(name) > FS_PATH_MAX) return FS_NAME_TOO_LONG;
    MediaLock lock(media);
    if (!lock.ok()) return FS_BUSY;
    if (mon_tfsstat(name)) {
        give_buffer(file);
        return FS_EXISTS;
    }
    file->mode = mode;
    if (mode & FS_FLAG_IN_PLACE) return FS_BAD_ARGUMENT;
    file->buffer = take_buffer(media);
    if (!file->buffer) return FS_NO_BUFFER;
    int fd = mon_tfsopen(name, long(fs_tfs_flags(mode) | TFS_CREATE),
                         reinterpret_cast<char*>(file->buffer));
    if (fd < 0) {
        give_buffer(file);
        return FS_NO_ROOM;
    }
    file->fd = fd;
    file->media = media;
    return FS_OK;
}

int CFileSystem_DriverTFS::DeleteFile(FS_MEDIA* media, const char* name) {
    if (!media_open(media)) return FS_NOT_OPEN_MEDIA;
    MediaLock lock(media);
    if (!lock.ok()) return FS_BUSY;
    int rc = name ? mon_tfsunlink(name) : TFSERR_NOFILE;
    if (rc == 0) return FS_OK;
    return rc == TFSERR_NOFILE ? FS_NOT_FOUND : FS_NOT_PERMITTED;
}

int CFileSystem_DriverTFS::OpenFile(FS_MEDIA* media, FS_FILE* file, const char* name,
                                    uint32_t flags) {
    if (!media_open(media)) return FS_NOT_OPEN_MEDIA;
    if (!file || !name) return FS_BAD_ARGUMENT;
    if (std::strlen(name) > FS_PATH_MAX) return FS_NAME_TOO_LONG;
    MediaLock lock(media);
    if (!lock.ok()) return FS_BUSY;
    if (file->id == FS_FILE_ID) return FS_ALREADY_OPEN;
    if (!file->buffer) {
        file->buffer = take_buffer(media);
        if (!file->buffer) return FS_NO_BUFFER;
        long mode =
            (flags & FS_FLAG_MEMORY_READ) ? long(FS_FLAG_MEMORY_READ) : long(fs_tfs_flags(flags));
        file->fd = mon_tfsopen(name, mode, reinterpret_cast<char*>(file->buffer));
        if (file->fd >= 0) file->mode = 0;
    }
    if (file->fd < 0) {
        give_buffer(file);
        return FS_NOT_FOUND;
    }
    file->header = mon_tfsstat(name);
    file->name = name;
    file->id = FS_FILE_ID;
    file->mode |= flags;
    file->media = media;
    file->position = 0;
    return FS_OK;
}

int CFileSystem_DriverTFS::CloseFile(FS_FILE* file) {
    if (!file_open(file)) return FS_NOT_OPEN_FILE;
    MediaLock lock(file->media);
    if (!lock.ok()) return FS_BUSY;
    int rc = mon_tfsclose(file->fd, nullptr);
    give_buffer(file);
    *file = FS_FILE();
    if (rc == 0) return FS_OK;
    return rc == TFSERR_BADARG ? FS_BAD_ARGUMENT : FS_ERROR;
}

int CFileSystem_DriverTFS::SeekFile(FS_FILE* file, uint32_t offset) {
    if (!file_open(file)) return FS_NOT_OPEN_FILE;
    MediaLock lock(file->media);
    if (!lock.ok()) return FS_BUSY;
    file->position = offset;
    int rc = mon_tfsseek(file->fd, int(offset), TFS_BEGIN);
    if (rc >= 0 && uint32_t(rc) == offset) return FS_OK;
    return rc == TFSERR_EOF ? FS_END_OF_FILE : FS_ERROR;
}

int CFileSystem_DriverTFS::ReadFile(FS_FILE* file, void* buffer, uint32_t count, uint32_t* actual) {
    if (!file_open(file)) return FS_NOT_OPEN_FILE;
    if (!(file->mode & FS_FLAG_READ)) return FS_NOT_PERMITTED;
    if (!buffer) return FS_BAD_ARGUMENT;
    MediaLock lock(file->media);
    if (!lock.ok()) return FS_BUSY;
    if (actual) *actual = 0;
    if (file->mode & FS_FLAG_MEMORY_READ) {
        if (!file->header) return FS_ERROR;
        const uint32_t size = tfs_file_size(file->header);
        if (file->position >= size) return FS_END_OF_FILE;
        uint32_t n = count < size - file->position ? count : size - file->position;
        std::memcpy(buffer, tfs_file_data(file->header) + file->position, n);
        file->position += n;
        if (actual) *actual = n;
        return FS_OK;
    }
    int rc = mon_tfsread(file->fd, static_cast<char*>(buffer), int(count));
    if (rc >= 0) {
        file->position += uint32_t(rc);
        if (actual) *actual = uint32_t(rc);
        return FS_OK;
    }
    if (rc == TFSERR_EOF) return FS_END_OF_FILE;
    return rc == TFSERR_BADARG ? FS_BAD_ARGUMENT : FS_ERROR;
}

int CFileSystem_DriverTFS::WriteOpenFile(FS_FILE* file, const void* bytes, uint32_t count) {
    if (!file_open(file)) return FS_NOT_OPEN_FILE;
    if (!(file->mode & FS_FLAG_WRITE)) return FS_NOT_PERMITTED;
    if (!bytes) return FS_BAD_ARGUMENT;
    MediaLock lock(file->media);
    if (!lock.ok()) return FS_BUSY;
    int rc;
    if (file->mode & FS_FLAG_IN_PLACE) {
        rc = mon_tfsipmod(file->name, static_cast<const unsigned char*>(bytes), int(file->position),
                          int(count));
        if (rc == 0) file->position += count;
    } else {
        rc = mon_tfswrite(file->fd, static_cast<const char*>(bytes), int(count));
    }
    return map_io(rc);
}

int CFileSystem_DriverTFS::ClearLocalPath(FS_MEDIA* media) {
    if (!media_open(media)) return FS_NOT_OPEN_MEDIA;
    MediaLock lock(media);
    if (!lock.ok()) return FS_BUSY;
    const char* name = thread_name();
    for (FS_LOCAL_PATH** link = &media->paths; *link; link = &(*link)->next)
        if (same_name((*link)->thread_name, name)) {
            *link = (*link)->next;
            return FS_OK;
        }
    return FS_NOT_FOUND;
}

int CFileSystem_DriverTFS::GetLocalPath(FS_MEDIA* media, char** path) {
    if (!media_open(media)) return FS_NOT_OPEN_MEDIA;
    MediaLock lock(media);
    if (!lock.ok()) return FS_BUSY;
    FS_LOCAL_PATH* record = nullptr;
    if (fs_current_directory(media, &record, 1) != FS_OK) return FS_NOT_FOUND;
    if (path) *path = record->path;
    return FS_OK;
}

int CFileSystem_DriverTFS::SetLocalPath(FS_MEDIA* media, FS_LOCAL_PATH* record, const char* path) {
    if (!media_open(media)) return FS_NOT_OPEN_MEDIA;
    if (!record) return FS_MEDIA_FAILURE;
    if (path && std::strlen(path) > FS_PATH_MAX) return FS_NAME_TOO_LONG;
    MediaLock lock(media);
    if (!lock.ok()) return FS_BUSY;
    record->thread_name = thread_name();
    record->scan = nullptr;
    if (!path) {
        std::strcpy(record->path, media->default_path.path);
    } else {
        if (std::strncmp(path, "./", 2) == 0) path += 2;
        copy_replacing(path, record->path, sizeof record->path, '/', '\\');
    }
    for (FS_LOCAL_PATH* r = media->paths; r; r = r->next)
        if (r == record) return FS_OK;
    record->next = media->paths;
    media->paths = record;
    return FS_OK;
}

int CFileSystem_DriverTFS::FirstEntry(FS_MEDIA* media, char* name) {
    return FirstFullEntry(media, name, nullptr, nullptr, nullptr, nullptr, nullptr);
}

int CFileSystem_DriverTFS::FirstFullEntry(FS_MEDIA* media, char* name, uint32_t* attributes,
                                          uint32_t* size, uint32_t* time1, uint32_t* time2,
                                          uint32_t* time3) {
    if (!media_open(media)) return FS_NOT_OPEN_MEDIA;
    FS_LOCAL_PATH* record = nullptr;
    if (fs_current_directory(media, &record, 3) != FS_OK) return FS_MEDIA_FAILURE;
    record->scan = nullptr;
    return NextDirEntry(media, name, attributes, size, time1, time2, time3);
}

int CFileSystem_DriverTFS::NextEntry(FS_MEDIA* media, char* name) {
    return NextDirEntry(media, name, nullptr, nullptr, nullptr, nullptr, nullptr);
}

// The next file of the current directory: a file whose directory part equals
// the record's path, or, for the root, a file without one. `name` receives
// the file part (at most TFS_NAMESIZE characters and a NUL).
int CFileSystem_DriverTFS::NextDirEntry(FS_MEDIA* media, char* name, uint32_t* attributes,
                                        uint32_t* size, uint32_t* time1, uint32_t* time2,
                                        uint32_t* time3) {
    if (!media_open(media)) return FS_NOT_OPEN_MEDIA;
    MediaLock lock(media);
    if (!lock.ok()) return FS_BUSY;
    FS_LOCAL_PATH* record = nullptr;
    if (fs_current_directory(media, &record, 3) != FS_OK) return FS_MEDIA_FAILURE;
    char dir[FS_PATH_MAX + 1];
    for (TFSHDR* h = mon_tfsnext(record->scan); h; h = mon_tfsnext(h)) {
        record->scan = h;
        int rc = fs_path_to_tfs(tfs_file_name(h), dir, sizeof dir);
        bool belongs = rc == FS_OK ? std::strcmp(dir, record->path) == 0 : record->path[0] == 0;
        if (!belongs) continue;
        if (name) fs_basename(tfs_file_name(h), name, TFS_NAMESIZE + 1);
        if (attributes) *attributes = fs_driver_flags(tfs_file_flags(h));
        if (size) *size = tfs_file_size(h);
        for (uint32_t* t : {time1, time2, time3})
            if (t) *t = tfs_file_time(h);
        return FS_OK;
    }
    return FS_NOT_FOUND;
}

int CFileSystem_DriverTFS::OpenMedia(FS_MEDIA* media, const char* media_name) {
    if (!media) return FS_MEDIA_FAILURE;
    if (media->id == FS_MEDIA_ID) return FS_ALREADY_OPEN;
    if (tx_mutex_create(&media->mutex, "TFS FS Driver", TX_NO_INHERIT) != TX_SUCCESS)
        return FS_MEDIA_FAILURE;
    media->paths = nullptr;
    media->id = FS_MEDIA_ID;
    media->name = media_name;
    media->default_path = FS_LOCAL_PATH();
    return FS_OK;
}

int CFileSystem_DriverTFS::CloseMedia(FS_MEDIA* media) {
    if (!media_open(media)) return FS_MEDIA_FAILURE;
    tx_mutex_delete(&media->mutex);
    media->paths = nullptr;
    media->id = 0;
    media->name = nullptr;
    return FS_OK;
}

int CFileSystem_DriverTFS::GetSpace(FS_MEDIA* media, uint32_t* free_bytes, uint32_t* total_bytes) {
    if (!media_open(media)) return FS_NOT_OPEN_MEDIA;
    MediaLock lock(media);
    if (!lock.ok()) return FS_BUSY;
    long free_space = mon_tfsctrl(TFS_CTRL_FREESPACE, 0, 0);
    long dead = mon_tfsctrl(TFS_CTRL_DEADSPACE, 0, 0);
    if (free_space < 0) free_space = 0;
    if (dead < 0) dead = 0;
    if (free_bytes) *free_bytes = uint32_t(free_space);
    if (total_bytes) *total_bytes = uint32_t(free_space + dead);
    return FS_OK;
}

int CFileSystem_DriverTFS::RestartForDefrag(FS_MEDIA*) {
    defrag_reset(); // does not return on the board
    return FS_OK;
}

// ---- the system's driver and media ------------------------------------------------------

CFileSystem_Driver& TheFileSystem() {
    static CFileSystem_DriverTFS driver;
    return driver;
}

FS_MEDIA& TheSystemMedia() {
    static FS_MEDIA media;
    return media;
}

// ---- File functions of the HTTP server
// -----------------------------------------------------------------

namespace {

FS_FILE& shared_block() {
    static FS_FILE block;
    return block;
}

const char* const kMemoryReadPages[] = {"index.html", "view.html",     "message.html", "quick.html",
                                        "diag.html",  "halvstyle.css", "list.html"};

unsigned fx_result(int rc) {
    return rc == FS_OK ? FX_SUCCESS : FX_IO_ERROR;
}

} // namespace

unsigned fx_file_create(FX_MEDIA*, const char* name) {
    return fx_result(TheFileSystem().CreateFile(&TheSystemMedia(), &shared_block(), name, 0));
}

unsigned fx_file_delete(FX_MEDIA*, const char* name) {
    return fx_result(TheFileSystem().DeleteFile(&TheSystemMedia(), name));
}

unsigned fx_file_open(FX_MEDIA*, FX_FILE* file, const char* name, unsigned mode) {
    if (!file || !name) return FX_IO_ERROR;
    file->block = &shared_block();
    if (name[0] == '/') ++name;
    uint32_t flags = mode == FX_OPEN_FOR_READ    ? FS_FLAG_READ
                     : mode == FX_OPEN_FOR_WRITE ? FS_FLAG_WRITE
                                                 : 0u;
    for (const char* page : kMemoryReadPages)
        if (std::strcmp(name, page) == 0) flags |= FS_FLAG_MEMORY_READ;
    if (std::strstr(name, ".EXE")) flags |= FS_FLAG_P;
    return fx_result(TheFileSystem().OpenFile(&TheSystemMedia(), file->block, name, flags));
}

unsigned fx_file_close(FX_FILE* file) {
    if (!file || !file->block) return FX_IO_ERROR;
    return fx_result(TheFileSystem().CloseFile(file->block));
}

unsigned fx_file_read(FX_FILE* file, void* buffer, uint32_t size, uint32_t* actual) {
    if (!file || !file->block) return FX_IO_ERROR;
    int rc = TheFileSystem().ReadFile(file->block, buffer, size, actual);
    return rc == FS_END_OF_FILE ? FX_END_OF_FILE : fx_result(rc);
}

unsigned fx_file_write(FX_FILE* file, const void* bytes, uint32_t size) {
    if (!file || !file->block) return FX_IO_ERROR;
    return fx_result(TheFileSystem().WriteOpenFile(file->block, bytes, size));
}

unsigned fx_file_seek(FX_FILE*, uint32_t offset) {
    int rc = TheFileSystem().SeekFile(&shared_block(), offset);
    return rc == FS_OK ? FX_SUCCESS : FX_INVALID_STATE;
}

unsigned fx_directory_information_get(FX_MEDIA*, const char* name, unsigned* attributes,
                                      uint32_t* size, unsigned* year, unsigned* month,
                                      unsigned* day, unsigned* hour, unsigned* minute,
                                      unsigned* second) {
    if (!name) return FX_NOT_FOUND;
    if (name[0] == '/') ++name;
    TFSHDR* h = mon_tfsstat(name);
    if (!h) return FX_NOT_FOUND;
    const unsigned values[] = {0, 2004, 1, 1, 0, 0, 0};
    unsigned* outs[] = {attributes, year, month, day, hour, minute, second};
    for (size_t i = 0; i < 7; ++i)
        if (outs[i]) *outs[i] = values[i];
    if (size) *size = tfs_file_size(h);
    return FX_SUCCESS;
}

void fx_shim_reset() {
    FS_FILE& block = shared_block();
    if (block.buffer) TheGPBuffer().Release(block.buffer);
    block = FS_FILE();
}
