// The code translations of the customer subtrees, one table row per map.
#include "ntcip/objects/customer.h"

#include "store/database.h"

namespace {

constexpr uint32_t MAP_PAIRS = 2;

struct code_map {
    uint8_t pairs;
    uint32_t from[MAP_PAIRS];
    uint32_t to[MAP_PAIRS];
    uint32_t otherwise;
};

// In the order of customer_map.
constexpr code_map kMaps[] = {
    {2, {5, 7}, {3, 4}, 1}, // MAP_FDOT_SOURCE
    {2, {4, 5}, {2, 3}, 1}, // MAP_PANYNJ_SOURCE
    {2, {6, 5}, {2, 4}, 1}, // MAP_SUPPLY_TYPE
    {1, {2}, {0}, 1},       // MAP_SUPPLY_STATE
    {1, {2}, {1}, 0},       // MAP_SUPPLY_OK
    {1, {0}, {1}, 0},       // MAP_INVERTED
    {2, {1, 2}, {0, 1}, 0}, // MAP_DAYLIGHT
};

bool read_mapped(mib_request& request, uint32_t row) {
    const uint32_t stored = db_get(mib_row_object(request.row, row));
    mib_answer_integer(request, customer_mapped(customer_map(request.row.column.tag), stored));
    return true;
}

} // namespace

uint32_t customer_mapped(customer_map which, uint32_t stored) {
    const code_map& map = kMaps[which];
    for (uint32_t i = 0; i < map.pairs; ++i)
        if (map.from[i] == stored) return map.to[i];
    return map.otherwise;
}

const mib_hooks customer_map_hooks = {nullptr, read_mapped, nullptr};
