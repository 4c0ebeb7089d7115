// CMailTask: a CTaskBase with its post-office subscriber. It subscribes to
// its row's maintenance letters and to the letters the row says it takes.
// Its Run step drains the mailbox: the maintenance letters of the task's
// profile are handled in common, every other letter goes to HandleLetter.
#pragma once

#include "runtime/post_office.h"
#include "runtime/task_base.h"

class CMailTask : public CTaskBase {
  public:
    // The most letters one task takes (maintenance letters included).
    static constexpr unsigned MAX_LETTERS = 63;

    CMailTask(const task_row& row, post_office& office);

    // Attach the subscriber with the task's code list. -> 1 when attached.
    int Subscribe() { return mail_.attach(codes_); }

    uint32_t Run() override {
        CTaskBase::Run();
        DrainMailbox(mail_);
        return 0;
    }

    subscriber& Mail() { return mail_; }
    // The maintenance letters, then the row's letters; 0-terminated.
    const uint32_t* Codes() const { return codes_; }

  protected:
    subscriber mail_;
    uint32_t codes_[MAX_LETTERS + 1] = {};
};
