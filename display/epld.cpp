// Passive-serial configuration of the display EPLD (see epld.h). The pins are
// driven through GPIO port 0's output register on the bus; the other outputs
// of the port keep their state.
#include "display/epld.h"

#include "runtime/console.h"
#include "platform/board/bus.h"

namespace {

const int NCONFIG_PULSE_LOOPS = 10000;
const long NSTATUS_RELEASE_READS = 10000000;

uint16_t& latch_shadow() {
    static uint16_t shadow = 0;
    return shadow;
}

bool& programmed_flag() {
    static bool programmed = false;
    return programmed;
}

// The port's output register as this load drives it.
class ConfigurationPins {
  public:
    ConfigurationPins() : out_(bus_read32(BUS_GPIO0_OUTPUT)) {}
    void Set(uint32_t pins) { Write((out_ | pins)); }
    void Clear(uint32_t pins) { Write(out_ & ~pins); }
    // DCLK low with the data bit, then DCLK high: the EPLD takes the bit on
    // the rising edge.
    void ClockBit(bool bit) {
        uint32_t low =
            (out_ & ~(GPIO_EPLD_DCLK | GPIO_EPLD_DATA)) | (bit ? uint32_t(GPIO_EPLD_DATA) : 0u);
        Write(low);
        Write(low | GPIO_EPLD_DCLK);
    }

  private:
    void Write(uint32_t value) {
        out_ = value;
        bus_write32(BUS_GPIO0_OUTPUT, value);
    }
    uint32_t out_;
};

bool wait_for_nstatus_release() {
    for (long i = 0; i < NSTATUS_RELEASE_READS; ++i)
        if (epld_read_nstatus()) return true;
    return false;
}

// The data bytes, with nSTATUS watched after each. -> false on an error.
bool shift_in(ConfigurationPins& pins, const uint8_t* data, uint32_t size) {
    for (uint32_t i = 0; i < size; ++i) {
        for (int bit = 0; bit < 8; ++bit)
            pins.ClockBit((data[i] >> bit) & 1);
        if (!epld_read_nstatus()) {
            epld_latch_write(LATCH_EPLD_LOAD_FAILED, 0);
            console_printf("EPLD Program Error 1:%d\n", static_cast<int>(i));
            return false;
        }
    }
    return true;
}

} // namespace

bool epld_read_nstatus() {
    return (bus_read32(BUS_GPIO0_INPUT) & GPIO_EPLD_NSTATUS) != 0;
}

bool epld_read_conf_done() {
    return (bus_read32(BUS_GPIO0_INPUT) & GPIO_EPLD_CONF_DONE) != 0;
}

uint16_t epld_latch_write(uint16_t set_mask, uint16_t clear_mask) {
    uint16_t& shadow = latch_shadow();
    shadow = static_cast<uint16_t>((shadow | set_mask) & ~clear_mask);
    bus_write16(BUS_LOGIC_LATCH, shadow);
    return shadow;
}

bool epld_programmed() {
    return programmed_flag();
}

void epld_set_programmed(bool programmed) {
    programmed_flag() = programmed;
}

bool ProgramEPLD(const uint8_t* data, uint32_t size) {
    ConfigurationPins pins;
    pins.Clear(GPIO_EPLD_DCLK);
    if (data == nullptr) {
        console_printf("ProgramEPLD: Null pointer error\n");
        return false;
    }
    pins.Clear(GPIO_EPLD_NCONFIG);
    for (volatile int i = 0; i < NCONFIG_PULSE_LOOPS; i = i + 1) {
    }
    pins.Set(GPIO_EPLD_NCONFIG);
    if (!wait_for_nstatus_release())
        console_printf("ProgramEPLD: EPLD didn't release nStatus\n");
    else if (!shift_in(pins, data, size))
        return false;
    pins.Clear(GPIO_EPLD_DCLK);
    if (epld_read_conf_done()) {
        epld_latch_write(0, LATCH_EPLD_LOAD_FAILED);
        return true;
    }
    epld_latch_write(LATCH_EPLD_LOAD_FAILED, 0);
    console_printf("EPLD Program Error 2\n");
    return false;
}
