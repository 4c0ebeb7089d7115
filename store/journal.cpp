// The flash journal: records, append, pending index, delete pass, file choice,
// replay and compaction of "nv1.dat" / "nv2.dat".
#include "store/journal.h"

#include "runtime/console.h"
#include "platform/board/bus.h"
#include "platform/monitor/monitor.h"
#include "runtime/utilities.h"
#include "runtime/watchdog_task.h"
#include "store/objects.h"
#include "store/short_error_status.h"

#include <algorithm>
#include <cstring>

const char* const CDatabase::FILE_NAMES[2] = {"nv1.dat", "nv2.dat"};

namespace {

const char* const kConfigFile = "CONFIG.XML";
const uint32_t kFeatureScheduledCleanup = 0x400;
const uint32_t kMaxRecord = CDatabase::MAX_STRING + 12;
const uint32_t kPendingFlushAt = 7950; // entries that make the copy walk run a delete pass
const int kCatchUps = 10;
// Early-restart byte: set while the start in progress restarts to defragment.
const uint8_t kDefragRestart = 0x80;
// A compaction that cannot start: the first wait and the longest, in cycles.
const uint16_t kFirstRetryCycles = 10;
const uint16_t kLastRetryCycles = 3600;
const uint32_t kControllerPromError = 0x02;   // controllerErrorStatus
const uint32_t kShortControllerError = 0x100; // shortErrorStatus
const UINT kCopyPriority = 2;
// Records copied per tick, by the room left in the active file: the fuller
// it gets, the faster the copy, and when little is left the rest is copied at
// once, holding the "Flash Database Mutex" (writers wait instead of failing).
struct CopyRate {
    uint32_t room_above;
    uint32_t records; // 0: finish at once
};
const CopyRate kCopyRates[] = {
    {1u << 20, 1},
    {512u << 10, 8},
    {256u << 10, 64},
    {0, 0},
};
const ULONG kCopyTicksPerCycle = 90; // one task cycle of copying, then the cycle goes on

uint32_t be16(const uint8_t* p) {
    return (uint32_t(p[0]) << 8) | p[1];
}
uint32_t be32(const uint8_t* p) {
    return (be16(p) << 16) | be16(p + 2);
}
void put16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 8);
    p[1] = uint8_t(v);
}
void put32(uint8_t* p, uint32_t v) {
    put16(p, v >> 16);
    put16(p + 2, v);
}

unsigned low32(const void* p) {
    return unsigned(reinterpret_cast<uintptr_t>(p));
}

// A record at `at` is framed when its length field is plausible and its end
// mark lies before `bound`; -> its length field, or 0.
uint32_t framed(const uint8_t* data, uint32_t at, uint32_t bound) {
    if (uint64_t(at) + 7 > bound) return 0;
    uint8_t mark = data[at];
    if (mark != CDatabase::MARK_LIVE && mark != CDatabase::MARK_DELETED) return 0;
    uint32_t length = be16(data + at + 1);
    if (length < 7 || length > CDatabase::MAX_LENGTH_FIELD) return 0;
    if (uint64_t(at) + length + 4 > bound) return 0;
    return data[at + length + 3] == CDatabase::MARK_END ? length : 0;
}

// A framed record whose CRC matches; -> its length field, or 0.
uint32_t valid_record(const uint8_t* data, uint32_t at, uint32_t bound) {
    uint32_t length = framed(data, at, bound);
    if (!length) return 0;
    return journal_crc(data + at + 1, length) == be16(data + at + length + 1) ? length : 0;
}

// Raises (or lowers) the calling thread's priority for a scope.
class PriorityScope {
  public:
    explicit PriorityScope(UINT priority) {
        if (tx_in_non_thread_context()) return;
        thread_ = tx_thread_identify();
        if (thread_ && tx_thread_priority_change(thread_, priority, &old_) != TX_SUCCESS)
            thread_ = nullptr;
    }
    ~PriorityScope() {
        UINT ignored = 0;
        if (thread_) tx_thread_priority_change(thread_, old_, &ignored);
    }
    PriorityScope(const PriorityScope&) = delete;
    PriorityScope& operator=(const PriorityScope&) = delete;

  private:
    TX_THREAD* thread_ = nullptr;
    UINT old_ = 0;
};

// Day of the month of a count of seconds since 1970-01-01.
unsigned day_of_month(uint32_t seconds) {
    int32_t z = int32_t(seconds / 86400) + 719468;
    int32_t era = z / 146097;
    uint32_t doe = uint32_t(z - era * 146097);
    uint32_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    uint32_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    uint32_t mp = (5 * doy + 2) / 153;
    return doy - (153 * mp + 2) / 5 + 1;
}

