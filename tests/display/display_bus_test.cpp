// The 6120 display bus's receive side: the framer cuts the modules' bytes
// into frames (a table of byte streams and what comes out), and the face's
// diagnostics decode a report's pixel indices into its error frame.
#include "display/disp/bus_6120.h"
#include "display/disp/diag_6120.h"
#include "display/disp/frame_engine.h"
#include "tests/support/kernel_fixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> bytes_of(const std::string& hex) {
    std::istringstream in(hex);
    std::vector<uint8_t> out;
    for (unsigned b = 0; in >> std::hex >> b;)
        out.push_back(uint8_t(b));
    return out;
}

std::string hex_of(const uint8_t* bytes, uint32_t length) {
    std::string out;
    char two[4];
    for (uint32_t i = 0; i < length; ++i) {
        std::snprintf(two, sizeof two, "%02X", bytes[i]);
        out += (i ? " " : "") + std::string(two);
    }
    return out;
}

// Every payload the framer delivers for the bytes, in order.
std::vector<std::string> payloads(const std::string& hex) {
    disp::stream_6120 framer;
    std::vector<uint8_t> in = bytes_of(hex);
    std::vector<std::string> out;
    if (!in.empty()) framer.push(in.data(), uint32_t(in.size()));
    for (disp::packet p; framer.next_packet(&p);)
        out.push_back(hex_of(p.payload, p.length));
    return out;
}

TEST(DisplayBusFraming, FramesAsATable) {
    struct Case {
        const char* what;
        const char* bytes;
        std::vector<std::string> payloads;
    };
    const Case cases[] = {
        {"a report of index 5", "7E 01 03 01 00 05 88 7E", {"01 00 05"}},
        {"7F 5E carries 7E, summed decoded", "7E 01 03 01 7F 5E 05 06 7E", {"01 7E 05"}},
        {"a second flag opens the frame", "7E 7E 01 03 01 00 05 88 7E", {"01 00 05"}},
        {"bytes before the first flag", "00 13 88 7E 01 03 01 00 05 88 7E", {"01 00 05"}},
        {"81 02 announces two bytes", "7E 01 81 02 01 05 08 7E", {"01 05"}},
        {"an escaped checksum 7E before the closing flag",
         "7E 01 03 01 00 FB 7F 5E 7E",
         {"01 00 FB"}},
        {"two frames in a row", "7E 01 01 01 81 7E 7E 01 01 02 82 7E", {"01", "02"}},
        {"a bad checksum", "7E 01 03 01 00 05 89 7E", {}},
        {"a type other than 1", "7E 02 03 01 00 05 89 7E", {}},
        {"length form 80", "7E 01 80 01 00 05 05 7E", {}},
        {"length form 85", "7E 01 85 00 00 00 00 01 01 05 7E", {}},
        {"a length past the checksum", "7E 01 05 01 00 05 8A 7E", {}},
        {"a length near 2^32 wraps nothing", "7E 01 84 FF FF FF FF 01 00 7E", {}},
        {"a bad frame, then a good one", "7E 02 00 80 7E 7E 01 03 01 00 05 88 7E", {"01 00 05"}},
        {"an empty stream", "", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.payloads, payloads(c.bytes)) << c.what;
}

TEST(DisplayBusFraming, AFrameLongerThanTheBufferIsDroppedAndTheNextOneComes) {
    std::string hex = "7E 01 82 04 01";
    for (int i = 0; i < 1025; ++i)
        hex += " 00";
    hex += " 00 7E 7E 01 03 01 00 05 88 7E";
    EXPECT_EQ(std::vector<std::string>{"01 00 05"}, payloads(hex));
}

// A face 16 high of 8-pixel modules (two module lines), 24 wide.
class ModuleReports : public test_support::KernelFixture {
  protected:
    void SetUp() override {
        KernelFixture::SetUp();
        std::strcpy(config_.face_name, "primary");
        std::strcpy(config_.bus_name, "6120");
        config_.height = 16;
        config_.width = 24;
        config_.module_height = config_.module_width = 8;
        config_.bits_per_pixel = 1;
        config_.Normalize();
        for (uint32_t line = 0; line < config_.line_count; ++line)
            config_.modules_per_line[line] = 3;
        config_.CountModules();
        config_.diagnostics = &diag_;
        config_.engine = &engine_;
        face_.delete_on_removal = 0;
        ASSERT_TRUE(face_.attach(&config_));
    }
    void TearDown() override {
        face_.detach();
        KernelFixture::TearDown();
    }
    void Report(const std::string& payload_hex) {
        std::vector<uint8_t> payload = bytes_of(payload_hex);
        disp::packet p;
        p.payload = payload.data();
        p.length = uint32_t(payload.size());
        ASSERT_TRUE(diag_.on_packet(p));
    }
    bool Failed(uint16_t x, uint16_t y) {
        disp::pixel p(x, y);
        return diag_.own_errors()->get_pixel(p) && p.value == 1;
    }
    face_config config_{};
    disp::diag_6120 diag_;
    disp::frame_engine engine_;
    disp::face face_;
};

TEST_F(ModuleReports, IndicesNamePixelsByModuleLineAndHalf) {
    struct Case {
        uint16_t index, x, y;
    };
    const Case cases[] = {{0, 0, 0},       {1, 0, 8}, {0x8000, 0, 1}, {2, 0, 2},
                          {0x8003, 0, 11}, {8, 1, 0}, {5, 0, 12}};
    for (const Case& c : cases) {
        disp::pixel p = diag_.index_to_xy(c.index);
        EXPECT_EQ(c.x, p.x) << "index " << c.index;
        EXPECT_EQ(c.y, p.y) << "index " << c.index;
    }
}

TEST_F(ModuleReports, AReportMarksItsPixelsAfterTheMarker) {
    Report("55 01 00 00 80 00 00 01");
    EXPECT_TRUE(Failed(0, 0));
    EXPECT_TRUE(Failed(0, 1));
    EXPECT_TRUE(Failed(0, 8));
    EXPECT_EQ(3u, diag_.own_errors()->lit_count()) << "the 55 before the marker is no index";

    // Index 8 x 24 = 192 lies at x 24: past the face (the other face of a
    // mirrored sign): nothing changes.
    Report("01 00 C0");
    EXPECT_EQ(3u, diag_.own_errors()->lit_count());
    config_.x_origin = 8; // this face starts 8 columns into the frame
    Report("01 00 40");   // x 8, y 0: this face's column 0
    EXPECT_TRUE(Failed(0, 0));
    Report("01 00 00"); // x 0: left of the face
    EXPECT_EQ(3u, diag_.own_errors()->lit_count());
}

} // namespace
