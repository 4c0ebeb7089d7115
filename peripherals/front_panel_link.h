// What the peripheral task asks of the front panel. The front-panel manager
// (peripheral 70, LCD01, class 0x1A) sits in a layer above the peripherals:
// it derives from CFrontPanelPeripheral, and the task reaches it only through
// these operations, found through the live registry. Until a manager is live
// every front-panel action of the task is skipped.
#pragma once

#include "peripherals/peripheral_ids.h"
#include "runtime/peripheral.h"

class CFrontPanelPeripheral : public CPeripheral {
  public:
    enum : uint8_t { JUSTIFY_LEFT = 2, JUSTIFY_CENTRE = 3, JUSTIFY_RIGHT = 4 };
    enum : uint8_t { INDICATOR_MODEM = 1 };

    using CPeripheral::CPeripheral;

    virtual void SetIndicator(uint8_t kind, uint8_t state) = 0;
    // A communication link received traffic: the panel's activity arrows.
    virtual void NotifyCommActivity() {}
    virtual void SetLocalIndicator(bool on) = 0;
    // The busy mark of the LCD driver.
    virtual void SetBusy() = 0;
    virtual void ClearBusy() = 0;
    virtual void ClearScreen() = 0;
    // The backlight on for `seconds` (0: until switched off), or off.
    virtual void SetBacklight(bool on, uint32_t seconds) = 0;
    // A text on row `row` (1-8) with a justify code.
    virtual void PrintLine(uint8_t row, const char* text, uint8_t justify) = 0;
    // Whether a key press may switch the backlight on.
    virtual void SetBacklightPermission(bool allowed) = 0;
    // The screen is drawn again at the next poll (the control mode changed).
    virtual void RequestRefresh() = 0;
    virtual void StartWebLCD() = 0;
    virtual void MarkMenusForReload() = 0;
};

// What the other tasks call: each finds LCD01 through the live registry
// (once found, it is kept) and does nothing while no manager is live. Any
// thread may call them; each stores a byte that the manager's poll reads.
// The receive paths of the central links call the first one.
void front_panel_notify_comm_activity();
void front_panel_set_indicator(uint8_t kind, uint8_t state);

// The Ethernet link indicator's states.
enum : uint8_t { FRONT_PANEL_ETHERNET_INDICATOR = 5, ETHERNET_LINK_UP = 1, ETHERNET_LINK_DOWN = 2 };
