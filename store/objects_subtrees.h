// Objects of the customer and private subtrees fdot, zuduz, panynj, quorvel
// and ess: the fdot and zuduz sections of the non-volatile image (offsets
// 98084 .. 98107) and their volatile objects (offsets 25160 .. 26347).
#pragma once

namespace obj {
using namespace dbdef;

// ---------------------------------------------------------------------------
// fdot (1.3.6.1.4.1.1206.3.6.11)
constexpr DbObject fdotDmsMaxPollTime = nv(98084, 2); // minutes
constexpr DbObject fdotObj11_6 = nv(98086, 1);
constexpr DbObject fdotMaxNumPixelFailure = nv(98088, 4);
constexpr DbObject fdotObj11_11 = nv(98092, 2); // seconds
constexpr DbObject fdotObj11_10 = v(25160, 1);

// zuduz (1.3.6.1.4.1.1206.3.35)
constexpr DbObject zuduzFanControl1 = nv(98104, 1);
constexpr DbObject zuduzFanControl2 = nv(98105, 1);
constexpr DbObject zuduzFanStatus1 = v(25164, 1);
constexpr DbObject zuduzFanStatus2 = v(25165, 1);
constexpr DbObject zuduzClimateFailures = v_str(25168);
constexpr DbObject zuduzPowerStatus = v_str(25172);

// panynj (1.3.6.1.4.1.1206.3.32.1)
constexpr DbObject panynjObj1_3 = v_str(25176);
constexpr DbObject panynjObj1_5 = v(25180, 4); // refused-community counter
constexpr DbObject panynjObj1_7 = v_str(25184);

// quorvel 1.1 (1.3.6.1.4.1.1206.3.16.1.1)
constexpr DbObject quorvelObj1_1_2 = v(25188, 1);
constexpr DbObject quorvelObj1_1_6 = v(25189, 1);
constexpr DbObject quorvelObj1_1_7 = v(25190, 1);
constexpr DbObject quorvelObj1_1_8 = v(25191, 1);
constexpr DbObject quorvelObj1_1_10 = v_str(25192);
// quorvelObj1_1_11 .. quorvelObj1_1_18: one byte each, row n - 11.
constexpr DbObject quorvelObj1_1_11to18 = v(25196, 1, 8);
constexpr DbObject quorvelObj1_1_19 = v(25204, 1);
constexpr DbObject quorvelObj1_1_21 = v(25205, 1);
constexpr DbObject quorvelObj1_1_22 = v(25206, 1);
constexpr DbObject quorvelObj1_1_5_2 = v(25208, 1, 5);
constexpr DbObject quorvelObj1_1_5_3 = v(25213, 1, 5);
constexpr DbObject quorvelObj1_1_20_1 = v(25220, 1);
constexpr DbObject quorvelObj1_1_20_2 = v(25224, 4);
constexpr DbObject quorvelObj1_1_20_3 = v_str(25228);
constexpr DbObject quorvelObj1_1_20_4 = v_str(25232);
constexpr DbObject quorvelObj1_1_20_5 = v_str(25236);
constexpr DbObject quorvelObj1_1_20_6 = v(25240, 4);
constexpr DbObject quorvelObj1_1_20_7 = v(25244, 4); // status word; every start-up sets bit 0
constexpr DbObject quorvelObj1_1_20_8 = v(25248, 4);
constexpr DbObject quorvelObj1_1_20_9 = v(25252, 4);

// quorvel 1.2 (status)
constexpr DbObject quorvelObj1_2_5 = v(25260, 1);
constexpr DbObject quorvelObj1_2_6 = v(25261, 1);
constexpr DbObject quorvelObj1_2_7 = v(25262, 1);
constexpr DbObject quorvelObj1_2_10 = v_str(25264);
constexpr DbObject quorvelObj1_2_12 = v(25268, 1);
constexpr DbObject quorvelObj1_2_13 = v(25269, 1); // daylight-saving flag, 1 or 2
constexpr DbObject quorvelObj1_2_14 = v(25270, 1);
constexpr DbObject quorvelObj1_2_15 = v_str(25272);
constexpr DbObject quorvelObj1_2_17 = v(25276, 1);
constexpr DbObject quorvelObj1_2_18 = v(25277, 1);
constexpr DbObject quorvelObj1_2_19 = v(25278, 1);
constexpr DbObject quorvelObj1_2_20 = v_str(25280);
constexpr DbObject quorvelObj1_2_21 = v(25284, 1);
// Table 1.2.8: 6 x 5 x 5 rows, row ((i1 - 1) * 5 + (i2 - 1)) * 5 + (i3 - 1)
constexpr DbObject quorvelObj1_2_8_1_4 = v(25288, 1, 150);
constexpr DbObject quorvelObj1_2_8_1_5 = v(25438, 1, 150);
constexpr DbObject quorvelObj1_2_8_1_6 = v_str(25588, 150);
// Table 1.2.9, 5 rows
constexpr DbObject quorvelObj1_2_9_1_2 = v(26188, 1, 5);
constexpr DbObject quorvelObj1_2_9_1_3 = v(26193, 1, 5);
constexpr DbObject quorvelObj1_2_9_1_4 = v(26198, 1, 5);
constexpr DbObject quorvelObj1_2_9_1_6 = v(26208, 1, 5);
// Table 1.2.11: 5 x 5 rows, row (i1 - 1) * 5 + (i2 - 1)
constexpr DbObject quorvelObj1_2_11_1_3 = v_str(26216, 25);
// Table 1.2.16, 5 rows
constexpr DbObject quorvelObj1_2_16_1_2 = v_str(26316, 5);

// ess location (1.3.6.1.4.1.1206.4.2.5.2.2)
constexpr DbObject essLatitude = v(26336, 4);
constexpr DbObject essLongitude = v(26340, 4);
constexpr DbObject essVehicleBearing = v(26344, 2);
} // namespace obj
