// The object store instance: images, state word, the store lock, the dynamic
// offsets of the non-volatile image, and the "Database" task's thread.
#include "store/database.h"

#include "runtime/console.h"
#include "runtime/pools.h"
#include "runtime/task_table.h"
#include "runtime/mail_task.h"
#include "store/objects.h"
#include "store/store_internal.h"

#include <algorithm>
#include <cstring>

namespace {

// Every dynamic object of the non-volatile image. The journal replays a
// record at any other offset as an integer.
constexpr DbObject kDynamicNvObjects[] = {
    obj::monochromeColor,
    obj::fontName,
    obj::characterBitmap,
    obj::defaultBackgroundRGB,
    obj::defaultForegroundRGB,
    obj::defaultBackgroundRGBActivate,
    obj::defaultForegroundRGBActivate,
    obj::changeableMsgMultiString,
    obj::changeableMsgOwner,
    obj::scheduleMsgMultiString,
    obj::scheduleMsgOwner,
    obj::currentBufferMsgMultiString,
    obj::currentBufferMsgOwner,
    obj::dmsMsgTableSource,
    obj::dmsShortPowerRecoveryMessage,
    obj::dmsLongPowerRecoveryMessage,
    obj::dmsResetMessage,
    obj::dmsCommunicationsLossMessage,
    obj::dmsPowerLossMessage,
    obj::dmsEndDurationMessage,
    obj::dmsMultiOtherErrorDescription,
    obj::dmsIllumBrightnessValues,
    obj::dmsActionMsgCode,
    obj::dmsGraphicName,
    obj::dmsGraphicTransparentColor,
    obj::dmsGraphicBlockBitmap,
    obj::chapName,
    obj::chapSecret,
    obj::dayPlanActionNumberOID,
    obj::eventConfigCompareOID,
    obj::eventConfigLogOID,
    obj::eventLogValue,
    obj::eventClassDescription,
    obj::communityNameAdmin,
    obj::communityNameUser,
    obj::auxIOv2PortDescription,
    obj::halvEmergencyMessage,
    obj::halvObj2_21_7,
    obj::unnamedNV95084,
    obj::savedActivateMessage,
    obj::halvCallbackNumber,
    obj::unnamedNV95156,
    obj::unnamedNV95160,
    obj::halvObj9_1,
    obj::halvObj9_3,
    obj::halvCommConfigParameters,
    obj::halvPeripheralParameters,
    obj::halvPeripheralAuxIOTableIndex,
    obj::halvTrapsEnterpriseSpecific,
    obj::halvObj2_18_2_1_2,
    obj::sysContact,
    obj::sysName,
    obj::sysLocation,
    obj::unnamedNV98028,
};

// The dynamic objects of the volatile image: integer writes must not touch
// their slots.
constexpr DbObject kDynamicVObjects[] = {
    obj::dmsSupportedMultiTags,
    obj::volatileMsgMultiString,
    obj::volatileMsgOwner,
    obj::permanentMsgMultiString,
    obj::permanentMsgOwner,
    obj::currentBufferShadowMsgMultiString,
    obj::currentBufferShadowMsgOwner,
    obj::dmsActivateMessage,
    obj::dmsActivateErrorMsgCode,
    obj::statMultiCurrentFieldValue,
    obj::lampFailureStuckOn,
    obj::lampFailureStuckOff,
    obj::fanFailures,
    obj::dmsLightSensorStatusMap,
    obj::dmsHumiditySensorStatusMap,
    obj::dmsTempSensorStatusMap,
    obj::dmsPowerFailureStatusMap,
    obj::dmsClimateCtrlStatusMap,
    obj::dmsPowerDescription,
    obj::dmsPowerMfrStatus,
    obj::dmsClimateCtrlDescription,
    obj::dmsClimateCtrlMfrStatus,
    obj::dmsClimateCtrlAbortReason,
    obj::dmsPixelStatus,
    obj::dmsLightSensorDescription,
    obj::dmsHumiditySensorDescription,
    obj::dmsTempSensorDescription,
    obj::tempSensorWarningMap,
    obj::tempSensorCriticalMap,
    obj::controllerBaseStandards,
    obj::moduleDeviceNode,
    obj::moduleMake,
    obj::moduleModel,
    obj::moduleVersion,
    obj::dbErrorID,
    obj::dbVerifyError,
    obj::activationRequestCode,
    obj::activationRequestActiveCode,
    obj::modemApn,
    obj::modemUserId,
    obj::modemPassword,
    obj::modemProvisionSpc,
    obj::modemProvisionArg2,
    obj::modemProvisionArg3,
    obj::halvObj4_5,
    obj::halvObj6_2,
    obj::halvObj11_2_1_2,
    obj::halvObj11_2_1_8,
    obj::halvObj11_3_1_3,
    obj::sysDescr,
    obj::sysObjectID,
    obj::ifDescr,
    obj::ifPhysAddress,
    obj::ifSpecific,
    obj::ipRouteInfo,
    obj::ipNetToMediaPhysAddress,
    obj::dot3StatsEtherChipSet,
    obj::lapbOperPortId,
    obj::zuduzClimateFailures,
    obj::zuduzPowerStatus,
    obj::panynjObj1_3,
    obj::panynjObj1_7,
    obj::quorvelObj1_1_10,
    obj::quorvelObj1_1_20_3,
    obj::quorvelObj1_1_20_4,
    obj::quorvelObj1_1_20_5,
    obj::quorvelObj1_2_10,
    obj::quorvelObj1_2_15,
    obj::quorvelObj1_2_20,
    obj::quorvelObj1_2_8_1_6,
    obj::quorvelObj1_2_11_1_3,
    obj::quorvelObj1_2_16_1_2,
};

template <size_t N> constexpr bool ascending(const DbObject (&objects)[N]) {
    for (size_t i = 1; i < N; ++i)
        if (objects[i].offset < objects[i - 1].end()) return false;
    return true;
}
static_assert(ascending(kDynamicNvObjects), "dynamic objects in ascending offset order");
static_assert(ascending(kDynamicVObjects), "dynamic objects in ascending offset order");

// Binary search of the ascending lists: the object with the last first offset
// at or below `offset`, if `offset` lies inside it.
template <size_t N> bool in_objects(const DbObject (&objects)[N], uint32_t offset) {
    const DbObject* after = std::upper_bound(
        objects, objects + N, offset, [](uint32_t o, const DbObject& d) { return o < d.offset; });
    return after != objects && offset < (after - 1)->end();
}

// The "Database" task: its thread waits for each period and runs the store's
// cycle; the maintenance letters 68..71 are handled by the common task code.
class CDatabaseTask : public CMailTask {
  public:
    explicit CDatabaseTask(CDataBase& store)
        : CMailTask(task_row_of(TASK_DATABASE), the_post_office()), store_(store) {}
    // The store's cycle (it runs the base's count and the mailbox first).
    uint32_t Run() override {
        store_.Run();
        return 0;
    }

