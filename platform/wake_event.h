#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace tunekiln {

// A waiter that sleeps on several things at once and must hear of each of them.
class WakeListener {
 public:
  virtual void wake() = 0;

 protected:
  ~WakeListener() = default;
};

// An auto-reset event: any thread may signal it; the waiter that sees it resets it, so several
// signals before that count as one.
class WakeEvent {
 public:
  WakeEvent() = default;
  WakeEvent(const WakeEvent&) = delete;
  WakeEvent& operator=(const WakeEvent&) = delete;

  void signal() {
    std::lock_guard lock(mutex_);
    signalled_ = true;
    changed_.notify_all();
    // Under the event's lock, so the listener cannot go away meanwhile.
    if (listener_ != nullptr) listener_->wake();
  }

  // True when the event was signalled; it is reset again.
  bool consume() {
    std::lock_guard lock(mutex_);
    const bool was = signalled_;
    signalled_ = false;
    return was;
  }

  // Waits at most `limit` for the event alone; true when it came (it is reset again).
  bool waitFor(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    const bool came = changed_.wait_for(lock, limit, [this] { return signalled_; });
    signalled_ = false;
    return came;
  }

  // While set, every signal also wakes `listener`. The listener never holds a lock of its own
  // while calling this, which keeps the lock order event before listener.
  void setListener(WakeListener* listener) {
    std::lock_guard lock(mutex_);
    listener_ = listener;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool signalled_ = false;
  WakeListener* listener_ = nullptr;
};

}  // namespace tunekiln
