// pl_iterator: reads and edits the stored peripheral list, the 255 slots of
// halvPeripheralID / halvPeripheralParameters / halvPeripheralAuxIOTableIndex
// / halvPeripheralStatus (id 0: slot free). It is a short-lived value with
// one cursor; the registry, auto-detection and the front panel's wizards each
// make their own. Every edit holds peripheralConfigState at 1 while it writes
// and then writes back the value it found, so that a central system's edit in
// progress is not cut short and a finished edit (2) makes the peripheral task
// reload the list.
#pragma once

#include <cstdint>

struct pl_entry {
    uint16_t slot;
    uint16_t id;            // 0 for a free slot
    const char* parameters; // the store's copy, valid until the row changes
};

class pl_iterator {
  public:
    static constexpr uint16_t SLOTS = 255;
    // The longest creation string Add formats (the object's own limit).
    static constexpr unsigned PARAMETERS_MAX = 80;

    // From the cursor: the next used slot, cursor past it. -> false at the end.
    bool Next(pl_entry* out);
    // From the cursor: the next free slot, cursor past it. -> false when none.
    bool NextFree(pl_entry* out);
    void Reset() { cursor_ = 0; }
    // A scan from slot 0 (the cursor is reset).
    bool FindSlot(uint16_t id, uint16_t* slot);
    bool Contains(uint16_t id);
    // Stores the id with its creation string (formatted as printf) in the
    // first free slot. -> false when the id is stored already, no slot is
    // free, or the string is longer than the list keeps.
    bool Add(uint16_t id, const char* format, ...) __attribute__((format(printf, 3, 4)));
    // Frees the id's slot (id 0, status 0, both texts empty). -> false when
    // the id is not stored.
    bool Remove(uint16_t id);
    // Frees every used slot.
    void Clear();
    // The id's halvPeripheralStatus. -> false when the id is not stored.
    bool SetFlags(uint16_t id, uint8_t value);

  private:
    uint16_t cursor_ = 0;
};
