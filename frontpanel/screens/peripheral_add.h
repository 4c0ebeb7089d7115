// The front panel's peripheral-add wizards. An operator adds a sensor, an
// I/O board or a point peripheral by answering a few steps; the last step
// stores the new entries in the stored peripheral list (pl_iterator::Add),
// and the peripheral task, seeing the finished edit, reloads the list and
// creates them. The wizards never create peripherals themselves.
//
// Every add screen is one CLCD_PeripheralAdd built from a row of
// ADD_SCREENS: its factory type and menu id, its kind (a CAN board, or a
// point on an I/O board as input or output), its step-0 choices with their
// ids and default CAN identifiers (or a count), the optional common steps
// (sensor address, port direction, location, target board and pin) and its
// extra steps, each with the answers under which it is asked, and the
// layout that turns the answers into entries. The steps always sit in the
// same order; a step whose condition does not hold is passed over, so a
// beacon asks its flashing and dimming questions for id 700 and not for 40.
//
// Points on I/O boards: the target board (a live DC I/O board of class 8,
// a MINI DC I/O of class 29 or a nine-pin board of class 30, at most eight)
// decides which pins are valid and which board point a pin is, by the
// tables PIN_RULES and PIN_POINTS.
//
// Refusals: an id already in the stored list is marked "(ADDED)" at step 0
// and cannot be chosen; at the last step, entries whose creation string
// would not fit the list (80 characters), an id stored meanwhile or too few
// free slots refuse the whole answer with a line on the panel's console
// and store nothing.
#pragma once

#include "frontpanel/menu.h"
#include "frontpanel/screens/wizard.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>

// --- the target boards and their pins ---------------------------------------------------

enum add_target_kind : uint8_t {
    TARGET_TCB = 0,        // class 8, id 55
    TARGET_DCIO_IN = 1,    // class 8, port 3 wired as inputs (F0)
    TARGET_DCIO_OUT = 2,   // class 8, port 3 wired as outputs (FF)
    TARGET_DCIO_OTHER = 3, // class 8, any other code of port 3
    TARGET_MINI = 4,       // class 29
    TARGET_NINE_PIN = 5,   // class 30
    TARGET_KINDS = 6,
};

struct pin_rule_row {
    add_target_kind target;
    const char* input_rule;
    const char* input_footer;
    const char* output_rule;
    const char* output_footer;
};
extern const pin_rule_row PIN_RULES[TARGET_KINDS];

// The board point of pin p: p + low for p <= split, p + high above; a
// mirrored board counts down from the offset (offset - p).
struct pin_span {
    uint8_t split;
    int8_t low, high;
};
struct pin_point_row {
    add_target_kind target;
    pin_span input, output;
    bool mirrored;
    uint8_t mirror_offset;
};
extern const pin_point_row PIN_POINTS[TARGET_KINDS];

// The classes offered as targets, in the order they are listed.
extern const uint8_t TARGET_CLASSES[3];
const size_t MAX_TARGETS = 8;

// The kind of a live board (class, id and its port 3's direction code).
add_target_kind target_kind_of(uint8_t class_code, uint16_t id, uint8_t port3_direction);
uint32_t pin_to_point(add_target_kind target, bool input, uint32_t pin);

// --- the screens as rows ------------------------------------------------------------------

enum add_kind : uint8_t {
    ADD_CAN_BOARD = 0,
    ADD_IO_INPUT = 1,
    ADD_IO_OUTPUT = 2,
};

// What a step-0 choice stands for.
enum add_variant : uint8_t {
    VARIANT_PLAIN = 0,
    VARIANT_DCIO = 1, // a DC I/O board: asks its port direction
    VARIANT_TCB = 2,
    VARIANT_MINI = 3,
};

struct add_choice {
    const char* name;
    uint16_t id;
    uint32_t can_id = 0;       // a sensor board's default identifier
    uint32_t address_base = 0; // identifier of a specified address n: base + n
    uint8_t variant = VARIANT_PLAIN;
    bool free_id_rule = true; // the entry carries "?id": refused while stored
};

// The answers of one run of a wizard, as its layout and step conditions see them.
struct add_answers {
    uint8_t choice = 0;  // step 0's list entry
    uint32_t count = 0;  // step 0's number
    uint16_t id = 0;     // the chosen choice's id
    uint32_t can_id = 0; // default or specified address
    uint8_t bus = 2;     // location: 2 local sensors, 4 the control panel
    uint8_t direction_output = 0;
    uint16_t board = 0;       // the target's peripheral id
    uint32_t point = 0;       // the pin's board point
    uint32_t extra_point = 0; // a second pin step's board point
    uint8_t list[8] = {};     // extra list steps' entries, by extra-step index
    uint32_t number[8] = {};  // extra number steps' values
    bool intake_fans = false; // intake fans (510) are live
};

