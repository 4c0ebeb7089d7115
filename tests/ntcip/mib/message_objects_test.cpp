// The message table and the message counts through the registry: the rows a
// fresh start shows, the walk over every memory type, the permanent rows in
// changeable storage, the unlocked rows 501-550, the row-status rules as a
// manager meets them, and instances that name no memory type.
#include "tests/ntcip/mib/mib_fixture.h"

#include "tests/support/kernel_fixture.h"

using namespace mib_test;

namespace {

const Oid kMessages = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 5};
Oid messages(const Oid& rest) {
    return cat(kMessages, rest);
}
Oid entry(uint32_t column, uint32_t memory_type, uint32_t number) {
    return messages({8, 1, column, memory_type, number});
}
Oid scalar(uint32_t x) {
    return messages({x, 0});
}

enum : uint32_t { MEMORY = 1, NUMBER, MULTI, OWNER, CRC, BEACON, PIXEL, PRIORITY, STATUS };
enum : uint32_t { PERMANENT = 2, CHANGEABLE, VOLATILE, CURRENT, SCHEDULE, BLANK };
enum : uint32_t {
    NOT_USED = 1,
    MODIFYING,
    VALIDATING,
    VALID,
    ERROR,
    MODIFY_REQ,
    VALIDATE_REQ,
    NOT_USED_REQ
};
constexpr uint32_t BAD_VALUE = 3, GEN_ERR = 5;

class MessageObjectsTest : public MibFixture {
  protected:
    // The configuration unlock as the private unlock object sets it.
    void Unlock(bool on) {
        db_set(obj::halvObj2_8, on ? 2 : 1, DB_NO_VALIDATE);
        mib_set_write_override(on);
    }
    // A status set as the display's walk sets it (no row-status rule).
    static void Force(const DbObject& status, uint32_t value) {
        ASSERT_EQ(DB_OK, db_set(status, value, DB_NO_VALIDATE));
    }
    // The error a SET of a number ends with: the lookup's (MIB_BAD_VALUE,
    // MIB_NO_SUCH_NAME), else the handler's error status.
    uint32_t SetResult(const Oid& name, uint32_t value) {
        Answer a = SetNumber(name, SNMP_INTEGER, value);
        return a.error != MIB_FOUND ? uint32_t(a.error) : a.error_status;
    }
};

TEST_F(MessageObjectsTest, AFreshStartShowsPermanentVolatileAndBlankRows) {
    EXPECT_EQ(2u, Get(scalar(1)).number);
    for (uint32_t n : {1u, 2u}) {
        EXPECT_EQ(VALID, Get(entry(STATUS, PERMANENT, n)).number) << n;
        EXPECT_EQ("", Get(entry(MULTI, PERMANENT, n)).octets) << n;
    }
    EXPECT_EQ(255u, Get(entry(PRIORITY, PERMANENT, 1)).number);
    EXPECT_EQ(1u, Get(entry(PRIORITY, PERMANENT, 2)).number);
    for (uint32_t n = 1; n <= 4; ++n)
        EXPECT_EQ(NOT_USED, Get(entry(STATUS, VOLATILE, n)).number) << n;
    EXPECT_EQ(NOT_USED, Get(entry(STATUS, CHANGEABLE, 500)).number);
    EXPECT_EQ(VALID, Get(entry(STATUS, CURRENT, 1)).number);
    EXPECT_EQ(VALID, Get(entry(STATUS, SCHEDULE, 1)).number);

    // Blank rows are constants: the number is the priority.
    EXPECT_EQ(200u, Get(entry(PRIORITY, BLANK, 200)).number);
    EXPECT_EQ(VALID, Get(entry(STATUS, BLANK, 1)).number);
    EXPECT_EQ(0u, Get(entry(CRC, BLANK, 255)).number);
    EXPECT_EQ(BLANK, Get(entry(MEMORY, BLANK, 9)).number);
    EXPECT_EQ(9u, Get(entry(NUMBER, BLANK, 9)).number);
    EXPECT_EQ(MIB_NO_SUCH_NAME, Get(entry(PRIORITY, BLANK, 256)).error);
}

