#include "display/disp/bus_6120.h"

#include "platform/board/bus.h"

namespace disp {

bool bus_6120::attach_isr(const char* name, stream* framer, uint8_t mode) {
    mode_ = mode;
    if (!bus::attach(name, framer)) return false;
    if (mode_ == POLLED_MODE) {
        interrupt_dummy_.owner = this;
        return true;
    }
    logic_interrupt_.owner = this;
    isr_register(RECEIVE_SOURCE, &logic_interrupt_);
    dcr_write(DCR_UIC0_CR, dcr_read(DCR_UIC0_CR) & ~RECEIVE_SOURCE);
    dcr_write(DCR_UIC0_PR, dcr_read(DCR_UIC0_PR) | RECEIVE_SOURCE);
    dcr_write(DCR_UIC0_TR, dcr_read(DCR_UIC0_TR) & ~RECEIVE_SOURCE);
    dcr_write(DCR_UIC0_SR, RECEIVE_SOURCE);
    dcr_write(DCR_UIC0_ER, dcr_read(DCR_UIC0_ER) | RECEIVE_SOURCE);
    return true;
}

bool bus_6120::detach() {
    if (!bus::detach()) return false;
    if (mode_ == POLLED_MODE) {
        interrupt_dummy_.owner = nullptr;
        return true;
    }
    dcr_write(DCR_UIC0_ER, dcr_read(DCR_UIC0_ER) & ~RECEIVE_SOURCE);
    isr_unregister(RECEIVE_SOURCE);
    logic_interrupt_.owner = nullptr;
    return true;
}

} // namespace disp
