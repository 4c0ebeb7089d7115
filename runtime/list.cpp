#include "runtime/list.h"

namespace impl {

node& node::assign_key(const node& other) {
    key = other.key;
    key2 = other.key2;
    return *this;
}

list::~list() {
    clear();
}

int list::init() {
    if (ready()) return 0;
    head_ = tail_ = nullptr;
    count_ = 0;
    state_ = READY;
    return 1;
}

int list::clear() {
    if (!ready()) return 0;
    while (pop_front()) {
    }
    state_ = CLEARED;
    return 1;
}

int list::push_front(node* n) {
    if (!ready() || !n) return 0;
    n->prev = nullptr;
    n->next = head_;
    if (head_)
        head_->prev = n;
    else
        tail_ = n;
    head_ = n;
    ++count_;
    return 1;
}

int list::push_back(node* n) {
    if (!ready() || !n) return 0;
    n->next = nullptr;
    n->prev = tail_;
    if (tail_)
        tail_->next = n;
    else
        head_ = n;
    tail_ = n;
    ++count_;
    return 1;
}

void list::unlink(node* n) {
    if (n->prev)
        n->prev->next = n->next;
    else
        head_ = n->next;
    if (n->next)
        n->next->prev = n->prev;
    else
        tail_ = n->prev;
    n->prev = n->next = nullptr;
    --count_;
}

void list::dispose(node* n) {
    if (n->delete_on_removal) delete n;
}

int list::pop_front() {
    if (!ready() || !head_) return 0;
    node* n = head_;
    unlink(n);
    dispose(n);
    return 1;
}

int list::remove(node* n) {
    if (!ready() || !n || count_ == 0) return 0;
    unlink(n);
    dispose(n);
    return 1;
}

node* list::find(const uint32_t* key) const {
    if (!ready() || !key) return nullptr;
    for (node* n = head_; n; n = n->next)
        if (n->key == *key) return n;
    return nullptr;
}

int list::remove_key(const uint32_t* key) {
    node* n = find(key);
    return n ? remove(n) : 0;
}

int list::iterator::next() {
    if (current_) current_ = current_->next;
    return current_ != nullptr;
}

int list::iterator::reset(const list* l) {
    if (!l) return 0;
    list_ = l;
    current_ = l->head_;
    return 1;
}

} // namespace impl
