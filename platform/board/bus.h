// The controller board's external bus and device-control registers, as the
// firmware sees them. Firmware code never dereferences a device address: every
// register access goes through these accessors, which decode the address to
// the board's device models.
//
// Address map (the devices the firmware uses):
//   0xF0100000..0xF010000F  clock and non-volatile byte device
//       0xF0100001/3/5/7    global-time seconds counter, one byte each, most
//                           significant at 0xF0100001. Reading 0xF0100001
//                           latches the counter; read it first. Writes are
//                           held until 0xF0100001 is written: write the least
//                           significant byte (0xF0100007) first.
//       0xF010000B          early-restart byte (non-volatile)
//       0xF010000E          control byte (non-volatile)
//   0xF0200000              bus logic: 16-bit latch (reads back what was written)
//   0xF0200002              bus logic: SPI control/data (16 bits)
//   0xF0200004              bus logic: status (16 bits): board id in bits 9-12,
//                           SPI transfer done bit 8, SPI byte received bits 0-7
//   0xEF600300.., 0xEF600400..  on-chip UARTs (scratch register of UART0 at
//                           0xEF600307: bit 0 asks the monitor to defragment
//                           its flash at the next restart)
//   0xFFFFFFF4              32-bit word: the boot monitor's entry (give it to monConnect)
// An address no device answers reads as all ones; writes to it are ignored.
//
// DCRs: the universal interrupt controller UIC0 at 0xC0..0xC8:
//   0xC0 status (write 1 to clear), 0xC2 enable, 0xC3 critical, 0xC4 polarity
//   (1 = active high / rising edge), 0xC5 trigger (1 = edge, 0 = level),
//   0xC6 masked status (status & enable, read only).
#pragma once

#include <cstdint>

uint8_t bus_read8(uint32_t addr);
uint16_t bus_read16(uint32_t addr);
uint32_t bus_read32(uint32_t addr);
void bus_write8(uint32_t addr, uint8_t v);
void bus_write16(uint32_t addr, uint16_t v);
void bus_write32(uint32_t addr, uint32_t v);

uint32_t dcr_read(uint32_t dcrn);
void dcr_write(uint32_t dcrn, uint32_t v);

// UIC0 register numbers.
enum : uint32_t {
    DCR_UIC0_SR = 0xC0,
    DCR_UIC0_ER = 0xC2,
    DCR_UIC0_CR = 0xC3,
    DCR_UIC0_PR = 0xC4,
    DCR_UIC0_TR = 0xC5,
    DCR_UIC0_MSR = 0xC6,
};

// Fixed bus addresses of the board.
enum : uint32_t {
    BUS_CLOCK_NV_BASE = 0xF0100000u,
    BUS_GLOBAL_TIME_MSB = 0xF0100001u,
    BUS_EARLY_RESTART = 0xF010000Bu,
    BUS_CLOCK_CONTROL = 0xF010000Eu,
    BUS_LOGIC_LATCH = 0xF0200000u,
    BUS_LOGIC_SPI_CONTROL = 0xF0200002u,
    BUS_LOGIC_STATUS = 0xF0200004u,
    BUS_UART0_SCRATCH = 0xEF600307u,
    BUS_MONITOR_ENTRY = 0xFFFFFFF4u,
};

// The processor's external-interrupt vector: the firmware installs its
// dispatcher here (isr_dispatch_masked). It runs in interrupt context whenever
// a non-critical UIC0 source is both pending and enabled. Null removes it.
void board_set_external_interrupt_handler(void (*handler)());
