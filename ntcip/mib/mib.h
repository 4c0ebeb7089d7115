// The MIB registry: turns the name of an SNMP varbind into the object that
// serves it, with its checks and write permission.
//
// Every object the sign serves is a row of a static table (ntcip/mib/mib_table.h);
// every table belongs to one of the 11 registered subtrees ("cls b", "auxio",
// "fdot", "halv", "quorvel", "panynj", "zuduz", "protocol", "dms", "ess",
// "global"), which init_mib links once at start-up. A row's handler reads or
// writes the object store.
//
// How a caller (the SNMP agent, the OID-text access) uses it:
//   1. init_mib() once, before the first request (it is idempotent).
//   2. Per request, a mib_context that lives outside the thread stack (about
//      2 KB; the agent keeps one per request record). mib_context_begin()
//      fills in the community's set-permission mask (all ones for the
//      privileged community) and the store flags of handler writes.
//   3. Per varbind and pass:
//        - SET: take mib_set_lock() around both passes of the whole SET. For
//          each varbind stage its value with mib_stage_value(); run the
//          validation pass with ctx.set_phase = 0 (handlers only check the
//          instance, nothing is written, the varbind is left as received),
//          then the commit pass with ctx.set_phase = 1 (handlers write and
//          read the value back into the varbind).
//        - GET and GETNEXT: ctx.set_phase = 1.
//      Call getStatPtr(ctx, name, &length, &type, &value_length, &access,
//      mode, pdu, index, &error) with type holding the varbind's snmp_syntax.
//      For GETNEXT the name and length are rewritten to the object found.
//   4. error: MIB_FOUND (0), MIB_NO_SUBTREE (1: outside every subtree, or
//      GETNEXT past the last object; the name is then as given),
//      MIB_NO_SUCH_NAME (2: no such object or instance, or the community's
//      mask misses the row's set-permission mask) or MIB_BAD_VALUE (10: the
//      SET value failed the row's syntax or value check; nothing is written).
//      A SET answered with access MIB_READ_ONLY (a read-only row, or a
//      configuration row while the sign is locked) wrote nothing.
//      A handler may also set pdu->error_status itself (3 badValue, 5 genErr)
//      when the store refused a write.
//   5. On success mib_answer_varbind() turns the handler's result (the
//      varbind's handler_result word) into the response value of the varbind.
//
// Nothing of a request lives in a global: each context is private to its
// request. The only shared state is the configuration write override
// (mib_set_write_override) and the address-translation cache.
#pragma once

#include "comm/snmp/snmp.h"

#include <cstdint>

// Value types of the registry's rows.
enum mib_type : uint8_t {
    MIB_OBJECTID = 4,
    MIB_OCTETSTR = 5,
    MIB_INTEGER = 6,
    MIB_IPADDRESS_OLD = 7, // no row uses it
    MIB_IPADDRESS = 8,
    MIB_COUNTER = 9,
    MIB_GAUGE = 10,
    MIB_TIMETICKS = 11,
    MIB_OPAQUE = 12,
};

// Access of a row: read-only, read-write, or read-only unless the
// configuration write override is on (then read-write, value checks skipped).
enum mib_access : uint8_t {
    MIB_READ_ONLY = 1,
    MIB_READ_WRITE = 2,
    MIB_CONFIG = 3,
};

// Request modes of a lookup.
enum mib_mode : int {
    MIB_GETNEXT = 0,
    MIB_GET = 1,
    MIB_SET = 2,
};

// Lookup results (the error out-argument of getStatPtr).
enum mib_error : int {
    MIB_FOUND = 0,
    MIB_NO_SUBTREE = 1,
    MIB_NO_SUCH_NAME = 2,
    MIB_BAD_VALUE = 10,
};

constexpr uint32_t MIB_SET_VALUE_MAX = 2000; // longest SET value the registry stages
constexpr uint32_t MIB_ALL_RIGHTS = 0xFFFFFFFFu;

