// The pixel test board's measurement (see pixel_test_board.h).
#include "peripherals/io/pixel_test_board.h"

#include "runtime/os.h"

#include <cstring>

namespace {

const uint32_t RESULT_WAITS = 30;
const ULONG RESULT_WAIT_TICKS = 2;
const uint8_t ALL_FRAMES = 0x7;

} // namespace

CPixelTestBoard::CPixelTestBoard(uint16_t id) : CPeripheral(CLASS_CODE, id) {
    mutex_created_ = os_mutex_create(&mutex_, "PTB Mutex", 1) == OS_OK;
}

CPixelTestBoard::~CPixelTestBoard() {
    if (mutex_created_) os_mutex_delete(&mutex_);
    for (io_bridge* bridge : listeners_)
        if (bridge != nullptr) bridge->BoardGone();
}

void CPixelTestBoard::OnStatusReport(const uint8_t image[IO_IMAGE_BYTES]) {
    std::memcpy(status_image_, image, IO_IMAGE_BYTES);
}

void CPixelTestBoard::AddListener(io_bridge* bridge) {
    for (io_bridge*& slot : listeners_) {
        if (slot != nullptr) continue;
        slot = bridge;
        return;
    }
}

void CPixelTestBoard::RemoveListener(io_bridge* bridge) {
    for (io_bridge*& slot : listeners_)
        if (slot == bridge) slot = nullptr;
}

void CPixelTestBoard::StartTest() {
    {
        CInterruptLock masked;
        received_ = 0;
    }
    SendTestCommand();
}

bool CPixelTestBoard::SendTestCommand() {
    return false;
}

void CPixelTestBoard::OnResultFrame(uint32_t number, const uint8_t readings[READINGS_PER_FRAME]) {
    if (number < 1 || number > RESULT_FRAMES || !readings) return;
    CInterruptLock masked;
    std::memcpy(frames_[number - 1], readings, READINGS_PER_FRAME);
    received_ = uint8_t(received_ | 1u << (number - 1));
}

bool CPixelTestBoard::ReadResults(uint8_t* buffer, uint32_t capacity) {
    if (!buffer || capacity < READINGS) return false;
    std::memset(buffer, 0, capacity);
    for (uint32_t wait = 0; wait < RESULT_WAITS; ++wait) {
        {
            CInterruptLock masked;
            if (received_ == ALL_FRAMES) {
                for (uint32_t f = 0; f < RESULT_FRAMES; ++f)
                    std::memcpy(buffer + READINGS_PER_FRAME * f, frames_[RESULT_FRAMES - 1 - f],
                                READINGS_PER_FRAME);
                return true;
            }
        }
        tx_thread_sleep(RESULT_WAIT_TICKS);
    }
    return false;
}

void CPixelTestBoard::Poll() {
    if (!mutex_created_ || os_mutex_get(&mutex_, OS_WAIT_FOREVER) != OS_OK) return;
    os_mutex_put(&mutex_);
}
