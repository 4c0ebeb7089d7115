// Change notification: letters and "database" bits of notified writes.
#include "tests/store/store_fixture.h"

#include "store/config_objects.h"
#include "store/notify.h"

using namespace store_test;

namespace {

class NotifyTest : public StoreFixture {
  protected:
    void SetUp() override {
        StoreFixture::SetUp();
        db->SetNotifyOn(true);
    }
    // A notified write of `value` (or of "ab" + value for a string object).
    void Write(const DbObject& o, uint32_t value) {
        const uint32_t flags = DB_NOTIFY | DB_NO_VALIDATE;
        if (o.offset == obj::globalTime.offset && o.image == DbImage::NV)
            SetGlobalTime(*db, o.offset, 4, value, Img(o), flags);
        else if (o.is_dynamic())
            SetStr(o, "ab" + std::to_string(value), flags);
        else
            Set(o, value, flags);
    }
};

const bool ANY = true, CHG = false;

struct Row {
    const char* name;
    DbObject object;
    uint32_t letter; // 0: none
    bool letter_any;
    uint32_t bits; // 0: none
    bool bits_any;
};

// One object (first and last rows of columns) for each of the table rows.
const Row kFixedRows[] = {
    {"eventClassLimit 0", obj::eventClassLimit.row(0), 22, CHG, 0, CHG},
    {"eventClassLimit 15", obj::eventClassLimit.row(15), 22, CHG, 0, CHG},
    {"dmsIllumBrightnessValues", obj::dmsIllumBrightnessValues, 34, CHG, 0x20000, CHG},
    {"fontStatus 0", obj::fontStatus.row(0), 88, CHG, 0, CHG},
    {"fontStatus 19", obj::fontStatus.row(19), 88, CHG, 0, CHG},
    {"halvObj2_8", obj::halvObj2_8, 24, CHG, 0, CHG},
    {"halvEnableRealTimePixelDiagnostics", obj::halvEnableRealTimePixelDiagnostics, 31, CHG,
     0x40000000, CHG},
    {"halvShutOffTemp", obj::halvShutOffTemp, 87, CHG, 0, CHG},
    {"globalLocalTimeDifferential", obj::globalLocalTimeDifferential, 89, ANY, 0, CHG},
    {"controllerStandardTimeZone", obj::controllerStandardTimeZone, 90, ANY, 0, CHG},
    {"dmsSignType", obj::dmsSignType, 96, CHG, 0, CHG},
    {"halvObj2_17_6", obj::halvObj2_17_6, 105, CHG, 0, CHG},
    {"rs232PortInSpeed 0", obj::rs232PortInSpeed.row(0), 106, CHG, 0, CHG},
    {"rs232PortInSpeed 4", obj::rs232PortInSpeed.row(4), 106, CHG, 0, CHG},
    {"halvCommConfigInnerCharTimeout 0", obj::halvCommConfigInnerCharTimeout.row(0), 106, CHG, 0,
     CHG},
    {"halvCommConfigInnerCharTimeout 4", obj::halvCommConfigInnerCharTimeout.row(4), 106, CHG, 0,
     CHG},
    {"halvFeatureSet", obj::halvFeatureSet, 110, CHG, 0, CHG},
    {"halvSpecialFeatureSet", obj::halvSpecialFeatureSet, 119, CHG, 0x100000, CHG},
    {"globalTime", obj::globalTime, 0, CHG, 0x1, CHG},
    {"halvModuleID", obj::halvModuleID, 0, CHG, 0x40000000, CHG},
    {"dmsSignAccess", obj::dmsSignAccess, 0, CHG, 0x40000000, CHG},
    {"vmsSignHeightPixels", obj::vmsSignHeightPixels, 0, CHG, 0x40000000, CHG},
    {"vmsSignWidthPixels", obj::vmsSignWidthPixels, 0, CHG, 0x40000000, CHG},
    {"dmsGraphicStatus 0", obj::dmsGraphicStatus.row(0), 0, CHG, 0x400, CHG},
    {"dmsGraphicStatus 49", obj::dmsGraphicStatus.row(49), 0, CHG, 0x400, CHG},
    {"changeableMsgStatus 0", obj::changeableMsgStatus.row(0), 0, CHG, 0x800, CHG},
    {"changeableMsgStatus 549", obj::changeableMsgStatus.row(549), 0, CHG, 0x800, CHG},
    {"halvRemoteIPAddress", obj::halvRemoteIPAddress, 0, CHG, 0x80000, CHG},
    {"halvRemoteIPPort", obj::halvRemoteIPPort, 0, CHG, 0x80000, CHG},
    {"halvObj1_1", obj::halvObj1_1, 0, CHG, 0x800000, CHG},
    {"dmsTimeCommLoss", obj::dmsTimeCommLoss, 0, CHG, 0x8000, CHG},
    {"dmsIllumControl", obj::dmsIllumControl, 0, CHG, 0x20000, CHG},
    {"dmsIllumManLevel", obj::dmsIllumManLevel, 0, CHG, 0x20000, CHG},
    {"dmsIllumBrightnessValuesError", obj::dmsIllumBrightnessValuesError, 0, CHG, 0x20000, CHG},
    {"halvIllumBrightnessScaler", obj::halvIllumBrightnessScaler, 0, CHG, 0x20000, CHG},
    {"halvLineLength 0", obj::halvLineLength.row(0), 0, CHG, 0x40000000, CHG},
    {"halvLineLength 8", obj::halvLineLength.row(8), 0, CHG, 0x40000000, CHG},
    {"halvhdlcAddress", obj::halvhdlcAddress, 0, CHG, 0x20000000, CHG},
    {"lampTestActivation", obj::lampTestActivation, 23, CHG, 0, CHG},
    {"activationRequestCode 0", obj::activationRequestCode.row(0), 91, ANY, 0, CHG},
    {"activationRequestCode 6", obj::activationRequestCode.row(6), 91, ANY, 0, CHG},
    {"ifPhysAddress", obj::ifPhysAddress, 92, CHG, 0, CHG},
    {"halvObj2_30_4", obj::halvObj2_30_4, 123, CHG, 0, CHG},
    {"dmsActivateMessage", obj::dmsActivateMessage, 0, CHG, 0x4000, ANY},
    {"dmsControlMode", obj::dmsControlMode, 0, CHG, 0x1000, CHG},
    {"pixelTestActivation", obj::pixelTestActivation, 0, CHG, 0x200000, CHG},
    {"halvObj4_1", obj::halvObj4_1, 0, CHG, 0x8000000, CHG},
    {"halvObj2_3", obj::halvObj2_3, 0, CHG, 0x200, CHG},
    {"dmsMemoryMgmt", obj::dmsMemoryMgmt, 0, CHG, 0x200, CHG},
    {"dmsIllumPhotocellLevelStatus", obj::dmsIllumPhotocellLevelStatus, 0, CHG, 0x20000, ANY},
    {"volatileMsgStatus 0", obj::volatileMsgStatus.row(0), 0, CHG, 0x800, CHG},
    {"volatileMsgStatus 3", obj::volatileMsgStatus.row(3), 0, CHG, 0x800, CHG},
    {"peripheralConfigState", obj::peripheralConfigState, 0, CHG, 0x1000000, CHG},
};

// The 16 event-class clear times (letters 6..21), then the fixed rows.
std::vector<Row> all_rows() {
    static const char* const names[16] = {
        "clear time 0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13", "14",
        "clear time 15"};
    std::vector<Row> rows;
    for (unsigned k = 0; k < 16; ++k)
        rows.push_back({names[k], obj::eventClassClearTime.row(k), 6 + k, ANY, 0, CHG});
    rows.insert(rows.end(), std::begin(kFixedRows), std::end(kFixedRows));
    return rows;
}

std::vector<uint32_t> expected_letters(const Row& r, bool changed) {
    std::vector<uint32_t> v;
    if (r.letter && (changed || r.letter_any)) v.push_back(r.letter);
    bool config = r.object.image == DbImage::NV && config_object_at(r.object.offset) != nullptr;
    if (changed && config) v.push_back(93);
    return v;
}

TEST_F(NotifyTest, EveryRowFiresOnAChangeAndOnlyAnyWriteRowsOnAnUnchangedWrite) {
    const std::vector<Row> rows = all_rows();
    uint32_t value = 1;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        ++value;
        Write(r.object, value);
        EXPECT_EQ(expected_letters(r, true), letters.Take());
        EXPECT_EQ(r.bits, TakeBits());
        Write(r.object, value); // the same value again
        EXPECT_EQ(expected_letters(r, false), letters.Take());
        EXPECT_EQ(r.bits_any ? r.bits : 0u, TakeBits());
    }
    // Every one of the 57 table rows was covered above by at least one object.
    const NotifyTables& t = notify_tables();
    EXPECT_EQ(57u, t.nv_letters.count + t.nv_bits.count + t.v_letters.count + t.v_bits.count);
    for (const NotifyTable* table : {&t.nv_letters, &t.nv_bits, &t.v_letters, &t.v_bits}) {
        for (size_t i = 0; i < table->count; ++i) {
            bool covered = false;
            for (const Row& r : rows) {
                bool nv_table = table == &t.nv_letters || table == &t.nv_bits;
                size_t hit = 0;
                if ((r.object.image == DbImage::NV) == nv_table &&
                    notify_match(*table, r.object.offset, DB_REASON_CHANGED, &hit) && hit == i)
                    covered = true;
            }
            EXPECT_TRUE(covered) << "row " << i << " of a table starting at "
                                 << table->rows[0].first;
        }
    }
}

