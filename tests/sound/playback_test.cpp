// The engine through the sound card and a real sound server: what the test sink heard.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "engine/mp3_decoder.h"
#include "tests/sound/sound_fixture.h"
#include "tests/support/mp3_maker.h"
#include "tests/support/tone_analyser.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

using Runs = std::vector<CountedRun>;

// The runs of a recording without the few frames a cork's rewind may leave behind at a pause.
Runs significant_runs(const std::vector<std::int16_t>& interleaved) {
  Runs runs = counted_runs(interleaved);
  std::erase_if(runs, [](const CountedRun& run) { return static_cast<std::int64_t>(run.length) <= kRewindFrames; });
  return runs;
}

class Playback : public PlayerSoundTest {
 protected:
  // Waits until the recording from `start` holds frames that are not silent, then `frames` more.
  std::size_t waitForSoundAndThen(std::size_t start, std::size_t frames) {
    std::size_t at = 0;
    EXPECT_TRUE(recorder().waitForSound(start, at));
    EXPECT_TRUE(recorder().waitForFrames(at + frames));
    return at;
  }

  // Waits until a run of counted frames from `index` on (or a little later: the server's
  // rewind) has been heard since `start`, at most for kLookAhead more of recording.
  Runs waitForRunFrom(std::size_t start, std::int64_t index) {
    const std::size_t limit = recorder().frames() + SinkRecorder::kLookAhead;
    for (;;) {
      const Runs runs = counted_runs(recorder().samples(start));
      for (const CountedRun& run : runs) {
        if (run.firstIndex >= index && run.firstIndex <= index + kRewindFrames && run.length > kRate / 10) return runs;
      }
      if (recorder().frames() > limit || !recorder().waitForFrames(recorder().frames() + kRate / 10)) {
        ADD_FAILURE() << "no run from frame " << index << " was heard";
        return runs;
      }
    }
  }

  // The tone's measure over `frames` frames of the recording from `at`.
  ToneMeasure measureAt(std::size_t at, std::size_t frames, int channel) {
    EXPECT_TRUE(recorder().waitForFrames(at + frames));
    auto samples = recorder().samples(at);
    samples.resize(frames * 2);
    return measure_tone(samples, 2, channel, kRate);
  }

  static std::int64_t endOf(const CountedRun& run) { return run.firstIndex + static_cast<std::int64_t>(run.length); }
};

TEST_F(Playback, EveryFrameIsHeardOnceInOrderAndStoppedComesOnlyAfterTheLastOne) {
  const std::size_t frames = kRate * 3 / 2;  // several blocks, the last one short
  const std::string file = writeWav("count.wav", counting_frames(frames));
  const std::size_t start = recorder().frames();
  ASSERT_TRUE(play(file));
  EXPECT_EQ(nextState(), PLAYER_STATE_NO_STREAM);
  EXPECT_EQ(nextState(), PLAYER_STATE_STOPPED);
  // Closed on STOPPED: a last block cut off then would be missing from what follows.
  std::size_t silence = 0;
  ASSERT_TRUE(recorder().waitForSilence(start, kRate / 2, silence));
  const Runs runs = counted_runs(recorder().samples(start));
  ASSERT_EQ(runs.size(), 1u) << "nothing lost, repeated or out of order";
  EXPECT_LE(runs[0].firstIndex, kRewindFrames);
  EXPECT_EQ(endOf(runs[0]), static_cast<std::int64_t>(frames)) << "the last block was played to its end";
}

TEST_F(Playback, AnMp3ToneArrivesWithItsFrequencyAndLevel) {
  const std::string file = dir.file("tone.mp3");
  write_file(file, make_mp3({.tone = {.seconds = 3.0, .leftFrequency = 440, .rightFrequency = 660, .amplitude = 0.5}}));
  // The level the decoder gives, here, before the engine decodes: the dither state is shared.
  Mp3Decoder decoder;
  ASSERT_TRUE(decoder.open(file));
  Bytes decoded(kRate * 4 * 2);
  std::size_t size = decoded.size();
  decoder.read(decoded.data(), size);
  decoder.close();
  decoded.resize(size);
  const auto reference = samples_of(Bytes(decoded.begin() + kRate * 4, decoded.end()));
  const double level = measure_tone(reference, 2, 0, kRate).amplitude();
  const std::size_t start = recorder().frames();
  ASSERT_TRUE(play(file));
  const std::size_t at = waitForSoundAndThen(start, kRate / 4);
  const ToneMeasure left = measureAt(at + kRate / 4, kRate, 0);
  const ToneMeasure right = measureAt(at + kRate / 4, kRate, 1);
  EXPECT_NEAR(left.frequency, 440.0, 1.0);
  EXPECT_NEAR(right.frequency, 660.0, 1.0);
  EXPECT_NEAR(left.amplitude(), level, 0.005);
  EXPECT_NEAR(right.amplitude(), level, 0.005);
  player_stop(*player);
  EXPECT_TRUE(waitForState(PLAYER_STATE_STOPPED));
}

