// Compaction of the flash journal by the database task: it starts above
// 3 MiB, copies the live records into the other file while writes go on,
// switches files without losing any write, and a restart at any point of it
// comes back with every completed write.
#include "tests/store/persist_fixture.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <map>

using namespace persist_test;

namespace {

CDataBase* g_store = nullptr;

// The database task's cycle, once per second.
void housekeeping(ULONG) {
    for (;;) {
        tx_thread_sleep(100);
        g_store->Run();
    }
}

// The flash image file as the monitor maps it, seen in place: a state is
// compared where it lies and copied only when it differs from the last.
class FlashView {
  public:
    explicit FlashView(const std::string& path) {
        const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat st {};
        if (fd >= 0 && fstat(fd, &st) == 0) size_ = size_t(st.st_size);
        void* at = fd >= 0 ? mmap(nullptr, size_, PROT_READ, MAP_SHARED, fd, 0) : MAP_FAILED;
        if (at != MAP_FAILED) bytes_ = static_cast<const uint8_t*>(at);
        if (fd >= 0) close(fd);
    }
    ~FlashView() {
        if (bytes_) munmap(const_cast<uint8_t*>(bytes_), size_);
    }
    bool Mapped() const { return bytes_ != nullptr; }
    bool Equals(const std::vector<uint8_t>& image) const {
        return image.size() == size_ && std::memcmp(image.data(), bytes_, size_) == 0;
    }
    std::vector<uint8_t> Copy() const { return std::vector<uint8_t>(bytes_, bytes_ + size_); }

  private:
    const uint8_t* bytes_ = nullptr;
    size_t size_ = 0;
};

class PersistCompactionTest : public PersistFixture {
  protected:
    uint32_t FlashSize() const override { return 9u << 20; }

    void TearDown() override {
        StopHousekeeping();
        PersistFixture::TearDown();
    }

    void StartHousekeeping() {
        g_store = db.get();
        static uint8_t stack[32768];
        ASSERT_EQ(TX_SUCCESS, tx_thread_create(&task_, "Database", housekeeping, 0, stack,
                                               sizeof stack, 4, 4, 0, TX_AUTO_START));
        running_ = true;
    }
    void StopHousekeeping() {
        if (!running_) return;
        tx_thread_terminate(&task_);
        tx_thread_delete(&task_);
        running_ = false;
    }

    // Rows of a message table and one counter: the values the test expects back.
    DbObject Row(uint32_t r) { return obj::changeableMsgMultiString.row(r); }
    void Write(uint32_t r, const std::string& text) {
        ASSERT_EQ(DB_OK, SetStr(Row(r), text));
        expected_[r] = text;
    }
    void WriteCounter(uint32_t v) {
        ASSERT_EQ(DB_OK, Set(obj::watchdogFailureCount, v));
        counter_ = v;
    }
    // Superseded 1600-byte values until the file holds more than 3 MiB.
    void Fill() {
        std::string big(1600, 'f');
        for (int i = 0; journal->ActiveUsed() <= CDatabase::COMPACT_ABOVE + 20000; ++i) {
            big[0] = char('a' + i % 26);
            ASSERT_EQ(DB_OK, SetStr(obj::sysName, big));
        }
        big_ = big;
    }
    void ExpectEverything() {
        for (const auto& e : expected_)
            EXPECT_EQ(e.second, Str(Row(e.first))) << "row " << e.first;
        EXPECT_EQ(counter_, Get(obj::watchdogFailureCount));
        EXPECT_EQ(big_, Str(obj::sysName));
    }
    bool Compacted() {
        return journal->ActiveName() && journal->ActiveName()[2] == '2' &&
               journal->DefragState() == CDatabase::DEFRAG_IDLE;
    }

