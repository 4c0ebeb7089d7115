#include "store/defaults_private.h"

#include "store/defaults.h"
#include "store/defaults_table.h"

using namespace defaults;

namespace {

constexpr uint8_t kZero[] = {0};

constexpr DefaultValue kFdotNv[] = {
    set(obj::fdotDmsMaxPollTime, 0),
    set(obj::fdotObj11_6, 0),
    full_reset(set(obj::fdotMaxNumPixelFailure, 0xFFFFFFFFu)), // never blank for pixels
    set(obj::fdotObj11_11, 3600),
};

constexpr DefaultValue kFdotV[] = {set(obj::fdotObj11_10, 0)};

constexpr DefaultValue kPanynjV[] = {
    empty(obj::panynjObj1_3),
    set(obj::panynjObj1_5, 0),
    bytes(obj::panynjObj1_7, kZero, 1),
};

// quorvel_defaults_1_1, _1_1_5, _1_1_20, _1_2, _1_2_8, _1_2_9, _1_2_11, _1_2_16.
constexpr DefaultValue kQuorvelV[] = {
    set(obj::quorvelObj1_1_2, 0),
    set(obj::quorvelObj1_1_6, 0),
    set(obj::quorvelObj1_1_7, 0),
    set(obj::quorvelObj1_1_8, 0),
    empty(obj::quorvelObj1_1_10),
    set(obj::quorvelObj1_1_11to18, 0),
    set(obj::quorvelObj1_1_19, 0),
    set(obj::quorvelObj1_1_21, 0),
    set(obj::quorvelObj1_1_22, 0),
    set(obj::quorvelObj1_1_5_2, 1),
    set(obj::quorvelObj1_1_5_3, 1),
    set(obj::quorvelObj1_1_20_1, 0),
    set(obj::quorvelObj1_1_20_2, 0),
    empty(obj::quorvelObj1_1_20_3),
    empty(obj::quorvelObj1_1_20_4),
    empty(obj::quorvelObj1_1_20_5),
    set(obj::quorvelObj1_1_20_6, 0),
    set(obj::quorvelObj1_1_20_7, 0),
    set(obj::quorvelObj1_1_20_8, 0),
    set(obj::quorvelObj1_1_20_9, 0),
    set(obj::quorvelObj1_2_5, 0),
    set(obj::quorvelObj1_2_6, 0),
    set(obj::quorvelObj1_2_7, 0),
    empty(obj::quorvelObj1_2_10),
    set(obj::quorvelObj1_2_12, 0),
    // The clock's daylight-saving flag (1 not in force, 2 in force) until the
    // clock has run: not in force, so that the served value reads 0.
    set(obj::quorvelObj1_2_13, 1),
    set(obj::quorvelObj1_2_14, 0),
    empty(obj::quorvelObj1_2_15),
    set(obj::quorvelObj1_2_17, 0),
    set(obj::quorvelObj1_2_18, 0),
    set(obj::quorvelObj1_2_19, 0),
    empty(obj::quorvelObj1_2_20),
    set(obj::quorvelObj1_2_21, 0),
    set(obj::quorvelObj1_2_8_1_4, 0),
    set(obj::quorvelObj1_2_8_1_5, 0),
    empty(obj::quorvelObj1_2_8_1_6),
    set(obj::quorvelObj1_2_9_1_2, 0),
    set(obj::quorvelObj1_2_9_1_3, 0),
    set(obj::quorvelObj1_2_9_1_4, 0),
    set(obj::quorvelObj1_2_9_1_6, 0),
    empty(obj::quorvelObj1_2_11_1_3),
    empty(obj::quorvelObj1_2_16_1_2),
};

} // namespace

DefaultTables nv_default_tables_private() {
    static const DefaultTable tables[] = {table(kFdotNv)};
    return {tables, 1};
}

void fdot_defaults_init(int partial, CDataBase& store) {
    apply(store, kFdotNv, partial);
}
void fdot_volatile_init(CDataBase& store) {
    apply(store, kFdotV);
}
void panynj_defaults_init(CDataBase& store) {
    apply(store, kPanynjV);
}
void quorvel_defaults_init(CDataBase& store) {
    apply(store, kQuorvelV);
}

void ess_defaults_init(CDataBase& store) {
    const DefaultValue location[] = {
        set(obj::essLatitude, GetInteger(store, obj::siteLatitude)),
        set(obj::essLongitude, GetInteger(store, obj::siteLongitude)),
        set(obj::essVehicleBearing, 0),
    };
    apply(store, location);
}
