#include "comm/net/sntp_client.h"

#include "runtime/console.h"
#include "store/database.h"

#include <cstring>

namespace {

const uint32_t FRACTION_BASE = 0x1A1367BC;
const uint8_t MODE_SERVER = 4;

uint32_t be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

void put_be32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

bool same_time(const uint8_t* a, const uint8_t* b) {
    return std::memcmp(a, b, 8) == 0;
}

bool zero_time(const uint8_t* t) {
    static const uint8_t zero[8] = {};
    return same_time(t, zero);
}

} // namespace

void CSNTP_Client::CreateSocket(NX_IP* ip, NX_PACKET_POOL* pool) {
    udp_client_initialize(&socket_, ip, pool);
}

void CSNTP_Client::Configure(uint8_t mode, uint32_t server) {
    mode_ = mode;
    server_ = server;
    udp_client_configure(&socket_, NTP_PORT, server, NTP_PORT);
}

void CSNTP_Client::Start(NX_IP* ip, NX_PACKET_POOL* pool, uint32_t server) {
    CreateSocket(ip, pool);
    Configure(MODE_UNICAST, server);
    random_ ^= tx_time_get();
}

void CSNTP_Client::SetPollInterval(uint32_t steps) {
    countdown_ = steps;
    reload_ = steps;
}

void CSNTP_Client::TaskStep(uint32_t poll_minutes) {
    if (poll_stage_ == 0) {
        SetPollInterval(FIRST_INTERVAL);
        poll_stage_ = 1;
    }
    if (!Poll()) return;
    SetPollInterval(poll_minutes * STEPS_PER_MINUTE);
    poll_stage_ = 2;
}

int CSNTP_Client::Poll() {
    if (mode_ != MODE_UNICAST) return 0;
    if (countdown_ == 0) {
        SendRequest(db_get_time());
        countdown_ = reload_;
    } else {
        countdown_--;
    }
    return ProcessResponse();
}

void CSNTP_Client::BuildRequest(uint32_t now, uint32_t fraction, uint8_t* packet) {
    std::memset(packet, 0, PACKET_BYTES);
    packet[0] = REQUEST_FIRST_BYTE;
    put_be32(packet + TRANSMIT, now + NTP_ERA_OFFSET);
    put_be32(packet + TRANSMIT + 4, fraction);
    std::memcpy(packet + ORIGINATE, packet + TRANSMIT, 8);
}

void CSNTP_Client::SendRequest(uint32_t now) {
    // A fresh fraction in each request tells its reply from a stale one.
    random_ ^= random_ << 13;
    random_ ^= random_ >> 17;
    random_ ^= random_ << 5;
    std::memset(last_request_, 0, sizeof last_request_);
    BuildRequest(now, random_ + FRACTION_BASE, last_request_);
    udp_client_send_data(&socket_, last_request_, PACKET_BYTES);
}

bool CSNTP_Client::Acceptable(const uint8_t* reply, const uint8_t* last_request,
                              const uint8_t* last_reply) {
    return (reply[0] & 7) == MODE_SERVER && !same_time(reply + TRANSMIT, last_reply + TRANSMIT) &&
           same_time(reply + ORIGINATE, last_request + TRANSMIT) && !zero_time(reply + ORIGINATE) &&
           !zero_time(reply + RECEIVE) && be32(reply + TRANSMIT) != 0;
}

int32_t CSNTP_Client::ClockCorrection(uint32_t t1, uint32_t t2, uint32_t t3, uint32_t t4,
                                      int32_t* delay) {
    int32_t d = int32_t((t4 - t1) - (t3 - t2));
    if (d < 0) d = 0;
    int32_t offset = (int32_t(t2 - t1) + int32_t(t3 - t4)) / 2;
    if (delay) *delay = d;
    return offset + d / 2;
}

int CSNTP_Client::ProcessResponse() {
    const uint32_t t4 = db_get_time() + NTP_ERA_OFFSET;
    uint8_t reply[RECORD_BYTES] = {};
    if (udp_client_receive(&socket_, reply, PACKET_BYTES, NX_NO_WAIT) == 0) return 0;
    if (mode_ != MODE_UNICAST || (reply[0] & 7) != MODE_SERVER) return 0;
    const bool accepted = Acceptable(reply, last_request_, last_reply_);
    if (accepted) {
        const uint32_t t1 = be32(reply + ORIGINATE), t2 = be32(reply + RECEIVE),
                       t3 = be32(reply + TRANSMIT);
        int32_t correction = ClockCorrection(t1, t2, t3, t4, &delay_);
        trace_printf("NTP response_rec: %d sec, response_origin: %d sec, response_transmit: %d "
                     "sec, dest: %d sec\n",
                     int(t2), int(t1), int(t3), int(t4));
        trace_printf("NTP Clock Offset:%d sec,  Trip Delay: %d sec\n", int(correction - delay_ / 2),
                     int(delay_));
        db_set_time(db_get_time() + uint32_t(correction), DB_NOTIFY | DB_NO_TIME_WARNING);
    }
    std::memcpy(last_reply_, reply, sizeof last_reply_);
    return accepted ? 1 : 0;
}
