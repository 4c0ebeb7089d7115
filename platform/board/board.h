// Host side of the board: what device models, the host program and tests use
// to build the board behind the bus accessors of bus.h. Firmware code never
// includes this.
#pragma once

#include "platform/host_options.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace board {

// A device on the external bus. `offset` is relative to the mapped base;
// `width` is 1, 2 or 4 bytes; multi-byte registers are big-endian.
class BusDevice {
  public:
    virtual ~BusDevice() = default;
    virtual uint32_t Read(uint32_t offset, int width) = 0;
    virtual void Write(uint32_t offset, int width, uint32_t value) = 0;
};

// Map a device at [base, base + size). A later mapping that overlaps an
// earlier one wins (a full model replaces a placeholder). The device must
// outlive its mapping.
void bus_map(uint32_t base, uint32_t size, BusDevice* device);
void bus_unmap(BusDevice* device);

// A device on the device-control-register bus, DCRs [first, first + count).
class DcrDevice {
  public:
    virtual ~DcrDevice() = default;
    virtual uint32_t ReadDcr(uint32_t dcrn) = 0;
    virtual void WriteDcr(uint32_t dcrn, uint32_t value) = 0;
};
void dcr_map(uint32_t first, uint32_t count, DcrDevice* device);
void dcr_unmap(DcrDevice* device);

// A device behind the bus logic's SPI port (select 0: the CAN controller,
// select 1: the second device). Select(true) when the port selects it,
// Select(false) when it deselects it; Transfer clocks one byte each way.
class SpiDevice {
  public:
    virtual ~SpiDevice() = default;
    virtual void Select(bool selected) = 0;
    virtual uint8_t Transfer(uint8_t out) = 0;
};
void spi_attach(unsigned select, SpiDevice* device); // null detaches

// ---- UIC0 interrupt sources (bit k is the mask 1u << k, as in the registers) ----
// Drive source inputs: active means the level the polarity register names.
// Edge-triggered sources latch on the change to active; level-triggered ones
// stay pending while active.
void uic_set_input(uint32_t mask, bool active);
// An active pulse: latches the status of the sources whatever their trigger.
void uic_pulse(uint32_t mask);

// ---- GPIO port 0 ----
uint32_t gpio_outputs();
// Set the input register bits in `mask` to those of `value`.
void gpio_set_inputs(uint32_t mask, uint32_t value);
// Called (from the calling thread) after every change of the output register.
void gpio_on_output_change(std::function<void(uint32_t before, uint32_t after)> observer);

// ---- Display EPLD and the DMA that feeds it ----
// What the display EPLD puts out to the sign's modules: its state, and with
// each completed DMA transfer the frame's bytes (in the frame area; valid
// during the call only).
struct DisplayOutput {
    bool lit = false;       // false: an unconfigured EPLD shows nothing
    uint8_t format = 0;     // frame format code the EPLD reports
    uint8_t mode = 0;       // EPLD mode in force
    uint8_t brightness = 0; // percent
    uint16_t width = 0;     // frame geometry from the EPLD's registers
    uint16_t height = 0;
    const uint8_t* frame = nullptr; // null: only the state above changed
    uint32_t frame_bytes = 0;
};
// The far side of the EPLD (platform/field's display modules); called from
// the thread that wrote the register or started the transfer. Null detaches.
void display_output_attach(std::function<void(const DisplayOutput&)> sink);

// The frame format code the EPLD reports (0 unless the field names one).
void epld_set_format_code(uint8_t code);

// Faults of the EPLD model, for tests.
struct EpldFaults {
    long nstatus_low_at_byte = -1; // nSTATUS goes low once this byte (from 0) is shifted in
    bool conf_done_never = false;  // CONF_DONE never rises
    int loads = -1;                // the faults hit this many loads (nCONFIG rising); -1 all
};
void epld_set_faults(const EpldFaults& faults);
// The EPLD loses its configuration (CONF_DONE low, shows nothing).
void epld_lose_configuration();

