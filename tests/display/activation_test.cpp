// Message activation from its edges: a whole firmware on the virtual clock;
// messages are stored and validated as a central system does (status
// requests, then validate_message), activated through dmsActivateMessage and
// activate_message or through the request slots, and the answer is read
// back from the object store.
#include "display/display_entries.h"
#include "display/display_task.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/display/activation_fixture.h"
#include "tests/support/firmware_fixture.h"

#include <string>
#include <vector>

using namespace display_test;
using test_support::ConsoleText;

TEST_F(Activation, ACentralSystemValidatesAndActivatesAMessage) {
    ASSERT_EQ(MSG_STATUS_VALID, Store(1, "HELLO"));
    EXPECT_EQ(60664, Crc(1));
    Bytes code = Hex("FFFFFF030001ECF80A010203");
    EXPECT_EQ(ACTIVATE_ERROR_NONE, Activate(code));
    EXPECT_EQ(SOURCE_MODE_CENTRAL, db_get(obj::dmsMsgSourceMode));
    EXPECT_EQ(Hex("030001ECF8"), Shown());
    EXPECT_EQ(65535u, db_get(obj::dmsMessageTimeRemaining));
    EXPECT_EQ(0x0A010203u, db_get(obj::dmsMsgRequesterID));
    EXPECT_EQ("HELLO", Text(obj::currentBufferMsgMultiString));
    EXPECT_EQ(MSG_STATUS_VALID, db_get(obj::currentBufferMsgStatus));
    EXPECT_EQ(code, Value(obj::savedActivateMessage));
    EXPECT_EQ(code, Value(obj::activationRequestActiveCode.row(ACTIVATION_SLOT_ORDINARY)));
    EXPECT_EQ(DISPLAY_START_MESSAGE, TheDisplay().DisplayState());
    EXPECT_EQ(2u, db_get(obj::dmsMultiSyntaxError));

    // A wrong CRC is refused; the message on show stays.
    Bytes wrong = Hex("FFFFFF030001ECF90A010203");
    EXPECT_EQ(ACTIVATE_ERROR_MESSAGE_CRC, Activate(wrong));
    EXPECT_EQ(wrong, Value(obj::dmsActivateErrorMsgCode));
    EXPECT_EQ(Hex("030001ECF8"), Shown());
    EXPECT_EQ(0x80u, db_get(obj::shortErrorStatus) & 0x80);
    EXPECT_EQ(code, Value(obj::savedActivateMessage));
}

// The checks in their order, each case on a fresh sign with changeable
// message 1 "HELLO" valid and "[jl9]" as the schedule message.
struct CheckCase {
    const char* name;
    void (*setup)();
    Bytes code;
    uint32_t error;
    uint32_t syntax_error, position;
};

void Nothing() {}
void Unlocked() {
    db_set(obj::halvObj2_8, MESSAGE_LOCK_UNLOCKED, DB_NO_VALIDATE);
}
void RunningAtPriority4() {
    db_set(obj::currentBufferMsgRunTimePriority, 4, DB_NO_VALIDATE);
}
void ScheduleRowNotValid() {
    db_set(obj::scheduleMsgStatus, MSG_STATUS_NOT_USED, DB_NO_VALIDATE);
}
void NoCrcCheck() {
    db_set(obj::halvSpecialFeatureSet, db_get(obj::halvSpecialFeatureSet) | 0x20, DB_NO_VALIDATE);
}

