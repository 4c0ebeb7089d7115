// A booted firmware with a panel on serial port 1, and the moves of an
// operator at it: switch to local mode and log in, open the item a list shows
// as "N) title", wait for a text on a row. Restarts are counted, not carried
// out.
#pragma once

#include "frontpanel/lcd.h"
#include "frontpanel/manager.h"
#include "platform/field/field.h"
#include "platform/field/panel_lcd.h"
#include "platform/kernel/kernel.h"
#include "tests/support/firmware_fixture.h"
#include "tests/support/panel_session.h"
#include "tests/support/png_reader.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace test_support {

// A rectangle command (colour 1) as it travels to the panel, data bytes escaped.
inline std::vector<uint8_t> RectCommand(uint8_t x1, uint8_t y1, uint8_t x2, uint8_t y2) {
    std::vector<uint8_t> bytes = {LCD_COMMAND, 'r'};
    for (uint8_t b : {uint8_t(1), x1, y1, x2, y2}) {
        if (b == LCD_COMMAND || b == LCD_ESCAPE) {
            bytes.push_back(LCD_ESCAPE);
            b ^= LCD_ESCAPE_XOR;
        }
        bytes.push_back(b);
    }
    return bytes;
}

// Opens the item a list shows as "N) title" once the panel shows it. -> found.
inline bool open_listed(PanelSession& panel, const std::string& title) {
    for (int poll = 0; poll < 20; ++poll) {
        for (int row = 2; row <= 7; ++row) {
            std::string text = panel.Row(row);
            if (text.find(") " + title) == 1) {
                panel.KeypadDigits(text.substr(0, 1), false);
                PanelSession::Polls(1);
                return true;
            }
        }
        PanelSession::Polls(1);
    }
    return false;
}

class PanelNavigation : public RestartCountingFixture {
  protected:
    PanelSession& Panel() {
        if (!panel_) {
            panel_.reset(new PanelSession);
            EXPECT_TRUE(panel_->WaitForRow(8, "LOGGED OUT", 40)) << panel_->Row(8);
        }
        return *panel_;
    }
    void LogIn(const std::string& digits) {
        Panel().Send({0xFF, 0xB3}); // local mode
        Panel().KeypadDigits(digits, true);
        PanelSession::Polls(1);
        ASSERT_TRUE(PanelSession::Manager()->LoggedIn()) << Panel().Row(4);
    }
    void Key(uint8_t key) { Panel().Send({key}); }
    // sign.png once the display has had `settle` ticks to draw.
    Picture SignPicture(uint32_t settle = 200) {
        tx_thread_sleep(settle);
        EXPECT_TRUE(host::sign_picture_flush());
        Picture picture;
        EXPECT_TRUE(ReadPng(StateDir() + "/sign.png", picture));
        return picture;
    }
    void Digits(const std::string& digits, bool enter = false) {
        Panel().KeypadDigits(digits, enter);
    }
    // Opens the item listed as "N) title" once the panel shows it.
    void Open(const std::string& title) {
        if (!open_listed(Panel(), title)) ADD_FAILURE() << "no row " << title << " on" << Screen();
    }
    void OpenPath(std::initializer_list<const char*> titles) {
        for (const char* title : titles)
            Open(title);
    }
    // The row of the current list that shows `title`, 0 when none.
    int RowOf(const std::string& title) {
        for (int row = 2; row <= 7; ++row)
            if (Panel().Row(row).find(") " + title) == 1) return row;
        return 0;
    }
    // The current list's row of `title` shows `suffix` at its end.
    bool ShowsAfter(const std::string& title, const std::string& suffix) {
        for (int poll = 0; poll < 10; ++poll) {
            int row = RowOf(title);
            std::string text = row ? Panel().Row(row) : "";
            size_t end = text.find_last_not_of(' ');
            if (end != std::string::npos && end + 1 >= suffix.size() &&
                text.compare(end + 1 - suffix.size(), suffix.size(), suffix) == 0)
                return true;
            PanelSession::Polls(1);
        }
        return false;
    }
    // Waits for `text` on `row`. -> found.
    bool Shows(int row, const std::string& text) { return Panel().WaitForRow(row, text, 20); }
    std::string Screen() {
        std::string screen;
        for (int row = 1; row <= 8; ++row)
            screen += "\n|" + Panel().Row(row) + "|";
        return screen;
    }

    std::unique_ptr<PanelSession> panel_;
};

} // namespace test_support
