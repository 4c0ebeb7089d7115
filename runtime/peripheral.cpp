#include "runtime/peripheral.h"

#include "runtime/console.h"
#include "platform/kernel/kernel.h"
#include "runtime/pools.h"

namespace {

const char* const kBlankStatus = "        ";

const char* const kStateTexts[] = {"SETTING UP", "INIT ERROR", "READING", "COMM ERROR",
                                   "UNKNOWN",    "READING",    "VALID"};

struct IdName {
    uint16_t id;
    uint8_t class_code;
    const char* name;
};
const IdName kIdNames[] = {
    {PERIPHERAL_ID_CLOCK, PERIPHERAL_CLASS_CLOCK, "CLOCK01"},
    {PERIPHERAL_ID_DIRECTORY_FILE, PERIPHERAL_CLASS_DIRECTORY_FILE, "DIRECTORY FILE"},
    {PERIPHERAL_ID_CONFIG_FILE, PERIPHERAL_CLASS_CONFIG_FILE, "CONFIG FILE"},
    {PERIPHERAL_ID_MONRC_FILE, PERIPHERAL_CLASS_MONRC_FILE, "MONRC FILE"},
    {PERIPHERAL_ID_SCRIPT_FILE, PERIPHERAL_CLASS_SCRIPT_FILE, "SCRIPT FILE"},
};

const IdName* find_id(uint16_t id) {
    for (const IdName& n : kIdNames)
        if (n.id == id) return &n;
    return nullptr;
}

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

const char* periph_id_to_name(uint16_t id) {
    const IdName* n = find_id(id);
    return n ? n->name : "UNKNOWN";
}

uint8_t periph_id_to_class(uint16_t id) {
    const IdName* n = find_id(id);
    return n ? n->class_code : 0;
}