TEST_F(Activation, TheChecksRefuseInTheirOrder) {
    ASSERT_EQ(MSG_STATUS_VALID, Store(1, "HELLO"));
    uint16_t hello = Crc(1);
    db_set_string(obj::scheduleMsgMultiString, "[jl9]", 5, DB_NO_VALIDATE);
    const CheckCase cases[] = {
        {"blank", Nothing, Code(65535, 255, 7, 1, 0), 2, 2, 0},
        {"blank with a CRC", Nothing, Code(65535, 255, 7, 1, 1), 7, 2, 0},
        {"blank with a CRC, check off", NoCrcCheck, Code(65535, 255, 7, 1, 1), 2, 2, 0},
        {"memory type 8", Nothing, Code(65535, 255, 8, 1, 0), 5, 2, 0},
        {"memory type 0", Nothing, Code(65535, 255, 0, 1, 0), 5, 2, 0},
        {"row not valid", Nothing, Code(65535, 255, 3, 2, 0), 4, 2, 0},
        {"changeable 501 while locked", Nothing, Code(65535, 255, 3, 501, 0), 6, 2, 0},
        {"changeable 0", Nothing, Code(65535, 255, 3, 0, 0), 6, 2, 0},
        {"permanent 3 while unlocked", Unlocked, Code(65535, 255, 2, 3, 0), 6, 2, 0},
        {"volatile 5", Nothing, Code(65535, 255, 4, 5, 0), 6, 2, 0},
        {"wrong CRC", Nothing, Code(65535, 255, 3, 1, uint16_t(hello + 1)), 7, 2, 0},
        {"priority under the running one", RunningAtPriority4, Code(65535, 3, 3, 1, hello), 3, 2,
         0},
        {"schedule needs CRC 0", Nothing, Code(65535, 255, 6, 1, 5), 7, 2, 0},
        {"schedule: unsupported tag value", Nothing, Code(65535, 255, 6, 1, 0), 8, 4, 1},
        {"schedule: any status, on to the parse", ScheduleRowNotValid, Code(65535, 255, 6, 1, 0), 8,
         4, 1},
        {"short code", Nothing, Bytes{0xFF, 0xFF, 0xFF, 3}, 1, 2, 0},
    };
    for (const CheckCase& c : cases) {
        SCOPED_TRACE(c.name);
        db_set(obj::currentBufferMsgRunTimePriority, 1, DB_NO_VALIDATE);
        db_set(obj::halvObj2_8, 1, DB_NO_VALIDATE);
        db_set(obj::halvSpecialFeatureSet, db_get(obj::halvSpecialFeatureSet) & ~0x20u,
               DB_NO_VALIDATE);
        c.setup();
        Bytes before = Shown();
        EXPECT_EQ(c.error, Activate(c.code));
        EXPECT_EQ(c.syntax_error, db_get(obj::dmsMultiSyntaxError));
        EXPECT_EQ(c.position, db_get(obj::dmsMultiSyntaxErrorPosition));
        EXPECT_EQ(c.code, Value(obj::dmsActivateErrorMsgCode));
        if (c.error != ACTIVATE_ERROR_NONE) {
            EXPECT_EQ(before, Shown());
        }
    }
}

TEST_F(Activation, ABlankIsShownWhateverIsShown) {
    ASSERT_EQ(MSG_STATUS_VALID, Store(1, "HELLO"));
    ASSERT_EQ(ACTIVATE_ERROR_NONE, Activate(Code(65535, 255, 3, 1, Crc(1))));
    EXPECT_EQ(ACTIVATE_ERROR_NONE, Activate(Code(65535, 255, 7, 1, 0)));
    EXPECT_EQ(DISPLAY_BLANK, TheDisplay().DisplayState());
    EXPECT_EQ("", Text(obj::currentBufferMsgMultiString));
    EXPECT_EQ(MSG_STATUS_VALID, db_get(obj::currentBufferMsgStatus));
    EXPECT_EQ(Hex("0700010000"), Shown());
    EXPECT_EQ(0u, db_get(obj::dmsMsgRequesterID)); // 127.0.0.1
}

TEST_F(Activation, WithNoRequestTheFailSafeBlankIsShown) {
    ASSERT_EQ(MSG_STATUS_VALID, Store(1, "HELLO"));
    Request(ACTIVATION_SLOT_ORDINARY, Code(65535, 255, 3, 1, Crc(1)), SOURCE_MODE_CENTRAL);
    tx_thread_sleep(SECOND);
    ASSERT_EQ((Bytes{3, 0, 1, uint8_t(Crc(1) >> 8), uint8_t(Crc(1))}), Shown());
    EXPECT_EQ(SOURCE_MODE_CENTRAL, db_get(obj::dmsMsgSourceMode));
    for (unsigned slot = 0; slot < ACTIVATION_SLOTS; ++slot)
        Withdraw(slot);
    tx_thread_sleep(SECOND);
    EXPECT_NE(std::string::npos, ConsoleText().find("Error! fail safe blank msg\n"));
    EXPECT_EQ(ACTIVATE_ERROR_NONE, db_get(obj::dmsActivateMsgError));
    EXPECT_EQ(Hex("0700010000"), Shown());
    EXPECT_EQ(SOURCE_MODE_LOCAL, db_get(obj::dmsMsgSourceMode));
}

