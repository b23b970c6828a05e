#include "cli/engine_session.h"

#include <cstdio>

namespace tunekiln {

std::string clock_text(std::uint32_t seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%u:%02u:%02u", seconds / 3600, seconds / 60 % 60, seconds % 60);
  return text;
}

bool refused_before_pong(NotificationQueue& notifications) {
  bool refused = false;
  for (;;) {
    const auto notification = notifications.next();
    if (notification.number == PLAYER_NTF_PONG) return refused;
    refused = refused || (notification.number == PLAYER_NTF_STATE && notification.first == PLAYER_STATE_NO_STREAM);
  }
}

}  // namespace tunekiln
