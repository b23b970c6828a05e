// A sound server that cannot be reached, or that goes away while the engine plays through it.
#include <signal.h>

#include <gtest/gtest.h>

#include "engine/mixer.h"
#include "tests/sound/sound_fixture.h"
#include "tests/support/mp3_maker.h"
#include "tests/support/run_program.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

// A PulseAudio server of the test's own, set up as scripts/with-sound-server sets up the shared
// one, so that the test can make it go away.
class PrivateSoundServer {
 public:
  PrivateSoundServer() {
    // Its own runtime, state and home folders, and no display: it looks for no session bus. As a
    // daemon it is ready once the command has ended.
    const auto started = run_program(
        {"/usr/bin/env", "-u", "DISPLAY", "-u", "PULSE_SERVER", "PULSE_RUNTIME_PATH=" + dir_.file(""),
         "PULSE_STATE_PATH=" + dir_.file(""), "XDG_RUNTIME_DIR=" + dir_.file(""), "HOME=" + dir_.file(""), "pulseaudio",
         "--daemonize=yes", "--exit-idle-time=-1", "--disallow-exit", "-n", "--realtime=no", "--high-priority=no",
         "--use-pid-file=yes", "--log-target=file:" + dir_.file("pulse.log"),
         "--load=module-native-protocol-unix auth-anonymous=1 socket=" + dir_.file("native"),
         "--load=module-null-sink sink_name=test_sink rate=44100 channels=2"});
    if (started.status != 0) throw std::runtime_error("pulseaudio did not start: " + started.err);
    const Bytes pid = read_file(dir_.file("pid"));
    pid_ = std::stoi(std::string(pid.begin(), pid.end()));
  }
  PrivateSoundServer(const PrivateSoundServer&) = delete;
  PrivateSoundServer& operator=(const PrivateSoundServer&) = delete;
  ~PrivateSoundServer() { kill(); }

  // Where clients find it, as PULSE_SERVER would name it.
  std::string address() const { return "unix:" + dir_.file("native"); }

  // Ends the server at once, as a crash would.
  void kill() {
    if (pid_ > 0) ::kill(pid_, SIGKILL);
    pid_ = -1;
  }

 private:
  TempDir dir_;
  int pid_ = -1;
};

class ServerLoss : public SoundTest {
 protected:
  // The device and the mixer of the server at `address`.
  void startOn(const std::string& address) {
    write_file(file, make_wav({}, little_endian_bytes(make_tone({.seconds = 20.0}))));
    startPlayer([address](const WaveFormat& format, WakeEvent& wake,
                          std::optional<VolumeWord> volume) { return open_wave_out(format, wake, volume, address); },
                [address] { return open_master_volume(address); });
  }

  std::string file = dir.file("tone.wav");
};

TEST_F(ServerLoss, AServerThatGoesAwayWhilePlayingLeavesTheEngineWorking) {
  PrivateSoundServer server;
  startOn(server.address());
  ASSERT_NE(player->mixer, nullptr);
  ASSERT_TRUE(play(file));
  server.kill();
  EXPECT_EQ(waitForFailures(1), std::vector<std::uint32_t>{PLAYER_NTF_SOUND_SERVER_GONE});
  EXPECT_EQ(mixer_get_volume(*player), 100u) << "the buttons carry on with the engine's volume";
  EXPECT_EQ(player->mixer, nullptr);
  player_stop(*player);
  EXPECT_TRUE(waitForState(PLAYER_STATE_STOPPED));

  ASSERT_TRUE(play(file));
  EXPECT_EQ(waitForFailures(2), (std::vector<std::uint32_t>{PLAYER_NTF_SOUND_SERVER_GONE, PLAYER_NTF_NO_SOUND_SERVER}));
  player_pause(*player);
  player_seek(*player, 1, 2);
  player_stop(*player);
  EXPECT_TRUE(waitForState(PLAYER_STATE_STOPPED));
}

}  // namespace
}  // namespace tunekiln::test
