// Who may act at the panel: a viewer on the web-LCD mirror (TCP 15002) and
// the panel on its link each log in for themselves. The panel's link carries
// a scripted panel, the mirror a host socket of the test; quick messages need
// a login and never spoil changeable message 500.
#include "frontpanel/manager.h"
#include "platform/field/panel_lcd.h"
#include "platform/monitor/monitor.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/comm/agent_net_util.h"
#include "tests/support/panel_session.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using test_support::PanelSession;
typedef std::vector<uint8_t> Bytes;

const UINT MIRROR_PORT = 15002;
const uint8_t CTRL = 0x01; // the keyboard's lock byte with Ctrl held
const uint16_t ROW_500 = 499;
const char OLD_TEXT[] = "KEEP ME";

Bytes keys(const std::string& digits, bool enter = false) {
    Bytes bytes;
    for (char digit : digits)
        bytes.push_back(field::panel_keypad_digit(digit));
    if (enter) bytes.push_back(field::PANEL_KEY_ENTER);
    return bytes;
}

Bytes function_key(uint8_t lock, int n) {
    field::Ps2Key key{};
    EXPECT_TRUE(field::ps2_function_key(n, key));
    return field::panel_keyboard_key(lock, key.scan, key.extended);
}

// A viewer on the mirror port.
class MirrorViewer {
  public:
    MirrorViewer() {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a = agent_test::loopback(agent_test::host_port(MIRROR_PORT));
        connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~MirrorViewer() { Close(); }
    bool Connected() const { return connected_; }
    void Send(const Bytes& bytes) { send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
    void Close() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }

  private:
    int fd_ = -1;
    bool connected_ = false;
};

class PanelAccess : public agent_test::NetworkedSign {
  protected:
    void SetUp() override {
        test_support::FirmwareFixture::SetUp(); // the panel from the start
        panel_.reset(new PanelSession);
        ASSERT_TRUE(panel_->WaitForRow(8, "LOGGED OUT", 40)) << panel_->Row(8);
        manager_ = PanelSession::Manager();
        ASSERT_NE(nullptr, manager_);
        tx_thread_sleep(1100); // the servers open ten seconds after start
        ASSERT_TRUE(manager_->MirrorActive());
        // Changeable message 500 holds a valid message of the operator's.
        set_row_500_status(6);
        db_set_string(obj::changeableMsgMultiString.row(ROW_500), OLD_TEXT, sizeof OLD_TEXT - 1,
                      DB_NOTIFY);
        set_row_500_status(7);
        ASSERT_EQ(4u, db_get(obj::changeableMsgStatus.row(ROW_500)));
    }
    void TearDown() override {
        panel_.reset();
        NetworkedSign::TearDown();
    }
    void set_row_500_status(uint32_t request) {
        db_set(obj::changeableMsgStatus.row(ROW_500), request, DB_NOTIFY);
        PanelSession::Polls(2);
    }
    // The viewer's bytes, once the panel has taken them and drawn what followed.
    void FromMirror(MirrorViewer& viewer, const Bytes& bytes) {
        const uint32_t before = manager_->MirrorBytesTaken();
        viewer.Send(bytes);
        EXPECT_TRUE(Within([&] { return manager_->MirrorBytesTaken() >= before + bytes.size(); }))
            << "the mirror's bytes did not arrive";
        PanelSession::Polls(2);
    }
    // Lets the firmware run half a poll at a time, the clock held a moment
    // each time while the host's sockets deliver, until `done` (at most
    // about ten host seconds).
    static bool Within(const std::function<bool()>& done) {
        for (int round = 0; round < 1000; ++round) {
            if (done()) return true;
            console_test::Peer hold(
                [] { std::this_thread::sleep_for(std::chrono::milliseconds(2)); });
            tx_thread_sleep(25);
        }
        return done();
    }
    std::string Screen() {
        std::string screen;
        for (int row = 1; row <= 8; ++row)
            screen += "\n|" + panel_->Row(row) + "|";
        return screen;
    }
    std::string Row500() {
        char text[256] = {};
        db_get_string_copy(obj::changeableMsgMultiString.row(ROW_500), text, sizeof text - 1);
        return text;
    }

