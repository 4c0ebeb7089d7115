#include "runtime/task_base.h"

#include "console/console.h"
#include "runtime/os.h"
#include "runtime/post_office.h"

#include <cstring>

namespace {

const uint8_t STACK_FILL = 0xEF;
const uint32_t TICKS_PER_SECOND = 100;

uint32_t board_address(const void* p) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p));
}

} // namespace

CTaskBase::CTaskBase(const char* name, uint32_t stack_size, uint32_t priority, uint32_t time_slice,
                     uint32_t first_tick, uint32_t period, const task_profile* profile)
    : name_(name), stack_size_(stack_size), priority_(priority), time_slice_(time_slice),
      timer_initial_(first_tick), timer_period_(period), profile_(profile) {}

uint32_t CTaskBase::Run() {
    runs_++;
    return 0;
}

int CTaskBase::Create(TX_BYTE_POOL& pool, tx_entry_fn entry, tx_entry_fn timer_function) {
    void* stack = nullptr;
    os_status status = os_byte_allocate(&pool, &stack, stack_size_, OS_NO_WAIT);
    if (status != OS_OK) {
        console_printf("%s Allocation Error:%d! Ptr:%08x, Size:%d\n", name_, status,
                       board_address(stack), stack_size_);
        return 0;
    }
    memset(stack, STACK_FILL, stack_size_);

    // The flag group and the timer come before the thread: when one of them
    // fails nothing runs on the stack yet, so it can be given back.
    status = os_event_flags_create(&flags_, name_);
    if (status != OS_OK) {
        console_printf("%s Creation Error:%d!\n", name_, status);
        os_byte_release(stack);
        return 0;
    }
    if (timer_function) {
        status = os_timer_create(&timer_, name_, timer_function, timer_initial_, timer_period_, 1);
        if (status != OS_OK) {
            console_printf("%s Creation Error:%d!\n", name_, status);
            os_event_flags_delete(&flags_);
            os_byte_release(stack);
            return 0;
        }
    }
    UINT rc = tx_thread_create(&thread_, name_, entry, 0, stack, stack_size_, priority_, priority_,
                               time_slice_, TX_AUTO_START);
    if (rc != TX_SUCCESS) {
        console_printf("%s Creation Error:%d! Stack:%d, Priority:%d, Time Slice:%d\n", name_, rc,
                       stack_size_, priority_, time_slice_);
        if (timer_function) os_timer_delete(&timer_);
        os_event_flags_delete(&flags_);
        os_byte_release(stack);
        return 0;
    }
    stack_ = static_cast<uint8_t*>(stack);
    if (timer_function) {
        runs_per_second_ = static_cast<uint8_t>(TICKS_PER_SECOND / timer_period_);
        creation_tick_ = tx_time_get();
    }
    state_ = CREATED;
    return 1;
}

int CTaskBase::Suspend() {
    os_timer_deactivate(&timer_);
    tx_thread_suspend(&thread_);
    return 1;
}

int CTaskBase::Resume() {
    os_timer_activate(&timer_);
    tx_thread_resume(&thread_);
    return 1;
}

int CTaskBase::ChangePeriod(uint32_t period) {
    if (period == 0) return 0;
    uint32_t previous = 0;
    os_timer_deactivate(&timer_);
    os_status status = os_timer_change(&timer_, period, period, &previous);
    os_timer_activate(&timer_);
    if (status != OS_OK) return 0;
    timer_period_ = period;
    runs_per_second_ = static_cast<uint8_t>(TICKS_PER_SECOND / period);
    return 1;
}

void CTaskBase::GetUptimeSeconds(uint32_t* seconds) const {
    if (seconds && runs_per_second_ != 0) *seconds = timer_expirations_ / runs_per_second_;
}

