// LAPB tables (1.3.6.1.2.1.10.16), five rows each. The timers and frame
// sizes read as stored; a SET of them is answered and changes nothing.
#include "ntcip/objects/mib2.h"

namespace {

using namespace mibdef;

constexpr uint16_t ROWS = 5;
constexpr mib_write NOT_STORED = mib_write::none;

constexpr auto kRows = under(
    {1, 3, 6, 1, 2, 1, 10, 16},
    {
        // lapbAdmnTable
        column({1, 1, 1, 255}, MIB_INTEGER, obj::lapbAdmnIndex, ROWS),
        column({1, 1, 9, 255}, MIB_INTEGER, obj::lapbAdmnT1AckWait, ROWS).rw().writes(NOT_STORED),
        column({1, 1, 10, 255}, MIB_INTEGER, obj::lapbAdmnT2AckDelay, ROWS).rw().writes(NOT_STORED),
        column({1, 1, 11, 255}, MIB_INTEGER, obj::lapbAdmnT3Disconnect, ROWS)
            .rw()
            .writes(NOT_STORED),
        column({1, 1, 12, 255}, MIB_INTEGER, obj::lapbAdmnT4Idle, ROWS).rw().writes(NOT_STORED),
        // lapbOperTable
        column({2, 1, 1, 255}, MIB_INTEGER, obj::lapbOperIndex, ROWS),
        column({2, 1, 4, 255}, MIB_INTEGER, obj::lapbOperTransmitN1FrameSize, ROWS)
            .rw()
            .writes(NOT_STORED),
        column({2, 1, 5, 255}, MIB_INTEGER, obj::lapbOperReceiveN1FrameSize, ROWS)
            .rw()
            .writes(NOT_STORED),
        column({2, 1, 13, 255}, MIB_OBJECTID, obj::lapbOperPortId, ROWS),
    });

} // namespace

const mib_table mib2_lapb_table = table(kRows);
