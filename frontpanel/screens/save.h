// The save options the message editor's Esc opens: save the edited text into
// the free message row chosen before editing (31), into a row typed by number
// (32, which offers a row in use for replacement, 33), drop it, or go back to
// editing. Every save goes through the manager's SaveEditedMessage (the
// message table's status steps, each confirmed by the status read back). A
// save that worked opens the run options on the saved message; one that
// failed leaves the row freed, the text in the buffer, and the operator at
// message control with "SAVE FAILED" on row 8.
#pragma once

#include "frontpanel/menu.h"

#include <cstdint>

class CLCD_MessageSave : public CMenuItem {
  public:
    explicit CLCD_MessageSave(int32_t id = 31);
    bool OnKey(CLCD_Manager& manager, uint16_t* key) override;
    void Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) override;
};

class CLCD_MessageSaveAs : public CMenuItem {
  public:
    static constexpr uint32_t LAST_SLOT = 500;
    explicit CLCD_MessageSaveAs(int32_t id = 32);
    void OnActivated(CLCD_Manager& manager) override;
    bool OnKey(CLCD_Manager& manager, uint16_t* key) override;
    void Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) override;
    uint32_t Typed() const { return slot_; }

  private:
    uint32_t slot_ = 0;
};

class CLCD_MessageSlotUsed : public CMenuItem {
  public:
    explicit CLCD_MessageSlotUsed(int32_t id = MENU_SLOT_USED);
    bool OnKey(CLCD_Manager& manager, uint16_t* key) override;
    void Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) override;
};

// Saves the editor's text into `slot` and opens what follows: the run
// options on success, message control (with the failure on row 8) else.
bool save_edited_message_into(CLCD_Manager& manager, CMenuItem* asking, uint32_t slot);

extern const menu_family SAVE_SCREENS;
