// The file-transfer steps: one handler per command over the transfer record.
// A download is stored through the boot monitor's file add (one call, the
// whole file); everything else goes through the file-system driver.
#include "comm/file_transfer.h"

#include "runtime/console.h"
#include "runtime/gp_buffer.h"
#include "runtime/letter_codes.h"
#include "runtime/os.h"
#include "runtime/task_base.h"
#include "runtime/utilities.h"
#include "runtime/watchdog_task.h"
#include "store/database.h"
#include "store/directory_file.h"
#include "store/filesystem.h"
#include "store/objects.h"

#include <cstdio>
#include <cstring>

namespace {

const uint32_t OPEN_FOR_READING = FS_FLAG_READ;
const uint32_t OPEN_FOR_CREATING = 0;
const uint32_t PIECE_BYTES = 1024; // whole-file CRC and copy pieces

struct path_rewrite {
    const char* from;
    const char* to;
};
// In this order: the bitmap folder of a central system's names, then the
// directory-listing file.
const path_rewrite PATH_REWRITES[] = {
    {"C\\Bitmaps\\", "Bitmaps/"},
    {"<dir>", "//SD/<dir>"},
};

struct flag_rule {
    const char* text;
    bool prefix; // a prefix of the path, else anywhere in it
    uint32_t flag;
};
const flag_rule OPEN_FLAG_RULES[] = {
    {"//SD/", true, FS_FLAG_MEMORY_READ},
    {"//PR/", true, FS_FLAG_P},
    {"CONFIG.XML", true, FS_FLAG_P},
    {".EXE", false, FS_FLAG_P},
};

const uint8_t ZLIB_BEST[] = {0x78, 0xDA}; // the header that marks a compressed file
const uint8_t ELF_MAGIC[] = {0x7F, 'E', 'L', 'F'};
const char IMAGE_EXTENSION[] = ".EXE";
const char IMAGE_FLAGS[] = "bEp";
const char CONFIG_FILE[] = "CONFIG.XML";
const char CONFIG_BACKUP[] = "CONFIG.BAK";

bool starts_with(const char* text, const char* prefix) {
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

bool begins(const uint8_t* bytes, uint32_t length, const uint8_t* magic, uint32_t count) {
    return length >= count && std::memcmp(bytes, magic, count) == 0;
}

// Every `from` in `text` replaced by `to`, cut to `room` - 1 characters.
void replace_all(const char* text, const path_rewrite& rule, char* out, uint32_t room) {
    const size_t from_length = std::strlen(rule.from);
    uint32_t n = 0;
    while (*text && n + 1 < room) {
        if (starts_with(text, rule.from)) {
            for (const char* t = rule.to; *t && n + 1 < room; t++)
                out[n++] = *t;
            text += from_length;
        } else {
            out[n++] = *text++;
        }
    }
    out[n] = 0;
}

// The name object's bytes as text (a name holds no NUL), cut to fit.
// -> its whole length.
uint32_t read_name(char* out, uint32_t room) {
    uint32_t length = 0;
    db_get_string_copy(obj::halvObj4_5, out, room, &length);
    return length;
}

// The name in halvObj4_5 mapped into `path` (TRANSFER_PATH_BYTES + 1 bytes).
void mapped_name(char* path) {
    char name[TRANSFER_PATH_BYTES + 2];
    read_name(name, sizeof name);
    MapTransferPath(name, path, TRANSFER_PATH_BYTES + 1);
}

// A thread's directory for the look-ups of a path with a directory part.
FS_LOCAL_PATH g_lookup_directory;

// The size of a file, looked up in its directory: the directory part
// becomes the calling thread's directory for the look-up and the thread's
// directory is restored after it.
bool lookup_size(const char* path, uint32_t* size) {
    CFileSystem_Driver& fs = TheFileSystem();
    FS_MEDIA* media = &TheSystemMedia();
    char directory[FS_PATH_MAX + 1];
    const bool in_directory = fs_path_to_tfs(path, directory, sizeof directory) == FS_OK;
    if (in_directory && fs.SetLocalPath(media, &g_lookup_directory, directory) != FS_OK)
        return false;
    int rc = fs.DirectoryInformation(media, path, nullptr, size, nullptr, nullptr, nullptr);
    if (in_directory) fs.SetLocalPath(media, &g_lookup_directory, nullptr);
    return rc == FS_OK;
}

// A file opened for reading, closed when it goes out of scope.
class reading_file {
  public:
    explicit reading_file(const char* path)
        : opened_(TheFileSystem().OpenFile(&TheSystemMedia(), &file_, path,
                                           GetTransferOpenFlags(path, OPEN_FOR_READING)) == FS_OK) {
    }
    ~reading_file() {
        if (opened_) TheFileSystem().CloseFile(&file_);
    }
    bool Opened() const { return opened_; }
    bool Seek(uint32_t offset) { return TheFileSystem().SeekFile(&file_, offset) == FS_OK; }
    // -> the driver's result; `actual` bytes read.
    int Read(void* buffer, uint32_t count, uint32_t* actual) {
        return TheFileSystem().ReadFile(&file_, buffer, count, actual);
    }

  private:
    FS_FILE file_;
    bool opened_;
};

// Reads the whole file in pieces: `use` gets each piece. -> false when a
// read failed before the end of the file.
template <typename Use> bool read_whole(reading_file& file, Use use) {
    uint8_t piece[PIECE_BYTES];
    for (;;) {
        uint32_t actual = 0;
        int rc = file.Read(piece, sizeof piece, &actual);
        if (rc == FS_END_OF_FILE || (rc == FS_OK && actual == 0)) return true;
        if (rc != FS_OK) return false;
        if (!use(piece, actual)) return false;
    }
}

// The whole file of `size` bytes into `copy`. -> false when it could not
// be opened or read, or holds another number of bytes.
bool read_file_into(const char* path, uint8_t* copy, uint32_t size) {
    reading_file file(path);
    uint32_t copied = 0;
    bool whole = file.Opened() && read_whole(file, [&](const uint8_t* piece, uint32_t n) {
                     if (n > size - copied) return false;
                     std::memcpy(copy + copied, piece, n);
                     copied += n;
                     return true;
                 });
    return whole && copied == size;
}

// The file flags of a stored download in the monitor's letters.
void flag_text(const char* path, bool image, char* flags) {
    std::strcpy(flags, image ? IMAGE_FLAGS : "");
    char first = starts_with(path, "monrc") ? 'e' : starts_with(path, "CONFIG") ? 'p' : 0;
    if (first && !flags[0]) flags[1] = 0;
    if (first) flags[0] = first;
}

// A copy of a stored file under another name (the monitor's file add).
bool copy_stored(const char* from, const char* to, const char* flags) {
    TFSHDR* header = mon_tfsstat(from);
    if (!header) return false;
    return mon_tfsadd(to, nullptr, flags, tfs_file_data(header), int(tfs_file_size(header))) == 0;
}

} // namespace

uint32_t MapTransferPath(const char* name, char* out, uint32_t room) {
    if (room == 0) return 0;
    char first[TRANSFER_PATH_BYTES * 2 + 1];
    replace_all(name, PATH_REWRITES[0], first, sizeof first);
    replace_all(first, PATH_REWRITES[1], out, room);
    return uint32_t(std::strlen(out));
}

uint32_t GetTransferOpenFlags(const char* path, uint32_t base) {
    uint32_t flags = base;
    for (const flag_rule& rule : OPEN_FLAG_RULES) {
        bool found =
            rule.prefix ? starts_with(path, rule.text) : std::strstr(path, rule.text) != nullptr;
        if (found) flags |= rule.flag;
    }
    return flags;
}

const CFileTransfer::handler CFileTransfer::HANDLERS[TRANSFER_COMMANDS] = {
    &CFileTransfer::Reset,
    nullptr,
    nullptr,
    nullptr,
    &CFileTransfer::BeginDownload,
    &CFileTransfer::ReceiveBlock,
    &CFileTransfer::Store,
    &CFileTransfer::OpenUpload,
    &CFileTransfer::ReadBlock,
    &CFileTransfer::FileCrc,
    &CFileTransfer::Delete,
    &CFileTransfer::Listing,
    &CFileTransfer::SelectSource,
    &CFileTransfer::Move,
    &CFileTransfer::Copy,
};

CFileTransfer::~CFileTransfer() {
    EndInflate();
}

void CFileTransfer::Step(bool database_event) {
    uint32_t command = db_get(obj::halvObj4_1);
    if (command >= TRANSFER_COMMANDS) return;
    const handler step = HANDLERS[command];
    if (!step) return;
    database_event_ = database_event;
    (this->*step)();
}

void CFileTransfer::Result(uint8_t state) {
    db_set(obj::halvObj4_1, state, DB_NOTIFY);
}

void CFileTransfer::TakeLock() {
    uint32_t actual = 0;
    os_event_flags_get(task_.Flags(), TRANSFER_LOCK_FREE, OS_EVENT_OR_CLEAR, &actual,
                       OS_WAIT_FOREVER);
    locked_ = true;
}

void CFileTransfer::GiveLock() {
    os_event_flags_set(task_.Flags(), TRANSFER_LOCK_FREE, OS_EVENT_OR);
    locked_ = false;
}

void CFileTransfer::ReleaseBuffer() {
    EndInflate();
    if (buffer_ && TheGPBuffer().Release(buffer_)) buffer_ = nullptr;
}

void CFileTransfer::EndInflate() {
    if (inflating_) inflateEnd(&stream_);
    inflating_ = false;
}

void CFileTransfer::EndDownload() {
    if (!active_) return;
    task_.PostLetter(LETTER_CONFIG_WRITER_RELEASE);
    active_ = false;
}

// The name's CRC-16 (halvObj4_5 against halvObj4_6).
bool CFileTransfer::NameCrcMatches() {
    uint8_t bytes[TRANSFER_BLOCK_MAX + 1]; // and the copy's NUL
    uint32_t length = 0;
    uint32_t copied = db_get_string_copy(obj::halvObj4_5, bytes, sizeof bytes, &length);
    return copied == length && crc16(bytes, copied) == db_get(obj::halvObj4_6);
}

// ---- 0: reset ----

void CFileTransfer::Reset() {
    EndDownload();
    stage_ = 0;
    file_length_ = 0;
    std::memset(path_, 0, sizeof path_);
    source_selected_ = false;
    total_blocks_ = 0;
    block_size_ = 0;
    next_block_ = 0;
    GiveLock();
    ReleaseBuffer();
}

// ---- 4 to 6: a download ----

void CFileTransfer::BeginDownload() {
    const int32_t size = int32_t(db_get(obj::halvObj4_3));
    const uint32_t block_size = db_get(obj::halvObj4_2);
    // The whole file is received into the buffer: a larger one cannot fit.
    if (size <= 0 || uint32_t(size) > TRANSFER_BUFFER_BYTES || block_size == 0)
        return Result(TRANSFER_ERROR);
    char name[TRANSFER_PATH_BYTES + 2];
    uint32_t length = read_name(name, sizeof name);
    ReleaseBuffer();
    if (length == 0 || length > TRANSFER_PATH_BYTES) return Result(TRANSFER_ERROR);
    void* block = nullptr;
    if (!TheGPBuffer().Allocate(&block, TRANSFER_BUFFER_BYTES)) return Result(TRANSFER_ERROR);
    buffer_ = static_cast<uint8_t*>(block);
    active_ = true;
    task_.PostLetter(LETTER_CONFIG_WRITER_HOLD);
    stage_ = TRANSFER_BEGIN_DOWNLOAD;
    bytes_received_ = 0;
    next_block_ = 1;
    compressed_ = false;
    file_length_ = uint32_t(size);
    total_blocks_ = uint16_t(db_get(obj::halvObj4_4));
    trace_printf("CDisplay::EventHandlerFileTransfer: wTotNum:%d\n", total_blocks_);
    block_size_ = uint16_t(block_size);
    MapTransferPath(name, path_, sizeof path_);
    Result(TRANSFER_DONE);
    if (std::strstr(path_, IMAGE_EXTENSION)) return;
    uint32_t room_now = 0, room_after_defrag = 0;
    TheFileSystem().GetSpace(&TheSystemMedia(), &room_now, &room_after_defrag);
    if (file_length_ > room_after_defrag) return Result(TRANSFER_ERROR);
    if (file_length_ > room_now) TheFileSystem().RestartForDefrag(&TheSystemMedia());
}

// A block out of turn, with a wrong CRC or beyond the buffer is refused and
// leaves the next block as it was: the manager may send it again.
void CFileTransfer::ReceiveBlock() {
    if (stage_ != TRANSFER_BEGIN_DOWNLOAD || file_length_ == 0 ||
        db_get(obj::halvObj4_4) != next_block_)
        return Result(TRANSFER_ERROR);
    uint8_t block[TRANSFER_BLOCK_MAX + 1]; // and the copy's NUL
    uint32_t length = 0;
    uint32_t copied = db_get_string_copy(obj::halvObj4_5, block, sizeof block, &length);
    if (copied != length || crc16(block, length) != db_get(obj::halvObj4_6))
        return Result(TRANSFER_ERROR);
    if (next_block_ == 1) {
        EndInflate();
        compressed_ = begins(block, length, ZLIB_BEST, sizeof ZLIB_BEST);
        if (compressed_) {
            stream_ = z_stream{};
            stream_.next_out = buffer_;
            stream_.avail_out = TRANSFER_BUFFER_BYTES;
            inflating_ = inflateInit(&stream_) == Z_OK;
            if (!inflating_) return Result(TRANSFER_ERROR);
        }
    }
    if (compressed_) {
        if (!Inflate(block, length)) return Result(TRANSFER_ERROR);
    } else {
        if (length > TRANSFER_BUFFER_BYTES - bytes_received_) return Result(TRANSFER_ERROR);
        std::memcpy(buffer_ + bytes_received_, block, length);
    }
    bytes_received_ += length;
    next_block_++;
    Result(TRANSFER_DONE);
}

// One block into the inflated image; an image that fills the buffer is
// too big (its rest would have no room).
bool CFileTransfer::Inflate(const uint8_t* block, uint32_t length) {
    stream_.next_in = const_cast<Bytef*>(block);
    stream_.avail_in = length;
    int rc = inflate(&stream_, Z_SYNC_FLUSH);
    if (stream_.avail_out == 0 || (stream_.avail_in != 0 && rc != Z_STREAM_END)) {
        console_printf("Compressed File Too Big! Max:%d Cur:%d\n", int(TRANSFER_BUFFER_BYTES),
                       int(stream_.total_out));
        return false;
    }
    if (rc < 0 && rc != Z_BUF_ERROR) {
        console_printf("inflate error\n");
        return false;
    }
    return true;
}

void CFileTransfer::Store() {
    if (!database_event_) return; // the communication task stores, at its next step
    EndDownload();
    bool complete = stage_ == TRANSFER_BEGIN_DOWNLOAD && file_length_ != 0 &&
                    next_block_ == uint32_t(total_blocks_) + 1;
    if (complete && compressed_) {
        file_length_ = uint32_t(stream_.total_out);
        EndInflate();
    } else if (complete) {
        // Every declared byte must have arrived: the rest of the buffer was
        // never written.
        complete = bytes_received_ == file_length_;
    }
    if (!complete) {
        Result(TRANSFER_ERROR);
    } else {
        // The front panel shows its busy mark around the store once its
        // manager exists.
        char flags[4] = {};
        TheWatchdogTask().DisableWatchdog();
        bool stored = StoreImage(flags);
        TheWatchdogTask().EnableWatchdog();
        if (stored) {
            Result(TRANSFER_DONE);
            task_.PostLetter(LETTER_FILE_STORED);
        } else {
            Result(TRANSFER_ERROR);
        }
    }
    ReleaseBuffer();
    stage_ = 0;
}

// An ELF image is stored as ".EXE" with the image flags, and CONFIG.XML
// comes through the store of an image unchanged (kept as CONFIG.BAK for the
// time of the write). A ".EXE" name without an image is refused.
bool CFileTransfer::StoreImage(char* flags) {
    const bool image = begins(buffer_, file_length_, ELF_MAGIC, sizeof ELF_MAGIC);
    char* dot = std::strchr(path_, '.');
    if (image && dot) {
        std::snprintf(dot, sizeof path_ - size_t(dot - path_), "%s", IMAGE_EXTENSION);
    } else if (!image && dot && starts_with(dot, IMAGE_EXTENSION)) {
        trace_printf("CDisplay::EventHandlerFileTransfer: error invalid exe header\n");
        return false;
    }
    flag_text(path_, image, flags);
    if (image && mon_tfsstat(CONFIG_FILE)) copy_stored(CONFIG_FILE, CONFIG_BACKUP, "");
    TakeLock();
    int rc;
    {
        CInterruptLock masked; // no interrupt while the flash is written
        rc = mon_tfsadd(path_, nullptr, flags, buffer_, int(file_length_));
    }
    if (image && mon_tfsstat(CONFIG_BACKUP)) {
        copy_stored(CONFIG_BACKUP, CONFIG_FILE, "p");
        mon_tfsunlink(CONFIG_BACKUP);
    }
    GiveLock();
    return rc == 0;
}

// ---- 7 and 8: an upload ----

void CFileTransfer::OpenUpload() {
    const uint32_t block_size = db_get(obj::halvObj4_2);
    if (block_size == 0 || block_size > TRANSFER_BLOCK_MAX) return Result(TRANSFER_ERROR);
    mapped_name(path_);
    uint32_t size = 0;
    if (!lookup_size(path_, &size)) return Result(TRANSFER_ERROR);
    const uint32_t blocks = size / block_size + (size % block_size ? 1 : 0);
    if (blocks > 0xFFFF) return Result(TRANSFER_ERROR);
    db_set(obj::halvObj4_3, size, DB_NOTIFY);
    block_size_ = uint16_t(block_size);
    file_length_ = size;
    total_blocks_ = uint16_t(blocks);
    db_set(obj::halvObj4_4, total_blocks_, DB_NOTIFY);
    Result(TRANSFER_DONE);
    stage_ = TRANSFER_OPEN_UPLOAD;
}

void CFileTransfer::ReadBlock() {
    const uint32_t k = db_get(obj::halvObj4_4);
    const uint32_t block_size = db_get(obj::halvObj4_2);
    if (stage_ != TRANSFER_OPEN_UPLOAD || k < 1 || k > total_blocks_ || block_size == 0 ||
        block_size > TRANSFER_BLOCK_MAX)
        return Result(TRANSFER_ERROR);
    reading_file file(path_);
    uint8_t block[TRANSFER_BLOCK_MAX];
    uint32_t actual = 0;
    if (!file.Opened() || !file.Seek((k - 1) * block_size) ||
        file.Read(block, block_size, &actual) != FS_OK)
        return Result(TRANSFER_ERROR);
    db_set_string(obj::halvObj4_5, block, actual, DB_NOTIFY);
    db_set(obj::halvObj4_2, actual, DB_NOTIFY);
    db_set(obj::halvObj4_6, crc16(block, actual), DB_NOTIFY);
    Result(TRANSFER_BLOCK_READY);
}

// ---- 9 to 14: single steps ----

void CFileTransfer::FileCrc() {
    stage_ = TRANSFER_FILE_CRC;
    mapped_name(path_);
    uint32_t size = 0;
    if (!lookup_size(path_, &size)) return Result(TRANSFER_ERROR);
    db_set(obj::halvObj4_3, size, DB_NOTIFY);
    reading_file file(path_);
    if (!file.Opened() || !file.Seek(0)) return Result(TRANSFER_ERROR);
    crc16_state crc{};
    crc16_init(&crc, 0xFFFF);
    bool whole = read_whole(file, [&](const uint8_t* piece, uint32_t n) {
        crc16_update(&crc, piece, n);
        return true;
    });
    uint16_t value = 0;
    crc16_get(&crc, &value, 0);
    crc16_finish(&crc);
    if (!whole) return Result(TRANSFER_ERROR);
    db_set(obj::halvObj4_6, value, DB_NOTIFY);
    Result(TRANSFER_DONE);
}

void CFileTransfer::Delete() {
    if (db_get(obj::halvObj4_2) == 0) return Result(TRANSFER_ERROR);
    mapped_name(path_);
    if (TheFileSystem().DeleteFile(&TheSystemMedia(), path_) != FS_OK)
        return Result(TRANSFER_ERROR);
    task_.PostLetter(LETTER_FILE_STORED);
    Result(TRANSFER_DONE);
    stage_ = TRANSFER_DELETE;
}

void CFileTransfer::Listing() {
    bool written = CFile_Directory::Write(&TheSystemMedia(), &TheFileSystem()) != 0;
    Result(written ? TRANSFER_DONE : TRANSFER_ERROR);
}

void CFileTransfer::SelectSource() {
    source_selected_ = false;
    source_[0] = 0;
    if (!NameCrcMatches()) return Result(TRANSFER_ERROR);
    char path[TRANSFER_PATH_BYTES + 1];
    mapped_name(path);
    uint32_t size = 0;
    if (!lookup_size(path, &size)) return Result(TRANSFER_ERROR);
    source_selected_ = true;
    std::strcpy(source_, path);
    Result(TRANSFER_DONE);
}

// The destination is written whole in one file add after the source was
// read completely, so a failed copy leaves no half-written file and an
// existing destination is replaced only by a complete copy; a move deletes
// its source only then.
void CFileTransfer::CopyTo(bool move) {
    if (!source_selected_) return Result(TRANSFER_ERROR);
    source_selected_ = false;
    if (!NameCrcMatches()) return Result(TRANSFER_ERROR);
    char destination[TRANSFER_PATH_BYTES + 1];
    mapped_name(destination);
    uint32_t size = 0;
    if (std::strcmp(destination, source_) == 0 || !lookup_size(source_, &size))
        return Result(TRANSFER_ERROR);
    void* block = nullptr;
    if (size > 0 && !TheGPBuffer().Allocate(&block, size)) return Result(TRANSFER_ERROR);
    uint8_t empty = 0;
    uint8_t* copy = block ? static_cast<uint8_t*>(block) : &empty;
    bool whole = read_file_into(source_, copy, size) &&
                 TheFileSystem().WriteFile(&TheSystemMedia(), 0, destination,
                                           GetTransferOpenFlags(destination, OPEN_FOR_CREATING),
                                           copy, size) == FS_OK;
    if (block) TheGPBuffer().Release(block);
    if (whole && move) whole = TheFileSystem().DeleteFile(&TheSystemMedia(), source_) == FS_OK;
    Result(whole ? TRANSFER_DONE : TRANSFER_ERROR);
}