// Every byte erased (0xFF): the first is, and each equals the one after it.
bool erased(const uint8_t* bytes, uint32_t count) {
    return count == 0 || (bytes[0] == 0xFF && std::memcmp(bytes, bytes + 1, count - 1) == 0);
}

// Where the erased tail of `data` begins: whole erased blocks are passed
// over with one compare each, then the bytes of the last written block.
uint32_t erased_tail(const uint8_t* data, uint32_t size) {
    const uint32_t kBlock = 4096;
    uint32_t end = size;
    while (end >= kBlock && erased(data + end - kBlock, kBlock))
        end -= kBlock;
    while (end > 0 && data[end - 1] == 0xFF)
        --end;
    return end;
}

} // namespace

uint16_t journal_crc(const uint8_t* bytes, uint32_t count) {
    return crc16(bytes, count, 0xFFFF, CRC16_COMPLEMENT | CRC16_SWAP);
}

CDatabase* persist_journal(CDataBase& store) {
    return dynamic_cast<CDatabase*>(store.Journal());
}

CDatabase::CDatabase(CDataBase& owner) : owner_(owner) {}

CDatabase::~CDatabase() {
    if (!mutexes_) return;
    tx_mutex_delete(&flash_mutex_);
    tx_mutex_delete(&index_mutex_);
}

CDatabase& CDatabase::Instance(CDataBase& owner) {
    static CDatabase journal(owner);
    return journal;
}

// ---- locks ------------------------------------------------------------------------

void CDatabase::CreateMutexes() {
    if (mutexes_) return;
    tx_mutex_create(&flash_mutex_, "Flash Database Mutex", TX_INHERIT);
    tx_mutex_create(&index_mutex_, "Delete Object", TX_INHERIT);
    mutexes_ = true;
}

// Start-up code runs before the kernel schedules threads and cannot wait: it
// goes ahead without the mutex (it runs alone).
bool CDatabase::LockFlash() {
    if (!mutexes_ || tx_in_non_thread_context()) return false;
    return tx_mutex_get(&flash_mutex_, TX_WAIT_FOREVER) == TX_SUCCESS;
}
void CDatabase::UnlockFlash() {
    tx_mutex_put(&flash_mutex_);
}
bool CDatabase::LockIndex() {
    if (!mutexes_ || tx_in_non_thread_context()) return false;
    return tx_mutex_get(&index_mutex_, TX_WAIT_FOREVER) == TX_SUCCESS;
}
void CDatabase::UnlockIndex() {
    tx_mutex_put(&index_mutex_);
}

// ---- files ------------------------------------------------------------------------

bool CDatabase::FileExists(const char* name) {
    return name && mon_tfsstat(name) != nullptr;
}

// A journal file is used only when it has exactly the journal's size, so that
// no scan can run past its end.
void CDatabase::LookUp(int file) {
    TFSHDR* header = mon_tfsstat(FILE_NAMES[file]);
    files_[file] = FileState();
    if (header && tfs_file_size(header) == FILE_BYTES)
        files_[file].data = tfs_file_data(header);
    else if (header)
        console_printf("\t%s has a wrong size:%u\n", FILE_NAMES[file],
                       unsigned(tfs_file_size(header)));
}

void CDatabase::Forget(int file) {
    files_[file] = FileState();
    if (active_ == file) active_ = -1;
}

const char* CDatabase::ActiveName() const {
    return active_ < 0 ? nullptr : FILE_NAMES[active_];
}

// Step back from the last byte over erased bytes.
void CDatabase::RecomputeEnd(int file) {
    FileState& f = files_[file];
    if (!f.data) return;
    f.end = erased_tail(f.data, FILE_BYTES);
    f.end_known = true;
}

uint32_t CDatabase::FFS_FU(int file, bool locked) {
    if (file < 0 || file > 1) {
        console_printf("CDB::FFS_FU:null ptr\n");
        return 0;
    }
    bool held = !locked && LockFlash();
    RecomputeEnd(file);
    uint32_t used = files_[file].end;
    if (held) UnlockFlash();
    return used;
}

uint32_t CDatabase::ActiveUsed() {
    if (active_ < 0) return 0;
    if (!files_[active_].end_known) {
        PriorityScope raised(0);
        FFS_FU(active_, false);
    }
    return files_[active_].end;
}

unsigned CDatabase::UsedPercent() {
    if (active_ >= 0 && (files_[active_].end_known || !percent_known_)) {
        used_percent_ = uint8_t(uint64_t(ActiveUsed()) * 100 / FILE_BYTES);
        percent_known_ = true;
    }
    return used_percent_;
}

bool CDatabase::CheckHeader(int file) const {
    const uint8_t* h = files_[file].data;
    if (!h || h[0] != MARK_COMMITTED) return false;
    return journal_crc(h + 1, 10) == be16(h + 11);
}

