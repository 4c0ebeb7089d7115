// The file-transfer objects (1.3.6.1.4.1.1206.3.11.4): command and state,
// block size, file size, block number, name or block data, and CRC-16. The
// values live in the volatile image; comm/file_transfer.h gives their
// meaning in each step. A manager writes the parameters first (in the same
// request or before) and the state object last: a request commits its
// varbinds in order, and the committed state object runs the step on the
// agent's thread before the response leaves. The response carries the value
// read back before the step; the step's result is in halvObj4_1 for the next
// GET.
#include "ntcip/objects/private.h"

#include "comm/comm_task.h"

namespace {

using namespace mibdef;

// A community needs either of these rights to write the transfer objects.
const uint32_t TRANSFER_SET_MASK = 0x00500000;

uintptr_t* transfer_state(mib_request& request) {
    uintptr_t* result = mib_column_handler(request);
    if (result != nullptr && request.committing()) comm_task_file_transfer();
    return result;
}

constexpr mib_variable transfer(std::initializer_list<uint32_t> oid, uint8_t type,
                                const DbObject& o) {
    return scalar(oid, type, o).rw().mask(TRANSFER_SET_MASK).writes(mib_write::report);
}

constexpr auto kRows = under(
    {1, 3, 6, 1, 4, 1, 1206, 3, 11, 4},
    {
        transfer({1, 0}, MIB_INTEGER, obj::halvObj4_1).range(0, 14).handled_by(transfer_state),
        transfer({2, 0}, MIB_INTEGER, obj::halvObj4_2).range(0, 1024),
        transfer({3, 0}, MIB_INTEGER, obj::halvObj4_3).as(mib_value::signed_int),
        transfer({4, 0}, MIB_INTEGER, obj::halvObj4_4).range(0, 65535),
        transfer({5, 0}, MIB_OCTETSTR, obj::halvObj4_5).len(0, 1024),
        transfer({6, 0}, MIB_INTEGER, obj::halvObj4_6).range(0, 65535),
    });

} // namespace

const mib_table halv_file_transfer_table = table(kRows);
