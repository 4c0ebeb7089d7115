// The SNTP client's request and its checks of crafted replies: which replies
// move the clock, and by how much.
#include "comm/net/sntp_client.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

const uint32_t ERA = CSNTP_Client::NTP_ERA_OFFSET;

void put_time(uint8_t* packet, uint32_t at, uint32_t seconds, uint32_t fraction) {
    for (int i = 0; i < 4; i++) {
        packet[at + i] = uint8_t(seconds >> (24 - 8 * i));
        packet[at + 4 + i] = uint8_t(fraction >> (24 - 8 * i));
    }
}

TEST(SntpRequest, CarriesItsTransmitTimeAsItsOriginateTime) {
    uint8_t packet[CSNTP_Client::PACKET_BYTES];
    CSNTP_Client::BuildRequest(1000, 0xDEADBEEF, packet);
    EXPECT_EQ(0x1B, packet[0]);
    uint8_t transmit[8];
    put_time(transmit, 0, 1000 + ERA, 0xDEADBEEF);
    EXPECT_EQ(0, std::memcmp(transmit, packet + CSNTP_Client::TRANSMIT, 8));
    EXPECT_EQ(0, std::memcmp(transmit, packet + CSNTP_Client::ORIGINATE, 8));
    for (uint32_t i = 1; i < CSNTP_Client::ORIGINATE; i++)
        EXPECT_EQ(0, packet[i]) << i;
}

TEST(SntpReply, OnlyAFreshAnswerToTheLastRequestIsTaken) {
    uint8_t request[CSNTP_Client::RECORD_BYTES] = {};
    CSNTP_Client::BuildRequest(1000, 77, request);
    auto reply = [&](uint8_t first, uint32_t originate, uint32_t receive, uint32_t transmit) {
        std::vector<uint8_t> r(CSNTP_Client::RECORD_BYTES, 0);
        r[0] = first;
        put_time(r.data(), CSNTP_Client::ORIGINATE, originate ? originate + ERA : 0,
                 originate ? 77 : 0);
        put_time(r.data(), CSNTP_Client::RECEIVE, receive ? receive + ERA : 0, receive ? 5 : 0);
        put_time(r.data(), CSNTP_Client::TRANSMIT, transmit ? transmit + ERA : 0, 9);
        return r;
    };
    const std::vector<uint8_t> none(CSNTP_Client::RECORD_BYTES, 0);
    const auto good = reply(0x1C, 1000, 1010, 1011);
    struct {
        const char* what;
        std::vector<uint8_t> reply;
        bool taken;
    } const cases[] = {
        {"a server's answer", good, true},
        {"mode 3 (a client)", reply(0x1B, 1000, 1010, 1011), false},
        {"mode 5 (broadcast)", reply(0x1D, 1000, 1010, 1011), false},
        {"another request's time", reply(0x1C, 999, 1010, 1011), false},
        {"zero originate time", reply(0x1C, 0, 1010, 1011), false},
        {"zero receive time", reply(0x1C, 1000, 0, 1011), false},
        {"zero transmit time",
         [&] {
             auto r = good;
             std::memset(r.data() + CSNTP_Client::TRANSMIT, 0, 4);
             return r;
         }(),
         false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.taken, CSNTP_Client::Acceptable(c.reply.data(), request, none.data()))
            << c.what;
    EXPECT_FALSE(CSNTP_Client::Acceptable(good.data(), request, good.data()))
        << "the same reply twice";
}

TEST(SntpReply, MovesTheClockByTheOffsetAndHalfTheDelay) {
    struct {
        const char* what;
        uint32_t t1, t2, t3, t4;
        int32_t correction, delay;
    } const cases[] = {
        {"offset 9, delay 2", 1000, 1010, 1011, 1003, 10, 2},
        {"differences of -7 s", 1000, 997, 998, 1002, -3, 1},
        {"a delay of -1 s counts as 0", 1000, 1000, 1001, 1000, 0, 0},
        {"a server far behind", 4000000000u, 3000000000u, 3000000000u, 4000000000u, -1000000000, 0},
    };
    for (const auto& c : cases) {
        int32_t delay = 99;
        EXPECT_EQ(c.correction, CSNTP_Client::ClockCorrection(c.t1, c.t2, c.t3, c.t4, &delay))
            << c.what;
        EXPECT_EQ(c.delay, delay) << c.what;
    }
}

TEST(SntpClient, StaysIdleUnlessConfiguredForUnicast) {
    CSNTP_Client client;
    EXPECT_EQ(0, client.Poll());
    EXPECT_EQ(5u, client.Countdown()) << "an idle client does not count";
    client.SetPollInterval(30);
    EXPECT_EQ(30u, client.Reload());
}

} // namespace