TEST_F(MessageObjectsTest, AWalkOfOneColumnVisitsEveryMemoryTypeInOrder) {
    struct Span {
        uint32_t memory_type, last;
    };
    auto expected_walk = [](std::initializer_list<Span> spans) {
        std::vector<Oid> names;
        for (const Span& s : spans)
            for (uint32_t n = 1; n <= s.last; ++n)
                names.push_back(entry(MEMORY, s.memory_type, n));
        return names;
    };
    auto walk = [this] { return Walk(messages({8, 1, MEMORY}), messages({8, 1, MEMORY}), 1000); };
    EXPECT_EQ(expected_walk({{PERMANENT, 2},
                             {CHANGEABLE, 500},
                             {VOLATILE, 4},
                             {CURRENT, 1},
                             {SCHEDULE, 1},
                             {BLANK, 255}}),
              walk());
    EXPECT_EQ(entry(NUMBER, PERMANENT, 1), Next(entry(MEMORY, BLANK, 255)).name);

    // Three permanent messages; unlocked in local mode the changeable table
    // shows its 550 rows.
    ASSERT_EQ(DB_OK, db_set(obj::dmsNumPermanentMsg, 3, 0));
    ASSERT_EQ(DB_OK, db_set(obj::dmsControlMode, 2, DB_NO_VALIDATE));
    Unlock(true);
    EXPECT_EQ(expected_walk({{PERMANENT, 3},
                             {CHANGEABLE, 550},
                             {VOLATILE, 4},
                             {CURRENT, 1},
                             {SCHEDULE, 1},
                             {BLANK, 255}}),
              walk());
    // From memory type other, and from an instance past every memory type.
    EXPECT_EQ(entry(MEMORY, PERMANENT, 1), Next(entry(MEMORY, 1, 7)).name);
    EXPECT_EQ(entry(NUMBER, PERMANENT, 1), Next(entry(MEMORY, 9, 1)).name);
}

TEST_F(MessageObjectsTest, PermanentMessagesFromThreeOnAreChangeableStorageRows) {
    ASSERT_EQ(DB_OK, db_set_string(obj::changeableMsgMultiString.row(500), "[jl3]EXIT", 9,
                                   DB_NO_VALIDATE));
    Force(obj::changeableMsgStatus.row(500), VALID);
    EXPECT_EQ(MIB_NO_SUCH_NAME, Get(entry(MULTI, PERMANENT, 3)).error); // two permanent messages
    ASSERT_EQ(DB_OK, db_set(obj::dmsNumPermanentMsg, 3, 0));
    EXPECT_EQ(PERMANENT, Get(entry(MEMORY, PERMANENT, 3)).number);
    EXPECT_EQ("[jl3]EXIT", Get(entry(MULTI, PERMANENT, 3)).octets);
    EXPECT_EQ(VALID, Get(entry(STATUS, PERMANENT, 3)).number);
    ASSERT_EQ(DB_OK, db_set(obj::changeableMsgRunTimePriority.row(500), 190, DB_NO_VALIDATE));
    EXPECT_EQ(190u, Get(entry(PRIORITY, PERMANENT, 3)).number);

    // Permanent and blank rows are never written, whatever the column.
    for (const Oid& name :
         {entry(PRIORITY, PERMANENT, 3), entry(PRIORITY, PERMANENT, 1), entry(PRIORITY, BLANK, 7)})
        EXPECT_EQ(GEN_ERR, SetResult(name, 9));
    EXPECT_EQ(GEN_ERR, SetOctets(entry(MULTI, PERMANENT, 3), "X").error_status);
    EXPECT_EQ(190u, db_get(obj::changeableMsgRunTimePriority.row(500)));
    EXPECT_EQ(255u, db_get(obj::permanentMsgRunTimePriority.row(0)));
    EXPECT_EQ("[jl3]EXIT", Str(obj::changeableMsgMultiString.row(500)));

    // A count beyond the 52 stored permanent messages names no further row.
    ASSERT_EQ(DB_OK, db_set(obj::dmsNumPermanentMsg, 60, 0));
    EXPECT_EQ(MIB_FOUND, Get(entry(STATUS, PERMANENT, 52)).error);
    EXPECT_EQ(MIB_NO_SUCH_NAME, Get(entry(STATUS, PERMANENT, 53)).error);
}

TEST_F(MessageObjectsTest, Row501ExistsOnlyWhileUnlockedInLocalOrOverrideMode) {
    ASSERT_EQ(DB_OK, db_set_string(obj::changeableMsgOwner.row(500), "depot", 5, DB_NO_VALIDATE));
    struct Case {
        bool unlocked;
        uint32_t mode;
        bool found;
    };
    const Case cases[] = {
        {false, 2, false}, {true, 4, false}, {true, 2, true}, {true, 5, true}, {true, 1, false},
    };
    for (const Case& c : cases) {
        Unlock(c.unlocked);
        ASSERT_EQ(DB_OK, db_set(obj::dmsControlMode, c.mode, DB_NO_VALIDATE));
        Answer a = Get(entry(OWNER, CHANGEABLE, 501));
        EXPECT_EQ(c.found ? MIB_FOUND : MIB_NO_SUCH_NAME, a.error) << c.unlocked << c.mode;
        if (c.found) {
            EXPECT_EQ("depot", a.octets);
        }
        EXPECT_EQ(MIB_NO_SUCH_NAME, Get(entry(OWNER, CHANGEABLE, 551)).error);
    }
}