// The valid file of the lower generation (nv1.dat on a tie) is used. The
// other one is removed, unless it is the target of a compaction that a
// restart cut short: then it stays, and the copy resumes where it stood.
int CDatabase::ChooseFile() {
    bool counts[2] = {CheckHeader(0), CheckHeader(1)};
    resume_target_ = -1;
    if (!counts[0] && counts[1]) return 1;
    if (!counts[1]) return 0;
    int keep = be32(files_[1].data + 2) < be32(files_[0].data + 2) ? 1 : 0;
    if (IsCompactionTarget(1 - keep, keep)) {
        resume_target_ = 1 - keep;
        return keep;
    }
    mon_tfsunlink(FILE_NAMES[1 - keep]);
    Forget(1 - keep);
    return keep;
}

// A compaction target has the header of the file it copies, but for its
// generation, which is one higher.
bool CDatabase::IsCompactionTarget(int file, int of) const {
    const uint8_t* t = files_[file].data;
    const uint8_t* h = files_[of].data;
    return be32(t + 2) == be32(h + 2) + 1 && t[1] == h[1] && std::memcmp(t + 6, h + 6, 5) == 0;
}

// Creates the file (when absent) and appends its header: committed from the
// start when it copies `previous` (a compaction target), else uncommitted
// until the factory defaults were journalled into it.
int CDatabase::FFS_SDH(const uint8_t* previous, int file) {
    if (file < 0 || file > 1) {
        console_printf("CDatabase::FFS_SDH: null ptr\n");
        return 0;
    }
    uint8_t header[HEADER_BYTES];
    header[0] = previous ? MARK_COMMITTED : 0xFF;
    header[1] = 0;
    put32(header + 2, previous ? be32(previous + 2) + 1 : 0);
    header[6] = 0;
    put32(header + 7, IMAGE_BYTES);
    put16(header + 11, journal_crc(header + 1, 10));
    header[13] = MARK_END;
    const char* name = FILE_NAMES[file];
    if (!FileExists(name)) {
        long free_bytes = mon_tfsctrl(TFS_CTRL_FREESPACE, 0, 0);
        if (free_bytes < long(FILE_BYTES)) {
            // A restart helps only when the deleted space makes up the rest;
            // otherwise it would restart for ever.
            long dead = mon_tfsctrl(TFS_CTRL_DEADSPACE, 0, 0);
            if (free_bytes >= 0 && dead >= 0 && free_bytes + dead >= long(FILE_BYTES)) {
                // This restart belongs to the start in progress: the early-
                // restart count and the clock stay as they are across it.
                bus_write8(BUS_EARLY_RESTART, bus_read8(BUS_EARLY_RESTART) | kDefragRestart);
                defrag_reset();
                return 0;
            }
            console_printf("CDatabase::FFS_SDH: no room for %s\n", name);
            return 0;
        }
        mon_tfsadd(name, nullptr, "i", nullptr, int(FILE_BYTES));
    }
    LookUp(file);
    uint32_t record = 0;
    int r = write(file, header, HEADER_BYTES, &record, true);
    if (!r) console_printf("CDatabase::FFS_SDH: failed to save header\n");
    return r;
}

int CDatabase::CreateFresh(int file, const char* failure_line) {
    active_ = file;
    if (FFS_SDH(nullptr, file)) return 1;
    console_printf("%s", failure_line);
    active_ = -1;
    return 0;
}

void CDatabase::Close() {
    bool held = LockFlash();
    closed_ = true;
    Forget(0);
    Forget(1);
    defrag_state_ = DEFRAG_IDLE;
    if (held) UnlockFlash();
}

int CDatabase::Commit() {
    if (active_ < 0) return TFSERR_NOFILE;
    const uint8_t mark = MARK_COMMITTED;
    return mon_tfsipmod(FILE_NAMES[active_], &mark, 0, 1);
}

// ---- append -----------------------------------------------------------------------

int CDatabase::write(int file, const uint8_t* bytes, uint32_t length, uint32_t* record,
                     bool recompute_one) {
    if (file < 0 || file > 1 || !bytes || !record) return 0;
    if (first_append_ || recompute_) {
        first_append_ = recompute_ = false;
        RecomputeEnd(0);
        RecomputeEnd(1);
    } else if (recompute_one) {
        RecomputeEnd(file);
    }
    FileState& f = files_[file];
    if (!f.data || !f.end_known || uint64_t(f.end) + length >= FILE_BYTES) return 0;
    uint32_t at = f.end;
    *record = at;
    int rc = mon_tfsipmod(FILE_NAMES[file], bytes, int(at), int(length));
    f.end = at + length; // the space counts as used even when the write failed
    if (rc == 0) return 1;
    console_printf("%s,0x%08X,0x%08X - 0x%08X = %d,%d\n", FILE_NAMES[file], low32(bytes),
                   low32(f.data + at), low32(f.data), int(at), int(length));
    console_printf("CDatabase::write: mon_tfsipmod failed:%d\n", rc);
    return 0;
}

