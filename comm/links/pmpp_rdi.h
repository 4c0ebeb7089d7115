// The block-transfer (RDI) mode of a PMPP link. A master sends each SNMP
// request as blocks: a 16-byte XFERB line
//
//   04 | five digits | XFERB id (5) | four decimal digits: bytes that follow | 0D
//
// then a compressed IP header (form 0: 10 bytes, 1: 11, 2: 15), a UDP header
// and the data. The sign acknowledges the line with ACK0 (06 '0' 0A 0D) and
// the block with ACK1 (06 '1' 0A 0D), and answers in form-2 blocks of at
// most 488 data bytes, each announced by its own XFERB line (04 "11002" id
// size 0D) and each carrying the UDP checksum: it waits for the master's
// ACK0 before the block, ACK1 and ACK2 after it; a refusal (06 'A' 0A 0D) or
// a silence repeats the block's line up to the retry limit.
//
// A line that is not 16 bytes ending in 0D, a count that is not four digits
// from header + 8 to 512, a block for another address, a continuation with
// no request open and a request that would outgrow the frame are all refused
// without an acknowledgement; the next good line is served as usual.
#pragma once

#include "comm/links/pmpp.h"

#include <cstdint>

const uint32_t RDI_BLOCK_DATA = 488;
const uint32_t RDI_COUNT_MAX = 512;
const uint8_t RDI_LINE_START = 0x04;
const uint8_t RDI_ACK = 0x06;

enum rdi_state : uint32_t {
    RDI_WAITING = 1,
    RDI_LINE = 2,
    RDI_FIRST_HEADER = 3,
    RDI_HEADER = 4,
    RDI_UDP_HEADER = 5,
    RDI_DATA = 6,
    RDI_SENDING_LINE = 7,
    RDI_WAIT_ACK0 = 8,
    RDI_WAIT_ACK1 = 12,
    RDI_WAIT_ACK2 = 16,
    RDI_REFUSED = 20,
    RDI_STATES = 21,
};

// One received byte from the link's ring through the mode's receive side.
// -> PMPP_FRAME when a whole request stands in the link's frame (own
// address, 13, C1, data) for pmpp_dispatch_frame, else PMPP_MORE.
int rdi_receive_step(pmpp_link* link);
// The comm time-out in the mode: receiving states back to waiting, sending
// states retransmit (or give up at the retry limit).
void rdi_timeout(pmpp_link* link);
// Ticks the current state may last.
ULONG rdi_state_ticks(const pmpp_link* link);
// Sends one SNMP message as blocks (a response, or a trap after
// rdi_prepare_trap_header). A message whose blocks do not fit the transmit
// buffer is answered tooBig.
void rdi_send_blocks(snmp_agent* agent, pmpp_link* link, const uint8_t* data, uint32_t length);
// The header fields of a trap: form 2 to the remote address, protocol 17,
// from `own_port` to 161, the XFERB id from the remote LID.
void rdi_prepare_trap_header(pmpp_link* link, uint16_t own_port);
