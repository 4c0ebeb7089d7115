// The screens that maintain the stored peripheral list (under PERIPHERAL
// CONFIGURATION, rights 0x200). They edit the stored list only (through
// pl_iterator) or post a letter; the peripheral task reloads the list after
// the edit and so drops or builds the live peripherals.
//
//   188 CLCD_PeripheralDelete        the stored entries by name, then CONFIRM
//                                    or CANCEL; CONFIRM removes that id
//   189 CLCD_PeripheralDeleteAll     CONFIRM empties the stored list
//   187 CLCD_PeripheralErrors        the stored entries whose load or start
//                                    failed (offered only while there is one)
//   191 CLCD_PeripheralAutoDetectWiz asks, then posts the auto-detect letter
//                                    and waits for the task's "complete"
//
// The delete list keeps the id of each entry: an entry that left the stored
// list between drawing and confirming (a central system edited it) is looked
// up again, and the screen says so and goes back to the rebuilt list instead
// of removing anything.
#pragma once

#include "frontpanel/menu.h"
#include "frontpanel/screens/system.h"
#include "frontpanel/screens/wizard.h"

#include <cstddef>
#include <cstdint>

class CLCD_PeripheralDelete : public CLCD_SimpleWizardBase {
  public:
    static constexpr size_t TABLE_SIZE = 255;

    explicit CLCD_PeripheralDelete(int32_t id);
    void OnEnter(CLCD_Manager& manager) override;
    void Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) override;

    size_t EntryCount() const { return count_; }

  protected:
    bool NextStep(CLCD_Manager& manager, wizard_step& step, uint32_t* index) override;
    void StepActivated(CLCD_Manager& manager, wizard_step& step) override;
    void Finish(CLCD_Manager& manager) override;

  private:
    void Rebuild();
    // The chosen entry's id while the stored list still holds it, else 0.
    uint16_t ChosenStoredId() const;

    wizard_step choose_;
    wizard_step confirm_;
    const char* names_[TABLE_SIZE + 1] = {};
    const char* confirm_entries_[3] = {};
    uint16_t ids_[TABLE_SIZE] = {};
    size_t count_ = 0;
    uint8_t gone_notice_ = 0;
};

// CONFIRM / CANCEL; CONFIRM empties the stored list.
class CLCD_PeripheralDeleteAll : public CLCD_OneListWizard {
  public:
    explicit CLCD_PeripheralDeleteAll(int32_t id);
    void OnEnter(CLCD_Manager& manager) override;

  protected:
    void FillEntries(bool french) override;
    void Finish(CLCD_Manager& manager) override;
};

// The names of the stored entries whose halvPeripheralStatus has bit 0 set;
// choosing one changes nothing.
class CLCD_PeripheralErrors : public CLCD_OneListWizard {
  public:
    explicit CLCD_PeripheralErrors(int32_t id);
    void OnEnter(CLCD_Manager& manager) override;
    bool HasRights(CLCD_Manager& manager) override;

  protected:
    void FillEntries(bool french) override;
    void Finish(CLCD_Manager& manager) override;
};

// The detection step: 1 starts, 2 or Escape leaves; while the task detects,
// keys are swallowed; "COMPLETE" once the task reports, Enter ends.
class CLCD_PeripheralAutoDetect : public CLCD_SimpleWizardBaseMenu {
  public:
    static const int32_t MENU_ID = 190;
    enum detect_state : uint8_t { STATE_ASK = 0, STATE_DETECTING = 1, STATE_COMPLETE = 2 };

    CLCD_PeripheralAutoDetect();
    void OnEnter(CLCD_Manager& manager) override;
    void OnActivated(CLCD_Manager& manager) override;
    bool OnKey(CLCD_Manager& manager, uint16_t* key) override;
    void OnEvent(CLCD_Manager& manager, const letter_s& letter) override;
    void Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) override;

    uint8_t State() const { return state_; }

  private:
    void Reset();

    uint8_t state_ = STATE_ASK;
    uint8_t animation_ = 0;
};

class CLCD_PeripheralAutoDetectWiz : public CLCD_SimpleWizardBase {
  public:
    explicit CLCD_PeripheralAutoDetectWiz(int32_t id);
    void OnEnter(CLCD_Manager& manager) override;

  protected:
    // Detection stores what it finds; the wizard stores nothing.
    void Finish(CLCD_Manager& manager) override;

  private:
    CLCD_PeripheralAutoDetect detect_;
};

// The factory records of these screens.
extern const menu_family PERIPHERAL_MAINT_SCREENS;
