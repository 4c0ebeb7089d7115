// The number and address entries as tables: rows at and past their limits,
// the octets' automatic advance, and the system screens' tables.
#include "frontpanel/screens/address_entry.h"
#include "frontpanel/screens/number_entry.h"
#include "frontpanel/screens/system.h"
#include "frontpanel/services.h"
#include "ntcip/clock/calendar.h"

#include <gtest/gtest.h>

#include <iterator>
#include <set>
#include <string>

namespace {

bool even(const number_entry_row&, uint32_t value) {
    return value % 2 == 0;
}

const number_entry_row ROWS[] = {
    number_entry_row(131, {"PORT", "PORT"}, {"1-65535", "1-65535"}, 1, 65535, obj::halvHostHttpPort)
        .Suffix("%u"),
    number_entry_row(53, {}, {}, 1, 255, obj::dmsBeaconType),
    number_entry_row(61, {}, {"EVEN 2-10", "PAIR 2-10"}, 2, 10, obj::dmsBeaconType).Check(even),
};

TEST(NumberEntryRows, AcceptValuesWithinTheirRangeAndCheckOnly) {
    struct Case {
        int32_t id;
        uint32_t value;
        bool accepted;
    } cases[] = {
        {131, 0, false},
        {131, 1, true},
        {131, 65535, true},
        {131, 65536, false},
        {131, 2147483647u, false},
        {53, 255, true},
        {53, 256, false},
        {61, 4, true},
        {61, 5, false},
        {61, 12, false},
        {61, 0, false},
    };
    for (const Case& c : cases) {
        const number_entry_row* row = number_entry_find(ROWS, std::size(ROWS), c.id);
        ASSERT_NE(nullptr, row) << c.id;
        EXPECT_EQ(c.accepted, number_entry_accepts(*row, c.value)) << c.id << " " << c.value;
    }
    EXPECT_EQ(nullptr, number_entry_find(ROWS, std::size(ROWS), 54));
}

// Types digits into the octets as the address screen does: the octet editor
// (maximum 255) first, then the advance rule.
address_octets typed(const std::string& keys) {
    address_octets octets;
    for (char key : keys) {
        uint16_t event = key_event(key == '<' ? uint16_t(KEY_BACKSPACE) : uint16_t(key));
        edit_outcome outcome = edit_number_key(octets.octet[octets.index], 255, event, false);
        if (key == '<') {
            if (octets.EraseStep()) edit_number_key(octets.octet[octets.index], 255, event, false);
        } else if (key == '>') {
            octets.Advance();
        } else if (outcome != EDIT_NOT_HANDLED) {
            octets.CountDigit();
        }
    }
    return octets;
}

std::string dotted(const address_octets& octets) {
    char text[24];
    format_address(octets.Packed(), text, sizeof text);
    return text;
}

TEST(AddressOctets, AdvanceByThemselvesAndRefuseAnOctetPast255) {
    struct Case {
        const char* keys;
        const char* address;
        uint8_t index;
    } cases[] = {
        {"192", "192.0.0.0", 1}, // three digits move on
        {"30", "30.0.0.0", 1},   // no third digit fits 30
        {"25", "25.0.0.0", 0},   // 25 waits for a third digit
        {"256", "25.0.0.0", 1},  // 256 is refused, and the octet moves on
        {"255", "255.0.0.0", 1},
        {"1921680>1", "192.168.0.1", 3},
        {"19216801", "192.168.1.0", 2}, // 01 waits for a third digit
        {"10>>5", "10.0.5.0", 2},       // Right skips an octet
        {"192168<", "192.16.0.0", 1},   // Backspace within an octet
        {"192<<<<", "0.0.0.0", 0},      // erased back to the start
        {"1921<<", "19.0.0.0", 0},      // at the start of an octet: back into the last
        {"1.2.3.4", "123.4.0.0", 1},    // a dot is no key of the octets
        {"255255255255999", "255.255.255.255", 3},
    };
    for (const auto& c : cases) {
        address_octets octets = typed(c.keys);
        EXPECT_EQ(c.address, dotted(octets)) << c.keys;
        EXPECT_EQ(c.index, octets.index) << c.keys;
    }
}

TEST(SystemTables, EachTrapRowHasItsOwnBitOnPagesOfSix) {
    std::set<unsigned> bits;
    for (size_t i = 0; i < std::size(TRAP_ROWS); ++i) {
        const trap_row& row = TRAP_ROWS[i];
        ASSERT_LT(row.byte, TRAP_MASK_BYTES);
        ASSERT_EQ(1, __builtin_popcount(row.bit)) << row.text;
        EXPECT_TRUE(bits.insert(row.byte * 8u + unsigned(__builtin_ctz(row.bit))).second)
            << row.text;
        // Each page numbers its rows from 1.
        EXPECT_EQ('1' + char(i % TRAP_ROWS_PER_PAGE), row.text[0]) << row.text;
        EXPECT_LE(std::string(row.text).size(), 35u) << row.text;
    }
    EXPECT_LE(std::size(TRAP_ROWS), TRAP_PAGES * TRAP_ROWS_PER_PAGE);
    // "2) DOOR OPENED" enables specific trap 3, "3) COLD START" trap 19.
    EXPECT_EQ(0x02, TRAP_ROWS[1].bit);
    EXPECT_EQ(2 * 8 + 1 + 2, TRAP_ROWS[14].byte * 8 + __builtin_ctz(TRAP_ROWS[14].bit) + 2);
}

TEST(SystemTables, TheStoredTrapMaskEndsAtItsLastSetByte) {
    uint8_t clear[TRAP_MASK_BYTES] = {};
    uint8_t cold_start[TRAP_MASK_BYTES] = {0, 0, 2};
    uint8_t last[TRAP_MASK_BYTES] = {0, 0, 0, 0, 0, 0, 0, 1};
    EXPECT_EQ(0u, trap_mask_length(clear));
    EXPECT_EQ(3u, trap_mask_length(cold_start));
    EXPECT_EQ(8u, trap_mask_length(last));
}

TEST(SystemTables, ZonesResetsAndBeaconsAreWhatTheScreensOffer) {
    EXPECT_EQ(-18000, TIME_ZONES[0].offset);
    EXPECT_STREQ("PACIFIQUE", TIME_ZONES[3].name.french);
    EXPECT_EQ(3, DAYLIGHT_SAVING_MODES[1].mode);
    EXPECT_STREQ("FOUR BEACON STROBE", BEACON_TYPE_NAMES[BEACON_TYPE_COUNT - 1]);
    EXPECT_EQ(nullptr, BEACON_TYPE_NAMES[BEACON_TYPE_COUNT]);
    for (const reset_choice& choice : RESET_CHOICES) {
        EXPECT_TRUE(choice.name.english && choice.name.french);
        if (choice.action == RESET_WRITE) {
            EXPECT_GT(choice.value, 0) << choice.name.english;
        }
    }
}

TEST(SystemTables, EnteredLocalStandardTimeBecomesUtcThroughTheZone) {
    struct tm local = {};
    local.tm_year = 2016 - 1900;
    local.tm_mon = 0;
    local.tm_mday = 15;
    local.tm_hour = 13;
    local.tm_min = 5;
    EXPECT_EQ(tm_to_seconds(local) + 18000, utc_of_local_standard_time(local, -18000));
    EXPECT_EQ(tm_to_seconds(local) - 3600, utc_of_local_standard_time(local, 3600));
}

TEST(SystemTables, EachCommunityLevelHasItsPasswordObject) {
    DbObject object{};
    EXPECT_FALSE(password_object_of_level(2, object));
    ASSERT_TRUE(password_object_of_level(3, object));
    EXPECT_EQ(obj::communityNameAdmin.offset, object.offset);
    ASSERT_TRUE(password_object_of_level(5, object));
    EXPECT_EQ(obj::communityNameUser.row(1).offset, object.offset);
    ASSERT_TRUE(password_object_of_level(103, object));
    EXPECT_FALSE(password_object_of_level(104, object));
}

} // namespace
