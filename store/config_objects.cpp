// The 70 configuration objects, in the order of "CONFIG.XML".
#include "store/config_objects.h"

namespace {

// One entry: `rows` rows written (0: one), change detection up to `last_row`.
constexpr ConfigObject entry(const char* name, const DbObject& o, uint16_t rows,
                             uint32_t default_value = 0) {
    return ConfigObject{name, o.row(0), rows, o.row(rows ? rows - 1u : 0).offset, default_value};
}
// A string entry that writes one row but whose change range covers the column.
constexpr ConfigObject column_range(const char* name, const DbObject& o) {
    return ConfigObject{name, o.row(0), 0, o.row(o.rows - 1u).offset, 0};
}

using namespace obj;

const ConfigObject kConfigObjects[] = {
    entry("dmsSignHeight", dmsSignHeight, 0, 534),
    entry("dmsSignWidth", dmsSignWidth, 0, 1046),
    entry("dmsHorizontalBorder", dmsHorizontalBorder, 0, 75),
    entry("dmsVerticalBorder", dmsVerticalBorder, 0, 75),
    entry("dmsSignAccess", dmsSignAccess, 0, 8),
    entry("dmsSignType", dmsSignType, 0, 6),
    entry("dmsBeaconType", dmsBeaconType, 0, 2),
    entry("vmsSignHeightPixels", vmsSignHeightPixels, 0, 48),
    entry("vmsSignWidthPixels", vmsSignWidthPixels, 0, 112),
    entry("vmsCharacterHeightPixels", vmsCharacterHeightPixels, 0, 0),
    entry("vmsCharacterWidthPixels", vmsCharacterWidthPixels, 0, 0),
    entry("chapName[0]", chapName, 1),
    entry("chapSecret[0]", chapSecret, 1),
    entry("halvIllumBrightnessScaler", halvIllumBrightnessScaler, 0, 0),
    entry("halvSignSerialNum", halvSignSerialNum, 0, 0),
    entry("halvControllerSerialNum", halvControllerSerialNum, 0, 0),
    entry("globalDaylightSaving", globalDaylightSaving, 0, 1),
    entry("dstBeginMonth[0]", dstBeginMonth, 10, 14),
    entry("controllerStandardTimeZone", controllerStandardTimeZone, 0, 0xFFFFABA0u),
    entry("dstBeginOccurrences[0]", dstBeginOccurrences, 10, 1),
    entry("dstBeginDayOfWeek[0]", dstBeginDayOfWeek, 10, 1),
    entry("dstBeginDayOfMonth[0]", dstBeginDayOfMonth, 10, 1),
    entry("dstBeginSecondsToTransition[0]", dstBeginSecondsToTransition, 10, 0),
    entry("dstEndMonth[0]", dstEndMonth, 10, 14),
    entry("dstEndOccurrences[0]", dstEndOccurrences, 10, 1),
    entry("dstEndDayOfWeek[0]", dstEndDayOfWeek, 10, 1),
    entry("dstEndDayOfMonth[0]", dstEndDayOfMonth, 10, 1),
    entry("dstEndSecondsToTransition[0]", dstEndSecondsToTransition, 10, 0),
    entry("dstSecondsToAdjust[0]", dstSecondsToAdjust, 10, 0),
    entry("halvLegibilityRatioThreshold", halvLegibilityRatioThreshold, 0, 0),
    entry("fdotMaxNumPixelFailure", fdotMaxNumPixelFailure, 0, 0xFFFFFFFFu),
    entry("rs232PortInSpeed[0]", rs232PortInSpeed, 5, 9600),
    entry("ifSpeed[0]", ifSpeed, 1, 83886080),
    entry("halvShutOffTemp", halvShutOffTemp, 0, 85),
    entry("halvCallbackNumber", halvCallbackNumber, 0),
    entry("halvCallbackMinTimeBetweenAttempts", halvCallbackMinTimeBetweenAttempts, 0, 5),
    entry("halvCallbackMaxAttempts", halvCallbackMaxAttempts, 0, 5),
    entry("halvLCDPassword", halvLCDPassword, 0, FACTORY_LCD_PASSWORD),
    entry("halvModuleID", halvModuleID, 0, 0),
    entry("halvCommConfigFlowControl[0]", halvCommConfigFlowControl, 5, 0),
    entry("halvCommConfigProtocol[0]", halvCommConfigProtocol, 5, 2),
    entry("halvCommConfigTraps[0]", halvCommConfigTraps, 5, 0),
    entry("halvCommConfigInnerCharTimeout[0]", halvCommConfigInnerCharTimeout, 5, 0),
    column_range("halvCommConfigParameters[0]", halvCommConfigParameters),
    entry("halvEnableRealTimePixelDiagnostics", halvEnableRealTimePixelDiagnostics, 0, 0),
    entry("halvhdlcAddress", halvhdlcAddress, 0, 1),
    entry("halvLCDAdminPassword", halvLCDAdminPassword, 0, FACTORY_LCD_ADMIN_PASSWORD),
    entry("halvTrapsGeneric", halvTrapsGeneric, 0, 65),
    entry("halvTrapsEnterpriseSpecific", halvTrapsEnterpriseSpecific, 0),
    entry("halvTrapsExpirationDuration", halvTrapsExpirationDuration, 0, 0),
    entry("halvPeripheralID[0]", halvPeripheralID, 255, 0),
    entry("halvPeripheralParameters[0]", halvPeripheralParameters, 255),
    entry("halvPeripheralAuxIOTableIndex[0]", halvPeripheralAuxIOTableIndex, 255),
    entry("halvZORVBayHeightInModules", halvZORVBayHeightInModules, 0, 0),
    entry("halvZORVBayWidthInModules", halvZORVBayWidthInModules, 0, 0),
    entry("halvModTimeout", halvModTimeout, 0, 10),
    entry("halvLineLength[0]", halvLineLength, 9, 0),
    entry("halvSpecialFeatureSet", halvSpecialFeatureSet, 0, 0),
    entry("vmsHorizontalPitch", vmsHorizontalPitch, 0, 8),
    entry("vmsVerticalPitch", vmsVerticalPitch, 0, 8),
    entry("halvRemoteIPAddress", halvRemoteIPAddress, 0, 0),
    entry("halvRemoteIPPort", halvRemoteIPPort, 0, 162),
    entry("halvHostIPPort", halvHostIPPort, 0, 161),
    entry("halvHostHttpPort", halvHostHttpPort, 0, 80),
    entry("halvEthernetMode", halvEthernetMode, 0, 1),
    entry("halvCANBaudRate", halvCANBaudRate, 0, 1),
    entry("halvCANMaxLineLength", halvCANMaxLineLength, 0, 0),
    entry("halvFeatureSet", halvFeatureSet, 0, 0),
    entry("halvNTPIPAddress", halvNTPIPAddress, 0, 0),
    entry("halvNTPPollTime", halvNTPPollTime, 0, 60),
};

static_assert(sizeof kConfigObjects / sizeof kConfigObjects[0] == CONFIG_OBJECT_COUNT,
              "70 configuration objects");

} // namespace

const ConfigObject* config_objects() {
    return kConfigObjects;
}

const ConfigObject* config_object_at(uint32_t nv_offset) {
    for (const ConfigObject& c : kConfigObjects)
        if (nv_offset >= c.object.offset && nv_offset <= c.last) return &c;
    return nullptr;
}
