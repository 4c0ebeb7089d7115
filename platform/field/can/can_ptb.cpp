// The ptb kind: a pixel test board. It measures six power-supply voltages
// (keys v0 to v5, tenths of a volt) and, for the sign's pixel test, the light
// of the display modules, both read with command 00:
//   measure   00 01 01 00 ...: frame 1 bytes 4-7 channels 4, 5, 2, 3; frame 2
//             bytes 4-5 channels 0, 1
//   pixel test 00 01 01 01 06 ...: twelve module readings, 0-3 in bytes 4-7 of
//             frame 3, 4-7 in frame 2, 8-11 in frame 1
// Byte 1 of each reply frame is its number. A module's reading is 40 for each
// of its LEDs that lights now (at most 255), so one lit LED stands well above
// the dark reading of a blank sign and a dead one does not.
#include "platform/field/can/can_board.h"
#include "platform/field/display_failures.h"

namespace field {

namespace {

const unsigned FIRST_BYTE = 4;
const unsigned READINGS_PER_FRAME = 4, PIXEL_FRAMES = 3;
const uint32_t LIGHT_PER_LED = 40, READING_MAX = 255;
const uint8_t PIXEL_TEST_MARK = 0x01; // request byte 3

// {frame number, byte} of each voltage channel.
const uint8_t CHANNEL_FRAME[6] = {2, 2, 1, 1, 1, 1};
const uint8_t CHANNEL_BYTE[6] = {4, 5, 6, 7, 4, 5};
const char* const CHANNEL_KEY[6] = {"v0", "v1", "v2", "v3", "v4", "v5"};

unsigned measurement(const CanBoard& board, uint8_t frames[][8]) {
    for (unsigned f = 0; f < 2; ++f)
        frames[f][1] = uint8_t(f + 1);
    for (unsigned c = 0; c < 6; ++c)
        frames[CHANNEL_FRAME[c] - 1][CHANNEL_BYTE[c]] = uint8_t(board.Number(CHANNEL_KEY[c]));
    return 2;
}

unsigned pixel_test(uint8_t frames[][8]) {
    const std::vector<uint32_t> light = host::module_light();
    for (unsigned f = 0; f < PIXEL_FRAMES; ++f) {
        frames[f][1] = uint8_t(f + 1);
        // Frame f + 1 carries modules 4 * (2 - f) and the three after.
        for (unsigned i = 0; i < READINGS_PER_FRAME; ++i) {
            const size_t module = READINGS_PER_FRAME * (PIXEL_FRAMES - 1 - f) + i;
            const uint32_t lit = module < light.size() ? light[module] : 0;
            const uint32_t reading = lit * LIGHT_PER_LED;
            frames[f][FIRST_BYTE + i] = uint8_t(reading > READING_MAX ? READING_MAX : reading);
        }
    }
    return PIXEL_FRAMES;
}

} // namespace

unsigned ptb_read_frames(const CanBoard& board, const uint8_t* request, uint8_t frames[][8]) {
    return request[3] == PIXEL_TEST_MARK ? pixel_test(frames) : measurement(board, frames);
}

} // namespace field
