// The dial-up modem on the CCP serial port (port 0).
//
// CModemDriver is what the rest of the system sees of a modem: the CCP
// agents' reader hands it the bytes that arrive without carrier (its
// responses), trap delivery dials back and hangs up through it. It owns the
// command side of the line: to send a command it takes port 0 away from the
// "ccp_pmpp" and "ccp_ppp" agents and afterwards binds back the agent that
// halvCommConfigProtocol row 0 chooses (1 none, 2 or 3 PMPP, 4 or 5 PPP).
//
// CModemDriver_Dialup is the Hayes-command modem: its periodic service
// (one call per poll of the modem peripheral) sends the init string, waits
// for the numeric OK ("\r0\r") and resends the string every 32 services
// while none comes; once ready it reads caller-ID reports
// ("NMBR = 5551234\r") into halvObj9_1..halvObj9_3.
//
//   state 1 created   3 init string due   4 waiting for its OK   5 ready
#pragma once

#include "comm/drivers/serial_probe.h"

#include <cstdint>

class CSerialDriver;
class CRingBuffer;

class CModemDriver {
  public:
    // Modem-status events of the serial driver.
    enum : uint32_t { EVENT_RING = 0, EVENT_CARRIER = 1, EVENT_CARRIER_LOST = 2 };
    static const uint8_t CCP_PORT = 0;
    static const uint32_t DIAL_BUFFER_BYTES = 100;
    static const uint32_t INIT_STRING_BYTES = 40;

    CModemDriver() = default;
    virtual ~CModemDriver();
    CModemDriver(const CModemDriver&) = delete;
    CModemDriver& operator=(const CModemDriver&) = delete;

    virtual bool Initialize(uint16_t id, uint8_t port, const char* init_string);
    virtual void InitModem() {}
    // "ATDTW" and the number, with CR; a number that does not fit the
    // command buffer is refused on the console and not dialled.
    virtual void Dial(const char* number);
    virtual void Disconnect() {}
    virtual void Escape(); // "+++", no CR
    virtual void HangUp(); // "ATH0" with CR
    // Takes the line, writes the text (and a CR when asked), gives the line
    // back. -> false when the line could not be taken.
    virtual bool SendCommand(const char* text, bool append_cr);
    virtual bool IsReady() { return false; }
    virtual uint8_t GetState() { return 0; }
    // The CCP reader's side: a byte received without carrier.
    virtual void PushResponseByte(uint8_t byte) { (void)byte; }
    virtual bool IsBufferAlmostFull() { return false; }

    // Takes port 0 from the CCP agents. -> true when the driver was had.
    bool RequestAccess();
    // Releases port 0 and binds back the agent of the recorded protocol.
    bool ReleaseAccess();
    // The serial driver's modem-status callback (the argument is unused: one
    // modem at most is linked to the CCP port).
    static void NotifyEvent(uint32_t argument, uint32_t event);

    uint8_t Connected() const { return connected_; }
    uint8_t RingSeen() const { return ring_seen_; }
    uint16_t PeripheralId() const { return peripheral_id_; }

  protected:
    // Binds port 0 to the agent of the recorded protocol.
    bool BindAgent();
    void RestoreAfterRefusal();
    // What a carrier loss leaves to the next periodic service.
    virtual void OnCarrierLost() {}

    CSerialDriver* serial_driver_ = nullptr;
    CRingBuffer* responses_ = nullptr;
    uint16_t peripheral_id_ = 0;
    volatile uint8_t connected_ = 0;
    uint8_t port_ = CCP_PORT;
    uint8_t protocol_ = 0;
    char init_string_[INIT_STRING_BYTES] = {};
    serial_probe matcher_;
    volatile uint8_t ring_seen_ = 0;
    CSerialDriver* last_serial_driver_ = nullptr;
};

class CModemDriver_Dialup : public CModemDriver {
  public:
    enum : uint8_t { CREATED = 1, INIT_DUE = 3, INIT_SENT = 4, READY = 5 };
    static const uint32_t RESPONSE_RING_BYTES = 100;
    static const uint8_t INIT_WAIT_SERVICES = 29; // resend after 30 more services
    static const uint32_t ESCAPE_GUARD_TICKS = 200;
    static const uint32_t CALLER_NUMBER_BYTES = 11;

    CModemDriver_Dialup() = default;
    // Unlinks the driver from the CCP agents, then deletes the ring.
    ~CModemDriver_Dialup() override;

    bool Initialize(uint16_t id, uint8_t port, const char* init_string) override;
    void InitModem() override;
    void Disconnect() override; // escape, 2 s, hang up
    bool IsReady() override { return state_ >= READY; }
    uint8_t GetState() override { return state_; }
    void PushResponseByte(uint8_t byte) override;
    bool IsBufferAlmostFull() override;

    // One byte of a ready modem's output into the caller-ID parser.
    void ParseCallerId(uint8_t byte);

  protected:
    void OnCarrierLost() override { disconnect_due_ = 1; }

  private:
    void SendInitString();
    void AwaitInitResult();
    void ReadCallerId();
    uint32_t DrainResponses(uint8_t* bytes);
    void StoreCaller();

    uint8_t state_ = CREATED;
    uint8_t caller_state_ = 0;
    char caller_number_[CALLER_NUMBER_BYTES] = {};
    uint8_t caller_length_ = 0;
    uint8_t init_wait_ = 0;
    volatile uint8_t disconnect_due_ = 0;
};