// Every refused status transition with its error, on a changeable and a
// volatile row; the row keeps its status.
TEST_F(MessageObjectsTest, StatusTransitionsFollowTheRowStatusRules) {
    struct Case {
        uint32_t from, to, error;
    };
    const Case cases[] = {
        {VALID, NOT_USED, BAD_VALUE},
        {NOT_USED_REQ, NOT_USED, 0},
        {MODIFYING, MODIFYING, BAD_VALUE},
        {MODIFY_REQ, MODIFYING, 0},
        {MODIFYING, VALIDATING, BAD_VALUE},
        {VALIDATE_REQ, VALIDATING, 0},
        {MODIFYING, VALID, BAD_VALUE},
        {VALIDATING, VALID, 0},
        {VALID, ERROR, BAD_VALUE},
        {VALIDATING, ERROR, 0},
        {VALIDATING, MODIFY_REQ, BAD_VALUE},
        {ERROR, MODIFY_REQ, 0},
        {NOT_USED, MODIFY_REQ, 0},
        {VALID, MODIFY_REQ, 0},
        {VALID, VALIDATE_REQ, BAD_VALUE},
        {MODIFYING, VALIDATE_REQ, 0},
        {VALIDATING, NOT_USED_REQ, BAD_VALUE},
        {NOT_USED_REQ, NOT_USED_REQ, 0},
        {MODIFY_REQ, NOT_USED_REQ, BAD_VALUE},
        {VALID, NOT_USED_REQ, 0},
        {VALID, 9, MIB_BAD_VALUE},
        {VALID, 0, MIB_BAD_VALUE},
        {0, MODIFY_REQ, 0}, // a status outside 1..8 counts as notUsed
    };
    for (uint32_t memory_type : {CHANGEABLE, VOLATILE}) {
        const DbObject status = memory_type == CHANGEABLE ? obj::changeableMsgStatus.row(41)
                                                          : obj::volatileMsgStatus.row(2);
        const uint32_t number = memory_type == CHANGEABLE ? 42 : 3;
        for (const Case& c : cases) {
            Force(status, c.from);
            EXPECT_EQ(c.error, SetResult(entry(STATUS, memory_type, number), c.to))
                << memory_type << ": " << c.from << " -> " << c.to;
            EXPECT_EQ(c.error == 0 ? c.to : c.from, db_get(status))
                << memory_type << ": " << c.from << " -> " << c.to;
        }
    }
}

// Data columns change only while their row is modifying (the CRC also while
// validating, and only while the configuration is unlocked); the current
// buffer and the schedule row have no such rule.
TEST_F(MessageObjectsTest, DataColumnsChangeOnlyWhileTheRowIsModifying) {
    const Oid text = entry(MULTI, CHANGEABLE, 1);
    Force(obj::changeableMsgStatus.row(0), VALID);
    EXPECT_EQ(GEN_ERR, SetOctets(text, "HELLO").error_status);
    EXPECT_EQ(GEN_ERR, SetResult(entry(BEACON, CHANGEABLE, 1), 1));
    EXPECT_EQ(MIB_READ_ONLY, SetNumber(entry(CRC, CHANGEABLE, 1), SNMP_INTEGER, 7).access);
    EXPECT_EQ(0u, pdu->error_status);
    EXPECT_EQ(0u, db_get(obj::changeableMsgBeacon.row(0)));

    Force(obj::changeableMsgStatus.row(0), MODIFYING);
    Answer set = SetOctets(text, "HELLO");
    EXPECT_EQ(0u, set.error_status);
    EXPECT_EQ("HELLO", set.octets);
    EXPECT_EQ("HELLO", Get(text).octets);
    for (uint32_t column : {BEACON, PIXEL, PRIORITY})
        EXPECT_EQ(0u, SetResult(entry(column, CHANGEABLE, 1), 1)) << column;
    EXPECT_EQ(MIB_BAD_VALUE, SetResult(entry(PRIORITY, CHANGEABLE, 1), 0));
    EXPECT_EQ(MIB_BAD_VALUE, SetResult(entry(BEACON, CHANGEABLE, 1), 2));

    Unlock(true);
    Force(obj::changeableMsgStatus.row(0), VALIDATING);
    EXPECT_EQ(0u, SetResult(entry(CRC, CHANGEABLE, 1), 0xBEEF));
    EXPECT_EQ(0xBEEFu, db_get(obj::changeableMsgCRC.row(0)));
    Force(obj::changeableMsgStatus.row(0), VALID);
    EXPECT_EQ(GEN_ERR, SetResult(entry(CRC, CHANGEABLE, 1), 1));
    EXPECT_EQ(BAD_VALUE, SetResult(entry(CRC, SCHEDULE, 1), 70000)); // no value check unlocked
    EXPECT_EQ(GEN_ERR, SetResult(entry(CRC, BLANK, 1), 1));
    Unlock(false);

    EXPECT_EQ(0u, SetOctets(entry(MULTI, CURRENT, 1), "NOW").error_status);
    EXPECT_EQ("NOW", Str(obj::currentBufferMsgMultiString));
    EXPECT_EQ(0u, SetOctets(entry(OWNER, SCHEDULE, 1), "plan").error_status);
    EXPECT_EQ("plan", Str(obj::scheduleMsgOwner));
    EXPECT_EQ(0u, SetResult(entry(STATUS, SCHEDULE, 1), NOT_USED));
}

