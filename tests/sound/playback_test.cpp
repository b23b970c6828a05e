// The engine through the sound card and a real sound server: what the test sink heard, the
// volume buttons' mixer on the server's default sink, and a server that goes away.
#include <gtest/gtest.h>

#include <cstdlib>

#include "engine/mixer.h"
#include "engine/player.h"
#include "engine/sound_card_output.h"
#include "engine/standard_slots.h"
#include "tests/support/mp3_maker.h"
#include "tests/support/run_program.h"
#include "tests/support/sink_recorder.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tone_analyser.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

constexpr int kRate = SinkRecorder::kRate;
// What the server may take back when a stream starts, pauses or resumes: it rewinds the sink
// to make the change heard at once, and its monitor loses or repeats what it had already passed
// on, up to the sink's latency (about 15 ms here).
constexpr std::int64_t kRewindFrames = kRate * 20 / 1000;

// pactl on the test server; throws when it fails.
std::string pactl(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), {"/usr/bin/env", "pactl"});
  const auto result = run_program(arguments);
  if (result.status != 0) throw std::runtime_error("pactl: " + result.err);
  return result.out;
}

// Plays through the sound server started by scripts/with-sound-server and listens to its test
// sink. Without that server the tests fail; TUNEKILN_SKIP_SOUND_TESTS=1 skips them instead.
// Every test starts with the sink's volume at 100 % and a recorder that has listened for 2 s (one
// recorder serves the whole program).
class Playback : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* skip = std::getenv("TUNEKILN_SKIP_SOUND_TESTS");
    if (skip != nullptr && skip == std::string("1")) GTEST_SKIP() << "TUNEKILN_SKIP_SOUND_TESTS=1";
    // The tests change the sink's volume and modules: they run only against the private server.
    ASSERT_EQ(pactl({"get-default-sink"}), "test_sink\n") << "run under scripts/with-sound-server";
    pactl({"set-sink-volume", "test_sink", "65536"});
    ASSERT_TRUE(recorder().waitForFrames(2 * kRate)) << "parec stopped";
  }

  static SinkRecorder& recorder() {
    // Lives until the program ends
    static SinkRecorder shared;
    return shared;
  }

  // A player with the standard decoders and a sound card in slot 0, on the server at `address`
  // (empty: the user's own).
  void startPlayer(const std::string& address = {}) {
    selectedOutput = 0;
    const auto makeSlots = [address] {
      EngineSlots slots{.decoders = standard_decoders()};
      slots.outputs[0] = std::make_unique<SoundCardOutput>(
          [address](const WaveFormat& format, WakeEvent& wake, std::optional<VolumeWord> volume) {
            return open_wave_out(format, wake, volume, address);
          });
      return slots;
    };
    player = player_create(notifications, makeSlots, [address] { return open_master_volume(address); });
  }

  // Keeps the sound card's failures and the last second heard.
  void note(const PlayerNotification& n) {
    if (n.number > PLAYER_NTF_READ_FAILED) failures.push_back(n.number);
    if (n.number == PLAYER_NTF_POSITION) heard = heard_seconds(n);
  }

  // Waits until the engine reports `state`; false when it reported STOPPED first.
  bool waitForState(std::uint32_t state) {
    for (PlayerNotification n = notifications.next();; n = notifications.next()) {
      note(n);
      const bool stopped = n.first == PLAYER_STATE_STOPPED;
      if (n.number == PLAYER_NTF_STATE && (n.first == state || stopped)) return n.first == state;
    }
  }

  bool play(const std::string& file) {
    if (!player) startPlayer();
    player_open(*player, file);
    player_play(*player);
    return waitForState(PLAYER_STATE_PLAYING);
  }

  // Waits until the recording from `start` holds frames that are not silent, then `frames` more.
  std::size_t waitForSoundAndThen(std::size_t start, std::size_t frames) {
    std::size_t at = 0;
    EXPECT_TRUE(recorder().waitForRun(start, 1, false, at));
    EXPECT_TRUE(recorder().waitForFrames(at + frames));
    return at;
  }

  // The tone's measure over a quarter of a second of the recording from `at`.
  ToneMeasure measureAt(std::size_t at, int channel) {
    EXPECT_TRUE(recorder().waitForFrames(at + kRate / 4));
    const Bytes quarter = recorder().recorded(at);
    return measure_tone(samples_of({quarter.begin(), quarter.begin() + kRate}), 2, channel, kRate);
  }

  TempDir dir;
  NotificationQueue notifications;
  // Ends before the rest, which its thread uses
  std::unique_ptr<Player> player;
  // The sound card's failures, as notification numbers
  std::vector<std::uint32_t> failures;
  // The last second heard.
  std::uint32_t heard = 0;
};

