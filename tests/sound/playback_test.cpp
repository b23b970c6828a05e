// The engine through the sound card and a real sound server: what the test sink heard, the
// volume buttons' mixer on the server's default sink, and a server that goes away.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <numbers>
#include <utility>

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
using Runs = std::vector<CountedRun>;

// pactl on the test server; throws when it fails.
std::string pactl(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), {"/usr/bin/env", "pactl"});
  const auto result = run_program(arguments);
  if (result.status != 0) throw std::runtime_error("pactl: " + result.err);
  return result.out;
}

// Plays through the sound server started by scripts/with-sound-server and listens to its test
// sink. Without that server the tests fail; TUNEKILN_SKIP_SOUND_TESTS=1 skips them instead.
// Every test starts with the sink's volume at 100 %, a recorder that has listened for 2 s (one
// recorder serves the whole program) and a player on the user's own sound server.
class Playback : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* skip = std::getenv("TUNEKILN_SKIP_SOUND_TESTS");
    if (skip != nullptr && std::string(skip) == "1") GTEST_SKIP() << "TUNEKILN_SKIP_SOUND_TESTS=1";
    // The tests change the default sink's volume: they run only against the private server.
    ASSERT_EQ(run_program({"/usr/bin/env", "pactl", "get-default-sink"}).out, "test_sink\n")
        << "run the tests under scripts/with-sound-server, or set TUNEKILN_SKIP_SOUND_TESTS=1 to skip them";
    pactl({"set-sink-volume", "test_sink", "65536"});
    ASSERT_TRUE(recorder().waitForFrames(2 * kRate)) << "parec stopped";
    startPlayer(SoundCardOutput::default_device_opener(), [] { return open_master_volume(); });
  }
  void TearDown() override {
    player.reset();
    if (!socketModule.empty()) pactl({"unload-module", socketModule});
  }

  static SinkRecorder& recorder() {
    static SinkRecorder shared;  // lives until the program ends
    return shared;
  }

  // A 16-bit stereo WAV file at 44100 Hz in the test's folder.
  std::string writeWav(const std::string& name, const std::vector<std::int16_t>& interleaved) {
    write_file(dir.file(name), make_wav({}, little_endian_bytes(interleaved)));
    return dir.file(name);
  }

  // A player with the standard decoders and a sound card in slot 0.
  void startPlayer(SoundCardOutput::DeviceOpener openDevice, MasterVolumeOpener openMixer) {
    selectedOutput = 0;
    player = player_create(
        notifications,
        [openDevice = std::move(openDevice)] {
          EngineSlots slots{.decoders = standard_decoders()};
          slots.outputs[0] = std::make_unique<SoundCardOutput>(openDevice);
          return slots;
        },
        openMixer);
  }

  // The next notification; the sound card's failures among them are kept in `failures`.
  PlayerNotification nextNotification() {
    const auto notification = notifications.next();
    if (notification.number > PLAYER_NTF_READ_FAILED) failures.push_back(notification.number);
    return notification;
  }

  // Waits until the engine reports `state`; false when it reported STOPPED first.
  bool waitForState(std::uint32_t state) {
    for (;;) {
      const auto notification = nextNotification();
      if (notification.number != PLAYER_NTF_STATE) continue;
      if (notification.first == state) return true;
      if (notification.first == PLAYER_STATE_STOPPED) return false;
    }
  }

  // Loads the file and plays it; true once the engine reports PLAYING.
  bool play(const std::string& file) {
    player_open(*player, file);
    player_play(*player);
    return waitForState(PLAYER_STATE_PLAYING);
  }

  // Waits until the recording from `start` holds frames that are not silent, then `frames` more.
  std::size_t waitForSoundAndThen(std::size_t start, std::size_t frames) {
    std::size_t at = 0;
    EXPECT_TRUE(recorder().waitForSound(start, at));
    EXPECT_TRUE(recorder().waitForFrames(at + frames));
    return at;
  }

  // Waits until a run of counted frames from `index` on (or a little later: the server's
  // rewind) has been heard since `start`; gives the last frame heard of it.
  std::int64_t waitForRunFrom(std::size_t start, std::int64_t index) {
    for (const std::size_t limit = recorder().frames() + SinkRecorder::kLookAhead; recorder().frames() < limit;) {
      for (const CountedRun& run : counted_runs(recorder().samples(start))) {
        if (run.firstIndex >= index && run.firstIndex <= index + kRewindFrames && run.length > kRate / 10) return run.end();
      }
      if (!recorder().waitForFrames(recorder().frames() + kRate / 10)) break;
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

  // Stops the player and waits until what was on its way to the sink has been heard.
  void stopAndWaitForSilence() {
    player_stop(*player);
    ASSERT_TRUE(waitForState(PLAYER_STATE_STOPPED));
    std::size_t silence = 0;
    ASSERT_TRUE(recorder().waitForSilence(recorder().frames(), kRate / 2, silence));
  }

  TempDir dir;
  NotificationQueue notifications;
  std::unique_ptr<Player> player;        // ends before the rest, which its thread uses
  std::vector<std::uint32_t> failures;  // the sound card's failures, as notification numbers
  std::string socketModule;             // a second address of the server, loaded by the test
};

TEST_F(Playback, PausePlaySeekAndStopAreHeardAtOnceAndNothingElseIs) {
  constexpr std::int64_t kFrames = kRate * 10;
  const std::string file = writeWav("count.wav", counting_frames(kFrames));
  const std::size_t start = recorder().frames();
  ASSERT_TRUE(play(file));
  const std::size_t at = waitForSoundAndThen(start, kRate / 2);
  player_pause(*player);
  ASSERT_TRUE(waitForState(PLAYER_STATE_PAUSED));
  std::size_t silence = 0;
  ASSERT_TRUE(recorder().waitForSilence(at, kRate / 2, silence)) << "the pause is heard";
  player_play(*player);
  ASSERT_TRUE(waitForState(PLAYER_STATE_PLAYING));
  waitForSoundAndThen(silence, kRate / 2);

  player_seek(*player, 50, 100);
  waitForRunFrom(start, kFrames / 2);
  player_pause(*player);
  ASSERT_TRUE(waitForState(PLAYER_STATE_PAUSED));
  ASSERT_TRUE(recorder().waitForSilence(recorder().frames(), kRate / 4, silence));
  player_seek(*player, 25, 100);
  const std::int64_t heardBeforeStop = waitForRunFrom(start, kFrames / 4);  // without PLAY
  stopAndWaitForSilence();

  Runs runs = counted_runs(recorder().samples(start));
  // Leaves out the few frames a cork's rewind may leave behind at a pause.
  std::erase_if(runs, [](const CountedRun& run) { return static_cast<std::int64_t>(run.length) <= kRewindFrames; });
  ASSERT_EQ(runs.size(), 4u);
  EXPECT_LE(runs[0].firstIndex, kRewindFrames);
  EXPECT_GE(runs[1].at - (runs[0].at + runs[0].length), static_cast<std::size_t>(kRate / 2)) << "silent while paused";
  EXPECT_NEAR(static_cast<double>(runs[1].firstIndex), static_cast<double>(runs[0].end()), kRewindFrames)
      << "resumed where it was, nothing skipped or repeated beyond the server's rewind";
  EXPECT_LT(runs[1].end(), kFrames / 4);
  EXPECT_NEAR(static_cast<double>(runs[2].firstIndex), kFrames / 2 + kRewindFrames / 2, kRewindFrames / 2);
  EXPECT_NEAR(static_cast<double>(runs[3].firstIndex), kFrames / 4 + kRewindFrames / 2, kRewindFrames / 2);
  // Almost 3 s were queued at the STOP; only what was on its way to the sink may still come.
  EXPECT_LT(runs[3].end() - heardBeforeStop, kRate / 4);
}

TEST_F(Playback, PositionsFollowWhatIsHeardToTheLastSecond) {
  const std::size_t start = recorder().frames();
  ASSERT_TRUE(play(writeWav("count.wav", counting_frames(kRate * 5))));
  std::uint32_t heard = 0;
  for (auto n = notifications.next(); n.number != PLAYER_NTF_STATE || n.first != PLAYER_STATE_STOPPED;
       n = notifications.next()) {
    if (n.number != PLAYER_NTF_POSITION) continue;
    heard = heard_seconds(n);
    const Runs runs = counted_runs(recorder().samples(start));
    // Whole seconds, and the recorder's own few milliseconds behind the sink.
    EXPECT_NEAR(heard, runs.empty() ? 0.0 : static_cast<double>(runs.back().end()) / kRate, 1.1) << n.first;
  }
  EXPECT_EQ(heard, 5u);
}

// 16-bit stereo at the sink's rate is checked sample by sample in the pause and seek test.
TEST_F(Playback, An8BitMonoWavAtAnotherRateIsHeardOnBothChannelsAndSetVolumeScalesItFromOnePlayToTheNext) {
  Bytes mono(22050 * 10);
  for (std::size_t i = 0; i < mono.size(); ++i) {
    mono[i] = static_cast<std::uint8_t>(std::lround(128 + 63.5 * std::sin(2 * std::numbers::pi * 1000.0 * i / 22050)));
  }
  const std::string file = dir.file("mono8.wav");
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
  std::size_t mark = recorder().frames() + kRate * 3 / 10;
  EXPECT_NEAR(measureAt(mark, 0).amplitude() / full, 32800.0 / 65535, 0.01);
  EXPECT_NEAR(measureAt(mark, 1).amplitude() / full, 32800.0 / 65535, 0.01);
  player_set_volume(*player, 0);
  EXPECT_EQ(measureAt(recorder().frames() + kRate * 3 / 10, 0).peak, 0.0) << "silenced";

  player_set_volume(*player, 50);
  stopAndWaitForSilence();
  mark = recorder().frames();
  ASSERT_TRUE(play(file));
  EXPECT_NEAR(measureAt(waitForSoundAndThen(mark, kRate / 2) + kRate / 4, 0).amplitude() / full, 32800.0 / 65535, 0.01)
      << "the sound card keeps its volume from one opening to the next";
  stopAndWaitForSilence();
}

TEST_F(Playback, AServerThatGoesAwayWhilePlayingLeavesTheEngineWorking) {
  // The server at a second address, which the test takes away as a crash would: taking the
  // address away drops every client that came through it.
  socketModule = pactl({"load-module", "module-native-protocol-unix", "auth-anonymous=1", "socket=" + dir.file("native")});
  socketModule.pop_back();  // the module's number and a newline
  player.reset();
  while (notifications.poll()) {
  }
  const std::string address = "unix:" + dir.file("native"), file = writeWav("tone.wav", make_tone({.seconds = 20.0}));
  startPlayer([address](const WaveFormat& format, WakeEvent& wake,
                        std::optional<VolumeWord> volume) { return open_wave_out(format, wake, volume, address); },
              [address] { return open_master_volume(address); });
  ASSERT_NE(player->mixer, nullptr);
  ASSERT_TRUE(play(file));
  pactl({"unload-module", std::exchange(socketModule, "")});
  while (failures.empty()) nextNotification();
  EXPECT_EQ(failures, std::vector<std::uint32_t>{PLAYER_NTF_SOUND_SERVER_GONE});
  EXPECT_EQ(mixer_get_volume(*player), 100u) << "the buttons carry on with the engine's volume";
  EXPECT_EQ(player->mixer, nullptr);
  player_stop(*player);
  EXPECT_TRUE(waitForState(PLAYER_STATE_STOPPED));

  ASSERT_TRUE(play(file));
  while (failures.size() < 2) nextNotification();
  EXPECT_EQ(failures, (std::vector<std::uint32_t>{PLAYER_NTF_SOUND_SERVER_GONE, PLAYER_NTF_NO_SOUND_SERVER}));
  player_pause(*player);
  player_seek(*player, 1, 2);
  player_stop(*player);
  EXPECT_TRUE(waitForState(PLAYER_STATE_STOPPED));
}

TEST_F(Playback, TheVolumeButtonsMoveTheSinkVolumeInStepsOf655) {
  ASSERT_NE(player->mixer, nullptr);
  const struct { std::uint32_t sink, readBack, setTo, sinkAfter; } steps[] = {
      {65535, 100, 100, 65500},  // Increase from the top
      {32750, 50, 60, 39300},
      {0, 0, 250, 65500},  // a level above 100 counts as 100
  };
  for (const auto& step : steps) {
    pactl({"set-sink-volume", "test_sink", std::to_string(step.sink)});
    EXPECT_EQ(mixer_get_volume(*player), step.readBack) << step.sink;
    mixer_set_volume(*player, step.setTo);
    // "Volume: front-left: 65536 / 100% / 0.00 dB,   front-right: ..."
    const std::string volume = pactl({"get-sink-volume", "test_sink"});
    EXPECT_NE(volume.find("front-left: " + std::to_string(step.sinkAfter) + " "), std::string::npos) << volume;
  }
}

}  // namespace
}  // namespace tunekiln::test
