// The interrupt registry: every external interrupt arrives through UIC0 on one
// vector. The Ethernet sources go to fixed handlers, source 0x2 is counted and
// throttled, and every other source goes to the object registered for its bit.
#pragma once

#include <cstdint>

// Base of every interrupt-driven driver; handler() runs in interrupt context
// with external interrupts masked and must be short.
class Interrupt {
  public:
    Interrupt(); // the first construction clears the registry
    virtual ~Interrupt() = default;
    virtual void handler() = 0;
};

// Store the object for the mask's lowest set bit (replacing any other);
// a null object or mask 0 prints "registering isr:0x%08X failed\n".
void isr_register(uint32_t mask, Interrupt* object);
void isr_unregister(uint32_t mask);
Interrupt* isr_registered(uint32_t mask);
// The dispatcher (interrupt context), and its masked form installed on the vector.
void isr_dispatch();
void isr_dispatch_masked();

// The fixed Ethernet sources and their handlers (the Ethernet driver installs them).
enum : uint32_t {
    ISR_MAL_SERR = 0x200000,
    ISR_MAL_TXEOB = 0x100000,
    ISR_MAL_RXEOB = 0x80000,
    ISR_MAL_TXDE = 0x40000,
    ISR_MAL_RXDE = 0x20000,
    ISR_EMAC = 0x10000,
    ISR_ETHERNET_BITS = 0x3F0000,
    ISR_PULSE_SOURCE = 0x2,
};
const uint32_t ISR_PULSE_LIMIT = 1000;
// Rounds of isr_dispatch over the masked status in one entry of the vector.
const int ISR_DISPATCH_ROUNDS = 32;
void isr_set_ethernet_handler(uint32_t source, void (*handler)());

// Counters read by the communication task's link check and the console.
uint32_t isr_count_all();
uint32_t isr_count_ethernet();
uint32_t isr_count_pulses();
uint8_t isr_ethernet_activity();
void isr_clear_ethernet_activity();
void isr_reset_pulse_count(); // the pulse source's user before it enables it again