using add_condition = bool (*)(const add_answers& answers);

// An extra step of a screen, after the pin.
struct add_extra_step {
    uint8_t kind; // STEP_LIST or STEP_NUMBER
    const char* title;
    const char* prompt;
    const char* rule;
    const char* footer;
    const char* const* entries;
    add_condition asked = nullptr; // null: always
    bool cleared_on_entry = false;
    bool pin = false; // a second pin on the same target (rule and point as the pin's)
};

// The entries a finished wizard stores.
struct add_entry {
    uint16_t id;
    char parameters[96];
};
struct add_plan {
    static constexpr size_t MAX_ENTRIES = 17;
    add_entry entries[MAX_ENTRIES];
    size_t count = 0;
    bool too_long = false;
    // Stored ids in [remove_first, remove_last] are removed instead (0: none).
    uint16_t remove_first = 0, remove_last = 0;
    // Appends id with the fields "%X" separated by commas.
    void Add(uint16_t id, std::initializer_list<uint32_t> fields);
};
using add_layout = void (*)(const add_answers& answers, add_plan& plan);

struct add_screen_row {
    uint32_t type;
    int32_t menu_id;
    add_kind kind;
    const add_choice* choices; // null: step 0 is a number
    size_t choice_count;
    const char* count_rule; // step 0 as a number: its rule and footer
    const char* count_footer;
    bool address;                // the sensor address steps
    bool direction;              // the port direction step (DC I/O boards)
    bool location;               // the location step
    bool targets;                // the target board and pin steps (and needs a board)
    add_condition targets_asked; // null: always, when the screen has them
    const add_extra_step* extras;
    size_t extra_count;
    add_layout layout;
    add_condition visible;    // in addition to the rights and the boards
    const char* french_steps; // every step title in French (null: none)
};

extern const add_screen_row ADD_SCREENS[];
extern const size_t ADD_SCREEN_COUNT;
const add_screen_row* add_screen_row_of(uint32_t type);

// --- the wizard -------------------------------------------------------------------------------

class CLCD_PeripheralAdd : public CLCD_SimpleWizardBase {
  public:
    static constexpr size_t MAX_CHOICES = 16;
    static constexpr size_t MAX_EXTRAS = 8;

    CLCD_PeripheralAdd(int32_t id, const add_screen_row& row);

    void OnEnter(CLCD_Manager& manager) override;
    bool HasRights(CLCD_Manager& manager) override;

    const add_screen_row& Row() const { return row_; }
    // The answers as they stand (the live state read now).
    add_answers Answers() const;
    // The entries the answers store.
    static void Plan(const add_screen_row& row, const add_answers& answers, add_plan& plan);
    size_t TargetCount() const { return target_count_; }
    uint16_t TargetId(size_t i) const { return i < target_count_ ? target_ids_[i] : 0; }

  protected:
    bool NextStep(CLCD_Manager& manager, wizard_step& step, uint32_t* index) override;
    void StepActivated(CLCD_Manager& manager, wizard_step& step) override;
    void Finish(CLCD_Manager& manager) override;

  private:
    enum slot : uint8_t {
        SLOT_FIRST = 0,
        SLOT_ADDRESS_LIST,
        SLOT_ADDRESS_NUMBER,
        SLOT_DIRECTION,
        SLOT_LOCATION,
        SLOT_TARGET,
        SLOT_PIN,
        SLOT_EXTRA, // the extras follow
    };

    void BuildSteps();
    void FillChoices();
    void TitleSteps(bool french);
    bool Asked(const wizard_step& step) const;
    void Append(slot which);
    void BuildTargets();
    void SetPinRule(wizard_step& step);
    uint32_t PointOf(uint32_t pin) const;
    size_t SlotOf(const wizard_step& step) const;

    const add_screen_row& row_;
    wizard_step slots_[SLOT_EXTRA + MAX_EXTRAS];

    const char* choice_names_[MAX_CHOICES + 1] = {};
    const char* choice_rules_[MAX_CHOICES + 1] = {};
    char rule_texts_[MAX_CHOICES][8] = {};

    const char* target_names_[MAX_TARGETS + 1] = {};
    uint16_t target_ids_[MAX_TARGETS] = {};
    add_target_kind target_kinds_[MAX_TARGETS] = {};
    size_t target_count_ = 0;
    uint16_t chosen_target_ = 0;
    add_target_kind chosen_kind_ = TARGET_DCIO_OTHER;
};

// The factory records of the add screens.
extern const menu_family PERIPHERAL_ADD_SCREENS;
