#include "display/message_codes.h"

#include <cstring>

namespace {
uint16_t get16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}
void put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}
} // namespace

// ---------------------------------------------------------------------------
// CMsgActivationCode

void CMsgActivationCode::Clear() {
    std::memset(m_encoded, 0, sizeof m_encoded);
    m_duration = 0;
    m_priority = 0;
    m_memoryType = 0;
    m_messageNumber = 0;
    m_messageCRC = 0;
    std::memset(m_sourceAddress, 0, sizeof m_sourceAddress);
}

bool CMsgActivationCode::Decode(const uint8_t* bytes) {
    if (bytes == nullptr) {
        Clear();
        return false;
    }
    std::memcpy(m_encoded, bytes, kLength);
    m_duration = get16(bytes);
    m_priority = bytes[2];
    m_memoryType = bytes[3];
    m_messageNumber = get16(bytes + 4);
    m_messageCRC = get16(bytes + 6);
    std::memcpy(m_sourceAddress, bytes + 8, sizeof m_sourceAddress);
    return true;
}

bool CMsgActivationCode::Decode(const uint8_t* bytes, size_t length) {
    return Decode(length == kLength ? bytes : nullptr);
}

void CMsgActivationCode::Encode() {
    put16(m_encoded, m_duration);
    m_encoded[2] = m_priority;
    m_encoded[3] = m_memoryType;
    put16(m_encoded + 4, m_messageNumber);
    put16(m_encoded + 6, m_messageCRC);
    std::memcpy(m_encoded + 8, m_sourceAddress, sizeof m_sourceAddress);
}

void CMsgActivationCode::Set(uint16_t duration, uint8_t priority, uint8_t memoryType,
                             uint16_t messageNumber, uint16_t messageCRC,
                             const uint8_t sourceAddress[4]) {
    m_duration = duration;
    m_priority = priority;
    m_memoryType = memoryType;
    m_messageNumber = messageNumber;
    m_messageCRC = messageCRC;
    if (sourceAddress != nullptr)
        std::memcpy(m_sourceAddress, sourceAddress, sizeof m_sourceAddress);
    else
        std::memset(m_sourceAddress, 0, sizeof m_sourceAddress);
    Encode();
}

bool CMsgActivationCode::Compare(const CMsgActivationCode& a, const CMsgActivationCode& b) {
    return a.m_memoryType == b.m_memoryType && a.m_messageNumber == b.m_messageNumber &&
           a.m_messageCRC == b.m_messageCRC;
}

// ---------------------------------------------------------------------------
// CMsgIDCode

void CMsgIDCode::Clear() {
    std::memset(m_encoded, 0, sizeof m_encoded);
    m_memoryType = 0;
    m_messageNumber = 0;
    m_messageCRC = 0;
}

bool CMsgIDCode::Decode(const uint8_t* bytes) {
    if (bytes == nullptr) {
        Clear();
        return false;
    }
    std::memcpy(m_encoded, bytes, kLength);
    m_memoryType = bytes[0];
    m_messageNumber = get16(bytes + 1);
    m_messageCRC = get16(bytes + 3);
    return true;
}

bool CMsgIDCode::Decode(const uint8_t* bytes, size_t length) {
    return Decode(length == kLength ? bytes : nullptr);
}

void CMsgIDCode::Encode() {
    m_encoded[0] = m_memoryType;
    put16(m_encoded + 1, m_messageNumber);
    put16(m_encoded + 3, m_messageCRC);
}

void CMsgIDCode::Set(uint8_t memoryType, uint16_t messageNumber, uint16_t messageCRC) {
    m_memoryType = memoryType;
    m_messageNumber = messageNumber;
    m_messageCRC = messageCRC;
    Encode();
}
