#include "shell/gui_notification_sink.h"

namespace tunekiln {

wxDEFINE_EVENT(EVT_PLAYER_NOTIFICATION, wxThreadEvent);

void GuiNotificationSink::post(PlayerNotification notification) {
  auto* event = new wxThreadEvent(EVT_PLAYER_NOTIFICATION);
  event->SetPayload(std::move(notification));
  wxQueueEvent(&receiver_, event);
}

}  // namespace tunekiln
