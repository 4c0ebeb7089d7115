// Change notification: after a write made with DB_NOTIFY the store looks the
// written offset up in constant range tables and posts a post-office letter
// and/or sets bits of the "database" event-flag group; a changed configuration
// object also posts letter 93.
#pragma once

#include <cstddef>
#include <cstdint>

// One row: the offsets first..last (inclusive, row offsets of the objects),
// the letter code or the event bits, and the mode.
struct NotifyRow {
    int32_t first;
    int32_t last;
    int32_t value;
    int32_t mode; // NOTIFY_ANY_WRITE or NOTIFY_ON_CHANGE
};

const int32_t NOTIFY_ANY_WRITE = 1; // fires for reason 1 (unchanged) and 2 (changed)
const int32_t NOTIFY_ON_CHANGE = 2; // fires for reason 2 only

struct NotifyTable {
    const NotifyRow* rows;
    size_t count;
};

// The four tables: letters and bits of each image.
struct NotifyTables {
    NotifyTable nv_letters, nv_bits, v_letters, v_bits;
};
const NotifyTables& notify_tables();

// The first row of `table` that covers `offset` and fires for `reason`:
// true with its index.
bool notify_match(const NotifyTable& table, uint32_t offset, int reason, size_t* index);