TEST_F(Playback, An8BitMonoWavAtAnotherRateIsHeardOnBothChannels) {
  constexpr int kFileRate = 22050;
  Bytes samples(kFileRate * 2);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const double t = static_cast<double>(i) / kFileRate;
    samples[i] = static_cast<std::uint8_t>(std::lround(128 + 63.5 * std::sin(2 * std::numbers::pi * 1000.0 * t)));
  }
  const std::string file = dir.file("mono8.wav");
  write_file(file, make_wav({.channels = 1, .sampleRate = kFileRate, .bits = 8}, samples));
  const std::size_t start = recorder().frames();
  ASSERT_TRUE(play(file));
  const std::size_t at = waitForSoundAndThen(start, kRate / 4);
  for (int channel = 0; channel < 2; ++channel) {
    const ToneMeasure tone = measureAt(at + kRate / 4, kRate, channel);
    EXPECT_NEAR(tone.frequency, 1000.0, 2.0) << "channel " << channel;
    EXPECT_NEAR(tone.amplitude(), 0.5, 0.03) << "channel " << channel;
  }
  player_stop(*player);
  EXPECT_TRUE(waitForState(PLAYER_STATE_STOPPED));
}

TEST_F(Playback, PauseSilencesAndPlayResumesWhereItWas) {
  const std::string file = writeWav("count.wav", counting_frames(kRate * 10));
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
  player_stop(*player);
  ASSERT_TRUE(waitForState(PLAYER_STATE_STOPPED));

  const Runs runs = significant_runs(recorder().samples(start));
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_GE(runs[1].at - (runs[0].at + runs[0].length), static_cast<std::size_t>(kRate / 2)) << "silent while paused";
  EXPECT_NEAR(static_cast<double>(runs[1].firstIndex), static_cast<double>(endOf(runs[0])), kRewindFrames)
      << "resumed where it was, nothing skipped or repeated beyond the server's rewind";
}

TEST_F(Playback, SeekJumpsToTheNewPlaceAndResumesAPausedCard) {
  constexpr std::int64_t kFrames = kRate * 10;
  const std::string file = writeWav("count.wav", counting_frames(kFrames));
  const std::size_t start = recorder().frames();
  ASSERT_TRUE(play(file));
  waitForSoundAndThen(start, kRate / 4);
  player_seek(*player, 50, 100);
  Runs runs = waitForRunFrom(start, kFrames / 2);

  player_pause(*player);
  ASSERT_TRUE(waitForState(PLAYER_STATE_PAUSED));
  std::size_t silence = 0;
  ASSERT_TRUE(recorder().waitForSilence(start + runs.back().at, kRate / 4, silence));
  player_seek(*player, 25, 100);
  runs = waitForRunFrom(start, kFrames / 4);
  player_stop(*player);
  ASSERT_TRUE(waitForState(PLAYER_STATE_STOPPED));

  runs = significant_runs(recorder().samples(start));
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_LT(endOf(runs[0]), kFrames / 4) << "the first place";
  EXPECT_GE(runs[1].firstIndex, kFrames / 2);
  EXPECT_LE(runs[1].firstIndex, kFrames / 2 + kRewindFrames);
  EXPECT_GE(runs[2].firstIndex, kFrames / 4) << "heard again without PLAY";
  EXPECT_LE(runs[2].firstIndex, kFrames / 4 + kRewindFrames);
}

TEST_F(Playback, StopSilencesAtOnceInsteadOfPlayingWhatIsQueued) {
  const std::string file = writeWav("count.wav", counting_frames(kRate * 10));
  const std::size_t start = recorder().frames();
  ASSERT_TRUE(play(file));
  waitForSoundAndThen(start, kRate / 2);
  const std::int64_t heardBeforeStop = endOf(counted_runs(recorder().samples(start)).back());
  player_stop(*player);
  ASSERT_TRUE(waitForState(PLAYER_STATE_STOPPED));
  std::size_t silence = 0;
  ASSERT_TRUE(recorder().waitForSilence(start, kRate / 2, silence));
  const Runs runs = counted_runs(recorder().samples(start));
  ASSERT_EQ(runs.size(), 1u);
  // Almost 3 s were queued; only what was on its way to the sink may still come.
  EXPECT_LT(endOf(runs[0]) - heardBeforeStop, kRate / 4);
}

TEST_F(Playback, SetVolumeScalesTheLevelAndTheNextPlayKeepsIt) {
  const std::string file = writeWav("tone.wav", make_tone({.seconds = 10.0, .amplitude = 0.5}));
  const std::size_t start = recorder().frames();
  ASSERT_TRUE(play(file));
  const std::size_t at = waitForSoundAndThen(start, kRate / 2);
  const double full = measureAt(at + kRate / 10, kRate / 4, 0).amplitude();
  EXPECT_NEAR(full, 0.5, 0.01);

  player_set_volume(*player, 50);
  std::size_t mark = recorder().frames();
  EXPECT_NEAR(measureAt(mark + kRate * 3 / 10, kRate / 4, 0).amplitude() / full, 32800.0 / 65535, 0.01);
  EXPECT_NEAR(measureAt(mark + kRate * 3 / 10, kRate / 4, 1).amplitude() / full, 32800.0 / 65535, 0.01);

  player_set_volume(*player, 0);
  mark = recorder().frames();
  EXPECT_EQ(measureAt(mark + kRate * 3 / 10, kRate / 4, 0).peak, 0.0) << "silenced";

  player_set_volume(*player, 50);
  player_stop(*player);
  ASSERT_TRUE(waitForState(PLAYER_STATE_STOPPED));
  mark = recorder().frames();
  ASSERT_TRUE(play(file));
  const std::size_t again = waitForSoundAndThen(mark, kRate / 2);
  EXPECT_NEAR(measureAt(again + kRate / 10, kRate / 4, 0).amplitude() / full, 32800.0 / 65535, 0.01)
      << "the sound card keeps its volume from one opening to the next";
  player_stop(*player);
  ASSERT_TRUE(waitForState(PLAYER_STATE_STOPPED));
}

}  // namespace
}  // namespace tunekiln::test
