// The display engine's registry, faces, buses and pixel diagnostics, driven
// through their public operations on the virtual clock: faces and buses meet
// by name in any order, packets reach the faces of their bus in order, and
// the diagnostics cut a face into module records and count failed pixels.
#include "display/disp/bus.h"
#include "display/disp/core.h"
#include "display/disp/diagnostics.h"
#include "display/disp/face.h"
#include "display/disp/frame_engine.h"
#include "tests/support/kernel_fixture.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

// Diagnostics that note every packet they get, with their face's name.
class recording_diagnostics : public disp::diagnostics {
  public:
    explicit recording_diagnostics(std::vector<std::string>* log = nullptr) : log_(log) {}
    bool on_packet(const disp::packet& received) override {
        if (log_)
            log_->push_back(
                std::string(config()->face_name) + ":" +
                std::string(reinterpret_cast<const char*>(received.payload), received.length));
        return diagnostics::on_packet(received);
    }

  private:
    std::vector<std::string>* log_;
};

class test_bus : public disp::bus {
  public:
    void service() override {}
};

// A face with everything a face needs: 16 x 24 of 8 x 8 modules unless changed.
struct FaceSetup {
    FaceSetup(const char* face_name, const char* bus_name, std::vector<std::string>* log = nullptr)
        : diagnostics(log) {
        std::strcpy(config.face_name, face_name);
        std::strcpy(config.bus_name, bus_name);
        config.height = 16;
        config.width = 24;
        config.module_height = config.module_width = 8;
        config.bits_per_pixel = 1;
        config.Normalize();
        for (uint32_t line = 0; line < config.line_count; ++line)
            config.modules_per_line[line] = 3;
        config.CountModules();
        config.diagnostics = &diagnostics;
        config.engine = &engine;
        face.delete_on_removal = 0;
    }
    face_config config;
    recording_diagnostics diagnostics;
    disp::frame_engine engine;
    disp::face face;
};

// A started registry. Declared after the faces and buses it holds, so that it
// goes first: its lists hold them.
struct Registry : disp::core {
    Registry() { start(); }
};

class DisplayEngine : public test_support::KernelFixture {
  protected:
    disp::stream stream;
};

TEST_F(DisplayEngine, FacesAndBusesMeetByNameInEitherOrder) {
    FaceSetup primary("primary", "6120"), other("other", "null"), twin("primary", "null");
    test_bus bus_6120, bus_null, second_6120;
    Registry registry;
    ASSERT_TRUE(primary.face.attach(&primary.config));
    ASSERT_TRUE(other.face.attach(&other.config));

    ASSERT_TRUE(registry.add_face(&primary.face));
    EXPECT_EQ(disp::face::ATTACHED, primary.face.state()) << "no bus yet: attached, unconnected";
    EXPECT_FALSE(registry.add_bus(&bus_6120)) << "a bus that is not attached";
    ASSERT_TRUE(bus_6120.attach("6120", &stream));
    ASSERT_TRUE(registry.add_bus(&bus_6120));
    EXPECT_EQ(disp::face::CONNECTED, primary.face.state());
    EXPECT_EQ(&bus_6120, primary.face.connected_bus());
    EXPECT_EQ(&bus_6120, primary.diagnostics.connected_bus());
    EXPECT_EQ(&registry, bus_6120.registry());

    ASSERT_TRUE(bus_null.attach("null", &stream));
    ASSERT_TRUE(registry.add_bus(&bus_null));
    ASSERT_TRUE(registry.add_face(&other.face));
    EXPECT_EQ(disp::face::CONNECTED, other.face.state()) << "bus first, then the face";

    // Names are unique in the registry.
    ASSERT_TRUE(twin.face.attach(&twin.config));
    EXPECT_FALSE(registry.add_face(&twin.face));
    ASSERT_TRUE(second_6120.attach("6120", &stream));
    EXPECT_FALSE(registry.add_bus(&second_6120));
    EXPECT_EQ(2u, registry.faces().count());
    EXPECT_EQ(2u, registry.buses().count());

    // Removing a bus disconnects exactly its faces; they stay registered.
    ASSERT_TRUE(registry.remove_bus(&bus_6120));
    EXPECT_EQ(disp::face::DISCONNECTED, primary.face.state());
    EXPECT_EQ(nullptr, primary.diagnostics.connected_bus());
    EXPECT_EQ(disp::face::CONNECTED, other.face.state());
    EXPECT_EQ(2u, registry.faces().count());
    EXPECT_EQ(nullptr, bus_6120.registry());
    EXPECT_FALSE(registry.remove_bus(&bus_6120)) << "no longer registered";

    // Removing an embedded face leaves it whole (the sanitizer would see a delete).
    ASSERT_TRUE(registry.remove_face(&other.face));
    EXPECT_EQ(disp::face::DISCONNECTED, other.face.state());
    EXPECT_EQ(1u, registry.faces().count());
    EXPECT_TRUE(other.face.detach());
    EXPECT_EQ(disp::face::DETACHED, other.face.state());
    EXPECT_EQ(disp::diagnostics::DETACHED, other.diagnostics.state());
    EXPECT_EQ(disp::frame_engine::STOPPED, other.engine.state());
}

