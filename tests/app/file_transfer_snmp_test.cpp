// File transfer as a central system runs it with net-snmp's snmpset and
// snmpget against the running program: a download in blocks with their
// CRC-16 into flash (checked with flashtool), the upload of the same file,
// the whole-file CRC, deletion, the directory listing, copy and move, and
// compressed files.
#include "runtime/utilities.h"
#include "tests/comm/transfer_test_util.h"
#include "tests/support/running_sign.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

using transfer_test::compressed;
using transfer_test::crc_of;
using transfer_test::pattern;

using test_support::RunningSign;

std::string object(int n) {
    return "1.3.6.1.4.1.1206.3.11.4." + std::to_string(n) + ".0";
}
const std::string STATE = object(1), BLOCK_SIZE = object(2), FILE_SIZE = object(3),
                  BLOCK_NUMBER = object(4), DATA = object(5), CRC = object(6);

std::string hex(const std::string& bytes) {
    std::string out;
    char two[3];
    for (unsigned char c : bytes) {
        std::snprintf(two, sizeof two, "%02X", c);
        out += two;
    }
    return out;
}

// An octet string as snmpget -Ox prints it ("1A 2B ..." over lines, quoted).
std::string from_hex(const std::string& text) {
    std::string digits, out;
    for (char c : text)
        if (std::isxdigit(static_cast<unsigned char>(c))) digits += c;
    for (size_t i = 0; i + 1 < digits.size(); i += 2)
        out += char(std::stoi(digits.substr(i, 2), nullptr, 16));
    return out;
}

// Equal contents, told by size and first difference when they are not.
::testing::AssertionResult Same(const std::string& expected, const std::string& actual) {
    if (expected == actual) return ::testing::AssertionSuccess();
    size_t at = 0;
    while (at < expected.size() && at < actual.size() && expected[at] == actual[at])
        at++;
    return ::testing::AssertionFailure()
           << "expected " << expected.size() << " bytes, got " << actual.size() << " ("
           << actual.substr(0, 40) << "), first difference at " << at;
}

class FileTransferSnmp : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::string why = RunningSign::WhyNot(); !why.empty()) GTEST_SKIP() << why;
        ASSERT_TRUE(sign_.Start(50));
        ASSERT_TRUE(sign_.Answering()) << sign_.Process().Output();
    }

    // One snmpset of "OID TYPE VALUE ..."; -> the state object afterwards.
    std::string Step(const std::string& varbinds) {
        std::string out = sign_.Tool("snmpset", varbinds);
        EXPECT_EQ(std::string::npos, out.find("Error")) << out;
        return sign_.Get(STATE);
    }
    std::string Named(int command, const std::string& name, int block_size = 1024) {
        return Step(DATA + " s '" + name + "' " + CRC + " i " + std::to_string(crc_of(name)) + " " +
                    BLOCK_SIZE + " i " + std::to_string(block_size) + " " + STATE + " i " +
                    std::to_string(command));
    }
    // -> the state after the store (or the step that failed).
    std::string Download(const std::string& name, const std::string& bytes, size_t block = 1024) {
        const size_t blocks = (bytes.size() + block - 1) / block;
        std::string state =
            Step(DATA + " s '" + name + "' " + FILE_SIZE + " i " + std::to_string(bytes.size()) +
                 " " + BLOCK_SIZE + " i " + std::to_string(block) + " " + BLOCK_NUMBER + " i " +
                 std::to_string(blocks) + " " + STATE + " i 4");
        if (state != "2") return state;
        for (size_t k = 1; k <= blocks; k++) {
            const std::string part = bytes.substr((k - 1) * block, block);
            state =
                Step(DATA + " x " + hex(part) + " " + CRC + " i " + std::to_string(crc_of(part)) +
                     " " + BLOCK_NUMBER + " i " + std::to_string(k) + " " + STATE + " i 5");
            if (state != "2") return state;
        }
        sign_.Set(STATE, "i", "6");
        return sign_.GetWhen(STATE, "2", 10); // the store follows at the task's next step
    }
    std::string Upload(const std::string& name) {
        if (Named(7, name) != "2") return "<refused>";
        const int blocks = std::stoi(sign_.Get(BLOCK_NUMBER));
        std::string out;
        for (int k = 1; k <= blocks; k++) {
            if (Step(BLOCK_SIZE + " i 1024 " + BLOCK_NUMBER + " i " + std::to_string(k) + " " +
                     STATE + " i 8") != "5")
                return "<refused>";
            std::string block = from_hex(sign_.Tool("snmpget", DATA, "-Oqvx"));
            EXPECT_EQ(std::to_string(crc_of(block)), sign_.Get(CRC)) << "block " << k;
            out += block;
        }
        return out;
    }
    std::string Flash(const std::string& name) {
        const std::string out = sign_.StateDir() + "/../got.bin";
        std::remove(out.c_str());
        test_support::run_command(test_support::BesideTests("flashtool") + " " + sign_.StateDir() +
                                  "/flash.img get '" + name + "' " + out);
        std::ifstream in(out, std::ios::binary);
        if (!in) return "<none>";
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    RunningSign sign_;
};

TEST_F(FileTransferSnmp, ACentralSystemMovesFilesInAndOut) {
    const std::string file = pattern(3000);
    ASSERT_EQ("2", Download("sent.bin", file));
    EXPECT_TRUE(Same(file, Flash("sent.bin")));
    EXPECT_TRUE(Same(file, Upload("sent.bin")));

    EXPECT_EQ("2", Named(9, "sent.bin"));
    EXPECT_EQ(std::to_string(crc_of(file)), sign_.Get(CRC));

    EXPECT_EQ("2", Named(11, "*"));
    EXPECT_NE(std::string::npos, Upload("<dir>").find("sent.bin\r\n"));

    EXPECT_EQ("2", Named(12, "sent.bin"));
    EXPECT_EQ("2", Named(14, "copy.bin"));
    EXPECT_TRUE(Same(file, Flash("copy.bin")));
    EXPECT_EQ("2", Named(12, "copy.bin"));
    EXPECT_EQ("2", Named(13, "moved.bin"));
    EXPECT_TRUE(Same(file, Flash("moved.bin")));
    EXPECT_EQ("<none>", Flash("copy.bin"));

    EXPECT_EQ("2", Named(10, "sent.bin"));
    EXPECT_EQ("<none>", Flash("sent.bin"));

    const std::string text = std::string(4000, 'a') + pattern(500);
    const std::string best = compressed(text, 9), usual = compressed(text, 6);
    ASSERT_EQ("\x78\xDA", best.substr(0, 2));
    ASSERT_EQ("\x78\x9C", usual.substr(0, 2));
    ASSERT_LE(usual.size(), 1024u) << "one block each";
    ASSERT_EQ("2", Download("best.bin", best));
    EXPECT_TRUE(Same(text, Flash("best.bin")));
    ASSERT_EQ("2", Download("usual.bin", usual));
    EXPECT_TRUE(Same(usual, Flash("usual.bin")));

    // A value the state object does not take runs no step.
    EXPECT_NE(std::string::npos, sign_.Set(STATE, "i", "15").find("badValue"));
}

} // namespace
