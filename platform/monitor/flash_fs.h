// The flash file system behind the boot monitor's TFS services: one flash image
// file, memory-mapped. The host side (monitor services, tests, flashtool) uses
// this class; the firmware uses the mon_tfs* services of monitor.h.
//
// Image layout (all integers big-endian):
//   0..63   superblock: "SIGNFLSH", version, image size, defragment request
//   64..    files back to back, each a 128-byte TFSHDR and its data padded to
//           16 bytes; the first all-erased header ends the used area.
// A header's state bytes change only by clearing bits:
//   0xFFFF erased -> 0xFFFE being added -> 0xFFFC complete -> 0xFFF8 deleted.
// An add that did not complete (the program died in the middle) is discarded
// at the next mount; a file with a damaged header is skipped (by its size
// when that leads to the next header, else up to the next valid header) and
// counts as deleted space, so the files after it stay; a damaged header with
// no valid one after it (a torn add) ends the used area.
#pragma once

#include "platform/monitor/monitor.h"

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace monitor {

class FlashFs {
  public:
    static const uint32_t kSuperblockSize = 64;
    static const uint32_t kHeaderSize = 128;
    static const uint32_t kAlign = 16;
    static const uint32_t kMinImageSize = 64 * 1024;

    enum class Access { ReadWrite, ReadOnly };

    FlashFs() = default;
    ~FlashFs();
    FlashFs(const FlashFs&) = delete;
    FlashFs& operator=(const FlashFs&) = delete;

    // Open (creating when absent or empty, with `size` bytes) and mount the
    // image. A defragmentation requested at the last restart runs now.
    // Problems found and repaired are appended to `report` (one line each).
    // Returns TFS_OKAY, or TFSERR_CORRUPT / TFSERR_NOTOPEN with the reason in
    // `report` (the image is then left as it was and nothing is mounted).
    int Mount(const std::string& path, uint32_t size, Access access, std::string& report);
    void Unmount();
    bool Mounted() const { return ro_ != nullptr; }
    const std::string& Path() const { return path_; }

    // Services (see monitor.h for the results).
    int Add(const char* name, const char* info, const char* flags, const uint8_t* src, int size);
    int Unlink(const char* name);
    TFSHDR* Stat(const char* name);
    TFSHDR* Next(const TFSHDR* prev);
    int InPlaceModify(const char* name, const uint8_t* data, int offset, int size);
    long Control(int request, long arg1, long arg2);

    int Open(const char* name, long mode);
    int Read(int fd, char* buf, int count);
    int Write(int fd, const char* buf, int count);
    int Seek(int fd, int offset, int whence);
    int Close(int fd, const char* info);

    // Figures.
    uint32_t FreeSpace() const;    // largest file an add can take
    uint32_t DeletedSpace() const; // bytes held by deleted and discarded files
    uint32_t HeaderCount() const;  // headers in use, deleted ones included
    uint32_t ImageSize() const { return size_; }
    uint32_t FileCount() const;

    // Ask for a defragmentation at the next mount (kept in the image).
    void RequestDefrag();
    // Flushes the in-place writes since the last sync to the image file.
    long Sync();
    bool DefragRequested() const;

    // Time functions installed by the firmware (TFS_CTRL_TIMEFUNCS).
    typedef long (*GetTimeFn)();
    typedef char* (*FormatTimeFn)(long seconds, char* buf, int size);
    FormatTimeFn TimeFormatter() const { return format_time_; }

    // Tests: stop the next add after it wrote its header and its data, as if
    // the program died before marking it complete.
    void FailNextAddForTest() { fail_next_add_ = true; }
    // Tests: the program ends (_exit with `status`) just before the
    // `writes`-th next change of flash (add, unlink, in-place modification),
    // as a kill at that moment would leave it.
    void ExitBeforeWriteForTest(uint32_t writes, int status) {
        exit_countdown_ = writes;
        exit_status_ = status;
    }

    // Header -> offset in the image (or -1 when not a header of this image).
    long OffsetOf(const TFSHDR* h) const;

  private:
    struct Entry {
        uint32_t offset;
        uint32_t seq;
        bool live;
        uint32_t footprint; // header, data and padding (a damaged file: up to the next one)
    };
    struct Descriptor {
        bool used = false;
        bool writing = false;
        std::string name;
        uint32_t header = 0; // reading: offset of the header
        uint32_t pos = 0;
        uint32_t flags = 0;           // creating: the new file's flags
        std::vector<uint8_t> content; // writing: the new content, added at close
    };

    // Lock, format when empty, check the superblock, fix the size, map. The
    // caller closes `fd` when this fails.
    int OpenImage(int fd, uint32_t size, bool writable, std::string& report);
    int MapImage(int fd, uint32_t size, Access access, std::string& report);
    int Format(int fd, uint32_t size, std::string& report);
    void Scan(std::string& report);
    bool Defragment(std::string& report);
    void ResolveDuplicates(std::string& report);
    bool HeaderValid(uint32_t offset) const;
    bool HeaderPlausible(uint32_t offset) const; // all but the header's check
    bool KeptDespiteCheck(uint32_t at, std::string& report);
    void CopyUnsound(std::string& report);
    uint32_t NextAfterDamaged(uint32_t at) const;
    const TFSHDR* Hdr(uint32_t offset) const;
    uint32_t Footprint(uint32_t offset) const;
    uint32_t StateOf(uint32_t offset) const;
    void SetState(uint32_t offset, uint16_t state);
    void Erase(uint32_t from, uint32_t to);
    int FindLive(const char* name) const; // index into entries_, or -1
    int AddLocked(const char* name, const char* info, uint32_t flags, const uint8_t* src,
                  uint32_t size, uint32_t time);
    Descriptor* Fd(int fd);

    std::string path_;
    int fd_ = -1;
    uint32_t size_ = 0;
    uint8_t* ro_ = nullptr; // read-only view (what the firmware sees)
    uint8_t* rw_ = nullptr; // writable view, same pages (null when read-only)
    uint32_t end_ = 0;      // first free offset
    uint32_t unsound_ = 0;  // the last file, kept though its header fails its check
    uint32_t next_seq_ = 1;
    std::vector<Entry> entries_; // every header in flash order
    Descriptor fds_[TFS_MAXOPEN];
    GetTimeFn get_time_ = nullptr;
    FormatTimeFn format_time_ = nullptr;
    bool fail_next_add_ = false;
    uint32_t dirty_from_ = UINT32_MAX; // in-place writes not yet synced
    uint32_t dirty_to_ = 0;
    uint32_t exit_countdown_ = 0;
    int exit_status_ = 0;
    void CountWriteForTest();
    mutable std::recursive_mutex mutex_;
};

// Flag string <-> flag bits. Returns false for an unknown letter.
bool tfs_parse_flags(const char* letters, uint32_t& flags);
std::string tfs_flag_letters(uint32_t flags);

// Shell-style match with '*' (any run) and '?' (one character).
bool tfs_wildcard_match(const char* pattern, const char* name);

} // namespace monitor
