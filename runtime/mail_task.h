// CMailTask: a CTaskBase with its post-office subscriber and code list. Its
// Run step drains the mailbox: the maintenance letters of the task's profile
// are handled in common, every other letter goes to HandleLetter.
#pragma once

#include "runtime/post_office.h"
#include "runtime/task_base.h"

class CMailTask : public CTaskBase {
  public:
    CMailTask(const char* name, uint32_t stack_size, uint32_t priority, uint32_t time_slice,
              uint32_t first_tick, uint32_t period, const task_profile* profile,
              const uint32_t* codes, post_office& office)
        : CTaskBase(name, stack_size, priority, time_slice, first_tick, period, profile),
          mail_(office, &flags_, task_letter_flag, &thread_), codes_(codes) {}

    // Attach the subscriber with the task's code list. -> 1 when attached.
    int Subscribe() { return mail_.attach(codes_); }

    uint32_t Run() override {
        CTaskBase::Run();
        DrainMailbox(mail_);
        return 0;
    }

    subscriber& Mail() { return mail_; }
    const uint32_t* Codes() const { return codes_; }

  protected:
    subscriber mail_;
    const uint32_t* codes_;
};
