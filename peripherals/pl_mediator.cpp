#include "peripherals/pl_mediator.h"

#include "ntcip/clock/clock.h"
#include "store/config_file.h"
#include "store/directory_file.h"
#include "store/monrc_file.h"
#include "store/script_file.h"

namespace {

// One creation entry per class code. The sensors, boards, clock and front
// panel add their rows as their classes come.
struct FactoryRow {
    uint8_t class_code;
    CPeripheral* (*create)(const PeripheralRecord& record);
};

const FactoryRow kFactoryRows[] = {
    {PERIPHERAL_CLASS_CLOCK, CClock::Create},
    {PERIPHERAL_CLASS_CONFIG_FILE, CFile_Config::Create},
    {PERIPHERAL_CLASS_DIRECTORY_FILE, CFile_Directory::Create},
    {PERIPHERAL_CLASS_MONRC_FILE, CFile_Monrc::Create},
    {PERIPHERAL_CLASS_SCRIPT_FILE, CFile_Script::Create},
};

bool of_class(const CPeripheral* p, uint8_t class_code) {
    return class_code == PERIPHERAL_CLASS_ANY || p->ClassCode() == class_code;
}

} // namespace

bool periph_factory_create(const PeripheralRecord& record, CPeripheral** out) {
    *out = nullptr;
    for (const FactoryRow& row : kFactoryRows)
        if (row.class_code == record.class_code) {
            *out = row.create(record);
            break;
        }
    return *out != nullptr;
}

pl_mediator::~pl_mediator() {
    if (state_ == CONSTRUCTED) return;
    tx_mutex_delete(&mutex_);
    for (unsigned i = 0; i < count_; ++i)
        delete list_[i];
    count_ = 0;
    state_ = CLEARED;
}

bool pl_mediator::Init() {
    if (state_ != CONSTRUCTED) return false;
    if (tx_mutex_create(&mutex_, "pl_mediator", TX_INHERIT) != TX_SUCCESS) return false;
    state_ = INITIALISED;
    return true;
}

bool pl_mediator::Create(uint16_t id, const char* parameters) {
    if (state_ == CONSTRUCTED || state_ == CLEARED) return false;
    PeripheralRecord record{PERIPHERAL_FIXED_SLOT, id, periph_id_to_class(id), parameters};
    CPeripheral* p = nullptr;
    if (!periph_factory_create(record, &p)) return false;
    if (Append(p)) return true;
    delete p;
    return false;
}

bool pl_mediator::Adopt(CPeripheral* peripheral) {
    if (state_ == CONSTRUCTED || state_ == CLEARED || peripheral == nullptr) return false;
    return Append(peripheral);
}

bool pl_mediator::Append(CPeripheral* peripheral) {
    if (tx_mutex_get(&mutex_, LOCK_WAIT) != TX_SUCCESS) return false;
    bool room = count_ < CAPACITY;
    if (room) list_[count_++] = peripheral;
    tx_mutex_put(&mutex_);
    return room;
}

CPeripheral* pl_mediator::FindLocked(uint16_t id) const {
    for (unsigned i = 0; i < count_; ++i)
        if (list_[i]->Id() == id) return list_[i];
    return nullptr;
}

template <class Change> bool pl_mediator::WithPeripheral(uint16_t id, Change change) {
    if (state_ == CONSTRUCTED || state_ == CLEARED) return false;
    if (tx_mutex_get(&mutex_, LOCK_WAIT) != TX_SUCCESS) return false;
    CPeripheral* p = FindLocked(id);
    if (p) change(*p);
    tx_mutex_put(&mutex_);
    return p != nullptr;
}

bool pl_mediator::Find(uint16_t id, CPeripheral** out) {
    CPeripheral* found = nullptr;
    WithPeripheral(id, [&](CPeripheral& p) { found = &p; });
    if (out) *out = found;
    return found != nullptr;
}

bool pl_mediator::Contains(uint16_t id) {
    return Find(id, nullptr);
}

bool pl_mediator::Enable(uint16_t id) {
    return WithPeripheral(id, [](CPeripheral& p) { p.SetEnabled(1); });
}

bool pl_mediator::Disable(uint16_t id) {
    return WithPeripheral(id, [](CPeripheral& p) { p.SetEnabled(0); });
}

bool pl_mediator::SetCountdown(uint16_t id, uint16_t value) {
    return WithPeripheral(id, [=](CPeripheral& p) { p.SetCountdown(value); });
}

bool pl_mediator::MakeDue(uint16_t id) {
    return WithPeripheral(id, [](CPeripheral& p) { p.SetCountdown(p.PollPeriod()); });
}

bool pl_mediator::SetPollPeriod(uint16_t id, uint16_t period, uint16_t* previous) {
    return WithPeripheral(id, [=](CPeripheral& p) {
        if (previous) *previous = p.PollPeriod();
        p.SetPollPeriod(period);
        p.SetCountdown(0);
    });
}

bool pl_mediator::First(uint8_t class_code, unsigned* cursor, CPeripheral** out) const {
    *cursor = 0;
    return Next(class_code, cursor, out);
}

bool pl_mediator::Next(uint8_t class_code, unsigned* cursor, CPeripheral** out) const {
    *out = nullptr;
    while (*cursor < count_) {
        CPeripheral* p = list_[(*cursor)++];
        if (of_class(p, class_code)) {
            *out = p;
            return true;
        }
    }
    return false;
}