TEST_F(MessageObjectsTest, CurrentBufferReadsItsShadowWhileTheShadowHoldsText) {
    ASSERT_EQ(DB_OK, db_set_string(obj::currentBufferMsgMultiString, "STORED", 6, 0));
    EXPECT_EQ("STORED", Get(entry(MULTI, CURRENT, 1)).octets);
    EXPECT_EQ(VALID, Get(entry(STATUS, CURRENT, 1)).number);
    ASSERT_EQ(DB_OK, db_set_string(obj::currentBufferShadowMsgMultiString, "SHOWN", 5, 0));
    ASSERT_EQ(DB_OK, db_set(obj::currentBufferShadowMsgCRC, 0x1234, 0));
    EXPECT_EQ("SHOWN", Get(entry(MULTI, CURRENT, 1)).octets);
    EXPECT_EQ(0x1234u, Get(entry(CRC, CURRENT, 1)).number);
    EXPECT_EQ(NOT_USED, Get(entry(STATUS, CURRENT, 1)).number);
}

// Memory type 0 prints the column's console line, other (1) and 8 and above
// the line of an unsupported memory type on a data column; none of them
// names an instance or reaches a storage table.
TEST_F(MessageObjectsTest, InstancesOutsideTheMemoryTypesNameNothing) {
    struct Case {
        uint32_t column;
        const char* line; // printed for memory type 0, or null
    };
    const Case cases[] = {
        {MEMORY, nullptr},
        {MULTI, nullptr},
        {CRC, "Invalid mem type for dms msg CRC  0\n"},
        {BEACON, "Invalid mem type for dms msg Beacon\n"},
        {PIXEL, "Invalid mem type for dms msg Pixel Service\n"},
        {PRIORITY, "Invalid mem type for dms msg priority\n"},
        {STATUS, "Invalid mem type for dms msg Status\n"},
    };
    for (const Case& c : cases) {
        test_support::ClearConsole();
        EXPECT_EQ(MIB_NO_SUCH_NAME, Get(entry(c.column, 0, 1)).error) << c.column;
        if (c.line) {
            EXPECT_NE(std::string::npos, test_support::ConsoleText().find(c.line));
        }
        for (uint32_t memory_type : {1u, 8u, 9u, 255u, 65536u}) {
            test_support::ClearConsole();
            EXPECT_EQ(MIB_NO_SUCH_NAME, Get(entry(c.column, memory_type, 1)).error)
                << c.column << " " << memory_type;
            // From 255 on the name sorts past the column's row and never reaches it.
            const bool said = c.column >= MULTI && memory_type < 255;
            EXPECT_EQ(said, test_support::ConsoleText().find(
                                "Invalid mem type, not support Other\n") != std::string::npos)
                << c.column << " " << memory_type;
        }
        EXPECT_EQ(MIB_NO_SUCH_NAME, SetResult(entry(STATUS, 8, 1), MODIFY_REQ));
        EXPECT_EQ(MIB_NO_SUCH_NAME, Get(entry(c.column, VOLATILE, 5)).error);
        EXPECT_EQ(MIB_NO_SUCH_NAME, Get(entry(c.column, CHANGEABLE, 0)).error);
    }
    EXPECT_EQ(entry(STATUS, PERMANENT, 1), Next(entry(STATUS, 0, 3)).name);
}

TEST_F(MessageObjectsTest, CountsAreComputedWhereTheSignDecides) {
    for (uint32_t row : {0u, 10u, 520u})
        Force(obj::changeableMsgStatus.row(row), VALID);
    ASSERT_EQ(DB_OK, db_set(obj::dmsNumChangeableMsg, 2, 0));
    EXPECT_EQ(2u, Get(scalar(2)).number); // the stored count
    Unlock(true);
    EXPECT_EQ(3u, Get(scalar(2)).number); // all 550 rows, counted now
    Unlock(false);

    EXPECT_EQ(500u, Get(scalar(3)).number);
    ASSERT_EQ(DB_OK, db_set(obj::halvSpecialFeatureSet, 0x20, 0));
    EXPECT_EQ(25u, Get(scalar(3)).number);
    EXPECT_EQ(4u, Get(scalar(6)).number);
    EXPECT_EQ(MIB_READ_ONLY, SetNumber(scalar(2), SNMP_INTEGER, 1).access);
}

} // namespace
