// Serial port 1 as far as the LCD driver sees it: the bytes go to a panel
// model, for a front-panel manager built by a test on its own.
#pragma once

#include "comm/drivers/serial_driver.h"
#include "platform/field/panel_lcd.h"

#include <cstdint>

namespace test_support {

class PanelPort : public CSerialDriver {
  public:
    bool WriteByte(uint8_t byte) override {
        panel.Feed(&byte, 1);
        return true;
    }
    bool ReadByte(int* out) override {
        *out = -1;
        return false;
    }
    bool Open(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) override { return true; }
    bool SetBaudRate(uint32_t) override { return true; }
    field::PanelLcd panel;
};

} // namespace test_support
