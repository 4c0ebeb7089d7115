// The memory clear: the NTCIP memory management request (dmsMemoryMgmt:
// reset to defaults, clear the changeable or the volatile messages) and the
// private reset option (halvObj2_3: clear the stored database, restore the
// factory state, restart from the flash, the configuration file or the
// start-up script, or restart with flash defragmentation). It runs on the
// display thread when either object is written and on the agent's thread
// after a SET of dmsMemoryMgmt.
//
// The message clears run under the display lock, so that two runs never
// interleave, and their writes skip value checks one by one: the store's
// checks stay on for every other thread meanwhile. The options that delete
// the journal stop it first, so that no write (the restart request among
// them) lands in a journal about to go; those that remove or keep the
// configuration file hold its writer, and the controlled reset does not save
// it on the way down.
#include "display/display_task.h"

#include "runtime/letter_codes.h"
#include "runtime/os.h"
#include "runtime/pools.h"
#include "runtime/watchdog_task.h"
#include "store/config_file.h"
#include "store/database.h"
#include "store/journal.h"
#include "store/objects.h"

namespace {

const uint32_t CLEAR_FLAGS = DB_NOTIFY | DB_NO_VALIDATE;
const ULONG BIT_BRIGHTNESS = 0x20000;   // the brightness settings are applied again
const ULONG BIT_MESSAGE_STATUS = 0x800; // the message tables are swept

// dmsMemoryMgmt values.
enum : uint32_t {
    MGMT_RESET = 1,
    MGMT_NORMAL = 2,
    MGMT_CLEAR_CHANGEABLE = 3,
    MGMT_CLEAR_VOLATILE = 4
};

void clear_message_rows(const message_columns& c, unsigned rows) {
    for (unsigned r = 0; r < rows; ++r) {
        db_set_string(c.multi.row(r), nullptr, 0, CLEAR_FLAGS);
        db_set_string(c.owner.row(r), nullptr, 0, CLEAR_FLAGS);
        db_set(c.crc.row(r), 0, CLEAR_FLAGS);
        db_set(c.beacon.row(r), 0, CLEAR_FLAGS);
        db_set(c.pixel_service.row(r), 0, CLEAR_FLAGS);
        db_set(c.run_time_priority.row(r), 1, CLEAR_FLAGS);
        db_set(c.status.row(r), MSG_STATUS_NOT_USED, CLEAR_FLAGS);
    }
}

// The partial factory defaults and the run-time defaults; the journal goes
// on as it was (the run-time defaults would leave it off until the database
// task's next cycle).
void reset_to_defaults() {
    CDataBase& store = TheDatabase();
    const uint8_t flash_mode = store.IsFlashMode();
    store.SetDefaults(1);
    store.InitVolatile();
    store.SetFlashMode(flash_mode);
    CMsgActivationCode blank;
    blank.Set(DURATION_UNTIL_REPLACED, 255, kBlankMemoryType, kBlankMessageNumber, kBlankMessageCRC,
              blank.m_sourceAddress);
    request_activation(ACTIVATION_SLOT_ORDINARY, SOURCE_MODE_LOCAL, REQUEST_SOURCE_ORDINARY, blank);
    tx_event_flags_set(&database_event_flags(), BIT_BRIGHTNESS, TX_OR);
    CDisplay::RemoveUnusedBitmaps();
}

// The cleared table's counts and the message references that named a
// cleared message follow at the display's next sweep.
void recount_messages() {
    tx_event_flags_set(&database_event_flags(), BIT_MESSAGE_STATUS, TX_OR);
}

void clear_changeable() {
    clear_message_rows(CHANGEABLE_MESSAGES, CHANGEABLE_ROWS);
    CDisplay::RemoveUnusedBitmaps();
    recount_messages();
}

void clear_volatile() {
    clear_message_rows(VOLATILE_MESSAGES, VOLATILE_ROWS);
    recount_messages();
}

// dmsMemoryMgmt: each request value and its action; any value but normal
// returns to normal once handled (0 and 5 and above with nothing done).
struct memory_request {
    uint32_t value;
    void (*action)();
};
const memory_request MEMORY_REQUESTS[] = {
    {MGMT_RESET, reset_to_defaults},
    {MGMT_CLEAR_CHANGEABLE, clear_changeable},
    {MGMT_CLEAR_VOLATILE, clear_volatile},
};

// --- the reset options of halvObj2_3 ------------------------------------------------------

enum reset_action : uint8_t {
    DELETE_JOURNAL = 0x01,            // "nv1.dat" and "nv2.dat"
    DELETE_CONFIG_AND_BITMAPS = 0x02, // the configuration file (and its backup), every bitmap
    NO_CONFIG_SAVE = 0x04,            // the configuration file is left as the option leaves it
    RUN_SCRIPT = 0x08,                // halvScriptControl bit 0: SCRIPT.XML at the next start
};
const uint32_t OPTION_NONE = 1;
const uint32_t SCRIPT_AT_START = 0x01;

struct reset_option {
    uint32_t value;
    uint8_t actions;
    uint8_t sw_reset; // dmsSWReset: 1 restart, 4 with defragmentation, 0 none
    bool back_to_none;
};
const reset_option RESET_OPTIONS[] = {
    {1, 0, 0, false},
    {2, DELETE_JOURNAL, 1, false},
    {3, DELETE_JOURNAL | DELETE_CONFIG_AND_BITMAPS | NO_CONFIG_SAVE, 1, false},
    {4, 0, 1, false},
    {5, DELETE_JOURNAL | NO_CONFIG_SAVE, 1, false},
    {6, DELETE_JOURNAL | DELETE_CONFIG_AND_BITMAPS | NO_CONFIG_SAVE, 1, false},
    {7, RUN_SCRIPT, 1, true},
    {8, 0, 4, true},
};
const reset_option UNKNOWN_OPTION = {0, 0, 0, true};

const reset_option& find_option(uint32_t value) {
    for (const reset_option& o : RESET_OPTIONS)
        if (o.value == value) return o;
    return UNKNOWN_OPTION;
}

const ULONG BUSY_RETRY_TICKS = 1;
const int BUSY_RETRIES = 100;

// A file through the driver; a media busy with another thread's file is
// waited for, a missing file is no error.
void delete_file(const char* name) {
    for (int i = 0; i < BUSY_RETRIES; ++i) {
        if (TheFileSystem().DeleteFile(&TheSystemMedia(), name) != FS_BUSY) return;
        tx_thread_sleep(BUSY_RETRY_TICKS);
    }
}

void delete_journal() {
    CDatabase* journal = persist_journal(TheDatabase());
    if (journal) journal->Close();
    for (const char* name : CDatabase::FILE_NAMES)
        delete_file(name);
}

void delete_config_and_bitmaps() {
    delete_file(CFile_Config::FILE_NAME);
    delete_file(CFile_Config::BACKUP_NAME);
    mon_docommand("tfs rm *.bmp", 0);
}

void carry_out(const reset_option& option) {
    if (option.actions & NO_CONFIG_SAVE) {
        restart_flags() &= uint8_t(~RESTART_SAVE_CONFIG);
        the_post_office().post(LETTER_CONFIG_WRITER_HOLD);
    }
    if (option.actions & DELETE_JOURNAL) delete_journal();
    if (option.actions & DELETE_CONFIG_AND_BITMAPS) delete_config_and_bitmaps();
    if (option.actions & RUN_SCRIPT)
        db_set(obj::halvScriptControl, db_get(obj::halvScriptControl) | SCRIPT_AT_START, DB_NOTIFY);
    if (option.sw_reset) {
        const uint32_t journal = (option.actions & DELETE_JOURNAL) ? DB_NO_JOURNAL : 0;
        db_set(obj::dmsSWReset, option.sw_reset, DB_NOTIFY | journal);
    }
    if (option.back_to_none) db_set(obj::halvObj2_3, OPTION_NONE, DB_NOTIFY);
}

} // namespace

void CDisplay::ClearMemory() {
    {
        display_guard guard(lock_);
        const uint32_t request = db_get(obj::dmsMemoryMgmt);
        if (request != MGMT_NORMAL) {
            for (const memory_request& r : MEMORY_REQUESTS)
                if (r.value == request) r.action();
            db_set(obj::dmsMemoryMgmt, MGMT_NORMAL, DB_NOTIFY);
        }
    }
    // Outside the display lock: deleting a file may wait for the media.
    carry_out(find_option(db_get(obj::halvObj2_3)));
}
