// Store services for the protocol agents: the community check, the PMPP
// group addresses, the PPP CHAP texts, the MIB-II snmp counters, the local-time
// feature switch and the journal's fill level.
#include "store/database.h"
#include "store/objects.h"

#include <cstring>

namespace {

const uint32_t LOCAL_TIME_FEATURE = 0x20; // bit of halvSpecialFeatureSet

// The name equals `community` (non-empty, same length, same bytes); compared
// under the store lock, so that a concurrent write cannot free it meanwhile.
bool same_name(CDataBase& s, const DbObject& name, const char* community, size_t community_length) {
    s.Lock();
    uint32_t length = 0;
    const char* stored = GetString(s, name, &length);
    bool same =
        length != 0 && length == community_length && std::memcmp(stored, community, length) == 0;
    s.Unlock();
    return same;
}

int lookup(CDataBase& s, const char* community, uint32_t* mask, uint32_t admin_mask) {
    if (!community || !mask) return 0;
    size_t length = std::strlen(community);
    if (same_name(s, obj::communityNameAdmin, community, length)) {
        *mask = admin_mask;
        return 2;
    }
    for (unsigned r = 0; r < obj::communityNameUser.rows; ++r) {
        if (same_name(s, obj::communityNameUser.row(r), community, length)) {
            *mask = GetInteger(s, obj::communityNameAccessMask.row(r));
            return 1;
        }
    }
    return 0;
}

} // namespace

int CDataBase::LookupCommunity(const char* community, uint32_t* mask) {
    return lookup(*this, community, mask, 0xFFFFFFFFu);
}

// The twin starts its mask at 0, so a refused community leaves 0 in it.
int CDataBase::LookupCommunity2(const char* community, uint32_t* mask) {
    if (mask) *mask = 0;
    return lookup(*this, community, mask, 0);
}

int CDataBase::IsGroupAddress(uint32_t address) {
    for (unsigned r = 0; r < obj::pmppGroupAddress.rows; ++r)
        if (GetInteger(*this, obj::pmppGroupAddress.row(r)) == address) return 255;
    return 0;
}

uint32_t CDataBase::GetChapName(char* buffer, uint32_t size) {
    return GetStringCopy(*this, obj::chapName, buffer, size);
}

uint32_t CDataBase::GetChapSecret(char* buffer, uint32_t size) {
    return GetStringCopy(*this, obj::chapSecret, buffer, size);
}

const char* CDataBase::GetChapName() {
    return GetString(*this, obj::chapName);
}
const char* CDataBase::GetChapSecret() {
    return GetString(*this, obj::chapSecret);
}

// A counter is read and written back under the store lock, so that two agent
// threads raising the same counter never lose an increment.
int CDataBase::IncCounter(const DbObject& counter) {
    Lock();
    int r = SetInteger(*this, counter, GetInteger(*this, counter) + 1, DB_NOTIFY);
    Unlock();
    return r;
}

int CDataBase::ClearPanynjCounter() {
    return SetInteger(*this, obj::panynjObj1_5.offset, 4, 0, v_, DB_NOTIFY);
}

int CDataBase::IsLocalTimeFeature() {
    return (GetInteger(*this, obj::halvSpecialFeatureSet.offset, 4, nv_, 0) & LOCAL_TIME_FEATURE)
               ? 1
               : 0;
}

void CDataBase::SetLocalTimeFeature(int on) {
    const DbObject& features = obj::halvSpecialFeatureSet;
    uint32_t bits = GetInteger(*this, features.offset, 4, nv_, 0);
    if (!on) {
        SetInteger(*this, features.offset, 4, bits & ~LOCAL_TIME_FEATURE, nv_, DB_NOTIFY);
        return;
    }
    if (bits & LOCAL_TIME_FEATURE) return;
    SetInteger(*this, features.offset, 4, bits | LOCAL_TIME_FEATURE, nv_, DB_NOTIFY);
    uint32_t local = GetInteger(*this, obj::controllerLocalTime.offset, 4, v_, 0);
    SetGlobalTime(*this, obj::globalTime.offset, 4, local, nv_, DB_NOTIFY | DB_NO_TIME_WARNING);
    SetInteger(*this, obj::controllerStandardTimeZone.offset, 4, 0, nv_, DB_NOTIFY);
}

unsigned CDataBase::FlashUsedPercent() {
    unsigned percent = journal_ ? journal_->UsedPercent() : 0;
    return percent > 100 ? 100 : percent;
}
