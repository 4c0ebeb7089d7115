// CPowerSupplyTable: the one owner of the NTCIP power status table
// (dmsPowerNumRows, dmsPowerFailureStatusMap and the five columns of
// dmsPowerStatusTable, volatile). Power supplies, the surge-suppressor and
// power-sense inputs register a row each and get a handle, their only
// reference to it: rows are kept packed, so a removal moves every later row
// down one place and the handles follow their rows.
//
// The table also keeps what follows from the rows: bit 0x0004 of
// shortErrorStatus (set while a row failed), zuduzPowerStatus (byte 1 = one
// flag per failed row, chosen by the row's power type) and enterprise-specific
// trap 4, sent once per failure episode. A failed row is one whose status is
// not 2; rows described "MODULE..." that report "COMM ERROR..." neither send
// the trap nor keep its latch. The latch is recomputed with the maps at every
// registration and removal, so that a reload of the peripherals during a
// failure does not leave it set for ever.
//
// Every operation runs under "Power Supply Table Mutex" (no priority
// inheritance). The pixel test boards write measured voltages straight into
// the voltage column of the rows named after their channels.
#pragma once

#include "platform/kernel/kernel.h"

#include <cstdint>

class CPowerSupplyTable {
  public:
    static constexpr unsigned MAX_ROWS = 255; // dmsPowerNumRows is one byte
    static constexpr uint32_t TRAP_POWER_FAILURE = 4;
    static constexpr uint32_t SHORT_ERROR_POWER = 0x0004;
    enum : uint8_t { STATUS_NO_ERROR = 2, STATUS_FAILED = 3 };
    // Power types (dmsPowerType) of the rows the sign registers.
    enum : uint8_t { TYPE_SURGE = 1, TYPE_SUPPLY = 6 };

    CPowerSupplyTable() = default;
    virtual ~CPowerSupplyTable();
    CPowerSupplyTable(const CPowerSupplyTable&) = delete;
    CPowerSupplyTable& operator=(const CPowerSupplyTable&) = delete;

    // Creates the mutex and clears the trap latch; once at start-up, after
    // the object store is initialised.
    void CreateMutex();
    // A new row at the end (voltage 0, status 2, the texts and type); the
    // handle in `handle`. -> 1 registered; 0 when the table is full (or the
    // mutex could not be taken), `handle` unchanged.
    uint8_t RegisterPowerSupply(uint16_t* handle, const char* description,
                                const char* manufacturer_status, uint8_t type);
    // Removes the handle's row (later rows move down). Unknown handle: nothing.
    void UnRegisterPowerSupply(uint16_t handle);
    // Marks the row failed with `status` and the text; trap 4 unless the
    // latch is set (or the row is a module's communication error).
    void SetPowerSupplyError(uint16_t handle, uint8_t status, const char* manufacturer_status);
    // Marks the row passed (status 2) with the text.
    void ClearPowerSupplyError(uint16_t handle, const char* manufacturer_status);
    // The row's voltage in hundredths of a volt.
    void SetPowerSupplyVoltage(uint16_t handle, uint16_t voltage);

    // The handle's row, -1 when no record holds it.
    int32_t RowOf(uint16_t handle);
    unsigned Count();
    bool TrapLatched() const { return trap_latch_ != 0; }
    // Back to a fresh start's state (tests): no records, the rows the records
    // held reset, the next handle the one after `last_handle`.
    void Reset(uint16_t last_handle = 0);

  private:
    struct row_record {
        uint16_t handle;
        uint16_t row;
    };
    class locked;

    row_record* Find(uint16_t handle);
    void RecomputeMaps();
    void ResetRow(unsigned row);
    void MoveRow(unsigned from, unsigned to);

    row_record records_[MAX_ROWS] = {};
    unsigned count_ = 0;
    uint16_t last_handle_ = 0;
    uint8_t trap_latch_ = 0;
    TX_MUTEX mutex_{};
    bool mutex_created_ = false;
};

// The sign's one table.
CPowerSupplyTable& ThePowerSupplyTable();
