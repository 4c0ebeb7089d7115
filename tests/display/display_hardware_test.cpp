// The display hardware from its edges: a whole firmware boots on the virtual
// clock with the board's EPLD and DMA models and the field's display modules;
// surfaces go into the sign's display driver and come back as the modules'
// picture; EPLD loads are watched on the model's pins and the console.
#include "display/display_task.h"
#include "display/epld.h"
#include "display/render.h"
#include "platform/board/board.h"
#include "platform/board/bus.h"
#include "platform/field/field.h"
#include "platform/monitor/monitor.h"
#include "platform/monitor/monitor_host.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/support/firmware_fixture.h"

#include <array>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

namespace {

using test_support::ConsoleText;

bool Shows(const std::string& text) {
    return ConsoleText().find(text) != std::string::npos;
}

int Count(const std::string& text) {
    int n = 0;
    for (size_t at = ConsoleText().find(text); at != std::string::npos;
         at = ConsoleText().find(text, at + 1))
        ++n;
    return n;
}

std::string Str(const DbObject& o) {
    uint32_t n = 0;
    const char* p = db_get_string(o, &n);
    return std::string(p, n);
}

// Width, height and the "brightness" text of a PNG file.
struct PngFacts {
    uint32_t width = 0, height = 0;
    std::string brightness;
};

PngFacts ReadPng(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    PngFacts facts;
    if (data.size() < 24) return facts;
    auto be32 = [&](size_t at) {
        return uint32_t(uint8_t(data[at])) << 24 | uint32_t(uint8_t(data[at + 1])) << 16 |
               uint32_t(uint8_t(data[at + 2])) << 8 | uint8_t(data[at + 3]);
    };
    facts.width = be32(16);
    facts.height = be32(20);
    size_t text = data.find(std::string("tEXtbrightness\0", 15));
    if (text != std::string::npos) {
        size_t length = be32(text - 4) - 11;
        facts.brightness = data.substr(text + 15, length);
    }
    return facts;
}

uint32_t Latch() {
    return bus_read16(BUS_LOGIC_LATCH);
}

std::string ImageHead() {
    board::EpldState state = board::epld_state();
    return std::string(reinterpret_cast<const char*>(state.head));
}

class DisplayHardware : public test_support::FirmwareFixture {
  protected:
    CJ6DisplayDriver& Driver() { return TheDisplay().SignDriver(); }
    void Field(const std::string& line) {
        std::string error;
        ASSERT_TRUE(host::field_line(line, error)) << error;
    }
};

TEST_F(DisplayHardware, StartUpLoadsTheFactoryModuleTypeAndShowsABlankSign) {
    EXPECT_TRUE(Shows("EPLD Program Success! - Type:28 - 48x112\n")) << ConsoleText();
    EXPECT_TRUE(Shows("EPLD mode:1\n"));
    board::EpldState epld = board::epld_state();
    EXPECT_TRUE(epld.configured);
    EXPECT_EQ(1u, epld.loads);
    // Mode 1 in the high byte; the photocell reads 0 at start, the lowest
    // level (1 %) in the low byte.
    EXPECT_EQ(0x0101u, epld.control);
    EXPECT_EQ(112u, epld.width);
    EXPECT_EQ(48u, epld.height);
    EXPECT_EQ(14u, epld.refresh);
    EXPECT_EQ("EPLD IMAGE 1 LEDDRV-M1", ImageHead());
    EXPECT_TRUE(epld_programmed());
    EXPECT_EQ(0u, Latch() & LATCH_EPLD_LOAD_FAILED);
    EXPECT_EQ("LEDDRV-M1 - EPLD", Str(obj::moduleModel.row(2)));
    EXPECT_EQ("Halvenmark, Inc.", Str(obj::moduleMake.row(2)));
    EXPECT_EQ("12", Str(obj::moduleVersion.row(2)));
    EXPECT_EQ(&Driver(), TheDisplay().ActiveDriver());

    host::SignPicture picture = host::sign_picture();
    EXPECT_EQ(112, picture.width);
    EXPECT_EQ(48, picture.height);
    EXPECT_EQ(std::string(112 * 48 * 3, '\0'),
              std::string(picture.levels.begin(), picture.levels.end()));
    ASSERT_TRUE(host::sign_picture_flush());
    PngFacts png = ReadPng(StateDir() + "/sign.png");
    EXPECT_EQ(112u, png.width);
    EXPECT_EQ(48u, png.height);
    EXPECT_EQ("1", png.brightness);
}

class RestoredSignWidth : public DisplayHardware {
  protected:
    void Prepare() override {
        const std::string text = "<!-- CONFIG.XML J6 V2.0 -->\nvmsSignWidthPixels[0000]:XXXX,90\n";
        mon_tfsadd("CONFIG.XML", nullptr, "p", reinterpret_cast<const unsigned char*>(text.data()),
                   int(text.size()));
    }
};

TEST_F(RestoredSignWidth, SizesThePicture) {
    ASSERT_EQ(144u, db_get(obj::vmsSignWidthPixels));
    EXPECT_TRUE(Shows("EPLD Program Success! - Type:28 - 48x144\n")) << ConsoleText();
    ASSERT_TRUE(host::sign_picture_flush());
    PngFacts png = ReadPng(StateDir() + "/sign.png");
    EXPECT_EQ(144u, png.width);
    EXPECT_EQ(48u, png.height);
}

// ---- frames: a patterned surface in, the modules' picture out ----

using Led = std::array<uint8_t, 3>;

uint8_t Level5(uint32_t v) {
    return uint8_t(v * 255 / 31);
}
uint8_t Level4(uint32_t v) {
    return uint8_t(v * 255 / 15);
}

// A colour15 pattern with every level of each colour and unlit pixels.
uint32_t Pattern15(int x, int y) {
    if ((x + 2 * y) % 5 == 0) return 0;
    uint32_t red = uint32_t(x + 3 * y) % 32, green = uint32_t(2 * x + y) % 32,
             blue = uint32_t(x * y + 7) % 32;
    return red | green << 5 | blue << 10;
}
uint32_t Red(uint32_t c) {
    return c & 31;
}
uint32_t Green(uint32_t c) {
    return (c >> 5) & 31;
}
uint32_t Blue(uint32_t c) {
    return (c >> 10) & 31;
}

struct FrameCase {
    uint8_t format;
    uint32_t module_type; // loaded and configured (halvModuleID)
    const char* modules;  // field line
    int height;
    int bits;                         // 15: the renderer's surface; 8: the driver's own
    std::function<Led(uint32_t)> led; // what an LED shows for the surface's value
};

TEST_F(DisplayHardware, EveryFrameFormatComesBackPixelExact) {
    auto mono_level = [](uint32_t c) { return Led{Level5(Red(c)), 0, 0}; };
    auto mono_on = [](uint32_t c) { return Led{uint8_t(c ? 255 : 0), 0, 0}; };
    auto mono_red_on = [](uint32_t c) { return Led{uint8_t(Red(c) ? 255 : 0), 0, 0}; };
    auto red_green = [](uint32_t c) { return Led{Level4(Red(c) >> 1), Level4(Green(c) >> 1), 0}; };
    auto full = [](uint32_t c) { return Led{Level5(Red(c)), Level5(Green(c)), Level5(Blue(c))}; };
    auto raw = [](uint32_t b) { return Led{uint8_t(b), uint8_t(b), uint8_t(b)}; };
    const FrameCase cases[] = {
        {1, 28, "8x8 mono", 48, 15, mono_level},
        {2, 28, "8x8 mono", 48, 15, mono_level},
        {3, 28, "8x8 mono", 48, 15, mono_level},
        {11, 28, "8x8 mono", 48, 15, mono_level},
        {12, 28, "8x8 mono", 48, 15, mono_on},
        {0, 28, "8x8 mono", 48, 15, mono_level},
        {2, 54, "8x8 mono", 48, 15, mono_red_on}, // mode 18: on/off bytes
        {2, 58, "8x8 red-green", 48, 15, red_green},
        {3, 58, "8x8 red-green", 32, 15, red_green},
        {0, 72, "8x8 full", 48, 15, full},
        {7, 72, "8x8 full", 48, 15, full}, // any other code: two bytes a pixel
        {4, 72, "8x8 full", 48, 8, raw},
        {5, 72, "7x5 full", 49, 8, raw},
        {11, 30, "16x16 mono", 48, 15, mono_on},
    };
    for (const FrameCase& c : cases) {
        SCOPED_TRACE("format " + std::to_string(c.format) + " type " +
                     std::to_string(c.module_type));
        Field(std::string("display module ") + c.modules);
        Field("display format " + std::to_string(c.format));
        ASSERT_EQ(DB_OK, db_set(obj::halvModuleID, c.module_type, 0));
        ASSERT_EQ(1, Driver().Configure(uint32_t(c.height), 112, c.module_type));
        CSurface rendered;
        CSurface& surface = c.bits == 15 ? rendered : Driver().Surface();
        if (c.bits == 15) rendered.Create(c.height, 112, 15);
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < 112; ++x)
                surface.SetPixel(x, y,
                                 int32_t(c.bits == 15 ? Pattern15(x, y) : (x * 7 + y * 13) & 0xFF));
        Driver().TransferFrame(&surface, false);

        host::SignPicture picture = host::sign_picture();
        ASSERT_GE(picture.height, c.height);
        int wrong = 0;
        for (int y = 0; y < c.height && wrong < 3; ++y) {
            for (int x = 0; x < 112 && wrong < 3; ++x) {
                uint32_t value = c.bits == 15 ? Pattern15(x, y) : uint32_t(x * 7 + y * 13) & 0xFF;
                Led want = c.led(value);
                const uint8_t* got = picture.Led(x, y);
                if (Led{got[0], got[1], got[2]} == want) continue;
                ++wrong;
                ADD_FAILURE() << "LED " << x << "," << y << " shows " << int(got[0]) << "/"
                              << int(got[1]) << "/" << int(got[2]) << ", expected " << int(want[0])
                              << "/" << int(want[1]) << "/" << int(want[2]);
            }
        }
    }
}