    std::unique_ptr<PanelSession> panel_;
    CLCD_Manager* manager_ = nullptr;
};

TEST_F(PanelAccess, TheMirrorActsOnlyAfterItsOwnLogin) {
    MirrorViewer viewer;
    ASSERT_TRUE(viewer.Connected());

    // Logged out: Right opens the sign's picture, and a quick message is
    // refused there without touching message 500.
    FromMirror(viewer, {field::PANEL_KEY_RIGHT});
    FromMirror(viewer, function_key(CTRL, 1));
    FromMirror(viewer, function_key(0, 12));
    EXPECT_FALSE(manager_->LoggedIn());
    EXPECT_NE(MENU_MAIN, manager_->CurrentMenu()->Id()) << "F12 needs a login";
    EXPECT_EQ(OLD_TEXT, Row500());
    EXPECT_EQ(4u, db_get(obj::changeableMsgStatus.row(ROW_500)));
    FromMirror(viewer, {field::PANEL_KEY_ESCAPE});

    // The technician logs in at the panel: the viewer's keys do nothing.
    panel_->Send({0xFF, 0xB3});
    panel_->KeypadDigits("1234", true);
    ASSERT_TRUE(panel_->WaitForRow(1, "MAIN MENU")) << Screen();
    const CMenuItem* main_menu = manager_->CurrentMenu();
    FromMirror(viewer, keys("5"));
    FromMirror(viewer, function_key(0, 10));
    FromMirror(viewer, {field::PANEL_KEY_ESCAPE});
    EXPECT_EQ(main_menu, manager_->CurrentMenu()) << Screen();
    EXPECT_EQ(CLCD_Manager::SOURCE_PANEL, manager_->SessionSource());

    // Logged out again, the viewer types a wrong password, then the
    // operator's: it is logged in at the operator's level, and now the
    // panel's keys do nothing.
    panel_->Send({field::PANEL_KEY_ESCAPE}); // Escape on the main menu logs out
    ASSERT_TRUE(panel_->WaitForRow(8, "LOGGED OUT")) << Screen();
    panel_->Send({0xFF, 0xB3});
    FromMirror(viewer, keys("9999", true));
    EXPECT_FALSE(manager_->LoggedIn());
    FromMirror(viewer, {field::PANEL_KEY_ESCAPE});
    FromMirror(viewer, keys("4321", true));
    ASSERT_TRUE(manager_->LoggedIn()) << Screen();
    EXPECT_EQ(2, manager_->UserLevel());
    EXPECT_EQ(CLCD_Manager::SOURCE_MIRROR, manager_->SessionSource());
    const CMenuItem* mirror_menu = manager_->CurrentMenu();
    panel_->KeypadDigits("1", false);
    panel_->FunctionKey(10);
    PanelSession::Polls(2);
    EXPECT_EQ(mirror_menu, manager_->CurrentMenu()) << Screen();

    // Its login ends with its connection; a new viewer starts logged out.
    viewer.Close();
    EXPECT_TRUE(Within([this] { return !manager_->LoggedIn(); }));
    EXPECT_TRUE(panel_->WaitForRow(8, "LOGGED OUT")) << Screen();
    MirrorViewer next;
    ASSERT_TRUE(next.Connected());
    FromMirror(next, function_key(0, 12));
    EXPECT_FALSE(manager_->LoggedIn());
    EXPECT_NE(MENU_MAIN, manager_->CurrentMenu()->Id());
}

TEST_F(PanelAccess, AQuickMessageTheSignCannotShowLeavesMessage500AsItWas) {
    panel_->Send({0xFF, 0xB3});
    panel_->KeypadDigits("1234", true);
    ASSERT_TRUE(panel_->WaitForRow(1, "MAIN MENU")) << Screen();

    // A stock sign has none of the quick messages' graphics.
    panel_->Send(function_key(CTRL, 6));
    EXPECT_TRUE(panel_->WaitForRow(8, "QUICK MESSAGE REFUSED")) << Screen();
    EXPECT_EQ(OLD_TEXT, Row500());
    EXPECT_EQ(4u, db_get(obj::changeableMsgStatus.row(ROW_500)));

    // With them in flash the message is written and the run options open.
    for (const char* name : {"ArrowDouble3_27x48.bmp", "Blank_27x48.bmp"}) {
        const unsigned char bitmap[] = {'B', 'M', 0, 0};
        ASSERT_EQ(0, mon_tfsadd(name, nullptr, nullptr, bitmap, int(sizeof bitmap)));
    }
    panel_->Send(function_key(CTRL, 6));
    PanelSession::Polls(4);
    EXPECT_EQ("[pt6o0][ms11,g,0,0,ArrowDouble3_27x48.bmp][np][ms11,g,0,0,Blank_27x48.bmp]",
              Row500());
    EXPECT_EQ(4u, db_get(obj::changeableMsgStatus.row(ROW_500)));
}

} // namespace
