// Small on-chip and board pieces: GPIO port 0, the UART set-up record, the
// board temperature and the word that gives the monitor's entry.
#include "platform/board/onchip.h"
#include "platform/board/uart.h"

#include <mutex>

namespace board {

namespace {

struct OnChip {
    std::mutex m;
    uint32_t gpio_out = 0;
    uint32_t gpio_in = 0;
    std::function<void(uint32_t, uint32_t)> gpio_observer;
    GpioListener* gpio_listener = nullptr;
    UartSetup uart[2];
    int temperature = 25;
};

OnChip& chip() {
    static OnChip c;
    return c;
}

} // namespace

uint32_t gpio_outputs() {
    std::lock_guard<std::mutex> lock(chip().m);
    return chip().gpio_out;
}

uint32_t gpio_inputs() {
    std::lock_guard<std::mutex> lock(chip().m);
    return chip().gpio_in;
}

void gpio_set_inputs(uint32_t mask, uint32_t value) {
    std::lock_guard<std::mutex> lock(chip().m);
    chip().gpio_in = (chip().gpio_in & ~mask) | (value & mask);
}

void gpio_write_outputs(uint32_t set_mask, uint32_t clear_mask) {
    std::function<void(uint32_t, uint32_t)> observer;
    GpioListener* listener;
    uint32_t before, after;
    {
        std::lock_guard<std::mutex> lock(chip().m);
        before = chip().gpio_out;
        after = (before & ~clear_mask) | set_mask;
        if (before == after) return;
        chip().gpio_out = after;
        if (chip().gpio_observer) observer = chip().gpio_observer;
        listener = chip().gpio_listener;
    }
    if (observer) observer(before, after);
    if (listener != nullptr) listener->OutputsChanged(before, after);
}

void gpio_listen(GpioListener* listener) {
    std::lock_guard<std::mutex> lock(chip().m);
    chip().gpio_listener = listener;
}

// The registers are 32-bit words; a narrower access reaches the bytes of the
// word big-endian, as on the board.
uint32_t Gpio0Registers::Read(uint32_t offset, int width) {
    uint32_t word_at = offset & ~3u;
    uint32_t word = word_at == kOutput ? gpio_outputs() : word_at == kInput ? gpio_inputs() : 0;
    if (width == 4) return word;
    uint32_t shift = 8 * (4 - width - (offset & 3));
    return (word >> shift) & ((1u << (8 * width)) - 1);
}

void Gpio0Registers::Write(uint32_t offset, int width, uint32_t value) {
    if ((offset & ~3u) != kOutput) return; // the input register is read-only
    uint32_t mask = width == 4 ? 0xFFFFFFFFu : ((1u << (8 * width)) - 1);
    uint32_t shift = width == 4 ? 0 : 8 * (4 - width - (offset & 3));
    gpio_write_outputs((value & mask) << shift, ~(value & mask) << shift & (mask << shift));
}

void gpio_on_output_change(std::function<void(uint32_t before, uint32_t after)> observer) {
    std::lock_guard<std::mutex> lock(chip().m);
    chip().gpio_observer = std::move(observer);
}

UartSetup uart_setup(int port) {
    std::lock_guard<std::mutex> lock(chip().m);
    return port == 0 || port == 1 ? chip().uart[port] : UartSetup();
}

void record_uart_setup(int port, const UartSetup& setup) {
    {
        std::lock_guard<std::mutex> lock(chip().m);
        if (port == 0 || port == 1) chip().uart[port] = setup;
    }
    if (Uart16550* uart = uart_model(port)) uart->Setup(setup);
}

int board_temperature() {
    std::lock_guard<std::mutex> lock(chip().m);
    return chip().temperature;
}

void set_board_temperature(int degrees) {
    std::lock_guard<std::mutex> lock(chip().m);
    chip().temperature = degrees;
}

void onchip_reset() {
    std::lock_guard<std::mutex> lock(chip().m);
    chip().gpio_out = chip().gpio_in = 0;
    chip().gpio_observer = nullptr;
    chip().gpio_listener = nullptr;
    chip().uart[0] = chip().uart[1] = UartSetup();
}

uint32_t MonitorEntryWord::Read(uint32_t offset, int width) {
    uint32_t word = kMonitorEntry;
    if (width == 4 && offset == 0) return word;
    uint32_t v = 0;
    for (int i = 0; i < width; ++i) {
        uint32_t at = offset + i;
        v = (v << 8) | (at < 4 ? (word >> (24 - 8 * at)) & 0xFF : 0xFF);
    }
    return v;
}

} // namespace board