// Append and index under the "Flash Database Mutex", so that an index entry
// always names a record of the file that is active when it is entered.
int CDatabase::AppendRecord(uint32_t object, const uint8_t* value, uint32_t value_length,
                            uint32_t* record) {
    uint8_t bytes[kMaxRecord];
    const uint32_t length = 6 + value_length;
    bytes[0] = MARK_LIVE;
    put16(bytes + 1, length);
    put32(bytes + 3, object);
    std::memcpy(bytes + 7, value, value_length);
    put16(bytes + length + 1, journal_crc(bytes + 1, length));
    bytes[length + 3] = MARK_END;
    bool held = LockFlash();
    if (closed_) { // kept in the image alone
        if (held) UnlockFlash();
        return 1;
    }
    uint32_t at = 0;
    int r = write(active_, bytes, length + 4, &at, false);
    if (r) {
        IndexRecord(object, at);
        if (record) *record = at;
    }
    if (held) UnlockFlash();
    return r;
}

int CDatabase::INT8(uint32_t offset, uint8_t value, uint32_t* record) {
    return AppendRecord(offset, &value, 1, record);
}

int CDatabase::INT16(uint32_t offset, uint16_t value, uint32_t* record) {
    uint8_t v[2];
    put16(v, value);
    return AppendRecord(offset, v, 2, record);
}

int CDatabase::INT32(uint32_t offset, uint32_t value, uint32_t* record) {
    uint8_t v[4];
    put32(v, value);
    return AppendRecord(offset, v, 4, record);
}

// An empty string is journalled as a record with the NUL alone, so that it
// survives a restart that comes before the next delete pass.
int CDatabase::STRING(uint32_t offset, const void* bytes, uint16_t length, uint32_t* record) {
    if (length > MAX_STRING || (length && !bytes)) return 0;
    uint8_t value[MAX_STRING + 1];
    if (length) std::memcpy(value, bytes, length);
    value[length] = 0;
    return AppendRecord(offset, value, uint32_t(length) + 1, record);
}

// The store's hook: 1 when the record was appended (or the journal was
// closed ahead of a restart); 0 when the journal refused it or there is no
// journal file to append to, which the store reports to the writer: a change
// that would not outlive a restart is not made.
int CDatabase::AppendInt(uint32_t offset, unsigned width, uint32_t value) {
    if (NoFile(offset)) return 0;
    uint32_t record = 0;
    int r = 0;
    if (width == 1) r = INT8(offset, uint8_t(value), &record);
    if (width == 2) r = INT16(offset, uint16_t(value), &record);
    if (width == 4) r = INT32(offset, value, &record);
    if (!r) ReportRefused(offset);
    return r;
}

int CDatabase::AppendString(uint32_t offset, const void* bytes, uint32_t length) {
    if (NoFile(offset)) return 0;
    uint32_t record = 0;
    int r = length <= MAX_STRING ? STRING(offset, bytes, uint16_t(length), &record) : 0;
    if (!r) ReportRefused(offset);
    return r;
}

bool CDatabase::NoFile(uint32_t offset) {
    if (active_ >= 0 || closed_) return false;
    console_printf("CDatabase: no journal file: object %u not changed\n", unsigned(offset));
    return true;
}

void CDatabase::ReportRefused(uint32_t offset) {
    console_printf("CDatabase: %s refused the record of object %u\n", ActiveName(),
                   unsigned(offset));
}

// ---- pending index and delete passes ------------------------------------------------

// The pending index holds at most one entry per object; `pending_slot_`
// finds an image object's entry without a scan of the index.
uint32_t CDatabase::PendingSlot(uint32_t object) const {
    if (object < IMAGE_BYTES) {
        const uint32_t slot = pending_slot_[object];
        return slot != 0 ? slot - 1 : pending_count_;
    }
    uint32_t i = 0;
    while (i < pending_count_ && pending_[i].object != object)
        ++i;
    return i;
}

// Called holding the index mutex (or alone on the processor).
void CDatabase::ClearPending() {
    for (uint32_t i = 0; i < pending_count_; ++i)
        if (pending_[i].object < IMAGE_BYTES) pending_slot_[pending_[i].object] = 0;
    pending_count_ = 0;
}

