// The display lock "Activate Msg": one kernel mutex, with priority
// inheritance, around everything that draws or names the message on show:
// the displayed message, the MULTI parser, the renderer and its sign surface,
// the task's scratch message, the activation road and the brightness
// control. The SNMP agent's and the web server's threads take it for an
// activation, a validation or a graphic request, the peripheral task's thread
// for a brightness update; the display thread takes it for each unit of its step.
// It is never held across a sleep or while waiting for a lock other than the
// object store's (which is always taken after it, never before).
#pragma once

#include "platform/kernel/kernel.h"

class display_lock {
  public:
    // Creates the mutex once (the display configuration); later calls do nothing.
    void Create();
    bool Created() const { return created_; }
    // The kernel mutex; null before Create.
    TX_MUTEX* Mutex() { return created_ ? &mutex_ : nullptr; }
    // Waits for the mutex (recursive for its owner). -> false when it could
    // not be taken: not created yet, or asked outside a thread.
    bool Take();
    void Release();

  private:
    TX_MUTEX mutex_{};
    bool created_ = false;
};

// Holds the lock for a scope; held() tells whether it was obtained.
class display_guard {
  public:
    explicit display_guard(display_lock& lock) : lock_(lock), held_(lock.Take()) {}
    ~display_guard() {
        if (held_) lock_.Release();
    }
    display_guard(const display_guard&) = delete;
    display_guard& operator=(const display_guard&) = delete;
    bool held() const { return held_; }

  private:
    display_lock& lock_;
    bool held_;
};
