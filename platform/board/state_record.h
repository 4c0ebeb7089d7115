// A device's small fixed-size record kept in a file of the state directory,
// memory-mapped and shared with the file, so that whatever the device writes
// survives a killed program. The clock/NV device and the real-time clock keep
// their state so.
#pragma once

#include <cstddef>
#include <string>

namespace board {

// Maps `size` bytes of the file at `path` (sized to `size`; created when
// missing only if `create`). `had_bytes` tells whether the file held anything
// before. Null with the reason in `error`, which names the device `who`.
void* map_state_record(const char* who, const std::string& path, size_t size, bool create,
                       bool* had_bytes, std::string& error);
// Writes the record back to its file and unmaps it.
void unmap_state_record(void* record, size_t size);

} // namespace board
