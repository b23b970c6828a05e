#include "shell/gui_notification_sink.h"

namespace tunekiln {

wxDEFINE_EVENT(EVT_PLAYER_NOTIFICATION, wxThreadEvent);

void GuiNotificationSink::post(PlayerNotification notification) {
  auto* event = new wxThreadEvent(EVT_PLAYER_NOTIFICATION);
  event->SetPayload(std::move(notification));
  std::lock_guard lock(mutex_);
  if (receiver_ != nullptr) {
    wxQueueEvent(receiver_, event);
  } else {
    delete event;
  }
}

void GuiNotificationSink::disconnect() {
  std::lock_guard lock(mutex_);
  receiver_ = nullptr;
}

}  // namespace tunekiln
