// The sign's clock follows a time server: chrony serving on 127.0.0.2 one
// hour ahead of the host (run under faketime), named in the CONFIG.XML of a
// new sign with the SNTP feature bit. After the first exchange (the 31st
// step of the communication task) the sign's global time is an hour ahead
// of the host's.
#include "tests/support/running_sign.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <fstream>
#include <string>
#include <thread>

namespace {

using test_support::HostProcess;
using test_support::RunningSign;

const std::string GLOBAL_TIME = "1.3.6.1.4.1.1206.4.2.6.3.1.0";
const long HOUR = 3600;

bool installed(const std::string& program) {
    return test_support::run_command("command -v " + program).find(program) != std::string::npos;
}

class SntpAgainstChrony : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::string why = RunningSign::WhyNot(); !why.empty()) GTEST_SKIP() << why;
        for (const char* program : {"chronyd", "faketime"})
            if (!installed(program)) GTEST_SKIP() << program << " is not installed";
        // One time server on 127.0.0.2:123 at a time, whatever runs beside.
        test_support::run_command("mkdir -p /tmp/sign-test-ports");
        lock_ = open("/tmp/sign-test-ports/ntp-127.0.0.2.lock", O_CREAT | O_RDWR | O_CLOEXEC, 0666);
        ASSERT_GE(lock_, 0);
        ASSERT_EQ(0, flock(lock_, LOCK_EX));
        ASSERT_TRUE(sign_.Put("CONFIG.XML", "<!-- CONFIG.XML J6 V2.0 -->\n"
                                            "halvFeatureSet[0000]:XXXX,54\n"
                                            "halvNTPIPAddress[0000]:XXXX,7F000002\n"));
        dir_ = sign_.StateDir() + "/../chrony";
        test_support::run_command("mkdir -p " + dir_);
        std::ofstream(dir_ + "/chrony.conf") << "bindaddress 127.0.0.2\n"
                                                "allow 127.0.0.1\n"
                                                "local stratum 8\n"
                                                "cmdport 0\n"
                                                "bindcmdaddress /\n"
                                                "pidfile "
                                             << dir_ << "/chronyd.pid\n";
        ASSERT_TRUE(chrony_.Start({"/usr/bin/faketime", "-f", "+1h", "chronyd", "-x", "-d", "-u",
                                   "root", "-f", dir_ + "/chrony.conf"},
                                  dir_ + "/out"));
    }
    void TearDown() override {
        // faketime runs chronyd as its child: the server goes by its pid file.
        std::ifstream pid_file(dir_ + "/chronyd.pid");
        pid_t server = 0;
        if (pid_file >> server && server > 1) kill(server, SIGTERM);
        chrony_.Kill();
        if (lock_ >= 0) close(lock_);
    }

    RunningSign sign_;
    HostProcess chrony_;
    std::string dir_;
    int lock_ = -1;
};

TEST_F(SntpAgainstChrony, TheFirstExchangeSetsTheSignsClockAnHourAhead) {
    using host_clock = std::chrono::steady_clock;
    const auto start = host_clock::now();
    ASSERT_TRUE(sign_.Start(20));
    ASSERT_TRUE(sign_.Answering()) << sign_.Process().Output();
    // The first request leaves about a minute of sign time after the start.
    // The sign's clock runs 20 times the host's: between the request and the
    // reading that shows its answer the sign gains up to 19 seconds a host
    // second over the host's clock, and the exchange's round trip, measured
    // in sign seconds, adds half of itself. Both lie within the host seconds
    // since the start, which bound the upper side.
    long difference = 0;
    for (int i = 0; i < 300 && difference < HOUR / 2; i++) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        difference = std::stol("0" + sign_.Get(GLOBAL_TIME)) - long(std::time(nullptr));
    }
    const double window = std::chrono::duration<double>(host_clock::now() - start).count();
    const std::string why = sign_.Process().Output() + chrony_.Output();
    EXPECT_GE(difference, HOUR - 5) << why;
    EXPECT_LE(difference, HOUR + 5 + long(20 * window)) << why;
}

} // namespace
