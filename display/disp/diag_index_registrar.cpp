#include "display/disp/diag_index_registrar.h"

#include "display/disp/frame.h"
#include "store/database.h"
#include "store/objects.h"

#include <cstdio>
#include <cstring>

namespace disp {

namespace {

const unsigned FACE_ROWS = obj::halvObj11_6_1_2.rows;

bool used(unsigned slot) {
    return db_get(obj::halvObj11_2_1_6.row(slot)) != RESULT_FREE;
}

// A face's run of slots, written 1-based at the row of its face number - 1;
// a face number the table has no row for is left out.
bool write_range(uint32_t face_number, unsigned first, unsigned last) {
    if (face_number == 0 || face_number > FACE_ROWS) return false;
    db_set(obj::halvObj11_6_1_2.row(face_number - 1), first + 1, DB_NOTIFY);
    db_set(obj::halvObj11_6_1_3.row(face_number - 1), last + 1, DB_NOTIFY);
    return true;
}

void write_line(unsigned slot, unsigned line, const uint8_t* bytes, uint32_t length) {
    db_set_string(obj::halvObj11_3_1_3.row(slot * obj::kResultLinesPerEntry + line), bytes, length,
                  DB_NOTIFY);
}

} // namespace

bool diag_index_registrar::Register(uint8_t face_number, const char* name, uint32_t height,
                                    uint32_t width, uint8_t colour_mode, uint8_t kind,
                                    unsigned& slot) {
    if (!name) return false;
    for (slot = 0; slot < SLOTS && used(slot); ++slot) {
    }
    if (slot == SLOTS) return false;
    db_set_text(obj::halvObj11_2_1_2.row(slot), name, DB_NOTIFY);
    db_set(obj::halvObj11_2_1_3.row(slot), height & 0xFF, DB_NOTIFY);
    db_set(obj::halvObj11_2_1_4.row(slot), width & 0xFFFF, DB_NOTIFY);
    db_set(obj::halvObj11_2_1_5.row(slot), colour_mode, DB_NOTIFY);
    db_set(obj::halvObj11_2_1_7.row(slot), face_number, DB_NOTIFY);
    db_set(obj::halvObj11_2_1_6.row(slot), kind, DB_NOTIFY);
    db_set(obj::halvObj11_1, db_get(obj::halvObj11_1) + 1, DB_NOTIFY);
    Rebuild();
    return true;
}

void diag_index_registrar::Clear() {
    for (unsigned slot = 0; slot < SLOTS; ++slot)
        db_set(obj::halvObj11_2_1_6.row(slot), RESULT_FREE, DB_NOTIFY);
    db_set(obj::halvObj11_1, 0, DB_NOTIFY);
    // No range names a slot that is free now.
    for (unsigned row = 0; row < FACE_ROWS; ++row) {
        db_set(obj::halvObj11_6_1_2.row(row), 0, DB_NOTIFY);
        db_set(obj::halvObj11_6_1_3.row(row), 0, DB_NOTIFY);
    }
    db_set(obj::halvObj11_5, 0, DB_NOTIFY);
}

// A used slot of a higher face starts a new range; any used slot extends
// the open one; a free slot closes it.
void diag_index_registrar::Rebuild() {
    bool open = false;
    uint32_t face = 0;
    unsigned first = 0, last = 0, ranges = 0;
    auto close = [&] {
        if (open && write_range(face, first, last)) ++ranges;
        open = false;
    };
    for (unsigned slot = 0; slot < SLOTS; ++slot) {
        if (!used(slot)) {
            close();
            continue;
        }
        uint32_t number = db_get(obj::halvObj11_2_1_7.row(slot));
        if (!open || number > face) {
            close();
            open = true;
            face = number;
            first = slot;
        }
        last = slot;
    }
    close();
    db_set(obj::halvObj11_5, ranges, DB_NOTIFY);
}

bool diag_index_registrar::FirstSlot(uint8_t face_number, unsigned& slot) {
    if (face_number == 0 || face_number > FACE_ROWS) return false;
    uint32_t first = db_get(obj::halvObj11_6_1_2.row(face_number - 1));
    if (first == 0 || first > SLOTS) return false;
    slot = first - 1;
    return true;
}

void diag_index_registrar::StoreResult(unsigned slot, const frame* picture, bool copy,
                                       unsigned second, bool page_shown) {
    if (!picture || slot >= SLOTS || (copy && second >= SLOTS)) return;
    uint32_t length = db_get(obj::halvObj11_4);
    if (length == 0) return;
    if (length > MAX_LINE_LENGTH) length = MAX_LINE_LENGTH;
    static uint8_t line[MAX_LINE_LENGTH]; // the display thread's only
    char header[24];
    int header_length =
        std::snprintf(header, sizeof header, "%d,%d", picture->attribute[1], picture->attribute[2]);
    if (copy)
        db_set_string(obj::halvObj11_2_1_8.row(second), header, uint32_t(header_length), DB_NOTIFY);
    db_set_string(obj::halvObj11_2_1_8.row(slot), header, uint32_t(header_length), DB_NOTIFY);
    uint32_t position = 0;
    for (unsigned i = 0; i < LINES; ++i) {
        uint32_t read = 0;
        // The picture ends at the first read that gives nothing: no line
        // repeats what the buffer held before.
        if (!picture->read_bytes(position, line, length, read) || read == 0) break;
        if (!copy || page_shown) write_line(slot, i, line, length);
        if (copy) write_line(second, i, line, length);
    }
}

} // namespace disp