// Frame sizes by format, and the frame area and surface as hard limits.
TEST_F(DisplayHardware, FramesFitTheirLayoutTheFrameAreaAndTheSurface) {
    struct {
        uint8_t format;
        int height, width, bits;
        uint32_t bytes;
        uint32_t stored_height; // the driver's height after the frame
        bool too_large = false; // past the frame area: refused, nothing sent
    } cases[] = {
        {1, 48, 112, 15, 5376, 48},      // 8 rows x 112 x 6 bands
        {3, 16, 112, 15, 3584, 32},      // one band converts two
        {3, 16, 112, 8, 0, 16},          // only for the 15-bit surface
        {4, 24, 112, 8, 5376, 48},       // two bands, the second past the surface
        {5, 7, 112, 8, 1568, 14},        // two bands of 7 rows
        {0, 250, 300, 15, 0, 250, true}, // 150,000 bytes
        {12, 48, 112, 15, 5376, 48},     // one byte a pixel
        {11, 48, 112, 15, 10752, 48},    // two bytes a pixel for 8-row modules
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("format " + std::to_string(c.format));
        board::epld_set_format_code(c.format);
        Driver().Configure(uint32_t(c.height), uint32_t(c.width), 28);
        CSurface surface;
        surface.Create(c.height, c.width, c.bits);
        surface.Fill(0x7FFF);
        const uint32_t count = dcr_read(DCR_DMA0_CT0);
        EXPECT_EQ(c.too_large ? CJ6DisplayDriver::FRAME_TOO_LARGE : 0,
                  Driver().TransferFrame(&surface, false));
        EXPECT_EQ(c.bytes, Driver().LastFrameBytes());
        EXPECT_EQ(c.too_large ? count : (c.bytes + 1) / 2, dcr_read(DCR_DMA0_CT0));
        EXPECT_EQ(c.stored_height, Driver().Height());
    }
}

