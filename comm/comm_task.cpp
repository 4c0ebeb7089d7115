#include "comm/comm_task.h"

#include "runtime/task_table.h"

comm_task::comm_task(post_office& office) : CMailTask(task_row_of(TASK_COMMUNICATION), office) {}

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
