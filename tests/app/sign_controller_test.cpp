// The host program from the outside: options, state directory, running until
// interrupted, the console copy on standard error.
#include "tests/support/host_process.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using test_support::BesideTests;
using test_support::HostProcess;

class SignController : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!fs::exists(BesideTests("sign-controller")))
            GTEST_SKIP() << "sign-controller not built";
        char tmpl[] = "/tmp/sign_controller_test_XXXXXX";
        dir_ = mkdtemp(tmpl);
    }
    void TearDown() override {
        if (!dir_.empty()) fs::remove_all(dir_);
    }
    bool Start(std::vector<std::string> args) {
        args.insert(args.begin(), BesideTests("sign-controller"));
        return run_.Start(args, dir_ + "/out.txt");
    }
    std::string dir_;
    HostProcess run_;
};

TEST_F(SignController, RefusesAnUnknownOptionWithTheUsage) {
    ASSERT_TRUE(Start({"--no-such-option"}));
    EXPECT_EQ(2, run_.Wait(10));
    std::string out = run_.Output();
    EXPECT_NE(out.find("unknown option --no-such-option"), std::string::npos) << out;
    EXPECT_NE(out.find("usage: sign-controller"), std::string::npos) << out;
}

TEST_F(SignController, CreatesItsStateAndRunsUntilInterrupted) {
    std::string state = dir_ + "/deep/state";
    ASSERT_TRUE(Start({"--state", state, "--speed", "20", "--port-offset",
                       std::to_string(test_support::FreePortOffset())}));
    // A loaded host may take a while to start it; it must still run then.
    for (int look = 0; look < 200 && run_.Output().find("state directory ") == std::string::npos;
         ++look)
        if (run_.Wait(0.05) != -1) break;
    int status = run_.Wait(0.5);
    if (status != -1) FAIL() << "ended with " << status << ":\n" << run_.Output();
    EXPECT_TRUE(fs::is_directory(state));
    EXPECT_NE(run_.Output().find("state directory " + fs::canonical(state).string()),
              std::string::npos)
        << run_.Output();
    run_.Signal(SIGINT);
    EXPECT_NE(run_.Wait(10), -1);
}

std::string file_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Waits (at most 10 s) until `process` printed `text`; false when it ended first.
bool wait_for(HostProcess& process, const std::string& text) {
    for (int wait = 0; wait < 200; ++wait) {
        if (process.Output().find(text) != std::string::npos) return true;
        if (process.Wait(0.05) != -1) return false;
    }
    return false;
}

// A second program on the same state directory waits a moment for the lock,
// then refuses to start, touching neither the clock file nor the environment.
TEST_F(SignController, ASecondProgramOnTheSameStateDirectoryRefusesToStart) {
    const std::string state = dir_ + "/state";
    ASSERT_TRUE(
        Start({"--state", state, "--speed", "20", "--port-offset", "31200", "--console-log"}));
    ASSERT_TRUE(wait_for(run_, "Launching Thread(s) at ")) << run_.Output();
    run_.Signal(SIGSTOP); // it holds the lock but changes nothing meanwhile
    const std::string clock = file_bytes(state + "/clocknv.bin");
    const std::string environment = file_bytes(state + "/environment");
    ASSERT_FALSE(clock.empty());
    HostProcess second;
    ASSERT_TRUE(second.Start({BesideTests("sign-controller"), "--state", state, "--speed", "20",
                              "--port-offset", "31300"},
                             dir_ + "/second.txt"));
    const int status = second.Wait(10);
    EXPECT_NE(-1, status);
    EXPECT_NE(0, status);
    EXPECT_NE(std::string::npos, second.Output().find("is in use by another sign-controller"))
        << second.Output();
    EXPECT_EQ(clock, file_bytes(state + "/clocknv.bin"));
    EXPECT_EQ(environment, file_bytes(state + "/environment"));
    run_.Signal(SIGCONT);
    run_.Signal(SIGINT);
    EXPECT_NE(-1, run_.Wait(10));
}

// Started again at once after a kill -9, the sign waits for its predecessor's
// lock and runs with its flash.
TEST_F(SignController, AStartRightAfterAKillRunsWithItsFlash) {
    const std::string state = dir_ + "/state";
    const std::vector<std::string> args = {BesideTests("sign-controller"),
                                           "--state",
                                           state,
                                           "--speed",
                                           "20",
                                           "--port-offset",
                                           "31400",
                                           "--console-log"};
    ASSERT_TRUE(run_.Start(args, dir_ + "/first.txt"));
    ASSERT_TRUE(wait_for(run_, "Launching Thread(s) at ")) << run_.Output();
    run_.Signal(SIGKILL);
    HostProcess next;
    ASSERT_TRUE(next.Start(args, dir_ + "/next.txt"));
    EXPECT_TRUE(wait_for(next, "Launching Thread(s) at ")) << next.Output();
    EXPECT_EQ(std::string::npos, next.Output().find("without flash")) << next.Output();
    EXPECT_NE(std::string::npos, next.Output().find("Loading off nv1.dat")) << next.Output();
    next.Signal(SIGINT);
    EXPECT_NE(-1, next.Wait(10));
}

