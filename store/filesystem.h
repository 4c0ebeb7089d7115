// The file-system driver: every file the firmware reads or writes outside the
// flash journal (configuration and script files, the monitor's script, the
// directory-listing file, graphics, transferred files, web pages) goes
// through one driver object over the boot monitor's flash file system (TFS).
//
// The interface is that of a small embedded file system: a media control
// block ("system drive"), caller-supplied file control blocks, a current
// directory per thread (local-path records) and directory scans. TFS has no
// directories of its own: a file "a\b\c.txt" is named with its directory
// part, which the driver compares with the thread's current directory.
//
// Every operation but open/close media checks the block's id ("MEDI" / "FILE")
// and takes the media mutex without waiting (busy: FS_BUSY).
#pragma once

#include "platform/kernel/kernel.h"
#include "platform/monitor/monitor.h"

#include <cstdint>

// Driver result codes.
enum : int {
    FS_OK = 0,
    FS_NO_BUFFER = 1,
    FS_EXISTS = 2,
    FS_ALREADY_OPEN = 3,
    FS_NOT_PERMITTED = 4,
    FS_NOT_FOUND = 5,
    FS_NOT_OPEN_FILE = 6,
    FS_NO_ROOM = 7,
    FS_NOT_OPEN_MEDIA = 8,
    FS_ERROR = 9,
    FS_END_OF_FILE = 10,
    FS_CORRUPT = 11,
    FS_NAME_TOO_LONG = 12,
    FS_BAD_ARGUMENT = 13,
    FS_BUSY = 14,
    FS_MEDIA_FAILURE = 15,
    FS_NO_DIRECTORY = 16,
};

// Driver flags (open modes and attributes).
enum : uint32_t {
    FS_FLAG_P = 0x40,
    FS_FLAG_EXEC = 0x80,
    FS_FLAG_EXEC_BIN = 0x100,
    FS_FLAG_L = 0x200,
    FS_FLAG_BRUN = 0x400,
    FS_FLAG_IN_PLACE = 0x800, // writes go through in-place modification
    FS_FLAG_C = 0x1000,
    FS_FLAG_MEMORY_READ = 0x2000, // reads copy from the file's bytes in mapped flash
    FS_FLAG_READ = 0x4000,
    FS_FLAG_WRITE = 0x8000,
};

const uint32_t FS_MEDIA_ID = 0x4D454449; // "MEDI"
const uint32_t FS_FILE_ID = 0x46494C45;  // "FILE"
const unsigned FS_PATH_MAX = 200;

// A thread's current directory (supplied by the caller, linked into the media).
struct FS_LOCAL_PATH {
    const char* thread_name = nullptr;
    char path[FS_PATH_MAX + 1] = {};
    TFSHDR* scan = nullptr; // last file delivered by the directory scan
    FS_LOCAL_PATH* next = nullptr;
};

struct FS_MEDIA {
    uint32_t id = 0;
    const char* name = nullptr;
    uint32_t buffer_size = 0;
    FS_LOCAL_PATH* paths = nullptr;
    FS_LOCAL_PATH default_path;
    TX_MUTEX mutex{};
    int (*watchdog_hook)() = nullptr; // whether the hardware watchdog is enabled
};

struct FS_FILE {
    uint32_t id = 0;
    const char* name = nullptr;
    uint32_t mode = 0;
    FS_MEDIA* media = nullptr;
    TFSHDR* header = nullptr;
    int32_t fd = -1;
    uint32_t position = 0;
    uint8_t* buffer = nullptr;
};

// The abstract driver: defaults do nothing and answer 0, except the buffer
// size (27, 28) and directory information (14), which the base implements.
class CFileSystem_Driver {
  public:
    virtual ~CFileSystem_Driver() = default;
    virtual int WriteFile(FS_MEDIA* media, uint32_t ignored, const char* name, uint32_t flags,
                          const void* bytes, uint32_t length);                               // 1
    virtual int ReadAttributes(FS_MEDIA* media, const char* name, uint32_t* attributes);     // 2
    virtual int Unsupported(FS_MEDIA* media);                                                // 3
    virtual int CreateFile(FS_MEDIA* media, FS_FILE* file, const char* name, uint32_t mode); // 4
    virtual int DeleteFile(FS_MEDIA* media, const char* name);                               // 5
    virtual int OpenFile(FS_MEDIA* media, FS_FILE* file, const char* name, uint32_t flags);  // 6
    virtual int CloseFile(FS_FILE* file);                                                    // 7
    virtual int SeekFile(FS_FILE* file, uint32_t offset);                                    // 8
    virtual int ReadFile(FS_FILE* file, void* buffer, uint32_t count, uint32_t* actual);     // 9
    virtual int WriteOpenFile(FS_FILE* file, const void* bytes, uint32_t count);             // 10
    virtual int Slot11(FS_MEDIA*) { return 0; }
    virtual int Slot12(FS_MEDIA*) { return 0; }
    virtual int Slot13(FS_MEDIA*) { return 0; }
    // 14: a file of the current directory by name.
    virtual int DirectoryInformation(FS_MEDIA* media, const char* name, uint32_t* attributes,
                                     uint32_t* size, uint32_t* time1, uint32_t* time2,
                                     uint32_t* time3);
    virtual int ClearLocalPath(FS_MEDIA* media);                                        // 15
    virtual int GetLocalPath(FS_MEDIA* media, char** path);                             // 16
    virtual int SetLocalPath(FS_MEDIA* media, FS_LOCAL_PATH* record, const char* path); // 17
    virtual int FirstEntry(FS_MEDIA* media, char* name);                                // 18
    virtual int FirstFullEntry(FS_MEDIA* media, char* name, uint32_t* attributes, uint32_t* size,
                               uint32_t* time1, uint32_t* time2,
                               uint32_t* time3);        // 19
    virtual int NextEntry(FS_MEDIA* media, char* name); // 20
    virtual int NextDirEntry(FS_MEDIA* media, char* name, uint32_t* attributes, uint32_t* size,
                             uint32_t* time1, uint32_t* time2,
                             uint32_t* time3);                      // 21
    virtual int OpenMedia(FS_MEDIA* media, const char* media_name); // 22
    virtual int CloseMedia(FS_MEDIA* media);                        // 23
    virtual int Slot24(FS_MEDIA*) { return 0; }
    virtual int GetSpace(FS_MEDIA* media, uint32_t* free_bytes, uint32_t* total_bytes); // 25
    virtual int RestartForDefrag(FS_MEDIA* media);                                      // 26
    virtual int SetFileBufferSize(FS_MEDIA* media, uint32_t size);                      // 27
    virtual int GetFileBufferSize(FS_MEDIA* media, uint32_t* size);                     // 28
};

