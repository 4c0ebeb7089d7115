// The persistence side of the object store: its start-up (journal replay or
// factory defaults, the early-restart rule) and the "Database" task's cycle
// (letters, flash-mode following, the journal's delete pass and compaction,
// clearing the early-restart counter after a healthy run).
#include "runtime/console.h"
#include "runtime/post_office.h"
#include "runtime/task_base.h"
#include "store/config_file.h"
#include "store/database.h"
#include "store/filesystem.h"
#include "store/journal.h"
#include "store/objects.h"

#include <cstring>

namespace {

const uint32_t kFeatureVolatileOnly = 0x800; // "USE VOLATILE DATABASE"
const ULONG kHealthyRunTicks = 3000;         // 30 seconds

uint32_t feature_set(CDataBase& store) {
    return GetInteger(store, obj::halvSpecialFeatureSet.offset, 4, store.NvImage(), 0);
}

// "CONFIG.XML" holds the configuration objects of the firmware's one store.
void restore_config(CDataBase& store) {
    if (&store == &TheDatabase()) CFile_Config::Restore(&TheSystemMedia(), &TheFileSystem());
}

CDatabase& journal_of(CDataBase& store) {
    CDatabase* journal = persist_journal(store);
    if (!journal) {
        journal = &CDatabase::Instance(store);
        store.BindJournal(journal);
    }
    return *journal;
}

// Follows bit 0x800 of halvSpecialFeatureSet: journalling on when clear,
// off when set; with journalling on, one delete pass and compaction step.
void service_flash_mode(CDataBase& store, CDatabase* journal) {
    const uint32_t features = feature_set(store);
    const uint32_t nv = obj::halvSpecialFeatureSet.offset;
    if (!(features & kFeatureVolatileOnly) && store.IsFlashMode() == 0) {
        console_printf("enabling flash database, running in non-volatile mode\n");
        store.SetFlashMode(1);
        // Two changes, so that the journal holds the current value.
        SetInteger(store, nv, 4, features | kFeatureVolatileOnly, store.NvImage(), DB_NOTIFY);
        SetInteger(store, nv, 4, features & ~kFeatureVolatileOnly, store.NvImage(), DB_NOTIFY);
    } else if ((features & kFeatureVolatileOnly) && store.IsFlashMode() != 0) {
        console_printf("disabling flash database, running in volatile only mode\n");
        store.SetFlashMode(0);
    }
    if (store.IsFlashMode() && journal) {
        journal->Deleting();
        journal->StateMachine_Defrag();
    }
}

// An object whose every record was lost takes its factory value, and that
// value is journalled so that it outlives the damaged records; objects with
// an intact record are left to the replay that follows.
class UnrecordedOnly : public CJournalSink {
  public:
    explicit UnrecordedOnly(CDatabase& journal) : journal_(journal) {}
    int AppendInt(uint32_t offset, unsigned width, uint32_t value) override {
        return journal_.HadRecord(offset) ? 1 : journal_.AppendInt(offset, width, value);
    }
    int AppendString(uint32_t offset, const void* bytes, uint32_t length) override {
        return journal_.HadRecord(offset) ? 1 : journal_.AppendString(offset, bytes, length);
    }
    bool StringFits(uint32_t length) override { return journal_.StringFits(length); }