// The SET value being looked up: the integer (numbers, and an IpAddress as
// a.b.c.d with a in the top byte), or the bytes (octet strings, IpAddress,
// and an OID value in the store's form: 4 big-endian bytes per sub-identifier).
struct mib_set_value {
    uint32_t integer;
    // The number is above 2^31-1 (not a bare 32-bit pattern): no signed
    // range holds it. An INTEGER below zero stays its pattern (-1 is
    // 4294967295 to an unsigned check).
    bool above_signed;
    uint32_t length;
    alignas(4) uint8_t bytes[MIB_SET_VALUE_MAX + 1]; // NUL after the value
};

// One request's lookup state; handlers receive it.
struct mib_context {
    uint8_t set_phase;       // 0 validation pass of a SET, 1 otherwise
    uint32_t community_mask; // rights of the requesting community
    uint32_t write_flags;    // store flags of handler writes (DB_NOTIFY, DB_NO_VALIDATE)
    mib_set_value set_value; // staged value of the varbind being set
    // Internal hand-overs of one GETNEXT between instance checks and the
    // lookup; getStatPtr clears them at each call.
    uint8_t roll_flag;
    uint8_t rollover_count;
    int request_mode; // the mode getStatPtr was called with
};

// Links the subtrees (once), creates the SET lock, and connects the start-up
// script to the OID-text setters. The label is ignored.
void init_mib(const char* label = "Snmp");

// A context for a new request: phase 1, the given mask, notified and
// validated writes.
void mib_context_begin(mib_context& ctx, uint32_t community_mask);

// Stages a varbind's value for a SET lookup. -> 1, or 0 when the value
// cannot be staged (octets longer than MIB_SET_VALUE_MAX, or an OID value of
// more than MIB_SET_VALUE_MAX / 4 sub-identifiers): answer it with badValue.
int mib_stage_value(mib_context& ctx, const snmp_varbind& varbind);

// The lookup. name: the varbind's sub-identifiers (room for SNMP_MAX_OID),
// rewritten for GETNEXT. type: in the varbind's snmp_syntax, out the row's
// mib_type. -> the address of the varbind's handler_result word, or null.
uintptr_t* getStatPtr(mib_context& ctx, uint32_t* name, uint32_t* length, uint8_t* type,
                      uint32_t* value_length, uint16_t* access, int mode, snmp_pdu* pdu, int index,
                      int* error);

// The same lookup on a single varbind (no request record): a handler's
// error-status report goes to *error_status. The OID-text access uses it.
uintptr_t* mib_lookup(mib_context& ctx, snmp_varbind& varbind, uint8_t* type,
                      uint32_t* value_length, uint16_t* access, int mode, uint32_t* error_status,
                      int* error);

// Fills the varbind's response value (syntax, value, value_length in the
// codec's conventions) from its handler_result word after a lookup that
// found the object: type and value_length as getStatPtr returned them.
void mib_answer_varbind(snmp_varbind& varbind, uint8_t type, uint32_t value_length);

// "SNMP PROTECT MUTEX": held around the whole of every SET (both passes of
// the agent's SETs, each OID-text set), so that SETs never interleave.
void mib_set_lock();
void mib_set_unlock();

// The configuration write override of every access-3 row: on, those rows
// are writable and their value checks are skipped (their syntax check never
// is); off, they are read-only. The private unlock object switches it.
void mib_set_write_override(bool on);
bool mib_write_override();

// --- helpers shared with the object groups ------------------------------------

// SNMP order: -1, 0, 1 (sub-identifiers unsigned, then the shorter first).
int snmp_oid_compare(const uint32_t* a, uint32_t a_length, const uint32_t* b, uint32_t b_length);
// The first n sub-identifiers; when a has fewer than n: 1 if a is not shorter than b, else -1.
int snmp_oid_ncompare(const uint32_t* a, uint32_t a_length, const uint32_t* b, uint32_t b_length,
                      uint32_t n);
// OID values in the store: 4 big-endian bytes per sub-identifier, then a NUL.
void oid_to_octets(uint8_t* bytes, const uint32_t* subids, uint32_t count);
// -> the number of sub-identifiers (byte length / 4, at most `capacity`).
uint32_t octets_to_oid(uint32_t* subids, uint32_t capacity, const uint8_t* bytes,
                       uint32_t byte_length);
// The snmp_syntax of a row type.
uint16_t mib_syntax_of(uint8_t type);
// 1 when the varbind syntax belongs to the row type.
int check_syntax_match(uint32_t syntax, uint8_t type);