// Called with the "Flash Database Mutex" held. A full index is flushed at
// once by a delete pass over its entries (one scan for 8000 objects).
void CDatabase::IndexRecord(uint32_t object, uint32_t address) {
    bool held = LockIndex();
    uint32_t i = PendingSlot(object);
    if (i == pending_count_ && pending_count_ == PENDING_ENTRIES) {
        DeletePass(pending_, pending_count_);
        ClearPending();
        i = 0;
    }
    pending_[i] = Entry{address, object};
    if (i == pending_count_) {
        ++pending_count_;
        if (object < IMAGE_BYTES) pending_slot_[object] = uint16_t(pending_count_);
    }
    if (held) UnlockIndex();
}

void CDatabase::MarkDeleted(uint32_t address) {
    const uint8_t mark = MARK_DELETED;
    int rc = mon_tfsipmod(FILE_NAMES[active_], &mark, int(address), 1);
    if (rc == 0) return;
    const uint8_t* data = files_[active_].data;
    console_printf("%s,0x%08X,0x%08X - 0x%08X = %d,%d\n", FILE_NAMES[active_], low32(&mark),
                   low32(data + address), low32(data), int(address), 1);
    console_printf("CDatabase::delete_obj's: mon_tfsipmod failed:%d\n", rc);
}

// Marks deleted every live record of the active file older than the entry of
// its object. The list is sorted in place by object for the look-up.
void CDatabase::DeletePass(Entry* sorted, uint32_t count) {
    if (active_ < 0 || !files_[active_].data || !count) return;
    std::sort(sorted, sorted + count,
              [](const Entry& a, const Entry& b) { return a.object < b.object; });
    const uint8_t* data = files_[active_].data;
    const uint32_t bound = files_[active_].end;
    uint32_t at = HEADER_BYTES;
    while (at < bound) {
        uint32_t length = framed(data, at, bound);
        if (!length) {
            ++at;
            continue;
        }
        if (data[at] == MARK_LIVE) {
            uint32_t object = be32(data + at + 3);
            const Entry* e =
                std::lower_bound(sorted, sorted + count, object,
                                 [](const Entry& a, uint32_t o) { return a.object < o; });
            if (e != sorted + count && e->object == object && e->address > at) MarkDeleted(at);
        }
        at += length + 4;
    }
}

void CDatabase::Deleting() {
    if (closed_) return;
    uint32_t count = 0;
    {
        PriorityScope raised(0);
        bool held = LockIndex();
        count = pending_count_;
        std::copy(pending_, pending_ + count, delete_list_);
        ClearPending();
        if (held) UnlockIndex();
    }
    if (!count) return;
    trace_printf("CDB::Deleting:%d\n", int(count));
    DeletePass(delete_list_, count);
    trace_printf("CDB::Delete Complete\n");
}

// ---- load and replay --------------------------------------------------------------

int CDatabase::Load() {
    console_printf(" - Find Flash DB File\t\t\t\t\t");
    for (int f = 0; f < 2; ++f) {
        LookUp(f);
        if (FileExists(FILE_NAMES[f]) && !CheckHeader(f)) {
            mon_tfsunlink(FILE_NAMES[f]);
            Forget(f);
        }
    }
    active_ = -1;
    const int file = ChooseFile();
    const char* name = FILE_NAMES[file];
    if (!files_[file].data) {
        console_printf("[FAIL]\n");
        console_printf("\tCreating %s\n", name);
        if (!CreateFresh(file, "\tfailed saving header 1st boot\n")) {
            mon_tfsunlink(name);
            CreateFresh(file, "\tfailed saving header 1st boot retry\n");
        }
        return 0;
    }
    console_printf("[ OK ]\n");
    console_printf(" - Loading off %s\t\t\t\t\t", name);
    const uint8_t* h = files_[file].data;
    struct Check {
        bool ok;
        const char* reason;
        unsigned value;
        const char* failure;
    };
    const Check checks[] = {
        {h[1] == 0, "\tinvalid header rev:%d\n", h[1], "\tfailed saving header,1\n"},
        {h[6] == 0, "\tinvalid database revision:%d\n", h[6], "\tfailed saving header,2\n"},
        {be32(h + 7) == IMAGE_BYTES, "\tdatabase size changed\n", 0, "\tfailed saving header,3\n"},
    };
    for (const Check& c : checks) {
        if (c.ok) continue;
        console_printf("[FAIL]\n");
        console_printf(c.reason, c.value);
        console_printf("\tCreating %s\n", name);
        mon_tfsunlink(name);
        Forget(file);
        if (resume_target_ >= 0) {
            mon_tfsunlink(FILE_NAMES[resume_target_]);
            Forget(resume_target_);
        }
        CreateFresh(file, c.failure);
        return 0;
    }
    active_ = file;
    Replay(file, false);
    console_printf("[ OK ]\n");
    if (resume_target_ >= 0) ResumeCompaction(resume_target_);
    return 1;
}

