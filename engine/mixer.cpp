#include "engine/mixer.h"

#include <algorithm>

namespace tunekiln {
namespace {

// One step of the 0..100 scale in the server's units (level 100 is 65500, not 65536).
constexpr std::uint32_t kScale = 655;

}  // namespace

void mixer_setup(Player& player, const MasterVolumeOpener& openMixer) {
  player.mixer.reset();
  player.mixer = openMixer();
  if (player.mixer) player_set_volume(player, 100);
}

std::uint32_t mixer_get_volume(Player& player) {
  if (player.mixer) {
    if (const auto value = player.mixer->get()) return *value / kScale;
    player.mixer.reset();  // the server has gone: the buttons carry on without it
  }
  return player.fallbackLevel;
}

void mixer_set_volume(Player& player, std::uint32_t level) {
  level = std::min<std::uint32_t>(level, 100);
  if (player.mixer) {
    if (player.mixer->set(level * kScale)) return;
    player.mixer.reset();
  }
  player.fallbackLevel = level;
  player_set_volume(player, level);
}

}  // namespace tunekiln
