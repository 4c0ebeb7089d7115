// Private diagnostic and status objects that the display, the peripherals
// and the front panel keep in the store:
//   halv 1   the test-pattern selector (1 normal display) and the 16-bit
//            detail of each failed pixel the display recorded, by detection
//            type (2 and 3; type 1 has none) and number (1..500);
//   halv 5   face error counts, humidity figures and status codes, with a
//            four-row table that a walk passes over;
//   halv 6   a text shown in message fields, also fed by the UDP text channel;
//   halv 11  the display engine's diagnostic result registry: 26 entries
//            with 63 result lines each, its size limit and index ranges.
// Apart from the test pattern, the front-panel password, the text and the
// result size limit, everything here is read-only.
#include "ntcip/objects/private.h"

#include <cstring>

namespace {

using namespace mibdef;

constexpr uint16_t DETAIL_TYPES = 3;
constexpr uint16_t DETAIL_NUMBERS = 500;
constexpr uint32_t FIRST_DETAIL_TYPE = 2;
constexpr uint16_t STATUS_ROWS = 4;
constexpr uint16_t RESULT_ENTRIES = obj::kResultEntries;
constexpr uint16_t RESULT_LINES = obj::kResultLinesPerEntry;
constexpr uint16_t RESULT_RANGES = 2;

enum index_tag : uint32_t { DATA = 0, FIRST_INDEX = 1, SECOND_INDEX = 2 };

// The index columns of a two-index table answer the indexes of the row.
bool read_index_pair(mib_request& request, uint32_t row) {
    const mib_column& c = request.row.column;
    if (c.tag == DATA) return false;
    mib_answer_integer(request, c.tag == FIRST_INDEX ? row / c.max2 + 1 : row % c.max2 + 1);
    return true;
}

// Detection type 1 has no failure detail: a GET or SET of it names nothing,
// and a walk steps from it to type 2 number 1.
int pixel_detail_instance(mib_request& request) {
    const uint32_t L = request.row.oid_length; // type at L - 1, number at L
    uint32_t* name = request.name;
    const bool under_column =
        *request.length == L + 1 && std::memcmp(name, request.row.oid, (L - 1) * 4) == 0;
    if (request.mode == MIB_GETNEXT && under_column && name[L - 1] == 1) {
        name[L - 1] = FIRST_DETAIL_TYPE;
        name[L] = 1;
    }
    const uint32_t maxima[2] = {DETAIL_TYPES, DETAIL_NUMBERS};
    if (header_table(request, maxima, 2) != 0 || name[L - 1] < FIRST_DETAIL_TYPE) return -1;
    return int((name[L - 1] - 1) * DETAIL_NUMBERS + name[L] - 1);
}

constexpr mib_hooks kPixelDetail = {pixel_detail_instance, read_index_pair, nullptr};
constexpr mib_hooks kIndexPair = {nullptr, read_index_pair, nullptr};

constexpr mib_variable detail(uint32_t c, index_tag tag) {
    return column2({2, 1, c, MIB_PLACEHOLDER}, MIB_INTEGER, obj::halvObj1_2_1_3, DETAIL_TYPES,
                   DETAIL_NUMBERS)
        .range(1, 65535)
        .hooked(&kPixelDetail, tag);
}

constexpr auto kTestPatternRows = under(
    {1, 3, 6, 1, 4, 1, 1206, 3, 11, 1},
    {
        scalar({1, 0}, MIB_INTEGER, obj::halvObj1_1).rw().range(1, 255).mask(HALV_MASK_DIAGNOSTICS),
        detail(1, FIRST_INDEX),
        detail(2, SECOND_INDEX),
        detail(3, DATA),
    });

// --- halv 5 and 6 ---------------------------------------------------------------------

constexpr mib_variable figure(uint32_t x, const DbObject& o) {
    return scalar({x, 0}, MIB_INTEGER, o);
}

constexpr auto kStatusRows =
    under({1, 3, 6, 1, 4, 1, 1206, 3, 11, 5},
          {
              figure(3, obj::halvObj5_3).range(0, 65535),
              figure(4, obj::halvObj5_4).range(0, 65535),
              figure(5, obj::halvLCDPassword).rw(),
              figure(7, obj::halvObj5_7).range(0, 100),
              figure(8, obj::halvObj5_8).range(0, 100),
              figure(9, obj::halvObj5_9).range(0, 100),
              column({10, 1, 1, MIB_PLACEHOLDER}, MIB_INTEGER, obj::halvObj5_10_1_2, STATUS_ROWS)
                  .range(0, 10)
                  .hooked(&mib_index_hooks)
                  .indexes(0),
              column({10, 1, 2, MIB_PLACEHOLDER}, MIB_INTEGER, obj::halvObj5_10_1_2, STATUS_ROWS)
                  .range(0, 65535)
                  .indexes(0),
              figure(11, obj::panynjObj1_4).range(0, 7),
              figure(12, obj::halvObj5_12).range(0, 255),
              figure(13, obj::halvObj5_13).list({1, 2, 3}),
          });

constexpr auto kTextRows = under({1, 3, 6, 1, 4, 1, 1206, 3, 11, 6},
                                 {
                                     figure(1, obj::halvObj6_1),
                                     scalar({2, 0}, MIB_OCTETSTR, obj::halvObj6_2).rw(),
                                 });

// --- halv 11 --------------------------------------------------------------------------

constexpr mib_variable entry(uint32_t c, uint8_t type, const DbObject& o) {
    return column({2, 1, c, MIB_PLACEHOLDER}, type, o, RESULT_ENTRIES);
}
constexpr mib_variable line(uint32_t c, uint8_t type, index_tag tag) {
    return column2({3, 1, c, MIB_PLACEHOLDER}, type, obj::halvObj11_3_1_3, RESULT_ENTRIES,
                   RESULT_LINES)
        .hooked(&kIndexPair, tag);
}
constexpr mib_variable range_bound(uint32_t c, const DbObject& o) {
    return column({6, 1, c, MIB_PLACEHOLDER}, MIB_INTEGER, o, RESULT_RANGES).range(1, 255);
}

constexpr auto kResultRows =
    under({1, 3, 6, 1, 4, 1, 1206, 3, 11, 11},
          {
              figure(1, obj::halvObj11_1).range(0, 255),
              index_column({2, 1, 1, MIB_PLACEHOLDER}, RESULT_ENTRIES).range(1, 255),
              entry(2, MIB_OCTETSTR, obj::halvObj11_2_1_2).len(0, 64),
              entry(3, MIB_INTEGER, obj::halvObj11_2_1_3).range(1, 255),
              entry(4, MIB_INTEGER, obj::halvObj11_2_1_4).range(1, 65535),
              entry(5, MIB_INTEGER, obj::halvObj11_2_1_5).list({1, 2, 3, 4}),
              entry(6, MIB_INTEGER, obj::halvObj11_2_1_6).range(1, 255),
              entry(7, MIB_INTEGER, obj::halvObj11_2_1_7).range(1, 255),
              entry(8, MIB_OCTETSTR, obj::halvObj11_2_1_8),
              line(1, MIB_INTEGER, FIRST_INDEX).range(1, 255),
              line(2, MIB_INTEGER, SECOND_INDEX).range(1, 255),
              line(3, MIB_OCTETSTR, DATA),
              figure(4, obj::halvObj11_4).rw().range(1, 1500),
              figure(5, obj::halvObj11_5).range(1, 255),
              index_column({6, 1, 1, MIB_PLACEHOLDER}, RESULT_RANGES).range(1, 255),
              range_bound(2, obj::halvObj11_6_1_2),
              range_bound(3, obj::halvObj11_6_1_3),
          });

} // namespace

const mib_table halv_test_pattern_table = table(kTestPatternRows);
const mib_table halv_status_table = table(kStatusRows);
const mib_table halv_text_table = table(kTextRows);
const mib_table halv_results_table = table(kResultRows);
