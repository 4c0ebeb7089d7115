// A fresh object store with its flash journal over a real flash file system
// image in a temporary state directory, on the virtual-clock kernel.
// Restart() models a restart of the board: RAM (the store, the journal, the
// pools) is lost, the flash image and the clock/NV device are kept.
#pragma once

#include "console/monitor_task.h"
#include "platform/board/board.h"
#include "platform/board/bus.h"
#include "platform/host_options.h"
#include "platform/monitor/monitor.h"
#include "platform/monitor/monitor_host.h"
#include "runtime/pools.h"
#include "store/database.h"
#include "store/journal.h"
#include "store/objects.h"
#include "tests/support/kernel_fixture.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace persist_test {

class PersistFixture : public test_support::KernelFixture {
  protected:
    void SetUp() override {
        KernelFixture::SetUp();
        std::string dir = testing::TempDir() + "persist_test_XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(&dir[0]));
        dir_ = dir;
        host::HostOptions& options = host::host_options();
        options.state_dir = dir_;
        options.flash_size = FlashSize();
        std::string error;
        ASSERT_TRUE(host::board_start(options, error)) << error;
        ASSERT_TRUE(host::monitor_start(options, error)) << error;
        host::monitor_set_restart_callback([this](int code) { restarts.push_back(code); });
        TheMonitorTask().SetTraceLevel(1);
        NewStore();
    }
    void TearDown() override {
        journal.reset();
        db.reset();
        host::monitor_set_restart_callback(nullptr);
        host::monitor_stop();
        host::board_stop();
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    virtual uint32_t FlashSize() const { return 16u << 20; }

    void NewStore() {
        db.reset(new CDataBase);
        journal.reset(new CDatabase(*db));
        db->BindJournal(journal.get());
    }

    // RAM is lost; flash and the clock/NV device stay. `defragment` asks the
    // monitor to defragment its flash at this restart.
    void Restart(bool defragment = true) {
        journal.reset();
        db.reset();
        if (defragment) host::monitor_flash().RequestDefrag();
        host::monitor_stop();
        host::kernel_start_for_test(test_support::define_pools, 0);
        std::string error;
        ASSERT_TRUE(host::monitor_start(host::host_options(), error)) << error;
        NewStore();
    }

    // Journal only (no factory defaults): mutexes and load.
    int Load() {
        journal->CreateMutexes();
        return journal->Load();
    }

    std::string FlashPath() const { return dir_ + "/flash.img"; }
    std::vector<uint8_t> FlashImage() const {
        std::ifstream in(FlashPath(), std::ios::binary | std::ios::ate);
        std::vector<uint8_t> image(size_t(in.tellg()));
        in.seekg(0);
        in.read(reinterpret_cast<char*>(image.data()), std::streamsize(image.size()));
        return image;
    }
    // Replace the flash image (the monitor is stopped meanwhile): RAM is lost.
    void RestartWithImage(const std::vector<uint8_t>& image) {
        journal.reset();
        db.reset();
        host::monitor_stop();
        {
            std::ofstream out(FlashPath(), std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
        }
        host::kernel_start_for_test(test_support::define_pools, 0);
        std::string error;
        ASSERT_TRUE(host::monitor_start(host::host_options(), error)) << error;
        NewStore();
    }

    const uint8_t* FileData(const char* name) {
        TFSHDR* h = mon_tfsstat(name);
        return h ? tfs_file_data(h) : nullptr;
    }

    uint8_t* Img(const DbObject& o) { return db->Image(o.image); }
    uint32_t Get(const DbObject& o) {
        return GetInteger(*db, o.offset, o.width, Img(o), DB_NO_TIME_WARNING);
    }
    int Set(const DbObject& o, uint32_t v, uint32_t flags = 0) {
        return SetInteger(*db, o.offset, o.width, v, Img(o), flags | DB_NO_VALIDATE);
    }
    std::string Str(const DbObject& o) {
        uint32_t n = 0;
        const char* p = GetString(*db, o.offset, o.width, Img(o), &n);
        return std::string(p, n);
    }
    int SetStr(const DbObject& o, const std::string& s, uint32_t flags = 0) {
        return SetString(*db, o.offset, o.width, s.data(), uint32_t(s.size()), Img(o),
                         flags | DB_NO_VALIDATE);
    }

    // Live records of the active file, in order: {object offset, value bytes}.
    struct Live {
        uint32_t object;
        std::string value;
    };
    std::vector<Live> LiveRecords(const char* name) {
        std::vector<Live> out;
        const uint8_t* d = FileData(name);
        if (!d) return out;
        uint32_t at = CDatabase::HEADER_BYTES;
        uint32_t erased = 0;
        while (at + 7 < CDatabase::FILE_BYTES && erased <= 1700) {
            if (d[at] == 0xFF) {
                ++erased, ++at;
                continue;
            }
            erased = 0;
            uint32_t length = (uint32_t(d[at + 1]) << 8) | d[at + 2];
            bool framed = (d[at] == 0x7E || d[at] == 0x3E) && length >= 7 && length <= 1700 &&
                          at + length + 3 < CDatabase::FILE_BYTES && d[at + length + 3] == 0x7C;
            if (!framed) {
                ++at;
                continue;
            }
            if (d[at] == 0x7E) {
                uint32_t object = (uint32_t(d[at + 3]) << 24) | (uint32_t(d[at + 4]) << 16) |
                                  (uint32_t(d[at + 5]) << 8) | d[at + 6];
                out.push_back(
                    {object, std::string(reinterpret_cast<const char*>(d + at + 7), length - 6)});
            }
            at += length + 4;
        }
        return out;
    }
    size_t LiveCount(const char* name, uint32_t object) {
        size_t n = 0;
        for (const Live& l : LiveRecords(name))
            n += l.object == object;
        return n;
    }

    std::string dir_;
    std::unique_ptr<CDataBase> db;
    std::unique_ptr<CDatabase> journal;
    std::vector<int> restarts;
};

} // namespace persist_test
