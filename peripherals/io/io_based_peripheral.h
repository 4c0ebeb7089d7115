// CIO_BasedPeripheral (class 0x18): the small devices wired to points of a
// DC I/O board, one class for all of them. The peripheral id chooses the
// kind, and each kind is a row of one table (io_based_peripheral.cpp): its
// ids, the layout of its creation string, and what it does at Init, on each
// input report of the board (OnEvent) and at each poll.
//
//   75-80    "SURGE SUPPRESSORn"   a surge suppressor's contact, a row of the
//                                  power table ("SURGE PASSED"/"SURGE FAILED")
//                                  after 20 polls open
//   560      "SWITCH BINARY1"      one-of-n message selector (event or polled)
//   570      "SWITCH BINARY ACT1"  one-of-n selector with an activate input
//   580      "SWITCH BCD ACT1"     binary-coded selector with an activate input
//   640      "BLANK SWITCH"        blanks the sign, trap 5
//   641      "BLANK INDICATOR"     lamp of the blank switch
//   650      "SWITCH BCD1"         binary-coded selector
//   670      "IO FAULT/OK LED"     fault lamp and OK lamp
//   671      "CURRENT MESSAGE"     the shown message's number on outputs
//   710-719, 850-863 "FLOW SENSORn"  airflow contact (climate row, fan bit)
//   720, 749 "FLOW/RPM POWER SENSE" whether the fans have power (InputState 1
//                                  while every contact of its input is made)
//
// Creation strings (hexadecimal fields):
//   general kinds: board id, point mask A (bit b = point 24 + b), A is an
//     output set, point mask B, B is an output set;
//   switches 560, 570, 650: first point, board id, number of points n, and
//     for 560 and 650: polled mode, repeat time in seconds, message offset,
//     latch flag (these two are polled every pass);
//   580: first point, board id, n (the last point is the activate input);
//   640 / 641: the point, board id.
//
// Switches ask for messages through row 6 of the activation requests (state
// 3, source 2); a message's code comes from the switch message table
// (halvObj2_18_2_1_2, 50 rows) or, for an empty row r, changeable message
// r + 1 with its stored CRC. A released momentary switch withdraws its
// request (12 zero bytes). A changeable message number outside 1-550 is
// refused with a console line and requests nothing.
#pragma once

#include "display/message_codes.h"
#include "peripherals/io/input_state.h"
#include "peripherals/io/point_peripheral.h"

#include <cstdint>

struct io_kind_row;

class CIO_BasedPeripheral : public CPointPeripheral, public io_input_state {
  public:
    static constexpr uint8_t SURGE_DEBOUNCE_POLLS = 20;
    static constexpr uint32_t TRAP_BLANK_SWITCH = 5;
    static constexpr unsigned SWITCH_ROWS = 50;
    static constexpr uint8_t SWITCH_PRIORITY = 190;
    static constexpr uint8_t REQUEST_STATE = 3, REQUEST_SOURCE = 2;
    static constexpr uint16_t ID_BLANK_INDICATOR = 641;

    // What a creation string gave.
    struct Settings {
        uint32_t board_id = 0;
        uint32_t mask_a = 0, mask_b = 0;
        uint8_t output_a = 0, output_b = 0;
        uint32_t trigger_a = 0; // trigger points of set A (kind 3)
        uint8_t polled_mode = 0;
        uint32_t repeat_polls = 0;
        uint32_t message_offset = 0;
        uint8_t latch = 0;
    };

    // -> null for an id that is no kind of this class.
    static CIO_BasedPeripheral* Build(uint16_t id, const Settings& settings);
    ~CIO_BasedPeripheral() override;

    bool Init() override;
    void Poll() override;
    void OnEvent(uint32_t) override;

    // Row 6 of the activation requests := `code` (state 3, source 2).
    static void ActivateSwitchMessage(const CMsgActivationCode& code);
    // Polled 560 switch: the code its positions select. -> false when none
    // (positions ambiguous, a row past 49, a message number out of range).
    bool ReadSwitchCode(CMsgActivationCode* code);
    // The sign shows the message `code` names (memory type and number).
    static bool IsCurrentMessage(const CMsgActivationCode& code);
    // The request code of switch table row `row` (`offset` added to the
    // number an empty row names). -> false (console line) for a changeable
    // message number outside 1-550.
    // A row naming changeable message number past the messages gives that
    // number in `unknown` (when not null).
    static bool SwitchRowCode(unsigned row, uint32_t offset, CMsgActivationCode* code,
                              uint32_t* unknown = nullptr);

    // Per kind: switch latched, surge failed, blank-switch step, indicator
    // step, lamp state, power present.
    uint8_t KindState() const { return kind_state_; }
    // The power sense's state (1 while the fans have power), as the fan-speed
    // sensors read it.
    uint8_t InputState() const override { return kind_state_; }
    void SetKindState(uint8_t state) { kind_state_ = state; }
    uint32_t Selection() const { return selection_; }
    uint32_t MessageNumber() const { return message_number_; }
    uint8_t PointCount() const { return point_count_; }
    // Polls whose switch selected no changeable message.
    uint32_t UnknownSelections() const { return unknown_selections_; }
    uint16_t PowerHandle() const { return power_handle_; }
    int32_t ClimateRow() const { return climate_row_; }
    int32_t FanBit() const { return fan_bit_; }

    // The kind's steps (rows of the table name them).
    bool InitSurge();
    bool InitFlowSensor();
    bool InitBcdSwitch();
    void EventOneOfN();
    void EventActivateOneOfN();
    void EventCodedActivate();
    void EventCoded();
    void PollSurge();
    void PollPolledSwitch();
    void PollBlankSwitch();
    void PollBlankIndicator();
    void PollLamp();
    void PollCurrentMessage();
    void PollPowerSense();

  private:
    CIO_BasedPeripheral(const io_kind_row& kind, uint16_t id, const Settings& settings);
    // The packed inputs of set A, and the same inverted over its points.
    uint32_t InputsA(uint32_t from_event) const;
    uint32_t ActiveA(uint32_t from_event) const;
    bool Activated(uint32_t* positions, bool withdraw_on_release);
    // Withdraws the switches' request (12 zero bytes in row 6).
    static void WithdrawSwitchMessage();
    // Requests switch table row `row` (nothing past 49).
    void RequestRow(uint32_t row);

    const io_kind_row* kind_;
    Settings settings_;
    uint8_t kind_state_ = 0;
    uint32_t message_number_ = 0;
    uint32_t repeat_countdown_ = 0;
    uint8_t debounce_ = SURGE_DEBOUNCE_POLLS;
    uint16_t power_handle_ = 0;
    int32_t climate_row_ = NO_ROW;
    int32_t fan_bit_ = NO_ROW;
    uint32_t selection_ = 0;
    uint8_t point_count_ = 0;
    uint32_t unknown_selections_ = 0;
    bool UnknownSelection(uint32_t number);
};