  private:
    CDatabase& journal_;
};

// Empties the non-volatile image, giving its string blocks back.
void clear_nv_image(CDataBase& store) {
    for (uint32_t o = 0; o < CDataBase::NV_IMAGE_BYTES; o += 4)
        if (CDataBase::IsDynamicOffset(o))
            SetString(store, o, 4, nullptr, 0, store.NvImage(), DB_NO_JOURNAL | DB_NO_VALIDATE);
    std::memset(store.NvImage(), 0, CDataBase::NV_IMAGE_BYTES);
}

// The replay met damaged or lost records: every object gets its newest intact
// record, else its factory value, and "CONFIG.XML" is restored over them.
void recover_damaged_journal(CDataBase& store, CDatabase& journal) {
    console_printf("\tjournal damaged: factory values and CONFIG.XML fill what was lost\n");
    clear_nv_image(store);
    UnrecordedOnly sink(journal);
    store.BindJournal(&sink);
    store.SetDefaults(0);
    store.BindJournal(&journal);
    journal.ReplayAgain();
    restore_config(store);
}

// A fresh journal file: the factory defaults and CONFIG.XML are journalled
// into it, then it is committed. Without a file the image takes them alone,
// and every later change of a non-volatile object is refused.
void start_on_fresh_journal(CDataBase& store, CDatabase& journal) {
    const bool file = journal.ActiveName() != nullptr;
    if (!file) {
        console_printf("\tno journal file: non-volatile objects keep their start-up values\n");
        store.BindJournal(nullptr);
    }
    std::memset(store.NvImage(), 0, CDataBase::NV_IMAGE_BYTES);
    store.SetDefaults(0);
    restore_config(store);
    if (!file) {
        store.BindJournal(&journal);
        return;
    }
    int rc = journal.Commit();
    if (rc != 0) console_printf("\tCDatabase::Init: mon_tfsipmod failed:%d\n", rc);
}

// The early-restart counter is cleared once the system has run for 30
// seconds, by a timer of its own: whatever the task is busy with (a long
// compaction) cannot delay it.
CDataBase* g_timed_store = nullptr;

void clear_after_healthy_run(CDataBase& store) {
    if (store.BootCounterCleared()) return;
    CDatabase::StateMachine_BootCounter(store, 1);
    store.SetBootCounterCleared(1);
}

void healthy_run_expiry(ULONG) {
    if (g_timed_store) clear_after_healthy_run(*g_timed_store);
}

} // namespace

void CDataBase::StartHealthyRunTimer() {
    const ULONG now = tx_time_get();
    if (now > kHealthyRunTicks) {
        clear_after_healthy_run(*this);
        return;
    }
    if (healthy_timer_created_) tx_timer_delete(&healthy_timer_);
    healthy_timer_created_ =
        tx_timer_create(&healthy_timer_, "Healthy Run", healthy_run_expiry, 0,
                        kHealthyRunTicks + 1 - now, 0, TX_AUTO_ACTIVATE) == TX_SUCCESS;
    if (healthy_timer_created_) g_timed_store = this;
}

void CDataBase::StopHealthyRunTimer() {
    if (!healthy_timer_created_) return;
    tx_timer_delete(&healthy_timer_);
    healthy_timer_created_ = false;
    if (g_timed_store == this) g_timed_store = nullptr;
}

void CDataBase::Init() {
    SetValidateOn(false);
    CDatabase& journal = journal_of(*this);
    journal.CreateMutexes();
    CDatabase::StateMachine_BootCounter(*this, 0);
    if (journal.Load() == 0) {
        // A fresh file: the factory defaults are journalled into it (flash
        // mode is 1), then it is committed.
        start_on_fresh_journal(*this, journal);
    } else if (journal.ReplayMetDamage()) {
        recover_damaged_journal(*this, journal);
    } else if (feature_set(*this) & kFeatureVolatileOnly) {
        restore_config(*this); // the journal is not kept current in that mode
    }
    InitVolatile(); // flash mode 0 while the run-time defaults are written
    for (unsigned row = 0; row < FONT_ROWS; ++row)
        ComputeFontCRC(row);
    SetInitialised(1);
    SetNotifyOn(true);
    SetValidateOn(true);
    // Journalling is back on for the rest of the start-up, so that its writes
    // (the start cause, the script's run-once bit) survive the next restart.
    if (!(feature_set(*this) & kFeatureVolatileOnly)) SetFlashMode(1);
    StartHealthyRunTimer();
}

void CDataBase::Run() {
    CTaskBase* task = Task();
    task->CTaskBase::Run();
    task->DrainMailbox(*Mail());
    service_flash_mode(*this, persist_journal(*this));
    if (tx_time_get() > kHealthyRunTicks) clear_after_healthy_run(*this);
}
