#pragma once

#include <optional>

#include "engine/player_messages.h"
#include "platform/message_queue.h"

namespace tunekiln {

// Where the engine reports to: the window, the command line or a test.
class NotificationSink {
 public:
  virtual ~NotificationSink() = default;
  // Called on the engine thread; hands the notification over without waiting for the receiver.
  virtual void post(PlayerNotification notification) = 0;
};

// A sink that queues the notifications for a thread of the receiver's to take in order.
class NotificationQueue final : public NotificationSink {
 public:
  void post(PlayerNotification notification) override { queue_.post(std::move(notification)); }
  // Waits for the next notification.
  PlayerNotification next() { return queue_.waitAndTake(); }
  // The next notification, or nothing when none is queued.
  std::optional<PlayerNotification> poll() { return queue_.take(); }

 private:
  MessageQueue<PlayerNotification> queue_;
};

}  // namespace tunekiln
