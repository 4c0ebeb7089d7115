// The registered subtrees of the MIB registry and their search, shared by
// the lookup (ntcip/mib/registry.cpp) and the subtree records
// (ntcip/mib/subtrees.cpp); tests read them to check every table.
#pragma once

#include "ntcip/mib/mib_table.h"

constexpr uint32_t MIB_SUBTREE_OID_MAX = 17;
constexpr uint32_t MIB_STEP_BUDGET = 1000; // rows one subtree search may visit

struct mib_subtree_oid {
    uint32_t sub[MIB_SUBTREE_OID_MAX];
    uint8_t length;
};

struct mib_subtree {
    const char* label;
    mib_subtree_oid name;           // root
    mib_subtree_oid start;          // first object (inclusive)
    mib_subtree_oid end;            // end (exclusive)
    const mib_table* const* tables; // the groups' tables, in OID order
    uint8_t table_count;
    // Set by link_subtrees:
    const mib_variable* const* rows; // every row of the tables, in order
    uint16_t row_count;
    mib_subtree* next;
    mib_subtree* prev;
};

// The 11 subtree records, in list order.
mib_subtree* mib_subtree_records();
constexpr uint32_t MIB_SUBTREES = 11;

// Links the subtrees (row counts, neighbours); runs once.
void link_subtrees();
// Gives subtree number `s` (list order) the tables and links the list
// again (the tests' fixture tables).
void mib_set_subtree_tables(uint32_t s, const mib_table* const* tables, uint8_t count);
// Head of the linked list (null before link_subtrees).
mib_subtree* mib_subtree_list();

// The last subtree, from `from` (or the head), whose start OID is not above
// the name; null when the name lies before the first.
mib_subtree* walk_subtrees(const uint32_t* name, uint32_t length, mib_subtree* from);
// The subtree holding the name (start <= name < end). Not strict: when none
// holds it, the head if the name lies before it, else the subtree after the
// one found by walk_subtrees (null after the last).
mib_subtree* find_subtree(const uint32_t* name, uint32_t length, mib_subtree* from, bool strict);
