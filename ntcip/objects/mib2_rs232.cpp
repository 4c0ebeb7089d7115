// RS-232 tables (1.3.6.1.2.1.10.33), five ports. Both speed columns are the
// port's one speed object, shared with the private port configuration; a
// speed the port cannot run at is answered without an error and not stored.
#include "ntcip/objects/mib2.h"

#include "store/database.h"

namespace {

using namespace mibdef;

constexpr uint16_t ROWS = 5;

// Accepted speeds per port (row 0 is port 1); 0 ends a list.
constexpr uint32_t kSpeeds[ROWS][10] = {
    {2400, 4800, 9600, 19200, 28800, 38400, 57600, 115200},
    {1200, 2400, 4800, 9600, 19200, 38400, 56000, 128000, 512000},
    {1200, 2400, 4800, 9600, 19200, 38400},
    {1200, 2400, 4800, 9600, 19200, 38400, 56000, 128000, 512000},
    {10},
};

bool accepted_speed(uint32_t row, uint32_t speed) {
    for (uint32_t s : kSpeeds[row])
        if (s != 0 && s == speed) return true;
    return false;
}

int write_speed(mib_request& request, uint32_t row) {
    const uint32_t speed = request.ctx.set_value.integer;
    if (row >= ROWS || !accepted_speed(row, speed)) return DB_OK;
    return db_set(obj::rs232PortInSpeed.row(row), speed, request.ctx.write_flags);
}
constexpr mib_hooks kSpeed = {nullptr, nullptr, write_speed};

constexpr auto kRows =
    under({1, 3, 6, 1, 2, 1, 10, 33},
          {
              scalar({1, 0}, MIB_INTEGER, obj::rs232Number),
              // rs232PortTable
              column({2, 1, 1, 255}, MIB_INTEGER, obj::rs232PortIndex, ROWS),
              column({2, 1, 2, 255}, MIB_INTEGER, obj::rs232PortType, ROWS).range(1, 5),
              column({2, 1, 5, 255}, MIB_INTEGER, obj::rs232PortInSpeed, ROWS).rw().hooked(&kSpeed),
              column({2, 1, 6, 255}, MIB_INTEGER, obj::rs232PortInSpeed, ROWS).rw().hooked(&kSpeed),
              // rs232AsyncPortTable
              column({3, 1, 1, 255}, MIB_INTEGER, obj::rs232AsyncPortIndex, ROWS),
              column({3, 1, 7, 255}, MIB_COUNTER, obj::rs232AsyncPortFramingErrs, ROWS),
              column({3, 1, 8, 255}, MIB_COUNTER, obj::rs232AsyncPortOverrunErrs, ROWS),
          });

} // namespace

const mib_table mib2_rs232_table = table(kRows);