// --- slot timing on the virtual clock --------------------------------------------------

class SlotTiming : public Activation {
  protected:
    void SetUp() override {
        Activation::SetUp();
        ASSERT_EQ(MSG_STATUS_VALID, Store(1, "ORDINARY"));
        ASSERT_EQ(MSG_STATUS_VALID, Store(2, "EMERGENCY"));
        db_set_string(obj::dmsEndDurationMessage, Hex("0700010000").data(), 5, DB_NOTIFY);
    }
    Bytes Ordinary(uint16_t minutes) { return Code(minutes, 255, 3, 1, Crc(1)); }
    Bytes Emergency(uint16_t minutes) { return Code(minutes, 255, 3, 2, Crc(2)); }
    Bytes IdOf(unsigned number) {
        uint16_t crc = Crc(number);
        return Bytes{3, 0, uint8_t(number), uint8_t(crc >> 8), uint8_t(crc)};
    }
    // Runs the sign for `ticks` from the start of the scenario.
    void At(ULONG ticks) {
        ULONG now = tx_time_get() - start_;
        if (ticks > now) tx_thread_sleep(ticks - now);
    }
    void Begin() { start_ = tx_time_get(); }
    ULONG start_ = 0;
};

TEST_F(SlotTiming, APreemptedMessageResumesWithTheTimeItHasLeft) {
    Begin();
    Request(ACTIVATION_SLOT_ORDINARY, Ordinary(10));
    At(SECOND);
    ASSERT_EQ(IdOf(1), Shown());
    At(MINUTE);
    Request(2, Emergency(65535), SOURCE_MODE_OTHER);
    At(MINUTE + SECOND);
    ASSERT_EQ(IdOf(2), Shown());
    At(5 * MINUTE);
    Withdraw(2);
    At(5 * MINUTE + SECOND);
    EXPECT_EQ(IdOf(1), Shown());
    EXPECT_EQ(5u, db_get(obj::dmsMessageTimeRemaining));
    EXPECT_EQ(Ordinary(5), Value(obj::activationRequestCode.row(ACTIVATION_SLOT_ORDINARY)));
}

TEST_F(SlotTiming, APreemptedMessageWhoseTimeRanOutGivesWayToTheEndDurationMessage) {
    Begin();
    Request(ACTIVATION_SLOT_ORDINARY, Ordinary(10));
    At(MINUTE);
    Request(2, Emergency(65535), SOURCE_MODE_OTHER);
    At(12 * MINUTE);
    Withdraw(2);
    At(12 * MINUTE + 2 * SECOND);
    EXPECT_EQ(Hex("0700010000"), Shown());
    EXPECT_EQ(SOURCE_MODE_END_DURATION, db_get(obj::dmsMsgSourceMode));
    EXPECT_EQ(65535u, db_get(obj::dmsMessageTimeRemaining));
}

TEST_F(SlotTiming, AOneMinuteMessageEndsWithTheEndDurationMessage) {
    Begin();
    Request(ACTIVATION_SLOT_ORDINARY, Ordinary(1));
    At(SECOND);
    EXPECT_EQ(1u, db_get(obj::dmsMessageTimeRemaining));
    At(MINUTE - 2 * SECOND); // the minute counts from the global time's last whole second
    EXPECT_EQ(1u, db_get(obj::dmsMessageTimeRemaining));
    At(MINUTE + 2 * SECOND);
    EXPECT_EQ(SOURCE_MODE_END_DURATION,
              db_get(obj::activationRequestState.row(ACTIVATION_SLOT_ORDINARY)));
    EXPECT_EQ(SOURCE_MODE_END_DURATION, db_get(obj::dmsMsgSourceMode));
    EXPECT_EQ(65535u, db_get(obj::dmsMessageTimeRemaining));
    EXPECT_EQ(Hex("0700010000"), Shown());
}