void CTaskBase::GetUptime(struct tm* calendar) const {
    if (!calendar || runs_per_second_ == 0) return;
    uint32_t s = 0;
    GetUptimeSeconds(&s);
    calendar->tm_sec = s % 60;
    calendar->tm_min = s / 60 % 60;
    calendar->tm_hour = s / 3600 % 24;
    calendar->tm_yday = s / 86400 % 365;
    calendar->tm_year = s / 31536000;
}

void CTaskBase::CheckLateStep() {
    const uint32_t now = tx_time_get();
    const uint32_t previous = stepped_ ? previous_step_tick_ : creation_tick_;
    if (now != previous + timer_period_) {
        console_printf("warning %s ticks:%d, desired %d\n", name_, static_cast<int>(now - previous),
                       static_cast<int>(timer_period_));
        late_steps_++;
        ChangePeriod(timer_period_);
    }
    stepped_ = true;
    previous_step_tick_ = now;
}

void CTaskBase::TimerExpired() {
    timer_expirations_++;
    os_event_flags_set(&flags_, task_timer_flag, OS_EVENT_OR);
}

void CTaskBase::PostLetter(uint32_t code) const {
    if (code) the_post_office().post(code);
}

void CTaskBase::ThreadEntry() {
    uint32_t actual = 0;
    os_event_flags_get(&flags_, task_timer_flag, OS_EVENT_OR_CLEAR, &actual, OS_WAIT_FOREVER);
    trace_printf("%s Start...\n", profile_ ? profile_->start_text : name_);
    Initialize();
    if (profile_) {
        PostLetter(profile_->first_letter);
        PostLetter(profile_->start_letter);
        PostLetter(profile_->alive_letter);
    }
    for (;;) {
        // A request (send_and_wait) aborts the wait so that it is served at once.
        os_event_flags_get(&flags_, task_timer_flag, OS_EVENT_OR_CLEAR, &actual, OS_WAIT_FOREVER);
        if (profile_) PostLetter(profile_->alive_letter);
        Run();
    }
}

void CTaskBase::DrainMailbox(subscriber& mail) {
    letter_s* received = nullptr;
    while (mail.receive(&received)) {
        // Work on a copy, so that the letter is back in the mailbox even when
        // the handling ends the thread (terminate) or suspends it.
        letter_s letter;
        letter.copy_from(*received);
        mail.release(received);
        if (!HandleMaintenanceLetter(letter)) HandleLetter(letter);
    }
}

bool CTaskBase::HandleMaintenanceLetter(const letter_s& letter) {
    if (!profile_ || letter.code() == 0) return false;
    uint32_t code = letter.code();
    if (code == profile_->stack_letter)
        ReportStack();
    else if (code == profile_->suspend_letter)
        SuspendSelf();
    else if (code == profile_->resume_letter)
        ResumeSelf();
    else if (code == profile_->terminate_letter)
        TerminateSelf();
    else
        return false;
    return true;
}

int CTaskBase::StackUsed() const {
    if (!stack_) return -1;
    for (uint32_t i = 0; i < stack_size_; i++)
        if (stack_[i] != STACK_FILL) return static_cast<int>(stack_size_ - i);
    return -1;
}

void CTaskBase::ReportStack() const {
    int used = StackUsed();
    if (used < 0 || !profile_ || !profile_->stack_line) return;
    uint32_t start = board_address(stack_);
    console_printf(profile_->stack_line, used, stack_size_, start, start + stack_size_,
                   start + (stack_size_ - used));
}

void CTaskBase::SuspendSelf() {
    if (profile_ && profile_->suspend_line) console_printf("%s", profile_->suspend_line);
    if (profile_) PostLetter(profile_->stop_letter);
    Suspend();
}

void CTaskBase::ResumeSelf() {
    if (profile_ && profile_->resume_line) console_printf("%s", profile_->resume_line);
    if (profile_) PostLetter(profile_->start_letter);
    Resume();
}

void CTaskBase::TerminateSelf() {
    if (profile_) PostLetter(profile_->stop_letter);
    os_timer_deactivate(&timer_);
    tx_thread_terminate(&thread_);
}
