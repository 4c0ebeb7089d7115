// Restriction strings: the rules that number and decimal entries on the
// front panel check a typed value against, and that list entries use to name
// the peripheral they would add.
//
// A rule is short text read up to its end or 100 characters. An operator is
// followed by a decimal number with an optional sign (compared unsigned, so
// "-1" is 4294967295); every other character (",", blanks, words) is ignored:
//   "=N"   the value N is allowed (number entries: a list of allowed values)
//   "<N"  ">N"  "<=N"  ">=N"  "!N"   bounds and an excluded value
//   "|"    any one clause suffices (decimal entries)
//   "?N"   a list entry that adds peripheral id N
// Of each operator but "=" the last one given counts.
//
// A rule whose operator has no number after it, or whose number does not fit
// 32 bits, is malformed: it accepts nothing, so that a wrong rule in a table
// shows at the panel instead of letting any value through.
#pragma once

#include <cstdint>

enum restriction_op : uint8_t {
    RULE_LESS,
    RULE_GREATER,
    RULE_LESS_EQUAL,
    RULE_GREATER_EQUAL,
    RULE_NOT_EQUAL,
    RULE_EQUAL, // the last "=" (decimal entries); number entries use the list
    RULE_OP_COUNT,
};

struct restriction_rule {
    static const unsigned MAX_EQUALS = 16;
    static const unsigned MAX_LENGTH = 100;

    bool malformed = false;
    bool any_suffices = false;
    bool present[RULE_OP_COUNT] = {};
    uint32_t bound[RULE_OP_COUNT] = {};
    uint32_t equals[MAX_EQUALS] = {};
    uint8_t equal_count = 0;
    uint32_t peripheral_id = 0; // the last "?N"; 0 none

    // Reads `text` (null: the empty rule, which accepts everything).
    static restriction_rule Parse(const char* text);

    // A whole number: one of the "=" values, or, with no "=" clause, within
    // every bound given.
    bool AcceptsNumber(uint32_t value) const;
    // A decimal number `integer`.`fraction`: the bounds apply to the integer
    // part, but "<=N" refuses N with a fraction. With "|" one clause that
    // holds suffices; otherwise every clause must hold.
    bool AcceptsDecimal(uint32_t integer, uint32_t fraction) const;

  private:
    bool Holds(restriction_op op, uint32_t integer, uint32_t fraction) const;
};