TEST_F(SlotTiming, AMessageOfNoMinutesGivesWayToTheEndDurationMessageAtOnce) {
    Begin();
    Request(ACTIVATION_SLOT_ORDINARY, Ordinary(0));
    At(2 * SECOND);
    EXPECT_EQ(Hex("0700010000"), Shown());
    EXPECT_EQ(SOURCE_MODE_END_DURATION, db_get(obj::dmsMsgSourceMode));
    EXPECT_EQ(65535u, db_get(obj::dmsMessageTimeRemaining));
}

TEST_F(SlotTiming, AnExpiredEmergencyNoLongerWins) {
    Begin();
    Request(ACTIVATION_SLOT_ORDINARY, Ordinary(65535));
    At(SECOND);
    Request(2, Emergency(1), SOURCE_MODE_OTHER);
    At(2 * SECOND);
    ASSERT_EQ(IdOf(2), Shown());
    At(MINUTE + 5 * SECOND);
    EXPECT_EQ(Bytes{}, Value(obj::activationRequestCode.row(2)));
    EXPECT_EQ(Hex("0700010000"), Shown());
    EXPECT_EQ(SOURCE_MODE_END_DURATION, db_get(obj::dmsMsgSourceMode));
    At(3 * MINUTE);
    EXPECT_EQ(Hex("0700010000"), Shown()); // and it stays
}

// --- the message-table sweep -----------------------------------------------------------

using Validation = Activation;

TEST_F(Validation, FaultyTextsAreRefusedWithTheParsersError) {
    struct {
        const char* multi;
        uint32_t syntax_error, position;
    } const cases[] = {
        {"[jl9]", 4, 1},
        {"A[np]B[np]C[np]D[np]E[np]F[np]G", 12, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.multi);
        EXPECT_EQ(MSG_STATUS_ERROR, Store(3, c.multi));
        EXPECT_EQ(c.syntax_error, db_get(obj::dmsMultiSyntaxError));
        EXPECT_EQ(5u, db_get(obj::dmsValidateMessageError));
        if (c.position) {
            EXPECT_EQ(c.position, db_get(obj::dmsMultiSyntaxErrorPosition));
        }
    }
    EXPECT_EQ(MSG_STATUS_VALID, Store(3, "FINE"));
    EXPECT_EQ(2u, db_get(obj::dmsValidateMessageError));
    EXPECT_EQ(2u, db_get(obj::dmsMultiSyntaxError));
}

TEST_F(Validation, AnEmptyTextIsAValidBlankMessage) {
    EXPECT_EQ(MSG_STATUS_VALID, Store(4, ""));
    EXPECT_EQ(0x470F, Crc(4));
    EXPECT_EQ(ACTIVATE_ERROR_NONE, Activate(Code(65535, 255, 3, 4, 0x470F)));
}

TEST_F(Validation, ReferencesToAMessageThatTurnsInvalidNameTheBlankMessage) {
    ASSERT_EQ(MSG_STATUS_VALID, Store(12, "TWELVE"));
    Bytes twelve = {3, 0, 12, uint8_t(Crc(12) >> 8), uint8_t(Crc(12))};
    db_set_string(obj::dmsCommunicationsLossMessage, twelve.data(), 5, DB_NOTIFY);
    db_set_string(obj::dmsEndDurationMessage, twelve.data(), 5, DB_NOTIFY);
    ASSERT_EQ(MSG_STATUS_ERROR, Store(12, "[jl9]"));
    EXPECT_EQ(Hex("0700010000"), Value(obj::dmsCommunicationsLossMessage));
    EXPECT_EQ(Hex("0700010000"), Value(obj::dmsEndDurationMessage));
}