// Stopped, played again, paused and resumed, paused again, and then from a SEEK to the end.
TEST_F(Playback, StopPauseSeekAndTheEndAreHeard) {
  constexpr std::int64_t kFrames = kRate * 10;
  const std::string file = dir.file("count.wav");
  write_file(file, make_wav({}, counting_frames(kFrames)));
  const std::size_t start = recorder().frames();
  ASSERT_TRUE(play(file));
  std::size_t at = waitForSoundAndThen(start, kRate / 2);
  const std::size_t stopped = recorder().frames();
  player_stop(*player);
  ASSERT_TRUE(waitForState(PLAYER_STATE_STOPPED));
  std::size_t silence = 0;
  ASSERT_TRUE(recorder().waitForRun(stopped, kRate / 2, true, silence));
  ASSERT_TRUE(play(file));
  at = waitForSoundAndThen(silence, kRate / 2);
  for (const bool resume : {true, false}) {
    player_pause(*player);
    ASSERT_TRUE(waitForState(PLAYER_STATE_PAUSED));
    ASSERT_TRUE(recorder().waitForRun(at, kRate / 2, true, silence)) << "the pause is heard";
    // The second time, a SEEK while paused is heard without a PLAY.
    if (resume) player_play(*player);
    if (!resume) player_seek(*player, 70, 100);
    at = waitForSoundAndThen(silence, kRate / 4);
  }
  // Without the seek heard, the end would never come.
  ASSERT_FALSE(HasFailure());
  while (const auto notification = notifications.poll()) note(*notification);
  // Nearly 3 s are queued: a count that leaves them out is 2 s ahead.
  EXPECT_NEAR(heard, 7, 1) << "the position heard follows the seek";
  ASSERT_TRUE(waitForState(PLAYER_STATE_STOPPED));
  EXPECT_EQ(pactl({"list", "short", "sink-inputs"}), "") << "the stream closes at its end";
  ASSERT_TRUE(recorder().waitForRun(at, kRate / 2, true, silence));

  auto runs = counted_runs(recorder().recorded(start));
  // Leaves out the few frames a cork's rewind may leave behind at a pause.
  std::erase_if(runs, [](const CountedRun& run) { return std::int64_t(run.length) <= kRewindFrames; });
  ASSERT_EQ(runs.size(), 4u) << "a gap splits a run";
  EXPECT_LE(runs[0].firstIndex, kRewindFrames);
  // Almost 3 s were queued at the STOP; only what was on its way to the sink may still come.
  EXPECT_LT(start + runs[0].at + runs[0].length, stopped + kRate / 4);
  // Resumed where it was, nothing skipped or repeated beyond the server's rewind.
  EXPECT_NEAR(double(runs[2].firstIndex), double(runs[1].end()), kRewindFrames);
  EXPECT_NEAR(double(runs[3].firstIndex), kFrames * 7 / 10 + kRewindFrames / 2, kRewindFrames / 2);
  // To the last frame, which a partly filled block holds, through blocks refilled as they played.
  EXPECT_EQ(runs[3].end(), kFrames);
}

// Through a second address of the server, which the test takes away as a crash would: taking
// the address away drops every client that came through it. 16-bit stereo at the sink's rate is
// checked sample by sample above.
TEST_F(Playback, Mono8BitVolumesAndAServerThatGoesAway) {
  const std::string address = "unix:" + dir.file("native"), file = dir.file("mono8.wav");
  std::string module = pactl({"load-module", "module-native-protocol-unix", "auth-anonymous=1",
                               "socket=" + address.substr(5)});
  // The module's number and a newline
  module.pop_back();
  startPlayer(address);
  mixer_set_volume(*player, 50);
  EXPECT_NE(pactl({"get-sink-volume", "test_sink"}).find("front-left: 32750 /"), std::string::npos);
  pactl({"set-sink-volume", "test_sink", "65535"});
  EXPECT_EQ(mixer_get_volume(*player), 100u) << "65535 / 655";

  Bytes mono;
  for (const std::int16_t sample : make_tone({.sampleRate = 22050, .channels = 1, .seconds = 20})) {
    mono.push_back(static_cast<std::uint8_t>(128 + sample / 256));
  }
  write_file(file, make_wav({.channels = 1, .sampleRate = 22050, .bits = 8}, mono));
  const std::size_t start = recorder().frames();
  ASSERT_TRUE(play(file));
  const std::size_t at = waitForSoundAndThen(start, kRate / 2) + kRate / 4;
  player_set_volume(*player, 50);
  const std::size_t mark = recorder().frames() + kRate * 3 / 10;
  for (int channel = 0; channel < 2; ++channel) {
    SCOPED_TRACE(channel);
    const ToneMeasure full = measureAt(at, channel);
    EXPECT_NEAR(full.frequency, 440, 2.0);
    EXPECT_NEAR(full.amplitude(), 0.5, 0.03);
    EXPECT_NEAR(measureAt(mark, channel).amplitude() / full.amplitude(), 32800.0 / 65535, 0.01);
  }

  pactl({"unload-module", module});
  while (failures.empty()) note(notifications.next());
  EXPECT_EQ(mixer_get_volume(*player), 100u) << "the buttons carry on with the engine's volume";
  player_stop(*player);
  EXPECT_TRUE(waitForState(PLAYER_STATE_STOPPED));
  // Told once, however often the engine asks the output after it
  EXPECT_EQ(failures, std::vector<std::uint32_t>{PLAYER_NTF_SOUND_SERVER_GONE});
}

}  // namespace
}  // namespace tunekiln::test
