// The store's start-up over the flash journal: factory defaults into a fresh
// file, restarts that bring back every non-volatile object, the volatile-only
// feature, the early-restart counter and its clearing after a healthy run.
#include "tests/store/persist_fixture.h"

#include <map>

using namespace persist_test;
using test_support::ClearConsole;
using test_support::ConsoleText;

namespace {

// The non-volatile image as values: every integer byte, every string.
struct NvValues {
    std::vector<uint8_t> bytes; // integer bytes (dynamic slots left out)
    std::map<uint32_t, std::string> strings;
    bool operator==(const NvValues& o) const { return bytes == o.bytes && strings == o.strings; }
};

class PersistStartupTest : public PersistFixture {
  protected:
    void Boot() { db->Init(); }

    NvValues Values() {
        NvValues v;
        uint8_t* nv = db->NvImage();
        for (uint32_t o = 0; o < CDataBase::NV_IMAGE_BYTES;) {
            if (CDataBase::IsDynamicOffset(o)) {
                uint32_t n = 0;
                const char* s = GetString(*db, o, 4, nv, &n);
                v.strings[o] = std::string(s, n);
                o += 4;
            } else {
                v.bytes.push_back(nv[o++]);
            }
        }
        return v;
    }
    uint8_t EarlyRestartByte() { return bus_read8(BUS_EARLY_RESTART); }
    void SetEarlyRestartByte(uint8_t b) { bus_write8(BUS_EARLY_RESTART, b); }
};

TEST_F(PersistStartupTest, FreshStartJournalsTheDefaultsCommitsAndKeepsJournalling) {
    Boot();
    const uint8_t* d = FileData("nv1.dat");
    ASSERT_NE(nullptr, d);
    EXPECT_EQ(0x7F, d[0]); // committed after the factory defaults
    EXPECT_GT(journal->ActiveUsed(), 10000u);
    EXPECT_EQ(1, db->Initialised());
    EXPECT_TRUE(db->NotifyOn());
    EXPECT_TRUE(db->ValidateOn());
    // Factory values of both images after a start from empty flash.
    EXPECT_EQ("Halvenmark, Inc. TZR-5100 Tessalon(tm) VMS Field Controller", Str(obj::sysDescr));
    EXPECT_EQ(Str(obj::sysDescr), Str(obj::sysName));
    EXPECT_EQ(uint32_t(-21600), Get(obj::controllerStandardTimeZone));
    EXPECT_EQ("stewardcastle", Str(obj::communityNameAdmin));
    EXPECT_EQ(2u, Get(obj::dmsNumPermanentMsg));
    EXPECT_EQ(4u, Get(obj::dmsControlMode));
    EXPECT_EQ(98108u, Get(obj::mibNvImageSize));
    // The rest of the start-up writes with journalling on.
    EXPECT_EQ(1, db->IsFlashMode());
    const uint32_t used = journal->ActiveUsed();
    Set(obj::watchdogFailureCount, Get(obj::watchdogFailureCount) + 1);
    EXPECT_EQ(used + 14, journal->ActiveUsed());
}

TEST_F(PersistStartupTest, RestartBringsBackEveryNonVolatileObjectAndVolatileDefaults) {
    Boot();
    const uint32_t volatile_default = Get(obj::controllerLocalTime);
    const std::string factory_contact = Str(obj::sysContact);
    // What the start-up sequence writes after the store's start-up.
    Set(obj::watchdogFailureCount, Get(obj::watchdogFailureCount) + 1);
    Set(obj::dmsSWReset, 0, DB_NOTIFY);
    // Settings of every kind.
    Set(obj::dmsSignHeight, 3210);
    Set(obj::dmsSWReset, 1);
    SetStr(obj::sysName, std::string(1600, 'q'));
    SetStr(obj::sysLocation, "mile 12");
    SetStr(obj::sysContact, "");
    SetStr(obj::fontName.row(3), "renamed");
    for (uint32_t r = 0; r < 40; ++r)
        SetStr(obj::changeableMsgMultiString.row(r), "MSG" + std::to_string(r));
    Set(obj::controllerLocalTime, volatile_default + 1234);
    const NvValues before = Values();
    ASSERT_EQ(std::string(1600, 'q'), before.strings.at(obj::sysName.offset));

    Restart();
    ClearConsole();
    Boot();
    EXPECT_NE(std::string::npos, ConsoleText().find(" - Loading off nv1.dat\t\t\t\t\t[ OK ]\n"));
    EXPECT_TRUE(Values() == before);
    EXPECT_EQ("", Str(obj::sysContact));
    EXPECT_NE("", factory_contact);
    EXPECT_EQ(volatile_default, Get(obj::controllerLocalTime));
}

TEST_F(PersistStartupTest, VolatileOnlyFeatureStopsAndClearingItResumesJournalling) {
    Boot();
    const uint32_t features = Get(obj::halvSpecialFeatureSet);
    Set(obj::halvSpecialFeatureSet, features | 0x800);
    ClearConsole();
    db->Run();
    EXPECT_NE(std::string::npos,
              ConsoleText().find("disabling flash database, running in volatile only mode\n"));
    EXPECT_EQ(0, db->IsFlashMode());

    Restart();
    Boot();
    EXPECT_EQ(0, db->IsFlashMode()); // replayed, and not journalling
    const uint32_t used = journal->ActiveUsed();
    Set(obj::dmsSignHeight, 777);
    EXPECT_EQ(used, journal->ActiveUsed());
    Set(obj::halvSpecialFeatureSet, features & ~0x800u);
    ClearConsole();
    db->Run();
    EXPECT_NE(std::string::npos,
              ConsoleText().find("enabling flash database, running in non-volatile mode\n"));
    EXPECT_EQ(1, db->IsFlashMode());
    EXPECT_EQ(used + 2 * 14, journal->ActiveUsed()); // two records of halvSpecialFeatureSet

    Restart();
    Boot();
    EXPECT_EQ(features & ~0x800u, Get(obj::halvSpecialFeatureSet));
    EXPECT_NE(777u, Get(obj::dmsSignHeight)); // set while not journalling
}

TEST_F(PersistStartupTest, EarlyRestartCounterStages) {
    struct Case {
        uint8_t before;
        bool files;
        uint8_t after;
        bool journal_removed;
        bool config_removed;
    } cases[] = {
        {0x00, true, 0x01, false, false},  {0x06, true, 0x07, false, false},
        {0x07, true, 0x08, false, false},  {0x08, true, 0x09, true, false},
        {0x0E, true, 0x0F, true, false},   {0x0F, true, 0x0F, true, true},
        {0x35, false, 0x30, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.before));
        mon_tfsunlink("nv1.dat");
        mon_tfsunlink("nv2.dat");
        mon_tfsunlink("CONFIG.XML");
        Restart();
        ASSERT_EQ(0, mon_tfsadd("CONFIG.XML", nullptr, nullptr,
                                reinterpret_cast<const unsigned char*>("<x/>"), 4));
        if (c.files) {
            ASSERT_EQ(0, mon_tfsadd("nv2.dat", nullptr, "i", nullptr, 64));
        }
        db_set_time(5000, 0);
        SetEarlyRestartByte(c.before);
        CDatabase::StateMachine_BootCounter(*db, 0);
        EXPECT_EQ(c.after, EarlyRestartByte());
        EXPECT_EQ(c.journal_removed, !CDatabase::FileExists("nv2.dat") && c.files);
        EXPECT_EQ(c.config_removed, !CDatabase::FileExists("CONFIG.XML"));
        EXPECT_EQ(c.files ? 5000u : 0u, db_get_time()); // no journal: the clock starts at 0
    }
    SetEarlyRestartByte(0x5B);
    CDatabase::StateMachine_BootCounter(*db, 1); // a healthy run or a controlled restart
    EXPECT_EQ(0x50, EarlyRestartByte());
}

