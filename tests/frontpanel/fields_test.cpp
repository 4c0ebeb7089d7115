// The date and time edit fields: keys typed in both forms, what each shows,
// and what each refuses.
#include "frontpanel/fields.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const uint8_t EN = CEditable::FORM_ENGLISH, FR = CEditable::FORM_FRENCH;
const char BACKSPACE = 8, ENTER = 10;

std::string shown(const CEditable& field) {
    char text[32];
    field.Format(text, sizeof text);
    return text;
}

// Types `keys`; -> the taken flag of each key, as "1" / "0".
std::string type(CEditable& field, const std::string& keys) {
    std::string taken;
    for (char key : keys)
        taken += field.HandleKey(key) ? '1' : '0';
    return taken;
}

struct Case {
    const char* what;
    uint8_t form;
    std::string keys;
    std::string taken;
    std::string shown;
    bool complete;
};

// Types each case's keys ("\n" for Enter) into a fresh field of its form.
template <class Field, size_t N> void expect_typing(const Case (&cases)[N]) {
    for (const Case& c : cases) {
        Field field;
        field.Reset(c.form);
        std::string keys = c.keys;
        for (char& key : keys)
            if (key == '\n') key = ENTER;
        EXPECT_EQ(c.taken, type(field, keys)) << c.what;
        EXPECT_EQ(c.shown, shown(field)) << c.what;
        EXPECT_EQ(c.complete, field.IsComplete()) << c.what;
    }
}

TEST(DateField, TypesDigitsIntoMonthDayAndYearInEachOrder) {
    const Case cases[] = {
        {"english, untouched", EN, "", "", "MM/DD/YYYY", false},
        {"english, whole date", EN, "12252024", "11111111", "12/25/2024", true},
        {"english, 1 then 3 moves into the day", EN, "13", "11", "01/3D/YYYY", false},
        {"english, 31 does not fit april", EN, "0431", "1110", "04/03/YYYY", false},
        {"english, a leading zero shows", EN, "0", "1", "0M/DD/YYYY", false},
        {"english, no month 00", EN, "00", "10", "0M/DD/YYYY", false},
        {"english, Enter ends a one-digit month", EN, "1\n", "11", "01/DD/YYYY", false},
        {"english, Enter on an empty month", EN, "\n", "0", "MM/DD/YYYY", false},
        {"english, february may have 29 days", EN, "0229", "1111", "02/29/YYYY", false},
        {"english, year 1999 refused", EN, "05061", "11110", "05/06/YYYY", false},
        {"english, year takes 20 first", EN, "050621", "111110", "05/06/2YYY", false},
        {"english, Enter never ends the year", EN, "050620\n", "1111110", "05/06/20YY", false},
        {"french, whole date", FR, "20240215", "11111111", "2024/02/15", true},
        {"french, untouched", FR, "", "", "AAAA/MM/JJ", false},
        {"french, leap february: 3 completes", FR, "2024023", "1111111", "2024/02/03", true},
        // 29 does not fit a common February; no part is left to take the 9.
        {"french, common february: 29 refused", FR, "20230229", "11111110", "2023/02/02", true},
        {"french, leap february: 29 kept", FR, "20240229", "11111111", "2024/02/29", true},
        {"a letter is refused", EN, "a", "0", "MM/DD/YYYY", false},
        {"keys after completion are refused", FR, "202402159", "111111110", "2024/02/15", true},
    };
    expect_typing<CDateField>(cases);
}

TEST(DateField, BackspaceErasesBackAcrossParts) {
    CDateField field;
    field.Reset(EN);
    type(field, "1225");
    EXPECT_EQ("12/25/YYYY", shown(field));
    EXPECT_TRUE(field.HandleKey(BACKSPACE)); // the year is empty: the day loses 5
    EXPECT_EQ("12/2D/YYYY", shown(field));
    type(field, std::string(3, BACKSPACE));
    EXPECT_EQ("MM/DD/YYYY", shown(field));
    EXPECT_FALSE(field.HandleKey(BACKSPACE));
    type(field, "0");
    EXPECT_TRUE(field.HandleKey(BACKSPACE)); // a lone leading zero goes too
    EXPECT_EQ("MM/DD/YYYY", shown(field));
    EXPECT_EQ("11", type(field, "12"));
}

TEST(DateField, OnlyCalendarDatesAreReal) {
    struct Date {
        const char* keys;
        uint8_t form;
        bool real;
    } dates[] = {
        {"02292024", EN, true}, {"02292023", EN, false}, {"02292100", EN, false},
        {"12312099", EN, true}, {"20000229", FR, true},
    };
    for (const Date& d : dates) {
        CDateField field;
        field.Reset(d.form);
        type(field, d.keys);
        EXPECT_EQ(d.real, field.IsComplete() && field.IsRealDate()) << d.keys;
    }
}

TEST(TimeField, TypesHourMinuteAndHalfDayInEachForm) {
    const Case cases[] = {
        {"english, untouched", EN, "", "", "HH:MMA", false},
        {"english, 9:45 PM", EN, "9457", "1111", " 9:45P", true},
        {"english, 12:30 AM with the letter", EN, "1230a", "11111", "12:30A", true},
        {"english, 12:30 PM with the 7 key", EN, "12307", "11111", "12:30P", true},
        {"english, 1 then 3 moves into the minute", EN, "13", "11", " 1:3MA", false},
        {"english, no hour 00", EN, "00", "10", "0H:MMA", false},
        {"english, 05 completes", EN, "05", "11", " 5:MMA", false},
        {"english, minute 65 does not fit", EN, "1065", "1110", "10:06A", false},
        {"english, Enter moves on from a short minute", EN, "103\n2", "11111", "10:03A", true},
        {"english, the half day refuses other keys", EN, "10305", "11110", "10:30A", false},
        {"english, Enter on an empty hour", EN, "\n", "0", "HH:MMA", false},
        {"french, 23:59", FR, "2359", "1111", "23:59", true},
        {"french, 00:00", FR, "0000", "1111", " 0:00", true},
        {"french, 24 does not fit", FR, "24", "11", " 2:4M", false},
        {"french, Enter ends the hour at once", FR, "\n", "1", " 0:MM", false},
        {"french, Enter never ends the minute", FR, "1\n3\n", "1110", " 1:3M", false},
        {"french, 12:30 stays 12:30", FR, "1230", "1111", "12:30", true},
    };
    expect_typing<CTimeField>(cases);
}

TEST(TimeField, HourOfTheDayFollowsTheForm) {
    struct Hour {
        uint8_t form;
        const char* keys;
        uint8_t hour;
    } hours[] = {
        {EN, "12302", 0},  {EN, "12307", 12}, {EN, "01052", 1}, {EN, "01057", 13},
        {EN, "11597", 23}, {FR, "1230", 12},  {FR, "0030", 0},  {FR, "2300", 23},
    };
    for (const Hour& h : hours) {
        CTimeField field;
        field.Reset(h.form);
        type(field, h.keys);
        ASSERT_TRUE(field.IsComplete()) << h.keys;
        EXPECT_EQ(h.hour, field.Hour24()) << h.keys;
    }
}

TEST(TimeField, BackspaceAtTheMinuteErasesTheHour) {
    CTimeField field;
    field.Reset(EN);
    type(field, "11");
    EXPECT_EQ("11:MMA", shown(field));
    EXPECT_TRUE(field.HandleKey(BACKSPACE));
    EXPECT_EQ("1H:MMA", shown(field));
    field.Reset(FR);
    EXPECT_EQ("HH:MM", shown(field));
}

} // namespace
