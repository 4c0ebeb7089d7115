// Factory and run-time values of the NTCIP 1201 global objects.
#include "runtime/console.h"
#include "platform/monitor/monitor.h"
#include "runtime/version.h"
#include "store/defaults.h"
#include "store/defaults_table.h"

#include <cstdio>
#include <cstring>

using namespace defaults;

namespace {

const uint8_t kZeros[8] = {};
// The action OID of a day-plan event: 1.3.6.1.4.1.1206.4.2.6.3.1.0 (no action).
using DayPlanActionOid = Oid<1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 3, 1, 0>;
// The device node of every module row: 1.3.6.1.4.1.1206.4.2.3.
using SignDeviceOid = Oid<1, 3, 6, 1, 4, 1, 1206, 4, 2, 3>;

constexpr const char kChapName[] = "PASSWORD";
constexpr const char kChapSecret[] = "MARVOD";

// nv_defaults_global, setters 1 .. 5 (before the global time).
constexpr DefaultValue kGlobalNvHead[] = {
    full_reset(text(obj::chapName, kChapName)),
    full_reset(text(obj::chapSecret, kChapSecret)),
    set(obj::pmppObj2_2_1, 0),
    set(obj::pmppGroupAddressCount, 10),
    set(obj::pmppGroupAddress, 0),
    set(obj::globalSetIDParameter, 0),
};

// Setter 6 after the global time (full reset only).
constexpr DefaultValue kTimeZone[] = {
    full_reset(set_signed(obj::controllerStandardTimeZone, -21600)),
    full_reset(set(obj::globalDaylightSaving, 1)),
};

// Setter 7 (full reset only): second Sunday of March 02:00 to the first Sunday
// of November 02:00, one hour; rows 1 .. 9 not in use (month 14).
constexpr DbObject first(const DbObject& c) {
    return rows(c, 0, 1);
}
constexpr DbObject others(const DbObject& c) {
    return rows(c, 1, 9);
}
constexpr DefaultValue kDaylightSaving[] = {
    full_reset(set(first(obj::dstBeginMonth), 3)),
    full_reset(set(others(obj::dstBeginMonth), 14)),
    full_reset(set(first(obj::dstBeginOccurrences), 2)),
    full_reset(set(others(obj::dstBeginOccurrences), 1)),
    full_reset(set(obj::dstBeginDayOfWeek, 1)),
    full_reset(set(obj::dstBeginDayOfMonth, 1)),
    full_reset(set(first(obj::dstBeginSecondsToTransition), 7200)),
    full_reset(set(others(obj::dstBeginSecondsToTransition), 0)),
    full_reset(set(first(obj::dstEndMonth), 11)),
    full_reset(set(others(obj::dstEndMonth), 14)),
    full_reset(set(obj::dstEndOccurrences, 1)),
    full_reset(set(obj::dstEndDayOfWeek, 1)),
    full_reset(set(obj::dstEndDayOfMonth, 1)),
    full_reset(set(first(obj::dstEndSecondsToTransition), 7200)),
    full_reset(set(others(obj::dstEndSecondsToTransition), 0)),
    full_reset(set(first(obj::dstSecondsToAdjust), 3600)),
    full_reset(set(others(obj::dstSecondsToAdjust), 0)),
};

// Setters 8 .. 16: schedules, day plans, event log, classes, communities and
// auxiliary port descriptions.
constexpr DefaultValue kGlobalNvTail[] = {
    set(obj::maxTimeBaseScheduleEntries, 29),
    set(obj::maxDayPlans, 20),
    set(obj::maxDayPlanEvents, 24),
    set(obj::dayPlanStatus, 0),
    set(obj::timeBaseScheduleTableStatus, 0),
    set(obj::timeBaseScheduleMonth, 0),
    set(obj::timeBaseScheduleDay, 0),
    set(obj::timeBaseScheduleDate, 0),
    set(obj::timeBaseScheduleDayPlan, 0),
    set(obj::dayPlanHour, 0),
    set(obj::dayPlanMinute, 0),
    bytes(obj::dayPlanActionNumberOID, DayPlanActionOid::value.data(),
          DayPlanActionOid::value.size()),
    set(obj::eventConfigClass, 1),
    set(obj::eventConfigMode, 1),
    set(obj::eventConfigCompareValue, 0),
    set(obj::eventConfigCompareValue2, 0),
    bytes(obj::eventConfigCompareOID, kZeros, 8),
    bytes(obj::eventConfigLogOID, kZeros, 8),
    set(obj::eventConfigAction, 2),
    set(obj::eventConfigStatus, 2),
    set(obj::eventLogID, 1),
    set(obj::eventLogTime, 0),
    empty(obj::eventLogValue),
    set(obj::eventClassLimit, 0),
    set(obj::eventClassClearTime, 0),
    empty(obj::eventClassDescription),
    set(obj::eventClassNumRowsInLog, 0),
    text(obj::communityNameAdmin, "stewardcastle"),
    // Every user community "meadow" with no rights, but row 2: "Harbor", all rights.
    text(rows(obj::communityNameUser, 0, 2), "meadow"),
    text(obj::communityNameUser.row(2), "Harbor"),
    text(rows(obj::communityNameUser, 3, 97), "meadow"),
    set(rows(obj::communityNameAccessMask, 0, 2), 0),
    set(obj::communityNameAccessMask.row(2), 0xFFFFFFFFu),
    set(rows(obj::communityNameAccessMask, 3, 97), 0),
    text(obj::auxIOv2PortDescription, "UNUSED"),
};

constexpr const char kBaseStandards[] = "NTCIP 1101:1996v01.12\r\nNTCIP 1201:v03.03\r\n"
                                        "NTCIP 1203:v02.35\r\nNTCIP 2101:2001v01.19\r\n"
                                        "NTCIP 2103:v02.04\r\nNTCIP 2201:2003 v01.15\r\n"
                                        "NTCIP 2202:2001 v01.05";

// vol_defaults_global setters 1 .. 3 (before the module table).
constexpr DefaultValue kGlobalVHead[] = {
    set(obj::chapNumberOfSecrets, 1),
    set(obj::snmpMaxPacketSize, 2050),
    set(obj::globalMaxModules, 8),
    text(obj::controllerBaseStandards, kBaseStandards),
};

// Setters 5 .. 13 (after the module table).
constexpr DbObject digital(const DbObject& c) {
    return rows(c, 0, 112);
}
constexpr DbObject analog(const DbObject& c) {
    return rows(c, 112, 24);
}
constexpr DefaultValue kGlobalVTail[] = {
    set(obj::dbCreateTransaction, 1),
    set(obj::dbErrorType, 7),
    bytes(obj::dbErrorID, kZeros, 8),
    set(obj::dbTransactionID, 0),
    set(obj::dbMakeID, 0),
    set(obj::dbVerifyStatus, 0),
    empty(obj::dbVerifyError),
    set(obj::controllerLocalTime, 0),
    set(obj::maxDaylightSavingEntries, 10),
    set(obj::maxEventLogConfigs, 60),
    set(obj::maxEventLogSize, 255),
    set(obj::maxEventClasses, 16),
    set(obj::numEvents, 0),
    set(obj::eventClassNumEvents, 0),
    set(obj::communityNamesMax, 100),
    count_from(obj::communityNameIndex, 1),
    set(obj::maxAuxIOv2TableNumDigitalPorts, 112),
    set(obj::maxAuxIOv2TableNumAnalogPorts, 24),
    set(digital(obj::auxIOv2PortType), 3),
    count_from(digital(obj::auxIOv2PortNumber), 1),
    set(analog(obj::auxIOv2PortType), 2),
    count_from(analog(obj::auxIOv2PortNumber), 1),
    set(obj::auxIOv2PortResolution, 0),
    set(obj::auxIOv2PortValue, 0),
    set(obj::auxIOv2PortDirection, 2),
    set(obj::auxIOv2PortLastCommandedState, 0),
};

// Module table: every row first, then the rows' own texts and types.
constexpr DefaultValue kModuleRowsCleared[] = {
    bytes(obj::moduleDeviceNode, SignDeviceOid::value.data(), SignDeviceOid::value.size()),
    empty(obj::moduleMake),
    empty(obj::moduleModel),
    empty(obj::moduleVersion),
    set(obj::moduleType, 3),
};

struct ModuleRow {
    const char* model; // null: built from the build's identification
    const char* version;
    uint8_t type;
};
constexpr ModuleRow kModuleRows[obj::kModuleRows] = {
    {nullptr, nullptr, 3}, // firmware
    {"CONTROLLER SERIAL NUMBER", "SN: ----", 2},
    {"DISPLAY DRIVER", "", 3},
    {"CONTROL PANEL", "", 3},
    {"DISPLAY MODULE", "", 3},
    {"DISTRIBUTION BOARD", "", 3},
    {"SIGN MODEL", "SN: ----", 2},
    {nullptr, nullptr, 3}, // boot loader
};

void write_text(CDataBase& store, const DbObject& o, const char* text) {
    SetString(store, o, text, uint32_t(std::strlen(text)), DB_NOTIFY);
}

// Row 0: the firmware; row 7: the boot loader, whose version is the part of
// the monitor's version text after its first '-' (the whole text when it has
// none).
void write_build_rows(CDataBase& store) {
    char model[64];
    char version[64];
    std::snprintf(model, sizeof model, "%s - TZR-5100 FW", FIRMWARE_PART_NUMBER);
    std::snprintf(version, sizeof version, "%s.%s.%s.%s", kFirmwareVersionFields[0],
                  kFirmwareVersionFields[1], kFirmwareVersionFields[2], kFirmwareVersionFields[3]);
    write_text(store, obj::moduleModel.row(0), model);
    write_text(store, obj::moduleVersion.row(0), version);

    const char* monitor = mon_version();
    if (monitor == nullptr) monitor = "";
    const char* dash = std::strchr(monitor, '-');
    std::snprintf(model, sizeof model, "%s - BOOTLOADER", kBootLoaderPartNumber);
    write_text(store, obj::moduleModel.row(7), model);
    write_text(store, obj::moduleVersion.row(7), dash ? dash + 1 : monitor);
}

} // namespace

