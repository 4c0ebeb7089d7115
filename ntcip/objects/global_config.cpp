// Global configuration (1.3.6.1.4.1.1206.4.2.6.1) and database management
// (1.3.6.1.4.1.1206.4.2.6.2) objects. The module rows are filled by the
// store's run-time defaults; here they are only read. A database transaction
// write is stored and read back and starts nothing.
#include "ntcip/objects/global.h"

namespace {

using namespace mibdef;

constexpr uint16_t MODULES = 8;
constexpr uint32_t DB_MANAGEMENT_MASK = 0x00008000;

constexpr auto kConfigRows =
    under({1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 1},
          {
              scalar({1, 0}, MIB_INTEGER, obj::globalSetIDParameter).range(0, 65535),
              scalar({2, 0}, MIB_INTEGER, obj::globalMaxModules).range(1, 255),
              index_column({3, 1, 1, 255}, MODULES).range(1, 255),
              column({3, 1, 2, 255}, MIB_OBJECTID, obj::moduleDeviceNode, MODULES),
              column({3, 1, 3, 255}, MIB_OCTETSTR, obj::moduleMake, MODULES),
              column({3, 1, 4, 255}, MIB_OCTETSTR, obj::moduleModel, MODULES),
              column({3, 1, 5, 255}, MIB_OCTETSTR, obj::moduleVersion, MODULES),
              column({3, 1, 6, 255}, MIB_INTEGER, obj::moduleType, MODULES).list({1, 2, 3}),
              scalar({4, 0}, MIB_OCTETSTR, obj::controllerBaseStandards).len(0, 256),
          });

constexpr auto kDbRows =
    under({1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 2},
          {
              scalar({1, 0}, MIB_INTEGER, obj::dbCreateTransaction)
                  .rw()
                  .list({1, 2, 3, 6})
                  .mask(DB_MANAGEMENT_MASK),
              scalar({2, 0}, MIB_INTEGER, obj::dbErrorType).list({1, 2, 3, 4, 5, 6, 7}),
              scalar({3, 0}, MIB_OBJECTID, obj::dbErrorID),
              scalar({4, 0}, MIB_INTEGER, obj::dbTransactionID)
                  .rw()
                  .range(0, 255)
                  .mask(DB_MANAGEMENT_MASK),
              scalar({5, 0}, MIB_INTEGER, obj::dbMakeID).range(0, 255),
              scalar({6, 0}, MIB_INTEGER, obj::dbVerifyStatus).list({0, 1, 2}),
              scalar({7, 0}, MIB_OCTETSTR, obj::dbVerifyError).len(0, 255),
          });

} // namespace

const mib_table global_config_table = table(kConfigRows);
const mib_table global_db_table = table(kDbRows);
