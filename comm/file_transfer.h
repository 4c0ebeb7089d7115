// File transfer through the six file-transfer objects (halvObj4_1 to
// halvObj4_6): a central system loads files into the flash file system
// (firmware images, CONFIG.XML, monrc, bitmaps) and reads them back, block
// by block with a CRC-16 each, and asks for a whole-file CRC, a deletion, the
// directory listing, a copy or a move.
//
// The manager writes a step's parameters into halvObj4_2 to halvObj4_6 and
// the command number into halvObj4_1; the step writes its result back into
// halvObj4_1 (2 done, 3 refused or failed, 5 upload block ready). Every step
// runs on the agent's thread right after the SET of halvObj4_1, except the
// store of a download (6): the communication task runs it at its next step,
// when it sees halvObj4_1 changed and reading 6.
//
// A download is received whole into one 2 MiB block of the general-purpose
// pool; a file whose first block begins 78 DA is inflated as its blocks
// arrive. Every write stays inside that block: a block or an inflated image
// that would not fit ends the step with state 3.
#pragma once

#include <cstdint>
#include <zlib.h>

class CTaskBase;

// halvObj4_1: commands written by the manager and results written back.
enum transfer_command : uint8_t {
    TRANSFER_RESET = 0,
    TRANSFER_DONE = 2,
    TRANSFER_ERROR = 3,
    TRANSFER_BEGIN_DOWNLOAD = 4,
    TRANSFER_BLOCK_READY = 5, // result of an upload block read
    TRANSFER_RECEIVE_BLOCK = 5,
    TRANSFER_STORE = 6,
    TRANSFER_OPEN_UPLOAD = 7,
    TRANSFER_READ_BLOCK = 8,
    TRANSFER_FILE_CRC = 9,
    TRANSFER_DELETE = 10,
    TRANSFER_LISTING = 11,
    TRANSFER_SELECT_SOURCE = 12,
    TRANSFER_MOVE = 13,
    TRANSFER_COPY = 14,
    TRANSFER_COMMANDS = 15,
};

const uint32_t TRANSFER_BUFFER_BYTES = 0x200000;
const uint32_t TRANSFER_PATH_BYTES = 200;
const uint32_t TRANSFER_BLOCK_MAX = 1024;
const uint32_t TRANSFER_LOCK_FREE = 0x10000; // the task's flag group: the transfer lock is free

// The controller's path for a transfer name: "C\Bitmaps\" becomes
// "Bitmaps/", "<dir>" becomes "//SD/<dir>"; cut to `room` - 1 characters.
// -> the path's length.
uint32_t MapTransferPath(const char* name, char* out, uint32_t room);
// Open flags of the file-system driver for a path from `base` (read 0x4000,
// create 0): mapped reads for "//SD/", the protected flag for "//PR/",
// "CONFIG.XML" and images (".EXE").
uint32_t GetTransferOpenFlags(const char* path, uint32_t base);

class CFileTransfer {
  public:
    // `task` posts the transfer's letters and holds the transfer lock in its
    // event-flag group.
    explicit CFileTransfer(CTaskBase& task) : task_(task) {}
    ~CFileTransfer();
    CFileTransfer(const CFileTransfer&) = delete;
    CFileTransfer& operator=(const CFileTransfer&) = delete;

    // One step: the command in halvObj4_1 (values above 14 do nothing).
    // `database_event`: the communication task runs it for the store.
    void Step(bool database_event);

    // A download holds the record (from its begin to its store or a reset).
    bool Active() const { return active_; }
    bool BufferHeld() const { return buffer_ != nullptr; }
    uint8_t Stage() const { return stage_; }
    uint32_t NextBlock() const { return next_block_; }

  private:
    using handler = void (CFileTransfer::*)();
    static const handler HANDLERS[TRANSFER_COMMANDS];

    void Reset();
    void BeginDownload();
    void ReceiveBlock();
    void Store();
    void OpenUpload();
    void ReadBlock();
    void FileCrc();
    void Delete();
    void Listing();
    void SelectSource();
    void Move() { CopyTo(true); }
    void Copy() { CopyTo(false); }

    void CopyTo(bool move);
    bool Inflate(const uint8_t* block, uint32_t length);
    bool StoreImage(char* flags);
    void EndDownload();
    void ReleaseBuffer();
    void EndInflate();
    void TakeLock();
    void GiveLock();
    void Result(uint8_t state);
    bool NameCrcMatches();

    CTaskBase& task_;
    bool database_event_ = false;

    uint32_t file_length_ = 0;
    uint16_t total_blocks_ = 0;
    uint16_t block_size_ = 0;
    char path_[TRANSFER_PATH_BYTES + 1] = {};
    uint32_t bytes_received_ = 0;
    uint32_t next_block_ = 0;
    uint8_t* buffer_ = nullptr;
    bool compressed_ = false;
    bool inflating_ = false; // the stream is initialised
    z_stream stream_{};
    uint8_t stage_ = 0;
    bool source_selected_ = false;
    char source_[TRANSFER_PATH_BYTES + 1] = {};
    bool active_ = false;
    bool locked_ = false;
};