TEST_F(DisplayEngine, LifeCycleRefusalsChangeNothing) {
    FaceSetup setup("primary", "null");
    test_bus bus;
    Registry registry;
    disp::core stopped;
    EXPECT_FALSE(stopped.add_face(&setup.face)) << "registry not started";
    EXPECT_FALSE(registry.add_face(&setup.face)) << "face not attached";
    EXPECT_FALSE(setup.face.detach());
    EXPECT_FALSE(setup.face.connect(&bus));
    setup.face.tick(0); // a detached face does nothing (no record to reach)
    EXPECT_FALSE(setup.face.attach(nullptr));
    ASSERT_TRUE(setup.face.attach(&setup.config));
    EXPECT_FALSE(setup.face.attach(&setup.config)) << "already attached";
    EXPECT_FALSE(setup.face.disconnect()) << "not connected";
    EXPECT_FALSE(bus.detach());
    EXPECT_FALSE(bus.attach(nullptr, &stream));
    EXPECT_FALSE(bus.attach("x", nullptr));
    ASSERT_TRUE(bus.attach("null", &stream));
    EXPECT_FALSE(bus.attach("null", &stream)) << "already attached";
    EXPECT_FALSE(registry.start()) << "started once";
    ASSERT_TRUE(registry.add_face(&setup.face));
    ASSERT_TRUE(registry.add_bus(&bus));
    ASSERT_TRUE(registry.stop());
    EXPECT_EQ(disp::face::DISCONNECTED, setup.face.state());
    EXPECT_EQ(0u, registry.faces().count());
    EXPECT_FALSE(registry.add_bus(&bus)) << "stopped";
    disp::null_bus null;
    EXPECT_TRUE(null.is_attached()) << "the null bus is always attached";
}

TEST_F(DisplayEngine, APacketReachesTheFacesOfItsBusInTheOrderTheyCame) {
    std::vector<std::string> log;
    FaceSetup mirror("mirror", "6120", &log), primary("primary", "6120", &log),
        elsewhere("other", "null", &log);
    test_bus bus;
    Registry registry;
    ASSERT_TRUE(bus.attach("6120", &stream));
    ASSERT_TRUE(registry.add_bus(&bus));
    for (FaceSetup* setup : {&mirror, &primary, &elsewhere}) {
        ASSERT_TRUE(setup->face.attach(&setup->config));
        ASSERT_TRUE(registry.add_face(&setup->face));
    }
    const uint8_t bytes[] = {'p', 'k'};
    disp::packet packet;
    packet.payload = bytes;
    packet.length = 2;
    ASSERT_TRUE(registry.broadcast(packet, &bus));
    EXPECT_EQ((std::vector<std::string>{"mirror:pk", "primary:pk"}), log);

    log.clear();
    ASSERT_TRUE(registry.remove_face(&mirror.face));
    ASSERT_TRUE(registry.broadcast(packet, &bus));
    EXPECT_EQ((std::vector<std::string>{"primary:pk"}), log) << "a removed face hears nothing";
}

