// The activation tests' fixture: a whole firmware on the virtual clock, with
// messages stored and validated as a central system does (status requests,
// then validate_message), activated through dmsActivateMessage and
// activate_message or through the request slots, and graphics written into
// the graphic table.
#pragma once

#include "display/display_entries.h"
#include "display/display_task.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/support/firmware_fixture.h"

#include <string>
#include <vector>

namespace display_test {

using Bytes = std::vector<uint8_t>;

const ULONG SECOND = 100;
const ULONG MINUTE = 60 * SECOND;

inline Bytes Hex(const std::string& text) {
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

inline Bytes Value(const DbObject& o) {
    uint32_t n = 0;
    const char* p = db_get_string(o, &n);
    return Bytes(p, p + n);
}

inline std::string Text(const DbObject& o) {
    uint32_t n = 0;
    const char* p = db_get_string(o, &n);
    return std::string(p, n);
}

// An activation code: duration, priority, memory type, number, CRC, source.
inline Bytes Code(uint16_t duration, uint8_t priority, uint8_t type, uint16_t number, uint16_t crc,
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
        CMsgActivationCode c;
        c.Decode(code.data());
        request_activation(uint8_t(slot), mode, REQUEST_SOURCE_ORDINARY, c);
    }
    void Withdraw(unsigned slot) { Request(slot, Bytes(12, 0)); }

    Bytes Shown() { return Value(obj::dmsMsgTableSource); }

    // A graphic written directly into row `row` at status readyForUseReq.
    void Graphic(unsigned row, uint32_t type, uint32_t height, uint32_t width,
                 const std::vector<Bytes>& blocks) {
        const uint32_t f = DB_NO_VALIDATE;
        db_set(obj::dmsGraphicNumber.row(row), row + 1, f);
        db_set(obj::dmsGraphicType.row(row), type, f);
        db_set(obj::dmsGraphicHeight.row(row), height, f);
        db_set(obj::dmsGraphicWidth.row(row), width, f);
        db_set(obj::dmsGraphicTransparentEnabled.row(row), 0, f);
        db_set_string(obj::dmsGraphicTransparentColor.row(row), nullptr, 0, f);
        for (unsigned b = 0; b < blocks.size(); ++b)
            db_set_string(obj::dmsGraphicBlockBitmap.row(row * 63 + b), blocks[b].data(),
                          uint32_t(blocks[b].size()), f);
        db_set(obj::dmsGraphicStatus.row(row), 8, f);
    }
};

} // namespace display_test
