// The serial port driver on the board's 16550 UART models: rings, FIFO loads,
// RTS/DTR modes, carrier gating and the modem-status reports, driven from the
// far end of the line.
#include "comm/drivers/serial_driver.h"
#include "platform/board/board.h"
#include "platform/board/bus.h"
#include "runtime/interrupt.h"
#include "tests/support/kernel_fixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

namespace {

class SerialDriverTest : public test_support::KernelFixture {
  protected:
    void SetUp() override {
        KernelFixture::SetUp();
        char tmpl[] = "/tmp/serial_test_XXXXXX";
        options_.state_dir = mkdtemp(tmpl);
        std::string error;
        ASSERT_TRUE(host::board_start(options_, error)) << error;
        board_set_external_interrupt_handler(isr_dispatch_masked);
        board::uart_attach_peer(0, [this](const uint8_t* data, size_t size) {
            sent_.insert(sent_.end(), data, data + size);
        });
    }
    void TearDown() override {
        host::board_stop();
        std::filesystem::remove_all(options_.state_dir);
    }
    void Arrive(const std::vector<uint8_t>& bytes) {
        board::uart_line_receive(0, bytes);
        host::run_until_idle();
    }
    void Modem(board::UartInput line, bool level) {
        board::uart_set_modem_input(0, line, level);
        host::run_until_idle();
    }
    std::vector<int> ReadAll(CJ6SerialDriver& driver) {
        std::vector<int> got;
        int byte;
        while (driver.ReadByte(&byte))
            got.push_back(byte);
        return got;
    }

