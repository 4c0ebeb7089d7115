// Start-up of the firmware, the one place that composes every subsystem: the
// construction of the long-lived objects, the attachment of the task
// subscribers, and tx_application_define's 20 steps. It sits above every
// subsystem, so that no lower layer needs to know the whole firmware.
#pragma once

#include "platform/kernel/kernel.h"
#include "runtime/version.h" // the firmware identity the banner prints

#include <cstdint>

// The firmware's main: constructs the singletons in the boot order, attaches
// the seven subscribers and enters the kernel (does not return on the board).
int firmware_main(int argc, char** argv);
// The construction and attachment half of firmware_main (tests use it before
// kernel_start_for_test(tx_application_define)).
void firmware_construct();

int init_platform_specific(uint8_t** cursor); // 0 flash media opened, 1 not
int init_product_specific(uint8_t** cursor);  // 0
int check_bootloader_current();               // 1 when a new boot loader was installed
// The same check for a given monitor build date "Mmm dd yyyy".
int check_bootloader_date(const char* build_date);
uint8_t detect_product_board();
const char* product_board_name(uint8_t id);
uint8_t product_board_id(); // 0xFF until detected
void record_start_cause();
// Day number of a monitor build date "Mmm dd yyyy" (365*y - 730000 + 31*(m-1) + d).
int bootloader_day_number(const char* build_date);
const int BOOTLOADER_CURRENT_DAY = 2446;
const char* const BOOTLOADER_FILE_NAME = "bootloader.bin";

TX_BYTE_POOL& get_thread_stack_pool();

// Flash file-system time hooks.
uint32_t tfs_get_time();
char* tfs_format_time(uint32_t seconds, char* buffer, int size);
