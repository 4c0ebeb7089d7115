// The registry's lookup on small fixture tables (stepping, roll-over,
// hand-over between subtrees, SET checks in their order) and the invariants
// of every registered table.
#include "tests/ntcip/mib/mib_fixture.h"

#include "ntcip/mib/registry.h"

#include <map>

using namespace mib_test;

namespace {

const Oid kHalv = {1, 3, 6, 1, 4, 1, 1206, 3, 11};
const Oid kGlobal = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 6};
const Oid kQuorvelFirst = {1, 3, 6, 1, 4, 1, 1206, 3, 16, 1, 1, 1, 0};
Oid halv(const Oid& rest) {
    return cat(kHalv, rest);
}
Oid global(const Oid& rest) {
    return cat(kGlobal, rest);
}

using namespace mibdef;

constexpr uint32_t RIGHTS = 0x00400000;

// "halv": scalars with each kind of value check, a two-index table of 3 x 4
// rows whose columns are 1, 2 and 4, a one-index table of 3 rows, and a
// read-only scalar at the end.
constexpr auto kHalvRows = under(
    {1, 3, 6, 1, 4, 1, 1206, 3, 11},
    {
        scalar({1, 1, 0}, MIB_INTEGER, obj::halvFeatureSet).rw().range(0, 100),
        scalar({1, 2, 0}, MIB_INTEGER, obj::halvhdlcAddress)
            .rw()
            .srange(-5, 5)
            .as(mib_value::signed_int),
        scalar({1, 3, 0}, MIB_OCTETSTR, obj::sysLocation).rw().len(1, 8).mask(RIGHTS),
        scalar({1, 4, 0}, MIB_INTEGER, obj::halvLCDAdminPassword).config().list({1, 2}),
        scalar({1, 5, 0}, MIB_INTEGER, obj::halvRemoteIPAddress).rw().writes(mib_write::report),
        column2({2, 1, 1, 255}, MIB_INTEGER, obj::changeableMsgRunTimePriority, 3, 4),
        column2({2, 1, 2, 255}, MIB_INTEGER, obj::changeableMsgBeacon, 3, 4),
        column2({2, 1, 4, 255}, MIB_INTEGER, obj::changeableMsgBeacon, 3, 4),
        column({3, 1, 1, 255}, MIB_INTEGER, obj::rs232PortIndex, 3),
        column({3, 1, 2, 255}, MIB_INTEGER, obj::rs232PortType, 3),
        scalar({4, 0}, MIB_INTEGER, obj::halvNTPIPAddress),
    });
constexpr auto kGlobalRows =
    under({1, 3, 6, 1, 4, 1, 1206, 4, 2, 6},
          {
              scalar({1, 1, 0}, MIB_INTEGER, obj::halvHostIPPort),
              column({7, 3, 1, 7, 255}, MIB_INTEGER, obj::rs232PortIndex, 2),
          });
constexpr mib_table kHalvTable = table(kHalvRows);
constexpr mib_table kGlobalTable = table(kGlobalRows);
const mib_table* const kHalvTables[] = {&kHalvTable};
const mib_table* const kGlobalTables[] = {&kGlobalTable};
constexpr uint32_t HALV = 3, GLOBAL = 10;

class RegistryTest : public MibFixture {
  protected:
    void SetUp() override {
        MibFixture::SetUp();
        mib_set_subtree_tables(HALV, kHalvTables, 1);
        mib_set_subtree_tables(GLOBAL, kGlobalTables, 1);
    }
};

struct Step {
    int mode;
    Oid name;
    int error;
    Oid answer; // the name after the lookup
};

