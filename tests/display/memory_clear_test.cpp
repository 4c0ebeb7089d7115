// The memory clear from the sign's edges: dmsMemoryMgmt through the SNMP
// agent (its response, the message tables, the bitmap files flashtool lists
// in the flash image), and the reset options of halvObj2_3 across the
// restart they end in (a first boot in a child process that ends at its
// restart, a second boot in another child that reports what it finds).
#include "comm/snmp/snmp_agent.h"
#include "display/display_task.h"
#include "platform/monitor/monitor.h"
#include "platform/monitor/monitor_host.h"
#include "runtime/letter_codes.h"
#include "runtime/post_office.h"
#include "runtime/watchdog_task.h"
#include "store/database.h"
#include "store/defaults.h"
#include "store/journal.h"
#include "store/objects.h"
#include "tests/comm/agent_caller.h"
#include "tests/support/firmware_fixture.h"
#include "tests/support/host_process.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <functional>
#include <string>

using namespace agent_test;
using namespace snmp_test;

namespace {

const std::vector<uint32_t> MEMORY_MGMT = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 6, 16, 0};
std::vector<uint32_t> message(uint32_t column, uint32_t type, uint32_t number) {
    return {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 5, 8, 1, column, type, number};
}
const uint32_t MULTI = 3, STATUS = 9;
const uint32_t AS_THE_DISPLAY = DB_NOTIFY | DB_NO_VALIDATE;

Bytes integer(uint32_t value) {
    return AgentCaller::Integer(value);
}

void put_file(const char* name) {
    static const unsigned char bytes[] = "BM-not-drawn";
    ASSERT_EQ(0, mon_tfsadd(name, nullptr, nullptr, bytes, int(sizeof bytes)));
}

// What flashtool lists in the image of `state_dir`.
std::string flash_listing(const std::string& state_dir) {
    test_support::ProcessResult r = test_support::RunProcess(
        {test_support::BesideTests("flashtool"), state_dir + "/flash.img", "ls"},
        state_dir + "/flashtool.txt");
    EXPECT_EQ(0, r.status) << r.output;
    return r.output;
}

// Whether a line of the listing starts with the file's name.
bool lists(const std::string& listing, const std::string& name) {
    return ("\n" + listing).find("\n" + name + " ") != std::string::npos;
}

class MemoryClear : public agent_test::FirmwareWithAgent {
  protected:
    // A row holding `text`, valid, as a finished validation leaves it.
    static void PutValid(const message_columns& table, unsigned row, const char* text) {
        ASSERT_EQ(DB_OK, db_set_text(table.multi.row(row), text, AS_THE_DISPLAY));
        ASSERT_EQ(DB_OK, db_set(table.status.row(row), MSG_STATUS_VALID, AS_THE_DISPLAY));
    }
};

// Changeable message 1 stored and validated over SNMP; bitmaps named by a
// volatile message, by permanent message 3 and by none.
TEST_F(MemoryClear, ClearingTheChangeableMessagesKeepsTheBitmapsOtherMessagesShow) {
    ASSERT_EQ(0u, Set(message(STATUS, 3, 1), integer(6)));
    ASSERT_EQ(0u, Set(message(MULTI, 3, 1), tlv(0x04, text("HELLO"))));
    ASSERT_EQ(0u, Set(message(STATUS, 3, 1), integer(7)));
    ASSERT_EQ(4u, GetInteger(message(STATUS, 3, 1)));
    PutValid(CHANGEABLE_MESSAGES, 1, "[ms11,g,1,1,c.bmp]");
    PutValid(VOLATILE_MESSAGES, 0, "A[MS11,G,1,1,v.bmp]B");
    PutValid(CHANGEABLE_MESSAGES, 500, "[ms11,g,1,1,Bitmaps/p.bmp]"); // permanent message 3
    ASSERT_EQ(DB_OK, db_set(obj::dmsNumPermanentMsg, 2, 0));          // not yet counted
    for (const char* name : {"Bitmaps/r.bmp", "Bitmaps/c.bmp", "Bitmaps/v.bmp", "Bitmaps/p.bmp"})
        put_file(name);
    const std::string first = flash_listing(StateDir());
    ASSERT_TRUE(lists(first, "Bitmaps/r.bmp")) << first;

    EXPECT_EQ(0u, Set(MEMORY_MGMT, integer(3)));
    for (unsigned row = 0; row < 500; ++row)
        ASSERT_EQ(1u, db_get(obj::changeableMsgStatus.row(row))) << row;
    EXPECT_EQ(1u, GetInteger(message(STATUS, 3, 1)));
    EXPECT_EQ(2u, GetInteger(MEMORY_MGMT));
    EXPECT_EQ(4u, db_get(obj::changeableMsgStatus.row(500))); // permanent rows untouched
    const std::string listing = flash_listing(StateDir());
    EXPECT_FALSE(lists(listing, "Bitmaps/r.bmp")) << listing;
    EXPECT_FALSE(lists(listing, "Bitmaps/c.bmp")) << listing;
    EXPECT_TRUE(lists(listing, "Bitmaps/v.bmp")) << listing;
    EXPECT_TRUE(lists(listing, "Bitmaps/p.bmp")) << listing;
    tx_thread_sleep(30); // the display's sweep recounts the table
    EXPECT_EQ(0u, db_get(obj::dmsNumChangeableMsg));
}