    TX_THREAD task_{};
    bool running_ = false;
    std::map<uint32_t, std::string> expected_;
    uint32_t counter_ = 0;
    std::string big_;
};

// A compaction that finds no room for the other file is tried again after
// waits that double, not every cycle, and raises the controller's PROM error
// once; the writes go on into the active file meanwhile.
TEST_F(PersistCompactionTest, ACompactionWithoutRoomIsRetriedOnABackOffAndRaisesTheErrorOnce) {
    ASSERT_EQ(0, Load());
    journal->Commit();
    std::string filler(1536u << 10, 'x');
    ASSERT_EQ(0, mon_tfsadd("filler", nullptr, nullptr,
                            reinterpret_cast<const unsigned char*>(filler.data()),
                            int(filler.size())));
    Fill();
    test_support::ClearConsole();
    auto count = [](const std::string& what) {
        size_t n = 0;
        const std::string& text = test_support::ConsoleText();
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
            ++n;
        return n;
    };
    for (int cycle = 0; cycle < 600; ++cycle)
        journal->StateMachine_Defrag();
    const size_t tries = count("no room for nv2.dat");
    EXPECT_GE(tries, 3u) << test_support::ConsoleText();
    EXPECT_LE(tries, 8u);
    EXPECT_EQ(1u, count("no compaction possible"));
    EXPECT_EQ(0x02u, Get(obj::controllerErrorStatus) & 0x02u);
    EXPECT_EQ(CDatabase::DEFRAG_IDLE, journal->DefragState());
    WriteCounter(7);
    EXPECT_EQ(7u, Get(obj::watchdogFailureCount));
}

TEST_F(PersistCompactionTest, CompactionWhileWritingLosesNothing) {
    ASSERT_EQ(0, Load());
    journal->Commit();
    for (uint32_t r = 0; r < 30; ++r)
        Write(r, "row " + std::to_string(r));
    // A value the journal does not hold (written with journalling off, as a
    // requested restart clears dmsSWReset): the switch must not revert it.
    ASSERT_EQ(DB_OK, Set(obj::dmsSWReset, 1));
    ASSERT_EQ(DB_OK, Set(obj::dmsSWReset, 0, DB_NO_JOURNAL));
    Fill();
    StartHousekeeping();
    // Writes go on every few ticks, during the copy and after the switch.
    uint32_t i = 0, after_switch = 0, while_copying = 0;
    for (ULONG tick = 0; tick < 60000 && after_switch < 400; tick += 3, ++i) {
        WriteCounter(i);
        Write(i % 30, "row " + std::to_string(i % 30) + " v" + std::to_string(i));
        if (i % 7 == 0) Write(30 + i % 5, std::string(200 + i % 50, char('A' + i % 26)));
        tx_thread_sleep(3);
        if (journal->DefragState() == CDatabase::DEFRAG_COPYING) ++while_copying;
        if (Compacted()) ++after_switch;
    }
    ASSERT_TRUE(Compacted());
    EXPECT_GT(while_copying, 10u);
    EXPECT_FALSE(CDatabase::FileExists("nv1.dat"));
    const uint8_t* d = FileData("nv2.dat");
    EXPECT_EQ(0x7F, d[0]);
    EXPECT_EQ(1, d[5]); // generation 1
    EXPECT_LT(journal->ActiveUsed(), 200000u);
    StopHousekeeping();
    ExpectEverything(); // the image itself was not replayed over
    EXPECT_EQ(0u, Get(obj::dmsSWReset));
    Restart();
    ASSERT_EQ(1, Load());
    EXPECT_STREQ("nv2.dat", journal->ActiveName());
    ExpectEverything();
}

TEST_F(PersistCompactionTest, RestartAtAnyPointOfACompactionKeepsEveryWriteAndResumesTheCopy) {
    ASSERT_EQ(0, Load());
    journal->Commit();
    for (uint32_t r = 0; r < 40; ++r)
        Write(r, std::string(1 + r * 7, char('a' + r % 26)));
    WriteCounter(77);
    Fill();
    StartHousekeeping();
    std::vector<std::vector<uint8_t>> images;
    const FlashView flash(FlashPath());
    ASSERT_TRUE(flash.Mapped());
    for (ULONG tick = 0; tick < 5000 && !Compacted(); ++tick) {
        tx_thread_sleep(1);
        if (journal->DefragState() == CDatabase::DEFRAG_IDLE) continue;
        if (images.empty() || !flash.Equals(images.back())) images.push_back(flash.Copy());
    }
    ASSERT_TRUE(Compacted());
    images.push_back(FlashImage());
    StopHousekeeping();
    ASSERT_GE(images.size(), 4u);
    size_t resumed = 0, advanced = 0;
    const size_t step = images.size() / 4 ? images.size() / 4 : 1;
    for (size_t k = 0; k < images.size(); k += (k + 1 == images.size() - 1 ? 1 : step)) {
        SCOPED_TRACE(k);
        RestartWithImage(images[k]);
        ASSERT_EQ(1, Load());
        ExpectEverything();
        if (journal->DefragState() == CDatabase::DEFRAG_COPYING) {
            // The copy goes on from where it stood, not from the start.
            ++resumed;
            advanced += journal->CopyPosition() > CDatabase::HEADER_BYTES;
            StartHousekeeping();
            for (int i = 0; i < 100 && !Compacted(); ++i)
                tx_thread_sleep(10);
            StopHousekeeping();
            ASSERT_TRUE(Compacted());
            Restart();
            ASSERT_EQ(1, Load());
            ExpectEverything();
        }
        // Only one journal file is left.
        EXPECT_NE(CDatabase::FileExists("nv1.dat"), CDatabase::FileExists("nv2.dat"));
    }
    EXPECT_GE(resumed, 2u);
    EXPECT_GE(advanced, 1u);
}

} // namespace

