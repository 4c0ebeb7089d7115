// The lookup of the MIB registry: finds the subtree of a name, the row of
// the object in it (exactly, or the next object for GETNEXT), rewrites a
// GETNEXT name to the next instance, checks a SET value against the row, and
// calls the row's handler.
//
// Rows of a subtree are sorted: the first row a linear search could match is
// found by binary search (every row before it lies below the name and
// matches nothing), and the search goes on linearly from there with the step
// budget counted as if it had visited the rows before. The row a name found
// is remembered, so that a name asked again skips the binary search.
#include "ntcip/mib/registry.h"

#include "ntcip/mib/oid_text.h"
#include "runtime/console.h"
#include "platform/kernel/kernel.h"
#include "store/database.h"

#include <atomic>
#include <cstring>

namespace {

constexpr uint32_t MIB_ROWS_MAX = 1024;

const mib_variable* g_row_index[MIB_ROWS_MAX];
mib_subtree* g_head = nullptr;
bool g_linked = false;

std::atomic<bool> g_write_override{false};

TX_MUTEX g_set_mutex{};
bool g_set_mutex_created = false;

// ---- names -------------------------------------------------------------------------

bool starts_with(const uint32_t* name, uint32_t length, const uint32_t* prefix,
                 uint32_t prefix_length) {
    return length >= prefix_length &&
           std::memcmp(name, prefix, prefix_length * sizeof(uint32_t)) == 0;
}

void copy_name(uint32_t* name, uint32_t* length, const uint32_t* from, uint32_t from_length) {
    std::memmove(name, from, from_length * sizeof(uint32_t));
    *length = from_length;
}

bool is_column(const mib_variable& row) {
    return row.oid[row.oid_length - 1] != 0;
}

// The column of a row: its OID without the placeholder (or the trailing 0).
uint32_t column_length(const mib_variable& row) {
    return row.oid_length - 1u;
}

bool under_column(const mib_variable& row, const uint32_t* name, uint32_t length) {
    return starts_with(name, length, row.oid, column_length(row));
}

// ---- GETNEXT rewriting by index count ------------------------------------------------

void first_instance(const mib_variable& row, uint32_t* name, uint32_t* length, uint32_t indexes) {
    copy_name(name, length, row.oid, column_length(row));
    for (uint32_t i = 0; i < indexes; ++i)
        name[(*length)++] = 1;
}

void rewrite_one_index(mib_context& ctx, const mib_variable& row, uint32_t* name,
                       uint32_t* length) {
    const uint32_t L = row.oid_length;
    bool below_row = snmp_oid_compare(name, *length, row.oid, L) <= 0;
    if (under_column(row, name, *length) && *length >= L && below_row && !ctx.roll_flag) {
        // The next index after the given one; sub-identifiers past the index
        // only mean that the instance lies beyond it.
        *length = L;
        name[L - 1]++;
    } else {
        first_instance(row, name, length, 1);
    }
}

void rewrite_two_indexes(mib_context& ctx, const mib_variable& row, uint32_t* name,
                         uint32_t* length) {
    const uint32_t L = row.oid_length;
    const uint32_t c = ctx.rollover_count;
    if (c != 0 && *length >= L + 1) {
        // From past the end of an index to the first of the next step.
        *length = L + 1;
        for (uint32_t k = 0; k < c; ++k)
            name[L - k] = 1;
        name[L - c]++;
        if (!under_column(row, name, *length)) first_instance(row, name, length, 2);
    } else if (under_column(row, name, *length) && *length >= L + 1) {
        *length = L + 1;
        name[L]++;
        if (name[L - 1] == 0) first_instance(row, name, length, 2);
    } else if (under_column(row, name, *length) && *length == L && name[L - 1] != 0) {
        // Only the first index given: its first instance.
        name[(*length)++] = 1;
    } else {
        first_instance(row, name, length, 2);
    }
}

void rewrite_next(mib_context& ctx, const mib_variable& row, uint32_t* name, uint32_t* length) {
    switch (row.index_count) {
    case 0:
        copy_name(name, length, row.oid, row.oid_length);
        break;
    case 1:
        rewrite_one_index(ctx, row, name, length);
        break;
    case 2:
        rewrite_two_indexes(ctx, row, name, length);
        break;
    default:
        break; // the handler steps the name itself
    }
    ctx.roll_flag = 0;
    ctx.rollover_count = 0;
}

// ---- SET checks ------------------------------------------------------------------------

// above_signed: the number is above 2^31-1, which no signed range holds.
int value_passes_check(uint32_t value, bool above_signed, const mib_value_check& check) {
    if (above_signed && check.size == MIB_CHECK_SIGNED) return 0;
    if (check.kind == MIB_CHECK_LIST) {
        for (uint32_t i = 0; i < check.count; ++i)
            if (check.values[i] == value) return 1;
        return 0;
    }
    for (uint32_t i = 0; i < check.count; ++i) {
        uint32_t lo = check.values[2 * i], hi = check.values[2 * i + 1];
        if (check.size == MIB_CHECK_UNSIGNED && value >= lo && value <= hi) return 1;
        if (check.size == MIB_CHECK_SIGNED && int32_t(value) >= int32_t(lo) &&
            int32_t(value) <= int32_t(hi))
            return 1;
    }
    return 0;
}

int length_passes_check(uint32_t length, const mib_value_check& check) {
    if (check.kind != MIB_CHECK_RANGES) return 1;
    return length >= check.values[0] && length <= check.values[1];
}

bool value_passes(const mib_context& ctx, const mib_variable& row) {
    if (row.check.count == 0) return true;
    switch (row.type) {
    case MIB_INTEGER:
    case MIB_COUNTER:
    case MIB_GAUGE:
    case MIB_TIMETICKS:
        return value_passes_check(ctx.set_value.integer, ctx.set_value.above_signed, row.check) !=
               0;
    case MIB_OBJECTID:
    case MIB_OCTETSTR:
    case MIB_OPAQUE:
        return length_passes_check(ctx.set_value.length, row.check) != 0;
    default:
        return true;
    }
}

// An INTEGER row whose declared range reaches above 2^31-1 answers its value
// unsigned (a positive INTEGER, five octets from 2^31 on).
bool answers_unsigned(const mib_variable& row) {
    if (row.type != MIB_INTEGER || row.check.size != MIB_CHECK_UNSIGNED) return false;
    const uint32_t values =
        row.check.kind == MIB_CHECK_RANGES ? 2u * row.check.count : row.check.count;
    for (uint32_t i = 0; i < values; ++i)
        if (row.check.values[i] > 0x7FFFFFFFu) return true;
    return false;
}

// ---- the row search ------------------------------------------------------------------------

struct Lookup {
    mib_context& ctx;
    uint32_t* name;
    uint32_t* length;
    uint8_t* type;
    uint32_t* value_length;
    uint16_t* access;
    int mode;
    snmp_varbind& varbind;
    uint32_t* error_status;
    int* error;
    uint8_t syntax; // the varbind's syntax, for the SET check
    // The name as given (GETNEXT): an answer for that very name is no answer.
    uint32_t given[SNMP_MAX_OID];
    uint32_t given_length;
};

bool is_given_name(const Lookup& q) {
    return q.mode == MIB_GETNEXT &&
           snmp_oid_compare(q.name, *q.length, q.given, q.given_length) == 0;
}

// Index of the first row not below the name, by binary search.
uint32_t search_first_not_below(const mib_subtree& tree, const uint32_t* name, uint32_t length) {
    uint32_t lo = 0, hi = tree.row_count;
    while (lo < hi) {
        uint32_t mid = (lo + hi) / 2;
        const mib_variable& r = *tree.rows[mid];
        if (snmp_oid_compare(r.oid, r.oid_length, name, length) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

// Managers ask for the same names over and over: the row found for a name
// is remembered in a small table indexed by a hash of the name, so that a
// repeated name costs one comparison instead of a binary search. Rows change
// only when the subtrees are linked again, which forgets every entry.
constexpr uint32_t HINT_SLOTS = 256;
constexpr uint32_t HINT_NAME_MAX = 24;

struct row_hint {
    uint32_t generation = 0; // 0: empty
    const mib_subtree* tree = nullptr;
    uint32_t index = 0;
    uint32_t length = 0;
    uint32_t name[HINT_NAME_MAX];
};

row_hint g_hints[HINT_SLOTS];
uint32_t g_hint_generation = 1;

uint32_t hint_slot(const mib_subtree& tree, const uint32_t* name, uint32_t length) {
    uint32_t h = 2166136261u ^ static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&tree));
    for (uint32_t i = 0; i < length; ++i)
        h = (h ^ name[i]) * 16777619u;
    return (h ^ (h >> 16)) % HINT_SLOTS;
}

uint32_t first_not_below(const mib_subtree& tree, const uint32_t* name, uint32_t length) {
    if (length > HINT_NAME_MAX) return search_first_not_below(tree, name, length);
    row_hint& hint = g_hints[hint_slot(tree, name, length)];
    if (hint.generation == g_hint_generation && hint.tree == &tree && hint.length == length &&
        std::memcmp(hint.name, name, length * sizeof(uint32_t)) == 0)
        return hint.index;
    hint.generation = g_hint_generation;
    hint.tree = &tree;
    hint.index = search_first_not_below(tree, name, length);
    hint.length = length;
    std::memcpy(hint.name, name, length * sizeof(uint32_t));
    return hint.index;
}

bool row_matches(const mib_variable& row, const uint32_t* name, uint32_t length, int mode) {
    int cmp = snmp_oid_compare(name, length, row.oid, row.oid_length);
    if (mode == MIB_GETNEXT) return cmp < 0 || (cmp == 0 && is_column(row));
    return cmp == 0 || (cmp < 0 && is_column(row));
}

// Step 5 and 6: the SET checks; false when the permission is refused.
bool check_set(Lookup& q, const mib_variable& row, uint8_t* access, int* call_mode) {
    bool overridden = row.access == MIB_CONFIG && mib_write_override();
    if (overridden) *access = MIB_READ_WRITE;
    if (!check_syntax_match(q.syntax, row.type) || (!overridden && !value_passes(q.ctx, row)))
        *q.error = MIB_BAD_VALUE;
    if (!overridden && row.set_mask != 0 && (row.set_mask & q.ctx.community_mask) == 0) {
        console_printf("access denied, panynj\n");
        *q.error = MIB_NO_SUCH_NAME;
        return false;
    }
    if (*access == MIB_CONFIG) *access = MIB_READ_ONLY;
    if (*access == MIB_READ_ONLY || *q.error == MIB_BAD_VALUE) *call_mode = MIB_GET;
    return true;
}

uintptr_t* call_handler(Lookup& q, const mib_variable& row, uint8_t access, int call_mode) {
    mib_request request{q.ctx,          row,       access,        q.name, q.length, call_mode,
                        q.value_length, q.varbind, q.error_status};
    return row.handler ? row.handler(request) : mib_column_handler(request);
}

// The answer's INTEGER form, told to mib_answer_varbind through the
// varbind's syntax (a SET's validation pass leaves the varbind as received).
void mark_integer_answer(Lookup& q, const mib_variable& row) {
    if (row.type != MIB_INTEGER || (q.mode == MIB_SET && q.ctx.set_phase == 0)) return;
    q.varbind.syntax = answers_unsigned(row) ? SNMP_UINTEGER : SNMP_INTEGER;
}

// Puts a name that does not lie under the subtree (or, for GETNEXT, lies
// before its start) just before the first row.
void name_before_first_row(Lookup& q, const mib_subtree& tree) {
    const mib_variable& first = *tree.rows[0];
    copy_name(q.name, q.length, first.oid, column_length(first));
}

uintptr_t* fvars(Lookup& q, mib_subtree& tree) {
    *q.error = MIB_NO_SUCH_NAME;
    if (tree.row_count == 0) return nullptr;
    if (!starts_with(q.name, *q.length, tree.name.sub, tree.name.length)) {
        console_printf("fvars: cmp result0 %d\n",
                       snmp_oid_compare(q.name, *q.length, tree.name.sub, tree.name.length));
        console_printf("No Such Name #9\n");
        name_before_first_row(q, tree);
    } else if (q.mode == MIB_GETNEXT &&
               snmp_oid_compare(q.name, *q.length, tree.start.sub, tree.start.length) < 0) {
        console_printf("No Such Name #10\n");
        name_before_first_row(q, tree);
    }
    uint32_t k = first_not_below(tree, q.name, *q.length);
    uint32_t steps = k;
    for (; k < tree.row_count; ++k) {
        if (++steps > MIB_STEP_BUDGET) break;
        const mib_variable& row = *tree.rows[k];
        if (!row_matches(row, q.name, *q.length, q.mode)) continue;
        for (;;) {
            *q.error = MIB_FOUND;
            uint8_t access = row.access;
            int call_mode = q.mode;
            if (q.mode == MIB_GETNEXT) rewrite_next(q.ctx, row, q.name, q.length);
            if (q.mode == MIB_SET && !check_set(q, row, &access, &call_mode)) return nullptr;
            uintptr_t* result = call_handler(q, row, access, call_mode);
            if (result != nullptr && is_given_name(q)) result = nullptr;
            if (result != nullptr) {
                *q.type = row.type;
                *q.access = access;
                mark_integer_answer(q, row);
                return result;
            }
            if (q.mode != MIB_GETNEXT) {
                console_printf("No Such Name #13\n");
                *q.error = MIB_NO_SUCH_NAME;
                return nullptr;
            }
            if (q.ctx.rollover_count != 1) break;
            if (++steps > MIB_STEP_BUDGET) {
                console_printf("timed out finding next object\n");
                *q.error = MIB_NO_SUCH_NAME;
                return nullptr;
            }
        }
    }
    if (steps > MIB_STEP_BUDGET) console_printf("timed out finding next object\n");
    *q.error = MIB_NO_SUCH_NAME;
    return nullptr;
}

mib_subtree* next_with_rows(mib_subtree* tree) {
    while (tree != nullptr && tree->row_count == 0)
        tree = tree->next;
    return tree;
}

// A GETNEXT name outside every subtree: the start OID of the next subtree
// with rows, read exactly; the next object after it when it has no instance.
uintptr_t* next_from_outside(Lookup& q) {
    mib_subtree* tree = next_with_rows(find_subtree(q.name, *q.length, nullptr, false));
    if (tree == nullptr) {
        *q.error = MIB_NO_SUBTREE;
        return nullptr;
    }
    copy_name(q.name, q.length, tree->start.sub, tree->start.length);
    q.mode = MIB_GET;
    uintptr_t* result = fvars(q, *tree);
    q.mode = MIB_GETNEXT;
    if (result != nullptr) return result;
    for (; tree != nullptr; tree = next_with_rows(tree->next))
        if ((result = fvars(q, *tree)) != nullptr) return result;
    *q.error = MIB_NO_SUBTREE;
    return nullptr;
}

uintptr_t* lookup(Lookup& q) {
    init_mib();
    q.ctx.roll_flag = 0;
    q.ctx.rollover_count = 0;
    q.ctx.request_mode = q.mode;
    if (*q.length > SNMP_MAX_OID) {
        *q.error = MIB_NO_SUBTREE;
        return nullptr;
    }
    q.given_length = *q.length;
    std::memcpy(q.given, q.name, q.given_length * sizeof(uint32_t));

    mib_subtree* tree = find_subtree(q.name, *q.length, nullptr, true);
    uintptr_t* result = nullptr;
    if (tree == nullptr && q.mode != MIB_GETNEXT) {
        trace_printf("getStatPtr fvars tp == NULL\n");
        *q.error = MIB_NO_SUBTREE;
        return nullptr;
    }
    if (tree == nullptr) {
        result = next_from_outside(q);
    } else {
        result = fvars(q, *tree);
        for (tree = next_with_rows(tree->next); result == nullptr && q.mode == MIB_GETNEXT;
             tree = next_with_rows(tree->next)) {
            if (tree == nullptr) {
                *q.error = MIB_NO_SUBTREE;
                break;
            }
            result = fvars(q, *tree);
        }
    }
    if (result == nullptr && q.mode == MIB_GETNEXT) {
        copy_name(q.name, q.length, q.given, q.given_length);
        *q.error = MIB_NO_SUBTREE;
    }
    return result;
}

} // namespace

// ---- subtree list ------------------------------------------------------------------------

void link_subtrees() {
    mib_subtree* records = mib_subtree_records();
    uint32_t used = 0;
    for (uint32_t s = 0; s < MIB_SUBTREES; ++s) {
        mib_subtree& tree = records[s];
        tree.rows = g_row_index + used;
        tree.row_count = 0;
        for (uint32_t t = 0; t < tree.table_count; ++t)
            for (uint32_t r = 0; r < tree.tables[t]->count && used < MIB_ROWS_MAX; ++r, ++used)
                g_row_index[used] = &tree.tables[t]->rows[r];
        tree.row_count = uint16_t(g_row_index + used - tree.rows);
        tree.prev = s > 0 ? &records[s - 1] : nullptr;
        tree.next = s + 1 < MIB_SUBTREES ? &records[s + 1] : nullptr;
    }
    g_head = &records[0];
    g_hint_generation++; // the rows found before may have moved
}

void mib_set_subtree_tables(uint32_t s, const mib_table* const* tables, uint8_t count) {
    if (s >= MIB_SUBTREES) return;
    mib_subtree_records()[s].tables = tables;
    mib_subtree_records()[s].table_count = count;
    link_subtrees();
}

mib_subtree* mib_subtree_list() {
    return g_head;
}

mib_subtree* walk_subtrees(const uint32_t* name, uint32_t length, mib_subtree* from) {
    mib_subtree* found = nullptr;
    for (mib_subtree* t = from ? from : g_head; t != nullptr; t = t->next) {
        if (snmp_oid_compare(t->start.sub, t->start.length, name, length) > 0) break;
        found = t;
    }
    return found;
}

mib_subtree* find_subtree(const uint32_t* name, uint32_t length, mib_subtree* from, bool strict) {
    mib_subtree* t = walk_subtrees(name, length, from);
    if (t != nullptr && snmp_oid_compare(name, length, t->end.sub, t->end.length) < 0) return t;
    if (strict) {
        trace_printf("find_subtree: Warning Couldn't Find OID\n");
        return nullptr;
    }
    if (t == nullptr) return from ? from : g_head;
    return t->next;
}

// ---- public entry points ------------------------------------------------------------------------

void init_mib(const char*) {
    if (g_linked) return;
    CInterruptLock guard;
    if (g_linked) return;
    link_subtrees();
    oid_text_attach_script();
    g_linked = true;
}

void mib_context_begin(mib_context& ctx, uint32_t community_mask) {
    ctx.set_phase = 1;
    ctx.community_mask = community_mask;
    ctx.write_flags = DB_NOTIFY;
    ctx.set_value.integer = 0;
    ctx.set_value.above_signed = false;
    ctx.set_value.length = 0;
    ctx.set_value.bytes[0] = 0;
    ctx.roll_flag = 0;
    ctx.rollover_count = 0;
    ctx.request_mode = MIB_GET;
}

uintptr_t* mib_lookup(mib_context& ctx, snmp_varbind& varbind, uint8_t* type,
                      uint32_t* value_length, uint16_t* access, int mode, uint32_t* error_status,
                      int* error) {
    Lookup q{ctx,  varbind.name, &varbind.name_length, type,  value_length, access,
             mode, varbind,      error_status,         error, *type,        {},
             0};
    return lookup(q);
}

uintptr_t* getStatPtr(mib_context& ctx, uint32_t* name, uint32_t* length, uint8_t* type,
                      uint32_t* value_length, uint16_t* access, int mode, snmp_pdu* pdu, int index,
                      int* error) {
    if (pdu == nullptr || index < 0 || index >= int(SNMP_MAX_VARBINDS)) {
        *error = MIB_NO_SUBTREE;
        return nullptr;
    }
    snmp_varbind& varbind = pdu->varbinds[index];
    Lookup q{ctx,   name,  length, type, value_length, access, mode, varbind, &pdu->error_status,
             error, *type, {},     0};
    return lookup(q);
}

void mib_set_lock() {
    if (tx_in_non_thread_context()) return;
    if (!g_set_mutex_created) {
        CInterruptLock guard;
        if (!g_set_mutex_created) {
            tx_mutex_create(&g_set_mutex, "SNMP PROTECT MUTEX", TX_INHERIT);
            g_set_mutex_created = true;
        }
    }
    tx_mutex_get(&g_set_mutex, TX_WAIT_FOREVER);
}

void mib_set_unlock() {
    if (tx_in_non_thread_context() || !g_set_mutex_created) return;
    tx_mutex_put(&g_set_mutex);
}

void mib_set_write_override(bool on) {
    g_write_override.store(on);
}

bool mib_write_override() {
    return g_write_override.load();
}
