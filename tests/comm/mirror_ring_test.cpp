// The web-LCD mirror's transmit ring when its viewer falls behind: a full
// ring is said once per overflow, and the bytes it dropped are counted and
// told once the ring takes bytes again.
#include "comm/net/servers.h"
#include "tests/support/kernel_fixture.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using test_support::ConsoleText;

int count_of(const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

class MirrorRing : public test_support::KernelFixture {};

TEST_F(MirrorRing, AFullRingIsSaidOncePerOverflowAndItsDropsCounted) {
    const uint32_t RING = 100; // holds 99 bytes
    // The firmware's servers live as long as the program (their rings are
    // never freed); no network here: the rings alone.
    static CTCP_Server mirror;
    mirror.Open(15002, RING);
    test_support::ClearConsole();
    for (int i = 0; i < 150; ++i)
        ASSERT_TRUE(mirror.WriteByte(uint8_t(i)));
    EXPECT_EQ(1, count_of(ConsoleText(), "transmit ring full")) << ConsoleText();
    EXPECT_EQ(51u, mirror.DroppedBytes());

    mirror.FlushTx(); // no viewer: the queued bytes go
    mirror.WriteByte(0);
    EXPECT_EQ(1, count_of(ConsoleText(), "51 bytes dropped")) << ConsoleText();
    for (int i = 0; i < 120; ++i)
        mirror.WriteByte(uint8_t(i));
    EXPECT_EQ(2, count_of(ConsoleText(), "transmit ring full")) << "a second overflow";
    EXPECT_EQ(51u + 22u, mirror.DroppedBytes()); // 98 more fitted
}

} // namespace
