// NTCIP 1203 sign objects: the dms section of the non-volatile image
// (offsets 48 .. 48115) and the sign's objects of the volatile image
// (offsets 0 .. 12123).
#pragma once

namespace obj {
using namespace dbdef;

// ---------------------------------------------------------------------------
// Non-volatile: sign configuration
constexpr DbObject dmsSignHeight = nv(48, 2);
constexpr DbObject dmsSignWidth = nv(50, 2);
constexpr DbObject dmsHorizontalBorder = nv(52, 2);
constexpr DbObject dmsVerticalBorder = nv(54, 2);
constexpr DbObject dmsSignAccess = nv(56, 1);
constexpr DbObject dmsSignType = nv(57, 1);
constexpr DbObject dmsBeaconType = nv(58, 1);
constexpr DbObject vmsCharacterHeightPixels = nv(60, 1);
constexpr DbObject vmsCharacterWidthPixels = nv(61, 1);
constexpr DbObject vmsSignHeightPixels = nv(62, 2);
constexpr DbObject vmsSignWidthPixels = nv(64, 2);
constexpr DbObject vmsHorizontalPitch = nv(66, 1);
constexpr DbObject vmsVerticalPitch = nv(67, 1);
constexpr DbObject monochromeColor = nv_str(68);

// Font table, 20 rows (row f is font slot f; characters are flattened:
// row 255 * f + (character - 1) of characterWidth / characterBitmap).
constexpr unsigned kFontRows = 20;
constexpr unsigned kCharactersPerFont = 255;
constexpr DbObject fontNumber = nv(72, 1, 20);
constexpr DbObject fontName = nv_str(92, 20);
constexpr DbObject fontHeight = nv(172, 1, 20);
constexpr DbObject fontCharSpacing = nv(192, 1, 20);
constexpr DbObject fontLineSpacing = nv(212, 1, 20);
constexpr DbObject fontVersionID = nv(232, 2, 20);
constexpr DbObject fontStatus = nv(272, 1, 20);
constexpr DbObject characterWidth = nv(292, 1, 5100);
constexpr DbObject characterBitmap = nv_str(5392, 5100);

// MULTI defaults
constexpr DbObject defaultBackground = nv(25792, 1);
constexpr DbObject defaultForeground = nv(25793, 1);
constexpr DbObject defaultBackgroundColor = defaultBackground; // its NTCIP 1203 v2 name
constexpr DbObject defaultForegroundColor = defaultForeground;
constexpr DbObject defaultFlashOn = nv(25794, 1);
constexpr DbObject defaultFlashOff = nv(25795, 1);
constexpr DbObject defaultFont = nv(25796, 1);
constexpr DbObject defaultJustificationLine = nv(25797, 1);
constexpr DbObject defaultJustificationPage = nv(25798, 1);
constexpr DbObject defaultPageOnTime = nv(25799, 1);
constexpr DbObject defaultPageOffTime = nv(25800, 1);
constexpr DbObject defaultCharacterSet = nv(25801, 1);
constexpr DbObject dmsMaxNumberPages = nv(25802, 1);
constexpr DbObject dmsColorScheme = nv(25803, 1);
constexpr DbObject defaultBackgroundRGB = nv_str(25804);
constexpr DbObject defaultForegroundRGB = nv_str(25808);
constexpr DbObject defaultBackgroundRGBActivate = nv_str(25812);
constexpr DbObject defaultForegroundRGBActivate = nv_str(25816);
constexpr DbObject defaultFlashOnActivate = nv(25820, 1);
constexpr DbObject defaultFlashOffActivate = nv(25821, 1);
constexpr DbObject defaultFontActivate = nv(25822, 1);
constexpr DbObject defaultJustificationLineActivate = nv(25823, 1);
constexpr DbObject defaultJustificationPageActivate = nv(25824, 1);
constexpr DbObject defaultPageOnTimeActivate = nv(25825, 1);
constexpr DbObject defaultPageOffTimeActivate = nv(25826, 1);
constexpr DbObject dmsValidateMessageError = nv(25828, 1);

// Message table: 550 changeable rows (row = message number - 1; rows
// 500 .. 549 hold permanent messages 3 .. 52).
constexpr unsigned kChangeableMsgRows = 550;
constexpr unsigned kChangeableMsgOrdinaryRows = 500;
constexpr DbObject changeableMsgMultiString = nv_str(25832, 550);
constexpr DbObject changeableMsgOwner = nv_str(28032, 550);
constexpr DbObject changeableMsgCRC = nv(30232, 2, 550);
constexpr DbObject changeableMsgBeacon = nv(31332, 1, 550);
constexpr DbObject changeableMsgPixelService = nv(31882, 1, 550);
constexpr DbObject changeableMsgRunTimePriority = nv(32432, 1, 550);
constexpr DbObject changeableMsgStatus = nv(32982, 1, 550);
// The schedule message row.
constexpr DbObject scheduleMsgMultiString = nv_str(33532);
constexpr DbObject scheduleMsgOwner = nv_str(33536);
constexpr DbObject scheduleMsgCRC = nv(33540, 2);
constexpr DbObject scheduleMsgBeacon = nv(33542, 1);
constexpr DbObject scheduleMsgPixelService = nv(33543, 1);
constexpr DbObject scheduleMsgRunTimePriority = nv(33544, 1);
constexpr DbObject scheduleMsgStatus = nv(33545, 1);
// The current-buffer message row.
constexpr DbObject currentBufferMsgMultiString = nv_str(33548);
constexpr DbObject currentBufferMsgOwner = nv_str(33552);
constexpr DbObject currentBufferMsgCRC = nv(33556, 2);
constexpr DbObject currentBufferMsgBeacon = nv(33558, 1);
constexpr DbObject currentBufferMsgPixelService = nv(33559, 1);
constexpr DbObject currentBufferMsgRunTimePriority = nv(33560, 1);
constexpr DbObject currentBufferMsgStatus = nv(33561, 1);

// Sign control
constexpr DbObject dmsSWReset = nv(33564, 1);
constexpr DbObject dmsMessageTimeRemaining = nv(33566, 2);
constexpr DbObject dmsMsgTableSource = nv_str(33568);
constexpr DbObject dmsMsgRequesterID = nv(33572, 4);
constexpr DbObject dmsMsgSourceMode = nv(33576, 1);
constexpr DbObject dmsShortPowerRecoveryMessage = nv_str(33580);
constexpr DbObject dmsLongPowerRecoveryMessage = nv_str(33584);
constexpr DbObject dmsShortPowerLossTime = nv(33588, 2);
constexpr DbObject dmsResetMessage = nv_str(33592);
constexpr DbObject dmsCommunicationsLossMessage = nv_str(33596);
constexpr DbObject dmsTimeCommLoss = nv(33600, 2);
constexpr DbObject dmsPowerLossMessage = nv_str(33604);
constexpr DbObject dmsEndDurationMessage = nv_str(33608);
constexpr DbObject dmsActivateMsgError = nv(33612, 1);
constexpr DbObject dmsMultiSyntaxError = nv(33613, 1);
constexpr DbObject dmsMultiSyntaxErrorPosition = nv(33614, 2);
constexpr DbObject dmsMultiOtherErrorDescription = nv_str(33616);

// Illumination
constexpr DbObject dmsIllumControl = nv(33620, 1);
constexpr DbObject dmsIllumManLevel = nv(33621, 1);
constexpr DbObject dmsIllumBrightnessValues = nv_str(33624);
constexpr DbObject dmsIllumBrightnessValuesError = nv(33628, 1);
constexpr DbObject dmsIllumLightOutputStatus = nv(33630, 2);

// Action table (row n - 1 is action n) and sign status
constexpr DbObject dmsActionMsgCode = nv_str(33632, 255);
constexpr DbObject dmsCurrentSpeedLimit = nv(34652, 1);
constexpr DbObject watchdogFailureCount = nv(34656, 4);

// Graphic table, 50 rows; dmsGraphicBlockBitmap holds 63 blocks per graphic
// (row 63 * graphic + block).
constexpr unsigned kGraphicRows = 50;
constexpr unsigned kGraphicBlocksPerGraphic = 63;
constexpr DbObject dmsGraphicNumber = nv(34660, 1, 50);
constexpr DbObject dmsGraphicName = nv_str(34712, 50);
constexpr DbObject dmsGraphicHeight = nv(34912, 1, 50);
constexpr DbObject dmsGraphicWidth = nv(34962, 2, 50);
constexpr DbObject dmsGraphicType = nv(35062, 1, 50);
constexpr DbObject dmsGraphicID = nv(35112, 2, 50);
constexpr DbObject dmsGraphicTransparentEnabled = nv(35212, 1, 50);
constexpr DbObject dmsGraphicTransparentColor = nv_str(35264, 50);
constexpr DbObject dmsGraphicStatus = nv(35464, 1, 50);
constexpr DbObject dmsGraphicBlockBitmap = nv_str(35516, 3150);

// ---------------------------------------------------------------------------
// Volatile: sign configuration, fonts and MULTI capabilities
constexpr DbObject dmsLegend = v(0, 1);
constexpr DbObject dmsSignTechnology = v(2, 2);
constexpr DbObject numFonts = v(4, 1);
constexpr DbObject maxFontCharacters = v(6, 2);
constexpr DbObject fontMaxCharacterSize = v(8, 1);
constexpr DbObject dmsSupportedMultiTags = v_str(12);
constexpr DbObject dmsMaxMultiStringLength = v(16, 2);

// Message counts
constexpr DbObject dmsNumPermanentMsg = v(20, 2);
constexpr DbObject dmsNumChangeableMsg = v(22, 2);
constexpr DbObject dmsMaxChangeableMsg = v(24, 2);
constexpr DbObject dmsFreeChangeableMemory = v(28, 4);
constexpr DbObject dmsNumVolatileMsg = v(32, 2);
constexpr DbObject dmsMaxVolatileMsg = v(34, 2);
constexpr DbObject dmsFreeVolatileMemory = v(36, 4);

// Volatile message rows (4), permanent rows (2), and the shadow row read
// before the current buffer.
constexpr unsigned kVolatileMsgRows = 4;
constexpr unsigned kPermanentMsgRows = 2;
constexpr DbObject volatileMsgMultiString = v_str(40, 4);
constexpr DbObject volatileMsgOwner = v_str(56, 4);
constexpr DbObject volatileMsgCRC = v(72, 2, 4);
constexpr DbObject volatileMsgBeacon = v(80, 1, 4);
constexpr DbObject volatileMsgPixelService = v(84, 1, 4);
constexpr DbObject volatileMsgRunTimePriority = v(88, 1, 4);
constexpr DbObject volatileMsgStatus = v(92, 1, 4);
constexpr DbObject permanentMsgMultiString = v_str(96, 2);
constexpr DbObject permanentMsgOwner = v_str(104, 2);
constexpr DbObject permanentMsgCRC = v(112, 2, 2);
constexpr DbObject permanentMsgBeacon = v(116, 1, 2);
constexpr DbObject permanentMsgPixelService = v(118, 1, 2);
constexpr DbObject permanentMsgRunTimePriority = v(120, 1, 2);
constexpr DbObject permanentMsgStatus = v(122, 1, 2);
constexpr DbObject currentBufferShadowMsgMultiString = v_str(124);
constexpr DbObject currentBufferShadowMsgOwner = v_str(128);
constexpr DbObject currentBufferShadowMsgCRC = v(132, 2);
constexpr DbObject currentBufferShadowMsgBeacon = v(134, 1);
constexpr DbObject currentBufferShadowMsgPixelService = v(135, 1);
constexpr DbObject currentBufferShadowMsgRunTimePriority = v(136, 1);
constexpr DbObject currentBufferShadowMsgStatus = v(137, 1);

// Sign control
constexpr DbObject dmsActivateMessage = v_str(140);
constexpr DbObject dmsControlMode = v(144, 1);
constexpr DbObject dmsMemoryMgmt = v(145, 1);
constexpr DbObject vmsPixelServiceDuration = v(146, 2);
constexpr DbObject vmsPixelServiceFrequency = v(148, 2);
constexpr DbObject vmsPixelServiceTime = v(150, 2);
constexpr DbObject dmsActivateErrorMsgCode = v_str(152);
constexpr DbObject dmsActivateMessageState = v(156, 1);

// Illumination
constexpr DbObject dmsIllumBrightLevelStatus = v(160, 1);
constexpr DbObject dmsIllumPhotocellLevelStatus = v(162, 2);
constexpr DbObject dmsIllumMaxPhotocellLevel = v(164, 2);
constexpr DbObject dmsIllumNumBrightLevels = v(166, 1);

// Action table size and MULTI field status
constexpr DbObject numActionTableEntries = v(168, 1);
constexpr DbObject statMultiFieldRows = v(169, 1);
constexpr DbObject dmsCurrentSpeed = v(170, 1);
constexpr DbObject dmsStatDoorOpen = v(171, 1);
constexpr DbObject statMultiFieldCode = v(172, 1, 11);
constexpr DbObject statMultiCurrentFieldValue = v_str(184, 11);

// Error status (statError, 1.3.6.1.4.1.1206.4.2.3.9.7)
constexpr DbObject lampFailureStuckOn = v_str(228);  // 9.7.5
constexpr DbObject lampFailureStuckOff = v_str(232); // 9.7.6
constexpr DbObject fanFailures = v_str(236);
constexpr DbObject shortErrorStatus = v(240, 2);
constexpr DbObject pixelTestActivation = v(242, 1);
constexpr DbObject lampTestActivation = v(243, 1);
constexpr DbObject fanTestActivation = v(244, 1);
constexpr DbObject controllerErrorStatus = v(245, 1);
constexpr DbObject statErrorWord246 = v(246, 2); // not served; cleared at start
constexpr DbObject dmsPixelFailureTestRows = v(248, 2);
constexpr DbObject dmsPixelFailureMessageRows = v(250, 2);
constexpr DbObject dmsLightSensorStatusMap = v_str(252); // 9.7.28
constexpr DbObject dmsLightSensorNumRows = v(256, 1);
constexpr DbObject dmsHumiditySensorStatusMap = v_str(260); // 9.7.31
constexpr DbObject dmsHumiditySensorNumRows = v(264, 1);
constexpr DbObject dmsTempSensorStatusMap = v_str(268); // 9.7.34
constexpr DbObject dmsTempSensorNumRows = v(272, 1);
constexpr DbObject statError37 = v(273, 1);               // signed byte
constexpr DbObject statError38 = v(274, 1);               // signed byte
constexpr DbObject dmsPowerFailureStatusMap = v_str(276); // 9.7.11
constexpr DbObject dmsPowerNumRows = v(280, 1);
constexpr DbObject dmsClimateCtrlStatusMap = v_str(284); // 9.7.14
constexpr DbObject dmsClimateCtrlNumRows = v(288, 1);

// Power status table, 300 rows
constexpr unsigned kPowerRows = 300;
constexpr DbObject dmsPowerDescription = v_str(292, 300);
constexpr DbObject dmsPowerMfrStatus = v_str(1492, 300);
constexpr DbObject dmsPowerStatus = v(2692, 1, 300);
constexpr DbObject dmsPowerVoltage = v(2992, 2, 300);
constexpr DbObject dmsPowerType = v(3592, 1, 300);

// Climate-control status table, 32 rows
constexpr unsigned kClimateCtrlRows = 32;
constexpr DbObject dmsClimateCtrlDescription = v_str(3892, 32);
constexpr DbObject dmsClimateCtrlMfrStatus = v_str(4020, 32);
constexpr DbObject dmsClimateCtrlErrorStatus = v(4148, 1, 32);
constexpr DbObject dmsClimateCtrlOnStatus = v(4180, 1, 32);
constexpr DbObject dmsClimateCtrlTestActivation = v(4212, 1, 32);
constexpr DbObject dmsClimateCtrlAbortReason = v_str(4244, 32);
constexpr DbObject dmsClimateCtrlType = v(4372, 1, 32);

// Pixel status table (9.7.18, column 2), 11 rows
constexpr DbObject dmsPixelStatus = v_str(4404, 11);

// Light, humidity and temperature sensor tables, 6 rows each
constexpr unsigned kSensorRows = 6;
constexpr DbObject dmsLightSensorDescription = v_str(4448, 6);
constexpr DbObject dmsLightSensorCurrentReading = v(4472, 2, 6);
constexpr DbObject dmsLightSensorStatus = v(4484, 1, 6);
constexpr DbObject dmsHumiditySensorDescription = v_str(4492, 6);
constexpr DbObject dmsHumiditySensorCurrentReading = v(4516, 1, 6);
constexpr DbObject dmsHumiditySensorStatus = v(4522, 1, 6);
constexpr DbObject dmsTempSensorDescription = v_str(4528, 6);
constexpr DbObject dmsTempSensorHighWarningTemperature = v(4552, 1, 6); // signed
constexpr DbObject dmsTempSensorLowWarningTemperature = v(4558, 1, 6);  // signed
constexpr DbObject dmsTempSensorHighCriticalTemperature = v(4564, 1, 6);
constexpr DbObject dmsTempSensorLowCriticalTemperature = v(4570, 1, 6);
constexpr DbObject dmsTempSensorCurrentReading = v(4576, 1, 6); // signed
constexpr DbObject dmsTempSensorStatus = v(4582, 1, 6);

// Pixel failure table: 3 detection types x 500 rows, row 500 * type + n
constexpr unsigned kPixelFailureRowsPerType = 500;
constexpr DbObject pixelFailureXLocation = v(4588, 2, 1500);
constexpr DbObject pixelFailureYLocation = v(7588, 2, 1500);
constexpr DbObject pixelFailureStatus = v(10588, 1, 1500);

// Power and temperature status
constexpr DbObject signVolts = v(12088, 2);
constexpr DbObject fuelLevel = v(12090, 1);
constexpr DbObject engineRPM = v(12091, 1);
constexpr DbObject lineVolts = v(12092, 1);
constexpr DbObject powerSource = v(12093, 1);
constexpr DbObject lowFuelThreshold = v(12094, 1);
constexpr DbObject tempMinCtrlCabinet = v(12096, 1); // signed bytes
constexpr DbObject tempMaxCtrlCabinet = v(12097, 1);
constexpr DbObject tempMinAmbient = v(12098, 1);
constexpr DbObject tempMaxAmbient = v(12099, 1);
constexpr DbObject tempMinSignHousing = v(12100, 1);
constexpr DbObject tempMaxSignHousing = v(12101, 1);
constexpr DbObject tempSensorWarningMap = v_str(12104);
constexpr DbObject tempSensorCriticalMap = v_str(12108);

// Graphics
constexpr DbObject dmsGraphicMaxEntries = v(12112, 1);
constexpr DbObject dmsGraphicNumEntries = v(12113, 1);
constexpr DbObject dmsGraphicMaxSize = v(12114, 2);
constexpr DbObject availableGraphicMemory = v(12116, 4);
constexpr DbObject dmsGraphicBlockSize = v(12120, 2);
} // namespace obj
