// The configuration-file tests' world: the board and the boot monitor over a
// fresh flash image, the general-purpose pool, the system media opened
// through the file-system driver and the one object store at its factory
// defaults with notification and validation on.
#pragma once

#include "platform/board/board.h"
#include "platform/host_options.h"
#include "platform/monitor/monitor.h"
#include "platform/monitor/monitor_host.h"
#include "runtime/gp_buffer.h"
#include "runtime/pools.h"
#include "store/database.h"
#include "store/filesystem.h"
#include "store/objects.h"
#include "tests/store/store_fixture.h"
#include "tests/support/kernel_fixture.h"

#include <cstdlib>
#include <string>

namespace config_test {

class ConfigFixture : public test_support::KernelFixture {
  protected:
    void SetUp() override {
        KernelFixture::SetUp();
        std::string dir = testing::TempDir() + "config_test_XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(&dir[0]));
        host::host_options().state_dir = dir;
        host::host_options().flash_size = 4u << 20;
        std::string error;
        ASSERT_TRUE(host::board_start(host::host_options(), error)) << error;
        ASSERT_TRUE(host::monitor_start(host::host_options(), error)) << error;
        uint8_t* cursor = test_support::FreeRam();
        ASSERT_EQ(1, TheGPBuffer().Create(&cursor, GP_BUFFER_BYTES));
        ASSERT_EQ(FS_OK, Driver()->OpenMedia(Media(), "system drive"));
        CDataBase& s = TheDatabase();
        s.SetValidateOn(false);
        s.SetDefaults(0);
        s.InitVolatile();
        s.SetNotifyOn(true);
        s.SetValidateOn(true);
        letters.Attach();
        test_support::ClearConsole();
    }
    void TearDown() override {
        letters.Detach();
        host::monitor_stop();
        host::board_stop();
    }

    static FS_MEDIA* Media() { return &TheSystemMedia(); }
    static CFileSystem_Driver* Driver() { return &TheFileSystem(); }

    // A file's bytes in flash ("" when absent); `exists` tells which.
    static std::string FileText(const char* name, bool* exists = nullptr) {
        TFSHDR* h = mon_tfsstat(name);
        if (exists) *exists = h != nullptr;
        if (h == nullptr) return std::string();
        return std::string(reinterpret_cast<const char*>(tfs_file_data(h)), tfs_file_size(h));
    }
    // The "database" bits set since the last call (cleared).
    static uint32_t TakeBits() {
        ULONG actual = 0;
        if (tx_event_flags_get(&database_event_flags(), 0xFFFFFFFFu, TX_OR_CLEAR, &actual,
                               TX_NO_WAIT) != TX_SUCCESS)
            return 0;
        return uint32_t(actual);
    }
    static bool HasFile(const char* name) { return mon_tfsstat(name) != nullptr; }
    static void PutFile(const char* name, const std::string& bytes) {
        ASSERT_EQ(0, mon_tfsadd(name, nullptr, nullptr,
                                reinterpret_cast<const unsigned char*>(bytes.data()),
                                int(bytes.size())));
    }
    static std::string Str(const DbObject& o) {
        uint32_t n = 0;
        const char* p = db_get_string(o, &n);
        return std::string(p, n);
    }

    store_test::LetterRecorder letters;
};

} // namespace config_test
