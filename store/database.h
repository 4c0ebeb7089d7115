// The object store: every setting and status value of the controller lives in
// one of its two flat images, the non-volatile image (journalled to flash) and
// the volatile image (rebuilt from defaults at every start). An object is a
// value at a fixed byte offset of one image: an integer of 1, 2 or 4 bytes
// (big-endian) or a dynamic object whose 4-byte slot holds the board address
// of a block {u32 length, bytes, NUL} from the "dynamic database" pool.
//
// Every subsystem reads and writes objects only through the operations below,
// by (offset, width, image) or by a catalogue object (store/objects.h).
#pragma once

#include "platform/kernel/kernel.h"

#include <cstddef>
#include <cstdint>

// From the catalogue (store/objects.h): DbImage { NV, V } and DbObject.
enum class DbImage : uint8_t;
struct DbObject;

class CTaskBase;
class subscriber;

// Set flags of the write operations (combinable).
const uint32_t DB_NOTIFY = 1;          // run change notification after the write
const uint32_t DB_NO_JOURNAL = 2;      // no journal record (and no global-time warning)
const uint32_t DB_NO_TIME_WARNING = 4; // caller touches the global-time offset knowingly
const uint32_t DB_NO_VALIDATE = 8;     // skip value validation

// Results of the write operations.
const int DB_OK = 0;       // written, or unchanged
const int DB_REFUSED = 3;  // value out of range, transition not allowed, OID refused
const int DB_REFUSED5 = 5; // row state forbids the change, no image, no memory

// Notification reasons.
const int DB_REASON_UNCHANGED = 1;
const int DB_REASON_CHANGED = 2;

// The flash journal as the operations see it: one record per changed
// non-volatile object. Implemented by the journal; null means no journal.
// Records are appended only while the flash-mode byte is non-zero and the
// writer did not pass DB_NO_JOURNAL. AppendString is called with the store
// lock held, so that records of one object follow the order of its values:
// the journal must take the store lock before its own lock (never the other
// way round) when it reads strings while holding its own lock. The appends
// give 1 when the record is kept, 0 when the journal refused it (full): the
// write is then refused (DB_REFUSED5) and the object keeps its old value.
class CJournalSink {
  public:
    virtual ~CJournalSink() = default;
    // An integer record (width 1, 2 or 4) of the value at `offset`.
    virtual int AppendInt(uint32_t offset, unsigned width, uint32_t value) = 0;
    // A string record; length 0 records that the object became empty.
    virtual int AppendString(uint32_t offset, const void* bytes, uint32_t length) = 0;
    // Percentage 0..100 of the journal space in use.
    virtual unsigned UsedPercent() { return 0; }
    // Whether a non-volatile string of `length` bytes fits a journal record.
    virtual bool StringFits(uint32_t length) { return length <= 0xFFFFu; }
};

// Not CDatabase (store/journal.h), the flash journal: this is the object store.
class CDataBase {
  public:
    static const uint32_t NV_IMAGE_BYTES = 98108;
    static const uint32_t V_IMAGE_BYTES = 26348;
    static const uint32_t FONT_ROWS = 20;
    static const uint32_t MAX_NV_STRING = 2000; // longer NV blocks read as empty

    // State word: the flash-mode byte in the most significant byte, and two bits.
    static const uint32_t STATE_FLASH_MODE_SHIFT = 24;
    static const uint32_t STATE_NOTIFY_ON = 0x800000;
    static const uint32_t STATE_VALIDATE_ON = 0x400000;

    // OID-check word bits (event-configuration compare and log OIDs).
    static const uint32_t OID_CHECK_COMPARE = 0x10;
    static const uint32_t OID_CHECK_LOG = 0x20;

    // Images zero, flash mode on, validation on, notification off.
    CDataBase();
    ~CDataBase();
    CDataBase(const CDataBase&) = delete;
    CDataBase& operator=(const CDataBase&) = delete;

