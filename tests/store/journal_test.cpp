// The flash journal on its own (no factory defaults): record format, replay,
// file choice, header checks, damaged records, delete passes, full files and
// appends cut short by a restart.
#include "tests/store/persist_fixture.h"

#include "runtime/utilities.h"

#include <cstring>

using namespace persist_test;

namespace {

// Independent bitwise CRC-16 (reflected 0x8408, initial 0xFFFF).
uint16_t reference_crc(const uint8_t* p, size_t n) {
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int b = 0; b < 8; ++b)
            crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0x8408) : uint16_t(crc >> 1);
    }
    return uint16_t(~crc);
}

// A 14-byte header as a journal file holds it.
std::vector<uint8_t> header(uint8_t mark, uint32_t generation, uint8_t header_rev = 0,
                            uint8_t db_rev = 0, uint32_t size = 98108) {
    std::vector<uint8_t> h = {mark,
                              header_rev,
                              uint8_t(generation >> 24),
                              uint8_t(generation >> 16),
                              uint8_t(generation >> 8),
                              uint8_t(generation),
                              db_rev,
                              uint8_t(size >> 24),
                              uint8_t(size >> 16),
                              uint8_t(size >> 8),
                              uint8_t(size),
                              0,
                              0,
                              0x7C};
    uint16_t crc = reference_crc(&h[1], 10);
    h[11] = uint8_t(crc); // the complemented CRC's low byte first
    h[12] = uint8_t(crc >> 8);
    return h;
}

// A live record of `object` holding `value`.
std::vector<uint8_t> record(uint32_t object, const std::vector<uint8_t>& value) {
    uint32_t length = 6 + uint32_t(value.size());
    std::vector<uint8_t> r = {0x7E,
                              uint8_t(length >> 8),
                              uint8_t(length),
                              uint8_t(object >> 24),
                              uint8_t(object >> 16),
                              uint8_t(object >> 8),
                              uint8_t(object)};
    r.insert(r.end(), value.begin(), value.end());
    uint16_t crc = reference_crc(&r[1], length);
    r.push_back(uint8_t(crc));
    r.push_back(uint8_t(crc >> 8));
    r.push_back(0x7C);
    return r;
}

void make_file(const char* name, const std::vector<uint8_t>& bytes, uint32_t at = 0) {
    mon_tfsunlink(name);
    ASSERT_EQ(0, mon_tfsadd(name, nullptr, "i", nullptr, int(CDatabase::FILE_BYTES)));
    ASSERT_EQ(0, mon_tfsipmod(name, bytes.data(), int(at), int(bytes.size())));
}

void append_at(const char* name, const std::vector<uint8_t>& bytes, uint32_t at) {
    ASSERT_EQ(0, mon_tfsipmod(name, bytes.data(), int(at), int(bytes.size())));
}

} // namespace

class JournalTest : public PersistFixture {
  protected:
    uint32_t FlashSize() const override { return 9u << 20; }
};

TEST_F(JournalTest, FirstLoadCreatesAnUncommittedNv1OfGenerationZero) {
    test_support::ClearConsole();
    EXPECT_EQ(0, Load());
    EXPECT_STREQ("nv1.dat", journal->ActiveName());
    EXPECT_FALSE(CDatabase::FileExists("nv2.dat"));
    TFSHDR* h = mon_tfsstat("nv1.dat");
    ASSERT_NE(nullptr, h);
    EXPECT_EQ(CDatabase::FILE_BYTES, tfs_file_size(h));
    std::vector<uint8_t> expected = header(0xFF, 0);
    EXPECT_EQ(0, std::memcmp(expected.data(), FileData("nv1.dat"), expected.size()));
    EXPECT_EQ(0xFF, FileData("nv1.dat")[14]);
    EXPECT_NE(std::string::npos,
              test_support::ConsoleText().find(
                  " - Find Flash DB File\t\t\t\t\t[FAIL]\n\tCreating nv1.dat\n"));
    // Uncommitted: the next start rejects it and creates it afresh.
    Set(obj::dmsSignHeight, 1234);
    Restart();
    EXPECT_EQ(0, Load());
    EXPECT_EQ(0u, Get(obj::dmsSignHeight));
}

