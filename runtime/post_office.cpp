#include "runtime/post_office.h"

#include <cstring>
#include <new>

namespace {

const uint32_t MAX_CODES = 65535;
const uint32_t WAKE_POLL_TICKS = 30;

timer_scheduler& scheduler() {
    timer_scheduler* s = global_timer_scheduler();
    return s ? *s : *timer_scheduler_tx_rtos::instance();
}

} // namespace

// ---- letter ----

void letter_s::copy_from(const letter_s& other) {
    assign_key(other);
    count = other.count;
    memcpy(data, other.data, sizeof data);
    reply_letter = other.reply_letter;
    wake_id = other.wake_id;
}

void letter_s::put_u16(unsigned offset, uint16_t value) {
    if (offset + 2 > sizeof data) return;
    data[offset] = static_cast<uint8_t>(value >> 8);
    data[offset + 1] = static_cast<uint8_t>(value);
}

void letter_s::put_u32(unsigned offset, uint32_t value) {
    if (offset + 4 > sizeof data) return;
    put_u16(offset, static_cast<uint16_t>(value >> 16));
    put_u16(offset + 2, static_cast<uint16_t>(value));
}

uint16_t letter_s::get_u16(unsigned offset) const {
    if (offset + 2 > sizeof data) return 0;
    return static_cast<uint16_t>(data[offset] << 8 | data[offset + 1]);
}

uint32_t letter_s::get_u32(unsigned offset) const {
    if (offset + 4 > sizeof data) return 0;
    return static_cast<uint32_t>(get_u16(offset)) << 16 | get_u16(offset + 2);
}

// ---- mailbox ----

mailbox::mailbox(unsigned letters, unsigned limit) : limit_(limit) {
    free_.init();
    queue_.init();
    for (unsigned i = 0; i < letters; i++) {
        letter_s* l = new (std::nothrow) letter_s();
        if (!l) break;
        free_.push_back(l);
        total_++;
    }
}

mailbox::~mailbox() {
    CInterruptLock masked;
    for (impl::list* l : {&free_, &queue_})
        for (impl::node* n = l->head(); n; n = n->next)
            n->delete_on_removal = 1;
    free_.clear();
    queue_.clear();
}

// A free letter, a new one below the limit, or (urgent only) the newest
// queued letter, which is lost. Null when the new letter must be dropped.
letter_s* mailbox::take_letter(int urgent) {
    letter_s* letter = static_cast<letter_s*>(free_.head());
    if (letter) {
        free_.remove(letter);
        return letter;
    }
    if (total_ < limit_) {
        letter = new (std::nothrow) letter_s();
        if (letter) {
            total_++;
            return letter;
        }
    }
    letter = urgent ? static_cast<letter_s*>(queue_.tail()) : nullptr;
    if (letter) queue_.remove(letter);
    dropped_++;
    return letter;
}

int mailbox::put(const letter_s& letter, int urgent) {
    letter_s* copy = take_letter(urgent);
    if (!copy) return 0;
    copy->copy_from(letter);
    return urgent ? queue_.push_front(copy) : queue_.push_back(copy);
}

int mailbox::get(letter_s** letter) {
    if (!letter) return 0;
    *letter = static_cast<letter_s*>(queue_.head());
    if (!*letter) return 0;
    queue_.remove(*letter);
    return 1;
}

void mailbox::give_back(letter_s* letter) {
    if (letter) free_.push_back(letter);
}

// ---- subscriber ----

subscriber::subscriber(post_office& office, TX_EVENT_FLAGS_GROUP* group, uint32_t flag_mask,
                       TX_THREAD* thread)
    : office_(office), group_(group), flag_mask_(flag_mask), thread_(thread) {}

subscriber::~subscriber() {
    detach();
}

int subscriber::attach(const uint32_t* codes) {
    if (state_ == ATTACHED || !codes || !office_.add(this)) return 0;
    codes_ = codes;
    state_ = ATTACHED;
    return 1;
}

int subscriber::detach() {
    if (state_ != ATTACHED) return 0;
    office_.remove(this);
    state_ = DETACHED;
    return 1;
}

int subscriber::wants(uint32_t code) const {
    if (state_ != ATTACHED) return 0;
    for (uint32_t i = 0; i < MAX_CODES && codes_[i] != 0; i++)
        if (codes_[i] == code) return 1;
    return 0;
}

int subscriber::deliver(const letter_s& letter, int urgent) {
    if (state_ != ATTACHED) return 0;
    {
        CInterruptLock masked;
        mailbox_.put(letter, urgent); // a copy that cannot be made is lost
    }
    if (group_) tx_event_flags_set(group_, flag_mask_, TX_OR);
    return 1;
}

int subscriber::receive(letter_s** letter) {
    if (state_ != ATTACHED) return 0;
    CInterruptLock masked;
    return mailbox_.get(letter);
}

void subscriber::release(letter_s* letter) {
    CInterruptLock masked;
    mailbox_.give_back(letter);
}

void subscriber::wake() {
    if (!thread_) return;
    if (tx_thread_resume(thread_) != TX_SUCCESS) tx_thread_wait_abort(thread_);
}

// ---- wake event ----

void wake_thread_event::fire() {
    if (armed_ && thread_) tx_thread_resume(thread_);
}

void wake_thread_event::set(uint32_t now, uint32_t ticks) {
    timer_event::set(now, ticks);
    armed_ = true;
}

// ---- post office ----

int post_office::add(subscriber* s) {
    if (!s) return 0;
    for (subscriber*& slot : slots_)
        if (!slot) {
            slot = s;
            return 1;
        }
    return 0;
}

int post_office::remove(subscriber* s) {
    if (!s) return 0;
    for (subscriber*& slot : slots_)
        if (slot == s) {
            slot = nullptr;
            return 1;
        }
    return 0;
}

void post_office::post(uint32_t code) {
    dispatch(letter_s(code));
}

void post_office::dispatch(const letter_s& letter) {
    for (subscriber* s : slots_)
        if (s && s->wants(letter.code())) s->deliver(letter, 0);
}

int post_office::send_and_wait(letter_s& request, letter_s& reply) {
    TX_THREAD* self = tx_thread_identify();
    if (&request == &reply || !self) return 0;
    wake_thread_event* event = new (std::nothrow) wake_thread_event(self);
    if (!event) return 0;
    request.reply_letter = &reply;
    request.wake_id = scheduler().add(event, WAKE_POLL_TICKS, true);
    if (request.wake_id == 0) {
        delete event;
        return 0;
    }
    subscriber* target = nullptr;
    for (unsigned i = 0; i < SLOTS && !target; i++)
        if (slots_[i] && slots_[i]->wants(request.code())) target = slots_[i];
    if (!target) {
        scheduler().remove(request.wake_id);
        return 0;
    }
    target->deliver(request, 1);
    target->wake();
    tx_thread_suspend(self);
    scheduler().remove(request.wake_id);
    return 1;
}

int post_office::reply(const letter_s& request, const letter_s& answer) {
    letter_s* target = request.reply_letter;
    if (!target) return 0;
    target->assign_key(answer);
    target->count = answer.count;
    memcpy(target->data, answer.data, sizeof target->data);
    scheduler().command(request.wake_id, 1);
    tx_thread_relinquish();
    return 1;
}

post_office& the_post_office() {
    static post_office office;
    return office;
}