    // --- images -------------------------------------------------------------
    uint8_t* NvImage() { return nv_; }
    uint8_t* VImage() { return v_; }
    uint8_t* Image(DbImage image);
    bool IsVolatile(const uint8_t* image) const { return image == v_; }
    // Size of the image `image` points at (the volatile image or any other
    // non-null image taken as non-volatile); 0 for null.
    uint32_t ImageBytes(const uint8_t* image) const;

    // Non-volatile offset holding a dynamic object? (the journal's replay)
    static bool IsDynamicOffset(uint32_t nv_offset);
    // Volatile offset inside a dynamic object's slot?
    static bool IsDynamicVolatileOffset(uint32_t v_offset);

    // --- state word -----------------------------------------------------------
    uint8_t IsFlashMode() const { return uint8_t(state_ >> STATE_FLASH_MODE_SHIFT); }
    void SetFlashMode(uint8_t mode);
    bool NotifyOn() const { return (state_ & STATE_NOTIFY_ON) != 0; }
    bool ValidateOn() const { return (state_ & STATE_VALIDATE_ON) != 0; }
    void SetNotifyOn(bool on);
    void SetValidateOn(bool on);
    uint32_t StateWord() const { return state_; }
    // Bulk writers: save both bits and clear them; give the saved word back.
    uint32_t SuspendNotifyAndValidate();
    void RestoreNotifyAndValidate(uint32_t saved);
    // Bulk writers (factory and run-time defaults at run time) switch
    // notification and validation off for the calling thread's own writes
    // only: another thread's writes meanwhile are notified and validated as
    // usual. Calls nest per thread; at most QUIET_WRITERS threads at once
    // (a further one writes with the store's bits as they stand).
    static const unsigned QUIET_WRITERS = 4;
    void BeginQuietWrites();
    void EndQuietWrites();
    // The store's bits as they apply to a write of the calling thread.
    bool NotifiesCaller() const { return NotifyOn() && !CallerIsQuiet(); }
    bool ValidatesCaller() const { return ValidateOn() && !CallerIsQuiet(); }
    // Object access by OID text: mode bit 0 notify on, bit 1 validate on;
    // sets both bits from `mode` and returns the previous mode in that form.
    unsigned SwapPermissionMode(unsigned mode);

    uint8_t Initialised() const { return initialised_; }
    void SetInitialised(uint8_t v) { initialised_ = v; }
    uint8_t BootCounterCleared() const { return boot_counter_cleared_; }
    void SetBootCounterCleared(uint8_t v) { boot_counter_cleared_ = v; }
    // The timer that clears the early-restart counter after 30 seconds of
    // running (started at the end of Init).
    void StartHealthyRunTimer();
    void StopHealthyRunTimer();
    uint32_t OidCheckWord() const { return oid_check_; }
    void SetOidCheckWord(uint32_t w) { oid_check_ = w; }
    uint32_t& FontChangeCount(unsigned font_row) { return font_changes_[font_row % FONT_ROWS]; }

    // --- journal hook ---------------------------------------------------------
    void BindJournal(CJournalSink* journal) { journal_ = journal; }
    CJournalSink* Journal() const { return journal_; }

    // --- the store lock ------------------------------------------------------------
    // One kernel mutex around the replacement and copy-out of dynamic blocks
    // (created on first use from thread context). Recursive for its owner.
    void Lock();
    void Unlock();

    // --- the shared default block ------------------------------------------------
    // One read-only block that many dynamic objects point at while they hold
    // the same long default value (SetStringShared). A write never changes
    // or releases it: the object gets a block of its own.
    uint8_t* SharedBlock() const { return shared_block_; }
    void SetSharedBlock(uint8_t* block) { shared_block_ = block; }

    // --- task and start-up -------------------------------------------------
    // Creates the "Database" task (stack from `stacks`, priority 4, period 100).
    bool Start(TX_BYTE_POOL& stacks);
    // Attaches the task's subscriber (codes 68..71) to the post office.
    void Subscribe();
    // Fills the images (journal or factory defaults), runs the run-time
    // defaults and ends with notification and validation on.
    void Init();
    // One cycle of the task (letters, flash mode, journal housekeeping).
    void Run();
    CTaskBase* Task();
    // The task's post-office attachment (its mailbox).
    subscriber* Mail();

