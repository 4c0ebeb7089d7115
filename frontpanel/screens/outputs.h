// The diagnostics screens that drive outputs by hand (rights 0x200):
//
//   17 CLCD_TestFansHeaters   a live fan or heater, then what to do with it
//                             (turn on, turn off, restore normal operation)
//                             and for how many minutes (up to 500)
//   18 CLCD_AuxIOPortControl  a live multi-point auxiliary port, then its
//                             value 0-9
//
// The fan and heater test switches nothing itself: it writes a command
// (1 automatic, 2 on, 3 off) and a duration into the climate control's
// timed-output table, on the channel of the chosen fan or heater (a table of
// ids), and the peripheral task's climate logic drives the outputs. Both
// screens are offered only while there is something to drive; no multi-point
// auxiliary port is ever built from the stored list, so the port control
// stays hidden.
#pragma once

#include "frontpanel/menu.h"
#include "frontpanel/screens/wizard.h"

#include <cstddef>
#include <cstdint>

// The timed-output channel of a fan or heater control id (0 for an id the
// table does not name: the intake fans).
unsigned climate_channel_of(uint16_t id);

// Up to six live peripherals of the given classes, in class order and then
// registry order, as the choices of a list step.
struct output_candidates {
    static constexpr size_t CAPACITY = 6;
    const char* names[CAPACITY + 1] = {};
    uint16_t ids[CAPACITY] = {};
    uint8_t classes[CAPACITY] = {};
    size_t count = 0;

    void Build(const uint8_t* class_codes, size_t class_count);
};

class CLCD_TestFansHeaters : public CLCD_SimpleWizardBase {
  public:
    static constexpr uint32_t MAX_MINUTES = 500;

    explicit CLCD_TestFansHeaters(int32_t id);
    void OnEnter(CLCD_Manager& manager) override;
    bool HasRights(CLCD_Manager& manager) override;

  protected:
    bool NextStep(CLCD_Manager& manager, wizard_step& step, uint32_t* index) override;
    void StepActivated(CLCD_Manager& manager, wizard_step& step) override;
    void Finish(CLCD_Manager& manager) override;

  private:
    void OfferActions(CLCD_Manager& manager);
    uint16_t ChosenId() const;

    output_candidates candidates_;
    wizard_step choose_;
    wizard_step action_;
    wizard_step minutes_;
    const char* action_entries_[3] = {};
    char footer_[40] = {};
};

class CLCD_AuxIOPortControl : public CLCD_SimpleWizardBase {
  public:
    explicit CLCD_AuxIOPortControl(int32_t id);
    void OnEnter(CLCD_Manager& manager) override;
    bool HasRights(CLCD_Manager& manager) override;

  protected:
    void Finish(CLCD_Manager& manager) override;

  private:
    output_candidates candidates_;
    wizard_step choose_;
    wizard_step state_;
};

// The factory records of these screens.
extern const menu_family OUTPUT_SCREENS;
