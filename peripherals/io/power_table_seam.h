// The surge suppressors' road to the sign's power status table. Until the
// power-supply table's owner (CPowerSupplyTable) is part of the firmware,
// these calls keep no row: registration reports the table full, and the
// other calls do nothing for the handle 0 it leaves.
#pragma once

#include <cstdint>

// -> true with the row's handle; false (handle 0) when the table keeps none.
bool power_table_register(uint16_t* handle, const char* description, const char* status,
                          uint8_t type);
void power_table_unregister(uint16_t handle);
void power_table_set_error(uint16_t handle, uint8_t status, const char* text);
void power_table_clear_error(uint16_t handle, const char* text);
void power_table_set_voltage(uint16_t handle, uint16_t voltage);
