// The configuration files across a restart of the whole firmware: the first
// boot runs in a child process that ends at its restart (or abruptly), the
// second boot in the test process over the same state directory.
//  - Every row of the 70 configuration objects comes back from "CONFIG.XML"
//    when the journal files are gone.
//  - A change of the Ethernet configuration rewrites "monrc", the controller
//    restarts and the boot monitor's environment follows the file.
#include "peripherals/peripheral_task.h"
#include "platform/board/board.h"
#include "platform/host_options.h"
#include "platform/monitor/monitor.h"
#include "platform/monitor/monitor_host.h"
#include "runtime/letter_codes.h"
#include "runtime/post_office.h"
#include "startup/startup.h"
#include "store/config_file.h"
#include "store/config_objects.h"
#include "store/database.h"
#include "store/journal.h"
#include "store/objects.h"
#include "tests/support/firmware_fixture.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const int CHILD_FAILED = 99;

void boot(const std::string& dir, const std::function<void()>& before_firmware = {}) {
    std::string error;
    auto prepare = [&] {
        host::monitor_set_restart_callback([](int) { _exit(0); });
        if (before_firmware) before_firmware();
    };
    if (!test_support::BootFirmware(dir, prepare, 0, error)) _exit(CHILD_FAILED);
}

// The first boot in a child; -> its exit status (CHILD_FAILED and above: it failed).
int first_boot(const std::string& dir, const std::function<int()>& body) {
    return test_support::BootInChild(dir, body);
}

std::string file_text(const char* name) {
    TFSHDR* h = mon_tfsstat(name);
    return h ? std::string(reinterpret_cast<const char*>(tfs_file_data(h)), tfs_file_size(h))
             : std::string();
}

class StateDir {
  public:
    StateDir() {
        char pattern[] = "/tmp/config-restart-XXXXXX";
        path_ = mkdtemp(pattern);
    }
    ~StateDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

// ---- every configuration object -------------------------------------------

unsigned row_count(const ConfigObject& c) {
    return c.rows ? c.rows : 1u;
}

uint32_t width_mask(const ConfigObject& c) {
    return c.object.width >= 4 ? 0xFFFFFFFFu : (1u << (8 * c.object.width)) - 1;
}

// Values tried for a row, first accepted by the store wins. The serial
// port's speed must stay one the port knows (the peripheral task puts any
// other back to 9600); the sign's size stays a whole number of the factory
// module type's 8 x 8 modules (the display configuration rounds it up).
std::vector<uint32_t> integer_candidates(const ConfigObject& c, unsigned row) {
    std::vector<uint32_t> values;
    if (c.object.offset == obj::rs232PortInSpeed.offset) values.push_back(19200);
    if (c.object.offset == obj::vmsSignHeightPixels.offset ||
        c.object.offset == obj::vmsSignWidthPixels.offset)
        values.push_back(c.default_value + 8);
    for (uint32_t v :
         {c.default_value + 1 + row, c.default_value - 1 - row, 1u + row, 2u, 3u, 10u, 0u})
        if ((v & width_mask(c)) != (c.default_value & width_mask(c)))
            values.push_back(v & width_mask(c));
    return values;
}

std::vector<std::string> string_candidates(const ConfigObject& c, unsigned row) {
    return {"v" + std::to_string(c.object.offset % 1000) + "/" + std::to_string(row),
            std::to_string(row + 1), "A"};
}

// Sets the row to the first value the store accepts.
bool set_row(const ConfigObject& c, unsigned row) {
    const DbObject o = c.object.row(row);
    if (c.object.is_dynamic()) {
        for (const std::string& s : string_candidates(c, row))
            if (db_set_text(o, s.c_str(), 0) == DB_OK) return true;
        return false;
    }
    for (uint32_t v : integer_candidates(c, row))
        if (db_set(o, v, 0) == DB_OK) return true;
    return false;
}

bool at_default(const ConfigObject& c, unsigned row) {
    const DbObject o = c.object.row(row);
    if (!c.object.is_dynamic()) return db_get(o) == c.default_value;
    uint32_t n = 0;
    db_get_string(o, &n);
    return n == 0;
}

// What the store holds, one row a line ("name row i value" or "name row s
// bytes"), and "idle name" for an entry left with no row away from its
// default.
void write_expected(std::ostream& out) {
    const ConfigObject* table = config_objects();
    for (size_t i = 0; i < CONFIG_OBJECT_COUNT; ++i) {
        const ConfigObject& c = table[i];
        bool idle = true;
        for (unsigned r = 0; r < row_count(c); ++r) {
            idle = idle && at_default(c, r);
            uint32_t n = 0;
            const char* s = c.object.is_dynamic() ? db_get_string(c.object.row(r), &n) : nullptr;
            if (c.object.is_dynamic())
                out << c.name << ' ' << r << " s " << std::string(s ? s : "", n) << '\n';
            else
                out << c.name << ' ' << r << " i " << db_get(c.object.row(r)) << '\n';
        }
        if (idle) out << "idle " << c.name << '\n';
    }
}

// Sets every row away from its default (journalled, no letters), then one
// notified change makes the peripheral task save the file.
int set_every_configuration_object(const std::string& expected_path) {
    const ConfigObject* table = config_objects();
    const ConfigObject& trigger = table[0];
    for (size_t i = 0; i < CONFIG_OBJECT_COUNT; ++i)
        for (unsigned r = (i == 0 ? 1 : 0); r < row_count(table[i]); ++r)
            if (!set_row(table[i], r)) return 100 + int(i);
    if (db_set(trigger.object, trigger.default_value + 7, DB_NOTIFY) != DB_OK) return 98;
    std::ofstream expected(expected_path);
    write_expected(expected);
    expected.close();
    for (int pass = 0; pass < 10; ++pass) {
        tx_thread_sleep(50);
        if (CFile_Config::SaveFlag() == 0 && file_text("CONFIG.XML").size() > 1000) return 0;
    }
    return 97;
}

// Rows whose value is not the expected one.
// Rows whose value is not the expected one; the idle entries in `idle`.
std::vector<std::string> rows_not_as_expected(const std::string& expected_path,
                                              std::vector<std::string>& idle) {
    std::vector<std::string> wrong;
    std::ifstream in(expected_path);
    std::string line;
    const ConfigObject* table = config_objects();
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string name, kind, value;
        unsigned row = 0;
        words >> name;
        if (name == "idle") {
            std::getline(words >> std::ws, value);
            idle.push_back(value);
            continue;
        }
        words >> row >> kind;
        std::getline(words >> std::ws, value);
        const ConfigObject* c = nullptr;
        for (size_t i = 0; i < CONFIG_OBJECT_COUNT && !c; ++i)
            if (name == table[i].name) c = &table[i];
        if (!c) {
            wrong.push_back("unknown " + line);
            continue;
        }
        const DbObject o = c->object.row(row);
        uint32_t n = 0;
        const char* s = kind == "s" ? db_get_string(o, &n) : nullptr;
        bool same = kind == "s" ? std::string(s ? s : "", n) == value
                                : db_get(o) == uint32_t(std::stoul(value));
        if (!same) wrong.push_back(line);
    }
    return wrong;
}

