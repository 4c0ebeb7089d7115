// A front panel on the running firmware's serial port 1, for tests that drive
// the panel screens from their edge: the panel model answers the probe and
// the revision request, every byte the sign sends is kept, and the test
// presses keypad keys, sends panel reports and PS/2 keys, and reads the
// screen as the panel shows it.
#pragma once

#include "platform/field/panel_lcd.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

class CLCD_Manager;

namespace test_support {

class PanelSession {
  public:
    // Attaches the panel (revision 7) to serial port 1.
    PanelSession();
    ~PanelSession();
    PanelSession(const PanelSession&) = delete;
    PanelSession& operator=(const PanelSession&) = delete;

    // The live front-panel manager (LCD01), or null.
    static CLCD_Manager* Manager();

    // Lets `polls` passes of the peripheral task run (50 ticks each).
    static void Polls(unsigned polls);
    // Bytes from the panel to the sign; each call lets one poll pass.
    void Send(const std::vector<uint8_t>& bytes);
    // Keypad keys: the digits of `digits`, then Enter when asked.
    void KeypadDigits(const std::string& digits, bool enter);
    void Report(uint8_t report);
    // A function key F1-F12 on the PS/2 keyboard.
    void FunctionKey(int n);

    // Polls until `text` is on `row` (at most `polls` polls). -> found.
    bool WaitForRow(int row, const std::string& text, unsigned polls = 20);
    std::string Row(int row);
    field::PanelScreen Screen() { return model_.Screen(); }

    // Everything sent since the last ClearSent; whether it holds `bytes`.
    std::vector<uint8_t> Sent();
    bool SentContains(const std::vector<uint8_t>& bytes);
    void ClearSent();

  private:
    field::PanelLcd model_;
    std::mutex m_;
    std::vector<uint8_t> sent_;
};

// The bytes of a cursor move to (column, row) followed by `text`.
std::vector<uint8_t> TextAt(uint8_t column, uint8_t row, const std::string& text);

} // namespace test_support