TEST_F(NotifyTest, SpecialFeatureSetPostsItsLetterBitAndTheConfigurationLetter) {
    Write(obj::halvSpecialFeatureSet, 0x20);
    EXPECT_EQ((std::vector<uint32_t>{119, 93}), letters.Take());
    EXPECT_EQ(0x100000u, TakeBits());
    Write(obj::dmsSignAccess, 3);
    EXPECT_EQ((std::vector<uint32_t>{93}), letters.Take());
    EXPECT_EQ(0x40000000u, TakeBits());
    Write(obj::halvObj1_1, 2);
    EXPECT_TRUE(letters.Take().empty());
    EXPECT_EQ(0x800000u, TakeBits());
}

TEST_F(NotifyTest, NothingIsAnnouncedWithoutFlagOneOrWhileNotificationIsOff) {
    Set(obj::halvSpecialFeatureSet, 1, DB_NO_VALIDATE);
    Set(obj::dmsControlMode, 7, DB_NO_VALIDATE);
    EXPECT_TRUE(letters.Take().empty());
    EXPECT_EQ(0u, TakeBits());
    db->SetNotifyOn(false);
    Write(obj::halvSpecialFeatureSet, 2);
    SetStr(obj::activationRequestCode.row(6), "code", DB_NOTIFY);
    EXPECT_TRUE(letters.Take().empty());
    EXPECT_EQ(0u, TakeBits());
}

TEST_F(NotifyTest, AnOffsetCoveredByTwoRowsFiresTheEarlierOnly) {
    const NotifyRow rows[] = {{10, 20, 1, NOTIFY_ON_CHANGE}, {15, 15, 2, NOTIFY_ANY_WRITE}};
    const NotifyTable table{rows, 2};
    size_t hit = 9;
    ASSERT_TRUE(notify_match(table, 15, DB_REASON_CHANGED, &hit));
    EXPECT_EQ(0u, hit);
    ASSERT_TRUE(notify_match(table, 15, DB_REASON_UNCHANGED, &hit));
    EXPECT_EQ(1u, hit);
    EXPECT_FALSE(notify_match(table, 21, DB_REASON_CHANGED, &hit));
    EXPECT_FALSE(notify_match(table, 9, DB_REASON_CHANGED, &hit));
}

} // namespace
