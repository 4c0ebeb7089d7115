// The block-transfer mode of a PMPP link driven byte by byte: the master's
// line and block acknowledged (ACK0, ACK1) and the request handed on as a
// frame; refused lines and counts; a request that would outgrow the frame
// dropped; responses cut into 488-byte blocks with their lines, flags and UDP
// checksums, refusals retransmitted up to the retry limit.
#include "comm/links/pmpp_rdi.h"
#include "comm/snmp/snmp_agent.h"
#include "tests/comm/snmp_test_util.h"
#include "tests/support/kernel_fixture.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

using snmp_test::Bytes;

Bytes g_wire; // what the sign wrote

void capture(uint8_t byte) {
    g_wire.push_back(byte);
}

const Bytes ACK0 = {0x06, '0', 0x0A, 0x0D}, ACK1 = {0x06, '1', 0x0A, 0x0D},
            ACK2 = {0x06, '2', 0x0A, 0x0D}, REFUSAL = {0x06, 'A', 0x0A, 0x0D};
const uint8_t SIGN[4] = {127, 0, 0, 1}, MASTER[4] = {10, 0, 0, 5};

Bytes line(const std::string& count, const std::string& id = "12345") {
    Bytes l = {0x04, '2', '2', '0', '0', '1'};
    l.insert(l.end(), id.begin(), id.end());
    l.insert(l.end(), count.begin(), count.end());
    l.push_back(0x0D);
    return l;
}

std::string digits(size_t n) {
    char text[8];
    std::snprintf(text, sizeof text, "%04zu", n);
    return text;
}

