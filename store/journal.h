// The flash journal: keeps the non-volatile image of the object store across
// restarts. Every change of a non-volatile object is appended as one small
// self-checking record to the active journal file ("nv1.dat" or "nv2.dat") in
// the boot monitor's flash file system; at start-up the valid file is
// replayed record by record into the image. Superseded records are marked
// deleted in place by the database task, and when the file fills up the task
// copies the live records into the other file and switches to it.
//
// File layout (4 MiB, created erased):
//   header, 14 bytes: [0] 0x7F committed / 0xFF being filled, [1] header
//   revision 0, [2..5] generation (BE), [6] database revision 0, [7..10]
//   image size 98108 (BE), [11..12] CRC-16 over [1..10], [13] '|'.
//   record, L + 4 bytes: [0] '~' live / '>' deleted, [1..2] L (BE) = 6 +
//   value length, [3..6] object offset (BE), value (integer big-endian, or a
//   string's bytes and a NUL), CRC-16 over [1..L], '|'.
// CRC-16 is the X.25 table's, complemented and byte-swapped, stored big-endian.
#pragma once

#include "platform/kernel/kernel.h"
#include "store/database.h"

#include <cstdint>

// Not CDataBase (store/database.h), the object store: this is its flash journal.
class CDatabase : public CJournalSink {
  public:
    static constexpr uint32_t FILE_BYTES = 0x400000;
    static constexpr uint32_t HEADER_BYTES = 14;
    static constexpr uint32_t IMAGE_BYTES = 98108;
    static constexpr uint32_t MAX_STRING = 1600;       // longest journalled string
    static constexpr uint32_t MAX_LENGTH_FIELD = 1700; // readers accept L up to this
    static constexpr uint32_t PENDING_ENTRIES = 8000;
    static constexpr uint32_t COMPACT_ABOVE = 0x300000; // used bytes that start a compaction
    static constexpr uint8_t MARK_LIVE = 0x7E;          // '~'
    static constexpr uint8_t MARK_DELETED = 0x3E;       // '>'
    static constexpr uint8_t MARK_END = 0x7C;           // '|'
    static constexpr uint8_t MARK_COMMITTED = 0x7F;

    static const char* const FILE_NAMES[2]; // "nv1.dat", "nv2.dat"

    // Compaction states.
    enum : uint8_t { DEFRAG_IDLE = 0, DEFRAG_COPYING = 1, DEFRAG_CLEANING = 2 };

    explicit CDatabase(CDataBase& owner);
    ~CDatabase() override;
    CDatabase(const CDatabase&) = delete;
    CDatabase& operator=(const CDatabase&) = delete;

    // The firmware's single journal, created on first use.
    static CDatabase& Instance(CDataBase& owner);

    // --- the object store's hook ---------------------------------------------
    int AppendInt(uint32_t offset, unsigned width, uint32_t value) override;
    int AppendString(uint32_t offset, const void* bytes, uint32_t length) override;
    unsigned UsedPercent() override;
    bool StringFits(uint32_t length) override { return length <= MAX_STRING; }

    // Record writers: build, append to the active file, enter in the pending
    // index. -> 1 appended (a string of length 0 is indexed only), 0 refused.
    int INT8(uint32_t offset, uint8_t value, uint32_t* record);
    int INT16(uint32_t offset, uint16_t value, uint32_t* record);
    int INT32(uint32_t offset, uint32_t value, uint32_t* record);
    int STRING(uint32_t offset, const void* bytes, uint16_t length, uint32_t* record);

    // --- start-up --------------------------------------------------------------
    // "Flash Database Mutex" and "Delete Object" (priority inheritance).
    void CreateMutexes();
    // Choose, check and replay a journal file. -> 1 an existing committed
    // file was replayed, 0 a fresh (uncommitted) file was created.
    int Load();
    // Marks the active file committed (byte 0 := 0x7F). -> mon_tfsipmod's result.
    int Commit();
    static bool FileExists(const char* name);
    // Stops the journal for the rest of the run, before its files are
    // deleted ahead of a restart: once the append in progress (if any) is
    // done, no file is active, later writes stay in the image alone and the
    // housekeeping does nothing.
    void Close();
    bool Closed() const { return closed_; }
    // The early-restart rule (clear 0 at start-up, 1 after a healthy run or
    // before a controlled restart).
    static void StateMachine_BootCounter(CDataBase& store, int clear);

    // --- the database task's housekeeping ------------------------------------
    void Deleting();            // the delete pass
    void StateMachine_Defrag(); // one compaction step

