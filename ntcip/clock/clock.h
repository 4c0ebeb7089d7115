// CClock: the peripheral that keeps the sign's time (id 90, "CLOCK01").
//
// The board's battery-backed real-time clock counts UTC. Every pass of the
// peripheral task the clock reads it, publishes it as globalTime (the
// global-time counter behind the store's global-time operations), derives
// local time from controllerStandardTimeZone and the daylight-saving rule of
// globalDaylightSaving, and publishes it as controllerLocalTime with the
// standard/daylight flag. A central write of globalTime is carried back to
// the board clock at the next pass; central writes of the differential or the
// zone take effect at the second pass after their letter. At its first pass
// it measures the outage before this start: the global-time counter stood
// still while the board was off, the real-time clock did not.
//
// The schedule task, the flash file times and the front panel ask it for the
// local date and time; other threads read its words without a lock (each is
// one word written only by the peripheral task's thread).
#pragma once

#include "ntcip/clock/dst_rules.h"
#include "runtime/peripheral.h"

#include <cstdint>
#include <ctime>

class CClock : public CPeripheral {
  public:
    CClock();

    // The factory entry of the clock's class: a clock polled every pass,
    // initialised and enabled; null when initialisation fails.
    static CPeripheral* Create(const PeripheralRecord& record);
    static const char* GetName(uint16_t id);
    static uint16_t GetType(const char* name);

    // Clears the clock device's control bit, picks up local time and the
    // global time found at start, and makes the clock ready to read.
    bool Initialize();
    void Poll() override;

    // The local date and time, and the outage before this start in seconds:
    // 0 (not available) until the first poll, else 1.
    int GetLocalDate(struct tm* date) const;
    int GetLocalTime(uint32_t* seconds) const;
    int GetPowerLossDuration(uint32_t* seconds) const;
    // The UTC of the last poll, the moment controllerLocalTime was computed
    // for (0 until the first poll, else 1).
    int GetReadingTime(uint32_t* utc) const;
    // The time was just set from a local time an operator entered.
    int SetLocalTimeEntered();

    // A central write of globalLocalTimeDifferential / controllerStandardTimeZone.
    void StartDifferentialCount() { differential_count_ = 1; }
    void StartZoneCount() { zone_count_ = 1; }

    // This year's and next year's daylight-saving window at the clock's UTC.
    void ComputeDSTWindow();
    bool InDST() const;
    bool NearTransition() const;

  private:
    void CheckCentralSet();
    void ReloadFromGlobalTime();
    uint32_t ReadBoardClock();
    void AdjustLocalTime();
    void AdjustWithoutDaylightSaving();
    void AdjustWithDaylightSaving();
    void ApplyDifferential();
    // This year's rule from globalDaylightSaving and row 1 of the table
    // (written into row 1 for the built-in rules), as its window.
    DstYearWindow DSTRuleByMode(uint32_t year_start, int year);

    uint32_t utc_ = 0;
    uint32_t local_ = 0;
    uint32_t power_loss_ = 0; // global time at start, then the outage
    uint32_t next_recompute_ = 0;
    DstWindow window_{};
    uint8_t recompute_ = 1;
    uint8_t window_mode_ = 0; // globalDaylightSaving when the window was computed
    uint8_t differential_count_ = 0;
    uint8_t zone_count_ = 0;
    uint8_t local_time_entered_ = 0;
    uint8_t read_ = 0;
};

// The live clock peripheral, or null when the peripheral task has none.
CClock* find_clock();

// Sets the board's real-time clock to `utc` at once: a central time write is
// kept by the board clock from the moment it is acknowledged, not only from
// the clock's next pass.
void write_board_clock(uint32_t utc);