TEST_F(DisplayHardware, BlankFramesDarkenTheSignExceptInTheOnOffLayouts) {
    CSurface surface;
    surface.Create(48, 112, 15);
    surface.Fill(0x7FFF);
    for (uint8_t format : {0, 1, 2, 12}) {
        SCOPED_TRACE("format " + std::to_string(format));
        board::epld_set_format_code(format);
        Driver().TransferFrame(&surface, true);
        host::SignPicture picture = host::sign_picture();
        EXPECT_EQ(format == 12 ? 255 : 0, picture.Led(5, 5)[0]);
    }
}

TEST_F(DisplayHardware, BrightnessFollowsTheCeilingAndNeverReachesZero) {
    struct {
        uint8_t level;
        int32_t ceiling;
        uint8_t percent;
    } cases[] = {{255, 128, 50}, {1, 255, 1}, {255, 255, 100}, {0, 255, 1}, {200, 0, 1}};
    for (const auto& c : cases) {
        TheDisplay().SetBrightnessCeiling(c.ceiling);
        Driver().SetBrightness(c.level);
        EXPECT_EQ(0x0100u | c.percent, board::epld_state().control)
            << int(c.level) << " under " << c.ceiling;
        EXPECT_EQ(c.percent, host::sign_picture().brightness);
    }
    ASSERT_TRUE(host::sign_picture_flush());
    EXPECT_EQ("1", ReadPng(StateDir() + "/sign.png").brightness);
}

// ---- EPLD loads ----

struct LoadCase {
    const char* what;
    std::function<int()> act; // the configure's result
    int result;
    uint32_t loads;  // nCONFIG pulses it caused
    int errors;      // "EPLD Program Error - Type" lines it printed
    bool configured; // the EPLD at the end
    std::function<void()> also = [] {};
};

