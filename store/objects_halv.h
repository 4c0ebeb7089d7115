// Maker-private objects: the halv section of the non-volatile image
// (offsets 95016 .. 98003) and the private objects of the volatile image
// (offsets 14076 .. 24463). Objects that no MIB row names are called after
// their image and offset (unnamedNV95084).
#pragma once

namespace obj {
using namespace dbdef;

// ---------------------------------------------------------------------------
// Non-volatile: sign and display settings
constexpr DbObject halvObj1_1 = nv(95016, 1); // display test mode: 1 normal
constexpr DbObject halvIllumBrightnessScaler = nv(95020, 1);
constexpr DbObject halvShutOffTemp = nv(95023, 1); // signed degrees
constexpr DbObject halvEmergencyMessage = nv_str(95024);
// Message lock: a change posts LETTER_MESSAGE_LOCK_CHANGED to the display.
constexpr DbObject halvObj2_8 = nv(95028, 1);
constexpr DbObject halvModuleID = nv(95030, 2);
constexpr DbObject halvEnableRealTimePixelDiagnostics = nv(95032, 1);
constexpr DbObject halvhdlcAddress = nv(95036, 4);
constexpr DbObject halvLCDAdminPassword = nv(95040, 4);
constexpr DbObject halvLegibilityRatioThreshold = nv(95044, 1);
constexpr DbObject halvModTimeout = nv(95046, 2);
constexpr DbObject halvObj2_37 = nv(95048, 1);
constexpr DbObject halvHeartBeatThreshold = nv(95050, 2);
constexpr DbObject halvSpecialFeatureSet = nv(95052, 4);

// Network
constexpr DbObject halvRemoteIPAddress = nv(95056, 4);
constexpr DbObject halvRemoteIPPort = nv(95060, 2);
constexpr DbObject halvHostIPPort = nv(95062, 2);
constexpr DbObject halvHostHttpPort = nv(95064, 2);
constexpr DbObject halvEthernetMode = nv(95066, 1);
constexpr DbObject halvNTPIPAddress = nv(95068, 4);
constexpr DbObject halvObj2_21_7 = nv_str(95072);
constexpr DbObject halvNTPPollTime = nv(95076, 2);
constexpr DbObject halvObj2_22 = nv(95078, 1); // refresh rate
constexpr DbObject halvObj2_23 = nv(95079, 1); // bits per colour
constexpr DbObject halvLanguage = nv(95080, 1);
constexpr DbObject halvScriptControl = nv(95081, 1);
constexpr DbObject unnamedNV95084 = nv_str(95084); // a MessageIDCode
constexpr DbObject savedActivateMessage = nv_str(95088);
constexpr DbObject halvCANBaudRate = nv(95092, 1);
constexpr DbObject halvCANMaxLineLength = nv(95093, 1);
constexpr DbObject halvFeatureSet = nv(95096, 4);
constexpr DbObject siteLatitude = nv(95100, 4);  // millionths of a degree
constexpr DbObject siteLongitude = nv(95104, 4); // millionths of a degree
constexpr DbObject halvControllerSerialNum = nv(95108, 4);
constexpr DbObject halvSignSerialNum = nv(95112, 4);

// Sign layout
constexpr DbObject halvZORVBayHeightInModules = nv(95116, 1);
constexpr DbObject halvZORVBayWidthInModules = nv(95117, 1);
constexpr DbObject halvLineLength = nv(95118, 1, 9);
constexpr DbObject halvObj2_30_1 = nv(95128, 1);
constexpr DbObject halvObj2_30_2 = nv(95130, 2);
constexpr DbObject halvObj2_30_3_1_2 = nv(95132, 1, 5);
constexpr DbObject halvObj2_30_3_1_3 = nv(95137, 1, 5);

// Dial-back, passwords, caller id
constexpr DbObject halvCallbackNumber = nv_str(95144);
constexpr DbObject halvCallbackMinTimeBetweenAttempts = nv(95148, 2);
constexpr DbObject halvCallbackMaxAttempts = nv(95150, 1);
constexpr DbObject halvLCDPassword = nv(95152, 4);
constexpr DbObject unnamedNV95156 = nv_str(95156);
constexpr DbObject unnamedNV95160 = nv_str(95160);
constexpr DbObject halvObj9_1 = nv_str(95164);
constexpr DbObject halvObj9_2 = nv(95168, 4);
constexpr DbObject halvObj9_3 = nv_str(95172);

// Communication ports, 5 rows
constexpr unsigned kCommPortRows = 5;
constexpr DbObject halvCommConfigFlowControl = nv(95176, 1, 5);
constexpr DbObject halvCommConfigProtocol = nv(95181, 1, 5);
constexpr DbObject halvCommConfigTraps = nv(95186, 1, 5);
constexpr DbObject halvCommConfigInnerCharTimeout = nv(95192, 2, 5);
constexpr DbObject halvCommConfigParameters = nv_str(95204, 5);
constexpr DbObject halvObj2_17_3 = nv(95224, 2);
constexpr DbObject halvObj2_17_4 = nv(95226, 2);
constexpr DbObject halvObj2_17_5 = nv(95228, 1);
constexpr DbObject halvObj2_17_6 = nv(95229, 1); // port reconfiguration request

// Stored peripheral list, 255 rows
constexpr unsigned kPeripheralRows = 255;
constexpr DbObject halvPeripheralID = nv(95232, 2, 255);
constexpr DbObject halvPeripheralParameters = nv_str(95744, 255);
constexpr DbObject halvPeripheralAuxIOTableIndex = nv_str(96764, 255);

// Traps
constexpr DbObject halvTrapsGeneric = nv(97784, 1);
constexpr DbObject halvTrapsEnterpriseSpecific = nv_str(97788);
constexpr DbObject halvTrapsExpirationDuration = nv(97792, 4);

// Message code table, 50 rows of MessageIDCodes
constexpr DbObject halvObj2_18_1 = nv(97796, 1);
constexpr DbObject halvObj2_18_2_1_2 = nv_str(97800, 50);
constexpr DbObject halvObj11_4 = nv(98000, 2);

// ---------------------------------------------------------------------------
// Volatile: pixel error details, 3 detection types x 500
constexpr DbObject halvObj1_2_1_3 = v(14076, 2, 1500);

// Commands and status
constexpr DbObject halvObj2_3 = v(17076, 1);   // memory-clear and restart command; 1 idle
constexpr DbObject panynjObj1_6 = v(17077, 1); // legibility ratio in percent
constexpr DbObject halvObj2_20 = v(17078, 1);
constexpr DbObject halvObj2_34 = v(17079, 1);
constexpr DbObject unnamedV17080 = v(17080, 1);

// Activation request slots, 7 rows (row 6 the ordinary slot)
constexpr unsigned kActivationSlots = 7;
constexpr DbObject activationRequestCode = v_str(17084, 7);
constexpr DbObject activationRequestState = v(17112, 1, 7);
constexpr DbObject activationRequestSource = v(17119, 1, 7);
constexpr DbObject activationRequestExpiry = v(17128, 4, 7);
constexpr DbObject activationRequestActiveCode = v_str(17156, 7);

// Cellular modem
constexpr DbObject modemRssi = v(17184, 2); // signed
constexpr DbObject modemApn = v_str(17192);
constexpr DbObject modemUserId = v_str(17196);
constexpr DbObject modemPassword = v_str(17200);
constexpr DbObject modemProvisionSpc = v_str(17204);
constexpr DbObject modemProvisionArg2 = v_str(17208);
constexpr DbObject modemProvisionArg3 = v_str(17212);

constexpr DbObject halvObj2_32_3 = v(17216, 1);
constexpr DbObject halvObj2_30_4 = v(17217, 1);

// File transfer
constexpr DbObject halvObj4_1 = v(17220, 1);
constexpr DbObject halvObj4_2 = v(17222, 2);
constexpr DbObject halvObj4_3 = v(17224, 4);
constexpr DbObject halvObj4_4 = v(17228, 2);
constexpr DbObject halvObj4_5 = v_str(17232);
constexpr DbObject halvObj4_6 = v(17236, 2);

// Diagnostic status
constexpr DbObject halvObj5_3 = v(17240, 2);
constexpr DbObject halvObj5_4 = v(17242, 2);
constexpr DbObject halvObj5_7 = v(17244, 1);
constexpr DbObject halvObj5_8 = v(17245, 1);
constexpr DbObject halvObj5_9 = v(17246, 1);
constexpr DbObject unnamedV17247 = v(17247, 1);
constexpr DbObject panynjObj1_4 = v(17248, 1); // request source of the running message
constexpr DbObject halvObj5_12 = v(17249, 1);
constexpr DbObject halvObj5_13 = v(17250, 1);
constexpr DbObject halvObj5_10_1_2 = v(17256, 2, 4);
constexpr DbObject halvObj6_1 = v(17264, 4);
constexpr DbObject halvObj6_2 = v_str(17268);

// Port status
constexpr DbObject halvObj2_17_1 = v(17272, 1);
constexpr DbObject halvObj2_17_2_1_7 = v(17273, 1, 5);

// Peripheral list editing
constexpr DbObject peripheralConfigState = v(17278, 1);
constexpr DbObject halvObj2_15_2 = v(17280, 2);
constexpr DbObject halvPeripheralStatus = v(17282, 1, 255);
constexpr DbObject halvObj2_15_4 = v(17538, 2);

// Diagnostic result slots: 26 entries, each with 63 text lines
// (halvObj11_3_1_3 row 63 * entry + line)
constexpr unsigned kResultEntries = 26;
constexpr unsigned kResultLinesPerEntry = 63;
constexpr DbObject halvObj11_1 = v(17540, 1);
constexpr DbObject halvObj11_5 = v(17541, 1);
constexpr DbObject halvObj11_2_1_2 = v_str(17544, 26);
constexpr DbObject halvObj11_2_1_3 = v(17648, 1, 26);
constexpr DbObject halvObj11_2_1_4 = v(17674, 2, 26);
constexpr DbObject halvObj11_2_1_5 = v(17726, 1, 26);
constexpr DbObject halvObj11_2_1_6 = v(17752, 1, 26);
constexpr DbObject halvObj11_2_1_7 = v(17778, 1, 26);
constexpr DbObject halvObj11_2_1_8 = v_str(17804, 26);
constexpr DbObject halvObj11_3_1_3 = v_str(17908, 1638);
constexpr DbObject halvObj11_6_1_2 = v(24460, 1, 2);
constexpr DbObject halvObj11_6_1_3 = v(24462, 1, 2);
} // namespace obj
