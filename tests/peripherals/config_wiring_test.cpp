// The configuration files in the running firmware: a change of a
// configuration object rewrites "CONFIG.XML" at the peripheral task's next
// pass, letters 94/95 hold the writer off and release it, "CONFIG.BAK" stands
// in for a missing file until the next save, an Ethernet change rewrites
// "monrc" and restarts the controller; the poll schedule, the serial port's
// speed and the restart request of dmsSWReset.
#include "peripherals/peripheral_task.h"
#include "platform/monitor/monitor.h"
#include "platform/monitor/monitor_host.h"
#include "runtime/letter_codes.h"
#include "runtime/post_office.h"
#include "store/config_file.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/support/firmware_fixture.h"

#include <functional>
#include <string>
#include <vector>

namespace {

using test_support::ConsoleText;

const std::string kHeading = "<!-- CONFIG.XML J6 V2.0 -->\n";
const uint32_t PASS_TICKS = 50;
const std::string kHeightLine = "\nvmsSignHeightPixels[0000]:XXXX,50\n";

std::string FileText(const char* name) {
    TFSHDR* h = mon_tfsstat(name);
    return h ? std::string(reinterpret_cast<const char*>(tfs_file_data(h)), tfs_file_size(h))
             : std::string();
}

bool Has(const std::string& text, const std::string& what) {
    return text.find(what) != std::string::npos;
}

// Lets the system run until `done` holds; false after `limit` ticks.
bool RunUntil(const std::function<bool()>& done, uint32_t limit) {
    for (uint32_t waited = 0; !done(); waited += 5) {
        if (waited >= limit) return false;
        tx_thread_sleep(5);
    }
    return true;
}

// The sign's own front panel, kept aside so that its drawing does not
// stretch the passes these tests count.
std::vector<CPeripheral*> set_aside;

class ConfigWiring : public test_support::RestartCountingFixture {
  protected:
    // The peripheral task has created its peripherals and the start-up is over.
    void Boot() {
        ASSERT_TRUE(
            RunUntil([] { return ThePeripheralTask().GetPeripheral(301) != nullptr; }, 2000));
        set_aside.push_back(ThePeripheralTask().Registry().Release(PERIPHERAL_ID_LCD_MANAGER));
        tx_thread_sleep(2 * PASS_TICKS);
    }
    // Right after the peripheral task's next pass.
    static void NextPass() {
        uint32_t runs = ThePeripheralTask().Runs();
        ASSERT_TRUE(RunUntil([&] { return ThePeripheralTask().Runs() != runs; }, 2 * PASS_TICKS));
    }
};

// "CONFIG.XML" follows the store one pass after the change, not a poll
// period (600 passes) later; a value back at its default leaves the file.
TEST_F(ConfigWiring, AChangeRewritesTheFileAtTheNextPass) {
    Boot();
    const std::string before = FileText("CONFIG.XML");
    ASSERT_EQ(0u, before.find(kHeading));
    ASSERT_FALSE(Has(before, kHeightLine));

    uint32_t n = 0;
    const char* chap = db_get_string(obj::chapName, &n);
    const std::string old_chap(chap ? chap : "", n);

    uint64_t asked = host::clock_ticks();
    ASSERT_EQ(DB_OK, db_set(obj::vmsSignHeightPixels, 80, DB_NOTIFY));
    ASSERT_EQ(DB_OK, db_set_string(obj::chapName, "a\nb", 3, DB_NOTIFY));
    ASSERT_TRUE(RunUntil([] { return Has(FileText("CONFIG.XML"), kHeightLine); }, 10 * PASS_TICKS));
    EXPECT_LE(host::clock_ticks() - asked, PASS_TICKS + 10);
    EXPECT_TRUE(Has(FileText("CONFIG.XML"), "\nchapName[0][0000]:0003,a\nb\n"));
    EXPECT_EQ(0, CFile_Config::SaveFlag());

    ASSERT_EQ(DB_OK, db_set(obj::vmsSignHeightPixels, 48, DB_NOTIFY));
    ASSERT_EQ(DB_OK, db_set_string(obj::chapName, old_chap.data(), n, DB_NOTIFY));
    ASSERT_TRUE(RunUntil([&] { return FileText("CONFIG.XML") == before; }, 4 * PASS_TICKS));
}

TEST_F(ConfigWiring, TheWriterHeldOffSavesOnlyWhenReleased) {
    Boot();
    the_post_office().post(LETTER_CONFIG_WRITER_HOLD);
    NextPass();
    ASSERT_EQ(DB_OK, db_set(obj::vmsSignHeightPixels, 80, DB_NOTIFY));
    tx_thread_sleep(6 * PASS_TICKS);
    EXPECT_FALSE(Has(FileText("CONFIG.XML"), kHeightLine));
    EXPECT_EQ(1, CFile_Config::SaveFlag());

    the_post_office().post(LETTER_CONFIG_WRITER_RELEASE);
    NextPass();
    EXPECT_TRUE(Has(FileText("CONFIG.XML"), kHeightLine));
    EXPECT_EQ(0, CFile_Config::SaveFlag());
}

// A file poll follows its schedule: period 10 and a countdown of 3 give a
// poll at the seventh pass.
TEST_F(ConfigWiring, APeripheralIsPolledWhenItsCountReachesItsPeriod) {
    Boot();
    pl_mediator& registry = ThePeripheralTask().Registry();
    CPeripheral* script = ThePeripheralTask().GetPeripheral(PERIPHERAL_ID_SCRIPT_FILE);
    ASSERT_NE(nullptr, script);
    NextPass();
    ASSERT_TRUE(registry.SetPollPeriod(PERIPHERAL_ID_SCRIPT_FILE, 10, nullptr));
    ASSERT_TRUE(registry.SetCountdown(PERIPHERAL_ID_SCRIPT_FILE, 3));
    script->SetState(CPeripheral::STATE_SETTING_UP); // its poll reports VALID
    for (int pass = 1; pass <= 7; ++pass) {
        NextPass();
        EXPECT_EQ(pass == 7, script->IsValid()) << "pass " << pass;
    }
}

// Every pass keeps the first serial port at a speed the port knows.
TEST_F(ConfigWiring, TheFirstSerialPortKeepsAKnownSpeed) {
    Boot();
    const struct {
        uint32_t written, kept;
    } cases[] = {{14400, 9600}, {28800, 28800}, {115200, 115200}, {0, 9600}, {2400, 2400}};
    for (const auto& c : cases) {
        ASSERT_EQ(DB_OK, db_set(obj::rs232PortInSpeed.row(0), c.written, DB_NO_VALIDATE));
        NextPass();
        EXPECT_EQ(c.kept, db_get(obj::rs232PortInSpeed.row(0))) << c.written;
    }
}

// dmsSWReset 4 asks for a restart with defragmentation: one letter 83 in
// this run, however long the object keeps the value.
TEST_F(ConfigWiring, ARestartRequestIsPostedOncePerRun) {
    Boot();
    const uint32_t codes[] = {LETTER_RESTART_REQUESTED, LETTER_DEFRAG_RESTART_REQUESTED, 0};
    subscriber recorder(the_post_office(), nullptr, 0, nullptr);
    ASSERT_EQ(1, recorder.attach(codes));
    ASSERT_EQ(DB_OK, db_set(obj::dmsSWReset, 4, DB_NO_VALIDATE));
    tx_thread_sleep(5 * PASS_TICKS);
    std::vector<uint32_t> posted;
    letter_s* letter = nullptr;
    while (recorder.receive(&letter)) {
        posted.push_back(letter->code());
        recorder.release(letter);
    }
    recorder.detach();
    EXPECT_EQ(std::vector<uint32_t>{LETTER_DEFRAG_RESTART_REQUESTED}, posted);
}

// No journal in flash, no "CONFIG.XML": the backup is read; the next save
// writes the file and removes the backup.
class ConfigBackupWiring : public ConfigWiring {
  protected:
    void Prepare() override {
        ConfigWiring::Prepare();
        // An empty stored list: a new sensor's first auxiliary row would save at once.
        const std::string text =
            kHeading + "halvModTimeout[0000]:XXXX,1F\nhalvPeripheralID[0][0000]:XXXX,0\n";
        mon_tfsadd("CONFIG.BAK", nullptr, nullptr,
                   reinterpret_cast<const unsigned char*>(text.data()), int(text.size()));
    }
};

TEST_F(ConfigBackupWiring, TheBackupStandsInUntilTheNextSave) {
    Boot();
    EXPECT_EQ(0x1Fu, db_get(obj::halvModTimeout));
    EXPECT_NE(nullptr, mon_tfsstat("CONFIG.BAK"));
    EXPECT_EQ(nullptr, mon_tfsstat("CONFIG.XML"));

    ASSERT_EQ(DB_OK, db_set(obj::vmsSignHeightPixels, 80, DB_NOTIFY));
    ASSERT_TRUE(RunUntil([] { return mon_tfsstat("CONFIG.BAK") == nullptr; }, 4 * PASS_TICKS));
    const std::string text = FileText("CONFIG.XML");
    EXPECT_TRUE(Has(text, "\nhalvModTimeout[0000]:XXXX,1F\n"));
    EXPECT_TRUE(Has(text, kHeightLine));
}

// Letter 92: "monrc" from the network objects, the monitor's own address
// set, then the controlled restart.
TEST_F(ConfigWiring, ANewEthernetAddressRewritesMonrcAndRestarts) {
    Boot();
    ASSERT_EQ(DB_OK, db_set(obj::ipAdEntAddr, 0xC0A8010A, 0));    // 192.168.1.10
    ASSERT_EQ(DB_OK, db_set(obj::ipAdEntNetMask, 0xFFFFFF00, 0)); // 255.255.255.0
    ASSERT_EQ(DB_OK, db_set(obj::ipRouteDest, 0xC0A80101, 0));    // 192.168.1.1
    const uint8_t mac[] = {0x00, 0x50, 0xC2, 0xAA, 0xBB, 0x0C};
    ASSERT_EQ(DB_OK, db_set_string(obj::ifPhysAddress, mac, sizeof mac, DB_NOTIFY));
    NextPass();
    EXPECT_EQ("set IPADD 192.168.1.10\r\nset NETMASK 255.255.255.0\r\n"
              "set GIPADD 192.168.1.1\r\nset ETHERADD 00:50:C2:AA:BB:0C\r\n",
              FileText("monrc"));
    EXPECT_TRUE(Has(ConsoleText(), "ethernet mac changed... rebooting\n"));
    const char* ether = mon_getenv("ETHERADD");
    EXPECT_STREQ("00:50:C2:AA:BB:0C", ether ? ether : "");
    EXPECT_EQ(1u, db_get(obj::dmsSWReset));
    EXPECT_TRUE(RunUntil([] { return Restarts() > 0; }, 4000));
    EXPECT_TRUE(Has(ConsoleText(), "Please Stand by for System Reset...\n"));
}

} // namespace
