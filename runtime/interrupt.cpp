#include "runtime/interrupt.h"

#include "runtime/console.h"
#include "platform/board/bus.h"
#include "platform/kernel/kernel.h"

namespace {

struct registry_s {
    Interrupt* entry[32] = {};
    bool cleared = false;
    void (*ethernet[6])() = {};
    uint32_t all = 0;
    uint32_t ethernet_count = 0;
    uint32_t pulses = 0;
    uint8_t ethernet_activity = 0;
};

registry_s& registry() {
    static registry_s r;
    return r;
}

// The fixed Ethernet sources in the order they are served.
const uint32_t ETHERNET_SOURCES[6] = {ISR_MAL_SERR, ISR_MAL_TXEOB, ISR_MAL_RXEOB,
                                      ISR_MAL_TXDE, ISR_MAL_RXDE,  ISR_EMAC};

int lowest_bit(uint32_t mask) {
    for (int k = 0; k < 32; k++)
        if (mask & (1u << k)) return k;
    return -1;
}

void serve_ethernet(registry_s& r, uint32_t& status) {
    for (int i = 0; i < 6; i++) {
        if (!(status & ETHERNET_SOURCES[i])) continue;
        status &= ~ETHERNET_SOURCES[i];
        if (r.ethernet[i]) r.ethernet[i]();
        r.all++;
        r.ethernet_count++;
        r.ethernet_activity = 1;
    }
    dcr_write(DCR_UIC0_SR, ISR_ETHERNET_BITS);
}

// Source 0x2 is a pulse input: past the limit it is masked until its user
// enables it again.
void count_pulse(registry_s& r) {
    if (++r.pulses >= ISR_PULSE_LIMIT)
        dcr_write(DCR_UIC0_ER, dcr_read(DCR_UIC0_ER) & ~ISR_PULSE_SOURCE);
    dcr_write(DCR_UIC0_SR, ISR_PULSE_SOURCE);
}

} // namespace

Interrupt::Interrupt() {
    registry_s& r = registry();
    if (r.cleared) return;
    for (Interrupt*& e : r.entry)
        e = nullptr;
    r.cleared = true;
}

void isr_register(uint32_t mask, Interrupt* object) {
    int k = lowest_bit(mask);
    if (!object || k < 0) {
        console_printf("registering isr:0x%08X failed\n", mask);
        return;
    }
    CInterruptLock masked;
    registry().entry[k] = object;
}

void isr_unregister(uint32_t mask) {
    int k = lowest_bit(mask);
    if (k < 0) return;
    CInterruptLock masked;
    registry().entry[k] = nullptr;
}

Interrupt* isr_registered(uint32_t mask) {
    int k = lowest_bit(mask);
    return k < 0 ? nullptr : registry().entry[k];
}

void isr_set_ethernet_handler(uint32_t source, void (*handler)()) {
    for (int i = 0; i < 6; i++)
        if (ETHERNET_SOURCES[i] == source) registry().ethernet[i] = handler;
}

void isr_dispatch() {
    registry_s& r = registry();
    // A level source whose device nobody quietens would keep the masked status
    // set for ever and hold the processor in interrupt context; after a bounded
    // number of rounds it is left pending for the controller's next request.
    uint32_t status = dcr_read(DCR_UIC0_MSR);
    for (int round = 0; round < ISR_DISPATCH_ROUNDS && status != 0;
         round++, status = dcr_read(DCR_UIC0_MSR)) {
        serve_ethernet(r, status);
        if (status & ISR_PULSE_SOURCE) count_pulse(r);
        for (int k = 0; k < 32; k++) {
            uint32_t bit = 1u << k;
            if (!(status & bit)) continue;
            r.all++;
            if (r.entry[k]) r.entry[k]->handler();
            dcr_write(DCR_UIC0_SR, bit);
        }
    }
}

void isr_dispatch_masked() {
    CInterruptLock masked;
    isr_dispatch();
}

uint32_t isr_count_all() {
    return registry().all;
}
uint32_t isr_count_ethernet() {
    return registry().ethernet_count;
}
uint32_t isr_count_pulses() {
    return registry().pulses;
}
uint8_t isr_ethernet_activity() {
    return registry().ethernet_activity;
}
void isr_clear_ethernet_activity() {
    registry().ethernet_activity = 0;
}
void isr_reset_pulse_count() {
    registry().pulses = 0;
}
