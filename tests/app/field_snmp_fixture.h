// FieldSnmp: the running program with a simulated field and net-snmp's trap
// receiver as its trap destination, for tests that store peripherals as a
// central system does, change the field on state/field.ctl and watch what
// reaches the central system. Skipped where the program, net-snmp's tools,
// snmptrapd or socat are missing.
#pragma once

#include "tests/support/running_sign.h"
#include "tests/support/trap_receiver.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace test_support {

class FieldSnmp : public ::testing::Test {
  protected:
    // The stored peripheral list's objects.
    static constexpr const char* LIST = "1.3.6.1.4.1.1206.3.11.2.15";
    static constexpr const char* SHORT_ERROR_STATUS = "1.3.6.1.4.1.1206.4.2.3.9.7.1.0";

    // Starts the program at `speed` with `field` as its field file. The
    // caller's SetUp returns when IsSkipped().
    void Start(const std::string& field, int speed) {
        for (std::string why : {RunningSign::WhyNot(), TrapReceiver::WhyNot()})
            if (!why.empty()) GTEST_SKIP() << why;
        if (run_command("command -v socat").find("socat") == std::string::npos)
            GTEST_SKIP() << "socat is not installed (Debian package socat)";
        const uint16_t port = TrapReceiver::FreePort();
        ASSERT_TRUE(sign_.Put("CONFIG.XML", TrapReceiver::SignSettings(port)));
        ASSERT_TRUE(trapd_.Start(port, sign_.StateDir() + "/../trapd")) << trapd_.Output();
        const std::string file = sign_.StateDir() + "/../field.txt";
        std::ofstream(file) << field;
        ASSERT_TRUE(sign_.Start(speed, {"--field", file}));
        ASSERT_TRUE(sign_.Answering()) << sign_.Process().Output();
    }
    void TearDown() override { trapd_.Stop(); }

    // The entries {id, creation string} into the list's rows 1, 2, ... as one
    // edit; -> the stored status of the last (0 once it was built).
    std::string StoreList(const std::vector<std::pair<int, std::string>>& entries) {
        const std::string list = LIST;
        sign_.Set(list + ".1.0", "i", "1");
        for (size_t i = 0; i < entries.size(); ++i) {
            const std::string row = std::to_string(i + 1);
            sign_.Set(list + ".3.1.2." + row, "i", std::to_string(entries[i].first));
            sign_.Set(list + ".3.1.3." + row, "s", entries[i].second);
        }
        sign_.Set(list + ".1.0", "i", "2");
        return sign_.GetWhen(list + ".3.1.4." + std::to_string(entries.size()), "0", 10);
    }
    unsigned ShortErrorStatus() { return unsigned(std::stoul(sign_.Get(SHORT_ERROR_STATUS))); }

    RunningSign sign_;
    TrapReceiver trapd_;
};

} // namespace test_support
