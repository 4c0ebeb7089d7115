#include "store/defaults_zuduz.h"

#include "store/defaults_table.h"

using namespace defaults;

namespace {

constexpr uint8_t kNoFailures[2] = {0, 0};

constexpr DefaultValue kZuduzNv[] = {
    set(obj::zuduzFanControl1, 2), // idle
    set(obj::zuduzFanControl2, 2),
};

constexpr DefaultValue kZuduzV[] = {
    set(obj::zuduzFanStatus1, 2), // off
    set(obj::zuduzFanStatus2, 2),
    bytes(obj::zuduzClimateFailures, kNoFailures, 1),
    bytes(obj::zuduzPowerStatus, kNoFailures, 2),
};

} // namespace

void zuduz_defaults_nv(int partial, CDataBase& store) {
    apply(store, kZuduzNv, partial);
}
void zuduz_defaults_volatile(CDataBase& store) {
    apply(store, kZuduzV);
}
