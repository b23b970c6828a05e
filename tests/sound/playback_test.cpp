// The engine through the sound card and a real sound server: what the test sink heard, and the
// volume buttons' mixer on the server's default sink.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "engine/mixer.h"
#include "tests/sound/sound_fixture.h"
#include "tests/support/mp3_maker.h"
#include "tests/support/tone_analyser.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

using Runs = std::vector<CountedRun>;

class Playback : public SoundTest {
 protected:
  void SetUp() override {
    SoundTest::SetUp();
    if (!IsSkipped() && !HasFatalFailure()) startPlayer();
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
        if (run.firstIndex >= index && run.firstIndex <= index + kRewindFrames && run.length > kRate / 10) {
          return run.end();
        }
      }
      if (!recorder().waitForFrames(recorder().frames() + kRate / 10)) break;
    }
    ADD_FAILURE() << "no run from frame " << index << " was heard";
    return 0;
  }

  // The tone's measure over a quarter of a second of the recording from `at`.
  ToneMeasure measureAt(std::size_t at, int channel) {
    EXPECT_TRUE(recorder().waitForFrames(at + kRate / 4));
    auto samples = recorder().samples(at);
    samples.resize(kRate / 4 * 2);
    return measure_tone(samples, 2, channel, kRate);
  }

  // Stops the player and waits until what was on its way to the sink has been heard.
  void stopAndWaitForSilence() {
    player_stop(*player);
    ASSERT_TRUE(waitForState(PLAYER_STATE_STOPPED));
    std::size_t silence = 0;
    ASSERT_TRUE(recorder().waitForSilence(recorder().frames(), kRate / 2, silence));
  }
};

// 16-bit stereo at the sink's rate is checked sample by sample in the next test.
TEST_F(Playback, An8BitMonoWavAtAnotherRateArrivesWithItsFrequencyAndLevelOnBothChannels) {
  Bytes mono(22050 * 2);
  for (std::size_t i = 0; i < mono.size(); ++i) {
    mono[i] = static_cast<std::uint8_t>(std::lround(128 + 63.5 * std::sin(2 * std::numbers::pi * 1000.0 * i / 22050)));
  }
  const std::string wav = dir.file("mono8.wav");
  write_file(wav, make_wav({.channels = 1, .sampleRate = 22050, .bits = 8}, mono));
  const std::size_t start = recorder().frames();
  ASSERT_TRUE(play(wav));
  const std::size_t at = waitForSoundAndThen(start, kRate / 4) + kRate / 4;
  for (int channel = 0; channel < 2; ++channel) {
    const ToneMeasure tone = measureAt(at, channel);
    EXPECT_NEAR(tone.frequency, 1000, 2.0) << "channel " << channel;
    EXPECT_NEAR(tone.amplitude(), 0.5, 0.03) << "channel " << channel;
  }
  stopAndWaitForSilence();
}

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
  constexpr std::int64_t kSeconds = 5;
  const std::string file = writeWav("count.wav", counting_frames(kRate * kSeconds));
  const std::size_t start = recorder().frames();
  ASSERT_TRUE(play(file));
  std::uint32_t heard = 0;
  for (;;) {
    const auto notification = notifications.next();
    if (notification.number == PLAYER_NTF_STATE && notification.first == PLAYER_STATE_STOPPED) break;
    if (notification.number != PLAYER_NTF_POSITION) continue;
    heard = heard_seconds(notification);
    const Runs runs = counted_runs(recorder().samples(start));
    const double recorded = runs.empty() ? 0.0 : static_cast<double>(runs.back().end()) / kRate;
    // Whole seconds, and the recorder's own few milliseconds behind the sink.
    EXPECT_NEAR(heard, recorded, 1.1) << "handed to the output: " << notification.first;
  }
  EXPECT_EQ(heard, kSeconds);
}

TEST_F(Playback, SetVolumeScalesTheLevelAndTheNextPlayKeepsIt) {
  const std::string file = writeWav("tone.wav", make_tone({.seconds = 10.0, .amplitude = 0.5}));
  const std::size_t start = recorder().frames();
  ASSERT_TRUE(play(file));
  const double full = measureAt(waitForSoundAndThen(start, kRate / 2) + kRate / 10, 0).amplitude();
  EXPECT_NEAR(full, 0.5, 0.01);
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
  EXPECT_NEAR(measureAt(waitForSoundAndThen(mark, kRate / 2) + kRate / 10, 0).amplitude() / full, 32800.0 / 65535, 0.01)
      << "the sound card keeps its volume from one opening to the next";
  stopAndWaitForSilence();
}

TEST_F(Playback, TheVolumeButtonsMoveTheSinkVolumeInStepsOf655) {
  ASSERT_NE(player->mixer, nullptr);
  const struct {
    std::uint32_t sink, readBack, setTo, sinkAfter;
  } steps[] = {
      {65535, 100, 100, 65500},  // Increase from the top
      {65535, 100, 90, 58950},   // Decrease
      {32750, 50, 60, 39300},
      {0, 0, 250, 65500},  // a level above 100 counts as 100
  };
  for (const auto& step : steps) {
    setSinkVolume(step.sink);
    EXPECT_EQ(mixer_get_volume(*player), step.readBack) << step.sink;
    mixer_set_volume(*player, step.setTo);
    EXPECT_EQ(sinkVolume(), step.sinkAfter) << step.setTo;
  }
}

}  // namespace
}  // namespace tunekiln::test
