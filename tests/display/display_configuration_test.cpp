// The display configuration from its edges: the firmware boots on the virtual
// clock, the module type and sign size are set in the store, and the faces,
// bus, diagnostics, driver geometry, console lines and written-back objects
// are read back.
#include "display/display_engine.h"
#include "display/display_task.h"
#include "display/lcd_display_driver.h"
#include "frontpanel/lcd_view.h"
#include "platform/board/board.h"
#include "platform/board/bus.h"
#include "platform/field/field.h"
#include "platform/monitor/monitor.h"
#include "platform/monitor/monitor_host.h"
#include "runtime/interrupt.h"
#include "runtime/os.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/support/firmware_fixture.h"

#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace {

using test_support::ConsoleText;

int Count(const std::string& text) {
    int n = 0;
    for (size_t at = ConsoleText().find(text); at != std::string::npos;
         at = ConsoleText().find(text, at + 1))
        ++n;
    return n;
}

display_engine& Engine() {
    return TheDisplayEngine();
}

class DisplayConfiguration : public test_support::FirmwareFixture {};

TEST_F(DisplayConfiguration, TheFactorySignIsOnePrimaryFaceOnTheNullBus) {
    EXPECT_EQ(1, Count("successfully registered primary on null\n")) << ConsoleText();
    ASSERT_EQ(1u, TheDisplay().FaceCount());
    const face_config& face = TheDisplay().FaceConfig(0);
    EXPECT_EQ(48u, face.height);
    EXPECT_EQ(112u, face.width);
    EXPECT_EQ(6u, face.line_count);
    EXPECT_EQ(84u, face.total_modules);
    EXPECT_EQ(15u, face.bits_per_pixel);
    EXPECT_EQ(10u, face.frame_rate);
    EXPECT_EQ(3u, face.module_class);
    EXPECT_EQ(disp::face::CONNECTED, TheDisplay().Face(0).state());
    EXPECT_EQ(&Engine().null_bus, TheDisplay().Face(0).connected_bus());
    EXPECT_EQ(disp::diagnostics::ATTACHED, Engine().diag_3110.state());
    EXPECT_EQ(disp::core::STARTED, Engine().registry.state());
    EXPECT_EQ(48u, TheSignImageDriver().Height());
    EXPECT_EQ(48u * 14, TheSignImageDriver().BitmapBytes());
}

struct FaceWant {
    const char* name;
    const char* bus;
    uint16_t x_origin;
    disp::diagnostics* diagnostics;
};

struct ConfigCase {
    const char* what;
    uint32_t module_type;
    uint32_t height, width;
    uint8_t bits;
    std::vector<FaceWant> faces; // registered, in order
    std::function<void()> before = [] {};
    std::function<void()> also = [] {};
};

bool ReceiveInterruptEnabled() {
    return (dcr_read(DCR_UIC0_ER) & disp::bus_6120::RECEIVE_SOURCE) != 0;
}

