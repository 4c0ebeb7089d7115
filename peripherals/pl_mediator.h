// pl_mediator: the live peripheral registry. It owns every peripheral object
// that the peripheral task polls, in creation order (the fixed peripherals
// first), and is the one place where any part of the system finds a
// peripheral by its id. The list changes only in the peripheral task's
// thread, always under the registry's mutex "pl_mediator"; look-ups from
// other threads take the mutex too (waiting at most 500 ticks). First/Next
// take no lock and belong to the peripheral task's thread.
//
// The factory list (peripherals/factory.h) builds each peripheral from a
// creation record; Load builds the stored list (peripherals/pl_iterator.h)
// slot by slot, Unload deletes what the list created (the fixed peripherals
// stay), so a reload of an edited list is Unload then Load.
#pragma once

#include "peripherals/factory.h"
#include "peripherals/pl_iterator.h"
#include "platform/kernel/kernel.h"
#include "runtime/peripheral.h"

#include <cstdint>

class pl_mediator {
  public:
    enum : uint8_t { CONSTRUCTED = 0, CLEARED = 1, INITIALISED = 2, UNLOADED = 3, LOADED = 4 };
    // The stored list's 255 slots and the fixed peripherals.
    static constexpr unsigned CAPACITY = 272;
    static constexpr ULONG LOCK_WAIT = 500;

    pl_mediator() = default;
    // Deletes the mutex, then every peripheral.
    ~pl_mediator();
    pl_mediator(const pl_mediator&) = delete;
    pl_mediator& operator=(const pl_mediator&) = delete;

    // Takes the factory list and creates the mutex. -> false when already
    // initialised, the list is null or the mutex cannot be created.
    bool Init(const pl_factory* factories);
    // Builds every used slot of the stored list from the cursor's start: an
    // id already live is skipped ("skip duplicate NAME"), a slot that cannot
    // be built gets status 1 ("load failure on NAME"), a built one status 0.
    // -> false (nothing done) when already loaded.
    bool Load(pl_iterator& cursor);
    // Deletes the list-created peripherals. -> false unless loaded.
    bool Unload();
    // Builds a fixed peripheral (list slot 65535) and appends it. -> false
    // before Init, when no class builds the id, or the list is full.
    bool Create(uint16_t id, const char* parameters);
    // Appends a peripheral built outside the factory list and takes it over.
    // -> false (the caller keeps it) before Init or when the list is full.
    bool Adopt(CPeripheral* peripheral);
    // Takes a live peripheral out of the list; the caller owns it then.
    // -> null when it is not live.
    CPeripheral* Release(uint16_t id);

    // Under the mutex: the live peripheral with that id. -> false (null) when
    // it is not live or the mutex could not be taken.
    bool Find(uint16_t id, CPeripheral** out);
    bool Contains(uint16_t id);
    bool Enable(uint16_t id);  // SetEnabled(1); false when not live
    bool Disable(uint16_t id); // SetEnabled(0); false when not live
    // The poll countdown (passes counted since the last poll). -> false when
    // not live.
    bool SetCountdown(uint16_t id, uint16_t value);
    // Makes the peripheral due: it is polled at the registry's next pass
    // (its countdown is set to its period). -> false when not live.
    bool MakeDue(uint16_t id);
    // New period, countdown 0; the previous period in `previous` (may be
    // null). -> false when not live.
    bool SetPollPeriod(uint16_t id, uint16_t period, uint16_t* previous);

    // Iteration in list order over one class code (PERIPHERAL_CLASS_ANY:
    // every peripheral); `cursor` is the caller's. -> false (null) at the end.
    bool First(uint8_t class_code, unsigned* cursor, CPeripheral** out) const;
    bool Next(uint8_t class_code, unsigned* cursor, CPeripheral** out) const;

    unsigned Count() const { return count_; }
    uint8_t State() const { return state_; }

  private:
    bool Append(CPeripheral* peripheral);
    // Builds the record's peripheral and appends it. -> false when it could
    // not be built or appended (an object built but not appended is deleted).
    bool Build(const PeripheralRecord& record);
    void LoadSlot(const pl_entry& entry);
    CPeripheral* FindLocked(uint16_t id) const;
    // Runs `change` on the live peripheral under the mutex. -> false when not live.
    template <class Change> bool WithPeripheral(uint16_t id, Change change);

    CPeripheral* list_[CAPACITY] = {};
    unsigned count_ = 0;
    const pl_factory* factories_ = nullptr;
    TX_MUTEX mutex_{};
    uint8_t state_ = CONSTRUCTED;
};
