// A journal damaged between two lives of the sign: a record whose bytes were
// hit, the only record of an object, a flash image cut short. Each object
// comes back with its newest intact record, else its factory value, and the
// configuration objects with "CONFIG.XML" (as saved by the sign itself).
#include "platform/monitor/flash_fs.h"
#include "platform/monitor/monitor_host.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/support/firmware_fixture.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

const DbObject kRow = obj::changeableMsgMultiString.row(3); // not in CONFIG.XML
const uint32_t kNoValidate = DB_NO_VALIDATE;

void boot_or_exit(const std::string& dir) {
    std::string error;
    if (!test_support::BootFirmware(
            dir, [] { host::monitor_set_restart_callback([](int) { _exit(97); }); }, 2, error))
        _exit(99);
}

std::string text_of(const DbObject& o) {
    uint32_t n = 0;
    const char* p = db_get_string(o, &n);
    return std::string(p, n);
}

// The first life: an older and a newer value of a configuration integer and
// of a message row, each followed by the sign's own delete pass and save of
// "CONFIG.XML".
void first_life(const std::string& dir) {
    boot_or_exit(dir);
    tx_thread_sleep(300);
    bool ok = db_set(obj::dmsSignHeight, 111, DB_NOTIFY) == DB_OK &&
              db_set(obj::halvHostIPPort, 1161, DB_NOTIFY) == DB_OK &&
              db_set_text(kRow, "older", kNoValidate) == DB_OK;
    tx_thread_sleep(300);
    ok = ok && db_set(obj::dmsSignHeight, 222, DB_NOTIFY) == DB_OK &&
         db_set_text(kRow, "newest", kNoValidate) == DB_OK;
    tx_thread_sleep(300);
    _exit(ok ? 0 : 1);
}

// The second life: the values, one "name=value" line each, into `out`.
void second_life(const std::string& dir, const std::string& out) {
    boot_or_exit(dir);
    std::ofstream f(out);
    f << "height=" << db_get(obj::dmsSignHeight) << "\n"
      << "port=" << db_get(obj::halvHostIPPort) << "\n"
      << "row=" << text_of(kRow) << "\n"
      << "name=" << text_of(obj::sysName) << "\n";
    f.close();
    _exit(0);
}

int run_child(const std::function<void()>& body) {
    pid_t child = fork();
    if (child == 0) body();
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::map<std::string, std::string> read_values(const std::string& path) {
    std::map<std::string, std::string> values;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        values[line.substr(0, line.find('='))] = line.substr(line.find('=') + 1);
    return values;
}

// Image offset of the newest live record of `object` in nv1.dat.
size_t newest_record(const std::string& image_path, uint32_t object) {
    monitor::FlashFs flash;
    std::string report;
    if (flash.Mount(image_path, 0, monitor::FlashFs::Access::ReadOnly, report) != TFS_OKAY)
        return 0;
    TFSHDR* h = flash.Stat("nv1.dat");
    if (!h) return 0;
    const uint8_t* d = tfs_file_data(h);
    const size_t data = size_t(flash.OffsetOf(h)) + 128;
    size_t found = 0;
    for (uint32_t at = 14, erased = 0; at + 7 < tfs_file_size(h) && erased <= 1700;) {
        if (d[at] == 0xFF) {
            ++erased, ++at;
            continue;
        }
        erased = 0;
        const uint32_t length = (uint32_t(d[at + 1]) << 8) | d[at + 2];
        const uint32_t o = tfs_be32(d + at + 3);
        if ((d[at] != 0x7E && d[at] != 0x3E) || length < 7 || length > 1700) {
            ++at;
            continue;
        }
        if (d[at] == 0x7E && o == object) found = data + at;
        at += length + 4;
    }
    return found;
}

TEST(PersistDamageTest, DamagedOrLostRecordsFallBackToOlderRecordsFactoryValuesAndConfig) {
    char pattern[] = "/tmp/persist-damage-XXXXXX";
    const std::string top = mkdtemp(pattern);
    const std::string pristine = top + "/pristine";
    ASSERT_EQ(0, run_child([&] { first_life(pristine); }));
    const std::string image = read_file(pristine + "/flash.img");
    ASSERT_GT(image.size(), 4u << 20);
    const size_t row = newest_record(pristine + "/flash.img", kRow.offset);
    const size_t height = newest_record(pristine + "/flash.img", obj::dmsSignHeight.offset);
    const size_t name = newest_record(pristine + "/flash.img", obj::sysName.offset);
    ASSERT_TRUE(row && height && name);
    const std::string factory_name = "Halvenmark, Inc. TZR-5100 Tessalon(tm) VMS Field Controller";

    struct Case {
        const char* what;
        size_t hit; // a value byte changed here (0: none)
        size_t cut; // the image cut to this many bytes (0: whole)
        std::map<std::string, std::string> expected;
    } cases[] = {
        {"nothing damaged",
         0,
         0,
         {{"height", "222"}, {"port", "1161"}, {"row", "newest"}, {"name", factory_name}}},
        // The older record of the row comes back, not an empty row.
        {"newest record of a message row hit",
         row + 8,
         0,
         {{"height", "222"}, {"port", "1161"}, {"row", "older"}, {"name", factory_name}}},
        // CONFIG.XML holds the newest value, not the older record's 111.
        {"newest record of a configuration object hit",
         height + 7,
         0,
         {{"height", "222"}, {"port", "1161"}, {"row", "newest"}, {"name", factory_name}}},
        // Its only record (the factory value's): the factory value again.
        {"only record of an object hit",
         name + 9,
         0,
         {{"height", "222"}, {"port", "1161"}, {"row", "newest"}, {"name", factory_name}}},
        // Everything from the row's newest record on is lost, CONFIG.XML too.
        {"image cut inside the journal",
         0,
         row + 3,
         {{"height", "222"}, {"port", "1161"}, {"row", "older"}, {"name", factory_name}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string dir = top + "/state";
        fs::remove_all(dir);
        fs::create_directories(dir);
        for (const char* file : {"clocknv.bin", "environment"})
            fs::copy_file(pristine + "/" + file, dir + "/" + file);
        std::string bytes = image;
        if (c.hit) bytes[c.hit] = char(bytes[c.hit] ^ 0x21);
        if (c.cut) bytes.resize(c.cut);
        std::ofstream(dir + "/flash.img", std::ios::binary) << bytes;
        ASSERT_EQ(0, run_child([&] { second_life(dir, top + "/values.txt"); }));
        EXPECT_EQ(c.expected, read_values(top + "/values.txt"));
    }
    fs::remove_all(top);
}

} // namespace