void CDatabase::NoteReplayed(uint32_t object, bool deleted) {
    if (object >= IMAGE_BYTES) return;
    const uint8_t bit = uint8_t(1u << (object % 8));
    recorded_[object / 8] |= bit;
    if (deleted)
        superseded_last_[object / 8] |= bit;
    else
        superseded_last_[object / 8] &= uint8_t(~bit);
}

// Replays every valid record in file order, the deleted ones too: a later
// record of an object overrides an earlier one, so the newest intact record
// of each object wins, and an object whose newest record was damaged or lost
// falls back to its previous value. A stretch of more than 1700 erased bytes
// ends the journal; damaged bytes are skipped with one console line per stretch.
void CDatabase::Replay(int file, bool quiet) {
    const uint8_t* data = files_[file].data;
    uint8_t* image = owner_.NvImage();
    const uint32_t flags = DB_NO_JOURNAL | DB_NO_VALIDATE;
    uint32_t at = HEADER_BYTES, run_start = 0;
    bool in_run = false, in_damage = false;
    std::memset(superseded_last_, 0, sizeof superseded_last_);
    std::memset(recorded_, 0, sizeof recorded_);
    uint32_t damaged = 0;
    while (at < FILE_BYTES - 1) {
        if (data[at] == 0xFF) {
            if (!in_run) run_start = at;
            in_run = true;
            if (at - run_start >= MAX_LENGTH_FIELD) break; // more than 1700 erased bytes
            ++at;
            continue;
        }
        in_run = false;
        uint32_t length = valid_record(data, at, FILE_BYTES - 1);
        if (!length) {
            if (!in_damage) {
                if (!quiet)
                    console_printf("\tjournal %s: damaged record at 0x%08X skipped\n",
                                   FILE_NAMES[file], unsigned(at));
                ++damaged;
            }
            in_damage = true;
            ++at;
            continue;
        }
        in_damage = false;
        const uint32_t object = be32(data + at + 3);
        const uint8_t* value = data + at + 7;
        const uint32_t width = length - 6;
        if (CDataBase::IsDynamicOffset(object))
            SetString(owner_, object, 4, value, length - 7, image, flags);
        else if (width == 1 || width == 2 || width == 4)
            SetInteger(owner_, object, width,
                       width == 1   ? value[0]
                       : width == 2 ? be16(value)
                                    : be32(value),
                       image, flags);
        NoteReplayed(object, data[at] == MARK_DELETED);
        if (data[at] == MARK_LIVE && !quiet) ++replayed_records_;
        at += length + 4;
    }
    bool lost = false;
    for (uint8_t bits : superseded_last_)
        lost = lost || bits != 0;
    if (!quiet) corrupt_records_ += damaged;
    replay_damaged_ = damaged > 0 || lost;
    if (lost && !quiet)
        console_printf("\tjournal %s: newest records lost, older values used\n", FILE_NAMES[file]);
}

void CDatabase::ReplayAgain() {
    if (active_ >= 0) Replay(active_, true);
}

// ---- compaction -------------------------------------------------------------------

void CDatabase::StateMachine_Defrag() {
    if (closed_) return;
    switch (defrag_state_) {
    case DEFRAG_IDLE:
        DefragIdle();
        break;
    case DEFRAG_COPYING:
        DefragCopy();
        break;
    default:
        DefragClean();
        break;
    }
}

void CDatabase::DefragIdle() {
    if (defrag_countdown_ > 0) {
        --defrag_countdown_;
        return;
    }
    if (active_ < 0) return;
    const uint32_t used = ActiveUsed();
    bool start = false;
    uint32_t features =
        GetInteger(owner_, obj::halvSpecialFeatureSet.offset, 4, owner_.NvImage(), 0);
    if (features & kFeatureScheduledCleanup) {
        uint32_t local = GetInteger(owner_, obj::controllerLocalTime.offset, 4, owner_.VImage(), 0);
        uint8_t day = uint8_t(day_of_month(local));
        if (day == 1 && last_day_ != 1) {
            console_printf("kick off scheduled cleanup event\n");
            start = true;
        }
        last_day_ = day;
    }
    if (used > COMPACT_ABOVE) start = true;
    if (start) CompactionStarted(StartCompaction());
}

