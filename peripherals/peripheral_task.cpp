#include "peripherals/peripheral_task.h"

#include "runtime/os.h"

namespace {

const uint32_t PERIPHERAL_CODES[] = {60,  61,  62,  63,  1,  2,  3,   4,   5,   23,  26,  29,
                                     30,  79,  80,  81,  83, 76, 78,  84,  85,  86,  87,  89,
                                     90,  35,  36,  92,  93, 94, 95,  108, 109, 111, 112, 117,
                                     120, 121, 122, 125, 51, 52, 127, 128, 0};

// Its terminate letter (60) does not end the thread: handled below.
const task_profile PERIPHERAL_PROFILE = {
    "Peripheral Task",
    0,
    LETTER_PERIPHERAL_START,
    LETTER_PERIPHERAL_ALIVE,
    LETTER_PERIPHERAL_STOP,
    0,
    LETTER_PERIPHERAL_SUSPEND,
    LETTER_PERIPHERAL_RESUME,
    LETTER_PERIPHERAL_STACK,
    "Peripheral Stack Used: %d/%d. 0x%08X-0x%08X Current:0x%08X\n",
    "Suspending peripheral task\n",
    "Resuming peripheral task\n",
};

} // namespace

CPeripheralTask::CPeripheralTask(post_office& office)
    : CMailTask("Peripheral", 6144, 2, 0, 10, 50, &PERIPHERAL_PROFILE, PERIPHERAL_CODES, office) {}

int CPeripheralTask::Start(TX_BYTE_POOL& pool) {
    return Create(pool, task_thread_entry<CPeripheralTask, ThePeripheralTask>,
                  task_timer_entry<CPeripheralTask, ThePeripheralTask>);
}

void CPeripheralTask::HandleLetter(const letter_s& letter) {
    switch (letter.code()) {
    case LETTER_PERIPHERAL_TERMINATE:
        // The front panel's restart text comes with the front-panel subsystem.
        PostLetter(LETTER_PERIPHERAL_STOP);
        os_timer_deactivate(Timer());
        break;
    case LETTER_CONTROLLED_RESET: {
        // The front panel shows "CONTROLLED RESET" once it exists; the reply lets the requester go
        // on.
        letter_s answer(LETTER_CONTROLLED_RESET_ACK);
        Mail().office().reply(letter, answer);
        break;
    }
    default:
        // The peripheral letters come with the peripheral subsystem.
        break;
    }
}

CPeripheralTask& ThePeripheralTask() {
    static CPeripheralTask task(the_post_office());
    return task;
}
