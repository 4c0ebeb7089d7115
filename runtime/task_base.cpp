#include "runtime/task_base.h"

#include "runtime/console.h"
#include "runtime/os.h"
#include "runtime/post_office.h"

#include <cstring>

namespace {

const uint8_t STACK_FILL = 0xEF;
const uint32_t TICKS_PER_SECOND = 100;

uint32_t board_address(const void* p) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p));
}

// The tasks that exist, by slot: the kernel hands a thread entry and a timer
// function a 32-bit input, the slot, from which the common entries find their
// task. Tasks are constructed before the kernel starts.
const uint32_t TASK_SLOTS = 32;
CTaskBase* g_task_slots[TASK_SLOTS] = {};

uint32_t take_slot(CTaskBase* task) {
    for (uint32_t slot = 0; slot < TASK_SLOTS; slot++)
        if (!g_task_slots[slot]) {
            g_task_slots[slot] = task;
            return slot;
        }
    return TASK_SLOTS;
}

void slot_thread_entry(ULONG slot) {
    if (slot < TASK_SLOTS && g_task_slots[slot]) g_task_slots[slot]->ThreadEntry();
}

void slot_timer_entry(ULONG slot) {
    if (slot < TASK_SLOTS && g_task_slots[slot]) g_task_slots[slot]->TimerExpired();
}

} // namespace

CTaskBase::CTaskBase(const task_row& row) : row_(row), slot_(take_slot(this)) {}

CTaskBase::~CTaskBase() {
    if (slot_ < TASK_SLOTS) g_task_slots[slot_] = nullptr;
}

int CTaskBase::Start(TX_BYTE_POOL& pool) {
    if (slot_ >= TASK_SLOTS) {
        console_printf("%s Creation Error:%d!\n", row_.name, 0);
        return 0;
    }
    return Create(pool, slot_thread_entry, slot_timer_entry);
}

uint32_t CTaskBase::Run() {
    runs_++;
    return 0;
}

int CTaskBase::Create(TX_BYTE_POOL& pool, tx_entry_fn entry, tx_entry_fn timer_function) {
    void* stack = nullptr;
    os_status status = os_byte_allocate(&pool, &stack, row_.stack_size, OS_NO_WAIT);
    if (status != OS_OK) {
        console_printf("%s Allocation Error:%d! Ptr:%08x, Size:%d\n", row_.name, status,
                       board_address(stack), row_.stack_size);
        return 0;
    }
    memset(stack, STACK_FILL, row_.stack_size);

    // The flag group and the timer come before the thread: when one of them
    // fails nothing runs on the stack yet, so it can be given back.
    status = os_event_flags_create(&flags_, row_.name);
    if (status != OS_OK) {
        console_printf("%s Creation Error:%d!\n", row_.name, status);
        os_byte_release(stack);
        return 0;
    }
    if (timer_function) {
        status = os_timer_create(&timer_, row_.name, timer_function, row_.first_tick, row_.period,
                                 1, slot_);
        if (status != OS_OK) {
            console_printf("%s Creation Error:%d!\n", row_.name, status);
            os_event_flags_delete(&flags_);
            os_byte_release(stack);
            return 0;
        }
    }
    UINT rc = tx_thread_create(&thread_, row_.name, entry, slot_, stack, row_.stack_size,
                               row_.priority, row_.priority, row_.time_slice, TX_AUTO_START);
    if (rc != TX_SUCCESS) {
        console_printf("%s Creation Error:%d! Stack:%d, Priority:%d, Time Slice:%d\n", row_.name,
                       rc, row_.stack_size, row_.priority, row_.time_slice);
        if (timer_function) os_timer_delete(&timer_);
        os_event_flags_delete(&flags_);
        os_byte_release(stack);
        return 0;
    }
    stack_ = static_cast<uint8_t*>(stack);
    if (timer_function) {
        runs_per_second_ = static_cast<uint8_t>(TICKS_PER_SECOND / row_.period);
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
    row_.period = period;
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
    if (now != previous + row_.period) {
        console_printf("warning %s ticks:%d, desired %d\n", row_.name,
                       static_cast<int>(now - previous), static_cast<int>(row_.period));
        late_steps_++;
        ChangePeriod(row_.period);
        // The timer now counts the period from this step: an expiry that came
        // while the step was late belongs to the old schedule and must not
        // start another step at once.
        uint32_t pending = 0;
        os_event_flags_get(&flags_, task_timer_flag, OS_EVENT_OR_CLEAR, &pending, OS_NO_WAIT);
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
    trace_printf("%s Start...\n", row_.life.start_text ? row_.life.start_text : row_.name);
    Initialize();
    PostLetter(row_.life.first_letter);
    PostLetter(row_.life.start_letter);
    PostLetter(row_.life.alive_letter);
    for (;;) {
        // A request (send_and_wait) aborts the wait so that it is served at once.
        os_event_flags_get(&flags_, task_timer_flag, OS_EVENT_OR_CLEAR, &actual, OS_WAIT_FOREVER);
        PostLetter(row_.life.alive_letter);
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
    if (letter.code() == 0) return false;
    uint32_t code = letter.code();
    if (code == row_.life.stack_letter)
        ReportStack();
    else if (code == row_.life.suspend_letter)
        SuspendSelf();
    else if (code == row_.life.resume_letter)
        ResumeSelf();
    else if (code == row_.life.terminate_letter)
        TerminateSelf();
    else
        return false;
    return true;
}

int CTaskBase::StackUsed() const {
    if (!stack_) return -1;
    for (uint32_t i = 0; i < row_.stack_size; i++)
        if (stack_[i] != STACK_FILL) return static_cast<int>(row_.stack_size - i);
    return -1;
}

void CTaskBase::ReportStack() const {
    int used = StackUsed();
    if (used < 0 || !row_.life.stack_line) return;
    uint32_t start = board_address(stack_);
    console_printf(row_.life.stack_line, used, row_.stack_size, start, start + row_.stack_size,
                   start + (row_.stack_size - used));
}

void CTaskBase::SuspendSelf() {
    if (row_.life.suspend_line) console_printf("%s", row_.life.suspend_line);
    PostLetter(row_.life.stop_letter);
    Suspend();
}

void CTaskBase::ResumeSelf() {
    if (row_.life.resume_line) console_printf("%s", row_.life.resume_line);
    PostLetter(row_.life.start_letter);
    Resume();
}

void CTaskBase::TerminateSelf() {
    PostLetter(row_.life.stop_letter);
    os_timer_deactivate(&timer_);
    tx_thread_terminate(&thread_);
}
