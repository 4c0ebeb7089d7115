// A front panel on the running firmware's serial port 1 (see panel_session.h).
#include "tests/support/panel_session.h"

#include "frontpanel/manager.h"
#include "peripherals/peripheral_task.h"
#include "platform/board/board.h"
#include "platform/kernel/kernel.h"

#include <algorithm>

namespace test_support {

namespace {

const int PANEL_PORT = 1;
const uint8_t PANEL_REVISION = 7;
const ULONG POLL_TICKS = 50;

} // namespace

PanelSession::PanelSession() {
    model_.Answer(PANEL_REVISION, [](const uint8_t* data, size_t size) {
        board::uart_line_receive(PANEL_PORT, std::vector<uint8_t>(data, data + size));
    });
    board::uart_attach_peer(PANEL_PORT, [this](const uint8_t* data, size_t size) {
        {
            std::lock_guard<std::mutex> lock(m_);
            sent_.insert(sent_.end(), data, data + size);
        }
        model_.Feed(data, size);
    });
}

PanelSession::~PanelSession() {
    board::uart_attach_peer(PANEL_PORT, nullptr);
}

CLCD_Manager* PanelSession::Manager() {
    CPeripheral* found = nullptr;
    if (!ThePeripheralTask().Find(CLCD_Manager::ID_LCD01, &found)) return nullptr;
    return static_cast<CLCD_Manager*>(found);
}

void PanelSession::Polls(unsigned polls) {
    tx_thread_sleep(POLL_TICKS * polls);
}

void PanelSession::Send(const std::vector<uint8_t>& bytes) {
    board::uart_line_receive(PANEL_PORT, bytes);
    Polls(1);
}

void PanelSession::KeypadDigits(const std::string& digits, bool enter) {
    std::vector<uint8_t> keys;
    for (char digit : digits)
        keys.push_back(field::panel_keypad_digit(digit));
    if (enter) keys.push_back(field::PANEL_KEY_ENTER);
    Send(keys);
}

void PanelSession::Report(uint8_t report) {
    Send(field::panel_report_bytes(report));
}

void PanelSession::FunctionKey(int n) {
    field::Ps2Key key{};
    if (field::ps2_function_key(n, key)) Send(field::panel_keyboard_key(0, key.scan, key.extended));
}

std::string PanelSession::Row(int row) {
    return model_.Screen().TextRow(row);
}

bool PanelSession::WaitForRow(int row, const std::string& text, unsigned polls) {
    for (unsigned i = 0; i <= polls; i++) {
        if (Row(row).find(text) != std::string::npos) return true;
        Polls(1);
    }
    return false;
}

std::vector<uint8_t> PanelSession::Sent() {
    std::lock_guard<std::mutex> lock(m_);
    return sent_;
}

bool PanelSession::SentContains(const std::vector<uint8_t>& bytes) {
    std::vector<uint8_t> sent = Sent();
    return std::search(sent.begin(), sent.end(), bytes.begin(), bytes.end()) != sent.end();
}

void PanelSession::ClearSent() {
    std::lock_guard<std::mutex> lock(m_);
    sent_.clear();
}

std::vector<uint8_t> TextAt(uint8_t column, uint8_t row, const std::string& text) {
    std::vector<uint8_t> bytes = {0xFE, 'G', column, row};
    bytes.insert(bytes.end(), text.begin(), text.end());
    return bytes;
}

} // namespace test_support
