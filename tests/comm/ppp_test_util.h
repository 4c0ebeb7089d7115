// A PPP peer's own framing for the link tests: frames built and read here,
// independently of the link's code (FCS, transparency, protocol field).
#pragma once

#include "tests/comm/snmp_test_util.h"

#include <cstdint>
#include <vector>

namespace ppp_test {

using snmp_test::Bytes;

inline uint16_t fcs16(const Bytes& bytes) {
    uint16_t fcs = 0xFFFF;
    for (uint8_t b : bytes) {
        fcs ^= b;
        for (int i = 0; i < 8; i++)
            fcs = (fcs & 1) ? uint16_t((fcs >> 1) ^ 0x8408) : uint16_t(fcs >> 1);
    }
    return fcs;
}

// FF 03, the protocol (one byte when it fits one), the packet, the FCS;
// every control byte escaped, as a peer does before the map is agreed.
inline Bytes frame(uint16_t protocol, const Bytes& packet, bool one_byte_protocol = false) {
    Bytes body{0xFF, 0x03};
    if (!one_byte_protocol) body.push_back(uint8_t(protocol >> 8));
    body.push_back(uint8_t(protocol));
    body.insert(body.end(), packet.begin(), packet.end());
    uint16_t fcs = uint16_t(~fcs16(body));
    body.push_back(uint8_t(fcs));
    body.push_back(uint8_t(fcs >> 8));
    Bytes out{0x7E};
    for (uint8_t b : body) {
        if (b == 0x7E || b == 0x7D || b < 0x20) {
            out.push_back(0x7D);
            out.push_back(b ^ 0x20);
        } else {
            out.push_back(b);
        }
    }
    out.push_back(0x7E);
    return out;
}

// A control packet: code, identifier, length, data.
inline Bytes packet(uint8_t code, uint8_t id, const Bytes& data) {
    Bytes p{code, id, uint8_t((data.size() + 4) >> 8), uint8_t(data.size() + 4)};
    p.insert(p.end(), data.begin(), data.end());
    return p;
}

struct received {
    uint16_t protocol;
    Bytes packet; // after the protocol field
    bool fcs_good;
    bool address_control; // opened with FF 03
};

// The frames of a byte stream; bytes outside frames are skipped.
inline std::vector<received> frames_in(const Bytes& stream) {
    std::vector<received> frames;
    Bytes current;
    bool open = false;
    for (size_t i = 0; i < stream.size(); i++) {
        uint8_t b = stream[i];
        if (b == 0x7E) {
            if (open && current.size() >= 6) {
                received r;
                r.fcs_good = fcs16(current) == 0xF0B8;
                r.address_control = current[0] == 0xFF && current[1] == 0x03;
                r.protocol = uint16_t(current[2] << 8 | current[3]);
                r.packet.assign(current.begin() + 4, current.end() - 2);
                frames.push_back(r);
            }
            current.clear();
            open = true;
            continue;
        }
        if (!open) continue;
        if (b == 0x7D && i + 1 < stream.size()) b = stream[++i] ^ 0x20;
        current.push_back(b);
    }
    return frames;
}

} // namespace ppp_test
