// CLCD_SimpleWizardBase: the base of every multi-step dialogue of the front
// panel (adding a peripheral, the date and time, reset options, thresholds,
// enable switches, test screens ...).
//
// A wizard is a list of up to 110 steps, each a record of one of five kinds:
// a whole number, a decimal number, a text, a choice from a numbered list, or
// another menu item embedded as a step. The base draws the current step and
// edits its value; Enter checks a number against the step's restriction
// string (frontpanel/restriction.h) and moves forward, Escape goes back along
// the path actually taken (each step remembers where it was entered from),
// and after the last step the subclass's Finish applies the result and the
// wizard returns to its parent. A step's callback, when it has one, decides
// the next step in place of NextStep (and may refuse to move).
//
// An embedded item ends its step through the step's after-key action, read
// after every key the item handled: advance, return to the parent, or
// advance once the item raised the step's done flag (an item derived from
// CLCD_SimpleWizardBaseMenu carries its own step record and raises the flag
// when its entry is complete).
//
// Subclasses build the step records (usually members of themselves) in their
// constructor or OnEnter, filling the texts of the manager's language; the
// step values persist between visits unless the subclass resets them.
#pragma once

#include "frontpanel/menu.h"

#include <cstddef>
#include <cstdint>

class CLCD;
class CLCD_Manager;

enum wizard_step_kind : uint8_t {
    STEP_NUMBER = 0,
    STEP_DECIMAL = 1,
    STEP_TEXT = 2,
    STEP_LIST = 3,
    STEP_ITEM = 4,
    STEP_KINDS = 5,
};

// What an embedded item's handled key does to its step.
enum wizard_after_key : uint8_t {
    AFTER_KEY_NOTHING = 0,
    AFTER_KEY_ADVANCE = 1,   // every handled key completes the step
    AFTER_KEY_PARENT = 2,    // a handled key returns to the parent, without Finish
    AFTER_KEY_WHEN_DONE = 3, // completes the step once the item raised its done flag
};

// Numbering of a list step's rows.
enum wizard_numbering : uint8_t { NUMBERING_PLAIN = 0, NUMBERING_WIDE = 1 };

struct wizard_step;
// Decides the next step: may set *index to any step; false stays.
using wizard_step_callback = bool (*)(wizard_step& step, uint32_t* index);

// One step. Texts point to constant text (null: not shown).
struct wizard_step {
    uint8_t kind = STEP_NUMBER;
    uint8_t index = 0;     // the step's position, stamped by AddStep
    uint8_t back_link = 0; // the step Escape returns to (written on entering forward)
    uint8_t after_key = AFTER_KEY_NOTHING; // embedded items
    uint8_t done = 0;                      // raised by an embedded item whose entry is complete
    wizard_step_callback callback = nullptr;

    const char* title = nullptr; // a list step's title
    const char* subtitle = nullptr;
    const char* prompt = nullptr;
    const char* footer = nullptr;             // decimal: before the point
    const char* footer_after_point = nullptr; // decimal
    const char* rule = nullptr;               // restriction string
    const char* rule_text = nullptr;          // shown after "RESTRICTIONS:"

    // Number (value) and decimal (value = integer part, fraction as typed).
    uint32_t value = 0;
    uint32_t fraction = 0;
    uint8_t point_entered = 0;
    uint8_t integer_digits = 0;
    uint8_t fraction_digits = 0;

    // Text: a buffer of width x rows bytes, holding up to width x rows - 1
    // characters.
    char* text = nullptr;
    uint32_t width = 0;
    uint32_t rows = 0;

    // List: entries end with a null (at most 255, the stored peripheral
    // list's size; `selected` is a byte); entry rules parallel to
    // them may name the peripheral an entry adds ("?N").
    const char* const* entries = nullptr;
    const char* const* entry_rules = nullptr;
    uint8_t first_row_offset = 0; // the list starts on row offset + 2
    uint8_t numbering = NUMBERING_PLAIN;
    uint8_t rows_per_page = 6;
    uint8_t selected = 0;
    const char* selected_entry = nullptr;

    CMenuItem* item = nullptr; // embedded item
};

class CLCD_SimpleWizardBase : public CMenuItem {
  public:
    static const uint32_t MAX_STEPS = 110;
    static const uint32_t MAX_ENTRIES = 255;