TEST_F(RegistryTest, LookupsFindOrStepToTheRightInstance) {
    const Oid col1 = halv({2, 1, 1}), col2 = halv({2, 1, 2}), col4 = halv({2, 1, 4});
    const Oid one1 = halv({3, 1, 1}), one2 = halv({3, 1, 2});
    const Step steps[] = {
        // GETNEXT before a subtree's start: its first object, exactly.
        {MIB_GETNEXT, kHalv, MIB_FOUND, halv({1, 1, 0})},
        {MIB_GETNEXT, halv({1, 1, 0}), MIB_FOUND, halv({1, 2, 0})},
        // Two indexes: the second steps, then the first, then the column.
        {MIB_GETNEXT, col1, MIB_FOUND, cat(col1, {1, 1})},
        {MIB_GETNEXT, cat(col1, {1, 1}), MIB_FOUND, cat(col1, {1, 2})},
        {MIB_GETNEXT, cat(col1, {1, 4}), MIB_FOUND, cat(col1, {2, 1})},
        {MIB_GETNEXT, cat(col1, {3, 4}), MIB_FOUND, cat(col2, {1, 1})},
        {MIB_GETNEXT, cat(col2, {3, 4}), MIB_FOUND, cat(col4, {1, 1})},
        // Names that stop inside, or run past, the indexes.
        {MIB_GETNEXT, cat(col1, {2}), MIB_FOUND, cat(col1, {2, 1})},
        {MIB_GETNEXT, cat(col1, {0, 3}), MIB_FOUND, cat(col1, {1, 1})},
        {MIB_GETNEXT, cat(col1, {2, 4, 9}), MIB_FOUND, cat(col1, {3, 1})},
        {MIB_GETNEXT, cat(col1, {9, 9}), MIB_FOUND, cat(col2, {1, 1})},
        // One index.
        {MIB_GETNEXT, one1, MIB_FOUND, cat(one1, {1})},
        {MIB_GETNEXT, cat(one1, {0}), MIB_FOUND, cat(one1, {1})},
        {MIB_GETNEXT, cat(one1, {1, 7}), MIB_FOUND, cat(one1, {2})},
        {MIB_GETNEXT, cat(one1, {3}), MIB_FOUND, cat(one2, {1})},
        {MIB_GETNEXT, cat(one2, {3}), MIB_FOUND, halv({4, 0})},
        // Hand-over to the next subtree with rows ("quorvel"), and the end of "global".
        {MIB_GETNEXT, halv({4, 0}), MIB_FOUND, kQuorvelFirst},
        {MIB_GETNEXT, halv({10}), MIB_FOUND, kQuorvelFirst},
        {MIB_GETNEXT, global({7, 3, 1, 7, 2}), MIB_NO_SUBTREE, global({7, 3, 1, 7, 2})},
        {MIB_GETNEXT, {1, 3, 6, 1, 5}, MIB_NO_SUBTREE, {1, 3, 6, 1, 5}},
        // GET: exact instances only.
        {MIB_GET, cat(col1, {3, 4}), MIB_FOUND, cat(col1, {3, 4})},
        {MIB_GET, cat(col1, {4, 1}), MIB_NO_SUCH_NAME, cat(col1, {4, 1})},
        {MIB_GET, cat(col1, {0, 1}), MIB_NO_SUCH_NAME, cat(col1, {0, 1})},
        {MIB_GET, cat(col1, {1, 5}), MIB_NO_SUCH_NAME, cat(col1, {1, 5})},
        {MIB_GET, col1, MIB_NO_SUCH_NAME, col1},
        {MIB_GET, halv({1, 1}), MIB_NO_SUBTREE, halv({1, 1})}, // before the start
        {MIB_GET, halv({9, 0}), MIB_NO_SUCH_NAME, halv({9, 0})},
        {MIB_GET, {1, 3, 6, 1, 3, 1}, MIB_NO_SUBTREE, {1, 3, 6, 1, 3, 1}},
        {MIB_GET, kHalv, MIB_NO_SUBTREE, kHalv},
    };
    for (const Step& s : steps) {
        Answer a = Lookup(s.mode, s.name);
        EXPECT_EQ(s.error, a.error) << ::testing::PrintToString(s.name);
        EXPECT_EQ(s.answer, a.name) << ::testing::PrintToString(s.name);
        EXPECT_EQ(s.error == MIB_FOUND, a.result != nullptr);
    }
}

struct SetCase {
    const char* what;
    Oid name;
    uint16_t syntax;
    uint32_t value;
    int error;
    uint16_t access;
    DbObject object; // the row's object, 1 before the SET
    uint32_t stored; // its value after
};