TEST_F(DisplayConfiguration, TheModuleTypeChoosesFacesBusAndDiagnostics) {
    tx_thread_sleep(60); // the watchdog task runs, so EPLD loads can hold the panel
    display_engine& e = Engine();
    const ConfigCase cases[] = {
        {"a two-sided type",
         136,
         56,
         120,
         1,
         {{"mirror", "6120", 120, &e.diag_6120[1]}, {"primary", "6120", 0, &e.diag_6120[0]}}},
        {"6120 modules in interrupt mode",
         135,
         56,
         120,
         1,
         {{"primary", "6120", 0, &e.diag_6120[0]}},
         [] {},
         [&] {
             EXPECT_EQ(disp::bus_6120::INTERRUPT_MODE, e.bus_6120.mode());
             EXPECT_TRUE(ReceiveInterruptEnabled());
             EXPECT_NE(nullptr, isr_registered(disp::bus_6120::RECEIVE_SOURCE));
         }},
        {"6120 modules polled",
         161,
         56,
         120,
         1,
         {{"primary", "6120", 0, &e.diag_6120[0]}},
         [] {},
         [&] {
             EXPECT_EQ(disp::bus_6120::POLLED_MODE, e.bus_6120.mode());
             EXPECT_FALSE(ReceiveInterruptEnabled());
             EXPECT_EQ(nullptr, isr_registered(disp::bus_6120::RECEIVE_SOURCE));
         }},
        {"a module type of the table",
         28,
         48,
         112,
         15,
         {{"primary", "null", 0, &e.diag_3110}},
         [] {},
         [&] {
             EXPECT_EQ(disp::diagnostics::DETACHED, e.diag_6120[0].state());
             EXPECT_EQ(1u, e.registry.buses().count()) << "the 6120 bus is gone";
         }},
        {"a line longer than the sign is cut and written back",
         28,
         16,
         96,
         15,
         {{"primary", "null", 0, &e.diag_3110}},
         [] { ASSERT_EQ(DB_OK, db_set(obj::halvLineLength.row(0), 200, 0)); },
         [] {
             EXPECT_EQ(12u, db_get(obj::halvLineLength.row(0)));
             const face_config& f = TheDisplay().FaceConfig(0);
             EXPECT_EQ(12u, f.modules_per_line[0]);
             EXPECT_EQ(12u, f.modules_per_line[1]) << "0: a full line";
             EXPECT_EQ(0u, f.modules_per_line[2]) << "beyond the lines";
             EXPECT_EQ(24u, f.total_modules);
         }},
        {"the sign is rounded up to whole modules",
         28,
         50,
         100,
         15,
         {{"primary", "null", 0, &e.diag_3110}},
         [] {},
         [] {
             EXPECT_EQ(56u, db_get(obj::vmsSignHeightPixels));
             EXPECT_EQ(104u, db_get(obj::vmsSignWidthPixels));
             EXPECT_EQ(56u, TheDisplay().SignDriver().Height());
         }},
        {"type 106 drives a larger picture than its faces",
         106,
         56,
         120,
         1,
         {{"primary", "null", 0, &e.diag_3110}},
         [] {},
         [] {
             EXPECT_EQ(56u, TheDisplay().FaceConfig(0).height);
             EXPECT_EQ(63u, TheDisplay().SignDriver().Height());
             EXPECT_EQ(144u, TheDisplay().SignDriver().Width());
             EXPECT_EQ(56u, TheSignImageDriver().Height()) << "the panel shows the face";
         }},
        {"ten module lines are refused",
         28,
         80,
         112,
         15,
         {},
         [] { ASSERT_EQ(DB_OK, db_set(obj::halvLineLength.row(0), 0, 0)); },
         [] {
             EXPECT_EQ(1, Count("ConfigureDisplay: face primary left out: 10 module lines"));
             EXPECT_EQ(disp::diagnostics::DETACHED, Engine().diag_3110.state());
         }},
    };
    for (const ConfigCase& c : cases) {
        SCOPED_TRACE(c.what);
        c.before();
        ASSERT_EQ(DB_OK, db_set(obj::halvModuleID, c.module_type, 0));
        int registered = Count("successfully registered");
        EXPECT_EQ(10, TheDisplay().ConfigureDisplay(c.height, c.width, c.bits));
        EXPECT_EQ(int(c.faces.size()), Count("successfully registered") - registered);
        EXPECT_EQ(c.faces.size(), e.registry.faces().count());
        size_t i = 0;
        for (const impl::node* n = e.registry.faces().head(); n && i < c.faces.size();
             n = n->next, ++i) {
            const FaceWant& want = c.faces[i];
            const disp::face* face = static_cast<const disp::face*>(n);
            EXPECT_EQ(&TheDisplay().Face(uint32_t(i)), face);
            EXPECT_STREQ(want.name, face->config()->face_name);
            EXPECT_STREQ(want.bus, face->config()->bus_name);
            EXPECT_EQ(want.x_origin, face->config()->x_origin);
            EXPECT_EQ(want.diagnostics, face->config()->diagnostics);
            EXPECT_EQ(disp::face::CONNECTED, face->state());
            EXPECT_EQ(c.module_type, face->config()->module_type_id);
        }
        c.also();
    }
}

TEST_F(DisplayConfiguration, AFailedEpldLoadIsReportedUntilAGoodReload) {
    tx_thread_sleep(60);
    board::EpldFaults faults;
    faults.nstatus_low_at_byte = 0;
    board::epld_set_faults(faults);
    ASSERT_EQ(DB_OK, db_set(obj::halvModuleID, 40, 0));
    EXPECT_EQ(0, TheDisplay().ConfigureDisplay(48, 112, 15));
    EXPECT_EQ(nullptr, TheDisplay().ActiveDriver());
    EXPECT_EQ(0x10u, db_get(obj::controllerErrorStatus) & 0x10);
    EXPECT_EQ(0x100u, db_get(obj::shortErrorStatus) & 0x100);
    EXPECT_EQ(disp::face::CONNECTED, TheDisplay().Face(0).state()) << "the faces stay";

    board::epld_set_faults(board::EpldFaults());
    EXPECT_EQ(10, TheDisplay().ConfigureDisplay(48, 112, 15));
    EXPECT_EQ(&TheDisplay().SignDriver(), TheDisplay().ActiveDriver());
    EXPECT_EQ(0u, db_get(obj::controllerErrorStatus) & 0x10);
    EXPECT_EQ(0u, db_get(obj::shortErrorStatus) & 0x100);
}

