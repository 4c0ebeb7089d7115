// The persistence side of the object store: its start-up (journal replay or
// factory defaults, the early-restart rule) and the "Database" task's cycle
// (letters, flash-mode following, the journal's delete pass and compaction,
// clearing the early-restart counter after a healthy run).
#include "console/console.h"
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

} // namespace

void CDataBase::Init() {
    SetValidateOn(false);
    CDatabase& journal = journal_of(*this);
    journal.CreateMutexes();
    CDatabase::StateMachine_BootCounter(*this, 0);
    if (journal.Load() == 0) {
        // A fresh file: the factory defaults are journalled into it (flash
        // mode is 1), then it is committed.
        std::memset(nv_, 0, sizeof nv_);
        SetDefaults(0);
        restore_config(*this);
        if (journal.ActiveName()) {
            int rc = journal.Commit();
            if (rc != 0) console_printf("\tCDatabase::Init: mon_tfsipmod failed:%d\n", rc);
        }
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
}

void CDataBase::Run() {
    CTaskBase* task = Task();
    task->CTaskBase::Run();
    task->DrainMailbox(*Mail());
    service_flash_mode(*this, persist_journal(*this));
    if (!BootCounterCleared() && tx_time_get() > kHealthyRunTicks) {
        CDatabase::StateMachine_BootCounter(*this, 1);
        SetBootCounterCleared(1);
    }
}
