// The file-system driver over the monitor's flash file system: whole-file
// writes, open/read/write/close, memory reads, directories per thread, the
// media lock, the path helpers and the HTTP server's file functions.
#include "store/filesystem.h"

#include "runtime/gp_buffer.h"
#include "tests/store/persist_fixture.h"

#include <cstring>

using namespace persist_test;

namespace {

class FileSystemTest : public PersistFixture {
  protected:
    uint32_t FlashSize() const override { return 9u << 20; }
    void SetUp() override {
        PersistFixture::SetUp();
        uint8_t* cursor = test_support::FreeRam();
        TheGPBuffer().Create(&cursor, 0x10000);
        ASSERT_EQ(FS_OK, fs.OpenMedia(&media, "system drive"));
    }
    void TearDown() override {
        fs.CloseMedia(&media);
        PersistFixture::TearDown();
    }
    void Put(const char* name, const std::string& text, const char* flags = nullptr) {
        ASSERT_EQ(0, mon_tfsadd(name, nullptr, flags,
                                reinterpret_cast<const unsigned char*>(text.data()),
                                int(text.size())));
    }
    std::string Content(const char* name) {
        TFSHDR* h = mon_tfsstat(name);
        if (!h) return "<absent>";
        return std::string(reinterpret_cast<const char*>(tfs_file_data(h)), tfs_file_size(h));
    }
    std::vector<std::string> List() {
        std::vector<std::string> names;
        char name[TFS_NAMESIZE + 1];
        for (int rc = fs.FirstEntry(&media, name); rc == FS_OK; rc = fs.NextEntry(&media, name))
            names.push_back(name);
        return names;
    }