TEST_F(JournalTest, RecordsHaveTheirByteLayout) {
    Load();
    ASSERT_EQ(0, journal->Commit());
    struct Case {
        DbObject object;
        uint32_t value;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {obj::dmsSWReset, 0x5A, {0x5A}},
        {obj::dmsSignHeight, 0xABCD, {0xAB, 0xCD}},
        {obj::watchdogFailureCount, 0x01020304, {1, 2, 3, 4}},
    };
    uint32_t at = 14;
    const uint8_t* d = FileData("nv1.dat");
    for (const Case& c : cases) {
        ASSERT_EQ(DB_OK, Set(c.object, c.value));
        std::vector<uint8_t> expected = record(c.object.offset, c.bytes);
        EXPECT_EQ(0, std::memcmp(expected.data(), d + at, expected.size())) << c.object.offset;
        at += uint32_t(expected.size());
    }
    ASSERT_EQ(DB_OK, SetStr(obj::sysName, "sign"));
    std::vector<uint8_t> expected = record(obj::sysName.offset, {'s', 'i', 'g', 'n', 0});
    EXPECT_EQ(0, std::memcmp(expected.data(), d + at, expected.size()));
    EXPECT_EQ(11u + 12u + 14u + expected.size(), journal->ActiveUsed() - 14);
}

TEST_F(JournalTest, RestartReplaysIntegersAndStringsInFileOrder) {
    Load();
    journal->Commit();
    const std::string longest(1600, 'x');
    Set(obj::dmsSWReset, 7);
    Set(obj::dmsSignHeight, 1);
    Set(obj::dmsSignHeight, 65535); // the later record wins
    Set(obj::watchdogFailureCount, 0xDEADBEEF);
    SetStr(obj::sysName, "first");
    SetStr(obj::sysName, "second");
    EXPECT_EQ(DB_OK, SetStr(obj::sysLocation, longest));
    EXPECT_EQ(DB_REFUSED, SetStr(obj::sysContact, longest + "y")); // more than a record holds
    EXPECT_EQ("", Str(obj::sysContact));
    Set(obj::controllerLocalTime, 99); // volatile: never journalled
    Restart();
    EXPECT_EQ(1, Load());
    EXPECT_EQ(7u, Get(obj::dmsSWReset));
    EXPECT_EQ(65535u, Get(obj::dmsSignHeight));
    EXPECT_EQ(0xDEADBEEFu, Get(obj::watchdogFailureCount));
    EXPECT_EQ("second", Str(obj::sysName));
    EXPECT_EQ(longest, Str(obj::sysLocation));
    EXPECT_EQ("", Str(obj::sysContact));
    EXPECT_EQ(0u, Get(obj::controllerLocalTime));
}

