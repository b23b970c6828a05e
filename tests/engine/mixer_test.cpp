// The volume buttons' mixer functions on the 655 scale, with and without a system mixer.
#include <gtest/gtest.h>

#include "engine/mixer.h"
#include "tests/engine/engine_doubles.h"

namespace tunekiln::test {
namespace {

using Lines = std::vector<std::string>;

// A master volume held in memory; it can stop answering, as when the sound server goes away.
struct VolumeState {
  std::uint32_t value = 65536;
  bool gone = false;
};

class MasterVolumeDouble final : public MasterVolume {
 public:
  explicit MasterVolumeDouble(VolumeState& state) : state_(state) {}
  std::optional<std::uint32_t> get() override {
    if (state_.gone) return std::nullopt;
    return state_.value;
  }
  bool set(std::uint32_t value) override {
    if (state_.gone) return false;
    state_.value = value;
    return true;
  }

 private:
  VolumeState& state_;
};

class Mixer : public ::testing::Test {
 protected:
  // A player whose sound card is a test output, opened and playing so that it hears SET_VOLUME.
  void start(bool withMixer) {
    auto slots = std::make_shared<EngineSlots>();
    const StreamInfo tenSeconds{.lengthSeconds = 10, .sampleRate = 1000, .stereo = 1, .sixteenBit = 1};
    slots->decoders[1] =
        std::make_unique<TestDecoder>("wav", log, std::map<std::string, TestStream>{{"a.wav", {tenSeconds, 40000}}});
    slots->outputs[0] = std::make_unique<TestOutput>("card", log);
    selectedOutput = 0;
    player = player_create(notifications, [slots] { return std::move(*slots); }, opener(withMixer));
    player_open(*player, "a.wav");
    player_play(*player);
    sync();
  }

  MasterVolumeOpener opener(bool withMixer) {
    if (!withMixer) return [] { return std::unique_ptr<MasterVolume>(); };
    return [this] { return std::make_unique<MasterVolumeDouble>(volume); };
  }

  // Waits until the engine has handled everything posted so far.
  void sync() {
    player_post(*player, {.number = PLAYER_CMD_PING, .first = 7});
    while (notifications.next().number != PLAYER_NTF_PONG) {
    }
  }

  Lines volumeCalls() {
    sync();
    return log.callsOf("card.setVolume");
  }

  // The form's buttons.
  void increase() { mixer_set_volume(*player, std::min<std::uint32_t>(mixer_get_volume(*player) + 10, 100)); }
  void decrease() {
    const std::uint32_t level = mixer_get_volume(*player);
    mixer_set_volume(*player, level >= 10 ? level - 10 : 0);
  }

  CallLog log;
  VolumeState volume;
  NotificationQueue notifications;
  std::unique_ptr<Player> player;
};

TEST_F(Mixer, LevelsAreWholeStepsOf655WithinTheScale) {
  start(true);
  volume.value = 654;
  EXPECT_EQ(mixer_get_volume(*player), 0u) << "the remainder is dropped";
  mixer_set_volume(*player, 250);
  EXPECT_EQ(volume.value, 65500u) << "a level above 100 counts as 100";
  EXPECT_EQ(volumeCalls(), Lines{}) << "the master volume leaves the engine's own volume alone";
}

TEST_F(Mixer, SetUpWithAMixerTellsTheEngineToPlayAtFullLevel) {
  start(false);
  player_set_volume(*player, 40);
  mixer_setup(*player, opener(false));
  EXPECT_EQ(volumeCalls(), Lines{"card.setVolume(40)"}) << "no mixer: nothing is posted";
  mixer_setup(*player, opener(true));
  EXPECT_EQ(volumeCalls(), (Lines{"card.setVolume(40)", "card.setVolume(100)"}));
  EXPECT_NE(player->mixer, nullptr);
}

TEST_F(Mixer, WithoutAMixerTheButtonsChangeTheEnginesVolumeFrom100) {
  start(false);
  EXPECT_EQ(mixer_get_volume(*player), 100u);
  decrease();
  decrease();
  EXPECT_EQ(mixer_get_volume(*player), 80u);
  increase();
  EXPECT_EQ(volumeCalls(), (Lines{"card.setVolume(90)", "card.setVolume(80)", "card.setVolume(90)"}))
      << "the sound is never silenced by a button that should raise it";
}

TEST_F(Mixer, AMixerThatStopsAnsweringGivesWayToTheEnginesVolume) {
  start(true);
  volume.gone = true;
  EXPECT_EQ(mixer_get_volume(*player), 100u);
  EXPECT_EQ(player->mixer, nullptr);
  decrease();
  EXPECT_EQ(volumeCalls(), Lines{"card.setVolume(90)"});
}

}  // namespace
}  // namespace tunekiln::test
