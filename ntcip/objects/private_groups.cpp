// The private configuration groups of halv 2 (1.3.6.1.4.1.1206.3.11.2):
//   .15 the stored peripheral list, editable only while peripheralConfigState
//       is 1 (a central system writes 1, the rows, then 2, on which the
//       peripheral task reloads the list);
//   .16 trap enables;
//   .17 the communication ports, whose fifth row is the Ethernet port (its
//       speed column is ifSpeed, the others rs232PortInSpeed), and the
//       block-transfer parameters of the CCP port, writable only while the
//       configuration is unlocked;
//   .18 the messages run by switch positions;
//   .30 tuning values, stored and read back;
//   .32 the bay size and the modules of each text line.
// The switch-message and line-length tables are served by instance only: a
// walk passes over them.
#include "ntcip/objects/private.h"

#include "runtime/console.h"
#include "store/database.h"

namespace {

using namespace mibdef;

constexpr uint16_t PERIPHERAL_ROWS = 255;
constexpr uint16_t PORT_ROWS = 5;
constexpr uint16_t SWITCH_MESSAGE_ROWS = 50;
constexpr uint16_t TUNING_ROWS = 5;
constexpr uint16_t LINE_ROWS = 9;
constexpr uint32_t ETHERNET_PORT_ROW = 4;
constexpr uint32_t PERIPHERAL_LIST_EDITING = 1;

// --- peripheral list ------------------------------------------------------------------

// A write of the list outside its editing state names no instance.
uintptr_t* peripheral_entry(mib_request& request) {
    if (request.committing() && db_get(obj::peripheralConfigState) != PERIPHERAL_LIST_EDITING)
        return nullptr;
    return mib_column_handler(request);
}

// Peripheral id 0 frees the row: its parameters are emptied too.
int write_peripheral_id(mib_request& request, uint32_t row) {
    const uint32_t id = request.ctx.set_value.integer;
    const int result = db_set(obj::halvPeripheralID.row(row), id, request.ctx.write_flags);
    if (id == 0)
        db_set_string(obj::halvPeripheralParameters.row(row), "", 0, request.ctx.write_flags);
    return result;
}

constexpr mib_hooks kPeripheralID = {nullptr, nullptr, write_peripheral_id};

constexpr mib_variable peripheral(uint32_t c, uint8_t type, const DbObject& o) {
    return column({15, 3, 1, c, MIB_PLACEHOLDER}, type, o, PERIPHERAL_ROWS)
        .rw()
        .mask(HALV_MASK_COMMUNICATION)
        .handled_by(peripheral_entry);
}

constexpr auto kPeripheralRows = under(
    {1, 3, 6, 1, 4, 1, 1206, 3, 11, 2},
    {
        scalar({15, 1, 0}, MIB_INTEGER, obj::peripheralConfigState)
            .rw()
            .range(0, 255)
            .mask(HALV_MASK_COMMUNICATION),
        scalar({15, 2, 0}, MIB_INTEGER, obj::halvObj2_15_2).range(0, 65535),
        index_column({15, 3, 1, 1, MIB_PLACEHOLDER}, PERIPHERAL_ROWS).range(1, 65535),
        peripheral(2, MIB_INTEGER, obj::halvPeripheralID).range(0, 65535).hooked(&kPeripheralID),
        peripheral(3, MIB_OCTETSTR, obj::halvPeripheralParameters).len(0, 80),
        peripheral(4, MIB_INTEGER, obj::halvPeripheralStatus).range(0, 255),
        peripheral(5, MIB_OCTETSTR, obj::halvPeripheralAuxIOTableIndex).len(0, 255),
        scalar({15, 4, 0}, MIB_INTEGER, obj::halvObj2_15_4).range(0, 65535),
    });

// --- trap enables ---------------------------------------------------------------------

constexpr auto kTrapRows = under({1, 3, 6, 1, 4, 1, 1206, 3, 11, 2, 16},
                                 {
                                     scalar({1, 0}, MIB_INTEGER, obj::halvTrapsGeneric)
                                         .rw()
                                         .range(0, 255)
                                         .mask(HALV_MASK_COMMUNICATION),
                                     scalar({2, 0}, MIB_OCTETSTR, obj::halvTrapsEnterpriseSpecific)
                                         .rw()
                                         .len(0, 8)
                                         .mask(HALV_MASK_COMMUNICATION),
                                     scalar({3, 0}, MIB_INTEGER, obj::halvTrapsExpirationDuration)
                                         .rw()
                                         .mask(HALV_MASK_COMMUNICATION),
                                 });

// --- communication ports --------------------------------------------------------------

// The speed of port row r: the serial ports' input speed, or the Ethernet
// interface's speed for the last row.
DbObject port_speed(uint32_t row) {
    return row == ETHERNET_PORT_ROW ? obj::ifSpeed : obj::rs232PortInSpeed.row(row);
}

bool read_port_speed(mib_request& request, uint32_t row) {
    mib_answer_object(request, port_speed(row), mib_value::unsigned_int);
    return true;
}

int write_port_speed(mib_request& request, uint32_t row) {
    return mib_write_object(request, port_speed(row), request.ctx.write_flags);
}

constexpr mib_hooks kPortSpeed = {nullptr, read_port_speed, write_port_speed};

constexpr mib_variable port(uint32_t c, const DbObject& o) {
    return column({2, 1, c, MIB_PLACEHOLDER}, MIB_INTEGER, o, PORT_ROWS)
        .rw()
        .mask(HALV_MASK_COMMUNICATION);
}

constexpr auto kPortRows =
    under({1, 3, 6, 1, 4, 1, 1206, 3, 11, 2, 17},
          {
              scalar({1, 0}, MIB_INTEGER, obj::halvObj2_17_1).range(0, 255),
              index_column({2, 1, 1, MIB_PLACEHOLDER}, PORT_ROWS).range(0, 255),
              port(2, obj::halvCommConfigFlowControl),
              port(3, obj::halvCommConfigProtocol).range(0, 255),
              port(4, obj::halvCommConfigTraps).range(0, 255),
              port(5, obj::halvCommConfigInnerCharTimeout).range(0, 65535),
              port(6, obj::rs232PortInSpeed).hooked(&kPortSpeed),
              port(7, obj::halvObj2_17_2_1_7).with_access(MIB_READ_ONLY).range(0, 255),
              scalar({3, 0}, MIB_INTEGER, obj::halvObj2_17_3).config().range(0, 65535),
              scalar({4, 0}, MIB_INTEGER, obj::halvObj2_17_4).config().range(0, 65535),
              scalar({5, 0}, MIB_INTEGER, obj::halvObj2_17_5).config().range(0, 255),
              scalar({6, 0}, MIB_INTEGER, obj::halvObj2_17_6).rw().list({1, 2, 3, 4}),
          });

// --- switch messages ------------------------------------------------------------------

constexpr auto kSwitchMessageRows = under(
    {1, 3, 6, 1, 4, 1, 1206, 3, 11, 2, 18},
    {
        scalar({1, 0}, MIB_INTEGER, obj::halvObj2_18_1).range(0, 255),
        column({2, 1, 1, MIB_PLACEHOLDER}, MIB_INTEGER, obj::halvObj2_18_2_1_2, SWITCH_MESSAGE_ROWS)
            .range(1, 255)
            .hooked(&mib_index_hooks)
            .indexes(0),
        column({2, 1, 2, MIB_PLACEHOLDER}, MIB_OCTETSTR, obj::halvObj2_18_2_1_2,
               SWITCH_MESSAGE_ROWS)
            .rw()
            .len(5, 5)
            .mask(HALV_MASK_MESSAGE_CODES)
            .indexes(0),
    });

// --- tuning values --------------------------------------------------------------------

constexpr mib_variable tuning(uint32_t c, const DbObject& o) {
    return column({3, 1, c, MIB_PLACEHOLDER}, MIB_INTEGER, o, TUNING_ROWS).rw();
}

constexpr auto kTuningRows =
    under({1, 3, 6, 1, 4, 1, 1206, 3, 11, 2, 30},
          {
              scalar({1, 0}, MIB_INTEGER, obj::halvObj2_30_1).rw().range(0, 5),
              scalar({2, 0}, MIB_INTEGER, obj::halvObj2_30_2).rw().range(0, 65535),
              // The index column accepts a SET and keeps nothing: the answer is the index.
              tuning(1, obj::halvObj2_30_3_1_2)
                  .range(1, 5)
                  .hooked(&mib_index_hooks)
                  .writes(mib_write::none),
              tuning(2, obj::halvObj2_30_3_1_2).range(0, 100),
              tuning(3, obj::halvObj2_30_3_1_3).range(0, 100),
              scalar({4, 0}, MIB_INTEGER, obj::halvObj2_30_4).list({1, 2, 3}),
          });

// --- line lengths and bay size --------------------------------------------------------

uintptr_t* sign_config(mib_request& request) {
    console_printf("inside halvSignConfig:\n");
    return mib_column_handler(request);
}

uintptr_t* line_length_table(mib_request& request) {
    console_printf("inside var_halvLineLengthTable:\n");
    console_printf(request.row.column.tag == 1
                       ? "inside var_halvLineLengthTable: HALVLINELENGTHINDEX\n"
                       : "inside var_halvLineLengthTable: HALVLINELENGTH\n");
    return mib_column_handler(request);
}

constexpr mib_variable bay(uint32_t x, const DbObject& o) {
    return scalar({x, 0}, MIB_INTEGER, o)
        .rw()
        .range(0, 255)
        .mask(HALV_MASK_OPTIONS)
        .handled_by(sign_config);
}

constexpr auto kLineRows =
    under({1, 3, 6, 1, 4, 1, 1206, 3, 11, 2, 32},
          {
              bay(1, obj::halvZORVBayHeightInModules),
              bay(2, obj::halvZORVBayWidthInModules),
              bay(3, obj::halvObj2_32_3).with_access(MIB_READ_ONLY),
              column({4, 1, 1, MIB_PLACEHOLDER}, MIB_INTEGER, obj::halvLineLength, LINE_ROWS)
                  .range(0, 255)
                  .mask(HALV_MASK_OPTIONS)
                  .hooked(&mib_index_hooks, 1)
                  .indexes(0)
                  .handled_by(line_length_table),
              column({4, 1, 2, MIB_PLACEHOLDER}, MIB_INTEGER, obj::halvLineLength, LINE_ROWS)
                  .rw()
                  .range(0, 255)
                  .mask(HALV_MASK_OPTIONS)
                  .hooked(nullptr, 2)
                  .indexes(0)
                  .handled_by(line_length_table),
          });

} // namespace

const mib_table halv_peripheral_table = table(kPeripheralRows);
const mib_table halv_traps_table = table(kTrapRows);
const mib_table halv_ports_table = table(kPortRows);
const mib_table halv_switch_message_table = table(kSwitchMessageRows);
const mib_table halv_tuning_table = table(kTuningRows);
const mib_table halv_line_length_table = table(kLineRows);
