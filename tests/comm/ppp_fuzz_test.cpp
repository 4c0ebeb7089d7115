// The PPP receiver alone on the test's thread, byte by byte, under the
// sanitizers: a fixed number of mutated frames from a fixed seed (noise,
// damaged bodies under good FCSs, damaged frames, runs past the frame
// buffer) through framing, frame dispatch and every control automaton. No
// index leaves its buffer, nothing hangs, and the link answers an echo after.
#include "comm/links/ppp.h"
#include "tests/comm/agent_net_util.h"
#include "tests/comm/ppp_test_util.h"
#include "tests/support/firmware_fixture.h"

#include <cstring>
#include <random>

namespace {

using ppp_test::frame;
using ppp_test::packet;
using snmp_test::Bytes;
using snmp_test::hex;

Bytes g_line;

uint32_t fuzz_challenge(uint8_t* challenge, uint8_t* identifier, char* name) {
    std::memset(challenge, 0, 40);
    *identifier = 7;
    std::strcpy(name, "sign");
    return 40;
}

int fuzz_secret(ppp_link*, char* name, char* secret) {
    std::strcpy(name, "sign");
    std::strcpy(secret, "secret");
    return 0;
}

class PppFuzz : public test_support::FirmwareFixture {};

TEST_F(PppFuzz, MutatedFramesNeverTakeTheReceiverOutsideItsBuffers) {
    static ppp_link link; // outside the worker's table; no agent, its IP down
    std::memset(static_cast<void*>(&link), 0, sizeof link);
    ASSERT_EQ(TX_SUCCESS, tx_mutex_create(&link.mutex, "fuzzed link", TX_NO_INHERIT));
    ASSERT_EQ(TX_SUCCESS, tx_event_flags_create(&link.ip_events, "fuzzed events"));
    link.write_byte = [](uint8_t byte) {
        if (g_line.size() < 100000) g_line.push_back(byte);
    };
    link.lcp_state = PPP_CLOSED;
    link.tx_accm = link.accm = 0xFFFFFFFFu;
    link.mru = PPP_MRU;
    ppp_chap_enable(&link, fuzz_challenge, fuzz_secret, fuzz_secret);
    link.pap_usable = 1;
    link.pap_verify = [](const char*, const char*) { return 1; };
    auto feed = [](const Bytes& bytes) {
        for (uint8_t byte : bytes) {
            link.ring[0] = byte;
            link.tail = 0;
            link.count = 1;
            int result = ppp_receive_step(&link, false);
            ASSERT_LE(link.store_index, PPP_FRAME_BYTES);
            if (result == PMPP_FRAME) ppp_receive_packet_process(&link);
            if (result == PMPP_FRAME || result == PMPP_DROP) link.store_index = 0;
        }
    };
    struct seed_packet {
        uint16_t protocol;
        Bytes packet;
    };
    const seed_packet seeds[] = {
        {0xC021,
         packet(1, 1, hex("01 04 05 DC 02 06 00 00 00 00 03 05 C2 23 05 05 06 01 02 03 04"))},
        {0xC021, packet(9, 2, hex("00 00 00 00 41 42"))},
        {0xC223, packet(1, 3, hex("04 00 01 02 03 70 65 65 72"))},
        {0xC223, packet(2, 7, snmp_test::cat({Bytes{16}, Bytes(16, 0x55)}))},
        {0x8021, packet(1, 4, hex("03 06 00 00 00 00 01 0A 00 00 00 00 00 00 00 00"))},
        {0x8021, packet(3, 5, hex("03 06 0A 00 00 01"))},
        {0xC023, packet(1, 6, hex("03 61 62 63 02 78 79"))},
        {0x00C1, agent_test::get(8)},
        {0x0021, Bytes(40, 0x45)},
    };
    const size_t seed_count = sizeof seeds / sizeof *seeds;
    std::mt19937 rng(4141);
    for (int round = 0; round < 5000; round++) {
        if (round % 400 == 0) { // now and then an opened, authenticated link
            link.lcp_state = PPP_OPENED;
            link.authenticated = 1;
        }
        const seed_packet& seed = seeds[rng() % seed_count];
        Bytes bytes;
        switch (round % 4) {
        case 0: // noise, flags and escapes among it
            bytes.resize(rng() % 80);
            for (uint8_t& b : bytes)
                b = rng() % 3 ? uint8_t(rng()) : (rng() % 2 ? 0x7E : 0x7D);
            break;
        case 1: // a good FCS over a damaged packet, now and then a one-byte protocol
            bytes = frame(seeds[rng() % seed_count].protocol, snmp_test::mutate(seed.packet, rng),
                          rng() % 8 == 0);
            break;
        case 2: // damage to the frame itself
            bytes = snmp_test::mutate(frame(seed.protocol, seed.packet), rng);
            break;
        default: // an opening flag and a run past the frame buffer
            bytes.assign(1 + rng() % 3500, uint8_t(rng() | 1));
            bytes[0] = 0x7E;
            break;
        }
        feed(bytes);
        if (HasFatalFailure()) return;
        if (round % 97 == 0) ppp_receive_step(&link, true); // the comm time-out
        if (g_line.size() > 50000) g_line.clear();
    }
    ppp_receive_step(&link, true);
    link.lcp_state = PPP_OPENED;
    link.store_index = 0;
    g_line.clear();
    feed(hex("7E"));
    feed(frame(0xC021, packet(9, 0x44, hex("00 00 00 00"))));
    std::vector<ppp_test::received> frames = ppp_test::frames_in(g_line);
    ASSERT_EQ(1u, frames.size());
    EXPECT_EQ(packet(10, 0x44, hex("00 00 00 00")), frames[0].packet);
}

} // namespace