TEST_F(JournalTest, FileChoiceByValidityAndGeneration) {
    struct Case {
        const char* name;
        int nv1; // -1 absent, else generation (committed)
        int nv2; //
        bool nv1_committed;
        const char* active;
        const char* removed; // null: none
        int result;
    } cases[] = {
        {"equal generations: nv1", 3, 3, true, "nv1.dat", "nv2.dat", 1},
        {"lower generation nv2 wins", 5, 4, true, "nv2.dat", "nv1.dat", 1},
        {"lower generation nv1 wins", 4, 5, true, "nv1.dat", "nv2.dat", 1},
        {"only nv2", -1, 2, true, "nv2.dat", nullptr, 1},
        {"uncommitted nv1 removed, nv2 used", 0, 9, false, "nv2.dat", nullptr, 1},
        {"uncommitted nv1 alone: fresh nv1", 0, -1, false, "nv1.dat", nullptr, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        mon_tfsunlink("nv1.dat");
        mon_tfsunlink("nv2.dat");
        Restart(); // reclaims the removed files' space
        if (c.nv1 >= 0)
            make_file("nv1.dat", header(c.nv1_committed ? 0x7F : 0xFF, uint32_t(c.nv1)));
        if (c.nv2 >= 0) make_file("nv2.dat", header(0x7F, uint32_t(c.nv2)));
        // A marker record in each file shows which one was replayed.
        if (c.nv1 >= 0) append_at("nv1.dat", record(obj::dmsSWReset.offset, {1}), 14);
        if (c.nv2 >= 0) append_at("nv2.dat", record(obj::dmsSWReset.offset, {2}), 14);
        Restart();
        EXPECT_EQ(c.result, Load());
        EXPECT_STREQ(c.active, journal->ActiveName());
        if (c.removed) {
            EXPECT_FALSE(CDatabase::FileExists(c.removed));
        }
        if (c.result == 1) {
            EXPECT_EQ(c.active[2] == '1' ? 1u : 2u, Get(obj::dmsSWReset));
        }
    }
}

TEST_F(JournalTest, HeaderOfAnotherRevisionOrSizeIsReplacedByAFreshFile) {
    struct Case {
        std::vector<uint8_t> header;
        const char* reason;
    } cases[] = {
        {header(0x7F, 1, 2), "\tinvalid header rev:2\n"},
        {header(0x7F, 1, 0, 3), "\tinvalid database revision:3\n"},
        {header(0x7F, 1, 0, 0, 98000), "\tdatabase size changed\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        mon_tfsunlink("nv1.dat");
        Restart();
        make_file("nv1.dat", c.header);
        append_at("nv1.dat", record(obj::dmsSWReset.offset, {1}), 14);
        Restart();
        test_support::ClearConsole();
        EXPECT_EQ(0, Load());
        EXPECT_EQ(0u, Get(obj::dmsSWReset));
        EXPECT_NE(std::string::npos,
                  test_support::ConsoleText().find(std::string("[FAIL]\n") + c.reason +
                                                   "\tCreating nv1.dat\n"));
        std::vector<uint8_t> fresh = header(0xFF, 0);
        EXPECT_EQ(0, std::memcmp(fresh.data(), FileData("nv1.dat"), fresh.size()));
    }
}

TEST_F(JournalTest, DamagedRecordIsSkippedWithALineAndTheScanResynchronises) {
    std::vector<uint8_t> bytes = header(0x7F, 0);
    auto add = [&](const std::vector<uint8_t>& r) {
        bytes.insert(bytes.end(), r.begin(), r.end());
    };
    add(record(obj::dmsSWReset.offset, {1}));
    std::vector<uint8_t> bad = record(obj::dmsSignHeight.offset, {0x12, 0x34});
    bad[8] = 0x00; // a value byte lost bits: the CRC no longer matches
    add(bad);
    add(record(obj::watchdogFailureCount.offset, {0, 0, 0, 9}));
    std::vector<uint8_t> torn = record(obj::dmsSignWidth.offset, {0x55, 0x66});
    torn.resize(6); // cut short, then another record right after it
    add(torn);
    add(record(obj::vmsSignHeightPixels.offset, {0, 77}));
    make_file("nv1.dat", bytes);
    // Beyond a gap of more than 1700 erased bytes nothing is replayed.
    append_at("nv1.dat", record(obj::dmsVerticalBorder.offset, {0, 5}),
              uint32_t(bytes.size()) + 1701);
    Restart();
    test_support::ClearConsole();
    EXPECT_EQ(1, Load());
    EXPECT_EQ(1u, Get(obj::dmsSWReset));
    EXPECT_EQ(0u, Get(obj::dmsSignHeight));
    EXPECT_EQ(9u, Get(obj::watchdogFailureCount));
    EXPECT_EQ(0u, Get(obj::dmsSignWidth));
    EXPECT_EQ(77u, Get(obj::vmsSignHeightPixels));
    EXPECT_EQ(0u, Get(obj::dmsVerticalBorder));
    EXPECT_EQ(2u, journal->CorruptRecords());
    EXPECT_NE(std::string::npos, test_support::ConsoleText().find("damaged record at 0x"));
}

TEST_F(JournalTest, DeletePassLeavesTheNewestRecordOfEachObject) {
    Load();
    journal->Commit();
    for (uint32_t i = 1; i <= 9000; ++i)
        Set(obj::watchdogFailureCount, i);
    Set(obj::dmsSWReset, 1);
    Set(obj::dmsSWReset, 2);
    EXPECT_EQ(2u, journal->PendingCount()); // one entry per object
    EXPECT_EQ(9000u, LiveCount("nv1.dat", obj::watchdogFailureCount.offset));
    journal->Deleting();
    EXPECT_EQ(0u, journal->PendingCount());
    std::vector<Live> live = LiveRecords("nv1.dat");
    ASSERT_EQ(2u, live.size());
    EXPECT_EQ(std::string("\0\0\x23\x28", 4), live[0].value); // 9000
    EXPECT_EQ(std::string("\x02", 1), live[1].value);
    Restart();
    EXPECT_EQ(1, Load());
    EXPECT_EQ(9000u, Get(obj::watchdogFailureCount));
    EXPECT_EQ(2u, Get(obj::dmsSWReset));
}

// The index of pending records empties at a delete pass and when it is full;
// an object written again afterwards must name its own newest record, so
// that every older record of every object is marked deleted in its turn.
TEST_F(JournalTest, EveryObjectKeepsOneLiveRecordAcrossFullAndEmptiedIndexes) {
    Load();
    journal->Commit();
    const uint32_t objects = CDatabase::PENDING_ENTRIES + 1; // the last one flushes a full index
    uint32_t record = 0;
    for (uint32_t object = 0; object < objects; ++object)
        ASSERT_EQ(1, journal->INT8(object, 1, &record));
    EXPECT_EQ(1u, journal->PendingCount());
    // Written again after the flush: the first object, and the one entered since.
    ASSERT_EQ(1, journal->INT8(0, 2, &record));
    ASSERT_EQ(1, journal->INT8(objects - 1, 2, &record));
    ASSERT_EQ(1, journal->INT8(0, 3, &record));
    EXPECT_EQ(2u, journal->PendingCount());
    journal->Deleting();
    // And again after a delete pass emptied the index.
    ASSERT_EQ(1, journal->INT8(7, 4, &record));
    ASSERT_EQ(1, journal->INT8(objects - 1, 4, &record));
    ASSERT_EQ(1, journal->INT8(7, 5, &record));
    journal->Deleting();
    std::vector<uint32_t> live(objects, 0);
    std::vector<std::string> value(objects);
    for (const Live& l : LiveRecords("nv1.dat")) {
        ASSERT_LT(l.object, objects);
        ++live[l.object];
        value[l.object] = l.value;
    }
    for (uint32_t object = 0; object < objects; ++object)
        ASSERT_EQ(1u, live[object]) << "object " << object;
    EXPECT_EQ("\x03", value[0]);
    EXPECT_EQ("\x05", value[7]);
    EXPECT_EQ("\x04", value[objects - 1]);
    EXPECT_EQ("\x01", value[1]);
}

TEST_F(JournalTest, EmptiedStringSurvivesARestartBeforeAndAfterTheDeletePass) {
    Load();
    journal->Commit();
    SetStr(obj::sysName, "abc");
    SetStr(obj::sysName, "");
    Restart(false);
    EXPECT_EQ(1, Load());
    EXPECT_EQ("", Str(obj::sysName)); // no delete pass ran
    SetStr(obj::sysName, "again");
    SetStr(obj::sysName, "");
    journal->Deleting();
    // Only the newest record (the empty one) stays live.
    std::vector<Live> live = LiveRecords("nv1.dat");
    ASSERT_EQ(1u, live.size());
    EXPECT_EQ(std::string(1, '\0'), live[0].value);
    Restart(false);
    EXPECT_EQ(1, Load());
    EXPECT_EQ("", Str(obj::sysName));
}

TEST_F(JournalTest, FullFileRefusesAppendsAndNeverWritesItsLastByte) {
    Load();
    journal->Commit();
    const std::string text(1600, 'z');
    int appended = 0;
    for (int i = 0; i < 4000; ++i) {
        std::string value = text;
        value[0] = char('a' + i % 26);
        if (!journal->STRING(obj::sysName.offset, value.data(), 1600, nullptr)) break;
        ++appended;
    }
    const uint32_t used = journal->ActiveUsed();
    EXPECT_EQ(uint32_t(14 + appended * 1611), used);
    EXPECT_GE(used + 1611, CDatabase::FILE_BYTES); // the next one would end at or past the end
    EXPECT_EQ(0xFF, FileData("nv1.dat")[CDatabase::FILE_BYTES - 1]);
    // A small record still fits when it ends before the last byte.
    const uint32_t room = CDatabase::FILE_BYTES - 1 - used;
    EXPECT_EQ(room >= 11 ? 1 : 0, journal->INT8(obj::dmsSWReset.offset, 3, nullptr));
    EXPECT_EQ(100u * journal->ActiveUsed() / CDatabase::FILE_BYTES, journal->UsedPercent());
}

TEST_F(JournalTest, AppendCutAtEveryByteKeepsEveryCompletedWrite) {
    Load();
    journal->Commit();
    Set(obj::dmsSWReset, 1);
    SetStr(obj::sysName, "kept");
    const std::vector<uint8_t> before = FlashImage();
    const uint32_t at = journal->ActiveUsed();
    SetStr(obj::sysName, std::string(40, 'n')); // 51-byte record
    Set(obj::watchdogFailureCount, 0x11223344); // 14-byte record
    const std::vector<uint8_t> after = FlashImage();
    // Flash offset of the file's data, from the mapped header.
    const long data_offset = host::monitor_flash().OffsetOf(mon_tfsstat("nv1.dat")) + 128;
    const uint32_t total = 51 + 14;
    const uint32_t cuts[] = {0, 1, 2, 3, 6, 7, 20, 49, 50, 51, 52, 53, 55, 58, 61, 62, 63, 64, 65};
    for (uint32_t cut : cuts) {
        SCOPED_TRACE(cut);
        std::vector<uint8_t> image = before;
        for (uint32_t i = 0; i < cut; ++i)
            image[size_t(data_offset) + at + i] = after[size_t(data_offset) + at + i];
        RestartWithImage(image);
        ASSERT_EQ(1, Load());
        EXPECT_EQ(1u, Get(obj::dmsSWReset));
        EXPECT_EQ(cut >= 51 ? std::string(40, 'n') : std::string("kept"), Str(obj::sysName));
        EXPECT_EQ(cut == total ? 0x11223344u : 0u, Get(obj::watchdogFailureCount));
        // Appending goes on after the cut and replays.
        Set(obj::dmsSignHeight, 4321);
        Restart(false);
        ASSERT_EQ(1, Load());
        EXPECT_EQ(4321u, Get(obj::dmsSignHeight));
        EXPECT_EQ(1u, Get(obj::dmsSWReset));
    }
}

TEST_F(JournalTest, NoRoomForAJournalFileRestartsOnlyWhenDefragmentationWouldMakeRoom) {
    std::string filler(5u << 20, 'f');
    ASSERT_EQ(0, mon_tfsadd("filler", nullptr, nullptr,
                            reinterpret_cast<const unsigned char*>(filler.data()),
                            int(filler.size())));
    test_support::ClearConsole();
    EXPECT_EQ(0, Load()); // free space short, nothing deleted: no restart can help
    EXPECT_TRUE(restarts.empty());
    EXPECT_EQ(nullptr, journal->ActiveName());
    EXPECT_NE(std::string::npos,
              test_support::ConsoleText().find("CDatabase::FFS_SDH: no room for nv1.dat\n"));
    // Without a file no change of a non-volatile object is made, and the
    // console says why.
    const uint32_t height = Get(obj::dmsSignHeight);
    EXPECT_EQ(DB_REFUSED5, Set(obj::dmsSignHeight, height + 5));
    EXPECT_EQ(DB_REFUSED5, SetStr(obj::sysContact, "kept nowhere"));
    EXPECT_EQ(height, Get(obj::dmsSignHeight));
    EXPECT_NE(std::string::npos, test_support::ConsoleText().find("no journal file"));
    EXPECT_EQ(0u, journal->ActiveUsed());

    ASSERT_EQ(0, mon_tfsunlink("filler"));
    Restart(false);
    EXPECT_EQ(0, Load()); // the deleted space would make room: restart to defragment
    EXPECT_FALSE(restarts.empty());
    EXPECT_EQ(1, bus_read8(BUS_UART0_SCRATCH) & 1);
    Restart(true);
    EXPECT_EQ(0, Load());
    EXPECT_STREQ("nv1.dat", journal->ActiveName());
}

// Random records (any offset, any length up to what readers accept, valid
// or damaged CRCs, torn tails, erased gaps): the replay stays inside the file
// and the image, and refuses what does not fit an object.
TEST_F(JournalTest, ReplayOfRandomRecordsStaysInBounds) {
    uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 8;
    };
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE(round);
        std::vector<uint8_t> bytes = header(0x7F, 0);
        while (bytes.size() < 60000) {
            uint32_t kind = next() % 8;
            uint32_t object = kind < 3   ? next() % 98200
                              : kind < 5 ? 92 + 4 * (next() % 20)
                                         : next();
            std::vector<uint8_t> value(next() % 8 == 0 ? next() % 1700 : 1 + next() % 6);
            for (uint8_t& b : value)
                b = uint8_t(next());
            std::vector<uint8_t> r = record(object, value);
            if (kind == 5) r[7 + next() % value.size()] ^= 0x10;   // damaged
            if (kind == 6) r.resize(next() % r.size());            // torn
            if (kind == 7) r.insert(r.begin(), next() % 40, 0xFF); // erased gap
            bytes.insert(bytes.end(), r.begin(), r.end());
        }
        mon_tfsunlink("nv1.dat");
        mon_tfsunlink("nv2.dat");
        Restart();
        make_file("nv1.dat", bytes);
        Restart();
        ASSERT_EQ(1, Load());
        EXPECT_GT(journal->ReplayedRecords(), 100u);
        for (uint32_t o = 0; o < CDataBase::NV_IMAGE_BYTES; o += 4) {
            if (!CDataBase::IsDynamicOffset(o)) continue;
            uint32_t n = 0;
            const char* s = GetString(*db, o, 4, db->NvImage(), &n);
            ASSERT_LE(n, 1700u);
            if (n) {
                EXPECT_EQ(0, s[n]);
            } // a well-formed block
        }
    }
}
