#include "runtime/peripheral.h"

#include "runtime/console.h"
#include "platform/kernel/kernel.h"
#include "runtime/pools.h"
#include "runtime/utilities.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace {

const char* const kBlankStatus = "        ";

const char* const kStateTexts[] = {"SETTING UP", "INIT ERROR", "READING", "COMM ERROR",
                                   "UNKNOWN",    "READING",    "VALID"};

// Bit of the "database" group raised when a peripheral object goes away.
const ULONG PERIPHERAL_DELETED_BIT = 0x40;

} // namespace

CPeripheral::CPeripheral(uint8_t class_code, uint16_t id)
    : status_text_(kBlankStatus), class_code_(class_code), id_(id) {}

CPeripheral::~CPeripheral() {
    tx_event_flags_set(&database_event_flags(), PERIPHERAL_DELETED_BIT, TX_OR);
}

const char* peripheral_state_text(uint8_t state) {
    return state < sizeof kStateTexts / sizeof kStateTexts[0] ? kStateTexts[state] : "UNKNOWN";
}

bool CPeripheral::GetStateText(const char** text) const {
    if (text != nullptr) *text = peripheral_state_text(m_byState);
    return m_byState == STATE_VALID;
}

uint8_t CPeripheral::GetErrorCode() const {
    if (m_byState == STATE_INIT_ERROR) return 1;
    if (m_byState == STATE_COMM_ERROR) return 2;
    return 0;
}

void CPeripheral::PrintStatus() {
    console_printf("%s is currently %s\n", periph_id_to_name(id_),
                   enabled_ ? "enabled" : "disabled");
}

bool AuxIORows::Push(int32_t value) {
    if (count >= CAPACITY) return false;
    row[count++] = value;
    return true;
}

// Each field is read as hexadecimal digits (any other character counts as 0,
// as hex_to_u32 reads it); a field too long to keep or a ninth field refuses
// the whole text.
bool CPeripheral::ParseParameters(const char* text, PeripheralParameters* out) {
    *out = PeripheralParameters{};
    if (text == nullptr) return true;
    unsigned field = 0;
    for (const char* p = text;; ++field) {
        const char* comma = std::strchr(p, ',');
        const size_t length = comma ? size_t(comma - p) : std::strlen(p);
        if (field >= PeripheralParameters::FIELDS || length > PeripheralParameters::FIELD_CHARS) {
            *out = PeripheralParameters{};
            return false;
        }
        char copy[PeripheralParameters::FIELD_CHARS + 1];
        std::memcpy(copy, p, length);
        copy[length] = '\0';
        out->value[field] = hex_to_u32(copy);
        if (comma == nullptr) break;
        p = comma + 1;
    }
    out->count = field + 1;
    return true;
}

// Rows in order, each "0x%X", joined by commas.
unsigned CPeripheral::FormatAuxIORows(const AuxIORows& rows, char* text, unsigned size) {
    unsigned used = 0;
    text[0] = '\0';
    for (unsigned i = 0; i < rows.count && used + 1 < size; ++i) {
        int n = std::snprintf(text + used, size - used, i + 1 < rows.count ? "0x%X," : "0x%X",
                              unsigned(rows.row[i]));
        if (n < 0 || used + unsigned(n) >= size) {
            text[used] = '\0';
            break;
        }
        used += unsigned(n);
    }
    return used;
}

// An optional "0x" before each number, hexadecimal digits up to the first
// other character, then on after the next comma.
void CPeripheral::ParseAuxIORows(const char* text, AuxIORows* rows) {
    *rows = AuxIORows{};
    for (const char* p = text; p && *p;) {
        if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) p += 2;
        uint32_t value = 0;
        for (; std::isxdigit(uint8_t(*p)); ++p)
            value = value << 4 | hex_digit_value(*p);
        if (!rows->Push(int32_t(value))) return;
        p = std::strchr(p, ',');
        if (p) ++p;
    }
}