    explicit CLCD_SimpleWizardBase(int32_t id, menu_text title = {"", ""}, uint32_t rights = 0);

    void OnEnter(CLCD_Manager& manager) override;
    bool OnKey(CLCD_Manager& manager, uint16_t* key) override;
    void Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) override;
    void OnEvent(CLCD_Manager& manager, const letter_s& letter) override;

    // Stamps the step with its position and appends it; a step beyond the
    // 110th is refused (false) with a console line.
    bool AddStep(wizard_step* step);
    // Removes a held step, moving the later ones down. -> false when absent.
    bool RemoveStep(wizard_step* step);
    void ClearSteps();
    bool FindStep(const wizard_step* step) const;
    uint32_t StepCount() const { return count_; }
    uint32_t CurrentIndex() const { return current_; }
    wizard_step* CurrentStep() const { return count_ ? steps_[current_] : nullptr; }

    // Moves to the next step (the step's callback or NextStep decides).
    // -> false when there is none (nothing changes).
    bool StepForward(CLCD_Manager& manager);
    // Returns to the step the current one was entered from. -> false on
    // the first step.
    bool StepBack(CLCD_Manager& manager);

    // A whole number against the step's rule.
    static bool ValidateNumberStep(const wizard_step& step);
    // An entry is free unless its rule names a peripheral id already in the
    // stored peripheral list.
    static bool CheckPeripheralFree(const wizard_step& step, uint32_t entry);

  protected:
    // A decimal number against the step's rule.
    virtual bool ValidateStep(const wizard_step& step);
    // The next step after `step`: false on the last.
    virtual bool NextStep(CLCD_Manager& manager, wizard_step& step, uint32_t* index);
    virtual void StepActivated(CLCD_Manager& manager, wizard_step& step);
    virtual void StepLeave(CLCD_Manager& manager, wizard_step& step);
    // Applies the wizard's result after its last step.
    virtual void Finish(CLCD_Manager& manager) = 0;

    void DrawSelections(CLCD_Manager& manager, CLCD& lcd, uint8_t page);

  private:
    struct kind_row;
    static const kind_row KINDS[STEP_KINDS];

    // Moves forward, or after the last step finishes and returns to the parent.
    void Complete(CLCD_Manager& manager);
    void ReturnToParent(CLCD_Manager& manager);
    void AfterStepMove(CLCD_Manager& manager);

    bool KeyNumber(CLCD_Manager& manager, wizard_step& step, uint16_t* key);
    bool KeyDecimal(CLCD_Manager& manager, wizard_step& step, uint16_t* key);
    bool KeyText(CLCD_Manager& manager, wizard_step& step, uint16_t* key);
    bool KeyList(CLCD_Manager& manager, wizard_step& step, uint16_t* key);
    bool KeyItem(CLCD_Manager& manager, wizard_step& step, uint16_t* key);

    void DrawNumber(CLCD_Manager& manager, CLCD& lcd, wizard_step& step, uint8_t phase);
    void DrawDecimal(CLCD_Manager& manager, CLCD& lcd, wizard_step& step, uint8_t phase);
    void DrawText(CLCD_Manager& manager, CLCD& lcd, wizard_step& step, uint8_t phase);
    void DrawList(CLCD_Manager& manager, CLCD& lcd, wizard_step& step, uint8_t phase);
    void DrawItem(CLCD_Manager& manager, CLCD& lcd, wizard_step& step, uint8_t phase);

    uint32_t LastPage(const wizard_step& step) const;

    wizard_step* steps_[MAX_STEPS] = {};
    uint32_t count_ = 0;
    uint32_t current_ = 0;
    uint32_t selection_count_ = 0;
    uint8_t page_ = 0;
    uint8_t rows_drawn_ = 0;
};

// A menu item that carries its own wizard step record, so that a wizard can
// embed it as a step (kind 4, after-key action "when done"). The item raises
// the step's done flag when its entry is complete.
class CLCD_SimpleWizardBaseMenu : public CMenuItem {
  public:
    explicit CLCD_SimpleWizardBaseMenu(int32_t id, menu_text title = {"", ""}, uint32_t rights = 0);
    wizard_step step;

  protected:
    void MarkDone(bool done) { step.done = done ? 1 : 0; }
};

// Backspace, or Left from the keypad: the key that erases the last digit.
bool is_erase_key(uint16_t key);
