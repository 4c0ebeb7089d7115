// Store services for the protocol agents.
#include "tests/store/store_fixture.h"

using namespace store_test;

namespace {

class AgentServicesTest : public StoreFixture {
  protected:
    void SetUp() override {
        StoreFixture::SetUp();
        db->SetValidateOn(false);
        SetStr(obj::communityNameAdmin, "administrator");
        for (unsigned r = 0; r < 100; ++r) {
            SetStr(obj::communityNameUser.row(r), "public");
            Set(obj::communityNameAccessMask.row(r), r + 1);
        }
        SetStr(obj::communityNameUser.row(2), "operator");
        Set(obj::communityNameAccessMask.row(2), 0xFFFFFFFF);
    }
};

TEST_F(AgentServicesTest, CommunityLookup) {
    struct Case {
        const char* community;
        int level;
        uint32_t mask, mask2;
    } cases[] = {
        {"public", 1, 1, 1},
        {"operator", 1, 0xFFFFFFFF, 0xFFFFFFFF},
        {"administrator", 2, 0xFFFFFFFF, 0},
        {"admin", 0, 0xAAAA, 0}, // a prefix is not the name
        {"publicx", 0, 0xAAAA, 0},
        {"", 0, 0xAAAA, 0},
    };
    for (const Case& c : cases) {
        uint32_t mask = 0xAAAA, mask2 = 0xAAAA;
        EXPECT_EQ(c.level, db->LookupCommunity(c.community, &mask)) << c.community;
        EXPECT_EQ(c.mask, mask) << c.community;
        EXPECT_EQ(c.level, db->LookupCommunity2(c.community, &mask2)) << c.community;
        EXPECT_EQ(c.mask2, mask2) << c.community;
    }
    uint32_t mask = 0;
    EXPECT_EQ(0, db->LookupCommunity(nullptr, &mask));
    EXPECT_EQ(0, db->LookupCommunity("public", nullptr));
    // The privileged name wins over an equal user name; an empty name never matches.
    SetStr(obj::communityNameUser.row(0), "administrator");
    EXPECT_EQ(2, db->LookupCommunity("administrator", &mask));
    SetStr(obj::communityNameAdmin, "");
    EXPECT_EQ(1, db->LookupCommunity("administrator", &mask));
    EXPECT_EQ(1u, mask);
}

TEST_F(AgentServicesTest, GroupAddressesAndChapTexts) {
    EXPECT_EQ(255, db->IsGroupAddress(0)); // rows still hold 0
    for (unsigned r = 0; r < 10; ++r)
        Set(obj::pmppGroupAddress.row(r), 100 + r);
    EXPECT_EQ(255, db->IsGroupAddress(109));
    EXPECT_EQ(0, db->IsGroupAddress(0));
    EXPECT_EQ(0, db->IsGroupAddress(110));

    EXPECT_STREQ("", db->GetChapName());
    SetStr(obj::chapName, "sign");
    SetStr(obj::chapSecret, "secret");
    EXPECT_STREQ("sign", db->GetChapName());
    char buffer[4];
    EXPECT_EQ(3u, db->GetChapSecret(buffer, sizeof buffer));
    EXPECT_STREQ("sec", buffer);
}

TEST_F(AgentServicesTest, CountersCountAndWrapSilently) {
    db->SetNotifyOn(true);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(0, db->IncCounter(obj::snmpInPkts));
    EXPECT_EQ(3u, Get(obj::snmpInPkts));
    Set(obj::snmpOutGenErrs, 0xFFFFFFFF);
    EXPECT_EQ(0, db->IncCounter(obj::snmpOutGenErrs));
    EXPECT_EQ(0u, Get(obj::snmpOutGenErrs));
    const DbObject counters[] = {
        obj::snmpOutPkts,
        obj::snmpInBadVersions,
        obj::snmpInBadCommunityNames,
        obj::snmpInBadCommunityUses,
        obj::snmpInTooBigs,
        obj::snmpInNoSuchNames,
        obj::snmpInBadValues,
        obj::snmpInReadOnlys,
        obj::snmpInGenErrs,
        obj::snmpInGetRequests,
        obj::snmpInGetNexts,
        obj::snmpInSetRequests,
        obj::snmpInGetResponses,
        obj::snmpOutBadValues,
        obj::panynjObj1_5,
    };
    for (const DbObject& counter : counters) {
        EXPECT_EQ(0, db->IncCounter(counter));
        EXPECT_EQ(1u, Get(counter)) << counter.offset;
    }
    EXPECT_EQ(0u, Get(obj::snmpInASNParseErrs));
    EXPECT_EQ(0, db->ClearPanynjCounter());
    EXPECT_EQ(0u, Get(obj::panynjObj1_5));
    EXPECT_TRUE(letters.Take().empty());
    EXPECT_EQ(0u, TakeBits());
}

TEST_F(AgentServicesTest, LocalTimeFeatureChangesTheClockOnce) {
    uint8_t* nv = db->NvImage();
    Set(obj::controllerStandardTimeZone, uint32_t(-21600));
    Set(obj::controllerLocalTime, 5000);
    EXPECT_EQ(0, db->IsLocalTimeFeature());
    db->SetLocalTimeFeature(1);
    EXPECT_EQ(1, db->IsLocalTimeFeature());
    EXPECT_EQ(5000u, GetGlobalTime(*db, obj::globalTime.offset, 4, nv, 0));
    EXPECT_EQ(0u, Get(obj::controllerStandardTimeZone));
    Set(obj::controllerLocalTime, 9000);
    db->SetLocalTimeFeature(1);
    EXPECT_EQ(5000u, GetGlobalTime(*db, obj::globalTime.offset, 4, nv, 0));
    db->SetLocalTimeFeature(0);
    EXPECT_EQ(0, db->IsLocalTimeFeature());
    EXPECT_EQ(0u, Get(obj::halvSpecialFeatureSet));
}

TEST_F(AgentServicesTest, FlashUsedPercentComesFromTheJournal) {
    journal.used_percent = 42;
    EXPECT_EQ(42u, db->FlashUsedPercent());
    journal.used_percent = 250;
    EXPECT_EQ(100u, db->FlashUsedPercent());
    db->BindJournal(nullptr);
    EXPECT_EQ(0u, db->FlashUsedPercent());
}

} // namespace
