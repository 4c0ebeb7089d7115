// CLCD_SimpleIPAddrBase: the front-panel screen that edits an IPv4 address
// in dotted-quad form (the controller's address, mask and gateway, the
// central address, the time server).
//
// It shows the address in force, lets the user type four octets with an
// automatic advance from one octet to the next (after three digits, or after
// two when no third digit can fit: 30 moves on, 25 waits), refuses a digit
// that would take an octet past 255, and on Enter hands the new address to
// its row's store and returns to the parent. A row can make the screen
// read-only (the Ethernet mode obtains the address by itself): the screen
// then shows a notice and only Escape acts.
//
// One class serves every address screen: each is a row {menu id, object,
// current-value source, read-only test, suffix style, store}. The address is
// packed big-endian: the first octet is the most significant byte.
#pragma once

#include "frontpanel/menu.h"
#include "store/objects.h"

#include <cstddef>
#include <cstdint>
#include <iterator>

struct address_entry_row;

// The address in force (for example the running address, where the stored
// one takes effect only at the next start).
using address_source_fn = uint32_t (*)(const address_entry_row& row);
using address_read_only_fn = bool (*)(const address_entry_row& row);
// Stores a typed address in place of the plain write of the row's object;
// `changed` tells whether it differs from the address shown as current.
// -> 0 when stored; anything else is refused on the screen (nothing stored).
using address_store_fn = int (*)(const address_entry_row& row, uint32_t address, bool changed);

// What the parent list shows after the item's title.
enum address_suffix : uint8_t {
    ADDRESS_SUFFIX_NONE = 0,
    ADDRESS_SUFFIX_STORED = 1,  // the stored address
    ADDRESS_SUFFIX_PENDING = 2, // the stored address, with "*" while it differs from the current
};

// A row: the menu id and object, the optional fields by the chained setters.
struct address_entry_row {
    int32_t id;
    DbObject object;                          // the stored address (a 4-byte integer)
    address_source_fn current = nullptr;      // null: the stored object
    address_read_only_fn read_only = nullptr; // null: never read-only
    uint8_t suffix = ADDRESS_SUFFIX_NONE;
    address_store_fn store = nullptr;     // null: the object is written (with notification)
    menu_text line7 = {nullptr, nullptr}; // a hint on row 7; {null, null}: none

    constexpr address_entry_row(int32_t id_, DbObject object_) : id(id_), object(object_) {}
    constexpr address_entry_row CurrentFrom(address_source_fn hook) const {
        address_entry_row row = *this;
        row.current = hook;
        return row;
    }
    constexpr address_entry_row ReadOnlyWhen(address_read_only_fn hook) const {
        address_entry_row row = *this;
        row.read_only = hook;
        return row;
    }
    constexpr address_entry_row Suffix(address_suffix style) const {
        address_entry_row row = *this;
        row.suffix = style;
        return row;
    }
    constexpr address_entry_row StoreBy(address_store_fn hook) const {
        address_entry_row row = *this;
        row.store = hook;
        return row;
    }
    constexpr address_entry_row Hint(menu_text text) const {
        address_entry_row row = *this;
        row.line7 = text;
        return row;
    }
};

const address_entry_row* address_entry_find(const address_entry_row* rows, size_t count,
                                            int32_t id);
// "%d.%d.%d.%d" of a packed address.
void format_address(uint32_t address, char* text, size_t size);

// The four octets being typed and the advance rule, apart from the screen.
struct address_octets {
    uint32_t octet[4] = {};
    int32_t digits[4] = {};
    uint8_t index = 0;

    void Clear() { *this = address_octets(); }
    uint32_t Packed() const;
    // A digit the octet editor took (kept or refused as past 255): counts it
    // and moves to the next octet when the octet can take no more.
    void CountDigit();
    // Backspace: -> true when it moved back into the previous octet, whose
    // last digit the caller then drops.
    bool EraseStep();
    // Right: the next octet.
    void Advance();
};

class CLCD_SimpleIPAddrBase : public CMenuItem {
  public:
    explicit CLCD_SimpleIPAddrBase(const address_entry_row& row);

    void OnEnter(CLCD_Manager& manager) override;
    void OnActivated(CLCD_Manager& manager) override;
    bool OnKey(CLCD_Manager& manager, uint16_t* key) override;
    void Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) override;
    void DrawSuffix(CLCD_Manager& manager, CLCD& lcd, uint8_t row, uint8_t justify) override;

    uint32_t CurrentAddress() const { return current_; }
    uint32_t NewAddress() const { return new_address_; }
    bool ReadOnly() const { return read_only_ != 0; }
    const address_octets& Octets() const { return octets_; }

  protected:
    // Sets the current address and the read-only flag.
    virtual void Load();
    // -> false when the row's store refused the address.
    virtual bool Store(CLCD_Manager& manager);

  private:
    static const uint8_t OCTET_COLUMN = 15;

    bool EraseKey(CLCD_Manager& manager, uint16_t* key);
    void DrawReadOnly(CLCD_Manager& manager, CLCD& lcd);

    const address_entry_row& row_;
    uint32_t current_ = 0;
    uint32_t new_address_ = 0;
    uint8_t changed_ = 0;
    uint8_t read_only_ = 0;
    uint8_t refused_ = 0;
    address_octets octets_;
};

template <const auto& Rows> CMenuItem* address_entry_create(int32_t id, const menu_row&) {
    const address_entry_row* row = address_entry_find(Rows, std::size(Rows), id);
    return row ? new CLCD_SimpleIPAddrBase(*row) : nullptr;
}