    CFileSystem_DriverTFS fs;
    FS_MEDIA media;
};

TEST_F(FileSystemTest, FlagTablesAndPathHelpers) {
    char letters[16];
    fs_flag_letters(0xFFFF, letters);
    EXPECT_STREQ("peElbicv", letters);
    fs_flag_letters(64, letters);
    EXPECT_STREQ("p", letters);
    EXPECT_EQ(uint32_t(TFS_FLAG_IPMOD | TFS_RDONLY), fs_tfs_flags(FS_FLAG_IN_PLACE | FS_FLAG_READ));
    EXPECT_EQ(uint32_t(FS_FLAG_EXEC | FS_FLAG_C), fs_driver_flags(TFS_FLAG_EXEC | TFS_FLAG_C));

    struct Case {
        const char* path;
        int dir_rc;
        const char* dir;
        const char* base;
    } cases[] = {
        {"a/b/c.txt", FS_OK, "a\\b\\", "c.txt"},
        {"a\\b/c.txt", FS_OK, "a\\b\\", "c.txt"},
        {"c.txt", FS_NO_DIRECTORY, "", "c.txt"},
        {"web/", FS_OK, "web\\", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        char out[32];
        EXPECT_EQ(c.dir_rc, fs_path_to_tfs(c.path, out, sizeof out));
        EXPECT_STREQ(c.dir, out);
        EXPECT_EQ(FS_OK, fs_basename(c.path, out, sizeof out));
        EXPECT_STREQ(c.base, out);
    }
    char small[4];
    EXPECT_EQ(FS_NAME_TOO_LONG, fs_path_to_tfs("abcd", small, sizeof small));
    EXPECT_EQ(FS_NAME_TOO_LONG, fs_basename("x/abcd", small, sizeof small));
}

TEST_F(FileSystemTest, WholeFileWriteAddsTheFileWithItsFlagsAtTheCurrentDirectory) {
    const std::string text = "<config/>";
    EXPECT_EQ(FS_OK, fs.WriteFile(&media, 0, "CONFIG.XML", 64, text.data(), uint32_t(text.size())));
    EXPECT_EQ(text, Content("CONFIG.XML"));
    uint32_t attributes = 0;
    EXPECT_EQ(FS_OK, fs.ReadAttributes(&media, "CONFIG.XML", &attributes));
    EXPECT_EQ(uint32_t(FS_FLAG_P), attributes);
    EXPECT_EQ(FS_NOT_FOUND, fs.ReadAttributes(&media, "none", &attributes));
    // With a current directory the file is named with it.
    FS_LOCAL_PATH record;
    ASSERT_EQ(FS_OK, fs.SetLocalPath(&media, &record, "./web/"));
    EXPECT_STREQ("web\\", record.path);
    EXPECT_EQ(FS_OK, fs.WriteFile(&media, 0, "page.html", 0, "x", 1));
    EXPECT_EQ("x", Content("web/page.html"));
    EXPECT_EQ(FS_OK, fs.DeleteFile(&media, "web/page.html"));
    EXPECT_EQ(FS_NOT_FOUND, fs.DeleteFile(&media, "web/page.html"));
    EXPECT_EQ(FS_NOT_OPEN_MEDIA, fs.WriteFile(nullptr, 0, "x", 0, "x", 1));
}

TEST_F(FileSystemTest, WholeFileWriteRestartsForDefragmentationOnlyWhenThatMakesRoom) {
    std::string big(4u << 20, 'b');
    ASSERT_EQ(FS_OK, fs.WriteFile(&media, 0, "big.bin", 0, big.data(), uint32_t(big.size())));
    ASSERT_EQ(FS_OK, fs.DeleteFile(&media, "big.bin")); // 4 MiB deleted space
    std::string larger(6u << 20, 'l');
    EXPECT_EQ(FS_NO_ROOM,
              fs.WriteFile(&media, 0, "larger.bin", 0, larger.data(), uint32_t(larger.size())));
    ASSERT_EQ(1u, restarts.size()); // free plus deleted space suffices
    EXPECT_EQ(1, bus_read8(BUS_UART0_SCRATCH) & 1);
    bus_write8(BUS_UART0_SCRATCH, 0);
    std::string huge(10u << 20, 'h');
    EXPECT_EQ(FS_NO_ROOM,
              fs.WriteFile(&media, 0, "huge.bin", 0, huge.data(), uint32_t(huge.size())));
    EXPECT_EQ(1u, restarts.size()); // no restart can make room for it
    EXPECT_EQ("<absent>", Content("huge.bin"));
}

TEST_F(FileSystemTest, CreateWriteCloseThenReadBack) {
    FS_FILE file;
    ASSERT_EQ(FS_OK, fs.CreateFile(&media, &file, "new.txt", FS_FLAG_WRITE));
    ASSERT_EQ(FS_OK, fs.OpenFile(&media, &file, "new.txt", FS_FLAG_WRITE));
    EXPECT_EQ(FS_ALREADY_OPEN, fs.OpenFile(&media, &file, "new.txt", FS_FLAG_WRITE));
    EXPECT_EQ(FS_OK, fs.WriteOpenFile(&file, "hello ", 6));
    EXPECT_EQ(FS_OK, fs.WriteOpenFile(&file, "world", 5));
    char buffer[32];
    uint32_t n = 0;
    EXPECT_EQ(FS_NOT_PERMITTED, fs.ReadFile(&file, buffer, sizeof buffer, &n));
    EXPECT_EQ(FS_OK, fs.CloseFile(&file));
    EXPECT_EQ(FS_NOT_OPEN_FILE, fs.CloseFile(&file));
    EXPECT_EQ("hello world", Content("new.txt"));

    FS_FILE again;
    EXPECT_EQ(FS_EXISTS, fs.CreateFile(&media, &again, "new.txt", FS_FLAG_WRITE));
    EXPECT_EQ(FS_BAD_ARGUMENT, fs.CreateFile(&media, &again, "other.txt", FS_FLAG_IN_PLACE));
    FS_FILE reader;
    ASSERT_EQ(FS_OK, fs.OpenFile(&media, &reader, "new.txt", FS_FLAG_READ));
    EXPECT_EQ(FS_NOT_PERMITTED, fs.WriteOpenFile(&reader, "x", 1));
    ASSERT_EQ(FS_OK, fs.SeekFile(&reader, 6));
    ASSERT_EQ(FS_OK, fs.ReadFile(&reader, buffer, sizeof buffer, &n));
    EXPECT_EQ("world", std::string(buffer, n));
    EXPECT_EQ(FS_END_OF_FILE, fs.ReadFile(&reader, buffer, sizeof buffer, &n));
    EXPECT_EQ(FS_END_OF_FILE, fs.SeekFile(&reader, 50));
    EXPECT_EQ(FS_OK, fs.CloseFile(&reader));
    FS_FILE missing;
    EXPECT_EQ(FS_NOT_FOUND, fs.OpenFile(&media, &missing, "missing.txt", FS_FLAG_READ));
    EXPECT_EQ(0u, TheGPBuffer().Outstanding()); // every buffer went back
}

TEST_F(FileSystemTest, MemoryReadStopsAtTheEndAndInPlaceWritesClearBits) {
    Put("page.html", "0123456789");
    FS_FILE file;
    ASSERT_EQ(FS_OK, fs.OpenFile(&media, &file, "page.html", FS_FLAG_READ | FS_FLAG_MEMORY_READ));
    char buffer[32];
    uint32_t n = 0;
    ASSERT_EQ(FS_OK, fs.ReadFile(&file, buffer, 4, &n));
    EXPECT_EQ("0123", std::string(buffer, n));
    ASSERT_EQ(FS_OK, fs.ReadFile(&file, buffer, 100, &n)); // shortened to what is left
    EXPECT_EQ("456789", std::string(buffer, n));
    EXPECT_EQ(FS_END_OF_FILE, fs.ReadFile(&file, buffer, 100, &n));
    EXPECT_EQ(0u, n);
    fs.CloseFile(&file);

    ASSERT_EQ(0, mon_tfsadd("ip.bin", nullptr, "i", nullptr, 8));
    FS_FILE ip;
    ASSERT_EQ(FS_OK, fs.OpenFile(&media, &ip, "ip.bin", FS_FLAG_WRITE | FS_FLAG_IN_PLACE));
    EXPECT_EQ(FS_OK, fs.WriteOpenFile(&ip, "ab", 2));
    EXPECT_EQ(FS_OK, fs.WriteOpenFile(&ip, "cd", 2));
    EXPECT_EQ(std::string("abcd\xFF\xFF\xFF\xFF"), Content("ip.bin"));
    EXPECT_EQ(FS_OK, fs.CloseFile(&ip));
}

TEST_F(FileSystemTest, NamesUpTo200CharactersAreTaken) {
    const std::string longest(200, 'n'), too_long(201, 'n');
    FS_FILE file;
    EXPECT_EQ(FS_NOT_FOUND, fs.OpenFile(&media, &file, longest.c_str(), FS_FLAG_READ));
    EXPECT_EQ(FS_NAME_TOO_LONG, fs.OpenFile(&media, &file, too_long.c_str(), FS_FLAG_READ));
    FS_LOCAL_PATH record;
    EXPECT_EQ(FS_OK, fs.SetLocalPath(&media, &record, longest.c_str()));
    EXPECT_EQ(FS_NAME_TOO_LONG, fs.SetLocalPath(&media, &record, too_long.c_str()));
}

TEST_F(FileSystemTest, DirectoriesFollowTheCallingThreadsRecord) {
    Put("a.txt", "a");
    Put("web\\index.html", "<html>");
    Put("web\\style.css", "css");
    Put("other\\x.txt", "x");
    EXPECT_EQ(std::vector<std::string>{"a.txt"}, List()); // the root
    FS_LOCAL_PATH record;
    ASSERT_EQ(FS_OK, fs.SetLocalPath(&media, &record, "web/"));
    char* path = nullptr;
    ASSERT_EQ(FS_OK, fs.GetLocalPath(&media, &path));
    EXPECT_STREQ("web\\", path);
    EXPECT_EQ((std::vector<std::string>{"index.html", "style.css"}), List());
    uint32_t attributes = 0, size = 0, t1 = 0, t2 = 0, t3 = 0;
    EXPECT_EQ(FS_OK,
              fs.DirectoryInformation(&media, "index.html", &attributes, &size, &t1, &t2, &t3));
    EXPECT_EQ(6u, size);
    EXPECT_EQ(FS_OK,
              fs.DirectoryInformation(&media, "web/style.css", &attributes, &size, &t1, &t2, &t3));
    EXPECT_EQ(3u, size);
    EXPECT_EQ(FS_BAD_ARGUMENT,
              fs.DirectoryInformation(&media, "other/x.txt", &attributes, &size, &t1, &t2, &t3));
    EXPECT_EQ(FS_NOT_FOUND,
              fs.DirectoryInformation(&media, "a.txt", &attributes, &size, &t1, &t2, &t3));
    EXPECT_EQ(FS_OK, fs.ClearLocalPath(&media));
    EXPECT_EQ(FS_NOT_FOUND, fs.ClearLocalPath(&media));
    EXPECT_EQ(std::vector<std::string>{"a.txt"}, List());
}

// Another thread inside the driver: the call fails at once with "busy".
TEST_F(FileSystemTest, ACallWhileAnotherThreadHoldsTheMediaIsBusy) {
    static FS_MEDIA* shared;
    shared = &media;
    static TX_THREAD holder;
    static uint8_t stack[8192];
    ASSERT_EQ(TX_SUCCESS, tx_thread_create(
                              &holder, "holder",
                              [](ULONG) {
                                  tx_mutex_get(&shared->mutex, TX_WAIT_FOREVER);
                                  tx_thread_sleep(100);
                                  tx_mutex_put(&shared->mutex);
                              },
                              0, stack, sizeof stack, 5, 5, 0, TX_AUTO_START));
    tx_thread_sleep(10);
    uint32_t attributes = 0;
    Put("a.txt", "a");
    EXPECT_EQ(FS_BUSY, fs.ReadAttributes(&media, "a.txt", &attributes));
    tx_thread_sleep(200);
    EXPECT_EQ(FS_OK, fs.ReadAttributes(&media, "a.txt", &attributes));
    tx_thread_terminate(&holder);
    tx_thread_delete(&holder);
}

TEST_F(FileSystemTest, HttpServerFileFunctions) {
    ASSERT_EQ(FS_OK, TheFileSystem().OpenMedia(&TheSystemMedia(), "system drive"));
    Put("index.html", "<html>home</html>");
    FX_FILE file;
    ASSERT_EQ(FX_SUCCESS, fx_file_open(nullptr, &file, "/index.html", FX_OPEN_FOR_READ));
    EXPECT_EQ(uint32_t(FS_FLAG_READ | FS_FLAG_MEMORY_READ), file.block->mode);
    char buffer[64];
    uint32_t n = 0;
    ASSERT_EQ(FX_SUCCESS, fx_file_read(&file, buffer, sizeof buffer, &n));
    EXPECT_EQ("<html>home</html>", std::string(buffer, n));
    EXPECT_EQ(FX_END_OF_FILE, fx_file_read(&file, buffer, sizeof buffer, &n));
    EXPECT_EQ(FX_INVALID_STATE, fx_file_seek(&file, 500));
    EXPECT_EQ(FX_IO_ERROR, fx_file_write(&file, "x", 1));
    EXPECT_EQ(FX_SUCCESS, fx_file_close(&file));
    EXPECT_EQ(FX_IO_ERROR, fx_file_open(nullptr, &file, "/missing.html", FX_OPEN_FOR_READ));
    fx_shim_reset();

    unsigned attributes = 9, year = 0, month = 0, day = 0, hour = 9, minute = 9, second = 9;
    uint32_t size = 0;
    ASSERT_EQ(FX_SUCCESS,
              fx_directory_information_get(nullptr, "/index.html", &attributes, &size, &year,
                                           &month, &day, &hour, &minute, &second));
    EXPECT_EQ(17u, size);
    EXPECT_EQ((std::vector<unsigned>{0, 2004, 1, 1, 0, 0, 0}),
              (std::vector<unsigned>{attributes, year, month, day, hour, minute, second}));
    EXPECT_EQ(FX_NOT_FOUND,
              fx_directory_information_get(nullptr, "/none", &attributes, &size, &year, &month,
                                           &day, &hour, &minute, &second));

    ASSERT_EQ(FX_SUCCESS, fx_file_create(nullptr, "upload.bin"));
    ASSERT_EQ(FX_SUCCESS, fx_file_open(nullptr, &file, "upload.bin", FX_OPEN_FOR_WRITE));
    EXPECT_EQ(FX_SUCCESS, fx_file_write(&file, "data", 4));
    EXPECT_EQ(FX_SUCCESS, fx_file_close(&file));
    EXPECT_EQ("data", Content("upload.bin"));
    EXPECT_EQ(FX_SUCCESS, fx_file_delete(nullptr, "upload.bin"));
    EXPECT_EQ(FX_IO_ERROR, fx_file_delete(nullptr, "upload.bin"));
    TheFileSystem().CloseMedia(&TheSystemMedia());
}

} // namespace
