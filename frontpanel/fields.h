// The front panel's date and time edit fields.
//
// A field is a row of numeric sub-fields typed one after the other: each takes
// digits until it is complete, refuses digits that cannot be right, and shows
// placeholder letters for the digits not yet typed. A digit that does not fit
// the current sub-field moves on and is offered to the next one, so "1 3" in
// an English date gives month 1 and a day beginning with 3.
//
// CDateField: English order MM/DD/YYYY, French order AAAA/MM/JJ, years
// 2000-2099. CTimeField: English 12-hour "HH:MMA" (AM/PM typed with the keys
// that carry A and P, 2 and 7), French 24-hour "HH:MM".
//
// The form flag is 1 for English and 0 for French (the opposite of the
// manager's language number, where 1 is French).
#pragma once

#include <cstddef>
#include <cstdint>

class CEditable {
  public:
    // What a sub-field did with a typed character.
    enum input_result : uint8_t {
        INPUT_REFUSED = 0,
        INPUT_TAKEN = 1,        // taken; the sub-field may take more
        INPUT_DOES_NOT_FIT = 2, // the character belongs to the next sub-field
        INPUT_COMPLETE = 3,     // taken; the sub-field is complete
    };
    enum field_form : uint8_t { FORM_FRENCH = 0, FORM_ENGLISH = 1 };

    explicit CEditable(uint8_t count) : count_(count) {}
    virtual ~CEditable() = default;

    virtual void Reset(uint8_t form);
    // The field as shown, with its placeholders (at most 15 characters).
    virtual void Format(char* text, size_t size) const = 0;

    // A typed character: Backspace (8) erases, Enter (10) or CR (13) ends a
    // sub-field that has a value, anything else is offered as a digit.
    // -> whether the field took it.
    bool HandleKey(char character);
    bool IsComplete() const { return position_ == count_; }
    uint8_t Position() const { return position_; }
    uint8_t Form() const { return form_; }

  protected:
    virtual uint8_t InputDigit(char character) = 0;
    virtual bool HasValue() const = 0;
    virtual bool EraseDigit() = 0;

    // The common rule of two-digit sub-fields (month, day, hour): a first 0
    // is remembered as a leading zero, a value above `maximum` does not fit,
    // and the sub-field is complete after a leading zero or once the value
    // exceeds the largest possible first digit.
    uint8_t InputTwoDigits(uint8_t& value, char character, uint8_t maximum, uint8_t largest_first,
                           bool double_zero_allowed);
    // Erase of a numeric sub-field: drops the last digit, or a lone leading
    // zero. -> whether anything was erased.
    bool EraseFrom(uint8_t& value);
    bool EraseFrom(uint16_t& value);

    // One sub-field as shown: before the position its value padded with
    // `fill`, at the position the digits typed so far then placeholders,
    // after it placeholders only.
    struct shown_sub_field {
        uint32_t value;
        uint8_t width;
        char fill;
        char placeholder;
    };
    size_t AppendSubField(char* text, size_t size, size_t used, uint8_t position,
                          const shown_sub_field& sub_field) const;

    uint8_t position_ = 0;
    uint8_t count_;
    uint8_t leading_zero_ = 0;
    uint8_t form_ = FORM_ENGLISH;
};

class CDateField : public CEditable {
  public:
    enum date_part : uint8_t { YEAR = 0, MONTH = 1, DAY = 2 };

    CDateField() : CEditable(3) {}
    void Reset(uint8_t form) override;
    void Format(char* text, size_t size) const override;

    uint16_t Year() const { return year_; }
    uint8_t Month() const { return month_; }
    uint8_t Day() const { return day_; }
    // The typed date exists in the calendar (29 February only in leap years).
    bool IsRealDate() const;
    static uint8_t DaysInMonth(uint8_t month, uint16_t year);

  protected:
    uint8_t InputDigit(char character) override;
    bool HasValue() const override;
    bool EraseDigit() override;

  private:
    date_part PartAt(uint8_t position) const;
    uint8_t InputYear(char character);
    uint8_t DayMaximum() const;

    uint16_t year_ = 0;
    uint8_t month_ = 0;
    uint8_t day_ = 0;
};

class CTimeField : public CEditable {
  public:
    enum time_part : uint8_t { HOUR = 0, MINUTE = 1, HALF_DAY = 2 };

    CTimeField() : CEditable(3) {}
    void Reset(uint8_t form) override;
    void Format(char* text, size_t size) const override;

    uint8_t Hour() const { return hour_; }
    uint8_t Minute() const { return minute_; }
    bool Afternoon() const { return afternoon_ != 0; }
    // The hour of the day 0-23: in the 12-hour form 12 AM is 0 and a PM hour
    // below 12 gains 12.
    uint8_t Hour24() const;

  protected:
    uint8_t InputDigit(char character) override;
    bool HasValue() const override;
    bool EraseDigit() override;

  private:
    uint8_t InputMinute(char character);
    uint8_t InputHalfDay(char character);

    uint8_t hour_ = 0;
    uint8_t afternoon_ = 0;
    uint8_t minute_ = 0;
};
