// NTCIP 1201 global objects: the global section of the non-volatile image
// (offsets 48124 .. 95007) and the global objects of the volatile image
// (offsets 12124 .. 14075).
#pragma once

namespace obj {
using namespace dbdef;

// ---------------------------------------------------------------------------
// Non-volatile: PPP CHAP, PMPP, global configuration and time
constexpr DbObject chapName = nv_str(48124);
constexpr DbObject chapSecret = nv_str(48128);
constexpr DbObject pmppObj2_2_1 = nv(48132, 2);          // 1.3.6.1.4.1.1206.4.1.2.2.1.0
constexpr DbObject pmppGroupAddressCount = nv(48134, 1); // 1.3.6.1.4.1.1206.4.1.2.3.1.0
constexpr DbObject pmppGroupAddress = nv(48136, 4, 10);
constexpr DbObject globalSetIDParameter = nv(48176, 4);
// Held by the board's clock device; reach it only with Get/SetGlobalTime.
constexpr DbObject globalTime = nv(48180, 4);
constexpr DbObject globalDaylightSaving = nv(48184, 1);
constexpr DbObject globalLocalTimeDifferential = nv(48188, 4);
constexpr DbObject controllerStandardTimeZone = nv(48192, 4); // signed seconds

// Daylight-saving table, 10 rows (month 14 marks a row not in use)
constexpr unsigned kDstRows = 10;
constexpr DbObject dstBeginMonth = nv(48196, 1, 10);
constexpr DbObject dstBeginOccurrences = nv(48206, 1, 10);
constexpr DbObject dstBeginDayOfWeek = nv(48216, 1, 10);
constexpr DbObject dstBeginDayOfMonth = nv(48226, 1, 10);
constexpr DbObject dstBeginSecondsToTransition = nv(48236, 4, 10);
constexpr DbObject dstEndMonth = nv(48276, 1, 10);
constexpr DbObject dstEndOccurrences = nv(48286, 1, 10);
constexpr DbObject dstEndDayOfWeek = nv(48296, 1, 10);
constexpr DbObject dstEndDayOfMonth = nv(48306, 1, 10);
constexpr DbObject dstEndSecondsToTransition = nv(48316, 4, 10);
constexpr DbObject dstSecondsToAdjust = nv(48356, 2, 10);

// Time-base schedule (29 rows) and day plans (20 plans x 24 events,
// row 24 * plan + event)
constexpr unsigned kScheduleRows = 29;
constexpr unsigned kDayPlans = 20;
constexpr unsigned kDayPlanEvents = 24;
constexpr DbObject maxTimeBaseScheduleEntries = nv(48376, 2);
constexpr DbObject maxDayPlans = nv(48378, 1);
constexpr DbObject maxDayPlanEvents = nv(48379, 1);
constexpr DbObject dayPlanStatus = nv(48380, 1);
constexpr DbObject timeBaseScheduleTableStatus = nv(48382, 2);
constexpr DbObject timeBaseScheduleMonth = nv(48384, 2, 29);
constexpr DbObject timeBaseScheduleDay = nv(48442, 1, 29);
constexpr DbObject timeBaseScheduleDate = nv(48472, 4, 29);
constexpr DbObject timeBaseScheduleDayPlan = nv(48588, 1, 29);
constexpr DbObject dayPlanHour = nv(48620, 1, 480);
constexpr DbObject dayPlanMinute = nv(49100, 1, 480);
constexpr DbObject dayPlanActionNumberOID = nv_str(49580, 480);

// Event log configuration, 60 rows
constexpr unsigned kEventConfigRows = 60;
constexpr DbObject eventConfigClass = nv(51500, 1, 60);
constexpr DbObject eventConfigMode = nv(51560, 1, 60);
constexpr DbObject eventConfigCompareValue = nv(51620, 4, 60);
constexpr DbObject eventConfigCompareValue2 = nv(51860, 4, 60);
constexpr DbObject eventConfigCompareOID = nv_str(52100, 60);
constexpr DbObject eventConfigLogOID = nv_str(52340, 60);
constexpr DbObject eventConfigAction = nv(52580, 1, 60);
constexpr DbObject eventConfigStatus = nv(52640, 1, 60);

// Event log: 16 classes x 255 rows, row 255 * class + n
constexpr unsigned kEventClasses = 16;
constexpr unsigned kEventLogRowsPerClass = 255;
constexpr DbObject eventLogID = nv(52700, 2, 4080);
constexpr DbObject eventLogTime = nv(60860, 4, 4080);
constexpr DbObject eventLogValue = nv_str(77180, 4080);

// Event classes, 16 rows
constexpr DbObject eventClassLimit = nv(93500, 1, 16);
constexpr DbObject eventClassClearTime = nv(93516, 4, 16);
constexpr DbObject eventClassDescription = nv_str(93580, 16);
constexpr DbObject eventClassNumRowsInLog = nv(93644, 1, 16);

// Communities
constexpr unsigned kCommunityRows = 100;
constexpr DbObject communityNameAdmin = nv_str(93660);
constexpr DbObject communityNameUser = nv_str(93664, 100);
constexpr DbObject communityNameAccessMask = nv(94064, 4, 100);

// Auxiliary I/O port descriptions, 136 rows (112 digital, then 24 analog)
constexpr unsigned kAuxIORows = 136;
constexpr DbObject auxIOv2PortDescription = nv_str(94464, 136);

// ---------------------------------------------------------------------------
// Volatile: CHAP, SNMP configuration, global configuration, module table
constexpr DbObject chapNumberOfSecrets = v(12124, 1); // 1.3.6.1.4.1.1206.4.1.1.1.1.0
constexpr DbObject snmpMaxPacketSize = v(12128, 4);   // 1.3.6.1.4.1.1206.4.1.7.1.1.0
constexpr DbObject globalMaxModules = v(12132, 1);
constexpr DbObject controllerBaseStandards = v_str(12136);
constexpr unsigned kModuleRows = 8;
constexpr DbObject moduleDeviceNode = v_str(12140, 8);
constexpr DbObject moduleMake = v_str(12172, 8);
constexpr DbObject moduleModel = v_str(12204, 8);
constexpr DbObject moduleVersion = v_str(12236, 8);
constexpr DbObject moduleType = v(12268, 1, 8);

// Database management
constexpr DbObject dbCreateTransaction = v(12276, 1);
constexpr DbObject dbErrorType = v(12277, 1);
constexpr DbObject dbErrorID = v_str(12280);
constexpr DbObject dbTransactionID = v(12284, 1);
constexpr DbObject dbMakeID = v(12285, 1);
constexpr DbObject dbVerifyStatus = v(12286, 1);
constexpr DbObject dbVerifyError = v_str(12288);

// Time
constexpr DbObject controllerLocalTime = v(12292, 4);
constexpr DbObject maxDaylightSavingEntries = v(12296, 1);
constexpr DbObject dstMaxEntries = maxDaylightSavingEntries; // its MIB name

// Event log sizes
constexpr DbObject maxEventLogConfigs = v(12298, 2);
constexpr DbObject maxEventLogSize = v(12300, 2);
constexpr DbObject maxEventClasses = v(12302, 1);
constexpr DbObject numEvents = v(12304, 2);
constexpr DbObject eventClassNumEvents = v(12306, 2, 16);

// Communities
constexpr DbObject communityNamesMax = v(12338, 1);
constexpr DbObject communityNameIndex = v(12339, 1, 100);

// Auxiliary I/O table, 136 rows
constexpr DbObject maxAuxIOv2TableNumDigitalPorts = v(12439, 1);
constexpr DbObject maxAuxIOv2TableNumAnalogPorts = v(12440, 1);
constexpr DbObject auxIOv2PortType = v(12444, 1, 136);
constexpr DbObject auxIOv2PortNumber = v(12580, 1, 136);
constexpr DbObject auxIOv2PortResolution = v(12716, 1, 136);
constexpr DbObject auxIOv2PortValue = v(12852, 4, 136);
constexpr DbObject auxIOv2PortDirection = v(13396, 1, 136);
constexpr DbObject auxIOv2PortLastCommandedState = v(13532, 4, 136);
} // namespace obj
