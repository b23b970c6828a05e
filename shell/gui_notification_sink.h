#pragma once

#include <wx/event.h>

#include "engine/notification_sink.h"

namespace tunekiln {

// Carries a PlayerNotification to the window's thread.
wxDECLARE_EVENT(EVT_PLAYER_NOTIFICATION, wxThreadEvent);

// Queues the engine's notifications as events of the receiver, which handles them on the
// window's thread in the order they were posted. The receiver must outlive the engine thread.
class GuiNotificationSink final : public NotificationSink {
 public:
  explicit GuiNotificationSink(wxEvtHandler& receiver) : receiver_(receiver) {}
  void post(PlayerNotification notification) override;

 private:
  wxEvtHandler& receiver_;
};

}  // namespace tunekiln