// An existing image that does not mount (not ours, its superblock damaged)
// stops the start with the reason and is left as it was for flashtool; a cut
// image is resized and used.
TEST_F(SignController, AnImageThatDoesNotMountStopsTheStartAndACutOneIsUsed) {
    // A whole image, as flashtool makes it.
    std::string good_image = dir_ + "/good.img";
    std::ofstream(dir_ + "/note.txt") << "note";
    ASSERT_EQ(0, test_support::RunProcess(
                     {BesideTests("flashtool"), good_image, "put", dir_ + "/note.txt"},
                     dir_ + "/flashtool.txt")
                     .status);
    std::string good;
    {
        std::ifstream in(good_image, std::ios::binary);
        good.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    ASSERT_GT(good.size(), 4096u);
    std::string damaged = good;
    damaged.replace(0, 4, "\xDE\xAD\xBE\xEF");
    const struct {
        const char* what;
        std::string image;
        const char* message;
        bool runs;
    } cases[] = {
        {"foreign", std::string(100000, 'G'), "is not a flash image of this system", false},
        {"superblock", damaged, "not started", false},
        {"cut", good.substr(0, 4096), "bytes instead of 16777216: resized, missing part erased",
         true},
    };
    for (const auto& c : cases) {
        std::string state = dir_ + "/" + c.what;
        fs::create_directories(state);
        std::ofstream(state + "/flash.img", std::ios::binary) << c.image;
        ASSERT_TRUE(Start({"--state", state, "--speed", "20", "--port-offset", "31100"}));
        if (!c.runs) {
            EXPECT_EQ(1, run_.Wait(60)) << c.what << "\n" << run_.Output();
            EXPECT_NE(std::string::npos, run_.Output().find(c.message)) << c.what;
            EXPECT_NE(std::string::npos, run_.Output().find("not started")) << c.what;
            std::ifstream in(state + "/flash.img", std::ios::binary);
            EXPECT_EQ(c.image, std::string(std::istreambuf_iterator<char>(in),
                                           std::istreambuf_iterator<char>()))
                << c.what;
            continue;
        }
        // The report comes before the firmware starts; the sign then keeps running.
        for (int wait = 0; wait < 200 && run_.Output().find(c.message) == std::string::npos; wait++)
            ASSERT_EQ(-1, run_.Wait(0.05)) << c.what << "\n" << run_.Output();
        EXPECT_NE(std::string::npos, run_.Output().find(c.message)) << c.what << "\n"
                                                                    << run_.Output();
        EXPECT_EQ(-1, run_.Wait(0.3)) << c.what << "\n" << run_.Output();
        run_.Signal(SIGINT);
        EXPECT_NE(-1, run_.Wait(10)) << c.what;
    }
    // The cut image kept the file that lay in its first part.
    EXPECT_EQ("note", test_support::RunProcess(
                          {BesideTests("flashtool"), dir_ + "/cut/flash.img", "get", "note.txt"},
                          dir_ + "/flashtool.txt")
                          .output);
}

// With --console-log the start-up lines show on standard error; a "1" typed
// at the console during start-up turns the trace level on, so that each task
// says when its thread starts (at its first tick).
TEST_F(SignController, ConsoleLogShowsTheStartUpAndTheTasksStarting) {
    ASSERT_TRUE(Start({"--state", dir_ + "/state", "--speed", "20", "--port-offset",
                       std::to_string(test_support::FreePortOffset()), "--console-log"}));
    run_.Type("1");
    const char* lines[] = {
        "Booting J6-VMS ver ",
        " - Detecting Hardware\t\t\t\t\t[ OK ]\n\tTZR CAN Product Board\n",
        " - Is Bootloader Current?\t\t\t\t[ OK ]\n",
        " - Initialize J6 Platform Specific Items\t\t[ OK ]\n",
        " - Initialize QK Product Specific Items\t\t\t[ OK ]\n",
        "Launching Thread(s) at ",
        "Watchdog Task Start...\n",
        "Peripheral Task Start...\n",
        "Schedule Task Start...\n",
        "Display Task Start...\n",
        "Communication Start...\n", // at its first tick, 10 s after start
    };
    std::string out;
    size_t at = 0;
    for (const char* line : lines) {
        size_t found = std::string::npos;
        for (int wait = 0; wait < 200 && found == std::string::npos; wait++) {
            ASSERT_EQ(-1, run_.Wait(0.05)) << run_.Output();
            out = run_.Output();
            found = out.find(line, at);
        }
        ASSERT_NE(std::string::npos, found) << line << "\n--- output:\n" << out;
        at = found;
    }
    for (const char* task : {"Database Task Start...\n", "Monitor Task Start...\n"})
        EXPECT_NE(std::string::npos, out.find(task)) << out;
    run_.Signal(SIGINT);
    EXPECT_NE(-1, run_.Wait(10));
}

// The README's console recipe on a new state directory: a CONFIG.XML with the
// console bit put into the flash before the first start opens the console;
// without it the sign says why the console stays closed.
TEST_F(SignController, TheConsoleRecipeWorksFromAFirstRunAndAClosedConsoleSaysWhy) {
    const int offset = test_support::FreePortOffset();
    const struct {
        bool config;
        std::string expected;
    } cases[] = {
        {true, "listening on TCP 127.0.0.1:" + std::to_string(23 + offset) + "\n"},
        {false, "telnet console closed: the console bit (0x08) of halvFeatureSet is clear\n"},
    };
    for (const auto& c : cases) {
        const std::string state = dir_ + (c.config ? "/open" : "/closed");
        fs::create_directories(state);
        if (c.config) {
            std::ofstream(dir_ + "/CONFIG.XML")
                << "<!-- CONFIG.XML J6 V2.0 -->\nhalvFeatureSet[0000]:XXXX,1C\n";
            ASSERT_EQ(0, test_support::RunProcess({BesideTests("flashtool"), state + "/flash.img",
                                                   "put", dir_ + "/CONFIG.XML"},
                                                  dir_ + "/flashtool.txt")
                             .status);
        }
        ASSERT_TRUE(
            Start({"--state", state, "--speed", "20", "--port-offset", std::to_string(offset)}));
        // The communication task starts the console 10 simulated seconds after start.
        for (int wait = 0; wait < 200 && run_.Output().find(c.expected) == std::string::npos;
             wait++)
            ASSERT_EQ(-1, run_.Wait(0.05)) << run_.Output();
        EXPECT_NE(std::string::npos, run_.Output().find(c.expected)) << run_.Output();
        run_.Signal(SIGINT);
        EXPECT_NE(-1, run_.Wait(10));
    }
}

// The field file is read before the firmware starts: its first bad line
// stops the program with the line's place and reason.
TEST_F(SignController, ABadFieldFileStopsTheProgramAtItsLine) {
    std::ofstream(dir_ + "/field.txt") << "# modules\ndisplay module 8x8 mono\nlamp 3\n";
    ASSERT_TRUE(Start({"--state", dir_ + "/state", "--field", dir_ + "/field.txt"}));
    EXPECT_EQ(2, run_.Wait(10));
    EXPECT_NE(std::string::npos,
              run_.Output().find(dir_ + "/field.txt:3: unknown device kind 'lamp'\n"))
        << run_.Output();
}

// At factory defaults the sign is one primary face on the null bus, the EPLD
// is loaded for module type 28 and the sign's picture appears in the state
// directory at the sign's size, scaled as the field file asks.
TEST_F(SignController, LoadsTheEpldAndShowsTheSignAsAPicture) {
    std::ofstream(dir_ + "/field.txt") << "display scale 2\n";
    const std::string state = dir_ + "/state";
    ASSERT_TRUE(Start({"--state", state, "--speed", "20", "--port-offset",
                       std::to_string(test_support::FreePortOffset()), "--console-log", "--field",
                       dir_ + "/field.txt"}));
    const std::string picture = fs::absolute(state).lexically_normal().string() + "/sign.png";
    for (int wait = 0; wait < 200 && !fs::exists(picture); wait++)
        ASSERT_EQ(-1, run_.Wait(0.05)) << run_.Output();
    std::string out = run_.Output();
    for (const std::string& line :
         {"sign-controller: sign picture " + picture + "\n",
          std::string("successfully registered primary on null\n"),
          std::string("EPLD Program Success! - Type:28 - 48x112\n"), std::string("EPLD mode:1\n")})
        EXPECT_NE(std::string::npos, out.find(line)) << line << "\n--- output:\n" << out;
    std::ifstream in(picture, std::ios::binary);
    std::string png((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(png.size(), 24u);
    EXPECT_EQ(std::string("\0\0\0\xE0\0\0\0\x60", 8), png.substr(16, 8)); // 224 x 96
    run_.Signal(SIGINT);
    EXPECT_NE(-1, run_.Wait(10));
}

} // namespace
