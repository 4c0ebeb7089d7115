// The front panel's date and time edit fields: see fields.h.
#include "frontpanel/fields.h"

#include <cstdio>
#include <cstring>

namespace {

const char KEY_BACKSPACE_CHAR = 8;
const char KEY_ENTER_CHAR = 10;
const char KEY_RETURN_CHAR = 13;

bool is_digit(char character) {
    return character >= '0' && character <= '9';
}

// The order in which the date's parts are typed and shown, by form.
const CDateField::date_part DATE_ORDER[2][3] = {
    {CDateField::YEAR, CDateField::MONTH, CDateField::DAY}, // French
    {CDateField::MONTH, CDateField::DAY, CDateField::YEAR}, // English
};
// Placeholder letters of the date's parts (year, month, day), by form.
const char DATE_PLACEHOLDERS[2][3] = {{'A', 'M', 'J'}, {'Y', 'M', 'D'}};
const uint8_t DATE_WIDTHS[3] = {4, 2, 2};

const uint8_t DAYS_IN_MONTH[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

bool is_leap_year(uint16_t year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

} // namespace

// --- CEditable -------------------------------------------------------------------

void CEditable::Reset(uint8_t form) {
    position_ = 0;
    leading_zero_ = 0;
    form_ = form == FORM_ENGLISH ? FORM_ENGLISH : FORM_FRENCH;
}

bool CEditable::HandleKey(char character) {
    if (character == KEY_BACKSPACE_CHAR) {
        if (EraseDigit()) return true;
        if (position_ == 0) return false;
        --position_;
        EraseDigit();
        return true;
    }
    if (character == KEY_ENTER_CHAR || character == KEY_RETURN_CHAR) {
        if (IsComplete() || !HasValue()) return false;
        ++position_;
        leading_zero_ = 0;
        return true;
    }
    while (!IsComplete()) {
        uint8_t result = InputDigit(character);
        if (result == INPUT_REFUSED) return false;
        if (result == INPUT_TAKEN) return true;
        leading_zero_ = 0;
        ++position_;
        if (result == INPUT_COMPLETE) return true;
        // INPUT_DOES_NOT_FIT: the next sub-field gets the same character.
    }
    return false;
}

uint8_t CEditable::InputTwoDigits(uint8_t& value, char character, uint8_t maximum,
                                  uint8_t largest_first, bool double_zero_allowed) {
    if (!is_digit(character)) return INPUT_REFUSED;
    unsigned digit = static_cast<unsigned>(character - '0');
    if (digit == 0 && value == 0) {
        if (!leading_zero_) {
            leading_zero_ = 1;
            return INPUT_TAKEN;
        }
        if (!double_zero_allowed) return INPUT_REFUSED;
    }
    unsigned next = value * 10u + digit;
    if (next > maximum) return INPUT_DOES_NOT_FIT;
    value = static_cast<uint8_t>(next);
    if (leading_zero_) return INPUT_COMPLETE;
    return value > largest_first ? INPUT_COMPLETE : INPUT_TAKEN;
}

bool CEditable::EraseFrom(uint8_t& value) {
    uint16_t wide = value;
    bool erased = EraseFrom(wide);
    value = static_cast<uint8_t>(wide);
    return erased;
}

bool CEditable::EraseFrom(uint16_t& value) {
    if (value != 0) {
        value = static_cast<uint16_t>(value / 10);
        return true;
    }
    if (leading_zero_) {
        leading_zero_ = 0;
        return true;
    }
    return false;
}

size_t CEditable::AppendSubField(char* text, size_t size, size_t used, uint8_t position,
                                 const shown_sub_field& sub_field) const {
    char digits[12] = "";
    if (position <= position_ && (sub_field.value != 0 || position < position_))
        std::snprintf(digits, sizeof digits, "%u", static_cast<unsigned>(sub_field.value));
    else if (position == position_ && leading_zero_)
        std::strcpy(digits, "0");
    size_t length = std::strlen(digits);
    size_t pad = length < sub_field.width ? sub_field.width - length : 0;
    char shown[24];
    size_t n = 0;
    if (position < position_) {
        for (size_t i = 0; i < pad; ++i)
            shown[n++] = sub_field.fill;
        std::memcpy(shown + n, digits, length);
        n += length;
    } else {
        std::memcpy(shown + n, digits, length);
        n += length;
        for (size_t i = 0; i < pad; ++i)
            shown[n++] = sub_field.placeholder;
    }
    for (size_t i = 0; i < n && used + 1 < size; ++i)
        text[used++] = shown[i];
    if (size > 0) text[used] = '\0';
    return used;
}

// --- CDateField ------------------------------------------------------------------

void CDateField::Reset(uint8_t form) {
    CEditable::Reset(form);
    year_ = 0;
    month_ = 0;
    day_ = 0;
}

CDateField::date_part CDateField::PartAt(uint8_t position) const {
    return DATE_ORDER[form_][position < 3 ? position : 2];
}

uint8_t CDateField::DaysInMonth(uint8_t month, uint16_t year) {
    if (month < 1 || month > 12) return 0;
    if (month == 2 && is_leap_year(year)) return 29;
    return DAYS_IN_MONTH[month - 1];
}

uint8_t CDateField::DayMaximum() const {
    // The English form types the year last: February may have 29 days.
    if (month_ == 2 && form_ == FORM_ENGLISH) return 29;
    return DaysInMonth(month_, year_);
}

bool CDateField::IsRealDate() const {
    return year_ >= 2000 && year_ <= 2099 && day_ >= 1 && day_ <= DaysInMonth(month_, year_);
}

uint8_t CDateField::InputYear(char character) {
    unsigned digit = static_cast<unsigned>(character - '0');
    // Years 2000-2099 only: the first digit is 2, the second 0.
    if ((year_ == 0 && digit != 2) || (year_ == 2 && digit != 0)) return INPUT_REFUSED;
    year_ = static_cast<uint16_t>(year_ * 10u + digit);
    return year_ >= 1000 ? INPUT_COMPLETE : INPUT_TAKEN;
}

uint8_t CDateField::InputDigit(char character) {
    if (IsComplete() || !is_digit(character)) return INPUT_REFUSED;
    switch (PartAt(position_)) {
    case YEAR:
        return InputYear(character);
    case MONTH:
        return InputTwoDigits(month_, character, 12, 1, false);
    case DAY: {
        uint8_t maximum = DayMaximum();
        return InputTwoDigits(day_, character, maximum, static_cast<uint8_t>(maximum / 10), false);
    }
    }
    return INPUT_REFUSED;
}

bool CDateField::HasValue() const {
    if (IsComplete()) return false;
    switch (PartAt(position_)) {
    case MONTH:
        return month_ > 0;
    case DAY:
        return day_ > 0;
    case YEAR:
        break;
    }
    return false;
}

bool CDateField::EraseDigit() {
    if (IsComplete()) return false;
    switch (PartAt(position_)) {
    case YEAR:
        return EraseFrom(year_);
    case MONTH:
        return EraseFrom(month_);
    case DAY:
        return EraseFrom(day_);
    }
    return false;
}

void CDateField::Format(char* text, size_t size) const {
    if (size == 0) return;
    const uint32_t values[3] = {year_, month_, day_};
    size_t used = 0;
    text[0] = '\0';
    for (uint8_t position = 0; position < 3; ++position) {
        date_part part = PartAt(position);
        if (position > 0 && used + 1 < size) {
            text[used++] = '/';
            text[used] = '\0';
        }
        used =
            AppendSubField(text, size, used, position,
                           {values[part], DATE_WIDTHS[part], '0', DATE_PLACEHOLDERS[form_][part]});
    }
}

// --- CTimeField ------------------------------------------------------------------

void CTimeField::Reset(uint8_t form) {
    CEditable::Reset(form);
    count_ = form_ == FORM_ENGLISH ? 3 : 2;
    hour_ = 0;
    afternoon_ = 0;
    minute_ = 0;
}

uint8_t CTimeField::Hour24() const {
    if (form_ != FORM_ENGLISH) return hour_;
    if (afternoon_ && hour_ >= 1 && hour_ <= 11) return static_cast<uint8_t>(hour_ + 12);
    if (!afternoon_ && hour_ == 12) return 0;
    return hour_;
}

uint8_t CTimeField::InputMinute(char character) {
    if (!is_digit(character)) return INPUT_REFUSED;
    unsigned digit = static_cast<unsigned>(character - '0');
    if (digit == 0 && minute_ == 0 && !leading_zero_) {
        leading_zero_ = 1;
        return INPUT_TAKEN;
    }
    unsigned next = minute_ * 10u + digit;
    if (next > 59) return INPUT_DOES_NOT_FIT;
    minute_ = static_cast<uint8_t>(next);
    return minute_ >= 7 || leading_zero_ ? INPUT_COMPLETE : INPUT_TAKEN;
}

uint8_t CTimeField::InputHalfDay(char character) {
    // The keypad keys 2 and 7 carry the letters A and P.
    if (character == 'A' || character == 'a' || character == '2') {
        afternoon_ = 0;
        return INPUT_COMPLETE;
    }
    if (character == 'P' || character == 'p' || character == '7') {
        afternoon_ = 1;
        return INPUT_COMPLETE;
    }
    return INPUT_REFUSED;
}

uint8_t CTimeField::InputDigit(char character) {
    if (IsComplete()) return INPUT_REFUSED;
    bool english = form_ == FORM_ENGLISH;
    switch (position_) {
    case HOUR:
        return InputTwoDigits(hour_, character, english ? 12 : 23, english ? 1 : 2, !english);
    case MINUTE:
        return InputMinute(character);
    default:
        return InputHalfDay(character);
    }
}

bool CTimeField::HasValue() const {
    if (IsComplete()) return false;
    bool english = form_ == FORM_ENGLISH;
    if (position_ == HOUR) return english ? hour_ > 0 : true;
    return english;
}

bool CTimeField::EraseDigit() {
    if (IsComplete()) return false;
    if (position_ == HOUR) return EraseFrom(hour_);
    if (position_ == MINUTE) return EraseFrom(minute_);
    return false;
}

void CTimeField::Format(char* text, size_t size) const {
    if (size == 0) return;
    text[0] = '\0';
    size_t used = AppendSubField(text, size, 0, HOUR, {hour_, 2, ' ', 'H'});
    if (used + 1 < size) text[used++] = ':';
    text[used] = '\0';
    used = AppendSubField(text, size, used, MINUTE, {minute_, 2, '0', 'M'});
    if (form_ == FORM_ENGLISH && used + 1 < size) {
        text[used++] = afternoon_ ? 'P' : 'A';
        text[used] = '\0';
    }
}