    // --- figures --------------------------------------------------------------
    const char* ActiveName() const; // null when there is no active file
    uint32_t ActiveUsed();          // used bytes of the active file
    uint32_t PendingCount() const { return pending_count_; }
    uint8_t DefragState() const { return defrag_state_; }
    uint32_t CorruptRecords() const { return corrupt_records_; }
    uint32_t ReplayedRecords() const { return replayed_records_; }
    // Whether the last replay met damage: damaged bytes, or an object whose
    // newest intact record was already superseded (its newer record was lost,
    // as when the journal was cut). The store then restores "CONFIG.XML".
    bool ReplayMetDamage() const { return replay_damaged_; }
    // Replays the active file again (quietly), over what the image holds now.
    void ReplayAgain();
    // Whether the last replay found an intact record of the object at `offset`.
    bool HadRecord(uint32_t offset) const {
        return offset < IMAGE_BYTES && (recorded_[offset / 8] >> (offset % 8)) & 1;
    }
    // Where the copy of a running compaction stands in the active file.
    uint32_t CopyPosition() const { return copy_at_; }

  private:
    struct Entry {
        uint32_t address; // offset of the record in the active file
        uint32_t object;  // object offset in the non-volatile image
    };
    struct FileState {
        const uint8_t* data = nullptr; // first byte in mapped flash
        uint32_t used = 0;             // bytes up to the last written one; 0 unknown
        uint32_t end = 0;              // first byte after the last record
        bool end_known = false;
    };

    void ReportRefused(uint32_t offset);
    // Whether there is no file to append to (and the journal is not closed).
    bool NoFile(uint32_t offset);
    int AppendRecord(uint32_t object, const uint8_t* value, uint32_t value_length,
                     uint32_t* record);
    int write(int file, const uint8_t* bytes, uint32_t length, uint32_t* record,
              bool recompute_one);
    void RecomputeEnd(int file);
    int FFS_SDH(const uint8_t* previous, int file);
    uint32_t FFS_FU(int file, bool locked);
    bool CheckHeader(int file) const;
    int ChooseFile();
    bool IsCompactionTarget(int file, int of) const;
    void ResumeCompaction(int target);
    bool AlignCopy(int target, uint32_t* resume_at) const;
    int CreateFresh(int file, const char* failure_line);
    void Replay(int file, bool quiet);
    void IndexRecord(uint32_t object, uint32_t address);
    uint32_t PendingSlot(uint32_t object) const;
    void ClearPending();
    void MarkDeleted(uint32_t address);
    void DeletePass(Entry* list, uint32_t count);
    void LookUp(int file);
    void Forget(int file);
    void Switch(int target);

    // Compaction steps.
    void DefragIdle();
    void DefragCopy();
    void DefragClean();
    bool StartCompaction();
    void CompactionStarted(bool started);
    // controllerErrorStatus with bits set and cleared: its new value.
    uint32_t ChangeControllerError(uint32_t set_mask, uint32_t clear_mask);
    enum CopyStatus { COPY_MORE, COPY_AT_END, COPY_FAILED };
    CopyStatus CopyRecords(uint32_t limit);
    bool Superseded(uint32_t object, uint32_t address);
    bool TrySwitch();
    void FinishCopyHoldingTheMutex();
    void EndCopy(bool ok);
    void NoteReplayed(uint32_t object, bool deleted);

    bool LockFlash();
    void UnlockFlash();
    bool LockIndex();
    void UnlockIndex();

    CDataBase& owner_;
    int active_ = -1; // index into FILE_NAMES, -1 none
    FileState files_[2];
    bool recompute_ = false;
    bool first_append_ = true;
    TX_MUTEX flash_mutex_{};
    TX_MUTEX index_mutex_{};
    bool mutexes_ = false;
    uint32_t pending_count_ = 0;
    Entry pending_[PENDING_ENTRIES];
    Entry delete_list_[PENDING_ENTRIES];
    // Per image offset: 1 + the index of the object's pending entry, 0 none.
    uint16_t pending_slot_[IMAGE_BYTES] = {};
    uint8_t used_percent_ = 0;
    bool percent_known_ = false;
    uint8_t defrag_state_ = DEFRAG_IDLE;
    uint16_t defrag_countdown_ = 6;
    uint16_t retry_cycles_ = 0; // the wait after a compaction that could not start
    bool flash_error_ = false;  // raised by a compaction that could not start
    uint8_t last_day_ = 1;
    int defrag_target_ = -1;
    int resume_target_ = -1; // a compaction target found at load, kept to resume
    uint32_t copy_at_ = 0;   // next byte of the active file the copy looks at
    int catch_ups_ = 0;
    bool copied_ = false;
    bool replay_damaged_ = false;
    bool closed_ = false;
    // One bit per image offset: the object's newest replayed record is a deleted one.
    uint8_t superseded_last_[IMAGE_BYTES / 8 + 1];
    // One bit per image offset: the object has an intact record.
    uint8_t recorded_[IMAGE_BYTES / 8 + 1];
    uint32_t corrupt_records_ = 0;
    uint32_t replayed_records_ = 0;
};

// The journal bound to `store` (null when another sink or none is bound).
CDatabase* persist_journal(CDataBase& store);

// Record CRC: CRC-16 complemented and byte-swapped (the big-endian value to store).
uint16_t journal_crc(const uint8_t* bytes, uint32_t count);
