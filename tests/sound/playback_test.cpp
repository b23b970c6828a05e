// The engine through the sound card and a real sound server: what the test sink heard, the
// volume buttons' mixer on the server's default sink, and a server that goes away.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <numbers>

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

  // Plays a file of `frames` counting frames.
  bool playCounting(std::int64_t frames) {
    const std::string file = dir.file("count.wav");
    write_file(file, make_wav({}, little_endian_bytes(counting_frames(frames))));
    return play(file);
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

  // Waits until a run of counted frames from `index` on (or a little later: the server's
  // rewind) has been heard since `start`; gives the last frame heard of it.
  std::int64_t waitForRunFrom(std::size_t start, std::int64_t index) {
    const std::size_t limit = recorder().frames() + SinkRecorder::kLookAhead;
    while (recorder().waitForFrames(recorder().frames() + kRate / 10) && recorder().frames() < limit) {
      for (const CountedRun& run : counted_runs(recorder().samples(start))) {
        const bool fromIndex = run.firstIndex >= index && run.firstIndex <= index + kRewindFrames;
        if (fromIndex && run.length > kRate / 10) return run.end();
      }
    }
    ADD_FAILURE() << "no run from frame " << index << " was heard";
    return 0;
  }

  // The tone's measure over a quarter of a second of the recording from `at`.
  ToneMeasure measureAt(std::size_t at, int channel) {
    EXPECT_TRUE(recorder().waitForFrames(at + kRate / 4));
    const auto samples = recorder().samples(at);
    return measure_tone({samples.begin(), samples.begin() + kRate / 2}, 2, channel, kRate);
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

TEST_F(Playback, PauseSeekAndStopAreHeardAtOnce) {
  constexpr std::int64_t kFrames = kRate * 10;
  const std::size_t start = recorder().frames();
  ASSERT_TRUE(playCounting(kFrames));
  const std::size_t at = waitForSoundAndThen(start, kRate / 2);
  player_pause(*player);
  ASSERT_TRUE(waitForState(PLAYER_STATE_PAUSED));
  std::size_t silence = 0;
  ASSERT_TRUE(recorder().waitForRun(at, kRate / 2, true, silence)) << "the pause is heard";
  player_play(*player);
  ASSERT_TRUE(waitForState(PLAYER_STATE_PLAYING));
  waitForSoundAndThen(silence, kRate / 2);

  player_seek(*player, 50, 100);
  waitForRunFrom(start, kFrames / 2);
  player_pause(*player);
  ASSERT_TRUE(waitForState(PLAYER_STATE_PAUSED));
  ASSERT_TRUE(recorder().waitForRun(recorder().frames(), kRate / 4, true, silence));
  while (const auto notification = notifications.poll()) note(*notification);
  EXPECT_NEAR(heard, 5, 1) << "the position heard follows the seek";
  player_seek(*player, 25, 100);
  // A SEEK while paused is heard without a PLAY.
  const std::int64_t heardBeforeStop = waitForRunFrom(start, kFrames / 4);
  player_stop(*player);
  ASSERT_TRUE(waitForState(PLAYER_STATE_STOPPED));
  ASSERT_TRUE(recorder().waitForRun(recorder().frames(), kRate / 2, true, silence));

  auto runs = counted_runs(recorder().samples(start));
  // Leaves out the few frames a cork's rewind may leave behind at a pause.
  std::erase_if(runs, [](const CountedRun& run) { return std::int64_t(run.length) <= kRewindFrames; });
  // Its start is heard in the test of a whole file.
  ASSERT_EQ(runs.size(), 4u);
  // Resumed where it was, nothing skipped or repeated beyond the server's rewind.
  EXPECT_NEAR(double(runs[1].firstIndex), double(runs[0].end()), kRewindFrames);
  EXPECT_LT(runs[1].end(), kFrames / 4);
  EXPECT_NEAR(double(runs[2].firstIndex), kFrames / 2 + kRewindFrames / 2, kRewindFrames / 2);
  EXPECT_NEAR(double(runs[3].firstIndex), kFrames / 4 + kRewindFrames / 2, kRewindFrames / 2);
  // Almost 3 s were queued at the STOP; only what was on its way to the sink may still come.
  EXPECT_LT(runs[3].end() - heardBeforeStop, kRate / 4);
}

// The pause and seek test hears the middle of a stream; this one its end.
TEST_F(Playback, HeardToTheLastFrameThenTheStreamCloses) {
  // The last block partly filled
  constexpr std::int64_t kFrames = kRate * 3 / 2;
  const std::size_t start = recorder().frames();
  ASSERT_TRUE(playCounting(kFrames));
  ASSERT_TRUE(waitForState(PLAYER_STATE_STOPPED));
  EXPECT_EQ(pactl({"list", "short", "sink-inputs"}), "");
  std::size_t silence = 0;
  ASSERT_TRUE(recorder().waitForRun(waitForSoundAndThen(start, 0), kRate / 2, true, silence));
  const auto runs = counted_runs(recorder().samples(start));
  ASSERT_FALSE(runs.empty());
  EXPECT_LE(runs.front().firstIndex, kRewindFrames);
  for (std::size_t i = 1; i < runs.size(); ++i) EXPECT_LE(runs[i].firstIndex, runs[i - 1].end()) << "a gap";
  EXPECT_EQ(runs.back().end(), kFrames);
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
  ASSERT_NE(player->mixer, nullptr);
  mixer_set_volume(*player, 50);
  EXPECT_NE(pactl({"get-sink-volume", "test_sink"}).find("front-left: 32750 /"), std::string::npos);
  pactl({"set-sink-volume", "test_sink", "65535"});
  EXPECT_EQ(mixer_get_volume(*player), 100u) << "65535 / 655";

  Bytes mono(22050 * 20);
  for (std::size_t i = 0; i < mono.size(); ++i) {
    mono[i] = std::uint8_t(std::lround(128 + 63.5 * std::sin(2 * std::numbers::pi * 1000.0 * i / 22050)));
  }
  write_file(file, make_wav({.channels = 1, .sampleRate = 22050, .bits = 8}, mono));
  const std::size_t start = recorder().frames();
  ASSERT_TRUE(play(file));
  const std::size_t at = waitForSoundAndThen(start, kRate / 2) + kRate / 4;
  const double full = measureAt(at, 0).amplitude();
  for (int channel = 0; channel < 2; ++channel) {
    EXPECT_NEAR(measureAt(at, channel).frequency, 1000, 2.0) << "channel " << channel;
    EXPECT_NEAR(measureAt(at, channel).amplitude(), 0.5, 0.03) << "channel " << channel;
  }
  player_set_volume(*player, 50);
  const std::size_t mark = recorder().frames() + kRate * 3 / 10;
  for (int channel = 0; channel < 2; ++channel) {
    EXPECT_NEAR(measureAt(mark, channel).amplitude() / full, 32800.0 / 65535, 0.01);
  }

  pactl({"unload-module", module});
  while (failures.empty()) note(notifications.next());
  EXPECT_EQ(failures, std::vector<std::uint32_t>{PLAYER_NTF_SOUND_SERVER_GONE});
  EXPECT_EQ(mixer_get_volume(*player), 100u) << "the buttons carry on with the engine's volume";
  EXPECT_EQ(player->mixer, nullptr);
  player_stop(*player);
  EXPECT_TRUE(waitForState(PLAYER_STATE_STOPPED));
}

}  // namespace
}  // namespace tunekiln::test
