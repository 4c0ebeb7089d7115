// Restriction strings: ranges, lists, decimal bounds, peripheral marks, and
// the malformed rules that accept nothing.
#include "frontpanel/restriction.h"

#include <gtest/gtest.h>

namespace {

struct NumberCase {
    const char* rule;
    uint32_t value;
    bool accepted;
};

TEST(RestrictionRule, NumberRulesGiveRangesAndLists) {
    const NumberCase cases[] = {
        {nullptr, 12345, true},
        {"", 0, true},
        {"NONE", 7, true},
        {">0,<65536", 0, false},
        {">0,<65536", 1, true},
        {">0,<65536", 65535, true},
        {">0,<65536", 65536, false},
        {"=0=5", 0, true},
        {"=0=5", 5, true},
        {"=0=5", 3, false},
        {"=0,>10", 0, true},
        {"=0,>10", 20, false},
        {"<5,=10", 10, true}, // a listed value passes whatever the bounds say
        {">1, >5", 3, false}, // the last bound of a kind counts
        {">5, >1", 3, true},
        {">=2,<=4", 4, true},
        {">=2,<=4", 5, false},
        {"!3", 3, false},
        {"<-1", 4000000000u, true}, // the sign wraps: -1 is the largest value
        {"from 1 to 9: >0 <10", 9, true},
    };
    for (const NumberCase& c : cases)
        EXPECT_EQ(c.accepted, restriction_rule::Parse(c.rule).AcceptsNumber(c.value))
            << (c.rule ? c.rule : "(null)") << " " << c.value;
}

struct DecimalCase {
    const char* rule;
    uint32_t integer, fraction;
    bool accepted;
};

TEST(RestrictionRule, DecimalRulesBoundTheIntegerPartAndMayAcceptAny) {
    const DecimalCase cases[] = {
        {"<=100", 100, 0, true}, {"<=100", 100, 5, false}, {"<=100", 99, 9, true},
        {"<5|>10", 3, 0, true},  {"<5|>10", 12, 0, true},  {"<5|>10", 7, 0, false},
        {"|", 7, 0, true},       {">=1&<=9", 0, 5, false}, {">=1&<=9", 9, 0, true},
        {"=4", 4, 25, true},     {"!4", 4, 0, false},      {nullptr, 1, 1, true},
    };
    for (const DecimalCase& c : cases)
        EXPECT_EQ(c.accepted, restriction_rule::Parse(c.rule).AcceptsDecimal(c.integer, c.fraction))
            << (c.rule ? c.rule : "(null)") << " " << c.integer << "." << c.fraction;
}

TEST(RestrictionRule, MalformedRulesAcceptNothing) {
    const char* rules[] = {
        "<",            // an operator at the end
        ">x",           // no number after the operator
        "=-",           // a sign without digits
        "<99999999999", // beyond 32 bits
        ">0,<",         // a good clause does not save a bad one
    };
    for (const char* rule : rules) {
        restriction_rule parsed = restriction_rule::Parse(rule);
        EXPECT_TRUE(parsed.malformed) << rule;
        EXPECT_FALSE(parsed.AcceptsNumber(1)) << rule;
        EXPECT_FALSE(parsed.AcceptsDecimal(1, 0)) << rule;
    }
}

TEST(RestrictionRule, ReadsThePeripheralMarkAndStopsAtOneHundredCharacters) {
    EXPECT_EQ(30u, restriction_rule::Parse("?30").peripheral_id);
    EXPECT_EQ(31u, restriction_rule::Parse("?30 ?31").peripheral_id);
    EXPECT_EQ(0u, restriction_rule::Parse("LIGHT").peripheral_id);

    std::string padded(99, ' ');
    EXPECT_FALSE(restriction_rule::Parse((padded + ">5").c_str()).AcceptsNumber(3));
    padded += ' ';
    EXPECT_TRUE(restriction_rule::Parse((padded + ">5").c_str()).AcceptsNumber(3));
}

} // namespace
