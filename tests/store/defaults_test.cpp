// Factory defaults (SetDefaults) and run-time defaults (InitVolatile) on a
// fresh store: values read back from every defaults table, partial reset,
// the image header, the refused 2-byte value and the dynamic pool's room.
#include "tests/store/store_fixture.h"

#include "platform/kernel/host.h"
#include "runtime/gp_buffer.h"
#include "store/config_objects.h"
#include "store/defaults.h"
#include "tests/support/kernel_fixture.h"

#include <algorithm>
#include <cstdio>
#include <string>

using namespace store_test;
using test_support::ClearConsole;
using test_support::ConsoleText;

namespace {

std::string B(std::initializer_list<uint8_t> bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// An OID's stored form.
std::string Oid(std::initializer_list<uint32_t> ids) {
    std::string s;
    for (uint32_t id : ids)
        for (int shift = 24; shift >= 0; shift -= 8)
            s.push_back(char(uint8_t(id >> shift)));
    return s;
}

class DefaultsTest : public StoreFixture {
  protected:
    // The built-in fonts are inflated through the general-purpose buffer pool.
    void SetUp() override {
        StoreFixture::SetUp();
        CreateGPBuffer();
    }
    void ColdStart() {
        db->SetDefaults(0);
        db->InitVolatile();
    }
};

struct IntCase {
    const char* name;
    DbObject object;
    uint32_t value;
};
struct StrCase {
    const char* name;
    DbObject object;
    std::string value;
};

#define I(o, v)                                                                                    \
    IntCase {                                                                                      \
#o, obj::o, uint32_t(v)                                                                    \
    }
#define S(o, v)                                                                                    \
    StrCase {                                                                                      \
#o, obj::o, v                                                                              \
    }

TEST_F(DefaultsTest, ColdStartIntegersFromEveryTable) {
    ColdStart();
    const IntCase cases[] = {
        // NTCIP 1203, non-volatile: sign size, fonts, MULTI, messages, control
        I(dmsSignHeight, 534),
        I(dmsSignWidth, 1046),
        I(dmsHorizontalBorder, 75),
        I(dmsSignAccess, 8),
        I(dmsSignType, 6),
        I(dmsBeaconType, 2),
        I(vmsSignHeightPixels, 48),
        I(vmsSignWidthPixels, 112),
        I(vmsHorizontalPitch, 8),
        I(vmsCharacterHeightPixels, 0),
        I(fontStatus.row(0), 11),
        I(fontStatus.row(19), 11),
        I(defaultBackground, 0),
        I(defaultForeground, 9),
        I(defaultFlashOn, 10),
        I(defaultFont, 1),
        I(defaultJustificationLine, 3),
        I(defaultPageOnTime, 20),
        I(defaultCharacterSet, 2),
        I(dmsMaxNumberPages, 6),
        I(dmsColorScheme, 3),
        I(defaultFlashOnActivate, 10),
        I(defaultFontActivate, 1),
        I(defaultPageOnTimeActivate, 20),
        I(defaultPageOffTimeActivate, 0),
        I(dmsValidateMessageError, 2),
        I(changeableMsgStatus.row(0), 1),
        I(changeableMsgStatus.row(549), 1),
        I(changeableMsgRunTimePriority.row(499), 1),
        I(changeableMsgRunTimePriority.row(500), 190),
        I(changeableMsgCRC.row(10), 0),
        I(scheduleMsgStatus, 4),
        I(scheduleMsgRunTimePriority, 1),
        I(currentBufferMsgStatus, 4),
        I(dmsMessageTimeRemaining, 65535),
        I(dmsMsgSourceMode, 11),
        I(dmsShortPowerLossTime, 60),
        I(dmsMultiSyntaxError, 2),
        I(dmsIllumControl, 2),
        I(dmsIllumManLevel, 255),
        I(dmsIllumBrightnessValuesError, 2),
        I(dmsGraphicType.row(49), 1),
        I(dmsGraphicStatus.row(0), 1),
        I(dmsGraphicStatus.row(49), 1),
        // NTCIP 1203, volatile
        I(dmsLegend, 2),
        I(dmsSignTechnology, 2),
        I(maxFontCharacters, 255),
        I(fontMaxCharacterSize, 64),
        I(dmsMaxMultiStringLength, 1600),
        I(dmsNumPermanentMsg, 2),
        I(dmsNumChangeableMsg, 0),
        I(dmsMaxChangeableMsg, 500),
        I(dmsFreeChangeableMemory, 750000),
        I(dmsMaxVolatileMsg, 4),
        I(dmsFreeVolatileMemory, 6000),
        I(volatileMsgStatus.row(3), 1),
        I(permanentMsgRunTimePriority.row(0), 255),
        I(permanentMsgRunTimePriority.row(1), 1),
        I(permanentMsgStatus.row(1), 4),
        I(currentBufferShadowMsgStatus, 1),
        I(dmsControlMode, 4),
        I(dmsMemoryMgmt, 2),
        I(dmsActivateMessageState, 1),
        I(dmsIllumMaxPhotocellLevel, 65535),
        I(dmsIllumNumBrightLevels, 255),
        I(numActionTableEntries, 255),
        I(statMultiFieldCode.row(0), 1),
        I(statMultiFieldCode.row(10), 11),
        I(pixelTestActivation, 2),
        I(lampTestActivation, 2),
        I(fanTestActivation, 2),
        I(dmsPowerStatus.row(299), 2),
        I(dmsPowerType.row(0), 6),
        I(dmsClimateCtrlErrorStatus.row(31), 2),
        I(dmsClimateCtrlTestActivation.row(0), 2),
        I(dmsClimateCtrlType.row(5), 1),
        I(pixelFailureXLocation.row(0), 1),
        I(pixelFailureYLocation.row(1002), 1),
        I(pixelFailureXLocation.row(3), 0),
        I(dmsLightSensorStatus.row(5), 2),
        I(dmsHumiditySensorStatus.row(0), 2),
        I(dmsTempSensorHighWarningTemperature.row(0), 127),
        I(dmsTempSensorLowCriticalTemperature.row(5), 128),
        I(lineVolts, 120),
        I(powerSource, 4),
        I(dmsGraphicMaxEntries, 50),
        I(dmsGraphicNumEntries, 0),
        I(dmsGraphicMaxSize, 64449),
        I(availableGraphicMemory, 0xFFFFFF),
        I(dmsGraphicBlockSize, 1023),
        // NTCIP 1201
        I(pmppGroupAddressCount, 10),
        I(pmppGroupAddress.row(9), 0),
        I(controllerStandardTimeZone, uint32_t(-21600)),
        I(globalDaylightSaving, 1),
        I(dstBeginMonth.row(0), 3),
        I(dstBeginMonth.row(1), 14),
        I(dstBeginMonth.row(9), 14),
        I(dstBeginOccurrences.row(0), 2),
        I(dstBeginSecondsToTransition.row(0), 7200),
        I(dstEndMonth.row(0), 11),
        I(dstEndMonth.row(5), 14),
        I(dstSecondsToAdjust.row(0), 3600),
        I(dstSecondsToAdjust.row(1), 0),
        I(maxTimeBaseScheduleEntries, 29),
        I(maxDayPlans, 20),
        I(maxDayPlanEvents, 24),
        I(eventConfigClass.row(59), 1),
        I(eventConfigMode.row(0), 1),
        I(eventConfigAction.row(30), 2),
        I(eventConfigStatus.row(59), 2),
        I(eventLogID.row(0), 1),
        I(eventLogID.row(4079), 1),
        I(eventClassLimit.row(15), 0),
        I(communityNameAccessMask.row(0), 0),
        I(communityNameAccessMask.row(2), 0xFFFFFFFF),
        I(communityNameAccessMask.row(99), 0),
        I(chapNumberOfSecrets, 1),
        I(snmpMaxPacketSize, 2050),
        I(globalMaxModules, 8),
        I(moduleType.row(0), 3),
        I(moduleType.row(1), 2),
        I(moduleType.row(6), 2),
        I(moduleType.row(7), 3),
        I(dbCreateTransaction, 1),
        I(dbErrorType, 7),
        I(maxDaylightSavingEntries, 10),
        I(maxEventLogConfigs, 60),
        I(maxEventLogSize, 255),
        I(maxEventClasses, 16),
        I(communityNamesMax, 100),
        I(communityNameIndex.row(0), 1),
        I(communityNameIndex.row(99), 100),
        I(maxAuxIOv2TableNumDigitalPorts, 112),
        I(maxAuxIOv2TableNumAnalogPorts, 24),
        I(auxIOv2PortType.row(0), 3),
        I(auxIOv2PortType.row(111), 3),
        I(auxIOv2PortType.row(112), 2),
        I(auxIOv2PortNumber.row(0), 1),
        I(auxIOv2PortNumber.row(111), 112),
        I(auxIOv2PortNumber.row(112), 1),
        I(auxIOv2PortNumber.row(135), 24),
        I(auxIOv2PortDirection.row(135), 2),
        // MIB-II
        I(ifSpeed, 83886080),
        I(ipForwarding, 2),
        I(ipDefaultTTL, 100),
        I(rs232PortInSpeed.row(0), 9600),
        I(rs232PortInSpeed.row(3), 9600),
        I(rs232PortInSpeed.row(4), 10),
        I(sysServices, 67),
        I(ifNumber, 1),
        I(ifIndex, 1),
        I(ifType, 6),
        I(ifMtu, 1518),
        I(ifAdminStatus, 1),
        I(ifOperStatus, 1),
        I(unnamedV24564, 1),
        I(ipRouteType, 1),
        I(dot3StatsIndex, 1),
        I(lapbAdmnIndex.row(4), 5),
        I(lapbOperIndex.row(0), 1),
        I(rs232PortIndex.row(2), 3),
        I(rs232PortType.row(0), 2),
        I(rs232PortType.row(2), 1),
        I(rs232PortType.row(4), 1),
        I(rs232AsyncPortIndex.row(4), 5),
        I(snmpEnableAuthenTraps, 2),
        I(snmpInPkts, 0),
        // Private, non-volatile
        I(halvObj1_1, 1),
        I(halvIllumBrightnessScaler, 100),
        I(halvObj2_37, 40),
        I(halvShutOffTemp, 75),
        I(halvModuleID, 28),
        I(halvhdlcAddress, 1),
        I(halvLCDAdminPassword, FACTORY_LCD_ADMIN_PASSWORD),
        I(halvRemoteIPPort, 162),
        I(halvEthernetMode, 1),
        I(halvHostIPPort, 161),
        I(halvFeatureSet, 20),
        I(halvHostHttpPort, 80),
        I(halvNTPPollTime, 60),
        I(halvCANBaudRate, 1),
        I(halvModTimeout, 10),
        I(halvObj2_8, 1),
        I(halvLanguage, 1),
        I(halvScriptControl, 1),
        I(siteLatitude, 90000001),
        I(siteLongitude, 180000001),
        I(halvZORVBayHeightInModules, 3),
        I(halvZORVBayWidthInModules, 3),
        I(halvObj2_30_2, 120),
        I(halvObj2_30_1, 2),
        I(halvObj2_30_3_1_2.row(0), 40),
        I(halvObj2_30_3_1_2.row(1), 100),
        I(halvObj2_30_3_1_3.row(0), 100),
        I(halvObj2_30_3_1_3.row(1), 40),
        I(halvObj2_30_3_1_3.row(4), 0),
        I(halvCallbackMinTimeBetweenAttempts, 5),
        I(halvCallbackMaxAttempts, 5),
        I(halvLCDPassword, FACTORY_LCD_PASSWORD),
        I(halvCommConfigProtocol.row(0), 2),
        I(halvCommConfigProtocol.row(1), 0),
        I(halvCommConfigProtocol.row(4), 11),
        I(halvCommConfigFlowControl.row(4), 4),
        I(halvObj2_17_5, 2),
        I(halvObj2_17_6, 1),
        I(halvPeripheralID.row(0), 2),
        I(halvPeripheralID.row(254), 0),
        I(halvTrapsGeneric, 64),
        I(halvObj2_18_1, 50),
        I(halvObj11_4, 1024),
        // Private, volatile
        I(halvObj2_3, 1),
        I(panynjObj1_6, 100),
        I(halvObj2_20, 2),
        I(activationRequestState.row(6), 1),
        I(activationRequestSource.row(2), 1),
        I(modemRssi, 0xFF81),
        I(halvObj2_32_3, 9),
        I(halvObj2_30_4, 1),
        I(unnamedV17247, 100),
        I(panynjObj1_4, 1),
        I(halvObj5_13, 1),
        I(halvObj6_1, 1000),
        I(halvObj2_17_1, 5),
        I(halvObj2_17_2_1_7.row(0), 2),
        I(halvObj2_17_2_1_7.row(2), 3),
        I(halvObj2_17_2_1_7.row(4), 4),
        I(halvObj2_15_2, 255),
        I(peripheralConfigState, 2),
        I(halvObj11_2_1_5.row(25), 1),
        I(halvObj11_2_1_6.row(0), 1),
        // Subtrees
        I(fdotObj11_11, 3600),
        I(fdotMaxNumPixelFailure, 0xFFFFFFFF),
        I(fdotDmsMaxPollTime, 0),
        I(zuduzFanControl1, 2),
        I(zuduzFanControl2, 2),
        I(zuduzFanStatus1, 2),
        I(zuduzFanStatus2, 2),
        I(quorvelObj1_1_5_2.row(4), 1),
        I(quorvelObj1_1_5_3.row(0), 1),
        I(quorvelObj1_2_13, 1),
        I(essLatitude, 90000001),
        I(essLongitude, 180000001),
        I(essVehicleBearing, 0),
    };
    for (const IntCase& c : cases)
        EXPECT_EQ(c.value, Get(c.object)) << c.name;
}

TEST_F(DefaultsTest, ColdStartStringsFromEveryTable) {
    ColdStart();
    const std::string blank_id = B({7, 0, 1, 0, 0});
    const std::string buffer_id = B({5, 0, 1, 0, 0});
    const StrCase cases[] = {
        S(sysDescr, "Halvenmark, Inc. TZR-5100 Tessalon(tm) VMS Field Controller"),
        S(sysName, "Halvenmark, Inc. TZR-5100 Tessalon(tm) VMS Field Controller"),
        S(sysLocation, "Unknown"),
        S(unnamedNV98028, "0.0.0.0"),
        S(sysObjectID, Oid({1, 3, 6, 1, 4, 1, 1206, 4, 2, 3})),
        S(ifDescr, "Ethernet Port"),
        S(ifSpecific, Oid({0, 0})),
        S(dot3StatsEtherChipSet, Oid({1, 3, 6, 1, 2, 1, 10, 7, 8, 2, 1})),
        S(communityNameAdmin, "stewardcastle"),
        S(communityNameUser.row(0), "meadow"),
        S(communityNameUser.row(2), "Harbor"),
        S(communityNameUser.row(99), "meadow"),
        S(chapSecret, "MARVOD"),
        S(dayPlanActionNumberOID.row(479), Oid({1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 3, 1, 0})),
        S(eventConfigCompareOID.row(0), std::string(8, '\0')),
        S(eventConfigLogOID.row(59), std::string(8, '\0')),
        S(eventLogValue.row(100), ""),
        S(auxIOv2PortDescription.row(0), "UNUSED"),
        S(auxIOv2PortDescription.row(135), "UNUSED"),
        S(controllerBaseStandards,
          "NTCIP 1101:1996v01.12\r\nNTCIP 1201:v03.03\r\nNTCIP 1203:v02.35\r\nNTCIP "
          "2101:2001v01.19\r\nNTCIP 2103:v02.04\r\nNTCIP 2201:2003 v01.15\r\nNTCIP 2202:2001 "
          "v01.05"),
        S(moduleDeviceNode.row(5), Oid({1, 3, 6, 1, 4, 1, 1206, 4, 2, 3})),
        S(moduleMake.row(0), "Halvenmark, Inc."),
        S(moduleMake.row(7), "Halvenmark, Inc."),
        S(moduleModel.row(1), "CONTROLLER SERIAL NUMBER"),
        S(moduleVersion.row(1), "SN: ----"),
        S(moduleModel.row(2), "DISPLAY DRIVER"),
        S(moduleVersion.row(2), ""),
        S(moduleModel.row(5), "DISTRIBUTION BOARD"),
        S(moduleModel.row(6), "SIGN MODEL"),
        S(moduleVersion.row(6), "SN: ----"),
        S(dbErrorID, std::string(8, '\0')),
        S(dmsMsgTableSource, blank_id),
        S(dmsShortPowerRecoveryMessage, buffer_id),
        S(dmsLongPowerRecoveryMessage, buffer_id),
        S(dmsResetMessage, buffer_id),
        S(dmsCommunicationsLossMessage, blank_id),
        S(dmsPowerLossMessage, buffer_id),
        S(dmsEndDurationMessage, blank_id),
        S(dmsIllumBrightnessValues, "0"),
        S(changeableMsgMultiString.row(0), ""),
        S(dmsActionMsgCode.row(254), ""),
        S(defaultBackgroundRGB, B({0})),
        S(defaultForegroundRGB, B({9})),
        S(defaultBackgroundRGBActivate, B({0})),
        S(defaultForegroundRGBActivate, B({9})),
        S(dmsGraphicTransparentColor.row(49), B({0})),
        S(dmsSupportedMultiTags, B({0xFF, 0xFF, 0xFF, 0x3F})),
        S(dmsPowerFailureStatusMap, B({0})),
        S(dmsClimateCtrlStatusMap, B({0})),
        S(lampFailureStuckOn, ""),
        S(halvEmergencyMessage, blank_id),
        S(unnamedNV95084, blank_id),
        S(savedActivateMessage, B({0xFF, 0xFF, 1, 7, 0, 1, 0, 0, 0, 0, 0, 0})),
        S(halvPeripheralParameters.row(0), "42002,2"),
        S(halvPeripheralParameters.row(1), ""),
        S(halvTrapsEnterpriseSpecific, B({0xC5, 0x21, 0x02})),
        S(activationRequestCode.row(0), std::string(12, '\0')),
        S(activationRequestCode.row(1), std::string(12, '\0')),
        S(activationRequestCode.row(6), ""),
        S(halvObj11_3_1_3.row(0), std::string(1024, '\0')),
        S(halvObj11_3_1_3.row(1637), std::string(1024, '\0')),
        S(panynjObj1_7, B({0})),
        S(panynjObj1_3, ""),
        S(zuduzClimateFailures, B({0})),
        S(zuduzPowerStatus, B({0, 0})),
    };
    for (const StrCase& c : cases)
        EXPECT_EQ(c.value, Str(c.object)) << c.name;

    // The sales contact has 46 characters; the CHAP name is 8 upper-case letters.
    EXPECT_EQ(46u, Str(obj::sysContact).size());
    const std::string chap = Str(obj::chapName);
    ASSERT_EQ(8u, chap.size());
    for (char ch : chap)
        EXPECT_TRUE(ch >= 'A' && ch <= 'Z') << chap;
    // monochromeColor: amber then black, red first.
    EXPECT_EQ(B({0xFF, 0xD9, 0x00, 0, 0, 0}), Str(obj::monochromeColor));
}

TEST_F(DefaultsTest, ModuleTableNamesTheBuild) {
    ColdStart();
    const std::string version = Str(obj::moduleVersion.row(0));
    EXPECT_NE(std::string::npos, Str(obj::moduleModel.row(0)).find(" - TZR-5100 FW"));
    EXPECT_EQ(3, std::count(version.begin(), version.end(), '.')) << version;
    EXPECT_EQ(std::string(kBootLoaderPartNumber) + " - BOOTLOADER", Str(obj::moduleModel.row(7)));
    EXPECT_FALSE(Str(obj::moduleVersion.row(7)).empty());
}

TEST_F(DefaultsTest, ImageHeaderAndSizesTrace) {
    ClearConsole();
    db->SetDefaults(0);
    const IntCase header[] = {
        I(mibNvVersion, 3),          I(mibNvImageSize, 98108),    I(mibNvDmsOffset, 40),
        I(mibNvGlobalOffset, 48116), I(mibNvHalvOffset, 95008),   I(mibNvClassbOffset, 98004),
        I(mibNvFdotOffset, 98076),   I(mibNvZuduzOffset, 98096),  I(dmsSectionTag, 1),
        I(dmsSectionSize, 48076),    I(globalSectionSize, 46892), I(halvSectionSize, 2996),
        I(classbSectionTag, 1),      I(classbSectionSize, 72),    I(fdotSectionSize, 20),
        I(zuduzSectionTag, 1),       I(zuduzSectionSize, 12),
    };
    for (const IntCase& c : header)
        EXPECT_EQ(c.value, Get(c.object)) << c.name;
    EXPECT_NE(std::string::npos, ConsoleText().find("DB Sizes - VersionInformation_mib_nv:40 "
                                                    "dms:48076 global:46892 halv:2996 "
                                                    "classb:72 fdot:20\n"));
    EXPECT_NE(std::string::npos, ConsoleText().find("Global Init, set begin month to march\n"));
}

TEST_F(DefaultsTest, OversizedTwoByteDefaultIsRefusedNotTruncated) {
    ClearConsole();
    ColdStart();
    EXPECT_EQ(0u, Get(obj::halvObj2_17_4)); // 450000 does not fit; 450000 & 0xFFFF is 56784
    EXPECT_NE(std::string::npos, ConsoleText().find("offset 95226 refused (3)"));
    // The object itself takes 2-byte values.
    EXPECT_EQ(0, Set(obj::halvObj2_17_4, 45000));
    EXPECT_EQ(45000u, Get(obj::halvObj2_17_4));
}

TEST_F(DefaultsTest, DefaultsAnnounceNothingJournalEveryChangeAndRestoreTheState) {
    db->SetNotifyOn(true);
    db->SetValidateOn(true);
    letters.Take();
    TakeBits();
    db->SetDefaults(0);
    EXPECT_EQ(1, db->IsFlashMode());
    EXPECT_TRUE(db->NotifyOn());
    EXPECT_TRUE(db->ValidateOn());
    const size_t records = journal.records.size();
    EXPECT_GT(records, 6000u); // every changed non-volatile value
    db->InitVolatile();
    EXPECT_EQ(0, db->IsFlashMode());
    EXPECT_EQ(records, journal.records.size()); // the volatile image is not journalled
    EXPECT_TRUE(letters.Take().empty());
    EXPECT_EQ(0u, TakeBits());
    // Writing the same defaults again journals nothing but the font table,
    // which is cleared and installed again.
    db->SetDefaults(0);
    for (size_t i = records; i < journal.records.size(); ++i)
        EXPECT_LT(journal.records[i].offset, obj::defaultBackground.offset)
            << "record " << i << " offset " << journal.records[i].offset;
}

TEST_F(DefaultsTest, PartialResetKeepsTheSignsConfiguration) {
    ColdStart();
    const DbObject kept_ints[] = {
        obj::controllerStandardTimeZone,
        obj::dstBeginMonth.row(3),
        obj::vmsSignWidthPixels,
        obj::dmsSignType,
        obj::dmsMaxNumberPages,
        obj::changeableMsgStatus.row(520),
        obj::changeableMsgRunTimePriority.row(549),
        obj::dmsGraphicStatus.row(7),
        obj::halvCommConfigProtocol.row(1),
        obj::halvPeripheralID.row(3),
        obj::halvTrapsGeneric,
        obj::ifSpeed,
        obj::rs232PortInSpeed.row(2),
        obj::fdotMaxNumPixelFailure,
        obj::halvModuleID,
        obj::halvSpecialFeatureSet,
    };
    const DbObject reset_ints[] = {
        obj::changeableMsgStatus.row(10),
        obj::communityNameAccessMask.row(5),
        obj::eventConfigAction.row(3),
        obj::halvObj1_1,
        obj::eventLogID.row(7),
        obj::maxDayPlans,
        obj::halvObj2_18_1,
        obj::halvObj11_4,
    };
    for (const DbObject& o : kept_ints)
        ASSERT_EQ(0, Set(o, 4, DB_NO_VALIDATE));
    for (const DbObject& o : reset_ints)
        ASSERT_EQ(0, Set(o, 4, DB_NO_VALIDATE));
    ASSERT_EQ(0, SetStr(obj::chapSecret, "kept"));
    ASSERT_EQ(0, SetStr(obj::changeableMsgMultiString.row(530), "permanent", DB_NO_VALIDATE));
    ASSERT_EQ(0, SetStr(obj::changeableMsgMultiString.row(30), "ordinary", DB_NO_VALIDATE));
    ASSERT_EQ(0, SetStr(obj::communityNameUser.row(7), "other"));
    ASSERT_EQ(0, SetStr(obj::savedActivateMessage, "xyz"));
    const DbObject& t = obj::globalTime;
    ASSERT_EQ(0u, GetGlobalTime(*db, t.offset, 4, Img(t), DB_NO_TIME_WARNING));
    ASSERT_EQ(0, SetGlobalTime(*db, t.offset, 4, 5000, Img(t), DB_NO_TIME_WARNING));

    db->SetDefaults(1);
    EXPECT_EQ(5000u, GetGlobalTime(*db, t.offset, 4, Img(t), DB_NO_TIME_WARNING));
    for (const DbObject& o : kept_ints)
        EXPECT_EQ(4u, Get(o)) << "kept: offset " << o.offset;
    for (const DbObject& o : reset_ints)
        EXPECT_NE(4u, Get(o)) << "reset: offset " << o.offset;
    EXPECT_EQ("kept", Str(obj::chapSecret));
    EXPECT_EQ("permanent", Str(obj::changeableMsgMultiString.row(530)));
    EXPECT_EQ("", Str(obj::changeableMsgMultiString.row(30)));
    EXPECT_EQ("meadow", Str(obj::communityNameUser.row(7)));
    EXPECT_EQ(12u, Str(obj::savedActivateMessage).size());
}

TEST_F(DefaultsTest, StartCountsValidMessagesAndReadyGraphics) {
    ColdStart();
    for (unsigned row : {0u, 7u, 499u, 520u})
        ASSERT_EQ(0, Set(obj::changeableMsgStatus.row(row), 4, DB_NO_VALIDATE));
    // Graphic 3 ready with a bitmap block; graphic 4 not in use with a block.
    ASSERT_EQ(0, Set(obj::dmsGraphicStatus.row(3), 4, DB_NO_VALIDATE));
    ASSERT_EQ(0, SetStr(obj::dmsGraphicBlockBitmap.row(3 * 63 + 2), "abc", DB_NO_VALIDATE));
    ASSERT_EQ(0, SetStr(obj::dmsGraphicBlockBitmap.row(4 * 63 + 62), "def", DB_NO_VALIDATE));
    ASSERT_EQ(0, Set(obj::dmsSignType, 4));

    db->InitVolatile(); // as at the next start
    EXPECT_EQ(3u, Get(obj::dmsNumChangeableMsg));
    EXPECT_EQ(497u * 1500, Get(obj::dmsFreeChangeableMemory));
    EXPECT_EQ(3u, Get(obj::dmsNumPermanentMsg));
    EXPECT_EQ(1u, Get(obj::dmsGraphicNumEntries));
    EXPECT_EQ("abc", Str(obj::dmsGraphicBlockBitmap.row(3 * 63 + 2)));
    EXPECT_EQ("", Str(obj::dmsGraphicBlockBitmap.row(4 * 63 + 62)));
    EXPECT_EQ(1u, Get(obj::numFonts)); // a character-matrix sign has one font
}

TEST_F(DefaultsTest, WarmStartKeepsStoredValuesAndRebuildsTheVolatileImage) {
    ColdStart();
    ASSERT_EQ(0, Set(obj::siteLatitude, 45500000));
    ASSERT_EQ(0, Set(obj::halvShutOffTemp, 0));
    ASSERT_EQ(0, SetStr(obj::sysLocation, "Exit 12"));
    ASSERT_EQ(0, Set(obj::dmsControlMode, 2, DB_NO_VALIDATE));
    ASSERT_EQ(0, Set(obj::snmpInPkts, 77));
    ASSERT_EQ(0, SetStr(obj::activationRequestCode.row(6), std::string(12, 'x')));

    db->InitVolatile(); // a warm start replays the journal, then runs this
    EXPECT_EQ(45500000u, Get(obj::siteLatitude));
    EXPECT_EQ(45500000u, Get(obj::essLatitude));
    EXPECT_EQ(0u, Get(obj::halvShutOffTemp));
    EXPECT_EQ("Exit 12", Str(obj::sysLocation));
    EXPECT_EQ(4u, Get(obj::dmsControlMode));
    EXPECT_EQ(0u, Get(obj::snmpInPkts));
    EXPECT_EQ("", Str(obj::activationRequestCode.row(6)));
}

// The 1,638 picture lines read as 1024 zero bytes from one shared block; a
// written line takes a block of its own and the shared block never changes.
TEST_F(DefaultsTest, PictureLinesShareOneBlockUntilWritten) {
    const uint32_t before = PoolAvailable();
    db->InitVolatile();
    EXPECT_LT(before - PoolAvailable(), 100000u); // not 1,638 blocks of 1,029 bytes
    const DbObject line = obj::halvObj11_3_1_3.row(5);
    const std::string zeros(1024, '\0');
    std::string picture(1024, '\0');
    picture[7] = 'p';
    ASSERT_EQ(0, SetStr(line, picture));
    EXPECT_EQ(picture, Str(line));
    EXPECT_EQ(zeros, Str(obj::halvObj11_3_1_3.row(4)));
    picture[8] = 'q'; // same length: written in the line's own block
    ASSERT_EQ(0, SetStr(line, picture));
    EXPECT_EQ(picture, Str(line));
    ASSERT_EQ(0, SetStr(obj::halvObj11_3_1_3.row(6), "short"));
    ASSERT_EQ(0, SetStr(obj::halvObj11_3_1_3.row(7), ""));
    EXPECT_EQ(zeros, Str(obj::halvObj11_3_1_3.row(8)));
    // The run-time defaults of a memory clear share the block again.
    const uint32_t after_writes = PoolAvailable();
    db->InitVolatile();
    EXPECT_GT(PoolAvailable(), after_writes);
    for (unsigned r : {5u, 6u, 7u, 8u})
        EXPECT_EQ(zeros, Str(obj::halvObj11_3_1_3.row(r))) << r;
}

// The "dynamic database" pool after a cold start must hold the message table
// at its advertised sizes: 500 changeable messages (dmsFreeChangeableMemory
// 750000 = 500 x 1500 bytes; here even every row at dmsMaxMultiStringLength,
// 1600 bytes, with an owner) and the 4 volatile messages.
TEST_F(DefaultsTest, PoolLeavesRoomForTheMessageTableAfterAColdStart) {
    const uint32_t before = PoolAvailable();
    ColdStart();
    const uint32_t after = PoolAvailable();
    std::printf("dynamic database pool: %u bytes free of %u after a cold start (%u used)\n", after,
                before, before - after);
    RecordProperty("pool_free_after_cold_start", int(after));

    // Restarting (defaults over defaults) takes nothing more from the pool.
    db->InitVolatile();
    EXPECT_EQ(after, PoolAvailable());

    const uint32_t longest = Get(obj::dmsMaxMultiStringLength);
    ASSERT_EQ(1600u, longest);
    const std::string message(longest, 'M');
    const std::string owner(20, 'o');
    for (unsigned r = 0; r < obj::kChangeableMsgOrdinaryRows; ++r) {
        ASSERT_EQ(0, SetStr(obj::changeableMsgMultiString.row(r), message, DB_NO_VALIDATE)) << r;
        ASSERT_EQ(0, SetStr(obj::changeableMsgOwner.row(r), owner, DB_NO_VALIDATE)) << r;
    }
    for (unsigned r = 0; r < obj::kVolatileMsgRows; ++r)
        ASSERT_EQ(
            0, SetStr(obj::volatileMsgMultiString.row(r), std::string(1500, 'V'), DB_NO_VALIDATE))
            << r;
    std::printf("dynamic database pool: %u bytes free with every changeable row at %u bytes\n",
                PoolAvailable(), longest);
    EXPECT_GT(PoolAvailable(), 100000u);
}

} // namespace
