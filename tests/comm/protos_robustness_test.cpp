// Robustness: the PROTOS c06-snmpv1 request cases (29,516 malformed SNMPv1
// requests in two folders) go to the running agent over UDP with a community
// that exists. The agent answers or drops each one, and a valid GET sent
// after every few cases and after each folder is answered, so the agent
// never stops serving.
#include "store/database.h"
#include "store/objects.h"
#include "tests/comm/agent_net_util.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

using namespace agent_test;
namespace fs = std::filesystem;

namespace {

// The shared test data lie beside the repository (or beside the folder of its worktrees).
// A clone elsewhere on the machine finds them at the machine's shared folder.
const char* const ARCHIVE_PLACES[] = {
    TEST_SOURCE_DIR "/../../shared/testdata/protos-c06-snmpv1.tar.xz",
    TEST_SOURCE_DIR "/../../../shared/testdata/protos-c06-snmpv1.tar.xz",
    "/work/shared/testdata/protos-c06-snmpv1.tar.xz",
};
const uint32_t PROBE_ID = 0x7E000000;
const size_t LARGEST_DATAGRAM = 65507;
// Cases sent before each valid GET: the agent takes them in order, so every
// reply to a case arrives before the GET's answer.
const size_t BATCH = 16;
const size_t BATCH_BYTES = 16384; // what the host's socket buffers surely hold

struct folder_result {
    size_t cases = 0;
    size_t answered = 0;
    size_t probes_unanswered = 0;
};

Bytes read_file(const fs::path& path) {
    Bytes bytes(fs::file_size(path));
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return {};
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f));
    std::fclose(f);
    return bytes;
}

class ProtosRobustness : public NetworkedSign {
  protected:
    void SetUp() override {
        std::string archive;
        for (const char* place : ARCHIVE_PLACES)
            if (archive.empty() && fs::exists(place)) archive = place;
        if (archive.empty()) GTEST_SKIP() << "no PROTOS archive at " << ARCHIVE_PLACES[0];
        char pattern[] = "/tmp/protos-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(pattern));
        dir_ = pattern;
        std::string command = "tar -xJf '" + archive + "' -C '" + dir_.string() + "'";
        ASSERT_EQ(0, std::system(command.c_str()));
        NetworkedSign::SetUp();
        // The cases speak as "public": a user community with every right.
        db_set_text(obj::communityNameUser.row(1), "public", DB_NOTIFY);
        db_set(obj::communityNameAccessMask.row(1), 0xFFFFFFFFu, DB_NOTIFY);
    }
    void TearDown() override {
        NetworkedSign::TearDown();
        if (!dir_.empty()) fs::remove_all(dir_);
    }

    folder_result Run(const char* folder) {
        std::vector<fs::path> cases;
        for (const auto& entry : fs::directory_iterator(dir_ / folder / "testcases"))
            cases.push_back(entry.path());
        std::sort(cases.begin(), cases.end());
        folder_result result;
        Serve([&] {
            UdpManager m;
            for (size_t first = 0, last = 0; first < cases.size(); first = last) {
                size_t bytes = 0;
                for (last = first;
                     last < cases.size() && last - first < BATCH && bytes < BATCH_BYTES; last++) {
                    Bytes message = read_file(cases[last]);
                    bytes += message.size();
                    if (message.size() <= LARGEST_DATAGRAM) m.Send(message);
                }
                result.cases += last - first;
                uint32_t probe = PROBE_ID + static_cast<uint32_t>(first);
                bool probed = false;
                // UDP may lose a datagram on the host: the GET is asked three times before it
                // counts.
                for (int attempt = 0; attempt < 3 && !probed; attempt++) {
                    m.Send(get(probe, "public"));
                    for (Bytes reply; !probed && !(reply = m.Receive(1000)).empty();) {
                        probed = response_id(reply) == probe;
                        result.answered += !probed && response_id(reply) < PROBE_ID;
                    }
                }
                if (!probed) {
                    result.probes_unanswered++;
                    break;
                }
            }
        });
        return result;
    }

    fs::path dir_;
};

TEST_F(ProtosRobustness, EveryCaseIsAnsweredOrDroppedAndTheAgentGoesOnServing) {
    size_t total = 0, answered = 0;
    for (const char* folder : {"app", "enc"}) {
        folder_result r = Run(folder);
        EXPECT_EQ(0u, r.probes_unanswered)
            << folder << ": the agent stopped after case " << r.cases;
        std::printf("PROTOS %s: %zu cases, %zu answered, %zu dropped\n", folder, r.cases,
                    r.answered, r.cases - r.answered);
        total += r.cases;
        answered += r.answered;
        uint32_t after = 0;
        Serve([&] { after = response_id(UdpManager().Ask(get(77, "public"))); });
        EXPECT_EQ(77u, after) << "no answer after the folder " << folder;
    }
    EXPECT_EQ(29516u, total);
    std::printf("PROTOS total: %zu cases, %zu answered\n", total, answered);
}

} // namespace