TEST_F(Validation, TheSweepPutsStrayStatusesRightAndCountsTheValidRows) {
    db_set(obj::changeableMsgStatus.row(7), 9, DB_NO_VALIDATE);
    db_set(obj::volatileMsgStatus.row(1), 0, DB_NO_VALIDATE);
    ASSERT_EQ(MSG_STATUS_VALID, Store(1, "ONE"));
    EXPECT_EQ(MSG_STATUS_NOT_USED, db_get(obj::changeableMsgStatus.row(7)));
    EXPECT_EQ(MSG_STATUS_NOT_USED, db_get(obj::volatileMsgStatus.row(1)));
    EXPECT_EQ(1u, db_get(obj::dmsNumChangeableMsg));
    EXPECT_EQ(750000u - 1500u, db_get(obj::dmsFreeChangeableMemory));
    // Unlocked, row 520 holds permanent message 22 and counts as permanent only.
    db_set(obj::halvObj2_8, MESSAGE_LOCK_UNLOCKED, DB_NO_VALIDATE);
    ASSERT_EQ(MSG_STATUS_VALID, Store(520, "PERMANENT"));
    EXPECT_EQ(3u, db_get(obj::dmsNumPermanentMsg));
    EXPECT_EQ(1u, db_get(obj::dmsNumChangeableMsg));
    // A notUsedReq frees the row.
    db_set(obj::changeableMsgStatus.row(0), MSG_STATUS_NOT_USED_REQ, DB_NOTIFY);
    validate_message();
    EXPECT_EQ(MSG_STATUS_NOT_USED, db_get(obj::changeableMsgStatus.row(0)));
    EXPECT_EQ(0u, db_get(obj::dmsNumChangeableMsg));
    EXPECT_EQ(750000u, db_get(obj::dmsFreeChangeableMemory));
}

TEST_F(Validation, TheDisplayStepServesStatusRequestsAndThePixelTestControl) {
    db_set(obj::changeableMsgStatus.row(5), MSG_STATUS_MODIFY_REQ, DB_NOTIFY);
    db_set(obj::pixelTestActivation, 1, DB_NOTIFY);
    tx_thread_sleep(SECOND);
    EXPECT_EQ(MSG_STATUS_MODIFYING, db_get(obj::changeableMsgStatus.row(5)));
    EXPECT_EQ(2u, db_get(obj::pixelTestActivation));
}

