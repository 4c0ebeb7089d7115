// Auxiliary I/O objects: the port counts and the port table, served under
// the global subtree's group 7 (1.3.6.1.4.1.1206.4.2.6.7) and under the
// older "auxio" subtree (1.3.6.1.4.1.1206.2.1.1) from one set of rows. The
// older table has no last-commanded column and bounds the resolution at 32.
//
// A port is named by type (1 other, 2 analog, 3 digital) and number: analog
// ports are rows 112.. of the store's table, the others rows 0..; analog
// numbers run to 24, the others to 112. Writing a port's value also records
// it as the port's last commanded state.
#include "ntcip/objects/global.h"

#include "store/database.h"

namespace {

using namespace mibdef;

constexpr uint32_t AUX_IO_MASK = 0x00002000;
constexpr uint32_t AUX_TYPE_ANALOG = 2;
constexpr uint32_t AUX_TYPES = 3;
constexpr uint32_t AUX_DIGITAL_PORTS = 112; // also the first analog row
constexpr uint32_t AUX_ANALOG_PORTS = 24;

int port_row(mib_request& request) {
    const uint32_t L = request.row.oid_length; // type at L - 1, number at L
    const bool analog = *request.length > L - 1 && request.name[L - 1] == AUX_TYPE_ANALOG;
    const uint32_t maxima[2] = {AUX_TYPES, analog ? AUX_ANALOG_PORTS : AUX_DIGITAL_PORTS};
    if (header_table(request, maxima, 2) != 0) return -1;
    const uint32_t number = request.name[L];
    return int(analog ? AUX_DIGITAL_PORTS + number - 1 : number - 1);
}

int write_value(mib_request& request, uint32_t row) {
    const uint32_t value = request.ctx.set_value.integer;
    const uint32_t flags = request.ctx.write_flags;
    int result = db_set(obj::auxIOv2PortValue.row(row), value, flags);
    int recorded = db_set(obj::auxIOv2PortLastCommandedState.row(row), value, flags);
    return result != DB_OK ? result : recorded;
}

constexpr mib_hooks kPort = {port_row, nullptr, nullptr};
constexpr mib_hooks kPortValue = {port_row, nullptr, write_value};

// The instance hook names the row; the number alone names it for types 1
// and 3, analog rows follow the digital ones.
constexpr mib_variable port(std::initializer_list<uint32_t> oid, uint8_t type, const DbObject& o) {
    return column2(oid, type, o, AUX_TYPES, AUX_DIGITAL_PORTS, mib_formula::second).hooked(&kPort);
}

// The rows below either root; `rows` of them are served (8 or 9).
template <size_t N>
constexpr std::array<mib_variable, N> aux_rows(std::initializer_list<uint32_t> root,
                                               uint32_t resolution_max) {
    const mib_variable rows[] = {
        scalar({1, 0}, MIB_INTEGER, obj::maxAuxIOv2TableNumDigitalPorts).range(0, 255),
        scalar({2, 0}, MIB_INTEGER, obj::maxAuxIOv2TableNumAnalogPorts).range(0, 255),
        port({3, 1, 1, 255}, MIB_INTEGER, obj::auxIOv2PortType).list({1, 2, 3}),
        port({3, 1, 2, 255}, MIB_INTEGER, obj::auxIOv2PortNumber).range(1, 255),
        port({3, 1, 3, 255}, MIB_OCTETSTR, obj::auxIOv2PortDescription)
            .rw()
            .len(0, 255)
            .mask(AUX_IO_MASK),
        port({3, 1, 4, 255}, MIB_INTEGER, obj::auxIOv2PortResolution)
            .rw()
            .range(1, resolution_max)
            .mask(AUX_IO_MASK),
        port({3, 1, 5, 255}, MIB_INTEGER, obj::auxIOv2PortValue)
            .rw()
            .range(0, 0xFFFFFFFFu)
            .mask(AUX_IO_MASK)
            .hooked(&kPortValue),
        port({3, 1, 6, 255}, MIB_INTEGER, obj::auxIOv2PortDirection)
            .rw()
            .list({1, 2, 3})
            .mask(AUX_IO_MASK),
        port({3, 1, 7, 255}, MIB_INTEGER, obj::auxIOv2PortLastCommandedState)
            .rw()
            .list({1, 2, 3})
            .mask(AUX_IO_MASK),
    };
    const auto all = under(root, rows);
    std::array<mib_variable, N> out{};
    for (size_t i = 0; i < N; ++i)
        out[i] = all[i];
    return out;
}

constexpr auto kGlobalRows = aux_rows<9>({1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 7}, 255);
constexpr auto kOlderRows = aux_rows<8>({1, 3, 6, 1, 4, 1, 1206, 2, 1, 1}, 32);

} // namespace

const mib_table global_auxio_table = table(kGlobalRows);
const mib_table auxio_table = table(kOlderRows);
