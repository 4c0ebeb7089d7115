#include "peripherals/pl_iterator.h"

#include "runtime/console.h"
#include "store/database.h"
#include "store/objects.h"

#include <cstdarg>
#include <cstdio>

namespace {

const uint32_t LIST_EDITING = 1;

// peripheralConfigState held at 1 for the life of the guard, then given back
// the value it had (with notification: a finished edit raises the reload).
class EditGuard {
  public:
    EditGuard() : kept_(db_get(obj::peripheralConfigState)) {
        db_set(obj::peripheralConfigState, LIST_EDITING, DB_NOTIFY);
    }
    ~EditGuard() { db_set(obj::peripheralConfigState, kept_, DB_NOTIFY); }
    EditGuard(const EditGuard&) = delete;
    EditGuard& operator=(const EditGuard&) = delete;

  private:
    uint32_t kept_;
};

uint16_t id_of(uint16_t slot) {
    return uint16_t(db_get(obj::halvPeripheralID.row(slot)));
}

void write_slot(uint16_t slot, uint16_t id, const char* parameters) {
    db_set(obj::halvPeripheralID.row(slot), id, DB_NOTIFY);
    db_set(obj::halvPeripheralStatus.row(slot), 0, DB_NOTIFY);
    db_set_text(obj::halvPeripheralParameters.row(slot), parameters, DB_NOTIFY);
}

void free_slot(uint16_t slot) {
    write_slot(slot, 0, "");
    db_set_text(obj::halvPeripheralAuxIOTableIndex.row(slot), "", DB_NOTIFY);
}

} // namespace

bool pl_iterator::Next(pl_entry* out) {
    for (; cursor_ < SLOTS; ++cursor_) {
        const uint16_t id = id_of(cursor_);
        if (id == 0) continue;
        *out = {cursor_, id, db_get_string(obj::halvPeripheralParameters.row(cursor_))};
        ++cursor_;
        return true;
    }
    return false;
}

bool pl_iterator::NextFree(pl_entry* out) {
    for (; cursor_ < SLOTS; ++cursor_) {
        if (id_of(cursor_) != 0) continue;
        *out = {cursor_, 0, nullptr};
        ++cursor_;
        return true;
    }
    return false;
}

bool pl_iterator::FindSlot(uint16_t id, uint16_t* slot) {
    Reset();
    pl_entry e;
    while (Next(&e))
        if (e.id == id) {
            if (slot) *slot = e.slot;
            return true;
        }
    return false;
}

bool pl_iterator::Contains(uint16_t id) {
    return FindSlot(id, nullptr);
}

bool pl_iterator::Add(uint16_t id, const char* format, ...) {
    char parameters[PARAMETERS_MAX + 1];
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(parameters, sizeof parameters, format, args);
    va_end(args);
    if (length < 0 || unsigned(length) > PARAMETERS_MAX || id == 0 || Contains(id)) return false;
    Reset();
    pl_entry free;
    if (!NextFree(&free)) return false;
    EditGuard editing;
    console_printf("menu position =  %d, id = %d\n", int(free.slot), int(id));
    write_slot(free.slot, id, parameters);
    return true;
}

bool pl_iterator::Remove(uint16_t id) {
    uint16_t slot = 0;
    if (!FindSlot(id, &slot)) return false;
    EditGuard editing;
    free_slot(slot);
    return true;
}

void pl_iterator::Clear() {
    EditGuard editing;
    Reset();
    pl_entry e;
    while (Next(&e))
        free_slot(e.slot);
}

bool pl_iterator::SetFlags(uint16_t id, uint8_t value) {
    uint16_t slot = 0;
    if (!FindSlot(id, &slot)) return false;
    db_set(obj::halvPeripheralStatus.row(slot), value, DB_NOTIFY);
    return true;
}
