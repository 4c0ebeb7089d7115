// Telnet server and client of the firmware: small wrappers over the network
// stack's Telnet add-ons with a simple state and 1/0 results.
//
// The server carries the maintenance console: every connection, data and end
// event goes to one event hook, whose reply (when it gives one) is sent back
// on the connection. The client reaches a modem's command port.
#pragma once

#include "platform/netstack/telnet_addon.h"

#include <cstdint>

// The telnet form of console text: every line feed becomes carriage return
// and line feed, and every 0xFF byte (the telnet command escape) is doubled so
// that it arrives as data; NULs pass. -> the bytes written into `out`, or -1
// when they do not fit `size`.
int telnet_encode_text(const char* text, uint32_t length, char* out, uint32_t size);

// Event hook of the server: -> 0 (with an optional reply text and length) or
// nonzero to refuse the event.
typedef int (*telnet_hook_fn)(int event, UINT connection, const uint8_t* data, uint32_t length,
                              const char** reply, uint32_t* reply_length);

class CTelnetServer {
  public:
    enum : uint8_t { CONSTRUCTED = 0, DELETED = 1, CREATED = 2, STOPPED = 3, STARTED = 4 };
    enum : int { EVENT_END = 1, EVENT_NEW = 2, EVENT_DATA = 3 };
    static constexpr ULONG STACK_BYTES = 2048;
    static constexpr ULONG SEND_WAIT = 100;

    CTelnetServer(NX_IP* ip, NX_PACKET_POOL* pool, TX_BYTE_POOL* stacks);
    virtual ~CTelnetServer();
    CTelnetServer(const CTelnetServer&) = delete;
    CTelnetServer& operator=(const CTelnetServer&) = delete;

    int Create();
    int Start();
    int Stop();
    int Delete();
    // Send without waiting. -> 1 sent (or dropped for want of a packet), 0 refused.
    int Send(UINT connection, const void* bytes, uint32_t length);
    // Close the connection `ticks` from now (0: never). -> 1 set, 0 refused.
    int SetDeadline(UINT connection, ULONG ticks);
    void SetEventHook(telnet_hook_fn hook);
    uint8_t State() const;
};

class CTelnetClient {
  public:
    enum : uint8_t { CONSTRUCTED = 0, DELETED = 1, CREATED = 2, DISCONNECTED = 3, CONNECTED = 4 };
    static constexpr ULONG WINDOW = 1000;
    static constexpr ULONG WAIT = 100;

    CTelnetClient(NX_IP* ip, NX_PACKET_POOL* pool);
    virtual ~CTelnetClient();
    CTelnetClient(const CTelnetClient&) = delete;
    CTelnetClient& operator=(const CTelnetClient&) = delete;

    int Create();
    int Connect(ULONG server_ip, UINT port);
    int Disconnect();
    int Send(const void* bytes, uint32_t length);
    // One packet within `wait` ticks: at most `size` bytes of it are kept.
    int Receive(void* buffer, uint32_t size, uint32_t* length, ULONG wait);
    int Delete();
    uint8_t State() const { return state_; }

  private:
    uint8_t state_ = CONSTRUCTED;
    NX_TELNET_CLIENT client_{};
    NX_IP* ip_;
    NX_PACKET_POOL* pool_;
};
