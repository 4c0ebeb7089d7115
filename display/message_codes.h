// The two NTCIP 1203 message codes: the 12-byte MessageActivationCode and the
// 5-byte MessageIDCode. Each holds its decoded fields beside the encoded
// (big-endian) bytes, which are passed unchanged to the object store as the
// value of a 12-byte or 5-byte string object.
#pragma once

#include <cstddef>
#include <cstdint>

// NTCIP message memory types.
enum msg_memory_type : uint8_t {
    MSG_MEMORY_PERMANENT = 2,
    MSG_MEMORY_CHANGEABLE = 3,
    MSG_MEMORY_VOLATILE = 4,
    MSG_MEMORY_CURRENT_BUFFER = 5,
    MSG_MEMORY_SCHEDULE = 6,
    MSG_MEMORY_BLANK = 7,
};

// The code that blanks the sign: memory type 7, message number 1, CRC 0.
constexpr uint8_t kBlankMemoryType = MSG_MEMORY_BLANK;
constexpr uint16_t kBlankMessageNumber = 1;
constexpr uint16_t kBlankMessageCRC = 0;

// MessageActivationCode. Encoded: bytes 0-1 duration, 2 priority, 3 memory
// type, 4-5 message number, 6-7 message CRC, 8-11 source address.
class CMsgActivationCode {
  public:
    static constexpr size_t kLength = 12;

    uint8_t m_encoded[kLength] = {};
    uint16_t m_duration = 0; // 65535: until replaced
    uint8_t m_priority = 0;
    uint8_t m_memoryType = 0; // msg_memory_type
    uint16_t m_messageNumber = 0;
    uint16_t m_messageCRC = 0;
    uint8_t m_sourceAddress[4] = {}; // kept byte for byte

    virtual ~CMsgActivationCode() = default;

    // Reads the fields from the first 12 bytes and keeps a copy of them.
    // Null clears the code and every field and gives false.
    bool Decode(const uint8_t* bytes);
    // As Decode, but a value whose length is not exactly 12 clears the code
    // and gives false (for values read from the store or the wire).
    bool Decode(const uint8_t* bytes, size_t length);
    // Writes the fields into the encoded bytes.
    void Encode();
    // Sets every field and encodes.
    void Set(uint16_t duration, uint8_t priority, uint8_t memoryType, uint16_t messageNumber,
             uint16_t messageCRC, const uint8_t sourceAddress[4]);

    const uint8_t* Encoded() const { return m_encoded; }

    // True when memory type, message number and CRC are equal; duration,
    // priority and source address play no part.
    static bool Compare(const CMsgActivationCode& a, const CMsgActivationCode& b);

  private:
    void Clear();
};

// MessageIDCode. Encoded: byte 0 memory type, 1-2 message number, 3-4 CRC.
class CMsgIDCode {
  public:
    static constexpr size_t kLength = 5;

    uint8_t m_encoded[kLength] = {};
    uint8_t m_memoryType = 0;
    uint16_t m_messageNumber = 0;
    uint16_t m_messageCRC = 0;

    virtual ~CMsgIDCode() = default;

    // Reads the fields from the first 5 bytes; null clears and gives false.
    bool Decode(const uint8_t* bytes);
    // As Decode, but a value of any length other than 5 clears the code
    // (memory type 0, which matches no message) and gives false.
    bool Decode(const uint8_t* bytes, size_t length);
    void Encode();
    // Sets the three fields and encodes.
    void Set(uint8_t memoryType, uint16_t messageNumber, uint16_t messageCRC);

    const uint8_t* Encoded() const { return m_encoded; }

  private:
    void Clear();
};