namespace {

// A writer above the copy's priority: one new object per tick while the copy
// runs, each written once, so that the copy runs out of catch-ups and
// switches files with entries still pending.
struct CopyWriter {
    CDatabase* journal = nullptr;
    std::map<uint32_t, std::string> written;
    bool done = false;
};
CopyWriter* g_writer = nullptr;

void write_while_copying(ULONG) {
    CopyWriter& w = *g_writer;
    while (w.journal->DefragState() != CDatabase::DEFRAG_COPYING)
        tx_thread_sleep(1);
    for (uint32_t r = 100; w.journal->DefragState() == CDatabase::DEFRAG_COPYING && r < 500; ++r) {
        const std::string text = "once " + std::to_string(r);
        const DbObject row = obj::changeableMsgMultiString.row(r);
        if (SetString(*g_store, row.offset, 4, text.data(), uint32_t(text.size()),
                      g_store->NvImage(), DB_NO_VALIDATE) == DB_OK)
            w.written[r] = text;
        tx_thread_sleep(1);
    }
    w.done = true;
}

TEST_F(PersistCompactionTest, EntriesPendingAtTheSwitchSpareTheNewFile) {
    ASSERT_EQ(0, Load());
    journal->Commit();
    Fill();
    CopyWriter w;
    w.journal = journal.get();
    g_writer = &w;
    StartHousekeeping();
    static uint8_t stack[16384];
    TX_THREAD writer{};
    ASSERT_EQ(TX_SUCCESS, tx_thread_create(&writer, "writer", write_while_copying, 0, stack,
                                           sizeof stack, 1, 1, 0, TX_AUTO_START));
    for (int i = 0; i < 600 && !(w.done && Compacted()); ++i)
        tx_thread_sleep(10);
    ASSERT_TRUE(Compacted());
    tx_thread_sleep(300); // delete passes over the new file
    StopHousekeeping();
    tx_thread_delete(&writer);
    ASSERT_GT(w.written.size(), 20u); // more writes than the copy has catch-ups
    for (const auto& e : w.written)
        EXPECT_EQ(e.second, Str(Row(e.first))) << "row " << e.first;
    Restart();
    ASSERT_EQ(1, Load());
    for (const auto& e : w.written)
        EXPECT_EQ(e.second, Str(Row(e.first))) << "row " << e.first << " after the restart";
    g_writer = nullptr;
}

// A writer at 100 writes a second of long values to ever other objects, as
// fast as the copy walks: the copy speeds up as the old file fills, so no
// write is ever refused, and every one is there after the switch and a restart.
struct SustainedWriter {
    CDatabase* journal = nullptr;
    std::map<uint32_t, std::string> written;
    uint32_t refused = 0;
    bool done = false;
};
SustainedWriter* g_sustained = nullptr;

void write_every_tick(ULONG) {
    SustainedWriter& w = *g_sustained;
    while (w.journal->DefragState() != CDatabase::DEFRAG_COPYING)
        tx_thread_sleep(1);
    for (uint32_t i = 0; w.journal->DefragState() != CDatabase::DEFRAG_IDLE; ++i) {
        const uint32_t r = 100 + i % 400;
        const std::string text(1000, char('a' + i % 26));
        const DbObject row = obj::changeableMsgMultiString.row(r);
        if (SetString(*g_store, row.offset, 4, text.data(), uint32_t(text.size()),
                      g_store->NvImage(), DB_NO_VALIDATE) == DB_OK)
            w.written[r] = text;
        else
            ++w.refused;
        tx_thread_sleep(1);
    }
    w.done = true;
}

TEST_F(PersistCompactionTest, SustainedWritesDuringACopyAreNeverRefused) {
    ASSERT_EQ(0, Load());
    journal->Commit();
    Fill();
    SustainedWriter w;
    w.journal = journal.get();
    g_sustained = &w;
    StartHousekeeping();
    static uint8_t stack[16384];
    TX_THREAD writer{};
    ASSERT_EQ(TX_SUCCESS, tx_thread_create(&writer, "writer", write_every_tick, 0, stack,
                                           sizeof stack, 1, 1, 0, TX_AUTO_START));
    for (int i = 0; i < 600 && !(w.done && Compacted()); ++i)
        tx_thread_sleep(10);
    ASSERT_TRUE(Compacted());
    StopHousekeeping();
    tx_thread_delete(&writer);
    EXPECT_EQ(0u, w.refused);
    EXPECT_GT(w.written.size(), 50u);
    Restart();
    ASSERT_EQ(1, Load());
    for (const auto& e : w.written)
        EXPECT_EQ(e.second, Str(Row(e.first))) << "row " << e.first;
    g_sustained = nullptr;
}

TEST_F(PersistCompactionTest, ScheduledCleanupStartsACompactionOnTheFirstOfTheMonth) {
    ASSERT_EQ(0, Load());
    journal->Commit();
    Write(0, "kept");
    Set(obj::halvSpecialFeatureSet, Get(obj::halvSpecialFeatureSet) | 0x400);
    const uint32_t march_2 = 1709337600; // 2024-03-02 00:00:00
    Set(obj::controllerLocalTime, march_2);
    for (int cycle = 0; cycle < 10; ++cycle)
        db->Run();
    EXPECT_EQ(CDatabase::DEFRAG_IDLE, journal->DefragState());
    test_support::ClearConsole();
    Set(obj::controllerLocalTime, march_2 + 30 * 86400); // 2024-04-01
    db->Run();
    EXPECT_NE(std::string::npos,
              test_support::ConsoleText().find("kick off scheduled cleanup event\n"));
    EXPECT_EQ(CDatabase::DEFRAG_COPYING, journal->DefragState());
    StartHousekeeping();
    for (int i = 0; i < 100 && !Compacted(); ++i)
        tx_thread_sleep(100);
    ASSERT_TRUE(Compacted());
    StopHousekeeping();
    // Once per month: the same day does not start another one.
    db->Run();
    EXPECT_EQ(CDatabase::DEFRAG_IDLE, journal->DefragState());
    Restart();
    ASSERT_EQ(1, Load());
    EXPECT_EQ("kept", Str(Row(0)));
}

} // namespace
