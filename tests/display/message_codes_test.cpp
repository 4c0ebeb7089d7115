#include "display/message_codes.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<uint8_t> bytes_of(const uint8_t* p, size_t n) {
    return std::vector<uint8_t>(p, p + n);
}

TEST(MsgIDCode, EncodesBigEndianFields) {
    struct Case {
        uint8_t type;
        uint16_t number;
        uint16_t crc;
        std::vector<uint8_t> encoded;
    } cases[] = {
        {3, 0x0102, 0xABCD, {0x03, 0x01, 0x02, 0xAB, 0xCD}},
        {7, 1, 0, {0x07, 0x00, 0x01, 0x00, 0x00}}, // the blank code
        {5, 0xFFFF, 0xFFFF, {0x05, 0xFF, 0xFF, 0xFF, 0xFF}},
        {0, 0, 0, {0, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        CMsgIDCode code;
        code.Set(c.type, c.number, c.crc);
        EXPECT_EQ(bytes_of(code.Encoded(), CMsgIDCode::kLength), c.encoded);

        CMsgIDCode back;
        ASSERT_TRUE(back.Decode(c.encoded.data(), c.encoded.size()));
        EXPECT_EQ(back.m_memoryType, c.type);
        EXPECT_EQ(back.m_messageNumber, c.number);
        EXPECT_EQ(back.m_messageCRC, c.crc);
        EXPECT_EQ(bytes_of(back.Encoded(), CMsgIDCode::kLength), c.encoded);
    }
}

TEST(MsgIDCode, NullOrWrongLengthClearsTheCode) {
    const uint8_t five[] = {3, 0, 9, 0x12, 0x34};
    const uint8_t six[] = {3, 0, 9, 0x12, 0x34, 0};
    for (size_t length : {size_t{0}, size_t{4}, size_t{6}}) {
        CMsgIDCode code;
        code.Decode(five);
        EXPECT_FALSE(code.Decode(six, length)) << length;
        EXPECT_EQ(code.m_memoryType, 0) << "a cleared code matches no message";
        EXPECT_EQ(code.m_messageNumber, 0);
        EXPECT_EQ(code.m_messageCRC, 0);
        EXPECT_EQ(bytes_of(code.Encoded(), 5), std::vector<uint8_t>(5, 0));
    }
    CMsgIDCode code;
    code.Decode(five);
    EXPECT_FALSE(code.Decode(nullptr));
    EXPECT_EQ(code.m_messageNumber, 0);
}

TEST(MsgActivationCode, DecodeThenEncodeGivesBackTheBytes) {
    const std::vector<uint8_t> samples[] = {
        {0xFF, 0xFF, 0xFF, 0x07, 0x00, 0x01, 0x00, 0x00, 127, 0, 0, 1}, // blank, 127.0.0.1
        {0x00, 0x0A, 0x03, 0x03, 0x01, 0xF4, 0xBE, 0xEF, 10, 1, 2, 3},
        {0x12, 0x34, 0x80, 0x02, 0x00, 0x02, 0x00, 0x00, 0, 0, 0, 0},
    };
    for (const auto& s : samples) {
        CMsgActivationCode code;
        ASSERT_TRUE(code.Decode(s.data()));
        CMsgActivationCode copy;
        copy.Set(code.m_duration, code.m_priority, code.m_memoryType, code.m_messageNumber,
                 code.m_messageCRC, code.m_sourceAddress);
        EXPECT_EQ(bytes_of(copy.Encoded(), CMsgActivationCode::kLength), s);
    }
    CMsgActivationCode code;
    code.Decode(samples[1].data());
    EXPECT_EQ(code.m_duration, 10);
    EXPECT_EQ(code.m_priority, 3);
    EXPECT_EQ(code.m_memoryType, MSG_MEMORY_CHANGEABLE);
    EXPECT_EQ(code.m_messageNumber, 500);
    EXPECT_EQ(code.m_messageCRC, 0xBEEF);
    EXPECT_EQ(code.m_sourceAddress[0], 10);
    EXPECT_EQ(code.m_sourceAddress[3], 3);
}

TEST(MsgActivationCode, FieldsEncodeInTheirPlaces) {
    const uint8_t source[4] = {192, 168, 1, 20};
    CMsgActivationCode code;
    code.Set(65535, 255, MSG_MEMORY_BLANK, 1, 0, source);
    const std::vector<uint8_t> expected = {0xFF, 0xFF, 0xFF, 7, 0, 1, 0, 0, 192, 168, 1, 20};
    EXPECT_EQ(bytes_of(code.Encoded(), 12), expected);
}

TEST(MsgActivationCode, CompareLooksAtTheMessageOnly) {
    const uint8_t a[12] = {0x00, 0x10, 0x05, 3, 0, 7, 0x12, 0x34, 1, 2, 3, 4};
    const uint8_t b[12] = {0xFF, 0xFF, 0xFF, 3, 0, 7, 0x12, 0x34, 9, 9, 9, 9};
    CMsgActivationCode x, y;
    x.Decode(a);
    y.Decode(b);
    EXPECT_TRUE(CMsgActivationCode::Compare(x, y));

    const size_t message_bytes[] = {3, 4, 5, 6, 7};
    for (size_t i : message_bytes) {
        uint8_t c[12];
        std::copy(b, b + 12, c);
        c[i] ^= 0x01;
        y.Decode(c);
        EXPECT_FALSE(CMsgActivationCode::Compare(x, y)) << "byte " << i;
    }
}

TEST(MsgActivationCode, NullOrWrongLengthClearsEveryField) {
    const uint8_t s[13] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13};
    CMsgActivationCode code;
    code.Decode(s);
    EXPECT_FALSE(code.Decode(nullptr));
    EXPECT_EQ(code.m_duration, 0);
    EXPECT_EQ(code.m_priority, 0);
    EXPECT_EQ(code.m_memoryType, 0);
    EXPECT_EQ(code.m_messageNumber, 0);
    EXPECT_EQ(code.m_messageCRC, 0);
    EXPECT_EQ(bytes_of(code.m_sourceAddress, 4), std::vector<uint8_t>(4, 0));
    EXPECT_EQ(bytes_of(code.Encoded(), 12), std::vector<uint8_t>(12, 0));

    code.Decode(s);
    EXPECT_FALSE(code.Decode(s, 13));
    EXPECT_EQ(code.m_messageNumber, 0);
    EXPECT_TRUE(code.Decode(s, 12));
    EXPECT_EQ(code.m_messageNumber, 0x0506);
}

} // namespace