// SET checks in their order (syntax, then value); read-only and locked rows
// answer without writing.
TEST_F(RegistryTest, SetChecksRefuseBeforeAnythingIsWritten) {
    const SetCase cases[] = {
        {"in range", halv({1, 1, 0}), SNMP_INTEGER, 50, MIB_FOUND, MIB_READ_WRITE,
         obj::halvFeatureSet, 50},
        {"wrong syntax", halv({1, 1, 0}), SNMP_GAUGE, 50, MIB_BAD_VALUE, 0, obj::halvFeatureSet, 1},
        {"-1 is unsigned", halv({1, 1, 0}), SNMP_INTEGER, 0xFFFFFFFFu, MIB_BAD_VALUE, 0,
         obj::halvFeatureSet, 1},
        {"signed in range", halv({1, 2, 0}), SNMP_INTEGER, uint32_t(-3), MIB_FOUND, MIB_READ_WRITE,
         obj::halvhdlcAddress, uint32_t(-3)},
        {"signed below", halv({1, 2, 0}), SNMP_INTEGER, uint32_t(-6), MIB_BAD_VALUE, 0,
         obj::halvhdlcAddress, 1},
        {"signed above", halv({1, 2, 0}), SNMP_INTEGER, 6, MIB_BAD_VALUE, 0, obj::halvhdlcAddress,
         1},
        {"no check", halv({1, 5, 0}), SNMP_INTEGER, 0xFFFFFFFFu, MIB_FOUND, MIB_READ_WRITE,
         obj::halvRemoteIPAddress, 0xFFFFFFFFu},
        {"read-only", halv({4, 0}), SNMP_INTEGER, 9, MIB_FOUND, MIB_READ_ONLY,
         obj::halvNTPIPAddress, 1},
        {"locked", halv({1, 4, 0}), SNMP_INTEGER, 2, MIB_FOUND, MIB_READ_ONLY,
         obj::halvLCDAdminPassword, 1},
        {"no such row", halv({1, 9, 0}), SNMP_INTEGER, 2, MIB_NO_SUCH_NAME, 0, obj::halvFeatureSet,
         1},
    };
    for (const SetCase& c : cases) {
        ASSERT_EQ(DB_OK, db_set(c.object, 1, 0));
        Answer a = SetNumber(c.name, c.syntax, c.value);
        EXPECT_EQ(c.error, a.error) << c.what;
        if (c.error == MIB_FOUND) {
            EXPECT_EQ(c.access, a.access) << c.what;
            if (c.access == MIB_READ_WRITE) {
                EXPECT_EQ(c.stored, a.number) << c.what; // read back
            }                                            // read back
        }
        EXPECT_EQ(c.stored, uint32_t(db_get_signed(c.object))) << c.what;
    }
}

TEST_F(RegistryTest, CommunityNeedsACommonRightToSet) {
    EXPECT_EQ(MIB_NO_SUCH_NAME, SetOctets(halv({1, 3, 0}), "abc", SNMP_OCTETSTR, 0x1).error);
    EXPECT_NE(std::string::npos, test_support::ConsoleText().find("access denied, panynj\n"));
    EXPECT_EQ("Unknown", Str(obj::sysLocation));
    EXPECT_EQ(MIB_FOUND, SetOctets(halv({1, 3, 0}), "abc", SNMP_OCTETSTR, RIGHTS | 0x1).error);
    EXPECT_EQ("abc", Str(obj::sysLocation));
    EXPECT_EQ(MIB_FOUND, SetOctets(halv({1, 3, 0}), "de", SNMP_OCTETSTR, MIB_ALL_RIGHTS).error);
    EXPECT_EQ(MIB_BAD_VALUE, SetOctets(halv({1, 3, 0}), "123456789").error); // length 1..8
    EXPECT_EQ(MIB_BAD_VALUE, SetOctets(halv({1, 3, 0}), "").error);
    EXPECT_EQ("de", Str(obj::sysLocation));
}

TEST_F(RegistryTest, WriteOverrideSkipsValueChecksButNotTheSyntaxCheck) {
    mib_set_write_override(true);
    Answer a = SetNumber(halv({1, 4, 0}), SNMP_INTEGER, 7); // outside {1, 2}
    EXPECT_EQ(MIB_FOUND, a.error);
    EXPECT_EQ(MIB_READ_WRITE, a.access);
    EXPECT_EQ(7u, db_get(obj::halvLCDAdminPassword));
    EXPECT_EQ(MIB_BAD_VALUE, SetOctets(halv({1, 4, 0}), "stale").error);
    EXPECT_EQ(7u, db_get(obj::halvLCDAdminPassword));
}

