#include "peripherals/auto_detect.h"

#include "peripherals/pl_iterator.h"

#include <initializer_list>

namespace {

// Rows of one board kind at consecutive identifiers.
constexpr auto_detect_row row(uint16_t id, uint32_t can_id, uint32_t alternate = 0,
                              uint16_t third = 0) {
    return {id, can_id, alternate, third, 0};
}

} // namespace

// clang-format off
const auto_detect_row AUTO_DETECT_ROWS[] = {
    // light sensors
    row(1, 0x42004), row(2, 0x42003, 0x42005), row(3, 0x42002, 0x42001),
    // temperature sensors
    row(12, 0x42104, 0x42101), row(13, 0x42105), row(14, 0x42106), row(15, 0x42107),
    row(11, 0x42108),
    // humidity sensors
    row(630, 0x42901), row(631, 0x42905), row(633, 0x42906), row(634, 0x42907), row(632, 0x42908),
    // mini DC I/O boards
    row(590, 0x42221), row(591, 0x42222), row(592, 0x42223), row(593, 0x42224), row(594, 0x42225),
    row(595, 0x42226),
    // AC I/O board
    row(490, 0x42601),
    row(680, 0x42A01), row(681, 0x42A02), row(682, 0x42A03), row(683, 0x42A04), row(684, 0x42A05),
    row(685, 0x42A06), row(686, 0x42A07), row(687, 0x42A08), row(688, 0x42A09), row(689, 0x42A0A),
    row(690, 0x42A0B), row(691, 0x42A0C), row(692, 0x42A0D), row(693, 0x42A0E), row(694, 0x42A0F),
    row(695, 0x42A10), row(696, 0x42A11), row(697, 0x42A12), row(698, 0x42A13), row(699, 0x42A14),
    row(555, 0x42E01, 0, 1), row(556, 0x42E02, 0, 1),
    // pixel test boards
    row(750, 0x42B01), row(751, 0x42B02), row(752, 0x42B03), row(753, 0x42B04),
    row(794, 0x43001), row(795, 0x43002), row(796, 0x43003), row(797, 0x43004), row(798, 0x43005),
    row(799, 0x43006), row(800, 0x43007), row(801, 0x43008),
};
// clang-format on
const unsigned AUTO_DETECT_ROW_COUNT = sizeof AUTO_DETECT_ROWS / sizeof AUTO_DETECT_ROWS[0];

const uint8_t AUTO_DETECT_BUS_CODES[3] = {1, 2, 4};
const uint32_t AUTO_DETECT_PROBE_IDS[9] = {0x42000, 0x42010, 0x42100, 0x42900, 0x42220,
                                           0x42A00, 0x42E00, 0x42B00, 0x43000};

namespace {

bool answered(CPeripheralDetector& detector, uint32_t can_id, uint8_t channel) {
    uint32_t id = 0;
    uint8_t ch = 0;
    for (bool more = detector.First(&id, &ch); more; more = detector.Next(&id, &ch))
        if (id == can_id && ch == channel) return true;
    return false;
}

// The row's identifier that answered: its CAN identifier, else its alternate.
uint32_t found_identifier(CPeripheralDetector& detector, const auto_detect_row& r) {
    for (uint32_t can_id : {r.can_id, r.alternate})
        if (can_id != 0 && answered(detector, can_id, r.channel)) return can_id;
    return 0;
}

} // namespace

void add_detected_peripherals(CPeripheralDetector& detector, uint8_t bus_code) {
    pl_iterator list;
    for (unsigned i = 0; i < AUTO_DETECT_ROW_COUNT; ++i) {
        const auto_detect_row& r = AUTO_DETECT_ROWS[i];
        const uint32_t can_id = found_identifier(detector, r);
        if (can_id == 0) continue;
        if (r.third != 0)
            list.Add(r.id, "%X,%X,%X", unsigned(can_id), unsigned(bus_code), unsigned(r.third));
        else
            list.Add(r.id, "%X,%X", unsigned(can_id), unsigned(bus_code));
    }
}
