// Shared helpers of the SNMP codec tests: hex text, fixtures, records.
#pragma once

#include <cstdint>
#include <cctype>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "comm/snmp/snmp.h"

namespace snmp_test {

using Bytes = std::vector<uint8_t>;

// "30 0A 06 ..." (blanks optional; '#' starts a comment to the end of the line).
inline Bytes hex(const std::string& text) {
    Bytes out;
    std::string digits;
    bool comment = false;
    for (char c : text) {
        if (c == '#') comment = true;
        if (c == '\n') comment = false;
        if (!comment && std::isxdigit(static_cast<unsigned char>(c))) digits += c;
    }
    for (size_t i = 0; i + 1 < digits.size(); i += 2) {
        out.push_back(static_cast<uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
    }
    return out;
}

inline std::string to_hex(const uint8_t* bytes, size_t count) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < count; ++i) {
        if (i) out += ' ';
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 0xF];
    }
    return out;
}

inline std::string to_hex(const Bytes& bytes) {
    return to_hex(bytes.data(), bytes.size());
}

// Builders of hand-made messages: one TLV with a definite length.
inline Bytes tlv(uint8_t tag, const Bytes& content) {
    Bytes out = {tag};
    const size_t n = content.size();
    if (n < 128) {
        out.push_back(static_cast<uint8_t>(n));
    } else {
        out.insert(out.end(), {0x82, static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)});
    }
    out.insert(out.end(), content.begin(), content.end());
    return out;
}

inline Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

inline Bytes text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

// OBJECT IDENTIFIER TLV of at least two sub-identifiers.
inline Bytes oid_tlv(const std::vector<uint32_t>& oid) {
    Bytes content;
    auto subid = [&content](uint32_t v) {
        Bytes groups = {static_cast<uint8_t>(v & 0x7F)};
        for (v >>= 7; v; v >>= 7)
            groups.insert(groups.begin(), static_cast<uint8_t>(0x80 | (v & 0x7F)));
        content.insert(content.end(), groups.begin(), groups.end());
    };
    subid(oid[0] * 40 + oid[1]);
    for (size_t i = 2; i < oid.size(); ++i)
        subid(oid[i]);
    return tlv(0x06, content);
}

// SEQUENCE { version, community, PDU (tag, body) }.
inline Bytes community_message(uint8_t version, const std::string& community, uint8_t pdu_tag,
                               const Bytes& pdu_body) {
    return tlv(0x30, cat({Bytes{0x02, 0x01, version}, tlv(0x04, text(community)),
                          tlv(pdu_tag, pdu_body)}));
}

// Request fields (request-id 1, status 0, index 0) and a list of varbinds.
inline Bytes request_body(const std::vector<Bytes>& varbinds) {
    Bytes list;
    for (const Bytes& vb : varbinds)
        list.insert(list.end(), vb.begin(), vb.end());
    return cat({hex("02 01 01 02 01 00 02 01 00"), tlv(0x30, list)});
}

inline Bytes varbind(const Bytes& name, const Bytes& value) {
    return tlv(0x30, cat({name, value}));
}

// The request bytes captured once from the net-snmp command-line tools.
inline Bytes fixture(const std::string& name) {
    std::ifstream in(std::string(TEST_SOURCE_DIR) + "/comm/fixtures/" + name + ".hex");
    std::stringstream text;
    text << in.rdbuf();
    return hex(text.str());
}

// The request record is large: keep it on the heap.
inline std::unique_ptr<snmp_pdu> new_pdu() {
    auto pdu = std::make_unique<snmp_pdu>();
    std::memset(pdu.get(), 0, sizeof(snmp_pdu));
    return pdu;
}

inline void set_name(snmp_varbind& vb, std::initializer_list<uint32_t> oid) {
    vb.name_length = 0;
    for (uint32_t subid : oid)
        vb.name[vb.name_length++] = subid;
}

inline std::vector<uint32_t> name_of(const snmp_varbind& vb) {
    return std::vector<uint32_t>(vb.name, vb.name + vb.name_length);
}

inline void set_number(snmp_varbind& vb, uint16_t syntax, uint32_t number) {
    vb.syntax = syntax;
    vb.value_length = 4;
    std::memcpy(vb.value, &number, 4);
}

inline uint32_t number_of(const snmp_varbind& vb) {
    uint32_t number = 0;
    std::memcpy(&number, vb.value, 4);
    return number;
}

inline void set_octets(snmp_varbind& vb, uint16_t syntax, const Bytes& bytes) {
    vb.syntax = syntax;
    vb.value_length = static_cast<uint32_t>(bytes.size());
    std::memcpy(vb.value, bytes.data(), bytes.size());
}

inline void set_oid_value(snmp_varbind& vb, const std::vector<uint32_t>& oid) {
    vb.syntax = SNMP_OBJECTID;
    vb.value_length = static_cast<uint32_t>(4 * oid.size());
    std::memcpy(vb.value, oid.data(), oid.size() * 4);
}

// An OID value of a varbind (value length = 4 x sub-identifiers).
inline std::vector<uint32_t> oid_value_of(const snmp_varbind& vb) {
    std::vector<uint32_t> oid(vb.value_length / 4);
    std::memcpy(oid.data(), vb.value, oid.size() * 4);
    return oid;
}

// Copies a message into a heap block of exactly its size, so that the
// sanitizer sees any read past its end.
inline std::unique_ptr<uint8_t[]> exact_copy(const Bytes& bytes) {
    std::unique_ptr<uint8_t[]> copy(new uint8_t[bytes.size() ? bytes.size() : 1]);
    if (!bytes.empty()) std::memcpy(copy.get(), bytes.data(), bytes.size());
    return copy;
}

// Runs an encoder on a fresh context over a buffer of the given size and
// returns the finished octets (empty on failure).
template <typename Encode> Bytes encode_with(Encode encode, uint32_t size = 3000) {
    std::vector<uint8_t> buffer(size);
    asn1_context ctx;
    g_asn1_open(&ctx, buffer.data(), size, ASN1_ENC);
    if (!encode(&ctx)) return {};
    uint8_t* start = nullptr;
    uint32_t length = 0;
    g_asn1_close(&ctx, &start, &length);
    return Bytes(start, start + length);
}

// One to four random edits of a message: bit flips, interesting octets,
// insertions, deletions, truncation and length octets off by a little.
inline Bytes mutate(const Bytes& seed, std::mt19937& rng) {
    static const uint8_t interesting[] = {0x00, 0x01, 0x02, 0x04, 0x05, 0x06, 0x1F,
                                          0x30, 0x40, 0x7F, 0x80, 0x81, 0x82, 0x84,
                                          0x85, 0xA0, 0xA3, 0xA4, 0xFF};
    Bytes m = seed;
    const int edits = 1 + static_cast<int>(rng() % 4);
    for (int e = 0; e < edits && !m.empty(); ++e) {
        const size_t at = rng() % m.size();
        switch (rng() % 6) {
        case 0:
            m[at] ^= static_cast<uint8_t>(1u << (rng() % 8));
            break;
        case 1:
            m[at] = interesting[rng() % sizeof interesting];
            break;
        case 2:
            m.insert(m.begin() + static_cast<long>(at), static_cast<uint8_t>(rng()));
            break;
        case 3:
            m.erase(m.begin() + static_cast<long>(at));
            break;
        case 4:
            m.resize(at); // truncation
            break;
        default: // a length octet off by a little
            m[at] = static_cast<uint8_t>(m[at] + static_cast<int>(rng() % 5) - 2);
            break;
        }
    }
    return m;
}

} // namespace snmp_test