// The validation pass writes nothing and leaves the varbind as received.
TEST_F(RegistryTest, ValidationPassOnlyChecksTheInstance) {
    db_set(obj::halvFeatureSet, 7, 0);
    snmp_test::set_number(pdu->varbinds[0], SNMP_INTEGER, 50);
    mib_context_begin(*ctx, MIB_ALL_RIGHTS);
    ASSERT_EQ(1, mib_stage_value(*ctx, pdu->varbinds[0]));
    ctx->set_phase = 0;
    Answer a = Lookup(MIB_SET, halv({1, 1, 0}));
    EXPECT_EQ(MIB_FOUND, a.error);
    EXPECT_EQ(7u, db_get(obj::halvFeatureSet));
    EXPECT_EQ(50u, snmp_test::number_of(pdu->varbinds[0]));
    EXPECT_EQ(MIB_NO_SUCH_NAME, Lookup(MIB_SET, halv({2, 1, 1, 4, 1})).error);
}

// A refusal of the store is never acknowledged, whatever the row's write
// policy: genErr with the old value kept.
TEST_F(RegistryTest, EveryWritableRowTurnsAStoreRefusalIntoTheErrorStatus) {
    // A write into a message row that is not being edited is refused by the store.
    static constexpr auto kRows =
        under({1, 3, 6, 1, 4, 1, 1206, 3, 11},
              {
                  scalar({1, 1, 0}, MIB_INTEGER, obj::changeableMsgBeacon.row(0))
                      .rw()
                      .writes(mib_write::report),
                  scalar({1, 2, 0}, MIB_INTEGER, obj::changeableMsgBeacon.row(1)).rw(),
                  scalar({1, 3, 0}, MIB_INTEGER, obj::changeableMsgBeacon.row(2))
                      .rw()
                      .writes(mib_write::generr),
              });
    static constexpr mib_table kTable = table(kRows);
    static const mib_table* const kTables[] = {&kTable};
    mib_set_subtree_tables(HALV, kTables, 1);
    EXPECT_EQ(5u, SetNumber(halv({1, 1, 0}), SNMP_INTEGER, 1).error_status);
    EXPECT_EQ(5u, SetNumber(halv({1, 2, 0}), SNMP_INTEGER, 1).error_status);
    EXPECT_EQ(5u, SetNumber(halv({1, 3, 0}), SNMP_INTEGER, 0).error_status);
    EXPECT_EQ(0u, db_get(obj::changeableMsgBeacon.row(0)));
    EXPECT_EQ(0u, db_get(obj::changeableMsgBeacon.row(1)));
}

// Every registered table: sorted, inside its subtree, its catalogue
// objects large enough for its instances; and the row count of each subtree.
TEST(RegisteredTables, AreSortedInsideTheirSubtreesAndCounted) {
    init_mib();
    const std::map<std::string, uint32_t> counts = {
        {"cls b", 133},  {"auxio", 8},  {"fdot", 16},   {"halv", 116},
        {"quorvel", 66}, {"panynj", 7}, {"zuduz", 4},   {"protocol", 9},
        {"dms", 209},    {"ess", 3},    {"global", 87},
    };
    uint32_t subtrees = 0;
    const mib_subtree* previous = nullptr;
    for (const mib_subtree* t = mib_subtree_list(); t != nullptr; t = t->next, ++subtrees) {
        SCOPED_TRACE(t->label);
        EXPECT_EQ(counts.at(t->label), t->row_count);
        EXPECT_EQ(previous, t->prev);
        if (previous != nullptr) {
            EXPECT_LT(snmp_oid_compare(previous->end.sub, previous->end.length, t->start.sub,
                                       t->start.length),
                      1);
        }
        previous = t;
        for (uint32_t i = 0; i < t->row_count; ++i) {
            const mib_variable& r = *t->rows[i];
            SCOPED_TRACE(::testing::PrintToString(Oid(r.oid, r.oid + r.oid_length)));
            EXPECT_GE(snmp_oid_compare(r.oid, r.oid_length, t->start.sub, t->start.length), 0);
            EXPECT_LT(snmp_oid_compare(r.oid, r.oid_length, t->end.sub, t->end.length), 0);
            if (i > 0) {
                const mib_variable& p = *t->rows[i - 1];
                EXPECT_LT(snmp_oid_compare(p.oid, p.oid_length, r.oid, r.oid_length), 0);
            }
            const mib_column& c = r.column;
            const uint32_t last = r.oid[r.oid_length - 1];
            // A scalar has no index; a column has one, unless walks pass over
            // its table (index count 0, served by instance only).
            if (last == 0) {
                EXPECT_EQ(0u, r.index_count);
            }
            if (last == MIB_PLACEHOLDER && r.index_count == 0) {
                EXPECT_EQ(mib_index::one, c.index);
            }
            if (c.index == mib_index::one) {
                EXPECT_GE(c.object.rows, c.max1);
            }
            if (c.index == mib_index::two && c.formula == mib_formula::flat) {
                EXPECT_GE(c.object.rows, c.max1 * c.max2);
            }
            if (c.index != mib_index::custom) {
                EXPECT_NE(0u, c.object.width);
            }
            EXPECT_TRUE(r.access >= MIB_READ_ONLY && r.access <= MIB_CONFIG);
        }
    }
    EXPECT_EQ(MIB_SUBTREES, subtrees);
}

} // namespace

