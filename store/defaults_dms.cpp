// Factory and run-time values of the NTCIP 1203 sign objects.
#include "store/colours.h"
#include "store/defaults.h"
#include "store/journal.h"
#include "store/defaults_table.h"
#include "store/graphic_count.h"

using namespace defaults;

namespace {

// MessageIDCodes {memory type, number (2 bytes), CRC (2 bytes)}.
constexpr uint8_t kBlankCode[] = {7, 0, 1, 0, 0};         // blank message 1
constexpr uint8_t kCurrentBufferCode[] = {5, 0, 1, 0, 0}; // current buffer
constexpr uint8_t kZero[] = {0};
constexpr uint8_t kNine[] = {9};
constexpr uint8_t kBrightnessTable[] = {'0'};
constexpr uint8_t kSupportedMultiTags[] = {0xFF, 0xFF, 0xFF, 0x3F};

// Setters 1 and 2 (without monochromeColor): the sign's geometry.
constexpr DefaultValue kSignGeometry[] = {
    full_reset(set(obj::dmsSignHeight, 534)),
    full_reset(set(obj::dmsSignWidth, 1046)),
    full_reset(set(obj::dmsHorizontalBorder, 75)),
    full_reset(set(obj::dmsVerticalBorder, 75)),
    full_reset(set(obj::dmsSignAccess, 8)),
    full_reset(set(obj::dmsSignType, 6)),
    full_reset(set(obj::dmsBeaconType, 2)),
    full_reset(set(obj::vmsCharacterHeightPixels, 0)),
    full_reset(set(obj::vmsCharacterWidthPixels, 0)),
    full_reset(set(obj::vmsSignHeightPixels, 48)),
    full_reset(set(obj::vmsSignWidthPixels, 112)),
    full_reset(set(obj::vmsHorizontalPitch, 8)),
    full_reset(set(obj::vmsVerticalPitch, 8)),
};

constexpr DbObject ordinary(const DbObject& c) {
    return rows(c, 0, 500);
}
constexpr DbObject permanent(const DbObject& c) {
    return rows(c, 500, 50);
}

// Setters 3 .. 11: fonts (installed again at the end of SetDefaults), MULTI
// defaults, the message table and sign control.
constexpr DefaultValue kDmsNv[] = {
    set(obj::fontNumber, 0),
    empty(obj::fontName),
    set(obj::fontHeight, 0),
    set(obj::fontCharSpacing, 0),
    set(obj::fontLineSpacing, 0),
    set(obj::fontVersionID, 0),
    set(obj::fontStatus, 11), // unmanaged
    set(obj::characterWidth, 0),
    empty(obj::characterBitmap),
    // MULTI defaults
    set(obj::defaultBackground, 0),
    set(obj::defaultForeground, 9),
    set(obj::defaultFlashOn, 10),
    set(obj::defaultFlashOff, 10),
    set(obj::defaultFont, 1),
    set(obj::defaultJustificationLine, 3),
    set(obj::defaultJustificationPage, 3),
    set(obj::defaultPageOnTime, 20),
    set(obj::defaultPageOffTime, 0),
    set(obj::defaultCharacterSet, 2),
    full_reset(set(obj::dmsMaxNumberPages, 6)),
    set(obj::defaultFlashOnActivate, 10),
    set(obj::defaultFlashOffActivate, 10),
    set(obj::defaultFontActivate, 1),
    set(obj::defaultJustificationLineActivate, 3),
    set(obj::defaultJustificationPageActivate, 3),
    set(obj::defaultPageOnTimeActivate, 20),
    set(obj::defaultPageOffTimeActivate, 0),
    set(obj::dmsColorScheme, 3),
    bytes(obj::defaultBackgroundRGB, kZero, 1),
    bytes(obj::defaultBackgroundRGBActivate, kZero, 1),
    bytes(obj::defaultForegroundRGB, kNine, 1),
    bytes(obj::defaultForegroundRGBActivate, kNine, 1),
    set(obj::dmsValidateMessageError, 2),
    // Message table: rows 0 .. 499 always, 500 .. 549 (permanent messages
    // 3 .. 52) on a full reset only.
    empty(ordinary(obj::changeableMsgMultiString)),
    empty(ordinary(obj::changeableMsgOwner)),
    set(ordinary(obj::changeableMsgCRC), 0),
    set(ordinary(obj::changeableMsgBeacon), 0),
    set(ordinary(obj::changeableMsgPixelService), 0),
    set(ordinary(obj::changeableMsgRunTimePriority), 1),
    set(ordinary(obj::changeableMsgStatus), 1), // notUsed
    full_reset(empty(permanent(obj::changeableMsgMultiString))),
    full_reset(empty(permanent(obj::changeableMsgOwner))),
    full_reset(set(permanent(obj::changeableMsgCRC), 0)),
    full_reset(set(permanent(obj::changeableMsgBeacon), 0)),
    full_reset(set(permanent(obj::changeableMsgPixelService), 0)),
    full_reset(set(permanent(obj::changeableMsgRunTimePriority), 190)),
    full_reset(set(permanent(obj::changeableMsgStatus), 1)),
    empty(obj::scheduleMsgMultiString),
    empty(obj::scheduleMsgOwner),
    set(obj::scheduleMsgCRC, 0),
    set(obj::scheduleMsgBeacon, 0),
    set(obj::scheduleMsgPixelService, 0),
    set(obj::scheduleMsgRunTimePriority, 1),
    set(obj::scheduleMsgStatus, 4), // valid
    empty(obj::currentBufferMsgMultiString),
    empty(obj::currentBufferMsgOwner),
    set(obj::currentBufferMsgCRC, 0),
    set(obj::currentBufferMsgBeacon, 0),
    set(obj::currentBufferMsgPixelService, 0),
    set(obj::currentBufferMsgRunTimePriority, 1),
    set(obj::currentBufferMsgStatus, 4),
    // Sign control
    set(obj::dmsSWReset, 0),
    set(obj::dmsMessageTimeRemaining, 65535),
    bytes(obj::dmsMsgTableSource, kBlankCode, 5),
    set(obj::dmsMsgRequesterID, 0),
    set(obj::dmsMsgSourceMode, 11),
    bytes(obj::dmsShortPowerRecoveryMessage, kCurrentBufferCode, 5),
    bytes(obj::dmsLongPowerRecoveryMessage, kCurrentBufferCode, 5),
    set(obj::dmsShortPowerLossTime, 60),
    bytes(obj::dmsResetMessage, kCurrentBufferCode, 5),
    bytes(obj::dmsCommunicationsLossMessage, kBlankCode, 5),
    set(obj::dmsTimeCommLoss, 0),
    bytes(obj::dmsPowerLossMessage, kCurrentBufferCode, 5),
    bytes(obj::dmsEndDurationMessage, kBlankCode, 5),
    set(obj::dmsActivateMsgError, 0),
    set(obj::dmsMultiSyntaxError, 2),
    set(obj::dmsMultiSyntaxErrorPosition, 0),
    empty(obj::dmsMultiOtherErrorDescription),
    // Illumination, action table, status
    set(obj::dmsIllumControl, 2),
    set(obj::dmsIllumManLevel, 255),
    bytes(obj::dmsIllumBrightnessValues, kBrightnessTable, 1),
    set(obj::dmsIllumBrightnessValuesError, 2),
    set(obj::dmsIllumLightOutputStatus, 0),
    empty(obj::dmsActionMsgCode),
    set(obj::dmsCurrentSpeedLimit, 0),
    set(obj::watchdogFailureCount, 0),
    // Graphic table (full reset only)
    full_reset(set(obj::dmsGraphicNumber, 0, DB_NOTIFY | DB_NO_VALIDATE)),
    full_reset(empty(obj::dmsGraphicName)),
    full_reset(set(obj::dmsGraphicHeight, 0)),
    full_reset(set(obj::dmsGraphicWidth, 0)),
    full_reset(set(obj::dmsGraphicType, 1)),
    full_reset(set(obj::dmsGraphicID, 0)),
    full_reset(set(obj::dmsGraphicTransparentEnabled, 0)),
    full_reset(bytes(obj::dmsGraphicTransparentColor, kZero, 1)),
    full_reset(set(obj::dmsGraphicStatus, 1)), // notUsed
    full_reset(empty(obj::dmsGraphicBlockBitmap)),
};

// vol_defaults_dms setters 1 .. 3 (numFonts follows the sign type).
constexpr DefaultValue kDmsVHead[] = {
    set(obj::dmsLegend, 2),
    set(obj::dmsSignTechnology, 2),
    set(obj::maxFontCharacters, 255),
    set(obj::fontMaxCharacterSize, 64),
    bytes(obj::dmsSupportedMultiTags, kSupportedMultiTags, 4),
    // The longest message the sign can keep across a restart: the journal's
    // longest string (a longer non-volatile string is refused when written).
    set(obj::dmsMaxMultiStringLength, CDatabase::MAX_STRING),
};

// Setters 5 .. 20.
constexpr DbObject type_rows(unsigned type) {
    return rows(obj::pixelFailureXLocation, 500 * type, 3);
}
constexpr DefaultValue kDmsV[] = {
    // Volatile, permanent and shadow message rows
    empty(obj::volatileMsgMultiString),
    empty(obj::volatileMsgOwner),
    set(obj::volatileMsgCRC, 0),
    set(obj::volatileMsgBeacon, 0),
    set(obj::volatileMsgPixelService, 0),
    set(obj::volatileMsgRunTimePriority, 1),
    set(obj::volatileMsgStatus, 1),
    empty(obj::permanentMsgMultiString),
    empty(obj::permanentMsgOwner),
    set(obj::permanentMsgCRC, 0),
    set(obj::permanentMsgBeacon, 0),
    set(obj::permanentMsgPixelService, 0),
    set(obj::permanentMsgRunTimePriority.row(0), 255),
    set(obj::permanentMsgRunTimePriority.row(1), 1),
    set(obj::permanentMsgStatus, 4),
    empty(obj::currentBufferShadowMsgMultiString),
    empty(obj::currentBufferShadowMsgOwner),
    set(obj::currentBufferShadowMsgCRC, 0),
    set(obj::currentBufferShadowMsgBeacon, 0),
    set(obj::currentBufferShadowMsgPixelService, 0),
    set(obj::currentBufferShadowMsgRunTimePriority, 1),
    set(obj::currentBufferShadowMsgStatus, 1),
    // Sign control
    empty(obj::dmsActivateMessage),
    set(obj::dmsControlMode, 4), // central
    set(obj::dmsMemoryMgmt, 2),
    set(obj::vmsPixelServiceDuration, 0),
    set(obj::vmsPixelServiceFrequency, 0),
    set(obj::vmsPixelServiceTime, 0),
    empty(obj::dmsActivateErrorMsgCode),
    set(obj::dmsActivateMessageState, 1),
    // Illumination, action table, MULTI fields
    set(obj::dmsIllumBrightLevelStatus, 0),
    set(obj::dmsIllumPhotocellLevelStatus, 0),
    set(obj::dmsIllumMaxPhotocellLevel, 65535),
    set(obj::dmsIllumNumBrightLevels, 255),
    set(obj::numActionTableEntries, 255),
    set(obj::statMultiFieldRows, 0),
    set(obj::dmsCurrentSpeed, 0),
    set(obj::dmsStatDoorOpen, 0),
    count_from(obj::statMultiFieldCode, 1),
    empty(obj::statMultiCurrentFieldValue),
    // Error status
    empty(obj::lampFailureStuckOn),
    empty(obj::lampFailureStuckOff),
    empty(obj::fanFailures),
    set(obj::shortErrorStatus, 0),
    set(obj::pixelTestActivation, 2),
    set(obj::lampTestActivation, 2),
    set(obj::fanTestActivation, 2),
    set(obj::controllerErrorStatus, 0),
    set(obj::statErrorWord246, 0),
    set(obj::dmsPixelFailureTestRows, 0),
    set(obj::dmsPixelFailureMessageRows, 0),
    empty(obj::dmsLightSensorStatusMap),
    set(obj::dmsLightSensorNumRows, 0),
    empty(obj::dmsHumiditySensorStatusMap),
    set(obj::dmsHumiditySensorNumRows, 0),
    empty(obj::dmsTempSensorStatusMap),
    set(obj::dmsTempSensorNumRows, 0),
    set(obj::statError37, 0),
    set(obj::statError38, 0),
    bytes(obj::dmsPowerFailureStatusMap, kZero, 1),
    set(obj::dmsPowerNumRows, 0),
    bytes(obj::dmsClimateCtrlStatusMap, kZero, 1),
    set(obj::dmsClimateCtrlNumRows, 0),
    // Power status table
    empty(obj::dmsPowerDescription),
    empty(obj::dmsPowerMfrStatus),
    set(obj::dmsPowerStatus, 2),
    set(obj::dmsPowerVoltage, 0),
    set(obj::dmsPowerType, 6),
    // Climate-control table
    empty(obj::dmsClimateCtrlDescription),
    empty(obj::dmsClimateCtrlMfrStatus),
    set(obj::dmsClimateCtrlErrorStatus, 2),
    set(obj::dmsClimateCtrlOnStatus, 0),
    set(obj::dmsClimateCtrlTestActivation, 2),
    empty(obj::dmsClimateCtrlAbortReason),
    set(obj::dmsClimateCtrlType, 1),
    // Pixel failure table: rows 0 .. 2 of each detection type
    set(type_rows(0), 1),
    set(rows(obj::pixelFailureYLocation, 0, 3), 1),
    set(rows(obj::pixelFailureStatus, 0, 3), 0),
    set(type_rows(1), 1),
    set(rows(obj::pixelFailureYLocation, 500, 3), 1),
    set(rows(obj::pixelFailureStatus, 500, 3), 0),
    set(type_rows(2), 1),
    set(rows(obj::pixelFailureYLocation, 1000, 3), 1),
    set(rows(obj::pixelFailureStatus, 1000, 3), 0),
    empty(obj::dmsPixelStatus),
    // Sensor tables
    empty(obj::dmsLightSensorDescription),
    set(obj::dmsLightSensorCurrentReading, 0),
    set(obj::dmsLightSensorStatus, 2),
    empty(obj::dmsHumiditySensorDescription),
    set(obj::dmsHumiditySensorCurrentReading, 0),
    set(obj::dmsHumiditySensorStatus, 2),
    empty(obj::dmsTempSensorDescription),
    set_signed(obj::dmsTempSensorHighWarningTemperature, 127),
    set_signed(obj::dmsTempSensorLowWarningTemperature, -128),
    set_signed(obj::dmsTempSensorHighCriticalTemperature, 127),
    set_signed(obj::dmsTempSensorLowCriticalTemperature, -128),
    set(obj::dmsTempSensorCurrentReading, 0),
    set(obj::dmsTempSensorStatus, 0),
    // Power and temperature status
    set(obj::signVolts, 0),
    set(obj::fuelLevel, 0),
    set(obj::engineRPM, 0),
    set(obj::lineVolts, 120),
    set(obj::powerSource, 4),
    set(obj::lowFuelThreshold, 0),
    set(obj::tempMinCtrlCabinet, 0),
    set(obj::tempMaxCtrlCabinet, 0),
    set(obj::tempMinAmbient, 0),
    set(obj::tempMaxAmbient, 0),
    set(obj::tempMinSignHousing, 0),
    set(obj::tempMaxSignHousing, 0),
    empty(obj::tempSensorWarningMap),
    empty(obj::tempSensorCriticalMap),
};

constexpr DefaultValue kGraphicLimits[] = {
    set(obj::dmsGraphicMaxSize, 64449),
    set(obj::availableGraphicMemory, 0xFFFFFF),
    set(obj::dmsGraphicBlockSize, 1023),
};

bool character_matrix(CDataBase& store) {
    uint32_t type = GetInteger(store, obj::dmsSignType);
    return type == 4 || type == 132;
}

// monochromeColor: red, green, blue of classic colour 9 (amber), then of
// colour 0 (black), as 24-bit colours with red in the low byte.
void write_monochrome_color(CDataBase& store) {
    const uint32_t module = GetInteger(store, obj::halvModuleID);
    const uint32_t on = multi_color_to_rgb24(9, module);
    const uint32_t off = multi_color_to_rgb24(0, module);
    const uint8_t value[6] = {uint8_t(on),  uint8_t(on >> 8),  uint8_t(on >> 16),
                              uint8_t(off), uint8_t(off >> 8), uint8_t(off >> 16)};
    const DbObject& o = obj::monochromeColor;
    SetString(store, o.offset, o.width, value, sizeof value, store.NvImage(), DB_NOTIFY);
}

// Message counts from the changeable rows' status (just written or replayed):
// valid rows below 500 are changeable messages, valid rows 500 .. 549 add to
// the two built-in permanent messages.
void write_message_counts(CDataBase& store) {
    uint32_t changeable = 0, permanent = 0;
    for (unsigned r = 0; r < obj::kChangeableMsgRows; ++r) {
        if (GetInteger(store, obj::changeableMsgStatus.row(r)) != 4) continue;
        (r < obj::kChangeableMsgOrdinaryRows ? changeable : permanent) += 1;
    }
    SetInteger(store, obj::dmsNumPermanentMsg, 2 + permanent, DB_NOTIFY);
    SetInteger(store, obj::dmsNumChangeableMsg, changeable, DB_NOTIFY);
    SetInteger(store, obj::dmsMaxChangeableMsg, 500, DB_NOTIFY);
    SetInteger(store, obj::dmsFreeChangeableMemory, 750000 - 1500 * changeable, DB_NOTIFY);
    SetInteger(store, obj::dmsNumVolatileMsg, 0, DB_NOTIFY);
    SetInteger(store, obj::dmsMaxVolatileMsg, 4, DB_NOTIFY);
    SetInteger(store, obj::dmsFreeVolatileMemory, 6000, DB_NOTIFY);
}

// Graphics: count the ready and in-use rows; a row found not in use loses its
// bitmap blocks.
void write_graphic_counts(CDataBase& store) {
    SetInteger(store, obj::dmsGraphicMaxEntries, obj::kGraphicRows, DB_NOTIFY);
    RecountReadyGraphics(store, false);
    for (unsigned g = 0; g < obj::kGraphicRows; ++g) {
        if (GetInteger(store, obj::dmsGraphicStatus.row(g)) == 1) {
            const DbObject blocks =
                rows(obj::dmsGraphicBlockBitmap, g * obj::kGraphicBlocksPerGraphic,
                     obj::kGraphicBlocksPerGraphic);
            const DefaultValue clear[] = {empty(blocks, DB_NOTIFY | DB_NO_VALIDATE)};
            apply(store, clear);
        }
    }
    apply(store, kGraphicLimits);
}

} // namespace

DefaultTables nv_default_tables_dms() {
    static const DefaultTable tables[] = {table(kSignGeometry), table(kDmsNv)};
    return {tables, 2};
}

void nv_defaults_dms(CDataBase& store, int partial) {
    apply(store, kSignGeometry, partial);
    if (!partial) write_monochrome_color(store);
    apply(store, kDmsNv, partial);
}

void vol_defaults_dms(CDataBase& store) {
    apply(store, kDmsVHead);
    SetInteger(store, obj::numFonts, character_matrix(store) ? 1 : 20, DB_NOTIFY);
    write_message_counts(store);
    apply(store, kDmsV);
    write_graphic_counts(store);
}
