// Restriction strings: see restriction.h.
#include "frontpanel/restriction.h"

#include <cstring>

namespace {

enum token_kind : uint8_t { TOKEN_OP, TOKEN_ANY, TOKEN_PERIPHERAL };

struct operator_row {
    const char* text;
    token_kind kind;
    restriction_op op;
};
// Longer operators first, so that "<=" is not read as "<".
const operator_row OPERATORS[] = {
    {"<=", TOKEN_OP, RULE_LESS_EQUAL},   {">=", TOKEN_OP, RULE_GREATER_EQUAL},
    {"<", TOKEN_OP, RULE_LESS},          {">", TOKEN_OP, RULE_GREATER},
    {"=", TOKEN_OP, RULE_EQUAL},         {"!", TOKEN_OP, RULE_NOT_EQUAL},
    {"?", TOKEN_PERIPHERAL, RULE_EQUAL}, {"|", TOKEN_ANY, RULE_EQUAL},
};

const operator_row* match_operator(const char* at, const char* end) {
    for (const operator_row& row : OPERATORS) {
        size_t length = std::strlen(row.text);
        if (static_cast<size_t>(end - at) >= length && std::strncmp(at, row.text, length) == 0)
            return &row;
    }
    return nullptr;
}

// A decimal number with an optional sign, taken modulo 2^32 as the sign
// demands. -> false when no digit follows or the digits exceed 32 bits.
bool read_number(const char*& at, const char* end, uint32_t& value) {
    bool negative = false;
    if (at < end && (*at == '-' || *at == '+')) negative = *at++ == '-';
    uint64_t magnitude = 0;
    const char* first = at;
    while (at < end && *at >= '0' && *at <= '9') {
        magnitude = magnitude * 10 + static_cast<unsigned>(*at++ - '0');
        if (magnitude > 0xFFFFFFFFull) return false;
    }
    if (at == first) return false;
    value = static_cast<uint32_t>(negative ? 0 - magnitude : magnitude);
    return true;
}

} // namespace

restriction_rule restriction_rule::Parse(const char* text) {
    restriction_rule rule;
    if (!text) return rule;
    const char* at = text;
    const char* end = text + strnlen(text, MAX_LENGTH);
    while (at < end) {
        const operator_row* row = match_operator(at, end);
        if (!row) {
            ++at;
            continue;
        }
        at += std::strlen(row->text);
        if (row->kind == TOKEN_ANY) {
            rule.any_suffices = true;
            continue;
        }
        uint32_t number = 0;
        if (!read_number(at, end, number)) {
            rule.malformed = true;
            return rule;
        }
        if (row->kind == TOKEN_PERIPHERAL) {
            rule.peripheral_id = number;
            continue;
        }
        rule.present[row->op] = true;
        rule.bound[row->op] = number;
        if (row->op == RULE_EQUAL && rule.equal_count < MAX_EQUALS)
            rule.equals[rule.equal_count++] = number;
    }
    return rule;
}

bool restriction_rule::Holds(restriction_op op, uint32_t integer, uint32_t fraction) const {
    uint32_t n = bound[op];
    switch (op) {
    case RULE_LESS:
        return integer < n;
    case RULE_GREATER:
        return integer > n;
    case RULE_LESS_EQUAL:
        return integer < n || (integer == n && fraction == 0);
    case RULE_GREATER_EQUAL:
        return integer >= n;
    case RULE_NOT_EQUAL:
        return integer != n;
    case RULE_EQUAL:
        return integer == n;
    case RULE_OP_COUNT:
        break;
    }
    return false;
}

bool restriction_rule::AcceptsNumber(uint32_t value) const {
    if (malformed) return false;
    for (unsigned i = 0; i < equal_count; ++i)
        if (equals[i] == value) return true;
    if (equal_count > 0) return false;
    for (unsigned op = 0; op < RULE_OP_COUNT; ++op)
        if (present[op] && !Holds(static_cast<restriction_op>(op), value, 0)) return false;
    return true;
}

bool restriction_rule::AcceptsDecimal(uint32_t integer, uint32_t fraction) const {
    if (malformed) return false;
    bool any_clause = false;
    for (unsigned op = 0; op < RULE_OP_COUNT; ++op) {
        if (!present[op]) continue;
        any_clause = true;
        bool holds = Holds(static_cast<restriction_op>(op), integer, fraction);
        if (any_suffices && holds) return true;
        if (!any_suffices && !holds) return false;
    }
    return !any_suffices || !any_clause;
}