namespace {

// A handler of three-index rows that answers for a name as it came.
int three_index_instance(mib_request& request) {
    const uint32_t column = request.row.oid_length - 1u;
    if (*request.length != column + 3) return -1;
    for (uint32_t i = 0; i < 3; ++i)
        if (request.name[column + i] < 1 || request.name[column + i] > 2) return -1;
    return 0;
}
constexpr mib_hooks kThreeIndexes = {three_index_instance, nullptr, nullptr};

// A GETNEXT never comes back with the name it was given.
TEST_F(RegistryTest, GetNextNeverAnswersWithTheNameItWasGiven) {
    static constexpr auto kRows = under({1, 3, 6, 1, 4, 1, 1206, 3, 11},
                                        {
                                            custom({6, 1, 1, 255}, MIB_INTEGER, &kThreeIndexes, 3),
                                            scalar({7, 0}, MIB_INTEGER, obj::halvNTPIPAddress),
                                        });
    static constexpr mib_table kTable = table(kRows);
    static const mib_table* const kTables[] = {&kTable};
    mib_set_subtree_tables(HALV, kTables, 1);
    const Oid column = halv({6, 1, 1});
    EXPECT_EQ(MIB_FOUND, Get(cat(column, {1, 2, 1})).error);
    EXPECT_EQ(halv({7, 0}), Next(cat(column, {1, 2, 1})).name);
    EXPECT_EQ(halv({7, 0}), Next(column).name);
}

// A name is found again after the subtree's rows change under it (the row
// found before now lies elsewhere).
TEST_F(RegistryTest, ANameFoundBeforeIsFoundAfterTheRowsChange) {
    static constexpr auto kBefore = under({1, 3, 6, 1, 4, 1, 1206, 3, 11},
                                          {
                                              scalar({5, 0}, MIB_INTEGER, obj::halvNTPIPAddress),
                                              scalar({6, 0}, MIB_INTEGER, obj::halvNTPIPAddress),
                                              scalar({7, 0}, MIB_INTEGER, obj::halvNTPIPAddress),
                                          });
    static constexpr auto kAfter = under({1, 3, 6, 1, 4, 1, 1206, 3, 11},
                                         {
                                             scalar({7, 0}, MIB_INTEGER, obj::halvNTPIPAddress),
                                             scalar({8, 0}, MIB_INTEGER, obj::halvNTPIPAddress),
                                             scalar({9, 0}, MIB_INTEGER, obj::halvNTPIPAddress),
                                         });
    static constexpr mib_table kBeforeTable = table(kBefore), kAfterTable = table(kAfter);
    static const mib_table* const kBeforeTables[] = {&kBeforeTable};
    static const mib_table* const kAfterTables[] = {&kAfterTable};
    mib_set_subtree_tables(HALV, kBeforeTables, 1);
    EXPECT_EQ(MIB_FOUND, Get(halv({7, 0})).error);
    EXPECT_EQ(MIB_FOUND, Get(halv({7, 0})).error); // asked again
    mib_set_subtree_tables(HALV, kAfterTables, 1);
    EXPECT_EQ(MIB_FOUND, Get(halv({7, 0})).error);
    EXPECT_EQ(halv({8, 0}), Next(halv({7, 0})).name);
}

} // namespace
