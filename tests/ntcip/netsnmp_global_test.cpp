// A central system manages the running sign with net-snmp's snmpget, snmpset
// and snmpwalk over UDP: the module table, the user communities (a renamed
// row answers under its new name at once, the old name no longer), the
// refusal of a too-short name, and walks of the protocol and global
// configuration subtrees that agree with GETs of every name they return.
#include "tests/comm/agent_net_util.h"

#include <string>
#include <vector>

using namespace agent_test;

namespace {

const std::string GLOBAL_MAX_MODULES = "1.3.6.1.4.1.1206.4.2.6.1.2.0";
const std::string MODULE_MODEL_2 = "1.3.6.1.4.1.1206.4.2.6.1.3.1.4.2";
const std::string USER_NAME_5 = "1.3.6.1.4.1.1206.4.2.6.5.3.1.2.5";
const std::string USER_MASK_5 = "1.3.6.1.4.1.1206.4.2.6.5.3.1.3.5";
const std::string SYS_DESCR_0 = "1.3.6.1.2.1.1.1.0";

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class CentralSystem : public NetworkedSign {
  protected:
    void SetUp() override {
        if (!netsnmp_tools_installed())
            GTEST_SKIP() << "net-snmp's tools are not installed (package snmp)";
        NetworkedSign::SetUp();
    }
    std::string Ask(const std::string& tool, const std::string& community,
                    const std::string& args) {
        std::string out;
        Serve([&] { out = netsnmp(tool, community, args); });
        return out;
    }
    // A walk with the privileged community, and one GET of all its names.
    void WalkAndGet(const std::string& root, std::vector<varbind_text>* walked,
                    std::vector<varbind_text>* got) {
        Serve([&] {
            walk_and_get([](const std::string& tool,
                            const std::string& args) { return netsnmp(tool, ADMIN, args); },
                         root, walked, got);
        });
    }
};

TEST_F(CentralSystem, ReadsTheModuleTable) {
    const std::string out =
        Ask("snmpget", ADMIN, "-On " + GLOBAL_MAX_MODULES + " " + MODULE_MODEL_2);
    EXPECT_TRUE(has(out, "." + GLOBAL_MAX_MODULES + " = INTEGER: 8")) << out;
    EXPECT_TRUE(has(out, "." + MODULE_MODEL_2 + " = STRING: \"CONTROLLER SERIAL NUMBER\"")) << out;
}

// User row 5 carries the factory name that most rows share: it is given a
// name of its own first, then renamed, so that its old name matches no row.
TEST_F(CentralSystem, ARenamedUserCommunityAnswersUnderItsNewNameOnly) {
    std::string out =
        Ask("snmpset", ADMIN, USER_NAME_5 + " s nightshift " + USER_MASK_5 + " u 4294967295");
    ASSERT_TRUE(has(out, "STRING: \"nightshift\"")) << out;
    EXPECT_TRUE(has(Ask("snmpget", "nightshift", SYS_DESCR_0), "STRING: \"")) << "own name";

    out = Ask("snmpset", ADMIN, USER_NAME_5 + " s dayshift01");
    ASSERT_TRUE(has(out, "STRING: \"dayshift01\"")) << out;
    out = Ask("snmpget", "dayshift01", SYS_DESCR_0);
    EXPECT_TRUE(has(out, "STRING: \"")) << "new name: " << out;
    out = Ask("snmpget", "nightshift", SYS_DESCR_0);
    EXPECT_TRUE(has(out, "Timeout")) << "old name: " << out;
}

TEST_F(CentralSystem, AFiveOctetCommunityNameIsRefusedAndTheRowKeepsItsName) {
    ASSERT_TRUE(has(Ask("snmpset", ADMIN, USER_NAME_5 + " s nightshift"), "nightshift"));
    std::string out = Ask("snmpset", ADMIN, USER_NAME_5 + " s short");
    EXPECT_TRUE(has(out, "badValue")) << out;
    out = Ask("snmpget", ADMIN, USER_NAME_5);
    EXPECT_TRUE(has(out, "STRING: \"nightshift\"")) << out;
    EXPECT_TRUE(has(Ask("snmpget", "short", SYS_DESCR_0), "Timeout"));
}

// Each walk returns strictly increasing names, and a GET of every one of
// them answers the value the walk gave.
TEST_F(CentralSystem, WalksAgreeWithGets) {
    const struct {
        const char* root;
        size_t at_least; // the subtree's instances at factory settings
    } walks[] = {
        {"1.3.6.1.4.1.1206.4.1", 36},     // CHAP, PMPP with its 3 x 10 group-address columns, SNMP
        {"1.3.6.1.4.1.1206.4.2.6.1", 51}, // two scalars, 8 module rows of 6 columns, standards
    };
    for (const auto& walk : walks) {
        std::vector<varbind_text> walked, got;
        WalkAndGet(walk.root, &walked, &got);
        expect_walk_agrees_with_gets(walk.root, walk.at_least, walked, got);
    }
}

} // namespace
