// The change-notification tables and CDataBase::Notify.
#include "store/notify.h"

#include "runtime/letter_codes.h"
#include "runtime/pools.h"
#include "runtime/post_office.h"
#include "store/config_objects.h"
#include "store/database.h"
#include "store/objects.h"

namespace {

constexpr int32_t first_of(const DbObject& o) {
    return int32_t(o.offset);
}
constexpr int32_t last_of(const DbObject& o) {
    return int32_t(o.row(o.rows - 1u).offset);
}

// Every row of one column.
constexpr NotifyRow all(const DbObject& o, int32_t value, int32_t mode) {
    return NotifyRow{first_of(o), last_of(o), value, mode};
}
// From the first object's first row to the last object's last row.
constexpr NotifyRow span(const DbObject& a, const DbObject& b, int32_t value, int32_t mode) {
    return NotifyRow{first_of(a), last_of(b), value, mode};
}
constexpr NotifyRow clear_time(unsigned k) {
    return all(obj::eventClassClearTime.row(k), int32_t(LETTER_EVENT_CLASS_CLEAR_FIRST + k),
               NOTIFY_ANY_WRITE);
}

const int32_t ANY = NOTIFY_ANY_WRITE;
const int32_t CHG = NOTIFY_ON_CHANGE;

const NotifyRow kNvLetters[] = {
    clear_time(0),
    clear_time(1),
    clear_time(2),
    clear_time(3),
    clear_time(4),
    clear_time(5),
    clear_time(6),
    clear_time(7),
    clear_time(8),
    clear_time(9),
    clear_time(10),
    clear_time(11),
    clear_time(12),
    clear_time(13),
    clear_time(14),
    clear_time(15),
    all(obj::eventClassLimit, LETTER_EVENT_CLASS_LIMITS, CHG),
    all(obj::dmsIllumBrightnessValues, LETTER_BRIGHTNESS_TABLE_CHANGED, CHG),
    all(obj::fontStatus, LETTER_FONT_STATUS_REQUEST, CHG),
    all(obj::halvObj2_8, LETTER_MESSAGE_LOCK_CHANGED, CHG),
    all(obj::halvEnableRealTimePixelDiagnostics, LETTER_PIXEL_DIAGNOSTICS_SWITCHED, CHG),
    all(obj::halvShutOffTemp, LETTER_SHUTOFF_TEMP_CHANGED, CHG),
    all(obj::globalLocalTimeDifferential, LETTER_LOCAL_TIME_DIFFERENTIAL, ANY),
    all(obj::controllerStandardTimeZone, LETTER_STANDARD_TIME_ZONE, ANY),
    all(obj::dmsSignType, LETTER_SIGN_TYPE_CHANGED, CHG),
    all(obj::halvObj2_17_6, LETTER_PORT_CONFIG_CHANGED, CHG),
    all(obj::rs232PortInSpeed, LETTER_CHANNEL_SETTINGS_CHANGED, CHG),
    all(obj::halvCommConfigInnerCharTimeout, LETTER_CHANNEL_SETTINGS_CHANGED, CHG),
    all(obj::halvFeatureSet, LETTER_FEATURE_BITS_CHANGED, CHG),
    all(obj::halvSpecialFeatureSet, LETTER_SPECIAL_FEATURE_BITS_CHANGED, CHG),
};

// Bits of the "database" event-flag group, as their readers know them.
const int32_t BIT_GLOBAL_TIME = 0x1;
const int32_t BIT_MEMORY_MGMT = 0x200;
const int32_t BIT_GRAPHIC_STATUS = 0x400;
const int32_t BIT_MESSAGE_STATUS = 0x800;
const int32_t BIT_CONTROL_MODE = 0x1000;
const int32_t BIT_ACTIVATE_MESSAGE = 0x4000;
const int32_t BIT_COMM_LOSS_TIME = 0x8000;
const int32_t BIT_BRIGHTNESS = 0x20000;
const int32_t BIT_CENTRAL_CLIENTS = 0x80000;
const int32_t BIT_SPECIAL_FEATURES = 0x100000;
const int32_t BIT_PIXEL_TEST = 0x200000;
const int32_t BIT_DISPLAY_RESET = 0x800000;
const int32_t BIT_PERIPHERAL_LIST = 0x1000000;
const int32_t BIT_FILE_TRANSFER = 0x8000000;
const int32_t BIT_HDLC_ADDRESS = 0x20000000;
const int32_t BIT_DISPLAY_CONFIG = 0x40000000;

const NotifyRow kNvBits[] = {
    all(obj::globalTime, BIT_GLOBAL_TIME, CHG),
    span(obj::halvModuleID, obj::halvEnableRealTimePixelDiagnostics, BIT_DISPLAY_CONFIG, CHG),
    all(obj::dmsSignAccess, BIT_DISPLAY_CONFIG, CHG),
    span(obj::vmsSignHeightPixels, obj::vmsSignWidthPixels, BIT_DISPLAY_CONFIG, CHG),
    all(obj::dmsGraphicStatus, BIT_GRAPHIC_STATUS, CHG),
    all(obj::changeableMsgStatus, BIT_MESSAGE_STATUS, CHG),
    span(obj::halvRemoteIPAddress, obj::halvRemoteIPPort, BIT_CENTRAL_CLIENTS, CHG),
    all(obj::halvSpecialFeatureSet, BIT_SPECIAL_FEATURES, CHG),
    all(obj::halvObj1_1, BIT_DISPLAY_RESET, CHG),
    all(obj::dmsTimeCommLoss, BIT_COMM_LOSS_TIME, CHG),
    span(obj::dmsIllumControl, obj::dmsIllumBrightnessValuesError, BIT_BRIGHTNESS, CHG),
    all(obj::halvIllumBrightnessScaler, BIT_BRIGHTNESS, CHG),
    all(obj::halvLineLength, BIT_DISPLAY_CONFIG, CHG),
    all(obj::halvhdlcAddress, BIT_HDLC_ADDRESS, CHG),
};

const NotifyRow kVLetters[] = {
    all(obj::lampTestActivation, LETTER_LAMP_TEST, CHG),
    all(obj::activationRequestCode, LETTER_ACTIVATION_REQUEST, ANY),
    all(obj::ifPhysAddress, LETTER_ETHERNET_ADDRESS_CHANGED, CHG),
    all(obj::halvObj2_30_4, LETTER_BRIGHTNESS_CEILING_SWITCH, CHG),
};

const NotifyRow kVBits[] = {
    all(obj::dmsActivateMessage, BIT_ACTIVATE_MESSAGE, ANY),
    all(obj::dmsControlMode, BIT_CONTROL_MODE, CHG),
    all(obj::pixelTestActivation, BIT_PIXEL_TEST, CHG),
    all(obj::halvObj4_1, BIT_FILE_TRANSFER, CHG),
    all(obj::halvObj2_3, BIT_MEMORY_MGMT, CHG),
    all(obj::dmsMemoryMgmt, BIT_MEMORY_MGMT, CHG),
    all(obj::dmsIllumPhotocellLevelStatus, BIT_BRIGHTNESS, ANY),
    all(obj::volatileMsgStatus, BIT_MESSAGE_STATUS, CHG),
    all(obj::peripheralConfigState, BIT_PERIPHERAL_LIST, CHG),
};

template <size_t N> constexpr NotifyTable table(const NotifyRow (&rows)[N]) {
    return NotifyTable{rows, N};
}

const NotifyTables kTables = {table(kNvLetters), table(kNvBits), table(kVLetters), table(kVBits)};

static_assert(sizeof kNvLetters / sizeof kNvLetters[0] + sizeof kNvBits / sizeof kNvBits[0] +
                      sizeof kVLetters / sizeof kVLetters[0] + sizeof kVBits / sizeof kVBits[0] ==
                  57,
              "57 notification rows");

void fire(const NotifyTable& letters, const NotifyTable& bits, uint32_t offset, int reason) {
    size_t row = 0;
    if (notify_match(letters, offset, reason, &row))
        the_post_office().post(uint32_t(letters.rows[row].value));
    if (notify_match(bits, offset, reason, &row))
        tx_event_flags_set(&database_event_flags(), ULONG(bits.rows[row].value), TX_OR);
}

} // namespace

const NotifyTables& notify_tables() {
    return kTables;
}

bool notify_match(const NotifyTable& table, uint32_t offset, int reason, size_t* index) {
    int32_t at = int32_t(offset);
    for (size_t i = 0; i < table.count; ++i) {
        const NotifyRow& r = table.rows[i];
        if (at >= r.first && at <= r.last && (r.mode == NOTIFY_ANY_WRITE || r.mode == reason)) {
            if (index) *index = i;
            return true;
        }
    }
    return false;
}

void CDataBase::Notify(uint32_t offset, const uint8_t* image, int reason) {
    if (!NotifiesCaller() || !image) return;
    if (IsVolatile(image)) {
        fire(kTables.v_letters, kTables.v_bits, offset, reason);
        return;
    }
    fire(kTables.nv_letters, kTables.nv_bits, offset, reason);
    if (reason == DB_REASON_CHANGED && config_object_at(offset))
        the_post_office().post(LETTER_CONFIG_OBJECT_CHANGED);
}