struct EpldState {
    bool configured = false;
    uint32_t loads = 0;   // configurations begun (nCONFIG rising)
    uint64_t bits = 0;    // bits shifted in since the last nCONFIG pulse
    uint16_t control = 0; // register 0x0 as last written
    uint16_t width = 0, height = 0, refresh = 0;
    uint8_t head[32] = {}; // the first bytes of the image shifted in
};
EpldState epld_state();

// While held, a started DMA transfer does not complete (its terminal count
// stays clear); releasing completes the one last started.
void dma_hold(bool held);
uint32_t dma_completed_transfers();

// ---- UART set-up as the monitor recorded it, for the UART models ----
struct UartSetup {
    bool done = false;
    int baud = 0;
    int databits = 0;
    uint32_t options = 0;
};
UartSetup uart_setup(int port);
void record_uart_setup(int port, const UartSetup& setup);

// ---- The two 16550 UARTs (platform/board/uart.h) ----
// Modem inputs follow the line's peer (DCD, CTS and DSR high while a peer
// holds the line: always on a pseudo-terminal, while connected on TCP; RI
// low) unless set here or through the control socket state/uartN.ctl.
enum UartInput { UART_DCD = 0, UART_RI, UART_CTS, UART_DSR, UART_INPUTS };
struct ModemOutputs {
    bool dtr = false;
    bool rts = false;
};
// These reach the UART as host events (callable from any thread).
void uart_set_modem_input(int port, UartInput line, bool level);
void uart_follow_peer(int port);
// Bytes arriving from the line's far end.
void uart_line_receive(int port, const std::vector<uint8_t>& bytes);
ModemOutputs uart_modem_outputs(int port);
// An in-process far end: every load the UART sends reaches `peer` (in
// interrupt context; it must not call the kernel). Null detaches.
void uart_attach_peer(int port, std::function<void(const uint8_t*, size_t)> peer);
// A watcher of both directions of the line (the panel picture): every load
// sent (sent true) and every piece received from the far end (sent false),
// in interrupt context. It outlives board resets; null detaches.
void uart_attach_observer(int port,
                          std::function<void(bool sent, const uint8_t*, size_t)> observer);
// Sizes of the transmit loads sent so far (one per holding-register-empty
// cycle), and the bytes from the line not yet taken into the receive FIFO.
std::vector<uint32_t> uart_loads(int port);
size_t uart_queued_input(int port);
// Where the line is: the pseudo-terminal's path, or "tcp:PORT".
std::string uart_line_name(int port);

// ---- Clock/NV device ----
uint32_t clock_seconds();         // the global-time counter now
void set_clock_seconds(uint32_t); // as a write of the four registers
uint8_t early_restart_byte();

// ---- Real-time clock (what the monitor's RTC services read and set) ----
uint64_t rtc_seconds(); // UTC seconds since 1970
void set_rtc_seconds(uint64_t);

// ---- Board temperature (what the monitor reports) ----
int board_temperature();
void set_board_temperature(int degrees);

} // namespace board

namespace host {

// Build the board from the options: clock/NV device (file "clocknv.bin" in the
// state directory), real-time clock ("rtc.bin"), bus logic with the board id,
// UIC0, a placeholder for the UART0 scratch register, the monitor's entry word,
// GPIO port 0's registers, the display EPLD (unconfigured) and DMA channel 0.
// Creates the state directory when needed. Returns true, or false with the reason in `error`.
bool board_start(const HostOptions& options, std::string& error);
// Unmap everything and close the state files (tests; a restart in-process).
void board_stop();
// Tests: the board of `state_dir`, not running, as if it had been off for
// `seconds` longer: its real-time clock is that much further on at the next
// start, its global-time counter is not. False when there is no clock file.
bool board_power_off(const std::string& state_dir, uint32_t seconds);

} // namespace host