TEST_F(DisplayConfiguration, TheActivationMutexOutlivesAReconfiguration) {
    TX_MUTEX* mutex = TheDisplay().ActivationMutex();
    ASSERT_NE(nullptr, mutex);
    ASSERT_EQ(OS_OK, os_mutex_get(mutex, OS_NO_WAIT));
    TheDisplay().ConfigureDisplay(48, 112, 15);
    EXPECT_EQ(mutex, TheDisplay().ActivationMutex());
    EXPECT_EQ(OS_OK, os_mutex_put(mutex)) << "still held by this thread";
    EXPECT_EQ(OS_OK, os_mutex_get(mutex, OS_NO_WAIT));
    EXPECT_EQ(OS_OK, os_mutex_put(mutex));
}

TEST(ModuleClass, AListOfTypesIsClassFourAndEveryOtherTypeThree) {
    const struct {
        uint32_t module_type, module_class;
    } cases[] = {{21, 4}, {24, 4}, {94, 4}, {105, 4}, {118, 4}, {154, 4}, {169, 4}, {172, 4},
                 {20, 3}, {25, 3}, {28, 3}, {106, 3}, {136, 3}, {173, 3}, {0, 3},   {65535, 3}};
    for (const auto& c : cases)
        EXPECT_EQ(c.module_class, CDisplay::ClassifyModuleType(c.module_type)) << c.module_type;
}

// The front panel's sign view: one bit a dot, each row padded to whole bytes.
TEST(FrontPanelImage, ResizeGivesRowsOfWholeBytes) {
    const struct {
        uint32_t rows, columns;
        int result;
        uint32_t bytes;
    } cases[] = {{0, 112, 1, 0}, {48, 0, 1, 0},     {1, 1, 1, 1},
                 {7, 9, 1, 14},  {48, 112, 1, 672}, {56, 120, 1, 840}};
    CLCDDisplayDriver panel;
    for (const auto& c : cases) {
        EXPECT_EQ(c.result, panel.Resize(c.rows, c.columns)) << c.rows << "x" << c.columns;
        EXPECT_EQ(c.bytes, panel.BitmapBytes()) << c.rows << "x" << c.columns;
        EXPECT_EQ(c.bytes != 0, panel.Bitmap() != nullptr);
        for (uint32_t i = 0; i < c.bytes; ++i)
            ASSERT_EQ(0, panel.Bitmap()[i]) << "a new view is dark";
    }
}

// A sign height of 50 restored from CONFIG.XML (hexadecimal 32).
class RestoredSignHeight : public DisplayConfiguration {
  protected:
    void Prepare() override {
        const std::string text = "<!-- CONFIG.XML J6 V2.0 -->\nvmsSignHeightPixels[0000]:XXXX,32\n";
        mon_tfsadd("CONFIG.XML", nullptr, "p", reinterpret_cast<const unsigned char*>(text.data()),
                   int(text.size()));
    }
};

TEST_F(RestoredSignHeight, IsRoundedToWholeModulesAndSizesThePicture) {
    EXPECT_EQ(56u, db_get(obj::vmsSignHeightPixels));
    EXPECT_EQ(1, Count("EPLD Program Success! - Type:28 - 56x112\n")) << ConsoleText();
    ASSERT_TRUE(host::sign_picture_flush());
    std::ifstream in(StateDir() + "/sign.png", std::ios::binary);
    std::string png((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GE(png.size(), 24u);
    auto be32 = [&](size_t at) {
        return uint32_t(uint8_t(png[at])) << 24 | uint32_t(uint8_t(png[at + 1])) << 16 |
               uint32_t(uint8_t(png[at + 2])) << 8 | uint8_t(png[at + 3]);
    };
    EXPECT_EQ(112u, be32(16));
    EXPECT_EQ(56u, be32(20));
}

} // namespace
