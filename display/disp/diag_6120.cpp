// The 6120 diagnostics' module scan and report decoding (see diag_6120.h).
#include "display/disp/diag_6120.h"

#include "display/disp/bus_6120.h"
#include "platform/board/bus.h"
#include "platform/kernel/kernel.h"
#include "runtime/console.h"

namespace disp {

namespace {

const uint8_t REPORT_MARKER = 0x01;
const uint16_t HALF_FLAG = 0x8000;
const uint32_t LOG_CHUNK = 64;
const uint32_t LOG_BYTES_PER_LINE = 16;

} // namespace

bool diag_6120::start_test(uint32_t argument) {
    if (!diagnostics::start_test(argument)) return false;
    if (config_->x_origin == 0 && config_->y_origin == 0) bus_write8(FPGA_STATUS, FPGA_START_SCAN);
    settle_ = SETTLE_STEPS;
    ready_ = finished_ = 0;
    scan_timeout_ = SCAN_TIMEOUT_STEPS;
    return true;
}

void diag_6120::step() {
    if (scan_timeout_ != 0) --scan_timeout_;
    if (ready_ && settle_ != 0) --settle_;
    print_receive_log();
    count_module_errors();
}

// The log is filled by the bus interrupt: each chunk is taken with external
// interrupts masked, and printed after.
void diag_6120::print_receive_log() {
    uint32_t printed = 0;
    for (;;) {
        uint8_t chunk[LOG_CHUNK];
        uint32_t taken = 0;
        {
            CInterruptLock masked;
            while (taken < LOG_CHUNK && receive_log().pop(&chunk[taken]))
                ++taken;
        }
        if (taken == 0) return;
        for (uint32_t i = 0; i < taken; ++i, ++printed) {
            console_printf("%02X,", chunk[i]);
            if (printed % LOG_BYTES_PER_LINE == 0) console_printf("\n");
        }
    }
}

bool diag_6120::on_packet(const packet& received) {
    if (state_ < ATTACHED || !received.payload) return false;
    parse_state_ = WAIT_MARKER;
    for (uint32_t i = 0; i < received.length; ++i) {
        const uint8_t b = received.payload[i];
        switch (parse_state_) {
        case WAIT_MARKER:
            if (b == REPORT_MARKER) parse_state_ = HIGH_BYTE;
            break;
        case HIGH_BYTE:
            index_ = uint16_t(b << 8);
            parse_state_ = LOW_BYTE;
            break;
        default:
            index_ = uint16_t(index_ | b);
            parse_state_ = HIGH_BYTE;
            mark(index_);
            break;
        }
    }
    return true;
}

// A reported pixel inside this face's window, moved to face coordinates.
void diag_6120::mark(uint16_t index) {
    pixel p = index_to_xy(index);
    const uint32_t x0 = config_->x_origin, y0 = config_->y_origin;
    if (p.x < x0 || p.x >= x0 + config_->width || p.y < y0 || p.y >= y0 + config_->height) return;
    pixel inside(uint16_t(p.x - x0), uint16_t(p.y - y0), 1);
    errors_.set_pixel(inside);
    note_error_at(inside.x, inside.y);
}

pixel diag_6120::index_to_xy(uint16_t index) const {
    const uint32_t height = config_ ? config_->height : 0;
    const uint32_t module_height = config_ ? config_->module_height : 0;
    const uint32_t lines = module_height ? height / module_height : 0;
    if (height == 0 || lines == 0) return pixel(0xFFFF, 0xFFFF, 1);
    const uint32_t half = (index & HALF_FLAG) ? 1 : 0;
    const uint32_t k = uint16_t(2u * (index & 0x7FFFu));
    const uint32_t x = (k + half) / height;
    uint32_t line = 0;
    for (uint32_t v = 0; v < lines; ++v)
        if ((k - 2u * v) % (2u * lines) == 0) {
            line = v;
            break;
        }
    const uint32_t y = ((k % height) - line) / lines + module_height * line + half;
    return pixel(uint16_t(x), uint16_t(y), 1);
}

bool diag_6120::ready() {
    ready_ = scan_timeout_ == 0 || (bus_read8(FPGA_STATUS) & FPGA_READY) != 0;
    return ready_ != 0;
}

bool diag_6120::finished() {
    if (scan_timeout_ != 0) {
        if (!ready()) return false;
        if (settle_ == 0) {
            return_to_idle();
            finished_ = 1;
        }
        return finished_ != 0;
    }
    return_to_idle();
    finished_ = 1;
    settle_ = 0;
    return true;
}

} // namespace disp
