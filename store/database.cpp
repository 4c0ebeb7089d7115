// The object store instance: images, state word, the store lock, the dynamic
// offsets of the non-volatile image, and the "Database" task's thread.
#include "store/database.h"

#include "console/console.h"
#include "runtime/pools.h"
#include "runtime/mail_task.h"
#include "store/store_internal.h"

#include <cstring>

namespace {

struct OffsetRange {
    uint32_t first, last; // inclusive
};

// Every dynamic object of the non-volatile image: ranges of 4-byte slots and
// single slots (first == last). The journal replays any other offset as an
// integer.
const OffsetRange kDynamicNvOffsets[] = {
    {92, 168},      // fontName, 20 rows
    {5392, 25788},  // characterBitmap, 5100 rows
    {25832, 30228}, // changeable message MULTI text and owner, 1100 rows
    {33532, 33536}, // schedule message MULTI text and owner
    {33548, 33552}, // current-buffer message MULTI text and owner
    {33580, 33584}, // dmsShortPowerRecoveryMessage, dmsLongPowerRecoveryMessage
    {33592, 33596}, // dmsResetMessage, dmsCommunicationsLossMessage
    {33604, 33608}, // power-loss and dmsEndDurationMessage codes
    {33632, 34648}, // action table message codes, 255 rows
    {49580, 51496}, // day-plan action OIDs, 480 rows
    {98012, 98020}, // three MIB-II system texts (sysLocation last)
    {98028, 98028}, //
    {95204, 95220}, // halvCommConfigParameters, 5 rows
    {95744, 96760}, // halvPeripheralParameters, 255 rows
    {96764, 97780}, // halvPeripheralAuxIOTableIndex, 255 rows
    {97800, 97996}, // 50 rows
    {52100, 52336}, // event-configuration compare OIDs, 60 rows
    {52340, 52576}, // event-configuration log OIDs, 60 rows
    {77180, 93496}, // event-log values, 16 x 255 rows
    {93580, 93640}, // event-class descriptions, 16 rows
    {48124, 48128}, // chapName, chapSecret
    {93664, 94060}, // communityNameUser, 100 rows
    {34712, 34908}, // dmsGraphicName, 50 rows
    {35264, 35460}, // dmsGraphicTransparentColor, 50 rows
    {35516, 48112}, // dmsGraphicBlockBitmap, 3150 rows
    {94464, 95004}, // auxiliary I/O descriptions, 136 rows
    {33568, 33568}, // dmsMsgTableSource
    {33616, 33616}, //
    {33624, 33624}, // dmsIllumBrightnessValues
    {93660, 93660}, // communityNameAdmin
    {68, 68},       //
    {25804, 25804}, // defaultBackgroundRGB
    {25808, 25808}, // defaultForegroundRGB
    {25812, 25812}, // defaultBackgroundRGBActivate
    {25816, 25816}, // defaultForegroundRGBActivate
    {95072, 95072}, //
    {95024, 95024}, // halvEmergencyMessage
    {95144, 95144}, // halvCallbackNumber
    {95156, 95156}, //
    {95160, 95160}, //
    {95164, 95164}, //
    {95172, 95172}, //
    {97788, 97788}, // halvTrapsEnterpriseSpecific
    {95084, 95084}, //
    {95088, 95088}, // savedActivateMessage
};

// The "Database" task: its thread waits for each period and runs the store's
// cycle; the maintenance letters 68..71 are handled by the common task code.
const task_profile kDatabaseProfile = {
    "Database Task",
    0,
    0,
    0,
    0,
    LETTER_DATABASE_TERMINATE,
    LETTER_DATABASE_SUSPEND,
    LETTER_DATABASE_RESUME,
    LETTER_DATABASE_STACK,
    "Database Stack Used: %d/%d. 0x%08X-0x%08X Current:0x%08X\n",
    "Suspending database task\n",
    "Resuming database task\n",
};

const uint32_t kDatabaseCodes[] = {LETTER_DATABASE_TERMINATE, LETTER_DATABASE_SUSPEND,
                                   LETTER_DATABASE_RESUME, LETTER_DATABASE_STACK, 0};

class CDatabaseTask : public CMailTask {
  public:
    explicit CDatabaseTask(CDataBase& store)
        : CMailTask("Database", 8192, 4, 0, 200, 100, &kDatabaseProfile, kDatabaseCodes,
                    the_post_office()),
          store_(store) {}
    // The store's cycle; it calls RunLetters first.
    uint32_t Run() override {
        store_.Run();
        return 0;
    }
    // The base's run count and the mailbox (maintenance letters 68..71).
    void RunLetters() { CMailTask::Run(); }

