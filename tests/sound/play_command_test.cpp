// tunekiln-cli play through the real sound server, as a user runs it.
#include <gtest/gtest.h>

#include "tests/sound/sound_fixture.h"
#include "tests/support/run_program.h"
#include "tests/support/terminal_session.h"

namespace tunekiln::test {
namespace {

using Runs = std::vector<CountedRun>;

class PlayCommand : public SoundTest {};

TEST_F(PlayCommand, PlaysTheFileToItsEndAndExitsWithZero) {
  const std::size_t frames = kRate;
  const std::string file = writeWav("count.wav", counting_frames(frames));
  const std::size_t start = recorder().frames();
  const auto result = run_program({TUNEKILN_CLI, "play", file});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "") << "no time line when standard error is not a terminal";
  std::size_t silence = 0;
  ASSERT_TRUE(recorder().waitForSilence(start, kRate / 2, silence));
  const Runs runs = counted_runs(recorder().samples(start));
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_LE(runs[0].firstIndex, kRewindFrames);
  EXPECT_EQ(runs[0].firstIndex + static_cast<std::int64_t>(runs[0].length), static_cast<std::int64_t>(frames))
      << "it ended after the last frame was played";
}

TEST_F(PlayCommand, OnATerminalItShowsTheTimeAndTheKeysPauseSeekAndStop) {
  constexpr std::int64_t kFrames = kRate * 20;
  const std::string file = writeWav("count.wav", counting_frames(kFrames));
  const std::size_t start = recorder().frames();
  TerminalSession session({TUNEKILN_CLI, "play", file});
  ASSERT_TRUE(session.waitForText(" / 0:00:20")) << session.shown();
  std::size_t at = 0;
  ASSERT_TRUE(recorder().waitForSound(start, at));
  ASSERT_TRUE(recorder().waitForFrames(at + kRate / 4));

  session.type(" ");
  ASSERT_TRUE(session.waitForText("paused")) << session.shown();
  std::size_t silence = 0;
  ASSERT_TRUE(recorder().waitForSilence(at, kRate / 4, silence));
  session.type(" ");
  ASSERT_TRUE(recorder().waitForSound(silence, at));
  ASSERT_TRUE(recorder().waitForFrames(at + kRate / 4));

  // Four steps of 5 % on from where the decoder stands: well past anything heard so far.
  session.type("\x1b[C\x1b[C\x1b[C\x1b[C");
  const std::int64_t heard = counted_runs(recorder().samples(start)).back().firstIndex;
  Runs runs;
  bool jumped = false;
  while (!jumped && recorder().frames() < start + kFrames) {
    ASSERT_TRUE(recorder().waitForFrames(recorder().frames() + kRate / 10));
    runs = counted_runs(recorder().samples(start));
    jumped = runs.back().firstIndex >= heard + kFrames / 5 && runs.back().length > kRate / 10;
  }
  EXPECT_TRUE(jumped) << "the arrows did not seek";
  session.type("q");
  EXPECT_EQ(session.wait(), 0) << session.shown();

  ASSERT_GE(runs.size(), 3u);
  const auto pausedAt = runs[0].firstIndex + static_cast<std::int64_t>(runs[0].length);
  EXPECT_NEAR(static_cast<double>(runs[1].firstIndex), static_cast<double>(pausedAt), kRewindFrames)
      << "space resumed where it paused";
}

}  // namespace
}  // namespace tunekiln::test
