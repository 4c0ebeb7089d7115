// CSNTP_Client: keeps the sign's global time in step with a time server by
// SNTP (version 3 requests, whole seconds) on a UDP client of its own, local
// port 123 to the server's port 123. The communication task polls it once a
// step: the first request leaves on the 31st step (about a minute after the
// network start), requests repeat every 31 steps until a reply is accepted,
// and then follow the poll time (halvNTPPollTime minutes).
//
// A reply is taken only when it comes from a server (mode 4), answers the
// last request (its originate time is that request's transmit time), is not
// the reply taken last, and carries non-zero originate, receive and transmit
// times. The clock then moves by the offset plus half the round-trip delay;
// a delay below zero (whole-second rounding gives -1) counts as 0.
#pragma once

#include "comm/net/clients.h"

#include <cstdint>

class CSNTP_Client {
  public:
    static const uint32_t NTP_ERA_OFFSET = 2208988800u; // 1900 to 1970, in seconds
    static const uint32_t PACKET_BYTES = 48;
    static const uint32_t RECORD_BYTES = 68; // a packet kept with 20 zero bytes after it
    static const UINT NTP_PORT = 123;
    static const uint8_t MODE_UNICAST = 2;
    static const uint8_t REQUEST_FIRST_BYTE = 0x1B; // no leap warning, version 3, client
    static const uint32_t FIRST_INTERVAL = 30;      // steps until the first request
    static const uint32_t STEPS_PER_MINUTE = 30;
    // Byte offsets of the timestamps in a packet.
    static const uint32_t ORIGINATE = 24, RECEIVE = 32, TRANSMIT = 40;

    CSNTP_Client() = default;
    virtual ~CSNTP_Client() = default;

    void CreateSocket(NX_IP* ip, NX_PACKET_POOL* pool);
    // Mode (2 unicast; any other keeps the client idle) and server address.
    void Configure(uint8_t mode, uint32_t server);
    // The network start-up: the socket and unicast to `server`.
    void Start(NX_IP* ip, NX_PACKET_POOL* pool, uint32_t server);
    void SetPollInterval(uint32_t steps);
    // One poll. -> 1 when a reply was accepted and the clock set.
    int Poll();
    // One step of the communication task with the poll time in minutes.
    void TaskStep(uint32_t poll_minutes);
    void SendRequest(uint32_t now);
    int ProcessResponse();

    // The request for global time `now` with `fraction` in its transmit
    // (and originate) timestamp.
    static void BuildRequest(uint32_t now, uint32_t fraction, uint8_t* packet);
    // Whether `reply` answers `last_request` and differs from `last_reply`.
    static bool Acceptable(const uint8_t* reply, const uint8_t* last_request,
                           const uint8_t* last_reply);
    // The seconds to move the clock by for the seconds of originate (t1),
    // receive (t2), transmit (t3) and destination (t4) time; `delay` gets the
    // round-trip delay (never below 0).
    static int32_t ClockCorrection(uint32_t t1, uint32_t t2, uint32_t t3, uint32_t t4,
                                   int32_t* delay);

    uint8_t Mode() const { return mode_; }
    uint32_t Countdown() const { return countdown_; }
    uint32_t Reload() const { return reload_; }
    const uint8_t* LastRequest() const { return last_request_; }

  private:
    uint32_t server_ = 0;
    uint8_t mode_ = 0;
    uint32_t countdown_ = 5;
    uint32_t reload_ = 2048;
    int32_t delay_ = 0;
    uint8_t last_request_[RECORD_BYTES] = {};
    uint8_t last_reply_[RECORD_BYTES] = {};
    udp_client socket_{};
    uint8_t poll_stage_ = 0; // 0 before the first step, 1 until a reply, 2 after
    uint32_t random_ = 0x1A1367BC;
};
