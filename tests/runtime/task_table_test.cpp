#include "runtime/task_table.h"

#include "runtime/letter_codes.h"
#include "runtime/mail_task.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

std::vector<uint32_t> listed(const uint32_t* codes) {
    std::vector<uint32_t> out;
    for (; codes && *codes != 0; codes++)
        out.push_back(*codes);
    return out;
}

bool is_letter(uint32_t code) {
    return code >= LETTER_CODE_FIRST && code <= LETTER_CODE_LAST;
}

// The rows' invariants in one loop: names and console names unique, a thread
// the kernel can run, every letter a known code taken once, each maintenance
// letter belonging to one task only, and the supervision letters complete or
// absent.
TEST(TaskTable, EveryRowIsARunnableTaskWithItsOwnLetters) {
    std::set<std::string> names, command_names;
    std::set<uint32_t> maintenance;
    for (unsigned i = 0; i < TASK_COUNT; i++) {
        const task_row& row = task_row_of(static_cast<task_index>(i));
        SCOPED_TRACE(row.name);
        EXPECT_TRUE(names.insert(row.name).second);
        EXPECT_TRUE(command_names.insert(row.command_name).second);
        EXPECT_GE(row.stack_size, 1000u);
        EXPECT_GE(row.priority, 1u);
        EXPECT_GE(row.first_tick, 1u);
        EXPECT_GE(row.period, 1u);

        const task_profile& life = row.life;
        for (uint32_t code :
             {life.terminate_letter, life.suspend_letter, life.resume_letter, life.stack_letter}) {
            EXPECT_TRUE(is_letter(code)) << code;
            EXPECT_TRUE(maintenance.insert(code).second) << code;
        }
        bool supervised = life.start_letter != 0;
        EXPECT_EQ(supervised, life.alive_letter != 0);
        EXPECT_EQ(supervised, life.stop_letter != 0);
        EXPECT_NE(nullptr, life.stack_line);

        CMailTask task(row, the_post_office());
        std::vector<uint32_t> codes = listed(task.Codes());
        EXPECT_EQ(4 + listed(row.letters).size(), codes.size());
        EXPECT_LE(codes.size(), CMailTask::MAX_LETTERS);
        std::set<uint32_t> once;
        for (uint32_t code : codes) {
            EXPECT_TRUE(is_letter(code)) << code;
            EXPECT_TRUE(once.insert(code).second) << code;
        }
    }
}

} // namespace
