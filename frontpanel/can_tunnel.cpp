// The control panel's CAN tunnel: see can_tunnel.h.
#include "frontpanel/can_tunnel.h"

#include "frontpanel/lcd.h"
#include "frontpanel/lcd_view.h"
#include "frontpanel/manager.h"
#include "peripherals/can/can_bus.h"
#include "peripherals/can/can_networks.h"
#include "peripherals/peripheral_task.h"
#include "runtime/console.h"
#include "runtime/os.h"

#include <cstring>

namespace {

const uint8_t EXTENDED_MARK = 0x18; // SIDL: extended frame
const uint8_t STANDARD_REMOTE = 0x10;
const uint8_t LENGTH_CODE_MASK = 0x0F;

uint8_t bits(uint32_t value, unsigned high, unsigned low) {
    return uint8_t((value >> low) & ((1u << (high - low + 1)) - 1));
}

void frame_from_panel(uint32_t identifier, uint8_t length, const uint8_t* data) {
    the_can_cp_driver().Dispatch(identifier, 0, length, data);
}

} // namespace

int can_cp_driver::Initialize(uint32_t, uint32_t b, uint32_t) {
    extended_ = b != 0 ? 1 : 0;
    return 1;
}

size_t can_cp_driver::BuildFrame(uint32_t identifier, uint8_t flags, uint8_t length,
                                 const uint8_t* data, uint8_t (&frame)[FRAME_BYTES]) const {
    std::memset(frame, 0, sizeof frame);
    frame[0] = LCD_COMMAND;
    frame[1] = LCD_CAN_FRAME;
    const bool remote = (flags & CAN_FLAG_REMOTE) != 0;
    size_t at = 2;
    if (extended_) {
        frame[at++] = bits(identifier, 28, 21);
        frame[at++] =
            uint8_t(bits(identifier, 20, 18) << 5 | EXTENDED_MARK | bits(identifier, 17, 15));
        frame[at++] = bits(identifier, 14, 7);
        frame[at++] = uint8_t(bits(identifier, 6, 0) << 1 | (remote ? 1 : 0));
    } else {
        frame[at++] = bits(identifier, 10, 3);
        frame[at++] = uint8_t(bits(identifier, 2, 0) << 5 | (remote ? STANDARD_REMOTE : 0));
    }
    frame[at++] = length & LENGTH_CODE_MASK;
    if (data) std::memcpy(frame + at, data, can_clamp_length(length));
    return at + CAN_DATA_BYTES;
}

bool can_cp_driver::PanelCarriesTunnel(uint8_t first, uint8_t second) {
    return second >= MIN_REVISION && (first == 0 || first >= MIN_REVISION);
}

bool can_cp_driver::FindManager() {
    if (manager_) return true;
    CPeripheral* found = nullptr;
    if (ThePeripheralTask().Find(CLCD_Manager::ID_LCD01, &found))
        manager_ = dynamic_cast<CLCD_Manager*>(found);
    return manager_ != nullptr;
}

// The display task draws the sign image in one go; sleeping a tick at a
// time hands it the processor until it is done.
bool can_cp_driver::WaitForSignImage() {
    for (uint32_t tick = 0; TheSignImageDriver().Drawing(); ++tick) {
        if (tick == DRAWING_WAIT_TICKS) return false;
        os_sleep(1);
    }
    return true;
}

int can_cp_driver::Send(uint32_t identifier, uint8_t flags, uint8_t length, const uint8_t* data,
                        uint8_t channel) {
    if (channel != 0) return 0;
    uint8_t frame[FRAME_BYTES];
    const size_t size = BuildFrame(identifier, flags, length, data, frame);
    if (length > CAN_DATA_BYTES) {
        ++errors;
        trace_printf("can_cp_driver::WritePacket: frame of %u bytes dropped\n", unsigned(length));
        return 0;
    }
    if (!FindManager()) {
        ++errors;
        trace_printf("can_cp_driver::WritePacket: cannot find lcd_manager\n");
        return 0;
    }
    if (manager_->SecondRevision() == 0) {
        ++errors;
        trace_printf("can_cp_driver::WritePacket: error, no remote lcd\n");
        return 0;
    }
    if (!PanelCarriesTunnel(manager_->FirstRevision(), manager_->SecondRevision())) {
        ++errors;
        console_printf("can_cp_driver::WritePacket: error, old lcd rev\n");
        return 0;
    }
    if (!WaitForSignImage()) {
        ++errors;
        ++drawing_timeouts;
        console_printf("can_cp_driver::WritePacket: timeout\n");
        return 0;
    }
    ++frames_sent;
    manager_->Lcd().WriteCommand(frame, size);
    return 1;
}

void can_cp_driver::Dispatch(uint32_t identifier, uint8_t flags, uint8_t length,
                             const uint8_t* data) {
    if (length > CAN_DATA_BYTES) {
        ++errors;
        return;
    }
    Deliver(can_packet(identifier, flags, length, data));
}

can_cp_driver& the_can_cp_driver() {
    static can_cp_driver* driver = new can_cp_driver;
    return *driver;
}

void can_cp_driver_install() {
    can_set_panel_driver(&the_can_cp_driver());
    CLCD_Manager::SetCanFrameHandler(frame_from_panel);
}