TEST(ConfigRestartTest, EveryConfigurationObjectComesBackFromTheFileWithoutTheJournal) {
    StateDir dir;
    const std::string expected = dir.path() + "/expected.txt";
    ASSERT_EQ(0, first_boot(dir.path(), [&] { return set_every_configuration_object(expected); }));

    boot(dir.path(), [] {
        for (const char* journal : CDatabase::FILE_NAMES)
            mon_tfsunlink(journal);
    });
    const std::string& shown = test_support::ConsoleText();
    EXPECT_NE(std::string::npos, shown.find(" - Restore Config File\t\t\t\t\t")) << shown;
    EXPECT_EQ(std::string::npos, shown.find("\tFile Does Not Exist\n")) << shown;
    size_t rows = 0;
    for (size_t i = 0; i < CONFIG_OBJECT_COUNT; ++i)
        rows += row_count(config_objects()[i]);
    std::ifstream in(expected);
    EXPECT_EQ(rows + 1, size_t(std::count(std::istreambuf_iterator<char>(in), {}, '\n')));
    std::vector<std::string> idle;
    EXPECT_EQ(std::vector<std::string>(), rows_not_as_expected(expected, idle));
    // globalDaylightSaving follows the last write of dstBeginMonth (2 only
    // for month 14, the default): every other entry holds a changed value.
    EXPECT_EQ(std::vector<std::string>{"globalDaylightSaving"}, idle);
}

// ---- monrc --------------------------------------------------------------------

TEST(ConfigRestartTest, ANetworkChangeRestartsWithTheMonitorFollowingMonrc) {
    StateDir dir;
    int status = first_boot(dir.path(), [] {
        const uint8_t mac[] = {0x00, 0x50, 0xC2, 0x12, 0x34, 0xAB};
        bool ok = db_set(obj::ipAdEntAddr, 0x0A01020B, 0) == DB_OK &&    // 10.1.2.11
                  db_set(obj::ipAdEntNetMask, 0xFFFF0000, 0) == DB_OK && // 255.255.0.0
                  db_set(obj::ipRouteDest, 0x0A010001, 0) == DB_OK &&    // 10.1.0.1
                  db_set_string(obj::ifPhysAddress, mac, sizeof mac, 0) == DB_OK;
        if (!ok) return 98;
        the_post_office().post(LETTER_NETWORK_CONFIG_CHANGED);
        tx_thread_sleep(5000); // the restart callback ends the child with 0
        return 97;
    });
    ASSERT_EQ(0, status);

    boot(dir.path());
    for (auto [name, value] :
         {std::pair{"IPADD", "10.1.2.11"}, std::pair{"NETMASK", "255.255.0.0"},
          std::pair{"GIPADD", "10.1.0.1"}, std::pair{"ETHERADD", "00:50:C2:12:34:AB"}}) {
        const char* now = mon_getenv(name);
        EXPECT_STREQ(value, now ? now : "(unset)") << name;
    }
    EXPECT_EQ(0u, db_get(obj::dmsSWReset)); // the restart was a requested one
}

} // namespace