void init_module_table(CDataBase& store) {
    apply(store, kModuleRowsCleared);
    for (unsigned r = 0; r < obj::kModuleRows; ++r) {
        const ModuleRow& row = kModuleRows[r];
        write_text(store, obj::moduleMake.row(r), FIRMWARE_MAKER);
        if (row.model) write_text(store, obj::moduleModel.row(r), row.model);
        if (row.version) write_text(store, obj::moduleVersion.row(r), row.version);
        SetInteger(store, obj::moduleType.row(r).offset, 1, row.type, store.VImage(), DB_NOTIFY);
    }
    write_build_rows(store);
}

DefaultTables nv_default_tables_global() {
    static const DefaultTable tables[] = {table(kGlobalNvHead), table(kTimeZone),
                                          table(kDaylightSaving), table(kGlobalNvTail)};
    return {tables, 4};
}

void nv_defaults_global(CDataBase& store, int partial) {
    apply(store, kGlobalNvHead, partial);
    if (!partial) {
        SetGlobalTime(store, obj::globalTime.offset, 4, 0, store.NvImage(),
                      DB_NOTIFY | DB_NO_TIME_WARNING);
        apply(store, kTimeZone, partial);
        console_printf("Global Init, set begin month to march\n");
        apply(store, kDaylightSaving, partial);
    }
    apply(store, kGlobalNvTail, partial);
}

void vol_defaults_global(CDataBase& store) {
    apply(store, kGlobalVHead);
    init_module_table(store);
    apply(store, kGlobalVTail);
}