  private:
    CDataBase& store_;
};

CDatabaseTask& database_task(CDataBase& store) {
    static CDatabaseTask task(store);
    return task;
}

void database_thread_entry(ULONG) {
    database_task(TheDatabase()).ThreadEntry();
}
void database_timer_expiry(ULONG) {
    database_task(TheDatabase()).TimerExpired();
}

} // namespace

CDataBase& TheDatabase() {
    static CDataBase store;
    return store;
}

CDataBase::CDataBase() {
    state_ = 0;
    SetFlashMode(1);
    std::memset(v_, 0, sizeof v_);
    std::memset(nv_, 0, sizeof nv_);
    std::memset(font_changes_, 0, sizeof font_changes_);
    SetValidateOn(true);
}

CDataBase::~CDataBase() {
    if (lock_created_) tx_mutex_delete(&lock_);
}

uint32_t CDataBase::ImageBytes(const uint8_t* image) const {
    if (!image) return 0;
    return image == v_ ? V_IMAGE_BYTES : NV_IMAGE_BYTES;
}

bool CDataBase::IsDynamicOffset(uint32_t nv_offset) {
    for (const OffsetRange& r : kDynamicNvOffsets)
        if (nv_offset >= r.first && nv_offset <= r.last) return true;
    return false;
}

void CDataBase::SetFlashMode(uint8_t mode) {
    state_ = (state_ & 0x00FFFFFFu) | (uint32_t(mode) << STATE_FLASH_MODE_SHIFT);
}

void CDataBase::SetNotifyOn(bool on) {
    state_ = on ? (state_ | STATE_NOTIFY_ON) : (state_ & ~STATE_NOTIFY_ON);
}

void CDataBase::SetValidateOn(bool on) {
    state_ = on ? (state_ | STATE_VALIDATE_ON) : (state_ & ~STATE_VALIDATE_ON);
}

uint32_t CDataBase::SuspendNotifyAndValidate() {
    uint32_t saved = state_ & (STATE_NOTIFY_ON | STATE_VALIDATE_ON);
    state_ &= ~(STATE_NOTIFY_ON | STATE_VALIDATE_ON);
    return saved;
}

void CDataBase::RestoreNotifyAndValidate(uint32_t saved) {
    state_ = (state_ & ~(STATE_NOTIFY_ON | STATE_VALIDATE_ON)) |
             (saved & (STATE_NOTIFY_ON | STATE_VALIDATE_ON));
}

unsigned CDataBase::SwapPermissionMode(unsigned mode) {
    unsigned previous = (NotifyOn() ? 1u : 0u) | (ValidateOn() ? 2u : 0u);
    SetNotifyOn((mode & 1u) != 0);
    SetValidateOn((mode & 2u) != 0);
    return previous;
}

// The lock is a recursive kernel mutex created on first use. Start-up,
// timer and interrupt contexts run alone on the processor and cannot wait,
// so they pass without it.
void CDataBase::Lock() {
    if (tx_in_non_thread_context()) return;
    if (!lock_created_) {
        CInterruptLock guard;
        if (!lock_created_) {
            tx_mutex_create(&lock_, "Database Store", TX_INHERIT);
            lock_created_ = true;
        }
    }
    tx_mutex_get(&lock_, TX_WAIT_FOREVER);
}

void CDataBase::Unlock() {
    if (tx_in_non_thread_context() || !lock_created_) return;
    tx_mutex_put(&lock_);
}

void CDataBase::PrintPoolInfo() {
    TX_BYTE_POOL& pool = dynamic_database_pool();
    const char* name = nullptr;
    ULONG available = 0, fragments = 0;
    if (tx_byte_pool_info_get(&pool, &name, &available, &fragments) != TX_SUCCESS) return;
    trace_printf("Byte Pool Info for %s 0x%08x Avail %d Frag\n", name ? name : "",
                 unsigned(available), int(fragments));
}

bool CDataBase::Start(TX_BYTE_POOL& stacks) {
    return database_task(*this).Create(stacks, database_thread_entry, database_timer_expiry) == 1;
}

void CDataBase::Subscribe() {
    database_task(*this).Subscribe();
}

CTaskBase* CDataBase::Task() {
    return &database_task(*this);
}

subscriber* CDataBase::Mail() {
    return &database_task(*this).Mail();
}

// One cycle of the task: the base's run count and the maintenance letters.
// The journal's housekeeping (flash mode, delete pass, compaction) and the
// early-restart rule belong to the persistence side of the task.
void CDataBase::Run() {
    database_task(*this).RunLetters();
}
