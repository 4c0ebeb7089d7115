// Factory and run-time values of the MIB-II (classb) and maker-private (halv)
// objects.
#include "store/config_objects.h"
#include "store/defaults.h"
#include "store/defaults_table.h"

using namespace defaults;

namespace {

constexpr const char kSysName[] = "Halvenmark, Inc. TZR-5100 Tessalon(tm) VMS Field Controller";
constexpr const char kSysContact[] = "Halvenmark, Inc. Sales Office: +1 800 555 0147";
static_assert(sizeof kSysContact - 1 == 46, "the contact text has 46 characters");

using SignOid = Oid<1, 3, 6, 1, 4, 1, 1206, 4, 2, 3>;
using NullOid = Oid<0, 0>;
using EtherChipSetOid = Oid<1, 3, 6, 1, 2, 1, 10, 7, 8, 2, 1>;

// ---------------------------------------------------------------------------
// MIB-II

constexpr DefaultValue kMib2Nv[] = {
    text(obj::sysContact, kSysContact),
    text(obj::sysName, kSysName),
    text(obj::sysLocation, "Unknown"),
    full_reset(set(obj::ifSpeed, 83886080)), // 10 Mbit/s
    text(obj::unnamedNV98028, "0.0.0.0"),
    set(obj::unnamedNV98032, 0),
    set(obj::ipForwarding, 2),
    set(obj::ipDefaultTTL, 100),
    set(obj::ipRouteMask, 0),
    full_reset(set(rows(obj::rs232PortInSpeed, 0, 4), 9600)),
    full_reset(set(obj::rs232PortInSpeed.row(4), 10)), // port 5
};

constexpr DefaultValue kMib2V[] = {
    text(obj::sysDescr, kSysName),
    bytes(obj::sysObjectID, SignOid::value.data(), SignOid::value.size()),
    set(obj::sysUpTime, 0),
    set(obj::sysServices, 67),
    set(obj::ifNumber, 1),
    // Interface row 1, then its own description, type and MTU.
    set(obj::ifIndex, 1),
    empty(obj::ifDescr),
    set(obj::ifType, 0),
    set(obj::ifMtu, 0),
    empty(obj::ifPhysAddress),
    set(obj::ifAdminStatus, 1),
    set(obj::ifOperStatus, 1),
    set(obj::ifCounters, 0),
    bytes(obj::ifSpecific, NullOid::value.data(), NullOid::value.size()),
    text(obj::ifDescr, "Ethernet Port"),
    set(obj::ifType, 6),
    set(obj::ifMtu, 1518),
    set(obj::unnamedV24564, 1),
    set(obj::ipCounters, 0),
    // Address, route and address-translation rows
    set(obj::ipAdEntAddr, 0),
    set(obj::ipAdEntIfIndex, 0),
    set(obj::ipAdEntNetMask, 0),
    set(obj::ipAdEntBcastAddr, 0),
    set(obj::ipAdEntReasmMaxSize, 0),
    set(obj::ipRouteDest, 0),
    set(obj::ipRouteIfIndex, 0),
    set(obj::ipRouteMetric1, 0),
    set(obj::ipRouteMetric2, 0),
    set(obj::ipRouteMetric3, 0),
    set(obj::ipRouteMetric4, 0),
    set(obj::ipRouteNextHop, 0),
    set(obj::ipRouteType, 1),
    set(obj::ipRouteProto, 0),
    set(obj::ipRouteAge, 0),
    set(obj::ipRouteMetric5, 0),
    bytes(obj::ipRouteInfo, NullOid::value.data(), NullOid::value.size()),
    set(obj::ipNetToMediaIfIndex, 0),
    empty(obj::ipNetToMediaPhysAddress),
    set(obj::ipNetToMediaNetAddress, 0),
    set(obj::ipNetToMediaType, 0),
    // Ethernet statistics
    set(obj::dot3StatsIndex, 1),
    set(obj::dot3StatsCounters, 0),
    bytes(obj::dot3StatsEtherChipSet, EtherChipSetOid::value.data(), EtherChipSetOid::value.size()),
    set(obj::unnamedV24776, 0),
    set(obj::unnamedV24780, 0),
    // LAPB
    count_from(obj::lapbAdmnIndex, 1),
    set(obj::lapbAdmnT1AckWait, 0),
    set(obj::lapbAdmnT2AckDelay, 0),
    set(obj::lapbAdmnT3Disconnect, 0),
    set(obj::lapbAdmnT4Idle, 0),
    count_from(obj::lapbOperIndex, 1),
    set(obj::lapbOperTransmitN1FrameSize, 0),
    set(obj::lapbOperReceiveN1FrameSize, 0),
    bytes(obj::lapbOperPortId, NullOid::value.data(), NullOid::value.size()),
    // RS-232
    set(obj::rs232Number, 0),
    count_from(obj::rs232PortIndex, 1),
    set(obj::rs232PortType, 2),
    set(obj::rs232PortType.row(2), 1),
    set(obj::rs232PortType.row(4), 1),
    count_from(obj::rs232AsyncPortIndex, 1),
    set(obj::rs232AsyncPortFramingErrs, 0),
    set(obj::rs232AsyncPortOverrunErrs, 0),
    // SNMP
    set(obj::snmpCounters, 0),
    set(obj::snmpEnableAuthenTraps, 2),
};

// ---------------------------------------------------------------------------
// Maker-private

// MessageIDCode of blank message 1, and the activation code of blank message 1
// {duration 65535, priority 1, memory type 7, number 1, CRC 0, source 0}.
constexpr uint8_t kBlankIdCode[] = {7, 0, 1, 0, 0};
constexpr uint8_t kBlankActivation[] = {0xFF, 0xFF, 1, 7, 0, 1, 0, 0, 0, 0, 0, 0};
constexpr uint8_t kEnterpriseTraps[] = {0xC5, 0x21, 0x02};

constexpr DbObject rows2to4(const DbObject& c) {
    return rows(c, 2, 3);
}

constexpr DefaultValue kHalvNv[] = {
    set(obj::halvObj1_1, 1),
    full_reset(set(obj::halvIllumBrightnessScaler, 100)),
    full_reset(set(obj::halvObj2_37, 40)),
    full_reset(set(obj::halvShutOffTemp, 75)),
    full_reset(set(obj::halvModuleID, 28)),
    full_reset(set(obj::halvEnableRealTimePixelDiagnostics, 0)),
    full_reset(set(obj::halvhdlcAddress, 1)),
    full_reset(set(obj::halvLCDAdminPassword, FACTORY_LCD_ADMIN_PASSWORD)),
    full_reset(set(obj::halvLegibilityRatioThreshold, 0)),
    full_reset(set(obj::halvSpecialFeatureSet, 0)),
    full_reset(set(obj::halvRemoteIPAddress, 0)),
    full_reset(set(obj::halvRemoteIPPort, 162)),
    full_reset(set(obj::halvEthernetMode, 1)),
    full_reset(set(obj::halvHostIPPort, 161)),
    full_reset(set(obj::halvFeatureSet, 20)),
    full_reset(set(obj::halvHostHttpPort, 80)),
    full_reset(set(obj::halvNTPIPAddress, 0)),
    full_reset(empty(obj::halvObj2_21_7)),
    full_reset(set(obj::halvNTPPollTime, 60)),
    full_reset(set(obj::halvObj2_22, 0)),
    full_reset(set(obj::halvObj2_23, 0)),
    full_reset(set(obj::halvCANBaudRate, 1)),
    full_reset(set(obj::halvCANMaxLineLength, 0)),
    full_reset(set(obj::halvModTimeout, 10)),
    full_reset(bytes(obj::halvEmergencyMessage, kBlankIdCode, 5)),
    full_reset(set(obj::halvObj2_8, 1)),
    full_reset(set(obj::halvLanguage, 1)),
    full_reset(set(obj::halvScriptControl, 1)),
    full_reset(set(obj::siteLatitude, 90000001)),   // position unavailable
    full_reset(set(obj::siteLongitude, 180000001)), // position unavailable
    full_reset(set(obj::halvSignSerialNum, 0)),
    full_reset(set(obj::halvControllerSerialNum, 0)),
    full_reset(set(obj::halvHeartBeatThreshold, 0)),
    bytes(obj::unnamedNV95084, kBlankIdCode, 5),
    bytes(obj::savedActivateMessage, kBlankActivation, 12),
    full_reset(set(obj::halvZORVBayHeightInModules, 3)),
    full_reset(set(obj::halvZORVBayWidthInModules, 3)),
    full_reset(set(obj::halvLineLength, 0)),
    full_reset(set(obj::halvObj2_30_2, 120)),
    full_reset(set(obj::halvObj2_30_1, 2)),
    full_reset(set(obj::halvObj2_30_3_1_2.row(0), 40)),
    full_reset(set(obj::halvObj2_30_3_1_3.row(0), 100)),
    full_reset(set(obj::halvObj2_30_3_1_2.row(1), 100)),
    full_reset(set(obj::halvObj2_30_3_1_3.row(1), 40)),
    full_reset(set(rows2to4(obj::halvObj2_30_3_1_2), 0)),
    full_reset(set(rows2to4(obj::halvObj2_30_3_1_3), 0)),
    full_reset(empty(obj::halvCallbackNumber)),
    full_reset(set(obj::halvCallbackMinTimeBetweenAttempts, 5)),
    full_reset(set(obj::halvCallbackMaxAttempts, 5)),
    full_reset(set(obj::halvLCDPassword, FACTORY_LCD_PASSWORD)),
    full_reset(empty(obj::halvObj9_1)),
    full_reset(set(obj::halvObj9_2, 0)),
    full_reset(empty(obj::halvObj9_3)),
    // Communication ports; row 0 the CCP port, row 4 Ethernet.
    full_reset(set(obj::halvCommConfigProtocol.row(0), 2)),
    full_reset(set(rows(obj::halvCommConfigProtocol, 1, 3), 0)),
    full_reset(set(obj::halvCommConfigProtocol.row(4), 11)),
    full_reset(set(rows(obj::halvCommConfigFlowControl, 0, 4), 0)),
    full_reset(set(obj::halvCommConfigFlowControl.row(4), 4)), // auto-negotiation
    full_reset(set(obj::halvCommConfigTraps, 0)),
    full_reset(set(obj::halvCommConfigInnerCharTimeout, 0)),
    full_reset(empty(obj::halvCommConfigParameters)),
    full_reset(set(obj::halvObj2_17_3, 0)),
    // 450000 does not fit the 2-byte object: the store refuses it and the
    // object keeps its value (0 after a cold start).
    full_reset(set(obj::halvObj2_17_4, 450000)),
    full_reset(set(obj::halvObj2_17_5, 2)),
    full_reset(set(obj::halvObj2_17_6, 1)),
    // Stored peripheral list: row 0 is the first CAN sensor board (0x42002).
    full_reset(set(obj::halvPeripheralID.row(0), 2)),
    full_reset(text(obj::halvPeripheralParameters.row(0), "42002,2")),
    full_reset(set(rows(obj::halvPeripheralID, 1, 254), 0)),
    full_reset(empty(rows(obj::halvPeripheralParameters, 1, 254))),
    full_reset(set(obj::halvTrapsGeneric, 64)),
    full_reset(bytes(obj::halvTrapsEnterpriseSpecific, kEnterpriseTraps, 3)),
    full_reset(set(obj::halvTrapsExpirationDuration, 0)),
    set(obj::halvObj2_18_1, 50),
    empty(obj::halvObj2_18_2_1_2),
    set(obj::halvObj11_4, 1024),
};

constexpr uint8_t kZeroCode[12] = {};
constexpr uint8_t kZeroLine[1024] = {};
constexpr DbObject slots2to6(const DbObject& c) {
    return rows(c, 2, 5);
}

constexpr DefaultValue kHalvV[] = {
    set(obj::halvObj1_2_1_3, 0),
    set(obj::halvObj2_3, 1),
    set(obj::panynjObj1_6, 100),
    set(obj::halvObj2_20, 2),
    set(obj::halvObj2_34, 0),
    set(obj::unnamedV17080, 0),
    // Activation request slots: the two emergency slots hold zero codes.
    bytes(rows(obj::activationRequestCode, 0, 2), kZeroCode, 12),
    empty(slots2to6(obj::activationRequestCode)),
    set(slots2to6(obj::activationRequestState), 1),
    set(slots2to6(obj::activationRequestSource), 1),
    set(slots2to6(obj::activationRequestExpiry), 0),
    empty(slots2to6(obj::activationRequestActiveCode)),
    set_signed(obj::modemRssi, -127),
    empty(obj::modemApn),
    empty(obj::modemUserId),
    empty(obj::modemPassword),
    empty(obj::modemProvisionSpc),
    empty(obj::modemProvisionArg2),
    empty(obj::modemProvisionArg3),
    set(obj::halvObj2_32_3, 9),
    set(obj::halvObj2_30_4, 1),
    set(obj::halvObj4_1, 0),
    set(obj::halvObj4_2, 0),
    set(obj::halvObj4_3, 0),
    set(obj::halvObj4_4, 0),
    empty(obj::halvObj4_5),
    set(obj::halvObj4_6, 0),
    set(obj::halvObj5_3, 0),
    set(obj::halvObj5_4, 0),
    set(obj::halvObj5_7, 0),
    set(obj::halvObj5_8, 0),
    set(obj::halvObj5_9, 0),
    set(obj::unnamedV17247, 100),
    set(obj::panynjObj1_4, 1),
    set(obj::halvObj5_12, 0),
    set(obj::halvObj5_13, 1),
    set(obj::halvObj5_10_1_2, 0),
    set(obj::halvObj6_1, 1000),
    empty(obj::halvObj6_2),
    set(obj::halvObj2_17_1, 5),
    set(obj::halvObj2_17_2_1_7.row(0), 2),
    set(obj::halvObj2_17_2_1_7.row(1), 2),
    set(obj::halvObj2_17_2_1_7.row(2), 3),
    set(obj::halvObj2_17_2_1_7.row(3), 2),
    set(obj::halvObj2_17_2_1_7.row(4), 4),
    set(obj::halvObj2_15_2, 255),
    set(obj::peripheralConfigState, 2),
    set(obj::halvPeripheralStatus, 0),
    set(obj::halvObj2_15_4, 0),
    // Diagnostic result slots: all free.
    set(obj::halvObj11_1, 0),
    set(obj::halvObj11_5, 0),
    empty(obj::halvObj11_2_1_2),
    set(obj::halvObj11_2_1_3, 0),
    set(obj::halvObj11_2_1_4, 0),
    set(obj::halvObj11_2_1_5, 1),
    set(obj::halvObj11_2_1_6, 1),
    set(obj::halvObj11_2_1_7, 1),
    empty(obj::halvObj11_2_1_8),
    // The 26 x 63 picture lines read as 1024 zero bytes each, all from one
    // shared block: 1,638 blocks of their own would hold 1.7 MB of the
    // "dynamic database" pool. A line gets its own block when it is written.
    shared(obj::halvObj11_3_1_3, kZeroLine, sizeof kZeroLine),
    set(obj::halvObj11_6_1_2, 0),
    set(obj::halvObj11_6_1_3, 0),
};

} // namespace

DefaultTables nv_default_tables_mib2_halv() {
    static const DefaultTable tables[] = {table(kMib2Nv), table(kHalvNv)};
    return {tables, 2};
}

void nv_defaults_mib2(CDataBase& store, int partial) {
    apply(store, kMib2Nv, partial);
}
void vol_defaults_mib2(CDataBase& store) {
    apply(store, kMib2V);
}
void nv_defaults_halv(CDataBase& store, int partial) {
    apply(store, kHalvNv, partial);
}
void vol_defaults_halv(CDataBase& store) {
    apply(store, kHalvV);
}