// A compaction that cannot start (no room for the other file) is tried again
// after a wait that doubles up to an hour of cycles; the first failure raises
// the controller's PROM error once, a start clears it.
void CDatabase::CompactionStarted(bool started) {
    if (started) {
        retry_cycles_ = 0;
        if (flash_error_) {
            flash_error_ = false;
            if (ChangeControllerError(0, kControllerPromError) == 0)
                short_error_clear(kShortControllerError);
        }
        return;
    }
    retry_cycles_ = retry_cycles_ == 0
                        ? kFirstRetryCycles
                        : uint16_t(std::min<uint32_t>(2u * retry_cycles_, kLastRetryCycles));
    defrag_countdown_ = retry_cycles_;
    if (flash_error_) return;
    flash_error_ = true;
    console_printf("CDatabase: no compaction possible, retried in %u cycles\n",
                   unsigned(retry_cycles_));
    ChangeControllerError(kControllerPromError, 0);
    short_error_set(kShortControllerError);
}

uint32_t CDatabase::ChangeControllerError(uint32_t set_mask, uint32_t clear_mask) {
    const DbObject& o = obj::controllerErrorStatus;
    uint8_t* image = owner_.Image(o.image);
    const uint32_t value =
        (GetInteger(owner_, o.offset, o.width, image, 0) | set_mask) & ~clear_mask;
    SetInteger(owner_, o.offset, o.width, value, image, DB_NOTIFY);
    return value;
}

bool CDatabase::StartCompaction() {
    const int target = 1 - active_;
    const char* name = FILE_NAMES[target];
    if (FileExists(name)) mon_tfsunlink(name); // a leftover is never a valid target
    if (FFS_SDH(files_[active_].data, target)) {
        defrag_target_ = target;
        defrag_state_ = DEFRAG_COPYING;
        copy_at_ = HEADER_BYTES;
        catch_ups_ = kCatchUps;
        copied_ = false;
        return true;
    }
    console_printf("failed to create header unlinking %s\n", name);
    mon_tfsunlink(name);
    files_[target] = FileState();
    return false;
}

// The target holds copies of records of the active file, in the active
// file's order. The copy resumes after the earliest place where every one of
// them is matched: records from there on are copied again, in order, so the
// newest record of every object still comes last.
bool CDatabase::AlignCopy(int target, uint32_t* resume_at) const {
    const uint8_t* from = files_[active_].data;
    const uint8_t* copy = files_[target].data;
    const uint32_t from_end = files_[active_].end, copy_end = files_[target].end;
    uint32_t at = HEADER_BYTES;
    for (uint32_t t = HEADER_BYTES; t < copy_end;) {
        const uint32_t length = valid_record(copy, t, copy_end);
        if (!length) { // a copy cut short: nothing after it counts
            if (copy[t] != 0xFF) return false;
            ++t;
            continue;
        }
        for (;; ++at) {
            if (at >= from_end) return false;
            const uint32_t l = valid_record(from, at, from_end);
            if (l == length && std::memcmp(from + at + 1, copy + t + 1, length + 3) == 0) break;
        }
        at += length + 4;
        t += length + 4;
    }
    *resume_at = at;
    return true;
}

void CDatabase::ResumeCompaction(int target) {
    resume_target_ = -1;
    RecomputeEnd(active_);
    RecomputeEnd(target);
    uint32_t at = 0;
    if (!AlignCopy(target, &at)) {
        console_printf("\t%s does not match %s: removed\n", FILE_NAMES[target],
                       FILE_NAMES[active_]);
        mon_tfsunlink(FILE_NAMES[target]);
        files_[target] = FileState();
        return;
    }
    console_printf("\tcompaction into %s resumes at 0x%08X\n", FILE_NAMES[target], unsigned(at));
    defrag_target_ = target;
    defrag_state_ = DEFRAG_COPYING;
    copy_at_ = at;
    catch_ups_ = kCatchUps;
    copied_ = files_[target].end > HEADER_BYTES;
}

// Whether a newer record of `object` than the one at `address` waits in the
// pending index (it will be copied in its turn).
bool CDatabase::Superseded(uint32_t object, uint32_t address) {
    bool held = LockIndex();
    const uint32_t i = PendingSlot(object);
    const bool newer = i < pending_count_ && pending_[i].address > address;
    if (held) UnlockIndex();
    return newer;
}

// Copies up to `limit` live records from the copy position on, skipping
// deleted, superseded and damaged ones.
CDatabase::CopyStatus CDatabase::CopyRecords(uint32_t limit) {
    const uint8_t* data = files_[active_].data;
    if (pending_count_ > kPendingFlushAt) Deleting();
    for (uint32_t copied = 0; copied < limit;) {
        const uint32_t end = files_[active_].end;
        if (copy_at_ >= end) return COPY_AT_END;
        const uint32_t at = copy_at_;
        const uint32_t length = valid_record(data, at, end);
        if (!length) {
            ++copy_at_;
            continue;
        }
        copy_at_ += length + 4;
        if (data[at] != MARK_LIVE || Superseded(be32(data + at + 3), at)) continue;
        uint32_t record = 0;
        if (!write(defrag_target_, data + at, length + 4, &record, false)) {
            console_printf("CDB::SM_D flash error\n");
            return COPY_FAILED;
        }
        copied_ = true;
        ++copied;
    }
    return COPY_MORE;
}