    // Factory defaults of the non-volatile image (0 = full reset) and the
    // run-time defaults of the volatile image (defined with the catalogue).
    void SetDefaults(int reset);
    void InitVolatile();
    // Font version identifiers (defined with the font objects).
    void ComputeFontCRC(unsigned font_row);
    void FontChangeService();

    // --- change notification (store/notify.cpp) ----------------------------
    void Notify(uint32_t offset, const uint8_t* image, int reason);

    // --- validation (store/validate.cpp) --------------------------------------
    int ValidateInteger(uint32_t offset, unsigned width, uint32_t value, uint8_t* image);
    int ValidateString(uint32_t offset, unsigned width, const void* bytes, uint32_t length,
                       uint8_t* image);

    // --- services for the protocol agents (store/agent_services.cpp) --------
    // 2 privileged, 1 user, 0 none; mask all ones for the privileged community.
    int LookupCommunity(const char* community, uint32_t* mask);
    // Same level; the mask starts at 0 and the privileged community's mask is 0.
    int LookupCommunity2(const char* community, uint32_t* mask);
    // 255 when `address` is one of the 10 PMPP group addresses, else 0.
    int IsGroupAddress(uint32_t address);
    // Stable copies of the PPP CHAP name and secret (NUL-terminated,
    // truncated to size - 1). Return the copied length.
    uint32_t GetChapName(char* buffer, uint32_t size);
    uint32_t GetChapSecret(char* buffer, uint32_t size);
    // The texts themselves (valid until the object is next written).
    const char* GetChapName();
    const char* GetChapSecret();
    // Raise a 4-byte volatile counter (obj::snmpInPkts, obj::panynjObj1_5, ...)
    // by one under the store lock, wrapping silently. -> the write's result.
    int IncCounter(const DbObject& counter);
    int ClearPanynjCounter();
    // Bit 0x20 of halvSpecialFeatureSet: the clock runs in local time.
    int IsLocalTimeFeature();
    void SetLocalTimeFeature(int on);
    // Journal space in use, 0..100.
    unsigned FlashUsedPercent();

    // Prints the dynamic pool's state at trace level.
    void PrintPoolInfo();

  private:
    CTaskBase* task_ = nullptr;
    uint8_t boot_counter_cleared_ = 0;
    CJournalSink* journal_ = nullptr;
    uint8_t initialised_ = 0;
    alignas(4) uint8_t nv_[NV_IMAGE_BYTES];
    alignas(4) uint8_t v_[V_IMAGE_BYTES];
    uint32_t font_changes_[FONT_ROWS];
    uint32_t oid_check_ = 0;
    uint32_t state_ = 0;
    TX_MUTEX lock_{};
    bool lock_created_ = false;
    uint8_t* shared_block_ = nullptr;
    TX_TIMER healthy_timer_{};
    bool CallerIsQuiet() const;
    struct quiet_writer {
        const void* caller;
        uint32_t depth;
    };
    quiet_writer quiet_[QUIET_WRITERS] = {};
    bool healthy_timer_created_ = false;
};

// The one object store.
CDataBase& TheDatabase();

// --- the six object operations ------------------------------------------------
// Integer read: zero-extended; 0 for a null image or a width other than 1, 2, 4.
uint32_t GetInteger(CDataBase& store, uint32_t offset, unsigned width, uint8_t* image,
                    uint32_t flags);
// Integer write: validate (unless DB_NO_VALIDATE), compare, store, journal a
// changed non-volatile value, notify (DB_NOTIFY). Width 2 refuses > 65535 (3).
int SetInteger(CDataBase& store, uint32_t offset, unsigned width, uint32_t value, uint8_t* image,
               uint32_t flags);
// String read: the object's bytes (NUL-terminated, never null) and their
// count. The pointer stays valid only until the object is next written; use
// GetStringCopy for a value that must stay stable while others write.
const char* GetString(CDataBase& store, uint32_t offset, unsigned width, uint8_t* image,
                      uint32_t* length);