TEST_F(MemoryClear, ClearingTheVolatileMessagesLeavesThemNotUsed) {
    for (unsigned row = 0; row < 4; ++row)
        PutValid(VOLATILE_MESSAGES, row, "VOLATILE");
    PutValid(CHANGEABLE_MESSAGES, 0, "KEPT");
    EXPECT_EQ(0u, Set(MEMORY_MGMT, integer(4)));
    for (unsigned row = 0; row < 4; ++row) {
        EXPECT_EQ(1u, GetInteger(message(STATUS, 4, row + 1)));
        EXPECT_EQ(0u, db_get_string_copy(obj::volatileMsgMultiString.row(row), nullptr, 0));
        EXPECT_EQ(1u, db_get(obj::volatileMsgRunTimePriority.row(row)));
    }
    EXPECT_EQ(2u, GetInteger(MEMORY_MGMT));
    EXPECT_EQ(4u, db_get(obj::changeableMsgStatus.row(0)));
}

// The partial defaults: communities reset, the time zone kept; the blank
// request waits in the ordinary slot.
TEST_F(MemoryClear, AResetToDefaultsWritesThePartialDefaultsAndTheBlankRequest) {
    ASSERT_EQ(DB_OK, db_set_text(obj::communityNameUser.row(5), "orchard", AS_THE_DISPLAY));
    ASSERT_EQ(DB_OK, db_set(obj::controllerStandardTimeZone, 3600, AS_THE_DISPLAY));
    EXPECT_EQ(0u, Set(MEMORY_MGMT, integer(1)));
    EXPECT_EQ(2u, db_get(obj::dmsMemoryMgmt));
    uint32_t n = 0;
    const char* user = db_get_string(obj::communityNameUser.row(5), &n);
    EXPECT_EQ("meadow", std::string(user, n));
    EXPECT_EQ(3600u, db_get(obj::controllerStandardTimeZone));
    EXPECT_EQ(2u, db_get(obj::activationRequestState.row(6)));
    EXPECT_EQ(2u, db_get(obj::activationRequestSource.row(6)));
    uint8_t code[13] = {};
    EXPECT_EQ(12u, db_get_string_copy(obj::activationRequestCode.row(6), code, sizeof code));
    EXPECT_EQ(hex("FF FF FF 07 00 01 00 00 00 00 00 00"), Bytes(code, code + 12));
    EXPECT_EQ(1, TheDatabase().IsFlashMode()); // the journal goes on
}

// The options that restart in place or not at all, through the entry the
// agent calls; the restart is counted, not carried out.
class ResetOptions : public test_support::RestartCountingFixture {
  protected:
    void SetUp() override {
        RestartCountingFixture::SetUp();
        tx_thread_sleep(300);
    }
};

TEST_F(ResetOptions, OptionsThatRestartInPlaceOrNotAtAll) {
    const struct {
        uint32_t option;
        uint32_t sw_reset, script_bit, letter;
    } cases[] = {
        {9, 0, 0, 0},
        {0, 0, 0, 0},
        {8, 4, 0, LETTER_DEFRAG_RESTART_REQUESTED},
        {7, 1, 1, 0}, // one restart request per run: the letter went with 8
    };
    const uint32_t codes[] = {LETTER_RESTART_REQUESTED, LETTER_DEFRAG_RESTART_REQUESTED, 0};
    subscriber recorder(the_post_office(), nullptr, 0, nullptr);
    ASSERT_EQ(1, recorder.attach(codes));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.option);
        ASSERT_EQ(DB_OK, db_set(obj::halvScriptControl, 0, DB_NO_VALIDATE));
        ASSERT_EQ(DB_OK, db_set(obj::halvObj2_3, c.option, DB_NO_VALIDATE));
        clear_memory();
        EXPECT_EQ(1u, db_get(obj::halvObj2_3));
        EXPECT_EQ(c.sw_reset, db_get(obj::dmsSWReset));
        EXPECT_EQ(c.script_bit, db_get(obj::halvScriptControl) & 1);
        EXPECT_TRUE(CDatabase::FileExists("nv1.dat") || CDatabase::FileExists("nv2.dat"));
        tx_thread_sleep(120); // the peripheral task's pass
        uint32_t posted = 0;
        letter_s* letter = nullptr;
        while (recorder.receive(&letter)) {
            posted = letter->code();
            recorder.release(letter);
        }
        EXPECT_EQ(c.letter, posted);
    }
    recorder.detach();
}

