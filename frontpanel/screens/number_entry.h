// CLCD_SimpleNumberEntry: the front-panel screen that asks for one whole
// number and stores it (sign width and height, the sign's address, ports,
// time-outs, line lengths, frames per second, master brightness ...).
//
// One class serves every such screen: each is a row of a number-entry table
// {menu id, prompt, restriction text, range, object, suffix, hooks}. The
// screen draws the prompt, the restriction text and the value, edits the
// value with the digit keys, and on Enter checks it against the row's range
// (and the row's check, when it has one) before storing it. A refused value
// is never stored: "INVALID ENTRY" shows on row 6 for five polls while the
// typed value stays for correction, under the row's restriction text.
//
// A screen family adds its rows in a table and names the creator over that
// table in its factory records:
//   const number_entry_row PORT_ROWS[] = {{131, {"PORT", "PORT"}, ...}, ...};
//   {TYPE_CONTROLLER_PORT, number_entry_create<PORT_ROWS>},
#pragma once

#include "frontpanel/menu.h"
#include "store/objects.h"

#include <cstddef>
#include <cstdint>
#include <iterator>

struct number_entry_row;

// An extra test of a value beyond the row's range. -> true to accept.
using number_check_fn = bool (*)(const number_entry_row& row, uint32_t value);
// Stores an accepted value in place of the plain write of the row's object.
// -> the store's result (0 done; anything else is a refusal shown on the
// screen).
using number_store_fn = int (*)(const number_entry_row& row, uint32_t value);
// Writes the short value shown after the item's title in its parent list.
using number_suffix_fn = void (*)(const number_entry_row& row, bool french, char* text,
                                  size_t size);

// A row: the required fields in the constructor, the optional ones by the
// chained setters, e.g.
//   number_entry_row(131, {"PORT", "PORT"}, {"1-65535", "1-65535"}, 1, 65535,
//                    obj::halvHostHttpPort).Suffix("%u")
struct number_entry_row {
    int32_t id;
    menu_text prompt;      // {null, null}: "VALUE" / "VALEUR"
    menu_text restriction; // shown after "RESTRICTIONS:"; {null, null}: "NONE" / "AUCUNE"
    uint32_t minimum;
    uint32_t maximum;
    DbObject object;                      // the stored object (an integer of 1, 2 or 4 bytes)
    const char* suffix_format = nullptr;  // printf format of the stored value; null: none
    number_check_fn check = nullptr;      // null: the range alone
    number_store_fn store = nullptr;      // null: the object is written (with notification)
    number_suffix_fn suffix = nullptr;    // null: suffix_format
    int32_t target = 0;                   // the menu after a save; 0 the parent
    menu_text line7 = {nullptr, nullptr}; // a hint on row 7; {null, null}: none
    // Row 8; a language left null keeps "PRESS ENTER TO SAVE" in that language.
    menu_text line8 = {nullptr, nullptr};
    // Writes a restriction text that depends on the sign (drawn in place of
    // `restriction`); an empty text keeps `restriction` for that language.
    number_suffix_fn restriction_by = nullptr;

    constexpr number_entry_row(int32_t id_, menu_text prompt_, menu_text restriction_,
                               uint32_t minimum_, uint32_t maximum_, DbObject object_)
        : id(id_), prompt(prompt_), restriction(restriction_), minimum(minimum_), maximum(maximum_),
          object(object_) {}
    constexpr number_entry_row Suffix(const char* format) const {
        number_entry_row row = *this;
        row.suffix_format = format;
        return row;
    }
    constexpr number_entry_row SuffixBy(number_suffix_fn hook) const {
        number_entry_row row = *this;
        row.suffix = hook;
        return row;
    }
    constexpr number_entry_row Check(number_check_fn hook) const {
        number_entry_row row = *this;
        row.check = hook;
        return row;
    }
    constexpr number_entry_row StoreBy(number_store_fn hook) const {
        number_entry_row row = *this;
        row.store = hook;
        return row;
    }
    constexpr number_entry_row Target(int32_t menu) const {
        number_entry_row row = *this;
        row.target = menu;
        return row;
    }
    constexpr number_entry_row Hint(menu_text text) const {
        number_entry_row row = *this;
        row.line7 = text;
        return row;
    }
    constexpr number_entry_row Footer(menu_text text) const {
        number_entry_row row = *this;
        row.line8 = text;
        return row;
    }
    constexpr number_entry_row RestrictionBy(number_suffix_fn hook) const {
        number_entry_row row = *this;
        row.restriction_by = hook;
        return row;
    }
};

// The texts every entry screen shares.
extern const menu_text ENTRY_SAVE_HINT; // "PRESS ENTER TO SAVE"
extern const menu_text ENTRY_INVALID;   // "INVALID ENTRY"

// The value is within the row's range and passes its check.
bool number_entry_accepts(const number_entry_row& row, uint32_t value);
// Stores the value through the row's hook, else as the object's integer.
// -> 0 when stored.
int number_entry_store(const number_entry_row& row, uint32_t value);
// The row of `id` in a table, or null.
const number_entry_row* number_entry_find(const number_entry_row* rows, size_t count, int32_t id);

class CLCD_SimpleNumberEntry : public CMenuItem {
  public:
    explicit CLCD_SimpleNumberEntry(const number_entry_row& row);

    void OnEnter(CLCD_Manager& manager) override;
    bool OnKey(CLCD_Manager& manager, uint16_t* key) override;
    void Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) override;
    void DrawSuffix(CLCD_Manager& manager, CLCD& lcd, uint8_t row, uint8_t justify) override;

    uint32_t Value() const { return value_; }
    const number_entry_row& Row() const { return row_; }

  protected:
    // Stores the value. -> false when the store refused it.
    virtual bool Store(CLCD_Manager& manager);
    virtual bool Validate(CLCD_Manager& manager);

  private:
    static const uint32_t MAXIMUM_TYPED = 2147483647u;
    static const uint8_t ERROR_POLLS = 4;

    void Refuse(CLCD_Manager& manager);

    const number_entry_row& row_;
    menu_text prompt_;
    menu_text restriction_;
    menu_text line8_;
    menu_text error_;
    uint32_t value_ = 0;
    uint8_t error_pending_ = 0;
};

template <const auto& Rows> CMenuItem* number_entry_create(int32_t id, const menu_row&) {
    const number_entry_row* row = number_entry_find(Rows, std::size(Rows), id);
    return row ? new CLCD_SimpleNumberEntry(*row) : nullptr;
}