// A form-2 block to the sign with its UDP header (checksum not checked).
Bytes block(const Bytes& data, bool more = false, uint8_t offset = 0) {
    Bytes b = {
        0x10,    0x0F,    MASTER[0], MASTER[1], MASTER[2], MASTER[3], SIGN[0],
        SIGN[1], SIGN[2], SIGN[3],   17,        0x00,      0x07,      uint8_t(more ? 0x20 : 0),
        offset};
    size_t udp = data.size() + 8;
    Bytes u = {0x04, 0x89, 0x00, 0xA1, uint8_t(udp >> 8), uint8_t(udp), 0, 0};
    b.insert(b.end(), u.begin(), u.end());
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

uint16_t checksum(const uint8_t* src, const uint8_t* dst, const uint8_t* udp, size_t n) {
    uint32_t sum = 0;
    auto add = [&](const uint8_t* p, size_t len) {
        for (size_t i = 0; i < len; i += 2)
            sum += uint32_t(p[i] << 8 | (i + 1 < len ? p[i + 1] : 0));
    };
    add(src, 4);
    add(dst, 4);
    sum += 17 + uint32_t(n);
    add(udp, n);
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return uint16_t(~sum);
}

class RdiLink : public test_support::KernelFixture {
  protected:
    void SetUp() override {
        test_support::KernelFixture::SetUp();
        std::memset(static_cast<void*>(&link_), 0, sizeof link_);
        std::memset(static_cast<void*>(&agent_), 0, sizeof agent_);
        std::memcpy(agent_.address, SIGN, 4);
        tx_mutex_create(&link_.mutex, "PMPP PROTECT MUTEX", TX_NO_INHERIT);
        link_.agent = &agent_;
        link_.station_address = 1;
        link_.rdi_flag = 1;
        link_.rdi.state = RDI_WAITING;
        link_.write_byte = capture;
        link_.rdi_retries = 2;
        g_wire.clear();
    }
    // Feeds bytes; -> the frame results seen.
    int Feed(const Bytes& bytes) {
        int frames = 0;
        for (uint8_t b : bytes) {
            link_.ring[link_.head] = b;
            link_.head = uint16_t((link_.head + 1) % PMPP_RING_BYTES);
            link_.count++;
            frames += rdi_receive_step(&link_) == PMPP_FRAME;
        }
        return frames;
    }
    Bytes Wire() {
        Bytes w = g_wire;
        g_wire.clear();
        return w;
    }
    // The request's data as handed on (after address, 13, C1).
    Bytes Request() const { return Bytes(link_.plain + 3, link_.plain + link_.plain_length); }
    void Answer(size_t length) {
        Bytes data(length);
        for (size_t i = 0; i < length; i++)
            data[i] = uint8_t(i * 7);
        rdi_send_blocks(&agent_, &link_, data.data(), uint32_t(length));
        data_ = data;
    }

    pmpp_link link_;
    snmp_agent agent_;
    Bytes data_;
};

TEST_F(RdiLink, ARequestInOneBlockIsAcknowledgedAndHandedOn) {
    Bytes data = snmp_test::hex("30 03 02 01 00");
    EXPECT_EQ(0, Feed(line(digits(23 + data.size()))));
    EXPECT_EQ(ACK0, Wire());
    EXPECT_EQ(1, Feed(block(data)));
    EXPECT_EQ(ACK1, Wire());
    EXPECT_EQ(data, Request());
    EXPECT_EQ(0x05, link_.plain[0]); // own address 1, then 13 C1
    EXPECT_EQ(0x0489, link_.rdi.peer_port);
}

TEST_F(RdiLink, ContinuedBlocksMakeOneRequest) {
    Bytes first(100, 0x11), second(50, 0x22);
    Feed(line(digits(23 + first.size())));
    EXPECT_EQ(0, Feed(block(first, true, 0)));
    Feed(line(digits(23 + second.size())));
    EXPECT_EQ(1, Feed(block(second, false, 1)));
    Bytes both = first;
    both.insert(both.end(), second.begin(), second.end());
    EXPECT_EQ(both, Request());
}

TEST_F(RdiLink, BadLinesAndCountsAreRefusedAndTheNextGoodOneServed) {
    const Bytes refused[] = {
        line("0513"),           // more than 512
        line("0017"),           // less than the shortest header and the UDP header
        line("05x3"),           // not digits
        line("0030", "123456"), // 17 bytes: too long
        Bytes(40, 0x31),        // no line at all
        {0x04, '1', 0x0D},      // too short
    };
    for (const Bytes& bad : refused) {
        Bytes with_start = bad;
        if (with_start.front() != 0x04) with_start.insert(with_start.begin(), 0x04);
        Feed(with_start);
        EXPECT_EQ(Bytes{}, Wire()) << snmp_test::to_hex(bad);
        EXPECT_EQ(uint32_t(RDI_WAITING), link_.rdi.state) << snmp_test::to_hex(bad);
    }
    Bytes data = snmp_test::hex("30 00");
    Feed(line(digits(23 + data.size())));
    EXPECT_EQ(1, Feed(block(data)));
    EXPECT_EQ(data, Request());
}

TEST_F(RdiLink, ABlockForAnotherAddressOrAContinuationOfNothingIsRefused) {
    Bytes data = snmp_test::hex("30 00");
    Bytes other = block(data);
    other[9] = 2; // 127.0.0.2
    Feed(line(digits(23 + data.size())));
    Wire();
    EXPECT_EQ(0, Feed(other));
    EXPECT_EQ(Bytes{}, Wire());
    Feed(line(digits(23 + data.size())));
    Wire();
    EXPECT_EQ(0, Feed(block(data, false, 3)));
    EXPECT_EQ(Bytes{}, Wire());
}

TEST_F(RdiLink, ARequestThatOutgrowsTheFrameIsDropped) {
    Bytes piece(480, 0x33);
    for (int k = 0; k < 5; k++) { // 2400 bytes: more than a frame holds
        Feed(line(digits(23 + piece.size())));
        Feed(block(piece, true, uint8_t(k)));
    }
    EXPECT_EQ(0u, link_.rdi.frame_length);
    Wire();
    Bytes data = snmp_test::hex("30 00");
    Feed(line(digits(23 + data.size())));
    EXPECT_EQ(1, Feed(block(data)));
    EXPECT_EQ(data, Request());
}

TEST_F(RdiLink, A300ByteResponseIsAnnouncedAs323) {
    Feed(line(digits(25)));
    Feed(block(snmp_test::hex("30 00")));
    Wire();
    Answer(300);
    EXPECT_EQ(snmp_test::hex("04 31 31 30 30 32 31 32 33 34 35 30 33 32 33 0D"), Wire());
}

TEST_F(RdiLink, A1000ByteResponseGoesIn488488And24WithTheirChecksums) {
    Feed(line(digits(25)));
    Feed(block(snmp_test::hex("30 00")));
    Wire();
    Answer(1000);
    const size_t sizes[] = {488, 488, 24};
    Bytes gathered;
    for (int k = 0; k < 3; k++) {
        Bytes l = Wire();
        ASSERT_EQ(16u, l.size());
        EXPECT_EQ(digits(23 + sizes[k]), std::string(l.begin() + 11, l.begin() + 15));
        Feed(ACK0);
        Bytes b = Wire();
        ASSERT_EQ(23 + sizes[k], b.size());
        EXPECT_EQ(k < 2 ? 0x20 : 0x00, b[13]);
        EXPECT_EQ(k, b[14]);
        EXPECT_EQ(Bytes(SIGN, SIGN + 4), Bytes(b.begin() + 2, b.begin() + 6));
        EXPECT_EQ(Bytes(MASTER, MASTER + 4), Bytes(b.begin() + 6, b.begin() + 10));
        EXPECT_EQ(0u, checksum(SIGN, MASTER, b.data() + 15, b.size() - 15) & 0xFFFF)
            << "block " << k;
        gathered.insert(gathered.end(), b.begin() + 23, b.end());
        Feed(ACK1);
        Feed(ACK2);
    }
    EXPECT_EQ(data_, gathered);
    EXPECT_EQ(uint32_t(RDI_WAITING), link_.rdi.state);
}

TEST_F(RdiLink, ARefusalRepeatsTheLineUpToTheRetryLimit) {
    Feed(line(digits(25)));
    Feed(block(snmp_test::hex("30 00")));
    Wire();
    Answer(40);
    Bytes announced = Wire();
    for (int retry = 0; retry < 2; retry++) {
        Feed(REFUSAL);
        EXPECT_EQ(announced, Wire()) << "retry " << retry;
    }
    Feed(REFUSAL); // the limit is reached: given up
    EXPECT_EQ(Bytes{}, Wire());
    EXPECT_EQ(uint32_t(RDI_WAITING), link_.rdi.state);
}

TEST_F(RdiLink, ARetryLimitOfZeroGivesUpAtTheFirstTimeOut) {
    link_.rdi_retries = 0;
    Feed(line(digits(25)));
    Feed(block(snmp_test::hex("30 00")));
    Wire();
    Answer(40);
    Wire();
    rdi_timeout(&link_);
    EXPECT_EQ(Bytes{}, Wire());
    EXPECT_EQ(uint32_t(RDI_WAITING), link_.rdi.state);
}

// A trap over the mode: to the remote address and LID, from the given port to 161.
TEST_F(RdiLink, ATrapGoesToTheRemoteAddressAndLid) {
    link_.rdi_remote_address = 0x0A000005; // 10.0.0.5
    link_.rdi_remote_lid = 4207;
    rdi_prepare_trap_header(&link_, 1062);
    Bytes trap = snmp_test::hex("30 00");
    rdi_send_blocks(&agent_, &link_, trap.data(), uint32_t(trap.size()));
    EXPECT_EQ(snmp_test::hex("04 31 31 30 30 32 30 34 32 30 37 30 30 32 35 0D"), Wire());
    Feed(ACK0);
    Bytes b = Wire();
    ASSERT_EQ(25u, b.size());
    EXPECT_EQ(Bytes(MASTER, MASTER + 4), Bytes(b.begin() + 6, b.begin() + 10));
    EXPECT_EQ(17, b[10]);
    EXPECT_EQ(snmp_test::hex("04 26 00 A1"), Bytes(b.begin() + 15, b.begin() + 19));
    EXPECT_EQ(0u, checksum(SIGN, MASTER, b.data() + 15, b.size() - 15));
}

} // namespace
