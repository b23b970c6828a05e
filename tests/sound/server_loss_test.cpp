// A sound server that cannot be reached, or that goes away while the engine plays through it.
#include <gtest/gtest.h>

#include "engine/mixer.h"
#include "tests/sound/private_server.h"
#include "tests/sound/sound_fixture.h"
#include "tests/support/mp3_maker.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

class ServerLoss : public ::testing::Test, public PlayerHarness {
 protected:
  void SetUp() override {
    if (sound_tests_skipped()) GTEST_SKIP() << "TUNEKILN_SKIP_SOUND_TESTS=1";
    write_file(file, make_wav({}, little_endian_bytes(make_tone({.seconds = 20.0}))));
  }
  void TearDown() override { player.reset(); }

  // The device and the mixer of the server at `address`.
  void startOn(const std::string& address) {
    start([address](const WaveFormat& format, WakeEvent& wake,
                    std::optional<VolumeWord> volume) { return open_wave_out(format, wake, volume, address); },
          [address] { return open_master_volume(address); });
  }

  TempDir dir;
  std::string file = dir.file("tone.wav");
};

TEST_F(ServerLoss, AServerThatGoesAwayWhilePlayingLeavesTheEngineWorking) {
  PrivateSoundServer server;
  startOn(server.address());
  ASSERT_NE(player->mixer, nullptr);
  ASSERT_TRUE(play(file));
  server.kill();
  EXPECT_EQ(waitForFailures(1), std::vector<DeviceFailure>{DeviceFailure::serverGone});
  EXPECT_EQ(mixer_get_volume(*player), 100u) << "the buttons carry on with the engine's volume";
  EXPECT_EQ(player->mixer, nullptr);
  player_stop(*player);
  EXPECT_TRUE(waitForState(PLAYER_STATE_STOPPED));

  ASSERT_TRUE(play(file));
  EXPECT_EQ(waitForFailures(2), (std::vector<DeviceFailure>{DeviceFailure::serverGone, DeviceFailure::noServer}));
  player_stop(*player);
  EXPECT_TRUE(waitForState(PLAYER_STATE_STOPPED));
}

TEST_F(ServerLoss, WithoutAServerPlayReportsItAndStopStillWorks) {
  startOn("unix:" + dir.file("no-server-here"));
  EXPECT_EQ(player->mixer, nullptr);
  ASSERT_TRUE(play(file));
  EXPECT_EQ(waitForFailures(1), std::vector<DeviceFailure>{DeviceFailure::noServer});
  player_pause(*player);
  player_seek(*player, 1, 2);
  player_stop(*player);
  EXPECT_TRUE(waitForState(PLAYER_STATE_STOPPED));
}

}  // namespace
}  // namespace tunekiln::test
