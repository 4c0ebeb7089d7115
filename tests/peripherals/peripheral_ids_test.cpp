// The id table (class codes and names both ways), the creation-string parser,
// the auxiliary-I/O row text and the factory rows.
#include "peripherals/factory.h"
#include "peripherals/peripheral_ids.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(PeripheralIds, ClassCodesFollowTheIdRanges) {
    const struct {
        uint16_t id;
        uint8_t class_code;
    } cases[] = {
        {16, 0},     {74, 0},     {75, 0x18},  {76, 0x18},  {77, 0},     {135, 0x22},
        {136, 0},    {100, 0x22}, {10, 0x26},  {15, 0x26},  {70, 0x1A},  {71, 0x1A},
        {90, 0x04},  {91, 0x20},  {620, 0x20}, {301, 0x0E}, {304, 0x11}, {590, 0x1D},
        {595, 0x1D}, {596, 0},    {749, 0x18}, {750, 0x2A}, {0, 0},      {65535, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.class_code, periph_id_to_class(c.id)) << c.id;
}

TEST(PeripheralIds, NamesAreTheClassesFixedNames) {
    const struct {
        uint16_t id;
        const char* name;
    } cases[] = {
        {13, "TEMPSIGN1"},      {103, "POWERSUPPLY04"}, {30, "DOOR SWITCH 1"},
        {37, "DOOR SWITCH 8"},  {135, "POWERSUPPLY35"}, {70, "LCD01"},
        {10, "TEMPCONTROLLER"}, {301, "CONFIG FILE"},   {55, "TCB 01"},
        {745, "RPM SENSOR 16"}, {669, "GP OUTPUT10"},   {620, "EXTERNAL DIALUP MODEM"},
        {16, "UNKNOWN"},        {136, "UNKNOWN"},       {999, "UNKNOWN"},
    };
    for (const auto& c : cases)
        EXPECT_STREQ(c.name, periph_id_to_name(c.id)) << c.id;
}

// The first class that knows a name gives its id: "POWERSUPPLY35" is 134's
// name before it is 135's; names of ids without a class are still known.
TEST(PeripheralIds, NamesReadBackToTheFirstIdThatCarriesThem) {
    const struct {
        const char* name;
        uint16_t id;
    } cases[] = {
        {"POWERSUPPLY35", 134}, {"TEMPSIGNMODS", 16},
        {"DC I/O 6", 56},       {"GEN4 PS 14", 149},
        {"RPM SENSOR 48", 841}, {"POWERSUPPLY00", 0},
        {"POWERSUPPLY36", 0},   {"tempsign1", 0},
        {"TEMPSIGN1 ", 0},      {"", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.id, periph_name_to_id(c.name)) << c.name;
    EXPECT_EQ(0, periph_name_to_id(nullptr));
    for (unsigned id = 0; id <= 0xFFFF; ++id) {
        const uint16_t i = uint16_t(id);
        if (periph_id_to_class(i) != 0 && i != 135) {
            EXPECT_EQ(i, periph_name_to_id(periph_id_to_name(i))) << id;
        }
    }
}

TEST(PeripheralParameters, FieldsAreHexadecimalAndAnOverlongRecordIsRefused) {
    PeripheralParameters v;
    ASSERT_TRUE(CPeripheral::ParseParameters("A,,3", &v));
    const uint32_t expected[8] = {10, 0, 3, 0, 0, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(expected, v.value, sizeof expected));
    ASSERT_TRUE(CPeripheral::ParseParameters("0x1F", &v));
    EXPECT_EQ(31u, v.value[0]);
    ASSERT_TRUE(CPeripheral::ParseParameters("4210a,1,2,3,4,5,6,7", &v));
    EXPECT_EQ(0x4210Au, v.value[0]);
    EXPECT_EQ(7u, v.value[7]);
    ASSERT_TRUE(CPeripheral::ParseParameters(nullptr, &v));
    EXPECT_EQ(0u, v.value[0]);
    ASSERT_TRUE(CPeripheral::ParseParameters(std::string(39, '1').c_str(), &v));

    for (const std::string& refused :
         {std::string("1,2,3,4,5,6,7,8,9"), std::string("1,2,3,4,5,6,7,8,"), std::string(40, '1'),
          "42100," + std::string(40, '0')}) {
        EXPECT_FALSE(CPeripheral::ParseParameters(refused.c_str(), &v)) << refused;
        EXPECT_EQ(0u, v.value[0]) << refused;
    }
}

TEST(AuxIORows, TheRowTextGoesBothWays) {
    AuxIORows rows;
    rows.Push(3);
    rows.Push(17);
    char text[64];
    CPeripheral::FormatAuxIORows(rows, text, sizeof text);
    EXPECT_STREQ("0x3,0x11", text);
    AuxIORows back;
    CPeripheral::ParseAuxIORows("0x3,0x11", &back);
    ASSERT_EQ(2u, back.count);
    EXPECT_EQ(3, back.row[0]);
    EXPECT_EQ(17, back.row[1]);
    EXPECT_EQ(-1, back.At(2));
    CPeripheral::FormatAuxIORows(AuxIORows{}, text, sizeof text);
    EXPECT_STREQ("", text);
    CPeripheral::ParseAuxIORows("", &back);
    EXPECT_EQ(0u, back.count);
    CPeripheral::ParseAuxIORows("7,0x80", &back);
    ASSERT_EQ(2u, back.count);
    EXPECT_EQ(0x80, back.row[1]);
}

// 26 rows, each class once but the fan and heater points (two codes, one
// function); sensors and boards listed and parsed, the others not.
TEST(PeripheralFactories, TheSignHasTwentySixRowsInTheirOrder) {
    pl_factory factories;
    periph_register_factories(factories);
    ASSERT_EQ(26u, factories.Count());
    EXPECT_EQ(PERIPHERAL_CLASS_BEACON, factories.Row(0)->class_code);
    EXPECT_EQ(PERIPHERAL_CLASS_CLOCK, factories.Row(2)->class_code);
    EXPECT_EQ(PERIPHERAL_CLASS_MODEM, factories.Row(20)->class_code);
    EXPECT_EQ(PERIPHERAL_CLASS_TEMPERATURE, factories.Row(25)->class_code);
    for (unsigned i = 0; i < factories.Count(); ++i) {
        const pl_factory_row* row = factories.Row(i);
        EXPECT_EQ(row, factories.RowOf(row->class_code)) << i;
        EXPECT_GE(row->poll_period, 1) << i;
        EXPECT_LE(row->poll_period, 600) << i;
        EXPECT_EQ(row->listed, row->takes_parameters || row->class_code == PERIPHERAL_CLASS_MODEM)
            << i;
    }
    EXPECT_EQ(600, factories.RowOf(PERIPHERAL_CLASS_CONFIG_FILE)->poll_period);
    EXPECT_EQ(10, factories.RowOf(PERIPHERAL_CLASS_TEMPERATURE)->poll_period);
    EXPECT_FALSE(factories.Add(nullptr));
    CPeripheral* p = nullptr;
    EXPECT_FALSE(factories.Create({PERIPHERAL_FIXED_SLOT, 16, 0, nullptr}, &p));
    EXPECT_EQ(nullptr, p);
}

} // namespace
