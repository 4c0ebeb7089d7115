// The panel picture: what the firmware sends on the front-panel port is drawn
// into panel.png in the state directory, whether or not a panel answers.
#include "comm/agents/ntcip_agents.h"
#include "comm/drivers/serial_driver.h"
#include "frontpanel/lcd.h"
#include "platform/field/field.h"
#include "platform/field/panel_lcd.h"
#include "tests/support/firmware_fixture.h"
#include "tests/support/png_reader.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <vector>

namespace {

class Owner : public CLCDOwner {
  public:
    uint8_t ReinitCountdown() const override { return 0; }
};

ino_t inode_of(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

class PanelPicture : public test_support::FirmwareFixture {};

TEST_F(PanelPicture, TheBytesSentOnThePanelPortDrawPanelPngOnlyWhenTheDotsChange) {
    Owner owner;
    CLCD lcd;
    ASSERT_EQ(0u, lcd.Init(&SerialPortDriver(1), &owner));
    lcd.Clear();
    lcd.Print(1, LCD_CENTRE, "** WELCOME TO THE MAIN MENU **");
    lcd.DrawIcon(LCD_ICON_RIGHT_ARROW);
    tx_thread_sleep(20);
    ASSERT_TRUE(host::panel_picture_flush());

    std::string path = host::panel_picture_path();
    EXPECT_EQ(StateDir() + "/panel.png", path);
    test_support::Picture picture;
    ASSERT_TRUE(test_support::ReadPng(path, picture));
    ASSERT_EQ(240, picture.width);
    ASSERT_EQ(64, picture.height);
    field::PanelScreen screen = field::panel_picture_model().Screen();
    EXPECT_EQ("** WELCOME TO THE MAIN MENU **", screen.TextRow(1).substr(5, 30));
    int lit = 0;
    for (int y = 0; y < 64; y++)
        for (int x = 0; x < 240; x++) {
            bool dark = picture.rgb[(size_t(y) * 240 + x) * 3] < 0x80;
            ASSERT_EQ(screen.Dot(x, y), dark) << x << "," << y;
            lit += dark;
        }
    const uint8_t* star = field::panel_glyph('*');
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 6; x++)
            EXPECT_EQ(bool(star[y] & (0x80 >> x)), screen.Dot(5 * 6 + x, y)) << "the first '*'";
    EXPECT_GT(lit, 100);

    ino_t written = inode_of(path);
    lcd.SendKeepAlive();
    lcd.SetLocalIndicator();
    lcd.Print(1, LCD_CENTRE, "** WELCOME TO THE MAIN MENU **");
    tx_thread_sleep(20);
    ASSERT_TRUE(host::panel_picture_flush());
    EXPECT_EQ(written, inode_of(path)) << "nothing changed on the dots: the file stays";

    // The file is written again (a new file may reuse the old one's inode
    // number, so its pixels tell): it shows the new dots.
    lcd.PrintLine(4, LCD_LEFT, "new");
    tx_thread_sleep(20);
    ASSERT_TRUE(host::panel_picture_flush());
    test_support::Picture again;
    ASSERT_TRUE(test_support::ReadPng(path, again));
    field::PanelScreen now = field::panel_picture_model().Screen();
    ASSERT_EQ(picture.rgb.size(), again.rgb.size());
    EXPECT_NE(picture.rgb, again.rgb);
    for (int y = 0; y < 64; y++)
        for (int x = 0; x < 240; x++)
            ASSERT_EQ(now.Dot(x, y), again.rgb[(size_t(y) * 240 + x) * 3] < 0x80) << x << "," << y;
}

TEST_F(PanelPicture, AnAttachedPanelAnswersAndThePictureReadsItsRevision) {
    field::PanelLcd& panel = host::panel_attach(7);
    CJ6SerialDriver& port = SerialPortDriver(1);
    Owner owner;
    CLCD lcd;
    ASSERT_EQ(0u, lcd.Init(&port, &owner));
    lcd.Probe();
    tx_thread_sleep(20);
    std::vector<uint8_t> answer;
    for (int byte = 0; port.ReadByte(&byte);)
        answer.push_back(uint8_t(byte));
    EXPECT_EQ((std::vector<uint8_t>{0xFF, 0xA7}), answer);
    EXPECT_EQ(7, field::panel_picture_model().Screen().first_revision);

    lcd.SetRevisions(7, 0);
    lcd.DrawIcon(LCD_ICON_RIGHT_ARROW);
    lcd.PrintRowCol(8, 2, "ok");
    tx_thread_sleep(20);
    field::PanelScreen attached = panel.Screen(), pictured = field::panel_picture_model().Screen();
    EXPECT_EQ(" ok", attached.TextRow(8).substr(0, 3));
    EXPECT_EQ(0, std::memcmp(attached.dots, pictured.dots, sizeof attached.dots));
    EXPECT_TRUE(pictured.Dot(232 + 3, 56 + 3)) << "the escaped 0xFF row of the arrow";
    host::panel_detach();
}

} // namespace
