#pragma once

#include <wx/event.h>

#include <mutex>

#include "engine/notification_sink.h"

namespace tunekiln {

// Carries a PlayerNotification to the window's thread.
wxDECLARE_EVENT(EVT_PLAYER_NOTIFICATION, wxThreadEvent);

// Queues the engine's notifications as events of the receiver, which handles them on the
// window's thread in the order they were posted, until the receiver disconnects.
class GuiNotificationSink final : public NotificationSink {
 public:
  explicit GuiNotificationSink(wxEvtHandler& receiver) : receiver_(&receiver) {}
  void post(PlayerNotification notification) override;
  // The receiver is going away: later notifications are dropped.
  void disconnect();

 private:
  std::mutex mutex_;
  wxEvtHandler* receiver_;
};

}  // namespace tunekiln
