// Building the board from the host options.
#include "platform/board/board.h"
#include "platform/board/bus_logic.h"
#include "platform/board/can_controller.h"
#include "platform/board/display_bus.h"
#include "platform/board/display_epld.h"
#include "platform/board/emac_model.h"
#include "platform/board/clock_nv.h"
#include "platform/board/onchip.h"
#include "platform/board/rtc.h"
#include "platform/board/uic.h"
#include "platform/board/uart.h"
#include "platform/board/uart_line.h"
#include "platform/board/bus.h"
#include "platform/kernel/host.h"

#include <filesystem>
#include <system_error>

namespace board {

namespace {

const char* const RTC_FILE = "rtc.bin";

struct Board {
    ClockNvDevice clock;
    RealTimeClock rtc;
    BusLogic logic;
    Uart16550 uart[2] = {{0, UART0_UIC_SOURCE}, {1, UART1_UIC_SOURCE}};
    UartLine line[2];
    MonitorEntryWord entry;
    Gpio0Registers gpio0;
    DisplayEpld epld;
    DmaChannel0 dma{epld};
    bool started = false;
};

Board& the_board() {
    static Board b;
    return b;
}

} // namespace

Uart16550* uart_model(int port) {
    return port == 0 || port == 1 ? &the_board().uart[port] : nullptr;
}

void uart_set_modem_input(int port, UartInput line, bool level) {
    Uart16550* uart = uart_model(port);
    if (uart) host::raise_interrupt([uart, line, level] { uart->SetModemInput(line, level); });
}

void uart_follow_peer(int port) {
    Uart16550* uart = uart_model(port);
    if (uart) host::raise_interrupt([uart] { uart->FollowPeer(); });
}

void uart_line_receive(int port, const std::vector<uint8_t>& bytes) {
    Uart16550* uart = uart_model(port);
    if (uart) host::raise_interrupt([uart, bytes] { uart->LineReceive(bytes); });
}

ModemOutputs uart_modem_outputs(int port) {
    Uart16550* uart = uart_model(port);
    return uart ? uart->Outputs() : ModemOutputs();
}

void uart_attach_peer(int port, std::function<void(const uint8_t*, size_t)> peer) {
    if (Uart16550* uart = uart_model(port)) uart->SetPeer(std::move(peer));
}

void uart_attach_observer(int port,
                          std::function<void(bool sent, const uint8_t*, size_t)> observer) {
    if (Uart16550* uart = uart_model(port)) uart->SetObserver(std::move(observer));
}

std::vector<uint32_t> uart_loads(int port) {
    Uart16550* uart = uart_model(port);
    return uart ? uart->LoadSizes() : std::vector<uint32_t>();
}

size_t uart_queued_input(int port) {
    Uart16550* uart = uart_model(port);
    return uart ? uart->QueuedInput() : 0;
}

std::string uart_line_name(int port) {
    return port == 0 || port == 1 ? the_board().line[port].Name() : std::string();
}

void spi_attach(unsigned select, SpiDevice* device) {
    the_board().logic.Attach(select, device);
}

void uic_set_input(uint32_t mask, bool active) {
    uic0().SetInput(mask, active);
}
void uic_pulse(uint32_t mask) {
    uic0().Pulse(mask);
}

uint32_t clock_seconds() {
    return the_board().clock.Seconds();
}
void set_clock_seconds(uint32_t seconds) {
    the_board().clock.SetSeconds(seconds);
}
uint64_t rtc_seconds() {
    return the_board().rtc.Seconds();
}
void set_rtc_seconds(uint64_t seconds) {
    the_board().rtc.SetSeconds(seconds);
}
uint8_t early_restart_byte() {
    return the_board().clock.Byte(BUS_EARLY_RESTART - BUS_CLOCK_NV_BASE);
}

void display_output_attach(std::function<void(const DisplayOutput&)> sink) {
    the_board().epld.SetSink(std::move(sink));
}
void epld_set_format_code(uint8_t code) {
    the_board().epld.SetFormatCode(code);
}
void epld_set_faults(const EpldFaults& faults) {
    the_board().epld.SetFaults(faults);
}
void epld_lose_configuration() {
    the_board().epld.LoseConfiguration();
}
EpldState epld_state() {
    return the_board().epld.State();
}
void dma_hold(bool held) {
    the_board().dma.Hold(held);
}
uint32_t dma_completed_transfers() {
    return the_board().dma.Completed();
}

} // namespace board

