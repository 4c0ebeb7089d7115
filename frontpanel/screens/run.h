// The run and schedule screens of the front panel: they turn the message the
// operator chose into the one on the sign, or hand the sign to the time-base
// schedule and take it back.
//
//   23  CLCD_RunOptions    1 run until replaced, 2 run for a time, 3 do not
//                          run, 4 back to the screen that opened it
//   24  CLCD_RunDuration   minutes 1-9999, then run
//   37  CLCD_ScheduleStart offered only while the schedule does not drive
//                          the sign; confirming runs the schedule (type 6)
//   38  CLCD_ScheduleStop  offered only while it does; confirming blanks
//
// Every one ends in CLCD_Manager::ActivateMessage, which writes the pending
// message with the duration into the panel's activation request row.
#pragma once

#include "frontpanel/menu.h"
#include "frontpanel/screens/choice.h"

#include <cstdint>

class CLCD_RunOptions : public CMenuItem {
  public:
    explicit CLCD_RunOptions(int32_t id = MENU_RUN_OPTIONS);
    bool OnKey(CLCD_Manager& manager, uint16_t* key) override;
    void Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) override;
};

class CLCD_RunDuration : public CMenuItem {
  public:
    static constexpr uint32_t MAX_MINUTES = 9999;

    explicit CLCD_RunDuration(int32_t id);
    void OnEnter(CLCD_Manager& manager) override;
    bool OnKey(CLCD_Manager& manager, uint16_t* key) override;
    void Draw(CLCD_Manager& manager, CLCD& lcd, uint8_t phase) override;

    uint32_t Minutes() const { return minutes_; }

  private:
    uint32_t minutes_ = 0;
};

// One schedule screen: which state of dmsMsgSourceMode offers it and what
// confirming asks of the sign.
struct schedule_action {
    int32_t menu_id;
    bool while_scheduled; // offered while the schedule drives the sign
    uint32_t memory_type;
};
extern const schedule_action SCHEDULE_ACTIONS[2];

class CLCD_ScheduleAction : public CLCD_SimpleMenuBase {
  public:
    explicit CLCD_ScheduleAction(int32_t id);
    bool HasRights(CLCD_Manager& manager) override;
    void OnSelect(CLCD_Manager& manager, const choice_row& choice) override;

  private:
    const schedule_action* action_;
};

extern const menu_family RUN_SCREENS;
