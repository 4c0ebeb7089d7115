// CModemTask ("Modem Task"): the cellular IP modem's command port. The modem
// sits on the controller's Ethernet port at a fixed LAN address and offers
// its AT commands on TCP 2332 behind a password; this task runs the three
// dialogues over one telnet connection, each on a connection of its own:
//
//   identity       (event 0x01 from the front panel)  ATI3, ATI0, operator,
//                  phone number; the carrier is read from the operator reply
//   configuration  (event 0x08)  the common settings, a signal check (-95 dBm
//                  at worst), then provisioning (Verizon, Sprint) or the APN
//                  credentials (ATT); other carriers are not supported
//   signal         (event 0x80, the "Modem Timer": 60 s after creation, then
//                  every 25 s)  AT*NETRSSI? into modemRssi and the auxiliary
//                  I/O row "MODEM SIGNAL STRENGTH"
//
// Results go back as bits of "Modem Events" (table below), which the front
// panel waits for. The network start-up creates the task when bit 0x20 of
// halvFeatureSet is set.
#pragma once

#include "console/telnet.h"
#include "platform/kernel/kernel.h"
#include "runtime/peripheral.h"

#include <cstdint>

class CModemTask {
  public:
    // Bits of "Modem Events".
    enum : ULONG {
        RUN_IDENTITY = 0x01,
        NO_CONNECTION = 0x02,
        IDENTITY_DONE = 0x04,
        RUN_CONFIGURATION = 0x08,
        NO_SIGNAL = 0x10,
        CONFIGURATION_DONE = 0x20,
        COMMAND_FAILED = 0x40,
        READ_SIGNAL = 0x80,
        CARRIER_UNSUPPORTED = 0x100,
        NOT_CONFIRMED = 0x200,
    };
    // Dialogue results.
    enum : int {
        RESULT_OK = 0,
        RESULT_SEND_FAILED = 1,
        RESULT_NO_CONNECTION = 2,
        RESULT_UNSUPPORTED = 3,
        RESULT_NOT_CONFIRMED = 4,
        RESULT_NO_SIGNAL = 5,
    };
    enum : uint8_t {
        CARRIER_UNKNOWN = 0,
        CARRIER_VERIZON = 1,
        CARRIER_SPRINT = 2,
        CARRIER_ATT = 6,
    };
    // The modem's LAN address (192.168.13.31) and its command port.
    static const ULONG LAN_ADDRESS = 0xC0A80D1Fu;
    static const UINT COMMAND_PORT = 2332;
    static const int16_t NO_READING = -127;
    static const int16_t WEAKEST_USABLE = -95;
    static const uint32_t IDENTITY_BYTES = 35, MODEL_BYTES = 36, PHONE_BYTES = 30;

    CModemTask(TX_BYTE_POOL* stacks, NX_IP* ip, NX_PACKET_POOL* pool);
    virtual ~CModemTask();
    CModemTask(const CModemTask&) = delete;
    CModemTask& operator=(const CModemTask&) = delete;

    // Timer context: asks for a signal reading.
    static void TimerExpiry(ULONG input);
    const char* GetCarrierName() const;
    // 1 with the signal's quality text (French when asked), 0 without a
    // reading or outside the quality table.
    int GetSignalQualityText(bool french, const char** text);

    TX_EVENT_FLAGS_GROUP& Events() { return events_; }
    const char* Identity() const { return identity_; }
    const char* Model() const { return model_; }
    const char* PhoneNumber() const { return phone_; }
    uint8_t Carrier() const { return carrier_; }
    int16_t SignalStrength() const { return signal_; }
    int32_t AuxRow() const { return aux_row_; }

    int RunInfoScript();
    int RunConfigScript();
    int ReadSignalStrength();

    // Reply clean-up, on a NUL-terminated reply within its field. The echo
    // of `command` (its text and CR) is removed where the reply begins with it.
    static void StripEcho(char* reply, uint32_t size, const char* command);
    static void TrimReply(char* reply);
    // The carrier named by an operator reply (first row of the table wins).
    static uint8_t DetectCarrier(const char* operator_reply);
    // The number from the '-' on, within the text. -> false without a '-'
    // followed by digits, or for a value outside 16 bits.
    static bool ParseSignal(const char* reply, int16_t* value);

  private:
    static void ThreadEntry(ULONG input);
    void ThreadLoop();
    void Dispatch(ULONG events);
    bool Connect();
    void ReceiveGreeting();
    // Sends one command; the reply (printable bytes, CR, LF) replaces the
    // field when data came. -> false when the send failed.
    bool Exchange(const char* command, char* field, uint32_t size);
    bool ExchangeAll(const char* const* commands, uint32_t count);
    int ConfigureApn();
    int Provision();
    int Finish(int result);

    TX_EVENT_FLAGS_GROUP events_{};
    char identity_[IDENTITY_BYTES] = {};
    char model_[MODEL_BYTES] = {};
    uint8_t carrier_ = CARRIER_UNKNOWN;
    char phone_[PHONE_BYTES] = {};
    int16_t signal_ = NO_READING;
    int32_t aux_row_ = NO_ROW;
    bool aux_registered_ = false;
    TX_MUTEX mutex_{};
    bool mutex_ready_ = false;
    TX_THREAD thread_{};
    bool thread_ready_ = false;
    TX_TIMER timer_{};
    bool timer_ready_ = false;
    bool events_ready_ = false;
    CTelnetClient telnet_;
    void* stack_ = nullptr;
};

// The cellular-modem task, null unless the network start-up created it.
extern CModemTask* cellular_modem_task;
