// MIB-II objects: the classb section of the non-volatile image (offsets
// 98012 .. 98075) and the MIB-II and transmission objects of the volatile
// image (offsets 24464 .. 25159). OID-valued objects are dynamic values that
// hold their sub-identifiers as 32-bit big-endian words.
#pragma once

namespace obj {
using namespace dbdef;

// ---------------------------------------------------------------------------
// Non-volatile (classb)
constexpr DbObject sysContact = nv_str(98012);
constexpr DbObject sysName = nv_str(98016);
constexpr DbObject sysLocation = nv_str(98020);
constexpr DbObject ifSpeed = nv(98024, 4);
constexpr DbObject unnamedNV98028 = nv_str(98028); // the text "0.0.0.0"
constexpr DbObject unnamedNV98032 = nv(98032, 4);
constexpr DbObject ipForwarding = nv(98036, 1);
constexpr DbObject ipDefaultTTL = nv(98040, 4);
constexpr DbObject ipRouteMask = nv(98044, 4);
constexpr DbObject rs232PortInSpeed = nv(98048, 4, 5);

// ---------------------------------------------------------------------------
// Volatile: system group
constexpr DbObject sysDescr = v_str(24464);
constexpr DbObject sysObjectID = v_str(24468);
constexpr DbObject sysUpTime = v(24472, 4);
constexpr DbObject sysServices = v(24476, 1);

// Interfaces: one row
constexpr DbObject ifNumber = v(24480, 4);
constexpr DbObject ifIndex = v(24484, 4);
constexpr DbObject ifDescr = v_str(24488);
constexpr DbObject ifType = v(24492, 1);
constexpr DbObject ifMtu = v(24496, 4);
constexpr DbObject ifPhysAddress = v_str(24500);
constexpr DbObject ifAdminStatus = v(24504, 1);
constexpr DbObject ifOperStatus = v(24505, 1);
constexpr DbObject ifLastChange = v(24508, 4);
constexpr DbObject ifInOctets = v(24512, 4);
constexpr DbObject ifInUcastPkts = v(24516, 4);
constexpr DbObject ifInNUcastPkts = v(24520, 4);
constexpr DbObject ifInDiscards = v(24524, 4);
constexpr DbObject ifInErrors = v(24528, 4);
constexpr DbObject ifInUnknownProtos = v(24532, 4);
constexpr DbObject ifOutOctets = v(24536, 4);
constexpr DbObject ifOutUcastPkts = v(24540, 4);
constexpr DbObject ifOutNUcastPkts = v(24544, 4);
constexpr DbObject ifOutDiscards = v(24548, 4);
constexpr DbObject ifOutErrors = v(24552, 4);
constexpr DbObject ifOutQLen = v(24556, 4);
constexpr DbObject ifSpecific = v_str(24560);
// The 13 interface counters ifLastChange .. ifOutQLen as one run.
constexpr DbObject ifCounters = v(24508, 4, 13);
constexpr DbObject unnamedV24564 = v(24564, 4);

// IP group counters 4.3 .. 4.19 and 4.23, in OID order
constexpr DbObject ipInReceives = v(24568, 4);
constexpr DbObject ipInHdrErrors = v(24572, 4);
constexpr DbObject ipInAddrErrors = v(24576, 4);
constexpr DbObject ipForwDatagrams = v(24580, 4);
constexpr DbObject ipInUnknownProtos = v(24584, 4);
constexpr DbObject ipInDiscards = v(24588, 4);
constexpr DbObject ipInDelivers = v(24592, 4);
constexpr DbObject ipOutRequests = v(24596, 4);
constexpr DbObject ipOutDiscards = v(24600, 4);
constexpr DbObject ipOutNoRoutes = v(24604, 4);
constexpr DbObject ipReasmTimeout = v(24608, 4);
constexpr DbObject ipReasmReqds = v(24612, 4);
constexpr DbObject ipReasmOKs = v(24616, 4);
constexpr DbObject ipReasmFails = v(24620, 4);
constexpr DbObject ipFragOKs = v(24624, 4);
constexpr DbObject ipFragFails = v(24628, 4);
constexpr DbObject ipFragCreates = v(24632, 4);
constexpr DbObject ipRoutingDiscards = v(24636, 4);
constexpr DbObject ipCounters = v(24568, 4, 18);

// IP address row
constexpr DbObject ipAdEntAddr = v(24640, 4);
constexpr DbObject ipAdEntIfIndex = v(24644, 4);
constexpr DbObject ipAdEntNetMask = v(24648, 4);
constexpr DbObject ipAdEntBcastAddr = v(24652, 4);
constexpr DbObject ipAdEntReasmMaxSize = v(24656, 2);

// IP route row (its mask is the non-volatile ipRouteMask)
constexpr DbObject ipRouteDest = v(24660, 4);
constexpr DbObject ipRouteIfIndex = v(24664, 4);
constexpr DbObject ipRouteMetric1 = v(24668, 4);
constexpr DbObject ipRouteMetric2 = v(24672, 4);
constexpr DbObject ipRouteMetric3 = v(24676, 4);
constexpr DbObject ipRouteMetric4 = v(24680, 4);
constexpr DbObject ipRouteNextHop = v(24684, 4);
constexpr DbObject ipRouteType = v(24688, 1);
constexpr DbObject ipRouteProto = v(24689, 1);
constexpr DbObject ipRouteAge = v(24692, 4);
constexpr DbObject ipRouteMetric5 = v(24696, 4);
constexpr DbObject ipRouteInfo = v_str(24700);

// Address translation row
constexpr DbObject ipNetToMediaIfIndex = v(24704, 4);
constexpr DbObject ipNetToMediaPhysAddress = v_str(24708);
constexpr DbObject ipNetToMediaNetAddress = v(24712, 4);
constexpr DbObject ipNetToMediaType = v(24716, 1);

// Ethernet statistics row: index, 12 counters, chip set
constexpr DbObject dot3StatsIndex = v(24720, 4);
constexpr DbObject dot3StatsAlignmentErrors = v(24724, 4);
constexpr DbObject dot3StatsFCSErrors = v(24728, 4);
constexpr DbObject dot3StatsSingleCollisionFrames = v(24732, 4);
constexpr DbObject dot3StatsMultipleCollisionFrames = v(24736, 4);
constexpr DbObject dot3StatsSQETestErrors = v(24740, 4);
constexpr DbObject dot3StatsDeferredTransmissions = v(24744, 4);
constexpr DbObject dot3StatsLateCollisions = v(24748, 4);
constexpr DbObject dot3StatsExcessiveCollisions = v(24752, 4);
constexpr DbObject dot3StatsInternalMacTransmitErrors = v(24756, 4);
constexpr DbObject dot3StatsCarrierSenseErrors = v(24760, 4);
constexpr DbObject dot3StatsFrameTooLongs = v(24764, 4);
constexpr DbObject dot3StatsInternalMacReceiveErrors = v(24768, 4);
constexpr DbObject dot3StatsCounters = v(24724, 4, 12);
constexpr DbObject dot3StatsEtherChipSet = v_str(24772);
constexpr DbObject unnamedV24776 = v(24776, 1);
constexpr DbObject unnamedV24780 = v(24780, 4);

// LAPB administration and operation tables, 5 rows
constexpr DbObject lapbAdmnIndex = v(24784, 4, 5);
constexpr DbObject lapbAdmnT1AckWait = v(24804, 4, 5);
constexpr DbObject lapbAdmnT2AckDelay = v(24824, 4, 5);
constexpr DbObject lapbAdmnT3Disconnect = v(24844, 4, 5);
constexpr DbObject lapbAdmnT4Idle = v(24864, 4, 5);
constexpr DbObject lapbOperIndex = v(24884, 4, 5);
constexpr DbObject lapbOperTransmitN1FrameSize = v(24904, 4, 5);
constexpr DbObject lapbOperReceiveN1FrameSize = v(24924, 4, 5);
constexpr DbObject lapbOperPortId = v_str(24944, 5);

// RS-232 tables, 5 rows
constexpr DbObject rs232Number = v(24964, 4);
constexpr DbObject rs232PortIndex = v(24968, 4, 5);
constexpr DbObject rs232PortType = v(24988, 1, 5);
constexpr DbObject rs232AsyncPortIndex = v(24996, 4, 5);
constexpr DbObject rs232AsyncPortFramingErrs = v(25016, 4, 5);
constexpr DbObject rs232AsyncPortOverrunErrs = v(25036, 4, 5);

// SNMP group: 25 counters in OID order (11.7, 11.13, 11.14, 11.23 skipped)
constexpr DbObject snmpInPkts = v(25056, 4);
constexpr DbObject snmpOutPkts = v(25060, 4);
constexpr DbObject snmpInBadVersions = v(25064, 4);
constexpr DbObject snmpInBadCommunityNames = v(25068, 4);
constexpr DbObject snmpInBadCommunityUses = v(25072, 4);
constexpr DbObject snmpInASNParseErrs = v(25076, 4);
constexpr DbObject snmpInTooBigs = v(25080, 4);
constexpr DbObject snmpInNoSuchNames = v(25084, 4);
constexpr DbObject snmpInBadValues = v(25088, 4);
constexpr DbObject snmpInReadOnlys = v(25092, 4);
constexpr DbObject snmpInGenErrs = v(25096, 4);
constexpr DbObject snmpInGetRequests = v(25100, 4);
constexpr DbObject snmpInGetNexts = v(25104, 4);
constexpr DbObject snmpInSetRequests = v(25108, 4);
constexpr DbObject snmpInGetResponses = v(25112, 4);
constexpr DbObject snmpInTraps = v(25116, 4);
constexpr DbObject snmpOutTooBigs = v(25120, 4);
constexpr DbObject snmpOutNoSuchNames = v(25124, 4);
constexpr DbObject snmpOutBadValues = v(25128, 4);
constexpr DbObject snmpOutGenErrs = v(25132, 4);
constexpr DbObject snmpOutGetRequests = v(25136, 4);
constexpr DbObject snmpOutGetNexts = v(25140, 4);
constexpr DbObject snmpOutSetRequests = v(25144, 4);
constexpr DbObject snmpOutGetResponses = v(25148, 4);
constexpr DbObject snmpOutTraps = v(25152, 4);
constexpr DbObject snmpCounters = v(25056, 4, 25);
constexpr DbObject snmpEnableAuthenTraps = v(25156, 4);
} // namespace obj
