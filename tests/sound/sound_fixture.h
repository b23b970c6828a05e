#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/player.h"
#include "engine/sound_card_output.h"
#include "tests/support/sink_recorder.h"
#include "tests/support/temp_dir.h"

namespace tunekiln::test {

inline constexpr int kRate = SinkRecorder::kRate;
// What the server may take back when a stream starts, pauses or resumes: it rewinds the sink
// to make the change heard at once, and its monitor loses or repeats what it had already passed
// on, up to the sink's latency (about 15 ms here).
inline constexpr std::int64_t kRewindFrames = kRate * 20 / 1000;

// Tests that play through the sound server started by scripts/with-sound-server and listen to
// its test sink. Without that server they fail; TUNEKILN_SKIP_SOUND_TESTS=1 skips them instead.
// Every test starts with the sink's volume at 100 % and a recorder that has listened for 2 s
// (one recorder serves the whole program).
class SoundTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override { player.reset(); }

  static SinkRecorder& recorder();
  // The test sink's volume in the server's units, through pactl.
  static std::uint32_t sinkVolume();
  static void setSinkVolume(std::uint32_t value);
  // A 16-bit stereo WAV file at 44100 Hz in the test's folder.
  std::string writeWav(const std::string& name, const std::vector<std::int16_t>& interleaved);

  // A player with the standard decoders and a sound card in slot 0, by default on the device
  // and the mixer of the user's own sound server.
  void startPlayer(SoundCardOutput::DeviceOpener openDevice = SoundCardOutput::default_device_opener(),
                   MasterVolumeOpener openMixer = [] { return open_master_volume(); });
  // Waits until the engine reports `state`; false when it reported STOPPED first.
  bool waitForState(std::uint32_t state);
  // Loads the file and plays it; true once the engine reports PLAYING.
  bool play(const std::string& file);
  // Waits until the sound card has reported `count` failures and gives them, as the engine's
  // notification numbers.
  std::vector<std::uint32_t> waitForFailures(std::size_t count);

  TempDir dir;
  NotificationQueue notifications;
  std::unique_ptr<Player> player;  // ends before the rest, which its thread uses

 private:
  std::vector<std::uint32_t> failures_;  // seen while waiting for a state
};

}  // namespace tunekiln::test
