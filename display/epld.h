// The display EPLD's configuration: passive-serial programming over GPIO
// port 0 (nCONFIG, DATA, DCLK out; nSTATUS, CONF_DONE in), the load-failure
// bit of the bus-control latch, and the program-wide EPLD-programmed flag
// (clear while a load runs; the CAN controller's SPI port is reached through
// logic the EPLD provides, so its driver waits for the flag).
#pragma once

#include <cstdint>

// Shifts `size` bytes of configuration data into the EPLD, each byte least
// significant bit first. -> true when the EPLD accepted the configuration
// (CONF_DONE high at the end); latch bit 0 is then clear, else set.
bool ProgramEPLD(const uint8_t* data, uint32_t size);

bool epld_read_nstatus();
bool epld_read_conf_done();

// The bus-control latch (0xF0200000) is always written from its shadow: sets
// then clears the given bits of the shadow and writes it. -> the shadow.
uint16_t epld_latch_write(uint16_t set_mask, uint16_t clear_mask);
const uint16_t LATCH_EPLD_LOAD_FAILED = 0x0001;

bool epld_programmed();
void epld_set_programmed(bool programmed);
