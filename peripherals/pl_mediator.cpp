#include "peripherals/pl_mediator.h"

#include "runtime/console.h"
#include "store/database.h"
#include "store/objects.h"

#include <cstdint>

namespace {

bool of_class(const CPeripheral* p, uint8_t class_code) {
    return class_code == PERIPHERAL_CLASS_ANY || p->ClassCode() == class_code;
}

} // namespace

pl_mediator::~pl_mediator() {
    if (state_ == CONSTRUCTED) return;
    tx_mutex_delete(&mutex_);
    while (count_ > 0)
        delete list_[--count_];
    state_ = CLEARED;
}

bool pl_mediator::Init(const pl_factory* factories) {
    if (state_ != CONSTRUCTED || factories == nullptr) return false;
    if (tx_mutex_create(&mutex_, "pl_mediator", TX_INHERIT) != TX_SUCCESS) return false;
    factories_ = factories;
    state_ = INITIALISED;
    return true;
}

bool pl_mediator::Create(uint16_t id, const char* parameters) {
    if (state_ == CONSTRUCTED || state_ == CLEARED) {
        console_printf("Error creating menu %d, %s \n", int(id), parameters ? parameters : "");
        return false;
    }
    return Build({PERIPHERAL_FIXED_SLOT, id, periph_id_to_class(id), parameters});
}

bool pl_mediator::Build(const PeripheralRecord& record) {
    CPeripheral* p = nullptr;
    if (!factories_->Create(record, &p)) return false;
    if (Append(p)) return true;
    delete p;
    return false;
}

bool pl_mediator::Load(pl_iterator& cursor) {
    if (state_ == CONSTRUCTED || state_ == CLEARED || state_ == LOADED) return false;
    cursor.Reset();
    pl_entry entry;
    while (cursor.Next(&entry))
        LoadSlot(entry);
    state_ = LOADED;
    return true;
}

void pl_mediator::LoadSlot(const pl_entry& entry) {
    const char* name = periph_id_to_name(entry.id);
    if (Contains(entry.id)) {
        console_printf("skip duplicate %s\n", name);
        return;
    }
    const bool built =
        Build({entry.slot, entry.id, periph_id_to_class(entry.id), entry.parameters});
    if (!built) console_printf("load failure on %s\n", name);
    db_set(obj::halvPeripheralStatus.row(entry.slot), built ? 0 : 1, DB_NOTIFY);
}

// Deletes in the reverse order of creation, so that rows handed out by a
// counter come back in order. A registry whose mutex cannot be had deletes
// nothing and is marked unloaded all the same.
bool pl_mediator::Unload() {
    if (state_ != LOADED) return false;
    state_ = UNLOADED;
    if (tx_mutex_get(&mutex_, LOCK_WAIT) != TX_SUCCESS) return true;
    CPeripheral* doomed[CAPACITY];
    unsigned doomed_count = 0, kept = 0;
    for (unsigned i = 0; i < count_; ++i) {
        if (list_[i]->ListSlot() < PERIPHERAL_FIXED_SLOT)
            doomed[doomed_count++] = list_[i];
        else
            list_[kept++] = list_[i];
    }
    count_ = kept;
    tx_mutex_put(&mutex_);
    while (doomed_count > 0)
        delete doomed[--doomed_count];
    return true;
}

bool pl_mediator::Adopt(CPeripheral* peripheral) {
    if (state_ == CONSTRUCTED || state_ == CLEARED || peripheral == nullptr) return false;
    return Append(peripheral);
}

CPeripheral* pl_mediator::Release(uint16_t id) {
    if (state_ == CONSTRUCTED || state_ == CLEARED) return nullptr;
    if (tx_mutex_get(&mutex_, LOCK_WAIT) != TX_SUCCESS) return nullptr;
    CPeripheral* found = nullptr;
    for (unsigned i = 0; i < count_ && found == nullptr; ++i)
        if (list_[i]->Id() == id) {
            found = list_[i];
            for (unsigned j = i + 1; j < count_; ++j)
                list_[j - 1] = list_[j];
            list_[--count_] = nullptr;
        }
    tx_mutex_put(&mutex_);
    return found;
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