// Copies the live records into the target one step a tick for one task
// cycle at most; the next cycles go on from where it stood, so the task's
// other work (the delete pass, letters) keeps running during a compaction.
void CDatabase::DefragCopy() {
    trace_printf("CDatabase::StateMachine_Defrag: copying\n");
    if (active_ < 0 || !files_[active_].data || defrag_target_ < 0) {
        defrag_state_ = DEFRAG_CLEANING;
        return;
    }
    PriorityScope copying(kCopyPriority);
    for (ULONG tick = 0; tick < kCopyTicksPerCycle; ++tick) {
        const uint32_t room = FILE_BYTES - files_[active_].end;
        const CopyRate* rate = kCopyRates;
        while (rate->records && room <= rate->room_above)
            ++rate;
        if (!rate->records || catch_ups_ <= 0) {
            FinishCopyHoldingTheMutex();
            return;
        }
        const CopyStatus status = CopyRecords(rate->records);
        if (status == COPY_FAILED) {
            EndCopy(false);
            return;
        }
        if (status == COPY_AT_END && TrySwitch()) return;
        tx_thread_sleep(1);
    }
}

// At the end of the active file: switch when nothing was appended since,
// checked holding the "Flash Database Mutex"; otherwise one catch-up is spent.
bool CDatabase::TrySwitch() {
    bool held = LockFlash();
    const bool caught_up = copy_at_ >= files_[active_].end;
    if (caught_up) EndCopy(true);
    if (held) UnlockFlash();
    if (!caught_up) --catch_ups_;
    return caught_up;
}

void CDatabase::FinishCopyHoldingTheMutex() {
    bool held = LockFlash();
    EndCopy(CopyRecords(FILE_BYTES) != COPY_FAILED);
    if (held) UnlockFlash();
}

void CDatabase::EndCopy(bool ok) {
    const int target = defrag_target_;
    if (ok && copied_) {
        Switch(target);
    } else {
        console_printf("copying failed\n");
        mon_tfsunlink(FILE_NAMES[target]);
        files_[target] = FileState();
    }
    defrag_target_ = -1;
    defrag_state_ = DEFRAG_CLEANING;
}

// The target becomes the active file: the old file's delete pass is
// finished and the index emptied (its entries name old-file records), then
// the old file is removed. The image is not replayed: it is current.
void CDatabase::Switch(int target) {
    const int old = active_;
    Deleting();
    bool held = LockIndex();
    ClearPending();
    if (held) UnlockIndex();
    mon_tfsunlink(FILE_NAMES[old]);
    files_[old] = FileState();
    active_ = target;
    percent_known_ = false;
    trace_printf("CDatabase::StateMachine_Defrag: %s active\n", FILE_NAMES[target]);
}

void CDatabase::DefragClean() {
    trace_printf("CDatabase::StateMachine_Defrag: cleaning\n");
    if (ActiveUsed() > COMPACT_ABOVE) defrag_countdown_ = 360;
    recompute_ = true;
    defrag_state_ = DEFRAG_IDLE;
}

// ---- early restarts -----------------------------------------------------------------

void CDatabase::StateMachine_BootCounter(CDataBase& store, int clear) {
    uint8_t b = bus_read8(BUS_EARLY_RESTART);
    trace_printf("CDatabase::StateMachine_BootCounter:0x%02X\n", unsigned(b));
    if (clear) {
        b &= 0xF0 & ~kDefragRestart;
    } else if (b & kDefragRestart) {
        b &= ~kDefragRestart; // the restart that made room for the journal: not counted
    } else if (!FileExists(FILE_NAMES[0]) && !FileExists(FILE_NAMES[1])) {
        b &= 0xF0; // a controller without journal files starts its clock at 0
        SetGlobalTime(store, obj::globalTime.offset, 4, 0, store.NvImage(), DB_NO_TIME_WARNING);
    } else if ((b & 0x0F) == 15) {
        mon_tfsunlink(FILE_NAMES[0]);
        mon_tfsunlink(FILE_NAMES[1]);
        mon_tfsunlink(kConfigFile);
    } else if (b & 8) {
        b = uint8_t((b + 1) & 0x0F);
        mon_tfsunlink(FILE_NAMES[0]);
        mon_tfsunlink(FILE_NAMES[1]);
    } else if ((b & 7) == 7) {
        b = uint8_t((b & 0xF8) | 8);
    } else {
        b = uint8_t((b + 1) & 0x0F);
    }
    bus_write8(BUS_EARLY_RESTART, b);
}
