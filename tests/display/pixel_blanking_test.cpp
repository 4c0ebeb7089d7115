// A sign of the 6120 module family with most of its LEDs dead, from its
// edges: CONFIG.XML names the module type and the legibility threshold, the
// field file kills the LEDs, a central system stores and activates a message
// and runs the pixel test through the agent. The modules report the dead LEDs
// over the display bus, the test stores them, and the legibility rule blanks
// the sign with trap 16.
#include "comm/agents/trap_raise.h"
#include "display/disp/diagnostics.h"
#include "display/display_engine.h"
#include "display/display_task.h"
#include "platform/field/display_failures.h"
#include "platform/monitor/monitor.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/comm/agent_caller.h"
#include "tests/support/firmware_fixture.h"
#include "tests/support/kernel_fixture.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace agent_test;
using namespace snmp_test;

namespace {

const ULONG SECOND = 100;
std::vector<uint32_t> dms(std::vector<uint32_t> tail) {
    std::vector<uint32_t> name = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3};
    name.insert(name.end(), tail.begin(), tail.end());
    return name;
}
// Changeable message 1.
std::vector<uint32_t> message(uint32_t column) {
    return dms({5, 8, 1, column, 3, 1});
}
const uint32_t MULTI = 3, STATUS = 9;
const std::vector<uint32_t> ACTIVATE = dms({6, 3, 0});
const std::vector<uint32_t> SOURCE_MODE = dms({6, 7, 0});
const std::vector<uint32_t> SHORT_ERROR_STATUS = dms({9, 7, 1, 0});
const std::vector<uint32_t> PIXEL_TEST_FAILURES = dms({9, 7, 2, 0});
const std::vector<uint32_t> PIXEL_TEST_ACTIVATION = dms({9, 7, 4, 0});

struct RaisedTrap {
    uint32_t generic, specific;
    std::vector<trap_varbind> varbinds;
};
std::vector<RaisedTrap> g_traps;

class DeadSign : public FirmwareWithAgent {
  protected:
    void Configure(host::HostOptions& options) override {
        options.field_file = options.state_dir + "/field.txt";
        std::ofstream(options.field_file) << FieldFile();
    }
    void Prepare() override {
        const std::string config = "<!-- CONFIG.XML J6 V2.0 -->\n"
                                   "halvModuleID[0000]:XXXX,87\n"
                                   "halvLegibilityRatioThreshold[0000]:XXXX,50\n"
                                   "vmsSignHeightPixels[0000]:XXXX,38\n";
        ASSERT_EQ(0, mon_tfsadd("CONFIG.XML", nullptr, nullptr,
                                reinterpret_cast<const unsigned char*>(config.data()),
                                int(config.size())));
    }
    // 7 x 5 modules (the module type has no record of its own), the top
    // three quarters of the 56 rows dead.
    virtual std::string FieldFile() const {
        return "display module 7x5\ndisplay size 56x115\ndisplay failed 0-114 0-41\n";
    }
    void SetUp() override {
        g_traps.clear();
        set_trap_sink(
            [](uint32_t generic, uint32_t specific, uint32_t count, const trap_varbind* varbinds) {
                g_traps.push_back({generic, specific, {varbinds, varbinds + count}});
            });
        FirmwareWithAgent::SetUp();
    }
    void TearDown() override {
        set_trap_sink(nullptr);
        FirmwareWithAgent::TearDown();
    }
};

// HELLO in the middle of a 56 x 115 sign of 7 x 5 modules, rows 24 to 30:
// every lit pixel is dead.
TEST_F(DeadSign, APixelTestFindsTheDeadLedsAndTheIllegibleSignBlanksWithATrap) {
    ASSERT_EQ(0u, Set(message(STATUS), AgentCaller::Integer(6)));
    ASSERT_EQ(0u, Set(message(MULTI), tlv(0x04, text("HELLO"))));
    ASSERT_EQ(0u, Set(message(STATUS), AgentCaller::Integer(7)));
    ASSERT_EQ(4u, GetInteger(message(STATUS)));
    ASSERT_EQ(0u, Set(ACTIVATE, tlv(0x04, hex("FF FF FF 03 00 01 EC F8 00 00 00 00"))));
    tx_thread_sleep(SECOND);
    ASSERT_EQ(56u, TheDisplay().FaceConfig(0).height);
    ASSERT_EQ(8u, GetInteger(SOURCE_MODE)) << "HELLO runs, still legible";
    g_traps.clear(); // the start's own traps

    ASSERT_EQ(0u, Set(PIXEL_TEST_ACTIVATION, AgentCaller::Integer(3)));
    for (int waited = 0; waited < 60 && GetInteger(PIXEL_TEST_ACTIVATION) != 2; ++waited)
        tx_thread_sleep(SECOND);
    ASSERT_EQ(2u, GetInteger(PIXEL_TEST_ACTIVATION));
    tx_thread_sleep(SECOND);

    EXPECT_EQ(500u, GetInteger(PIXEL_TEST_FAILURES)) << "4830 dead, 500 stored";
    EXPECT_EQ(0x20u, GetInteger(SHORT_ERROR_STATUS) & 0x20);
    EXPECT_EQ(1u, db_get(obj::pixelFailureXLocation.row(500))) << "the first: column 1, row 1";
    EXPECT_EQ(1u, db_get(obj::pixelFailureYLocation.row(500)));
    EXPECT_NE(std::string::npos,
              test_support::ConsoleText().find("Legiblity Threshold(80%) Exceeded! Blanking.. "
                                               "Current Ratio:0%\n"))
        << test_support::ConsoleText().substr(0, 4000);
    EXPECT_EQ(1u, GetInteger(SOURCE_MODE));
    EXPECT_EQ(DISPLAY_BLANK, TheDisplay().DisplayState());
    const std::vector<uint32_t> REPLACED_MESSAGE = {1, 3, 6, 1, 4, 1, 1206, 3, 32, 1, 3, 0};
    EXPECT_EQ((Bytes{0x03, 0x00, 0x01, 0xEC, 0xF8}), GetOctets(REPLACED_MESSAGE)); // panynjObj1_3

    ASSERT_EQ(1u, g_traps.size()) << "one blank, one trap";
    const RaisedTrap& trap = g_traps[0];
    EXPECT_EQ(6u, trap.generic);
    EXPECT_EQ(16u, trap.specific);
    ASSERT_EQ(2u, trap.varbinds.size());
    const uint32_t SYS_LOCATION[] = {1, 3, 6, 1, 2, 1, 1, 6, 0};
    const uint32_t GLOBAL_TIME[] = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 3, 1, 0};
    EXPECT_EQ(std::vector<uint32_t>(std::begin(SYS_LOCATION), std::end(SYS_LOCATION)),
              std::vector<uint32_t>(trap.varbinds[0].name,
                                    trap.varbinds[0].name + trap.varbinds[0].name_length));
    EXPECT_EQ(std::vector<uint32_t>(std::begin(GLOBAL_TIME), std::end(GLOBAL_TIME)),
              std::vector<uint32_t>(trap.varbinds[1].name,
                                    trap.varbinds[1].name + trap.varbinds[1].name_length));

    // The blank stays: later steps raise nothing more.
    tx_thread_sleep(5 * SECOND);
    EXPECT_EQ(1u, g_traps.size());
}

