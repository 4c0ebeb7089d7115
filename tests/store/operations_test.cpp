// The store's images and the six object operations.
#include "tests/store/store_fixture.h"

#include "platform/board/bus.h"
#include "store/journal.h"
#include "tests/support/kernel_fixture.h"

#include <cstring>
#include <fstream>
#include <regex>

using namespace store_test;
using test_support::ClearConsole;
using test_support::ConsoleText;

namespace {

class OperationsTest : public StoreFixture {};

// The dynamic slots of the non-volatile image: ranges and single offsets.
struct Range {
    uint32_t first, last;
};
const Range kDynamicRanges[] = {
    {92, 168},      {5392, 25788},  {25832, 30228}, {33532, 33536}, {33548, 33552}, {33580, 33584},
    {33592, 33596}, {33604, 33608}, {33632, 34648}, {49580, 51496}, {98012, 98020}, {98028, 98028},
    {95204, 95220}, {95744, 96760}, {96764, 97780}, {97800, 97996}, {52100, 52336}, {52340, 52576},
    {77180, 93496}, {93580, 93640}, {48124, 48128}, {93664, 94060}, {34712, 34908}, {35264, 35460},
    {35516, 48112}, {94464, 95004},
};
const uint32_t kDynamicSingles[] = {33568, 33616, 33624, 93660, 68,    25804, 25808,
                                    25812, 25816, 95072, 95024, 95144, 95156, 95160,
                                    95164, 95172, 97788, 95084, 95088};

TEST_F(OperationsTest, EveryDynamicOffsetIsKnownAndReadsEmptyOnAFreshStore) {
    for (const Range& r : kDynamicRanges) {
        for (uint32_t o = r.first; o <= r.last; o += 4) {
            ASSERT_TRUE(CDataBase::IsDynamicOffset(o)) << o;
            uint32_t n = 99;
            EXPECT_STREQ("", GetString(*db, o, 4, db->NvImage(), &n));
            EXPECT_EQ(0u, n);
        }
    }
    // Every byte of a slot belongs to its dynamic object.
    for (uint32_t o : {93u, 171u, 98023u})
        EXPECT_TRUE(CDataBase::IsDynamicOffset(o)) << o;
    for (uint32_t o : kDynamicSingles)
        EXPECT_TRUE(CDataBase::IsDynamicOffset(o)) << o;
    for (uint32_t o : {172u, 33620u, 98024u, 0u, 48180u, 5391u, 91u})
        EXPECT_FALSE(CDataBase::IsDynamicOffset(o)) << o;
    // Every integer object of a fresh store reads 0.
    for (const DbObject& o :
         {obj::vmsSignHeightPixels, obj::dmsSignType, obj::halvSpecialFeatureSet,
          obj::characterWidth.row(5099), obj::dmsControlMode})
        EXPECT_EQ(0u, Get(o));
    EXPECT_EQ(5391u, obj::characterWidth.row(5099).offset);
}

// The image's sections follow each other from the header on, without gap or
// overlap, and end where the image (and the size the journal records) ends.
TEST(ImageLayout, SectionsTileTheNonVolatileImage) {
    uint32_t next = kNvHeaderSize;
    for (const NvSection& section : kNvSections) {
        EXPECT_EQ(next, section.first) << section.name;
        next = section.first + section.size;
    }
    EXPECT_EQ(uint32_t(CDataBase::NV_IMAGE_BYTES), next);
    EXPECT_EQ(uint32_t(CDatabase::IMAGE_BYTES), next);
}

// Every string object of the catalogue must be known as dynamic: the journal
// replays any other non-volatile record as an integer, and integer writes are
// kept out of dynamic slots.
TEST(DynamicOffsets, EveryCatalogueStringIsDynamic) {
    const std::regex string_object(
        "constexpr DbObject (\\w+) = (nv|v)_str\\((\\d+)(?:,\\s*(\\d+))?\\)");
    unsigned found = 0;
    const std::string store_dir = std::string(TEST_SOURCE_DIR) + "/../store/";
    auto read = [](const std::string& path) {
        std::ifstream file(path);
        return std::string((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
    };
    // The catalogue's parts, as store/objects.h includes them.
    const std::string catalogue = read(store_dir + "objects.h");
    const std::regex part("#include \"store/(objects_\\w+\\.h)\"");
    for (std::sregex_iterator p(catalogue.begin(), catalogue.end(), part), none; p != none; ++p) {
        const std::string text = read(store_dir + (*p)[1].str());
        ASSERT_FALSE(text.empty()) << (*p)[1];
        for (std::sregex_iterator m(text.begin(), text.end(), string_object), end; m != end; ++m) {
            auto dynamic =
                (*m)[2] == "nv" ? CDataBase::IsDynamicOffset : CDataBase::IsDynamicVolatileOffset;
            uint32_t offset = uint32_t(std::stoul((*m)[3]));
            uint32_t rows = (*m)[4].matched ? uint32_t(std::stoul((*m)[4])) : 1;
            for (uint32_t r = 0; r < rows; ++r)
                EXPECT_TRUE(dynamic(offset + 4 * r)) << (*m)[1] << " row " << r;
            ++found;
        }
    }
    EXPECT_GT(found, 120u);
}

TEST_F(OperationsTest, IntegerWritesByWidth) {
    struct Case {
        DbObject object;
        uint32_t value;
        int result;
        uint32_t stored;
    } cases[] = {
        {obj::dmsSignType, 0x1FF, 0, 0xFF}, // 1 byte keeps the low 8 bits
        {obj::vmsSignWidthPixels, 65535, 0, 65535},
        {obj::vmsSignHeightPixels, 70000, DB_REFUSED, 0}, // does not fit 2 bytes
        {obj::halvSpecialFeatureSet, 0xFFFFFFFF, 0, 0xFFFFFFFF},
    };
    db->SetNotifyOn(true);
    for (const Case& c : cases) {
        EXPECT_EQ(c.result, Set(c.object, c.value, DB_NOTIFY)) << c.object.offset;
        EXPECT_EQ(c.stored, Get(c.object)) << c.object.offset;
    }
    // The refused 2-byte write announced nothing; the others did.
    std::vector<uint32_t> posted = letters.Take();
    EXPECT_EQ((std::vector<uint32_t>{96, 93, 93, 119, 93}), posted);
    EXPECT_EQ(0x40000000u | 0x100000u, TakeBits());
    // Big-endian in the image.
    EXPECT_EQ(0xFF, db->NvImage()[obj::vmsSignWidthPixels.offset]);
}

TEST_F(OperationsTest, RefusalsLeaveTheStoreAsItWas) {
    uint8_t* nv = db->NvImage();
    EXPECT_EQ(DB_REFUSED5, SetInteger(*db, 64, 2, 1, nullptr, 0));
    EXPECT_EQ(DB_REFUSED5, SetString(*db, 92, 4, "x", 1, nullptr, 0));
    EXPECT_EQ(DB_REFUSED5, SetGlobalTime(*db, 48180, 4, 1, nullptr, 0));
    EXPECT_EQ(DB_REFUSED5, SetGlobalTime(*db, 48180, 2, 1, nv, 0));
    EXPECT_EQ(DB_REFUSED5, SetInteger(*db, 64, 3, 1, nv, 0)); // no such width
    EXPECT_EQ(DB_REFUSED5,
              SetInteger(*db, CDataBase::NV_IMAGE_BYTES - 1, 2, 1, nv, 0)); // past the end
    EXPECT_EQ(DB_REFUSED5, SetInteger(*db, 92, 4, 1, nv, 0));               // a dynamic slot
    EXPECT_EQ(DB_REFUSED5, SetString(*db, 64, 4, "x", 1, nv, 0));           // an integer object
    EXPECT_EQ(DB_REFUSED5, SetString(*db, obj::dmsIllumMaxPhotocellLevel.offset, 4, "x", 1,
                                     db->VImage(), 0));               // a volatile integer object
    EXPECT_EQ(DB_REFUSED5, SetString(*db, 92, 4, nullptr, 3, nv, 0)); // no bytes
    EXPECT_EQ(0u, GetInteger(*db, 64, 2, nullptr, 0));
    EXPECT_EQ(0u, GetInteger(*db, 64, 3, nv, 0));
    EXPECT_EQ(0u, GetInteger(*db, CDataBase::V_IMAGE_BYTES, 1, db->VImage(), 0));
    EXPECT_EQ(0u, GetGlobalTime(*db, 48180, 4, nullptr, 0));
    EXPECT_STREQ("", GetString(*db, 92, 4, nullptr, nullptr));
    for (uint32_t i = 0; i < CDataBase::NV_IMAGE_BYTES; ++i)
        ASSERT_EQ(0, nv[i]) << i;
    EXPECT_TRUE(journal.records.empty());
    EXPECT_TRUE(letters.Take().empty());
}

TEST_F(OperationsTest, UnchangedWritesAnnounceReasonOneAndJournalNothing) {
    db->SetNotifyOn(true);
    ASSERT_EQ(0, Set(obj::dmsSignType, 6, DB_NOTIFY));
    ASSERT_EQ(1u, journal.records.size());
    EXPECT_EQ((std::vector<uint32_t>{96, 93}), letters.Take());
    // The same value: result 0, no record, the change-only letter stays silent.
    EXPECT_EQ(0, Set(obj::dmsSignType, 6, DB_NOTIFY));
    EXPECT_EQ(1u, journal.records.size());
    EXPECT_TRUE(letters.Take().empty());
    // An any-write row fires on the unchanged write.
    EXPECT_EQ(0, Set(obj::controllerStandardTimeZone, 0, DB_NOTIFY));
    EXPECT_EQ((std::vector<uint32_t>{90}), letters.Take());
    // Without flag 1 nothing is announced, whatever changed.
    EXPECT_EQ(0, Set(obj::dmsSignType, 5, 0));
    EXPECT_TRUE(letters.Take().empty());
}

TEST_F(OperationsTest, JournalRecordsFollowTheFlagsImageAndFlashMode) {
    struct Case {
        DbObject object;
        uint32_t flags;
        uint8_t flash_mode;
        bool journalled;
    } cases[] = {
        {obj::dmsSignType, 0, 1, true},
        {obj::dmsSignType, DB_NO_JOURNAL, 1, false},
        {obj::dmsSignType, 0, 0, false},
        {obj::dmsControlMode, DB_NO_VALIDATE, 1, false}, // volatile image
    };
    uint32_t value = 1;
    for (const Case& c : cases) {
        journal.records.clear();
        db->SetFlashMode(c.flash_mode);
        ASSERT_EQ(0, Set(c.object, ++value, c.flags));
        ASSERT_EQ(c.journalled ? 1u : 0u, journal.records.size()) << value;
        if (c.journalled) {
            EXPECT_EQ(c.object.offset, journal.records[0].offset);
            EXPECT_EQ(value, journal.records[0].value);
        }
    }
}

TEST_F(OperationsTest, StringBlocksAreReplacedOnlyWhenTheLengthChanges) {
    const DbObject name = obj::fontName.row(3);
    db->SetValidateOn(false);
    uint32_t before = PoolAvailable();
    ASSERT_EQ(0, SetStr(name, "abc"));
    const char* first = GetString(*db, name.offset, 4, db->NvImage(), nullptr);
    ASSERT_EQ(0, SetStr(name, "xyz")); // same length: same block
    EXPECT_EQ(first, GetString(*db, name.offset, 4, db->NvImage(), nullptr));
    EXPECT_EQ("xyz", Str(name));
    ASSERT_EQ(0, SetStr(name, "abcd")); // another length: a new block
    EXPECT_EQ("abcd", Str(name));
    EXPECT_EQ(0, SetStr(name, std::string("a\0b", 3))); // octets may hold zero bytes
    EXPECT_EQ(std::string("a\0b", 3), Str(name));
    ASSERT_EQ(0, SetString(*db, name.offset, 4, nullptr, 0, db->NvImage(), 0)); // emptied
    EXPECT_EQ("", Str(name));
    EXPECT_EQ(before, PoolAvailable());
    ASSERT_EQ(5u, journal.records.size());
    EXPECT_EQ(0u, journal.records.back().value); // the empty value is journalled
    EXPECT_EQ("xyz", journal.records[1].bytes);
}

TEST_F(OperationsTest, EmptyingAnEmptyStringIsAnnouncedButNotJournalled) {
    db->SetNotifyOn(true);
    EXPECT_EQ(0, SetStr(obj::dmsIllumBrightnessValues, "", DB_NOTIFY | DB_NO_VALIDATE));
    EXPECT_EQ((std::vector<uint32_t>{34}), letters.Take()); // a change-only row: reason 2
    EXPECT_TRUE(journal.records.empty());
}

TEST_F(OperationsTest, LongNonVolatileStringsReadEmpty) {
    db->SetValidateOn(false);
    const DbObject nv = obj::fontName.row(0);
    const DbObject v = obj::volatileMsgMultiString.row(0);
    ASSERT_EQ(0, SetStr(nv, std::string(2000, 'a')));
    EXPECT_EQ(2000u, Str(nv).size());
    ASSERT_EQ(0, SetStr(nv, std::string(2001, 'a')));
    ClearConsole();
    EXPECT_EQ(0u, Str(nv).size());
    EXPECT_NE(std::string::npos, ConsoleText().find("DB Error! Dynamic Object Too Long!"));
    ASSERT_EQ(0, SetStr(v, std::string(2001, 'b')));
    EXPECT_EQ(2001u, Str(v).size());
}

// A journal that refuses a record (a full file) refuses the write: the
// writer hears of it, the object keeps its old value, nothing is announced,
// and the same value written again is tried again rather than taken as
// unchanged.
TEST_F(OperationsTest, ARecordTheJournalRefusesRefusesTheWrite) {
    db->SetNotifyOn(true);
    db->SetValidateOn(false);
    const DbObject text = obj::fontName.row(2);
    ASSERT_EQ(DB_OK, Set(obj::dmsSignType, 4, DB_NOTIFY));
    ASSERT_EQ(DB_OK, SetStr(text, "kept", DB_NOTIFY));
    ASSERT_EQ(DB_OK, SetStr(obj::fontName.row(3), "same", DB_NOTIFY)); // same length below
    letters.Take();
    const uint32_t pool = PoolAvailable();
    journal.refuse = true;
    EXPECT_EQ(DB_REFUSED5, Set(obj::dmsSignType, 5, DB_NOTIFY));
    EXPECT_EQ(DB_REFUSED5, SetStr(text, "a longer value", DB_NOTIFY));
    EXPECT_EQ(DB_REFUSED5, SetStr(obj::fontName.row(3), "diff", DB_NOTIFY));
    EXPECT_EQ(DB_REFUSED5, SetStr(text, "", DB_NOTIFY));
    EXPECT_EQ(4u, Get(obj::dmsSignType));
    EXPECT_EQ("kept", Str(text));
    EXPECT_EQ("same", Str(obj::fontName.row(3)));
    EXPECT_EQ(pool, PoolAvailable()); // no block kept for the refused values
    EXPECT_TRUE(letters.Take().empty());
    // Writes the journal does not see go on as before.
    EXPECT_EQ(DB_OK, Set(obj::dmsSignType, 6, DB_NO_JOURNAL));
    EXPECT_EQ(DB_OK, Set(obj::dmsControlMode, 3, 0)); // volatile
    journal.refuse = false;
    journal.records.clear();
    EXPECT_EQ(DB_OK, Set(obj::dmsSignType, 5, 0));
    EXPECT_EQ(DB_OK, SetStr(text, "a longer value", 0));
    EXPECT_EQ(2u, journal.records.size());
}

TEST_F(OperationsTest, FailedAllocationKeepsTheOldValue) {
    const DbObject name = obj::fontName.row(0);
    db->SetValidateOn(false);
    ASSERT_EQ(0, SetStr(name, "kept"));
    // Take nearly all of the pool.
    void* hog = nullptr;
    ASSERT_EQ(TX_SUCCESS,
              tx_byte_allocate(&dynamic_database_pool(), &hog, PoolAvailable() - 64, TX_NO_WAIT));
    ClearConsole();
    EXPECT_EQ(DB_REFUSED5, SetStr(name, std::string(1000, 'x')));
    EXPECT_EQ("kept", Str(name));
    EXPECT_NE(std::string::npos, ConsoleText().find("NV Allocation Error:"));
    EXPECT_EQ(1u, journal.records.size());
    tx_byte_release(hog);
    EXPECT_EQ(0, SetStr(name, std::string(1000, 'x')));
    EXPECT_EQ(1000u, Str(name).size());
}

TEST_F(OperationsTest, CopyOutIsBoundedAndTerminated) {
    db->SetValidateOn(false);
    const DbObject name = obj::fontName.row(1);
    ASSERT_EQ(0, SetStr(name, "hello world"));
    char small[6];
    uint32_t length = 0;
    EXPECT_EQ(5u, GetStringCopy(*db, name.offset, 4, db->NvImage(), small, sizeof small, &length));
    EXPECT_STREQ("hello", small);
    EXPECT_EQ(11u, length);
    char big[32];
    EXPECT_EQ(11u, GetStringCopy(*db, name.offset, 4, db->NvImage(), big, sizeof big));
    EXPECT_STREQ("hello world", big);
    EXPECT_EQ(0u, GetStringCopy(*db, name.offset, 4, db->NvImage(), nullptr, 0, &length));
}

TEST_F(OperationsTest, GlobalTimeLivesInTheClockDevice) {
    uint8_t* nv = db->NvImage();
    const uint32_t t = obj::globalTime.offset;
    EXPECT_EQ(0, SetGlobalTime(*db, t, 4, 0x12345678, nv, DB_NOTIFY | DB_NO_TIME_WARNING));
    EXPECT_EQ(0x12, bus_read8(0xF0100001));
    EXPECT_EQ(0x34, bus_read8(0xF0100003));
    EXPECT_EQ(0x56, bus_read8(0xF0100005));
    EXPECT_EQ(0x78, bus_read8(0xF0100007));
    EXPECT_EQ(0x12345678u, GetGlobalTime(*db, t, 4, nv, 0));
    EXPECT_EQ(0u, GetInteger(*db, t, 4, nv, DB_NO_TIME_WARNING)); // not in the image
    EXPECT_EQ(0u, GetGlobalTime(*db, t, 2, nv, 0));
    // Notification off since construction: nothing yet; on: a change sets bit 0x1.
    EXPECT_EQ(0u, TakeBits());
    db->SetNotifyOn(true);
    EXPECT_EQ(0, SetGlobalTime(*db, t, 4, 0x12345678, nv, DB_NOTIFY));
    EXPECT_EQ(0u, TakeBits()); // unchanged
    EXPECT_EQ(0, SetGlobalTime(*db, t, 4, 1000, nv, DB_NOTIFY));
    EXPECT_EQ(0x1u, TakeBits());
    EXPECT_TRUE(journal.records.empty());
}

TEST_F(OperationsTest, PlainIntegerAccessToTheGlobalTimeWarns) {
    uint8_t* nv = db->NvImage();
    const uint32_t t = obj::globalTime.offset;
    ClearConsole();
    EXPECT_EQ(0, SetInteger(*db, t, 4, 77, nv, 0));
    EXPECT_EQ(77u, GetInteger(*db, t, 4, nv, 0));
    EXPECT_NE(std::string::npos, ConsoleText().find("DATABASE ERROR: Setting Global Time\n"));
    EXPECT_NE(std::string::npos, ConsoleText().find("DATABASE ERROR: Getting Global Time\n"));
    ClearConsole();
    EXPECT_EQ(0, SetInteger(*db, t, 4, 78, nv, DB_NO_TIME_WARNING));
    EXPECT_EQ(78u, GetInteger(*db, t, 4, nv, DB_NO_JOURNAL));
    EXPECT_EQ("", ConsoleText());
}

TEST_F(OperationsTest, FlagEightSkipsValidation) {
    // dmsControlMode accepts only 2 -> 5; flag 8 writes anything.
    EXPECT_EQ(DB_REFUSED, Set(obj::dmsControlMode, 4));
    EXPECT_EQ(0, Set(obj::dmsControlMode, 4, DB_NO_VALIDATE));
    EXPECT_EQ(4u, Get(obj::dmsControlMode));
    db->SetValidateOn(false);
    EXPECT_EQ(0, Set(obj::dmsControlMode, 3));
}

TEST_F(OperationsTest, StateWordBits) {
    EXPECT_EQ(1, db->IsFlashMode());
    EXPECT_TRUE(db->ValidateOn());
    EXPECT_FALSE(db->NotifyOn());
    EXPECT_EQ(0x01400000u, db->StateWord());
    EXPECT_EQ(2u, db->SwapPermissionMode(1));
    EXPECT_TRUE(db->NotifyOn());
    EXPECT_FALSE(db->ValidateOn());
    EXPECT_EQ(1u, db->SwapPermissionMode(3));
    uint32_t saved = db->SuspendNotifyAndValidate();
    EXPECT_FALSE(db->NotifyOn() || db->ValidateOn());
    db->RestoreNotifyAndValidate(saved);
    EXPECT_TRUE(db->NotifyOn() && db->ValidateOn());
    EXPECT_EQ(1, db->IsFlashMode());
}

TEST_F(OperationsTest, CatalogueFormsUseTheOneStore) {
    CDataBase& s = TheDatabase();
    s.SetValidateOn(false);
    EXPECT_EQ(0, db_set(obj::controllerStandardTimeZone, uint32_t(-21600), 0));
    EXPECT_EQ(-21600, db_get_signed(obj::controllerStandardTimeZone));
    EXPECT_EQ(0, db_set(obj::vmsSignHeightPixels, 0xFFFE, 0));
    EXPECT_EQ(-2, db_get_signed(obj::vmsSignHeightPixels));
    EXPECT_EQ(0, db_set_text(obj::sysLocation, "roadside", 0));
    uint32_t n = 0;
    EXPECT_STREQ("roadside", db_get_string(obj::sysLocation, &n));
    EXPECT_EQ(8u, n);
    EXPECT_EQ(0, db_set_time(4242, 0));
    EXPECT_EQ(4242u, db_get_time());
}

} // namespace
