// A font changed by a central system over SNMP, with the display task
// serving the status requests: modifyReq makes the font modifying, a
// character is rewritten, readyForUseReq ends in readyForUse with the
// version ID that the font's stored bytes give.
#include "comm/snmp/snmp_agent.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/comm/agent_caller.h"
#include "tests/support/firmware_fixture.h"

#include <string>
#include <vector>

using namespace agent_test;
using namespace snmp_test;

namespace {

std::vector<uint32_t> font(uint32_t column, uint32_t f) {
    return {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 3, 2, 1, column, f};
}
std::vector<uint32_t> character(uint32_t column, uint32_t f, uint32_t k) {
    return {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 3, 4, 1, column, f, k};
}
const uint32_t FONT_VERSION = 7, FONT_STATUS = 8, CHAR_WIDTH = 2, CHAR_BITMAP = 3;
const uint32_t MODIFYING = 2, READY = 4, MODIFY_REQ = 7, READY_REQ = 8;

Bytes integer(uint32_t value) {
    return AgentCaller::Integer(value);
}

// The version ID of font row `row` computed here from its stored bytes: the
// CRC-16 (reflected 0x8408, from 0xFFFF) of the font's information in the
// octet encoding (number, height, spacings; the count of characters whose
// width is not 0 as 01 nn; each as code (2 bytes), width, bitmap length and
// bitmap), complemented, bytes swapped.
uint16_t version_from_stored_bytes(uint32_t row) {
    std::vector<uint8_t> encoded;
    for (const DbObject& o :
         {obj::fontNumber, obj::fontHeight, obj::fontCharSpacing, obj::fontLineSpacing})
        encoded.push_back(uint8_t(db_get(o.row(row))));
    std::vector<uint8_t> characters;
    uint32_t defined = 0;
    for (uint32_t c = 1; c <= 255; ++c) {
        const uint32_t width = db_get(obj::characterWidth.row(255 * row + c - 1));
        if (width == 0) continue;
        ++defined;
        uint32_t n = 0;
        const char* bitmap = db_get_string(obj::characterBitmap.row(255 * row + c - 1), &n);
        EXPECT_LT(n, 128u) << "the test's length encoding covers short bitmaps only";
        characters.insert(characters.end(), {0, uint8_t(c), uint8_t(width), uint8_t(n)});
        characters.insert(characters.end(), bitmap, bitmap + n);
    }
    EXPECT_LT(defined, 256u);
    encoded.insert(encoded.end(), {1, uint8_t(defined)});
    encoded.insert(encoded.end(), characters.begin(), characters.end());
    uint16_t crc = 0xFFFF;
    for (uint8_t byte : encoded) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0x8408) : uint16_t(crc >> 1);
    }
    const uint16_t done = uint16_t(~crc);
    return uint16_t(done >> 8 | done << 8);
}

class FontStatusOverSnmp : public agent_test::FirmwareWithAgent {};

TEST_F(FontStatusOverSnmp, AModifiedFontEndsReadyWithTheIdOfItsStoredBytes) {
    ASSERT_EQ(DB_OK, db_set(obj::fontStatus.row(0), READY, DB_NOTIFY | DB_NO_VALIDATE));
    tx_thread_sleep(30);
    const uint32_t before = GetInteger(font(FONT_VERSION, 1));
    ASSERT_EQ(version_from_stored_bytes(0), before);

    ASSERT_EQ(0u, Set(font(FONT_STATUS, 1), integer(MODIFY_REQ)));
    tx_thread_sleep(30);
    ASSERT_EQ(MODIFYING, GetInteger(font(FONT_STATUS, 1)));
    ASSERT_EQ(0u, Set(character(CHAR_WIDTH, 1, 65), integer(3)));
    ASSERT_EQ(0u, Set(character(CHAR_BITMAP, 1, 65), tlv(0x04, hex("A5 5A 80"))));

    ASSERT_EQ(0u, Set(font(FONT_STATUS, 1), integer(READY_REQ)));
    tx_thread_sleep(30);
    EXPECT_EQ(READY, GetInteger(font(FONT_STATUS, 1)));
    const uint32_t after = GetInteger(font(FONT_VERSION, 1));
    EXPECT_EQ(version_from_stored_bytes(0), after);
    EXPECT_NE(before, after);
}

} // namespace
