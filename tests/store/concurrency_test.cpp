// Several threads write and read the same string objects on the virtual
// clock. Writers hold the store lock across a tick (the journal append below
// sleeps), so readers keep arriving while a value is being replaced; every
// value a reader copies must be one complete value that some writer wrote.
#include "tests/store/store_fixture.h"

#include <atomic>

using namespace store_test;

namespace {

const unsigned WRITERS = 4, READERS = 3, OBJECTS = 3, ROUNDS = 150;
const DbObject kObjects[OBJECTS] = {obj::fontName.row(0), obj::fontName.row(1),
                                    obj::volatileMsgMultiString.row(0)};

// A journal whose appends take a tick: the writer holds the store lock meanwhile.
class SlowJournal : public CJournalSink {
  public:
    int AppendInt(uint32_t, unsigned, uint32_t) override { return 1; }
    int AppendString(uint32_t, const void*, uint32_t) override {
        tx_thread_sleep(1);
        return 1;
    }
};

struct Shared {
    CDataBase* db = nullptr;
    std::atomic<unsigned> writers_done{0}, readers_done{0};
    std::atomic<unsigned> reads{0}, bad_reads{0};
};
Shared* g_shared = nullptr;

// A value: two length bytes, then a payload of one repeated byte.
std::string make_value(unsigned writer, unsigned round) {
    unsigned length = 3 + (round * 37 + writer * 101) % 600;
    std::string v(length, char('A' + writer * 16 + round % 16));
    v[0] = char(length >> 8);
    v[1] = char(length & 0xFF);
    return v;
}

bool well_formed(const char* bytes, uint32_t length) {
    if (length == 0) return true; // not yet written
    if (length < 3 || ((uint8_t(bytes[0]) << 8) | uint8_t(bytes[1])) != int(length)) return false;
    for (uint32_t i = 3; i < length; ++i)
        if (bytes[i] != bytes[2]) return false;
    return bytes[length] == 0;
}

void writer(ULONG index) {
    CDataBase& db = *g_shared->db;
    for (unsigned round = 0; round < ROUNDS; ++round) {
        const DbObject& o = kObjects[(round + index) % OBJECTS];
        std::string v = make_value(index, round);
        SetString(db, o.offset, 4, v.data(), uint32_t(v.size()), db.Image(o.image), 0);
        if (round % 3 == index % 3) tx_thread_sleep(1);
    }
    ++g_shared->writers_done;
}

// Reader 0 holds the store lock across a tick while it looks at the stored
// bytes in place: no writer may replace or change them meanwhile. The others
// take copies.
bool read_in_place(CDataBase& db, const DbObject& o) {
    db.Lock();
    uint32_t length = 0;
    const char* bytes = GetString(db, o.offset, 4, db.Image(o.image), &length);
    std::string before(bytes, length);
    tx_thread_sleep(1);
    uint32_t length_after = 0;
    const char* after = GetString(db, o.offset, 4, db.Image(o.image), &length_after);
    bool same = after == bytes && length_after == length &&
                before == std::string(after, length_after) && well_formed(after, length_after);
    db.Unlock();
    return same;
}

bool read_copy(CDataBase& db, const DbObject& o) {
    char buffer[700];
    uint32_t length = 0;
    uint32_t copied =
        GetStringCopy(db, o.offset, 4, db.Image(o.image), buffer, sizeof buffer, &length);
    return copied == length && well_formed(buffer, copied);
}

void reader(ULONG index) {
    CDataBase& db = *g_shared->db;
    while (g_shared->writers_done < WRITERS) {
        for (const DbObject& o : kObjects) {
            bool good = index == 0 ? read_in_place(db, o) : read_copy(db, o);
            ++g_shared->reads;
            if (!good) ++g_shared->bad_reads;
        }
        tx_thread_sleep(1);
    }
    ++g_shared->readers_done;
}

class ConcurrencyTest : public StoreFixture {};

TEST_F(ConcurrencyTest, ReadersNeverSeeATornOrFreedValue) {
    SlowJournal slow;
    db->BindJournal(&slow);
    db->SetValidateOn(false);
    Shared shared;
    shared.db = db.get();
    g_shared = &shared;
    uint32_t pool_before = PoolAvailable();

    TX_THREAD threads[WRITERS + READERS];
    for (unsigned i = 0; i < WRITERS + READERS; ++i) {
        void* stack = nullptr;
        ASSERT_EQ(TX_SUCCESS, tx_byte_allocate(&thread_stack_pool(), &stack, 4096, TX_NO_WAIT));
        bool is_writer = i < WRITERS;
        ASSERT_EQ(TX_SUCCESS,
                  tx_thread_create(&threads[i], is_writer ? "writer" : "reader",
                                   is_writer ? writer : reader, is_writer ? i : i - WRITERS, stack,
                                   4096, is_writer ? 6 : 5, is_writer ? 6 : 5, 0, TX_AUTO_START));
    }
    for (int waited = 0; shared.readers_done < READERS && waited < 100000; ++waited)
        tx_thread_sleep(10);

    EXPECT_EQ(WRITERS, shared.writers_done.load());
    EXPECT_EQ(READERS, shared.readers_done.load());
    EXPECT_GT(shared.reads.load(), 100u);
    EXPECT_EQ(0u, shared.bad_reads.load());
    // The last value of each object is one a writer wrote; no block was lost.
    for (const DbObject& o : kObjects) {
        std::string v = Str(o);
        EXPECT_TRUE(well_formed(v.c_str(), uint32_t(v.size())));
    }
    db->BindJournal(&journal);
    for (const DbObject& o : kObjects)
        SetString(*db, o.offset, 4, nullptr, 0, Img(o), 0);
    EXPECT_EQ(pool_before, PoolAvailable());
    for (TX_THREAD& t : threads)
        tx_thread_delete(&t);
    g_shared = nullptr;
}

// A bulk writer (the factory defaults at run time, a memory clear) skips
// checks and notification for its own writes only: another thread writing
// meanwhile is checked and notified as usual.
struct QuietWriter {
    CDataBase* db;
    int result = -1;
    std::atomic<bool> done{false};
};
QuietWriter* g_quiet = nullptr;

void quiet_writer(ULONG) {
    CDataBase& db = *g_quiet->db;
    db.BeginQuietWrites();
    db.BeginQuietWrites(); // nested: the outer call still holds
    db.EndQuietWrites();
    g_quiet->result = SetInteger(db, obj::dmsControlMode, 99, DB_NOTIFY) |
                      SetInteger(db, obj::dmsMemoryMgmt, 4, DB_NOTIFY);
    tx_thread_sleep(20); // the other thread writes now
    db.EndQuietWrites();
    g_quiet->done = true;
}

TEST_F(ConcurrencyTest, QuietWritesAreTheBulkWritersOwn) {
    db->SetNotifyOn(true);
    QuietWriter quiet;
    quiet.db = db.get();
    g_quiet = &quiet;
    void* stack = nullptr;
    ASSERT_EQ(TX_SUCCESS, tx_byte_allocate(&thread_stack_pool(), &stack, 4096, TX_NO_WAIT));
    TX_THREAD thread;
    ASSERT_EQ(TX_SUCCESS, tx_thread_create(&thread, "bulk", quiet_writer, 0, stack, 4096, 5, 5, 0,
                                           TX_AUTO_START));
    tx_thread_sleep(5);
    ASSERT_EQ(DB_OK, quiet.result);
    EXPECT_EQ(99u, Get(obj::dmsControlMode));
    EXPECT_TRUE(letters.Take().empty() && TakeBits() == 0); // the quiet write told nobody
    EXPECT_EQ(DB_REFUSED, Set(obj::dmsControlMode, 98, DB_NOTIFY));
    EXPECT_EQ(DB_OK, Set(obj::dmsMemoryMgmt, 3, DB_NOTIFY));
    EXPECT_EQ(0x200u, TakeBits() & 0x200);
    for (int i = 0; i < 100 && !quiet.done; ++i)
        tx_thread_sleep(5);
    ASSERT_TRUE(quiet.done);
    EXPECT_EQ(DB_REFUSED, SetInteger(*db, obj::dmsControlMode, 97, 0));
    tx_thread_terminate(&thread);
    tx_thread_delete(&thread);
}

} // namespace