    host::HostOptions options_;
    std::vector<uint8_t> sent_;
};

TEST(RingBuffer, QuarterMarksAndWrapAround) {
    CRingBuffer ring(4);
    uint8_t b;
    EXPECT_FALSE(ring.Pop(b));
    ring.Push(1);
    EXPECT_TRUE(ring.IsAlmostEmpty()); // 1 <= 1
    ring.Push(2);
    ring.Push(3);
    EXPECT_TRUE(ring.IsAlmostFull()); // 3 >= 3
    EXPECT_TRUE(ring.Push(4));
    EXPECT_FALSE(ring.Push(5)); // full: dropped
    for (uint8_t want = 1; want <= 3; want++) {
        ASSERT_TRUE(ring.Pop(b));
        EXPECT_EQ(want, b);
    }
    ring.Push(6); // wraps to index 0
    ASSERT_TRUE(ring.Pop(b));
    EXPECT_EQ(4, b);
    ASSERT_TRUE(ring.Pop(b));
    EXPECT_EQ(6, b);
}

TEST(SerialOptions, OptionWordsChooseTheLineModes) {
    struct row {
        uint32_t options, flow;
        uint8_t rts_mode;
        bool rts_high;
        uint8_t dtr_mode;
        bool dtr_high;
    } rows[] = {
        {0x1821, 0, 3, false, 0, false}, {0x5221, 0, 1, true, 1, true},
        {0x5421, 0, 2, false, 1, true},  {0x5421, 2, 5, false, 1, true},
        {0x5021, 1, 4, true, 1, true},   {0x3121, 0, 0, false, 0, false},
        {0x1021, 0, 3, false, 0, false}, {0x9021, 0, 3, false, 0xFF, false},
    };
    for (const row& r : rows) {
        serial_line_modes m = serial_decode_options(r.options, r.flow);
        EXPECT_EQ(r.rts_mode, m.rts_mode) << std::hex << r.options << " flow " << r.flow;
        EXPECT_EQ(r.rts_high, m.rts_high) << std::hex << r.options;
        EXPECT_EQ(r.dtr_mode, m.dtr_mode) << std::hex << r.options;
        EXPECT_EQ(r.dtr_high, m.dtr_high) << std::hex << r.options;
    }
}

TEST_F(SerialDriverTest, BytesBothWaysThroughTheInterrupt) {
    CJ6SerialDriver driver;
    ASSERT_TRUE(driver.Open(0, 9600, 8, 0x1821, 0, 64));
    int byte = 0;
    EXPECT_FALSE(driver.ReadByte(&byte));
    EXPECT_EQ(-1, byte);
    static int wakes;
    wakes = 0;
    driver.SetRxCallback([](uint32_t a, uint32_t b) { wakes += int(a + b); }, 1, 0);
    Arrive({'h', 'e', 'l', 'l', 'o'});
    EXPECT_EQ((std::vector<int>{'h', 'e', 'l', 'l', 'o'}), ReadAll(driver));
    EXPECT_EQ(5, wakes);
    EXPECT_TRUE(driver.WriteString("ok"));
    host::run_until_idle();
    EXPECT_EQ((std::vector<uint8_t>{'o', 'k'}), sent_);
}

TEST_F(SerialDriverTest, SixteenBytesAFifoLoadTheSeventeenthWaitsForTheNextEmptyInterrupt) {
    CJ6SerialDriver driver;
    ASSERT_TRUE(driver.Open(0, 9600, 8, 0x1821, 0, 64));
    std::vector<uint8_t> data(17);
    for (size_t i = 0; i < data.size(); i++)
        data[i] = uint8_t(i);
    {
        CInterruptLock masked; // queued while the UART is idle
        ASSERT_TRUE(driver.Write(data.data(), uint32_t(data.size())));
    }
    host::run_until_idle();
    EXPECT_EQ((std::vector<uint32_t>{16, 1}), board::uart_loads(0));
    EXPECT_EQ(data, sent_);
    EXPECT_TRUE(board::uart_modem_outputs(0).rts); // mode 3: high when idle again
}

// A block larger than the transmit ring is queued as the ring empties: every
// byte leaves, in order, in loads no larger than the FIFO.
TEST_F(SerialDriverTest, ABlockLargerThanTheRingArrivesWholeInFifoLoads) {
    CJ6SerialDriver driver;
    ASSERT_TRUE(driver.Open(0, 9600, 8, 0x1821, 0, 64));
    std::vector<uint8_t> data(300);
    for (size_t i = 0; i < data.size(); i++)
        data[i] = uint8_t(i * 7);
    ASSERT_TRUE(driver.Write(data.data(), uint32_t(data.size())));
    ASSERT_TRUE(driver.WriteString("end"));
    host::run_until_idle();
    data.insert(data.end(), {'e', 'n', 'd'});
    EXPECT_EQ(data, sent_);
    for (uint32_t load : board::uart_loads(0))
        EXPECT_LE(load, 16u);
}

TEST_F(SerialDriverTest, HardwareFlowControlBothWays) {
    CJ6SerialDriver driver;
    ASSERT_TRUE(driver.Open(0, 9600, 8, 0x5021, 1, 8)); // RTS mode 4
    EXPECT_EQ(4, driver.RtsMode());
    EXPECT_TRUE(board::uart_modem_outputs(0).rts);
    Arrive({1, 2, 3, 4, 5});
    EXPECT_TRUE(board::uart_modem_outputs(0).rts); // 5 < 6
    Arrive({6});
    EXPECT_FALSE(board::uart_modem_outputs(0).rts); // three quarters of 8
    int byte;
    for (int i = 0; i < 3; i++)
        driver.ReadByte(&byte);
    EXPECT_FALSE(board::uart_modem_outputs(0).rts); // 3 left
    driver.ReadByte(&byte);
    EXPECT_TRUE(board::uart_modem_outputs(0).rts); // 2 left: a quarter

    Modem(board::UART_CTS, false);
    driver.WriteString("abc");
    host::run_until_idle();
    EXPECT_TRUE(sent_.empty()) << "CTS low holds the transmitter";
    Modem(board::UART_CTS, true);
    EXPECT_EQ((std::vector<uint8_t>{'a', 'b', 'c'}), sent_);
}

TEST_F(SerialDriverTest, HalfDuplexModeTakesBytesOnlyWithCarrier) {
    CJ6SerialDriver driver;
    ASSERT_TRUE(driver.Open(0, 9600, 8, 0x5421, 0, 64)); // RTS mode 2
    EXPECT_EQ(2, driver.RtsMode());
    Modem(board::UART_DCD, false);
    Arrive({1, 2, 3});
    EXPECT_TRUE(ReadAll(driver).empty());
    Modem(board::UART_DCD, true);
    Arrive({4});
    EXPECT_EQ((std::vector<int>{4}), ReadAll(driver));
    driver.WriteByte(9);
    host::run_until_idle();
    EXPECT_EQ((std::vector<uint8_t>{9}), sent_);
    EXPECT_FALSE(board::uart_modem_outputs(0).rts); // dropped after the trailing delay
}

TEST_F(SerialDriverTest, OwnLineControlOnPortZero) {
    CJ6SerialDriver driver;
    ASSERT_TRUE(driver.Open(0, 9600, 7, 0x1822, 0, 64));
    EXPECT_EQ(0x1A, bus_read8(BUS_UART0 + 3));
    ASSERT_TRUE(driver.Open(0, 9600, 8, 0x1823, 0, 64)); // 0x0001: no parity
    EXPECT_EQ(0x03, bus_read8(BUS_UART0 + 3));
}

TEST_F(SerialDriverTest, CarrierChangesReachTheModemStatusCallback) {
    CJ6SerialDriver driver;
    ASSERT_TRUE(driver.Open(0, 9600, 8, 0x1821, 0, 64));
    static std::vector<uint32_t> reports;
    reports.clear();
    driver.SetModemStatusCallback(7, [](uint32_t argument, uint32_t state) {
        EXPECT_EQ(7u, argument);
        reports.push_back(state);
    });
    Modem(board::UART_DCD, false);
    EXPECT_EQ((std::vector<uint32_t>{SERIAL_CARRIER_ABSENT}), reports);
    reports.clear();
    Modem(board::UART_DCD, true);
    EXPECT_EQ((std::vector<uint32_t>{SERIAL_CARRIER_PRESENT, SERIAL_CARRIER_PRESENT}), reports);
    EXPECT_TRUE(driver.IsDCD());
}

TEST_F(SerialDriverTest, RefusalsAndAPortWithoutAUart) {
    CJ6SerialDriver handshake;
    EXPECT_FALSE(handshake.Open(0, 9600, 8, 0x9021, 0, 64));
    EXPECT_FALSE(board::uart_modem_outputs(0).dtr);

    CJ6SerialDriver none;
    EXPECT_TRUE(none.Open(2, 9600, 8, 0x1821, 0, 64));
    EXPECT_FALSE(none.WriteByte(1));
    EXPECT_FALSE(none.IsDCD());
    EXPECT_FALSE(none.IsCTS());
}

TEST_F(SerialDriverTest, ReopeningKeepsTheRingsAndTheirBytes) {
    CJ6SerialDriver driver;
    ASSERT_TRUE(driver.Open(0, 9600, 8, 0x1821, 0, 64));
    Arrive({1, 2});
    ASSERT_TRUE(driver.Open(0, 19200, 8, 0x5221, 0, 999));
    EXPECT_EQ(64u, driver.GetRxSize());
    EXPECT_EQ((std::vector<int>{1, 2}), ReadAll(driver));
    Arrive({3});
    EXPECT_EQ((std::vector<int>{3}), ReadAll(driver)) << "the interrupt is registered again";
    EXPECT_EQ(19200, board::uart_setup(0).baud);
}

} // namespace
