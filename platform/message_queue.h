#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>

#include "platform/wake_event.h"

namespace tunekiln {

// Why a wait for "a message or a wake event" ended.
enum class WaitResult {
  message,    // a message is queued
  wakeEvent,  // the event was signalled (and is reset again)
  timeLimit,  // neither came in time
};

// A thread's message queue: any thread posts, one thread takes, first in first out. A message
// is a value with a `number` field; whatever data it carries it owns, so a message that is
// dropped or left behind frees its data with it.
template <typename Message>
class MessageQueue final : private WakeListener {
 public:
  MessageQueue() = default;
  MessageQueue(const MessageQueue&) = delete;
  MessageQueue& operator=(const MessageQueue&) = delete;

  void post(Message message) {
    {
      std::lock_guard lock(mutex_);
      messages_.push_back(std::move(message));
    }
    changed_.notify_all();
  }

  // The oldest message, or nothing when the queue is empty.
  std::optional<Message> take() {
    std::lock_guard lock(mutex_);
    if (messages_.empty()) return std::nullopt;
    Message oldest = std::move(messages_.front());
    messages_.pop_front();
    return oldest;
  }

  // Waits for the oldest message and takes it.
  Message waitAndTake() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !messages_.empty(); });
    Message oldest = std::move(messages_.front());
    messages_.pop_front();
    return oldest;
  }

  // True when a message of this number is queued.
  bool waiting(std::uint32_t number) const {
    std::lock_guard lock(mutex_);
    for (const auto& message : messages_) {
      if (message.number == number) return true;
    }
    return false;
  }

  // Sleeps until a message is queued.
  void waitForMessage() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !messages_.empty(); });
  }

  // Sleeps until a message is queued or `event` is signalled, at most `limit`. A signalled
  // event wins over a queued message, as the event is what asks for work to be done.
  WaitResult waitForMessageOr(WakeEvent& event, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    event.setListener(this);
    WaitResult result = WaitResult::timeLimit;
    for (;;) {
      std::unique_lock lock(mutex_);
      const std::uint64_t seen = wakeups_;
      lock.unlock();  // the event's lock is never taken under the queue's
      if (event.consume()) {
        result = WaitResult::wakeEvent;
        break;
      }
      lock.lock();
      if (!messages_.empty()) {
        result = WaitResult::message;
        break;
      }
      // A signal after the look above has moved `wakeups_` on, so it cannot be missed.
      if (!changed_.wait_until(lock, deadline, [&] { return !messages_.empty() || wakeups_ != seen; })) break;
    }
    event.setListener(nullptr);
    return result;
  }

 private:
  void wake() override {
    {
      std::lock_guard lock(mutex_);
      ++wakeups_;
    }
    changed_.notify_all();
  }

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Message> messages_;
  std::uint64_t wakeups_ = 0;
};

}  // namespace tunekiln
