#include "runtime/mail_task.h"

CMailTask::CMailTask(const task_row& row, post_office& office)
    : CTaskBase(row), mail_(office, &flags_, task_letter_flag, &thread_) {
    const uint32_t maintenance[] = {row.life.terminate_letter, row.life.suspend_letter,
                                    row.life.resume_letter, row.life.stack_letter};
    unsigned count = 0;
    for (uint32_t code : maintenance)
        if (code != 0) codes_[count++] = code;
    for (const uint32_t* code = row.letters; code && *code != 0 && count < MAX_LETTERS; code++)
        codes_[count++] = *code;
}
