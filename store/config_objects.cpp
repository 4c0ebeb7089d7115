// The 70 configuration objects, in the order of "CONFIG.XML".
#include "store/config_objects.h"

#include "store/defaults.h"

namespace {

using namespace obj;

// One entry, named by its catalogue object once: SINGLE writes one row under
// the bare name, COLUMN writes `rows` rows under "name[0]", COLUMN_RANGE writes
// one row under "name[0]" but watches every row of the column for changes.
// An integer row is left out of the file while it holds the object's factory
// value (store/defaults_*.cpp, filled in once); the _OMITTED_AT forms leave it
// out at a value of the file's own instead, as the file has always done for
// these objects.
#define SINGLE(o) entry(#o, o, 0)
#define COLUMN(o, rows) entry(#o "[0]", o, rows)
#define COLUMN_RANGE(o) column_range(#o "[0]", o)
#define SINGLE_OMITTED_AT(o, value) entry(#o, o, 0, true, value)
#define COLUMN_OMITTED_AT(o, rows, value) entry(#o "[0]", o, rows, true, value)

constexpr ConfigObject entry(const char* name, const DbObject& o, uint16_t rows,
                             bool own_default = false, uint32_t value = 0) {
    return ConfigObject{name,  o.row(0),   rows, o.row(rows ? rows - 1u : 0).offset,
                        value, own_default};
}
constexpr ConfigObject column_range(const char* name, const DbObject& o) {
    return ConfigObject{name, o.row(0), 0, o.row(o.rows - 1u).offset, 0, false};
}

const ConfigObject kEntries[] = {
    SINGLE(dmsSignHeight),
    SINGLE(dmsSignWidth),
    SINGLE(dmsHorizontalBorder),
    SINGLE(dmsVerticalBorder),
    SINGLE(dmsSignAccess),
    SINGLE(dmsSignType),
    SINGLE(dmsBeaconType),
    SINGLE(vmsSignHeightPixels),
    SINGLE(vmsSignWidthPixels),
    SINGLE(vmsCharacterHeightPixels),
    SINGLE(vmsCharacterWidthPixels),
    COLUMN(chapName, 1),
    COLUMN(chapSecret, 1),
    SINGLE_OMITTED_AT(halvIllumBrightnessScaler, 0),
    SINGLE(halvSignSerialNum),
    SINGLE(halvControllerSerialNum),
    SINGLE(globalDaylightSaving),
    COLUMN_OMITTED_AT(dstBeginMonth, 10, 14),
    SINGLE(controllerStandardTimeZone),
    COLUMN_OMITTED_AT(dstBeginOccurrences, 10, 1),
    COLUMN(dstBeginDayOfWeek, 10),
    COLUMN(dstBeginDayOfMonth, 10),
    COLUMN_OMITTED_AT(dstBeginSecondsToTransition, 10, 0),
    COLUMN_OMITTED_AT(dstEndMonth, 10, 14),
    COLUMN(dstEndOccurrences, 10),
    COLUMN(dstEndDayOfWeek, 10),
    COLUMN(dstEndDayOfMonth, 10),
    COLUMN_OMITTED_AT(dstEndSecondsToTransition, 10, 0),
    COLUMN_OMITTED_AT(dstSecondsToAdjust, 10, 0),
    SINGLE(halvLegibilityRatioThreshold),
    SINGLE(fdotMaxNumPixelFailure),
    COLUMN(rs232PortInSpeed, 5),
    COLUMN(ifSpeed, 1),
    SINGLE_OMITTED_AT(halvShutOffTemp, 85),
    SINGLE(halvCallbackNumber),
    SINGLE(halvCallbackMinTimeBetweenAttempts),
    SINGLE(halvCallbackMaxAttempts),
    SINGLE(halvLCDPassword),
    SINGLE_OMITTED_AT(halvModuleID, 0),
    COLUMN(halvCommConfigFlowControl, 5),
    COLUMN(halvCommConfigProtocol, 5),
    COLUMN(halvCommConfigTraps, 5),
    COLUMN(halvCommConfigInnerCharTimeout, 5),
    COLUMN_RANGE(halvCommConfigParameters),
    SINGLE(halvEnableRealTimePixelDiagnostics),
    SINGLE(halvhdlcAddress),
    SINGLE(halvLCDAdminPassword),
    SINGLE(halvTrapsGeneric),
    SINGLE(halvTrapsEnterpriseSpecific),
    SINGLE(halvTrapsExpirationDuration),
    COLUMN_OMITTED_AT(halvPeripheralID, 255, 0),
    COLUMN(halvPeripheralParameters, 255),
    COLUMN(halvPeripheralAuxIOTableIndex, 255),
    SINGLE_OMITTED_AT(halvZORVBayHeightInModules, 0),
    SINGLE_OMITTED_AT(halvZORVBayWidthInModules, 0),
    SINGLE(halvModTimeout),
    COLUMN(halvLineLength, 9),
    SINGLE(halvSpecialFeatureSet),
    SINGLE(vmsHorizontalPitch),
    SINGLE(vmsVerticalPitch),
    SINGLE(halvRemoteIPAddress),
    SINGLE(halvRemoteIPPort),
    SINGLE(halvHostIPPort),
    SINGLE(halvHostHttpPort),
    SINGLE(halvEthernetMode),
    SINGLE(halvCANBaudRate),
    SINGLE(halvCANMaxLineLength),
    SINGLE_OMITTED_AT(halvFeatureSet, 0),
    SINGLE(halvNTPIPAddress),
    SINGLE(halvNTPPollTime),
};

#undef SINGLE
#undef COLUMN
#undef COLUMN_RANGE
#undef SINGLE_OMITTED_AT
#undef COLUMN_OMITTED_AT

static_assert(sizeof kEntries / sizeof kEntries[0] == CONFIG_OBJECT_COUNT,
              "70 configuration objects");

// The entries with their factory values (built once, at the first use).
struct config_table {
    ConfigObject entries[CONFIG_OBJECT_COUNT];
    config_table() {
        for (size_t i = 0; i < CONFIG_OBJECT_COUNT; ++i) {
            entries[i] = kEntries[i];
            if (!entries[i].object.is_dynamic() && !entries[i].own_default)
                entries[i].default_value = factory_integer(entries[i].object);
        }
    }
};

const ConfigObject* table() {
    static const config_table built;
    return built.entries;
}

} // namespace

const ConfigObject* config_objects() {
    return table();
}

const ConfigObject* config_object_at(uint32_t nv_offset) {
    const ConfigObject* entries = table();
    for (size_t i = 0; i < CONFIG_OBJECT_COUNT; ++i)
        if (nv_offset >= entries[i].object.offset && nv_offset <= entries[i].last)
            return &entries[i];
    return nullptr;
}
