// The register map of the board's Ethernet port as the firmware reaches it
// through bus.h: EMAC0 on the bus, the MAL on the DCR bus, the bits both
// sides use and the layout of a MAL descriptor in board RAM.
#pragma once

#include <cstdint>

// EMAC0 registers (32 bits).
enum : uint32_t {
    EMAC0_BASE = 0xEF600800u,
    EMAC_MR0 = EMAC0_BASE + 0x00,   // mode 0
    EMAC_MR1 = EMAC0_BASE + 0x04,   // mode 1
    EMAC_TMR0 = EMAC0_BASE + 0x08,  // transmit mode 0
    EMAC_RMR = EMAC0_BASE + 0x10,   // receive mode
    EMAC_ISR = EMAC0_BASE + 0x14,   // interrupt status (write 1 to clear)
    EMAC_ISER = EMAC0_BASE + 0x18,  // its enable
    EMAC_IAHR = EMAC0_BASE + 0x1C,  // own address, bytes 0-1
    EMAC_IALR = EMAC0_BASE + 0x20,  // own address, bytes 2-5
    EMAC_GAHT1 = EMAC0_BASE + 0x40, // group hash, four registers
    EMAC_GAHT4 = EMAC0_BASE + 0x4C,
    EMAC_IPGVR = EMAC0_BASE + 0x58, // inter-packet gap
    EMAC_STACR = EMAC0_BASE + 0x5C, // station management (the PHY)
    EMAC_TRTR = EMAC0_BASE + 0x60,  // transmit request threshold
    EMAC_RWMR = EMAC0_BASE + 0x64,  // receive watermarks
    EMAC0_WINDOW = 0x70,
};
enum : uint32_t {
    MR0_RX_IDLE = 0x80000000u,
    MR0_TX_IDLE = 0x40000000u,
    MR0_SOFT_RESET = 0x20000000u,
    MR0_TX_ENABLE = 0x10000000u,
    MR0_RX_ENABLE = 0x08000000u,
    TMR0_CHANNEL0 = 0x80000000u,
    RMR_OWN = 0x00400000u,
    RMR_BROADCAST = 0x00100000u,
    RMR_MULTICAST = 0x00080000u,
    STA_COMPLETE = 0x8000u,  // the cycle is over
    STA_PHY_ERROR = 0x4000u, // the PHY did not answer
    STA_READ = 0x1000u,
    STA_WRITE = 0x2000u,
    STA_CLOCK = 0x0400u,
    STA_PHY_SHIFT = 5, // PHY address in bits 5-9, register in bits 0-4
};

// MAL device-control registers.
enum : uint32_t {
    MAL_CFG = 0x180,
    MAL_ESR = 0x181,
    MAL_IER = 0x182,
    MAL_TXCASR = 0x184,
    MAL_TXCARR = 0x185,
    MAL_TXEOBISR = 0x186,
    MAL_TXDEIR = 0x187,
    MAL_RXCASR = 0x190,
    MAL_RXCARR = 0x191,
    MAL_RXEOBISR = 0x192,
    MAL_RXDEIR = 0x193,
    MAL_TXCTP0R = 0x1A0,
    MAL_RXCTP0R = 0x1C0,
    MAL_RCBS0 = 0x1E0,
    MAL_DCR_COUNT = MAL_RCBS0 - MAL_CFG + 1,
    DCR_PLB_WORD = 0xAA, // written by the MAC/MAL set-up
};
enum : uint32_t {
    MAL_RESET = 0x80000000u,
    MAL_CHANNEL0 = 0x80000000u, // in the channel and interrupt registers
    ESR_VALID = 0x80000000u,
    ESR_RECEIVE = 0x40000000u,
    ESR_BUS_ERROR = 0x00010000u,
    ESR_RING_ERRORS = 0x001E0000u,
};

// A MAL descriptor: u16 control/status, u16 length, u32 buffer address.
enum : uint16_t {
    DESC_READY = 0x8000, // transmit: ready; receive: empty
    DESC_WRAP = 0x4000,
    DESC_LAST = 0x1000,
    DESC_INTERRUPT = 0x0400,
    DESC_FCS_AND_PAD = 0x0300,
    DESC_STATUS = 0x03FF, // on receipt: an errored frame
};