// Bytes on the display bus as the modules send them: the bus interrupt reads
// them, the framer cuts the report, the face marks its pixel, and the
// diagnostics print the bytes received.
TEST_F(DeadSign, AReportOnTheBusMarksItsPixelAndIsLogged) {
    test_support::ClearConsole();
    host::display_bus_inject({0x55, 0x7E, 0x01, 0x03, 0x01, 0x00, 0x05, 0x88, 0x7E});
    tx_thread_sleep(3 * SECOND);
    const disp::frame* errors = TheDisplayEngine().diag_6120[0].own_errors();
    EXPECT_EQ(1u, errors->lit_count());
    disp::pixel p(0, 35); // index 5 on 8 lines of 7-pixel modules
    ASSERT_TRUE(errors->get_pixel(p));
    EXPECT_EQ(1u, p.value);
    EXPECT_NE(std::string::npos, test_support::ConsoleText().find("55,\n7E,01,03,01,00,05,88,7E,"))
        << test_support::ConsoleText();
}

// A healthy sign whose real-time diagnostics report failed pixels through a
// frame that counts its reads: the display step reads the failed pixels again
// only when the frame changed, and still marks their modules every step.
class CountingFrame : public disp::frame {
  public:
    bool get_pixel(disp::pixel& p) const override {
        ++reads;
        return disp::frame::get_pixel(p);
    }
    mutable uint32_t reads = 0;
};

class HealthySign : public DeadSign {
  protected:
    std::string FieldFile() const override { return "display module 7x5\ndisplay size 56x115\n"; }
    // The module map (one bit a module) has the bit of the module holding (x, y).
    static bool ModuleMarked(uint32_t x, uint32_t y) {
        uint32_t module = 0;
        uint8_t map[576] = {};
        db_get_string_copy(obj::panynjObj1_7, map, sizeof map);
        return disp::module_of(TheDisplay().FaceConfig(0), x, y, module) &&
               (map[module / 8] & (1u << (module % 8))) != 0;
    }
};

TEST_F(HealthySign, FailedPixelsAreReadOnceForEachChangeOfTheirFrame) {
    db_set(obj::halvEnableRealTimePixelDiagnostics, 1, 0);
    tx_thread_sleep(SECOND); // the display configuration is loaded again
    face_config& face = TheDisplay().FaceConfig(0);
    const uint32_t pixels = uint32_t(face.width) * face.height;
    CountingFrame live;
    ASSERT_TRUE(live.create(face.height, face.width, 0, 1));
    disp::pixel first{3, 2, 1}, second{60, 40, 1};
    live.set_pixel(first);
    face.diagnostics->set_second_errors(&live);
    tx_thread_sleep(SECOND);
    EXPECT_TRUE(ModuleMarked(3, 2));
    EXPECT_FALSE(ModuleMarked(60, 40));

    live.reads = 0;
    tx_thread_sleep(SECOND); // ten steps, nothing changed
    EXPECT_EQ(0u, live.reads);
    EXPECT_TRUE(ModuleMarked(3, 2));

    live.set_pixel(second);
    tx_thread_sleep(SECOND);
    EXPECT_EQ(pixels, live.reads) << "one reading of the face";
    EXPECT_TRUE(ModuleMarked(3, 2));
    EXPECT_TRUE(ModuleMarked(60, 40));

    face.diagnostics->clear_second_errors();
    tx_thread_sleep(SECOND);
    EXPECT_FALSE(ModuleMarked(3, 2));
    EXPECT_FALSE(ModuleMarked(60, 40));
    face.diagnostics->set_second_errors(nullptr);
}

} // namespace
