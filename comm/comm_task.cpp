#include "comm/comm_task.h"

#include "runtime/task_profiles.h"

namespace {

const uint32_t COMM_CODES[] = {97, 98, 99, 100, 105, 106, 107, 110, 115, 119, 67, 0};

} // namespace

comm_task::comm_task(post_office& office)
    : CMailTask("Communication", 8192, 2, 0, 1000, 200, task_profile_of(TASK_COMMUNICATION),
                COMM_CODES, office) {}

int comm_task::Start(TX_BYTE_POOL& pool) {
    return Create(pool, task_thread_entry<comm_task, the_comm_task>,
                  task_timer_entry<comm_task, the_comm_task>);
}

void comm_task::HandleLetter(const letter_s& letter) {
    if (letter.code() == LETTER_PING) {
        letter_s answer(LETTER_PING_ANSWER);
        Mail().office().reply(letter, answer);
    }
    // Port, channel, DHCP, feature and community letters come with the communication subsystem.
}

int InitNTCIPObjects(uint8_t** cursor) {
    // The agents and their ports come with the communication subsystem.
    (void)cursor;
    return 1;
}

comm_task& the_comm_task() {
    static comm_task task(the_post_office());
    return task;
}