TEST_F(DisplayHardware, EpldLoadsRetryRecoverAndReportFailure) {
    tx_thread_sleep(60); // the watchdog task is running and holds can be taken
    auto configure = [this](uint32_t type) { return Driver().Configure(48, 112, type); };
    auto configure_display = [](uint32_t type) {
        db_set(obj::halvModuleID, type, 0);
        return TheDisplay().ConfigureDisplay(48, 112, 15) != 0 ? 1 : 0;
    };
    auto fail_loads = [](long at_byte, int loads) {
        board::EpldFaults faults;
        faults.nstatus_low_at_byte = at_byte;
        faults.loads = loads;
        board::epld_set_faults(faults);
    };
    const LoadCase cases[] = {
        {"type 72 inflates image 6", [&] { return configure(72); }, 1, 1, 0, true,
         [] {
             EXPECT_EQ(784184u, board::epld_state().bits);
             EXPECT_EQ("EPLD IMAGE 6 LEDDRV-C2", ImageHead());
         }},
        {"the same type with CONF_DONE high", [&] { return configure(72); }, 1, 0, 0, true},
        {"a lost configuration is loaded again",
         [&] {
             board::epld_lose_configuration();
             return configure(72);
         },
         1, 1, 0, true},
        {"a type without an image", [&] { return configure(29); }, 1, 0, 0, true,
         [] { EXPECT_TRUE(Shows("CJ6DisplayDriver Configure Buffer Error!\n")); }},
        {"an EPLD that always fails",
         [&] {
             fail_loads(0, -1);
             return configure_display(40);
         },
         0, 6, 6, false,
         [] {
             EXPECT_TRUE(Shows("EPLD Program Error 1:0\n"));
             EXPECT_EQ(nullptr, TheDisplay().ActiveDriver());
             EXPECT_EQ(0x10u, db_get(obj::controllerErrorStatus) & 0x10);
             EXPECT_EQ(0x100u, db_get(obj::shortErrorStatus) & 0x100);
             EXPECT_EQ(0, host::sign_picture().brightness); // nothing shown
         }},
        {"a later good load",
         [&] {
             board::epld_set_faults(board::EpldFaults());
             return configure_display(40);
         },
         1, 1, 0, true,
         [] {
             EXPECT_NE(nullptr, TheDisplay().ActiveDriver());
             EXPECT_EQ(0u, db_get(obj::controllerErrorStatus) & 0x10);
             EXPECT_EQ(0u, db_get(obj::shortErrorStatus) & 0x100);
         }},
        {"two failed attempts",
         [&] {
             fail_loads(5000, 2);
             return configure(58);
         },
         1, 3, 2, true},
    };
    for (const LoadCase& c : cases) {
        SCOPED_TRACE(c.what);
        uint32_t loads = board::epld_state().loads;
        int errors = Count("EPLD Program Error - Type:");
        EXPECT_EQ(c.result, c.act());
        board::EpldState epld = board::epld_state();
        EXPECT_EQ(c.loads, epld.loads - loads);
        EXPECT_EQ(c.errors, Count("EPLD Program Error - Type:") - errors);
        EXPECT_EQ(c.configured, epld.configured);
        EXPECT_EQ(c.configured, epld_programmed());
        EXPECT_EQ(c.configured ? 0u : 1u, Latch() & LATCH_EPLD_LOAD_FAILED);
        EXPECT_TRUE(host::monitor_watchdog_enabled());
        c.also();
    }
}

TEST_F(DisplayHardware, TransfersThatKeepTimingOutReloadTheEpld) {
    CSurface& surface = TheRender().GetSurface();
    uint32_t loads = board::epld_state().loads;
    Driver().SetDmaTimeouts(2998);
    board::dma_hold(true);
    Driver().TransferFrame(&surface, false); // starts a transfer that never completes
    Driver().TransferFrame(&surface, false); // timeout 2,999
    Driver().TransferFrame(&surface, false); // timeout 3,000
    EXPECT_EQ(3000u, Driver().DmaTimeouts());
    EXPECT_FALSE(Shows("DMA TRANSFER TIMEOUT REPROGRAMMING EPLD\n"));
    EXPECT_EQ(loads, board::epld_state().loads);
    Driver().TransferFrame(&surface, false); // the 3,001st
    EXPECT_TRUE(Shows("DMA TRANSFER TIMEOUT REPROGRAMMING EPLD\n"));
    EXPECT_EQ(loads + 1, board::epld_state().loads);
    EXPECT_TRUE(board::epld_state().configured);
    EXPECT_EQ(0u, Driver().DmaTimeouts());
    board::dma_hold(false);
}

class EpldImageInFlash : public DisplayHardware {
  protected:
    void Prepare() override {
        std::string image(98023, '\x5A');
        image.replace(0, 11, "FIELD IMAGE");
        image[11] = '\0';
        mon_tfsadd("EPLD.BIN", nullptr, nullptr,
                   reinterpret_cast<const unsigned char*>(image.data()), int(image.size()));
    }
};

TEST_F(EpldImageInFlash, ReplacesTheBuiltInImage) {
    EXPECT_TRUE(Shows("EPLD image file EPLD.BIN\n"));
    EXPECT_TRUE(Shows("EPLD Program Success! - Type:28 - 48x112\n")) << ConsoleText();
    EXPECT_EQ("FIELD IMAGE", ImageHead());
}

} // namespace
