// The post office: short letters between the tasks. A task attaches a
// subscriber with the list of codes it wants; any thread posts a code or a
// letter and every interested subscriber gets a copy in its mailbox and the
// flag bit in its task's event-flag group. One request/reply form
// (send_and_wait / reply) lets a thread wait for the answer of another task.
#pragma once

#include "platform/kernel/kernel.h"
#include "runtime/letter_codes.h"
#include "runtime/list.h"
#include "runtime/timer_scheduler.h"

#include <cstdint>

class post_office;

// One letter: the node's key is the letter code. The data bytes' layout is
// fixed per code; multi-byte values are big-endian (put_u16/put_u32 helpers).
// A request sent with send_and_wait carries the requester's reply letter and
// the id of its wake event; on the host these travel in their own fields
// (a host pointer does not fit the 4 data bytes the board uses for it) and
// are copied with the data.
struct letter_s final : impl::node {
    letter_s() = default;
    explicit letter_s(uint32_t letter_code) { key = letter_code; }

    uint32_t code() const { return key; }
    void set_code(uint32_t letter_code) { key = letter_code; }
    // Copies code, second key word, count, data and the request fields.
    void copy_from(const letter_s& other);

    void put_u16(unsigned offset, uint16_t value);
    void put_u32(unsigned offset, uint32_t value);
    uint16_t get_u16(unsigned offset) const;
    uint32_t get_u32(unsigned offset) const;

    uint16_t count = 0;
    uint8_t data[16] = {};
    letter_s* reply_letter = nullptr; // requester's reply letter; null when posted
    uint32_t wake_id = 0;             // the requester's wake event in the timer scheduler
};

// A subscriber's letters: a free list and the queue (oldest first). Callers
// mask external interrupts around every operation (the subscriber does).
//
// A full mailbox grows by one letter at a time, up to `limit` letters: a task
// that stopped reading (suspended, hung) must not eat the memory. Past the
// limit a new letter is dropped, and an urgent one takes the place of the
// newest queued letter; every letter lost so is counted.
class mailbox {
  public:
    static constexpr unsigned LETTER_LIMIT = 256;

    explicit mailbox(unsigned letters = 10, unsigned limit = LETTER_LIMIT);
    virtual ~mailbox();
    // -> 1 when queued (a new letter is allocated when the free list is
    // empty); 0 when it was dropped.
    int put(const letter_s& letter, int urgent);
    // -> 1 with the head of the queue unlinked, 0 when empty.
    int get(letter_s** letter);
    // Hands a letter taken with get back to the free list.
    void give_back(letter_s* letter);

    uint32_t queued() const { return queue_.count(); }
    uint32_t free_letters() const { return free_.count(); }
    uint32_t total() const { return total_; }
    uint32_t dropped() const { return dropped_; }

  private:
    letter_s* take_letter(int urgent);

    impl::list free_;
    impl::list queue_;
    uint32_t total_ = 0;
    uint32_t limit_;
    uint32_t dropped_ = 0;
};

class subscriber {
  public:
    enum : uint8_t { NEW = 0, DETACHED = 1, ATTACHED = 2 };

    subscriber(post_office& office, TX_EVENT_FLAGS_GROUP* group, uint32_t flag_mask,
               TX_THREAD* thread);
    virtual ~subscriber();

    // codes: 0-terminated, not copied. -> 1; 0 when attached, null or office full.
    int attach(const uint32_t* codes);
    int detach();
    int wants(uint32_t code) const;
    // -> 1 delivered (copy at the front when urgent), 0 when not attached.
    int deliver(const letter_s& letter, int urgent);
    // -> 1 with the oldest queued letter, 0 when empty or not attached.
    int receive(letter_s** letter);
    // Hands a received letter back to the mailbox's free list.
    void release(letter_s* letter);
    // Resume the task's thread; when it was not suspended, abort its wait.
    void wake();

    uint8_t state() const { return state_; }
    const mailbox& letters() const { return mailbox_; }
    post_office& office() { return office_; }

  private:
    post_office& office_;
    TX_EVENT_FLAGS_GROUP* group_;
    uint32_t flag_mask_;
    const uint32_t* codes_ = nullptr;
    uint8_t state_ = NEW;
    mailbox mailbox_;
    TX_THREAD* thread_;
};

// The timed record that resumes a thread waiting in send_and_wait: it does
// nothing until armed by set() (the reply's scheduler command).
class wake_thread_event : public timer_event {
  public:
    explicit wake_thread_event(TX_THREAD* thread) : thread_(thread) {}
    void fire() override;
    void set(uint32_t now, uint32_t ticks) override;
    bool armed() const { return armed_; }

  private:
    TX_THREAD* thread_;
    bool armed_ = false;
};

class post_office {
  public:
    static const unsigned SLOTS = 10;

    post_office() = default;
    virtual ~post_office() = default;

    int add(subscriber* s);    // 0 for null or all slots taken
    int remove(subscriber* s); // 0 for null or not present
    // A code-only letter to every interested subscriber, in slot order.
    void post(uint32_t code);
    // A copy of the letter at the back of every interested mailbox, in slot order.
    void dispatch(const letter_s& letter);
    // Deliver the request (urgent) to the first interested subscriber and
    // suspend the calling thread until it replies. -> 1 when the reply came,
    // 0 when request and reply are one object, nobody wants the code, or the
    // caller is not a thread.
    int send_and_wait(letter_s& request, letter_s& reply);
    // Copy the answer into the requester's reply letter and wake it on the
    // next tick. -> 0 when the request was posted, not sent.
    int reply(const letter_s& request, const letter_s& answer);

    subscriber* slot(unsigned index) const { return index < SLOTS ? slots_[index] : nullptr; }

  private:
    subscriber* slots_[SLOTS] = {};
};

// The one post office of the system.
post_office& the_post_office();
