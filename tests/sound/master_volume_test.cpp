// The volume buttons' mixer against the real sound server's default sink.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/mixer.h"
#include "tests/sound/sound_fixture.h"
#include "tests/support/mp3_maker.h"
#include "tests/support/tone_analyser.h"

namespace tunekiln::test {
namespace {

class MasterVolumeOnTheServer : public PlayerSoundTest {
 protected:
  void increase() { mixer_set_volume(*player, std::min<std::uint32_t>(mixer_get_volume(*player) + 10, 100)); }
  void decrease() {
    const std::uint32_t level = mixer_get_volume(*player);
    mixer_set_volume(*player, level >= 10 ? level - 10 : 0);
  }
};

TEST_F(MasterVolumeOnTheServer, TheButtonsMoveTheSinkVolumeInStepsOf655) {
  ASSERT_NE(player->mixer, nullptr);
  setSinkVolume(65535);
  EXPECT_EQ(mixer_get_volume(*player), 100u);
  increase();
  EXPECT_EQ(sinkVolume(), 65500u);
  setSinkVolume(65535);
  decrease();
  EXPECT_EQ(sinkVolume(), 58950u);
  setSinkVolume(32750);
  EXPECT_EQ(mixer_get_volume(*player), 50u);
  increase();
  EXPECT_EQ(sinkVolume(), 39300u);
  setSinkVolume(0);
  decrease();
  EXPECT_EQ(sinkVolume(), 0u);
}

TEST_F(MasterVolumeOnTheServer, WhatThePlayerPlaysIsHeardAtTheMasterVolume) {
  const std::string file = writeWav("tone.wav", make_tone({.seconds = 4.0, .amplitude = 0.5}));
  mixer_set_volume(*player, 50);
  const std::size_t start = recorder().frames();
  ASSERT_TRUE(play(file));
  std::size_t at = 0;
  ASSERT_TRUE(recorder().waitForSound(start, at));
  ASSERT_TRUE(recorder().waitForFrames(at + kRate / 2));
  auto samples = recorder().samples(at + kRate / 10);
  samples.resize(kRate / 4 * 2);
  // The server's scale is cubic in amplitude: 32750 of 65536 is about 0.125.
  const double expected = 0.5 * std::pow(32750.0 / 65536, 3);
  EXPECT_NEAR(measure_tone(samples, 2, 0, kRate).amplitude(), expected, 0.005);
  player_stop(*player);
  EXPECT_TRUE(waitForState(PLAYER_STATE_STOPPED));
}

}  // namespace
}  // namespace tunekiln::test
