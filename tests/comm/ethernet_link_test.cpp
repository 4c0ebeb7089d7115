// The SNMP-over-Ethernet link on its own: the BER framing of a byte stream,
// one framer per connection, whole datagrams, the ring limit and the idle
// time-out, on the virtual clock. The link here has no agent: a complete
// message only counts as a received frame.
#include "comm/links/comm_activity.h"
#include "comm/links/snmp_ethernet.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/comm/snmp_test_util.h"
#include "tests/support/kernel_fixture.h"

#include <string>
#include <vector>

using namespace snmp_test;

namespace {

// Feeds bytes one by one; the results as a string of letters: m more,
// c complete, n not part of a message.
std::string frame(const Bytes& bytes) {
    ethernet_framer framer;
    std::string results;
    for (uint8_t b : bytes) {
        int r = ethernet_frame_byte(framer, b);
        results += r == ETHERNET_FRAME_COMPLETE ? 'c' : r == ETHERNET_FRAME_MORE ? 'm' : 'n';
        if (r == ETHERNET_FRAME_NOT_MSG || r == ETHERNET_FRAME_COMPLETE) framer.length = 0;
    }
    return results;
}

TEST(EthernetFraming, CutsTheStreamIntoMessagesByTheirBerLength) {
    struct Case {
        const char* what;
        const char* bytes;
        const char* results;
    } cases[] = {
        {"short form", "30 03 02 01 00", "mmmmc"},
        {"one long-form octet", "30 81 05 01 02 03 04 05", "mmmmmmmc"},
        {"empty content ends with the next byte", "30 00 07", "mmc"},
        {"bytes before a message are refused one by one", "01 02 30 01 00", "nnmmc"},
        {"2996 content octets are taken", "30 82 0B B4 00", "mmmmm"},
        {"2997 refused; the next byte too, then a new message", "30 82 0B B5 30 30 01 00",
         "mmmmnmmc"},
        {"three length octets refused", "30 83 00 00 01 30 01 00", "mmnnnmmc"},
        {"indefinite length refused", "30 80 30 30 01 00", "mmnmmc"},
        {"two messages back to back", "30 01 00 30 01 00", "mmcmmc"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.results, frame(hex(c.bytes))) << c.what;
}

TEST(EthernetFraming, AMessageKeepsEveryByteFromTagToLastContentOctet) {
    ethernet_framer framer;
    Bytes message = hex("30 81 05 01 02 03 04 05");
    for (uint8_t b : message)
        ethernet_frame_byte(framer, b);
    EXPECT_EQ(message, Bytes(framer.message, framer.message + framer.length));
}

TEST(ActivityRegistry, HandsOutThirtyTwoBitsThenNone) {
    EXPECT_EQ(0x1u, CommLED_RegisterAgent());
    for (int i = 2; i < 32; i++)
        CommLED_RegisterAgent();
    EXPECT_EQ(0x80000000u, CommLED_RegisterAgent());
    EXPECT_EQ(0u, CommLED_RegisterAgent());
}

class EthernetLink : public test_support::KernelFixture {
  protected:
    void SetUp() override {
        test_support::KernelFixture::SetUp();
        ASSERT_EQ(0, ethernet_create(&link_, "SNMP OVER ethernet", nullptr, 2));
    }
    ethernet_source Stream(uint8_t slot) {
        ethernet_source s;
        s.slot = slot;
        return s;
    }
    ethernet_source Datagram() {
        ethernet_source s;
        s.datagram = true;
        return s;
    }
    void Feed(const ethernet_source& source, const Bytes& bytes) {
        ethernet_bytes_receive(&link_, source, bytes.data(), static_cast<uint32_t>(bytes.size()));
        tx_thread_sleep(1);
    }
    static ethernet_link link_;
};
ethernet_link EthernetLink::link_;

TEST_F(EthernetLink, TwoConnectionsInterleavingHalvesAreFramedApart) {
    Feed(Stream(0), hex("30 05 02 01"));
    Feed(Stream(1), hex("30 03 02 01 07"));
    Feed(Stream(0), hex("01 04 00"));
    EXPECT_EQ(2u, link_.frames_received);
}

// Runs wrap around the ring's end at every offset, and messages cross runs:
// a byte lost or misplaced there breaks the framing of what follows.
TEST_F(EthernetLink, MessagesSurviveTheRingsWrapAndRunBoundaries) {
    const Bytes message = hex("30 0B 02 01 00 04 06 70 75 62 6C 69 63");
    const ethernet_framer& framer = link_.streams[3];
    for (size_t cut = 1; cut <= 400; cut++) {
        size_t at = cut % message.size();
        Feed(Stream(3), Bytes(message.begin(), message.begin() + at));
        Bytes rest(message.begin() + at, message.end());
        Feed(Stream(3), rest);
        ASSERT_EQ(rest, Bytes(link_.run_bytes, link_.run_bytes + rest.size())) << cut;
        ASSERT_EQ(message, Bytes(framer.message, framer.message + message.size())) << cut;
    }
    EXPECT_EQ(400u, link_.frames_received);
    EXPECT_EQ(400 * message.size(), link_.bytes_received);
}

TEST_F(EthernetLink, ANewConnectionOnASlotStartsWithAFreshFramer) {
    Feed(Stream(0), hex("30 05 02 01"));
    ethernet_stream_restart(&link_, Stream(0));
    Feed(Stream(0), hex("30 03 02 01 07"));
    EXPECT_EQ(1u, link_.frames_received);
}

TEST_F(EthernetLink, ADatagramMustHoldExactlyOneMessage) {
    uint32_t parse_errors = db_get(obj::snmpInASNParseErrs);
    Feed(Datagram(), hex("30 03 02 01 07 00")); // a byte after the message
    Feed(Datagram(), hex("30 05 02 01"));       // cut short
    Feed(Datagram(), hex("01 02 03"));          // do not complete the one before
    EXPECT_EQ(0u, link_.frames_received);
    EXPECT_EQ(parse_errors + 1, db_get(obj::snmpInASNParseErrs));
    Feed(Datagram(), hex("30 03 02 01 07"));
    EXPECT_EQ(1u, link_.frames_received);
}

TEST_F(EthernetLink, ARunThatDoesNotFitTheRingIsDroppedWhole) {
    Bytes big(ETHERNET_RING_BYTES + 1, 0x30);
    EXPECT_EQ(ETHERNET_RING_FULL, ethernet_bytes_receive(&link_, Stream(0), big.data(),
                                                         static_cast<uint32_t>(big.size())));
    EXPECT_EQ(big.size(), link_.bytes_dropped);
    Feed(Stream(0), hex("30 03 02 01 07"));
    EXPECT_EQ(1u, link_.frames_received);
}

// With a time-out setting of 1000 a partial message is given up after 2004
// empty waits of 25 ticks.
TEST_F(EthernetLink, APartialMessageIsDiscardedAfterTheIdleLimit) {
    ethernet_set_timeout(&link_, 1000);
    struct Case {
        ULONG empty_waits;
        uint32_t frames;
    } cases[] = {{2003, 1}, {2004, 0}};
    for (const Case& c : cases) {
        uint32_t before = link_.frames_received;
        Feed(Stream(2), hex("30 03 02"));
        tx_thread_sleep(c.empty_waits * ETHERNET_POLL_TICKS - 1);
        Feed(Stream(2), hex("01 07"));
        EXPECT_EQ(before + c.frames, link_.frames_received) << c.empty_waits << " empty waits";
        ethernet_stream_restart(&link_, Stream(2));
        tx_thread_sleep(ETHERNET_POLL_TICKS);
    }
}

} // namespace
