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
//   0xF0400000..0xF040000F  display EPLD, 16-bit registers:
//       +0x0 write          control: high byte EPLD mode, low byte brightness percent
//       +0x2 / +0x4 write   frame width / height in pixels
//       +0x6 write          refresh code
//       +0x8 read           high byte the mode in force, low byte the frame format code
//       +0xE read           low byte the EPLD version
//                           An unconfigured EPLD reads 0 and shows nothing.
//                           It is configured by passive serial on GPIO port 0:
//                           outputs nCONFIG, DATA, DCLK; inputs nSTATUS, CONF_DONE.
//   0xEF600700              GPIO port 0 output register (32 bits, bit n = 1u << n)
//   0xEF60071C              GPIO port 0 input register
//   0xEF600300.., 0xEF600400..  on-chip 16550 UARTs 0 and 1 (platform/board/uart.h;
//                           scratch register of UART0 at 0xEF600307: bit 0 asks
//                           the monitor to defragment its flash at the next restart)
//   0xFFFFFFF4              32-bit word: the boot monitor's entry (give it to monConnect)
// An address no device answers reads as all ones; writes to it are ignored.
//
// DCRs: the universal interrupt controller UIC0 at 0xC0..0xC8:
//   0xC0 status (write 1 to clear), 0xC2 enable, 0xC3 critical, 0xC4 polarity
//   (1 = active high / rising edge), 0xC5 trigger (1 = edge, 0 = level),
//   0xC6 masked status (status & enable, read only).
// DMA channel 0, which feeds the display EPLD from the frame area:
//   0x100 control (bit 31 starts a transfer), 0x101 count in 16-bit units,
//   0x103 source address, 0x120 status (bit 31 channel 0 terminal count: the
//   transfer is complete; bit 23 channel 0 error: a source outside the frame
//   area or a count beyond it; write 1 to clear). Channel 0 idle reads complete.
//
// The frame area: 128 KB of board RAM that the platform keeps for frame data
// (no pool is carved there). The DMA reads only from it.
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
    DCR_DMA0_CR0 = 0x100,
    DCR_DMA0_CT0 = 0x101,
    DCR_DMA0_SA0 = 0x103,
    DCR_DMA0_SR = 0x120,
};

// DMA channel 0 bits.
enum : uint32_t {
    DMA_CR_ENABLE = 0x80000000u,
    DMA_SR_TERMINAL_COUNT0 = 0x80000000u,
    DMA_SR_ERROR0 = 0x00800000u,
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
    BUS_UART0 = 0xEF600300u,
    BUS_UART1 = 0xEF600400u,
    BUS_UART0_SCRATCH = 0xEF600307u,
    BUS_MONITOR_ENTRY = 0xFFFFFFF4u,
    BUS_DISPLAY_EPLD = 0xF0400000u,
    BUS_GPIO0_OUTPUT = 0xEF600700u,
    BUS_GPIO0_INPUT = 0xEF60071Cu,
};

// UIC0 sources of the two UARTs.
enum : uint32_t {
    UART0_UIC_SOURCE = 0x80000000u,
    UART1_UIC_SOURCE = 0x40000000u,
};

// Display EPLD register offsets from BUS_DISPLAY_EPLD.
enum : uint32_t {
    EPLD_CONTROL = 0x0,
    EPLD_WIDTH = 0x2,
    EPLD_HEIGHT = 0x4,
    EPLD_REFRESH = 0x6,
    EPLD_STATUS = 0x8,
    EPLD_VERSION = 0xE,
};

// The display EPLD's configuration pins on GPIO port 0.
enum : uint32_t {
    GPIO_EPLD_NCONFIG = 0x40000000u,   // output
    GPIO_EPLD_NSTATUS = 0x20000000u,   // input
    GPIO_EPLD_DATA = 0x10000000u,      // output
    GPIO_EPLD_DCLK = 0x08000000u,      // output
    GPIO_EPLD_CONF_DONE = 0x00800000u, // input
};

// The frame area (board RAM offset and size) and its address as the firmware
// and the DMA see it.
const uint32_t BOARD_FRAME_AREA_OFFSET = 0x000E0000u;
const uint32_t BOARD_FRAME_AREA_BYTES = 0x20000u;
uint8_t* board_frame_area();

// Makes written frame bytes visible to the DMA (the board flushes its data
// cache here; the host has nothing to flush).
void board_flush_data_cache();

// The processor's external-interrupt vector: the firmware installs its
// dispatcher here (isr_dispatch_masked). It runs in interrupt context whenever
// a non-critical UIC0 source is both pending and enabled. Null removes it.
void board_set_external_interrupt_handler(void (*handler)());