// ---- the options that end in a restart -------------------------------------------

std::string file_text(const char* name) {
    TFSHDR* h = mon_tfsstat(name);
    return h ? std::string(reinterpret_cast<const char*>(tfs_file_data(h)), tfs_file_size(h))
             : std::string();
}

std::string nv_text() {
    uint32_t n = 0;
    const char* p = db_get_string(obj::changeableMsgMultiString.row(0), &n);
    return std::string(p, n);
}

// The first boot: a configuration value saved in CONFIG.XML (kept as
// `before`), a message kept by the journal alone, a bitmap; then, with the
// configuration file's writer held, a newer configuration value that only a
// save on the way down can keep; then the option, which ends in the restart.
const uint32_t SAVED_VALUE = 0x1F, NEWER_VALUE = 0x2F; // halvModTimeout
const char* const NV_TEXT = "JOURNAL";                 // changeable message 1
const ULONG SETTLE_TICKS = 500;                        // every task has run

int first_boot_with_option(uint32_t option, const std::string& before) {
    if (db_set(obj::halvModTimeout, SAVED_VALUE, DB_NOTIFY) != DB_OK) return 90;
    for (int pass = 0;
         pass < 40 &&
         file_text("CONFIG.XML").find("halvModTimeout[0000]:XXXX,1F\n") == std::string::npos;
         ++pass)
        tx_thread_sleep(50);
    const std::string saved = file_text("CONFIG.XML");
    if (saved.find("halvModTimeout[0000]:XXXX,1F\n") == std::string::npos) return 91;
    std::ofstream(before, std::ios::binary) << saved;
    if (db_set_text(obj::changeableMsgMultiString.row(0), NV_TEXT, DB_NO_VALIDATE) != DB_OK)
        return 92;
    static const unsigned char bmp[] = "BM";
    if (mon_tfsadd("Bitmaps/r.bmp", nullptr, nullptr, bmp, 2) != 0) return 93;
    the_post_office().post(LETTER_CONFIG_WRITER_HOLD);
    tx_thread_sleep(120);
    if (db_set(obj::halvModTimeout, NEWER_VALUE, DB_NOTIFY) != DB_OK) return 94;
    db_set(obj::halvObj2_3, option, DB_NOTIFY | DB_NO_VALIDATE);
    tx_thread_sleep(6000); // the restart callback ends the child
    return 95;
}

std::string host_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(ResetOptionRestarts, EachOptionLeavesTheFlashAndTheNextStartAsItSays) {
    if (!std::filesystem::exists(test_support::BesideTests("flashtool")))
        GTEST_SKIP() << "flashtool is not built";
    enum Config { FACTORY, SAVED, NEWER };
    const struct {
        uint32_t option;
        bool journal, config_file, bitmap;
        Config config;
        bool nv_text, config_file_as_before;
    } cases[] = {
        {6, false, false, false, FACTORY, false, false},
        {5, false, true, true, SAVED, false, true},
        {2, false, true, true, NEWER, false, false},
        {4, true, true, true, NEWER, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.option);
        char pattern[] = "/tmp/reset-option-XXXXXX";
        const std::string dir = mkdtemp(pattern);
        const std::string before = dir + "/config.before", after = dir + "/config.after";
        ASSERT_EQ(0,
                  test_support::BootInChild(
                      dir, [&] { return first_boot_with_option(c.option, before); }, SETTLE_TICKS));
        const std::string listing = flash_listing(dir);
        EXPECT_EQ(c.journal, lists(listing, "nv1.dat") || lists(listing, "nv2.dat")) << listing;
        EXPECT_EQ(c.config_file, lists(listing, "CONFIG.XML")) << listing;
        EXPECT_EQ(c.bitmap, lists(listing, "Bitmaps/r.bmp")) << listing;
        if (c.config_file_as_before) {
            test_support::RunProcess({test_support::BesideTests("flashtool"), dir + "/flash.img",
                                      "get", "CONFIG.XML", after},
                                     dir + "/flashtool.txt");
            EXPECT_EQ(host_file(before), host_file(after));
        }

        // The second boot reports what it found: the configuration value
        // (0 factory, 1 saved, 2 newer, 3 other), and 4 for the journalled text.
        int found = test_support::BootInChild(
            dir,
            [&] {
                const uint32_t value = db_get(obj::halvModTimeout);
                int bits = value == SAVED_VALUE ? SAVED : value == NEWER_VALUE ? NEWER : 0;
                if (bits == 0 && value != factory_integer(obj::halvModTimeout)) bits = 3;
                if (nv_text() == NV_TEXT) bits |= 4;
                return bits;
            },
            SETTLE_TICKS);
        ASSERT_LT(found, 8) << "the second boot failed: " << found;
        EXPECT_EQ(int(c.config), found & 3);
        EXPECT_EQ(c.nv_text, (found & 4) != 0);
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
}

} // namespace
