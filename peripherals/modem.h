// CModem: the dial-up modem as a peripheral (class code 0x20). Created from
// the stored peripheral list like any other peripheral and polled every
// second pass of the peripheral task, it runs the modem driver's periodic
// service, shows whether the modem answered its initialisation, and hangs a
// data call up after 5 minutes without an SNMP request.
//
//   91  "INTERNAL DIALUP MODEM"  its own init string (caller ID on); clears
//       halvCommConfigParameters row 2 and restarts the controller when set
//   620 "EXTERNAL DIALUP MODEM"  parameters "PORT,INIT": INIT "MODEM" gives the
//       standard string, any other text is sent as it is (with its own CR)
//
// States: INIT ERROR (no driver), READING (driver set up), VALID (the modem
// answered), COMM ERROR (not ready for 10 polls in a row).
#pragma once

#include "runtime/peripheral.h"
#include "peripherals/peripheral_event.h"
#include "runtime/timer_scheduler.h"

#include <cstdint>

class CModemDriver_Dialup;

class CModem : public CPeripheral {
  public:
    static const uint8_t CLASS_CODE = 0x20;
    static const uint16_t ID_INTERNAL = 91;
    static const uint16_t ID_EXTERNAL = 620;
    static const uint8_t SILENT_POLL_LIMIT = 10;
    static const uint32_t INACTIVITY_TICKS = 30000; // 5 minutes
    static const uint32_t HANG_UP_TIMER = 0;        // the inactivity timer's argument

    explicit CModem(uint16_t id);
    // Destroys the driver and removes the inactivity timer.
    ~CModem() override;

    // The creation of class 0x20 (the factory row's Create_Modem): the port
    // is the low byte of the first field, the init text the second field.
    // -> the enabled modem, or null when its initialisation failed.
    static CPeripheral* Create(const PeripheralRecord& record);
    // 91 and 620 to their names (null for another id) and back (0 when none).
    static const char* GetName(uint16_t id);
    static uint16_t GetType(const char* name);

    bool Init(uint8_t port, const char* init_text);
    // The factory's start: Init with the creation string's port and text.
    bool Init() override { return Init(port_, init_text_); }
    void Poll() override;
    void OnTimer(uint32_t argument) override;
    // The driver's state byte, 0 without a driver.
    uint8_t GetDriverState() const;
    CModemDriver_Dialup* Driver() const { return driver_; }

  private:
    void FollowDriver();
    void WatchInactivity();
    void ClearDialBackParameters();

    static const uint32_t INIT_TEXT_BYTES = 40;

    uint8_t port_ = 0;
    char init_text_[INIT_TEXT_BYTES + 1] = {};
    CModemDriver_Dialup* driver_ = nullptr;
    uint8_t silent_polls_ = 0;
    uint8_t timer_armed_ = 0;
    uint32_t timer_id_ = 0;
    volatile uint8_t hang_up_requested_ = 0;
};
