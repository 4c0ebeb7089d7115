// The registry's world: the kernel on the virtual clock, the board, the one
// object store at its factory and run-time defaults with notification and
// validation on, and the linked registry. Lookups go through getStatPtr as
// the agent calls it, one request record and context per fixture.
#pragma once

#include "ntcip/mib/mib.h"
#include "platform/board/board.h"
#include "platform/host_options.h"
#include "runtime/gp_buffer.h"
#include "store/database.h"
#include "store/objects.h"
#include "tests/comm/snmp_test_util.h"
#include "tests/support/kernel_fixture.h"

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace mib_test {

using Oid = std::vector<uint32_t>;

// What one lookup gave.
struct Answer {
    uintptr_t* result = nullptr;
    int error = -1;
    Oid name;
    uint8_t type = 0;
    uint16_t access = 0;
    uint32_t error_status = 0;
    uint32_t number = 0; // the response value of a number
    std::string octets;  // the response value of octets (OID values: the store's form)
};

inline Oid cat(const Oid& a, const Oid& b) {
    Oid out = a;
    out.insert(out.end(), b.begin(), b.end());
    return out;
}
const Oid kMib2 = {1, 3, 6, 1, 2, 1};
inline Oid mib2(const Oid& rest) {
    return cat(kMib2, rest);
}

class MibFixture : public test_support::KernelFixture {
  protected:
    void SetUp() override {
        KernelFixture::SetUp();
        std::string dir = testing::TempDir() + "mib_test_XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(&dir[0]));
        host::host_options().state_dir = dir;
        std::string error;
        ASSERT_TRUE(host::board_start(host::host_options(), error)) << error;
        uint8_t* cursor = test_support::FreeRam();
        ASSERT_EQ(1, TheGPBuffer().Create(&cursor, GP_BUFFER_BYTES));
        CDataBase& s = TheDatabase();
        s.SetValidateOn(false);
        s.SetDefaults(0);
        s.InitVolatile();
        s.SetNotifyOn(true);
        s.SetValidateOn(true);
        init_mib();
        pdu = snmp_test::new_pdu();
        ctx.reset(new mib_context);
        mib_context_begin(*ctx, MIB_ALL_RIGHTS);
    }
    void TearDown() override { host::board_stop(); }

    // One lookup of varbind 0 in `mode`, as the agent makes it.
    Answer Lookup(int mode, const Oid& name, uint16_t syntax = SNMP_NULL) {
        snmp_varbind& vb = pdu->varbinds[0];
        snmp_test::set_name(vb, {});
        for (uint32_t s : name)
            vb.name[vb.name_length++] = s;
        if (mode != MIB_SET) vb.syntax = syntax;
        pdu->error_status = 0;
        Answer a;
        uint8_t type = uint8_t(vb.syntax);
        uint32_t value_length = 0;
        a.result = getStatPtr(*ctx, vb.name, &vb.name_length, &type, &value_length, &a.access, mode,
                              pdu.get(), 0, &a.error);
        a.name = snmp_test::name_of(vb);
        a.type = type;
        a.error_status = pdu->error_status;
        bool validating = mode == MIB_SET && ctx->set_phase == 0; // the varbind stays as received
        if (a.result != nullptr && a.error == MIB_FOUND && !validating) {
            if (type == MIB_OCTETSTR || type == MIB_OPAQUE || type == MIB_OBJECTID)
                a.octets.assign(reinterpret_cast<const char*>(vb.handler_result), value_length);
            mib_answer_varbind(vb, type, value_length);
            if (type != MIB_OCTETSTR && type != MIB_OPAQUE && type != MIB_OBJECTID)
                a.number = snmp_test::number_of(vb);
        }
        return a;
    }
    Answer Get(const Oid& name) { return Lookup(MIB_GET, name); }
    Answer Next(const Oid& name) { return Lookup(MIB_GETNEXT, name); }

    // A SET as the agent makes it: validation pass, then (when it passed)
    // the commit pass.
    Answer SetNumber(const Oid& name, uint16_t syntax, uint32_t value,
                     uint32_t mask = MIB_ALL_RIGHTS) {
        snmp_test::set_number(pdu->varbinds[0], syntax, value);
        return SetStaged(name, mask);
    }
    Answer SetOctets(const Oid& name, const std::string& bytes, uint16_t syntax = SNMP_OCTETSTR,
                     uint32_t mask = MIB_ALL_RIGHTS) {
        snmp_varbind& vb = pdu->varbinds[0];
        vb.syntax = syntax;
        vb.value_length = uint32_t(bytes.size());
        std::copy(bytes.begin(), bytes.end(), vb.value);
        return SetStaged(name, mask);
    }
    Answer SetStaged(const Oid& name, uint32_t mask) {
        mib_context_begin(*ctx, mask);
        EXPECT_EQ(1, mib_stage_value(*ctx, pdu->varbinds[0]));
        ctx->set_phase = 0;
        Answer checked = Lookup(MIB_SET, name);
        if (checked.error != MIB_FOUND || checked.access != MIB_READ_WRITE) return checked;
        ctx->set_phase = 1;
        return Lookup(MIB_SET, name);
    }

    // The names a GETNEXT walk visits from `from` while they stay under `under`.
    std::vector<Oid> Walk(const Oid& from, const Oid& under, size_t limit = 200) {
        std::vector<Oid> names;
        Oid name = from;
        while (names.size() < limit) {
            Answer a = Next(name);
            if (a.error != MIB_FOUND) break;
            if (a.name.size() < under.size() ||
                !std::equal(under.begin(), under.end(), a.name.begin()))
                break;
            names.push_back(a.name);
            name = a.name;
        }
        return names;
    }

    // Stores a value as a device would, past the store's checks.
    static void Put(const DbObject& o, uint32_t value) {
        ASSERT_EQ(DB_OK, db_set(o, value, DB_NO_VALIDATE));
    }
    static void PutText(const DbObject& o, const std::string& bytes) {
        ASSERT_EQ(DB_OK, db_set_string(o, bytes.data(), uint32_t(bytes.size()), DB_NO_VALIDATE));
    }
    // The lookup's error, else the handler's error status.
    static uint32_t Result(const Answer& a) {
        return a.error != MIB_FOUND ? uint32_t(a.error) : a.error_status;
    }
    uint32_t SetResult(const Oid& name, uint32_t value, uint32_t mask = MIB_ALL_RIGHTS) {
        return Result(SetNumber(name, SNMP_INTEGER, value, mask));
    }

    static std::string Str(const DbObject& o) {
        uint32_t n = 0;
        const char* p = db_get_string(o, &n);
        return std::string(p, n);
    }

    std::unique_ptr<snmp_pdu> pdu;
    std::unique_ptr<mib_context> ctx;
};

} // namespace mib_test