uint8_t* board_frame_area() {
    return static_cast<uint8_t*>(host::board_ram_address(BOARD_FRAME_AREA_OFFSET));
}

void board_flush_data_cache() {}

namespace host {

bool board_start(const HostOptions& options, std::string& error) {
    board::Board& b = board::the_board();
    if (b.started) board_stop();
    std::error_code ec;
    std::filesystem::create_directories(options.state_dir, ec);
    if (ec) {
        error =
            "board: cannot create the state directory " + options.state_dir + ": " + ec.message();
        return false;
    }
    if (options.board_id < 0 || options.board_id > 15) {
        error = "board: the board id must be 0..15";
        return false;
    }
    if (!b.clock.Open(options.state_dir + "/clocknv.bin", error)) return false;
    if (!b.rtc.Open(options.state_dir + "/" + board::RTC_FILE, error)) {
        b.clock.Close();
        return false;
    }
    b.logic.SetBoardId(options.board_id);
    board::can_controller().PowerUp();
    b.logic.Attach(0, &board::can_controller());
    board::bus_map(BUS_CLOCK_NV_BASE, board::ClockNvDevice::kWindow, &b.clock);
    board::bus_map(BUS_LOGIC_LATCH, board::BusLogic::kWindow, &b.logic);
    for (int port = 0; port < 2; ++port) {
        b.uart[port].Reset(true);
        board::bus_map(port == 0 ? BUS_UART0 : BUS_UART1, board::Uart16550::kWindow, &b.uart[port]);
    }
    board::bus_map(BUS_MONITOR_ENTRY, 4, &b.entry);
    board::uic0().Reset();
    board::dcr_map(DCR_UIC0_SR, 9, &board::uic0());
    board::bus_map(BUS_GPIO0_OUTPUT, board::Gpio0Registers::kWindow, &b.gpio0);
    b.epld.Reset();
    board::gpio_listen(&b.epld);
    board::bus_map(BUS_DISPLAY_EPLD, board::DisplayEpld::kWindow, &b.epld);
    b.dma.Reset();
    board::dcr_map(DCR_DMA0_CR0, DCR_DMA0_SR - DCR_DMA0_CR0 + 1, &b.dma);
    board::display_bus().Reset();
    board::bus_map(board::DISPLAY_BUS_BASE, board::DisplayBusFpga::kWindow, &board::display_bus());
    board::ethernet_start(options.ethernet);
    for (int port = 0; port < 2; ++port) {
        if (!b.line[port].Start(port, &b.uart[port], options.state_dir, options.uart[port],
                                options.port_offset, error)) {
            board_stop();
            return false;
        }
        b.uart[port].Read(6, 1); // at power-up no modem change is pending
    }
    b.started = true;
    return true;
}

void board_stop() {
    board::Board& b = board::the_board();
    board::bus_unmap(&b.clock);
    board::bus_unmap(&b.logic);
    for (int port = 0; port < 2; ++port) {
        b.line[port].Stop();
        board::bus_unmap(&b.uart[port]);
        b.uart[port].Reset(false);
    }
    board::bus_unmap(&b.entry);
    board::bus_unmap(&b.gpio0);
    board::bus_unmap(&b.epld);
    board::dcr_unmap(&b.dma);
    board::bus_unmap(&board::display_bus());
    board::display_bus().Reset();
    board::ethernet_stop();
    board::dcr_unmap(&board::uic0());
    board::uic0().Reset();
    board::onchip_reset();
    b.epld.Reset();
    b.dma.Reset();
    b.clock.Close();
    b.rtc.Close();
    b.started = false;
}

bool board_power_off(const std::string& state_dir, uint32_t seconds) {
    return board::RealTimeClock::AgeFile(state_dir + "/" + board::RTC_FILE, seconds);
}

} // namespace host
