// Second names of catalogued objects: the names under which the peripheral
// and display code (and some private MIB rows) know the same store objects.
// Each is the very object of its NTCIP name.
#pragma once

namespace obj {

// Auxiliary I/O table (NTCIP 1201 auxIOv2 table)
constexpr DbObject auxIOPortType = auxIOv2PortType;
constexpr DbObject auxIOPortNumber = auxIOv2PortNumber;
constexpr DbObject auxIOPortDescription = auxIOv2PortDescription;
constexpr DbObject auxIOPortResolution = auxIOv2PortResolution;
constexpr DbObject auxIOPortValue = auxIOv2PortValue;
constexpr DbObject auxIOPortDirection = auxIOv2PortDirection;
constexpr DbObject auxIOPortLastCommand = auxIOv2PortLastCommandedState;

// Climate-control status table
constexpr DbObject climateCtrlRowCount = dmsClimateCtrlNumRows;
constexpr DbObject climateCtrlErrorMap = dmsClimateCtrlStatusMap;
constexpr DbObject climateCtrlDescription = dmsClimateCtrlDescription;
constexpr DbObject climateCtrlStatusText = dmsClimateCtrlMfrStatus;
constexpr DbObject climateCtrlError = dmsClimateCtrlErrorStatus;
constexpr DbObject climateCtrlOnStatus = dmsClimateCtrlOnStatus;
constexpr DbObject climateCtrlTestActivation = dmsClimateCtrlTestActivation;
constexpr DbObject climateCtrlResultText = dmsClimateCtrlAbortReason;
constexpr DbObject climateCtrlType = dmsClimateCtrlType;

// Light, humidity and temperature sensor tables
constexpr DbObject photocellRowCount = dmsLightSensorNumRows;
constexpr DbObject photocellFailureMap = dmsLightSensorStatusMap;
constexpr DbObject photocellDescription = dmsLightSensorDescription;
constexpr DbObject photocellLevel = dmsLightSensorCurrentReading;
constexpr DbObject photocellStatus = dmsLightSensorStatus;
constexpr DbObject humiditySensorRowCount = dmsHumiditySensorNumRows;
constexpr DbObject humiditySensorFailureMap = dmsHumiditySensorStatusMap;
constexpr DbObject humiditySensorDescription = dmsHumiditySensorDescription;
constexpr DbObject humiditySensorLevel = dmsHumiditySensorCurrentReading;
constexpr DbObject humiditySensorStatus = dmsHumiditySensorStatus;
constexpr DbObject tempSensorRowCount = dmsTempSensorNumRows;
constexpr DbObject tempSensorFailureMap = dmsTempSensorStatusMap;
constexpr DbObject tempSensorDescription = dmsTempSensorDescription;
constexpr DbObject tempSensorHighWarning = dmsTempSensorHighWarningTemperature;
constexpr DbObject tempSensorLowWarning = dmsTempSensorLowWarningTemperature;
constexpr DbObject tempSensorHighCritical = dmsTempSensorHighCriticalTemperature;
constexpr DbObject tempSensorLowCritical = dmsTempSensorLowCriticalTemperature;
constexpr DbObject tempSensorCurrent = dmsTempSensorCurrentReading;
constexpr DbObject tempSensorStatus = dmsTempSensorStatus;

// Pixel failure records of the display: counts of detection types 2 (pixel
// test) and 3 (found while showing messages), the 16-bit colour detail of
// each failure row, and the failed-pixel bit map in 11 blocks of 400 bytes.
constexpr DbObject pixelTestFailureCount = dmsPixelFailureTestRows;
constexpr DbObject messageFailureCount = dmsPixelFailureMessageRows;
constexpr DbObject pixelFailureColorStatus = halvObj1_2_1_3;
constexpr DbObject pixelFailureBitmap = dmsPixelStatus;

// Private and customer MIB rows served from the objects above
constexpr DbObject fdotObj11_1 = dmsPowerFailureStatusMap;
constexpr DbObject fdotObj11_2 = dmsPowerNumRows;
constexpr DbObject fdotObj11_4 = halvShutOffTemp;
constexpr DbObject fdotObj11_8 = dmsShortPowerLossTime;
constexpr DbObject fdotObj11_9 = dmsLongPowerRecoveryMessage;
constexpr DbObject panynjObj1_1 = fdotMaxNumPixelFailure;
constexpr DbObject panynjObj1_2 = halvLegibilityRatioThreshold;

// quorvel 1.1.11 .. 1.1.18, one byte each
constexpr DbObject quorvelObj1_1_11 = quorvelObj1_1_11to18.row(0);
constexpr DbObject quorvelObj1_1_12 = quorvelObj1_1_11to18.row(1);
constexpr DbObject quorvelObj1_1_13 = quorvelObj1_1_11to18.row(2);
constexpr DbObject quorvelObj1_1_14 = quorvelObj1_1_11to18.row(3);
constexpr DbObject quorvelObj1_1_15 = quorvelObj1_1_11to18.row(4);
constexpr DbObject quorvelObj1_1_16 = quorvelObj1_1_11to18.row(5);
constexpr DbObject quorvelObj1_1_17 = quorvelObj1_1_11to18.row(6);
constexpr DbObject quorvelObj1_1_18 = quorvelObj1_1_11to18.row(7);

} // namespace obj
