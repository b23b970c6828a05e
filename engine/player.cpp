#include "engine/player.h"

#include "engine/mixer.h"
#include "engine/player_engine.h"

namespace tunekiln {

std::atomic<std::int32_t> selectedOutput{0};
std::uint32_t totalSeconds = 0;

Player::~Player() {
  commands.post({.number = PLAYER_CMD_QUIT});
  thread.join();
}

std::unique_ptr<Player> player_create(NotificationSink& window, EngineSlotsFactory makeSlots,
                                      const MasterVolumeOpener& openMixer) {
  auto player = std::make_unique<Player>(window);
  player->thread = std::thread([&engineOf = *player, makeSlots = std::move(makeSlots)] {
    PlayerEngine engine(engineOf, makeSlots());
    engine.run();
  });
  mixer_setup(*player, openMixer);
  return player;
}

void player_open(Player& player, std::optional<std::string> name) {
  player.commands.post({.number = PLAYER_CMD_OPEN, .name = std::move(name)});
}

void player_seek(Player& player, std::uint32_t numerator, std::uint32_t denominator) {
  player.commands.post({.number = PLAYER_CMD_SEEK, .first = numerator, .second = denominator});
}

void player_play(Player& player) { player.commands.post({.number = PLAYER_CMD_PLAY}); }

void player_stop(Player& player) { player.commands.post({.number = PLAYER_CMD_STOP}); }

void player_pause(Player& player) { player.commands.post({.number = PLAYER_CMD_PAUSE}); }

void player_select_output(Player& player) { player.commands.post({.number = PLAYER_CMD_SELECT_OUTPUT}); }

void player_set_volume(Player& player, std::uint32_t level) {
  player.commands.post({.number = PLAYER_CMD_SET_VOLUME, .first = level});
}

void player_post(Player& player, PlayerCommand command) { player.commands.post(std::move(command)); }

void store_stream_info(const StreamInfo& info) { totalSeconds = static_cast<std::uint32_t>(info.lengthSeconds); }

}  // namespace tunekiln
