// A fresh object store on the virtual-clock kernel, with a journal that
// records its appends and a recorder of every post-office letter.
#pragma once

#include "console/monitor_task.h"
#include "platform/board/board.h"
#include "platform/host_options.h"
#include "runtime/gp_buffer.h"
#include "runtime/pools.h"
#include "runtime/post_office.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/support/kernel_fixture.h"

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace store_test {

struct JournalRecord {
    uint32_t offset;
    unsigned width; // 0 for a string record
    uint32_t value;
    std::string bytes;
};

class RecordingJournal : public CJournalSink {
  public:
    int AppendInt(uint32_t offset, unsigned width, uint32_t value) override {
        if (refuse) return 0;
        records.push_back({offset, width, value, {}});
        return 1;
    }
    int AppendString(uint32_t offset, const void* bytes, uint32_t length) override {
        if (refuse) return 0;
        records.push_back(
            {offset, 0, length, std::string(static_cast<const char*>(bytes), length)});
        return 1;
    }
    unsigned UsedPercent() override { return used_percent; }
    std::vector<JournalRecord> records;
    unsigned used_percent = 0;
    bool refuse = false; // a full journal: every append refused
};

// Every letter 1..128 posted while attached, in order.
class LetterRecorder {
  public:
    LetterRecorder() : mail_(the_post_office(), nullptr, 0, nullptr) {
        for (uint32_t c = 1; c <= 128; ++c)
            codes_[c - 1] = c;
        codes_[128] = 0;
    }
    void Attach() { mail_.attach(codes_); }
    void Detach() { mail_.detach(); }
    std::vector<uint32_t> Take() {
        std::vector<uint32_t> codes;
        letter_s* letter = nullptr;
        while (mail_.receive(&letter)) {
            codes.push_back(letter->code());
            mail_.release(letter);
        }
        return codes;
    }

  private:
    subscriber mail_;
    uint32_t codes_[129];
};

class StoreFixture : public test_support::KernelFixture {
  protected:
    void SetUp() override {
        KernelFixture::SetUp();
        StartBoard();
        TheMonitorTask().SetTraceLevel(1);
        db.reset(new CDataBase);
        db->BindJournal(&journal);
        letters.Attach();
        TakeBits();
    }
    void TearDown() override {
        letters.Detach();
        host::board_stop();
    }

    // The board's devices (the clock device among them) over a fresh state directory.
    void StartBoard() {
        std::string dir = testing::TempDir() + "store_test_XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(&dir[0]));
        host::host_options().state_dir = dir;
        std::string error;
        ASSERT_TRUE(host::board_start(host::host_options(), error)) << error;
    }

    // The general-purpose buffer pool, through which the built-in fonts are
    // inflated, placed above the kernel fixture's pools.
    void CreateGPBuffer() {
        uint8_t* cursor = static_cast<uint8_t*>(host::board_ram_address(16u << 20));
        TheGPBuffer().Create(&cursor, GP_BUFFER_BYTES);
        ASSERT_TRUE(TheGPBuffer().Created());
    }

    uint8_t* Img(const DbObject& o) { return db->Image(o.image); }
    uint32_t Get(const DbObject& o) {
        return GetInteger(*db, o.offset, o.width, Img(o), DB_NO_TIME_WARNING);
    }
    int Set(const DbObject& o, uint32_t v, uint32_t flags = 0) {
        return SetInteger(*db, o.offset, o.width, v, Img(o), flags);
    }
    std::string Str(const DbObject& o) {
        uint32_t n = 0;
        const char* p = GetString(*db, o.offset, o.width, Img(o), &n);
        return std::string(p, n);
    }
    int SetStr(const DbObject& o, const std::string& s, uint32_t flags = 0) {
        return SetString(*db, o.offset, o.width, s.data(), uint32_t(s.size()), Img(o), flags);
    }
    // The "database" bits set since the last call (cleared).
    uint32_t TakeBits() {
        ULONG actual = 0;
        if (tx_event_flags_get(&database_event_flags(), 0xFFFFFFFFu, TX_OR_CLEAR, &actual,
                               TX_NO_WAIT) != TX_SUCCESS)
            return 0;
        return uint32_t(actual);
    }
    uint32_t PoolAvailable() {
        const char* name = nullptr;
        ULONG available = 0, fragments = 0;
        tx_byte_pool_info_get(&dynamic_database_pool(), &name, &available, &fragments);
        return uint32_t(available);
    }

    std::unique_ptr<CDataBase> db;
    RecordingJournal journal;
    LetterRecorder letters;
};

} // namespace store_test
