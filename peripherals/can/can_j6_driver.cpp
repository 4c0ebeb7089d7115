// The controller board's CAN driver (see can_j6_driver.h).
#include "peripherals/can/can_j6_driver.h"

#include "display/epld.h"
#include "runtime/console.h"
#include "runtime/os.h"

namespace {

const uint32_t SEND_PAUSE = 2; // ticks after each frame handed to the chip

void epld_refusal() {
    trace_printf("CCANJ6Driver::Initialize: epld not programmed\n");
}

} // namespace

CCANJ6Driver::~CCANJ6Driver() {
    if (initialised_) isr_unregister(INTERRUPT_SOURCE);
}

int CCANJ6Driver::Initialize(uint32_t, uint32_t, uint32_t) {
    if (!initialised_) {
        if (os_mutex_create(&mutex_, "canj6drv", TX_INHERIT) != OS_OK) return 0;
        isr_register(INTERRUPT_SOURCE, this);
        initialised_ = true;
    }
    if (os_mutex_get(&mutex_, OS_WAIT_FOREVER) != OS_OK) return 0;
    int ready = 0;
    if (epld_programmed()) {
        chip_.Init(CMCP2510::EXTENDED_IDS, CMCP2510::RATE_CODE, 1);
        ready = 1;
    } else {
        epld_refusal();
    }
    os_mutex_put(&mutex_);
    return ready;
}

// A chip never set up (the buses attached before the EPLD was programmed) or
// in an error state is set up before the frame goes out. The
// result is what the chip took: a frame that found no free transmit buffer,
// an unprogrammed EPLD or a chip never set up counts as a failed send.
int CCANJ6Driver::Send(uint32_t identifier, uint8_t flags, uint8_t length, const uint8_t* data,
                       uint8_t) {
    if (data == nullptr || length == 0 || !initialised_) return 0;
    if (os_mutex_get(&mutex_, OS_WAIT_FOREVER) != OS_OK) return 0;
    int taken = 0;
    if (!epld_programmed()) {
        epld_refusal();
    } else {
        if (!chip_.Initialised()) {
            // The buses attached before the display programmed the EPLD.
            chip_.Init(CMCP2510::EXTENDED_IDS, CMCP2510::RATE_CODE, 1);
        } else if (chip_.IsBusOff()) {
            trace_printf("reinitializing MCP2510 due to bus off state\n");
            chip_.Init(CMCP2510::EXTENDED_IDS, CMCP2510::RATE_CODE, 1);
        }
        taken = chip_.WriteFrame(identifier, flags & CAN_FLAG_REMOTE, length, data);
        if (taken) {
            ++frames_sent;
            os_sleep(SEND_PAUSE);
        }
    }
    os_mutex_put(&mutex_);
    return taken;
}

bool CCANJ6Driver::ReadOne() {
    if (!chip_.ReadFrame(&rx_identifier_, &rx_remote_, &rx_length_, rx_data_)) return false;
    can_packet packet(rx_identifier_, rx_remote_ ? CAN_FLAG_REMOTE : 0, rx_length_, rx_data_);
    Deliver(packet);
    return true;
}

// The interrupt is an edge: while either receive buffer still holds a frame
// the chip's INT stays low and no new edge would come, so the handler reads
// until both are empty.
void CCANJ6Driver::OnInterrupt() {
    if (!epld_programmed()) return;
    ReadOne();
    for (int i = 1; i < MAX_FRAMES_PER_INTERRUPT && chip_.ReceivePending(); ++i)
        ReadOne();
}
