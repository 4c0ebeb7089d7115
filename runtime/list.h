// Intrusive containers of the firmware: impl::list, a doubly linked list whose
// links live inside the nodes (linking never allocates), and impl::fifo, a
// fixed ring of values. Neither has a lock: users serialise access themselves
// (mailboxes and the job queue mask external interrupts, others use mutexes).
#pragma once

#include <cstddef>
#include <cstdint>

namespace impl {

// A list element. The comparisons look at the key alone; the second key word
// travels with the key (assign_key, mailbox copies) and means nothing to the list.
class node {
  public:
    node() = default;
    node(const node&) = delete;
    node& operator=(const node&) = delete;
    virtual ~node() = default;

    virtual bool less(const node& other) const { return key < other.key; }
    virtual bool greater(const node& other) const { return key > other.key; }
    virtual bool equal(const node& other) const { return key == other.key; }
    virtual node& assign_key(const node& other);

    uint32_t key = 0;
    uint32_t key2 = 0;
    uint32_t reserved_word = 0;
    node* prev = nullptr;
    node* next = nullptr;
    uint8_t reserved_byte = 0;
    // When nonzero, pop_front, remove and clear destroy the node (deleting).
    uint8_t delete_on_removal = 0;
};

class list {
  public:
    enum : uint32_t { CONSTRUCTED = 0, CLEARED = 1, READY = 2 };

    list() = default;
    list(const list&) = delete;
    list& operator=(const list&) = delete;
    virtual ~list();

    // Every operation but init refuses (0 or null) while the list is not ready.
    int init();  // 0 when already ready
    int clear(); // pop_front until empty, then not ready
    int push_front(node* n);
    int push_back(node* n);
    int pop_front();
    int remove(node* n); // n must be on this list
    node* find(const uint32_t* key) const;
    int remove_key(const uint32_t* key);

    node* head() const { return head_; }
    node* tail() const { return tail_; }
    uint32_t count() const { return count_; }
    uint32_t state() const { return state_; }
    bool ready() const { return state_ >= READY; }

    class iterator {
      public:
        explicit iterator(const list& l) : list_(&l), current_(l.head_) {}
        int next();               // nonzero while there is a current node
        int reset(const list* l); // 0 for a null list
        node* current() const { return current_; }

      private:
        const list* list_;
        node* current_;
    };

  private:
    void unlink(node* n);
    void dispose(node* n);

    node* head_ = nullptr;
    node* tail_ = nullptr;
    uint32_t state_ = CONSTRUCTED;
    uint32_t count_ = 0;
};

// A fixed ring of up to N values (CAN packets, display-bus bytes).
template <typename T, size_t N> class fifo {
  public:
    bool push(const T& value) {
        if (full()) return false;
        items_[(first_ + size_) % N] = value;
        ++size_;
        return true;
    }
    bool pop(T* out) {
        if (empty() || !out) return false;
        *out = items_[first_];
        first_ = (first_ + 1) % N;
        --size_;
        return true;
    }
    const T* front() const { return empty() ? nullptr : &items_[first_]; }
    void clear() { first_ = size_ = 0; }
    size_t size() const { return size_; }
    static constexpr size_t capacity() { return N; }
    bool empty() const { return size_ == 0; }
    bool full() const { return size_ == N; }

  private:
    T items_[N] = {};
    size_t first_ = 0;
    size_t size_ = 0;
};

} // namespace impl