TEST_F(DisplayEngine, FaceGeometryIsCheckedBeforeAttaching) {
    struct Case {
        const char* what;
        void (*change)(face_config&);
        bool valid;
    };
    const Case cases[] = {
        {"as set up", [](face_config&) {}, true},
        {"nine lines of full modules",
         [](face_config& c) {
             c.height = 72;
             c.line_count = 9;
             for (uint8_t& m : c.modules_per_line)
                 m = 3;
             c.CountModules();
         },
         true},
        {"ten module lines",
         [](face_config& c) {
             c.height = 80;
             c.line_count = 10;
         },
         false},
        {"more than 576 modules",
         [](face_config& c) {
             c.width = 8 * 255;
             c.height = 24;
             c.line_count = 3;
             c.modules_per_line[0] = c.modules_per_line[1] = 255;
             c.modules_per_line[2] = 67;
             c.CountModules();
         },
         false},
        {"576 modules",
         [](face_config& c) {
             c.width = 8 * 255;
             c.height = 24;
             c.line_count = 3;
             c.modules_per_line[0] = c.modules_per_line[1] = 255;
             c.modules_per_line[2] = 66;
             c.CountModules();
         },
         true},
        {"line count not the height's", [](face_config& c) { c.line_count = 3; }, false},
        {"a line longer than the width", [](face_config& c) { c.modules_per_line[4] = 4; }, false},
        {"no diagnostics", [](face_config& c) { c.diagnostics = nullptr; }, false},
        {"no frame engine", [](face_config& c) { c.engine = nullptr; }, false},
        {"no depth", [](face_config& c) { c.bits_per_pixel = 0; }, false},
        {"no module width", [](face_config& c) { c.module_width = 0; }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FaceSetup setup("primary", "null");
        c.change(setup.config);
        EXPECT_EQ(c.valid, disp::validate_face_geometry(setup.config));
        EXPECT_EQ(c.valid, setup.face.attach(&setup.config));
        EXPECT_EQ(c.valid, setup.diagnostics.state() == disp::diagnostics::ATTACHED);
    }
}

TEST(FaceConfig, NormalizeRoundsToWholeModules) {
    struct {
        uint16_t height, width;
        uint8_t module_height, module_width;
        int result;
        uint16_t rounded_height, rounded_width;
        uint8_t lines;
    } cases[] = {
        {50, 112, 8, 8, 1, 56, 112, 7},     {0, 0, 7, 5, 1, 7, 5, 1},
        {48, 112, 7, 5, 1, 49, 115, 7},     {48, 112, 0, 8, 0, 48, 112, 0},
        {65535, 10, 8, 8, 0, 65535, 10, 0}, // rounding would pass 16 bits
    };
    for (const auto& c : cases) {
        face_config config;
        EXPECT_STREQ("null", config.face_name);
        config.height = c.height;
        config.width = c.width;
        config.module_height = c.module_height;
        config.module_width = c.module_width;
        EXPECT_EQ(c.result, config.Normalize()) << c.height << "x" << c.width;
        EXPECT_EQ(c.rounded_height, config.height);
        EXPECT_EQ(c.rounded_width, config.width);
        EXPECT_EQ(c.lines, config.line_count);
    }
}

// ---- pixel diagnostics ----

class PixelDiagnostics : public test_support::KernelFixture {};

TEST_F(PixelDiagnostics, ModuleRecordsFollowTheLinesFromTheTop) {
    FaceSetup setup("primary", "null");
    face_config& c = setup.config;
    c.height = 24;
    c.width = 32;
    c.Normalize();
    const uint8_t lines[] = {4, 4, 2};
    std::memcpy(c.modules_per_line, lines, 3);
    c.CountModules();
    ASSERT_EQ(10u, c.total_modules);
    ASSERT_TRUE(setup.face.attach(&c));
    disp::diagnostics& d = setup.diagnostics;

    uint16_t index = 99;
    disp::module* record = nullptr;
    ASSERT_TRUE(d.first_module(&index, &record));
    EXPECT_EQ(0u, index);
    for (int i = 0; i < 8; ++i)
        ASSERT_TRUE(d.next_module(&index, &record));
    EXPECT_EQ(8u, index);
    EXPECT_EQ(0u, record->top_left.x);
    EXPECT_EQ(16u, record->top_left.y);
    EXPECT_EQ(7u, record->bottom_right.x);
    EXPECT_EQ(23u, record->bottom_right.y);
    EXPECT_EQ(3u, record->status[1]);
    EXPECT_EQ(disp::module::READY, record->state);
    EXPECT_EQ(8u, d.module_at(5).top_left.x) << "record 5: line 1, module 1";
    EXPECT_EQ(8u, d.module_at(5).top_left.y);

    ASSERT_TRUE(d.next_module(&index, &record));
    EXPECT_EQ(9u, index);
    EXPECT_FALSE(d.next_module(&index, &record));
    EXPECT_EQ(10u, index);
    EXPECT_FALSE(d.next_module(&index, &record));
    EXPECT_EQ(10u, index);
    EXPECT_FALSE(d.first_module(nullptr, &record));

    ASSERT_TRUE(setup.face.detach());
    EXPECT_EQ(disp::module::RELEASED, d.module_at(9).state);
}

TEST_F(PixelDiagnostics, BusyAndIdleTakeTurns) {
    FaceSetup setup("primary", "null");
    disp::diagnostics& d = setup.diagnostics;
    EXPECT_FALSE(d.lock()) << "not attached";
    ASSERT_TRUE(setup.face.attach(&setup.config));
    EXPECT_FALSE(d.unlock()) << "attached, not busy";
    ASSERT_TRUE(setup.face.start_pixel_test(0));
    EXPECT_EQ(disp::diagnostics::BUSY, d.state());
    EXPECT_FALSE(d.lock()) << "already busy";
    ASSERT_TRUE(setup.face.stop_pixel_test());
    EXPECT_EQ(disp::diagnostics::IDLE, d.state());
    EXPECT_FALSE(d.unlock()) << "already idle";
    EXPECT_TRUE(d.lock());
    EXPECT_FALSE(setup.face.stop_diagnostics()) << "no own error frame to clear";
}

TEST_F(PixelDiagnostics, AModuleCountsEachFailedPixelOnce) {
    disp::frame own, second;
    ASSERT_TRUE(own.create(16, 16, 0, 1));
    ASSERT_TRUE(second.create(16, 16, 0, 2));
    auto set = [](disp::frame& f, uint16_t x, uint16_t y, uint32_t v) {
        disp::pixel p(x, y, v);
        ASSERT_TRUE(f.set_pixel(p));
    };
    set(own, 8, 8, 1);
    set(own, 15, 15, 1);
    set(own, 10, 12, 1);
    set(second, 10, 12, 3); // the shared one
    set(second, 9, 8, 3);
    set(second, 7, 8, 3); // outside the rectangle
    disp::module m;
    EXPECT_FALSE(m.count_errors()) << "not ready";
    ASSERT_TRUE(m.init(disp::pixel(8, 8), disp::pixel(15, 15), &own, &second));
    EXPECT_FALSE(m.init(disp::pixel(8, 8), disp::pixel(15, 15), &own, &second));
    ASSERT_TRUE(m.count_errors());
    EXPECT_EQ(4u, m.failed_pixels);
    uint8_t column = 0, row = 0;
    ASSERT_TRUE(m.position(column, row));
    EXPECT_EQ(1u, column);
    EXPECT_EQ(1u, row);
}

TEST_F(PixelDiagnostics, TheIteratorYieldsFailedPixelsInShiftedCoordinates) {
    disp::frame errors;
    ASSERT_TRUE(errors.create(4, 8, 0, 1));
    for (auto xy : {std::pair<uint16_t, uint16_t>{5, 0}, {2, 1}}) {
        disp::pixel p(xy.first, xy.second, 1);
        ASSERT_TRUE(errors.set_pixel(p));
    }
    disp::pixel_error_iterator it(&errors, 10, 0);
    it.first();
    ASSERT_TRUE(it.valid());
    EXPECT_EQ(15u, it.current().x);
    EXPECT_EQ(0u, it.current().y);
    it.advance();
    ASSERT_TRUE(it.valid());
    EXPECT_EQ(12u, it.current().x);
    EXPECT_EQ(1u, it.current().y);
    it.advance();
    EXPECT_FALSE(it.valid());
    EXPECT_EQ(4u, it.current().y) << "below the rectangle";
    it.first();
    EXPECT_TRUE(it.valid()) << "a new walk";
    it.reset();
    EXPECT_FALSE(it.valid());
}

} // namespace