// The watched objects a step serves besides the message rows, one change at
// a time, each followed by a step: the special features, the display test
// mode and a reload of the display configuration.
TEST_F(Validation, TheDisplayStepServesTheWatchedObjects) {
    const uint32_t features = db_get(obj::halvSpecialFeatureSet);
    struct Case {
        const char* what;
        void (*change)();
        void (*expect)();
    };
    const Case cases[] = {
        {"bit 0x2 runs permanent message 1 at priority 50",
         [] { db_set(obj::halvSpecialFeatureSet, 0x2, DB_NOTIFY); },
         [] { EXPECT_EQ(50u, db_get(obj::permanentMsgRunTimePriority.row(0))); }},
        {"and back at 255 without it", [] { db_set(obj::halvSpecialFeatureSet, 0, DB_NOTIFY); },
         [] { EXPECT_EQ(255u, db_get(obj::permanentMsgRunTimePriority.row(0))); }},
        {"a test mode shows the test pattern", [] { db_set(obj::halvObj1_1, 5, DB_NOTIFY); },
         [] { EXPECT_EQ(DISPLAY_TEST_PATTERN, TheDisplay().DisplayState()); }},
        {"a reload while in a test mode keeps the test pattern",
         [] { db_set(obj::vmsSignHeightPixels, 40, DB_NOTIFY); },
         [] {
             EXPECT_EQ(40u, TheDisplay().FaceConfig(0).height);
             EXPECT_EQ(DISPLAY_TEST_PATTERN, TheDisplay().DisplayState());
         }},
        {"normal display again: the face's update returns to the message",
         [] { db_set(obj::halvObj1_1, 1, DB_NOTIFY); },
         [] { EXPECT_EQ(DISPLAY_PAGE_ON, TheDisplay().DisplayState()); }},
        {"a smaller sign clears the line lengths past its lines",
         [] {
             test_support::ClearConsole();
             db_set(obj::halvLineLength.row(2), 10, DB_NOTIFY);
             db_set(obj::halvLineLength.row(4), 5, DB_NOTIFY);
             db_set(obj::vmsSignHeightPixels, 24, DB_NOTIFY);
         },
         [] {
             EXPECT_NE(std::string::npos, ConsoleText().find("load new display configuration\n"));
             const face_config& face = TheDisplay().FaceConfig(0);
             EXPECT_EQ(24u, face.height);
             EXPECT_EQ(3u, face.line_count);
             EXPECT_EQ(10u, face.modules_per_line[2]);
             EXPECT_EQ(10u, db_get(obj::halvLineLength.row(2))) << "a line of the sign";
             EXPECT_EQ(0u, db_get(obj::halvLineLength.row(4)));
             EXPECT_EQ(DISPLAY_PAGE_ON, TheDisplay().DisplayState()) << "the message again";
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.change();
        tx_thread_sleep(SECOND);
        c.expect();
    }
    db_set(obj::halvSpecialFeatureSet, features, DB_NOTIFY);
}

// --- the graphic table ------------------------------------------------------------------

class Graphics : public Activation {
  protected:
    uint32_t Status(unsigned row) { return db_get(obj::dmsGraphicStatus.row(row)); }
    uint32_t Id(unsigned row) { return db_get(obj::dmsGraphicID.row(row)); }
};

TEST_F(Graphics, AReadyGraphicGetsItsId) {
    db_set(obj::dmsGraphicBlockSize, 1023, DB_NO_VALIDATE);
    Graphic(0, 1, 2, 8, {Hex("FF00")});
    store_graphic();
    EXPECT_EQ(4u, Status(0));
    EXPECT_EQ(0x6CF0u, Id(0));
    EXPECT_EQ(1u, db_get(obj::dmsGraphicNumEntries));
    // Asked again, the count does not grow; freed, it falls.
    db_set(obj::dmsGraphicStatus.row(0), 8, DB_NO_VALIDATE);
    store_graphic();
    EXPECT_EQ(1u, db_get(obj::dmsGraphicNumEntries));
    db_set(obj::dmsGraphicStatus.row(0), 9, DB_NO_VALIDATE);
    store_graphic();
    EXPECT_EQ(1u, Status(0));
    EXPECT_EQ(0u, Id(0));
    EXPECT_EQ(Bytes{}, Value(obj::dmsGraphicBlockBitmap.row(0)));
    EXPECT_EQ(Bytes{0}, Value(obj::dmsGraphicTransparentColor.row(0)));
    EXPECT_EQ(0u, db_get(obj::dmsGraphicNumEntries));
}

TEST_F(Graphics, TheIdCoversTheBlocksTheBitmapSpans) {
    // {type, height, width, block size, blocks that count}
    struct {
        uint32_t type, height, width, block_size, counted;
    } const cases[] = {
        {1, 10, 10, 8, 2}, // 13 bytes
        {4, 2, 2, 12, 1},  // 12 bytes
        {2, 3, 3, 4, 3},   // 9 bytes
        {7, 10, 10, 8, 0}, // unknown type: the header only
        {1, 10, 10, 0, 0}, // no block size: the header only
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type * 1000 + c.block_size);
        db_set(obj::dmsGraphicBlockSize, c.block_size, DB_NO_VALIDATE);
        std::vector<Bytes> blocks(4, Bytes{1, 2, 3});
        Graphic(1, c.type, c.height, c.width, blocks);
        store_graphic();
        ASSERT_EQ(4u, Status(1));
        uint32_t id = Id(1);
        for (unsigned b = 0; b < 4; ++b) {
            db_set_string(obj::dmsGraphicBlockBitmap.row(63 + b), "\x09", 1, DB_NO_VALIDATE);
            db_set(obj::dmsGraphicStatus.row(1), 8, DB_NO_VALIDATE);
            store_graphic();
            EXPECT_EQ(b < c.counted, Id(1) != id) << "block " << b;
            id = Id(1);
        }
    }
}

TEST_F(Graphics, AGraphicNeedingMoreThanSixtyThreeBlocksIsNotMadeReady) {
    db_set(obj::dmsGraphicBlockSize, 8, DB_NO_VALIDATE);
    Graphic(2, 2, 16, 33, {}); // 528 bytes: 66 blocks
    store_graphic();
    EXPECT_EQ(2u, Status(2));
    EXPECT_EQ(0u, db_get(obj::dmsGraphicNumEntries));
    EXPECT_NE(std::string::npos, ConsoleText().find("needs 66 blocks"));
}

// --- activations from another thread while the display task steps -------------------------

class ActivationThreads : public Activation {
  protected:
    UINT TestPriority() const override { return 3; } // as the SNMP agent's threads
};

TEST_F(ActivationThreads, CentralAndSlotActivationsAndValidationsInterleave) {
    const char* const texts[] = {"ONE", "TWO[np]PAGE"};
    for (unsigned n = 1; n <= 2; ++n)
        ASSERT_EQ(MSG_STATUS_VALID, Store(n, texts[n - 1]));
    for (unsigned i = 0; i < 120; ++i) {
        unsigned n = 1 + i % 2;
        switch (i % 3) {
        case 0:
            EXPECT_EQ(ACTIVATE_ERROR_NONE, Activate(Code(65535, 255, 3, uint16_t(n), Crc(n))));
            break;
        case 1:
            Request(ACTIVATION_SLOT_ORDINARY, Code(65535, 255, 3, uint16_t(n), Crc(n)));
            break;
        default:
            EXPECT_EQ(MSG_STATUS_VALID, Store(3, i % 2 ? "[jl3]THREE" : "3"));
            break;
        }
        tx_thread_sleep(i % 7);
    }
    tx_thread_sleep(SECOND);
    Bytes shown = Shown();
    ASSERT_EQ(5u, shown.size());
    ASSERT_TRUE(shown[2] == 1 || shown[2] == 2);
    std::string text = texts[shown[2] - 1];
    EXPECT_EQ(text, Text(obj::currentBufferMsgMultiString));
    display_guard guard(TheDisplay().Lock());
    const CMessage& message = TheDisplay().DisplayedMessage();
    EXPECT_EQ(text, std::string(message.text, message.text_length));
}

namespace {

using namespace display_test;

// A configuration the sign cannot show, found at a reload: a frame larger
// than the frame area (type 64 at 144 x 480, two bytes a pixel), or a face
// left out (ten module lines). The controller error bits go up and every
// activation but the blank fails with "other"; a configuration that fits
// clears them.
TEST_F(Activation, AConfigurationTheSignCannotShowFailsEveryActivation) {
    const uint32_t INTERFACE_ERROR = 0x10, CONTROLLER_ERROR = 0x100;
    ASSERT_EQ(MSG_STATUS_VALID, Store(1, "[jp4]HELLO"));
    struct {
        const char* what;
        uint32_t module_type, height, width;
        uint32_t line_length; // halvLineLength[0]
        const char* said;
    } cases[] = {
        {"frame too large", 64, 144, 480, 0, "ConfigureDriver: a frame of 138240 bytes"},
        {"face left out", 28, 80, 112, 0, "ConfigureDisplay: face primary left out"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(DB_OK, db_set(obj::halvLineLength.row(0), c.line_length, 0));
        ASSERT_EQ(DB_OK, db_set(obj::halvModuleID, c.module_type, 0));
        TheDisplay().ConfigureDisplay(c.height, c.width, 15);
        EXPECT_NE(std::string::npos, test_support::ConsoleText().find(c.said));
        EXPECT_EQ(INTERFACE_ERROR, db_get(obj::controllerErrorStatus) & INTERFACE_ERROR);
        EXPECT_EQ(CONTROLLER_ERROR, db_get(obj::shortErrorStatus) & CONTROLLER_ERROR);
        EXPECT_EQ(ACTIVATE_ERROR_OTHER, Activate(Code(65535, 255, 3, 1, Crc(1))));
        EXPECT_EQ(ACTIVATE_ERROR_NONE, Activate(Code(65535, 255, 7, 1, 0)));

        ASSERT_EQ(DB_OK, db_set(obj::halvModuleID, 28, 0));
        TheDisplay().ConfigureDisplay(48, 112, 15);
        EXPECT_EQ(0u, db_get(obj::shortErrorStatus) & CONTROLLER_ERROR);
        EXPECT_EQ(ACTIVATE_ERROR_NONE, Activate(Code(65535, 255, 3, 1, Crc(1))));
    }
}

} // namespace