  private:
    CDataBase& store_;
};

CDatabaseTask& database_task(CDataBase& store) {
    static CDatabaseTask task(store);
    return task;
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
    StopHealthyRunTimer();
    if (lock_created_) tx_mutex_delete(&lock_);
}

uint32_t CDataBase::ImageBytes(const uint8_t* image) const {
    if (!image) return 0;
    return image == v_ ? V_IMAGE_BYTES : NV_IMAGE_BYTES;
}

// Any byte of a dynamic object's slots.
bool CDataBase::IsDynamicOffset(uint32_t nv_offset) {
    return in_objects(kDynamicNvObjects, nv_offset);
}

bool CDataBase::IsDynamicVolatileOffset(uint32_t v_offset) {
    return in_objects(kDynamicVObjects, v_offset);
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

namespace {
// Start-up, timer and interrupt contexts count as one caller.
const char kOutsideThreads = 0;
const void* calling_context() {
    TX_THREAD* thread = tx_thread_identify();
    return thread ? static_cast<const void*>(thread) : &kOutsideThreads;
}
} // namespace

void CDataBase::BeginQuietWrites() {
    CInterruptLock masked;
    const void* caller = calling_context();
    quiet_writer* free_slot = nullptr;
    for (quiet_writer& q : quiet_) {
        if (q.caller == caller) {
            ++q.depth;
            return;
        }
        if (!q.caller && !free_slot) free_slot = &q;
    }
    if (free_slot) *free_slot = {caller, 1};
}

void CDataBase::EndQuietWrites() {
    CInterruptLock masked;
    const void* caller = calling_context();
    for (quiet_writer& q : quiet_)
        if (q.caller == caller && --q.depth == 0) q.caller = nullptr;
}

bool CDataBase::CallerIsQuiet() const {
    const void* caller = calling_context();
    for (const quiet_writer& q : quiet_)
        if (q.caller == caller) return true;
    return false;
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
    return database_task(*this).Start(stacks) == 1;
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

// CDataBase::Init and CDataBase::Run: store/database_task.cpp.