// The driver over the boot monitor's flash file system. Names are at most
// 200 characters (the file system's own limit is lower: longer names fail
// there). Entry names given back are at most 64 bytes with the NUL.
class CFileSystem_DriverTFS : public CFileSystem_Driver {
  public:
    int WriteFile(FS_MEDIA* media, uint32_t ignored, const char* name, uint32_t flags,
                  const void* bytes, uint32_t length) override;
    int ReadAttributes(FS_MEDIA* media, const char* name, uint32_t* attributes) override;
    int Unsupported(FS_MEDIA* media) override;
    int CreateFile(FS_MEDIA* media, FS_FILE* file, const char* name, uint32_t mode) override;
    int DeleteFile(FS_MEDIA* media, const char* name) override;
    int OpenFile(FS_MEDIA* media, FS_FILE* file, const char* name, uint32_t flags) override;
    int CloseFile(FS_FILE* file) override;
    int SeekFile(FS_FILE* file, uint32_t offset) override;
    int ReadFile(FS_FILE* file, void* buffer, uint32_t count, uint32_t* actual) override;
    int WriteOpenFile(FS_FILE* file, const void* bytes, uint32_t count) override;
    int ClearLocalPath(FS_MEDIA* media) override;
    int GetLocalPath(FS_MEDIA* media, char** path) override;
    int SetLocalPath(FS_MEDIA* media, FS_LOCAL_PATH* record, const char* path) override;
    int FirstEntry(FS_MEDIA* media, char* name) override;
    int FirstFullEntry(FS_MEDIA* media, char* name, uint32_t* attributes, uint32_t* size,
                       uint32_t* time1, uint32_t* time2, uint32_t* time3) override;
    int NextEntry(FS_MEDIA* media, char* name) override;
    int NextDirEntry(FS_MEDIA* media, char* name, uint32_t* attributes, uint32_t* size,
                     uint32_t* time1, uint32_t* time2, uint32_t* time3) override;
    int OpenMedia(FS_MEDIA* media, const char* media_name) override;
    int CloseMedia(FS_MEDIA* media) override;
    int GetSpace(FS_MEDIA* media, uint32_t* free_bytes, uint32_t* total_bytes) override;
    int RestartForDefrag(FS_MEDIA* media) override;
};

// The system's driver and media ("system drive", opened at start-up).
CFileSystem_Driver& TheFileSystem();
FS_MEDIA& TheSystemMedia();

// File-system flags <-> driver flags.
uint32_t fs_driver_flags(uint32_t tfs_flags);
uint32_t fs_tfs_flags(uint32_t driver_flags);
// The flag letters of a whole-file write, in table order (out: at least 9 bytes).
void fs_flag_letters(uint32_t driver_flags, char* out);

// Path helpers. -> 0; 12 when the path does not fit `size`.
// The directory part of `path` with "/" turned into "\\" and its trailing
// separator; 16 when there is none.
int fs_path_to_tfs(const char* path, char* out, unsigned size);
// The part after the last "\\" or "/" (the whole path when it has neither).
int fs_basename(const char* path, char* out, unsigned size);
// The calling thread's record (mode bit 1), else the media's default record
// (mode bit 2). -> 0, or 5.
int fs_current_directory(FS_MEDIA* media, FS_LOCAL_PATH** record, unsigned mode);

// File functions for the HTTP server: one shared file control block
// on the system media (the server's media argument is ignored).
struct FX_MEDIA;
struct FX_FILE {
    FS_FILE* block; // set by fx_file_open
};
enum : unsigned {
    FX_SUCCESS = 0x00,
    FX_NOT_FOUND = 0x04,
    FX_INVALID_STATE = 0x07,
    FX_END_OF_FILE = 0x09,
    FX_IO_ERROR = 0x90,
};
enum : unsigned { FX_OPEN_FOR_READ = 0, FX_OPEN_FOR_WRITE = 1 };
unsigned fx_file_create(FX_MEDIA* media, const char* name);
unsigned fx_file_delete(FX_MEDIA* media, const char* name);
unsigned fx_file_open(FX_MEDIA* media, FX_FILE* file, const char* name, unsigned mode);
unsigned fx_file_close(FX_FILE* file);
unsigned fx_file_read(FX_FILE* file, void* buffer, uint32_t size, uint32_t* actual);
unsigned fx_file_write(FX_FILE* file, const void* bytes, uint32_t size);
unsigned fx_file_seek(FX_FILE* file, uint32_t offset);
unsigned fx_directory_information_get(FX_MEDIA* media, const char* name, unsigned* attributes,
                                      uint32_t* size, unsigned* year, unsigned* month,
                                      unsigned* day, unsigned* hour, unsigned* minute,
                                      unsigned* second);
void fx_shim_reset();