// A wipe that leaves too little free flash for a fresh journal restarts to
// defragment; that restart belongs to the same start: the count goes on
// across it, up to the last stage.
TEST_F(PersistStartupTest, TheDefragmentationRestartAfterAWipeKeepsTheCount) {
    Boot();
    std::string filler(9u << 20, 'f'); // with nv1.dat: less than a file free
    ASSERT_EQ(0, mon_tfsadd("filler", nullptr, nullptr,
                            reinterpret_cast<const unsigned char*>(filler.data()),
                            int(filler.size())));
    SetEarlyRestartByte(0x08);
    restarts.clear();
    Restart(false);
    Boot(); // the journals are wiped; the new one finds no room
    ASSERT_FALSE(restarts.empty());
    EXPECT_EQ(9, EarlyRestartByte() & 0x0F);
    Restart(true);
    Boot();
    EXPECT_EQ(9, EarlyRestartByte() & 0x0F);
    EXPECT_STREQ("nv1.dat", journal->ActiveName());
    Restart(false);
    Boot();
    EXPECT_EQ(10, EarlyRestartByte() & 0x0F);
}

TEST_F(PersistStartupTest, NineQuickRestartsWipeBothJournalsAndComeUpWithFactoryValues) {
    Boot();
    const uint32_t factory = Get(obj::dmsSignHeight);
    Set(obj::dmsSignHeight, factory + 5);
    for (int start = 1; start <= 9; ++start) {
        SCOPED_TRACE(start);
        Restart();
        Boot();
        EXPECT_EQ(start <= 7 ? start : start == 8 ? 8 : 9, EarlyRestartByte() & 0x0F);
        EXPECT_EQ(start < 9 ? factory + 5 : factory, Get(obj::dmsSignHeight));
    }
    // The journal was created afresh and committed.
    EXPECT_EQ(0x7F, FileData("nv1.dat")[0]);
}

// The counter is cleared by a timer of its own: the task's cycle never runs
// here, as when a long compaction keeps it busy.
TEST_F(PersistStartupTest, AHealthyRunOfThirtySecondsClearsTheCounterOnce) {
    Boot();
    Restart();
    SetEarlyRestartByte(0x03);
    Boot();
    EXPECT_EQ(0x04, EarlyRestartByte());
    tx_thread_sleep(2900 - tx_time_get());
    EXPECT_EQ(0x04, EarlyRestartByte());
    EXPECT_EQ(0, db->BootCounterCleared());
    tx_thread_sleep(200);
    EXPECT_EQ(0x00, EarlyRestartByte());
    EXPECT_EQ(1, db->BootCounterCleared());
    SetEarlyRestartByte(0x02);
    tx_thread_sleep(100);
    db->Run();
    EXPECT_EQ(0x02, EarlyRestartByte()); // once only
}

} // namespace
