// Message activation from its edges: a whole firmware on the virtual clock;
// messages are stored and validated as a central system does (status
// requests, then validate_message), activated through dmsActivateMessage and
// activate_message or through the request slots, and the answer is read
// back from the object store.
#include "display/display_entries.h"
#include "display/display_task.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/support/firmware_fixture.h"

#include <string>
#include <vector>

namespace {

using test_support::ConsoleText;
using Bytes = std::vector<uint8_t>;

const ULONG SECOND = 100;
const ULONG MINUTE = 60 * SECOND;

Bytes Hex(const std::string& text) {
    Bytes out;
    for (size_t i = 0; i + 1 < text.size(); i += 2) {
        if (text[i] == ' ') {
            --i;
            continue;
        }
        out.push_back(uint8_t(std::stoul(text.substr(i, 2), nullptr, 16)));
    }
    return out;
}

Bytes Value(const DbObject& o) {
    uint32_t n = 0;
    const char* p = db_get_string(o, &n);
    return Bytes(p, p + n);
}

std::string Text(const DbObject& o) {
    uint32_t n = 0;
    const char* p = db_get_string(o, &n);
    return std::string(p, n);
}

// An activation code: duration, priority, memory type, number, CRC, source.
Bytes Code(uint16_t duration, uint8_t priority, uint8_t type, uint16_t number, uint16_t crc,
           const Bytes& source = {127, 0, 0, 1}) {
    Bytes c = {uint8_t(duration >> 8), uint8_t(duration), priority,          type,
               uint8_t(number >> 8),   uint8_t(number),   uint8_t(crc >> 8), uint8_t(crc)};
    c.insert(c.end(), source.begin(), source.end());
    return c;
}

class Activation : public test_support::FirmwareFixture {
  protected:
    void SetUp() override {
        FirmwareFixture::SetUp();
        tx_thread_sleep(2 * SECOND); // the tasks start and take their first steps
    }

    // A changeable message stored and validated as a central system does.
    // -> its status after validation.
    uint32_t Store(unsigned number, const std::string& multi) {
        DbObject status = obj::changeableMsgStatus.row(number - 1);
        EXPECT_EQ(DB_OK, db_set(status, MSG_STATUS_MODIFY_REQ, DB_NOTIFY));
        validate_message();
        EXPECT_EQ(DB_OK, db_set_string(obj::changeableMsgMultiString.row(number - 1), multi.data(),
                                       uint32_t(multi.size()), DB_NOTIFY));
        EXPECT_EQ(DB_OK, db_set(status, MSG_STATUS_VALIDATE_REQ, DB_NOTIFY));
        validate_message();
        return db_get(status);
    }
    uint16_t Crc(unsigned number) {
        return uint16_t(db_get(obj::changeableMsgCRC.row(number - 1)));
    }

    // A central activation: the agent stores dmsActivateMessage without
    // notification, then calls the entry. -> dmsActivateMsgError.
    uint32_t Activate(const Bytes& code) {
        db_set_string(obj::dmsActivateMessage, code.data(), uint32_t(code.size()), 0);
        bool failed = activate_message();
        uint32_t error = db_get(obj::dmsActivateMsgError);
        EXPECT_EQ(failed, error != ACTIVATE_ERROR_NONE);
        return error;
    }

    // A request in a slot, written as every requester does: state and
    // source first, the code last (its write posts the selection letter).
    void Request(unsigned slot, const Bytes& code, uint8_t mode = SOURCE_MODE_LOCAL) {
        db_set(obj::activationRequestState.row(slot), mode, DB_NOTIFY);
        db_set(obj::activationRequestSource.row(slot), REQUEST_SOURCE_ORDINARY, DB_NOTIFY);
        db_set_string(obj::activationRequestCode.row(slot), code.data(), uint32_t(code.size()),
                      DB_NOTIFY);
    }
    void Withdraw(unsigned slot) { Request(slot, Bytes(12, 0)); }

    Bytes Shown() { return Value(obj::dmsMsgTableSource); }
};

} // namespace

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
    EXPECT_EQ(code, Value(obj::activationRequestActiveCode.row(ORDINARY_SLOT)));
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