// String read into `buffer` under the store lock: copies at most size - 1
// bytes, appends a NUL (size > 0), returns the copied count; `length` (when
// given) receives the object's full length.
uint32_t GetStringCopy(CDataBase& store, uint32_t offset, unsigned width, uint8_t* image,
                       void* buffer, uint32_t size, uint32_t* length = nullptr);
// String write: a new block is allocated before the old one is released, so a
// failed allocation (5) keeps the old value. Null bytes with length 0 empties.
int SetString(CDataBase& store, uint32_t offset, unsigned width, const void* bytes, uint32_t length,
              uint8_t* image, uint32_t flags);
// String write of a long default value held by many objects: the object's
// slot points at the store's one shared block (taken from the pool at the
// first call) instead of a block of its own, so that the rows read as the
// value without each taking length + 5 bytes of the pool. Only one value can
// be shared: another value is written as by SetString.
int SetStringShared(CDataBase& store, uint32_t offset, unsigned width, const void* bytes,
                    uint32_t length, uint8_t* image, uint32_t flags);
// Global time, held by the board's clock device (not the image).
uint32_t GetGlobalTime(CDataBase& store, uint32_t offset, unsigned width, uint8_t* image,
                       uint32_t flags);
int SetGlobalTime(CDataBase& store, uint32_t offset, unsigned width, uint32_t value, uint8_t* image,
                  uint32_t flags);

// Pointer forms of the same operations (a null store reads 0 / refuses with 5).
uint32_t GetInteger(CDataBase* store, uint32_t offset, unsigned width, uint8_t* image,
                    uint32_t flags);
int SetInteger(CDataBase* store, uint32_t offset, unsigned width, uint32_t value, uint8_t* image,
               uint32_t flags);
const char* GetString(CDataBase* store, uint32_t offset, unsigned width, uint8_t* image,
                      uint32_t* length);
int SetString(CDataBase* store, uint32_t offset, unsigned width, const void* bytes, uint32_t length,
              uint8_t* image, uint32_t flags);
uint32_t GetGlobalTime(CDataBase* store, uint32_t offset, unsigned width, uint8_t* image,
                       uint32_t flags);
int SetGlobalTime(CDataBase* store, uint32_t offset, unsigned width, uint32_t value, uint8_t* image,
                  uint32_t flags);

// --- catalogue objects in a given store -----------------------------------------
// The operations above on a catalogue object (its offset, width and image).
uint32_t GetInteger(CDataBase& store, const DbObject& object, uint32_t flags = 0);
int SetInteger(CDataBase& store, const DbObject& object, uint32_t value, uint32_t flags);
const char* GetString(CDataBase& store, const DbObject& object, uint32_t* length = nullptr);
uint32_t GetStringCopy(CDataBase& store, const DbObject& object, void* buffer, uint32_t size,
                       uint32_t* length = nullptr);
int SetString(CDataBase& store, const DbObject& object, const void* bytes, uint32_t length,
              uint32_t flags);

// --- convenience forms on catalogue objects (the one store) -----------------
uint32_t db_get(const DbObject& object, uint32_t flags = 0);
// Signed read: the stored value sign-extended from the object's width.
int32_t db_get_signed(const DbObject& object, uint32_t flags = 0);
int db_set(const DbObject& object, uint32_t value, uint32_t flags);
// Sets then clears bits of an integer object under the store lock, so that
// writers of different bits of one status word never lose each other's
// change (shortErrorStatus, controllerErrorStatus). -> db_set's result.
int db_change_bits(const DbObject& object, uint32_t set_mask, uint32_t clear_mask, uint32_t flags);
const char* db_get_string(const DbObject& object, uint32_t* length = nullptr);
uint32_t db_get_string_copy(const DbObject& object, void* buffer, uint32_t size,
                            uint32_t* length = nullptr);
int db_set_string(const DbObject& object, const void* bytes, uint32_t length, uint32_t flags);
// Text form: length taken up to the NUL.
int db_set_text(const DbObject& object, const char* text, uint32_t flags);
// globalTime (flag DB_NO_TIME_WARNING implied).
uint32_t db_get_time();
int db_set_time(uint32_t seconds, uint32_t flags);
